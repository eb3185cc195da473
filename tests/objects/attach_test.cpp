#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "collision/collquery.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "game/frame.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/attach.h"
#include "objects/base3d.h"
#include "objects/posing.h"

namespace {

constexpr float Tol = 1e-5f;
constexpr float Quarter = 1.5707963f;

// A turn about a unit axis by radians, as a key or a chain rotation.
Quat AxisTurn(const Vec3& axis, float radians) {
    const Vec3 v = axis * std::sin(radians * 0.5f);
    return Quat{std::cos(radians * 0.5f), v.x, v.y, v.z};
}

void Near(const Vec3& got, const Vec3& want, float tol = Tol) {
    const Vec3 d = got - want;
    const float off = std::max({std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)});
    EXPECT_LE(off, tol) << "got (" << got.x << ", " << got.y << ", " << got.z << "), want (" << want.x << ", "
                        << want.y << ", " << want.z << ")";
}

// The image of axis (1, 0, 0), (0, 1, 0) or (0, 0, 1) under a stored matrix.
Vec3 Column(const float* m, int axis) {
    return {m[3 * axis], m[3 * axis + 1], m[3 * axis + 2]};
}

// Stand-ins for the collision queries: one surface probe result, feet heights by side, tilts.
struct World {
    static inline uint32_t standing = 0;
    static inline float floor = 0.0f, surface = 0.0f, leftFoot = 0.0f, rightFoot = 0.0f;
    static inline int32_t tiltPitch = 0, tiltRoll = 0;
    static uint32_t Find(const Vec3&, float, float, float* f, float* s, StandingProbe*, NztBase3D*) {
        *f = floor;
        *s = surface;
        return standing;
    }
    static float Nearest(const Vec3& p, float range, float) {
        EXPECT_EQ(range, 10.0f);
        return p.x < 0 ? leftFoot : rightFoot;
    }
    static uint32_t Tilt(NztBaseObject*, int32_t* pitch, int32_t* roll) {
        *pitch = tiltPitch;
        *roll = tiltRoll;
        return 1;
    }
    static void Install() {
        standing = 0;
        floor = surface = leftFoot = rightFoot = 0.0f;
        tiltPitch = tiltRoll = 0;
        PoseWorld.findStandingSurface = Find;
        PoseWorld.nearestSurface = Nearest;
        PoseWorld.computeSurfaceTilt = Tilt;
        PoseWorld.computeGroundTilt = Tilt;
    }
};

// A character-like mesh: vertex 0 at the origin, the others on a line; every bone pivots on
// vertex 0 and moves vertex 1; attach point i is anchored on vertex 1 + i % (V - 1). The owner's
// ground words are bound.
struct Body {
    NztMesh mesh;
    std::vector<Vec3> posed, normals;
    std::vector<NztAttachPoint> points;
    // The owner's placement is the mesh's own.
    Vec3& position = mesh.OwnPosition;
    Vec3& frameMotion = mesh.OwnFrameMotion;
    Vec3& motion = mesh.OwnMotion;
    float* matrix = mesh.OwnMatrix;
    float floor = 0, surface = 0, verticalSpeed = 0;
    uint32_t onSurface = 0, airborne = 0, sliding = 0, gliding = 0, hold = 0;
    int32_t pitch = 0, roll = 0, previousPitch = 0, previousRoll = 0;
    uint32_t packed = 0;

    Body(uint32_t vertices, uint32_t bones, uint32_t attach, uint32_t hasBones = 0) {
        mesh.AllocLod(vertices, 0, 0, 1, bones, 0, attach, hasBones, 0);
        MeshLod& lod = mesh.Lods[0];
        for (uint32_t v = 0; v < vertices; ++v) lod.Vertices[v] = {static_cast<float>(v), 0, 0};
        for (uint32_t b = 0; b < bones; ++b) {
            NztMeshBone& bone = lod.Bones[b];
            bone.VertexCount = 1;
            bone.Vertices = {1};
            bone.Weights = {1.0f};
            bone.Cache.resize(1);
        }
        for (uint32_t i = 0; i < attach; ++i) lod.AttachPoints[i].Anchor = 1 + i % (vertices - 1);
        posed = lod.Vertices;
        normals.assign(vertices, Vec3{0, 1, 0});
        points = lod.AttachPoints;
        mesh.PosedVertices = posed.data();
        mesh.PosedNormals = normals.data();
        mesh.ObjectAttachCount = attach;
        mesh.ObjectAttachPoints = points.data();
        mesh.Visible = 1;
        NztMeshGround& g = mesh.Ground;
        g.FloorHeight = &floor;
        g.SurfaceHeight = &surface;
        g.VerticalSpeed = &verticalSpeed;
        g.OnSurface = &onSurface;
        g.Airborne = &airborne;
        g.Sliding = &sliding;
        g.HangGliding = &gliding;
        g.HeightHold = &hold;
        g.Pitch = &pitch;
        g.Roll = &roll;
        g.PreviousPitch = &previousPitch;
        g.PreviousRoll = &previousRoll;
        g.PackedAngles = &packed;
        g.StepHeight = 1000.0f;
    }
};

