#include "game/eventwiring.h"

#include "game/entry.h"
#include "game/frame.h"
#include "game/level.h"
#include "platform/wincodes.h"
#include "scene/actions.h"
#include "ui/counter.h"
#include "net/netclient.h"
#include "ui/gameui.h"
#include "ui/hudactions.h"
#include "world/actions.h"
#include "world/base3d.h"
#include "world/objlookup.h"

namespace {

int32_t PointerHitTest(NztEventObject* object) {
    auto* o = dynamic_cast<NztBaseObject*>(object);
    if (o == nullptr) return 0;
    float depth = 0.0f;
    return o->PickTest(PointerPosition.x, PointerPosition.y, &depth);
}

// The scene floor's actions reach run modes, frame functions and the main window through these.
void InstallSceneActionHooks() {
    SceneActions.runMode = [] { return RunMode.current; };
    SceneActions.enterVideoMode = [] { SetRunMode(RunModeVideo); };
    SceneActions.selectFrame = [](bool gameFrame) {
        RunMode.previous = RunMode.current;
        RunMode.current = gameFrame ? RunModeGame : RunModeEditor;
        FrameFunction = gameFrame ? GameFrame : EditorFrame;
    };
    SceneActions.setTimeScale = [](float scale) { FrameTiming.timeScale = scale; };
    SceneActions.closeMainWindow = [] { MainWndProc(MainWindow, WM_CLOSE, 0, 0); };
    SceneActions.startLevel = StartLevel;
    SceneActions.saveSlot = DoSaveSlotAction;
}

}  // namespace

void InstallEventWiring() {
    ResetEventActions();
    RegisterSceneActions();
    InstallSceneActionHooks();
    EventKindList counters;
    counters.count = [] { return CounterCount; };
    counters.at = [](int32_t i) -> NztEventObject* { return CounterList[i]; };
    counters.name = [](const NztEventObject* o) -> const char* { return static_cast<const NztCounter*>(o)->name; };
    SetEventKindList(ObjectKindCounter, counters);
    EventKindList gameUIs;
    gameUIs.count = [] { return GameUICount; };
    gameUIs.at = [](int32_t i) -> NztEventObject* { return GameUIList[i]; };
    SetEventKindList(ObjectKindGameUI, gameUIs);
    EventPointerHitTest = PointerHitTest;
    InstallHudEvents();
    HudPointerPosition = [](int32_t* x, int32_t* y) {
        *x = PointerPosition.x;
        *y = PointerPosition.y;
    };
    HudStartNetworkSession = StartNetworkSession;
}
