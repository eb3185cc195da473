#include "ui/panel.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "character/entity.h"
#include "character/entitylist.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "model/temp_folder.h"
#include "objects/actions.h"
#include "objects/events.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "scene/entityactions.h"
#include "scene/scene.h"
#include "support/gl_pixels.h"
#include "support/gl_window.h"
#include "ui/gameui.h"
#include "ui/inventory.h"
#include "ui/wnd.h"
#include "world/framepass.h"
#include "world/scnobject.h"

namespace {

constexpr uint32_t MsgDraw = 5;
constexpr uint32_t MsgLButtonUp = 101;

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPanelGlobals();
        ApplyScreenSize(RenderState, 1024, 768);
        FrameTiming.frameTime = 0.05f;
    }
    void TearDown() override {
        CloseImagePanel();
        DestroyAllWnds();
        ApplyScreenSize(RenderState, 800, 600);
    }
    // A shown panel window, the way opening leaves it before the growing starts.
    static void OpenWindow() {
        PanelState.window = CreateWnd(nullptr, 0.0f, 0.0f, 10.0f, 10.0f, nullptr);
        PanelState.window->eventCallback = PanelWndCallback;
    }
    static void StartGrowing(const float from[4]) {
        std::memcpy(PanelState.startRect, from, sizeof PanelState.startRect);
        std::memcpy(PanelState.currentRect, from, sizeof PanelState.currentRect);
        PanelState.openingLeft = PanelAnimTime;
        for (int i = 0; i < 4; ++i)
            PanelState.step[i] = (PanelState.rect[i] - from[i]) * FrameTiming.frameTime / PanelAnimTime;
    }
    static void Frames(int n) {
        for (int i = 0; i < n; ++i) PanelWndCallback(MsgDraw, PanelState.window, 0.0f, 0.0f, 0.0f);
    }
    static void ExpectWindowAt(float x, float y, float w, float h) {
        EXPECT_NEAR(PanelState.window->left, x, 0.01f);
        EXPECT_NEAR(PanelState.window->top, y, 0.01f);
        EXPECT_NEAR(PanelState.window->width, w, 0.01f);
        EXPECT_NEAR(PanelState.window->height, h, 0.01f);
    }
};

TEST_F(PanelTest, SettingsCopyNamesAndRectangleAndScaleToTheScreen) {
    EXPECT_EQ(PanelState.window, nullptr);
    EXPECT_FLOAT_EQ(PanelState.rect[0], 256.0f);
    EXPECT_FLOAT_EQ(PanelState.rect[3], 384.0f);

    PanelSettings s;
    std::memset(s.imageName, 'i', sizeof s.imageName);  // no terminator in the record
    std::memset(s.objectName, 'o', sizeof s.objectName);
    const float rect[4] = {100.0f, 50.0f, 300.0f, 200.0f};
    std::memcpy(s.rect, rect, sizeof rect);
    LoadPanelSettings(&s);
    EXPECT_EQ(std::strlen(PanelState.imageName), sizeof PanelState.imageName - 1);
    EXPECT_EQ(std::strlen(PanelState.objectName), sizeof PanelState.objectName - 1);

    OpenWindow();
    struct Case {
        int w, h;
        float x, y, width, height;
    };
    const Case cases[] = {{1024, 768, 100.0f, 50.0f, 300.0f, 200.0f}, {2048, 1536, 200.0f, 100.0f, 600.0f, 400.0f},
                          {512, 768, 50.0f, 50.0f, 150.0f, 200.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w);
        ApplyScreenSize(RenderState, c.w, c.h);
        LoadPanelSettings(nullptr);
        ExpectWindowAt(c.x, c.y, c.width, c.height);
    }
}

