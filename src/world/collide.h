// Collision objects and the collision grid.
#pragma once

void FreeCollideGrid();
