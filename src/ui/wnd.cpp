#include "ui/wnd.h"

#include <GL/gl.h>
#include <strings.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "camera/camera.h"
#include "core/input.h"
#include "effects/meshdraw.h"
#include "model/mesh.h"
#include "objects/attach.h"
#include "objects/base3d.h"
#include "objects/posing.h"
#include "objects/registry.h"
#include "platform/wincodes.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "render/texture.h"
#include "ui/screenmsg.h"
#include "ui/textbox.h"

CNztWnd** WndList = nullptr;
uint32_t WndCount = 0;
uint32_t WndCapacity = 0;
uint32_t WndSerial = 0;
uint32_t WndPressTaken = 0;
CNztWnd* FocusWnd = nullptr;
void (*WndCinemaBordersHook)() = nullptr;

namespace {

// Typing into an edit window clears the game's key tables, all but the Ctrl+C and Escape game
// buttons: the console toggle works whatever has the focus, the game hears every Escape release
// (the text entry does nothing with it), and a release is seen only when the frame still knows
// that the button was down.
void ClearKeyStatesButConsoleAndEscape() {
    constexpr int kept[] = {kActionCtrlC, kActionEscape};
    uint8_t now[2], before[2];
    for (int i = 0; i < 2; ++i) {
        now[i] = KeyStates.actions[kept[i]];
        before[i] = KeyStates.previousActions[kept[i]];
    }
    ClearKeyStates();
    for (int i = 0; i < 2; ++i) {
        KeyStates.actions[kept[i]] = now[i];
        KeyStates.previousActions[kept[i]] = before[i];
    }
}

}  // namespace

