// The 2-D plane the drawing tests draw on, and the pixels they read back from it.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// A viewport of width x height pixels where one unit is one pixel, the origin at its centre.
inline void SetPixelPlane(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-width / 2.0, width / 2.0, -height / 2.0, height / 2.0, 1.0, 4000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// The back buffer as RGBA bytes, the bottom row first.
inline std::vector<uint8_t> ReadBackPixels(int width, int height) {
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}
