// Objects by kind: the lookups that turn an event record's (kind, index or id) pair or a name into
// an object, the display names, and taking objects out of the world, back in, destroying and
// cloning them with their event records.
//
// Scene objects, characters and triggers have their lists on this floor; the game lights' list is
// effects/gamelight.cpp's, which gives it here (GameLightKind); counters, game interfaces, inventories
// and game maps live higher up, whose owners install their lists here at start-up
// (SetEventKindList). Main thread only.
#pragma once

#include <cstdint>

class NztEventObject;

// A list of one kind, as its owner keeps it.
struct EventKindList {
    int32_t (*count)() = nullptr;
    NztEventObject* (*at)(int32_t index) = nullptr;  // index in [0, count)
    const char* (*name)(const NztEventObject* object) = nullptr;  // display name; null: "Abstract"
};
// Kind 6, the game lights: effects/gamelight.cpp defines it.
extern const EventKindList GameLightKind;
// For kinds 12 (counter), 13 (game interface), 14 (inventory) and 15 (game map); other kinds are
// refused. An empty list clears the kind.
void SetEventKindList(int32_t kind, const EventKindList& list);
void ResetEventKindLists();
// The hook by which activation takes an object out of the inventories that hold it; answers
// non-zero when any did (the inventories are laid out again by the hook).
extern int32_t (*RemoveItemFromInventoriesHook)(NztEventObject* object);

// Number of objects in the kind's list; 0 for a kind without one.
int32_t EventKindCount(int32_t kind);
const char* GetEventObjectName(const NztEventObject* object);
// Null for a kind without a list (below 4, 7 to 10, above 15) or an index outside it.
NztEventObject* GetObjectByKind(int32_t kind, int32_t index);
// The live scene object (kind 4) or character (kind 5) with that id; null otherwise.
NztEventObject* FindSceneObject(int32_t kind, int32_t id);
// Index of the last object of the kind whose name equals name ignoring case; -1 when none.
int32_t FindObjectIndexByName(int32_t kind, const char* name);

void ActivateObject(NztEventObject* object);
void DeactivateObject(NztEventObject* object);
void DeactivateObjectForInventory(NztEventObject* object);
void DestroySceneObject(NztEventObject* object);
// A new scene object or character like object with a copy of its records; null otherwise.
NztEventObject* CloneEventObject(NztEventObject* object);
// clone's records := source's, with references to source renamed to clone, countdowns cleared.
void CopyEventsForClone(const NztEventObject* source, NztEventObject* clone);

// The object-link remapping after an object was destroyed (installed by the scene floor).
extern void (*RemapObjectLinksHook)();
// The global collision grid made again after a scene object was destroyed; collision/collide.cpp
// defines it.
extern void (*RebuildCollideGridHook)();
