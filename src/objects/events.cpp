#include "objects/events.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "objects/actions.h"
#include "objects/charlinks.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "objects/triggers.h"

namespace {

// ---- Handles: slot in the low 20 bits, generation (1..4095) above. A slot whose generation is
// spent is retired, so a handle never comes to name a later object.
constexpr uint32_t HandleSlotBits = 20;
constexpr uint32_t HandleSlotMask = (1u << HandleSlotBits) - 1;
constexpr uint32_t HandleMaxGeneration = (1u << (32 - HandleSlotBits)) - 1;

struct HandleTable {
    std::vector<NztEventObject*> objects;
    std::vector<uint16_t> generations;
    std::deque<uint32_t> freeSlots;  // oldest first, so generations advance slowly
};

// Kept for the whole run: objects with static storage register and leave in any order.
HandleTable& Handles() {
    static HandleTable* table = new HandleTable;
    return *table;
}

uint32_t AcquireHandle(NztEventObject* object) {
    HandleTable& t = Handles();
    uint32_t slot;
    if (!t.freeSlots.empty()) {
        slot = t.freeSlots.front();
        t.freeSlots.pop_front();
    } else if (t.objects.size() <= HandleSlotMask) {
        slot = static_cast<uint32_t>(t.objects.size());
        t.objects.push_back(nullptr);
        t.generations.push_back(1);
    } else {
        return 0;
    }
    t.objects[slot] = object;
    return (static_cast<uint32_t>(t.generations[slot]) << HandleSlotBits) | slot;
}

void ReleaseHandle(uint32_t handle) {
    if (handle == 0) return;
    HandleTable& t = Handles();
    const uint32_t slot = handle & HandleSlotMask;
    if (slot >= t.objects.size()) return;
    t.objects[slot] = nullptr;
    if (t.generations[slot] < HandleMaxGeneration) {
        ++t.generations[slot];
        t.freeSlots.push_back(slot);
    }
}

// ---- Queues.
struct DeferredEntry {
    EventActionHandler handler = nullptr;  // null: dropped
    uint32_t owner = 0;                    // handle of the record's owner; 0 with a copy
    int32_t index = 0;
    std::unique_ptr<EventRecord> copy;  // a record that belongs to no object
};

struct DelayedEntry {
    uint32_t owner = 0;  // 0: dropped
    int32_t index = 0;
};

struct EventQueues {
    std::vector<DeferredEntry> deferred;
    int32_t stop = 0;
    std::vector<DelayedEntry> delayed;
    bool walkingDelayed = false;
};

EventQueues& Queues() {
    static EventQueues* queues = new EventQueues;
    return *queues;
}

bool NamesObject(const EventRecord& r, int32_t id, int32_t kind) {
    return (r.TargetId == id && r.TargetKind == kind) || (r.Target2Id == id && r.Target2Kind == kind) ||
           (r.CondIndex == id && r.CondKind == kind);
}

const EventRecord* DeferredRecord(const DeferredEntry& e) {
    if (e.copy) return e.copy.get();
    const NztEventObject* owner = ResolveEventObject(e.owner);
    if (owner == nullptr || e.index < 0 || e.index >= owner->eventRecordCount) return nullptr;
    return &owner->eventRecords[e.index];
}

void DropDelayedAt(size_t i) {
    EventQueues& q = Queues();
    if (q.walkingDelayed) q.delayed[i].owner = 0;
    else q.delayed.erase(q.delayed.begin() + static_cast<std::ptrdiff_t>(i));
}

// Queued entries of owner's record `index`: dropped (shift 0) or, for later records, moved down.
void OnRecordRemoved(uint32_t owner, int32_t index) {
    EventQueues& q = Queues();
    for (DeferredEntry& e : q.deferred) {
        if (e.handler == nullptr || e.copy || e.owner != owner) continue;
        if (e.index == index) e.handler = nullptr;
        else if (e.index > index) --e.index;
    }
    for (size_t i = q.delayed.size(); i-- > 0;) {
        DelayedEntry& e = q.delayed[i];
        if (e.owner != owner) continue;
        if (e.index == index) DropDelayedAt(i);
        else if (e.index > index) --e.index;
    }
}

void OnAllRecordsRemoved(uint32_t owner) {
    if (owner == 0) return;
    EventQueues& q = Queues();
    for (DeferredEntry& e : q.deferred)
        if (!e.copy && e.owner == owner) e.handler = nullptr;
    for (size_t i = q.delayed.size(); i-- > 0;)
        if (q.delayed[i].owner == owner) DropDelayedAt(i);
}

// Arm state after a record was reached while disarmed: a Toggle record at exactly 0 re-arms.
void Rearm(EventRecord& r) {
    if (r.Toggle != 0 && r.State == 0.0f) r.State = 1.0f;
}

// The stop and jump tests of flow-control records: true when armed (and disarmed as its flags
// say), else the re-arm rule.
bool ArmedFlow(EventRecord& r) {
    if (r.State >= 1.0f) {
        if (r.Once != 0 || r.Toggle != 0) r.State = 0.0f;
        return true;
    }
    Rearm(r);
    return false;
}

bool IsFlowControl(const EventRecord& r) { return r.Action == ActionSystemCommand && r.Param >= 0 && r.Param <= 3; }

// The list and its count are read again on every step: receivers may create or destroy objects.
template <typename List>
void ForEachFromEnd(List** const& list, const uint32_t& count, void (*fn)(NztEventObject*, uint32_t), uint32_t code) {
    for (uint32_t i = count; i-- > 0;) {
        if (i >= count) continue;
        if (list[i] != nullptr) fn(list[i], code);
    }
}

void ForEachReceiver(void (*fn)(NztEventObject*, uint32_t), uint32_t code) {
    fn(&GameEventObject, code);
    ForEachFromEnd(ScnObjectList, ScnObjectCount, fn, code);
    for (uint32_t i = EntityCount; i-- > 0;) {
        if (i >= EntityCount) continue;
        if (NztCollideObject* e = CharacterObject(EntityList[i])) fn(e, code);
    }
    ForEachFromEnd(EventTriggerList, EventTriggerCount, fn, code);
    for (int32_t kind : {ObjectKindGameUI, ObjectKindCounter, ObjectKindInventory}) {
        for (int32_t i = EventKindCount(kind); i-- > 0;) {
            if (i >= EventKindCount(kind)) continue;
            if (NztEventObject* o = GetObjectByKind(kind, i)) fn(o, code);
        }
    }
}

}  // namespace

