#include "ui/gameui.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/binio.h"
#include "core/frameclock.h"
#include "core/nztfile.h"
#include "core/paths.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "render/texture.h"
#include "ui/counter.h"
#include "ui/inventory.h"
#include "ui/textbox.h"
#include "ui/uirecord.h"
#include "ui/wnd.h"

NztGameUI** GameUIList = nullptr;
int32_t GameUICount = 0;
void (*HudPointerPosition)(int32_t* x, int32_t* y) = nullptr;

namespace {

// Events fired on a game interface.
constexpr uint32_t EventClicked = 9;
constexpr uint32_t EventPointerEntered = 10;
constexpr uint32_t EventPointerLeft = 11;
constexpr uint32_t EventShown = 26;
constexpr uint32_t EventHidden = 27;
constexpr uint32_t EventEnter = 66;
constexpr uint32_t EventEscape = 67;

constexpr float DegreesToUnits = 11.377778f;  // 4096 / 360

void RestoreGameFont() {
    RenderState.currentFont = RenderState.gameFont;
    RenderState.currentFontSize = RenderState.gameFontSize;
}

// "MAPS/UI/<stem>.Img" into out; false when the stem is null or the name does not fit.
bool UiImagePath(char (&out)[300], const char* stem) {
    return stem != nullptr && FormatPath(out, sizeof out, "MAPS/UI/%s.Img", stem);
}

uint32_t LoadUiImage(const char* stem) {
    char path[300];
    if (!UiImagePath(path, stem) || stem[0] == 0) return 0;
    return LoadTexture(path, 0, 0);
}

void ReplaceImage(uint32_t& slot, const char* stem) {
    if (slot != 0) ReleaseTexture(slot);
    slot = LoadUiImage(stem);
}

const char* SavePath(const char* saveName) {
    if (!PlainSaveName(saveName)) {
        std::fprintf(stderr, "gameui: refused save name \"%.255s\"\n", saveName ? saveName : "");
        return nullptr;
    }
    const char* path = DataPathFormat("USER/%s.nui", saveName);
    return path[0] ? path : nullptr;
}

bool IsGameUIWnd(const CNztWnd* w) { return w->eventCallback == GameUIWndCallback && w->owner != nullptr; }
bool IsCounterWnd(const CNztWnd* w) { return w->eventCallback == CounterWndCallback && w->owner != nullptr; }

// The window a counter shows its picture in: its image window, else its main window.
CNztWnd* CounterShownWnd(NztCounter* c) { return c->imageWnd ? c->imageWnd : c->mainWnd; }

int32_t IndexOf(const NztGameUI* object) {
    for (int32_t i = GameUICount; i-- > 0;)
        if (GameUIList[i] == object) return i;
    return -1;
}

void Reparent(CNztWnd* w, CNztWnd* newParent) {
    if (w->parent != nullptr) w->parent->RemoveChild(w);
    w->parent = newParent;
    if (newParent != nullptr) newParent->AddChild(w);
    w->UpdateRect();
}

}  // namespace

bool PlainSaveName(const char* name) {
    if (name == nullptr || name[0] == 0 || std::strcmp(name, ".") == 0 || std::strstr(name, "..")) return false;
    return std::strpbrk(name, "/\\:") == nullptr;
}

float HudScaleX() { return RenderState.screenWidthF * 0.0009765625f; }
float HudScaleY() { return RenderState.screenHeightF * 0.0013020834f; }

bool ReadGameUIRecord(BinReader& in, GameUIRecord* r) {
    r->parentIndex = in.I32();
    r->x = in.F32();
    r->y = in.F32();
    r->width = in.F32();
    r->height = in.F32();
    r->pressInflate = in.F32();
    r->border = in.U32();
    r->movable = in.U32();
    r->resizable = in.U32();
    r->textOffsetX = in.F32();
    r->textOffsetY = in.F32();
    r->textShadow = in.U32();
    r->textColour = in.U32();
    r->textIndex = in.I32();
    in.Text(r->name);
    in.Text(r->imageName);
    in.Text(r->passOverImageName);
    in.Text(r->pressedImageName);
    return in.Ok();
}

