// Image files.
#pragma once

#include <cstdint>

// Writes pixels (four bytes each, top row first) as an uncompressed 32-bit TGA with its origin at
// the bottom left; each pixel's bytes are stored as they stand (callers hand B, G, R, A).
// 0, or -1 when the file cannot be written.
int SaveTgaFile(const uint8_t* pixels, int width, int height, const char* name);
