// Trajectory writer: ".Qvt" files of version 10001 (position, target, orientation per point) or
// 10000 (an unused word, position and orientation per point), with fields that can be broken.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

struct QvtPoint {
    std::array<float, 3> position{};
    std::array<float, 3> target{};
    std::array<float, 4> orientation{1.0f, 0.0f, 0.0f, 0.0f};  // w, x, y, z
};

struct QvtOldPoint {
    uint32_t unused = 0;
    std::array<float, 3> position{};
    std::array<float, 4> orientation{1.0f, 0.0f, 0.0f, 0.0f};  // w, x, y, z
};

struct QvtSpec {
    // Written as exactly 18 bytes: cut, or padded with zeros (so the default ends in its NUL).
    std::string magic = "NztC Traject File";
    uint32_t version = 10001;
    std::string name;           // the 256-byte name field, zero-padded
    int64_t declaredCount = -1;  // the count written; -1 writes the number of points given
    std::vector<QvtPoint> points;        // written for every version but 10000
    std::vector<QvtOldPoint> oldPoints;  // written for version 10000
};

std::vector<uint8_t> MakeQvt(const QvtSpec& spec);

// A point at `position` looking at `target`, its orientation that of the direction target - position
// (the quaternion that turns +z onto it), as the engine derives it for every point it records.
QvtPoint MakeQvtPoint(const std::array<float, 3>& position, const std::array<float, 3>& target);

}  // namespace datakit
