// The environment-zone section of scene files over arbitrary bytes: the list is read whole or
// left empty, never holds more records than the input has room for, and writes back the bytes
// it read.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/binio.h"
#include "effects/sky.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BinReader in(data, size);
    const bool read = ReadEnvironmentZoneSection(in, "fuzz");
    if (EnvironmentZoneCount < 0 || uint64_t(EnvironmentZoneCount) * EnvironmentZoneBytes > size) __builtin_trap();
    if (!read && (EnvironmentZoneCount != 0 || ZonesEnabled != 0)) __builtin_trap();
    if (read && EnvironmentZoneCount > 0) {
        std::vector<uint8_t> out;
        BinWriter w(out);
        WriteEnvironmentZoneSection(w);
        // Enabled words other than 0 and 1 come back as 1; the rest is byte for byte.
        if (out.size() != in.Position() || std::memcmp(out.data() + 8, data + 8, out.size() - 8) != 0)
            __builtin_trap();
    }
    FreeEnvironmentZones();
    ZonesEnabled = 0;
    return 0;
}
