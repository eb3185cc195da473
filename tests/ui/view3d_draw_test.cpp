// A 3D view window framing the sample crate, drawn through the frame's own window pass on a wide
// screen and read back.
#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "core/frameclock.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "model/animlib.h"
#include "model/mesh.h"
#include "model/temp_folder.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "support/gl_pixels.h"
#include "support/gl_window.h"
#include "ui/wnd.h"
#include "world/scnobject.h"

namespace {

constexpr int kWidth = 960;  // 16:9: a size scaled by the wrong side of the screen shows
constexpr int kHeight = 540;

class Gl3DView : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenHiddenGlWindow("3d view", kWidth, kHeight, &window_, &context_)) << SDL_GetError();
        BuildSinCosTables();
        savedTiming_ = FrameTiming;
        ClearWorld();
        AllocObjectLists();
        ResetAnimDefaults();
        ASSERT_FALSE(temp_.path().empty());
        for (const auto& [name, bytes] : datakit::SampleModelFiles())
            ASSERT_TRUE(datakit::WriteModelFile(temp_.path() + name, bytes));
        ASSERT_TRUE(SetDataFolder(temp_.path().c_str()));
        // The GL state and projection the game starts with.
        InitGlExtensions();
        InitRenderState();
        ClearTextureTable();
        BoundTextureId = 0;
        ApplyScreenSize(RenderState, kWidth, kHeight);
        SetDefaultGLState();
        ApplyScreenViewport(RenderState, static_cast<float>(kWidth), static_cast<float>(kHeight));
        SetFieldOfView(0.3);
        MainCamera.Init();
        MainCamera.UpdateMatrix();
        DestroyAllWnds();
    }
    void TearDown() override {
        DestroyAllWnds();
        ClearWorld();
        DeleteAllTextures();
        InitRenderState();
        BoundTextureId = 0;
        MainCamera.Init();
        FrameTiming = savedTiming_;
        CloseHiddenGlWindow(&window_, &context_);
    }
    static void ClearWorld() {
        RemoveAllScnObjects();
        DeleteAllMeshData();
        DeleteAllAnims();
        FreeTypeTables();
        FreeObjectLists();
        ClearObjectLists();
    }
    // The windows over a black screen, as the frame draws them.
    static std::vector<uint8_t> Frame() {
        glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (WndCount > 0) SortWndsByDepth(WndList, 0, static_cast<int32_t>(WndCount) - 1);
        DrawAllWnds();
        return ReadBackPixels(kWidth, kHeight);
    }
    // The box around the drawn (not black) pixels, in screen pixels from the top-left corner.
    struct Box {
        int left = kWidth, top = kHeight, right = -1, bottom = -1, count = 0;
    };
    static Box Drawn(const std::vector<uint8_t>& px) {
        Box b;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* p = &px[(size_t(kHeight - 1 - y) * kWidth + size_t(x)) * 4];
                if (std::abs(p[0] - 128) < 6 && std::abs(p[1] - 128) < 6 && std::abs(p[2] - 128) < 6) continue;
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
                ++b.count;
            }
        return b;
    }

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    TempFolder temp_;
    FrameTimingState savedTiming_;
};

TEST_F(Gl3DView, TheWholeModelIsFramedInsideTheWindow) {
    // The model as the image panel shows it: an object of its own on the model file.
    NztScnObject* crate = CreatePreviewObjectFromFile("Crate1001");
    ASSERT_NE(crate, nullptr);
    crate->visible = 1;
    ASSERT_NE(crate->mesh, nullptr);
    struct Case {
        float x, y, w, h;
    };
    // A wide, a tall and a square window.
    for (const Case& c : {Case{100, 80, 320, 160}, Case{500, 60, 150, 300}, Case{700, 380, 140, 140}}) {
        SCOPED_TRACE(std::to_string(int(c.w)) + "x" + std::to_string(int(c.h)));
        DestroyAllWnds();
        CNztWnd_3D* view = Create3DWnd(c.x, c.y, c.w, c.h, nullptr, nullptr);
        ASSERT_NE(view, nullptr);
        view->colour[3] = 0.0f;  // only the model shows
        view->border = 0;
        view->shownObject = crate;
        view->ShowObject();
        const Box box = Drawn(Frame());
        ASSERT_GT(box.count, 0) << "nothing drawn";
        // Inside the window, clear of each of its edges: the model is seen whole, from outside.
        EXPECT_GT(box.left, int(c.x) + 2);
        EXPECT_LT(box.right, int(c.x + c.w) - 3);
        EXPECT_GT(box.top, int(c.y) + 2);
        EXPECT_LT(box.bottom, int(c.y + c.h) - 3);
        // And framed, not lost in the distance: it spans a good part of the window's smaller side.
        const int side = int(std::min(c.w, c.h));
        EXPECT_GT(std::max(box.right - box.left, box.bottom - box.top), side / 4);
        // Seen from the front, a closed box: its outline is filled.
        EXPECT_GT(box.count * 10, (box.right - box.left + 1) * (box.bottom - box.top + 1) * 9);
    }
    DestroyAllWnds();
    DeletePreviewObject(crate);
}

}  // namespace
