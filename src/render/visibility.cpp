#include "render/visibility.h"

#include "render/renderstate.h"

namespace {

std::uint32_t JudgeCorners(const float corners[8][3], float& nearestDepth, float limit) {
  const NztRenderState& rs = RenderState;
  const float* m = rs.cameraMatrix;
  const float focal = rs.focalLength;
  float nearest = 0.0f, farthest = 0.0f, minX = 0.0f, maxX = 0.0f, minY = 0.0f, maxY = 0.0f;
  for (int i = 0; i < 8; ++i) {
    const float dx = rs.cameraPosition[0] - corners[i][0];
    const float dy = rs.cameraPosition[1] - corners[i][1];
    const float dz = rs.cameraPosition[2] - corners[i][2];
    const float depth = m[2] * dx + m[6] * dy + m[10] * dz;
    // Corners nearer than 1.0, behind the camera included, are not divided.
    const float s = depth < 1.0f ? focal : focal / depth;
    const float x = -(m[0] * dx + m[4] * dy + m[8] * dz) * s;
    const float y = (m[1] * dx + m[5] * dy + m[9] * dz) * s;
    if (i == 0) {
      nearest = farthest = depth;
      minX = maxX = x;
      minY = maxY = y;
      continue;
    }
    if (depth < nearest) nearest = depth;
    if (depth > farthest) farthest = depth;
    if (x < minX) minX = x;
    if (x > maxX) maxX = x;
    if (y < minY) minY = y;
    if (y > maxY) maxY = y;
  }
  nearestDepth = nearest;
  if (farthest < 1.0f || nearest > limit) return 0;
  const float left = rs.clipRect[0], top = rs.clipRect[1];
  const float right = rs.clipRect[2], bottom = rs.clipRect[3];
  if (minX > right || left > maxX || minY > bottom || top > maxY) return 0;
  return 1;
}

}  // namespace

std::uint32_t IsBoxVisible(const float corners[8][3], float& nearestDepth, float limit) {
  return JudgeCorners(corners, nearestDepth, limit);
}

std::uint32_t IsSfxVisible(const float center[3], const float halfExtents[3], float limit) {
  float corners[8][3];
  for (int i = 0; i < 8; ++i) {
    corners[i][0] = center[0] + ((i & 1) ? halfExtents[0] : -halfExtents[0]);
    corners[i][1] = center[1] + ((i & 2) ? halfExtents[1] : -halfExtents[1]);
    corners[i][2] = center[2] + ((i & 4) ? halfExtents[2] : -halfExtents[2]);
  }
  float nearest = 0.0f;
  return JudgeCorners(corners, nearest, limit);
}
