#include "world/registry.h"

void ClearObjectLists() {}
void AllocObjectLists() {}
void FreeObjectLists() {}
void UpdateObjects() {}
void LateUpdateObjects() {}
void RenderObjects() {}
