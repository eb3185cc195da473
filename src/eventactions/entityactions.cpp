// Entity control actions: characters targeting each other, the switchboard over one scene object,
// character or game light, and the player mounting or leaving another character.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "camera/traject.h"
#include "character/entity.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "effects/gamelight.h"
#include "effects/light.h"
#include "effects/sky.h"
#include "eventactions/eventactions.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/eventrecord.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "objects/userprop.h"

namespace {

constexpr uint32_t EventTargetedBy = 29;
constexpr uint32_t EventTargetLeft = 30;
constexpr float DegreesToAngle = 11.377778f;
constexpr int32_t OrderGoToObject = 7;
constexpr uint32_t OrderClassGoTo = 4;

// Slots of the record's values that the switchboard reads.
enum : int { VecX = 0, VecY = 1, VecZ = 2, Extra = 3, Float4 = 4, Mode = 5, Mask = 6, Fourth = 10 };

template <size_t N>
void Terminated(const char (&text)[N], char (&out)[N]) {
    std::memcpy(out, text, N);
    out[N - 1] = '\0';
}

bool Masked(const EventRecord& r, int i) {
    return r.ValueF(Mask + i) != 0.0f;
}

// mode 0 sets, 1 adds, 2 multiplies; false for any other mode.
bool Apply(int32_t mode, float& field, float v) {
    switch (mode) {
    case 0: field = v; return true;
    case 1: field += v; return true;
    case 2: field *= v; return true;
    default: return false;
    }
}

void Scatter(NztBaseObject* o, const EventRecord& r) {
    float p[3];
    std::copy(o->Position, o->Position + 3, p);
    bool drew = false;
    for (int k = 0; k < 3; ++k) {
        const float v = r.ValueF(VecX + k);
        if (v == 0.0f) continue;
        p[k] += -v + 2.0f * v * NextObjectRandom();
        drew = true;
    }
    o->SetPosition(p);
    if (r.Value1 != 0.0f) {
        const float a = r.Value1;
        o->AddAngles(0.0f, static_cast<float>(RoundToInt(-a + 2.0f * a * NextObjectRandom())), 0.0f);
        drew = true;
    }
    if (drew && o->kind == ObjectKindScn) {
        auto* s = static_cast<NztScnObject*>(o);
        if (s->hasCollision != 0) s->collisionDirty = 1;
    }
}

// Orders and movement modes of a character (sub-code 10).
void OrdersAndModes(NztEntity* e, const EventRecord& r) {
    auto* other = dynamic_cast<NztBaseObject*>(FindSceneObject(r.Target2Kind, r.Target2Id));
    const uint32_t otherHandle = EventObjectHandle(other);
    NztBaseObject* oldTarget = e->target;
    const uint32_t oldHandle = EventObjectHandle(oldTarget);
    const uint32_t self = EventObjectHandle(e);
    const int32_t code = r.Param2;
    if (other != nullptr && other != e && other->kind == ObjectKindEntity) {
        const bool already = e->order == EntityOrderKeepOffset && oldTarget == other;
        e->SetTarget(other);
        if (code == EntityOrderKeepOffset && !already) {
            if (auto* o = dynamic_cast<NztEventObject*>(ResolveEventObject(otherHandle)))
                ObjectServices.sendEvent(o, EventTargetedBy, 0, 0, 0);
        }
    }
    // Events may have destroyed anything named so far.
    if (ResolveEventObject(self) != e) return;
    other = dynamic_cast<NztBaseObject*>(ResolveEventObject(otherHandle));
    if (oldHandle != 0 && e->order == EntityOrderKeepOffset && !(code == EntityOrderKeepOffset && other == oldTarget)) {
        if (NztEventObject* old = ResolveEventObject(oldHandle)) ObjectServices.sendEvent(old, EventTargetLeft, 0, 0, 0);
        if (ResolveEventObject(self) != e) return;
        other = dynamic_cast<NztBaseObject*>(ResolveEventObject(otherHandle));
    }
    switch (code) {
    case 9:
        if (e->canFly != 0) e->StartFly();
        return;
    case 10:
        if (e->canFly != 0) e->EndFly();
        return;
    case 11:
        if (e->CanStartSlide()) e->StartSlide();
        return;
    case 12:
        if (e->CanStartSlide()) e->EndSlide();
        return;
    case 13:
        if (e->CanStartDelta()) e->StartDelta();
        return;
    case 14:
        if (e->CanStartDelta()) e->EndDelta();
        return;
    case 15:
        if (e->CanStartPara()) e->StartPara();
        return;
    case 16:
        if (e->CanStartPara()) e->EndPara();
        return;
    case 17:
        if (e->permissions[1] != 0) e->airborne = 1;
        return;
    case 18:
        e->airborne = 0;
        return;
    default:
        break;
    }
    if (code == 8) {
        char name[256];
        Terminated(r.Text2, name);
        if (NztTraject* t = LoadTraject(name))
            e->SetTraject(t, r.ValueF(VecY) != 0.0f ? 1 : 0, r.ValueF(VecZ) != 0.0f ? 1 : 0,
                          r.ValueF(VecX) != 0.0f ? 1 : 0, r.ValueF(Fourth));
    }
    if (code == 5 && other != nullptr && other != e && other->kind == ObjectKindScn) {
        std::copy(other->Position, other->Position + 3, e->goalPoint);
        if (e->order != OrderGoToObject) {
            e->orderPending = 1;
            e->motionState = 0;
            e->order = OrderGoToObject;
            e->orderClass = OrderClassGoTo;
        }
        return;
    }
    e->goalPoint[0] = r.ValueF(VecX);
    e->goalPoint[1] = r.ValueF(VecY);
    e->goalPoint[2] = r.ValueF(VecZ);
    e->SetOrder(code);
}

void CopyRotation(NztBaseObject* o, const EventRecord& r) {
    auto* other = dynamic_cast<NztBaseObject*>(FindSceneObject(r.Target2Kind, r.Target2Id));
    if (other == nullptr) return;
    float m[9];
    std::copy(other->rotation, other->rotation + 9, m);
    if (r.Param2 == 1) Invert3x3(m);
    if (r.Value1 != 0.0f) {
        float yaw[9];
        MatrixRotationY(yaw, RoundToInt(r.Value1 * DegreesToAngle));
        MatrixMultiply3(m, m, yaw);
    }
    o->SetRotation(m);
    // A carried scene object is dropped where it stands.
    if (o->kind == ObjectKindScn && o->poseState == 1) o->poseState = 2;
}

void CollisionSwitch(NztBaseObject* o, const EventRecord& r) {
    auto* c = dynamic_cast<NztCollideObject*>(o);
    if (c == nullptr) return;
    const uint32_t meshCollides = c->collisionVertexCount != 0 ? 1 : 0;
    if (auto* e = dynamic_cast<NztEntity*>(o)) {
        if (r.Param2 == 0) {
            e->ResetControlState();
            e->hasCollision = 0;
        } else {
            e->probeShape = &e->probeBlock;
            e->hasCollision = meshCollides;
        }
        return;
    }
    c->hasCollision = r.Param2 != 0 ? meshCollides : 0;
}

void UserPropertyStep(NztBaseObject* o, const EventRecord& r) {
    UserProperty* p = o->GetUserProperty(r.Param2);
    if (p == nullptr) return;
    const int32_t mode = r.ValueI(Mode);
    if (mode != 0 && mode != 1) return;
    const bool add = mode == 1;
    if (Masked(r, 0)) {
        const auto v = static_cast<int32_t>(r.ValueF(Extra));
        p->intValue = add ? static_cast<int32_t>(static_cast<uint32_t>(p->intValue) + static_cast<uint32_t>(v)) : v;
    }
    if (Masked(r, 1)) p->floatValue = add ? p->floatValue + r.ValueF(Float4) : r.ValueF(Float4);
}

void Speeds(NztEntity* e, const EventRecord& r) {
    const int32_t mode = r.ValueI(Mode);
    if (mode < 0 || mode > 2) return;
    float* fields[3] = {&e->walkFactor, &e->runFactor, &e->sprintFactor};
    for (int k = 0; k < 3; ++k)
        if (Masked(r, k)) Apply(mode, *fields[k], r.ValueF(VecX + k));
    if (Masked(r, 3)) {
        Apply(mode, e->speedFactorTarget, r.ValueF(Fourth));
        // At once: the current factor takes the new target, whatever the mode.
        if (r.ValueF(Extra) != 0.0f) e->speedFactor = e->speedFactorTarget;
    }
}

void Sizes(NztEntity* e, const EventRecord& r) {
    const float v = r.Value1 * 10.0f;
    if (r.Param2 == 0) {
        e->SetSize(v);
        e->probeBlock.baseSize = v;
    } else if (r.Param2 >= 1 && r.Param2 <= 5) {
        e->radii[r.Param2 - 1] = v;
        e->radiiSquared[r.Param2 - 1] = v * v;
    } else if (r.Param2 == 6) {
        e->probeBlock.typeHeight = v;
    }
}

void Rates(NztEntity* e, const EventRecord& r) {
    const float v = r.Value1;
    switch (r.Param2) {
    case 0: e->drainRate = v; break;
    case 1: e->weight = std::max(v * 0.004f, 0.0001f); break;
    case 2: e->blendStep = std::clamp(v * 0.01f, 0.0f, 1.0f); break;
    case 3: e->facingFactor = std::clamp(v * 0.01f, 0.0f, 2.0f); break;
    case 4: e->groundSpeedSmoothing = std::clamp(v * 0.01f, 0.0f, 1.0f); break;
    case 5: e->airSpeedSmoothing = v * 0.01f; break;
    case 6: e->orderClockLimit = v; break;
    default: break;
    }
}

void KeepToTraject(NztEntity* e, const EventRecord& r) {
    char name[256];
    Terminated(r.Text, name);
    NztTraject* t = LoadTraject(name);
    e->traject = t;
    if (t != nullptr) {
        e->PushAction(MakeAction(&NztEntity::ActStayOnTraject));
    } else {
        e->RemoveAction(MakeAction(&NztEntity::ActStayOnTraject));
    }
}

void BaseSwitches(NztBaseObject* o, const EventRecord& r) {
    const uint32_t on = r.Value1 != 0.0f ? 1 : 0;
    switch (r.Param2) {
    case 0:
        if (auto* e = dynamic_cast<NztEntity*>(o)) e->hoverFlag = static_cast<uint8_t>(on);
        break;
    case 1: o->followDisplacement = static_cast<int32_t>(on); break;
    case 2: o->SetSize(r.Value1 * 10.0f); break;
    case 3: o->SetRange(r.Value1 * 10.0f); break;
    case 4: o->unlit = static_cast<int32_t>(on); break;
    case 5: o->twoSided = static_cast<int32_t>(on); break;
    default: break;
    }
}

void GameLightControl(const EventRecord& r) {
    if (r.TargetKind != ObjectKindGameLight || r.TargetId < 0 || static_cast<uint32_t>(r.TargetId) >= GameLightCount)
        return;
    NztGameLight* g = GameLightList[r.TargetId];
    if (g == nullptr) return;
    switch (r.Param) {
    case 0:
    case 2:
    case 3:
    case 4:
        if (g->light != nullptr) {
            NztControllerKey key;
            key.kind = r.Param;
            key.duration = r.ValueF(Extra);
            for (int k = 0; k < 3; ++k) key.vector[k] = r.ValueF(VecX + k);
            g->light->AddKey(&key);
        }
        break;
    case 6:
    case 8:
        if (g->light != nullptr) {
            g->light->Active = 0;
            DeactivateLight(g->light);
        }
        break;
    case 7:
    case 9:
        g->UpdateDistance();
        break;
    default:
        break;
    }
}

}  // namespace

