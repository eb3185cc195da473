#include "game/entry.h"

#include <FTGL/ftgl.h>
#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/music.h"
#include "audio/oggstream.h"
#include "audio/openal.h"
#include "audio/sound.h"
#include "camera/camera.h"
#include "character/spell.h"
#include "core/config.h"
#include "core/input.h"
#include "core/paths.h"
#include "core/thread.h"
#include "effects/rope.h"
#include "effects/sky.h"
#include "game/eventwiring.h"
#include "game/frame.h"
#include "game/hooks.h"
#include "game/level.h"
#include "net/netclient.h"
#include "objects/hover.h"
#include "objects/registry.h"
#include "platform/glcontext.h"
#include "platform/timer.h"
#include "plugin/pluginhost.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "ui/gameui.h"
#include "ui/menu.h"
#include "ui/panel.h"
#include "ui/textbox.h"
#include "ui/wnd.h"

uint32_t RunningFlag = 1;
uint32_t GlReady = 0;
uint32_t DesktopWidth = 0;
uint32_t DesktopHeight = 0;
ScreenRect WindowRect;
PointerPositionState PointerPosition;
uint32_t LeftButtonDown = 0;
uint32_t RightButtonDown = 0;
uint32_t MiddleButtonDown = 0;
uint8_t LeftButtonHeld = 0;
uint8_t RightButtonHeld = 0;
uint8_t MiddleButtonHeld = 0;
CursorHandle DefaultCursor = nullptr;
uint32_t SavedScreenSaverActive = 1;
uint32_t SavedPowerOffActive = 1;

namespace {

constexpr const char* kWindowTitle = "Quorvane";

// Set by InitApplication, cleared by the first ShutdownApplication.
uint32_t gApplicationStarted = 0;

void RefreshDesktopSize() {
    DisplayModeInfo desktop;
    if (GetDesktopMode(&desktop)) {
        DesktopWidth = static_cast<uint32_t>(desktop.width);
        DesktopHeight = static_cast<uint32_t>(desktop.height);
    }
}

// Rope gravity straight down and no extra push: what start-up sets and what shutdown puts back after
// resetting the rope pools.
void SetPlayRopeSettings() {
    RopeSettings.gravity[0] = 0.0f;
    RopeSettings.gravity[1] = -80.0f;
    RopeSettings.gravity[2] = 0.0f;
    RopeSettings.extraAcceleration[0] = RopeSettings.extraAcceleration[1] = RopeSettings.extraAcceleration[2] = 0.0f;
    RopeSettings.spare = 0.5f;
}

void RefreshLastCursorPos() { GetCursorScreenPos(&LastCursorPos.x, &LastCursorPos.y); }

void ShowDefaultCursor() {
    CurrentCursor = DefaultCursor;
    PlatformSetCursor(CurrentCursor);
}

// False when no GL context could be made (the message has been shown by then).
bool InitGLState() {
    if (InitOpenGL() == 0) return false;
    ResetClearColor();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return true;
}

// Sets a font's glyph size in points at 72 dpi; sizes that are no usable point size are refused.
bool SetFontSize(FTFont* font, float size) {
    if (font == nullptr || !std::isfinite(size) || size < 1.0f || size > 1000.0f) return false;
    font->FaceSize(static_cast<unsigned>(RoundToInt(size)), 72);
    return true;
}

void SwitchScreenSaverOff() { EnableScreenSaver(false); }

void RestoreScreenSaver() { EnableScreenSaver(SavedScreenSaverActive != 0 || SavedPowerOffActive != 0); }

void StopPlatform() {
    if (MainWindow != nullptr) DestroyPlatformWindow(MainWindow);
    MainWindow = nullptr;
    ShutdownPlatform();
}

// Button messages that go straight to the interface windows, with the words they keep. A press
// refreshes the last cursor position so that it does not read as a mouse-look jump.
struct ButtonRoute {
    uint32_t message;
    bool press;
    uint32_t* down;
    uint8_t* held;
    uint32_t (*WindowMessageTargets::*dispatch)(int32_t x, int32_t y, uint32_t flags);
};
const ButtonRoute kButtonRoutes[] = {
    {WM_LBUTTONUP, false, &LeftButtonDown, &LeftButtonHeld, &WindowMessageTargets::leftButtonUpToWnds},
    {WM_RBUTTONDOWN, true, &RightButtonDown, &RightButtonHeld, &WindowMessageTargets::rightButtonDownToWnds},
    {WM_RBUTTONUP, false, &RightButtonDown, &RightButtonHeld, &WindowMessageTargets::rightButtonUpToWnds},
    {WM_MBUTTONDOWN, true, &MiddleButtonDown, &MiddleButtonHeld, &WindowMessageTargets::middleButtonDownToWnds},
    {WM_MBUTTONUP, false, &MiddleButtonDown, &MiddleButtonHeld, &WindowMessageTargets::middleButtonUpToWnds},
};

bool FocusWndTakesKeys() { return FocusWnd != nullptr && FocusWnd->takesKeys != 0; }

}  // namespace

