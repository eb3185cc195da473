// Scene file reading into a SceneData and writing a SceneData back: the byte layout alone. What the
// fields mean to the world is in scene.cpp.
#include <cstdio>
#include <cstring>

#include "core/binio.h"
#include "scene/scene.h"

namespace {

// Parsing state: the source named in the one diagnostic line, the chunk being read.
struct Parse {
    BinReader& in;
    const char* source;
    const char* chunk = "header";
    bool failed = false;

    bool Fail(const char* fault) {
        if (!failed)
            std::fprintf(stderr, "scene: %s: %s chunk: %s; the scene is not loaded\n", source ? source : "(memory)",
                         chunk, fault);
        failed = true;
        return false;
    }
    bool Short() { return Fail("the file ends early"); }
    // A count of records of recordBytes each that must fit in what is left.
    bool Count(uint32_t* count, uint64_t recordBytes, const char* what) {
        *count = in.U32();
        if (!in.Ok()) return Short();
        if (!in.Fits(*count, recordBytes)) {
            char fault[128];
            std::snprintf(fault, sizeof fault, "%u %s do not fit in the %llu bytes left", *count, what,
                          static_cast<unsigned long long>(in.Remaining()));
            return Fail(fault);
        }
        return true;
    }
};

uint32_t EventRecordBytesFor(uint32_t version) {
    if (version < 10252) return 940;
    if (version == 10252) return 944;
    return 948;
}

void ReadFloats(BinReader& in, float* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = in.F32();
}

bool ReadProperties(Parse& p, std::vector<UserProperty>* out) {
    uint32_t count = 0;
    if (!p.Count(&count, sizeof(UserProperty), "user properties")) return false;
    out->resize(count);
    for (UserProperty& u : *out) {
        p.in.Text(u.name);
        u.intValue = p.in.I32();
        u.floatValue = p.in.F32();
    }
    return p.in.Ok() || p.Short();
}

bool ReadEvents(Parse& p, uint32_t version, SceneEvents* out) {
    out->recordBytes = EventRecordBytesFor(version);
    if (!p.Count(&out->count, out->recordBytes, "event records")) return false;
    if (out->count > SceneEventLimit) return p.Fail("more event records on one object than an object takes");
    out->bytes.resize(uint64_t{out->count} * out->recordBytes);
    p.in.Read(out->bytes.data(), out->bytes.size());
    return p.in.Ok() || p.Short();
}

void ReadPlacement(BinReader& in, ScenePlacement* place) {
    ReadFloats(in, place->position, 3);
    ReadFloats(in, place->rotation, 9);
}

// Range, size, A, B, C, object word, active, visible: the order of scene objects and characters.
void ReadObjectWords(BinReader& in, ScenePlacement* place) {
    place->range = in.F32();
    place->size = in.F32();
    place->flagA = in.U32();
    place->flagB = in.U32();
    place->flagC = in.U32();
    place->objectWord = in.U32();
    place->active = in.U32();
    place->visible = in.U32();
}

bool ReadAnimation(Parse& p, SceneAnimation* anim) {
    BinReader& in = p.in;
    anim->animated = in.U32();
    if (anim->animated != 0) {
        anim->count = in.U32();
        if (anim->count != 0) {
            anim->slot1 = in.I32();
            anim->slot2 = in.I32();
            if (anim->slot1 != -1) {
                anim->frame = in.U32();
                in.Text(anim->name1);
            }
            if (anim->slot2 != -1) in.Text(anim->name2);
        }
    }
    return in.Ok() || p.Short();
}

bool ReadRecordLists(Parse& p, SceneRecordLists* lists) {
    uint32_t count = 0;
    if (!p.Count(&count, 4, "bone indices")) return false;
    lists->first.resize(count);
    for (uint32_t& v : lists->first) v = p.in.U32();
    if (!p.Count(&count, SceneBoneRecordBytes, "bone records")) return false;
    lists->bones.resize(count);
    for (auto& b : lists->bones) p.in.Read(b.data(), b.size());
    return p.in.Ok() || p.Short();
}

// Before 10262 fixed records were written field by field; the bytes are the same but for counters
// older than 10252, whose word at offset 20 came twice (the second one counts).
bool ReadCounter(Parse& p, uint32_t version, CounterRecord* record) {
    uint8_t bytes[CounterRecordBytes];
    if (version < 10252) {
        p.in.Read(bytes, 20);
        p.in.Skip(4);
        p.in.Read(bytes + 20, CounterRecordBytes - 20);
    } else {
        p.in.Read(bytes, CounterRecordBytes);
    }
    if (!p.in.Ok()) return p.Short();
    BinReader r(bytes, sizeof bytes);
    return ReadCounterRecord(r, record) || p.Short();
}

bool ParseChunks(Parse& p, SceneData* s) {
    BinReader& in = p.in;
    s->version = in.U32();
    if (!in.Ok()) return p.Short();
    if (s->version < SceneVersionOldest || s->version > SceneVersionCurrent) {
        char fault[64];
        std::snprintf(fault, sizeof fault, "version %u is not one of 10248 to 10262", s->version);
        return p.Fail(fault);
    }
    const uint32_t v = s->version;

    p.chunk = "sky objects";
    s->hasSkyNames = in.U32();
    if (s->hasSkyNames) {
        in.Text(s->skyName);
        in.Text(s->sunName);
        in.Text(s->moonName);
    }
    if (!in.Ok()) return p.Short();

    p.chunk = "camera";
    s->camera.present = in.U32();
    if (s->camera.present) {
        s->camera.mode = in.U32();
        ReadFloats(in, s->camera.position, 3);
        ReadFloats(in, s->camera.rotation, 9);
        s->camera.fieldOfView = in.F32();
    }
    if (!in.Ok()) return p.Short();

    p.chunk = "player";
    ScenePlayer& pl = s->player;
    pl.placed = in.U32();
    if (pl.placed) ReadPlacement(in, &pl.place);
    pl.place.flagA = in.U32();
    pl.place.flagB = in.U32();
    pl.place.flagC = in.U32();
    pl.place.objectWord = in.U32();
    pl.place.range = in.F32();
    pl.place.size = in.F32();
    pl.place.active = in.U32();
    pl.place.visible = in.U32();
    in.Read(pl.record.data(), pl.record.size());
    if (!in.Ok()) return p.Short();
    if (!ReadRecordLists(p, &pl.lists)) return false;
    pl.lifePresent = in.U32();
    if (pl.lifePresent) {
        pl.life = in.F32();
        pl.reserve = in.F32();
        pl.stateWord = in.U32();
    }
    if (!in.Ok()) return p.Short();
    if (!ReadProperties(p, &pl.properties) || !ReadEvents(p, v, &pl.events)) return false;

    p.chunk = "sky settings";
    s->hasSkySettings = in.U32();
    if (s->hasSkySettings) {
        SceneSkySettings& k = s->sky;
        k.skyOn = in.U32();
        k.timeOfDay = in.F32();
        k.sunTilt = in.F32();
        k.sunRoll = in.F32();
        k.timeRunning = in.U32();
        k.midSpeed = in.F32();
        k.outerSpeed = in.F32();
        k.lensFlares = in.U32();
        k.fog = in.U32();
        ReadFloats(in, &k.colours[0][0], 18);
    }
    if (!in.Ok()) return p.Short();

    p.chunk = "music play-list";
    s->hasPlaylist = in.U32();
    if (s->hasPlaylist) {
        in.Text(s->playlistName);
        uint32_t count = 0;
        if (!in.Ok()) return p.Short();
        if (!p.Count(&count, 256, "tracks")) return false;
        s->tracks.resize(count);
        for (auto& t : s->tracks) in.Text(t.data(), t.size(), 256);
    }
    if (!in.Ok()) return p.Short();

    // The smallest element of each list, for the count checks.
    p.chunk = "scene objects";
    s->hasScnObjects = in.U32();
    if (!in.Ok()) return p.Short();
    if (s->hasScnObjects) {
        uint32_t count = 0;
        if (!p.Count(&count, 256 + 8 + 48 + 32 + 24 + 8 + 4, "scene objects")) return false;
        s->scnObjects.resize(count);
        for (SceneScnObject& o : s->scnObjects) {
            in.Text(o.model);
            o.number = in.U32();
            in.Skip(8);  // two spare words
            ReadPlacement(in, &o.place);
            ReadObjectWords(in, &o.place);
            o.params[0] = in.F32();
            o.params[1] = in.F32();
            o.wave = in.F32();
            o.params[2] = in.F32();
            o.params[3] = in.F32();
            o.rotationPending = in.U32();
            if (!in.Ok()) return p.Short();
            if (!ReadProperties(p, &o.properties) || !ReadEvents(p, v, &o.events) || !ReadAnimation(p, &o.anim))
                return false;
        }
    }

    p.chunk = "characters";
    s->hasCharacters = in.U32();
    if (!in.Ok()) return p.Short();
    if (s->hasCharacters) {
        uint32_t count = 0;
        if (!p.Count(&count, 256 + 4 + 48 + 32 + SceneCharacterRecordBytes + 8 + 4 + 4 + 8, "characters"))
            return false;
        s->characters.resize(count);
        for (SceneCharacter& c : s->characters) {
            in.Text(c.type);
            c.number = in.U32();
            ReadPlacement(in, &c.place);
            ReadObjectWords(in, &c.place);
            in.Read(c.record.data(), c.record.size());
            if (!in.Ok()) return p.Short();
            if (!ReadProperties(p, &c.properties) || !ReadEvents(p, v, &c.events) || !ReadAnimation(p, &c.anim))
                return false;
            c.speedFactor = in.F32();
            if (!in.Ok()) return p.Short();
            if (!ReadRecordLists(p, &c.lists)) return false;
        }
    }

    p.chunk = "game lights";
    s->hasGameLights = in.U32();
    if (!in.Ok()) return p.Short();
    if (s->hasGameLights) {
        uint32_t count = 0;
        if (!p.Count(&count, GameLightRecordBytes, "game lights")) return false;
        s->gameLights.resize(count);
        for (GameLightRecord& g : s->gameLights)
            if (!ReadGameLightRecord(in, &g)) return p.Short();
    }

    p.chunk = "trigger zones";
    s->hasTriggers = in.U32();
    if (!in.Ok()) return p.Short();
    if (s->hasTriggers) {
        uint32_t count = 0;
        if (!p.Count(&count, 256 + 60 + 4 + 4, "trigger zones")) return false;
        s->triggers.resize(count);
        for (SceneTrigger& t : s->triggers) {
            in.Text(t.name);
            ReadFloats(in, t.position, 3);
            ReadFloats(in, t.halfSizes, 3);
            ReadFloats(in, t.rotation, 9);
            t.active = in.U32();
            if (!in.Ok()) return p.Short();
            if (!ReadEvents(p, v, &t.events)) return false;
        }
    }

    p.chunk = "game interfaces";
    s->hasGameUIs = in.U32();
    if (!in.Ok()) return p.Short();
    if (s->hasGameUIs) {
        uint32_t count = 0;
        if (!p.Count(&count, 4 + SceneGameUIRecordBytes + 4, "game interfaces")) return false;
        s->gameUIs.resize(count);
        for (SceneGameUI& g : s->gameUIs) {
            in.Skip(4);  // spare word
            in.Read(g.record.data(), g.record.size());
            if (!in.Ok()) return p.Short();
            if (!ReadEvents(p, v, &g.events)) return false;
        }
    }

    p.chunk = "counters";
    s->hasCounters = in.U32();
    if (!in.Ok()) return p.Short();
    if (s->hasCounters) {
        uint32_t count = 0;
        if (!p.Count(&count, CounterRecordBytes + 4, "counters")) return false;
        s->counters.resize(count);
        for (SceneCounter& c : s->counters)
            if (!ReadCounter(p, v, &c.record) || !ReadEvents(p, v, &c.events)) return false;
    }

    p.chunk = "inventories";
    s->hasInventories = in.U32();
    if (!in.Ok()) return p.Short();
    if (s->hasInventories) {
        uint32_t count = 0;
        if (!p.Count(&count, SceneInventoryRecordBytes + 8, "inventories")) return false;
        s->inventories.resize(count);
        for (SceneInventory& inv : s->inventories) {
            in.Read(inv.record.data(), inv.record.size());
            if (!in.Ok()) return p.Short();
            if (!ReadEvents(p, v, &inv.events)) return false;
            uint32_t items = 0;
            if (!p.Count(&items, 8, "inventory items")) return false;
            inv.items.resize(items);
            for (auto& item : inv.items) {
                item[0] = in.I32();
                item[1] = in.I32();
            }
        }
    }

    p.chunk = "game maps";
    s->hasGameMaps = in.U32();
    if (!in.Ok()) return p.Short();
    if (s->hasGameMaps) {
        uint32_t count = 0;
        if (!p.Count(&count, SceneGameMapRecordBytes, "game maps")) return false;
        s->gameMaps.resize(count);
        for (auto& m : s->gameMaps) in.Read(m.data(), m.size());
    }
    if (!in.Ok()) return p.Short();

    p.chunk = "image panel";
    s->hasPanel = in.U32();
    if (s->hasPanel) {
        in.Text(s->panel.objectName);
        in.Text(s->panel.imageName);
        ReadFloats(in, s->panel.rect, 4);
    }
    if (!in.Ok()) return p.Short();

    p.chunk = "environment zones";
    s->hasZones = in.U32();
    if (s->hasZones) {
        s->zonesOn = in.U32();
        uint32_t count = 0;
        if (!in.Ok()) return p.Short();
        if (!p.Count(&count, EnvironmentZoneBytes, "zones")) return false;
        s->zones.resize(count);
        for (EnvironmentZone& z : s->zones) ReadEnvironmentZone(in, &z);
    }
    if (!in.Ok()) return p.Short();

    p.chunk = "global events";
    s->hasGlobalEvents = in.U32();
    if (!in.Ok()) return p.Short();
    if (s->hasGlobalEvents && !ReadEvents(p, v, &s->globalEvents)) return false;

    p.chunk = "settings-screen images";
    s->hasSettingsImages = in.U32();
    if (s->hasSettingsImages) {
        in.Read(s->settingsImages.data(), s->settingsImages.size());
        // Seven 256-byte paths: each ends in a zero whatever the file holds.
        for (int i = 0; i < 7; ++i) s->settingsImages[i * 256 + 255] = 0;
    }
    if (!in.Ok()) return p.Short();

    p.chunk = "rope links";
    uint32_t ropes = 0;
    if (!p.Count(&ropes, 32, "rope links")) return false;
    s->ropes.resize(ropes);
    for (auto& r : s->ropes)
        for (uint32_t& w : r) w = in.U32();
    if (!in.Ok()) return p.Short();
    return true;
}

void WriteEvents(BinWriter& out, const SceneEvents& events) {
    // Records of an older layout are never written back: the loader upgrades what it keeps.
    if (events.recordBytes != 948) {
        out.U32(0);
        return;
    }
    out.U32(events.count);
    out.Bytes(events.bytes.data(), events.bytes.size());
}

void WriteProperties(BinWriter& out, const std::vector<UserProperty>& properties) {
    out.U32(static_cast<uint32_t>(properties.size()));
    for (const UserProperty& u : properties) {
        out.Text(u.name, 256);
        out.I32(u.intValue);
        out.F32(u.floatValue);
    }
}

void WriteFloats(BinWriter& out, const float* v, int n) {
    for (int i = 0; i < n; ++i) out.F32(v[i]);
}

void WriteObjectWords(BinWriter& out, const ScenePlacement& p) {
    out.F32(p.range);
    out.F32(p.size);
    for (uint32_t w : {p.flagA, p.flagB, p.flagC, p.objectWord, p.active, p.visible}) out.U32(w);
}

void WriteAnimation(BinWriter& out, const SceneAnimation& a) {
    out.U32(a.animated);
    if (!a.animated) return;
    out.U32(a.count);
    if (a.count == 0) return;
    out.I32(a.slot1);
    out.I32(a.slot2);
    if (a.slot1 != -1) {
        out.U32(a.frame);
        out.Text(a.name1, 256);
    }
    if (a.slot2 != -1) out.Text(a.name2, 256);
}

void WriteRecordLists(BinWriter& out, const SceneRecordLists& lists) {
    out.U32(static_cast<uint32_t>(lists.first.size()));
    for (uint32_t w : lists.first) out.U32(w);
    out.U32(static_cast<uint32_t>(lists.bones.size()));
    for (const auto& b : lists.bones) out.Bytes(b.data(), b.size());
}

}  // namespace

