#include "world/sfx.h"

void RemoveAllSfx() {}
