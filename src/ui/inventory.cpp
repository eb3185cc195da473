#include "ui/inventory.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "character/entity.h"
#include "core/binio.h"
#include "core/input.h"
#include "core/nztfile.h"
#include "core/paths.h"
#include "model/mesh.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "ui/gameui.h"
#include "ui/uirecord.h"
#include "ui/wnd.h"

NztInventory** InventoryList = nullptr;
int32_t InventoryCount = 0;
NztInventory* CurrentInventory = nullptr;

namespace {

// Events fired on an inventory.
constexpr uint32_t EventItemAdded = 0;
constexpr uint32_t EventItemRemoved = 1;
constexpr uint32_t EventItemUsed = 2;
constexpr uint32_t EventSelectedNext = 3;
constexpr uint32_t EventSelectedPrevious = 4;
constexpr uint32_t EventShown = 5;
constexpr uint32_t EventHidden = 6;
constexpr uint32_t EventFull = 7;
constexpr uint32_t EventEmpty = 8;
// Fired on the item itself when it is used.
constexpr uint32_t EventUseItem = 35;
// The pointer event of an item's records: such an item can be dragged.
constexpr int32_t EventPointer = 36;

constexpr float YawSpinStep = 16.0f;  // angle units per drawn frame of a turning item
// Most names one load reads, whatever the stored count says.
constexpr uint32_t MaxInventoryLoad = 4096;

// Gives a window the image of a stem with its own reference (none for an empty stem).
void SetWndImage(CNztWnd* w, const char* stem) {
    if (w == nullptr) return;
    char path[300];
    w->SetImage(UiImageFile(path, stem) ? path : nullptr);
}

NztBaseObject* AsModel(NztEventObject* o) { return dynamic_cast<NztBaseObject*>(o); }

const char* ModelName(NztEventObject* o) {
    NztBaseObject* b = AsModel(o);
    return b != nullptr && b->mesh != nullptr ? b->mesh->Name : nullptr;
}

const char* SavePath(const char* saveName) {
    if (!PlainSaveName(saveName)) {
        std::fprintf(stderr, "inventory: refused save name \"%.255s\"\n", saveName ? saveName : "");
        return nullptr;
    }
    const char* path = DataPathFormat("USER/%s.ivt", saveName);
    return path[0] ? path : nullptr;
}

NztInventory* OwnerOf(CNztWnd* w) {
    if (w == nullptr || w->owner == nullptr) return nullptr;
    if (w->clickHandler != InventorySlotClick && w->eventCallback != InventorySlotCallback) return nullptr;
    return static_cast<NztInventory*>(w->owner);
}

int32_t SlotOfWnd(const NztInventory* inv, const CNztWnd* w) {
    for (int32_t i = inv->itemCount; i-- > 0;)
        if (inv->slotWnds[size_t(i)] == w) return i;
    return -1;
}

bool Pressed(int action) {
    return KeyStates.actions != nullptr && KeyStates.previousActions != nullptr && KeyStates.actions[action] != 0 &&
           KeyStates.previousActions[action] == 0;
}

}  // namespace

bool ReadInventoryRecord(BinReader& in, InventoryRecord* r) {
    in.Text(r->name);
    in.Text(r->selectedImageName);
    in.Text(r->slotImageName);
    in.Text(r->pressedImageName);
    r->layout = in.U32();
    r->parentIndex = in.I32();
    r->capacity = in.I32();
    r->useIcons = in.U32();
    r->x = in.F32();
    r->y = in.F32();
    r->slotWidth = in.F32();
    r->slotHeight = in.F32();
    r->spacing = in.F32();
    r->unselectedInflate = in.F32();
    r->pressGrowth = in.F32();
    return in.Ok();
}

