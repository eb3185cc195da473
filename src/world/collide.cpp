#include "world/collide.h"

void FreeCollideGrid() {}
uint32_t BuildCollideGrid() { return 0; }
