// .Img decoder on arbitrary bytes: a decoded image holds exactly width x height RGBA pixels.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> pixels;
    uint32_t width = 0, height = 0;
    if (DecodeImg({data, size}, "fuzz.Img", pixels, width, height) &&
        pixels.size() != static_cast<uint64_t>(width) * height * 4)
        __builtin_trap();
    return 0;
}
