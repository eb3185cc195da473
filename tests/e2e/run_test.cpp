#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include "core/pack.h"

#include <csignal>
#include <functional>

using namespace e2e;

namespace {

// Pixels of the rectangle in the deep blue of the settings screen's plate: blue well above red and
// green. The ground and the menu's white text in the middle of the view have none.
int PlatePixels(const std::string& tga, int top, int bottom, int left, int right) {
    return CountPixels(tga, top, bottom, left, right,
                       [](int r, int g, int b) { return b >= 60 && b > r + 40 && b > g + 40; });
}

}  // namespace

TEST_F(E2eRun, RunsOnTheSampleDataAndQuitsCleanlyOnSigterm) {
    ASSERT_NO_FATAL_FAILURE(MakeSampleData({}));
    // A windowed 640 x 480 run, so that the screenshot's size is known. The file is of an older
    // version, so that the one written back at exit can be told from it.
    ASSERT_TRUE(WriteWindowedConfig(10008));

    // The game reads ../Datas from its working folder and the user configuration from USERPROFILE.
    // Its sound goes to OpenAL's wave writer, so that the level's music can be heard afterwards.
    const fs::path wav = root_ / "out.wav";
    {
        std::ofstream conf(root_ / "alsoft.conf");
        conf << "[general]\ndrivers = wave\nsample-type = int16\n[wave]\nfile = " << wav.string() << "\n";
    }
    Child game(BinaryDir() / "quorvane", {}, root_ / "work",
               {"USERPROFILE=" + (root_ / "user").string(), "QUORVANE_NO_MESSAGE_BOX=1", "QUORVANE_TRACE_MOVEMENT=1",
                "QUORVANE_TRACE_INTERFACE=1", "ALSOFT_DRIVERS=wave",
                "ALSOFT_CONF=" + (root_ / "alsoft.conf").string()},
               root_ / "game.err");
    ASSERT_TRUE(game.started());
    // F11 takes a screenshot; the next one takes the next number. Without a window manager the
    // keyboard focus follows the pointer, so the pointer goes over the window first. The key is
    // held for a while: the frame reads the key table, and a press and release between two frames
    // would not be seen.
    const fs::path shots = root_ / "Datas" / "SCREENSHOTS";
    ASSERT_EQ(std::system("timeout 60 xdotool search --sync --onlyvisible --name '^Quorvane$' > /dev/null"), 0)
        << "the window never showed\n" << ReadFile(root_ / "game.err");
    ASSERT_TRUE(game.running()) << "the game stopped by itself: " << Describe(game.status()) << "\n"
                                << ReadFile(root_ / "game.err");
    ASSERT_EQ(std::system("xdotool mousemove 20 20"), 0);
    EXPECT_TRUE(PressUntilFile("F11", shots / "Shot000.tga", 60s)) << ReadFile(root_ / "game.err");
    EXPECT_TRUE(PressUntilFile("F11", shots / "Shot001.tga", 60s)) << ReadFile(root_ / "game.err");

    // Ctrl+C shows the console at the bottom-left corner and gives it the keys; a click on the
    // world takes the focus back, so that F11 reaches the game again. Each key is held until frames
    // have seen it, and each shot is judged when it is taken: a shot that does not yet show the
    // change is followed by another.
    const fs::path err = root_ / "game.err";
    float position[3];
    ASSERT_TRUE(AwaitPlayerPosition(position)) << ReadFile(err);
    const std::string before = ReadFile(shots / "Shot001.tga");
    ASSERT_GE(before.size(), 18u + 640u * 480u * 4u);
    std::string shown, moved, listed, menu;
    ASSERT_TRUE(PressKeyForFrames(err, "ctrl+c")) << ReadFile(err);
    ASSERT_EQ(std::system("xdotool click 1"), 0);
    EXPECT_TRUE(ShootUntil(shots, [&](const std::string& s) { return TgaRows(before, 420, 470) != TgaRows(s, 420, 470); },
                           shown))
        << "the console did not show";
    // The console is dragged up by its caption strip and made taller from its bottom-right grip,
    // so that more than the input line shows: it then spans x 2..452, y 220..425.
    ASSERT_EQ(std::system("xdotool mousemove 200 428 mousedown 1 sleep 0.2 mousemove 200 300 sleep 0.2 "
                          "mousemove 200 228 sleep 0.2 mouseup 1 sleep 0.2"),
              0);
    ASSERT_EQ(std::system("xdotool mousemove 445 265 mousedown 1 sleep 0.2 mousemove 445 350 sleep 0.2 "
                          "mousemove 445 420 sleep 0.2 mouseup 1 sleep 0.2 mousemove 20 20 click 1"),
              0);
    EXPECT_TRUE(ShootUntil(shots, [&](const std::string& s) { return TgaRows(shown, 220, 420) != TgaRows(s, 220, 420); },
                           moved))
        << "the console did not move";
    // "?" typed into the console (a click on it gives it the focus) lists the commands.
    ASSERT_EQ(std::system("xdotool mousemove 100 300 click 1 sleep 0.3 type --delay 100 '?'"), 0);
    ASSERT_EQ(std::system("xdotool key --delay 100 Return sleep 0.3 mousemove 20 20 click 1"), 0);
    EXPECT_TRUE(ShootUntil(shots, [&](const std::string& s) { return TgaRows(moved, 240, 420) != TgaRows(s, 240, 420); },
                           listed))
        << "the command list did not show";
    if (HasFailure()) {
        // Kept for a look: the test folder is removed at the end.
        for (const fs::directory_entry& e : fs::directory_iterator(shots))
            fs::copy_file(e.path(), fs::temp_directory_path() / ("quorvane-e2e-" + e.path().filename().string()),
                          fs::copy_options::overwrite_existing);
    }
    // The console goes away again; Escape then opens the level's pause menu in the middle of the
    // screen (its scripts hand the key to the menu when it is let go). A shot taken just before is
    // what the menu is told from. A press that no frame saw (the key table read between its down and
    // up on a busy machine) is made again while the game reports no open menu: the key stays down
    // until frames have run with it, and the menu's trace line is awaited after the release.
    ASSERT_TRUE(PressKeyForFrames(err, "ctrl+c")) << ReadFile(err);
    ASSERT_EQ(std::system("xdotool mousemove 20 20 click 1"), 0);
    std::string closed;
    ASSERT_TRUE(ShootUntil(shots, [](const std::string&) { return true; }, closed));
    const auto opened = [&] { return ReadFile(err).find("interface: pause menu opened") != std::string::npos; };
    for (int attempt = 0; attempt < 3 && !opened(); ++attempt) {
        const int reports = PositionReports(err);
        ASSERT_EQ(std::system("xdotool keydown Escape"), 0);
        AwaitPositionReports(err, reports, 2, 30s);
        ASSERT_EQ(std::system("xdotool keyup Escape"), 0);
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!opened() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(opened()) << "the pause menu did not open\n" << ReadFile(err);
    // Its first line, "Continue", stands above the hero's head (rows 205..232 of the view); the
    // lines below it cross the hero's light figure.
    EXPECT_TRUE(ShootUntil(shots, [&](const std::string& s) {
        return BrightPixels(s, 205, 232, 270, 370) > BrightPixels(closed, 205, 232, 270, 370) + 60;
    }, menu, 60s)) << "the pause menu is not seen";
    if (HasFailure()) {
        for (const fs::directory_entry& e : fs::directory_iterator(shots))
            fs::copy_file(e.path(), fs::temp_directory_path() / ("quorvane-e2e-" + e.path().filename().string()),
                          fs::copy_options::overwrite_existing);
    }
    // The menu's "Settings" button (x 447..575, y 373..403 of the 1024 x 768 grid) opens the
    // settings screen over the middle of the view.
    ASSERT_EQ(std::system("xdotool mousemove 319 242 sleep 0.2 click 1 sleep 0.2 mousemove 20 20"), 0);
    std::string settings;
    EXPECT_TRUE(ShootUntil(shots, [&](const std::string& s) {
        return PlatePixels(s, 200, 280, 230, 410) > PlatePixels(menu, 200, 280, 230, 410) + 2000;
    }, settings)) << "the settings screen did not open\n" << ReadFile(err);
    game.Signal(SIGTERM);
    ASSERT_TRUE(game.WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(root_ / "game.err");
    EXPECT_TRUE(WIFEXITED(game.status()) && WEXITSTATUS(game.status()) == 0)
        << Describe(game.status()) << "\n" << ReadFile(root_ / "game.err");
    // The level started its music: the wave writer recorded sound.
    EXPECT_GT(PeakAmplitude(wav), 0.02) << ReadFile(root_ / "game.err");
    // The shot is an uncompressed 32-bit TGA of the window's size that another reader accepts.
    const std::string shot = ReadFile(shots / "Shot000.tga");
    ASSERT_GE(shot.size(), 18u + 640u * 480u * 4u);
    auto byte = [&](size_t i) { return static_cast<uint8_t>(shot[i]); };
    EXPECT_EQ(byte(2), 2);
    EXPECT_EQ(byte(12) | byte(13) << 8, 640);
    EXPECT_EQ(byte(14) | byte(15) << 8, 480);
    EXPECT_EQ(byte(16), 32);
    EXPECT_EQ(std::system(("identify " + (shots / "Shot000.tga").string() + " > /dev/null").c_str()), 0);
    // The player's character stands in the middle of the view: around the centre of the shot a
    // good share of the pixels differ from the background (the colour of the shot's corner).
    {
        const size_t first = 18 + byte(0);
        auto pixel = [&](int x, int y) { return shot.substr(first + (size_t(y) * 640 + size_t(x)) * 4, 3); };
        const std::string background = pixel(0, 0);
        int differing = 0, total = 0;
        for (int y = 140; y < 340; y += 4) {
            for (int x = 240; x < 400; x += 4) {
                ++total;
                if (pixel(x, y) != background) ++differing;
            }
        }
        EXPECT_GT(differing * 10, total) << differing << " of " << total << " pixels show something";
    }
    // The sample level loaded: the shot holds its ground, props and sky, not one clear colour.
    std::set<uint32_t> colours;
    for (size_t i = 18; i + 4 <= 18 + 640u * 480u * 4u; i += 4)
        colours.insert(static_cast<uint32_t>(byte(i)) | byte(i + 1) << 8 | byte(i + 2) << 16);
    EXPECT_GT(colours.size(), 16u) << "the screenshot shows no level";
    EXPECT_EQ(ReadFile(root_ / "game.err").find("scene:"), std::string::npos) << ReadFile(root_ / "game.err");
    // The user configuration is written back at exit, into the user folder, in the current form.
    const std::string saved = ReadFile(root_ / "user" / "QuorvaneGame.cfg");
    ASSERT_EQ(saved.size(), 40u) << ReadFile(root_ / "game.err");
    auto word = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<uint8_t>(saved[4 * i])) |
               static_cast<uint32_t>(static_cast<uint8_t>(saved[4 * i + 1])) << 8 |
               static_cast<uint32_t>(static_cast<uint8_t>(saved[4 * i + 2])) << 16 |
               static_cast<uint32_t>(static_cast<uint8_t>(saved[4 * i + 3])) << 24;
    };
    EXPECT_EQ(word(0), 10009u);
    EXPECT_EQ(word(1), 640u);
    EXPECT_EQ(word(2), 480u);
    EXPECT_EQ(word(5), 0u);  // windowed
}

