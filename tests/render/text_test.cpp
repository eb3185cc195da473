#include <FTGL/ftgl.h>
#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "render/texture.h"
#include "support/gl_window.h"

namespace {

const char* const kSans = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
const char* const kSerif = "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf";

// ---------------------------------------------------------------- code-page conversion

TEST(TextCodePage, BytesMapToWindows1252Characters) {
  struct Case {
    unsigned char byte;
    wchar_t wide;
  };
  const Case cases[] = {
      {0x41, L'A'},    {0x7F, 0x7F},    {0x80, 0x20AC},  {0x81, 0x81},    {0x8C, 0x152},
      {0x92, 0x2019},  {0x99, 0x2122},  {0x9F, 0x178},   {0xA0, 0xA0},    {0xE9, 0xE9},
      {0xFF, 0xFF},
  };
  for (bool thread : {false, true}) {
    for (const Case& c : cases) {
      EXPECT_EQ(CodePageCharToWide(c.byte, thread), c.wide)
          << "byte 0x" << std::hex << int(c.byte) << " thread " << thread;
    }
  }
  wchar_t out[8];
  EXPECT_EQ(CodePageToWide("\x80 caf\xE9", out, 8, false), 6u);
  EXPECT_EQ(std::wstring(out), std::wstring(L"\u20AC caf\u00E9"));
}

TEST(TextCodePage, ConversionCutsToCapacityAndTerminates) {
  struct Case {
    const char* text;
    size_t capacity;
    size_t written;
  };
  const Case cases[] = {
      {"abc", 8, 3}, {"abc", 4, 3}, {"abcd", 4, 3}, {"abc", 1, 0}, {"", 4, 0}, {nullptr, 4, 0},
  };
  for (const Case& c : cases) {
    wchar_t out[8];
    std::fill(std::begin(out), std::end(out), L'#');
    EXPECT_EQ(CodePageToWide(c.text, out, c.capacity, false), c.written) << c.capacity;
    EXPECT_EQ(out[c.written], L'\0');
    for (size_t i = c.written + 1; i < 8; ++i) EXPECT_EQ(out[i], L'#') << "wrote past the end";
  }
}

// ---------------------------------------------------------------- fonts under a GL context

constexpr int kWidth = 640;
constexpr int kHeight = 480;

class GlText : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // SetUp reports a missing context.
    OpenHiddenGlWindow("text", kWidth, kHeight, &window_, &context_);
  }
  static void TearDownTestSuite() {
    CloseHiddenGlWindow(&window_, &context_);
  }

  void SetUp() override {
    ASSERT_NE(context_, nullptr) << "no GL context: " << SDL_GetError();
    // The 2-D text plane: one unit is one pixel at the text matrix's depth.
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-kWidth / 2.0, kWidth / 2.0, -kHeight / 2.0, kHeight / 2.0, 1.0, 4000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float textMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -1600.0f, 1};
    std::copy(std::begin(textMatrix), std::end(textMatrix), RenderState.textMatrix);
    RenderState.threadCodePage = 0;
    RenderState.halfViewportWidth = kWidth / 2.0f;
    RenderState.halfViewportHeight = kHeight / 2.0f;
  }
  void TearDown() override { FreeTextFonts(); }

  // Draws text in white on black with blending as the interface sets it, and returns the lit
  // pixels' bounds: left, top (rows from the top), right and bottom, exclusive; all -1 when none.
  static std::vector<int> InkBounds(const char* text, float x, float y) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 1);
    DrawTextAt(text, x, y);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    std::vector<unsigned char> pixels(size_t(kWidth) * kHeight * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    int left = kWidth, top = kHeight, right = -1, bottom = -1;
    for (int row = 0; row < kHeight; ++row) {
      for (int col = 0; col < kWidth; ++col) {
        if (pixels[(size_t(row) * kWidth + col) * 4] < 128) continue;
        const int fromTop = kHeight - 1 - row;
        left = std::min(left, col);
        right = std::max(right, col + 1);
        top = std::min(top, fromTop);
        bottom = std::max(bottom, fromTop + 1);
      }
    }
    if (right < 0) return {-1, -1, -1, -1};
    return {left, top, right, bottom};
  }

  static inline SDL_Window* window_ = nullptr;
  static inline SDL_GLContext context_ = nullptr;
};

