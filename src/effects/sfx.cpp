#include "effects/sfx.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/frameclock.h"
#include "core/paths.h"
#include "effects/dynobject.h"
#include "effects/sfxdef.h"
#include "effects/thunder.h"
#include "model/mesh.h"
#include "objects/eye.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/renderstate.h"
#include "render/visibility.h"

NztSfx** SfxList = nullptr;
uint32_t SfxCount = 0;
uint32_t SfxCapacity = 0;

namespace {

// Attach-point kind of an effect hanging on the point.
constexpr uint32_t AttachKindEffect = 3;

void GrowSfxList() {
    NztSfx** list = new NztSfx*[SfxCapacity + 10]();
    std::copy(SfxList, SfxList + SfxCount, list);
    delete[] SfxList;
    SfxList = list;
    SfxCapacity += 10;
}

// v turned by the rotation as stored: row i of the nine floats dotted with v.
Vec3 Turn(const float* m, const Vec3& v) {
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
            m[6] * v.x + m[7] * v.y + m[8] * v.z};
}

int32_t BirthsThisFrame(const SfxDef* def) {
    const float r = NextSfxBirthRandom();
    return def->birthsBase + RoundToInt(2.0 * def->birthsSpread * r) - def->birthsSpread;
}

void StepEmission(SfxDef* def, float dt) {
    if (def->emissionDuration > 0) {
        if (def->emissionTime >= def->emissionDuration) {
            def->emitting = 0;
        } else {
            def->emitting = 1;
            def->emissionTime += dt;
        }
    } else {
        def->emitting = 1;
    }
}

// Where a world-space system spawns this frame: an emitter position, a rotation and, with a spawn
// source, its vertices. A source without vertices spawns at its position.
struct SpawnSource {
    const float* position;
    const float* rotation;
    const Vec3* vertices = nullptr;
    uint32_t vertexCount = 0;
    bool onVertex = false;  // a mesh source: the spawn point is the vertex alone
};

SpawnSource WorldSpawnSource(const SfxDef* def) {
    if (const NztBaseObject* mesh = def->meshSource) {
        const uint32_t count = static_cast<uint32_t>(
            std::clamp<int64_t>(mesh->vertexCount, 0, static_cast<int64_t>(mesh->vertices.size())));
        return {mesh->Position, mesh->rotation, mesh->vertices.data(), count, count > 0};
    }
    if (const NztThunder* bolt = def->vertexSource) {
        const uint32_t count =
            std::min<uint32_t>(bolt->pointCount, static_cast<uint32_t>(bolt->points.size()));
        return {bolt->Position, bolt->orientation, bolt->points.data(), count, false};
    }
    return {def->emitterPositionPtr, def->rotationPtr};
}

// The particle's size, opacity and colour at its age: along the first slope up to half its life,
// then from the middle values along the second.
void AgeParticle(SfxParticle& p, const SfxDef* def) {
    if (p.age <= p.halfLifetime) {
        const float a = p.age;
        p.halfSize = p.startHalfSize + p.sizeSlope1 * a;
        p.opacity = def->startOpacity + p.opacitySlope1 * a;
        p.red = def->startColour.x + p.redSlope1 * a;
        p.green = def->startColour.y + p.greenSlope1 * a;
        p.blue = def->startColour.z + p.blueSlope1 * a;
    } else {
        const float a = p.age - p.halfLifetime;
        p.halfSize = p.middleHalfSize + p.sizeSlope2 * a;
        p.opacity = def->middleOpacity + p.opacitySlope2 * a;
        p.red = def->middleColour.x + p.redSlope2 * a;
        p.green = def->middleColour.y + p.greenSlope2 * a;
        p.blue = def->middleColour.z + p.blueSlope2 * a;
    }
}

// ---------------------------------------------------------------------------------------------
// The plain passes

Vec3 ReferenceBoxPoint(const SfxDef* def) {
    Vec3 v;
    v.x = SfxRandomSpread(0.0f, def->emitterHalfExtents.x);
    v.y = SfxRandomSpread(0.0f, def->emitterHalfExtents.y);
    v.z = SfxRandomSpread(0.0f, def->emitterHalfExtents.z);
    return v;
}

