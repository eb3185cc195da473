// Scene files: one whole live world (sky, camera, player, scene objects, characters, game lights,
// trigger zones, interface objects, image panel, sky settings, music play-list, environment zones,
// global events, settings-screen images, rope links) as one sequence of fields with no chunk headers.
//
// The same bytes serve level files "SCN/<name>.Scn" (through the scene pack or the data folder),
// the player's saves "USER/<name>.Scn" (full paths, written through a temporary file) and memory
// snapshots. Reading parses the whole source into a SceneData first; only a source that parses to
// its end is applied to the world, so a refused file leaves the running level as it was.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "effects/gamelight.h"
#include "effects/sky.h"
#include "objects/userprop.h"
#include "ui/counter.h"
#include "ui/panel.h"

class BinReader;
class BinWriter;
class NztEventObject;

inline constexpr uint32_t SceneVersionOldest = 10248;
inline constexpr uint32_t SceneVersionCurrent = 10262;

// The version of the scene or event file read last; the record upgrades consult it.
extern uint32_t SceneFileVersion;

// Fixed record sizes of the stored objects.
inline constexpr uint32_t SceneCharacterRecordBytes = 160;
inline constexpr uint32_t SceneBoneRecordBytes = 16;
inline constexpr uint32_t SceneGameUIRecordBytes = 888;
inline constexpr uint32_t SceneInventoryRecordBytes = 876;
inline constexpr uint32_t SceneGameMapRecordBytes = 356;
inline constexpr uint32_t ScenePanelBytes = 336;
inline constexpr uint32_t SettingsImagesBytes = 1812;
// Event records one object may hold.
inline constexpr uint32_t SceneEventLimit = 1u << 16;
// Animation slots an object takes from a scene: as many as a character type has slot names.
inline constexpr uint32_t SceneAnimSlotLimit = 236;

// Event records as they stand in the file: count records of recordBytes each (940 before 10252,
// 944 in 10252, 948 from 10253), upgraded when they are handed to their owner.
struct SceneEvents {
    uint32_t count = 0;
    uint32_t recordBytes = 948;
    std::vector<uint8_t> bytes;
};

// Placement and the eight flag words shared by the player, scene objects and characters.
struct ScenePlacement {
    float position[3] = {0.0f, 0.0f, 0.0f};
    float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float range = 0.0f;
    float size = 0.0f;
    uint32_t flagA = 0, flagB = 0, flagC = 0;
    uint32_t objectWord = 0;
    uint32_t active = 1;
    uint32_t visible = 1;
};

struct SceneAnimation {
    uint32_t animated = 0;
    uint32_t count = 0;
    int32_t slot1 = -1;
    int32_t slot2 = -1;
    uint32_t frame = 0;
    char name1[256] = {};
    char name2[256] = {};
};

