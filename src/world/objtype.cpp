#include "world/objtype.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "character/entity.h"
#include "core/ownedlist.h"
#include "character/record.h"
#include "core/paths.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "world/base3d.h"
#include "world/camera.h"
#include "world/events.h"
#include "world/light.h"
#include "world/posing.h"
#include "world/registry.h"
#include "world/sfx.h"
#include "world/trail.h"

NztObjectType* ObjectTypeTable = nullptr;
uint32_t ObjectTypeCount = 0;
SfxTypeRecord* SfxTypeTable = nullptr;
uint32_t SfxTypeCount = 0;
AnimDefaultFlags AnimDefaults[AnimNameCount] = {};

NztMesh** MeshList = nullptr;
uint32_t MeshCount = 0;
NztLight** LightList = nullptr;
uint32_t LightCount = 0;
int32_t SelectedLightIndex = 0;
NztDynObject** DynObjectList = nullptr;
uint32_t DynObjectCount = 0;
NztCollideObject** CollideObjectList = nullptr;
uint32_t CollideObjectCount = 0;
NztEntity* PlayerEntity = nullptr;
NztEntity** EntityList = nullptr;
uint32_t EntityCount = 0;
NztScnObject** ScnObjectList = nullptr;
uint32_t ScnObjectCount = 0;
uint32_t MeshCapacity = 0;
uint32_t LightCapacity = 0;
uint32_t DynObjectCapacity = 0;
uint32_t CollideObjectCapacity = 0;
uint32_t EntityCapacity = 0;
uint32_t ScnObjectCapacity = 0;

const char* const AnimNameTable[AnimNameCount] = {
    "MoveStatic01", "MoveStatic02", "MoveStatic03", "MoveStatic04", "MoveStatic05", "MoveStatic06",
    "MoveStatic07", "MoveStatic08", "MoveStatic09", "MoveStatic10", "MoveStaticTired", "MoveSprintStop",
    "MoveWalk", "MoveRun", "MoveSprint", "MoveBack", "MoveTurnL", "MoveTurnR", "MoveTurn", "MoveStrafL",
    "MoveStrafR", "ActionSwitchEnable", "ActionSwitchDisable", "Action01", "Action02", "Action03",
    "Action04", "Action05", "Action06", "DiveStart", "DiveFastDown", "DiveEndWater", "DiveEndFloor",
    "DiveEndFloorRound", "DiveEndFloorDead01", "DiveEndFloorDead02", "DiveEndFloorRoundDead01",
    "DiveEndFloorRoundDead02", "DiveEndWaterRoundDead01", "DiveEndWaterRoundDead02", "DiveAngelStart",
    "DiveAngleStartStyle", "DiveAngleStartRun", "DiveAngleStartSprint", "JumpStatic", "JumpReceiptRound",
    "JumpWalk01", "JumpWalk02", "JumpWalk03", "JumpRun01", "JumpRun02", "JumpRun03", "JumpSprint01",
    "JumpSprint02", "JumpSprint03", "JumpUp01", "JumpUp02", "JumpUp03", "JumpRight01", "JumpRight02",
    "JumpRight03", "JumpLeft01", "JumpLeft02", "JumpLeft03", "JumpBack01", "JumpBack02", "JumpBack03",
    "JumpHandUp01", "JumpHandUp02", "JumpHandUp03", "JumpHandAway01", "JumpHandAway02", "JumpHandAway03",
    "JumpHandAway03b", "JumpHandUpBig01", "JumpHandUpBig02", "JumpHandUpBig03", "JumpHandUpBig02b",
    "JumpHandUpBig03b", "LinkMount", "LinkUnmount", "WaitSit01", "WaitSit02", "WaitSit03", "FightStatic",
    "FightHitHead01", "FightHitHead02", "FightHitHand01", "FightHitHand02", "FightHitFoot01",
    "FightHitFoot02", "FightTake01", "FightTake02", "FightParad", "FightLaunchHead01", "FightLaunchHead02",
    "FightLaunchHand01", "FightLaunchHand02", "FightLaunchFoot01", "FightLaunchFoot02", "FlyStatic01",
    "FlyStatic02", "FlyStatic03", "FlyStatic04", "FlyStatic05", "FlyWalk", "FlyRun", "FlySprint", "FlyBack",
    "FlyTake01", "FlyTake02", "FlyImpact", "FlyStart", "FlyEnd", "SwimStatic01", "SwimStatic02",
    "SwimStatic03", "SwimStatic04", "SwimStatic05", "SwimWalk", "SwimRun", "SwimSprint", "SwimBack",
    "SwimTake01", "SwimTake02", "SwimImpact", "SwimStart", "SwimEnd", "DriveStatic01", "DriveStatic02",
    "DriveStatic03", "DriveStatic04", "DriveStatic05", "DriveForward", "DriveBackWard", "DriveTake01",
    "DriveTake02", "DriveImpact", "DriveStart", "DriveEnd", "FallDown", "FallEndFloor", "FallSkyDive",
    "FallSkyDiveEndFloor", "DeadStart01", "DeadEnd01", "DeadStart02", "DeadEnd02", "DeadStart03",
    "DeadEnd03", "DeadStart04", "DeadEnd04", "DeadStart05", "DeadEnd05", "DeadGohst", "DeadPhoenix",
    "SpecialNotFall", "SpecialTeleport01", "SpecialFightJump01", "SpecialFightJump02", "SpecialFireBall",
    "SpecialAppear", "LinkMOB01", "LinkVFR01", "LinkHOR01", "LinkJET01", "LinkCAR01", "LinkCAR02",
    "LinkBoat01", "LinkBoat02", "RoundForward", "RoundBackward", "SlideStart", "SlideEnd", "SlideEndWater",
    "SlideRun", "SlideSprint", "SlideImpact", "ParaStart", "ParaEndFloor", "ParaEndWater",
    "ParaMoveForward", "DeltaStart", "DeltaEndFloor", "DeltaEndWater", "DeltaMoveForward",
    "DeltaCollision", "DeltaLand", "FallSkyDiveStyle01", "FallSkyDiveStyle02", "FallSkyDiveStyle03",
    "FallSkyDiveStyle04", "FallSkyDiveMoveForward", "SlideFreeStyle03", "SlideFreeStyle04",
    "SlideFreeStyle01", "SlideFreeStyle02", "Explode", "Emote01", "Emote02", "Emote03", "Emote04",
    "LadderStartDown", "LadderStatic", "LadderMoveUp", "LadderMoveDown", "LadderEndUp01", "LadderEndUp02",
    "LadderEndUp03", "LadderEndDown", "ClimbStatic", "ClimbUp", "ClimbDown", "ClimbRight", "ClimbLeft",
    "ClimbEndUp", "ClimbEndUpFun", "ClimbEndDown", "ClimbJumpUp00", "ClimbJumpUp01", "ClimbJumpUp02",
    "ClimbJumpDown01", "ClimbJumpDown02", "ClimbJumpLeft00", "ClimbJumpLeft01", "ClimbJumpLeft02",
    "ClimbJumpRight00", "ClimbJumpRight01", "ClimbJumpRight02", "ClimbJumpBack00", "ClimbJumpBack01",
    "ClimbJumpBack02", "ClimbTurnLeftIn", "ClimbTurnRightIn", "ClimbTurnLeftOut", "ClimbTurnRightOut",
};

