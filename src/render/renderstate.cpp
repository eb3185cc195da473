#include "render/renderstate.h"

NztRenderState RenderState;

void SetCachedSwitch(CachedSwitch, bool) {}
void SetActiveTextureUnitCached(uint32_t) {}
void InitRenderState() {}
uint32_t InitOpenGL() { return 1; }
uint32_t ResizeOpenGL(int32_t, int32_t) { return 0; }
void ShutdownOpenGL() {}