int32_t (*EventPointerHitTest)(NztEventObject* object) = nullptr;

NztEventObject GameEventObject;

uint32_t EventObjectHandle(const NztEventObject* object) { return object ? object->Handle() : 0; }

NztEventObject* ResolveEventObject(uint32_t handle) {
    if (handle == 0) return nullptr;
    HandleTable& t = Handles();
    const uint32_t slot = handle & HandleSlotMask;
    if (slot >= t.objects.size() || t.generations[slot] != (handle >> HandleSlotBits)) return nullptr;
    return t.objects[slot];
}

NztEventObject::NztEventObject() : handle_(AcquireHandle(this)) {}

NztEventObject::~NztEventObject() {
    ClearEvents();
    // Waiting records of other objects that work on this one go too, unless a replacement took
    // over its id and kind: then they wait for the replacement.
    if (id >= 0 && !identityHandedOver_) {
        RemoveDelayedActionsOf(this);
        for (DeferredEntry& e : Queues().deferred) {
            if (e.handler == nullptr) continue;
            const EventRecord* r = DeferredRecord(e);
            if (r != nullptr && NamesObject(*r, id, kind)) e.handler = nullptr;
        }
    }
    ReleaseHandle(handle_);
}

// ---- List operations.

void NztEventObject::ResizeRecords(int32_t count) {
    if (count <= 0) {
        std::free(eventRecords);
        eventRecords = nullptr;
        eventRecordCount = 0;
        return;
    }
    void* grown = std::realloc(eventRecords, static_cast<size_t>(count) * sizeof(EventRecord));
    if (grown == nullptr) std::abort();
    eventRecords = static_cast<EventRecord*>(grown);
    eventRecordCount = count;
}

