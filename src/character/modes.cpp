// Movement modes: flying, sliding, parachute, hang-glider, sky-dive and guard, with their start and
// end operations, landings and per-frame steps, the jump that leaves the ground, and the speed
// and velocity the rest of the program reads.
#include <algorithm>
#include <cmath>

#include "character/entity.h"
#include "character/movement.h"
#include "character/moveutil.h"
#include "collision/collquery.h"
#include "model/anim.h"
#include "model/mesh.h"

float EntityBodyHeight(const NztEntity* e);

namespace {

constexpr uint32_t EventFlyStart = 42;
constexpr uint32_t EventFlyEndLand = 43;
constexpr uint32_t EventFlyEndWater = 44;
constexpr uint32_t EventSlideStart = 45;
constexpr uint32_t EventSlideEnd = 46;
constexpr uint32_t EventSlideEndWater = 47;
constexpr uint32_t EventLeaveHold = 57;

void ClearLayer(NztEntity* e, int i) {
    if (i >= 0 && static_cast<size_t>(i) < e->layers.size()) e->layers[i] = NztAnimLayer{};
}

void ClearSteering(NztEntity* e) {
    e->moveWork.poseTarget[0] = e->moveWork.poseTarget[1] = e->moveWork.poseTarget[2] = 0.0f;
    e->moveWork.steerTarget = 0.0f;
}

void ClearTilt(NztEntity* e) {
    e->moveWork.slideTilt = 0.0f;
    e->moveWork.slideTiltStep = 0.0f;
    for (int k = 0; k < 9; ++k) e->tiltMatrix[k] = (k % 4 == 0) ? 1.0f : 0.0f;
}

void Play(NztEntity* e, uint32_t slot) {
    e->SetAnimIndex(slot, 1, AnimSlot::None, 0);
}

bool Playing(NztEntity* e, uint32_t slot) {
    NztAnim* a = e->GetAnim(slot);
    return a && e->currentAnim == a;
}

bool Ended(NztEntity* e) {
    return e->IsAnimAtEnd() != 0;
}

// The ground at a point within reach below it: its height, or false when none is found.
bool GroundBelow(NztEntity* e, const Vec3& p, float reach, float* ground) {
    float floor = 0.0f, surface = 0.0f;
    GroundHeightAt(p, reach, -4000000.0f, &floor, &surface, e);
    if (!Finite(surface) || surface <= -3999999.0f) return false;
    *ground = surface;
    return true;
}

Vec3 Forward(const NztEntity* e) {
    return {e->rotation[6], e->rotation[7], e->rotation[8]};
}

// The glide velocity (side, up, forward, units a frame at 50 frames a second) applied along the
// character's axes for this frame; a non-finite step is dropped.
void MoveByGlide(NztEntity* e) {
    const float f = FrameTiming.frameFactor;
    const float* v = e->glideVelocity;
    const float* r = e->rotation;
    for (int k = 0; k < 3; ++k) {
        const float d = f * (r[k] * v[0] + r[3 + k] * v[1] + r[6 + k] * v[2]);
        if (Finite(d) && !e->axisLocks[k]) e->Position[k] += d;
    }
}

}  // namespace

bool EntityAboveGround(const NztEntity* e) {
    // The fall test of the update hands a character to StartJump as soon as it stands more than
    // a step above its support; the jump takes it from there, so that nothing is left hanging in
    // the air between a step and a body height.
    const float limit = e->stepHeight > 0.0f ? e->stepHeight : EntityBodyHeight(e);
    return e->Position[1] - e->supportHeight > limit;
}

void EntityClearLayer(NztEntity* e, int layer) {
    ClearLayer(e, layer);
}

void EntityMoveByGlide(NztEntity* e) {
    MoveByGlide(e);
}

// ---------------------------------------------------------------------------------------------
// Tests

bool NztEntity::CanStartSlide() {
    return canSlide && groundPitch < -32 && groundContact.surfaceType == 5 && GetAnim(AnimSlot::SlideStart) &&
           GetAnim(AnimSlot::SlideRun) && GetAnim(AnimSlot::SlideSprint);
}

