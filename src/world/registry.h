// Object registries and the frame passes.
#pragma once

#include <cstdint>

void ClearObjectLists();
void AllocObjectLists();
void FreeObjectLists();
void UpdateObjects();
void LateUpdateObjects();
void RenderObjects();

class NztEventObject;
// The object with event records under the cursor (client coordinates), or null.
NztEventObject* PickEntityOnRay(int32_t x, int32_t y);
