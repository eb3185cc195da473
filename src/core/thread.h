// The worker thread manager and the global music thread object.
#pragma once

#include <cstdint>

struct NztJob {
    uint8_t persistent = 0;
    void (*function)() = nullptr;
};

class CNztThread {
public:
    virtual ~CNztThread() = default;
};

class CNztThreadManager : public CNztThread {
public:
    uint8_t autoStart = 0;
};

class CNztMusic : public CNztThreadManager {
public:
    NztJob musicJob;
};

extern CNztMusic MusicThread;