TEST_F(PanelTest, GrowsToItsRectangleThenStaysWithoutShowTime) {
    OpenWindow();
    const float from[4] = {512.0f, 384.0f, 0.0f, 0.0f};
    StartGrowing(from);
    Frames(1);
    EXPECT_GT(PanelState.window->width, 0.0f);
    EXPECT_LT(PanelState.window->width, 512.0f);
    Frames(3);
    EXPECT_EQ(PanelState.openingLeft, 0.0f);
    ExpectWindowAt(256.0f, 192.0f, 512.0f, 384.0f);
    Frames(200);  // show time 0: no end
    EXPECT_EQ(PanelState.closingLeft, 0.0f);
    ExpectWindowAt(256.0f, 192.0f, 512.0f, 384.0f);
}

TEST_F(PanelTest, ShowTimeRunsOutIntoShrinkingTowardTheEndPoint) {
    FrameTiming.frameTime = 0.0625f;  // exact in binary, so the count of frames is too
    OpenWindow();
    PanelState.showTime = PanelState.timeLeft = 0.25f;
    PanelState.endRect[0] = 1000.0f;
    PanelState.endRect[1] = 700.0f;
    Frames(3);
    EXPECT_EQ(PanelState.closingLeft, 0.0f);
    Frames(1);
    EXPECT_FLOAT_EQ(PanelState.closingLeft, PanelAnimTime);
    EXPECT_EQ(PanelState.timeLeft, 0.0f);
    Frames(2);
    EXPECT_GT(PanelState.window->left, 256.0f);
    EXPECT_LT(PanelState.window->width, 512.0f);
    Frames(1);
    EXPECT_EQ(PanelState.closingLeft, 0.0f);
}

