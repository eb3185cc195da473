// The texture manager: one reference-counted table of the 2-D textures that come from image files,
// keyed by GL texture name and by the checksum of the file name, so that a file used by many
// objects is uploaded once; the upload of RGBA pixels (size cap, pixel formats, mipmaps) and of
// decoded .dds images; and the special textures made at start-up outside the table.
//
// Main thread only: every operation talks to GL.
#pragma once

#include <cstdint>

struct DdsImage;

struct TextureEntry {
    uint32_t glId;
    uint32_t refCount;      // users; 1 after upload
    uint32_t nameChecksum;  // NameChecksum of the name given to LoadTexture
    uint32_t repeatBound;   // 1 when the texture wraps with GL_REPEAT
    uint32_t named;         // 0 for an upload that no lookup preceded (the video texture): no name finds it
};

constexpr uint32_t MaxTextures = 1024;
// FindTexture's answer when the name is not in the table (-1 as a GL name).
constexpr uint32_t TextureMiss = 0xFFFFFFFFu;

// Entries 0..TextureCount-1 are live and packed.
extern TextureEntry TextureTable[MaxTextures];
extern uint32_t TextureCount;
// GL name last bound to GL_TEXTURE_2D on the current unit, 0 when none is recorded. Binds are sent
// only when the name differs; code that binds or deletes textures directly resets it.
extern uint32_t BoundTextureId;
// Binds the texture (unless already bound) with wrapping on in both directions.
void BindTextureRepeat(uint32_t texture);
// 0: no cap; n >= 1 caps the larger side at 4096 >> (n - 1) pixels. Values above 13 act as 13.
extern uint32_t TextureSizeSetting;

// Zeroes the whole table (context creation).
void ClearTextureTable();

// The main entry: a texture for an image file name (relative, with extension), shared with every
// earlier load of the same name. A missing ".dds" is retried as ".Img" of the same stem.
// Answers the GL name, 0 when the file is missing or refused or the table is full.
uint32_t LoadTexture(const char* name, uint32_t mipmap, uint32_t repeat);
// Lookup with reference: the GL name of a loaded name (its count raised), or TextureMiss. A miss
// keys the next upload with the name.
uint32_t FindTexture(const char* name, uint32_t repeat);
// Creates and registers a texture from pixels: RGBA bytes, or three-byte blue, green, red pixels
// when bits is 17. `pixels` is scaled down in place by the size cap and by mipmap building.
// bits chooses the GL format (6, 7, 8, 9, 16, 17, 18, 24, 32, 64; any other leaves it empty).
// 0 when the table is full.
uint32_t UploadTexture(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bits, uint32_t mipmap,
                       uint32_t linear, uint32_t repeat);
// Sends levels 1.. of the mipmap chain, halving `pixels` in place.
void BuildMipmaps(uint32_t width, uint32_t height, uint8_t* pixels, uint32_t bits);
// Box-filters the image to max(1, width / 2) x max(1, height / 2) in place, rows packed from the
// start of the buffer. On an odd side the last column or row is paired with itself.
void HalveImage(uint32_t width, uint32_t height, uint8_t* pixels, uint32_t bytesPerPixel = 4);
// Creates and registers a texture from a decoded .dds image (2-D, cube, volume or 1-D). 0 when the
// table is full, the image's data is short, or the driver lacks the entry point the data needs.
uint32_t UploadDdsTexture(const DdsImage& image, uint32_t repeat);
// Drops one reference: 1 when the texture was deleted (also for a name not in the table), 0 when
// other users remain or the name is 0.
uint32_t ReleaseTexture(uint32_t id);
// Deletes every texture of the table (shutdown).
void DeleteAllTextures();

// Replaces the image of the video texture with a frame of three-byte blue, green, red pixels; a
// texture made smaller by the size cap gets the frame scaled down to its size.
void UpdateTextureRect(uint32_t texture, const uint8_t* frame, uint32_t width, uint32_t height);
// Draws the video texture last updated over the whole viewport, inside a GL_QUADS primitive that
// the caller opened.
void DrawTexturedQuad();

// 4 x 4 texture of the flat normal (128, 128, 255, 255), for meshes without a bump map.
uint32_t CreateBlankTexture();
// Cube map of six 128 x 128 faces whose texels encode the unit direction towards them.
uint32_t CreateNormalizationCubeMap();
// Cube map from the six sky faces under "MAPS/CubeMap/"; a missing face is left out.
uint32_t LoadSkyCubeMap();
