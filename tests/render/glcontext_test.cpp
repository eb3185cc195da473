// The render state on a real context under Xvfb.
#include "platform/glcontext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/config.h"
#include "game/entry.h"
#include "platform/window.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/texture.h"

namespace {

// 64 pixels wide gives a focal length of exactly 100: at depth 100 a world unit is a pixel.
constexpr int kWidth = 64;
constexpr int kHeight = 48;

class GlRender : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(GlStartVideo());
    InitRenderState();
    ResetGlExtensions();
    BoundTextureId = 0;
    RequestPixelFormat(RenderState);  // before the window: X11 picks its visual at creation
    window_ = GlCreateHiddenWindow(kWidth, kHeight);
    ASSERT_NE(window_, nullptr);
    MainWindow = window_;
    UserConfig.width = kWidth;
    UserConfig.height = kHeight;
    ASSERT_EQ(InitOpenGL(), 1u);
  }
  void TearDown() override {
    ShutdownOpenGL();
    GlDestroyWindow(window_);
    MainWindow = nullptr;
    UserConfig = UserConfigData{};
    ResetGlExtensions();
    InitRenderState();
    // Video stays up until the process ends: closing the display unloads the GL driver, and
    // the leak checker would then report the driver's own blocks from an unknown module.
  }

  std::vector<std::uint8_t> ReadFrame() {
    GlCore.Flush();
    std::vector<std::uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    ReadFramePixels(kHeight, kWidth, pixels.data());
    return pixels;
  }
  // Bytes B, G, R of the pixel at (x, y), y counted from the top.
  static void ExpectPixel(const std::vector<std::uint8_t>& frame, int x, int y, int b, int g, int r,
                          int tolerance) {
    const std::uint8_t* p = &frame[(static_cast<size_t>(y) * kWidth + x) * 4];
    SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
    EXPECT_NEAR(p[0], b, tolerance);
    EXPECT_NEAR(p[1], g, tolerance);
    EXPECT_NEAR(p[2], r, tolerance);
    EXPECT_EQ(p[3], 0);
  }

  WindowHandle window_ = nullptr;
};

TEST_F(GlRender, ContextOffersWhatTheEngineNeedsAndMatchesTheCache) {
  for (const char* name : {"GL_ARB_multitexture", "GL_ARB_texture_compression", "GL_EXT_texture3D",
                           "GL_ARB_texture_cube_map", "GL_ARB_texture_env_combine",
                           "GL_ARB_texture_env_dot3", "GL_EXT_texture_compression_s3tc"}) {
    EXPECT_TRUE(GlExtensionFlag(name)) << name;
  }
  EXPECT_TRUE(GlExtensionFlag("GLX_ARB_multisample"));  // the window-system stage saw GLX
  EXPECT_TRUE(GlVersionFlags.v1_3);
  EXPECT_TRUE(GlVersionFlags.v2_0);
  for (const char* name :
       {"glActiveTextureARB", "glClientActiveTextureARB", "glCompressedTexImage2DARB",
        "glCompressedTexImage3DARB", "glTexImage3DEXT"}) {
    EXPECT_NE(GetGlEntryPoint(name), nullptr) << name;
  }

  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GE(depthBits, 16);
  EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), GL_TRUE);
  EXPECT_EQ(glIsEnabled(GL_ALPHA_TEST), GL_TRUE);
  EXPECT_EQ(glIsEnabled(GL_CULL_FACE), GL_TRUE);
  EXPECT_EQ(glIsEnabled(GL_BLEND), GL_FALSE);
  EXPECT_EQ(glIsEnabled(GL_FOG), GL_FALSE);
  GLboolean depthWrite = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrite);
  EXPECT_EQ(depthWrite, GL_TRUE);
  GLint fogMode = 0;
  glGetIntegerv(GL_FOG_MODE, &fogMode);
  EXPECT_EQ(fogMode, GL_EXP2);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], kWidth);
  EXPECT_EQ(viewport[3], kHeight);

  SelectActiveTexture(1);
  GLint unit = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
  EXPECT_EQ(unit, GL_TEXTURE1);
  SelectActiveTexture(0);
  glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
  EXPECT_EQ(unit, GL_TEXTURE0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlRender, ProjectionPutsEyePointsAtFocalLengthOverDepth) {
  GLdouble p[16];
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  // Expected: glOrtho(-hw, hw, -hh, hh, -1.2, -1.25) times glFrustum(-a, a, -a, a, n, f).
  const double hw = kWidth / 2.0, hh = kHeight / 2.0, n = 0.025, f = 0.25;
  const double a = std::tan(RenderState.effectiveFieldOfView * 0.008726646259971648) * n;
  double ortho[16] = {1 / hw,
                      0,
                      0,
                      0,
                      0,
                      1 / hh,
                      0,
                      0,
                      0,
                      0,
                      -2 / (-1.25 + 1.2),
                      0,
                      0,
                      0,
                      -(-1.25 - 1.2) / (-1.25 + 1.2),
                      1};
  double frustum[16] = {
      n / a, 0, 0, 0, 0, n / a, 0, 0, 0, 0, -(f + n) / (f - n), -1, 0, 0, -2 * f * n / (f - n), 0};
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 4; ++row) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += ortho[k * 4 + row] * frustum[col * 4 + k];
      EXPECT_NEAR(p[col * 4 + row], sum, 1e-6 * (1 + std::fabs(sum))) << row << "," << col;
    }
  }

  // Eye points at depth d land focalLength x / d pixels from the centre (the frustum's
  // 1 / tan(half angle) equals focalLength to within 1e-4); d = 2.5 is depth 0.
  ASSERT_NEAR(RenderState.focalLength, 100.0f, 0.01f);
  struct EyePoint {
    double x, y, d;
  };
  for (const EyePoint& e : {EyePoint{10, -5, 100}, EyePoint{3, 7, 20}, EyePoint{-1, 1, 2.5}}) {
    const double v[4] = {e.x, e.y, -e.d, 1};
    double clip[4] = {};
    for (int row = 0; row < 4; ++row) {
      for (int k = 0; k < 4; ++k) clip[row] += p[k * 4 + row] * v[k];
    }
    const double px = RenderState.focalLength * e.x / e.d;
    const double py = RenderState.focalLength * e.y / e.d;
    EXPECT_NEAR(clip[0] / clip[3] * hw, px, 1e-4 * std::fabs(px));
    EXPECT_NEAR(clip[1] / clip[3] * hh, py, 1e-4 * std::fabs(py));
    if (e.d == 2.5) {
      EXPECT_NEAR(clip[2] / clip[3], -1.0, 1e-6);
    }
  }
}

