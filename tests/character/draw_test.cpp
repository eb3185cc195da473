// The character posed and drawn for real, and the world-layer services that resolve characters:
// the camera's default hooks, the mesh binding's blended-material flag and instance count, the
// bolt's position.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <vector>

#include "camera/camera.h"
#include "character/animslots.h"
#include "character/entity.h"
#include "effects/dynobject.h"
#include "effects/meshdraw.h"
#include "effects/shading.h"
#include "effects/thunder.h"
#include "fixture.h"
#include "render/glext.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "support/gl_window.h"

namespace {

// A hidden 64 x 64 window whose projection shows x from -16 to 16 and y from -2 to 30 (the hero
// stands about 17 units tall at the origin), the render state's camera 50 units in front.
class GlCharacterDraw : public CharacterWorld {
protected:
    void SetUp() override {
        CharacterWorld::SetUp();
        UseSampleData();
        ASSERT_TRUE(OpenHiddenGlWindow("character test", 64, 64, &window_, &context_)) << SDL_GetError();
        InitGlExtensions();
        InitRenderState();
        ClearTextureTable();
        BoundTextureId = 0;
        ResetShadingGlobals();
        glViewport(0, 0, 64, 64);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-16, 16, -2, 30, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        RenderState.cameraPosition[2] = 50.0f;
        RenderState.viewAxis[0] = RenderState.viewAxis[1] = 0.0f;
        RenderState.viewAxis[2] = 1.0f;
        SunColour[0] = SunColour[1] = SunColour[2] = 1.0f;
    }
    void TearDown() override {
        Clear();
        DeleteAllTextures();
        ResetShadingGlobals();
        InitRenderState();
        BoundTextureId = 0;
        CloseHiddenGlWindow(&window_, &context_);
        CharacterWorld::TearDown();
    }
    // Grey level of the pixel at world x, y.
    static int Brightness(float x, float y) {
        uint8_t rgba[4] = {};
        const int px = static_cast<int>((x + 16.0f) * 2.0f), py = static_cast<int>((y + 2.0f) * 2.0f);
        glReadPixels(px, py, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return rgba[0] + rgba[1] + rgba[2];
    }
    void Frame(NztEntity* e) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        e->SelectAction();
        e->Update();
        e->RenderOpaque();
        e->Render();
    }

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
};

TEST_F(GlCharacterDraw, TheHeroIsPosedAndDrawnWhereItStands) {
    NztEntity* hero = GetEntityType("Hero1001");
    ASSERT_NE(hero, nullptr);
    hero->unlit = 1;
    hero->visibilityTest = 0;
    Frame(hero);
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(hero->visible, 1);
    // The chest and the legs are drawn; the air beside the hero is not.
    EXPECT_GT(Brightness(0.0f, 12.0f), 0);
    EXPECT_GT(Brightness(-1.0f, 4.0f), 0);
    EXPECT_EQ(Brightness(12.0f, 12.0f), 0);
    EXPECT_EQ(Brightness(0.0f, 26.0f), 0);
    // Moved aside, it is drawn where it stands now.
    hero->Position[0] = hero->PreviousPosition[0] = 10.0f;
    Frame(hero);
    EXPECT_EQ(Brightness(0.0f, 12.0f), 0);
    EXPECT_GT(Brightness(10.0f, 12.0f), 0);
}

TEST_F(GlCharacterDraw, WalkingMovesTheLegsAndTheCharacter) {
    NztEntity* hero = GetEntityType("Hero1001");
    ASSERT_NE(hero, nullptr);
    hero->unlit = 1;
    hero->visibilityTest = 0;
    Frame(hero);
    const Vec3 origin{hero->Position[0], hero->Position[1], hero->Position[2]};
    const std::vector<Vec3> standing(hero->vertices.begin(), hero->vertices.end());
    ASSERT_NE(hero->GetAnim(animslot::MoveWalk), nullptr);
    hero->BlendToAnimIndex(animslot::MoveWalk, 0, animslot::None, 0);
    for (int frame = 0; frame < 12; ++frame) Frame(hero);
    EXPECT_EQ(hero->currentAnim, hero->GetAnim(animslot::MoveWalk));
    EXPECT_GT(hero->Position[2], 1.0f) << "the walk's root motion carries the character forward";
    // Relative to the character, the swinging legs moved along its forward axis.
    const Vec3 now{hero->Position[0], hero->Position[1], hero->Position[2]};
    float moved = 0.0f;
    for (size_t i = 0; i < standing.size() && i < hero->vertices.size(); ++i)
        moved = std::max(moved, std::fabs((hero->vertices[i].z - now.z) - (standing[i].z - origin.z)));
    EXPECT_GT(moved, 0.2f);
}

// ---------------------------------------------------------------------------------------------
// The world layer's character services

using WorldServices = CharacterWorld;

TEST_F(WorldServices, TheCameraFindsCharactersThroughTheRegistries) {
    NztEntity* near = Plain(5.0f);
    NztEntity* far = Plain(50.0f);
    near->id = 7;
    int32_t count = 0;
    NztBase3D* const* list = CameraServices.characters(&count);
    ASSERT_EQ(count, 2);
    EXPECT_TRUE((list[0] == near && list[1] == far) || (list[0] == far && list[1] == near));
    EXPECT_EQ(CameraServices.findObject(ObjectKindEntity, 7), near);
    EXPECT_EQ(CameraServices.findObject(ObjectKindScn, 7), nullptr);
    EXPECT_EQ(CameraServices.isAirborne(near), 0);
    near->airborne = 1;
    EXPECT_EQ(CameraServices.isAirborne(near), 1);
    PlayerEntity = far;
    far->controlWord = 3;
    EXPECT_EQ(CameraServices.playerControlState(), 3);

    // Mode 7 follows the nearest registered character, found through the default hooks.
    const CNztCamera savedCamera = MainCamera;
    const CameraControlBlock savedControl = CameraControl;
    CameraServices.readInput = [](CameraInputState* in) { *in = CameraInputState{}; };
    CameraServices.collideSegment = [](const Vec3&, const Vec3&, NztBase3D*, Vec3*) -> uint32_t { return 0; };
    CameraServices.groundHeightAt = [](const Vec3&, float, float, float* floor, float* surface) {
        *floor = *surface = 0.0f;
        return 0;
    };
    FrameAccumulators.tickA = 0.0f;
    MainCamera.eye = {0.0f, 0.0f, 0.0f};
    SetCameraMode(7);
    UpdateCamera();
    EXPECT_EQ(CameraControl.targetObject, near);
    ResetCameraHooks();
    SetCameraMode(1);
    MainCamera = savedCamera;
    CameraControl = savedControl;
}

TEST_F(WorldServices, MeshBindingCarriesTheBlendedRunAndCountsInstances) {
    NztMesh mesh;
    mesh.BlendWords[0] = 0.25f;
    NztDynObject d;
    d.SetMesh(&mesh);
    EXPECT_EQ(mesh.InstanceCount, 1u);
    struct Case {
        uint32_t firstLayer3;
        int32_t transparent;
    };
    for (const Case& c : {Case{0, 0}, Case{1, 1}}) {
        mesh.FirstLayer3Material = c.firstLayer3;
        d.BindMeshData();
        EXPECT_EQ(d.hasTransparent, c.transparent) << c.firstLayer3;
    }
    EXPECT_FLOAT_EQ(d.blendWords[0], 0.25f);
    {
        NztDynObject second;
        second.SetMesh(&mesh);
        EXPECT_EQ(mesh.InstanceCount, 2u);
    }
    EXPECT_EQ(mesh.InstanceCount, 1u);
    d.mesh = nullptr;
}

TEST_F(WorldServices, ABoltStandsAtItsStart) {
    NztThunder bolt;
    bolt.startPosition[0] = 3.0f;
    bolt.startPosition[1] = 4.0f;
    bolt.startPosition[2] = 5.0f;
    bolt.endPosition[0] = 30.0f;
    bolt.active = 1;
    bolt.LateUpdate();
    EXPECT_EQ(bolt.Position[0], 3.0f);
    EXPECT_EQ(bolt.Position[1], 4.0f);
    EXPECT_EQ(bolt.Position[2], 5.0f);
}

}  // namespace
