// The pause menu and the settings screen, driven by clicks, drags and key releases through the
// toolkit's dispatchers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

#include "audio/music.h"
#include "audio/sound.h"
#include "objects/actions.h"
#include "objects/events.h"
#include "platform/wincodes.h"
#include "render/renderstate.h"
#include "ui/menu.h"
#include "ui/wnd.h"

namespace {

// The quit arrives as the record the menu runs: action 74, sub-code 4, through the action table.
int gQuits = 0;
void CountQuit(EventRecord* r) {
    if (r != nullptr && r->Action == ActionSystemCommand && r->Param == 4) ++gQuits;
}

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        DestroyAllWnds();
        ApplyScreenSize(RenderState, 1024, 768);
        MusicVolume = 0.5f;
        SoundVolume = 0.8f;
        MusicFade = GainFade{0.0f, 0.0f, 0};
        MasterSoundFade = GainFade{0.0f, 0.0f, 0};
        RegisterEventAction(ActionSystemCommand, CountQuit);
        gQuits = 0;
    }
    void TearDown() override {
        DestroyAllWnds();
        ResetDeferredActions();
        ResetEventActions();
        MusicVolume = SoundVolume = 1.0f;
        ApplyScreenSize(RenderState, 800, 600);
    }
    static void Sort() {
        if (WndCount > 0) SortWndsByDepth(WndList, 0, static_cast<int32_t>(WndCount) - 1);
    }
    static void ClickOn(const CNztWnd* w) {
        const auto x = static_cast<int32_t>((w->screenLeft + w->screenRight) * 0.5f);
        const auto y = static_cast<int32_t>((w->screenTop + w->screenBottom) * 0.5f);
        Sort();
        DispatchLButtonDownToWnds(x, y, MK_LBUTTON);
        DispatchLButtonUpToWnds(x, y, 0);
    }
    // Drags a slider's thumb to a client x.
    static void DragSlider(const CNztWnd_Slider* s, float clientX) {
        const auto y = static_cast<int32_t>((s->screenTop + s->screenBottom) * 0.5f);
        Sort();
        DispatchLButtonDownToWnds(static_cast<int32_t>(s->screenLeft + s->thumbPosition), y, MK_LBUTTON);
        DispatchMouseMoveToWnds(static_cast<int32_t>(s->screenLeft + clientX), y, MK_LBUTTON);
        DispatchLButtonUpToWnds(static_cast<int32_t>(s->screenLeft + clientX), y, 0);
    }
};

TEST_F(MenuTest, PauseMenuOpensOnceAndContinueClosesIt) {
    CreateWnd("game", 0, 0, 100, 100, nullptr);
    ASSERT_EQ(OpenPauseMenu(), 1u);
    EXPECT_EQ(OpenPauseMenu(), 0u);
    ASSERT_NE(PauseMenuWnd, nullptr);
    EXPECT_EQ(FocusWnd, PauseMenuWnd);
    EXPECT_EQ(PauseMenuWnd->left, 437.0f);
    // Without a font only "Quit" exists.
    EXPECT_EQ(PauseContinueButton, nullptr);
    ASSERT_NE(PauseQuitButton, nullptr);
    EXPECT_EQ(WndCount, 3u);
    // Escape released on the focused menu: Continue.
    SendKeyUpToFocusWnd(FocusWnd, 27);
    EXPECT_EQ(PauseMenuWnd, nullptr);
    EXPECT_EQ(PauseQuitButton, nullptr);
    EXPECT_EQ(WndCount, 1u);  // the menu and its button went; the game's window stays
    EXPECT_EQ(gQuits, 0);
}

