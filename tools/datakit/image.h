// Writers for image files: the engine's .Img format, .dds (uncompressed and DXT1/3/5; 2-D, cube and
// volume; with mip levels) and a plain .tga writer whose every header field can be chosen, so that
// tests can also make files that lie.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

// RGBA pixels, four bytes each, rows in the order they are stored.
struct Rgba {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;
};

// An image of one colour.
Rgba SolidRgba(uint32_t width, uint32_t height, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// The next mip level: a 2 x 2 box filter down to max(1, size / 2), the last column or row paired
// with itself on odd sides.
Rgba HalveRgba(const Rgba& image);

// .Img: 32-bit pixels as given.
std::vector<uint8_t> MakeImg32(const Rgba& image);
// .Img: 16-bit words (red in bits 0-4, green 5-9, blue 10-14, alpha bit 15), one per pixel.
std::vector<uint8_t> MakeImg16(uint32_t width, uint32_t height, const std::vector<uint16_t>& words);

enum class DdsFormat { Bgra32, Bgr24, Luminance8, Dxt1, Dxt3, Dxt5 };
enum class DdsShape { Flat, Cube, Volume };

struct DdsSpec {
    DdsFormat format = DdsFormat::Bgra32;
    DdsShape shape = DdsShape::Flat;
    // Level 0: one image (flat), the six faces +X, -X, +Y, -Y, +Z, -Z (cube) or the depth slices
    // (volume), all of one size. Further levels are box-filtered from it.
    std::vector<Rgba> images;
    uint32_t levels = 1;  // the mip-map count written; 0 is written as 0 and means one level
};

// A whole .dds file.
std::vector<uint8_t> MakeDds(const DdsSpec& spec);
// 4 x 4 blocks of one image in a DXT format (Dxt1, Dxt3 or Dxt5), rows of blocks top first.
std::vector<uint8_t> EncodeDxt(const Rgba& image, DdsFormat format);

// A .tga file put together from its parts. `data` is the pixel data exactly as stored (plain
// pixels or run-length packets); nothing is checked.
struct TgaSpec {
    uint8_t type = 2;
    uint8_t depth = 32;
    uint8_t descriptor = 0;  // bit 5: top row first
    uint16_t width = 0;
    uint16_t height = 0;
    std::vector<uint8_t> id;
    uint8_t mapType = 0;
    uint16_t mapFirst = 0;
    uint8_t mapBits = 0;
    int32_t mapLength = -1;  // -1: the number of entries in `map`
    std::vector<uint8_t> map;  // colour-map entries as stored
    std::vector<uint8_t> data;
};
std::vector<uint8_t> MakeTga(const TgaSpec& spec);

// Writes bytes to a file, creating its folders. False when it cannot.
bool WriteImageBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace datakit
