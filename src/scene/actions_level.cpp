// Level, object type, sky, save-slot, music and sound actions (types 1 to 13).
#include <algorithm>
#include <cstdio>

#include "audio/music.h"
#include "audio/openal.h"
#include "audio/sound.h"
#include "character/entity.h"
#include "collision/collide.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "effects/sky.h"
#include "net/netclient.h"
#include "objects/objtype.h"
#include "scene/actions.h"
#include "scene/sceneevents.h"
#include "ui/menu.h"

namespace {

// Sounds addressed by number use the fixed slots from 1024: n names slot n + 1024.
constexpr int32_t kNumberedSoundBase = 1024;

int32_t Round(float v) { return RoundToInt(static_cast<double>(v)); }

// A fade of round(v x 10) steps of 0.1 s; none for zero or less.
uint32_t FadeSteps(float seconds) { return static_cast<uint32_t>(std::max(0, Round(seconds * 10.0f))); }

int32_t NumberedSlot(float v) {
    const int64_t slot = int64_t{Round(v)} + kNumberedSoundBase;
    return static_cast<int32_t>(std::clamp<int64_t>(slot, 0, SoundSlotCount - 1));
}

// The scene object (kind 4) or character (kind 5) the record names.
NztBaseObject* TargetObject(const EventRecord& r) {
    if (r.TargetKind == ObjectKindScn) return FindScnObjectById(r.TargetId);
    if (r.TargetKind == ObjectKindEntity) return FindEntityById(r.TargetId);
    return nullptr;
}

// Every record that names the character with id `from` names the one with id `to` instead.
int32_t RenamedFrom = 0;
int32_t RenamedTo = 0;
void RenameCharacterIn(NztEventObject* owner) {
    for (int32_t i = 0; i < owner->eventRecordCount; ++i) {
        EventRecord& r = owner->eventRecords[i];
        if (r.TargetKind == ObjectKindEntity && r.TargetId == RenamedFrom) r.TargetId = RenamedTo;
        if (r.Target2Kind == ObjectKindEntity && r.Target2Id == RenamedFrom) r.Target2Id = RenamedTo;
        if (r.CondKind == ObjectKindEntity && r.CondIndex == RenamedFrom) r.CondIndex = RenamedTo;
    }
}
void RenameCharacterInRecords(int32_t from, int32_t to) {
    if (from == to) return;
    RenamedFrom = from;
    RenamedTo = to;
    ForEachEventOwner(RenameCharacterIn);
}

}  // namespace

void StartLevelAction(EventRecord* r) {
    // A script names a level, which lives in the scene folder (or pack); a name that is not a plain
    // name would reach outside it.
    if (!IsPlainName(r->ParamName)) {
        std::fprintf(stderr, "scene: level name refused: %s\n", r->ParamName);
        return;
    }
    if (SceneActions.startLevel != nullptr) SceneActions.startLevel(r->ParamName, 1, 1);
}

void ReplaceObjectTypeAction(EventRecord* r) {
    char type[600];
    if (r->TargetKind == ObjectKindScn) {
        NztScnObject* old = FindScnObjectById(r->TargetId);
        if (old == nullptr) return;
        const bool ok = r->ParamName[0] == 0 ? FormatPath(type, sizeof type, "SCNOBJECTS/%s", r->Text)
                                             : FormatPath(type, sizeof type, "SCNOBJECTS/%s/%s", r->ParamName, r->Text);
        NztScnObject* replacement = ok ? GetScnObjectType(type) : nullptr;
        if (replacement == nullptr) return;
        const bool collides = old->hasCollision != 0 || replacement->hasCollision != 0;
        // The replacement answers to the old id: what other objects wait to do to it still runs.
        old->HandOverIdentity();
        ReplaceScnObject(old, replacement);
        if (collides) {
            FreeCollideGrid();
            BuildCollideGrid();
        }
    } else if (r->TargetKind == ObjectKindEntity) {
        NztEntity* old = FindEntityById(r->TargetId);
        if (old == nullptr) return;
        const bool ok = r->ParamName[0] == 0 ? FormatPath(type, sizeof type, "%s", r->Text)
                                             : FormatPath(type, sizeof type, "%s/%s", r->ParamName, r->Text);
        NztEntity* replacement = ok ? GetEntityType(type) : nullptr;
        if (replacement == nullptr) return;
        const bool wasPlayer = old == PlayerEntity;
        const int32_t id = old->id;
        // The replaced character's state, characteristics and records go to its replacement, a bare
        // type with none of its own, which takes its place and id.
        old->HandOverIdentity();
        CopyEntityState(old, replacement, true);
        replacement->id = id;
        if (wasPlayer) {
            SendNetObjMesh();
            SendPlayerState(1);
        }
    }
}

void SetSkyObjectAction(EventRecord* r) {
    switch (r->Param) {
        case 0: LoadSkyObject(r->Text); break;
        case 1: LoadSunObject(r->Text); break;
        case 2: LoadMoonObject(r->Text); break;
        default: break;
    }
}

