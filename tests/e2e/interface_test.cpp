// The sample level's interface through real input: the image panel that End opens and that closes
// while the game runs on (and a quit while it is open), the speed counter, the mini-map's pin, the
// pause menu closed by a second Escape and the game running on under it, Ctrl+C closing the console
// that holds the focus, keys typed into the console that also drive the hero, the view turned with
// the right button held, a start without a sound device that shows the game's own line alone, and
// F11 naming why the screenshot folder cannot be made.
// The game reports what the interface shows on stderr (QUORVANE_TRACE_INTERFACE); the test waits for
// those lines, never for fixed times.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

using namespace e2e;

namespace {

class E2eInterface : public E2eRun {
protected:
    std::string Err() { return ReadFile(root_ / "game.err"); }
    // Waits until stderr, from byte `from` on, holds the line; the offset just past it, or npos.
    size_t AwaitLine(const std::string& line, size_t from, std::chrono::seconds limit = 30s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string err = Err();
            const size_t at = from < err.size() ? err.find(line, from) : std::string::npos;
            if (at != std::string::npos) return at + line.size();
            std::this_thread::sleep_for(100ms);
        }
        return std::string::npos;
    }
    // Held long enough for a frame to see it.
    static bool Press(const std::string& key) {
        return std::system(("xdotool keydown " + key + " sleep 0.3 keyup " + key).c_str()) == 0;
    }
    // The interface lines "counter Score shows NNN" from byte `from` on.
    std::vector<int> CounterValues(size_t from) {
        std::vector<int> values;
        const std::string err = Err();
        for (size_t at = err.find("interface: counter Score shows ", from); at != std::string::npos;
             at = err.find("interface: counter Score shows ", at + 1)) {
            int v = 0;
            if (std::sscanf(err.c_str() + at, "interface: counter Score shows %d", &v) == 1) values.push_back(v);
        }
        return values;
    }
    // The last "movement: <who> at x y z" line (who: "player", "Guard #1"...), false when none.
    bool LastAt(const std::string& who, float out[3]) { return LastMovementAt(Err(), who, out); }
    // The last place of the hero's pin reported before byte `until`.
    bool PinAt(size_t until, float* x, float* y) {
        const std::string err = Err().substr(0, until);
        const size_t at = err.rfind("interface: marker hero at ");
        return at != std::string::npos && std::sscanf(err.c_str() + at, "interface: marker hero at %f %f", x, y) == 2;
    }
    std::unique_ptr<Child> Start() {
        MakeSampleData({});
        EXPECT_TRUE(WriteWindowedConfig(0));
        auto game = StartGame({"QUORVANE_TRACE_INTERFACE=1"});
        float p[3];
        EXPECT_TRUE(AwaitPlayerPosition(p)) << Err();
        return game;
    }
};

TEST_F(E2eInterface, EndShowsACrateInTheImagePanelThatClosesWhileTheGameRunsOn) {
    auto game = Start();
    ASSERT_TRUE(game->running());
    size_t at = Err().size();
    ASSERT_TRUE(Press("End"));
    at = AwaitLine("interface: image panel opened", at);
    ASSERT_NE(at, std::string::npos) << Err();
    // Two seconds of showing, the shrinking, then the close record closes it.
    at = AwaitLine("interface: image panel closed", at);
    ASSERT_NE(at, std::string::npos) << Err();
    // The world keeps being updated after the panel has gone: the hero reports again and walks.
    const size_t closed = at;
    ASSERT_NE(AwaitLine("movement: player at", closed), std::string::npos)
        << "the game stopped after the panel closed: " << Err().substr(closed);
    float before[3], after[3];
    ASSERT_TRUE(LastPlayerPosition(root_ / "game.err", before));
    ASSERT_EQ(std::system("xdotool keydown Up sleep 1 keyup Up"), 0);
    ASSERT_NE(AwaitLine("movement: player at", Err().size()), std::string::npos) << Err();
    ASSERT_TRUE(LastPlayerPosition(root_ / "game.err", after));
    EXPECT_GT(after[2], before[2] + 1.0f) << "the hero did not walk on";
    ASSERT_TRUE(game->running()) << Describe(game->status()) << "\n" << Err();

    // Opened again and the game told to quit while it shows: the game ends in order, exit code 0,
    // with nothing for the address sanitizer to report.
    at = Err().size();
    ASSERT_TRUE(Press("End"));
    ASSERT_NE(AwaitLine("interface: image panel opened", at), std::string::npos) << Err();
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << Err();
    EXPECT_TRUE(WIFEXITED(game->status()) && WEXITSTATUS(game->status()) == 0)
        << Describe(game->status()) << "\n" << Err();
    EXPECT_EQ(Err().find("AddressSanitizer"), std::string::npos) << Err();
}

