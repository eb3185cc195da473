// The worker thread: a thread wrapper, a job manager on top of it, and the global music thread
// object whose only job streams music.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// A thread with stop and wake signals. Run is the thread's body; it should return soon after
// the stop signal is raised.
class CNztThread {
public:
    CNztThread();
    virtual ~CNztThread();
    CNztThread(const CNztThread&) = delete;
    CNztThread& operator=(const CNztThread&) = delete;

    virtual uint32_t Run() = 0;
    // 1 when a thread was started, 0 when one already runs or none could be created.
    virtual uint32_t Start();
    // Raises stop and wake and waits up to timeoutMs for the thread to end (joins it when it
    // did). 1 when no thread runs any more, 0 when it still runs after the wait. Called from
    // the worker itself it only raises the signals.
    virtual uint32_t Stop(uint32_t timeoutMs);
    // Like Stop, but waits however long the thread takes.
    void StopAndJoin();

    bool IsRunning() const;
    std::thread::id ThreadId() const;

    // The job-list lock; recursive because the worker re-enters it while holding it, and the
    // music stream state lives under it too.
    std::recursive_mutex& Lock() { return jobLock_; }

    // The stop signal is set (checked by long jobs between steps).
    bool StopRequested();
    // Waits up to ms for the stop signal; true when it is set.
    bool WaitForStop(uint32_t ms);

protected:
    // Wake signal: raised by Stop and by whoever hands the thread work; the idle worker waits on it.
    void SetWake();
    void ResetWake();
    // Blocks until wake or stop is raised.
    void WaitForWake();

private:
    static void ThreadProc(CNztThread* self);
    void JoinIfEnded();

    std::recursive_mutex jobLock_;
    mutable std::mutex signalLock_;  // guards the flags below
    std::condition_variable signal_;
    bool running_ = false;
    bool stop_ = false;
    bool wake_ = false;
    bool ended_ = true;  // the last thread's ThreadProc has finished
    std::thread thread_;
    std::thread::id threadId_;
};

// A job: a function run once (one-shot) or on every pass of the loop (persistent).
struct NztJob {
    uint8_t persistent = 0;
    void (*function)() = nullptr;
};

// Runs one-shot jobs in the order added and persistent jobs on every pass.
class CNztThreadManager : public CNztThread {
public:
    CNztThreadManager();
    ~CNztThreadManager() override;

    uint32_t Run() override;
    // Queues the job (on the persistent list when its flag says so), wakes the worker and, with
    // auto-start set, starts the thread when it is not running. Always true.
    bool AddJob(NztJob* job);
    // Removes the last copy of the job from the list; true when one was removed.
    bool RemoveJob(std::vector<NztJob*>& list, NztJob* job);

    uint8_t autoStart = 0;
    uint8_t idleStop = 0;
    float idleCountdown = 10.0f;  // idle passes before an idle-stop thread stops itself
    std::vector<NztJob*> oneShotJobs;
    std::vector<NztJob*> persistentJobs;
};

// The global worker: a job manager that carries the music streaming job.
class CNztMusic : public CNztThreadManager {
public:
    NztJob musicJob;
};

extern CNztMusic MusicThread;
