// The base object's animation cursor, layers, attach points, trail list and user properties.
#include "objects/baseanim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "effects/trail.h"
#include "game/frame.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/base3d.h"

namespace {

constexpr uint32_t Bones = 4;

// A boned mesh with four posed vertices and three attach points anchored on vertices 1, 2 and 3.
std::unique_ptr<NztMesh> BonedMesh() {
    auto mesh = std::make_unique<NztMesh>();
    mesh->LargestBoneCount = mesh->MaxBoneCount = Bones;
    mesh->VertexCapacity = mesh->VertexCount = 4;
    mesh->Lods[0].AttachBoneLists = {{0, 1}, {}, {}};
    mesh->Lods[0].BoneChildren = {{}, {2, 3}, {}, {}};
    return mesh;
}

class BaseAnim : public ::testing::Test {
protected:
    void SetUp() override {
        savedTiming = FrameTiming;
        mesh = BonedMesh();
        anim.AllocFrames(Bones, 4);
        object.SetMesh(mesh.get());
        object.attachPoints.resize(3);
        for (uint32_t i = 0; i < 3; ++i) object.attachPoints[i].Anchor = i + 1;
        for (size_t v = 0; v < object.vertices.size(); ++v) object.vertices[v] = {float(v), 10.0f * v, 0.0f};
    }
    void TearDown() override { FrameTiming = savedTiming; }

    void Steps(float factor) { FrameTiming.frameFactor = factor; }

