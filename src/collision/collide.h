// Collision grids. A collision object (NztCollideObject, objects/base3d.h) keeps its mesh's collision
// copy posed in world space, one CollisionTriangle per mesh triangle (objects/collshape.h), and a grid
// of its own over them; on top of the objects one global 5 x 5 grid over the colliding scene objects
// lets a query look at a single cell. Both grids give every cell what lies within 10.0 of it, so
// a query near a cell border still finds everything in the one cell. Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "core/nztmath.h"
#include "objects/collshape.h"

class NztCollideObject;
class NztScnObject;

struct CollideGridCell {
    Vec3 boxMin{0.0f, 0.0f, 0.0f};
    Vec3 boxMax{0.0f, 0.0f, 0.0f};
    std::vector<NztScnObject*> entries;
};

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