TEST_F(GlRender, FoggedQuadsReadBackTopRowFirstInBgr) {
  const float fogColor[4] = {1, 0, 0, 1};
  SetFogColorRgba(fogColor, 0);
  SetFogDensity(0.01f, 0);
  EnableFog();
  ApplyCameraMatrix(RenderState);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // Two quads at depth 100 filling the viewport: green above the centre, blue below.
  BeginPrimitive(RenderState, 5);
  glColor3f(0, 1, 0);
  glVertex3f(-40, 0, -100);
  glVertex3f(40, 0, -100);
  glVertex3f(40, 30, -100);
  glVertex3f(-40, 30, -100);
  glColor3f(0, 0, 1);
  glVertex3f(-40, -30, -100);
  glVertex3f(40, -30, -100);
  glVertex3f(40, 0, -100);
  glVertex3f(-40, 0, -100);
  glEnd();
  ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  // EXP2 fog at eye distance 100 and density 0.01 keeps exp(-1) of the colour.
  const double kept = std::exp(-1.0);
  const int lit = static_cast<int>(std::lround(255 * kept));
  const int fogged = static_cast<int>(std::lround(255 * (1 - kept)));
  const auto frame = ReadFrame();
  // Fog is within 3 of exact rounding on this renderer.
  ExpectPixel(frame, kWidth / 2, 5, 0, lit, fogged, 3);
  ExpectPixel(frame, 3, kHeight / 4, 0, lit, fogged, 3);
  ExpectPixel(frame, kWidth / 2, kHeight - 5, lit, 0, fogged, 3);
  ExpectPixel(frame, kWidth - 3, kHeight * 3 / 4, lit, 0, fogged, 3);
}

TEST_F(GlRender, ScissorKeepsTheCinemaBars) {
  SelectClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  SetCinemaBorders(RenderState, 16.0f / 9.0f);
  ASSERT_EQ(RenderState.letterboxBar, 6);  // (48 - 36) / 2
  SetScissorRect(RenderState);
  SelectClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  DisableScissor(RenderState);
  const auto frame = ReadFrame();
  for (int y : {0, 5, kHeight - 6, kHeight - 1}) ExpectPixel(frame, 10, y, 0, 0, 0, 0);
  for (int y : {6, kHeight / 2, kHeight - 7}) ExpectPixel(frame, 10, y, 255, 255, 255, 0);
  EXPECT_EQ(glIsEnabled(GL_SCISSOR_TEST), GL_FALSE);
}

TEST_F(GlRender, AfterAResizeTheNextTextureBindReachesGl) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  // The bind cache as the texture code keeps it.
  auto bind = [](GLuint t) {
    if (t != BoundTextureId) {
      glBindTexture(GL_TEXTURE_2D, t);
      BoundTextureId = t;
    }
  };
  bind(texture);
  glBindTexture(GL_TEXTURE_2D, 0);  // what re-binding the context to a window may lose
  RenderState.letterboxBar = 6;
  ASSERT_EQ(ResizeOpenGL(kWidth * 2, kHeight * 2), 1u);
  bind(texture);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), texture);
  EXPECT_EQ(RenderState.letterboxBar, 12);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], kWidth * 2);
  EXPECT_EQ(viewport[3], kHeight * 2);
  glDeleteTextures(1, &texture);
}

}  // namespace
