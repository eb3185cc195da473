#include "game/eventwiring.h"

#include "character/eventactions.h"
#include "game/entry.h"
#include "net/netclient.h"
#include "scene/entityactions.h"
#include "ui/gameui.h"
#include "ui/hudactions.h"
#include "world/actions.h"
#include "world/base3d.h"
#include "world/objlookup.h"

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

}  // namespace

void InstallEventWiring() {
    ResetEventActions();
    // The interface registers its kinds (counters, game interfaces, inventories, maps) and actions.
    EventPointerHitTest = PointerHitTest;
    InstallHudEvents();
    HudPointerPosition = PointerAt;
    HudStartNetworkSession = StartNetworkSession;
    RegisterCharacterActions();
    RegisterSceneEntityActions();
    ImagePanelPointer = PointerAt;
}
