#include <string>

#include "datakit/gtx.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeGtxSeeds() {
    datakit::GtxSpec table;
    table.entries = {"Hello", "Two#lines", "", "###", std::string(300, 'x')};
    datakit::GtxSpec empty;
    datakit::GtxSpec huge = table;
    huge.declaredCount = 0x7FFFFFFF;
    std::vector<uint8_t> cut = datakit::MakeGtx(table);
    cut.resize(cut.size() - 100);
    return {
        {"table.Gtx", datakit::MakeGtx(table)},
        {"empty.Gtx", datakit::MakeGtx(empty)},
        {"huge-count.Gtx", datakit::MakeGtx(huge)},
        {"cut.Gtx", cut},
    };
}

fuzzseeds::Registration gtxSeeds("gtx", MakeGtxSeeds);

}  // namespace
