#include "render/projection.h"

void BeginPrimitive(NztRenderState*, uint32_t) {}
void SetScissorRect(NztRenderState*) {}
