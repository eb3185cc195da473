#include "platform/window.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "platform/dynlib.h"
#include "platform/joystick.h"
#include "platform/keymap.h"
WindowHandle MainWindow = nullptr;

namespace {

struct WindowRecord {
    WindowHandle window = nullptr;
    WindowProc procedure = nullptr;
    EventTranslator translator;
    bool fullScreen = false;
};

std::vector<WindowRecord> gWindows;
std::deque<WindowMessage> gQueue;
EventTranslator gLooseTranslator;  // events that arrive while no window exists
bool gHaveChosenMode = false;
SDL_DisplayMode gChosenMode{};

bool VideoRunning() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

// The pointer asked of the X server itself. SDL's global mouse state is refreshed from raw input
// events, which the server holds back while a window has the pointer grabbed (SDL grabs it while a
// button is down): a drag would read as no movement at all and then one jump at the release.
struct X11PointerQuery {
    using QueryPointer = int (*)(Display*, Window, Window*, Window*, int*, int*, int*, int*, unsigned int*);
    using DefaultRoot = Window (*)(Display*);
    bool loaded = false;
    DynLibHandle library = nullptr;
    QueryPointer queryPointer = nullptr;
    DefaultRoot defaultRoot = nullptr;
};
X11PointerQuery gX11Pointer;

bool QueryX11Pointer(int32_t* x, int32_t* y) {
    if (gWindows.empty()) return false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(gWindows.front().window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11 ||
        info.info.x11.display == nullptr) {
        return false;
    }
    X11PointerQuery& q = gX11Pointer;
    if (!q.loaded) {
        q.loaded = true;
        // SDL has the library loaded already; this only takes another reference to it.
        q.library = OpenDynLib("libX11.so.6");
        q.queryPointer =
            reinterpret_cast<X11PointerQuery::QueryPointer>(GetDynLibSymbol(q.library, "XQueryPointer"));
        q.defaultRoot =
            reinterpret_cast<X11PointerQuery::DefaultRoot>(GetDynLibSymbol(q.library, "XDefaultRootWindow"));
    }
    if (q.queryPointer == nullptr || q.defaultRoot == nullptr) return false;
    Display* display = info.info.x11.display;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned int mask = 0;
    if (q.queryPointer(display, q.defaultRoot(display), &root, &child, &rootX, &rootY, &windowX, &windowY,
                       &mask) == 0) {
        return false;  // the pointer is on another screen
    }
    *x = rootX;
    *y = rootY;
    return true;
}

WindowRecord* FindRecord(WindowHandle window) {
    for (auto& record : gWindows) {
        if (record.window == window) return &record;
    }
    return nullptr;
}

int32_t BitsPerPixel(const SDL_DisplayMode& mode) {
    // SDL counts the 8 unused bits of a 32-bit pixel out (24); the engine's modes count them in.
    return static_cast<int32_t>(SDL_BYTESPERPIXEL(mode.format)) * 8;
}

uint32_t ButtonBit(uint8_t button) {
    switch (button) {
        case SDL_BUTTON_LEFT: return MK_LBUTTON;
        case SDL_BUTTON_RIGHT: return MK_RBUTTON;
        case SDL_BUTTON_MIDDLE: return MK_MBUTTON;
        case SDL_BUTTON_X1: return MK_XBUTTON1;
        case SDL_BUTTON_X2: return MK_XBUTTON2;
        default: return 0;
    }
}

uint32_t ButtonsFromMask(uint32_t state) {
    uint32_t buttons = 0;
    if (state & SDL_BUTTON_LMASK) buttons |= MK_LBUTTON;
    if (state & SDL_BUTTON_RMASK) buttons |= MK_RBUTTON;
    if (state & SDL_BUTTON_MMASK) buttons |= MK_MBUTTON;
    if (state & SDL_BUTTON_X1MASK) buttons |= MK_XBUTTON1;
    if (state & SDL_BUTTON_X2MASK) buttons |= MK_XBUTTON2;
    return buttons;
}

void PumpSdlEvents() {
    if (!VideoRunning()) return;
    std::vector<WindowMessage> messages;
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        // One main window: every event goes through its translator; a quit, which belongs to no
        // window, is addressed to it so that its procedure ends the loop.
        // Pads plugged in or pulled out are opened or closed here; they make no message.
        if (JoystickHandleEvent(event)) continue;
        EventTranslator& translator = gWindows.empty() ? gLooseTranslator : gWindows.front().translator;
        translator.Translate(event, messages);
    }
    gQueue.insert(gQueue.end(), messages.begin(), messages.end());
}

}  // namespace

