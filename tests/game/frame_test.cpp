#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/input.h"
#include "game/entry.h"
#include "game/frame.h"
#include "objects/actions.h"
#include "objects/eventrecord.h"
#include "objects/events.h"
#include "platform/timer.h"
#include "platform/wincodes.h"
#include "render/glext.h"
#include "render/renderstate.h"
#include "ui/console.h"
#include "ui/menu.h"
#include "ui/wnd.h"

namespace {

// A performance counter that only moves when the test says so: one tick a microsecond.
class FakeCounter final : public PerformanceCounterSource {
public:
    int64_t Frequency() const override { return 1'000'000; }
    int64_t Counter() const override { return now; }
    void AdvanceSeconds(double seconds) { now += static_cast<int64_t>(seconds * 1e6); }
    int64_t now = 5'000'000;
};

class FrameTest : public testing::Test {
protected:
    void SetUp() override {
        SetPerformanceCounterSource(&counter);
        InitFrameDefaults();
        InitMathTables();
        ResetFrameTimer();
    }
    void TearDown() override { SetPerformanceCounterSource(nullptr); }

    FakeCounter counter;
};

TEST_F(FrameTest, ClockStepCapsAtSixtyFramesASecond) {
    float rate = 0.0f;
    counter.AdvanceSeconds(1.0 / 61.0);
    EXPECT_FALSE(StepFrameClock(&rate));
    counter.AdvanceSeconds(0.02 - 1.0 / 61.0);
    ASSERT_TRUE(StepFrameClock(&rate));
    EXPECT_NEAR(rate, 50.0f, 0.01f);
    // The frame time is measured from the last frame taken, not from the refused pass.
    counter.AdvanceSeconds(0.01);
    EXPECT_FALSE(StepFrameClock(&rate));
}

TEST_F(FrameTest, WaitLastsUntilTheNextFrameIsDue) {
    FrameFunction = GameFrame;
    float rate = 0.0f;
    counter.AdvanceSeconds(0.02);
    ASSERT_TRUE(StepFrameClock(&rate));
    // Right after a frame: the 16.7 ms of the cap rounded down, less a millisecond so that a late
    // wake-up is still on time.
    EXPECT_EQ(FrameWaitMilliseconds(), 15u);
    counter.AdvanceSeconds(0.010);
    EXPECT_EQ(FrameWaitMilliseconds(), 5u);
    // Less than two milliseconds left, or the frame already due: no message wait. The last stretch
    // is slept through but for the margin, which the loop passes in short naps but for its last
    // microseconds, when it looks at the clock.
    counter.AdvanceSeconds(0.005);
    EXPECT_EQ(FrameWaitMilliseconds(), 0u);
    EXPECT_NEAR(FrameSleepMicroseconds(), 1667.0 - FrameSleepMarginMs * 1000.0, 1.0);
    counter.AdvanceSeconds(0.0012);  // about 467 us left
    EXPECT_EQ(FrameSleepMicroseconds(), static_cast<uint32_t>(FrameNapMicroseconds));
    counter.AdvanceSeconds(0.00038);  // about 87 us left: a nap to 50 us before the frame
    EXPECT_NEAR(FrameSleepMicroseconds(), 87.0 - FrameSpinMicroseconds, 1.5);
    counter.AdvanceSeconds(0.00005);  // about 37 us left: the clock is watched
    EXPECT_EQ(FrameSleepMicroseconds(), 0u);
    EXPECT_FALSE(StepFrameClock(&rate)) << "the frame is not due yet";
    counter.AdvanceSeconds(0.00004);
    EXPECT_EQ(FrameSleepMicroseconds(), 0u);
    counter.AdvanceSeconds(0.01);
    EXPECT_EQ(FrameWaitMilliseconds(), 0u);
    EXPECT_EQ(FrameSleepMicroseconds(), 0u);
    // A frame function off the clock (the video frame) never waits.
    ASSERT_TRUE(StepFrameClock(&rate));
    FrameFunction = VideoFrame;
    EXPECT_EQ(FrameWaitMilliseconds(), 0u);
    EXPECT_EQ(FrameSleepMicroseconds(), 0u);
    FrameFunction = GameFrame;
}

struct ClockCase {
    const char* name;
    double seconds;
    float timeScale;
    float frameTime;
};

TEST_F(FrameTest, ClockStepGivesTheFrameTime) {
    const ClockCase cases[] = {
        {"real time", 0.02, 0.0f, 0.02f},
        {"time scale 2 doubles dt", 0.02, 2.0f, 0.04f},
        {"time scale 0.5 halves dt", 0.04, 0.5f, 0.02f},
        {"a slow frame clamps the rate to 1", 5.0, 0.0f, 1.0f},
        {"a scaled slow frame too", 0.8, 2.0f, 1.0f},
    };
    for (const ClockCase& c : cases) {
        InitFrameDefaults();
        InitMathTables();
        ResetFrameTimer();
        FrameTiming.timeScale = c.timeScale;
        counter.AdvanceSeconds(c.seconds);
        float rate = 0.0f;
        ASSERT_TRUE(StepFrameClock(&rate)) << c.name;
        SetFrameRate(rate);
        EXPECT_NEAR(FrameTiming.frameTime, c.frameTime, 1e-5f) << c.name;
        EXPECT_NEAR(FrameTiming.frameFactor, c.frameTime * 50.0f, 1e-4f) << c.name;
        EXPECT_NEAR(FrameTiming.inverseFrameFactor, 1.0f / (c.frameTime * 50.0f), 1e-4f) << c.name;
    }
}

TEST_F(FrameTest, GamePassWithinTheCapDoesNothingAtAll) {
    counter.AdvanceSeconds(0.02);
    MouseWheelDelta = 120;
    GameFrame();
    EXPECT_EQ(MouseWheelDelta, 0);  // a frame ran and ended
    const FrameTimingState timing = FrameTiming;
    const FrameAccumulatorState accumulators = FrameAccumulators;

    counter.AdvanceSeconds(0.01);
    MouseWheelDelta = 120;
    GameFrame();
    EditorFrame();
    EXPECT_EQ(MouseWheelDelta, 120);
    EXPECT_EQ(FrameTiming.frameTime, timing.frameTime);
    EXPECT_EQ(FrameAccumulators.twentieth, accumulators.twentieth);
    EXPECT_EQ(FrameAccumulators.halfSecond, accumulators.halfSecond);
}

TEST_F(FrameTest, EditorChangesTheFrameTimeEveryFifthFrame) {
    const float rates[] = {10.0f, 20.0f, 30.0f, 40.0f, 50.0f, 60.0f};
    for (int i = 0; i < 4; ++i) {
        AverageEditorFrameRate(rates[i]);
        EXPECT_EQ(FrameTiming.frameTime, 0.02f) << "frame " << i;
    }
    AverageEditorFrameRate(rates[4]);
    EXPECT_FLOAT_EQ(FrameTiming.rate, 30.0f);
    EXPECT_FLOAT_EQ(FrameTiming.frameTime, 1.0f / 30.0f);
    AverageEditorFrameRate(rates[5]);
    EXPECT_FLOAT_EQ(FrameTiming.rate, 30.0f);  // a new average has begun
}

TEST_F(FrameTest, AccumulatorsHitZeroOncePerTenthHalfAPeriodApart) {
    // 1/80 s frames: a 0.05-second step every 4 frames, a 0.1-second period every 8.
    const float dt = 0.0125f;
    std::vector<int> zeroA, zeroB;
    for (int frame = 1; frame <= 40; ++frame) {
        AdvanceAccumulators(dt);
        if (FrameAccumulators.tickA == 0.0f) zeroA.push_back(frame);
        if (FrameAccumulators.tickB == 0.0f) zeroB.push_back(frame);
    }
    EXPECT_EQ(zeroA, (std::vector<int>{4, 12, 20, 28, 36}));
    EXPECT_EQ(zeroB, (std::vector<int>{8, 16, 24, 32, 40}));
    EXPECT_FLOAT_EQ(FrameAccumulators.lastTickB, 0.1f);
}

void CountedFrame() {}

struct RunModeCase {
    const char* name;
    uint32_t from;
    uint32_t to;
    uint32_t current;
    uint32_t previous;
    FrameFn frame;
    bool clockReset;
};

TEST_F(FrameTest, RunModeSwitching) {
    const RunModeCase cases[] = {
        {"same mode changes nothing", RunModeEditor, RunModeEditor, RunModeEditor, 9, CountedFrame, false},
        {"game resets the clock", RunModeEditor, RunModeGame, RunModeGame, RunModeEditor, GameFrame, true},
        {"editor keeps the clock", RunModeGame, RunModeEditor, RunModeEditor, RunModeGame, EditorFrame, false},
        {"back to game keeps the clock", RunModeEditor, RunModeBackToGame, RunModeGame, RunModeEditor, GameFrame, false},
        {"video", RunModeGame, RunModeVideo, RunModeVideo, RunModeGame, VideoFrame, false},
        {"unknown mode only stores the words", RunModeGame, 7, 7, RunModeGame, CountedFrame, false},
    };
    for (const RunModeCase& c : cases) {
        RunMode.current = c.from;
        RunMode.previous = 9;
        FrameFunction = CountedFrame;
        FrameClock.lastFrameTime = 1.0;
        RenderState.clearColor[0] = 0.5f;
        counter.AdvanceSeconds(1.0);
        SetRunMode(c.to);
        EXPECT_EQ(RunMode.current, c.current) << c.name;
        EXPECT_EQ(RunMode.previous, c.previous) << c.name;
        EXPECT_EQ(FrameFunction, c.frame) << c.name;
        EXPECT_EQ(FrameClock.lastFrameTime != 1.0, c.clockReset) << c.name;
        EXPECT_EQ(RenderState.clearColor[0], c.to == RunModeVideo ? 0.0f : 0.5f) << c.name;
    }
}

int gSwapInterval = -1;
int RecordSwapInterval(int interval) {
    gSwapInterval = interval;
    return 1;
}

TEST_F(FrameTest, EnteringGameModeFromTheStartState) {
    ASSERT_EQ(RunMode.current, 0u);
    FrameFunction = CountedFrame;
    wglSwapIntervalEXT = RecordSwapInterval;
    gSwapInterval = -1;
    std::snprintf(GameSettings.startScene, sizeof GameSettings.startScene, "NoLevel");
    EnterGameMode();
    wglSwapIntervalEXT = nullptr;
    EXPECT_EQ(RunMode.current, RunModeGame);
    EXPECT_EQ(RunMode.previous, 0u);
    EXPECT_EQ(FrameFunction, GameFrame);
    EXPECT_EQ(gSwapInterval, 1);  // vertical sync is on by default
}

// Recording fakes of what the function keys reach.
std::vector<std::string> gCalls;
uint32_t gCtrlAnswer = 0;
uint32_t gEscapeAnswer = 0;

const FunctionKeyTargets kRecordingTargets = {
    [] {
        gCalls.push_back("ctrl");
        return gCtrlAnswer;
    },
    [] {
        gCalls.push_back("escape");
        return gEscapeAnswer;
    },
    [](uint32_t code) { gCalls.push_back(std::to_string(code)); },
    [] { gCalls.push_back("screenshot"); },
};

struct KeyFrame {
    std::vector<int> before;  // game buttons down in the previous table
    std::vector<int> now;     // and in the current one
    bool f11Released = false;
};

void SetKeys(const KeyFrame& keys) {
    for (int i = 0; i < 24; ++i) KeyStates.previousActions[i] = KeyStates.actions[i] = 0;
    for (int b : keys.before) KeyStates.previousActions[b] = 1;
    for (int b : keys.now) KeyStates.actions[b] = 1;
    KeyStates.previousKeys[VK_F11] = keys.f11Released ? 0x80 : 0;
    KeyStates.keys[VK_F11] = 0;
}

struct FunctionKeyCase {
    const char* name;
    KeyFrame keys;
    uint32_t ctrlAnswer;
    uint32_t escapeAnswer;
    bool tickA;  // accumulator A was reset this frame
    std::vector<std::string> calls;
};

TEST_F(FrameTest, FunctionKeys) {
    const FunctionKeyCase cases[] = {
        {"taken Ctrl release suppresses buttons and screenshot",
         {{kButtonCtrl}, {kButtonLeftMouse}, true}, 1, 0, false, {"ctrl"}},
        {"Ctrl release nobody takes lets them through, Escape unchecked",
         {{kButtonCtrl, kButtonEscape}, {kButtonLeftMouse}, true}, 0, 1, false, {"ctrl", "84", "screenshot"}},
        {"taken Escape release suppresses too", {{kButtonEscape}, {kButtonRightMouse}}, 0, 1, false, {"escape"}},
        {"Escape release nobody takes", {{kButtonEscape}, {kButtonRightMouse}}, 0, 0, false, {"escape", "86"}},
        {"press of each button", {{}, {kButtonLeftMouse, kButtonShift, kButtonRightMouse}}, 0, 0, false,
         {"84", "85", "86"}},
        {"held buttons repeat on the tenth-second tick", {{kButtonShift, kButtonRightMouse}, {kButtonShift, kButtonRightMouse}},
         0, 0, true, {"104", "105"}},
        {"held buttons stay quiet between ticks", {{kButtonShift}, {kButtonShift}}, 0, 0, false, {}},
        {"releases", {{kButtonLeftMouse, kButtonRightMouse}, {}}, 0, 0, false, {"122", "124"}},
        {"F11 release takes a screenshot", {{}, {}, true}, 0, 0, false, {"screenshot"}},
    };
    for (const FunctionKeyCase& c : cases) {
        SetKeys(c.keys);
        gCtrlAnswer = c.ctrlAnswer;
        gEscapeAnswer = c.escapeAnswer;
        FrameAccumulators.tickA = c.tickA ? 0.0f : 0.03f;
        gCalls.clear();
        HandleFunctionKeysWith(kRecordingTargets);
        EXPECT_EQ(gCalls, c.calls) << c.name;
    }
}

TEST_F(FrameTest, ConsoleKeyFlipsTheConsoleBeforeCtrlIsLookedAt) {
    CNztWnd_Edit console;
    console.visible = 0;
    CNztWnd_Edit* registered = ConsoleWnd;
    ConsoleWnd = &console;
    // Ctrl+C released together with a Ctrl release that a handler takes.
    SetKeys({{kButtonConsole, kButtonCtrl}, {}});
    gCtrlAnswer = 1;
    gCalls.clear();
    HandleFunctionKeysWith(kRecordingTargets);
    EXPECT_EQ(console.visible, 1u);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"ctrl"}));
    HandleFunctionKeysWith(kRecordingTargets);
    EXPECT_EQ(console.visible, 0u);
    ConsoleWnd = registered;
    gCtrlAnswer = 0;
}

