#include "objects/attach.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/frameclock.h"
#include "core/nztmath.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/collshape.h"
#include "objects/posing.h"

namespace {

constexpr float Identity3[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
// Kinds of what hangs on an attach point: 3 an effect, 4 and 5 an object.
constexpr uint32_t AttachedEffect = 3;
bool IsAttachedObject(uint32_t kind) {
    return kind == 4 || kind == 5;
}

float Dt50() {
    return FrameTiming.frameFactor;
}

NztBaseObject* OwnerObject(const NztMesh* mesh) {
    return static_cast<NztBaseObject*>(mesh->Owner);
}

bool LayerRunning(const NztMesh* mesh) {
    if (!mesh->AnimLayers) return false;
    for (int i = 0; i < AnimLayerCount; ++i)
        if (mesh->AnimLayers[i].Anim) return true;
    return false;
}

// The keys the bone chains are read from: frame 0 of the layer pose while a layer runs, else
// frame Frame of the bound animation; null with none.
const NztBoneKey* ChainKeys(const NztMesh* mesh, uint32_t* count) {
    const bool layered = LayerRunning(mesh) && mesh->LayerPose;
    NztAnim* anim = layered ? mesh->LayerPose : mesh->CurrentAnim;
    const NztAnimFrame* frame = AnimFrameAt(anim, layered ? 0 : mesh->Frame);
    *count = frame && frame->Keys ? anim->BoneCount : 0;
    return *count ? frame->Keys : nullptr;
}

// The rotation a chain of bones gives: the bones are applied from the last to the first, each
// turning what the later ones already turned, so the product runs from the first bone to the last.
Quat ChainProduct(const std::vector<uint32_t>& bones, const NztBoneKey* keys, uint32_t limit) {
    Quat q = QuatIdentity;
    for (size_t n = bones.size(); n-- > 0;) {
        const uint32_t b = bones[n];
        if (b < limit) q = QuatMultiply(keys[b].Rotation, q);
    }
    return q;
}

void PlaceAt(NztBase3D* target, const Vec3& p) {
    target->Position[0] = p.x;
    target->Position[1] = p.y;
    target->Position[2] = p.z;
}

// The owner's ground words, with stand-ins for the ones it has not bound.
class GroundWords {
public:
    explicit GroundWords(NztMesh* mesh)
        : g(mesh->Ground),
          floor(g.FloorHeight ? *g.FloorHeight : floor_),
          surface(g.SurfaceHeight ? *g.SurfaceHeight : surface_),
          verticalSpeed(g.VerticalSpeed ? *g.VerticalSpeed : verticalSpeed_),
          onSurface(g.OnSurface ? *g.OnSurface : onSurface_),
          airborne(g.Airborne ? *g.Airborne : airborne_),
          pitch(g.Pitch ? *g.Pitch : pitch_),
          roll(g.Roll ? *g.Roll : roll_),
          previousPitch(g.PreviousPitch ? *g.PreviousPitch : previousPitch_),
          previousRoll(g.PreviousRoll ? *g.PreviousRoll : previousRoll_),
          probe(g.Probe ? *g.Probe : probe_) {}
    GroundWords(const GroundWords&) = delete;
    GroundWords& operator=(const GroundWords&) = delete;

    static bool Set(const uint32_t* word) { return word && *word; }
    void SaveTilt() {
        previousPitch = pitch;
        previousRoll = roll;
    }
    bool OffsetSurface() const { return onSurface && g.SurfaceOffsetOn; }
    bool WadingState() const { return g.MovementState >= 2 && g.MovementState <= 4; }

private:
    float floor_ = 0.0f, surface_ = 0.0f, verticalSpeed_ = 0.0f;
    uint32_t onSurface_ = 0, airborne_ = 0;
    int32_t pitch_ = 0, roll_ = 0, previousPitch_ = 0, previousRoll_ = 0;
    StandingProbe probe_;

public:
    const NztMeshGround& g;
    float& floor;
    float& surface;
    float& verticalSpeed;
    uint32_t& onSurface;
    uint32_t& airborne;
    int32_t& pitch;
    int32_t& roll;
    int32_t& previousPitch;
    int32_t& previousRoll;
    StandingProbe& probe;
};

uint32_t Probe(NztMesh* mesh, GroundWords& w) {
    return PoseWorld.findStandingSurface(*mesh->Position, w.g.StepHeight, w.surface, &w.floor, &w.surface,
                                         &w.probe, OwnerObject(mesh));
}

void RefreshSurfaceTilt(NztMesh* mesh, GroundWords& w) {
    w.SaveTilt();
    PoseWorld.computeSurfaceTilt(OwnerObject(mesh), &w.pitch, &w.roll);
}

// The height of the lower foot over the ground below it, from the posed (model-space) anchors of
// attach points 4 and 8; the floor height when the feet are not posed.
float FootGround(NztMesh* mesh, float floor) {
    if (!mesh->Visible || AttachPointAnchor(4, mesh) < 0 || AttachPointAnchor(8, mesh) < 0) return floor;
    float lowest = 0.0f;
    for (int32_t point : {4, 8}) {
        Vec3 p;
        AttachPointPosition(point, &p, mesh);
        p = TurnPoint(mesh->Matrix, p) + *mesh->Position;
        const float h = std::max(PoseWorld.nearestSurface(p, 10.0f, floor), floor);
        lowest = point == 4 ? h : std::min(lowest, h);
    }
    return lowest;
}

// Row math: m[r][c]. Stored with column c at out[3c..3c+2] (see posing.h).
using Rows = float[3][3];

void StoreRows(const Rows m, float out[9]) {
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) out[3 * c + r] = m[r][c];
}

void MulRows(const Rows a, const Rows b, Rows out) {
    Rows r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    std::copy(&r[0][0], &r[0][0] + 9, &out[0][0]);
}

void RowsX(int32_t t, Rows m) {
    const float c = TableCos(t), s = TableSin(t);
    const Rows r = {{1, 0, 0}, {0, c, -s}, {0, s, c}};
    std::copy(&r[0][0], &r[0][0] + 9, &m[0][0]);
}
void RowsY(int32_t t, Rows m) {
    const float c = TableCos(t), s = TableSin(t);
    const Rows r = {{c, 0, s}, {0, 1, 0}, {-s, 0, c}};
    std::copy(&r[0][0], &r[0][0] + 9, &m[0][0]);
}
void RowsZ(int32_t t, Rows m) {
    const float c = TableCos(t), s = TableSin(t);
    const Rows r = {{c, -s, 0}, {s, c, 0}, {0, 0, 1}};
    std::copy(&r[0][0], &r[0][0] + 9, &m[0][0]);
}

void Product3(void (*first)(int32_t, Rows), int32_t t1, void (*second)(int32_t, Rows), int32_t t2,
              void (*third)(int32_t, Rows), int32_t t3, float out[9]) {
    Rows a, b, c;
    first(t1, a);
    second(t2, b);
    third(t3, c);
    MulRows(a, b, a);
    MulRows(a, c, a);
    StoreRows(a, out);
}

}  // namespace

