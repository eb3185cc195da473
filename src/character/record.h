// The character record: the 160-byte block of one character's tunable characteristics that a scene
// file stores per character (name, life, size, the five radii, the movement parameters), and the
// wheel records that follow it. Little-endian, fields one after the other without gaps.
#pragma once

#include <cstdint>

#include "character/entity.h"

class BinReader;
class BinWriter;

struct CharacterRecord {
    char name[32] = {};
    float maxLife = 200.0f;
    float orderClockLimit = 5.0f;
    float typeHeight = 0.0f;
    float size = 0.1f;
    float radius[5] = {0, 0, 0, 0, 0};
    uint32_t canFly = 0;
    float flyMinHeight = 5.0f;
    float flyMaxHeight = 500.0f;
    float flyClimbRate = 10.0f;
    uint32_t canSwim = 1;
    float swimDepth = 0.0f;
    float swimParam = 40000.0f;
    float swimClimbRate = 2.5f;
    uint32_t canHang = 1;
    float hangReach = 2.5f;
    int32_t hangPoint = 17;
    float glideTurnRate = 32.0f;
    float walkFactor = 1.0f;
    float runFactor = 1.0f;
    float sprintFactor = 1.0f;
    uint32_t groundControl = 1;
    uint32_t groundTilt = 0;
    uint32_t groundTiltAxes = 0;
    float weight = 1.0f;
    float turnSmoothing = 0.05f;
    float groundSpeedSmoothing = 0.05f;
    float airSpeedSmoothing = 0.01f;
    float carrierSpeedSmoothing = 0.0f;
};
inline constexpr uint32_t CharacterRecordSize = 160;

// One record from r; false (record untouched) when fewer than 160 bytes remain. The name is
// forced to end in zero within its 32 bytes.
bool ReadCharacterRecord(BinReader& r, CharacterRecord* record);
void WriteCharacterRecord(BinWriter& w, const CharacterRecord& record);
// One 16-byte wheel record; false (record untouched) when fewer than 16 bytes remain.
bool ReadBoneRecord(BinReader& r, EntityBoneRecord* record);
void WriteBoneRecord(BinWriter& w, const EntityBoneRecord& record);