namespace {

// A control inside another window: no caption strip, title bar or caption buttons, fixed in place,
// its text centred vertically, with a border.
void MakeControl(CNztWnd& w, uint32_t kind, float h) {
    w.kind = kind;
    w.border = 1;
    w.titleBar = w.captionButtons = w.movable = w.resizable = 0;
    w.captionHeight = 0.0f;
    w.minimumWidth = w.minimumHeight = 0.0f;
    w.textAnchorY = h * 0.5f;
    w.UpdateRect();
}

// Blend mode of SelectBlendMode: (source alpha, one minus source alpha).
constexpr uint32_t kAlphaBlend = 6;
// Primitive kinds of BeginPrimitive.
constexpr uint32_t kLines = 2;
constexpr uint32_t kQuads = 5;
constexpr uint32_t kTexturedQuads = 7;
// The list grows and keeps this many spare slots.
constexpr uint32_t kListStep = 5;
// Caption buttons: 10 by 10 boxes 8 pixels below the top, centred this far left of the right edge.
constexpr float kRollUpOffset = 38.0f;
constexpr float kMaximiseOffset = 23.0f;
constexpr float kCloseOffset = 8.0f;
constexpr float kCaptionButtonCentreY = 8.0f;
constexpr float kCaptionButtonHalf = 5.0f;
// Resizing grips the right and bottom 16 pixels.
constexpr float kGrip = 16.0f;
// 2 pi / 4096: angle units to radians.

// Depth of the dispatches and drawing passes walking the windows. Windows destroyed meanwhile are
// only marked; the outermost walk frees them when it ends, so no handler returns into a freed
// window.
uint32_t gWalkDepth = 0;

void PurgeDestroyedWnds();

struct WalkGuard {
    WalkGuard() { ++gWalkDepth; }
    ~WalkGuard() {
        if (--gWalkDepth == 0) PurgeDestroyedWnds();
    }
    WalkGuard(const WalkGuard&) = delete;
    WalkGuard& operator=(const WalkGuard&) = delete;
};

void ShrinkWndList() {
    // More than 10 free slots: back to count + 5.
    if (WndCount + kListStep < WndCapacity - kListStep && WndCapacity > 2 * kListStep) {
        const uint32_t capacity = WndCount + kListStep;
        auto* shrunk = static_cast<CNztWnd**>(std::realloc(WndList, capacity * sizeof(CNztWnd*)));
        if (shrunk != nullptr) {
            WndList = shrunk;
            WndCapacity = capacity;
        }
    }
}

void RemoveWndAt(uint32_t index) {
    std::memmove(&WndList[index], &WndList[index + 1], (WndCount - index - 1) * sizeof(CNztWnd*));
    WndCount -= 1;
    WndList[WndCount] = nullptr;
}

void PurgeDestroyedWnds() {
    bool removed = false;
    for (uint32_t i = WndCount; i-- > 0;) {
        CNztWnd* w = WndList[i];
        if (w->destroyed == 0) continue;
        RemoveWndAt(i);
        delete w;
        removed = true;
    }
    if (removed) ShrinkWndList();
}

float ToViewX(float x) { return x - RenderState.halfViewportWidth; }
float ToViewY(float y) { return y - RenderState.halfViewportHeight; }

void Vertex(float x, float y) { glVertex3f(ToViewX(x), ToViewY(y), 0.0f); }

// Screen-pixel corners to the 2-D plane's (origin at the viewport centre, y down).
void ToView(const float in[4][3], float out[4][3]) {
    for (int i = 0; i < 4; ++i) {
        out[i][0] = ToViewX(in[i][0]);
        out[i][1] = ToViewY(in[i][1]);
        out[i][2] = 0.0f;
    }
}

void Line(float x0, float y0, float x1, float y1, float grey, float alpha) {
    glColor4f(grey, grey, grey, alpha);
    Vertex(x0, y0);
    Vertex(x1, y1);
}

// Top and left in `light`, right and bottom in `dark`, inside a GL_LINES batch.
void Bevel(float l, float t, float r, float b, float light, float dark, float alpha) {
    Line(l, t, r, t, light, alpha);
    Line(r, t, r, b, dark, alpha);
    Line(r, b, l, b, dark, alpha);
    Line(l, b, l, t, light, alpha);
}

bool NearButton(const CNztWnd* w, float offset, float x, float y) {
    const float cx = w->screenRight - offset;
    const float cy = w->screenTop + kCaptionButtonCentreY;
    return std::fabs(x - cx) < kCaptionButtonHalf && std::fabs(y - cy) < kCaptionButtonHalf;
}

// The button of the window itself or the same button of any descendant.
bool HitCaptionButton(const CNztWnd* w, float offset, float x, float y) {
    if (NearButton(w, offset, x, y)) return true;
    for (uint32_t i = 0; i < w->childCount; ++i)
        if (HitCaptionButton(w->children[i], offset, x, y)) return true;
    return false;
}

void LoseFocusFlag(CNztWnd* w) {
    if (w != nullptr && w->interactive != 0 && w->enabled != 0) w->hasFocus = 0;
}

// The pointer in the window's client coordinates, kept for the handlers and the messages.
void TrackMouse(CNztWnd* w, float fx, float fy) {
    w->mouseX = fx - w->screenLeft;
    w->mouseY = fy - (w->screenTop + w->captionHeight);
}

// A press inside the window that no other window has taken yet: the window takes it and the focus.
bool TakePress(CNztWnd* w, float fx, float fy) {
    if (WndPressTaken != 0 || !w->Inside(fx, fy)) return false;
    if (FocusWnd != w) LoseFocusFlag(FocusWnd);
    FocusWnd = w;
    WndPressTaken = 1;
    w->hasFocus = 1;
    return true;
}

void CopyText(char* out, const char* in) {
    std::snprintf(out, 256, "%.*s", static_cast<int>(WndTextMax), in != nullptr ? in : "");
}

template <class F>
void ForChildrenLastFirst(CNztWnd* w, F f) {
    // Handlers may detach children meanwhile (the array is reallocated): re-read every step.
    for (uint32_t i = w->childCount; i-- > 0;) {
        if (i >= w->childCount) continue;
        if (f(w->children[i])) return;
    }
}

// The common shape of every Draw: message 3, the body between 4 and 5 when visible (depth test
// off unless asked for), then the children whether or not the window shows.
template <class Body>
void DrawShape(CNztWnd* w, Body body) {
    w->Notify(WndMsgDrawStart, 0.0f, 0.0f, 0.0f);
    if (w->destroyed != 0) return;
    if (w->visible != 0) {
        w->Notify(WndMsgBeforeBody, 0.0f, 0.0f, 0.0f);
        if (w->depthTested == 0) {
            SwitchDepthTest(false);
            SwitchDepthWrite(false);
        }
        body();
        if (w->depthTested == 0) {
            SwitchDepthTest(true);
            SwitchDepthWrite(true);
        }
        w->Notify(WndMsgAfterBody, 0.0f, 0.0f, 0.0f);
    }
    ForChildrenLastFirst(w, [](CNztWnd* c) {
        c->Draw();
        return false;
    });
}

void DrawTextColoured(const char* s, float x, float y, const float colour[3], float alpha) {
    SwitchTexture2D(true);
    glColor4f(colour[0], colour[1], colour[2], alpha);
    DrawTextAt(s, x, y);
}

void TakeFontSize(CNztWnd* w) {
    w->fontSize = RenderState.currentFontSize;
    w->inverseFontSize = w->fontSize != 0.0f ? 1.0f / w->fontSize : 0.0f;
}

template <class W>
W* NewWnd() {
    W* w = new W;
    if (!AppendWnd(w)) {
        delete w;
        return nullptr;
    }
    return w;
}

void ReleaseImage(uint32_t& texture) {
    if (texture != 0) ReleaseTexture(texture);
    texture = 0;
}

// The windows' own background: grey-blue at the given opacity.
void SetBackground(CNztWnd* w, float alpha) {
    w->colour[0] = 0.5f;
    w->colour[1] = 0.5f;
    w->colour[2] = 0.6f;
    w->colour[3] = alpha;
}

// A new window created under `parent` with white text on the grey-blue background.
template <class W>
W* NewControlWnd(CNztWnd* parent, float x, float y, float width, float height, NztWndClick click, float alpha) {
    W* w = NewWnd<W>();
    if (w == nullptr) return nullptr;
    w->Create(parent, x, y, width, height, click);
    w->textColour[0] = w->textColour[1] = w->textColour[2] = 1.0f;
    SetBackground(w, alpha);
    return w;
}

uint32_t LoadImage(const char* name) { return name != nullptr && name[0] != 0 ? LoadTexture(name, 0, 0) : 0; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// CNztWnd

CNztWnd::~CNztWnd() {
    std::free(children);
    children = nullptr;
    if (FocusWnd == this) FocusWnd = nullptr;
}

void CNztWnd::Notify(uint32_t message, float a, float b, float c) {
    if (eventCallback != nullptr) eventCallback(message, this, a, b, c);
}

void CNztWnd::Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) {
    creationSerial = WndSerial++;
    depthKey = static_cast<float>(creationSerial);
    TakeFontSize(this);
    if (parentWnd != parent && parentWnd != this) {
        if (parent != nullptr) parent->RemoveChild(this);
        parent = parentWnd;
        if (parent != nullptr) parent->AddChild(this);
    }
    left = x;
    top = y;
    right = x + w;
    bottom = y + h;
    width = w;
    height = h;
    screenLeft = left;
    screenTop = top;
    screenRight = right;
    screenBottom = bottom;
    if (parent != nullptr) {
        const float ox = parent->screenLeft, oy = parent->screenTop + parent->captionHeight;
        screenLeft += ox;
        screenRight += ox;
        screenTop += oy;
        screenBottom += oy;
    }
    mouseX = mouseY = 0.0f;
    minimumWidth = 50.0f;
    minimumHeight = 18.0f;
    captionHeight = 16.0f;
    rolledUp = maximised = 0;
    heightBeforeRollUp = h;
    rectBeforeMaximise[0] = x;
    rectBeforeMaximise[1] = y;
    rectBeforeMaximise[2] = w;
    rectBeforeMaximise[3] = h;
    clickHandler = click;
    hasFocus = 0;
    visible = enabled = border = titleBar = captionButtons = movable = resizable = interactive = 1;
    dragging = resizing = resizingWidth = resizingHeight = 0;
    dragOffsetX = dragOffsetY = resizeOffsetX = resizeOffsetY = 0;
    colour[0] = colour[1] = colour[2] = colour[3] = 1.0f;
    opaqueWhenFocused = 1;
    image = overlayImage = thirdImage = 0;
    textColour[0] = textColour[1] = textColour[2] = 1.0f;
    text[0] = 0;
    kind = WndKindPlain;
    titleRect[0] = screenLeft;
    titleRect[1] = screenTop;
    titleRect[2] = std::fmax(w - 50.0f, 1.0f);
    titleRect[3] = 16.0f;
    clientRect[0] = screenLeft;
    clientRect[1] = screenTop + 16.0f;
    clientRect[2] = std::fmax(w, 1.0f);
    clientRect[3] = std::fmax(h - 16.0f, 1.0f);
    textAnchorX = w * 0.5f;
    textAnchorY = (h - 16.0f) * 0.5f;
}

void CNztWnd::Destroy() {
    if (destroyed != 0) return;
    destroyed = 1;
    if (parent != nullptr) parent->RemoveChild(this);
    // Children detach themselves from this window as they go.
    while (childCount > 0) {
        CNztWnd* child = children[childCount - 1];
        child->Destroy();
        if (childCount > 0 && children[childCount - 1] == child) RemoveChild(child);  // already destroyed
    }
    visible = 0;
    parent = nullptr;
    std::free(children);
    children = nullptr;
    childCount = 0;
    Notify(WndMsgDestroyed, 0.0f, 0.0f, 0.0f);
    eventCallback = nullptr;
    clickHandler = nullptr;
    ReleaseImage(image);
    ReleaseImage(overlayImage);
    ReleaseImage(thirdImage);
    if (FocusWnd == this) FocusWnd = nullptr;
    hasFocus = 0;
}

void CNztWnd::OnChar(uint32_t) {}
void CNztWnd::OnKeyDown(uint32_t) {}
void CNztWnd::OnKeyUp(uint32_t) {}
void CNztWnd::OnLButtonDown(int32_t, int32_t, uint32_t) {}
void CNztWnd::OnLButtonUp(int32_t, int32_t, uint32_t) {}
void CNztWnd::OnLButtonDblClk(int32_t, int32_t, uint32_t) {}
void CNztWnd::OnRButtonDown(int32_t, int32_t, uint32_t) {}
void CNztWnd::OnRButtonUp(int32_t, int32_t, uint32_t) {}
void CNztWnd::OnMButtonDown(int32_t, int32_t, uint32_t) {}
void CNztWnd::OnMButtonUp(int32_t, int32_t, uint32_t) {}
void CNztWnd::OnMouseMove(int32_t, int32_t, uint32_t) {}
void CNztWnd::OnMouseWheel(int32_t, int32_t, uint32_t) {}

// A position or size that is not finite (overflowing script or record arithmetic) leaves the
// window where it is: nothing downstream divides by, clips or draws such a rectangle.
void CNztWnd::SetPos(float x, float y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    left = x;
    top = y;
    UpdateRect();
}

void CNztWnd::SetX(float x) {
    if (!std::isfinite(x)) return;
    left = x;
    UpdateRectX();
}

void CNztWnd::SetY(float y) {
    if (!std::isfinite(y)) return;
    top = y;
    UpdateRectY();
}

void CNztWnd::GetPos(float* x, float* y) {
    if (x != nullptr) *x = left;
    if (y != nullptr) *y = top;
}

void CNztWnd::Move(float dx, float dy) { SetPos(left + dx, top + dy); }

void CNztWnd::SetSize(float w, float h) {
    SetWidth(w);
    SetHeight(h);
}

void CNztWnd::SetWidth(float w) {
    if (!std::isfinite(w)) return;
    width = std::fmax(minimumWidth, w);
    textAnchorX = width * 0.5f;
    right = left + width;
    screenRight = screenLeft + width;
    titleRect[2] = std::fmax(width - 50.0f, 1.0f);
    clientRect[2] = std::fmax(width, 1.0f);
}

void CNztWnd::SetHeight(float h) {
    if (!std::isfinite(h)) return;
    height = std::fmax(minimumHeight, h);
    textAnchorY = (height - captionHeight) * 0.5f;
    bottom = top + height;
    screenBottom = screenTop + height;
    clientRect[3] = std::fmax(height - captionHeight, 1.0f);
}

void CNztWnd::UpdateRectX() {
    right = left + width;
    screenLeft = left + (parent != nullptr ? parent->screenLeft : 0.0f);
    screenRight = screenLeft + width;
    clientRect[0] = screenLeft;
    clientRect[2] = std::fmax(width, 1.0f);
    titleRect[0] = screenLeft;
    titleRect[2] = std::fmax(width - 50.0f, 1.0f);
    for (uint32_t i = 0; i < childCount; ++i) children[i]->UpdateRectX();
}

void CNztWnd::UpdateRectY() {
    bottom = top + height;
    screenTop = top + (parent != nullptr ? parent->screenTop + parent->captionHeight : 0.0f);
    screenBottom = screenTop + height;
    clientRect[1] = screenTop + captionHeight;
    clientRect[3] = std::fmax(height - captionHeight, 1.0f);
    titleRect[1] = screenTop;
    titleRect[3] = std::fmax(captionHeight, 1.0f);
    for (uint32_t i = 0; i < childCount; ++i) children[i]->UpdateRectY();
}

void CNztWnd::UpdateRect() {
    UpdateRectX();
    UpdateRectY();
}

void CNztWnd::SetText(const char* newText) {
    CopyText(text, newText);
    MeasureText(text, &textWidth, &textHeight, &textDepth);
}

void CNztWnd::SetImage(const char* name) {
    ReleaseImage(image);
    image = LoadImage(name);
}

void CNztWnd::AddChild(CNztWnd* child) {
    auto* grown = static_cast<CNztWnd**>(std::realloc(children, (childCount + 1) * sizeof(CNztWnd*)));
    if (grown == nullptr) return;
    children = grown;
    children[childCount++] = child;
}

void CNztWnd::RemoveChild(CNztWnd* child) {
    for (uint32_t i = childCount; i-- > 0;) {
        if (children[i] != child) continue;
        std::memmove(&children[i], &children[i + 1], (childCount - i - 1) * sizeof(CNztWnd*));
        childCount -= 1;
        if (childCount == 0) {
            std::free(children);
            children = nullptr;
        } else if (auto* shrunk = static_cast<CNztWnd**>(std::realloc(children, childCount * sizeof(CNztWnd*)))) {
            children = shrunk;
        }
        return;
    }
}

// One rule for every caller (counters, game interfaces, menus): the flag is set on the window
// and on each of its descendants. A tree shown this way shows whole; hidden, it hides whole.
void CNztWnd::SetChildrenVisible(uint32_t on) {
    visible = on;
    for (uint32_t i = childCount; i-- > 0;) children[i]->SetChildrenVisible(on);
}

void CNztWnd::SetChildrenEnabled(uint32_t on) {
    enabled = on;
    for (uint32_t i = childCount; i-- > 0;) children[i]->SetChildrenEnabled(on);
}

void CNztWnd::ToggleRollUp() {
    if (rolledUp == 0) {
        heightBeforeRollUp = height;
        SetHeight(minimumHeight);
        rolledUp = 1;
    } else {
        SetHeight(heightBeforeRollUp);
        rolledUp = 0;
    }
}

void CNztWnd::ToggleMaximise() {
    if (maximised == 0) {
        rectBeforeMaximise[0] = left;
        rectBeforeMaximise[1] = top;
        rectBeforeMaximise[2] = width;
        rectBeforeMaximise[3] = height;
        SetPos(0.0f, 0.0f);
        if (parent != nullptr)
            SetSize(parent->width, parent->height - parent->captionHeight);
        else
            SetSize(RenderState.screenWidthF, RenderState.screenHeightF);
        maximised = 1;
    } else {
        SetPos(rectBeforeMaximise[0], rectBeforeMaximise[1]);
        SetSize(rectBeforeMaximise[2], rectBeforeMaximise[3]);
        maximised = 0;
    }
}

uint32_t CNztWnd::HandleLButtonDown(int32_t x, int32_t y, uint32_t flags) {
    if (!Live()) return 0;
    bool taken = false;
    ForChildrenLastFirst(this, [&](CNztWnd* c) { return taken = c->HandleLButtonDown(x, y, flags) != 0; });
    if (taken) return 1;
    if (destroyed != 0) return 0;
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    TrackMouse(this, fx, fy);
    if (!TakePress(this, fx, fy)) return 0;
    leftDown = 1;
    dragging = 0;
    if (captionButtons != 0) {
        if (HitCaptionButton(this, kRollUpOffset, fx, fy)) {
            ToggleRollUp();
            return 1;
        }
        if (HitCaptionButton(this, kMaximiseOffset, fx, fy)) {
            ToggleMaximise();
            return 1;
        }
        if (HitCaptionButton(this, kCloseOffset, fx, fy)) {
            if (closeHides != 0) {
                SetChildrenVisible(0);
                leftDown = 0;
            } else {
                Destroy();
            }
            return 1;
        }
    }
    OnLButtonDown(x, y, flags);
    Notify(WndMsgLButtonDown, mouseX, mouseY, static_cast<float>(flags));
    if (destroyed != 0) return 1;
    if (movable != 0) {
        const float dy = fy - screenTop;
        if (titleBar == 0 || (0.0f < dy && dy < captionHeight)) {
            dragOffsetX = static_cast<int32_t>(std::lrint(fx - left));
            dragOffsetY = static_cast<int32_t>(std::lrint(fy - top));
            dragging = 1;
        }
    }
    if (resizable != 0 && dragging == 0) {
        resizing = resizingWidth = resizingHeight = 0;
        const float dx = fx - screenLeft, dy = fy - screenTop;
        if (width - kGrip < dx && dx < width) {
            resizeOffsetX = static_cast<int32_t>(std::lrint(fx - width));
            resizing = resizingWidth = 1;
        }
        if (height - kGrip < dy && dy < height) {
            resizeOffsetY = static_cast<int32_t>(std::lrint(fy - height));
            resizing = resizingHeight = 1;
        }
    }
    return 1;
}

uint32_t CNztWnd::HandleLButtonUp(int32_t x, int32_t y, uint32_t flags, bool doubleClick) {
    if (!Live()) return 0;
    bool taken = false;
    ForChildrenLastFirst(this, [&](CNztWnd* c) { return taken = c->HandleLButtonUp(x, y, flags, doubleClick) != 0; });
    if (taken || destroyed != 0) return taken ? 1 : 0;
    if (leftDown == 0) return 0;
    TrackMouse(this, static_cast<float>(x), static_cast<float>(y));
    leftDown = 0;
    dragging = resizing = resizingWidth = resizingHeight = 0;
    if (hasFocus == 0) return 0;
    if (doubleClick) {
        OnLButtonDblClk(x, y, flags);
        Notify(WndMsgLButtonDblClk, mouseX, mouseY, static_cast<float>(flags));
    } else {
        OnLButtonUp(x, y, flags);
        Notify(WndMsgLButtonUp, mouseX, mouseY, static_cast<float>(flags));
    }
    if (destroyed == 0 && clickHandler != nullptr) clickHandler(this);
    return 1;
}

uint32_t CNztWnd::HandleOtherButtonDown(int32_t x, int32_t y, uint32_t flags, bool middle) {
    if (!Live()) return 0;
    bool taken = false;
    ForChildrenLastFirst(this,
                         [&](CNztWnd* c) { return taken = c->HandleOtherButtonDown(x, y, flags, middle) != 0; });
    if (taken) return 1;
    if (destroyed != 0) return 0;
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    TrackMouse(this, fx, fy);
    if (!TakePress(this, fx, fy)) return 0;
    if (middle) {
        middleDown = 1;
        OnMButtonDown(x, y, flags);
        Notify(WndMsgMButtonDown, mouseX, mouseY, static_cast<float>(flags));
    } else {
        rightDown = 1;
        OnRButtonDown(x, y, flags);
        Notify(WndMsgRButtonDown, mouseX, mouseY, static_cast<float>(flags));
    }
    return 1;
}

uint32_t CNztWnd::HandleOtherButtonUp(int32_t x, int32_t y, uint32_t flags, bool middle) {
    if (!Live()) return 0;
    bool taken = false;
    ForChildrenLastFirst(this, [&](CNztWnd* c) { return taken = c->HandleOtherButtonUp(x, y, flags, middle) != 0; });
    if (taken || destroyed != 0) return taken ? 1 : 0;
    uint32_t& down = middle ? middleDown : rightDown;
    if (down == 0) return 0;
    TrackMouse(this, static_cast<float>(x), static_cast<float>(y));
    down = 0;
    if (hasFocus == 0) return 0;
    if (middle) {
        OnMButtonUp(x, y, flags);
        Notify(WndMsgMButtonUp, mouseX, mouseY, static_cast<float>(flags));
    } else {
        OnRButtonUp(x, y, flags);
        Notify(WndMsgRButtonUp, mouseX, mouseY, static_cast<float>(flags));
    }
    return 1;
}

uint32_t CNztWnd::HandleMouseMove(int32_t x, int32_t y, uint32_t flags) {
    if (!Live()) return 0;
    bool taken = false;
    ForChildrenLastFirst(this, [&](CNztWnd* c) { return taken = c->HandleMouseMove(x, y, flags) != 0; });
    if (taken) return 1;
    if (destroyed != 0) return 0;
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    TrackMouse(this, fx, fy);
    previousHover = hover;
    hover = Inside(fx, fy) ? 1 : 0;
    if (leftDown != 0) {
        if (dragging != 0) {
            SetPos(fx - static_cast<float>(dragOffsetX), fy - static_cast<float>(dragOffsetY));
            Notify(WndMsgDragged, left, top, static_cast<float>(flags));
        } else if (resizing != 0) {
            if (resizingWidth != 0) SetWidth(fx - static_cast<float>(resizeOffsetX));
            if (resizingHeight != 0) SetHeight(fy - static_cast<float>(resizeOffsetY));
        }
        if (destroyed == 0) OnMouseMove(x, y, flags);
    }
    if (destroyed != 0) return 0;
    if (hover != 0 && previousHover == 0)
        Notify(WndMsgMouseEnter, mouseX, mouseY, static_cast<float>(flags));
    else if (hover != 0)
        Notify(WndMsgMouseMove, mouseX, mouseY, static_cast<float>(flags));
    else if (previousHover != 0)
        Notify(WndMsgMouseLeave, mouseX, mouseY, static_cast<float>(flags));
    return hover;
}

uint32_t CNztWnd::HandleMouseWheel(int32_t x, int32_t y, uint32_t flags) {
    if (!Live()) return 0;
    bool taken = false;
    ForChildrenLastFirst(this, [&](CNztWnd* c) { return taken = c->HandleMouseWheel(x, y, flags) != 0; });
    if (taken) return 1;
    if (destroyed != 0) return 0;
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    TrackMouse(this, fx, fy);
    wheelTaken = 0;
    if (Inside(fx, fy)) {
        OnMouseWheel(x, y, flags);
        Notify(WndMsgWheel, mouseX, mouseY, static_cast<float>(flags));
    }
    return wheelTaken;
}

void CNztWnd::TurnCorners(float corners[4][3]) const {
    // The three angles make one rotation (the second is the turn in the screen plane, the other
    // two tip the quad out of it); the turned corners are seen flat on the screen, about the pivot.
    float m[9];
    MatrixFromAngles(m, static_cast<int32_t>(std::lrint(angle1)), static_cast<int32_t>(std::lrint(angle2)),
                     static_cast<int32_t>(std::lrint(angle3)));
    for (int i = 0; i < 4; ++i) {
        const float dx = corners[i][0] - pivotX, dy = corners[i][1] - pivotY;
        // The engine's matrices take row vectors: (dx, dy, 0) times m.
        corners[i][0] = pivotX + dx * m[0] + dy * m[3];
        corners[i][1] = pivotY + dx * m[1] + dy * m[4];
    }
}

void CNztWnd::DrawFrame() {
    NztRenderState& rs = RenderState;
    const float in = inflate;
    float corners[4][3] = {{screenLeft - in, screenTop - in, 0.0f},
                           {screenRight + in, screenTop - in, 0.0f},
                           {screenRight + in, screenBottom + in, 0.0f},
                           {screenLeft - in, screenBottom + in, 0.0f}};
    if (angle1 != 0.0f || angle2 != 0.0f || angle3 != 0.0f) TurnCorners(corners);
    float view[4][3];
    ToView(corners, view);
    const float alpha = opaqueWhenFocused != 0 && hasFocus != 0 ? 1.0f : colour[3];
    SwitchColorArray(false);
    if (image != 0) {
        BeginPrimitive(rs, kTexturedQuads);
        DrawBatchedQuad(image, view, alpha);
        glEnd();
    } else {
        DrawColoredQuad(view, colour[0], colour[1], colour[2], alpha);
    }
    if (overlayImage != 0) {
        BeginPrimitive(rs, kTexturedQuads);
        DrawBatchedQuad(overlayImage, view, alpha);
        glEnd();
    }
    const float l = corners[0][0], t = corners[0][1], r = corners[2][0], b = corners[2][1];
    if (titleBar != 0 || border != 0) {
        BeginPrimitive(rs, kLines);
        if (titleBar != 0) {
            const float y0 = screenTop + captionHeight;
            Line(screenLeft, y0, screenRight, y0, 0.0f, 1.0f);
            glColor4f(colour[0], colour[1], colour[2], alpha);
            Vertex(screenLeft, y0 + 1.0f);
            Vertex(screenRight, y0 + 1.0f);
            if (captionButtons != 0) {
                for (float offset : {kRollUpOffset, kMaximiseOffset, kCloseOffset}) {
                    const float cx = screenRight - offset, cy = screenTop + kCaptionButtonCentreY;
                    Bevel(cx - 5.0f, cy - 5.0f, cx + 5.0f, cy + 5.0f, 1.0f, 0.5f, 1.0f);
                    if (offset == kRollUpOffset) {
                        Line(cx - 3.0f, cy + 2.0f, cx + 3.0f, cy + 2.0f, 1.0f, 1.0f);
                    } else if (offset == kMaximiseOffset) {
                        Line(cx - 3.0f, cy - 2.0f, cx + 3.0f, cy - 2.0f, 1.0f, 1.0f);
                        Line(cx - 3.0f, cy + 3.0f, cx + 3.0f, cy + 3.0f, 1.0f, 1.0f);
                    } else {
                        Line(cx - 3.0f, cy - 3.0f, cx + 3.0f, cy + 3.0f, 1.0f, 1.0f);
                        Line(cx + 3.0f, cy - 3.0f, cx - 3.0f, cy + 3.0f, 1.0f, 1.0f);
                    }
                }
                if (resizable != 0) {
                    for (float d = 4.0f; d < kGrip; d += 4.0f)
                        Line(screenRight - d, screenBottom - 1.0f, screenRight - 1.0f, screenBottom - d, 0.5f, 1.0f);
                }
            }
        }
        if (border != 0) {
            const float light = sunken != 0 ? 0.5f : 1.0f, dark = sunken != 0 ? 1.0f : 0.5f;
            Bevel(l, t, r, b, light, dark, alpha);
        }
        glEnd();
    }
    if (titleBar != 0) {
        SetScissorToRect(titleRect);
        DrawTextColoured(text, screenLeft + 10.0f, screenTop + textHeight, textColour, 1.0f);
        SetScissorToRect(nullptr);
    }
}

void CNztWnd::Draw() {
    DrawShape(this, [this] { DrawFrame(); });
}

// ---------------------------------------------------------------------------------------------
// Button

void CNztWnd_Button::Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) {
    CNztWnd::Create(parentWnd, x, y, w, h, click);
    MakeControl(*this, WndKindButton, h);
}

