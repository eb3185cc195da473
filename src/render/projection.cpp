#include "render/projection.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "render/glext.h"

float CameraPositionCopy[3] = {0.0f, 0.0f, 0.0f};

namespace {

// 114.59152 is the literal the focal length has always been derived with (close to, but not,
// 360 / pi); depth values of every pass depend on it.
constexpr double kFocalFactor = 114.59152;
constexpr double kHalfDegreeInRadians = 0.008726646259971648;  // pi / 360
// A transition snaps to its target within this distance.
constexpr float kFogSnap = 0.0001f;

bool StartsTransition(float rate) { return rate > 0.0f && rate < 1.0f; }

void SetFocalLength(NztRenderState& rs, float focal) {
  rs.focalLength = focal;
  rs.inverseFocalLength = 1.0f / focal;
}

void SetTwoDimensionalDepth(NztRenderState& rs) {
  rs.baseViewMatrix[14] = -rs.focalLength;
  rs.textMatrix[14] = -rs.focalLength;
}

void SetFullScreenClipRect(NztRenderState& rs) {
  rs.clipRect[0] = static_cast<float>(rs.screenX - rs.halfScreenWidth);
  rs.clipRect[1] = static_cast<float>(rs.screenY - rs.halfScreenHeight);
  rs.clipRect[2] = static_cast<float>(rs.screenX + rs.screenWidth - rs.halfScreenWidth);
  rs.clipRect[3] = static_cast<float>(rs.screenY + rs.screenHeight - rs.halfScreenHeight);
}

}  // namespace

void SetProjection(NztRenderState& rs) {
  const double hw = rs.halfViewportWidth;
  const double hh = rs.halfViewportHeight;
  const double a = std::tan(rs.effectiveFieldOfView * kHalfDegreeInRadians) * rs.nearPlane;
  GlCore.MatrixMode(GL_PROJECTION);
  GlCore.LoadIdentity();
  // The orthographic factor supplies the aspect and the pixel scale; its reversed near and far
  // planes map the frustum's depth so that d = 2.5 is window depth 0 and infinity tends to -1/9.
  GlCore.Ortho(-hw, hw, -hh, hh, -1.2, -1.25);
  GlCore.Frustum(-a, a, -a, a, rs.nearPlane, rs.farPlane);
  GlCore.MatrixMode(GL_MODELVIEW);
}

void ResetCamera(NztRenderState& rs) {
  static constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::memcpy(rs.cameraMatrix, kIdentity, sizeof kIdentity);
  std::memcpy(rs.baseViewMatrix, kIdentity, sizeof kIdentity);
  rs.baseViewMatrix[5] = -1.0f;  // pixel rows grow downwards
  std::memcpy(rs.textMatrix, kIdentity, sizeof kIdentity);
  SetTwoDimensionalDepth(rs);
  rs.cameraId = 0;
  rs.cameraPosition[0] = rs.cameraPosition[1] = rs.cameraPosition[2] = 0.0f;
}

void LoadCameraMatrix(const float rotation[9], NztRenderState& rs, const float position[3],
                      std::uint32_t cameraId) {
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) rs.cameraMatrix[row * 4 + col] = rotation[row * 3 + col];
  }
  rs.cameraId = cameraId;
  for (int i = 0; i < 3; ++i) rs.cameraPosition[i] = position[i];
  ApplyCameraMatrix(rs);
}

void ApplyCameraMatrix(NztRenderState& rs) {
  GlCore.LoadMatrixf(rs.cameraMatrix);
  GlCore.Translatef(-rs.cameraPosition[0], -rs.cameraPosition[1], -rs.cameraPosition[2]);
  rs.viewAxis[0] = rs.cameraMatrix[2];
  rs.viewAxis[1] = rs.cameraMatrix[6];
  rs.viewAxis[2] = rs.cameraMatrix[10];
  for (int i = 0; i < 3; ++i) CameraPositionCopy[i] = rs.cameraPosition[i];
}

void ProjectToScreen(const NztRenderState& rs, const float point[3], float out[3]) {
  const float* m = rs.cameraMatrix;
  const float dx = rs.cameraPosition[0] - point[0];
  const float dy = rs.cameraPosition[1] - point[1];
  const float dz = rs.cameraPosition[2] - point[2];
  const float depth = m[2] * dx + m[6] * dy + m[10] * dz;
  const float s = depth < 1.0f ? rs.focalLength : rs.focalLength / depth;
  out[0] = -(m[0] * dx + m[4] * dy + m[8] * dz) * s;
  out[1] = (m[1] * dx + m[5] * dy + m[9] * dz) * s;
  out[2] = depth;
}

