#include "core/config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/binio.h"
#include "core/scratch.h"
#include "datakit/gameconfig.h"
#include "datakit/userconfig.h"

namespace {

std::vector<uint32_t> Words(const std::vector<uint8_t>& bytes) {
    std::vector<uint32_t> words;
    BinReader in(bytes.data(), bytes.size());
    while (in.Remaining() >= 4) words.push_back(in.U32());
    return words;
}

class UserConfigFile : public ::testing::Test {
 protected:
    void SetUp() override { ResetUserConfig(); }
    void TearDown() override { ResetUserConfig(); }
    void Write(const std::vector<uint8_t>& bytes) { data.root().Write("User/QuorvaneGame.cfg", bytes); }
    DataFolderScope data;
};

TEST_F(UserConfigFile, EveryVersionReadsItsOwnLayout) {
    // Values unlike the defaults, so that each field shows whether it was read.
    datakit::UserConfigSpec spec;
    spec.unusedWord = 0xABCD;
    spec.width = 640;
    spec.height = 480;
    spec.bitsPerPixel = 16;
    spec.refreshRate = 75;
    spec.fullScreen = 0;
    spec.verticalSync = 0;
    spec.bumpMapping = 0;
    spec.textureSize = 2;
    spec.tenthWord = 7;
    for (uint32_t version = 10001; version <= 10009; ++version) {
        spec.version = version;
        ResetUserConfig();
        Write(datakit::MakeUserConfig(spec));
        LoadUserConfig();
        const UserConfigData& c = UserConfig;
        EXPECT_EQ(c.width, 640u) << version;
        EXPECT_EQ(c.height, 480u) << version;
        EXPECT_EQ(c.bitsPerPixel, 16u) << version;
        EXPECT_EQ(c.refreshRate, 75u) << version;
        EXPECT_EQ(c.fullScreen, 0u) << version;
        EXPECT_EQ(c.verticalSync, version >= 10005 ? 0u : 1u) << version;
        EXPECT_EQ(c.bumpMapping, 0u) << version;
        EXPECT_EQ(c.textureSize, 2u) << version;
        EXPECT_EQ(c.tenthWord, version >= 10007 ? 7u : 0u) << version;
        EXPECT_EQ(c.version, 10009u) << version;
    }
}

TEST_F(UserConfigFile, UnknownVersionsTruncationAndZeroSizesKeepDefaults) {
    datakit::UserConfigSpec spec;
    spec.width = 640;
    spec.height = 480;
    spec.bumpMapping = 0;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t width, height, bump;
    } cases[] = {
        {"version 10000", [&] { auto s = spec; s.version = 10000; return datakit::MakeUserConfig(s); }(), 1024, 768, 1},
        {"version 10010", [&] { auto s = spec; s.version = 10010; return datakit::MakeUserConfig(s); }(), 1024, 768, 1},
        {"truncated", [&] { auto b = datakit::MakeUserConfig(spec); b.resize(b.size() - 1); return b; }(), 1024, 768, 1},
        {"truncated 10007 skip", [&] { auto s = spec; s.version = 10007; auto b = datakit::MakeUserConfig(s); b.resize(b.size() - 6); return b; }(), 1024, 768, 1},
        {"zero width", [&] { auto s = spec; s.width = 0; return datakit::MakeUserConfig(s); }(), 1024, 768, 0},
        {"zero height", [&] { auto s = spec; s.height = 0; return datakit::MakeUserConfig(s); }(), 1024, 768, 0},
        {"10003 without its trailing bytes", [&] { auto s = spec; s.version = 10003; auto b = datakit::MakeUserConfig(s); b.resize(b.size() - 12); return b; }(), 640, 480, 0},
        {"empty", {}, 1024, 768, 1},
    };
    for (const Case& c : cases) {
        ResetUserConfig();
        Write(c.bytes);
        LoadUserConfig();
        EXPECT_EQ(UserConfig.width, c.width) << c.what;
        EXPECT_EQ(UserConfig.height, c.height) << c.what;
        EXPECT_EQ(UserConfig.bumpMapping, c.bump) << c.what;
    }
    std::filesystem::remove(data.root() / "User/QuorvaneGame.cfg");
    ResetUserConfig();
    LoadUserConfig();
    EXPECT_EQ(UserConfig.width, 1024u);
}

TEST_F(UserConfigFile, SavingWritesVersion10009WithTenWords) {
    datakit::UserConfigSpec old;
    old.version = 10001;
    old.width = 800;
    old.height = 600;
    Write(datakit::MakeUserConfig(old));
    LoadUserConfig();
    ASSERT_TRUE(SaveUserConfig());
    std::vector<uint8_t> saved = data.root().Read("User/QuorvaneGame.cfg");
    ASSERT_EQ(saved.size(), 40u);
    EXPECT_EQ(Words(saved), (std::vector<uint32_t>{10009, 800, 600, 32, 60, 1, 1, 1, 0, 0}));
    EXPECT_FALSE(data.root().Exists("User/QuorvaneGame.cfg.tmp"));
}

TEST_F(UserConfigFile, AFailedSaveKeepsTheOldFile) {
    Write(datakit::MakeUserConfig({}));
    std::vector<uint8_t> before = data.root().Read("User/QuorvaneGame.cfg");
    std::filesystem::create_directory(data.root() / "User/QuorvaneGame.cfg.tmp");
    UserConfig.width = 1;
    EXPECT_FALSE(SaveUserConfig());
    EXPECT_EQ(data.root().Read("User/QuorvaneGame.cfg"), before);
}

class GameConfigFile : public ::testing::Test {
 protected:
    void SetUp() override { ResetGameSettings(); }
    void TearDown() override { ResetGameSettings(); }
    DataFolderScope data;
};