int32_t AttachPointAnchor(int32_t i, const NztMesh* mesh) {
    if (!mesh || i < 0 || static_cast<uint32_t>(i) >= mesh->AttachCount || !mesh->AttachPoints) return -1;
    return static_cast<int32_t>(mesh->AttachPoints[i].Anchor);
}

void AttachPointPosition(int32_t i, Vec3* out, const NztMesh* mesh) {
    const int32_t anchor = AttachPointAnchor(i, mesh);
    if (mesh->Visible && anchor >= 0 && mesh->PosedVertices)
        *out = mesh->PosedVertices[anchor];
    else
        *out = *mesh->Position;
}

int AttachPointChainRotation(int32_t i, float out[9], const NztMesh* mesh) {
    std::copy(Identity3, Identity3 + 9, out);
    if (AttachPointAnchor(i, mesh) < 0 || !mesh->AttachBoneLists || !mesh->SkinActive) return 0;
    const std::vector<uint32_t>& bones = mesh->AttachBoneLists[i];
    uint32_t keyCount = 0;
    const NztBoneKey* keys = ChainKeys(mesh, &keyCount);
    if (bones.empty() || !keys) return 0;
    QuatToRotation(ChainProduct(bones, keys, std::min(mesh->BoneCount, keyCount)), out);
    return 1;
}