void ProjectToScreenInPlace(const NztRenderState& rs, float point[3]) {
  float out[3];
  ProjectToScreen(rs, point, out);
  for (int i = 0; i < 3; ++i) point[i] = out[i];
}

void SetFieldOfView(double degrees) {
  NztRenderState& rs = RenderState;
  if (!(degrees > 0.0) || !std::isfinite(degrees)) return;  // would make the focal length infinite
  rs.fieldOfView = degrees;
  rs.effectiveFieldOfView = degrees * 1024.0 / rs.viewportWidth;
  SetFocalLength(rs, static_cast<float>(kFocalFactor / rs.effectiveFieldOfView));
  SetProjection(rs);
  SetTwoDimensionalDepth(rs);
}

void SetViewport(NztRenderState& rs, float x, float y, float width, float height) {
  // An empty rectangle (a zero-sized window or a bad interface rectangle) would put infinities
  // into the inverses and the focal length: keep the current viewport.
  if (!(width > 0.0f) || !(height > 0.0f)) return;
  rs.effectiveFieldOfView = rs.fieldOfView * 1024.0 / width;
  rs.viewportX = x;
  rs.viewportY = y;
  rs.viewportWidth = width;
  rs.viewportHeight = height;
  rs.inverseViewportWidth = 1.0f / width;
  rs.inverseViewportHeight = 1.0f / height;
  rs.halfViewportWidth = width * 0.5f;
  rs.halfViewportHeight = height * 0.5f;
  rs.viewportLeft = -width / 2.0f;
  rs.viewportRight = width / 2.0f;
  rs.viewportBottom = -height / 2.0f;
  rs.viewportTop = height / 2.0f;
  SetFocalLength(rs, static_cast<float>(kFocalFactor / rs.effectiveFieldOfView));
  SetProjection(rs);
  rs.clipRect[0] = x - width / 2.0f;
  rs.clipRect[1] = y - height / 2.0f;
  rs.clipRect[2] = x + width - width / 2.0f;
  rs.clipRect[3] = y + height - height / 2.0f;
  // GL counts viewport rows from the bottom.
  GlCore.Viewport(
      static_cast<GLint>(std::lrintf(x)),
      static_cast<GLint>(std::lrintf(static_cast<float>(rs.screenHeight) - (y + height))),
      static_cast<GLsizei>(std::lrintf(width)), static_cast<GLsizei>(std::lrintf(height)));
  SetTwoDimensionalDepth(rs);
}

void SetViewportToRect(const float* rect) {
  NztRenderState& rs = RenderState;
  if (rect != nullptr) {
    SetViewport(rs, rect[0], rect[1], rect[2], rect[3]);
  } else {
    SetViewport(rs, static_cast<float>(rs.screenX), static_cast<float>(rs.screenY),
                static_cast<float>(rs.screenWidth), static_cast<float>(rs.screenHeight));
  }
}

void ApplyScreenViewport(NztRenderState& rs, float width, float height) {
  float* applied = rs.appliedViewport;
  if (applied[0] == 0.0f && applied[1] == 0.0f && applied[2] == width && applied[3] == height)
    return;
  applied[0] = 0.0f;
  applied[1] = 0.0f;
  applied[2] = width;
  applied[3] = height;
  SetViewport(rs, 0.0f, 0.0f, width, height);
}

void SetCinemaBorders(NztRenderState& rs, float ratio) {
  if (ratio == 0.0f) {
    DisableScissor(rs);
    rs.letterboxBar = 0;
    return;
  }
  const long bar = std::lrintf((rs.viewportHeight - rs.viewportWidth / ratio) * 0.5f);
  rs.letterboxBar = bar > 0 ? static_cast<std::int32_t>(bar) : 0;
}

void SetScissorRect(NztRenderState& rs) {
  const std::int32_t bar = rs.letterboxBar;
  if (bar == 0) return;
  SwitchScissorTest(true);
  GlCore.Scissor(rs.screenX, bar - rs.screenY, rs.screenWidth, rs.screenHeight - 2 * bar);
  rs.clipRect[0] = static_cast<float>(rs.screenX - rs.halfScreenWidth);
  rs.clipRect[1] = static_cast<float>(rs.screenY + bar - rs.halfScreenHeight);
  rs.clipRect[2] = static_cast<float>(rs.screenX + rs.screenWidth - rs.halfScreenWidth);
  rs.clipRect[3] = static_cast<float>(rs.screenHeight - bar + rs.screenY - rs.halfScreenHeight);
}

void DisableScissor(NztRenderState& rs) {
  if (rs.letterboxBar == 0) return;
  SwitchScissorTest(false);
  SetFullScreenClipRect(rs);
}

void EnableFog() {
  if (RenderState.fogOn == 0) {
    GlCore.Enable(GL_FOG);
    RenderState.fogOn = 1;
  }
}

