#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/window.h"
#include "support/display.h"

namespace {

constexpr uint32_t kWindowId = 7;

SDL_Event WindowEvent(uint8_t kind, int32_t a = 0, int32_t b = 0, uint32_t id = kWindowId) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = id;
    e.window.event = kind;
    e.window.data1 = a;
    e.window.data2 = b;
    return e;
}

SDL_Event KeyEvent(uint32_t type, SDL_Keycode key, SDL_Scancode scancode, uint16_t mod = 0, uint8_t repeat = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.windowID = kWindowId;
    e.key.keysym.sym = key;
    e.key.keysym.scancode = scancode;
    e.key.keysym.mod = mod;
    e.key.repeat = repeat;
    return e;
}

SDL_Event TextEvent(const char* text) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = kWindowId;
    std::strncpy(e.text.text, text, sizeof e.text.text - 1);
    return e;
}

SDL_Event ButtonEvent(uint32_t type, uint8_t button, uint8_t clicks, int32_t x, int32_t y) {
    SDL_Event e{};
    e.type = type;
    e.button.windowID = kWindowId;
    e.button.button = button;
    e.button.clicks = clicks;
    e.button.x = x;
    e.button.y = y;
    return e;
}

SDL_Event MotionEvent(uint32_t state, int32_t x, int32_t y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = kWindowId;
    e.motion.state = state;
    e.motion.x = x;
    e.motion.y = y;
    return e;
}

SDL_Event WheelEvent(int32_t y, uint32_t direction, int32_t mouseX, int32_t mouseY) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = kWindowId;
    e.wheel.y = y;
    e.wheel.direction = direction;
    e.wheel.mouseX = mouseX;
    e.wheel.mouseY = mouseY;
    return e;
}

struct Expected {
    uint32_t message;
    WParam wParam;
    LParam lParam;
};

struct TranslationCase {
    const char* name;
    std::vector<SDL_Event> events;
    std::vector<Expected> messages;  // of the last event only
    bool fullScreen = false;
};

