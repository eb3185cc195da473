// The global render state: the GL context on the main window, screen and viewport sizes, fonts,
// camera and 2-D matrices, projection and fog parameters, and the cache of GL switches through
// which every GL state change of the engine goes.
#pragma once

#include <cstdint>

#include "platform/glcontext.h"
#include "platform/types.h"

class FTFont;

struct NztRenderState {
  WindowHandle window = nullptr;
  // The drawable the context renders to; under SDL the window itself. Null until the context
  // exists, and the sign that it does.
  WindowHandle deviceContext = nullptr;
  GlContextHandle glContext = nullptr;
  std::uint32_t requestedRedBits = 8;
  std::uint32_t requestedGreenBits = 8;
  std::uint32_t requestedBlueBits = 8;
  std::uint32_t requestedAlphaBits = 8;   // 0 on a desktop below 32 bits per pixel
  std::uint32_t requestedDepthBits = 24;  // 16 on a desktop below 32 bits per pixel
  std::uint32_t requestedStencilBits = 0;
  GlPixelFormat pixelFormat;
  std::uint32_t primitiveKind = 0;
  std::uint8_t threadCodePage = 0;
  FTFont* currentFont = nullptr;
  float currentFontSize = 0.0f;
  FTFont* defaultFont = nullptr;
  float defaultFontSize = 12.0f;
  FTFont* gameFont = nullptr;
  float gameFontSize = 0.0f;
  float halfViewportWidth = 400.0f;
  float halfViewportHeight = 300.0f;
  // 2-D extents around the viewport centre.
  float viewportLeft = -400.0f;
  float viewportRight = 400.0f;
  float viewportBottom = -300.0f;
  float viewportTop = 300.0f;
  float viewportX = 0.0f;
  float viewportWidth = 800.0f;
  float viewportY = 0.0f;
  float viewportHeight = 600.0f;
  float inverseViewportWidth = 1.0f / 800.0f;
  float inverseViewportHeight = 1.0f / 600.0f;
  std::int32_t screenX = 0;
  std::int32_t screenY = 0;
  std::int32_t screenWidth = 800;
  std::int32_t screenHeight = 600;
  std::int32_t halfScreenWidth = 400;
  std::int32_t halfScreenHeight = 300;
  std::int32_t screenPixels = 800 * 600;
  std::int32_t screenBytes = 800 * 600 * 4;
  float screenWidthF = 800.0f;
  float screenHeightF = 600.0f;
  float inverseScreenWidth = 1.0f / 800.0f;
  float inverseScreenHeight = 1.0f / 600.0f;
  // Left, top, right, bottom of the drawable 2-D area relative to the screen centre, in pixels
  // with y downwards; the letterbox narrows it.
  float clipRect[4] = {-400.0f, -300.0f, 400.0f, 300.0f};
  // x, y, width, height last applied by ApplyScreenViewport.
  float appliedViewport[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  std::int32_t letterboxBar = 0;  // height in pixels of each cinema bar
  std::uint32_t cameraId = 0;
  // Column-major GL matrices.
  float cameraMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float baseViewMatrix[16] = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, -1600.0f, 1};
  float textMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -1600.0f, 1};
  float viewAxis[3] = {0.0f, 0.0f, 1.0f};
  float cameraPosition[3] = {0.0f, 0.0f, 0.0f};
  float focalLength = 1600.0f;  // projection scale in pixels
  float inverseFocalLength = 0.000625f;
  std::uint32_t viewState = 0;
  std::uint32_t blankTexture = 0;
  std::uint32_t normalizationCubeMap = 0;
  std::uint32_t skyCubeMap = 0;
  std::uint32_t blendMode = 0;  // 1..9 as set by SelectBlendMode; 0 = none set
  float clearColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  std::uint32_t baseViewPushed = 0;
  // Cached switches (0/1).
  std::uint32_t depthWriteOn = 0;
  std::uint32_t depthTestOn = 0;
  std::uint32_t blendOn = 0;
  std::uint32_t texture2DOn = 0;
  std::uint32_t cullFaceOn = 0;
  std::uint32_t alphaTestOn = 0;
  std::uint32_t fogOn = 0;
  std::uint32_t fogFollowsSky = 1;
  std::uint32_t vertexArrayOn = 0;
  std::uint32_t texCoordArrayOn = 0;
  std::uint32_t colorArrayOn = 0;
  // Unit indices last selected; kNoTextureUnit until the first selection.
  std::uint32_t activeTextureUnit = 0xFFFFFFFFu;
  std::uint32_t clientActiveTextureUnit = 0xFFFFFFFFu;
  // Degrees, stated for a 1024-pixel-wide viewport.
  double fieldOfView = 0.0716197;
  double effectiveFieldOfView = 0.0716197;  // fieldOfView x 1024 / viewport width
  double nearPlane = 0.025;
  double farPlane = 0.25;
  float fogColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  float fogDensity = 0.0f;
  float fogDensityRate = 0.0f;  // 0, or the per-step factor of a running transition
  float fogDensityTarget = 0.0f;
  float fogColorRate = 0.0f;
  float fogColorTarget[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  std::uint32_t scissorOn = 0;
};

