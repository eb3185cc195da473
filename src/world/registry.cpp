#include "world/registry.h"

ObjectList NearLightList;

void ClearObjectLists() {}
void AllocObjectLists() {}
void FreeObjectLists() {}
void UpdateObjects() {}
void LateUpdateObjects() {}
void RenderObjects() {}
NztEventObject* PickEntityOnRay(int32_t, int32_t) { return nullptr; }
