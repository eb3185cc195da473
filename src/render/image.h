// Image files: the engine's own .Img format, DirectDraw Surface .dds files and Truevision .tga
// files, and the TGA writer used for screenshots.
//
// The readers hand back RGBA pixels (four bytes each: red, green, blue, alpha), top row first for
// .tga and in file order for .Img; the .dds reader hands back a DdsImage ready for GL upload.
// .Img and .dds files come through the data-file stream (the "Maps" pack, else the data folder);
// .tga files are plain files relative to the working folder.
//
// Every reader is a decoder over bytes held in memory, so a file is read whole and then checked:
// every size in a header is measured against the bytes that follow it, in 64-bit arithmetic,
// before anything is allocated. A refused file gives one line on stderr and the same answer as a
// missing one.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct DdsImage {
    std::vector<uint8_t> data;  // every level, one after the other; a cube-map level holds its six
                                // faces in the order +X, -X, +Y, -Y, +Z, -Z
    uint32_t width = 0;         // level 0
    uint32_t height = 0;
    uint32_t depth = 0;         // 0 for a cube map, otherwise at least 1
    uint32_t compressed = 0;    // 1: data in 4 x 4 blocks
    uint32_t bytesPerUnit = 0;  // per pixel, or per 4 x 4 block when compressed
    uint32_t pixelFormat = 0;   // GL enumerants; all three hold the compressed format when compressed
    uint32_t internalFormat = 0;
    uint32_t dataType = 0;
    uint32_t target = 0;        // GL_TEXTURE_CUBE_MAP, GL_TEXTURE_3D, GL_TEXTURE_2D or GL_TEXTURE_1D
    uint32_t levelCount = 0;    // at least 1
};

// Decoders. `name` only labels the diagnostic line. On failure the outputs are left empty.
bool DecodeImg(std::span<const uint8_t> bytes, const char* name, std::vector<uint8_t>& pixels,
               uint32_t& width, uint32_t& height);
bool DecodeDds(std::span<const uint8_t> bytes, const char* name, DdsImage& image);
bool DecodeTga(std::span<const uint8_t> bytes, const char* name, std::vector<uint8_t>& pixels,
               uint32_t& width, uint32_t& height);

// Loads an image by the text after the last '.' of its name (any case): ".dds" fills `image`,
// ".Img" and ".tga" fill `pixels`. False when the file is missing, refused or of another kind.
bool LoadImageFile(const char* name, uint32_t& width, uint32_t& height, std::vector<uint8_t>& pixels,
                   DdsImage& image);
// Each answers an empty buffer (or false) when the file is missing or refused.
std::vector<uint8_t> LoadImgFile(const char* name, uint32_t& width, uint32_t& height);
bool LoadDdsFile(const char* name, DdsImage& image, uint32_t& width, uint32_t& height);
std::vector<uint8_t> LoadTgaFile(const char* name, uint32_t& width, uint32_t& height);

// Writes a 32-bit uncompressed TGA with bottom-left origin. `pixels` are four bytes each, top row
// first, stored as they stand (callers hand blue, green, red, 0). 0 on success, -1 when the file
// cannot be created or written or the size does not fit the format.
int32_t SaveTgaFile(const uint8_t* pixels, int32_t width, int32_t height, const char* path);

// Bytes of `count` consecutive levels starting at level `first` (six faces counted for a cube map).
// Saturates at UINT64_MAX instead of wrapping.
uint64_t DdsLevelsSize(uint32_t first, const DdsImage& image, uint32_t count);
// max(1, size >> level).
uint32_t DdsLevelWidth(const DdsImage& image, uint32_t level);
uint32_t DdsLevelHeight(const DdsImage& image, uint32_t level);
uint32_t DdsLevelDepth(const DdsImage& image, uint32_t level);

// Reverses the row order of a four-byte-per-pixel image in place.
void FlipRows(uint32_t width, uint8_t* pixels, uint32_t height);
// Sets `count` 16-bit words to `value`.
void FillWords(uint16_t* buffer, uint16_t value, uint32_t count);
