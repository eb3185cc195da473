// The character list: making, finding, replacing and removing characters, the player, and the
// character half of object types. The list itself (EntityList, EntityCount, PlayerEntity) is
// declared with the other object lists in objects/objtype.h.
#pragma once

#include <cstdint>

#include "objects/objtype.h"

struct NztAnim;
class NztBaseObject;
class NztEntity;
struct NztMesh;

NztEntity* CreateEntity(NztMesh* mesh);
void RemoveEntityAt(uint32_t index, bool shrink);
void RemoveEntity(NztEntity* entity);
void RemoveAllEntities();
// Keeps the player and the characters driven over the network.
void RemoveNonPlayerEntities();
// The old player gets its control fields reset and event 41; the new one is cleared and gets 40.
void SetPlayerEntity(NztEntity* entity);
// A character of the type name ("NZT1001"), loading the type on first use.
NztEntity* GetEntityType(const char* typeName);
NztEntity* LoadEntityType(uint32_t typeIndex, const char* baseName, uint32_t number);
// Loads slot `slot` of the type's mesh from the type's animation folder; null (slot emptied) when
// the file is missing or refused.
NztAnim* LoadEntityAnim(uint32_t slot, uint32_t typeIndex);
NztAnim* LoadEntityAnimByName(uint32_t slot, uint32_t typeIndex, const char* name);
NztEntity* CloneEntity(NztEntity* entity);
// Moves the old character's state onto the new one, re-points references and removes the old one.
// With takeRecord the new one also takes the old one's characteristics (name, speeds, size, radii,
// abilities); without it, it keeps its own.
void CopyEntityState(NztEntity* old, NztEntity* replacement, bool takeRecord = true);
void ReplaceEntityReferences(NztEntity* replacement, NztEntity* old);
NztEntity* FindNearestEntity(const float point[3]);
NztEntity* FindEntityById(int32_t id);
NztEntity* FindEntityType(const char* name, uint32_t number);
int32_t IndexOfEntity(const NztEntity* entity);
// Every character within the radius gets life + amount x (1 - d^2/r^2) and event 33.
void ApplyRadialLifeChange(float amount, const float point[3], float radiusSq);
// The sum of the answers.
uint32_t BroadcastEventToEntities(uint32_t code);
void ClearEntityContacts(NztBaseObject* object);
void RestartAnimOnEntities(NztAnim* anim);

// Fills the world floor's table of what it asks of characters (objects/charlinks.h).
void InstallCharacterLinks();
