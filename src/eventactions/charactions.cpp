// Life, control, animation, spell, effect, trail and facing actions of characters and scene
// objects.
#include <algorithm>
#include <cstring>

#include "camera/camera.h"
#include "character/entity.h"
#include "character/objeffects.h"
#include "character/spell.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "effects/dynobject.h"
#include "effects/gamelight.h"
#include "effects/light.h"
#include "effects/trail.h"
#include "eventactions/eventactions.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/actions.h"
#include "objects/base3d.h"
#include "objects/eventrecord.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "objects/registry.h"

namespace {

// The scene object or character the record names; null unless registered when asked.
NztBaseObject* Target(const EventRecord& r, bool mustBeRegistered = true) {
    auto* o = dynamic_cast<NztBaseObject*>(FindSceneObject(r.TargetKind, r.TargetId));
    if (o == nullptr || (mustBeRegistered && o->registered == 0)) return nullptr;
    return o;
}

NztEntity* TargetCharacter(const EventRecord& r) {
    if (r.TargetKind != ObjectKindEntity) return nullptr;
    NztEntity* e = FindEntityById(r.TargetId);
    return e != nullptr && e->registered != 0 ? e : nullptr;
}

// The name text of a record, terminated whatever the record holds.
template <size_t N>
const char* Name(const char (&text)[N], char (&buffer)[N]) {
    std::memcpy(buffer, text, N);
    buffer[N - 1] = '\0';
    return buffer;
}

// The scene object's animation from the file named: shared by name, loaded on first use.
// Slot `slot` of a scene object's type loaded from the named file; the object plays from its
// type's table, so a saved scene names what it plays. A table grows no further than the names.
NztAnim* ObjectAnimFile(NztBaseObject* o, const EventRecord& r, int32_t slot, const char* name) {
    if (r.Extra > 0) o->ResizeAnimSlots(std::min(static_cast<uint32_t>(r.Extra), AnimNameCount));
    if (o->mesh == nullptr) return nullptr;
    if (o->mesh->TypeIndex == NoObjectType) return LoadAnimFile(name);  // a mesh of no type
    if (slot < 0 || static_cast<uint32_t>(slot) >= AnimNameCount) return nullptr;
    NztAnim* a = LoadObjectAnim(static_cast<uint32_t>(slot), o->mesh->TypeIndex, name);
    o->animSlots = o->mesh->AnimSlots.data();
    // An animated model with collision keeps its volumes in step with the new animation.
    if (a != nullptr && o->kind == ObjectKindScn && static_cast<NztScnObject*>(o)->hasCollision != 0)
        static_cast<NztScnObject*>(o)->collisionDirty = 1;
    return a;
}

// The maximum alone changes (never below 0); the life stays, within the new maximum.
void SetMaximumOnly(NztEntity* e, float maximum) {
    e->maxLife = std::max(maximum, 0.0f);
    e->invMaxLife = e->maxLife > 0.0f ? 1.0f / e->maxLife : 0.0f;
    e->life = std::min(e->life, e->maxLife);
}

void TurnToward(NztBaseObject* o, const float p[3]) {
    if (o->kind == ObjectKindScn) {
        o->LookAt(p);
        auto* s = static_cast<NztScnObject*>(o);
        if (s->poseState == 1) s->poseState = 2;
        if (s->hasCollision != 0) {
            s->SyncModelState();
            s->UpdateCollision();
        }
    } else {
        o->TurnTowards(p);
    }
    if (o == PlayerEntity && CameraMode == 6) {
        MainCamera.LookAt(Vec3{p[0], p[1], p[2]});
        MainCamera.UpdateMatrix();
    }
}

}  // namespace

void SetEntityLifeAction(EventRecord* record) {
    if (record == nullptr) return;
    NztEntity* e = TargetCharacter(*record);
    if (e == nullptr) return;
    const float v = record->Value1;
    const bool maximum = record->Param2 != 0;
    switch (record->Param) {
    case 0:
        if (maximum) e->SetMaxLife(v); else e->SetLife(v);
        break;
    case 1:
        if (maximum) SetMaximumOnly(e, e->maxLife + v); else e->AddLife(v);
        break;
    case 2:
        if (maximum) SetMaximumOnly(e, e->maxLife - v); else e->Damage(v);
        break;
    case 3:
        if (maximum) SetMaximumOnly(e, e->maxLife * v); else e->SetLife(e->life * v);
        break;
    default:
        break;
    }
}

