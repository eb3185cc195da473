// The event system: event objects, sending, deferred and delayed actions.

// world/base3d.h defines NztBase3D and then includes this file for NztEventObject, which the rest of
// the class tree derives from; the guard sits below this include so that either header may come
// first.
#include "world/base3d.h"

#ifndef QUORVANE_WORLD_EVENTS_H
#define QUORVANE_WORLD_EVENTS_H

#include <cstdint>
#include <vector>

#include "world/userprop.h"

struct EventRecord;

class NztEventObject : public NztBase3D {
public:
    uint32_t SendEvent(uint32_t code, uint32_t a, uint32_t b, uint32_t c);
    void ClearEvents();
    // Replaces the object's event records with a copy of other's.
    void CopyEvents(const NztEventObject* other);
    uint32_t TestThresholdEvents(float x, float a, float b);

    int32_t eventRecordCount = 0;
    EventRecord* eventRecords = nullptr;
    uint8_t hoverFlag = 0;  // 1: the object reacts to the mouse hovering over it
    int32_t eventWord1 = 0;
    int32_t eventWord2 = 0;
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

#endif  // QUORVANE_WORLD_EVENTS_H