void CNztWnd_Button::Destroy() {
    if (destroyed != 0) return;
    // The background is one of the three images below: it must not be released twice.
    image = 0;
    CNztWnd::Destroy();
    ReleaseImage(normalImage);
    ReleaseImage(pressedImage);
    ReleaseImage(passOverImage);
}

void CNztWnd_Button::OnChar(uint32_t code) {
    if (readOnlyCaption != 0) return;
    const size_t length = std::strlen(text);
    if (code == 8) {
        if (length > 0) text[length - 1] = 0;
    } else if (code == 13 || code == 27) {
        LoseFocusFlag(FocusWnd);
        FocusWnd = nullptr;
        return;
    } else {
        // The capacity is the number of characters the caption takes (a caption made editable with
        // a maximum length of n takes n), never more than the text field holds with its end.
        const size_t limit = captionCapacity < sizeof text - 1 ? captionCapacity : sizeof text - 1;
        if (length >= limit) return;
        text[length] = static_cast<char>(code & 0xFF);
        text[length + 1] = 0;
    }
    MeasureText(text, &textWidth, &textHeight, &textDepth);
}

void CNztWnd_Button::OnLButtonDown(int32_t, int32_t, uint32_t) {
    inflate = pressInflate;
    sunken = 1;
}

void CNztWnd_Button::OnLButtonUp(int32_t, int32_t, uint32_t) {
    inflate = 0.0f;
    sunken = 0;
}

