// The scripted moves that sit on a character's action stack: falls, dives, jumps, jumps up to a
// hold, jumps between climbing holds, the climb over a ledge, and keeping to a trajectory line.
// Each runs once per frame until its last phase ends and it takes itself off the stack. While one
// runs for the player (or the character the player rides) the player's animation state machine is
// off.
//
// An event a move sends may end the character (a death, a removal): the move then stops at once.
#include <algorithm>
#include <cmath>

#include "camera/traject.h"
#include "character/entity.h"
#include "character/moveutil.h"
#include "collision/collquery.h"
#include "core/frameclock.h"
#include "core/nztmath.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/objtype.h"

// Of the movement code (character/probes.cpp).
float EntityBodyHeight(const NztEntity* e);
Vec3 EntityHandPoint(const NztEntity* e);

float EntityMoveExtent(const NztEntity* e) {
    return e->stepHeight > 0.0f ? e->stepHeight : EntityBodyHeight(e);
}

namespace {

constexpr float GravityStep = 0.099999994f;
constexpr float MinFallSpeed = -50.0f;
// A drop of this many extents kills on landing.
constexpr float FatalDrops = 50.0f;
constexpr float RoundLandingDrop = 100.0f;
constexpr float ClimbStartSpeed = 0.2f;
constexpr float ClimbGravity = 0.15f;
constexpr int32_t SlopeRoll = 600;
constexpr float NoGround = -4000000.0f;

constexpr uint32_t EventTookHold = 56;
constexpr uint32_t EventLeftHold = 57;
constexpr uint32_t EventClimbStep = 59;
constexpr uint32_t EventStuck = 128;

constexpr uint32_t StateHolding = 1;
constexpr uint32_t StateMachineMove = 4;
constexpr uint32_t JumpWalkSlot = 46;
// The button of the fighting jumps (Alt, or pad button 0).
constexpr int FightButton = 2;

// The slot of an animation name; the names are those of the slot table.
uint32_t Slot(const char* name) {
    const int32_t s = FindAnimSlot(name);
    return s < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(s);
}

struct Ground {
    float height = NoGround;  // the surface: water top over water, else the floor
    float depth = 0.0f;       // water over the floor
    bool water = false;
};

float Dt50() {
    return FrameTiming.frameFactor;
}

bool TickFrame() {
    return FrameAccumulators.tickA == 0.0f;
}

// The steps the moves share, with access to the character.
class MoveSteps {
public:
    explicit MoveSteps(NztEntity* e) : e_(e), handle_(EventObjectHandle(e)) {}

    bool Alive() const { return ResolveEventObject(handle_) == e_; }
    // Sends code; false when the character did not survive it.
    bool Send(uint32_t code) {
        ObjectServices.sendEvent(e_, code, 0, 0, 0);
        return Alive();
    }

    bool Is(const char* name) const {
        const NztAnim* a = e_->currentAnim;
        return a != nullptr && a == e_->GetAnim(Slot(name));
    }
    bool Has(const char* name) const { return e_->GetAnim(Slot(name)) != nullptr; }
    bool AtEnd() const { return e_->IsAnimAtEnd() != 0; }
    void Set(const char* name, int32_t fromFrame = 0) { e_->SetAnimIndex(Slot(name), fromFrame, 0xFFFFFFFFu, 0); }
    void Blend(const char* name, int32_t fromFrame = 0) {
        e_->BlendToAnimIndex(Slot(name), fromFrame, 0xFFFFFFFFu, 0);
    }

    // The player, when this character is it or the one it rides.
    NztEntity* Player() const {
        NztEntity* p = PlayerEntity;
        if (p == nullptr) return nullptr;
        return p == e_ || p->riddenEntity == e_ ? p : nullptr;
    }
    void SuspendControl(bool contacts = false) {
        if (NztEntity* p = Player()) {
            p->animStateMachine = 0;
            if (contacts) p->ResetControlState();
        }
    }
    void RestoreControl() {
        if (NztEntity* p = Player()) p->animStateMachine = p->inputDriven;
    }

    float GravityStepNow() const { return GravityStep * e_->weight * Dt50(); }
    void StartFallSpeed(float from) { e_->fallSpeed = std::max(from - GravityStepNow(), MinFallSpeed); }

