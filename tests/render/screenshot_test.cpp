#include "render/screenshot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "core/scratch.h"
#include "render/image.h"

namespace {

TEST(Screenshots, WritesNumberedTgaFilesIntoANewFolder) {
    ScratchDir dir;
    std::string path = dir / "SCREENSHOTS/Shot000.tga";
    EXPECT_EQ(MakeScreenshotName(path.c_str(), 4, 2), 1);
    EXPECT_EQ(MakeScreenshotName(path.c_str(), 4, 2), 1);
    std::vector<uint8_t> first = dir.Read("SCREENSHOTS/Shot000.tga");
    ASSERT_EQ(first.size(), 18u + 4 * 2 * 4);
    EXPECT_TRUE(dir.Exists("SCREENSHOTS/Shot001.tga"));
    EXPECT_EQ(first[2], 2);    // uncompressed true colour
    EXPECT_EQ(first[12], 4);   // width
    EXPECT_EQ(first[14], 2);   // height
    EXPECT_EQ(first[16], 32);
    EXPECT_EQ(first[17], 0);   // bottom-left origin
    // Every pixel is opaque, so that viewers do not show the shot as blank.
    for (size_t i = 18 + 3; i < first.size(); i += 4) EXPECT_EQ(first[i], 255) << "byte " << i;
}

// A screenshot folder that cannot be made (a file stands where it should be) costs no shot silently:
// one line on stderr names the file.
TEST(Screenshots, AFolderThatCannotBeWrittenIsReportedInOneLine) {
    ScratchDir dir;
    dir.Write("SCREENSHOTS", std::vector<uint8_t>{1});
    std::string path = dir / "SCREENSHOTS/Shot000.tga";
    testing::internal::CaptureStderr();
    EXPECT_EQ(MakeScreenshotName(path.c_str(), 4, 2), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("Shot000.tga"), std::string::npos) << err;
}

// A data folder the player may not write into: the line names the screenshot folder and the refusal
// (permission), not the missing file a later open would meet. The shot is taken by an unprivileged
// process, since the administrator may write anywhere.
TEST(Screenshots, AFolderThatMayNotBeCreatedIsReportedWithItsOwnCause) {
    ScratchDir dir;
    const std::string data = dir / "Datas";
    ASSERT_EQ(mkdir(data.c_str(), 0555), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(data.c_str(), 0555), 0);
    const std::string path = data + "/SCREENSHOTS/Shot000.tga";
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(3);
            MakeScreenshotName(path.c_str(), 4, 2);
            std::fflush(stderr);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "cannot create the folder .*/Datas/SCREENSHOTS: Permission denied");
    EXPECT_FALSE(dir.Exists("Datas/SCREENSHOTS"));
}

TEST(Screenshots, TgaRowsAreStoredBottomUp) {
    ScratchDir dir;
    const uint8_t pixels[] = {1, 2, 3, 4, 5, 6, 7, 8};  // two rows of one pixel, top row first
    ASSERT_EQ(SaveTgaFile(pixels, 1, 2, (dir / "t.tga").c_str()), 0);
    std::vector<uint8_t> file = dir.Read("t.tga");
    ASSERT_EQ(file.size(), 26u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 18, file.end()), (std::vector<uint8_t>{5, 6, 7, 8, 1, 2, 3, 4}));
    EXPECT_EQ(SaveTgaFile(pixels, 1, 2, (dir / "missing/t.tga").c_str()), -1);
    EXPECT_EQ(SaveTgaFile(pixels, 70000, 1, (dir / "wide.tga").c_str()), -1);
}

}  // namespace
