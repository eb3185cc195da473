// What a save and a load keep of the running world: scene-object animations, objects that took
// another's place and the records that name them, the player's id and motion, carried objects, and
// the memory snapshot of the save slots.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>

#include "core/binio.h"
#include "game/level.h"
#include "model/anim.h"
#include "scene_fixture.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

bool ParseFile(const std::string& path, SceneData* out) {
    const std::vector<uint8_t> bytes = ReadAll(path);
    BinReader in(bytes.data(), bytes.size());
    return ParseScene(in, "test.Scn", out);
}

EventRecord Action(int32_t type, int32_t targetKind, int32_t targetId) {
    EventRecord r = BlankEventRecord();
    r.Action = type;
    r.TargetKind = targetKind;
    r.TargetId = targetId;
    r.CondIndex = -1;
    return r;
}

void RunAction(EventRecord r) {
    const EventActionHandler handler = GetEventActionHandler(r.Action);
    ASSERT_NE(handler, nullptr) << r.Action;
    handler(&r);
}

// The target id of stored record i: the i32 at offset 60 of its 948 bytes.
int32_t StoredTargetId(const SceneEvents& events, uint32_t i) {
    int32_t id = 0;
    if ((i + 1) * 948 <= events.bytes.size()) std::memcpy(&id, events.bytes.data() + i * 948 + 60, 4);
    return id;
}

// Frame count of an animation file read on its own, to tell which file an object plays.
uint32_t FramesOf(const char* path) {
    NztAnim anim;
    return anim.Load(path, 0) != 0 ? anim.FrameCount : 0;
}

constexpr const char* kWalkFile = "OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveWalk.QVa";
constexpr const char* kIdleFile = "OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveStatic01.QVa";

class SceneSaves : public SceneWorld {
protected:
    // A skinned scene object of the hero's model (its animations are in ENTITIES/ANIMS/Hero/).
    static datakit::SceneObjectSpec Statue() {
        datakit::SceneObjectSpec statue;
        statue.model = "ENTITIES/Hero";
        return statue;
    }
    std::string Save(const char* name) {
        const std::string path = folder + "USER/" + name + ".Scn";
        SaveScene(path.c_str(), 1, 1, 1, 1);
        return path;
    }
};

TEST_F(SceneSaves, SceneObjectAnimationsArePlayedFromTheStoredNamesAndSavedAsTheyPlay) {
    const uint32_t walkFrames = FramesOf(kWalkFile), idleFrames = FramesOf(kIdleFile);
    ASSERT_NE(walkFrames, 0u);
    ASSERT_NE(walkFrames, idleFrames);
    datakit::SceneSpec s;
    datakit::SceneObjectSpec statue = Statue();
    statue.anim = {1, 10, 1, -1, 2, "HeroMoveWalk", ""};
    s.objects = {statue};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Statue.Scn"));
    ASSERT_EQ(ScnObjectCount, 1u);
    NztScnObject* o = ScnObjectList[0];
    ASSERT_NE(o->currentAnim, nullptr) << "slot 1 is loaded from the stored name";
    EXPECT_EQ(o->currentAnim->FrameCount, walkFrames);
    EXPECT_EQ(o->currentFrame, 2);

    // Another animation by action 44 (slot 2, the file named by the record), then a save: the
    // file names what plays, and a load plays it again.
    EventRecord play = Action(ActionPlayObjectAnimation, ObjectKindScn, 0);
    play.Param = 2;
    play.Param2 = 0;
    play.Value1 = 1.0f;
    std::strcpy(play.ParamName, "HeroMoveStatic01");
    RunAction(play);
    ASSERT_NE(o->currentAnim, nullptr);
    EXPECT_EQ(o->currentAnim->FrameCount, idleFrames);
    const std::string path = Save("Statue");
    SceneData saved;
    ASSERT_TRUE(ParseFile(path, &saved));
    ASSERT_EQ(saved.scnObjects.size(), 1u);
    EXPECT_EQ(saved.scnObjects[0].anim.slot1, 2);
    EXPECT_STREQ(saved.scnObjects[0].anim.name1, "HeroMoveStatic01");
    ASSERT_EQ(LoadScene(path.c_str(), 0, nullptr), 1);
    ASSERT_EQ(ScnObjectCount, 1u);
    ASSERT_NE(ScnObjectList[0]->currentAnim, nullptr);
    EXPECT_EQ(ScnObjectList[0]->currentAnim->FrameCount, idleFrames);
}