// Every zlib entry of a pack keeps its place in the directory but has its data overwritten, so
// that the pack opens and the first entry the game reads from it cannot be unpacked.
int DamagePackedData(const fs::path& pack) {
    QvzPackTree tree;
    std::string fault;
    if (!tree.LoadFile(pack.c_str(), false, &fault)) return 0;
    std::vector<std::pair<uint32_t, uint32_t>> spans;
    std::function<void(const QvzPackFolder&)> visit = [&](const QvzPackFolder& folder) {
        for (const auto& e : folder.entries)
            if (e->mode == QvzZlib && e->packedSize > 0) spans.emplace_back(e->dataOffset, e->packedSize);
        for (const auto& child : folder.children.folders()) visit(*child);
    };
    for (const auto& root : tree.roots.folders()) visit(*root);
    std::fstream f(pack, std::ios::in | std::ios::out | std::ios::binary);
    for (const auto& [offset, size] : spans) {
        const std::string noise(size, '\xFF');
        f.seekp(offset);
        f.write(noise.data(), static_cast<std::streamsize>(noise.size()));
    }
    return f.good() ? static_cast<int>(spans.size()) : 0;
}

// A damaged pack entry met at start-up: the game names the pack and the entry, leaves through its
// ordinary shutdown (the user configuration is written back) and reports the failure in its code.
TEST_F(E2eRun, ADamagedPackEntryEndsTheRunInOrderWithFailure) {
    ASSERT_NO_FATAL_FAILURE(MakeSampleData({"--packs"}));
    ASSERT_GT(DamagePackedData(root_ / "Datas" / "Maps.QVz"), 0);
    ASSERT_TRUE(WriteWindowedConfig(10008));

    Child game(BinaryDir() / "quorvane", {}, root_ / "work",
               {"USERPROFILE=" + (root_ / "user").string(), "QUORVANE_NO_MESSAGE_BOX=1"}, root_ / "game.err");
    ASSERT_TRUE(game.started());
    ASSERT_TRUE(game.WaitFor(60s)) << "the game did not end by itself\n" << ReadFile(root_ / "game.err");
    const std::string err = ReadFile(root_ / "game.err");
    EXPECT_TRUE(WIFEXITED(game.status()) && WEXITSTATUS(game.status()) == 1) << Describe(game.status()) << "\n" << err;
    // The sanitizers exit with 1 as well: the code must be the game's own.
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
    EXPECT_NE(err.find("Maps.QVz: entry "), std::string::npos) << err;
    EXPECT_NE(err.find("cannot unpack"), std::string::npos) << err;
    // Written back at exit: the current version word replaces the older one.
    const std::string saved = ReadFile(root_ / "user" / "QuorvaneGame.cfg");
    ASSERT_EQ(saved.size(), 40u) << err;
    EXPECT_EQ(static_cast<uint8_t>(saved[0]) | static_cast<uint8_t>(saved[1]) << 8, 10009) << err;
}