void WriteInventoryRecord(BinWriter& out, const InventoryRecord& r) {
    WriteFixedText(out, r.name);
    WriteFixedText(out, r.selectedImageName);
    WriteFixedText(out, r.slotImageName);
    WriteFixedText(out, r.pressedImageName);
    out.U32(r.layout);
    out.I32(r.parentIndex);
    out.I32(r.capacity);
    out.U32(r.useIcons);
    out.F32(r.x);
    out.F32(r.y);
    out.F32(r.slotWidth);
    out.F32(r.slotHeight);
    out.F32(r.spacing);
    out.F32(r.unselectedInflate);
    out.F32(r.pressGrowth);
}

bool ReadInventoryItemList(BinReader& in, std::vector<InventoryItemRef>* items, uint32_t maxCount) {
    const uint32_t count = in.U32();
    if (!in.Ok() || count > maxCount || !in.Fits(count, 8)) return false;
    std::vector<InventoryItemRef> list(count);
    for (InventoryItemRef& ref : list) {
        ref.id = in.U32();
        ref.kind = in.U32();
    }
    if (!in.Ok()) return false;
    *items = std::move(list);
    return true;
}

void WriteInventoryItemList(BinWriter& out, const std::vector<InventoryItemRef>& items) {
    out.U32(static_cast<uint32_t>(items.size()));
    for (const InventoryItemRef& ref : items) {
        out.U32(ref.id);
        out.U32(ref.kind);
    }
}

bool ParseInventorySave(const uint8_t* data, size_t bytes, std::vector<std::vector<char>>* names,
                        uint32_t maxNames) {
    BinReader in(data, bytes);
    if (in.U32() != InventorySaveVersion) return false;
    const uint32_t count = in.U32();
    if (!in.Ok()) return false;
    names->clear();
    for (uint32_t i = 0; i < count && names->size() < maxNames && in.Remaining() >= InventoryModelNameBytes; ++i) {
        std::vector<char> name(InventoryModelNameBytes);
        in.Read(name.data(), InventoryModelNameBytes);
        name.back() = 0;
        names->push_back(std::move(name));
    }
    return true;
}

NztInventory::NztInventory() {
    kind = ObjectKindInventory;
    range = 500.0f;
}

NztInventory* CreateInventory(const InventoryRecord& record) {
    auto* grown =
        static_cast<NztInventory**>(std::realloc(InventoryList, (size_t(InventoryCount) + 1) * sizeof(NztInventory*)));
    if (grown == nullptr) return nullptr;
    InventoryList = grown;
    auto* inv = new NztInventory;
    InventoryList[InventoryCount] = inv;
    BuildInventoryWnds(inv, record);
    ++InventoryCount;
    CurrentInventory = inv;
    return inv;
}

void BuildInventoryWnds(NztInventory* inv, const InventoryRecord& r) {
    std::snprintf(inv->name, sizeof inv->name, "%s", r.name);
    std::snprintf(inv->selectedImageName, sizeof inv->selectedImageName, "%s", r.selectedImageName);
    std::snprintf(inv->slotImageName, sizeof inv->slotImageName, "%s", r.slotImageName);
    std::snprintf(inv->pressedImageName, sizeof inv->pressedImageName, "%s", r.pressedImageName);
    inv->layout = r.layout;
    if (inv->layout > 3) {
        std::fprintf(stderr, "inventory: \"%.63s\" has unknown layout %u, laid out left to right\n", r.name, r.layout);
        inv->layout = 0;
    }
    inv->parentIndex = r.parentIndex;
    inv->capacity = r.capacity;
    inv->useIcons = r.useIcons;
    inv->x = inv->baseX = FiniteOr(r.x, 0.0f);
    inv->y = inv->baseY = FiniteOr(r.y, 0.0f);
    inv->slotWidth = inv->baseSlotWidth = FiniteOr(r.slotWidth, 0.0f);
    inv->slotHeight = inv->baseSlotHeight = FiniteOr(r.slotHeight, 0.0f);
    inv->spacing = inv->baseSpacing = FiniteOr(r.spacing, 0.0f);
    inv->unselectedInflate = inv->baseUnselectedInflate = FiniteOr(r.unselectedInflate, 0.0f);
    inv->pressGrowth = FiniteOr(r.pressGrowth, 0.0f);
    if (inv->frameWnd == nullptr) {
        const float sx = HudScaleX(), sy = HudScaleY();
        CNztWnd* w = CreateWnd(nullptr, 0.0f, 0.0f, inv->slotWidth * sx, inv->slotHeight * sy, nullptr);
        inv->frameWnd = w;
        if (w != nullptr) {
            w->titleBar = w->captionButtons = w->border = w->opaqueWhenFocused = 0;
            w->movable = w->resizable = 0;
            w->minimumWidth = w->minimumHeight = w->captionHeight = 0.0f;
            w->SetSize(inv->slotWidth * sx, inv->slotHeight * sy);
            w->textColour[0] = w->textColour[1] = w->textColour[2] = 1.0f;
            w->colour[0] = w->colour[1] = w->colour[2] = 0.0f;
            w->colour[3] = 1.0f;
            w->SetChildrenEnabled(0);
            w->SetChildrenVisible(0);
        }
    }
    AttachInventoryToGameUI(inv, inv->parentIndex);
}