TEST_F(PanelTest, ClickWhileGrowingShrinksFromTheFullRectangle) {
    OpenWindow();
    const float from[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    StartGrowing(from);
    Frames(1);
    EXPECT_EQ(PanelWndCallback(MsgLButtonUp, PanelState.window, 0.0f, 0.0f, 0.0f), 1u);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(PanelState.currentRect[i], PanelState.rect[i]);
    EXPECT_FLOAT_EQ(PanelState.closingLeft, PanelAnimTime);
}

TEST_F(PanelTest, CloseRemovesTheWindowAndIsHarmlessTwice) {
    OpenWindow();
    ASSERT_EQ(WndCount, 1u);
    CloseImagePanel();
    EXPECT_EQ(WndCount, 0u);
    EXPECT_EQ(PanelState.window, nullptr);
    EXPECT_EQ(PanelState.image, 0u);
    CloseImagePanel();
    EXPECT_EQ(PanelState.window, nullptr);
}

TEST(ObjectBars, OnlyLivingVisibleCharactersKeepingAnOffsetWithTheSwitchOn) {
    struct Case {
        const char* name;
        int32_t registered, barSwitch, order, visible;
        float life, maxLife, invMaxLife;
        bool drawn;
        float fillWidth;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"full health", 1, 1, 6, 1, 80.0f, 80.0f, 1.0f / 80.0f, true, 50.0f},
        {"half health", 1, 1, 6, 1, 40.0f, 80.0f, 1.0f / 80.0f, true, 25.0f},
        {"stale inverse maximum", 1, 1, 6, 1, 5.0f, 0.0f, inf, true, 50.0f},
        {"dead", 1, 1, 6, 1, 0.0f, 80.0f, 1.0f / 80.0f, false, 0.0f},
        {"other order", 1, 1, 5, 1, 80.0f, 80.0f, 1.0f / 80.0f, false, 0.0f},
        {"switch off", 1, 0, 6, 1, 80.0f, 80.0f, 1.0f / 80.0f, false, 0.0f},
        {"out of view", 1, 1, 6, 0, 80.0f, 80.0f, 1.0f / 80.0f, false, 0.0f},
        {"not in the world", 0, 1, 6, 1, 80.0f, 80.0f, 1.0f / 80.0f, false, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NztEntity e;
        e.registered = c.registered;
        e.barSwitch = static_cast<uint32_t>(c.barSwitch);
        e.order = c.order;
        e.visible = c.visible;
        e.life = c.life;
        e.maxLife = c.maxLife;
        e.invMaxLife = c.invMaxLife;
        e.Position[0] = 3.0f;
        e.Position[1] = 1.0f;
        e.Position[2] = 40.0f;
        e.headHeight = 2.0f;
        ObjectBar bar{};
        ASSERT_EQ(ComputeObjectBar(e, RenderState, &bar), c.drawn);
        if (!c.drawn) continue;
        float head[3] = {3.0f, 3.0f, 40.0f};
        ProjectToScreenInPlace(RenderState, head);
        EXPECT_FLOAT_EQ(bar.fill[0], head[0] - 25.0f);
        EXPECT_FLOAT_EQ(bar.fill[1], head[1] - 26.0f);
        EXPECT_FLOAT_EQ(bar.fill[2] - bar.fill[0], c.fillWidth);
        EXPECT_FLOAT_EQ(bar.fill[3] - bar.fill[1], 2.0f);
        // A one-pixel black frame around the full 50 x 2 bar.
        EXPECT_FLOAT_EQ(bar.frame[0], bar.fill[0] - 1.0f);
        EXPECT_FLOAT_EQ(bar.frame[1], bar.fill[1] - 1.0f);
        EXPECT_FLOAT_EQ(bar.frame[2], bar.fill[0] + 51.0f);
        EXPECT_FLOAT_EQ(bar.frame[3], bar.fill[1] + 3.0f);
    }
}

// ---------------------------------------------------------------- drawing under a GL context

constexpr int kWidth = 640;
constexpr int kHeight = 480;

class GlObjectBars : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // SetUp reports a missing context.
        OpenHiddenGlWindow("bars", kWidth, kHeight, &window_, &context_);
    }
    static void TearDownTestSuite() {
        CloseHiddenGlWindow(&window_, &context_);
    }
    void SetUp() override {
        ASSERT_NE(context_, nullptr) << "no GL context: " << SDL_GetError();
        ApplyScreenSize(RenderState, kWidth, kHeight);
        RenderState.focalLength = 1600.0f;
        ResetCamera(RenderState);
        // Every cached switch is unknown to a new context: start from a state the cache knows.
        RenderState.depthTestOn = RenderState.depthWriteOn = RenderState.blendOn = RenderState.texture2DOn = 0;
        RenderState.baseViewPushed = 0;
        glDisable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        SetPixelPlane(kWidth, kHeight);
        saved_ = EntityRegistry;
    }
    void TearDown() override {
        EntityRegistry = saved_;
        ApplyScreenSize(RenderState, 800, 600);
    }
    // Bounding box (left, bottom, right, top, exclusive ends) of the pixels that pass the test.
    template <class Test>
    static std::vector<int> BoxOf(const std::vector<uint8_t>& px, Test test) {
        std::vector<int> box = {kWidth, kHeight, -1, -1};
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* p = &px[(size_t(y) * kWidth + x) * 4];
                if (!test(p[0], p[1], p[2])) continue;
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1), std::max(box[3], y + 1)};
            }
        return box;
    }
    static inline SDL_Window* window_ = nullptr;
    static inline SDL_GLContext context_ = nullptr;
    ObjectList saved_;
};

