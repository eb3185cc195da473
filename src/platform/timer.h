// The performance counter: a monotonic tick count and its frequency. The frame clock reads it
// through these two functions; tests install their own source to drive time by hand.
#pragma once

#include <cstdint>

class PerformanceCounterSource {
public:
    virtual ~PerformanceCounterSource() = default;
    virtual int64_t Frequency() const = 0;  // ticks per second, above 0
    virtual int64_t Counter() const = 0;    // ticks, never decreasing
};

// Replaces the source; null restores the steady system clock (nanosecond ticks).
void SetPerformanceCounterSource(const PerformanceCounterSource* source);

int64_t QueryPerformanceFrequency();
int64_t QueryPerformanceCounter();

// Sleeps the calling thread for about the microseconds given (the system's timer slack later at
// most); nothing wakes it early.
void SleepMicroseconds(uint32_t microseconds);
