// Object motion actions: putting an object, the player, a game light or a trigger at a point or at
// another object, copying it there, hanging it on an attach point and taking it off again; and the
// matrix and animation helpers other actions share.
#include <algorithm>
#include <cmath>

#include "camera/camera.h"
#include "character/entity.h"
#include "collision/collide.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "effects/gamelight.h"
#include "effects/light.h"
#include "eventactions/eventactions.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/eventrecord.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "objects/triggers.h"

namespace {

// Scatter half-ranges and axis switches of the records.
constexpr int ScatterSlot = 6;
constexpr int AxisSwitchSlot = 10;

NztBaseObject* FindObject(int32_t kind, int32_t id) {
    return dynamic_cast<NztBaseObject*>(FindSceneObject(kind, id));
}

NztGameLight* GameLightAt(int32_t index) {
    if (index < 0 || static_cast<uint32_t>(index) >= GameLightCount || GameLightList == nullptr) return nullptr;
    return GameLightList[index];
}

// c + a random offset in [-v, v]; the draw is taken even for v = 0 only when asked.
float Scattered(float c, float v) {
    return c + (-v + 2.0f * v * NextObjectRandom());
}

// p scattered by the record's half-ranges; an axis with a zero half-range draws nothing.
void Scatter(const EventRecord& r, float p[3]) {
    for (int k = 0; k < 3; ++k) {
        const float v = r.ValueF(ScatterSlot + k);
        if (v != 0.0f) p[k] = Scattered(p[k], v);
    }
}

// The axes whose switch is zero keep the current coordinate.
void KeepUnswitched(const EventRecord& r, const float current[3], float p[3]) {
    for (int k = 0; k < 3; ++k)
        if (r.ValueF(AxisSwitchSlot + k) == 0.0f) p[k] = current[k];
}

void YawMatrix(int32_t yaw, float out[9]) {
    MatrixRotationY(out, yaw);
}

// A yaw in [-a, a] angle units, rounded.
int32_t RandomYaw(float a) {
    return RoundToInt(-a + 2.0f * a * NextObjectRandom());
}

void TakeOffParent(NztBaseObject* o) {
    if (o->parent == nullptr) return;
    o->parent->RemoveChild(o);
    o->parent = nullptr;
    o->parentPoint = 0;
    o->parentVertex = 0;
}

// The object to place: t itself put back into the world and off its parent, or a spawned copy.
// Null when t went away while it came back (its events may destroy it).
NztBaseObject* MoveOrCopy(NztBaseObject* t, bool copy, bool placeOriginalWhenNoCopy) {
    if (copy) {
        if (auto* clone = dynamic_cast<NztBaseObject*>(CloneEventObject(t))) {
            clone->destroyWhenDeactivated = 1;
            return clone;
        }
        return placeOriginalWhenNoCopy ? t : nullptr;
    }
    const uint32_t handle = EventObjectHandle(t);
    ActivateObject(t);
    t = dynamic_cast<NztBaseObject*>(ResolveEventObject(handle));
    if (t != nullptr) TakeOffParent(t);
    return t;
}

// A scene object with collision gets its volumes and the grid rebuilt where it now stands.
void RefreshCollision(NztBaseObject* t) {
    if (t == nullptr || t->kind != ObjectKindScn) return;
    auto* s = static_cast<NztScnObject*>(t);
    if (s->hasCollision == 0) return;
    s->SyncModelState();
    s->UpdateCollision();
    FreeCollideGrid();
    BuildCollideGrid();
}

void CameraFollowsPlayer(const NztBaseObject* t) {
    if (t == nullptr || t != PlayerEntity || CameraMode != 6) return;
    Vec3 p;
    if (GetCameraTargetPosition(&p)) MainCamera.SetPosition(p);
}

// A game light moved to p (unswitched axes kept); a spot light is aimed again.
void MoveGameLight(const EventRecord& r, NztGameLight* g, float p[3]) {
    NztLight* light = g->light;
    if (light == nullptr) return;
    KeepUnswitched(r, light->Position, p);
    light->followedObject = nullptr;
    light->followedPoint = 0;
    light->targetObject = nullptr;
    light->targetPoint = 0;
    std::copy(p, p + 3, light->Position);
    if (light->LightKind >= 5) {
        float d[3];
        for (int k = 0; k < 3; ++k) d[k] = light->Position[k] - light->TargetPosition[k];
        const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (len > 0.0f) {
            light->SetTargetDistance(len);
            for (int k = 0; k < 3; ++k) light->Direction[k] = d[k] * (1.0f / len);
        }
    }
}

void SetTriggerPosition(NztEventTrigger* trigger, const float p[3]) {
    std::copy(p, p + 3, trigger->Position);
    trigger->SetCarrier(nullptr, -1);
    trigger->UpdateBox();
}

// The rotation step of type 57 on a matrix the caller applies.
bool RotationFor(const EventRecord& r, const float own[9], const NztBaseObject* reference, float out[9]) {
    const float a = r.Value1;
    float yaw[9];
    YawMatrix(RoundToInt(a), yaw);
    if (r.Param == 0) {
        if (a == 0.0f) return false;
        MatrixMultiply3(yaw, out, own);
        return true;
    }
    if (r.Param == 1 && reference != nullptr) {
        if (a != 0.0f) {
            MatrixMultiply3(yaw, out, reference->rotation);
        } else {
            std::copy(reference->rotation, reference->rotation + 9, out);
        }
        return true;
    }
    return false;
}

}  // namespace

