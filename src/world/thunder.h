// Thunder bolts.
#pragma once

#include <cstdint>

#include "world/base3d.h"

class NztThunder : public NztBase3D {
public:
    NztThunder() { kind = ObjectKindThunder; }

    NztBaseObject* startObject = nullptr;
    NztBaseObject* endObject = nullptr;
    NztBaseObject* notedObject = nullptr;  // the object whose effects made the bolt
};

// The live bolts.
extern NztThunder** ThunderList;
extern uint32_t ThunderCount;
void RemoveAllThunders();
