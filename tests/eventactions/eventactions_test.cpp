// The event actions over characters and world objects: life, abilities, spells cast by actions,
// trails, placing and copying objects, the switchboard, targets and mounting.
#include "eventactions/eventactions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "camera/camera.h"
#include "character/entity.h"
#include "character/fixture.h"
#include "character/spell.h"
#include "effects/gamelight.h"
#include "effects/light.h"
#include "effects/trail.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/actions.h"
#include "objects/eventrecord.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "support/sample_spells.h"
#include "world/framepass.h"

namespace {

class EventActions : public CharacterWorld {
protected:
    void SetUp() override {
        CharacterWorld::SetUp();
        savedCamera = MainCamera;
        savedState = CameraState;
        CameraState.shakeTime = -1.0f;
        ASSERT_TRUE(LoadSampleSpells());
    }
    void TearDown() override {
        FreeSpells();
        MainCamera = savedCamera;
        CameraState = savedState;
        CharacterWorld::TearDown();
    }
    static EventRecord Record(int32_t action, int32_t kind, int32_t id) {
        EventRecord r = BlankEventRecord();
        r.Action = action;
        r.TargetKind = kind;
        r.TargetId = id;
        for (int i = 0; i < 13; ++i) r.Values[i] = 0;
        return r;
    }
    static NztEntity* Character(int32_t id, float x = 0.0f) {
        NztEntity* e = Plain(x);
        e->id = id;
        e->registered = 1;
        return e;
    }
    static NztScnObject* Scene(int32_t id, float x = 0.0f) {
        NztScnObject* o = CreateScnObject(nullptr);
        o->id = id;
        o->registered = 1;
        o->Position[0] = x;
        return o;
    }

