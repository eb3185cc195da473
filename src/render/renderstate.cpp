#include "render/renderstate.h"

#include <FTGL/ftgl.h>

#include <cmath>
#include <cstdio>

#include "core/config.h"
#include "core/paths.h"
#include "platform/window.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/text.h"
#include "render/texture.h"

NztRenderState RenderState;

namespace {

constexpr RenderPlatformCalls kPlatformCalls = {&GlDesktopBitsPerPixel, &GlSetPixelFormat,
                                                &GlCreateContext,       &GlMakeCurrent,
                                                &GlDeleteContext,       &ShowMessageBox};

// Larger sides are refused: beyond any GL viewport, and screenBytes must stay in 32 bits.
constexpr std::int32_t kMaxScreenSide = 16384;

bool ValidScreenSize(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kMaxScreenSide && height <= kMaxScreenSide;
}

// Sends enable or disable only when the cached flag differs. The GL functions are read from
// the table at each call, as tests replace them.
void SwitchFlag(std::uint32_t& flag, bool on, void (*enable)(GLenum), void (*disable)(GLenum),
                GLenum what) {
  if (on == (flag != 0)) return;
  (on ? enable : disable)(what);
  flag = on ? 1 : 0;
}

void SwitchCapability(std::uint32_t& flag, GLenum capability, bool on) {
  SwitchFlag(flag, on, GlCore.Enable, GlCore.Disable, capability);
}

void SwitchClientState(std::uint32_t& flag, GLenum array, bool on) {
  SwitchFlag(flag, on, GlCore.EnableClientState, GlCore.DisableClientState, array);
}

// A new context starts with every switch off; the cache must not carry the old context's.
void ForgetCachedSwitches(NztRenderState& rs) {
  rs.depthWriteOn = rs.depthTestOn = rs.blendOn = rs.texture2DOn = 0;
  rs.cullFaceOn = rs.alphaTestOn = rs.fogOn = rs.scissorOn = 0;
  rs.vertexArrayOn = rs.texCoordArrayOn = rs.colorArrayOn = 0;
  rs.activeTextureUnit = rs.clientActiveTextureUnit = kNoTextureUnit;
  rs.blendMode = 0;
  BoundTextureId = 0;
}

const char kNoOpenGlText[] = "Cannot Initialize OpenGL\nYou have to install OpenGL Drivers";
const char kNoOpenGlTitle[] = "Information Message";

}  // namespace

RenderPlatformCalls RenderPlatform = kPlatformCalls;

void ResetRenderPlatform() { RenderPlatform = kPlatformCalls; }

void InitRenderState() {
  RenderState = NztRenderState{};
  ResetCamera(RenderState);
  RenderState.blankTexture = RenderState.normalizationCubeMap = RenderState.skyCubeMap = 0;
}

void RequestPixelFormat(NztRenderState& rs) {
  const bool trueColor = RenderPlatform.desktopBitsPerPixel() == 32;
  rs.requestedRedBits = rs.requestedGreenBits = rs.requestedBlueBits = 8;
  rs.requestedAlphaBits = trueColor ? 8 : 0;
  rs.requestedDepthBits = trueColor ? 24 : 16;
  rs.requestedStencilBits = 0;
  rs.pixelFormat = GlPixelFormat{};
  rs.pixelFormat.colorBits = trueColor ? 24 : 16;
  rs.pixelFormat.alphaBits = static_cast<int>(rs.requestedAlphaBits);
  rs.pixelFormat.depthBits = static_cast<int>(rs.requestedDepthBits);
  rs.pixelFormat.stencilBits = 0;
  rs.pixelFormat.doubleBuffer = true;
  RenderPlatform.setPixelFormat(rs.pixelFormat);
}

void ApplyScreenSize(NztRenderState& rs, std::int32_t width, std::int32_t height) {
  const std::int32_t halfW = width >> 1;
  const std::int32_t halfH = height >> 1;
  rs.screenWidth = width;
  rs.screenHeight = height;
  rs.inverseScreenWidth = 1.0f / static_cast<float>(width);
  rs.inverseScreenHeight = 1.0f / static_cast<float>(height);
  rs.halfScreenWidth = halfW;
  rs.halfScreenHeight = halfH;
  rs.screenPixels = width * height;
  rs.screenBytes = width * height * 4;
  rs.screenWidthF = static_cast<float>(width);
  rs.screenHeightF = static_cast<float>(height);
  rs.halfViewportWidth = static_cast<float>(halfW);
  rs.halfViewportHeight = static_cast<float>(halfH);
  rs.viewportLeft = -static_cast<float>(width / 2);
  rs.viewportRight = static_cast<float>(width / 2);
  rs.viewportBottom = -static_cast<float>(height / 2);
  rs.viewportTop = static_cast<float>(height / 2);
  rs.viewportX = 0.0f;
  rs.viewportY = 0.0f;
  rs.viewportWidth = rs.screenWidthF;
  rs.viewportHeight = rs.screenHeightF;
  rs.inverseViewportWidth = rs.inverseScreenWidth;
  rs.inverseViewportHeight = rs.inverseScreenHeight;
  rs.clipRect[0] = static_cast<float>(-halfW);
  rs.clipRect[1] = static_cast<float>(-halfH);
  rs.clipRect[2] = static_cast<float>(width - halfW);
  rs.clipRect[3] = static_cast<float>(height - halfH);
  for (float& v : rs.appliedViewport) v = 0.0f;
  rs.screenX = 0;
  rs.screenY = 0;
  BoundTextureId = 0;
  rs.blendMode = 0;
}

