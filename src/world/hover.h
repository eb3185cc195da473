// Mouse hover events on world objects.
#pragma once

#include <cstdint>

void UpdateMouseHover(int32_t x, int32_t y);
