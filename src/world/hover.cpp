#include "world/hover.h"

void UpdateMouseHover(int32_t, int32_t) {}
