// A minimal 64-bit ELF shared-object image of this machine: the header, a loadable segment over
// the whole file and a dynamic segment inside it. It cannot be loaded (it has no dynamic section
// worth the name); it is the shape the plug-in host checks before it hands a file to the loader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace datakit {

struct ElfImageLayout {
    size_t phoff = 0;        // first program header
    size_t phentsize = 0;    // bytes per program header
    size_t loadHeader = 0;   // the PT_LOAD program header
    size_t dynamicHeader = 0;  // the PT_DYNAMIC program header
};

std::vector<uint8_t> MakeElfSharedObject(ElfImageLayout* layout = nullptr);

// Writes a little-endian field of `bytes` wide at `at` (the machines we build for are little-endian).
void PatchLe(std::vector<uint8_t>& image, size_t at, uint64_t value, size_t bytes);

}  // namespace datakit