// ---------------------------------------------------------------------------------------------
// Escape and Ctrl+C as a player types them: between two frames the key messages are routed as the
// window procedure routes them, and each frame runs the function keys and then the keyboard read
// of the game tick, in the order of the game frame.

uint8_t gKeyboard[256] = {};
void ReadFakeKeyboard(uint8_t table[256]) { std::memcpy(table, gKeyboard, sizeof gKeyboard); }
int gEscapeEvents = 0;

class KeyFrames : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();  // the console exists from here
        ApplyScreenSize(RenderState, 1024, 768);
        std::memset(gKeyboard, 0, sizeof gKeyboard);
        std::memset(ActionEnabled, 1, sizeof ActionEnabled);
        InputServices.getKeyboardState = ReadFakeKeyboard;
        ClearKeyStates();
        gEscapeEvents = 0;
        Frame();  // no key mark of an earlier test is left
        ASSERT_NE(ConsoleWnd, nullptr);
        ASSERT_EQ(PauseMenuWnd, nullptr);
    }
    void TearDown() override {
        DestroyAllWnds();
        PauseMenuWnd = nullptr;
        ResetInputHooks();
        ClearKeyStates();
        FrameTest::TearDown();
    }
    // The sample game opens the pause menu on the game's Escape event.
    static constexpr FunctionKeyTargets kTargets = {
        [] { return 0u; },
        [] {
            ++gEscapeEvents;
            return OpenPauseMenu();
        },
        [](uint32_t) {},
        [] {},
    };
    static void Frame() {
        HandleFunctionKeysWith(kTargets);
        PollKeyboard();
    }
    static void Route(uint32_t message, uint32_t key) {
        WindowMessageTargets targets = EngineMessageTargets;
        targets.forwardToPlugins = [](uint32_t, uint32_t) {};
        const bool up = message == WM_KEYUP;
        RouteWindowMessage(targets, nullptr, message, key, up ? LParam(KF_REPEAT_BIT | KF_UP_BIT) : 1);
    }
    static void Down(uint32_t key) {
        gKeyboard[key] = 0x80;
        Route(WM_KEYDOWN, key);
    }
    static void Up(uint32_t key) {
        gKeyboard[key] = 0;
        Route(WM_KEYUP, key);
    }
    // Escape let go after `reads` keyboard reads saw it down (0: pressed and let go between two),
    // then frames enough for the release to be seen.
    static void TapEscape(int reads) {
        Down(VK_ESCAPE);
        for (int i = 0; i < reads; ++i) Frame();
        Up(VK_ESCAPE);
        for (int i = 0; i < 3; ++i) Frame();
    }
};

