// Cursor files come from the data folder: the decoder must refuse anything malformed safely.
#include <cstddef>
#include <cstdint>

#include "core/input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CursorImage image;
    const char* fault = nullptr;
    if (DecodeCursorFile(data, size, &image, &fault)) {
        // A decoded image is always whole and its hotspot inside it.
        if (image.pixels.size() != static_cast<size_t>(image.width) * image.height ||
            image.hotX < 0 || image.hotX >= image.width || image.hotY < 0 ||
            image.hotY >= image.height) {
            __builtin_trap();
        }
    }
    return 0;
}
