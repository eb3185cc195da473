// The positional sound table: OpenAL sources handed out by name and owner, fixed channels, the
// listener, and the master gain with its fade.
#pragma once

#include <cstdint>

class NztBase3D;

constexpr int SoundSlotCount = 1056;    // slots 0..1023 handed out by LoadSound, then 32 fixed
constexpr int HandedOutSlotCount = 1024;
// A failed load, and what plug-ins get back for one: never a slot, so a caller that plays or
// sets the gain of the answer unchecked does nothing (every operation taking a slot ignores it).
constexpr int NoSoundSlot = -1;

struct SoundSlot {
    uint32_t buffer;     // OpenAL buffer, 0 until first used
    uint32_t source;     // OpenAL source, created with the buffer
    uint32_t nameKey;    // NameChecksum of the WAV path
    uint32_t spare;
    uint32_t playCount;  // 0 when loaded, +1 per play
    float gain;
    NztBase3D* owner;    // the object the sound follows, or null
};

struct SoundTableData {
    uint32_t count;  // slots handed out, at most 1024
    SoundSlot slots[SoundSlotCount];
};
extern SoundTableData SoundTable;

extern float MasterSoundGain;
extern float ListenerPosition[3];

// A gain that moves in equal steps, one per 0.1 s tick: the master sound fade and the music fade.
enum GainFadeState : uint32_t {
    FadeNone = 0,
    FadeIn = 1,          // rising from silence to the setting
    FadeOutAndStop = 2,  // falling to silence, then what plays stops
    FadeRise = 3,        // rising to a new setting
    FadeFall = 4,        // falling to a new setting
};
struct GainFade {
    float gain;
    float step;  // gain change per tick
    uint32_t state;
};
// One tick: states 1, 3 and 4 move the gain towards `end` and settle there; state 2 moves it
// towards 0 and answers true once it got there (the caller then stops and settles the state).
bool StepGainFade(GainFade& fade, float end);
// Moves `setting` to `target` at once and starts a fade of the gain from the old setting to it
// over `steps` ticks (none when steps is 0 or the setting already is the target). Answers the
// gain to apply now.
float StartGainFade(GainFade& fade, float& setting, uint32_t steps, float target);

extern GainFade MasterSoundFade;

// Where an owner is: the world supplies a reader of an object's position (3 floats). Without
// one, owned sounds play at the listener and do not move.
using SoundOwnerPositionFn = const float* (*)(const NztBase3D* owner);
void SetSoundOwnerPositionReader(SoundOwnerPositionFn reader);

bool InitSound();
// A slot holding the WAV for this name and owner (found or loaded), or NoSoundSlot.
int LoadSound(const char* name, NztBase3D* owner);
int LoadSoundSlot(NztBase3D* owner, int index, const char* name);
// The slot LoadSound would fill for a new sound: the next unused one, else one without owner
// (highest first), else the lowest that was played, else 0. Grows the count.
int ChooseSoundSlot();

int PlaySoundSlot(int index, const float* position, uint32_t looping);
int PlaySoundSlotAtListener(int index, uint32_t looping);
int LoadAndPlaySoundAtListener(const char* name, int index, uint32_t looping);
int LoadAndPlaySoundAt(const char* name, int index, const float* position);
int LoadAndPlayOwnerSoundSlot(const char* name, NztBase3D* owner, int index, uint32_t looping);
int PlayOwnerSound(const char* name, NztBase3D* owner, uint32_t looping);
void StopOwnerSounds(const NztBase3D* owner);
void UpdateSoundPositions();
// Moves the listener; rotation is the camera's 3x3 matrix (row 2 is the view axis), or null to
// keep the orientation.
void UpdateListener(const float* position, const float* rotation);

void SetSoundGain(int index, float gain);
void AddSoundGain(int index, float delta);
float ClampSoundPitch(float pitch);
void SetSoundPitch(int index, float pitch);
// The slot's pitch: its source's, or the last one set while it has none (1.0 before any).
float GetSoundPitch(int index);
void SetMasterSoundGain(float gain);
void ResetSoundGains();
void StopAllSounds();
void DeleteAllSounds();
void FadeMasterSound(uint32_t steps, float target);
// One fade step; the frame calls it every 0.1 s.
void UpdateMasterSoundFade();
