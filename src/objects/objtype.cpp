#include "objects/objtype.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "core/ownedlist.h"
#include "core/paths.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/charlinks.h"
#include "objects/events.h"
#include "objects/registry.h"

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

uint32_t ObjectTypeCapacity = 0;
uint32_t SfxTypeCapacity = 0;

#include "objects/objtypeparts.h"

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
// Collision objects

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

NztAnim* LoadObjectAnim(uint32_t slot, uint32_t typeIndex, const char* name) {
    NztObjectType* type = TypeAt(typeIndex);
    if (type == nullptr || type->Mesh == nullptr || slot >= AnimNameCount) return nullptr;
    if (name == nullptr || name[0] == 0 || !IsSafeTypeName(name)) return nullptr;
    NztMesh* mesh = type->Mesh;
    SizeTypeSlots(mesh);
    NztAnim*& held = mesh->AnimSlots[slot];
    // The slot already holds that file: a script that starts it again loads nothing.
    if (held != nullptr && std::strcmp(held->Name, name) == 0) return held;
    char path[512];
    if (!FormatPath(path, "OBJECTS/%s%s.QVa", type->AnimFolder, name)) return nullptr;
    // A fresh animation: objects may still play the one the slot held, which stays in the library.
    NztAnim* anim = CreateAnim();
    if (anim->Load(path, std::max(mesh->LargestBoneCount, mesh->MaxBoneCount)) == 0) {
        DeleteAnim(anim);
        return nullptr;
    }
    const AnimDefaultFlags& d = AnimDefaults[slot];
    anim->JumpStartFlag = d.JumpStartFlag;
    anim->DiveStartFlag = d.DiveStartFlag;
    anim->IdleFlag = d.IdleFlag;
    anim->LoopFlag = d.LoopFlag;
    // The name it was loaded by, which a saved scene stores to load it again.
    std::snprintf(anim->Name, sizeof anim->Name, "%s", name);
    mesh->AnimSlotFlags[slot] = 1;
    held = anim;
    return anim;
}

namespace {

// The mesh of OBJECTS/<name>.QVo, of no object type; nullptr for an unsafe name or a file that does
// not load.
NztMesh* LoadLooseObjectMesh(const char* name) {
    if (!IsSafeTypeName(name)) return nullptr;
    char path[512];
    if (!FormatPath(path, "OBJECTS/%s.QVo", name)) return nullptr;
    NztMesh* mesh = CreateMeshData();
    if (LoadMeshFile(path, mesh, 0, 1) == 0) {
        ReleaseMeshData(mesh);
        return nullptr;
    }
    mesh->TypeIndex = NoObjectType;
    return mesh;
}

}  // namespace

NztScnObject* CreateScnObjectFromFile(const char* name) {
    NztMesh* mesh = LoadLooseObjectMesh(name);
    return mesh != nullptr ? CreateScnObject(mesh) : nullptr;
}

NztScnObject* CreatePreviewObjectFromFile(const char* name) {
    NztMesh* mesh = LoadLooseObjectMesh(name);
    if (mesh == nullptr) return nullptr;
    auto* object = new NztScnObject();
    object->SetMesh(mesh);
    return object;
}

void DeletePreviewObject(NztScnObject* object) {
    if (object == nullptr) return;
    NztMesh* mesh = object->mesh;
    object->ReleaseCollision();
    delete object;
    // The mesh belongs to this one object; the object lets go of it before it is freed.
    ReleaseMeshData(mesh);
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
    ObjectServices.setupParts(this);
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

// ---------------------------------------------------------------------------------------------
// Instance helpers

NztScnObject* CloneScnObject(NztScnObject* object) {
    if (object == nullptr || object->mesh == nullptr) return nullptr;
    NztObjectType* type = TypeAt(object->mesh->TypeIndex);
    if (type == nullptr || type->Mesh != object->mesh) return nullptr;
    NztScnObject* clone = LoadScnObjectType(object->mesh->TypeIndex, type->Number);
    if (clone != nullptr) CopyCloneState(object, clone);
    return clone;
}

void ReplaceScnObject(NztScnObject* old, NztScnObject* replacement) {
    if (old == nullptr || replacement == nullptr || old == replacement) return;
    CopyPlacement(old, replacement);
    replacement->SetRange(old->GetRange());
    // It takes the old object's place: records that name the old id reach it, and the old
    // object's records waiting on the delayed list or the deferred queue wait as its own.
    replacement->id = old->id;
    replacement->CopyEvents(old);
    RetargetQueuedActions(old, replacement);
    ReplaceObjectReferences(old, replacement);
    RemoveScnObject(old);
}

NztScnObject* FindScnObjectById(int32_t id) {
    for (uint32_t i = ScnObjectCount; i-- > 0;)
        if (ScnObjectList[i] != nullptr && ScnObjectList[i]->id == id && ScnObjectList[i]->kind == ObjectKindScn)
            return ScnObjectList[i];
    return nullptr;
}

NztScnObject* FindScnObjectByModel(const char* name, uint32_t number) {
    if (name == nullptr) return nullptr;
    for (uint32_t i = ScnObjectCount; i-- > 0;)
        if (ScnObjectList[i] != nullptr && NameMatches(ScnObjectList[i]->mesh, name, number)) return ScnObjectList[i];
    return nullptr;
}

int32_t IndexOfScnObject(const NztScnObject* object) {
    return object != nullptr ? IndexIn(ScnObjectList, ScnObjectCount, object) : -1;
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

uint32_t BroadcastEventToScnObjects(uint32_t code) {
    const NztCollideObject* player = CharacterObject(PlayerEntity);
    if (player == nullptr) return 0;
    const float reachSq = player->range * player->range;
    uint32_t handled = 0;
    for (uint32_t i = ScnObjectCount; i-- > 0;) {
        if (i >= ScnObjectCount) continue;
        NztScnObject* s = ScnObjectList[i];
        if (s == nullptr || s->registered == 0 || s->eventRecordCount == 0) continue;
        const bool carried = s->parent == player;
        const bool linked = player->RiddenObject() == s;
        if (carried || linked || DistanceSq(s->Position, player->Position) <= reachSq) handled += SendTo(s, code);
    }
    return handled;
}
