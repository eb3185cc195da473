// Scene objects: construction, the angles read from and packed out of the rotation, the update
// passes each object takes part in, and the fades of the two render passes (drawn through a
// recording GL layer, headless).
#include "world/scnobject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "camera/camera.h"
#include "core/nztmath.h"
#include "effects/meshdraw.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "objects/attach.h"
#include "render/glrecorder.h"
#include "render/renderstate.h"

namespace {

class ScnObjects : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        BuildRandomTable();
        savedTiming = FrameTiming;
        savedRender = RenderState;
        savedCamera = MainCamera;
        FrameTiming.frameTime = 0.02f;
    }
    void TearDown() override {
        FrameTiming = savedTiming;
        RenderState = savedRender;
        MainCamera = savedCamera;
        ResetMathTables();
    }
    // A rotation of angle units about one axis (0 x, 1 y, 2 z), through a quaternion.
    static void AxisRotation(int axis, float units, float out[9]) {
        const float half = units * RadiansPerAngleUnit * 0.5f;
        float q[4] = {std::cos(half), 0.0f, 0.0f, 0.0f};
        q[1 + axis] = std::sin(half);
        QuatToMatrix(out, q);
    }

    FrameTimingState savedTiming;
    NztRenderState savedRender;
    CNztCamera savedCamera;
};

TEST_F(ScnObjects, ANewSceneObjectFadesOverTheLastFifthOfAThousandUnits) {
    NztScnObject o;
    EXPECT_EQ(o.kind, ObjectKindScn);
    EXPECT_EQ(o.range, 1000.0f);
    EXPECT_EQ(o.fadeStart, 800.0f);
    EXPECT_FLOAT_EQ(o.fadeFactor, 0.005f);
    EXPECT_EQ(o.timerRunning, 1u);
    EXPECT_EQ(o.depthBias, 0.0f);
    EXPECT_EQ(o.rotationDirty, 0u);
    EXPECT_EQ(o.scnWords[0] | o.scnWords[1], 0);
}

TEST_F(ScnObjects, AnglesComeBackFromTheRotationOnEachAxis) {
    struct Case {
        int axis;
        float units;
    } cases[] = {{0, 300}, {1, 1024}, {2, 1500}, {1, -512}, {0, 2000}, {2, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "axis " << c.axis << ", " << c.units);
        NztScnObject o;
        AxisRotation(c.axis, c.units, o.rotation);
        const float got[3] = {o.GetPitchFromMatrix(), o.GetYawFromMatrix(), o.GetRollFromMatrix()};
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], k == c.axis ? c.units : 0.0f, 0.5f) << k;
    }
}

TEST_F(ScnObjects, ATinyTurnKeepsTheRawAxisComponent) {
    // sin(half the turn) is below 0.001: the component is not divided by it, so the angle comes
    // out as a small fraction of the turn rather than the turn itself.
    NztScnObject o;
    AxisRotation(1, 1.0f, o.rotation);
    const float yaw = o.GetYawFromMatrix();
    EXPECT_GE(yaw, 0.0f);
    EXPECT_LT(yaw, 0.01f);
    // An identity rotation gives zero everywhere, not a division by zero.
    NztScnObject still;
    EXPECT_EQ(still.GetPitchFromMatrix(), 0.0f);
    EXPECT_EQ(still.GetYawFromMatrix(), 0.0f);
    EXPECT_EQ(still.GetRollFromMatrix(), 0.0f);
}

