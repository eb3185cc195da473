#include "game/eventwiring.h"

#include "character/eventactions.h"
#include "game/entry.h"
#include "scene/entityactions.h"
#include "ui/counter.h"
#include "ui/gameui.h"
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

}  // namespace

void InstallEventWiring() {
    ResetEventActions();
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
    RegisterCharacterActions();
    RegisterSceneEntityActions();
    ImagePanelPointer = [](int32_t* x, int32_t* y) {
        *x = PointerPosition.x;
        *y = PointerPosition.y;
    };
}