void SetPlayerControlAction(EventRecord* record) {
    NztEntity* p = PlayerEntity;
    if (record == nullptr || p == nullptr) return;
    uint32_t on;
    if (record->Param == 0) {
        on = 1;
    } else if (record->Param == 1) {
        on = 0;
    } else {
        return;
    }
    p->inputDriven = p->animStateMachine = on;
    if (p->riddenEntity != nullptr) p->riddenEntity->steeredByRider = on;
}

void SetPlayerStanceAction(EventRecord* record) {
    if (record != nullptr && PlayerEntity != nullptr) PlayerEntity->stance = static_cast<uint32_t>(record->Param);
}

void SetPlayerFlagAction(EventRecord* record) {
    if (record != nullptr && PlayerEntity != nullptr) PlayerEntity->playerFlag = record->Param == 0 ? 1 : 0;
}

void SetPlayerTurnFactorAction(EventRecord* record) {
    if (record != nullptr && PlayerEntity != nullptr) PlayerEntity->turnFactor = record->Value1;
}

void SetPlayerAbilityAction(EventRecord* record) {
    NztEntity* p = PlayerEntity;
    if (record == nullptr || p == nullptr) return;
    const uint32_t on = record->Param2 == 0 ? 1 : 0;
    switch (record->Param) {
    case 0: p->permissions[1] = on; break;
    case 1: p->permissions[2] = on; break;
    case 2: p->permissions[0] = on; break;
    case 3: p->canDive = on; break;
    case 4: p->canHang = on; break;
    case 5: p->canSlide = on; break;
    case 6: p->canHangGlide = on; break;
    case 7: p->canParachute = on; break;
    case 8:
    case 9: {
        // Flying and swimming need a skeleton.
        const uint32_t value = on != 0 && p->mesh != nullptr && p->mesh->BoneCount > 1 ? 1 : 0;
        if (record->Param == 8) p->canFly = value; else p->canSwim = value;
        break;
    }
    case 10: p->fallDownOnLongJump = on; break;
    case 11: p->canJump = on; break;
    default: break;
    }
}

void PlayEntityAnimationAction(EventRecord* record) {
    NztEntity* p = PlayerEntity;
    if (record == nullptr || p == nullptr) return;
    char name[256];
    NztAnim* a = p->GetAnimByName(Name(record->ParamName, name));
    switch (record->Param) {
    case 0: p->SetAnim(a, 1, nullptr, 0); break;
    case 1: p->BlendToAnim(a, 1, nullptr, 0); break;
    case 2: p->SetAnim(a, 0, nullptr, 0); break;
    default: p->BlendToAnim(a, 0, nullptr, 0); break;
    }
}

void SetGaitAction(EventRecord* record) {
    NztEntity* p = PlayerEntity;
    if (record == nullptr || p == nullptr) return;
    NztEntity* e = p->riddenEntity != nullptr ? p->riddenEntity : p;
    e->gait = static_cast<uint8_t>(record->Param & 0xFF);
}

void PlayObjectAnimationAction(EventRecord* record) {
    if (record == nullptr) return;
    NztBaseObject* o = Target(*record);
    if (o == nullptr) return;
    char name[256];
    Name(record->ParamName, name);
    auto* e = dynamic_cast<NztEntity*>(o);
    const int32_t mode = record->Param2;
    if (mode >= 0 && mode <= 2) {
        const int32_t locked = record->Value1 != 0.0f ? 1 : 0;
        if (e != nullptr) {
            e->SetAnim(e->GetAnimByName(name), locked, nullptr, 0);
        } else {
            NztAnim* a = ObjectAnimFile(o, *record, record->Param, name);
            if (a == nullptr) return;
            o->SetAnim(a, locked, nullptr, 0);
        }
        if (mode == 1) o->SetAnimFrame(RoundToInt(record->Value2));
        if (mode == 2) SetRandomAnimFrame(o);
    } else if (mode == 3) {
        if (!HasFreeAnimLayer(o)) return;
        NztAnim* a = e != nullptr ? e->GetAnimByName(name) : ObjectAnimFile(o, *record, record->Param, name);
        if (a != nullptr) o->SetAnimLayer(3, a, 0, 1.0f, 1, 1.0f, 0, 0);
    } else if (mode == 4 && e != nullptr) {
        // The blend layer over the upper body.
        if (NztAnim* a = e->GetAnimByName(name)) e->SetAnimLayer(1, a, 2, 1.0f, 0, 1.0f, 0, 1);
    } else if (mode == 5 && e != nullptr && e->layers.size() > 1) {
        e->SetAnimLayer(1, nullptr, 0, 0.0f, 0, 0.0f, 0, 0);
    }
}