Vec3 ReferenceVelocity(const SfxDef* def) {
    Vec3 v;
    v.x = SfxRandomSpread(def->initialVelocity.x, def->velocitySpread);
    v.y = SfxRandomSpread(def->initialVelocity.y, def->velocitySpread);
    v.z = SfxRandomSpread(def->initialVelocity.z, def->velocitySpread);
    return v;
}

const Vec3& ReferenceSourceVertex(const SpawnSource& s) {
    const int32_t i = RoundToInt(static_cast<double>(s.vertexCount - 1) * NextSfxRandom());
    return s.vertices[std::clamp<int32_t>(i, 0, static_cast<int32_t>(s.vertexCount) - 1)];
}

void ReferenceBirth(SfxParticle& p, const SfxDef* def, const SpawnSource& s, bool world) {
    p.state = 1;
    p.age = 0;
    if (world && s.onVertex) {
        p.position = ReferenceSourceVertex(s);
    } else {
        const Vec3 box = Turn(s.rotation, ReferenceBoxPoint(def));
        if (!world)
            p.position = box;
        else if (s.vertexCount > 0)
            p.position = box + ReferenceSourceVertex(s);
        else
            p.position = box + Vec3{s.position[0], s.position[1], s.position[2]};
    }
    p.velocity = Turn(s.rotation, ReferenceVelocity(def));
    p.halfSize = p.startHalfSize;
    p.opacity = def->startOpacity;
    p.red = def->startColour.x;
    p.green = def->startColour.y;
    p.blue = def->startColour.z;
}

void ReferenceMove(SfxParticle& p, const SfxDef* def, const float* rotation, float dt) {
    p.position = p.position + p.velocity;
    Vec3 push;
    push.x = (p.force.x + SfxRandomSpread(0.0f, def->accelerationJitter)) * dt;
    push.y = (p.force.y + SfxRandomSpread(0.0f, def->accelerationJitter)) * dt;
    push.z = (p.force.z + SfxRandomSpread(0.0f, def->accelerationJitter)) * dt;
    p.velocity = p.velocity + Turn(rotation, push);
    AgeParticle(p, def);
    p.age += dt;
    if (p.age >= p.lifetime) p.state = 0;
}

