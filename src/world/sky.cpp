#include "world/sky.h"

uint32_t LensFlareTextures[14] = {};

void ConstructEnvironment() {}
void UpdateEnvironmentZones() {}
void UpdateSky() {}
void RotateSkyObjects() {}
void ResetWobble() {}
void LoadLensFlares() {}
void TestSunVisibility() {}
void DrawSunHalo() {}
void DrawLensFlares() {}
void FreeEnvironmentZones() {}
float SkyColor[3] = {0.0f, 0.0f, 0.0f};
float WobbleVector[3] = {0.0f, 0.0f, 0.0f};
