#include "game/frame.h"

#include <GL/gl.h>

#include <cmath>

#include "audio/music.h"
#include "audio/sound.h"
#include "camera/camera.h"
#include "camera/traject.h"
#include "character/entity.h"
#include "collision/collide.h"
#include "core/config.h"
#include "core/input.h"
#include "core/nztmath.h"
#include "core/pack.h"
#include "core/paths.h"
#include "effects/dynobject.h"
#include "effects/gamelight.h"
#include "effects/light.h"
#include "effects/rope.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "effects/sky.h"
#include "effects/thunder.h"
#include "effects/trail.h"
#include "game/consolecmds.h"
#include "game/level.h"
#include "net/netclient.h"
#include "objects/events.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "objects/triggers.h"
#include "platform/glcontext.h"
#include "platform/timer.h"
#include "platform/wincodes.h"
#include "platform/window.h"
#include "plugin/pluginhost.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/screenshot.h"
#include "render/texture.h"
#include "ui/console.h"
#include "ui/counter.h"
#include "ui/gamemap.h"
#include "ui/gameui.h"
#include "ui/inventory.h"
#include "ui/menu.h"
#include "ui/panel.h"
#include "ui/textbox.h"
#include "ui/video.h"
#include "ui/wnd.h"
#include "world/framepass.h"

uint32_t SunReflectTexture = 0;
uint32_t BorderCinemaTexture = 0;
uint32_t LaunchEffectTypeIndex = 0;