void CNztWnd_Button::Draw() {
    DrawShape(this, [this] {
        uint32_t chosen = normalImage;
        if (sunken != 0 && pressedImage != 0)
            chosen = pressedImage;
        else if (hover != 0 && passOverImage != 0)
            chosen = passOverImage;
        image = chosen;
        DrawFrame();
        float x = screenLeft + textAnchorX - textWidth * 0.5f + textOffsetX;
        float y = screenTop + textAnchorY + textHeight * 0.5f + textOffsetY;
        if (pressInflate != 0.0f && sunken != 0) {
            x += RenderState.screenWidthF / 1024.0f;
            y += RenderState.screenHeightF / 768.0f;
        }
        char shown[258];
        const bool cursor = readOnlyCaption == 0 && FocusWnd == this;
        std::snprintf(shown, sizeof shown, "%s%s", text, cursor ? "_" : "");
        static constexpr float kBlack[3] = {0.0f, 0.0f, 0.0f};
        if (shadow != 0) DrawTextColoured(shown, x + 1.0f, y + 1.0f, kBlack, 1.0f);
        DrawTextColoured(shown, x, y, textColour, 1.0f);
    });
}

// ---------------------------------------------------------------------------------------------
// Edit

CNztWnd_Edit::~CNztWnd_Edit() { FreeContents(); }