    // The ground under the character within the move's range; with nothing under it the last
    // support stands, as for the ground following.
    Ground Probe() const {
        Ground g;
        float floor = e_->supportHeight, surface = e_->supportHeight;
        const Vec3 at{e_->Position[0], e_->Position[1], e_->Position[2]};
        g.water = GroundHeightAt(at, EntityMoveExtent(e_), e_->supportHeight, &floor, &surface, e_) != 0;
        if (!std::isfinite(floor)) floor = e_->supportHeight;
        if (!std::isfinite(surface)) surface = floor;
        g.height = g.water ? surface : floor;
        g.depth = g.water && floor > NoGround ? surface - floor : (g.water ? 1.0e9f : 0.0f);
        e_->floorHeight = floor;
        return g;
    }
    // One frame of falling; true when the character landed (y on the ground).
    bool FallStep(const Ground& g) {
        const float y = e_->Position[1] + e_->fallSpeed;
        if (y > g.height) {
            e_->Position[1] = y;
            e_->fallSpeed = std::max(e_->fallSpeed - GravityStepNow(), MinFallSpeed);
            return false;
        }
        Land(g);
        return true;
    }
    void Land(const Ground& g) {
        e_->airborne = 0;
        e_->Position[1] = e_->supportHeight = g.height;
    }
    float Drop(const Ground& g) const { return std::fabs(e_->startHeight - g.height); }
    bool Fatal(float drop) const { return drop >= FatalDrops * EntityMoveExtent(e_); }

    // Leaves the hold it had (57) and clears the action state, keeping a state-machine move.
    bool LetGoOfHold(bool keepMove) {
        if (keepMove && e_->actionState == StateMachineMove) return true;
        const bool held = e_->actionState == StateHolding;
        e_->actionState = 0;
        return !held || Send(EventLeftHold);
    }
    // The move is over: idle, control back, off the stack.
    void End(void (NztEntity::*callback)()) {
        e_->actionIdle = 1;
        RestoreControl();
        e_->airborne = 0;
        e_->RemoveAction(MakeAction(callback));
        if (e_->actionState == StateMachineMove) e_->actionState = 0;
    }
    // The move ends with a fatal landing: the character dies through the life step.
    void EndDead(void (NztEntity::*callback)()) {
        End(callback);
        e_->SetLife(0.0f);
    }

    float HandHeight() const { return EntityHandPoint(e_).y; }
    // y moved so that the hand is at the hold.
    void SnapHand(float hand) { e_->Position[1] = e_->ledgeHeight - (hand - e_->Position[1]); }
    // Hangs on the hold: "ClimbStatic", 56 unless already holding, state 1.
    bool TakeHold() {
        Blend("ClimbStatic");
        const bool was = e_->actionState == StateHolding;
        e_->actionState = StateHolding;
        e_->actionIdle = 1;
        RestoreControl();
        e_->airborne = 1;
        return was || Send(EventTookHold);
    }

    // The ledge under the hand within reach (the hold height is then the ledge's).
    bool LedgeUnderHand(float reach) {
        const float kept = e_->hangReach;
        e_->hangReach = reach;
        const float here[3] = {0.0f, 0.0f, 0.0f};
        const bool found = e_->HangLedgeUnderHand(here) != 0;
        e_->hangReach = kept;
        return found;
    }
    bool WallAhead() const { return e_->WallAhead(std::max(e_->size, 0.5f) + e_->hangReach) != 0; }
    // A ledge round the corner on the left (left) or right; *turn the quarter turn to take.
    bool LedgeRoundCorner(bool left, int32_t* turn) {
        return (left ? e_->CanTurnLeftAtLedge(turn) : e_->CanTurnRightAtLedge(turn)) != 0;
    }

