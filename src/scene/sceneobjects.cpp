// What the scene reader and writer do with the objects: event lists, trigger zones, interface
// objects, and the renumbering of every object list before a save.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "character/entity.h"
#include "core/binio.h"
#include "effects/gamelight.h"
#include "model/mesh.h"
#include "objects/eventrecord.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "objects/triggers.h"
#include "scene/sceneevents.h"
#include "ui/counter.h"
#include "ui/gamemap.h"
#include "ui/gameui.h"
#include "ui/inventory.h"
#include "ui/menu.h"

namespace {

void WriteEventRecord(BinWriter& out, const EventRecord& r) {
    out.U32(r.Arg0);
    out.U32(r.Arg1);
    out.U32(r.Arg2);
    for (int32_t v : {r.Action, r.Once, r.Toggle, r.RunOnUpdate, r.Event, r.CondIndex, r.CondKind}) out.I32(v);
    for (float v : {r.Min, r.Max, r.State, r.Delay, r.Countdown}) out.F32(v);
    for (int32_t v : {r.TargetId, r.TargetKind, r.Target2Id, r.Target2Kind}) out.I32(v);
    out.F32(r.Value1);
    out.F32(r.Value2);
    out.I32(r.Extra);
    out.I32(r.Param);
    out.Bytes(r.ParamName, sizeof r.ParamName);
    out.I32(r.Param2);
    out.Bytes(r.Text, sizeof r.Text);
    out.Bytes(r.Text2, sizeof r.Text2);
    out.Bytes(r.ShortName, sizeof r.ShortName);
    for (uint32_t v : r.Values) out.U32(v);
}

}  // namespace

void GiveSceneEvents(NztEventObject* owner, const SceneEvents& events, int32_t ownerKind) {
    if (owner == nullptr || events.count == 0) return;
    const float counterValue =
        ownerKind == ObjectKindCounter ? static_cast<const NztCounter*>(owner)->value : 0.0f;
    std::vector<EventRecord> records;
    // The parse has checked the count against the bytes and the limit; this cannot fail.
    if (!ParseEventRecords(events.bytes.data(), events.bytes.size(), SceneFileVersion, events.count, ownerKind,
                           counterValue, records, nullptr, SceneEventLimit))
        return;
    for (const EventRecord& r : records) owner->AddEventRecord(&r);
}

void TakeSceneEvents(const NztEventObject* owner, SceneEvents* out) {
    *out = SceneEvents();
    if (owner == nullptr || owner->eventRecordCount <= 0) return;
    out->count = static_cast<uint32_t>(owner->eventRecordCount);
    BinWriter w(out->bytes);
    for (int32_t i = 0; i < owner->eventRecordCount; ++i) WriteEventRecord(w, owner->eventRecords[i]);
}

void TakeObjectOutOfWorld(NztBaseObject* object) { DeactivateObject(object); }

void CloseSceneSettingsScreen() { CloseSettingsScreen(); }

void CommitSceneTrigger(const SceneTrigger& t, int32_t index) {
    NztEventTrigger* trigger = CreateEventTrigger();
    if (trigger == nullptr) return;
    trigger->id = index;
    std::snprintf(trigger->name, sizeof trigger->name, "%s", t.name);
    std::copy(t.position, t.position + 3, trigger->Position);
    // The stored box size is the trigger's own size field.
    std::copy(t.halfSizes, t.halfSizes + 3, trigger->extents);
    trigger->SetRotation(t.rotation, true);
    GiveSceneEvents(trigger, t.events, ObjectKindTrigger);
    if (t.active == 0) UnregisterTrigger(trigger);
}

void CaptureSceneTriggers(std::vector<SceneTrigger>* out) {
    out->clear();
    for (uint32_t i = 0; i < EventTriggerCount; ++i) {
        NztEventTrigger* trigger = EventTriggerList[i];
        trigger->id = static_cast<int32_t>(i);
        SceneTrigger t;
        std::snprintf(t.name, sizeof t.name, "%s", trigger->name);
        std::copy(trigger->Position, trigger->Position + 3, t.position);
        std::copy(trigger->extents, trigger->extents + 3, t.halfSizes);
        std::copy(trigger->orientation, trigger->orientation + 9, t.rotation);
        t.active = trigger->registered != 0;
        TakeSceneEvents(trigger, &t.events);
        out->push_back(std::move(t));
    }
}

void ClearSceneInterfaceObjects() {
    DestroyAllInventories();
    DestroyAllCounters();
    DestroyAllGameMaps();
    DestroyAllGameUIs();
}

