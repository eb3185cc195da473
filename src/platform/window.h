// The main window and its message queue. SDL events are translated into the engine's window
// messages (codes of platform/wincodes.h) and handed to the window procedure given at creation;
// the engine's loop peeks and dispatches them as it would on its original platform. Also here:
// message boxes, the screen saver, display modes, the desktop size and the cursor position.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"
#include "platform/wincodes.h"

union SDL_Event;

using WindowProc = LResult (*)(WindowHandle window, uint32_t message, WParam wParam, LParam lParam);

struct WindowMessage {
    WindowHandle window = nullptr;
    uint32_t message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
};

// A rectangle in screen pixels; right and bottom lie one past the last pixel.
struct ScreenRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct DisplayModeInfo {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;  // 32 for modes of four bytes a pixel, as the engine counts them
    int32_t refreshRate = 0;   // hertz, 0 when the display does not say
    int32_t orientation = 0;   // 0: the display's default orientation
};

// Starts and stops the video and event subsystems. Everything below except the message queue
// needs them; InitPlatform answers false (with a line on stderr) when no display can be opened.
bool InitPlatform();
void ShutdownPlatform();

// Creates the main window with a client area of width x height and shows it. Windowed: a normal
// framed window at (0, 0) that does not report double clicks. Full screen: a borderless window in
// the display mode last accepted by ChangeDisplayMode, reporting left double clicks. Null on
// failure. The window's OpenGL surface is the pixel format last given to GlSetPixelFormat.
WindowHandle CreatePlatformWindow(const char* title, int32_t width, int32_t height, bool fullScreen,
                                  WindowProc procedure);
void DestroyPlatformWindow(WindowHandle window);
// The program's main window (null while there is none); the program sets it when it creates it.
extern WindowHandle MainWindow;

// The message queue. Peek removes the oldest message into *message (pumping SDL first when the
// queue is empty) and answers whether there was one. Dispatch hands it to the procedure of the
// window it belongs to and returns the procedure's answer (0 when the window is gone).
bool PeekWindowMessage(WindowMessage* message);
// Sleeps until a message arrives or milliseconds pass, whichever comes first; the message stays
// queued for PeekWindowMessage. True when one is waiting. Returns at once while one is queued.
bool WaitWindowMessage(uint32_t milliseconds);
LResult DispatchWindowMessage(const WindowMessage& message);
// Queues WM_QUIT with the exit code in wParam.
void PostQuitMessage(int32_t exitCode);
// What a procedure answers for a message it leaves alone.
LResult DefWindowProc(WindowHandle window, uint32_t message, WParam wParam, LParam lParam);
// Drops every queued message (tests, and a fresh start of the queue).
void ClearWindowMessages();

// The translation of SDL events into messages, kept as a value so that it can be checked on its
// own. It remembers what the messages need and single events do not carry: the buttons held, the
// Shift and Ctrl state of the last key event, and the client size for restore messages.
struct EventTranslator {
    WindowHandle window = nullptr;
    uint32_t windowId = 0;     // SDL id of the window; 0 accepts events of every window
    bool doubleClicks = false;  // the window reports double clicks (full screen only)
    uint32_t buttons = 0;       // MK_LBUTTON, MK_RBUTTON, MK_MBUTTON, MK_XBUTTON1/2 held
    uint32_t modifiers = 0;     // MK_SHIFT, MK_CONTROL
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;

    // Appends the messages that one event stands for (none for events the engine ignores).
    void Translate(const SDL_Event& event, std::vector<WindowMessage>& out);
};

// Message box with an OK button, also written to stderr as one line. QUORVANE_NO_MESSAGE_BOX=1 in
// the environment keeps only the line (headless runs, where nobody could press the button).
void ShowMessageBox(WindowHandle owner, const char* text, const char* title);

// The screen saver (and with it the monitor's power saving, which the same inhibition holds off).
bool IsScreenSaverEnabled();
void EnableScreenSaver(bool enabled);

// Display modes of the first display, in the display's order.
int32_t CountDisplayModes();
bool GetDisplayMode(int32_t index, DisplayModeInfo* mode);
// Chooses a listed mode for the full-screen window; false when the index is not a listed mode.
bool ChangeDisplayMode(int32_t index);
// Gives the desktop its own mode back (the full-screen window, if any, becomes a window).
void RestoreDisplayMode();
bool GetDesktopMode(DisplayModeInfo* mode);

// Every listed mode, in the display's order.
std::vector<DisplayModeInfo> GetDisplayModes();
// Chooses the listed mode equal to the given one; false when none is.
bool ChangeDisplayModeTo(const DisplayModeInfo& mode);
// Dispatches every pending window message; non-zero when there was one.
int PumpWindowMessages();

// The window's client area in screen coordinates.
bool GetWindowRect(WindowHandle window, ScreenRect* rect);
// The cursor in screen coordinates.
bool GetCursorScreenPos(int32_t* x, int32_t* y);
void SetCursorScreenPos(int32_t x, int32_t y);

// The virtual-key down state as a Windows key-state table: one byte per virtual key, 0x80 while
// the key is down. Read from SDL's keyboard and mouse state, so it follows real input (XTEST
// included) but not events pushed by hand. Mouse buttons are virtual keys 1, 2 and 4.
void PlatformGetKeyboardState(uint8_t table[256]);
// The cursor in screen pixels (false when the video system is not running), and moving it.
bool PlatformGetCursorPos(int32_t* x, int32_t* y);
void PlatformSetCursorPos(int32_t x, int32_t y);
// The desktop's size in pixels.
void PlatformGetDesktopSize(int32_t* width, int32_t* height);
