// Scene files: the byte layout read and written back, loading into the world and saving it again,
// older versions, snapshots, and malformed files refused with the running world kept.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "collision/collide.h"
#include "core/binio.h"
#include "game/level.h"
#include "scene_fixture.h"
#include "world/framepass.h"

namespace {

std::vector<uint8_t> Bytes(const SceneData& s) {
    std::vector<uint8_t> out;
    BinWriter w(out);
    WriteSceneData(w, s);
    return out;
}

bool Parse(const std::vector<uint8_t>& bytes, SceneData* out) {
    BinReader in(bytes.data(), bytes.size());
    return ParseScene(in, "test.Scn", out);
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

datakit::EventBytes EventRecord948(uint8_t fill) { return datakit::EventBytes(948, fill); }

TEST(SceneBytes, AWholeSceneIsWrittenBackByteForByte) {
    datakit::SceneSpec spec;
    datakit::SceneObjectSpec o;
    o.model = "Crate";
    o.anim = {1, 12, 3, -1, 7, "MoveWalk", ""};
    o.events = {EventRecord948(1), EventRecord948(2)};
    o.properties = {{"A", 1, 2.0f}};
    spec.objects = {o, o};
    datakit::SceneCharacterSpec c;
    c.type = "Hero";
    c.anim = {1, 2, 0, 1, 3, "HeroMoveStatic01", "HeroMoveWalk"};
    c.lists.first = {1, 2, 3};
    c.lists.bones = {std::array<uint8_t, 16>{1, 2, 3}};
    c.record[10] = 0x5A;
    spec.characters = {c};
    spec.player.lists.first = {9};
    spec.player.events = {EventRecord948(3)};
    spec.tracks = {"One"};
    spec.gameLights = {datakit::GameLightSpec{}};
    spec.triggers = {datakit::SceneTriggerSpec{"Door", {1, 2, 3}, {4, 5, 6}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 0, {EventRecord948(4)}}};
    spec.counters = {datakit::SceneCounterSpec{}};
    spec.gameUIs = {datakit::SceneGameUISpec{}};
    spec.inventories = {datakit::SceneInventorySpec{}};
    spec.inventories[0].items = {{3, 5}, {0, 0}};
    spec.gameMaps = {std::vector<uint8_t>(356, 1)};
    spec.zones = {datakit::EnvZoneRecord{}};
    spec.globalEvents = {EventRecord948(5)};
    spec.ropes = {datakit::RopeRecord{}};
    const std::vector<uint8_t> bytes = datakit::MakeScene(spec);
    SceneData parsed;
    ASSERT_TRUE(Parse(bytes, &parsed));
    EXPECT_EQ(parsed.scnObjects.size(), 2u);
    EXPECT_EQ(parsed.scnObjects[1].events.count, 2u);
    EXPECT_EQ(parsed.characters[0].lists.first.size(), 3u);
    EXPECT_EQ(parsed.inventories[0].items[0][1], 5);
    EXPECT_EQ(Bytes(parsed), bytes);
}

TEST(SceneBytes, SnapshotsLeaveOutTheSkyMusicAndPanelChunks) {
    datakit::SceneSpec spec;
    spec.skyNames.reset();
    spec.sky.reset();
    spec.playlistName.reset();
    spec.panel.reset();
    SceneData parsed;
    ASSERT_TRUE(Parse(datakit::MakeScene(spec), &parsed));
    EXPECT_EQ(parsed.hasSkyNames | parsed.hasSkySettings | parsed.hasPlaylist | parsed.hasPanel, 0u);
    EXPECT_EQ(Bytes(parsed), datakit::MakeScene(spec));
}

TEST(SceneBytes, OlderVersionsReadTheirOwnLayouts) {
    for (uint32_t version = 10248; version <= 10262; ++version) {
        SCOPED_TRACE(version);
        datakit::SceneSpec spec;
        spec.version = version;
        const datakit::EventBytes record(datakit::SceneEventRecordBytes(version), 0);
        datakit::SceneObjectSpec o;
        o.model = "Crate";
        o.events = {record, record};
        spec.objects = {o};
        spec.globalEvents = {record};
        datakit::SceneCounterSpec counter;
        counter.record.value = 17.0f;
        counter.record.name = "Lives";
        counter.record.doubledWord = version < 10252;
        spec.counters = {counter};
        SceneData parsed;
        ASSERT_TRUE(Parse(datakit::MakeScene(spec), &parsed));
        EXPECT_EQ(parsed.version, version);
        EXPECT_EQ(parsed.scnObjects[0].events.recordBytes, record.size());
        EXPECT_EQ(parsed.scnObjects[0].events.count, 2u);
        // The second of an old counter's two words is its value; the name follows in step.
        EXPECT_EQ(parsed.counters[0].record.value, 17.0f);
        EXPECT_STREQ(parsed.counters[0].record.name, "Lives");
        EXPECT_EQ(parsed.globalEvents.count, 1u);
    }
}

// Every malformed source is refused whole, with one line naming the file and the chunk.
TEST(SceneBytes, MalformedScenesAreRefusedNamingTheChunk) {
    datakit::SceneSpec full;
    datakit::SceneObjectSpec o;
    o.model = "Crate";
    full.objects = {o};
    datakit::SceneCharacterSpec c;
    c.type = "Hero";
    full.characters = {c};
    full.tracks = {"T"};
    full.gameLights = {datakit::GameLightSpec{}};
    full.counters = {datakit::SceneCounterSpec{}};
    full.zones = {datakit::EnvZoneRecord{}};
    full.ropes = {datakit::RopeRecord{}};
    datakit::SceneChunkOffsets offsets;
    const std::vector<uint8_t> bytes = datakit::MakeScene(full, &offsets);
    ASSERT_TRUE([&] { SceneData s; return Parse(bytes, &s); }());

    struct Case {
        std::string what;
        std::vector<uint8_t> bytes;
        std::string chunk;
    };
    std::vector<Case> cases;
    // Cut inside every chunk: one byte past its start and one byte before its end.
    for (size_t i = 0; i + 1 < offsets.chunks.size(); ++i) {
        const auto& [chunk, start] = offsets.chunks[i];
        const size_t end = offsets.chunks[i + 1].second;
        for (size_t cut : {start + 1, end - 1})
            if (cut < bytes.size() && cut > start)
                cases.push_back({"cut at " + std::to_string(cut), {bytes.begin(), bytes.begin() + static_cast<long>(cut)}, chunk});
    }
    auto with = [&](auto change, const char* what, const char* chunk) {
        datakit::SceneSpec s = full;
        change(s);
        cases.push_back({what, datakit::MakeScene(s), chunk});
    };
    with([](datakit::SceneSpec& s) { s.version = 10247; }, "version 10247", "header");
    with([](datakit::SceneSpec& s) { s.version = 10263; }, "version 10263", "header");
    with([](datakit::SceneSpec& s) { s.declaredObjectCount = 0xFFFFFFFFu; }, "huge object count", "scene objects");
    with([](datakit::SceneSpec& s) { s.declaredCharacterCount = 1000000; }, "huge character count", "characters");
    with([](datakit::SceneSpec& s) { s.declaredTrackCount = 0x40000000; }, "huge track count", "music play-list");
    with([](datakit::SceneSpec& s) { s.player.lists.declaredBones = 0x10000000; }, "huge bone count", "player");
    with([](datakit::SceneSpec& s) { s.characters[0].lists.declaredFirst = 0x7FFFFFFF; }, "huge list", "characters");
    // An event count that claims one record more than the object holds runs into the next object.
    with([](datakit::SceneSpec& s) { s.objects[0].events = {datakit::EventBytes(947, 0)}; }, "short event record",
         "characters");
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ::testing::internal::CaptureStderr();
        SceneData s;
        EXPECT_FALSE(Parse(k.bytes, &s));
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("scene: test.Scn: " + k.chunk + " chunk"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

TEST_F(SceneWorld, LoadingBuildsTheWorldAndSavingWritesItBack) {
    const datakit::SceneSpec spec = FullSpec();
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(spec), folder + "SCN/Full.Scn"));

    ASSERT_EQ(ScnObjectCount, 2u);
    EXPECT_EQ(ScnObjectList[1]->id, 1);
    EXPECT_FLOAT_EQ(ScnObjectList[1]->Position[0], 12.0f);
    EXPECT_EQ(ScnObjectList[1]->word1, 1);
    EXPECT_EQ(ScnObjectList[1]->poseState, 2);
    ASSERT_NE(ScnObjectList[1]->GetUserProperty(0), nullptr);
    EXPECT_FLOAT_EQ(ScnObjectList[1]->GetUserProperty(0)->floatValue, 7.25f);
    EXPECT_FLOAT_EQ(ScnObjectList[0]->depthBias, 1.5f);
    EXPECT_FLOAT_EQ(PlayerEntity->Position[2], 6.0f);
    EXPECT_EQ(PlayerEntity->id, 0);
    ASSERT_EQ(GameLightCount, 1u);
    EXPECT_STREQ(GameLightList[0]->name, "Lamp");
    ASSERT_EQ(CounterCount, 1);
    EXPECT_STREQ(CounterList[0]->name, "Score");
    EXPECT_EQ(CameraMode, 3);
    EXPECT_FLOAT_EQ(MainCamera.eye.y, 20.0f);
    EXPECT_FLOAT_EQ(TimeOfDay, 200.0f);
    EXPECT_EQ(SceneFogSwitch, 1u);
    EXPECT_FLOAT_EQ(SkyColorKeys[3][0], 0.9f);
    ASSERT_NE(CurrentPlaylist, nullptr);
    EXPECT_EQ(CurrentPlaylist->tracks.size(), 2u);
    ASSERT_EQ(EnvironmentZoneCount, 1);
    EXPECT_EQ(EnvironmentZones[0].words[4], 0xABCDu);
    EXPECT_EQ(ZonesEnabled, 1);
    EXPECT_EQ(RopeLinkCount, 1u);
    ASSERT_EQ(GameUICount, 1);
    ASSERT_EQ(InventoryCount, 1);
    ASSERT_EQ(GameMapCount, 1);
    EXPECT_EQ(InventoryList[0]->SlotOf(ScnObjectList[1]), 0);  // the crate went into the bag
    ASSERT_EQ(EntityCount, 2u);
    EXPECT_EQ(EntityList[1]->id, 1);
    EXPECT_STREQ(EntityList[1]->name, "Guard");
    EXPECT_EQ(EntityList[1]->maxLife, 80.0f);
    EXPECT_EQ(EntityList[1]->speedFactor, 0.5f);
    EXPECT_EQ(PlayerEntity->reserve, 150.0f);
    EXPECT_EQ(PlayerEntity->life, 40.0f);

    // Saved and read back: the parsed scene of the save equals that of the level, but for what the
    // world recomputes (the file's spare words are written as 1 and 0 either way).
    const std::string save = folder + "USER/Slot.Scn";
    EXPECT_EQ(SaveScene(save.c_str(), 1, 1, 1, 1), nullptr);
    SceneData level, saved;
    ASSERT_TRUE(Parse(datakit::MakeScene(spec), &level));
    ASSERT_TRUE(Parse(ReadAll(save), &saved));
    ASSERT_EQ(saved.scnObjects.size(), 2u);
    EXPECT_STREQ(saved.scnObjects[1].model, "Crate");
    EXPECT_EQ(std::memcmp(saved.scnObjects[1].place.position, level.scnObjects[1].place.position, 12), 0);
    EXPECT_EQ(saved.scnObjects[1].properties.size(), 2u);
    EXPECT_EQ(saved.scnObjects[0].params[0], 1.5f);
    EXPECT_EQ(saved.camera.mode, 3u);
    EXPECT_EQ(std::memcmp(saved.sky.colours, level.sky.colours, sizeof level.sky.colours), 0);
    EXPECT_NEAR(saved.sky.sunTilt, level.sky.sunTilt, 1e-4);
    EXPECT_NEAR(saved.sky.midSpeed, level.sky.midSpeed, 1e-5);
    EXPECT_EQ(saved.tracks.size(), 2u);
    ASSERT_EQ(saved.characters.size(), 1u);
    EXPECT_STREQ(saved.characters[0].type, "Hero");
    EXPECT_EQ(saved.characters[0].record, level.characters[0].record);
    EXPECT_EQ(saved.characters[0].speedFactor, 0.5f);
    EXPECT_EQ(saved.player.reserve, 150.0f);
    EXPECT_STREQ(saved.gameLights[0].name, "Lamp");
    EXPECT_EQ(saved.counters[0].record.value, 42.0f);
    EXPECT_EQ(saved.gameUIs[0].record, level.gameUIs[0].record);
    EXPECT_EQ(saved.inventories[0].record, level.inventories[0].record);
    EXPECT_EQ(saved.inventories[0].items, level.inventories[0].items);
    EXPECT_EQ(saved.gameMaps, level.gameMaps);
    EXPECT_STREQ(saved.panel.imageName, "Back");
    EXPECT_EQ(std::memcmp(&saved.zones[0], &level.zones[0], sizeof(EnvironmentZone)), 0);
    EXPECT_EQ(saved.ropes, level.ropes);
    EXPECT_EQ(saved.settingsImages, level.settingsImages);

    // A save of the loaded save is byte-for-byte the same file.
    ASSERT_EQ(LoadScene(save.c_str(), 0, nullptr), 1);
    const std::string again = folder + "USER/Again.Scn";
    SaveScene(again.c_str(), 1, 1, 1, 1);
    EXPECT_EQ(ReadAll(again), ReadAll(save));
}

TEST_F(SceneWorld, LevelsComeFromTheSceneFolderByName) {
    ASSERT_TRUE(datakit::WriteScene(folder + "SCN/Named.Scn", FullSpec()));
    ClearPathCache();
    EXPECT_EQ(LoadScene("Named", 1, nullptr), 1);
    EXPECT_EQ(ScnObjectCount, 2u);
    EXPECT_EQ(LoadScene("Missing", 1, nullptr), 0);
    EXPECT_EQ(ScnObjectCount, 2u);
}

TEST_F(SceneWorld, ASnapshotCarriesItsLengthAndRestoresTheObjects) {
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(FullSpec()), folder + "SCN/Full.Scn"));
    void* snapshot = SaveScene(nullptr, 0, 0, 0, 0);
    ASSERT_NE(snapshot, nullptr);
    SceneData parsed;
    const uint64_t length = SceneSnapshotBytes(snapshot);
    const std::vector<uint8_t> bytes(static_cast<uint8_t*>(snapshot) + 8, static_cast<uint8_t*>(snapshot) + 8 + length);
    ASSERT_TRUE(Parse(bytes, &parsed));
    EXPECT_EQ(parsed.hasSkyNames | parsed.hasSkySettings | parsed.hasPlaylist | parsed.hasPanel, 0u);

