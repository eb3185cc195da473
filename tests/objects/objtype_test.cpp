#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "character/entity.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "effects/dynobject.h"
#include "effects/light.h"
#include "model/mesh.h"
#include "model/temp_folder.h"
#include "net/netclient.h"
#include "objects/base3d.h"
#include "objects/objtype.h"
#include "objects/registry.h"

namespace {

std::vector<std::pair<const NztEventObject*, uint32_t>> gSent;

uint32_t RecordEvent(NztEventObject* object, uint32_t code, uint32_t, uint32_t, uint32_t) {
    gSent.emplace_back(object, code);
    return 1;
}

// Every table and list empty before and after each test; events recorded, each answering 1.
class ObjectTypes : public ::testing::Test {
protected:
    void SetUp() override {
        Clear();
        ResetAnimDefaults();
        ObjectServices.sendEvent = RecordEvent;
    }
    void TearDown() override { Clear(); }
    static void Clear() {
        PlayerEntity = nullptr;
        RemoveAllEntities();
        RemoveAllScnObjects();
        DeleteAllCollideObjects();
        DeleteAllDynObjects();
        DeleteAllLights();
        DeleteAllMeshData();
        DeleteAllAnims();
        FreeTypeTables();
        // A test may unmark an object by hand; the registries start empty again either way.
        FreeObjectLists();
        ClearObjectLists();
        ResetObjectHooks();
        gSent.clear();
    }

    static NztEntity* Entity(float x, float life = 10.0f) {
        NztEntity* e = CreateEntity(nullptr);
        e->Position[0] = x;
        e->registered = 1;
        e->SetMaxLife(life);
        return e;
    }
};

// The makedata sample models in a data folder of the test's own.
class SampleTypes : public ObjectTypes {
protected:
    void SetUp() override {
        ObjectTypes::SetUp();
        ASSERT_FALSE(temp.path().empty());
        for (const auto& [name, bytes] : datakit::SampleModelFiles())
            ASSERT_TRUE(datakit::WriteModelFile(temp.path() + name, bytes));
        ASSERT_TRUE(SetDataFolder(temp.path().c_str()));
    }
    TempFolder temp;
};

TEST_F(ObjectTypes, SlotNamesAndDefaults) {
    std::set<std::string> unique(AnimNameTable, AnimNameTable + AnimNameCount);
    EXPECT_EQ(unique.size(), AnimNameCount);
    struct Case {
        const char* name;
        int32_t slot;
        AnimDefaultFlags flags;  // jump start, dive start, idle, loop
    };
    for (const Case& c : {Case{"MoveStatic01", 0, {0, 0, 1, 1}}, Case{"MoveWalk", 12, {0, 0, 0, 1}},
                          Case{"movewalk", 12, {0, 0, 0, 1}}, Case{"JumpStatic", 44, {1, 0, 0, 0}},
                          Case{"DiveAngleStartSprint", 43, {0, 1, 0, 0}}, Case{"FightStatic", 84, {0, 0, 1, 1}},
                          Case{"JumpHandUpBig03b", 78, {0, 0, 0, 0}}, Case{"DeltaMoveForward", 185, {0, 0, 0, 1}},
                          Case{"ClimbTurnRightOut", 235, {0, 0, 0, 0}}}) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(FindAnimSlot(c.name), c.slot);
        const AnimDefaultFlags& d = AnimDefaults[c.slot];
        EXPECT_EQ(d.JumpStartFlag, c.flags.JumpStartFlag);
        EXPECT_EQ(d.DiveStartFlag, c.flags.DiveStartFlag);
        EXPECT_EQ(d.IdleFlag, c.flags.IdleFlag);
        EXPECT_EQ(d.LoopFlag, c.flags.LoopFlag);
    }
    EXPECT_EQ(FindAnimSlot("NoSuchSlot"), -1);
    uint32_t sums[4] = {};
    for (const AnimDefaultFlags& d : AnimDefaults) {
        sums[0] += d.JumpStartFlag;
        sums[1] += d.DiveStartFlag;
        sums[2] += d.IdleFlag;
        sums[3] += d.LoopFlag;
    }
    // Every name of the default lists names a slot.
    EXPECT_EQ(sums[0], 9u);
    EXPECT_EQ(sums[1], 5u);
    EXPECT_EQ(sums[2], 2u);
    EXPECT_EQ(sums[3], 26u);
}

