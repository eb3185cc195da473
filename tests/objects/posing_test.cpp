#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "camera/camera.h"
#include "collision/collquery.h"
#include "effects/shading.h"
#include "game/frame.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/posing.h"
#include "render/renderstate.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QV_TEST_ASAN 1
#endif
#if defined(QV_TEST_ASAN)
#include <sanitizer/allocator_interface.h>
#endif

namespace {

constexpr float Tol = 1e-5f;

// The bytes the heap holds in use, as the allocator counts them.
size_t HeapBytesInUse() {
#if defined(QV_TEST_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}
constexpr float HalfPi = 1.5707963f;

Quat Turn(Vec3 axis, float radians) {
    const float s = std::sin(radians / 2);
    return {std::cos(radians / 2), axis.x * s, axis.y * s, axis.z * s};
}

void ExpectVec(const Vec3& got, const Vec3& want, float tol = Tol) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

bool SameBits(const Vec3& a, const Vec3& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A mesh of LOD 0 bound to the posing buffers and placement of one owner.
struct Rig {
    NztMesh mesh;
    std::vector<Vec3> posed, normals;
    Vec3 position{0, 0, 0}, previous{0, 0, 0}, frameMotion{0, 0, 0}, motion{0, 0, 0}, previousMotion{0, 0, 0};
    float matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float inverse[9] = {};

    explicit Rig(const std::vector<Vec3>& vertices, uint32_t bones = 0, uint32_t skinned = 1,
                 uint32_t hasBones = 0) {
        const uint32_t v = static_cast<uint32_t>(vertices.size());
        mesh.AllocLod(v, 0, 0, skinned, bones, 0, 0, hasBones, 0);
        // Filled in place: the mesh's view points into these arrays.
        MeshLod& lod = mesh.Lods[0];
        std::copy(vertices.begin(), vertices.end(), lod.Vertices.begin());
        std::fill(lod.Normals.begin(), lod.Normals.end(), Vec3{1, 0, 0});
        posed.assign(v, Vec3{-9, -9, -9});
        normals.assign(v, Vec3{-9, -9, -9});
        mesh.PosedVertices = posed.data();
        mesh.PosedNormals = normals.data();
        mesh.Position = &position;
        mesh.PreviousPosition = &previous;
        mesh.FrameMotion = &frameMotion;
        mesh.Motion = &motion;
        mesh.PreviousMotion = &previousMotion;
        mesh.Matrix = matrix;
        mesh.InverseMatrix = inverse;
        mesh.Visible = 1;
    }
    // Bone b turns about vertex pivot and moves the listed (vertex, weight) pairs.
    void SetBone(uint32_t b, uint32_t pivot, const std::vector<std::pair<uint32_t, float>>& list) {
        NztMeshBone& bone = mesh.Lods[0].Bones[b];
        bone.Pivot = pivot;
        bone.VertexCount = static_cast<uint32_t>(list.size());
        bone.Vertices.clear();
        bone.Weights.clear();
        for (const auto& [vertex, weight] : list) {
            bone.Vertices.push_back(vertex);
            bone.Weights.push_back(weight);
        }
        bone.Cache.assign(list.size(), NztBoneCacheEntry{});
    }
};

class Posing : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        FrameTiming.frameFactor = 1.0f;
        RenderState.cameraId = 0;
    }
    void TearDown() override {
        ResetPoseWorld();
        ResetMathTables();
        FrameTiming = FrameTimingState{};
        RenderState.cameraId = 0;
        SunLighting = 0;
    }
};

// One bone turning 90 degrees about z through pivot (1, 0, 0), doubling x, moving (0, 1, 0).
TEST_F(Posing, WeightsSkipTransformOrBlendEachVertex) {
    struct Case {
        float weight;
        Vec3 vertex, normal;
    };
    const float h = std::sqrt(0.5f);
    const Case cases[] = {
        {0.0f, {2, 0, 0}, {1, 0, 0}},
        {1.0f, {1, 3, 0}, {0, 1, 0}},
        // Half-way slerp (45 degrees), scale 1.5, half the translation.
        {0.5f, {1 + 1.5f * h, 1.5f * h + 0.5f, 0}, {h, h, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.weight);
        Rig rig({{1, 0, 0}, {2, 0, 0}}, 1);
        rig.SetBone(0, 0, {{1, c.weight}});
        NztAnim anim;
        anim.AllocFrames(1, 1);
        anim.Frames[0].Keys[0].Rotation = Turn({0, 0, 1}, HalfPi);
        anim.Frames[0].Keys[0].Translation = {0, 1, 0};
        anim.Frames[0].Keys[0].Scale = {1, 0, 0};
        ASSERT_EQ(BindAnimToMesh(&anim, &rig.mesh), 1u);
        SkinDynObjectMesh(&rig.mesh);
        ExpectVec(rig.posed[1], c.vertex);
        ExpectVec(rig.normals[1], c.normal);
        ExpectVec(rig.posed[0], {1, 0, 0});
    }
}

TEST_F(Posing, AnIdentityKeyLeavesItsVerticesExactlyWhereTheyAre) {
    const std::vector<Vec3> rest = {{0.3f, 0.1f, 0.7f}, {1e-7f, 3.3f, -0.1f}, {123.456f, -7.77f, 0.01f}};
    Rig rig(rest, 1);
    rig.SetBone(0, 0, {{1, 1.0f}, {2, 0.37f}});
    NztAnim anim;
    anim.AllocFrames(1, 1);
    BindAnimToMesh(&anim, &rig.mesh);
    SkinDynObjectMesh(&rig.mesh);
    for (size_t i = 0; i < rest.size(); ++i) EXPECT_TRUE(SameBits(rig.posed[i], rest[i])) << i;
}

TEST_F(Posing, BonesApplyFromTheLastWithPivotsFromThePartlyPosedMesh) {
    // Bone 0 pivots on vertex 0 and lists 1 and 2; bone 1 pivots on vertex 1 and lists 2. Each turns
    // a quarter about z, so vertex 2 ends half a turn round vertex 0 and vertex 1 a quarter.
    Rig rig({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, 2);
    rig.SetBone(0, 0, {{1, 1.0f}, {2, 1.0f}});
    rig.SetBone(1, 1, {{2, 1.0f}});
    NztAnim anim;
    anim.AllocFrames(2, 1);
    anim.Frames[0].Keys[0].Rotation = anim.Frames[0].Keys[1].Rotation = Turn({0, 0, 1}, HalfPi);
    BindAnimToMesh(&anim, &rig.mesh);
    rig.position = {10, 0, 0};
    SkinDynObjectMesh(&rig.mesh);
    ExpectVec(rig.posed[1], {10, 1, 0});
    ExpectVec(rig.posed[2], {9, 1, 0});
}

// Every version of the kernel's vertex pass this machine can run, each selected in turn; the
// version in use before is selected again afterwards.
struct KernelVersion {
    SkinKernel kernel;
    const char* name;
};
std::vector<KernelVersion> RunnableKernels() {
    std::vector<KernelVersion> runnable;
    for (const KernelVersion& k :
         {KernelVersion{SkinKernel::Plain, "plain"}, KernelVersion{SkinKernel::Avx2, "AVX2"},
          KernelVersion{SkinKernel::Avx512, "AVX-512"}}) {
        if (SkinKernelAvailable(k.kernel)) runnable.push_back(k);
    }
    return runnable;
}
struct KeepKernel {
    SkinKernel saved = ActiveSkinKernel();
    ~KeepKernel() { SelectSkinKernel(saved); }
};

float Largest(const Vec3& d) {
    return std::max({std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)});
}

// Same bits, or not a number in both (the sign and payload of a NaN made from infinities are not
// the arithmetic's).
bool SameValue(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}
bool SameValue(const Vec3& a, const Vec3& b) {
    return SameValue(a.x, b.x) && SameValue(a.y, b.y) && SameValue(a.z, b.z);
}

TEST_F(Posing, ThePlainKernelRunsEverywhereAndAVersionTheMachineLacksIsRefused) {
    KeepKernel keep;
    EXPECT_TRUE(SkinKernelAvailable(SkinKernel::Plain));
    ASSERT_TRUE(SelectSkinKernel(SkinKernel::Plain));
    EXPECT_EQ(ActiveSkinKernel(), SkinKernel::Plain);
    for (const SkinKernel k : {SkinKernel::Avx2, SkinKernel::Avx512}) {
        EXPECT_EQ(SelectSkinKernel(k), SkinKernelAvailable(k));
        EXPECT_EQ(ActiveSkinKernel(), SkinKernelAvailable(k) ? k : SkinKernel::Plain);
        SelectSkinKernel(SkinKernel::Plain);
    }
}

// The kernels against the plain form over a random skeleton, with weights 0, 1 and partial (runs
// of equal ones included), identity keys, scales and a placement: the per-bone kernel bit for bit,
// the single-pass kernel, in every version the machine runs, within float rounding of the mesh's
// extent. Each plan is posed with two frames in a row, so a pose that read what the one before
// left behind would show. The single pass groups the vertices by bone list once; changing a list
// afterwards must be seen.
TEST_F(Posing, KernelsMatchTheReference) {
    KeepKernel keep;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const uint32_t vertexCount = 600, bones = 24;
    std::vector<Vec3> rest(vertexCount);
    for (Vec3& v : rest) v = {unit(random) * 50, unit(random) * 50, unit(random) * 50};
    Rig rig(rest, bones);
    for (uint32_t b = 0; b < bones; ++b) {
        std::vector<std::pair<uint32_t, float>> list;
        for (uint32_t v = b * 20; v < vertexCount; v += 1 + b % 3) {
            const int pick = static_cast<int>(random() % 4);
            list.push_back({v, pick == 0   ? 0.0f
                               : pick == 1 ? 1.0f
                               : pick == 2 ? 0.25f
                                           : 0.5f + unit(random) * 0.4f});
        }
        rig.SetBone(b, b * 20, list);
    }
    NztAnim anim;
    anim.AllocFrames(bones, 2);
    for (uint32_t f = 0; f < 2; ++f) {
        for (uint32_t b = 0; b < bones; ++b) {
            if (b % 5 == 0) continue;  // identity keys
            NztBoneKey& k = anim.Frames[f].Keys[b];
            const Vec3 axis{unit(random), unit(random), unit(random)};
            const float length = std::sqrt(Dot(axis, axis));
            k.Rotation = Turn(axis * (1.0f / length), unit(random) * 3.0f);
            k.Translation = {unit(random), unit(random), unit(random)};
            if (b % 2) k.Scale = {unit(random) * 0.3f, unit(random) * 0.3f, 0.0f};
        }
    }
    BindAnimToMesh(&anim, &rig.mesh);
    rig.position = {3.5f, -2.0f, 100.25f};
    const Quat turn = Turn({0, 1, 0}, 0.7f);
    QuatToRotation(turn, rig.matrix);

    // Positions reach about two hundred units, where a float step is 1.5e-5: the products of up to
    // 24 bones, associated otherwise, may differ by some tens of steps (about 1e-5 of the extent).
    // Normals are unit vectors.
    constexpr float Tolerance = 1e-3f;
    auto compare = [&](const char* phase) {
        for (uint32_t f = 0; f < 2; ++f) {
            const NztBoneKey* keys = anim.Frames[f].Keys;
            PoseMeshBonesReference(&rig.mesh, keys, bones);
            const std::vector<Vec3> wantVertices = rig.posed, wantNormals = rig.normals;
            std::fill(rig.posed.begin(), rig.posed.end(), Vec3{0, 0, 0});
            PoseMeshBonesPerBone(&rig.mesh, keys, bones);
            for (uint32_t i = 0; i < vertexCount; ++i) {
                ASSERT_TRUE(SameBits(rig.posed[i], wantVertices[i])) << phase << " per bone, vertex " << i;
                ASSERT_TRUE(SameBits(rig.normals[i], wantNormals[i])) << phase << " per bone, normal " << i;
            }
        }
        for (const KernelVersion& version : RunnableKernels()) {
            ASSERT_TRUE(SelectSkinKernel(version.kernel));
            for (uint32_t f = 0; f < 2; ++f) {
                const NztBoneKey* keys = anim.Frames[f].Keys;
                PoseMeshBonesReference(&rig.mesh, keys, bones);
                const std::vector<Vec3> wantVertices = rig.posed, wantNormals = rig.normals;
                std::fill(rig.posed.begin(), rig.posed.end(), Vec3{0, 0, 0});
                std::fill(rig.normals.begin(), rig.normals.end(), Vec3{0, 0, 0});
                PoseMeshBones(&rig.mesh, keys, bones);
                for (uint32_t i = 0; i < vertexCount; ++i) {
                    ASSERT_LE(Largest(rig.posed[i] - wantVertices[i]), Tolerance)
                        << phase << ", " << version.name << ", frame " << f << ", vertex " << i;
                    ASSERT_LE(Largest(rig.normals[i] - wantNormals[i]), 1e-5f)
                        << phase << ", " << version.name << ", frame " << f << ", normal " << i;
                }
            }
        }
    };
    compare("first pose");
    // A vertex listed twice by one bone and a new pivot: the grouping is made again.
    NztMeshBone& bone = rig.mesh.Bones[3];
    bone.Vertices.push_back(bone.Vertices[5]);
    bone.Weights.push_back(0.75f);
    bone.VertexCount = static_cast<uint32_t>(bone.Vertices.size());
    rig.mesh.Bones[7].Pivot = 333;
    compare("lists changed");
}

// The single pass against the plain form on skeletons whose bone lists give long runs of one
// group, as character meshes have (limbs of bones, each listing its own band of vertices and the
// bands further down its limb, the first vertices of a band at a partial weight): the runs go
// through the kernel eight vertices at a time and the rest one by one. Vertex counts around and
// between multiples of eight, one bone and many, and a rest vertex that is not a number, which
// must spoil only itself. Every version of the vertex pass the machine runs is checked, each
// posing two frames in a row, and every version must give the bits of the plain one, also where
// the values come near the largest float (where a fused multiply-add would keep finite what
// separate steps overflow).
TEST_F(Posing, SinglePassMatchesTheReferenceOverLimbsOfLongRuns) {
    KeepKernel keep;
    struct Case {
        uint32_t vertices, bones, bonesPerLimb;
        int nanVertex;  // -1: none
        float extent;   // of the rest vertices
    };
    const Case cases[] = {
        {1, 1, 1, -1, 20},      {7, 1, 1, -1, 20},    {8, 1, 1, -1, 20},        {9, 1, 1, -1, 20},
        {17, 2, 2, -1, 20},     {250, 1, 1, -1, 20},  {1001, 6, 3, -1, 20},     {3333, 64, 8, -1, 20},
        {4099, 60, 10, -1, 20}, {997, 4, 2, 501, 20}, {300, 3, 3, -1, 2.5e38f},
    };
    const std::vector<KernelVersion> versions = RunnableKernels();
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.vertices << " vertices, " << c.bones << " bones, extent " << c.extent);
        const bool nearOverflow = c.extent > 1e30f;
        std::vector<Vec3> rest(c.vertices);
        for (Vec3& v : rest) v = {unit(random) * c.extent, unit(random) * c.extent, unit(random) * c.extent};
        if (c.nanVertex >= 0) rest[c.nanVertex].y = std::nanf("");
        Rig rig(rest, c.bones);
        for (uint32_t v = 0; v < c.vertices; ++v) {
            const Vec3 n{unit(random), unit(random), unit(random)};
            rig.mesh.Lods[0].Normals[v] = n * (1.0f / std::sqrt(Dot(n, n) + 1e-6f));
        }
        const uint32_t band = std::max(1u, c.vertices / c.bones);
        for (uint32_t b = 0; b < c.bones; ++b) {
            const uint32_t limbEnd = (b / c.bonesPerLimb + 1) * c.bonesPerLimb;
            const uint32_t first = std::min(b * band, c.vertices - 1);
            const uint32_t last = limbEnd >= c.bones ? c.vertices : std::min(limbEnd * band, c.vertices);
            std::vector<std::pair<uint32_t, float>> list;
            for (uint32_t v = first; v < last; ++v) list.push_back({v, v < first + band / 10 ? 0.5f : 1.0f});
            rig.SetBone(b, first, list);
        }
        NztAnim anim;
        anim.AllocFrames(c.bones, 2);
        for (uint32_t f = 0; f < 2; ++f) {
            for (uint32_t b = 0; b < c.bones; ++b) {
                NztBoneKey& k = anim.Frames[f].Keys[b];
                const Vec3 axis{unit(random), unit(random), unit(random)};
                k.Rotation = Turn(axis * (1.0f / std::sqrt(Dot(axis, axis))), unit(random) * 0.5f);
                k.Translation = {unit(random) * 0.1f, unit(random) * 0.1f, unit(random) * 0.1f};
            }
        }
        BindAnimToMesh(&anim, &rig.mesh);
        rig.position = {-40.0f, 5.5f, 12.25f};
        QuatToRotation(Turn({0, 1, 0}, -1.1f), rig.matrix);

        std::vector<Vec3> plainVertices[2], plainNormals[2];
        for (const KernelVersion& version : versions) {
            ASSERT_TRUE(SelectSkinKernel(version.kernel));
            for (uint32_t f = 0; f < 2; ++f) {
                SCOPED_TRACE(::testing::Message() << version.name << ", frame " << f);
                const NztBoneKey* keys = anim.Frames[f].Keys;
                PoseMeshBonesReference(&rig.mesh, keys, c.bones);
                const std::vector<Vec3> wantVertices = rig.posed, wantNormals = rig.normals;
                std::fill(rig.posed.begin(), rig.posed.end(), Vec3{0, 0, 0});
                std::fill(rig.normals.begin(), rig.normals.end(), Vec3{0, 0, 0});
                PoseMeshBones(&rig.mesh, keys, c.bones);
                if (version.kernel == SkinKernel::Plain) {
                    plainVertices[f] = rig.posed;
                    plainNormals[f] = rig.normals;
                } else {
                    for (uint32_t i = 0; i < c.vertices; ++i) {
                        ASSERT_TRUE(SameValue(rig.posed[i], plainVertices[f][i])) << "vertex " << i;
                        ASSERT_TRUE(SameValue(rig.normals[i], plainNormals[f][i])) << "normal " << i;
                    }
                }
                if (nearOverflow) continue;  // the reference's own order of steps overflows elsewhere
                for (uint32_t i = 0; i < c.vertices; ++i) {
                    const Vec3 p = rig.posed[i];
                    if (static_cast<int>(i) == c.nanVertex) {
                        EXPECT_TRUE(std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z));
                        continue;
                    }
                    ASSERT_LE(Largest(p - wantVertices[i]), 1e-3f) << "vertex " << i;
                    ASSERT_LE(Largest(rig.normals[i] - wantNormals[i]), 1e-5f) << "normal " << i;
                }
            }
        }
    }
}

