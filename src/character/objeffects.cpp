#include "character/objeffects.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/sound.h"
#include "camera/camera.h"
#include "character/entity.h"
#include "character/spell.h"
#include "core/frameclock.h"
#include "effects/dynobject.h"
#include "effects/sfx.h"
#include "effects/thunder.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/objtype.h"

namespace {

enum : uint32_t {
    EffectThrown = 0,
    EffectThunder = 1,
    EffectCharacterAnim = 2,
    EffectSound = 3,
    EffectCameraShake = 4,
};
enum : uint32_t {
    RoleObject = 0,
    RoleTarget = 1,
    RoleListed = 2,
    RoleNone = 3,
    LaunchLocal = 4,
};
// Type-2 records act only in this character-animation mode.
constexpr uint32_t CharacterAnimModeActive = 4;
// The effect animation returns to "FightStatic", else to "MoveStatic01".
constexpr uint32_t FightStaticSlot = 84;
constexpr uint32_t MoveStaticSlot = 0;
constexpr int32_t EffectLayer = 4;
// The type of a thrown object whose record names none.
constexpr const char* DefaultEffectType = "EFFECTS/Launch1001";
constexpr int32_t EffectSoundBase = 1024;
constexpr int32_t LastSoundSlot = SoundSlotCount - 1;

NztBaseObject* AsBaseObject(NztBase3D* object) {
    return dynamic_cast<NztBaseObject*>(object);
}

NztEntity* AsCharacter(NztBase3D* object) {
    return object != nullptr && object->kind == ObjectKindEntity ? dynamic_cast<NztEntity*>(object) : nullptr;
}

// Plays the record's sound once at position: in a slot of its own for channel -1, else in the
// effect channel's fixed slot (a channel past the table plays in its last slot).
void PlayEffectSound(const SpellEffect& record, const float* position) {
    if (record.soundName[0] == '\0') return;
    char name[64];
    std::copy(record.soundName, record.soundName + 64, name);
    name[63] = '\0';
    char path[96];
    const int n = std::snprintf(path, sizeof path, "SOUNDS/%s.Wav", name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) return;
    if (record.soundChannel == -1) {
        const int slot = LoadSound(path, nullptr);
        if (slot != NoSoundSlot) PlaySoundSlot(slot, position, 0);
        return;
    }
    const int64_t slot = std::clamp<int64_t>(int64_t{EffectSoundBase} + record.soundChannel, 0, LastSoundSlot);
    LoadAndPlaySoundAt(path, static_cast<int>(slot), position);
}

bool NameGiven(const char (&name)[64]) {
    return std::find(name, name + 64, '\0') != name + 64 && name[0] != '\0';
}

// The animation of a character-animation record on character x.
void PlayCharacterAnim(const SpellEffect& record, NztEntity* x, NztBaseObject* object, bool objectIsCharacter,
                       NztDynObject* projectile) {
    if (x == nullptr || x->parent != nullptr) return;
    if (projectile != nullptr && projectile->IsWithinEffectRadius(x->Position) == 0) return;
    const uint32_t origin = record.originKind;
    if (origin != RoleListed && x != PlayerEntity && x->speedWord != 0) {
        // Busy characters mix the effect over what they play.
        x->SetAnimLayer(EffectLayer, x->GetAnimByName(record.characterAnimName), 4, 0.5f, 1, 1.0f, 0, 1);
        return;
    }
    if (origin == RoleListed && x->speedWord != 0) return;
    NztAnim* anim = x->GetAnimByName(record.characterAnimName);
    if (anim == nullptr) return;
    if (origin != RoleObject && objectIsCharacter) x->FaceObject(object);
    if (x == PlayerEntity) {
        x->ResetActions();
        x->controlWordCopy = x->controlWord;
    }
    NztAnim* back = x->GetAnim(FightStaticSlot);
    if (back == nullptr) back = x->GetAnim(MoveStaticSlot);
    x->BlendToAnim(anim, 1, back, 0);
}

// out = base + the local vector v turned into the frame m (x row 0 + y row 1 + z row 2).
void AddTurned(const float base[3], const float m[9], const float v[3], float out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = base[k] + v[0] * m[k] + v[1] * m[3 + k] + v[2] * m[6 + k];
}

void AddPlain(const float base[3], const float v[3], float out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = base[k] + v[k];
}

bool HasPoint(const NztBaseObject* object, int32_t point) {
    return point >= 0 && point < static_cast<int32_t>(object->attachPoints.size());
}

// One end of a bolt on object: its point, tied to it when *tie is set or else moved by the local
// vector; a point the object lacks gives its position and clears *tie for later runs.
void PlaceBoltEnd(NztBaseObject* object, int32_t point, const float local[3], int32_t* tie, float out[3],
                  NztBaseObject** tiedObject, int32_t* tiedPoint) {
    if (!HasPoint(object, point)) {
        std::copy(object->Position, object->Position + 3, out);
        *tie = 0;
        return;
    }
    object->GetPointPosition(point, out);
    if (*tie != 0) {
        *tiedObject = object;
        *tiedPoint = point;
    } else {
        AddTurned(out, object->rotation, local, out);
    }
}

// The type a record names: the full type name and the number its last three digits give.
uint32_t NamedTypeIndex(const char (&name)[64]) {
    char full[64];
    std::copy(name, name + 64, full);
    full[63] = '\0';
    const size_t n = std::strlen(full);
    uint32_t number = 0;
    if (n >= 3 && std::all_of(full + n - 3, full + n, [](char c) { return c >= '0' && c <= '9'; }))
        number = static_cast<uint32_t>(std::strtoul(full + n - 3, nullptr, 10));
    return GetObjectTypeIndex(full, number);
}

// Adds O's previous motion, turned by its second rotation, when it moved at all.
void AddObjectMotion(const NztBaseObject* object, float v[3]) {
    if (object == nullptr) return;
    const Vec3& m = object->motion[2];
    if (m.x == 0.0f && m.y == 0.0f && m.z == 0.0f) return;
    const float local[3] = {m.x, m.y, m.z};
    AddTurned(v, object->secondRotation, local, v);
}

void ImpactRunsSecondList(NztDynObject* thrown, const float*) {
    OnDynObjectImpact(thrown);
}

void ShakeAt(const float* p, const SpellEffect& record) {
    StartCameraShake(Vec3{p[0], p[1], p[2]}, record.duration, record.amount);
}

}  // namespace

