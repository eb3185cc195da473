// A hidden GL window with the windows' 2-D plane and a game font, for tests that draw windows and
// read the screen back. The screen is 640 x 480 unless a suite sets another size before SetUp (at
// most the window's 960 x 540): the screen is the bottom-left part of the window.
#pragma once

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/projection.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "render/texture.h"
#include "support/gl_pixels.h"
#include "support/gl_window.h"
#include "ui/wnd.h"

class GlWndScreen : public ::testing::Test {
protected:
    static constexpr int kWindowWidth = 960;
    static constexpr int kWindowHeight = 540;
    static inline int kWidth = 640;
    static inline int kHeight = 480;
    static constexpr const char* kSans = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";

    struct Rgb {
        int r, g, b;
    };

    static void OpenScreen(const char* title) {
        OpenHiddenGlWindow(title, kWindowWidth, kWindowHeight, &window_, &context_);
    }
    static void TearDownTestSuite() { CloseHiddenGlWindow(&window_, &context_); }

    void SetUp() override {
        ASSERT_NE(context_, nullptr) << "no GL context: " << SDL_GetError();
        ASSERT_TRUE(kWidth <= kWindowWidth && kHeight <= kWindowHeight);
        DestroyAllWnds();
        ClearTextureTable();
        ApplyScreenSize(RenderState, kWidth, kHeight);
        RenderState.focalLength = 1600.0f;
        ResetCamera(RenderState);
        RenderState.threadCodePage = 0;
        // A new context: start from a state the cache knows.
        RenderState.depthTestOn = RenderState.blendOn = RenderState.texture2DOn = RenderState.scissorOn = 0;
        RenderState.cullFaceOn = 0;
        RenderState.baseViewPushed = 0;
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_CULL_FACE);
        SetPixelPlane(kWidth, kHeight);
        ASSERT_NE(LoadGameFont(kSans, 16.0f), nullptr);
        RenderState.currentFont = RenderState.gameFont;
        RenderState.currentFontSize = 16.0f;
    }
    void TearDown() override {
        DestroyAllWnds();
        DeleteAllTextures();
        ClearTextureTable();
        FreeTextFonts();
        ApplyScreenSize(RenderState, 800, 600);
    }

    // One frame of the windows over a black screen, sorted as the frame functions sort them.
    static void Frame() {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        if (WndCount > 0) SortWndsByDepth(WndList, 0, static_cast<int32_t>(WndCount) - 1);
        DrawAllWnds();
        pixels_ = ReadBackPixels(kWidth, kHeight);
    }
    // Screen pixel (x right, y down from the top-left corner).
    static Rgb At(int x, int y) {
        const uint8_t* p = &pixels_[(size_t(kHeight - 1 - y) * kWidth + size_t(x)) * 4];
        return {p[0], p[1], p[2]};
    }

    static inline SDL_Window* window_ = nullptr;
    static inline SDL_GLContext context_ = nullptr;
    static inline std::vector<uint8_t> pixels_;
};
