// Object registries and the frame passes.
#pragma once

#include <cstdint>

class NztBase3D;

// A registry: a growable array of object pointers.
struct ObjectList {
    NztBase3D** Objects = nullptr;
    int32_t Count = 0;
    int32_t Capacity = 0;
};
// The lights near the camera (NztLight objects).
extern ObjectList NearLightList;

void ClearObjectLists();
void AllocObjectLists();
void FreeObjectLists();
void UpdateObjects();
void LateUpdateObjects();
void RenderObjects();

class NztEventObject;
// The object with event records under the cursor (client coordinates), or null.
NztEventObject* PickEntityOnRay(int32_t x, int32_t y);

class NztCollideObject;
class NztDynObject;
class NztEntity;
class NztScnObject;
int32_t RegisterEntity(NztEntity* object);
int32_t UnregisterEntity(NztEntity* object);
int32_t RegisterScnObject(NztScnObject* object);
int32_t UnregisterScnObject(NztScnObject* object);
int32_t RegisterCollideObject(NztCollideObject* object);
int32_t UnregisterCollideObject(NztCollideObject* object);
int32_t RegisterDynObject(NztDynObject* object);
int32_t UnregisterDynObject(NztDynObject* object);