TEST_F(GameConfigFile, EveryVersionReadsItsOwnLayout) {
    datakit::GameConfigSpec spec;
    spec.oldTypeWord = 1234;
    spec.playerType = "HERO2002";
    spec.startScene = "Harbour";
    spec.fontFile = "Serif.ttf";
    spec.fontSize = 18.5f;
    spec.extraWord = 99;
    spec.textTable = "English.Gtx";
    struct Case {
        uint32_t version;
        const char* player;
        const char* scene;
        const char* font;
        float size;
        uint32_t extra;
        const char* table;
    } cases[] = {
        {10000, "NZT1001", "", "", 0.0f, 0, ""},  // the first word never names the player type
        {10001, "NZT1001", "Harbour", "", 0.0f, 0, ""},
        {10002, "NZT1001", "Harbour", "Serif.ttf", 18.0f, 0, ""},
        {10003, "NZT1001", "Harbour", "Serif.ttf", 18.0f, 0, ""},
        {10004, "HERO2002", "Harbour", "Serif.ttf", 18.0f, 0, ""},
        {10005, "HERO2002", "Harbour", "Serif.ttf", 18.0f, 0, ""},
        {10006, "HERO2002", "Harbour", "Serif.ttf", 18.5f, 0, ""},
        {10007, "HERO2002", "Harbour", "Serif.ttf", 18.5f, 99, ""},
        {10008, "HERO2002", "Harbour", "Serif.ttf", 18.5f, 99, "English.Gtx"},
    };
    for (const Case& c : cases) {
        spec.version = c.version;
        ASSERT_TRUE(datakit::WriteGameConfig(data.Data(""), spec));
        ResetGameSettings();
        ASSERT_TRUE(ReadGameConfig()) << c.version;
        EXPECT_STREQ(GameSettings.playerType, c.player) << c.version;
        EXPECT_STREQ(GameSettings.startScene, c.scene) << c.version;
        EXPECT_STREQ(GameSettings.fontFile, c.font) << c.version;
        EXPECT_EQ(GameSettings.fontSize, c.size) << c.version;
        EXPECT_EQ(GameSettings.extraWord, c.extra) << c.version;
        EXPECT_STREQ(GameSettings.textTable, c.table) << c.version;
    }
    for (uint32_t version : {9999u, 10009u}) {
        spec.version = version;
        ASSERT_TRUE(datakit::WriteGameConfig(data.Data(""), spec));
        EXPECT_FALSE(ReadGameConfig()) << version;
    }
}

TEST_F(GameConfigFile, NameFieldsEndInAZeroAndTruncatedFilesAreRefused) {
    datakit::GameConfigSpec spec;
    std::vector<uint8_t> bytes = datakit::MakeGameConfig(spec);
    std::memset(bytes.data() + 4, 'P', 256);  // a player type without a terminator
    data.WriteData("GAMESETTING/GameConfig.cfg", bytes);
    ASSERT_TRUE(ReadGameConfig());
    EXPECT_EQ(std::strlen(GameSettings.playerType), 255u);
    EXPECT_STREQ(GameSettings.startScene, "IceWorld");

    for (size_t cut : {size_t{3}, size_t{4 + 256 + 10}, bytes.size() - 1}) {
        std::vector<uint8_t> shortFile(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cut));
        data.WriteData("GAMESETTING/GameConfig.cfg", shortFile);
        ResetGameSettings();
        EXPECT_FALSE(ReadGameConfig()) << cut;
        EXPECT_STREQ(GameSettings.playerType, "") << cut;  // nothing of a refused file is kept
    }
}

TEST_F(GameConfigFile, SettingsFallBackToTheirDefaults) {
    struct Case {
        const char* what;
        bool write;
        datakit::GameConfigSpec spec;
        const char* player;
        const char* scene;
        const char* font;
        float size;
        const char* table;
    } cases[] = {
        {"missing file", false, {}, "NZT1001", "IceWorld", "ARIAL.TTF", 24.0f, "Default.Gtx"},
        {"version 10001", true, [] { datakit::GameConfigSpec s; s.version = 10001; s.startScene = ""; return s; }(),
         "NZT1001", "IceWorld", "ARIAL.TTF", 24.0f, "Default.Gtx"},
        {"empty names", true,
         [] { datakit::GameConfigSpec s; s.playerType = ""; s.fontFile = ""; s.fontSize = 9; s.textTable = ""; return s; }(),
         "NZT1001", "IceWorld", "ARIAL.TTF", 24.0f, "Default.Gtx"},
        {"font outside FONTS", true, [] { datakit::GameConfigSpec s; s.fontFile = "../../x.ttf"; s.fontSize = 9; return s; }(),
         "NZT1001", "IceWorld", "ARIAL.TTF", 24.0f, "Default.Gtx"},
        {"all given", true,
         [] { datakit::GameConfigSpec s; s.playerType = "P"; s.startScene = "S"; s.fontFile = "F.ttf"; s.fontSize = 9; s.textTable = "T.Gtx"; return s; }(),
         "P", "S", "F.ttf", 9.0f, "T.Gtx"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(data.Data("GAMESETTING/GameConfig.cfg"));
        if (c.write) {
            ASSERT_TRUE(datakit::WriteGameConfig(data.Data(""), c.spec));
        }
        LoadGameSettings();
        EXPECT_STREQ(GameSettings.playerType, c.player) << c.what;
        EXPECT_STREQ(GameSettings.startScene, c.scene) << c.what;
        EXPECT_STREQ(GameSettings.fontFile, c.font) << c.what;
        EXPECT_EQ(GameSettings.fontSize, c.size) << c.what;
        EXPECT_STREQ(GameSettings.textTable, c.table) << c.what;
    }
}

}  // namespace