TEST(WindowTranslation, EventsBecomeMessages) {
    const WParam wheelUp = static_cast<WParam>(static_cast<uint16_t>(120)) << 16;
    const WParam wheelDown = static_cast<WParam>(static_cast<uint16_t>(-240)) << 16;
    const TranslationCase cases[] = {
        {"quit request (SIGTERM)", {[] { SDL_Event e{}; e.type = SDL_QUIT; return e; }()}, {{WM_QUIT, 0, 0}}},
        {"close button", {WindowEvent(SDL_WINDOWEVENT_CLOSE)}, {{WM_CLOSE, 0, 0}}},
        {"move", {WindowEvent(SDL_WINDOWEVENT_MOVED, 10, 20)}, {{WM_MOVE, 0, MakeLParam(10, 20)}}},
        {"resize", {WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 640, 480)}, {{WM_SIZE, SIZE_RESTORED, MakeLParam(640, 480)}}},
        {"minimise reports size 0", {WindowEvent(SDL_WINDOWEVENT_MINIMIZED)}, {{WM_SIZE, SIZE_MINIMIZED, 0}}},
        {"restore reports the last size",
         {WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 300, 200), WindowEvent(SDL_WINDOWEVENT_MINIMIZED),
          WindowEvent(SDL_WINDOWEVENT_RESTORED)},
         {{WM_SIZE, SIZE_RESTORED, MakeLParam(300, 200)}}},
        {"focus gained", {WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)}, {{WM_SETFOCUS, 0, 0}}},
        {"focus lost", {WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST)}, {{WM_KILLFOCUS, 0, 0}}},
        {"exposed", {WindowEvent(SDL_WINDOWEVENT_EXPOSED)}, {{WM_PAINT, 0, 0}}},
        {"another window's event", {WindowEvent(SDL_WINDOWEVENT_CLOSE, 0, 0, kWindowId + 1)}, {}},
        {"letter key", {KeyEvent(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A)}, {{WM_KEYDOWN, 'A', 1}}},
        {"auto-repeat", {KeyEvent(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A, 0, 1)}, {{WM_KEYDOWN, 'A', 1 | KF_REPEAT_BIT}}},
        {"key release", {KeyEvent(SDL_KEYUP, SDLK_a, SDL_SCANCODE_A)},
         {{WM_KEYUP, 'A', static_cast<LParam>(1u | KF_REPEAT_BIT | KF_UP_BIT)}}},
        {"Return types 13", {KeyEvent(SDL_KEYDOWN, SDLK_RETURN, SDL_SCANCODE_RETURN)},
         {{WM_KEYDOWN, VK_RETURN, 1}, {WM_CHAR, 13, 1}}},
        {"Backspace types 8", {KeyEvent(SDL_KEYDOWN, SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE)},
         {{WM_KEYDOWN, VK_BACK, 1}, {WM_CHAR, 8, 1}}},
        {"Escape types 27", {KeyEvent(SDL_KEYDOWN, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE)},
         {{WM_KEYDOWN, VK_ESCAPE, 1}, {WM_CHAR, 27, 1}}},
        {"Alt+F4 is a system key", {KeyEvent(SDL_KEYDOWN, SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT)},
         {{WM_SYSKEYDOWN, VK_F1 + 3, 1 | KF_ALTDOWN_BIT}}},
        {"key without a virtual key", {KeyEvent(SDL_KEYDOWN, SDLK_MUTE, SDL_SCANCODE_MUTE)}, {}},
        {"typed text", {TextEvent("\xC3\xA9\xE2\x82\xAC")}, {{WM_CHAR, 0xE9, 1}, {WM_CHAR, 0x80, 1}}},
        {"move with the left button held", {MotionEvent(SDL_BUTTON_LMASK, 5, 6)},
         {{WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(5, 6)}}},
        {"left press", {ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 1, 3, 4)},
         {{WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(3, 4)}}},
        {"windowed double click stays a press", {ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 2, 3, 4)},
         {{WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(3, 4)}}},
        {"full-screen double click", {ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 2, 3, 4)},
         {{WM_LBUTTONDBLCLK, MK_LBUTTON, MakeLParam(3, 4)}}, true},
        {"third click starts again", {ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 3, 3, 4)},
         {{WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(3, 4)}}, true},
        {"release clears its flag",
         {ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 1, 0, 0), ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 1, 0, 0),
          ButtonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 1, 8, 9)},
         {{WM_LBUTTONUP, MK_RBUTTON, MakeLParam(8, 9)}}},
        {"Shift from the last key rides on the buttons",
         {KeyEvent(SDL_KEYDOWN, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT),
          ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 1, 1, 2)},
         {{WM_MBUTTONDOWN, MK_MBUTTON | MK_SHIFT, MakeLParam(1, 2)}}},
        {"side button shows only in the flags", {ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X1, 1, 0, 0)}, {}},
        {"wheel forward, client position", {WheelEvent(1, SDL_MOUSEWHEEL_NORMAL, 30, 40)},
         {{WM_MOUSEWHEEL, wheelUp, MakeLParam(30, 40)}}},
        {"flipped wheel, two notches", {WheelEvent(-2, SDL_MOUSEWHEEL_FLIPPED, 30, 40)},
         {{WM_MOUSEWHEEL, wheelUp * 2, MakeLParam(30, 40)}}},
        {"wheel back", {WheelEvent(-2, SDL_MOUSEWHEEL_NORMAL, 0, 0)}, {{WM_MOUSEWHEEL, wheelDown, 0}}},
        {"sideways scrolling", {WheelEvent(0, SDL_MOUSEWHEEL_NORMAL, 0, 0)}, {}},
    };
    WindowHandle window = reinterpret_cast<WindowHandle>(0x1000);
    for (const TranslationCase& c : cases) {
        EventTranslator translator;
        translator.window = window;
        translator.windowId = kWindowId;
        translator.doubleClicks = c.fullScreen;
        std::vector<WindowMessage> out;
        for (const SDL_Event& e : c.events) {
            out.clear();
            translator.Translate(e, out);
        }
        ASSERT_EQ(out.size(), c.messages.size()) << c.name;
        for (size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].window, window) << c.name;
            EXPECT_EQ(out[i].message, c.messages[i].message) << c.name << " #" << i;
            EXPECT_EQ(out[i].wParam, c.messages[i].wParam) << c.name << " #" << i;
            EXPECT_EQ(out[i].lParam, c.messages[i].lParam) << c.name << " #" << i;
        }
    }
}

TEST(WindowTranslation, NegativePositionsReadBackSigned) {
    // A drag that leaves the window to the left or above reports negative client coordinates.
    EXPECT_EQ(LowWord(MakeLParam(-5, 7)), -5);
    EXPECT_EQ(HighWord(MakeLParam(-5, -7)), -7);
    EXPECT_EQ(LowWordUnsigned(MakeLParam(65535, 0)), 65535u);
}

TEST(WindowQueue, PostedQuitCarriesTheExitCode) {
    ClearWindowMessages();
    PostQuitMessage(3);
    WindowMessage message;
    ASSERT_TRUE(PeekWindowMessage(&message));
    EXPECT_EQ(message.message, WM_QUIT);
    EXPECT_EQ(message.wParam, 3u);
    EXPECT_FALSE(PeekWindowMessage(&message));
}

TEST(WindowMessageBox, HeadlessRunsOnlyWriteTheLine) {
    setenv("QUORVANE_NO_MESSAGE_BOX", "1", 1);
    testing::internal::CaptureStderr();
    ShowMessageBox(nullptr, "Cannot Initialize OpenGL\nYou have to install OpenGL Drivers", "Information Message");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "message box: Information Message: Cannot Initialize OpenGL You have to install OpenGL Drivers\n");
}

// The tests below open windows on the display (Xvfb in the test run).
class GlWindow : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenOnceTheDisplayTakesUs(InitPlatform));
        ClearWindowMessages();
    }
    void TearDown() override { ShutdownPlatform(); }

    static LResult Record(WindowHandle, uint32_t message, WParam wParam, LParam) {
        received.push_back({message, wParam});
        return 0;
    }
    static inline std::vector<std::pair<uint32_t, WParam>> received;

    // Pumps the queue until the procedure saw the message or a second has passed.
    bool Await(uint32_t message) {
        const uint32_t deadline = SDL_GetTicks() + 1000;
        while (SDL_GetTicks() < deadline) {
            WindowMessage m;
            while (PeekWindowMessage(&m)) DispatchWindowMessage(m);
            for (const auto& r : received) {
                if (r.first == message) return true;
            }
            SDL_Delay(5);
        }
        return false;
    }
};

