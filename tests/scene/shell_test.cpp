// Opening targets through the desktop opener (recorded, never started) and reading them from the
// registry path chain.
#include "scene/shell.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/scratch.h"
#include "core/userreg.h"
#include "objects/actions.h"
#include "platform/shell.h"
#include "scene/actions.h"

namespace {

std::vector<std::vector<std::string>> Spawned;
bool SpawnResult = true;

bool RecordSpawn(const char* const* argv) {
    std::vector<std::string> args;
    for (; *argv != nullptr; ++argv) args.emplace_back(*argv);
    Spawned.push_back(args);
    return SpawnResult;
}

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        Spawned.clear();
        SpawnResult = true;
        SetShellSpawner(RecordSpawn);
    }
    void TearDown() override { SetShellSpawner(nullptr); }
    // The single target handed to the opener, or "" when nothing was started.
    static std::string Opened() {
        if (Spawned.empty()) return "";
        EXPECT_EQ(Spawned.size(), 1u);
        EXPECT_EQ(Spawned[0].size(), 2u);
        EXPECT_EQ(Spawned[0][0], "xdg-open");
        return Spawned[0].back();
    }
    DataFolderScope scope_;
};

TEST_F(Shell, TargetsBecomeOneArgumentOfTheOpener) {
    struct Case {
        const char* target;
        bool opened;
    } cases[] = {
        {"Docs/manual.pdf", true},
        {"https://example.org/a?b=c&d", true},
        {"x; rm -rf ~ $(touch y) `z` | w", true},  // handed over as it is, no interpreter sees it
        {"", false},
        {"--help", false},  // would be an option of the opener
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        Spawned.clear();
        EXPECT_EQ(ShellOpen(c.target), c.opened);
        EXPECT_EQ(Opened(), c.opened ? c.target : "");
    }
    Spawned.clear();
    SpawnResult = false;
    EXPECT_FALSE(ShellOpen("doc.pdf"));  // the opener could not start
}

TEST_F(Shell, MailGoesToAMailtoLink) {
    EXPECT_TRUE(SendMailTo("someone@example.org"));
    EXPECT_EQ(Opened(), "mailto:someone@example.org");
    Spawned.clear();
    std::string huge(5000, 'a');
    EXPECT_FALSE(SendMailTo(huge.c_str()));  // cut short it would name someone else
    EXPECT_TRUE(Spawned.empty());
}

TEST_F(Shell, JoinRegistryPathAppendsOrReplaces) {
    struct Case {
        const char* part;
        const char* result;
    } cases[] = {
        {"Games", "HKEY_CURRENT_USER/Software/Quorvane/Games"},
        {"HKEY_LOCAL_MACHINE\\Software\\X", "HKEY_LOCAL_MACHINE\\Software\\X"},
        {"", "HKEY_CURRENT_USER/Software/Quorvane/"},
    };
    for (const Case& c : cases) {
        char path[RegistryPathBytes] = "HKEY_CURRENT_USER/Software/Quorvane";
        EXPECT_EQ(JoinRegistryPath(c.part, path, sizeof path), 1);
        EXPECT_STREQ(path, c.result);
    }
    char small[40] = "HKEY_CURRENT_USER/Software/Quorvane";
    EXPECT_EQ(JoinRegistryPath("LongerThanTheRoomLeft", small, sizeof small), 0);
    EXPECT_STREQ(small, "HKEY_CURRENT_USER/Software/Quorvane");
}

TEST_F(Shell, RegistryPathChainsOneNodePerSegment) {
    ASSERT_TRUE(UserRegWriteString("HKEY_CURRENT_USER/Software/Quorvane", "v", "1"));
    RegistryPath* chain = OpenRegistryPath("hkey_current_user/Software\\Quorvane//New");
    std::vector<std::string> keys;
    RegistryPath* last = nullptr;
    for (RegistryPath* node = chain; node != nullptr; node = node->next) {
        keys.push_back(node->key);
        last = node;
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"HKEY_CURRENT_USER", "HKEY_CURRENT_USER/Software",
                                              "HKEY_CURRENT_USER/Software/Quorvane",
                                              "HKEY_CURRENT_USER/Software/Quorvane/New"}));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->created, 1);
    CloseRegistryPath(chain);
    // No root to open the first segment under.
    for (const char* text : {"Software/Quorvane", "", "HKEY_NOPE/x", "x\\HKEY_CURRENT_USER"})
        EXPECT_EQ(OpenRegistryPath(text), nullptr) << text;
    char out[RegistryStringBytes];
    EXPECT_STREQ(ReadRegistryString("Software/Quorvane", "v", out), "error");
    EXPECT_STREQ(ReadRegistryString("HKEY_CURRENT_USER/Software/Quorvane", "v", out), "1");
}

