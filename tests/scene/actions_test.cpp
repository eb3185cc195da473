// The scene floor's event actions, each run through the action table on a record of its own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/sound.h"
#include "camera/traject.h"
#include "core/input.h"
#include "datakit/character.h"
#include "effects/light.h"
#include "plugin/pluginhost.h"
#include "render/renderstate.h"
#include "scene_fixture.h"
#include "ui/screenmsg.h"
#include "ui/textbox.h"
#include "world/framepass.h"

namespace {

EventRecord Action(int32_t type, int32_t param = 0, int32_t param2 = 0) {
    EventRecord r = BlankEventRecord();
    r.Action = type;
    r.Param = param;
    r.Param2 = param2;
    r.CondIndex = -1;
    return r;
}

// Runs the record's handler directly (deferred or not), as the queue would.
void RunAction(EventRecord r) {
    const EventActionHandler handler = GetEventActionHandler(r.Action);
    ASSERT_NE(handler, nullptr) << r.Action;
    handler(&r);
}

struct HookLog {
    std::vector<std::string> calls;
    uint32_t runMode = 1;
};
HookLog Hooks;

class SceneActionsTest : public SceneWorld {
protected:
    void SetUp() override {
        SceneWorld::SetUp();
        Hooks = HookLog();
        SceneActions.runMode = [] { return Hooks.runMode; };
        SceneActions.enterVideoMode = [] { Hooks.calls.push_back("video"); };
        SceneActions.selectFrame = [](bool game) { Hooks.calls.push_back(game ? "game" : "editor"); };
        SceneActions.setTimeScale = [](float s) { Hooks.calls.push_back("scale " + std::to_string(s)); };
        SceneActions.closeMainWindow = [] { Hooks.calls.push_back("close"); };
        SceneActions.startLevel = [](const char* name, uint8_t forced, uint8_t packs) {
            Hooks.calls.push_back(std::string("level ") + name + " " + std::to_string(forced) + std::to_string(packs));
        };
        SceneActions.saveSlot = [](int code, const char* name) {
            Hooks.calls.push_back("slot " + std::to_string(code) + " " + (name ? name : "(none)"));
        };
    }
    // Two crates (ids 0 and 1) and a game light.
    void LoadWorld() {
        datakit::SceneSpec s;
        datakit::SceneObjectSpec crate;
        crate.model = "Crate";
        s.objects = {crate, crate};
        s.gameLights = {datakit::GameLightSpec{}};
        ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/World.Scn"));
    }
};

TEST_F(SceneActionsTest, LevelAndSaveSlotActionsReachTheTopFloor) {
    EventRecord level = Action(ActionStartLevel);
    std::strcpy(level.ParamName, "Level02");
    RunAction(level);
    std::strcpy(level.ParamName, "../Level02");
    ::testing::internal::CaptureStderr();
    RunAction(level);  // refused: not a plain name
    ::testing::internal::GetCapturedStderr();
    for (int32_t code : {0, 1, 2, 3, 4, 5, -1}) {
        EventRecord slot = Action(ActionSaveSlot, code);
        std::strcpy(slot.Text2, "Quick");
        RunAction(slot);
    }
    const std::vector<std::string> expected = {"level Level02 11", "slot 0 (none)", "slot 1 (none)",
                                               "slot 2 Quick",     "slot 3 Quick",  "slot 4 Quick"};
    EXPECT_EQ(Hooks.calls, expected);
}

TEST_F(SceneActionsTest, SceneObjectsAreReplacedByAnotherType) {
    LoadWorld();
    // "SCNOBJECTS/Tree1001" is read from OBJECTS/SCNOBJECTS/.
    std::filesystem::create_directories(folder + "OBJECTS/SCNOBJECTS");
    std::filesystem::copy_file(folder + "OBJECTS/Tree1001.QVo", folder + "OBJECTS/SCNOBJECTS/Tree1001.QVo");
    ClearPathCache();
    NztScnObject* old = ScnObjectList[1];
    old->Position[0] = 33.0f;
    EventRecord r = Action(ActionReplaceObjectType);
    r.TargetKind = ObjectKindScn;
    r.TargetId = 1;
    std::strcpy(r.Text, "Tree1001");
    RunAction(r);
    ASSERT_EQ(ScnObjectCount, 2u);
    NztScnObject* replacement = ScnObjectList[1];
    EXPECT_NE(replacement->mesh, ScnObjectList[0]->mesh);
    EXPECT_EQ(replacement->Position[0], 33.0f);
    std::strcpy(r.Text, "Missing1001");
    ::testing::internal::CaptureStderr();
    RunAction(r);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ScnObjectList[1], replacement);
}

