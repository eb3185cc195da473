#include "objects/registry.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "core/frameclock.h"
#include "core/paths.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/charlinks.h"
#include "objects/events.h"
#include "objects/objtype.h"
#include "objects/triggers.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/texture.h"

ObjectList ObjectRegistry;
ObjectList EntityRegistry;
ObjectList ScnObjectRegistry;
ObjectList CollideObjectRegistry;
ObjectList DynObjectRegistry;
ObjectList SfxRegistry;
ObjectList TrailRegistry;
ObjectList ThunderRegistry;
ObjectList TriggerRegistry;
ObjectList NearLightRegistry;
uint32_t EntityRegistryChanges = 0;

float CameraBelowSurfaceDepth = 0.0f;
ScreenImageState ScreenImage;

namespace {

struct ListWithStep {
    ObjectList* list;
    int32_t step;
};
const ListWithStep AllLists[] = {
    {&ObjectRegistry, MasterListStep},  {&EntityRegistry, KindListStep},
    {&ScnObjectRegistry, KindListStep}, {&CollideObjectRegistry, KindListStep},
    {&DynObjectRegistry, KindListStep}, {&SfxRegistry, KindListStep},
    {&TrailRegistry, KindListStep},     {&ThunderRegistry, KindListStep},
    {&TriggerRegistry, KindListStep},   {&NearLightRegistry, KindListStep},
};

// The array becomes `capacity` pointers, the entries kept and every other slot null.
void Reallocate(ObjectList& list, int32_t capacity) {
    auto** objects = new NztBase3D*[static_cast<size_t>(capacity)]();
    if (list.objects != nullptr) std::copy(list.objects, list.objects + list.count, objects);
    delete[] list.objects;
    list.objects = objects;
    list.capacity = capacity;
}

void Append(ObjectList& list, NztBase3D* object, int32_t step) {
    // A list appended to before AllocObjectLists gets its array here rather than writing through null.
    if (list.objects == nullptr || list.count >= list.capacity) Reallocate(list, list.count + step);
    list.objects[list.count++] = object;
    if (list.count == list.capacity) Reallocate(list, list.count + step);
}

// 1 when found (searched from the last entry) and removed; the entries above move down one place.
uint32_t Remove(ObjectList& list, const NztBase3D* object) {
    for (int32_t i = list.count - 1; i >= 0; --i) {
        if (list.objects[i] != object) continue;
        std::copy(list.objects + i + 1, list.objects + list.count, list.objects + i);
        list.objects[--list.count] = nullptr;
        return 1;
    }
    return 0;
}

void ReleaseScreenImageTexture() {
    if (ScreenImage.params.texture != 0) ReleaseTexture(ScreenImage.params.texture);
    ScreenImage.params.texture = 0;
}

uint32_t LoadScreenPicture(const char* name) {
    char path[300];
    if (!IsPlainName(name) || !FormatPath(path, sizeof path, "MAPS/%s.Img", name)) {
        std::fprintf(stderr, "overlay: picture name \"%s\" is not a plain name\n", name);
        return 0;
    }
    return LoadTexture(path, 1, 0);
}

// What the pick queries see: the camera of the render state, in the terms of the mesh picking
// (rows right, up, forward; y counted upwards; the eye looking along -z of the GL camera matrix).
MeshPickView PickViewFromRenderState() {
    const NztRenderState& rs = RenderState;
    const float* m = rs.cameraMatrix;
    MeshPickView view;
    view.Eye = {rs.cameraPosition[0], rs.cameraPosition[1], rs.cameraPosition[2]};
    const float rows[9] = {m[0], m[4], m[8], m[1], m[5], m[9], -m[2], -m[6], -m[10]};
    std::copy(rows, rows + 9, view.Rotation);
    view.Focal = rs.focalLength;
    view.CentreX = rs.viewportX + rs.halfViewportWidth;
    view.CentreY = rs.viewportY + rs.halfViewportHeight;
    return view;
}

struct PickResult {
    NztBaseObject* object = nullptr;
    MeshPickHit hit;
};

// The nearest object under the point among the entities, then the scene objects, that are in view,
// shown and accepted by keep: the box test first, then the triangles of its posed mesh. A hit at a
// negative distance never counts; a later hit replaces an earlier one only when strictly nearer.
template <typename Keep>
PickResult PickNearest(int32_t x, int32_t y, const MeshPickView& view, Keep&& keep) {
    PickResult best;
    auto consider = [&](NztBaseObject* object) {
        if (object->visible == 0 || object->shown == 0 || object->mesh == nullptr || !keep(object)) return;
        if (object->PickTest(x, y, nullptr) == 0) return;
        object->BindRenderData();
        MeshPickHit hit;
        if (PickMeshTriangle(object->mesh, view, static_cast<float>(x), static_cast<float>(y), &hit) < 0)
            return;
        if (!(hit.Depth >= 0.0f)) return;
        if (best.object == nullptr || hit.Depth < best.hit.Depth) best = {object, hit};
    };
    ForEachLastFirst<NztCollideObject>(EntityRegistry, consider);
    ForEachLastFirst<NztScnObject>(ScnObjectRegistry, consider);
    return best;
}

float DistanceSq(const float a[3], const float b[3]) {
    const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lists

void ClearObjectLists() {
    ++EntityRegistryChanges;
    for (const ListWithStep& l : AllLists) *l.list = ObjectList{};
    ScreenImage = ScreenImageState{};
    CameraBelowSurfaceDepth = 0.0f;
}

void AllocObjectLists() {
    ++EntityRegistryChanges;
    for (const ListWithStep& l : AllLists) {
        delete[] l.list->objects;
        *l.list = ObjectList{};
        Reallocate(*l.list, l.step);
    }
}

void FreeObjectLists() {
    ReleaseScreenImageTexture();
    ++EntityRegistryChanges;
    for (const ListWithStep& l : AllLists) {
        delete[] l.list->objects;
        *l.list = ObjectList{};
    }
}

uint32_t RegisterObject(NztBase3D* object) {
    if (object == nullptr || object->registered != 0) return 0;
    object->registered = 1;
    Append(ObjectRegistry, object, MasterListStep);
    return 1;
}

uint32_t UnregisterObject(NztBase3D* object) {
    if (object == nullptr || object->registered == 0) return 0;
    object->registered = 0;
    return Remove(ObjectRegistry, object);
}

uint32_t RegisterInKind(NztBase3D* object, ObjectList& kindList) {
    if (RegisterObject(object) == 0) return 0;
    Append(kindList, object, KindListStep);
    return 1;
}

uint32_t UnregisterFromKind(NztBase3D* object, ObjectList& kindList) {
    if (UnregisterObject(object) == 0) return 0;
    return Remove(kindList, object);
}

uint32_t RegisterOwn(NztBase3D* object, ObjectList& list) {
    if (object == nullptr || object->registered != 0) return 0;
    object->registered = 1;
    Append(list, object, KindListStep);
    return 1;
}

uint32_t UnregisterOwn(NztBase3D* object, ObjectList& list) {
    if (object == nullptr || object->registered == 0) return 0;
    object->registered = 0;
    return Remove(list, object);
}

uint32_t RegisterEntity(NztCollideObject* object) {
    ++EntityRegistryChanges;
    return RegisterInKind(object, EntityRegistry);
}
uint32_t RegisterScnObject(NztScnObject* object) {
    return RegisterInKind(object, ScnObjectRegistry);
}
uint32_t RegisterCollideObject(NztCollideObject* object) {
    return RegisterInKind(object, CollideObjectRegistry);
}

uint32_t UnregisterEntity(NztCollideObject* object) {
    ++EntityRegistryChanges;
    return UnregisterFromKind(object, EntityRegistry);
}
uint32_t UnregisterScnObject(NztScnObject* object) {
    return UnregisterFromKind(object, ScnObjectRegistry);
}
uint32_t UnregisterCollideObject(NztCollideObject* object) {
    return UnregisterFromKind(object, CollideObjectRegistry);
}

uint32_t RegisterTrigger(NztEventTrigger* object) {
    return RegisterOwn(object, TriggerRegistry);
}
uint32_t UnregisterTrigger(NztEventTrigger* object) {
    return UnregisterOwn(object, TriggerRegistry);
}

uint32_t RegisterObjectByType(NztBase3D* object) {
    if (object == nullptr) return 0;
    switch (object->kind) {
        case ObjectKindCollide:
            return RegisterCollideObject(static_cast<NztCollideObject*>(object));
        case ObjectKindScn:
            return RegisterScnObject(static_cast<NztScnObject*>(object));
        case ObjectKindEntity:
            return RegisterEntity(static_cast<NztCollideObject*>(object));
        case ObjectKindDyn:
            return RegisterInKind(object, DynObjectRegistry);
        default:
            return 0;
    }
}

uint32_t UnregisterObjectByType(NztBase3D* object) {
    if (object == nullptr) return 0;
    switch (object->kind) {
        case ObjectKindCollide:
            return UnregisterCollideObject(static_cast<NztCollideObject*>(object));
        case ObjectKindScn:
            return UnregisterScnObject(static_cast<NztScnObject*>(object));
        case ObjectKindEntity:
            return UnregisterEntity(static_cast<NztCollideObject*>(object));
        case ObjectKindDyn:
            return UnregisterFromKind(object, DynObjectRegistry);
        default:
            return 0;
    }
}

void DepthWriteOff() {
    SwitchDepthTest(false);
    SwitchDepthWrite(false);
}

void DepthWriteOn() {
    SwitchDepthTest(true);
    SwitchDepthWrite(true);
}

// ---------------------------------------------------------------------------------------------
// Picture overlay

void ShowScreenImage(const ScreenImageParams* params) {
    ScreenImageState& s = ScreenImage;
    if (params == nullptr) {
        if (s.state == ScreenImageShown && s.params.fadeTime != 0.0f) {
            s.state = ScreenImageFadingOut;  // the picture stays for the fade out
            s.params.elapsed = 0.0f;
        } else {
            s.state = ScreenImageOff;
            ReleaseScreenImageTexture();
        }
        return;
    }
    const uint32_t kept = s.params.texture;
    const uint32_t previous = s.state;
    s.params = *params;
    s.params.pictureName[sizeof s.params.pictureName - 1] = '\0';
    s.params.texture = 0;
    if (params->show != 0)
        s.state = ScreenImageShown;
    else if (previous == ScreenImageShown && s.params.fadeTime != 0.0f)
        s.state = ScreenImageFadingOut;
    else
        s.state = ScreenImageOff;
    s.layer = s.params.layer;
    // The new picture is loaded before the old one is released, so that the same picture is
    // never read again.
    if (s.state != ScreenImageOff && s.params.pictureName[0] != '\0')
        s.params.texture = LoadScreenPicture(s.params.pictureName);
    if (kept != 0) ReleaseTexture(kept);
    s.params.elapsed = 0.0f;
}

void DrawScreenImage(uint32_t layer) {
    ScreenImageState& s = ScreenImage;
    if (s.state == ScreenImageOff || s.layer != layer) return;
    ScreenImageParams& p = s.params;
    float color[4] = {p.color[0], p.color[1], p.color[2], p.color[3]};
    const float total = p.fadeTime;
    const float m = p.minFactor;
    if (total != 0.0f && p.elapsed < total) {
        float factor = 1.0f;
        if (s.state == ScreenImageShown) {
            p.elapsed = std::min(p.elapsed + FrameTiming.frameTime, total);
            factor = m + (1.0f - m) * p.elapsed / total;
        } else {
            p.elapsed += FrameTiming.frameTime;
            if (p.elapsed >= total) {
                ReleaseScreenImageTexture();
                s.state = ScreenImageOff;
                return;
            }
            factor = m + (1.0f - m) * (1.0f - p.elapsed / total);
        }
        for (float& c : color) c *= factor;
    }

    NztRenderState& rs = RenderState;
    const float w = rs.halfViewportWidth;
    const float h = rs.halfViewportHeight;
    DepthWriteOff();
    SwitchBlend(true);
    SetBlendMode(p.blendMode);
    if (p.texture != 0) {
        SwitchTexture2D(true);
        SetTextureCached(p.texture);
        BeginPrimitive(rs, 7);
    } else {
        BeginPrimitive(rs, 5);
    }
    glColor4f(color[0], color[1], color[2], color[3]);
    static constexpr float Corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    static constexpr float TexCoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        if (p.texture != 0) glTexCoord2f(TexCoords[i][0], TexCoords[i][1]);
        glVertex3f(Corners[i][0] * w, Corners[i][1] * h, 1.0f);
    }
    glEnd();
    rs.primitiveKind = 0;
    DepthWriteOn();
}

// ---------------------------------------------------------------------------------------------
// Picking

NztEventObject* PickEntityOnRay(int32_t x, int32_t y) {
    const MeshPickView view = PickViewFromRenderState();
    const PickResult best =
        PickNearest(x, y, view, [](const NztBaseObject* o) { return o->eventRecordCount > 0; });
    if (best.object == nullptr) return nullptr;
    // The mesh is shared: the winner's buffers are bound again for the hit point.
    best.object->BindRenderData();
    Vec3 point;
    if (!PickMeshHitPoint(best.object->mesh, view, best.hit.Material, best.hit.Triangle,
                          static_cast<float>(x), static_cast<float>(y), &point))
        return nullptr;
    const NztCollideObject* player = CharacterObject(PlayerEntity);
    if (player == nullptr) return nullptr;
    if (player->PickReach() == 0.0f) return best.object;
    const float p[3] = {point.x, point.y, point.z};
    return player->PickReach() >= DistanceSq(player->Position, p) ? best.object : nullptr;
}

NztEventObject* PickEntityOnRayInReach(int32_t x, int32_t y) {
    const MeshPickView view = PickViewFromRenderState();
    const NztCollideObject* player = CharacterObject(PlayerEntity);
    const bool limited = player != nullptr && player->HoverRadius() != 0.0f;
    const PickResult best = PickNearest(x, y, view, [&](const NztBaseObject* o) {
        if (o->hoverFlag == 0) return false;
        if (!limited) return true;
        float reach = player->HoverRadius();
        if (o->kind == ObjectKindEntity)
            reach += o->HoverRadius();
        else
            reach += o->mesh->CoreRadius;
        return DistanceSq(o->Position, player->Position) <= reach * reach;
    });
    return best.object;
}