void NztInventory::FillSceneRecord(InventoryRecord* r) const {
    *r = InventoryRecord{};
    std::snprintf(r->name, sizeof r->name, "%s", name);
    std::snprintf(r->selectedImageName, sizeof r->selectedImageName, "%s", selectedImageName);
    std::snprintf(r->slotImageName, sizeof r->slotImageName, "%s", slotImageName);
    std::snprintf(r->pressedImageName, sizeof r->pressedImageName, "%s", pressedImageName);
    r->layout = layout;
    r->parentIndex = parentIndex;
    r->capacity = capacity;
    r->useIcons = useIcons;
    r->x = x;
    r->y = y;
    r->slotWidth = slotWidth;
    r->slotHeight = slotHeight;
    r->spacing = spacing;
    r->unselectedInflate = unselectedInflate;
    r->pressGrowth = pressGrowth;
}

std::vector<InventoryItemRef> NztInventory::ItemRefs() const {
    std::vector<InventoryItemRef> refs(static_cast<size_t>(itemCount));
    for (int32_t i = 0; i < itemCount; ++i) {
        NztEventObject* o = Item(i);
        if (o != nullptr && (o->kind == ObjectKindScn || o->kind == ObjectKindEntity)) {
            refs[size_t(i)].id = static_cast<uint32_t>(o->id);
            refs[size_t(i)].kind = static_cast<uint32_t>(o->kind);
        }
    }
    return refs;
}

void AddInventoryItems(NztInventory* inv, const std::vector<InventoryItemRef>& refs) {
    if (inv == nullptr) return;
    const uint32_t self = inv->Handle();
    for (const InventoryItemRef& ref : refs) {
        NztEventObject* o = nullptr;
        if (ref.kind == ObjectKindScn || ref.kind == ObjectKindEntity)
            o = FindSceneObject(static_cast<int32_t>(ref.kind), static_cast<int32_t>(ref.id));
        if (o == nullptr) continue;
        DeactivateObjectForInventory(o);
        inv->AddItem(o);
        if (ResolveEventObject(self) != inv) return;
    }
}

void AttachInventoryToGameUI(NztInventory* inv, int32_t index) {
    inv->parentIndex = index;
    inv->parentWnd = nullptr;
    if (index != -1) {
        NztGameUI* g = GetGameUI(index);
        if (g == nullptr || g->mainWnd == nullptr)
            inv->parentIndex = -1;
        else
            inv->parentWnd = g->mainWnd;
    }
    for (int32_t i = inv->itemCount; i-- > 0;) {
        CNztWnd* w = inv->slotWnds[size_t(i)];
        if (w == nullptr || w == inv->parentWnd || w->parent == inv->parentWnd) continue;
        if (w->parent != nullptr) w->parent->RemoveChild(w);
        w->parent = inv->parentWnd;
        if (inv->parentWnd != nullptr) inv->parentWnd->AddChild(w);
        w->UpdateRect();
    }
}

