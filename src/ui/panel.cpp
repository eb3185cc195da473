#include "ui/panel.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "character/entity.h"
#include "core/frameclock.h"
#include "model/mesh.h"
#include "objects/actions.h"
#include "objects/base3d.h"
#include "objects/events.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "ui/counter.h"
#include "ui/gamemap.h"
#include "ui/gameui.h"
#include "ui/inventory.h"
#include "ui/wnd.h"
#include "world/scnobject.h"

ImagePanelState PanelState;

namespace {

// Blend mode of SelectBlendMode: (source alpha, one minus source alpha).
constexpr uint32_t kAlphaBlend = 6;
// Untextured quads of BeginPrimitive.
constexpr uint32_t kQuads = 5;
// Window messages handled by the panel.
constexpr uint32_t kMsgDestroyed = 2;
constexpr uint32_t kMsgDraw = 5;
constexpr uint32_t kMsgLButtonUp = 101;
// Sub-code of action 62 that closes the panel.
constexpr uint32_t kCloseSubCode = 7;
// 1/1024 and 1/768: panel rectangles are in units of a 1024x768 screen.
constexpr float kPerWidthUnit = 0.0009765625f;
constexpr float kPerHeightUnit = 0.0013020834f;
// 1 / PanelAnimTime: the per-frame step finishes the change in 0.15 s at the current frame rate.
constexpr float kAnimRate = 6.6666665f;
// Bars: 50 x 2 pixels, centred 25 pixels left and 26 up of the projected head point.
constexpr float kBarWidth = 50.0f;
constexpr float kBarHeight = 2.0f;
constexpr float kBarOffsetX = 25.0f;
constexpr float kBarOffsetY = 26.0f;
constexpr float kBarColour[4] = {1.0f, 0.25f, 0.0f, 1.0f};

// r in 1024x768 units, applied to the panel window in pixels.
void PlaceWindow(const float r[4]) {
    CNztWnd* window = PanelState.window;
    if (window == nullptr) return;
    // The panel grows out of a point: nothing may hold it at a minimum size.
    window->minimumWidth = window->minimumHeight = 0.0f;
    const NztRenderState& rs = RenderState;
    window->SetPos(r[0] * rs.screenWidthF * kPerWidthUnit, r[1] * rs.screenHeightF * kPerHeightUnit);
    window->SetSize(r[2] * rs.screenWidthF * kPerWidthUnit, r[3] * rs.screenHeightF * kPerHeightUnit);
}

void ApplyCurrentRect() { PlaceWindow(PanelState.currentRect); }

void StepCurrentRect() {
    for (int i = 0; i < 4; ++i) PanelState.currentRect[i] += PanelState.step[i];
}

// Colours shaded over the four corners by 1, 0.75, 0.5 and 0.75, inside glBegin(GL_QUADS).
void EmitShadedQuad(const float r[4], const float colour[4]) {
    static constexpr float kShade[4] = {1.0f, 0.75f, 0.5f, 0.75f};
    const float corners[4][2] = {{r[0], r[1]}, {r[2], r[1]}, {r[2], r[3]}, {r[0], r[3]}};
    for (int i = 0; i < 4; ++i) {
        glColor4f(colour[0] * kShade[i], colour[1] * kShade[i], colour[2] * kShade[i], colour[3]);
        glVertex3f(corners[i][0], corners[i][1], 0.0f);
    }
}

void EmitFlatQuad(const float r[4]) {
    glVertex3f(r[0], r[1], 0.0f);
    glVertex3f(r[2], r[1], 0.0f);
    glVertex3f(r[2], r[3], 0.0f);
    glVertex3f(r[0], r[3], 0.0f);
}

}  // namespace

void InitPanelGlobals() {
    PanelState = ImagePanelState{};
    EventRecord& close = PanelState.closeRecord;
    close = BlankEventRecord();
    close.Action = ActionImagePanel;
    close.Once = close.Toggle = close.RunOnUpdate = 0;
    close.State = 1.0f;
    close.Param = kCloseSubCode;
}

void LoadPanelSettings(const PanelSettings* settings) {
    ImagePanelState& p = PanelState;
    if (settings != nullptr) {
        // The record's text fields need not end in zero.
        std::snprintf(p.imageName, sizeof p.imageName, "%.*s", static_cast<int>(sizeof settings->imageName),
                      settings->imageName);
        std::snprintf(p.objectName, sizeof p.objectName, "%.*s", static_cast<int>(sizeof settings->objectName),
                      settings->objectName);
        std::memcpy(p.rect, settings->rect, sizeof p.rect);
    }
    LayoutPanelWnd();
}