void WriteGameUIRecord(BinWriter& out, const GameUIRecord& r) {
    out.I32(r.parentIndex);
    out.F32(r.x);
    out.F32(r.y);
    out.F32(r.width);
    out.F32(r.height);
    out.F32(r.pressInflate);
    out.U32(r.border);
    out.U32(r.movable);
    out.U32(r.resizable);
    out.F32(r.textOffsetX);
    out.F32(r.textOffsetY);
    out.U32(r.textShadow);
    out.U32(r.textColour);
    out.I32(r.textIndex);
    WriteFixedText(out, r.name);
    WriteFixedText(out, r.imageName);
    WriteFixedText(out, r.passOverImageName);
    WriteFixedText(out, r.pressedImageName);
}

bool ParseGameUIText(const uint8_t* data, size_t bytes, char (&text)[256], uint32_t* storedLength) {
    BinReader in(data, bytes);
    const uint32_t length = in.U32();
    if (!in.Ok() || length > GameUITextMax || in.Remaining() < length) return false;
    if (storedLength != nullptr) *storedLength = length;
    char buffer[256] = {};
    in.Read(buffer, length);
    buffer[length] = 0;
    std::memcpy(text, buffer, sizeof buffer);
    return true;
}

GameUIAnimParams GetUIAnimParams(const EventRecord& r) {
    GameUIAnimParams p;
    p.kind = static_cast<uint32_t>(r.ValueI(5));
    p.duration = r.ValueF(3);
    p.start[0] = r.ValueF(6);
    p.start[1] = r.ValueF(7);
    p.start[2] = r.ValueF(10);
    p.end[0] = r.ValueF(8);
    p.end[1] = r.ValueF(9);
    p.end[2] = r.ValueF(11);
    return p;
}

NztGameUI::NztGameUI() {
    kind = ObjectKindGameUI;
    range = 500.0f;
}

NztGameUI* CreateGameUI(const GameUIRecord& record) {
    auto* grown = static_cast<NztGameUI**>(std::realloc(GameUIList, (size_t(GameUICount) + 1) * sizeof(NztGameUI*)));
    if (grown == nullptr) return nullptr;
    GameUIList = grown;
    auto* g = new NztGameUI;
    GameUIList[GameUICount] = g;
    BuildGameUIWnds(g, record);
    ++GameUICount;
    return g;
}

void BuildGameUIWnds(NztGameUI* g, const GameUIRecord& r) {
    g->parentIndex = r.parentIndex;
    g->x = g->baseX = FiniteOr(r.x, 0.0f);
    g->y = g->baseY = FiniteOr(r.y, 0.0f);
    g->width = g->baseWidth = FiniteOr(r.width, 0.0f);
    g->height = g->baseHeight = FiniteOr(r.height, 0.0f);
    g->pressInflate = FiniteOr(r.pressInflate, 0.0f);
    g->textIndex = r.textIndex;
    g->textOffsetX = FiniteOr(r.textOffsetX, 0.0f);
    g->textOffsetY = FiniteOr(r.textOffsetY, 0.0f);
    g->textShadow = r.textShadow;
    UnpackTextColour(r.textColour, g->textColour);
    std::snprintf(g->name, sizeof g->name, "%s", r.name);
    std::snprintf(g->imageName, sizeof g->imageName, "%s", r.imageName);
    std::snprintf(g->passOverImageName, sizeof g->passOverImageName, "%s", r.passOverImageName);
    std::snprintf(g->pressedImageName, sizeof g->pressedImageName, "%s", r.pressedImageName);

    RestoreGameFont();
    const float sx = HudScaleX(), sy = HudScaleY();
    char normal[300], pressed[300], passOver[300];
    const bool hasNormal = UiImagePath(normal, g->imageName) && g->imageName[0];
    const bool hasPressed = UiImagePath(pressed, g->pressedImageName) && g->pressedImageName[0];
    const bool hasPassOver = UiImagePath(passOver, g->passOverImageName) && g->passOverImageName[0];
    CNztWnd_Button* w = CreateButtonWnd(GtxEntry(g->textIndex), hasPassOver ? passOver : nullptr, g->x * sx,
                                        g->y * sy, g->width * sx, g->height * sy, GameUIButtonCallback, nullptr,
                                        hasNormal ? normal : nullptr, hasPressed ? pressed : nullptr);
    g->mainWnd = w;
    if (w == nullptr) return;
    w->owner = g;
    std::memcpy(w->textColour, g->textColour, sizeof w->textColour);
    w->shadow = g->textShadow;
    w->textOffsetX = g->textOffsetX * sx;
    w->textOffsetY = g->textOffsetY * sy;
    w->colour[3] = 1.0f;
    w->border = r.border;
    w->movable = r.movable;
    w->resizable = r.resizable;
    w->opaqueWhenFocused = 0;
    w->pressInflate = g->pressInflate * sx;
    w->eventCallback = GameUIWndCallback;
}