namespace {

template <typename Record, size_t N>
Record ReadStoredRecord(const std::array<uint8_t, N>& bytes, bool (*read)(BinReader&, Record*)) {
    Record record;
    BinReader in(bytes.data(), bytes.size());
    read(in, &record);  // the parse kept exactly the record's bytes: it cannot run short
    return record;
}

template <typename Record, size_t N>
void WriteStoredRecord(const Record& record, void (*write)(BinWriter&, const Record&), std::array<uint8_t, N>* out) {
    std::vector<uint8_t> bytes;
    BinWriter w(bytes);
    write(w, record);
    out->fill(0);
    std::memcpy(out->data(), bytes.data(), std::min(bytes.size(), out->size()));
}

}  // namespace

// Game interfaces, then counters, inventories and game maps, as the file holds them; each list is
// linked to its game interfaces once all of it is there.
void CommitSceneInterfaceObjects(const SceneData& scene) {
    for (size_t i = 0; i < scene.gameUIs.size(); ++i) {
        NztGameUI* ui = CreateGameUI(ReadStoredRecord(scene.gameUIs[i].record, ReadGameUIRecord));
        if (ui == nullptr) continue;
        ui->id = static_cast<int32_t>(i);
        GiveSceneEvents(ui, scene.gameUIs[i].events, ObjectKindGameUI);
    }
    LinkAllGameUIs();
    for (size_t i = 0; i < scene.counters.size(); ++i) {
        NztCounter* counter = CreateCounter(scene.counters[i].record);
        if (counter == nullptr) continue;
        counter->id = static_cast<int32_t>(i);
        GiveSceneEvents(counter, scene.counters[i].events, ObjectKindCounter);
        if (scene.version < 10252) counter->InitValue();
    }
    for (int32_t i = CounterCount; i-- > 0;)
        if (CounterList[i] != nullptr) AttachCounterToGameUI(CounterList[i], CounterList[i]->parentIndex);
    for (size_t i = 0; i < scene.inventories.size(); ++i) {
        const SceneInventory& stored = scene.inventories[i];
        NztInventory* inventory = CreateInventory(ReadStoredRecord(stored.record, ReadInventoryRecord));
        if (inventory == nullptr) continue;
        inventory->id = static_cast<int32_t>(i);
        GiveSceneEvents(inventory, stored.events, ObjectKindInventory);
        // Items name objects read earlier in the file: scene objects and characters.
        std::vector<InventoryItemRef> items;
        for (const auto& item : stored.items)
            items.push_back(InventoryItemRef{static_cast<uint32_t>(item[0]), static_cast<uint32_t>(item[1])});
        AddInventoryItems(inventory, items);
    }
    for (int32_t i = InventoryCount; i-- > 0;)
        if (InventoryList[i] != nullptr) AttachInventoryToGameUI(InventoryList[i], InventoryList[i]->parentIndex);
    for (size_t i = 0; i < scene.gameMaps.size(); ++i) {
        NztGameMap* map = CreateGameMap(ReadStoredRecord(scene.gameMaps[i], ReadGameMapRecord));
        if (map != nullptr) map->id = static_cast<int32_t>(i);
    }
}

void CaptureSceneInterfaceObjects(SceneData* scene) {
    for (int32_t i = 0; i < GameUICount; ++i) {
        NztGameUI* ui = GameUIList[i];
        ui->id = i;
        SceneGameUI g;
        GameUIRecord record;
        ui->FillSceneRecord(&record);
        WriteStoredRecord(record, WriteGameUIRecord, &g.record);
        TakeSceneEvents(ui, &g.events);
        scene->gameUIs.push_back(std::move(g));
    }
    for (int32_t i = 0; i < CounterCount; ++i) {
        NztCounter* counter = CounterList[i];
        counter->id = i;
        SceneCounter c;
        counter->FillSceneRecord(&c.record);
        TakeSceneEvents(counter, &c.events);
        scene->counters.push_back(std::move(c));
    }
    for (int32_t i = 0; i < InventoryCount; ++i) {
        NztInventory* inventory = InventoryList[i];
        inventory->id = i;
        SceneInventory stored;
        InventoryRecord record;
        inventory->FillSceneRecord(&record);
        WriteStoredRecord(record, WriteInventoryRecord, &stored.record);
        TakeSceneEvents(inventory, &stored.events);
        for (const InventoryItemRef& item : inventory->ItemRefs())
            stored.items.push_back({static_cast<int32_t>(item.id), static_cast<int32_t>(item.kind)});
        scene->inventories.push_back(std::move(stored));
    }
    for (int32_t i = 0; i < GameMapCount; ++i) {
        NztGameMap* map = GameMapList[i];
        map->id = i;
        GameMapRecord record;
        map->FillSceneRecord(&record);
        std::array<uint8_t, SceneGameMapRecordBytes> bytes{};
        WriteStoredRecord(record, WriteGameMapRecord, &bytes);
        scene->gameMaps.push_back(bytes);
    }
}

