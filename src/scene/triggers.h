// Trigger zones.
#pragma once

#include <cstdint>

void UpdateRegisteredTriggers();
uint32_t BroadcastToRegisteredTriggers(uint32_t code);
void DeleteAllEventTriggers();
