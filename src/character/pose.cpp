// Procedural pose: after the skeleton is posed from its animation, the posed mesh is bent to lean
// with a slide, pitch and roll in flight and in water, follow the ground as a vehicle with spinning,
// steered and sprung wheels, and bank under a glider or parachute. Every turn is also multiplied
// into the character's tilt matrix.
#include <algorithm>
#include <cmath>

#include "character/entity.h"
#include "character/movement.h"
#include "character/moveutil.h"
#include "collision/collquery.h"
#include "model/mesh.h"
#include "objects/attach.h"

namespace {

constexpr uint32_t RootBone = 0;
constexpr uint32_t BodyBone = 1;
constexpr uint32_t LimbBoneA = 2;
constexpr uint32_t LimbBoneB = 6;
constexpr uint32_t UpperBodyBone = 10;

bool BoneUsable(const NztMesh* m, uint32_t bone) {
    if (!m || !m->Bones || !m->PosedVertices || bone >= m->MaxBoneCount) return false;
    return m->Bones[bone].Pivot < m->VertexCount;
}

Vec3 Row(const float* r, int i) {
    return {r[3 * i], r[3 * i + 1], r[3 * i + 2]};
}

// The turn by angle (angle units) about a unit axis, as a matrix of three rows.
void AxisMatrix(const Vec3& a, float angle, float out[9]) {
    const float t = angle * RadiansPerAngleUnit;
    const float c = std::cos(t), s = std::sin(t), k = 1.0f - c;
    const float m[9] = {c + a.x * a.x * k,       a.x * a.y * k + a.z * s, a.x * a.z * k - a.y * s,
                        a.y * a.x * k - a.z * s, c + a.y * a.y * k,       a.y * a.z * k + a.x * s,
                        a.z * a.x * k + a.y * s, a.z * a.y * k - a.x * s, c + a.z * a.z * k};
    std::copy(m, m + 9, out);
}

// Turns the bone's vertices by angle about axis through the bone's posed pivot, and the tilt
// matrix with them; false when the mesh cannot take it.
bool TurnBone(NztEntity* e, uint32_t bone, const Vec3& axis, float angle, bool intoTilt = true) {
    NztMesh* m = e->mesh;
    if (!Finite(angle) || !BoneUsable(m, bone)) return false;
    const int32_t a = RoundToInt(angle);
    if (a == 0) return false;
    m->BendAxis = axis;
    m->BonePivot = m->PosedVertices[m->Bones[bone].Pivot];
    RotateBoneByAngle(a, bone, m);
    if (intoTilt) {
        float turn[9];
        AxisMatrix(axis, static_cast<float>(a), turn);
        MatrixMultiply3(e->tiltMatrix, e->tiltMatrix, turn);
    }
    return true;
}

void RefreshAttachments(NztEntity* e, int32_t from = 0) {
    NztMesh* m = e->mesh;
    if (!m) return;
    const int32_t count = static_cast<int32_t>(m->ObjectAttachCount);
    for (int32_t i = count - 1; i >= from; --i) UpdateAttachment(i, m, e->tiltMatrix);
}

void Identity(float m[9]) {
    for (int k = 0; k < 9; ++k) m[k] = (k % 4 == 0) ? 1.0f : 0.0f;
}

bool AnimIs(NztEntity* e, uint32_t slot) {
    NztAnim* a = e->GetAnim(slot);
    return a && e->currentAnim == a;
}

}  // namespace

void NztEntity::AdjustPose() {
    if (parent) return;
    if (sliding)
        SlidePose();
    else if (flying && airborne)
        FlyPose();
    else if (groundTilt)
        VehiclePose();
    else if (inWater && canSwim && !airborne)
        FlyPose();
    else if (hangGliding)
        SteerDelta();
    else if (parachuting)
        SteerPara();
}

void NztEntity::SlidePose() {
    NztMoveWork& w = moveWork;
    if (AnimIs(this, AnimSlot::SlideEnd) || AnimIs(this, AnimSlot::SlideEndWater) || AnimIs(this, AnimSlot::RoundForward))
        return;
    const float f = FrameTiming.frameFactor;
    Identity(tiltMatrix);
    w.poseTarget[1] = 0.0f;
    if (!airborne && animStateMachine) {
        const float s = w.slideSteer;
        const float steer = slideSteerFactor * f * (1.0f - s) * 3.5f * s;
        if (ButtonDown(MoveButton::Right))
            w.poseTarget[1] = -steer;
        else if (ButtonDown(MoveButton::Left))
            w.poseTarget[1] = steer;
    }
    if (AnimIs(this, AnimSlot::SlideRun) && !airborne) {
        w.pose[0] = Approach(w.pose[0], static_cast<float>(groundPitch), 0.1f);
        w.pose[1] = Approach(w.pose[1], w.poseTarget[1], 0.5f);
        w.pose[2] = Approach(w.pose[2], static_cast<float>(groundRoll), 0.1f);
    } else {
        w.pose[0] -= w.pose[0] * 0.1f;
        w.pose[2] -= w.pose[2] * 0.1f;
        w.pose[1] = Approach(w.pose[1], w.poseTarget[1], 0.1f);
    }
    if (w.pose[0] != 0.0f) TurnBone(this, RootBone, Row(rotation, 0), w.pose[0]);
    if (w.pose[2] != 0.0f) TurnBone(this, RootBone, Row(rotation, 2), w.pose[2]);
    RefreshAttachments(this);
    if (w.limbSwingOn && w.pose[2] != 0.0f) {
        w.pose[2] = Clampf(w.pose[2] - 0.5f * w.pose[1], -512.0f, 512.0f);
        if (TurnBone(this, UpperBodyBone, Row(rotation, 2), w.pose[2], false))
            RefreshAttachments(this, static_cast<int32_t>(UpperBodyBone));
    }
}

