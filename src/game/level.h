// The level start with the player's scene slots, and the game settings applied to the font and the
// texts.
#pragma once

#include <cstddef>
#include <cstdint>

// The memory snapshot of the live scene made by save-slot code 0 (null when none).
extern void* SceneSnapshot;

// Loads the game font at the configured size for the screen width, the text table, and refreshes
// the texts of the game windows (after LoadGameSettings).
void ApplyGameSettings();

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