void NztInventory::SlotPosition(int32_t i, float* px, float* py) const {
    *px = x;
    *py = y;
    switch (layout) {
    case 1:
        *px = x - float(i) * (slotWidth + spacing);
        break;
    case 2:
        *py = y + float(i) * (slotHeight + spacing);
        break;
    case 3:
        *py = y - float(i) * (slotHeight + spacing);
        break;
    default:
        *px = x + float(i) * (slotWidth + spacing);
        break;
    }
}

NztEventObject* NztInventory::Item(int32_t i) const {
    return i >= 0 && i < itemCount ? ResolveEventObject(items[size_t(i)]) : nullptr;
}

int32_t NztInventory::SlotOf(const NztEventObject* object) const {
    if (object == nullptr) return -1;
    for (int32_t i = itemCount; i-- > 0;)
        if (Item(i) == object) return i;
    return -1;
}

void NztInventory::ReloadImages() {
    char path[300];
    uint32_t* slots[3] = {&selectedImage, &slotImage, &pressedImage};
    const char* stems[3] = {selectedImageName, slotImageName, pressedImageName};
    for (int k = 0; k < 3; ++k) {
        if (*slots[k] != 0) ReleaseTexture(*slots[k]);
        *slots[k] = UiImageFile(path, stems[k]) ? LoadTexture(path, 0, 0) : 0;
    }
    SetWndImage(frameWnd, selectedImageName);
}

void NztInventory::AddItem(NztEventObject* object) {
    if (object == nullptr || SlotOf(object) >= 0) return;
    ReloadImages();
    const int32_t index = itemCount;
    float px, py;
    SlotPosition(index, &px, &py);
    const float sx = HudScaleX(), sy = HudScaleY();
    CNztWnd_3D* w = Create3DWnd(px * sx, py * sy, slotWidth * sx, slotHeight * sy, InventorySlotClick, parentWnd);
    if (w == nullptr) return;
    w->titleBar = w->captionButtons = w->border = w->opaqueWhenFocused = 0;
    w->movable = w->resizable = 0;
    w->minimumWidth = w->minimumHeight = w->captionHeight = 0.0f;
    w->textColour[0] = w->textColour[1] = w->textColour[2] = 1.0f;
    w->colour[0] = w->colour[1] = w->colour[2] = 0.0f;
    w->colour[3] = alpha;
    w->SetChildrenVisible(shown);
    if (depthKey != -1.0f) w->depthKey = depthKey;
    if (rotation[0] != 0.0f || rotation[1] != 0.0f || rotation[2] != 0.0f) {
        w->angle1 = rotation[0];
        w->angle2 = rotation[1];
        w->angle3 = rotation[2];
        w->pivotX = rotationCentre[0];
        w->pivotY = rotationCentre[1];
    }
    w->owner = this;
    if (object->HasEventType(EventPointer)) {
        w->eventCallback = InventorySlotCallback;
        w->movable = 1;
    }
    const uint32_t icon = useIcons != 0 ? LoadInventoryIcon(object) : 0;
    SetWndImage(w, selectedImageName);
    if (icon != 0) {
        w->overlayImage = icon;  // owned by the icon array; cleared before the window goes
        w->showModel = 0;
        w->spinning = 0;
        w->spinSteps[0] = w->spinSteps[1] = 0.0f;
    } else {
        w->showModel = 1;
        w->spinning = 1;
        w->spinSteps[0] = YawSpinStep;
        w->spinSteps[1] = 0.0f;
    }
    slotWnds.push_back(w);
    items.push_back(object->Handle());
    icons.push_back(icon);
    itemCount += 1;
    w->shownObject = object;
    w->ShowObject();
    SelectSlot(index);
    const uint32_t self = Handle();
    SendEvent(EventItemAdded, 0, 0, 0);
    if (ResolveEventObject(self) != this) return;
    if (itemCount >= capacity) SendEvent(EventFull, 0, 0, 0);
    if (ResolveEventObject(self) != this) return;
    const int32_t slot = SlotOfWnd(this, w);
    if (slot >= 0) w->SetSize(slotWidth * sx, slotHeight * sy);
}

