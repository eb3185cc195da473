// User configuration, game settings and the level start.
#pragma once

#include <cstdint>

struct UserConfigRecord {
    uint32_t version = 10009;
    uint32_t width = 1024;
    uint32_t height = 768;
    uint32_t bitsPerPixel = 32;
    uint32_t refreshRate = 60;  // 0xFFFFFFFF accepts any
    uint32_t fullScreen = 1;
    uint32_t verticalSync = 1;
    uint32_t bumpMapping = 1;
    uint32_t textureSize = 0;
    uint32_t tenthWord = 0;
};
extern UserConfigRecord UserConfig;

struct GameSettingsRecord {
    char playerType[256] = {};
    char startScene[256] = {};
    char fontFile[256] = {};
    float fontSize = 0.0f;
    uint32_t extraWord = 0;
    char textTable[256] = {};
};
extern GameSettingsRecord GameSettings;

void LoadUserConfig();
void SaveUserConfig();
void LoadGameSettings();
void StartLevel(const char* name, uint8_t forced, uint8_t flag);
// Frees the in-memory scene snapshot kept by the save-slot action, if any.
void FreeSceneSnapshot();
