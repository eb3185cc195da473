#include "sample.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "datakit/image.h"
#include "pixels.h"

namespace {

using sample::Centred;
using sample::SetPixel;

// Sun reflection: a warm glow whose opacity falls off with the square of the distance.
datakit::Rgba SunReflect() {
    datakit::Rgba image = datakit::SolidRgba(64, 64, 0, 0, 0, 0);
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 64; ++x) {
            float d = std::min(1.0f, std::hypot(Centred(x, 64), Centred(y, 64)));
            float glow = (1.0f - d) * (1.0f - d);
            SetPixel(image, x, y, 1.0f, 0.95f, 0.8f - 0.3f * d, glow);
        }
    return image;
}

// Thunder: a bright blue-white core along the texture's length, fading to the sides; it repeats
// along the bolt.
datakit::Rgba Thunder() {
    datakit::Rgba image = datakit::SolidRgba(32, 64, 0, 0, 0, 0);
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 32; ++x) {
            float flicker = 0.85f + 0.15f * std::sin(static_cast<float>(y) * 0.7f);
            float core = std::max(0.0f, 1.0f - std::fabs(Centred(x, 32)) * 1.6f) * flicker;
            SetPixel(image, x, y, 0.6f + 0.4f * core, 0.7f + 0.3f * core, 1.0f, core);
        }
    return image;
}

// Cinema borders: opaque black.
datakit::Rgba BorderCinema() { return datakit::SolidRgba(8, 8, 0, 0, 0, 255); }

// One sky face: the colour of the direction through each texel, from the ground below the horizon
// to a deep blue overhead. Directions follow the cube-map face layout (+X, -X, +Y, -Y, +Z, -Z).
datakit::Rgba SkyFace(int face) {
    constexpr uint32_t Size = 128;
    datakit::Rgba image = datakit::SolidRgba(Size, Size, 0, 0, 0, 255);
    for (uint32_t t = 0; t < Size; ++t)
        for (uint32_t s = 0; s < Size; ++s) {
            float a = Centred(s, Size), b = Centred(t, Size);
            const float dirs[6][3] = {{1, -b, -a}, {-1, -b, a}, {a, 1, b}, {a, -1, -b}, {a, -b, 1}, {-a, -b, -1}};
            const float* d = dirs[face];
            float up = d[1] / std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            if (up < 0.0f) {
                float k = std::min(1.0f, -up * 4.0f);
                SetPixel(image, s, t, 0.55f - 0.25f * k, 0.6f - 0.25f * k, 0.62f - 0.22f * k, 1.0f);
            } else {
                float k = std::sqrt(up);
                SetPixel(image, s, t, 0.78f - 0.55f * k, 0.86f - 0.45f * k, 0.96f - 0.12f * k, 1.0f);
            }
        }
    return image;
}

}  // namespace

bool WriteSampleImages(const std::string& datasFolder) {
    namespace fs = std::filesystem;
    fs::path maps = fs::path(datasFolder) / "MAPS";
    bool ok = datakit::WriteImageBytes((maps / "SunReflect.Img").string(), datakit::MakeImg32(SunReflect()));
    ok = datakit::WriteImageBytes((maps / "Thunder.Img").string(), datakit::MakeImg32(Thunder())) && ok;
    ok = datakit::WriteImageBytes((maps / "BorderCinema.Img").string(), datakit::MakeImg32(BorderCinema())) && ok;
    static const char* const Faces[6] = {"xpos", "xneg", "ypos", "yneg", "zpos", "zneg"};
    for (int f = 0; f < 6; ++f)
        ok = datakit::WriteImageBytes((maps / "CubeMap" / (std::string(Faces[f]) + ".Img")).string(),
                                      datakit::MakeImg32(SkyFace(f))) &&
             ok;
    return ok;
}
