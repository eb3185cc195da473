// The sample level's interface through real input: the image panel that End opens and that closes
// while the game runs on (and a quit while it is open), the speed counter, the mini-map's pin, the
// pause menu closed by a second Escape, and Ctrl+C closing the console that holds the focus. The
// game reports what the interface shows on stderr (QUORVANE_TRACE_INTERFACE); the test waits for
// those lines, never for fixed times.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
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
