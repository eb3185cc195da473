// The sample level as a player meets it: the camera that follows the hero, the trigger zones and
// the movement pieces reached on foot, the keys that move the hero, the wall round the field and
// the places "Pos" puts the hero, the camera tour, and a configured window larger than the screen.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <utility>

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
    // Makes the sample data, starts the game in a 640 x 480 window (with `env` added to its
    // environment) and waits for the hero's first position report, which it leaves in `start`.
    void StartSampleLevel(std::unique_ptr<Child>& game, float start[3], std::vector<std::string> env = {}) {
        ASSERT_NO_FATAL_FAILURE(MakeSampleData({}));
        ASSERT_TRUE(WriteWindowedConfig(0));
        game = StartGame(std::move(env));
        ASSERT_TRUE(AwaitPlayerPosition(start)) << ReadFile(root_ / "game.err");
    }
    // Holds the keys (xdotool key names, pressed in order) until the game has written `reports`
    // position reports, lets them go and waits for three more reports; the hero's move from the
    // last report before the press to the last one after, in x and z, with the reports it took.
    struct Move {
        float dx = 0.0f, dz = 0.0f;
        int reports = 0;
        float Length() const { return std::hypot(dx, dz); }
        float PerReport() const { return reports > 0 ? Length() / static_cast<float>(reports) : 0.0f; }
    };
    bool Hold(const std::vector<std::string>& keys, int reports, Move& move) {
        const fs::path err = root_ / "game.err";
        float before[3], after[3];
        if (!LastPlayerPosition(err, before)) return false;
        const int first = PositionReports(err);
        KeyPipe pipe;
        for (const std::string& k : keys)
            if (!pipe.Send("keydown " + k)) return false;
        const bool held = AwaitPositionReports(err, first, reports, 60s);
        for (auto k = keys.rbegin(); k != keys.rend(); ++k) pipe.Send("keyup " + *k);
        const bool settled = AwaitPositionReports(err, PositionReports(err), 3, 60s);
        if (!held || !settled || !LastPlayerPosition(err, after)) return false;
        move = {after[0] - before[0], after[2] - before[2], PositionReports(err) - first};
        return true;
    }
    // A jump with Up held, as a player makes it: Up goes down first and stays down until frames
    // have walked the hero with it (the jump is blended in, and waits for no blend that runs, such
    // as the one from standing into the walk), then Alt; as Hold from there.
    bool JumpWithUpHeld(int reports, Move& move) {
        const fs::path err = root_ / "game.err";
        KeyPipe up;
        return up.Send("keydown Up") && AwaitPositionReports(err, PositionReports(err), 4, 60s) &&
               Hold({"Up", "alt"}, reports, move);
    }
    // Opens the console, types the line and Return, and closes it again.
    static bool TypeInConsole(const std::string& line) {
        return std::system("xdotool mousemove 20 20 keydown ctrl+c sleep 0.3 keyup ctrl+c sleep 0.3") == 0 &&
               std::system(("xdotool type --delay 80 '" + line + "'").c_str()) == 0 &&
               std::system("xdotool key --delay 100 Return sleep 0.3 keydown ctrl+c sleep 0.3 keyup ctrl+c") == 0;
    }
    // How fast the walk turns while Left or Right is held with Up (radians a second): the hero turns
    // by its turn rate, 32 angle units (of 4096 a turn) each 1/50 s.
    static constexpr float kTurnRate = 2.4f;
};

// The angle (radians, -pi..pi) from the direction (ax, az) to (bx, bz), positive toward the
// hero's left (a larger atan2(x, z)).
float AngleBetween(float ax, float az, float bx, float bz) {
    float a = std::atan2(bx, bz) - std::atan2(ax, az);
    while (a > 3.14159265f) a -= 6.2831853f;
    while (a < -3.14159265f) a += 6.2831853f;
    return a;
}

constexpr float kDegree = 0.017453293f;

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