TEST_F(ObjectTypes, TypesAreKeyedByNameAndNumberAndSurviveGrowth) {
    const uint32_t nzt = GetObjectTypeIndex("NZT", 1);
    EXPECT_EQ(GetObjectTypeIndex("NZT", 2), nzt + 1);
    EXPECT_EQ(GetObjectTypeIndex("nzt", 1), nzt + 2);  // checksums tell case apart
    for (uint32_t i = 0; i < 250; ++i) GetObjectTypeIndex(("T" + std::to_string(i)).c_str(), i);
    EXPECT_EQ(GetObjectTypeIndex("NZT", 1), nzt);
    EXPECT_STREQ(ObjectTypeTable[nzt].Name, "NZT");
    EXPECT_EQ(ObjectTypeTable[nzt + 1].Number, 2u);
    EXPECT_EQ(ObjectTypeTable[100].Mesh, nullptr);

    const uint32_t walk = GetAnimNameIndex("Walk");
    for (uint32_t i = 0; i < 120; ++i) GetAnimNameIndex(("A" + std::to_string(i)).c_str());
    EXPECT_EQ(GetAnimNameIndex("Walk"), walk);
    FreeTypeTables();
    EXPECT_EQ(ObjectTypeCount, 0u);
    EXPECT_EQ(AnimNameRecordCount, 0u);
    EXPECT_EQ(ObjectTypeTable, nullptr);
}

TEST_F(ObjectTypes, ListsGrowByTenAndShrinkOnlyWhenAsked) {
    std::vector<NztScnObject*> made;
    for (int i = 0; i < 31; ++i) made.push_back(CreateScnObject(nullptr));
    EXPECT_EQ(ScnObjectCapacity, 40u);  // full at 10, 20, 30
    while (ScnObjectCount > 11) RemoveScnObjectAt(ScnObjectCount - 1, false);
    EXPECT_EQ(ScnObjectCapacity, 40u);
    RemoveScnObjectAt(0, true);  // count 10, capacity 40 > 30
    EXPECT_EQ(ScnObjectCount, 10u);
    EXPECT_EQ(ScnObjectCapacity, 20u);
    EXPECT_EQ(ScnObjectList[0], made[1]);  // the tail moved down
    EXPECT_EQ(IndexOfScnObject(made[0]), -1);
    EXPECT_EQ(IndexOfScnObject(made[10]), 9);
    RemoveScnObject(made[5]);
    EXPECT_EQ(ScnObjectCount, 9u);
    EXPECT_EQ(ScnObjectCapacity, 20u);  // 20 is not above 9 + 20
}

TEST_F(ObjectTypes, AnimationLibraryFreesOnlyWhatItOwns) {
    NztAnim* owned = CreateAnim();
    NztAnim outside;
    DeleteAnim(&outside);  // not the library's: left alone
    EXPECT_EQ(AnimCount, 1u);
    DeleteAnim(owned);
    DeleteAnim(owned);  // a second delete of a shared slot animation does nothing
    EXPECT_EQ(AnimCount, 0u);

    NztMesh* mesh = CreateMeshData();
    NztMesh stranger;
    ReleaseMeshData(&stranger);
    EXPECT_EQ(MeshCount, 1u);
    ReleaseMeshData(mesh);
    EXPECT_EQ(MeshCount, 0u);
}

TEST_F(ObjectTypes, DeletingALightKeepsTheSelectionInTheList) {
    for (int i = 0; i < 3; ++i) CreateLight(1);
    EXPECT_EQ(LightList[0]->LightKind, 1u);
    SelectedLightIndex = 2;
    DeleteLightAt(2);
    EXPECT_EQ(SelectedLightIndex, 1);
    DeleteLightAt(7);
    EXPECT_EQ(LightCount, 2u);
    DeleteLightAt(0);
    DeleteLightAt(0);
    EXPECT_EQ(SelectedLightIndex, 0);
    EXPECT_EQ(LightCount, 0u);
}

