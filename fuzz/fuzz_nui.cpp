// Caption saves over arbitrary bytes: a caption is taken only when its length word fits both the
// bytes and the 255-character caption, and it always ends in zero.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ui/gameui.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char text[256];
    std::memset(text, 0x5A, sizeof text);
    if (ParseGameUIText(data, size, text)) {
        uint32_t length = 0;
        if (size < 4) __builtin_trap();
        std::memcpy(&length, data, 4);
        if (length > GameUITextMax || size - 4 < length) __builtin_trap();
        if (text[length] != 0 || std::memcmp(text, data + 4, length) != 0) __builtin_trap();
    } else if (text[0] != 0x5A) {
        __builtin_trap();  // a refused save leaves the caption alone
    }
    return 0;
}
