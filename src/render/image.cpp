#include "render/image.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/binio.h"
#include "core/nztfile.h"
#include "core/pack.h"

namespace {

void Refuse(const char* name, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Refuse(const char* name, const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::fprintf(stderr, "image: %s: %s\n", name ? name : "(memory)", text);
}

// A 5-bit channel scaled to 0..255 the way the stored images were made: round(v x 255 x 0.032258064).
uint8_t Expand5(uint32_t v) { return static_cast<uint8_t>(std::lround(v * 255 * 0.032258064)); }

uint64_t SaturatingMul(uint64_t a, uint64_t b) {
    uint64_t r;
    return __builtin_mul_overflow(a, b, &r) ? UINT64_MAX : r;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
    uint64_t r;
    return __builtin_add_overflow(a, b, &r) ? UINT64_MAX : r;
}

uint32_t LevelSize(uint32_t size, uint32_t level) { return level >= 32 ? 1 : std::max<uint32_t>(1, size >> level); }

bool ReadStream(const char* name, std::vector<uint8_t>& bytes) {
    NztFile file;
    if (!file.OpenRead(name, PackTrees[PackMaps])) return false;
    bool whole = file.ReadToEnd(bytes, UINT32_MAX);
    file.Close();
    if (!whole) Refuse(name, "cannot be read");
    return whole;
}

bool ReadPlainFile(const char* name, std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(name, "rb");
    if (!f) return false;
    // The size from fstat, not from a seek to the end: a folder opens as well, and its end
    // offset can be far beyond anything that could be allocated.
    struct stat info;
    bool ok = fstat(fileno(f), &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        bytes.resize(static_cast<size_t>(info.st_size));
        ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    if (!ok) Refuse(name, "cannot be read");
    return ok;
}

// ---- .dds ------------------------------------------------------------------------------------

constexpr uint32_t DdsHeaderBytes = 128;  // "DDS " and the 124-byte header
constexpr uint32_t DdsFourCcFlag = 0x4;
constexpr uint32_t DdsRgbFlag = 0x40;
constexpr uint32_t DdsCubeMapCaps = 0x200;
constexpr uint32_t DdsAllFacesCaps = 0xFC00;  // +X, -X, +Y, -Y, +Z, -Z

struct DdsFormat {
    uint32_t fourCc;
    uint32_t pixelFormat, internalFormat, dataType, bytesPerUnit;
};

constexpr uint32_t FourCc(const char (&s)[5]) {
    return static_cast<uint8_t>(s[0]) | static_cast<uint8_t>(s[1]) << 8 | static_cast<uint8_t>(s[2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

// FourCC codes of the formats we upload. The numeric codes are the Direct3D format numbers, whose
// names list channels from the highest bits down in little-endian words. Code 23 (R5G6B5) goes up
// as GL_RGB: packed 5-6-5 data is only defined for GL_RGB. Codes 22 and 33 (X8R8G8B8, X8B8G8R8)
// are bytes in memory order, and codes 31 and 35 (A2B10G10R10, A2R10G10B10) hold their first
// channel in the lowest bits (the _REV packing); the big-end packings would swap the channels.
constexpr DdsFormat DdsFormats[] = {
    {FourCc("DXT1"), GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 8},
    {FourCc("DXT2"), GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 16},
    {FourCc("DXT3"), GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 16},
    {FourCc("DXT4"), GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16},
    {FourCc("DXT5"), GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16},
    {20, GL_BGR_EXT, GL_RGB8, GL_UNSIGNED_BYTE, 3},
    {21, GL_BGRA_EXT, GL_RGBA8, GL_UNSIGNED_BYTE, 4},
    {22, GL_BGRA_EXT, GL_RGB8, GL_UNSIGNED_BYTE, 4},
    {23, GL_RGB, GL_RGB5, GL_UNSIGNED_SHORT_5_6_5, 2},
    {28, GL_ALPHA, GL_ALPHA8, GL_UNSIGNED_BYTE, 1},
    {31, GL_RGBA, GL_RGB10_A2, GL_UNSIGNED_INT_2_10_10_10_REV, 4},
    {32, GL_RGBA, GL_RGBA8, GL_UNSIGNED_BYTE, 4},
    {33, GL_RGBA, GL_RGB8, GL_UNSIGNED_BYTE, 4},
    {35, GL_BGRA_EXT, GL_RGB10_A2, GL_UNSIGNED_INT_2_10_10_10_REV, 4},
    {36, GL_RGBA, GL_RGBA16, GL_UNSIGNED_SHORT, 8},
    {50, GL_LUMINANCE, GL_LUMINANCE8, GL_UNSIGNED_BYTE, 1},
    {51, GL_LUMINANCE_ALPHA, GL_LUMINANCE8_ALPHA8, GL_UNSIGNED_BYTE, 2},
    {81, GL_LUMINANCE, GL_LUMINANCE16, GL_UNSIGNED_SHORT, 2},
    {111, GL_LUMINANCE, GL_LUMINANCE16F_ARB, GL_HALF_FLOAT_ARB, 2},
    {113, GL_RGBA, GL_RGBA16F_ARB, GL_HALF_FLOAT_ARB, 8},
    {114, GL_LUMINANCE, GL_LUMINANCE32F_ARB, GL_FLOAT, 4},
    {116, GL_RGBA, GL_RGBA32F_ARB, GL_FLOAT, 16},
};

bool SetDdsFormat(DdsImage& image, uint32_t flags, uint32_t fourCc, uint32_t bits) {
    auto set = [&image](uint32_t pixel, uint32_t internal, uint32_t type, uint32_t unit) {
        image.pixelFormat = pixel;
        image.internalFormat = internal;
        image.dataType = type;
        image.bytesPerUnit = unit;
    };
    if (flags & DdsFourCcFlag) {
        for (const DdsFormat& f : DdsFormats) {
            if (f.fourCc != fourCc) continue;
            set(f.pixelFormat, f.internalFormat, f.dataType, f.bytesPerUnit);
            image.compressed = f.internalFormat >= GL_COMPRESSED_RGB_S3TC_DXT1_EXT &&
                               f.internalFormat <= GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
            return true;
        }
        return false;
    }
    if (bits == 8) {
        set(GL_LUMINANCE, GL_LUMINANCE8, GL_UNSIGNED_BYTE, 1);
    } else if ((flags & DdsRgbFlag) && bits == 32) {
        set(GL_BGRA_EXT, GL_RGBA8, GL_UNSIGNED_BYTE, 4);
    } else if ((flags & DdsRgbFlag) && bits == 24) {
        set(GL_BGR_EXT, GL_RGB8, GL_UNSIGNED_BYTE, 3);
    } else {
        return false;
    }
    return true;
}

// ---- .tga ------------------------------------------------------------------------------------

constexpr uint32_t TgaHeaderBytes = 18;
constexpr uint32_t TgaTopLeftOrigin = 0x20;

// Writes one decoded pixel as RGBA from `bytesPerPixel` stored bytes.
struct TgaPixelDecoder {
    uint32_t depth = 0;
    const uint8_t* map = nullptr;  // colour map as RGBA, mapLength entries
    uint32_t mapFirst = 0, mapLength = 0;
    bool mapped = false;

    void operator()(const uint8_t* s, uint8_t* d) const {
        switch (depth) {
        case 8:
            if (!mapped) {
                d[0] = d[1] = d[2] = s[0];
                d[3] = 255;
            } else if (s[0] >= mapFirst && s[0] - mapFirst < mapLength) {
                std::memcpy(d, map + 4 * (s[0] - mapFirst), 4);
            } else {
                d[0] = d[1] = d[2] = 0;  // an index past the colour map is black
                d[3] = 255;
            }
            break;
        case 15:
        case 16: {
            uint32_t v = s[0] | s[1] << 8;
            d[0] = Expand5(v >> 10 & 31);
            d[1] = Expand5(v >> 5 & 31);
            d[2] = Expand5(v & 31);
            d[3] = 255;
            break;
        }
        case 24:
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = 255;
            break;
        default:
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = s[3];
            break;
        }
    }
};

// Converts the colour map to RGBA entries. False for an entry size we cannot read.
bool ReadTgaColourMap(const uint8_t* src, uint32_t length, uint32_t bits, std::vector<uint8_t>& map) {
    map.resize(static_cast<size_t>(length) * 4);
    uint32_t step = (bits + 7) / 8;
    for (uint32_t i = 0; i < length; ++i, src += step) {
        uint8_t* d = &map[4 * i];
        if (bits == 24 || bits == 32) {
            d[0] = src[2];
            d[1] = src[1];
            d[2] = src[0];
            d[3] = bits == 32 ? src[3] : 255;
        } else if (bits == 15 || bits == 16) {
            TgaPixelDecoder{16}(src, d);
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

// ---- .Img ------------------------------------------------------------------------------------

bool DecodeImg(std::span<const uint8_t> bytes, const char* name, std::vector<uint8_t>& pixels, uint32_t& width,
               uint32_t& height) {
    pixels.clear();
    BinReader in(bytes.data(), bytes.size());
    const uint32_t bits = in.U32(), w = in.U32(), h = in.U32();
    if (!in.Ok()) {
        Refuse(name, "header truncated");
        return false;
    }
    if (bits != 16 && bits != 32) {
        Refuse(name, "unsupported depth %u", bits);
        return false;
    }
    if (w == 0 || h == 0) {
        Refuse(name, "empty image %ux%u", w, h);
        return false;
    }
    uint64_t count = static_cast<uint64_t>(w) * h;
    uint64_t stored = bits / 8;
    if (!in.Fits(count, stored)) {
        Refuse(name, "%ux%u pixels need more than the %llu bytes held", w, h,
               static_cast<unsigned long long>(in.Remaining()));
        return false;
    }
    const uint8_t* src = in.View(count * stored);
    pixels.resize(count * 4);
    if (bits == 32) {
        std::memcpy(pixels.data(), src, pixels.size());
    } else {
        for (uint64_t i = 0; i < count; ++i) {
            uint32_t v = src[2 * i] | src[2 * i + 1] << 8;
            uint8_t* d = &pixels[4 * i];
            d[0] = Expand5(v & 31);
            d[1] = Expand5(v >> 5 & 31);
            d[2] = Expand5(v >> 10 & 31);
            d[3] = v & 0x8000 ? 255 : 0;
        }
    }
    width = w;
    height = h;
    return true;
}

std::vector<uint8_t> LoadImgFile(const char* name, uint32_t& width, uint32_t& height) {
    std::vector<uint8_t> bytes, pixels;
    if (ReadStream(name, bytes)) DecodeImg(bytes, name, pixels, width, height);
    return pixels;
}

// ---- .dds ------------------------------------------------------------------------------------

uint32_t DdsLevelWidth(const DdsImage& image, uint32_t level) { return LevelSize(image.width, level); }
uint32_t DdsLevelHeight(const DdsImage& image, uint32_t level) { return LevelSize(image.height, level); }
uint32_t DdsLevelDepth(const DdsImage& image, uint32_t level) { return LevelSize(image.depth, level); }

uint64_t DdsLevelsSize(uint32_t first, const DdsImage& image, uint32_t count) {
    uint64_t w = DdsLevelWidth(image, first), h = DdsLevelHeight(image, first), d = DdsLevelDepth(image, first);
    uint64_t units = 0;
    for (uint32_t i = 0; i < count; ++i) {
        // Blocks of 4 x 4 when compressed; a compressed volume holds one layer of blocks per slice.
        uint64_t level = image.compressed ? SaturatingMul(((h + 3) >> 2) * ((w + 3) >> 2), d) : SaturatingMul(w * h, d);
        if (w == 1 && h == 1 && d == 1) {  // every remaining level is the same size
            units = SaturatingAdd(units, SaturatingMul(level, count - i));
            break;
        }
        units = SaturatingAdd(units, level);
        w = std::max<uint64_t>(1, w >> 1);
        h = std::max<uint64_t>(1, h >> 1);
        d = std::max<uint64_t>(1, d >> 1);
    }
    uint64_t bytes = SaturatingMul(units, image.bytesPerUnit);
    return image.depth == 0 ? SaturatingMul(bytes, 6) : bytes;
}

bool DecodeDds(std::span<const uint8_t> bytes, const char* name, DdsImage& image) {
    image = DdsImage{};
    if (bytes.size() < 4 || std::memcmp(bytes.data(), "DDS ", 4) != 0) {
        Refuse(name, "not a DDS file");
        return false;
    }
    // The header words used, at their offsets from the start of the file.
    BinReader in(bytes.data(), bytes.size());
    in.Skip(12);
    const uint32_t height = in.U32(), width = in.U32();  // 12, 16
    in.Skip(4);                                          // pitch
    const uint32_t depth = in.U32(), levels = in.U32();  // 24, 28
    in.Skip(80 - 32);                                    // reserved words, pixel-format size
    const uint32_t flags = in.U32(), fourCc = in.U32(), bits = in.U32();  // 80, 84, 88
    in.Skip(112 - 92);                                   // channel masks, caps
    const uint32_t caps2 = in.U32();                     // 112
    in.Skip(DdsHeaderBytes - 116);
    if (!in.Ok()) {
        Refuse(name, "header truncated");
        return false;
    }
    if (width == 0 || height == 0) {
        Refuse(name, "empty image %ux%u", width, height);
        return false;
    }
    DdsImage img;
    img.width = width;
    img.height = height;
    if (caps2 & DdsCubeMapCaps) {
        if ((caps2 & DdsAllFacesCaps) != DdsAllFacesCaps || width != height) {
            Refuse(name, "incomplete or non-square cube map");
            return false;
        }
        img.depth = 0;
    } else {
        img.depth = depth ? depth : 1;
    }
    img.levelCount = levels ? levels : 1;
    if (!SetDdsFormat(img, flags, fourCc, bits)) {
        Refuse(name, "unsupported pixel format (flags 0x%x, FourCC 0x%x, %u bits)", flags, fourCc, bits);
        return false;
    }
    if (img.depth == 0)
        img.target = GL_TEXTURE_CUBE_MAP;
    else if (img.depth > 1)
        img.target = GL_TEXTURE_3D;
    else if (img.height > 1 || img.compressed)  // compressed data has no 1-D form
        img.target = GL_TEXTURE_2D;
    else
        img.target = GL_TEXTURE_1D;
    uint32_t largest = std::max({width, height, img.depth});
    uint32_t fullChain = 32 - static_cast<uint32_t>(__builtin_clz(largest));
    if (img.levelCount > fullChain) {
        Refuse(name, "%u levels for a %ux%ux%u image", img.levelCount, width, height, img.depth);
        return false;
    }
    uint64_t size = DdsLevelsSize(0, img, img.levelCount);
    if (size > in.Remaining()) {
        Refuse(name, "levels need %llu bytes, %llu held", static_cast<unsigned long long>(size),
               static_cast<unsigned long long>(in.Remaining()));
        return false;
    }
    const uint8_t* levelData = in.View(size);
    img.data.assign(levelData, levelData + size);
    image = std::move(img);
    return true;
}

bool LoadDdsFile(const char* name, DdsImage& image, uint32_t& width, uint32_t& height) {
    std::vector<uint8_t> bytes;
    if (!ReadStream(name, bytes) || !DecodeDds(bytes, name, image)) return false;
    width = image.width;
    height = image.height;
    return true;
}

// ---- .tga ------------------------------------------------------------------------------------

bool DecodeTga(std::span<const uint8_t> bytes, const char* name, std::vector<uint8_t>& pixels, uint32_t& width,
               uint32_t& height) {
    pixels.clear();
    BinReader in(bytes.data(), bytes.size());
    const uint32_t idLength = in.U8(), mapType = in.U8(), type = in.U8();
    const uint32_t mapFirst = in.U16(), mapLength = in.U16(), mapBits = in.U8();
    in.Skip(4);  // x and y origin
    const uint32_t w = in.U16(), h = in.U16(), depth = in.U8(), descriptor = in.U8();
    if (!in.Ok()) {
        Refuse(name, "header truncated");
        return false;
    }
    // Types 0-3 are stored plainly, 4-11 run-length encoded (9, 10 and 11 in practice).
    if (type >= 12 || (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32)) {
        Refuse(name, "unsupported image type %u or depth %u", type, depth);
        return false;
    }
    if (w == 0 || h == 0) {
        Refuse(name, "empty image %ux%u", w, h);
        return false;
    }
    TgaPixelDecoder decode{depth};
    std::vector<uint8_t> map;
    uint64_t mapBytes = static_cast<uint64_t>(mapLength) * ((mapBits + 7) / 8);
    in.Skip(idLength);
    const uint8_t* mapData = in.View(mapBytes);
    if (!in.Ok()) {
        Refuse(name, "identification or colour map truncated");
        return false;
    }
    if (depth == 8 && mapType != 0) {
        if (!ReadTgaColourMap(mapData, mapLength, mapBits, map)) {
            Refuse(name, "unsupported colour-map entry size %u", mapBits);
            return false;
        }
        decode.map = map.data();
        decode.mapFirst = mapFirst;
        decode.mapLength = mapLength;
        decode.mapped = true;
    }
    uint64_t stored = (depth + 7) / 8;
    uint64_t count = static_cast<uint64_t>(w) * h;
    bool rle = type >= 4;
    // Least input the pixels need: all of them plainly, or one run packet per 128 pixels.
    uint64_t least = rle ? (count + 127) / 128 * (1 + stored) : count * stored;
    if (least > in.Remaining()) {
        Refuse(name, "%ux%u pixels need more than the %llu bytes held", w, h,
               static_cast<unsigned long long>(in.Remaining()));
        return false;
    }
    pixels.resize(count * 4);
    uint8_t* out = pixels.data();
    if (!rle) {
        const uint8_t* src = in.View(count * stored);
        for (uint64_t i = 0; i < count; ++i) decode(src + i * stored, out + 4 * i);
    } else {
        uint64_t done = 0;
        while (done < count) {
            const uint32_t header = in.U8();
            if (!in.Ok()) break;
            uint64_t n = std::min<uint64_t>((header & 0x7F) + 1, count - done);  // a packet never runs past the image
            if (header & 0x80) {
                const uint8_t* src = in.View(stored);
                if (!src) break;
                decode(src, out + 4 * done);
                for (uint64_t i = 1; i < n; ++i) std::memcpy(out + 4 * (done + i), out + 4 * done, 4);
            } else {
                const uint8_t* src = in.View(n * stored);
                if (!src) break;
                for (uint64_t i = 0; i < n; ++i) decode(src + i * stored, out + 4 * (done + i));
            }
            done += n;
        }
        if (done < count) {
            pixels.clear();
            Refuse(name, "run-length data truncated");
            return false;
        }
    }
    if (!(descriptor & TgaTopLeftOrigin)) FlipRows(w, out, h);
    width = w;
    height = h;
    return true;
}

std::vector<uint8_t> LoadTgaFile(const char* name, uint32_t& width, uint32_t& height) {
    std::vector<uint8_t> bytes, pixels;
    if (ReadPlainFile(name, bytes)) DecodeTga(bytes, name, pixels, width, height);
    return pixels;
}

int32_t SaveTgaFile(const uint8_t* pixels, int32_t width, int32_t height, const char* path) {
    if (width < 0 || height < 0 || width > 0xFFFF || height > 0xFFFF || (!pixels && width && height)) {
        Refuse(path, "cannot store a %dx%d image", width, height);
        return -1;
    }
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        Refuse(path, "cannot be written: %s", std::strerror(errno));
        return -1;
    }
    // Type 2 (uncompressed true colour), 32 bits, descriptor 0: bottom-left origin.
    const uint8_t header[TgaHeaderBytes] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                            static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                                            static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8),
                                            32, 0};
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
    size_t row = static_cast<size_t>(width) * 4;
    for (int32_t y = height - 1; ok && y >= 0; --y)
        ok = std::fwrite(pixels + static_cast<size_t>(y) * row, 1, row, f) == row;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) Refuse(path, "write failed");
    return ok ? 0 : -1;
}

// ---- shared ----------------------------------------------------------------------------------

bool LoadImageFile(const char* name, uint32_t& width, uint32_t& height, std::vector<uint8_t>& pixels,
                   DdsImage& image) {
    pixels.clear();
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    if (!dot) return false;
    if (strcasecmp(dot, ".dds") == 0) return LoadDdsFile(name, image, width, height);
    if (strcasecmp(dot, ".img") == 0)
        pixels = LoadImgFile(name, width, height);
    else if (strcasecmp(dot, ".tga") == 0)
        pixels = LoadTgaFile(name, width, height);
    return !pixels.empty();
}

void FlipRows(uint32_t width, uint8_t* pixels, uint32_t height) {
    size_t row = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> temp(row);
    for (uint32_t top = 0, bottom = height ? height - 1 : 0; top < bottom; ++top, --bottom) {
        uint8_t* a = pixels + top * row;
        uint8_t* b = pixels + bottom * row;
        std::memcpy(temp.data(), a, row);
        std::memcpy(a, b, row);
        std::memcpy(b, temp.data(), row);
    }
}

void FillWords(uint16_t* buffer, uint16_t value, uint32_t count) { std::fill(buffer, buffer + count, value); }