void LayoutPanelWnd() { PlaceWindow(PanelState.rect); }

void CloseImagePanel() {
    ImagePanelState& p = PanelState;
    NztScnObject* object = p.object;
    p.object = nullptr;
    if (p.window != nullptr) {
        CNztWnd* window = p.window;
        window->image = 0;
        if (auto* view = dynamic_cast<CNztWnd_3D*>(window)) view->shownObject = nullptr;
        p.window = nullptr;
        DestroyWnd(window, 1);
        TraceInterface("image panel closed");
    }
    p.window = nullptr;
    if (object != nullptr && p.objectOwned != 0) DeletePreviewObject(object);
    p.objectOwned = 0;
    if (p.image != 0) ReleaseTexture(p.image);
    p.image = 0;
}

void OpenImagePanel(NztBaseObject* object, float showTime) {
    ImagePanelState& p = PanelState;
    const NztRenderState& rs = RenderState;
    p.showTime = p.timeLeft = showTime;
    p.openingLeft = p.closingLeft = 0.0f;
    if (p.window == nullptr) {
        if (p.image != 0) ReleaseTexture(p.image);
        p.image = 0;
        char path[300];
        if (p.imageName[0] != 0 &&
            std::snprintf(path, sizeof path, "MAPS/UI/%s.Img", p.imageName) < static_cast<int>(sizeof path))
            p.image = LoadTexture(path, 0, 0);
        CNztWnd_3D* w = Create3DWnd(p.rect[0] * rs.screenWidthF * kPerWidthUnit, p.rect[1] * rs.screenHeightF * kPerHeightUnit,
                                    p.rect[2] * rs.screenWidthF * kPerWidthUnit, p.rect[3] * rs.screenHeightF * kPerHeightUnit,
                                    nullptr, nullptr);
        if (w == nullptr) return;
        w->eventCallback = PanelWndCallback;
        w->owner = &p;
        // The window shows the panel's texture; the panel releases it, not the window.
        w->image = p.image;
        if (p.image == 0) w->colour[3] = 0.0f;
        p.window = w;
        TraceInterface("image panel opened");
    }
    auto* w = dynamic_cast<CNztWnd_3D*>(p.window);
    if (w == nullptr) return;
    if (w->shownObject == p.object) w->shownObject = nullptr;
    if (p.object != nullptr && p.objectOwned != 0) DeletePreviewObject(p.object);
    p.object = nullptr;
    // The model shown is "<mesh name>1<number>" of the object's mesh.
    char model[300];
    const NztMesh* mesh = object != nullptr ? object->mesh : nullptr;
    if (mesh != nullptr &&
        std::snprintf(model, sizeof model, "%s1%03u", mesh->Name, mesh->Number) < static_cast<int>(sizeof model)) {
        if (NztScnObject* shown = CreatePreviewObjectFromFile(model)) {
            p.object = shown;
            w->shownObject = shown;
            shown->visible = 1;
            w->FrameObject(shown);
        }
    }
    p.objectOwned = 1;
    p.openingLeft = PanelAnimTime;
    const float scale = FrameTiming.frameTime * kAnimRate;
    for (int i = 0; i < 4; ++i) {
        p.step[i] = (p.rect[i] - p.startRect[i]) * scale;
        p.currentRect[i] = p.startRect[i];
    }
    ApplyCurrentRect();
}

void StartPanelClose() {
    ImagePanelState& p = PanelState;
    p.closingLeft = PanelAnimTime;
    const float scale = FrameTiming.frameTime * kAnimRate;
    for (int i = 0; i < 4; ++i) {
        p.step[i] = (p.endRect[i] - p.rect[i]) * scale;
        p.currentRect[i] = p.rect[i];
    }
}