bool NztEntity::CanStartPara() {
    if (!canParachute || !GetAnim(AnimSlot::ParaStart) || !GetAnim(AnimSlot::ParaEndFloor) ||
        !GetAnim(AnimSlot::ParaMoveForward))
        return false;
    const Vec3 p{Position[0], Position[1], Position[2]};
    float g = 0.0f;
    if (!GroundBelow(this, p, EntityBodyHeight(this), &g)) return true;
    return g < Position[1] - 100.0f;
}

bool NztEntity::CanStartDelta() {
    if (!canHangGlide || !GetAnim(AnimSlot::DeltaStart) || !GetAnim(AnimSlot::DeltaEndFloor) ||
        !GetAnim(AnimSlot::DeltaMoveForward))
        return false;
    const Vec3 p = Vec3{Position[0], Position[1], Position[2]} + Forward(this) * 50.0f;
    float g = 0.0f;
    if (!GroundBelow(this, p, EntityBodyHeight(this), &g)) return true;
    return g < Position[1] - 20.0f;
}

bool NztEntity::CanStartDive() {
    if (!canDive) return false;
    const Vec3 up{rotation[3], rotation[4], rotation[5]};
    const Vec3 p = Vec3{Position[0], Position[1], Position[2]} + Forward(this) * 100.0f + up * 20.0f;
    float g = 0.0f;
    if (!GroundBelow(this, p, EntityBodyHeight(this), &g)) return false;
    return g < Position[1] - 50.0f;
}

NztEntity* NztEntity::VelocitySource() {
    NztEntity* e = this;
    for (int guard = 0; guard < 8 && e->parent && e->riddenEntity; ++guard) e = e->riddenEntity;
    return e;
}

void NztEntity::GetVelocity(float out[3]) {
    // Units a frame at 50 frames a second, the unit of the glide velocity.
    NztEntity* e = VelocitySource();
    if (e->sliding || e->parachuting || e->hangGliding || e->skyDiving) {
        const float* v = e->glideVelocity;
        const float* r = e->rotation;
        for (int k = 0; k < 3; ++k) out[k] = r[k] * v[0] + r[3 + k] * v[1] + r[6 + k] * v[2];
        return;
    }
    // The last frame's motion (position minus previous position after posing) over its frame factor.
    const float f = FrameTiming.frameFactor;
    const Vec3 m = e->motion[1];
    const float d[3] = {m.x, m.y, m.z};
    for (int k = 0; k < 3; ++k) {
        const float v = f > 0.0f ? d[k] / f : 0.0f;
        out[k] = Finite(v) ? v : 0.0f;
    }
}

float NztEntity::GetSpeed() {
    NztEntity* e = VelocitySource();
    if (e->sliding || e->parachuting || e->hangGliding) return Finite(e->glideVelocity[2]) ? e->glideVelocity[2] : 0.0f;
    if (e->skyDiving) return Finite(e->skyDiveSpeed) ? e->skyDiveSpeed : 0.0f;
    float v[3];
    e->GetVelocity(v);
    const float s = v[0] * e->rotation[6] + v[1] * e->rotation[7] + v[2] * e->rotation[8];
    return Finite(s) ? s : 0.0f;
}

// ---------------------------------------------------------------------------------------------
// Transitions

void NztEntity::ResetMotion() {
    ClearLayer(this, 1);
    moveWork.slideTilt = moveWork.slideTiltStep = 0.0f;
    skyDiveSpeed = 0.0f;
    airborne = 0;
    skyDiving = abortGlide = parachuting = hangGliding = sliding = 0;
    for (float& v : glideVelocity) v = 0.0f;
    moveWork.glideFall = moveWork.glideDrift = moveWork.releaseTime = moveWork.skyLean = 0.0f;
    ClearSteering(this);
    moveWork.pose[0] = moveWork.pose[1] = moveWork.pose[2] = 0.0f;
}

void NztEntity::StartFly() {
    if (flying) return;
    if (orderClock > 0.0f) orderClock = 0.0f;
    skyDiveSpeed = 0.0f;
    startHeight = 0.0f;
    flyHeight = Position[1] - supportHeight;
    airborne = 1;
    flying = 1;
    moveWork.highFlight = 0;
    moveWork.verticalSpeed = 0.0f;
    ClearSteering(this);
    RaiseEvent(this, EventFlyStart);
}

