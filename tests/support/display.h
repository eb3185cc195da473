// Waiting for the shared test display. On a machine whose every core is busy, the X server of the
// test run has been seen to refuse a connection now and then (SDL: "x11 not available") while it
// serves the other tests' windows. A test that needs the display waits for it to take the
// connection, within a generous limit, instead of failing on the first refusal.
#pragma once

#include <chrono>
#include <cstdio>
#include <thread>

// Calls `open` (true when the video system started) until it succeeds or a minute has passed; a
// refusal before the last try is noted on stderr.
template <typename Open>
bool OpenOnceTheDisplayTakesUs(Open open) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!open()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::fprintf(stderr, "test display: the video system did not start; trying again\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
}
