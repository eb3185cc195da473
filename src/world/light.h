// Lights.
#pragma once

#include <cstdint>

#include "world/base3d.h"

class NztLight : public NztBase3D, public NztController {
public:
    NztLight() { kind = ObjectKindLight; }

    // The light sits on this object or its attach point; its spot target likewise.
    NztBaseObject* followedObject = nullptr;
    int32_t followedPoint = 0;
    NztBaseObject* targetObject = nullptr;
    int32_t targetPoint = 0;
};
