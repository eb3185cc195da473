// Start-up wiring of the event system: the action table, the object lists of the interface floor
// and the pointer test of inventory items.
#pragma once

void InstallEventWiring();