void UpdateAttachment(int32_t i, NztMesh* mesh, const float given[9]) {
    if (!mesh || i < 0 || static_cast<uint32_t>(i) >= mesh->ObjectAttachCount || !mesh->ObjectAttachPoints)
        return;
    NztAttachPoint& point = mesh->ObjectAttachPoints[i];
    AttachPointPosition(i, &point.Position, mesh);
    if (!point.Target) return;
    float* rotation = nullptr;
    if (point.Kind == AttachedEffect) {
        rotation = ObjectServices.placeAttachedEffect(point.Target, point.Position);
    } else if (IsAttachedObject(point.Kind)) {
        NztBaseObject* object = static_cast<NztBaseObject*>(point.Target);
        PlaceAt(object, point.Position);
        rotation = object->rotation;
    }
    if (rotation) MultiplyMatrix3(given, rotation, rotation);
}

void UpdateMeshAttachments(NztMesh* mesh) {
    if (!mesh || !mesh->AttachCount || !mesh->Visible || !mesh->ObjectAttachPoints) return;
    for (uint32_t n = mesh->ObjectAttachCount; n-- > 0;) {
        NztAttachPoint& point = mesh->ObjectAttachPoints[n];
        const bool effect = point.Kind == AttachedEffect;
        if (!point.Target || !(effect || IsAttachedObject(point.Kind)))
            continue;
        const int32_t i = static_cast<int32_t>(n);
        AttachPointPosition(i, &point.Position, mesh);
        float chain[9];
        float turned[9];
        const float* rotation = mesh->Matrix;
        if (mesh->CurrentAnim && AttachPointChainRotation(i, chain, mesh)) {
            MultiplyMatrix3(mesh->Matrix, chain, turned);
            rotation = turned;
        }
        if (effect) {
            float* effectRotation = ObjectServices.placeAttachedEffect(point.Target, point.Position);
            std::copy(rotation, rotation + 9, effectRotation);
            if (mesh->Ground.SurfaceHeight)
                ObjectServices.keepAttachedEffectAtSurface(point.Target, *mesh->Ground.SurfaceHeight);
        } else {
            NztBaseObject* object = static_cast<NztBaseObject*>(point.Target);
            PlaceAt(object, point.Position);
            if (object->boneOrientation) std::copy(rotation, rotation + 9, object->rotation);
        }
    }
}

void ApplyBoneRotation(uint32_t bone, NztMesh* mesh) {
    if (!mesh || !mesh->Bones || bone >= mesh->MaxBoneCount || !mesh->PosedVertices) return;
    if (!mesh->BoneRotation) mesh->BoneRotation = &mesh->OwnBoneRotation;
    const NztMeshBone& b = mesh->Bones[bone];
    const Vec3 pivot = mesh->BonePivot;
    for (uint32_t j = 0; j < b.VertexCount && j < b.Vertices.size(); ++j) {
        const float w = b.Weights[j];
        Vec3& p = mesh->PosedVertices[b.Vertices[j]];
        if (w == 0.0f) continue;
        if (w == 1.0f)
            p = TurnPoint(mesh->BoneMatrix, p - pivot) + pivot;
        else
            RotateMeshPointBlend(mesh, &p, w);
    }
}

void RotateBoneByAngle(int32_t angle, uint32_t bone, NztMesh* mesh) {
    if (!mesh) return;
    const int32_t half = (angle >> 1) & 2047;
    const float c = TableCos(half), s = TableSin(half);
    const Vec3 axis = mesh->BendAxis;
    mesh->OwnBoneRotation = {c, axis.x * s, axis.y * s, axis.z * s};
    mesh->BoneRotation = &mesh->OwnBoneRotation;
    QuatToMeshMatrix(mesh);
    ApplyBoneRotation(bone, mesh);
}

void RotateBone1(NztMesh* mesh, const float given[9]) {
    if (!mesh || !mesh->Bones || mesh->MaxBoneCount < 2 || !mesh->PosedVertices) return;
    mesh->BonePivot = mesh->PosedVertices[mesh->Bones[1].Pivot];
    SetBoneMatrix(mesh, given);
    ApplyBoneRotation(1, mesh);
}

void OffsetBoneVertices(uint32_t bone, NztMesh* mesh, const Vec3& d) {
    if (!mesh || !mesh->Bones || bone >= mesh->MaxBoneCount || !mesh->PosedVertices) return;
    const NztMeshBone& b = mesh->Bones[bone];
    for (uint32_t j = 0; j < b.VertexCount && j < b.Vertices.size(); ++j) {
        Vec3& p = mesh->PosedVertices[b.Vertices[j]];
        p = p + d * b.Weights[j];
    }
}

