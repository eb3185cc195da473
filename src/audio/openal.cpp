#include "audio/openal.h"

bool StartSoundSystem() { return false; }
void StopSoundSystem() {}
