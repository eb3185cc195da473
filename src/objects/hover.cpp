#include "objects/hover.h"

#include "objects/base3d.h"
#include "objects/registry.h"

NztEventObject* (*HoverPick)(int32_t x, int32_t y) = PickEntityOnRayInReach;

namespace {
uint32_t Hovered = 0;  // handle; resolves to null once the object is destroyed
}

NztEventObject* HoveredObject() { return ResolveEventObject(Hovered); }

void ClearHoveredObject() { Hovered = 0; }

int32_t UpdateMouseHover(int32_t x, int32_t y) {
    NztEventObject* found = HoverPick ? HoverPick(x, y) : nullptr;
    NztEventObject* previous = ResolveEventObject(Hovered);
    if (found == nullptr) {
        Hovered = 0;
        if (previous) previous->SendEvent(61, 0, 0, 0);
        return 0;
    }
    if (found != previous) {
        const uint32_t next = found->Handle();
        Hovered = next;
        if (previous) previous->SendEvent(61, 0, 0, 0);
        // The leave event may have destroyed what was found.
        if (NztEventObject* now = ResolveEventObject(next)) now->SendEvent(60, 0, 0, 0);
    }
    return 1;
}