namespace {

// Event codes raised by the function keys.
constexpr uint32_t kEventEscapeReleased = 66;
constexpr uint32_t kEventCtrlReleased = 67;
// (press, repeat every 0.1 s while held, release) of the left mouse, Shift and right mouse buttons.
struct ButtonEvents {
    int button;
    uint32_t press, repeat, release;
};
constexpr ButtonEvents kButtonEvents[] = {
    {kButtonLeftMouse, 84, 103, 122},
    {kButtonShift, 85, 104, 123},
    {kButtonRightMouse, 86, 105, 124},
};

// Object states go to the network every send period, each frame function with its own timer.
float gGameSendTimer = 0.0f;
float gEditorSendTimer = 0.0f;
float gSendPeriod = 0.1f;

// The console commands are registered by the first timer reset of the run.
bool gConsoleRegistered = false;

// An Escape press came since the function keys last looked at the tables.
bool gEscapeDownSinceKeys = false;

// Slow work runs in the frames in which accumulator B was just reset.
bool TenthSecondTick() { return FrameAccumulators.tickB == 0.0f; }


void SendObjectStatesEvery(float& timer) {
    timer += FrameTiming.frameTime;
    if (timer < gSendPeriod) return;
    timer = 0.0f;
    if (NetClient == nullptr) return;
    // A player carried by another object sends its parent's placement too.
    if (PlayerEntity != nullptr && PlayerEntity->parent != nullptr) {
        SendObjectStatesFull(0);
    } else {
        SendObjectStates(0);
    }
}

// Drawing of the game and editor frames; a plug-in that draws the frame itself answers non-zero.
void DrawFrame() {
    if (RenderPlugins() != 0) return;
    if (RenderState.letterboxBar != 0) {
        ClearFrame(&RenderState);
        SetScissorRect(RenderState);
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    RenderObjects();
    DropLostInventoryItems();
    if (WndCount != 0) SortWndsByDepth(WndList, 0, static_cast<int32_t>(WndCount) - 1);
    DrawAllWnds();
    GlSwapBuffers(RenderState.deviceContext);
}

uint32_t BroadcastReleased(uint32_t code) {
    uint32_t handled = 0;
    if (PlayerEntity != nullptr) handled += PlayerEntity->SendEvent(code, 0, 0, 0);
    handled += BroadcastEventToScnObjects(code);
    handled += BroadcastToRegisteredTriggers(code);
    handled += BroadcastEventToEntities(code);
    handled += GameEventObject.SendEvent(code, 0, 0, 0);
    return handled != 0 ? 1 : 0;
}

void SendGameEvent(uint32_t code) { GameEventObject.SendEvent(code, 0, 0, 0); }

void TakeScreenshot() {
    MakeScreenshotName(DataPath("SCREENSHOTS/Shot000.tga"), RenderState.screenWidth, RenderState.screenHeight);
}

void ReleaseIfSet(uint32_t& texture) {
    if (texture != 0) ReleaseTexture(texture);
    texture = 0;
}

}  // namespace

const FunctionKeyTargets EngineFunctionKeyTargets = {
    BroadcastCtrlReleased,
    BroadcastEscapeReleased,
    SendGameEvent,
    TakeScreenshot,
};

void InitFrameDefaults() {
    ResetFrameClock();
    FrameFunction = GameFrame;
    gGameSendTimer = 0.0f;
    gEditorSendTimer = 0.0f;
    gSendPeriod = 0.1f;
    gConsoleRegistered = false;
    gEscapeDownSinceKeys = false;
    EscapeTakenByWindow = false;
    SunReflectTexture = ThunderTexture = BorderCinemaTexture = 0;
    LaunchEffectTypeIndex = 0;
}

void ResetFrameTimer() {
    FrameClock.lastFrameTime = static_cast<double>(QueryPerformanceCounter() - FrameClock.startCount);
    if (!gConsoleRegistered) {
        gConsoleRegistered = true;
        RegisterConsoleCommands();
    }
}

void SetRunMode(uint32_t mode) {
    if (mode == RunMode.current) return;
    RunMode.previous = RunMode.current;
    RunMode.current = mode;
    switch (mode) {
        case RunModeGame:
            ResetFrameTimer();
            FrameFunction = GameFrame;
            break;
        case RunModeEditor:
            FrameFunction = EditorFrame;
            break;
        case RunModeBackToGame:
            RunMode.current = RunModeGame;
            FrameFunction = GameFrame;
            break;
        case RunModeVideo:
            ResetClearColor();
            FrameFunction = VideoFrame;
            break;
        default:
            break;
    }
}

void EnterGameMode() {
    if (RunMode.current != RunModeGame) {
        RunMode.previous = RunMode.current;
        RunMode.current = RunModeGame;
        ResetFrameTimer();
        FrameFunction = GameFrame;
    }
    if (wglSwapIntervalEXT != nullptr) wglSwapIntervalEXT(UserConfig.verticalSync != 0 ? 1 : 0);
    ClearKeyStates();
    StartLevel(GameSettings.startScene, 0, 1);
}


void InitMathTables() {
    BuildSinCosTables();
    BuildRandomTable();
    InitTimer();
    FrameClock.frameCap = FrameClock.frequency * (1.0 / 60.0);
    gSendPeriod = 0.1f;
}


namespace {
// Milliseconds until the next frame of a frame function on the clock is due; 0 for the others
// (and for a clock that was never started).
double FrameDueInMilliseconds() {
    if (FrameFunction != GameFrame && FrameFunction != EditorFrame) return 0.0;
    if (!(FrameClock.frequency > 0.0)) return 0.0;
    const double now = static_cast<double>(QueryPerformanceCounter() - FrameClock.startCount);
    return (FrameClock.lastFrameTime + FrameClock.frameCap - now) * 1000.0 / FrameClock.frequency;
}
}  // namespace

uint32_t FrameWaitMilliseconds() {
    const double left = FrameDueInMilliseconds();
    // Rounded down and a millisecond short, so that a wake-up a little late still comes before
    // the deadline and the frame is on time; the rest is FrameSleepMicroseconds's.
    if (!(left >= 2.0)) return 0;
    return left >= 1000.0 ? 999u : static_cast<uint32_t>(left) - 1;
}

uint32_t FrameSleepMicroseconds() {
    const double left = FrameDueInMilliseconds();
    if (!(left > 0.0)) return 0;
    // Woken FrameSleepMarginMs early at the latest, so that the frame starts on time however late
    // that sleep ends (within the margin). The margin itself is passed in naps of at most
    // FrameNapMicroseconds, and only its last FrameSpinMicroseconds, about what a nap oversleeps,
    // looking at the clock: the frame starts on time without a core spinning through the margin.
    if (left > FrameSleepMarginMs)
        return static_cast<uint32_t>(std::min(left, 2.0) * 1000.0 - FrameSleepMarginMs * 1000.0);
    const double nap = left * 1000.0 - FrameSpinMicroseconds;
    if (!(nap > 0.0)) return 0;
    return static_cast<uint32_t>(std::ceil(std::min(nap, FrameNapMicroseconds)));
}



void GameFrame() {
    float rate = 0.0f;
    if (!StepFrameClock(&rate)) return;
    SetFrameRate(rate);
    const float dt = FrameTiming.frameTime;
    FrameAccumulators.halfSecond += dt;
    if (FrameAccumulators.halfSecond >= 0.5f) {
        FrameAccumulators.lastHalfSecond = FrameAccumulators.halfSecond;
        FrameAccumulators.halfSecond = 0.0f;
    }
    AdvanceAccumulators(dt);
    HandleFunctionKeys();
    ProcessNetworkPackets();
    // What the music worker posted (a track that ended) is acted on here, on the main thread.
    DispatchMusicEvents();
    // A plug-in that runs the world itself this frame answers non-zero.
    if (ManagePlugins() == 0) {
        GameTick();
        UpdateRopes();
    }
    SendObjectStatesEvery(gGameSendTimer);
    DrawFrame();
    RunDeferredActions();
    UpdateDelayedActions(FrameTiming.frameTime);
    MouseWheelDelta = 0;
}

void EditorFrame() {
    float rate = 0.0f;
    if (!StepFrameClock(&rate)) return;
    AverageEditorFrameRate(rate);
    AdvanceAccumulators(FrameTiming.frameTime);
    HandleFunctionKeys();
    ProcessNetworkPackets();
    DispatchMusicEvents();
    PollJoysticks();
    PollKeyboard();
    if (TenthSecondTick()) {
        UpdateMusicFade();
        UpdateMasterSoundFade();
    }
    SendObjectStatesEvery(gEditorSendTimer);
    DrawFrame();
    RunDeferredActions();
    MouseWheelDelta = 0;
}

void VideoFrame() {
    SwapPadBuffers();
    ReadPadState(PadStates.current);
    PollKeyboard();
    // Escape during a video is the video's: no press of it waits for the game's function keys.
    gEscapeDownSinceKeys = false;
    UpdateVideoFrame();
}

void GameTick() {
    SwapPadBuffers();
    ReadPadState(PadStates.current);
    PollKeyboard();
    UpdateCamera();
    UpdateEnvironmentZones();
    UpdateObjects();
    LateUpdateObjects();
    if (TenthSecondTick()) {
        UpdateRegisteredTriggers();
        UpdateMusicFade();
        UpdateMasterSoundFade();
    }
    UpdateSky();
    RotateSkyObjects();
}

uint32_t BroadcastCtrlReleased() { return BroadcastReleased(kEventCtrlReleased); }

uint32_t BroadcastEscapeReleased() { return BroadcastReleased(kEventEscapeReleased); }

bool EscapeTakenByWindow = false;

void NoteEscapeKeyDown() {
    gEscapeDownSinceKeys = true;
    EscapeTakenByWindow = false;
}

void NoteEscapeKeyUp(bool takenByWindow) { EscapeTakenByWindow = takenByWindow; }

void HandleFunctionKeys() { HandleFunctionKeysWith(EngineFunctionKeyTargets); }

void HandleFunctionKeysWith(const FunctionKeyTargets& targets) {
    // The tables are read once a frame: an Escape pressed and let go between two reads would leave
    // no trace in them, and the tap would neither open nor (its release being a window's) close the
    // pause menu once. Such a press is put into the current table, and the next read releases it.
    if (gEscapeDownSinceKeys && ActionEnabled[kButtonEscape] != 0) KeyStates.actions[kButtonEscape] = 1;
    gEscapeDownSinceKeys = false;
    const uint8_t* now = KeyStates.actions;
    const uint8_t* before = KeyStates.previousActions;
    auto released = [&](int button) { return before[button] != 0 && now[button] == 0; };
    auto pressed = [&](int button) { return before[button] == 0 && now[button] != 0; };
    auto held = [&](int button) { return before[button] != 0 && now[button] != 0; };

    if (released(kButtonConsole) && ConsoleWnd != nullptr) {
        ConsoleWnd->visible = ConsoleWnd->visible != 0 ? 0 : 1;
        if (ConsoleWnd->visible != 0) SetFocusWnd(ConsoleWnd);
        TraceInterface(ConsoleWnd->visible != 0 ? "console shown" : "console hidden");
    }
    // A Ctrl or Escape release that some event handler takes is the whole of this frame's keys.
    if (released(kButtonCtrl)) {
        if (targets.broadcastCtrlReleased() == 1) return;
    } else if (released(kButtonEscape)) {
        // A release that a focused window took (the pause menu's Escape) is that window's alone.
        // The tables lag the key messages by a frame, so the mark is dropped here, or by the next
        // press message, never by the press the tables show after the release already came.
        const bool taken = EscapeTakenByWindow;
        EscapeTakenByWindow = false;
        if (!taken && targets.broadcastEscapeReleased() == 1) return;
    } else if (before[kButtonEscape] == 0 && now[kButtonEscape] == 0) {
        // A release the tables will never show (the button disabled, the tables cleared) leaves
        // no mark for a later one.
        EscapeTakenByWindow = false;
    }
    for (const ButtonEvents& events : kButtonEvents) {
        if (pressed(events.button)) {
            targets.sendGameEvent(events.press);
        } else if (held(events.button) && FrameAccumulators.tickA == 0.0f) {
            targets.sendGameEvent(events.repeat);
        } else if (released(events.button)) {
            targets.sendGameEvent(events.release);
        }
    }
    // A key is down when the high bit of its byte is set.
    if ((KeyStates.previousKeys[VK_F11] & 0x80) != 0 && (KeyStates.keys[VK_F11] & 0x80) == 0) {
        targets.takeScreenshot();
    }
}

void ClearFrame(NztRenderState* state) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(state->clearColor[0], state->clearColor[1], state->clearColor[2], state->clearColor[3]);
}