    // The world moves on; the snapshot brings the objects back and keeps the sky and music.
    ScnObjectList[1]->Position[0] = 99.0f;
    RemoveScnObject(ScnObjectList[0]);
    TimeOfDay = 50.0f;
    ASSERT_EQ(LoadScene(nullptr, 0, snapshot), 1);
    std::free(snapshot);
    ASSERT_EQ(ScnObjectCount, 2u);
    EXPECT_FLOAT_EQ(ScnObjectList[1]->Position[0], 12.0f);
    EXPECT_FLOAT_EQ(TimeOfDay, 50.0f);
    EXPECT_EQ(CurrentPlaylist->tracks.size(), 2u);
}

TEST_F(SceneWorld, ARefusedFileKeepsTheRunningLevel) {
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(FullSpec()), folder + "SCN/Full.Scn"));
    NztScnObject* crate = ScnObjectList[1];
    datakit::SceneSpec bad = FullSpec();
    bad.declaredCharacterCount = 0xFFFFFF;
    datakit::SceneChunkOffsets offsets;
    const std::vector<uint8_t> good = datakit::MakeScene(FullSpec(), &offsets);
    const std::vector<std::vector<uint8_t>> refused = {
        datakit::MakeScene(bad),
        {good.begin(), good.begin() + static_cast<long>(offsets.chunks.back().second - 1)},
        {good.begin(), good.begin() + 6},
    };
    for (const auto& bytes : refused) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(LoadBytes(bytes, folder + "SCN/Bad.Scn"));
        EXPECT_NE(::testing::internal::GetCapturedStderr().find("Bad.Scn"), std::string::npos);
        ASSERT_EQ(ScnObjectCount, 2u);
        EXPECT_EQ(ScnObjectList[1], crate);
        EXPECT_EQ(GameLightCount, 1u);
        EXPECT_EQ(CounterCount, 1);
        EXPECT_EQ(RopeLinkCount, 1u);
        EXPECT_EQ(EnvironmentZoneCount, 1);
    }
}