std::vector<EffectPair> EffectPairs(const SpellEffect& record, NztBaseObject* object, NztBaseObject* target,
                                    const std::vector<NztBaseObject*>& listed) {
    std::vector<EffectPair> pairs;
    const uint32_t origin = record.originKind;
    const uint32_t launch = record.launchMode;
    if (origin > RoleNone || launch > LaunchLocal) return pairs;
    NztBaseObject* owner = origin == RoleObject ? object : origin == RoleTarget ? target : nullptr;
    NztBaseObject* aim = nullptr;
    if (launch == RoleObject) aim = object;
    if (launch == RoleTarget) aim = target;
    if (launch == LaunchLocal && origin == RoleObject && record.type == EffectThrown) aim = target;
    if (origin == RoleListed) {
        for (NztBaseObject* l : listed) pairs.emplace_back(l, launch == RoleListed ? l : aim);
    } else if (launch == RoleListed) {
        for (NztBaseObject* l : listed) pairs.emplace_back(owner, l);
    } else {
        pairs.emplace_back(owner, aim);
    }
    return pairs;
}

namespace {
void RunRecord(SpellEffect& record, NztBaseObject* object, NztEntity* character, NztBaseObject* target,
               const std::vector<NztBaseObject*>& listed, const std::vector<NztEntity*>& listedCharacters,
               NztDynObject* projectile, int32_t spell);
}  // namespace

void RunObjectEffects(NztBaseObject* object, NztDynObject* projectile) {
    if (object == nullptr || object->effectBlock == nullptr) return;
    SpellInstance* instance = object->effectBlock;
    NztEntity* character = AsCharacter(object);
    // The target stays the character's own for the whole run.
    NztBaseObject* target = character != nullptr ? character->target : nullptr;
    std::vector<NztBaseObject*> listed;
    std::vector<NztEntity*> listedCharacters;
    if (instance->listedObjects != nullptr) {
        for (uint32_t i = 0; i < instance->listedCount; ++i) {
            listed.push_back(AsBaseObject(instance->listedObjects[i]));
            listedCharacters.push_back(AsCharacter(instance->listedObjects[i]));
        }
    }
    const int32_t spell = object->spellIndex;
    for (int64_t r = int64_t{instance->recordCount} - 1; r >= 0; --r) {
        // An effect may cast anew on the object and refill the instance: only records it still
        // holds are read.
        instance = object->effectBlock;
        if (instance == nullptr || instance->records == nullptr || r >= int64_t{instance->recordCount}) continue;
        // The record runs from a copy: a cast made by its effects may reuse this very instance and
        // move its records. What the run learns about the record is written back while the
        // instance still holds it.
        SpellEffect* held = instance->records;
        SpellEffect record = held[r];
        RunRecord(record, object, character, target, listed, listedCharacters, projectile, spell);
        instance = object->effectBlock;
        if (instance != nullptr && instance->records == held && r < int64_t{instance->recordCount}) {
            held[r].followOwner = record.followOwner;
            held[r].orient = record.orient;
        }
    }
}

