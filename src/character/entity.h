// The character.
#pragma once

#include <cstdint>

#include "world/base3d.h"

class NztEntity : public NztCollideObject {
public:
    NztEntity() { kind = ObjectKindEntity; }

    // Makes the object the character's target.
    void SetTarget(NztBaseObject* object);

    NztBaseObject* target = nullptr;  // the current target
    int32_t order = 0;                // order code; with 6 the character keeps an offset to its target
    uint32_t inputDriven = 0;
    uint32_t animStateMachine = 0;
    uint32_t steeredByRider = 0;
    NztEntity* riddenEntity = nullptr;  // the object it rides; null on foot
    uint32_t typeInstance = 0;          // instance number within its type
    float life = 0.0f;
    float maxLife = 0.0f;
    float invMaxLife = 0.0f;
    uint32_t receivesBroadcasts = 0;  // takes part in BroadcastEventToEntities

    void SetupFromType(NztMesh* mesh);
    void Release();
    void ClearContactsWith(NztBaseObject* object);
    // Life changes stay within [0, maximum]; the maximum is never below 0.
    void AddLife(float amount);
    void SetLife(float value);
    void SetMaxLife(float value);
};

// Events a character raises on a target it loses because the target went away.
inline constexpr uint32_t EntityEventOrderTargetLost = 30;   // the character had order 6
inline constexpr uint32_t EntityEventPlayerTargetLost = 39;  // the character is the player
inline constexpr int32_t EntityOrderKeepOffset = 6;
