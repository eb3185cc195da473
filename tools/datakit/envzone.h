// Writer for the environment-zone section of scene files: the presence word, the zones-enabled
// word, the zone count and 92-byte zone records, with a count that can lie.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace datakit {

struct EnvZoneRecord {
    uint32_t word0 = 0;
    std::array<float, 3> position{};
    uint32_t word16 = 0;
    float radiusSquared = 0.0f;
    float value = 0.0f;
    std::array<uint32_t, 16> words{};  // carried through unchanged by the engine
};

struct EnvZoneSectionSpec {
    int32_t present = 1;  // 0 writes the presence word alone
    int32_t enabled = 1;
    int64_t declaredCount = -1;  // the count written; -1 writes the number of zones given
    std::vector<EnvZoneRecord> zones;
};

std::vector<uint8_t> MakeEnvZoneSection(const EnvZoneSectionSpec& spec);

}  // namespace datakit