void NztInventory::DestroySlotWnd(int32_t i) {
    CNztWnd_3D* w = slotWnds[size_t(i)];
    slotWnds[size_t(i)] = nullptr;
    if (w != nullptr) {
        w->SetImage(nullptr);
        w->overlayImage = 0;
        w->shownObject = nullptr;
        w->secondObject = nullptr;
        w->eventCallback = nullptr;
        DestroyWnd(w, 1);
    }
    if (icons[size_t(i)] != 0) ReleaseTexture(icons[size_t(i)]);
    icons[size_t(i)] = 0;
}

int32_t NztInventory::RemoveItem(int32_t i) {
    if (i < 0 || i >= itemCount) return 0;
    itemCount -= 1;
    DestroySlotWnd(i);
    slotWnds.erase(slotWnds.begin() + i);
    items.erase(items.begin() + i);
    icons.erase(icons.begin() + i);
    SelectSlot(selected);
    const uint32_t self = Handle();
    SendEvent(EventItemRemoved, 0, 0, 0);
    if (ResolveEventObject(self) != this) return 1;
    if (itemCount == 0) SendEvent(EventEmpty, 0, 0, 0);
    return 1;
}

int32_t NztInventory::DropLostItems() {
    int32_t dropped = 0;
    for (int32_t i = itemCount; i-- > 0;) {
        if (i >= itemCount || Item(i) != nullptr) continue;
        // The window must not draw what is gone before the slot is removed.
        if (CNztWnd_3D* w = slotWnds[size_t(i)]) w->shownObject = nullptr;
        const uint32_t self = Handle();
        RemoveItem(i);
        ++dropped;
        if (ResolveEventObject(self) != this) break;
    }
    return dropped;
}

int32_t NztInventory::FindItem(NztEventObject* object) const {
    const NztBaseObject* b = AsModel(object);
    if (b == nullptr || b->mesh == nullptr) return -1;
    for (int32_t i = itemCount; i-- > 0;) {
        const NztBaseObject* held = AsModel(Item(i));
        if (held == nullptr || held->mesh == nullptr) continue;
        if (held->mesh->Number == b->mesh->Number && strcasecmp(held->mesh->Name, b->mesh->Name) == 0) return i;
    }
    return -1;
}

void NztInventory::SelectSlot(int32_t i) {
    const float inflate = unselectedInflate * HudScaleX();
    char path[300];
    const bool hasSlot = UiImageFile(path, slotImageName);
    for (int32_t k = itemCount; k-- > 0;) {
        CNztWnd_3D* w = slotWnds[size_t(k)];
        if (w == nullptr) continue;
        w->spinAllowed = 0;
        w->SetImage(hasSlot ? path : nullptr);
        w->inflate = inflate;
    }
    selected = i < 0 ? 0 : (i > itemCount - 1 ? itemCount - 1 : i);
    if (selected < 0) selected = 0;
    if (selected < itemCount) {
        CNztWnd_3D* w = slotWnds[size_t(selected)];
        if (w != nullptr) {
            w->spinAllowed = 1;
            SetWndImage(w, selectedImageName);
            w->inflate = 0.0f;
            SetFocusWnd(w);
        }
    }
}

int32_t NztInventory::SelectPrevious() {
    if (itemCount > 0) {
        SelectSlot(selected - 1);
        SendEvent(EventSelectedPrevious, 0, 0, 0);
    }
    return selected;
}

int32_t NztInventory::SelectNext() {
    if (itemCount > 0) {
        SelectSlot(selected + 1);
        SendEvent(EventSelectedNext, 0, 0, 0);
    }
    return selected;
}

