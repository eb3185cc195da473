// The sample level's sky as a player sees it: the sun where the level's running time of day puts it
// and the moon opposite it, each found in the picture once the player has turned the hero toward it
// and lowered the view under it with the right button.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdio>

using namespace e2e;

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kDegree = kPi / 180.0f;
// How far to the right of a body the view is turned to look for it: clear of the hero, who stands
// in the middle of the picture, and well inside its left half.
constexpr float kAside = 30.0f * kDegree;

// The direction of the sun from the middle of the world at time of day `degrees`, with the level's
// sun path (tilted 45 degrees, not rolled): lowest at midnight (0 degrees), highest at noon (180),
// always on the east (+x) side of the sky and above the horizon from 90 to 270 degrees. The moon
// stands opposite it.
std::array<float, 3> SunDirection(float degrees) {
    const float a = degrees * kDegree, tilt = 45.0f * kDegree;
    return {std::sin(tilt), -std::cos(a) * std::cos(tilt), -std::sin(a) * std::cos(tilt)};
}

// The time of day `reports` position reports (tenths of a second of game time) after `start`: the
// level's day runs 0.25 degrees a second from 90 to 270 degrees and 0.75 a second otherwise.
float TimeOfDayAfter(float start, int reports) {
    float a = start;
    for (int i = 0; i < reports; ++i) {
        a += (a >= 90.0f && a <= 270.0f) ? 0.025f : 0.075f;
        if (a >= 360.0f) a -= 360.0f;
    }
    return a;
}

float Wrap(float radians) {
    return std::remainder(radians, 2.0f * kPi);
}

// The colours of the two discs over the night-blue sky: the sun white-hot going golden (full red,
// much less blue), the moon a cool pale grey (red and green alike, a little more blue). Nothing
// else the level shows has either once the welcome message has gone: the hero and the stones are
// grey without a tint, the ground green, the crates brown.
bool SunColour(int r, int g, int b) {
    return r >= 240 && g >= 190 && b <= r - 35;
}
bool MoonColour(int r, int g, int b) {
    return r >= 150 && r <= 240 && std::abs(r - g) <= 2 && b - r >= 6 && b - r <= 25;
}

// Pixels of a 640 x 480 screenshot in `colour`, outside the interface: below the status panel,
// above the bag at the bottom and clear of the mini-map in the top-right corner.
int DiscPixels(const std::string& shot, bool (*colour)(int, int, int)) {
    return CountPixels(shot, 45, 420, 0, 530, colour) + CountPixels(shot, 110, 420, 530, 640, colour);
}

class E2eSky : public E2eRun {
protected:
    fs::path Err() const { return root_ / "game.err"; }
    // The last "movement: <who> at x y z" line.
    bool LastAt(const std::string& who, float out[3]) const { return LastMovementAt(ReadFile(Err()), who, out); }
    // The way the view looks (radians, atan2(x, z)): from the camera's eye to the hero.
    bool View(float* bearing, float* eyeHeight, float eye[3]) const {
        float hero[3];
        if (!LastAt("player", hero) || !LastAt("camera", eye)) return false;
        *bearing = std::atan2(hero[0] - eye[0], hero[2] - eye[2]);
        *eyeHeight = eye[1] - hero[1];
        return true;
    }
    // Turns the hero with Left and Right until the view, come to rest behind it, looks along
    // `target` (a bearing, given the position reports so far) within 5 degrees. Each press turns the
    // hero by about half of what is left (it turns 2.4 radians a second), so that late frames on a
    // busy machine make a press long or short but never swing the hero past the way.
    bool TurnViewTo(const std::function<float(int)>& target, std::chrono::seconds limit = 120s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        KeyPipe keys;
        float last[3] = {0.0f, -1.0e9f, 0.0f};
        while (std::chrono::steady_clock::now() < deadline) {
            if (!AwaitPositionReports(Err(), PositionReports(Err()), 1, 60s)) return false;
            float bearing, height, eye[3];
            if (!View(&bearing, &height, eye)) continue;
            const bool resting = std::hypot(eye[0] - last[0], eye[1] - last[1], eye[2] - last[2]) < 0.2f;
            std::copy(eye, eye + 3, last);
            if (!resting) continue;
            const float error = Wrap(target(PositionReports(Err())) - bearing);
            if (std::fabs(error) <= 5.0f * kDegree) return true;
            const std::string key = error > 0.0f ? "Left" : "Right";
            const auto hold = std::chrono::duration<float>(std::clamp(std::fabs(error) / 4.8f, 0.02f, 0.5f));
            if (!keys.Send("keydown " + key)) return false;
            std::this_thread::sleep_for(hold);
            if (!keys.Send("keyup " + key)) return false;
        }
        return false;
    }

