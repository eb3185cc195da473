// The plug-in host's check of a library file's ELF headers over arbitrary bytes (the whole input
// is the file).
#include <cstddef>
#include <cstdint>

#include "platform/dynlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t wanted = DynLibHeaderBytes(data, size);
    (void)CheckDynLibImage(data, size < wanted ? size : wanted, size);
    (void)CheckDynLibImage(data, size, size);
    return 0;
}
