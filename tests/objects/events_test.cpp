// Event records, sending, the delayed and deferred queues and the action table.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "objects/actions.h"
#include "objects/base3d.h"
#include "objects/events.h"
#include "objects/objlookup.h"

namespace {

constexpr int32_t NowAction = ActionFadeMusic;    // runs at once
constexpr int32_t LaterAction = ActionStartLevel;  // deferred

struct RunLog {
    std::vector<float> values;  // Value1 of each record run
    std::vector<uint32_t> args;
    void (*then)(EventRecord*) = nullptr;
};
RunLog Log;

void LogHandler(EventRecord* r) {
    Log.values.push_back(r->Value1);
    Log.args.push_back(r->Arg0);
    if (Log.then) Log.then(r);
}

// Counters for the condition tests: a list of plain event objects installed as kind 12.
std::vector<NztEventObject*> FakeCounters;

EventRecord Record(int32_t event, int32_t action = NowAction, float value = 1.0f) {
    EventRecord r = BlankEventRecord();
    r.Event = event;
    r.Action = action;
    r.Value1 = value;
    r.CondIndex = -1;
    return r;
}

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Log = RunLog{};
        ResetEventActions();
        RegisterEventAction(NowAction, LogHandler);
        RegisterEventAction(LaterAction, LogHandler);
        FakeCounters.clear();
        EventKindList list;
        list.count = [] { return static_cast<int32_t>(FakeCounters.size()); };
        list.at = [](int32_t i) { return FakeCounters[static_cast<size_t>(i)]; };
        SetEventKindList(ObjectKindCounter, list);
    }
    void TearDown() override {
        ClearDelayedActions();
        ResetDeferredActions();
        FreeDeferredActionTables();
        ResetEventKindLists();
        ResetEventActions();
        FakeCounters.clear();
    }
    NztEventObject* Counter() {
        owned.push_back(std::make_unique<NztEventObject>());
        NztEventObject* o = owned.back().get();
        o->kind = ObjectKindCounter;
        o->id = static_cast<int32_t>(FakeCounters.size());
        FakeCounters.push_back(o);
        return o;
    }
    std::vector<std::unique_ptr<NztEventObject>> owned;
};

TEST_F(EventsTest, BlankRecordAndListOperations) {
    NztEventObject o;
    EXPECT_EQ(o.SendEvent(5, 0, 0, 0), 0u);
    o.AddEventRecord(nullptr);
    ASSERT_EQ(o.eventRecordCount, 1);
    const EventRecord& b = o.eventRecords[0];
    EXPECT_EQ(b.Event, 134);
    EXPECT_EQ(b.State, 1.0f);
    EXPECT_EQ(b.ValueF(4), 1.0f);
    EXPECT_EQ(b.ValueI(5), 1);
    for (int i = 6; i <= 9; ++i) EXPECT_EQ(b.ValueF(i), 1.0f);
    EventRecord hover = Record(60);
    hover.Countdown = 3.0f;
    o.AddEventRecord(&hover);
    EXPECT_EQ(o.eventRecords[1].Countdown, 0.0f);
    EXPECT_EQ(o.hoverFlag, 1);
    EventRecord out;
    EXPECT_EQ(o.GetEventRecord(1, &out), NowAction);
    EXPECT_EQ(o.GetEventRecord(2, &out), 0);
    EXPECT_EQ(o.RemoveEventRecord(1), 1);
    EXPECT_EQ(o.hoverFlag, 0);
    EXPECT_EQ(o.RemoveEventRecord(5), 0);
    NztEventObject copy;
    copy.CopyEvents(&o);
    EXPECT_EQ(copy.eventRecordCount, 1);
    o.ClearEvents();
    EXPECT_EQ(o.eventRecords, nullptr);
    copy.CopyEvents(&o);
    EXPECT_EQ(copy.eventRecordCount, 0);
}

