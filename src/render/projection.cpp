#include "render/projection.h"

void BeginPrimitive(NztRenderState*, uint32_t) {}
void SetScissorRect(NztRenderState*) {}
void ReadFramePixels(int, int, uint8_t*) {}
void EnableFog() {}
void DisableFog() {}