namespace {

void RunRecord(SpellEffect& record, NztBaseObject* object, NztEntity* character, NztBaseObject* target,
               const std::vector<NztBaseObject*>& listed, const std::vector<NztEntity*>& listedCharacters,
               NztDynObject* projectile, int32_t spell) {
    switch (record.type) {
    case EffectThrown:
        for (const EffectPair& p : EffectPairs(record, object, target, listed)) {
            if (NztDynObject* thrown = SpawnObjectEffect(&record, p.first)) {
                LaunchObjectEffect(thrown, &record, object, p.first, p.second);
                thrown->spellIndex = spell;
            }
        }
        break;
    case EffectThunder:
        for (const EffectPair& p : EffectPairs(record, object, target, listed)) {
            if (NztThunder* bolt = SpawnThunderEffect(&record, p.first))
                AimThunderEffect(bolt, &record, p.first, object, p.second);
        }
        break;
    case EffectCharacterAnim: {
        if (record.characterAnimMode != CharacterAnimModeActive || !NameGiven(record.characterAnimName)) break;
        if (record.originKind == RoleObject) {
            PlayCharacterAnim(record, character, object, character != nullptr, projectile);
        } else if (record.originKind == RoleTarget) {
            PlayCharacterAnim(record, AsCharacter(target), object, character != nullptr, projectile);
        } else if (record.originKind == RoleListed) {
            for (NztEntity* x : listedCharacters)
                PlayCharacterAnim(record, x, object, character != nullptr, projectile);
        }
        break;
    }
    case EffectSound:
        PlayEffectSound(record, object->Position);
        break;
    case EffectCameraShake:
        if (record.originKind == RoleObject) {
            ShakeAt(object->Position, record);
        } else if (record.originKind == RoleTarget) {
            if (target != nullptr) ShakeAt(target->Position, record);
        } else if (record.originKind == RoleListed) {
            for (NztBaseObject* l : listed) {
                if (l != nullptr) ShakeAt(l->Position, record);
            }
        } else if (record.originKind == RoleNone) {
            ShakeAt(record.basePosition, record);
        }
        break;
    default:
        break;
    }
}

}  // namespace

int32_t PrepareSpellEffects(NztBaseObject* object, int32_t spell) {
    if (object == nullptr || CastSpell(spell, SpellDefinitions, object, 1, nullptr) == 0) return 0;
    SpellInstance* instance = object->effectBlock;
    if (instance == nullptr) return 1;
    NztEntity* character = AsCharacter(object);
    NztAnim* anim = nullptr;
    if (character != nullptr && instance->animName != nullptr) {
        anim = character->GetAnimByName(instance->animName);
        if (anim != nullptr) anim->SpellWord = instance->animWord;
    }
    instance->anim = anim;
    return 1;
}

int32_t StartSpellEffects(NztBaseObject* object, int32_t spell, const float* position) {
    if (PrepareSpellEffects(object, spell) == 0) return 0;
    SpellInstance* instance = object->effectBlock;
    if (instance == nullptr) return 1;
    const float* p = position != nullptr ? position : object->Position;
    if (instance->records != nullptr) {
        for (uint32_t i = 0; i < instance->recordCount; ++i) std::copy(p, p + 3, instance->records[i].basePosition);
    }
    instance->timer = 0.0f;
    instance->secondFloat = 0.0f;
    instance->state = 0;
    instance->started = 1;
    return 1;
}

void OnDynObjectImpact(NztDynObject* thrown) {
    if (thrown == nullptr || thrown->owner == nullptr) return;
    NztBaseObject* owner = thrown->owner;
    if (StartSpellEffects(owner, thrown->spellIndex, thrown->Position) != 0) RunObjectEffects(owner, thrown);
}