// The replaced character's state goes to its replacement: place, speeds, life, the animation by
// slot and frame, records; the player's goes to the character that takes over.
TEST_F(SceneActionsTest, CharactersAreReplacedWithTheirState) {
    datakit::SceneSpec s;
    datakit::SceneCharacterSpec guard;
    guard.type = "Hero";
    guard.place.position = {40.0f, 0.0f, 12.0f};
    datakit::CharacterRecordSpec guardRecord;
    guardRecord.name = "Guard";
    guardRecord.size = 6.0f;
    guard.record = datakit::MakeCharacterRecord(guardRecord);
    s.characters = {guard};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Chars.Scn"));
    ASSERT_EQ(EntityCount, 2u);
    NztEntity* old = EntityList[1];
    const int32_t walk = FindAnimSlot("MoveWalk");
    NztAnim* walking = old->GetAnim(static_cast<uint32_t>(walk));
    ASSERT_NE(walking, nullptr);
    old->SetAnim(walking, 0, nullptr, 3);
    old->speedFactor = 0.75f;
    old->SetLife(50.0f);
    EventRecord mine = Action(ActionFadeMusic);
    old->AddEventRecord(&mine);

    EventRecord replace = Action(ActionReplaceObjectType);
    replace.TargetKind = ObjectKindEntity;
    replace.TargetId = 1;
    std::strcpy(replace.Text, "Hero1001");
    RunAction(replace);
    ASSERT_EQ(EntityCount, 2u);
    NztEntity* now = EntityList[1];
    EXPECT_EQ(now->Position[0], 40.0f);
    EXPECT_EQ(now->speedFactor, 0.75f);
    EXPECT_EQ(now->life, 50.0f);
    EXPECT_EQ(now->eventRecordCount, 1);
    EXPECT_EQ(now->SlotOf(now->currentAnim), walk);
    EXPECT_STREQ(now->name, "Guard") << "a bare type takes the replaced character's characteristics";
    EXPECT_EQ(now->size, 6.0f);

    EXPECT_EQ(FindEntityById(1), now) << "the replacement answers to the replaced character's id";

    EventRecord transfer = Action(ActionTransferPlayerState);
    transfer.TargetKind = ObjectKindEntity;
    transfer.TargetId = 1;  // as the level names the guard
    PlayerEntity->Position[2] = -8.0f;
    RunAction(transfer);
    EXPECT_EQ(PlayerEntity, now);
    EXPECT_EQ(now->Position[2], -8.0f);
    EXPECT_EQ(EntityCount, 1u);
}

