// Event records in scenes: handed to every owner kind, written back, upgraded from older files, and
// the object references renumbered before saving; user event files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/binio.h"
#include "scene_fixture.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

bool Parse(const std::vector<uint8_t>& bytes, SceneData* out) {
    BinReader in(bytes.data(), bytes.size());
    return ParseScene(in, "test.Scn", out);
}

datakit::EventRecordSpec Spec(int32_t event, int32_t action) {
    datakit::EventRecordSpec r;
    r.event = event;
    r.action = action;
    return r;
}

class SceneEvents : public SceneWorld {};

TEST_F(SceneEvents, EveryOwnerGetsItsRecordsWithTheFiringArgumentsCleared) {
    datakit::SceneSpec s;
    datakit::EventRecordSpec r = Spec(129, ActionFadeMusic);
    r.args[0] = 77;
    r.args[1] = 78;
    r.value1 = 0.5f;
    r.text = "hello";
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    crate.events = {Event(r), Event(r)};
    s.objects = {crate};
    datakit::SceneCharacterSpec guard;
    guard.type = "Hero";
    guard.events = {Event(r)};
    s.characters = {guard};
    s.player.events = {Event(r)};
    s.globalEvents = {Event(r), Event(r), Event(r)};
    s.triggers = {datakit::SceneTriggerSpec{"Door", {1, 2, 3}, {10, 20, 30}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 0, {Event(r)}}};
    datakit::SceneCounterSpec counter;
    counter.events = {Event(r)};
    s.counters = {counter};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Events.Scn"));

    struct Owner {
        const char* what;
        NztEventObject* object;
        int32_t count;
    } owners[] = {{"global", &GameEventObject, 3},
                  {"scene object", ScnObjectList[0], 2},
                  {"player", PlayerEntity, 1},
                  {"character", EntityCount > 1 ? EntityList[1] : nullptr, 1},
                  {"trigger", EventTriggerCount > 0 ? EventTriggerList[0] : nullptr, 1},
                  {"counter", CounterCount > 0 ? CounterList[0] : nullptr, 1}};
    for (const Owner& o : owners) {
        SCOPED_TRACE(o.what);
        ASSERT_NE(o.object, nullptr);
        ASSERT_EQ(o.object->eventRecordCount, o.count);
        const EventRecord& e = o.object->eventRecords[0];
        EXPECT_EQ(e.Arg0 | e.Arg1 | e.Arg2, 0u);
        EXPECT_EQ(e.Action, ActionFadeMusic);
        EXPECT_STREQ(e.Text, "hello");
    }
    // The trigger: its box, and out of the world for its active word 0.
    EXPECT_STREQ(EventTriggerList[0]->name, "Door");
    EXPECT_EQ(EventTriggerList[0]->extents[1], 20.0f);
    EXPECT_EQ(EventTriggerList[0]->registered, 0);
    EXPECT_EQ(EntityList[1]->id, 1);

    // Written back: the same records, the same trigger.
    const std::string save = folder + "USER/Events.Scn";
    SaveScene(save.c_str(), 1, 1, 1, 1);
    SceneData saved;
    ASSERT_TRUE(Parse(ReadAll(save), &saved));
    EXPECT_EQ(saved.globalEvents.count, 3u);
    EXPECT_EQ(saved.scnObjects[0].events.count, 2u);
    EXPECT_EQ(saved.player.events.count, 1u);
    ASSERT_EQ(saved.characters.size(), 1u);
    EXPECT_EQ(saved.characters[0].events.count, 1u);
    ASSERT_EQ(saved.triggers.size(), 1u);
    EXPECT_EQ(saved.triggers[0].active, 0u);
    EXPECT_EQ(saved.triggers[0].events.count, 1u);
    EXPECT_EQ(saved.counters[0].events.count, 1u);
    datakit::EventRecordSpec cleared = r;
    cleared.args[0] = cleared.args[1] = 0;
    EXPECT_EQ(saved.scnObjects[0].events.bytes, datakit::MakeEventRecords({cleared, cleared}));
}

