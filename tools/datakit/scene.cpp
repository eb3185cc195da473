#include "datakit/scene.h"

#include <cstring>

#include "datakit/datakit.h"

namespace datakit {

namespace {

void PutF(std::vector<uint8_t>& out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    Put32(out, bits);
}

void PutText(std::vector<uint8_t>& out, const std::string& text, size_t bytes) {
    const size_t n = text.size() < bytes - 1 ? text.size() : bytes - 1;
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    out.insert(out.end(), bytes - n, 0);
}

template <size_t N>
void PutFloats(std::vector<uint8_t>& out, const std::array<float, N>& v) {
    for (float f : v) PutF(out, f);
}

void PutBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void PutEvents(std::vector<uint8_t>& out, const std::vector<EventBytes>& events) {
    Put32(out, static_cast<uint32_t>(events.size()));
    for (const EventBytes& e : events) PutBytes(out, e);
}

void PutProperties(std::vector<uint8_t>& out, const std::vector<ScenePropertySpec>& properties) {
    Put32(out, static_cast<uint32_t>(properties.size()));
    for (const ScenePropertySpec& p : properties) {
        PutText(out, p.name, 256);
        Put32(out, static_cast<uint32_t>(p.intValue));
        PutF(out, p.floatValue);
    }
}

void PutObjectWords(std::vector<uint8_t>& out, const ScenePlaceSpec& p) {
    PutF(out, p.range);
    PutF(out, p.size);
    for (uint32_t w : {p.flagA, p.flagB, p.flagC, p.objectWord, p.active, p.visible}) Put32(out, w);
}

void PutAnim(std::vector<uint8_t>& out, const SceneAnimSpec& a) {
    Put32(out, a.animated);
    if (!a.animated) return;
    Put32(out, a.count);
    if (a.count == 0) return;
    Put32(out, static_cast<uint32_t>(a.slot1));
    Put32(out, static_cast<uint32_t>(a.slot2));
    if (a.slot1 != -1) {
        Put32(out, a.frame);
        PutText(out, a.name1, 256);
    }
    if (a.slot2 != -1) PutText(out, a.name2, 256);
}

void PutLists(std::vector<uint8_t>& out, const SceneRecordListsSpec& l) {
    Put32(out, l.declaredFirst.value_or(static_cast<uint32_t>(l.first.size())));
    for (uint32_t w : l.first) Put32(out, w);
    Put32(out, l.declaredBones.value_or(static_cast<uint32_t>(l.bones.size())));
    for (const auto& b : l.bones) out.insert(out.end(), b.begin(), b.end());
}

std::vector<uint8_t> DefaultSettingsImages() {
    static const char* const kPaths[7] = {"MAPS/UI/Setting.Img",        "MAPS/UI/SettingSlider.Img",
                                          "MAPS/UI/SettingSliderBut.Img", "MAPS/UI/SettingYes.Img",
                                          "MAPS/UI/SettingYesPassOver.Img", "MAPS/UI/SettingNo.Img",
                                          "MAPS/UI/SettingNoPassOver.Img"};
    std::vector<uint8_t> out;
    for (const char* p : kPaths) PutText(out, p, 256);
    for (uint32_t w : {1u, 1u, 1u, 0u, 0u}) Put32(out, w);
    return out;
}

}  // namespace

uint32_t SceneEventRecordBytes(uint32_t version) {
    if (version < 10252) return 940;
    return version == 10252 ? 944 : 948;
}

std::vector<uint8_t> MakeCounterRecord(const CounterRecordSpec& s) {
    std::vector<uint8_t> out;
    Put32(out, s.kind);
    PutF(out, s.x);
    PutF(out, s.y);
    PutF(out, s.width);
    PutF(out, s.height);
    if (s.doubledWord) Put32(out, 0xDEADBEEFu);
    PutF(out, s.value);
    Put32(out, static_cast<uint32_t>(s.parentIndex));
    PutF(out, s.textOffsetX);
    PutF(out, s.textOffsetY);
    PutF(out, s.minimum);
    PutF(out, s.maximum);
    Put32(out, s.textShadow);
    Put32(out, s.textColour);
    Put32(out, s.digitCount);
    PutText(out, s.name, 64);
    PutText(out, s.imageName, 256);
    return out;
}

std::vector<uint8_t> MakeScene(const SceneSpec& spec, SceneChunkOffsets* offsets) {
    std::vector<uint8_t> out;
    auto mark = [&](const char* chunk) {
        if (offsets) offsets->chunks.emplace_back(chunk, out.size());
    };
    mark("header");
    Put32(out, spec.version);
    mark("sky objects");
    Put32(out, spec.skyNames ? 1 : 0);
    if (spec.skyNames)
        for (const std::string& n : *spec.skyNames) PutText(out, n, 256);
    mark("camera");
    Put32(out, spec.cameraPresent);
    if (spec.cameraPresent) {
        Put32(out, spec.cameraMode);
        PutFloats(out, spec.cameraPosition);
        PutFloats(out, spec.cameraRotation);
        PutF(out, spec.fieldOfView);
    }
    mark("player");
    const ScenePlayerSpec& pl = spec.player;
    Put32(out, pl.placed);
    if (pl.placed) {
        PutFloats(out, pl.place.position);
        PutFloats(out, pl.place.rotation);
    }
    for (uint32_t w : {pl.place.flagA, pl.place.flagB, pl.place.flagC, pl.place.objectWord}) Put32(out, w);
    PutF(out, pl.place.range);
    PutF(out, pl.place.size);
    Put32(out, pl.place.active);
    Put32(out, pl.place.visible);
    PutBytes(out, pl.record);
    PutLists(out, pl.lists);
    Put32(out, pl.lifePresent);
    if (pl.lifePresent) {
        PutF(out, pl.life);
        PutF(out, pl.reserve);
        Put32(out, pl.stateWord);
    }
    PutProperties(out, pl.properties);
    PutEvents(out, pl.events);
    mark("sky settings");
    Put32(out, spec.sky ? 1 : 0);
    if (spec.sky) {
        const SceneSkySpec& k = *spec.sky;
        Put32(out, k.skyOn);
        PutF(out, k.timeOfDay);
        PutF(out, k.sunTilt);
        PutF(out, k.sunRoll);
        Put32(out, k.timeRunning);
        PutF(out, k.midSpeed);
        PutF(out, k.outerSpeed);
        Put32(out, k.lensFlares);
        Put32(out, k.fog);
        for (const auto& c : k.colours) PutFloats(out, c);
    }
    mark("music play-list");
    Put32(out, spec.playlistName ? 1 : 0);
    if (spec.playlistName) {
        PutText(out, *spec.playlistName, 256);
        Put32(out, spec.declaredTrackCount.value_or(static_cast<uint32_t>(spec.tracks.size())));
        for (const std::string& t : spec.tracks) PutText(out, t, 256);
    }
    mark("scene objects");
    Put32(out, 1);
    Put32(out, spec.declaredObjectCount.value_or(static_cast<uint32_t>(spec.objects.size())));
    for (const SceneObjectSpec& o : spec.objects) {
        PutText(out, o.model, 256);
        Put32(out, o.number);
        Put32(out, 1);
        Put32(out, 0);
        PutFloats(out, o.place.position);
        PutFloats(out, o.place.rotation);
        PutObjectWords(out, o.place);
        PutF(out, o.params[0]);
        PutF(out, o.params[1]);
        PutF(out, o.wave);
        PutF(out, o.params[2]);
        PutF(out, o.params[3]);
        Put32(out, o.rotationPending);
        PutProperties(out, o.properties);
        PutEvents(out, o.events);
        PutAnim(out, o.anim);
    }
    mark("characters");
    Put32(out, 1);
    Put32(out, spec.declaredCharacterCount.value_or(static_cast<uint32_t>(spec.characters.size())));
    for (const SceneCharacterSpec& c : spec.characters) {
        PutText(out, c.type, 256);
        Put32(out, c.number);
        PutFloats(out, c.place.position);
        PutFloats(out, c.place.rotation);
        PutObjectWords(out, c.place);
        PutBytes(out, c.record);
        PutProperties(out, c.properties);
        PutEvents(out, c.events);
        PutAnim(out, c.anim);
        PutF(out, c.speedFactor);
        PutLists(out, c.lists);
    }
    mark("game lights");
    Put32(out, 1);
    Put32(out, static_cast<uint32_t>(spec.gameLights.size()));
    for (const GameLightSpec& g : spec.gameLights) PutBytes(out, MakeGameLightRecord(g));
    mark("trigger zones");
    Put32(out, 1);
    Put32(out, static_cast<uint32_t>(spec.triggers.size()));
    for (const SceneTriggerSpec& t : spec.triggers) {
        PutText(out, t.name, 256);
        PutFloats(out, t.position);
        PutFloats(out, t.sizes);
        PutFloats(out, t.rotation);
        Put32(out, t.active);
        PutEvents(out, t.events);
    }
    mark("game interfaces");
    Put32(out, 1);
    Put32(out, static_cast<uint32_t>(spec.gameUIs.size()));
    for (const SceneGameUISpec& g : spec.gameUIs) {
        Put32(out, 1);
        PutBytes(out, g.record);
        PutEvents(out, g.events);
    }
    mark("counters");
    Put32(out, 1);
    Put32(out, static_cast<uint32_t>(spec.counters.size()));
    for (const SceneCounterSpec& c : spec.counters) {
        PutBytes(out, MakeCounterRecord(c.record));
        PutEvents(out, c.events);
    }
    mark("inventories");
    Put32(out, 1);
    Put32(out, static_cast<uint32_t>(spec.inventories.size()));
    for (const SceneInventorySpec& inv : spec.inventories) {
        PutBytes(out, inv.record);
        PutEvents(out, inv.events);
        Put32(out, static_cast<uint32_t>(inv.items.size()));
        for (const auto& item : inv.items) {
            Put32(out, static_cast<uint32_t>(item[0]));
            Put32(out, static_cast<uint32_t>(item[1]));
        }
    }
    mark("game maps");
    Put32(out, 1);
    Put32(out, static_cast<uint32_t>(spec.gameMaps.size()));
    for (const auto& m : spec.gameMaps) PutBytes(out, m);
    mark("image panel");
    Put32(out, spec.panel ? 1 : 0);
    if (spec.panel) {
        PutText(out, spec.panel->objectName, 64);
        PutText(out, spec.panel->imageName, 256);
        PutFloats(out, spec.panel->rect);
    }
    mark("environment zones");
    EnvZoneSectionSpec zones;
    zones.enabled = static_cast<int32_t>(spec.zonesOn);
    zones.zones = spec.zones;
    PutBytes(out, MakeEnvZoneSection(zones));
    mark("global events");
    Put32(out, 1);
    PutEvents(out, spec.globalEvents);
    mark("settings-screen images");
    Put32(out, 1);
    PutBytes(out, spec.settingsImages.empty() ? DefaultSettingsImages() : spec.settingsImages);
    mark("rope links");
    PutBytes(out, MakeRopeChunk(spec.ropes));
    mark("end");
    return out;
}

std::vector<uint8_t> MakeScene(const SceneSpec& spec) { return MakeScene(spec, nullptr); }

bool WriteScene(const std::string& path, const SceneSpec& spec) { return WriteFileBytes(path, MakeScene(spec)); }

std::vector<uint8_t> MakeUserEventFile(uint32_t version, const std::vector<EventBytes>& records,
                                       std::optional<uint32_t> declaredCount) {
    std::vector<uint8_t> out;
    Put32(out, version);
    Put32(out, declaredCount.value_or(static_cast<uint32_t>(records.size())));
    for (const EventBytes& e : records) PutBytes(out, e);
    return out;
}

}  // namespace datakit
