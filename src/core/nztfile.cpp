#include "core/nztfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/pack.h"
#include "core/paths.h"

namespace {
// A growing block grows in steps of 1 MB, so that many small writes reallocate rarely.
constexpr uint64_t GrowStep = 0x100000;
}  // namespace

NztFile::~NztFile() {
    if (file) std::fclose(file);
    if (ownsBlock) std::free(memoryBlock);
}

bool NztFile::OpenRead(const char* name, QvzPackTree* pack) {
    CloseAndClear();
    if (pack) {
        PackBytes data = pack->GetFileData(name);
        if (data.found) {
            AdoptFixedBlock(data.bytes.release(), data.size);
            return true;
        }
    }
    const char* path = DataPath(name);
    return *path && OpenFile(path, NztFileRead);
}

bool NztFile::OpenFile(const char* path, uint32_t openMode) {
    CloseAndClear();
    if (openMode < NztFileRead || openMode > NztFileReadWriteNew) return false;
    file = OpenFileMode(path, openMode);
    if (!file) return false;
    mode = openMode;
    return true;
}

void NztFile::OpenMemory(const void* data, uint32_t bytes) {
    CloseAndClear();
    memoryStream = true;
    mode = NztFileRead;
    fixed = 1;
    memoryBlock = static_cast<uint8_t*>(const_cast<void*>(data));
    cursor = memoryBlock;
    size = data ? bytes : 0;
}

void NztFile::AdoptFixedBlock(uint8_t* block, uint32_t bytes) {
    OpenMemory(block, bytes);
    ownsBlock = block != nullptr;
}

void NztFile::OpenGrowingBlock() {
    CloseAndClear();
    memoryStream = true;
    mode = NztFileWrite;
}

uint32_t NztFile::Read(uint32_t n, void* destination) {
    uint8_t* out = static_cast<uint8_t*>(destination);
    uint32_t got = 0;
    if (memoryStream) {
        uint32_t available = memoryPosition < size ? size - memoryPosition : 0;
        got = n < available ? n : available;
        cursor = memoryBlock + memoryPosition;
        if (got) std::memcpy(out, cursor, got);
        memoryPosition += got;
    } else if (file) {
        if (mode >= NztFileReadWrite && lastOperation == 2) std::fseek(file, filePosition, SEEK_SET);
        lastOperation = 1;
        got = static_cast<uint32_t>(std::fread(out, 1, n, file));
        filePosition += got;
    }
    if (got < n) {
        std::memset(out + got, 0, n - got);
        shortRead = true;
    }
    return got;
}

bool NztFile::GrowTo(uint64_t needed) {
    uint64_t wanted = needed + GrowStep;
    if (wanted > UINT32_MAX) wanted = UINT32_MAX;
    if (wanted < needed) return false;
    uint8_t* grown = static_cast<uint8_t*>(std::realloc(ownsBlock ? memoryBlock : nullptr, wanted));
    if (!grown) return false;
    if (!ownsBlock && memoryBlock && capacity) std::memcpy(grown, memoryBlock, capacity);
    memoryBlock = grown;
    ownsBlock = true;
    capacity = static_cast<uint32_t>(wanted);
    return true;
}

uint32_t NztFile::Write(uint32_t n, const void* source) {
    if (memoryStream) {
        uint64_t newSize = uint64_t{size} + n;
        uint64_t end = uint64_t{memoryPosition} + n;
        if (fixed || newSize > UINT32_MAX || end > UINT32_MAX) {
            shortRead = true;
            return 0;
        }
        uint64_t needed = newSize > end ? newSize : end;
        if (needed > capacity && !GrowTo(needed)) {
            shortRead = true;
            return 0;
        }
        size = static_cast<uint32_t>(newSize);
        cursor = memoryBlock + memoryPosition;
        if (n) std::memcpy(cursor, source, n);
        memoryPosition += n;
        return n;
    }
    if (!file) {
        shortRead = true;
        return 0;
    }
    if (mode >= NztFileReadWrite && lastOperation == 1) std::fseek(file, filePosition, SEEK_SET);
    lastOperation = 2;
    uint32_t put = static_cast<uint32_t>(std::fwrite(source, 1, n, file));
    filePosition += put;
    if (put < n) shortRead = true;
    return put;
}

uint32_t NztFile::Tell() {
    if (memoryStream) return memoryPosition;
    if (!file) return 0;
    long pos = std::ftell(file);
    filePosition = pos < 0 ? 0 : static_cast<uint32_t>(pos);
    return filePosition;
}

