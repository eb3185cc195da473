// The frame functions that the main loop calls, the run modes that choose between them, the frame
// clock with its 60-per-second cap and the frame-time values everything moving multiplies by, and
// the two batch operations around GL start-up and exit (common resources in, the world out).
#pragma once

#include <cstdint>

struct NztRenderState;

using FrameFn = void (*)();
// The function the main loop calls once per pass.
extern FrameFn FrameFunction;

constexpr uint32_t RunModeGame = 1;
constexpr uint32_t RunModeEditor = 2;
constexpr uint32_t RunModeBackToGame = 3;  // never stored: becomes RunModeGame, keeping the clock
constexpr uint32_t RunModeVideo = 4;

struct RunModeState {
    uint32_t current = 0;  // 0 until game mode is entered
    uint32_t previous = 0;
};
extern RunModeState RunMode;

// The performance-counter clock. Times are in counter ticks since the start count.
struct FrameClockState {
    double frequency = 0.0;  // ticks per second
    double inverseFrequency = 0.0;
    int64_t startCount = 0;
    double lastFrameTime = 0.0;
    double frameCap = 0.0;  // frequency / 60: the least time between two frames
};
extern FrameClockState FrameClock;

struct FrameTimingState {
    float measuredRate = 50.0f;       // frames per second of the last clock step, at least 1
    float rate = 50.0f;               // the rate the frame time is derived from
    float frameTime = 0.02f;          // dt, seconds
    float frameFactor = 1.0f;         // dt x 50: the frame in steps of 1/50 s
    float inverseFrameFactor = 1.0f;  // 1 / (dt x 50)
    float timeScale = 0.0f;           // 0 = real time; 2 runs game time twice as fast
};
extern FrameTimingState FrameTiming;

// Accumulators that pace slow work without timers. The 0.05-second accumulator alternately resets
// tickA and tickB, so each of them is reset every 0.1 s, half a period apart, and reads exactly 0.0
// only in the frame that reset it.
struct FrameAccumulatorState {
    float halfSecond = 0.0f;
    float lastHalfSecond = 0.0f;
    float twentieth = 0.0f;
    float tickA = 0.0f;
    float lastTickA = 0.0f;
    float tickB = 0.0f;
    float lastTickB = 0.0f;
    uint32_t resetANext = 1;
};
extern FrameAccumulatorState FrameAccumulators;

// The three textures every level uses, loaded with the engine's resources.
extern uint32_t SunReflectTexture;
extern uint32_t ThunderTexture;
extern uint32_t BorderCinemaTexture;
// Object type index of the effect shown when an object is thrown.
extern uint32_t LaunchEffectTypeIndex;

// Start values of everything in this file (before game mode is entered, the frame function is the
// game frame and the frame time 1/50 s).
void InitFrameDefaults();

void EnterGameMode();
void SetRunMode(uint32_t mode);
void ResetFrameTimer();
void InitTimer();
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
// The clock step: false when less than the frame cap has passed since the last frame (the pass
// then does nothing); otherwise the frame time is taken and *measuredRate is the scaled rate.
bool StepFrameClock(float* measuredRate);
// The whole milliseconds the main loop may sleep before the frame clock lets the next frame run:
// a millisecond short of the time left, rounded down; 0 when less than two are left, and 0 when
// the current frame function does not run on the clock.
uint32_t FrameWaitMilliseconds();
// Derives the frame time, the frame factor and its inverse from a rate.
void SetFrameRate(float rate);
// The editor frame's rate: the average of five measured rates, applied every fifth frame.
void AverageEditorFrameRate(float measuredRate);
void AdvanceAccumulators(float dt);

// What the function-key handling reaches outside the key tables. The engine passes its own
// services; tests pass recording fakes.
struct FunctionKeyTargets {
    uint32_t (*broadcastCtrlReleased)();
    uint32_t (*broadcastEscapeReleased)();
    void (*sendGameEvent)(uint32_t code);
    void (*takeScreenshot)();
};
extern const FunctionKeyTargets EngineFunctionKeyTargets;
void HandleFunctionKeysWith(const FunctionKeyTargets& targets);

// Game buttons of the key-state tables that the function keys read.
constexpr int kButtonCtrl = 4;
constexpr int kButtonEscape = 19;
constexpr int kButtonConsole = 20;  // Ctrl+C
constexpr int kButtonLeftMouse = 21;
constexpr int kButtonShift = 22;
constexpr int kButtonRightMouse = 23;
