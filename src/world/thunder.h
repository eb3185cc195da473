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
    uint32_t texture = 0;
    float duration = 0.0f;  // seconds; 0 = no limit
    float remaining = 0.0f;
    uint32_t active = 0;
    int32_t startPoint = -1;  // attach point of the start object; negative = its position
    int32_t endPoint = -1;
    float startPosition[3] = {0.0f, 0.0f, 0.0f};
    float endPosition[3] = {0.0f, 0.0f, 0.0f};
    int32_t spellIndex = 0;
    void (*endCallback)(NztThunder* bolt) = nullptr;  // run when the duration is over
};

// A new inactive bolt in the thunder list.
NztThunder* CreateThunder();

// The live bolts.
extern NztThunder** ThunderList;
extern uint32_t ThunderCount;
void RemoveAllThunders();