void ResetClearColor() { SendClearColor(0.0f, 0.0f, 0.0f, 1.0f); }

void DrawCinemaBorders() {
    SwitchDepthTest(false);
    SwitchDepthWrite(false);
    SwitchColorArray(false);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    SelectActiveTexture(0);
    if (BoundTextureId != BorderCinemaTexture) {
        glBindTexture(GL_TEXTURE_2D, BorderCinemaTexture);
        BoundTextureId = BorderCinemaTexture;
    }
    // 2-D coordinates are pixels from the viewport centre with y growing downwards, so y0 is the
    // top edge. The bars stay black from the frame clear; a 4-pixel band of the border texture
    // lines the inner edge of each.
    const float x0 = RenderState.viewportLeft;
    const float y0 = RenderState.viewportBottom;
    const float x1 = RenderState.viewportRight;
    const float y1 = RenderState.viewportTop;
    const float h = static_cast<float>(RenderState.letterboxBar);
    const float topBand[4][3] = {{x0, y0 + h - 4.0f, 1.0f}, {x1, y0 + h - 4.0f, 1.0f}, {x1, y0 + h, 1.0f}, {x0, y0 + h, 1.0f}};
    const float bottomBand[4][3] = {{x0, y1 - h, 1.0f}, {x1, y1 - h, 1.0f}, {x1, y1 - h + 4.0f, 1.0f}, {x0, y1 - h + 4.0f, 1.0f}};
    BeginPrimitive(RenderState, 7);
    DrawBatchedQuad(BorderCinemaTexture, topBand, 1.0f);
    DrawBatchedQuad(BorderCinemaTexture, bottomBand, 1.0f);
    glEnd();
    SwitchDepthTest(true);
    SwitchDepthWrite(true);
}