void EventTranslator::Translate(const SDL_Event& event, std::vector<WindowMessage>& out) {
    auto push = [&](uint32_t message, WParam wParam, LParam lParam) {
        out.push_back(WindowMessage{window, message, wParam, lParam});
    };
    // Pushed and synthetic events may carry no window id; they belong to the main window.
    auto foreign = [&](uint32_t id) { return windowId != 0 && id != 0 && id != windowId; };
    switch (event.type) {
        case SDL_QUIT:
            push(WM_QUIT, 0, 0);
            break;
        case SDL_WINDOWEVENT: {
            if (foreign(event.window.windowID)) break;
            const int32_t a = event.window.data1;
            const int32_t b = event.window.data2;
            switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE: push(WM_CLOSE, 0, 0); break;
                case SDL_WINDOWEVENT_MOVED: push(WM_MOVE, 0, MakeLParam(a, b)); break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    clientWidth = a;
                    clientHeight = b;
                    push(WM_SIZE, SIZE_RESTORED, MakeLParam(a, b));
                    break;
                case SDL_WINDOWEVENT_MINIMIZED: push(WM_SIZE, SIZE_MINIMIZED, 0); break;
                case SDL_WINDOWEVENT_MAXIMIZED:
                    push(WM_SIZE, SIZE_MAXIMIZED, MakeLParam(clientWidth, clientHeight));
                    break;
                case SDL_WINDOWEVENT_RESTORED:
                    push(WM_SIZE, SIZE_RESTORED, MakeLParam(clientWidth, clientHeight));
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED: push(WM_SETFOCUS, 0, 0); break;
                case SDL_WINDOWEVENT_FOCUS_LOST: push(WM_KILLFOCUS, 0, 0); break;
                case SDL_WINDOWEVENT_EXPOSED: push(WM_PAINT, 0, 0); break;
                default: break;
            }
            break;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            if (foreign(event.key.windowID)) break;
            const uint16_t mod = event.key.keysym.mod;
            modifiers = ((mod & KMOD_SHIFT) ? MK_SHIFT : 0) | ((mod & KMOD_CTRL) ? MK_CONTROL : 0);
            const uint32_t key =
                VirtualKeyFromSdl(event.key.keysym.sym, event.key.keysym.scancode, (mod & KMOD_NUM) != 0);
            if (key == 0) break;
            const bool alt = (mod & KMOD_ALT) != 0;
            // Keys typed with Alt, Alt itself and F10 are system keys, as the menu bar claims them.
            const bool system = alt || key == VK_MENU || key == VK_F10;
            uint32_t bits = 1 | (alt ? KF_ALTDOWN_BIT : 0);
            if (event.type == SDL_KEYDOWN) {
                if (event.key.repeat != 0) bits |= KF_REPEAT_BIT;
                push(system ? WM_SYSKEYDOWN : WM_KEYDOWN, key, static_cast<LParam>(bits));
                if (const uint8_t character = CharacterForVirtualKey(key); character != 0) {
                    push(system ? WM_SYSCHAR : WM_CHAR, character, static_cast<LParam>(bits));
                }
            } else {
                bits |= KF_REPEAT_BIT | KF_UP_BIT;
                push(system ? WM_SYSKEYUP : WM_KEYUP, key, static_cast<LParam>(bits));
            }
            break;
        }
        case SDL_TEXTINPUT: {
            if (foreign(event.text.windowID)) break;
            uint8_t characters[SDL_TEXTINPUTEVENT_TEXT_SIZE];
            const size_t count = Utf8ToWindows1252(event.text.text, characters, sizeof characters);
            for (size_t i = 0; i < count; ++i) push(WM_CHAR, characters[i], 1);
            break;
        }
        case SDL_MOUSEMOTION:
            if (foreign(event.motion.windowID)) break;
            buttons = ButtonsFromMask(event.motion.state);
            push(WM_MOUSEMOVE, buttons | modifiers, MakeLParam(event.motion.x, event.motion.y));
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            if (foreign(event.button.windowID)) break;
            const uint32_t bit = ButtonBit(event.button.button);
            const bool down = event.type == SDL_MOUSEBUTTONDOWN;
            buttons = down ? (buttons | bit) : (buttons & ~bit);
            uint32_t message = 0;
            switch (bit) {
                case MK_LBUTTON:
                    // Every second click of a quick series is the double click.
                    message = !down ? WM_LBUTTONUP
                              : (doubleClicks && event.button.clicks >= 2 && event.button.clicks % 2 == 0)
                                  ? WM_LBUTTONDBLCLK
                                  : WM_LBUTTONDOWN;
                    break;
                case MK_RBUTTON: message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
                case MK_MBUTTON: message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
                default: break;  // the side buttons only show in the flags
            }
            if (message != 0) push(message, buttons | modifiers, MakeLParam(event.button.x, event.button.y));
            break;
        }
        case SDL_MOUSEWHEEL: {
            if (foreign(event.wheel.windowID)) break;
            int64_t notches = event.wheel.y;
            if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
            if (notches == 0) break;  // sideways scrolling has no message here
            const int64_t delta = std::clamp<int64_t>(notches * WHEEL_DELTA, INT16_MIN, INT16_MAX);
            const WParam wParam = (static_cast<WParam>(static_cast<uint16_t>(delta)) << 16) | buttons | modifiers;
            push(WM_MOUSEWHEEL, wParam, MakeLParam(event.wheel.mouseX, event.wheel.mouseY));
            break;
        }
        default:
            break;
    }
}