class Attach : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        FrameTiming.frameFactor = 1.0f;
        World::Install();
    }
    void TearDown() override {
        ResetPoseWorld();
        ResetMathTables();
        FrameTiming = FrameTimingState{};
    }
};

TEST_F(Attach, PointsOutOfRangeOrOutOfViewFallBackToThePosition) {
    Body body(3, 0, 2);
    body.position = {7, 8, 9};
    body.posed[2] = {0, 5, 0};
    struct Case {
        int32_t point;
        uint32_t visible;
        int32_t anchor;
        Vec3 at;
    };
    const Case cases[] = {
        {-1, 1, -1, {7, 8, 9}},
        {2, 1, -1, {7, 8, 9}},
        {1, 1, 2, {0, 5, 0}},
        {1, 0, 2, {7, 8, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        body.mesh.Visible = c.visible;
        EXPECT_EQ(AttachPointAnchor(c.point, &body.mesh), c.anchor);
        Vec3 at;
        AttachPointPosition(c.point, &at, &body.mesh);
        Near(at, c.at);
    }
}

TEST_F(Attach, HangingThingsTakeTheMatrixAndTheBoneChainWhenThePointHasOne) {
    Body body(3, 2, 3);
    NztAnim anim;
    anim.AllocFrames(2, 1);
    anim.Frames[0].Keys[1].Rotation = AxisTurn({1, 0, 0}, Quarter);
    BindAnimToMesh(&anim, &body.mesh);
    body.mesh.Lods[0].AttachBoneLists[1] = {1};
    QuatToRotation(AxisTurn({0, 1, 0}, Quarter), body.matrix);  // x onto -z
    body.posed[1] = {1, 2, 3};
    body.posed[2] = {4, 5, 6};
    SfxDef kept, plain;
    kept.particleKind = SfxParticleBelowHeight;
    NztSfx noChain, chained, unheighted;
    noChain.definition = &kept;
    chained.definition = &kept;
    unheighted.definition = &plain;
    body.surface = 42.0f;
    body.points[0].Kind = 3;
    body.points[0].Target = &noChain;
    body.points[1].Kind = 3;
    body.points[1].Target = &chained;
    body.points[2].Kind = 3;
    body.points[2].Target = &unheighted;
    UpdateMeshAttachments(&body.mesh);

    Near({noChain.Position[0], noChain.Position[1], noChain.Position[2]}, {1, 2, 3});
    Near(body.points[1].Position, {4, 5, 6});
    Near(Column(noChain.rotation, 0), {0, 0, -1});
    Near(Column(noChain.rotation, 1), {0, 1, 0});
    // The chain turns y onto z first, then the matrix z onto x.
    Near(Column(chained.rotation, 1), {1, 0, 0});
    Near(Column(chained.rotation, 0), {0, 0, -1});
    EXPECT_EQ(noChain.referenceHeight, 42.0f);
    EXPECT_EQ(unheighted.referenceHeight, 0.0f);

    // An object turns with the point only when it follows its carrier's orientation.
    NztBaseObject follower, fixed;
    fixed.boneOrientation = 0;
    body.points[1].Kind = 4;
    body.points[1].Target = &follower;
    body.points[2].Kind = 5;
    body.points[2].Target = &fixed;
    UpdateMeshAttachments(&body.mesh);
    Near(Column(follower.rotation, 1), {1, 0, 0});
    Near(Column(fixed.rotation, 1), {0, 1, 0});
    EXPECT_EQ(fixed.Position[0], 1.0f);
}

TEST_F(Attach, ChainRotationIsTheTurnTheSkinningGivesThePoint) {
    // Two non-commuting bones both carrying vertices 1 and 2: the chain's rotation must turn the
    // rest direction from 1 to 2 onto the posed one.
    Body body(3, 2, 1);
    for (int b = 0; b < 2; ++b) {
        NztMeshBone& bone = body.mesh.Lods[0].Bones[b];
        bone.VertexCount = 2;
        bone.Vertices = {1, 2};
        bone.Weights = {1.0f, 1.0f};
    }
    body.mesh.Lods[0].Vertices[2] = {1, 1, 0};
    body.mesh.Lods[0].AttachBoneLists[0] = {0, 1};
    NztAnim anim;
    anim.AllocFrames(2, 1);
    anim.Frames[0].Keys[0].Rotation = AxisTurn({1, 0, 0}, Quarter);
    anim.Frames[0].Keys[1].Rotation = AxisTurn({0, 0, 1}, Quarter);
    BindAnimToMesh(&anim, &body.mesh);
    SkinDynObjectMesh(&body.mesh);
    float chain[9];
    ASSERT_EQ(AttachPointChainRotation(0, chain, &body.mesh), 1);
    const Vec3 posedDirection = body.posed[2] - body.posed[1];
    Near(posedDirection, {chain[3], chain[4], chain[5]});

    body.mesh.Lods[0].AttachBoneLists[0].clear();
    EXPECT_EQ(AttachPointChainRotation(0, chain, &body.mesh), 0);
    Near(Column(chain, 0), {1, 0, 0});
}

TEST_F(Attach, BoneTurnsAndOffsetsFollowTheWeights) {
    Body body(4, 1, 0);
    NztMeshBone& bone = body.mesh.Lods[0].Bones[0];
    bone.VertexCount = 3;
    bone.Vertices = {1, 2, 3};
    bone.Weights = {1.0f, 0.5f, 0.0f};
    body.posed = {{0, 0, 0}, {2, 0, 0}, {2, 0, 0}, {2, 0, 0}};
    body.mesh.BendAxis = {0, 1, 0};
    body.mesh.BonePivot = {1, 0, 0};
    // 2048 units: half a turn about y through (1, 0, 0) for a full weight.
    RotateBoneByAngle(2048, 0, &body.mesh);
    Near(body.posed[1], {0, 0, 0});
    Near(body.posed[3], {2, 0, 0});
    // A quarter turn, and an eighth for the half weight.
    body.posed = {{0, 0, 0}, {2, 0, 0}, {2, 0, 0}, {2, 0, 0}};
    RotateBoneByAngle(1024, 0, &body.mesh);
    const float h = std::sqrt(0.5f);
    Near(body.posed[1], {1, 0, -1});
    Near(body.posed[2], {1 + h, 0, -h});
    Near(body.posed[3], {2, 0, 0});

    OffsetBoneVertices(0, &body.mesh, {0, 4, 0});
    Near(body.posed[1], {1, 4, -1});
    Near(body.posed[2], {1 + h, 2, -h});
    Near(body.posed[3], {2, 0, 0});

    // Bones that the mesh does not have are left alone.
    RotateBoneByAngle(1024, 5, &body.mesh);
    OffsetBoneVertices(5, &body.mesh, {1, 1, 1});
    Near(body.posed[1], {1, 4, -1});
}

TEST_F(Attach, AngleHelpersBuildTheirProductsInOrder) {
    struct Case {
        const char* name;
        void (*build)(float*);
        Vec3 x, y;  // images of the x and y axes
    };
    const Case cases[] = {
        {"yzx quarter about y", [](float* m) { MatrixFromAnglesYZX(m, 1024, 0, 0); }, {0, 0, -1}, {0, 1, 0}},
        {"yzx z then x", [](float* m) { MatrixFromAnglesYZX(m, 0, 1024, 1024); }, {0, 1, 0}, {0, 0, 1}},
        {"angles x last", [](float* m) { MatrixFromAngles(m, 0, 1024, 1024); }, {0, 0, 1}, {-1, 0, 0}},
        {"packed yaw",
         [](float* m) {
             const uint32_t w[2] = {1024u << 12, 0};
             MatrixFromPackedAngles(m, w);
         },
         {0, 0, -1},
         {0, 1, 0}},
        {"packed pitch and roll",
         [](float* m) {
             const uint32_t w[2] = {1024, 1024};
             MatrixFromPackedAngles(m, w);
         },
         {0, 1, 0},
         {0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        float m[9];
        c.build(m);
        Near(Column(m, 0), c.x);
        Near(Column(m, 1), c.y);
    }
    Quat q = AxisTurn({0, 0, 1}, Quarter);
    QuatMultiplyInPlace(&q, AxisTurn({1, 0, 0}, Quarter));
    const Quat want = QuatMultiply(AxisTurn({0, 0, 1}, Quarter), AxisTurn({1, 0, 0}, Quarter));
    EXPECT_EQ(q.w, want.w);
    EXPECT_EQ(q.x, want.x);
    EXPECT_EQ(q.y, want.y);
    EXPECT_EQ(q.z, want.z);
}

TEST_F(Attach, AlignWithAnObjectTurnedLikeTheMeshOnlyReplacesThePoints) {
    Body body(3, 21, 23);
    for (Vec3& p : body.posed) p = p + Vec3{0.5f, 0.25f, 0};
    const std::vector<Vec3> before = body.posed;
    std::vector<NztBaseObject> hung(23);
    for (int i = 0; i < 23; ++i) {
        body.points[i].Kind = 4;
        body.points[i].Target = &hung[i];
        QuatToRotation(AxisTurn({0, 1, 0}, 0.3f), hung[i].rotation);
    }
    QuatToRotation(AxisTurn({0, 0, 1}, 0.7f), body.matrix);
    AlignBonesToObject(&body.mesh, body.matrix);
    for (size_t v = 0; v < before.size(); ++v) Near(body.posed[v], before[v]);
    for (int i = 10; i < 23; ++i) {
        SCOPED_TRACE(i);
        const Vec3 anchor = body.posed[body.points[i].Anchor];
        Near({hung[i].Position[0], hung[i].Position[1], hung[i].Position[2]}, anchor);
        Near(Column(hung[i].rotation, 0), {std::cos(0.3f), 0, -std::sin(0.3f)});
    }
    EXPECT_EQ(hung[9].Position[0], 0.0f);

    // A mesh without the character's bones and points is left as it was.
    Body small(3, 2, 2);
    const std::vector<Vec3> smallBefore = small.posed;
    AlignBonesToObject(&small.mesh, body.matrix);
    for (size_t v = 0; v < smallBefore.size(); ++v) Near(small.posed[v], smallBefore[v]);
}

TEST_F(Attach, SecondaryMotionFollowsTheChainByTheStiffnessOfTheDistance) {
    Body body(11, 1, 0, 1);
    NztMeshBone& bone = body.mesh.Lods[0].Bones[0];
    bone.Vertices = {10};
    bone.HasExtra = 1;
    bone.ExtraStiffness = 0.1f;
    bone.ExtraFollow = 0.0f;
    bone.ExtraLimits = {1, 1, 1};
    body.posed[0] = {0, 0, 0};
    body.posed[10] = {10, 0, 0};
    const Quat chain = AxisTurn({0, 1, 0}, Quarter);
    // 10 units out with stiffness 0.1: f = 0.5, so the cached rotation goes half-way.
    SecondaryBoneMotion(0, 10, &chain, &body.mesh, &body.posed[10], 0);
    const Quat got = bone.Cache[0].Rotation, want = AxisTurn({0, 1, 0}, Quarter / 2);
    EXPECT_NEAR(got.w, want.w, Tol);
    EXPECT_NEAR(got.y, want.y, Tol);
    Near(body.posed[10], {10 * std::cos(Quarter / 2), 0, -10 * std::sin(Quarter / 2)});
    // The pivot vertex itself never lags.
    SecondaryBoneMotion(0, 0, &chain, &body.mesh, &body.posed[0], 0);
    Near(body.posed[0], {0, 0, 0});
}

// A HasExtra bone lifted by 5 moves only its pivot in the bone loop; vertex 10 then catches up
// by f = 1 / (1 + 10 x stiffness), within limit x s / stiffness of the pivot.
TEST_F(Attach, ExtraBonesLagBehindTheirPivotWithinTheLimits) {
    struct Case {
        float stiffness, limit, y;
    };
    const Case cases[] = {{0.0f, 0.0f, 5.0f}, {0.1f, 100.0f, 2.5f}, {0.1f, 0.05f, 4.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.y);
        Body body(11, 1, 0, 1);
        NztMeshBone& bone = body.mesh.Lods[0].Bones[0];
        bone.Vertices = {10};
        bone.HasExtra = 1;
        bone.ExtraStiffness = c.stiffness;
        bone.ExtraLimits = {c.limit, c.limit, c.limit};
        NztAnim anim;
        anim.AllocFrames(1, 1);
        anim.Frames[0].Keys[0].Translation = {0, 5, 0};
        BindAnimToMesh(&anim, &body.mesh);
        body.mesh.PreviousFrame = 0xFFFFFFFFu;
        SkinEntityMesh(&body.mesh);
        Near(body.posed[0], {0, 5, 0});
        Near(body.posed[10], {10, c.y, 0});
    }
}

TEST_F(Attach, RigidObjectsFollowingTheGroundStandOnTheSurfaceWithItsTilt) {
    Body body(2, 0, 0);
    body.mesh.GroundFollow = 1;
    body.packed = 1024u << 12;  // heading a quarter turn
    body.pitch = 5;
    body.roll = 6;
    World::tiltRoll = 1024;
    World::surface = 3.0f;
    // No surface under it: left alone.
    EXPECT_EQ(body.mesh.UpdateRigid(), 1);
    EXPECT_EQ(body.position.y, 0.0f);
    EXPECT_EQ(body.onSurface, 0u);
    World::standing = 1;
    body.mesh.UpdateRigid();
    EXPECT_EQ(body.position.y, 3.0f);
    EXPECT_EQ(body.onSurface, 1u);
    EXPECT_EQ(body.previousPitch, 5);
    EXPECT_EQ(body.previousRoll, 6);
    // Ry(heading) Rz(roll): x onto y.
    Near(Column(body.matrix, 0), {0, 1, 0});
}

TEST_F(Attach, SettlingCharacterFallsFasterAndLandsExactlyOnTheTarget) {
    Body body(2, 0, 0);
    body.mesh.Ground.Gravity = 1.0f;
    body.airborne = 1;
    body.position.y = 10.0f;
    body.floor = 0.25f;
    float lastDrop = 0.0f;
    int steps = 0;
    while (body.airborne && steps < 1000) {
        const float y = body.position.y;
        SettleOnGround(&body.mesh);
        const float drop = y - body.position.y;
        if (body.airborne) {
            EXPECT_GE(drop, lastDrop);
        }
        lastDrop = drop;
        ++steps;
    }
    EXPECT_GT(steps, 3);
    EXPECT_EQ(body.position.y, 0.25f);
    EXPECT_EQ(body.verticalSpeed, 0.0f);
}

TEST_F(Attach, TakeOffNeedsTheGroundToDropAwayInTheDirectionOfTravel) {
    struct Case {
        bool onSurface;
        int32_t previousPitch, pitch;
        float forward;
        uint32_t airborne;
    };
    const Case cases[] = {
        {false, 40, 0, 0.0f, 1}, {false, 40, 0, -1.0f, 0}, {false, 0, 40, -1.0f, 1}, {false, 0, 40, 1.0f, 0},
        {false, 20, 0, 0.0f, 0}, {true, 129, 0, 0.0f, 1},  {true, 128, 0, 0.0f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.onSurface << " " << c.previousPitch << " " << c.pitch);
        Body body(2, 0, 0);
        body.mesh.Ground.Gravity = 1.0f;
        body.position.y = 10.0f;
        body.previousPitch = c.previousPitch;
        body.pitch = c.pitch;
        body.frameMotion.z = c.forward;
        body.motion.y = -2.0f;
        if (c.onSurface)
            SettleOnSurface(&body.mesh);
        else
            SettleOnGround(&body.mesh);
        EXPECT_EQ(body.airborne, c.airborne);
        // Taking off keeps the fall speed of the motion (0.4 of it this step); settling eases down.
        EXPECT_FLOAT_EQ(body.position.y, c.airborne ? 9.6f : 2.5f);
    }
}

TEST_F(Attach, EntityGroundCasesMoveTheHeightTheirOwnWay) {
    struct Case {
        const char* name;
        uint32_t sliding = 0, gliding = 0, flying = 0, hold = 0, airborne = 0;
        float step = 1000.0f, verticalSpeed = 0.0f, wantY = 0.0f;
    };
    const Case cases[] = {
        {.name = "sliding settles on the surface", .sliding = 1, .wantY = 4.75f},
        {.name = "gliding sinks", .gliding = 1, .airborne = 1, .verticalSpeed = 4, .wantY = 8},
        {.name = "gliding stops at the floor", .gliding = 1, .airborne = 1, .verticalSpeed = 40, .wantY = 0},
        {.name = "gliding needs the air", .gliding = 1, .verticalSpeed = 4, .wantY = 5},
        {.name = "flying sinks", .flying = 1, .airborne = 1, .verticalSpeed = 2, .wantY = 9},
        {.name = "height hold", .hold = 1, .wantY = 10},
        {.name = "airborne", .airborne = 1, .wantY = 10},
        {.name = "above the step", .step = 1, .wantY = 10},
        {.name = "walking", .wantY = 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Body body(2, 0, 0);
        body.sliding = c.sliding;
        body.gliding = c.gliding;
        body.mesh.Ground.Flying = c.flying;
        body.hold = c.hold;
        body.airborne = c.airborne;
        body.mesh.Ground.StepHeight = c.step;
        body.position.y = 10.0f;
        body.verticalSpeed = c.verticalSpeed;
        World::surface = 3.0f;
        UpdateEntityGround(&body.mesh);
        EXPECT_EQ(body.position.y, c.wantY);
    }
}

// Swimming in water 10 deep (surface 10, floor 0) with the surface offset on, step height 1: the
// band is y above surface - step - 2 offset.
TEST_F(Attach, SwimmersHoldTheirOffsetUnderTheSurface) {
    struct Case {
        const char* name;
        float offset, y, verticalSpeed, wantY;
        uint32_t wantOnSurface;
    };
    const Case cases[] = {
        {"below the band keeps its height", 2, 4, 0, 4, 1},
        {"in the band eases to the offset", 2, 6, 0, 7, 1},
        {"sinking", 2, 7, 2, 6, 1},
        {"rising stops under the surface", 2, 7, -10, 8, 1},
        {"too shallow for the offset walks", 20, 6, 0, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Body body(2, 0, 0);
        body.mesh.Ground.SurfaceOffsetOn = 1;
        body.mesh.Ground.SurfaceOffset = c.offset;
        body.mesh.Ground.StepHeight = 1.0f;
        body.position.y = c.y;
        body.verticalSpeed = c.verticalSpeed;
        World::standing = 1;
        World::surface = 10.0f;
        UpdateEntityGround(&body.mesh);
        EXPECT_EQ(body.position.y, c.wantY);
        EXPECT_EQ(body.onSurface, c.wantOnSurface);
    }
}

// Feet on attach points 4 (x < 0) and 8 (x > 0) over ground 1.0 and 3.0 high, the floor at 0.
TEST_F(Attach, FootPlacementWalksDownToTheLowerFootAndNoFurther) {
    struct Case {
        uint32_t footPlacement, lod, visible;
        std::vector<float> heights;
    };
    const Case cases[] = {
        {1, 0, 1, {5, 1, 1}}, {1, 1, 1, {5, 1, 1}}, {0, 0, 1, {5, 0, 0}},
        {1, 2, 1, {5, 0, 0}}, {1, 0, 0, {5, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.footPlacement << " " << c.lod << " " << c.visible);
        Body body(3, 0, 9);
        body.posed[1] = {-1, 0, 0};
        body.posed[2] = {1, 0, 0};
        body.mesh.Lods[0].AttachPoints[4].Anchor = 1;
        body.mesh.Lods[0].AttachPoints[8].Anchor = 2;
        body.mesh.Ground.FootPlacement = c.footPlacement;
        body.mesh.CurrentLod = c.lod;
        body.mesh.Visible = c.visible;
        World::leftFoot = 1.0f;
        World::rightFoot = 3.0f;
        body.position.y = 10.0f;
        for (float want : c.heights) {
            UpdateEntityGround(&body.mesh);
            EXPECT_EQ(body.position.y, want);
        }
    }
}

}  // namespace
