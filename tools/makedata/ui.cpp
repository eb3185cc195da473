#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "datakit/image.h"
#include "pixels.h"
#include "sample.h"

namespace {

using sample::Centred;
using sample::SetPixel;

// The settings window: a deep blue plate, lighter towards the top, with a thin light rim.
datakit::Rgba SettingWindow() {
    constexpr uint32_t W = 128, H = 64;
    datakit::Rgba image = datakit::SolidRgba(W, H, 0, 0, 0, 0);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            const bool rim = x < 2 || y < 2 || x >= W - 2 || y >= H - 2;
            const float shade = 0.35f - 0.2f * static_cast<float>(y) / H;
            if (rim)
                SetPixel(image, x, y, 0.6f, 0.7f, 0.9f, 1.0f);
            else
                SetPixel(image, x, y, shade * 0.4f, shade * 0.5f, shade + 0.15f, 0.9f);
        }
    return image;
}

// The slider groove: dark, with a lighter line along its middle.
datakit::Rgba SliderGroove() {
    constexpr uint32_t W = 64, H = 8;
    datakit::Rgba image = datakit::SolidRgba(W, H, 0, 0, 0, 0);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            const float mid = 1.0f - std::fabs(Centred(y, H));
            SetPixel(image, x, y, 0.1f + 0.3f * mid, 0.1f + 0.3f * mid, 0.15f + 0.4f * mid, 1.0f);
        }
    return image;
}

// The slider thumb: a light round knob.
datakit::Rgba SliderThumb() {
    constexpr uint32_t S = 16;
    datakit::Rgba image = datakit::SolidRgba(S, S, 0, 0, 0, 0);
    for (uint32_t y = 0; y < S; ++y)
        for (uint32_t x = 0; x < S; ++x) {
            const float d = std::hypot(Centred(x, S), Centred(y, S));
            const float a = d < 0.9f ? 1.0f : std::max(0.0f, (1.0f - d) * 10.0f);
            SetPixel(image, x, y, 0.95f - 0.3f * d, 0.95f - 0.3f * d, 1.0f, a);
        }
    return image;
}

// A round button with a tick (yes) or a cross (no); the pass-over images are brighter.
datakit::Rgba RoundButton(bool yes, bool bright) {
    constexpr uint32_t S = 32;
    datakit::Rgba image = datakit::SolidRgba(S, S, 0, 0, 0, 0);
    const float lift = bright ? 0.3f : 0.0f;
    for (uint32_t y = 0; y < S; ++y)
        for (uint32_t x = 0; x < S; ++x) {
            const float u = Centred(x, S), v = Centred(y, S);
            const float d = std::hypot(u, v);
            if (d > 1.0f) continue;
            bool mark;
            if (yes)  // a tick: a short stroke down-right, then a long one up-right
                mark = (u < -0.05f && std::fabs(v - (u + 0.35f)) < 0.14f && u > -0.55f) ||
                       (u >= -0.15f && std::fabs(v - (-1.1f * u + 0.15f)) < 0.14f && u < 0.6f);
            else
                mark = std::max(std::fabs(u), std::fabs(v)) < 0.55f &&
                       (std::fabs(u - v) < 0.16f || std::fabs(u + v) < 0.16f);
            const float r = yes ? 0.1f : 0.7f, g = yes ? 0.6f : 0.1f, b = 0.1f;
            if (mark)
                SetPixel(image, x, y, 1.0f, 1.0f, 1.0f, 1.0f);
            else
                SetPixel(image, x, y, r + lift, g + lift, b + lift, 1.0f);
        }
    return image;
}

}  // namespace

bool WriteSampleInterface(const std::string& datasFolder) {
    const std::filesystem::path ui = std::filesystem::path(datasFolder) / "MAPS" / "UI";
    std::error_code error;
    std::filesystem::create_directories(ui, error);
    if (error) return false;
    struct Named {
        const char* name;
        datakit::Rgba image;
    };
    const Named images[] = {
        {"Setting.Img", SettingWindow()},
        {"SettingSlider.Img", SliderGroove()},
        {"SettingSliderBut.Img", SliderThumb()},
        {"SettingYes.Img", RoundButton(true, false)},
        {"SettingYesPassOver.Img", RoundButton(true, true)},
        {"SettingNo.Img", RoundButton(false, false)},
        {"SettingNoPassOver.Img", RoundButton(false, true)},
    };
    bool ok = true;
    for (const Named& n : images)
        ok = datakit::WriteImageBytes((ui / n.name).string(), datakit::MakeImg32(n.image)) && ok;
    return ok;
}