TEST_F(ObjectTypes, PlayerHandOverRaisesTheTwoEvents) {
    NztEntity* first = Entity(0);
    NztEntity* second = Entity(5);
    SetPlayerEntity(first);
    first->inputDriven = first->animStateMachine = 1;
    SetPlayerEntity(second);
    EXPECT_EQ(PlayerEntity, second);
    EXPECT_EQ(first->inputDriven, 0u);
    EXPECT_EQ(first->animStateMachine, 0u);
    const std::vector<std::pair<const NztEventObject*, uint32_t>> expected = {
        {first, EventBecomesPlayer}, {first, EventStopsBeingPlayer}, {second, EventBecomesPlayer}};
    EXPECT_EQ(gSent, expected);

    // Removing the player's character leaves no dangling player pointer.
    RemoveEntity(second);
    EXPECT_EQ(PlayerEntity, nullptr);
    EXPECT_EQ(EntityCount, 1u);
}

TEST_F(ObjectTypes, RemovingNonPlayersKeepsThePlayerAndRemotePlayers) {
    NztEntity* player = Entity(0);
    Entity(1);
    NztEntity* remote = Entity(2);
    RemotePlayerRecord record;
    ReleaseNetworkRecord = DetachNetworkRecord;  // as the network client does when it binds one
    remote->networkRecord = &record;
    Entity(3);
    SetPlayerEntity(player);
    RemoveNonPlayerEntities();
    ASSERT_EQ(EntityCount, 2u);
    EXPECT_EQ(EntityList[0], player);
    EXPECT_EQ(EntityList[1], remote);
    RemoveAllEntities();
    EXPECT_EQ(record.detached, 1);
}

TEST_F(ObjectTypes, LifeStaysWithinItsBounds) {
    NztEntity* e = Entity(0, 100.0f);
    EXPECT_FLOAT_EQ(e->life, 100.0f);
    EXPECT_FLOAT_EQ(e->invMaxLife, 0.01f);
    struct Case {
        float add;
        float life;
    };
    for (const Case& c : {Case{-30, 70}, Case{50, 100}, Case{-250, 0}, Case{5, 5}}) {
        e->AddLife(c.add);
        EXPECT_FLOAT_EQ(e->life, c.life) << c.add;
    }
    e->SetLife(1000.0f);
    EXPECT_FLOAT_EQ(e->life, 100.0f);
    e->SetMaxLife(-4.0f);
    EXPECT_FLOAT_EQ(e->maxLife, 0.0f);
    EXPECT_FLOAT_EQ(e->life, 0.0f);
    EXPECT_FLOAT_EQ(e->invMaxLife, 0.0f);
}

TEST_F(ObjectTypes, RadialLifeChangeFallsOffWithSquaredDistance) {
    NztEntity* centre = Entity(0);
    NztEntity* half = Entity(std::sqrt(50.0f));  // d^2 = 50 of r^2 = 100
    NztEntity* outside = Entity(10);
    const float point[3] = {0, 0, 0};
    ApplyRadialLifeChange(-8.0f, point, 100.0f);
    EXPECT_FLOAT_EQ(centre->life, 2.0f);
    EXPECT_NEAR(half->life, 6.0f, 1e-4f);
    EXPECT_FLOAT_EQ(outside->life, 10.0f);
    EXPECT_EQ(gSent.size(), 2u);
    for (const auto& sent : gSent) EXPECT_EQ(sent.second, EventLifeChanged);
    gSent.clear();
    ApplyRadialLifeChange(-8.0f, point, 0.0f);
    EXPECT_TRUE(gSent.empty());
    EXPECT_FLOAT_EQ(centre->life, 2.0f);
}

TEST_F(ObjectTypes, BroadcastsReachOnlyTheChosenObjects) {
    NztEntity* listening = Entity(0);
    listening->receivesBroadcasts = 1;
    Entity(1)->receivesBroadcasts = 0;
    NztEntity* unregistered = Entity(2);
    unregistered->receivesBroadcasts = 1;
    unregistered->registered = 0;
    EXPECT_EQ(BroadcastEventToEntities(66), 1u);
    ASSERT_EQ(gSent.size(), 1u);
    EXPECT_EQ(gSent[0].first, listening);

    // Scene objects: only with event records, and only near, carried by or ridden by the player.
    EXPECT_EQ(BroadcastEventToScnObjects(66), 0u);  // no player: nobody
    NztEntity* player = Entity(0);
    SetPlayerEntity(player);
    player->SetRange(100.0f);
    auto scn = [](float x, int32_t records) {
        NztScnObject* s = CreateScnObject(nullptr);
        s->Position[0] = x;
        s->registered = 1;
        s->eventRecordCount = records;
        return s;
    };
    NztScnObject* near = scn(50, 1);
    scn(50, 0);
    NztScnObject* carried = scn(900, 1);
    carried->parent = player;
    scn(900, 1);
    gSent.clear();
    EXPECT_EQ(BroadcastEventToScnObjects(67), 2u);
    std::set<const NztEventObject*> reached;
    for (const auto& sent : gSent) reached.insert(sent.first);
    EXPECT_EQ(reached, (std::set<const NztEventObject*>{near, carried}));
    carried->parent = nullptr;

    gSent.clear();
    const float point[3] = {50, 0, 0};
    SendRadiusEvent(1.0f, point, near);
    EXPECT_EQ(gSent.size(), 1u);  // the one without records, not the sender
}