void SetEntityTargetAction(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    NztEventObject* source = FindSceneObject(r.Target2Kind, r.Target2Id);
    if (source == nullptr) return;
    const uint32_t sourceHandle = EventObjectHandle(source);
    NztEntity* target = r.TargetKind == ObjectKindEntity ? FindEntityById(r.TargetId) : nullptr;
    const uint32_t targetHandle = EventObjectHandle(target);
    if (auto* s = dynamic_cast<NztEntity*>(source)) s->SetTarget(target);
    // The target events may have destroyed either.
    target = dynamic_cast<NztEntity*>(ResolveEventObject(targetHandle));
    source = ResolveEventObject(sourceHandle);
    if (target != nullptr && source != nullptr && r.Param != 0)
        target->SetTarget(dynamic_cast<NztBaseObject*>(source));
}

void ObjectControlAction(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    auto* o = dynamic_cast<NztBaseObject*>(FindSceneObject(r.TargetKind, r.TargetId));
    if (o == nullptr) {
        GameLightControl(r);
        return;
    }
    auto* e = dynamic_cast<NztEntity*>(o);
    const bool inWorld = o->registered != 0;
    if (r.Param > 27) return;
    switch (r.Param) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
        if (inWorld) {
            NztControllerKey key;
            key.kind = static_cast<uint32_t>(r.Param);
            key.duration = r.ValueF(Extra);
            for (int k = 0; k < 3; ++k) key.vector[k] = r.ValueF(VecX + k);
            o->AddKey(&key);
        }
        break;
    case 5: o->ClearKeys(); break;
    case 6: o->shown = 0; break;
    case 7: o->shown = 1; break;
    case 8:
        if (inWorld) DeactivateObject(o);
        break;
    case 9:
        if (!inWorld) {
            const uint32_t handle = EventObjectHandle(o);
            ActivateObject(o);
            if (auto* back = dynamic_cast<NztBaseObject*>(ResolveEventObject(handle))) Scatter(back, r);
        }
        break;
    case 10:
        if (inWorld && e != nullptr) OrdersAndModes(e, r);
        break;
    case 11:
        if (inWorld && e != nullptr) e->ResetActions();
        break;
    case 12:
        if (inWorld) CopyRotation(o, r);
        break;
    case 13:
        if (inWorld) CollisionSwitch(o, r);
        break;
    case 14:
        if (inWorld) {
            if (auto* c = dynamic_cast<NztCollideObject*>(o)) c->SetGroundQuad(r.Value1);
            char name[256];
            Terminated(r.Text2, name);
            if (o->mesh != nullptr) LoadMapTexture(o->mesh, name);
        }
        break;
    case 15:
        if (inWorld && o->kind == ObjectKindScn) {
            auto* s = static_cast<NztScnObject*>(o);
            if (r.Param2 != 0) s->rotationDirty = 1; else s->RefreshRotation();
        }
        break;
    case 16:
        // The user value is the object's first word.
        if (r.Param2 == 0) o->word0 = RoundToInt(r.Value1);
        if (r.Param2 == 1) o->word0 = RandomInt(RoundToInt(r.Value1));
        break;
    case 17:
        if (inWorld) UserPropertyStep(o, r);
        break;
    case 18:
        if (inWorld && e != nullptr) Speeds(e, r);
        break;
    case 19:
        if (inWorld && e != nullptr) {
            e->radii[0] = r.Value1;
            e->radiiSquared[0] = r.Value1 * r.Value1;
        }
        break;
    case 20:
        if (inWorld && e != nullptr) e->barSwitch = r.Param2 != 0 ? 1 : 0;
        break;
    case 21:
        if (o->mesh != nullptr) {
            char name[256];
            Terminated(r.Text2, name);
            ReplaceMeshTexture(static_cast<uint32_t>(r.ValueI(Mode)), o->mesh, static_cast<uint32_t>(r.ValueF(Extra)),
                               name, Masked(r, 0) ? 1 : 0, Masked(r, 1) ? 1 : 0, Masked(r, 2) ? 1 : 0);
        }
        break;
    case 22:
        if (e != nullptr) Sizes(e, r);
        break;
    case 23:
        if (e != nullptr) Rates(e, r);
        break;
    case 24:
        for (int k = 0; k < 3; ++k) o->axisLocks[k] = Masked(r, k) ? 1 : 0;
        break;
    case 25:
        o->watchSwitch = r.Param2 != 0 ? 1 : 0;
        break;
    case 26:
        if (e != nullptr) KeepToTraject(e, r);
        break;
    case 27:
        BaseSwitches(o, r);
        break;
    default:
        break;
    }
}

void MountDismountAction(EventRecord* record) {
    NztEntity* player = PlayerEntity;
    if (record == nullptr || player == nullptr) return;
    const EventRecord& r = *record;
    if (r.Param == 1) {
        if (player->riddenEntity != nullptr) player->Dismount();
        return;
    }
    if (r.Param != 0 || player->riddenEntity != nullptr || r.TargetId == -1) return;
    NztEntity* ridden = nullptr;
    for (uint32_t i = EntityCount; i-- > 0;) {
        if (EntityList[i] != nullptr && EntityList[i]->id == r.TargetId) {
            ridden = EntityList[i];
            break;
        }
    }
    if (ridden == nullptr || ridden == player) return;
    const int64_t given = r.Param2 != 0 ? r.Param2 : static_cast<int64_t>(ridden->attachPoints.size());
    const int32_t slot = static_cast<int32_t>(std::max<int64_t>(given - 1, 0));
    if (static_cast<size_t>(slot) < ridden->attachPoints.size() &&
        dynamic_cast<NztEntity*>(ridden->GetAttachedObject(slot)) != nullptr)
        return;
    player->Mount(ridden, slot);
}
