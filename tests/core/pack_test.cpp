#include "core/pack.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/binio.h"
#include "core/nztfile.h"
#include "core/scratch.h"
#include "datakit/pack.h"
#include "platform/wincodes.h"
#include "platform/window.h"

namespace {

using datakit::PackFileSpec;
using datakit::PackFolderSpec;
using datakit::StringForm;
using datakit::TimeForm;

std::string Text(const PackBytes& b) {
    return b.found ? std::string(reinterpret_cast<const char*>(b.bytes.get()), b.size) : "<none>";
}

bool Load(QvzPackTree& tree, const std::vector<uint8_t>& bytes, std::string* fault = nullptr) {
    std::string ignored;
    BinReader in(bytes.data(), bytes.size());
    return tree.Serialize(in, nullptr, fault ? fault : &ignored);
}

std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 214013 + 2531011;
        // Runs of repeated bytes among the noise, so that zlib has something to do.
        v[i] = (i / 64) % 3 == 0 ? static_cast<uint8_t>(i / 64) : static_cast<uint8_t>(seed >> 16);
    }
    return v;
}

// Every kind of record; with big data also entries large enough to matter to zlib.
std::vector<PackFolderSpec> SampleRoots(bool big = true) {
    PackFolderSpec objects{"objects", {}, {}};
    objects.files.push_back(datakit::PackFile("Tree.QVo", Bytes("tree mesh"), true));
    objects.files.push_back(datakit::PackFile("Rock.QVo", Bytes("rock mesh, stored"), false));
    objects.files.push_back(datakit::PackFile("Empty.bin", {}, false));
    objects.files.push_back(datakit::PackFile("EmptyPacked.bin", {}, true));
    objects.files.push_back(datakit::PackFile("Big.bin", Noise(big ? 200000 : 40, 7), true));
    PackFolderSpec sub{"Sub", {}, {}};
    sub.files.push_back(datakit::PackFile("Name", Bytes("in sub"), true));
    PackFolderSpec deep{"Deep", {}, {}};
    deep.files.push_back(datakit::PackFile("leaf.txt", Bytes("deep leaf"), false));
    sub.folders.push_back(deep);
    objects.folders.push_back(sub);
    PackFolderSpec maps{"MAPS", {}, {}};
    maps.files.push_back(datakit::PackFile("Sky.Img", Noise(big ? 5000 : 30, 3), true));
    return {objects, maps};
}

void ExpectSameFiles(QvzPackTree& tree, const PackFolderSpec& folder, const std::string& prefix) {
    for (const PackFileSpec& file : folder.files) {
        std::string path = prefix + folder.name + "/" + file.name;
        PackBytes got = tree.GetFileData(path.c_str());
        ASSERT_TRUE(got.found) << path;
        EXPECT_EQ(std::vector<uint8_t>(got.bytes.get(), got.bytes.get() + got.size), file.bytes) << path;
    }
    for (const PackFolderSpec& child : folder.folders) ExpectSameFiles(tree, child, prefix + folder.name + "/");
}

TEST(PackRoundTrip, WriterAndReaderAgreeEagerAndLazy) {
    std::vector<PackFolderSpec> roots = SampleRoots();
    std::vector<uint8_t> bytes = datakit::MakePack(roots);
    ScratchDir dir;
    dir.Write("Sample.QVz", bytes);
    for (bool lazy : {false, true}) {
        QvzPackTree tree;
        std::string fault;
        ASSERT_TRUE(tree.LoadFile((dir / "Sample.QVz").c_str(), lazy, &fault)) << fault;
        QvzPackEntry* entry = tree.FindFileEntry("OBJECTS/Big.bin");
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->loaded, lazy ? 0u : 1u);
        EXPECT_EQ(entry->mode, QvzZlib);
        for (const PackFolderSpec& root : roots) ExpectSameFiles(tree, root, "");
        EXPECT_EQ(entry->loaded, 1u);
    }
}

TEST(PackRoundTrip, DataOffsetsPointAtTheData) {
    std::vector<uint8_t> bytes = datakit::MakePack(SampleRoots());
    QvzPackTree tree;
    ASSERT_TRUE(Load(tree, bytes));
    for (const char* path : {"objects/Tree.QVo", "objects/Rock.QVo", "MAPS/Sky.Img"}) {
        QvzPackEntry* e = tree.FindFileEntry(path);
        ASSERT_NE(e, nullptr) << path;
        ASSERT_LE(e->dataOffset + e->data.size(), bytes.size());
        EXPECT_TRUE(std::equal(e->data.begin(), e->data.end(), bytes.begin() + e->dataOffset)) << path;
    }
}