void NztGameUI::FillSceneRecord(GameUIRecord* r) const {
    *r = GameUIRecord{};
    r->parentIndex = parentIndex;
    r->x = x;
    r->y = y;
    r->width = width;
    r->height = height;
    r->pressInflate = pressInflate;
    if (mainWnd != nullptr) {
        r->border = mainWnd->border;
        r->movable = mainWnd->movable;
        r->resizable = mainWnd->resizable;
    }
    r->textIndex = textIndex;
    r->textOffsetX = textOffsetX;
    r->textOffsetY = textOffsetY;
    r->textShadow = textShadow;
    r->textColour = PackTextColour(textColour);
    std::snprintf(r->name, sizeof r->name, "%s", name);
    std::snprintf(r->imageName, sizeof r->imageName, "%s", imageName);
    std::snprintf(r->passOverImageName, sizeof r->passOverImageName, "%s", passOverImageName);
    std::snprintf(r->pressedImageName, sizeof r->pressedImageName, "%s", pressedImageName);
}

void NztGameUI::Place() {
    if (mainWnd != nullptr) mainWnd->SetPos(x * HudScaleX(), y * HudScaleY());
}

void NztGameUI::LinkToParent() {
    CNztWnd* w = mainWnd;
    if (parentIndex == -1) {
        if (w != nullptr && w->parent != nullptr) Reparent(w, nullptr);
    } else if (GetGameUI(parentIndex) == nullptr) {
        parentIndex = -1;
    } else if (w != nullptr) {
        CNztWnd* p = GameUIList[parentIndex]->mainWnd;
        if (p != nullptr && p != w && w->parent != p) {
            // A panel never hangs under one of its own descendants.
            bool loop = false;
            for (CNztWnd* a = p; a != nullptr; a = a->parent) loop = loop || a == w;
            if (!loop) Reparent(w, p);
        }
    }
    Place();
}

void LinkAllGameUIs() {
    for (int32_t i = 0; i < GameUICount; ++i)
        if (GameUIList[i] != nullptr) GameUIList[i]->LinkToParent();
}

NztGameUI* GetGameUI(int32_t index) {
    return index >= 0 && index < GameUICount ? GameUIList[index] : nullptr;
}

void ShowGameUI(NztGameUI* g) {
    if (g == nullptr || g->mainWnd == nullptr) return;
    g->mainWnd->SetChildrenVisible(1);
    g->SendEvent(EventShown, 0, 0, 0);
}

void HideGameUI(NztGameUI* g) {
    if (g == nullptr || g->mainWnd == nullptr) return;
    g->mainWnd->SetChildrenVisible(0);
    g->SendEvent(EventHidden, 0, 0, 0);
}

void EnableGameUI(NztGameUI* g) {
    if (g != nullptr && g->mainWnd != nullptr) g->mainWnd->SetChildrenEnabled(1);
}

void DisableGameUI(NztGameUI* g) {
    if (g != nullptr && g->mainWnd != nullptr) g->mainWnd->SetChildrenEnabled(0);
}

void NztGameUI::SetImage(const char* stem) {
    if (mainWnd == nullptr || stem == nullptr) return;
    ReplaceImage(mainWnd->normalImage, stem);
    std::snprintf(imageName, sizeof imageName, "%s", stem);
}

void NztGameUI::SetPressedImage(const char* stem) {
    if (mainWnd == nullptr || stem == nullptr) return;
    ReplaceImage(mainWnd->pressedImage, stem);
    std::snprintf(pressedImageName, sizeof pressedImageName, "%s", stem);
}

