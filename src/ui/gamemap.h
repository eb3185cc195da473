// Game maps.
#pragma once

#include "world/events.h"

class NztGameMap : public NztEventObject {
public:
    NztGameMap() { kind = ObjectKindGameMap; }
};

void DestroyAllGameMaps();
