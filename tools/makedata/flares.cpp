#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "datakit/image.h"
#include "sample.h"

namespace {

// One lens-flare sprite: a soft disc, a ring or a hard-edged disc in one tint. The flares are
// added to the picture, so black is transparent and alpha is left opaque.
datakit::Rgba FlareSprite(int index) {
    constexpr uint32_t Size = 64;
    static const float Tints[3][3] = {{1.0f, 0.9f, 0.7f}, {0.6f, 0.8f, 1.0f}, {0.9f, 0.6f, 1.0f}};
    const float* tint = Tints[index % 3];
    const int shape = index % 4;
    datakit::Rgba image = datakit::SolidRgba(Size, Size, 0, 0, 0, 255);
    for (uint32_t y = 0; y < Size; ++y)
        for (uint32_t x = 0; x < Size; ++x) {
            const float dx = (static_cast<float>(x) + 0.5f) / Size * 2.0f - 1.0f;
            const float dy = (static_cast<float>(y) + 0.5f) / Size * 2.0f - 1.0f;
            const float d = std::min(1.0f, std::hypot(dx, dy));
            float k = 0.0f;
            if (shape == 0)
                k = (1.0f - d) * (1.0f - d);
            else if (shape == 1)
                k = std::max(0.0f, 1.0f - std::fabs(d - 0.8f) * 8.0f);
            else
                k = d < 0.9f ? 0.35f : 0.0f;
            uint8_t* p = &image.pixels[(static_cast<size_t>(y) * Size + x) * 4];
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::lround(std::clamp(k * tint[c], 0.0f, 1.0f) * 255.0f));
        }
    return image;
}

}  // namespace

bool WriteSampleFlares(const std::string& datasFolder) {
    namespace fs = std::filesystem;
    const fs::path maps = fs::path(datasFolder) / "MAPS";
    bool ok = true;
    for (int i = 0; i < 14; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "LensFlare%02d.Img", i);
        ok = datakit::WriteImageBytes((maps / name).string(), datakit::MakeImg32(FlareSprite(i))) && ok;
    }
    return ok;
}