    NztEntity* e_;
    uint32_t handle_;
};

using Move = void (NztEntity::*)();

// The first frame of the falling and jumping moves.
void FirstFallFrame(MoveSteps& m, bool fromRest) {
    NztEntity* e = m.e_;
    e->startHeight = e->Position[1];
    m.StartFallSpeed(fromRest ? 0.0f : e->verticalVelocity);
    e->actionIdle = 0;
    e->airborne = 1;
}

// A climbing jump up or down: the hold is reached, or the character falls back.
void ClimbVertical(NztEntity* e, const char* first, const char* second, Move self) {
    MoveSteps m(e);
    m.SuspendControl(true);
    if (e->actionIdle != 0) {
        e->climbSpeed = ClimbStartSpeed * EntityMoveExtent(e);
        e->actionIdle = 0;
        e->startHeight = e->Position[1];
        m.Probe();
    }
    const float hand = m.HandHeight();
    auto hold = [&] {
        m.SnapHand(hand);
        e->RemoveAction(MakeAction(self));
        if (!m.TakeHold()) return;
        m.Send(EventClimbStep);
    };
    auto fallBack = [&](bool blend) {
        if (blend) m.Blend("JumpHandUpBig03b", 1);
        e->airborne = 0;
        e->actionIdle = 1;
        m.RestoreControl();
        e->RemoveAction(MakeAction(self));
        m.LetGoOfHold(false);
    };
    if (m.Is(first)) {
        if (m.AtEnd()) {
            e->climbSpeed = e->verticalVelocity;
            if (hand < e->ledgeHeight) {
                m.Set(second);
            } else {
                hold();
            }
        } else if (hand >= e->ledgeHeight) {
            hold();
        }
        return;
    }
    if (m.Is(second)) {
        // Back on the ground it started from: the jump missed.
        if (e->climbSpeed < 0.0f && e->Position[1] <= e->floorHeight) {
            fallBack(true);
            return;
        }
        if ((e->climbSpeed >= 0.0f && hand >= e->ledgeHeight) || (e->climbSpeed < 0.0f && hand <= e->ledgeHeight)) {
            hold();
            return;
        }
        if (e->climbSpeed >= 0.0f || e->Position[1] > e->floorHeight) {
            e->Position[1] = std::max(e->Position[1] + e->climbSpeed, e->floorHeight);
            e->climbSpeed -= ClimbGravity * Dt50();
            // Falling back to where it started.
            if (e->climbSpeed < 0.0f) e->ledgeHeight = e->startHeight;
            return;
        }
        fallBack(true);
        return;
    }
    if (m.Is("MoveStatic01")) fallBack(false);
}

// A sideways climbing jump along the ledge (quarter: +1024 left, -1024 right).
void ClimbSideways(NztEntity* e, const char* first, const char* second, int32_t quarter, Move self) {
    MoveSteps m(e);
    m.SuspendControl(true);
    if (e->actionIdle != 0) {
        e->actionIdle = 0;
        e->startHeight = e->Position[1];
    }
    auto holdHere = [&](bool step) {
        e->Position[1] = e->startHeight;
        e->FaceWall();
        e->RemoveAction(MakeAction(self));
        if (!m.TakeHold()) return;
        if (step) m.Send(EventClimbStep);
    };
    if (m.Is(first)) {
        if (!m.AtEnd()) {
            int32_t turn = 0;
            if (e->contact != 0 && m.Has("ClimbJumpBack02") && m.LedgeRoundCorner(quarter > 0, &turn)) {
                e->TurnBy(turn);
                m.Set("ClimbJumpBack02");
                e->RemoveAction(MakeAction(self));
                e->PushAction(MakeAction(&NztEntity::ActClimbJumpBack));
                m.Send(EventClimbStep);
            }
            return;
        }
        if (!m.LedgeUnderHand(e->hangReach)) {
            e->actionIdle = 1;
            m.RestoreControl();
            e->RemoveAction(MakeAction(self));
            if (!m.LetGoOfHold(false)) return;
            e->StartJump();
            return;
        }
        if (!m.Has(second)) {
            holdHere(true);
            return;
        }
        m.Set(second);
        m.Send(EventClimbStep);
        return;
    }
    if (m.Is(second)) {
        if (!m.AtEnd()) {
            e->SnapToWall();
            return;
        }
        holdHere(false);
        return;
    }
    if (m.Is("MoveStatic01")) {
        e->actionIdle = 1;
        m.RestoreControl();
        e->airborne = 0;
        e->RemoveAction(MakeAction(self));
        m.LetGoOfHold(false);
    }
}

// The jump up to a hand hold, straight up or ahead.
void JumpToHold(NztEntity* e, bool ahead, Move self) {
    MoveSteps m(e);
    m.SuspendControl();
    const char* takeOff = ahead ? "JumpHandAway01" : "JumpHandUpBig01";
    const char* flight = ahead ? "JumpHandAway02" : "JumpHandUpBig02";
    const char* miss = ahead ? "JumpHandAway03" : "JumpHandUpBig03";
    const char* landing = ahead ? "JumpHandAway03b" : "JumpHandUpBig03b";
    if (e->actionIdle != 0) {
        FirstFallFrame(m, false);
        e->climbSpeed = ClimbStartSpeed * EntityMoveExtent(e);
        if (!m.LetGoOfHold(true)) return;
    }
    const Ground g = m.Probe();
    const float hand = m.HandHeight();
    auto reached = [&] {
        if (!ahead) return hand >= e->ledgeHeight;
        const Vec3 at{e->Position[0], hand, e->Position[2]};
        const float surface = NearestSurface(at, EntityMoveExtent(e), NoGround, e);
        return surface >= hand - 50.0f && std::fabs(surface - e->ledgeHeight) <= 10.0f &&
               std::fabs(hand - e->ledgeHeight) <= std::max(e->climbSpeed, 0.0f) + 10.0f;
    };
    auto hold = [&] {
        m.SnapHand(hand);
        if (ahead) e->ResetControlState();
        e->RemoveAction(MakeAction(self));
        m.TakeHold();
    };
    if (m.Is(takeOff)) {
        if (reached()) {
            hold();
        } else if (m.AtEnd()) {
            m.StartFallSpeed(e->verticalVelocity);
            m.Set(flight);
        }
        return;
    }
    if (m.Is(flight)) {
        if (e->fallSpeed >= 0.0f || e->Position[1] + e->fallSpeed > g.height) {
            if (reached()) {
                hold();
                return;
            }
            if (e->fallSpeed < 0.0f && m.Has(miss)) m.Set(miss);
        }
    }
    if (m.Is(flight) || m.Is(miss)) {
        if (!m.FallStep(g)) return;
        const float drop = m.Drop(g);
        if (g.water) {
            m.Set("DiveEndWater", 1);
        } else if (m.Fatal(drop)) {
            m.Set("DiveEndFloorDead01");
        } else if (drop >= RoundLandingDrop && m.Has("JumpReceiptRound")) {
            m.Set("JumpReceiptRound");
        } else {
            m.Set(landing, 1);
        }
        return;
    }
    if (m.Is("DiveEndFloorDead01")) {
        if (m.AtEnd()) m.EndDead(self);
        return;
    }
    if ((m.Is(landing) || m.Is("JumpReceiptRound") || m.Is("DiveEndWater")) && !m.AtEnd()) {
        e->Position[1] = e->supportHeight;
        return;
    }
    m.End(self);
}

}  // namespace