void NztInventory::Layout() {
    const float sx = HudScaleX(), sy = HudScaleY();
    for (int32_t i = itemCount; i-- > 0;) {
        CNztWnd_3D* w = slotWnds[size_t(i)];
        if (w == nullptr) continue;
        float px, py;
        SlotPosition(i, &px, &py);
        w->SetPos(px * sx, py * sy);
        w->SetSize(slotWidth * sx, slotHeight * sy);
    }
    if (frameWnd != nullptr) frameWnd->SetSize(slotWidth * sx, slotHeight * sy);
    SelectSlot(selected);
}

void NztInventory::UseSelected() {
    if (selected < 0 || selected >= itemCount) return;
    NztEventObject* item = Item(selected);
    const uint32_t self = Handle();
    if (item != nullptr) {
        const uint32_t itemHandle = item->Handle();
        item->SendEvent(EventUseItem, 0, 0, 0);
        if (ResolveEventObject(itemHandle) == item) item->ProcessPointerEvents(0);
    }
    if (ResolveEventObject(self) == this) SendEvent(EventItemUsed, 0, 0, 0);
}

void NztInventory::Show() {
    shown = 1;
    for (int32_t i = itemCount; i-- > 0;)
        if (slotWnds[size_t(i)] != nullptr) slotWnds[size_t(i)]->SetChildrenVisible(1);
    SendEvent(EventShown, 0, 0, 0);
}

void NztInventory::Hide() {
    shown = 0;
    for (int32_t i = itemCount; i-- > 0;)
        if (slotWnds[size_t(i)] != nullptr) slotWnds[size_t(i)]->SetChildrenVisible(0);
    SendEvent(EventHidden, 0, 0, 0);
}

void NztInventory::SetDepth(float key) {
    depthKey = key;
    for (CNztWnd_3D* w : slotWnds)
        if (w != nullptr) w->depthKey = key;
    if (frameWnd != nullptr) frameWnd->depthKey = key;
}

void NztInventory::SetRotation(const float angles[3], float pivotX, float pivotY) {
    std::memcpy(rotation, angles, sizeof rotation);
    rotationCentre[0] = pivotX;
    rotationCentre[1] = pivotY;
    for (CNztWnd_3D* w : slotWnds) {
        if (w == nullptr) continue;
        w->angle1 = angles[0];
        w->angle2 = angles[1];
        w->angle3 = angles[2];
        w->pivotX = pivotX;
        w->pivotY = pivotY;
    }
}

void NztInventory::SetAlpha(float a) {
    alpha = a;
    for (CNztWnd_3D* w : slotWnds)
        if (w != nullptr) w->colour[3] = a;
}

void NztInventory::Save(const char* saveName) {
    DropLostItems();
    if (itemCount == 0) return;
    const char* path = SavePath(saveName);
    if (path == nullptr) return;
    AtomicSave save;
    if (!save.Open(path)) return;
    BinWriter out(save.Stream());
    out.U32(InventorySaveVersion);
    out.U32(static_cast<uint32_t>(itemCount));
    for (int32_t i = itemCount; i-- > 0;) {
        char model[InventoryModelNameBytes] = {};
        if (const char* m = ModelName(Item(i))) std::snprintf(model, sizeof model, "%s", m);
        out.Bytes(model, sizeof model);
    }
    if (out.Ok()) save.Commit();
}

