#include "cur.h"

#include "datakit/datakit.h"

namespace datakit {
namespace {

void Set32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

size_t Stride(int32_t width, int bitCount) {
    return (static_cast<size_t>(width) * bitCount + 31) / 32 * 4;
}

std::vector<uint8_t> Bitmap(const CurImage& im) {
    std::vector<uint8_t> out;
    const bool mono = im.bitCount == 1;
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(im.width));
    Put32(out, static_cast<uint32_t>(im.height * 2));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(im.bitCount));
    Put32(out, 0);  // no compression
    const size_t colourStride = Stride(im.width, im.bitCount);
    const size_t maskStride = Stride(im.width, 1);
    Put32(out, static_cast<uint32_t>((colourStride + maskStride) * im.height));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, mono ? 2 : 0);
    Put32(out, 0);
    if (mono) {
        Put32(out, 0x00000000);  // black
        Put32(out, 0x00FFFFFF);  // white
    }
    auto pixel = [&](int32_t x, int32_t row) {  // row counted from the bottom
        return im.pixels[static_cast<size_t>(im.height - 1 - row) * im.width + x];
    };
    for (int32_t row = 0; row < im.height; ++row) {
        std::vector<uint8_t> line(colourStride, 0);
        for (int32_t x = 0; x < im.width; ++x) {
            uint32_t p = pixel(x, row);
            if (mono) {
                bool white = (p >> 24) >= 128 && ((p >> 8) & 0xFF) >= 128;
                if (white) line[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            } else {
                const size_t bytes = static_cast<size_t>(im.bitCount / 8);
                for (size_t i = 0; i < bytes; ++i) {
                    line[x * bytes + i] = static_cast<uint8_t>(p >> (8 * i));
                }
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    for (int32_t row = 0; row < im.height; ++row) {
        std::vector<uint8_t> line(maskStride, 0);
        for (int32_t x = 0; x < im.width; ++x) {
            bool transparent = mono ? (pixel(x, row) >> 24) < 128 : (pixel(x, row) >> 24) == 0;
            if (transparent) line[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

}  // namespace

std::vector<uint8_t> WriteCur(const std::vector<CurImage>& images) {
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 2);  // cursor
    Put16(out, static_cast<uint32_t>(images.size()));
    for (const CurImage& im : images) {
        out.push_back(static_cast<uint8_t>(im.width >= 256 ? 0 : im.width));
        out.push_back(static_cast<uint8_t>(im.height >= 256 ? 0 : im.height));
        out.push_back(static_cast<uint8_t>(im.bitCount == 1 ? 2 : 0));
        out.push_back(0);
        Put16(out, static_cast<uint32_t>(im.hotX));
        Put16(out, static_cast<uint32_t>(im.hotY));
        Put32(out, 0);  // size and offset, filled below
        Put32(out, 0);
    }
    for (size_t i = 0; i < images.size(); ++i) {
        std::vector<uint8_t> bitmap = Bitmap(images[i]);
        size_t entry = kCurDirEntry + i * kCurDirEntrySize;
        Set32(out, entry + kCurEntryBytes, static_cast<uint32_t>(bitmap.size()));
        Set32(out, entry + kCurEntryOffset, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), bitmap.begin(), bitmap.end());
    }
    return out;
}

}  // namespace datakit
