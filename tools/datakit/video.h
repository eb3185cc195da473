// Video writer: a short AVI of Motion-JPEG frames encoded with FFmpeg's libraries, each frame drawn
// by the caller as 24-bit RGB rows from the top.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace datakit {

struct AviSpec {
    uint32_t width = 160;   // even
    uint32_t height = 120;  // even
    uint32_t framesPerSecond = 15;
    uint32_t frameCount = 30;
    // Fills width x height x 3 bytes for frame index.
    std::function<void(uint32_t frame, std::vector<uint8_t>& rgb)> draw;
};

// False (one line on stderr) when the encoder or the file cannot be set up.
bool WriteAvi(const std::string& path, const AviSpec& spec);

}  // namespace datakit
