// Script actions over objects run the way a level runs them: a record handed to the action table
// that the game wires at start-up (deferred ones drained after the frame), on real scene objects and
// characters found by their ids. The object-control sub-codes, the two order events, running another
// object's record and the record-state modes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "camera/traject.h"
#include "character/entity.h"
#include "character/fixture.h"
#include "datakit/traject.h"
#include "effects/meshdraw.h"
#include "game/eventwiring.h"
#include "objects/actions.h"
#include "objects/eventrecord.h"
#include "objects/events.h"
#include "objects/objtype.h"
#include "world/scnobject.h"

namespace {

constexpr uint32_t EventTargetedByOrder6 = 29;
constexpr uint32_t EventReleasedFromOrder6 = 30;
constexpr uint32_t EventPlayerEnters = 20;

class ObjectScripts : public CharacterWorld {
protected:
    void SetUp() override {
        CharacterWorld::SetUp();
        InstallEventWiring();
    }
    void TearDown() override {
        ResetDeferredActions();
        ResetEventActions();
        GameEventObject.ClearEvents();
        DeleteAllTrajects();
        CharacterWorld::TearDown();
    }
    static EventRecord Record(int32_t action, int32_t kind, int32_t id, int32_t param) {
        EventRecord r = BlankEventRecord();
        r.Action = action;
        r.TargetKind = kind;
        r.TargetId = id;
        r.Param = param;
        for (int i = 0; i < 13; ++i) r.Values[i] = 0;
        return r;
    }
    static void Run(EventRecord r) {
        GameEventObject.ExecuteAction(&r);
        RunDeferredActions();
    }
    static NztScnObject* Scene(int32_t id) {
        NztScnObject* o = CreateScnObject(nullptr);
        o->id = id;
        o->registered = 1;
        return o;
    }
    static NztEntity* Character(int32_t id, float x = 0.0f) {
        NztEntity* e = Plain(x);
        e->id = id;
        e->registered = 1;
        return e;
    }
};

TEST_F(ObjectScripts, CopyRotationInvertsTurnsAndDropsACarriedObject) {
    NztScnObject* o = Scene(4);
    NztScnObject* other = Scene(5);
    const float quarter[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    std::memcpy(other->rotation, quarter, sizeof quarter);
    o->poseState = 1;  // carried
    EventRecord r = Record(ActionObjectControl, 4, 4, 12);
    r.Target2Kind = 4;
    r.Target2Id = 5;
    Run(r);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(o->rotation[i], quarter[i], 1e-6f) << i;
    EXPECT_EQ(o->poseState, 2);
    r.Param2 = 1;  // inverted: the transpose of a rotation
    Run(r);
    EXPECT_NEAR(o->rotation[2], 1.0f, 1e-6f);
    EXPECT_NEAR(o->rotation[6], -1.0f, 1e-6f);
    r.Param2 = 0;
    r.Value1 = -90.0f;  // and turned back by a quarter: unrotated
    Run(r);
    EXPECT_NEAR(o->rotation[0], 1.0f, 1e-3f);
    EXPECT_NEAR(o->rotation[8], 1.0f, 1e-3f);
    // Out of the world, or without the second object: nothing.
    std::memcpy(o->rotation, quarter, sizeof quarter);
    r.Target2Id = 99;
    Run(r);
    EXPECT_NEAR(o->rotation[2], -1.0f, 1e-6f);
}

TEST_F(ObjectScripts, CollisionUserPropertySpeedsLocksWatchTrajectoryAndBaseSwitches) {
    NztScnObject* o = Scene(4);
    NztEntity* e = Character(6);
    o->collisionVertexCount = 3;  // its mesh has collision data
    EventRecord c = Record(ActionObjectControl, 4, 4, 13);
    c.Param2 = 1;
    Run(c);
    EXPECT_EQ(o->hasCollision, 1u);
    c.Param2 = 0;
    Run(c);
    EXPECT_EQ(o->hasCollision, 0u);
    e->hasCollision = 1;
    c.TargetKind = 5;
    c.TargetId = 6;
    Run(c);
    EXPECT_EQ(e->hasCollision, 0u);
    c.Param2 = 1;  // no collision data on this character
    Run(c);
    EXPECT_EQ(e->hasCollision, 0u);
    EXPECT_EQ(e->probeShape, &e->probeBlock);

    // 17: property 0 in mode 0 (set) and mode 1 (add); mode 2 does nothing.
    o->AddUserProperty();
    ASSERT_NE(o->GetUserProperty(0), nullptr);
    EventRecord p = Record(ActionObjectControl, 4, 4, 17);
    p.SetValueF(3, 7.9f);   // extra value: the integer, truncated
    p.SetValueF(4, 0.25f);  // the float
    p.SetValueF(6, 1.0f);
    p.SetValueF(7, 1.0f);
    Run(p);
    EXPECT_EQ(o->GetUserProperty(0)->intValue, 7);
    EXPECT_FLOAT_EQ(o->GetUserProperty(0)->floatValue, 0.25f);
    p.SetValueI(5, 1);
    Run(p);
    EXPECT_EQ(o->GetUserProperty(0)->intValue, 14);
    EXPECT_FLOAT_EQ(o->GetUserProperty(0)->floatValue, 0.5f);
    p.SetValueI(5, 2);
    Run(p);
    EXPECT_EQ(o->GetUserProperty(0)->intValue, 14);

    // 18: the three speeds by their masks, then the target speed factor and, at once, the current.
    e->walkFactor = 1.0f;
    e->runFactor = 2.0f;
    e->sprintFactor = 3.0f;
    e->speedFactor = 0.0f;
    EventRecord s = Record(ActionObjectControl, 5, 6, 18);
    s.SetValueI(5, 2);  // multiply
    s.SetValueF(0, 2.0f);
    s.SetValueF(2, 10.0f);
    s.SetValueF(6, 1.0f);
    s.SetValueF(8, 1.0f);
    Run(s);
    EXPECT_FLOAT_EQ(e->walkFactor, 2.0f);
    EXPECT_FLOAT_EQ(e->runFactor, 2.0f);  // mask off
    EXPECT_FLOAT_EQ(e->sprintFactor, 30.0f);
    EventRecord f = Record(ActionObjectControl, 5, 6, 18);
    f.SetValueF(9, 1.0f);
    f.SetValueF(10, 1.5f);
    f.SetValueF(3, 1.0f);  // at once
    Run(f);
    EXPECT_FLOAT_EQ(e->speedFactorTarget, 1.5f);
    EXPECT_FLOAT_EQ(e->speedFactor, 1.5f);
    f.TargetKind = 4;  // a scene object has no speeds: nothing, and no crash
    f.TargetId = 4;
    Run(f);

    // 24: axis locks from the masks, on any object.
    EventRecord l = Record(ActionObjectControl, 4, 4, 24);
    l.SetValueF(6, 1.0f);
    l.SetValueF(8, 1.0f);
    Run(l);
    EXPECT_EQ(o->axisLocks[0], 1u);
    EXPECT_EQ(o->axisLocks[1], 0u);
    EXPECT_EQ(o->axisLocks[2], 1u);

    // 25: the watch switch stops and restarts the character noticing the player.
    NztEntity* player = Character(0, 5.0f);
    PlayerEntity = player;
    e->radii[0] = 10.0f;
    e->radiiSquared[0] = 100.0f;
    EventRecord w = Record(ActionObjectControl, 5, 6, 25);
    w.Param2 = 0;
    Run(w);
    e->WatchPlayer();
    EXPECT_TRUE(CodesTo(e).empty());
    w.Param2 = 1;
    Run(w);
    e->WatchPlayer();
    EXPECT_EQ(CodesTo(e), std::vector<uint32_t>{EventPlayerEnters});
    PlayerEntity = nullptr;

    // 26: a trajectory pushes the keeping action once; none takes it off.
    UseSampleData();
    datakit::QvtSpec path;
    path.name = "Round";
    path.points.resize(3);
    path.points[1].position = {10.0f, 0.0f, 0.0f};
    path.points[2].position = {10.0f, 0.0f, 10.0f};
    const std::vector<uint8_t> bytes = datakit::MakeQvt(path);
    ASSERT_TRUE(datakit::WriteModelFile(temp.path() + "TRAJECTS/Round.Qvt", bytes));
    const uint32_t actions = e->actionCount;
    EventRecord t = Record(ActionObjectControl, 5, 6, 26);
    std::snprintf(t.Text, sizeof t.Text, "Round");
    Run(t);
    EXPECT_NE(e->traject, nullptr);
    EXPECT_EQ(e->actionCount, actions + 1);
    Run(t);
    EXPECT_EQ(e->actionCount, actions + 1);
    t.Text[0] = 0;  // no name: no trajectory
    Run(t);
    EXPECT_EQ(e->traject, nullptr);
    EXPECT_EQ(e->actionCount, actions);

    // 27: follow-displacement switch and range.
    EventRecord b = Record(ActionObjectControl, 4, 4, 27);
    b.Param2 = 1;
    b.Value1 = 1.0f;
    Run(b);
    EXPECT_EQ(o->followDisplacement, 1);
    b.Param2 = 3;
    b.Value1 = 12.0f;
    Run(b);
    EXPECT_FLOAT_EQ(o->range, 120.0f);
}

TEST_F(ObjectScripts, KeepingAnOffsetTellsTheNewTargetAndTheOldOne) {
    NztEntity* e = Character(6);
    NztEntity* a = Character(7, 10.0f);
    NztEntity* b = Character(8, 20.0f);
    EventRecord o = Record(ActionObjectControl, 5, 6, 10);
    o.Param2 = EntityOrderKeepOffset;
    o.Target2Kind = 5;
    o.Target2Id = 7;
    Run(o);
    EXPECT_EQ(e->target, a);
    EXPECT_EQ(e->order, EntityOrderKeepOffset);
    EXPECT_EQ(CodesTo(a), std::vector<uint32_t>{EventTargetedByOrder6});
    Sent().clear();
    Run(o);  // the same order on the same target: no new event
    EXPECT_TRUE(CodesTo(a).empty());
    o.Target2Id = 8;  // a new target hears 29; the old one 30 from the retargeting and from the order
    Run(o);
    EXPECT_EQ(CodesTo(b), std::vector<uint32_t>{EventTargetedByOrder6});
    EXPECT_EQ(CodesTo(a), (std::vector<uint32_t>{EventReleasedFromOrder6, EventReleasedFromOrder6}));
    Sent().clear();
    o.Param2 = 1;  // another order: the old target is let go
    o.Target2Id = -1;
    Run(o);
    EXPECT_EQ(CodesTo(b), std::vector<uint32_t>{EventReleasedFromOrder6});
}

TEST_F(ObjectScripts, RunningAnotherObjectsRecordAndRecordStateModes) {
    NztScnObject* o = Scene(4);
    o->shown = 0;
    EventRecord first = Record(ActionObjectControl, 4, 4, 6);  // hide
    EventRecord second = Record(ActionObjectControl, 4, 4, 7);  // show
    o->AddEventRecord(&first);
    o->AddEventRecord(&second);
    // 67: record 1 of object 4 runs now; a character of the same id or a record past the list: nothing.
    EventRecord run = Record(ActionRunObjectRecord, 4, 4, 1);
    Run(run);
    EXPECT_EQ(o->shown, 1);
    run.Param = 0;
    run.TargetKind = 5;
    Run(run);
    EXPECT_EQ(o->shown, 1);
    run.TargetKind = 4;
    run.Param = 2;
    Run(run);
    EXPECT_EQ(o->shown, 1);

    // 68 multiplies by the value, 73 (and the other owners) by its negation: with 1, 68 keeps the
    // State and 73 flips its sign.
    struct Case {
        const char* what;
        int32_t action, mode;
        float value, before, after;
    };
    const Case cases[] = {
        {"68 set", ActionSetObjectRecordState, 0, 3.0f, 1.0f, 3.0f},
        {"68 add", ActionSetObjectRecordState, 1, 2.0f, 1.0f, 3.0f},
        {"68 multiply", ActionSetObjectRecordState, 2, 1.0f, 1.5f, 1.5f},
        {"68 multiply by 2", ActionSetObjectRecordState, 2, 2.0f, 1.5f, 3.0f},
        {"68 mode 3: nothing", ActionSetObjectRecordState, 3, 2.0f, 1.5f, 1.5f},
        {"73 multiply", ActionSetGlobalRecordState, 2, 1.0f, 1.5f, -1.5f},
    };
    GameEventObject.AddEventRecord(&first);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EventRecord* target = c.action == ActionSetGlobalRecordState ? &GameEventObject.eventRecords[0] : &o->eventRecords[0];
        target->State = c.before;
        EventRecord r = Record(c.action, 4, 4, 0);
        r.Param2 = c.mode;
        r.Value1 = c.value;
        Run(r);
        EXPECT_FLOAT_EQ(target->State, c.after);
    }
    EventRecord past = Record(ActionSetObjectRecordState, 4, 4, 5);  // no record 5: nothing written
    Run(past);
    EXPECT_EQ(o->eventRecordCount, 2);
}

}  // namespace