bool ParseScene(BinReader& in, const char* source, SceneData* out) {
    Parse p{in, source};
    *out = SceneData();
    return ParseChunks(p, out);
}

void WriteSceneData(BinWriter& out, const SceneData& s) {
    out.U32(SceneVersionCurrent);
    out.U32(s.hasSkyNames);
    if (s.hasSkyNames) {
        out.Text(s.skyName, 256);
        out.Text(s.sunName, 256);
        out.Text(s.moonName, 256);
    }
    out.U32(1);
    out.U32(s.camera.mode);
    WriteFloats(out, s.camera.position, 3);
    WriteFloats(out, s.camera.rotation, 9);
    out.F32(s.camera.fieldOfView);

    const ScenePlayer& pl = s.player;
    out.U32(1);
    WriteFloats(out, pl.place.position, 3);
    WriteFloats(out, pl.place.rotation, 9);
    for (uint32_t w : {pl.place.flagA, pl.place.flagB, pl.place.flagC, pl.place.objectWord}) out.U32(w);
    out.F32(pl.place.range);
    out.F32(pl.place.size);
    out.U32(pl.place.active);
    out.U32(pl.place.visible);
    out.Bytes(pl.record.data(), pl.record.size());
    WriteRecordLists(out, pl.lists);
    out.U32(1);
    out.F32(pl.life);
    out.F32(pl.reserve);
    out.U32(pl.stateWord);
    WriteProperties(out, pl.properties);
    WriteEvents(out, pl.events);

    out.U32(s.hasSkySettings);
    if (s.hasSkySettings) {
        const SceneSkySettings& k = s.sky;
        out.U32(k.skyOn);
        out.F32(k.timeOfDay);
        out.F32(k.sunTilt);
        out.F32(k.sunRoll);
        out.U32(k.timeRunning);
        out.F32(k.midSpeed);
        out.F32(k.outerSpeed);
        out.U32(k.lensFlares);
        out.U32(k.fog);
        WriteFloats(out, &k.colours[0][0], 18);
    }

    out.U32(s.hasPlaylist);
    if (s.hasPlaylist) {
        out.Text(s.playlistName, 256);
        out.U32(static_cast<uint32_t>(s.tracks.size()));
        for (const auto& t : s.tracks) out.Text(t.data(), 256);
    }

    out.U32(1);
    out.U32(static_cast<uint32_t>(s.scnObjects.size()));
    for (const SceneScnObject& o : s.scnObjects) {
        out.Text(o.model, 256);
        out.U32(o.number);
        out.U32(1);
        out.U32(0);
        WriteFloats(out, o.place.position, 3);
        WriteFloats(out, o.place.rotation, 9);
        WriteObjectWords(out, o.place);
        out.F32(o.params[0]);
        out.F32(o.params[1]);
        out.F32(o.wave);
        out.F32(o.params[2]);
        out.F32(o.params[3]);
        out.U32(o.rotationPending);
        WriteProperties(out, o.properties);
        WriteEvents(out, o.events);
        WriteAnimation(out, o.anim);
    }

    out.U32(1);
    out.U32(static_cast<uint32_t>(s.characters.size()));
    for (const SceneCharacter& c : s.characters) {
        out.Text(c.type, 256);
        out.U32(c.number);
        WriteFloats(out, c.place.position, 3);
        WriteFloats(out, c.place.rotation, 9);
        WriteObjectWords(out, c.place);
        out.Bytes(c.record.data(), c.record.size());
        WriteProperties(out, c.properties);
        WriteEvents(out, c.events);
        WriteAnimation(out, c.anim);
        out.F32(c.speedFactor);
        WriteRecordLists(out, c.lists);
    }

    out.U32(1);
    out.U32(static_cast<uint32_t>(s.gameLights.size()));
    for (const GameLightRecord& g : s.gameLights) WriteGameLightRecord(out, g);

    out.U32(1);
    out.U32(static_cast<uint32_t>(s.triggers.size()));
    for (const SceneTrigger& t : s.triggers) {
        out.Text(t.name, 256);
        WriteFloats(out, t.position, 3);
        WriteFloats(out, t.halfSizes, 3);
        WriteFloats(out, t.rotation, 9);
        out.U32(t.active);
        WriteEvents(out, t.events);
    }

    out.U32(1);
    out.U32(static_cast<uint32_t>(s.gameUIs.size()));
    for (const SceneGameUI& g : s.gameUIs) {
        out.U32(1);
        out.Bytes(g.record.data(), g.record.size());
        WriteEvents(out, g.events);
    }

    out.U32(1);
    out.U32(static_cast<uint32_t>(s.counters.size()));
    for (const SceneCounter& c : s.counters) {
        WriteCounterRecord(out, c.record);
        WriteEvents(out, c.events);
    }

    out.U32(1);
    out.U32(static_cast<uint32_t>(s.inventories.size()));
    for (const SceneInventory& inv : s.inventories) {
        out.Bytes(inv.record.data(), inv.record.size());
        WriteEvents(out, inv.events);
        out.U32(static_cast<uint32_t>(inv.items.size()));
        for (const auto& item : inv.items) {
            out.I32(item[0]);
            out.I32(item[1]);
        }
    }

    out.U32(1);
    out.U32(static_cast<uint32_t>(s.gameMaps.size()));
    for (const auto& m : s.gameMaps) out.Bytes(m.data(), m.size());

    out.U32(s.hasPanel);
    if (s.hasPanel) {
        out.Text(s.panel.objectName, 64);
        out.Text(s.panel.imageName, 256);
        WriteFloats(out, s.panel.rect, 4);
    }

    out.U32(1);
    out.U32(s.zonesOn);
    out.U32(static_cast<uint32_t>(s.zones.size()));
    for (const EnvironmentZone& z : s.zones) WriteEnvironmentZone(out, z);

    out.U32(1);
    WriteEvents(out, s.globalEvents);

    out.U32(1);
    out.Bytes(s.settingsImages.data(), s.settingsImages.size());

    out.U32(static_cast<uint32_t>(s.ropes.size()));
    for (const auto& r : s.ropes)
        for (uint32_t w : r) out.U32(w);
}
