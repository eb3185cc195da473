#include "ui/screenmsg.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "game/frame.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "support/gl_pixels.h"
#include "support/gl_window.h"
#include "ui/gameui.h"
#include "ui/wnd.h"

namespace {

constexpr float kWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};

// Every test starts with empty records and leaves the render state and timing as it found them.
class ScreenMessageFixture : public ::testing::Test {
 protected:
    void SetUp() override {
        savedRender = RenderState;
        savedTiming = FrameTiming;
        ResetScreenMessages();
    }
    void TearDown() override {
        ResetScreenMessages();
        RenderState = savedRender;
        FrameTiming = savedTiming;
    }
    static void Show(const char* text, int32_t gameUI = -1, float hold = 1.0f) {
        ShowScreenMessage(text, kWhite, gameUI, hold, 0.0f, 0.0f, 0, 0, 0);
    }
    // The first line of each record, "" for a free record.
    static std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const ScreenMessage& m : ScreenMessages) texts.emplace_back(m.colour[3] > 0.0f ? m.text : "");
        return texts;
    }
    NztRenderState savedRender;
    FrameTimingState savedTiming;
};

using ScreenMessageRecords = ScreenMessageFixture;

TEST_F(ScreenMessageRecords, RecordsFilledInTurnAndDuplicatesRefusedPerOwner) {
    struct Step {
        const char* text;
        int32_t gameUI;
        std::vector<std::string> texts;
        uint32_t index;
        uint32_t count;
    };
    const Step steps[] = {
        {"a", -1, {"", "a", ""}, 1, 1},
        {"a", -1, {"", "a", ""}, 1, 1},  // the same text for the same owner shows once
        {"a", 5, {"", "a", "a"}, 2, 2},  // another owner (even one that does not exist) is apart
        {"b", -1, {"b", "a", "a"}, 0, 3},
        {"c", -1, {"b", "c", "a"}, 1, 4},  // the oldest slot in turn, though still visible
        {"a", -1, {"b", "c", "a"}, 2, 5},  // the free "a" is gone, so it shows again
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(s.text) + " for " + std::to_string(s.gameUI));
        Show(s.text, s.gameUI);
        EXPECT_EQ(Texts(), s.texts);
        EXPECT_EQ(ScreenMessageIndex, s.index);
        EXPECT_EQ(ScreenMessageActiveCount, s.count);
    }
    EXPECT_EQ(ScreenMessages[2].gameUI, -1);
}

TEST_F(ScreenMessageRecords, OlderMessagesOfTheSameOwnerMoveUp) {
    RenderState.gameFontSize = 20.0f;
    Show("one#two");
    Show("other", 4);
    const float firstY = ScreenMessages[1].y;
    const float otherY = ScreenMessages[2].y;
    Show("three");
    EXPECT_EQ(ScreenMessages[1].y, firstY - 2 * 20.0f) << "two lines of one font size";
    EXPECT_EQ(ScreenMessages[2].y, otherY) << "another owner stays";
    EXPECT_EQ(RenderState.currentFontSize, 20.0f) << "the game font is made current";
}

TEST_F(ScreenMessageRecords, LongTextsAreCutAndLinesStayBounded) {
    const std::string letters(300, 'x');
    Show(letters.c_str());
    const ScreenMessage& m = ScreenMessages[ScreenMessageIndex];
    EXPECT_EQ(std::strlen(m.text), 255u);
    EXPECT_EQ(m.lineCount, 1u);
    // The kept text is what counts as the same message.
    Show(letters.substr(0, 255).c_str());
    EXPECT_EQ(ScreenMessageActiveCount, 1u);

    const std::string hashes(300, '#');
    Show(hashes.c_str());
    const ScreenMessage& cut = ScreenMessages[ScreenMessageIndex];
    ASSERT_EQ(cut.lineCount, MaxTextLines);
    for (uint32_t i = 0; i < cut.lineCount; ++i) {
        EXPECT_STREQ(cut.lines[i].text, "") << i;
        EXPECT_TRUE(cut.lines[i].text >= cut.text && cut.lines[i].text < cut.text + sizeof cut.text) << i;
    }
}