TEST(PackLookup, NamesAndSeparators) {
    QvzPackTree tree;
    ASSERT_TRUE(Load(tree, datakit::MakePack(SampleRoots())));
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"OBJECTS/Tree.QVo", "tree mesh"},  // the root folder is named objects
        {"OBJECTS\\TREE.qvo", "tree mesh"},
        {"objects\\sub\\NAME", "in sub"},
        {"OBJECTS/Sub/Deep/LEAF.TXT", "deep leaf"},
        {"Objects\\Sub/Name", "<none>"},   // split at the last '\\': "Sub/Name" is the file name
        {"OBJECTS/Sub\\Name", "<none>"},   // folder "OBJECTS/Sub" taken as one root name
        {"Tree.QVo", "<none>"},            // no separator: never in a pack
        {"OBJECTS/", "<none>"},
        {"OBJECTS/Missing", "<none>"},
        {"NOROOT/Tree.QVo", "<none>"},
        {"OBJECTS/Sub/Missing/Name", "<none>"},
        {"", "<none>"},
    };
    for (const Case& c : cases) EXPECT_EQ(Text(tree.GetFileData(c.path)), c.expected) << c.path;
    EXPECT_NE(tree.FindEntry("objects/SUB/"), nullptr);
    EXPECT_EQ(tree.found, tree.FindEntry("objects/SUB/"));
    EXPECT_EQ(Text(tree.GetFoundFolderFile("name")), "in sub");
    PackBytes data;
    EXPECT_TRUE(tree.found->HasFile("NAME", &data));
    EXPECT_EQ(Text(data), "in sub");
    EXPECT_FALSE(tree.found->HasFile("other", nullptr));
}

TEST(PackLookup, DuplicateFoldersAreRenamedAndDuplicateFilesShadowed) {
    auto folder = [](const char* name, const char* file, const char* text) {
        PackFolderSpec f{name, {}, {}};
        f.files.push_back(datakit::PackFile(file, Bytes(text), false));
        return f;
    };
    PackFolderSpec parent{"Parent", {}, {}};
    parent.folders = {folder("Sub", "f", "sub first"), folder("SUB", "f", "sub second")};
    parent.files.push_back(datakit::PackFile("dup", Bytes("first dup"), false));
    parent.files.push_back(datakit::PackFile("DUP", Bytes("last dup"), false));
    std::vector<PackFolderSpec> roots = {
        folder("Maps", "f", "maps 1"), folder("Maps0", "f", "maps0 stored"), folder("Maps", "f", "maps 2"),
        folder("Maps", "f", "maps 3"), folder("maps", "f", "lower maps"),   parent,
    };
    QvzPackTree tree;
    ASSERT_TRUE(Load(tree, datakit::MakePack(roots)));
    std::vector<std::string> names;
    for (const auto& root : tree.roots.folders()) names.push_back(root->name);
    // Roots compare exactly: the second and third "Maps" step past the stored "Maps0".
    EXPECT_EQ(names, (std::vector<std::string>{"Maps", "Maps0", "Maps1", "Maps2", "maps", "Parent"}));
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"Maps/f", "lower maps"},  // look-ups ignore case and find the folder added last
        {"Maps0/f", "maps0 stored"},
        {"Maps2/f", "maps 3"},
        {"Parent/Sub/f", "sub first"},
        {"Parent/SUB0/f", "sub second"},  // children compare without case
        {"Parent/dup", "last dup"},        // the last file of a name is the one found
    };
    for (const Case& c : cases) EXPECT_EQ(Text(tree.GetFileData(c.path)), c.expected) << c.path;
    EXPECT_TRUE(tree.HasFolder("Maps"));
    EXPECT_FALSE(tree.HasFolder("MAPS"));
    EXPECT_TRUE(tree.FindEntry("parent/")->HasChildFolder("sub0"));
}

