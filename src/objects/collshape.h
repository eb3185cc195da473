// What collision is made of and what its queries hand back: the triangles and grid cells a
// collision object (NztCollideObject, objects/base3d.h) keeps of its mesh, the sphere the sweeps move,
// and the records the sweeps and the standing probe fill. The grids are built and searched by
// collision/collide.h, the queries are collision/collquery.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/nztmath.h"

class NztBase3D;

// Hit types: the material word of a collision triangle.
inline constexpr uint32_t HitTypeNone = 0;   // takes no part in collision
inline constexpr uint32_t HitTypeWater = 3;  // a water surface
inline constexpr uint32_t HitTypeTouch = 8;  // reported, never blocks
// Every other value is a solid surface.

struct CollisionTriangle {
    Vec3 v[3];          // world space
    Vec3 normal;        // unit, or zero for a degenerate triangle
    uint32_t material;  // the hit type
};

// A grid cell: a box and what lies within 10.0 of it. An object grid's cell holds triangle
// indices, a view into the one list the object keeps for all its cells (gridEntries), so that a
// grid is three allocations however many cells it has; the global grid's cells hold scene objects.
struct CollisionCellEntries {
    const uint32_t* first = nullptr;
    size_t count = 0;
    const uint32_t* begin() const { return first; }
    const uint32_t* end() const { return first + count; }
    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    uint32_t operator[](size_t i) const { return first[i]; }
};
struct CollisionCell {
    Vec3 boxMin{0.0f, 0.0f, 0.0f};
    Vec3 boxMax{0.0f, 0.0f, 0.0f};
    CollisionCellEntries entries;
};

// How far beyond its box a cell takes triangles or objects.
inline constexpr float CollisionCellMargin = 10.0f;

// What the sphere queries move.
struct CollisionBody {
    Vec3 centre{0.0f, 0.0f, 0.0f};
    float heightOffset = 0.0f;  // kept for the owner; the queries do not read it
    float radius = 0.0f;
};

// Filled by the slides and sweeps.
struct SweepHitRecord {
    uint32_t touchedType = 0;  // 8 when a type-8 surface was touched
    NztBase3D* touchedObject = nullptr;
    uint32_t hitType = 0;  // of the last blocking surface
    Vec3 normal{0.0f, 0.0f, 0.0f};
    NztBase3D* object = nullptr;
};

// Filled by FindStandingSurface: the floor it chose (type 0, zero normal, null without one).
struct StandingProbe {
    uint32_t hitType = 0;
    float normal[3] = {};
    NztBase3D* object = nullptr;
};
