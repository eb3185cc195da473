// The frame clock with its 60-per-second cap, the frame-time values everything moving multiplies
// by, the accumulators that pace slow work, and the run mode. The main loop calls FrameFunction
// once per pass; the game installs its frame functions there.
#pragma once

#include <cstdint>

using FrameFn = void (*)();
// The function the main loop calls once per pass (null until the game installs one).
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

// Switches the run mode (and with it the frame function). The game installs its SetRunMode here at
// start-up; lower floors that change the mode call through it. Null does nothing.
extern void (*RunModeChanger)(uint32_t mode);

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

// Start values of the run mode, the clock, the frame time and the accumulators (frame time 1/50 s).
void ResetFrameClock();
void InitTimer();

// The clock step: false when less than the frame cap has passed since the last frame (the pass
// then does nothing); otherwise the frame time is taken and *measuredRate is the scaled rate.
bool StepFrameClock(float* measuredRate);
// Derives the frame time, the frame factor and its inverse from a rate.
void SetFrameRate(float rate);
// The editor frame's rate: the average of five measured rates, applied every fifth frame.
void AverageEditorFrameRate(float measuredRate);
void AdvanceAccumulators(float dt);
