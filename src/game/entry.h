// The program's spine: the start-up defaults, the main function with its message loop, the main
// window and its window procedure, the ordered start-up and the ordered shutdown.
#pragma once

#include <cstdint>

#include "platform/cursor.h"
#include "platform/types.h"
#include "platform/wincodes.h"
#include "platform/window.h"

class CNztWnd;

// The loop runs while this is non-zero; a close request, a destroy or a quit clears it.
extern uint32_t RunningFlag;
// 0 until the end of InitApplication; until then moves, sizes and paints are left alone.
extern uint32_t GlReady;
extern uint32_t DesktopWidth;
extern uint32_t DesktopHeight;
// The window's screen rectangle; the cursor clip pointer of the input points at it while the
// window has the focus.
extern ScreenRect WindowRect;

struct PointerPositionState {
    int32_t x = 0;
    int32_t y = 0;
};
// The last mouse position in client pixels, from the mouse-move messages.
extern PointerPositionState PointerPosition;
// Buttons as the window procedure saw them; the window toolkit reads them.
extern uint32_t LeftButtonDown;
extern uint32_t RightButtonDown;
extern uint32_t MiddleButtonDown;
extern uint8_t LeftButtonHeld;
extern uint8_t RightButtonHeld;
extern uint8_t MiddleButtonHeld;
// The window class's arrow cursor (the engine's own cursors are input's).
extern CursorHandle DefaultCursor;
// The screen-saver and power-saving settings found at start, given back at exit.
extern uint32_t SavedScreenSaverActive;
extern uint32_t SavedPowerOffActive;

// Runs the whole program and returns the process exit code.
int RunQuorvane(int argc, char** argv);

// The start-up defaults of every subsystem, in their fixed order, before anything else runs.
void InitProgramDefaults();

// Reads the user configuration and creates the main window: full screen when configured and the
// display mode can be set, else a window (and the full-screen word is cleared).
WindowHandle CreateMainWindow();
WindowHandle CreateWindowedMainWindow();
// Shrinks a window size to the display's (a display size of 0 or less is unknown and changes nothing).
void FitWindowToDisplay(int32_t& width, int32_t& height, int32_t displayWidth, int32_t displayHeight);
WindowHandle CreateFullscreenMainWindow();

LResult MainWndProc(WindowHandle window, uint32_t message, WParam wParam, LParam lParam);
uint32_t InitApplication();
void OnWindowResize(int32_t width, int32_t height);
void StoreWindowRect();
// Returns 1; only the first call after InitApplication does anything.
uint32_t ShutdownApplication();

// Where the window procedure hands messages on. The engine passes its own services; tests pass
// recording fakes.
struct WindowMessageTargets {
    void (*forwardToPlugins)(uint32_t message, uint32_t key);
    void (*keyDownToFocusWnd)(CNztWnd* window, uint32_t key);
    void (*keyUpToFocusWnd)(CNztWnd* window, uint32_t key);
    void (*charToFocusWnd)(CNztWnd* window, uint32_t character);
    uint32_t (*mouseMoveToWnds)(int32_t x, int32_t y, uint32_t flags);  // 1 when a window took it
    void (*mouseHover)(int32_t x, int32_t y);
    int32_t (*leftButtonDown)(uint32_t flags, int32_t x, int32_t y);
    int32_t (*leftDoubleClick)(uint32_t flags, int32_t x, int32_t y);
    uint32_t (*leftButtonUpToWnds)(int32_t x, int32_t y, uint32_t flags);
    uint32_t (*rightButtonDownToWnds)(int32_t x, int32_t y, uint32_t flags);
    uint32_t (*rightButtonUpToWnds)(int32_t x, int32_t y, uint32_t flags);
    uint32_t (*middleButtonDownToWnds)(int32_t x, int32_t y, uint32_t flags);
    uint32_t (*middleButtonUpToWnds)(int32_t x, int32_t y, uint32_t flags);
    void (*mouseWheel)(int32_t x, int32_t y, int32_t delta);
    void (*windowResized)(int32_t width, int32_t height);
    void (*windowMoved)();
    void (*swapBuffers)(WindowHandle window);
    void (*postQuit)(int32_t exitCode);
};
extern const WindowMessageTargets EngineMessageTargets;
LResult RouteWindowMessage(const WindowMessageTargets& targets, WindowHandle window, uint32_t message,
                           WParam wParam, LParam lParam);

// The steps of the main function around its message loop; RunQuorvane passes the engine's own.
struct ProgramSteps {
    void (*initDefaults)();
    bool (*startPlatform)();
    void (*initUserFolder)();
    void (*screenSaverOff)();
    WindowHandle (*createMainWindow)();
    uint32_t (*initApplication)();
    void (*enterGameMode)();
    bool (*peekMessage)(WindowMessage* message);
    LResult (*dispatchMessage)(const WindowMessage& message);
    void (*saveUserConfig)();
    uint32_t (*shutdownApplication)();
    void (*restoreDisplayMode)();
    void (*restoreScreenSaver)();
    void (*stopPlatform)();
    // Sleeps until a message comes or the milliseconds pass; null never sleeps.
    bool (*waitMessage)(uint32_t milliseconds) = nullptr;
    // Sleeps the microseconds, nothing waking it: the last stretch before a frame, too short for
    // waitMessage; null never sleeps so.
    void (*sleepMicroseconds)(uint32_t microseconds) = nullptr;
};
extern const ProgramSteps EngineProgramSteps;
// Start-up, the loop (messages first, then one call of the frame function, then a sleep until the
// next frame is due or a message comes, while the running flag is set) and shutdown. Returns the code of the last quit message read, 0 without one, and 1 when
// the platform or the main window cannot be started.
int RunProgram(const ProgramSteps& steps);