TEST_F(Posing, BindingClampsBonesAndNeedsASkinnedMesh) {
    NztAnim anim;
    anim.AllocFrames(5, 3);
    struct Case {
        uint32_t skinned;
        NztAnim* anim;
        uint32_t bones, active;
        bool bound;
    };
    const Case cases[] = {{0, &anim, 0, 0, false}, {1, nullptr, 0, 0, false}, {1, &anim, 3, 1, true}};
    for (const Case& c : cases) {
        Rig rig({{0, 0, 0}}, 3, c.skinned);
        EXPECT_EQ(BindAnimToMesh(c.anim, &rig.mesh), c.bones);
        EXPECT_EQ(rig.mesh.SkinActive, c.active);
        EXPECT_EQ(rig.mesh.CurrentAnim, c.bound ? &anim : nullptr);
        if (c.bound) {
            EXPECT_EQ(rig.mesh.AnimFrameCount, 3u);
        }
    }
}

// Frame f carries position delta (2^f, 0, 0) and a turn of 2^f hundredths of a radian about y,
// so the sum names the frames counted.
TEST_F(Posing, EntityRootMotionCountsEveryFrameSincePreviousFrame) {
    struct Case {
        uint32_t previousFrame, frame;
        float sum;
    };
    const Case cases[] = {{3, 5, 8 + 16 + 32}, {9, 0, 1}, {4, 4, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        Rig rig({{0, 0, 0}}, 1);
        NztAnim anim;
        anim.AllocFrames(1, 10);
        for (uint32_t f = 0; f < 10; ++f) {
            anim.Frames[f].PositionDelta = {static_cast<float>(1 << f), 0, 0};
            anim.Frames[f].RotationDelta = Turn({0, 1, 0}, 0.01f * static_cast<float>(1 << f));
        }
        BindAnimToMesh(&anim, &rig.mesh);
        rig.mesh.PreviousFrame = c.previousFrame;
        rig.mesh.Frame = c.frame;
        rig.motion = {7, 7, 7};
        SkinEntityMesh(&rig.mesh);
        ExpectVec(rig.frameMotion, {c.sum, 0, 0});
        ExpectVec(rig.previousMotion, {7, 7, 7});
        // The matrix turned by the summed angle; the move is the sum turned by it.
        const float angle = 0.01f * c.sum;
        EXPECT_NEAR(rig.matrix[0], std::cos(angle), 1e-4f);
        EXPECT_NEAR(rig.matrix[2], -std::sin(angle), 1e-4f);
        ExpectVec(rig.position, {c.sum * std::cos(angle), 0, -c.sum * std::sin(angle)}, 1e-3f);
        ExpectVec(rig.motion, rig.position, 1e-3f);
        ExpectVec(rig.previous, rig.position);
    }
}

struct SweepLog {
    static inline Vec3 centre{};
    static inline uint32_t result = 0;
    static uint32_t Halve(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, NztBase3D*) {
        centre = body->centre;
        *motion = *motion * 0.5f;
        hit->hitType = result;
        return result;
    }
};

TEST_F(Posing, ASweepThatStopsTheBodyLeavesTheShortenedMotionAndSetsTheGroundKind) {
    struct Case {
        uint32_t hit, groundKind;
    };
    const Case cases[] = {{4, 1}, {6, 2}, {7, 3}, {5, 0}, {1, 9}, {0, 9}};
    PoseWorld.sweepCollisionBody = SweepLog::Halve;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hit);
        Rig rig({{0, 0, 0}}, 1);
        NztAnim anim;
        anim.AllocFrames(1, 1);
        anim.Frames[0].PositionDelta = {0, 0, 4};
        BindAnimToMesh(&anim, &rig.mesh);
        CollisionBody body;
        body.heightOffset = 1.5f;
        SweepHitRecord record;
        uint32_t hitKind = 0, groundKind = 9;
        rig.mesh.Ground.Body = &body;
        rig.mesh.Ground.Hit = &record;
        rig.mesh.Ground.HitKind = &hitKind;
        rig.mesh.Ground.GroundKind = &groundKind;
        rig.previous = {1, 0, 0};
        rig.position = {3, 0, 0};  // the owner's own move this frame
        SweepLog::result = c.hit;
        SkinEntityMesh(&rig.mesh);
        ExpectVec(SweepLog::centre, {1, 1.5f, 0});
        ExpectVec(rig.motion, {1, 0, 2});
        ExpectVec(rig.position, {2, 0, 2});
        EXPECT_EQ(hitKind, c.hit);
        EXPECT_EQ(groundKind, c.groundKind);
    }
}

