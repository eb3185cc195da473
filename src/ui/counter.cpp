#include "ui/counter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "character/entity.h"
#include "core/binio.h"
#include "core/frameclock.h"
#include "core/nztfile.h"
#include "core/paths.h"
#include "effects/sky.h"
#include "objects/objtype.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "ui/gameui.h"
#include "ui/uirecord.h"
#include "ui/wnd.h"

NztCounter** CounterList = nullptr;
int32_t CounterCount = 0;

namespace {

// Window messages the counter reacts to.
constexpr uint32_t MsgBeforeDraw = 3;
constexpr uint32_t MsgAfterDraw = 4;
constexpr uint32_t MsgLButtonDown = 100;
constexpr uint32_t MsgMouseMove = 109;

constexpr float TurnUnits = 4096.0f;  // angle units per full turn

// Virtual 1024 x 768 units to screen pixels.
float ScaleX() { return RenderState.screenWidthF * 0.0009765625f; }
float ScaleY() { return RenderState.screenHeightF * 0.0013020834f; }

// An integer for display: NaN shows as 0 and huge values saturate instead of overflowing.
int32_t DisplayInt(float v, bool rounded) {
    if (!(v == v)) return 0;
    double d = rounded ? std::floor(double(v) + 0.5) : std::trunc(double(v));
    if (d > 2147483647.0) return INT32_MAX;
    if (d < -2147483648.0) return INT32_MIN;
    return int32_t(d);
}

// 1 / maximum, or 1.0 where that would divide by zero or overflow (a maximum on the minimum, 0, or
// too small to invert).
float InverseMaximum(float maximum, float minimum) {
    if (maximum == minimum) return 1.0f;
    const float inverse = 1.0f / maximum;
    return std::isfinite(inverse) ? inverse : 1.0f;
}

float TurnPerUnit(float inverseMaximum) {
    const float turn = inverseMaximum * TurnUnits;
    return std::isfinite(turn) ? turn : 1.0f;
}

void RestoreGameFont() {
    RenderState.currentFont = RenderState.gameFont;
    RenderState.currentFontSize = RenderState.gameFontSize;
}

// Names from event records become file names: plain names only.
bool PlainName(const char* name) {
    if (!name || !name[0] || std::strcmp(name, ".") == 0 || std::strstr(name, "..")) return false;
    return !std::strpbrk(name, "/\\:");
}

const char* SavePath(const char* name) {
    if (!PlainName(name)) {
        std::fprintf(stderr, "counter: refused save name \"%s\"\n", name ? name : "");
        return nullptr;
    }
    const char* path = DataPathFormat("USER/%s.cnt", name);
    return path[0] ? path : nullptr;
}

// The layout every counter window shares: a bare, fixed, black frame.
void Frame(CNztWnd* w, float alpha) {
    w->minimumWidth = w->minimumHeight = w->captionHeight = 0.0f;
    w->titleBar = w->captionButtons = w->movable = w->border = w->opaqueWhenFocused = 0;
    w->colour[0] = w->colour[1] = w->colour[2] = 0.0f;
    w->colour[3] = alpha;
}

void Adopt(CNztWnd* parent, CNztWnd* child) {
    if (!parent || !child) return;
    child->parent = parent;
    parent->AddChild(child);
}

}  // namespace

bool ReadCounterRecord(BinReader& in, CounterRecord* r) {
    r->kind = in.U32();
    r->x = in.F32();
    r->y = in.F32();
    r->width = in.F32();
    r->height = in.F32();
    r->value = in.F32();
    r->parentIndex = in.I32();
    r->textOffsetX = in.F32();
    r->textOffsetY = in.F32();
    r->minimum = in.F32();
    r->maximum = in.F32();
    r->textShadow = in.U32();
    r->textColour = in.U32();
    r->digitCount = in.U32();
    in.Text(r->name);
    in.Text(r->imageName);
    return in.Ok();
}