TEST(PackLookup, StoredEntriesHandOutCopies) {
    QvzPackTree tree;
    ASSERT_TRUE(Load(tree, datakit::MakePack(SampleRoots())));
    for (const char* path : {"objects/Rock.QVo", "objects/Tree.QVo"}) {
        PackBytes first = tree.GetFileData(path);
        ASSERT_TRUE(first.found && first.size > 0);
        std::string original = Text(first);
        first.bytes.get()[0] ^= 0xFF;
        EXPECT_EQ(Text(tree.GetFileData(path)), original) << path;
    }
    EXPECT_EQ(Text(tree.GetFileData("objects/Empty.bin")), "");
    EXPECT_EQ(Text(tree.GetFileData("objects/EmptyPacked.bin")), "");
}

TEST(PackStrings, EveryLengthPrefixAndTheWideForm) {
    struct Case {
        std::vector<uint8_t> bytes;
        std::string expected;
    } cases[] = {
        {{3, 'a', 'b', 'c'}, "abc"},
        {{0}, ""},
        {{0xFF, 3, 0, 'a', 'b', 'c'}, "abc"},                      // u16 form, even for a short string
        {{0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 'a', 'b', 'c'}, "abc"},    // u32 form
        {{0xFF, 0xFE, 0xFF, 2, 'h', 0, 'i', 0}, "hi"},             // UTF-16 with a byte length
        {{0xFF, 0xFE, 0xFF, 0xFF, 1, 0, 0xE9, 0}, "\xE9"},        // UTF-16 with a u16 length
        {{0xFF, 0xFE, 0xFF, 3, 0xAC, 0x20, 0x2D, 0x4E, 0x78, 0x01}, "\x80?\x9F"},  // Euro, CJK, Y diaeresis
    };
    for (const Case& c : cases) {
        BinReader in(c.bytes.data(), c.bytes.size());
        std::string out;
        EXPECT_TRUE(ReadArchiveString(in, &out));
        EXPECT_EQ(out, c.expected);
        EXPECT_EQ(in.Remaining(), 0u);
    }
    // Long strings take the longer prefixes, and the writer's forms read back.
    for (size_t length : {254u, 255u, 0xFFFDu, 0xFFFEu, 70000u}) {
        for (StringForm form : {StringForm::Shortest, StringForm::Dword, StringForm::Wide}) {
            std::string text(length, 'q');
            std::vector<uint8_t> bytes;
            BinWriter w(bytes);
            datakit::PutArchiveString(w, text, form);
            BinReader in(bytes.data(), bytes.size());
            std::string out;
            EXPECT_TRUE(ReadArchiveString(in, &out)) << length;
            EXPECT_EQ(out, text);
        }
    }
    const std::vector<std::vector<uint8_t>> bad = {
        {},
        {4, 'a'},
        {0xFF, 0x05},
        {0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF},
        {0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF, 1, 'a', 0},  // a second wide marker
        {0xFF, 0xFE, 0xFF, 2, 'a', 0},
    };
    for (const auto& b : bad) {
        BinReader in(b.data(), b.size());
        std::string out;
        EXPECT_FALSE(ReadArchiveString(in, &out));
        EXPECT_FALSE(in.Ok());
    }
}

TEST(PackTimes, BothForms) {
    struct Case {
        int64_t time;
        TimeForm form;
        int64_t expected;
    } cases[] = {
        {1700000000, TimeForm::Long, 1700000000},
        {-86400, TimeForm::Long, -86400},
        {0x123456789ll, TimeForm::Long, 0x123456789ll},
        {1700000000, TimeForm::Short, 1700000000},
        {-1, TimeForm::Short, -1},  // a bare word is sign-extended
        {0x7FFFFFFF, TimeForm::Short, 0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        BinWriter w(bytes);
        datakit::PutArchiveTime(w, c.time, c.form);
        BinReader in(bytes.data(), bytes.size());
        int64_t t = 0;
        EXPECT_TRUE(ReadArchiveTime(in, &t));
        EXPECT_EQ(t, c.expected);
    }
    // The forms also come through a whole pack, with the names in their own forms.
    PackFolderSpec root{"R", {}, {}};
    PackFileSpec file{"Wide.bin", Bytes("w"), false, "second", -1, TimeForm::Short, StringForm::Wide};
    root.files.push_back(file);
    QvzPackTree tree;
    ASSERT_TRUE(Load(tree, datakit::MakePack({root})));
    QvzPackEntry* e = tree.FindFileEntry("R/Wide.bin");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->time, -1);
    EXPECT_EQ(e->secondName, "second");
}