TEST_F(ScnObjects, CopyTransformPacksTheRoundedAnglesAndKeepsTheOtherBits) {
    struct Case {
        int axis;
        float units;
        uint32_t packed, roll;  // expected
    } cases[] = {
        {0, 300.2f, 0xAB000000u | 300u, 0x12345000u},
        {1, 1024.0f, 0xAB000000u | (1024u << 12), 0x12345000u},
        {1, -512.0f, 0xAB000000u | (3584u << 12), 0x12345000u},  // wraps in its 12 bits
        {2, 1499.8f, 0xAB000000u, 0x12345000u | 1500u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "axis " << c.axis << ", " << c.units);
        NztScnObject o;
        o.packedAngles = 0xABFFFFFFu;
        o.roll = 0x12345FFFu;
        float m[9];
        AxisRotation(c.axis, c.units, m);
        o.CopyTransform(m);
        for (int k = 0; k < 9; ++k) EXPECT_EQ(o.rotation[k], m[k]);
        EXPECT_EQ(o.packedAngles, c.packed);
        EXPECT_EQ(o.roll, c.roll);
    }
}

TEST_F(ScnObjects, ADirtyRotationIsRebuiltFromTheYawAlone) {
    NztScnObject o;
    float m[9];
    AxisRotation(0, 300.0f, m);
    o.CopyTransform(m);
    o.packedAngles |= 1024u << 12;  // yaw, with the pitch of the copy left in the word
    o.roll = 200;

    o.RefreshRotation();  // not dirty: the rotation stands
    for (int k = 0; k < 9; ++k) EXPECT_EQ(o.rotation[k], m[k]);

    o.rotationDirty = 1;
    o.RefreshRotation();
    EXPECT_EQ(o.rotationDirty, 0u);
    EXPECT_NEAR(std::fabs(o.GetYawFromMatrix()), 1024.0f, 0.5f);
    EXPECT_NEAR(o.GetPitchFromMatrix(), 0.0f, 0.5f);
    EXPECT_NEAR(o.GetRollFromMatrix(), 0.0f, 0.5f);
}

