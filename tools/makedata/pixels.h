// Small helpers for the images makedata draws pixel by pixel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "datakit/image.h"

namespace sample {

inline uint8_t Byte(float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

inline void SetPixel(datakit::Rgba& image, uint32_t x, uint32_t y, float r, float g, float b, float a) {
    uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
    p[0] = Byte(r);
    p[1] = Byte(g);
    p[2] = Byte(b);
    p[3] = Byte(a);
}

// Signed distance of the pixel centre from the image centre, in half-sizes (-1..1).
inline float Centred(uint32_t i, uint32_t size) {
    return (static_cast<float>(i) + 0.5f) / static_cast<float>(size) * 2.0f - 1.0f;
}

}  // namespace sample
