// The sample level as a player meets it: the camera that follows the hero, the trigger zones
// reached on foot, and a configured window larger than the screen.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdio>

using namespace e2e;

namespace {

// The "movement: player at" positions written so far, oldest first.
std::vector<std::array<float, 3>> PositionTrace(const fs::path& errFile) {
    std::istringstream lines(ReadFile(errFile));
    std::string line;
    std::vector<std::array<float, 3>> out;
    while (std::getline(lines, line)) {
        std::array<float, 3> p{};
        if (std::sscanf(line.c_str(), "movement: player at %f %f %f", &p[0], &p[1], &p[2]) == 3) out.push_back(p);
    }
    return out;
}

// One xdotool reading its commands from a pipe: a key goes down or up as soon as its line is
// written, with no process started for each change (which a busy machine can delay by a large part
// of a second, while a held turn key turns the hero by a right angle in less than half of one).
class KeyPipe {
public:
    KeyPipe() : pipe_(popen("xdotool -", "w")) {}
    ~KeyPipe() {
        if (pipe_ != nullptr) pclose(pipe_);
    }
    KeyPipe(const KeyPipe&) = delete;
    KeyPipe& operator=(const KeyPipe&) = delete;
    bool Send(const std::string& line) {
        return pipe_ != nullptr && std::fprintf(pipe_, "%s\n", line.c_str()) > 0 && std::fflush(pipe_) == 0;
    }

private:
    FILE* pipe_;
};

class E2eSampleLevel : public E2eRun {
protected:
    // Walks the hero to within `radius` of (x, z) with the forward key held. The way it walks (over
    // its last two position reports) is compared with the way to the goal: more than 17 degrees
    // off, Left or Right is held for the time the hero takes to turn that far, and the next look
    // waits for three reports of straight walking, so that a slow machine's late reports or late
    // key changes make a correction short or long but never build up into a swing. Left turns the
    // walk towards a larger yaw, atan2(x, z). Adds the reports the walk took (ten a second of game
    // time) to `reports`. A hero that stops moving turns aside until it walks again. A walk given
    // `arrived` also ends as soon as that holds.
    bool WalkTo(float x, float z, float radius, int& reports, std::chrono::seconds limit = 180s,
                const std::function<bool()>& arrived = {}) {
        const fs::path err = root_ / "game.err";
        const auto deadline = std::chrono::steady_clock::now() + limit;
        const int first = PositionReports(err);
        KeyPipe keys;
        if (!keys.Send("keydown Up")) return false;
        bool reached = false;
        size_t seen = 0, corrected = 0;
        int still = 0, unstuck = 0;
        while (!reached && std::chrono::steady_clock::now() < deadline) {
            const auto trace = PositionTrace(err);
            if (trace.size() == seen || trace.size() < 2) {
                std::this_thread::sleep_for(10ms);
                continue;
            }
            seen = trace.size();
            const auto& now = trace.back();
            const auto& then = trace[trace.size() - 2];
            const float toX = x - now[0], toZ = z - now[2];
            if (std::hypot(toX, toZ) <= radius || (arrived && arrived())) {
                reached = true;
                break;
            }
            const float stepX = now[0] - then[0], stepZ = now[2] - then[2];
            if (std::hypot(stepX, stepZ) < 0.3f) {
                // Half a second without moving while walking: the hero is pushing against a crate
                // or a tree, which no look at its way can see. It turns aside, one side and then
                // the other, until it walks free.
                if (++still < 5) continue;
                still = 0;
                const char* side = (unstuck++ % 2 == 0) ? "Right" : "Left";
                if (!keys.Send(std::string("keydown ") + side)) break;
                std::this_thread::sleep_for(400ms);
                if (!keys.Send(std::string("keyup ") + side)) break;
                corrected = PositionTrace(err).size();
                continue;
            }
            still = 0;
            if (seen < corrected + 3) continue;
            float error = std::atan2(toX, toZ) - std::atan2(stepX, stepZ);
            while (error > 3.14159265f) error -= 6.2831853f;
            while (error < -3.14159265f) error += 6.2831853f;
            if (std::fabs(error) <= 0.3f) continue;
            const std::string key = error > 0.0f ? "Left" : "Right";
            const auto hold =
                std::chrono::duration<float>(std::clamp(std::fabs(error) / kTurnRate, 0.02f, 0.5f));
            if (!keys.Send("keydown " + key)) break;
            std::this_thread::sleep_for(hold);
            if (!keys.Send("keyup " + key)) break;
            corrected = PositionTrace(err).size();
        }
        keys.Send("keyup Up");
        reports += PositionReports(err) - first;
        return reached;
    }
    // Makes the sample data, starts the game in a 640 x 480 window and waits for the hero's first
    // position report, which it leaves in `start`.
    void StartSampleLevel(std::unique_ptr<Child>& game, float start[3]) {
        ASSERT_NO_FATAL_FAILURE(MakeSampleData({}));
        ASSERT_TRUE(WriteWindowedConfig(0));
        game = StartGame();
        ASSERT_TRUE(AwaitPlayerPosition(start)) << ReadFile(root_ / "game.err");
    }
    // How fast the walk turns while Left or Right is held with Up (radians a second): the hero
    // turns an eighth of the way to 45 degrees off the following camera's view each 1/50 s.
    static constexpr float kTurnRate = 4.0f;
};

// Walking turns the view with the hero, who stays in the middle of the picture at the size it
// had at the start, however far it walks.
TEST_F(E2eSampleLevel, TheCameraFollowsTheHeroWhoStaysInTheMiddleOfTheView) {
    const fs::path err = root_ / "game.err";
    std::unique_ptr<Child> game;
    float start[3];
    ASSERT_NO_FATAL_FAILURE(StartSampleLevel(game, start));
    const fs::path shots = root_ / "Datas" / "SCREENSHOTS";
    std::string first, walked;
    ASSERT_TRUE(ShootUntil(shots, [](const std::string&) { return true; }, first)) << ReadFile(err);
    ASSERT_TRUE(LastPlayerPosition(err, start));
    // North across the level, well away from where the level's camera stood at the start.
    int reports = 0;
    ASSERT_TRUE(WalkTo(-30.0f, 60.0f, 10.0f, reports)) << ReadFile(err);
    float now[3];
    ASSERT_TRUE(LastPlayerPosition(err, now));
    ASSERT_GT(std::hypot(now[0] - start[0], now[2] - start[2]), 250.0f);
    // The hero, still, in the middle of the view: a good number of its light pixels (every channel
    // at least 200: the pale hero on the green ground) around the centre, in a picture that is not
    // the first one.
    ASSERT_TRUE(AwaitPositionReports(err, PositionReports(err), 5, 60s)) << ReadFile(err);
    const bool centred = ShootUntil(shots, [&](const std::string& shot) {
        return shot != first && BrightPixels(shot, 180, 340, 260, 380) >= 200;
    }, walked, 60s);
    if (!centred) {
        std::ofstream(fs::temp_directory_path() / "quorvane-e2e-follow-first.tga", std::ios::binary) << first;
        std::ofstream(fs::temp_directory_path() / "quorvane-e2e-follow-walked.tga", std::ios::binary) << walked;
    }
    EXPECT_TRUE(centred) << BrightPixels(walked, 180, 340, 260, 380) << " light pixels in the middle after the walk";
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

// The three zones reached on foot from the start, in under a minute of game time: the crates'
// text box, the grove's plug-in call and the intro video each run when the hero walks in.
TEST_F(E2eSampleLevel, TheThreeTriggerZonesAreReachedOnFootAndRunTheirActions) {
    const fs::path err = root_ / "game.err";
    std::unique_ptr<Child> game;
    float start[3];
    ASSERT_NO_FATAL_FAILURE(StartSampleLevel(game, start));
    int walked = 0;
    // Shift once: the hero runs.
    ASSERT_TRUE(PressKeyForFrames(err, "shift")) << ReadFile(err);
    auto ran = [&](const char* line) { return ReadFile(err).find(line) != std::string::npos; };
    auto awaitLine = [&](const char* line) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!ran(line) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100ms);
        return ran(line);
    };
    // East of north to the crates, west to the grove, then back east round the lone crate and north
    // to the cinema.
    // Each walk heads well into its zone (40 units each way from the centre) and ends when the
    // zone's action has run, so that a late stop on a busy machine never leaves the hero short of it.
    const char* box = "events: event 9 runs action 78 TextBox";
    EXPECT_TRUE(WalkTo(80.0f, 25.0f, 8.0f, walked, 180s, [&] { return ran(box); })) << ReadFile(err);
    EXPECT_TRUE(awaitLine(box)) << ReadFile(err);
    const char* plugin = "events: event 9 runs action 75 CallPlugin";
    EXPECT_TRUE(WalkTo(-135.0f, 105.0f, 8.0f, walked, 180s, [&] { return ran(plugin); })) << ReadFile(err);
    EXPECT_TRUE(awaitLine(plugin)) << ReadFile(err);
    // East of the lone crate at (-90, 140) first, then north.
    EXPECT_TRUE(WalkTo(-40.0f, 120.0f, 12.0f, walked)) << ReadFile(err);
    const char* video = "events: event 9 runs action 14 PlayVideo";
    EXPECT_TRUE(WalkTo(-10.0f, 240.0f, 8.0f, walked, 180s, [&] { return ran(video); })) << ReadFile(err);
    EXPECT_TRUE(awaitLine(video)) << ReadFile(err);
    std::printf("the walk took %d position reports\n", walked);
    // Ten position reports a second of game time while walking.
    EXPECT_LE(walked, 600) << "the walk took more than a minute";
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

// The movement pieces east of the start reached on foot within a minute of game time: up the slope
// (the hero rises with it to near its top, 14 units up) and on to the pool north-east of it.
TEST_F(E2eSampleLevel, TheSlopeAndThePoolAreReachedOnFoot) {
    const fs::path err = root_ / "game.err";
    std::unique_ptr<Child> game;
    float start[3];
    ASSERT_NO_FATAL_FAILURE(StartSampleLevel(game, start));
    int walked = 0;
    // To the foot of the slope, then up it along +z.
    EXPECT_TRUE(WalkTo(100.0f, -200.0f, 8.0f, walked)) << ReadFile(err);
    const size_t foot = PositionTrace(err).size();
    EXPECT_TRUE(WalkTo(100.0f, -136.0f, 6.0f, walked)) << ReadFile(err);
    float highest = -1000.0f;
    const auto trace = PositionTrace(err);
    for (size_t i = foot; i < trace.size(); ++i) highest = std::max(highest, trace[i][1]);
    EXPECT_GT(highest, 10.0f) << "the hero did not go up the slope";
    // Down its top and north-east to the middle of the pool.
    EXPECT_TRUE(WalkTo(260.0f, 60.0f, 10.0f, walked)) << ReadFile(err);
    std::printf("the walk took %d position reports\n", walked);
    EXPECT_LE(walked, 600) << "the walk took more than a minute";
    if (HasFailure()) fs::copy_file(err, "/tmp/quorvane-e2e-slope.err", fs::copy_options::overwrite_existing);
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

// The ledge east of the start (60 x 60 and 14 units high, its faces at x 130 and 190, z -190 and
// -130), reached on foot: the hero walks round it to its east face, and the face holds it back while
// it walks on into it. There Alt makes the hero jump: it leaves the ground.
TEST_F(E2eSampleLevel, TheLedgeFaceHoldsTheHeroAndAltJumps) {
    const fs::path err = root_ / "game.err";
    std::unique_ptr<Child> game;
    float start[3];
    ASSERT_NO_FATAL_FAILURE(StartSampleLevel(game, start));
    int walked = 0;
    // South of the slope and the ledge, east past the ledge, then north to level with its middle.
    EXPECT_TRUE(WalkTo(100.0f, -225.0f, 8.0f, walked)) << ReadFile(err);
    EXPECT_TRUE(WalkTo(220.0f, -225.0f, 8.0f, walked)) << ReadFile(err);
    EXPECT_TRUE(WalkTo(220.0f, -160.0f, 6.0f, walked)) << ReadFile(err);
    // West into the face: the walk ends where the face holds the hero, still east of it.
    auto atTheFace = [&] {
        const auto trace = PositionTrace(err);
        if (trace.size() < 3) return false;
        const auto& now = trace.back();
        const auto& then = trace[trace.size() - 3];
        return now[0] < 205.0f && std::hypot(now[0] - then[0], now[2] - then[2]) < 0.3f;
    };
    EXPECT_TRUE(WalkTo(160.0f, -160.0f, 3.0f, walked, 60s, atTheFace)) << ReadFile(err);
    float held[3];
    ASSERT_TRUE(LastPlayerPosition(err, held));
    EXPECT_GE(held[0], 190.0f) << "the hero went through the ledge's east face";
    EXPECT_LT(held[0], 200.0f) << "the hero stopped short of the ledge";
    // Alt until a position report catches the hero off the ground (a jump lasts a third of a second
    // and the reports come ten times a second).
    bool jumped = false;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    const size_t from = PositionTrace(err).size();
    while (!jumped && std::chrono::steady_clock::now() < deadline) {
        ASSERT_TRUE(PressKeyForFrames(err, "alt")) << ReadFile(err);
        ASSERT_TRUE(AwaitPositionReports(err, PositionReports(err), 5, 60s)) << ReadFile(err);
        const auto trace = PositionTrace(err);
        for (size_t i = from; i < trace.size(); ++i) jumped = jumped || trace[i][1] > 2.0f;
    }
    EXPECT_TRUE(jumped) << "no report showed the hero off the ground";
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

// A configuration asking for a 5000 x 4000 window gets one the size of the screen (Xvfb's
// 1280 x 1024 here), and the screenshot is of that size too.
TEST_F(E2eSampleLevel, AWindowLargerThanTheScreenIsFittedToIt) {
    ASSERT_NO_FATAL_FAILURE(MakeSampleData({}));
    datakit::UserConfigSpec config;
    config.width = 5000;
    config.height = 4000;
    config.fullScreen = 0;
    ASSERT_TRUE(datakit::WriteFileBytes((root_ / "user" / "QuorvaneGame.cfg").string(), datakit::MakeUserConfig(config)));
    const fs::path err = root_ / "game.err";
    auto game = StartGame();
    FILE* pipe = popen("xdotool search --onlyvisible --name '^Quorvane$' getwindowgeometry --shell 2>/dev/null; "
                       "xdpyinfo | grep dimensions",
                       "r");
    ASSERT_NE(pipe, nullptr);
    char line[256];
    int width = 0, height = 0, screenWidth = 0, screenHeight = 0;
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::sscanf(line, "WIDTH=%d", &width);
        std::sscanf(line, "HEIGHT=%d", &height);
        std::sscanf(line, " dimensions: %dx%d", &screenWidth, &screenHeight);
    }
    pclose(pipe);
    ASSERT_GT(screenWidth, 0);
    EXPECT_GT(width, 0);
    EXPECT_LE(width, screenWidth);
    EXPECT_LE(height, screenHeight);
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

}  // namespace
