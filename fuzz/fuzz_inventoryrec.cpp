// Inventory records and their item lists over arbitrary bytes: an item list is taken only when its
// count fits the bytes, and any record builds an inventory whose layout and selection stay in range.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/binio.h"
#include "ui/inventory.h"
#include "ui/wnd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BinReader in(data, size);
    InventoryRecord record;
    if (ReadInventoryRecord(in, &record)) {
        const uint64_t before = in.Remaining();
        std::vector<InventoryItemRef> items;
        if (ReadInventoryItemList(in, &items) && 4 + uint64_t(items.size()) * 8 > before) __builtin_trap();
        NztInventory* inv = CreateInventory(record);
        if (inv == nullptr || inv->layout > 3) __builtin_trap();
        AddInventoryItems(inv, items);  // no world: every id is missing
        inv->SelectSlot(int32_t(record.capacity));
        inv->Layout();
        if (inv->selected != 0 || inv->itemCount != 0) __builtin_trap();
        InventoryRecord back;
        inv->FillSceneRecord(&back);
        if (strnlen(back.slotImageName, sizeof back.slotImageName) == sizeof back.slotImageName) __builtin_trap();
    }
    DestroyAllInventories();
    DestroyAllWnds();
    return 0;
}
