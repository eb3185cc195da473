// A quick save and a quick load in the running sample game: Page Up saves the slot "Quick", the hero
// walks off, Page Down brings it back, and the level's records that name the hero still work: P
// casts the spell from it and the mini-map's pin follows it.
#include "e2e_support.h"

namespace e2e {
namespace {

// Centre of the hero pin's yellow inside the mini-map (placed at 864, 10 and 150 wide and high in
// units of a 1024 x 768 screen: pixels 540 to 634 and 6 to 100 of the 640 x 480 picture, less its
// rim); false when the pin does not show.
bool PinCentre(const std::string& tga, float* x, float* y) {
    constexpr int kLeft = 542, kRight = 632, kTop = 8, kBottom = 98;
    if (tga.size() < 18u + 640u * 480u * 4u) return false;
    const std::string rows = TgaRows(tga, kTop, kBottom);
    double sx = 0.0, sy = 0.0;
    int n = 0;
    for (int row = 0; row < kBottom - kTop; ++row)
        for (int col = kLeft; col < kRight; ++col) {
            const size_t p = (static_cast<size_t>(row) * 640 + static_cast<size_t>(col)) * 4;
            const int b = static_cast<uint8_t>(rows[p]), g = static_cast<uint8_t>(rows[p + 1]),
                      r = static_cast<uint8_t>(rows[p + 2]);
            if (r >= 200 && g >= 180 && b <= 120) {
                sx += col;
                sy += row;
                ++n;
            }
        }
    if (n < 4) return false;
    *x = static_cast<float>(sx / n);
    *y = static_cast<float>(sy / n);
    return true;
}

float Distance2D(const float a[3], const float b[3]) { return std::hypot(a[0] - b[0], a[2] - b[2]); }

// Named E2e* so that it runs alone like the other end-to-end suites: it holds keys through XTEST, and
// a window of a test running beside it on the shared display takes the focus and with it the held key.
class E2eSaveGame : public E2eRun {
protected:
    fs::path Err() const { return root_ / "game.err"; }
    // Holds forward until the hero stands at least `distance` from `from`; false on time-out.
    bool WalkAway(const float from[3], float distance, float reached[3]) {
        if (std::system("xdotool keydown Up") != 0) return false;
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        bool far = false;
        while (!far && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(100ms);
            far = LastPlayerPosition(Err(), reached) && Distance2D(reached, from) >= distance;
        }
        const bool released = std::system("xdotool keyup Up") == 0;
        // The trace goes on for a frame or two after the key is let go.
        std::this_thread::sleep_for(300ms);
        LastPlayerPosition(Err(), reached);
        return far && released;
    }
    // Presses Page Down until the hero is reported back within `within` of `at`.
    bool QuickLoadBackTo(const float at[3], float within) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (std::system("xdotool keydown Next sleep 0.3 keyup Next") != 0) return false;
            const auto wait = std::chrono::steady_clock::now() + 3s;
            float p[3];
            while (std::chrono::steady_clock::now() < wait) {
                std::this_thread::sleep_for(100ms);
                if (LastPlayerPosition(Err(), p) && Distance2D(p, at) <= within) return true;
            }
        }
        return false;
    }
};

TEST_F(E2eSaveGame, AfterAQuickLoadTheSpellAndTheMapPinStillFollowTheHero) {
    ASSERT_NO_FATAL_FAILURE(MakeSampleData({}));
    ASSERT_TRUE(WriteWindowedConfig(0));
    std::unique_ptr<Child> game = StartGame();
    float start[3] = {0, 0, 0};
    ASSERT_TRUE(AwaitPlayerPosition(start)) << "no player position reported\n" << ReadFile(Err());

    // Page Up: the slot "Quick" is written where the hero stands.
    const fs::path quick = root_ / "Datas" / "USER" / "Quick.Scn";
    ASSERT_TRUE(PressUntilFile("Prior", quick, 60s)) << ReadFile(Err());
    ASSERT_TRUE(LastPlayerPosition(Err(), start));
    float moved[3];
    ASSERT_TRUE(WalkAway(start, 25.0f, moved)) << "the hero did not walk\n" << ReadFile(Err());

    // Page Down: the hero is back where it was saved.
    ASSERT_TRUE(QuickLoadBackTo(start, 5.0f)) << "the quick load did not bring the hero back\n" << ReadFile(Err());
    std::this_thread::sleep_for(300ms);
    float loaded[3];
    ASSERT_TRUE(LastPlayerPosition(Err(), loaded));

    // P casts the spell from the hero: its fire shows before the camera.
    const fs::path shots = root_ / "Datas" / "SCREENSHOTS";
    std::string beforeSpell, afterSpell;
    ASSERT_TRUE(ShootUntil(shots, [](const std::string&) { return true; }, beforeSpell)) << ReadFile(Err());
    ASSERT_GE(beforeSpell.size(), 18u + 640u * 480u * 4u);
    EXPECT_TRUE(CastUntilFire(Err(), shots, FirePixels(beforeSpell, 100, 400, 160, 480), afterSpell))
        << "no fire in the view after the quick load\n" << ReadFile(Err());

    // The pin on the mini-map follows the hero as it walks off again.
    float pinX0 = 0, pinY0 = 0, pinX1 = 0, pinY1 = 0;
    ASSERT_TRUE(PinCentre(beforeSpell, &pinX0, &pinY0)) << "no hero pin on the map after the quick load";
    ASSERT_TRUE(WalkAway(loaded, 60.0f, moved)) << ReadFile(Err());
    std::string walked;
    ASSERT_TRUE(ShootUntil(shots, [](const std::string&) { return true; }, walked)) << ReadFile(Err());
    ASSERT_TRUE(PinCentre(walked, &pinX1, &pinY1)) << "no hero pin on the map after walking";
    EXPECT_GE(std::hypot(pinX1 - pinX0, pinY1 - pinY0), 2.0f)
        << "the pin stayed at " << pinX0 << " " << pinY0 << " while the hero walked " << Distance2D(moved, loaded);

    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(Err());
}

}  // namespace
}  // namespace e2e
