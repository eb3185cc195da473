#include "datakit/eventrecord.h"

#include <algorithm>
#include <cstring>

#include "datakit/datakit.h"

namespace datakit {

namespace {

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

void PutText(std::vector<uint8_t>& out, const std::string& text, size_t field, bool terminate) {
    std::vector<uint8_t> bytes(field, terminate ? 0 : 'x');
    const size_t n = std::min(text.size(), terminate ? field - 1 : field);
    std::memcpy(bytes.data(), text.data(), n);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

uint32_t EventRecordBytesFor(uint32_t version) {
    if (version <= 10251) return 940;
    if (version == 10252) return 944;
    return 948;
}

void PutEventRecord(std::vector<uint8_t>& out, const EventRecordSpec& s, uint32_t version) {
    for (uint32_t a : s.args) Put32(out, a);
    for (int32_t w : {s.action, s.once, s.toggle, s.runOnUpdate, s.event, s.condIndex, s.condKind})
        Put32(out, static_cast<uint32_t>(w));
    if (version >= 10252) Put32(out, FloatBits(s.min));
    if (version >= 10253) Put32(out, FloatBits(s.max));
    for (float f : {s.state, s.delay, s.countdown}) Put32(out, FloatBits(f));
    for (int32_t w : {s.targetId, s.targetKind, s.target2Id, s.target2Kind}) Put32(out, static_cast<uint32_t>(w));
    Put32(out, FloatBits(s.value1));
    Put32(out, FloatBits(s.value2));
    Put32(out, static_cast<uint32_t>(s.extra));
    Put32(out, static_cast<uint32_t>(s.param));
    PutText(out, s.paramName, 256, s.terminateTexts);
    Put32(out, static_cast<uint32_t>(s.param2));
    PutText(out, s.text, 256, s.terminateTexts);
    PutText(out, s.text2, 256, s.terminateTexts);
    PutText(out, s.shortName, 32, s.terminateTexts);
    for (uint32_t v : s.values) Put32(out, v);
}

std::vector<uint8_t> MakeEventRecords(const std::vector<EventRecordSpec>& records, uint32_t version) {
    std::vector<uint8_t> out;
    for (const EventRecordSpec& r : records) PutEventRecord(out, r, version);
    return out;
}

}  // namespace datakit
