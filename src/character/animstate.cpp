// The animation state machine of characters steered by the buttons: each frame it picks the
// animation and gait from the buttons and the movement-mode flags, steers the glides, and moves the
// character between modes (take-off, landing, ledge grabs, ladders, slides, dives).
//
// Speeds (glide velocity, fall, dive and vertical speeds, the slide speed, the record's climb rates)
// are all in one unit, world units a frame at 50 frames a second, and every constant is taken in
// it as given: a speed v moves the character by v x the frame factor each frame.
#include <algorithm>
#include <cmath>

#include "character/entity.h"
#include "character/movement.h"
#include "character/moveutil.h"
#include "collision/collquery.h"
#include "model/anim.h"

float EntityBodyHeight(const NztEntity* e);
Vec3 EntityHandPoint(const NztEntity* e);
bool EntityAboveGround(const NztEntity* e);
void EntityClearLayer(NztEntity* e, int layer);
void EntityMoveByGlide(NztEntity* e);

namespace {

constexpr uint32_t EventRiderFrame = 27;   // to the rider, every frame it rides
constexpr uint32_t EventMountFrame = 18;   // to the mount
constexpr uint32_t EventLeaveHold = 57;
constexpr uint32_t EventClimbJump = 58;

float F() {
    return FrameTiming.frameFactor;
}

// A per-frame easing rate scaled by the frame factor, kept within [0, 1].
float Rate(float perFrame) {
    return Clampf(perFrame * F(), 0.0f, 1.0f);
}

bool HasAnim(NztEntity* e, uint32_t slot) {
    return e->GetAnim(slot) != nullptr;
}

bool IsCurrent(NztEntity* e, uint32_t slot) {
    NztAnim* a = e->GetAnim(slot);
    return a && e->currentAnim == a;
}

void Blend(NztEntity* e, uint32_t slot) {
    e->BlendToAnimIndex(slot, 0, AnimSlot::None, 0);
}

void BlendLocked(NztEntity* e, uint32_t slot, uint32_t next = AnimSlot::None) {
    e->BlendToAnimIndex(slot, 1, next, 0);
}

void SetLocked(NztEntity* e, uint32_t slot) {
    e->SetAnimIndex(slot, 1, AnimSlot::None, 0);
}

// The gait of an animation slot of one row: 0 walk, 1 run, 2 sprint.
struct GaitRow {
    uint32_t walk, run, sprint, back, stand;
};
constexpr GaitRow FlyRow{AnimSlot::FlyWalk, AnimSlot::FlyRun, AnimSlot::FlySprint, AnimSlot::FlyBack,
                         AnimSlot::FlyStatic01};
constexpr GaitRow SwimRow{AnimSlot::SwimWalk, AnimSlot::SwimRun, AnimSlot::SwimSprint, AnimSlot::SwimBack,
                          AnimSlot::SwimStatic01};
constexpr GaitRow GroundRow{AnimSlot::MoveWalk, AnimSlot::MoveRun, AnimSlot::MoveSprint, AnimSlot::None,
                            AnimSlot::None};

float GaitFactor(const NztEntity* e, uint8_t gait) {
    return gait == 2 ? e->sprintFactor : gait == 1 ? e->runFactor : e->walkFactor;
}

// The forward part of the gait rule: the first animation of the gait's list that the character
// has (the last taken without a check); a fallback sets both gaits to the one taken.
void GaitForward(NztEntity* e, const GaitRow& row) {
    uint32_t order[3];
    uint8_t gaits[3];
    switch (e->gaitInUse) {
    case 0:
        order[0] = row.walk, order[1] = row.run, order[2] = row.sprint;
        gaits[0] = 0, gaits[1] = 1, gaits[2] = 2;
        break;
    case 1:
        order[0] = row.run, order[1] = row.sprint, order[2] = row.walk;
        gaits[0] = 1, gaits[1] = 2, gaits[2] = 0;
        break;
    case 2:
        order[0] = row.sprint, order[1] = row.walk, order[2] = row.run;
        gaits[0] = 2, gaits[1] = 0, gaits[2] = 1;
        break;
    default:
        return;
    }
    int i = 0;
    while (i < 2 && !HasAnim(e, order[i])) ++i;
    if (i > 0) e->gait = e->gaitInUse = gaits[i];
    Blend(e, order[i]);
}

void GaitRule(NztEntity* e, const GaitRow& row) {
    if (e->speedFactor > 0.1f) {
        GaitForward(e, row);
        return;
    }
    const uint32_t backOrder[] = {row.back, row.stand, row.walk, row.run, row.sprint};
    const uint32_t standOrder[] = {row.stand, row.walk, row.run, row.sprint};
    const uint32_t* list = e->speedFactor < -0.1f ? backOrder : standOrder;
    const int n = e->speedFactor < -0.1f ? 5 : 4;
    for (int i = 0; i < n; ++i) {
        if (HasAnim(e, list[i])) {
            Blend(e, list[i]);
            return;
        }
    }
}

// The speed asked of the fly and swim rows: forward by the gait, back at walking pace, else 0.
// The target the character had on the ground is kept aside and given back when it is next on the
// ground (a flight's end sets its own), so that a factor set by the console or an action outlasts
// a swim.
void FreeSpeedTarget(NztEntity* e) {
    NztMoveWork& w = e->moveWork;
    if (w.landSpeedKept == 0) {
        w.landSpeedTarget = e->speedFactorTarget;
        w.landSpeedKept = 1;
    }
    if (ButtonDown(MoveButton::Forward))
        e->speedFactorTarget = GaitFactor(e, e->gaitInUse);
    else if (ButtonDown(MoveButton::Back))
        e->speedFactorTarget = -e->walkFactor;
    else
        e->speedFactorTarget = 0.0f;
}

// Steering of the free modes: a turn speed eased toward the turn rate and a bank toward the turn.
void FreeSteer(NztEntity* e, float bankFactor, float rate) {
    NztMoveWork& w = e->moveWork;
    const float speed = Clampf(e->speedFactor, -1.0f, 1.0f);
    if (ButtonDown(MoveButton::Left)) {
        w.turnSpeed = Approach(w.turnSpeed, e->turnRate, Rate(0.1f));
        w.bank = Approach(w.bank, -(w.turnSpeed * bankFactor * speed), Rate(rate));
    } else if (ButtonDown(MoveButton::Right)) {
        w.turnSpeed = Approach(w.turnSpeed, -e->turnRate, Rate(0.1f));
        w.bank = Approach(w.bank, -(w.turnSpeed * bankFactor * speed), Rate(rate));
    } else {
        w.bank -= w.bank * Rate(0.05f);
        w.turnSpeed -= w.turnSpeed * Rate(0.1f);
    }
    // Left turns the heading up (the forward row toward -x).
    e->AddAngles(0.0f, w.turnSpeed * F(), 0.0f);
    w.poseTarget[2] = w.bank;
}

// Moves y by the vertical speed, never into the floor.
void ClimbBy(NztEntity* e, float dy) {
    const float y = e->Position[1] + dy * F();
    if (!Finite(y)) return;
    e->Position[1] = std::max(y, e->floorHeight);
}

}  // namespace

