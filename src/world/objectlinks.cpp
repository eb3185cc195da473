// The engine's own answers to the object core's hooks (ObjectServices, objects/base3d.h): what
// releasing or replacing an object reaches beyond the object core, in the effect lists, the camera
// control and the characters; the flat-colour draw of a posed mesh; the effects, lights and trails
// on attach points.
#include <algorithm>
#include <cstring>

#include "camera/camera.h"
#include "core/nztmath.h"
#include "effects/dynobject.h"
#include "effects/light.h"
#include "effects/meshdraw.h"
#include "effects/rope.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "effects/thunder.h"
#include "effects/trail.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/charlinks.h"
#include "objects/events.h"
#include "objects/objtype.h"

namespace {

uint32_t EngineSendEvent(NztEventObject* object, uint32_t code, uint32_t a, uint32_t b, uint32_t c) {
    return object->SendEvent(code, a, b, c);
}

void ReplaceReferences(NztBaseObject* old, NztBaseObject* replacement) {
    for (int32_t i = static_cast<int32_t>(TrailCount) - 1; i >= 0; --i) {
        if (i < static_cast<int32_t>(TrailCount) && TrailList[i] != nullptr && TrailList[i]->owner == old) {
            ObjectServices.removeTrailAt(static_cast<uint32_t>(i));
        }
    }

    for (int32_t i = static_cast<int32_t>(DynObjectCount) - 1; i >= 0; --i) {
        NztDynObject* d = DynObjectList[i];
        if (d == nullptr) continue;
        if (d->followedObject == old) {
            d->followedObject = replacement;
            d->followChanged = 1;
            if (replacement != nullptr) {
                const float* p = replacement->Position;
                if (replacement->attachPoints.size() > 1) {
                    const uint32_t anchor = replacement->attachPoints[1].Anchor;
                    if (anchor < replacement->vertices.size()) p = &replacement->vertices[anchor].x;
                }
                std::copy(p, p + 3, d->followPosition);
            }
        }
        if (d->owner == old) d->owner = replacement;
        // A homing object would otherwise chase freed memory.
        if (d->targetObject == old) d->targetObject = replacement;
    }

    if (MainCamera.carriedObject == old) {
        if (old->kind == ObjectKindScn) old->poseState = 2;  // dropped
        MainCamera.carriedObject = nullptr;
    }
    // The camera control and its saved states look at objects too.
    if (CameraControl.secondObject == old) CameraControl.secondObject = replacement;
    if (CameraControl.targetObject == old) CameraControl.targetObject = replacement;
    ReplaceCameraStackTarget(old, replacement);

    // Bolts between objects read their ends every frame; a bolt whose end went away stays where it
    // was last built.
    for (uint32_t i = 0; i < ThunderCount; ++i) {
        NztThunder* t = ThunderList[i];
        if (t == nullptr) continue;
        if (t->startObject == old) t->startObject = replacement;
        if (t->endObject == old) t->endObject = replacement;
        if (t->notedObject == old) t->notedObject = replacement;
    }

    for (int32_t i = static_cast<int32_t>(SfxCount) - 1; i >= 0; --i) {
        if (i >= static_cast<int32_t>(SfxCount)) continue;
        NztSfx* s = SfxList[i];
        if (s == nullptr) continue;
        if (replacement == nullptr) {
            if (s->owner == old || s->meshSource == old) ObjectServices.removeSfxAt(static_cast<uint32_t>(i));
        } else {
            if (s->owner == old) s->owner = replacement;
            if (s->meshSource == old) s->meshSource = replacement;
        }
    }

    for (uint32_t i = 0; i < EntityCount; ++i) {
        NztCollideObject* e = CharacterObject(EntityList[i]);
        if (e != nullptr) e->LoseTarget(old, replacement);
    }
}

void RemoveAttachedEffects(NztBaseObject* object) {
    for (int32_t i = static_cast<int32_t>(LightCount) - 1; i >= 0; --i) {
        if (i < static_cast<int32_t>(LightCount) && LightList[i] != nullptr &&
            LightList[i]->followedObject == object) {
            ObjectServices.deleteLightAt(static_cast<uint32_t>(i));
        }
    }
    for (int32_t i = static_cast<int32_t>(TrailCount) - 1; i >= 0; --i) {
        if (i < static_cast<int32_t>(TrailCount) && TrailList[i] != nullptr &&
            TrailList[i]->owner == object) {
            ObjectServices.removeTrailAt(static_cast<uint32_t>(i));
        }
    }
    for (int32_t i = static_cast<int32_t>(SfxCount) - 1; i >= 0; --i) {
        if (i >= static_cast<int32_t>(SfxCount)) continue;
        const NztSfx* s = SfxList[i];
        if (s != nullptr && (s->owner == object || s->meshSource == object)) {
            ObjectServices.removeSfxAt(static_cast<uint32_t>(i));
        }
    }
    for (int32_t i = static_cast<int32_t>(DynObjectCount) - 1; i >= 0; --i) {
        NztDynObject* d = DynObjectList[i];
        if (d != nullptr && d->followedObject == object) {
            d->followedObject = nullptr;
            d->followChanged = 1;
        }
    }
}

void ReleaseLights(NztBaseObject* object) {
    for (uint32_t i = 0; i < LightCount; ++i) {
        NztLight* light = LightList[i];
        if (light == nullptr || (light->followedObject != object && light->targetObject != object)) continue;
        light->followedObject = nullptr;
        light->followedPoint = 0;
        light->targetObject = nullptr;
        light->targetPoint = 0;
    }
}

void ReleaseAttachedEffect(void* effect) {
    static_cast<NztSfx*>(effect)->owner = nullptr;
}

float* PlaceAttachedEffect(void* effect, const Vec3& p) {
    NztSfx* sfx = static_cast<NztSfx*>(effect);
    sfx->Position[0] = p.x;
    sfx->Position[1] = p.y;
    sfx->Position[2] = p.z;
    return sfx->rotation;
}

void KeepAttachedEffectAtSurface(void* effect, float surfaceHeight) {
    NztSfx* sfx = static_cast<NztSfx*>(effect);
    if (sfx->definition && sfx->definition->particleKind != SfxParticlePlain)
        sfx->referenceHeight = surfaceHeight;
}

void SetupParts(NztBaseObject* object) {
    const NztMesh* mesh = object->mesh;
    if (mesh == nullptr || mesh->AttachPoints == nullptr) return;
    bool trailDigits[10] = {};
    for (uint32_t i = 0; i < mesh->AttachCount; ++i) {
        const char* name = mesh->AttachPoints[i].Name;
        if (name[0] == '#') {
            if (NztSfx* sfx = AddSfxType(name + 1)) sfx->AttachTo(object, static_cast<int32_t>(i));
        } else if (name[0] == '!') {
            if (NztSfx* sfx = AddSfxType(name + 1)) sfx->owner = object;
        } else if (name[0] == '@' && name[1] == 'L') {
            NztLight* light = CreateLight(1);
            light->SetRange(10.0f);
            light->followedObject = object;
            light->followedPoint = static_cast<int32_t>(i);
        } else if (std::strlen(name) >= 7 && std::strncmp(name, "@Trail", 6) == 0 && name[6] >= '0' &&
                   name[6] <= '9') {
            const int digit = name[6] - '0';
            if (trailDigits[digit]) continue;
            trailDigits[digit] = true;
            if (NztTrail* trail = CreateTrail(object, name[6])) trail->widthFactor = 0.25f;
        }
    }
}

constexpr ObjectHooks DefaultObjectHooks = {
    EngineSendEvent,
    RemoveSfxAt,
    RemoveTrailAt,
    DeleteLightAt,
    RemoveObjectLinks,
    ReplaceReferences,
    RemoveAttachedEffects,
    ReleaseLights,
    ReleaseAttachedEffect,
    DrawMeshFlatColor,
    PlaceAttachedEffect,
    KeepAttachedEffectAtSurface,
    SetupParts,
};

}  // namespace

ObjectHooks ObjectServices = DefaultObjectHooks;

void ResetObjectHooks() {
    ObjectServices = DefaultObjectHooks;
}
