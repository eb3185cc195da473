#include "datakit/traject.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeQvtSeeds() {
    datakit::QvtSpec path;
    path.name = "Path";
    for (int i = 0; i < 3; ++i) {
        datakit::QvtPoint p;
        p.position = {float(i) * 10.0f, 5.0f, 0.0f};
        p.target = {float(i) * 10.0f, 0.0f, 20.0f};
        path.points.push_back(p);
    }
    datakit::QvtSpec old;
    old.version = 10000;
    old.name = "Old";
    old.oldPoints.resize(2);
    old.oldPoints[1].position = {1.0f, 2.0f, 3.0f};
    old.oldPoints[1].orientation = {0.70710678f, 0.0f, 0.70710678f, 0.0f};
    datakit::QvtSpec empty;
    empty.name = "Empty";
    datakit::QvtSpec huge = path;
    huge.declaredCount = 0x7FFFFFFF;
    return {
        {"path.Qvt", datakit::MakeQvt(path)},
        {"old.Qvt", datakit::MakeQvt(old)},
        {"empty.Qvt", datakit::MakeQvt(empty)},
        {"huge-count.Qvt", datakit::MakeQvt(huge)},
    };
}

fuzzseeds::Registration qvtSeeds("qvt", MakeQvtSeeds);

}  // namespace
