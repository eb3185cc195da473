#include "datakit/pack.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "core/binio.h"
#include "datakit/datakit.h"

namespace datakit {
namespace {

namespace fs = std::filesystem;

void PutLength(BinWriter& out, uint64_t length, StringForm form) {
    if (form == StringForm::Shortest)
        form = length < 0xFF ? StringForm::Byte : length < 0xFFFE ? StringForm::Word : StringForm::Dword;
    if (form == StringForm::Byte) {
        out.U8(static_cast<uint8_t>(length));
        return;
    }
    out.U8(0xFF);
    if (form == StringForm::Word) {
        out.U16(static_cast<uint16_t>(length));
        return;
    }
    out.U16(0xFFFF);
    out.U32(static_cast<uint32_t>(length));
}

void PutFile(BinWriter& out, const PackFileSpec& file) {
    std::vector<uint8_t> packed;
    if (file.compress) {
        uLongf length = compressBound(file.bytes.size());
        packed.resize(length);
        compress2(packed.data(), &length, file.bytes.data(), file.bytes.size(), Z_DEFAULT_COMPRESSION);
        packed.resize(length);
    }
    out.U8(file.compress ? 2 : 1);
    PutArchiveString(out, file.name, file.nameForm);
    PutArchiveString(out, file.secondName);
    PutArchiveTime(out, file.time, file.timeForm);
    const std::vector<uint8_t>& data = file.compress ? packed : file.bytes;
    if (file.compress) out.U32(static_cast<uint32_t>(packed.size()));
    out.U32(static_cast<uint32_t>(file.bytes.size()));
    // The offset is where the data starts: right after the offset word itself.
    out.U32(static_cast<uint32_t>(out.Position() + 4));
    out.Bytes(data.data(), data.size());
}

void PutFolder(BinWriter& out, const PackFolderSpec& folder) {
    out.U32(static_cast<uint32_t>(folder.files.size()));
    out.U32(static_cast<uint32_t>(folder.folders.size()));
    PutArchiveString(out, folder.name);
    for (const PackFileSpec& file : folder.files) PutFile(out, file);
    for (const PackFolderSpec& child : folder.folders) PutFolder(out, child);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool HasExtension(const std::string& name, const char* ext) {
    std::string n = Lower(name), e = Lower(ext);
    return n.size() >= e.size() && n.compare(n.size() - e.size(), e.size(), e) == 0;
}

// The entry of dir named name in any case, or empty.
std::string FindCaseless(const std::string& dir, const std::string& name) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (Lower(entry.path().filename().string()) == Lower(name)) return entry.path().filename().string();
    return {};
}

}  // namespace

void PutArchiveString(BinWriter& out, std::string_view text, StringForm form) {
    if (form == StringForm::Wide) {
        out.U8(0xFF);
        out.U16(0xFFFE);
        PutLength(out, text.size(), StringForm::Shortest);
        // Latin-1 characters are their own UTF-16 units.
        for (char c : text) out.U16(static_cast<uint8_t>(c));
        return;
    }
    PutLength(out, text.size(), form);
    out.Bytes(text.data(), text.size());
}

void PutArchiveTime(BinWriter& out, int64_t time, TimeForm form) {
    if (form == TimeForm::Short) {
        out.U32(static_cast<uint32_t>(time));
        return;
    }
    out.U32(0x8000000A);
    out.I64(time);
}

std::vector<uint8_t> MakePack(const std::vector<PackFolderSpec>& roots) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    out.U32(static_cast<uint32_t>(roots.size()));
    for (const PackFolderSpec& root : roots) PutFolder(out, root);
    return bytes;
}

bool WritePack(const std::string& path, const std::vector<PackFolderSpec>& roots) {
    return WriteFileBytes(path, MakePack(roots));
}

PackFolderSpec FolderFromDisk(const std::string& dir, const std::string& name, bool compress, const FileFilter& keep) {
    PackFolderSpec folder;
    folder.name = name;
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) entries.push_back(entry);
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        std::string leaf = entry.path().filename().string();
        if (entry.is_directory(ec)) {
            PackFolderSpec child = FolderFromDisk(entry.path().string(), leaf, compress, keep);
            if (HasFiles(child)) folder.folders.push_back(std::move(child));
        } else if (entry.is_regular_file(ec) && (!keep || keep(leaf))) {
            PackFileSpec file;
            file.name = leaf;
            file.compress = compress;
            std::ifstream in(entry.path(), std::ios::binary);
            file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            struct stat st;
            if (stat(entry.path().c_str(), &st) == 0) file.time = st.st_mtime;
            folder.files.push_back(std::move(file));
        }
    }
    return folder;
}

bool HasFiles(const PackFolderSpec& folder) {
    if (!folder.files.empty()) return true;
    for (const PackFolderSpec& child : folder.folders)
        if (HasFiles(child)) return true;
    return false;
}

int PackDataFolder(const std::string& dataFolder, bool compress, std::string* error) {
    struct Category {
        const char* pack;
        const char* folder;
        FileFilter keep;
    };
    auto anim = [](const std::string& n) { return HasExtension(n, ".QVa"); };
    const Category categories[] = {
        {"Objects", "OBJECTS", [&](const std::string& n) { return !anim(n); }},
        {"Anims", "OBJECTS", anim},
        {"Maps", "MAPS", {}},
        {"Sfx", "SFX", {}},
        {"Scn", "SCN", {}},
        {"Spell", "SPELL", {}},
        {"Trajects", "TRAJECTS", {}},
        {"Sounds", "SOUNDS", {}},
        {"Text", "TEXT", {}},
    };
    int written = 0;
    for (const Category& c : categories) {
        std::string folder = FindCaseless(dataFolder, c.folder);
        if (folder.empty()) continue;
        PackFolderSpec root = FolderFromDisk(dataFolder + "/" + folder, folder, compress, c.keep);
        if (!HasFiles(root)) continue;
        std::string path = dataFolder + "/" + c.pack + ".QVz";
        if (!WritePack(path, {root})) {
            if (error) *error = "cannot write " + path;
            return -1;
        }
        written++;
    }
    return written;
}

}  // namespace datakit
