#include "render/image.h"

#include <cstdio>
#include <vector>

#include "core/binio.h"
#include "core/nztfile.h"

int SaveTgaFile(const uint8_t* pixels, int width, int height, const char* name) {
    // The header holds the sizes as 16-bit words.
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF || !pixels) return -1;
    NztFile out;
    if (!out.OpenFile(name, NztFileWrite)) return -1;
    BinWriter w(out);
    w.U8(0);    // identification length
    w.U8(0);    // no colour map
    w.U8(2);    // uncompressed true colour
    w.Zeros(5); // colour-map specification
    w.U16(0);   // x origin
    w.U16(0);   // y origin
    w.U16(static_cast<uint16_t>(width));
    w.U16(static_cast<uint16_t>(height));
    w.U8(32);
    w.U8(0);    // bottom-left origin: rows go from the last to the first
    size_t row = static_cast<size_t>(width) * 4;
    for (int y = height - 1; y >= 0; --y) w.Bytes(pixels + row * static_cast<size_t>(y), row);
    bool ok = w.Ok() && std::fflush(out.file) == 0 && !std::ferror(out.file);
    out.CloseWrite();
    if (!ok) {
        std::fprintf(stderr, "image: %s: write failed\n", name);
        return -1;
    }
    return 0;
}