void NztEventObject::AddEventRecord(const EventRecord* source) {
    // The source may be one of this object's own records, which the growth moves.
    EventRecord copy = source ? *source : BlankEventRecord();
    if (source) copy.Countdown = 0.0f;
    ResizeRecords(eventRecordCount + 1);
    eventRecords[eventRecordCount - 1] = copy;
    UpdateHoverFlag();
}

void NztEventObject::SetEventRecord(int32_t i, const EventRecord* record) {
    if (record == nullptr || i < 0 || i >= eventRecordCount) return;
    std::memmove(&eventRecords[i], record, sizeof(EventRecord));
    UpdateHoverFlag();
}

int32_t NztEventObject::GetEventRecord(int32_t i, EventRecord* out) const {
    if (i < 0 || i >= eventRecordCount || eventRecords == nullptr) return 0;
    if (out) std::memmove(out, &eventRecords[i], sizeof(EventRecord));
    return eventRecords[i].Action;
}

int32_t NztEventObject::RemoveEventRecord(int32_t i) {
    if (i < 0 || i >= eventRecordCount) return 0;
    std::memmove(&eventRecords[i], &eventRecords[i + 1],
                 static_cast<size_t>(eventRecordCount - i - 1) * sizeof(EventRecord));
    ResizeRecords(eventRecordCount - 1);
    OnRecordRemoved(handle_, i);
    UpdateHoverFlag();
    return 1;
}

void NztEventObject::ClearEvents() {
    OnAllRecordsRemoved(handle_);
    ResizeRecords(0);
    UpdateHoverFlag();
}

void NztEventObject::CopyEvents(const NztEventObject* other) {
    if (other == this) return;
    OnAllRecordsRemoved(handle_);
    const int32_t count = other ? other->eventRecordCount : 0;
    ResizeRecords(count);
    if (count > 0) std::memcpy(eventRecords, other->eventRecords, static_cast<size_t>(count) * sizeof(EventRecord));
    UpdateHoverFlag();
}

bool NztEventObject::HasEventType(int32_t code) const {
    for (int32_t i = eventRecordCount; i-- > 0;)
        if (eventRecords[i].Event == code) return true;
    return false;
}

void NztEventObject::UpdateHoverFlag() { hoverFlag = (HasEventType(60) || HasEventType(61)) ? 1 : 0; }

// ---- Scans.

namespace {
enum MatchResult { NoMatch, MatchSkip, MatchRun };
}

template <typename Match>
uint32_t NztEventObject::Scan(bool unconditionalFlow, Match match) {
    const uint32_t self = handle_;
    uint32_t matched = 0;
    int32_t jumps = 0;
    // A jump target; false ends the scan (a negative target, or too many jumps in one scan).
    auto jumpTo = [&](const EventRecord& r, int32_t& i) {
        if (r.Param2 < 0 || ++jumps > MaxJumpsPerScan) return false;
        i = r.Param2 < eventRecordCount - 1 ? r.Param2 : eventRecordCount - 1;
        return true;
    };
    for (int32_t i = 0; i < eventRecordCount;) {
        EventRecord* r = &eventRecords[i];
        if (unconditionalFlow && r->Action == ActionSystemCommand && (r->Param == 2 || r->Param == 3)) {
            if (ArmedFlow(*r)) {
                if (r->Param == 2 || !jumpTo(*r, i)) return matched;
                continue;
            }
        }
        const MatchResult m = match(*r);
        if (m == NoMatch) {
            ++i;
            continue;
        }
        ++matched;
        if (m == MatchSkip) {
            ++i;
            continue;
        }
        if (r->Action == ActionSystemCommand && (r->Param == 0 || r->Param == 1)) {
            if (ArmedFlow(*r)) {
                if (r->Param == 0 || !jumpTo(*r, i)) return matched;
            } else {
                ++i;
            }
            continue;
        }
        if (r->Delay > 0.0f) ScheduleDelayedAction(this, r);
        else ExecuteAction(r);
        // The action may have destroyed this object; its records may have changed.
        if (ResolveEventObject(self) != this) return matched;
        ++i;
    }
    return matched;
}

