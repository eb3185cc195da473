// Trigger zones, mouse hover, the trigger and record actions, and objects by kind.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/frameclock.h"
#include "core/nztmath.h"
#include "objects/actions.h"
#include "objects/base3d.h"
#include "objects/events.h"
#include "objects/hover.h"
#include "objects/objlookup.h"
#include "objects/registry.h"
#include "objects/triggers.h"

namespace {

std::vector<std::pair<NztEventObject*, int32_t>> Seen;  // (object, event) as the records ran

// The record's owner is named by its target: the handler logs (TargetId as an object, event).
void SeenHandler(EventRecord* r) {
    Seen.push_back({ResolveEventObject(static_cast<uint32_t>(r->TargetId)), r->Event});
}

void Watch(NztEventObject* o, std::initializer_list<int32_t> events) {
    for (int32_t e : events) {
        EventRecord r = BlankEventRecord();
        r.Event = e;
        r.Action = ActionFadeMusic;
        r.CondIndex = -1;
        r.TargetId = static_cast<int32_t>(o->Handle());
        o->AddEventRecord(&r);
    }
}

class TriggersTest : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        BuildRandomTable();
        AllocObjectLists();
        Seen.clear();
        ResetEventActions();
        RegisterEventAction(ActionFadeMusic, SeenHandler);
    }
    void TearDown() override {
        DeleteAllEventTriggers();
        ClearDelayedActions();
        FreeDeferredActionTables();
        FreeObjectLists();
        ResetEventActions();
        ResetEventKindLists();
        HoverPick = PickEntityOnRayInReach;
        ClearHoveredObject();
    }
};

std::vector<int32_t> Events() {
    std::vector<int32_t> out;
    for (auto& s : Seen) out.push_back(s.second);
    return out;
}

TEST_F(TriggersTest, EnterStayLeave) {
    NztEventTrigger* t = CreateEventTrigger();
    EXPECT_EQ(t->registered, 1);
    EXPECT_EQ(t->zoneState, -1);
    t->extents[0] = t->extents[1] = t->extents[2] = 2.0f;
    t->Position[0] = 10.0f;
    t->UpdateBox();
    Watch(t, {9, 10, 11});
    const float path[][3] = {{0, 0, 0}, {9.5f, 0, 0}, {10, 0.5f, 0}, {11.05f, 0, 0}, {12, 0, 0}, {13, 0, 0}};
    std::vector<int32_t> inside;
    for (const auto& p : path) inside.push_back(TestTriggerObjects(t, p));
    EXPECT_EQ(inside, (std::vector<int32_t>{0, 1, 1, 1, 0, 0}));
    EXPECT_EQ(Events(), (std::vector<int32_t>{9, 10, 10, 11}));
    EXPECT_EQ(t->zoneState, -1);
}

TEST_F(TriggersTest, TurnedBoxAndEdges) {
    NztEventTrigger* t = CreateEventTrigger();
    t->extents[0] = 4.0f;
    t->extents[1] = 1.0f;
    t->extents[2] = 1.0f;
    t->SetYaw(1024);  // a quarter turn: the long side now lies along z
    t->UpdateBox();
    const float alongZ[3] = {0, 0, 1.9f};
    const float alongX[3] = {1.9f, 0, 0};
    EXPECT_EQ(TestTriggerObjects(t, alongZ), 1);
    EXPECT_EQ(TestTriggerObjects(t, alongX), 0);

    NztEventTrigger* empty = CreateEventTrigger();  // size 0 holds nothing
    empty->UpdateBox();
    const float origin[3] = {0, 0, 0};
    EXPECT_EQ(TestTriggerObjects(empty, origin), 0);
}

// A carried trigger stands where its carrier stands and turns with it, at every test.
TEST_F(TriggersTest, ACarriedTriggerFollowsItsCarrier) {
    NztBaseObject carrier;
    float quarter[9];
    MatrixRotationY(quarter, 1024);
    carrier.SetRotation(quarter);
    const float at[3] = {50.0f, 0.0f, 0.0f};
    carrier.SetPosition(at);
    NztEventTrigger* t = CreateEventTrigger();
    t->extents[0] = 8.0f;  // long along its own x, which the carrier turns onto the world's z
    t->extents[1] = t->extents[2] = 2.0f;
    t->UpdateBox();
    t->SetCarrier(&carrier, -1);
    struct Probe {
        float point[3];
        int32_t inside;
    };
    const Probe first[] = {{{50.0f, 0.0f, 3.5f}, 1}, {{53.5f, 0.0f, 0.0f}, 0}, {{0.0f, 0.0f, 0.0f}, 0}};
    for (const Probe& p : first) EXPECT_EQ(TestTriggerObjects(t, p.point), p.inside) << p.point[0] << " " << p.point[2];
    EXPECT_EQ(t->Position[0], 50.0f);
    // The carrier moves on and turns back: the zone goes with it.
    const float there[3] = {0.0f, 0.0f, 100.0f};
    carrier.SetPosition(there);
    carrier.SetRotation(IdentityMatrix3);
    const Probe second[] = {{{3.5f, 0.0f, 100.0f}, 1}, {{0.0f, 0.0f, 103.5f}, 0}, {{50.0f, 0.0f, 3.5f}, 0}};
    for (const Probe& p : second) EXPECT_EQ(TestTriggerObjects(t, p.point), p.inside) << p.point[0] << " " << p.point[2];
}