// Both screens stand on the 1024 x 768 grid of whatever screen the game has: x and widths by its
// width, y and heights by its height, and the few pixel sizes as they are.
TEST_F(MenuTest, ScreensAreLaidOutOnTheInterfaceGridOfAnyScreen) {
    struct Rect {
        float left, top, width, height;
    };
    auto expectRect = [](const CNztWnd* w, Rect r, const char* what) {
        ASSERT_NE(w, nullptr) << what;
        EXPECT_FLOAT_EQ(w->left, r.left) << what;
        EXPECT_FLOAT_EQ(w->top, r.top) << what;
        EXPECT_FLOAT_EQ(w->width, r.width) << what;
        EXPECT_FLOAT_EQ(w->height, r.height) << what;
    };
    for (auto [width, height] : {std::pair{1024, 768}, std::pair{1920, 1080}, std::pair{1280, 1024}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        ApplyScreenSize(RenderState, width, height);
        const float x = float(width) / 1024.0f, y = float(height) / 768.0f;
        ASSERT_EQ(OpenPauseMenu(), 1u);
        expectRect(PauseMenuWnd, {437 * x, 313 * y, 150 * x, 142 * y}, "menu");
        expectRect(PauseQuitButton, {10 * x, 20 * y, 128 * x, 30 * y}, "quit");  // no font: the first place
        EXPECT_FLOAT_EQ(PauseQuitButton->screenLeft, 447 * x);
        EXPECT_FLOAT_EQ(PauseQuitButton->screenTop, 333 * y);
        OnPauseContinue(nullptr);

        ASSERT_EQ(OpenSettingsScreen(), 1u);
        expectRect(SettingsWnd, {353.5f * x, 313.5f * y, 317 * x, 141 * y}, "settings");
        expectRect(MusicSlider, {41 * x, 40 * y + 14, 200 * x, 10 * y}, "music slider");
        expectRect(SoundSlider, {41 * x, 67 * y + 14, 200 * x, 10 * y}, "sound slider");
        expectRect(MusicValueLabel, {246 * x, 37 * y + 12, 100, 25}, "music label");
        expectRect(SoundValueLabel, {246 * x, 64 * y + 12, 100, 25}, "sound label");
        expectRect(SettingsYesButton, {121.5f * x, 99 * y, 32 * x, 32 * y}, "yes");
        expectRect(SettingsNoButton, {163.5f * x, 99 * y, 32 * x, 32 * y}, "no");
        EXPECT_FLOAT_EQ(SettingsNoButton->screenTop, 412.5f * y);
        CloseSettingsScreen();
    }
}

TEST_F(MenuTest, QuitByButtonAndByEnterClosesTheMenuAndQuits) {
    ASSERT_EQ(OpenPauseMenu(), 1u);
    ClickOn(PauseQuitButton);  // destroys its own parent from its click handler
    EXPECT_EQ(PauseMenuWnd, nullptr);
    EXPECT_EQ(WndCount, 0u);
    EXPECT_EQ(gQuits, 0);  // the quit is deferred to the end of the frame, as 74/4 always is
    RunDeferredActions();
    EXPECT_EQ(gQuits, 1);
    ASSERT_EQ(OpenPauseMenu(), 1u);
    SendKeyUpToFocusWnd(FocusWnd, 13);
    EXPECT_EQ(PauseMenuWnd, nullptr);
    RunDeferredActions();
    EXPECT_EQ(gQuits, 2);
}

TEST_F(MenuTest, SettingsOpenAboveEveryWindowWithTheVolumesShown) {
    CNztWnd* high = CreateWnd("high", 0, 0, 100, 100, nullptr);
    high->depthKey = 500.0f;
    ASSERT_EQ(OpenSettingsScreen(), 1u);
    EXPECT_EQ(OpenSettingsScreen(), 0u);
    ASSERT_NE(SettingsWnd, nullptr);
    EXPECT_EQ(SettingsWnd->depthKey, 501.0f);
    EXPECT_EQ(SettingsYesButton->depthKey, 501.0f);
    EXPECT_EQ(MusicValueLabel->depthKey, 501.0f);
    EXPECT_STREQ(MusicValueLabel->label, " 50.0 %");
    EXPECT_STREQ(SoundValueLabel->label, " 80.0 %");
    EXPECT_EQ(FocusWnd, SettingsWnd);
    EXPECT_FLOAT_EQ(SavedMusicVolume, 0.5f);
    Sort();
    EXPECT_EQ(WndList[0]->depthKey, 501.0f);
}

TEST_F(MenuTest, YesKeepsTheNewVolumesAndNoFadesBack) {
    struct Case {
        bool accept;
        bool byKey;
    };
    for (const Case c : {Case{true, false}, Case{false, false}, Case{true, true}, Case{false, true}}) {
        MusicVolume = 0.5f;
        SoundVolume = 0.8f;
        MasterSoundFade = GainFade{0.0f, 0.0f, 0};
        ASSERT_EQ(OpenSettingsScreen(), 1u);
        DragSlider(MusicSlider, MusicSlider->highestThumb + 50.0f);
        DragSlider(SoundSlider, 0.0f);
        EXPECT_FLOAT_EQ(MusicVolume, 1.0f);
        EXPECT_FLOAT_EQ(SoundVolume, 0.0f);
        EXPECT_STREQ(MusicValueLabel->label, " 100.0 %");
        if (c.byKey) {
            SetFocusWnd(SettingsWnd);
            SendKeyUpToFocusWnd(FocusWnd, c.accept ? 13 : 27);
        } else {
            ClickOn(c.accept ? static_cast<CNztWnd*>(SettingsYesButton) : SettingsNoButton);
        }
        EXPECT_EQ(SettingsWnd, nullptr);
        EXPECT_EQ(MusicSlider, nullptr);
        EXPECT_EQ(SoundValueLabel, nullptr);
        EXPECT_EQ(WndCount, 0u);  // the sliders, labels and buttons went with the screen
        if (c.accept) {
            EXPECT_FLOAT_EQ(MusicVolume, 1.0f);
            EXPECT_FLOAT_EQ(SoundVolume, 0.0f);
        } else {
            // The settings go back; the sound gain rises there over 10 fade ticks.
            EXPECT_FLOAT_EQ(MusicVolume, 0.5f);
            EXPECT_FLOAT_EQ(SoundVolume, 0.8f);
            EXPECT_EQ(MasterSoundFade.state, static_cast<uint32_t>(FadeRise));
            EXPECT_NEAR(MasterSoundFade.step, 0.08f, 1e-6f);
            EXPECT_EQ(MusicFade.state, static_cast<uint32_t>(FadeFall));
        }
    }
}

TEST_F(MenuTest, SettingsOverThePauseMenuCloseIndependently) {
    ASSERT_EQ(OpenPauseMenu(), 1u);
    OnPauseSettings(nullptr);
    ASSERT_NE(SettingsWnd, nullptr);
    ASSERT_NE(PauseMenuWnd, nullptr);
    CloseSettingsScreen();
    EXPECT_EQ(SettingsWnd, nullptr);
    EXPECT_NE(PauseMenuWnd, nullptr);
    CloseSettingsScreen();  // closed: nothing
    OnPauseContinue(nullptr);
    EXPECT_EQ(PauseMenuWnd, nullptr);
    EXPECT_EQ(WndCount, 0u);
    // Shutdown with both open clears every global.
    OpenPauseMenu();
    OpenSettingsScreen();
    DestroyAllWnds();
    EXPECT_EQ(PauseMenuWnd, nullptr);
    EXPECT_EQ(PauseQuitButton, nullptr);
    EXPECT_EQ(SettingsWnd, nullptr);
    EXPECT_EQ(SettingsYesButton, nullptr);
}

}  // namespace
