#include "character/entitylist.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "character/entity.h"
#include "character/objeffects.h"
#include "character/record.h"
#include "character/spell.h"
#include "core/ownedlist.h"
#include "core/paths.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/charlinks.h"
#include "objects/events.h"
#include "objects/objtypeparts.h"
#include "objects/posing.h"
#include "objects/registry.h"

namespace {

// The point kind of an object hanging on another (as the base object's attach code has it).
constexpr uint32_t AttachKindObject = 4;

// The old character's animations by slot in the new character's table, at the same frame (kept
// within the new animation).
void CopyEntityAnimation(const NztEntity* old, NztEntity* replacement) {
    const int32_t slot = old->SlotOf(old->currentAnim);
    if (slot < 0) return;
    NztAnim* anim = replacement->GetAnim(static_cast<uint32_t>(slot));
    if (anim == nullptr) return;
    const int32_t nextSlot = old->SlotOf(old->nextAnim);
    NztAnim* next = nextSlot >= 0 ? replacement->GetAnim(static_cast<uint32_t>(nextSlot)) : nullptr;
    const int32_t last = anim->FrameCount > 0 ? static_cast<int32_t>(anim->FrameCount) - 1 : 0;
    replacement->SetAnim(anim, old->locked, next, std::clamp(old->currentFrame, 0, last));
}

}  // namespace

namespace {

// One frame of one identity bone, for a character type without its first animation.
NztAnim* CreateIdentityAnim() {
    NztAnim* anim = CreateAnim();
    anim->AllocFrames(1, 1);
    return anim;
}

uint32_t RegisterCharacter(NztEntity* entity) {
    return RegisterEntity(entity);
}
uint32_t UnregisterCharacter(NztEntity* entity) {
    return UnregisterEntity(entity);
}

}  // namespace

NztEntity* CreateEntity(NztMesh* mesh) {
    NztEntity* entity = new NztEntity();
    if (mesh != nullptr) entity->SetupFromType(mesh);
    return AddInstance(EntityList, EntityCount, EntityCapacity, entity, RegisterCharacter);
}

void RemoveEntityAt(uint32_t index, bool shrink) {
    RemoveInstanceAt(EntityList, EntityCount, EntityCapacity, index, shrink, UnregisterCharacter, [](NztEntity* entity) {
        entity->Release();
        // The player pointer must not outlive its character.
        if (PlayerEntity == entity) PlayerEntity = nullptr;
    });
}

void RemoveEntity(NztEntity* entity) {
    const int32_t index = IndexOfEntity(entity);
    if (index >= 0) RemoveEntityAt(static_cast<uint32_t>(index), true);
}

void RemoveAllEntities() {
    while (EntityCount != 0) RemoveEntityAt(EntityCount - 1, false);
    FreeList(EntityList, EntityCount, EntityCapacity);
}

void RemoveNonPlayerEntities() {
    for (uint32_t i = EntityCount; i-- > 0;) {
        if (i >= EntityCount) continue;
        const NztEntity* e = EntityList[i];
        if (e != nullptr && (e == PlayerEntity || e->networkRecord != nullptr)) continue;
        RemoveEntityAt(i, true);
    }
    if (EntityCount == 0) FreeList(EntityList, EntityCount, EntityCapacity);
}

void SetPlayerEntity(NztEntity* entity) {
    if (NztEntity* old = PlayerEntity) {
        old->inputDriven = 0;
        old->animStateMachine = 0;
        SendTo(old, EventStopsBeingPlayer);
    }
    PlayerEntity = entity;
    if (entity == nullptr) return;
    entity->inputDriven = 0;
    entity->animStateMachine = 0;
    SendTo(entity, EventBecomesPlayer);
}

NztEntity* GetEntityType(const char* typeName) {
    char base[256];
    uint32_t number = 0;
    if (!SplitTypeName(typeName, base, &number)) return nullptr;
    const NztEntity* live = FindEntityType(base, number);
    const uint32_t typeIndex = live != nullptr ? live->mesh->TypeIndex : GetObjectTypeIndex(base, number);
    return LoadEntityType(typeIndex, base, number);
}