TEST_F(ScreenMessageRecords, NullTextAndClearEmptyEveryRecord) {
    Show("a", -1, 3.0f);
    Show("b", -1, 3.0f);
    ClearScreenMessages();
    EXPECT_EQ(Texts(), std::vector<std::string>(3, ""));
    EXPECT_EQ(ScreenMessageActiveCount, 0u);
    EXPECT_EQ(ScreenMessageIndex, 2u) << "clearing keeps the turn";
    for (const ScreenMessage& m : ScreenMessages) EXPECT_EQ(m.holdTime, 0.0f);

    Show("c", -1, 3.0f);
    ShowScreenMessage(nullptr, kWhite, -1, 0.0f, 0.0f, 0.0f, 0, 0, 0);
    EXPECT_EQ(Texts(), std::vector<std::string>(3, ""));
    EXPECT_EQ(ScreenMessageActiveCount, 0u);
    EXPECT_EQ(ScreenMessageIndex, 0u) << "a null text restarts the turn";
    EXPECT_EQ(ScreenMessages[0].holdTime, 3.0f) << "a null text leaves the hold time";
}

// A panel of the game interface list at (x, y), virtual units.
NztGameUI* Panel(float x, float y, float w, float h) {
    GameUIRecord r;
    r.x = x;
    r.y = y;
    r.width = w;
    r.height = h;
    return CreateGameUI(r);
}

