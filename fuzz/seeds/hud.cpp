#include <cstdio>
#include <string>

#include "datakit/hud.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeNuiSeeds() {
    return {
        {"caption.nui", datakit::MakeNuiSave({"Player One", -1, -1})},
        {"empty.nui", datakit::MakeNuiSave({"", -1, -1})},
        {"full.nui", datakit::MakeNuiSave({std::string(255, 'w'), -1, -1})},
        {"too-long.nui", datakit::MakeNuiSave({std::string(256, 'w'), -1, -1})},
        {"short.nui", datakit::MakeNuiSave({"abc", 9, -1})},
    };
}

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeIvtSeeds() {
    return {
        {"three.ivt", datakit::MakeIvtSave({1000, {"Crate", "Key", "Lamp"}, -1, -1})},
        {"empty.ivt", datakit::MakeIvtSave({1000, {}, -1, -1})},
        {"foreign.ivt", datakit::MakeIvtSave({999, {"Crate"}, -1, -1})},
        {"cut.ivt", datakit::MakeIvtSave({1000, {"Crate", "Key"}, -1, 300})},
    };
}

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeGameUIRecordSeeds() {
    GameUIRecord top;
    top.width = 200.0f;
    top.height = 40.0f;
    top.textIndex = 0;
    GameUIRecord child = top;
    child.parentIndex = 0;
    fuzzseeds::Bytes two = datakit::MakeGameUIRecord(top);
    const fuzzseeds::Bytes second = datakit::MakeGameUIRecord(child);
    two.insert(two.end(), second.begin(), second.end());
    GameUIRecord loop = top;
    loop.parentIndex = 0;
    return {{"top.rec", datakit::MakeGameUIRecord(top)}, {"tree.rec", two}, {"self.rec", datakit::MakeGameUIRecord(loop)}};
}

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeInventoryRecordSeeds() {
    InventoryRecord bar;
    bar.layout = 1;
    bar.capacity = 4;
    InventoryRecord column = bar;
    column.layout = 3;
    column.useIcons = 1;
    return {
        {"bar.rec", datakit::MakeInventoryRecord(bar, {{3, 4}, {0, 0}, {7, 5}})},
        {"column.rec", datakit::MakeInventoryRecord(column, {})},
        {"bare.rec", datakit::MakeInventoryRecord(bar, {}, false)},
    };
}

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeGameMapRecordSeeds() {
    GameMapRecord map;
    map.width = map.height = 200.0f;
    std::snprintf(map.imageName, sizeof map.imageName, "%s", "MiniMap");
    GameMapRecord flat = map;
    flat.worldWidth = 0.0f;
    return {{"map.rec", datakit::MakeGameMapRecord(map)}, {"flat.rec", datakit::MakeGameMapRecord(flat)}};
}

fuzzseeds::Registration nuiSeeds("nui", MakeNuiSeeds);
fuzzseeds::Registration ivtSeeds("ivt", MakeIvtSeeds);
fuzzseeds::Registration gameUIRecordSeeds("gameuirec", MakeGameUIRecordSeeds);
fuzzseeds::Registration inventoryRecordSeeds("inventoryrec", MakeInventoryRecordSeeds);
fuzzseeds::Registration gameMapRecordSeeds("gamemaprec", MakeGameMapRecordSeeds);

}  // namespace
