// Small pieces the head-up records (panels, counters, maps, inventories) share between their
// readers, writers and builders.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/binio.h"
#include "core/paths.h"

// v, or the fallback where v is NaN or infinite.
inline float FiniteOr(float v, float fallback) { return std::isfinite(v) ? v : fallback; }

// A fixed text field of N bytes: the text up to N - 1 characters, then zeros to the end.
template <size_t N>
void WriteFixedText(BinWriter& out, const char (&text)[N]) {
    const size_t n = strnlen(text, N - 1);
    out.Bytes(text, n);
    out.Zeros(N - n);
}

// "MAPS/UI/<stem>.Img" into out; false when the stem is null or empty or the name does not fit.
inline bool UiImageFile(char (&out)[300], const char* stem) {
    return stem != nullptr && stem[0] != 0 && FormatPath(out, sizeof out, "MAPS/UI/%s.Img", stem);
}

// Text colour channels (0 to 1) to the stored 0xFFRRGGBB word and back; NaN stores as 0 and each
// channel is clamped to 0..1 first.
inline uint32_t PackTextColour(const float colour[3]) {
    uint32_t packed = 0xFF000000u;
    for (int i = 0; i < 3; ++i) {
        float c = FiniteOr(colour[i], 0.0f);
        c = c < 0.0f ? 0.0f : (c > 1.0f ? 1.0f : c);
        packed |= uint32_t(std::lround(c * 255.0f)) << (16 - 8 * i);
    }
    return packed;
}

inline void UnpackTextColour(uint32_t packed, float colour[3]) {
    colour[0] = float((packed >> 16) & 0xFF) * 0.003921569f;
    colour[1] = float((packed >> 8) & 0xFF) * 0.003921569f;
    colour[2] = float(packed & 0xFF) * 0.003921569f;
}
