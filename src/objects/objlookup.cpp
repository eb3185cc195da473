#include "objects/objlookup.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/charlinks.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "objects/triggers.h"

int32_t (*RemoveItemFromInventoriesHook)(NztEventObject* object) = nullptr;
void (*RemapObjectLinksHook)() = nullptr;

namespace {

EventKindList HigherKindLists[4];  // kinds 12..15

const EventKindList* HigherList(int32_t kind) {
    if (kind < ObjectKindCounter || kind > ObjectKindGameMap) return nullptr;
    const EventKindList& l = HigherKindLists[kind - ObjectKindCounter];
    return l.count && l.at ? &l : nullptr;
}

bool IsBaseObjectKind(int32_t kind) {
    return kind == ObjectKindBase || kind == ObjectKindCollide || kind == ObjectKindScn || kind == ObjectKindEntity ||
           kind == ObjectKindDyn;
}

// Collision switch of a scene object from its model (on when the mesh carries collision
// triangles); a carried object (state 1) is dropped (2).
void ResetSceneObjectCollision(NztEventObject* object) {
    auto* s = dynamic_cast<NztScnObject*>(object);
    if (s == nullptr) return;
    if (s->mesh != nullptr) s->hasCollision = s->mesh->CollisionTriangleCount > 0 ? 1u : 0u;
    if (s->poseState == 1) s->poseState = 2;
}

}  // namespace

void SetEventKindList(int32_t kind, const EventKindList& list) {
    if (kind < ObjectKindCounter || kind > ObjectKindGameMap) return;
    HigherKindLists[kind - ObjectKindCounter] = list;
}

void ResetEventKindLists() {
    for (EventKindList& l : HigherKindLists) l = EventKindList{};
}

int32_t EventKindCount(int32_t kind) {
    switch (kind) {
        case ObjectKindScn: return static_cast<int32_t>(ScnObjectCount);
        case ObjectKindEntity: return static_cast<int32_t>(EntityCount);
        case ObjectKindGameLight: return GameLightKind.count();
        case ObjectKindTrigger: return static_cast<int32_t>(EventTriggerCount);
        default: {
            const EventKindList* l = HigherList(kind);
            return l ? l->count() : 0;
        }
    }
}

NztEventObject* GetObjectByKind(int32_t kind, int32_t index) {
    if (index < 0 || index >= EventKindCount(kind)) return nullptr;
    switch (kind) {
        case ObjectKindScn: return ScnObjectList[index];
        case ObjectKindEntity: return CharacterObject(EntityList[index]);
        case ObjectKindGameLight: return GameLightKind.at(index);
        case ObjectKindTrigger: return EventTriggerList[index];
        default: {
            const EventKindList* l = HigherList(kind);
            return l ? l->at(index) : nullptr;
        }
    }
}

const char* GetEventObjectName(const NztEventObject* object) {
    if (object == nullptr) return "Abstract";
    // The kind alone does not say the class: the global event object carries kind 1.
    if (IsBaseObjectKind(object->kind)) {
        const auto* o = dynamic_cast<const NztBaseObject*>(object);
        return o && o->mesh ? o->mesh->Name : "Abstract";
    }
    switch (object->kind) {
        case ObjectKindGameLight: {
            const char* name = GameLightKind.name(object);
            return name ? name : "Abstract";
        }
        case ObjectKindTrigger: {
            const auto* trigger = dynamic_cast<const NztEventTrigger*>(object);
            return trigger ? trigger->name : "Abstract";
        }
        default: {
            const EventKindList* l = HigherList(object->kind);
            const char* name = l && l->name ? l->name(object) : nullptr;
            return name ? name : "Abstract";
        }
    }
}

NztEventObject* FindSceneObject(int32_t kind, int32_t id) {
    if (kind == ObjectKindScn) return FindScnObjectById(id);
    if (kind == ObjectKindEntity) return FindCharacterObject(id);
    return nullptr;
}

int32_t FindObjectIndexByName(int32_t kind, const char* name) {
    if (name == nullptr) return -1;
    for (int32_t i = EventKindCount(kind); i-- > 0;) {
        const NztEventObject* o = GetObjectByKind(kind, i);
        if (o != nullptr && strcasecmp(GetEventObjectName(o), name) == 0) return i;
    }
    return -1;
}

void ActivateObject(NztEventObject* object) {
    if (object == nullptr) return;
    const uint32_t self = object->Handle();
    if (object->registered == 0 && RegisterObjectByType(object) != 0) {
        if (RemoveItemFromInventoriesHook) RemoveItemFromInventoriesHook(object);
        if (ResolveEventObject(self) != object) return;
        if (auto* o = dynamic_cast<NztBaseObject*>(object)) o->SetupParts();
        object->UpdateEvents();
        if (ResolveEventObject(self) != object) return;
    }
    if (object->kind == ObjectKindScn) ResetSceneObjectCollision(object);
}

