// Seeds for the image readers: small valid files of each kind the decoders take apart.
#include "datakit/image.h"
#include "seeds.h"

namespace {

using datakit::Rgba;
using Seeds = std::vector<std::pair<std::string, fuzzseeds::Bytes>>;

Rgba Gradient(uint32_t w, uint32_t h) {
    Rgba image{w, h, {}};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            image.pixels.insert(image.pixels.end(), {static_cast<uint8_t>(x * 40), static_cast<uint8_t>(y * 40),
                                                     static_cast<uint8_t>(x * y), static_cast<uint8_t>(200 - x)});
    return image;
}

Seeds ImgSeeds() {
    return {{"rgba32.Img", datakit::MakeImg32(Gradient(3, 2))},
            {"rgb5a1.Img", datakit::MakeImg16(2, 2, {0x8000, 0x7FFF, 0x001F, 0x83E0})}};
}

Seeds DdsSeeds() {
    using datakit::DdsFormat;
    using datakit::DdsShape;
    Rgba face = Gradient(8, 8);
    return {{"bgra_levels.dds", datakit::MakeDds({DdsFormat::Bgra32, DdsShape::Flat, {Gradient(4, 2)}, 3})},
            {"bgr.dds", datakit::MakeDds({DdsFormat::Bgr24, DdsShape::Flat, {Gradient(3, 1)}, 1})},
            {"lum.dds", datakit::MakeDds({DdsFormat::Luminance8, DdsShape::Flat, {Gradient(2, 2)}, 0})},
            {"dxt1.dds", datakit::MakeDds({DdsFormat::Dxt1, DdsShape::Flat, {face}, 4})},
            {"dxt3.dds", datakit::MakeDds({DdsFormat::Dxt3, DdsShape::Flat, {face}, 2})},
            {"dxt5.dds", datakit::MakeDds({DdsFormat::Dxt5, DdsShape::Flat, {face}, 1})},
            {"cube.dds", datakit::MakeDds({DdsFormat::Bgra32, DdsShape::Cube, {6, Gradient(2, 2)}, 2})},
            {"volume.dds", datakit::MakeDds({DdsFormat::Bgra32, DdsShape::Volume, {4, Gradient(2, 2)}, 2})}};
}

Seeds TgaSeeds() {
    datakit::TgaSpec plain{.type = 2, .depth = 24, .descriptor = 0x20, .width = 2, .height = 1};
    plain.data = {1, 2, 3, 4, 5, 6};
    datakit::TgaSpec rle{.type = 10, .depth = 32, .width = 3, .height = 2};
    rle.data = {0x82, 1, 2, 3, 4, 0x02, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    datakit::TgaSpec mapped{.type = 1, .depth = 8, .width = 2, .height = 2, .mapType = 1, .mapBits = 24};
    mapped.map = {0, 0, 255, 0, 255, 0};
    mapped.data = {0, 1, 1, 5};
    datakit::TgaSpec mappedRle = mapped;
    mappedRle.type = 9;
    mappedRle.data = {0x83, 1};
    datakit::TgaSpec grey{.type = 3, .depth = 8, .width = 2, .height = 1};
    grey.data = {10, 200};
    datakit::TgaSpec rgb555{.type = 2, .depth = 16, .width = 1, .height = 1};
    rgb555.data = {0xFF, 0x7F};
    return {{"plain24.tga", datakit::MakeTga(plain)},   {"rle32.tga", datakit::MakeTga(rle)},
            {"mapped.tga", datakit::MakeTga(mapped)},   {"mapped_rle.tga", datakit::MakeTga(mappedRle)},
            {"grey.tga", datakit::MakeTga(grey)},       {"rgb555.tga", datakit::MakeTga(rgb555)}};
}

const fuzzseeds::Registration ImgRegistration("img", ImgSeeds);
const fuzzseeds::Registration DdsRegistration("dds", DdsSeeds);
const fuzzseeds::Registration TgaRegistration("tga", TgaSeeds);

}  // namespace