TEST_F(ObjectTypes, FindersLookFromTheLast) {
    const float point[3] = {4, 0, 0};
    NztEntity* a = Entity(0);
    EXPECT_EQ(FindNearestEntity(point), nullptr);  // fewer than two registered
    NztEntity* b = Entity(5);
    EXPECT_EQ(FindNearestEntity(point), b);
    a->id = 7;
    b->id = 7;
    EXPECT_EQ(FindEntityById(7), b);
    EXPECT_EQ(FindEntityById(8), nullptr);
    EXPECT_EQ(IndexOfEntity(a), 0);
    EXPECT_EQ(IndexOfEntity(nullptr), -1);
}

TEST_F(ObjectTypes, GroundQuadIsClampedAndMadeOnce) {
    NztScnObject* s = CreateScnObject(nullptr);
    s->SetGroundQuad(0.0f);
    EXPECT_EQ(s->localGroundQuad, nullptr);
    s->SetGroundQuad(3.0f);
    EXPECT_FLOAT_EQ(s->groundQuadStrength, 1.0f);
    ASSERT_NE(s->localGroundQuad, nullptr);
    const float* first = s->localGroundQuad.get();
    s->SetGroundQuad(-1.0f);
    EXPECT_FLOAT_EQ(s->groundQuadStrength, 0.0f);
    s->SetGroundQuad(0.5f);
    EXPECT_EQ(s->localGroundQuad.get(), first);
}

