#include "ui/menu.h"

float SoundVolume = 1.0f;
float MusicVolume = 1.0f;

void LayoutSettingsScreen() {}
