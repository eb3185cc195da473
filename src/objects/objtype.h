// Object types, the libraries that own meshes, animations, lights, collision objects and dynamic
// objects, and the owning instance lists of characters (entities) and scene objects.
//
// Objects that share a model share an object type: the type's mesh is loaded with its first live
// instance and released with its last. A type name ends in a level-of-detail digit and a three-digit
// model number ("NZT1001": base "NZT", digit 1, number 001); the mesh files of levels 0 to 5 use the
// digits 1 to 6.
//
// Libraries and lists are pointer arrays with a count and a capacity that own their elements. Full
// lists grow to count + 10; a removal that asks for it shrinks the array to count + 10 when the
// capacity exceeds count + 20. Type and name tables grow by 100 records. Main thread only.
#pragma once

#include <cstdint>

#include "model/animlib.h"

struct NztAnim;
struct NztMesh;
struct SfxDef;
class NztBaseObject;
class NztCollideObject;
class NztDynObject;
class NztEntity;
class NztLight;
class NztScnObject;

// One loaded object type, keyed by (NameChecksum of the name, number).
struct NztObjectType {
    char Name[256];    // base name, without the level digit and the number
    char AnimFolder[256];
    uint32_t Checksum;
    uint32_t Number;
    NztMesh* Mesh;           // null until the first instance loads it
    uint32_t InstanceCount;  // live instances
};
// Marks a mesh that belongs to no type (it is released with its one instance).
inline constexpr uint32_t NoObjectType = 0xFFFFFFFFu;

extern NztObjectType* ObjectTypeTable;
extern uint32_t ObjectTypeCount;

// One particle-effect type; the effect code fills and reads it.
struct SfxTypeRecord {
    char Name[256];
    uint32_t Checksum;
    SfxDef* Def;
    int32_t InstanceCount;
};
extern SfxTypeRecord* SfxTypeTable;
extern uint32_t SfxTypeCount;
// A new zeroed record at the end of the table (grown by 100 when full).
SfxTypeRecord* AppendSfxType();

// The animation slots of a character type and the file-name suffix of each.
inline constexpr uint32_t AnimNameCount = 236;
extern const char* const AnimNameTable[AnimNameCount];
struct AnimDefaultFlags {
    uint32_t JumpStartFlag;
    uint32_t DiveStartFlag;
    uint32_t IdleFlag;
    uint32_t LoopFlag;
};
extern AnimDefaultFlags AnimDefaults[AnimNameCount];
// Clears AnimDefaults and sets the flags of the jump-start, dive-start, idle and looping slots.
void ResetAnimDefaults();
// Slot of a name in AnimNameTable (case-insensitive), -1 when none.
int32_t FindAnimSlot(const char* name);

// Index of the type (name, number), searched from the last; a new record when there is none.
uint32_t GetObjectTypeIndex(const char* name, uint32_t number);
// Frees the type, effect-type and animation-name tables.
void FreeTypeTables();

// Mesh library.
extern NztMesh** MeshList;
extern uint32_t MeshCount;
extern uint32_t MeshCapacity;
NztMesh* CreateMeshData();
void DeleteMeshData(uint32_t index, bool shrink);
// Deletes the mesh when the library owns it; other pointers are left alone.
void ReleaseMeshData(NztMesh* mesh);
void DeleteAllMeshData();

// The animation library and the animations shared by name are model/animlib.h.

// Light library, with the light selected by the editor (made and deleted by effects/light.h).
extern NztLight** LightList;
extern uint32_t LightCount;
extern uint32_t LightCapacity;
extern int32_t SelectedLightIndex;

// Dynamic-object library (made and deleted by effects/dynobject.h).
extern NztDynObject** DynObjectList;
extern uint32_t DynObjectCount;
extern uint32_t DynObjectCapacity;

// Collision-object library (the collision code fills it).
extern NztCollideObject** CollideObjectList;
extern uint32_t CollideObjectCount;
extern uint32_t CollideObjectCapacity;
// Gives the object's mesh back, releases its collision data and destroys it.
void DeleteCollideObject(NztCollideObject* object);
void DeleteCollideObjectAt(uint32_t index, bool shrink);
void DeleteAllCollideObjects();

// Characters.
extern NztEntity* PlayerEntity;
extern NztEntity** EntityList;
extern uint32_t EntityCount;
extern uint32_t EntityCapacity;

// Scene objects.
extern NztScnObject** ScnObjectList;
extern uint32_t ScnObjectCount;
extern uint32_t ScnObjectCapacity;
NztScnObject* CreateScnObject(NztMesh* mesh);
void RemoveScnObjectAt(uint32_t index, bool shrink);
void RemoveScnObject(NztScnObject* object);
void RemoveAllScnObjects();

// Loading instances; each answers the new instance or null.
NztScnObject* GetScnObjectType(const char* typeName);
NztScnObject* LoadScnObjectType(uint32_t typeIndex, uint32_t number);
// The animation "OBJECTS/<type's animation folder><name>.QVa" in slot `slot` of the type's table;
// null (the slot unchanged) for a name that is empty or unsafe or a file that does not load.
NztAnim* LoadObjectAnim(uint32_t slot, uint32_t typeIndex, const char* name);
// A scene object outside the type table with the mesh "OBJECTS/<name>.QVo".
NztScnObject* CreateScnObjectFromFile(const char* name);
// A model for a preview window alone (the image panel): the mesh "OBJECTS/<name>.QVo" on a scene
// object that is in no instance list and no registry, so that no world pass, scene load or shutdown
// sweep ever sees it. Its owner frees it, once, with DeletePreviewObject.
NztScnObject* CreatePreviewObjectFromFile(const char* name);
void DeletePreviewObject(NztScnObject* object);
// The animation "OBJECTS/<name>.QVa", shared by name; null for an empty name or a missing file.
NztAnim* LoadAnimFile(const char* name);

// Instance helpers.
NztScnObject* CloneScnObject(NztScnObject* object);
void ReplaceScnObject(NztScnObject* old, NztScnObject* replacement);
NztScnObject* FindScnObjectById(int32_t id);
NztScnObject* FindScnObjectByModel(const char* name, uint32_t number);
int32_t IndexOfScnObject(const NztScnObject* object);
// Event 34 to every registered scene object within the radius but self.
void SendRadiusEvent(float radiusSq, const float point[3], const NztBaseObject* self);
uint32_t BroadcastEventToScnObjects(uint32_t code);

// Event codes raised here.
inline constexpr uint32_t EventLifeChanged = 33;
inline constexpr uint32_t EventWithinRadius = 34;
inline constexpr uint32_t EventBecomesPlayer = 40;
inline constexpr uint32_t EventStopsBeingPlayer = 41;