bool NztFile::Seek(uint32_t pos) {
    if (memoryStream) {
        if (pos > size) return false;
        memoryPosition = pos;
        cursor = memoryBlock + pos;
        return true;
    }
    if (!file || pos > Length() || std::fseek(file, pos, SEEK_SET) != 0) return false;
    filePosition = pos;
    lastOperation = 0;
    return true;
}

bool NztFile::Skip(uint32_t n) {
    if (memoryStream) {
        if (n > size - std::min(memoryPosition, size)) return false;
        memoryPosition += n;
        cursor = memoryBlock + memoryPosition;
        return true;
    }
    if (!file) return false;
    if (mode != NztFileRead) return Seek(Tell() + n);
    // A short hop is read through the stream's buffer, which usually holds it already; a long one
    // is a seek from here.
    constexpr uint32_t ReadThrough = 4096;
    if (n <= ReadThrough) {
        uint8_t scratch[ReadThrough];
        if (std::fread(scratch, 1, n, file) != n) return false;
    } else if (std::fseek(file, static_cast<long>(n), SEEK_CUR) != 0) {
        return false;
    }
    filePosition += n;
    lastOperation = 1;
    return true;
}

uint32_t NztFile::Length() {
    if (memoryStream) return size;
    if (!file) return 0;
    std::fflush(file);
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || st.st_size < 0) return 0;
    return st.st_size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(st.st_size);
}

uint8_t* NztFile::TakeBlock(uint32_t* bytes) {
    uint8_t* block = memoryBlock;
    if (bytes) *bytes = size;
    memoryBlock = cursor = nullptr;
    ownsBlock = false;
    memoryStream = false;
    memoryPosition = size = capacity = fixed = 0;
    return block;
}

void NztFile::Close() {
    if (memoryStream) {
        cursor = nullptr;
        fixed = 0;
        if (mode != NztFileWrite) {
            // Pack bytes are this stream's own copy: another stream on the same entry has its own.
            if (ownsBlock) std::free(memoryBlock);
            memoryBlock = nullptr;
        }
        // A write-mode block stays in memoryBlock; from here on it belongs to the stream's owner.
        ownsBlock = false;
        memoryStream = false;
        memoryPosition = size = capacity = 0;
    }
    if (file) {
        std::fclose(file);
        file = nullptr;
        lastOperation = 0;
        filePosition = 0;
    }
}

void NztFile::CloseWrite() { Close(); }

void NztFile::CloseAndClear() {
    if (file) std::fclose(file);
    if (ownsBlock) std::free(memoryBlock);
    file = nullptr;
    mode = lastOperation = filePosition = memoryPosition = capacity = size = fixed = 0;
    memoryBlock = cursor = nullptr;
    memoryStream = ownsBlock = shortRead = false;
}

AtomicSave::~AtomicSave() {
    if (stream_.file) {
        stream_.CloseAndClear();
        std::remove(temp_.c_str());
    }
}

bool AtomicSave::Open(const char* path) {
    path_ = path;
    temp_ = path_ + ".tmp";
    if (stream_.OpenFile(temp_.c_str(), NztFileWrite)) return true;
    std::fprintf(stderr, "file: %s: cannot create (%s)\n", temp_.c_str(), std::strerror(errno));
    return false;
}

bool AtomicSave::Commit() {
    if (!stream_.file) return false;
    FILE* f = stream_.file;
    bool ok = !stream_.ShortRead() && std::fflush(f) == 0 && !std::ferror(f) && fsync(fileno(f)) == 0;
    stream_.file = nullptr;
    ok = std::fclose(f) == 0 && ok;
    stream_.CloseAndClear();
    if (ok && std::rename(temp_.c_str(), path_.c_str()) == 0) return true;
    std::fprintf(stderr, "file: %s: save failed (%s); the previous file is kept\n", path_.c_str(),
                 std::strerror(errno));
    std::remove(temp_.c_str());
    return false;
}

bool NztFile::ReadToEnd(std::vector<uint8_t>& out, uint32_t maxBytes) {
    out.clear();
    const uint32_t length = Length();
    const uint32_t position = Tell();
    const uint32_t remaining = position < length ? length - position : 0;
    if (remaining > maxBytes) return false;
    out.resize(remaining);
    if (remaining != 0 && Read(remaining, out.data()) != remaining) {
        out.clear();
        return false;
    }
    return true;
}
