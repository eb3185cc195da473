// Scene objects: the static or key-animated mesh objects a scene places (buildings, props, doors,
// platforms). The class itself stands in objects/base3d.h with the rest of the tree; its operations
// live in world/scnobject.cpp.
//
// Packed angles: the first word holds the angle about x in bits 0-11 and the angle about y in bits
// 12-23, the second word the angle about z in bits 0-11; the other bits are kept.
#pragma once

#include "objects/base3d.h"

inline constexpr float ScnObjectRange = 1000.0f;
