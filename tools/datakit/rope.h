// Rope chunk writer: the links of a scene file as a u32 count and 32-byte records (kind, id, point
// and fixed flag of end A, then of end B), with a count that can disagree with the records.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace datakit {

struct RopeEnd {
    uint32_t kind = 4;  // 4 scene object, 5 character
    int32_t id = -1;
    int32_t point = -1;  // -1: the object's position
    uint32_t fixed = 0;
};

struct RopeRecord {
    RopeEnd a;
    RopeEnd b;
};

// Without a declared count, the number of records given is written.
std::vector<uint8_t> MakeRopeChunk(const std::vector<RopeRecord>& records,
                                   std::optional<uint32_t> declaredCount = std::nullopt);

}  // namespace datakit
