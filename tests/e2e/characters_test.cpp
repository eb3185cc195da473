// The sample level's characters in the running game, followed through the movement trace: the
// guard walks its patrol round past its waypoints, and the watcher keeps its distance from the hero.
#include "e2e_support.h"

#include <map>
#include <optional>

namespace e2e {
namespace {

struct Sample {
    float x, y, z;
};

// Every trace line of the character "<type> #<id>" in the game's stderr, in order.
std::vector<Sample> Trace(const fs::path& errFile, const std::string& who) {
    std::istringstream lines(ReadFile(errFile));
    std::string line;
    std::vector<Sample> out;
    const std::string head = "movement: " + who + " at ";
    while (std::getline(lines, line)) {
        if (line.rfind(head, 0) != 0) continue;
        Sample s{};
        if (std::sscanf(line.c_str() + head.size(), "%f %f %f", &s.x, &s.y, &s.z) == 3) out.push_back(s);
    }
    return out;
}

float Flat(const Sample& a, const Sample& b) {
    return std::hypot(a.x - b.x, a.z - b.z);
}

// The patrol round "Patrol" of the sample data: a square of side 120 about the origin.
constexpr float Corners[4][2] = {{-60.0f, -60.0f}, {60.0f, -60.0f}, {60.0f, 60.0f}, {-60.0f, 60.0f}};

// The corners the guard came within reach of, in the order it reached them (a corner counts again
// only after another one).
std::vector<int> CornersPassed(const std::vector<Sample>& guard) {
    std::vector<int> passed;
    for (const Sample& s : guard) {
        for (int c = 0; c < 4; ++c) {
            if (std::hypot(s.x - Corners[c][0], s.z - Corners[c][1]) > 8.0f) continue;
            if (passed.empty() || passed.back() != c) passed.push_back(c);
        }
    }
    return passed;
}

class E2eCharacters : public E2eRun {
protected:
    void SetUp() override {
        E2eRun::SetUp();
        ASSERT_NO_FATAL_FAILURE(MakeSampleData({}));
        ASSERT_TRUE(WriteWindowedConfig(0));
    }
    fs::path Err() const { return root_ / "game.err"; }
    // Waits until the condition holds on the trace, up to the limit.
    bool AwaitTrace(const std::function<bool()>& condition, std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition()) return true;
            std::this_thread::sleep_for(200ms);
        }
        return condition();
    }
};

TEST_F(E2eCharacters, TheGuardWalksItsPatrolPastTwoWaypoints) {
    auto game = StartGame();
    float hero[3];
    ASSERT_TRUE(AwaitPlayerPosition(hero)) << ReadFile(Err());
    const bool passed = AwaitTrace([&] { return CornersPassed(Trace(Err(), "Guard #1")).size() >= 3; }, 150s);
    const std::vector<Sample> guard = Trace(Err(), "Guard #1");
    ASSERT_FALSE(guard.empty()) << "the guard is not in the trace\n" << ReadFile(Err()).substr(0, 4000);
    const std::vector<int> corners = CornersPassed(guard);
    EXPECT_TRUE(passed) << "corners passed: " << corners.size() << ", last at " << guard.back().x << " "
                        << guard.back().z;
    // The corners follow one another round the square (in either direction), and the guard moved
    // between them.
    for (size_t i = 1; i < corners.size(); ++i) {
        const int step = (corners[i] - corners[i - 1] + 4) % 4;
        EXPECT_TRUE(step == 1 || step == 3) << corners[i - 1] << " -> " << corners[i];
    }
    EXPECT_GT(Flat(guard.front(), guard.back()), 1.0f);
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM";
}

TEST_F(E2eCharacters, TheWatcherKeepsItsDistanceFromTheHero) {
    auto game = StartGame();
    float start[3];
    ASSERT_TRUE(AwaitPlayerPosition(start)) << ReadFile(Err());
    // The distance between the last reports of the hero and the watcher.
    auto distance = [&]() -> std::optional<float> {
        const std::vector<Sample> watcher = Trace(Err(), "Watcher #2");
        float hero[3];
        if (watcher.empty() || !LastPlayerPosition(Err(), hero)) return std::nullopt;
        return Flat(watcher.back(), Sample{hero[0], hero[1], hero[2]});
    };
    // The watcher's radii: near 30, at ease up to 60, coming back beyond 120. It settles in the band
    // and stays there while the hero stands.
    auto settled = [&] {
        const std::vector<Sample> watcher = Trace(Err(), "Watcher #2");
        const auto d = distance();
        return d && *d >= 25.0f && *d <= 65.0f && watcher.size() >= 10 &&
               Flat(watcher[watcher.size() - 10], watcher.back()) < 0.5f;
    };
    ASSERT_TRUE(AwaitTrace(settled, 60s)) << "distance " << distance().value_or(-1.0f);
    // The hero walks away: the watcher follows and settles in the band again, now elsewhere.
    const Sample before = Trace(Err(), "Watcher #2").back();
    ASSERT_EQ(std::system("xdotool keydown Up sleep 6 keyup Up"), 0);
    float moved[3];
    ASSERT_TRUE(LastPlayerPosition(Err(), moved));
    ASSERT_GT(std::hypot(moved[0] - start[0], moved[2] - start[2]), 100.0f) << "the hero did not walk away";
    EXPECT_TRUE(AwaitTrace(settled, 60s)) << "distance " << distance().value_or(-1.0f);
    EXPECT_GT(Flat(before, Trace(Err(), "Watcher #2").back()), 30.0f);
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM";
}

// The guard wears red and the watcher purple: from the start the view shows both in colours of
// their own. Purple is nowhere else; of the red, the watcher's health bar is a thin strip, so the
// guard shows as red over more rows than the bar covers.
TEST_F(E2eCharacters, TheGuardWearsRedAndTheWatcherPurple) {
    auto game = StartGame();
    float hero[3];
    ASSERT_TRUE(AwaitPlayerPosition(hero)) << ReadFile(Err());
    auto red = [](int r, int g, int b) { return r >= 90 && r >= 2 * g && r >= 2 * b; };
    auto purple = [](int r, int g, int b) { return r >= 70 && b >= 100 && g * 2 <= r && g * 2 <= b; };
    auto redRows = [&](const std::string& s) {
        int rows = 0;
        for (int y = 40; y < 480; ++y) rows += CountPixels(s, y, y + 1, 0, 640, red) > 0 ? 1 : 0;
        return rows;
    };
    std::string shot;
    const bool both = ShootUntil(root_ / "Datas" / "SCREENSHOTS", [&](const std::string& s) {
        return redRows(s) >= 9 && CountPixels(s, 40, 480, 0, 640, purple) >= 15;
    }, shot, 90s);
    EXPECT_TRUE(both) << redRows(shot) << " rows with red and " << CountPixels(shot, 40, 480, 0, 640, purple)
                      << " purple pixels (the shot is kept as /tmp/quorvane-e2e-looks.tga)";
    if (!both) std::ofstream("/tmp/quorvane-e2e-looks.tga", std::ios::binary) << shot;
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM";
}

}  // namespace
}  // namespace e2e
