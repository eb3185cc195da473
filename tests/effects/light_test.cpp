// Lights: the range setters and the terms they keep, spot aiming, the near-light list as the
// camera moves, following objects and keys, the flare quad, and what deleting a light undoes.
#include "effects/dynobject.h"
#include "effects/light.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "camera/camera.h"
#include "effects/lightworld.h"
#include "effects/meshdraw.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/renderstate.h"
#include "render/texture.h"

namespace {

class Lights : public LightWorld {
protected:
    // A light of the library whose camera cut-off is r, placed at x on the x axis.
    static NztLight* LightAt(float x, float r, uint32_t kind = 1) {
        NztLight* light = CreateLight(kind);
        light->SetRange(r);
        light->Position[0] = x;
        return light;
    }
};

TEST_F(Lights, FreshLightHasTheFadeOfItsDefaultRange) {
    NztLight fresh;
    NztLight set;
    set.SetRange(std::sqrt(500.0f));
    EXPECT_EQ(fresh.kind, ObjectKindLight);
    EXPECT_FLOAT_EQ(fresh.range, 500.0f);
    EXPECT_FLOAT_EQ(fresh.FadeStart, 400.0f);
    EXPECT_FLOAT_EQ(fresh.FadeScale, 0.01f);
    EXPECT_FLOAT_EQ(set.range, fresh.range);
    EXPECT_FLOAT_EQ(set.FadeStart, fresh.FadeStart);
    EXPECT_NEAR(set.FadeScale, fresh.FadeScale, 1e-6f);
    EXPECT_NEAR(fresh.GetRange(), std::sqrt(500.0f), 1e-4f);

    // A range of 0 leaves no infinite fade scale behind.
    set.SetRange(0.0f);
    EXPECT_EQ(set.range, 0.0f);
    EXPECT_TRUE(std::isfinite(set.FadeScale));
}

TEST_F(Lights, RangeSettersKeepInnerWithinOuter) {
    enum Op { Outer, Inner };
    struct Case {
        const char* name;
        uint32_t kind;
        float inner, outer;  // before
        Op op;
        float value;
        float wantInner, wantOuter, wantSpan;
    };
    const Case cases[] = {
        {"outer set", 1, 20, 100, Outer, 60, 20, 60, 1.0f / 40},
        {"outer below inner pulls inner down", 1, 50, 100, Outer, 30, 30, 30, 0.0f},
        {"inner above outer pushes outer up", 1, 10, 100, Inner, 150, 150, 150, 0.0f},
        {"negative outer becomes 0", 1, 0, 100, Outer, -5, 0, 0, 0.0f},
        {"negative inner becomes 0", 1, 10, 100, Inner, -5, 0, 100, 1.0f / 100},
        {"NaN outer becomes 0", 1, 0, 100, Outer, NAN, 0, 0, 0.0f},
        {"kind above 7 keeps its span", 9, 10, 100, Outer, 60, 10, 60, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NztLight light;
        light.LightKind = c.kind;
        light.InnerRange = c.inner;
        light.OuterRange = c.outer;
        light.OuterRangeSquared = c.outer * c.outer;
        light.InverseRangeSpan = 0.5f;
        if (c.op == Outer)
            EXPECT_EQ(light.SetOuterRange(c.value), c.wantOuter);
        else
            light.SetInnerRange(c.value);
        EXPECT_FLOAT_EQ(light.InnerRange, c.wantInner);
        EXPECT_FLOAT_EQ(light.OuterRange, c.wantOuter);
        EXPECT_FLOAT_EQ(light.OuterRangeSquared, c.wantOuter * c.wantOuter);
        EXPECT_FLOAT_EQ(light.InverseRangeSpan, c.wantSpan);
        EXPECT_TRUE(std::isfinite(light.InverseOuterRange));
    }
}

TEST_F(Lights, SpotAimsFromItsTargetAndSurvivesATargetOnItself) {
    NztLight spot;
    spot.LightKind = 5;
    spot.TargetPosition[1] = 10.0f;
    spot.Position[1] = 40.0f;
    spot.SetInnerRange(30.0f);  // outer 250 stays
    spot.SetOuterRange(40.0f);
    EXPECT_FLOAT_EQ(spot.TargetDistance, 30.0f);
    EXPECT_FLOAT_EQ(spot.InverseTargetDistance, 1.0f / 30);
    EXPECT_FLOAT_EQ(spot.InverseTargetDistance2, 1.0f / 30);
    EXPECT_FLOAT_EQ(spot.OuterConeCosine, 30.0f / 50.0f);
    EXPECT_FLOAT_EQ(spot.InnerConeCosine, 30.0f / std::sqrt(1800.0f));
    EXPECT_FLOAT_EQ(spot.Direction[0], 0.0f);
    EXPECT_FLOAT_EQ(spot.Direction[1], 1.0f);
    EXPECT_FLOAT_EQ(spot.Direction[2], 0.0f);

    // The target on the light: no cone, nothing infinite, the last direction kept.
    spot.TargetPosition[1] = 40.0f;
    spot.UpdateDirection();
    EXPECT_EQ(spot.TargetDistance, 0.0f);
    EXPECT_EQ(spot.InverseTargetDistance2, 0.0f);
    for (float v : {spot.OuterConeCosine, spot.InnerConeCosine, spot.Direction[0], spot.Direction[1]})
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_FLOAT_EQ(spot.Direction[1], 1.0f);
    spot.SetInnerRange(0.0f);
    spot.SetOuterRange(0.0f);
    EXPECT_TRUE(std::isfinite(spot.OuterConeCosine));
}

TEST_F(Lights, ColourIsClamped) {
    NztLight light;
    light.SetColor(-0.5f, 0.25f, 3.0f);
    EXPECT_EQ(light.Colour[0], 0.0f);
    EXPECT_EQ(light.Colour[1], 0.25f);
    EXPECT_EQ(light.Colour[2], 1.0f);
}

// Range 10 (100 squared, fading from 80): the camera on the x axis at the given distance.
TEST_F(Lights, CameraDistanceDecidesNearnessAndFade) {
    struct Case {
        float distance;
        bool near;
        float intensity;  // when near
    };
    const Case cases[] = {
        {0.0f, true, 0.5f},              // base intensity inside the fade start
        {std::sqrt(80.0f), true, 0.5f},  // exactly at the fade start
        {std::sqrt(90.0f), true, 0.5f},  // half way through the fade
        {10.0f, true, 0.0f},             // exactly at the range: still near
        {10.01f, false, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.distance);
        NztLight* light = LightAt(0.0f, 10.0f);
        light->BaseIntensity = 0.5f;
        MainCamera.eye = {c.distance, 0.0f, 0.0f};
        light->Update();
        EXPECT_EQ(Near(light), c.near);
        EXPECT_EQ(light->registered != 0, c.near);
        if (c.near) {
            EXPECT_NEAR(light->Intensity, c.intensity, 1e-4f);
        }
        EXPECT_NEAR(light->cameraDistanceSq, c.distance * c.distance, 1e-3f);
        DeleteAllLights();
    }
}

TEST_F(Lights, EnteringAndLeavingRangeChangeTheListOnce) {
    NztLight* a = LightAt(0.0f, 10.0f);
    NztLight* b = LightAt(100.0f, 10.0f);
    NztLight* off = LightAt(0.0f, 10.0f);
    off->Active = 0;
    a->Update();
    a->Update();
    b->Update();
    off->Update();
    ASSERT_EQ(NearLightRegistry.count, 1);
    EXPECT_TRUE(Near(a));

    MainCamera.eye = {100.0f, 0.0f, 0.0f};
    a->Update();
    b->Update();
    ASSERT_EQ(NearLightRegistry.count, 1);
    EXPECT_TRUE(Near(b));
    EXPECT_EQ(a->registered, 0);
    EXPECT_FALSE(Near(off)) << "an inactive light is never tested";
}

TEST_F(Lights, FollowsItsObjectsAndMovesByItsKeys) {
    NztBaseObject carrier;
    NztBaseObject target;
    carrier.Position[0] = 5.0f;
    carrier.Position[1] = 30.0f;
    target.Position[0] = 5.0f;
    NztLight* spot = LightAt(0.0f, 1000.0f, 6);
    spot->followedObject = &carrier;
    spot->followedPoint = -1;
    spot->targetObject = &target;
    spot->targetPoint = -1;
    spot->Update();
    EXPECT_FLOAT_EQ(spot->Position[1], 30.0f);
    EXPECT_FLOAT_EQ(spot->TargetPosition[0], 5.0f);
    EXPECT_FLOAT_EQ(spot->TargetDistance, 30.0f);
    EXPECT_FLOAT_EQ(spot->Direction[1], 1.0f);

    // A move key spread over one second: half of it in half a second; a turn key moves nothing.
    NztLight* keyed = LightAt(0.0f, 1000.0f);
    float dt = 0.5f;
    keyed->timeSource = &dt;
    NztControllerKey move;
    move.kind = ControllerKeyMove;
    move.duration = 1.0f;
    move.vector[2] = 10.0f;
    keyed->AddKey(&move);
    keyed->Update();
    EXPECT_FLOAT_EQ(keyed->Position[2], 5.0f);
    NztControllerKey turn;
    turn.kind = ControllerKeyTurn;
    turn.duration = 1.0f;
    turn.vector[1] = 100.0f;
    keyed->ClearKeys();
    keyed->AddKey(&turn);
    EXPECT_EQ(keyed->ApplyControllerKeys(), 0);
    EXPECT_FLOAT_EQ(keyed->Position[2], 5.0f);
}

TEST_F(Lights, MoveToObjectStandsAheadOfTheParentAndDropsLinks) {
    NztBaseObject parent;
    NztBaseObject child;
    parent.Position[0] = 100.0f;
    child.Position[0] = -7.0f;  // not used: the parent is the reference
    child.parent = &parent;
    child.meshOffset[2] = 4.0f;
    const float forwardX[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};  // row 2 points along +x
    child.SetRotation(forwardX);
    NztLight light;
    light.followedObject = &child;
    light.followedPoint = 2;
    light.targetObject = &parent;
    light.MoveToObject(&child);
    EXPECT_FLOAT_EQ(light.Position[0], 104.0f);
    EXPECT_EQ(light.followedObject, nullptr);
    EXPECT_EQ(light.followedPoint, 0);
    EXPECT_EQ(light.targetObject, nullptr);
}

TEST_F(Lights, DeletingALightUnlinksItsCarrierAndTheNearList) {
    NztDynObject* carrier = CreateDynObject(nullptr);
    NztDynObject* other = CreateDynObject(nullptr);
    NztLight* light = LightAt(0.0f, 10.0f);
    NztLight* kept = LightAt(0.0f, 10.0f);
    carrier->carriedLight = light;
    other->carriedLight = kept;
    light->Update();
    kept->Update();
    ASSERT_EQ(NearLightRegistry.count, 2);

    DeleteLightAt(0);
    EXPECT_EQ(carrier->carriedLight, nullptr);
    EXPECT_EQ(other->carriedLight, kept);
    ASSERT_EQ(NearLightRegistry.count, 1) << "no deleted light left for the mesh lighting";
    EXPECT_EQ(NearLightRegistry.objects[0], kept);
}

// The flare: one indexed quad around the light, facing the camera, in the opacity times the
// intensity; nothing without a texture or when inactive.
TEST_F(Lights, FlareIsOneCameraFacingQuad) {
    struct Drawn {
        int draws = 0;
        GLenum mode = 0;
        GLsizei count = 0;
        float colour[4] = {};
        std::vector<float> corners;
        GLuint bound = 0;
    };
    static Drawn drawn;
    drawn = {};
    const MeshDrawGlCalls savedGl = MeshGl;
    MeshGl.Color4f = [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
        drawn.colour[0] = r, drawn.colour[1] = g, drawn.colour[2] = b, drawn.colour[3] = a;
    };
    static const float* vertices = nullptr;
    MeshGl.VertexPointer = [](GLint, GLenum, GLsizei, const void* p) {
        vertices = static_cast<const float*>(p);
    };
    MeshGl.TexCoordPointer = [](GLint, GLenum, GLsizei, const void*) {};
    MeshGl.BindTexture = [](GLenum, GLuint name) { drawn.bound = name; };
    MeshGl.DrawElements = [](GLenum mode, GLsizei count, GLenum, const void*) {
        ++drawn.draws;
        drawn.mode = mode;
        drawn.count = count;
        drawn.corners.assign(vertices, vertices + 12);
    };
    // Every cached switch already where the flare wants it: no GL call outside the table above.
    RenderState.activeTextureUnit = 0;
    RenderState.clientActiveTextureUnit = 0;
    RenderState.vertexArrayOn = RenderState.texCoordArrayOn = 1;
    const uint32_t savedBound = BoundTextureId;
    BoundTextureId = 0;

    NztLight light;
    light.Position[2] = -50.0f;
    light.FlareHalfSize = 2.0f;
    light.FlareOpacity = 0.5f;
    light.Intensity = 0.5f;
    light.Render();
    EXPECT_EQ(drawn.draws, 0) << "no texture";
    light.FlareTexture = 7;
    light.Active = 0;
    light.Render();
    EXPECT_EQ(drawn.draws, 0) << "inactive";
    light.Active = 1;
    light.Render();

    MeshGl = savedGl;
    BoundTextureId = savedBound;
    ASSERT_EQ(drawn.draws, 1);
    EXPECT_EQ(drawn.mode, static_cast<GLenum>(GL_QUADS));
    EXPECT_EQ(drawn.count, 4);
    EXPECT_EQ(drawn.bound, 7u);
    for (float c : drawn.colour) EXPECT_FLOAT_EQ(c, 0.25f);
    // The identity camera: right is +x, up is +y; corners bottom-left, bottom-right, top-right,
    // top-left.
    const float want[12] = {-2, -2, -50, 2, -2, -50, 2, 2, -50, -2, 2, -50};
    ASSERT_EQ(drawn.corners.size(), 12u);
    for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(drawn.corners[i], want[i]) << i;
}

}  // namespace