void Invert3x3(float m[9]) {
    const float c0 = m[4] * m[8] - m[5] * m[7];
    const float c3 = -(m[3] * m[8] - m[6] * m[5]);
    const float c6 = m[3] * m[7] - m[6] * m[4];
    const float det = m[0] * c0 + m[2] * c6 + m[1] * c3;
    const float k = 1.0f / det;
    const float out[9] = {k * c0,
                          -k * (m[1] * m[8] - m[2] * m[7]),
                          k * (m[1] * m[5] - m[2] * m[4]),
                          k * c3,
                          k * (m[0] * m[8] - m[6] * m[2]),
                          -k * (m[0] * m[5] - m[3] * m[2]),
                          k * c6,
                          -k * (m[0] * m[7] - m[6] * m[1]),
                          k * (m[0] * m[4] - m[3] * m[1])};
    std::copy(out, out + 9, m);
}

void SetRollMatrix(NztBaseObject* object, int32_t angle) {
    if (object == nullptr) return;
    const uint32_t a = static_cast<uint32_t>(angle) & 0xFFFu;
    object->roll = (object->roll & ~0xFFFu) | a;
    const float c = TableCos(static_cast<int32_t>(a)), s = TableSin(static_cast<int32_t>(a));
    const float m[9] = {c, s, 0.0f, -s, c, 0.0f, 0.0f, 0.0f, 1.0f};
    std::copy(m, m + 9, object->rotation);
}

void SetPitchMatrix(NztBaseObject* object, int32_t angle) {
    if (object == nullptr) return;
    const uint32_t a = static_cast<uint32_t>(angle) & 0xFFFu;
    object->packedAngles = (object->packedAngles & ~0xFFFu) | a;
    const float c = TableCos(static_cast<int32_t>(a)), s = TableSin(static_cast<int32_t>(a));
    const float m[9] = {1.0f, 0.0f, 0.0f, 0.0f, c, s, 0.0f, -s, c};
    std::copy(m, m + 9, object->rotation);
}

bool HasFreeAnimLayer(const NztBaseObject* object) {
    return object != nullptr && object->layers.size() > 3 && object->layers[3].Anim == nullptr;
}

void SetRandomAnimFrame(NztBaseObject* object) {
    // No animation, or one without frames, has no frame to choose.
    if (object == nullptr || object->currentAnim == nullptr) return;
    const int32_t n = static_cast<int32_t>(object->currentAnim->Frames.size());
    if (n <= 0) return;
    int32_t f = RoundToInt(static_cast<float>(n - 1) * NextJitterRandom());
    if (f >= n) f = n >= 2 ? f % (n - 1) : 0;
    if (f < 0) f = 0;
    const int32_t old = object->currentFrame;
    object->previousFrame = old;
    object->currentFrame = object->firstDueFrame = f;
    object->frameTime = static_cast<float>(f);
    object->frameUnchanged = old == f ? 1 : 0;
}

