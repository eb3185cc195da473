#include "render/projection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "effects/sky.h"
#include "glrecorder.h"

using glrec::Call;
using glrec::Calls;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// An 800 x 600 screen with the recorders in place.
class Projection : public testing::Test {
 protected:
  void SetUp() override {
    ApplyScreenSize(RenderState, 800, 600);
    SetViewport(RenderState, 0, 0, 800, 600);
    Calls().clear();
  }
  glrec::Session session_;
};

TEST_F(Projection, FocalLengthFollowsFieldOfViewAndViewportWidth) {
  struct Case {
    double fov;
    float width;
    float focal;
  };
  const Case cases[] = {
      {0.0716197, 1024, 1600.0f}, {0.0716197, 512, 800.0f}, {0.3, 1024, 381.9717f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    SetViewport(RenderState, 0, 0, c.width, 600);
    SetFieldOfView(c.fov);
    EXPECT_NEAR(RenderState.focalLength, c.focal, 0.01f);
    EXPECT_FLOAT_EQ(RenderState.inverseFocalLength, 1.0f / RenderState.focalLength);
    EXPECT_EQ(RenderState.baseViewMatrix[14], -RenderState.focalLength);
    EXPECT_EQ(RenderState.textMatrix[14], -RenderState.focalLength);
  }
}

TEST_F(Projection, ViewportRowsCountFromTheBottom) {
  SetViewport(RenderState, 100, 50, 200, 100);
  EXPECT_EQ(Calls().back(), Call("Viewport", 100, 450, 200, 100));
  EXPECT_EQ(RenderState.clipRect[0], 0.0f);
  EXPECT_EQ(RenderState.clipRect[1], 0.0f);
  EXPECT_EQ(RenderState.clipRect[2], 200.0f);
  EXPECT_EQ(RenderState.clipRect[3], 100.0f);
  EXPECT_EQ(RenderState.halfViewportWidth, 100.0f);
}

TEST_F(Projection, EmptyViewportChangesNothing) {
  SetViewport(RenderState, 0, 0, 0, 600);
  SetViewport(RenderState, 0, 0, 800, -1);
  SetFieldOfView(0.0);
  EXPECT_THAT(Calls(), IsEmpty());
  EXPECT_EQ(RenderState.viewportWidth, 800.0f);
  EXPECT_TRUE(std::isfinite(RenderState.focalLength));
  EXPECT_TRUE(std::isfinite(RenderState.inverseViewportWidth));
}

TEST_F(Projection, ScreenViewportIsAppliedOnce) {
  ApplyScreenSize(RenderState, 640, 480);
  Calls().clear();
  ApplyScreenViewport(RenderState, 640, 480);
  ApplyScreenViewport(RenderState, 640, 480);
  EXPECT_EQ(std::count(Calls().begin(), Calls().end(), Call("Viewport", 0, 0, 640, 480)), 1);
}

TEST_F(Projection, ProjectionIsOrthoTimesSquareFrustum) {
  SetProjection(RenderState);
  const double a = std::tan(RenderState.effectiveFieldOfView * 0.008726646259971648) * 0.025;
  EXPECT_THAT(Calls(), ElementsAre(Call("MatrixMode", GL_PROJECTION), Call("LoadIdentity"),
                                   Call("Ortho", -400, 400, -300, 300, -1.2, -1.25),
                                   Call("Frustum", -a, a, -a, a, 0.025, 0.25),
                                   Call("MatrixMode", GL_MODELVIEW)));
}

struct ProjectCase {
  const char* name;
  float point[3];
  float expected[3];
};

TEST_F(Projection, ProjectsWorldPointsToPixelsFromTheCentre) {
  // Identity camera at the origin looking down -z, focal length 1600 (width 1024).
  SetViewport(RenderState, 0, 0, 1024, 768);
  const ProjectCase cases[] = {
      {"ahead", {10, 20, -100}, {160, -320, 100}},
      {"half a unit ahead: undivided", {10, 0, -0.5f}, {16000, 0, 0.5f}},
      {"behind: undivided", {1, 0, 5}, {1600, 0, -5}},
  };
  for (const ProjectCase& c : cases) {
    SCOPED_TRACE(c.name);
    float out[3];
    ProjectToScreen(RenderState, c.point, out);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], c.expected[i], 0.05f) << i;
    float inPlace[3] = {c.point[0], c.point[1], c.point[2]};
    ProjectToScreenInPlace(RenderState, inPlace);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(inPlace[i], out[i]);
  }

  // A camera turned half a turn about y at (0, 0, -200) sees the same point from behind.
  const float turned[9] = {-1, 0, 0, 0, 1, 0, 0, 0, -1};
  const float eye[3] = {0, 0, -200};
  LoadCameraMatrix(turned, RenderState, eye, 42);
  float out[3];
  const float point[3] = {10, 20, -100};
  ProjectToScreen(RenderState, point, out);
  EXPECT_NEAR(out[0], -160, 0.05f);
  EXPECT_NEAR(out[1], -320, 0.05f);
  EXPECT_NEAR(out[2], 100, 0.05f);
  EXPECT_EQ(RenderState.cameraId, 42u);
  EXPECT_EQ(RenderState.viewAxis[2], -1.0f);
  EXPECT_EQ(CameraPositionCopy[2], -200.0f);
  EXPECT_EQ(Calls().back(), Call("Translatef", 0, 0, 200));
}