void CNztWnd_Edit::FreeContents() {
    for (uint32_t i = 0; i < lineCount; ++i) std::free(lines[i]);
    std::free(lines);
    lines = nullptr;
    lineCount = inputLine = inputLength = 0;
    for (uint32_t i = 0; i < commandCount; ++i) {
        std::free(commands[i].name);
        std::free(commands[i].help);
    }
    std::free(commands);
    commands = nullptr;
    commandCount = 0;
}

void CNztWnd_Edit::Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) {
    CNztWnd::Create(parentWnd, x, y, w, h, click);
    kind = WndKindEdit;
    FreeContents();
    scroll = 0;
    recallDepth = 0;
    StartNewLine();
}

void CNztWnd_Edit::Destroy() {
    if (destroyed != 0) return;
    CNztWnd::Destroy();
    FreeContents();
}

void CNztWnd_Edit::StartNewLine() {
    if (lineCount > 0 && lines[inputLine] != nullptr) lines[inputLine][inputLength] = 0;
    auto* grown = static_cast<char**>(std::realloc(lines, (lineCount + 1) * sizeof(char*)));
    if (grown == nullptr) return;
    lines = grown;
    char* line = static_cast<char*>(std::calloc(3, 1));
    if (line == nullptr) return;
    lines[lineCount] = line;
    inputLine = lineCount;
    lineCount += 1;
    inputLength = 0;
}

void CNztWnd_Edit::SetInputLine(const char* line) {
    if (lineCount == 0) StartNewLine();
    if (lineCount == 0) return;
    const size_t length = std::strlen(line);
    char* copy = static_cast<char*>(std::realloc(lines[inputLine], length + 3));
    if (copy == nullptr) return;
    std::memcpy(copy, line, length + 1);
    lines[inputLine] = copy;
    inputLength = static_cast<uint32_t>(length);
}

void CNztWnd_Edit::OnChar(uint32_t code) {
    if (code == 27) return;
    if (code == 13) {
        ExecuteLine();
        return;
    }
    if (lineCount == 0) StartNewLine();
    if (lineCount == 0) return;
    char* line = lines[inputLine];
    if (code == 8) {
        if (inputLength > 0) line[--inputLength] = 0;
        return;
    }
    char* grown = static_cast<char*>(std::realloc(line, inputLength + 1 + 3));
    if (grown == nullptr) return;
    grown[inputLength++] = static_cast<char>(code & 0xFF);
    grown[inputLength] = 0;
    lines[inputLine] = grown;
}

int32_t CNztWnd_Edit::VisibleLines() const {
    if (fontSize <= 0.0f) return 0;
    const float n = (height - captionHeight - 5.0f) / fontSize;
    return n > 0.0f ? static_cast<int32_t>(n) : 0;
}

void CNztWnd_Edit::Recall() {
    if (recallDepth <= 0) {
        recallDepth = 0;
        return;
    }
    if (static_cast<uint32_t>(recallDepth) <= inputLine) {
        const char* source = lines[inputLine - static_cast<uint32_t>(recallDepth)];
        char copy[1024];
        std::snprintf(copy, sizeof copy, "%s", source != nullptr ? source : "");
        SetInputLine(copy);
    } else {
        recallDepth = static_cast<int32_t>(inputLine);
    }
}

void CNztWnd_Edit::OnKeyDown(uint32_t key) {
    const bool control = (KeyStates.keys[VK_CONTROL] & 0x80) != 0;
    const float pageLines = fontSize > 0.0f ? std::round((height - captionHeight - 5.0f) / fontSize) : 0.0f;
    const int32_t page = static_cast<int32_t>(pageLines);
    switch (key) {
        case VK_RETURN:
            recallDepth = 0;
            break;
        case VK_PRIOR:
            scroll = control ? static_cast<int32_t>(lineCount) : scroll + page;
            break;
        case VK_NEXT:
            scroll = control ? 0 : scroll - page;
            break;
        case VK_UP:
            if (control) {
                recallDepth += 1;
                Recall();
            } else {
                scroll += 1;
            }
            break;
        case VK_DOWN:
            if (control) {
                recallDepth -= 1;
                Recall();
            } else {
                scroll -= 1;
            }
            break;
        default:
            break;
    }
    if (scroll < 0) scroll = 0;
    // Typing must not drive the game.
    ClearKeyStatesButConsoleAndEscape();
}

void CNztWnd_Edit::OnKeyUp(uint32_t) { ClearKeyStatesButConsoleAndEscape(); }

void CNztWnd_Edit::OnMouseWheel(int32_t, int32_t, uint32_t flags) {
    scroll += static_cast<int32_t>(flags) > 0 ? 1 : -1;
    if (scroll < 0) scroll = 0;
    wheelTaken = 1;
}

void CNztWnd_Edit::AddCommand(const char* name, const char* help, void (*handler)(const char*, const char*)) {
    auto* grown = static_cast<ConsoleCommand*>(std::realloc(commands, (commandCount + 1) * sizeof(ConsoleCommand)));
    if (grown == nullptr) return;
    commands = grown;
    commands[commandCount].name = strdup(name != nullptr ? name : "");
    commands[commandCount].help = help != nullptr ? strdup(help) : nullptr;
    commands[commandCount].handler = handler;
    commandCount += 1;
}

void CNztWnd_Edit::ExecuteLine() {
    // With nothing to run the line, Enter still ends it: the typed text stays in the log.
    if (commandCount == 0 || lineCount == 0) {
        StartNewLine();
        return;
    }
    // The handlers may print into this window, which replaces the input line: work on a copy.
    char line[1024];
    std::snprintf(line, sizeof line, "%s", lines[inputLine] != nullptr ? lines[inputLine] : "");
    // The first word is read into 256 bytes: a longer one is cut and then matches no command.
    char word[256];
    const char* blank = std::strchr(line, ' ');
    const size_t wordLength = blank != nullptr ? static_cast<size_t>(blank - line) : std::strlen(line);
    const bool wordFits = wordLength < sizeof word;
    std::snprintf(word, sizeof word, "%.*s", static_cast<int>(wordFits ? wordLength : sizeof word - 1), line);
    const char* argument = blank != nullptr ? blank + 1 : nullptr;
    // The typed line stays in the log; what the command prints follows it.
    StartNewLine();
    if (wordFits) {
        for (uint32_t i = commandCount - 1; i-- > 0;) {
            const ConsoleCommand& c = commands[i];
            if (c.handler == nullptr || strcasecmp(word, c.name) != 0) continue;
            c.handler(c.name, argument);
            return;
        }
    }
    if (commands[commandCount - 1].handler != nullptr) commands[commandCount - 1].handler(line, nullptr);
}

