// Run-time loading of shared libraries (the sound libraries, plug-ins).
#pragma once

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
