// The positional sound table.
#pragma once

bool InitSound();
void DeleteAllSounds();
void StopAllSounds();
void SetMasterSoundGain(float gain);
void UpdateMasterSoundFade();