    FrameTimingState savedTiming;
    std::unique_ptr<NztMesh> mesh;
    NztAnim anim;
    NztBaseObject object;
};

TEST_F(BaseAnim, SetAnimFrameWrapsIntoTheAnimation) {
    struct Case {
        uint32_t frames;
        int32_t asked;
        int32_t expected;
    } cases[] = {
        {4, 10, 1},  // 10 mod 3
        {4, 3, 3},  {4, 4, 1}, {4, 0, 0}, {1, 5, 0}, {4, -2, 0},
    };
    for (const Case& c : cases) {
        NztAnim a;
        a.AllocFrames(Bones, c.frames);
        object.SetAnim(&a, 0, nullptr, 0);
        object.SetAnimFrame(c.asked);
        EXPECT_EQ(object.currentFrame, c.expected) << c.frames << " frames, frame " << c.asked;
        EXPECT_EQ(object.firstDueFrame, c.expected);
        EXPECT_FLOAT_EQ(object.frameTime, float(c.expected));
        object.SetAnim(nullptr, 0, nullptr, 0);
    }
    object.SetAnim(&anim, 0, nullptr, 2);
    object.SetAnimFrame(2);
    EXPECT_EQ(object.frameUnchanged, 1);
    object.SetAnimFrame(1);
    EXPECT_EQ(object.frameUnchanged, 0);
}

TEST_F(BaseAnim, StepsFollowTheFrameTime) {
    NztAnim eight;
    eight.AllocFrames(Bones, 8);
    struct Case {
        const char* what;
        float factor;
        int32_t start;
        float startTime;
        int32_t frame;
        int32_t firstDue;
        uint8_t unchanged;
    } cases[] = {
        {"one step", 1.0f, 2, 2.0f, 3, 3, 0},
        {"a fraction rounds down and notes the frame unchanged", 0.3f, 2, 2.0f, 2, 3, 1},
        {"a fraction that rounds up", 0.6f, 2, 2.0f, 3, 3, 0},
        {"capped at the last frame", 40.0f, 2, 2.0f, 7, 3, 0},
        {"the last frame loops", 1.0f, 7, 7.0f, 0, 0, 0},
        {"above 50 steps exactly one frame", 400.0f, 2, 2.0f, 3, 3, 0},
        {"above 50 steps past the end wraps", 51.0f, 7, 7.0f, 0, 0, 0},
    };
    for (const Case& c : cases) {
        object.SetAnim(&eight, 0, nullptr, c.start);
        object.frameTime = c.startTime;
        Steps(c.factor);
        EXPECT_EQ(object.StepAnimFrame(), c.frame) << c.what;
        EXPECT_EQ(object.previousFrame, c.start) << c.what;
        EXPECT_EQ(object.firstDueFrame, c.firstDue) << c.what;
        EXPECT_EQ(object.frameUnchanged, c.unchanged) << c.what;
        EXPECT_LE(object.frameTime, 7.0f) << c.what;
        object.SetAnim(nullptr, 0, nullptr, 0);
    }
}

TEST_F(BaseAnim, APlayOnceAnimationReturnsAfterItsLastFrameIsShown) {
    NztAnim idle;
    idle.AllocFrames(Bones, 2);
    Steps(1.0f);
    object.SetAnim(&anim, 1, &idle, 0);
    int32_t shown[4];
    for (int32_t& f : shown) {
        f = object.currentFrame;
        object.UpdateAnimEvents();
    }
    EXPECT_EQ(shown[3], 3) << "the last frame is shown";
    EXPECT_EQ(object.currentAnim, &idle);
    EXPECT_EQ(object.returnAnim, nullptr);
    EXPECT_EQ(object.speedWord, 0);

    // The object's own animation plays once and stops.
    object.ownAnim = new NztAnim;  // the object frees it
    object.ownAnim->AllocFrames(Bones, 4);
    object.SetAnim(object.ownAnim, 0, nullptr, 2);
    object.UpdateAnimEvents();
    EXPECT_EQ(object.currentAnim, object.ownAnim);
    object.UpdateAnimEvents();
    EXPECT_EQ(object.currentAnim, nullptr);
    EXPECT_EQ(object.animating, 0);
    EXPECT_EQ(object.IsAnimAtEnd(), 1);

    // Any other animation loops.
    object.SetAnim(&idle, 0, nullptr, 1);
    EXPECT_EQ(object.IsAnimAtEnd(), 1);
    object.UpdateAnimEvents();
    EXPECT_EQ(object.currentAnim, &idle);
    EXPECT_EQ(object.currentFrame, 0);
    EXPECT_EQ(object.IsAnimAtEnd(), 0);
}

TEST_F(BaseAnim, GrowingTheSlotsKeepsTheObjectOnTheMeshArray) {
    mesh->AnimSlots = {&anim};
    mesh->AnimSlotCount = 1;
    object.ResizeAnimSlots(300);
    ASSERT_EQ(mesh->AnimSlots.size(), 300u);
    EXPECT_EQ(object.animSlots, mesh->AnimSlots.data());
    EXPECT_EQ(object.GetAnim(0), &anim);
    object.ResizeAnimSlots(2);
    EXPECT_EQ(mesh->AnimSlots.size(), 300u) << "the slots never shrink";
}

TEST_F(BaseAnim, BoneMasksByMode) {
    struct Case {
        const char* what;
        int32_t index;
        uint8_t mode;
        std::vector<uint8_t> mask;
    } cases[] = {
        {"one bone", 1, 0, {0, 1, 0, 0}},
        {"all bones", 0, 1, {1, 1, 1, 1}},
        {"bone 0 alone in mode 0", 0, 0, {1, 0, 0, 0}},
        {"a bone and the bones it carries", 1, 2, {0, 1, 1, 1}},
        {"a bone that carries nothing", 2, 1, {0, 0, 1, 0}},
        {"a bone the mesh lacks", 9, 0, {0, 0, 0, 0}},
        {"a negative bone", -1, 1, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        object.boneMask.assign(Bones, 7);
        object.SetLayerBoneMask(c.index, c.mode);
        EXPECT_EQ(object.boneMask, c.mask) << c.what;
    }
}

TEST_F(BaseAnim, LayersStartContinueAndStop) {
    ASSERT_EQ(object.layers.size(), size_t(AnimLayerCount));
    object.SetAnimLayer(4, &anim, 4, 0.5f, 1, 1.0f, 0, 1);
    NztAnimLayer& l = object.layers[4];
    EXPECT_EQ(l.Anim, &anim);
    EXPECT_EQ(l.FrameCount, 4);
    EXPECT_EQ(l.BlendMode, 4);
    EXPECT_FLOAT_EQ(l.Weight, 0.5f);
    EXPECT_FLOAT_EQ(l.StartWeight, 0.5f);
    EXPECT_FLOAT_EQ(l.SecondFloat, 1.0f);
    EXPECT_EQ(l.Running, 1);
    EXPECT_EQ(object.boneMask, std::vector<uint8_t>(Bones, 1));

    l.Frame = 2;
    l.NextFrame = 3;
    l.Time = 2.4f;
    object.boneMask.assign(Bones, 0);
    object.SetAnimLayer(4, &anim, 0, 0.25f, 0, 0.0f, 0, 1);
    EXPECT_EQ(l.Frame, 2) << "the same animation keeps its place";
    EXPECT_FLOAT_EQ(l.Time, 2.4f);
    EXPECT_FLOAT_EQ(l.Weight, 0.25f);
    EXPECT_EQ(object.boneMask, std::vector<uint8_t>(Bones, 0)) << "mode 0 leaves the mask alone";

    NztAnim other;
    other.AllocFrames(Bones, 6);
    object.SetAnimLayer(4, &other, 0, 0.25f, 0, 0.0f, 0, 1);
    EXPECT_EQ(l.Frame, 0);
    EXPECT_EQ(l.FrameCount, 6);

    l.Frame = 4;
    object.SetAnimLayer(4, nullptr, 0, 0.0f, 0, 0.0f, 0, 0);
    EXPECT_EQ(l.Anim, nullptr);
    EXPECT_EQ(l.Frame, 0);
    EXPECT_FLOAT_EQ(l.Weight, 0.25f) << "a stopped layer keeps its settings";

    for (int32_t bad : {-1, AnimLayerCount}) object.SetAnimLayer(bad, &anim, 0, 1.0f, 0, 0.0f, 0, 0);
    NztBaseObject bare;
    bare.SetAnimLayer(0, &anim, 1, 1.0f, 0, 0.0f, 0, 0);
    EXPECT_TRUE(bare.layers.empty());
}

TEST_F(BaseAnim, PointPositionsComeFromTheAnchors) {
    object.Position[0] = -5.0f;
    struct Case {
        int32_t point;
        float x;
    } cases[] = {{0, 1.0f}, {2, 3.0f}, {3, -5.0f}, {-1, -5.0f}};
    for (const Case& c : cases) {
        float p[3];
        object.GetPointPosition(c.point, p);
        EXPECT_FLOAT_EQ(p[0], c.x) << "point " << c.point;
    }
    object.attachPoints[1].Anchor = 99;
    float p[3];
    object.GetPointPosition(1, p);
    EXPECT_FLOAT_EQ(p[0], -5.0f) << "an anchor beyond the posed vertices";

    const float moved[3] = {7.0f, 8.0f, 9.0f};
    object.SetPointPosition(0, moved);
    object.SetPointPosition(1, moved);
    object.SetPointPosition(-1, moved);
    object.GetPointPosition(0, p);
    EXPECT_FLOAT_EQ(p[2], 9.0f);
    EXPECT_FLOAT_EQ(object.vertices[0].x, 0.0f);
}

TEST_F(BaseAnim, PointRotationMultipliesTheChainOfTheCurrentFrame) {
    // Bones 0 and 1 each turn a quarter about y in frame 1: the chain of point 0 turns half a turn.
    const float h = std::sqrt(0.5f);
    anim.Frames[1].Keys[0].Rotation = {h, 0.0f, h, 0.0f};
    anim.Frames[1].Keys[1].Rotation = {h, 0.0f, h, 0.0f};
    object.SetAnim(&anim, 0, nullptr, 1);
    float m[9];
    object.GetPointRotation(0, m);
    const float half[9] = {-1, 0, 0, 0, 1, 0, 0, 0, -1};
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(m[k], half[k], 1e-5f) << k;

    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int32_t point : {1, 7, -1}) {
        object.GetPointRotation(point, m);
        for (int k = 0; k < 9; ++k) EXPECT_NEAR(m[k], identity[k], 1e-6f) << "point " << point;
    }
    object.SetAnimFrame(0);
    object.GetPointRotation(0, m);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(m[k], identity[k], 1e-6f) << "frame 0";
}

TEST_F(BaseAnim, AnObjectHangsOnOnePointOnly) {
    NztBaseObject child, other, second;
    child.AttachTo(&object, 0, 4);
    EXPECT_EQ(child.parent, &object);
    EXPECT_EQ(child.parentVertex, 1);
    EXPECT_EQ(object.GetAttachedObject(0), &child);

    child.AttachTo(&object, 2, 4);
    EXPECT_EQ(object.attachPoints[0].Target, nullptr) << "the first point is cleared";
    EXPECT_EQ(object.attachPoints[0].Kind, 0u);
    EXPECT_EQ(object.GetAttachedObject(2), &child);
    EXPECT_EQ(child.parentPoint, 2);

    other.AttachTo(&object, 2, 4);
    EXPECT_EQ(child.parent, nullptr) << "the displaced object lets go";
    EXPECT_EQ(object.GetAttachedObject(2), &other);

    other.attachPoints.resize(1);
    second.AttachTo(&other, 0, 5);
    EXPECT_EQ(other.GetAttachedObject(0), nullptr) << "only kind 4 answers";
    other.AttachTo(&second, 0, 4);
    EXPECT_EQ(other.parent, &object) << "a parent without points is refused";
    second.attachPoints.resize(1);
    other.AttachTo(&other, 0, 4);
    EXPECT_EQ(other.parent, &object) << "an object cannot hang on itself";
    other.AttachTo(&object, 5, 4);
    EXPECT_EQ(other.parent, &object);

    other.Detach();
    EXPECT_EQ(object.GetAttachedObject(2), nullptr);
    EXPECT_EQ(object.GetAttachedObject(-1), nullptr);
    EXPECT_EQ(object.GetAttachedObject(3), nullptr);
    second.Detach();
}

TEST_F(BaseAnim, MoveToObjectTakesTheReferencePlace) {
    NztBaseObject reference, holder, mover;
    const float turned[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    std::copy(turned, turned + 9, reference.rotation);
    reference.meshOffset[2] = 2.0f;
    reference.Position[1] = 5.0f;
    mover.attachPoints.resize(1);
    mover.AttachTo(&object, 1, 4);
    mover.MoveToObject(&reference);
    EXPECT_EQ(mover.parent, nullptr);
    EXPECT_EQ(object.GetAttachedObject(1), nullptr);
    const float expected[3] = {2.0f, 5.0f, 0.0f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(mover.Position[k], expected[k]);
        EXPECT_FLOAT_EQ(mover.PreviousPosition[k], expected[k]);
    }
    for (int k = 0; k < 9; ++k) EXPECT_FLOAT_EQ(mover.rotation[k], turned[k]);

    holder.Position[0] = 100.0f;
    holder.attachPoints.resize(1);
    reference.AttachTo(&holder, 0, 4);
    mover.MoveToObject(&reference);
    EXPECT_FLOAT_EQ(mover.Position[0], 102.0f) << "a hanging reference stands at its parent";
    reference.Detach();
}

TEST_F(BaseAnim, TrailsAreListedOnceAndStopAndResume) {
    NztTrail a, b;
    object.AddTrailLink(&a);
    object.AddTrailLink(&b);
    object.AddTrailLink(&a);
    object.AddTrailLink(nullptr);
    ASSERT_EQ(object.trails.size(), 2u);

    a.running = b.running = 1;
    a.timer = b.timer = 3.0f;
    object.StopTrail(1);
    object.StopTrail(2);
    EXPECT_EQ(b.running, 0u);
    EXPECT_EQ(b.fading, 1u);
    EXPECT_FLOAT_EQ(b.timer, 0.0f);
    EXPECT_EQ(a.running, 1u);

    b.timer = 1.0f;
    object.StopAllTrails();
    EXPECT_FLOAT_EQ(b.timer, 1.0f) << "a stopping trail is left alone";
    EXPECT_EQ(a.fading, 1u);

    NztTrail idle;
    object.AddTrailLink(&idle);
    object.ResumeTrails();
    EXPECT_EQ(a.running, 1u);
    EXPECT_EQ(b.running, 1u);
    EXPECT_EQ(idle.running, 0u) << "a trail that never ran stays off";
    object.trails.clear();
}

TEST_F(BaseAnim, UserPropertiesNeedTheirList) {
    EXPECT_EQ(object.GetUserProperty(0), nullptr);
    object.AddUserProperty();
    ASSERT_NE(object.userProperties, nullptr);
    object.userProperties->properties.resize(2);
    EXPECT_EQ(object.GetUserProperty(1), &object.userProperties->properties[1]);
    EXPECT_EQ(object.GetUserProperty(2), nullptr);
    EXPECT_EQ(object.GetUserProperty(-1), nullptr);
}

}  // namespace
