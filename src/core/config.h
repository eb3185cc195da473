// The user configuration (display and feature settings, in the user folder, read before the window
// exists and written back at exit), the game settings (read from the data folder) and the level
// start with the player's scene slots.
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

// The memory snapshot of the live scene made by save-slot code 0 (null when none).
extern void* SceneSnapshot;

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
// Defaults, the file, then the game font and the text table.
void LoadGameSettings();
void ResetGameSettings();

// Loads a scene as the current level. Unless forced, "NoLevel" (any case) does nothing.
void StartLevel(const char* name, uint8_t forced, uint8_t flag);
// Scene slots "USER/<name>.Scn" under the data folder; a name that is not plain is refused.
void SaveUserScene(const char* name);
void LoadUserScene(const char* name);
void DeleteUserScene(const char* name);
// 0 snapshot the scene in memory, 1 restore the snapshot, 2 save, 3 load, 4 delete the named slot.
void DoSaveSlotAction(int code, const char* name);
void FreeSceneSnapshot();
// The full path of a scene slot; false (one line on stderr) for a name with '/', '\\' or "..".
bool UserScenePath(const char* name, char* out, size_t outBytes);
