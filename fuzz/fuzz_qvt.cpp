// Trajectory files over arbitrary bytes: a trajectory always keeps at least one point and a
// terminated name, read or not.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "camera/traject.h"
#include "core/nztfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    NztFile stream;
    stream.OpenMemory(data, static_cast<uint32_t>(size));
    NztTraject traject;
    traject.points.resize(1);
    int read = ReadTrajectStream(stream, "fuzz.Qvt", &traject);
    if (traject.points.empty() || strnlen(traject.name, sizeof traject.name) == sizeof traject.name) __builtin_trap();
    // A file is read whole or not at all: the points must fit in the input.
    if (read && traject.points.size() > 1 &&
        TrajectHeaderBytes + traject.points.size() * uint64_t{TrajectOldPointBytes} > size)
        __builtin_trap();
    if (read) {
        Vec3 p{0.0f, 0.0f, 0.0f};
        float u = 0.0f;
        traject.ProjectOnSegment(traject.NearestPointByTarget(p), p, u);
        traject.AdvanceCursor();
        if (traject.currentPoint < 0 || traject.currentPoint >= traject.PointCount()) __builtin_trap();
    }
    stream.Close();
    return 0;
}
