#include "core/frameclock.h"

#include "platform/timer.h"

FrameFn FrameFunction = nullptr;
RunModeState RunMode;
void (*RunModeChanger)(uint32_t mode) = nullptr;
FrameClockState FrameClock;
FrameTimingState FrameTiming;
FrameAccumulatorState FrameAccumulators;

namespace {

struct EditorAveraging {
    uint32_t frameCount = 0;
    float rateSum = 0.0f;
};
EditorAveraging gEditorAveraging;

}  // namespace

void ResetFrameClock() {
    RunMode = RunModeState{};
    FrameClock = FrameClockState{};
    FrameTiming = FrameTimingState{};
    FrameAccumulators = FrameAccumulatorState{};
    gEditorAveraging = EditorAveraging{};
}

void InitTimer() {
    FrameTiming.rate = 50.0f;
    FrameTiming.frameTime = 0.02f;
    FrameTiming.frameFactor = 1.0f;
    FrameTiming.inverseFrameFactor = 1.0f;
    FrameClock.frequency = static_cast<double>(QueryPerformanceFrequency());
    FrameClock.inverseFrequency = 1.0 / FrameClock.frequency;
    FrameClock.startCount = QueryPerformanceCounter();
}

bool StepFrameClock(float* measuredRate) {
    const double now = static_cast<double>(QueryPerformanceCounter() - FrameClock.startCount);
    double delta = now - FrameClock.lastFrameTime;
    if (delta < FrameClock.frameCap) return false;
    FrameClock.lastFrameTime = now;
    if (FrameTiming.timeScale != 0.0f) delta *= FrameTiming.timeScale;
    float rate = static_cast<float>(FrameClock.frequency / delta);
    // At least one frame a second, so that dt never exceeds a second (a NaN counts as too slow).
    if (!(rate > 1.0f)) rate = 1.0f;
    FrameTiming.measuredRate = rate;
    *measuredRate = rate;
    return true;
}

void SetFrameRate(float rate) {
    FrameTiming.rate = rate;
    FrameTiming.frameTime = 1.0f / rate;
    FrameTiming.frameFactor = FrameTiming.frameTime * 50.0f;
    FrameTiming.inverseFrameFactor = 1.0f / FrameTiming.frameFactor;
}

void AverageEditorFrameRate(float measuredRate) {
    gEditorAveraging.frameCount += 1;
    gEditorAveraging.rateSum += measuredRate;
    if (gEditorAveraging.frameCount >= 5) {
        SetFrameRate(gEditorAveraging.rateSum * 0.2f);
        gEditorAveraging = EditorAveraging{};
    }
}

void AdvanceAccumulators(float dt) {
    FrameAccumulatorState& a = FrameAccumulators;
    a.twentieth += dt;
    a.tickA += dt;
    a.tickB += dt;
    if (a.twentieth < 0.05f) return;
    a.twentieth = 0.0f;
    if (a.resetANext != 0) {
        a.lastTickA = a.tickA;
        a.tickA = 0.0f;
        a.resetANext = 0;
    } else {
        a.lastTickB = a.tickB;
        a.tickB = 0.0f;
        a.resetANext = 1;
    }
}
