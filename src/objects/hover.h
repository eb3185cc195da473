// Mouse hover: the one object under the pointer that reacts to hovering gets event 60 when the
// pointer comes onto it and 61 when it leaves.
#pragma once

#include <cstdint>

class NztEventObject;

// 1 when an object lies under the pointer (client pixels), else 0.
int32_t UpdateMouseHover(int32_t x, int32_t y);
// The hovered object, or null; an object that was destroyed is forgotten.
NztEventObject* HoveredObject();
// Forgets the hovered object without an event (a scene load starts afresh).
void ClearHoveredObject();
// The pick under the pointer; the engine's is PickEntityOnRayInReach. Tests put fakes in its place.
extern NztEventObject* (*HoverPick)(int32_t x, int32_t y);
