// Pack writer: builds ".QVz" data packs from a description or from folders on disk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class BinWriter;

namespace datakit {

// How a string's length is written: the shortest prefix, or a given one (readers take them all).
enum class StringForm { Shortest, Byte, Word, Dword, Wide };
// Time stamps: the tagged 64-bit form, or a bare 32-bit word.
enum class TimeForm { Long, Short };

void PutArchiveString(BinWriter& out, std::string_view text, StringForm form = StringForm::Shortest);
void PutArchiveTime(BinWriter& out, int64_t time, TimeForm form = TimeForm::Long);

struct PackFileSpec {
    std::string name;
    std::vector<uint8_t> bytes;
    bool compress = true;
    std::string secondName;
    int64_t time = 0;
    TimeForm timeForm = TimeForm::Long;
    StringForm nameForm = StringForm::Shortest;
};

inline PackFileSpec PackFile(std::string name, std::vector<uint8_t> bytes, bool compress = true) {
    PackFileSpec file;
    file.name = std::move(name);
    file.bytes = std::move(bytes);
    file.compress = compress;
    return file;
}

struct PackFolderSpec {
    std::string name;
    std::vector<PackFileSpec> files;  // in file order
    std::vector<PackFolderSpec> folders;
};

std::vector<uint8_t> MakePack(const std::vector<PackFolderSpec>& roots);
bool WritePack(const std::string& path, const std::vector<PackFolderSpec>& roots);

// The folder dir on disk as a pack folder named name: every file that keep accepts (all when
// empty), every sub-folder that holds such a file. Files keep their names and times.
using FileFilter = std::function<bool(const std::string& fileName)>;
PackFolderSpec FolderFromDisk(const std::string& dir, const std::string& name, bool compress,
                              const FileFilter& keep = {});
bool HasFiles(const PackFolderSpec& folder);

// Packs a data folder into its category packs (Objects.QVz, Anims.QVz, ...) beside the loose
// files: OBJECTS without the animations, the .QVa animations of OBJECTS, MAPS, SFX, SCN, SPELL,
// TRAJECTS, SOUNDS and TEXT. Categories without files get no pack. Returns the packs written.
int PackDataFolder(const std::string& dataFolder, bool compress, std::string* error);

}  // namespace datakit
