// Counter saves and counter records over arbitrary bytes: a save is taken only whole, current and
// finite; a counter built from any record keeps a finite inverse maximum and its value within its
// bounds once set, and writes back text fields that end in zero.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/binio.h"
#include "ui/counter.h"
#include "ui/wnd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    float saved = 0.0f;
    const bool parsed = ParseCounterSave(data, size, &saved);
    if (parsed) {
        uint32_t version = 0;
        if (size < CounterSaveBytes) __builtin_trap();
        std::memcpy(&version, data, 4);
        if (version != CounterSaveVersion || !std::isfinite(saved)) __builtin_trap();
    }

    BinReader in(data, size);
    CounterRecord record;
    if (ReadCounterRecord(in, &record)) {
        NztCounter* c = CreateCounter(record);
        if (!c || !std::isfinite(c->inverseMaximum) || c->counterKind > 6) __builtin_trap();
        // The record's own value is shown as it is; every value set afterwards is clamped.
        auto check = [c](float before) {
            if (!std::isfinite(c->value)) __builtin_trap();
            if (c->value != before && c->minimum <= c->maximum && (c->value < c->minimum || c->value > c->maximum))
                __builtin_trap();
        };
        for (float v : {saved, record.value, record.maximum * 2.0f, -record.maximum}) {
            float before = c->value;
            c->SetValue(v);
            check(before);
            before = c->value;
            c->SetValueFromPointer(record.textOffsetX, record.textOffsetY);
            check(before);
        }
        c->SetMaximum(record.textOffsetX);
        c->SetMinimum(record.textOffsetY);
        c->Resize();
        CounterRecord back;
        c->FillSceneRecord(&back);
        if (strnlen(back.name, sizeof back.name) == sizeof back.name ||
            strnlen(back.imageName, sizeof back.imageName) == sizeof back.imageName)
            __builtin_trap();
    }
    DestroyAllCounters();
    DestroyAllWnds();
    return 0;
}