TEST_F(GlText, DrawnTextCoversItsMeasuredBox) {
  ASSERT_NE(LoadGameFont(kSans, 40.0f), nullptr);
  ASSERT_EQ(RenderState.currentFont, RenderState.gameFont);
  const char* const texts[] = {"Hello, World", "Wij", "caf\xE9 \x80 100", "|"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    float w = -1, h = -1, d = -1;
    MeasureText(text, &w, &h, &d);
    EXPECT_GT(w, 0.0f);
    EXPECT_GT(h, 0.0f);
    EXPECT_EQ(d, 0.0f);

    // The box measured from the baseline start, to place it on the screen.
    wchar_t wide[64];
    CodePageToWide(text, wide, 64, false);
    const FTBBox box = RenderState.currentFont->BBox(wide);
    const float x = 100.0f, y = 200.0f;
    BoundTextureId = 77;
    const std::vector<int> ink = InkBounds(text, x, y);
    EXPECT_EQ(BoundTextureId, 0u);
    ASSERT_GE(ink[0], 0) << "nothing drawn";
    EXPECT_NEAR(ink[2] - ink[0], w, 1.0);
    EXPECT_NEAR(ink[3] - ink[1], h, 1.0);
    EXPECT_NEAR(ink[0], x + box.Lower().Xf(), 1.0);
    EXPECT_NEAR(ink[1], y - box.Upper().Yf(), 1.0) << "baseline is at y, counted downwards";
  }
}

TEST_F(GlText, DrawingLeavesTheCachedSwitchesAlone) {
  ASSERT_NE(CreateTextFont(kSans), nullptr);
  for (bool on : {false, true}) {
    if (on) {
      glEnable(GL_BLEND);
      glEnable(GL_TEXTURE_2D);
      glBlendFunc(GL_ONE, GL_ONE);
    } else {
      glDisable(GL_BLEND);
      glDisable(GL_TEXTURE_2D);
    }
    DrawTextAt("state", 10, 20);
    EXPECT_EQ(glIsEnabled(GL_BLEND), on ? GL_TRUE : GL_FALSE);
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), on ? GL_TRUE : GL_FALSE);
    if (on) {
      GLint src = 0, dst = 0;
      glGetIntegerv(GL_BLEND_SRC, &src);
      glGetIntegerv(GL_BLEND_DST, &dst);
      EXPECT_EQ(src, GL_ONE);
      EXPECT_EQ(dst, GL_ONE);
    }
  }
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlText, ThreadCodePageDrawsTheSameGlyphs) {
  ASSERT_NE(LoadGameFont(kSans, 30.0f), nullptr);
  const FTBBox expected = RenderState.currentFont->BBox(L"\u20AC\u00E9\u0152\u2122");
  for (uint8_t thread : {0, 1}) {
    RenderState.threadCodePage = thread;
    float w = 0, h = 0;
    MeasureText("\x80\xE9\x8C\x99", &w, &h, nullptr);
    EXPECT_FLOAT_EQ(w, expected.Upper().Xf() - expected.Lower().Xf()) << int(thread);
    EXPECT_FLOAT_EQ(h, expected.Upper().Yf() - expected.Lower().Yf()) << int(thread);
  }
}

TEST_F(GlText, EmptyAndOverlongTextMeasure) {
  ASSERT_NE(CreateTextFont(kSans), nullptr);
  float w = 7, h = 7, d = 7;
  MeasureText("", &w, &h, &d);
  EXPECT_EQ(w, 0.0f);
  EXPECT_EQ(h, 0.0f);
  EXPECT_EQ(d, 0.0f);
  MeasureText(nullptr, &w, &h, &d);
  EXPECT_EQ(w, 0.0f);

  // Text is cut at 1023 characters.
  auto width = [](size_t n) {
    const std::string text(n, 'i');
    float tw = 0;
    MeasureText(text.c_str(), &tw, nullptr, nullptr);
    return tw;
  };
  EXPECT_EQ(width(1500), width(1023));
  EXPECT_GT(width(1023), width(1022));
}

