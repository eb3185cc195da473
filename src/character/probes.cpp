// Ledge, wall and tilt probes: where a character can jump up, hang, shimmy, turn a corner or climb
// over, asked of the world's collision queries. The probes answer a small integer (0: nothing) and
// leave the height they found in ledgeHeight.
#include <cmath>

#include "character/entity.h"
#include "character/movement.h"
#include "character/moveutil.h"
#include "collision/collquery.h"
#include "model/mesh.h"

namespace {

Vec3 PositionOf(const NztBaseObject* e) {
    return {e->Position[0], e->Position[1], e->Position[2]};
}
Vec3 Side(const NztBaseObject* e) {
    return {e->rotation[0], e->rotation[1], e->rotation[2]};
}
Vec3 Up(const NztBaseObject* e) {
    return {e->rotation[3], e->rotation[4], e->rotation[5]};
}
Vec3 Forward(const NztBaseObject* e) {
    return {e->rotation[6], e->rotation[7], e->rotation[8]};
}

// "Ahead": the point moved forward by size + 1.0.
Vec3 Ahead(const NztEntity* e, const Vec3& p) {
    return p + Forward(e) * (e->size + 1.0f);
}

// A blocking hit on the segment.
bool SegmentHits(const Vec3& a, const Vec3& b, NztEntity* asker) {
    CollideSegment(a, b, asker);
    Vec3 point{0.0f, 0.0f, 0.0f};
    return CollideSegmentNearest(a, b, &point) != 0;
}

}  // namespace

float EntityBodyHeight(const NztEntity* e) {
    const float h = e->probeBlock.typeHeight;
    if (h > 0.0f && Finite(h)) return h;
    if (e->mesh && e->mesh->Size.y > 0.0f) return e->mesh->Size.y;
    return e->size > 0.0f ? 2.0f * e->size : 1.0f;
}

// The height above the position at which wall and hand probes are cast.
float EntityProbeHeight(const NztEntity* e) {
    return e->probeShape && Finite(e->probeShape->typeHeight) ? e->probeShape->typeHeight : 0.0f;
}

Vec3 EntityHandPoint(const NztEntity* e) {
    float p[3];
    e->GetPointPosition(e->hangPoint, p);
    if (!Finite(p[0]) || !Finite(p[1]) || !Finite(p[2])) return PositionOf(e);
    return {p[0], p[1], p[2]};
}

uint32_t NztEntity::FindLedge() {
    const float h = EntityBodyHeight(this);
    const Vec3 p = PositionOf(this);
    const float y = p.y;
    const Vec3 ahead = Ahead(this, p);
    if (GetAnim(AnimSlot::JumpUp01)) {
        const float t = CeilingWithinHeight(ahead, 4.0f * h, this);
        const float d = t - y;
        if (Finite(t) && d > 0.75f * h && d < h && GetAnim(AnimSlot::JumpUp01)) {
            const float c = CeilingAbove({ahead.x, t, ahead.z}, 0.75f * h, this);
            if (c > t + h || c < y + h) {
                ledgeHeight = t;
                return LedgeStepUp;
            }
        }
    }
    if (canHang && GetAnim(AnimSlot::JumpHandUpBig01)) {
        const float t = CeilingWithinHeight({ahead.x, y + 1.5f * h, ahead.z}, 4.0f * h, this);
        const float d = t - y;
        if (Finite(t) && d > 0.75f * h && d < 4.0f * h) {
            const float c = CeilingAbove(p, d, this);
            if (c > t || c < y) {
                ledgeHeight = t;
                return LedgeHandUp;
            }
        }
    }
    // A hold across a gap: the floor just ahead falls away by more than a body height, and a ledge
    // stands further on, its top between 0.75 and 2 body heights above the feet (within the reach of
    // a jump with the arms up) with a body height of room above it.
    if (canHang && GetAnim(AnimSlot::JumpHandAway01)) {
        const float below = FloorBelow(ahead, 4.0f * h, this);
        if (Finite(below) && below < y - h) {
            const Vec3 far = p + Forward(this) * (2.0f * (size + 1.0f) + h);
            const float t = CeilingWithinHeight({far.x, y + 0.25f * h, far.z}, 2.0f * h, this);
            const float d = t - y;
            if (Finite(t) && d > 0.75f * h && d < 2.0f * h) {
                const float c = CeilingAbove({far.x, t, far.z}, h, this);
                if (c > t + h || c < t) {
                    ledgeHeight = t;
                    return LedgeHandAway;
                }
            }
        }
    }
    return LedgeNone;
}

uint32_t NztEntity::FindLedgeAbove() {
    if (!canHang || !GetAnim(AnimSlot::ClimbJumpUp01)) return 0;
    const float h = EntityBodyHeight(this);
    const Vec3 hand = EntityHandPoint(this);
    const Vec3 ahead = Ahead(this, hand);
    const float t = CeilingWithinHeight({ahead.x, hand.y + 0.25f * h, ahead.z}, 4.0f * h, this);
    if (!Finite(t) || t <= ledgeHeight || t <= hand.y || t - hand.y >= 4.0f * h) return 0;
    const float c = CeilingAbove({hand.x, hand.y + hangReach, hand.z}, t - hand.y, this);
    if (c > t || c < Position[1]) {
        ledgeHeight = t;
        return 1;
    }
    return 0;
}

