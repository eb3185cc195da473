// The WAV chunk walk over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "audio/openal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WaveRecord record;
    if (ParseWaveBytes(data, size, record) == WaveOk) {
        // What the parser hands on must lie inside the input.
        if (record.dataOffset == 0 || uint64_t{record.dataOffset} + record.dataSize > size) std::abort();
        if (record.formatType != WaveTypePcm && record.formatType != WaveTypeExtensible) std::abort();
    }
    return 0;
}