TEST_F(Posing, TiltedBodyIsCentredAlongTheTiltAndOutOfViewEntitiesStillMove) {
    PoseWorld.sweepCollisionBody = SweepLog::Halve;
    SweepLog::result = 0;
    Rig rig({{0, 0, 0}}, 1);
    NztAnim anim;
    anim.AllocFrames(1, 1);
    BindAnimToMesh(&anim, &rig.mesh);
    CollisionBody body;
    body.heightOffset = 2.0f;
    const uint32_t switches[2] = {0, 1};
    float tilt[9];
    QuatToRotation(Turn({0, 0, 1}, HalfPi), tilt);  // up turned onto -x
    rig.mesh.Ground.Body = &body;
    rig.mesh.Ground.TiltSwitches = switches;
    rig.mesh.Ground.TiltMatrix = tilt;
    rig.mesh.Visible = 0;
    rig.position = {0, 0, 8};
    SkinEntityMesh(&rig.mesh);
    ExpectVec(SweepLog::centre, {-2, 0, 0});
    ExpectVec(rig.position, {0, 0, 4});
    // Out of view nothing is posed.
    ExpectVec(rig.posed[0], {-9, -9, -9});
}

TEST_F(Posing, VertexWaveAtAQuarterTurnRaisesByTheHeightAndLowersTheNormal) {
    struct Case {
        uint32_t sunLit, sunLighting;
        float normalY;
    };
    const Case cases[] = {{0, 0, -0.5f}, {1, 0, -0.5f}, {0, 1, -0.5f}, {1, 1, -0.05f}};
    for (const Case& c : cases) {
        Rig rig({{0, 2, 0}}, 0, 0);
        rig.mesh.Lods[0].Normals[0] = {0, 0, 0};
        SetMeshWave(1.0f, &rig.mesh);
        ASSERT_NE(rig.mesh.VertexWavePhases, nullptr);
        rig.mesh.VertexWavePhases[0] = 1000.0f;
        rig.mesh.VertexWaveSpeed = 24.0f;
        rig.mesh.VertexWaveHeight = 3.0f;
        rig.mesh.SunLit = c.sunLit;
        SunLighting = c.sunLighting;
        EXPECT_EQ(rig.mesh.UpdateRigid(), 1);
        EXPECT_EQ(rig.mesh.VertexWavePhases[0], 1024.0f);
        EXPECT_EQ(rig.posed[0].y, 5.0f);
        EXPECT_FLOAT_EQ(rig.normals[0].y, c.normalY);
    }
}