// Action 45 plays one animation of the type's table once and goes on with a second; both are
// written to a save. Action 44 jumps to a frame, and a slot table larger than there are names
// is not grown (a stored number no allocation can meet).
TEST_F(SceneSaves, AnimationActionsOnSceneObjectsFillTheTypesTable) {
    datakit::SceneSpec s;
    s.objects = {Statue()};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Statue.Scn"));
    NztScnObject* o = ScnObjectList[0];
    EventRecord sequence = Action(ActionPlayAnimationSequence, ObjectKindScn, 0);
    sequence.Param = 3;
    sequence.Param2 = 4;
    sequence.Extra = INT32_MAX;
    std::strcpy(sequence.ParamName, "HeroMoveWalk");
    std::strcpy(sequence.Text, "HeroMoveStatic01");
    RunAction(sequence);
    ASSERT_NE(o->currentAnim, nullptr);
    ASSERT_NE(o->returnAnim, nullptr);
    EXPECT_EQ(o->currentAnim->FrameCount, FramesOf(kWalkFile));
    EXPECT_EQ(o->returnAnim->FrameCount, FramesOf(kIdleFile));
    SceneData saved;
    ASSERT_TRUE(ParseFile(Save("Sequence"), &saved));
    const SceneAnimation& a = saved.scnObjects[0].anim;
    EXPECT_EQ(a.slot1, 3);
    EXPECT_EQ(a.slot2, 4);
    EXPECT_STREQ(a.name1, "HeroMoveWalk");
    EXPECT_STREQ(a.name2, "HeroMoveStatic01");

    EventRecord jump = Action(ActionPlayObjectAnimation, ObjectKindScn, 0);
    jump.Param = 1;
    jump.Param2 = 1;
    jump.Extra = INT32_MAX;
    jump.Value2 = 5.0f;
    std::strcpy(jump.ParamName, "HeroMoveWalk");
    RunAction(jump);
    EXPECT_EQ(o->currentFrame, 5);
    EXPECT_LE(o->mesh->AnimSlotCount, AnimNameCount);

    // A file that does not exist leaves the object playing what it played.
    NztAnim* before = o->currentAnim;
    std::strcpy(jump.ParamName, "NoSuchAnimation");
    RunAction(jump);
    EXPECT_EQ(o->currentAnim, before);
}

// Action 2 on a scene object: the new object answers to the old id, so the level's records that
// name it still reach it and a save writes it; the old object's waiting records wait as its own.
TEST_F(SceneSaves, AReplacedSceneObjectKeepsItsIdAndItsWaitingRecords) {
    std::filesystem::create_directories(folder + "OBJECTS/SCNOBJECTS");
    std::filesystem::copy_file(folder + "OBJECTS/Tree1001.QVo", folder + "OBJECTS/SCNOBJECTS/Tree1001.QVo");
    ClearPathCache();
    datakit::SceneSpec s;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    datakit::EventRecordSpec later;
    later.event = 1;
    later.action = ActionShakeCamera;
    later.delay = 2.0f;
    later.value1 = 4.0f;
    later.value2 = 1.0f;
    datakit::SceneObjectSpec second = crate;
    second.events = {Event(later)};
    s.objects = {crate, second};
    datakit::EventRecordSpec look;
    look.action = ActionLookAtPoint;
    look.targetKind = ObjectKindScn;
    look.targetId = 1;  // the second crate, as the level names it
    s.globalEvents = {Event(look)};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Crates.Scn"));
    NztScnObject* old = FindScnObjectById(1);
    ASSERT_NE(old, nullptr);
    old->SendEvent(1, 0, 0, 0);
    ASSERT_EQ(DelayedActionCount(), 1);

    EventRecord replace = Action(ActionReplaceObjectType, ObjectKindScn, 1);
    std::strcpy(replace.Text, "Tree1001");
    RunAction(replace);
    NztScnObject* tree = FindScnObjectById(1);
    ASSERT_NE(tree, nullptr) << "the replacement answers to the old id";
    EXPECT_NE(tree->mesh, ScnObjectList[0]->mesh);
    EXPECT_EQ(DelayedActionCount(), 1) << "the delayed record waits as the replacement's";
    CameraState.shakeTime = 0.0f;
    UpdateDelayedActions(3.0f);
    EXPECT_EQ(CameraState.shakeTime, 4.0f);
    CameraState.shakeTime = 0.0f;

    SceneData saved;
    ASSERT_TRUE(ParseFile(Save("Replaced"), &saved));
    ASSERT_EQ(saved.scnObjects.size(), 2u);
    const int32_t treeIndex = std::strcmp(saved.scnObjects[0].model, "SCNOBJECTS/Tree") == 0 ? 0 : 1;
    EXPECT_STREQ(saved.scnObjects[treeIndex].model, "SCNOBJECTS/Tree");
    ASSERT_EQ(saved.globalEvents.count, 1u);
    EXPECT_EQ(StoredTargetId(saved.globalEvents, 0), treeIndex);
}

