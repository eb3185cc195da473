#include "ui/gamemap.h"

void DestroyAllGameMaps() {}