TEST_F(KeyFrames, EveryTapOfEscapeTogglesThePauseMenuOnceHoweverShort) {
    int opened = 0;
    for (int reads : {0, 1, 2, 6}) {
        SCOPED_TRACE(std::to_string(reads) + " keyboard reads with Escape down");
        TapEscape(reads);
        EXPECT_EQ(gEscapeEvents, ++opened);
        gEscapeEvents = opened;
        EXPECT_NE(PauseMenuWnd, nullptr) << "the tap opens the menu";
        if (PauseMenuWnd == nullptr) continue;
        EXPECT_EQ(FocusWnd, PauseMenuWnd);
        TapEscape(reads);
        EXPECT_EQ(PauseMenuWnd, nullptr) << "the next tap closes it, and it stays closed";
        EXPECT_EQ(gEscapeEvents, opened) << "the menu's own Escape is not the game's";
        gEscapeEvents = opened;
        if (PauseMenuWnd != nullptr) OnPauseContinue(nullptr);
    }
}

TEST_F(KeyFrames, AnEscapeTapDuringAVideoIsNotTheGamesAfterIt) {
    Down(VK_ESCAPE);
    Up(VK_ESCAPE);
    VideoFrame();
    for (int i = 0; i < 3; ++i) Frame();
    EXPECT_EQ(gEscapeEvents, 0);
    EXPECT_EQ(PauseMenuWnd, nullptr);
}

