// Lights: point and spot lights with a colour, an inner and an outer range; the ones near the
// camera stand in the near-light list that per-vertex mesh lighting walks.
#pragma once

#include <cstdint>

#include "world/base3d.h"

class NztLight : public NztBase3D, public NztController {
public:
    NztLight();

    uint32_t Active = 1;
    uint32_t LightKind = 1;  // 0-4 point kinds, 5-7 spot kinds
    float TargetPosition[3] = {};
    float Direction[3] = {};  // unit vector from the target to the light
    float Colour[3] = {1.0f, 1.0f, 1.0f};
    float OuterRange = 250.0f;
    float OuterRangeSquared = 62500.0f;
    float InverseOuterRange = 0.004f;
    float InnerRange = 0.0f;
    float BaseIntensity = 1.0f;
    float Intensity = 1.0f;
    float TargetDistance = 1.0f;
    float InverseTargetDistance = 0.0f;
    float InverseTargetDistance2 = 0.0f;
    float OuterConeCosine = 0.0f;
    float InnerConeCosine = 0.0f;
    float InverseRangeSpan = 0.004f;
    float FacingBias = 0.0f;

    // The light sits on this object or its attach point; its spot target likewise.
    NztBaseObject* followedObject = nullptr;
    int32_t followedPoint = 0;
    NztBaseObject* targetObject = nullptr;
    int32_t targetPoint = 0;

    void Release() {}
};