// A level start on a refused file announces nothing and clears nothing: the waiting actions of
// the running level and its records stay.
TEST_F(SceneWorld, StartingARefusedLevelChangesNothing) {
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(FullSpec()), folder + "SCN/Full.Scn"));
    RegisterEventAction(ActionFadeMusic, [](EventRecord*) {});
    EventRecord before = BlankEventRecord();
    before.Event = 130;  // the announcement of a new level
    before.Action = ActionSetCameraHeight;
    before.Param = 0;
    before.Value1 = 7.0f;
    GameEventObject.AddEventRecord(&before);
    EventRecord waiting = BlankEventRecord();
    waiting.Action = ActionFadeMusic;
    waiting.Delay = 5.0f;
    GameEventObject.AddEventRecord(&waiting);
    ScheduleDelayedAction(&GameEventObject, &GameEventObject.eventRecords[1]);
    ASSERT_EQ(DelayedActionCount(), 1);
    CameraState.eyeHeightOffset = 15.0f;
    datakit::SceneSpec bad = FullSpec();
    bad.declaredObjectCount = 1u << 30;
    ASSERT_TRUE(datakit::WriteFileBytes(folder + "SCN/Bad.Scn", datakit::MakeScene(bad)));
    ClearPathCache();
    ::testing::internal::CaptureStderr();
    StartLevel("Bad", 0, 1);
    StartLevel("Missing", 0, 1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("SCN/Bad.Scn: scene objects chunk"), std::string::npos);
    EXPECT_EQ(DelayedActionCount(), 1);
    EXPECT_EQ(CameraState.eyeHeightOffset, 15.0f);
    EXPECT_EQ(ScnObjectCount, 2u);
}