uint32_t NztEventObject::SendEvent(uint32_t code, uint32_t a, uint32_t b, uint32_t c) {
    if (eventRecordCount == 0) return 0;
    const int32_t wanted = static_cast<int32_t>(code);
    return Scan(code != 129, [&](EventRecord& r) {
        if (r.Event != wanted) return NoMatch;
        r.Arg0 = a;
        r.Arg1 = b;
        r.Arg2 = c;
        if (a != 0 && r.CondIndex != -1) {
            const NztEventObject* cond = GetObjectByKind(r.CondKind, r.CondIndex);
            if (cond == nullptr || cond != ResolveEventObject(a)) return MatchSkip;
        }
        return MatchRun;
    });
}

uint32_t NztEventObject::UpdateEvents() {
    if (eventRecordCount == 0) return 0;
    return Scan(true, [](EventRecord& r) { return r.RunOnUpdate != 0 ? MatchRun : NoMatch; });
}

uint32_t NztEventObject::TestThresholdEvents(float x, float a, float b) {
    if (eventRecordCount == 0) return 0;
    return Scan(true, [&](EventRecord& r) {
        bool fires;
        switch (r.Event) {
            case 9: fires = std::abs(x - r.Min) < 0.0001f; break;
            case 10: fires = x >= r.Min; break;
            case 11: fires = x <= r.Min; break;
            case 26: fires = x > r.Min; break;
            case 27: fires = x < r.Min; break;
            case 28: fires = x == a; break;
            case 29: fires = x == b; break;
            case 30: fires = x > a; break;
            case 31: fires = x < b; break;
            case 32: fires = r.Min < x && x < r.Max; break;
            case 33: fires = x < r.Min || x > r.Max; break;
            default: fires = false; break;
        }
        if (!fires) return NoMatch;
        r.Arg0 = r.Arg1 = r.Arg2 = 0;
        return MatchRun;
    });
}

uint32_t NztEventObject::ProcessPointerEvents(int32_t mode) {
    const uint32_t self = handle_;
    uint32_t hits = 0;
    int32_t jumps = 0;
    for (int32_t i = 0; i < eventRecordCount;) {
        EventRecord* r = &eventRecords[i];
        if (r->Action == ActionSystemCommand && (r->Param == 2 || r->Param == 3) && ArmedFlow(*r)) {
            if (r->Param == 2 || r->Param2 < 0 || ++jumps > MaxJumpsPerScan) break;
            i = r->Param2 < eventRecordCount - 1 ? r->Param2 : eventRecordCount - 1;
            continue;
        }
        NztEventObject* hit = nullptr;
        if (r->Event == 36 && r->CondIndex != -1 && (r->CondKind == 4 || r->CondKind == 5)) {
            hit = FindSceneObject(r->CondKind, r->CondIndex);
            if (hit != nullptr && (hit->registered == 0 || EventPointerHitTest == nullptr || EventPointerHitTest(hit) == 0))
                hit = nullptr;
        }
        if (hit == nullptr) {
            ++i;
            continue;
        }
        ++hits;
        const bool fresh = ResolveEventObject(pointedObject) != hit;
        const uint32_t hitHandle = hit->Handle();
        if (mode == 0) {
            bool ended = false;
            if (IsFlowControl(*r) && (r->Param == 0 || r->Param == 1)) {
                if (ArmedFlow(*r)) {
                    if (r->Param == 0 || r->Param2 < 0 || ++jumps > MaxJumpsPerScan) ended = true;
                    else {
                        i = r->Param2 < eventRecordCount - 1 ? r->Param2 : eventRecordCount - 1;
                        continue;
                    }
                }
            } else if (r->Delay > 0.0f) {
                ScheduleDelayedAction(this, r);
            } else {
                ExecuteAction(r);
            }
            if (ResolveEventObject(self) != this) return hits;
            // A stop record ends the scan there: nothing more is sent for it.
            if (ended) break;
            if (NztEventObject* h = ResolveEventObject(hitHandle); h != nullptr && fresh) {
                pointedObject = hitHandle;
                h->SendEvent(37, 0, 0, 0);
                if (ResolveEventObject(self) != this) return hits;
            }
        } else if (fresh) {
            if (IsFlowControl(*r) && (r->Param == 0 || r->Param == 1)) {
                if (ArmedFlow(*r)) {
                    if (r->Param == 0 || r->Param2 < 0 || ++jumps > MaxJumpsPerScan) break;
                    i = r->Param2 < eventRecordCount - 1 ? r->Param2 : eventRecordCount - 1;
                    continue;
                }
            } else {
                pointedObject = hitHandle;
                hit->SendEvent(37, 0, 0, 0);
                if (ResolveEventObject(self) != this) return hits;
            }
        }
        ++i;
    }
    if (hits == 0) pointedObject = 0;
    return hits;
}