bool InitPlatform() {
    if (VideoRunning()) return true;
    // The engine switches the screen saver off itself and restores the user's setting at exit.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // Closing the window is a close request (WM_CLOSE), not a quit of the whole program.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "window: cannot start the video system: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

void ShutdownPlatform() {
    while (!gWindows.empty()) DestroyPlatformWindow(gWindows.back().window);
    gQueue.clear();
    gHaveChosenMode = false;
    gLooseTranslator = EventTranslator{};
    CloseDynLib(gX11Pointer.library);
    gX11Pointer = X11PointerQuery{};
    if (VideoRunning()) SDL_Quit();
}

WindowHandle CreatePlatformWindow(const char* title, int32_t width, int32_t height, bool fullScreen,
                                  WindowProc procedure) {
    if (!VideoRunning()) return nullptr;
    // The X server picks the window's visual at creation: the surface is the pixel format asked
    // for before this call (GlSetPixelFormat), so the window and its context agree.
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    flags |= fullScreen ? SDL_WINDOW_BORDERLESS : SDL_WINDOW_RESIZABLE;
    SDL_Window* window = SDL_CreateWindow(title, 0, 0, std::max(width, 1), std::max(height, 1), flags);
    if (window == nullptr) {
        std::fprintf(stderr, "window: cannot create the main window: %s\n", SDL_GetError());
        return nullptr;
    }
    if (fullScreen) {
        if ((gHaveChosenMode && SDL_SetWindowDisplayMode(window, &gChosenMode) != 0) ||
            SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) {
            std::fprintf(stderr, "window: cannot switch to full screen: %s\n", SDL_GetError());
        }
    }
    WindowRecord record;
    record.window = window;
    record.procedure = procedure;
    record.fullScreen = fullScreen;
    record.translator.window = window;
    record.translator.windowId = SDL_GetWindowID(window);
    record.translator.doubleClicks = fullScreen;
    SDL_GetWindowSize(window, &record.translator.clientWidth, &record.translator.clientHeight);
    gWindows.push_back(record);
    SDL_ShowWindow(window);
    SDL_StartTextInput();
    return window;
}

void DestroyPlatformWindow(WindowHandle window) {
    if (window == nullptr) return;
    std::erase_if(gWindows, [&](const WindowRecord& record) { return record.window == window; });
    std::erase_if(gQueue, [&](const WindowMessage& message) { return message.window == window; });
    SDL_DestroyWindow(window);
}

bool WaitWindowMessage(uint32_t milliseconds) {
    if (!gQueue.empty()) return true;
    if (!VideoRunning()) return false;
    return SDL_WaitEventTimeout(nullptr, static_cast<int>(std::min<uint32_t>(milliseconds, 1000))) != 0;
}

bool PeekWindowMessage(WindowMessage* message) {
    if (gQueue.empty()) PumpSdlEvents();
    if (gQueue.empty()) return false;
    *message = gQueue.front();
    gQueue.pop_front();
    return true;
}

LResult DispatchWindowMessage(const WindowMessage& message) {
    const WindowRecord* record = FindRecord(message.window);
    if (record == nullptr || record->procedure == nullptr) return 0;
    return record->procedure(message.window, message.message, message.wParam, message.lParam);
}

void PostQuitMessage(int32_t exitCode) {
    const WindowHandle window = gWindows.empty() ? nullptr : gWindows.front().window;
    gQueue.push_back(WindowMessage{window, WM_QUIT, static_cast<WParam>(static_cast<uint32_t>(exitCode)), 0});
}

LResult DefWindowProc(WindowHandle, uint32_t, WParam, LParam) { return 0; }

void ClearWindowMessages() { gQueue.clear(); }

void ShowMessageBox(WindowHandle owner, const char* text, const char* title) {
    std::string line = text != nullptr ? text : "";
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::fprintf(stderr, "message box: %s: %s\n", title != nullptr ? title : "", line.c_str());
    const char* quiet = std::getenv("QUORVANE_NO_MESSAGE_BOX");
    if (quiet != nullptr && std::strcmp(quiet, "0") != 0 && quiet[0] != '\0') return;
    if (!VideoRunning()) return;
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, title, text, owner);
}