uint32_t NztEntity::FindLedgeBelow() {
    if (!canHang || !GetAnim(AnimSlot::ClimbJumpDown01)) return 0;
    const float h = EntityBodyHeight(this);
    const Vec3 hand = EntityHandPoint(this);
    const Vec3 ahead = Ahead(this, hand);
    const float f = FloorBelow({ahead.x, hand.y - 0.25f * h, ahead.z}, 4.0f * h, this);
    ledgeHeight = Finite(f) && f < hand.y ? f : floorHeight;
    return 1;
}

uint32_t NztEntity::HandOnSurface(float height, float* out) {
    const float s = NearestSurface(PositionOf(this), EntityBodyHeight(this), height - 100000.0f, this);
    if (!Finite(s) || s > height || s < height - 50.0f) return 0;
    if (out) *out = s;
    return 1;
}

uint32_t NztEntity::WallAhead(float distance) {
    if (!probeShape || !Finite(distance)) return 0;
    const Vec3 a = PositionOf(this) + Up(this) * EntityProbeHeight(this);
    return SegmentHits(a, a + Forward(this) * distance, this) ? 1 : 0;
}

uint32_t NztEntity::WallAt(const float offset[3], float distance) {
    if (!probeShape || !Finite(distance)) return 0;
    const Vec3 a = PositionOf(this) + Side(this) * offset[0] + Up(this) * (offset[1] + EntityProbeHeight(this)) +
                   Forward(this) * offset[2];
    return SegmentHits(a, a + Forward(this) * (offset[2] + distance), this) ? 1 : 0;
}

uint32_t NztEntity::LedgeAt(const float offset[3], int32_t turn) {
    // The offset in the character's frame, turned about the vertical by turn.
    const float s = TableSin(turn), c = TableCos(turn);
    const float ox = offset[0] * c + offset[2] * s;
    const float oz = -offset[0] * s + offset[2] * c;
    const Vec3 p = EntityHandPoint(this) + Side(this) * ox + Up(this) * (offset[1] + hangReach) + Forward(this) * oz;
    const float f = FloorBelow(p, 2.0f * hangReach, this);
    return Finite(f) && p.y - f <= 2.0f * hangReach ? 1 : 0;
}

uint32_t NztEntity::CanShimmyRight() {
    const float zero[3] = {0.0f, 0.0f, 0.0f};
    if (WallAt(zero, 2.0f * size + 1.0f)) return 0;
    const float reach = size + hangReach;
    const float offset[3] = {reach, 0.0f, reach};
    return LedgeAt(offset, -1024);
}

uint32_t NztEntity::CanShimmyLeft() {
    const float zero[3] = {0.0f, 0.0f, 0.0f};
    if (WallAt(zero, 2.0f * size + 1.0f)) return 0;
    const float reach = size + hangReach;
    const float offset[3] = {-reach, 0.0f, reach};
    return LedgeAt(offset, 1024);
}

uint32_t NztEntity::HangLedgeUnderHand(const float offset[3]) {
    const Vec3 p = EntityHandPoint(this) + Side(this) * offset[0] + Up(this) * (offset[1] + hangReach) +
                   Forward(this) * offset[2];
    const float f = FloorBelow(p, 2.0f * hangReach, this);
    if (!Finite(f) || f <= supportHeight + EntityBodyHeight(this) || p.y - f > 2.0f * hangReach) return 0;
    ledgeHeight = f;
    return 1;
}

uint32_t NztEntity::CanTurnLeftAtLedge(int32_t* turn) {
    // The ledge beyond an inner corner on the left: ahead of the hand, one reach to the left.
    const float offset[3] = {-(size + hangReach), 0.0f, size + hangReach};
    if (!HangLedgeUnderHand(offset)) return 0;
    if (turn) *turn = 1024;
    return 1;
}

uint32_t NztEntity::CanTurnRightAtLedge(int32_t* turn) {
    const float offset[3] = {size + hangReach, 0.0f, size + hangReach};
    if (!HangLedgeUnderHand(offset)) return 0;
    if (turn) *turn = -1024;
    return 1;
}

uint32_t NztEntity::CanClimbOver(float clearance) {
    const float h = EntityBodyHeight(this);
    const Vec3 hand = EntityHandPoint(this);
    const Vec3 p = hand + Forward(this) * (size + 2.0f);
    const float c = CeilingAbove(p, 1.25f * h, this);
    if (!(c > hand.y + clearance || c < hand.y)) return 0;
    if (WallAhead(2.0f * size)) return 0;
    ledgeHeight = hand.y;
    return 1;
}

void NztEntity::UpdateTilt() {
    if (actionState == ActionStateHanging) {
        const float zero[3] = {0.0f, 0.0f, 0.0f};
        if (!HangLedgeUnderHand(zero)) return;
        const Vec3 hand = EntityHandPoint(this);
        const float y = ledgeHeight - (hand.y - Position[1]);
        if (Finite(y)) Position[1] = y;
        if (probeShape) FaceWall();
        return;
    }
    if (!airborne && !steeredByRider) {
        const float f = FrameTiming.frameFactor * 0.25f;
        if (groundTilt) {
            moveWork.poseTarget[0] = Approach(moveWork.poseTarget[0], static_cast<float>(groundPitch), Clampf(f, 0, 1));
            moveWork.poseTarget[2] = groundTiltAxes == 1
                                         ? 0.0f
                                         : Approach(moveWork.poseTarget[2], static_cast<float>(groundRoll), Clampf(f, 0, 1));
        } else {
            moveWork.poseTarget[0] = 0.0f;
            moveWork.poseTarget[2] = 0.0f;
        }
    }
}
