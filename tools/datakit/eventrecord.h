// Event records as scene files and event files hold them: 948 bytes in today's layout, 940 bytes
// in files of versions 10248 to 10251 (no minimum, no maximum) and 944 bytes in 10252 (no
// maximum).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

struct EventRecordSpec {
    uint32_t args[3] = {0, 0, 0};
    int32_t action = 0;
    int32_t once = 0, toggle = 0, runOnUpdate = 0;
    int32_t event = 134;
    int32_t condIndex = -1, condKind = 0;
    float min = 0.0f, max = 0.0f;
    float state = 1.0f, delay = 0.0f, countdown = 0.0f;
    int32_t targetId = 0, targetKind = 0, target2Id = 0, target2Kind = 0;
    float value1 = 0.0f, value2 = 0.0f;
    int32_t extra = 0, param = 0;
    std::string paramName;  // cut to 255 bytes
    int32_t param2 = 0;
    std::string text, text2;  // cut to 255 bytes
    std::string shortName;    // cut to 31 bytes
    // V0..V12 as raw words; the blank record's V4 1.0, V5 1, V6..V9 1.0.
    uint32_t values[13] = {0, 0, 0, 0, 0x3F800000u, 1, 0x3F800000u, 0x3F800000u, 0x3F800000u, 0x3F800000u, 0, 0, 0};
    bool terminateTexts = true;  // false fills every text field to its end without a zero
};

// Record size for a file version: 940, 944 or 948 (948 for any version from 10253).
uint32_t EventRecordBytesFor(uint32_t version);
// Appends one record in the layout of the file version.
void PutEventRecord(std::vector<uint8_t>& out, const EventRecordSpec& spec, uint32_t version = 10262);
std::vector<uint8_t> MakeEventRecords(const std::vector<EventRecordSpec>& records, uint32_t version = 10262);
// Words in a record of today's layout, for tests that change single fields.
inline constexpr uint32_t kEventRecordAction = 12;
inline constexpr uint32_t kEventRecordEvent = 28;
inline constexpr uint32_t kEventRecordState = 48;
inline constexpr uint32_t kEventRecordText = 352;

}  // namespace datakit
