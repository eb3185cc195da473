#include "world/gamelight.h"

void DeleteAllGameLights() {}

void NztGameLight::SyncLight() {}
