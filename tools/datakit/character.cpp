#include "datakit/character.h"

#include <algorithm>
#include <cstring>

namespace datakit {

namespace {

void U32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void F32(std::vector<uint8_t>& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    U32(out, bits);
}

}  // namespace

std::vector<uint8_t> MakeCharacterRecord(const CharacterRecordSpec& s) {
    std::vector<uint8_t> out;
    out.reserve(160);
    char name[32] = {};
    std::memcpy(name, s.name.data(), std::min(s.name.size(), sizeof name));
    out.insert(out.end(), name, name + sizeof name);
    F32(out, s.maxLife);
    F32(out, s.orderClockLimit);
    F32(out, s.typeHeight);
    F32(out, s.size);
    for (float r : s.radius) F32(out, r);
    U32(out, s.canFly);
    F32(out, s.flyMinHeight);
    F32(out, s.flyMaxHeight);
    F32(out, s.flyClimbRate);
    U32(out, s.canSwim);
    F32(out, s.swimDepth);
    F32(out, s.swimParam);
    F32(out, s.swimClimbRate);
    U32(out, s.canHang);
    F32(out, s.hangReach);
    U32(out, static_cast<uint32_t>(s.hangPoint));
    F32(out, s.glideTurnRate);
    F32(out, s.walkFactor);
    F32(out, s.runFactor);
    F32(out, s.sprintFactor);
    U32(out, s.groundControl);
    U32(out, s.groundTilt);
    U32(out, s.groundTiltAxes);
    F32(out, s.weight);
    F32(out, s.turnSmoothing);
    F32(out, s.groundSpeedSmoothing);
    F32(out, s.airSpeedSmoothing);
    F32(out, s.carrierSpeedSmoothing);
    return out;
}

std::vector<uint8_t> MakeBoneRecord(const BoneRecordSpec& s) {
    std::vector<uint8_t> out;
    U32(out, static_cast<uint32_t>(s.point));
    U32(out, static_cast<uint32_t>(s.bone));
    F32(out, s.travel);
    F32(out, s.offset);
    return out;
}

}  // namespace datakit