void NztEntity::FlyPose() {
    NztMoveWork& w = moveWork;
    w.pose[0] = Approach(w.pose[0], w.poseTarget[0], 0.25f);
    w.pose[2] = Approach(w.pose[2], w.poseTarget[2], 0.25f);
    bool turned = false;
    if (w.pose[2] != 0.0f) turned |= TurnBone(this, BodyBone, Row(rotation, 2), w.pose[2]);
    if (w.pose[0] != 0.0f) turned |= TurnBone(this, BodyBone, Row(rotation, 0), w.pose[0]);
    if (turned) RefreshAttachments(this);
}

void NztEntity::VehiclePose() {
    NztMoveWork& w = moveWork;
    NztMesh* m = mesh;
    Identity(tiltMatrix);
    float rp = 0.1f, ry = 0.25f, rr = 0.1f;
    if (groundTiltAxes == 4)
        ry = 0.025f;
    else if (groundTiltAxes != 0)
        rp = 0.1f, ry = 0.1f, rr = 0.25f;
    w.pose[0] = Approach(w.pose[0], w.poseTarget[0], rp);
    w.pose[1] = Approach(w.pose[1], w.poseTarget[1], ry);
    w.pose[2] = Approach(w.pose[2], w.poseTarget[2], rr);
    bool turned = false;
    // Wheels spin with the forward velocity.
    float velocity[3];
    GetVelocity(velocity);
    // Units a frame at 50 frames a second, the speed unit of the movement code.
    const float forward = velocity[0] * rotation[6] + velocity[1] * rotation[7] + velocity[2] * rotation[8];
    if (!boneRecords.empty() && forward != 0.0f && Finite(forward)) {
        w.wheelAngle = std::fmod(w.wheelAngle + forward * 60.0f, 4096.0f);
        for (size_t i = boneRecords.size(); i-- > 0;)
            turned |= TurnBone(this, static_cast<uint32_t>(boneRecords[i].bone), Row(rotation, 0), w.wheelAngle, false);
    }
    // Steered wheels.
    if (!steeringBones.empty()) {
        w.steerAngle = Approach(w.steerAngle, w.steerTarget, 0.25f);
        if (w.steerAngle != 0.0f)
            for (uint32_t bone : steeringBones) turned |= TurnBone(this, bone, Row(rotation, 1), w.steerAngle, false);
    }
    // The body follows the smoothed roll, yaw and pitch about bone 1.
    float body[9];
    Identity(body);
    float turn[9];
    if (w.pose[2] != 0.0f) AxisMatrix(Row(rotation, 2), w.pose[2], turn), MatrixMultiply3(body, body, turn);
    if (w.pose[1] != 0.0f) AxisMatrix(Row(rotation, 1), w.pose[1], turn), MatrixMultiply3(body, body, turn);
    if (w.pose[0] != 0.0f) AxisMatrix(Row(rotation, 0), w.pose[0], turn), MatrixMultiply3(body, body, turn);
    if ((w.pose[0] != 0.0f || w.pose[1] != 0.0f || w.pose[2] != 0.0f) && BoneUsable(m, BodyBone)) {
        RotateBone1(m, body);
        std::copy(body, body + 9, tiltMatrix);
        turned = true;
    }
    // Springs: each wheel reaches for the surface under its point, within its travel.
    for (size_t i = boneRecords.size(); i-- > 0;) {
        EntityBoneRecord& r = boneRecords[i];
        const float travel = Finite(r.travel) ? std::fabs(r.travel) : 0.0f;
        // The wheel's size is taken from its spring travel, at least half a unit.
        const float wheelRadius = std::max(travel, 0.5f);
        const bool grounded = !airborne || skyDiveSpeed <= 2.0f * wheelRadius;
        if (grounded) {
            float p[3];
            GetPointPosition(r.point, p);
            const float s = NearestSurface({p[0], p[1], p[2]}, 2.0f * wheelRadius, p[1] - travel, this);
            const float d = Clampf(Finite(s) ? s - p[1] : 0.0f, -travel, travel);
            r.offset += (d - r.offset) * 0.15f;
        } else {
            r.offset = std::max(-travel, r.offset - 0.05f);
        }
        r.offset = Clampf(r.offset, -travel, travel);
        const uint32_t bone = static_cast<uint32_t>(r.bone);
        if (r.offset != 0.0f && r.bone >= 0 && BoneUsable(m, bone)) {
            OffsetBoneVertices(bone, m, Row(rotation, 1) * r.offset);
            turned = true;
        }
    }
    if (turned) RefreshAttachments(this);
}

