#include "datakit/eventrecord.h"
#include "seeds.h"

namespace {

fuzzseeds::Bytes WithHeader(uint8_t versionStep, uint8_t ownerKind, uint16_t count, const fuzzseeds::Bytes& body) {
    fuzzseeds::Bytes out = {versionStep, ownerKind, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeEventRecordSeeds() {
    datakit::EventRecordSpec plain;
    plain.action = 9;
    plain.event = 5;
    plain.paramName = "Sound";
    datakit::EventRecordSpec flow;
    flow.action = 74;
    flow.param = 3;
    flow.param2 = 0;
    flow.event = 5;
    datakit::EventRecordSpec delayed = plain;
    delayed.delay = 0.5f;
    delayed.runOnUpdate = 1;
    datakit::EventRecordSpec old = plain;
    old.action = 32;
    old.param2 = 20;
    return {
        {"current.evr", WithHeader(14, 4, 3, datakit::MakeEventRecords({plain, flow, delayed}, 10262))},
        {"oldest.evr", WithHeader(0, 12, 2, datakit::MakeEventRecords({old, plain}, 10248))},
        {"minimum-only.evr", WithHeader(4, 13, 1, datakit::MakeEventRecords({old}, 10252))},
        {"short.evr", WithHeader(14, 4, 2, datakit::MakeEventRecords({plain}, 10262))},
    };
}

fuzzseeds::Registration eventRecordSeeds("eventrecord", MakeEventRecordSeeds);

}  // namespace
