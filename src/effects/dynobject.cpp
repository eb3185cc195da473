#include "effects/dynobject.h"

#include <algorithm>
#include <cmath>

#include "core/frameclock.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "effects/light.h"
#include "effects/meshdraw.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "effects/shading.h"
#include "effects/sky.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/attach.h"
#include "objects/charlinks.h"
#include "objects/eye.h"
#include "objects/objtype.h"
#include "objects/objtypeparts.h"
#include "objects/posing.h"
#include "objects/registry.h"
#include "render/renderstate.h"

namespace {

// Event sent to the object a flight hit, with the owner's id.
constexpr uint32_t EventHitByDynObject = 33;
// Reach of the ground probe under a carried effect whose particles care about the ground.
constexpr float GroundProbeReach = 10000.0f;
// Emission duration that lets a detached effect emit about one more frame.
constexpr float DetachedEmissionDuration = 0.001f;
// Homing and point flights run this long past their lifetime before they give up.
constexpr float FlightGrace = 1.0f;
// Bounces below this factor have died out.
constexpr float DeadBounceFactor = 0.01f;
// Pitch of a kept launch rotation: angle units per unit of vertical speed, and its limit.
constexpr float PitchPerSpeed = -200.0f;
constexpr float PitchLimit = 1024.0f;

float DistSq(const float a[3], const float b[3]) {
    const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

uint32_t EngineBouncingSweep(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, Vec3* reflection) {
    float axisFlags[3] = {reflection->x, reflection->y, reflection->z};
    const uint32_t type = SweepCollisionBodyInWater(body, motion, hit, axisFlags);
    *reflection = Vec3{axisFlags[0], axisFlags[1], axisFlags[2]};
    return type;
}
float EngineGroundHeight(const Vec3& point, float range, float defaultHeight) {
    return NearestSurface(point, range, defaultHeight);
}
uint32_t EngineSweep(CollisionBody* body, Vec3* motion, SweepHitRecord* hit) {
    return SweepCollisionBody(body, motion, hit);
}

void EngineRadialLifeChange(float amount, const float point[3], float radiusSq) {
    if (CharacterLinks.radialLifeChange != nullptr) CharacterLinks.radialLifeChange(amount, point, radiusSq);
}

constexpr DynObjectHooks EngineDynObjectHooks = {EngineSweep, EngineBouncingSweep, EngineGroundHeight,
                                                 EngineRadialLifeChange, SendRadiusEvent};
}  // namespace

DynObjectHooks DynObjectServices = EngineDynObjectHooks;

void ResetDynObjectHooks() {
    DynObjectServices = EngineDynObjectHooks;
}

float DriftFadeOpacity(float peak, float elapsed, float lifetime) {
    // A lifetime of 0 never ends, so there is no rise and fall to follow.
    if (!(lifetime > 0.0f)) return peak;
    const float half = lifetime * 0.5f;
    const float t = (half - elapsed) / half;
    const float o = t > 0.0f ? 1.0f - t : t + 1.0f;
    return std::clamp(o, 0.0f, 1.0f) * peak;
}

float FrameFadeOpacity(float opacity, int32_t frameCount, int32_t frame, float perFrame) {
    const int32_t f = frame, n = frameCount;
    if (n <= 10) return opacity - static_cast<float>(f) * perFrame;
    if (n <= 100) return f > n - 10 ? opacity - static_cast<float>(f - n + 10) * 0.1f : opacity;
    const int32_t h = n / 2;
    if (f < h) return opacity - static_cast<float>(h - f) / static_cast<float>(h);
    if (f > n - h) return opacity - static_cast<float>(f - n + h) / static_cast<float>(h);
    return opacity;
}

NztDynObject::NztDynObject() {
    kind = ObjectKindDyn;
    NztBaseObject::SetRange(2000.0f);
    boneOrientation = 0;
}

void NztDynObject::AttachSfx(NztSfx* effect) {
    if (effect == carriedSfx) return;
    DetachSfx();
    carriedSfx = effect;
    if (effect == nullptr) return;
    effect->SetRange(range);
    effect->owner = this;
    std::copy(Position, Position + 3, effect->Position);
}

void NztDynObject::DetachSfx() {
    NztSfx* effect = carriedSfx;
    if (effect == nullptr) return;
    carriedSfx = nullptr;
    if (effect->definition != nullptr) {
        effect->definition->emissionDuration = DetachedEmissionDuration;
        effect->definition->emissionTime = 0.0f;
    }
    effect->owner = nullptr;
    for (uint32_t i = SfxCount; i-- > 0;) {
        if (SfxList[i] == effect) {
            ObjectServices.removeSfxAt(i);
            return;
        }
    }
}

void NztDynObject::DeleteCarriedLight() {
    NztLight* light = carriedLight;
    if (light == nullptr) return;
    carriedLight = nullptr;
    for (uint32_t i = LightCount; i-- > 0;) {
        if (LightList[i] == light) {
            ObjectServices.deleteLightAt(i);
            return;
        }
    }
}

void NztDynObject::GetReferencePoint(const NztBaseObject* object, float out[3]) const {
    const float* p = object->Position;
    if (object->attachPoints.size() >= 2) {
        const uint32_t anchor = object->attachPoints[1].Anchor;
        if (anchor < object->vertices.size()) p = &object->vertices[anchor].x;
    }
    std::copy(p, p + 3, out);
}

void NztDynObject::SetTargetPointFromTarget() {
    if (targetObject != nullptr) GetReferencePoint(targetObject, targetPoint);
}

int32_t NztDynObject::IsWithinEffectRadius(const float point[3]) const {
    return DistSq(Position, point) < effectRadiusSq ? 1 : 0;
}

void NztDynObject::CarriedFollow() {
    if (carriedSfx != nullptr) {
        std::copy(Position, Position + 3, carriedSfx->Position);
        carriedSfx->SetParams(rotation);
    }
    if (carriedLight != nullptr) {
        std::copy(Position, Position + 3, carriedLight->Position);
        if (carriedLight->LightKind >= 5) carriedLight->UpdateDirection();
    }
}

void NztDynObject::Launch() {
    for (int k = 0; k < 3; ++k) {
        velocity[k] = launchVelocity[0] * rotation[k] + launchVelocity[1] * rotation[3 + k] +
                      launchVelocity[2] * rotation[6 + k];
    }
    elapsed = 0.0f;
    moving = 1;
    if (keepLaunchRotation != 0) std::copy(rotation, rotation + 9, launchRotation);
    bounceFactor = startBounceFactor;
    for (int k = 0; k < 3; ++k) acceleration[k] = gravity[k] * gravityScale - drag * velocity[k] + extraForce[k];
    bounceCount = 0;
    if (carriedSfx != nullptr) {
        std::copy(Position, Position + 3, carriedSfx->Position);
        carriedSfx->SetParams(rotation);
        carriedSfx->PushToDefinition();
        if (carriedSfx->definition != nullptr) {
            carriedSfx->definition->emitting = 1;
            carriedSfx->definition->emissionTime = 0.0f;
        }
    }
    if (carriedLight != nullptr) {
        std::copy(Position, Position + 3, carriedLight->Position);
        if (carriedLight->LightKind >= 5) carriedLight->UpdateDirection();
    }
    if (targetObject != nullptr || pointFlight != 0) LookAt(targetPoint);
    if (impactCallback == nullptr && effectRadiusSq != 0.0f) {
        DynObjectServices.radialLifeChange(lifeChange, Position, effectRadiusSq);
        DynObjectServices.radiusEvent(effectRadiusSq, Position, owner);
    }
}

void NztDynObject::Impact(bool hitEvent, bool callbackFirst) {
    if (impactCallback != nullptr) {
        const bool radial = effectRadiusSq != 0.0f;
        if (callbackFirst) impactCallback(this, Position);
        if (radial) {
            DynObjectServices.radialLifeChange(lifeChange, Position, effectRadiusSq);
            DynObjectServices.radiusEvent(effectRadiusSq, Position, owner);
        }
        if (!callbackFirst && impactCallback != nullptr) impactCallback(this, Position);
    }
    if (hitEvent && sweepHit.object != nullptr && sweepHit.object != owner) {
        if (auto* target = dynamic_cast<NztEventObject*>(sweepHit.object)) {
            // The launcher travels as its handle, so that a condition on it can find it.
            ObjectServices.sendEvent(target, EventHitByDynObject, EventObjectHandle(owner), 0, 0);
        }
    }
}

void NztDynObject::StopNow() {
    impactCallback = nullptr;
    StopMovement(static_cast<int32_t>(lingerOnStop));
}

int32_t NztDynObject::ImpactAndMaybeStop(bool hitEvent, bool callbackFirst) {
    Impact(hitEvent, callbackFirst);
    if (stopOnImpact == 0) return 0;
    StopNow();
    return 1;
}

int32_t NztDynObject::AtLastFrame() const {
    return playOnce != 0 && currentAnim != nullptr && currentFrame >= frameCount - 1 ? 1 : 0;
}

void NztDynObject::StopMovement(int32_t linger) {
    if (linger != 0 && carriedSfx != nullptr && carriedSfx->ownDefinition != 0 && carriedSfx->definition != nullptr) {
        SfxDef* def = carriedSfx->definition;
        elapsed = 0.0f;
        lifetime = def->lifetimeBase + def->lifetimeSpread;
        def->emissionDuration = 1.0f;
        def->emissionTime = 1.0f;
        lingering = 1;
        return;
    }
    moving = 0;
    targetObject = nullptr;
    aimFlag = 1;
    pointFlight = 0;
    DetachSfx();
    DeleteCarriedLight();
}

void NztDynObject::StepLingering(float dt) {
    elapsed += dt;
    // The particles have died: the plain stop.
    if (elapsed >= lifetime) StopMovement(0);
}

void NztDynObject::StepFollow() {
    if (carrierCamera != nullptr) {
        if (cameraFollow != 0) {
            Position[0] = carrierCamera->eye.x;
            Position[1] = carrierCamera->eye.y;
            Position[2] = carrierCamera->eye.z;
            if (boneOrientation != 0) std::copy(carrierCamera->inverse, carrierCamera->inverse + 9, rotation);
        }
        return;
    }
    const NztBaseObject* followed = followedObject;
    const int32_t points = static_cast<int32_t>(followed->attachPoints.size());
    if (followedPoint < 0 || followedPoint >= points) {
        std::copy(followed->Position, followed->Position + 3, Position);
        return;
    }
    const uint32_t anchor = followed->attachPoints[followedPoint].Anchor;
    if (anchor < followed->vertices.size()) std::copy(&followed->vertices[anchor].x, &followed->vertices[anchor].x + 3, Position);
    if (boneOrientation != 0 && followed->mesh != nullptr) {
        float chain[9];
        if (AttachPointChainRotation(followedPoint, chain, followed->mesh) != 0) {
            MatrixMultiply3(chain, rotation, followed->rotation);
        }
    }
}

void NztDynObject::StepDriven(float dt) {
    Vec3 m{Position[0] - PreviousPosition[0], Position[1] - PreviousPosition[1], Position[2] - PreviousPosition[2]};
    uint32_t hit = 0;
    if (bodyPtr != nullptr) {
        bodyPtr->centre = Vec3{PreviousPosition[0], PreviousPosition[1], PreviousPosition[2]};
        hit = DynObjectServices.sweep(bodyPtr, &m, &sweepHit);
    }
    std::copy(Position, Position + 3, PreviousPosition);
    elapsed += dt;
    if (hit != 0) {
        if (ImpactAndMaybeStop(true) != 0) return;
    }
    if (AtLastFrame() != 0) {
        Impact(false);
        StopNow();
        return;
    }
    CarriedFollow();
    if (lifetime > 0.0f && elapsed > lifetime) {
        Impact(false);
        StopNow();
    }
}

void NztDynObject::StepDrift(float dt, bool sinking) {
    Position[0] += driftFactor * WobbleVector[0];
    Position[2] += driftFactor * WobbleVector[2];
    if (sinking) Position[1] -= dt;
    opacity = DriftFadeOpacity(driftOpacity, elapsed, lifetime);
    elapsed += dt;
    CarriedFollow();
    if (lifetime > 0.0f && elapsed > lifetime) StopNow();
}

void NztDynObject::StepForward(float dt, bool homing) {
    float reference[3] = {targetPoint[0], targetPoint[1], targetPoint[2]};
    if (homing) {
        GetReferencePoint(targetObject, reference);
        if (aimFlag != 0) std::copy(reference, reference + 3, targetPoint);
    }
    const float scale = launchVelocity[2] * dt * 10.0f;
    Vec3 step{rotation[6] * scale, rotation[7] * scale, rotation[8] * scale};
    if (bodyPtr != nullptr) {
        bodyPtr->centre = Vec3{PreviousPosition[0], PreviousPosition[1], PreviousPosition[2]};
        if (DynObjectServices.sweep(bodyPtr, &step, &sweepHit) != 0 && ImpactAndMaybeStop(true) != 0) return;
    }
    if (aimFlag != 0) LookAt(targetPoint);
    Position[0] = PreviousPosition[0] + step.x;
    Position[1] = PreviousPosition[1] + step.y;
    Position[2] = PreviousPosition[2] + step.z;
    if (launchVelocity[1] != 0.0f) {
        velocity[1] += acceleration[1] * dt;
        Position[1] += velocity[1];
    }
    std::copy(Position, Position + 3, PreviousPosition);
    if (AtLastFrame() != 0) {
        Impact(false);
        StopNow();
        return;
    }
    if (stepCallback != nullptr) stepCallback(this, Position);
    CarriedFollow();
    elapsed += dt;

    bool arrived = false;
    const float radiusSq = bodyPtr != nullptr ? bodyPtr->radius * bodyPtr->radius : body.radius * body.radius;
    if (homing) {
        const float reach = radiusSq + (targetObject->mesh != nullptr ? targetObject->mesh->CoreRadiusSquared : 0.0f);
        if (DistSq(Position, reference) <= reach) {
            std::copy(reference, reference + 3, Position);
            arrived = true;
        } else if (DistSq(Position, targetPoint) <= reach) {
            std::copy(targetPoint, targetPoint + 3, Position);
            arrived = true;
        }
    } else {
        arrived = DistSq(Position, targetPoint) <= radiusSq;
    }
    if (arrived) {
        // The point flight calls back before the radial effects run.
        ImpactAndMaybeStop(false, !homing);
        return;
    }
    if (lifetime > 0.0f && elapsed > lifetime + FlightGrace) {
        if (impactAtEndOfLife != 0) Impact(false);
        StopNow();
    }
}

void NztDynObject::StepBallistic(float dt) {
    Vec3 m{Position[0] - PreviousPosition[0], Position[1] - PreviousPosition[1], Position[2] - PreviousPosition[2]};
    Vec3 reflect{1.0f, 1.0f, 1.0f};
    uint32_t hit = 0;
    if (bodyPtr != nullptr) {
        bodyPtr->centre = Vec3{PreviousPosition[0], PreviousPosition[1], PreviousPosition[2]};
        hit = DynObjectServices.bouncingSweep(bodyPtr, &m, &sweepHit, &reflect);
    }
    Position[0] = PreviousPosition[0] + m.x;
    Position[1] = PreviousPosition[1] + m.y;
    Position[2] = PreviousPosition[2] + m.z;
    std::copy(Position, Position + 3, PreviousPosition);
    for (int k = 0; k < 3; ++k) velocity[k] += acceleration[k] * dt;

    if (hit != 0) {
        if (bounceCount >= maxBounces && ImpactAndMaybeStop(true) != 0) return;
        bounceFactor *= 0.9f;
        if (bounceCallback != nullptr) bounceCallback(this, Position, bounceCount);
        ++bounceCount;
        velocity[0] *= bounceFactor * reflect.x;
        velocity[1] *= bounceFactor * reflect.y;
        velocity[2] *= bounceFactor * reflect.z;
    }
    for (int k = 0; k < 3; ++k) Position[k] += velocity[k];

    if (AtLastFrame() != 0) {
        Impact(false);
        StopNow();
        return;
    }
    if (stepCallback != nullptr) stepCallback(this, Position);

    if (keepLaunchRotation != 0) {
        const int32_t a = RoundToInt(std::clamp(PitchPerSpeed * velocity[1], -PitchLimit, PitchLimit));
        const float c = TableCos(a), s = TableSin(a);
        const float pitch[9] = {1.0f, 0.0f, 0.0f, 0.0f, c, s, 0.0f, -s, c};
        MatrixMultiply3(pitch, rotation, launchRotation);
    }
    CarriedFollow();
    elapsed += dt;

    if (lifetime == 0.0f || elapsed <= lifetime) {
        if (bounceFactor >= DeadBounceFactor) return;
        Impact(false);
        if (stopOnImpact != 0) StopNow();
        return;
    }
    if (impactAtEndOfLife != 0 && impactCallback != nullptr) {
        Impact(false);
        impactCallback = nullptr;
    }
    StopNow();
}

void NztDynObject::PhysicsStep() {
    const float dt = FrameTiming.frameTime;
    if (currentAnim != nullptr && (playOnce == 0 || currentFrame < frameCount - 1)) UpdateAnimEvents();
    if (FrameAccumulators.halfSecond == 0.0f && carriedSfx != nullptr && carriedSfx->definition != nullptr &&
        carriedSfx->definition->particleKind != 0) {
        const Vec3 here{Position[0], Position[1], Position[2]};
        carriedSfx->referenceHeight = DynObjectServices.groundHeight(here, GroundProbeReach, Position[1]);
    }

    if (lingering != 0) {
        StepLingering(dt);
    } else if (followedObject != nullptr || carrierCamera != nullptr) {
        StepFollow();
        StepDriven(dt);
    } else if (driven != 0) {
        StepDriven(dt);
    } else if (drift != 0) {
        StepDrift(dt, false);
    } else if (sink != 0) {
        StepDrift(dt, true);
    } else if (targetObject != nullptr) {
        StepForward(dt, true);
    } else if (pointFlight != 0) {
        StepForward(dt, false);
    } else {
        StepBallistic(dt);
    }
}

void NztDynObject::LateUpdate() {
    const NztRenderState& rs = RenderState;
    cameraDistanceSq = (Position[0] - MainCamera.eye.x) * (Position[0] - MainCamera.eye.x) +
                       (Position[1] - MainCamera.eye.y) * (Position[1] - MainCamera.eye.y) +
                       (Position[2] - MainCamera.eye.z) * (Position[2] - MainCamera.eye.z);
    viewDepth = (rs.cameraPosition[0] - Position[0]) * rs.viewAxis[0] +
                (rs.cameraPosition[1] - Position[1]) * rs.viewAxis[1] +
                (rs.cameraPosition[2] - Position[2]) * rs.viewAxis[2];
    sortDepth = viewDepth;

    if (moving != 0) {
        // A flight that stops in this step is still drawn once; its next late update deletes it.
        PhysicsStep();
        UpdateLod();
        if (mesh == nullptr) return;
        BindRenderData();
        SkinDynObjectMesh(mesh);
        UpdateMeshAttachments(mesh);
        BindMeshData();
        return;
    }
    // Stopped: the object leaves the dynamic-object list, which deletes it.
    for (uint32_t i = DynObjectCount; i-- > 0;) {
        if (DynObjectList[i] == this) {
            DeleteDynObjectAt(i, true);
            return;
        }
    }
}

namespace {

void ScrollWithAnim(const NztDynObject& object) {
    const NztAnim* anim = object.currentAnim;
    if (anim == nullptr || anim->TexAnim == 0 || object.mesh == nullptr) return;
    if (object.currentFrame < 0 || static_cast<size_t>(object.currentFrame) >= anim->Frames.size()) return;
    ScrollMeshTexCoords(anim->Frames[object.currentFrame].TexTransform, object.mesh);
}

}  // namespace

void NztDynObject::RenderOpaque() {
    if (visible != 0 && lingering == 0 && mesh != nullptr) {
        SetCullFaceCached(this);
        if (mesh->FirstLayer3Material < mesh->MaterialCount) ScrollWithAnim(*this);
        std::copy(colour, colour + 3, mesh->Tint);
        DrawMeshOpaqueRun(mesh, unlit != 0);
    }
    const float dt = FrameTiming.frameTime;
    age += dt;
    timer = timerRunning != 0 ? timer + dt : 0.0f;
}

void NztDynObject::Render() {
    if (visible == 0 || hasTransparent == 0 || lingering != 0 || mesh == nullptr) return;
    SetCullFaceCached(this);
    ScrollWithAnim(*this);
    std::copy(colour, colour + 3, mesh->Tint);
    if (frameFade != 0 && currentAnim != nullptr) {
        mesh->MeshAlpha = FrameFadeOpacity(opacity, frameCount, currentFrame, currentAnim->InvFrameCount);
        if (unlit != 0) {
            DrawMeshAlphaFaded(mesh);
        } else {
            DrawMeshSecondPassFaded(mesh);
        }
        return;
    }
    if (unlit != 0) {
        DrawMeshAlpha(mesh);
    } else {
        DrawMeshSecondPass(mesh);
    }
}

// ---------------------------------------------------------------------------------------------
// The dynamic-object library

NztDynObject* CreateDynObject(NztMesh* mesh) {
    NztDynObject* object = new NztDynObject();
    if (mesh != nullptr) {
        object->SetMesh(mesh);
        object->body.radius = 0.5f * std::max({mesh->Size.x, mesh->Size.y, mesh->Size.z});
    }
    return AddInstance(DynObjectList, DynObjectCount, DynObjectCapacity, object, RegisterDynObject);
}

void DeleteDynObjectAt(uint32_t index, bool shrink) {
    RemoveInstanceAt(DynObjectList, DynObjectCount, DynObjectCapacity, index, shrink, UnregisterDynObject,
                     [](NztDynObject* object) { object->ReleaseData(); });
}

void DeleteAllDynObjects() {
    while (DynObjectCount != 0) DeleteDynObjectAt(DynObjectCount - 1, false);
    FreeList(DynObjectList, DynObjectCount, DynObjectCapacity);
}

NztDynObject* LoadObjectFile(uint32_t typeIndex) {
    NztObjectType* type = TypeAt(typeIndex);
    if (type == nullptr || !IsSafeTypeName(type->Name)) return nullptr;
    if (type->Mesh == nullptr) {
        char path[512];
        NztMesh* mesh = CreateMeshData();
        type->Mesh = mesh;
        type->InstanceCount = 0;
        if (FormatPath(path, "OBJECTS/%s.QVo", type->Name) && LoadMeshFile(path, mesh, 0, 1) != 0) {
            char base[256];
            uint32_t number = 0;
            if (SplitTypeName(type->Name, base, &number))
                LoadHigherLods(mesh, "OBJECTS/%s%u%03u.QVo", base, number);
        } else {
            mesh->AllocLod(1, 0, 0, 0, 0, 0, 0, 0, 0);
            CopyName(mesh->Name, type->Name);
        }
        if (FormatPath(path, "OBJECTS/%s.QVc", type->Name)) LoadMeshSideFile(path, mesh);
        mesh->TypeIndex = typeIndex;
        SizeTypeSlots(mesh);
    }
    NztDynObject* object = CreateDynObject(type->Mesh);
    ++type->InstanceCount;
    return object;
}

void ResetCameraLinkedDynObjects(int32_t flag) {
    for (uint32_t i = DynObjectCount; i-- > 0;) {
        if (i >= DynObjectCount) continue;
        NztDynObject* d = DynObjectList[i];
        if (d != nullptr && d->carrierCamera != nullptr) d->StopMovement(flag);
    }
}

uint32_t RegisterDynObject(NztDynObject* object) {
    return RegisterInKind(object, DynObjectRegistry);
}

uint32_t UnregisterDynObject(NztDynObject* object) {
    return UnregisterFromKind(object, DynObjectRegistry);
}