// What other objects and the level wait to do to an object still happens when the object is
// replaced by another type (a scene object, a character) or when the player changes body: the
// replacement answers to the same id and kind.
TEST_F(SceneActionsTest, WaitingRecordsNamingAReplacedObjectReachItsReplacement) {
    std::filesystem::create_directories(folder + "OBJECTS/SCNOBJECTS");
    std::filesystem::copy_file(folder + "OBJECTS/Tree1001.QVo", folder + "OBJECTS/SCNOBJECTS/Tree1001.QVo");
    ClearPathCache();
    datakit::SceneSpec s;
    datakit::SceneObjectSpec crate;
    crate.model = "Crate";
    s.objects = {crate, crate};
    datakit::SceneCharacterSpec guard, cook;
    guard.type = cook.type = "Hero";
    guard.place.position = {40.0f, 0.0f, 0.0f};
    cook.place.position = {-40.0f, 0.0f, 0.0f};
    guard.record = cook.record = datakit::MakeCharacterRecord(datakit::CharacterRecordSpec());
    s.characters = {guard, cook};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Waiting.Scn"));
    ASSERT_NE(FindScnObjectById(1), nullptr);
    ASSERT_NE(FindEntityById(1), nullptr);
    ASSERT_NE(FindEntityById(2), nullptr);

    // Timers of a third object (crate 0) and of the level, each 2 s after event 5.
    auto timer = [](EventRecord r, int32_t kind, int32_t id) {
        r.Event = 5;
        r.Delay = 2.0f;
        r.TargetKind = kind;
        r.TargetId = id;
        return r;
    };
    EventRecord hide = Action(ActionObjectControl, 6);
    EventRecord life = Action(ActionSetEntityLife, 0, 0);
    life.Value1 = 30.0f;
    EventRecord playerLife = life;
    playerLife.Value1 = 20.0f;
    EventRecord playerMaximum = Action(ActionSetEntityLife, 0, 1);
    playerMaximum.Value1 = 150.0f;
    NztScnObject* third = FindScnObjectById(0);
    for (const EventRecord& r : {timer(hide, ObjectKindScn, 1), timer(life, ObjectKindEntity, 1),
                                 timer(playerLife, ObjectKindEntity, 0)})
        third->AddEventRecord(&r);
    const EventRecord levelTimer = timer(playerMaximum, ObjectKindEntity, 0);
    GameEventObject.AddEventRecord(&levelTimer);
    GameEventObject.SendEvent(5, 0, 0, 0);  // the maximum first, then the life within it
    third->SendEvent(5, 0, 0, 0);
    ASSERT_EQ(DelayedActionCount(), 4);

    // In one frame the level replaces crate 1 by a tree, then takes crate 1 out of the world: both
    // wait on the deferred queue, and the second one reaches the tree.
    EventRecord replaceCrate = Action(ActionReplaceObjectType);
    replaceCrate.Event = 6;
    replaceCrate.TargetKind = ObjectKindScn;
    replaceCrate.TargetId = 1;
    std::strcpy(replaceCrate.Text, "Tree1001");
    EventRecord takeOut = Action(ActionObjectControl, 8);
    takeOut.Event = 6;
    takeOut.TargetKind = ObjectKindScn;
    takeOut.TargetId = 1;
    GameEventObject.AddEventRecord(&replaceCrate);
    GameEventObject.AddEventRecord(&takeOut);
    GameEventObject.SendEvent(6, 0, 0, 0);
    ASSERT_EQ(DeferredActionCount(), 2);
    NztScnObject* oldCrate = FindScnObjectById(1);
    RunDeferredActions();
    NztScnObject* tree = FindScnObjectById(1);
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(tree, oldCrate);
    EXPECT_EQ(tree->registered, 0) << "the deferred record naming the crate ran on its replacement";
    EXPECT_EQ(DelayedActionCount(), 4);

    EventRecord replaceGuard = Action(ActionReplaceObjectType);
    replaceGuard.TargetKind = ObjectKindEntity;
    replaceGuard.TargetId = 1;
    std::strcpy(replaceGuard.Text, "Hero1001");
    RunAction(replaceGuard);
    EXPECT_EQ(DelayedActionCount(), 4) << "after the character's replacement";

    NztEntity* cookBody = FindEntityById(2);
    EventRecord swap = Action(ActionTransferPlayerState);
    swap.TargetKind = ObjectKindEntity;
    swap.TargetId = 2;
    RunAction(swap);
    ASSERT_EQ(PlayerEntity, cookBody);
    EXPECT_EQ(DelayedActionCount(), 4) << "after the body swap";

    UpdateDelayedActions(2.5f);
    EXPECT_EQ(DelayedActionCount(), 0);
    EXPECT_EQ(FindScnObjectById(1)->shown, 0);
    NztEntity* guardNow = FindEntityById(1);
    ASSERT_NE(guardNow, nullptr);
    EXPECT_EQ(guardNow->life, 30.0f);
    EXPECT_EQ(PlayerEntity->life, 20.0f);
    EXPECT_EQ(PlayerEntity->maxLife, 150.0f);
}

// Action 4: the player moves into a character the level placed. The body keeps the
// characteristics it was placed with; the player's place, life and records go with the player.
TEST_F(SceneActionsTest, ABodySwapKeepsTheBodysCharacteristicsAndThePlayersRecords) {
    datakit::SceneSpec s;
    datakit::SceneCharacterSpec dragon;
    dragon.type = "Hero";
    dragon.place.position = {40.0f, 0.0f, 12.0f};
    datakit::CharacterRecordSpec dragonRecord;
    dragonRecord.name = "Dragon";
    dragonRecord.size = 9.0f;
    dragonRecord.canFly = 1;
    dragonRecord.walkFactor = 2.5f;
    dragon.record = datakit::MakeCharacterRecord(dragonRecord);
    s.characters = {dragon};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Dragon.Scn"));
    NztEntity* body = FindEntityById(1);
    ASSERT_NE(body, nullptr);
    EventRecord own = Action(ActionShakeCamera);
    body->AddEventRecord(&own);
    body->AddEventRecord(&own);
    NztEntity* player = PlayerEntity;
    std::strcpy(player->name, "Hero");
    player->SetSize(2.0f);
    player->canFly = 0;
    player->walkFactor = 1.0f;
    player->maxLife = 120.0f;
    player->SetLife(70.0f);
    const float at[3] = {-5.0f, 0.0f, 8.0f};
    player->SetPosition(at);
    EventRecord script = Action(ActionFadeMusic);
    player->AddEventRecord(&script);

    EventRecord swap = Action(ActionTransferPlayerState);
    swap.TargetKind = ObjectKindEntity;
    swap.TargetId = 1;
    RunAction(swap);
    ASSERT_EQ(PlayerEntity, body);
    EXPECT_STREQ(body->name, "Dragon");
    EXPECT_EQ(body->size, 9.0f);
    EXPECT_EQ(body->canFly, 1);
    EXPECT_EQ(body->walkFactor, 2.5f);
    EXPECT_EQ(body->Position[0], -5.0f);
    EXPECT_EQ(body->Position[2], 8.0f);
    EXPECT_EQ(body->life, 70.0f);
    EXPECT_EQ(body->maxLife, 120.0f);
    ASSERT_EQ(body->eventRecordCount, 1);
    EXPECT_EQ(body->eventRecords[0].Action, ActionFadeMusic);
    EXPECT_EQ(EntityCount, 1u) << "the old body leaves the world";
}

