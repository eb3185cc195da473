// The pause menu and the settings screen.
#pragma once

extern float SoundVolume;
extern float MusicVolume;

void LayoutSettingsScreen();
