#include "core/nztfile.h"

#include "core/paths.h"

bool NztFile::OpenRead(const char* name, QvzPackTree*) {
    mode = 1;
    lastOperation = 0;
    filePosition = 0;
    file = std::fopen(DataPath(name), "rb");
    return file != nullptr;
}

uint32_t NztFile::Read(uint32_t n, void* destination) {
    if (file) filePosition += static_cast<uint32_t>(std::fread(destination, 1, n, file));
    return n;
}

uint32_t NztFile::Tell() {
    if (file) filePosition = static_cast<uint32_t>(std::ftell(file));
    return filePosition;
}

void NztFile::Close() {
    if (file) std::fclose(file);
    file = nullptr;
    lastOperation = 0;
    filePosition = 0;
}
