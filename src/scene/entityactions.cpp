#include "scene/entityactions.h"

#include "objects/actions.h"
#include "objects/base3d.h"
#include "objects/eventrecord.h"
#include "objects/objlookup.h"
#include "render/renderstate.h"
#include "ui/gameui.h"
#include "ui/inventory.h"
#include "ui/panel.h"
#include "ui/wnd.h"

void (*ImagePanelPointer)(int32_t* x, int32_t* y) = nullptr;

namespace {

constexpr float GridWidth = 1024.0f;
constexpr float GridHeight = 768.0f;

// Point code 0..6 in 1024x768 units; false (point unchanged) above 6.
bool PanelPoint(int32_t code, float out[2]) {
    switch (code) {
    case 0:
        out[0] = GridWidth / 2;
        out[1] = GridHeight / 2;
        return true;
    case 1: out[0] = 0.0f; out[1] = 0.0f; return true;
    case 2: out[0] = GridWidth; out[1] = 0.0f; return true;
    case 3: out[0] = GridWidth; out[1] = GridHeight; return true;
    case 4: out[0] = 0.0f; out[1] = GridHeight; return true;
    case 5: {
        int32_t x = RenderState.screenWidth / 2, y = RenderState.screenHeight / 2;
        if (ImagePanelPointer) ImagePanelPointer(&x, &y);
        const float w = RenderState.screenWidth > 0 ? static_cast<float>(RenderState.screenWidth) : GridWidth;
        const float h = RenderState.screenHeight > 0 ? static_cast<float>(RenderState.screenHeight) : GridHeight;
        out[0] = static_cast<float>(x) * GridWidth / w;
        out[1] = static_cast<float>(y) * GridHeight / h;
        return true;
    }
    case 6: {
        // The current inventory, in 1024x768 units like its own position; one inside a game
        // interface is offset by that interface's window, converted from pixels.
        const NztInventory* inv = CurrentInventory;
        if (inv == nullptr) return PanelPoint(0, out);
        out[0] = inv->x;
        out[1] = inv->y;
        const NztGameUI* parent = GetGameUI(inv->parentIndex);
        if (parent != nullptr && parent->mainWnd != nullptr) {
            const float w = RenderState.screenWidth > 0 ? static_cast<float>(RenderState.screenWidth) : GridWidth;
            const float h = RenderState.screenHeight > 0 ? static_cast<float>(RenderState.screenHeight) : GridHeight;
            out[0] += parent->mainWnd->left * GridWidth / w;
            out[1] += parent->mainWnd->top * GridHeight / h;
        }
        return true;
    }
    default:
        return false;
    }
}

}  // namespace

void ImagePanelAction(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    if (r.Param == 7) {
        CloseImagePanel();
        return;
    }
    auto* o = dynamic_cast<NztBaseObject*>(FindSceneObject(r.TargetKind, r.TargetId));
    if (o == nullptr) return;
    float p[2];
    if (PanelPoint(r.Param, p)) {
        PanelState.startRect[0] = p[0];
        PanelState.startRect[1] = p[1];
    }
    if (PanelPoint(r.Param2, p)) {
        PanelState.endRect[0] = p[0];
        PanelState.endRect[1] = p[1];
    }
    OpenImagePanel(o, r.Value1);
}

void RegisterSceneEntityActions() {
    RegisterEventAction(ActionImagePanel, ImagePanelAction);
}