// A counter reads back the pitch that action 13 gave a numbered sound slot (sub-code 62).
TEST_F(SceneActionsTest, CountersReadThePitchTheSoundActionSet) {
    datakit::SceneSpec s;
    s.counters = {datakit::SceneCounterSpec{}};
    ASSERT_TRUE(LoadBytes(datakit::MakeScene(s), folder + "SCN/Pitch.Scn"));
    NztCounter* c = GetCounter(0);
    ASSERT_NE(c, nullptr);
    EventRecord pitch = Action(ActionSetSoundSourceParam, 0);
    pitch.Value1 = 0.5f;  // pitch 0.5 x 1.5 + 0.5 = 1.25
    pitch.Value2 = 3.0f;  // slot 3 + 1024
    RunAction(pitch);
    EventRecord read = Action(ActionSetObjectValue, 0, 62);
    read.Value1 = 3.0f;
    RunAction(read);
    EXPECT_NEAR(c->value, 0.5f * c->maximum2, 1e-3f * c->maximum2);
}

TEST_F(SceneActionsTest, MasterSoundStopsAtOnceOrFadesFromTheUserVolume) {
    struct Case {
        float seconds;
        uint32_t state;
        float gain;
        float step;
    } cases[] = {{0.0f, FadeNone, 0.0f, 0.0f}, {2.0f, FadeOutAndStop, 1.0f, 0.05f}};
    for (const Case& c : cases) {
        MasterSoundFade = GainFade{0.5f, 0.0f, FadeRise};
        EventRecord r = Action(ActionStopSounds, 0);
        r.Value1 = c.seconds;
        RunAction(r);
        EXPECT_EQ(MasterSoundFade.state, c.state) << c.seconds;
        EXPECT_FLOAT_EQ(MasterSoundFade.gain, c.gain * SoundVolume);
        if (c.step != 0.0f) {
            EXPECT_FLOAT_EQ(MasterSoundFade.step, c.step * SoundVolume);
        }
        EXPECT_FLOAT_EQ(MasterSoundGain, SoundVolume);
    }
    MasterSoundFade = GainFade{};
}

TEST_F(SceneActionsTest, CameraHeightFieldOfViewShakeAndRoll) {
    struct Height {
        float value;
        float expected;
    } heights[] = {{12.0f, 100.0f}, {-50.0f, -100.0f}, {2.5f, 25.0f}};
    for (const Height& h : heights) {
        EventRecord r = Action(ActionSetCameraHeight, 0);
        r.Value1 = h.value;
        RunAction(r);
        EXPECT_EQ(CameraState.eyeHeightOffset, h.expected) << h.value;
    }
    struct Fov {
        float factor;
        bool eased;
    } fovs[] = {{0.5f, true}, {1.0f, false}, {0.0f, false}};
    for (const Fov& f : fovs) {
        MainCamera.fieldOfView[0] = MainCamera.fieldOfView[1] = 0.3f;
        MainCamera.fieldOfView[2] = 0.0f;
        EventRecord r = Action(ActionSetFieldOfView);
        r.Value1 = 60.0f;
        r.Value2 = f.factor;
        RunAction(r);
        EXPECT_FLOAT_EQ(MainCamera.fieldOfView[1], 0.6f) << f.factor;
        EXPECT_FLOAT_EQ(MainCamera.fieldOfView[0], f.eased ? 0.3f : 0.6f) << f.factor;
    }
    EventRecord shake = Action(ActionShakeCamera);
    shake.Value1 = 2.0f;
    shake.Value2 = 0.00001f;  // too weak: nothing
    RunAction(shake);
    EXPECT_EQ(CameraState.shakeTime, 0.0f);
    shake.Value2 = 3.0f;
    RunAction(shake);
    EXPECT_EQ(CameraState.shakeTime, 2.0f);
    EXPECT_EQ(CameraState.shakeStrength, 3.0f);
    CameraState.shakeTime = 0.0f;
    // Sub-code 3 of the camera key is the auto-turn speed, in degrees a second; the view stays level.
    MainCamera.angles[2] = 0.0f;
    EventRecord turn = Action(ActionAddCameraKey, 3);
    turn.Value1 = 90.0f;
    RunAction(turn);
    EXPECT_NEAR(CameraControl.autoTurnSpeed, 1024.0f, 0.01f);
    EXPECT_EQ(MainCamera.angles[2], 0.0f);
    CameraControl.autoTurnSpeed = 0.0f;
}

