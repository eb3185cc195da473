#include "platform/dynlib.h"

#include <dlfcn.h>

#include <cstdio>

namespace {
// dlerror()'s text lives only until the next loader call; keep a copy for DynLibError.
thread_local char lastError[512];

void RememberError() {
    const char* e = dlerror();
    std::snprintf(lastError, sizeof lastError, "%s", e ? e : "");
}
}  // namespace

DynLibHandle OpenDynLib(const char* pathOrName) {
    if (!pathOrName || !*pathOrName) return nullptr;
    void* lib = dlopen(pathOrName, RTLD_NOW | RTLD_LOCAL);
    if (!lib) RememberError();
    return lib;
}

void* GetDynLibSymbol(DynLibHandle lib, const char* name) {
    if (!lib || !name) return nullptr;
    dlerror();
    void* sym = dlsym(lib, name);
    if (!sym) RememberError();
    return sym;
}

void CloseDynLib(DynLibHandle lib) {
    if (lib) dlclose(lib);
}

const char* DynLibError() { return lastError; }