void CNztWnd_Edit::Draw() {
    DrawShape(this, [this] {
        DrawFrame();
        if (lineCount == 0) return;
        const int32_t shown = VisibleLines();
        int32_t maxScroll = static_cast<int32_t>(lineCount) - shown;
        if (maxScroll < 0) maxScroll = 0;
        if (scroll > maxScroll) scroll = maxScroll;
        if (scroll < 0) scroll = 0;
        SetScissorToRect(clientRect);
        const float limit = height - captionHeight - 5.0f;
        float y = std::fmin(static_cast<float>(lineCount) * fontSize + captionHeight, limit);
        for (int32_t i = static_cast<int32_t>(lineCount) - 1 - scroll; i >= 0; --i, y -= fontSize) {
            if (y < 0.0f) break;
            if (y > limit) continue;
            const char* s = lines[i] != nullptr ? lines[i] : "";
            char withCursor[1100];
            if (static_cast<uint32_t>(i) == inputLine) {
                std::snprintf(withCursor, sizeof withCursor, "%s_", s);
                s = withCursor;
            }
            DrawTextColoured(s, screenLeft + 5.0f, screenTop + y, textColour, 1.0f);
        }
        SetScissorToRect(nullptr);
    });
}

// ---------------------------------------------------------------------------------------------
// Info

void CNztWnd_Info::Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) {
    CNztWnd::Create(parentWnd, x, y, w, h, click);
    kind = WndKindInfo;
    label[0] = 0;
}

void CNztWnd_Info::SetText(const char* newText) { CopyText(label, newText); }

void CNztWnd_Info::Draw() {
    DrawShape(this, [this] {
        DrawFrame();
        const float x = screenLeft + textOffsetX, y = screenTop + sampleHeight + textOffsetY;
        if (clip != 0) SetScissorToRect(clientRect);
        static constexpr float kBlack[3] = {0.0f, 0.0f, 0.0f};
        if (shadow != 0) DrawTextColoured(label, x + 2.0f, y + 2.0f, kBlack, 1.0f);
        DrawTextColoured(label, x, y, textColour, 1.0f);
        if (clip != 0) SetScissorToRect(nullptr);
    });
}

// ---------------------------------------------------------------------------------------------
// Slider

void CNztWnd_Slider::ComputeThumbRange() {
    thumbHalfWidth = height * 0.5f;
    thumbWidth = height;
    lowestThumb = width * minimumValue / 100.0f + thumbHalfWidth + 2.0f;
    highestThumb = width * maximumValue / 100.0f - (thumbHalfWidth + 2.0f);
}

void CNztWnd_Slider::ClampThumb() {
    if (thumbPosition > highestThumb) thumbPosition = highestThumb;
    if (thumbPosition < lowestThumb) thumbPosition = lowestThumb;
}

void CNztWnd_Slider::ValueFromPosition() {
    const float span = highestThumb - (thumbHalfWidth + 2.0f);
    value = span != 0.0f ? (thumbPosition - (thumbHalfWidth + 2.0f)) * maximumValue / span : minimumValue;
}

void CNztWnd_Slider::Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) {
    CNztWnd::Create(parentWnd, x, y, w, h, click);
    ComputeThumbRange();
    ClampThumb();
    MakeControl(*this, WndKindSlider, h);
}

void CNztWnd_Slider::OnLButtonDown(int32_t, int32_t, uint32_t) {
    thumbHeld = 1;
    if (dragging != 0 || resizing != 0) return;
    tracking = 1;
    thumbPosition = mouseX;
    ClampThumb();
    ValueFromPosition();
}

void CNztWnd_Slider::OnLButtonUp(int32_t, int32_t, uint32_t) { thumbHeld = tracking = 0; }

void CNztWnd_Slider::OnMouseMove(int32_t, int32_t, uint32_t) {
    if (tracking == 0) return;
    thumbPosition = mouseX;
    ClampThumb();
    ValueFromPosition();
    if (notifyOnChange != 0 && clickHandler != nullptr) clickHandler(this);
}

void CNztWnd_Slider::OnMouseWheel(int32_t, int32_t, uint32_t flags) {
    thumbPosition += static_cast<int32_t>(flags) > 0 ? 1.0f : -1.0f;
    ClampThumb();
    ValueFromPosition();
    wheelTaken = 1;
}

void CNztWnd_Slider::SetWidth(float w) {
    CNztWnd::SetWidth(w);
    ComputeThumbRange();
    ClampThumb();
    ValueFromPosition();
}

void CNztWnd_Slider::SetHeight(float h) {
    CNztWnd::SetHeight(h);
    titleRect[3] = captionHeight;
    clientRect[3] = height - captionHeight;
}

void CNztWnd_Slider::Draw() {
    DrawShape(this, [this] {
        DrawFrame();
        SetScissorToRect(clientRect);
        const float l = screenLeft + thumbPosition - thumbHalfWidth + 1.0f;
        const float r = l + thumbWidth - 2.0f;
        const float t = screenTop + 2.0f, b = screenTop + height - 2.0f;
        const float screen[4][3] = {{l, t, 0.0f}, {r, t, 0.0f}, {r, b, 0.0f}, {l, b, 0.0f}};
        float corners[4][3];
        ToView(screen, corners);
        if (thirdImage != 0) {
            BeginPrimitive(RenderState, kTexturedQuads);
            DrawBatchedQuad(thirdImage, corners, 1.0f);
            glEnd();
        } else {
            DrawColoredQuad(corners, colour[0], colour[1], colour[2], 1.0f);
        }
        if (thumbBevel != 0) {
            BeginPrimitive(RenderState, kLines);
            const float light = thumbHeld != 0 ? 0.5f : 1.0f, dark = thumbHeld != 0 ? 1.0f : 0.5f;
            Bevel(l, t, r, b, light, dark, 1.0f);
            glEnd();
        }
        SetScissorToRect(nullptr);
    });
}

// ---------------------------------------------------------------------------------------------
// Window list

bool AppendWnd(CNztWnd* window) {
    if (WndCount >= WndCapacity) GrowWndList();
    if (WndCount >= WndCapacity) return false;
    WndList[WndCount++] = window;
    return true;
}

void GrowWndList() {
    const uint32_t capacity = WndCount + kListStep;
    if (capacity == WndCapacity) return;
    auto* grown = static_cast<CNztWnd**>(std::realloc(WndList, capacity * sizeof(CNztWnd*)));
    if (grown == nullptr) return;
    WndList = grown;
    WndCapacity = capacity;
    for (uint32_t i = WndCount; i < capacity; ++i) WndList[i] = nullptr;
}

bool IsLiveWnd(const CNztWnd* window) {
    if (window == nullptr) return false;
    for (uint32_t i = WndCount; i-- > 0;)
        if (WndList[i] == window) return window->destroyed == 0;
    return false;
}

void DestroyWndAt(uint32_t index, uint32_t shrink) {
    if (index >= WndCount) return;
    CNztWnd* w = WndList[index];
    w->Destroy();
    if (gWalkDepth != 0) return;  // freed when the walk ends
    // Destroy marked the window and its descendants: free them all now.
    RemoveWndAt(index);
    delete w;
    for (uint32_t i = WndCount; i-- > 0;) {
        CNztWnd* other = WndList[i];
        if (other->destroyed == 0) continue;
        RemoveWndAt(i);
        delete other;
    }
    if (shrink != 0) ShrinkWndList();
}

void DestroyWnd(CNztWnd* window, uint32_t shrink) {
    if (window == nullptr) return;
    for (uint32_t i = WndCount; i-- > 0;) {
        if (WndList[i] == window) {
            DestroyWndAt(i, shrink);
            return;
        }
    }
}

void TraceInterface(const char* format, ...) {
    static const bool on = std::getenv("QUORVANE_TRACE_INTERFACE") != nullptr;
    if (!on) return;
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "interface: %s\n", line);
}

void DestroyAllWnds() {
    for (uint32_t i = WndCount; i-- > 0;) WndList[i]->Destroy();
    for (uint32_t i = WndCount; i-- > 0;) delete WndList[i];
    std::free(WndList);
    WndList = nullptr;
    WndCount = WndCapacity = 0;
    FocusWnd = nullptr;
    WndPressTaken = 0;
}

