#include "objects/posing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "core/frameclock.h"
#include "core/nztmath.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/attach.h"
#include "objects/base3d.h"
#include "objects/collshape.h"
#include "objects/eye.h"
#include "objects/sun.h"
#include "render/renderstate.h"

namespace {

inline bool IsZero(const Vec3& v) {
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

// A key that moves nothing is skipped, so that its vertices stay exactly where they are (the
// pivot subtraction and addition would otherwise round them).
inline bool IsIdentityKey(const NztBoneKey& k) {
    return k.Rotation.w == 1.0f && k.Rotation.x == 0.0f && k.Rotation.y == 0.0f && k.Rotation.z == 0.0f &&
           IsZero(k.Translation) && IsZero(k.Scale);
}

float Dt50() {
    return FrameTiming.frameFactor;
}

// The matrix the posed mesh is placed with.
const float* PlacementMatrix(const NztMesh* mesh) {
    if (mesh->UseCameraMatrix) {
        if (const float* camera = CameraOrientation()) return camera;
    }
    return mesh->Matrix;
}

bool HasBuffers(const NztMesh* mesh) {
    return mesh->PosedVertices && mesh->PosedNormals && (mesh->Vertices || mesh->VertexCount == 0);
}

struct KeySet {
    NztBoneKey* keys = nullptr;
    uint32_t count = 0;
};

KeySet FrameKeys(NztAnim* anim, uint32_t f) {
    NztAnimFrame* frame = AnimFrameAt(anim, f);
    if (!frame || !frame->Keys) return {};
    return {frame->Keys, anim->BoneCount};
}

// The keys of this posing: frame 0 of the layer pose while a layer runs, else frame Frame of the
// bound animation. Recorded as CurrentKeys.
KeySet PoseKeys(NztMesh* mesh, bool layered) {
    KeySet set = layered ? FrameKeys(mesh->LayerPose, 0) : FrameKeys(mesh->CurrentAnim, mesh->Frame);
    mesh->CurrentKeys = set.keys;
    return set;
}

uint32_t BonesToApply(const NztMesh* mesh, uint32_t keyCount) {
    if (!mesh->Bones) return 0;
    return std::min({mesh->BoneCount, mesh->MaxBoneCount, keyCount});
}

void ComputeInverse(NztMesh* mesh) {
    MatrixInverse3(mesh->Matrix, mesh->InverseMatrix);
}

void CopyRest(NztMesh* mesh) {
    const uint32_t n = mesh->VertexCount;
    std::copy(mesh->Vertices, mesh->Vertices + n, mesh->PosedVertices);
    std::copy(mesh->Normals, mesh->Normals + n, mesh->PosedNormals);
}

// The bone fields of the mesh for a bone with key k turned about piv.
void SetPoseBoneFields(NztMesh* mesh, const NztBoneKey& k, const Vec3& piv) {
    mesh->BonePivot = piv;
    mesh->BoneTranslation = k.Translation;
    mesh->BoneScale = k.Scale;
    mesh->OwnBoneRotation = k.Rotation;
    mesh->BoneRotation = &mesh->OwnBoneRotation;
    QuatToMeshMatrix(mesh);
}

// The bone fields of the mesh for bone b with key k, its pivot from the partly posed vertices.
void SetBoneFields(NztMesh* mesh, const NztMeshBone& bone, const NztBoneKey& k) {
    SetPoseBoneFields(mesh, k, mesh->PosedVertices[bone.Pivot]);
}

// Steps 2 and 3 of the bone loop over bones n - 1 .. 0. With extraAware (HasBones 1), a HasExtra
// bone moves only its own pivot vertex; its list is left to the secondary motion.
//
// The arithmetic is that of TransformMeshPointNormal and BlendMeshPointNormal term for term, so
// the result matches the reference bit for bit; what is saved is the reloading of the mesh's
// scratch fields for every vertex and one slerp per run of equal partial weights.
void ApplyBones(NztMesh* mesh, const NztBoneKey* keys, uint32_t n, bool extraAware) {
    Vec3* const pv = mesh->PosedVertices;
    Vec3* const pn = mesh->PosedNormals;
    for (uint32_t b = n; b-- > 0;) {
        const NztMeshBone& bone = mesh->Bones[b];
        const NztBoneKey& k = keys[b];
        if (IsIdentityKey(k)) continue;
        SetBoneFields(mesh, bone, k);
        if (extraAware && bone.HasExtra) {
            TransformMeshPoint(mesh, &pv[bone.Pivot]);
            continue;
        }
        const float* bm = mesh->BoneMatrix;
        const float m0 = bm[0], m1 = bm[1], m2 = bm[2], m3 = bm[3], m4 = bm[4], m5 = bm[5], m6 = bm[6],
                    m7 = bm[7], m8 = bm[8];
        const Vec3 piv = mesh->BonePivot;
        const Vec3 tr = mesh->BoneTranslation;
        const Vec3 sc = mesh->BoneScale;
        const Vec3 s1{1.0f + sc.x, 1.0f + sc.y, 1.0f + sc.z};
        const Quat rot = k.Rotation;
        float blendWeight = 0.0f;  // the weight r and sw were made for; 0.0 never blends
        float r[9] = {};
        Vec3 sw{1.0f, 1.0f, 1.0f};
        const uint32_t count =
            std::min<uint32_t>(bone.VertexCount, static_cast<uint32_t>(bone.Vertices.size()));
        const uint32_t* idx = bone.Vertices.data();
        const float* wt = bone.Weights.data();
        for (uint32_t j = 0; j < count; ++j) {
            const float w = wt[j];
            if (w == 0.0f) continue;
            Vec3& p = pv[idx[j]];
            Vec3& nr = pn[idx[j]];
            if (w == 1.0f) {
                const float dx = (p.x - piv.x) * s1.x, dy = (p.y - piv.y) * s1.y, dz = (p.z - piv.z) * s1.z;
                p = {m0 * dx + m3 * dy + m6 * dz + tr.x + piv.x, m1 * dx + m4 * dy + m7 * dz + tr.y + piv.y,
                     m2 * dx + m5 * dy + m8 * dz + tr.z + piv.z};
                const Vec3 q = nr;
                nr = {m0 * q.x + m3 * q.y + m6 * q.z, m1 * q.x + m4 * q.y + m7 * q.z,
                      m2 * q.x + m5 * q.y + m8 * q.z};
            } else {
                if (w != blendWeight) {
                    blendWeight = w;
                    QuatToRotation(QuatSlerp(QuatIdentity, rot, w), r);
                    sw = {1.0f + sc.x * w, 1.0f + sc.y * w, 1.0f + sc.z * w};
                }
                const float dx = (p.x - piv.x) * sw.x, dy = (p.y - piv.y) * sw.y, dz = (p.z - piv.z) * sw.z;
                p = {r[0] * dx + r[3] * dy + r[6] * dz + piv.x + tr.x * w,
                     r[1] * dx + r[4] * dy + r[7] * dz + piv.y + tr.y * w,
                     r[2] * dx + r[5] * dy + r[8] * dz + piv.z + tr.z * w};
                const Vec3 q = nr;
                nr = {r[0] * q.x + r[3] * q.y + r[6] * q.z, r[1] * q.x + r[4] * q.y + r[7] * q.z,
                      r[2] * q.x + r[5] * q.y + r[8] * q.z};
            }
        }
    }
}

// ---- The single-pass skinning kernel ----
//
// Every bone moves a vertex by an affine map about its pivot, so the bones a vertex goes through
// compose into one affine map; vertices that go through the same bones with the same weights
// share it. The plan made from the bone lists (once, kept with the LOD) gives each such bone
// list a group, built as a trie of (bone, weight) steps from the outside in: the root is the
// placement, its children the last bone applied, and so on, so that the lists of a limb, which
// end alike in the bones near its root, share their outer steps. It cuts the vertices into runs
// of one group. Each posing then makes one matrix per step and one per group, the group's being
// its parent's composed with its step, and transforms every vertex once.
//
// Each bone's pivot is its pivot vertex moved by the bones applied before it, found by walking
// that vertex's own steps from its leaf (the first bone applied) towards the root. The result
// matches the per-bone kernel within float rounding: the products are associated differently
// (PoseMeshBonesReference stays the plain form to check it).

// One step of a bone list: a bone at a weight; pointOnly moves the position and not the normal (a
// HasExtra bone under the secondary motion, which moves only its pivot vertex).
struct SkinStep {
    uint32_t bone = 0;
    float weight = 1.0f;
    bool pointOnly = false;
};

// An affine map for points (a, c) and a linear one for normals (n), both column-major as the
// mesh matrices.
struct SkinAffine {
    float a[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Vec3 c{0.0f, 0.0f, 0.0f};
    float n[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
};

struct SkinRun {
    uint32_t first = 0, count = 0, group = 0;
};

// What the plan was made from: it is remade when any of it changes. The words of the lists are
// not compared, only where they live and how many there are: lists are filled when a mesh loads
// and replaced whole, not edited in place.
struct SkinPlanKey {
    const NztMeshBone* bones = nullptr;
    uint32_t boneCount = 0;
    uint32_t vertexCount = 0;
    bool extraAware = false;
    std::vector<const void*> lists;  // per bone: its vertex and weight arrays
    std::vector<uint32_t> words;     // per bone: pivot, VertexCount, list sizes, HasExtra

    bool operator==(const SkinPlanKey&) const = default;
};

SkinPlanKey MakeSkinPlanKey(const NztMesh* mesh, uint32_t n, bool extraAware) {
    SkinPlanKey key;
    key.bones = mesh->Bones;
    key.boneCount = n;
    key.vertexCount = mesh->VertexCount;
    key.extraAware = extraAware;
    key.lists.reserve(2 * n);
    key.words.reserve(5 * n);
    for (uint32_t b = 0; b < n; ++b) {
        const NztMeshBone& bone = mesh->Bones[b];
        key.lists.push_back(bone.Vertices.data());
        key.lists.push_back(bone.Weights.data());
        key.words.insert(key.words.end(), {bone.Pivot, bone.VertexCount, static_cast<uint32_t>(bone.Vertices.size()),
                                           static_cast<uint32_t>(bone.Weights.size()), bone.HasExtra});
    }
    return key;
}

// MakeSkinPlanKey(mesh, n, extraAware) == key, without making it (this runs every posing).
bool KeyMatches(const SkinPlanKey& key, const NztMesh* mesh, uint32_t n, bool extraAware) {
    if (key.bones != mesh->Bones || key.boneCount != n || key.vertexCount != mesh->VertexCount ||
        key.extraAware != extraAware || key.lists.size() != 2 * size_t{n} || key.words.size() != 5 * size_t{n}) {
        return false;
    }
    for (uint32_t b = 0; b < n; ++b) {
        const NztMeshBone& bone = mesh->Bones[b];
        const uint32_t* w = &key.words[5 * size_t{b}];
        if (key.lists[2 * size_t{b}] != bone.Vertices.data() || key.lists[2 * size_t{b} + 1] != bone.Weights.data() ||
            w[0] != bone.Pivot || w[1] != bone.VertexCount || w[2] != bone.Vertices.size() ||
            w[3] != bone.Weights.size() || w[4] != bone.HasExtra) {
            return false;
        }
    }
    return true;
}

// A model-space pose kept for the next mesh of the type posed on the same keys (a crowd on one
// frame of one animation): what it was made from, the keys bit for bit and the rest arrays (where
// they live: like the bone lists, they are filled when a mesh loads and replaced whole); the maps
// packed for the vertex pass and, while the budget allows, the posed vertices and normals;
// and what the making left in the mesh's bone fields (the last bone turned, -1 for none, and its
// pivot).
struct SkinPoseMemo {
    std::vector<NztBoneKey> keys;
    const Vec3* rest = nullptr;
    const Vec3* restNormals = nullptr;
    std::vector<float> packed;
    std::vector<Vec3> vertices, normals;  // empty: not kept
    int32_t lastBone = -1;
    Vec3 lastPivot{0.0f, 0.0f, 0.0f};

    size_t Bytes() const {
        return keys.size() * sizeof(NztBoneKey) + packed.size() * sizeof(float) +
               (vertices.size() + normals.size()) * sizeof(Vec3);
    }
};

// Poses a grouping keeps, found by where their keys live (all are dropped when more are asked), and
// the bytes all groupings' poses may hold between them (KeptSkinPoseBytes): past it a pose keeps
// no vertices, and a new pose is not kept at all.
constexpr size_t kSkinPoseMemos = 256;
constexpr size_t kSkinPoseBytes = size_t{16} << 20;
size_t KeptPoseBytes = 0;

// One grouping of a LOD's vertices, for one way of reading HasExtra bones.
struct SkinGrouping {
    SkinPlanKey key;
    std::vector<SkinStep> steps;
    // The trie: group g > 0 is step step[g] followed by group parent[g]; group 0 is no bone.
    std::vector<uint32_t> parent{0}, step{0};
    std::vector<SkinRun> runs;
    std::vector<uint32_t> vertexGroup;  // the final group of every vertex
    // Scratch of one posing.
    std::vector<SkinAffine> stepMaps, groupMaps;
    std::vector<float> packed;  // 21 floats a group: point matrix, offset, normal matrix
    std::vector<SkinPoseMemo> poses;
    std::unordered_map<const NztBoneKey*, uint32_t> poseAt;
    size_t poseBytes = 0;  // held by the kept poses

    SkinGrouping() = default;
    SkinGrouping(const SkinGrouping&) = delete;
    SkinGrouping& operator=(const SkinGrouping&) = delete;
    ~SkinGrouping() { ForgetPoses(); }
    void ForgetPoses() {
        poses.clear();
        poseAt.clear();
        KeptPoseBytes -= poseBytes;
        poseBytes = 0;
    }
};

}  // namespace

// The groupings of a LOD, one with HasExtra bones read as plain bones and one with them moving
// only their pivots (under the secondary motion), so that a type posed both ways keeps both.
struct SkinPlan {
    std::shared_ptr<SkinGrouping> modes[2];
};

namespace {

SkinGrouping* BuildSkinPlan(NztMesh* mesh, uint32_t n, bool extraAware) {
    MeshLod& lod = mesh->Lods[std::min<uint32_t>(mesh->CurrentLod, MeshLodCount - 1)];
    const int mode = extraAware ? 1 : 0;
    if (lod.Skin && lod.Skin->modes[mode] && KeyMatches(lod.Skin->modes[mode]->key, mesh, n, extraAware))
        return lod.Skin->modes[mode].get();
    // New plan objects: another mesh copied from this one may still hold the old ones.
    auto plan = std::make_shared<SkinGrouping>();
    plan->key = MakeSkinPlanKey(mesh, n, extraAware);
    const uint32_t vertices = mesh->VertexCount;
    std::vector<uint32_t>& group = plan->vertexGroup;
    group.assign(vertices, 0);
    std::unordered_map<uint64_t, uint32_t> children;  // (group, step) -> group
    auto stepOf = [&](uint32_t v, uint32_t s) {
        const uint64_t edge = (uint64_t{group[v]} << 32) | s;
        auto [it, added] = children.try_emplace(edge, static_cast<uint32_t>(plan->parent.size()));
        if (added) {
            plan->parent.push_back(group[v]);
            plan->step.push_back(s);
        }
        group[v] = it->second;
    };
    // The steps, bone by bone in the order they apply, and the (vertex, step) pairs of each bone
    // in list order.
    struct Entry {
        uint32_t vertex, step;
    };
    std::vector<Entry> entries;
    std::vector<size_t> boneEntries(size_t{n} + 1, 0);  // bone b's: boneEntries[b + 1] .. boneEntries[b]
    std::unordered_map<uint32_t, uint32_t> stepOfWeight;  // one bone's weights (their bits) -> step
    for (uint32_t b = n; b-- > 0;) {
        const NztMeshBone& bone = mesh->Bones[b];
        boneEntries[b + 1] = entries.size();
        if (extraAware && bone.HasExtra) {
            if (bone.Pivot >= vertices) continue;
            plan->steps.push_back({b, 1.0f, true});
            entries.push_back({bone.Pivot, static_cast<uint32_t>(plan->steps.size() - 1)});
            continue;
        }
        const uint32_t count = std::min<uint32_t>(
            {bone.VertexCount, static_cast<uint32_t>(bone.Vertices.size()), static_cast<uint32_t>(bone.Weights.size())});
        stepOfWeight.clear();
        for (uint32_t j = 0; j < count; ++j) {
            const uint32_t v = bone.Vertices[j];
            const float w = bone.Weights[j];
            if (w == 0.0f || v >= vertices) continue;
            // Weights are told apart bit for bit.
            uint32_t bits;
            std::memcpy(&bits, &w, 4);
            auto [it, added] = stepOfWeight.try_emplace(bits, static_cast<uint32_t>(plan->steps.size()));
            if (added) plan->steps.push_back({b, w, false});
            entries.push_back({v, it->second});
        }
    }
    boneEntries[0] = entries.size();
    // The trie from the outside in: bones from the first to the last, and a bone's pairs from the
    // last listed (a vertex listed twice takes the earlier pair first).
    for (uint32_t b = 0; b < n; ++b) {
        for (size_t e = boneEntries[b]; e-- > boneEntries[b + 1];)
            stepOf(entries[e].vertex, entries[e].step);
    }
    for (uint32_t v = 0; v < vertices;) {
        uint32_t end = v + 1;
        while (end < vertices && group[end] == group[v]) ++end;
        plan->runs.push_back({v, end - v, group[v]});
        v = end;
    }
    plan->stepMaps.resize(plan->steps.size());
    plan->groupMaps.resize(plan->parent.size());
    auto holder = lod.Skin ? std::make_shared<SkinPlan>(*lod.Skin) : std::make_shared<SkinPlan>();
    holder->modes[mode] = std::move(plan);
    lod.Skin = std::move(holder);
    return lod.Skin->modes[mode].get();
}

void Mul3(const float a[9], const float b[9], float out[9]) {
    float r[9];
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) r[3 * j + k] = a[k] * b[3 * j] + a[3 + k] * b[3 * j + 1] + a[6 + k] * b[3 * j + 2];
    std::copy(r, r + 9, out);
}

// outer after inner: points p -> outer(inner(p)), normals likewise.
SkinAffine Compose(const SkinAffine& outer, const SkinAffine& inner) {
    SkinAffine r;
    Mul3(outer.a, inner.a, r.a);
    r.c = TurnPoint(outer.a, inner.c) + outer.c;
    Mul3(outer.n, inner.n, r.n);
    return r;
}

Vec3 ApplyAffine(const SkinAffine& m, const Vec3& p) {
    return TurnPoint(m.a, p) + m.c;
}

// The map of one step of bone b about pivot piv with key k.
SkinAffine StepMap(const SkinStep& s, const NztBoneKey& k, const Vec3& piv) {
    SkinAffine m;
    float r[9];
    Vec3 scale, move;
    if (s.pointOnly || s.weight == 1.0f) {
        QuatToRotation(k.Rotation, r);
        scale = {1.0f + k.Scale.x, 1.0f + k.Scale.y, 1.0f + k.Scale.z};
        move = k.Translation;
    } else {
        QuatToRotation(QuatSlerp(QuatIdentity, k.Rotation, s.weight), r);
        scale = {1.0f + k.Scale.x * s.weight, 1.0f + k.Scale.y * s.weight, 1.0f + k.Scale.z * s.weight};
        move = k.Translation * s.weight;
    }
    // p -> R S (p - piv) + piv + move
    for (int j = 0; j < 3; ++j) {
        const float sj = j == 0 ? scale.x : j == 1 ? scale.y : scale.z;
        for (int i = 0; i < 3; ++i) m.a[3 * j + i] = r[3 * j + i] * sj;
    }
    m.c = piv + move - TurnPoint(m.a, piv);
    if (!s.pointOnly) std::copy(r, r + 9, m.n);
    return m;
}

// The vertex pass: every vertex of a run through its group's map. It is built three times, for
// any x86-64, for AVX2 and for AVX-512, and the widest the processor runs is picked on first use.
// Two forms, each the quicker where it is used:
//
// - By lanes (g++'s AVX2 copy, and every build by clang): eight vertices at a time are 24
//   interleaved floats (x y z x y z ...), loaded as three vectors of eight lanes. They are
//   regrouped so that each 128-bit half holds four whole vertices (the first four in the low
//   halves, the next four in the high), and within each half the x, y and z of the four are
//   gathered with in-half shuffles, which are cheap; the shuffles across the halves that the
//   compiler makes of the plain loop for AVX2 cost more and were its limit. The results go back
//   the same way. The vector code is the compilers' generic vectors.
// - Plain loops (g++'s AVX-512 copy and its other builds): the points, then the normals, each a
//   loop over whole vertices that the compiler vectorises itself. With AVX-512 it gathers the
//   components with two-table permutes, quicker than the lanes; without AVX2, g++ makes poor code
//   of the generic vectors.
//
// Every version gives the same bits: each product and each sum is rounded on its own, in the same
// order, and the compilers are told not to fuse a product and a sum into one multiply-add (which
// only the vector instruction sets have), so a pose does not depend on the processor.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC optimize("fp-contract=off")
#endif
typedef float SkinLanes __attribute__((vector_size(32)));

// The matrix entries, each in every lane: 9 point matrix entries and 3 offsets, or 9 normal
// matrix entries.
struct SkinMatrixLanes {
    SkinLanes e[12];
};

void FillSkinLanes(const float* m, int count, SkinMatrixLanes* out) {
    for (int k = 0; k < count; ++k)
        for (int l = 0; l < 8; ++l) out->e[k][l] = m[k];
}

// Eight vertices from in to out (24 floats each way) through m, with its offsets when Offset.
template <bool Offset>
[[gnu::always_inline]] inline void SkinEightVertices(const float* in, float* out, const SkinMatrixLanes& m) {
    SkinLanes f0, f8, f16;  // floats 0-7, 8-15, 16-23
    std::memcpy(&f0, in, sizeof f0);
    std::memcpy(&f8, in + 8, sizeof f8);
    std::memcpy(&f16, in + 16, sizeof f16);
    // In each half, a b c are x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3 of four vertices.
    const SkinLanes a = __builtin_shufflevector(f0, f8, 0, 1, 2, 3, 12, 13, 14, 15);
    const SkinLanes b = __builtin_shufflevector(f0, f16, 4, 5, 6, 7, 8, 9, 10, 11);
    const SkinLanes c = __builtin_shufflevector(f8, f16, 0, 1, 2, 3, 12, 13, 14, 15);
    const SkinLanes xy = __builtin_shufflevector(b, c, 2, 3, 9, 10, 6, 7, 13, 14);  // x2 y2 x3 y3
    const SkinLanes yz = __builtin_shufflevector(a, b, 1, 2, 8, 9, 5, 6, 12, 13);   // y0 z0 y1 z1
    const SkinLanes x = __builtin_shufflevector(a, xy, 0, 3, 8, 10, 4, 7, 12, 14);
    const SkinLanes y = __builtin_shufflevector(yz, xy, 0, 2, 9, 11, 4, 6, 13, 15);
    const SkinLanes z = __builtin_shufflevector(yz, c, 1, 3, 8, 11, 5, 7, 12, 15);
    SkinLanes px = m.e[0] * x + m.e[3] * y + m.e[6] * z;
    SkinLanes py = m.e[1] * x + m.e[4] * y + m.e[7] * z;
    SkinLanes pz = m.e[2] * x + m.e[5] * y + m.e[8] * z;
    if constexpr (Offset) {
        px += m.e[9];
        py += m.e[10];
        pz += m.e[11];
    }
    // Back to x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3 in each half.
    const SkinLanes xyLow = __builtin_shufflevector(px, py, 0, 8, 1, 9, 4, 12, 5, 13);     // x0 y0 x1 y1
    const SkinLanes xyHigh = __builtin_shufflevector(px, py, 2, 10, 3, 11, 6, 14, 7, 15);  // x2 y2 x3 y3
    const SkinLanes zx = __builtin_shufflevector(pz, xyLow, 0, 0, 10, 10, 4, 4, 14, 14);   // z0 . x1 .
    const SkinLanes outA = __builtin_shufflevector(xyLow, zx, 0, 1, 8, 10, 4, 5, 12, 14);
    const SkinLanes yz1 = __builtin_shufflevector(xyLow, pz, 3, 3, 9, 9, 7, 7, 13, 13);    // y1 . z1 .
    const SkinLanes outB = __builtin_shufflevector(yz1, xyHigh, 0, 2, 8, 9, 4, 6, 12, 13);
    const SkinLanes zx3 = __builtin_shufflevector(pz, xyHigh, 2, 2, 10, 10, 6, 6, 14, 14);  // z2 . x3 .
    const SkinLanes yz3 = __builtin_shufflevector(xyHigh, pz, 3, 3, 11, 11, 7, 7, 15, 15);  // y3 . z3 .
    const SkinLanes outC = __builtin_shufflevector(zx3, yz3, 0, 2, 8, 10, 4, 6, 12, 14);
    const SkinLanes o0 = __builtin_shufflevector(outA, outB, 0, 1, 2, 3, 8, 9, 10, 11);
    const SkinLanes o8 = __builtin_shufflevector(outC, outA, 0, 1, 2, 3, 12, 13, 14, 15);
    const SkinLanes o16 = __builtin_shufflevector(outB, outC, 4, 5, 6, 7, 12, 13, 14, 15);
    std::memcpy(out, &o0, sizeof o0);
    std::memcpy(out + 8, &o8, sizeof o8);
    std::memcpy(out + 16, &o16, sizeof o16);
}

void SkinOneVertex(const float* m, const float* in, const float* inN, float* out, float* outN) {
    const float x = in[0], y = in[1], z = in[2];
    out[0] = m[0] * x + m[3] * y + m[6] * z + m[9];
    out[1] = m[1] * x + m[4] * y + m[7] * z + m[10];
    out[2] = m[2] * x + m[5] * y + m[8] * z + m[11];
    const float u = inN[0], v = inN[1], w = inN[2];
    outN[0] = m[12] * u + m[15] * v + m[18] * w;
    outN[1] = m[13] * u + m[16] * v + m[19] * w;
    outN[2] = m[14] * u + m[17] * v + m[20] * w;
}

// count vertices through the packed map m (21 floats: point matrix, offset, normal matrix):
// blocks of eight, then the rest one by one. The output may be the input itself: a block of eight
// is read whole before it is written back, and a lone vertex is read before it is written.
[[gnu::always_inline]] inline void LanePass(const float* rest, const float* restNormals, float* out,
                                            float* outNormals, uint32_t count, const float* m) {
    size_t i = 0;
    if (count >= 8) {
        SkinMatrixLanes point, normal;
        FillSkinLanes(m, 12, &point);
        FillSkinLanes(m + 12, 9, &normal);
        for (; i + 8 <= count; i += 8) {
            SkinEightVertices<true>(rest + 3 * i, out + 3 * i, point);
            SkinEightVertices<false>(restNormals + 3 * i, outNormals + 3 * i, normal);
        }
    }
    for (; i < count; ++i)
        SkinOneVertex(m, rest + 3 * i, restNormals + 3 * i, out + 3 * i, outNormals + 3 * i);
}

[[gnu::always_inline]] inline void SkinLanePass(const float* __restrict rest,
                                                const float* __restrict restNormals, float* __restrict out,
                                                float* __restrict outNormals, uint32_t count,
                                                const float* __restrict m) {
    LanePass(rest, restNormals, out, outNormals, count, m);
}

#if !defined(__clang__)
// The same with plain loops.
[[gnu::always_inline]] inline void SkinPlainPass(const float* __restrict rest,
                                                 const float* __restrict restNormals, float* __restrict out,
                                                 float* __restrict outNormals, uint32_t count,
                                                 const float* __restrict m) {
    const float a0 = m[0], a1 = m[1], a2 = m[2], a3 = m[3], a4 = m[4], a5 = m[5], a6 = m[6], a7 = m[7], a8 = m[8];
    const float c0 = m[9], c1 = m[10], c2 = m[11];
    for (size_t i = 0; i < count; ++i) {
        const float x = rest[3 * i], y = rest[3 * i + 1], z = rest[3 * i + 2];
        out[3 * i] = a0 * x + a3 * y + a6 * z + c0;
        out[3 * i + 1] = a1 * x + a4 * y + a7 * z + c1;
        out[3 * i + 2] = a2 * x + a5 * y + a8 * z + c2;
    }
    const float n0 = m[12], n1 = m[13], n2 = m[14], n3 = m[15], n4 = m[16], n5 = m[17], n6 = m[18], n7 = m[19],
                n8 = m[20];
    for (size_t i = 0; i < count; ++i) {
        const float u = restNormals[3 * i], v = restNormals[3 * i + 1], w = restNormals[3 * i + 2];
        outNormals[3 * i] = n0 * u + n3 * v + n6 * w;
        outNormals[3 * i + 1] = n1 * u + n4 * v + n7 * w;
        outNormals[3 * i + 2] = n2 * u + n5 * v + n8 * w;
    }
}
#endif

// The versions of the vertex pass. Each is its own function, so that any one can be picked (the
// tests run every one the machine can execute). Which form each uses is the quicker one for the
// compiler it was built with (see above). The instruction sets named are those the start-up check
// looks for.
#define QV_SKIN_PASS_ARGS                                                                             \
    const float *__restrict rest, const float *__restrict restNormals, float *__restrict out,          \
        float *__restrict outNormals, uint32_t count, const float *__restrict m
using SkinPassFunction = void (*)(QV_SKIN_PASS_ARGS);

void SkinPassPlain(QV_SKIN_PASS_ARGS) {
#if defined(__clang__)
    SkinLanePass(rest, restNormals, out, outNormals, count, m);
#else
    SkinPlainPass(rest, restNormals, out, outNormals, count, m);
#endif
}

// Placing a posed mesh where it lies: M.v + t for every vertex, M.n for every normal, with the map
// packed as for the vertex pass (point matrix, offset, normal matrix), over the one array: the
// lanes form runs in place (LanePass), without the promise that input and output do not overlap.
using PlacePassFunction = void (*)(float* points, float* normals, uint32_t count, const float* m);

// The vertex pass and the place pass of one version.
struct KernelPasses {
    SkinPassFunction pass;
    PlacePassFunction place;
};

void PlacePassPlain(float* points, float* normals, uint32_t count, const float* m) {
    for (size_t i = 0; i < count; ++i)
        SkinOneVertex(m, points + 3 * i, normals + 3 * i, points + 3 * i, normals + 3 * i);
}

#if defined(__x86_64__)
#define QV_SKIN_AVX2 "avx2,fma,bmi,bmi2"
#define QV_SKIN_AVX512 QV_SKIN_AVX2 ",avx512f,avx512vl,avx512bw,avx512dq,avx512cd"
__attribute__((target(QV_SKIN_AVX2))) void SkinPassAvx2(QV_SKIN_PASS_ARGS) {
    SkinLanePass(rest, restNormals, out, outNormals, count, m);
}
__attribute__((target(QV_SKIN_AVX512))) void SkinPassAvx512(QV_SKIN_PASS_ARGS) {
#if defined(__clang__)
    SkinLanePass(rest, restNormals, out, outNormals, count, m);
#else
    SkinPlainPass(rest, restNormals, out, outNormals, count, m);
#endif
}
__attribute__((target(QV_SKIN_AVX2))) void PlacePassAvx2(float* points, float* normals, uint32_t count,
                                                        const float* m) {
    LanePass(points, normals, points, normals, count, m);
}
__attribute__((target(QV_SKIN_AVX512))) void PlacePassAvx512(float* points, float* normals, uint32_t count,
                                                            const float* m) {
    LanePass(points, normals, points, normals, count, m);
}

bool CpuRuns(SkinKernel kernel) {
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
                      __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    switch (kernel) {
        case SkinKernel::Plain:
            return true;
        case SkinKernel::Avx2:
            return avx2;
        case SkinKernel::Avx512:
            return avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
                   __builtin_cpu_supports("avx512cd");
    }
    return false;
}

KernelPasses PassesOf(SkinKernel kernel) {
    switch (kernel) {
        case SkinKernel::Avx2:
            return {SkinPassAvx2, PlacePassAvx2};
        case SkinKernel::Avx512:
            return {SkinPassAvx512, PlacePassAvx512};
        case SkinKernel::Plain:
            break;
    }
    return {SkinPassPlain, PlacePassPlain};
}
#else
bool CpuRuns(SkinKernel kernel) {
    return kernel == SkinKernel::Plain;
}
KernelPasses PassesOf(SkinKernel) {
    return {SkinPassPlain, PlacePassPlain};
}
#endif
#undef QV_SKIN_PASS_ARGS
#if defined(__clang__)
#pragma STDC FP_CONTRACT DEFAULT
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif

// The version in use: picked on first use, the widest the processor runs, unless one was selected.
struct ActiveSkinPass {
    bool chosen = false;
    SkinKernel kernel = SkinKernel::Plain;
    KernelPasses passes{SkinPassPlain, PlacePassPlain};

    void Use(SkinKernel k) {
        kernel = k;
        passes = PassesOf(k);
    }
};
ActiveSkinPass& CurrentSkinPass() {
    static ActiveSkinPass active;
    if (!active.chosen) {
        active.chosen = true;
        for (const SkinKernel k : {SkinKernel::Avx512, SkinKernel::Avx2, SkinKernel::Plain}) {
            if (!CpuRuns(k)) continue;
            active.Use(k);
            break;
        }
    }
    return active;
}

// Step 4 of the bone loop: every posed vertex becomes M.v + Position, every normal M.n: the
// arithmetic of the kernel's vertex pass with the map (M, Position, M), run in place by the place
// pass of the kernel in use, eight vertices at a time.
void Place(NztMesh* mesh) {
    const uint32_t n = mesh->VertexCount;
    if (n == 0) return;
    const float* m = PlacementMatrix(mesh);
    const Vec3 t = *mesh->Position;
    float map[21];
    std::copy(m, m + 9, map);
    map[9] = t.x;
    map[10] = t.y;
    map[11] = t.z;
    std::copy(m, m + 9, map + 12);
    CurrentSkinPass().passes.place(&mesh->PosedVertices[0].x, &mesh->PosedNormals[0].x, n, map);
}

// The maps of one pose into plan.packed: a map per step, bones from the last to the first, each
// pivot moved by the steps its vertex took before that bone; then a map per group through the trie
// from the placement (place, t) at its root (identity when place is null), a parent before its
// children. Returns the last bone turned (-1: none) and its pivot: the step-by-step kernel leaves
// the mesh's bone fields set for that bone.
int32_t MakePoseMaps(SkinGrouping& plan, NztMesh* mesh, const NztBoneKey* keys, const float* place, const Vec3* t,
                     Vec3* lastPivot) {
    const Vec3* rest = mesh->Vertices;
    int32_t last = -1;
    for (size_t s = 0; s < plan.steps.size();) {
        const uint32_t b = plan.steps[s].bone;
        const NztMeshBone& bone = mesh->Bones[b];
        const NztBoneKey& k = keys[b];
        const bool identity = IsIdentityKey(k);
        Vec3 piv{0.0f, 0.0f, 0.0f};
        if (!identity && bone.Pivot < mesh->VertexCount) {
            piv = rest[bone.Pivot];
            for (uint32_t g = plan.vertexGroup[bone.Pivot]; g != 0; g = plan.parent[g]) {
                const uint32_t step = plan.step[g];
                if (plan.steps[step].bone <= b) break;
                piv = ApplyAffine(plan.stepMaps[step], piv);
            }
        }
        for (; s < plan.steps.size() && plan.steps[s].bone == b; ++s)
            plan.stepMaps[s] = identity ? SkinAffine{} : StepMap(plan.steps[s], k, piv);
        if (!identity) {
            last = static_cast<int32_t>(b);
            *lastPivot = piv;
        }
    }
    SkinAffine& root = plan.groupMaps[0];
    root = SkinAffine{};
    if (place) {
        std::copy(place, place + 9, root.a);
        std::copy(place, place + 9, root.n);
        root.c = *t;
    }
    for (size_t g = 1; g < plan.groupMaps.size(); ++g)
        plan.groupMaps[g] = Compose(plan.groupMaps[plan.parent[g]], plan.stepMaps[plan.step[g]]);
    plan.packed.resize(plan.groupMaps.size() * 21);
    for (size_t g = 0; g < plan.groupMaps.size(); ++g) {
        const SkinAffine& m = plan.groupMaps[g];
        float* packed = &plan.packed[g * 21];
        std::copy(m.a, m.a + 9, packed);
        packed[9] = m.c.x, packed[10] = m.c.y, packed[11] = m.c.z;
        std::copy(m.n, m.n + 9, packed + 12);
    }
    return last;
}

// The vertex pass of a pose: every run through its group's map of maps.
void RunVertexPass(const SkinGrouping& plan, NztMesh* mesh, const float* maps) {
    const SkinPassFunction pass = CurrentSkinPass().passes.pass;
    const float* restF = &mesh->Vertices->x;
    const float* restN = &mesh->Normals->x;
    float* out = &mesh->PosedVertices->x;
    float* outN = &mesh->PosedNormals->x;
    for (const SkinRun& run : plan.runs) {
        const size_t o = size_t{run.first} * 3;
        pass(restF + o, restN + o, out + o, outN + o, run.count, maps + size_t{run.group} * 21);
    }
}

// The model-space pose on keys, with the bone fields as the step-by-step kernel leaves them: that
// kept from an earlier posing on the same keys and rest arrays, else made now and kept.
void PoseOnKeptKeys(SkinGrouping& plan, NztMesh* mesh, const NztBoneKey* keys, uint32_t n) {
    static_assert(std::is_trivially_copyable_v<NztBoneKey> && sizeof(NztBoneKey) == 13 * sizeof(float),
                  "poses are told apart by the bytes of their keys");
    const uint32_t count = mesh->VertexCount;
    auto found = plan.poseAt.find(keys);
    SkinPoseMemo* memo = found == plan.poseAt.end() ? nullptr : &plan.poses[found->second];
    if (memo && memo->rest == mesh->Vertices && memo->restNormals == mesh->Normals && memo->keys.size() == n &&
        std::memcmp(memo->keys.data(), keys, n * sizeof(NztBoneKey)) == 0) {
        if (memo->lastBone >= 0) SetPoseBoneFields(mesh, keys[memo->lastBone], memo->lastPivot);
        if (count == 0) return;
        if (memo->vertices.size() == count) {
            std::copy(memo->vertices.begin(), memo->vertices.end(), mesh->PosedVertices);
            std::copy(memo->normals.begin(), memo->normals.end(), mesh->PosedNormals);
            return;
        }
        RunVertexPass(plan, mesh, memo->packed.data());
    } else {
        Vec3 lastPivot{0.0f, 0.0f, 0.0f};
        const int32_t last = MakePoseMaps(plan, mesh, keys, nullptr, nullptr, &lastPivot);
        if (count != 0) RunVertexPass(plan, mesh, plan.packed.data());
        if (memo) {
            // Made anew where the old pose was kept: the old one's bytes go back.
            plan.poseBytes -= memo->Bytes();
            KeptPoseBytes -= memo->Bytes();
            *memo = SkinPoseMemo{};
        } else {
            if (plan.poses.size() == kSkinPoseMemos) plan.ForgetPoses();
            if (KeptPoseBytes + n * sizeof(NztBoneKey) + plan.packed.size() * sizeof(float) > kSkinPoseBytes) return;
            plan.poseAt.emplace(keys, static_cast<uint32_t>(plan.poses.size()));
            memo = &plan.poses.emplace_back();
        }
        memo->keys.assign(keys, keys + n);
        memo->rest = mesh->Vertices;
        memo->restNormals = mesh->Normals;
        memo->packed = plan.packed;
        memo->lastBone = last;
        memo->lastPivot = lastPivot;
        plan.poseBytes += memo->Bytes();
        KeptPoseBytes += memo->Bytes();
    }
    // Kept once posed, while the budget allows.
    const size_t bytes = 2 * size_t{count} * sizeof(Vec3);
    if (count == 0 || !memo->vertices.empty() || KeptPoseBytes + bytes > kSkinPoseBytes) return;
    memo->vertices.assign(mesh->PosedVertices, mesh->PosedVertices + count);
    memo->normals.assign(mesh->PosedNormals, mesh->PosedNormals + count);
    plan.poseBytes += bytes;
    KeptPoseBytes += bytes;
}

// Rest pose, the first n bones with keys and the placement (place, t) in one pass over the
// vertices; with place null the result stays in model space.
void SkinSinglePass(NztMesh* mesh, const NztBoneKey* keys, uint32_t n, bool extraAware, const float* place,
                    const Vec3* t) {
    SkinGrouping& plan = *BuildSkinPlan(mesh, keys ? n : 0, extraAware);
    if (place == nullptr && keys != nullptr) return PoseOnKeptKeys(plan, mesh, keys, n);
    Vec3 lastPivot;
    const int32_t last = MakePoseMaps(plan, mesh, keys, place, t, &lastPivot);
    if (last >= 0) SetPoseBoneFields(mesh, keys[last], lastPivot);
    if (mesh->VertexCount != 0) RunVertexPass(plan, mesh, plan.packed.data());
}

enum class Secondary { None, Plain, WithChain };

// The model-space pose: the rest vertices, the bones of keys when skinned, and for HasBones 1 the
// secondary motion. False when there is nothing to place: an entity mesh without an animation
// whose HasBones is neither 0 nor 1.
bool PoseModelSpace(NztMesh* mesh, bool skinned, KeySet keys, Secondary secondary) {
    if (!skinned && mesh->HasBones > 1 && secondary != Secondary::None) return false;
    const bool extra = mesh->HasBones == 1 && secondary != Secondary::None;
    if (skinned && keys.keys)
        SkinSinglePass(mesh, keys.keys, BonesToApply(mesh, keys.count), extra, nullptr, nullptr);
    else
        CopyRest(mesh);
    if (extra) {
        if (skinned && secondary == Secondary::WithChain)
            ApplySecondaryMotion(mesh, keys.keys, keys.count);
        else
            ApplySecondaryMotion(mesh, nullptr, 0);
    }
    return true;
}

// PoseModelSpace and Place; without secondary motion the placement is folded into the one pass.
bool PoseAndPlace(NztMesh* mesh, bool skinned, KeySet keys, Secondary secondary) {
    const bool extra = mesh->HasBones == 1 && secondary != Secondary::None;
    if (skinned && keys.keys && !extra) {
        SkinSinglePass(mesh, keys.keys, BonesToApply(mesh, keys.count), false, PlacementMatrix(mesh),
                       mesh->Position);
        return true;
    }
    if (!PoseModelSpace(mesh, skinned, keys, secondary)) return false;
    Place(mesh);
    return true;
}

// Steps 3 to 5 of the root motion: the object's own move plus D, swept along the world for an
// owner with a collision body, then the position and the motion.
void MoveAndSweep(NztMesh* mesh, const Vec3& d) {
    Vec3& position = *mesh->Position;
    Vec3& previous = *mesh->PreviousPosition;
    Vec3 m = (position - previous) + d;
    NztMeshGround& g = mesh->Ground;
    if (g.Body) {
        CollisionBody& body = *g.Body;
        const float h = body.heightOffset;
        if (g.TiltMatrix && g.TiltSwitches && (g.TiltSwitches[0] || g.TiltSwitches[1]))
            body.centre = previous + TurnPoint(g.TiltMatrix, Vec3{0.0f, h, 0.0f});
        else
            body.centre = Vec3{previous.x, previous.y + h, previous.z};
        SweepHitRecord scratch;
        const uint32_t kind = PoseWorld.sweepCollisionBody(&body, &m, g.Hit ? g.Hit : &scratch,
                                                           static_cast<NztBaseObject*>(mesh->Owner));
        if (g.HitKind) *g.HitKind = kind;
        if (kind > 1 && g.GroundKind) *g.GroundKind = kind == 4 ? 1 : kind == 6 ? 2 : kind == 7 ? 3 : 0;
    }
    position = previous + m;
    *mesh->Motion = position - previous;
    previous = position;
}

void Bookkeeping(NztMesh* mesh) {
    *mesh->PreviousMotion = *mesh->Motion;
    *mesh->Motion = *mesh->Position - *mesh->PreviousPosition;
    *mesh->PreviousPosition = *mesh->Position;
}

// Root motion of SkinEntityMesh: every frame from PreviousFrame up to Frame turns the matrix and
// adds its position delta.
void EntityRootMotion(NztMesh* mesh) {
    Vec3 d{0.0f, 0.0f, 0.0f};
    NztAnim* anim = mesh->CurrentAnim;
    if (mesh->SkinActive && AnimFrameAt(anim, 0)) {
        const uint32_t last =
            static_cast<uint32_t>(std::min<size_t>(anim->FrameCount, anim->Frames.size())) - 1;
        const uint32_t frame = std::min(mesh->Frame, last);
        for (uint32_t f = mesh->PreviousFrame; f < frame; ++f) {
            ApplyFrameRotation(anim->Frames[f].RotationDelta, mesh);
            d = d + anim->Frames[f].PositionDelta;
        }
        ApplyFrameRotation(anim->Frames[frame].RotationDelta, mesh);
        d = d + anim->Frames[frame].PositionDelta;
        *mesh->FrameMotion = d;
        if (!IsZero(d)) d = TurnPoint(mesh->Matrix, d);
    }
    MoveAndSweep(mesh, d);
}

// The rider is carried by the object it stands on: that object's motion, and its turn about its
// own position.
void Ride(NztMesh* mesh, Vec3* d) {
    const NztMeshGround& g = mesh->Ground;
    if (!g.Probe || !g.Probe->object || (g.Airborne && *g.Airborne)) return;
    const NztBaseObject* ride = dynamic_cast<const NztBaseObject*>(g.Probe->object);
    if (!ride) return;
    *d = *d + ride->motion[1];
    const float* step = ride->output;
    if (!ride->turning || (step[0] == 0.0f && step[1] == 0.0f && step[2] == 0.0f)) return;
    float turn[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    MatrixFromEuler(turn, step[0] * RadiansPerAngleUnit, step[1] * RadiansPerAngleUnit,
                    step[2] * RadiansPerAngleUnit);
    const Vec3 centre{ride->Position[0], ride->Position[1], ride->Position[2]};
    const Vec3 offset = *mesh->Position - centre;
    *d = *d + (TurnPoint(turn, offset) - offset);
    MultiplyMatrix3(turn, mesh->Matrix, mesh->Matrix);
}

// Root motion of SkinLocalEntityMesh from the frame this posing uses.
void LocalRootMotion(NztMesh* mesh, bool layered) {
    Vec3 d{0.0f, 0.0f, 0.0f};
    NztAnimFrame* frame = mesh->SkinActive ? (layered ? AnimFrameAt(mesh->LayerPose, 0)
                                                      : AnimFrameAt(mesh->CurrentAnim, mesh->Frame))
                                           : nullptr;
    if (frame) {
        ApplyFrameRotation(frame->RotationDelta, mesh);
        const Vec3 delta = frame->PositionDelta;
        if (IsZero(delta)) {
            *mesh->FrameMotion = delta;
        } else {
            *mesh->FrameMotion = delta * mesh->RootMotionScale;
            d = TurnPoint(mesh->Matrix, *mesh->FrameMotion);
            if (const uint32_t* locks = mesh->MotionAxisLocks) {
                if (locks[0]) d.x = 0.0f;
                if (locks[1]) d.y = 0.0f;
                if (locks[2]) d.z = 0.0f;
            }
            if (mesh->Ground.TiltMatrix) d = TurnPoint(mesh->Ground.TiltMatrix, d);
            d = d * Dt50();
        }
        Ride(mesh, &d);
    }
    MoveAndSweep(mesh, d);
}

void ApplyCurrentFrameRotation(NztMesh* mesh) {
    if (!mesh->SkinActive) return;
    if (NztAnimFrame* frame = AnimFrameAt(mesh->CurrentAnim, mesh->Frame))
        ApplyFrameRotation(frame->RotationDelta, mesh);
}

// In view: the inverse matrix, the layer mix (or frame Frame) and the pose. Out of view the
// running layers only advance.
void PoseWithLayers(NztMesh* mesh, Secondary secondary) {
    if (!mesh->Visible) {
        AdvanceAnimLayers(mesh->AnimLayers, Dt50());
        return;
    }
    ComputeInverse(mesh);
    if (!HasBuffers(mesh)) return;
    const bool skinned = mesh->SkinActive != 0;
    KeySet keys;
    if (skinned) keys = PoseKeys(mesh, MixAnimLayers(mesh, Dt50()) != 0);
    PoseAndPlace(mesh, skinned, keys, secondary);
}

}  // namespace

NztAnimFrame* AnimFrameAt(NztAnim* anim, uint32_t f) {
    if (!anim || anim->FrameCount == 0 || anim->Frames.empty()) return nullptr;
    const uint32_t last =
        std::min<uint32_t>(anim->FrameCount, static_cast<uint32_t>(anim->Frames.size())) - 1;
    return &anim->Frames[std::min(f, last)];
}

size_t KeptSkinPoseBytes() {
    return KeptPoseBytes;
}

bool SkinKernelAvailable(SkinKernel kernel) {
    return CpuRuns(kernel);
}

SkinKernel ActiveSkinKernel() {
    return CurrentSkinPass().kernel;
}

bool SelectSkinKernel(SkinKernel kernel) {
    if (!CpuRuns(kernel)) return false;
    CurrentSkinPass().Use(kernel);
    return true;
}

const float* CameraOrientation() {
    return RenderState.cameraId != 0 ? MainCamera.inverse : nullptr;
}

void QuatToRotation(const Quat& q, float out[9]) {
    const float wxyz[4] = {q.w, q.x, q.y, q.z};
    QuatToMatrix(out, wxyz);
}

void MultiplyMatrix3(const float a[9], const float b[9], float out[9]) {
    float r[9];
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k)
            r[3 * j + k] = a[k] * b[3 * j] + a[3 + k] * b[3 * j + 1] + a[6 + k] * b[3 * j + 2];
    std::copy(r, r + 9, out);
}

void TransformMeshPoint(NztMesh* mesh, Vec3* p) {
    const float* m = mesh->BoneMatrix;
    const Vec3 piv = mesh->BonePivot, tr = mesh->BoneTranslation, sc = mesh->BoneScale;
    const float dx = (p->x - piv.x) * (1.0f + sc.x), dy = (p->y - piv.y) * (1.0f + sc.y),
                dz = (p->z - piv.z) * (1.0f + sc.z);
    *p = {m[0] * dx + m[3] * dy + m[6] * dz + tr.x + piv.x, m[1] * dx + m[4] * dy + m[7] * dz + tr.y + piv.y,
          m[2] * dx + m[5] * dy + m[8] * dz + tr.z + piv.z};
}

void TransformMeshPointNormal(NztMesh* mesh, Vec3* normal, Vec3* p) {
    TransformMeshPoint(mesh, p);
    *normal = TurnPoint(mesh->BoneMatrix, *normal);
}

void BlendMeshPointNormal(NztMesh* mesh, Vec3* p, Vec3* normal, float w) {
    const Vec3 piv = mesh->BonePivot, tr = mesh->BoneTranslation, sc = mesh->BoneScale;
    const Vec3 s{1.0f + sc.x * w, 1.0f + sc.y * w, 1.0f + sc.z * w};
    float r[9];
    QuatToRotation(QuatSlerp(QuatIdentity, *mesh->BoneRotation, w), r);
    const float dx = (p->x - piv.x) * s.x, dy = (p->y - piv.y) * s.y, dz = (p->z - piv.z) * s.z;
    *p = {r[0] * dx + r[3] * dy + r[6] * dz + piv.x + tr.x * w,
          r[1] * dx + r[4] * dy + r[7] * dz + piv.y + tr.y * w,
          r[2] * dx + r[5] * dy + r[8] * dz + piv.z + tr.z * w};
    if (normal) *normal = TurnPoint(r, *normal);
}

void BlendMeshPoint(NztMesh* mesh, Vec3* p, float w) {
    BlendMeshPointNormal(mesh, p, nullptr, w);
}

void RotateMeshPointBlend(NztMesh* mesh, Vec3* p, float w) {
    float r[9];
    QuatToRotation(QuatSlerp(QuatIdentity, *mesh->BoneRotation, w), r);
    *p = TurnPoint(r, *p - mesh->BonePivot) + mesh->BonePivot;
}

void QuatToMeshMatrix(NztMesh* mesh) {
    if (!mesh->BoneRotation) mesh->BoneRotation = &mesh->OwnBoneRotation;
    QuatToRotation(*mesh->BoneRotation, mesh->BoneMatrix);
}

void ApplyFrameRotation(const Quat& q, NztMesh* mesh) {
    float r[9];
    QuatToRotation(q, r);
    MultiplyMatrix3(r, mesh->Matrix, mesh->Matrix);
}

void PoseMeshBones(NztMesh* mesh, const NztBoneKey* keys, uint32_t keyCount) {
    if (!mesh || !HasBuffers(mesh)) return;
    if (!keys) {
        CopyRest(mesh);
        Place(mesh);
        return;
    }
    SkinSinglePass(mesh, keys, BonesToApply(mesh, keyCount), false, PlacementMatrix(mesh), mesh->Position);
}

void PoseMeshBonesPerBone(NztMesh* mesh, const NztBoneKey* keys, uint32_t keyCount) {
    if (!mesh || !HasBuffers(mesh)) return;
    CopyRest(mesh);
    if (keys) ApplyBones(mesh, keys, BonesToApply(mesh, keyCount), false);
    Place(mesh);
}

void PoseMeshBonesReference(NztMesh* mesh, const NztBoneKey* keys, uint32_t keyCount) {
    if (!mesh || !HasBuffers(mesh)) return;
    const uint32_t n = mesh->VertexCount;
    for (uint32_t i = 0; i < n; ++i) {
        mesh->PosedVertices[i] = mesh->Vertices[i];
        mesh->PosedNormals[i] = mesh->Normals[i];
    }
    const uint32_t bones = keys ? BonesToApply(mesh, keyCount) : 0;
    for (uint32_t b = bones; b-- > 0;) {
        const NztMeshBone& bone = mesh->Bones[b];
        if (IsIdentityKey(keys[b])) continue;
        SetBoneFields(mesh, bone, keys[b]);
        for (uint32_t j = 0; j < bone.VertexCount && j < bone.Vertices.size(); ++j) {
            const uint32_t i = bone.Vertices[j];
            const float w = bone.Weights[j];
            if (w == 0.0f) continue;
            if (w == 1.0f)
                TransformMeshPointNormal(mesh, &mesh->PosedNormals[i], &mesh->PosedVertices[i]);
            else
                BlendMeshPointNormal(mesh, &mesh->PosedVertices[i], &mesh->PosedNormals[i], w);
        }
    }
    const float* m = PlacementMatrix(mesh);
    for (uint32_t i = 0; i < n; ++i) {
        mesh->PosedVertices[i] = TurnPoint(m, mesh->PosedVertices[i]) + *mesh->Position;
        mesh->PosedNormals[i] = TurnPoint(m, mesh->PosedNormals[i]);
    }
}

uint32_t BindAnimToMesh(NztAnim* anim, NztMesh* mesh) {
    if (!mesh) return 0;
    mesh->CurrentAnim = nullptr;
    if (!mesh->Skinned) return 0;
    mesh->CurrentAnim = anim;
    if (!anim) {
        mesh->SkinActive = 0;
        return 0;
    }
    mesh->SkinActive = 1;
    mesh->AnimFrameCount = anim->FrameCount;
    mesh->BoneCount = std::min(mesh->MaxBoneCount, anim->BoneCount);
    return mesh->BoneCount;
}

void PoseMeshRest(NztMesh* mesh) {
    if (!mesh) return;
    const Vec3 zero{0.0f, 0.0f, 0.0f};
    *mesh->Position = *mesh->PreviousPosition = *mesh->Motion = *mesh->PreviousMotion = zero;
    ComputeInverse(mesh);
    if (!HasBuffers(mesh)) return;
    KeySet keys = mesh->SkinActive ? PoseKeys(mesh, false) : KeySet{};
    PoseMeshBones(mesh, keys.keys, keys.count);
}

void TransformMeshStatic(NztMesh* mesh) {
    if (!mesh) return;
    ComputeInverse(mesh);
    if (!HasBuffers(mesh)) return;
    CopyRest(mesh);
    Place(mesh);
}

void TransformMeshRigid(NztMesh* mesh) {
    if (!mesh) return;
    if (mesh->RigidState == 1 && mesh->CurrentLod == mesh->PreviousLod && !mesh->UseCameraMatrix) return;
    if (mesh->Visible) {
        TransformMeshStatic(mesh);
        if (mesh->RigidState == 2 || mesh->RigidState == 3) mesh->RigidState = 1;
    } else if (mesh->RigidState == 1) {
        mesh->RigidState = 3;
    }
}

int NztMesh::UpdateRigid() {
    Bookkeeping(this);
    if (RigidState == 1 && CurrentLod == PreviousLod && VertexWaveSpread == 0.0f && !GroundFollow &&
        !UseCameraMatrix)
        return 0;
    if (!Visible) {
        if (RigidState == 1) RigidState = 3;
        return 0;
    }
    TransformMeshStatic(this);
    if (VertexWaveSpread != 0.0f && HasBuffers(this)) {
        // The phases of the current LOD, whatever LOD the draw view shows.
        std::vector<float>& phases = Lods[CurrentLod].VertexWavePhases;
        const float normalFactor = SunLit && SunLighting ? 0.05f : 0.5f;
        const uint32_t n = std::min<uint32_t>(VertexCount, static_cast<uint32_t>(phases.size()));
        for (uint32_t i = 0; i < n; ++i) {
            phases[i] += VertexWaveSpeed;
            const float s = std::sin(phases[i] * RadiansPerAngleUnit);
            PosedVertices[i].y += VertexWaveHeight * s;
            PosedNormals[i].y -= s * normalFactor;
        }
    }
    if (GroundFollow) FollowGround(this);
    if (RigidState == 2 || RigidState == 3) RigidState = 1;
    return 1;
}

void SkinDynObjectMesh(NztMesh* mesh) {
    if (!mesh || !mesh->Visible) return;
    ApplyCurrentFrameRotation(mesh);
    ComputeInverse(mesh);
    if (!HasBuffers(mesh)) return;
    const bool skinned = mesh->SkinActive != 0;
    PoseAndPlace(mesh, skinned, skinned ? PoseKeys(mesh, false) : KeySet{}, Secondary::None);
}

void SkinEntityMesh(NztMesh* mesh) {
    if (!mesh) return;
    *mesh->PreviousMotion = *mesh->Motion;
    EntityRootMotion(mesh);
    PoseWithLayers(mesh, Secondary::Plain);
}

int SkinScnObjectMesh(NztMesh* mesh) {
    if (!mesh) return 0;
    Bookkeeping(mesh);
    if (mesh->AnimFrameCount < 2 && mesh->RigidState == 1 && mesh->CurrentLod == mesh->PreviousLod &&
        !mesh->UseCameraMatrix)
        return 0;
    if (!mesh->Visible && mesh->RigidState == 1) mesh->RigidState = 3;
    // Root motion of the current frame, scaled; no sweep.
    if (NztAnimFrame* frame = mesh->SkinActive ? AnimFrameAt(mesh->CurrentAnim, mesh->Frame) : nullptr) {
        ApplyFrameRotation(frame->RotationDelta, mesh);
        const Vec3 delta = frame->PositionDelta;
        if (IsZero(delta)) {
            *mesh->FrameMotion = delta;
        } else {
            *mesh->FrameMotion = delta * mesh->RootMotionScale;
            const Vec3 move = TurnPoint(mesh->Matrix, delta * mesh->RootMotionScale * Dt50());
            *mesh->Position = *mesh->Position + move;
            *mesh->Motion = *mesh->Motion + move;
            // As for every root-motion variant, the previous position is the one this posing ends
            // at, so that the next Motion holds only the next frame's moves.
            *mesh->PreviousPosition = *mesh->Position;
        }
    }
    if (!mesh->Visible) return 0;
    ComputeInverse(mesh);
    if (!HasBuffers(mesh)) return 0;
    const bool skinned = mesh->SkinActive != 0;
    return PoseAndPlace(mesh, skinned, skinned ? PoseKeys(mesh, false) : KeySet{}, Secondary::None) ? 1 : 0;
}

void SkinLocalEntityMesh(NztMesh* mesh) {
    if (!mesh) return;
    *mesh->PreviousMotion = *mesh->Motion;
    const bool skinned = mesh->SkinActive != 0;
    // The layer pose is refreshed (and the running layers advanced) whether or not in view.
    const bool layered = skinned && MixAnimLayers(mesh, Dt50()) != 0;
    LocalRootMotion(mesh, layered);
    bool posed = false;
    if (mesh->Visible) {
        ComputeInverse(mesh);
        // The feet are read from the model-space pose, so the heights come between the bones and
        // the placement.
        if (HasBuffers(mesh))
            posed = PoseModelSpace(mesh, skinned, skinned ? PoseKeys(mesh, layered) : KeySet{},
                                   Secondary::WithChain);
    }
    UpdateEntityGround(mesh);
    if (posed) Place(mesh);
}

void SkinRemoteEntityMesh(NztMesh* mesh) {
    if (!mesh) return;
    if (mesh->Visible) ApplyCurrentFrameRotation(mesh);
    PoseWithLayers(mesh, Secondary::WithChain);
}

void SkinCollisionVertices(NztMesh* mesh) {
    if (!mesh) return;
    const uint32_t cv = static_cast<uint32_t>(std::min<size_t>(
        {mesh->CollisionVertexCount, mesh->CollisionVertices.size(), mesh->PosedCollisionVertices.size()}));
    Vec3* posed = mesh->PosedCollisionVertices.data();
    const Vec3* rest = mesh->CollisionVertices.data();
    const Vec3 position = *mesh->Position;
    const float* m = mesh->Matrix;
    KeySet keys = mesh->SkinActive ? FrameKeys(mesh->CurrentAnim, mesh->Frame) : KeySet{};
    if (mesh->CollisionSkinned && keys.keys) {
        std::copy(rest, rest + cv, posed);
        // Only as many bones as the side file has: its bone count need not be the mesh's.
        const uint32_t bones = std::min<uint32_t>(
            {mesh->BoneCount, keys.count, static_cast<uint32_t>(mesh->CollisionBones.size())});
        for (uint32_t b = bones; b-- > 0;) {
            const NztMeshBone& bone = mesh->CollisionBones[b];
            if (bone.Pivot >= cv) continue;
            const NztBoneKey& k = keys.keys[b];
            mesh->BonePivot = posed[bone.Pivot];
            mesh->BoneTranslation = k.Translation;
            mesh->BoneScale = k.Scale;
            mesh->OwnBoneRotation = k.Rotation;
            mesh->BoneRotation = &mesh->OwnBoneRotation;
            QuatToMeshMatrix(mesh);
            for (uint32_t j = 0; j < bone.VertexCount && j < bone.Vertices.size(); ++j) {
                const uint32_t i = bone.Vertices[j];
                const float w = bone.Weights[j];
                if (w == 0.0f || i >= cv) continue;
                if (w == 1.0f)
                    TransformMeshPoint(mesh, &posed[i]);
                else
                    BlendMeshPoint(mesh, &posed[i], w);
            }
        }
        for (uint32_t i = 0; i < cv; ++i) posed[i] = TurnPoint(m, posed[i]) + position;
        return;
    }
    for (uint32_t i = 0; i < cv; ++i) posed[i] = TurnPoint(m, rest[i]) + position;
    const std::vector<float>& phases = mesh->Lods[mesh->CurrentLod].VertexWavePhases;
    if (mesh->VertexWaveSpread != 0.0f && cv == mesh->VertexCount && phases.size() >= cv) {
        for (uint32_t i = 0; i < cv; ++i)
            posed[i].y += std::sin(phases[i] * RadiansPerAngleUnit) * mesh->VertexWaveHeight;
    }
}

void ComputeCollisionBounds(NztMesh* mesh) {
    if (!mesh || !mesh->CollisionBounds) return;
    float* box = mesh->CollisionBounds;
    const uint32_t cv = static_cast<uint32_t>(
        std::min<size_t>(mesh->CollisionVertexCount, mesh->PosedCollisionVertices.size()));
    if (cv == 0) {
        std::fill(box, box + 6, 0.0f);
        return;
    }
    Vec3 lo = mesh->PosedCollisionVertices[0], hi = lo;
    for (uint32_t i = 1; i < cv; ++i) {
        const Vec3& p = mesh->PosedCollisionVertices[i];
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    box[0] = lo.x, box[1] = lo.y, box[2] = lo.z, box[3] = hi.x, box[4] = hi.y, box[5] = hi.z;
}

void BuildMeshWavePhases(uint32_t lod, NztMesh* mesh, float spread) {
    if (!mesh || lod >= MeshLodCount) return;
    MeshLod& l = mesh->Lods[lod];
    if (spread == 0.0f) {
        std::vector<float>().swap(l.VertexWavePhases);
        return;
    }
    const uint32_t v = l.VertexCount;
    l.VertexWavePhases.resize(v);
    for (uint32_t k = 0; k < v; ++k)
        l.VertexWavePhases[k] = static_cast<float>(k + 1) * spread * 4096.0f / static_cast<float>(v);
}

void SetMeshWave(float spread, NztMesh* mesh) {
    if (!mesh || spread == mesh->VertexWaveSpread) return;
    mesh->VertexWaveSpread = spread;
    for (uint32_t lod = std::min<uint32_t>(mesh->HighestLod, MeshLodCount - 1) + 1; lod-- > 0;)
        BuildMeshWavePhases(lod, mesh, spread);
    std::vector<float>& current = mesh->Lods[mesh->CurrentLod].VertexWavePhases;
    mesh->VertexWavePhases = current.empty() ? nullptr : current.data();
}

void SetMeshRestPose(NztMesh* mesh, NztAnim* anim) {
    if (!mesh) return;
    const uint32_t n = mesh->VertexCount;
    const Vec3 position = *mesh->Position;
    const uint32_t visible = mesh->Visible;
    Vec3* boundVertices = mesh->PosedVertices;
    Vec3* boundNormals = mesh->PosedNormals;
    // Without an object bound the pose goes into scratch buffers that start at the rest pose.
    std::vector<Vec3> vertices, normals;
    if (!boundVertices || !boundNormals) {
        vertices.assign(mesh->Vertices, mesh->Vertices + n);
        normals.assign(mesh->Normals, mesh->Normals + n);
        mesh->PosedVertices = vertices.data();
        mesh->PosedNormals = normals.data();
    }
    *mesh->Position = Vec3{0.0f, 0.0f, 0.0f};
    mesh->Visible = 1;
    mesh->Frame = 0;
    BindAnimToMesh(anim, mesh);
    PoseMeshRest(mesh);
    ComputeMeshBoundsFrom(mesh, mesh->PosedVertices, n);
    *mesh->Position = position;
    mesh->Visible = visible;
    mesh->PosedVertices = boundVertices;
    mesh->PosedNormals = boundNormals;
}