TEST_F(SampleTypes, CharacterTypeLoadsOnceAndReloadsAfterItsLastInstance) {
    ::testing::internal::CaptureStderr();
    NztEntity* hero = GetEntityType("Hero1001");
    ASSERT_NE(hero, nullptr);
    NztMesh* mesh = hero->mesh;
    ASSERT_NE(mesh, nullptr);
    EXPECT_STREQ(mesh->Name, "HERO");
    EXPECT_EQ(mesh->Number, 1u);
    EXPECT_EQ(mesh->HighestLod, 0u);
    const NztObjectType& type = ObjectTypeTable[mesh->TypeIndex];
    EXPECT_STREQ(type.Name, "Hero");
    EXPECT_STREQ(type.AnimFolder, "ANIMS/Hero");
    ASSERT_EQ(mesh->AnimSlots.size(), AnimNameCount);
    NztAnim* idle = mesh->AnimSlots[0];
    ASSERT_NE(idle, nullptr);
    EXPECT_GT(idle->FrameCount, 1u);
    EXPECT_EQ(idle->IdleFlag, 1u);
    EXPECT_EQ(idle->LoopFlag, 1u);
    EXPECT_EQ(hero->currentAnim, idle);
    EXPECT_EQ(mesh->CollisionTriangleCount, 12u);

    NztAnim* walk = LoadEntityAnim(FindAnimSlot("MoveWalk"), mesh->TypeIndex);
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(walk->LoopFlag, 1u);
    const uint32_t run = FindAnimSlot("MoveRun");
    EXPECT_EQ(LoadEntityAnim(run, mesh->TypeIndex), nullptr);
    EXPECT_EQ(mesh->AnimSlots[run], nullptr);
    EXPECT_EQ(mesh->AnimSlotFlags[run], 1u);
    const uint32_t anims = AnimCount;

    NztEntity* second = GetEntityType("hero1001");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->mesh, mesh);
    EXPECT_EQ(hero->typeInstance, 0u);
    EXPECT_EQ(second->typeInstance, 1u);
    EXPECT_EQ(AnimCount, anims);
    EXPECT_EQ(MeshCount, 1u);

    RemoveEntity(hero);
    EXPECT_EQ(MeshCount, 1u);
    RemoveEntity(second);
    EXPECT_EQ(MeshCount, 0u);  // the last instance gave the mesh back, with its slot animations
    EXPECT_EQ(AnimCount, 0u);
    EXPECT_EQ(ObjectTypeTable[0].Mesh, nullptr);
    NztEntity* again = GetEntityType("Hero1001");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(ObjectTypeCount, 1u);
    EXPECT_EQ(MeshCount, 1u);
    EXPECT_NE(again->mesh->AnimSlots[0], nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(SampleTypes, MissingCharacterGetsAnEmptyMeshAndAnIdentityPose) {
    NztEntity* nobody = GetEntityType("Nobody1001");
    ASSERT_NE(nobody, nullptr);
    EXPECT_EQ(nobody->mesh->VertexCount, 1u);
    NztAnim* pose = nobody->mesh->AnimSlots[0];
    ASSERT_NE(pose, nullptr);
    EXPECT_EQ(pose->FrameCount, 1u);
    EXPECT_EQ(pose->BoneCount, 1u);
    EXPECT_EQ(nobody->mesh->AnimSlotFlags[0], 1u);
    for (const char* bad : {"", "NZT", "../../Hero1001", "/Hero1001", "\\x1001"})
        EXPECT_EQ(GetEntityType(bad), nullptr) << bad;
}

TEST_F(SampleTypes, SceneAndDynamicObjectTypes) {
    struct Case {
        const char* type;
        uint32_t highestLod;
    };
    for (const Case& c : {Case{"Ground1001", 0}, Case{"Tree1001", 1}, Case{"Crate1001", 0}}) {
        SCOPED_TRACE(c.type);
        NztScnObject* s = GetScnObjectType(c.type);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->mesh->HighestLod, c.highestLod);
        EXPECT_GT(s->mesh->CollisionTriangleCount, 0u);
        EXPECT_EQ(GetScnObjectType(c.type)->mesh, s->mesh);
    }
    EXPECT_EQ(FindScnObjectByModel("tree", 1), ScnObjectList[3]);
    const uint32_t meshes = MeshCount;
    EXPECT_EQ(GetScnObjectType("Missing1001"), nullptr);
    EXPECT_EQ(MeshCount, meshes);

    NztDynObject* barrel = LoadObjectFile(GetObjectTypeIndex("Barrel", 0));
    ASSERT_NE(barrel, nullptr);
    EXPECT_FLOAT_EQ(barrel->body.radius, 6.0f);  // half the height of an 8 x 12 x 8 box
    ::testing::internal::CaptureStderr();
    NztDynObject* ghost = LoadObjectFile(GetObjectTypeIndex("Ghost", 0));
    ::testing::internal::GetCapturedStderr();
    ASSERT_NE(ghost, nullptr);
    EXPECT_EQ(ghost->mesh->VertexCount, 1u);
    EXPECT_EQ(ghost->mesh->MaterialCount, 0u);
    EXPECT_STREQ(ghost->mesh->Name, "Ghost");
    DeleteDynObjectAt(0, true);
    EXPECT_EQ(DynObjectList[0], ghost);

    NztScnObject* preview = CreateScnObjectFromFile("Crate1001");
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->mesh->TypeIndex, NoObjectType);
    const uint32_t before = MeshCount;
    RemoveScnObject(preview);
    EXPECT_EQ(MeshCount, before - 1);
}

TEST_F(SampleTypes, AnimationsLoadedByNameAreShared) {
    NztAnim* walk = LoadAnimFile("ENTITIES/ANIMS/Hero/HeroMoveWalk");
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(LoadAnimFile("ENTITIES/ANIMS/Hero/HeroMoveWalk"), walk);
    ASSERT_GE(walk->NameIndex, 0);
    EXPECT_EQ(AnimNameRecords[walk->NameIndex].UserCount, 2u);
    EXPECT_EQ(AnimCount, 1u);
    EXPECT_EQ(LoadAnimFile(""), nullptr);
    EXPECT_EQ(LoadAnimFile("Nothing"), nullptr);
    EXPECT_EQ(AnimCount, 1u);
}