namespace {
// Steps shared by both deactivations: off its parent, out of the contacts, every reference gone.
void LetGo(NztEventObject* object, bool contactsOfCharacters) {
    auto* o = dynamic_cast<NztBaseObject*>(object);
    if (o == nullptr) return;
    if (o->parent != nullptr) {
        o->parent->RemoveChild(o);
        o->parent = nullptr;
        o->parentVertex = 0;
        o->parentPoint = 0;
    }
    const bool collides = (object->kind == ObjectKindScn || (contactsOfCharacters && object->kind == ObjectKindEntity)) &&
                          dynamic_cast<NztCollideObject*>(o) != nullptr &&
                          static_cast<NztCollideObject*>(o)->hasCollision != 0;
    if (collides && CharacterLinks.clearContactsWith != nullptr) CharacterLinks.clearContactsWith(o);
    ReplaceObjectReferences(o, nullptr);
}
}  // namespace

void DeactivateObject(NztEventObject* object) {
    if (object == nullptr || object->registered == 0) return;
    LetGo(object, true);
    if (object->destroyWhenDeactivated == 0) {
        UnregisterObjectByType(object);
        return;
    }
    const bool sceneObject = object->kind == ObjectKindScn;
    // The player is never destroyed here and stays in the world.
    DestroySceneObject(object);
    if (sceneObject) RebuildCollideGridHook();
    if (RemapObjectLinksHook) RemapObjectLinksHook();
}

void DeactivateObjectForInventory(NztEventObject* object) {
    if (object == nullptr || object->registered == 0) return;
    LetGo(object, false);
    UnregisterObjectByType(object);
}

void DestroySceneObject(NztEventObject* object) {
    if (object == nullptr) return;
    RemoveDelayedActionsOf(object);
    if (auto* s = dynamic_cast<NztScnObject*>(object); s && object->kind == ObjectKindScn) {
        RemoveScnObject(s);
    } else if (object->kind == ObjectKindEntity && CharacterLinks.remove != nullptr) {
        if (auto* e = dynamic_cast<NztBaseObject*>(object)) CharacterLinks.remove(e);
    }
}

void CopyEventsForClone(const NztEventObject* source, NztEventObject* clone) {
    if (source == nullptr || clone == nullptr) return;
    clone->CopyEvents(source);
    for (int32_t i = clone->eventRecordCount; i-- > 0;) {
        EventRecord r = clone->eventRecords[i];
        if (r.TargetId == source->id && r.TargetKind == source->kind) r.TargetId = clone->id, r.TargetKind = clone->kind;
        if (r.Target2Id == source->id && r.Target2Kind == source->kind)
            r.Target2Id = clone->id, r.Target2Kind = clone->kind;
        if (r.CondIndex == source->id && r.CondKind == source->kind) r.CondIndex = clone->id, r.CondKind = clone->kind;
        const bool ui = source->kind == ObjectKindGameUI && r.Action == 33;
        const bool counter = source->kind == ObjectKindCounter && r.Action == 32;
        if (clone->kind == source->kind && (ui || counter) && r.Param == source->id) {
            r.Param = clone->id;
            std::snprintf(r.ParamName, sizeof r.ParamName, "%s", GetEventObjectName(clone));
        }
        clone->SetEventRecord(i, &r);
    }
    for (int32_t i = 0; i < clone->eventRecordCount; ++i) clone->eventRecords[i].Countdown = 0.0f;
}

NztEventObject* CloneEventObject(NztEventObject* object) {
    if (object == nullptr) return nullptr;
    NztBaseObject* clone = nullptr;
    if (object->kind == ObjectKindEntity) {
        auto* e = dynamic_cast<NztBaseObject*>(object);
        clone = e != nullptr && CharacterLinks.clone != nullptr ? CharacterLinks.clone(e) : nullptr;
        if (clone) clone->id = static_cast<int32_t>(EntityCount) - 1;
    } else if (auto* s = dynamic_cast<NztScnObject*>(object); s && object->kind == ObjectKindScn) {
        clone = CloneScnObject(s);
        if (clone) clone->id = static_cast<int32_t>(ScnObjectCount) - 1;
    }
    if (clone == nullptr) return nullptr;
    CopyEventsForClone(object, clone);
    if (clone->kind == ObjectKindScn) ResetSceneObjectCollision(clone);
    const uint32_t handle = clone->Handle();
    clone->SetupParts();
    clone->UpdateEvents();
    return ResolveEventObject(handle);
}