void NztGameUI::SetPassOverImage(const char* stem) {
    if (mainWnd == nullptr || stem == nullptr) return;
    ReplaceImage(mainWnd->passOverImage, stem);
    std::snprintf(passOverImageName, sizeof passOverImageName, "%s", stem);
}

void NztGameUI::SetGtxText(int32_t index) {
    textIndex = index;
    if (mainWnd != nullptr) mainWnd->SetText(GtxEntry(index));
}

void NztGameUI::SetOpacity(float alpha) {
    if (mainWnd == nullptr) return;
    mainWnd->colour[3] = alpha;
    FadeChildren(alpha);
}

void NztGameUI::RotateChildren(const float angles[3], float pivotX, float pivotY) {
    if (mainWnd == nullptr) return;
    for (uint32_t i = mainWnd->childCount; i-- > 0;) {
        CNztWnd* c = mainWnd->children[i];
        CNztWnd* target = nullptr;
        NztGameUI* child = nullptr;
        if (IsGameUIWnd(c)) {
            target = c;
            child = static_cast<NztGameUI*>(c->owner);
        } else if (IsCounterWnd(c)) {
            target = CounterShownWnd(static_cast<NztCounter*>(c->owner));
        }
        if (target == nullptr) continue;
        target->angle1 = angles[0];
        target->angle2 = angles[1];
        target->angle3 = angles[2];
        target->pivotX = pivotX;
        target->pivotY = pivotY;
        if (child != nullptr && child != this) child->RotateChildren(angles, pivotX, pivotY);
    }
    const int32_t self = IndexOf(this);
    for (int32_t i = InventoryCount; i-- > 0;)
        if (InventoryList[i] != nullptr && self >= 0 && InventoryList[i]->parentIndex == self)
            InventoryList[i]->SetRotation(angles, pivotX, pivotY);
}

void NztGameUI::ScaleChildren(float sx, float sy) {
    if (mainWnd == nullptr) return;
    const float kx = HudScaleX(), ky = HudScaleY();
    for (uint32_t i = mainWnd->childCount; i-- > 0;) {
        CNztWnd* c = mainWnd->children[i];
        if (IsGameUIWnd(c)) {
            auto* child = static_cast<NztGameUI*>(c->owner);
            if (child == this) continue;
            child->x = FiniteOr(child->baseX * sx, child->x);
            child->y = FiniteOr(child->baseY * sy, child->y);
            child->width = FiniteOr(child->baseWidth * sx, child->width);
            child->height = FiniteOr(child->baseHeight * sy, child->height);
            if (child->mainWnd != nullptr) {
                child->mainWnd->SetPos(child->x * kx, child->y * ky);
                child->mainWnd->SetSize(child->width * kx, child->height * ky);
            }
            child->ScaleChildren(sx, sy);
        } else if (IsCounterWnd(c)) {
            auto* counter = static_cast<NztCounter*>(c->owner);
            counter->x = FiniteOr(counter->baseX * sx, counter->x);
            counter->y = FiniteOr(counter->baseY * sy, counter->y);
            counter->fullWidth = FiniteOr(counter->baseFullWidth * sx, counter->fullWidth);
            counter->fullHeight = FiniteOr(counter->baseFullHeight * sy, counter->fullHeight);
            if (counter->counterKind == 0) {
                counter->width = counter->fullWidth;
                counter->height = counter->fullHeight;
            }
            counter->Place();
            counter->Resize();
        }
    }
    const int32_t self = IndexOf(this);
    for (int32_t i = InventoryCount; i-- > 0;) {
        NztInventory* inv = InventoryList[i];
        if (inv == nullptr || self < 0 || inv->parentIndex != self) continue;
        inv->x = FiniteOr(inv->baseX * sx, inv->x);
        inv->y = FiniteOr(inv->baseY * sy, inv->y);
        inv->slotWidth = FiniteOr(inv->baseSlotWidth * sx, inv->slotWidth);
        inv->slotHeight = FiniteOr(inv->baseSlotHeight * sy, inv->slotHeight);
        inv->spacing = FiniteOr(inv->baseSpacing * (inv->layout <= 1 ? sx : sy), inv->spacing);
        inv->Layout();
    }
}