void NztEntity::ActFallDown() {
    MoveSteps m(this);
    m.SuspendControl();
    const uint32_t fallDown = Slot("FallDown");
    if (actionReset != 0) {
        startHeight = Position[1];
        m.StartFallSpeed(verticalVelocity);
        m.Set("FallDown");
        actionIdle = 0;
        airborne = 1;
        actionReset = 0;
    }
    auto end = [&](bool dead) {
        actionReset = 1;
        if (dead) {
            m.EndDead(&NztEntity::ActFallDown);
        } else {
            m.End(&NztEntity::ActFallDown);
        }
    };
    NztAnim* falling = GetAnim(fallDown);
    if (falling != nullptr && (currentAnim == falling || requestedAnim == falling)) {
        if (TickFrame() && verticalVelocity == 0.0f && contact != 0 && !m.Send(EventStuck)) return;
        const Ground g = m.Probe();
        if (!m.FallStep(g)) return;
        const float drop = m.Drop(g);
        if (m.Fatal(drop)) {
            m.Set("FallEndFloor");
        } else if (g.water) {
            m.Set("DiveEndWater", 1);
        } else {
            m.Set("RoundForward", 1);
        }
        return;
    }
    if ((m.Is("DiveEndWater") && m.AtEnd()) || m.Is("MoveStatic01")) {
        end(false);
    } else if (m.Is("RoundForward")) {
        if (!m.AtEnd()) return;
        m.Set("MoveStatic01");
        end(false);
    } else if (m.Is("FallEndFloor")) {
        if (m.AtEnd()) end(true);
    } else if (currentAnim == nullptr) {
        end(false);
    }
}

