// Writers for the character record (160 bytes) and the wheel records (16 bytes each) that a scene
// file stores per character, field by field as the engine reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

struct CharacterRecordSpec {
    std::string name = "Character";  // written into 32 bytes; longer names are cut, not terminated
    float maxLife = 200.0f;
    float orderClockLimit = 5.0f;
    float typeHeight = 18.0f;
    float size = 2.0f;
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

std::vector<uint8_t> MakeCharacterRecord(const CharacterRecordSpec& spec);

struct BoneRecordSpec {
    int32_t point = 0;
    int32_t bone = 0;
    float travel = 0.0f;
    float offset = 0.0f;
};

std::vector<uint8_t> MakeBoneRecord(const BoneRecordSpec& spec);

}  // namespace datakit