TEST_F(Posing, WavePhasesSpreadOverEveryLodAndSpreadZeroFreesThem) {
    Rig rig({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, 0, 0);
    rig.mesh.AllocLod(2, 0, 0, 0, 0, 0, 0, 0, 1);
    rig.mesh.HighestLod = 1;
    rig.mesh.SelectLod(0);
    SetMeshWave(0.5f, &rig.mesh);
    EXPECT_EQ(rig.mesh.Lods[0].VertexWavePhases, (std::vector<float>{512, 1024, 1536, 2048}));
    EXPECT_EQ(rig.mesh.Lods[1].VertexWavePhases, (std::vector<float>{1024, 2048}));
    EXPECT_EQ(rig.mesh.VertexWavePhases, rig.mesh.Lods[0].VertexWavePhases.data());
    rig.mesh.Lods[0].VertexWavePhases[0] = 77.0f;
    SetMeshWave(0.5f, &rig.mesh);  // the same spread changes nothing
    EXPECT_EQ(rig.mesh.Lods[0].VertexWavePhases[0], 77.0f);
    SetMeshWave(0.0f, &rig.mesh);
    EXPECT_TRUE(rig.mesh.Lods[0].VertexWavePhases.empty());
    EXPECT_TRUE(rig.mesh.Lods[1].VertexWavePhases.empty());
    EXPECT_EQ(rig.mesh.VertexWavePhases, nullptr);
}

// RigidState: 0 moving, 1 posed, 2 pose wanted, 3 pose wanted when in view again.
TEST_F(Posing, RigidStateDecidesWhenStaticMeshesArePosed) {
    struct Case {
        uint32_t state, visible, lodChanged;
        bool posed;
        uint32_t after;
    };
    const Case cases[] = {
        {1, 1, 0, false, 1}, {1, 0, 0, false, 1}, {1, 1, 1, true, 1},  {1, 0, 1, false, 3},
        {2, 1, 0, true, 1},  {3, 1, 0, true, 1},  {2, 0, 0, false, 2}, {0, 1, 0, true, 0},
    };
    for (int rigid = 0; rigid < 2; ++rigid) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << (rigid ? "TransformMeshRigid " : "UpdateRigid ") << c.state
                                            << " " << c.visible << " " << c.lodChanged);
            Rig rig({{1, 2, 3}}, 0, 0);
            rig.position = {10, 0, 0};
            rig.mesh.RigidState = c.state;
            rig.mesh.Visible = c.visible;
            rig.mesh.PreviousLod = c.lodChanged ? 1 : 0;
            int result = 0;
            if (rigid)
                TransformMeshRigid(&rig.mesh);
            else
                result = rig.mesh.UpdateRigid();
            EXPECT_EQ(rig.posed[0].x == 11.0f, c.posed);
            if (!rigid) {
                EXPECT_EQ(result, c.posed ? 1 : 0);
            }
            EXPECT_EQ(rig.mesh.RigidState, c.after);
        }
    }
}

