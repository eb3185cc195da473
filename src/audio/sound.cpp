#include "audio/sound.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/openal.h"
#include "core/paths.h"

float SoundVolume = 1.0f;
float MusicVolume = 1.0f;
#include "audio/volume.h"

SoundTableData SoundTable;
float MasterSoundGain = 1.0f;
float ListenerPosition[3] = {0.0f, 0.0f, 0.0f};
GainFade MasterSoundFade;

namespace {

SoundOwnerPositionFn ownerPositionReader = nullptr;

// 2 to the power 64: a reference distance at which nothing is ever attenuated.
constexpr float NoAttenuationDistance = 1.8446744e19f;
constexpr float SoundReferenceDistance = 50.0f;
constexpr int FixedSlotFirst = HandedOutSlotCount;

bool ValidSlot(int index) { return index >= 0 && index < SoundSlotCount; }

int ClampSlot(int index) { return index < 0 ? 0 : (index >= SoundSlotCount ? SoundSlotCount - 1 : index); }

// The source of a slot when OpenAL can be called on it, else 0.
ALuint SourceOf(int index) {
    return ValidSlot(index) && SoundSystemActive() ? SoundTable.slots[index].source : 0;
}

const float* OwnerPosition(const NztBase3D* owner) {
    const float* p = owner && ownerPositionReader ? ownerPositionReader(owner) : nullptr;
    return p ? p : ListenerPosition;
}

void SetSourceGain(int index, float gain) {
    if (ALuint source = SourceOf(index)) OpenAL.alSourcef(source, AL_GAIN, gain);
}

int PlayAt(int index, const float* position, uint32_t looping, float referenceDistance) {
    if (!ValidSlot(index)) return NoSoundSlot;
    SoundSlot& slot = SoundTable.slots[index];
    if (ALuint source = SourceOf(index)) {
        OpenAL.alSourcef(source, AL_GAIN, slot.gain * MasterSoundGain);
        OpenAL.alSourcei(source, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
        OpenAL.alSourcefv(source, AL_POSITION, position ? position : ListenerPosition);
        OpenAL.alSourcef(source, AL_REFERENCE_DISTANCE, referenceDistance);
        OpenAL.alSourcePlay(source);
    }
    ++slot.playCount;
    return index;
}

// Lets a slot go quiet and forgets what it held; its buffer and source stay for reuse.
void ReleaseSlot(SoundSlot& slot) {
    if (slot.source && SoundSystemActive()) {
        OpenAL.alSourceStop(slot.source);
        OpenAL.alSourcei(slot.source, AL_BUFFER, 0);
    }
    slot.nameKey = 0;
    slot.spare = 0;
    slot.playCount = 0;
    slot.owner = nullptr;
}

template <typename Fn>
void ForEachUsedSlot(Fn fn) {
    for (int i = static_cast<int>(SoundTable.count); i-- > 0;) fn(i, SoundTable.slots[i]);
    for (int i = FixedSlotFirst; i < SoundSlotCount; ++i) fn(i, SoundTable.slots[i]);
}

}  // namespace

void SetSoundOwnerPositionReader(SoundOwnerPositionFn reader) { ownerPositionReader = reader; }

bool InitSound() {
    LoadEaxRam();
    LoadEfx();
    std::memset(&SoundTable, 0, sizeof SoundTable);
    MasterSoundGain = 1.0f;
    std::memset(ListenerPosition, 0, sizeof ListenerPosition);
    for (SoundSlot& slot : SoundTable.slots) slot.gain = 1.0f;
    return true;
}

int ChooseSoundSlot() {
    if (SoundTable.count < HandedOutSlotCount) return static_cast<int>(SoundTable.count++);
    for (int i = HandedOutSlotCount; i-- > 0;) {
        if (!SoundTable.slots[i].owner) return i;
    }
    for (int i = 0; i < HandedOutSlotCount; ++i) {
        if (SoundTable.slots[i].playCount > 0) return i;
    }
    return 0;
}

int LoadSound(const char* name, NztBase3D* owner) {
    if (!name) return NoSoundSlot;
    uint32_t key = NameChecksum(name);
    for (int i = static_cast<int>(SoundTable.count); i-- > 0;) {
        const SoundSlot& slot = SoundTable.slots[i];
        if (slot.nameKey == key && slot.owner == owner) return i;
    }
    if (!SoundSystemActive()) return NoSoundSlot;
    uint32_t countBefore = SoundTable.count;
    int index = LoadSoundSlot(owner, ChooseSoundSlot(), name);
    // A slot handed out for a sound that did not load goes back (its OpenAL objects stay in it
    // for the next load).
    if (index == NoSoundSlot) SoundTable.count = countBefore;
    return index;
}

int LoadSoundSlot(NztBase3D* owner, int index, const char* name) {
    if (!ValidSlot(index) || !name || !SoundSystemActive()) return NoSoundSlot;
    SoundSlot& slot = SoundTable.slots[index];
    slot.owner = owner;
    slot.nameKey = NameChecksum(name);
    slot.playCount = 0;
    if (slot.buffer) {
        OpenAL.alSourceStop(slot.source);
        OpenAL.alSourcei(slot.source, AL_BUFFER, 0);
    } else {
        // OpenAL has fewer sources than the table has slots; a slot it cannot serve stays empty.
        OpenAL.alGetError();
        ALuint buffer = 0, source = 0;
        OpenAL.alGenBuffers(1, &buffer);
        bool ok = OpenAL.alGetError() == AL_NO_ERROR;
        if (ok) {
            OpenAL.alGenSources(1, &source);
            ok = OpenAL.alGetError() == AL_NO_ERROR;
            if (!ok) OpenAL.alDeleteBuffers(1, &buffer);
        }
        if (!ok) {
            slot.nameKey = 0;
            slot.owner = nullptr;
            return NoSoundSlot;
        }
        slot.buffer = buffer;
        slot.source = source;
    }
    if (!LoadWaveToBuffer(name, slot.buffer)) {
        // Forget the name, so the slot is not found as if it held the sound.
        slot.nameKey = 0;
        slot.owner = nullptr;
        return NoSoundSlot;
    }
    OpenAL.alSourcei(slot.source, AL_BUFFER, static_cast<ALint>(slot.buffer));
    return index;
}

int PlaySoundSlot(int index, const float* position, uint32_t looping) {
    return PlayAt(index, position, looping, SoundReferenceDistance);
}

int PlaySoundSlotAtListener(int index, uint32_t looping) {
    return PlayAt(index, ListenerPosition, looping, NoAttenuationDistance);
}

int LoadAndPlaySoundAtListener(const char* name, int index, uint32_t looping) {
    index = ClampSlot(index);
    if (LoadSoundSlot(nullptr, index, name) == NoSoundSlot) return NoSoundSlot;
    return PlaySoundSlotAtListener(index, looping);
}

int LoadAndPlaySoundAt(const char* name, int index, const float* position) {
    index = ClampSlot(index);
    if (LoadSoundSlot(nullptr, index, name) == NoSoundSlot) return NoSoundSlot;
    return PlaySoundSlot(index, position, 0);
}

int LoadAndPlayOwnerSoundSlot(const char* name, NztBase3D* owner, int index, uint32_t looping) {
    index = ClampSlot(index);
    if (LoadSoundSlot(owner, index, name) == NoSoundSlot) return NoSoundSlot;
    return PlaySoundSlot(index, OwnerPosition(owner), looping);
}

int PlayOwnerSound(const char* name, NztBase3D* owner, uint32_t looping) {
    int index = LoadSound(name, owner);
    if (index == NoSoundSlot) return NoSoundSlot;
    return PlaySoundSlot(index, OwnerPosition(owner), looping);
}

void StopOwnerSounds(const NztBase3D* owner) {
    if (!owner) return;
    ForEachUsedSlot([owner](int, SoundSlot& slot) {
        if (slot.owner == owner) ReleaseSlot(slot);
    });
}

void UpdateSoundPositions() {
    if (!SoundSystemActive()) return;
    ForEachUsedSlot([](int, SoundSlot& slot) {
        if (slot.owner && slot.source) OpenAL.alSourcefv(slot.source, AL_POSITION, OwnerPosition(slot.owner));
    });
}

void UpdateListener(const float* position, const float* rotation) {
    if (position) std::memcpy(ListenerPosition, position, sizeof ListenerPosition);
    if (!SoundSystemActive()) return;
    OpenAL.alListenerfv(AL_POSITION, ListenerPosition);
    if (rotation) {
        const float orientation[6] = {-rotation[6], -rotation[7], -rotation[8], 0.0f, 1.0f, 0.0f};
        OpenAL.alListenerfv(AL_ORIENTATION, orientation);
    }
}

void SetSoundGain(int index, float gain) {
    if (!ValidSlot(index)) return;
    SoundTable.slots[index].gain = gain;
    SetSourceGain(index, MasterSoundGain * gain);
}

void AddSoundGain(int index, float delta) {
    if (!ValidSlot(index)) return;
    SoundTable.slots[index].gain += delta;
    SetSourceGain(index, SoundTable.slots[index].gain * MasterSoundGain);
}

float ClampSoundPitch(float pitch) {
    if (pitch > 0.5f && pitch < 2.0f) return pitch;
    return pitch <= 0.5f ? 0.5f : 2.0f;
}

namespace {
// The pitch last given to each slot, for readers when no source answers.
float SlotPitch[SoundSlotCount];
bool SlotPitchSet[SoundSlotCount];
}  // namespace

void SetSoundPitch(int index, float pitch) {
    if (ValidSlot(index)) {
        SlotPitch[index] = ClampSoundPitch(pitch);
        SlotPitchSet[index] = true;
    }
    if (ALuint source = SourceOf(index)) OpenAL.alSourcef(source, AL_PITCH, ClampSoundPitch(pitch));
}

float GetSoundPitch(int index) {
    if (!ValidSlot(index)) return 1.0f;
    if (ALuint source = SourceOf(index)) {
        float pitch = 1.0f;
        OpenAL.alGetSourcef(source, AL_PITCH, &pitch);
        return pitch;
    }
    return SlotPitchSet[index] ? SlotPitch[index] : 1.0f;
}

void SetMasterSoundGain(float gain) {
    MasterSoundGain = gain;
    // Handed-out slots get the bare master gain; their own gain returns with their next play.
    for (int i = 0; i < static_cast<int>(SoundTable.count); ++i) SetSourceGain(i, gain);
    for (int i = FixedSlotFirst; i < SoundSlotCount; ++i) SetSourceGain(i, SoundTable.slots[i].gain * gain);
}

void ResetSoundGains() {
    for (int i = 0; i < 32; ++i) {
        SoundTable.slots[i].gain = 1.0f;
        SetSourceGain(i, MasterSoundGain);
    }
}

void StopAllSounds() {
    ForEachUsedSlot([](int index, SoundSlot&) {
        if (ALuint source = SourceOf(index)) OpenAL.alSourceStop(source);
    });
    DeleteAllSounds();
}

void DeleteAllSounds() {
    // Every slot that holds OpenAL objects gives them back, also one whose sound was released.
    for (SoundSlot& slot : SoundTable.slots) {
        if (!slot.buffer && !slot.source && !slot.nameKey) continue;
        if (SoundSystemActive()) {
            if (slot.source) OpenAL.alDeleteSources(1, &slot.source);
            if (slot.buffer) OpenAL.alDeleteBuffers(1, &slot.buffer);
        }
        std::memset(&slot, 0, sizeof slot);
        slot.gain = 1.0f;
    }
    SoundTable.count = 0;
    std::fill(SlotPitchSet, SlotPitchSet + SoundSlotCount, false);
}

float StartGainFade(GainFade& f, float& setting, uint32_t steps, float target) {
    float old = setting;
    setting = target;
    if (steps == 0 || target == old) return target;
    f.gain = old;
    f.step = (target < old ? old - target : target - old) / static_cast<float>(steps);
    f.state = target < old ? FadeFall : FadeRise;
    return old;
}

void FadeMasterSound(uint32_t steps, float target) {
    SetMasterSoundGain(StartGainFade(MasterSoundFade, SoundVolume, steps, target));
}

bool StepGainFade(GainFade& f, float end) {
    // N steps of (difference / N) in floats can fall a hair short of the end; count that as there.
    const float slack = std::fabs(f.step) * 1e-3f;
    switch (f.state) {
        case FadeIn:
        case FadeRise:
            f.gain += f.step;
            if (f.gain >= end - slack) {
                f.gain = end;
                f.state = FadeNone;
            }
            return false;
        case FadeOutAndStop: f.gain -= f.step; return f.gain <= slack;
        case FadeFall:
            f.gain -= f.step;
            if (f.gain <= end + slack) {
                f.gain = end;
                f.state = FadeNone;
            }
            return false;
        default: return false;
    }
}

void UpdateMasterSoundFade() {
    GainFade& f = MasterSoundFade;
    if (f.state == FadeNone) return;
    if (StepGainFade(f, SoundVolume)) {
        StopAllSounds();
        f.state = FadeNone;
        f.gain = SoundVolume;
    }
    SetMasterSoundGain(f.gain);
}