struct SceneScnObject {
    char model[256] = {};
    uint32_t number = 0;
    ScenePlacement place;
    float params[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float wave = 0.0f;
    uint32_t rotationPending = 0;
    std::vector<UserProperty> properties;
    SceneEvents events;
    SceneAnimation anim;
};

// A character's two record lists: bone indices, then 16-byte bone records.
struct SceneRecordLists {
    std::vector<uint32_t> first;
    std::vector<std::array<uint8_t, SceneBoneRecordBytes>> bones;
};

struct SceneCharacter {
    char type[256] = {};
    uint32_t number = 0;
    ScenePlacement place;
    std::array<uint8_t, SceneCharacterRecordBytes> record{};
    std::vector<UserProperty> properties;
    SceneEvents events;
    SceneAnimation anim;
    float speedFactor = 1.0f;
    SceneRecordLists lists;
};

struct ScenePlayer {
    uint32_t placed = 0;
    ScenePlacement place;
    std::array<uint8_t, SceneCharacterRecordBytes> record{};
    SceneRecordLists lists;
    uint32_t lifePresent = 0;
    float life = 0.0f;
    float reserve = 0.0f;
    uint32_t stateWord = 0;
    std::vector<UserProperty> properties;
    SceneEvents events;
};

struct SceneTrigger {
    char name[256] = {};
    float position[3] = {0.0f, 0.0f, 0.0f};
    float halfSizes[3] = {0.0f, 0.0f, 0.0f};
    float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    uint32_t active = 1;
    SceneEvents events;
};

struct SceneCounter {
    CounterRecord record;
    SceneEvents events;
};

// Interface objects, with their records in the stored bytes (their classes read and write them).
struct SceneGameUI {
    std::array<uint8_t, SceneGameUIRecordBytes> record{};
    SceneEvents events;
};
struct SceneInventory {
    std::array<uint8_t, SceneInventoryRecordBytes> record{};
    SceneEvents events;
    std::vector<std::array<int32_t, 2>> items;  // id, kind
};

struct SceneCamera {
    uint32_t present = 0;
    uint32_t mode = 1;
    float position[3] = {0.0f, 0.0f, 0.0f};
    float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float fieldOfView = 0.3f;
};

struct SceneSkySettings {
    uint32_t skyOn = 1;
    float timeOfDay = 0.0f;  // degrees
    float sunTilt = 0.0f;    // degrees in the file
    float sunRoll = 0.0f;
    uint32_t timeRunning = 0;
    float midSpeed = 0.0f;   // the kept speed x 60 in the file
    float outerSpeed = 0.0f;
    uint32_t lensFlares = 0;
    uint32_t fog = 0;
    float colours[6][3] = {};
};

struct SceneData {
    uint32_t version = SceneVersionCurrent;
    uint32_t hasSkyNames = 0;
    char skyName[256] = {};
    char sunName[256] = {};
    char moonName[256] = {};
    SceneCamera camera;
    ScenePlayer player;
    uint32_t hasSkySettings = 0;
    SceneSkySettings sky;
    uint32_t hasPlaylist = 0;
    char playlistName[256] = {};
    std::vector<std::array<char, 256>> tracks;
    uint32_t hasScnObjects = 0;
    std::vector<SceneScnObject> scnObjects;
    uint32_t hasCharacters = 0;
    std::vector<SceneCharacter> characters;
    uint32_t hasGameLights = 0;
    std::vector<GameLightRecord> gameLights;
    uint32_t hasTriggers = 0;
    std::vector<SceneTrigger> triggers;
    uint32_t hasGameUIs = 0;
    std::vector<SceneGameUI> gameUIs;
    uint32_t hasCounters = 0;
    std::vector<SceneCounter> counters;
    uint32_t hasInventories = 0;
    std::vector<SceneInventory> inventories;
    uint32_t hasGameMaps = 0;
    std::vector<std::array<uint8_t, SceneGameMapRecordBytes>> gameMaps;
    uint32_t hasPanel = 0;
    PanelSettings panel;
    uint32_t hasZones = 0;
    uint32_t zonesOn = 0;
    std::vector<EnvironmentZone> zones;
    uint32_t hasGlobalEvents = 0;
    SceneEvents globalEvents;
    uint32_t hasSettingsImages = 0;
    std::array<uint8_t, SettingsImagesBytes> settingsImages{};
    std::vector<std::array<uint32_t, 8>> ropes;
};

// Parses a whole scene. Every count, length and offset is checked against the bytes left before
// anything is allocated. False, after one line on stderr naming source and the chunk, when the
// version is outside 10248..10262 or the bytes are short or malformed; out is then unspecified.
bool ParseScene(BinReader& in, const char* source, SceneData* out);
// The bytes SaveScene would write for scene (always version 10262).
void WriteSceneData(BinWriter& out, const SceneData& scene);
// The live world in the stored form, after the object lists were renumbered. The four switches
// are the presence of the sky names, sky settings, music play-list and image panel.
void CaptureScene(SceneData* out, int withSky, int withSkySettings, int withMusic, int withPanel);
// Empties the world and builds it from scene (the loading steps after the file was read).
void CommitScene(const SceneData& scene);

// Opens and parses a scene without touching the world (sources as LoadScene's); false when it
// cannot be opened or is refused.
bool ReadScene(const char* name, int fromPacks, const void* snapshot, SceneData* out);
// Reads a scene: with a name and fromPacks set, "SCN/<name>.Scn" through the scene pack or the data
// folder; with a name and fromPacks clear, a full path; with no name, a snapshot of SaveScene. 1
// when the scene was applied; 0 (world untouched) when it could not be opened or was refused.
int LoadScene(const char* name, int fromPacks, const void* snapshot);
// Writes the live scene to path through a temporary file (null result), or, with a null path,
// answers a snapshot block (free it with free()) that carries its own length.
void* SaveScene(const char* path, int withSky, int withSkySettings, int withMusic, int withPanel);
// Deletes the file of that name relative to the data folder ("USER/<slot>.Scn"); a missing file is
// ignored.
void DeleteDataFile(const char* name);

// Snapshot blocks: an 8-byte length, then that many scene bytes.
uint64_t SceneSnapshotBytes(const void* snapshot);

// Renumbers every object list so that each id equals its index, translating the references that
// event records hold (called before every save and after an object is destroyed).
void RemapAllObjectLinks();
