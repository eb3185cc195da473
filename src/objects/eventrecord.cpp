#include "objects/eventrecord.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/binio.h"

float EventRecord::ValueF(int i) const {
    float v;
    std::memcpy(&v, &Values[i], 4);
    return v;
}
int32_t EventRecord::ValueI(int i) const { return static_cast<int32_t>(Values[i]); }
void EventRecord::SetValueF(int i, float v) { std::memcpy(&Values[i], &v, 4); }
void EventRecord::SetValueI(int i, int32_t v) { Values[i] = static_cast<uint32_t>(v); }

EventRecord BlankEventRecord() {
    EventRecord r;
    std::memset(&r, 0, sizeof r);
    r.Event = EventCodeNone;
    r.State = 1.0f;
    r.SetValueF(4, 1.0f);
    r.SetValueI(5, 1);
    for (int i = 6; i <= 9; ++i) r.SetValueF(i, 1.0f);
    return r;
}

void TerminateEventRecordTexts(EventRecord& r) {
    r.ParamName[sizeof r.ParamName - 1] = 0;
    r.Text[sizeof r.Text - 1] = 0;
    r.Text2[sizeof r.Text2 - 1] = 0;
    r.ShortName[sizeof r.ShortName - 1] = 0;
}

size_t EventRecordFileBytes(uint32_t version) {
    if (version < EventRecordFirstVersion || version > EventRecordCurrentVersion) return 0;
    if (version <= 10251) return 940;
    if (version == 10252) return 944;
    return 948;
}

namespace {

void SetText(char* field, size_t bytes, const char* text) { std::snprintf(field, bytes, "%s", text); }

// The renumbering steps move a stored number up by one; the largest number stays where it is, as
// no real record holds it and the sum would not fit.
int32_t StepUp(int32_t value) { return value < INT32_MAX ? value + 1 : value; }

// The first step of the upgrade cascade for a file version; 0: the record stays as it is.
int FirstUpgradeStep(uint32_t version) {
    switch (version) {
        case 10248:
        case 10249: return 1;
        case 10250: return 2;
        case 10251: return 3;
        case 10252:
        case 10253: return 4;
        case 10254:
        case 10255: return 5;
        case 10256: return 6;
        case 10257: return 7;
        case 10258: return 8;
        case 10259: return 9;
        case 10260: return 10;
        case 10261: return 11;
        default: return 0;
    }
}

}  // namespace

void UpgradeEventRecord(EventRecord& r, int32_t ownerKind, uint32_t version) {
    const int first = FirstUpgradeStep(version);
    if (first == 0) return;
    bool disabled = false;  // by step 3; later steps leave such a record alone
    for (int step = first; step <= 11 && !disabled; ++step) {
        switch (step) {
            case 1:
                if (r.Action == 17 && r.Param2 == 0) r.SetValueF(12, 0.0f);
                break;
            case 2:
                if (r.Action == 34) {
                    if (r.Param2 == 0) SetText(r.Text, sizeof r.Text, "Add Object");
                    else if (r.Param2 == 1) SetText(r.Text, sizeof r.Text, "Del Object");
                } else if (r.Action == 74 && r.Param == 16) {
                    SetText(r.ParamName, sizeof r.ParamName, "Delete Event file");
                }
                break;
            case 3:
                if (r.Action == 32) {
                    if (r.Param2 >= 8 && r.Param2 <= 15) {
                        r.Action = 0;
                        disabled = true;
                        char label[sizeof r.Text];
                        std::memcpy(label, r.Text, sizeof label);
                        label[sizeof label - 1] = 0;
                        // The label is cut to what fits after the prefix.
                        std::snprintf(r.Text2, sizeof r.Text2, "This Event is unavailable now: %.224s", label);
                    } else if (r.Param2 >= 16) {
                        r.Param2 -= 8;
                    }
                }
                break;
            case 4:
                if (r.Action == 32) {
                    if (r.Param2 == 9) {
                        r.Param2 = 8;
                        SetText(r.Text, sizeof r.Text, "Inc AutoCount");
                        r.Value1 = -r.Value1;
                    } else if (r.Param2 >= 10) {
                        r.Param2 -= 1;
                    }
                } else if (r.Action >= 68 && r.Action <= 73 && r.Param2 == 2) {
                    r.Param2 = 1;
                    r.Value1 = -r.Value1;
                    SetText(r.Text, sizeof r.Text, "Add");
                }
                break;
            case 5:
                if (ownerKind == 13) {
                    if (r.Event == 26) r.Event = 27;
                    else if (r.Event == 11) r.Event = 26;
                    else if (r.Event == 68) r.Event = 11;
                }
                break;
            case 6:
                if (r.Action == 47) r.SetValueF(10, 0.0f);
                break;
            case 7:
                if (r.Action == 64 && r.Param == 10 && r.Param2 >= 3) r.Param2 = StepUp(r.Param2);
                break;
            case 8:
                if (r.Action == 28) {
                    int32_t none = -1;
                    std::memcpy(r.ShortName, &none, 4);
                    if (r.Param == 9) {
                        r.SetValueF(7, 0.0f);
                        r.SetValueF(8, 0.0f);
                    }
                }
                break;
            case 9:
                if (r.Action == 60 || r.Action == 61) r.Param2 = 0;
                break;
            case 10:
                if (r.Action == 44 && r.Param2 >= 1) r.Param2 = StepUp(r.Param2);
                break;
            case 11:
                if (r.Action == 33 && r.Param2 == 8) r.Value1 = 256.0f;
                break;
            default: break;
        }
    }
}

bool ParseEventRecords(const uint8_t* data, size_t size, uint32_t version, uint32_t count,
                       int32_t ownerKind, float counterValue, std::vector<EventRecord>& out,
                       size_t* used, uint32_t maxCount) {
    if (used) *used = 0;
    const size_t recordBytes = EventRecordFileBytes(version);
    if (recordBytes == 0) {
        std::fprintf(stderr, "events: event records of unknown version %u\n", version);
        return false;
    }
    BinReader in(data, size);
    if (count > maxCount || !in.Fits(count, recordBytes)) {
        std::fprintf(stderr, "events: %u event records do not fit the data\n", count);
        return false;
    }
    std::vector<EventRecord> read;
    read.reserve(count);
    auto raw = [](EventRecord& r) { return reinterpret_cast<uint8_t*>(&r); };
    for (uint32_t i = 0; i < count; ++i) {
        EventRecord r;
        std::memset(&r, 0, sizeof r);
        in.Read(raw(r), 40);
        if (version >= 10252) in.Read(raw(r) + 40, 4);
        else r.Min = ownerKind == 12 ? counterValue : 0.0f;
        if (version >= 10253) in.Read(raw(r) + 44, 4);
        else r.Max = 0.0f;
        in.Read(raw(r) + 48, EventRecordBytes - 48);
        if (!in.Ok()) return false;
        // Object arguments are handles of this run; whatever the file holds means nothing here.
        r.Arg0 = r.Arg1 = r.Arg2 = 0;
        TerminateEventRecordTexts(r);
        if (version < EventRecordCurrentVersion) UpgradeEventRecord(r, ownerKind, version);
        read.push_back(r);
    }
    if (used) *used = static_cast<size_t>(in.Position());
    out.insert(out.end(), read.begin(), read.end());
    return true;
}
