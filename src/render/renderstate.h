// The global render state and its cache of GL switches.
#pragma once

#include <cstdint>

#include "platform/types.h"

class FTFont;

struct NztRenderState {
    WindowHandle window = nullptr;
    GlContextHandle glContext = nullptr;
    uint8_t threadCodePage = 0;
    FTFont* currentFont = nullptr;
    float currentFontSize = 0.0f;
    FTFont* defaultFont = nullptr;
    float defaultFontSize = 0.0f;
    FTFont* gameFont = nullptr;
    float gameFontSize = 0.0f;
    float viewportLeft = -400.0f;
    float viewportRight = 400.0f;
    float viewportBottom = -300.0f;
    float viewportTop = 300.0f;
    float clipRect[4] = {-400.0f, -300.0f, 400.0f, 300.0f};
    float halfViewportWidth = 400.0f;
    float halfViewportHeight = 300.0f;
    float textMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -1600.0f, 1};
    int32_t screenWidth = 800;
    int32_t screenHeight = 600;
    int32_t letterboxBar = 0;
    uint32_t blankTexture = 0;
    uint32_t normalizationCubeMap = 0;
    uint32_t skyCubeMap = 0;
    float clearColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};
};
extern NztRenderState RenderState;

// The GL switches kept in the cache: a change is sent to GL only when the cached value differs.
enum class CachedSwitch { DepthWrite, DepthTest, Blend, Texture2D, CullFace, AlphaTest, VertexArray, TexCoordArray, ColorArray };
void SetCachedSwitch(CachedSwitch which, bool on);
void SetActiveTextureUnitCached(uint32_t unit);

void InitRenderState();
uint32_t InitOpenGL();
uint32_t ResizeOpenGL(int32_t width, int32_t height);
void ShutdownOpenGL();