void NztGameUI::FadeChildren(float alpha) {
    if (mainWnd == nullptr) return;
    for (uint32_t i = mainWnd->childCount; i-- > 0;) {
        CNztWnd* c = mainWnd->children[i];
        if (IsGameUIWnd(c)) {
            auto* child = static_cast<NztGameUI*>(c->owner);
            c->colour[3] = alpha;
            if (child != this) child->FadeChildren(alpha);
        } else if (IsCounterWnd(c)) {
            if (CNztWnd* shown = CounterShownWnd(static_cast<NztCounter*>(c->owner))) shown->colour[3] = alpha;
        }
    }
    const int32_t self = IndexOf(this);
    for (int32_t i = InventoryCount; i-- > 0;)
        if (InventoryList[i] != nullptr && self >= 0 && InventoryList[i]->parentIndex == self)
            InventoryList[i]->SetAlpha(alpha);
}

void NztGameUI::StartAnim(const GameUIAnimParams& p) {
    if (p.kind == 0) {
        std::free(anims);
        anims = nullptr;
        animCount = animCapacity = 0;
        return;
    }
    if (p.kind > GameUIAnimFade) return;
    if (animCount == animCapacity) {
        auto* grown = static_cast<GameUIAnim*>(std::realloc(anims, (size_t(animCapacity) + 1) * sizeof(GameUIAnim)));
        if (grown == nullptr) return;
        anims = grown;
        ++animCapacity;
    }
    GameUIAnim a;
    a.kind = p.kind;
    a.duration = FiniteOr(p.duration, 0.0f);
    switch (p.kind) {
    case GameUIAnimMove:
        a.start[0] = p.start[0];
        a.start[1] = p.start[1];
        break;
    case GameUIAnimRotate:
        for (int i = 0; i < 3; ++i) {
            a.start[i] = p.start[i] * DegreesToUnits;
            a.end[i] = p.end[i] * DegreesToUnits;
        }
        break;
    case GameUIAnimScale:
        a.start[0] = p.start[0];
        a.start[1] = p.start[1];
        a.end[0] = p.end[0];
        a.end[1] = p.end[1];
        break;
    default:
        a.start[0] = p.start[0];
        a.end[0] = p.end[0];
        break;
    }
    for (float& v : a.start) v = FiniteOr(v, 0.0f);
    for (float& v : a.end) v = FiniteOr(v, 0.0f);
    anims[animCount++] = a;
    if (a.duration <= 0.0f) StepAnim(animCount - 1);
}

void NztGameUI::StepAnims() {
    for (int32_t i = animCount; i-- > 0;)
        if (i < animCount) StepAnim(i);
}

void NztGameUI::RemoveAnim(int32_t i) {
    if (i < 0 || i >= animCount) return;
    for (int32_t j = i + 1; j < animCount; ++j) anims[j - 1] = anims[j];
    --animCount;
}

void NztGameUI::StepAnim(int32_t i) {
    if (mainWnd == nullptr) {
        RemoveAnim(i);
        return;
    }
    GameUIAnim& a = anims[i];
    a.elapsed += FrameTiming.frameTime;
    // A zero duration (or one that has run out) applies the end at once; t never divides by 0.
    if (a.duration > 0.0f && a.elapsed <= a.duration) {
        ApplyAnim(a, a.elapsed / a.duration, false);
        return;
    }
    GameUIAnim done = a;
    RemoveAnim(i);
    ApplyAnim(done, 1.0f, true);
}