const WindowMessageTargets EngineMessageTargets = {
    ForwardMessageToPlugins,
    SendKeyDownToFocusWnd,
    SendKeyUpToFocusWnd,
    SendCharToFocusWnd,
    DispatchMouseMoveToWnds,
    [](int32_t x, int32_t y) { UpdateMouseHover(x, y); },
    OnMouseButtonDown,
    OnMouseDoubleClick,
    DispatchLButtonUpToWnds,
    DispatchRButtonDownToWnds,
    DispatchRButtonUpToWnds,
    DispatchMButtonDownToWnds,
    DispatchMButtonUpToWnds,
    OnMouseWheel,
    OnWindowResize,
    StoreWindowRect,
    [](WindowHandle) { GlSwapBuffers(RenderState.deviceContext); },
    PostQuitMessage,
};

const ProgramSteps EngineProgramSteps = {
    InitProgramDefaults,
    InitPlatform,
    InitUserFolder,
    SwitchScreenSaverOff,
    CreateMainWindow,
    InitApplication,
    EnterGameMode,
    PeekWindowMessage,
    DispatchWindowMessage,
    [] { SaveUserConfig(); },
    ShutdownApplication,
    RestoreDisplayMode,
    RestoreScreenSaver,
    StopPlatform,
    WaitWindowMessage,
    SleepMicroseconds,
};

void InitProgramDefaults() {
    // The calls lower floors make up into the game, the ui and the world.
    InstallEngineHooks();
    // The platform's screen saver is on until the video system starts and the engine says otherwise.
    SavedScreenSaverActive = IsScreenSaverEnabled() ? 1 : 0;
    SavedPowerOffActive = SavedScreenSaverActive;
    ClearObjectLists();
    PreviousCameraMode = CameraMode;
    // The music thread object is built by its own definition; its constructor needs nothing else.
    InitRenderState();
    ConstructEnvironment();
    ClearKeyStates();
    ClearPadStates();
    InitFrameDefaults();
    InitPanelGlobals();
    InitSpellGlobals();
    InitRopePools();
    InitNetworkGlobals();

    RunningFlag = 1;
    MainWindow = nullptr;
    GlReady = 0;
    WindowRect = ScreenRect{};
    PointerPosition = PointerPositionState{};
    LeftButtonDown = RightButtonDown = MiddleButtonDown = 0;
    LeftButtonHeld = RightButtonHeld = MiddleButtonHeld = 0;
    gApplicationStarted = 0;
}

int RunQuorvane(int, char**) { return RunProgram(EngineProgramSteps); }

