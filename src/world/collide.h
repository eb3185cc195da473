// Collision objects and the collision grid.
#pragma once

void FreeCollideGrid();
#include <cstdint>
uint32_t BuildCollideGrid();
