#include "datakit/elf.h"

#include <elf.h>

#include <cstddef>

namespace datakit {

void PatchLe(std::vector<uint8_t>& image, size_t at, uint64_t value, size_t bytes) {
    if (image.size() < at + bytes) image.resize(at + bytes);
    for (size_t i = 0; i < bytes; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> MakeElfSharedObject(ElfImageLayout* layout) {
    constexpr size_t kHeader = sizeof(Elf64_Ehdr);
    constexpr size_t kPh = sizeof(Elf64_Phdr);
    constexpr size_t kPayload = 64;
    const size_t total = kHeader + 2 * kPh + kPayload;
    std::vector<uint8_t> image(total, 0);
    image[EI_MAG0] = ELFMAG0;
    image[EI_MAG1] = ELFMAG1;
    image[EI_MAG2] = ELFMAG2;
    image[EI_MAG3] = ELFMAG3;
    image[EI_CLASS] = ELFCLASS64;
    image[EI_DATA] = ELFDATA2LSB;
    image[EI_VERSION] = EV_CURRENT;
#if defined(__aarch64__)
    const uint16_t machine = EM_AARCH64;
#else
    const uint16_t machine = EM_X86_64;
#endif
    PatchLe(image, offsetof(Elf64_Ehdr, e_type), ET_DYN, 2);
    PatchLe(image, offsetof(Elf64_Ehdr, e_machine), machine, 2);
    PatchLe(image, offsetof(Elf64_Ehdr, e_version), EV_CURRENT, 4);
    PatchLe(image, offsetof(Elf64_Ehdr, e_phoff), kHeader, 8);
    PatchLe(image, offsetof(Elf64_Ehdr, e_ehsize), kHeader, 2);
    PatchLe(image, offsetof(Elf64_Ehdr, e_phentsize), kPh, 2);
    PatchLe(image, offsetof(Elf64_Ehdr, e_phnum), 2, 2);
    const size_t load = kHeader;
    PatchLe(image, load + offsetof(Elf64_Phdr, p_type), PT_LOAD, 4);
    PatchLe(image, load + offsetof(Elf64_Phdr, p_flags), PF_R, 4);
    PatchLe(image, load + offsetof(Elf64_Phdr, p_offset), 0, 8);
    PatchLe(image, load + offsetof(Elf64_Phdr, p_filesz), total, 8);
    PatchLe(image, load + offsetof(Elf64_Phdr, p_memsz), total, 8);
    PatchLe(image, load + offsetof(Elf64_Phdr, p_align), 0x1000, 8);
    const size_t dynamic = kHeader + kPh;
    PatchLe(image, dynamic + offsetof(Elf64_Phdr, p_type), PT_DYNAMIC, 4);
    PatchLe(image, dynamic + offsetof(Elf64_Phdr, p_flags), PF_R, 4);
    PatchLe(image, dynamic + offsetof(Elf64_Phdr, p_offset), kHeader + 2 * kPh, 8);
    PatchLe(image, dynamic + offsetof(Elf64_Phdr, p_filesz), kPayload, 8);
    PatchLe(image, dynamic + offsetof(Elf64_Phdr, p_memsz), kPayload, 8);
    PatchLe(image, dynamic + offsetof(Elf64_Phdr, p_align), 8, 8);
    if (layout) *layout = ElfImageLayout{kHeader, kPh, load, dynamic};
    return image;
}

}  // namespace datakit
