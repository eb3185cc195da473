// Trails.
#pragma once

#include <cstdint>

#include "world/base3d.h"

class NztTrail : public NztBase3D {
public:
    NztTrail() { kind = ObjectKindTrail; }

    NztBaseObject* owner = nullptr;  // object whose attach points are followed
    float widthFactor = 1.0f;
    float timer = 0.0f;  // seconds since start
    uint32_t running = 0;
    uint32_t fading = 0;

    // A running trail stops and fades out; a stopped or fading one is left as it is.
    void Stop();
    void SetParams(const TrailParams& params);
};

// What an event gives a trail.
struct TrailParams {
    int32_t segmentCount = 0;
    float followFactor = 0.0f;
    float followJitter = 0.0f;
    float duration = 0.0f;
    float opacity = 0.0f;
    float fadeFactor = 0.0f;
    int32_t blendMode = 0;
    char textureName[256] = {};
};

NztTrail* CreateTrail(NztBaseObject* object, char letter);

// The live trails.
extern NztTrail** TrailList;
extern uint32_t TrailCount;
// Unregisters, releases and destroys trail index; the tail moves down.
void RemoveTrailAt(uint32_t index);
void RemoveAllTrails();
