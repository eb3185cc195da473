#include "platform/dynlib.h"

#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "datakit/elf.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* Check(const Bytes& image) { return CheckDynLibImage(image.data(), image.size(), image.size()); }

TEST(DynLibImage, ASoundImageAndTheRealLoaderAgree) {
    EXPECT_EQ(Check(datakit::MakeElfSharedObject()), nullptr);
    // A real shared library of this machine, the C library this program runs on, passes as it
    // stands on disk.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&std::printf), &info), 0);
    ASSERT_NE(info.dli_fname, nullptr);
    EXPECT_EQ(CheckDynLibFile(info.dli_fname), nullptr) << info.dli_fname;
    EXPECT_NE(CheckDynLibFile("/no/such/file.QVm"), nullptr);
    EXPECT_NE(CheckDynLibFile("/tmp"), nullptr);
}

// Every header fault the check knows, one patched field at a time.
TEST(DynLibImage, MalformedHeadersAreRefused) {
    datakit::ElfImageLayout at;
    const Bytes good = datakit::MakeElfSharedObject(&at);
    struct Case {
        const char* what;
        size_t offset;
        uint64_t value;
        size_t bytes;
    };
    const size_t load = at.loadHeader, dynamic = at.dynamicHeader;
    const Case cases[] = {
        {"bad magic", EI_MAG1, 'X', 1},
        {"32-bit class", EI_CLASS, ELFCLASS32, 1},
        {"no class", EI_CLASS, ELFCLASSNONE, 1},
        {"big-endian data", EI_DATA, ELFDATA2MSB, 1},
        {"unknown ident version", EI_VERSION, 7, 1},
        {"executable, not shared", offsetof(Elf64_Ehdr, e_type), ET_EXEC, 2},
        {"relocatable object", offsetof(Elf64_Ehdr, e_type), ET_REL, 2},
        {"another machine", offsetof(Elf64_Ehdr, e_machine), EM_386, 2},
        {"no program headers", offsetof(Elf64_Ehdr, e_phnum), 0, 2},
        {"extended header count", offsetof(Elf64_Ehdr, e_phnum), PN_XNUM, 2},
        {"program header size of 32-bit ELF", offsetof(Elf64_Ehdr, e_phentsize), sizeof(Elf32_Phdr), 2},
        {"program headers past the end", offsetof(Elf64_Ehdr, e_phoff), good.size() - 8, 8},
        {"program header offset wraps", offsetof(Elf64_Ehdr, e_phoff), ~uint64_t{0} - 16, 8},
        {"too many program headers", offsetof(Elf64_Ehdr, e_phnum), 200, 2},
        {"load segment past the end", load + offsetof(Elf64_Phdr, p_filesz), good.size() + 1, 8},
        {"load segment offset past the end", load + offsetof(Elf64_Phdr, p_offset), 1u << 20, 8},
        {"load segment range wraps", load + offsetof(Elf64_Phdr, p_offset), ~uint64_t{0} - 4, 8},
        {"load segment holds more than it maps", load + offsetof(Elf64_Phdr, p_memsz), 16, 8},
        {"dynamic segment past the end", dynamic + offsetof(Elf64_Phdr, p_filesz), 1u << 30, 8},
        {"no loadable segment", load + offsetof(Elf64_Phdr, p_type), PT_NOTE, 4},
    };
    for (const Case& c : cases) {
        Bytes image = good;
        datakit::PatchLe(image, c.offset, c.value, c.bytes);
        EXPECT_NE(Check(image), nullptr) << c.what;
    }
    for (size_t n = 0; n < good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_NE(Check(cut), nullptr) << "cut to " << n << " bytes";
    }
    // Headers that are whole but read only in part are not taken on trust.
    EXPECT_NE(CheckDynLibImage(good.data(), sizeof(Elf64_Ehdr), good.size()), nullptr);
    EXPECT_EQ(DynLibHeaderBytes(good.data(), good.size()), at.phoff + 2 * at.phentsize);
}

TEST(DynLibImage, AFileIsCheckedAgainstItsOwnSize) {
    const std::string path = ::testing::TempDir() + "qv_dynlib_" + std::to_string(getpid()) + ".so";
    Bytes image = datakit::MakeElfSharedObject();
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    EXPECT_EQ(CheckDynLibFile(path.c_str()), nullptr);
    std::filesystem::resize_file(path, image.size() - 1);
    EXPECT_STREQ(CheckDynLibFile(path.c_str()), "a segment runs past the end of the file");
    std::filesystem::remove(path);
}

}  // namespace
