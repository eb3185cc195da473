// Run-time loading of shared libraries (the sound libraries, plug-ins).
#pragma once

#include <cstddef>
#include <cstdint>

using DynLibHandle = void*;  // null when nothing is loaded

// Loads a library by path, or by a run-time library name such as "libopenal.so.1" that the
// dynamic loader resolves through its usual search (never the current folder). Symbols are bound
// at once and kept local to the library. Null on failure.
DynLibHandle OpenDynLib(const char* pathOrName);

// The address of an exported symbol, or null when the library lacks it (or the handle is null).
void* GetDynLibSymbol(DynLibHandle lib, const char* name);

// Unloads a library opened by OpenDynLib; a null handle is ignored.
void CloseDynLib(DynLibHandle lib);

// The loader's description of the last failure, or "" when it gave none.
const char* DynLibError();

// Checks the start of an ELF image before the loader maps it: `head` holds the first `headSize`
// bytes of a file of `fileSize` bytes. The image must be a 64-bit shared object (ET_DYN) of this
// machine's byte order and architecture whose program header table and every segment's file range
// lie inside the file; the loader maps segments without checking, and touching a page past the end
// of a mapped file kills the process. Null when the image passes, else a short description of the
// fault. headSize should cover the program header table (DynLibHeaderBytes tells how much).
const char* CheckDynLibImage(const uint8_t* head, size_t headSize, uint64_t fileSize);

// How many leading bytes CheckDynLibImage needs for an image whose first `headSize` bytes are
// given: the ELF header alone when they are fewer, else up to the end of the program headers.
size_t DynLibHeaderBytes(const uint8_t* head, size_t headSize);

// CheckDynLibImage on a file: reads its size and the bytes the check needs. Null when it passes.
const char* CheckDynLibFile(const char* path);