// Raw pack building for the malformed cases.
struct Raw {
    std::vector<uint8_t> bytes;
    BinWriter w{bytes};
    void Folder(uint32_t files, uint32_t children, const char* name) {
        w.U32(files);
        w.U32(children);
        datakit::PutArchiveString(w, name);
    }
    void Stored(const char* name, const std::string& data, int64_t offsetShift = 0, uint32_t sizeShift = 0) {
        w.U8(1);
        datakit::PutArchiveString(w, name);
        datakit::PutArchiveString(w, "");
        datakit::PutArchiveTime(w, 0);
        w.U32(static_cast<uint32_t>(data.size()) + sizeShift);
        w.U32(static_cast<uint32_t>(static_cast<int64_t>(w.Position()) + 4 + offsetShift));
        w.Bytes(data.data(), data.size());
    }
    void Packed(const char* name, uint32_t packed, uint32_t size) {
        w.U8(2);
        datakit::PutArchiveString(w, name);
        datakit::PutArchiveString(w, "");
        datakit::PutArchiveTime(w, 0);
        w.U32(packed);
        w.U32(size);
        w.U32(static_cast<uint32_t>(w.Position() + 4));
        w.Zeros(packed);
    }
};

std::vector<uint8_t> Chain(int depth) {
    Raw r;
    r.w.U32(1);
    for (int i = 1; i <= depth; ++i) r.Folder(0, i < depth ? 1 : 0, "d");
    return r.bytes;
}

TEST(PackMalformed, TruncatedAtEveryByte) {
    std::vector<uint8_t> bytes = datakit::MakePack(SampleRoots(false));
    QvzPackTree full;
    ASSERT_TRUE(Load(full, bytes));
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n));
        QvzPackTree tree;
        std::string fault;
        EXPECT_FALSE(Load(tree, cut, &fault)) << n;
        EXPECT_FALSE(fault.empty());
        EXPECT_EQ(tree.roots.size(), 0u) << n;
    }
}

TEST(PackMalformed, BadCountsSizesOffsetsAndDepths) {
    struct Case {
        const char* what;
        std::function<void(Raw&)> build;
    } cases[] = {
        {"huge root count", [](Raw& r) { r.w.U32(0xFFFFFFFF); r.Folder(0, 0, "a"); }},
        {"huge file count", [](Raw& r) { r.w.U32(1); r.Folder(0x10000000, 0, "a"); r.Stored("f", "x"); }},
        {"huge folder count", [](Raw& r) { r.w.U32(1); r.Folder(0, 0xFFFFFFFF, "a"); r.Folder(0, 0, "b"); }},
        {"huge name length", [](Raw& r) { r.w.U32(1); r.w.U32(0); r.w.U32(0); r.w.U8(0xFF); r.w.U16(0xFFFF); r.w.U32(0xFFFFFFF0); }},
        {"huge wide name", [](Raw& r) { r.w.U32(1); r.w.U32(0); r.w.U32(0); r.w.U8(0xFF); r.w.U16(0xFFFE); r.w.U8(0xFF); r.w.U16(0xFFFD); }},
        {"stored size past the end", [](Raw& r) { r.w.U32(1); r.Folder(1, 0, "a"); r.Stored("f", "abc", 0, 1000); }},
        {"packed size past the end", [](Raw& r) { r.w.U32(1); r.Folder(1, 0, "a"); r.Packed("f", 10, 20); r.bytes.resize(r.bytes.size() - 5); }},
        {"offset past the end", [](Raw& r) { r.w.U32(1); r.Folder(1, 0, "a"); r.Stored("f", "abc", 0x7FFFFF00); }},
        {"unknown mode", [](Raw& r) { r.w.U32(1); r.Folder(1, 0, "a"); r.w.U8(3); r.w.U8(0); r.w.U8(0); r.w.U32(0); r.w.U32(0); r.w.U32(0); }},
        {"unpacked size beyond any zlib ratio", [](Raw& r) { r.w.U32(1); r.Folder(1, 0, "a"); r.Packed("f", 10, 0xFFFFFFFF); }},
        {"tree deeper than 64", [](Raw& r) { r.bytes = Chain(65); }},
        {"second folder bad", [](Raw& r) { r.w.U32(2); r.Folder(1, 0, "ok"); r.Stored("f", "abc"); r.Folder(5, 0, "bad"); }},
    };
    for (const Case& c : cases) {
        Raw raw;
        c.build(raw);
        QvzPackTree tree;
        std::string fault;
        EXPECT_FALSE(Load(tree, raw.bytes, &fault)) << c.what;
        EXPECT_FALSE(fault.empty()) << c.what;
        EXPECT_EQ(tree.roots.size(), 0u) << c.what;
    }
    QvzPackTree deepest;
    EXPECT_TRUE(Load(deepest, Chain(64)));
}