// Keys of kinds 0 and 2 move a trigger along the world's axes, kinds 3 and 4 along its own.
TEST_F(TriggersTest, KeysMoveATurnedTriggerAlongTheAxesOfTheirKind) {
    const float savedFrameTime = FrameTiming.frameTime;
    FrameTiming.frameTime = 1.0f;  // half of each key's two seconds in one test
    struct Case {
        uint32_t kind;
        float x, z;  // where the trigger stands after one test
    } cases[] = {{ControllerKeyMove, 5.0f, 0.0f},
                 {ControllerKeyPush, 5.0f, 0.0f},
                 {ControllerKeyMoveLocal, 0.0f, -5.0f},
                 {ControllerKeyPushLocal, 0.0f, -5.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        NztEventTrigger* t = CreateEventTrigger();
        t->extents[0] = t->extents[1] = t->extents[2] = 2.0f;
        t->SetYaw(1024);  // its own x lies along the world's -z
        t->UpdateBox();
        NztControllerKey key;
        key.kind = c.kind;
        key.duration = 2.0f;
        key.vector[0] = 10.0f;
        t->AddKey(&key);
        const float far[3] = {1000.0f, 0.0f, 0.0f};
        TestTriggerObjects(t, far);
        EXPECT_NEAR(t->Position[0], c.x, 1e-4f);
        EXPECT_NEAR(t->Position[2], c.z, 1e-4f);
        EXPECT_NEAR(t->corners[0][0], c.x - 1.0f, 1e-4f) << "the box moved with it";
        EXPECT_NEAR(t->corners[0][2], c.z - 1.0f, 1e-4f);
    }
    FrameTiming.frameTime = savedFrameTime;
}

TEST_F(TriggersTest, KeyEventsOnlyReachTriggersHoldingThePlayer) {
    NztEventTrigger* in = CreateEventTrigger();
    NztEventTrigger* out = CreateEventTrigger();
    Watch(in, {66});
    Watch(out, {66});
    in->zoneState = 10;
    out->zoneState = 11;
    EXPECT_EQ(BroadcastToRegisteredTriggers(66), 1u);
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_EQ(Seen[0].first, in);
}

TEST_F(TriggersTest, TriggerControl) {
    NztEventTrigger* t = CreateEventTrigger();
    t->id = 4;
    t->extents[0] = t->extents[1] = t->extents[2] = 2.0f;
    t->UpdateBox();
    EventRecord r = BlankEventRecord();
    r.Action = ActionTriggerControl;
    r.TargetId = 4;
    r.TargetKind = ObjectKindTrigger;
    r.Param = 0;
    r.SetValueF(0, 1.0f);
    r.SetValueF(3, 2.0f);
    TriggerControlAction(&r);
    ASSERT_EQ(t->keyCount, 1);
    EXPECT_EQ(t->keys[0].duration, 2.0f);
    r.Param = 5;
    TriggerControlAction(&r);
    EXPECT_EQ(t->keyCount, 0);
    // 7 on a trigger in the world does nothing, even with scatter values.
    r.Param = 7;
    r.SetValueF(0, 5.0f);
    TriggerControlAction(&r);
    EXPECT_EQ(t->Position[0], 0.0f);
    r.Param = 6;
    TriggerControlAction(&r);
    EXPECT_EQ(t->registered, 0);
    // Back without scatter or turn: the box is left as it stands, even where it no longer
    // matches the position.
    t->Position[0] = 30.0f;
    EventRecord back = r;
    back.Param = 7;
    back.SetValueF(0, 0.0f);
    TriggerControlAction(&back);
    EXPECT_EQ(t->registered, 1);
    EXPECT_EQ(t->Position[0], 30.0f);
    EXPECT_FLOAT_EQ(t->corners[0][0], -1.0f);
    t->Position[0] = 0.0f;
    r.Param = 6;
    TriggerControlAction(&r);
    r.Param = 7;
    TriggerControlAction(&r);
    EXPECT_EQ(t->registered, 1);
    EXPECT_GE(t->Position[0], -5.0f);
    EXPECT_LE(t->Position[0], 5.0f);
    EXPECT_FLOAT_EQ(t->corners[0][0], t->Position[0] - 1.0f);
    // Another kind never reaches the trigger.
    r.TargetKind = ObjectKindScn;
    r.Param = 6;
    TriggerControlAction(&r);
    EXPECT_EQ(t->registered, 1);
}

TEST_F(TriggersTest, RecordStateActions) {
    NztEventTrigger* t = CreateEventTrigger();
    t->id = 2;
    t->AddEventRecord(nullptr);
    // One counter, one game interface and one inventory, each the only one of its list.
    NztEventObject counter, ui, inventory;
    static NztEventObject* byKind[3] = {};
    const int32_t listed[3] = {ObjectKindCounter, ObjectKindGameUI, ObjectKindInventory};
    NztEventObject* objects[3] = {&counter, &ui, &inventory};
    for (int k = 0; k < 3; ++k) {
        objects[k]->kind = listed[k];
        objects[k]->AddEventRecord(nullptr);
        byKind[k] = objects[k];
        EventKindList list;
        list.count = [] { return 1; };
        list.at = [](int32_t) { return static_cast<NztEventObject*>(nullptr); };
        if (k == 0) list.at = [](int32_t i) { return i == 0 ? byKind[0] : nullptr; };
        if (k == 1) list.at = [](int32_t i) { return i == 0 ? byKind[1] : nullptr; };
        if (k == 2) list.at = [](int32_t i) { return i == 0 ? byKind[2] : nullptr; };
        SetEventKindList(listed[k], list);
    }

    struct Case {
        int32_t action, targetId, targetKind, param, mode;
        float value;
        NztEventObject* owner;
        float before, after;
    };
    const Case cases[] = {
        {ActionSetTriggerRecordState, 2, ObjectKindTrigger, 0, 0, 0.25f, t, 1.0f, 0.25f},
        {ActionSetTriggerRecordState, 2, ObjectKindTrigger, 0, 1, 0.5f, t, 1.0f, 1.5f},
        {ActionSetTriggerRecordState, 2, ObjectKindTrigger, 0, 2, 1.0f, t, 1.0f, -1.0f},  // the sign flips
        {ActionSetTriggerRecordState, 2, ObjectKindTrigger, 1, 0, 5.0f, t, 1.0f, 1.0f},   // no record 1
        {ActionSetTriggerRecordState, 2, ObjectKindTrigger, -1, 0, 5.0f, t, 1.0f, 1.0f},
        {ActionSetTriggerRecordState, 2, ObjectKindTrigger, 0, 3, 5.0f, t, 1.0f, 1.0f},
        {ActionSetCounterRecordState, 0, ObjectKindCounter, 0, 0, 0.5f, &counter, 1.0f, 0.5f},
        {ActionSetCounterRecordState, 0, ObjectKindGameUI, 0, 0, 0.5f, &counter, 1.0f, 1.0f},
        {ActionSetCounterRecordState, 1, ObjectKindCounter, 0, 0, 0.5f, &counter, 1.0f, 1.0f},
        {ActionSetGameUIRecordState, 0, ObjectKindGameUI, 0, 2, 0.5f, &ui, 1.0f, -0.5f},
        {ActionSetGameUIRecordState, 0, ObjectKindInventory, 0, 0, 0.5f, &ui, 1.0f, 1.0f},
        {ActionSetGameUIRecordState, 0, ObjectKindCounter, 0, 0, 0.5f, &ui, 1.0f, 1.0f},
        {ActionSetInventoryRecordState, 0, ObjectKindInventory, 0, 1, 0.5f, &inventory, 1.0f, 1.5f},
        {ActionSetInventoryRecordState, 0, ObjectKindGameUI, 0, 0, 0.5f, &inventory, 1.0f, 1.0f},
        {ActionSetInventoryRecordState, 0, ObjectKindCounter, 0, 0, 0.5f, &inventory, 1.0f, 1.0f},
        {ActionSetGlobalRecordState, 0, 0, 0, 1, 2.0f, &GameEventObject, 1.0f, 3.0f},
    };
    GameEventObject.AddEventRecord(nullptr);
    for (const Case& c : cases) {
        c.owner->eventRecords[0].State = c.before;
        EventRecord r = BlankEventRecord();
        r.Action = c.action;
        r.TargetId = c.targetId;
        r.TargetKind = c.targetKind;
        r.Param = c.param;
        r.Param2 = c.mode;
        r.Value1 = c.value;
        SetObjectRecordStateAction(&r);
        EXPECT_EQ(c.owner->eventRecords[0].State, c.after) << EventActionName(c.action) << " mode " << c.mode;
    }
    GameEventObject.ClearEvents();
}

TEST_F(TriggersTest, Lookups) {
    NztEventTrigger* a = CreateEventTrigger();
    NztEventTrigger* b = CreateEventTrigger();
    std::strcpy(a->name, "Gate");
    std::strcpy(b->name, "gate");
    a->id = 7;
    EXPECT_EQ(GetObjectByKind(ObjectKindTrigger, 1), b);
    EXPECT_EQ(GetObjectByKind(ObjectKindTrigger, 2), nullptr);
    EXPECT_EQ(GetObjectByKind(ObjectKindLight, 0), nullptr);
    EXPECT_EQ(GetObjectByKind(ObjectKindCounter, 0), nullptr);  // no list installed
    EXPECT_EQ(FindObjectIndexByName(ObjectKindTrigger, "GATE"), 1);
    EXPECT_EQ(FindObjectIndexByName(ObjectKindTrigger, "Door"), -1);
    EXPECT_EQ(FindObjectIndexByName(ObjectKindLight, "Gate"), -1);
    EXPECT_STREQ(GetEventObjectName(a), "Gate");
    EXPECT_STREQ(GetEventObjectName(&GameEventObject), "Abstract");
    EXPECT_EQ(FindEventTrigger(7, ObjectKindTrigger), a);
    EXPECT_EQ(FindEventTrigger(7, ObjectKindScn), nullptr);
    EXPECT_EQ(FindEventTrigger(-1, ObjectKindTrigger), nullptr);
}

TEST_F(TriggersTest, CloneRecordsNameTheClone) {
    NztEventObject source, clone;
    source.id = 3;
    source.kind = clone.kind = ObjectKindScn;
    clone.id = 9;
    EventRecord r = BlankEventRecord();
    r.TargetId = 3;
    r.TargetKind = ObjectKindScn;
    r.Target2Id = 3;
    r.Target2Kind = ObjectKindEntity;  // another kind: stays
    r.CondIndex = 3;
    r.CondKind = ObjectKindScn;
    r.Countdown = 1.0f;
    source.AddEventRecord(&r);
    source.eventRecords[0].Countdown = 1.0f;
    CopyEventsForClone(&source, &clone);
    ASSERT_EQ(clone.eventRecordCount, 1);
    EXPECT_EQ(clone.eventRecords[0].TargetId, 9);
    EXPECT_EQ(clone.eventRecords[0].Target2Id, 3);
    EXPECT_EQ(clone.eventRecords[0].CondIndex, 9);
    EXPECT_EQ(clone.eventRecords[0].Countdown, 0.0f);
}

NztEventObject* PickResult = nullptr;

TEST_F(TriggersTest, Hover) {
    HoverPick = [](int32_t, int32_t) { return PickResult; };
    NztEventObject a, b;
    Watch(&a, {60, 61});
    Watch(&b, {60, 61});
    EXPECT_EQ(a.hoverFlag, 1);
    PickResult = &a;
    EXPECT_EQ(UpdateMouseHover(1, 1), 1);
    EXPECT_EQ(UpdateMouseHover(2, 2), 1);  // within A: nothing
    PickResult = &b;
    UpdateMouseHover(3, 3);
    PickResult = nullptr;
    EXPECT_EQ(UpdateMouseHover(4, 4), 0);
    const std::vector<std::pair<NztEventObject*, int32_t>> expected = {{&a, 60}, {&a, 61}, {&b, 60}, {&b, 61}};
    EXPECT_EQ(Seen, expected);
    EXPECT_EQ(HoveredObject(), nullptr);

    // A destroyed hovered object is forgotten: no 61 reaches it, the next object gets its 60.
    Seen.clear();
    auto doomed = std::make_unique<NztEventObject>();
    Watch(doomed.get(), {60, 61});
    PickResult = doomed.get();
    UpdateMouseHover(5, 5);
    doomed.reset();
    EXPECT_EQ(HoveredObject(), nullptr);
    PickResult = &a;
    UpdateMouseHover(6, 6);
    ASSERT_EQ(Seen.size(), 2u);
    EXPECT_EQ(Seen[1], (std::pair<NztEventObject*, int32_t>{&a, 60}));
}

}  // namespace

#include "character/entity.h"
#include "objects/objtype.h"

namespace {

TEST_F(TriggersTest, ActivationOfCharacters) {
    NztEntity player;
    player.id = 1;
    Watch(&player, {5});
    player.eventRecords[0].RunOnUpdate = 1;
    NztEntity* previous = PlayerEntity;
    PlayerEntity = &player;
    ActivateObject(&player);  // into the world, with its records evaluated
    EXPECT_EQ(player.registered, 1);
    EXPECT_EQ(Seen.size(), 1u);
    // The player is never destroyed: with the destroy flag set it stays in the world.
    player.destroyWhenDeactivated = 1;
    DeactivateObject(&player);
    EXPECT_EQ(player.registered, 1);
    player.destroyWhenDeactivated = 0;
    DeactivateObject(&player);
    EXPECT_EQ(player.registered, 0);
    PlayerEntity = previous;
}

}  // namespace
