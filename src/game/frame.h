// The frame functions that the main loop calls, the run modes that choose between them, and the two
// batch operations around GL start-up and exit (common resources in, the world out). The frame
// clock and the frame-time values are core's (core/frameclock.h).
#pragma once

#include <cstdint>

#include "core/frameclock.h"

struct NztRenderState;

// The textures every level uses, loaded with the engine's resources (the bolt texture,
// ThunderTexture, is the world's: effects/thunder.h).
extern uint32_t SunReflectTexture;
extern uint32_t BorderCinemaTexture;
// Object type index of the effect shown when an object is thrown.
extern uint32_t LaunchEffectTypeIndex;

// Start values of everything in this file (before game mode is entered, the frame function is the
// game frame and the frame time 1/50 s).
void InitFrameDefaults();

void EnterGameMode();
void SetRunMode(uint32_t mode);
void ResetFrameTimer();
void InitMathTables();

void GameFrame();
void EditorFrame();
void VideoFrame();
void GameTick();
void HandleFunctionKeys();

// Clears the whole colour buffer to black, then puts the render state's clear colour back.
void ClearFrame(NztRenderState* state);
void ResetClearColor();
void DrawCinemaBorders();

void InitEngineResources();
void ShutdownEngine();

// Send event 67 (Ctrl released) or 66 (Escape released) to the player, the scene objects, the
// triggers, the characters and the game event object; 1 when any of them handled it.
uint32_t BroadcastCtrlReleased();
uint32_t BroadcastEscapeReleased();

// The pieces the frame functions are made of.
// The whole milliseconds the main loop may sleep before the frame clock lets the next frame run:
// a millisecond short of the time left, rounded down; 0 when less than two are left, and 0 when
// the current frame function does not run on the clock.
uint32_t FrameWaitMilliseconds();
// The microseconds the main loop sleeps, no message waking it, when FrameWaitMilliseconds gives
// 0: the time left less FrameSleepMarginMs (at most two milliseconds' worth), so that a sleep that
// ends a little late still lets the frame start on time; within the margin a nap of at most
// FrameNapMicroseconds that ends FrameSpinMicroseconds before the frame; 0 in those last
// microseconds (the loop looks at the clock), when the frame is due, or when the frame function
// does not run on the clock.
inline constexpr double FrameSleepMarginMs = 0.5;
inline constexpr double FrameNapMicroseconds = 100.0;
inline constexpr double FrameSpinMicroseconds = 50.0;
uint32_t FrameSleepMicroseconds();

// What the function-key handling reaches outside the key tables. The engine passes its own
// services; tests pass recording fakes.
struct FunctionKeyTargets {
    uint32_t (*broadcastCtrlReleased)();
    uint32_t (*broadcastEscapeReleased)();
    void (*sendGameEvent)(uint32_t code);
    void (*takeScreenshot)();
};
extern const FunctionKeyTargets EngineFunctionKeyTargets;
// Set when an Escape release went to a focus window that acts on it (the pause menu continues on
// it): the game's own Escape event is not raised for that release. Cleared when the function keys
// have seen the release, or by a new press.
extern bool EscapeTakenByWindow;
// Escape's key messages as the window procedure routes them (auto-repeats left out): a press, and a
// release with whether a focus window acted on it.
void NoteEscapeKeyDown();
void NoteEscapeKeyUp(bool takenByWindow);
void HandleFunctionKeysWith(const FunctionKeyTargets& targets);

// Game buttons of the key-state tables that the function keys read.
constexpr int kButtonCtrl = 4;
constexpr int kButtonEscape = 19;
constexpr int kButtonConsole = 20;  // Ctrl+C
constexpr int kButtonLeftMouse = 21;
constexpr int kButtonShift = 22;
constexpr int kButtonRightMouse = 23;
