// Windows cursor (.cur) files: an icon directory of bitmap images with hotspots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace datakit {

struct CurImage {
    int32_t width = 0, height = 0;  // 1..256
    int32_t hotX = 0, hotY = 0;
    int bitCount = 32;              // 32 (colour with alpha), 24 (colour) or 1 (monochrome)
    // 0xAARRGGBB, top row first. 24-bit: alpha 0 is transparent (mask), any other is opaque.
    // Monochrome: alpha below 128 is transparent, otherwise a pixel is white when its green is at
    // least 128, else black.
    std::vector<uint32_t> pixels;
};

// The whole file: header, one directory entry per image, then each image as a bitmap header,
// palette (monochrome), colour rows and mask rows, bottom row first.
std::vector<uint8_t> WriteCur(const std::vector<CurImage>& images);

// Offsets inside a file written by WriteCur, for tests that damage single fields.
inline constexpr size_t kCurDirEntry = 6;      // first directory entry
inline constexpr size_t kCurDirEntrySize = 16;
inline constexpr size_t kCurEntryBytes = 8;    // within an entry: image byte count
inline constexpr size_t kCurEntryOffset = 12;  // within an entry: image offset

}  // namespace datakit