    struct Sky {
        std::vector<std::string> makedata;  // options of the sample data
        float startTimeOfDay;               // where the level's day starts (degrees)
        bool sun;                           // the body looked for: the sun, or the moon opposite it
    };
    // The body stands where the time of day puts it: not in the start view, which looks north;
    // turned toward it (aimed 30 degrees to its side, so that the hero does not stand in front of
    // it) with the view lowered under it, the picture shows its disc, and nowhere the other body,
    // which is below the ground.
    void ExpectBodyWhereTheTimeOfDayPutsIt(const Sky& c) {
        ASSERT_NO_FATAL_FAILURE(MakeSampleData(c.makedata));
        ASSERT_TRUE(WriteWindowedConfig(0));
        auto game = StartGame();
        float start[3];
        ASSERT_TRUE(AwaitPlayerPosition(start)) << ReadFile(Err());
        const fs::path shots = root_ / "Datas" / "SCREENSHOTS";
        bool (*body)(int, int, int) = c.sun ? SunColour : MoonColour;
        bool (*other)(int, int, int) = c.sun ? MoonColour : SunColour;
        // Where the body stands once `reports` position reports have come (the first one with the
        // first frame of the level).
        const auto direction = [&](int reports) {
            std::array<float, 3> d = SunDirection(TimeOfDayAfter(c.startTimeOfDay, reports));
            if (!c.sun)
                for (float& v : d) v = -v;
            return d;
        };
        {
            const auto d = direction(PositionReports(Err()));
            ASSERT_GT(d[1], 0.3f) << "the case's body is not up in the sky";
        }
        // The welcome message (pale gold) is gone after eight seconds of game time.
        ASSERT_TRUE(AwaitPositionReports(Err(), 0, 100, 120s)) << ReadFile(Err());
        std::string first;
        ASSERT_TRUE(ShootUntil(
            shots, [](const std::string&) { return true; }, first));
        EXPECT_EQ(DiscPixels(first, body), 0) << "the body shows in the start view";

        const auto aim = [&](int reports) {
            const auto d = direction(reports);
            return std::atan2(d[0], d[2]) - kAside;
        };
        ASSERT_TRUE(TurnViewTo(aim)) << "the view did not come round to the body";
        // The view lowered: the right button held while the mouse goes up, until the eye has come
        // down to the hero's feet, looking up past it.
        ASSERT_EQ(std::system(
                      "xdotool mousemove 320 460 sleep 0.2 mousedown 3 sleep 0.2 mousemove 320 380 sleep 0.1 "
                      "mousemove 320 300 sleep 0.1 mousemove 320 220 sleep 0.1 mousemove 320 140 sleep 0.1 "
                      "mousemove 320 60"),
                  0);
        std::string shot;
        bool lowered = false, shown = false;
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!lowered && std::chrono::steady_clock::now() < deadline) {
            if (!AwaitPositionReports(Err(), PositionReports(Err()), 1, 60s)) break;
            float bearing, height, eye[3];
            lowered = View(&bearing, &height, eye) && height < 5.0f;
        }
        if (lowered)
            shown = ShootUntil(
                shots, [&](const std::string& s) { return DiscPixels(s, body) >= 12; }, shot, 60s);
        float bearing = 0, height = 0, eye[3];
        View(&bearing, &height, eye);
        const float wanted = aim(PositionReports(Err()));
        ASSERT_EQ(std::system("xdotool mouseup 3 sleep 0.1 mousemove 20 20"), 0);
        EXPECT_TRUE(lowered) << "the view did not come down: the eye is " << height << " over the hero";
        EXPECT_TRUE(shown) << DiscPixels(shot, body) << " pixels of the body's colour; the view looks along "
                           << bearing / kDegree << " degrees, the body stands at "
                           << (wanted + kAside) / kDegree;
        // The view was turned to the right of the body: its disc stands left of the hero.
        EXPECT_EQ(CountPixels(shot, 45, 420, 0, 320, body), DiscPixels(shot, body))
            << "the body is not left of the hero";
        EXPECT_EQ(DiscPixels(shot, other), 0) << "the other body shows too";
        if (HasFailure()) {
            std::ofstream(fs::temp_directory_path() / "quorvane-e2e-sky-start.tga", std::ios::binary)
                << first;
            std::ofstream(fs::temp_directory_path() / "quorvane-e2e-sky.tga", std::ios::binary) << shot;
        }
        game->Signal(SIGTERM);
        ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(Err());
    }
};

// The level as it starts: mid-morning, the sun 27 degrees up in the south-east, behind the start
// view.
TEST_F(E2eSky, TheSunStandsWhereTheRunningTimeOfDayPutsIt) {
    ExpectBodyWhereTheTimeOfDayPutsIt({{}, 130.0f, true});
}

// The level's data started at another time of day: an hour before midnight, the moon
// stands 43 degrees up in the west, opposite the sun.
TEST_F(E2eSky, TheMoonStandsOppositeTheSunByNight) {
    ExpectBodyWhereTheTimeOfDayPutsIt({{"--time-of-day", "345"}, 345.0f, false});
}

}  // namespace