std::vector<uint8_t> PackWithOneZlibEntry(uint32_t sizeShift, bool corrupt) {
    std::vector<uint8_t> data = Noise(4000, 11);
    std::vector<uint8_t> packed(compressBound(data.size()));
    uLongf length = packed.size();
    compress2(packed.data(), &length, data.data(), data.size(), 6);
    packed.resize(length);
    if (corrupt) for (size_t i = 10; i < 30; ++i) packed[i] ^= 0x5A;
    Raw r;
    r.w.U32(1);
    r.Folder(1, 0, "R");
    r.w.U8(2);
    datakit::PutArchiveString(r.w, "f");
    datakit::PutArchiveString(r.w, "");
    datakit::PutArchiveTime(r.w, 0);
    r.w.U32(static_cast<uint32_t>(packed.size()));
    r.w.U32(static_cast<uint32_t>(data.size()) + sizeShift);
    r.w.U32(static_cast<uint32_t>(r.w.Position() + 4));
    r.w.Bytes(packed.data(), packed.size());
    return r.bytes;
}

TEST(PackUnpack, ZlibFailuresAndShortResultsAreFailures) {
    struct Case {
        uint32_t sizeShift;
        bool corrupt;
        bool unpacks;
    } cases[] = {{0, false, true},
                 {1, false, false},            // the stream ends before the recorded size
                 {UINT32_MAX, false, false},   // a byte more than the recorded size
                 {0, true, false}};
    for (const Case& c : cases) {
        QvzPackTree tree;
        ASSERT_TRUE(Load(tree, PackWithOneZlibEntry(c.sizeShift, c.corrupt)));
        QvzPackEntry* e = tree.FindFileEntry("R/f");
        ASSERT_NE(e, nullptr);
        PackBytes out;
        EXPECT_EQ(e->Unpack(&out), c.unpacks);
        EXPECT_EQ(out.found, c.unpacks);
    }
}

// A damaged entry gives nothing and names its pack and itself; the first one asks the program to
// quit with a failure code through the message queue (the ordinary shutdown), later ones only say so.
TEST(PackUnpack, ADamagedEntryNamesThePackAndPostsOneQuitWithFailure) {
    DataFolderScope data;
    data.root().Write("Datas/Objects.QVz", PackWithOneZlibEntry(0, true));
    setenv("QUORVANE_NO_MESSAGE_BOX", "1", 1);
    ClearWindowMessages();
    OpenDataPacks();
    ASSERT_NE(PackTrees[PackObjects], nullptr);
    EXPECT_EQ(PackUnpackFailures, 0u);

    ::testing::internal::CaptureStderr();
    NztFile f;
    EXPECT_FALSE(f.OpenRead("R/f", PackTrees[PackObjects]));  // no loose file to fall back on
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("pack: "), std::string::npos) << err;
    EXPECT_NE(err.find("Objects.QVz: entry f: cannot unpack"), std::string::npos) << err;
    EXPECT_NE(err.find("QVZ Packing Error"), std::string::npos) << err;
    EXPECT_EQ(PackUnpackFailures, 1u);
    WindowMessage m;
    ASSERT_TRUE(PeekWindowMessage(&m));
    EXPECT_EQ(m.message, static_cast<uint32_t>(WM_QUIT));
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_FALSE(PeekWindowMessage(&m));

    // Met again: the line again, but neither a second box nor a second quit.
    ::testing::internal::CaptureStderr();
    PackBytes again = PackTrees[PackObjects]->GetFileData("R/f");
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(again.found);
    EXPECT_EQ(again.bytes, nullptr);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_FALSE(PeekWindowMessage(&m));

    // A tree read from memory has no file to name, and says so.
    QvzPackTree tree;
    ASSERT_TRUE(Load(tree, PackWithOneZlibEntry(0, true)));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(tree.GetFileData("R/f").found);
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("pack: (pack in memory): entry f"), std::string::npos) << err;
    DeletePackList();
    EXPECT_EQ(PackUnpackFailures, 0u);
    ClearWindowMessages();
}

