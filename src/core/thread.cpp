#include "core/thread.h"

#include <chrono>
#include <system_error>

CNztMusic MusicThread;

CNztThread::CNztThread() = default;

CNztThread::~CNztThread() { StopAndJoin(); }

bool CNztThread::IsRunning() const {
    std::lock_guard<std::mutex> guard(signalLock_);
    return running_;
}

std::thread::id CNztThread::ThreadId() const {
    std::lock_guard<std::mutex> guard(signalLock_);
    return threadId_;
}

void CNztThread::JoinIfEnded() {
    bool ended;
    {
        std::lock_guard<std::mutex> guard(signalLock_);
        ended = ended_;
    }
    if (ended && thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

uint32_t CNztThread::Start() {
    {
        std::lock_guard<std::mutex> guard(signalLock_);
        if (running_) return 0;
    }
    JoinIfEnded();  // a thread that ended by itself still has to be joined
    {
        std::lock_guard<std::mutex> guard(signalLock_);
        running_ = true;
        stop_ = false;
        ended_ = false;
        threadId_ = std::thread::id();  // set by the new thread itself
    }
    try {
        thread_ = std::thread(&CNztThread::ThreadProc, this);
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> guard(signalLock_);
        running_ = false;
        ended_ = true;
        return 0;
    }
    return 1;
}

void CNztThread::ThreadProc(CNztThread* self) {
    {
        std::lock_guard<std::mutex> guard(self->signalLock_);
        self->threadId_ = std::this_thread::get_id();
    }
    self->Run();
    std::lock_guard<std::mutex> guard(self->signalLock_);
    self->stop_ = false;
    self->running_ = false;
    self->ended_ = true;
    self->signal_.notify_all();
}

uint32_t CNztThread::Stop(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(signalLock_);
    if (!running_) {
        lock.unlock();
        JoinIfEnded();
        return 1;
    }
    stop_ = true;
    wake_ = true;
    signal_.notify_all();
    // The worker stops itself: it cannot wait for its own end. Its id is set under this lock
    // before Run starts, unlike thread_, which Start may still be assigning.
    if (threadId_ == std::this_thread::get_id()) return 1;
    bool ended = signal_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return ended_; });
    lock.unlock();
    if (!ended) return 0;
    JoinIfEnded();
    return 1;
}

void CNztThread::StopAndJoin() {
    {
        std::lock_guard<std::mutex> guard(signalLock_);
        if (running_) {
            stop_ = true;
            wake_ = true;
            signal_.notify_all();
        }
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool CNztThread::StopRequested() {
    std::lock_guard<std::mutex> guard(signalLock_);
    return stop_;
}

bool CNztThread::WaitForStop(uint32_t ms) {
    std::unique_lock<std::mutex> lock(signalLock_);
    return signal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void CNztThread::SetWake() {
    std::lock_guard<std::mutex> guard(signalLock_);
    wake_ = true;
    signal_.notify_all();
}

void CNztThread::ResetWake() {
    std::lock_guard<std::mutex> guard(signalLock_);
    wake_ = false;
}

void CNztThread::WaitForWake() {
    std::unique_lock<std::mutex> lock(signalLock_);
    signal_.wait(lock, [this] { return wake_ || stop_; });
}

CNztThreadManager::CNztThreadManager() {
    oneShotJobs.reserve(20);
    persistentJobs.reserve(20);
}

// The loop calls virtual Run of this object; stop it while the object is still whole.
CNztThreadManager::~CNztThreadManager() { StopAndJoin(); }

bool CNztThreadManager::AddJob(NztJob* job) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    idleCountdown = 10.0f;
    (job->persistent ? persistentJobs : oneShotJobs).push_back(job);
    SetWake();
    if (autoStart && !IsRunning()) Start();
    return true;
}

bool CNztThreadManager::RemoveJob(std::vector<NztJob*>& list, NztJob* job) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    for (size_t i = list.size(); i-- > 0;) {
        if (list[i] == job) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            idleCountdown = 10.0f;
            return true;
        }
    }
    return false;
}

uint32_t CNztThreadManager::Run() {
    if (StopRequested()) return 1;
    do {
        NztJob* job = nullptr;
        std::vector<NztJob*> persistent;
        bool idle;
        {
            std::lock_guard<std::recursive_mutex> guard(Lock());
            if (!oneShotJobs.empty()) {
                job = oneShotJobs.front();
                RemoveJob(job->persistent ? persistentJobs : oneShotJobs, job);
            }
            persistent = persistentJobs;
            idle = !job && persistent.empty();
            // Cleared under the job lock, so a job added after this point raises it again.
            if (idle && !idleStop) ResetWake();
        }
        if (job && job->function) job->function();
        for (size_t i = persistent.size(); i-- > 0;) {
            if (persistent[i]->function) persistent[i]->function();
        }
        if (!idle) continue;
        if (!idleStop) {
            WaitForWake();
            continue;
        }
        bool stopNow = false;
        {
            std::lock_guard<std::recursive_mutex> guard(Lock());
            idleCountdown -= 1.0f;
            if (idleCountdown <= 0.0f) {
                idleCountdown = 10.0f;
                stopNow = true;
            }
        }
        if (stopNow) Stop(500);
    } while (!StopRequested());
    return 1;
}