TEST_F(SceneWorld, AnimationCountsAreClampedAndMissingTypesAreSkipped) {
    datakit::SceneSpec s;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    crate.anim = {1, 300, -1, -1, 0, "", ""};
    datakit::SceneObjectSpec missing;
    missing.model = "NoSuchModel";
    missing.properties = {{"P", 1, 1.0f}};
    datakit::SceneObjectSpec tree;
    tree.model = "Tree";
    tree.place.position = {3.0f, 0.0f, 0.0f};
    s.objects = {crate, missing, tree};
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Anim.Scn"));
    ::testing::internal::GetCapturedStderr();
    // The missing type is read and dropped; the object after it keeps its index in the chunk.
    ASSERT_EQ(ScnObjectCount, 2u);
    EXPECT_EQ(ScnObjectList[1]->id, 2);
    EXPECT_FLOAT_EQ(ScnObjectList[1]->Position[0], 3.0f);
    EXPECT_LE(ScnObjectList[0]->mesh->AnimSlotCount, SceneAnimSlotLimit);
}

TEST_F(SceneWorld, EveryVersionLoadsItsObjectsAndRecords) {
    for (uint32_t version = 10248; version <= 10262; ++version) {
        SCOPED_TRACE(version);
        datakit::SceneSpec s;
        s.version = version;
        datakit::EventRecordSpec r;
        r.event = 129;
        r.action = ActionFadeMusic;
        const datakit::EventBytes record = datakit::MakeEventRecords({r}, version);
        datakit::SceneObjectSpec crate;
        crate.model = "Crate";
        crate.events = {record};
        s.objects = {crate};
        datakit::SceneCounterSpec counter;
        counter.record.value = 4.0f;
        counter.record.doubledWord = version < 10252;
        counter.events = {record, record};
        s.counters = {counter};
        s.globalEvents = {record};
        ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Version.Scn"));
        ASSERT_EQ(ScnObjectCount, 1u);
        EXPECT_EQ(ScnObjectList[0]->eventRecordCount, 1);
        ASSERT_EQ(CounterCount, 1);
        EXPECT_EQ(CounterList[0]->eventRecordCount, 2);
        EXPECT_EQ(GameEventObject.eventRecordCount, 1);
        EXPECT_EQ(GameEventObject.eventRecords[0].Action, ActionFadeMusic);
    }
}

