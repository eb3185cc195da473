// The pause menu and the settings screen.
#pragma once

#include "audio/volume.h"

void LayoutSettingsScreen();