TEST_F(GlText, WithoutFontNothingIsDrawnAndTheBoxIsZero) {
  for (bool loadedThenFreed : {false, true}) {
    SCOPED_TRACE(loadedThenFreed);
    if (loadedThenFreed) {
      ASSERT_NE(CreateTextFont(kSans), nullptr);
      ASSERT_NE(LoadGameFont(kSerif, 20.0f), nullptr);
      FreeTextFonts();
      EXPECT_EQ(RenderState.defaultFont, nullptr);
      EXPECT_EQ(RenderState.gameFont, nullptr);
    }
    EXPECT_EQ(RenderState.currentFont, nullptr);
    float w = 7, h = 7, d = 7;
    MeasureText("Hello", &w, &h, &d);
    EXPECT_EQ(w, 0.0f);
    EXPECT_EQ(h, 0.0f);
    EXPECT_EQ(d, 0.0f);
    EXPECT_EQ(InkBounds("Hello", 100, 200)[0], -1);
  }
}

TEST_F(GlText, FailedLoadLeavesTheSlots) {
  const std::filesystem::path notFont =
      std::filesystem::temp_directory_path() / ("qv_text_" + std::to_string(getpid()) + ".ttf");
  {
    FILE* f = std::fopen(notFont.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not a font at all", f);
    std::fclose(f);
  }
  FTFont* defaultFont = CreateTextFont(kSans);
  FTFont* gameFont = LoadGameFont(kSerif, 20.0f);
  ASSERT_NE(defaultFont, nullptr);
  ASSERT_NE(gameFont, nullptr);
  ASSERT_EQ(RenderState.currentFont, defaultFont);

  struct Case {
    const char* path;
    float size;
  };
  const Case cases[] = {
      {"/nonexistent/FONTS/ARIAL.TTF", 20.0f},
      {notFont.c_str(), 20.0f},
      {"", 20.0f},
      {nullptr, 20.0f},
      {kSans, 0.0f},
      {kSans, 0.4f},
      {kSans, -12.0f},
      {kSans, NAN},
      {kSans, 1e9f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path ? c.path : "(null)") + " " + std::to_string(c.size));
    EXPECT_EQ(LoadGameFont(c.path, c.size), nullptr);
    if (c.size == 20.0f) {
      EXPECT_EQ(CreateTextFont(c.path), nullptr);
    }
    EXPECT_EQ(RenderState.defaultFont, defaultFont);
    EXPECT_EQ(RenderState.defaultFontSize, 12.0f);
    EXPECT_EQ(RenderState.gameFont, gameFont);
    EXPECT_EQ(RenderState.gameFontSize, 20.0f);
    EXPECT_EQ(RenderState.currentFont, defaultFont);
    EXPECT_EQ(RenderState.currentFontSize, 12.0f);
  }
  std::filesystem::remove(notFont);
}

TEST_F(GlText, ReplacedFontStaysCurrentOnlyWhenItWas) {
  FTFont* defaultFont = CreateTextFont(kSans);
  ASSERT_NE(defaultFont, nullptr);
  EXPECT_EQ(RenderState.currentFont, defaultFont) << "the first font becomes current";
  EXPECT_EQ(RenderState.currentFontSize, 12.0f);

  // The current font is the default one: a new game font does not take its place.
  FTFont* oldGame = LoadGameFont(kSerif, 18.0f);
  ASSERT_NE(oldGame, nullptr);
  EXPECT_EQ(RenderState.currentFont, defaultFont);

  // The current font is the game font: its replacement becomes current with its size.
  RenderState.currentFont = RenderState.gameFont;
  RenderState.currentFontSize = RenderState.gameFontSize;
  FTFont* newGame = LoadGameFont(kSans, 25.6f);
  ASSERT_NE(newGame, nullptr);
  EXPECT_EQ(RenderState.gameFont, newGame);
  EXPECT_EQ(RenderState.gameFontSize, 25.6f);
  EXPECT_EQ(RenderState.currentFont, newGame);
  EXPECT_EQ(RenderState.currentFontSize, 25.6f);
  EXPECT_EQ(RenderState.defaultFont, defaultFont);
  float w = 0;
  MeasureText("x", &w, nullptr, nullptr);
  EXPECT_GT(w, 0.0f) << "the current font is usable";

  // The same for the default slot.
  RenderState.currentFont = RenderState.defaultFont;
  FTFont* newDefault = CreateTextFont(kSerif);
  ASSERT_NE(newDefault, nullptr);
  EXPECT_EQ(RenderState.currentFont, newDefault);
  EXPECT_EQ(RenderState.currentFontSize, 12.0f);
  EXPECT_EQ(RenderState.gameFont, newGame);
}

}  // namespace