TEST_F(SceneEvents, OlderFilesAreReadInTheirLayoutAndUpgradedForTheirOwner) {
    // A 10251 counter record of action 32 with second integer 20 leaves the upgrade with 11, and
    // takes the counter's value as its missing minimum; under the global object the minimum is 0.
    datakit::SceneSpec s;
    s.version = 10251;
    datakit::EventRecordSpec r = Spec(10, 32);
    r.param2 = 20;
    r.min = 5.0f;
    datakit::SceneCounterSpec counter;
    counter.record.value = 12.5f;
    counter.record.doubledWord = true;
    counter.events = {Event(r, 10251)};
    s.counters = {counter};
    s.globalEvents = {Event(r, 10251)};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Old.Scn"));
    ASSERT_EQ(CounterCount, 1);
    ASSERT_EQ(CounterList[0]->eventRecordCount, 1);
    EXPECT_EQ(CounterList[0]->eventRecords[0].Param2, 11);
    EXPECT_EQ(CounterList[0]->eventRecords[0].Min, 12.5f);
    ASSERT_EQ(GameEventObject.eventRecordCount, 1);
    EXPECT_EQ(GameEventObject.eventRecords[0].Min, 0.0f);
    EXPECT_EQ(SceneFileVersion, 10251u);
}

// Game interfaces and inventories of an older file take their records in today's layout and write
// them back.
TEST_F(SceneEvents, InterfaceObjectsOfOlderFilesKeepTheirRecords) {
    datakit::SceneSpec s;
    s.version = 10250;
    datakit::SceneGameUISpec ui;
    ui.events = {Event(Spec(27, 33), 10250)};
    s.gameUIs = {ui};
    datakit::SceneInventorySpec bag;
    bag.events = {Event(Spec(3, ActionFadeMusic), 10250), Event(Spec(4, ActionFadeMusic), 10250)};
    s.inventories = {bag};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Kept.Scn"));
    ASSERT_EQ(GameUICount, 1);
    ASSERT_EQ(GameUIList[0]->eventRecordCount, 1);
    ASSERT_EQ(InventoryCount, 1);
    EXPECT_EQ(InventoryList[0]->eventRecordCount, 2);
    const std::string save = folder + "USER/Kept.Scn";
    SaveScene(save.c_str(), 1, 1, 1, 1);
    SceneData saved;
    ASSERT_TRUE(Parse(ReadAll(save), &saved));
    ASSERT_EQ(saved.gameUIs.size(), 1u);
    EXPECT_EQ(saved.gameUIs[0].events.count, 1u);
    EXPECT_EQ(saved.gameUIs[0].events.recordBytes, 948u);
    ASSERT_EQ(saved.inventories.size(), 1u);
    EXPECT_EQ(saved.inventories[0].events.count, 2u);
}

TEST_F(SceneEvents, OldAnimationNamesLoseTheSetNameWithoutReadingBeforeTheirStart) {
    datakit::SceneSpec s;
    s.version = 10254;
    datakit::SceneCharacterSpec guard;
    guard.type = "Hero";
    s.characters = {guard};
    auto named = [](int32_t action, const char* name, const char* text) {
        datakit::EventRecordSpec r = Spec(1, action);
        r.targetKind = ObjectKindEntity;
        r.targetId = 1;
        r.paramName = name;
        r.text = text;
        return Event(r, 10254);
    };
    s.globalEvents = {named(44, "HeroMoveWalk", "HeroKeep"), named(45, "He", "HeroJump"), named(46, "Hero", "H")};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Anims.Scn"));
    ASSERT_EQ(EntityCount, 2u);
    ASSERT_EQ(EntityList[1]->mesh->AnimSetNameLength, 4u);
    ASSERT_EQ(GameEventObject.eventRecordCount, 3);
    const EventRecord* e = GameEventObject.eventRecords;
    EXPECT_STREQ(e[0].ParamName, "MoveWalk");
    EXPECT_STREQ(e[0].Text, "HeroKeep");  // action 44 keeps its text
    EXPECT_STREQ(e[1].ParamName, "");
    EXPECT_STREQ(e[1].Text, "Jump");
    EXPECT_STREQ(e[2].ParamName, "Hero");  // action 46 keeps its name
    EXPECT_STREQ(e[2].Text, "");
}

