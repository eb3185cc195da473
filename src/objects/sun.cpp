#include "objects/sun.h"

Vec3 SunPosition{0.0f, 16000.0f, 0.0f};
Vec3 SunDirection{0.0f, 1.0f, 0.0f};
float SunColour[3] = {0.5f, 0.5f, 0.5f};
uint32_t SunLighting = 1;

void ResetShadingGlobals() {
    SunPosition = {0.0f, 16000.0f, 0.0f};
    SunDirection = {0.0f, 1.0f, 0.0f};
    for (float& c : SunColour) c = 0.5f;
    SunLighting = 1;
}
