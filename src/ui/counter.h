// Counters.
#pragma once

#include "scene/events.h"

class NztCounter : public NztEventObject {
public:
    NztCounter() { kind = ObjectKindCounter; }
};

void DestroyAllCounters();