// References follow the objects when the lists are renumbered before a save.
TEST_F(SceneEvents, SavingRenumbersTheListsAndTranslatesTheReferences) {
    datakit::SceneSpec s;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    s.objects = {crate, crate, crate};
    s.gameLights = {datakit::GameLightSpec{}, datakit::GameLightSpec{}};
    s.counters = {datakit::SceneCounterSpec{}, datakit::SceneCounterSpec{}};
    datakit::EventRecordSpec onObject = Spec(1, ActionFadeMusic);
    onObject.targetKind = ObjectKindScn;
    onObject.targetId = 2;
    onObject.target2Kind = ObjectKindScn;
    onObject.target2Id = 0;
    onObject.condKind = ObjectKindScn;
    onObject.condIndex = -1;
    datakit::EventRecordSpec onLight = Spec(1, ActionSetLight);
    onLight.targetKind = ObjectKindGameLight;
    onLight.targetId = 1;
    datakit::EventRecordSpec onCounter = Spec(1, 32);
    onCounter.param = 1;
    s.globalEvents = {Event(onObject), Event(onLight), Event(onCounter)};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Links.Scn"));

    // The first crate goes, the second game light and counter lose their ids (as destroyed ones).
    RemoveScnObject(ScnObjectList[0]);
    GameLightList[1]->id = 40;
    CounterList[1]->id = 41;
    RemapAllObjectLinks();
    ASSERT_EQ(GameEventObject.eventRecordCount, 2);  // the counter action has nothing left to do
    const EventRecord& a = GameEventObject.eventRecords[0];
    EXPECT_EQ(a.TargetId, 1);    // crate 2 is now crate 1
    EXPECT_EQ(a.Target2Id, -1);  // crate 0 is gone
    EXPECT_EQ(a.CondIndex, -1);  // no condition stays none
    const EventRecord& b = GameEventObject.eventRecords[1];
    EXPECT_EQ(b.TargetId, -1);
    EXPECT_EQ(b.TargetKind, ObjectKindGameLight);
    EXPECT_EQ(ScnObjectList[1]->id, 1);
    EXPECT_EQ(GameLightList[1]->id, 1);
}

// The interface objects are named by their index in the record's Param: actions 33, 34 and 35 by
// the index of a game interface, an inventory and a game map, action 17 by a one-based interface
// number. Renumbering follows each object to its new index; an action on an object that is gone
// is dropped, and an interface number that is gone becomes 0 (none).
TEST_F(SceneEvents, InterfaceActionsFollowTheirObjectsWhenRenumbered) {
    datakit::SceneSpec s;
    for (const char* name : {"A", "B", "C"}) {
        GameUIRecord record;
        std::strcpy(record.name, name);
        datakit::SceneGameUISpec ui;
        ui.record = datakit::MakeGameUIRecord(record);
        s.gameUIs.push_back(ui);
    }
    for (const char* name : {"Bag", "Chest"}) {
        InventoryRecord record;
        std::strcpy(record.name, name);
        datakit::SceneInventorySpec inv;
        inv.record = datakit::MakeInventoryRecord(record, {}, false);
        s.inventories.push_back(inv);
    }
    for (const char* name : {"North", "South"}) {
        GameMapRecord record;
        std::strcpy(record.name, name);
        s.gameMaps.push_back(datakit::MakeGameMapRecord(record));
    }
    struct Case {
        int32_t action;
        int32_t param;
        int32_t expected;  // -1: the record is dropped
    } cases[] = {
        {17, 3, 1}, {17, 0, 0}, {17, 1, 0},  // interface numbers: 3 is now 1, 0 stays none, 1 is gone
        {33, 3, 1}, {33, 0, -1},             // interface indices
        {34, 1, 0}, {34, 40, -1},            // inventory indices
        {35, 1, 1}, {35, 5, 0},              // game map indices
    };
    for (const Case& c : cases) {
        datakit::EventRecordSpec r = Spec(1, c.action);
        r.param = c.param;
        s.globalEvents.push_back(Event(r));
    }
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Interfaces.Scn"));
    ASSERT_EQ(GameUICount, 3);
    ASSERT_EQ(InventoryCount, 2);
    ASSERT_EQ(GameMapCount, 2);
    // As after earlier removals: the objects keep the ids they had at their old places.
    GameUIList[0]->id = 2;
    GameUIList[1]->id = 3;
    GameUIList[2]->id = 40;
    InventoryList[0]->id = 1;
    InventoryList[1]->id = 41;
    GameMapList[0]->id = 5;
    GameMapList[1]->id = 1;
    RemapAllObjectLinks();
    std::vector<int32_t> expected, got;
    for (const Case& c : cases)
        if (c.expected != -1) expected.push_back(c.expected);
    for (int32_t i = 0; i < GameEventObject.eventRecordCount; ++i) got.push_back(GameEventObject.eventRecords[i].Param);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(GameUIList[2]->id, 2);
    EXPECT_EQ(GameMapList[1]->id, 1);
}