TEST_F(ObjectTypes, LightAttachPointsBecomeLights) {
    NztMesh* mesh = CreateMeshData();
    mesh->Lods[0].AttachPoints.resize(3);
    std::strcpy(mesh->Lods[0].AttachPoints[0].Name, "Hand");
    std::strcpy(mesh->Lods[0].AttachPoints[1].Name, "@Lamp");
    std::strcpy(mesh->Lods[0].AttachPoints[2].Name, "@L");
    mesh->AttachPoints = mesh->Lods[0].AttachPoints.data();
    mesh->AttachCount = 3;
    NztEntity* e = CreateEntity(mesh);
    e->SetupParts();
    ASSERT_EQ(LightCount, 2u);
    EXPECT_EQ(LightList[0]->followedObject, e);
    EXPECT_EQ(LightList[0]->followedPoint, 1);
    EXPECT_EQ(LightList[1]->followedPoint, 2);
    EXPECT_FLOAT_EQ(LightList[0]->GetRange(), 10.0f);  // kept squared in the range word
    RemoveEntity(e);
}

TEST_F(SampleTypes, CharacterLevelsOfDetailStopAtTheFirstMissingFile) {
    for (const char* name : {"NZT1001", "NZT2001", "NZT3001", "NZT5001"})
        ASSERT_TRUE(datakit::WriteModelFile(temp.path() + "OBJECTS/ENTITIES/" + name + ".QVo",
                                            datakit::WriteQvo(datakit::MakeBoxMesh(name, {2, 2, 2}, ""))));
    NztEntity* nzt = GetEntityType("NZT1001");
    ASSERT_NE(nzt, nullptr);
    EXPECT_EQ(nzt->mesh->HighestLod, 2u);  // NZT4001 is missing, so NZT5001 is never read
    EXPECT_STREQ(nzt->mesh->Name, "NZT");
    EXPECT_STREQ(ObjectTypeTable[nzt->mesh->TypeIndex].Name, "NZT");
}

TEST_F(SampleTypes, ClonesShareTheTypeAndCopyThePlacement) {
    NztScnObject* crate = GetScnObjectType("Crate1001");
    ASSERT_NE(crate, nullptr);
    crate->Position[0] = 12.0f;
    crate->SetRange(321.0f);
    crate->SetGroundQuad(0.5f);
    NztScnObject* copy = CloneScnObject(crate);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->mesh, crate->mesh);
    EXPECT_FLOAT_EQ(copy->Position[0], 12.0f);
    EXPECT_FLOAT_EQ(copy->GetRange(), 321.0f);
    EXPECT_FLOAT_EQ(copy->groundQuadStrength, 0.5f);
    EXPECT_EQ(ObjectTypeTable[crate->mesh->TypeIndex].InstanceCount, 2u);

    NztEntity* hero = GetEntityType("Hero1001");
    ASSERT_NE(hero, nullptr);
    hero->SetMaxLife(50.0f);
    hero->AddLife(-20.0f);
    NztEntity* twin = CloneEntity(hero);
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->mesh, hero->mesh);
    EXPECT_FLOAT_EQ(twin->life, 30.0f);
    EXPECT_EQ(twin->typeInstance, 1u);
}

TEST_F(ObjectTypes, ReplacedCharactersHandOverThePlayerAndTheirReferences) {
    NztEntity* old = Entity(3);
    NztEntity* hunter = Entity(0);
    hunter->target = old;
    hunter->riddenEntity = old;
    SetPlayerEntity(old);
    old->SetMaxLife(40.0f);
    old->AddLife(-15.0f);
    NztEntity* replacement = Entity(0);
    CopyEntityState(old, replacement);
    EXPECT_EQ(PlayerEntity, replacement);
    EXPECT_EQ(IndexOfEntity(old), -1);
    EXPECT_EQ(hunter->target, replacement);
    EXPECT_EQ(hunter->riddenEntity, replacement);
    EXPECT_FLOAT_EQ(replacement->Position[0], 3.0f);
    EXPECT_FLOAT_EQ(replacement->life, 25.0f);

    NztScnObject* door = CreateScnObject(nullptr);
    door->Position[1] = 7.0f;
    NztScnObject* newDoor = CreateScnObject(nullptr);
    hunter->target = door;
    ReplaceScnObject(door, newDoor);
    EXPECT_EQ(ScnObjectCount, 1u);
    EXPECT_FLOAT_EQ(newDoor->Position[1], 7.0f);
    EXPECT_EQ(hunter->target, nullptr);  // a scene object is no target for a character
}

}  // namespace
