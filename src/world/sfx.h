// Particle effects.
#pragma once

#include <cstdint>

#include "world/base3d.h"

struct SfxDef;

class NztSfx : public NztBase3D {
public:
    NztSfx() { kind = ObjectKindSfx; }

    NztBaseObject* owner = nullptr;       // object it is attached to
    NztBaseObject* meshSource = nullptr;  // object whose posed vertices are spawn points
    SfxDef* definition = nullptr;
    float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float referenceHeight = 0.0f;

    void AttachTo(NztBaseObject* object, int32_t slot);
};

// A new effect type of the name with its effect.
NztSfx* AddSfxType(const char* name);

// The live effects.
extern NztSfx** SfxList;
extern uint32_t SfxCount;
// Unregisters and destroys effect index; the tail moves down.
void RemoveSfxAt(uint32_t index);
void RemoveAllSfx();

struct SfxDef;
// The particle passes of one definition: particles in world coordinates, or relative to the emitter.
void UpdateSfxParticlesWorld(SfxDef* def);
void UpdateSfxParticlesLocal(SfxDef* def);
