// The event system: event objects, sending, deferred and delayed actions.
#pragma once

#include <cstdint>

#include "world/base3d.h"

class NztEventObject : public NztBase3D {
public:
    uint32_t SendEvent(uint32_t code, uint32_t a, uint32_t b, uint32_t c);
    void ClearEvents();
};

extern NztEventObject GameEventObject;

void RunDeferredActions();
void UpdateDelayedActions();
// Frees both deferred-call tables and zeroes their counts and capacities.
void FreeDeferredActionTables();
void BroadcastEvent(uint32_t code);
void BroadcastStartEvent();
void UpdateAllObjectEvents();
void ClearDelayedActions();
void ResetDeferredActions();
void ForceFinishTimers();