CNztWnd* SetFocusWnd(CNztWnd* window) {
    CNztWnd* previous = FocusWnd;
    LoseFocusFlag(previous);
    FocusWnd = nullptr;
    if (window != nullptr && window->destroyed == 0) {
        FocusWnd = window;
        if (window->interactive != 0 && window->enabled != 0) window->hasFocus = 1;
    }
    return previous;
}

// ---------------------------------------------------------------------------------------------
// Dispatch

namespace {

template <class F>
uint32_t ForTopLevel(F f) {
    WalkGuard guard;
    uint32_t taken = 0;
    const uint32_t count = WndCount;
    for (uint32_t i = 0; i < count && i < WndCount; ++i) {
        CNztWnd* w = WndList[i];
        if (w->parent != nullptr || w->destroyed != 0) continue;
        if (f(w) != 0) taken = 1;
    }
    return taken;
}

uint32_t DispatchPress(int32_t x, int32_t y, uint32_t flags, int button) {
    WalkGuard guard;
    WndPressTaken = 0;
    const uint32_t taken = ForTopLevel([&](CNztWnd* w) {
        return button == 0 ? w->HandleLButtonDown(x, y, flags) : w->HandleOtherButtonDown(x, y, flags, button == 2);
    });
    if (taken == 0) {
        LoseFocusFlag(FocusWnd);
        FocusWnd = nullptr;
    }
    return taken;
}

template <class F>
void SendToFocus(CNztWnd* window, F f) {
    if (window == nullptr || !window->Live()) return;
    WalkGuard guard;
    f(window);
}

}  // namespace

uint32_t DispatchLButtonDownToWnds(int32_t x, int32_t y, uint32_t flags) { return DispatchPress(x, y, flags, 0); }
uint32_t DispatchRButtonDownToWnds(int32_t x, int32_t y, uint32_t flags) { return DispatchPress(x, y, flags, 1); }
uint32_t DispatchMButtonDownToWnds(int32_t x, int32_t y, uint32_t flags) { return DispatchPress(x, y, flags, 2); }

uint32_t DispatchLButtonUpToWnds(int32_t x, int32_t y, uint32_t flags) {
    return ForTopLevel([&](CNztWnd* w) { return w->HandleLButtonUp(x, y, flags, false); });
}
uint32_t DispatchLButtonDblClkToWnds(int32_t x, int32_t y, uint32_t flags) {
    return ForTopLevel([&](CNztWnd* w) { return w->HandleLButtonUp(x, y, flags, true); });
}
uint32_t DispatchRButtonUpToWnds(int32_t x, int32_t y, uint32_t flags) {
    return ForTopLevel([&](CNztWnd* w) { return w->HandleOtherButtonUp(x, y, flags, false); });
}
uint32_t DispatchMButtonUpToWnds(int32_t x, int32_t y, uint32_t flags) {
    return ForTopLevel([&](CNztWnd* w) { return w->HandleOtherButtonUp(x, y, flags, true); });
}
uint32_t DispatchMouseMoveToWnds(int32_t x, int32_t y, uint32_t flags) {
    return ForTopLevel([&](CNztWnd* w) { return w->HandleMouseMove(x, y, flags); });
}
uint32_t DispatchMouseWheelToWnds(int32_t x, int32_t y, int32_t delta) {
    const uint32_t flags = static_cast<uint32_t>(delta);
    return ForTopLevel([&](CNztWnd* w) { return w->HandleMouseWheel(x, y, flags); });
}

void SendKeyDownToFocusWnd(CNztWnd* window, uint32_t code) {
    SendToFocus(window, [code](CNztWnd* w) {
        w->OnKeyDown(code);
        if (w->destroyed == 0) w->Notify(WndMsgKeyDown, static_cast<float>(code), 0.0f, 0.0f);
    });
}
void SendKeyUpToFocusWnd(CNztWnd* window, uint32_t code) {
    SendToFocus(window, [code](CNztWnd* w) {
        w->OnKeyUp(code);
        if (w->destroyed == 0) w->Notify(WndMsgKeyUp, static_cast<float>(code), 0.0f, 0.0f);
    });
}
void SendCharToFocusWnd(CNztWnd* window, uint32_t code) {
    SendToFocus(window, [code](CNztWnd* w) {
        w->OnChar(code);
        if (w->destroyed == 0) w->Notify(WndMsgChar, static_cast<float>(code), 0.0f, 0.0f);
    });
}

void SortWndsByDepth(CNztWnd** list, int32_t first, int32_t last) {
    while (first < last) {
        const float pivot = list[first + (last - first) / 2]->depthKey;
        int32_t i = first, j = last;
        while (i <= j) {
            while (list[i]->depthKey > pivot) ++i;
            while (list[j]->depthKey < pivot) --j;
            if (i <= j) {
                CNztWnd* t = list[i];
                list[i] = list[j];
                list[j] = t;
                ++i;
                --j;
            }
        }
        // Recurse into the smaller half, loop over the larger: the depth stays logarithmic.
        if (j - first < last - i) {
            SortWndsByDepth(list, first, j);
            first = i;
        } else {
            SortWndsByDepth(list, i, last);
            last = j;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Drawing

void DrawBatchedQuad(uint32_t texture, const float corners[4][3], float alpha) {
    if (texture != BoundTextureId) {
        glEnd();
        glBindTexture(GL_TEXTURE_2D, texture);
        BoundTextureId = texture;
        glBegin(GL_QUADS);
    }
    static constexpr float kUv[4][2] = {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}};
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2f(kUv[i][0], kUv[i][1]);
        glVertex3f(corners[i][0], corners[i][1], corners[i][2]);
    }
}

void DrawColoredQuad(const float corners[4][3], float red, float green, float blue, float alpha) {
    static constexpr float kShade[4] = {1.0f, 0.75f, 0.5f, 0.75f};
    BeginPrimitive(RenderState, kQuads);
    for (int i = 0; i < 4; ++i) {
        glColor4f(red * kShade[i], green * kShade[i], blue * kShade[i], alpha);
        glVertex3f(corners[i][0], corners[i][1], corners[i][2]);
    }
    glEnd();
}

void SetScissorToRect(const float* rect) {
    if (rect == nullptr) {
        SwitchScissorTest(false);
        return;
    }
    glScissor(static_cast<GLint>(std::lrint(rect[0])),
              static_cast<GLint>(std::lrint(RenderState.viewportHeight - (rect[1] + rect[3]))),
              static_cast<GLsizei>(std::lrint(std::fmax(rect[2], 0.0f))),
              static_cast<GLsizei>(std::lrint(std::fmax(rect[3], 0.0f))));
    SwitchScissorTest(true);
}

void DrawAllWnds() {
    if (WndCount == 0) return;
    NztRenderState& rs = RenderState;
    WalkGuard guard;
    SwitchBlend(true);
    SelectBlendMode(kAlphaBlend);
    // The 2-D matrix is loaded here whatever an earlier pass left current: the windows are
    // always in screen pixels.
    const uint32_t wasPushed = rs.baseViewPushed;
    GlCore.MatrixMode(GL_MODELVIEW);
    GlCore.PushMatrix();
    GlCore.LoadMatrixf(rs.baseViewMatrix);
    rs.baseViewPushed = 1;
    SwitchCullFace(false);
    DrawScreenImage(0);
    if (rs.letterboxBar != 0) {
        SwitchScissorTest(false);
        if (WndCinemaBordersHook != nullptr) WndCinemaBordersHook();
    }
    for (uint32_t i = WndCount; i-- > 0;) {
        if (i >= WndCount) continue;
        CNztWnd* w = WndList[i];
        if (w->parent == nullptr && w->destroyed == 0) w->Draw();
    }
    DrawScreenImage(1);
    SwitchTexture2D(true);
    DrawScreenMessages();
    DrawTextBoxes();
    // Ours, then the level an earlier pass pushed for its 2-D drawing: the frame ends balanced.
    GlCore.MatrixMode(GL_MODELVIEW);
    glPopMatrix();
    if (wasPushed != 0) glPopMatrix();
    rs.baseViewPushed = 0;
    SwitchBlend(false);
}

// ---------------------------------------------------------------------------------------------
// 3D window

void CNztWnd_3D::Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) {
    CNztWnd::Create(parentWnd, x, y, w, h, click);
    MakeControl(*this, WndKind3D, h);
}

