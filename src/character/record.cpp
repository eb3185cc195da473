#include "character/record.h"

#include <algorithm>
#include <cstring>

#include "core/binio.h"
#include "model/mesh.h"

namespace {

uint32_t MeshBoneCount(const NztMesh* mesh) {
    return mesh == nullptr ? 0 : std::max(mesh->LargestBoneCount, mesh->MaxBoneCount);
}

// NaN compares false everywhere: it takes the lower bound.
float AtLeast(float v, float low) {
    return v >= low ? v : low;
}

float Within(float v, float low, float high) {
    if (v >= high) return high;
    return v > low ? v : low;
}

}  // namespace

bool ReadCharacterRecord(BinReader& r, CharacterRecord* record) {
    if (record == nullptr || !r.Fits(1, CharacterRecordSize)) return false;
    CharacterRecord c;
    r.Text(c.name);
    c.maxLife = r.F32();
    c.orderClockLimit = r.F32();
    c.typeHeight = r.F32();
    c.size = r.F32();
    for (float& v : c.radius) v = r.F32();
    c.canFly = r.U32();
    c.flyMinHeight = r.F32();
    c.flyMaxHeight = r.F32();
    c.flyClimbRate = r.F32();
    c.canSwim = r.U32();
    c.swimDepth = r.F32();
    c.swimParam = r.F32();
    c.swimClimbRate = r.F32();
    c.canHang = r.U32();
    c.hangReach = r.F32();
    c.hangPoint = r.I32();
    c.glideTurnRate = r.F32();
    c.walkFactor = r.F32();
    c.runFactor = r.F32();
    c.sprintFactor = r.F32();
    c.groundControl = r.U32();
    c.groundTilt = r.U32();
    c.groundTiltAxes = r.U32();
    c.weight = r.F32();
    c.turnSmoothing = r.F32();
    c.groundSpeedSmoothing = r.F32();
    c.airSpeedSmoothing = r.F32();
    c.carrierSpeedSmoothing = r.F32();
    if (!r.Ok()) return false;
    c.name[sizeof c.name - 1] = 0;
    *record = c;
    return true;
}

void WriteCharacterRecord(BinWriter& w, const CharacterRecord& c) {
    char name[32] = {};
    std::memcpy(name, c.name, sizeof name);
    name[sizeof name - 1] = 0;
    w.Bytes(name, sizeof name);
    w.F32(c.maxLife);
    w.F32(c.orderClockLimit);
    w.F32(c.typeHeight);
    w.F32(c.size);
    for (float v : c.radius) w.F32(v);
    w.U32(c.canFly);
    w.F32(c.flyMinHeight);
    w.F32(c.flyMaxHeight);
    w.F32(c.flyClimbRate);
    w.U32(c.canSwim);
    w.F32(c.swimDepth);
    w.F32(c.swimParam);
    w.F32(c.swimClimbRate);
    w.U32(c.canHang);
    w.F32(c.hangReach);
    w.I32(c.hangPoint);
    w.F32(c.glideTurnRate);
    w.F32(c.walkFactor);
    w.F32(c.runFactor);
    w.F32(c.sprintFactor);
    w.U32(c.groundControl);
    w.U32(c.groundTilt);
    w.U32(c.groundTiltAxes);
    w.F32(c.weight);
    w.F32(c.turnSmoothing);
    w.F32(c.groundSpeedSmoothing);
    w.F32(c.airSpeedSmoothing);
    w.F32(c.carrierSpeedSmoothing);
}

bool ReadBoneRecord(BinReader& r, EntityBoneRecord* record) {
    if (record == nullptr || !r.Fits(1, EntityBoneRecordSize)) return false;
    EntityBoneRecord b;
    b.point = r.I32();
    b.bone = r.I32();
    b.travel = r.F32();
    b.offset = r.F32();
    if (!r.Ok()) return false;
    *record = b;
    return true;
}

