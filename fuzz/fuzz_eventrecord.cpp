// Event records over arbitrary bytes: the first four bytes choose the file version, the owner kind
// and the count; every record read must have terminated texts and cleared arguments, and records
// loaded into an object must survive a round of scans with nothing registered in the action table.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "objects/actions.h"
#include "objects/eventrecord.h"
#include "objects/events.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t version = EventRecordFirstVersion + data[0] % 16;  // a few versions out of range too
    const int32_t ownerKind = data[1] % 16;
    const uint32_t count = static_cast<uint32_t>(data[2]) | static_cast<uint32_t>(data[3]) << 8;
    std::vector<EventRecord> records;
    size_t used = 0;
    const bool ok = ParseEventRecords(data + 4, size - 4, version, count, ownerKind, 1.0f, records, &used, 64);
    if (!ok) {
        if (!records.empty()) __builtin_trap();
        return 0;
    }
    if (records.size() != count || used != count * EventRecordFileBytes(version)) __builtin_trap();
    NztEventObject object;
    object.kind = ownerKind;
    for (const EventRecord& r : records) {
        if (r.Arg0 || r.Arg1 || r.Arg2) __builtin_trap();
        if (r.ParamName[255] || r.Text[255] || r.Text2[255] || r.ShortName[31]) __builtin_trap();
        object.AddEventRecord(&r);
    }
    for (const EventRecord& r : records) object.SendEvent(static_cast<uint32_t>(r.Event), 0, 0, 0);
    object.UpdateEvents();
    object.TestThresholdEvents(1.0f, 0.0f, 2.0f);
    UpdateDelayedActions(1000.0f);
    RunDeferredActions();
    object.ClearEvents();
    ClearDelayedActions();
    ResetDeferredActions();
    return 0;
}