TEST_F(KeyFrames, EscapeTypedIntoTheConsoleIsStillTheGames) {
    // Ctrl+C shows the console and gives it the focus, whatever had the focus before.
    Down(VK_CONTROL);
    Frame();
    Down('C');
    Frame();
    Up('C');
    Up(VK_CONTROL);
    Frame();
    Frame();
    ASSERT_EQ(ConsoleWnd->visible, 1u);
    ASSERT_EQ(FocusWnd, ConsoleWnd);
    // The console clears the game's key tables on every key it gets, but keeps Escape: it does
    // nothing with it, so the game's Escape event is raised as always.
    TapEscape(1);
    ASSERT_NE(PauseMenuWnd, nullptr);
    EXPECT_EQ(gEscapeEvents, 1);
    TapEscape(1);
    EXPECT_EQ(PauseMenuWnd, nullptr);
    EXPECT_EQ(gEscapeEvents, 1);
}

TEST_F(KeyFrames, CtrlCHidesTheConsoleThatHasTheFocus) {
    for (uint32_t shown : {1u, 0u, 1u, 0u}) {
        SCOPED_TRACE(shown);
        Down(VK_CONTROL);
        Frame();
        Down('C');
        Frame();
        Frame();
        Up('C');
        Frame();
        Up(VK_CONTROL);
        Frame();
        Frame();
        EXPECT_EQ(ConsoleWnd->visible, shown);
        if (shown != 0) EXPECT_EQ(FocusWnd, ConsoleWnd);
    }
}

}  // namespace