TEST_F(E2eInterface, TheCounterFollowsTheHerosSpeedAndThePinMovesUpAsTheHeroWalksNorth) {
    auto game = Start();
    // The hero stands: the counter shows 0.
    ASSERT_NE(AwaitLine("interface: counter Score shows 000", 0), std::string::npos) << Err();
    float x0 = 0, y0 = 0;
    size_t at = AwaitLine("interface: marker hero at", 0);
    ASSERT_NE(at, std::string::npos) << Err();
    at = Err().size();
    ASSERT_TRUE(PinAt(at, &x0, &y0));
    // Walking away from the camera (north): the counter shows the pace, the pin goes up the map.
    ASSERT_EQ(std::system("xdotool keydown Up sleep 2 keyup Up"), 0);
    const size_t walked = Err().size();
    std::vector<int> values = CounterValues(at);
    int highest = 0;
    for (int v : values) highest = std::max(highest, v);
    EXPECT_GT(highest, 0) << "the counter never left 000\n" << Err().substr(at);
    float x1 = 0, y1 = 0;
    ASSERT_TRUE(PinAt(walked, &x1, &y1));
    EXPECT_LT(y1, y0 - 1.0f) << "the pin went from " << y0 << " to " << y1;
    // Running faster (Shift, the sprint gait) shows more than walking did.
    at = Err().size();
    ASSERT_EQ(std::system("xdotool keydown Up keydown shift sleep 2 keyup shift keyup Up"), 0);
    int sprinting = 0;
    for (int v : CounterValues(at)) sprinting = std::max(sprinting, v);
    EXPECT_GT(sprinting, 0);
    ASSERT_TRUE(game->running());
}

TEST_F(E2eInterface, ASecondEscapeClosesThePauseMenuAndCtrlCClosesTheFocusedConsole) {
    auto game = Start();
    size_t at = Err().size();
    ASSERT_TRUE(Press("Escape"));
    at = AwaitLine("interface: pause menu opened", at);
    ASSERT_NE(at, std::string::npos) << Err();
    ASSERT_TRUE(Press("Escape"));
    at = AwaitLine("interface: pause menu closed", at);
    ASSERT_NE(at, std::string::npos) << Err();
    // The game's own Escape event must not open it again behind the closing.
    ASSERT_NE(AwaitLine("movement: player at", at), std::string::npos);
    ASSERT_EQ(std::system("xdotool keydown Up sleep 0.5 keyup Up"), 0);
    ASSERT_NE(AwaitLine("movement: player at", Err().size()), std::string::npos);
    EXPECT_EQ(Err().find("interface: pause menu opened", at), std::string::npos) << Err().substr(at);

    // Ctrl+C shows the console and gives it the focus; Ctrl+C again, with the focus still on it,
    // hides it.
    at = Err().size();
    ASSERT_EQ(std::system("xdotool keydown ctrl keydown c sleep 0.3 keyup c sleep 0.2 keyup ctrl"), 0);
    at = AwaitLine("interface: console shown", at);
    ASSERT_NE(at, std::string::npos) << Err();
    ASSERT_EQ(std::system("xdotool keydown ctrl keydown c sleep 0.3 keyup c sleep 0.2 keyup ctrl"), 0);
    ASSERT_NE(AwaitLine("interface: console hidden", at), std::string::npos) << Err().substr(at);
    ASSERT_TRUE(game->running());
}

}  // namespace

namespace {

float Distance2d(const float a[3], const float b[3]) {
    return std::hypot(a[0] - b[0], a[2] - b[2]);
}

}  // namespace

// The pause menu sits over the level, which runs on: the hero walks with the menu open and the
// guard goes on along its round.
TEST_F(E2eInterface, ThePauseMenuLeavesTheGameRunningUnderneath) {
    auto game = Start();
    size_t at = Err().size();
    ASSERT_TRUE(Press("Escape"));
    at = AwaitLine("interface: pause menu opened", at);
    ASSERT_NE(at, std::string::npos) << Err();
    ASSERT_NE(AwaitLine("movement: player at", at), std::string::npos) << Err();
    float hero[3], guard[3];
    ASSERT_TRUE(LastAt("player", hero));
    ASSERT_TRUE(LastAt("Guard #1", guard));
    // Up held until both have gone 3 units or a minute has passed.
    ASSERT_EQ(std::system("xdotool keydown Up"), 0);
    float heroAfter[3] = {}, guardAfter[3] = {};
    bool heroWalked = false, guardWalked = false;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!(heroWalked && guardWalked) && std::chrono::steady_clock::now() < deadline) {
        if (!AwaitPositionReports(root_ / "game.err", PositionReports(root_ / "game.err"), 1, 60s)) break;
        heroWalked = LastAt("player", heroAfter) && Distance2d(hero, heroAfter) > 3.0f;
        guardWalked = LastAt("Guard #1", guardAfter) && Distance2d(guard, guardAfter) > 3.0f;
    }
    ASSERT_EQ(std::system("xdotool keyup Up"), 0);
    EXPECT_TRUE(heroWalked) << "the hero stood still under the menu";
    EXPECT_TRUE(guardWalked) << "the guard stood still under the menu";
    EXPECT_EQ(Err().find("interface: pause menu closed", at), std::string::npos)
        << "the menu closed by itself";
    ASSERT_TRUE(game->running());
}

