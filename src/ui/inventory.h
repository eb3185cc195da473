// Inventories.
#pragma once

#include "scene/events.h"

class NztInventory : public NztEventObject {
public:
    NztInventory() { kind = ObjectKindInventory; }
};

void DestroyAllInventories();