void PlayAnimationSequenceAction(EventRecord* record) {
    if (record == nullptr) return;
    NztBaseObject* o = Target(*record);
    if (o == nullptr) return;
    char first[256], second[256];
    Name(record->ParamName, first);
    Name(record->Text, second);
    if (auto* e = dynamic_cast<NztEntity*>(o)) {
        e->SetAnim(e->GetAnimByName(first), 1, e->GetAnimByName(second), 0);
        return;
    }
    NztAnim* a = ObjectAnimFile(o, *record, record->Param, first);
    NztAnim* b = a != nullptr ? ObjectAnimFile(o, *record, record->Param2, second) : nullptr;
    if (a != nullptr) o->SetAnim(a, 1, b, 0);
}

void LoadEntityAnimationFileAction(EventRecord* record) {
    if (record == nullptr || record->TargetKind != ObjectKindEntity) return;
    NztEntity* e = FindEntityById(record->TargetId);
    if (e == nullptr) return;
    char slot[256], file[256];
    NztAnim* a = e->LoadAnimFileByName(Name(record->ParamName, slot), Name(record->Text, file));
    if (a != nullptr) RestartAnimOnEntities(a);
}

void ShowScreenImageAction(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    ScreenImageParams p;
    p.show = r.Param == 0 ? 1 : 0;
    p.layer = r.ValueF(0) != 0.0f ? 1 : 0;
    p.spare = r.Values[3];
    p.fadeTime = r.ValueF(4);
    for (int k = 0; k < 4; ++k) p.color[k] = r.ValueF(6 + k);
    p.minFactor = r.ValueF(10);
    p.blendMode = static_cast<uint32_t>(r.ValueI(5));
    if (r.Param2 != 0) {
        char name[256];
        Name(r.Text, name);
        std::memcpy(p.pictureName, name, sizeof p.pictureName);
    }
    ShowScreenImage(&p);
}

void CastSpellOnObjectAction(EventRecord* record) {
    if (record == nullptr) return;
    if (NztBaseObject* o = Target(*record)) CastSpellAndRun(record->Param, o, record->Param2, nullptr);
}

void ResetObjectEffectsAction(EventRecord* record) {
    if (record == nullptr) return;
    NztBaseObject* o = Target(*record);
    if (o == nullptr) return;
    if (record->Param != 0) {
        o->RemoveAttachedEffects();
    } else {
        o->SetupParts();
    }
}

void CastSpellAtPointAction(EventRecord* record) {
    if (record == nullptr || SpellCaster == nullptr) return;
    const EventRecord& r = *record;
    float p[3] = {r.ValueF(0), r.ValueF(1), r.ValueF(2)};
    for (int k = 0; k < 3; ++k) {
        const float v = r.ValueF(6 + k);
        if (v != 0.0f) p[k] += -v + 2.0f * v * NextObjectRandom();
    }
    // The stand-by caster stands where it casts, so that every effect starts there.
    SpellCaster->SetPosition(p);
    CastSpellAndRun(r.Param, SpellCaster, r.Param2, p);
}

void SetSpellSoundAction(EventRecord* record) {
    if (record == nullptr) return;
    const int32_t i = RoundToInt(record->Value1);
    if (i < 0 || static_cast<size_t>(i) >= Spells.templates.size()) return;
    SpellSfxRecord& t = Spells.templates[static_cast<size_t>(i)];
    std::memset(t.text2, 0, sizeof t.text2);
    std::memcpy(t.text2, record->Text2, sizeof t.text2 - 1);
    t.word1 = static_cast<uint32_t>(record->ValueI(5));
    t.values[1] = record->ValueF(3);
    t.values[2] = record->ValueF(4);
}

void CastSpellFromHelperAction(EventRecord* record) {
    if (record == nullptr || SpellCaster == nullptr) return;
    const float eye[3] = {MainCamera.eye.x, MainCamera.eye.y, MainCamera.eye.z};
    SpellCaster->SetPosition(eye);
    CastSpellAndRun(record->Param, SpellCaster, record->Param2, eye);
}

void ResetCameraLinkedObjectsAction(EventRecord* record) {
    if (record != nullptr) ResetCameraLinkedDynObjects(record->Param);
}