std::uint32_t InitOpenGL() {
  NztRenderState& rs = RenderState;
  ClearTextureTable();
  const bool create = MainWindow != rs.window && rs.deviceContext == nullptr;

  rs.fieldOfView = rs.effectiveFieldOfView = 0.0716197;
  rs.focalLength = 1600.0f;
  rs.inverseFocalLength = 0.000625f;
  rs.nearPlane = 0.025;
  rs.farPlane = 0.25;

  if (ValidScreenSize(UserConfig.width, UserConfig.height)) {
    ApplyScreenSize(rs, static_cast<std::int32_t>(UserConfig.width),
                    static_cast<std::int32_t>(UserConfig.height));
  } else {
    std::fprintf(stderr, "render: configured size %ux%u refused, keeping %dx%d\n", UserConfig.width,
                 UserConfig.height, rs.screenWidth, rs.screenHeight);
    ApplyScreenSize(rs, rs.screenWidth, rs.screenHeight);
  }

  if (create) {
    rs.window = MainWindow;
    rs.deviceContext = MainWindow;
    RequestPixelFormat(rs);
    rs.glContext = RenderPlatform.createContext(rs.window);
    if (rs.glContext != nullptr) {
      if (InitGlExtensions() != 0)
        RenderPlatform.messageBox(MainWindow, kNoOpenGlText, kNoOpenGlTitle);
    } else {
      rs.window = nullptr;
      rs.deviceContext = nullptr;
    }
  }
  // Without a context every later GL call would go nowhere: start-up must stop.
  if (rs.glContext == nullptr) {
    RenderPlatform.messageBox(MainWindow, kNoOpenGlText, kNoOpenGlTitle);
    return 0;
  }

  SetDefaultGLState();
  ApplyScreenViewport(rs, rs.screenWidthF, rs.screenHeightF);
  return 1;
}

std::uint32_t ResizeOpenGL(std::int32_t width, std::int32_t height) {
  NztRenderState& rs = RenderState;
  if (rs.deviceContext == nullptr || MainWindow == nullptr) return 0;
  // A minimised window reports 0: keep every size, inverse and the letterbox bar as they are.
  if (!ValidScreenSize(width, height)) return 0;
  if (MainWindow == rs.window && width == rs.screenWidth && height == rs.screenHeight) return 0;

  if (rs.letterboxBar != 0 && height != rs.screenHeight) {
    rs.letterboxBar = static_cast<std::int32_t>(std::lrintf(
        static_cast<float>(rs.letterboxBar) / rs.screenHeightF * static_cast<float>(height)));
  }
  ApplyScreenSize(rs, width, height);

  rs.window = MainWindow;
  rs.deviceContext = MainWindow;
  const bool bound = RenderPlatform.makeCurrent(rs.window, rs.glContext);
  if (!bound) RenderPlatform.messageBox(nullptr, "HardWare Unsupported", "WARNING");
  ApplyScreenViewport(rs, rs.screenWidthF, rs.screenHeightF);
  return bound ? 1 : 0;
}

FTFont* SetDefaultGLState() {
  NztRenderState& rs = RenderState;
  GlCore.DepthFunc(GL_LEQUAL);
  GlCore.ClearDepth(1.0);
  SwitchDepthTest(true);
  SwitchDepthWrite(true);
  SwitchBlend(false);
  GlCore.Hint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
  GlCore.AlphaFunc(GL_GREATER, 0.0f);
  SwitchAlphaTest(true);
  SwitchCullFace(true);
  GlCore.LineWidth(1.0f);

  rs.fogDensity = 0.001f;
  rs.fogDensityRate = 0.0f;
  rs.fogDensityTarget = 0.001f;
  rs.fogColorRate = 0.0f;
  for (int i = 0; i < 4; ++i) rs.fogColorTarget[i] = rs.fogColor[i] = 0.0f;
  GlCore.Fogfv(GL_FOG_COLOR, rs.fogColor);
  GlCore.Fogf(GL_FOG_DENSITY, 0.001f);
  GlCore.Fogf(GL_FOG_MODE, static_cast<GLfloat>(GL_EXP2));

  char relative[64];
  std::snprintf(relative, sizeof relative, "%s%s", "FONTS/", "ARIAL.TTF");
  const char* path = DataPath(relative);
  FTFont* font = path != nullptr ? CreateTextFont(path) : nullptr;
  rs.currentFont = rs.defaultFont;
  rs.currentFontSize = rs.defaultFontSize;
  return font;
}

