// Orders: the behaviour of the characters the player does not drive. An order step chooses
// animations, turns the character, adjusts its speed factor and height and raises events when
// something is reached; the motion itself comes from the animation and movement code.
#include <algorithm>
#include <cmath>

#include "camera/traject.h"
#include "character/animslots.h"
#include "character/entity.h"
#include "core/frameclock.h"
#include "core/paths.h"
#include "model/mesh.h"
#include "objects/objtype.h"

using namespace animslot;

// The second running index into the shared random table, for waypoint jitter and random frames.
uint32_t JitterRandomIndex = 0;

float NextJitterRandom() {
    const float r = RandomTable[JitterRandomIndex & RandomTableMask];
    JitterRandomIndex = (JitterRandomIndex + 1) & RandomTableMask;
    return r;
}

namespace {

// Events of the orders, sent to the character itself.
constexpr uint32_t EventPointReached = 12;
constexpr uint32_t EventTargetReached = 13;
constexpr uint32_t EventEscaped = 14;
constexpr uint32_t EventTrajectEnd = 15;
constexpr uint32_t EventPlayerEnters = 20;
constexpr uint32_t EventPlayerInside = 21;
constexpr uint32_t EventPlayerLeaves = 22;
constexpr uint32_t EventCloseBand = 31;
constexpr uint32_t EventMiddleBand = 32;

uint32_t Send(NztEntity* e, uint32_t code) {
    return ObjectServices.sendEvent(e, code, 0, 0, 0);
}

float DistanceSq3(const float a[3], const float b[3]) {
    const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

// Horizontally on the point: no heading leads to it.
bool OnPoint(const float p[3], const float goal[3]) {
    const float dx = goal[0] - p[0], dz = goal[2] - p[2];
    return dx * dx + dz * dz < 1e-6f;
}

float Dt50() {
    return FrameTiming.frameFactor;
}

}  // namespace

void NztEntity::SetOrder(int32_t code) {
    if (code == order) return;
    orderPending = 1;
    motionState = 0;
    order = code;
    switch (code) {
        case 0: case 1: case 2: case 100: orderClass = 0; break;
        case 3: case 5: orderClass = 1; break;
        case 6:
            orderClass = 2;
            orderClock = std::min(orderClock, orderClockLimit);
            break;
        case 4: orderClass = 3; break;
        case 7: orderClass = 4; break;
        case 8: orderClass = 5; break;
        default: break;  // other codes keep the class
    }
}

void NztEntity::SetTraject(NztTraject* trajectory, uint32_t loop, uint32_t followHeight, uint32_t startAtNearest,
                           float amplitude) {
    traject = trajectory;
    trajectLoop = loop;
    trajectFollowHeight = followHeight;
    jitterAmplitude = std::max(amplitude, 0.0f);
    waypoint = 0;
    if (startAtNearest != 0 && trajectory != nullptr)
        waypoint = trajectory->NearestPointByPosition({Position[0], Position[1], Position[2]});
}

void NztEntity::WatchPlayer() {
    NztEntity* player = PlayerEntity;
    if (player != nullptr && player != this && parent != player && radiiSquared[0] != 0.0f && watchSwitch != 0) {
        const float d = DistanceSq3(Position, player->Position);
        if (d <= radiiSquared[0]) {
            if (playerNear == 0) {
                playerNear = 1;
                Send(this, EventPlayerEnters);
            } else {
                Send(this, EventPlayerInside);
            }
        } else if (playerNear != 0) {
            playerNear = 0;
            Send(this, EventPlayerLeaves);
        }
    }
    if (orderClass == 0) return;
    if (orderClass <= 3 && (target == nullptr || life == 0.0f)) return;
    const bool held = parent != nullptr && attachLocked != 0;
    if (held) {
        if (orderClass <= 3) targetDistanceSquared = DistanceSq3(Position, target->Position);
        return;
    }
    const float factor = facingFactor == 1.0f ? 1.0f : facingFactor * Dt50();
    switch (orderClass) {
        case 1:
        case 2:
            NztBaseObject::TurnTowardsBy(target->Position, factor);
            targetDistanceSquared = DistanceSq3(Position, target->Position);
            break;
        case 3:
            NztBaseObject::TurnAwayBy(target->Position, factor);
            targetDistanceSquared = DistanceSq3(Position, target->Position);
            break;
        case 4:
            if (!OnPoint(Position, goalPoint)) NztBaseObject::TurnTowardsBy(goalPoint, factor);
            break;
        case 5: {
            if (traject == nullptr) break;
            Vec3 p{goalPoint[0], goalPoint[1], goalPoint[2]};
            if (traject->GetPoint(waypoint, p)) {
                goalPoint[0] = p.x + waypointJitter;
                goalPoint[1] = p.y + waypointJitter;
                goalPoint[2] = p.z + waypointJitter;
            }
            // Standing on the waypoint gives no direction: the character keeps its heading.
            if (!OnPoint(Position, goalPoint)) NztBaseObject::TurnTowardsBy(goalPoint, factor);
            break;
        }
        default:
            break;
    }
}

void NztEntity::RunOrder() {
    switch (order) {
        case 1:
            if (!CurrentIs(MoveStatic01)) BlendToAnimIndex(MoveStatic01, 0, None, 0);
            break;
        case 2: RunOrderWander(); break;
        case 3:
            if (target == nullptr || target == this) orderDone = 0;
            break;
        case 4: RunOrderFlee(); break;
        case 5: RunOrderGoToTarget(); break;
        case 6: RunOrderKeepOffset(); break;
        case 7: RunOrderGoTo(); break;
        case 8: RunOrderFollowTraject(); break;
        default: break;
    }
    orderPending = 0;
}

int32_t NztEntity::Medium() const {
    if (flying != 0 && airborne != 0) return 1;
    if (groundTilt != 0 && airborne == 0) return 2;
    if (inWater != 0 && airborne == 0) return 3;
    return 0;
}

namespace {

// The meander of the wander order: turns by a, alternating sides by the two counters, which
// return to 0 once they exceed limit.
void Meander(NztEntity* e, int32_t r, int32_t a, int32_t limit) {
    if (r == 0 || r == 2) {
        if (e->wanderTurnsLeft == 0) {
            e->TurnBy(a);
            ++e->wanderTurnsRight;
        } else {
            e->TurnBy(-a);
            ++e->wanderTurnsLeft;
        }
        if (e->wanderTurnsRight > limit) e->wanderTurnsRight = 0;
    } else if (r == 1 || r == 3) {
        if (e->wanderTurnsRight == 0) {
            e->TurnBy(-a);
            ++e->wanderTurnsLeft;
        } else {
            e->TurnBy(a);
            ++e->wanderTurnsRight;
        }
        if (e->wanderTurnsLeft > limit) e->wanderTurnsLeft = 0;
    }
}

}  // namespace

void NztEntity::RunOrderWander() {
    const float dt50 = Dt50();
    const bool fresh = orderPending != 0;
    if (CurrentIs(FlyWalk)) {
        Position[1] += ((floorHeight + 200.0f) - Position[1]) * 0.25f;
        if (contact != 0) {
            TurnBy(RoundToInt(turnRate * dt50 * 2.0f));
            return;
        }
        const int32_t r = RoundToInt(NextObjectRandom() * 5.0f);
        Meander(this, r, RoundToInt(turnRate * dt50 * 0.25f), 75);
        return;
    }
    const bool water = inWater != 0;
    if (contact != 0) {
        const uint32_t walk = water ? SwimWalk : MoveWalk;
        if (!CurrentIs(walk) || IsAnimAtEnd() != 0 || fresh) {
            if (water)
                PlayFirst({SwimWalk, SwimRun, SwimSprint});
            else
                PlayFirst({MoveWalk, MoveRun, MoveSprint});
        }
        TurnBy(RoundToInt(turnRate * dt50 * 2.0f));
        return;
    }
    if (CurrentIs(MoveWalk) || CurrentIs(MoveRun) || CurrentIs(SwimWalk) || CurrentIs(SwimRun)) {
        const int32_t r = RoundToInt(NextObjectRandom() * 10.0f);
        if (r <= 3) {
            Meander(this, r, RoundToInt(turnRate * dt50 * 0.5f), 25);
            return;
        }
    }
    if (!((currentAnim != nullptr && IsAnimAtEnd() != 0) || fresh)) return;
    const int32_t k = RandomIntRange(0, 20);
    if (water) {
        if ((k >= 0 && k <= 6) || k == 9)
            PlayFirst({SwimRun, SwimWalk, SwimSprint});
        else if (k == 10 || k == 11)
            PlayFirst({SwimSprint, SwimRun, SwimWalk});
        else
            PlayFirst({SwimWalk, SwimRun, SwimSprint});
    } else if (k == 0 || k == 16) {
        BlendToAnimIndex(MoveStatic01, 0, None, 0);
    } else if (k == 11 || k == 12) {
        PlayFirst({MoveRun, MoveSprint, MoveWalk});
    } else if (k == 13) {
        BlendToAnimIndex(WaitSit02, 0, None, 0);
    } else {
        PlayFirst({MoveWalk, MoveRun, MoveSprint});
    }
}

void NztEntity::RunOrderGoToTarget() {
    const int32_t medium = Medium();
    if (target == nullptr || target == this) {
        orderDone = 0;
        static constexpr uint32_t Idle[4] = {MoveStatic01, FlyStatic01, DriveStatic01, SwimStatic01};
        BlendToAnimIndex(Idle[medium], 0, None, 0);
        return;
    }
    NztEntity* t = static_cast<NztEntity*>(target);
    const float d2 = targetDistanceSquared;
    const float a = radiiSquared[1] + t->radiiSquared[1];
    const float b = radiiSquared[2] + t->radiiSquared[2];
    const float c = radiiSquared[3] + t->radiiSquared[3];
    GoToTargetStep(d2, a, b, c);
}

void NztEntity::GoToTargetStep(float d2, float a, float b, float c) {
    NztEntity* t = static_cast<NztEntity*>(target);
    const bool fresh = orderPending != 0;
    const float dt50 = Dt50();
    const float rate = groundSpeedSmoothing * dt50;
    if (canFly != 0 && flying == 0 && t->flying != 0 && t->airborne != 0) {
        StartFly();
        if (!PlayFirst({FlyRun, FlySprint})) BlendToAnimIndex(FlyWalk, 0, None, 0);
    }
    const int32_t medium = Medium();
    if (medium == 1 || medium == 3) {
        const bool fly = medium == 1;
        const uint32_t run = fly ? FlyRun : SwimRun, sprint = fly ? FlySprint : SwimSprint;
        const uint32_t walk = fly ? FlyWalk : SwimWalk, rest = fly ? FlyStatic01 : SwimStatic01;
        float targetSpeed = 0.0f;
        if (d2 > b) {
            orderDone = 0;
            if (IsAnimAtEnd() != 0 || fresh) {
                if (!PlayFirst({run, sprint})) BlendToAnimIndex(walk, 0, None, 0);
            }
            targetSpeed = d2 > c ? sprintFactor : runFactor;
        } else {
            if (d2 < a) {
                targetSpeed = -std::fabs(walkFactor);
                if (!PlayFirst({run, sprint})) BlendToAnimIndex(walk, 0, None, 0);
            }
            if (orderDone == 0) {
                Send(this, EventTargetReached);
                orderDone = 1;
            }
        }
        speedFactor += (targetSpeed - speedFactor) * rate;
        Position[1] += (t->Position[1] - Position[1]) * rate;
        if (IsAnimAtEnd() != 0 && std::fabs(speedFactor) < 0.01f && Has(rest)) BlendToAnimIndex(rest, 0, None, 0);
        if (fly && Position[1] - floorHeight <= flyMinHeight + flyClimbRate) {
            EndFly();
            if (d2 > a) {
                BlendToAnimIndex(MoveWalk, 0, None, 0);
                orderDone = 0;
            } else if (orderDone == 0) {
                BlendToAnimIndex(MoveStatic01, 0, None, 0);
                Send(this, EventTargetReached);
                orderDone = 1;
            }
        }
        return;
    }
    if (medium == 2) {
        float targetSpeed = runFactor;
        if (d2 < a) {
            if (Has(DriveBackWard)) {
                BlendToAnimIndex(DriveBackWard, 0, None, 0);
                targetSpeed = runFactor;
            } else if (Has(DriveForward)) {
                BlendToAnimIndex(DriveForward, 0, None, 0);
                targetSpeed = -std::fabs(walkFactor);
            } else {
                BlendToAnimIndex(DriveStatic01, 0, None, 0);
                targetSpeed = runFactor;
            }
            orderDone = 0;
        } else if (d2 <= b) {
            targetSpeed = 0.0f;
            if (orderDone == 0) {
                if (Has(DriveStatic01)) BlendToAnimIndex(DriveStatic01, 0, None, 0);
                Send(this, EventTargetReached);
                orderDone = 1;
            }
        } else {
            BlendToAnimIndex(DriveForward, 0, None, 0);
            orderDone = 0;
            targetSpeed = d2 > c ? sprintFactor : runFactor;
        }
        speedFactor += (targetSpeed - speedFactor) * rate;
        return;
    }
    speedFactor = runFactor;
    if (d2 < a) {
        BlendToAnimIndex(MoveBack, 0, None, 0);
        orderDone = 0;
        return;
    }
    if (!(IsAnimAtEnd() != 0 || CurrentIs(MoveStatic01) || fresh)) return;
    if (d2 <= b) {
        if (orderDone == 0) {
            BlendToAnimIndex(MoveStatic01, 0, None, 0);
            Send(this, EventTargetReached);
            orderDone = 1;
        }
    } else {
        orderDone = 0;
        if (d2 > c && Has(MoveRun))
            BlendToAnimIndex(MoveRun, 0, None, 0);
        else
            BlendToAnimIndex(MoveWalk, 0, None, 0);
    }
}

void NztEntity::RunOrderFlee() {
    if (target == nullptr) {
        orderDone = 0;
        BlendToAnimIndex(MoveStatic01, 0, None, 0);
        return;
    }
    NztEntity* t = static_cast<NztEntity*>(target);
    const float d2 = targetDistanceSquared;
    const float ownFar = radiiSquared[3];
    const float c = radiiSquared[3] + t->radiiSquared[3];
    const int32_t medium = Medium();
    const bool fresh = orderPending != 0;
    // The medium's moving animations, first found played (None never is), and its rest.
    static constexpr uint32_t Moving[4][3] = {{MoveRun, MoveSprint, MoveWalk},
                                              {FlyRun, FlySprint, FlyWalk},
                                              {DriveForward, None, None},
                                              {SwimWalk, SwimRun, SwimSprint}};
    static constexpr uint32_t Rest[4] = {MoveStatic01, FlyStatic01, DriveStatic01, SwimStatic01};
    const uint32_t* m = Moving[medium];
    const uint32_t rest = Rest[medium];
    float targetSpeed = 0.0f;
    // On foot the run is locked: it plays through before the order decides again.
    if (d2 < ownFar) {
        targetSpeed = sprintFactor;
        if (medium == 0) {
            for (uint32_t slot : {m[0], m[1], m[2]}) {
                if (!Has(slot)) continue;
                BlendToAnimIndex(slot, 1, None, 0);
                break;
            }
        } else {
            PlayFirst({m[0], m[1], m[2]});
        }
        orderDone = 0;
    } else if (d2 <= c) {
        targetSpeed = runFactor;
        if (IsAnimAtEnd() != 0 || CurrentIs(rest) || fresh) {
            if (medium == 0)
                BlendToAnimIndex(MoveWalk, 1, None, 0);
            else
                PlayFirst({m[0], m[1], m[2]});
        }
    } else {
        targetSpeed = 0.0f;
        if (medium == 1)
            PlayFirst({FlyStatic01, FlyWalk, FlyRun, FlySprint});
        else
            BlendToAnimIndex(rest, 0, None, 0);
        if (orderDone == 0) {
            Send(this, EventEscaped);
            orderDone = 1;
        }
    }
    speedFactor += (targetSpeed - speedFactor) * groundSpeedSmoothing * Dt50();
}

void NztEntity::RunOrderKeepOffset() {
    if (dead != 0 || target == nullptr) return;
    NztEntity* t = static_cast<NztEntity*>(target);
    if (t->dead != 0) return;
    if (canFly != 0 && flying == 0 && t->flying != 0 && t->airborne != 0) {
        StartFly();
        if (!PlayFirst({FlyRun, FlySprint})) BlendToAnimIndex(FlyWalk, 0, None, 0);
    }
    const int32_t medium = Medium();
    static constexpr uint32_t Stance[4] = {FightStatic, FlyStatic01, DriveStatic01, SwimStatic01};
    const uint32_t stance = Stance[medium];
    const float d2 = targetDistanceSquared;
    const float a = radiiSquared[1] + t->radiiSquared[1];
    const float b = radiiSquared[2] + t->radiiSquared[2];
    const float c = radiiSquared[3] + t->radiiSquared[3];
    const bool timeUp = orderClock >= orderClockLimit;
    auto band = [&](uint32_t code) {
        if (timeUp) {
            if (orderClock > 0.0f) orderClock = 0.0f;
            if (Send(this, code) == 0) GoToTargetStep(d2, a, b, c);
            return;
        }
        bool stand;
        if (code == EventMiddleBand && medium == 0)
            stand = CharacterServices.hasEventType(this, EventMiddleBand) != 0 &&
                    CharacterServices.hasEventType(this, EventCloseBand) == 0;
        else
            stand = CharacterServices.hasEventType(this, code) != 0;
        if (stand)
            BlendToAnimIndex(stance, 0, None, 0);
        else
            GoToTargetStep(d2, a, b, c);
    };
    if (a <= d2 && d2 <= b)
        band(EventCloseBand);
    else if (b < d2 && d2 < c)
        band(EventMiddleBand);
    else
        GoToTargetStep(d2, a, b, c);
}

void NztEntity::RunOrderGoTo() {
    if (DistanceSq3(Position, goalPoint) <= radiiSquared[4]) {
        if (orderDone == 0) {
            Send(this, EventPointReached);
            orderDone = 1;
        }
    } else {
        orderDone = 0;
    }
}

void NztEntity::RunOrderFollowTraject() {
    if (traject == nullptr) return;
    const int32_t count = traject->PointCount();
    if (count <= 0) {
        // No waypoint to head for: the order ends.
        SetOrder(0);
        return;
    }
    const float dx = goalPoint[0] - Position[0], dz = goalPoint[2] - Position[2];
    // A forward speed of 0 makes the threshold 0: the waypoint counts as reached only when the
    // character stands on it, so the order waits there rather than turning on the spot.
    if (dx * dx + dz * dz <= radiiSquared[4] * forwardSpeed) {
        int32_t next = waypoint + 1;
        if (next == count)
            next = 0;
        else if (next > count)
            next = count > 1 ? next % (count - 1) : 0;
        traject->currentPoint = traject->firstDuePoint = next;
        traject->cursorTime = static_cast<float>(next);
        traject->pointUnchanged = 0;
        waypoint = next;
        if (next == 0 && trajectLoop == 0) {
            if (orderDone == 0) {
                Send(this, EventTrajectEnd);
                orderDone = 1;
            }
            waypoint = count - 1;
        }
        waypointJitter = -jitterAmplitude + 2.0f * jitterAmplitude * NextJitterRandom();
    } else if (!(trajectLoop == 0 && waypoint == count - 1 && orderDone != 0)) {
        orderDone = 0;
    }
    if (trajectFollowHeight != 0 && flying != 0 && airborne != 0)
        Position[1] += (goalPoint[1] - Position[1]) * (groundSpeedSmoothing * 0.1f) * Dt50();
}

int32_t NztEntity::AddBoneRecord(const EntityBoneRecord& record) {
    if (mesh == nullptr || record.bone < 0) return 0;
    const uint32_t bones = std::max(mesh->LargestBoneCount, mesh->MaxBoneCount);
    if (static_cast<uint32_t>(record.bone) >= bones) return 0;
    EntityBoneRecord copy = record;
    copy.offset = 0.0f;
    // A travel that is not a number or negative would let a wheel leave its spring.
    if (!(copy.travel >= 0.0f)) copy.travel = 0.0f;
    boneRecords.push_back(copy);
    // The cap is applied here, once, over every record; the pose code reads it as it stands.
    travelCap = EntityBoneWeightCap;
    for (const EntityBoneRecord& r : boneRecords) travelCap = std::min(travelCap, r.travel);
    return 1;
}
