// Reads any bytes as the user's registry file; what parses must survive a write and a read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/userreg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UserRegFileMax) return 0;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    UserRegData parsed;
    std::string fault;
    if (!ParseUserRegText(text, &parsed, &fault)) {
        if (fault.empty()) __builtin_trap();
        return 0;
    }
    UserRegData again;
    if (!ParseUserRegText(FormatUserRegText(parsed), &again, &fault)) __builtin_trap();
    if (again.keys.size() != parsed.keys.size()) __builtin_trap();
    for (size_t k = 0; k < parsed.keys.size(); ++k) {
        if (again.keys[k].path != parsed.keys[k].path || again.keys[k].values != parsed.keys[k].values)
            __builtin_trap();
    }
    return 0;
}
