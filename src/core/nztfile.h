// NztFile: the one stream every loader and saver reads and writes its data through. Three back
// ends hide behind Read, Write and Tell: a C library file, the unpacked bytes of a pack entry, and a
// growing memory block (scene snapshots).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct QvzPackTree;

// Modes of a stream.
enum : uint32_t {
    NztFileRead = 1,
    NztFileWrite = 2,
    NztFileReadWrite = 3,       // "r+b"
    NztFileReadWriteNew = 4,    // "w+b"
};

struct NztFile {
    FILE* file = nullptr;
    uint32_t mode = 0;
    uint32_t lastOperation = 0;  // 0 none, 1 read, 2 write (modes 3 and 4 re-seek on a switch)
    uint32_t filePosition = 0;
    uint32_t memoryPosition = 0;
    uint8_t* memoryBlock = nullptr;
    uint8_t* cursor = nullptr;   // memoryBlock + memoryPosition at the last operation
    uint32_t capacity = 0;       // allocated bytes of a growing block
    uint32_t size = 0;           // bytes written to a growing block; bytes readable in a fixed one
    uint32_t fixed = 0;          // non-zero: the block never grows and refuses writes
    bool memoryStream = false;
    bool ownsBlock = false;      // the block is ours to free (pack bytes, a growing block)
    bool shortRead = false;      // some read fell short (or a write was refused or failed)

    NztFile() = default;
    NztFile(const NztFile&) = delete;
    NztFile& operator=(const NztFile&) = delete;
    ~NztFile();

    // Opens a relative data name: from the category pack when it holds the name, else the loose
    // file under the data folder (found case-insensitively, '\\' counting as a separator).
    bool OpenRead(const char* name, QvzPackTree* pack);
    // Opens a full path in one of the modes of OpenFileMode (1 "rb", 2 "wb", 3 "r+b", 4 "w+b").
    bool OpenFile(const char* path, uint32_t openMode);
    // A read stream over bytes the caller keeps alive; the stream never reads past size.
    void OpenMemory(const void* data, uint32_t bytes);
    // A write stream into a block that grows in steps of 1 MB; take the block with TakeBlock.
    void OpenGrowingBlock();

    // Copies n bytes and advances. A read past the end copies what is there, zero-fills the rest
    // of the destination and sets shortRead. Returns the bytes actually read.
    uint32_t Read(uint32_t n, void* destination);
    // Stores n bytes and advances. A fixed block refuses (0, shortRead set).
    uint32_t Write(uint32_t n, const void* source);
    uint32_t Tell();
    // Moves the read/write position to pos (within the data); false when it lies beyond the end.
    bool Seek(uint32_t pos);
    // Moves the position n bytes on without flushing or asking the file's length: the caller knows
    // the bytes are there (a read stream's reader has bounded them). False when the move fails.
    bool Skip(uint32_t n);
    // Bytes readable from the start: the block's size or the file's length.
    uint32_t Length();
    bool IsOpen() const { return file != nullptr || memoryStream; }
    bool ShortRead() const { return shortRead; }

    // Reads from the current position to the end into out (replacing its contents). False, with
    // out emptied, when more than maxBytes remain or a read falls short.
    bool ReadToEnd(std::vector<uint8_t>& out, uint32_t maxBytes);

    // Hands the growing block and its size to the caller, who frees it with free().
    uint8_t* TakeBlock(uint32_t* bytes);

    // Ends the stream. A pack entry's bytes are freed; a write-mode memory block stays in
    // memoryBlock for its owner (who now frees it).
    void Close();
    void CloseWrite();
    // fclose when a file is open, then every field to zero.
    void CloseAndClear();

    // Hands a block allocated with malloc to the stream as a fixed read stream that frees it.
    void AdoptFixedBlock(uint8_t* block, uint32_t bytes);

 private:
    bool GrowTo(uint64_t needed);
};

// Writes a file through a temporary beside it; Commit renames the temporary over the target, so a
// failed save keeps the last good file. An uncommitted save removes its temporary.
class AtomicSave {
 public:
    AtomicSave() = default;
    AtomicSave(const AtomicSave&) = delete;
    AtomicSave& operator=(const AtomicSave&) = delete;
    ~AtomicSave();

    bool Open(const char* path);
    NztFile& Stream() { return stream_; }
    // Flushes, closes and renames; false (with one line on stderr) when any step failed.
    bool Commit();

 private:
    NztFile stream_;
    std::string path_;
    std::string temp_;
};
