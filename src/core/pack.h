// Data packs: one ".QVz" file per category, a tree of folders and file entries stored plain or
// zlib-compressed. OpenDataPacks reads every pack that exists into memory; NztFile::OpenRead then
// asks the category's tree for a relative name and gets a fresh copy of the entry's bytes.
//
// The file format (little-endian, no header):
//   pack    u32 root-folder count, then the root folder records
//   folder  u32 file count F, u32 child-folder count C, string name, F file records, C folders
//   file    u8 mode 1: string name, string second name, time, u32 size, u32 data offset, data
//           u8 mode 2: string name, string second name, time, u32 packed size, u32 size,
//                      u32 data offset, packed-size bytes of zlib data
//   string  length prefix: one byte below 0xFF; else 0xFF and a u16 below 0xFFFE; else 0xFF,
//           0xFFFF and a u32. The prefix 0xFF 0xFFFE announces UTF-16: a second prefix follows,
//           then that many 16-bit units (read as Windows-1252 characters).
//   time    u32 0x8000000A then an i64; any other first word is itself the time (sign-extended)
// The data offset is the absolute file position of the data bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class BinReader;

struct FreeBytes {
    void operator()(uint8_t* p) const { std::free(p); }
};

// Bytes handed out by a pack: a copy of its own for each caller (allocated with malloc).
struct PackBytes {
    std::unique_ptr<uint8_t, FreeBytes> bytes;
    uint32_t size = 0;
    bool found = false;
};

enum : uint8_t { QvzStored = 1, QvzZlib = 2 };
constexpr uint32_t QvzLongTimeTag = 0x8000000A;
// Folder trees deeper than this are refused as malformed.
constexpr int QvzMaxDepth = 64;

struct QvzPackEntry {
    uint8_t mode = 0;
    uint8_t constructed = 1;
    uint32_t size = 0;        // bytes of the file
    uint32_t packedSize = 0;  // bytes of the zlib data (mode 2)
    std::vector<uint8_t> data;  // the stored bytes (mode 1) or the zlib data (mode 2)
    uint32_t loaded = 0;
    uint32_t dataOffset = 0;
    FILE* source = nullptr;   // where a lazily loaded entry's data is read from
    const std::string* pack = nullptr;  // the file of the pack that holds the entry, for messages
    std::string secondName;
    int64_t time = 0;         // seconds since 1970
    std::string name;

    // A copy of the file's bytes. A zlib entry that cannot be unpacked gives nothing (found false);
    // the first such entry since the packs were opened shows the packing-error box and posts a quit
    // with exit code 1, so the program leaves through its ordinary shutdown.
    PackBytes GetData();
    // Reads the data of a lazily loaded entry.
    bool LoadData();
    // Expands the zlib data into out; false when zlib fails or yields other than size bytes.
    bool Unpack(PackBytes* out) const;
};

struct QvzPackFolder;

// The child folders of a folder, or the root folders of a tree, in the order they were added. A
// folder added under a name already taken is renamed Name0, Name1, ...; children compare names
// case-insensitively, roots exactly. A case-insensitive look-up finds the folder added last.
class QvzFolderList {
 public:
    explicit QvzFolderList(bool caseless) : caseless_(caseless) {}
    QvzPackFolder* Add(std::unique_ptr<QvzPackFolder> folder);
    QvzPackFolder* Find(std::string_view folderName) const;
    bool Has(std::string_view folderName) const;
    size_t size() const { return list_.size(); }
    const std::vector<std::unique_ptr<QvzPackFolder>>& folders() const { return list_; }
    void clear();

 private:
    std::string Key(std::string_view folderName) const;

    bool caseless_;
    std::vector<std::unique_ptr<QvzPackFolder>> list_;
    std::unordered_map<std::string, size_t> latest_;       // lower-case name -> index
    std::unordered_set<std::string> taken_;                // Key(name) of every folder
    std::unordered_map<std::string, uint64_t> nextSuffix_;  // Key(base) -> first counter not yet tried
};

struct QvzPackFolder {
    std::string name;
    QvzFolderList children{true};
    // In the order read; the format treats the last as the first.
    std::vector<std::unique_ptr<QvzPackEntry>> entries;
    // Lower-case name -> the entry a lookup finds (the last of that name).
    std::unordered_map<std::string, size_t> entryIndex;

