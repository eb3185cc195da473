// Inventories: HUD bars of item slots. Each slot is a 3-D window showing one world object taken out
// of the world (a scene object or a character), or that object's icon. The bar runs in one of four
// directions from its start point, highlights a selected slot, is stepped through and used with the
// keypad (or the pad's hat and button 3), lets the player click or drag items, and fires events on
// itself and on its items. One inventory is the current one, the one the player's keys act on.
//
// Items are held by their event handles: an item destroyed while in a slot is dropped from the slot
// instead of being reached through a stale pointer. An item taken out of a slot stays where it was
// (out of the world, in its object list), so a script can put it back; the level frees it.
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "objects/events.h"

class CNztWnd;
class CNztWnd_3D;
class BinReader;
class BinWriter;

// The inventory's fixed record in scene files: 876 bytes, little-endian. In a scene it is followed
// by the event records and the item list (u32 count, then per slot u32 object id, u32 object kind).
struct InventoryRecord {
    char name[64] = {};
    char selectedImageName[256] = {};
    char slotImageName[256] = {};
    char pressedImageName[256] = {};
    uint32_t layout = 0;       // 0 left to right, 1 right to left, 2 top to bottom, 3 bottom to top
    int32_t parentIndex = -1;  // 0-based game interface index; -1 = none
    int32_t capacity = 10;
    uint32_t useIcons = 0;
    float x = 5.0f, y = 5.0f;
    float slotWidth = 64.0f, slotHeight = 64.0f;
    float spacing = 4.0f;
    float unselectedInflate = -5.0f;
    float pressGrowth = 5.0f;
};
inline constexpr size_t InventoryRecordBytes = 876;
bool ReadInventoryRecord(BinReader& in, InventoryRecord* record);
void WriteInventoryRecord(BinWriter& out, const InventoryRecord& record);

// One entry of the item list that follows the record in a scene.
struct InventoryItemRef {
    uint32_t id = 0;
    uint32_t kind = 0;  // 4 scene object, 5 character; 0 for an empty slot
};
// The item list: false when the count does not fit the bytes or exceeds maxCount.
bool ReadInventoryItemList(BinReader& in, std::vector<InventoryItemRef>* items, uint32_t maxCount = 4096);
void WriteInventoryItemList(BinWriter& out, const std::vector<InventoryItemRef>& items);

// The ".ivt" save: u32 1000, u32 count, then count 256-byte model names (last slot first).
inline constexpr uint32_t InventorySaveVersion = 1000;
inline constexpr size_t InventoryModelNameBytes = 256;
// Model names of a save, in file order, each terminated; at most maxNames are taken. False when
// the version differs or the header is short; a count beyond the bytes keeps the whole entries.
bool ParseInventorySave(const uint8_t* data, size_t bytes, std::vector<std::vector<char>>* names,
                        uint32_t maxNames);

class NztInventory : public NztEventObject {
public:
    NztInventory();

    void FillSceneRecord(InventoryRecord* record) const;
    // The item list of a scene: each slot's object id and kind.
    std::vector<InventoryItemRef> ItemRefs() const;
    void AddItem(NztEventObject* object);
    int32_t RemoveItem(int32_t i);
    int32_t FindItem(NztEventObject* object) const;
    // Exactly that object's slot, from the last; -1 when none.
    int32_t SlotOf(const NztEventObject* object) const;
    NztEventObject* Item(int32_t i) const;
    void SelectSlot(int32_t i);
    int32_t SelectPrevious();
    int32_t SelectNext();
    void Layout();
    void UseSelected();
    void Show();
    void Hide();
    void SetDepth(float key);
    void SetRotation(const float angles[3], float pivotX, float pivotY);
    void SetAlpha(float a);
    void Save(const char* saveName);
    void Load(const char* saveName);
    // Drops the slots whose item no longer exists; the number dropped.
    int32_t DropLostItems();
    void Release();
    // Slot position i, virtual units.
    void SlotPosition(int32_t i, float* px, float* py) const;

    std::vector<CNztWnd_3D*> slotWnds;
    CNztWnd* frameWnd = nullptr;
    int32_t itemCount = 0;
    int32_t selected = 0;
    std::vector<uint32_t> items;  // handles of the objects shown
    std::vector<uint32_t> icons;  // per slot, the icon texture or 0
    char name[64] = {};
    char selectedImageName[256] = {};
    char slotImageName[256] = {};
    char pressedImageName[256] = {};
    uint32_t selectedImage = 0, slotImage = 0, pressedImage = 0;
    uint32_t layout = 0;
    int32_t parentIndex = -1;
    CNztWnd* parentWnd = nullptr;
    int32_t capacity = 10;
    uint32_t useIcons = 0;
    float baseX = 5.0f, baseY = 5.0f, baseSlotWidth = 64.0f, baseSlotHeight = 64.0f, baseSpacing = 4.0f;
    float x = 5.0f, y = 5.0f, slotWidth = 64.0f, slotHeight = 64.0f, spacing = 4.0f;
    float baseUnselectedInflate = -5.0f, unselectedInflate = -5.0f;
    float pressGrowth = 5.0f;
    float alpha = 1.0f;
    float depthKey = -1.0f;
    float rotation[3] = {};
    float rotationCentre[2] = {};
    uint8_t shown = 1;

private:
    void ReloadImages();
    void DestroySlotWnd(int32_t i);
};

extern NztInventory** InventoryList;
extern int32_t InventoryCount;
extern NztInventory* CurrentInventory;

NztInventory* CreateInventory(const InventoryRecord& record);
void BuildInventoryWnds(NztInventory* inventory, const InventoryRecord& record);
// Fills an inventory from a scene's item list (kinds 4 and 5; others and ids not found skipped).
void AddInventoryItems(NztInventory* inventory, const std::vector<InventoryItemRef>& items);
void AttachInventoryToGameUI(NztInventory* inventory, int32_t index);
void DestroyAllInventories();
void LayoutAllInventories();
int32_t RemoveItemFromAllInventories(NztEventObject* object);
void DeleteInventoryFile(const char* saveName);
NztInventory* GetInventory(int32_t index);
// The icon "MAPS/ICONES/<model>1<set, 3 digits>.Img" of the object's model; 0 when missing.
uint32_t LoadInventoryIcon(NztEventObject* object);
// The live object whose model is named so (scene objects, then characters); null when none.
NztEventObject* FindObjectByModelName(const char* name);
// Keypad selection and use of the current inventory; once per frame.
void HandleInventoryKeys();
// Every frame before the windows are drawn: slots whose item went are dropped.
void DropLostInventoryItems();

uint32_t InventorySlotClick(CNztWnd* window);
uint32_t InventorySlotCallback(uint32_t message, CNztWnd* window, float a, float b, float c);
