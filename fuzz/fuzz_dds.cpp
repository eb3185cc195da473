// .dds decoder on arbitrary bytes: a decoded image holds exactly the bytes its levels need.
#include <cstddef>
#include <cstdint>

#include "render/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DdsImage image;
    if (DecodeDds({data, size}, "fuzz.dds", image) &&
        (image.levelCount == 0 || image.data.size() != DdsLevelsSize(0, image, image.levelCount)))
        __builtin_trap();
    return 0;
}
