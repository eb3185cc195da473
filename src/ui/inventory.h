// Inventories.
#pragma once

void DestroyAllInventories();