TEST_F(GlWindow, WindowedMainWindowHasTheConfiguredClientSize) {
    received.clear();
    WindowHandle window = CreatePlatformWindow("test", 320, 240, false, Record);
    ASSERT_NE(window, nullptr);
    ScreenRect rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.right - rect.left, 320);
    EXPECT_EQ(rect.bottom - rect.top, 240);
}

TEST_F(GlWindow, QuitEventReachesTheProcedure) {
    received.clear();
    ASSERT_NE(CreatePlatformWindow("test", 160, 120, false, Record), nullptr);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    EXPECT_TRUE(Await(WM_QUIT));
}

TEST_F(GlWindow, FullScreenTakesTheChosenMode) {
    ASSERT_GT(CountDisplayModes(), 0);
    DisplayModeInfo mode;
    ASSERT_TRUE(GetDisplayMode(0, &mode));
    EXPECT_EQ(mode.bitsPerPixel, 32);
    EXPECT_EQ(mode.orientation, 0);
    ASSERT_TRUE(ChangeDisplayMode(0));
    EXPECT_FALSE(ChangeDisplayMode(CountDisplayModes()));
    WindowHandle window = CreatePlatformWindow("test", mode.width, mode.height, true, Record);
    ASSERT_NE(window, nullptr);
    ScreenRect rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.right - rect.left, mode.width);
    EXPECT_EQ(rect.bottom - rect.top, mode.height);
    RestoreDisplayMode();
}

TEST_F(GlWindow, ScreenSaverIsSwitchedOffAndBack) {
    EnableScreenSaver(false);
    EXPECT_FALSE(IsScreenSaverEnabled());
    EnableScreenSaver(true);
    EXPECT_TRUE(IsScreenSaverEnabled());
}

}  // namespace

// Real input through the X server (xdotool uses XTEST): the key arrives as a key-down message with
// its virtual key, and the key-state table that input polls shows it held until it is released.
class GlRealInput : public GlWindow {};

TEST_F(GlRealInput, KeyPressReachesMessagesAndTheKeyTable) {
    received.clear();
    WindowHandle window = CreatePlatformWindow("keys", 320, 240, false, Record);
    ASSERT_NE(window, nullptr);
    // Without a window manager the focus follows the pointer: put it over the window first.
    ASSERT_EQ(std::system("xdotool mousemove 40 40 && xdotool keydown a"), 0);
    ASSERT_TRUE(Await(WM_KEYDOWN));
    bool sawA = false;
    for (const auto& r : received) sawA |= r.first == WM_KEYDOWN && r.second == 'A';
    EXPECT_TRUE(sawA);
    uint8_t keys[256];
    PlatformGetKeyboardState(keys);
    EXPECT_EQ(keys[static_cast<uint8_t>('A')] & 0x80, 0x80);
    ASSERT_EQ(std::system("xdotool keyup a"), 0);
    ASSERT_TRUE(Await(WM_KEYUP));
    PlatformGetKeyboardState(keys);
    EXPECT_EQ(keys[static_cast<uint8_t>('A')] & 0x80, 0);
}

// While a button is held the window has the pointer grabbed; the cursor position still follows
// every move (the camera turns the view by it during a right-button drag).
TEST_F(GlRealInput, TheCursorPositionFollowsADragWithAButtonHeld) {
    received.clear();
    WindowHandle window = CreatePlatformWindow("drag", 320, 240, false, Record);
    ASSERT_NE(window, nullptr);
    // The press must find the window on the screen.
    ASSERT_EQ(std::system("xdotool search --sync --onlyvisible --name '^drag$' > /dev/null"), 0);
    ASSERT_EQ(std::system("xdotool mousemove 40 40"), 0);
    Await(WM_MOUSEMOVE);
    ASSERT_EQ(std::system("xdotool mousedown 3"), 0);
    const bool pressed = Await(WM_RBUTTONDOWN);
    // Read once with the button down, as the camera reads it every frame.
    int32_t x = 0, y = 0;
    EXPECT_TRUE(GetCursorScreenPos(&x, &y));
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 40);
    ASSERT_EQ(std::system("xdotool mousemove 140 90"), 0);
    const uint32_t deadline = SDL_GetTicks() + 2000;
    while (SDL_GetTicks() < deadline) {
        WindowMessage m;
        while (PeekWindowMessage(&m)) DispatchWindowMessage(m);
        if (GetCursorScreenPos(&x, &y) && x == 140 && y == 90) break;
        SDL_Delay(5);
    }
    ASSERT_EQ(std::system("xdotool mouseup 3"), 0);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(x, 140);
    EXPECT_EQ(y, 90);
    EXPECT_TRUE(Await(WM_RBUTTONUP));
}