// Action 4: the character that takes the player's state is the player, id 0. Records that named
// the player reach it, and so do records that named the character by its own id; a save keeps
// both pointing at the player.
TEST_F(SceneSaves, TheCharacterThatBecomesThePlayerIsIdZeroForEveryRecord) {
    datakit::SceneSpec s;
    datakit::SceneCharacterSpec guard, cook;
    guard.type = cook.type = "Hero";
    guard.place.position = {40.0f, 0.0f, 0.0f};
    cook.place.position = {-40.0f, 0.0f, 0.0f};
    guard.record = cook.record = datakit::MakeCharacterRecord(datakit::CharacterRecordSpec());
    s.characters = {guard, cook};
    datakit::EventRecordSpec onPlayer;
    onPlayer.action = ActionFadeMusic;
    onPlayer.targetKind = ObjectKindEntity;
    onPlayer.targetId = 0;
    datakit::EventRecordSpec onGuard = onPlayer, onCook = onPlayer;
    onGuard.targetId = 1;
    onCook.targetId = 2;
    s.globalEvents = {Event(onPlayer), Event(onGuard), Event(onCook)};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Guards.Scn"));
    NztEntity* guardBody = FindEntityById(1);
    NztEntity* cookBody = FindEntityById(2);
    ASSERT_NE(guardBody, nullptr);
    ASSERT_NE(cookBody, nullptr);

    RunAction(Action(ActionTransferPlayerState, ObjectKindEntity, 1));
    ASSERT_EQ(PlayerEntity, guardBody);
    EXPECT_EQ(FindEntityById(0), guardBody) << "the player answers to id 0";
    EXPECT_EQ(FindEntityById(2), cookBody);
    const EventRecord* records = GameEventObject.eventRecords;
    EXPECT_EQ(FindEntityById(records[0].TargetId), guardBody);
    EXPECT_EQ(FindEntityById(records[1].TargetId), guardBody);
    EXPECT_EQ(FindEntityById(records[2].TargetId), cookBody);

    SceneData saved;
    const std::string path = Save("Transferred");
    ASSERT_TRUE(ParseFile(path, &saved));
    ASSERT_EQ(saved.characters.size(), 1u);
    ASSERT_EQ(saved.globalEvents.count, 3u);
    EXPECT_EQ(StoredTargetId(saved.globalEvents, 0), 0);
    EXPECT_EQ(StoredTargetId(saved.globalEvents, 1), 0);
    EXPECT_EQ(StoredTargetId(saved.globalEvents, 2), 1) << "the other character is the first of its chunk";
    ASSERT_EQ(LoadScene(path.c_str(), 0, nullptr), 1);
    EXPECT_FLOAT_EQ(FindEntityById(1)->Position[0], -40.0f);
}

