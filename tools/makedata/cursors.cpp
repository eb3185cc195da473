// The sample world's cursor file, for the event action that switches to a cursor from
// "CURSORS/".
#include <filesystem>
#include <string>

#include "datakit/cur.h"
#include "datakit/image.h"
#include "sample.h"

namespace {

// Outline of a pointing arrow with its tip at (0, 0), in pixels; drawn one pixel in from the
// corner so that its rim fits.
constexpr float kArrow[][2] = {{0.0f, 0.0f},   {0.0f, 24.0f},  {5.6f, 18.2f}, {9.8f, 28.0f},
                               {14.0f, 26.6f}, {9.8f, 16.8f},  {16.8f, 16.8f}};
constexpr int kArrowPoints = sizeof kArrow / sizeof kArrow[0];

// Even-odd test of the point against the arrow's outline.
bool InsideArrow(float x, float y) {
    bool inside = false;
    for (int i = 0, j = kArrowPoints - 1; i < kArrowPoints; j = i++) {
        const float* a = kArrow[i];
        const float* b = kArrow[j];
        if ((a[1] > y) != (b[1] > y) && x < (b[0] - a[0]) * (y - a[1]) / (b[1] - a[1]) + a[0]) inside = !inside;
    }
    return inside;
}

// A 32 x 32 gold arrow with a dark rim, hotspot on the tip; the rest is clear.
datakit::CurImage Pointer() {
    constexpr int32_t Size = 32;
    auto filled = [](int32_t x, int32_t y) {
        return x >= 0 && y >= 0 && x < Size && y < Size &&
               InsideArrow(static_cast<float>(x - 1) + 0.5f, static_cast<float>(y - 1) + 0.5f);
    };
    datakit::CurImage image;
    image.width = image.height = Size;
    image.hotX = image.hotY = 1;
    image.bitCount = 32;
    for (int32_t y = 0; y < Size; ++y)
        for (int32_t x = 0; x < Size; ++x) {
            bool rim = false;
            for (int32_t dy = -1; dy <= 1; ++dy)
                for (int32_t dx = -1; dx <= 1; ++dx) rim = rim || filled(x + dx, y + dy);
            // Fill shaded from light at the tip to deeper gold at the tail.
            uint32_t shade = static_cast<uint32_t>(0xF0 - 3 * y);
            image.pixels.push_back(filled(x, y) ? 0xFF000000u | 0xFF0000u | shade << 8 | 0x40u
                                   : rim        ? 0xFF201810u
                                                : 0u);
        }
    return image;
}

}  // namespace

bool WriteSampleCursors(const std::string& datasFolder) {
    const std::filesystem::path path = std::filesystem::path(datasFolder) / "CURSORS" / "Pointer.cur";
    return datakit::WriteImageBytes(path.string(), datakit::WriteCur({Pointer()}));
}