NztEntity* LoadEntityType(uint32_t typeIndex, const char* baseName, uint32_t number) {
    NztObjectType* type = TypeAt(typeIndex);
    if (type == nullptr || !IsSafeTypeName(baseName)) return nullptr;
    if (type->Mesh == nullptr) {
        char path[512];
        NztMesh* mesh = CreateMeshData();
        type->Mesh = mesh;
        type->InstanceCount = 0;
        if (FormatPath(path, "OBJECTS/ENTITIES/%s%u%03u.QVo", baseName, 1u, number) &&
            LoadMeshFile(path, mesh, 0, 1) != 0) {
            LoadHigherLods(mesh, "OBJECTS/ENTITIES/%s%u%03u.QVo", baseName, number);
        } else {
            CreateEmptyMesh(mesh);
        }
        if (FormatPath(path, "OBJECTS/ENTITIES/%s0%03u.QVc", baseName, number)) LoadMeshSideFile(path, mesh);
        char folder[256];
        FolderPart(type->Name, folder);
        if (!FormatPath(type->AnimFolder, sizeof type->AnimFolder, "%sANIMS/%s", folder, mesh->AnimSetName)) type->AnimFolder[0] = 0;
        NameMeshForType(mesh, typeIndex);
        if (LoadEntityAnim(0, typeIndex) == nullptr) mesh->AnimSlots[0] = CreateIdentityAnim();
        SetMeshRestPose(mesh, mesh->AnimSlots[0]);
    }
    NztEntity* entity = CreateEntity(type->Mesh);
    entity->typeInstance = type->InstanceCount++;
    entity->currentAnim = type->Mesh->AnimSlots.empty() ? nullptr : type->Mesh->AnimSlots[0];
    if (type->Mesh->AttachCount != 0) entity->SetupParts();
    return entity;
}

NztAnim* LoadEntityAnim(uint32_t slot, uint32_t typeIndex) {
    if (slot >= AnimNameCount) return nullptr;
    return LoadEntityAnimByName(slot, typeIndex, AnimNameTable[slot]);
}

NztAnim* LoadEntityAnimByName(uint32_t slot, uint32_t typeIndex, const char* name) {
    NztObjectType* type = TypeAt(typeIndex);
    if (type == nullptr || type->Mesh == nullptr || name == nullptr || !IsSafeTypeName(name)) return nullptr;
    char path[512];
    if (!FormatPath(path, "OBJECTS/ENTITIES/%s/%s%s.QVa", type->AnimFolder, type->Mesh->AnimSetName, name))
        return nullptr;
    return LoadSlotAnim(slot, *type, path);
}

void NztEntity::AddLife(float amount) {
    SetLife(life + amount);
}

void NztEntity::SetLife(float value) {
    life = std::clamp(value, 0.0f, std::max(maxLife, 0.0f));
}

void NztEntity::SetMaxLife(float value) {
    maxLife = std::max(value, 0.0f);
    life = maxLife;
    // A maximum of 0 would make the inverse infinite.
    invMaxLife = maxLife > 0.0f ? 1.0f / maxLife : 0.0f;
}

NztEntity* CloneEntity(NztEntity* entity) {
    if (entity == nullptr || entity->mesh == nullptr) return nullptr;
    NztObjectType* type = TypeAt(entity->mesh->TypeIndex);
    if (type == nullptr || type->Mesh != entity->mesh) return nullptr;
    char base[256];
    CopyName(base, type->Name);
    NztEntity* clone = LoadEntityType(entity->mesh->TypeIndex, base, type->Number);
    if (clone == nullptr) return nullptr;
    CopyCloneState(entity, clone);
    CharacterRecord record;
    clone->ApplyCharacterRecord(entity->FillCharacterRecord(record));
    clone->maxLife = entity->maxLife;
    clone->invMaxLife = entity->invMaxLife;
    clone->life = entity->life;
    clone->receivesBroadcasts = entity->receivesBroadcasts;
    return clone;
}

void CopyEntityState(NztEntity* old, NztEntity* replacement, bool takeRecord) {
    if (old == nullptr || replacement == nullptr || old == replacement) return;
    CopyPlacement(old, replacement);
    std::copy(old->motion, old->motion + 3, replacement->motion);
    if (takeRecord) {
        CharacterRecord record;
        replacement->ApplyCharacterRecord(old->FillCharacterRecord(record));
    }
    replacement->CopyLinkSlots(old);
    replacement->maxLife = old->maxLife;
    replacement->invMaxLife = old->invMaxLife;
    replacement->life = old->life;
    replacement->receivesBroadcasts = old->receivesBroadcasts;
    replacement->speedFactor = old->speedFactor;
    replacement->speedFactorTarget = old->speedFactorTarget;
    replacement->forwardSpeed = old->forwardSpeed;
    replacement->verticalVelocity = old->verticalVelocity;
    CopyEntityAnimation(old, replacement);
    // What hangs on a point of the old character hangs on the same point of the new one (when the
    // new type has that point; otherwise it is let go where it is).
    for (size_t i = 0; i < old->attachPoints.size(); ++i)
        if (NztBaseObject* child = old->GetAttachedObject(static_cast<int32_t>(i)))
            child->AttachTo(replacement, static_cast<int32_t>(i), AttachKindObject);
    replacement->CopyEvents(old);
    // Records of the old character waiting on the delayed list or the deferred queue now wait as
    // the new character's.
    RetargetQueuedActions(old, replacement);
    if (PlayerEntity == old) {
        PlayerEntity = replacement;
        replacement->inputDriven = old->inputDriven;
        replacement->animStateMachine = old->animStateMachine;
    }
    ReplaceEntityReferences(replacement, old);
    ReplaceObjectReferences(old, replacement);
    RemoveEntity(old);
}

