#include "datakit/gamelight.h"

#include <cstring>

#include "datakit/datakit.h"

namespace datakit {

namespace {

void PutField(std::vector<uint8_t>& out, const std::string& text, size_t bytes) {
    const size_t n = text.size() < bytes ? text.size() : bytes;
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    out.insert(out.end(), bytes - n, 0);
}

void PutFloat(std::vector<uint8_t>& out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    Put32(out, bits);
}

}  // namespace

std::vector<uint8_t> MakeGameLightRecord(const GameLightSpec& spec) {
    std::vector<uint8_t> out;
    PutField(out, spec.name, 64);
    PutField(out, spec.mapName, 256);
    for (float v : spec.position) PutFloat(out, v);
    PutFloat(out, spec.range);
    PutFloat(out, spec.innerRange);
    PutFloat(out, spec.outerRange);
    PutFloat(out, spec.targetDistance);
    PutFloat(out, spec.mapSize);
    for (float v : spec.colour) PutFloat(out, v);
    PutFloat(out, spec.mapIntensity);
    Put32(out, spec.on);
    return out;
}

}  // namespace datakit