namespace {
int FadeRuns = 0;
int LevelRuns = 0;
}  // namespace

// The editor frame runs the deferred calls but holds the delayed actions where they are: a delay
// counts down only in the game frame.
TEST_F(FrameTest, TheEditorFrameRunsDeferredCallsAndHoldsDelaysStill) {
    ResetEventActions();
    FadeRuns = LevelRuns = 0;
    RegisterEventAction(ActionFadeMusic, [](EventRecord*) { ++FadeRuns; });    // runs at once
    RegisterEventAction(ActionStartLevel, [](EventRecord*) { ++LevelRuns; });  // deferred
    NztEventObject owner;
    EventRecord later = BlankEventRecord();
    later.Event = 1;
    later.Action = ActionFadeMusic;
    later.Delay = 0.05f;
    later.CondIndex = -1;
    EventRecord deferred = later;
    deferred.Action = ActionStartLevel;
    deferred.Delay = 0.0f;
    owner.AddEventRecord(&later);
    owner.AddEventRecord(&deferred);
    owner.SendEvent(1, 0, 0, 0);
    ASSERT_EQ(DelayedActionCount(), 1);

    counter.AdvanceSeconds(1.0);
    EditorFrame();
    EXPECT_EQ(LevelRuns, 1) << "the deferred call ran";
    EXPECT_EQ(FadeRuns, 0) << "the delay stood still";
    EXPECT_EQ(DelayedActionCount(), 1);
    counter.AdvanceSeconds(1.0);
    GameFrame();
    EXPECT_EQ(FadeRuns, 1) << "the game frame counted the delay down";
    EXPECT_EQ(DelayedActionCount(), 0);
    ClearDelayedActions();
    ResetDeferredActions();
    ResetEventActions();
}
