#include "core/paths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/scratch.h"
#include "platform/window.h"

namespace {

namespace fs = std::filesystem;

TEST(NameChecksum, KnownValues) {
    struct Case {
        const char* name;
        uint32_t sum;
    } cases[] = {
        {"", 0xFFFFFFFF},
        {"a", 0x00610061},
        {"ab", 0x62616261},
        {"abc", 0xC52562C4},
    };
    for (const Case& c : cases) EXPECT_EQ(NameChecksum(c.name), c.sum) << '"' << c.name << '"';
    EXPECT_NE(NameChecksum("ABC"), NameChecksum("abc"));
}

TEST(RoundToInt, TiesToEvenAndIndefiniteOutOfRange) {
    struct Case {
        double x;
        int32_t expected;
    } cases[] = {
        {0.5, 0},   {1.5, 2},          {2.5, 2},         {-0.5, 0},
        {-1.5, -2}, {3.7, 4},          {-3.7, -4},       {2147483647.0, INT32_MAX},
        {3e9, INT32_MIN}, {-3e9, INT32_MIN}, {std::nan(""), INT32_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(RoundToInt(c.x), c.expected) << c.x;
}

TEST(PathPieces, SplitAsWindowsDoes) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
        const char* nameExt;
        const char* ext;
    } cases[] = {
        {"MAPS/Sky1001.Img", "MAPS/", "Sky1001", "Sky1001.Img", ".Img"},
        {"a\\b/c.tar.gz", "a\\b/", "c.tar", "c.tar.gz", ".gz"},
        {"noext", "", "noext", "noext", ""},
        {"dir.d/file", "dir.d/", "file", "file", ""},
        {"dir/", "dir/", "", "", ""},
    };
    for (const Case& c : cases) {
        char out[64];
        ASSERT_TRUE(GetPathFolder(out, c.path));
        EXPECT_STREQ(out, c.folder) << c.path;
        ASSERT_TRUE(GetPathFileName(out, c.path));
        EXPECT_STREQ(out, c.name) << c.path;
        ASSERT_TRUE(GetPathFileNameExt(out, c.path));
        EXPECT_STREQ(out, c.nameExt) << c.path;
        ASSERT_TRUE(GetPathExtension(out, c.path));
        EXPECT_STREQ(out, c.ext) << c.path;
    }
    char path[32] = "MAPS/Sky1001.Img";
    ASSERT_TRUE(SetPathExtension(path, ".dds"));
    EXPECT_STREQ(path, "MAPS/Sky1001.dds");
    // Results that do not fit are refused, never cut or overflowed.
    char small[8];
    EXPECT_FALSE(GetPathFileNameExt(small, "MAPS/Sky1001.Img"));
    EXPECT_STREQ(small, "");
    char tight[17] = "MAPS/Sky1001.Img";
    EXPECT_FALSE(SetPathExtension(tight, ".Image"));
}

TEST(PathFolders, MakePathFoldersStopsBeforeTheLastPart) {
    ScratchDir dir;
    MakePathFolders((dir / "a/b/c.txt").c_str());
    EXPECT_TRUE(fs::is_directory(dir / "a/b"));
    EXPECT_FALSE(fs::exists(dir / "a/b/c.txt"));
    MakePathFolders((dir / "x\\y\\").c_str());
    EXPECT_TRUE(fs::is_directory(dir / "x/y"));
}

TEST(PathFolders, DeleteFolderTreeEmptiesButKeepsFoldersAndNeverFollowsLinks) {
    ScratchDir dir, outside;
    dir.Write("top.txt", "1");
    dir.Write(".hidden", "2");
    dir.Write("sub/inner.txt", "3");
    dir.Write("sub/deeper/leaf.txt", "4");
    dir.Write(".git/config", "5");
    outside.Write("keep.txt", "6");
    fs::create_directory_symlink(outside.path(), dir / "link");

    DeleteFolderTree(dir.path().c_str());

    EXPECT_FALSE(dir.Exists("top.txt"));
    EXPECT_FALSE(dir.Exists(".hidden"));
    EXPECT_FALSE(dir.Exists("sub/inner.txt"));
    EXPECT_FALSE(dir.Exists("sub/deeper/leaf.txt"));
    EXPECT_TRUE(fs::is_directory(dir / "sub/deeper"));
    EXPECT_TRUE(dir.Exists(".git/config"));  // folders whose name begins with '.' are left alone
    EXPECT_FALSE(fs::is_symlink(dir / "link"));
    EXPECT_TRUE(outside.Exists("keep.txt"));
}

class DataNames : public ::testing::Test {
 protected:
    void SetUp() override {
        data.WriteData("objects/tree.qvo", "tree");
        data.WriteData("objects/entities/hero.qva", "anim");
        data.WriteData("Mixed/Case.txt", "upper");
        data.WriteData("Mixed/case.txt", "lower");
    }
    std::string Resolved(const char* name) {
        std::string path = DataPath(name);
        std::string base = DataFolder;
        EXPECT_EQ(path.compare(0, base.size(), base), 0) << path;
        return path.substr(base.size());
    }
    DataFolderScope data;
};

TEST_F(DataNames, WindowsNamesAreFoundCaseInsensitively) {
    struct Case {
        const char* name;
        const char* resolved;
    } cases[] = {
        {"OBJECTS\\Tree.QVo", "objects/tree.qvo"},
        {"objects/TREE.QVO", "objects/tree.qvo"},
        {"Objects\\Entities\\HERO.qva", "objects/entities/hero.qva"},
        {"OBJECTS/", "objects/"},
        {"OBJECTS//Tree.QVo", "objects/tree.qvo"},
        {"OBJECTS/Missing.QVo", "objects/Missing.QVo"},  // new files keep their spelling
        {"NEW\\Sub\\file.bin", "NEW/Sub/file.bin"},
        {"mixed/case.txt", "Mixed/case.txt"},            // the exact spelling wins
        {"MIXED/CASE.TXT", "Mixed/Case.txt"},            // else the first in sort order
    };
    for (const Case& c : cases) EXPECT_EQ(Resolved(c.name), c.resolved) << c.name;
}

TEST_F(DataNames, FilesAddedAfterAListingAreFound) {
    EXPECT_EQ(Resolved("OBJECTS/LATE.QVO"), "objects/LATE.QVO");
    data.WriteData("objects/late.qvo", "late");
    EXPECT_EQ(Resolved("OBJECTS/LATE.QVO"), "objects/late.qvo");
    data.WriteData("brandnew/a.bin", "a");
    EXPECT_EQ(Resolved("BRANDNEW/A.BIN"), "brandnew/a.bin");
}

TEST_F(DataNames, PathsThatDoNotFitAreEmpty) {
    std::string longName(QvPathMax, 'x');
    EXPECT_STREQ(DataPath(longName.c_str()), "");
    EXPECT_STREQ(DataPathFormat("USER/%s.Scn", longName.c_str()), "");
    char out[16];
    EXPECT_FALSE(ResolvePath("/tmp/", "a/very/long/name", out, sizeof out));
    EXPECT_STREQ(out, "");
}

TEST(PlainNames, RefuseSeparatorsAndParents) {
    for (const char* good : {"slot1", "My Save", "a.b", ".x"}) EXPECT_TRUE(IsPlainName(good)) << good;
    for (const char* bad : {"", "a/b", "a\\b", "..", "../x", "x..y"}) EXPECT_FALSE(IsPlainName(bad)) << bad;
    EXPECT_FALSE(IsPlainName(nullptr));
}

TEST(Folders, DataFolderAndUserFolderEndInASlash) {
    InitDataFolder();
    EXPECT_STREQ(DataFolder, "../Datas/");
    SetDataFolder("x\\");
    EXPECT_STREQ(DataFolder, "x\\");
    SetDataFolder("");
    EXPECT_STREQ(DataFolder, "");
}

// Sets or clears environment variables for one test and puts them back afterwards.
class EnvScope {
 public:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~EnvScope() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) setenv(it->first.c_str(), it->second->c_str(), 1);
            else unsetenv(it->first.c_str());
        }
        SetUserFolder("");
    }

 private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(Folders, UserFolderFromTheEnvironment) {
    ScratchDir dir;
    struct Case {
        const char* profile;
        const char* config;
        const char* home;
        std::string expected;
    } cases[] = {
        {"PROFILE", "CONFIG", "HOME", dir / "profile/"},
        {"", "CONFIG", "HOME", dir / "config/quorvane/"},
        {nullptr, "CONFIG", "HOME", dir / "config/quorvane/"},
        {nullptr, nullptr, "HOME", dir / "home/.config/quorvane/"},
        {nullptr, "relative", "HOME", dir / "home/.config/quorvane/"},  // a relative XDG value is ignored
        {nullptr, nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        EnvScope env;
        auto value = [&](const char* v) -> std::string {
            if (!v) return {};
            if (!*v || !std::strcmp(v, "relative")) return v;
            std::string lower(v);
            for (char& ch : lower) ch = static_cast<char>(std::tolower(ch));
            return dir / lower;
        };
        std::string profile = value(c.profile), config = value(c.config), home = value(c.home);
        env.Set("USERPROFILE", c.profile ? profile.c_str() : nullptr);
        env.Set("XDG_CONFIG_HOME", c.config ? config.c_str() : nullptr);
        env.Set("HOME", c.home ? home.c_str() : nullptr);
        InitUserFolder();
        EXPECT_EQ(std::string(UserFolder), c.expected);
        if (!c.expected.empty()) {
            EXPECT_TRUE(fs::is_directory(c.expected)) << c.expected;
        }
    }
}

TEST(FileSearch, MatchesPatternsCaseInsensitively) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.QVm", "Plugin.qvm", true}, {"*.QVm", "Plugin.qvg", false}, {"*.*", "README", true},
        {"*.*", "a.b", true},          {"Shot???.tga", "SHOT001.TGA", true}, {"Shot???.tga", "Shot01.tga", false},
        {"*", "", true},               {"a*b*c", "aXXbYYc", true},         {"a*b*c", "aXXbYY", false},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchFilePattern(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(FileSearch, FlatAndRecursiveSearches) {
    ScratchDir dir;
    for (const char* name : {"A.QVm", "b.qvm", "_f.QVm", "notes.txt", "Sub/C.QVM", "Sub/Deep/D.qvm", "Other/e.QVm"})
        dir.Write(name, "");
    fs::create_directory(dir / "folder.qvm");  // folders are never matches
    std::string folder = dir.path() + "/";
    auto search = [&](bool recursive, uint32_t max) {
        static char names[16][256];
        FileSearchState state;
        FindFiles(&state, folder.c_str(), "*.QVm", names, max, recursive);
        std::vector<std::string> found;
        for (uint32_t i = 0; i < state.count; ++i) found.push_back(names[i] + folder.size());
        return found;
    };
    // Names are ordered as Windows lists them: folded to upper case, so '_' comes after the letters.
    EXPECT_THAT(search(false, 16), ::testing::ElementsAre("A.QVm", "b.qvm", "_f.QVm"));
    EXPECT_THAT(search(true, 16),
                ::testing::ElementsAre("A.QVm", "b.qvm", "_f.QVm", "Other/e.QVm", "Sub/C.QVM", "Sub/Deep/D.qvm"));
    EXPECT_THAT(search(true, 4), ::testing::ElementsAre("A.QVm", "b.qvm", "_f.QVm", "Other/e.QVm"));
}

TEST(Files, OpenModesAndWholeFiles) {
    ScratchDir dir;
    EXPECT_EQ(OpenFileMode((dir / "x").c_str(), 0), nullptr);
    EXPECT_EQ(OpenFileMode((dir / "x").c_str(), 9), nullptr);
    FILE* f = OpenFileMode((dir / "x").c_str(), 2);
    ASSERT_NE(f, nullptr);
    std::fputs("hello", f);
    std::fclose(f);
    EXPECT_TRUE(FileExists((dir / "x").c_str()));
    EXPECT_EQ(LoadWholeFile((dir / "x").c_str()), Bytes("hello"));
    dir.Write("empty", "");
    EXPECT_TRUE(LoadWholeFile((dir / "empty").c_str()).empty());
    EXPECT_TRUE(LoadWholeFile((dir / "missing").c_str()).empty());
    EXPECT_TRUE(LoadWholeFile(dir.path().c_str()).empty());
}

TEST(Screenshots, NumberingSkipsToAfterTheLastShot) {
    struct Case {
        std::vector<int> existing;
        const char* expected;
    } cases[] = {
        {{}, "Shot000.tga"},
        {{0}, "Shot001.tga"},
        {{0, 1}, "Shot002.tga"},
        {{0, 2}, "Shot003.tga"},       // a gap followed by a later shot is not used
        {{0, 50}, "Shot051.tga"},
        {{0, 200}, "Shot001.tga"},     // a gap with nothing within 100 numbers after it is used
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
          25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48,
          49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72,
          73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96,
          97, 98, 99},
         "Shot0100.tga"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        for (int n : c.existing) {
            char name[32];
            std::snprintf(name, sizeof name, "Shot0%02d.tga", n);
            dir.Write(name, "x");
        }
        char out[QvPathMax];
        ASSERT_TRUE(NextScreenshotName((dir / "Shot000.tga").c_str(), out, sizeof out));
        EXPECT_EQ(std::string(out), dir / c.expected);
    }
}

TEST(Pixels, SwapRgbaBytesExchangesRedAndBlue) {
    uint8_t pixels[] = {1, 2, 3, 4, 5, 6, 7, 8};
    SwapRgbaBytes(pixels, 2, 1);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 8), (std::vector<uint8_t>{3, 2, 1, 4, 7, 6, 5, 8}));
}