void NztEntity::UpdateAnimState() {
    // On a ladder or a hold the ground does not pull the character down.
    heightHold = actionState == ActionStateHanging || actionState == ActionStateLadder ||
                         actionState == ActionStateLadder2
                     ? 1
                     : 0;
    if (!layers.empty()) {
        EntityClearLayer(this, 1);
        EntityClearLayer(this, 2);
    }
    if (riddenEntity) {
        NztEntity* mount = riddenEntity;
        if (mount == this) return;
        mount->inputDriven = inputDriven;
        if (!mount->locked && mount->riddenEntity != this) mount->UpdateAnimState();
        if (this == PlayerEntity) {
            RaiseEvent(mount, EventMountFrame);
            RaiseEvent(this, EventRiderFrame);
        }
        return;
    }
    if (groundTilt) {
        DriveBranch();
        return;
    }
    if (flying && airborne) {
        FlyBranch();
        return;
    }
    if (inWater && canSwim && !airborne) {
        SwimBranch();
        return;
    }
    if (moveWork.landSpeedKept != 0) {
        speedFactorTarget = moveWork.landSpeedTarget;
        moveWork.landSpeedKept = 0;
    }
    if (sliding) {
        SlideBranch();
        return;
    }
    if (parachuting) {
        ParaBranch();
        return;
    }
    if (hangGliding) {
        DeltaBranch();
        return;
    }
    if (skyDiving) {
        SkyDiveBranch();
        return;
    }
    switch (actionState) {
    case ActionStateFree:
        GroundBranch();
        break;
    case ActionStateHanging:
        ClimbBranch();
        break;
    case ActionStateLadder:
    case ActionStateLadder2:
        LadderBranch();
        break;
    case ActionStateScripted:
        // A move this machine started is over once its animation has played out and no action
        // callback holds the character: control comes back rather than staying locked out.
        if (actionIdle && !locked) actionState = ActionStateFree;
        break;
    default:
        break;
    }
}

void NztEntity::FlyBranch() {
    NztMoveWork& w = moveWork;
    if (IsCurrent(this, AnimSlot::FlyStart)) {
        if (IsAnimAtEnd()) SetAnimIndex(AnimSlot::FlyRun, 0, AnimSlot::None, 0);
        return;
    }
    if (IsCurrent(this, AnimSlot::FlyEnd)) {
        if (IsAnimAtEnd()) EndFly();
        return;
    }
    const float h = Position[1] - supportHeight;
    if (airborneTime > 5.0f || h > flyMinHeight) w.highFlight = 1;
    if (h < flyMinHeight && w.highFlight) {
        if (inWater && canSwim) {
            Blend(this, AnimSlot::SwimRun);
            EndFly();
        } else if (ButtonDown(MoveButton::Jump) && HasAnim(this, AnimSlot::FlyEnd)) {
            BlendLocked(this, AnimSlot::FlyEnd, AnimSlot::MoveRun);
        } else {
            Blend(this, AnimSlot::MoveRun);
            EndFly();
        }
        return;
    }
    // Vertical speed, positive downward (units a frame): forward dives once high enough, back
    // climbs while below the ceiling of the flight.
    const float k = Clampf(groundSpeedSmoothing * F(), 0.0f, 1.0f);
    const bool dive = ButtonDown(MoveButton::Forward) && w.highFlight && h > flyMinHeight;
    const bool climb = ButtonDown(MoveButton::Back) && h < flyMaxHeight;
    if (dive)
        w.verticalSpeed = Approach(w.verticalSpeed, flyVerticalSpeed, k);
    else if (climb)
        w.verticalSpeed = Approach(w.verticalSpeed, -flyVerticalSpeed, k);
    else
        w.verticalSpeed -= w.verticalSpeed * Rate(0.1f);
    FreeSpeedTarget(this);
    GaitRule(this, FlyRow);
    ClimbBy(this, -w.verticalSpeed);
    const float pitch = Clampf(-(w.verticalSpeed * 50.0f), -1024.0f, 1024.0f);
    w.poseTarget[0] = Approach(w.poseTarget[0], pitch, Rate(dive || climb ? 0.05f : 0.1f));
    FreeSteer(this, 20.0f, 0.05f);
}

