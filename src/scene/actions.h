// The event actions of the scene floor: level, music and sound (types 1 to 13), video, screen,
// cursor and camera (14 to 31), system commands (74), plug-ins, environment, lights, text boxes and
// input blocks and ropes (75 to 81), and the user event files that system commands save and load.
#pragma once

#include <cstdint>

#include "objects/eventrecord.h"

class NztEventObject;

// What the actions reach on the top floor (run modes and frame functions, the main window). They
// start empty (the actions that need them do nothing); the program installs them at start-up.
struct SceneActionHooks {
    uint32_t (*runMode)() = nullptr;
    // Previous run mode := current, run mode 4, clear colour reset, the video frame.
    void (*enterVideoMode)() = nullptr;
    // Run mode 1 and the game frame (gameFrame set) or run mode 2 and the editor frame, the
    // current mode kept as the previous one.
    void (*selectFrame)(bool gameFrame) = nullptr;
    void (*setTimeScale)(float scale) = nullptr;
    // Asks the main window to close (its close handling ends the program).
    void (*closeMainWindow)() = nullptr;
    // The level start (name, forced, from the scene folder) and the save-slot commands 0 to 4.
    void (*startLevel)(const char* name, uint8_t forced, uint8_t fromPacks) = nullptr;
    void (*saveSlot)(int code, const char* name) = nullptr;
};
extern SceneActionHooks SceneActions;
void ResetSceneActionHooks();

// Registers every action of this floor in the action table.
void RegisterSceneActions();

// The handlers, by action type.
void StartLevelAction(EventRecord* record);           // 1
void ReplaceObjectTypeAction(EventRecord* record);    // 2
void SetSkyObjectAction(EventRecord* record);         // 3
void TransferPlayerStateAction(EventRecord* record);  // 4
void SaveSlotAction(EventRecord* record);             // 5
void PlayMusicAction(EventRecord* record);            // 6
void StopMusicAction(EventRecord* record);            // 7
void FadeMusicAction(EventRecord* record);            // 8
void LoadSoundAction(EventRecord* record);            // 9
void PlaySoundAtObjectAction(EventRecord* record);    // 10
void StopSoundsAction(EventRecord* record);           // 11
void SetSoundGainsAction(EventRecord* record);        // 12
void SetSoundSourceParamAction(EventRecord* record);  // 13
void PlayVideoAction(EventRecord* record);              // 14
void SetCinemaBordersAction(EventRecord* record);       // 15
void SetTimeScaleAction(EventRecord* record);           // 16
void ShowScreenMessageAction(EventRecord* record);      // 17
void LoadCursorFileAction(EventRecord* record);         // 18
void UseCurrentCursorAction(EventRecord* record);       // 19
void UseAlternateCursorAction(EventRecord* record);     // 20
void ShakeCameraAction(EventRecord* record);            // 21
void CameraFollowTrajectoryAction(EventRecord* record); // 22
void CameraBehindObjectAction(EventRecord* record);     // 23
void SetCameraPlacementAction(EventRecord* record);     // 24
void SetCameraHeightAction(EventRecord* record);        // 25
void SetCameraSmoothingAction(EventRecord* record);     // 26
void SetFieldOfViewAction(EventRecord* record);         // 27
void RestoreCameraModeAction(EventRecord* record);      // 28
void PushPopCameraStateAction(EventRecord* record);     // 29
void SetCameraCarriedObjectAction(EventRecord* record); // 30
void AddCameraKeyAction(EventRecord* record);           // 31
void SystemCommandAction(EventRecord* record);          // 74
void CallPluginAction(EventRecord* record);             // 75
void SetEnvironmentAction(EventRecord* record);         // 76
void SetLightAction(EventRecord* record);               // 77
void TextBoxAction(EventRecord* record);                // 78
void BlockInputActionAction(EventRecord* record);       // 79
void AddRopeLinkAction(EventRecord* record);            // 80
void RemoveRopeLinkAction(EventRecord* record);         // 81

// Degrees to angle units (4096 a turn).
inline constexpr float DegreesToAngleUnits = 11.377778f;

// User event files "USER/<name>.evt": one object's records, with the owner written as -2 and the
// player as -3 so that the file can be given to another object in another scene.
inline constexpr uint32_t UserEventFileVersion = 10262;
// 1 when written (through a temporary file); 0 when the owner has no records or the file cannot be
// made.
int32_t SaveUserEvents(const char* path, const NztEventObject* owner);
// Appends the file's records to the owner; 1 when read, 0 (nothing appended, one line on stderr
// for a malformed file) otherwise.
int32_t LoadUserEvents(const char* path, NztEventObject* owner);
// The same over bytes already in memory (the reader of the file).
int32_t ReadUserEvents(const uint8_t* data, size_t size, const char* source, NztEventObject* owner);