// Over the slope's crest and down its far side, which falls from 14 units at z -132 back to the
// ground at z -76: the hero comes down with the ground under it, report by report, and not in one
// drop from the top.
TEST_F(E2eSampleLevel, TheSlopeComesDownAgainOnItsFarSide) {
    const fs::path err = root_ / "game.err";
    std::unique_ptr<Child> game;
    float start[3];
    ASSERT_NO_FATAL_FAILURE(StartSampleLevel(game, start));
    int walked = 0;
    EXPECT_TRUE(WalkTo(100.0f, -205.0f, 8.0f, walked)) << ReadFile(err);
    const size_t foot = PositionTrace(err).size();
    EXPECT_TRUE(WalkTo(100.0f, -60.0f, 8.0f, walked)) << ReadFile(err);
    const auto trace = PositionTrace(err);
    float highest = -1000.0f;
    int onTheFarSide = 0;
    for (size_t i = foot; i < trace.size(); ++i) {
        const auto& p = trace[i];
        highest = std::max(highest, p[1]);
        // Well inside the slope's 40-unit width about x 100, off its crest and its foot.
        if (std::fabs(p[0] - 100.0f) > 14.0f || p[2] < -128.0f || p[2] > -80.0f) continue;
        ++onTheFarSide;
        EXPECT_NEAR(p[1], 14.0f * (-76.0f - p[2]) / 56.0f, 2.0f) << "at x " << p[0] << " z " << p[2];
    }
    EXPECT_GT(highest, 12.0f) << "the hero did not go over the crest";
    EXPECT_GE(onTheFarSide, 5) << "the walk did not come down the far side";
    if (HasFailure()) fs::copy_file(err, "/tmp/quorvane-e2e-crest.err", fs::copy_options::overwrite_existing);
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

// The keys of the key table that move the hero, through real presses: Up walks forward and Down
// back along the heading; Shift with Left or Right steps sideways without turning; each Shift
// press changes the pace (walk, run, sprint, walk again); a short tap of Left turns the hero a
// little; Z walks forward as Up does; Ctrl and B, the keys of flying, gliding and driving, leave the
// walking hero where it stands.
TEST_F(E2eSampleLevel, TheArrowsWalkAndTurnTheHeroShiftStepsSidewaysAndCyclesThePace) {
    const fs::path err = root_ / "game.err";
    std::unique_ptr<Child> game;
    float start[3];
    ASSERT_NO_FATAL_FAILURE(StartSampleLevel(game, start));
    Move walk, back, left, right, sprint, again, turned, zed, qed, ded;
    ASSERT_TRUE(Hold({"Up"}, 10, walk)) << ReadFile(err);
    ASSERT_GT(walk.Length(), 10.0f) << "Up did not walk the hero";
    ASSERT_TRUE(Hold({"Down"}, 10, back)) << ReadFile(err);
    EXPECT_GT(back.Length(), 3.0f) << "Down did not move the hero";
    EXPECT_GT(std::fabs(AngleBetween(walk.dx, walk.dz, back.dx, back.dz)), 165.0f * kDegree)
        << "Down did not walk back along the heading";
    // Shift goes down first (the pace goes to run), then the side key: a step to the hero's left,
    // at right angles to its heading.
    ASSERT_TRUE(Hold({"shift", "Left"}, 10, left)) << ReadFile(err);
    EXPECT_GT(left.Length(), 5.0f) << "Shift + Left did not move the hero";
    EXPECT_NEAR(AngleBetween(walk.dx, walk.dz, left.dx, left.dz), 90.0f * kDegree, 25.0f * kDegree);
    ASSERT_TRUE(Hold({"shift", "Right"}, 10, right)) << ReadFile(err);
    EXPECT_GT(right.Length(), 5.0f) << "Shift + Right did not move the hero";
    EXPECT_NEAR(AngleBetween(walk.dx, walk.dz, right.dx, right.dz), -90.0f * kDegree, 25.0f * kDegree);
    // Two Shift presses later the hero sprints, still along the heading it had.
    ASSERT_TRUE(Hold({"Up"}, 10, sprint)) << ReadFile(err);
    EXPECT_LT(std::fabs(AngleBetween(walk.dx, walk.dz, sprint.dx, sprint.dz)), 10.0f * kDegree)
        << "the side steps turned the hero";
    EXPECT_GT(sprint.PerReport(), 1.6f * walk.PerReport()) << "two Shift presses did not make the hero sprint";
    // A third press: walking again.
    ASSERT_TRUE(PressKeyForFrames(err, "shift")) << ReadFile(err);
    ASSERT_TRUE(Hold({"Up"}, 10, again)) << ReadFile(err);
    EXPECT_LT(again.PerReport(), 0.6f * sprint.PerReport()) << "the third press did not slow the hero to a walk";
    EXPECT_GT(again.Length(), 5.0f) << "Up did not walk the hero";
    // A tap of Left, held for the two reports a frame needs to see it: a small turn to the left.
    ASSERT_TRUE(PressKeyForFrames(err, "Left")) << ReadFile(err);
    ASSERT_TRUE(Hold({"Up"}, 10, turned)) << ReadFile(err);
    const float turn = AngleBetween(again.dx, again.dz, turned.dx, turned.dz);
    EXPECT_GT(turn, 5.0f * kDegree) << "a tap of Left did not turn the hero left";
    EXPECT_LT(turn, 70.0f * kDegree) << "a tap of Left turned the hero too far";
    ASSERT_TRUE(Hold({"z"}, 10, zed)) << ReadFile(err);
    EXPECT_GT(zed.Length(), 10.0f) << "Z did not walk the hero";
    EXPECT_LT(std::fabs(AngleBetween(turned.dx, turned.dz, zed.dx, zed.dz)), 10.0f * kDegree);
    // Q and D, the turn keys of the letter cross: a tap of each turns the hero as Left and Right do.
    ASSERT_TRUE(PressKeyForFrames(err, "q")) << ReadFile(err);
    ASSERT_TRUE(Hold({"z"}, 10, qed)) << ReadFile(err);
    const float qTurn = AngleBetween(zed.dx, zed.dz, qed.dx, qed.dz);
    EXPECT_GT(qTurn, 5.0f * kDegree) << "a tap of Q did not turn the hero left";
    EXPECT_LT(qTurn, 70.0f * kDegree) << "a tap of Q turned the hero too far";
    ASSERT_TRUE(PressKeyForFrames(err, "d")) << ReadFile(err);
    ASSERT_TRUE(Hold({"z"}, 10, ded)) << ReadFile(err);
    const float dTurn = AngleBetween(qed.dx, qed.dz, ded.dx, ded.dz);
    EXPECT_LT(dTurn, -5.0f * kDegree) << "a tap of D did not turn the hero right";
    EXPECT_GT(dTurn, -70.0f * kDegree) << "a tap of D turned the hero too far";
    // Ctrl and B: the hero stays where it is, on the ground.
    for (const char* key : {"ctrl", "b"}) {
        Move still;
        ASSERT_TRUE(Hold({key}, 5, still)) << ReadFile(err);
        EXPECT_LT(still.Length(), 0.5f) << key << " moved the hero";
        float now[3];
        ASSERT_TRUE(LastPlayerPosition(err, now));
        EXPECT_LT(now[1], 0.5f) << key << " took the hero off the ground";
    }
    if (HasFailure()) fs::copy_file(err, "/tmp/quorvane-e2e-keys.err", fs::copy_options::overwrite_existing);
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

// The wall round the field holds the hero in, walking or jumping, so that it never leaves the
// ground (its inner face 450 units east of the middle); the console's "Pos 7" puts the hero on the
// dais in the middle of the guard's round, 15 units up, and every other "Pos" on a lookout beyond
// the wall, each at a height of its own, where it stays standing. The heights differ from one spot
// to the next, so a hero that finds no floor (and keeps the height it had) shows. All the while the
// hero is on the field, its pin on the mini-map follows it east (to the map's left, north being up)
// and stays whole inside the map's frame, up against the wall too.
TEST_F(E2eSampleLevel, TheWallKeepsTheHeroOnTheFieldAndPosPutsItOnALookout) {
    const fs::path err = root_ / "game.err";
    std::unique_ptr<Child> game;
    float start[3];
    ASSERT_NO_FATAL_FAILURE(StartSampleLevel(game, start, {"QUORVANE_TRACE_INTERFACE=1"}));
    int walked = 0;
    // East along the start's line, well south of the ladder, the ledge and the trees.
    EXPECT_TRUE(WalkTo(380.0f, -250.0f, 10.0f, walked)) << ReadFile(err);
    // East into the wall: the walk ends where the wall holds the hero.
    auto atTheWall = [&] {
        const auto trace = PositionTrace(err);
        if (trace.size() < 3) return false;
        const auto& now = trace.back();
        const auto& then = trace[trace.size() - 3];
        return now[0] > 430.0f && std::hypot(now[0] - then[0], now[2] - then[2]) < 0.3f;
    };
    EXPECT_TRUE(WalkTo(600.0f, -250.0f, 3.0f, walked, 60s, atTheWall)) << ReadFile(err);
    // Jumps against it, forward held: the hero comes down on the field each time.
    const size_t from = PositionTrace(err).size();
    float highest = 0.0f;
    for (int i = 0; i < 4; ++i) {
        Move jump;
        ASSERT_TRUE(JumpWithUpHeld(12, jump)) << ReadFile(err);
    }
    float eastmost = -1000.0f;
    const auto trace = PositionTrace(err);
    for (size_t i = from; i < trace.size(); ++i) {
        highest = std::max(highest, trace[i][1]);
        eastmost = std::max(eastmost, trace[i][0]);
    }
    EXPECT_LT(eastmost, 450.0f) << "the hero went over the wall";
    EXPECT_GT(highest, 2.0f) << "the hero never jumped";
    // The pin's places (its top-left corner within the map, in pixels of the 640 x 480 window): the
    // map is 150 units square and the pin 12, in units of a 1024 x 768 screen.
    {
        constexpr float kScale = 640.0f / 1024.0f, kRoom = (150.0f - 12.0f) * kScale;
        std::istringstream lines(ReadFile(err));
        std::vector<std::array<float, 2>> pins;
        for (std::string line; std::getline(lines, line);) {
            std::array<float, 2> p{};
            if (std::sscanf(line.c_str(), "interface: marker hero at %f %f", &p[0], &p[1]) == 2) pins.push_back(p);
        }
        ASSERT_GE(pins.size(), 2u) << "the pin was never placed\n" << ReadFile(err);
        for (const auto& p : pins) {
            EXPECT_GE(p[0], -0.5f) << "the pin left the map's frame at " << p[0] << " " << p[1];
            EXPECT_LE(p[0], kRoom + 0.5f) << "the pin left the map's frame at " << p[0] << " " << p[1];
            EXPECT_GE(p[1], -0.5f) << "the pin left the map's frame at " << p[0] << " " << p[1];
            EXPECT_LE(p[1], kRoom + 0.5f) << "the pin left the map's frame at " << p[0] << " " << p[1];
        }
        // The hero stands 480 units east of its start: the pin went most of the map's width left,
        // to its left edge.
        EXPECT_LT(pins.back()[0], pins.front()[0] - 30.0f) << "the pin did not follow the hero east";
        EXPECT_LT(pins.back()[0], 5.0f) << "the pin is not at the map's left edge with the hero at the wall";
    }
    // "Pos 1" to "Pos 9": after the command, a second of reports with the hero at the spot's height
    // and within its floor (the letters typed into the console may walk it a few steps).
    const float spots[9][3] = {
        {204.0f, 350.0f, -884.0f}, {-270.0f, 245.0f, -512.0f},       {650.0f, 410.0f, 390.0f},
        {750.0f, 0.0f, 4000.0f},   {-1771.0f, 434.5f, 3978.0f},      {-501.7f, 43.0f, -13.56f},
        {-1.0f, 15.0f, -2.34f},    {-12089.5f, 15.13f, -1251.55f}, {-1114.0f, 512.0f, 454.0f},
    };
    for (int spot = 1; spot <= 9; ++spot) {
        const std::string line = "Pos " + std::to_string(spot);
        const float* at = spots[spot - 1];
        ASSERT_TRUE(TypeInConsole(line));
        const size_t placed = PositionTrace(err).size();
        auto standing = [&] {
            const auto t = PositionTrace(err);
            if (t.size() < placed + 10) return false;
            for (size_t i = t.size() - 10; i < t.size(); ++i)
                if (std::fabs(t[i][1] - at[1]) > 0.1f || std::hypot(t[i][0] - at[0], t[i][2] - at[2]) > 10.0f)
                    return false;
            return true;
        };
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!standing() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100ms);
        float now[3];
        ASSERT_TRUE(LastPlayerPosition(err, now));
        EXPECT_TRUE(standing()) << line << " left the hero at " << now[0] << " " << now[1] << " " << now[2];
    }
    if (HasFailure()) fs::copy_file(err, "/tmp/quorvane-e2e-wall.err", fs::copy_options::overwrite_existing);
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

// Home flies the camera round the level: the hero leaves the middle of the view; Enter ends the
// flight early and the view is back behind the hero well before the 12-second tour is over; a
// second Home flies the whole tour and then gives the view back on its own.
TEST_F(E2eSampleLevel, HomeFliesTheTourAndGivesTheViewBackEnterEndsItEarly) {
    const fs::path err = root_ / "game.err";
    std::unique_ptr<Child> game;
    float start[3];
    ASSERT_NO_FATAL_FAILURE(StartSampleLevel(game, start));
    const fs::path shots = root_ / "Datas" / "SCREENSHOTS";
    // The pale hero in the middle of the view (as the follow camera keeps it), or gone from there.
    auto heroInTheMiddle = [](const std::string& shot) { return BrightPixels(shot, 180, 340, 260, 380) >= 200; };
    auto heroGone = [](const std::string& shot) { return BrightPixels(shot, 180, 340, 260, 380) < 40; };
    std::string shot;
    ASSERT_TRUE(ShootUntil(shots, heroInTheMiddle, shot)) << "the hero is not in the middle at the start";
    auto flights = [&] { return LinesStartingWith(err, "events: event 83 runs action 22"); };
    int took[3] = {0, 0, 0};
    for (int round = 1; round <= 2; ++round) {
        while (flights() < round) ASSERT_TRUE(PressKeyForFrames(err, "Home")) << ReadFile(err);
        const int from = PositionReports(err);
        EXPECT_TRUE(ShootUntil(shots, heroGone, shot, 60s)) << "flight " << round << ": the view stayed on the hero";
        if (round == 1) ASSERT_TRUE(PressKeyForFrames(err, "Return")) << ReadFile(err);
        EXPECT_TRUE(ShootUntil(shots, heroInTheMiddle, shot, 120s)) << "flight " << round << ": the view never came back";
        took[round] = PositionReports(err) - from;
    }
    // Ten reports a second of game time: the whole tour takes about ten seconds of it, the flight
    // Enter cut short less than half of that.
    std::printf("the flights took %d and %d position reports\n", took[1], took[2]);
    EXPECT_GE(took[2], 80) << "the flight ended before the tour did";
    EXPECT_LT(2 * took[1], took[2]) << "Enter did not end the flight early";
    if (HasFailure()) std::ofstream("/tmp/quorvane-e2e-tour.tga", std::ios::binary) << shot;
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

// The ledge east of the start (60 x 60 and 14 units high, its faces at x 130 and 190, z -190 and
// -130), reached on foot: the hero walks round it to its east face, and the face holds it back while
// it walks on into it. There Alt makes the hero jump, and the jump lands it on the ledge's top. Walked
// on north off the top, the hero drops to the ground below without leaping up first.
TEST_F(E2eSampleLevel, TheLedgeFaceHoldsTheHeroAJumpLandsItOnTopAndItStepsOffWithoutALeap) {
    const fs::path err = root_ / "game.err";
    std::unique_ptr<Child> game;
    float start[3];
    ASSERT_NO_FATAL_FAILURE(StartSampleLevel(game, start));
    int walked = 0;
    // South of the slope and the ledge, east past the ledge, then north to level with its middle.
    EXPECT_TRUE(WalkTo(100.0f, -225.0f, 8.0f, walked)) << ReadFile(err);
    EXPECT_TRUE(WalkTo(220.0f, -225.0f, 8.0f, walked)) << ReadFile(err);
    EXPECT_TRUE(WalkTo(220.0f, -160.0f, 6.0f, walked)) << ReadFile(err);
    // West into the face: the walk ends where the face holds the hero, still east of it. A heading
    // not quite square to the face slides the hero along it: held back means no further west.
    auto atTheFace = [&] {
        const auto trace = PositionTrace(err);
        if (trace.size() < 3) return false;
        const auto& now = trace.back();
        const auto& then = trace[trace.size() - 3];
        return now[0] < 205.0f && then[0] - now[0] < 0.3f;
    };
    EXPECT_TRUE(WalkTo(160.0f, -160.0f, 3.0f, walked, 60s, atTheFace)) << ReadFile(err);
    float held[3];
    ASSERT_TRUE(LastPlayerPosition(err, held));
    EXPECT_GE(held[0], 190.0f) << "the hero went through the ledge's east face";
    EXPECT_LT(held[0], 200.0f) << "the hero stopped short of the ledge";
    // Alt until a report shows the hero on the ledge's top, 14 units up, inside its faces (a jump
    // lasts 0.4 s and the reports come ten times a second).
    auto onTop = [&] {
        float now[3];
        return LastPlayerPosition(err, now) && std::fabs(now[1] - 14.0f) < 0.5f && now[0] < 189.0f && now[0] > 131.0f;
    };
    bool jumped = false;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    const size_t from = PositionTrace(err).size();
    while (!onTop() && std::chrono::steady_clock::now() < deadline) {
        ASSERT_TRUE(PressKeyForFrames(err, "alt")) << ReadFile(err);
        ASSERT_TRUE(AwaitPositionReports(err, PositionReports(err), 5, 60s)) << ReadFile(err);
        const auto trace = PositionTrace(err);
        for (size_t i = from; i < trace.size(); ++i) jumped = jumped || trace[i][1] > 2.0f;
    }
    EXPECT_TRUE(jumped) << "no report showed the hero off the ground";
    float top[3];
    ASSERT_TRUE(LastPlayerPosition(err, top));
    ASSERT_TRUE(onTop()) << "the jumps left the hero at " << top[0] << " " << top[1] << " " << top[2];
    // North across the top and off its north edge to the open ground beyond. Once a report has
    // the hero below the top, none has it back within 4 units of it (a take-off that lifts the body,
    // played as the hero steps off, would carry it back up to the edge's height before it fell),
    // and it comes to rest on the ground.
    const size_t onTheTop = PositionTrace(err).size();
    EXPECT_TRUE(WalkTo(160.0f, -100.0f, 6.0f, walked)) << ReadFile(err);
    ASSERT_TRUE(AwaitPositionReports(err, PositionReports(err), 3, 60s)) << ReadFile(err);
    const auto trace = PositionTrace(err);
    size_t off = trace.size();
    for (size_t i = onTheTop; i < trace.size() && off == trace.size(); ++i)
        if (trace[i][1] < 13.5f) off = i;
    ASSERT_LT(off, trace.size()) << "the hero never left the top";
    float highest = -1000.0f;
    std::string heights;
    for (size_t i = off; i < trace.size(); ++i) {
        highest = std::max(highest, trace[i][1]);
        if (i < off + 10) heights += " " + std::to_string(trace[i][1]);
    }
    EXPECT_LT(highest, 10.0f) << "the hero leapt back up after stepping off:" << heights;
    EXPECT_NEAR(trace.back()[1], 0.0f, 0.1f) << "the hero did not come down to the ground";
    if (HasFailure()) fs::copy_file(err, "/tmp/quorvane-e2e-ledge.err", fs::copy_options::overwrite_existing);
    game->Signal(SIGTERM);
    ASSERT_TRUE(game->WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(err);
}

// Alt jumps with Up held at a walk and at a run; at a sprint the hero runs on along the ground (the
// sample hero has no sprinting jump). Shift taps step the pace from walk to run to sprint.
TEST_F(E2eSampleLevel, AltJumpsAtAWalkAndARunButNotAtASprint) {
    const fs::path err = root_ / "game.err";
    std::unique_ptr<Child> game;
    float start[3];
    ASSERT_NO_FATAL_FAILURE(StartSampleLevel(game, start));
    int walked = 0;
    // West of the start, heading west: open ground for some 400 units before the wall.
    EXPECT_TRUE(WalkTo(start[0] - 40.0f, start[2], 6.0f, walked)) << ReadFile(err);
    const char* paces[] = {"walk", "run", "sprint"};
    float highest[3] = {};
    Move moves[3];
    for (int pace = 0; pace < 3; ++pace) {
        if (pace > 0) ASSERT_TRUE(PressKeyForFrames(err, "shift")) << ReadFile(err);
        const size_t from = PositionTrace(err).size();
        ASSERT_TRUE(JumpWithUpHeld(8, moves[pace])) << ReadFile(err);
        const auto trace = PositionTrace(err);
        highest[pace] = -1000.0f;
        for (size_t i = from; i < trace.size(); ++i) highest[pace] = std::max(highest[pace], trace[i][1]);
    }
    EXPECT_GT(highest[0], 2.0f) << "no jump at a walk";
    EXPECT_GT(highest[1], 2.0f) << "no jump at a run";
    EXPECT_LT(highest[2], 0.5f) << "the hero jumped at a sprint";
    EXPECT_GT(moves[2].PerReport(), 1.6f * moves[0].PerReport()) << "the hero was not sprinting";
    for (int pace = 0; pace < 3; ++pace)
        RecordProperty(std::string(paces[pace]) + "_highest", std::to_string(highest[pace]));
    if (HasFailure()) fs::copy_file(err, "/tmp/quorvane-e2e-paces.err", fs::copy_options::overwrite_existing);
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
