#include "datakit/eventrecord.h"
#include "datakit/scene.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeEvtSeeds() {
    datakit::EventRecordSpec self;
    self.action = 32;
    self.param = -2;
    self.targetId = self.targetKind = -3;
    self.paramName = "Gold";
    datakit::EventRecordSpec plain;
    plain.action = 8;
    plain.event = 129;
    auto one = [](const datakit::EventRecordSpec& r, uint32_t version) { return datakit::MakeEventRecords({r}, version); };
    return {
        {"current.evt", datakit::MakeUserEventFile(10262, {one(self, 10262), one(plain, 10262)})},
        {"old-10250.evt", datakit::MakeUserEventFile(10250, {one(self, 10250)})},
        {"old-10252.evt", datakit::MakeUserEventFile(10252, {one(plain, 10252)})},
        {"huge-count.evt", datakit::MakeUserEventFile(10262, {one(plain, 10262)}, 0x7FFFFFFF)},
    };
}

fuzzseeds::Registration evtSeeds("evt", MakeEvtSeeds);

}  // namespace
