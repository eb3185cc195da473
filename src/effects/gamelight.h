// Game lights: the scene's placed lights. A game light is an event object that owns one render
// light and optionally a light-map image that the light draws as its flare. Scene files hold each
// one as a fixed 372-byte record; loading creates a game light per record, saving fills the record
// back. The game lights live in their own list, outside the object registries. Main thread only.
#pragma once

#include <cstdint>

#include "core/binio.h"
#include "objects/events.h"

class NztLight;

inline constexpr uint32_t GameLightRecordBytes = 372;

// The scene-file record, little-endian, in this field order.
struct GameLightRecord {
    char name[64] = {};      // NUL-terminated
    char mapName[256] = {};  // light-map image name, without folder and extension
    float position[3] = {};
    float range = 0.0f;  // the camera cut-off of the light
    // The values the light's setters take: inner and outer range, and the target distance.
    float innerRange = 0.0f;
    float outerRange = 0.0f;
    float targetDistance = 0.0f;  // stored, read back clamped at 0
    float mapSize = 0.0f;
    float colour[3] = {};
    float mapIntensity = 0.0f;
    uint32_t on = 0;
};

// Reads one record; the text fields end in NUL whatever the bytes hold. False (and a zeroed
// record) when the reader runs short.
bool ReadGameLightRecord(BinReader& in, GameLightRecord* record);
void WriteGameLightRecord(BinWriter& out, const GameLightRecord& record);

class NztGameLight : public NztEventObject {
public:
    NztGameLight() { kind = ObjectKindGameLight; }

    // Applies a record: name, place, ranges, colour and light map; the light is switched on and
    // joins the near-light list when the camera stands in range, or is switched off.
    void LoadMap(const GameLightRecord& record);
    // The record that LoadMap would turn back into this game light.
    void FillSceneRecord(GameLightRecord* record) const;
    // Switches the light on and lets it join the near-light list when the camera is in range
    // (it never leaves the list here); the camera calls it every frame for the light it carries.
    void UpdateDistance();

    NztLight* light = nullptr;  // owned through the light library
    char name[64] = {};
    char mapName[512] = {};
    uint32_t mapTexture = 0;  // GL name of the loaded light map, 0 = none
    float mapSize = 128.0f;   // the flare half-size handed to the light
    float mapIntensity = 1.0f;
};

extern NztGameLight** GameLightList;
extern uint32_t GameLightCount;

// A new game light in the list with a point light of kind 1, set from the record.
NztGameLight* CreateGameLight(const GameLightRecord& record);
// Frees every game light with its map texture and its light, then the list.
void DeleteAllGameLights();
