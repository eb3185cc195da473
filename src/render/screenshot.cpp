#include "render/screenshot.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/paths.h"
#include "render/image.h"
#include "render/projection.h"

int MakeScreenshotName(const char* path, int width, int height) {
    if (width <= 0 || height <= 0) return 1;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    ReadFramePixels(height, width, pixels.data());
    // The frame read leaves the fourth byte 0; viewers take it as transparency, so the shot is
    // stored opaque.
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
    char target[QvPathMax];
    if (!FormatPath(target, sizeof target, "%s", path)) return 1;
    MakePathFolders(target);
    char name[QvPathMax];
    if (NextScreenshotName(target, name, sizeof name)) SaveTgaFile(pixels.data(), width, height, name);
    else std::fprintf(stderr, "paths: no free screenshot name for %s\n", target);
    return 1;
}
