// Writer of the game configuration file (GAMESETTING/GameConfig.cfg) in each of its versions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

struct GameConfig {
    uint32_t version = 10008;      // 10000 to 10008 have layouts; others get the version word only
    uint32_t firstWord = 0;        // the word that versions 10000 to 10003 carry in place of the type
    std::string playerType = "NZT1001";
    std::string startScene = "NoLevel";
    std::string fontFile = "ARIAL.TTF";
    float fontSize = 24.0f;        // written as an i32 (truncated) by versions 10002 to 10005
    uint32_t extraWord = 0;
    std::string textTable = "Default.Gtx";
    std::string skipped = "";      // content of the 256-byte blocks that readers skip
};

// The file's bytes. Text fields are 256-byte blocks, zero-padded; a text of 256 bytes or more fills
// its block without a terminating zero.
std::vector<uint8_t> WriteGameConfig(const GameConfig& config);

}  // namespace datakit
