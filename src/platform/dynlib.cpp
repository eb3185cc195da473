#include "platform/dynlib.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
// dlerror()'s text lives only until the next loader call; keep a copy for DynLibError.
thread_local char lastError[512];

void RememberError() {
    const char* e = dlerror();
    std::snprintf(lastError, sizeof lastError, "%s", e ? e : "");
}

#if defined(__x86_64__)
constexpr uint16_t kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr uint16_t kMachine = EM_AARCH64;
#else
#error "the machine's ELF e_machine value is not known"
#endif
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr uint8_t kByteOrder = ELFDATA2LSB;
#else
constexpr uint8_t kByteOrder = ELFDATA2MSB;
#endif

// One field of a record at `base`, in this machine's byte order (the header's byte order has been
// checked to be ours before any field wider than a byte is read).
template <typename T>
T Field(const uint8_t* base, size_t offset) {
    T value;
    std::memcpy(&value, base + offset, sizeof value);
    return value;
}

// The file range [offset, offset + size) lies inside a file of fileSize bytes (64-bit, no overflow).
bool InsideFile(uint64_t offset, uint64_t size, uint64_t fileSize) {
    return offset <= fileSize && size <= fileSize - offset;
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

size_t DynLibHeaderBytes(const uint8_t* head, size_t headSize) {
    if (!head || headSize < sizeof(Elf64_Ehdr)) return sizeof(Elf64_Ehdr);
    const uint64_t phoff = Field<uint64_t>(head, offsetof(Elf64_Ehdr, e_phoff));
    const uint64_t phnum = Field<uint16_t>(head, offsetof(Elf64_Ehdr, e_phnum));
    const uint64_t phentsize = Field<uint16_t>(head, offsetof(Elf64_Ehdr, e_phentsize));
    // A table of another entry size is refused by the check; nothing more is needed to say so.
    if (phentsize != sizeof(Elf64_Phdr)) return sizeof(Elf64_Ehdr);
    // At most 65535 entries of 56 bytes: the caller bounds the end by the file size before reading.
    const uint64_t end = phoff > UINT64_MAX / 2 ? UINT64_MAX : phoff + phnum * phentsize;
    return end < sizeof(Elf64_Ehdr) ? sizeof(Elf64_Ehdr) : static_cast<size_t>(end > SIZE_MAX ? SIZE_MAX : end);
}

const char* CheckDynLibImage(const uint8_t* head, size_t headSize, uint64_t fileSize) {
    if (!head || headSize < sizeof(Elf64_Ehdr) || fileSize < sizeof(Elf64_Ehdr)) return "shorter than an ELF header";
    if (std::memcmp(head, ELFMAG, SELFMAG) != 0) return "not an ELF file";
    if (head[EI_CLASS] != ELFCLASS64) return "not a 64-bit ELF file";
    if (head[EI_DATA] != kByteOrder) return "ELF file of the other byte order";
    if (head[EI_VERSION] != EV_CURRENT) return "unknown ELF version";
    if (Field<uint16_t>(head, offsetof(Elf64_Ehdr, e_type)) != ET_DYN) return "not an ELF shared object";
    if (Field<uint16_t>(head, offsetof(Elf64_Ehdr, e_machine)) != kMachine) return "ELF file for another machine";
    const uint64_t phoff = Field<uint64_t>(head, offsetof(Elf64_Ehdr, e_phoff));
    const uint64_t phnum = Field<uint16_t>(head, offsetof(Elf64_Ehdr, e_phnum));
    const uint64_t phentsize = Field<uint16_t>(head, offsetof(Elf64_Ehdr, e_phentsize));
    if (phnum == 0 || phnum == PN_XNUM) return "no program headers";
    if (phentsize != sizeof(Elf64_Phdr)) return "program header size is not that of 64-bit ELF";
    if (!InsideFile(phoff, phnum * phentsize, fileSize)) return "program headers run past the end of the file";
    if (phoff + phnum * phentsize > headSize) return "program headers not read";
    bool loadable = false;
    for (uint64_t i = 0; i < phnum; ++i) {
        const uint8_t* ph = head + phoff + i * phentsize;
        const uint32_t type = Field<uint32_t>(ph, offsetof(Elf64_Phdr, p_type));
        const uint64_t offset = Field<uint64_t>(ph, offsetof(Elf64_Phdr, p_offset));
        const uint64_t filesz = Field<uint64_t>(ph, offsetof(Elf64_Phdr, p_filesz));
        const uint64_t memsz = Field<uint64_t>(ph, offsetof(Elf64_Phdr, p_memsz));
        // Every segment the file holds bytes for must lie in it; a loadable one is mapped from it.
        if (filesz != 0 && !InsideFile(offset, filesz, fileSize)) return "a segment runs past the end of the file";
        if (type == PT_LOAD) {
            if (filesz > memsz) return "a loadable segment holds more bytes than it maps";
            loadable = true;
        }
    }
    if (!loadable) return "no loadable segment";
    return nullptr;
}

const char* CheckDynLibFile(const char* path) {
    if (!path || !*path) return "no path";
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot be opened";
    struct stat st;
    const char* fault = nullptr;
    std::vector<uint8_t> head(sizeof(Elf64_Ehdr));
    auto readAt = [fd](uint8_t* to, size_t bytes) {
        size_t got = 0;
        while (got < bytes) {
            const ssize_t n = pread(fd, to + got, bytes - got, static_cast<off_t>(got));
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        return got;
    };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        fault = "not a regular file";
    } else {
        const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
        size_t got = readAt(head.data(), head.size());
        size_t want = DynLibHeaderBytes(head.data(), got);
        // The program headers are read only when they lie inside the file (the check says so otherwise).
        if (got == head.size() && want > got && want <= fileSize) {
            head.resize(want);
            got = readAt(head.data(), want);
        }
        fault = CheckDynLibImage(head.data(), got, fileSize);
    }
    close(fd);
    return fault;
}