void ForEachEventOwner(void (*visit)(NztEventObject* owner)) {
    visit(&GameEventObject);
    for (int32_t kind : {ObjectKindScn, ObjectKindEntity, ObjectKindTrigger, ObjectKindCounter, ObjectKindGameUI,
                         ObjectKindInventory, ObjectKindGameMap, ObjectKindGameLight})
        for (int32_t i = EventKindCount(kind); i-- > 0;)
            if (NztEventObject* owner = GetObjectByKind(kind, i)) visit(owner);
}

void ShortenOldAnimNamesOf(NztEventObject* owner) {
    for (int32_t i = 0; i < owner->eventRecordCount; ++i) {
        EventRecord& r = owner->eventRecords[i];
        if (r.Action < 44 || r.Action > 46 || r.TargetKind != ObjectKindEntity) continue;
        const NztEntity* character = FindEntityById(r.TargetId);
        if (character == nullptr || character->mesh == nullptr) continue;
        const size_t cut = character->mesh->AnimSetNameLength;
        // A name shorter than the set name becomes empty; nothing is read before its start.
        auto shorten = [cut](char* field, size_t bytes) {
            const size_t length = strnlen(field, bytes - 1);
            const size_t n = std::min(cut, length);
            std::memmove(field, field + n, length - n + 1);
        };
        if (r.Action == 44 || r.Action == 45) shorten(r.ParamName, sizeof r.ParamName);
        if (r.Action == 45 || r.Action == 46) shorten(r.Text, sizeof r.Text);
    }
}

// ---- Renumbering -----------------------------------------------------------------------------

namespace {

// The old ids of one list, so that a reference's id becomes the index of the object that had it.
struct IdMap {
    std::vector<int32_t> old;

    // The new id of the object that had id, searched from the end; -1 when none had it.
    int32_t Translate(int32_t id) const {
        for (size_t i = old.size(); i-- > 0;)
            if (old[i] == id) return static_cast<int32_t>(i);
        return -1;
    }
};

// The action that works on an object of the kind by its index at Param.
int32_t IndexedActionOf(int32_t kind) {
    switch (kind) {
        case ObjectKindCounter: return 32;
        case ObjectKindGameUI: return 33;
        case ObjectKindInventory: return 34;
        case ObjectKindGameMap: return 35;
        default: return 0;
    }
}

int32_t CurrentKind = 0;
const IdMap* CurrentMap = nullptr;

void RemapOwner(NztEventObject* owner) {
    const int32_t kind = CurrentKind;
    const IdMap& map = *CurrentMap;
    const int32_t indexed = IndexedActionOf(kind);
    for (int32_t i = owner->eventRecordCount; i-- > 0;) {
        EventRecord& r = owner->eventRecords[i];
        // Game maps are named by no id/kind pair.
        if (kind != ObjectKindGameMap) {
            if (r.CondKind == kind && r.CondIndex != -1) r.CondIndex = map.Translate(r.CondIndex);
            if (r.TargetKind == kind) r.TargetId = map.Translate(r.TargetId);
            if (r.Target2Kind == kind) r.Target2Id = map.Translate(r.Target2Id);
        }
        if (kind == ObjectKindGameUI && r.Action == 17 && r.Param != 0) r.Param = map.Translate(r.Param - 1) + 1;
        if (indexed != 0 && r.Action == indexed) {
            r.Param = map.Translate(r.Param);
            // An action on an object that is gone has nothing left to do.
            if (r.Param == -1) owner->RemoveEventRecord(i);
        }
    }
}

void RemapKind(int32_t kind) {
    IdMap map;
    const int32_t count = EventKindCount(kind);
    if (kind == ObjectKindEntity) {
        // The player is 0 and the other characters follow in list order, as a scene file gives
        // them back (its characters chunk skips the player), wherever the player stands in the list.
        map.old.push_back(PlayerEntity != nullptr ? PlayerEntity->id : INT32_MIN);
        if (PlayerEntity != nullptr) PlayerEntity->id = 0;
        for (int32_t i = 0; i < count; ++i) {
            NztEventObject* object = GetObjectByKind(kind, i);
            if (object == PlayerEntity && object != nullptr) continue;
            map.old.push_back(object != nullptr ? object->id : -1);
            if (object != nullptr) object->id = static_cast<int32_t>(map.old.size()) - 1;
        }
    } else {
        for (int32_t i = 0; i < count; ++i) {
            NztEventObject* object = GetObjectByKind(kind, i);
            map.old.push_back(object != nullptr ? object->id : -1);
            if (object != nullptr) object->id = i;
        }
    }
    CurrentKind = kind;
    CurrentMap = &map;
    ForEachEventOwner(RemapOwner);
    CurrentMap = nullptr;
}

}  // namespace

void RemapAllObjectLinks() {
    for (int32_t kind : {ObjectKindScn, ObjectKindEntity, ObjectKindGameLight, ObjectKindTrigger, ObjectKindCounter,
                         ObjectKindGameUI, ObjectKindInventory, ObjectKindGameMap})
        RemapKind(kind);
}