TEST_F(EventsTest, SendingCases) {
    NztEventObject* condition = Counter();
    NztEventObject* other = Counter();
    uint32_t stale;
    {
        NztEventObject gone;
        stale = EventObjectHandle(&gone);
    }
    struct Case {
        const char* name;
        void (*edit)(EventRecord&);
        uint32_t a0;
        uint32_t matched;
        size_t runs;
    };
    const uint32_t cond = EventObjectHandle(condition), wrong = EventObjectHandle(other);
    const Case cases[] = {
        {"plain match", [](EventRecord&) {}, 0, 1, 1},
        {"other code", [](EventRecord& r) { r.Event = 6; }, 0, 0, 0},
        {"condition met", [](EventRecord& r) { r.CondIndex = 0, r.CondKind = ObjectKindCounter; }, cond, 1, 1},
        {"condition failed", [](EventRecord& r) { r.CondIndex = 0, r.CondKind = ObjectKindCounter; }, wrong, 1, 0},
        {"argument of a destroyed object", [](EventRecord& r) { r.CondIndex = 0, r.CondKind = ObjectKindCounter; },
         stale, 1, 0},
        {"condition object missing", [](EventRecord& r) { r.CondIndex = 7, r.CondKind = ObjectKindCounter; }, cond, 1,
         0},
        {"condition kind without a list", [](EventRecord& r) { r.CondIndex = 0, r.CondKind = 8; }, cond, 1, 0},
        {"no argument ignores the condition", [](EventRecord& r) { r.CondIndex = 0, r.CondKind = ObjectKindCounter; },
         0, 1, 1},
        {"disarmed", [](EventRecord& r) { r.State = 0.5f; }, 0, 1, 0},
        {"action outside the table", [](EventRecord& r) { r.Action = 82; }, 0, 1, 0},
        {"empty slot", [](EventRecord& r) { r.Action = ActionSetLight; }, 0, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log = RunLog{};
        NztEventObject o;
        EventRecord r = Record(5);
        c.edit(r);
        o.AddEventRecord(&r);
        EXPECT_EQ(o.SendEvent(5, c.a0, 7, 8), c.matched);
        EXPECT_EQ(Log.values.size(), c.runs);
        if (c.matched) {
            EXPECT_EQ(o.eventRecords[0].Arg0, c.a0);  // stored before the condition test
            EXPECT_EQ(o.eventRecords[0].Arg2, 8u);
        }
    }
}

TEST_F(EventsTest, ArmStates) {
    struct Case {
        int32_t once, toggle, action;
        int sends;
        size_t runs;
        float stateAfter;
    };
    const Case cases[] = {
        {0, 0, NowAction, 3, 3, 1.0f},
        {1, 0, NowAction, 3, 1, 0.0f},
        {0, 1, NowAction, 5, 3, 0.0f},  // runs on the first, third and fifth match
        {1, 0, 0, 1, 0, 0.0f},          // action 0 disarms a Once record yet runs nothing
        {1, 0, 82, 1, 0, 0.0f},
    };
    for (const Case& c : cases) {
        Log = RunLog{};
        NztEventObject o;
        EventRecord r = Record(5, c.action);
        r.Once = c.once;
        r.Toggle = c.toggle;
        o.AddEventRecord(&r);
        for (int i = 0; i < c.sends; ++i) o.SendEvent(5, 0, 0, 0);
        EXPECT_EQ(Log.values.size(), c.runs) << c.once << c.toggle << c.action;
        EXPECT_EQ(o.eventRecords[0].State, c.stateAfter);
    }
}

EventRecord Flow(int32_t param, int32_t target, int32_t event = 134) {
    EventRecord r = Record(event, ActionSystemCommand);
    r.Param = param;
    r.Param2 = target;
    return r;
}

TEST_F(EventsTest, FlowControl) {
    struct Case {
        const char* name;
        std::vector<EventRecord> records;
        uint32_t code;
        uint32_t matched;
        std::vector<float> runs;
    };
    const Case cases[] = {
        {"unconditional stop", {Record(5, NowAction, 1), Flow(2, 0), Record(5, NowAction, 2)}, 5, 1, {1}},
        {"stop skipped for the start event", {Record(129, NowAction, 1), Flow(2, 0), Record(129, NowAction, 2)}, 129,
         2, {1, 2}},
        {"matching stop", {Flow(0, 0, 5), Record(5, NowAction, 2)}, 5, 1, {}},
        {"matching stop of another code", {Flow(0, 0, 6), Record(5, NowAction, 2)}, 5, 1, {2}},
        {"jump over a record", {Flow(3, 2), Record(5, NowAction, 1), Record(5, NowAction, 2)}, 5, 1, {2}},
        {"jump beyond the list lands on the last", {Flow(3, 99), Record(5, NowAction, 1), Record(5, NowAction, 2)}, 5,
         1, {2}},
        {"negative jump ends the scan", {Flow(3, -1), Record(5, NowAction, 1)}, 5, 0, {}},
        {"jump loop is bounded", {Record(5, NowAction, 1), Flow(3, 0)}, 5, MaxJumpsPerScan + 1u,
         std::vector<float>(MaxJumpsPerScan + 1u, 1.0f)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log = RunLog{};
        NztEventObject o;
        for (const EventRecord& r : c.records) o.AddEventRecord(&r);
        EXPECT_EQ(o.SendEvent(c.code, 0, 0, 0), c.matched);
        EXPECT_EQ(Log.values, c.runs);
    }
}

TEST_F(EventsTest, FlowControlDisarmedRecordsStepAside) {
    NztEventObject o;
    EventRecord toggle = Flow(2, 0);
    toggle.Toggle = 1;
    o.AddEventRecord(&toggle);
    EventRecord r = Record(5);
    o.AddEventRecord(&r);
    EXPECT_EQ(Log.values.size(), 0u);
    o.SendEvent(5, 0, 0, 0);  // armed: the stop disarms itself and ends the scan
    EXPECT_EQ(Log.values.size(), 0u);
    o.SendEvent(5, 0, 0, 0);  // at 0: re-armed, the scan goes on
    EXPECT_EQ(Log.values.size(), 1u);
}

TEST_F(EventsTest, Thresholds) {
    struct Case {
        int32_t event;
        float min, max, x;
        bool fires;
    };
    const Case cases[] = {
        {9, 5, 0, 5.00005f, true}, {9, 5, 0, 5.1f, false}, {10, 5, 0, 5, true},  {10, 5, 0, 4.9f, false},
        {11, 5, 0, 5, true},       {26, 5, 0, 5, false},   {26, 5, 0, 6, true},   {27, 5, 0, 4, true},
        {28, 0, 0, 2, true},       {29, 0, 0, 3, true},    {30, 0, 0, 2, false},  {31, 0, 0, 2, true},
        {32, 1, 4, 2, true},       {32, 1, 4, 4, false},   {33, 1, 4, 0.5f, true}, {33, 1, 4, 2, false},
        {12, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        Log = RunLog{};
        NztEventObject o;
        EventRecord r = Record(c.event);
        r.Min = c.min;
        r.Max = c.max;
        r.Arg0 = 9;
        o.AddEventRecord(&r);
        EXPECT_EQ(o.TestThresholdEvents(c.x, 2.0f, 3.0f), c.fires ? 1u : 0u) << c.event << " at " << c.x;
        if (c.fires) {
            EXPECT_EQ(o.eventRecords[0].Arg0, 0u);
        }
    }
}

TEST_F(EventsTest, UpdateEventsAndRunEventRecord) {
    NztEventObject o;
    EventRecord a = Record(5, NowAction, 1);
    a.RunOnUpdate = 1;
    EventRecord b = Record(5, NowAction, 2);
    o.AddEventRecord(&a);
    o.AddEventRecord(&b);
    EXPECT_EQ(o.UpdateEvents(), 1u);
    EXPECT_EQ(o.RunEventRecord(1), 1);
    EXPECT_EQ(o.RunEventRecord(2), 0);
    EXPECT_EQ(o.RunEventRecord(-1), 0);
    EXPECT_EQ(Log.values, (std::vector<float>{1, 2}));
}

// Steps the delayed list by 0.5 s from t = 0 and fires the record at the given times.
std::vector<float> DelayedRunTimes(int32_t once, std::vector<float> fireAt) {
    NztEventObject o;
    EventRecord r = Record(5);
    r.Delay = 2.0f;
    r.Once = once;
    o.AddEventRecord(&r);
    std::vector<float> ran;
    for (int step = 0; step <= 12; ++step) {
        const float t = static_cast<float>(step) * 0.5f;
        for (float f : fireAt)
            if (f == t) o.SendEvent(5, 0, 0, 0);
        const size_t before = Log.values.size();
        UpdateDelayedActions(0.5f);
        if (Log.values.size() != before) ran.push_back(t + 0.5f);
    }
    Log = RunLog{};
    return ran;
}

TEST_F(EventsTest, DelayedTiming) {
    EXPECT_EQ(DelayedRunTimes(0, {0.0f}), (std::vector<float>{2.0f}));
    // A second firing while waiting restarts the wait, unless the record is a Once record.
    EXPECT_EQ(DelayedRunTimes(0, {0.0f, 1.5f}), (std::vector<float>{3.5f}));
    EXPECT_EQ(DelayedRunTimes(1, {0.0f, 1.5f}), (std::vector<float>{2.0f}));
    EXPECT_EQ(DelayedActionCount(), 0);
}

TEST_F(EventsTest, DelayedRecordDisarmedWhenDue) {
    NztEventObject o;
    EventRecord r = Record(5);
    r.Delay = 1.0f;
    o.AddEventRecord(&r);
    o.SendEvent(5, 0, 0, 0);
    o.eventRecords[0].State = 0.0f;
    UpdateDelayedActions(1.0f);
    EXPECT_TRUE(Log.values.empty());
    EXPECT_EQ(DelayedActionCount(), 0);
}

TEST_F(EventsTest, DelayedRecordCopiedWhileWaitingStillRuns) {
    NztEventObject source, copy;
    EventRecord r = Record(5);
    r.Delay = 1.0f;
    source.AddEventRecord(&r);
    source.SendEvent(5, 0, 0, 0);
    copy.CopyEvents(&source);  // the copy carries a countdown yet waits on no list
    EXPECT_GT(copy.eventRecords[0].Countdown, 0.0f);
    copy.SendEvent(5, 0, 0, 0);
    UpdateDelayedActions(1.0f);
    EXPECT_EQ(Log.values.size(), 2u);
}

TEST_F(EventsTest, DeferredQueue) {
    NztEventObject o;
    o.AddEventRecord(&(const EventRecord&)Record(5, LaterAction, 1));
    o.SendEvent(5, 0, 0, 0);
    EXPECT_TRUE(Log.values.empty());
    EXPECT_EQ(DeferredActionCount(), 1);
    // A deferred action that queues another sees it run in the same drain.
    Log.then = [](EventRecord* r) {
        if (r->Value1 == 1.0f) {
            static EventRecord second = Record(5, LaterAction, 2);
            GameEventObject.ExecuteAction(&second);
        }
    };
    RunDeferredActions();
    EXPECT_EQ(Log.values, (std::vector<float>{1, 2}));
    EXPECT_EQ(DeferredActionCount(), 0);
}

TEST_F(EventsTest, DeferredResetEndsTheDrain) {
    NztEventObject o;
    for (float v : {1.0f, 2.0f}) {
        EventRecord r = Record(5, LaterAction, v);
        o.AddEventRecord(&r);
    }
    o.SendEvent(5, 0, 0, 0);
    Log.then = [](EventRecord*) { ResetDeferredActions(); };
    RunDeferredActions();
    EXPECT_EQ(Log.values, (std::vector<float>{1}));
    EXPECT_EQ(DeferredActionCount(), 0);
}

TEST_F(EventsTest, DeferredConditions) {
    struct Case {
        int32_t action, param, param2;
        bool deferred;
    };
    const Case cases[] = {
        {ActionInventoryCommand, 0, 2, false}, {ActionInventoryCommand, 0, 1, true},
        {ActionInventoryCommand, 0, -1, false}, {ActionSetObjectValue, 0, 15, true},
        {ActionSetGameUI, 0, 4, true},          {ActionObjectControl, 8, 0, true},
        {ActionTriggerControl, 6, 0, true},     {ActionTriggerControl, 5, 0, false},
        {ActionSystemCommand, 13, 0, true},     {ActionSystemCommand, 1, 0, false},
        {ActionSystemCommand, 17, 0, true},     {ActionSystemCommand, 16, 0, false},
        {ActionPlayVideo, 0, 0, true},          {ActionFadeMusic, 0, 0, false},
    };
    for (const Case& c : cases) {
        EventRecord r = Record(5, c.action);
        r.Param = c.param;
        r.Param2 = c.param2;
        EXPECT_EQ(IsDeferredAction(r), c.deferred) << EventActionName(c.action) << " " << c.param << " " << c.param2;
    }
    EXPECT_STREQ(EventActionName(1), "StartLevel");
    EXPECT_STREQ(EventActionName(81), "RemoveRopeLink");
    EXPECT_STREQ(EventActionName(82), "");
    EXPECT_FALSE(RegisterEventAction(0, LogHandler));
}

NztEventObject* Doomed = nullptr;

TEST_F(EventsTest, ActionDestroysItsOwnObjectMidScan) {
    Doomed = new NztEventObject;
    for (float v : {1.0f, 2.0f, 3.0f}) {
        EventRecord r = Record(5, NowAction, v);
        Doomed->AddEventRecord(&r);
    }
    Log.then = [](EventRecord* r) {
        if (r->Value1 == 2.0f) {
            delete Doomed;
            Doomed = nullptr;
        }
    };
    NztEventObject* o = Doomed;
    EXPECT_EQ(o->SendEvent(5, 0, 0, 0), 2u);
    EXPECT_EQ(Log.values, (std::vector<float>{1, 2}));
    EXPECT_EQ(Doomed, nullptr);
}

TEST_F(EventsTest, ActionAddsAndRemovesRecordsMidScan) {
    static NztEventObject* owner = nullptr;
    NztEventObject o;
    owner = &o;
    EventRecord first = Record(5, NowAction, 1);
    o.AddEventRecord(&first);
    EventRecord last = Record(5, NowAction, 9);
    o.AddEventRecord(&last);
    Log.then = [](EventRecord* r) {
        if (r->Value1 == 1.0f) {
            // Grows the array many times over (moving it), then drops the record after this one.
            for (int i = 0; i < 40; ++i) {
                EventRecord extra = Record(6, NowAction, 5);
                owner->AddEventRecord(&extra);
            }
            owner->RemoveEventRecord(1);
            EventRecord added = Record(5, NowAction, 7);
            owner->AddEventRecord(&added);
        }
    };
    EXPECT_EQ(o.SendEvent(5, 0, 0, 0), 2u);
    EXPECT_EQ(Log.values, (std::vector<float>{1, 7}));
}

TEST_F(EventsTest, QueuedEntriesOfDestroyedObjectsAreDropped) {
    auto owner = std::make_unique<NztEventObject>();
    EventRecord later = Record(5, LaterAction, 1);
    EventRecord delayed = Record(5, NowAction, 2);
    delayed.Delay = 1.0f;
    owner->AddEventRecord(&later);
    owner->AddEventRecord(&delayed);
    owner->SendEvent(5, 0, 0, 0);
    EXPECT_EQ(DeferredActionCount(), 1);
    EXPECT_EQ(DelayedActionCount(), 1);
    owner.reset();
    EXPECT_EQ(DeferredActionCount(), 0);
    EXPECT_EQ(DelayedActionCount(), 0);
    RunDeferredActions();
    UpdateDelayedActions(2.0f);
    EXPECT_TRUE(Log.values.empty());

    // Records of another object that work on a destroyed one go too.
    NztEventObject* target = Counter();
    target->id = 3;
    NztEventObject watcher;
    EventRecord onTarget = Record(5, NowAction, 3);
    onTarget.Delay = 1.0f;
    onTarget.TargetId = 3;
    onTarget.TargetKind = ObjectKindCounter;
    watcher.AddEventRecord(&onTarget);
    watcher.SendEvent(5, 0, 0, 0);
    FakeCounters.clear();
    owned.clear();
    EXPECT_EQ(DelayedActionCount(), 0);
    EXPECT_EQ(watcher.eventRecords[0].Countdown, 0.0f);
}

TEST_F(EventsTest, QueuedEntriesFollowTheirRecords) {
    NztEventObject o;
    for (float v : {1.0f, 2.0f, 3.0f}) {
        EventRecord r = Record(5, NowAction, v);
        r.Delay = 1.0f;
        o.AddEventRecord(&r);
    }
    o.SendEvent(5, 0, 0, 0);
    o.RemoveEventRecord(1);
    UpdateDelayedActions(1.0f);
    EXPECT_EQ(Log.values, (std::vector<float>{1, 3}));

    Log = RunLog{};
    EventRecord d = Record(6, LaterAction, 4);
    o.AddEventRecord(&d);
    o.SendEvent(6, 0, 0, 0);
    o.ClearEvents();
    RunDeferredActions();
    EXPECT_TRUE(Log.values.empty());
}

TEST_F(EventsTest, ForceFinishTimersArmsWaitingRecords) {
    NztEventObject o;
    EventRecord r = Record(5);
    r.Delay = 5.0f;
    o.AddEventRecord(&r);
    o.SendEvent(5, 0, 0, 0);
    o.eventRecords[0].State = 0.0f;
    ForceFinishTimers();
    EXPECT_EQ(o.eventRecords[0].RunOnUpdate, 1);
    EXPECT_EQ(o.eventRecords[0].State, 1.0f);
    EXPECT_EQ(DelayedActionCount(), 1);
}

TEST_F(EventsTest, HandlesResolveOnlyWhileTheObjectLives) {
    uint32_t h;
    {
        NztEventObject o;
        h = EventObjectHandle(&o);
        EXPECT_NE(h, 0u);
        EXPECT_EQ(ResolveEventObject(h), &o);
    }
    EXPECT_EQ(ResolveEventObject(h), nullptr);
    NztEventObject next;  // may take the same slot, never the same handle
    EXPECT_NE(EventObjectHandle(&next), h);
    EXPECT_EQ(ResolveEventObject(h), nullptr);
    EXPECT_EQ(ResolveEventObject(0), nullptr);
    EXPECT_EQ(EventObjectHandle(nullptr), 0u);
}

TEST_F(EventsTest, BroadcastReachesTheGameEventObjectAndCounters) {
    Counter()->AddEventRecord(&(const EventRecord&)Record(130, NowAction, 2));
    GameEventObject.AddEventRecord(&(const EventRecord&)Record(130, NowAction, 1));
    BroadcastEvent(130);
    GameEventObject.ClearEvents();
    EXPECT_EQ(Log.values, (std::vector<float>{1, 2}));
}

}  // namespace