void WriteCounterRecord(BinWriter& out, const CounterRecord& r) {
    out.U32(r.kind);
    out.F32(r.x);
    out.F32(r.y);
    out.F32(r.width);
    out.F32(r.height);
    out.F32(r.value);
    out.I32(r.parentIndex);
    out.F32(r.textOffsetX);
    out.F32(r.textOffsetY);
    out.F32(r.minimum);
    out.F32(r.maximum);
    out.U32(r.textShadow);
    out.U32(r.textColour);
    out.U32(r.digitCount);
    size_t n = strnlen(r.name, sizeof r.name - 1);
    out.Bytes(r.name, n);
    out.Zeros(sizeof r.name - n);
    n = strnlen(r.imageName, sizeof r.imageName - 1);
    out.Bytes(r.imageName, n);
    out.Zeros(sizeof r.imageName - n);
}

bool ParseCounterSave(const uint8_t* data, size_t bytes, float* value) {
    BinReader in(data, bytes);
    if (in.U32() != CounterSaveVersion) return false;
    float v = in.F32();
    // A value that is not a number would poison the bounds tests and every gauge.
    if (!in.Ok() || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

NztCounter::NztCounter() {
    kind = ObjectKindCounter;
    range = 500.0f;
}

const char* FormatCounterText(NztCounter* c) {
    static const char* const formats[10] = {"%d",   "%01d", "%02d", "%03d", "%04d",
                                            "%05d", "%06d", "%07d", "%08d", "%09d"};
    const char* format = c->digitCount <= 9 ? formats[c->digitCount] : "%d";
    std::snprintf(c->text, sizeof c->text, format, DisplayInt(c->value, true));
    return c->text;
}

void NztCounter::ShowDigits(bool rounded) {
    if (digitCount == 0)
        std::snprintf(text, sizeof text, "%d", DisplayInt(value, rounded));
    else
        FormatCounterText(this);
    if (textWnd) textWnd->SetText(text);
    TraceInterface("counter %.63s shows %s", name, text);
}

void NztCounter::InitValue() {
    value = target = (counterKind >= 2 && counterKind <= 5) ? maximum : 0.0f;
    ShowDigits(false);
}

void BuildCounterWnds(NztCounter* c, const CounterRecord& r) {
    c->counterKind = r.kind;
    if (c->counterKind > 6) {
        std::fprintf(stderr, "counter: \"%.63s\" has unknown kind %u, shown as digits\n", r.name, r.kind);
        c->counterKind = 0;
    }
    c->x = c->baseX = FiniteOr(r.x, 0.0f);
    c->y = c->baseY = FiniteOr(r.y, 0.0f);
    c->width = c->textWidth = FiniteOr(r.width, 0.0f);
    c->height = c->textHeight = FiniteOr(r.height, 0.0f);
    c->parentIndex = r.parentIndex;
    c->textOffsetX = FiniteOr(r.textOffsetX, 0.0f);
    c->textOffsetY = FiniteOr(r.textOffsetY, 0.0f);
    c->minimum = FiniteOr(r.minimum, 0.0f);
    float maximum = FiniteOr(r.maximum, 0.0f);
    c->maximum = maximum < c->minimum + 1.0f ? c->minimum + 1.0f : maximum;
    c->maximum2 = c->maximum;
    c->inverseMaximum = InverseMaximum(c->maximum, c->minimum);
    c->value = c->target = FiniteOr(r.value, 0.0f);
    c->textShadow = r.textShadow;
    UnpackTextColour(r.textColour, c->textColour);
    c->digitCount = r.digitCount;
    std::snprintf(c->imageName, sizeof c->imageName, "%s", r.imageName);
    std::snprintf(c->name, sizeof c->name, "%s", r.name);

    c->ShowDigits(false);
    RestoreGameFont();

    char image[sizeof c->imageName + 16];
    const char* imagePath =
        std::snprintf(image, sizeof image, "MAPS/UI/%s.Img", c->imageName) < int(sizeof image) ? image : nullptr;
    const float sx = ScaleX(), sy = ScaleY();
    if (c->counterKind == 0) {
        c->fullWidth = c->baseFullWidth = c->width;
        c->fullHeight = c->baseFullHeight = c->height;
        c->mainWnd = CreateWnd(nullptr, c->x * sx, c->y * sy, c->width * sx, c->height * sy, imagePath);
        if (c->mainWnd)
            c->textWnd = CreateInfoWnd(c->text, nullptr, 0.0f, 0.0f, c->width * sx, c->height * sy, c->mainWnd);
    } else if (c->counterKind == 1) {
        c->textX = c->width;
        c->textY = 0.0f;
        c->fullWidth = c->baseFullWidth = c->width + c->textWidth;
        c->fullHeight = c->baseFullHeight = c->height;
        c->mainWnd = CreateWnd(nullptr, c->x * sx, c->y * sy, c->fullWidth * sx, c->fullHeight * sy, nullptr);
        if (c->mainWnd) {
            c->imageWnd = CreateWnd(nullptr, 0.0f, 0.0f, c->width * sx, c->height * sy, imagePath);
            Adopt(c->mainWnd, c->imageWnd);
            c->textWnd = CreateInfoWnd(c->text, nullptr, c->width * sx, 0.0f, c->textWidth * sx,
                                       c->textHeight * sy, c->mainWnd);
        }
    } else {
        c->fullWidth = c->baseFullWidth = c->width;
        c->fullHeight = c->baseFullHeight = c->height;
        c->mainWnd = CreateWnd(nullptr, c->x * sx, c->y * sy, c->fullWidth * sx, c->fullHeight * sy, nullptr);
        if (c->mainWnd) {
            c->imageWnd = CreateWnd(nullptr, 0.0f, 0.0f, c->width * sx, c->height * sy, imagePath);
            Adopt(c->mainWnd, c->imageWnd);
            if (c->imageWnd) c->imageWnd->angle2 = 0.0f;
        }
        if (c->counterKind == 6) c->turnPerUnit = TurnPerUnit(c->inverseMaximum);
    }

    if (CNztWnd* w = c->mainWnd) {
        Frame(w, c->counterKind == 0 ? 1.0f : 0.0f);
        w->eventCallback = CounterWndCallback;
        w->owner = c;
    }
    if (CNztWnd* w = c->imageWnd) {
        Frame(w, 1.0f);
        w->interactive = w->resizable = 0;
    }
    if (CNztWnd_Info* w = c->textWnd) {
        Frame(w, 0.0f);
        w->interactive = w->resizable = 0;
        std::memcpy(w->textColour, c->textColour, sizeof w->textColour);
        w->shadow = c->textShadow;
        w->textOffsetX = c->textOffsetX * sx;
        w->textOffsetY = c->textOffsetY * sy;
        w->SetText(c->text);
        w->clip = 0;
    }
    AttachCounterToGameUI(c, c->parentIndex);
    if (c->mainWnd) c->mainWnd->UpdateRect();
}

NztCounter* CreateCounter(const CounterRecord& record) {
    auto* grown = static_cast<NztCounter**>(std::realloc(CounterList, (size_t(CounterCount) + 1) * sizeof(NztCounter*)));
    if (!grown) return nullptr;
    CounterList = grown;
    auto* c = new NztCounter;
    CounterList[CounterCount] = c;
    BuildCounterWnds(c, record);
    ++CounterCount;
    return c;
}

void NztCounter::FillSceneRecord(CounterRecord* r) const {
    *r = CounterRecord{};
    r->kind = counterKind;
    r->x = x;
    r->y = y;
    // A gauge stores its full size, so that a part-filled bar keeps it across a save and a load.
    const bool gauge = counterKind >= 2;
    r->width = gauge ? fullWidth : width;
    r->height = gauge ? fullHeight : height;
    r->value = value;
    r->parentIndex = parentIndex;
    r->textOffsetX = textOffsetX;
    r->textOffsetY = textOffsetY;
    r->minimum = minimum;
    r->maximum = maximum;
    r->textShadow = textShadow;
    r->textColour = PackTextColour(textColour);
    r->digitCount = digitCount;
    std::snprintf(r->imageName, sizeof r->imageName, "%s", imageName);
    std::snprintf(r->name, sizeof r->name, "%s", name);
}

void AttachCounterToGameUI(NztCounter* c, int32_t index) {
    c->parentIndex = index;
    c->parentWnd = nullptr;
    if (index >= 0 && index < GameUICount && GameUIList && GameUIList[index])
        c->parentWnd = GameUIList[index]->mainWnd;
    else if (index != -1)
        c->parentIndex = -1;
    CNztWnd* w = c->mainWnd;
    if (w && w != c->parentWnd && w->parent != c->parentWnd) {
        if (w->parent) w->parent->RemoveChild(w);
        w->parent = c->parentWnd;
        if (c->parentWnd) c->parentWnd->AddChild(w);
    }
    c->Place();
}

void NztCounter::SetValue(float v) {
    if (!mainWnd || !mainWnd->enabled || v == value) return;
    float c = v < maximum ? v : maximum;
    if (!(minimum < c)) c = minimum;  // the minimum wins when the bounds cross (and over NaN)
    if (c == value) return;
    target = c;
    value = (smoothing != 0.0f && std::fabs(c - value) > 0.5f) ? value + (c - value) * smoothing : c;
    if (counterKind >= 2)
        UpdateGauge(value);
    else
        ShowDigits(true);
    TestThresholdEvents(value, minimum, maximum);
}

void NztCounter::UpdateGauge(float v) {
    if (!mainWnd || !imageWnd) return;
    const float sx = ScaleX(), sy = ScaleY();
    switch (counterKind) {
    case 2:
        width = fullWidth * v * inverseMaximum;
        imageWnd->SetWidth(width * sx);
        break;
    case 3:
        height = v * fullHeight * inverseMaximum;
        imageWnd->SetHeight(height * sy);
        imageWnd->SetPos(imageWnd->left, (fullHeight - height) * sy);
        break;
    case 4:
        width = fullWidth * v * inverseMaximum;
        imageWnd->SetWidth(width * sx);
        imageWnd->SetPos((fullWidth - width) * sx, imageWnd->top);
        break;
    case 5:
        height = v * fullHeight * inverseMaximum;
        imageWnd->SetHeight(height * sy);
        break;
    case 6:
        // The needle turns in the screen plane: the window's second angle.
        imageWnd->angle2 = turnPerUnit * v;
        imageWnd->pivotX = imageWnd->screenLeft + imageWnd->width * 0.5f;
        imageWnd->pivotY = imageWnd->screenTop + imageWnd->height * 0.5f;
        break;
    default:
        break;
    }
}

float NztCounter::ReadSource() {
    switch (source) {
    case 2:
        return float(RandomInt(randomRange));
    case 3:
        return PlayerEntity ? PlayerEntity->GetSpeed() * 5.0f * 3.6f : 0.0f;  // to km/h
    case 4:
        return PlayerEntity ? PlayerEntity->life : 0.0f;
    case 5:
        return float(RoundToInt(TimeOfDay));
    case 6:
        return ZoneValue;
    case 7:
        return FrameTiming.measuredRate;
    default:
        return target + step;
    }
}

void NztCounter::Update() {
    elapsed += FrameTiming.frameTime;
    float v;
    if (elapsed < interval) {
        if (smoothing == 0.0f) return;
        v = target;
    } else {
        elapsed = 0.0f;
        v = ReadSource();
    }
    SetValue(v);
}

void NztCounter::SetValueFromPointer(float px, float py) {
    if (!mainWnd) return;
    const float w = mainWnd->width, h = mainWnd->height;
    if (!(w > 0.0f) || !(h > 0.0f)) return;  // a collapsed window maps no position
    float v;
    switch (counterKind) {
    case 3:
        v = (1.0f - py / h) * maximum2;
        break;
    case 4:
        v = (1.0f - px / w) * maximum2;
        break;
    case 5:
        v = py / h * maximum2;
        break;
    case 6: {
        // Angle from straight up, clockwise, as a fraction of a turn (651.8986 = 4096 / 2 pi).
        float turn = std::atan2(px - w * 0.5f, -(py - h * 0.5f)) * 651.8986f * 0.000244140625f;
        v = (turn + 0.5f) * maximum2;
        break;
    }
    default:
        v = px / w * maximum2;
        break;
    }
    SetValue(v);
}

void NztCounter::SetMinimum(float v) {
    if (!mainWnd || !mainWnd->enabled || v == minimum) return;
    minimum = v < maximum ? v : maximum;
}
void NztCounter::AddToMinimum(float d) { SetMinimum(minimum + d); }
void NztCounter::MultiplyMinimum(float f) { SetMinimum(minimum * f); }
void NztCounter::DivideMinimum(float f) {
    if (f != 0.0f) SetMinimum(minimum / f);
}

void NztCounter::SetMaximum(float v) {
    if (!mainWnd || !mainWnd->enabled || v == maximum) return;
    maximum = maximum2 = v > minimum ? v : minimum;
    inverseMaximum = InverseMaximum(maximum, minimum);
    turnPerUnit = maximum == minimum ? 1.0f : TurnPerUnit(inverseMaximum);
    if (counterKind >= 2) UpdateGauge(value);
}

void NztCounter::SetImage(const char* stem) {
    char path[300];
    if (!stem || std::snprintf(path, sizeof path, "MAPS/UI/%s.Img", stem) >= int(sizeof path)) return;
    CNztWnd* w = counterKind == 0 ? mainWnd : imageWnd;
    if (w) w->SetImage(path);
}

void NztCounter::Show() {
    if (mainWnd) mainWnd->SetChildrenVisible(1);
}
void NztCounter::Hide() {
    if (mainWnd) mainWnd->SetChildrenVisible(0);
}
void NztCounter::Enable() {
    if (mainWnd) mainWnd->SetChildrenEnabled(1);
}
void NztCounter::Disable() {
    if (mainWnd) mainWnd->SetChildrenEnabled(0);
}

void NztCounter::SetDepth(float key) {
    for (CNztWnd* w : {mainWnd, imageWnd, static_cast<CNztWnd*>(textWnd)})
        if (w) w->depthKey = key;
}

void NztCounter::Place() {
    if (!mainWnd) return;
    const float sx = ScaleX(), sy = ScaleY();
    mainWnd->SetPos(x * sx, y * sy);
    if (textWnd && counterKind <= 1) textWnd->SetPos(textX * sx, textY * sy);
    if (!imageWnd) return;
    if (counterKind == 3)
        imageWnd->SetPos(0.0f, (fullHeight - height) * sy);
    else if (counterKind == 4)
        imageWnd->SetPos((fullWidth - width) * sx, 0.0f);
    else if (counterKind != 0)
        imageWnd->SetPos(0.0f, 0.0f);
}

void NztCounter::Resize() {
    if (!mainWnd) return;
    const float sx = ScaleX(), sy = ScaleY();
    mainWnd->SetSize(fullWidth * sx, fullHeight * sy);
    if (textWnd && counterKind <= 1) textWnd->SetSize(textWidth * sx, textHeight * sy);
    if (!imageWnd) return;
    switch (counterKind) {
    case 2:
    case 4:
        width = value * fullWidth * inverseMaximum;
        break;
    case 3:
    case 5:
        height = value * fullHeight * inverseMaximum;
        break;
    default:
        break;
    }
    if (counterKind >= 1) imageWnd->SetSize(width * sx, height * sy);
    if (counterKind == 3) imageWnd->SetPos(imageWnd->left, (fullHeight - height) * sy);
    if (counterKind == 4) imageWnd->SetPos((fullWidth - width) * sx, imageWnd->top);
}

void LayoutAllCounters() {
    for (int32_t i = CounterCount; i-- > 0;) {
        CounterList[i]->Place();
        CounterList[i]->Resize();
    }
}

void NztCounter::RefreshTextSize() {
    CNztWnd_Info* w = textWnd;
    if (!w) return;
    w->fontSize = RenderState.currentFontSize;
    w->inverseFontSize = w->fontSize != 0.0f ? 1.0f / w->fontSize : 0.0f;
    MeasureText(w->text, &w->textWidth, &w->textHeight, &w->textDepth);
    w->textOffsetX = textOffsetX * ScaleX();
    w->textOffsetY = textOffsetY * ScaleY();
    MeasureText("0", &w->sampleWidth, &w->sampleHeight, &w->sampleDepth);
}

void NztCounter::SaveValue(const char* saveName) {
    const char* path = SavePath(saveName);
    if (!path) return;
    AtomicSave save;
    if (!save.Open(path)) return;
    BinWriter out(save.Stream());
    out.U32(CounterSaveVersion);
    out.F32(value);
    if (out.Ok()) save.Commit();
}

uint32_t NztCounter::LoadValue(const char* saveName) {
    const char* path = SavePath(saveName);
    if (!path) return 0;
    NztFile file;
    if (!file.OpenFile(path, 1)) return 0;
    uint8_t bytes[CounterSaveBytes];
    const uint32_t got = file.Read(sizeof bytes, bytes);
    file.Close();
    float v;
    if (!ParseCounterSave(bytes, got, &v)) {
        if (got >= 4) std::fprintf(stderr, "counter: %s is not a counter save\n", path);
        return 0;
    }
    SetValue(v);
    return 1;
}

void DeleteCounterSave(const char* saveName) {
    if (const char* path = SavePath(saveName)) std::remove(path);
}

void NztCounter::DestroyWnds() {
    for (CNztWnd* w : {static_cast<CNztWnd*>(textWnd), imageWnd, mainWnd})
        if (w) DestroyWnd(w, 1);
    textWnd = nullptr;
    imageWnd = nullptr;
    mainWnd = nullptr;
}

void NztCounter::Release() {
    ClearEvents();
    eventRecordCount = 0;
    DestroyWnds();
}

void DestroyAllCounters() {
    for (int32_t i = CounterCount; i-- > 0;) {
        CounterList[i]->Release();
        delete CounterList[i];
    }
    std::free(CounterList);
    CounterList = nullptr;
    CounterCount = 0;
}

NztCounter* GetCounter(int32_t index) {
    return index >= 0 && index < CounterCount ? CounterList[index] : nullptr;
}

uint32_t CounterWndCallback(uint32_t message, CNztWnd* window, float f1, float f2, float f3) {
    auto* c = window ? static_cast<NztCounter*>(window->owner) : nullptr;
    if (!c) return 1;
    switch (message) {
    case WndMsgDestroyed:
        // The windows went (with a parent, or at shutdown): the counter must not reach them.
        c->mainWnd = nullptr;
        c->imageWnd = nullptr;
        c->textWnd = nullptr;
        break;
    case MsgBeforeDraw:
        if (c->interval != 0.0f && c->mainWnd && c->mainWnd->enabled && RunMode.current != RunModeEditor)
            c->Update();
        else if (c->smoothing != 0.0f)
            c->SetValue(c->target);
        break;
    case MsgAfterDraw:
        RestoreGameFont();
        break;
    case MsgLButtonDown:
    case MsgMouseMove:
        if (f3 == 1.0f && c->interactive && c->mainWnd && c->mainWnd->enabled) c->SetValueFromPointer(f1, f2);
        break;
    default:
        break;
    }
    return 1;
}
