#include "model/objtype.h"

#include "model/anim.h"

NztEntity* PlayerEntity = nullptr;
NztEntity** EntityList = nullptr;
uint32_t EntityCount = 0;
NztLight** LightList = nullptr;
uint32_t LightCount = 0;
NztDynObject** DynObjectList = nullptr;
uint32_t DynObjectCount = 0;

uint32_t GetObjectTypeIndex(const char*, uint32_t) { return 0; }
NztEntity* GetEntityType(const char*) { return nullptr; }
void SetPlayerEntity(NztEntity*) {}
void ResetAnimDefaults() {}
void FreeTypeTables() {}
uint32_t BroadcastEventToEntities(uint32_t) { return 0; }
uint32_t BroadcastEventToScnObjects(uint32_t) { return 0; }
void RemoveAllEntities() {}
void RemoveAllScnObjects() {}
void DeleteAllCollideObjects() {}
void DeleteAllDynObjects() {}
void DeleteAllLights() {}
void DeleteLightAt(uint32_t) {}
void DeleteAllMeshData() {}
void DeleteAllAnims() {}

// The animation library proper comes with the object types; until then animations are plain
// allocations.
NztAnim* CreateAnim() { return new NztAnim(); }
void DeleteAnim(NztAnim* anim) { delete anim; }