std::vector<DisplayModeInfo> Switched;
bool RecordSwitch(const DisplayModeInfo& mode) {
    Switched.push_back(mode);
    return mode.refreshRate != 85;  // this display refuses its 85 Hz modes
}

TEST(DisplayMode, PicksTheLastFittingModeTheDisplayAccepts) {
    std::vector<DisplayModeInfo> modes = {
        {1024, 768, 32, 60, 0}, {1024, 768, 32, 75, 0}, {1024, 768, 16, 75, 0},
        {1024, 768, 32, 75, 1}, {1024, 768, 32, 85, 0}, {800, 600, 32, 60, 0},
    };
    struct Case {
        uint32_t refresh;
        int result;
        std::vector<uint32_t> tried;  // refresh rates offered to the display, in order
    } cases[] = {
        {60, 1, {60}},
        {75, 1, {75}},              // the rotated mode and the 16-bit one never fit
        {0xFFFFFFFF, 1, {85, 75}},  // any frequency: from the last mode down, past a refusal
        {50, 0, {}},
    };
    for (const Case& c : cases) {
        ResetUserConfig();
        UserConfig.refreshRate = c.refresh;
        Switched.clear();
        EXPECT_EQ(SetDisplayModeFrom(modes, RecordSwitch), c.result);
        std::vector<uint32_t> tried;
        for (const DisplayModeInfo& m : Switched) tried.push_back(m.refreshRate);
        EXPECT_EQ(tried, c.tried) << c.refresh;
    }
    ResetUserConfig();
}

}  // namespace