void NztEntity::SwimBranch() {
    NztMoveWork& w = moveWork;
    const float k = Clampf(groundSpeedSmoothing * F(), 0.0f, 1.0f);
    const float depth = supportHeight - Position[1];  // below the surface, positive
    // Vertical speed, positive downward: forward dives down to the floor, back rises while deeper
    // than the swimming depth.
    bool byButton = false;
    if (ButtonDown(MoveButton::Forward)) {
        w.verticalSpeed = Position[1] <= floorHeight ? 0.0f : Approach(w.verticalSpeed, swimVerticalSpeed, k);
        byButton = true;
    } else if (ButtonDown(MoveButton::Back)) {
        w.verticalSpeed = depth > swimDepth ? Approach(w.verticalSpeed, -swimVerticalSpeed, k) : 0.0f;
        byButton = true;
    } else {
        w.verticalSpeed -= w.verticalSpeed * Rate(0.1f);
    }
    FreeSpeedTarget(this);
    GaitRule(this, SwimRow);
    if (w.verticalSpeed != 0.0f) {
        // Never above the swimming depth under the surface, never into the floor.
        float y = Position[1] - w.verticalSpeed * F();
        y = std::min(y, supportHeight - swimDepth);
        if (Finite(y)) Position[1] = std::max(y, floorHeight);
    }
    if (depth > swimDepth + 1.0f)
        reserve = std::max(0.0f, reserve - 0.25f);
    else
        reserve = 200.0f;
    const float pitch = Clampf(-(w.verticalSpeed * 500.0f), -1024.0f, 1024.0f);
    w.poseTarget[0] = Approach(w.poseTarget[0], pitch, Rate(byButton ? 0.05f : 0.1f));
    FreeSteer(this, 50.0f, 0.015f);
    if (HasWallContact() && HasAnim(this, AnimSlot::JumpHandUp01) && FindLedge() == LedgeStepUp) {
        FaceWall();
        BlendLocked(this, AnimSlot::JumpHandUp01);
        if (actionState == ActionStateHanging) RaiseEvent(this, EventLeaveHold);
        actionState = ActionStateScripted;
    }
}

void NztEntity::LadderBranch() {
    if (ButtonPressed(MoveButton::Jump) && ButtonDown(MoveButton::Back) && HasAnim(this, AnimSlot::JumpBack01)) {
        SetLocked(this, AnimSlot::JumpBack01);
        // Off the ladder: the jump carries the character from here.
        actionState = ActionStateFree;
        return;
    }
    if (ButtonDown(MoveButton::Forward))
        Blend(this, AnimSlot::LadderMoveUp);
    else if (ButtonDown(MoveButton::Back))
        Blend(this, AnimSlot::LadderMoveDown);
    else
        Blend(this, AnimSlot::LadderStatic);
    // At the foot of the ladder, climbing down steps off it; with no ladder animation at all the
    // character is not held on it.
    if ((ButtonDown(MoveButton::Back) && Position[1] - floorHeight <= stepHeight) ||
        (!HasAnim(this, AnimSlot::LadderStatic) && !HasAnim(this, AnimSlot::LadderMoveUp) &&
         !HasAnim(this, AnimSlot::LadderMoveDown)))
        actionState = ActionStateFree;
}

void NztEntity::GroundBranch() {
    // 1. Take-off: the action button released by a character that may fly ends the frame here,
    // whether or not a direction takes it into the air.
    if (ButtonReleased(MoveButton::Action) && canFly) {
        if (ButtonDown(MoveButton::Forward) && HasAnim(this, AnimSlot::FlyRun)) {
            StartFly();
            Blend(this, AnimSlot::FlyRun);
        } else if (ButtonDown(MoveButton::Back)) {
            StartFly();
            if (HasAnim(this, AnimSlot::FlyStart))
                BlendLocked(this, AnimSlot::FlyStart);
            else
                Blend(this, AnimSlot::FlyRun);
        }
        return;
    }
    // 2. Jumps, dives and ledges.
    if (ButtonPressed(MoveButton::Jump) && JumpButton()) return;
    // 3. Guard.
    guarding = ButtonDown(MoveButton::Guard) ? 1 : 0;
    const bool left = ButtonDown(MoveButton::Left), right = ButtonDown(MoveButton::Right);
    // 4. Without forward. On the ground the animations carry their own direction and their own
    // pace; the speed factor (the console's, an action's) only scales them and is left as it is.
    if (!ButtonDown(MoveButton::Forward)) {
        if (ButtonDown(MoveButton::Back)) {
            if (stance == 1 && (left || right)) TurnYawBy(this, (left ? 1.0f : -1.0f) * turnRate * F());
            if (stance == 2 || stance == 3) LeanBody(left ? -512.0f : right ? 512.0f : 0.0f);
            Blend(this, AnimSlot::MoveBack);
            return;
        }
        if ((left || right) && stance != StanceSideways) {
            const bool strafe = stance == 2 || stance == 3 || (left && ButtonDown(MoveButton::StrafeLeft)) ||
                                (right && ButtonDown(MoveButton::StrafeRight));
            if (strafe && HasAnim(this, left ? AnimSlot::MoveStrafL : AnimSlot::MoveStrafR)) {
                Blend(this, left ? AnimSlot::MoveStrafL : AnimSlot::MoveStrafR);
                return;
            }
            // The camera-relative stance has its heading set by the player control; the others
            // turn here.
            if (stance != StanceFree) TurnYawBy(this, (left ? 1.0f : -1.0f) * turnRate * F());
            if (HasAnim(this, AnimSlot::MoveTurn)) Blend(this, AnimSlot::MoveTurn);
            return;
        }
        if (IsCurrent(this, AnimSlot::MoveTurn) && !IsAnimAtEnd()) return;
        const NztBaseObject* t = target;
        const uint32_t stand =
            (t && t->kind == ObjectKindEntity && static_cast<const NztEntity*>(t)->order == EntityOrderKeepOffset &&
             HasAnim(this, AnimSlot::FightStatic))
                ? AnimSlot::FightStatic
                : AnimSlot::MoveStatic01;
        if (idleBlend)
            Blend(this, stand);
        else
            SetAnimIndex(stand, 0, AnimSlot::None, 0);
        return;
    }
    // 5. Forward.
    if (CanStartSlide()) {
        StartSlide();
        return;
    }
    if (stance == 1 && (left || right)) AddAngles(0.0f, (left ? 1.0f : -1.0f) * turnRate * F(), 0.0f);
    if (stance == 2 || stance == 3) LeanBody(left ? 512.0f : right ? -512.0f : 0.0f);
    GaitForward(this, GroundRow);
}

