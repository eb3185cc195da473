#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/input.h"
#include "game/entry.h"
#include "game/frame.h"
#include "ui/wnd.h"

namespace {

std::vector<std::string> gCalls;

std::string At(int32_t x, int32_t y) { return std::to_string(x) + "," + std::to_string(y); }

// Button handlers record their name, the flags and the position.
constexpr char kLeftDown[] = "ldown", kLeftDouble[] = "ldouble", kLeftUp[] = "lup", kRightDown[] = "rdown",
               kRightUp[] = "rup", kMiddleDown[] = "mdown", kMiddleUp[] = "mup";
template <const char* Name>
int32_t RecordPress(uint32_t flags, int32_t x, int32_t y) {
    gCalls.push_back(std::string(Name) + " " + std::to_string(flags) + " " + At(x, y));
    return 0;
}
template <const char* Name>
uint32_t RecordDispatch(int32_t x, int32_t y, uint32_t flags) {
    gCalls.push_back(std::string(Name) + " " + At(x, y) + " " + std::to_string(flags));
    return 0;
}

// Every target records its call; the move dispatcher answers what the case says.
uint32_t gMoveTaken = 0;
const WindowMessageTargets kRecordingTargets = {
    [](uint32_t message, uint32_t key) { gCalls.push_back("plugins " + std::to_string(message) + " " + std::to_string(key)); },
    [](CNztWnd*, uint32_t key) { gCalls.push_back("keydown " + std::to_string(key)); },
    [](CNztWnd*, uint32_t key) { gCalls.push_back("keyup " + std::to_string(key)); },
    [](CNztWnd*, uint32_t c) { gCalls.push_back("char " + std::to_string(c)); },
    [](int32_t x, int32_t y, uint32_t flags) {
        gCalls.push_back("move " + At(x, y) + " " + std::to_string(flags));
        return gMoveTaken;
    },
    [](int32_t x, int32_t y) { gCalls.push_back("hover " + At(x, y)); },
    RecordPress<kLeftDown>,
    RecordPress<kLeftDouble>,
    RecordDispatch<kLeftUp>,
    RecordDispatch<kRightDown>,
    RecordDispatch<kRightUp>,
    RecordDispatch<kMiddleDown>,
    RecordDispatch<kMiddleUp>,
    [](int32_t x, int32_t y, int32_t delta) { gCalls.push_back("wheel " + At(x, y) + " " + std::to_string(delta)); },
    [](int32_t w, int32_t h) { gCalls.push_back("resize " + std::to_string(w) + "x" + std::to_string(h)); },
    [] { gCalls.push_back("store rect"); },
    [](WindowHandle) { gCalls.push_back("swap"); },
    [](int32_t code) { gCalls.push_back("post quit " + std::to_string(code)); },
};

enum class Focus { None, IgnoresKeys, TakesKeys };

struct MessageCase {
    const char* name;
    uint32_t message;
    WParam wParam;
    LParam lParam;
    bool glReady;
    Focus focus;
    uint32_t moveTaken;
    LResult result;
    uint32_t running;  // the running flag afterwards
    std::vector<std::string> calls;
};

TEST(EntryWindowProc, MessageTable) {
    const LParam at34 = MakeLParam(3, 4);
    const WParam wheelBack = (static_cast<WParam>(static_cast<uint16_t>(-120)) << 16) | MK_SHIFT;
    const MessageCase cases[] = {
        {"close answers 0 and does not destroy", WM_CLOSE, 0, 0, true, Focus::None, 0, 0, 0, {}},
        {"destroy posts the quit", WM_DESTROY, 0, 0, true, Focus::None, 0, 0, 0, {"post quit 0"}},
        {"quit ends the loop", WM_QUIT, 0, 0, true, Focus::None, 0, 0, 0, {}},
        {"move before GL is ready", WM_MOVE, 0, at34, false, Focus::None, 0, 0, 1, {}},
        {"move", WM_MOVE, 0, at34, true, Focus::None, 0, 0, 1, {"store rect"}},
        {"size before GL is ready", WM_SIZE, 0, MakeLParam(640, 480), false, Focus::None, 0, 0, 1, {}},
        {"size", WM_SIZE, 0, MakeLParam(640, 480), true, Focus::None, 0, 0, 1, {"resize 640x480"}},
        {"minimised size", WM_SIZE, SIZE_MINIMIZED, 0, true, Focus::None, 0, 0, 1, {}},
        {"paint before GL is ready", WM_PAINT, 0, 0, false, Focus::None, 0, 0, 1, {}},
        {"paint", WM_PAINT, 0, 0, true, Focus::None, 0, 0, 1, {"swap"}},
        {"key without focus window", WM_KEYDOWN, 'A', 1, true, Focus::None, 0, 0, 1, {"plugins 256 65"}},
        {"system key reaches plug-ins as a key", WM_SYSKEYDOWN, 'A', 1, true, Focus::TakesKeys, 0, 0, 1,
         {"plugins 256 65", "keydown 65"}},
        {"focus window that ignores keys", WM_KEYUP, 'A', 1, true, Focus::IgnoresKeys, 0, 0, 1, {"plugins 257 65"}},
        {"key release", WM_SYSKEYUP, 'A', 1, true, Focus::TakesKeys, 0, 0, 1, {"plugins 257 65", "keyup 65"}},
        {"character", WM_CHAR, 0xE9, 1, true, Focus::TakesKeys, 0, 0, 1, {"char 233"}},
        {"character nobody takes", WM_SYSCHAR, 'a', 1, true, Focus::IgnoresKeys, 0, 0, 1, {}},
        {"move taken by a window", WM_MOUSEMOVE, MK_LBUTTON, at34, true, Focus::None, 1, 0, 1, {"move 3,4 1"}},
        {"move over the world", WM_MOUSEMOVE, 0, at34, true, Focus::None, 0, 0, 1, {"move 3,4 0", "hover 3,4"}},
        {"left press", WM_LBUTTONDOWN, MK_LBUTTON, at34, true, Focus::None, 0, 0, 1, {"ldown 1 3,4"}},
        {"double click", WM_LBUTTONDBLCLK, MK_LBUTTON, at34, true, Focus::None, 0, 0, 1, {"ldouble 1 3,4"}},
        {"left release", WM_LBUTTONUP, 0, at34, true, Focus::None, 0, 0, 1, {"lup 3,4 0"}},
        {"right press", WM_RBUTTONDOWN, MK_RBUTTON, at34, true, Focus::None, 0, 0, 1, {"rdown 3,4 2"}},
        {"right release", WM_RBUTTONUP, 0, at34, true, Focus::None, 0, 0, 1, {"rup 3,4 0"}},
        {"middle press", WM_MBUTTONDOWN, MK_MBUTTON, at34, true, Focus::None, 0, 0, 1, {"mdown 3,4 16"}},
        {"middle release", WM_MBUTTONUP, 0, at34, true, Focus::None, 0, 0, 1, {"mup 3,4 0"}},
        {"wheel back with client position", WM_MOUSEWHEEL, wheelBack, at34, true, Focus::None, 0, 0, 1,
         {"wheel 3,4 -120"}},
        {"suspension is refused", WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0, true, Focus::None, 0,
         BROADCAST_QUERY_DENY, 1, {}},
        {"other power news", WM_POWERBROADCAST, 0x12, 0, true, Focus::None, 0, 0, 1, {}},
    };
    CNztWnd ignoring;
    CNztWnd taking;
    taking.takesKeys = 1;
    for (const MessageCase& c : cases) {
        RunningFlag = 1;
        GlReady = c.glReady ? 1 : 0;
        FocusWnd = c.focus == Focus::None ? nullptr : c.focus == Focus::TakesKeys ? &taking : &ignoring;
        gMoveTaken = c.moveTaken;
        gCalls.clear();
        const LResult result = RouteWindowMessage(kRecordingTargets, nullptr, c.message, c.wParam, c.lParam);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(RunningFlag, c.running) << c.name;
        EXPECT_EQ(gCalls, c.calls) << c.name;
    }
    FocusWnd = nullptr;
    GlReady = 0;
    RunningFlag = 1;
}

TEST(EntryWindowProc, MouseMessagesKeepButtonWordsAndPosition) {
    RouteWindowMessage(kRecordingTargets, nullptr, WM_MOUSEMOVE, MK_RBUTTON, MakeLParam(10, -2));
    EXPECT_EQ(PointerPosition.x, 10);
    EXPECT_EQ(PointerPosition.y, -2);  // a captured drag above the window
    // Only moves keep the position.
    RouteWindowMessage(kRecordingTargets, nullptr, WM_RBUTTONDOWN, MK_RBUTTON, MakeLParam(20, 30));
    RouteWindowMessage(kRecordingTargets, nullptr, WM_MOUSEWHEEL, 0, MakeLParam(40, 50));
    EXPECT_EQ(PointerPosition.x, 10);
    EXPECT_EQ(PointerPosition.y, -2);
    EXPECT_EQ(RightButtonDown, 1u);
    EXPECT_EQ(RightButtonHeld, 1);
    RouteWindowMessage(kRecordingTargets, nullptr, WM_RBUTTONUP, 0, MakeLParam(11, 12));
    EXPECT_EQ(RightButtonDown, 0u);
    EXPECT_EQ(RightButtonHeld, 0);
    RouteWindowMessage(kRecordingTargets, nullptr, WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(1, 1));
    EXPECT_EQ(LeftButtonDown, 1u);
    RouteWindowMessage(kRecordingTargets, nullptr, WM_LBUTTONUP, 0, MakeLParam(1, 1));
    EXPECT_EQ(LeftButtonDown, 0u);
}

TEST(EntryWindowProc, FocusPointsTheCursorClipAtTheWindowRectangle) {
    RouteWindowMessage(kRecordingTargets, nullptr, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(CursorClipRect, &WindowRect);
    RouteWindowMessage(kRecordingTargets, nullptr, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(CursorClipRect, nullptr);
}

// The main function's steps as recording fakes, with a scripted message queue.
std::deque<WindowMessage> gScript;
bool gPlatformStarts = true;
bool gWindowOpens = true;
int gFrames = 0;

void ScriptedFrame() {
    gCalls.push_back("frame");
    if (++gFrames == 1) {
        // A quit, then a message that arrives after it in the same drain.
        gScript.push_back(WindowMessage{nullptr, WM_QUIT, 5, 0});
        gScript.push_back(WindowMessage{nullptr, WM_MOUSEMOVE, MK_LBUTTON, 0});
    }
}

const ProgramSteps kRecordingSteps = {
    [] {
        gCalls.push_back("defaults");
        RunningFlag = 1;
    },
    [] {
        gCalls.push_back("start platform");
        return gPlatformStarts;
    },
    [] { gCalls.push_back("user folder"); },
    [] { gCalls.push_back("screen saver off"); },
    [] {
        gCalls.push_back("create window");
        return gWindowOpens ? reinterpret_cast<WindowHandle>(0x1000) : nullptr;
    },
    [] {
        gCalls.push_back("init application");
        return 1u;
    },
    [] {
        gCalls.push_back("game mode");
        FrameFunction = ScriptedFrame;
    },
    [](WindowMessage* message) {
        if (gScript.empty()) return false;
        *message = gScript.front();
        gScript.pop_front();
        return true;
    },
    [](const WindowMessage& message) {
        gCalls.push_back("dispatch " + std::to_string(message.message));
        return RouteWindowMessage(kRecordingTargets, message.window, message.message, message.wParam, message.lParam);
    },
    [] { gCalls.push_back("save config"); },
    [] {
        gCalls.push_back("shutdown");
        return 1u;
    },
    [] { gCalls.push_back("restore display"); },
    [] { gCalls.push_back("restore screen saver"); },
    [] { gCalls.push_back("stop platform"); },
    nullptr,
};

class EntryProgram : public testing::Test {
protected:
    void SetUp() override {
        gCalls.clear();
        gScript.clear();
        gPlatformStarts = true;
        gWindowOpens = true;
        gFrames = 0;
        GlReady = 0;
    }
    void TearDown() override {
        FrameFunction = GameFrame;
        MainWindow = nullptr;
        RunningFlag = 1;
    }
};

TEST_F(EntryProgram, StartUpLoopAndShutdownInOrder) {
    UserConfig.fullScreen = 1;
    gScript.push_back(WindowMessage{nullptr, WM_PAINT, 0, 0});
    const int exitCode = RunProgram(kRecordingSteps);
    EXPECT_EQ(exitCode, 5);  // the quit's code, not the wParam of the move after it
    const std::vector<std::string> expected = {
        "defaults", "start platform", "user folder", "screen saver off", "create window", "init application",
        "game mode", "dispatch 15", "frame", "dispatch 18", "dispatch 512", "move 0,0 1", "hover 0,0", "frame",
        "save config", "shutdown",
        "restore display", "restore screen saver", "stop platform",
    };
    EXPECT_EQ(gCalls, expected);
}

TEST_F(EntryProgram, WindowedRunLeavesTheDisplayModeAlone) {
    UserConfig.fullScreen = 0;
    gScript.push_back(WindowMessage{nullptr, WM_CLOSE, 0, 0});
    EXPECT_EQ(RunProgram(kRecordingSteps), 0);
    const std::vector<std::string> expected = {
        "defaults", "start platform", "user folder", "screen saver off", "create window", "init application",
        "game mode", "dispatch 16", "save config", "shutdown", "restore screen saver", "stop platform",
    };
    EXPECT_EQ(gCalls, expected);
}

TEST_F(EntryProgram, NoWindowMeansNoStartUpButTheScreenSaverComesBack) {
    gWindowOpens = false;
    EXPECT_EQ(RunProgram(kRecordingSteps), 1);
    const std::vector<std::string> expected = {
        "defaults", "start platform", "user folder", "screen saver off", "create window", "restore screen saver",
        "stop platform",
    };
    EXPECT_EQ(gCalls, expected);
}

TEST_F(EntryProgram, NoDisplayStopsAtOnce) {
    gPlatformStarts = false;
    EXPECT_EQ(RunProgram(kRecordingSteps), 1);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"defaults", "start platform"}));
}

TEST(EntryMainWindow, FullScreenThatCannotBeSetRunsWindowedAndIsSavedWindowed) {
    // No display mode can be set here (the video system is not started), so every full-screen
    // word ends as a windowed start.
    for (uint32_t word : {1u, 7u}) {
        UserConfig.fullScreen = word;
        CreateMainWindow();
        EXPECT_EQ(UserConfig.fullScreen, 0u) << word;
    }
}

TEST(EntryMainWindow, AWindowLargerThanTheDisplayIsFittedToIt) {
    struct Case { int32_t w, h, displayW, displayH, wantW, wantH; };
    const Case cases[] = {
        {5000, 4000, 1280, 1024, 1280, 1024},  // both too large
        {640, 480, 1280, 1024, 640, 480},      // fits: unchanged
        {2000, 600, 1280, 1024, 1280, 600},    // one side only
        {5000, 4000, 0, 0, 5000, 4000},        // display size unknown
    };
    for (const Case& c : cases) {
        int32_t w = c.w, h = c.h;
        FitWindowToDisplay(w, h, c.displayW, c.displayH);
        EXPECT_EQ(w, c.wantW) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.wantH) << c.w << "x" << c.h;
    }
}

}  // namespace
