#include "world/framepass.h"

#include <utility>

#include "effects/light.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "effects/sky.h"
#include "objects/base3d.h"
#include "objects/events.h"
#include "objects/eye.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/texture.h"

void (*ObjectBarsDrawer)() = nullptr;
uint32_t SceneFogSwitch = 0;

namespace {

template <typename T, typename F>
void ForEachOwnedLastFirst(T** list, const uint32_t& count, F&& f) {
    for (uint32_t i = count; i-- > 0;) {
        if (i >= count) continue;
        if (list[i] != nullptr) f(list[i]);
    }
}

void TestCameraBelowSurface() {
    const CNztCamera& camera = MainCamera;
    float depth = 0.0f;
    if (camera.belowSurface != 0 && camera.surfaceHeight > camera.eye.y)
        depth = camera.surfaceHeight - camera.eye.y;
    if (CameraBelowSurfaceDepth == 0.0f && depth != 0.0f)
        FramePassServices.broadcastEvent(CameraBelowSurfaceEvent);
    else if (CameraBelowSurfaceDepth != 0.0f && depth == 0.0f)
        FramePassServices.broadcastEvent(CameraAboveSurfaceEvent);
    CameraBelowSurfaceDepth = depth;
}

constexpr FramePassHooks DefaultHooks = {
    [](NztBaseObject* character) { character->SelectAction(); },
    UpdateSfxParticlesWorld,
    UpdateSfxParticlesLocal,
    TestSunVisibility,
    DrawSunHalo,
    DrawLensFlares,
    [] {
        if (ObjectBarsDrawer) ObjectBarsDrawer();
    },
    BroadcastEvent,
    [] { glPopMatrix(); },
};

}  // namespace

FramePassHooks FramePassServices = DefaultHooks;

void ResetFramePassHooks() {
    FramePassServices = DefaultHooks;
}

// ---------------------------------------------------------------------------------------------
// Update passes

void UpdateObjects() {
    ForEachLastFirst<NztCollideObject>(EntityRegistry, [](NztCollideObject* entity) {
        if (entity->networkRecord != nullptr) return;  // driven by a remote player
        const uint32_t self = EventObjectHandle(entity);
        FramePassServices.selectAction(entity);
        // The death event of the life step may have ended the character.
        if (ResolveEventObject(self) == entity) entity->RunActionStack();
    });
    ForEachLastFirst<NztBase3D>(ScnObjectRegistry, [](NztBase3D* o) { o->Update(); });
    ForEachLastFirst<NztBase3D>(CollideObjectRegistry, [](NztBase3D* o) { o->Update(); });
    ForEachLastFirst<NztBase3D>(EntityRegistry, [](NztBase3D* o) { o->Update(); });
}

void LateUpdateObjects() {
    for (const ObjectList* list : {&EntityRegistry, &ScnObjectRegistry, &DynObjectRegistry, &ThunderRegistry,
                                   &TrailRegistry, &SfxRegistry}) {
        ForEachLastFirst<NztBase3D>(*list, [](NztBase3D* o) { o->LateUpdate(); });
    }
    ForEachOwnedLastFirst(SfxDefList, SfxDefCount, [](SfxDef* def) {
        if (def->worldSpace != 0)
            FramePassServices.sfxWorldPass(def);
        else
            FramePassServices.sfxLocalPass(def);
    });
    ForEachOwnedLastFirst(LightList, LightCount, [](NztLight* light) { light->Update(); });
}

// ---------------------------------------------------------------------------------------------
// Render pass

void SortObjectsByDepth(NztBase3D** objects, int32_t left, int32_t right) {
    // Partitions around the middle entry; the smaller part is sorted by recursion and the larger
    // one by the loop, which keeps the stack shallow. The parts are independent, so the order
    // in which they are sorted does not change the result.
    while (left < right) {
        int32_t i = left;
        int32_t j = right;
        const float pivot = objects[(left + right) >> 1]->sortDepth;
        do {
            while (pivot > objects[i]->sortDepth) ++i;
            while (objects[j]->sortDepth > pivot) --j;
            if (i < j) {
                std::swap(objects[i], objects[j]);
                ++i;
                --j;
            } else if (i == j) {
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - left < right - i) {
            SortObjectsByDepth(objects, left, j);
            left = i;
        } else {
            SortObjectsByDepth(objects, i, right);
            right = j;
        }
    }
}

void RenderObjects() {
    NztRenderState& rs = RenderState;
    if (ObjectRegistry.count > 0) SortObjectsByDepth(ObjectRegistry.objects, 0, ObjectRegistry.count - 1);

    SwitchBlend(false);
    SwitchTexture2D(true);
    BoundTextureId = 0;  // the next bind always goes out
    SwitchTexCoordArray(true);
    SwitchColorArray(true);
    if (SceneFogSwitch != 0) EnableFog();
    ForEachLastFirst<NztBase3D>(ObjectRegistry, [](NztBase3D* o) { o->RenderOpaque(); });

    DisableFog();
    SwitchBlend(true);
    SwitchDepthWrite(false);
    FramePassServices.testSunVisibility();

    if (SceneFogSwitch != 0) EnableFog();
    ForEachLastFirst<NztBase3D>(ObjectRegistry, [](NztBase3D* o) { o->Render(); });
    DisableFog();

    SetBlendMode(2);  // source alpha, one: the glows add up
    SwitchColorArray(false);
    ForEachOwnedLastFirst(LightList, LightCount, [](NztLight* light) { light->Render(); });

    SwitchDepthTest(false);
    FramePassServices.drawSunHalo();
    // The camera matrix under the flares and bars, unless a 2-D matrix is already pushed; each of them
    // draws in pixels on a 2-D matrix of its own pushed over it and popped again.
    const bool pushed = rs.baseViewPushed == 0;
    if (pushed) {
        GlCore.PushMatrix();
        GlCore.LoadMatrixf(rs.cameraMatrix);
    }
    FramePassServices.drawLensFlares();
    FramePassServices.drawObjectBars();
    TestCameraBelowSurface();
    if (pushed) FramePassServices.popMatrix();

    SwitchDepthTest(true);
    SwitchDepthWrite(true);
    SwitchBlend(false);
}
