// The root of the world-object class tree.
#pragma once

#include <cstdint>

class NztController {
public:
    virtual ~NztController() = default;
};

class NztBase3D {
public:
    virtual ~NztBase3D() = default;
    int32_t kind = 1;
    int32_t id = -1;
    float Position[3] = {};
    float headHeight = 0.0f;  // height of the head point above Position
};
