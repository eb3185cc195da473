#include "game/hooks.h"

#include "audio/music.h"
#include "camera/camera.h"
#include "character/entity.h"
#include "core/frameclock.h"
#include "core/input.h"
#include "game/frame.h"
#include "objects/events.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "ui/inventory.h"
#include "ui/panel.h"
#include "ui/wnd.h"
#include "world/framepass.h"

namespace {

// The game half of input: clicks go to the windows first, then to the object under the pointer;
// the wheel to the player, or to the character it rides.
NztEventObject* PickObject(int32_t x, int32_t y) { return PickEntityOnRay(x, y); }

NztEventObject* PlayerWheelTarget() {
    if (!PlayerEntity) return nullptr;
    if (PlayerEntity->riddenEntity) return PlayerEntity->riddenEntity;
    return PlayerEntity;
}

void SendObjectEvent(NztEventObject* object, uint32_t code) { object->SendEvent(code, 0, 0, 0); }

// The window toolkit takes (x, y, flags); the input handlers are given (flags, x, y).
int32_t WndsLButtonDown(uint32_t flags, int32_t x, int32_t y) {
    return static_cast<int32_t>(DispatchLButtonDownToWnds(x, y, flags));
}
int32_t WndsLButtonDblClk(uint32_t flags, int32_t x, int32_t y) {
    return static_cast<int32_t>(DispatchLButtonDblClkToWnds(x, y, flags));
}
int32_t WndsMouseWheel(int32_t x, int32_t y, int32_t delta) {
    return static_cast<int32_t>(DispatchMouseWheelToWnds(x, y, delta));
}

int32_t CurrentCameraMode() { return CameraMode; }

// Music events go to the game event object.
void SendMusicEventToGame(uint32_t code) { GameEventObject.SendEvent(code, 0, 0, 0); }

}  // namespace

void InstallEngineHooks() {
    RunModeChanger = SetRunMode;
    // What the world asks of characters and spells (frame spells of scene objects need it before
    // the first character is made).
    InstallCharacterLinks();

    InputHooks& input = EngineInputHooks;
    input.dispatchLButtonDown = WndsLButtonDown;
    input.dispatchLButtonDblClk = WndsLButtonDblClk;
    input.dispatchMouseWheel = WndsMouseWheel;
    input.pickEntityOnRay = PickObject;
    input.wheelTarget = PlayerWheelTarget;
    input.sendEvent = SendObjectEvent;
    input.cameraMode = CurrentCameraMode;
    ResetInputHooks();

    MusicEventSender = SendMusicEventToGame;
    ObjectBarsDrawer = DrawObjectBars;
    // The inventory keys run in the player's behaviour step, before its control.
    CharacterServices.inventoryKeys = HandleInventoryKeys;
}