// Holding the forward key in the running game walks the hero: the position the game reports moves
// and the picture changes.
TEST_F(E2eRun, HoldingForwardMovesTheHero) {
    ASSERT_NO_FATAL_FAILURE(MakeSampleData({}));
    ASSERT_TRUE(WriteWindowedConfig(0));
    const fs::path err = root_ / "game.err";
    auto game = StartGame();
    float before[3] = {0, 0, 0};
    ASSERT_TRUE(AwaitPlayerPosition(before)) << "no player position reported\n" << ReadFile(err);
    const fs::path shots = root_ / "Datas" / "SCREENSHOTS";
    std::string first, second;
    ASSERT_TRUE(ShootUntil(shots, [](const std::string&) { return true; }, first)) << ReadFile(err);
    ASSERT_TRUE(LastPlayerPosition(err, before));
    // Forward stays down until the reported position has moved (the walk covers about 27 units a
    // second of game time).
    ASSERT_EQ(std::system("xdotool keydown Up"), 0);
    float after[3] = {0, 0, 0};
    auto moved = [&] {
        if (!LastPlayerPosition(err, after)) return 0.0f;
        return std::hypot(after[0] - before[0], after[2] - before[2]);
    };
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (moved() <= 20.0f && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100ms);
    ASSERT_EQ(std::system("xdotool keyup Up"), 0);
    EXPECT_GT(moved(), 20.0f) << before[0] << " " << before[2] << " -> " << after[0] << " " << after[2] << "\n"
                              << ReadFile(err);
    EXPECT_TRUE(ShootUntil(shots, [&](const std::string& shot) { return shot != first; }, second))
        << "the picture did not change";
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

// The sample level's keys: P casts the sample spell from the hero (its burning ball shows in the
// picture before the camera), Page Up saves the game in the slot "Quick".
TEST_F(E2eRun, TheLevelKeysCastTheSpellAndSaveTheGame) {
    ASSERT_NO_FATAL_FAILURE(MakeSampleData({}));
    ASSERT_TRUE(WriteWindowedConfig(0));
    const fs::path err = root_ / "game.err";
    auto game = StartGame();
    // The key raises its event only once the hero is driven, which the position reports show.
    float position[3] = {0, 0, 0};
    ASSERT_TRUE(AwaitPlayerPosition(position)) << "no player position reported\n" << ReadFile(err);
    const fs::path shots = root_ / "Datas" / "SCREENSHOTS";
    std::string before, after;
    ASSERT_TRUE(ShootUntil(shots, [](const std::string&) { return true; }, before)) << ReadFile(err);
    // The ball and its flames fly off from the hero, in front of the camera.
    const bool fire = CastUntilFire(err, shots, FirePixels(before, 100, 400, 160, 480), after);
    if (!fire) {
        std::ofstream(fs::temp_directory_path() / "quorvane-e2e-spell-before.tga", std::ios::binary) << before;
        std::ofstream(fs::temp_directory_path() / "quorvane-e2e-spell-after.tga", std::ios::binary) << after;
    }
    EXPECT_TRUE(fire) << "no fire in the view\n" << ReadFile(err);
    EXPECT_TRUE(PressUntilFile("Prior", root_ / "Datas" / "USER" / "Quick.Scn", 60s)) << ReadFile(err);
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}