struct CinemaCase {
  float width, height, ratio;
  int bar;
};

TEST_F(Projection, CinemaBarHeight) {
  const CinemaCase cases[] = {{800, 600, 16.0f / 9.0f, 75},
                              {1280, 600, 16.0f / 9.0f, 0},
                              {800, 600, 0.0f, 0},
                              {1024, 768, 16.0f / 9.0f, 96},
                              {800, 600, 2.35f, 130}};
  for (const CinemaCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.ratio);
    SetViewport(RenderState, 0, 0, c.width, c.height);
    RenderState.letterboxBar = 33;
    SetCinemaBorders(RenderState, c.ratio);
    EXPECT_EQ(RenderState.letterboxBar, c.bar);
  }
}

TEST_F(Projection, ScissorFollowsTheBars) {
  SetScissorRect(RenderState);  // no bars: nothing
  DisableScissor(RenderState);
  EXPECT_THAT(Calls(), IsEmpty());

  SetCinemaBorders(RenderState, 16.0f / 9.0f);
  SetScissorRect(RenderState);
  SetScissorRect(RenderState);
  EXPECT_THAT(Calls(),
              ElementsAre(Call("Enable", GL_SCISSOR_TEST), Call("Scissor", 0, 75, 800, 450),
                          Call("Scissor", 0, 75, 800, 450)));
  EXPECT_EQ(RenderState.clipRect[1], -225.0f);
  EXPECT_EQ(RenderState.clipRect[3], 225.0f);
  EXPECT_EQ(RenderState.clipRect[0], -400.0f);

  Calls().clear();
  SetCinemaBorders(RenderState, 0.0f);
  EXPECT_THAT(Calls(), ElementsAre(Call("Disable", GL_SCISSOR_TEST)));
  EXPECT_EQ(RenderState.clipRect[1], -300.0f);
  EXPECT_EQ(RenderState.letterboxBar, 0);
}