TEST_F(GlObjectBars, FramedFillShowsTheHealthOfEachCharacter) {
    struct Case {
        const char* what;
        float life;
        int fillWidth;  // 0: no bar at all
    };
    const Case cases[] = {{"full health", 80.0f, 50}, {"half health", 40.0f, 25}, {"dead", 0.0f, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NztEntity e;
        e.registered = 1;
        e.barSwitch = 1;
        e.order = EntityOrderKeepOffset;
        e.visible = 1;
        e.life = c.life;
        e.maxLife = 80.0f;
        e.invMaxLife = 1.0f / 80.0f;
        e.Position[2] = -1600.0f;
        NztBase3D* list[1] = {&e};
        EntityRegistry = ObjectList{list, 1, 1};

        glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        GLint depthBefore = 0, depthAfter = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
        DrawObjectBars();
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
        // The bars leave the matrix stack as they found it, with no 2-D level for the windows to pop.
        EXPECT_EQ(depthAfter, depthBefore);
        EXPECT_EQ(RenderState.baseViewPushed, 0u);
        std::vector<uint8_t> px = ReadBackPixels(kWidth, kHeight);
        EntityRegistry = saved_;

        EXPECT_EQ(RenderState.depthTestOn, 1u);
        EXPECT_EQ(RenderState.depthWriteOn, 1u);
        const auto fill = BoxOf(px, [](int r, int g, int b) { return r > 100 && g < 90 && b < 20; });
        const auto frame = BoxOf(px, [](int r, int g, int b) { return r < 20 && g < 20 && b < 20; });
        if (c.fillWidth == 0) {
            EXPECT_EQ(fill[2], -1);
            EXPECT_EQ(frame[2], -1);
            continue;
        }
        EXPECT_EQ(fill[2] - fill[0], c.fillWidth);
        EXPECT_EQ(fill[3] - fill[1], 2);
        EXPECT_EQ(frame[2] - frame[0], 52);
        EXPECT_EQ(frame[3] - frame[1], 4);
        EXPECT_EQ(fill[0], frame[0] + 1);
    }
}

}  // namespace

TEST_F(PanelTest, OpeningGrowsFromTheStartPointAndTheEndOfShrinkingCloses) {
    const float start[4] = {512.0f, 384.0f, 0.0f, 0.0f};
    const float end[4] = {1000.0f, 700.0f, 0.0f, 0.0f};
    std::memcpy(PanelState.startRect, start, sizeof start);
    std::memcpy(PanelState.endRect, end, sizeof end);
    OpenImagePanel(nullptr, 0.1f);
    ASSERT_NE(PanelState.window, nullptr);
    EXPECT_EQ(WndCount, 1u);
    CNztWnd* const window = PanelState.window;
    ExpectWindowAt(512.0f, 384.0f, 0.0f, 0.0f);
    // A second opening keeps the window and starts the growing again.
    Frames(1);
    OpenImagePanel(nullptr, 0.1f);
    EXPECT_EQ(PanelState.window, window);
    ExpectWindowAt(512.0f, 384.0f, 0.0f, 0.0f);
    // 0.15 s of growing at 0.05 s a frame (a fourth frame when the sums fall a hair short).
    for (int i = 0; i < 5 && PanelState.openingLeft != 0.0f; ++i) Frames(1);
    ExpectWindowAt(256.0f, 192.0f, 512.0f, 384.0f);
    // The show time runs out: the shrinking starts, and at its end the panel closes.
    for (int i = 0; i < 5 && PanelState.closingLeft == 0.0f; ++i) Frames(1);
    EXPECT_GT(PanelState.closingLeft, 0.0f);
    // The end of the shrinking runs the panel's close record (62/7) through the action table,
    // which defers it: the panel closes after the frame is drawn.
    RegisterSceneEntityActions();
    int frames = 0;
    while (DeferredActionCount() == 0 && frames < 10) {
        Frames(1);
        ++frames;
    }
    EXPECT_LE(frames, 4);
    EXPECT_EQ(DeferredActionCount(), 1);
    EXPECT_NE(PanelState.window, nullptr);
    RunDeferredActions();
    ResetEventActions();
    EXPECT_EQ(PanelState.window, nullptr) << "the panel stayed open at its end point";
    EXPECT_EQ(WndCount, 0u);
}