void MoveRotateObject(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    NztBaseObject* t = nullptr;
    if (r.TargetKind == ObjectKindScn || r.TargetKind == ObjectKindEntity) t = FindObject(r.TargetKind, r.TargetId);
    NztBaseObject* reference = nullptr;
    float p[3] = {0.0f, 0.0f, 0.0f};
    if (t != nullptr) std::copy(t->Position, t->Position + 3, p);
    if (r.Target2Kind == ObjectKindScn || r.Target2Kind == ObjectKindEntity) {
        reference = FindObject(r.Target2Kind, r.Target2Id);
        if (reference != nullptr) std::copy(reference->Position, reference->Position + 3, p);
    } else if (r.Target2Kind == ObjectKindGameLight) {
        if (NztGameLight* g = GameLightAt(r.Target2Id); g != nullptr && g->light != nullptr)
            std::copy(g->light->Position, g->light->Position + 3, p);
    } else if (r.Target2Kind == ObjectKindTrigger) {
        if (NztEventTrigger* tr = FindEventTrigger(r.Target2Id, ObjectKindTrigger))
            std::copy(tr->Position, tr->Position + 3, p);
    }
    Scatter(r, p);
    const uint32_t referenceHandle = EventObjectHandle(reference);

    if (t != nullptr) {
        KeepUnswitched(r, t->Position, p);
        t = MoveOrCopy(t, r.Param2 != 0, true);
        if (t == nullptr) return;
        t->SetPosition(p);
        CameraFollowsPlayer(t);
        reference = dynamic_cast<NztBaseObject*>(ResolveEventObject(referenceHandle));
        float m[9];
        if (RotationFor(r, t->rotation, reference, m)) t->SetRotation(m);
        RefreshCollision(t);
        return;
    }
    if (r.TargetKind == ObjectKindGameLight) {
        if (NztGameLight* g = GameLightAt(r.TargetId)) MoveGameLight(r, g, p);
    } else if (r.TargetKind == ObjectKindTrigger) {
        NztEventTrigger* trigger = FindEventTrigger(r.TargetId, ObjectKindTrigger);
        if (trigger == nullptr) return;
        KeepUnswitched(r, trigger->Position, p);
        const uint32_t handle = EventObjectHandle(trigger);
        ActivateTrigger(trigger);
        trigger = dynamic_cast<NztEventTrigger*>(ResolveEventObject(handle));
        if (trigger == nullptr) return;
        SetTriggerPosition(trigger, p);
        reference = dynamic_cast<NztBaseObject*>(ResolveEventObject(referenceHandle));
        float m[9];
        if (RotationFor(r, trigger->orientation, reference, m)) trigger->SetRotation(m, true);
    }
}

void PlacePlayer(EventRecord* record) {
    NztEntity* player = PlayerEntity;
    if (record == nullptr || player == nullptr) return;
    const EventRecord& r = *record;
    float p[3] = {r.ValueF(0), r.ValueF(1), r.ValueF(2)};
    Scatter(r, p);
    KeepUnswitched(r, player->Position, p);
    player->SetPosition(p);
    if (r.Value1 != 0.0f) {
        float m[9];
        YawMatrix(RandomYaw(r.Value1), m);
        player->SetRotation(m);
    }
    if (CameraMode == 6) {
        Vec3 eye;
        if (GetCameraTargetPosition(&eye)) MainCamera.SetPosition(eye);
    }
}

void SetObjectPosition(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    float p[3] = {r.ValueF(0), r.ValueF(1), r.ValueF(2)};
    Scatter(r, p);
    if (r.TargetKind == ObjectKindScn || r.TargetKind == ObjectKindEntity) {
        NztBaseObject* t = FindObject(r.TargetKind, r.TargetId);
        if (t == nullptr) return;
        KeepUnswitched(r, t->Position, p);
        t = MoveOrCopy(t, r.Param != 0, false);
        if (t == nullptr) return;
        t->SetPosition(p);
        if (r.Value1 != 0.0f) {
            float m[9];
            YawMatrix(RandomYaw(r.Value1), m);
            t->SetRotation(m);
        }
        RefreshCollision(t);
        CameraFollowsPlayer(t);
    } else if (r.TargetKind == ObjectKindGameLight) {
        if (NztGameLight* g = GameLightAt(r.TargetId)) MoveGameLight(r, g, p);
    } else if (r.TargetKind == ObjectKindTrigger) {
        NztEventTrigger* trigger = FindEventTrigger(r.TargetId, ObjectKindTrigger);
        if (trigger == nullptr) return;
        KeepUnswitched(r, trigger->Position, p);
        SetTriggerPosition(trigger, p);
        if (r.Value1 != 0.0f) {
            float m[9];
            YawMatrix(RandomYaw(r.Value1), m);
            trigger->SetRotation(m, true);
        }
    }
}