void ReferencePass(SfxDef* def, bool world) {
    const float dt = FrameTiming.frameTime;
    int32_t births = BirthsThisFrame(def);
    const SpawnSource s =
        world ? WorldSpawnSource(def) : SpawnSource{def->emitterPositionPtr, def->rotationPtr};
    StepEmission(def, dt);
    for (size_t i = def->particles.size(); i-- > 0;) {
        SfxParticle& p = def->particles[i];
        if (p.state == 0) {
            if (births > 0 && def->emitting) {
                ReferenceBirth(p, def, s, world);
                --births;
            }
        } else {
            ReferenceMove(p, def, s.rotation, dt);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The kernel: the same arithmetic in the same order, with the rotation, emitter and parameters in
// locals (the particle writes could otherwise alias them) and the random cursor in a register.

struct Random {
    uint32_t index;
    float Next() { return RandomTable[index++ & RandomTableMask]; }
    float Spread(float base, float spread) { return base + (2.0f * spread * Next() - spread); }
};

template <bool World>
void KernelPass(SfxDef* def) {
    const float dt = FrameTiming.frameTime;
    int32_t births = BirthsThisFrame(def);
    const SpawnSource s =
        World ? WorldSpawnSource(def) : SpawnSource{def->emitterPositionPtr, def->rotationPtr};
    StepEmission(def, dt);
    const bool emitting = def->emitting != 0;

    float m[9];
    std::copy(s.rotation, s.rotation + 9, m);
    const Vec3 origin = World ? Vec3{s.position[0], s.position[1], s.position[2]} : Vec3{};
    const Vec3 box = def->emitterHalfExtents;
    const Vec3 v0 = def->initialVelocity;
    const float vs = def->velocitySpread;
    const float jitter = def->accelerationJitter;
    const float startOpacity = def->startOpacity;
    const Vec3 startColour = def->startColour;
    const bool onVertex = World && s.onVertex;
    const bool plusVertex = World && !s.onVertex && s.vertexCount > 0;
    const int32_t lastVertex = static_cast<int32_t>(s.vertexCount) - 1;
    Random rnd{SfxRandomIndex};

    SfxParticle* particles = def->particles.data();
    for (size_t i = def->particles.size(); i-- > 0;) {
        SfxParticle& p = particles[i];
        if (p.state == 0) {
            if (births <= 0 || !emitting) continue;
            p.state = 1;
            p.age = 0;
            if (onVertex) {
                const int32_t k = RoundToInt(static_cast<double>(s.vertexCount - 1) * rnd.Next());
                p.position = s.vertices[std::clamp(k, 0, lastVertex)];
            } else {
                const float bx = rnd.Spread(0.0f, box.x);
                const float by = rnd.Spread(0.0f, box.y);
                const float bz = rnd.Spread(0.0f, box.z);
                Vec3 at = {m[0] * bx + m[1] * by + m[2] * bz, m[3] * bx + m[4] * by + m[5] * bz,
                           m[6] * bx + m[7] * by + m[8] * bz};
                if (plusVertex) {
                    const int32_t k = RoundToInt(static_cast<double>(s.vertexCount - 1) * rnd.Next());
                    at = at + s.vertices[std::clamp(k, 0, lastVertex)];
                } else if (World) {
                    at = at + origin;
                }
                p.position = at;
            }
            const float vx = rnd.Spread(v0.x, vs);
            const float vy = rnd.Spread(v0.y, vs);
            const float vz = rnd.Spread(v0.z, vs);
            p.velocity = {m[0] * vx + m[1] * vy + m[2] * vz, m[3] * vx + m[4] * vy + m[5] * vz,
                          m[6] * vx + m[7] * vy + m[8] * vz};
            p.halfSize = p.startHalfSize;
            p.opacity = startOpacity;
            p.red = startColour.x;
            p.green = startColour.y;
            p.blue = startColour.z;
            --births;
            continue;
        }
        p.position = p.position + p.velocity;
        const float fx = (p.force.x + rnd.Spread(0.0f, jitter)) * dt;
        const float fy = (p.force.y + rnd.Spread(0.0f, jitter)) * dt;
        const float fz = (p.force.z + rnd.Spread(0.0f, jitter)) * dt;
        p.velocity = p.velocity + Vec3{m[0] * fx + m[1] * fy + m[2] * fz, m[3] * fx + m[4] * fy + m[5] * fz,
                                       m[6] * fx + m[7] * fy + m[8] * fz};
        AgeParticle(p, def);
        p.age += dt;
        if (p.age >= p.lifetime) p.state = 0;
    }
    SfxRandomIndex = rnd.index;
}

// Deletes def from the definition list and forgets it in every type that holds it.
void DropSfxDef(SfxDef* def) {
    for (uint32_t t = 0; t < SfxTypeCount; ++t)
        if (SfxTypeTable[t].Def == def) SfxTypeTable[t].Def = nullptr;
    const int32_t at = IndexOfSfxDef(def);
    if (at >= 0) DeleteSfxDefAt(static_cast<uint32_t>(at), false);
}

}  // namespace

void UpdateSfxParticlesWorld(SfxDef* def) {
    KernelPass<true>(def);
}
void UpdateSfxParticlesLocal(SfxDef* def) {
    KernelPass<false>(def);
}
void UpdateSfxParticlesWorldReference(SfxDef* def) {
    ReferencePass(def, true);
}
void UpdateSfxParticlesLocalReference(SfxDef* def) {
    ReferencePass(def, false);
}

// ---------------------------------------------------------------------------------------------
// Types and the effect list

NztSfx* AddSfxType(const char* name) {
    if (name == nullptr) return nullptr;
    SfxTypeRecord& record = *AppendSfxType();
    std::snprintf(record.Name, sizeof record.Name, "%s", name);
    record.Checksum = NameChecksum(record.Name);
    const int32_t index = static_cast<int32_t>(SfxTypeCount - 1);
    NztSfx* sfx = CreateSfx(index);
    sfx->ownDefinition = 1;
    sfx->definition->worldSpace = 1;
    return sfx;
}

NztSfx* CreateSfx(int32_t typeIndex) {
    if (typeIndex < 0 || static_cast<uint32_t>(typeIndex) >= SfxTypeCount) return nullptr;
    SfxTypeRecord& type = SfxTypeTable[typeIndex];
    if (type.Def == nullptr) {
        type.Def = CreateSfxDef();
        char path[300];
        // A type without a readable file keeps a definition with its defaults and no particles.
        if (SfxDefFileName(path, sizeof path, type.Name)) ReadSfxDef(type.Def, path);
        type.InstanceCount = 0;
    }
    NztSfx* sfx = NewSfx(type.Def);
    sfx->typeIndex = typeIndex;
    ++type.InstanceCount;
    return sfx;
}

NztSfx* NewSfx(SfxDef* def) {
    if (SfxCount >= SfxCapacity) GrowSfxList();
    NztSfx* sfx = new NztSfx;
    sfx->bounds[0] = def->halfExtents.x;
    sfx->bounds[1] = def->halfExtents.y;
    sfx->bounds[2] = def->halfExtents.z;
    sfx->bounds[3] = def->bound;
    sfx->definition = def;
    ++def->userCount;
    SfxList[SfxCount++] = sfx;
    RegisterSfx(sfx);
    return sfx;
}

void RemoveSfxAt(uint32_t index) {
    if (index >= SfxCount) return;
    if (NztSfx* sfx = SfxList[index]) {
        SfxTypeRecord* type = sfx->typeIndex >= 0 && static_cast<uint32_t>(sfx->typeIndex) < SfxTypeCount
                                  ? &SfxTypeTable[sfx->typeIndex]
                                  : nullptr;
        if (type != nullptr && type->InstanceCount > 0) --type->InstanceCount;
        SfxDef* def = sfx->definition;
        if (def != nullptr) --def->userCount;
        UnregisterSfx(sfx);
        sfx->Detach();
        delete sfx;
        // The definition goes once nothing uses it: counting by the definition keeps an effect made
        // straight from a definition (whose type index says nothing) from freeing one still in use.
        if (def != nullptr && def->userCount <= 0) DropSfxDef(def);
    }
    std::copy(SfxList + index + 1, SfxList + SfxCount, SfxList + index);
    SfxList[--SfxCount] = nullptr;
}

void RemoveAllSfx() {
    while (SfxCount > 0) RemoveSfxAt(SfxCount - 1);
    delete[] SfxList;
    SfxList = nullptr;
    SfxCapacity = 0;
}

void PlaceAllSfxAtOwners() {
    for (uint32_t i = SfxCount; i-- > 0;) {
        NztSfx* sfx = SfxList[i];
        if (sfx == nullptr) continue;
        if (sfx->meshSource != nullptr)
            std::copy(sfx->meshSource->Position, sfx->meshSource->Position + 3, sfx->Position);
        if (sfx->owner != nullptr) std::copy(sfx->owner->Position, sfx->owner->Position + 3, sfx->Position);
    }
}

// ---------------------------------------------------------------------------------------------
// The effect object

NztSfx::NztSfx() {
    kind = ObjectKindSfx;
    range = 2000.0f;
}

void NztSfx::PushToDefinition() {
    if (definition == nullptr) return;
    SfxDef* def = definition;
    def->visible = visible;
    def->viewDepth = viewDepth;
    def->cameraDistanceSq = cameraDistanceSq;
    def->emitterPositionPtr = Position;
    def->rotationPtr = rotation;
    def->meshSource = meshSource;
    def->vertexSource = vertexSource;
    def->referenceHeight = referenceHeight;
}

void NztSfx::Detach() {
    referenceHeight = 0.0f;
    if (owner != nullptr) {
        NztBaseObject* was = owner;
        was->RemoveChild(this);
        owner = nullptr;
    }
    for (uint32_t i = 0; i < DynObjectCount; ++i) {
        NztDynObject* d = DynObjectList[i];
        if (d != nullptr && d->carriedSfx == this) d->carriedSfx = nullptr;
    }
}

void NztSfx::SetParams(const float m[9]) {
    std::copy(m, m + 9, rotation);
}

void NztSfx::AttachTo(NztBaseObject* object, int32_t slot) {
    if (object == nullptr || slot < 0 || static_cast<size_t>(slot) >= object->attachPoints.size()) return;
    object->ClearAttachPoint(slot);
    if (owner != nullptr) owner->RemoveChild(this);
    owner = object;
    for (size_t i = 0; i < object->attachPoints.size(); ++i) {
        NztAttachPoint& point = object->attachPoints[i];
        if (point.Target == this) {
            point.Kind = 0;
            point.Target = nullptr;
        }
    }
    object->attachPoints[static_cast<size_t>(slot)].Kind = AttachKindEffect;
    object->attachPoints[static_cast<size_t>(slot)].Target = this;
    SetParams(object->rotation);
    range = object->range;
}

void NztSfx::LateUpdate() {
    if (meshSource != nullptr) std::copy(meshSource->Position, meshSource->Position + 3, Position);
    const NztRenderState& rs = RenderState;
    viewDepth = (rs.cameraPosition[0] - Position[0]) * rs.viewAxis[0] +
                (rs.cameraPosition[1] - Position[1]) * rs.viewAxis[1] +
                (rs.cameraPosition[2] - Position[2]) * rs.viewAxis[2];
    sortDepth = viewDepth - bounds[3];
    const float dx = MainCamera.eye.x - Position[0], dy = MainCamera.eye.y - Position[1],
                dz = MainCamera.eye.z - Position[2];
    cameraDistanceSq = dx * dx + dy * dy + dz * dz;
    if ((owner != nullptr && owner->visible) || (meshSource != nullptr && meshSource->visible))
        visible = 1;
    else
        visible = IsSfxVisible(Position, bounds, range);
    PushToDefinition();
}

void NztSfx::Render() {
    if (!visible || definition == nullptr) return;
    SetParticleArrays();
    PushToDefinition();
    DrawSfxParticles(definition);
}

// ---------------------------------------------------------------------------------------------
// Drawing

uint32_t FillSfxQuads(SfxDef* def) {
    SfxQuadBufferSet& b = SfxQuadBuffers;
    const size_t slots = std::min<size_t>(def->particles.size(), b.capacity);
    const float* corner = MainCamera.cornerDirections;
    const float* m = def->rotationPtr;
    const float* e = def->emitterPositionPtr;
    const bool scaleByOpacity = def->blendMode == 1;
    uint32_t quads = 0;
    for (size_t i = def->particles.size(); i-- > 0;) {
        SfxParticle& p = def->particles[i];
        if (p.state == 0) continue;
        Vec3 c = p.position;
        if (!def->worldSpace) c = Vec3{e[0], e[1], e[2]} + Turn(m, p.position);
        if ((def->particleKind == SfxParticleBelowHeight && !(c.y <= def->referenceHeight)) ||
            (def->particleKind == SfxParticleAboveHeight && !(c.y >= def->referenceHeight))) {
            p.state = 0;
            continue;
        }
        if (quads >= slots) continue;
        float* v = &b.vertices[quads * 12];
        float* col = &b.colours[quads * 16];
        const float o = p.opacity;
        const float k = scaleByOpacity ? o : 1.0f;
        for (int n = 0; n < 4; ++n) {
            v[n * 3 + 0] = c.x + p.halfSize * corner[n * 3 + 0];
            v[n * 3 + 1] = c.y + p.halfSize * corner[n * 3 + 1];
            v[n * 3 + 2] = c.z + p.halfSize * corner[n * 3 + 2];
            col[n * 4 + 0] = p.red * k;
            col[n * 4 + 1] = p.green * k;
            col[n * 4 + 2] = p.blue * k;
            col[n * 4 + 3] = o;
        }
        ++quads;
    }
    return quads;
}

void SetParticleArrays() {
    SwitchColorArray(true);
    SwitchVertexArray(true);
    SwitchTexCoordArray(true);
    glTexCoordPointer(2, GL_FLOAT, 0, SfxQuadBuffers.texCoords.data());
    glColorPointer(4, GL_FLOAT, 0, SfxQuadBuffers.colours.data());
    glVertexPointer(3, GL_FLOAT, 0, SfxQuadBuffers.vertices.data());
}

void DrawSfxParticles(SfxDef* def) {
    if (def == nullptr || def->texture == 0 || def->bound + def->viewDepth <= 1.0f) return;
    SetBlendMode(def->blendMode);
    const uint32_t quads = FillSfxQuads(def);
    if (quads == 0) return;
    SetTextureCached(def->texture);
    glDrawElements(GL_QUADS, static_cast<GLsizei>(quads * 4), GL_UNSIGNED_INT, SfxQuadBuffers.indices.data());
}

uint32_t RegisterSfx(NztSfx* object) {
    return RegisterInKind(object, SfxRegistry);
}

uint32_t UnregisterSfx(NztSfx* object) {
    return UnregisterFromKind(object, SfxRegistry);
}
