// The user's sound and music volumes (0 to 1), which the settings screen sets and the sound and
// music fades end at.
#pragma once

extern float SoundVolume;
extern float MusicVolume;
