#include "platform/timer.h"

#include <sys/prctl.h>

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
    if (microseconds == 0) return;
    // The kernel may let a sleep run on by the thread's timer slack (50 us unless set) to gather
    // wake-ups; the frame loop's short naps want the time they ask for, so a thread that sleeps
    // here asks for a slack of one microsecond, once.
    thread_local const bool tightSlack = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    static_cast<void>(tightSlack);
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}