void NztEntity::LeanBody(float target) {
    NztMoveWork& w = moveWork;
    w.yawOffset = LerpAngle(Clampf(turnSmoothing * F(), 0.0f, 1.0f), target, w.yawOffset);
    MatrixRotationY(tiltMatrix, RoundToInt(w.yawOffset));
}

bool NztEntity::JumpButton() {
    // Pressed jump: sideways and back jumps, dives, ledges, then the jump of the gait.
    previousAnim = nullptr;
    const bool fwd = ButtonDown(MoveButton::Forward);
    if (canJump && stance != StanceSideways && !fwd) {
        const struct {
            int button;
            uint32_t slot;
        } sideJumps[] = {{MoveButton::Back, AnimSlot::JumpBack01},
                         {MoveButton::Right, AnimSlot::JumpRight01},
                         {MoveButton::Left, AnimSlot::JumpLeft01}};
        for (const auto& j : sideJumps) {
            if (ButtonDown(j.button) && HasAnim(this, j.slot)) {
                SetLocked(this, j.slot);
                return true;
            }
        }
    }
    if (IsCurrent(this, AnimSlot::MoveRun) && HasAnim(this, AnimSlot::DiveAngleStartRun) && CanStartDive()) {
        SetLocked(this, AnimSlot::DiveAngleStartRun);
        return true;
    }
    if (IsCurrent(this, AnimSlot::MoveSprint) && HasAnim(this, AnimSlot::DiveAngleStartSprint) && CanStartDive()) {
        SetLocked(this, AnimSlot::DiveAngleStartSprint);
        return true;
    }
    if (HasAnim(this, AnimSlot::DiveAngelStart) && HasAnim(this, AnimSlot::DiveAngleStartStyle) && CanStartDive()) {
        SetLocked(this, RandomIntRange(0, 1) ? AnimSlot::DiveAngleStartStyle : AnimSlot::DiveAngelStart);
        return true;
    }
    switch (FindLedge()) {
    case LedgeStepUp:
        BlendLocked(this, AnimSlot::JumpUp01);
        return true;
    case LedgeHandUp:
        BlendLocked(this, AnimSlot::JumpHandUpBig01);
        return true;
    case LedgeHandAway:
        BlendLocked(this, AnimSlot::JumpHandAway01);
        return true;
    default:
        break;
    }
    if (!canJump) return false;
    const bool forward = fwd || (stance == StanceSideways && (ButtonDown(MoveButton::Left) || ButtonDown(MoveButton::Right)));
    uint32_t order[4];
    int n = 4;
    if (!forward) {
        order[0] = AnimSlot::JumpStatic, order[1] = AnimSlot::JumpWalk01, order[2] = AnimSlot::JumpRun01,
        order[3] = AnimSlot::JumpSprint01;
    } else if (gaitInUse == 0) {
        order[0] = AnimSlot::JumpWalk01, order[1] = AnimSlot::JumpRun01, order[2] = AnimSlot::JumpSprint01,
        order[3] = AnimSlot::JumpStatic;
    } else if (gaitInUse == 1) {
        order[0] = AnimSlot::JumpRun01, order[1] = AnimSlot::JumpSprint01, order[2] = AnimSlot::JumpWalk01,
        order[3] = AnimSlot::JumpStatic;
    } else {
        // A sprint jumps only with its own animation; without it the frame goes on as a run.
        order[0] = AnimSlot::JumpSprint01;
        n = 1;
    }
    for (int i = 0; i < n; ++i) {
        if (!HasAnim(this, order[i])) continue;
        if (order[i] == AnimSlot::JumpStatic)
            BlendLocked(this, order[i]);
        else
            SetLocked(this, order[i]);
        return true;
    }
    return false;
}