void NztEntity::SteerPara() {
    NztMoveWork& w = moveWork;
    if (AnimIs(this, AnimSlot::ParaEndFloor) || AnimIs(this, AnimSlot::ParaEndWater) || AnimIs(this, AnimSlot::RoundForward))
        return;
    const float clamped = Clampf((skyDiveSpeed - 1.0f) * 15.0f, -64.0f, 64.0f);
    w.poseTarget[2] = -clamped;
    w.poseTarget[1] = 0.0f;
    if (airborne && animStateMachine) {
        const float f = FrameTiming.frameFactor;
        if (ButtonDown(MoveButton::Right))
            w.poseTarget[1] = glideTurnRate * f;
        else if (ButtonDown(MoveButton::Left))
            w.poseTarget[1] = -(glideTurnRate * f);
        w.pose[0] += (-clamped - w.pose[0]) * 0.2f;
        w.pose[2] += (w.poseTarget[1] - w.pose[2]) * 0.05f;
        bool turned = false;
        if (w.pose[0] != 0.0f) turned |= TurnBone(this, BodyBone, Row(rotation, 0), w.pose[0]);
        if (w.pose[2] != 0.0f) turned |= TurnBone(this, BodyBone, Row(rotation, 2), w.pose[2]);
        if (turned) RefreshAttachments(this);
    }
    // Limb swing.
    if (w.limbSwingOn && airborne && animStateMachine) {
        if (w.poseTarget[1] == 0.0f)
            w.limbSwing -= 0.05f * w.limbSwing;
        else
            w.limbSwing = Approach(w.limbSwing, Clampf(2.0f * w.poseTarget[1], -384.0f, 384.0f), 0.05f);
        if (w.limbSwing != 0.0f) {
            TurnBone(this, LimbBoneA, Row(rotation, 2), w.limbSwing, false);
            TurnBone(this, LimbBoneB, Row(rotation, 2), w.limbSwing, false);
            RefreshAttachments(this, std::max<int32_t>(0, static_cast<int32_t>(mesh ? mesh->ObjectAttachCount : 0) - 5));
        }
    }
}

void NztEntity::SteerDelta() {
    NztMoveWork& w = moveWork;
    if (AnimIs(this, AnimSlot::DeltaEndFloor) || AnimIs(this, AnimSlot::DeltaEndWater) || AnimIs(this, AnimSlot::RoundForward))
        return;
    if (airborne && animStateMachine) {
        w.pose[0] += (w.poseTarget[0] - w.pose[0]) * 0.2f;
        w.pose[2] += (w.poseTarget[2] - w.pose[2]) * 0.05f;
        bool turned = false;
        if (w.pose[0] != 0.0f) turned |= TurnBone(this, BodyBone, Row(rotation, 0), w.pose[0]);
        if (w.pose[2] != 0.0f) turned |= TurnBone(this, BodyBone, Row(rotation, 2), w.pose[2]);
        if (turned) RefreshAttachments(this);
    }
    SteerDeltaLimbs();
}

void NztEntity::SteerDeltaLimbs() {
    NztMoveWork& w = moveWork;
    if (!w.limbSwingOn || !airborne || !animStateMachine) return;
    if (w.limbPulse > 0) {
        w.limbPitch += (576.0f - w.limbPitch) * 0.15f;
        --w.limbPulse;
    } else if (w.limbPulse < 0) {
        w.limbPitch += (-384.0f - w.limbPitch) * 0.15f;
        ++w.limbPulse;
    } else {
        w.limbPitch -= 0.05f * w.limbPitch;
    }
    if (w.poseTarget[1] == 0.0f)
        w.limbRoll -= 0.05f * w.limbRoll;
    else
        w.limbRoll = Approach(w.limbRoll, Clampf(4.0f * w.poseTarget[1], -384.0f, 384.0f), 0.05f);
    bool turned = false;
    if (w.limbPitch != 0.0f) {
        turned |= TurnBone(this, LimbBoneA, Row(rotation, 0), w.limbPitch, false);
        turned |= TurnBone(this, LimbBoneB, Row(rotation, 0), w.limbPitch, false);
    }
    if (w.limbRoll != 0.0f) {
        turned |= TurnBone(this, LimbBoneA, Row(rotation, 1), w.limbRoll, false);
        turned |= TurnBone(this, LimbBoneB, Row(rotation, 1), w.limbRoll, false);
    }
    if (turned) RefreshAttachments(this);
}
