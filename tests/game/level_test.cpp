#include "game/level.h"

#include <gtest/gtest.h>

#include <string>

#include "core/paths.h"
#include "core/scratch.h"

namespace {

TEST(SceneSlots, OnlyPlainNamesBecomeSlotPaths) {
    DataFolderScope data;
    char path[QvPathMax];
    ASSERT_TRUE(UserScenePath("Slot 1", path, sizeof path));
    EXPECT_EQ(std::string(path), data.Data("USER/Slot 1.Scn"));
    data.WriteData("user/slot2.scn", "x");
    ASSERT_TRUE(UserScenePath("SLOT2", path, sizeof path));
    EXPECT_EQ(std::string(path), data.Data("user/slot2.scn"));
    for (const char* bad : {"", "..", "../../etc/passwd", "a/b", "a\\b", "x..y"}) {
        EXPECT_FALSE(UserScenePath(bad, path, sizeof path)) << bad;
    }
    EXPECT_FALSE(UserScenePath(nullptr, path, sizeof path));
}

}  // namespace
