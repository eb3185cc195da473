#include "world/gamelight.h"

void DeleteAllGameLights() {}
