// Head-up panels and maps on the screen, read back from a hidden GL window.
#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/frameclock.h"
#include "core/paths.h"
#include "datakit/image.h"
#include "model/mesh.h"
#include "objects/objtype.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "render/texture.h"
#include "ui/gamemap.h"
#include "ui/gameui.h"
#include "ui/inventory.h"
#include "ui/wnd.h"
#include "ui/wnd_screen.h"
#include "world/scnobject.h"

namespace {

struct ScreenSize {
    int width, height;
};
// The tests give places and sizes in pixels; the records take them in virtual units of the 1024 x
// 768 grid. On the wide screen a unit is not as wide as it is high, so that a length scaled by the
// wrong side of the screen lands off its pixels.
const ScreenSize kScreens[] = {{640, 480}, {960, 540}};

class GlHud : public GlWndScreen, public ::testing::WithParamInterface<ScreenSize> {
protected:
    static void SetUpTestSuite() { OpenScreen("hud"); }

    void SetUp() override {
        savedFrame = FrameTiming.frameTime;
        kWidth = GetParam().width;
        kHeight = GetParam().height;
        GlWndScreen::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_FLOAT_EQ(HudScaleX(), float(kWidth) / 1024.0f);
        ASSERT_FLOAT_EQ(HudScaleY(), float(kHeight) / 768.0f);
    }
    void TearDown() override {
        DestroyAllGameMaps();
        DestroyAllGameUIs();
        RemoveAllScnObjects();
        GlWndScreen::TearDown();
        kWidth = 640;
        kHeight = 480;
        FrameTiming.frameTime = savedFrame;
    }

public:
    // Virtual units per pixel across and down.
    static float UnitsX() { return 1024.0f / float(kWidth); }
    static float UnitsY() { return 768.0f / float(kHeight); }

protected:

    static bool Lit(int x, int y) {
        const Rgb c = At(x, y);
        return c.r + c.g + c.b > 60;
    }

