// Sound system start-up and shutdown.
#pragma once

bool StartSoundSystem();
void StopSoundSystem();
