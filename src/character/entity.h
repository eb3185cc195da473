// The character.
#pragma once

#include <cstdint>

#include "scene/events.h"

class NztEntity : public NztEventObject {
public:
    float PreviousPosition[3] = {};
    uint32_t inputDriven = 0;
    uint32_t animStateMachine = 0;
    uint32_t steeredByRider = 0;
    NztEntity* riddenEntity = nullptr;
    NztBase3D* parent = nullptr;
};
