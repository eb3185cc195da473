#include "ui/inventory.h"

void DestroyAllInventories() {}
