#include "datakit/scene.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeSceneSeeds() {
    datakit::SceneSpec full;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    crate.properties = {{"Weight", 3, 1.5f}};
    crate.events = {datakit::EventBytes(948, 0)};
    crate.anim = {1, 12, 2, 5, 3, "MoveWalk", "MoveStatic01"};
    full.objects = {crate};
    datakit::SceneCharacterSpec guard;
    guard.type = "Hero";
    guard.lists.first = {1, 2};
    guard.lists.bones = {std::array<uint8_t, 16>{}};
    full.characters = {guard};
    full.tracks = {"Theme"};
    full.gameLights = {datakit::GameLightSpec{}};
    full.triggers = {datakit::SceneTriggerSpec{}};
    full.counters = {datakit::SceneCounterSpec{}};
    full.gameUIs = {datakit::SceneGameUISpec{}};
    full.inventories = {datakit::SceneInventorySpec{}};
    full.inventories[0].items = {{0, 4}};
    full.gameMaps = {std::vector<uint8_t>(356, 0)};
    full.zones = {datakit::EnvZoneRecord{}};
    full.globalEvents = {datakit::EventBytes(948, 0)};
    full.ropes = {datakit::RopeRecord{}};

    datakit::SceneSpec old = full;
    old.version = 10250;
    old.objects[0].events = {datakit::EventBytes(940, 0)};
    old.globalEvents = {datakit::EventBytes(940, 0)};
    old.counters[0].record.doubledWord = true;

    datakit::SceneSpec snapshot = full;
    snapshot.skyNames.reset();
    snapshot.sky.reset();
    snapshot.playlistName.reset();
    snapshot.panel.reset();

    datakit::SceneSpec huge = full;
    huge.declaredObjectCount = 0x7FFFFFFF;
    return {
        {"full.Scn", datakit::MakeScene(full)},
        {"old-10250.Scn", datakit::MakeScene(old)},
        {"snapshot.Scn", datakit::MakeScene(snapshot)},
        {"huge-count.Scn", datakit::MakeScene(huge)},
        {"empty.Scn", datakit::MakeScene(datakit::SceneSpec())},
    };
}

fuzzseeds::Registration sceneSeeds("scene", MakeSceneSeeds);

}  // namespace