// The player of a loaded scene starts still: no glide, parachute, slide or tilt carried over, its
// angles zero; a player chunk that does not place it leaves it where it stands.
TEST_F(SceneSaves, LoadingAScenePutsThePlayerAtRest) {
    NztEntity* p = PlayerEntity;
    p->hangGliding = p->parachuting = p->sliding = p->skyDiving = 1;
    p->airborne = 1;
    p->glideVelocity[0] = 3.0f;
    p->skyDiveSpeed = 9.0f;
    p->SetAngles(100, 200, 300);
    p->groundPitch = 40;
    const float at[3] = {7.0f, 8.0f, 9.0f};
    p->SetPosition(at);
    datakit::SceneSpec s;
    s.player.placed = 0;
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Rest.Scn"));
    EXPECT_EQ(p->hangGliding | p->parachuting | p->sliding | p->skyDiving | p->airborne, 0);
    EXPECT_EQ(p->glideVelocity[0], 0.0f);
    EXPECT_EQ(p->skyDiveSpeed, 0.0f);
    EXPECT_EQ(p->packedAngles & 0xFFFFFFu, 0u);
    EXPECT_EQ(p->roll & 0xFFFu, 0u);
    EXPECT_EQ(p->groundPitch, 0);
    EXPECT_FLOAT_EQ(p->Position[0], 7.0f);
    EXPECT_FLOAT_EQ(p->Position[2], 9.0f);
}

// The carry state of a scene object is one field: putting a carried object back into the world or
// cloning it leaves no carried object.
TEST_F(SceneSaves, ActivationAndCloningDropACarriedObject) {
    datakit::SceneSpec s;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    crate.place.active = 0;
    s.objects = {crate};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Carry.Scn"));
    NztScnObject* o = ScnObjectList[0];
    o->poseState = 1;
    ActivateObject(o);
    EXPECT_EQ(o->registered, 1);
    EXPECT_EQ(o->poseState, 2);
    o->poseState = 1;
    auto* clone = static_cast<NztScnObject*>(CloneEventObject(o));
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone->poseState, 1) << "a clone is not carried";
    o->poseState = 1;
    ActivateObject(o);  // already in the world
    EXPECT_EQ(o->poseState, 2);
}

// Save slot 0 keeps the world in memory, slot 1 brings it back (through the same path a script's
// record takes).
TEST_F(SceneSaves, TheMemorySnapshotOfTheSaveSlotsRestoresTheWorld) {
    datakit::SceneSpec s;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    crate.place.position = {5.0f, 0.0f, 0.0f};
    s.objects = {crate, crate};
    datakit::EventRecordSpec r;
    r.action = ActionFadeMusic;
    s.player.events = {Event(r)};
    s.player.place.position = {1.0f, 2.0f, 3.0f};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Slots.Scn"));
    EventRecord keep = Action(ActionSaveSlot, 0, 0);
    keep.Param = 0;
    RunAction(keep);

    RemoveScnObject(ScnObjectList[0]);
    ScnObjectList[0]->Position[0] = 50.0f;
    const float away[3] = {90.0f, 0.0f, 0.0f};
    PlayerEntity->SetPosition(away);
    PlayerEntity->ClearEvents();
    EventRecord restore = Action(ActionSaveSlot, 0, 0);
    restore.Param = 1;
    RunAction(restore);
    ASSERT_EQ(ScnObjectCount, 2u);
    EXPECT_FLOAT_EQ(ScnObjectList[0]->Position[0], 5.0f);
    EXPECT_FLOAT_EQ(ScnObjectList[1]->Position[0], 5.0f);
    EXPECT_FLOAT_EQ(PlayerEntity->Position[0], 1.0f);
    EXPECT_EQ(PlayerEntity->eventRecordCount, 1);
    RunAction(restore);  // the snapshot was used up: nothing
    EXPECT_EQ(ScnObjectCount, 2u);
}

TEST_F(SceneSaves, EveryActionSlotHoldsAHandlerAfterStartUp) {
    for (int32_t type = 1; type <= EventActionCount; ++type)
        EXPECT_NE(GetEventActionHandler(type), nullptr) << "action " << type;
}

}  // namespace
