// What DrawAllWnds puts on the screen, read back from a hidden GL window.
#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "render/projection.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "render/texture.h"
#include "ui/wnd.h"
#include "ui/wnd_screen.h"

namespace {

class GlWnds : public GlWndScreen {
protected:
    static void SetUpTestSuite() { OpenScreen("wnds"); }

    static int BrightIn(int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const Rgb c = At(x, y);
                if (c.r > 150 && c.g > 150 && c.b > 150) ++n;
            }
        return n;
    }
    static CNztWnd* Plain(float x, float y, float w, float h, float r, float g, float b) {
        CNztWnd* wnd = CreateWnd(nullptr, x, y, w, h, nullptr);
        wnd->colour[0] = r;
        wnd->colour[1] = g;
        wnd->colour[2] = b;
        wnd->colour[3] = 1.0f;
        wnd->border = 0;
        return wnd;
    }
};

TEST_F(GlWnds, TheBodyAndTheCaptionStripAreWhereTheWindowIs) {
    CNztWnd* w = Plain(100, 100, 200, 100, 1.0f, 0.0f, 0.0f);
    w->SetText("Caption");
    Frame();
    // The body, shaded from the top-left corner (full) towards the bottom-right (half).
    EXPECT_GT(At(105, 130).r, 200);
    EXPECT_LT(At(105, 130).g, 30);
    EXPECT_GT(At(295, 195).r, 100);
    // Outside: the cleared screen.
    for (auto [x, y] : {std::pair{95, 150}, {305, 150}, {200, 95}, {200, 205}}) EXPECT_LT(At(x, y).r, 20) << x << "," << y;
    // The caption strip ends in a black line 16 pixels below the top.
    int darkest = 255;
    for (int y = 114; y <= 118; ++y) darkest = std::min(darkest, At(250, y).r);
    EXPECT_LT(darkest, 60);
    // The caption text is drawn in the strip, from 10 pixels right of the left edge.
    EXPECT_GT(BrightIn(108, 100, 180, 116), 10);
    EXPECT_EQ(BrightIn(108, 120, 180, 200), 0);
    // Whatever matrix an earlier pass of the frame left current (the world's passes push their
    // own and may leave the 2-D level pushed), the windows stay in screen pixels.
    glPushMatrix();
    glScalef(0.4f, 0.4f, 1.0f);
    RenderState.baseViewPushed = 1;
    Frame();
    EXPECT_GT(At(105, 130).r, 200);
    EXPECT_LT(At(95, 150).r, 20);
    EXPECT_EQ(RenderState.baseViewPushed, 0u);
    // A window without a caption strip has no line there.
    w->titleBar = 0;
    Frame();
    EXPECT_GT(At(250, 116).r, 150);
}

TEST_F(GlWnds, TheHigherKeyIsDrawnOnTopAndHiddenWindowsShowOnlyTheirVisibleChildren) {
    CNztWnd* red = Plain(100, 100, 200, 150, 1.0f, 0.0f, 0.0f);
    CNztWnd* green = Plain(150, 120, 200, 150, 0.0f, 1.0f, 0.0f);
    red->titleBar = green->titleBar = 0;
    Frame();
    EXPECT_GT(At(160, 130).g, 150);
    EXPECT_LT(At(160, 130).r, 30);
    // New windows take keys above every earlier one: go above the green one, whatever it took.
    red->depthKey = green->depthKey + 10.0f;
    Frame();
    EXPECT_GT(At(160, 130).r, 150);

    CNztWnd* child = Plain(10, 10, 40, 40, 0.0f, 0.0f, 1.0f);
    child->titleBar = 0;
    red->AddChild(child);
    child->parent = red;
    child->UpdateRect();
    red->visible = 0;
    Frame();
    EXPECT_GT(At(130, 135).b, 150);  // the child, inside the hidden parent's client area
    EXPECT_LT(At(105, 200).r, 30);   // no trace of the parent itself
}

TEST_F(GlWnds, LabelsAreClippedToTheirClientArea) {
    CNztWnd* holder = Plain(50, 50, 500, 300, 0.0f, 0.0f, 0.0f);
    holder->titleBar = 0;
    holder->colour[3] = 0.0f;
    holder->captionHeight = 0.0f;
    CNztWnd_Info* label = CreateInfoWnd(nullptr, nullptr, 100, 100, 60, 30, holder);
    label->colour[3] = 0.0f;
    label->border = label->titleBar = 0;
    label->opaqueWhenFocused = 0;
    label->shadow = 0;
    label->captionHeight = 0.0f;
    label->UpdateRect();
    label->SetText("WWWWWWWWWWWWWWWWWWWW");
    MeasureText("0", &label->sampleWidth, &label->sampleHeight, &label->sampleDepth);
    // The label's client area: x 150..210, y 150..180.
    Frame();
    EXPECT_GT(BrightIn(150, 145, 210, 185), 20);
    EXPECT_EQ(BrightIn(212, 140, 600, 200), 0);
    label->clip = 0;
    Frame();
    EXPECT_GT(BrightIn(212, 140, 600, 200), 20);
}

}  // namespace
