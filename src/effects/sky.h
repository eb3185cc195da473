// Sky, time of day, lens flares, environment zones and wobble.
//
// The sky is two layer meshes at the origin, a sun (with its halo) and a moon on a circle of
// radius 16000 set by the time of day, and up to 14 lens-flare quads while the sun is seen. The
// time of day is an angle in degrees (0 to 360); it places the sun and moon, gives the sky,
// clear and fog colours from six colour keys, pulls the scene's directional light toward the sun
// or the moon and raises events 2 to 5 (dawn, noon, dusk, midnight) on EnvironmentEventObject.
// Environment zones are spheres with a value, loaded with the scene; the value seen from the
// camera target is smoothed into ZoneValue. The wobble vector is the wind read by the sway of
// objects. Everything runs on the main thread.
#pragma once

#include <cstdint>

#include "core/nztmath.h"

struct NztMesh;
class BinReader;
class BinWriter;
class NztEventObject;

// ---- Sky meshes (owned by the mesh library) -------------------------------------------------
extern NztMesh* SkyLayers[2];
extern NztMesh* SunMesh;
extern NztMesh* MoonMesh;
extern NztMesh* SunHaloMesh;
// Switches the drawing of layer 2 and the turning of both layers.
extern uint32_t SkyEnabled;

// "OBJECTS/SKY/<name>.QVo" into both layers (null or empty: empty meshes); 0 when the file is
// missing, refused or the name is not a plain name (the layers are then empty).
int LoadSkyObject(const char* name);
// The sun; the first call also loads the halo "OBJECTS/SKY/SunHalo1001.QVo".
int LoadSunObject(const char* name);
int LoadMoonObject(const char* name);
// Releases every sky mesh (before the mesh library is emptied).
void FreeSkyObjects();

// ---- Time of day ----------------------------------------------------------------------------
extern float TimeOfDay;       // degrees
extern float ShownTimeOfDay;  // degrees: the angle the sky shows
extern float SunTilt;         // radians
extern float SunRoll;         // radians
extern uint32_t TimeRunning;
extern float DaySpeed;    // degrees per 1/50 s, from 90 to 270 degrees
extern float NightSpeed;  // degrees per 1/50 s otherwise
extern float TimeCatchUp;  // 0: the shown angle jumps to the time
extern float SunMatrix[9];
// Sky colour (r, g, b) of the current time of day; the fog follows it.
extern float SkyColor[3];
// The sky colours at 0, 65, 90, 180, 270 and 295 degrees, between which ComputeSkyColor blends;
// scenes store and restore them.
extern float SkyColorKeys[6][3];
struct SkyLightState {
    Vec3 position;
    Vec3 direction;
};
// The scene's directional light; copied into the shading's SunPosition and SunDirection.
extern SkyLightState SkyLight;
// 1 while dawn, noon, dusk, midnight may fire.
extern uint32_t DayEventFlags[4];
// Receives the day events.
extern NztEventObject EnvironmentEventObject;
// Where the day events go; the default sends them to EnvironmentEventObject. Tests replace it.
struct SkyHooks {
    void (*sendDayEvent)(uint32_t code);
};
extern SkyHooks SkyServices;
void ResetSkyHooks();

// Start-up values of everything in this file but the meshes, flare textures and zones.
void ResetSkyState();

void SetTimeOfDayAngle(float degrees);
void SetTimeOfDayHours(float hours);
// The colour keys at angle (degrees, 0 to 360).
void ComputeSkyColor(float angle, float out[3]);
// The fog colour set to the sky colour with alpha 1 (the rate as SetFogColorRgba takes it).
void SetFogColorToSkyLight(float rate);
// Sun, halo and moon placed and the sky, clear and fog colours set from TimeOfDay at once,
// without moving SkyLight.
void UpdateSkyColors();
void UpdateSky();
void RotateSkyObjects();
void SetSunDirection(float radians);
// The unit direction of the sun position (the raw position when its length is 0).
Vec3 NormalizeSkyMeshDirection();
void RotateMeshAboutAxis(NztMesh* mesh, float radians);

// ---- Sun visibility and lens flares ---------------------------------------------------------
inline constexpr int LensFlareCount = 14;
extern uint32_t LensFlareTextures[LensFlareCount];
extern float LensFlareSizes[LensFlareCount];
extern float FlareIntensity;  // 0..1
// The sun's offset from the viewport centre in pixels (x right, y down), from TestSunVisibility.
extern float SunScreenPosition[2];
extern uint32_t FlaresEnabled;

// "MAPS/LensFlare00.Img" to "MAPS/LensFlare13.Img" and their sizes.
void LoadLensFlares();
void TestSunVisibility();
// Grey level of the halo for a sun at that screen offset (0 at and beyond the screen's edge).
float SunHaloLevel(float intensity, float screenX, float screenY);
void DrawSunHalo();
// Centre of flare i for a sun at (x, y) from the viewport centre.
void LensFlareCentre(int i, float x, float y, float out[2]);
void DrawLensFlares();

// ---- Environment zones ----------------------------------------------------------------------
// 92 bytes in scene files. Only the position, the radius squared and the value are used; the
// other words travel from the scene file to memory and back unchanged.
struct EnvironmentZone {
    uint32_t word0;
    float position[3];
    uint32_t word16;
    float radiusSquared;
    float value;
    uint32_t words[16];
};
inline constexpr uint32_t EnvironmentZoneBytes = 92;

extern int32_t EnvironmentZoneCount;
extern EnvironmentZone* EnvironmentZones;  // exactly EnvironmentZoneCount records
extern int32_t ZonesEnabled;
extern float ZoneTarget;
extern float ZoneValue;

// Appends a copy of zone (zeros when null); answers the new index.
int32_t AddEnvironmentZone(const EnvironmentZone* zone);
// Copies zone index to out when it exists and out is set; otherwise nothing.
void CopyEnvironmentZone(int32_t index, EnvironmentZone* out);
void FreeEnvironmentZones();
// The zone section of a scene file: presence word, zones-enabled word, count, records. Reading
// empties the list first; a truncated or impossible section leaves it empty, ZonesEnabled 0, and
// answers false after one line on stderr naming source.
bool ReadEnvironmentZoneSection(BinReader& in, const char* source);
void WriteEnvironmentZoneSection(BinWriter& out);
void ReadEnvironmentZone(BinReader& in, EnvironmentZone* zone);
void WriteEnvironmentZone(BinWriter& out, const EnvironmentZone& zone);

// ---- Wobble ---------------------------------------------------------------------------------
extern int32_t WobbleEnabled;
extern float WobbleTargetAmplitude;
extern float WobbleAmplitude;
extern float WobbleBase[3];
extern int32_t WobbleAngle;  // 4096 units a turn
extern float WobbleRotation[9];

void ResetWobble();
// Environment value at the observer and, when switched on, one wobble step.
void UpdateEnvironmentZones();

// ---- The environment record built at start-up -----------------------------------------------
void ConstructEnvironment();
// Releases its textures and buffers (also done at exit).
void DestroyEnvironment();

// ---- Small helpers --------------------------------------------------------------------------
void EnableAlphaTest();
void DisableAlphaTest();
// A random-table value times n.
int32_t RandomInt(int32_t n);