TEST_F(Projection, FogRateZeroOrOneAppliesAtOnce) {
  struct Case {
    float rate;
    bool transition;
  };
  const Case cases[] = {{0.0f, false}, {1.0f, false}, {-0.5f, false},
                        {1.5f, false}, {0.5f, true},  {0.01f, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    RenderState.fogDensity = 0.001f;
    const float color[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    RenderState.fogColor[0] = 0.0f;
    Calls().clear();
    SetFogDensity(0.01f, c.rate);
    SetFogColorRgba(color, c.rate);
    if (c.transition) {
      EXPECT_EQ(RenderState.fogDensity, 0.001f);
      EXPECT_EQ(RenderState.fogDensityRate, c.rate);
      EXPECT_EQ(RenderState.fogColorTarget[2], 0.6f);
      EXPECT_EQ(RenderState.fogColor[0], 0.0f);
      EXPECT_THAT(Calls(), IsEmpty());
    } else {
      EXPECT_EQ(RenderState.fogDensity, 0.01f);
      EXPECT_EQ(RenderState.fogDensityRate, 0.0f);
      EXPECT_EQ(RenderState.fogColor[0], 0.2f);
      EXPECT_EQ(RenderState.fogColorRate, 0.0f);
      EXPECT_THAT(Calls(), ElementsAre(Call("Fogf", GL_FOG_DENSITY, 0.01f),
                                       Call("Fogfv", GL_FOG_COLOR, 0.2f, 0.4f, 0.6f, 1.0f)));
    }
    RenderState.fogDensityRate = RenderState.fogColorRate = 0.0f;
  }
}

TEST_F(Projection, FogColourSnapsOnlyWhenEveryChannelArrived) {
  for (float& c : RenderState.fogColor) c = 0.0f;
  const float target[4] = {0.0f, 0.0f, 0.0f, 1.0f};  // three channels are there already
  SetFogColorRgba(target, 0.5f);
  UpdateFogTransitions();
  EXPECT_EQ(RenderState.fogColor[3], 0.5f);
  EXPECT_EQ(RenderState.fogColorRate, 0.5f);
  int steps = 1;
  while (RenderState.fogColorRate != 0.0f && steps < 100) {
    UpdateFogTransitions();
    ++steps;
  }
  // 0.5^14 is the first remainder within 0.0001.
  EXPECT_EQ(steps, 14);
  EXPECT_EQ(RenderState.fogColor[3], 1.0f);
  EXPECT_EQ(Calls().back(), Call("Fogfv", GL_FOG_COLOR, 0, 0, 0, 1));

  RenderState.fogDensity = 0.0f;
  SetFogDensity(0.02f, 0.5f);
  UpdateFogTransitions();
  EXPECT_EQ(RenderState.fogDensity, 0.01f);
  for (int i = 0; i < 20; ++i) UpdateFogTransitions();
  EXPECT_EQ(RenderState.fogDensity, 0.02f);
  EXPECT_EQ(RenderState.fogDensityRate, 0.0f);
}

TEST_F(Projection, FogFollowsTheSkyColour) {
  SkyColor[0] = 0.8f;
  SkyColor[1] = 0.6f;
  SkyColor[2] = 0.5f;
  SetFogColorToSkyLight(0.0f);
  EXPECT_THAT(Calls(), ElementsAre(Call("Fogfv", GL_FOG_COLOR, 0.8f, 0.6f, 0.5f, 1.0f)));
  SkyColor[0] = SkyColor[1] = SkyColor[2] = 0.0f;

  Calls().clear();
  EnableFog();
  EnableFog();
  DisableFog();
  DisableFog();
  EXPECT_THAT(Calls(), ElementsAre(Call("Enable", GL_FOG), Call("Disable", GL_FOG)));
}

struct PrimitiveCase {
  std::uint32_t kind;
  std::vector<std::string> calls;
};

TEST_F(Projection, PrimitivesSwitchTexturingAsTheyNeed) {
  const std::string off = Call("Disable", GL_TEXTURE_2D);
  const std::string on = Call("Enable", GL_TEXTURE_2D);
  const PrimitiveCase cases[] = {
      {0, {off}},
      {1, {off, Call("Begin", GL_POINTS)}},
      {2, {off, Call("Begin", GL_LINES)}},
      {3, {off, Call("Begin", GL_LINE_STRIP)}},
      {4, {off, Call("Begin", GL_TRIANGLES)}},
      {5, {off, Call("Begin", GL_QUADS)}},
      {6, {on, Call("Begin", GL_TRIANGLES)}},
      {7, {on, Call("Begin", GL_QUADS)}},
      {8, {}},
  };
  for (const PrimitiveCase& c : cases) {
    SCOPED_TRACE(c.kind);
    const bool textured = c.kind == 6 || c.kind == 7;
    RenderState.texture2DOn = textured ? 0 : 1;
    BoundTextureId = 5;
    Calls().clear();
    BeginPrimitive(RenderState, c.kind);
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(RenderState.primitiveKind, c.kind);
    EXPECT_EQ(BoundTextureId, textured ? 0u : 5u);
  }
}

TEST_F(Projection, BaseViewIsPushedOneLevelDeep) {
  PushBaseViewMatrix(RenderState);
  PushBaseViewMatrix(RenderState);
  EXPECT_THAT(Calls(), ElementsAre(Call("PushMatrix"),
                                   Call("LoadMatrixf", 1, -1, -RenderState.focalLength)));
  EXPECT_EQ(RenderState.baseViewPushed, 1u);
}

TEST_F(Projection, ReadFramePixelsTurnsRowsAndBytes) {
  // GL's rows come bottom first, RGBA; odd height so that the middle row stays in place.
  GlCore.ReadPixels = [](GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum t, GLvoid* p) {
    glrec::Note("ReadPixels", x, y, w, h, f, t);
    auto* bytes = static_cast<std::uint8_t*>(p);
    for (int i = 0; i < w * h; ++i) {
      bytes[i * 4 + 0] = static_cast<std::uint8_t>(10 * i + 1);  // R
      bytes[i * 4 + 1] = static_cast<std::uint8_t>(10 * i + 2);  // G
      bytes[i * 4 + 2] = static_cast<std::uint8_t>(10 * i + 3);  // B
      bytes[i * 4 + 3] = 255;
    }
  };
  std::uint8_t buffer[2 * 3 * 4];
  ReadFramePixels(3, 2, buffer);
  EXPECT_THAT(Calls(), ElementsAre(Call("ReadPixels", 0, 597, 2, 3, GL_RGBA, GL_UNSIGNED_BYTE)));
  // Output row r comes from GL row 2 - r; pixel bytes B, G, R, 0.
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 2; ++col) {
      const int source = (2 - row) * 2 + col;
      const std::uint8_t* px = buffer + (row * 2 + col) * 4;
      EXPECT_EQ(px[0], 10 * source + 3);
      EXPECT_EQ(px[1], 10 * source + 2);
      EXPECT_EQ(px[2], 10 * source + 1);
      EXPECT_EQ(px[3], 0);
    }
  }
  Calls().clear();
  ReadFramePixels(0, 2, buffer);
  ReadFramePixels(3, 2, nullptr);
  EXPECT_THAT(Calls(), IsEmpty());
}

TEST_F(Projection, ResetCameraRestoresTheTwoDimensionalMatrices) {
  RenderState.cameraMatrix[0] = 5.0f;
  RenderState.cameraId = 3;
  RenderState.cameraPosition[1] = 7.0f;
  RenderState.focalLength = 800.0f;
  ResetCamera(RenderState);
  EXPECT_EQ(RenderState.cameraMatrix[0], 1.0f);
  EXPECT_EQ(RenderState.cameraId, 0u);
  EXPECT_EQ(RenderState.cameraPosition[1], 0.0f);
  EXPECT_EQ(RenderState.baseViewMatrix[5], -1.0f);
  EXPECT_EQ(RenderState.baseViewMatrix[14], -800.0f);
  EXPECT_EQ(RenderState.textMatrix[5], 1.0f);
  EXPECT_EQ(RenderState.textMatrix[14], -800.0f);
}

}  // namespace
