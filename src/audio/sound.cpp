#include "audio/sound.h"

bool InitSound() { return false; }
void DeleteAllSounds() {}
void StopAllSounds() {}
void SetMasterSoundGain(float) {}
void UpdateMasterSoundFade() {}