    float savedFrame = 0.0f;
};

GameUIRecord Panel(float x, float y, float w, float h) {
    GameUIRecord r;
    r.x = x * GlHud::UnitsX();
    r.y = y * GlHud::UnitsY();
    r.width = w * GlHud::UnitsX();
    r.height = h * GlHud::UnitsY();
    return r;
}

TEST_P(GlHud, PanelsAreDrawnScaledAndMoveOverDrawnFrames) {
    NztGameUI* g = CreateGameUI(Panel(100, 100, 200, 100));
    ASSERT_NE(g->mainWnd, nullptr);
    Frame();
    EXPECT_TRUE(Lit(200, 150));
    EXPECT_TRUE(Lit(105, 105));
    EXPECT_FALSE(Lit(95, 150));
    EXPECT_FALSE(Lit(305, 150));
    EXPECT_FALSE(Lit(200, 205));

    GameUIAnimParams move;
    move.kind = GameUIAnimMove;
    move.duration = 1.0f;
    move.start[0] = 100.0f * UnitsX();
    g->StartAnim(move);
    FrameTiming.frameTime = 0.5f;
    Frame();  // steps before its body is drawn: +50 pixels
    EXPECT_FALSE(Lit(120, 150));
    EXPECT_TRUE(Lit(340, 150));
    EXPECT_FALSE(Lit(360, 150));

    HideGameUI(g);  // a hidden panel's animation waits
    Frame();
    EXPECT_FALSE(Lit(200, 150));
    EXPECT_EQ(g->animCount, 1);
    ShowGameUI(g);
    Frame();
    Frame();
    EXPECT_EQ(g->animCount, 0);
    EXPECT_FALSE(Lit(190, 150));
    EXPECT_TRUE(Lit(210, 150));
    EXPECT_TRUE(Lit(395, 150));
    EXPECT_FALSE(Lit(405, 150));
}

TEST_P(GlHud, ChildPanelsFollowAndFadeWithTheirParent) {
    NztGameUI* parent = CreateGameUI(Panel(50, 50, 300, 200));
    GameUIRecord child = Panel(20, 20, 40, 40);
    child.parentIndex = 0;
    NztGameUI* c = CreateGameUI(child);
    LinkAllGameUIs();
    c->mainWnd->colour[0] = 1.0f;
    c->mainWnd->colour[1] = c->mainWnd->colour[2] = 0.0f;
    Frame();
    EXPECT_GT(At(75, 75).r, 150);
    EXPECT_LT(At(75, 75).g, 60);

    parent->SetOpacity(0.0f);
    Frame();
    EXPECT_FALSE(Lit(75, 75));
    EXPECT_FALSE(Lit(200, 150));
}

TEST_P(GlHud, MarkersAreDrawnOnTheMapWhereTheirObjectStands) {
    GameMapRecord r;
    r.x = r.y = 0.0f;
    r.width = 320.0f * UnitsX();  // 320 by 320 pixels for 10000 x 10000 world units
    r.height = 320.0f * UnitsY();
    r.opacity = 1.0f;
    NztGameMap* m = CreateGameMap(r);
    m->mapWnd->colour[0] = m->mapWnd->colour[1] = m->mapWnd->colour[2] = 0.0f;  // a black map
    NztScnObject* hero = CreateScnObject(nullptr);
    m->AddMarker(hero, 0, 0, 0, 8 * UnitsX(), 8 * UnitsY(), 0.5f, 0.5f, 1.0f, "", "hero");
    CNztWnd* pin = m->markers[0].window;
    pin->colour[0] = 1.0f;
    pin->colour[1] = pin->colour[2] = 0.0f;
    Frame();
    EXPECT_GT(At(160, 160).r, 150);
    const float p[3] = {2500.0f, 0.0f, -2500.0f};
    hero->SetPosition(p);
    Frame();  // followed markers are placed before the map is drawn
    EXPECT_LT(At(160, 160).r, 60);
    EXPECT_GT(At(240, 80).r, 150);
}

// Images in a data folder of their own: a red panel plate, a green slot and a blue icon.
class GlHudImages : public GlHud {
protected:
    void SetUp() override {
        GlHud::SetUp();
        std::string pattern = ::testing::TempDir() + "qv_hudimg_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern + "/";
        std::filesystem::create_directories(folder + "MAPS/UI");
        std::filesystem::create_directories(folder + "MAPS/ICONES");
        savedFolder = DataFolder;
        ASSERT_TRUE(SetDataFolder(folder.c_str()));
        ClearPathCache();
        const struct {
            const char* name;
            uint8_t r, g, b;
        } images[] = {{"MAPS/UI/Red.Img", 255, 0, 0}, {"MAPS/UI/Green.Img", 0, 255, 0},
                      {"MAPS/ICONES/BOX1002.Img", 0, 0, 255}};
        for (const auto& i : images)
            ASSERT_TRUE(datakit::WriteImageBytes(folder + i.name, datakit::MakeImg32(datakit::SolidRgba(8, 8, i.r, i.g, i.b, 255))));
    }
    void TearDown() override {
        DestroyAllInventories();
        GlHud::TearDown();
        SetDataFolder(savedFolder.c_str());
        ClearPathCache();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::string folder;
    std::string savedFolder;
};

TEST_P(GlHudImages, PanelImagesAndItemIconsAreDrawn) {
    GameUIRecord r = Panel(20, 20, 100, 50);
    std::snprintf(r.imageName, sizeof r.imageName, "Red");
    NztGameUI* g = CreateGameUI(r);
    ASSERT_NE(g->mainWnd->normalImage, 0u);

    InventoryRecord ir;
    ir.x = 200 * UnitsX();
    ir.y = 200 * UnitsY();
    ir.slotWidth = 40 * UnitsX();
    ir.slotHeight = 40 * UnitsY();
    ir.useIcons = 1;
    std::snprintf(ir.selectedImageName, sizeof ir.selectedImageName, "Green");
    std::snprintf(ir.slotImageName, sizeof ir.slotImageName, "Green");
    NztInventory* inv = CreateInventory(ir);
    auto mesh = std::make_unique<NztMesh>();
    std::snprintf(mesh->Name, sizeof mesh->Name, "BOX");
    mesh->Number = 2;
    NztScnObject* box = CreateScnObject(nullptr);
    box->mesh = mesh.get();
    inv->AddItem(box);
    ASSERT_NE(inv->icons[0], 0u);
    EXPECT_EQ(inv->slotWnds[0]->showModel, 0u);
    Frame();
    const Rgb panel = At(70, 45);
    EXPECT_GT(panel.r, 200);
    EXPECT_LT(panel.g, 40);
    const Rgb icon = At(220, 220);
    EXPECT_GT(icon.b, 200);
    EXPECT_LT(icon.r, 40);

    g->SetImage("Green");
    Frame();
    EXPECT_GT(At(70, 45).g, 200);
    DestroyAllInventories();
    box->mesh = nullptr;
}

std::string ScreenName(const ::testing::TestParamInfo<ScreenSize>& info) {
    return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
}
INSTANTIATE_TEST_SUITE_P(Gl, GlHud, ::testing::ValuesIn(kScreens), ScreenName);
INSTANTIATE_TEST_SUITE_P(Gl, GlHudImages, ::testing::ValuesIn(kScreens), ScreenName);

}  // namespace