void NztEntity::EndFly() {
    if (!flying) return;
    if (orderClock > 0.0f) orderClock = 0.0f;
    flyHeight = 0.0f;
    flyVerticalSpeed = 0.0f;
    moveWork.verticalSpeed = moveWork.turnSpeed = moveWork.bank = 0.0f;
    moveWork.highFlight = 0;
    ClearSteering(this);
    airborne = 0;
    flying = 0;
    speedFactorTarget = 1.0f;
    moveWork.landSpeedKept = 0;  // the end of a flight sets the target; the one kept aside is dropped
    if (!locked && EntityAboveGround(this)) StartJump();
    if (!airborne) RaiseEvent(this, inWater ? EventFlyEndWater : EventFlyEndLand);
}

void NztEntity::StartSlide() {
    if (orderClock > 0.0f) orderClock = 0.0f;
    ResetMotion();
    moveWork.slideSteer = 1.5f;
    moveWork.slideWord = 0.0f;
    moveWork.slideLean = 0.0f;
    moveWork.slideClock = 1.5f;
    moveWork.slideSpeedNow = 1.5f;
    glideVelocity[2] = 1.5f;
    ClearLayer(this, 1);
    moveWork.slideTilt = Clampf(-static_cast<float>(groundPitch) / 384.0f, -0.5f, 0.5f);
    sliding = 1;
    Play(this, AnimSlot::SlideStart);
    RaiseEvent(this, EventSlideStart);
}

void NztEntity::EndSlide() {
    if (!sliding) return;
    ClearLayer(this, 1);
    ClearLayer(this, 3);
    ClearTilt(this);
    sliding = 0;
    airborne = 0;
    ClearSteering(this);
    RaiseEvent(this, EventSlideEnd);
}

void NztEntity::SlideEndFloor() {
    ClearLayer(this, 1);
    ClearLayer(this, 3);
    ClearTilt(this);
    ClearSteering(this);
    Play(this, AnimSlot::SlideEnd);
    RaiseEvent(this, EventSlideEnd);
}

void NztEntity::SlideEndRound() {
    ClearLayer(this, 1);
    ClearLayer(this, 3);
    ClearTilt(this);
    ClearSteering(this);
    Play(this, AnimSlot::RoundForward);
    RaiseEvent(this, EventSlideEnd);
}

void NztEntity::SlideEndWater() {
    Position[1] = supportHeight - swimDepth;
    ClearLayer(this, 1);
    ClearLayer(this, 3);
    ClearTilt(this);
    ClearSteering(this);
    airborne = 1;
    Play(this, AnimSlot::SlideEndWater);
    RaiseEvent(this, EventSlideEndWater);
}

void NztEntity::SlideEndImpact() {
    ClearLayer(this, 1);
    ClearLayer(this, 3);
    ClearTilt(this);
    ClearSteering(this);
    Play(this, AnimSlot::SlideImpact);
    RaiseEvent(this, EventSlideEnd);
}

void NztEntity::StartPara() {
    if (orderClock > 0.0f) orderClock = 0.0f;
    ResetMotion();
    ClearLayer(this, 1);
    parachuting = 1;
    airborne = 1;
    glideVelocity[2] = 0.5f;
    moveWork.glideFall = weight * FrameTiming.frameFactor;
    Play(this, AnimSlot::ParaStart);
}

void NztEntity::ParaEndFloor() {
    Position[1] = supportHeight;
    ClearTilt(this);
    ClearLayer(this, 1);
    airborne = 0;
    Play(this, AnimSlot::ParaEndFloor);
}

void NztEntity::ParaEndWater() {
    Position[1] = supportHeight - swimDepth;
    ClearTilt(this);
    ClearLayer(this, 1);
    airborne = 0;
    Play(this, AnimSlot::ParaEndWater);
}

void NztEntity::EndPara() {
    if (!parachuting) return;
    ClearLayer(this, 1);
    ClearLayer(this, 3);
    ClearTilt(this);
    parachuting = 0;
    airborne = 0;
    skyDiveSpeed = 0.0f;
    if (!locked && EntityAboveGround(this)) StartJump();
}