namespace {

// The sample crate as a real scene object of a data folder, and action 62 run the way a script
// runs it: through the action table and the deferred queue.
class PanelOnSceneObject : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        ClearWorld();
        AllocObjectLists();
        ASSERT_FALSE(temp.path().empty());
        for (const auto& [name, bytes] : datakit::SampleModelFiles())
            ASSERT_TRUE(datakit::WriteModelFile(temp.path() + name, bytes));
        ASSERT_TRUE(SetDataFolder(temp.path().c_str()));
        RegisterSceneEntityActions();
        crate = GetScnObjectType("Crate1001");
        ASSERT_NE(crate, nullptr);
        crate->id = 7;
    }
    void TearDown() override {
        PanelTest::TearDown();
        ResetDeferredActions();
        ResetEventActions();
        ClearWorld();
    }
    static void ClearWorld() {
        CloseImagePanel();
        RemoveAllScnObjects();
        DeleteAllMeshData();
        FreeTypeTables();
        FreeObjectLists();
        ClearObjectLists();
    }
    static void RunPanelAction(int32_t kind, int32_t id, int32_t param, float showTime) {
        EventRecord r = BlankEventRecord();
        r.Action = ActionImagePanel;
        r.TargetKind = kind;
        r.TargetId = id;
        r.Param = param;
        r.Param2 = 3;
        r.Value1 = showTime;
        GameEventObject.ExecuteAction(&r);
        RunDeferredActions();
    }
    // One game frame as far as the panel and the world are concerned.
    static void GameFrame() {
        UpdateObjects();
        LateUpdateObjects();
        if (PanelState.window != nullptr) Frames(1);
        RunDeferredActions();
    }
    TempFolder temp;
    NztScnObject* crate = nullptr;
};

TEST_F(PanelOnSceneObject, ShowsItsOwnModelOutsideTheWorldAndFreesItOnceWhateverCloses) {
    const int32_t objects = ObjectRegistry.count, scnObjects = ScnObjectRegistry.count;
    const uint32_t listed = ScnObjectCount, meshes = MeshCount;
    RunPanelAction(4, 7, 0, 0.1f);
    ASSERT_NE(PanelState.window, nullptr);
    NztScnObject* shown = PanelState.object;
    ASSERT_NE(shown, nullptr);
    EXPECT_NE(shown, crate);
    EXPECT_NE(shown->mesh, crate->mesh);
    EXPECT_EQ(static_cast<CNztWnd_3D*>(PanelState.window)->shownObject, shown);
    // The model is the panel's alone: no list, no registry, nothing at the world origin.
    EXPECT_EQ(ScnObjectCount, listed);
    EXPECT_EQ(ObjectRegistry.count, objects);
    EXPECT_EQ(ScnObjectRegistry.count, scnObjects);
    EXPECT_EQ(shown->registered, 0);
    EXPECT_EQ(MeshCount, meshes + 1);
    // The end point of Param2 3 is the bottom right corner.
    EXPECT_FLOAT_EQ(PanelState.endRect[0], 1024.0f);
    EXPECT_FLOAT_EQ(PanelState.endRect[1], 768.0f);

    // The show time runs out, the panel shrinks and its close record closes it; the world goes on.
    for (int i = 0; i < 40 && PanelState.window != nullptr; ++i) GameFrame();
    EXPECT_EQ(PanelState.window, nullptr);
    EXPECT_EQ(PanelState.object, nullptr);
    EXPECT_EQ(MeshCount, meshes);
    for (int i = 0; i < 3; ++i) GameFrame();
    EXPECT_EQ(ScnObjectList[0], crate);

    // Opened again and a new scene committed while it shows: the scene load closes it, once.
    RunPanelAction(4, 7, 0, 0.0f);
    ASSERT_NE(PanelState.object, nullptr);
    CommitScene(SceneData{});
    EXPECT_EQ(PanelState.window, nullptr);
    EXPECT_EQ(PanelState.object, nullptr);
    EXPECT_EQ(ScnObjectCount, 0u);
    for (int i = 0; i < 3; ++i) GameFrame();
}