void UpdateImagePanel() {
    ImagePanelState& p = PanelState;
    const float dt = FrameTiming.frameTime;
    if (p.openingLeft != 0.0f) {
        p.openingLeft -= dt;
        if (p.openingLeft > 0.0f) {
            StepCurrentRect();
        } else {
            p.openingLeft = 0.0f;
            std::memcpy(p.currentRect, p.rect, sizeof p.currentRect);
        }
        ApplyCurrentRect();
        return;
    }
    if (p.closingLeft == 0.0f) {
        if (p.showTime != 0.0f) {
            p.timeLeft -= dt;
            if (p.timeLeft <= 0.0f) {
                p.timeLeft = 0.0f;
                StartPanelClose();
            }
        }
        return;
    }
    p.closingLeft -= dt;
    if (p.closingLeft > 0.0f) {
        StepCurrentRect();
        ApplyCurrentRect();
    } else {
        // The shrinking is over: the close record closes the panel (after the frame is drawn, as
        // action 62 is deferred), so that a script hooked on the closing runs too.
        p.closingLeft = 0.0f;
        GameEventObject.ExecuteAction(&p.closeRecord);
    }
}

uint32_t PanelWndCallback(uint32_t message, CNztWnd* window, float, float, float) {
    if (message == kMsgDestroyed) {
        // Destroyed by someone else (a parent, shutdown): forget the window. The background is
        // the panel's texture, released by the panel, not by the window.
        if (window == PanelState.window) {
            window->image = 0;
            PanelState.window = nullptr;
        }
    } else if (message == kMsgDraw) {
        UpdateImagePanel();
    } else if (message == kMsgLButtonUp) {
        StartPanelClose();
        return 1;
    }
    return 0;
}

bool ComputeObjectBar(const NztEntity& e, const NztRenderState& rs, ObjectBar* out) {
    if (e.registered == 0 || e.barSwitch == 0 || e.order != EntityOrderKeepOffset || !(e.life > 0.0f) ||
        e.visible == 0)
        return false;
    float point[3] = {e.Position[0], e.Position[1] + e.headHeight, e.Position[2]};
    ProjectToScreenInPlace(rs, point);
    const float x = point[0] - kBarOffsetX;
    const float y = point[1] - kBarOffsetY;
    // A stale or infinite inverse maximum must not push the fill past the frame.
    float fraction = e.life * e.invMaxLife;
    if (!(fraction <= 1.0f)) fraction = 1.0f;
    out->frame[0] = x - 1.0f;
    out->frame[1] = y - 1.0f;
    out->frame[2] = x + kBarWidth + 1.0f;
    out->frame[3] = y + kBarHeight + 1.0f;
    out->fill[0] = x;
    out->fill[1] = y;
    out->fill[2] = x + kBarWidth * fraction;
    out->fill[3] = y + kBarHeight;
    return true;
}

void DrawObjectBars() {
    NztRenderState& rs = RenderState;
    SwitchBlend(true);
    SelectBlendMode(kAlphaBlend);
    SwitchDepthTest(false);
    SwitchDepthWrite(false);
    // The bars are flat quads in pixels, wound like the windows' (clockwise on the screen): the
    // back-face culling that the last object drawn left on would drop every one of them.
    SwitchCullFace(false);
    // Pixels from the viewport centre whatever matrix the render pass left current, and that matrix
    // back afterwards: the pass pops only what it pushed itself, and the windows push their own.
    GlCore.PushMatrix();
    GlCore.LoadMatrixf(rs.baseViewMatrix);
    BeginPrimitive(rs, kQuads);
    for (int32_t i = EntityRegistry.count - 1; i >= 0; --i) {
        NztBase3D* object = EntityRegistry.objects[i];
        if (object == nullptr || object->kind != ObjectKindEntity) continue;
        ObjectBar bar;
        if (!ComputeObjectBar(*static_cast<NztEntity*>(object), rs, &bar)) continue;
        glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
        EmitFlatQuad(bar.frame);
        EmitShadedQuad(bar.fill, kBarColour);
    }
    glEnd();
    glPopMatrix();
    SwitchDepthTest(true);
    SwitchDepthWrite(true);
}

void LayoutGameScreens() {
    LayoutAllCounters();
    LayoutAllGameUIs();
    LayoutAllInventories();
    LayoutAllGameMaps();
    LayoutPanelWnd();
}

void RefreshHudTextSizes() {
    RenderState.currentFont = RenderState.gameFont;
    RenderState.currentFontSize = RenderState.gameFontSize;
    for (int32_t i = GameUICount; i-- > 0;)
        if (GameUIList[i] != nullptr) GameUIList[i]->RefreshTextSize();
    for (int32_t i = CounterCount; i-- > 0;)
        if (CounterList[i] != nullptr) CounterList[i]->RefreshTextSize();
}
