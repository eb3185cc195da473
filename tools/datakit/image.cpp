#include "datakit/image.h"

#include "datakit/datakit.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace datakit {
namespace {

void Put8(std::vector<uint8_t>& out, uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
const uint8_t* PixelAt(const Rgba& image, uint32_t x, uint32_t y) {
    x = std::min(x, image.width - 1);
    y = std::min(y, image.height - 1);
    return &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
}

uint32_t To565(const uint8_t* c) {
    return ((c[0] * 31 + 127) / 255) << 11 | ((c[1] * 63 + 127) / 255) << 5 | ((c[2] * 31 + 127) / 255);
}

std::array<int, 3> From565(uint32_t v) {
    return {static_cast<int>((v >> 11 & 31) * 255 / 31), static_cast<int>((v >> 5 & 63) * 255 / 63),
            static_cast<int>((v & 31) * 255 / 31)};
}

// Colour part of a block: endpoints at the corners of the colours' bounding box, each pixel the
// nearest of the four palette colours.
void EncodeColourBlock(const uint8_t block[16][4], std::vector<uint8_t>& out) {
    uint8_t lo[4] = {255, 255, 255, 255}, hi[4] = {0, 0, 0, 0};
    for (int i = 0; i < 16; ++i)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], block[i][k]);
            hi[k] = std::max(hi[k], block[i][k]);
        }
    uint32_t c0 = To565(hi), c1 = To565(lo);
    if (c0 < c1) std::swap(c0, c1);
    uint32_t indices = 0;
    if (c0 != c1) {
        auto p0 = From565(c0), p1 = From565(c1);
        std::array<std::array<int, 3>, 4> palette;
        for (int k = 0; k < 3; ++k) {
            palette[0][k] = p0[k];
            palette[1][k] = p1[k];
            palette[2][k] = (2 * p0[k] + p1[k]) / 3;
            palette[3][k] = (p0[k] + 2 * p1[k]) / 3;
        }
        for (int i = 0; i < 16; ++i) {
            int best = 0, bestError = 1 << 30;
            for (int p = 0; p < 4; ++p) {
                int error = 0;
                for (int k = 0; k < 3; ++k) error += (block[i][k] - palette[p][k]) * (block[i][k] - palette[p][k]);
                if (error < bestError) {
                    bestError = error;
                    best = p;
                }
            }
            indices |= static_cast<uint32_t>(best) << (2 * i);
        }
    }
    Put16(out, c0);
    Put16(out, c1);
    Put32(out, indices);
}

// DXT5 alpha: the block's largest and smallest alpha with the six values between them.
void EncodeInterpolatedAlpha(const uint8_t block[16][4], std::vector<uint8_t>& out) {
    uint8_t a0 = 0, a1 = 255;
    for (int i = 0; i < 16; ++i) {
        a0 = std::max(a0, block[i][3]);
        a1 = std::min(a1, block[i][3]);
    }
    uint64_t bits = 0;
    if (a0 != a1) {
        int values[8] = {a0, a1};
        for (int c = 2; c < 8; ++c) values[c] = ((8 - c) * a0 + (c - 1) * a1) / 7;
        for (int i = 0; i < 16; ++i) {
            int best = 0;
            for (int c = 1; c < 8; ++c)
                if (std::abs(values[c] - block[i][3]) < std::abs(values[best] - block[i][3])) best = c;
            bits |= static_cast<uint64_t>(best) << (3 * i);
        }
    }
    Put8(out, a0);
    Put8(out, a1);
    for (int i = 0; i < 6; ++i) Put8(out, static_cast<uint32_t>(bits >> (8 * i)));
}

// DXT3 alpha: four bits per pixel.
void EncodeExplicitAlpha(const uint8_t block[16][4], std::vector<uint8_t>& out) {
    for (int i = 0; i < 16; i += 2)
        Put8(out, (block[i][3] * 15 + 127) / 255 | ((block[i + 1][3] * 15 + 127) / 255) << 4);
}

std::vector<Rgba> NextLevel(const std::vector<Rgba>& images, DdsShape shape) {
    std::vector<Rgba> next;
    if (shape == DdsShape::Volume) {
        // Slices halve too: each new slice filters the first of its pair.
        for (size_t z = 0; z < std::max<size_t>(1, images.size() / 2); ++z) next.push_back(HalveRgba(images[2 * z]));
    } else {
        for (const Rgba& image : images) next.push_back(HalveRgba(image));
    }
    return next;
}

}  // namespace

Rgba SolidRgba(uint32_t width, uint32_t height, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    Rgba image{width, height, {}};
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) image.pixels.insert(image.pixels.end(), {r, g, b, a});
    return image;
}

Rgba HalveRgba(const Rgba& image) {
    Rgba out{std::max<uint32_t>(1, image.width / 2), std::max<uint32_t>(1, image.height / 2), {}};
    for (uint32_t y = 0; y < out.height; ++y)
        for (uint32_t x = 0; x < out.width; ++x)
            for (int k = 0; k < 4; ++k) {
                int sum = PixelAt(image, 2 * x, 2 * y)[k] + PixelAt(image, 2 * x + 1, 2 * y)[k] +
                          PixelAt(image, 2 * x, 2 * y + 1)[k] + PixelAt(image, 2 * x + 1, 2 * y + 1)[k];
                out.pixels.push_back(static_cast<uint8_t>(sum >> 2));
            }
    return out;
}

std::vector<uint8_t> MakeImg32(const Rgba& image) {
    std::vector<uint8_t> out;
    Put32(out, 32);
    Put32(out, image.width);
    Put32(out, image.height);
    out.insert(out.end(), image.pixels.begin(), image.pixels.end());
    return out;
}

