#include "world/events.h"

NztEventObject GameEventObject;

uint32_t NztEventObject::SendEvent(uint32_t, uint32_t, uint32_t, uint32_t) { return 0; }
void NztEventObject::ClearEvents() {}
void NztEventObject::CopyEvents(const NztEventObject*) {}
uint32_t NztEventObject::TestThresholdEvents(float, float, float) { return 0; }
void RunDeferredActions() {}
void UpdateDelayedActions() {}
void FreeDeferredActionTables() {}
void BroadcastEvent(uint32_t) {}
void BroadcastStartEvent() {}
void UpdateAllObjectEvents() {}
void ClearDelayedActions() {}
void ResetDeferredActions() {}
void ForceFinishTimers() {}
