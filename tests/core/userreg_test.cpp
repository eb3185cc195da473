// The current user's registry file: key paths, the text format, reads that create nothing and
// writes that replace the file whole.
#include "core/userreg.h"

#include <gtest/gtest.h>

#include <string>

#include "core/scratch.h"

namespace {

std::string FileText(const DataFolderScope& scope) {
    auto bytes = scope.root().Read("User/Registry.ini");
    return std::string(bytes.begin(), bytes.end());
}

TEST(UserReg, KeyPathsNormalise) {
    struct Case {
        const char* key;
        const char* normal;  // null: refused
    } cases[] = {
        {"HKEY_CURRENT_USER/Software/Quorvane", "HKEY_CURRENT_USER/Software/Quorvane"},
        {"hkey_local_machine\\Software\\X", "HKEY_LOCAL_MACHINE/Software/X"},
        {"HKEY_USERS//a/\\b/", "HKEY_USERS/a/b"},
        {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"},
        {"Software/Quorvane", nullptr},
        {"HKEY_BOGUS/a", nullptr},
        {"", nullptr},
        {"HKEY_CURRENT_USER/a\nb", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        std::string out;
        bool ok = NormaliseUserRegKey(c.key, &out);
        EXPECT_EQ(ok, c.normal != nullptr);
        if (ok) {
            EXPECT_EQ(out, c.normal);
        }
    }
}

TEST(UserReg, WrittenValuesReadBackWhateverTheyHold) {
    DataFolderScope scope;
    struct Case {
        const char* key;
        const char* name;
        const char* value;
    } cases[] = {
        {"HKEY_CURRENT_USER/Software/Quorvane/Games", "Target", "https://example.org/?a=b;c"},
        {"HKEY_CURRENT_USER/Software/Quorvane/Games", "[odd=name;]", "line one\nline two\r\\end"},
        {"HKEY_LOCAL_MACHINE/Software/Other", "", "default value"},
        {"HKEY_CURRENT_USER/Software/Quorvane/Games", "#x\\", ""},
    };
    for (const Case& c : cases) ASSERT_TRUE(UserRegWriteString(c.key, c.name, c.value)) << c.name;
    // Names and key segments ignore case; a rewrite replaces the value.
    ASSERT_TRUE(UserRegWriteString("hkey_current_user\\software\\quorvane\\GAMES", "target", "doc.pdf"));
    cases[0].value = "doc.pdf";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char out[256];
        ASSERT_TRUE(UserRegReadString(c.key, c.name, out, sizeof out));
        EXPECT_STREQ(out, c.value);
    }
    UserRegData data;
    std::string fault;
    ASSERT_TRUE(ParseUserRegText(FileText(scope), &data, &fault)) << fault;
    EXPECT_EQ(data.keys.size(), 2u);
    EXPECT_FALSE(scope.root().Exists("User/Registry.ini.tmp"));
    EXPECT_TRUE(UserRegKeyExists("HKEY_CURRENT_USER/Software"));
    EXPECT_TRUE(UserRegKeyExists("HKEY_USERS"));
    EXPECT_FALSE(UserRegKeyExists("HKEY_CURRENT_USER/Soft"));
}

TEST(UserReg, ReadsOfMissingThingsFailAndCreateNothing) {
    DataFolderScope scope;
    char out[256] = "stale";
    EXPECT_FALSE(UserRegReadString("HKEY_CURRENT_USER/Software/Quorvane/Games", "Target", out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(UserRegKeyExists("HKEY_CURRENT_USER/Software/Quorvane"));
    EXPECT_FALSE(scope.root().Exists("User/Registry.ini"));

    ASSERT_TRUE(UserRegWriteString("HKEY_CURRENT_USER/A", "v", "1"));
    std::string before = FileText(scope);
    EXPECT_FALSE(UserRegReadString("HKEY_CURRENT_USER/A/B", "v", out, sizeof out));
    EXPECT_FALSE(UserRegReadString("HKEY_CURRENT_USER/A", "w", out, sizeof out));
    EXPECT_FALSE(UserRegReadString("Software/A", "v", out, sizeof out));
    EXPECT_EQ(FileText(scope), before);
}

TEST(UserReg, ValueMustFitTheReader) {
    DataFolderScope scope;
    std::string fits(255, 'a'), tooLong(256, 'b');
    ASSERT_TRUE(UserRegWriteString("HKEY_CURRENT_USER/K", "fits", fits.c_str()));
    ASSERT_TRUE(UserRegWriteString("HKEY_CURRENT_USER/K", "long", tooLong.c_str()));
    char out[256];
    EXPECT_TRUE(UserRegReadString("HKEY_CURRENT_USER/K", "fits", out, sizeof out));
    EXPECT_EQ(out, fits);
    EXPECT_FALSE(UserRegReadString("HKEY_CURRENT_USER/K", "long", out, sizeof out));
}

TEST(UserReg, DamagedFilesAreRefusedAndNeverOverwritten) {
    using namespace std::string_literals;
    const std::string damaged[] = {
        "Target=before any key\n",
        "[HKEY_CURRENT_USER/K]\nno equals sign\n",
        "[HKEY_CURRENT_USER/K]\nname=dangling\\\n",
        "[NOT_A_ROOT/K]\na=b\n",
        "[HKEY_CURRENT_USER/K\na=b\n",
        "[HKEY_CURRENT_USER/K]\na=b\0c\n"s,
    };
    for (const std::string& text : damaged) {
        SCOPED_TRACE(text);
        DataFolderScope scope;
        scope.root().Write("User/Registry.ini", text);
        UserRegData data;
        std::string fault;
        EXPECT_FALSE(ParseUserRegText(text, &data, &fault));
        EXPECT_FALSE(fault.empty());
        char out[256];
        EXPECT_FALSE(UserRegReadString("HKEY_CURRENT_USER/K", "a", out, sizeof out));
        EXPECT_FALSE(UserRegWriteString("HKEY_CURRENT_USER/K", "a", "new"));
        EXPECT_EQ(FileText(scope), text);
    }
    // Comments, blank lines and CRLF line ends are not damage.
    UserRegData data;
    std::string fault;
    ASSERT_TRUE(ParseUserRegText("; note\r\n\r\n[HKEY_USERS/K]\r\na=b\r\n", &data, &fault)) << fault;
    ASSERT_EQ(data.keys.size(), 1u);
    EXPECT_EQ(data.keys[0].values[0].second, "b");
}

}  // namespace
