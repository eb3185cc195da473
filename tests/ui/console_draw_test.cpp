// The console as DrawAllWnds puts it on the screen, read back from a hidden GL window, with a game
// font larger than the console's caption strip (as the sample game's is).
#include <gtest/gtest.h>

#include "render/renderstate.h"
#include "render/text.h"
#include "ui/console.h"
#include "ui/wnd.h"
#include "ui/wnd_screen.h"

namespace {

class GlConsole : public GlWndScreen {
protected:
    static void SetUpTestSuite() { OpenScreen("console"); }
    void SetUp() override {
        GlWndScreen::SetUp();
        ASSERT_NE(CreateTextFont(kSans), nullptr);
        ASSERT_NE(LoadGameFont(kSans, 24.0f), nullptr);
        RenderState.currentFont = RenderState.gameFont;
        RenderState.currentFontSize = 24.0f;
    }
    // Rows [y0, y1) of columns [x0, x1) holding a light pixel: text on the console's black.
    static bool LightRow(int y, int x0, int x1) {
        for (int x = x0; x < x1; ++x) {
            const Rgb c = At(x, y);
            if (c.r > 120 && c.g > 120 && c.b > 120) return true;
        }
        return false;
    }
};

// The console opens 450 x 50 at the bottom left (top 420 on this 480-high screen). Its caption lies
// wholly in the 16-pixel strip, and the input line wholly below it: neither is cut by the strip's
// edges, whatever font the game's screens use. The frame's own font is left as it was.
TEST_F(GlConsole, TheCaptionFitsItsStripAndTheInputLineStandsBelowIt) {
    CNztWnd_Edit* console = CreateConsoleWnd();
    ASSERT_NE(console, nullptr);
    ToggleConsole();
    ASSERT_NE(console->visible, 0u);
    console->SetInputLine("hhhhhhhh");
    Frame();
    const int top = 420;
    ASSERT_EQ(console->screenTop, static_cast<float>(top));
    // The caption "Console", from 10 pixels in: in the strip's rows, clear of its bottom edge (the
    // strip ends in its line at row top + 16).
    int captionRows = 0;
    for (int y = top + 1; y < top + 13; ++y) captionRows += LightRow(y, 12, 90) ? 1 : 0;
    EXPECT_GE(captionRows, 5) << "no caption in the strip";
    for (int y = top + 13; y < top + 16; ++y)
        EXPECT_FALSE(LightRow(y, 12, 90)) << "caption cut at row " << y - top;
    // The input line, from 5 pixels in: its first light row comes after a dark row below the strip,
    // so its tallest letters are whole.
    int first = -1;
    for (int y = top + 16; y < top + 50 && first < 0; ++y)
        if (LightRow(y, 7, 60)) first = y;
    ASSERT_GE(first, 0) << "the input line is not drawn";
    EXPECT_GE(first, top + 18) << "the input line reaches into the caption strip";
    EXPECT_EQ(RenderState.currentFont, RenderState.gameFont);
    EXPECT_EQ(RenderState.currentFontSize, 24.0f);
}

}  // namespace
