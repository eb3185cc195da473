// Cursors on a real display: the built-in ones and colour cursors loaded from .cur files.
#include <gtest/gtest.h>

#include <SDL.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/input.h"
#include "core/paths.h"
#include "datakit/cur.h"
#include "platform/cursor.h"
#include "support/display.h"

namespace {

namespace fs = std::filesystem;

datakit::CurImage Arrowhead(int32_t size, uint32_t colour) {
    datakit::CurImage im;
    im.width = im.height = size;
    im.hotX = 1;
    im.hotY = 2;
    for (int32_t y = 0; y < size; ++y) {
        for (int32_t x = 0; x < size; ++x) im.pixels.push_back(x <= y ? colour : 0u);
    }
    return im;
}

// A data folder "../Datas/" beside a working folder, as the game runs.
class GlCursor : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenOnceTheDisplayTakesUs([] { return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0; }))
            << SDL_GetError();
        root_ = fs::temp_directory_path() /
                ("qv_cursor_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root_ / "Datas" / "CURSORS");
        fs::create_directories(root_ / "work");
        saved_ = fs::current_path();
        fs::current_path(root_ / "work");
        InitDataFolder();
    }
    void TearDown() override {
        ShutdownInput();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        fs::current_path(saved_);
        fs::remove_all(root_);
    }
    void WriteCursor(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream out(root_ / "Datas" / "CURSORS" / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    }
    fs::path root_, saved_;
};

TEST_F(GlCursor, StartsWithTheArrow) {
    InitCursors();
    for (CursorHandle c : GameCursors) EXPECT_NE(c, nullptr);
    EXPECT_NE(GameCursors[0], GameCursors[1]);
    EXPECT_NE(GameCursors[1], GameCursors[2]);
    EXPECT_EQ(CurrentCursor, GameCursors[kCursorDefault]);
    EXPECT_EQ(SDL_GetCursor(), CurrentCursor);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(GlCursor, LoadedFileBecomesTheCurrentCursor) {
    InitCursors();
    WriteCursor("Red.cur", datakit::WriteCur({Arrowhead(32, 0xFFFF0000u)}));
    datakit::CurImage mono = Arrowhead(16, 0xFFFFFFFFu);
    mono.bitCount = 1;
    WriteCursor("Mono.cur", datakit::WriteCur({mono}));
    std::vector<uint8_t> bad = datakit::WriteCur({Arrowhead(32, 0xFF00FF00u)});
    bad.resize(bad.size() - 1);
    WriteCursor("Bad.cur", bad);

    ASSERT_TRUE(LoadCursorFile("Red.cur"));
    CursorHandle red = FileCursor;
    EXPECT_NE(red, nullptr);
    EXPECT_EQ(CurrentCursor, red);
    EXPECT_EQ(SDL_GetCursor(), red);

    // A bad file leaves both the file cursor and the cursor shown alone.
    EXPECT_FALSE(LoadCursorFile("Bad.cur"));
    EXPECT_FALSE(LoadCursorFile("Absent.cur"));
    EXPECT_EQ(FileCursor, red);
    EXPECT_EQ(CurrentCursor, red);
    EXPECT_EQ(SDL_GetCursor(), red);

    // The next file replaces it (the old one is freed after the switch).
    ASSERT_TRUE(LoadCursorFile("Mono.cur"));
    EXPECT_NE(FileCursor, nullptr);
    EXPECT_EQ(CurrentCursor, FileCursor);
    EXPECT_EQ(SDL_GetCursor(), FileCursor);
}

TEST_F(GlCursor, ColourCursorNeedsItsHotspotInside) {
    std::vector<uint32_t> pixels(8 * 8, 0xFF123456u);
    struct Case {
        int32_t w, h, hotX, hotY;
        bool made;
    } cases[] = {
        {8, 8, 0, 0, true}, {8, 8, 7, 7, true}, {8, 8, 8, 0, false},
        {8, 8, 0, -1, false}, {0, 8, 0, 0, false},
    };
    for (const Case& c : cases) {
        CursorHandle cursor = PlatformCreateColorCursor(pixels.data(), c.w, c.h, c.hotX, c.hotY);
        EXPECT_EQ(cursor != nullptr, c.made)
            << c.w << "x" << c.h << " at " << c.hotX << "," << c.hotY;
        PlatformFreeCursor(cursor);
    }
}

}  // namespace