void NztEntity::ActDive() {
    MoveSteps m(this);
    m.SuspendControl();
    if (actionIdle != 0) {
        FirstFallFrame(m, false);
        if (!m.LetGoOfHold(true)) return;
    }
    const Move self = &NztEntity::ActDive;
    const int32_t slope = groundPitch < 0 ? -groundPitch : groundPitch;
    if (currentAnim != nullptr && currentAnim->DiveStartFlag != 0) {
        if (!m.AtEnd()) return;
        const Ground g = m.Probe();
        if (Position[1] <= g.height) {
            m.Land(g);
            m.Set("DiveEndFloor");
        } else {
            m.Set("DiveFastDown");
        }
        return;
    }
    if (m.Is("DiveFastDown")) {
        const Ground g = m.Probe();
        if (!m.FallStep(g)) return;
        const float drop = m.Drop(g);
        if (g.water && g.depth >= swimDepth) {
            m.Set("DiveEndWater");
        } else if (g.water) {
            m.Set(m.Fatal(drop) ? "DiveEndFloorDead01" : "DiveEndFloor");
        } else if (!m.Fatal(drop)) {
            m.Set("DiveEndFloor");
        } else {
            m.Set(slope > SlopeRoll ? "DiveEndFloorRound" : "DiveEndFloorDead01");
        }
        return;
    }
    if (m.Is("DiveEndFloorRound")) {
        if (slope >= SlopeRoll) {
            if (m.Probe().water) m.Set("DiveEndWaterRoundDead01");
        } else if (m.AtEnd()) {
            m.Set("DiveEndFloorRoundDead01");
        }
        return;
    }
    if (m.Is("DiveEndWater")) {
        if (!m.AtEnd()) return;
        m.Blend("SwimWalk");
        m.End(self);
    } else if (m.Is("DiveEndFloor")) {
        if (!m.AtEnd()) return;
        m.Set("MoveStatic01");
        m.End(self);
    } else if (m.Is("DiveEndFloorDead01") || m.Is("DiveEndFloorRoundDead01")) {
        if (m.AtEnd()) m.EndDead(self);
    } else if (m.Is("DiveEndWaterRoundDead01")) {
        if (m.AtEnd()) m.Blend("DiveEndWaterRoundDead02");
    } else {
        m.End(self);
    }
}

