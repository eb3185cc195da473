#include "world/trail.h"

void RemoveAllTrails() {}