int RunProgram(const ProgramSteps& steps) {
    steps.initDefaults();
    if (!steps.startPlatform()) return 1;
    steps.initUserFolder();
    steps.screenSaverOff();
    MainWindow = steps.createMainWindow();
    if (MainWindow == nullptr) {
        std::fprintf(stderr, "entry: no main window, nothing to run\n");
        steps.restoreScreenSaver();
        steps.stopPlatform();
        return 1;
    }
    if (steps.initApplication() == 0) {
        std::fprintf(stderr, "entry: start-up failed\n");
        steps.shutdownApplication();
        if (UserConfig.fullScreen != 0) steps.restoreDisplayMode();
        steps.restoreScreenSaver();
        steps.stopPlatform();
        return 1;
    }
    steps.enterGameMode();

    // Every window notification comes through the queue here, so the first message is dispatched
    // like all the others. The exit code is that of the quit message, whatever follows it.
    int exitCode = 0;
    WindowMessage message;
    auto handle = [&](const WindowMessage& m) {
        if (m.message == WM_QUIT) exitCode = static_cast<int>(static_cast<int32_t>(m.wParam));
        steps.dispatchMessage(m);
    };
    if (steps.peekMessage(&message)) handle(message);
    while (RunningFlag != 0) {
        while (steps.peekMessage(&message)) handle(message);
        FrameFunction();
        // Nothing to do before the next frame but wait for it, or for a message. The last stretch,
        // shorter than the message wait can time, is slept through: a message that comes then is
        // read just before the frame, as it would be by looking for it until then.
        if (steps.waitMessage && RunningFlag != 0) {
            if (const uint32_t wait = FrameWaitMilliseconds())
                steps.waitMessage(wait);
            else if (const uint32_t sleep = steps.sleepMicroseconds ? FrameSleepMicroseconds() : 0)
                steps.sleepMicroseconds(sleep);
        }
    }

    steps.saveUserConfig();
    steps.shutdownApplication();
    if (UserConfig.fullScreen != 0) steps.restoreDisplayMode();
    steps.restoreScreenSaver();
    steps.stopPlatform();
    return exitCode;
}

WindowHandle CreateMainWindow() {
    LoadUserConfig();
    TextureSizeSetting = UserConfig.textureSize;
    if (DefaultCursor == nullptr) DefaultCursor = PlatformCreateSystemCursor(SystemCursor::Arrow);
    // X11 fixes a window's pixel format when the window is made, so ask for it first.
    RequestPixelFormat(RenderState);
    WindowHandle window = nullptr;
    if (UserConfig.fullScreen == 1 && SetDisplayMode() != 0) window = CreateFullscreenMainWindow();
    if (window == nullptr) {
        // Full screen that cannot be had, and any word but 0 and 1, run in a window and are saved
        // as windowed.
        UserConfig.fullScreen = 0;
        window = CreateWindowedMainWindow();
    }
    RefreshDesktopSize();
    return window;
}

void FitWindowToDisplay(int32_t& width, int32_t& height, int32_t displayWidth, int32_t displayHeight) {
    if (displayWidth > 0) width = std::min(width, displayWidth);
    if (displayHeight > 0) height = std::min(height, displayHeight);
}

WindowHandle CreateWindowedMainWindow() {
    // A configured size beyond the screen would leave the window's far part out of reach: the
    // window, and the size the renderer and the saved configuration take, keep within the display.
    auto width = static_cast<int32_t>(std::min<uint32_t>(UserConfig.width, INT32_MAX));
    auto height = static_cast<int32_t>(std::min<uint32_t>(UserConfig.height, INT32_MAX));
    DisplayModeInfo desktop;
    if (GetDesktopMode(&desktop)) {
        FitWindowToDisplay(width, height, desktop.width, desktop.height);
        UserConfig.width = static_cast<uint32_t>(width);
        UserConfig.height = static_cast<uint32_t>(height);
    }
    return CreatePlatformWindow(kWindowTitle, width, height, false, MainWndProc);
}

WindowHandle CreateFullscreenMainWindow() {
    return CreatePlatformWindow(kWindowTitle, static_cast<int32_t>(UserConfig.width),
                                static_cast<int32_t>(UserConfig.height), true, MainWndProc);
}