bool IsScreenSaverEnabled() { return SDL_IsScreenSaverEnabled() == SDL_TRUE; }

void EnableScreenSaver(bool enabled) {
    if (!VideoRunning()) return;
    if (enabled) {
        SDL_EnableScreenSaver();
    } else {
        SDL_DisableScreenSaver();
    }
}

int32_t CountDisplayModes() {
    if (!VideoRunning()) return 0;
    return std::max(SDL_GetNumDisplayModes(0), 0);
}

bool GetDisplayMode(int32_t index, DisplayModeInfo* mode) {
    SDL_DisplayMode sdlMode{};
    if (!VideoRunning() || index < 0 || SDL_GetDisplayMode(0, index, &sdlMode) != 0) return false;
    *mode = DisplayModeInfo{sdlMode.w, sdlMode.h, BitsPerPixel(sdlMode), sdlMode.refresh_rate, 0};
    return true;
}

bool ChangeDisplayMode(int32_t index) {
    SDL_DisplayMode sdlMode{};
    if (!VideoRunning() || index < 0 || SDL_GetDisplayMode(0, index, &sdlMode) != 0) return false;
    gChosenMode = sdlMode;
    gHaveChosenMode = true;
    return true;
}

void RestoreDisplayMode() {
    gHaveChosenMode = false;
    for (auto& record : gWindows) {
        if (record.fullScreen) {
            SDL_SetWindowFullscreen(record.window, 0);
            record.fullScreen = false;
        }
    }
}