namespace {

uint32_t ObjectTypeCapacity = 0;
uint32_t SfxTypeCapacity = 0;

// Mesh files of levels 0 to 5 carry the digits 1 to 6.
constexpr uint32_t LodDigitCount = 6;

// Appends a new instance to its owning list and registers it.
template <typename T>
T* AddInstance(T**& list, uint32_t& count, uint32_t& capacity, T* object, uint32_t (*registerObject)(T*)) {
    Append(list, count, capacity, object);
    registerObject(object);
    return object;
}

void ReleaseTypeInstance(NztMesh* mesh);

// Takes entry index off its owning list, then unregisters, releases and destroys it and lets its
// type know; the list is closed up first so that the release never sees the entry half gone.
template <typename T, typename Release>
void RemoveInstanceAt(T**& list, uint32_t& count, uint32_t& capacity, uint32_t index, bool shrink,
                      uint32_t (*unregisterObject)(T*), Release release) {
    if (index >= count) return;
    T* object = list[index];
    CloseGap(list, count, index);
    if (object != nullptr) {
        NztMesh* mesh = object->mesh;
        unregisterObject(object);
        release(object);
        delete object;
        ReleaseTypeInstance(mesh);
    }
    ShrinkIfAsked(list, count, capacity, shrink);
}

void CopyName(char (&out)[256], const char* name) {
    std::snprintf(out, sizeof out, "%s", name != nullptr ? name : "");
}

uint32_t SendTo(NztEventObject* object, uint32_t code) {
    return ObjectServices.sendEvent(object, code, 0, 0, 0);
}

float DistanceSq(const float a[3], const float b[3]) {
    const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

// A type name from data becomes part of a path: it may name a folder below OBJECTS, never above it.
bool IsSafeTypeName(const char* name) {
    if (name == nullptr || name[0] == 0 || name[0] == '/' || name[0] == '\\') return false;
    return std::strstr(name, "..") == nullptr;
}

// The folder part of a type name ("MONSTERS/Orc" gives "MONSTERS/"), empty without one.
void FolderPart(const char* name, char (&out)[256]) {
    size_t cut = 0;
    for (size_t i = 0; name[i] != 0; ++i)
        if (name[i] == '/' || name[i] == '\\') cut = i + 1;
    std::snprintf(out, sizeof out, "%.*s", static_cast<int>(std::min<size_t>(cut, 255)), name);
}

// "Hero1001" into the base "Hero" and the number 1; false when the name is too short.
bool SplitTypeName(const char* typeName, char (&base)[256], uint32_t* number) {
    if (!IsSafeTypeName(typeName)) return false;
    const size_t n = std::strlen(typeName);
    if (n < 4 || n - 4 >= sizeof base) return false;
    *number = static_cast<uint32_t>(std::strtoul(typeName + n - 3, nullptr, 10));
    std::memcpy(base, typeName, n - 4);
    base[n - 4] = 0;
    return true;
}

bool FormatPath(char (&out)[512], const char* format, ...) __attribute__((format(printf, 2, 3)));
bool FormatPath(char (&out)[512], const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(out, sizeof out, format, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= sizeof out) {
        std::fprintf(stderr, "objtype: path too long for \"%s\"\n", format);
        return false;
    }
    return true;
}

NztObjectType* TypeAt(uint32_t index) {
    return index < ObjectTypeCount ? &ObjectTypeTable[index] : nullptr;
}

// One instance of the mesh's type went away: the last one gives the mesh back to the library.
// A mesh outside the type table belongs to its one instance.
void ReleaseTypeInstance(NztMesh* mesh) {
    if (mesh == nullptr) return;
    NztObjectType* type = TypeAt(mesh->TypeIndex);
    if (type == nullptr || type->Mesh != mesh) {
        ReleaseMeshData(mesh);
        return;
    }
    if (type->InstanceCount > 0) --type->InstanceCount;
    if (type->InstanceCount == 0) {
        type->Mesh = nullptr;
        ReleaseMeshData(mesh);
    }
}

// LODs 1 to 5 of a type from the same file pattern with the digits 2 to 6, up to the first missing.
void LoadHigherLods(NztMesh* mesh, const char* pattern, const char* base, uint32_t number) {
    char path[512];
    for (uint32_t lod = 1; lod < LodDigitCount; ++lod) {
        if (!FormatPath(path, pattern, base, lod + 1, number)) return;
        if (LoadMeshFile(path, mesh, lod, 1) == 0) return;
    }
}

// Instances keep a pointer to the slot array, so it gets its full size before the first instance.
void SizeTypeSlots(NztMesh* mesh) {
    ResizeMeshAnimSlots(mesh, AnimNameCount);
}

void NameMeshForType(NztMesh* mesh, uint32_t typeIndex) {
    const NztObjectType& type = ObjectTypeTable[typeIndex];
    CopyName(mesh->Name, type.Name);
    for (char* c = mesh->Name; *c != 0; ++c) *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    mesh->Number = type.Number;
    mesh->TypeIndex = typeIndex;
    SizeTypeSlots(mesh);
}

// One frame of one identity bone, for a character type without its first animation.
NztAnim* CreateIdentityAnim() {
    NztAnim* anim = CreateAnim();
    anim->AllocFrames(1, 1);
    return anim;
}

NztAnim* LoadSlotAnim(uint32_t slot, NztObjectType& type, const char* path) {
    NztMesh* mesh = type.Mesh;
    if (mesh == nullptr || slot >= AnimNameCount) return nullptr;
    SizeTypeSlots(mesh);
    mesh->AnimSlotFlags[slot] = 1;
    NztAnim*& anim = mesh->AnimSlots[slot];
    if (anim == nullptr) anim = CreateAnim();
    if (anim->Load(path, std::max(mesh->LargestBoneCount, mesh->MaxBoneCount)) == 0) {
        DeleteAnim(anim);
        anim = nullptr;
        return nullptr;
    }
    const AnimDefaultFlags& d = AnimDefaults[slot];
    anim->JumpStartFlag = d.JumpStartFlag;
    anim->DiveStartFlag = d.DiveStartFlag;
    anim->IdleFlag = d.IdleFlag;
    anim->LoopFlag = d.LoopFlag;
    return anim;
}

bool NameMatches(const NztMesh* mesh, const char* name, uint32_t number) {
    return mesh != nullptr && mesh->Number == number && strcasecmp(mesh->Name, name) == 0;
}

void CopyPlacement(const NztBaseObject* from, NztBaseObject* to) {
    std::copy(from->Position, from->Position + 3, to->Position);
    std::copy(from->PreviousPosition, from->PreviousPosition + 3, to->PreviousPosition);
    std::copy(from->rotation, from->rotation + 9, to->rotation);
    std::copy(from->secondRotation, from->secondRotation + 9, to->secondRotation);
    to->packedAngles = from->packedAngles;
    to->roll = from->roll;
}

// Range, size, ground quad and flags of a clone.
void CopyCloneState(NztCollideObject* from, NztCollideObject* to) {
    CopyPlacement(from, to);
    to->SetRange(from->GetRange());
    to->SetSize(from->GetSize());
    to->SetGroundQuad(from->groundQuadStrength);
    to->shown = from->shown;
    to->visibilityTest = from->visibilityTest;
    to->unlit = from->unlit;
    std::copy(from->axisLocks, from->axisLocks + 3, to->axisLocks);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Tables

SfxTypeRecord* AppendSfxType() {
    GrowTable(SfxTypeTable, SfxTypeCount, SfxTypeCapacity);
    return &SfxTypeTable[SfxTypeCount++];
}

void ResetAnimDefaults() {
    std::fill(std::begin(AnimDefaults), std::end(AnimDefaults), AnimDefaultFlags{});
    static const char* const jumpStart[] = {"JumpStatic", "JumpWalk01", "JumpRun01", "JumpSprint01", "JumpUp01",
                                            "JumpRight01", "JumpLeft01", "JumpBack01", "JumpHandUp01"};
    static const char* const diveStart[] = {"DiveStart", "DiveAngelStart", "DiveAngleStartStyle",
                                            "DiveAngleStartRun", "DiveAngleStartSprint"};
    static const char* const idle[] = {"MoveStatic01", "FightStatic"};
    static const char* const loop[] = {
        "MoveStatic01", "MoveWalk", "MoveRun", "MoveSprint", "MoveBack", "MoveStrafL", "MoveStrafR",
        "WaitSit02", "FightStatic", "FlyStatic01", "FlyWalk", "FlyRun", "FlySprint", "FlyBack",
        "SwimStatic01", "SwimWalk", "SwimRun", "SwimSprint", "SwimBack", "DriveStatic01", "DriveForward",
        "DriveBackWard", "SlideRun", "SlideSprint", "ParaMoveForward", "DeltaMoveForward"};
    auto set = [](const char* name, uint32_t AnimDefaultFlags::*word) {
        if (const int32_t slot = FindAnimSlot(name); slot >= 0) AnimDefaults[slot].*word = 1;
    };
    for (const char* name : jumpStart) set(name, &AnimDefaultFlags::JumpStartFlag);
    for (const char* name : diveStart) set(name, &AnimDefaultFlags::DiveStartFlag);
    for (const char* name : idle) set(name, &AnimDefaultFlags::IdleFlag);
    for (const char* name : loop) set(name, &AnimDefaultFlags::LoopFlag);
}

int32_t FindAnimSlot(const char* name) {
    if (name == nullptr) return -1;
    for (uint32_t i = 0; i < AnimNameCount; ++i)
        if (strcasecmp(AnimNameTable[i], name) == 0) return static_cast<int32_t>(i);
    return -1;
}

uint32_t GetObjectTypeIndex(const char* name, uint32_t number) {
    if (name == nullptr) name = "";
    const uint32_t checksum = NameChecksum(name);
    for (uint32_t i = ObjectTypeCount; i-- > 0;)
        if (ObjectTypeTable[i].Checksum == checksum && ObjectTypeTable[i].Number == number) return i;
    GrowTable(ObjectTypeTable, ObjectTypeCount, ObjectTypeCapacity);
    NztObjectType& type = ObjectTypeTable[ObjectTypeCount];
    type = NztObjectType{};
    CopyName(type.Name, name);
    type.Checksum = checksum;
    type.Number = number;
    return ObjectTypeCount++;
}

void FreeTypeTables() {
    FreeTable(ObjectTypeTable, ObjectTypeCount, ObjectTypeCapacity);
    FreeTable(SfxTypeTable, SfxTypeCount, SfxTypeCapacity);
    FreeAnimNameRecords();
}

// ---------------------------------------------------------------------------------------------
// Mesh and animation libraries

NztMesh* CreateMeshData() {
    NztMesh* mesh = new NztMesh();
    Append(MeshList, MeshCount, MeshCapacity, mesh);
    return mesh;
}

void DeleteMeshData(uint32_t index, bool shrink) {
    if (index >= MeshCount) return;
    if (NztMesh* mesh = MeshList[index]) {
        FreeMesh(mesh);
        delete mesh;
    }
    CloseGap(MeshList, MeshCount, index);
    ShrinkIfAsked(MeshList, MeshCount, MeshCapacity, shrink);
}

void ReleaseMeshData(NztMesh* mesh) {
    const int32_t index = mesh != nullptr ? IndexIn(MeshList, MeshCount, mesh) : -1;
    if (index >= 0) DeleteMeshData(static_cast<uint32_t>(index), true);
}

void DeleteAllMeshData() {
    while (MeshCount != 0) DeleteMeshData(MeshCount - 1, false);
    FreeList(MeshList, MeshCount, MeshCapacity);
}

// ---------------------------------------------------------------------------------------------
// Lights, dynamic objects, collision objects

NztLight* CreateLight(uint32_t lightKind) {
    NztLight* light = new NztLight();
    light->LightKind = lightKind;
    Append(LightList, LightCount, LightCapacity, light);
    return light;
}

void DeleteLightAt(uint32_t index) {
    if (index >= LightCount) return;
    if (NztLight* light = LightList[index]) {
        light->Release();
        delete light;
    }
    CloseGap(LightList, LightCount, index);
    SelectedLightIndex = std::clamp(SelectedLightIndex, 0, std::max(static_cast<int32_t>(LightCount) - 1, 0));
}

void DeleteAllLights() {
    while (LightCount != 0) DeleteLightAt(LightCount - 1);
    FreeList(LightList, LightCount, LightCapacity);
    SelectedLightIndex = 0;
}

NztDynObject* CreateDynObject(NztMesh* mesh) {
    NztDynObject* object = new NztDynObject();
    if (mesh != nullptr) {
        object->SetMesh(mesh);
        object->body.radius = 0.5f * std::max({mesh->Size.x, mesh->Size.y, mesh->Size.z});
    }
    return AddInstance(DynObjectList, DynObjectCount, DynObjectCapacity, object, RegisterDynObject);
}

void DeleteDynObjectAt(uint32_t index, bool shrink) {
    RemoveInstanceAt(DynObjectList, DynObjectCount, DynObjectCapacity, index, shrink, UnregisterDynObject,
                     [](NztDynObject* object) { object->ReleaseData(); });
}

void DeleteAllDynObjects() {
    while (DynObjectCount != 0) DeleteDynObjectAt(DynObjectCount - 1, false);
    FreeList(DynObjectList, DynObjectCount, DynObjectCapacity);
}

void DeleteCollideObject(NztCollideObject* object) {
    if (object == nullptr) return;
    // One still in the library leaves it too, so that no list entry outlives the object.
    if (const int32_t index = IndexIn(CollideObjectList, CollideObjectCount, object); index >= 0) {
        DeleteCollideObjectAt(static_cast<uint32_t>(index), true);
        return;
    }
    NztMesh* mesh = object->mesh;
    UnregisterCollideObject(object);
    object->ReleaseCollision();
    delete object;
    ReleaseTypeInstance(mesh);
}

void DeleteCollideObjectAt(uint32_t index, bool shrink) {
    RemoveInstanceAt(CollideObjectList, CollideObjectCount, CollideObjectCapacity, index, shrink,
                     UnregisterCollideObject, [](NztCollideObject* object) { object->ReleaseCollision(); });
}

void DeleteAllCollideObjects() {
    while (CollideObjectCount != 0) DeleteCollideObjectAt(CollideObjectCount - 1, false);
    FreeList(CollideObjectList, CollideObjectCount, CollideObjectCapacity);
}

// ---------------------------------------------------------------------------------------------
// Characters and scene objects

NztEntity* CreateEntity(NztMesh* mesh) {
    NztEntity* entity = new NztEntity();
    if (mesh != nullptr) entity->SetupFromType(mesh);
    return AddInstance(EntityList, EntityCount, EntityCapacity, entity, RegisterEntity);
}

void RemoveEntityAt(uint32_t index, bool shrink) {
    RemoveInstanceAt(EntityList, EntityCount, EntityCapacity, index, shrink, UnregisterEntity, [](NztEntity* entity) {
        entity->Release();
        // The player pointer must not outlive its character.
        if (PlayerEntity == entity) PlayerEntity = nullptr;
    });
}

void RemoveEntity(NztEntity* entity) {
    const int32_t index = IndexOfEntity(entity);
    if (index >= 0) RemoveEntityAt(static_cast<uint32_t>(index), true);
}

void RemoveAllEntities() {
    while (EntityCount != 0) RemoveEntityAt(EntityCount - 1, false);
    FreeList(EntityList, EntityCount, EntityCapacity);
}

void RemoveNonPlayerEntities() {
    for (uint32_t i = EntityCount; i-- > 0;) {
        if (i >= EntityCount) continue;
        const NztEntity* e = EntityList[i];
        if (e != nullptr && (e == PlayerEntity || e->networkRecord != nullptr)) continue;
        RemoveEntityAt(i, true);
    }
    if (EntityCount == 0) FreeList(EntityList, EntityCount, EntityCapacity);
}

void SetPlayerEntity(NztEntity* entity) {
    if (NztEntity* old = PlayerEntity) {
        old->inputDriven = 0;
        old->animStateMachine = 0;
        SendTo(old, EventStopsBeingPlayer);
    }
    PlayerEntity = entity;
    if (entity == nullptr) return;
    entity->inputDriven = 0;
    entity->animStateMachine = 0;
    SendTo(entity, EventBecomesPlayer);
}

NztScnObject* CreateScnObject(NztMesh* mesh) {
    NztScnObject* object = new NztScnObject();
    if (mesh != nullptr) {
        object->SetMesh(mesh);
        object->CopyCollision(mesh);
    }
    return AddInstance(ScnObjectList, ScnObjectCount, ScnObjectCapacity, object, RegisterScnObject);
}

void RemoveScnObjectAt(uint32_t index, bool shrink) {
    RemoveInstanceAt(ScnObjectList, ScnObjectCount, ScnObjectCapacity, index, shrink, UnregisterScnObject,
                     [](NztScnObject* object) { object->ReleaseCollision(); });
}

void RemoveScnObject(NztScnObject* object) {
    const int32_t index = IndexOfScnObject(object);
    if (index >= 0) RemoveScnObjectAt(static_cast<uint32_t>(index), true);
}

void RemoveAllScnObjects() {
    while (ScnObjectCount != 0) RemoveScnObjectAt(ScnObjectCount - 1, false);
    FreeList(ScnObjectList, ScnObjectCount, ScnObjectCapacity);
}

// ---------------------------------------------------------------------------------------------
// Loading

NztEntity* GetEntityType(const char* typeName) {
    char base[256];
    uint32_t number = 0;
    if (!SplitTypeName(typeName, base, &number)) return nullptr;
    const NztEntity* live = FindEntityType(base, number);
    const uint32_t typeIndex = live != nullptr ? live->mesh->TypeIndex : GetObjectTypeIndex(base, number);
    return LoadEntityType(typeIndex, base, number);
}

NztEntity* LoadEntityType(uint32_t typeIndex, const char* baseName, uint32_t number) {
    NztObjectType* type = TypeAt(typeIndex);
    if (type == nullptr || !IsSafeTypeName(baseName)) return nullptr;
    if (type->Mesh == nullptr) {
        char path[512];
        NztMesh* mesh = CreateMeshData();
        type->Mesh = mesh;
        type->InstanceCount = 0;
        if (FormatPath(path, "OBJECTS/ENTITIES/%s%u%03u.QVo", baseName, 1u, number) &&
            LoadMeshFile(path, mesh, 0, 1) != 0) {
            LoadHigherLods(mesh, "OBJECTS/ENTITIES/%s%u%03u.QVo", baseName, number);
        } else {
            CreateEmptyMesh(mesh);
        }
        if (FormatPath(path, "OBJECTS/ENTITIES/%s0%03u.QVc", baseName, number)) LoadMeshSideFile(path, mesh);
        char folder[256];
        FolderPart(type->Name, folder);
        if (!FormatPath(type->AnimFolder, sizeof type->AnimFolder, "%sANIMS/%s", folder, mesh->AnimSetName)) type->AnimFolder[0] = 0;
        NameMeshForType(mesh, typeIndex);
        if (LoadEntityAnim(0, typeIndex) == nullptr) mesh->AnimSlots[0] = CreateIdentityAnim();
        SetMeshRestPose(mesh, mesh->AnimSlots[0]);
    }
    NztEntity* entity = CreateEntity(type->Mesh);
    entity->typeInstance = type->InstanceCount++;
    entity->currentAnim = type->Mesh->AnimSlots.empty() ? nullptr : type->Mesh->AnimSlots[0];
    if (type->Mesh->AttachCount != 0) entity->SetupParts();
    return entity;
}

NztAnim* LoadEntityAnim(uint32_t slot, uint32_t typeIndex) {
    if (slot >= AnimNameCount) return nullptr;
    return LoadEntityAnimByName(slot, typeIndex, AnimNameTable[slot]);
}

NztAnim* LoadEntityAnimByName(uint32_t slot, uint32_t typeIndex, const char* name) {
    NztObjectType* type = TypeAt(typeIndex);
    if (type == nullptr || type->Mesh == nullptr || name == nullptr || !IsSafeTypeName(name)) return nullptr;
    char path[512];
    if (!FormatPath(path, "OBJECTS/ENTITIES/%s/%s%s.QVa", type->AnimFolder, type->Mesh->AnimSetName, name))
        return nullptr;
    return LoadSlotAnim(slot, *type, path);
}

NztScnObject* GetScnObjectType(const char* typeName) {
    char base[256];
    uint32_t number = 0;
    if (!SplitTypeName(typeName, base, &number)) return nullptr;
    const NztScnObject* live = FindScnObjectByModel(base, number);
    const uint32_t typeIndex = live != nullptr ? live->mesh->TypeIndex : GetObjectTypeIndex(base, number);
    return LoadScnObjectType(typeIndex, number);
}

NztScnObject* LoadScnObjectType(uint32_t typeIndex, uint32_t number) {
    NztObjectType* type = TypeAt(typeIndex);
    if (type == nullptr || !IsSafeTypeName(type->Name)) return nullptr;
    if (type->Mesh == nullptr) {
        char path[512];
        NztMesh* mesh = CreateMeshData();
        if (!FormatPath(path, "OBJECTS/%s%u%03u.QVo", type->Name, 1u, number) || LoadMeshFile(path, mesh, 0, 1) == 0) {
            ReleaseMeshData(mesh);
            return nullptr;
        }
        type->Mesh = mesh;
        type->InstanceCount = 0;
        LoadHigherLods(mesh, "OBJECTS/%s%u%03u.QVo", type->Name, number);
        if (FormatPath(path, "OBJECTS/%s0%03u.QVc", type->Name, number)) LoadMeshSideFile(path, mesh);
        if (mesh->Skinned != 0) {
            if (mesh->Version < 10008) {
                // Older files carry no set name: the file's name less its level digit and number.
                const char* file = std::strrchr(type->Name, '/');
                file = file != nullptr ? file + 1 : type->Name;
                // Cut to the field (31 characters and the terminator), as stored set names are.
                std::snprintf(mesh->AnimSetName, sizeof mesh->AnimSetName, "%.*s",
                              static_cast<int>(sizeof mesh->AnimSetName - 1), file);
                mesh->AnimSetNameLength = static_cast<uint32_t>(std::strlen(mesh->AnimSetName));
            }
            char folder[256];
            FolderPart(type->Name, folder);
            // A folder that does not fit is no folder: the animations then fail to load.
            if (!FormatPath(type->AnimFolder, sizeof type->AnimFolder, "%sANIMS/%s/", folder, mesh->AnimSetName)) type->AnimFolder[0] = 0;
        }
        NameMeshForType(mesh, typeIndex);
    }
    NztScnObject* object = CreateScnObject(type->Mesh);
    ++type->InstanceCount;
    return object;
}

NztAnim* LoadObjectAnim(uint32_t slot, uint32_t typeIndex) {
    NztObjectType* type = TypeAt(typeIndex);
    if (type == nullptr || type->Mesh == nullptr || slot >= AnimNameCount) return nullptr;
    char path[512];
    if (!FormatPath(path, "OBJECTS/%s%s.QVa", type->AnimFolder, AnimNameTable[slot])) return nullptr;
    return LoadSlotAnim(slot, *type, path);
}

NztDynObject* LoadObjectFile(uint32_t typeIndex) {
    NztObjectType* type = TypeAt(typeIndex);
    if (type == nullptr || !IsSafeTypeName(type->Name)) return nullptr;
    if (type->Mesh == nullptr) {
        char path[512];
        NztMesh* mesh = CreateMeshData();
        type->Mesh = mesh;
        type->InstanceCount = 0;
        if (FormatPath(path, "OBJECTS/%s.QVo", type->Name) && LoadMeshFile(path, mesh, 0, 1) != 0) {
            char base[256];
            uint32_t number = 0;
            if (SplitTypeName(type->Name, base, &number))
                LoadHigherLods(mesh, "OBJECTS/%s%u%03u.QVo", base, number);
        } else {
            mesh->AllocLod(1, 0, 0, 0, 0, 0, 0, 0, 0);
            CopyName(mesh->Name, type->Name);
        }
        if (FormatPath(path, "OBJECTS/%s.QVc", type->Name)) LoadMeshSideFile(path, mesh);
        mesh->TypeIndex = typeIndex;
        SizeTypeSlots(mesh);
    }
    NztDynObject* object = CreateDynObject(type->Mesh);
    ++type->InstanceCount;
    return object;
}

NztScnObject* CreateScnObjectFromFile(const char* name) {
    if (!IsSafeTypeName(name)) return nullptr;
    char path[512];
    if (!FormatPath(path, "OBJECTS/%s.QVo", name)) return nullptr;
    NztMesh* mesh = CreateMeshData();
    if (LoadMeshFile(path, mesh, 0, 1) == 0) {
        ReleaseMeshData(mesh);
        return nullptr;
    }
    mesh->TypeIndex = NoObjectType;
    return CreateScnObject(mesh);
}

NztAnim* LoadAnimFile(const char* name) {
    if (name == nullptr || name[0] == 0 || !IsSafeTypeName(name)) return nullptr;
    const uint32_t index = GetAnimNameIndex(name);
    AnimNameRecord& record = AnimNameRecords[index];
    if (record.Anim == nullptr) {
        char path[512];
        if (!FormatPath(path, "OBJECTS/%s.QVa", name)) return nullptr;
        NztAnim* anim = CreateAnim();
        if (anim->Load(path, 0) == 0) {
            DeleteAnim(anim);
            return nullptr;
        }
        record.Anim = anim;
        record.UserCount = 0;
    }
    record.Anim->NameIndex = static_cast<int32_t>(index);
    ++record.UserCount;
    return record.Anim;
}

// ---------------------------------------------------------------------------------------------
// Parts on attach points

void NztBaseObject::SetupParts() {
    if (mesh == nullptr || mesh->AttachPoints == nullptr) return;
    bool trailDigits[10] = {};
    for (uint32_t i = 0; i < mesh->AttachCount; ++i) {
        const char* name = mesh->AttachPoints[i].Name;
        if (name[0] == '#') {
            if (NztSfx* sfx = AddSfxType(name + 1)) sfx->AttachTo(this, static_cast<int32_t>(i));
        } else if (name[0] == '!') {
            if (NztSfx* sfx = AddSfxType(name + 1)) sfx->owner = this;
        } else if (name[0] == '@' && name[1] == 'L') {
            NztLight* light = CreateLight(1);
            light->SetRange(10.0f);
            light->followedObject = this;
            light->followedPoint = static_cast<int32_t>(i);
        } else if (std::strlen(name) >= 7 && std::strncmp(name, "@Trail", 6) == 0 && name[6] >= '0' &&
                   name[6] <= '9') {
            const int digit = name[6] - '0';
            if (trailDigits[digit]) continue;
            trailDigits[digit] = true;
            if (NztTrail* trail = CreateTrail(this, name[6])) trail->widthFactor = 0.25f;
        }
    }
}

void NztBaseObject::SyncModelState() {
    if (mesh == nullptr) return;
    BindMeshData();
    mesh->Owner = this;
    mesh->Position = reinterpret_cast<Vec3*>(Position);
    mesh->RigidState = static_cast<uint32_t>(poseState);
}

void NztCollideObject::SetGroundQuad(float factor) {
    groundQuadStrength = std::clamp(factor, 0.0f, 1.0f);
    if (groundQuadStrength == 0.0f || localGroundQuad != nullptr) return;
    const float w = mesh != nullptr ? mesh->Size.x : 0.0f;
    const float d = mesh != nullptr ? mesh->Size.z : 0.0f;
    const float corners[12] = {-w / 2, 0, d / 2, w / 2, 0, d / 2, w / 2, 0, -d / 2, -w / 2, 0, -d / 2};
    localGroundQuad = std::make_unique<float[]>(12);
    worldGroundQuad = std::make_unique<float[]>(12);
    std::copy(corners, corners + 12, localGroundQuad.get());
    std::copy(corners, corners + 12, worldGroundQuad.get());
}

// ---------------------------------------------------------------------------------------------
// Life

void NztEntity::AddLife(float amount) {
    SetLife(life + amount);
}

void NztEntity::SetLife(float value) {
    life = std::clamp(value, 0.0f, std::max(maxLife, 0.0f));
}

void NztEntity::SetMaxLife(float value) {
    maxLife = std::max(value, 0.0f);
    life = maxLife;
    // A maximum of 0 would make the inverse infinite.
    invMaxLife = maxLife > 0.0f ? 1.0f / maxLife : 0.0f;
}

// ---------------------------------------------------------------------------------------------
// Instance helpers

NztEntity* CloneEntity(NztEntity* entity) {
    if (entity == nullptr || entity->mesh == nullptr) return nullptr;
    NztObjectType* type = TypeAt(entity->mesh->TypeIndex);
    if (type == nullptr || type->Mesh != entity->mesh) return nullptr;
    char base[256];
    CopyName(base, type->Name);
    NztEntity* clone = LoadEntityType(entity->mesh->TypeIndex, base, type->Number);
    if (clone == nullptr) return nullptr;
    CopyCloneState(entity, clone);
    CharacterRecord record;
    clone->ApplyCharacterRecord(entity->FillCharacterRecord(record));
    clone->maxLife = entity->maxLife;
    clone->invMaxLife = entity->invMaxLife;
    clone->life = entity->life;
    clone->receivesBroadcasts = entity->receivesBroadcasts;
    return clone;
}

NztScnObject* CloneScnObject(NztScnObject* object) {
    if (object == nullptr || object->mesh == nullptr) return nullptr;
    NztObjectType* type = TypeAt(object->mesh->TypeIndex);
    if (type == nullptr || type->Mesh != object->mesh) return nullptr;
    NztScnObject* clone = LoadScnObjectType(object->mesh->TypeIndex, type->Number);
    if (clone != nullptr) CopyCloneState(object, clone);
    return clone;
}

namespace {

// The point kind of an object hanging on another (as the base object's attach code has it).
constexpr uint32_t AttachKindObject = 4;

// The old character's animations by slot in the new character's table, at the same frame (kept
// within the new animation).
void CopyEntityAnimation(const NztEntity* old, NztEntity* replacement) {
    const int32_t slot = old->SlotOf(old->currentAnim);
    if (slot < 0) return;
    NztAnim* anim = replacement->GetAnim(static_cast<uint32_t>(slot));
    if (anim == nullptr) return;
    const int32_t nextSlot = old->SlotOf(old->nextAnim);
    NztAnim* next = nextSlot >= 0 ? replacement->GetAnim(static_cast<uint32_t>(nextSlot)) : nullptr;
    const int32_t last = anim->FrameCount > 0 ? static_cast<int32_t>(anim->FrameCount) - 1 : 0;
    replacement->SetAnim(anim, old->locked, next, std::clamp(old->currentFrame, 0, last));
}

}  // namespace

void CopyEntityState(NztEntity* old, NztEntity* replacement) {
    if (old == nullptr || replacement == nullptr || old == replacement) return;
    CopyPlacement(old, replacement);
    std::copy(old->motion, old->motion + 3, replacement->motion);
    CharacterRecord record;
    replacement->ApplyCharacterRecord(old->FillCharacterRecord(record));
    replacement->CopyLinkSlots(old);
    replacement->maxLife = old->maxLife;
    replacement->invMaxLife = old->invMaxLife;
    replacement->life = old->life;
    replacement->receivesBroadcasts = old->receivesBroadcasts;
    replacement->speedFactor = old->speedFactor;
    replacement->speedFactorTarget = old->speedFactorTarget;
    replacement->forwardSpeed = old->forwardSpeed;
    replacement->verticalVelocity = old->verticalVelocity;
    CopyEntityAnimation(old, replacement);
    // What hangs on a point of the old character hangs on the same point of the new one (when the
    // new type has that point; otherwise it is let go where it is).
    for (size_t i = 0; i < old->attachPoints.size(); ++i)
        if (NztBaseObject* child = old->GetAttachedObject(static_cast<int32_t>(i)))
            child->AttachTo(replacement, static_cast<int32_t>(i), AttachKindObject);
    replacement->CopyEvents(old);
    // Records of the old character waiting on the delayed list or the deferred queue now wait as
    // the new character's.
    RetargetQueuedActions(old, replacement);
    if (PlayerEntity == old) {
        PlayerEntity = replacement;
        replacement->inputDriven = old->inputDriven;
        replacement->animStateMachine = old->animStateMachine;
    }
    ReplaceEntityReferences(replacement, old);
    ReplaceObjectReferences(old, replacement);
    RemoveEntity(old);
}

void ReplaceEntityReferences(NztEntity* replacement, NztEntity* old) {
    if (old == nullptr) return;
    for (uint32_t i = EntityCount; i-- > 0;) {
        NztEntity* e = EntityList[i];
        if (e == nullptr || e->registered == 0) continue;
        if (e->target == old) e->target = replacement;
        if (e->riddenEntity == old) e->riddenEntity = replacement;
    }
}

void ReplaceScnObject(NztScnObject* old, NztScnObject* replacement) {
    if (old == nullptr || replacement == nullptr || old == replacement) return;
    CopyPlacement(old, replacement);
    replacement->SetRange(old->GetRange());
    replacement->CopyEvents(old);
    ReplaceObjectReferences(old, replacement);
    RemoveScnObject(old);
}

NztEntity* FindNearestEntity(const float point[3]) {
    NztEntity* nearest = nullptr;
    float best = 0.0f;
    uint32_t registered = 0;
    for (uint32_t i = EntityCount; i-- > 0;) {
        NztEntity* e = EntityList[i];
        if (e == nullptr || e->registered == 0) continue;
        ++registered;
        const float d = DistanceSq(e->Position, point);
        if (nearest == nullptr || d < best) {
            nearest = e;
            best = d;
        }
    }
    return registered >= 2 ? nearest : nullptr;
}

NztEntity* FindEntityById(int32_t id) {
    for (uint32_t i = EntityCount; i-- > 0;)
        if (EntityList[i] != nullptr && EntityList[i]->id == id && EntityList[i]->kind == ObjectKindEntity)
            return EntityList[i];
    return nullptr;
}

NztScnObject* FindScnObjectById(int32_t id) {
    for (uint32_t i = ScnObjectCount; i-- > 0;)
        if (ScnObjectList[i] != nullptr && ScnObjectList[i]->id == id && ScnObjectList[i]->kind == ObjectKindScn)
            return ScnObjectList[i];
    return nullptr;
}

NztEntity* FindEntityType(const char* name, uint32_t number) {
    if (name == nullptr) return nullptr;
    for (uint32_t i = EntityCount; i-- > 0;)
        if (EntityList[i] != nullptr && NameMatches(EntityList[i]->mesh, name, number)) return EntityList[i];
    return nullptr;
}

NztScnObject* FindScnObjectByModel(const char* name, uint32_t number) {
    if (name == nullptr) return nullptr;
    for (uint32_t i = ScnObjectCount; i-- > 0;)
        if (ScnObjectList[i] != nullptr && NameMatches(ScnObjectList[i]->mesh, name, number)) return ScnObjectList[i];
    return nullptr;
}

int32_t IndexOfEntity(const NztEntity* entity) {
    return entity != nullptr ? IndexIn(EntityList, EntityCount, entity) : -1;
}

int32_t IndexOfScnObject(const NztScnObject* object) {
    return object != nullptr ? IndexIn(ScnObjectList, ScnObjectCount, object) : -1;
}

void ApplyRadialLifeChange(float amount, const float point[3], float radiusSq) {
    // A zero radius reaches nothing (and would divide by zero).
    if (point == nullptr || !(radiusSq > 0.0f)) return;
    for (uint32_t i = EntityCount; i-- > 0;) {
        if (i >= EntityCount) continue;
        NztEntity* e = EntityList[i];
        if (e == nullptr) continue;
        const float d = DistanceSq(e->Position, point);
        if (d >= radiusSq) continue;
        e->AddLife(amount * (1.0f - d / radiusSq));
        SendTo(e, EventLifeChanged);
    }
}

void SendRadiusEvent(float radiusSq, const float point[3], const NztBaseObject* self) {
    if (point == nullptr) return;
    for (uint32_t i = ScnObjectCount; i-- > 0;) {
        if (i >= ScnObjectCount) continue;
        NztScnObject* s = ScnObjectList[i];
        if (s == nullptr || s->registered == 0 || s == self) continue;
        if (DistanceSq(s->Position, point) < radiusSq) SendTo(s, EventWithinRadius);
    }
}

uint32_t BroadcastEventToEntities(uint32_t code) {
    uint32_t handled = 0;
    for (uint32_t i = EntityCount; i-- > 0;) {
        if (i >= EntityCount) continue;
        NztEntity* e = EntityList[i];
        if (e != nullptr && e->registered != 0 && e->receivesBroadcasts != 0) handled += SendTo(e, code);
    }
    return handled;
}

uint32_t BroadcastEventToScnObjects(uint32_t code) {
    const NztEntity* player = PlayerEntity;
    if (player == nullptr) return 0;
    const float reachSq = player->range * player->range;
    uint32_t handled = 0;
    for (uint32_t i = ScnObjectCount; i-- > 0;) {
        if (i >= ScnObjectCount) continue;
        NztScnObject* s = ScnObjectList[i];
        if (s == nullptr || s->registered == 0 || s->eventRecordCount == 0) continue;
        const bool carried = s->parent == player;
        const bool linked = static_cast<const NztBaseObject*>(player->riddenEntity) == s;
        if (carried || linked || DistanceSq(s->Position, player->Position) <= reachSq) handled += SendTo(s, code);
    }
    return handled;
}

void ClearEntityContacts(NztBaseObject* object) {
    if (object == nullptr) return;
    for (uint32_t i = EntityCount; i-- > 0;)
        if (EntityList[i] != nullptr) EntityList[i]->ClearContactsWith(object);
}

void RestartAnimOnEntities(NztAnim* anim) {
    if (anim == nullptr) return;
    for (uint32_t i = EntityCount; i-- > 0;) {
        NztEntity* e = EntityList[i];
        if (e != nullptr && e->currentAnim == anim) e->SetAnim(anim, e->speedWord, e->returnAnim, 0);
    }
}

void ResetCameraLinkedDynObjects(int32_t flag) {
    for (uint32_t i = DynObjectCount; i-- > 0;) {
        if (i >= DynObjectCount) continue;
        NztDynObject* d = DynObjectList[i];
        if (d != nullptr && d->carrierCamera != nullptr) d->StopMovement(flag);
    }
}