void TransferPlayerStateAction(EventRecord* r) {
    if (r->TargetKind != ObjectKindEntity) return;
    NztEntity* character = FindEntityById(r->TargetId);
    if (character == nullptr || PlayerEntity == nullptr || character == PlayerEntity) return;
    // The player's state goes to the character, which becomes the player. The player is always
    // id 0: records that named the player go on reaching the player, now this character, and
    // records that named the character by its own id are renamed to follow it. The player's
    // records go with the player, so its script runs on whatever body it drives; the body keeps
    // the characteristics it was placed with (speeds, size, radii, abilities), which fit it.
    const int32_t formerId = character->id;
    PlayerEntity->HandOverIdentity();
    CopyEntityState(PlayerEntity, character, false);
    character->id = 0;
    if (formerId >= 0) RenameCharacterInRecords(formerId, 0);
    SendNetObjMesh();
    if (NetClient != nullptr && PlayerEntity != nullptr) {
        if (PlayerEntity->parent != nullptr) SendObjectStatesFull(1);
        else SendObjectStates(1);
    }
}

void SaveSlotAction(EventRecord* r) {
    if (r->Param < 0 || r->Param > 4) return;
    if (SceneActions.saveSlot != nullptr) SceneActions.saveSlot(r->Param, r->Param <= 1 ? nullptr : r->Text2);
}

void PlayMusicAction(EventRecord* r) { PlayMusicWithFade(r->ParamName, FadeSteps(r->Value1)); }

void StopMusicAction(EventRecord* r) { StopMusicWithFade(FadeSteps(r->Value1)); }

void FadeMusicAction(EventRecord* r) { FadeMusicTo(FadeSteps(r->Value2), r->Value1); }

void LoadSoundAction(EventRecord* r) {
    switch (r->Param2) {
        case 1: {
            const int slot = LoadSound(r->ParamName, nullptr);
            if (slot != NoSoundSlot) PlaySoundSlotAtListener(slot, 1);
            break;
        }
        case 2: {
            const int slot = NumberedSlot(r->Value1);
            if (LoadSoundSlot(nullptr, slot, r->ParamName) != NoSoundSlot) PlaySoundSlotAtListener(slot, 0);
            break;
        }
        case 3: LoadAndPlaySoundAtListener(r->ParamName, NumberedSlot(r->Value1), 1); break;
        default: {
            const int slot = LoadSound(r->ParamName, nullptr);
            if (slot != NoSoundSlot) PlaySoundSlotAtListener(slot, 0);
            break;
        }
    }
}

void PlaySoundAtObjectAction(EventRecord* r) {
    NztBaseObject* owner = TargetObject(*r);
    if (owner == nullptr || owner->registered == 0) return;
    switch (r->Param2) {
        case 1: {
            const int slot = LoadSound(r->ParamName, owner);
            if (slot != NoSoundSlot) PlaySoundSlot(slot, owner->Position, 1);
            break;
        }
        case 2: LoadAndPlayOwnerSoundSlot(r->ParamName, owner, NumberedSlot(r->Value1), 0); break;
        case 3: LoadAndPlayOwnerSoundSlot(r->ParamName, owner, NumberedSlot(r->Value1), 1); break;
        default: PlayOwnerSound(r->ParamName, owner, 0); break;
    }
}

void StopSoundsAction(EventRecord* r) {
    if (r->Param != 0) {
        const uint32_t source = SoundTable.slots[NumberedSlot(r->Value1)].source;
        if (OpenAL.alSourceStop != nullptr && source != 0) OpenAL.alSourceStop(source);
        return;
    }
    const int32_t steps = Round(r->Value1 * 10.0f);
    if (steps != 0) {
        // Every sound fades out from the user's volume.
        MasterSoundFade.state = FadeOutAndStop;
        MasterSoundFade.gain = SoundVolume;
        MasterSoundFade.step = SoundVolume / static_cast<float>(steps);
    } else {
        MasterSoundFade.state = FadeNone;
        MasterSoundFade.gain = 0.0f;
        StopAllSounds();
    }
    SetMasterSoundGain(SoundVolume);
}

void SetSoundGainsAction(EventRecord* r) {
    switch (r->Param) {
        case 0: FadeMasterSound(FadeSteps(r->Value2), r->Value1); break;
        case 1: SetSoundGain(Round(r->Value2) + kNumberedSoundBase, r->Value1); break;
        case 2: FadeMasterSound(FadeSteps(r->Value2), r->Value1 + SoundVolume); break;
        case 3: AddSoundGain(Round(r->Value2) + kNumberedSoundBase, r->Value1); break;
        case 4: ResetSoundGains(); break;
        default: break;
    }
}

void SetSoundSourceParamAction(EventRecord* r) {
    float pitch;
    if (r->Param == 0) {
        pitch = r->Value1 * 1.5f + 0.5f;
    } else {
        // 1 plus a random value in [-Value1, Value1].
        pitch = 1.0f + r->Value1 * (2.0f * NextObjectRandom() - 1.0f);
    }
    SetSoundPitch(Round(r->Value2) + kNumberedSoundBase, std::clamp(pitch, 0.5f, 2.0f));
}
