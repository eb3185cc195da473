// Writers of the head-up objects' data: the game interface (888 bytes), inventory (876 bytes, with
// the item list that follows it in a scene) and game map (356 bytes) records, the ".nui" caption
// save and the ".ivt" inventory save.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/gamemap.h"
#include "ui/gameui.h"
#include "ui/inventory.h"

namespace datakit {

std::vector<uint8_t> MakeGameUIRecord(const GameUIRecord& record);
std::vector<uint8_t> MakeGameMapRecord(const GameMapRecord& record);
// The record, then (when withItems) the item list.
std::vector<uint8_t> MakeInventoryRecord(const InventoryRecord& record, const std::vector<InventoryItemRef>& items,
                                         bool withItems = true);

struct NuiSpec {
    std::string text;
    int64_t length = -1;     // the length word; -1: the text's length
    int64_t keepBytes = -1;  // cut the file to this many bytes; -1 keeps all
};
std::vector<uint8_t> MakeNuiSave(const NuiSpec& spec);
bool WriteNuiSave(const std::string& path, const NuiSpec& spec);

struct IvtSpec {
    uint32_t version = 1000;
    std::vector<std::string> names;  // in file order (the last slot first)
    int64_t count = -1;              // the count word; -1: the number of names
    int64_t keepBytes = -1;
};
std::vector<uint8_t> MakeIvtSave(const IvtSpec& spec);
bool WriteIvtSave(const std::string& path, const IvtSpec& spec);

}  // namespace datakit
