// A character's health bar through the frame's own drawing: the character is given its life, its
// bar switch and order 6 by the actions a level's scripts run, then updated and drawn by the object
// passes with the real camera, and the bar is found in the pixels read back.
#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "camera/camera.h"
#include "character/entity.h"
#include "character/entitylist.h"
#include "core/frameclock.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "eventactions/eventactions.h"
#include "model/animlib.h"
#include "model/mesh.h"
#include "model/temp_folder.h"
#include "objects/actions.h"
#include "objects/base3d.h"
#include "objects/eventrecord.h"
#include "objects/events.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "support/gl_pixels.h"
#include "support/gl_window.h"
#include "ui/panel.h"
#include "ui/wnd.h"
#include "world/framepass.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int32_t kWatcherId = 2;
constexpr int32_t kHeroId = 1;

class GlHealthBarFrame : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenHiddenGlWindow("health bar", kWidth, kHeight, &window_, &context_)) << SDL_GetError();
        BuildSinCosTables();
        BuildRandomTable();
        savedTiming_ = FrameTiming;
        ClearWorld();
        AllocObjectLists();
        ResetAnimDefaults();
        FrameTiming.frameTime = 0.02f;
        FrameTiming.frameFactor = 1.0f;
        ASSERT_FALSE(temp_.path().empty());
        for (const auto& [name, bytes] : datakit::SampleModelFiles())
            ASSERT_TRUE(datakit::WriteModelFile(temp_.path() + name, bytes));
        ASSERT_TRUE(SetDataFolder(temp_.path().c_str()));

        // The GL state the game starts with (back-face culling on), a 320 x 240 screen, and the drawer
        // of the bars that the game installs into the render pass.
        InitGlExtensions();
        InitRenderState();
        ClearTextureTable();
        BoundTextureId = 0;
        ApplyScreenSize(RenderState, kWidth, kHeight);
        SetDefaultGLState();
        ApplyScreenViewport(RenderState, static_cast<float>(kWidth), static_cast<float>(kHeight));
        SetFieldOfView(0.3);  // the main camera's default
        savedDrawer_ = ObjectBarsDrawer;
        ObjectBarsDrawer = DrawObjectBars;
        RegisterCharacterActions();

        // The camera 60 units south of the origin, 10 up, looking along -z.
        MainCamera.Init();
        MainCamera.SetPosition({0.0f, 10.0f, 60.0f});
        MainCamera.UpdateMatrix();
    }
    void TearDown() override {
        ObjectBarsDrawer = savedDrawer_;
        ResetDeferredActions();
        ResetEventActions();
        ClearWorld();
        DeleteAllTextures();
        InitRenderState();
        BoundTextureId = 0;
        MainCamera.Init();
        FrameTiming = savedTiming_;
        CloseHiddenGlWindow(&window_, &context_);
    }
    static void ClearWorld() {
        PlayerEntity = nullptr;
        RemoveAllEntities();
        DeleteAllMeshData();
        DeleteAllAnims();
        FreeTypeTables();
        FreeObjectLists();
        ClearObjectLists();
        ResetObjectHooks();
        ResetCharacterHooks();
    }
    // An action of a level script on the character kWatcherId.
    static void Run(uint32_t action, int32_t param, int32_t param2, float value1 = 0.0f) {
        EventRecord r = BlankEventRecord();
        r.Action = action;
        r.TargetKind = ObjectKindEntity;
        r.TargetId = kWatcherId;
        r.Param = param;
        r.Param2 = param2;
        r.Value1 = value1;
        r.Target2Kind = ObjectKindEntity;
        r.Target2Id = kHeroId;
        GameEventObject.ExecuteAction(&r);
        RunDeferredActions();
    }
    // One game frame: the update passes, then the drawing as the game frame does it.
    static std::vector<uint8_t> Frame() {
        MainCamera.UpdateView();
        UpdateObjects();
        LateUpdateObjects();
        glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        RenderObjects();
        DrawAllWnds();
        return ReadBackPixels(kWidth, kHeight);
    }
    // Columns of the widest run of fill pixels (the bar's orange, a quarter as much green, no blue)
    // found in any row, and that row counted from the top.
    struct FillRun {
        int width = 0, left = -1, top = -1;
    };
    static FillRun WidestFill(const std::vector<uint8_t>& px) {
        FillRun best;
        for (int y = 0; y < kHeight; ++y) {
            int run = 0;
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* p = &px[(size_t(y) * kWidth + x) * 4];
                const bool fill = p[0] >= 100 && p[2] <= 30 && p[1] * 8 >= p[0] && p[1] * 5 <= p[0] * 2;
                run = fill ? run + 1 : 0;
                if (run > best.width) best = {run, x - run + 1, kHeight - 1 - y};
            }
        }
        return best;
    }

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    TempFolder temp_;
    FrameTimingState savedTiming_;
    void (*savedDrawer_)() = nullptr;
};

TEST_F(GlHealthBarFrame, AWatcherKeepingItsDistanceShowsItsFullBarAboveItsHeadEveryFrame) {
    NztEntity* hero = GetEntityType("Hero1001");
    NztEntity* watcher = GetEntityType("Hero1001");
    ASSERT_NE(hero, nullptr);
    ASSERT_NE(watcher, nullptr);
    hero->id = kHeroId;
    watcher->id = kWatcherId;
    hero->Position[0] = hero->PreviousPosition[0] = -40.0f;
    // Seen up to 2000 units away, as the sample level places its characters.
    hero->range = watcher->range = 2000.0f;
    // Life 200 as its maximum, the bar switch on, and order 6 about the hero.
    Run(ActionSetEntityLife, 0, 1, 200.0f);
    Run(ActionObjectControl, 20, 1);
    Run(ActionObjectControl, 10, EntityOrderKeepOffset);
    ASSERT_EQ(watcher->order, EntityOrderKeepOffset);
    ASSERT_FLOAT_EQ(watcher->life, 200.0f);

    // Several frames in a row: the first one and every later one show the bar, with no interface
    // window to put the matrices right between them.
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        const std::vector<uint8_t> px = Frame();
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        ASSERT_EQ(watcher->visible, 1) << "the watcher is out of view";
        const FillRun fill = WidestFill(px);
        EXPECT_EQ(fill.width, 50) << "no full bar in the frame";
        // Centred on the watcher's head, 26 pixels above it.
        float head[3] = {watcher->Position[0], watcher->Position[1] + watcher->headHeight, watcher->Position[2]};
        ProjectToScreenInPlace(RenderState, head);
        EXPECT_NEAR(fill.left, head[0] + kWidth / 2 - 25.0f, 1.0f);
        EXPECT_NEAR(fill.top, head[1] + kHeight / 2 - 26.0f, 2.0f);
    }
}

}  // namespace
