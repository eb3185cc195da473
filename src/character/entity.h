// The character.
#pragma once

#include <cstdint>

#include "world/base3d.h"

class NztEntity;

// One slot of a character's action stack: a member function run once per frame while it sits
// there, and three adjustment words. An empty slot is {null, 0, 0, -1}.
struct NztAction {
    void (NztEntity::*callback)() = nullptr;
    int32_t adjust1 = 0;
    int32_t adjust2 = 0;
    int32_t adjust3 = -1;
};
inline constexpr uint32_t EntityActionCapacity = 10;

class NztEntity : public NztCollideObject {
public:
    NztEntity() { kind = ObjectKindEntity; }

    // The per-frame life and action step; pushes the action of the current animation.
    void SelectAction();

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
    uint32_t barSwitch = 0;  // 1: a health bar is drawn above the character
    uint32_t receivesBroadcasts = 0;  // takes part in BroadcastEventToEntities

    void SetupFromType(NztMesh* mesh);
    void Release();
    void ClearContactsWith(NztBaseObject* object);
    // Life changes stay within [0, maximum]; the maximum is never below 0.
    void AddLife(float amount);
    void SetLife(float value);
    void SetMaxLife(float value);
    // The animation of the last slot whose name matches, ignoring case; null when none does.
    NztAnim* GetAnimByName(const char* name);
    void FaceObject(const NztBase3D* object);
    void ResetActions();
    float GetSpeed();
    int32_t controlWord = 0;
    int32_t controlWordCopy = 0;
    float pickReach = 0.0f;  // 0: no limit; else compared with the squared distance of a picked point
    float radius = 0.0f;     // used by hover picking
    uint32_t actionCount = 0;  // used slots, the lowest ones; slot 0 the bottom
    NztAction actionSlots[EntityActionCapacity];
};

// Events a character raises on a target it loses because the target went away.
inline constexpr uint32_t EntityEventOrderTargetLost = 30;   // the character had order 6
inline constexpr uint32_t EntityEventPlayerTargetLost = 39;  // the character is the player
inline constexpr int32_t EntityOrderKeepOffset = 6;