void WriteBoneRecord(BinWriter& w, const EntityBoneRecord& b) {
    w.I32(b.point);
    w.I32(b.bone);
    w.F32(b.travel);
    w.F32(b.offset);
}

NztEntity* NztEntity::ApplyCharacterRecord(const CharacterRecord& c) {
    // A record without a terminator in its 32 bytes keeps its first 31 characters.
    std::memcpy(name, c.name, sizeof name);
    name[sizeof name - 1] = 0;
    const float v = AtLeast(c.maxLife, 0.0f);
    maxLife = life = v;
    invMaxLife = v > 0.0f ? 1.0f / v : 0.0f;
    orderClockLimit = c.orderClockLimit;
    probeBlock.typeHeight = c.typeHeight;
    const float s = AtLeast(c.size, 0.1f);
    SetSize(s);
    probeBlock.baseSize = s;
    for (int i = 0; i < 5; ++i) {
        radii[i] = c.radius[i];
        radiiSquared[i] = c.radius[i] * c.radius[i];
    }
    const bool boned = MeshBoneCount(mesh) >= 2;
    canFly = boned ? c.canFly : 0;
    flyMinHeight = c.flyMinHeight;
    flyMaxHeight = c.flyMaxHeight;
    flyClimbRate = c.flyClimbRate;
    canSwim = boned ? c.canSwim : 0;
    swimDepth = c.swimDepth;
    swimParam = c.swimParam;
    swimClimbRate = c.swimClimbRate;
    canHang = c.canHang;
    hangReach = c.hangReach;
    hangPoint = c.hangPoint;
    glideTurnRate = c.glideTurnRate;
    walkFactor = c.walkFactor;
    runFactor = c.runFactor;
    sprintFactor = c.sprintFactor;
    groundControl = c.groundControl;
    groundTilt = boned ? c.groundTilt : 0;
    groundTiltAxes = c.groundTiltAxes;
    weight = AtLeast(c.weight, 0.0001f);
    turnSmoothing = Within(c.turnSmoothing, 0.0f, 1.0f);
    groundSpeedSmoothing = Within(c.groundSpeedSmoothing, 0.0f, 1.0f);
    airSpeedSmoothing = c.airSpeedSmoothing;
    carrierSpeedSmoothing = Within(c.carrierSpeedSmoothing, 0.0f, 2.0f);
    return this;
}

CharacterRecord& NztEntity::FillCharacterRecord(CharacterRecord& c) const {
    std::memcpy(c.name, name, sizeof c.name);
    c.name[sizeof c.name - 1] = 0;
    c.maxLife = maxLife;
    c.orderClockLimit = orderClockLimit;
    c.typeHeight = probeBlock.typeHeight;
    c.size = size;
    for (int i = 0; i < 5; ++i) c.radius[i] = radii[i];
    c.canFly = canFly;
    c.flyMinHeight = flyMinHeight;
    c.flyMaxHeight = flyMaxHeight;
    c.flyClimbRate = flyClimbRate;
    c.canSwim = canSwim;
    c.swimDepth = swimDepth;
    c.swimParam = swimParam;
    c.swimClimbRate = swimClimbRate;
    c.canHang = canHang;
    c.hangReach = hangReach;
    c.hangPoint = hangPoint;
    c.glideTurnRate = glideTurnRate;
    c.walkFactor = walkFactor;
    c.runFactor = runFactor;
    c.sprintFactor = sprintFactor;
    c.groundControl = groundControl;
    c.groundTilt = groundTilt;
    c.groundTiltAxes = groundTiltAxes;
    c.weight = weight;
    c.turnSmoothing = turnSmoothing;
    c.groundSpeedSmoothing = groundSpeedSmoothing;
    c.airSpeedSmoothing = airSpeedSmoothing;
    c.carrierSpeedSmoothing = carrierSpeedSmoothing;
    return c;
}