void InitEngineResources() {
    GetCursorScreenPos(&CursorPos.x, &CursorPos.y);
    GetCursorScreenPos(&LastCursorPos.x, &LastCursorPos.y);
    OpenDataPacks();
    ResetWobble();
    LoadGameSettings();
    ApplyGameSettings();
    RenderState.currentFont = RenderState.gameFont;
    RenderState.currentFontSize = RenderState.gameFontSize;
    RenderState.normalizationCubeMap = CreateNormalizationCubeMap();
    RenderState.blankTexture = CreateBlankTexture();
    RenderState.skyCubeMap = LoadSkyCubeMap();
    SunReflectTexture = LoadTexture("MAPS/SunReflect.Img", 1, 0);
    ThunderTexture = LoadTexture("MAPS/Thunder.Img", 1, 1);
    BorderCinemaTexture = LoadTexture("MAPS/BorderCinema.Img", 0, 0);
    ResetAnimDefaults();
    AllocObjectLists();
    CurrentPlaylist = CreateMusicPlaylist();
    if (NztEntity* player = GetEntityType(GameSettings.playerType); player != nullptr) {
        for (int i = 0; i < 3; ++i) player->Position[i] = player->PreviousPosition[i] = 0.0f;
    }
    LaunchEffectTypeIndex = GetObjectTypeIndex("EFFECTS/Launch1001", 1);
    if (EntityCount != 0 && EntityList != nullptr && EntityList[0] != nullptr) {
        NztEntity* player = EntityList[0];
        SetPlayerEntity(player);
        player->inputDriven = 1;
        player->animStateMachine = 1;
        if (player->riddenEntity != nullptr) player->riddenEntity->steeredByRider = 1;
        SetCameraMode(4);  // behind the player until a scene chooses otherwise
    }
    LoadLensFlares();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    GlSwapBuffers(RenderState.deviceContext);
    SwitchVertexArray(true);
    SwitchColorArray(false);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    SwitchAlphaTest(true);
}

