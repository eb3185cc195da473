// Game-light record writer: the 372-byte scene-file record of one placed light. The text fields
// are given as raw bytes so that a test can put bytes after the terminator or leave it out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

struct GameLightSpec {
    std::string name;     // written into the 64-byte field, cut to 64 and zero-padded
    std::string mapName;  // the same into the 256-byte field
    std::array<float, 3> position{};
    float range = 500.0f;
    float innerRange = 0.0f;
    float outerRange = 250.0f;
    float targetDistance = 1.0f;
    float mapSize = 128.0f;
    std::array<float, 3> colour{1.0f, 1.0f, 1.0f};
    float mapIntensity = 1.0f;
    uint32_t on = 1;
};

std::vector<uint8_t> MakeGameLightRecord(const GameLightSpec& spec);

}  // namespace datakit
