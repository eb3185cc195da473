#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "core/thread.h"

namespace {

bool WaitUntil(const std::function<bool()>& done, int ms = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::atomic<int> runs{0};
void CountRun() { ++runs; }

class ThreadManager : public ::testing::Test {
protected:
    void SetUp() override { runs = 0; }
    CNztThreadManager manager;
    NztJob job{0, CountRun};
};

TEST_F(ThreadManager, AddJobStartsTheThreadOnlyWithAutoStart) {
    manager.AddJob(&job);
    EXPECT_FALSE(manager.IsRunning());
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(manager.Start(), 1u);
    EXPECT_TRUE(WaitUntil([] { return runs == 1; }));
    EXPECT_EQ(manager.Start(), 0u) << "already running";

    CNztThreadManager automatic;
    automatic.autoStart = 1;
    automatic.AddJob(&job);
    EXPECT_TRUE(WaitUntil([] { return runs == 2; }));
    EXPECT_TRUE(automatic.IsRunning());
}

TEST_F(ThreadManager, AJobAddedTwiceRunsTwice) {
    manager.autoStart = 1;
    manager.AddJob(&job);
    manager.AddJob(&job);
    EXPECT_TRUE(WaitUntil([] { return runs == 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(manager.oneShotJobs.empty());
}

TEST_F(ThreadManager, RemoveJobTakesTheLastCopy) {
    NztJob other{0, CountRun};
    manager.AddJob(&job);
    manager.AddJob(&other);
    manager.AddJob(&job);
    EXPECT_TRUE(manager.RemoveJob(manager.oneShotJobs, &job));
    ASSERT_EQ(manager.oneShotJobs.size(), 2u);
    EXPECT_EQ(manager.oneShotJobs[0], &job);
    EXPECT_EQ(manager.oneShotJobs[1], &other);
    EXPECT_FALSE(manager.RemoveJob(manager.persistentJobs, &job));
}

TEST_F(ThreadManager, StoppingAStoppedThreadAnswersOne) {
    // A wait would take the whole timeout; the bound leaves room for a busy machine.
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(manager.Stop(5000), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
}

TEST_F(ThreadManager, AnIdleWorkerStopsPromptlyAndStartsAgain) {
    ASSERT_EQ(manager.Start(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it reach the idle wait
    EXPECT_EQ(manager.Stop(1000), 1u);
    EXPECT_FALSE(manager.IsRunning());
    manager.autoStart = 1;
    manager.AddJob(&job);
    EXPECT_TRUE(WaitUntil([] { return runs == 1; }));
}

TEST_F(ThreadManager, AJobAddedToAnIdleWorkerWakesIt) {
    ASSERT_EQ(manager.Start(), 1u);
    for (int i = 1; i <= 20; ++i) {
        manager.AddJob(&job);
        ASSERT_TRUE(WaitUntil([i] { return runs == i; })) << "job " << i << " was not run";
    }
}

TEST_F(ThreadManager, PersistentJobsRunOnEveryPassUntilStopped) {
    NztJob persistent{1, CountRun};
    manager.AddJob(&persistent);
    EXPECT_EQ(manager.persistentJobs.size(), 1u);
    manager.Start();
    EXPECT_TRUE(WaitUntil([] { return runs > 10; }));
    EXPECT_EQ(manager.Stop(1000), 1u);
    int after = runs;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(runs, after);
}

TEST_F(ThreadManager, IdleStopEndsTheThreadByItself) {
    manager.idleStop = 1;
    manager.Start();
    EXPECT_TRUE(WaitUntil([this] { return !manager.IsRunning(); }));
    EXPECT_EQ(manager.idleCountdown, 10.0f);
}

}  // namespace