// Files of 10248 named character types with a leading separator, which later files do not strip;
// a character's animation table grows to 236 slots at most.
TEST_F(SceneWorld, CharacterTypesOfTheOldestFilesAndTheirAnimationSlots) {
    struct Case {
        uint32_t version;
        const char* type;
        uint32_t characters;
    } cases[] = {{10248, "/Hero", 2}, {10248, "\\Hero", 2}, {10249, "/Hero", 1}, {10262, "Hero", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + " " + c.type);
        datakit::SceneSpec s;
        s.version = c.version;
        datakit::SceneCharacterSpec guard;
        guard.type = c.type;
        guard.anim = {1, 300, -1, -1, 0, "", ""};
        s.characters = {guard};
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Types.Scn"));
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(EntityCount, c.characters);
        if (EntityCount > 1) {
            EXPECT_EQ(EntityList[1]->mesh->AnimSlotCount, SceneAnimSlotLimit);
        }
    }
}

TEST_F(SceneWorld, InactiveObjectsStayInTheirListOutOfTheWorld) {
    datakit::SceneSpec s;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    crate.place.active = 0;
    crate.place.visible = 0;
    s.objects = {crate};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Off.Scn"));
    ASSERT_EQ(ScnObjectCount, 1u);
    EXPECT_EQ(ScnObjectList[0]->registered, 0);
    EXPECT_EQ(ScnObjectList[0]->shown, 0);
    const std::string save = folder + "USER/Off.Scn";
    SaveScene(save.c_str(), 1, 1, 1, 1);
    SceneData saved;
    ASSERT_TRUE(Parse(ReadAll(save), &saved));
    EXPECT_EQ(saved.scnObjects[0].place.active, 0u);
    EXPECT_EQ(saved.scnObjects[0].place.visible, 0u);
}

