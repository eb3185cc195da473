#include "render/renderstate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "glrecorder.h"
#include "render/projection.h"

using glrec::Call;
using glrec::Calls;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

struct SizeCase {
  int width, height;
  int halfW, halfH;
  float clip[4];
};

TEST(RenderStateSize, FieldsOfOddAndEvenScreens) {
  const SizeCase cases[] = {
      {800, 600, 400, 300, {-400, -300, 400, 300}},
      {801, 601, 400, 300, {-400, -300, 401, 301}},
      {1, 3, 0, 1, {0, -1, 1, 2}},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    NztRenderState rs;
    rs.appliedViewport[2] = 5.0f;
    rs.screenX = 3;
    rs.blendMode = 4;
    BoundTextureId = 9;
    ApplyScreenSize(rs, c.width, c.height);
    EXPECT_EQ(rs.halfScreenWidth, c.halfW);
    EXPECT_EQ(rs.halfScreenHeight, c.halfH);
    EXPECT_EQ(rs.halfViewportWidth, static_cast<float>(c.halfW));
    EXPECT_EQ(rs.viewportLeft, -static_cast<float>(c.halfW));
    EXPECT_EQ(rs.viewportTop, static_cast<float>(c.halfH));
    EXPECT_EQ(rs.screenPixels, c.width * c.height);
    EXPECT_EQ(rs.screenBytes, c.width * c.height * 4);
    EXPECT_EQ(rs.screenWidthF, static_cast<float>(c.width));
    EXPECT_FLOAT_EQ(rs.inverseScreenHeight, 1.0f / c.height);
    EXPECT_FLOAT_EQ(rs.inverseViewportWidth, 1.0f / c.width);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(rs.clipRect[i], c.clip[i]) << i;
    EXPECT_EQ(rs.appliedViewport[2], 0.0f);
    EXPECT_EQ(rs.screenX, 0);
    EXPECT_EQ(rs.blendMode, 0u);
    EXPECT_EQ(BoundTextureId, 0u);
  }
}

struct SwitchCase {
  const char* name;
  void (*set)(bool);
  std::string on, off;
};

TEST(RenderStateCache, SendsASwitchOnlyWhenItChanges) {
  const SwitchCase cases[] = {
      {"depth write", SwitchDepthWrite, Call("DepthMask", GL_TRUE), Call("DepthMask", GL_FALSE)},
      {"depth test", SwitchDepthTest, Call("Enable", GL_DEPTH_TEST),
       Call("Disable", GL_DEPTH_TEST)},
      {"blend", SwitchBlend, Call("Enable", GL_BLEND), Call("Disable", GL_BLEND)},
      {"texture 2D", SwitchTexture2D, Call("Enable", GL_TEXTURE_2D),
       Call("Disable", GL_TEXTURE_2D)},
      {"cull", SwitchCullFace, Call("Enable", GL_CULL_FACE), Call("Disable", GL_CULL_FACE)},
      {"alpha", SwitchAlphaTest, Call("Enable", GL_ALPHA_TEST), Call("Disable", GL_ALPHA_TEST)},
      {"scissor", SwitchScissorTest, Call("Enable", GL_SCISSOR_TEST),
       Call("Disable", GL_SCISSOR_TEST)},
      {"vertex array", SwitchVertexArray, Call("EnableClientState", GL_VERTEX_ARRAY),
       Call("DisableClientState", GL_VERTEX_ARRAY)},
      {"texcoord array", SwitchTexCoordArray, Call("EnableClientState", GL_TEXTURE_COORD_ARRAY),
       Call("DisableClientState", GL_TEXTURE_COORD_ARRAY)},
      {"colour array", SwitchColorArray, Call("EnableClientState", GL_COLOR_ARRAY),
       Call("DisableClientState", GL_COLOR_ARRAY)},
  };
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(c.name);
    glrec::Session session;
    c.set(false);
    c.set(true);
    c.set(true);
    c.set(false);
    c.set(false);
    EXPECT_THAT(Calls(), ElementsAre(c.on, c.off));
  }
}

TEST(RenderStateCache, TurningTexturingOnForgetsTheBoundTexture) {
  glrec::Session session;
  BoundTextureId = 7;
  SwitchTexture2D(true);
  EXPECT_EQ(BoundTextureId, 0u);
  BoundTextureId = 7;
  SwitchTexture2D(false);
  EXPECT_EQ(BoundTextureId, 7u);
}

