#include "core/nztfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/binio.h"
#include "core/pack.h"
#include "core/scratch.h"
#include "datakit/pack.h"

namespace {

std::string ReadAll(NztFile& f, uint32_t n) {
    std::string s(n, '\0');
    f.Read(n, s.data());
    return s;
}

// A data folder holding a pack tree (in memory) and loose files, some of the same names.
class DataStreams : public ::testing::Test {
 protected:
    void SetUp() override {
        datakit::PackFolderSpec objects{"OBJECTS", {}, {}};
        objects.files.push_back(datakit::PackFile("Both.bin", Bytes("from the pack"), true));
        objects.files.push_back(datakit::PackFile("Stored.bin", Bytes("stored bytes"), false));
        objects.files.push_back(datakit::PackFile("Tiny.bin", Bytes("abcd"), false));
        std::vector<uint8_t> bytes = datakit::MakePack({objects});
        BinReader in(bytes.data(), bytes.size());
        std::string fault;
        ASSERT_TRUE(tree.Serialize(in, nullptr, &fault)) << fault;
        data.WriteData("objects/both.bin", "loose file");
        data.WriteData("objects/loose.bin", "only loose");
    }
    DataFolderScope data;
    QvzPackTree tree;
};

TEST_F(DataStreams, PackFirstThenLooseFiles) {
    struct Case {
        const char* name;
        QvzPackTree* pack;
        const char* expected;  // null: cannot be opened
    } cases[] = {
        {"OBJECTS/Both.bin", &tree, "from the pack"},
        {"OBJECTS\\BOTH.BIN", &tree, "from the pack"},
        {"OBJECTS/Both.bin", nullptr, "loose file"},
        {"Objects\\Loose.bin", &tree, "only loose"},
        {"OBJECTS/Missing.bin", &tree, nullptr},
    };
    for (const Case& c : cases) {
        NztFile f;
        bool opened = f.OpenRead(c.name, c.pack);
        ASSERT_EQ(opened, c.expected != nullptr) << c.name;
        if (!opened) continue;
        uint32_t n = f.Length();
        EXPECT_EQ(ReadAll(f, n), c.expected) << c.name;
        EXPECT_FALSE(f.ShortRead());
        f.Close();
    }
}

TEST_F(DataStreams, ReopeningAPackEntryYieldsTheSameBytes) {
    for (int i = 0; i < 2; ++i) {
        NztFile f;
        ASSERT_TRUE(f.OpenRead("OBJECTS/Both.bin", &tree));
        EXPECT_EQ(ReadAll(f, 13), "from the pack");
        f.Close();
    }
}

TEST_F(DataStreams, TwoStreamsOnOneEntryKeepTheirOwnBytes) {
    for (const char* name : {"OBJECTS/Both.bin", "OBJECTS/Stored.bin"}) {
        NztFile first, second;
        ASSERT_TRUE(first.OpenRead(name, &tree));
        ASSERT_TRUE(second.OpenRead(name, &tree));
        std::string head = ReadAll(second, 4);
        first.Close();
        std::string rest = ReadAll(second, second.Length() - 4);
        EXPECT_EQ(head + rest, name == std::string("OBJECTS/Both.bin") ? "from the pack" : "stored bytes");
        EXPECT_FALSE(second.ShortRead());
    }
}

TEST_F(DataStreams, ReadsPastTheEndStopAtTheEndAndZeroFill) {
    for (QvzPackTree* pack : {&tree, static_cast<QvzPackTree*>(nullptr)}) {
        data.WriteData("objects/tiny.bin", "abcd");
        NztFile f;
        ASSERT_TRUE(f.OpenRead("OBJECTS/Tiny.bin", pack));
        char out[8];
        std::memset(out, 'z', sizeof out);
        EXPECT_EQ(f.Read(8, out), 4u);
        EXPECT_EQ(std::string(out, 8), std::string("abcd\0\0\0\0", 8));
        EXPECT_TRUE(f.ShortRead());
        EXPECT_EQ(f.Read(1, out), 0u);
        EXPECT_EQ(out[0], 0);
    }
}

TEST_F(DataStreams, WritesToAPackEntryAreRefused) {
    NztFile f;
    ASSERT_TRUE(f.OpenRead("OBJECTS/Stored.bin", &tree));
    EXPECT_EQ(f.Write(3, "XYZ"), 0u);
    EXPECT_TRUE(f.ShortRead());
    EXPECT_EQ(f.Tell(), 0u);
    EXPECT_EQ(ReadAll(f, 12), "stored bytes");
}

TEST(NztFileStreams, ReadWriteFileReseeksAtEverySwitch) {
    ScratchDir dir;
    dir.Write("rw.bin", "abcdef");
    NztFile f;
    ASSERT_TRUE(f.OpenFile((dir / "rw.bin").c_str(), NztFileReadWrite));
    EXPECT_EQ(ReadAll(f, 2), "ab");
    EXPECT_EQ(f.Write(2, "XY"), 2u);
    EXPECT_EQ(ReadAll(f, 1), "e");
    EXPECT_EQ(f.Write(1, "Z"), 1u);
    EXPECT_EQ(f.Tell(), 6u);
    f.CloseWrite();
    EXPECT_EQ(dir.Read("rw.bin"), Bytes("abXYeZ"));
}

TEST(NztFileStreams, GrowingBlockGrowsOneMegabytePastItsSize) {
    constexpr uint32_t Step = 0x100000;
    NztFile f;
    f.OpenGrowingBlock();
    std::vector<uint8_t> chunk(Step + 10, 7);
    ASSERT_EQ(f.Write(10, chunk.data()), 10u);
    EXPECT_EQ(f.capacity, 10 + Step);
    ASSERT_EQ(f.Write(Step, chunk.data()), Step);  // exactly the capacity: no growth
    EXPECT_EQ(f.capacity, 10 + Step);
    ASSERT_EQ(f.Write(1, chunk.data()), 1u);
    EXPECT_EQ(f.capacity, 10 + Step + 1 + Step);
    EXPECT_EQ(f.Tell(), 10 + Step + 1);
    uint32_t size = 0;
    uint8_t* block = f.TakeBlock(&size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 10 + Step + 1);
    EXPECT_EQ(block[size - 1], 7);
    std::free(block);
}

TEST(NztFileStreams, ClosedWriteBlockPassesToItsOwner) {
    NztFile f;
    f.OpenGrowingBlock();
    f.Write(5, "hello");
    f.Close();
    ASSERT_NE(f.memoryBlock, nullptr);
    EXPECT_EQ(std::memcmp(f.memoryBlock, "hello", 5), 0);
    std::free(f.memoryBlock);
}

TEST(NztFileStreams, MemoryStreamOverCallerBytes) {
    const char text[] = "0123456789";
    NztFile f;
    f.OpenMemory(text, 10);
    EXPECT_TRUE(f.Seek(8));
    EXPECT_FALSE(f.Seek(11));
    EXPECT_EQ(ReadAll(f, 2), "89");
    EXPECT_FALSE(f.ShortRead());
    f.Close();
    EXPECT_EQ(f.memoryBlock, nullptr);
}

// Skips inside a stream land where a seek would, short hops and long ones alike, on read files,
// read-write files and memory. A file stream trusts its caller to stay within the data (a reader
// bounds every skip by the length it took once); memory refuses a hop past the end.
TEST(NztFileStreams, SkipsLandWhereASeekWould) {
    std::string text(20000, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 23);
    ScratchDir dir;
    dir.Write("skip.bin", text);
    struct Hop {
        uint32_t skip, read;
    };
    const Hop hops[] = {{0, 3}, {1, 2}, {100, 5}, {4096, 1}, {4097, 7}, {9000, 4}};
    for (const uint32_t mode : {uint32_t{0}, uint32_t{NztFileRead}, uint32_t{NztFileReadWrite}}) {
        NztFile f;
        if (mode == 0)
            f.OpenMemory(text.data(), static_cast<uint32_t>(text.size()));
        else
            ASSERT_TRUE(f.OpenFile((dir / "skip.bin").c_str(), mode));
        uint32_t at = 0;
        for (const Hop& h : hops) {
            ASSERT_TRUE(f.Skip(h.skip)) << "mode " << mode << ", skip " << h.skip;
            at += h.skip;
            EXPECT_EQ(ReadAll(f, h.read), text.substr(at, h.read)) << "mode " << mode << ", skip " << h.skip;
            at += h.read;
            EXPECT_EQ(f.Tell(), at) << "mode " << mode;
        }
        if (mode == 0) {
            EXPECT_FALSE(f.Skip(static_cast<uint32_t>(text.size())));
        }
    }
    // Through a reader: a skip within bounds, then one past the end fails for good.
    NztFile f;
    ASSERT_TRUE(f.OpenFile((dir / "skip.bin").c_str(), NztFileRead));
    BinReader r(f);
    EXPECT_TRUE(r.Skip(5000));
    EXPECT_EQ(r.U8(), static_cast<uint8_t>(text[5000]));
    EXPECT_FALSE(r.Skip(text.size()));
    EXPECT_FALSE(r.Ok());
}

TEST(AtomicSaves, ReplaceTheFileOnlyWhenComplete) {
    ScratchDir dir;
    dir.Write("save.bin", "old");
    std::string path = dir / "save.bin";
    {
        AtomicSave save;  // never committed: the old file stays, the temporary goes
        ASSERT_TRUE(save.Open(path.c_str()));
        save.Stream().Write(3, "new");
    }
    EXPECT_EQ(dir.Read("save.bin"), Bytes("old"));
    EXPECT_FALSE(dir.Exists("save.bin.tmp"));
    {
        AtomicSave save;
        ASSERT_TRUE(save.Open(path.c_str()));
        save.Stream().Write(3, "new");
        EXPECT_TRUE(save.Commit());
    }
    EXPECT_EQ(dir.Read("save.bin"), Bytes("new"));
    std::filesystem::create_directory(dir / "blocked.bin.tmp");
    AtomicSave blocked;
    EXPECT_FALSE(blocked.Open((dir / "blocked.bin").c_str()));
    EXPECT_FALSE(blocked.Commit());
}

TEST(BinaryReader, LittleEndianFieldsAndStickyFailure) {
    std::vector<uint8_t> bytes;
    BinWriter w(bytes);
    w.U8(0xAB);
    w.U16(0x1234);
    w.U32(0xDEADBEEF);
    w.I32(-5);
    w.U64(0x0102030405060708ull);
    w.F32(1.5f);
    w.F64(-2.25);
    w.Text("name", 8);
    ASSERT_EQ(bytes.size(), 1u + 2 + 4 + 4 + 8 + 4 + 8 + 8);
    EXPECT_EQ(bytes[1], 0x34);  // low byte first

    ScratchDir dir;
    dir.Write("fields.bin", bytes);
    NztFile file;
    ASSERT_TRUE(file.OpenFile((dir / "fields.bin").c_str(), NztFileRead));
    BinReader fromMemory(bytes.data(), bytes.size());
    BinReader fromFile(file);
    for (BinReader* r : {&fromMemory, &fromFile}) {
        EXPECT_EQ(r->U8(), 0xAB);
        EXPECT_EQ(r->U16(), 0x1234);
        EXPECT_EQ(r->U32(), 0xDEADBEEFu);
        EXPECT_EQ(r->I32(), -5);
        EXPECT_EQ(r->U64(), 0x0102030405060708ull);
        EXPECT_EQ(r->F32(), 1.5f);
        EXPECT_EQ(r->F64(), -2.25);
        char name[8];
        EXPECT_TRUE(r->Text(name));
        EXPECT_STREQ(name, "name");
        EXPECT_TRUE(r->Ok());
        EXPECT_EQ(r->Remaining(), 0u);
        EXPECT_EQ(r->U32(), 0u);  // past the end: zero, and failed for good
        EXPECT_FALSE(r->Ok());
        EXPECT_FALSE(r->Skip(0) && r->Ok());
    }
}

TEST(BinaryReader, TextFieldsAlwaysEndInAZero) {
    const std::string full(16, 'x');
    struct Case {
        size_t buffer;
        size_t field;
        const char* text;
        size_t after;  // position after the read
    } cases[] = {
        {16, 16, "xxxxxxxxxxxxxxx", 16},  // the field's last byte is its terminator
        {8, 16, "xxxxxxx", 16},           // cut to the buffer, the rest skipped
        {32, 4, "xxx", 4},
    };
    for (const Case& c : cases) {
        BinReader r(full.data(), full.size());
        char buffer[32];
        std::memset(buffer, 'q', sizeof buffer);
        EXPECT_TRUE(r.Text(buffer, c.buffer, c.field));
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(r.Position(), c.after);
    }
    BinReader truncated(full.data(), 10);
    char buffer[16];
    EXPECT_FALSE(truncated.Text(buffer));
    EXPECT_STREQ(buffer, "");
}

TEST(BinaryReader, CountsThatCannotFitAreRefusedWithoutOverflow) {
    uint8_t bytes[100] = {};
    BinReader r(bytes, sizeof bytes);
    EXPECT_TRUE(r.Fits(10, 10));
    EXPECT_FALSE(r.Fits(11, 10));
    EXPECT_FALSE(r.Fits(UINT64_MAX, 2));
    EXPECT_FALSE(r.Fits(0x100000001ull, 0x100000000ull));
    EXPECT_TRUE(r.Fits(UINT64_MAX, 0));
    EXPECT_EQ(r.View(101), nullptr);
    EXPECT_FALSE(r.Ok());
}

}  // namespace
