// The images of the sample head-up interface: the panel, the inventory slots, the mini-map with its
// pins, and the icon of the crate prop.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "datakit/image.h"
#include "sample.h"

namespace {

uint8_t Byte(float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

void SetPixel(datakit::Rgba& image, uint32_t x, uint32_t y, float r, float g, float b, float a) {
    uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
    p[0] = Byte(r);
    p[1] = Byte(g);
    p[2] = Byte(b);
    p[3] = Byte(a);
}

// -1..1 across the image.
float Centred(uint32_t i, uint32_t size) { return (static_cast<float>(i) + 0.5f) / static_cast<float>(size) * 2.0f - 1.0f; }

// A rounded plate with a rim; lift brightens it (pass-over), sunk darkens it (pressed).
datakit::Rgba Plate(uint32_t w, uint32_t h, float r, float g, float b, float lift) {
    datakit::Rgba image = datakit::SolidRgba(w, h, 0, 0, 0, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const float u = std::fabs(Centred(x, w)), v = std::fabs(Centred(y, h));
            const float corner = std::hypot(std::max(0.0f, u - 0.85f) / 0.15f, std::max(0.0f, v - 0.7f) / 0.3f);
            if (corner > 1.0f) continue;
            const bool rim = u > 0.95f || v > 0.88f || corner > 0.8f;
            const float shade = 1.0f - 0.35f * v;
            if (rim)
                SetPixel(image, x, y, 0.85f + lift, 0.85f + lift, 0.9f + lift, 1.0f);
            else
                SetPixel(image, x, y, (r + lift) * shade, (g + lift) * shade, (b + lift) * shade, 0.85f);
        }
    return image;
}

// The mini-map: a green field crossed by a road and a river.
datakit::Rgba MiniMap() {
    constexpr uint32_t S = 64;
    datakit::Rgba image = datakit::SolidRgba(S, S, 0, 0, 0, 0);
    for (uint32_t y = 0; y < S; ++y)
        for (uint32_t x = 0; x < S; ++x) {
            const float u = Centred(x, S), v = Centred(y, S);
            const bool rim = x < 1 || y < 1 || x >= S - 1 || y >= S - 1;
            if (rim)
                SetPixel(image, x, y, 0.9f, 0.9f, 0.8f, 1.0f);
            else if (std::fabs(v - 0.4f * std::sin(u * 3.0f)) < 0.06f)
                SetPixel(image, x, y, 0.2f, 0.4f, 0.9f, 1.0f);
            else if (std::fabs(u + 0.2f) < 0.04f)
                SetPixel(image, x, y, 0.6f, 0.5f, 0.35f, 1.0f);
            else
                SetPixel(image, x, y, 0.2f, 0.45f + 0.1f * std::cos(u * 7.0f) * std::sin(v * 5.0f), 0.2f, 1.0f);
        }
    return image;
}

// A pin: a disc (round) or an arrow pointing down (for markers that turn: a marker facing its
// object's first direction is turned half a turn, so that it points up), in the given colour.
datakit::Rgba Pin(float r, float g, float b, bool arrow) {
    constexpr uint32_t S = 16;
    datakit::Rgba image = datakit::SolidRgba(S, S, 0, 0, 0, 0);
    for (uint32_t y = 0; y < S; ++y)
        for (uint32_t x = 0; x < S; ++x) {
            const float u = Centred(x, S), v = -Centred(y, S);
            const bool inside = arrow ? (v > -0.9f && v < 0.8f && std::fabs(u) < (v + 0.9f) * 0.5f)
                                      : std::hypot(u, v) < 0.8f;
            const bool edge = arrow ? false : std::hypot(u, v) > 0.6f;
            if (inside) SetPixel(image, x, y, edge ? 1.0f : r, edge ? 1.0f : g, edge ? 1.0f : b, 1.0f);
        }
    return image;
}

// The crate's icon: a wooden box face with its planks and a cross brace.
datakit::Rgba CrateIcon() {
    constexpr uint32_t S = 32;
    datakit::Rgba image = datakit::SolidRgba(S, S, 0, 0, 0, 0);
    for (uint32_t y = 0; y < S; ++y)
        for (uint32_t x = 0; x < S; ++x) {
            const float u = Centred(x, S), v = Centred(y, S);
            if (std::max(std::fabs(u), std::fabs(v)) > 0.85f) continue;
            const bool frame = std::max(std::fabs(u), std::fabs(v)) > 0.7f;
            const bool brace = std::fabs(u - v) < 0.12f;
            const bool seam = std::fabs(std::fmod(v + 1.0f, 0.35f)) < 0.04f;
            const float k = frame || brace ? 0.75f : (seam ? 0.45f : 0.6f);
            SetPixel(image, x, y, k, k * 0.65f, k * 0.35f, 1.0f);
        }
    return image;
}

}  // namespace

bool WriteSampleHud(const std::string& datasFolder) {
    const std::filesystem::path maps = std::filesystem::path(datasFolder) / "MAPS";
    std::error_code error;
    std::filesystem::create_directories(maps / "UI", error);
    std::filesystem::create_directories(maps / "ICONES", error);
    if (error) return false;
    struct Named {
        const char* name;
        datakit::Rgba image;
    };
    const Named images[] = {
        {"UI/HudPanel.Img", Plate(128, 32, 0.15f, 0.2f, 0.35f, 0.0f)},
        {"UI/HudPanelOver.Img", Plate(128, 32, 0.15f, 0.2f, 0.35f, 0.15f)},
        {"UI/HudPanelDown.Img", Plate(128, 32, 0.1f, 0.12f, 0.2f, 0.0f)},
        {"UI/InvSlot.Img", Plate(32, 32, 0.2f, 0.2f, 0.2f, 0.0f)},
        {"UI/InvSelected.Img", Plate(32, 32, 0.6f, 0.5f, 0.1f, 0.1f)},
        {"UI/InvPressed.Img", Plate(32, 32, 0.7f, 0.3f, 0.1f, 0.0f)},
        {"UI/MiniMap.Img", MiniMap()},
        {"UI/MapPin.Img", Pin(0.9f, 0.2f, 0.1f, false)},
        {"UI/HeroPin.Img", Pin(1.0f, 0.95f, 0.2f, true)},
        {"ICONES/Crate1001.Img", CrateIcon()},
    };
    bool ok = true;
    for (const Named& n : images)
        ok = datakit::WriteImageBytes((maps / n.name).string(), datakit::MakeImg32(n.image)) && ok;
    return ok;
}
