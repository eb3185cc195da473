#include "platform/timer.h"

#include <chrono>
#include <thread>

namespace {
class SteadyClockSource final : public PerformanceCounterSource {
public:
    int64_t Frequency() const override { return 1'000'000'000; }
    int64_t Counter() const override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

const SteadyClockSource kSteadyClock;
const PerformanceCounterSource* gSource = &kSteadyClock;
}  // namespace

void SetPerformanceCounterSource(const PerformanceCounterSource* source) {
    gSource = source != nullptr ? source : &kSteadyClock;
}

int64_t QueryPerformanceFrequency() { return gSource->Frequency(); }

int64_t QueryPerformanceCounter() { return gSource->Counter(); }

void SleepMicroseconds(uint32_t microseconds) {
    if (microseconds != 0) std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}