NztDynObject* SpawnObjectEffect(SpellEffect* record, NztBaseObject* owner) {
    if (record == nullptr) return nullptr;
    const bool typeNamed = NameGiven(record->typeName);
    const uint32_t typeIndex = typeNamed ? NamedTypeIndex(record->typeName) : GetObjectTypeIndex(DefaultEffectType, 1);
    NztAnim* anim = NameGiven(record->animName) ? LoadAnimFile(record->animName) : nullptr;
    NztDynObject* thrown = LoadObjectFile(typeIndex);
    if (thrown == nullptr) return nullptr;
    thrown->body.radius = record->amount;
    if (record->amount == 0.0f) {
        // It flies through everything.
        thrown->bodyPtr = nullptr;
        thrown->sweepHit = SweepHitRecord{};
    }
    float start[3];
    if (owner != nullptr) {
        thrown->SetRange(owner->GetRange());
        owner->GetPointPosition(record->attachPoint, start);
        if (record->followOwner != 0) {
            thrown->followedObject = owner;
            thrown->followedPoint = record->attachPoint;
            thrown->visibilityTest = owner->visibilityTest;
            if (record->orient != 0) thrown->boneOrientation = 1;
        } else {
            if (record->orient != 0 && record->attachPoint >= 0) {
                float point[9];
                owner->GetPointRotation(record->attachPoint, point);
                float turned[9];
                MatrixMultiply3(point, turned, owner->rotation);
                thrown->SetRotation(turned);
            }
            AddTurned(start, owner->rotation, record->offset, start);
        }
    } else if (record->cameraOrigin != 0) {
        start[0] = MainCamera.eye.x;
        start[1] = MainCamera.eye.y;
        start[2] = MainCamera.eye.z;
        thrown->carrierCamera = &MainCamera;
        if (record->followOwner != 0) {
            thrown->cameraFollow = 1;
            if (record->orient != 0) thrown->boneOrientation = 1;
        } else if (record->orient != 0) {
            thrown->SetRotation(MainCamera.rotation);
            thrown->boneOrientation = 1;
        }
    } else {
        AddPlain(record->basePosition, record->offset, start);
    }
    thrown->SetPosition(start);
    if (anim != nullptr) {
        thrown->BlendToAnim(anim, 0, nullptr, 0);
        thrown->SetAnimFrame(0);
        if (record->animLoops == 0) thrown->playOnce = thrown->frameFade = 1;
    } else {
        thrown->BlendToAnim(nullptr, 0, nullptr, 0);
    }
    if (NameGiven(record->sfxName)) {
        if (NztSfx* sfx = AddSfxType(record->sfxName)) {
            if (typeNamed) {
                sfx->meshSource = thrown;
            } else if (record->followPointObject != 0 && owner != nullptr) {
                NztBaseObject* held = record->attachPoint >= 0 ? owner->GetAttachedObject(record->attachPoint) : nullptr;
                sfx->meshSource = held != nullptr ? held : owner;
            }
            thrown->AttachSfx(sfx);
        }
    }
    return thrown;
}