TEST_F(Posing, CameraMatrixTurnsTheMeshButItsOwnPositionPlacesIt) {
    Rig rig({{1, 0, 0}}, 0, 0);
    rig.mesh.UseCameraMatrix = 1;
    rig.position = {0, 5, 0};
    QuatToRotation(Turn({0, 1, 0}, HalfPi), rig.matrix);          // the mesh's own: x onto -z
    QuatToRotation(Turn({0, 0, 1}, HalfPi), MainCamera.inverse);  // the camera's: x onto y
    // No camera loaded yet: the mesh keeps its own matrix.
    TransformMeshStatic(&rig.mesh);
    ExpectVec(rig.posed[0], {0, 5, -1});
    RenderState.cameraId = 1;
    TransformMeshStatic(&rig.mesh);
    ExpectVec(rig.posed[0], {0, 6, 0});
    ExpectVec(rig.normals[0], {0, 1, 0});
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(MainCamera.inverse, identity, sizeof identity);
}

TEST_F(Posing, CollisionCopyIsSkinnedWavedOrRigidAndBoxedWithZerosWhenEmpty) {
    Rig rig({{0, 0, 0}, {1, 0, 0}}, 2);
    float junk[6] = {5, 5, 5, 5, 5, 5};
    rig.mesh.CollisionBounds = junk;
    ComputeCollisionBounds(&rig.mesh);
    for (float f : junk) EXPECT_EQ(f, 0.0f);

    rig.mesh.CollisionVertexCount = 2;
    rig.mesh.CollisionVertices = {{0, 0, 0}, {2, 0, 0}};
    rig.mesh.PosedCollisionVertices.assign(2, Vec3{});
    rig.position = {0, 1, 0};
    SkinCollisionVertices(&rig.mesh);
    ComputeCollisionBounds(&rig.mesh);
    EXPECT_EQ(std::vector<float>(junk, junk + 6), (std::vector<float>{0, 1, 0, 2, 1, 0}));

    // A side file with one bone for a mesh posing two: only the side file's bone is applied.
    rig.mesh.CollisionSkinned = 1;
    rig.mesh.CollisionBones.resize(1);
    rig.mesh.CollisionBones[0].Pivot = 0;
    rig.mesh.CollisionBones[0].VertexCount = 1;
    rig.mesh.CollisionBones[0].Vertices = {1};
    rig.mesh.CollisionBones[0].Weights = {1.0f};
    rig.mesh.CollisionBoneCount = 1;
    NztAnim anim;
    anim.AllocFrames(2, 1);
    anim.Frames[0].Keys[0].Rotation = Turn({0, 0, 1}, HalfPi);
    anim.Frames[0].Keys[1].Translation = {100, 0, 0};
    ASSERT_EQ(BindAnimToMesh(&anim, &rig.mesh), 2u);
    SkinCollisionVertices(&rig.mesh);
    ExpectVec(rig.mesh.PosedCollisionVertices[1], {0, 3, 0});

    // Waved: the collision copy follows the wave without advancing it.
    rig.mesh.CollisionSkinned = 0;
    SetMeshWave(1.0f, &rig.mesh);
    rig.mesh.VertexWaveHeight = 2.0f;
    rig.mesh.Lods[0].VertexWavePhases = {1024.0f, 0.0f};
    SkinCollisionVertices(&rig.mesh);
    ExpectVec(rig.mesh.PosedCollisionVertices[0], {0, 3, 0});
    ExpectVec(rig.mesh.PosedCollisionVertices[1], {2, 1, 0});
    EXPECT_EQ(rig.mesh.Lods[0].VertexWavePhases[0], 1024.0f);
}