TEST_F(SceneEvents, DestroyingAnObjectRenumbersEveryReference) {
    datakit::SceneSpec s;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    s.objects = {crate, crate};
    datakit::EventRecordSpec r = Spec(1, ActionFadeMusic);
    r.targetKind = ObjectKindScn;
    r.targetId = 1;
    s.globalEvents = {Event(r)};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Destroy.Scn"));
    ScnObjectList[0]->destroyWhenDeactivated = 1;
    DeactivateObject(ScnObjectList[0]);
    ASSERT_EQ(ScnObjectCount, 1u);
    EXPECT_EQ(ScnObjectList[0]->id, 0);
    EXPECT_EQ(GameEventObject.eventRecords[0].TargetId, 0);
}

// Mode 0 of the pointer scan runs a hit record's action and tells the object it hit (event 37)
// once; a stop record ends the scan where it stands, with nothing sent for it.
TEST_F(SceneEvents, PointerScanRunsHitRecordsAndAStopRecordEndsIt) {
    datakit::SceneSpec s;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    datakit::SceneObjectSpec target = crate;
    datakit::EventRecordSpec told = Spec(37, ActionShakeCamera);
    told.value1 = 5.0f;
    told.value2 = 1.0f;
    target.events = {Event(told)};
    s.objects = {crate, target};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Pointer.Scn"));
    NztScnObject* item = ScnObjectList[0];
    EventPointerHitTest = [](NztEventObject*) -> int32_t { return 1; };
    struct Case {
        const char* name;
        int32_t action;
        int32_t param;
        float shakeAfter;
    } cases[] = {
        {"a stop record", ActionSystemCommand, 0, 0.0f},
        {"a plain record", ActionSetCameraHeight, 0, 5.0f},
    };
    for (const Case& c : cases) {
        item->ClearEvents();
        item->pointedObject = 0;
        datakit::EventRecordSpec pointer = Spec(36, c.action);
        pointer.param = c.param;
        pointer.condKind = ObjectKindScn;
        pointer.condIndex = 1;  // the target, as the level names it
        pointer.value1 = 2.0f;
        std::vector<EventRecord> records;
        ASSERT_TRUE(ParseEventRecords(Event(pointer).data(), 948, 10262, 1, ObjectKindScn, 0.0f, records, nullptr, 1));
        item->AddEventRecord(&records[0]);
        CameraState.shakeTime = 0.0f;
        EXPECT_EQ(item->ProcessPointerEvents(0), 1u) << c.name;
        EXPECT_EQ(CameraState.shakeTime, c.shakeAfter) << c.name;
        CameraState.shakeTime = 0.0f;
        item->ProcessPointerEvents(0);  // the same object again: not told twice
        EXPECT_EQ(CameraState.shakeTime, 0.0f) << c.name;
    }
    EXPECT_FLOAT_EQ(CameraState.eyeHeightOffset, 20.0f) << "the plain record's action ran";
    EventPointerHitTest = nullptr;
}

// ---- User event files ------------------------------------------------------------------------

class UserEventFiles : public SceneWorld {
protected:
    std::string Path(const char* name) { return folder + "USER/" + name + ".evt"; }
};

TEST_F(UserEventFiles, OwnerAndPlayerTravelAsPlaceholders) {
    datakit::SceneSpec s;
    s.counters = {datakit::SceneCounterSpec{}, datakit::SceneCounterSpec{}};
    s.counters[0].record.name = "Gold";
    s.counters[1].record.name = "Silver";
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Evt.Scn"));
    NztCounter* gold = CounterList[0];
    NztCounter* silver = CounterList[1];
    EventRecord self = BlankEventRecord();
    self.Action = 32;
    self.Param = 0;  // the owner itself
    self.TargetKind = ObjectKindEntity;
    self.TargetId = 0;  // the player, as every file names it
    self.Arg0 = 55;
    gold->AddEventRecord(&self);
    ASSERT_EQ(SaveUserEvents(Path("Gold").c_str(), gold), 1);

    const std::vector<uint8_t> bytes = ReadAll(Path("Gold"));
    ASSERT_EQ(bytes.size(), 8u + 948u);
    BinReader in(bytes.data(), bytes.size());
    EXPECT_EQ(in.U32(), 10262u);
    EXPECT_EQ(in.U32(), 1u);
    in.Skip(60);
    EXPECT_EQ(in.I32(), -3);  // the player
    EXPECT_EQ(in.I32(), -3);
    in.Skip(20);
    EXPECT_EQ(in.I32(), -2);  // the owner's index
    EXPECT_EQ(gold->eventRecords[0].Param, 0);  // the live record is untouched

    ASSERT_EQ(LoadUserEvents(Path("Gold").c_str(), silver), 1);
    ASSERT_EQ(silver->eventRecordCount, 1);
    const EventRecord& got = silver->eventRecords[0];
    EXPECT_EQ(got.Param, silver->id);
    EXPECT_STREQ(got.ParamName, "Silver");
    EXPECT_EQ(got.TargetKind, ObjectKindEntity);
    EXPECT_EQ(got.TargetId, PlayerEntity->id);
    EXPECT_EQ(got.Arg0, 0u);
}

