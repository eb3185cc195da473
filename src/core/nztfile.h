// Data-file stream over a plain file, a pack entry or a memory block.
#pragma once

#include <cstdint>
#include <cstdio>

class QvzPackTree;

struct NztFile {
    FILE* file = nullptr;
    uint32_t mode = 0;
    uint32_t lastOperation = 0;
    uint32_t filePosition = 0;

    bool OpenRead(const char* name, QvzPackTree* pack);
    uint32_t Read(uint32_t n, void* destination);
    uint32_t Tell();
    void Close();
};
