// Whether a bounding box can appear on the screen, judged on its eight corners projected with
// the current camera exactly as ProjectToScreen does. Pure arithmetic on the render state's
// camera matrix, focal length and clipRect: no GL call, no allocation.
#pragma once

#include <cstdint>

// corners: the eight box corners in world space. Writes the nearest corner depth (for sorting)
// and answers 1 when the box may be visible: not wholly behind the camera (farthest depth below
// 1.0), its nearest corner not beyond limit, and its screen extent touching clipRect.
std::uint32_t IsBoxVisible(const float corners[8][3], float& nearestDepth, float limit);

// The same for a box given by its centre and half extents; the depth is not reported.
std::uint32_t IsSfxVisible(const float center[3], const float halfExtents[3], float limit);