// The console takes typed characters, and the game reads the same keys: a letter of the movement
// cross typed into it walks the hero. A command typed there answers in the console.
TEST_F(E2eInterface, KeysTypedIntoTheConsoleAlsoDriveTheHero) {
    auto game = Start();
    size_t at = Err().size();
    ASSERT_EQ(std::system("xdotool keydown ctrl keydown c sleep 0.3 keyup c sleep 0.2 keyup ctrl"), 0);
    at = AwaitLine("interface: console shown", at);
    ASSERT_NE(at, std::string::npos) << Err();
    ASSERT_NE(AwaitLine("movement: player at", at), std::string::npos) << Err();
    float before[3], after[3];
    ASSERT_TRUE(LastAt("player", before));
    // S (back, away from the trigger zones north of the start), held down as a typist holds a key
    // until the hero has walked off or a minute has passed.
    ASSERT_EQ(std::system("xdotool keydown s"), 0);
    bool walked = false;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!walked && std::chrono::steady_clock::now() < deadline) {
        if (!AwaitPositionReports(root_ / "game.err", PositionReports(root_ / "game.err"), 1, 60s)) break;
        walked = LastAt("player", after) && Distance2d(before, after) > 2.0f;
    }
    ASSERT_EQ(std::system("xdotool keyup s"), 0);
    EXPECT_TRUE(walked) << "the hero did not walk";
    // `List Objects` names everything in the level in readable text: every name between the count
    // and the closing dashes is printable and not empty.
    // The held S typed itself into the console's line too: Enter sends that line off first.
    at = Err().size();
    ASSERT_EQ(std::system("xdotool key --delay 100 Return"), 0);
    ASSERT_EQ(std::system("xdotool type --delay 100 'List Objects'"), 0);
    ASSERT_EQ(std::system("xdotool key --delay 100 Return"), 0);
    const std::string dashes = "interface: console line " + std::string(57, '-') + "\n";
    size_t names = AwaitLine("interface: console line Nb Objects: ", at);
    ASSERT_NE(names, std::string::npos) << Err().substr(at);
    names = AwaitLine(dashes, names);
    ASSERT_NE(names, std::string::npos) << Err().substr(at);
    const size_t end = AwaitLine(dashes, names);
    ASSERT_NE(end, std::string::npos) << Err().substr(at);
    std::istringstream listed(Err().substr(names, end - names));
    int count = 0;
    for (std::string line; std::getline(listed, line);) {
        if (line.rfind("interface: console line ", 0) != 0) continue;
        const std::string name = line.substr(24);
        if (name == std::string(57, '-')) continue;
        ++count;
        EXPECT_FALSE(name.empty());
        for (unsigned char c : name) EXPECT_TRUE(c >= 32 && c < 127) << "\"" << name << "\"";
    }
    EXPECT_GT(count, 5);
    EXPECT_EQ(Err().find("runtime error"), std::string::npos) << Err().substr(at);
    // The console kept the focus all along: Ctrl+C now hides it.
    at = Err().size();
    ASSERT_EQ(std::system("xdotool keydown ctrl keydown c sleep 0.3 keyup c sleep 0.2 keyup ctrl"), 0);
    ASSERT_NE(AwaitLine("interface: console hidden", at), std::string::npos) << Err().substr(at);
    ASSERT_TRUE(game->running());
}