void NztEntity::ClimbBranch() {
    const bool up = ButtonDown(MoveButton::Forward), down = ButtonDown(MoveButton::Back);
    const bool left = ButtonDown(MoveButton::Left), right = ButtonDown(MoveButton::Right);
    // 1. Jumps from the hold.
    if (ButtonPressed(MoveButton::Jump)) {
        previousAnim = nullptr;
        // The first move that applies: forward without a ledge above or room to climb over goes
        // on to the sideways and back jumps.
        bool done = false;
        if (up && FindLedgeAbove()) {
            BlendLocked(this, AnimSlot::ClimbJumpUp01, AnimSlot::ClimbJumpUp02);
            done = true;
        } else if (up && CanClimbOver(EntityBodyHeight(this))) {
            uint32_t slot = AnimSlot::ClimbEndUp;
            if (HasAnim(this, AnimSlot::ClimbEndUpFun) && RandomIntRange(0, 10) == 0) slot = AnimSlot::ClimbEndUpFun;
            BlendLocked(this, slot);
            done = true;
        } else if (left && canHang && HasAnim(this, AnimSlot::ClimbJumpLeft01)) {
            BlendLocked(this, AnimSlot::ClimbJumpLeft01);
            done = true;
        } else if (right && canHang && HasAnim(this, AnimSlot::ClimbJumpRight01)) {
            BlendLocked(this, AnimSlot::ClimbJumpRight01);
            done = true;
        } else if (down) {
            if (canHang && HasAnim(this, AnimSlot::ClimbJumpBack01)) {
                TurnYawBy(this, 2048.0f);
                SetLocked(this, AnimSlot::ClimbJumpBack01);
                done = true;
            } else {
                for (uint32_t slot : {AnimSlot::JumpRun01, AnimSlot::JumpSprint01, AnimSlot::JumpWalk01}) {
                    if (HasAnim(this, slot)) {
                        BlendLocked(this, slot);
                        done = true;
                        break;
                    }
                }
            }
        } else if (!up && !left && !right && FindLedgeBelow()) {
            BlendLocked(this, AnimSlot::ClimbJumpDown01);
            done = true;
        }
        if (done) {
            RaiseEvent(this, EventClimbJump);
            return;
        }
        if (down) {
            // No jump off the hold at all: letting go is always possible.
            RaiseEvent(this, EventLeaveHold);
            actionState = ActionStateFree;
            airborne = 0;
            return;
        }
    }
    // 2. Let go when the feet are down or the ledge is gone.
    const float zero[3] = {0.0f, 0.0f, 0.0f};
    if (Position[1] - supportHeight <= 1.0f || !HangLedgeUnderHand(zero)) {
        if (actionState == ActionStateHanging) RaiseEvent(this, EventLeaveHold);
        actionState = ActionStateFree;
        airborne = 0;
        return;
    }
    // The hand is brought half of the way to the ledge.
    auto holdHeight = [this] {
        const Vec3 hand = EntityHandPoint(this);
        const float want = ledgeHeight - (hand.y - Position[1]);
        if (Finite(want)) Position[1] += (want - Position[1]) * 0.5f;
    };
    // 3. Hanging moves.
    if (up && HasAnim(this, AnimSlot::ClimbJumpUp00)) {
        holdHeight();
        Blend(this, AnimSlot::ClimbJumpUp00);
        return;
    }
    if (down && HasAnim(this, AnimSlot::ClimbJumpBack00)) {
        holdHeight();
        Blend(this, AnimSlot::ClimbJumpBack00);
        return;
    }
    // 4 and 5. Shimmying.
    for (int sideIndex = 0; sideIndex < 2; ++sideIndex) {
        const bool isLeft = sideIndex == 0;
        if (!(isLeft ? left : right)) continue;
        const uint32_t move = isLeft ? AnimSlot::ClimbLeft : AnimSlot::ClimbRight;
        if (!HasAnim(this, move)) continue;
        const float offset[3] = {isLeft ? -hangReach : hangReach, 0.0f, 0.0f};
        if (HangLedgeUnderHand(offset)) {
            Blend(this, move);
            int32_t turn = 0;
            if (HasWallContact() && (isLeft ? CanTurnLeftAtLedge(&turn) : CanTurnRightAtLedge(&turn))) {
                TurnYawBy(this, static_cast<float>(turn));
                SetLocked(this, isLeft ? AnimSlot::ClimbTurnLeftIn : AnimSlot::ClimbTurnRightIn);
            } else {
                FaceWall();
            }
        } else if (isLeft ? CanShimmyRight() : CanShimmyLeft()) {
            // The outer corner: the ledge goes on round it.
            TurnYawBy(this, isLeft ? -1024.0f : 1024.0f);
            SetLocked(this, isLeft ? AnimSlot::ClimbTurnLeftOut : AnimSlot::ClimbTurnRightOut);
        } else {
            holdHeight();
            Blend(this, isLeft ? AnimSlot::ClimbJumpLeft00 : AnimSlot::ClimbJumpRight00);
        }
        return;
    }
    // 6. Hold still against the wall.
    holdHeight();
    Blend(this, AnimSlot::ClimbStatic);
    FaceWall();
    SnapToWall();
}

