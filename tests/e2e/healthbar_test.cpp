// The sample level's watcher shows its health bar above its head in the running game: a screenshot
// taken once the watcher stands in its keeping distance holds the bar's framed orange fill.
#include "e2e_support.h"

namespace e2e {
namespace {

// A pixel of the screenshot (stored as blue, green, red, 0).
struct Pixel {
    int r, g, b;
};

Pixel At(const std::string& rows, int x, int y) {
    const size_t p = (static_cast<size_t>(y) * 640 + static_cast<size_t>(x)) * 4;
    return {static_cast<uint8_t>(rows[p + 2]), static_cast<uint8_t>(rows[p + 1]), static_cast<uint8_t>(rows[p])};
}

// The fill's colour (1, 0.25, 0) shaded towards half at two corners: red well above green, green a
// quarter of red, no blue.
bool IsFill(Pixel p) {
    return p.r >= 100 && p.b <= 40 && p.g * 8 >= p.r && p.g * 5 <= p.r * 2;
}

bool IsBlack(Pixel p) { return p.r <= 24 && p.g <= 24 && p.b <= 24; }

struct Bar {
    int left = -1, top = -1, width = 0;
};

// The first run of at least 40 fill pixels two rows high with black rows above and below it: the
// bar of a character at full health (its fill is 50 pixels wide inside a one-pixel black frame).
Bar FindBar(const std::string& tga) {
    const std::string rows = TgaRows(tga, 0, 480);
    for (int y = 1; y + 2 < 480; ++y) {
        int x = 0;
        while (x < 640) {
            if (!IsFill(At(rows, x, y))) {
                ++x;
                continue;
            }
            // A gap of up to three pixels is bridged: a figure nearer the camera may cover a
            // sliver of the bar.
            auto filled = [&](int c) { return c < 640 && IsFill(At(rows, c, y)) && IsFill(At(rows, c, y + 1)); };
            int end = x;
            while (filled(end) || filled(end + 1) || filled(end + 2) || filled(end + 3)) ++end;
            while (end > x && !filled(end - 1)) --end;
            if (end - x >= 40) {
                int framed = 0;
                for (int c = x; c < end; ++c)
                    if (IsBlack(At(rows, c, y - 1)) && IsBlack(At(rows, c, y + 2))) ++framed;
                if (framed * 10 >= (end - x) * 9) return {x, y, end - x};
            }
            x = end + 1;
        }
    }
    return {};
}

struct Sample {
    float x, y, z;
};

// The trace lines of the watcher ("Watcher #2" in the movement trace), in order.
std::vector<Sample> WatcherTrace(const fs::path& errFile) {
    std::istringstream lines(ReadFile(errFile));
    std::string line;
    std::vector<Sample> out;
    const std::string head = "movement: Watcher #2 at ";
    while (std::getline(lines, line)) {
        if (line.rfind(head, 0) != 0) continue;
        Sample s{};
        if (std::sscanf(line.c_str() + head.size(), "%f %f %f", &s.x, &s.y, &s.z) == 3) out.push_back(s);
    }
    return out;
}

TEST_F(E2eRun, TheWatcherShowsItsHealthBarAboveItsHead) {
    ASSERT_NO_FATAL_FAILURE(MakeSampleData({}));
    ASSERT_TRUE(WriteWindowedConfig(0));
    const fs::path err = root_ / "game.err";
    auto game = StartGame();
    float hero[3];
    ASSERT_TRUE(AwaitPlayerPosition(hero)) << ReadFile(err);
    // The watcher has taken its order and stands still within its distance of the hero (its last ten
    // reports, a second of play, within half a unit), so the bar stays where the shot is taken.
    auto settled = [&] {
        const std::vector<Sample> w = WatcherTrace(err);
        return w.size() >= 10 && std::hypot(w[w.size() - 10].x - w.back().x, w[w.size() - 10].z - w.back().z) < 0.5f;
    };
    const auto deadline = std::chrono::steady_clock::now() + 90s;
    while (!settled() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(settled()) << "the watcher never stood still\n" << ReadFile(err).substr(0, 4000);

    // Shots until one shows the whole bar: the level's opening lines, written over the view for
    // their first seconds, may stand over part of it.
    const fs::path shots = root_ / "Datas" / "SCREENSHOTS";
    std::string shot;
    ShootUntil(shots, [](const std::string& s) { return FindBar(s).width >= 48; }, shot, 60s);
    ASSERT_GE(shot.size(), 18u + 640u * 480u * 4u);
    const Bar bar = FindBar(shot);
    EXPECT_GE(bar.width, 48) << "no health bar in the screenshot (kept as /tmp/quorvane-e2e-healthbar.tga)";
    EXPECT_LE(bar.width, 51);
    // The watcher stands west of the camera's line of sight, which looks north: its bar is in the
    // right half of the view, and the watcher's figure (purple cloth, light trim) stands under it.
    EXPECT_GE(bar.left, 320);
    if (bar.width > 0) {
        const int left = bar.left, right = std::min(640, bar.left + bar.width);
        const auto watcher = [](int r, int g, int b) { return (r >= 200 && g >= 200 && b >= 200) || (r >= 70 && b >= 100 && g * 2 <= r && g * 2 <= b); };
        EXPECT_GT(CountPixels(shot, bar.top + 3, std::min(480, bar.top + 90), left, right, watcher), 30)
            << "nothing under the bar at " << bar.left << ", " << bar.top;
    }
    if (HasFailure()) std::ofstream("/tmp/quorvane-e2e-healthbar.tga", std::ios::binary) << shot;
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM";
}

}  // namespace
}  // namespace e2e
