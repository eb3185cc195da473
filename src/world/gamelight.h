// Game lights.
#pragma once

#include "scene/events.h"

class NztGameLight : public NztEventObject {
public:
    NztGameLight() { kind = ObjectKindGameLight; }

    void SyncLight();
};

void DeleteAllGameLights();
