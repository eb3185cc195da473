#include "datakit/hud.h"

#include <cstring>

#include "core/binio.h"
#include "datakit/datakit.h"

namespace datakit {

namespace {
void Cut(std::vector<uint8_t>& bytes, int64_t keep) {
    if (keep >= 0 && size_t(keep) < bytes.size()) bytes.resize(size_t(keep));
}
}  // namespace

std::vector<uint8_t> MakeGameUIRecord(const GameUIRecord& record) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    WriteGameUIRecord(out, record);
    return bytes;
}

std::vector<uint8_t> MakeGameMapRecord(const GameMapRecord& record) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    WriteGameMapRecord(out, record);
    return bytes;
}

std::vector<uint8_t> MakeInventoryRecord(const InventoryRecord& record, const std::vector<InventoryItemRef>& items,
                                         bool withItems) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    WriteInventoryRecord(out, record);
    if (withItems) WriteInventoryItemList(out, items);
    return bytes;
}

std::vector<uint8_t> MakeNuiSave(const NuiSpec& s) {
    std::vector<uint8_t> bytes;
    Put32(bytes, s.length >= 0 ? uint32_t(s.length) : uint32_t(s.text.size()));
    bytes.insert(bytes.end(), s.text.begin(), s.text.end());
    Cut(bytes, s.keepBytes);
    return bytes;
}

bool WriteNuiSave(const std::string& path, const NuiSpec& spec) { return WriteFileBytes(path, MakeNuiSave(spec)); }

std::vector<uint8_t> MakeIvtSave(const IvtSpec& s) {
    std::vector<uint8_t> bytes;
    Put32(bytes, s.version);
    Put32(bytes, s.count >= 0 ? uint32_t(s.count) : uint32_t(s.names.size()));
    for (const std::string& name : s.names) {
        uint8_t entry[InventoryModelNameBytes] = {};
        std::memcpy(entry, name.data(), name.size() < sizeof entry - 1 ? name.size() : sizeof entry - 1);
        bytes.insert(bytes.end(), entry, entry + sizeof entry);
    }
    Cut(bytes, s.keepBytes);
    return bytes;
}

bool WriteIvtSave(const std::string& path, const IvtSpec& spec) { return WriteFileBytes(path, MakeIvtSave(spec)); }

}  // namespace datakit
