// The script commands of the head-up objects: counters (action 32), game interfaces (33),
// inventories (34) and game maps (35). Param is the object's 0-based index in its list, Param2 the
// sub-code; an index outside the list or an unknown sub-code does nothing. Texts come from Text2
// (file names, image stems) and a game-map marker is named by ShortName for every sub-code that
// adds, removes or changes one.
//
// A marker (action 35 sub-code 5) reads its values from the record's V slots:
//   V0, V2  world x and z of a fixed marker (mode 0)
//   V3, V4  width and height, virtual units
//   V5      mode (integer): 0 fixed at (V0, V2), 1 fixed where the target object stands,
//           2 following the target object
//   V6, V7  anchor, as fractions of the marker's width and height
//   V8      not 0: a following marker turns with the object's heading
//   V9      opacity
#pragma once

#include <cstdint>

struct EventRecord;

void SetObjectValueAction(EventRecord* record);   // 32
void SetGameUIAction(EventRecord* record);        // 33
void InventoryCommandAction(EventRecord* record); // 34
void GameMapCommandAction(EventRecord* record);   // 35

// Registers the four actions, the kind lists of counters, game interfaces, inventories and game
// maps, and the hook that takes an activated object out of the inventories.
void InstallHudEvents();

// Starts a network session with a host name (null: none); installed by the game.
extern bool (*HudStartNetworkSession)(const char* host);