    QvzPackFolder* FindFolder(std::string_view path);
    // Links a child, renaming it Name0, Name1, ... while a child of that name (any case) exists.
    QvzPackFolder* AddFolder(std::unique_ptr<QvzPackFolder> folder);
    QvzPackEntry* AddEntry(std::unique_ptr<QvzPackEntry> entry);
    bool HasChildFolder(std::string_view folderName) const;
    QvzPackEntry* FindFile(std::string_view fileName) const;
    bool HasFile(std::string_view fileName, PackBytes* data);
    void Free();
};

struct QvzPackTree {
    QvzFolderList roots{false};
    QvzPackFolder* found = nullptr;  // the folder of the last lookup
    FILE* lazyFile = nullptr;        // the pack file, kept open for lazily loaded entries
    std::string path;                // the file the tree was read from ("" when read from memory)

    QvzPackTree() = default;
    QvzPackTree(const QvzPackTree&) = delete;
    QvzPackTree& operator=(const QvzPackTree&) = delete;
    ~QvzPackTree() { Free(); }

    // Reads a whole pack. With lazyFile null every entry's data is read now; otherwise the data is
    // skipped and read from lazyFile on first use, which the caller keeps open (LoadFile hands it to
    // the tree). False, with the fault, on a malformed pack (the tree is then empty).
    bool Serialize(BinReader& in, FILE* lazyFile, std::string* fault);
    // Reads the pack file at path, eagerly or lazily (then the tree keeps the file open).
    bool LoadFile(const char* path, bool lazy, std::string* fault);

    // The entry's bytes for a relative path ("OBJECTS/Tree.QVo", '\\' or '/' separated), split at
    // its last '\\', else its last '/'; not found without a separator.
    PackBytes GetFileData(const char* path);
    QvzPackEntry* FindFileEntry(const char* path);
    // Sets found to the folder reached by a folder path ending in a separator.
    QvzPackFolder* FindEntry(std::string_view folderPath);
    PackBytes GetFoundFolderFile(std::string_view fileName);
    // Links a root folder, renaming it while a root of exactly that name exists.
    QvzPackFolder* AddFolder(std::unique_ptr<QvzPackFolder> folder);
    bool HasFolder(std::string_view folderName) const;
    void Free();
};

// Reads one archive string (any of its length forms); false when it does not fit.
bool ReadArchiveString(BinReader& in, std::string* out);
// Reads one time stamp (either form).
bool ReadArchiveTime(BinReader& in, int64_t* out);

struct PackInfo {
    std::string name;
    QvzPackTree tree;
    uint32_t fileOpen = 0;
};
using PackList = std::vector<std::unique_ptr<PackInfo>>;

enum PackCategory {
    PackObjects,
    PackAnims,
    PackMaps,
    PackSfx,
    PackScn,
    PackSpell,
    PackTrajects,
    PackSounds,
    PackText,
    PackCategoryCount
};
// "Objects", "Anims", "Maps", "Sfx", "Scn", "Spell", "Trajects", "Sounds", "Text".
extern const char* const PackCategoryNames[PackCategoryCount];

extern PackList* DataPackList;
// Entries that could not be unpacked since the packs were last opened (OpenDataPacks and
// DeletePackList set it to 0); the first one posts the quit.
extern uint32_t PackUnpackFailures;
// The tree of each category's pack, null when the category is read from loose files.
extern QvzPackTree* PackTrees[PackCategoryCount];

PackList* CreatePackList();
// Opens the nine category packs in slot order (closing any that are open first).
void OpenDataPacks();
QvzPackTree* OpenPackCategory(const char* category);
QvzPackTree* OpenPack(const char* category, const char* path);
// False for a malformed pack (one line on stderr); a pack that cannot be opened keeps an empty tree.
bool LoadPack(const char* category, PackInfo* info, const char* path);
void ClosePack(PackInfo* info);
// Closes every pack of the list, empties it and clears the category slots.
void CloseDataPacks(PackList* list);
// CloseDataPacks on the pack list, then deletes the list.
void DeletePackList();