void AlignBonesToObject(NztMesh* mesh, const float otherRotation[9]) {
    if (!mesh || !mesh->Visible || !mesh->Bones || !mesh->PosedVertices) return;
    float qm[4] = {1, 0, 0, 0}, qo[4] = {1, 0, 0, 0};
    MatrixToQuat(mesh->Matrix, qm);
    MatrixToQuat(otherRotation, qo);
    // The turn from the mesh's orientation to the other's, and the halves of it and its opposite.
    Quat r{qo[0], qo[1], qo[2], qo[3]};
    QuatMultiplyInPlace(&r, QuatConjugate(Quat{qm[0], qm[1], qm[2], qm[3]}));
    const Quat half = QuatSlerp(QuatIdentity, r, 0.5f);
    const Quat halfBack = QuatSlerp(QuatIdentity, QuatConjugate(r), 0.5f);
    const Quat back = QuatConjugate(r);
    // Bones and attach points of the character skeleton: neck and head, then the carrying arm.
    struct Row {
        const Quat* rotation;
        uint32_t bone;
        int32_t points[13];  // -1 ends the list
    };
    const Row rows[] = {
        {&half, 10, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22}},
        {&half, 16, {16, -1}},
        {&halfBack, 13, {13, 22, -1}},
        {&halfBack, 14, {14, 15, 16, -1}},
        {&halfBack, 15, {15, 16, -1}},
        {&halfBack, 19, {19, 20, -1}},
        {&back, 20, {20, -1}},
    };
    for (const Row& row : rows) {
        // A skeleton without the bone (not a character's) is left alone.
        if (row.bone >= mesh->MaxBoneCount) continue;
        mesh->OwnBoneRotation = *row.rotation;
        mesh->BoneRotation = &mesh->OwnBoneRotation;
        QuatToMeshMatrix(mesh);
        mesh->BonePivot = mesh->PosedVertices[mesh->Bones[row.bone].Pivot];
        ApplyBoneRotation(row.bone, mesh);
        for (int32_t point : row.points) {
            if (point < 0) break;
            UpdateAttachment(point, mesh, mesh->BoneMatrix);
        }
    }
}

void SecondaryBoneMotion(uint32_t bone, uint32_t restVertex, const Quat* chain, NztMesh* mesh, Vec3* v,
                         uint32_t j) {
    if (!mesh || !mesh->Bones || bone >= mesh->MaxBoneCount || !v) return;
    NztMeshBone& b = mesh->Bones[bone];
    if (j >= b.Cache.size() || restVertex >= mesh->VertexCount) return;
    if (restVertex == b.Pivot) return;
    NztBoneCacheEntry& cache = b.Cache[j];
    const Vec3 p0 = mesh->Vertices[b.Pivot];
    const Vec3 p = mesh->PosedVertices[b.Pivot];
    const Vec3 rel = mesh->Vertices[restVertex] - p0;
    const float d = std::sqrt(Dot(rel, rel));
    const float s = 1.0f + d * b.ExtraStiffness;
    float f = s == 0.0f ? 1.0f : 1.0f / s;
    if (!(f < 1.0f)) f = 1.0f;
    if (chain) {
        cache.Rotation = QuatSlerp(cache.Rotation, *chain, (1.0f - b.ExtraFollow) * f);
        float r[9];
        QuatToRotation(cache.Rotation, r);
        *v = TurnPoint(r, *v - p0) + p0;
        if (mesh->PosedNormals)
            mesh->PosedNormals[restVertex] = TurnPoint(mesh->BoneMatrix, mesh->PosedNormals[restVertex]);
    }
    cache.Lag = cache.Lag + p - *mesh->Motion * (1.0f - f);
    Vec3 a = cache.Lag * f;
    // Each axis trails at most limit behind the pivot; a stiffness of 0 leaves it free.
    if (b.ExtraStiffness != 0.0f) {
        const float limits[3] = {b.ExtraLimits.x, b.ExtraLimits.y, b.ExtraLimits.z};
        const float pk[3] = {p.x, p.y, p.z};
        float* ak[3] = {&a.x, &a.y, &a.z};
        float* lk[3] = {&cache.Lag.x, &cache.Lag.y, &cache.Lag.z};
        for (int k = 0; k < 3; ++k) {
            const float limit = limits[k] * s / b.ExtraStiffness;
            if (*ak[k] < pk[k] - limit) {
                *ak[k] = pk[k] - limit;
                *lk[k] = *ak[k] * s;
            } else if (*ak[k] > pk[k] + limit) {
                *ak[k] = pk[k] + limit;
                *lk[k] = *ak[k] * s;
            }
        }
    }
    *v = *v + (a - p0);
    cache.Lag = cache.Lag - a;
}