void CNztWnd_3D::Destroy() {
    if (destroyed != 0) return;
    CNztWnd::Destroy();
    shownObject = nullptr;
    secondObject = nullptr;
}

CNztWnd_3D::CNztWnd_3D() {
    camera = new CNztCamera;
    camera->Init();
}

CNztWnd_3D::~CNztWnd_3D() { delete camera; }

void CNztWnd_3D::ShowObject() {
    auto* shown = dynamic_cast<NztBaseObject*>(shownObject);
    if (shown == nullptr) return;
    // A carried scene object is let go of, so that it can be posed here.
    if (shown->kind == ObjectKindScn && shown->poseState == 1) shown->poseState = 2;
    shown->shown = 1;
    FrameObject(nullptr);
}

namespace {
// The radius of the sphere about the mesh's bounding box: the model stays whole in the window
// whichever way it turns. (The mesh's core radius is an inner one: framed by it, the camera stands
// inside a box.)
float BoundingRadius(const NztMesh& m) {
    return std::sqrt(m.HalfSize.x * m.HalfSize.x + m.HalfSize.y * m.HalfSize.y + m.HalfSize.z * m.HalfSize.z);
}

// The distance at which an object of radius r fills the window's client area.
float FramingDistance(const CNztWnd_3D& w, float radius) {
    const float side = std::fmin(w.width, w.height);
    const auto fov = static_cast<float>(RenderState.fieldOfView);
    if (!(side > 0.0f) || !(fov > 0.0f)) return 0.0f;
    return radius * 3.0f * 114.59152f * w.clientRect[2] / (fov * 1024.0f * side);
}
}  // namespace

void CNztWnd_3D::FrameObject(NztBase3D* object) {
    NztBase3D* target = object != nullptr ? object : (secondObject != nullptr ? secondObject : shownObject);
    auto* framed = dynamic_cast<NztBaseObject*>(target);
    if (framed == nullptr || framed->mesh == nullptr) return;
    framed->BindRenderData();
    TransformMeshRigid(framed->mesh);
    framed->ComputeCenter(objectCentre);
    lookAt[0] = objectCentre[0];
    lookAt[1] = objectCentre[1];
    lookAt[2] = objectCentre[2] + zoom + FramingDistance(*this, BoundingRadius(*framed->mesh));
    camera->SetPosition(Vec3{lookAt[0], lookAt[1], lookAt[2]});
    camera->angles[0] = camera->angles[1] = camera->angles[2] = 0.0f;
    camera->UpdateMatrix();
}

void CNztWnd_3D::Reframe() {
    auto* framed = dynamic_cast<NztBaseObject*>(secondObject != nullptr ? secondObject : shownObject);
    if (framed == nullptr || framed->mesh == nullptr) return;
    lookAt[0] = objectCentre[0];
    lookAt[1] = objectCentre[1];
    lookAt[2] = objectCentre[2] + FramingDistance(*this, BoundingRadius(*framed->mesh));
    camera->SetPosition(Vec3{lookAt[0], lookAt[1], lookAt[2]});
}

void CNztWnd_3D::DrawModels() {
    NztRenderState& rs = RenderState;
    SetViewportToRect(clientRect);
    SwitchBlend(false);
    glClear(GL_DEPTH_BUFFER_BIT);
    SwitchDepthTest(true);
    SwitchDepthWrite(true);
    camera->UpdateView();
    for (NztBase3D* linked : {shownObject, secondObject}) {
        auto* o = dynamic_cast<NztBaseObject*>(linked);
        if (o == nullptr || o->mesh == nullptr) continue;
        if (o == shownObject && spinAllowed != 0 && spinning != 0 && enabled != 0) {
            if (o->kind == ObjectKindScn && o->poseState == 1) o->poseState = 2;
            // Yaw and pitch step on by the window's spin steps, in 12-bit angle units.
            const auto pitch = static_cast<int32_t>(o->packedAngles & 0xFFF);
            const auto yaw = static_cast<int32_t>((o->packedAngles >> 12) & 0xFFF);
            o->SetYawPitch((pitch + static_cast<int32_t>(spinSteps[1])) & 0xFFF,
                           (yaw + static_cast<int32_t>(spinSteps[0])) & 0xFFF);
        }
        o->BindRenderData();
        TransformMeshRigid(o->mesh);
        DrawMeshPreview(o->mesh);
    }
    MainCamera.UpdateView();
    SwitchBlend(true);
    SelectBlendMode(kAlphaBlend);
    // Back to the whole screen and the 2-D matrix for the windows drawn after this one.
    SetViewportToRect(nullptr);
    GlCore.MatrixMode(GL_MODELVIEW);
    GlCore.LoadMatrixf(rs.baseViewMatrix);
    SwitchCullFace(false);
}

void CNztWnd_3D::Draw() {
    DrawShape(this, [this] {
        DrawFrame();
        if (showModel != 0 && (shownObject != nullptr || secondObject != nullptr)) DrawModels();
    });
}

CNztWnd* CreateWnd(const char* caption, float x, float y, float width, float height, const char* image) {
    auto* w = NewWnd<CNztWnd>();
    if (w == nullptr) return nullptr;
    w->Create(nullptr, x, y, width, height, nullptr);
    SetBackground(w, 0.5f);
    w->captionButtons = 0;
    w->resizable = 0;
    w->opaqueWhenFocused = 1;
    w->SetText(caption);
    w->SetImage(image);
    return w;
}

CNztWnd_Button* CreateButtonWnd(const char* caption, const char* passOverImage, float x, float y, float width,
                                float height, NztWndClick click, CNztWnd* parent, const char* normalImage,
                                const char* pressedImage) {
    auto* w = NewControlWnd<CNztWnd_Button>(parent, x, y, width, height, click, 0.99f);
    if (w == nullptr) return nullptr;
    w->opaqueWhenFocused = 0;
    w->SetText(caption);
    w->normalImage = LoadImage(normalImage);
    w->pressedImage = LoadImage(pressedImage);
    w->passOverImage = LoadImage(passOverImage);
    w->image = w->normalImage;
    return w;
}

CNztWnd_Info* CreateInfoWnd(const char* label, const char* image, float x, float y, float width, float height,
                            CNztWnd* parent) {
    auto* w = NewControlWnd<CNztWnd_Info>(parent, x, y, width, height, nullptr, 0.99f);
    if (w == nullptr) return nullptr;
    w->opaqueWhenFocused = 1;
    w->CNztWnd::SetText(label);
    w->SetText(label);
    w->SetImage(image);
    return w;
}

CNztWnd_Slider* CreateSliderWnd(const char* label, float x, float y, float width, float height, NztWndClick click,
                                const char* sliderImage, const char* thumbImage, CNztWnd* parent) {
    CNztWnd_Info* caption = CreateInfoWnd(label, nullptr, x, y, width, 12.0f, parent);
    if (caption != nullptr) {
        caption->textAnchorY = caption->height * 0.5f;
        caption->titleBar = 0;
        caption->captionHeight = caption->minimumWidth = caption->minimumHeight = 0.0f;
        caption->movable = caption->captionButtons = caption->border = 0;
        caption->colour[3] = 0.0f;
        caption->opaqueWhenFocused = 0;
        caption->SetText(label);
        MeasureText("0", &caption->sampleWidth, &caption->sampleHeight, &caption->sampleDepth);
        caption->UpdateRect();
    }
    auto* w = NewControlWnd<CNztWnd_Slider>(parent, x, y + 14.0f, width, height, click, 0.99f);
    if (w == nullptr) return nullptr;
    w->opaqueWhenFocused = 0;
    w->SetImage(sliderImage);
    w->thirdImage = LoadImage(thumbImage);
    return w;
}

CNztWnd_3D* Create3DWnd(float x, float y, float width, float height, NztWndClick click, CNztWnd* parent) {
    auto* w = NewControlWnd<CNztWnd_3D>(parent, x, y, width, height, click, 0.25f);
    if (w == nullptr) return nullptr;
    w->border = 1;
    w->opaqueWhenFocused = 0;
    w->SetText("");
    return w;
}