void NztEntity::StartDelta() {
    if (orderClock > 0.0f) orderClock = 0.0f;
    ResetMotion();
    ClearLayer(this, 1);
    glideVelocity[2] = 15.0f;
    hangGliding = 1;
    airborne = 1;
    moveWork.glideDrift = 0.0f;
    moveWork.releaseTime = 0.0f;
    moveWork.glideFall = 5.0f * weight * FrameTiming.frameFactor;
    startHeight = Position[1] + 2.0f * EntityBodyHeight(this);
    Play(this, AnimSlot::DeltaStart);
}

void NztEntity::DeltaEndFloor() {
    if (orderClock > 0.0f) orderClock = 0.0f;
    ClearTilt(this);
    ClearLayer(this, 1);
    airborne = 0;
    Play(this, AnimSlot::DeltaEndFloor);
}

void NztEntity::DeltaEndRound() {
    ClearTilt(this);
    ClearLayer(this, 1);
    airborne = 0;
    Play(this, AnimSlot::RoundForward);
}

void NztEntity::DeltaEndWater() {
    ClearTilt(this);
    ClearLayer(this, 1);
    airborne = 0;
    Play(this, AnimSlot::DeltaEndWater);
}

void NztEntity::EndDelta() {
    if (!hangGliding) return;
    ClearLayer(this, 1);
    ClearLayer(this, 3);
    ClearTilt(this);
    hangGliding = 0;
    airborne = 0;
    moveWork.glideDrift = 0.0f;
    skyDiveSpeed = 0.0f;
    if (!locked && EntityAboveGround(this)) StartJump();
}

void NztEntity::StartSkyDive() {
    const float speed = GetSpeed();
    ResetMotion();
    if (orderClock > 0.0f) orderClock = 0.0f;
    ClearLayer(this, 1);
    ClearTilt(this);
    glideVelocity[2] = Finite(speed) ? speed : 0.0f;
    startHeight = Position[1];
    skyDiving = 1;
    skyDiveSpeed = FrameTiming.frameFactor * 2.5f;
    airborne = 1;
    BlendToAnimIndex(AnimSlot::FallSkyDive, 0, AnimSlot::None, 0);
}

void NztEntity::SkyDiveEndRound() {
    skyDiveSpeed = 0.0f;
    ClearTilt(this);
    ClearLayer(this, 1);
    airborne = 0;
    Play(this, AnimSlot::RoundForward);
}

void NztEntity::SkyDiveEndFloor() {
    skyDiveSpeed = 0.0f;
    ClearTilt(this);
    ClearLayer(this, 1);
    airborne = 0;
    SetAnimIndex(AnimSlot::FallSkyDiveEndFloor, 0, AnimSlot::None, 0);
}

void NztEntity::SkyDiveEndFloorWater() {
    Position[1] = supportHeight - swimDepth;
    skyDiveSpeed = 0.0f;
    ClearTilt(this);
    ClearLayer(this, 1);
    airborne = 0;
    Play(this, AnimSlot::FallSkyDiveEndFloor);
}

void NztEntity::SkyDiveEndWater() {
    Position[1] = supportHeight - swimDepth;
    skyDiveSpeed = 0.0f;
    ClearTilt(this);
    ClearLayer(this, 1);
    airborne = 0;
    Play(this, AnimSlot::DiveEndWater);
}

void NztEntity::EndSkyDive() {
    if (!skyDiving) return;
    ClearLayer(this, 1);
    ClearLayer(this, 3);
    ClearTilt(this);
    skyDiving = 0;
    abortGlide = 0;
    airborne = 0;
    if (!locked && EntityAboveGround(this)) StartJump();
}

void NztEntity::ReturnToSkyDive() {
    ClearTilt(this);
    ClearLayer(this, 1);
    airborne = 0;
    BlendToAnimIndex(AnimSlot::FallSkyDive, 0, AnimSlot::None, 0);
}