void ReplaceEntityReferences(NztEntity* replacement, NztEntity* old) {
    if (old == nullptr) return;
    for (uint32_t i = EntityCount; i-- > 0;) {
        NztEntity* e = EntityList[i];
        if (e == nullptr || e->registered == 0) continue;
        if (e->target == old) e->target = replacement;
        if (e->riddenEntity == old) e->riddenEntity = replacement;
    }
}

NztEntity* FindNearestEntity(const float point[3]) {
    NztEntity* nearest = nullptr;
    float best = 0.0f;
    uint32_t registered = 0;
    for (uint32_t i = EntityCount; i-- > 0;) {
        NztEntity* e = EntityList[i];
        if (e == nullptr || e->registered == 0) continue;
        ++registered;
        const float d = DistanceSq(e->Position, point);
        if (nearest == nullptr || d < best) {
            nearest = e;
            best = d;
        }
    }
    return registered >= 2 ? nearest : nullptr;
}

NztEntity* FindEntityById(int32_t id) {
    for (uint32_t i = EntityCount; i-- > 0;)
        if (EntityList[i] != nullptr && EntityList[i]->id == id && EntityList[i]->kind == ObjectKindEntity)
            return EntityList[i];
    return nullptr;
}

NztEntity* FindEntityType(const char* name, uint32_t number) {
    if (name == nullptr) return nullptr;
    for (uint32_t i = EntityCount; i-- > 0;)
        if (EntityList[i] != nullptr && NameMatches(EntityList[i]->mesh, name, number)) return EntityList[i];
    return nullptr;
}

int32_t IndexOfEntity(const NztEntity* entity) {
    return entity != nullptr ? IndexIn(EntityList, EntityCount, entity) : -1;
}

void ApplyRadialLifeChange(float amount, const float point[3], float radiusSq) {
    // A zero radius reaches nothing (and would divide by zero).
    if (point == nullptr || !(radiusSq > 0.0f)) return;
    for (uint32_t i = EntityCount; i-- > 0;) {
        if (i >= EntityCount) continue;
        NztEntity* e = EntityList[i];
        if (e == nullptr) continue;
        const float d = DistanceSq(e->Position, point);
        if (d >= radiusSq) continue;
        e->AddLife(amount * (1.0f - d / radiusSq));
        SendTo(e, EventLifeChanged);
    }
}

uint32_t BroadcastEventToEntities(uint32_t code) {
    uint32_t handled = 0;
    for (uint32_t i = EntityCount; i-- > 0;) {
        if (i >= EntityCount) continue;
        NztEntity* e = EntityList[i];
        if (e != nullptr && e->registered != 0 && e->receivesBroadcasts != 0) handled += SendTo(e, code);
    }
    return handled;
}

void ClearEntityContacts(NztBaseObject* object) {
    if (object == nullptr) return;
    for (uint32_t i = EntityCount; i-- > 0;)
        if (EntityList[i] != nullptr) EntityList[i]->ClearContactsWith(object);
}

void RestartAnimOnEntities(NztAnim* anim) {
    if (anim == nullptr) return;
    for (uint32_t i = EntityCount; i-- > 0;) {
        NztEntity* e = EntityList[i];
        if (e != nullptr && e->currentAnim == anim) e->SetAnim(anim, e->speedWord, e->returnAnim, 0);
    }
}

void InstallCharacterLinks() {
    CharacterLinks.asObject = [](NztEntity* character) -> NztCollideObject* { return character; };
    CharacterLinks.findById = [](int32_t id) -> NztCollideObject* { return FindEntityById(id); };
    CharacterLinks.castFrameSpell = [](NztBaseObject* object, int32_t spell) {
        if (CastSpell(spell, SpellDefinitions, object, 0, nullptr) != 0) RunObjectEffects(object, nullptr);
    };
    CharacterLinks.clearContactsWith = ClearEntityContacts;
    CharacterLinks.radialLifeChange = ApplyRadialLifeChange;
    CharacterLinks.remove = [](NztBaseObject* object) {
        auto* e = dynamic_cast<NztEntity*>(object);
        if (e == nullptr || e == PlayerEntity) return;
        const int32_t index = IndexOfEntity(e);
        if (index >= 0) RemoveEntityAt(static_cast<uint32_t>(index), true);
    };
    CharacterLinks.clone = [](NztBaseObject* object) -> NztBaseObject* {
        auto* e = dynamic_cast<NztEntity*>(object);
        return e != nullptr ? CloneEntity(e) : nullptr;
    };
}