TEST_F(PanelOnSceneObject, PointCodeSixIsTheCurrentInventoryAndItsGameInterface) {
    ApplyScreenSize(RenderState, 2048, 1536);
    RunPanelAction(4, 7, 6, 0.0f);  // no inventory yet: the centre
    EXPECT_FLOAT_EQ(PanelState.startRect[0], 512.0f);
    EXPECT_FLOAT_EQ(PanelState.startRect[1], 384.0f);
    GameUIRecord panel;
    panel.x = 100.0f;  // 1024x768 units: 200, 100 pixels on this screen
    panel.y = 50.0f;
    panel.width = panel.height = 300.0f;
    ASSERT_NE(CreateGameUI(panel), nullptr);
    LinkAllGameUIs();
    InventoryRecord loose;
    loose.x = 40.0f;
    loose.y = 30.0f;
    ASSERT_EQ(CreateInventory(loose), CurrentInventory);
    RunPanelAction(4, 7, 6, 0.0f);
    EXPECT_FLOAT_EQ(PanelState.startRect[0], 40.0f);
    EXPECT_FLOAT_EQ(PanelState.startRect[1], 30.0f);
    InventoryRecord inside = loose;
    inside.parentIndex = 0;
    ASSERT_EQ(CreateInventory(inside), CurrentInventory);
    RunPanelAction(4, 7, 6, 0.0f);
    EXPECT_FLOAT_EQ(PanelState.startRect[0], 140.0f);
    EXPECT_FLOAT_EQ(PanelState.startRect[1], 80.0f);
    CloseImagePanel();
    DestroyAllInventories();
    DestroyAllGameUIs();
}

TEST_F(PanelOnSceneObject, ClosingSubCodeAndMissingTargetsAndShutdownWhileOpen) {
    RunPanelAction(5, 7, 0, 0.0f);  // no character 7
    EXPECT_EQ(PanelState.window, nullptr);
    // A character is found by its own id; without a model file for its mesh the panel shows no
    // model, and nothing is added to the world.
    NztEntity* character = CreateEntity(nullptr);
    ASSERT_NE(character, nullptr);
    character->id = 9;
    const uint32_t entities = EntityCount;
    RunPanelAction(5, 9, 2, 0.0f);
    ASSERT_NE(PanelState.window, nullptr);
    EXPECT_EQ(PanelState.object, nullptr);
    EXPECT_FLOAT_EQ(PanelState.startRect[0], 1024.0f);  // Param 2: top right
    EXPECT_FLOAT_EQ(PanelState.startRect[1], 0.0f);
    EXPECT_EQ(EntityCount, entities);
    RunPanelAction(4, 9, 7, 0.0f);
    EXPECT_EQ(PanelState.window, nullptr);
    RemoveAllEntities();
    RunPanelAction(6, 7, 0, 0.0f);  // the panel serves kinds 4 and 5 only
    EXPECT_EQ(PanelState.window, nullptr);
    RunPanelAction(4, 7, 1, 0.0f);
    ASSERT_NE(PanelState.window, nullptr);
    EXPECT_FLOAT_EQ(PanelState.startRect[0], 0.0f);  // Param 1: top left
    // A second opening replaces the model and frees the old one.
    const uint32_t meshes = MeshCount;
    RunPanelAction(4, 7, 0, 0.0f);
    EXPECT_EQ(MeshCount, meshes);
    EXPECT_FLOAT_EQ(PanelState.startRect[0], 512.0f);
    RunPanelAction(4, 7, 7, 0.0f);  // sub-code 7 closes
    EXPECT_EQ(PanelState.window, nullptr);
    EXPECT_EQ(PanelState.object, nullptr);
    // Open at shutdown: the engine's sweep of the lists and the panel's own close free it once.
    RunPanelAction(4, 7, 0, 0.0f);
    ASSERT_NE(PanelState.object, nullptr);
    RemoveAllScnObjects();
    GameFrame();
    CloseImagePanel();
    EXPECT_EQ(PanelState.object, nullptr);
}

}  // namespace