TEST_F(ScnObjects, KeysMoveAFreeObjectAndDropItWhenCarried) {
    NztControllerKey key;
    key.kind = ControllerKeyMove;
    key.duration = 1.0f;
    key.vector[0] = 50.0f;
    struct Case {
        const char* what;
        int32_t state;
        bool hanging;
        int32_t stateAfter;
        bool moves;
    } cases[] = {
        {"carried", 1, false, 2, true},
        {"already dropped", 2, false, 2, true},
        {"moving", 0, false, 0, true},
        {"hanging on a parent", 1, true, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NztScnObject parent, o;
        o.timeSource = &FrameTiming.frameTime;
        o.poseState = c.state;
        if (c.hanging) o.parent = &parent;
        o.AddKey(&key);
        o.Update();
        EXPECT_EQ(o.poseState, c.stateAfter);
        EXPECT_EQ(o.Position[0] > 0.0f, c.moves);
        o.ClearKeys();
    }
}

// The second view depth carries the depth bias after the first-pass update and the model sync;
// the late update leaves free objects alone and places hanging ones without it.
TEST_F(ScnObjects, EachPassPlacesItsOwnObjectsAndAddsTheDepthBias) {
    RenderState.cameraPosition[2] = 100.0f;
    RenderState.viewAxis[0] = 0.0f, RenderState.viewAxis[1] = 0.0f, RenderState.viewAxis[2] = 1.0f;
    MainCamera.eye = {0.0f, 0.0f, 100.0f};
    NztScnObject parent;
    struct Case {
        const char* what;
        bool hanging;
        void (NztScnObject::*pass)();
        float sortDepth;  // -1: not placed
    } cases[] = {
        {"free, first pass", false, &NztScnObject::Update, 85.0f},
        {"free, model sync", false, &NztScnObject::SyncModel, 85.0f},
        {"free, late pass", false, &NztScnObject::LateUpdate, -1.0f},
        {"hanging, first pass", true, &NztScnObject::Update, -1.0f},
        {"hanging, late pass", true, &NztScnObject::LateUpdate, 80.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NztScnObject o;
        o.Position[2] = 20.0f;
        o.depthBias = 5.0f;
        o.sortDepth = -1.0f;
        if (c.hanging) o.parent = &parent;
        (o.*c.pass)();
        EXPECT_EQ(o.sortDepth, c.sortDepth);
        if (c.sortDepth >= 0.0f) {
            EXPECT_EQ(o.cameraDistanceSq, 6400.0f);
        }
    }
}

TEST_F(ScnObjects, AgeAlwaysRunsAndTheTimerOnlyWhileRunning) {
    NztScnObject o;  // not visible: nothing is drawn
    o.RenderOpaque();
    o.RenderOpaque();
    EXPECT_FLOAT_EQ(o.age, 0.04f);
    EXPECT_FLOAT_EQ(o.timer, 0.04f);
    o.timerRunning = 0;
    o.RenderOpaque();
    EXPECT_FLOAT_EQ(o.age, 0.06f);
    EXPECT_EQ(o.timer, 0.0f);
}

// A static object is posed once and then skipped until it is asked to pose again; its shadow
// corners follow the poses, not the frames in between.
TEST_F(ScnObjects, TheShadowFollowsTheObjectWhenItsMeshIsRebuilt) {
    NztMesh mesh;
    mesh.AllocLod(3, 0, 0, 0, 0, 0, 0, 0, 0);
    mesh.Lods[0].Vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    mesh.SelectLod(0);
    mesh.Size = {4.0f, 1.0f, 2.0f};
    NztScnObject o;
    o.SetMesh(&mesh);
    o.visibilityTest = 0;  // always in view
    o.SetGroundQuad(1.0f);
    ASSERT_NE(o.worldGroundQuad, nullptr);
    struct Frame {
        const char* what;
        float x;
        int32_t state;    // pose state before the update
        float cornerX;    // of the first shadow corner after it
        float vertexX;    // of the second posed vertex after it
    } frames[] = {
        {"first pose", 10.0f, 2, 8.0f, 11.0f},
        {"moved without a pose", 20.0f, 1, 8.0f, 11.0f},
        {"posed again", 20.0f, 2, 18.0f, 21.0f},
    };
    for (const Frame& f : frames) {
        SCOPED_TRACE(f.what);
        o.Position[0] = f.x;
        o.poseState = f.state;
        o.Update();
        EXPECT_EQ(o.poseState, 1);
        EXPECT_FLOAT_EQ(o.worldGroundQuad[0], f.cornerX);
        EXPECT_FLOAT_EQ(o.worldGroundQuad[1], 0.05f);
        EXPECT_FLOAT_EQ(o.vertices[1].x, f.vertexX);
    }
}

// ---- the render passes, recorded --------------------------------------------------------------

struct Recorded {
    std::vector<float> alphas;  // the colour alpha of every unlit draw
    int draws = 0;
};

Recorded& Record() {
    static Recorded record;
    return record;
}

class ScnObjectDrawing : public ScnObjects {
protected:
    void SetUp() override {
        ScnObjects::SetUp();
        session = std::make_unique<glrec::Session>();
        Record() = Recorded{};
        MeshGl.VertexPointer = [](GLint, GLenum, GLsizei, const void*) {};
        MeshGl.ColorPointer = [](GLint, GLenum, GLsizei, const void*) {};
        MeshGl.TexCoordPointer = [](GLint, GLenum, GLsizei, const void*) {};
        MeshGl.BindTexture = [](GLenum, GLuint) {};
        MeshGl.TexEnvi = [](GLenum, GLenum, GLint) {};
        MeshGl.Color4f = [](GLfloat, GLfloat, GLfloat, GLfloat a) { Record().alphas.push_back(a); };
        MeshGl.DrawElements = [](GLenum, GLsizei, GLenum, const void*) { ++Record().draws; };
        // Material 0 blended, material 1 opaque; one triangle each.
        mesh.AllocLod(4, 2, 0, 0, 0, 0, 0, 0, 0);
        for (uint32_t i = 0; i < 2; ++i) {
            MeshMaterial& mat = mesh.Lods[0].Materials[i];
            mat.Indices = {0, 1, 2};
            mat.IndexCount = 3;
            mat.Layer1 = static_cast<int32_t>(10 + i);
        }
        mesh.FirstLayer3Material = mesh.Lods[0].FirstLayer3Material = 1;
        mesh.DrawEnabled = mesh.Lods[0].DrawEnabled = 1;
    }
    void TearDown() override {
        MeshGl = MeshDrawGlCalls{};
        session.reset();
        ScnObjects::TearDown();
    }
    // A visible unlit object of size 10 at second view depth d.
    void Place(NztScnObject& o, float d, float bias, uint32_t transparent) {
        o.mesh = &mesh;
        o.vertices.assign(4, Vec3{0.0f, 0.0f, 0.0f});
        o.normals.assign(4, Vec3{0.0f, 0.0f, 1.0f});
        o.colours.assign(16, 1.0f);
        o.unlit = 1;
        o.visible = 1;
        o.SetSize(10.0f);
        o.sortDepth = d;
        o.depthBias = bias;
        o.hasTransparent = static_cast<int32_t>(transparent);
    }

    NztMesh mesh;
    std::unique_ptr<glrec::Session> session;
};

TEST_F(ScnObjectDrawing, FarObjectsFadeOutAndNearTransparentOnesFadeIn) {
    struct Case {
        const char* what;
        float d, bias;
        uint32_t transparent;
        int draws;         // triangles drawn by the second pass
        float alpha;       // of those draws; -1: none
    } cases[] = {
        {"inside the fade distance", 800.0f, 0.0f, 1, 1, 1.0f},
        {"half-way through the last fifth", 900.0f, 0.0f, 1, 2, 0.5f},
        {"the bias moves the fade out", 905.0f, 5.0f, 1, 2, 0.5f},
        {"at the range", 1000.0f, 0.0f, 0, 2, 0.0f},
        {"one and a half sizes away", 15.0f, 0.0f, 1, 2, 0.5f},
        {"the bias moves the fade in", 20.0f, 5.0f, 1, 2, 0.5f},
        {"two sizes away: drawn plainly", 20.0f, 0.0f, 1, 1, 1.0f},
        {"near but without transparent materials", 15.0f, 0.0f, 0, 0, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Record() = Recorded{};
        NztScnObject o;
        Place(o, c.d, c.bias, c.transparent);
        o.Render();
        EXPECT_EQ(Record().draws, c.draws);
        for (float a : Record().alphas) EXPECT_NEAR(a, c.alpha, 1e-5f);
        EXPECT_EQ(o.opacity, 1.0f);  // back for the next frame
        o.mesh = nullptr;
    }
}

TEST_F(ScnObjectDrawing, TheOpaquePassStopsAtTheFadeDistance) {
    struct Case {
        float d, bias;
        int draws;
    } cases[] = {{800.0f, 0.0f, 1}, {800.5f, 0.0f, 0}, {804.0f, 5.0f, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.d);
        Record() = Recorded{};
        NztScnObject o;
        Place(o, c.d, c.bias, 0);
        o.RenderOpaque();
        EXPECT_EQ(Record().draws, c.draws);
        o.mesh = nullptr;
    }
}

// With a shadow the faded opacity stays for the shadow's own draw only; kept any longer, it would
// dim the object's lighting and its shadow in every later frame.
TEST_F(ScnObjectDrawing, AShadowedObjectDoesNotKeepItsFadedOpacity) {
    NztScnObject o;
    Place(o, 900.0f, 0.0f, 1);
    o.groundQuadStrength = 0.5f;
    o.Render();
    EXPECT_EQ(o.opacity, 1.0f);
    Record() = Recorded{};
    o.sortDepth = 500.0f;
    o.Render();
    for (float a : Record().alphas) EXPECT_EQ(a, 1.0f);
    o.mesh = nullptr;
}

}  // namespace