TEST(RenderStateCache, BlendModesAndClearColour) {
  glrec::Session session;
  SelectBlendMode(6);
  SelectBlendMode(6);
  SelectBlendMode(0);
  SelectBlendMode(10);
  SelectBlendMode(9);
  SelectClearColor(0, 0, 0, 1);  // the record's start value: nothing to send
  SelectClearColor(0.5f, 0, 0, 1);
  SelectClearColor(0.5f, 0, 0, 1);
  SendClearColor(0.5f, 0, 0, 1);
  EXPECT_THAT(Calls(),
              ElementsAre(Call("BlendFunc", GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA),
                          Call("BlendFunc", GL_DST_COLOR, GL_ZERO),
                          Call("ClearColor", 0.5, 0, 0, 1), Call("ClearColor", 0.5, 0, 0, 1)));
  EXPECT_EQ(RenderState.blendMode, 9u);
}

struct DesktopCase {
  int desktopBits;
  int colorBits, alphaBits, depthBits;
};

TEST(RenderStateInit, PixelFormatFollowsTheDesktopDepth) {
  const DesktopCase cases[] = {{32, 24, 8, 24}, {16, 16, 0, 16}, {24, 16, 0, 16}};
  for (const DesktopCase& c : cases) {
    SCOPED_TRACE(c.desktopBits);
    glrec::Session session;
    glrec::Platform().desktopBits = c.desktopBits;
    RequestPixelFormat(RenderState);
    const GlPixelFormat& f = glrec::Platform().lastFormat;
    EXPECT_EQ(f.colorBits, c.colorBits);
    EXPECT_EQ(f.alphaBits, c.alphaBits);
    EXPECT_EQ(f.depthBits, c.depthBits);
    EXPECT_EQ(f.stencilBits, 0);
    EXPECT_TRUE(f.doubleBuffer);
    EXPECT_EQ(RenderState.requestedAlphaBits, static_cast<std::uint32_t>(c.alphaBits));
    EXPECT_EQ(RenderState.requestedDepthBits, static_cast<std::uint32_t>(c.depthBits));
  }
}

TEST(RenderStateInit, CreatesTheContextAndAppliesTheDefaults) {
  glrec::Session session;
  MainWindow = glrec::FakeWindow(0);
  UserConfig.width = 640;
  UserConfig.height = 480;
  ASSERT_EQ(InitOpenGL(), 1u);
  EXPECT_EQ(RenderState.glContext, glrec::FakeContext());
  EXPECT_EQ(RenderState.screenWidth, 640);
  EXPECT_EQ(RenderState.depthTestOn, 1u);
  EXPECT_EQ(RenderState.depthWriteOn, 1u);
  EXPECT_EQ(RenderState.blendOn, 0u);
  EXPECT_EQ(RenderState.alphaTestOn, 1u);
  EXPECT_EQ(RenderState.cullFaceOn, 1u);
  EXPECT_EQ(RenderState.fogOn, 0u);
  EXPECT_FLOAT_EQ(RenderState.fogDensity, 0.001f);
  const auto& calls = Calls();
  auto has = [&calls](const std::string& c) {
    return std::find(calls.begin(), calls.end(), c) != calls.end();
  };
  EXPECT_TRUE(has(Call("DepthFunc", GL_LEQUAL)));
  EXPECT_TRUE(has(Call("AlphaFunc", GL_GREATER, 0)));
  EXPECT_TRUE(has(Call("Fogf", GL_FOG_MODE, GL_EXP2)));
  EXPECT_TRUE(has(Call("Viewport", 0, 0, 640, 480)));
  EXPECT_THAT(glrec::Platform().messages, IsEmpty());

  // Start-up turns blending on and culling off after the defaults; the cache follows.
  SwitchBlend(true);
  SwitchCullFace(false);
  EXPECT_EQ(RenderState.blendOn, 1u);
  EXPECT_EQ(RenderState.cullFaceOn, 0u);
}