// A record that works on its own owner (as its condition, target and second object) is stored with
// the owner placeholder -2 in both words of each pair, and loaded into another object it works on
// that object, not on the one that saved it.
TEST_F(UserEventFiles, ReferencesToTheOwnerTravelAsTheOwnerPlaceholder) {
    datakit::SceneSpec s;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    s.objects = {crate, crate};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Self.Scn"));
    NztScnObject* saver = FindScnObjectById(1);
    NztScnObject* loader = FindScnObjectById(0);
    ASSERT_NE(saver, nullptr);
    ASSERT_NE(loader, nullptr);
    EventRecord self = BlankEventRecord();
    self.Action = ActionFadeMusic;
    self.CondIndex = self.TargetId = self.Target2Id = 1;
    self.CondKind = self.TargetKind = self.Target2Kind = ObjectKindScn;
    saver->AddEventRecord(&self);
    ASSERT_EQ(SaveUserEvents(Path("Self").c_str(), saver), 1);

    const std::vector<uint8_t> bytes = ReadAll(Path("Self"));
    ASSERT_EQ(bytes.size(), 8u + 948u);
    for (size_t offset : {32u, 36u, 60u, 64u, 68u, 72u}) {
        BinReader in(bytes.data() + 8 + offset, 4);
        EXPECT_EQ(in.I32(), -2) << "offset " << offset;
    }

    ASSERT_EQ(LoadUserEvents(Path("Self").c_str(), loader), 1);
    ASSERT_EQ(loader->eventRecordCount, 1);
    const EventRecord& got = loader->eventRecords[0];
    const int32_t pairs[3][2] = {{got.CondIndex, got.CondKind}, {got.TargetId, got.TargetKind},
                                 {got.Target2Id, got.Target2Kind}};
    for (const auto& pair : pairs) {
        EXPECT_EQ(pair[0], loader->id);
        EXPECT_EQ(pair[1], ObjectKindScn);
    }
}

TEST_F(UserEventFiles, NothingToSaveKeepsTheOldFileAndBadFilesAreRefused) {
    NztEventObject empty;
    ASSERT_TRUE(datakit::WriteFileBytes(Path("Old"), {1, 2, 3}));
    EXPECT_EQ(SaveUserEvents(Path("Old").c_str(), &empty), 0);
    EXPECT_EQ(ReadAll(Path("Old")).size(), 3u);

    datakit::EventRecordSpec r = Spec(3, 32);
    r.param2 = 9;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int32_t result;
        int32_t records;
    } cases[] = {
        {"10250, upgraded", datakit::MakeUserEventFile(10250, {Event(r, 10250)}), 1, 1},
        {"10262", datakit::MakeUserEventFile(10262, {Event(r), Event(r)}), 1, 2},
        {"version 10263", datakit::MakeUserEventFile(10263, {Event(r)}), 0, 0},
        {"version 10247", datakit::MakeUserEventFile(10247, {Event(r, 10248)}), 0, 0},
        {"count past the end", datakit::MakeUserEventFile(10262, {Event(r)}, 2), 0, 0},
        {"huge count", datakit::MakeUserEventFile(10262, {}, 0xFFFFFFFFu), 0, 0},
        {"no count", {0x16, 0x28, 0, 0}, 0, 0},
        {"empty", {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NztEventObject owner;
        owner.kind = ObjectKindScn;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ReadUserEvents(c.bytes.data(), c.bytes.size(), "test.evt", &owner), c.result);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(owner.eventRecordCount, c.records);
    }
    // The 10250 record went through the upgrade: action 32 with 9 is disabled.
    NztEventObject owner;
    const auto old = datakit::MakeUserEventFile(10250, {Event(r, 10250)});
    ASSERT_EQ(ReadUserEvents(old.data(), old.size(), "old.evt", &owner), 1);
    EXPECT_EQ(owner.eventRecords[0].Action, 0);
}

}  // namespace