void NztEntity::SlideBranch() {
    NztMoveWork& w = moveWork;
    if (IsCurrent(this, AnimSlot::SlideEnd) || IsCurrent(this, AnimSlot::RoundForward) ||
        IsCurrent(this, AnimSlot::SlideEndWater) || IsCurrent(this, AnimSlot::SlideImpact))
        return;
    if (!IsCurrent(this, AnimSlot::SlideRun)) {
        // The start plays out first; any other animation ends the slide.
        if (!IsCurrent(this, AnimSlot::SlideStart) && sliding) EndSlide();
        return;
    }
    const bool jumpPressed = ButtonPressed(MoveButton::Jump) && canJump;
    // 1. Free styles in the air.
    if (airborne && jumpPressed) {
        airborneTime = std::min(airborneTime, 0.0f);
        if (layers.size() > 3 && !layers[3].Anim) {
            const struct {
                int button;
                uint32_t slot;
            } styles[] = {{MoveButton::Left, AnimSlot::SlideFreeStyle01},
                          {MoveButton::Right, AnimSlot::SlideFreeStyle02},
                          {MoveButton::Forward, AnimSlot::SlideFreeStyle03},
                          {MoveButton::Back, AnimSlot::SlideFreeStyle04}};
            for (const auto& s : styles)
                if (ButtonDown(s.button))
                    if (NztAnim* a = GetAnim(s.slot)) SetAnimLayer(3, a, 4, 0.0f, 1, 1.0f, 0, 0);
        }
    }
    // 2. Lean and speed on the ground.
    float& l = w.slideLean;
    if (!airborne) {
        const bool downhill = groundPitch < 0;
        if (!ButtonDown(MoveButton::Back)) {
            if (downhill) {
                l = Approach(l, l + 0.5f, Rate(0.05f));
                w.slideSpeedNow = Approach(w.slideSpeedNow, slideSpeed, Rate(0.05f));
            } else {
                l = Approach(l, l - 0.05f, Rate(0.15f));
                w.slideSpeedNow -= w.slideSpeedNow * Rate(0.005f);
            }
        } else {
            l -= l * Rate(0.05f);
            if (downhill)
                w.slideSpeedNow = Approach(w.slideSpeedNow, 0.5f, Rate(0.05f));
            else
                w.slideSpeedNow -= w.slideSpeedNow * Rate(0.05f);
        }
        l = Clampf(l, -1.0f, 1.0f);
        TurnYawBy(this, static_cast<float>(groundRoll) * -0.01f);
    }
    // 3. Speed, endings and the sprint layer.
    glideVelocity[2] = w.slideSpeedNow;
    if (w.slideSpeedNow >= 0.5f) {
        w.slideClock = 1.5f;
        const bool layerBusy = layers.size() > 3 && layers[3].Anim;
        if (verticalVelocity == 0.0f && !airborne && (groundContact.surfaceType != 5 || layerBusy)) {
            SlideEndRound();
            return;
        }
        if (HasWallContact() && l >= 0.2f) {
            SlideEndImpact();
            return;
        }
        if (NztAnim* a = GetAnim(AnimSlot::SlideSprint)) SetAnimLayer(1, a, 2, Clampf(1.5f * l, -1.0f, 1.0f), 0, 1.0f, 0, 0);
    } else {
        if (w.slideClock <= 0.0f) {
            SlideEndFloor();
            return;
        }
        w.slideClock -= FrameTiming.frameTime;
        if (NztAnim* a = GetAnim(AnimSlot::SlideSprint)) SetAnimLayer(1, a, 2, l, 0, 1.0f, 0, 0);
    }
    previousAnim = GetAnim(AnimSlot::SlideSprint);
    // 4. Move and steer.
    EntityMoveByGlide(this);
    w.slideSteer = Approach(w.slideSteer, Clampf(l + 0.25f, 0.1f, 0.8f), 0.5f);
    if (!airborne) {
        const float turn = slideTurnRate * F() * (1.0f - w.slideSteer);
        if (ButtonDown(MoveButton::Left)) TurnYawBy(this, turn);
        if (ButtonDown(MoveButton::Right)) TurnYawBy(this, -turn);
        // The jump: the vertical speed word of the ground following, which counts downward, loses
        // 20 (verticalVelocity counts upward).
        if (jumpPressed) {
            verticalVelocity += 20.0f;
            airborne = 1;
        }
    }
}

void NztEntity::ParaBranch() {
    NztMoveWork& w = moveWork;
    if (!IsCurrent(this, AnimSlot::ParaMoveForward) && !IsCurrent(this, AnimSlot::ParaStart)) return;
    const float f = F();
    const bool fwd = ButtonDown(MoveButton::Forward), back = ButtonDown(MoveButton::Back);
    if (back) {
        glideVelocity[2] = Approach(glideVelocity[2], std::max(glideVelocity[2] - 0.5f, 0.5f), 0.15f);
        w.glideFall = Approach(w.glideFall, 0.5f * weight * f, 0.15f);
    } else if (fwd) {
        glideVelocity[2] = Approach(glideVelocity[2], std::min(glideVelocity[2] + 0.5f, 1.0f), 0.15f);
        w.glideFall = Approach(w.glideFall, 2.0f * weight * f, 0.15f);
    } else {
        w.glideDrift -= w.glideDrift * 0.15f;
        w.glideFall = Approach(w.glideFall, weight * f, 0.15f);
    }
    glideVelocity[1] = -w.glideFall;
    skyDiveSpeed = w.glideFall;
    EntityMoveByGlide(this);
    // Never below the ground: the landing takes over at the support height.
    Position[1] = std::max(Position[1], supportHeight);
    if (IsCurrent(this, AnimSlot::ParaMoveForward)) {
        if (ButtonDown(MoveButton::Left)) TurnYawBy(this, turnRate * f);
        if (ButtonDown(MoveButton::Right)) TurnYawBy(this, -turnRate * f);
        if (ButtonReleased(MoveButton::Action) && airborneTime > 1.0f) {
            ReturnToSkyDive();
            Blend(this, AnimSlot::FallSkyDive);
            abortGlide = 1;
        }
    }
}

