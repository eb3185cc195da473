#include "world/collide.h"

void FreeCollideGrid() {}
