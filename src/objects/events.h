// The event system: event objects, their records, sending, and the delayed and deferred queues.
//
// Every scriptable object is an NztEventObject with a list of EventRecords (objects/eventrecord.h).
// Senders raise numbered events on objects; a matching record runs its action through the action
// table (objects/actions.h) at once, after its delay (the delayed list) or after the frame is drawn
// (the deferred queue).
//
// References that outlive a call never hold raw pointers: an object is named by its handle (a slot
// of the handle table with a generation count), which resolves to the object while it lives and to
// null once it is destroyed; a queued record is named by its owner's handle and its index in the
// owner's list, and the list operations keep queued indexes in step. Event arguments that name an
// object carry its handle (EventObjectHandle), never its address.
//
// Main thread only.

// objects/base3d.h defines NztBase3D and then includes this file for NztEventObject, which the rest of
// the class tree derives from; the guard sits below this include so that either header may come
// first.
#include "objects/base3d.h"

#ifndef QUORVANE_WORLD_EVENTS_H
#define QUORVANE_WORLD_EVENTS_H

#include <cstdint>
#include <vector>

#include "objects/eventrecord.h"
#include "objects/userprop.h"

class NztEventObject : public NztBase3D {
public:
    NztEventObject();
    ~NztEventObject() override;

    // List operations; indexes are 0-based.
    // Appends a copy of source (its countdown cleared), or a blank record for a null source.
    void AddEventRecord(const EventRecord* source);
    // Copies record into slot i; nothing for a null record or an index outside the list.
    void SetEventRecord(int32_t i, const EventRecord* record);
    // Copies slot i into out (when not null); its action, or 0 outside the list.
    int32_t GetEventRecord(int32_t i, EventRecord* out) const;
    // Removes slot i; the number removed (0 outside the list). Queued entries of slot i are dropped,
    // those of later slots follow their records down.
    int32_t RemoveEventRecord(int32_t i);
    void ClearEvents();
    // Replaces the object's event records with a copy of other's (countdowns kept).
    void CopyEvents(const NztEventObject* other);
    bool HasEventType(int32_t code) const;
    void UpdateHoverFlag();

    // Scans; each answers the number of records matched.
    uint32_t SendEvent(uint32_t code, uint32_t a, uint32_t b, uint32_t c);
    uint32_t UpdateEvents();
    uint32_t TestThresholdEvents(float x, float a, float b);
    // Pointer tests of event 36 (inventory items): mode 0 runs the hit records, 1 only reports.
    uint32_t ProcessPointerEvents(int32_t mode);
    // Runs record i as if it had matched; 1, or 0 outside the list.
    int32_t RunEventRecord(int32_t i);
    // Arm gating, then the action of the record through the action table. The record may be one of
    // this object's or one held by the caller (menus, panels); the latter is copied when deferred.
    void ExecuteAction(EventRecord* record);

    uint32_t Handle() const { return handle_; }
    // The object's id and kind pass to a replacement that takes its place (another type put in its
    // stead, the player changing body). Destroying it afterwards keeps the waiting records of other
    // objects that name that id and kind: they name the replacement now.
    void HandOverIdentity() { identityHandedOver_ = true; }

    int32_t eventRecordCount = 0;
    EventRecord* eventRecords = nullptr;  // exactly eventRecordCount records; null when none
    uint32_t pointedObject = 0;  // handle of the object last reported by ProcessPointerEvents
    uint8_t hoverFlag = 0;       // 1: the object reacts to the mouse hovering over it
    uint8_t destroyWhenDeactivated = 0;  // taking it out of the world destroys it

private:
    // Shared loop of the scans. match answers whether record i fires; it may write the record.
    template <typename Match>
    uint32_t Scan(bool unconditionalFlow, Match match);
    void ResizeRecords(int32_t count);
    uint32_t handle_ = 0;
    bool identityHandedOver_ = false;
};

extern NztEventObject GameEventObject;

// Handles: 0 for null; resolving answers null once the object is destroyed.
uint32_t EventObjectHandle(const NztEventObject* object);
NztEventObject* ResolveEventObject(uint32_t handle);

// Action handlers take the record they run.
using EventActionHandler = void (*)(EventRecord* record);

// Deferred queue: drained once per frame after drawing.
void QueueDeferredAction(EventActionHandler handler, NztEventObject* owner, EventRecord* record);
void RunDeferredActions();
// Empties the queue and raises its stop flag, which ends a drain in progress.
void ResetDeferredActions();
int32_t DeferredActionCount();

// Delayed list: records waiting out their delay, counted down by the game frame.
// Puts owner's record on the list, or restarts its wait (unless it is a disarmed or Once record).
void ScheduleDelayedAction(NztEventObject* owner, EventRecord* record);
void UpdateDelayedActions(float seconds);
void ClearDelayedActions();
int32_t DelayedActionCount();
// Drops the waiting records whose target, second target or condition names the object.
void RemoveDelayedActionsOf(const NztEventObject* object);
// Every waiting record gets RunOnUpdate and, when disarmed, State 1.0 (before a user save).
void ForceFinishTimers();
// Entries of from's records are moved to the record of the same index in to (dropped where to has
// none); for objects that take over another's records.
void RetargetQueuedActions(const NztEventObject* from, NztEventObject* to);
// Frees both queues and zeroes their counts.
void FreeDeferredActionTables();

// Broadcasts: the GameEventObject, then scene objects, characters, triggers, game interfaces,
// counters and inventories, each list from its end.
void BroadcastEvent(uint32_t code);
void BroadcastStartEvent();
void UpdateAllObjectEvents();

// The screen-point pick test of ProcessPointerEvents: 1 when the object's projected box holds the
// cursor. The engine's tests the object's box against the pointer; tests put fakes in its place.
extern int32_t (*EventPointerHitTest)(NztEventObject* object);

#endif  // QUORVANE_WORLD_EVENTS_H