void NztEntity::DeltaBranch() {
    NztMoveWork& w = moveWork;
    if (!IsCurrent(this, AnimSlot::DeltaMoveForward) && !IsCurrent(this, AnimSlot::DeltaStart)) return;
    const float f = F();
    const float h = Position[1] - supportHeight;
    const float low = 2.0f * stepHeight;
    const bool fwd = ButtonDown(MoveButton::Forward), back = ButtonDown(MoveButton::Back);
    float& speed = glideVelocity[2];
    if (fwd && !back) {
        speed = Approach(speed, 25.0f, 0.05f);
        w.glideFall = Approach(w.glideFall, 50.0f * weight * f, 0.1f);
    } else if (back && !fwd) {
        speed = Approach(speed, 3.0f, 0.05f);
        w.glideFall = Approach(w.glideFall, -50.0f * weight * f * std::min(1.0f, speed / 15.0f), 0.1f);
    } else {
        const float cruise = ButtonDown(MoveButton::Action) && h < low ? std::min(speed, 3.5f) : 15.0f;
        speed = Approach(speed, cruise, 0.05f);
        w.glideFall = Approach(w.glideFall, 5.0f * weight * f, 0.1f);
    }
    if (ButtonDown(MoveButton::Left) || ButtonDown(MoveButton::Right)) {
        const float dir = ButtonDown(MoveButton::Left) ? 1.0f : -1.0f;
        w.turnSpeed = Approach(w.turnSpeed, dir * turnRate * f, 0.025f);
        TurnYawBy(this, w.turnSpeed);
        w.bank = Approach(w.bank, -dir * 10.0f * turnRate * f, 0.5f);
    } else {
        w.bank *= 0.5f;
        w.turnSpeed -= w.turnSpeed * 0.01f;
    }
    w.poseTarget[2] = w.bank;
    w.poseTarget[0] = Approach(w.poseTarget[0], -Clampf((w.glideFall - 1.0f) * 15.0f, -512.0f, 768.0f), 0.25f);
    skyDiveSpeed = w.glideFall;
    glideVelocity[1] = -w.glideFall;
    // Release time: grows on the frames the action button goes up low over the ground, else 0.
    const bool released = ButtonReleased(MoveButton::Action) && airborneTime > 1.0f;
    if (released && h <= low)
        w.releaseTime += FrameTiming.frameTime;
    else if (!released)
        w.releaseTime = 0.0f;
    if (IsCurrent(this, AnimSlot::DeltaMoveForward)) {
        if (h < low) {
            if (NztAnim* land = GetAnim(AnimSlot::DeltaLand)) {
                const float weightNow = layers.size() > 1 ? layers[1].Weight : 0.0f;
                SetAnimLayer(1, land, 2, Approach(weightNow, std::min(1.0f, w.releaseTime / 2.0f), 0.25f), 0, 1.0f, 0,
                             0);
            }
        }
        if (h < 0.1f) {
            if (inWater)
                DeltaEndWater();
            else
                DeltaEndRound();
            return;
        }
        if (released) {
            if (h > low) {
                ReturnToSkyDive();
                Blend(this, AnimSlot::FallSkyDive);
                abortGlide = 1;
                return;
            }
            if (w.releaseTime >= 2.0f) {
                DeltaEndFloor();
                return;
            }
        }
    }
    EntityMoveByGlide(this);
    Position[1] = std::max(Position[1], supportHeight);
}

void NztEntity::SkyDiveBranch() {
    NztMoveWork& w = moveWork;
    if (!IsCurrent(this, AnimSlot::FallSkyDive)) return;
    const float f = F();
    if (ButtonDown(MoveButton::Left)) TurnYawBy(this, turnRate * f);
    if (ButtonDown(MoveButton::Right)) TurnYawBy(this, -turnRate * f);
    float leanTarget = 0.0f, speedTarget = 2.5f;
    if (!ButtonDown(MoveButton::Gait)) {
        if (ButtonDown(MoveButton::Forward)) leanTarget = 1.0f, speedTarget = 10.0f;
        else if (ButtonDown(MoveButton::Back)) leanTarget = -1.0f, speedTarget = 1.5f;
    } else if (layers.size() > 3 && !layers[3].Anim) {
        const struct {
            int button;
            uint32_t slot;
        } styles[] = {{MoveButton::Left, AnimSlot::FallSkyDiveStyle03},
                      {MoveButton::Right, AnimSlot::FallSkyDiveStyle04},
                      {MoveButton::Forward, AnimSlot::FallSkyDiveStyle01},
                      {MoveButton::Back, AnimSlot::FallSkyDiveStyle02}};
        for (const auto& s : styles)
            if (ButtonDown(s.button))
                if (NztAnim* a = GetAnim(s.slot)) SetAnimLayer(3, a, 4, 0.0f, 1, 1.0f, 0, 0);
    }
    w.skyLean = Approach(w.skyLean, leanTarget, Rate(0.15f));
    glideVelocity[2] = Approach(glideVelocity[2], speedTarget, Rate(0.15f));
    if (w.skyLean > 0.0f) {
        if (NztAnim* a = GetAnim(AnimSlot::FallSkyDiveMoveForward)) {
            SetAnimLayer(1, a, 2, w.skyLean, 0, 1.0f, 0, 0);
            previousAnim = a;
        }
    }
    const float h = Position[1] - supportHeight;
    if (ButtonReleased(MoveButton::Action) && airborneTime > 1.0f && h > 100.0f && CanStartPara()) {
        EndSkyDive();
        StartPara();
        return;
    }
    // The fall speed grows, and is pulled back toward the cap of the lean.
    skyDiveSpeed += 1.25f * f;
    const float cap = 25.0f + 10.0f * f * w.skyLean;
    if (skyDiveSpeed > cap) skyDiveSpeed += (cap - skyDiveSpeed) * 0.25f;
    glideVelocity[1] = -skyDiveSpeed;
    EntityMoveByGlide(this);
    const bool carrier = wallContact.secondObject != 0;
    if (Position[1] <= supportHeight || carrier) {
        const float fallen = startHeight - supportHeight;
        if (!inWater) {
            Position[1] = supportHeight;
            if (fallen < 100.0f)
                SkyDiveEndRound();
            else
                SkyDiveEndFloor();
        } else {
            Position[1] = supportHeight - swimDepth;
            if (supportHeight - floorHeight < swimDepth || fallen > 500.0f)
                SkyDiveEndFloorWater();
            else
                SkyDiveEndWater();
        }
    }
}

