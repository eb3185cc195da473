#include "core/pack.h"

#include <libdeflate.h>

#include <cctype>
#include <cstdarg>
#include <cstring>

#include "core/binio.h"
#include "core/nztfile.h"
#include "core/paths.h"
#include "platform/window.h"

const char* const PackCategoryNames[PackCategoryCount] = {"Objects", "Anims",    "Maps",   "Sfx", "Scn",
                                                          "Spell",   "Trajects", "Sounds", "Text"};
PackList* DataPackList = nullptr;
uint32_t PackUnpackFailures = 0;
QvzPackTree* PackTrees[PackCategoryCount] = {};

namespace {

// The smallest records the format allows, to refuse counts that cannot fit in what is left.
constexpr uint64_t MinFolderRecord = 9;  // two counts and an empty name
constexpr uint64_t MinFileRecord = 15;   // mode, two empty names, a short time, size and offset
// deflate expands at most 1032 to 1: a larger unpacked size cannot come from the packed bytes.
constexpr uint64_t MaxZlibRatio = 1032;

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Splits at the first '\\', else the first '/': the first component and the rest.
void SplitFirst(std::string_view path, std::string_view* first, std::string_view* rest) {
    size_t cut = path.find('\\');
    if (cut == std::string_view::npos) cut = path.find('/');
    *first = path.substr(0, cut);
    *rest = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
}

// Windows-1252 for the UTF-16 units 0x80 to 0x9F of its own code points; '?' for what it lacks.
char ToWindows1252(uint16_t unit) {
    static const uint16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
    for (int i = 0; i < 32; ++i)
        if (high[i] == unit) return static_cast<char>(0x80 + i);
    return '?';
}

enum class Prefix { Length, Wide, Bad };

Prefix ReadLengthPrefix(BinReader& in, uint64_t* length) {
    uint8_t b = in.U8();
    if (b < 0xFF) {
        *length = b;
    } else {
        uint16_t w = in.U16();
        if (w == 0xFFFE) return in.Ok() ? Prefix::Wide : Prefix::Bad;
        *length = w < 0xFFFE ? w : in.U32();
    }
    return in.Ok() ? Prefix::Length : Prefix::Bad;
}

std::string Fault(BinReader& in, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string Fault(BinReader& in, const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    char where[64];
    std::snprintf(where, sizeof where, " (at byte %llu)", static_cast<unsigned long long>(in.Position()));
    return std::string(text) + where;
}

bool ReadEntry(BinReader& in, FILE* lazyFile, QvzPackEntry* e, std::string* fault) {
    e->mode = in.U8();
    if (!ReadArchiveString(in, &e->name) || !ReadArchiveString(in, &e->secondName) ||
        !ReadArchiveTime(in, &e->time)) {
        *fault = Fault(in, "file record truncated");
        return false;
    }
    uint64_t bytes = 0;
    if (e->mode == QvzStored) {
        e->size = in.U32();
        bytes = e->size;
    } else if (e->mode == QvzZlib) {
        e->packedSize = in.U32();
        e->size = in.U32();
        bytes = e->packedSize;
    } else {
        *fault = Fault(in, "file %s has unknown mode %u", e->name.c_str(), e->mode);
        return false;
    }
    e->dataOffset = in.U32();
    if (!in.Ok()) {
        *fault = Fault(in, "file record of %s truncated", e->name.c_str());
        return false;
    }
    if (bytes > in.Remaining() || uint64_t{e->dataOffset} + bytes > in.Length()) {
        *fault = Fault(in, "data of %s does not fit in the file", e->name.c_str());
        return false;
    }
    if (e->mode == QvzZlib && e->size > uint64_t{e->packedSize} * MaxZlibRatio + 64) {
        *fault = Fault(in, "unpacked size of %s cannot come from its packed size", e->name.c_str());
        return false;
    }
    if (lazyFile) {
        e->source = lazyFile;
        e->loaded = 0;
        in.Skip(bytes);
    } else {
        e->data.resize(bytes);
        in.Read(e->data.data(), bytes);
        e->loaded = 1;
    }
    if (!in.Ok()) {
        *fault = Fault(in, "data of %s truncated", e->name.c_str());
        return false;
    }
    return true;
}

// Every entry of the tree names the tree's file in its messages.
void LinkEntries(QvzPackFolder& folder, const std::string* pack) {
    for (auto& entry : folder.entries) entry->pack = pack;
    for (const auto& child : folder.children.folders()) LinkEntries(*child, pack);
}

// The entry's data is damaged: the game cannot go on without it, but it leaves in order, through
// the quit message, so that the user configuration is saved and the display given back.
void ReportUnpackFailure(const QvzPackEntry& entry) {
    const char* pack = entry.pack && !entry.pack->empty() ? entry.pack->c_str() : "(pack in memory)";
    std::fprintf(stderr, "pack: %s: entry %s: cannot unpack its %u bytes; the program ends\n", pack,
                 entry.name.c_str(), entry.size);
    if (PackUnpackFailures++ != 0) return;
    ShowMessageBox(nullptr, "Decompresion Error", "QVZ Packing Error");
    PostQuitMessage(1);
}

bool ReadFolder(BinReader& in, FILE* lazyFile, int depth, QvzPackFolder* folder, std::string* fault) {
    if (depth > QvzMaxDepth) {
        *fault = Fault(in, "folder tree deeper than %d", QvzMaxDepth);
        return false;
    }
    uint32_t files = in.U32();
    uint32_t children = in.U32();
    if (!ReadArchiveString(in, &folder->name)) {
        *fault = Fault(in, "folder record truncated");
        return false;
    }
    if (!in.Fits(files, MinFileRecord) || !in.Fits(children, MinFolderRecord) ||
        !in.Fits(uint64_t{files} * MinFileRecord + uint64_t{children} * MinFolderRecord, 1)) {
        *fault = Fault(in, "folder %s: %u files and %u folders do not fit in the file", folder->name.c_str(),
                       files, children);
        return false;
    }
    for (uint32_t i = 0; i < files; ++i) {
        auto entry = std::make_unique<QvzPackEntry>();
        if (!ReadEntry(in, lazyFile, entry.get(), fault)) return false;
        folder->AddEntry(std::move(entry));
    }
    for (uint32_t i = 0; i < children; ++i) {
        auto child = std::make_unique<QvzPackFolder>();
        if (!ReadFolder(in, lazyFile, depth + 1, child.get(), fault)) return false;
        folder->AddFolder(std::move(child));
    }
    return true;
}

}  // namespace

bool ReadArchiveString(BinReader& in, std::string* out) {
    out->clear();
    uint64_t length = 0;
    Prefix prefix = ReadLengthPrefix(in, &length);
    bool wide = prefix == Prefix::Wide;
    if (wide) prefix = ReadLengthPrefix(in, &length);
    if (prefix != Prefix::Length) {
        in.Fail();
        return false;
    }
    if (!in.Fits(length, wide ? 2 : 1)) {
        in.Fail();
        return false;
    }
    out->resize(length);
    if (!wide) return in.Read(out->data(), length);
    for (uint64_t i = 0; i < length; ++i) (*out)[i] = ToWindows1252(in.U16());
    return in.Ok();
}

bool ReadArchiveTime(BinReader& in, int64_t* out) {
    uint32_t first = in.U32();
    *out = first == QvzLongTimeTag ? in.I64() : static_cast<int64_t>(static_cast<int32_t>(first));
    return in.Ok();
}

std::string QvzFolderList::Key(std::string_view folderName) const {
    return caseless_ ? Lower(folderName) : std::string(folderName);
}

QvzPackFolder* QvzFolderList::Add(std::unique_ptr<QvzPackFolder> folder) {
    std::string base = folder->name;
    if (Has(base)) {
        // Every counter below the one remembered for this base is taken already (names are never
        // released), so starting there gives the same name as counting from 0.
        uint64_t& next = nextSuffix_[Key(base)];
        std::string candidate;
        do candidate = base + std::to_string(next++);
        while (Has(candidate));
        folder->name = candidate;
    }
    taken_.insert(Key(folder->name));
    latest_[Lower(folder->name)] = list_.size();
    list_.push_back(std::move(folder));
    return list_.back().get();
}

QvzPackFolder* QvzFolderList::Find(std::string_view folderName) const {
    auto it = latest_.find(Lower(folderName));
    return it == latest_.end() ? nullptr : list_[it->second].get();
}

bool QvzFolderList::Has(std::string_view folderName) const { return taken_.count(Key(folderName)) != 0; }

void QvzFolderList::clear() {
    list_.clear();
    latest_.clear();
    taken_.clear();
    nextSuffix_.clear();
}

QvzPackFolder* QvzPackFolder::FindFolder(std::string_view path) {
    QvzPackFolder* folder = this;
    while (folder && !path.empty()) {
        std::string_view first;
        SplitFirst(path, &first, &path);
        folder = folder->children.Find(first);
    }
    return folder;
}

QvzPackFolder* QvzPackFolder::AddFolder(std::unique_ptr<QvzPackFolder> folder) { return children.Add(std::move(folder)); }

QvzPackEntry* QvzPackFolder::AddEntry(std::unique_ptr<QvzPackEntry> entry) {
    entryIndex[Lower(entry->name)] = entries.size();
    entries.push_back(std::move(entry));
    return entries.back().get();
}

bool QvzPackFolder::HasChildFolder(std::string_view folderName) const { return children.Has(folderName); }

QvzPackEntry* QvzPackFolder::FindFile(std::string_view fileName) const {
    auto it = entryIndex.find(Lower(fileName));
    return it == entryIndex.end() ? nullptr : entries[it->second].get();
}

bool QvzPackFolder::HasFile(std::string_view fileName, PackBytes* data) {
    QvzPackEntry* entry = FindFile(fileName);
    if (entry && data) *data = entry->GetData();
    return entry != nullptr;
}

void QvzPackFolder::Free() {
    children.clear();
    entries.clear();
    entryIndex.clear();
    name.clear();
}

bool QvzPackEntry::LoadData() {
    if (loaded) return true;
    uint32_t bytes = mode == QvzZlib ? packedSize : size;
    if (!source || std::fseek(source, dataOffset, SEEK_SET) != 0) return false;
    data.resize(bytes);
    if (std::fread(data.data(), 1, bytes, source) != bytes) {
        data.clear();
        return false;
    }
    loaded = 1;
    return true;
}

namespace {

// One decompressor per thread, made on first use and freed when the thread ends.
struct Inflater {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    Inflater() = default;
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    ~Inflater() {
        if (d) libdeflate_free_decompressor(d);
    }
};

}  // namespace

bool QvzPackEntry::Unpack(PackBytes* out) const {
    if (mode != QvzZlib || !loaded) return false;
    thread_local Inflater inflater;
    if (!inflater.d) return false;
    uint8_t* unpacked = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (!unpacked) return false;
    // The entry must unpack to exactly its recorded size: a stream that is damaged, ends early or
    // would run past that size fails.
    size_t length = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress(inflater.d, data.data(), packedSize, unpacked, size, &length);
    if (result != LIBDEFLATE_SUCCESS || length != size) {
        std::free(unpacked);
        return false;
    }
    out->bytes.reset(unpacked);
    out->size = size;
    out->found = true;
    return true;
}

PackBytes QvzPackEntry::GetData() {
    PackBytes out;
    if (!LoadData()) {
        std::fprintf(stderr, "pack: %s: cannot read its data\n", name.c_str());
        return out;
    }
    if (mode == QvzStored) {
        // Each caller gets a copy, so nothing it does reaches the stored bytes or another caller.
        uint8_t* copy = static_cast<uint8_t*>(std::malloc(size ? size : 1));
        if (!copy) {
            std::fprintf(stderr, "pack: %s: out of memory\n", name.c_str());
            return out;
        }
        if (size) std::memcpy(copy, data.data(), size);
        out.bytes.reset(copy);
        out.size = size;
        out.found = true;
    } else if (mode == QvzZlib && !Unpack(&out)) {
        ReportUnpackFailure(*this);
    }
    return out;
}

bool QvzPackTree::Serialize(BinReader& in, FILE* lazy, std::string* fault) {
    Free();
    uint32_t count = in.U32();
    if (!in.Ok()) {
        *fault = Fault(in, "pack truncated");
        return false;
    }
    if (!in.Fits(count, MinFolderRecord)) {
        *fault = Fault(in, "%u root folders do not fit in the file", count);
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        auto folder = std::make_unique<QvzPackFolder>();
        if (!ReadFolder(in, lazy, 1, folder.get(), fault)) {
            Free();
            return false;
        }
        AddFolder(std::move(folder));
    }
    for (const auto& root : roots.folders()) LinkEntries(*root, &path);
    return true;
}

bool QvzPackTree::LoadFile(const char* path, bool lazy, std::string* fault) {
    Free();
    this->path = path ? path : "";
    NztFile file;
    if (!file.OpenFile(path, NztFileRead)) {
        *fault = "cannot open the file";
        return false;
    }
    BinReader in(file);
    if (!Serialize(in, lazy ? file.file : nullptr, fault)) return false;
    if (lazy) {
        // The entries read their data from this file on first use: the tree keeps it open.
        lazyFile = file.file;
        file.file = nullptr;
    }
    return true;
}

QvzPackEntry* QvzPackTree::FindFileEntry(const char* path) {
    std::string_view p(path ? path : "");
    size_t cut = p.rfind('\\');
    if (cut == std::string_view::npos) cut = p.rfind('/');
    if (cut == std::string_view::npos) {
        found = nullptr;
        return nullptr;
    }
    QvzPackFolder* folder = FindEntry(p.substr(0, cut + 1));
    return folder ? folder->FindFile(p.substr(cut + 1)) : nullptr;
}

PackBytes QvzPackTree::GetFileData(const char* path) {
    QvzPackEntry* entry = FindFileEntry(path);
    return entry ? entry->GetData() : PackBytes();
}

QvzPackFolder* QvzPackTree::FindEntry(std::string_view folderPath) {
    std::string_view first, rest;
    SplitFirst(folderPath, &first, &rest);
    QvzPackFolder* root = roots.Find(first);
    found = root ? root->FindFolder(rest) : nullptr;
    return found;
}

PackBytes QvzPackTree::GetFoundFolderFile(std::string_view fileName) {
    QvzPackEntry* entry = found ? found->FindFile(fileName) : nullptr;
    return entry ? entry->GetData() : PackBytes();
}

QvzPackFolder* QvzPackTree::AddFolder(std::unique_ptr<QvzPackFolder> folder) { return roots.Add(std::move(folder)); }

bool QvzPackTree::HasFolder(std::string_view folderName) const { return roots.Has(folderName); }

void QvzPackTree::Free() {
    roots.clear();
    found = nullptr;
    if (lazyFile) std::fclose(lazyFile);
    lazyFile = nullptr;
}

PackList* CreatePackList() {
    if (!DataPackList) DataPackList = new PackList;
    return DataPackList;
}

void OpenDataPacks() {
    if (DataPackList) CloseDataPacks(DataPackList);
    CreatePackList();
    PackUnpackFailures = 0;
    for (int i = 0; i < PackCategoryCount; ++i) PackTrees[i] = OpenPackCategory(PackCategoryNames[i]);
}

QvzPackTree* OpenPackCategory(const char* category) {
    char path[QvPathMax];
    const char* found = DataPathFormat("%s.QVz", category);
    if (!*found || !FileExists(found) || !FormatPath(path, sizeof path, "%s", found)) return nullptr;
    return OpenPack(category, path);
}

QvzPackTree* OpenPack(const char* category, const char* path) {
    auto info = std::make_unique<PackInfo>();
    if (!LoadPack(category, info.get(), path)) return nullptr;
    PackList* list = CreatePackList();
    list->push_back(std::move(info));
    return &list->back()->tree;
}

bool LoadPack(const char* category, PackInfo* info, const char* path) {
    info->name = category;
    info->tree.Free();
    info->tree.path = path ? path : "";
    NztFile file;
    if (!file.OpenFile(path, NztFileRead)) {
        // Listed with an empty tree: every look-up falls back to the loose files.
        std::fprintf(stderr, "pack: %s: cannot open; loose files are used\n", path);
        return true;
    }
    BinReader in(file);
    std::string fault;
    if (!info->tree.Serialize(in, nullptr, &fault)) {
        std::fprintf(stderr, "pack: %s: %s; the pack is not used\n", path, fault.c_str());
        return false;
    }
    info->fileOpen = 0;
    return true;
}

void ClosePack(PackInfo* info) {
    info->tree.Free();
    info->fileOpen = 0;
    info->name.clear();
}

void CloseDataPacks(PackList* list) {
    if (list) {
        for (auto& info : *list) ClosePack(info.get());
        list->clear();
    }
    for (QvzPackTree*& tree : PackTrees) tree = nullptr;
}

void DeletePackList() {
    CloseDataPacks(DataPackList);
    delete DataPackList;
    DataPackList = nullptr;
    PackUnpackFailures = 0;
}