TEST(RenderStateInit, NoContextStopsWithTheMessage) {
  struct Case {
    const char* name;
    bool haveWindow;
    bool contextCreates;
  };
  const Case cases[] = {{"no window", false, true}, {"context refused", true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    glrec::Session session;
    MainWindow = c.haveWindow ? glrec::FakeWindow(0) : nullptr;
    glrec::Platform().contextCreates = c.contextCreates;
    EXPECT_EQ(InitOpenGL(), 0u);
    EXPECT_THAT(glrec::Platform().messages,
                ElementsAre("Information Message: Cannot Initialize OpenGL\n"
                            "You have to install OpenGL Drivers"));
    EXPECT_EQ(RenderState.deviceContext, nullptr);
    EXPECT_EQ(RenderState.window, nullptr);
    for (const std::string& call : Calls()) EXPECT_EQ(call, "CreateContext()");
  }
}

TEST(RenderStateInit, MissingWindowSystemEntryPointShowsTheMessageAndGoesOn) {
  glrec::Session session;
  GlExtensionLoader.windowSystemExtensions = []() -> const char* { return "GLX_SGIX_pbuffer"; };
  MainWindow = glrec::FakeWindow(0);
  EXPECT_EQ(InitOpenGL(), 1u);
  EXPECT_THAT(glrec::Platform().messages,
              ElementsAre("Information Message: Cannot Initialize OpenGL\n"
                          "You have to install OpenGL Drivers"));
  EXPECT_EQ(RenderState.depthTestOn, 1u);
}

class RenderStateResize : public testing::Test {
 protected:
  void SetUp() override {
    MainWindow = glrec::FakeWindow(0);
    UserConfig.width = 800;
    UserConfig.height = 600;
    ASSERT_EQ(InitOpenGL(), 1u);
    Calls().clear();
  }
  glrec::Session session_;
};

TEST_F(RenderStateResize, NothingChangesWithoutACause) {
  struct Case {
    const char* name;
    int width, height;
    bool dropContext;
  };
  const Case cases[] = {{"same size", 800, 600, false},
                        {"zero width", 0, 600, false},
                        {"zero height", 800, 0, false},
                        {"negative", -5, 600, false},
                        {"no context", 1024, 768, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RenderState.letterboxBar = 60;
    WindowHandle savedContext = RenderState.deviceContext;
    if (c.dropContext) RenderState.deviceContext = nullptr;
    EXPECT_EQ(ResizeOpenGL(c.width, c.height), 0u);
    RenderState.deviceContext = savedContext;
    EXPECT_EQ(RenderState.screenWidth, 800);
    EXPECT_EQ(RenderState.screenHeight, 600);
    EXPECT_FLOAT_EQ(RenderState.inverseScreenWidth, 1.0f / 800);
    EXPECT_EQ(RenderState.letterboxBar, 60);
    EXPECT_THAT(Calls(), IsEmpty());
  }
}

TEST_F(RenderStateResize, RescalesTheLetterboxAndForgetsTheBoundTexture) {
  RenderState.letterboxBar = 60;
  BoundTextureId = 12;
  SelectBlendMode(2);
  Calls().clear();
  EXPECT_EQ(ResizeOpenGL(1600, 1200), 1u);
  EXPECT_EQ(RenderState.letterboxBar, 120);
  EXPECT_EQ(RenderState.screenWidth, 1600);
  EXPECT_EQ(BoundTextureId, 0u);
  EXPECT_EQ(RenderState.blendMode, 0u);
  EXPECT_EQ(Calls().front(), Call("MakeCurrent", 1, 1));
  EXPECT_EQ(Calls().back(), Call("Viewport", 0, 0, 1600, 1200));
  // The width alone changing keeps the bar.
  EXPECT_EQ(ResizeOpenGL(1400, 1200), 1u);
  EXPECT_EQ(RenderState.letterboxBar, 120);
}

TEST_F(RenderStateResize, RefusedWindowWarnsAndAnswersZero) {
  glrec::Platform().makeCurrentWorks = false;
  EXPECT_EQ(ResizeOpenGL(1024, 768), 0u);
  EXPECT_THAT(glrec::Platform().messages, ElementsAre("WARNING: HardWare Unsupported"));
}

TEST(RenderStateShutdown, ReleasesEverythingAndANewContextStartsClean) {
  glrec::Session session;
  MainWindow = glrec::FakeWindow(0);
  ASSERT_EQ(InitOpenGL(), 1u);
  RenderState.blankTexture = 3;
  RenderState.skyCubeMap = 5;
  SwitchTexture2D(true);
  SwitchVertexArray(true);
  Calls().clear();
  ShutdownOpenGL();
  EXPECT_THAT(Calls(),
              ElementsAre(Call("DeleteTextures", 1, 5), Call("DeleteTextures", 1, 3),
                          Call("MakeCurrent", 0, 0), Call("DeleteContext"), Call("Flush")));
  EXPECT_EQ(RenderState.glContext, nullptr);
  EXPECT_EQ(RenderState.blankTexture, 0u);

  // A second context must receive the switches again.
  ASSERT_EQ(InitOpenGL(), 1u);
  Calls().clear();
  SwitchTexture2D(true);
  SwitchVertexArray(true);
  EXPECT_THAT(Calls(), ElementsAre(Call("Enable", GL_TEXTURE_2D),
                                   Call("EnableClientState", GL_VERTEX_ARRAY)));
}

}  // namespace