void ApplySecondaryMotion(NztMesh* mesh, const NztBoneKey* keys, uint32_t keyCount) {
    if (!mesh || !mesh->Bones || !mesh->PosedVertices) return;
    const uint32_t limit = std::min({mesh->BoneCount, mesh->MaxBoneCount, keyCount});
    for (uint32_t b = 0; b < mesh->MaxBoneCount; ++b) {
        NztMeshBone& bone = mesh->Bones[b];
        if (!bone.HasExtra) continue;
        Quat chain = QuatIdentity;
        const Quat* chainPtr = nullptr;
        if (keys) {
            // The bones whose lists hold this bone's pivot carry it (product as in ChainProduct).
            for (uint32_t c = limit; c-- > 0;) {
                const std::vector<uint32_t>& list = mesh->Bones[c].Vertices;
                if (std::find(list.begin(), list.end(), bone.Pivot) != list.end())
                    chain = QuatMultiply(keys[c].Rotation, chain);
            }
            chainPtr = &chain;
            mesh->OwnBoneRotation = b < limit ? keys[b].Rotation : QuatIdentity;
            mesh->BoneRotation = &mesh->OwnBoneRotation;
            QuatToMeshMatrix(mesh);
        }
        for (uint32_t j = 0; j < bone.VertexCount && j < bone.Vertices.size(); ++j) {
            const uint32_t i = bone.Vertices[j];
            SecondaryBoneMotion(b, i, chainPtr, mesh, &mesh->PosedVertices[i], j);
        }
    }
}

void FollowGround(NztMesh* mesh) {
    if (!mesh) return;
    GroundWords w(mesh);
    w.onSurface = Probe(mesh, w);
    if (!w.onSurface) return;
    w.SaveTilt();
    PoseWorld.computeGroundTilt(OwnerObject(mesh), &w.pitch, &w.roll);
    const int32_t heading = w.g.PackedAngles ? static_cast<int32_t>((*w.g.PackedAngles >> 12) & 0xFFF) : 0;
    MatrixFromAnglesYZX(mesh->Matrix, heading, w.roll, -w.pitch);
    mesh->Position->y = w.surface;
}

void UpdateEntityGround(NztMesh* mesh) {
    if (!mesh) return;
    GroundWords w(mesh);
    const NztMeshGround& g = w.g;
    const float k = Dt50();
    float& y = mesh->Position->y;
    w.onSurface = Probe(mesh, w);
    if (GroundWords::Set(g.Sliding)) {
        RefreshSurfaceTilt(mesh, w);
        SettleOnSurface(mesh);
        return;
    }
    if (w.airborne && (GroundWords::Set(g.HangGliding) || GroundWords::Set(g.Parachute) ||
                       GroundWords::Set(g.ThirdGlide))) {
        y = std::max(y - w.verticalSpeed * k * 0.5f, w.floor);
        return;
    }
    if (g.Flying && w.airborne) {
        if (g.AirborneTilt != 0.0f) RefreshSurfaceTilt(mesh, w);
        y = std::max(y - w.verticalSpeed * k * 0.5f, w.floor);
        return;
    }
    if (g.SettleMode) {
        w.SaveTilt();
        if (w.airborne) {
            w.pitch = w.roll = 0;
        } else if (w.OffsetSurface() && w.WadingState()) {
            PoseWorld.computeGroundTilt(OwnerObject(mesh), &w.pitch, &w.roll);
        } else {
            PoseWorld.computeSurfaceTilt(OwnerObject(mesh), &w.pitch, &w.roll);
        }
        SettleOnGround(mesh);
        return;
    }
    if (w.airborne || GroundWords::Set(g.HeightHold) || y - w.surface > g.StepHeight) {
        if (g.AirborneTilt != 0.0f) RefreshSurfaceTilt(mesh, w);
        return;
    }
    if (w.OffsetSurface()) {
        if (g.SurfaceOffset <= w.surface - w.floor) {
            // Swimming: held at the offset below the surface.
            if (w.verticalSpeed != 0.0f) {
                y = std::min(y - w.verticalSpeed * k * 0.5f, w.surface - g.SurfaceOffset);
            } else if (y > w.surface - g.StepHeight - 2.0f * g.SurfaceOffset) {
                y = y + (w.surface - g.SurfaceOffset - y) * k * 0.5f;
            }
            return;
        }
        // Too shallow to swim in: walk on the floor.
        w.onSurface = 0;
    }
    RefreshSurfaceTilt(mesh, w);
    const float ground = g.FootPlacement && mesh->CurrentLod <= 1 ? FootGround(mesh, w.floor) : w.floor;
    if (y > ground)
        y = y - k * 5.0f;
    else
        y = ground;
    y = std::max(y, ground);
}