TEST_F(Posing, ALodWithFewerBonesThanWereBoundPosesOnlyItsOwn) {
    Rig rig({{0, 0, 0}, {1, 0, 0}}, 3);
    NztAnim anim;
    anim.AllocFrames(3, 1);
    for (int b = 0; b < 3; ++b) anim.Frames[0].Keys[b].Translation = {0, 1, 0};
    rig.SetBone(0, 0, {{1, 1.0f}});
    rig.mesh.AllocLod(2, 0, 0, 1, 1, 0, 0, 0, 1);
    rig.mesh.HighestLod = 1;
    rig.mesh.Lods[1].Vertices = {{0, 0, 0}, {1, 0, 0}};
    rig.mesh.Lods[1].Bones[0] = rig.mesh.Lods[0].Bones[0];
    rig.mesh.SelectLod(0);
    ASSERT_EQ(BindAnimToMesh(&anim, &rig.mesh), 3u);
    rig.mesh.SelectLod(1);
    SkinDynObjectMesh(&rig.mesh);
    ExpectVec(rig.posed[1], {1, 1, 0});
}

TEST_F(Posing, SceneObjectsMoveByTheScaledFrameDeltaWithoutASweep) {
    PoseWorld.sweepCollisionBody = SweepLog::Halve;
    SweepLog::centre = {-1, -1, -1};
    Rig rig({{0, 0, 0}}, 1);
    NztAnim anim;
    anim.AllocFrames(1, 2);
    anim.Frames[1].PositionDelta = {0, 0, 2};
    BindAnimToMesh(&anim, &rig.mesh);
    CollisionBody body;
    rig.mesh.Ground.Body = &body;
    rig.mesh.Frame = 1;
    rig.mesh.RootMotionScale = 3.0f;
    FrameTiming.frameFactor = 0.5f;
    QuatToRotation(Turn({0, 1, 0}, HalfPi), rig.matrix);  // z onto x
    rig.position = {1, 0, 0};
    EXPECT_EQ(SkinScnObjectMesh(&rig.mesh), 1);
    ExpectVec(rig.frameMotion, {0, 0, 6});
    ExpectVec(rig.position, {4, 0, 0});
    ExpectVec(rig.motion, {4, 0, 0});  // the bookkeeping's 1 plus the 3 of the animation
    ExpectVec(rig.previous, {4, 0, 0});
    ExpectVec(rig.posed[0], {4, 0, 0});
    ExpectVec(SweepLog::centre, {-1, -1, -1});

    // A one-frame animation on a posed static object is skipped once the bookkeeping is done.
    NztAnim still;
    still.AllocFrames(1, 1);
    BindAnimToMesh(&still, &rig.mesh);
    rig.mesh.RigidState = 1;
    rig.position = {6, 0, 0};
    EXPECT_EQ(SkinScnObjectMesh(&rig.mesh), 0);
    ExpectVec(rig.motion, {2, 0, 0});
    ExpectVec(rig.posed[0], {4, 0, 0});
}

TEST_F(Posing, LocalEntitiesLockAxesScaleByTheFrameTimeAndRide) {
    Rig rig({{0, 0, 0}}, 1);
    NztAnim anim;
    anim.AllocFrames(1, 1);
    anim.Frames[0].PositionDelta = {1, 2, 3};
    BindAnimToMesh(&anim, &rig.mesh);
    uint32_t locks[3] = {0, 1, 0};
    rig.mesh.MotionAxisLocks = locks;
    rig.mesh.RootMotionScale = 2.0f;
    FrameTiming.frameFactor = 0.5f;
    NztBaseObject platform;
    platform.motion[1].x = 10.0f;
    StandingProbe probe;
    probe.object = &platform;
    uint32_t airborne = 0;
    rig.mesh.Ground.Probe = &probe;
    rig.mesh.Ground.Airborne = &airborne;
    struct Case {
        uint32_t airborne;
        Vec3 position;
    };
    // D = (2, 0, 6) x 0.5, plus the platform's motion when standing on it.
    const Case cases[] = {{0, {11, 0, 3}}, {1, {1, 0, 3}}};
    for (const Case& c : cases) {
        rig.position = rig.previous = {0, 0, 0};
        airborne = c.airborne;
        SkinLocalEntityMesh(&rig.mesh);
        ExpectVec(rig.frameMotion, {2, 4, 6});
        ExpectVec(rig.position, c.position);
    }
}