void LaunchObjectEffect(NztDynObject* thrown, SpellEffect* record, NztBaseObject* object, NztBaseObject* owner,
                        NztBaseObject* target) {
    if (thrown == nullptr || record == nullptr) return;
    float start[3];
    std::copy(thrown->Position, thrown->Position + 3, start);
    bool flies = true;
    if (record->launchMode == LaunchLocal && target == nullptr) {
        std::copy(record->launchVector, record->launchVector + 3, record->worldLaunch);
        AddObjectMotion(object, record->worldLaunch);
    } else if (record->followOwner != 0) {
        thrown->driven = 1;
        flies = false;
    } else {
        float aim[3];
        if (target != nullptr) {
            target->GetPointPosition(HasPoint(target, record->targetPoint) ? record->targetPoint : -1, aim);
        } else {
            AddPlain(record->basePosition, record->launchVector, aim);
        }
        if (aim[0] == start[0] && aim[1] == start[1] && aim[2] == start[2]) {
            thrown->driven = 1;
            flies = false;
        } else if (owner != nullptr && target != nullptr && target != owner) {
            std::copy(record->launchVector, record->launchVector + 3, record->worldLaunch);
            thrown->targetObject = target;
            thrown->aimFlag = static_cast<uint32_t>(record->aimFlag);
            thrown->SetTargetPointFromTarget();
            AddObjectMotion(object, record->worldLaunch);
        } else {
            if (record->launchMode == record->originKind) {
                const float k = 0.1f / std::max(0.1f, record->duration);
                for (int i = 0; i < 3; ++i) record->worldLaunch[i] = (aim[i] - start[i]) * k;
            } else {
                std::copy(record->launchVector, record->launchVector + 3, record->worldLaunch);
            }
            AddObjectMotion(object, record->worldLaunch);
        }
    }
    if (flies) {
        std::copy(record->worldLaunch, record->worldLaunch + 3, thrown->launchVelocity);
        std::copy(record->gravity, record->gravity + 3, thrown->gravity);
        thrown->gravityScale = record->gravityScale;
        thrown->inverseGravityScale = record->gravityScale != 0.0f ? 1.0f / record->gravityScale : 0.0f;
        thrown->drag = record->drag;
        thrown->startBounceFactor = std::max(0.0f, record->bounce) + 0.01f;
        thrown->maxBounces = static_cast<uint32_t>(std::max(0, record->maxBounces));
    }
    thrown->SetPosition(start);
    thrown->lifeChange = record->lifeChange;
    thrown->effectRadius = record->effectRadius;
    thrown->effectRadiusSq = record->effectRadius * record->effectRadius;
    if (owner != nullptr) {
        if (record->orient != 0 && record->followOwner == 0 && HasPoint(owner, record->attachPoint)) {
            float point[9];
            owner->GetPointRotation(record->attachPoint, point);
            float turned[9];
            MatrixMultiply3(point, turned, owner->rotation);
            thrown->SetRotation(turned);
        } else {
            thrown->SetRotation(owner->rotation);
        }
    }
    thrown->lifetime = std::max(0.0f, record->duration);
    thrown->owner = object;
    if (record->callbackFlag != 0) thrown->impactCallback = ImpactRunsSecondList;
    thrown->lingerOnStop = 1;
    thrown->Launch();
    PlayEffectSound(*record, thrown->Position);
}

NztThunder* SpawnThunderEffect(SpellEffect* record, NztBaseObject* owner) {
    if (record == nullptr) return nullptr;
    NztThunder* bolt = CreateThunder();
    if (bolt == nullptr) return nullptr;
    bolt->texture = ThunderTexture;
    float* start = bolt->startPosition;
    if (owner != nullptr) {
        bolt->spellIndex = owner->spellIndex;
        PlaceBoltEnd(owner, record->attachPoint, record->offset, &record->followOwner, start, &bolt->startObject,
                     &bolt->startPoint);
    } else if (record->cameraOrigin != 0) {
        start[0] = MainCamera.eye.x;
        start[1] = MainCamera.eye.y;
        start[2] = MainCamera.eye.z;
    } else {
        AddPlain(record->basePosition, record->offset, start);
    }
    return bolt;
}

void AimThunderEffect(NztThunder* bolt, SpellEffect* record, NztBaseObject* owner, NztBaseObject* object,
                      NztBaseObject* target) {
    if (bolt == nullptr || record == nullptr) return;
    float* end = bolt->endPosition;
    if (record->launchMode == LaunchLocal) {
        // The vector is in the owner's frame; without an owner it is taken as a world vector.
        if (owner != nullptr) {
            AddTurned(bolt->startPosition, owner->rotation, record->launchVector, end);
        } else {
            AddPlain(bolt->startPosition, record->launchVector, end);
        }
    } else if (target != nullptr) {
        PlaceBoltEnd(target, record->targetPoint, record->launchVector, &record->orient, end, &bolt->endObject,
                     &bolt->endPoint);
    } else {
        AddPlain(record->basePosition, record->launchVector, end);
    }
    bolt->duration = bolt->remaining = record->duration;
    if (record->callbackFlag != 0) {
        bolt->endCallback = OnThunderEnd;
        bolt->notedObject = object;
    }
    bolt->active = 1;
    if (owner != nullptr) PlayEffectSound(*record, owner->Position);
}

void OnThunderEnd(NztThunder* bolt) {
    if (bolt == nullptr || bolt->notedObject == nullptr) return;
    NztBaseObject* noted = bolt->notedObject;
    const float* at = bolt->endObject != nullptr ? bolt->endObject->Position : nullptr;
    // A failed cast leaves the instance whose effects made the bolt: running it again would
    // start the same bolts anew.
    if (StartSpellEffects(noted, bolt->spellIndex, at) != 0) RunObjectEffects(noted, nullptr);
}
