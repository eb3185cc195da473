#include "ui/counter.h"

void DestroyAllCounters() {}
