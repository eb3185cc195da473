// User event files over arbitrary bytes, read into a scene object: a file that is taken appends
// whole records (their texts ending in a zero), one that is refused appends nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "objects/base3d.h"
#include "scene/actions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NztEventObject owner;
    owner.kind = ObjectKindScn;
    owner.id = 3;
    const int32_t taken = ReadUserEvents(data, size, "fuzz.evt", &owner);
    if (taken == 0 && owner.eventRecordCount != 0) __builtin_trap();
    for (int32_t i = 0; i < owner.eventRecordCount; ++i) {
        const EventRecord& r = owner.eventRecords[i];
        if (strnlen(r.ParamName, sizeof r.ParamName) == sizeof r.ParamName) __builtin_trap();
        if (strnlen(r.Text, sizeof r.Text) == sizeof r.Text) __builtin_trap();
        if (strnlen(r.Text2, sizeof r.Text2) == sizeof r.Text2) __builtin_trap();
        if (r.Arg0 != 0 || r.Arg1 != 0 || r.Arg2 != 0) __builtin_trap();
    }
    return 0;
}
