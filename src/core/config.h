// The user configuration (display and feature settings, in the user folder, read before the window
// exists and written back at exit) and the game settings (read from the data folder). The level
// start and the player's scene slots are the game's (game/level.h).
#pragma once

#include <cstddef>
#include <cstdint>

class BinReader;

struct UserConfigData {
    uint32_t version = 10009;
    uint32_t width = 1024;
    uint32_t height = 768;
    uint32_t bitsPerPixel = 32;
    uint32_t refreshRate = 60;  // 0xFFFFFFFF accepts any frequency
    uint32_t fullScreen = 1;
    uint32_t verticalSync = 1;
    uint32_t bumpMapping = 1;
    uint32_t textureSize = 0;
    uint32_t tenthWord = 0;     // kept and written back
};
extern UserConfigData UserConfig;

struct GameSettingsData {
    char playerType[256];
    char startScene[256];
    char fontFile[256];
    float fontSize;
    uint32_t extraWord;  // kept, not otherwise used
    char textTable[256];
};
extern GameSettingsData GameSettings;

enum class ConfigRead { Loaded, UnknownVersion, Truncated };

// "QuorvaneGame.cfg" in the user folder, versions 10001 to 10009; anything else keeps the defaults.
void LoadUserConfig();
// Always version 10009, 40 bytes, through a temporary file; false (old file kept) on failure.
bool SaveUserConfig();
void ResetUserConfig();
// Reads a user configuration into config, which holds the defaults; a width or height of 0 keeps
// the default size. Changes config only when the result is Loaded.
ConfigRead ParseUserConfig(BinReader& in, UserConfigData* config);

// "GAMESETTING/GameConfig.cfg" under the data folder, versions 10000 to 10008.
bool ReadGameConfig();
// Reads a game configuration into settings (which the caller zeroed); name fields always end in a
// zero. Changes settings only when the result is Loaded.
ConfigRead ParseGameConfig(BinReader& in, GameSettingsData* settings);
// Defaults, then the file; names that are not plain are refused. ApplyGameSettings (game/level.h)
// loads the font and the text table they name.
void LoadGameSettings();
void ResetGameSettings();
