// Scene file writer: every chunk of a ".Scn" level, save or snapshot, from a description. Event
// records, character records and the interface records are given as their stored bytes, so a test
// can write older layouts or bytes that lie; the counts written can be forced for the same reason.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datakit/envzone.h"
#include "datakit/gamelight.h"
#include "datakit/rope.h"

namespace datakit {

// Bytes of one stored event record in a file of that version: 940, 944 (10252), 948 (10253 on).
uint32_t SceneEventRecordBytes(uint32_t version);

using EventBytes = std::vector<uint8_t>;

struct ScenePropertySpec {
    std::string name;
    int32_t intValue = 0;
    float floatValue = 0.0f;
};

struct ScenePlaceSpec {
    std::array<float, 3> position{};
    std::array<float, 9> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
    float range = 1000.0f;
    float size = 1.0f;
    uint32_t flagA = 0, flagB = 0, flagC = 0, objectWord = 0;
    uint32_t active = 1;
    uint32_t visible = 1;
};

struct SceneAnimSpec {
    uint32_t animated = 0;
    uint32_t count = 0;
    int32_t slot1 = -1;
    int32_t slot2 = -1;
    uint32_t frame = 0;
    std::string name1;
    std::string name2;
};

struct SceneObjectSpec {
    std::string model;  // base type name ("Crate" for OBJECTS/Crate1001.QVo)
    uint32_t number = 1;
    ScenePlaceSpec place;
    std::array<float, 4> params{};
    float wave = 0.0f;
    uint32_t rotationPending = 0;
    std::vector<ScenePropertySpec> properties;
    std::vector<EventBytes> events;
    SceneAnimSpec anim;
};

struct SceneRecordListsSpec {
    std::vector<uint32_t> first;
    std::vector<std::array<uint8_t, 16>> bones;
    std::optional<uint32_t> declaredFirst;  // counts that lie
    std::optional<uint32_t> declaredBones;
};

struct SceneCharacterSpec {
    std::string type;  // base type name ("NZT" for OBJECTS/ENTITIES/NZT1001.QVo)
    uint32_t number = 1;
    ScenePlaceSpec place;
    std::vector<uint8_t> record = std::vector<uint8_t>(160, 0);  // the character record
    std::vector<ScenePropertySpec> properties;
    std::vector<EventBytes> events;
    SceneAnimSpec anim;
    float speedFactor = 1.0f;
    SceneRecordListsSpec lists;
};

struct ScenePlayerSpec {
    uint32_t placed = 1;
    ScenePlaceSpec place;
    std::vector<uint8_t> record = std::vector<uint8_t>(160, 0);
    SceneRecordListsSpec lists;
    uint32_t lifePresent = 1;
    float life = 100.0f;
    float reserve = 0.0f;
    uint32_t stateWord = 0;
    std::vector<ScenePropertySpec> properties;
    std::vector<EventBytes> events;
};

struct SceneTriggerSpec {
    std::string name;
    std::array<float, 3> position{};
    // The box's full extents along its own axes: a zone reaching 40 each way from its centre is 80.
    std::array<float, 3> sizes{1.0f, 1.0f, 1.0f};
    std::array<float, 9> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
    uint32_t active = 1;
    std::vector<EventBytes> events;
};

// The 376-byte counter record (380 with the doubled word of files older than 10252).
struct CounterRecordSpec {
    uint32_t kind = 0;
    float x = 0.0f, y = 0.0f, width = 64.0f, height = 64.0f;
    float value = 0.0f;
    int32_t parentIndex = -1;
    float textOffsetX = 0.0f, textOffsetY = 0.0f;
    float minimum = 0.0f, maximum = 1000.0f;
    uint32_t textShadow = 0;
    uint32_t textColour = 0xFFFFFFFFu;
    uint32_t digitCount = 0;
    std::string name;
    std::string imageName;
    bool doubledWord = false;  // old layout: a discarded word before the value
};
std::vector<uint8_t> MakeCounterRecord(const CounterRecordSpec& spec);

struct SceneCounterSpec {
    CounterRecordSpec record;
    std::vector<EventBytes> events;
};
struct SceneGameUISpec {
    std::vector<uint8_t> record = std::vector<uint8_t>(888, 0);
    std::vector<EventBytes> events;
};
struct SceneInventorySpec {
    std::vector<uint8_t> record = std::vector<uint8_t>(876, 0);
    std::vector<EventBytes> events;
    std::vector<std::array<int32_t, 2>> items;  // id, kind
};

struct SceneSkySpec {
    uint32_t skyOn = 1;
    float timeOfDay = 120.0f;  // degrees
    float sunTilt = 45.0f;     // degrees
    float sunRoll = 0.0f;
    uint32_t timeRunning = 0;
    float midSpeed = 0.6f;
    float outerSpeed = 1.2f;
    uint32_t lensFlares = 1;
    uint32_t fog = 0;
    std::array<std::array<float, 3>, 6> colours{{{0.2f, 0.2f, 0.45f},
                                                 {0.3f, 0.25f, 0.45f},
                                                 {0.7f, 0.6f, 0.5f},
                                                 {0.8f, 0.8f, 0.8f},
                                                 {0.6f, 0.3f, 0.025f},
                                                 {0.3f, 0.3f, 0.5f}}};
};

struct ScenePanelSpec {
    std::string objectName;
    std::string imageName;
    std::array<float, 4> rect{256.0f, 192.0f, 512.0f, 384.0f};
};

struct SceneSpec {
    uint32_t version = 10262;
    // Chunk 2: written when set (files), absent in snapshots.
    std::optional<std::array<std::string, 3>> skyNames = std::array<std::string, 3>{"Sky1001", "Sun1001", "Moon1001"};
    uint32_t cameraPresent = 1;
    uint32_t cameraMode = 1;
    std::array<float, 3> cameraPosition{0.0f, 50.0f, -200.0f};
    std::array<float, 9> cameraRotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
    float fieldOfView = 0.3f;
    ScenePlayerSpec player;
    std::optional<SceneSkySpec> sky = SceneSkySpec();
    std::optional<std::string> playlistName = std::string("Level");
    std::vector<std::string> tracks;
    std::vector<SceneObjectSpec> objects;
    std::vector<SceneCharacterSpec> characters;
    std::vector<GameLightSpec> gameLights;
    std::vector<SceneTriggerSpec> triggers;
    std::vector<SceneGameUISpec> gameUIs;
    std::vector<SceneCounterSpec> counters;
    std::vector<SceneInventorySpec> inventories;
    std::vector<std::vector<uint8_t>> gameMaps;  // 356 bytes each
    std::optional<ScenePanelSpec> panel = ScenePanelSpec();
    uint32_t zonesOn = 0;
    std::vector<EnvZoneRecord> zones;
    std::vector<EventBytes> globalEvents;
    std::vector<uint8_t> settingsImages;  // empty: the defaults (1812 bytes)
    std::vector<RopeRecord> ropes;
    // Counts written instead of the true ones (malformed files).
    std::optional<uint32_t> declaredObjectCount;
    std::optional<uint32_t> declaredCharacterCount;
    std::optional<uint32_t> declaredTrackCount;
};

std::vector<uint8_t> MakeScene(const SceneSpec& spec);
bool WriteScene(const std::string& path, const SceneSpec& spec);

// Where each chunk of a made scene begins, for tests that cut or corrupt one.
struct SceneChunkOffsets {
    std::vector<std::pair<std::string, size_t>> chunks;  // in file order
};
std::vector<uint8_t> MakeScene(const SceneSpec& spec, SceneChunkOffsets* offsets);

// The user event file ".evt": version, count, then the records as given.
std::vector<uint8_t> MakeUserEventFile(uint32_t version, const std::vector<EventBytes>& records,
                                       std::optional<uint32_t> declaredCount = std::nullopt);

}  // namespace datakit
