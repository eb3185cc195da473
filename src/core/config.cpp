#include "core/config.h"

UserConfigRecord UserConfig;
GameSettingsRecord GameSettings;

void LoadUserConfig() {}
void SaveUserConfig() {}
void LoadGameSettings() {}
void StartLevel(const char*, uint8_t, uint8_t) {}
void FreeSceneSnapshot() {}
