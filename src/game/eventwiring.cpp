#include "game/eventwiring.h"

#include "eventactions/eventactions.h"
#include "game/entry.h"
#include "game/frame.h"
#include "game/level.h"
#include "net/netclient.h"
#include "objects/actions.h"
#include "objects/base3d.h"
#include "objects/objlookup.h"
#include "platform/wincodes.h"
#include "scene/actions.h"
#include "scene/entityactions.h"
#include "ui/gameui.h"
#include "ui/hudactions.h"

namespace {

void PointerAt(int32_t* x, int32_t* y) {
    *x = PointerPosition.x;
    *y = PointerPosition.y;
}

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
    EventPointerHitTest = PointerHitTest;
    // The interface registers its kinds (counters, game interfaces, inventories, maps) and actions.
    InstallHudEvents();
    HudPointerPosition = PointerAt;
    HudStartNetworkSession = StartNetworkSession;
    RegisterCharacterActions();
    RegisterSceneEntityActions();
    ImagePanelPointer = PointerAt;
}
