// Particle effects. An effect (NztSfx) places one particle system (SfxDef) in the world: each frame
// it hands the system its emitter position, orientation, spawn sources, reference height and
// visibility, and it draws the system's particles as camera-facing quads. Effects are created by
// type name through the effect type table, live in the effect list and sit in the effect registry.
// The systems themselves advance in one pass over every loaded definition (UpdateSfxParticlesWorld
// or UpdateSfxParticlesLocal, from the second update pass).
//
// Rotations given to a system are nine floats as stored; a vector v turned by one is
// (m0 v.x + m1 v.y + m2 v.z, m3 v.x + m4 v.y + m5 v.z, m6 v.x + m7 v.y + m8 v.z).
// Main thread only.
#pragma once

#include <cstdint>

#include "objects/base3d.h"

struct SfxDef;
class NztThunder;

// The effect type table (SfxTypeTable, SfxTypeRecord) is kept with the object types in
// model/objtype.h.

class NztSfx : public NztBase3D {
public:
    NztSfx();

    void LateUpdate() override;  // position, depths, visibility, then the push to the definition
    void Render() override;      // draws the particles when visible

    // Copies the effect's view of the world into its definition.
    void PushToDefinition();
    // Takes the effect off its owner's attach point and out of the dynamic objects carrying it.
    void Detach();
    void SetParams(const float rotation[9]);
    // Hangs the effect on attach point slot of object, which gives it its rotation and range. An
    // object without that slot leaves the effect as it was.
    void AttachTo(NztBaseObject* object, int32_t slot);

    int32_t typeIndex = 0;
    uint32_t visible = 0;
    float bounds[4] = {10.0f, 10.0f, 10.0f, 10.0f};  // half-extents, then the largest of them
    SfxDef* definition = nullptr;
    float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float vector[3] = {0.0f, 0.0f, 0.0f};
    float referenceHeight = 0.0f;         // pushed to systems kept below or above a height
    uint32_t ownDefinition = 0;           // 1 when made by AddSfxType
    NztBaseObject* owner = nullptr;       // object it is attached to
    NztBaseObject* meshSource = nullptr;  // object followed, whose posed vertices are spawn points
    NztThunder* vertexSource = nullptr;   // bolt whose points are spawn points
};

// A new effect type of the name with its effect; the effect owns its definition, which runs in
// world coordinates.
NztSfx* AddSfxType(const char* name);
// A new effect of type index, reading the type's definition on first use; null for a type not in
// the table.
NztSfx* CreateSfx(int32_t typeIndex);
// A new effect on def, appended to the effect list and registered.
NztSfx* NewSfx(SfxDef* def);

// The live effects; the list grows by 10 entries.
extern NztSfx** SfxList;
extern uint32_t SfxCount;
extern uint32_t SfxCapacity;
// Unregisters, detaches and destroys effect index; its definition goes with the last effect using
// it. The tail moves down.
void RemoveSfxAt(uint32_t index);
void RemoveAllSfx();
// Every effect to its mesh source's position, then to its owner's (the owner wins).
void PlaceAllSfxAtOwners();

// The particle passes of one definition, by the frame time: particles in world coordinates (with
// the spawn sources), or relative to the emitter.
void UpdateSfxParticlesWorld(SfxDef* def);
void UpdateSfxParticlesLocal(SfxDef* def);
// The plain forms of the same passes, kept to check the kernels against.
void UpdateSfxParticlesWorldReference(SfxDef* def);
void UpdateSfxParticlesLocalReference(SfxDef* def);

// Writes the quads of def's live particles into the shared quad buffers, last particle first,
// and answers how many were written. A particle on the wrong side of the reference height (kinds 1
// and 2) is killed and not written.
uint32_t FillSfxQuads(SfxDef* def);
// Points the client arrays at the shared quad buffers.
void SetParticleArrays();
// Draws def's live particles with its blend mode and texture in one indexed draw.
void DrawSfxParticles(SfxDef* def);

// The master list and the effect list of the registries (objects/registry.h).
uint32_t RegisterSfx(NztSfx* object);
uint32_t UnregisterSfx(NztSfx* object);
