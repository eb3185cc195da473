// Sky, lens flares, fog, environment zones and wobble.
#pragma once

#include <cstdint>

extern uint32_t LensFlareTextures[14];

void ConstructEnvironment();
void UpdateEnvironmentZones();
void UpdateSky();
void RotateSkyObjects();
void ResetWobble();
void LoadLensFlares();
void TestSunVisibility();
void DrawSunHalo();
void DrawLensFlares();
void FreeEnvironmentZones();
// Sky colour (r, g, b) of the current time of day; the fog follows it.
extern float SkyColor[3];
// The wind of the environment, read by the sway of objects; (0, 0, 0) while the wobble is off.
extern float WobbleVector[3];
