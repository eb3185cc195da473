// A world for scene tests: the sample models in a data folder of the test's own, a player, and
// every object list emptied before and after each test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/music.h"
#include "camera/camera.h"
#include "character/entity.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "datakit/character.h"
#include "datakit/datakit.h"
#include "datakit/eventrecord.h"
#include "datakit/hud.h"
#include "datakit/mesh.h"
#include "datakit/scene.h"
#include "effects/dynobject.h"
#include "effects/gamelight.h"
#include "effects/light.h"
#include "effects/rope.h"
#include "effects/sky.h"
#include "game/eventwiring.h"
#include "model/mesh.h"
#include "objects/actions.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "objects/triggers.h"
#include "scene/actions.h"
#include "scene/scene.h"
#include "ui/counter.h"
#include "ui/gamemap.h"
#include "ui/gameui.h"
#include "ui/inventory.h"
#include "ui/menu.h"
#include "ui/panel.h"
#include "world/framepass.h"

class SceneWorld : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "qv_scene_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern + "/";
        for (const auto& [name, bytes] : datakit::SampleModelFiles())
            ASSERT_TRUE(datakit::WriteModelFile(folder + name, bytes));
        std::filesystem::create_directories(folder + "SCN");
        std::filesystem::create_directories(folder + "USER");
        ASSERT_TRUE(SetDataFolder(folder.c_str()));
        ClearPathCache();
        BuildSinCosTables();
        BuildRandomTable();
        Clear();
        AllocObjectLists();
        ResetAnimDefaults();
        InitRopePools();
        InstallEventWiring();
        PlayerEntity = GetEntityType("Hero1001");
        ASSERT_NE(PlayerEntity, nullptr);
    }
    void TearDown() override {
        Clear();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        ClearPathCache();
    }
    static void Clear() {
        ClearDelayedActions();
        ResetDeferredActions();
        GameEventObject.ClearEvents();
        DeleteAllEventTriggers();
        FreeRopeLinks();
        FreeRopeAnchors();
        ResetRopePools();
        DestroyAllCounters();
        DeleteAllGameLights();
        PlayerEntity = nullptr;
        RemoveAllEntities();
        RemoveAllScnObjects();
        DeleteAllDynObjects();
        DeleteAllLights();
        FreeEnvironmentZones();
        FreeSkyObjects();
        DeleteAllMeshData();
        DeleteAllAnims();
        FreeTypeTables();
        FreeObjectLists();
        ClearObjectLists();
        DestroyAllInventories();
        DestroyAllGameMaps();
        DestroyAllGameUIs();
        ResetSkyState();
        while (!MusicPlaylists.empty()) RemoveMusicPlaylist(0);
        SceneFogSwitch = 0;
        ResetEventKindLists();
        ResetEventActions();
        ResetSceneActionHooks();
        ResetSettingsScreenLook();
    }

    // One stored record of today's layout.
    static datakit::EventBytes Event(const datakit::EventRecordSpec& spec, uint32_t version = 10262) {
        return datakit::MakeEventRecords({spec}, version);
    }

    // A scene with something in every chunk whose objects the engine builds.
    static datakit::SceneSpec FullSpec() {
        datakit::SceneSpec s;
        s.cameraMode = 3;
        s.cameraPosition = {10.0f, 20.0f, 30.0f};
        s.player.place.position = {5.0f, 0.0f, 6.0f};
        s.player.life = 40.0f;
        s.player.properties = {{"Gold", 12, 0.5f}};
        s.sky->timeOfDay = 200.0f;
        s.sky->fog = 1;
        s.sky->colours[3] = {0.9f, 0.1f, 0.2f};
        s.tracks = {"Theme", "Battle"};
        datakit::SceneObjectSpec ground;
        ground.model = "Tree";
        ground.place.position = {0.0f, -1.0f, 0.0f};
        ground.params = {1.5f, 0.0f, 2.5f, 0.0f};
        datakit::SceneObjectSpec crate;
        crate.model = "Crate";
        crate.place.position = {12.0f, 0.0f, -4.0f};
        crate.place.flagB = 1;
        crate.properties = {{"Weight", 3, 7.25f}, {"Opened", 0, 0.0f}};
        s.objects = {ground, crate};
        datakit::SceneCharacterSpec guard;
        guard.type = "Hero";
        guard.place.position = {-20.0f, 0.0f, 30.0f};
        datakit::CharacterRecordSpec record;
        record.name = "Guard";
        record.maxLife = 80.0f;
        guard.record = datakit::MakeCharacterRecord(record);
        guard.speedFactor = 0.5f;
        guard.properties = {{"Mood", 2, 0.0f}};
        s.characters = {guard};
        s.player.record = datakit::MakeCharacterRecord(datakit::CharacterRecordSpec());
        s.player.reserve = 150.0f;
        datakit::GameLightSpec lamp;
        lamp.name = "Lamp";
        lamp.position = {1.0f, 8.0f, 2.0f};
        lamp.colour = {1.0f, 0.5f, 0.25f};
        s.gameLights = {lamp};
        datakit::SceneCounterSpec score;
        score.record.name = "Score";
        score.record.value = 42.0f;
        s.counters = {score};
        GameUIRecord panelRecord;
        std::strcpy(panelRecord.name, "Status");
        datakit::SceneGameUISpec ui;
        ui.record = datakit::MakeGameUIRecord(panelRecord);
        s.gameUIs = {ui};
        InventoryRecord bagRecord;
        std::strcpy(bagRecord.name, "Bag");
        datakit::SceneInventorySpec bag;
        bag.record = datakit::MakeInventoryRecord(bagRecord, {}, false);
        bag.items = {{1, 4}};  // the crate
        s.inventories = {bag};
        GameMapRecord mapRecord;
        std::strcpy(mapRecord.name, "Map");
        s.gameMaps = {datakit::MakeGameMapRecord(mapRecord)};
        s.panel->imageName = "Back";
        s.panel->rect = {1.0f, 2.0f, 3.0f, 4.0f};
        s.zonesOn = 1;
        datakit::EnvZoneRecord zone;
        zone.position = {1.0f, 2.0f, 3.0f};
        zone.radiusSquared = 100.0f;
        zone.value = 0.75f;
        zone.words[4] = 0xABCD;
        s.zones = {zone};
        datakit::RopeRecord rope;
        rope.a = {4, 0, -1, 1};
        rope.b = {4, 1, -1, 0};
        s.ropes = {rope};
        return s;
    }

    static bool LoadBytes(const std::vector<uint8_t>& bytes, const std::string& path) {
        if (!datakit::WriteFileBytes(path, bytes)) return false;
        return LoadScene(path.c_str(), 0, nullptr) == 1;
    }

    std::string folder;
};