TEST_F(SceneWorld, CopiesOfOnePropHoldTheGridTheirOwnBuildGives) {
    // Crates, trees and rocks scattered far and near, on whole and fractional places, some turned:
    // copies of one shape take the triangle lists made for the first of them. Each object's grid
    // must be the one a build where it stands makes, cell by cell.
    const float c = std::cos(0.7f), s = std::sin(0.7f);
    const std::array<float, 9> turns[] = {
        {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, -1, 0, 1, 0, 1, 0, 0}, {c, 0, -s, 0, 1, 0, s, 0, c}};
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    // A rock of scattered triangles of every slant besides the boxes.
    datakit::QvoMesh rock = datakit::MakeBoxMesh("Rock1001", {4, 4, 4}, "Rock");
    rock.materials.resize(1);
    rock.materials[0].indices.clear();
    for (uint32_t t = 0; t < 40; ++t) {
        for (int k = 0; k < 3; ++k) {
            rock.materials[0].indices.push_back(static_cast<uint32_t>(rock.vertices.size()));
            const float x = unit(random) * 30.0f - 15.0f, y = unit(random) * 12.0f;
            rock.vertices.push_back({x, y, unit(random) * 30.0f - 15.0f});
        }
    }
    ASSERT_TRUE(datakit::WriteModelFile(folder + "OBJECTS/Rock1001.QVo", datakit::WriteQvo(rock)));
    const datakit::Bytes side = datakit::WriteQvc(datakit::MakeSideFile(rock));
    ASSERT_TRUE(datakit::WriteModelFile(folder + "OBJECTS/Rock0001.QVc", side));
    std::uniform_real_distribution<float> along(-3000.0f, 3000.0f);
    datakit::SceneSpec spec;
    for (int i = 0; i < 150; ++i) {
        datakit::SceneObjectSpec o;
        o.model = i % 3 == 0 ? "Crate" : i % 3 == 1 ? "Tree" : "Rock";
        o.place.position = {along(random), along(random) * 0.01f, along(random)};
        if (i % 5 == 0)
            for (float& f : o.place.position) f = std::round(f);
        o.place.rotation = turns[(i / 3) % 3];
        spec.objects.push_back(o);
    }
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(spec), folder + "SCN/Props.Scn"));
    ASSERT_EQ(ScnObjectCount, spec.objects.size());

    struct Grid {
        std::vector<uint32_t> axes;
        std::vector<float> layout;  // origin, steps, then each cell's box
        std::vector<int32_t> lookup;
        std::vector<std::vector<uint32_t>> lists;
    };
    auto grid = [](const NztScnObject& o) {
        Grid g{{o.cellsPerAxis[0], o.cellsPerAxis[1], o.cellsPerAxis[2], o.gridCellCount},
               {o.gridOrigin.x, o.gridOrigin.y, o.gridOrigin.z, o.gridStep[0], o.gridStep[1]},
               o.gridLookup,
               {}};
        for (const CollisionCell& cell : o.gridCells) {
            for (const Vec3& v : {cell.boxMin, cell.boxMax}) g.layout.insert(g.layout.end(), {v.x, v.y, v.z});
            g.lists.emplace_back(cell.entries.begin(), cell.entries.end());
        }
        return g;
    };
    for (uint32_t i = 0; i < ScnObjectCount; ++i) {
        NztScnObject& o = *ScnObjectList[i];
        ASSERT_EQ(o.hasCollision, 1u) << i;
        EXPECT_EQ(std::memcmp(o.Position, spec.objects[i].place.position.data(), 12), 0) << i;
        const Grid loaded = grid(o);
        ASSERT_FALSE(loaded.lists.empty()) << i;
        o.BuildGrid();
        const Grid built = grid(o);
        EXPECT_EQ(loaded.axes, built.axes) << i;
        ASSERT_EQ(loaded.layout.size(), built.layout.size()) << i;
        EXPECT_EQ(std::memcmp(loaded.layout.data(), built.layout.data(), built.layout.size() * 4), 0) << i;
        EXPECT_EQ(loaded.lookup, built.lookup) << i;
        EXPECT_EQ(loaded.lists, built.lists) << i;
    }
}

TEST_F(SceneWorld, AFailedSaveKeepsThePreviousFile) {
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(FullSpec()), folder + "SCN/Full.Scn"));
    const std::string save = folder + "USER/Keep.Scn";
    SaveScene(save.c_str(), 1, 1, 1, 1);
    const std::vector<uint8_t> first = ReadAll(save);
    ASSERT_FALSE(first.empty());
    // A save into a folder that does not exist cannot be made; the slot beside it is untouched.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(SaveScene((folder + "NoFolder/Keep.Scn").c_str(), 1, 1, 1, 1), nullptr);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadAll(save), first);
    DeleteDataFile("USER/Keep.Scn");
    EXPECT_FALSE(std::filesystem::exists(save));
    DeleteDataFile("USER/Keep.Scn");  // missing: nothing
}

}  // namespace