std::vector<uint8_t> MakeImg16(uint32_t width, uint32_t height, const std::vector<uint16_t>& words) {
    std::vector<uint8_t> out;
    Put32(out, 16);
    Put32(out, width);
    Put32(out, height);
    for (uint16_t w : words) Put16(out, w);
    return out;
}

std::vector<uint8_t> EncodeDxt(const Rgba& image, DdsFormat format) {
    std::vector<uint8_t> out;
    for (uint32_t by = 0; by < image.height; by += 4)
        for (uint32_t bx = 0; bx < image.width; bx += 4) {
            uint8_t block[16][4];
            for (uint32_t i = 0; i < 16; ++i) std::copy_n(PixelAt(image, bx + i % 4, by + i / 4), 4, block[i]);
            if (format == DdsFormat::Dxt3) EncodeExplicitAlpha(block, out);
            if (format == DdsFormat::Dxt5) EncodeInterpolatedAlpha(block, out);
            EncodeColourBlock(block, out);
        }
    return out;
}

std::vector<uint8_t> MakeDds(const DdsSpec& spec) {
    const Rgba& first = spec.images.at(0);
    bool dxt = spec.format == DdsFormat::Dxt1 || spec.format == DdsFormat::Dxt3 || spec.format == DdsFormat::Dxt5;
    std::vector<uint8_t> out = {'D', 'D', 'S', ' '};
    Put32(out, 124);
    // Caps, height, width, pixel format, then mip-map count and depth when they apply.
    uint32_t flags = 0x1 | 0x2 | 0x4 | 0x1000 | (spec.levels > 1 ? 0x20000 : 0) |
                     (spec.shape == DdsShape::Volume ? 0x800000 : 0);
    Put32(out, flags);
    Put32(out, first.height);
    Put32(out, first.width);
    Put32(out, 0);  // pitch or linear size: the reader does not need it
    Put32(out, spec.shape == DdsShape::Volume ? static_cast<uint32_t>(spec.images.size()) : 0);
    Put32(out, spec.levels);
    for (int i = 0; i < 11; ++i) Put32(out, 0);
    // Pixel format: size, flags, FourCC, bit count, red, green, blue and alpha masks.
    Put32(out, 32);
    static const char* const FourCcs[] = {"DXT1", "DXT3", "DXT5"};
    switch (spec.format) {
    case DdsFormat::Bgra32:
        for (uint32_t v : {0x41u, 0u, 32u, 0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}) Put32(out, v);
        break;
    case DdsFormat::Bgr24:
        for (uint32_t v : {0x40u, 0u, 24u, 0xFF0000u, 0xFF00u, 0xFFu, 0u}) Put32(out, v);
        break;
    case DdsFormat::Luminance8:
        for (uint32_t v : {0x20000u, 0u, 8u, 0xFFu, 0u, 0u, 0u}) Put32(out, v);
        break;
    default: {
        const char* code = FourCcs[static_cast<int>(spec.format) - static_cast<int>(DdsFormat::Dxt1)];
        Put32(out, 0x4);
        out.insert(out.end(), code, code + 4);
        for (int i = 0; i < 5; ++i) Put32(out, 0);
        break;
    }
    }
    uint32_t caps = 0x1000 | (spec.levels > 1 || spec.shape != DdsShape::Flat ? 0x8 : 0) | (spec.levels > 1 ? 0x400000 : 0);
    uint32_t caps2 = spec.shape == DdsShape::Cube ? 0x200 | 0xFC00 : spec.shape == DdsShape::Volume ? 0x200000 : 0;
    Put32(out, caps);
    Put32(out, caps2);
    for (int i = 0; i < 3; ++i) Put32(out, 0);
    std::vector<Rgba> level = spec.images;
    for (uint32_t l = 0; l < std::max<uint32_t>(1, spec.levels); ++l) {
        for (const Rgba& image : level) {
            if (dxt) {
                std::vector<uint8_t> blocks = EncodeDxt(image, spec.format);
                out.insert(out.end(), blocks.begin(), blocks.end());
                continue;
            }
            for (size_t i = 0; i < image.pixels.size(); i += 4) {
                const uint8_t* p = &image.pixels[i];
                if (spec.format == DdsFormat::Luminance8) {
                    Put8(out, (p[0] + p[1] + p[2]) / 3);
                } else {
                    out.insert(out.end(), {p[2], p[1], p[0]});
                    if (spec.format == DdsFormat::Bgra32) Put8(out, p[3]);
                }
            }
        }
        level = NextLevel(level, spec.shape);
    }
    return out;
}

std::vector<uint8_t> MakeTga(const TgaSpec& spec) {
    std::vector<uint8_t> out;
    uint32_t entryBytes = (spec.mapBits + 7) / 8;
    uint32_t mapLength = spec.mapLength >= 0 ? static_cast<uint32_t>(spec.mapLength)
                         : entryBytes         ? static_cast<uint32_t>(spec.map.size() / entryBytes)
                                              : 0;
    Put8(out, static_cast<uint32_t>(spec.id.size()));
    Put8(out, spec.mapType);
    Put8(out, spec.type);
    Put16(out, spec.mapFirst);
    Put16(out, mapLength);
    Put8(out, spec.mapBits);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, spec.width);
    Put16(out, spec.height);
    Put8(out, spec.depth);
    Put8(out, spec.descriptor);
    out.insert(out.end(), spec.id.begin(), spec.id.end());
    out.insert(out.end(), spec.map.begin(), spec.map.end());
    out.insert(out.end(), spec.data.begin(), spec.data.end());
    return out;
}

bool WriteImageBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::error_code error;
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), error);
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace datakit