// A pose is kept for the next mesh posed on the same keys, and must never outlive what it was made
// from: keys changed in place (a reloaded animation in the same memory), rest arrays replaced, and
// more poses than are kept; each posing is checked against the plain form.
TEST_F(Posing, KeptPosesFollowKeysChangedInPlaceAndRestArraysReplaced) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    constexpr uint32_t kVertices = 21, kBones = 3, kFrames = 300;
    std::vector<Vec3> rest(kVertices);
    for (Vec3& v : rest) v = {unit(random) * 4, unit(random) * 4, unit(random) * 4};
    Rig rig(rest, kBones);
    for (uint32_t b = 0; b < kBones; ++b) {
        std::vector<std::pair<uint32_t, float>> list;
        for (uint32_t v = b * 5; v < kVertices; ++v) list.push_back({v, v % 4 == 0 ? 0.5f : 1.0f});
        rig.SetBone(b, b * 5 + 1, list);
    }
    NztAnim anim;
    anim.AllocFrames(kBones, kFrames);
    auto fill = [&](uint32_t f) {
        for (uint32_t b = 0; b < kBones; ++b) {
            const Vec3 axis{unit(random), unit(random), unit(random)};
            anim.Frames[f].Keys[b].Rotation = Turn(axis * (1.0f / std::sqrt(Dot(axis, axis))), unit(random));
            anim.Frames[f].Keys[b].Translation = {unit(random), unit(random), unit(random)};
        }
    };
    for (uint32_t f = 0; f < kFrames; ++f) fill(f);
    BindAnimToMesh(&anim, &rig.mesh);
    auto check = [&](uint32_t f, const char* phase) {
        SCOPED_TRACE(::testing::Message() << phase << ", frame " << f);
        rig.position = rig.previous = {0, 0, 0};
        PoseMeshBonesReference(&rig.mesh, anim.Frames[f].Keys, kBones);
        const std::vector<Vec3> want = rig.posed;
        const std::vector<Vec3> wantNormals = rig.normals;
        rig.mesh.Frame = f;
        SkinLocalEntityMesh(&rig.mesh);
        for (uint32_t i = 0; i < kVertices; ++i) {
            ASSERT_LE(Largest(rig.posed[i] - want[i]), 1e-4f) << "vertex " << i;
            ASSERT_LE(Largest(rig.normals[i] - wantNormals[i]), 1e-5f) << "normal " << i;
        }
    };
    check(0, "first posing");
    check(0, "the same keys again");
    fill(0);
    check(0, "keys changed in place");
    {
        // New arrays, made while the old ones still stand, so that they lie elsewhere.
        std::vector<Vec3> vertices = rig.mesh.Lods[0].Vertices, normals = rig.mesh.Lods[0].Normals;
        vertices[6] = vertices[6] + Vec3{0.5f, -2.0f, 1.0f};
        vertices[11] = vertices[11] + Vec3{-1.0f, 0.25f, 3.0f};
        normals[11] = {0, 1, 0};
        rig.mesh.Lods[0].Vertices.swap(vertices);
        rig.mesh.Lods[0].Normals.swap(normals);
        rig.mesh.Vertices = rig.mesh.Lods[0].Vertices.data();
        rig.mesh.Normals = rig.mesh.Lods[0].Normals.data();
    }
    check(0, "rest arrays replaced");
    for (uint32_t f = 1; f < kFrames; ++f) check(f, "more poses than are kept");
    check(0, "the first again");

    // A mesh whose posed vertices (9.6 MB a pose) fill the 16 MiB kept for all meshes after one
    // pose: the others keep only their maps, and are posed from them each time.
    std::vector<Vec3> large(400000);
    for (Vec3& v : large) v = {unit(random) * 4, unit(random) * 4, unit(random) * 4};
    Rig big(large, kBones);
    for (uint32_t b = 0; b < kBones; ++b) big.SetBone(b, b * 5 + 1, {{b * 5 + 1, 1.0f}, {b * 7 + 2, 0.5f}, {399999, 1.0f}});
    BindAnimToMesh(&anim, &big.mesh);
    for (int round = 0; round < 2; ++round) {
        for (uint32_t f = 0; f < 3; ++f) {
            SCOPED_TRACE(::testing::Message() << "large mesh, round " << round << ", frame " << f);
            PoseMeshBonesReference(&big.mesh, anim.Frames[f].Keys, kBones);
            const std::vector<Vec3> want = big.posed;
            std::fill(big.posed.begin(), big.posed.end(), Vec3{-9, -9, -9});
            big.mesh.Frame = f;
            SkinLocalEntityMesh(&big.mesh);
            for (uint32_t i = 0; i < large.size(); ++i) ASSERT_LE(Largest(big.posed[i] - want[i]), 1e-4f) << "vertex " << i;
        }
    }
}

// Everything a kept pose holds counts against the budget, its maps as well as its vertices: a
// mesh whose vertices each go through their own set of bones has one map per vertex, and 200
// poses of it would otherwise hold some 70 MB of maps. The heap, as the allocator counts it, grows
// by no more than the 16 MiB (and a little for the tables that find the poses), and a pose posed
// again, kept or not, is still the plain form's.
TEST_F(Posing, KeptPosesHoldNoMoreThanTheirBudget) {
    constexpr uint32_t kBones = 12, kVertices = 1u << kBones, kFrames = 200;
    std::vector<Vec3> rest(kVertices);
    for (uint32_t v = 0; v < kVertices; ++v)
        rest[v] = {float(v % 64) * 0.25f, float(v / 64) * 0.25f, float(v % 7) * 0.5f};
    Rig rig(rest, kBones);
    for (uint32_t b = 0; b < kBones; ++b) {
        std::vector<std::pair<uint32_t, float>> list;
        for (uint32_t v = 0; v < kVertices; ++v)
            if ((v >> b) & 1u) list.push_back({v, 1.0f});
        rig.SetBone(b, (1u << b), list);
    }
    NztAnim anim;
    anim.AllocFrames(kBones, kFrames);
    for (uint32_t f = 0; f < kFrames; ++f) {
        for (uint32_t b = 0; b < kBones; ++b) {
            anim.Frames[f].Keys[b].Rotation = Turn({0, 1, 0}, 0.01f * float(f + 1) + 0.1f * float(b));
            anim.Frames[f].Keys[b].Translation = {0.001f * float(f), 0.0f, 0.002f * float(b)};
        }
    }
    BindAnimToMesh(&anim, &rig.mesh);
    auto pose = [&](uint32_t f) {
        rig.position = rig.previous = {0, 0, 0};
        rig.mesh.Frame = f;
        SkinLocalEntityMesh(&rig.mesh);
    };
    pose(0);  // the grouping and the scratch of a posing made once
    const size_t before = HeapBytesInUse();
    for (uint32_t f = 1; f < kFrames; ++f) pose(f);
    const size_t grown = HeapBytesInUse() - before;
    EXPECT_LE(grown, (size_t{16} << 20) + (size_t{1} << 20));
    EXPECT_LE(KeptSkinPoseBytes(), size_t{16} << 20);
    for (const uint32_t f : {1u, 2u, kFrames - 1}) {
        SCOPED_TRACE(::testing::Message() << "frame " << f);
        PoseMeshBonesReference(&rig.mesh, anim.Frames[f].Keys, kBones);
        const std::vector<Vec3> want = rig.posed;
        pose(f);
        for (uint32_t i = 0; i < kVertices; ++i) ASSERT_LE(Largest(rig.posed[i] - want[i]), 1e-4f) << "vertex " << i;
    }
}

