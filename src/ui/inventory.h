// Inventories.
#pragma once

#include "world/events.h"

class NztInventory : public NztEventObject {
public:
    NztInventory() { kind = ObjectKindInventory; }
};

void DestroyAllInventories();
