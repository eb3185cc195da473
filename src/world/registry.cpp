#include "world/registry.h"

ObjectList NearLightList;

void ClearObjectLists() {}
void AllocObjectLists() {}
void FreeObjectLists() {}
void UpdateObjects() {}
void LateUpdateObjects() {}
void RenderObjects() {}
NztEventObject* PickEntityOnRay(int32_t, int32_t) { return nullptr; }
int32_t RegisterEntity(NztEntity*) { return 0; }
int32_t UnregisterEntity(NztEntity*) { return 0; }
int32_t RegisterScnObject(NztScnObject*) { return 0; }
int32_t UnregisterScnObject(NztScnObject*) { return 0; }
int32_t RegisterCollideObject(NztCollideObject*) { return 0; }
int32_t UnregisterCollideObject(NztCollideObject*) { return 0; }
int32_t RegisterDynObject(NztDynObject*) { return 0; }
int32_t UnregisterDynObject(NztDynObject*) { return 0; }