void NztGameUI::ApplyAnim(GameUIAnim& a, float t, bool last) {
    if (mainWnd == nullptr) return;
    const float kx = HudScaleX(), ky = HudScaleY();
    switch (a.kind) {
    case GameUIAnimMove: {
        float stepX, stepY;
        if (last) {
            stepX = a.start[0] - a.end[0];
            stepY = a.start[1] - a.end[1];
        } else {
            stepX = a.start[0] * t - a.end[0];
            stepY = a.start[1] * t - a.end[1];
        }
        // Finite but huge values may overflow on the way: such a step is not taken.
        if (!std::isfinite(stepX) || !std::isfinite(x + stepX) || !std::isfinite(baseX + stepX) ||
            !std::isfinite(a.end[0] + stepX))
            stepX = 0.0f;
        if (!std::isfinite(stepY) || !std::isfinite(y + stepY) || !std::isfinite(baseY + stepY) ||
            !std::isfinite(a.end[1] + stepY))
            stepY = 0.0f;
        a.end[0] += stepX;
        a.end[1] += stepY;
        x += stepX;
        y += stepY;
        if (last) {
            baseX = x;
            baseY = y;
        } else {
            baseX += stepX;
            baseY += stepY;
        }
        Place();
        break;
    }
    case GameUIAnimRotate: {
        float angles[3];
        for (int k = 0; k < 3; ++k) {
            angles[k] = last ? a.end[k] : a.start[k] + (a.end[k] - a.start[k]) * t;
            if (last) {
                const double r = std::nearbyint(double(angles[k]));
                if (std::fmod(r, 4096.0) == 0.0) angles[k] = 0.0f;
            }
        }
        CNztWnd* w = mainWnd;
        const float px = (w->screenLeft + w->screenRight) * 0.5f;
        const float py = (w->screenTop + w->screenBottom) * 0.5f;
        w->angle1 = angles[0];
        w->angle2 = angles[1];
        w->angle3 = angles[2];
        w->pivotX = px;
        w->pivotY = py;
        RotateChildren(angles, px, py);
        break;
    }
    case GameUIAnimScale: {
        const float sx = a.start[0] + (a.end[0] - a.start[0]) * t;
        const float sy = a.start[1] + (a.end[1] - a.start[1]) * t;
        const float newWidth = baseWidth * sx, newHeight = baseHeight * sy;
        const float newX = x - (newWidth - width) * 0.5f, newY = y - (newHeight - height) * 0.5f;
        // A scale that overflows the geometry is not applied.
        if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(newWidth) || !std::isfinite(newHeight) ||
            !std::isfinite(newX) || !std::isfinite(newY))
            break;
        x = newX;
        y = newY;
        width = newWidth;
        height = newHeight;
        mainWnd->SetSize(width * kx, height * ky);
        Place();
        ScaleChildren(sx, sy);
        break;
    }
    case GameUIAnimFade: {
        const float alpha = a.start[0] + (a.end[0] - a.start[0]) * t;
        mainWnd->colour[3] = alpha;
        FadeChildren(alpha);
        break;
    }
    default:
        break;
    }
}

void NztGameUI::SaveText(const char* saveName) {
    // Without a window there is no caption to keep: nothing is written.
    if (mainWnd == nullptr) return;
    const char* path = SavePath(saveName);
    if (path == nullptr) return;
    AtomicSave save;
    if (!save.Open(path)) return;
    BinWriter out(save.Stream());
    const uint32_t length = static_cast<uint32_t>(strnlen(mainWnd->text, GameUITextMax));
    out.U32(length);
    if (length != 0) out.Bytes(mainWnd->text, length);
    if (out.Ok()) save.Commit();
}

void NztGameUI::LoadText(const char* saveName) {
    const char* path = SavePath(saveName);
    if (path == nullptr) return;
    NztFile file;
    if (!file.OpenFile(path, 1)) return;
    uint8_t bytes[4 + GameUITextMax];
    const uint32_t got = file.Read(sizeof bytes, bytes);
    file.Close();
    char caption[256];
    uint32_t length = 0;
    if (!ParseGameUIText(bytes, got, caption, &length)) {
        std::fprintf(stderr, "gameui: %s is not a caption save\n", path);
        return;
    }
    // A save of length 0 keeps the caption and its text index; stored bytes that begin with a zero
    // are an empty caption all the same.
    if (length == 0) return;
    textIndex = -1;
    if (mainWnd != nullptr) std::memcpy(mainWnd->text, caption, sizeof caption);
}

void NztGameUI::RefreshTextSize() {
    CNztWnd_Button* w = mainWnd;
    if (w == nullptr) return;
    w->fontSize = RenderState.currentFontSize;
    w->inverseFontSize = w->fontSize != 0.0f ? 1.0f / w->fontSize : 0.0f;
    MeasureText(w->text, &w->textWidth, &w->textHeight, &w->textDepth);
    w->textOffsetX = textOffsetX * HudScaleX();
    w->textOffsetY = textOffsetY * HudScaleY();
}