// The mouse moved with the right button held turns the view round the hero, moved down raises it
// and moved up lowers it; let go, the view swings back behind the hero and keeps its height. The camera's eye is traced
// with the characters' positions.
TEST_F(E2eInterface, TheMouseWithTheRightButtonHeldTurnsAndRaisesTheView) {
    auto game = Start();
    const fs::path err = root_ / "game.err";
    float hero[3], eye[3];
    // The bearing of the eye from the hero (radians) and its height over the hero.
    const auto view = [&](float* bearing, float* height) {
        if (!LastAt("player", hero) || !LastAt("camera", eye)) return false;
        *bearing = std::atan2(eye[0] - hero[0], eye[2] - hero[2]);
        *height = eye[1] - hero[1];
        return true;
    };
    const auto turn = [](float from, float to) { return std::fabs(std::remainder(to - from, 6.2831853f)); };
    // Waits, frame report by frame report, until `done` holds or a minute has passed.
    const auto until = [&](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!done() && std::chrono::steady_clock::now() < deadline)
            if (!AwaitPositionReports(err, PositionReports(err), 1, 60s)) return false;
        return done();
    };
    float bearing0 = 0, height0 = 0, bearing = 0, height = 0;
    ASSERT_TRUE(until([&] { return view(&bearing0, &height0); })) << Err();

    // 240 pixels to the right with the button held: about 40 degrees round the hero.
    ASSERT_EQ(
        std::system("xdotool mousemove 200 240 sleep 0.2 mousedown 3 sleep 0.2 mousemove 280 240 sleep 0.1 "
                    "mousemove 360 240 sleep 0.1 mousemove 440 240"),
        0);
    const bool turned = until([&] { return view(&bearing, &height) && turn(bearing0, bearing) > 0.45f; });
    // Then 220 pixels down, still held: the eye climbs about 44 units.
    ASSERT_EQ(
        std::system("xdotool mousemove 440 320 sleep 0.1 mousemove 440 400 sleep 0.1 mousemove 440 460"), 0);
    const bool raised = until([&] { return view(&bearing, &height) && height > height0 + 30.0f; });
    ASSERT_EQ(std::system("xdotool mouseup 3 sleep 0.1 mousemove 20 20"), 0);
    EXPECT_TRUE(turned) << "the view did not turn: " << turn(bearing0, bearing) << " radians";
    EXPECT_TRUE(raised) << "the view did not rise: " << height0 << " then " << height;
    // Let go: back behind the hero, at the new height.
    EXPECT_TRUE(until([&] { return view(&bearing, &height) && turn(bearing0, bearing) < 0.2f; }))
        << "the view stayed turned: " << turn(bearing0, bearing) << " radians";
    EXPECT_GT(height, height0 + 30.0f) << "the height went back";
    // 220 pixels up with the button held again: the eye comes down about as far as it climbed.
    const float raisedHeight = height;
    ASSERT_EQ(
        std::system("xdotool mousemove 440 460 sleep 0.2 mousedown 3 sleep 0.2 mousemove 440 380 sleep 0.1 "
                    "mousemove 440 300 sleep 0.1 mousemove 440 240"),
        0);
    const bool lowered = until([&] { return view(&bearing, &height) && height < raisedHeight - 30.0f; });
    ASSERT_EQ(std::system("xdotool mouseup 3 sleep 0.1 mousemove 20 20"), 0);
    EXPECT_TRUE(lowered) << "the view did not come down: " << raisedHeight << " then " << height;
    ASSERT_TRUE(game->running());
}

// Without a sound device (ALSA has no card here) the game's own line is the first thing on stderr:
// neither the sound library nor ALSA explains itself before it.
TEST_F(E2eInterface, WithoutASoundDeviceTheGamesOwnLineStandsAlone) {
    MakeSampleData({});
    ASSERT_TRUE(WriteWindowedConfig(0));
    auto game = StartGame({"ALSOFT_DRIVERS=alsa"});
    float p[3];
    ASSERT_TRUE(AwaitPlayerPosition(p)) << Err();
    const std::string err = Err();
    const size_t line = err.find("audio: ");
    if (line == std::string::npos) GTEST_SKIP() << "this machine has a sound device";
    EXPECT_EQ(err.substr(0, line), "") << "written before the game's line";
    EXPECT_EQ(err.find("ALSA lib"), std::string::npos) << err.substr(0, 2000);
    EXPECT_EQ(err.find("AL lib"), std::string::npos) << err.substr(0, 2000);
    ASSERT_TRUE(game->running());
}

// F11 when the screenshot folder cannot be made (a file of that name stands in the data folder):
// one line on stderr names the folder and why, and the game runs on.
TEST_F(E2eInterface, AScreenshotFolderThatCannotBeMadeIsNamedWithItsCause) {
    MakeSampleData({});
    ASSERT_TRUE(WriteWindowedConfig(0));
    { std::ofstream(root_ / "Datas" / "SCREENSHOTS") << "in the way"; }
    auto game = StartGame();
    float p[3];
    ASSERT_TRUE(AwaitPlayerPosition(p)) << Err();
    const std::string line = "screenshot: ";
    size_t at = std::string::npos;
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (at == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        ASSERT_TRUE(PressKeyForFrames(root_ / "game.err", "F11"));
        at = Err().find(line);
    }
    ASSERT_NE(at, std::string::npos) << Err();
    const std::string said = Err().substr(at, Err().find('\n', at) - at);
    EXPECT_NE(said.find("cannot create the folder ../Datas/SCREENSHOTS: Not a directory"), std::string::npos)
        << said;
    ASSERT_TRUE(game->running());
}
