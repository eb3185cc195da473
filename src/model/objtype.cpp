#include "model/objtype.h"

NztEntity* PlayerEntity = nullptr;
NztEntity** EntityList = nullptr;
uint32_t EntityCount = 0;

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
void FreeAllSfxDefs() {}
void DeleteAllMeshData() {}
void DeleteAllAnims() {}
