// Projection, viewport, letterbox, fog and primitives on the render state.
#pragma once

#include <cstdint>

struct NztRenderState;

void BeginPrimitive(NztRenderState* state, uint32_t kind);
void SetScissorRect(NztRenderState* state);
void ReadFramePixels(int height, int width, uint8_t* buffer);
void EnableFog();
void DisableFog();
