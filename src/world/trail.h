// Trails.
#pragma once

#include <cstdint>

#include "world/base3d.h"

class NztTrail : public NztBase3D {
public:
    NztTrail() { kind = ObjectKindTrail; }

    NztBaseObject* owner = nullptr;  // object whose attach points are followed
    float widthFactor = 1.0f;
};

NztTrail* CreateTrail(NztBaseObject* object, char letter);

// The live trails.
extern NztTrail** TrailList;
extern uint32_t TrailCount;
// Unregisters, releases and destroys trail index; the tail moves down.
void RemoveTrailAt(uint32_t index);
void RemoveAllTrails();