void NztEntity::ActJump() {
    MoveSteps m(this);
    m.SuspendControl();
    const Move self = &NztEntity::ActJump;
    if (actionIdle != 0) {
        FirstFallFrame(m, false);
        fightJumped = 0;
        if (!m.LetGoOfHold(true)) return;
    }
    const Ground g = m.Probe();
    NztAnim* takeOff = GetAnim(jumpSlot);
    NztAnim* flight = GetAnim(jumpSlot + 1);
    NztAnim* landing = GetAnim(jumpSlot + 2);
    if (currentAnim != nullptr && currentAnim->JumpStartFlag != 0) {
        static const struct {
            const char* name;
            uint32_t slot;
        } kSlots[] = {{"JumpWalk01", 46}, {"JumpRun01", 49},  {"JumpSprint01", 52}, {"JumpRight01", 58},
                      {"JumpLeft01", 61}, {"JumpBack01", 64}, {"JumpUp01", 55},     {"JumpHandUp01", 67},
                      {"JumpStatic", 44}};
        if (locked == 0 || locked == 1) {
            jumpSlot = JumpWalkSlot;
            for (const auto& s : kSlots)
                if (m.Is(s.name)) jumpSlot = s.slot;
        }
        if (!m.AtEnd()) return;
        m.StartFallSpeed(verticalVelocity);
        if (m.Is("JumpStatic")) {
            m.End(self);
            return;
        }
        flight = GetAnim(jumpSlot + 1);
        landing = GetAnim(jumpSlot + 2);
        if (g.height <= Position[1] + fallSpeed) {
            SetAnim(flight, 0, nullptr, 0);
        } else {
            airborne = 0;
            if (g.water && g.depth >= swimDepth) {
                m.Set("SwimStatic01");
            } else {
                SetAnim(landing, 0, nullptr, 0);
            }
        }
        return;
    }
    // The fighting jumps of the player, one each per jump.
    if (this == PlayerEntity && permissions[0] != 0 && ButtonPressed(FightButton)) {
        if (fightJumped == 0 && m.Has("SpecialFightJump01")) {
            m.Set("SpecialFightJump01", 1);
            m.StartFallSpeed(verticalVelocity);
            fightJumped = 1;
            return;
        }
        if (fightJumped == 1 && permissions[1] != 0 && m.Is("SpecialFightJump01") && m.Has("SpecialFightJump02")) {
            m.Set("SpecialFightJump02", 1);
            fightJumped = 2;
            return;
        }
    }
    if (m.Is("SpecialFightJump01")) {
        if (!m.FallStep(g)) return;
        m.Set(m.Fatal(m.Drop(g)) ? "DiveEndFloorDead01" : "SpecialFightJump02");
        return;
    }
    if (m.Is("SpecialFightJump02") && Position[1] > g.height) {
        // Switched to in the air: it comes down first.
        m.FallStep(g);
        return;
    }
    if (flight != nullptr && currentAnim == flight) {
        if (TickFrame() && verticalVelocity == 0.0f && contact != 0 && !m.Send(EventStuck)) return;
        // Grabbing a wall on the way.
        if (canHang != 0 && Position[1] > g.height && contact != 0 && m.Has("ClimbJumpBack02")) {
            const float reach = hangReach;
            const bool ledge = m.LedgeUnderHand(0.5f * EntityMoveExtent(this));
            hangReach = reach;
            if (ledge && FaceWall() != 0 && m.WallAhead()) {
                m.Set("ClimbJumpBack02");
                RemoveAction(MakeAction(self));
                PushAction(MakeAction(&NztEntity::ActClimbJumpBack));
                m.Send(EventClimbStep);
                return;
            }
        }
        if (g.height < Position[1] + fallSpeed) {
            Position[1] += fallSpeed;
            fallSpeed = std::max(fallSpeed - m.GravityStepNow(), MinFallSpeed);
            if (fallDownOnLongJump != 0 && Position[1] < startHeight - FatalDrops * EntityMoveExtent(this) && m.Has("FallDown")) {
                m.End(self);
                StartFallDown();
            }
            return;
        }
        m.Land(g);
        const float drop = m.Drop(g);
        const bool round = m.Has("JumpReceiptRound");
        if (!g.water) {
            if (round && drop >= RoundLandingDrop) {
                m.Set("JumpReceiptRound");
            } else {
                SetAnim(landing, 0, nullptr, 0);
            }
        } else if (g.depth >= swimDepth) {
            m.Set("SwimStatic01");
        } else if (!round || !m.Fatal(drop)) {
            SetAnim(landing, 0, nullptr, 0);
        } else {
            m.Set("DiveEndFloorDead01");
        }
        return;
    }
    if ((landing != nullptr && currentAnim == landing) || m.Is("JumpReceiptRound") || m.Is("SpecialFightJump02")) {
        if (!m.AtEnd()) {
            Position[1] = supportHeight;
            return;
        }
        m.End(self);
        return;
    }
    if (m.Is("DiveEndFloorDead01")) {
        if (m.AtEnd()) m.EndDead(self);
        return;
    }
    if (takeOff != nullptr && currentAnim == takeOff) return;
    m.End(self);
}

void NztEntity::ActJumpHandUpBig() { JumpToHold(this, false, &NztEntity::ActJumpHandUpBig); }
void NztEntity::ActJumpHandAway() { JumpToHold(this, true, &NztEntity::ActJumpHandAway); }

void NztEntity::ActClimbJumpUp() { ClimbVertical(this, "ClimbJumpUp01", "ClimbJumpUp02", &NztEntity::ActClimbJumpUp); }

void NztEntity::ActClimbJumpDown() {
    ClimbVertical(this, "ClimbJumpDown01", "ClimbJumpDown02", &NztEntity::ActClimbJumpDown);
}

void NztEntity::ActClimbJumpLeft() {
    ClimbSideways(this, "ClimbJumpLeft01", "ClimbJumpLeft02", 1024, &NztEntity::ActClimbJumpLeft);
}

