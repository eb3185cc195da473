#include <string>

#include "datakit/counter.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeCounterSeeds() {
    // The same bytes also feed the counter's 376-byte scene record: a kind-2 gauge up to 100.
    fuzzseeds::Bytes gauge = datakit::MakeCounterSave({2, 0.0f, -1});
    gauge.resize(376, 0);
    const uint8_t hundred[4] = {0x00, 0x00, 0xC8, 0x42};
    for (int i = 0; i < 4; ++i) gauge[40 + i] = hundred[i];
    fuzzseeds::Bytes padded = datakit::MakeCounterSave({1000, 250.0f, -1});
    padded.resize(376, 'x');
    return {
        {"gauge-record.cnt", gauge},
        {"padded.cnt", padded},
        {"value.cnt", datakit::MakeCounterSave({1000, 250.0f, -1})},
        {"negative.cnt", datakit::MakeCounterSave({1000, -3.5f, -1})},
        {"old-version.cnt", datakit::MakeCounterSave({999, 1.0f, -1})},
        {"cut.cnt", datakit::MakeCounterSave({1000, 1.0f, 5})},
    };
}

fuzzseeds::Registration counterSeeds("cnt", MakeCounterSeeds);

}  // namespace