void NztEntity::StartJump() {
    if (locked || airborne || !EntityAboveGround(this)) return;
    // A character holding a ledge or a ladder is held there, not dropped by the fall test.
    if (actionState == ActionStateHanging || actionState == ActionStateLadder || actionState == ActionStateLadder2)
        return;
    static const uint32_t choices[3][3] = {
        {AnimSlot::JumpWalk01, AnimSlot::JumpRun01, AnimSlot::JumpSprint01},
        {AnimSlot::JumpRun01, AnimSlot::JumpSprint01, AnimSlot::JumpWalk01},
        {AnimSlot::JumpSprint01, AnimSlot::JumpRun01, AnimSlot::JumpWalk01},
    };
    const uint32_t* row = choices[gait <= 2 ? gait : 0];
    uint32_t chosen = row[2];
    for (int i = 0; i < 2; ++i) {
        if (GetAnim(row[i])) {
            chosen = row[i];
            break;
        }
    }
    moveWork.fallAnim = chosen;
    EndPara();
    EndDelta();
    EndSlide();
    EndSkyDive();
    if (GetAnim(chosen)) {
        Play(this, chosen);
        PushAction(MakeAction(&NztEntity::ActJump));
    } else {
        PushAction(MakeAction(&NztEntity::ActFall));
    }
    airborne = 1;
}

void NztEntity::StartJumpIfAboveGround() {
    if (!locked && !airborne && EntityAboveGround(this)) StartJump();
}

void NztEntity::StartFallDown() {
    EndPara();
    EndDelta();
    EndSlide();
    EndSkyDive();
    if (GetAnim(AnimSlot::FallDown)) {
        SetAnimIndex(AnimSlot::FallDown, 0, AnimSlot::None, 0);
        airborne = 1;
        PushAction(MakeAction(&NztEntity::ActFallDown));
    } else {
        Position[1] = supportHeight;
    }
}

void NztEntity::ActFall() {
    // A fall with no animation of its own: gravity from rest until the ground under the character
    // is reached. The player's state machine is held off while it falls.
    const float k = FrameTiming.frameFactor;
    const float gravity = 0.1f * weight * k;
    NztEntity* player = PlayerEntity;
    const bool driven = player && (this == player || player->riddenEntity == this);
    if (driven) player->animStateMachine = 0;
    if (actionIdle) {
        startHeight = Position[1];
        fallSpeed = std::max(-gravity, -50.0f);
        actionIdle = 0;
        airborne = 1;
        if (actionState != ActionStateScripted) {
            const bool held = actionState == ActionStateHanging;
            actionState = ActionStateFree;
            // The event may end the character: nothing of it is touched afterwards.
            if (held) {
                const uint32_t self = EventObjectHandle(this);
                RaiseEvent(this, EventLeaveHold);
                if (ResolveEventObject(self) != this) return;
            }
        }
    }
    float floor = 0.0f, surface = 0.0f;
    const float reach = stepHeight > 0.0f ? stepHeight : EntityBodyHeight(this);
    // With nothing under the character the last known support stands, as for the ground following.
    GroundHeightAt({Position[0], Position[1], Position[2]}, reach, supportHeight, &floor, &surface, this);
    const float y = Position[1] + fallSpeed;
    if (Finite(surface) && Finite(y) && y > surface) {
        Position[1] = y;
        fallSpeed = std::max(fallSpeed - gravity, -50.0f);
        return;
    }
    // Landed (a non-finite probe lands the character where it stands).
    if (Finite(surface)) Position[1] = surface;
    supportHeight = Position[1];
    airborne = 0;
    fallSpeed = 0.0f;
    if (driven) player->animStateMachine = player->inputDriven;
    actionIdle = 1;
    RemoveAction(MakeAction(&NztEntity::ActFall));
    if (actionState == ActionStateScripted) actionState = ActionStateFree;
}

// ---------------------------------------------------------------------------------------------
// Per-frame steps

void NztEntity::SlideStep() {
    const float f = FrameTiming.frameFactor;
    if (!Playing(this, AnimSlot::SlideEndWater) && inWater && supportHeight >= Position[1]) SlideEndWater();
    if (Playing(this, AnimSlot::SlideEndWater)) {
        glideVelocity[2] -= glideVelocity[2] * 0.25f;
        MoveByGlide(this);
        if (Ended(this)) EndSlide();
        return;
    }
    if (Playing(this, AnimSlot::RoundForward) || Playing(this, AnimSlot::SlideEnd) ||
        Playing(this, AnimSlot::SlideImpact) || !currentAnim) {
        if (Ended(this)) EndSlide();
        return;
    }
    if (Playing(this, AnimSlot::SlideStart) && Ended(this)) SetAnimIndex(AnimSlot::SlideRun, 0, AnimSlot::None, 0);
    (void)f;
}