void NztInventory::Load(const char* saveName) {
    const char* path = SavePath(saveName);
    if (path == nullptr) return;
    NztFile file;
    if (!file.OpenFile(path, 1)) return;
    // Every stored name is read, not only as many as there are free slots: a name that matches
    // nothing in the world takes no slot from the names after it.
    std::vector<uint8_t> bytes(8);
    uint32_t got = file.Read(8, bytes.data());
    if (got == 8) {
        BinReader header(bytes.data(), bytes.size());
        header.U32();
        const uint32_t stored = header.U32();
        const uint32_t names = stored < MaxInventoryLoad ? stored : MaxInventoryLoad;
        bytes.resize(8 + size_t(names) * InventoryModelNameBytes);
        got += file.Read(static_cast<uint32_t>(bytes.size() - 8), bytes.data() + 8);
    }
    file.Close();
    std::vector<std::vector<char>> names;
    if (!ParseInventorySave(bytes.data(), got, &names, MaxInventoryLoad)) {
        std::fprintf(stderr, "inventory: %s is not an inventory save\n", path);
        return;
    }
    const uint32_t self = Handle();
    for (const std::vector<char>& name : names) {
        if (itemCount >= capacity) break;
        NztEventObject* o = FindObjectByModelName(name.data());
        if (o == nullptr || o->registered == 0) continue;
        DeactivateObjectForInventory(o);
        AddItem(o);
        if (ResolveEventObject(self) != this) return;
    }
}

void DeleteInventoryFile(const char* saveName) {
    if (const char* path = SavePath(saveName)) std::remove(path);
}

void NztInventory::Release() {
    ClearEvents();
    eventRecordCount = 0;
    for (int32_t i = itemCount; i-- > 0;) DestroySlotWnd(i);
    slotWnds.clear();
    items.clear();
    icons.clear();
    if (frameWnd != nullptr) {
        frameWnd->eventCallback = nullptr;
        DestroyWnd(frameWnd, 1);
        frameWnd = nullptr;
    }
    for (uint32_t* t : {&selectedImage, &slotImage, &pressedImage}) {
        if (*t != 0) ReleaseTexture(*t);
        *t = 0;
    }
    itemCount = 0;
    selected = 0;
}

void DestroyAllInventories() {
    for (int32_t i = InventoryCount; i-- > 0;) {
        if (InventoryList[i] == nullptr) continue;
        InventoryList[i]->Release();
        delete InventoryList[i];
    }
    std::free(InventoryList);
    InventoryList = nullptr;
    InventoryCount = 0;
    CurrentInventory = nullptr;
}

void LayoutAllInventories() {
    for (int32_t i = InventoryCount; i-- > 0;)
        if (InventoryList[i] != nullptr) InventoryList[i]->Layout();
}

int32_t RemoveItemFromAllInventories(NztEventObject* object) {
    if (object == nullptr) return 0;
    int32_t removed = 0;
    const uint32_t handle = object->Handle();
    for (int32_t i = InventoryCount; i-- > 0;) {
        if (i >= InventoryCount || InventoryList[i] == nullptr) continue;
        const int32_t slot = InventoryList[i]->SlotOf(object);
        if (slot >= 0) removed += InventoryList[i]->RemoveItem(slot);
        if (ResolveEventObject(handle) != object) break;
    }
    return removed;
}

NztInventory* GetInventory(int32_t index) {
    return index >= 0 && index < InventoryCount ? InventoryList[index] : nullptr;
}

uint32_t LoadInventoryIcon(NztEventObject* object) {
    NztBaseObject* b = AsModel(object);
    if (b == nullptr || b->mesh == nullptr) return 0;
    char stem[256];
    if (!GetPathFileName(stem, b->mesh->Name)) return 0;
    char path[320];
    if (!FormatPath(path, sizeof path, "MAPS/ICONES/%s1%03u.Img", stem, b->mesh->Number)) return 0;
    return LoadTexture(path, 0, 0);
}

NztEventObject* FindObjectByModelName(const char* name) {
    if (name == nullptr || name[0] == 0) return nullptr;
    NztEventObject* first = nullptr;
    auto test = [&](NztBaseObject* o) {
        if (o == nullptr || o->mesh == nullptr || strcasecmp(o->mesh->Name, name) != 0) return false;
        if (o->registered != 0) return true;
        if (first == nullptr) first = o;
        return false;
    };
    for (uint32_t i = 0; i < ScnObjectCount; ++i)
        if (test(ScnObjectList[i])) return ScnObjectList[i];
    for (uint32_t i = 0; i < EntityCount; ++i)
        if (test(EntityList[i])) return EntityList[i];
    return first;
}