    CNztCamera savedCamera;
    decltype(CameraState) savedState;
};

TEST_F(EventActions, LifeAndMaximumLife) {
    NztEntity* e = Character(3);
    struct Case {
        int32_t param, param2;
        float v, life, max;
        float lifeAfter, maxAfter;
    } cases[] = {
        {0, 0, 30, 50, 200, 30, 200},  {0, 1, 40, 50, 200, 40, 40},   {1, 0, 500, 50, 200, 200, 200},
        {1, 1, -300, 50, 200, 0, 0},   {2, 0, 20, 50, 200, 30, 200},  {2, 1, 20, 50, 200, 50, 180},
        {3, 0, 10, 50, 200, 200, 200}, {3, 1, 0.5f, 50, 200, 50, 100}, {4, 0, 10, 50, 200, 50, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.param << "/" << c.param2);
        e->SetMaxLife(c.max);
        e->SetLife(c.life);
        EventRecord r = Record(ActionSetEntityLife, 5, 3);
        r.Param = c.param;
        r.Param2 = c.param2;
        r.Value1 = c.v;
        SetEntityLifeAction(&r);
        EXPECT_FLOAT_EQ(e->life, c.lifeAfter);
        EXPECT_FLOAT_EQ(e->maxLife, c.maxAfter);
    }
    e->registered = 0;
    EventRecord r = Record(ActionSetEntityLife, 5, 3);
    r.Value1 = 1.0f;
    SetEntityLifeAction(&r);
    EXPECT_FLOAT_EQ(e->life, 50.0f) << "a character out of the world is left alone";
}

TEST_F(EventActions, AbilitiesAndControlOfThePlayer) {
    NztEntity* p = Character(1);
    NztMesh oneBone;
    oneBone.BoneCount = 1;
    p->mesh = &oneBone;
    PlayerEntity = p;
    EventRecord r = Record(ActionSetPlayerAbility, 0, 0);
    r.Param = 8;  // fly
    SetPlayerAbilityAction(&r);
    EXPECT_EQ(p->canFly, 0u) << "one bone cannot fly";
    oneBone.BoneCount = 3;
    SetPlayerAbilityAction(&r);
    EXPECT_EQ(p->canFly, 1u);
    r.Param2 = 1;
    SetPlayerAbilityAction(&r);
    EXPECT_EQ(p->canFly, 0u);
    r.Param = 10;
    r.Param2 = 0;
    SetPlayerAbilityAction(&r);
    EXPECT_EQ(p->fallDownOnLongJump, 1u);
    r.Param = 4;
    r.Param2 = 1;
    SetPlayerAbilityAction(&r);
    EXPECT_EQ(p->canHang, 0u);

    EventRecord c = Record(ActionSetPlayerControl, 0, 0);
    c.Param = 1;
    p->inputDriven = p->animStateMachine = 1;
    SetPlayerControlAction(&c);
    EXPECT_EQ(p->inputDriven, 0u);
    EXPECT_EQ(p->animStateMachine, 0u);
    c.Param = 0;
    SetPlayerControlAction(&c);
    EXPECT_EQ(p->inputDriven, 1u);
    p->mesh = nullptr;
}

TEST_F(EventActions, SpellsCastFromObjectsPointsAndTheCamera) {
    NztScnObject* o = Scene(4, 10.0f);
    EventRecord r = Record(ActionCastSpellOnObject, 4, 4);
    r.Param = 1;  // "Quake": a camera shake
    CastSpellOnObjectAction(&r);
    ASSERT_NE(o->effectBlock, nullptr);
    EXPECT_EQ(o->spellIndex, 1);
    EXPECT_FLOAT_EQ(CameraState.shakeTime, 0.6f);

    // Out of the world, or an index outside the table: nothing.
    CameraState.shakeTime = -1.0f;
    o->registered = 0;
    CastSpellOnObjectAction(&r);
    o->registered = 1;
    r.Param = 7;
    CastSpellOnObjectAction(&r);
    r.Param = -1;
    CastSpellOnObjectAction(&r);
    EXPECT_FLOAT_EQ(CameraState.shakeTime, -1.0f);

    EventRecord at = Record(ActionCastSpellAtPoint, 0, 0);
    at.Param = 1;
    at.SetValueF(0, 100.0f);
    at.SetValueF(1, 5.0f);
    at.SetValueF(2, -20.0f);
    at.SetValueF(6, 3.0f);  // x scattered by up to 3
    const uint32_t drawn = ObjectRandomIndex;
    CastSpellAtPointAction(&at);
    EXPECT_EQ(ObjectRandomIndex, drawn + 1) << "one draw for the one spread";
    ASSERT_NE(SpellCaster->effectBlock, nullptr);
    const SpellEffect& shake = SpellCaster->effectBlock->records[0];
    EXPECT_NEAR(shake.basePosition[0], 100.0f, 3.0f);
    EXPECT_FLOAT_EQ(shake.basePosition[2], -20.0f);
    EXPECT_FLOAT_EQ(SpellCaster->Position[2], -20.0f) << "the caster stands where it casts";

    MainCamera.eye = {7.0f, 8.0f, 9.0f};
    EventRecord helper = Record(ActionCastSpellFromHelper, 0, 0);
    helper.Param = 1;
    CastSpellFromHelperAction(&helper);
    EXPECT_FLOAT_EQ(SpellCaster->effectBlock->records[0].basePosition[1], 8.0f);
}

TEST_F(EventActions, SpellSoundsChangeTheirTemplate) {
    EventRecord r = Record(ActionSetSpellSound, 0, 0);
    r.Value1 = 2.2f;  // rounds to template 2
    std::strcpy(r.Text2, "Chime");
    r.SetValueI(5, 12);
    r.SetValueF(3, 0.5f);
    r.SetValueF(4, 0.25f);
    SetSpellSoundAction(&r);
    const SpellSfxRecord& t = Spells.templates[2];
    EXPECT_STREQ(t.text2, "Chime");
    EXPECT_EQ(t.word1, 12u);
    EXPECT_FLOAT_EQ(t.values[1], 0.5f);
    EXPECT_FLOAT_EQ(t.values[2], 0.25f);
    r.Value1 = 3.0f;
    std::strcpy(r.Text2, "Other");
    SetSpellSoundAction(&r);
    r.Value1 = -1.0f;
    SetSpellSoundAction(&r);
    EXPECT_STREQ(Spells.templates[2].text2, "Chime");
}

TEST_F(EventActions, TrailsAllOrOne) {
    NztScnObject* o = Scene(4);
    NztTrail a, b;
    a.running = b.running = 1;
    o->trails = {&a, &b};
    EventRecord r = Record(ActionSetObjectTrails, 4, 4);
    r.Param = 2;
    r.Param2 = 1;
    SetObjectTrailsAction(&r);
    EXPECT_EQ(a.fading, 1u);
    EXPECT_EQ(b.fading, 0u) << "Param2 1 is the first trail only";
    r.Param = 1;
    SetObjectTrailsAction(&r);
    EXPECT_EQ(a.fading, 0u);
    EXPECT_EQ(a.running, 1u);
    r.Param = 2;
    r.Param2 = 0;
    SetObjectTrailsAction(&r);
    EXPECT_EQ(b.fading, 1u) << "Param2 0 is every trail";
    r.Param2 = 3;
    a.fading = 0;
    SetObjectTrailsAction(&r);
    EXPECT_EQ(a.fading, 0u) << "no third trail";
    o->trails.clear();
}

TEST_F(EventActions, MatrixAndFrameHelpers) {
    float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Invert3x3(m);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(m[i], identity[i]);
    float yaw[9];
    MatrixRotationY(yaw, 700);
    float inverse[9];
    std::copy(yaw, yaw + 9, inverse);
    Invert3x3(inverse);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(inverse[r * 3 + c], yaw[c * 3 + r], 1e-5f);

    NztBaseObject o;
    SetRandomAnimFrame(&o);  // no animation: nothing
    EXPECT_EQ(o.currentFrame, 0);
    NztAnim empty, one, many;
    o.currentAnim = &empty;
    o.currentFrame = 3;
    SetRandomAnimFrame(&o);
    EXPECT_EQ(o.currentFrame, 3) << "an animation of no frames has none to choose";
    one.Frames.resize(1);
    o.currentAnim = &one;
    for (int i = 0; i < 5; ++i) {
        SetRandomAnimFrame(&o);
        EXPECT_EQ(o.currentFrame, 0);
    }
    many.Frames.resize(10);
    o.currentAnim = &many;
    for (int i = 0; i < 20; ++i) {
        SetRandomAnimFrame(&o);
        EXPECT_GE(o.currentFrame, 0);
        EXPECT_LT(o.currentFrame, 10);
        EXPECT_FLOAT_EQ(o.frameTime, static_cast<float>(o.currentFrame));
    }
    o.currentAnim = nullptr;

    SetRollMatrix(&o, 4096 + 1024);
    EXPECT_EQ(o.roll & 0xFFFu, 1024u);
    EXPECT_NEAR(o.rotation[1], 1.0f, 1e-5f);
}

TEST_F(EventActions, PlacingAnObjectByAxisAndTurningIt) {
    NztScnObject* t = Scene(4, 10.0f);
    NztScnObject* ref = Scene(5, 50.0f);
    ref->Position[1] = 7.0f;
    EventRecord r = Record(ActionMoveRotateObject, 4, 4);
    r.Target2Kind = 4;
    r.Target2Id = 5;
    r.Value1 = 1024.0f;
    // No axis switched: the place stays, the object still turns a quarter.
    MoveRotateObject(&r);
    EXPECT_FLOAT_EQ(t->Position[0], 10.0f);
    EXPECT_NEAR(t->rotation[0], 0.0f, 1e-5f);
    // x switched on, y not: x from the reference.
    r.SetValueF(10, 1.0f);
    r.Value1 = 0.0f;
    MoveRotateObject(&r);
    EXPECT_FLOAT_EQ(t->Position[0], 50.0f);
    EXPECT_FLOAT_EQ(t->Position[1], 0.0f);
    // Param 1 copies the reference's turn; without a reference the turn stays.
    const float before[9] = {t->rotation[0], t->rotation[1], t->rotation[2], t->rotation[3], t->rotation[4],
                             t->rotation[5], t->rotation[6], t->rotation[7], t->rotation[8]};
    r.Param = 1;
    r.Target2Id = 99;
    MoveRotateObject(&r);
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(t->rotation[i], before[i]);
    r.Target2Id = 5;
    MoveRotateObject(&r);
    EXPECT_FLOAT_EQ(t->rotation[0], 1.0f);

    // A scatter with no axis switched still draws.
    EventRecord s = Record(ActionSetObjectPosition, 4, 4);
    s.SetValueF(6, 5.0f);
    s.SetValueF(7, 5.0f);
    const uint32_t index = ObjectRandomIndex;
    SetObjectPosition(&s);
    EXPECT_EQ(ObjectRandomIndex, index + 2);
    EXPECT_FLOAT_EQ(t->Position[0], 50.0f);
}

TEST_F(EventActions, TheSwitchboard) {
    NztScnObject* o = Scene(4, 1.0f);
    NztEntity* e = Character(6);
    NztScnObject* goal = Scene(8, 40.0f);
    goal->Position[2] = 12.0f;

    // 9 on an object in the world does nothing, not even the scatter.
    EventRecord r = Record(ActionObjectControl, 4, 4);
    r.Param = 9;
    r.SetValueF(0, 100.0f);
    const uint32_t index = ObjectRandomIndex;
    ObjectControlAction(&r);
    EXPECT_EQ(ObjectRandomIndex, index);
    EXPECT_FLOAT_EQ(o->Position[0], 1.0f);

    // 10 with order 5 and a scene object: order 7 toward it; again, only the goal moves.
    EventRecord g = Record(ActionObjectControl, 5, 6);
    g.Param = 10;
    g.Param2 = 5;
    g.Target2Kind = 4;
    g.Target2Id = 8;
    ObjectControlAction(&g);
    EXPECT_EQ(e->order, 7);
    EXPECT_EQ(e->orderClass, 4u);
    EXPECT_FLOAT_EQ(e->goalPoint[2], 12.0f);
    e->orderPending = 0;
    goal->Position[2] = 30.0f;
    ObjectControlAction(&g);
    EXPECT_EQ(e->orderPending, 0u);
    EXPECT_FLOAT_EQ(e->goalPoint[2], 30.0f);

    // 1 and 5 add a key and clear the keys on an object, and do nothing on a game light.
    EventRecord k = Record(ActionObjectControl, 4, 4);
    k.Param = 1;
    k.SetValueF(3, 2.0f);
    ObjectControlAction(&k);
    EXPECT_EQ(o->keyCount, 1);
    k.Param = 5;
    ObjectControlAction(&k);
    EXPECT_EQ(o->keyCount, 0);
    // A game light (kind 6, by its index): 0, 2, 3 and 4 add a key to its light, 1 does nothing, an
    // index past the list and another kind of the same id leave it alone.
    GameLightRecord lr;
    lr.range = 1.0f;
    NztGameLight* gl = CreateGameLight(lr);
    ASSERT_NE(gl, nullptr);
    ASSERT_NE(gl->light, nullptr);
    const int32_t keys = gl->light->keyCount;
    EventRecord light = Record(ActionObjectControl, 6, 0);
    light.Param = 1;
    ObjectControlAction(&light);
    EXPECT_EQ(gl->light->keyCount, keys);
    light.Param = 2;
    ObjectControlAction(&light);
    EXPECT_EQ(gl->light->keyCount, keys + 1);
    light.TargetId = 1;  // past the list
    ObjectControlAction(&light);
    light.TargetId = 0;
    light.TargetKind = 7;  // no kind the switchboard serves
    ObjectControlAction(&light);
    EXPECT_EQ(gl->light->keyCount, keys + 1);
    light.TargetKind = 6;
    light.Param = 6;  // off
    gl->light->Active = 1;
    ObjectControlAction(&light);
    EXPECT_EQ(gl->light->Active, 0u);
    DeleteAllGameLights();

    // Sizes, rates and the user value.
    EventRecord s = Record(ActionObjectControl, 5, 6);
    s.Param = 22;
    s.Param2 = 3;
    s.Value1 = 2.0f;
    ObjectControlAction(&s);
    EXPECT_FLOAT_EQ(e->radii[2], 20.0f);
    EXPECT_FLOAT_EQ(e->radiiSquared[2], 400.0f);
    s.Param = 23;
    s.Param2 = 1;
    s.Value1 = 0.0f;
    ObjectControlAction(&s);
    EXPECT_FLOAT_EQ(e->weight, 0.0001f);
    s.Param = 16;
    s.Param2 = 0;
    s.Value1 = 6.6f;
    ObjectControlAction(&s);
    EXPECT_EQ(e->word0, 7);
    // Past the table: nothing changes on the character.
    const float radius = e->radii[2], weight = e->weight;
    const int32_t word0 = e->word0, keyCount = e->keyCount;
    for (int32_t param : {28, 100, -1}) {
        s.Param = param;
        s.Param2 = 1;
        s.Value1 = 9.0f;
        s.SetValueF(0, 5.0f);
        ObjectControlAction(&s);
        EXPECT_FLOAT_EQ(e->radii[2], radius) << param;
        EXPECT_FLOAT_EQ(e->weight, weight) << param;
        EXPECT_EQ(e->word0, word0) << param;
        EXPECT_EQ(e->keyCount, keyCount) << param;
        EXPECT_FLOAT_EQ(e->Position[0], 0.0f) << param;
        EXPECT_EQ(e->shown, 1) << param;
    }
}

// Copying another object's rotation (64, sub-code 12) drops a scene object whose pose is kept from
// frame to frame, so that the next frame poses it with its new turn.
TEST_F(EventActions, ACopiedRotationIsPosedOnTheNextFrame) {
    UseSampleData();
    NztMesh* crate = CreateMeshData();
    ASSERT_EQ(LoadMeshFile("OBJECTS/Crate1001.QVo", crate, 0, 1), 1);
    NztScnObject* o = CreateScnObject(crate);
    o->id = 1;
    o->registered = 1;
    o->visibilityTest = 0;
    o->poseState = 2;  // as the scene loader leaves it
    NztScnObject* turned = Scene(2, 50.0f);
    turned->SetYaw(1024);  // a quarter turn
    for (int i = 0; i < 3; ++i) UpdateObjects();
    ASSERT_EQ(o->poseState, 1) << "the still crate keeps its pose";
    ASSERT_GT(crate->VertexCount, 0u);
    // Every posed corner is the rest corner turned by the object's rotation.
    auto posedAsTurned = [&] {
        for (uint32_t i = 0; i < crate->VertexCount; ++i) {
            const Vec3& rest = crate->Vertices[i];
            const float* m = o->rotation;
            const Vec3 want{m[0] * rest.x + m[3] * rest.y + m[6] * rest.z + o->Position[0],
                            m[1] * rest.x + m[4] * rest.y + m[7] * rest.z + o->Position[1],
                            m[2] * rest.x + m[5] * rest.y + m[8] * rest.z + o->Position[2]};
            const Vec3& got = o->vertices[i];
            if (std::fabs(got.x - want.x) > 1e-3f || std::fabs(got.y - want.y) > 1e-3f ||
                std::fabs(got.z - want.z) > 1e-3f)
                return false;
        }
        return true;
    };
    ASSERT_TRUE(posedAsTurned());
    EventRecord r = Record(ActionObjectControl, ObjectKindScn, 1);
    r.Param = 12;
    r.Target2Kind = ObjectKindScn;
    r.Target2Id = 2;
    ObjectControlAction(&r);
    ASSERT_NEAR(o->rotation[0], turned->rotation[0], 1e-5f);
    UpdateObjects();
    EXPECT_TRUE(posedAsTurned());
}

TEST_F(EventActions, TargetsBothWays) {
    NztEntity* a = Character(1);
    NztEntity* b = Character(2, 10.0f);
    EventRecord r = Record(ActionSetEntityTarget, 5, 2);
    r.Target2Kind = 5;
    r.Target2Id = 1;
    r.Param = 1;
    SetEntityTargetAction(&r);
    EXPECT_EQ(a->target, b);
    EXPECT_EQ(b->target, a);
    r.TargetId = 77;  // none: the source's target is cleared
    SetEntityTargetAction(&r);
    EXPECT_EQ(a->target, nullptr);
}

TEST_F(EventActions, MountingUsesTheComputedSlot) {
    NztEntity* p = Character(1);
    NztEntity* horse = Character(2, 5.0f);
    horse->attachPoints.resize(3);
    PlayerEntity = p;
    EventRecord r = Record(ActionMountDismount, 5, 2);
    r.Param = 0;
    r.Param2 = 0;
    MountDismountAction(&r);
    EXPECT_EQ(p->riddenEntity, horse);
    EXPECT_EQ(p->parent, horse);
    EXPECT_EQ(p->parentPoint, 2) << "Param2 0: the last attach point";
    EXPECT_EQ(CodesTo(horse), std::vector<uint32_t>{17});
    r.Param = 1;
    MountDismountAction(&r);
    EXPECT_EQ(p->riddenEntity, nullptr);
    // A slot that already carries a character is refused.
    NztEntity* other = Character(3);
    other->AttachTo(horse, 0, 4);
    r.Param = 0;
    r.Param2 = 1;
    MountDismountAction(&r);
    EXPECT_EQ(p->riddenEntity, nullptr);
    other->Detach();
}

TEST_F(EventActions, FacingPlacingAndTheGait) {
    NztScnObject* o = Scene(4);
    o->poseState = 1;  // carried
    EventRecord look = Record(ActionLookAtPoint, 4, 4);
    look.SetValueF(0, 10.0f);  // straight along x
    LookAtPointAction(&look);
    EXPECT_NEAR(o->rotation[6], 1.0f, 1e-3f) << "the forward axis points at the point";
    EXPECT_EQ(o->poseState, 2) << "a carried object is dropped";

    NztEntity* p = Character(1);
    PlayerEntity = p;
    p->Position[1] = 33.0f;
    EventRecord place = Record(ActionPlacePlayer, 0, 0);
    place.SetValueF(0, 5.0f);
    place.SetValueF(1, 6.0f);
    place.SetValueF(2, 7.0f);
    place.SetValueF(10, 1.0f);  // x and z taken, y kept
    place.SetValueF(12, 1.0f);
    PlacePlayer(&place);
    EXPECT_FLOAT_EQ(p->Position[0], 5.0f);
    EXPECT_FLOAT_EQ(p->Position[1], 33.0f);
    EXPECT_FLOAT_EQ(p->PreviousPosition[2], 7.0f);

    NztEntity* horse = Character(2);
    EventRecord gait = Record(ActionSetGait, 0, 0);
    gait.Param = 0x102;
    SetGaitAction(&gait);
    EXPECT_EQ(p->gait, 2u) << "the low byte";
    p->riddenEntity = horse;
    gait.Param = 1;
    SetGaitAction(&gait);
    EXPECT_EQ(horse->gait, 1u) << "a rider sets its mount's gait";
    p->riddenEntity = nullptr;
}

TEST_F(EventActions, AttachingAndDetaching) {
    NztScnObject* parent = Scene(4, 20.0f);
    parent->attachPoints.resize(2);
    NztScnObject* child = Scene(5);
    child->registered = 0;  // attaching puts it back into the world
    EventRecord a = Record(ActionAttachObject, 4, 5);
    a.Target2Kind = 4;
    a.Target2Id = 4;
    a.Param = 1;
    AttachObject(&a);
    EXPECT_EQ(child->parent, parent);
    EXPECT_EQ(child->parentPoint, 1);
    EXPECT_EQ(child->registered, 1);
    EXPECT_EQ(parent->GetAttachedObject(1), child);
    EXPECT_EQ(child->poseState, 0) << "a scene object on a parent";
    a.Target2Id = 99;  // no parent: nothing
    child->poseState = 1;
    AttachObject(&a);
    EXPECT_EQ(child->parent, parent);

    child->Position[0] = 21.0f;
    EventRecord d = Record(ActionDetachObject, 4, 5);
    d.Target2Kind = 4;
    d.Target2Id = 4;  // a reference that is no character: it stays where it hangs
    DetachObject(&d);
    EXPECT_EQ(child->parent, nullptr);
    EXPECT_EQ(parent->GetAttachedObject(1), nullptr);
    EXPECT_FLOAT_EQ(child->Position[0], 21.0f);
    EXPECT_EQ(child->poseState, 2) << "carried becomes dropped";
}

TEST_F(EventActions, EveryHandlerIsInTheTable) {
    ResetEventActions();
    RegisterCharacterActions();
    for (int32_t type = ActionSetEntityLife; type <= ActionLookAtObject; ++type)
        EXPECT_NE(GetEventActionHandler(type), nullptr) << EventActionName(type);
    for (int32_t type : {ActionMoveRotateObject, ActionPlacePlayer, ActionSetObjectPosition, ActionAttachObject,
                         ActionDetachObject, ActionSetEntityTarget, ActionObjectControl, ActionMountDismount})
        EXPECT_NE(GetEventActionHandler(type), nullptr) << EventActionName(type);
    ResetEventActions();
}

}  // namespace