int32_t NztEventObject::RunEventRecord(int32_t i) {
    if (i < 0 || i >= eventRecordCount) return 0;
    EventRecord* r = &eventRecords[i];
    if (IsFlowControl(*r)) {
        ArmedFlow(*r);
        return 1;
    }
    r->Arg0 = r->Arg1 = r->Arg2 = 0;
    if (r->Delay > 0.0f) ScheduleDelayedAction(this, r);
    else ExecuteAction(r);
    return 1;
}

void NztEventObject::ExecuteAction(EventRecord* r) {
    if (r == nullptr) return;
    if (r->State >= 1.0f) {
        if (r->Once != 0 || r->Toggle != 0) r->State = 0.0f;
    } else {
        Rearm(*r);
        return;
    }
    if (r->Action < 1 || r->Action > EventActionCount) return;
    const EventActionHandler handler = GetEventActionHandler(r->Action);
    if (handler == nullptr) return;
    // With QUORVANE_TRACE_ACTIONS set, every action a record runs goes to stderr (the end-to-end
    // tests read it).
    static const bool trace = std::getenv("QUORVANE_TRACE_ACTIONS") != nullptr;
    if (trace) std::fprintf(stderr, "events: event %d runs action %d %s\n", r->Event, r->Action, EventActionName(r->Action));
    if (IsDeferredAction(*r)) QueueDeferredAction(handler, this, r);
    else handler(r);
}

// ---- Deferred queue.

void QueueDeferredAction(EventActionHandler handler, NztEventObject* owner, EventRecord* record) {
    if (handler == nullptr || record == nullptr) return;
    DeferredEntry e;
    e.handler = handler;
    if (owner != nullptr && owner->Handle() != 0 && record >= owner->eventRecords &&
        record < owner->eventRecords + owner->eventRecordCount) {
        e.owner = owner->Handle();
        e.index = static_cast<int32_t>(record - owner->eventRecords);
    } else {
        e.copy = std::make_unique<EventRecord>(*record);
    }
    Queues().deferred.push_back(std::move(e));
}

void RunDeferredActions() {
    EventQueues& q = Queues();
    if (q.deferred.empty()) return;
    q.stop = 0;
    for (size_t i = 0; i < q.deferred.size(); ++i) {
        DeferredEntry& e = q.deferred[i];
        if (e.handler == nullptr) continue;
        const EventActionHandler handler = e.handler;
        // A held copy must outlive the call even when the handler empties the queue.
        std::unique_ptr<EventRecord> held = std::move(e.copy);
        EventRecord* record = held.get();
        if (record == nullptr) {
            NztEventObject* owner = ResolveEventObject(e.owner);
            if (owner == nullptr || e.index < 0 || e.index >= owner->eventRecordCount) continue;
            record = &owner->eventRecords[e.index];
        }
        e.handler = nullptr;
        handler(record);
        if (q.stop != 0) {
            q.stop = 0;
            return;
        }
    }
    q.deferred.clear();
}

void ResetDeferredActions() {
    EventQueues& q = Queues();
    q.deferred.clear();
    q.stop = 1;
}

int32_t DeferredActionCount() {
    int32_t n = 0;
    for (const DeferredEntry& e : Queues().deferred) n += e.handler != nullptr;
    return n;
}

// ---- Delayed list.