void HandleInventoryKeys() {
    NztInventory* inv = CurrentInventory;
    if (inv == nullptr) return;
    if (Pressed(kActionPad4)) {
        if (inv->itemCount > 0) {
            inv->SelectSlot(inv->selected - 1);
            inv->SendEvent(EventSelectedPrevious, 0, 0, 0);
        }
    } else if (Pressed(kActionPad6)) {
        inv->SelectNext();
    } else if (Pressed(kActionPad5)) {
        inv->UseSelected();
    }
}

void DropLostInventoryItems() {
    for (int32_t i = InventoryCount; i-- > 0;)
        if (i < InventoryCount && InventoryList[i] != nullptr) InventoryList[i]->DropLostItems();
}

uint32_t InventorySlotClick(CNztWnd* window) {
    NztInventory* inv = OwnerOf(window);
    if (inv == nullptr) return 1;
    const int32_t slot = SlotOfWnd(inv, window);
    if (slot < 0) return 1;
    const uint32_t self = inv->Handle();
    NztEventObject* item = inv->Item(slot);
    if (item != nullptr) {
        const uint32_t itemHandle = item->Handle();
        if (item->ProcessPointerEvents(0) == 0 && ResolveEventObject(itemHandle) == item &&
            ResolveEventObject(self) == inv && IsLiveWnd(window)) {
            const bool draggable = window->eventCallback == InventorySlotCallback;
            const CNztWnd* r = draggable ? inv->frameWnd : window;
            const float px = window->mouseX + window->screenLeft;
            const float py = window->mouseY + window->screenTop + window->captionHeight;
            if (r != nullptr && px >= r->screenLeft && px <= r->screenRight && py >= r->screenTop &&
                py <= r->screenBottom) {
                item->SendEvent(EventUseItem, 0, 0, 0);
                if (ResolveEventObject(self) == inv) inv->SendEvent(EventItemUsed, 0, 0, 0);
            }
        }
    }
    if (ResolveEventObject(self) != inv) return 1;
    const int32_t now = SlotOfWnd(inv, window);
    if (now >= 0 && inv->itemCount > 0 && inv->slotWnds[size_t(now)]->spinAllowed == 0) inv->SelectSlot(now);
    inv->Layout();
    return 1;
}

uint32_t InventorySlotCallback(uint32_t message, CNztWnd* window, float, float, float) {
    NztInventory* inv = OwnerOf(window);
    if (inv == nullptr) return 1;
    const int32_t slot = SlotOfWnd(inv, window);
    if (slot < 0) return 1;
    switch (message) {
    case WndMsgDestroyed:
        inv->slotWnds[size_t(slot)] = nullptr;
        break;
    case WndMsgLButtonDown: {
        SetWndImage(window, inv->pressedImageName);
        if (CNztWnd* f = inv->frameWnd) {
            f->SetChildrenVisible(1);
            f->SetPos(window->screenLeft, window->screenTop);
        }
        const float g = inv->pressGrowth;
        if (g != 0.0f) {
            const float kx = HudScaleX(), ky = HudScaleY();
            window->SetSize(inv->slotWidth * kx + g * kx, inv->slotHeight * ky + g * kx);
            static_cast<CNztWnd_3D*>(window)->Reframe();
            window->SetPos(window->left - g * 0.5f, window->top - g * 0.5f);
        }
        break;
    }
    case WndMsgLButtonUp:
        if (inv->frameWnd != nullptr) inv->frameWnd->SetChildrenVisible(0);
        break;
    case WndMsgDragged:
        if (NztEventObject* item = inv->Item(slot)) item->ProcessPointerEvents(1);
        break;
    default:
        break;
    }
    return 1;
}
