// Event records: the 948-byte record every event object keeps, exactly as scene files and event
// files store it, and the reader that takes records from bytes (the current layout and the older
// 940- and 944-byte ones) with the value upgrades of older file versions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// 237 little-endian 32-bit words, no padding; offsets are part of the file formats.
struct EventRecord {
    uint32_t Arg0;  // event arguments of the last match; object arguments are handles
    uint32_t Arg1;
    uint32_t Arg2;
    int32_t Action;       // 1..81
    int32_t Once;         // firing disarms for good
    int32_t Toggle;       // firing disarms; the next evaluation re-arms without firing
    int32_t RunOnUpdate;  // fires on every UpdateEvents
    int32_t Event;        // the code that fires the record (134: none)
    int32_t CondIndex;    // condition object: index in its kind's list, -1 none
    int32_t CondKind;
    float Min;
    float Max;
    float State;      // armed at 1.0 and above
    float Delay;      // seconds; 0 or less runs at once
    float Countdown;  // remaining delay while waiting
    int32_t TargetId;
    int32_t TargetKind;
    int32_t Target2Id;
    int32_t Target2Kind;
    float Value1;
    float Value2;
    int32_t Extra;
    int32_t Param;
    char ParamName[256];
    int32_t Param2;
    char Text[256];
    char Text2[256];
    char ShortName[32];
    uint32_t Values[13];  // each action reads its slots as f32 or i32

    float ValueF(int i) const;
    int32_t ValueI(int i) const;
    void SetValueF(int i, float v);
    void SetValueI(int i, int32_t v);
};
static_assert(sizeof(EventRecord) == 948);
static_assert(offsetof(EventRecord, Action) == 12);
static_assert(offsetof(EventRecord, Event) == 28);
static_assert(offsetof(EventRecord, Min) == 40);
static_assert(offsetof(EventRecord, State) == 48);
static_assert(offsetof(EventRecord, TargetId) == 60);
static_assert(offsetof(EventRecord, Value1) == 76);
static_assert(offsetof(EventRecord, Param) == 88);
static_assert(offsetof(EventRecord, ParamName) == 92);
static_assert(offsetof(EventRecord, Param2) == 348);
static_assert(offsetof(EventRecord, Text) == 352);
static_assert(offsetof(EventRecord, Text2) == 608);
static_assert(offsetof(EventRecord, ShortName) == 864);
static_assert(offsetof(EventRecord, Values) == 896);

inline constexpr size_t EventRecordBytes = 948;
inline constexpr int32_t EventCodeNone = 134;

// A blank record: zero but Event 134, State 1.0, V4 1.0, V5 the integer 1, V6..V9 1.0.
EventRecord BlankEventRecord();
// Forces the four text fields to end in a zero.
void TerminateEventRecordTexts(EventRecord& record);

// The file versions that hold event records and the record size of each.
inline constexpr uint32_t EventRecordFirstVersion = 10248;
inline constexpr uint32_t EventRecordCurrentVersion = 10262;
// 940, 944 or 948 for a version in range, 0 otherwise.
size_t EventRecordFileBytes(uint32_t version);

// Reads count records of the layout of that file version from bytes into out (appended). The
// firing arguments are zeroed, the texts terminated, and older versions upgraded for the owner
// kind; a missing minimum is counterValue when ownerKind is a counter (12), else 0. Returns false
// with nothing appended when the version is out of range, the count does not fit the bytes or
// exceeds maxCount. *used gets the bytes consumed.
bool ParseEventRecords(const uint8_t* data, size_t size, uint32_t version, uint32_t count,
                       int32_t ownerKind, float counterValue, std::vector<EventRecord>& out,
                       size_t* used = nullptr, uint32_t maxCount = 1u << 16);

// Rewrites one record read from a file of the given version to today's meaning.
void UpgradeEventRecord(EventRecord& record, int32_t ownerKind, uint32_t version);