void ScheduleDelayedAction(NztEventObject* owner, EventRecord* record) {
    if (owner == nullptr || record == nullptr || owner->Handle() == 0) return;
    if (record < owner->eventRecords || record >= owner->eventRecords + owner->eventRecordCount) return;
    const int32_t index = static_cast<int32_t>(record - owner->eventRecords);
    EventQueues& q = Queues();
    for (const DelayedEntry& e : q.delayed) {
        if (e.owner == owner->Handle() && e.index == index) {
            // Already waiting: firing again restarts the wait unless the record is spent.
            if (record->State >= 1.0f && record->Once == 0) record->Countdown = record->Delay;
            return;
        }
    }
    record->Countdown = record->Delay;
    q.delayed.push_back({owner->Handle(), index});
}

void UpdateDelayedActions(float seconds) {
    EventQueues& q = Queues();
    q.walkingDelayed = true;
    for (size_t i = 0; i < q.delayed.size();) {
        const DelayedEntry e = q.delayed[i];
        NztEventObject* owner = ResolveEventObject(e.owner);
        if (owner == nullptr || e.index < 0 || e.index >= owner->eventRecordCount) {
            q.delayed.erase(q.delayed.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        EventRecord* r = &owner->eventRecords[e.index];
        r->Countdown -= seconds;
        if (r->Countdown > 0.0f) {
            ++i;
            continue;
        }
        r->Countdown = 0.0f;
        // Off the list before the action runs, so that the action may fire the record again.
        q.delayed[i].owner = 0;
        owner->ExecuteAction(r);
    }
    q.walkingDelayed = false;
}

void ClearDelayedActions() { Queues().delayed.clear(); }

int32_t DelayedActionCount() {
    int32_t n = 0;
    for (const DelayedEntry& e : Queues().delayed) n += e.owner != 0;
    return n;
}

void RemoveDelayedActionsOf(const NztEventObject* object) {
    EventQueues& q = Queues();
    if (object == nullptr || q.delayed.empty()) return;
    for (size_t i = q.delayed.size(); i-- > 0;) {
        const DelayedEntry e = q.delayed[i];
        NztEventObject* owner = ResolveEventObject(e.owner);
        if (owner == nullptr || e.index < 0 || e.index >= owner->eventRecordCount) continue;
        EventRecord& r = owner->eventRecords[e.index];
        if (NamesObject(r, object->id, object->kind)) {
            r.Countdown = 0.0f;
            DropDelayedAt(i);
        }
    }
}

void ForceFinishTimers() {
    for (const DelayedEntry& e : Queues().delayed) {
        NztEventObject* owner = ResolveEventObject(e.owner);
        if (owner == nullptr || e.index < 0 || e.index >= owner->eventRecordCount) continue;
        EventRecord& r = owner->eventRecords[e.index];
        r.RunOnUpdate = 1;
        if (r.State < 1.0f) r.State = 1.0f;
    }
}

void RetargetQueuedActions(const NztEventObject* from, NztEventObject* to) {
    if (from == nullptr || from == to) return;
    const uint32_t old = from->Handle();
    if (old == 0) return;
    const uint32_t replacement = to ? to->Handle() : 0;
    const int32_t count = to ? to->eventRecordCount : 0;
    EventQueues& q = Queues();
    for (DeferredEntry& e : q.deferred) {
        if (e.handler == nullptr || e.copy || e.owner != old) continue;
        if (e.index < count) e.owner = replacement;
        else e.handler = nullptr;
    }
    for (size_t i = q.delayed.size(); i-- > 0;) {
        DelayedEntry& e = q.delayed[i];
        if (e.owner != old) continue;
        if (e.index < count) e.owner = replacement;
        else DropDelayedAt(i);
    }
}

void FreeDeferredActionTables() {
    EventQueues& q = Queues();
    std::vector<DeferredEntry>().swap(q.deferred);
    std::vector<DelayedEntry>().swap(q.delayed);
    q.stop = 0;
}

// ---- Broadcasts.

void BroadcastEvent(uint32_t code) {
    ForEachReceiver([](NztEventObject* o, uint32_t c) { o->SendEvent(c, 0, 0, 0); }, code);
}

void BroadcastStartEvent() { BroadcastEvent(129); }

void UpdateAllObjectEvents() {
    ForEachReceiver([](NztEventObject* o, uint32_t) { o->UpdateEvents(); }, 0);
}
