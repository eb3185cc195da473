#include "world/triggers.h"

void UpdateRegisteredTriggers() {}
uint32_t BroadcastToRegisteredTriggers(uint32_t) { return 0; }
void DeleteAllEventTriggers() {}