void ShutdownEngine() {
    if (NetClient != nullptr) {
        NetClient->Disconnect(0, 0);
        DestroyNetClientInterface(NetClient);
        NetClient = nullptr;
    }
    CloseVideo();
    DestroyAllInventories();
    DestroyAllCounters();
    DestroyAllGameMaps();
    DestroyAllGameUIs();
    CloseImagePanel();
    for (uint32_t i = 0; ConsoleWnd != nullptr && i < WndCount; ++i) {
        if (WndList[i] == ConsoleWnd) {
            DestroyWnd(ConsoleWnd, 1);
            ConsoleWnd = nullptr;
        }
    }
    GameEventObject.ClearEvents();
    ClearMusicPlaylist();
    DeleteAllEventTriggers();
    FreeDeferredActionTables();
    DeleteAllTrajects();
    for (int i = 13; i >= 0; --i) ReleaseIfSet(LensFlareTextures[i]);
    FreeCollideGrid();
    RemoveAllThunders();
    RemoveAllTrails();
    RemoveAllEntities();
    RemoveAllScnObjects();
    DeleteAllCollideObjects();
    DeleteAllDynObjects();
    RemoveAllSfx();
    DeleteAllGameLights();
    DeleteAllLights();
    FreeAllSfxDefs();
    FreeSkyObjects();  // the sky meshes belong to the mesh library
    DeleteAllMeshData();
    DeleteAllAnims();
    ReleaseIfSet(BorderCinemaTexture);
    ReleaseIfSet(ThunderTexture);
    ReleaseIfSet(SunReflectTexture);
    MusicFade.gain = 0.0f;
    MusicFade.state = 0;
    MasterSoundFade.gain = 0.0f;
    MasterSoundFade.state = 0;
    StopAllSounds();
    SetMasterSoundGain(SoundVolume);
    FreeTypeTables();
    FreeGtxTable();
    FreeEnvironmentZones();
    FreeObjectLists();
    DeletePackList();
    PlayerEntity = nullptr;
}
