#include "world/thunder.h"

void RemoveAllThunders() {}