void NztEntity::ParachuteStep() {
    const float f = FrameTiming.frameFactor;
    if (abortGlide) {
        abortGlide = 0;
        EndPara();
        StartSkyDive();
        return;
    }
    if (Playing(this, AnimSlot::ParaMoveForward) && Position[1] <= supportHeight + 5.0f) {
        if (inWater)
            ParaEndWater();
        else
            ParaEndFloor();
    }
    if (Playing(this, AnimSlot::ParaStart) && Ended(this)) SetAnimIndex(AnimSlot::ParaMoveForward, 0, AnimSlot::None, 0);
    if (Playing(this, AnimSlot::ParaEndFloor) || Playing(this, AnimSlot::ParaEndWater)) {
        if (inWater) {
            glideVelocity[2] -= glideVelocity[2] * Clampf(f * 0.25f, 0.0f, 1.0f);
            Position[1] += (supportHeight - swimDepth - Position[1]) * Clampf(f * 0.5f, 0.0f, 1.0f);
        } else {
            Position[1] = supportHeight;
        }
        if (Ended(this)) EndPara();
    }
}

void NztEntity::GliderStep() {
    const float f = FrameTiming.frameFactor;
    if (abortGlide) {
        abortGlide = 0;
        EndDelta();
        StartSkyDive();
        return;
    }
    if (Playing(this, AnimSlot::DeltaStart) && Ended(this)) {
        SetAnimIndex(AnimSlot::DeltaMoveForward, 0, AnimSlot::None, 0);
        return;
    }
    if (Playing(this, AnimSlot::DeltaEndFloor) || Playing(this, AnimSlot::RoundForward) ||
        Playing(this, AnimSlot::DeltaEndWater)) {
        if (inWater) {
            glideVelocity[2] -= glideVelocity[2] * Clampf(f * 0.25f, 0.0f, 1.0f);
            Position[1] += (supportHeight - swimDepth - Position[1]) * Clampf(f * 0.5f, 0.0f, 1.0f);
        } else {
            Position[1] = supportHeight;
        }
        if (Ended(this)) EndDelta();
        return;
    }
    if (Playing(this, AnimSlot::DeltaCollision) && Ended(this)) {
        Play(this, AnimSlot::FallDown);
        EndDelta();
        airborne = 1;
    }
}

void NztEntity::SkyDiveStep() {
    if (Playing(this, AnimSlot::DiveEndWater)) {
        Position[1] = supportHeight - swimDepth;
        if (Ended(this)) EndSkyDive();
        return;
    }
    if (Playing(this, AnimSlot::RoundForward)) {
        Position[1] = supportHeight;
        if (Ended(this)) {
            SetAnimIndex(AnimSlot::MoveStatic01, 0, AnimSlot::None, 0);
            EndSkyDive();
        }
        return;
    }
    if (Playing(this, AnimSlot::FallSkyDiveEndFloor)) {
        Position[1] = supportHeight - (inWater ? 2.5f : 0.0f);
        if (Ended(this)) {
            EndSkyDive();
            SetLife(0.0f);
        }
        return;
    }
    if (Playing(this, AnimSlot::MoveStatic01)) EndSkyDive();
}

void NztEntity::GuardStep() {
    if (layers.size() <= 3) return;
    NztAnimLayer& layer = layers[3];
    NztAnim* parad = GetAnim(AnimSlot::FightParad);
    if (!parad) {
        layer.Anim = nullptr;
        layer.Frame = layer.NextFrame = 0;
        layer.Time = 0.0f;
        return;
    }
    if (!layer.Anim) {
        SetLayerBoneMask(0, 1);
        SetAnimLayer(3, parad, 4, 0.0f, 1, 1.0f, 0, 1);
        layer.StartWeight = 0.0f;
    } else if (layer.Anim == parad && layer.Frame >= layer.FrameCount - 1) {
        const float w = layer.Weight;
        SetAnimLayer(3, nullptr, 0, 0.0f, 0, 0.0f, 0, 0);
        SetAnimLayer(3, parad, 4, w, 1, 1.0f, 0, 1);
        layer.StartWeight = w;
    }
}