TEST(DataPacks, CategoriesInSlotOrderWithMalformedPacksDropped) {
    DataFolderScope data;
    PackFolderSpec objects{"OBJECTS", {}, {}};
    objects.files.push_back(datakit::PackFile("Tree.QVo", Bytes("packed tree"), true));
    data.root().Write("Datas/objects.qvz", datakit::MakePack({objects}));  // found case-insensitively
    PackFolderSpec text{"TEXT", {}, {}};
    text.files.push_back(datakit::PackFile("Default.Gtx", Bytes("packed text"), false));
    data.root().Write("Datas/Text.QVz", datakit::MakePack({text}));
    std::vector<uint8_t> broken = datakit::MakePack(SampleRoots());
    broken.resize(broken.size() / 2);
    data.root().Write("Datas/Maps.QVz", broken);
    data.WriteData("OBJECTS/Tree.QVo", "loose tree");
    data.WriteData("MAPS/Sky.Img", "loose sky");

    ::testing::internal::CaptureStderr();
    OpenDataPacks();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("pack: ", 0), 0u) << err;
    EXPECT_NE(err.find("Maps.QVz"), std::string::npos) << err;

    ASSERT_NE(DataPackList, nullptr);
    EXPECT_EQ(DataPackList->size(), 2u);
    EXPECT_EQ((*DataPackList)[0]->name, "Objects");
    EXPECT_EQ((*DataPackList)[1]->name, "Text");
    for (int i = 0; i < PackCategoryCount; ++i)
        EXPECT_EQ(PackTrees[i] != nullptr, i == PackObjects || i == PackText) << PackCategoryNames[i];

    struct Case {
        const char* name;
        PackCategory category;
        const char* expected;
    } cases[] = {
        {"OBJECTS\\Tree.QVo", PackObjects, "packed tree"},
        {"MAPS/Sky.Img", PackMaps, "loose sky"},
        {"TEXT/default.gtx", PackText, "packed text"},
    };
    for (const Case& c : cases) {
        NztFile f;
        ASSERT_TRUE(f.OpenRead(c.name, PackTrees[c.category])) << c.name;
        std::string s(f.Length(), '\0');
        f.Read(static_cast<uint32_t>(s.size()), s.data());
        EXPECT_EQ(s, c.expected);
    }

    OpenDataPacks();  // opening again replaces the packs rather than adding to them
    EXPECT_EQ(DataPackList->size(), 2u);
    CloseDataPacks(DataPackList);
    EXPECT_TRUE(DataPackList->empty());
    for (QvzPackTree* tree : PackTrees) EXPECT_EQ(tree, nullptr);
}

TEST(DataPacks, APackedDataFolderReadsLikeItsLooseFiles) {
    DataFolderScope data;
    struct File {
        const char* name;
        PackCategory category;
        std::string text;
    } files[] = {
        {"OBJECTS/Tree.QVo", PackObjects, "tree"},
        {"OBJECTS/ENTITIES/Walk.QVa", PackAnims, "walk"},
        {"OBJECTS/ENTITIES/Hero1001.QVo", PackObjects, "hero"},
        {"MAPS/UI/Setting.Img", PackMaps, "setting"},
        {"TEXT/Default.Gtx", PackText, "texts"},
        {"SOUNDS/Step.Wav", PackSounds, std::string(3000, 's')},
    };
    for (const File& f : files) data.WriteData(f.name, f.text);
    std::string error;
    ASSERT_EQ(datakit::PackDataFolder(data.Data(""), true, &error), 5) << error;
    std::filesystem::remove_all(data.Data("OBJECTS"));
    std::filesystem::remove_all(data.Data("MAPS"));
    std::filesystem::remove_all(data.Data("TEXT"));
    std::filesystem::remove_all(data.Data("SOUNDS"));
    OpenDataPacks();
    for (const File& f : files) {
        NztFile stream;
        ASSERT_TRUE(stream.OpenRead(f.name, PackTrees[f.category])) << f.name;
        std::string s(stream.Length(), '\0');
        stream.Read(static_cast<uint32_t>(s.size()), s.data());
        EXPECT_EQ(s, f.text) << f.name;
    }
    // Animations live only in their own pack.
    EXPECT_EQ(PackTrees[PackObjects]->FindFileEntry("OBJECTS/ENTITIES/Walk.QVa"), nullptr);
    EXPECT_EQ(PackTrees[PackAnims]->FindFileEntry("OBJECTS/Tree.QVo"), nullptr);
    EXPECT_EQ(PackTrees[PackSfx], nullptr);
}

}  // namespace
