// Object types, libraries and instance lists.
#pragma once

#include <cstdint>

class NztEntity;

extern NztEntity* PlayerEntity;
extern NztEntity** EntityList;
extern uint32_t EntityCount;

uint32_t GetObjectTypeIndex(const char* name, uint32_t number);
NztEntity* GetEntityType(const char* typeName);
void SetPlayerEntity(NztEntity* entity);
void ResetAnimDefaults();
void FreeTypeTables();
uint32_t BroadcastEventToEntities(uint32_t code);
uint32_t BroadcastEventToScnObjects(uint32_t code);
void RemoveAllEntities();
void RemoveAllScnObjects();
void DeleteAllCollideObjects();
void DeleteAllDynObjects();
void DeleteAllLights();

class NztLight;
class NztDynObject;
// The light library and the dynamic-object library.
extern NztLight** LightList;
extern uint32_t LightCount;
void DeleteLightAt(uint32_t index);
extern NztDynObject** DynObjectList;
extern uint32_t DynObjectCount;
void DeleteAllMeshData();
void DeleteAllAnims();

struct NztAnim;
// A new empty animation owned by the animation library.
NztAnim* CreateAnim();
// Frees an animation of the library and removes it from the list.
void DeleteAnim(NztAnim* anim);
