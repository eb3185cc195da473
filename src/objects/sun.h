// The scene's directional light: the sky sets it, the shading of meshes (effects/shading.h) and the
// vertex wave of posing read it. Main thread only.
#pragma once

#include <cstdint>

#include "core/nztmath.h"

// The scene's directional light, set by the sky: its position, the unit direction towards it and
// its colour, which is also the ambient term. SunLighting switches the sun term on.
extern Vec3 SunPosition;
extern Vec3 SunDirection;
extern float SunColour[3];
extern uint32_t SunLighting;
// The start-up values of the four above.
void ResetShadingGlobals();
