// Collision queries over the collision grid and the characters.
#pragma once

#include <cstdint>

#include "core/nztmath.h"

class NztBase3D;
class NztBaseObject;

// What the sphere queries move.
struct CollisionBody {
    Vec3 centre{0.0f, 0.0f, 0.0f};
    float heightOffset = 0.0f;
    float radius = 0.0f;
};

// Filled by the sweeps.
struct SweepHitRecord {
    uint32_t touchedType = 0;
    NztBase3D* touchedObject = nullptr;
    uint32_t hitType = 0;
    Vec3 normal{0.0f, 0.0f, 0.0f};
    NztBase3D* object = nullptr;
};

// Filled by FindStandingSurface.
struct StandingProbe {
    uint32_t hitType = 0;
    float normal[3] = {};
    NztBase3D* object = nullptr;
};

uint32_t FindStandingSurface(const Vec3& point, float step, float defaultHeight, float* floor, float* surface,
                             StandingProbe* probe, NztBase3D* asker);
float NearestSurface(const Vec3& point, float range, float defaultHeight);
uint32_t SweepCollisionBody(CollisionBody* body, Vec3* motion, SweepHitRecord* hit);
uint32_t ComputeSurfaceTilt(NztBaseObject* object, int32_t* pitch, int32_t* roll);
uint32_t ComputeGroundTilt(NztBaseObject* object, int32_t* pitch, int32_t* roll);

// Fills the hit buffer with the triangles crossed by the segment (start x, y, z, end x, y, z).
void CollideSegment(const float segment[6], NztBase3D* asker);
// Hit type of the solid hit nearest to start in the buffer CollideSegment just filled, the point
// written to point; 0 when there is none.
uint32_t CollideSegmentNearest(const float start[3], const float end[3], float point[3]);
// Floor and surface heights at point; 1 when a water surface lies above the floor.
int32_t GroundHeightAt(const float point[3], float step, float defaultHeight, float* floor, float* surface);
