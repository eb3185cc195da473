// Collision triangles and grids. A collision object (NztCollideObject, world/base3d.h) keeps its
// mesh's collision copy posed in world space, one CollisionTriangle per mesh triangle, and a grid of
// its own over them; on top of the objects one global 5 x 5 grid over the colliding scene objects
// lets a query look at a single cell. Both grids give every cell what lies within 10.0 of it, so
// a query near a cell border still finds everything in the one cell. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/nztmath.h"

class NztCollideObject;
class NztScnObject;

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
struct CollideGridCell {
    Vec3 boxMin{0.0f, 0.0f, 0.0f};
    Vec3 boxMax{0.0f, 0.0f, 0.0f};
    std::vector<NztScnObject*> entries;
};

// How far beyond its box a cell takes triangles or objects.
inline constexpr float CollisionCellMargin = 10.0f;
// The global grid is 5 x 5 cells.
inline constexpr uint32_t CollideGridSide = 5;
inline constexpr uint32_t CollideGridCellCountFull = CollideGridSide * CollideGridSide;

// The global grid: 0 or 25 cells (kept even when empty) and the cell the last search found
// (-1: none).
extern uint32_t CollideGridCellCount;
extern std::vector<CollideGridCell> CollideGridCells;
extern int32_t CurrentCollideCell;

// Rebuilds the global grid over the scene objects (owning list) with collision; the cell count,
// 0 when none has any (the old cells are then left alone but no longer searched).
uint32_t BuildCollideGrid();
void FreeCollideGrid();
// Drops the object from every cell of the global grid (it is going away).
void RemoveFromCollideGrid(const NztCollideObject* object);

// The cell whose x and z ranges hold the point within 0.1 (height ignored), searched from the last
// cell, so a point on a shared border belongs to the later cell; -1 when none. Both searches also
// store their answer in CurrentCollideCell.
int32_t FindCollideCellAt(const Vec3& point);
// The same search for the cell whose top or bottom face the segment meets.
int32_t FindCollideCellOnSegment(const Vec3& a, const Vec3& b);