LResult MainWndProc(WindowHandle window, uint32_t message, WParam wParam, LParam lParam) {
    return RouteWindowMessage(EngineMessageTargets, window, message, wParam, lParam);
}

LResult RouteWindowMessage(const WindowMessageTargets& targets, WindowHandle window, uint32_t message,
                           WParam wParam, LParam lParam) {
    const uint32_t flags = static_cast<uint32_t>(wParam & 0xFFFF);
    const int32_t x = LowWord(lParam);
    const int32_t y = HighWord(lParam);
    switch (message) {
        case WM_DESTROY:
            targets.postQuit(0);
            RunningFlag = 0;
            break;
        case WM_MOVE:
            if (GlReady != 0) targets.windowMoved();
            break;
        case WM_SIZE: {
            // A minimised window reports a size of 0: there is nothing to resize to.
            const auto width = static_cast<int32_t>(LowWordUnsigned(lParam));
            const auto height = static_cast<int32_t>(HighWordUnsigned(lParam));
            if (GlReady != 0 && width != 0 && height != 0) targets.windowResized(width, height);
            break;
        }
        case WM_SETFOCUS:
            // The platform keeps the mouse with the window while a button is held (its capture).
            CursorClipRect = &WindowRect;
            GetWindowRect(window, &WindowRect);
            ShowDefaultCursor();
            break;
        case WM_KILLFOCUS:
            CursorClipRect = nullptr;
            break;
        case WM_PAINT:
            if (GlReady != 0) targets.swapBuffers(RenderState.window);
            break;
        case WM_CLOSE:
            // The window stays; the loop ends and shutdown runs with it still there.
            RunningFlag = 0;
            return 0;
        case WM_QUIT:
            RunningFlag = 0;
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            targets.forwardToPlugins(WM_KEYDOWN, static_cast<uint32_t>(wParam));
            if (wParam == VK_ESCAPE && (static_cast<uint32_t>(lParam) & KF_REPEAT_BIT) == 0) NoteEscapeKeyDown();
            if (FocusWndTakesKeys()) targets.keyDownToFocusWnd(FocusWnd, static_cast<uint32_t>(wParam));
            return 0;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            targets.forwardToPlugins(WM_KEYUP, static_cast<uint32_t>(wParam));
            if (wParam == VK_ESCAPE) {
                // Only a window that acts on Escape takes the release: not a hidden one, and not the
                // console, whose text entry does nothing with it, so that the game still hears it.
                NoteEscapeKeyUp(FocusWndTakesKeys() && FocusWnd->Live() && FocusWnd->kind != WndKindEdit);
            }
            if (FocusWndTakesKeys()) targets.keyUpToFocusWnd(FocusWnd, static_cast<uint32_t>(wParam));
            return 0;
        case WM_CHAR:
        case WM_SYSCHAR:
            if (FocusWndTakesKeys()) targets.charToFocusWnd(FocusWnd, static_cast<uint32_t>(wParam));
            return 0;
        case WM_SYSCOMMAND: {
            const uint32_t command = static_cast<uint32_t>(wParam) & 0xFFF0u;
            if (command == SC_SCREENSAVE || command == SC_MONITORPOWER) return 0;
            break;
        }
        case WM_MOUSEMOVE:
            // Only moves keep the last position; buttons and the wheel hand theirs on as they are.
            PointerPosition = PointerPositionState{x, y};
            if (targets.mouseMoveToWnds(x, y, flags) == 0) targets.mouseHover(x, y);
            return 0;
        case WM_LBUTTONDOWN:
            LeftButtonDown = 1;
            RefreshLastCursorPos();
            targets.leftButtonDown(flags, x, y);
            return 0;
        case WM_LBUTTONDBLCLK:
            LeftButtonDown = 1;
            RefreshLastCursorPos();
            targets.leftDoubleClick(flags, x, y);
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            for (const ButtonRoute& route : kButtonRoutes) {
                if (route.message != message) continue;
                *route.down = route.press ? 1 : 0;
                if (route.press) RefreshLastCursorPos();
                *route.held = route.press ? 1 : 0;
                (targets.*route.dispatch)(x, y, flags);
            }
            return 0;
        case WM_MOUSEWHEEL:
            targets.mouseWheel(x, y, static_cast<int16_t>((wParam >> 16) & 0xFFFF));
            return 0;
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMQUERYSUSPEND) return BROADCAST_QUERY_DENY;
            break;
        default:
            break;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

void StoreWindowRect() {
    if (CursorClipRect != nullptr) GetWindowRect(MainWindow, &WindowRect);
}

uint32_t InitApplication() {
    gApplicationStarted = 1;
    InitDataFolder();
    // The key tables were cleared at start; every game button starts enabled.
    std::memset(ActionEnabled, 1, sizeof ActionEnabled);
    RefreshDesktopSize();
    if (CursorClipRect != nullptr) GetWindowRect(MainWindow, &WindowRect);
    // Without a context every later GL call would run on nothing: start-up stops here.
    if (!InitGLState()) return 0;
    SwitchVertexArray(true);
    SwitchColorArray(true);
    SwitchTexCoordArray(true);
    SwitchTexture2D(true);
    SwitchBlend(true);
    SelectBlendMode(1);  // (GL_ONE, GL_ONE_MINUS_SRC_COLOR)
    SwitchCullFace(false);
    InitMathTables();
    ClearTextBoxes();
    StartSoundSystem();
    MusicThread.musicJob = NztJob{0, MusicStreamLoop};
    MusicThread.autoStart = 1;
    InitSound();
    MusicEndCallback = OnMusicEnded;
    ResetCameraControl();
    InitEngineResources();
    MakePathFolders(DataPath("USER/"));
    SetPlayRopeSettings();
    RopeSettings.iterationCount = 10;
    RopeSettings.axisSwitches[0] = RopeSettings.axisSwitches[1] = RopeSettings.axisSwitches[2] = 1;
    AllocateSpellRing();
    if (LoadSpellDefinitions()) LoadSpellSfx();
    InitCursors();
    InitInput();
    InstallEventWiring();
    // The window keeps the mouse while a button is held (the platform's automatic capture).
    ShowDefaultCursor();
    LoadAllPlugins();
    GlReady = 1;
    return 1;
}

void OnWindowResize(int32_t width, int32_t height) {
    if (ResizeOpenGL(width, height) == 0) return;
    RenderState.currentFont = RenderState.gameFont;
    // The settings screen is laid out with the 12-point font, the game screens with the scaled one.
    if (SetFontSize(RenderState.gameFont, 12.0f)) RenderState.gameFontSize = 12.0f;
    RenderState.currentFontSize = RenderState.gameFontSize;
    LayoutSettingsScreen();
    const float size = GameSettings.fontSize * static_cast<float>(RenderState.screenWidth) / 1024.0f;
    if (SetFontSize(RenderState.gameFont, size)) RenderState.gameFontSize = size;
    RenderState.currentFontSize = RenderState.gameFontSize;
    RefreshHudTextSizes();
    LayoutGameScreens();
}

uint32_t ShutdownApplication() {
    if (gApplicationStarted == 0) return 1;
    gApplicationStarted = 0;
    UnloadAllPlugins();
    ShutdownInput();
    PlatformFreeCursor(DefaultCursor);
    DefaultCursor = nullptr;
    DeleteAllSounds();
    StopMusic();
    StopSoundSystem();
    FreeSpells();
    FreeRopeLinks();
    FreeRopeAnchors();
    ResetRopePools();
    SetPlayRopeSettings();
    FreeSceneSnapshot();
    ShutdownEngine();
    ClearCameraStateStack();
    DestroyAllWnds();
    DeleteAllTextures();
    ShutdownOpenGL();
    // Moves and sizes that still arrive must not reach a context that is gone.
    GlReady = 0;
    return 1;
}