namespace {

// The body of SettleOnSurface (factor 1.5) and SettleOnGround (0.5).
void Settle(NztMesh* mesh, bool onSurface) {
    GroundWords w(mesh);
    const NztMeshGround& g = w.g;
    const float k = Dt50();
    const float factor = onSurface ? 1.5f : 0.5f;
    float& y = mesh->Position->y;
    float target;
    if (onSurface)
        target = w.OffsetSurface() ? w.surface - g.SurfaceOffset : w.surface;
    else
        target = w.OffsetSurface() && w.WadingState() ? w.surface : w.floor;
    if (!w.airborne) {
        const int32_t drop = w.previousPitch - w.pitch;
        const float forward = mesh->FrameMotion->z;
        const bool takeOff =
            onSurface ? drop > 128 : (drop > 32 && forward >= 0.0f) || (-drop > 32 && forward < 0.0f);
        if (takeOff) {
            w.verticalSpeed = k != 0.0f ? -mesh->Motion->y * (1.0f / k) : 0.0f;
            w.airborne = y - (g.Gravity * factor * k + w.verticalSpeed) > target ? 1 : 0;
        }
    }
    if (y > target || w.airborne) {
        if (w.airborne) {
            y = y - w.verticalSpeed * k * 0.2f;
            w.verticalSpeed = w.verticalSpeed + g.Gravity * k * factor;
        } else {
            y = y + (target - y) * k * 0.75f;
            w.verticalSpeed = 0.0f;
        }
    }
    if (target >= y) {
        y = target;
        w.verticalSpeed = 0.0f;
        w.airborne = 0;
    }
}

}  // namespace

void SettleOnSurface(NztMesh* mesh) {
    if (mesh) Settle(mesh, true);
}

void SettleOnGround(NztMesh* mesh) {
    if (mesh) Settle(mesh, false);
}

void QuatMultiplyInPlace(Quat* a, const Quat& b) {
    *a = QuatMultiply(*a, b);
}

void MatrixFromAnglesYZX(float out[9], int32_t a1, int32_t a2, int32_t a3) {
    Product3(RowsY, a1, RowsZ, a2, RowsX, a3, out);
}

void MatrixFromAngles(float out[9], int32_t a1, int32_t a2, int32_t a3) {
    Product3(RowsX, a3, RowsY, a1, RowsZ, a2, out);
}

void MatrixFromPackedAngles(float out[9], const uint32_t words[2]) {
    const int32_t a = static_cast<int32_t>((words[0] >> 12) & 0xFFF);
    const int32_t b = static_cast<int32_t>(words[0] & 0xFFF);
    const int32_t c = static_cast<int32_t>(words[1] & 0xFFF);
    Product3(RowsZ, c, RowsX, b, RowsY, a, out);
}

void SetBoneMatrix(NztMesh* mesh, const float given[9]) {
    if (!mesh) return;
    std::copy(given, given + 9, mesh->BoneMatrix);
    float q[4] = {1, 0, 0, 0};
    MatrixToQuat(given, q);
    mesh->OwnBoneRotation = {q[0], q[1], q[2], q[3]};
    mesh->BoneRotation = &mesh->OwnBoneRotation;
}
