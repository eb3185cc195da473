// Inventory saves over arbitrary bytes: only whole 256-byte entries of a version-1000 save are
// taken, never more than asked for, each ending in zero.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ui/inventory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t limit = size > 0 ? data[0] % 16u : 0u;
    std::vector<std::vector<char>> names;
    if (!ParseInventorySave(data, size, &names, limit)) return 0;
    if (size < 8 || names.size() > limit || 8 + names.size() * InventoryModelNameBytes > size) __builtin_trap();
    for (const std::vector<char>& name : names)
        if (name.size() != InventoryModelNameBytes || name.back() != 0) __builtin_trap();
    return 0;
}
