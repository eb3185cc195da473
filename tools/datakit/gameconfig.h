// Game configuration writer: "GAMESETTING/GameConfig.cfg" in any of its versions (10000 to 10008).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

struct GameConfigSpec {
    uint32_t version = 10008;
    uint32_t oldTypeWord = 0;  // the first word of versions 10000 to 10003, which readers ignore
    std::string playerType = "NZT1001";
    std::string startScene = "IceWorld";
    std::string fontFile = "ARIAL.TTF";
    float fontSize = 24.0f;    // written as an integer before version 10006
    uint32_t extraWord = 0;
    std::string textTable = "Default.Gtx";
    // Fills the 256-byte blocks that versions 10002 to 10004 carry and readers skip.
    std::string skippedText = "skipped";
};

std::vector<uint8_t> MakeGameConfig(const GameConfigSpec& spec);
// Writes GAMESETTING/GameConfig.cfg below dataFolder (creating the folder).
bool WriteGameConfig(const std::string& dataFolder, const GameConfigSpec& spec);

}  // namespace datakit
