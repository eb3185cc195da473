// Game maps.
#pragma once

#include "scene/events.h"

class NztGameMap : public NztEventObject {
public:
    NztGameMap() { kind = ObjectKindGameMap; }
};

void DestroyAllGameMaps();