constexpr std::uint32_t kNoTextureUnit = 0xFFFFFFFFu;

extern NztRenderState RenderState;

// What the render state needs from the window layer. The defaults are the platform functions;
// tests replace entries to run the context life cycle without a display.
struct RenderPlatformCalls {
  int (*desktopBitsPerPixel)();
  void (*setPixelFormat)(const GlPixelFormat& format);
  GlContextHandle (*createContext)(WindowHandle window);
  bool (*makeCurrent)(WindowHandle window, GlContextHandle context);
  void (*deleteContext)(GlContextHandle context);
  void (*messageBox)(WindowHandle owner, const char* text, const char* title);
};
extern RenderPlatformCalls RenderPlatform;
void ResetRenderPlatform();

// Start-up defaults of the record (no context), then ResetCamera.
void InitRenderState();

// Decides the pixel format from the desktop depth (32 bits: 8/8/8 colour, alpha 8, depth 24;
// else 16-bit colour, no alpha, depth 16) and hands it to the window layer. The window layer
// calls it before it creates the main window; InitOpenGL calls it again.
void RequestPixelFormat(NztRenderState& rs);

// Creates the context on the main window at the configured size, loads the extension entry
// points and sets the default GL state. Answers 1, or 0 after a message when no context could
// be made (start-up must stop then).
std::uint32_t InitOpenGL();
// Re-binds the record to the main window after a size or display-mode change. 1 on success; 0
// when nothing changed, a size is 0, there is no context, or the window refuses the context.
std::uint32_t ResizeOpenGL(std::int32_t width, std::int32_t height);
// Depth, blend, alpha, cull, fog defaults and the default font; answers the font.
FTFont* SetDefaultGLState();
// Releases fonts, owned textures and the context.
void ShutdownOpenGL();

// Every size field from a screen of width x height (both above 0); screenX/Y and
// appliedViewport to 0, the bound-texture cache and the blend mode forgotten.
void ApplyScreenSize(NztRenderState& rs, std::int32_t width, std::int32_t height);

// The cache of GL switches: each sends its GL call only when the cached value differs.
void SwitchDepthWrite(bool on);
void SwitchDepthTest(bool on);
void SwitchBlend(bool on);
void SwitchTexture2D(bool on);  // switching on also forgets the bound texture
void SwitchCullFace(bool on);
void SwitchAlphaTest(bool on);
void SwitchScissorTest(bool on);
void SwitchVertexArray(bool on);
void SwitchTexCoordArray(bool on);
void SwitchColorArray(bool on);
void SelectActiveTexture(std::uint32_t unit);  // unit index, 0 = GL_TEXTURE0
void SelectClientActiveTexture(std::uint32_t unit);
// Blend modes 1..9 of the drawing code (factor pairs in the .cpp); other values are ignored.
void SelectBlendMode(std::uint32_t mode);
void SelectClearColor(float red, float green, float blue, float alpha);
// Sends the clear colour whatever the cache holds (the first colour of a new context).
void SendClearColor(float red, float green, float blue, float alpha);