void AttachObject(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    NztBaseObject* parent = nullptr;
    if (r.Target2Kind == ObjectKindScn || r.Target2Kind == ObjectKindEntity) parent = FindObject(r.Target2Kind, r.Target2Id);
    if (parent == nullptr) return;
    const int32_t point = r.Param;
    const uint32_t parentHandle = EventObjectHandle(parent);
    auto validPoint = [&](const NztBaseObject* o) {
        return point >= 0 && static_cast<size_t>(point) < o->attachPoints.size();
    };
    if (r.TargetKind == ObjectKindScn || r.TargetKind == ObjectKindEntity) {
        NztBaseObject* child = FindObject(r.TargetKind, r.TargetId);
        if (child == nullptr) return;
        child = MoveOrCopy(child, r.Param2 != 0, false);
        parent = dynamic_cast<NztBaseObject*>(ResolveEventObject(parentHandle));
        if (child == nullptr || parent == nullptr || child == parent) return;
        if (validPoint(parent)) {
            NztBaseObject* held = parent->GetAttachedObject(point);
            if (held != nullptr && held != child && held->kind == ObjectKindScn) {
                const uint32_t heldHandle = EventObjectHandle(held);
                ActivateObject(held);
                held = dynamic_cast<NztBaseObject*>(ResolveEventObject(heldHandle));
                parent = dynamic_cast<NztBaseObject*>(ResolveEventObject(parentHandle));
                if (parent == nullptr) return;
                if (held != nullptr) {
                    held->MoveToObject(parent);
                    if (auto* s = dynamic_cast<NztScnObject*>(held); s != nullptr && s->hasCollision != 0) {
                        s->SyncModelState();
                        s->UpdateCollision();
                    }
                }
            }
        }
        child->AttachTo(parent, point, 4);
        if (auto* e = dynamic_cast<NztEntity*>(child)) {
            e->airborne = 0;
            e->ResetActions();
        } else if (auto* s = dynamic_cast<NztScnObject*>(child)) {
            s->poseState = 0;  // on a parent
            RefreshCollision(s);
        }
        return;
    }
    if (!validPoint(parent)) return;
    if (r.TargetKind == ObjectKindGameLight) {
        NztGameLight* g = GameLightAt(r.TargetId);
        if (g != nullptr && g->light != nullptr) {
            g->light->followedObject = parent;
            g->light->followedPoint = point;
        }
    } else if (r.TargetKind == ObjectKindTrigger) {
        if (NztEventTrigger* trigger = FindEventTrigger(r.TargetId, ObjectKindTrigger)) trigger->SetCarrier(parent, point);
    }
}

void DetachObject(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    NztBaseObject* reference = nullptr;
    if (r.Target2Kind == ObjectKindScn || r.Target2Kind == ObjectKindEntity) reference = FindObject(r.Target2Kind, r.Target2Id);
    const uint32_t referenceHandle = EventObjectHandle(reference);
    if (r.TargetKind == ObjectKindScn || r.TargetKind == ObjectKindEntity) {
        NztBaseObject* child = FindObject(r.TargetKind, r.TargetId);
        if (child == nullptr) return;
        if (r.Param2 != 0) {
            auto* clone = dynamic_cast<NztBaseObject*>(CloneEventObject(child));
            if (clone == nullptr) return;
            clone->destroyWhenDeactivated = 1;
            child = clone;
        } else {
            const uint32_t handle = EventObjectHandle(child);
            ActivateObject(child);
            child = dynamic_cast<NztBaseObject*>(ResolveEventObject(handle));
            if (child == nullptr) return;
        }
        reference = dynamic_cast<NztBaseObject*>(ResolveEventObject(referenceHandle));
        if (r.Param != 0) {
            child->Detach();
        } else if (reference != nullptr && reference->kind != ObjectKindEntity) {
            // Where it hangs now, as a free object.
            float p[3], m[9];
            std::copy(child->Position, child->Position + 3, p);
            std::copy(child->rotation, child->rotation + 9, m);
            child->Detach();
            child->SetPosition(p);
            child->SetRotation(m);
        } else {
            NztBaseObject* at = reference != nullptr ? reference : child->parent;
            if (at != nullptr) {
                child->MoveToObject(at);
            } else {
                child->Detach();
            }
        }
        if (auto* s = dynamic_cast<NztScnObject*>(child)) {
            if (s->poseState == 1) s->poseState = 2;
            RefreshCollision(s);
        }
        return;
    }
    if (r.TargetKind != ObjectKindTrigger) return;
    NztEventTrigger* trigger = FindEventTrigger(r.TargetId, ObjectKindTrigger);
    if (trigger == nullptr) return;
    if (r.Param != 0) {
        trigger->SetCarrier(nullptr, -1);
        return;
    }
    if (reference != nullptr && reference->kind != ObjectKindEntity) {
        const NztBaseObject* base = reference->parent != nullptr ? reference->parent : reference;
        SetTriggerPosition(trigger, base->Position);
        return;
    }
    NztBaseObject* who = reference != nullptr ? reference : PlayerEntity;
    if (who == nullptr) {
        trigger->SetCarrier(nullptr, -1);
        return;
    }
    const NztBaseObject* base = who->parent != nullptr ? who->parent : who;
    const auto* e = dynamic_cast<const NztEntity*>(who);
    const float ahead = e != nullptr ? EntityMoveExtent(e) : 0.0f;
    float p[3];
    for (int k = 0; k < 3; ++k) p[k] = base->Position[k] + who->rotation[6 + k] * ahead;
    SetTriggerPosition(trigger, p);
}