namespace {

TEST_F(ObjectScripts, EnvironmentSubCodesKeepToTheirKindsAndTheDrawingSwitch) {
    NztScnObject* o = Scene(4);
    Character(4);  // a character with the same id
    const float fadeStart = o->fadeStart, fadeFactor = o->fadeFactor;
    for (int32_t param : {3, 4}) {
        EventRecord r = Record(ActionSetEnvironment, 5, 4, param);  // names the character
        r.Value1 = 50.0f;
        Run(r);
    }
    EXPECT_FLOAT_EQ(o->fadeStart, fadeStart);
    EXPECT_FLOAT_EQ(o->fadeFactor, fadeFactor);
    EventRecord r = Record(ActionSetEnvironment, 4, 4, 3);
    r.Value1 = 50.0f;
    Run(r);
    EXPECT_FLOAT_EQ(o->fadeStart, 500.0f);
    r.Param = 4;
    r.Value1 = 0.5f;
    Run(r);
    EXPECT_FLOAT_EQ(o->fadeFactor, 0.5f);

    // 5: the mesh-drawing switch, on for Param2 0.
    EventRecord d = Record(ActionSetEnvironment, 0, 0, 5);
    d.Param2 = 1;
    Run(d);
    EXPECT_EQ(MeshDrawSwitch, 0u);
    d.Param2 = 0;
    Run(d);
    EXPECT_EQ(MeshDrawSwitch, 1u);
}

}  // namespace