void NztEntity::DriveBranch() {
    NztMoveWork& w = moveWork;
    const float f = F();
    const bool ground = !airborne;
    bool asked = false;
    if (ground) {
        if (ButtonDown(MoveButton::Forward)) {
            speedFactorTarget = runFactor * (ButtonDown(MoveButton::Gait) ? sprintFactor : 1.0f);
            asked = true;
        } else if (ButtonDown(MoveButton::Back)) {
            speedFactorTarget = walkFactor;
            asked = true;
        } else if (ButtonDown(MoveButton::Brake)) {
            speedFactorTarget = std::max(walkFactor, 0.0f);
            if (std::fabs(speedFactor) < 0.01f) speedFactor = 0.0f;
            asked = true;
        }
    }
    if (wallContact.secondObject && carrierSpeedSmoothing != 0.0f) {
        speedFactorTarget = 0.0f;
        if (std::fabs(speedFactor) < 0.01f) speedFactor = 0.0f;
        asked = true;
    }
    // Left alone, a vehicle rolls with the slope, and never below its walking factor (a vehicle's
    // record gives it 0 or a reverse speed).
    if (!asked) speedFactorTarget = std::max(ground ? static_cast<float>(groundPitch) * -0.001f : 0.0f, walkFactor);
    Blend(this, AnimSlot::DriveForward);
    const bool left = ButtonDown(MoveButton::Left), right = ButtonDown(MoveButton::Right);
    const bool steering = ground && (left || right);
    if (steering) {
        const float v = speedFactor;
        const float k = v == 0.0f ? 0.0f : std::copysign(1.0f - 1.0f / (1.0f + std::fabs(v)), v);
        const float dir = left ? 1.0f : -1.0f;
        w.steerAngle = Approach(w.steerAngle, dir * k * turnRate, Clampf(turnSmoothing * f, 0.0f, 1.0f));
        AddAngles(0.0f, w.steerAngle * f, 0.0f);
        w.bank = Approach(w.bank, dir * 20.0f * turnRate * k, Rate(0.05f));
        float leanTarget = dir * 15.0f * turnRate;
        if (groundTiltAxes == 1) leanTarget /= std::max(1.0f, speedFactor + 1.0f);
        if (groundTiltAxes == 4) leanTarget = left ? 30.0f * turnRate : -30.0f * turnRate / std::max(1.0f, speedFactor + 1.0f);
        w.driveLean = Approach(w.driveLean, leanTarget, Rate(0.1f));
        w.steerTarget = w.steerAngle * 8.0f;
    } else {
        w.driveLean -= w.driveLean * Rate(0.1f);
    }
    if (ground) {
        w.poseTarget[0] = Approach(w.poseTarget[0], static_cast<float>(groundPitch), Rate(0.25f));
        const float roll = static_cast<float>(groundRoll);
        switch (groundTiltAxes) {
        case 0:
            w.poseTarget[2] = Approach(w.poseTarget[2], roll + w.bank * rollFactor, Rate(0.25f));
            break;
        case 2:
            w.poseTarget[2] = Approach(w.poseTarget[2], roll, Rate(0.25f));
            break;
        case 3:
            w.poseTarget[2] = Approach(w.poseTarget[2], roll - 0.25f * w.bank, Rate(0.25f));
            break;
        case 4:
            w.poseTarget[2] = Approach(w.poseTarget[2], roll, Rate(0.15f)) + 0.15f * w.bank;
            break;
        default:
            w.poseTarget[2] = -w.bank;
            break;
        }
    } else {
        w.poseTarget[0] -= w.poseTarget[0] * Rate(0.025f);
        w.poseTarget[2] -= w.poseTarget[2] * Rate(0.025f);
    }
    if (!steering) {
        w.steerAngle -= w.steerAngle * Rate(0.05f);
        w.bank -= w.bank * Rate(0.05f);
        w.steerTarget = w.steerAngle * 8.0f;
        AddAngles(0.0f, w.steerAngle * Clampf(speedFactor, -1.0f, 1.0f) * f, 0.0f);
    }
}