void DisableFog() {
  if (RenderState.fogOn != 0) {
    GlCore.Disable(GL_FOG);
    RenderState.fogOn = 0;
  }
}

void SetFogDensity(float density, float rate) {
  NztRenderState& rs = RenderState;
  if (StartsTransition(rate)) {
    rs.fogDensityRate = rate;
    rs.fogDensityTarget = density;
    return;
  }
  rs.fogDensityRate = 0.0f;
  rs.fogDensity = density;
  GlCore.Fogf(GL_FOG_DENSITY, density);
}

void SetFogColorRgba(const float color[4], float rate) {
  NztRenderState& rs = RenderState;
  if (StartsTransition(rate)) {
    rs.fogColorRate = rate;
    for (int i = 0; i < 4; ++i) rs.fogColorTarget[i] = color[i];
    return;
  }
  rs.fogColorRate = 0.0f;
  for (int i = 0; i < 4; ++i) rs.fogColor[i] = color[i];
  GlCore.Fogfv(GL_FOG_COLOR, rs.fogColor);
}

void UpdateFogTransitions() {
  NztRenderState& rs = RenderState;
  if (rs.fogDensityRate != 0.0f) {
    rs.fogDensity += (rs.fogDensityTarget - rs.fogDensity) * rs.fogDensityRate;
    if (std::fabs(rs.fogDensity - rs.fogDensityTarget) <= kFogSnap) {
      rs.fogDensity = rs.fogDensityTarget;
      rs.fogDensityRate = 0.0f;
    }
    GlCore.Fogf(GL_FOG_DENSITY, rs.fogDensity);
  }
  if (rs.fogColorRate != 0.0f) {
    bool arrived = true;
    for (int i = 0; i < 4; ++i) {
      rs.fogColor[i] += (rs.fogColorTarget[i] - rs.fogColor[i]) * rs.fogColorRate;
      if (std::fabs(rs.fogColor[i] - rs.fogColorTarget[i]) > kFogSnap) arrived = false;
    }
    if (arrived) {
      for (int i = 0; i < 4; ++i) rs.fogColor[i] = rs.fogColorTarget[i];
      rs.fogColorRate = 0.0f;
    }
    GlCore.Fogfv(GL_FOG_COLOR, rs.fogColor);
  }
}

void BeginPrimitive(NztRenderState& rs, std::uint32_t kind) {
  rs.primitiveKind = kind;
  GLenum mode = GL_TRIANGLES;
  switch (kind) {
    case 0:
      SwitchTexture2D(false);
      return;
    case 1:
      SwitchTexture2D(false);
      mode = GL_POINTS;
      break;
    case 2:
      SwitchTexture2D(false);
      mode = GL_LINES;
      break;
    case 3:
      SwitchTexture2D(false);
      mode = GL_LINE_STRIP;
      break;
    case 4:
      SwitchTexture2D(false);
      mode = GL_TRIANGLES;
      break;
    case 5:
      SwitchTexture2D(false);
      mode = GL_QUADS;
      break;
    case 6:
      SwitchTexture2D(true);
      mode = GL_TRIANGLES;
      break;
    case 7:
      SwitchTexture2D(true);
      mode = GL_QUADS;
      break;
    default:
      return;
  }
  GlCore.Begin(mode);
}

void PushBaseViewMatrix(NztRenderState& rs) {
  if (rs.baseViewPushed != 0) return;
  GlCore.PushMatrix();
  GlCore.LoadMatrixf(rs.baseViewMatrix);
  rs.baseViewPushed = 1;
}

void ReadFramePixels(std::int32_t height, std::int32_t width, std::uint8_t* buffer) {
  if (buffer == nullptr || width <= 0 || height <= 0) return;
  GlCore.ReadPixels(0, RenderState.screenHeight - height, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                    buffer);
  // GL gives the bottom row first: reverse the rows and turn R, G, B, A into B, G, R, 0.
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  for (std::int32_t top = 0, bottom = height - 1; top <= bottom; ++top, --bottom) {
    std::uint8_t* a = buffer + rowBytes * static_cast<std::size_t>(top);
    std::uint8_t* b = buffer + rowBytes * static_cast<std::size_t>(bottom);
    for (std::size_t i = 0; i < rowBytes; i += 4) {
      const std::uint8_t ar = a[i], ag = a[i + 1], ab = a[i + 2];
      const std::uint8_t br = b[i], bg = b[i + 1], bb = b[i + 2];
      a[i] = bb;
      a[i + 1] = bg;
      a[i + 2] = br;
      a[i + 3] = 0;
      b[i] = ab;
      b[i + 1] = ag;
      b[i + 2] = ar;
      b[i + 3] = 0;
    }
  }
}