void SetObjectTrailsAction(EventRecord* record) {
    if (record == nullptr) return;
    NztBaseObject* o = Target(*record);
    if (o == nullptr) return;
    const EventRecord& r = *record;
    NztTrail* one = nullptr;
    if (r.Param2 != 0) {
        if (r.Param2 < 1 || static_cast<size_t>(r.Param2) > o->trails.size()) return;
        one = o->trails[static_cast<size_t>(r.Param2 - 1)];
        if (one == nullptr) return;
    }
    switch (r.Param) {
    case 0: {
        char texture[256];
        const TrailParams params = MakeTrailParams(Name(r.Text2, texture), r.ValueF(3), r.ValueF(4), r.ValueI(5),
                                                   r.ValueF(6), r.ValueF(7), r.ValueF(8), r.ValueF(9));
        if (one != nullptr) one->SetParams(params); else o->SetTrailParams(params);
        break;
    }
    case 1:
        if (one == nullptr) {
            o->ResumeTrails();
        } else if (one->fading != 0) {
            one->fading = 0;
            one->running = 1;
            one->resetFlag = 1;
        }
        break;
    case 2:
        if (one == nullptr) o->StopAllTrails(); else o->StopTrail(r.Param2 - 1);
        break;
    default:
        break;
    }
}

void LookAtPointAction(EventRecord* record) {
    if (record == nullptr) return;
    NztBaseObject* o = Target(*record);
    if (o == nullptr) return;
    const float p[3] = {record->ValueF(0), record->ValueF(1), record->ValueF(2)};
    TurnToward(o, p);
}

void LookAtObjectAction(EventRecord* record) {
    if (record == nullptr) return;
    NztBaseObject* o = Target(*record);
    if (o == nullptr) return;
    const EventRecord& r = *record;
    float p[3];
    if (r.Target2Kind == ObjectKindGameLight) {
        if (r.Target2Id < 0 || static_cast<uint32_t>(r.Target2Id) >= GameLightCount) return;
        NztGameLight* g = GameLightList[r.Target2Id];
        if (g == nullptr || g->light == nullptr) return;
        std::copy(g->light->Position, g->light->Position + 3, p);
    } else {
        auto* other = dynamic_cast<NztBaseObject*>(FindSceneObject(r.Target2Kind, r.Target2Id));
        if (other == nullptr || other->registered == 0) return;
        std::copy(other->Position, other->Position + 3, p);
    }
    TurnToward(o, p);
}

void RegisterCharacterActions() {
    const struct {
        int32_t type;
        EventActionHandler handler;
    } table[] = {
        {ActionSetEntityLife, SetEntityLifeAction},
        {ActionSetPlayerControl, SetPlayerControlAction},
        {ActionSetPlayerStance, SetPlayerStanceAction},
        {ActionSetPlayerFlag, SetPlayerFlagAction},
        {ActionSetPlayerTurnFactor, SetPlayerTurnFactorAction},
        {ActionSetPlayerAbility, SetPlayerAbilityAction},
        {ActionPlayEntityAnimation, PlayEntityAnimationAction},
        {ActionSetGait, SetGaitAction},
        {ActionPlayObjectAnimation, PlayObjectAnimationAction},
        {ActionPlayAnimationSequence, PlayAnimationSequenceAction},
        {ActionLoadEntityAnimationFile, LoadEntityAnimationFileAction},
        {ActionShowScreenImage, ShowScreenImageAction},
        {ActionCastSpellOnObject, CastSpellOnObjectAction},
        {ActionResetObjectEffects, ResetObjectEffectsAction},
        {ActionCastSpellAtPoint, CastSpellAtPointAction},
        {ActionSetSpellSound, SetSpellSoundAction},
        {ActionCastSpellFromHelper, CastSpellFromHelperAction},
        {ActionResetCameraLinkedObjects, ResetCameraLinkedObjectsAction},
        {ActionSetObjectTrails, SetObjectTrailsAction},
        {ActionLookAtPoint, LookAtPointAction},
        {ActionLookAtObject, LookAtObjectAction},
        {ActionMoveRotateObject, MoveRotateObject},
        {ActionPlacePlayer, PlacePlayer},
        {ActionSetObjectPosition, SetObjectPosition},
        {ActionAttachObject, AttachObject},
        {ActionDetachObject, DetachObject},
        {ActionSetEntityTarget, SetEntityTargetAction},
        {ActionObjectControl, ObjectControlAction},
        {ActionMountDismount, MountDismountAction},
    };
    for (const auto& entry : table) RegisterEventAction(entry.type, entry.handler);
}