void RefreshGameUITexts() {
    for (int32_t i = GameUICount; i-- > 0;) {
        NztGameUI* g = GameUIList[i];
        if (g != nullptr && g->mainWnd != nullptr) g->mainWnd->SetText(GtxEntry(g->textIndex));
    }
}

void LayoutAllGameUIs() {
    const float kx = HudScaleX(), ky = HudScaleY();
    for (int32_t i = GameUICount; i-- > 0;) {
        NztGameUI* g = GameUIList[i];
        if (g == nullptr || g->mainWnd == nullptr) continue;
        g->x = g->baseX;
        g->y = g->baseY;
        g->width = g->baseWidth;
        g->height = g->baseHeight;
        g->mainWnd->SetPos(g->x * kx, g->y * ky);
        g->mainWnd->SetSize(g->width * kx, g->height * ky);
        g->mainWnd->pressInflate = g->pressInflate * kx;
        g->RefreshTextSize();
    }
}

void NztGameUI::DestroyWnd() {
    CNztWnd* w = mainWnd;
    if (w == nullptr) return;
    // The panels, counters and slots hanging under this one are not its own: they stay, hidden and
    // detached, and nobody keeps pointing at the window that goes.
    while (w->childCount > 0) {
        CNztWnd* c = w->children[w->childCount - 1];
        Reparent(c, nullptr);
        c->SetChildrenVisible(0);
    }
    const int32_t self = IndexOf(this);
    for (int32_t i = CounterCount; i-- > 0;)
        if (CounterList[i] != nullptr && CounterList[i]->parentWnd == w) CounterList[i]->parentWnd = nullptr;
    for (int32_t i = InventoryCount; i-- > 0;)
        if (InventoryList[i] != nullptr && (InventoryList[i]->parentWnd == w || (self >= 0 && InventoryList[i]->parentIndex == self)))
            InventoryList[i]->parentWnd = nullptr;
    mainWnd = nullptr;
    w->eventCallback = nullptr;
    ::DestroyWnd(w, 1);
}

void NztGameUI::Release() {
    ClearEvents();
    eventRecordCount = 0;
    std::free(anims);
    anims = nullptr;
    animCount = animCapacity = 0;
    DestroyWnd();
}

void DestroyAllGameUIs() {
    for (int32_t i = GameUICount; i-- > 0;) {
        if (GameUIList[i] == nullptr) continue;
        GameUIList[i]->Release();
        delete GameUIList[i];
    }
    std::free(GameUIList);
    GameUIList = nullptr;
    GameUICount = 0;
}

uint32_t GameUIButtonCallback(CNztWnd* window) {
    auto* g = window != nullptr && window->eventCallback == GameUIWndCallback ? static_cast<NztGameUI*>(window->owner) : nullptr;
    if (g != nullptr) g->SendEvent(EventClicked, 0, 0, 0);
    return 1;
}

uint32_t GameUIWndCallback(uint32_t message, CNztWnd* window, float a, float, float) {
    auto* g = window != nullptr ? static_cast<NztGameUI*>(window->owner) : nullptr;
    if (g == nullptr) return 1;
    switch (message) {
    case WndMsgDestroyed:
        if (g->mainWnd == window) g->mainWnd = nullptr;
        break;
    case WndMsgBeforeBody:
        RestoreGameFont();
        g->StepAnims();
        break;
    case WndMsgMouseEnter:
        g->SendEvent(EventPointerEntered, 0, 0, 0);
        break;
    case WndMsgMouseLeave:
        g->SendEvent(EventPointerLeft, 0, 0, 0);
        break;
    case WndMsgChar: {
        const uint32_t code = a >= 0.0f && a < 4294967296.0f ? static_cast<uint32_t>(a) : 0;
        if (code == 13) {
            g->SendEvent(EventEnter, 0, 0, 0);
        } else if (code == 27) {
            g->SendEvent(EventEscape, 0, 0, 0);
        } else {
            RestoreGameFont();
            if (g->mainWnd != nullptr)
                MeasureText(g->mainWnd->text, &g->mainWnd->textWidth, &g->mainWnd->textHeight, &g->mainWnd->textDepth);
        }
        break;
    }
    default:
        break;
    }
    return 1;
}