void NztEntity::ActClimbJumpRight() {
    ClimbSideways(this, "ClimbJumpRight01", "ClimbJumpRight02", -1024, &NztEntity::ActClimbJumpRight);
}

void NztEntity::ActClimbJumpBack() {
    MoveSteps m(this);
    m.SuspendControl(true);
    const Move self = &NztEntity::ActClimbJumpBack;
    if (actionIdle != 0) {
        actionIdle = 0;
        startHeight = Position[1];
    }
    auto letGo = [&] {
        actionIdle = 1;
        m.RestoreControl();
        RemoveAction(MakeAction(self));
        if (!m.LetGoOfHold(false)) return;
        StartJump();
    };
    if (m.Is("ClimbJumpBack01")) {
        // Turned round: the new wall decides.
        if (!m.AtEnd() && contact == 0) return;
        if (!m.LedgeUnderHand(hangReach)) {
            letGo();
            return;
        }
        m.Set("ClimbJumpBack02");
        m.Send(EventClimbStep);
        return;
    }
    if (m.Is("ClimbJumpBack02")) {
        const float hand = m.HandHeight();
        if (actionState != 1) {
            m.SnapHand(hand);
            const bool was = actionState == 1;
            actionState = 1;
            if (!was && !m.Send(EventTookHold)) return;
        }
        if (!m.WallAhead()) {
            letGo();
            return;
        }
        if (!m.AtEnd()) return;
        RemoveAction(MakeAction(self));
        m.TakeHold();
        return;
    }
    if (m.Is("MoveStatic01") || currentAnim == nullptr) {
        actionIdle = 1;
        m.RestoreControl();
        airborne = 0;
        RemoveAction(MakeAction(self));
        m.LetGoOfHold(false);
    }
}

void NztEntity::ActClimbEndUp() {
    MoveSteps m(this);
    m.SuspendControl(true);
    const Move self = &NztEntity::ActClimbEndUp;
    if (actionReset != 0) {
        climbSpeed = ClimbStartSpeed * EntityMoveExtent(this);
        startHeight = Position[1];
        actionReset = 0;
    }
    if (m.Is("ClimbEndUp")) {
        if (locked != 0 && locked != 1) ResetControlState();
        actionIdle = 0;
        if (!m.AtEnd()) return;
        startHeight = Position[1];
        const Ground g = m.Probe();
        if (g.water && g.depth >= swimDepth) {
            m.Set("DiveEndWater");
        } else {
            m.Set("JumpWalk03");
        }
        RemoveAction(MakeAction(self));
        jumpSlot = JumpWalkSlot;
        actionReset = 1;
        if (!m.LetGoOfHold(false)) return;
        PushAction(MakeAction(&NztEntity::ActJump));
        return;
    }
    if (m.Is("MoveStatic01") || currentAnim == nullptr) {
        actionIdle = 1;
        m.RestoreControl();
        airborne = 0;
        RemoveAction(MakeAction(self));
        actionReset = 1;
        m.LetGoOfHold(false);
    }
}

void NztEntity::ActStayOnTraject() {
    if (traject == nullptr || traject->points.size() < 2) return;
    const Vec3 here{Position[0], Position[1], Position[2]};
    const int32_t i = traject->NearestPointByTarget(here);
    float u = 0.0f;
    const int32_t j = traject->ProjectOnSegment(i, here, u);
    if (i < 0 || j < 0 || static_cast<size_t>(i) >= traject->points.size() ||
        static_cast<size_t>(j) >= traject->points.size())
        return;
    const Vec3 a = traject->points[static_cast<size_t>(i)].target;
    const Vec3 b = traject->points[static_cast<size_t>(j)].target;
    const float dx = b.x - a.x, dz = b.z - a.z;
    const float len = std::sqrt(dx * dx + dz * dz);
    if (len == 0.0f) {
        Position[0] = a.x;
        Position[2] = a.z;
        return;
    }
    const float ux = dx / len, uz = dz / len;
    const float t = (Position[0] - a.x) * ux + (Position[2] - a.z) * uz;
    Position[0] = a.x + t * ux;
    Position[2] = a.z + t * uz;
}