// Type 23 puts the camera behind the player by its turn about the vertical axis: for a player
// turned a quarter about the axis (1, 1, 0), 0.707 of a quarter turn (724 units), not the 1024
// units its forward axis would give.
TEST_F(SceneActionsTest, CameraBehindATiltedPlayerFollowsItsTurnAboutTheVerticalAxis) {
    const float k = 0.70710678f;
    const float tilted[9] = {0.5f, 0.5f, -k, 0.5f, 0.5f, k, k, -k, 0.0f};
    PlayerEntity->SetRotation(tilted);
    const float origin[3] = {0.0f, 0.0f, 0.0f};
    PlayerEntity->SetPosition(origin);
    CameraControl.targetObject = nullptr;
    SetCameraMode(4);
    CameraState.behindOffset.z = -10.0f;
    RunAction(Action(ActionCameraBehindObject));
    const Vec3 p = MainCamera.lookAtPoint;
    const float units = std::atan2(-p.x, -p.z) * AngleUnitsPerRadian;
    EXPECT_NEAR(std::fabs(units), 724.0f, 2.0f) << units;
    EXPECT_NEAR(std::hypot(p.x, p.z), 10.0f, 1e-3f);
}

// Type 23 places the camera in every mode; in the orbit of mode 3 the yaw is the record's alone
// (and the orbit keeps it), in the other modes it is added to the player's heading.
TEST_F(SceneActionsTest, CameraBehindObjectPlacesTheCameraInEveryMode) {
    float quarter[9];
    MatrixRotationY(quarter, 1024);  // the player heads a quarter turn round
    PlayerEntity->SetRotation(quarter);
    const float at[3] = {100.0f, 0.0f, -40.0f};
    PlayerEntity->SetPosition(at);
    CameraControl.targetObject = nullptr;
    struct Case {
        int32_t mode;
        float yaw;  // angle units of the camera's place round the player
    } cases[] = {{3, 512.0f}, {4, 1536.0f}, {1, 1536.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        SetCameraMode(c.mode);
        CameraState.behindOffset.z = -10.0f;
        CameraState.azimuth = 0.0f;
        MainCamera.lookAtPoint = Vec3{0.0f, 0.0f, 0.0f};
        EventRecord behind = Action(ActionCameraBehindObject);
        behind.Value1 = 45.0f;
        RunAction(behind);
        const Vec3 p = MainCamera.lookAtPoint;
        EXPECT_NEAR(std::hypot(p.x - at[0], p.z - at[2]), 10.0f, 1e-3f);
        const float units = std::atan2(at[0] - p.x, at[2] - p.z) * AngleUnitsPerRadian;
        EXPECT_NEAR(units, c.yaw, 2.0f);
        if (c.mode == 3) {
            EXPECT_NEAR(CameraState.azimuth, 512.0f, 0.1f);
        }
    }
}

TEST_F(SceneActionsTest, CameraTrajectoriesPlacementCarriedObjectsAndStates) {
    LoadWorld();
    const int32_t before = CameraMode;
    EventRecord follow = Action(ActionCameraFollowTrajectory);
    RunAction(follow);  // no name: nothing
    EXPECT_EQ(CameraMode, before);
    std::strcpy(follow.ParamName, "Tour");
    ::testing::internal::CaptureStderr();
    RunAction(follow);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(CameraMode, 11);
    ASSERT_NE(CameraControl.traject, nullptr);
    EXPECT_EQ(CameraControl.traject, TrajectTable.selected);
    SetCameraMode(1);
    CameraControl.traject = nullptr;
    DeleteAllTrajects();

    EventRecord place = Action(ActionSetCameraPlacement, 0, 0);
    place.SetValueF(0, 5.0f);
    place.SetValueF(1, 6.0f);
    place.SetValueF(2, 7.0f);
    RunAction(place);
    EXPECT_EQ(MainCamera.eye.y, 6.0f);
    place.Param = 1;
    place.SetValueF(1, 9.0f);
    RunAction(place);
    EXPECT_EQ(MainCamera.eye.y, 6.0f);
    EXPECT_EQ(MainCamera.aimPoint.y, 9.0f);

    EventRecord carry = Action(ActionSetCameraCarriedObject, 0);
    carry.TargetKind = ObjectKindScn;
    carry.TargetId = 1;
    RunAction(carry);
    EXPECT_EQ(MainCamera.carriedObject, ScnObjectList[1]);
    EXPECT_EQ(ScnObjectList[1]->poseState, 0);
    carry.Param = 1;
    RunAction(carry);
    EXPECT_EQ(MainCamera.carriedObject, nullptr);
    EXPECT_EQ(ScnObjectList[1]->poseState, 2);
    EventRecord light = Action(ActionSetCameraCarriedObject, 0);
    light.TargetKind = ObjectKindGameLight;
    light.TargetId = 0;
    RunAction(light);
    EXPECT_EQ(MainCamera.carriedLight, GameLightList[0]);
    light.Param = 1;
    RunAction(light);
    EXPECT_EQ(MainCamera.carriedLight, nullptr);

    ClearCameraStateStack();
    RunAction(Action(ActionPushPopCameraState, 0));
    EXPECT_EQ(CameraStateCount(), 1);
    RunAction(Action(ActionPushPopCameraState, 1));
    EXPECT_EQ(CameraStateCount(), 0);

    EventRecord mode = Action(ActionRestoreCameraMode, 4);
    mode.TargetKind = ObjectKindScn;
    mode.TargetId = 0;
    mode.SetValueF(0, 0.0f);  // raised to 0.0001
    mode.SetValueF(3, 25.0f);
    mode.SetValueF(4, 90.0f);
    // The restored mode starts its trajectory afresh; the mouse movement of the tick stays for the
    // camera update.
    CameraState.trajectPoint = 7;
    CameraState.trajectProgress = 0.5f;
    CameraInput.mouseX = 3.0f;
    RunAction(mode);
    EXPECT_EQ(CameraState.trajectPoint, 0);
    EXPECT_EQ(CameraState.trajectProgress, 0.0f);
    EXPECT_EQ(CameraInput.mouseX, 3.0f);
    CameraInput = CameraInputState{};
    EXPECT_EQ(CameraMode, 4);
    EXPECT_EQ(CameraControl.targetObject, ScnObjectList[0]);
    EXPECT_FLOAT_EQ(CameraControl.smoothing[0], 0.0001f);
    EXPECT_EQ(CameraControl.nearDistance, 25.0f);
    EXPECT_EQ(CameraControl.farDistance, 90.0f);
    SetCameraMode(1);
    CameraControl = CameraControlBlock{};
}

TEST_F(SceneActionsTest, VideoTimeScaleLetterboxAndMessages) {
    // A video that cannot be opened changes no run mode.
    EventRecord video = Action(ActionPlayVideo);
    std::strcpy(video.ParamName, "Nothing");
    ::testing::internal::CaptureStderr();
    RunAction(video);
    ::testing::internal::GetCapturedStderr();
    EventRecord scale = Action(ActionSetTimeScale);
    scale.Value1 = 2.0f;
    RunAction(scale);
    EXPECT_EQ(Hooks.calls, std::vector<std::string>{"scale 2.000000"});

    const NztRenderState saved = RenderState;
    RenderState.screenHeight = 768;
    struct Bars {
        int32_t param, param2;
        float value;
        int32_t expected;
    } bars[] = {{0, 1, 100.0f, 100}, {0, 1, -5.0f, 0}, {1, 0, 0.0f, 0}};
    for (const Bars& b : bars) {
        RenderState.letterboxBar = 7;
        EventRecord r = Action(ActionSetCinemaBorders, b.param, b.param2);
        r.Value1 = b.value;
        RunAction(r);
        EXPECT_EQ(RenderState.letterboxBar, b.expected) << b.value;
    }
    RenderState = saved;

    ResetScreenMessages();
    GtxTable.entries.assign(512, 0);
    std::strcpy(GtxTable.entries.data() + 256, "Second entry");
    GtxTable.count = 2;
    EventRecord message = Action(ActionShowScreenMessage, 0, 0);
    message.Value1 = 3.0f;
    message.SetValueI(5, 1);
    RunAction(message);
    EXPECT_EQ(ScreenMessageActiveCount, 1u);
    EXPECT_STREQ(ScreenMessages[ScreenMessageIndex].lines[0].text, "Second entry");
    EXPECT_EQ(ScreenMessages[ScreenMessageIndex].gameUI, -1);
    RunAction(Action(ActionShowScreenMessage, 0, 1));  // clears every message
    EXPECT_EQ(ScreenMessageActiveCount, 0u);
    ResetScreenMessages();
    FreeGtxTable();
}

TEST_F(SceneActionsTest, SystemCommandsSwitchFramesCodePagesAndEventFiles) {
    struct Frame {
        uint32_t mode;
        int32_t param2;
        const char* call;
    } frames[] = {{2, 0, nullptr}, {1, 0, "editor"}, {3, 1, nullptr}, {2, 1, "game"}};
    for (const Frame& f : frames) {
        Hooks.calls.clear();
        Hooks.runMode = f.mode;
        RunAction(Action(ActionSystemCommand, 13, f.param2));
        EXPECT_EQ(Hooks.calls.size(), f.call ? 1u : 0u) << f.mode << " " << f.param2;
        if (f.call) {
            EXPECT_EQ(Hooks.calls[0], f.call);
        }
    }
    Hooks.calls.clear();
    for (int32_t code : {0, 1, 2, 3, 18, 99}) RunAction(Action(ActionSystemCommand, code));
    EXPECT_TRUE(Hooks.calls.empty());
    RunAction(Action(ActionSystemCommand, 4));
    EXPECT_EQ(Hooks.calls, std::vector<std::string>{"close"});

    RunAction(Action(ActionSystemCommand, 12, 0));
    EXPECT_EQ(RenderState.threadCodePage, 1);
    RunAction(Action(ActionSystemCommand, 12, 5));
    EXPECT_EQ(RenderState.threadCodePage, 0);

    // Save, load (replacing the records) and delete an object's event file.
    LoadWorld();
    NztScnObject* crate = ScnObjectList[0];
    EventRecord mine = Action(ActionFadeMusic);
    mine.Event = 5;
    crate->AddEventRecord(&mine);
    EventRecord save = Action(ActionSystemCommand, 14);
    save.TargetKind = ObjectKindScn;
    save.TargetId = 0;
    std::strcpy(save.Text2, "CrateScript");
    RunAction(save);
    const std::string path = folder + "USER/CrateScript.evt";
    ASSERT_TRUE(std::filesystem::exists(path));
    crate->AddEventRecord(&mine);
    EventRecord load = save;
    load.Param = 15;
    RunAction(load);
    EXPECT_EQ(crate->eventRecordCount, 1);
    std::strcpy(load.Text2, "NoSuchScript");
    RunAction(load);  // no file: the records stay
    EXPECT_EQ(crate->eventRecordCount, 1);
    EventRecord remove = save;
    remove.Param = 16;
    RunAction(remove);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(SceneActionsTest, EnvironmentLightsAndInputBlocks) {
    LoadWorld();
    EventRecord fog = Action(ActionSetEnvironment, 0);
    fog.Value1 = 0.0f;
    SceneFogSwitch = 0;
    RunAction(fog);  // off already: nothing
    EXPECT_EQ(SceneFogSwitch, 0u);
    EventRecord day = Action(ActionSetEnvironment, 2);
    day.Value1 = 12.0f;
    day.Value2 = 0.25f;
    RunAction(day);
    EXPECT_FLOAT_EQ(TimeOfDay, 180.0f);
    EXPECT_EQ(DaySpeed, 0.25f);
    EventRecord fade = Action(ActionSetEnvironment, 3);
    fade.TargetKind = ObjectKindScn;  // the fade distance is a scene object's alone
    fade.TargetId = 1;
    fade.Value1 = 30.0f;
    RunAction(fade);
    EXPECT_EQ(ScnObjectList[1]->fadeStart, 300.0f);
    EventRecord hide = Action(ActionSetEnvironment, 6, 1);
    hide.TargetKind = ObjectKindScn;
    hide.TargetId = 0;
    RunAction(hide);
    EXPECT_EQ(ScnObjectList[0]->shown, 0);

    NztLight* light = GameLightList[0]->light;
    ASSERT_NE(light, nullptr);
    EventRecord off = Action(ActionSetLight, 1);
    off.TargetId = 0;
    RunAction(off);
    EXPECT_EQ(light->Active, 0u);
    EXPECT_EQ(light->registered, 0);
    off.TargetId = 5;  // no such light: nothing
    RunAction(off);

    ClearKeyStates();
    RunAction(Action(ActionBlockInputAction, kActionSpace, 0));
    KeyStates.actions[kActionSpace] = 1;
    RunAction(Action(ActionBlockInputAction, kActionSpace, 1));
    EXPECT_EQ(KeyStates.actions[kActionSpace], 0);
    RunAction(Action(ActionBlockInputAction, 99, 0));  // no such action: nothing
}

TEST_F(SceneActionsTest, TextBoxesOverObjectsInView) {
    LoadWorld();
    ClearTextBoxes();
    NztScnObject* crate = ScnObjectList[0];
    TextBoxRequest request{};
    request.duration = 5.0f;
    OpenTextBox(ScnObjectList[1], &request);
    crate->visible = 0;
    EventRecord open = Action(ActionTextBox, 0);
    open.TargetKind = ObjectKindScn;
    open.TargetId = 0;
    open.SetValueF(3, 4.0f);
    RunAction(open);  // out of view: nothing
    auto boxesOf = [](const NztBase3D* owner) {
        int n = 0;
        for (const TextBox& b : TextBoxes) n += b.owner == owner && b.remainingTime > 0.0f;
        return n;
    };
    EXPECT_EQ(boxesOf(crate), 0);
    crate->visible = 1;
    RunAction(open);
    EXPECT_EQ(boxesOf(crate), 1);
    EventRecord close = open;
    close.Param = 1;
    RunAction(close);  // only the crate's boxes
    EXPECT_EQ(boxesOf(crate), 0);
    EXPECT_EQ(boxesOf(ScnObjectList[1]), 1);
    close.TargetId = 9;  // no owner: every box
    RunAction(close);
    EXPECT_EQ(boxesOf(ScnObjectList[1]), 0);
    ClearTextBoxes();
}

TEST_F(SceneActionsTest, RopeLinksNeedBothEndsInTheWorld) {
    LoadWorld();
    EventRecord add = Action(ActionAddRopeLink, 0, 1);
    add.TargetKind = add.Target2Kind = ObjectKindScn;
    add.TargetId = 0;
    add.Target2Id = 1;
    UnregisterObjectByType(ScnObjectList[1]);
    RunAction(add);
    EXPECT_EQ(RopeLinkCount, 0u);
    RegisterObjectByType(ScnObjectList[1]);
    RunAction(add);
    ASSERT_EQ(RopeLinkCount, 1u);
    EXPECT_EQ(RopeLinkList[0]->anchorA->point, -1);  // 0 names the object itself
    EventRecord remove = add;
    remove.Action = ActionRemoveRopeLink;
    RunAction(remove);
    EXPECT_EQ(RopeLinkCount, 0u);
}

// A plug-in message carries the event, the fired objects (zeros for none) and the references.
std::vector<uint32_t> PluginWords;
void RecordPluginMessage(uint32_t code, intptr_t param1, intptr_t, int32_t, int32_t, int32_t) {
    if (code != QV_PLUGIN_MSG_EVENT) return;
    const auto* words = reinterpret_cast<const uint32_t*>(param1);
    PluginWords.assign(words, words + QV_PLUGIN_EVENT_WORDS);
}

TEST_F(SceneActionsTest, PluginMessagesGoToLoadedActivePlugins) {
    PluginRecord record;
    std::strcpy(record.name, "Sample");
    record.module = reinterpret_cast<DynLibHandle>(&record);  // loaded, never called through
    record.active = 1;
    record.MessageLGp = RecordPluginMessage;
    PluginRecord* savedRecords = PluginRecords;
    const int32_t savedCount = PluginCount;
    PluginRecords = &record;
    PluginCount = 1;
    EventRecord r = Action(ActionCallPlugin, 0, 2);
    std::strcpy(r.ParamName, "Sample");
    r.Event = 9;
    r.TargetId = 4;
    r.TargetKind = 5;
    r.Target2Id = 6;
    r.Target2Kind = 7;
    r.CondIndex = 8;
    r.CondKind = 11;
    PluginWords.clear();
    RunAction(r);
    EXPECT_EQ(PluginWords, (std::vector<uint32_t>{9, 0, 0, 0, 0, 4, 5, 6, 7, 8, 11}));
    record.active = 0;
    PluginWords.clear();
    RunAction(r);
    EXPECT_TRUE(PluginWords.empty());
    PluginRecords = savedRecords;
    PluginCount = savedCount;
}

}  // namespace