// Where messages go on a 4:3 and on a wide screen: x by the width everywhere; y by the height for a
// free message, by the width for a panel's. (No font is current: lines measure 0 by 0.)
TEST_F(ScreenMessageRecords, PlacedOnTheGridOfTheScreenWhateverItsShape) {
    for (auto [w, h] : {std::pair{1024, 768}, std::pair{1280, 720}, std::pair{1920, 1080}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        ResetScreenMessages();
        ApplyScreenSize(RenderState, w, h);
        RenderState.gameFont = RenderState.currentFont = nullptr;
        const float sx = float(w) / 1024.0f, sy = float(h) / 768.0f;
        NztGameUI* panel = Panel(200, 100, 300, 50);
        ASSERT_NE(panel->mainWnd, nullptr);
        ShowScreenMessage("free", kWhite, -1, 1.0f, 40.0f, 30.0f, 0, 0, 0);
        const ScreenMessage& free = ScreenMessages[ScreenMessageIndex];
        EXPECT_FLOAT_EQ(free.x, float(w / 2) + 40.0f * sx);
        EXPECT_FLOAT_EQ(free.y, float(h / 2) + 30.0f * sy);
        ShowScreenMessage("under", kWhite, 0, 1.0f, 40.0f, 30.0f, 0, 0, 0);
        const ScreenMessage& under = ScreenMessages[ScreenMessageIndex];
        EXPECT_FLOAT_EQ(under.x, (200.0f + 150.0f) * sx + 40.0f * sx);
        EXPECT_FLOAT_EQ(under.y, 100.0f * sy + 30.0f * sx);
        DestroyAllGameUIs();
        DestroyAllWnds();
    }
}

// ---------------------------------------------------------------- drawing, holding and fading

const char* const kSans = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
constexpr int kWidth = 640;
constexpr int kHeight = 480;

class GlScreenMessages : public ScreenMessageFixture {
 protected:
    static void SetUpTestSuite() {
        // SetUp reports a missing context.
        OpenHiddenGlWindow("screenmsg", kWidth, kHeight, &window_, &context_);
    }
    static void TearDownTestSuite() {
        CloseHiddenGlWindow(&window_, &context_);
    }
    void SetUp() override {
        ScreenMessageFixture::SetUp();
        ASSERT_NE(context_, nullptr) << "no GL context: " << SDL_GetError();
        ApplyScreenSize(RenderState, kWidth, kHeight);
        RenderState.threadCodePage = 0;
        RenderState.depthTestOn = RenderState.blendOn = RenderState.texture2DOn = 0;
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        SetPixelPlane(kWidth, kHeight);
        ASSERT_NE(LoadGameFont(kSans, 24.0f), nullptr);
        SwitchTexture2D(true);
    }
    void TearDown() override {
        FreeTextFonts();
        ScreenMessageFixture::TearDown();
    }
    // Grey pixels that the last draw changed.
    static size_t DrawnPixels() {
        glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        DrawScreenMessages();
        std::vector<uint8_t> pixels = ReadBackPixels(kWidth, kHeight);
        size_t drawn = 0;
        for (size_t i = 0; i < pixels.size(); i += 4) drawn += pixels[i] != 128 && pixels[i] != 127;
        return drawn;
    }

    static inline SDL_Window* window_ = nullptr;
    static inline SDL_GLContext context_ = nullptr;
};

// A linked message carries its panel: shown with the message, faded with it, hidden when it is
// gone or cleared. A message that is not linked leaves its panel alone.
TEST_F(GlScreenMessages, ALinkedMessageFadesAndHidesItsPanel) {
    NztGameUI* linked = Panel(10, 10, 100, 40);
    NztGameUI* loose = Panel(10, 200, 100, 40);
    HideGameUI(linked);
    HideGameUI(loose);
    FrameTiming.frameTime = 1.0f / 32.0f;
    ShowScreenMessage("Linked", kWhite, 0, 0.25f, 0, 0, 0, 1, 1);
    const ScreenMessage& m = ScreenMessages[ScreenMessageIndex];
    ShowScreenMessage("Loose", kWhite, 1, 0.25f, 0, 0, 0, 1, 0);
    ASSERT_EQ(linked->mainWnd->visible, 1u);
    ASSERT_EQ(loose->mainWnd->visible, 1u);
    for (int frame = 0; frame < 8; ++frame) DrawnPixels();  // the hold
    EXPECT_EQ(linked->mainWnd->colour[3], 1.0f);
    int fading = 0;
    while (m.colour[3] > 0.0f && fading < 40) {
        DrawnPixels();
        ++fading;
        EXPECT_EQ(linked->mainWnd->colour[3], m.colour[3]) << fading;
        if (m.colour[3] > 0.0f) EXPECT_EQ(linked->mainWnd->visible, 1u) << fading;
    }
    EXPECT_EQ(fading, 13);
    EXPECT_EQ(linked->mainWnd->colour[3], 0.0f);
    EXPECT_EQ(linked->mainWnd->visible, 0u) << "hidden when the message is gone";
    EXPECT_EQ(loose->mainWnd->colour[3], 1.0f);
    EXPECT_EQ(loose->mainWnd->visible, 1u);

    ShowGameUI(linked);
    linked->SetOpacity(1.0f);
    ShowScreenMessage("Again", kWhite, 0, 5.0f, 0, 0, 0, 1, 1);
    ShowScreenMessage("Loose again", kWhite, 1, 5.0f, 0, 0, 0, 1, 0);
    ClearScreenMessages();
    EXPECT_EQ(linked->mainWnd->visible, 0u) << "clearing hides a linked panel";
    EXPECT_EQ(loose->mainWnd->visible, 1u);
    DestroyAllGameUIs();
    DestroyAllWnds();
}

TEST_F(GlScreenMessages, LinesStackInTextOrderAroundTheCentre) {
    Show("Upper#Lower");
    const ScreenMessage& m = ScreenMessages[ScreenMessageIndex];
    ASSERT_EQ(m.lineCount, 2u);
    EXPECT_STREQ(m.lines[0].text, "Upper");
    EXPECT_STREQ(m.lines[1].text, "Lower");
    // Each line is measured on its own; the last one gives the height used to place the block.
    float width = 0.0f, lowerWidth = 0.0f, height = 0.0f;
    MeasureText("Upper", &width, nullptr, nullptr);
    MeasureText("Lower", &lowerWidth, &height, nullptr);
    ASSERT_GT(height, 0.0f);
    EXPECT_EQ(m.lines[0].y, 0.0f);
    EXPECT_EQ(m.lines[1].y, height) << "the second line one measured height below the first";
    const float widest = width > lowerWidth ? width : lowerWidth;
    EXPECT_FLOAT_EQ(m.x, kWidth / 2.0f - widest / 2.0f);
    EXPECT_FLOAT_EQ(m.y, kHeight / 2.0f - 3.0f * height);
    EXPECT_GT(DrawnPixels(), 0u);
}

TEST_F(GlScreenMessages, HoldsAtFullStrengthThenFadesInFourTenths) {
    // 1/32 s frames are exact in binary: 64 frames hold 2 s, then 2.5 per second fades 1.0 in 12.8.
    FrameTiming.frameTime = 1.0f / 32.0f;
    Show("Fading", -1, 2.0f);
    ScreenMessage& m = ScreenMessages[ScreenMessageIndex];
    for (int frame = 0; frame < 64; ++frame) ASSERT_GT(DrawnPixels(), 0u) << frame;
    EXPECT_EQ(m.colour[3], 1.0f);
    EXPECT_EQ(m.holdTime, 0.0f);
    for (int frame = 0; frame < 12; ++frame) DrawnPixels();
    EXPECT_GT(m.colour[3], 0.0f);
    EXPECT_EQ(ScreenMessageActiveCount, 1u);
    DrawnPixels();
    EXPECT_EQ(m.colour[3], 0.0f);
    EXPECT_EQ(ScreenMessageActiveCount, 0u);
    EXPECT_EQ(DrawnPixels(), 0u);
}

}  // namespace