bool GetDesktopMode(DisplayModeInfo* mode) {
    SDL_DisplayMode sdlMode{};
    if (!VideoRunning() || SDL_GetDesktopDisplayMode(0, &sdlMode) != 0) return false;
    *mode = DisplayModeInfo{sdlMode.w, sdlMode.h, BitsPerPixel(sdlMode), sdlMode.refresh_rate, 0};
    return true;
}

bool GetWindowRect(WindowHandle window, ScreenRect* rect) {
    if (window == nullptr || FindRecord(window) == nullptr) return false;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    *rect = ScreenRect{x, y, x + w, y + h};
    return true;
}

bool GetCursorScreenPos(int32_t* x, int32_t* y) {
    if (!VideoRunning()) return false;
    if (QueryX11Pointer(x, y)) return true;
    int sx = 0, sy = 0;
    SDL_GetGlobalMouseState(&sx, &sy);
    *x = sx;
    *y = sy;
    return true;
}

void SetCursorScreenPos(int32_t x, int32_t y) {
    if (VideoRunning()) SDL_WarpMouseGlobal(x, y);
}

void PlatformGetKeyboardState(uint8_t table[256]) {
    std::memset(table, 0, 256);
    if (!VideoRunning()) return;
    int count = 0;
    const uint8_t* scancodes = SDL_GetKeyboardState(&count);
    const bool numLock = (SDL_GetModState() & KMOD_NUM) != 0;
    for (int code = 0; code < count; ++code) {
        if (scancodes[code] == 0) continue;
        const auto scancode = static_cast<SDL_Scancode>(code);
        const uint32_t key = VirtualKeyFromSdl(SDL_GetKeyFromScancode(scancode), scancode, numLock);
        if (key > 0 && key < 256) table[key] = 0x80;
    }
    const uint32_t mouse = SDL_GetMouseState(nullptr, nullptr);
    if (mouse & SDL_BUTTON_LMASK) table[VK_LBUTTON] = 0x80;
    if (mouse & SDL_BUTTON_RMASK) table[VK_RBUTTON] = 0x80;
    if (mouse & SDL_BUTTON_MMASK) table[VK_MBUTTON] = 0x80;
}

bool PlatformGetCursorPos(int32_t* x, int32_t* y) { return GetCursorScreenPos(x, y); }
void PlatformSetCursorPos(int32_t x, int32_t y) { SetCursorScreenPos(x, y); }

void PlatformGetDesktopSize(int32_t* width, int32_t* height) {
    DisplayModeInfo mode;
    if (GetDesktopMode(&mode)) {
        *width = mode.width;
        *height = mode.height;
    } else {
        *width = 0;
        *height = 0;
    }
}

std::vector<DisplayModeInfo> GetDisplayModes() {
    std::vector<DisplayModeInfo> modes;
    const int32_t count = CountDisplayModes();
    for (int32_t i = 0; i < count; ++i) {
        DisplayModeInfo mode;
        if (GetDisplayMode(i, &mode)) modes.push_back(mode);
    }
    return modes;
}

bool ChangeDisplayModeTo(const DisplayModeInfo& wanted) {
    const int32_t count = CountDisplayModes();
    for (int32_t i = 0; i < count; ++i) {
        DisplayModeInfo mode;
        if (GetDisplayMode(i, &mode) && mode.width == wanted.width && mode.height == wanted.height &&
            mode.bitsPerPixel == wanted.bitsPerPixel && mode.refreshRate == wanted.refreshRate) {
            return ChangeDisplayMode(i);
        }
    }
    return false;
}

int PumpWindowMessages() {
    int any = 0;
    WindowMessage message;
    while (PeekWindowMessage(&message)) {
        DispatchWindowMessage(message);
        any = 1;
    }
    return any;
}