// A local entity's feet are read from its model-space pose between the bones and the placement,
// and the placement is the one the ground following leaves. The hooks answer a floor far below,
// a step high enough to stand on it, and under each foot a surface 50 above its world x: the
// entity then stands on the lower foot's surface, which only the posed (not the rest, nor last
// frame's) anchors give, and every vertex is placed at that height. Both anchors are posed each
// way the vertex pass runs (anchor 5 in a block of eight, 17 in the tail), and every version of the
// pass gives the same bits over two frames in a row (the first version makes each pose, and the
// others find it kept).
struct FootLevel {
    static uint32_t Floor(const Vec3&, float, float, float* floor, float* surface, StandingProbe*, NztBase3D*) {
        *floor = *surface = -1000.0f;
        return 1;
    }
    static float Surface(const Vec3& p, float, float) { return p.x + 50.0f; }
    static uint32_t Level(NztBaseObject*, int32_t* pitch, int32_t* roll) {
        *pitch = *roll = 0;
        return 1;
    }
};

TEST_F(Posing, ALocalEntityStandsOnItsPosedFeetAndIsPlacedWhereTheGroundLeavesIt) {
    KeepKernel keep;
    PoseWorld.findStandingSurface = FootLevel::Floor;
    PoseWorld.nearestSurface = FootLevel::Surface;
    PoseWorld.computeSurfaceTilt = FootLevel::Level;
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    constexpr uint32_t kVertices = 19;
    std::vector<Vec3> rest(kVertices);
    for (Vec3& v : rest) v = {unit(random) * 3, unit(random) * 3, unit(random) * 3};
    Rig rig(rest, 2);
    rig.SetBone(0, 0, {{5, 1.0f}, {6, 0.5f}, {17, 1.0f}});
    std::vector<std::pair<uint32_t, float>> all;
    for (uint32_t v = 0; v < kVertices; ++v) all.push_back({v, 1.0f});
    rig.SetBone(1, 9, all);
    std::vector<NztAttachPoint> points(9);
    points[4].Anchor = 5;
    points[8].Anchor = 17;
    rig.mesh.AttachPoints = points.data();
    rig.mesh.AttachCount = static_cast<uint32_t>(points.size());
    rig.mesh.Ground.StepHeight = 1e6f;
    rig.mesh.Ground.FootPlacement = 1;
    NztAnim anim;
    anim.AllocFrames(2, 2);
    for (uint32_t f = 0; f < 2; ++f) {
        anim.Frames[f].Keys[0].Rotation = Turn({0, 0, 1}, 0.9f + 0.3f * static_cast<float>(f));
        anim.Frames[f].Keys[0].Translation = {2.0f, 0.5f, 0.0f};
        anim.Frames[f].Keys[1].Rotation = Turn({0, 1, 0}, -0.4f);
        anim.Frames[f].Keys[1].Translation = {-1.0f, 0.0f, 0.25f};
    }
    BindAnimToMesh(&anim, &rig.mesh);
    float turn[9];
    QuatToRotation(Turn({0, 1, 0}, 0.6f), turn);

    std::vector<Vec3> plainVertices[2], plainNormals[2];
    for (const KernelVersion& version : RunnableKernels()) {
        ASSERT_TRUE(SelectSkinKernel(version.kernel));
        for (uint32_t f = 0; f < 2; ++f) {
            SCOPED_TRACE(::testing::Message() << version.name << ", frame " << f);
            // The model-space pose, from the plain form with no placement.
            const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
            std::copy(identity, identity + 9, rig.matrix);
            rig.position = {0, 0, 0};
            PoseMeshBonesReference(&rig.mesh, anim.Frames[f].Keys, 2);
            const std::vector<Vec3> model = rig.posed, modelNormals = rig.normals;
            // Last frame's placed pose stands in the buffers, as in play.
            for (Vec3& p : rig.posed) p = p + Vec3{100, 100, 100};
            std::copy(turn, turn + 9, rig.matrix);
            rig.position = rig.previous = {7.0f, 0.0f, -3.0f};
            rig.mesh.Frame = f;
            SkinLocalEntityMesh(&rig.mesh);
            const float lowest = std::min(TurnPoint(turn, model[5]).x, TurnPoint(turn, model[17]).x) + 7.0f;
            ExpectVec(rig.position, {7.0f, lowest + 50.0f, -3.0f}, 1e-4f);
            for (uint32_t i = 0; i < kVertices; ++i) {
                ExpectVec(rig.posed[i], TurnPoint(turn, model[i]) + rig.position, 1e-4f);
                ExpectVec(rig.normals[i], TurnPoint(turn, modelNormals[i]), 1e-5f);
            }
            if (version.kernel == SkinKernel::Plain) {
                plainVertices[f] = rig.posed;
                plainNormals[f] = rig.normals;
                continue;
            }
            for (uint32_t i = 0; i < kVertices; ++i) {
                ASSERT_TRUE(SameBits(rig.posed[i], plainVertices[f][i])) << "vertex " << i;
                ASSERT_TRUE(SameBits(rig.normals[i], plainNormals[f][i])) << "normal " << i;
            }
        }
    }
}

}  // namespace