TEST_F(Shell, RegistryTargetsAreReadThenOpened) {
    ASSERT_TRUE(UserRegWriteString("HKEY_CURRENT_USER/Software/Quorvane/Links", "Site", "https://example.org/"));
    ASSERT_TRUE(UserRegWriteString("HKEY_LOCAL_MACHINE/Software/Maker", "Manual", "Docs/manual.pdf"));
    ASSERT_TRUE(UserRegWriteString("HKEY_CURRENT_USER/Software/Quorvane", "Top", "top.txt"));
    ASSERT_TRUE(UserRegWriteString("HKEY_CURRENT_USER/Software/Quorvane/Links", "Bad", "error"));
    std::string fileBefore;
    {
        auto bytes = scope_.root().Read("User/Registry.ini");
        fileBefore.assign(bytes.begin(), bytes.end());
    }
    struct Case {
        const char* text;
        const char* opened;  // "" : nothing opened and false
    } cases[] = {
        {"Links\\Site.lnk", "https://example.org/"},
        {"links/site", "https://example.org/"},
        {"HKEY_LOCAL_MACHINE\\Software\\Maker\\Manual.txt", "Docs/manual.pdf"},
        {"Top", "top.txt"},
        {"Links\\Missing", ""},
        {"Nowhere\\Site", ""},
        {"Links\\Bad", ""},  // a stored "error" cannot be told from a failed read
        {"HKEY_BOGUS\\Site", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Spawned.clear();
        EXPECT_EQ(OpenRegistryTarget(c.text), c.opened[0] != 0);
        EXPECT_EQ(Opened(), c.opened);
    }
    auto bytes = scope_.root().Read("User/Registry.ini");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), fileBefore);  // reads created no key
}

// System command 8 opens what the registry value names, and only when there is none the record's
// second text; 7 opens the second text at once.
TEST_F(Shell, SystemCommandsOpenRegistryTargetsOrFallBackToTheSecondText) {
    ASSERT_TRUE(UserRegWriteString("HKEY_CURRENT_USER/Software/Quorvane/Links", "Site", "https://example.org/"));
    struct Case {
        int32_t code;
        const char* text;
        const char* opened;
    } cases[] = {
        {8, "Links\\Site", "https://example.org/"},
        {8, "Links\\Missing", "fallback.pdf"},
        {7, "Links\\Site", "fallback.pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Spawned.clear();
        EventRecord r = BlankEventRecord();
        r.Action = ActionSystemCommand;
        r.Param = c.code;
        std::snprintf(r.Text, sizeof r.Text, "%s", c.text);
        std::snprintf(r.Text2, sizeof r.Text2, "%s", "fallback.pdf");
        SystemCommandAction(&r);
        EXPECT_EQ(Opened(), c.opened);
    }
}

// System command 17 empties the user folder of the data folder, down every sub-folder, and
// touches nothing outside it.
TEST_F(Shell, SystemCommandClearsTheUserFolderOfTheData) {
    scope_.WriteData("USER/Quick.Scn", "scene");
    scope_.WriteData("USER/Scripts/Crate.evt", "events");
    scope_.WriteData("SCN/Level.Scn", "level");
    ASSERT_TRUE(UserRegWriteString("HKEY_CURRENT_USER/Software/Quorvane", "Kept", "1"));
    EventRecord r = BlankEventRecord();
    r.Action = ActionSystemCommand;
    r.Param = 17;
    SystemCommandAction(&r);
    EXPECT_FALSE(scope_.root().Exists("Datas/USER/Quick.Scn"));
    EXPECT_FALSE(scope_.root().Exists("Datas/USER/Scripts/Crate.evt"));
    EXPECT_TRUE(scope_.root().Exists("Datas/SCN/Level.Scn"));
    char out[RegistryStringBytes];
    EXPECT_STREQ(ReadRegistryString("HKEY_CURRENT_USER/Software/Quorvane", "Kept", out), "1");
}

}  // namespace