void ShutdownOpenGL() {
  NztRenderState& rs = RenderState;
  FreeTextFonts();
  for (std::uint32_t* texture : {&rs.skyCubeMap, &rs.normalizationCubeMap, &rs.blankTexture}) {
    if (*texture != 0) {
      const GLuint name = *texture;
      GlCore.DeleteTextures(1, &name);
      *texture = 0;
    }
  }
  if (rs.glContext != nullptr) {
    RenderPlatform.makeCurrent(nullptr, nullptr);
    RenderPlatform.deleteContext(rs.glContext);
  }
  rs.window = nullptr;
  rs.deviceContext = nullptr;
  rs.glContext = nullptr;
  ForgetCachedSwitches(rs);
  GlCore.Flush();
}

void SwitchDepthWrite(bool on) {
  std::uint32_t& flag = RenderState.depthWriteOn;
  if (on && flag == 0) {
    GlCore.DepthMask(GL_TRUE);
    flag = 1;
  } else if (!on && flag != 0) {
    GlCore.DepthMask(GL_FALSE);
    flag = 0;
  }
}

void SwitchDepthTest(bool on) { SwitchCapability(RenderState.depthTestOn, GL_DEPTH_TEST, on); }
void SwitchBlend(bool on) { SwitchCapability(RenderState.blendOn, GL_BLEND, on); }
void SwitchCullFace(bool on) { SwitchCapability(RenderState.cullFaceOn, GL_CULL_FACE, on); }
void SwitchAlphaTest(bool on) { SwitchCapability(RenderState.alphaTestOn, GL_ALPHA_TEST, on); }
void SwitchScissorTest(bool on) { SwitchCapability(RenderState.scissorOn, GL_SCISSOR_TEST, on); }

void SwitchTexture2D(bool on) {
  const bool turningOn = on && RenderState.texture2DOn == 0;
  SwitchCapability(RenderState.texture2DOn, GL_TEXTURE_2D, on);
  if (turningOn) BoundTextureId = 0;
}

void SwitchVertexArray(bool on) {
  SwitchClientState(RenderState.vertexArrayOn, GL_VERTEX_ARRAY, on);
}
void SwitchTexCoordArray(bool on) {
  SwitchClientState(RenderState.texCoordArrayOn, GL_TEXTURE_COORD_ARRAY, on);
}
void SwitchColorArray(bool on) { SwitchClientState(RenderState.colorArrayOn, GL_COLOR_ARRAY, on); }

void SelectActiveTexture(std::uint32_t unit) {
  if (unit == RenderState.activeTextureUnit) return;
  if (GlActiveTexture(GL_TEXTURE0 + unit)) RenderState.activeTextureUnit = unit;
}

void SelectClientActiveTexture(std::uint32_t unit) {
  if (unit == RenderState.clientActiveTextureUnit) return;
  if (GlClientActiveTexture(GL_TEXTURE0 + unit)) RenderState.clientActiveTextureUnit = unit;
}

void SelectBlendMode(std::uint32_t mode) {
  // Source and destination factors of modes 1 to 9.
  static constexpr GLenum kFactors[9][2] = {{GL_ONE, GL_ONE_MINUS_SRC_COLOR},
                                            {GL_SRC_ALPHA, GL_ONE},
                                            {GL_ZERO, GL_ONE_MINUS_SRC_COLOR},
                                            {GL_ONE_MINUS_DST_COLOR, GL_DST_COLOR},
                                            {GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_DST_ALPHA},
                                            {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
                                            {GL_SRC_ALPHA, GL_ONE},
                                            {GL_ZERO, GL_ONE_MINUS_SRC_ALPHA},
                                            {GL_DST_COLOR, GL_ZERO}};
  if (mode < 1 || mode > 9 || mode == RenderState.blendMode) return;
  GlCore.BlendFunc(kFactors[mode - 1][0], kFactors[mode - 1][1]);
  RenderState.blendMode = mode;
}

void SendClearColor(float red, float green, float blue, float alpha) {
  GlCore.ClearColor(red, green, blue, alpha);
  float* c = RenderState.clearColor;
  c[0] = red;
  c[1] = green;
  c[2] = blue;
  c[3] = alpha;
}

void SelectClearColor(float red, float green, float blue, float alpha) {
  const float* c = RenderState.clearColor;
  if (c[0] == red && c[1] == green && c[2] == blue && c[3] == alpha) return;
  SendClearColor(red, green, blue, alpha);
}
