#include "datakit/envzone.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeEnvZoneSeeds() {
    datakit::EnvZoneSectionSpec two;
    for (int i = 0; i < 2; ++i) {
        datakit::EnvZoneRecord z;
        z.position = {float(i) * 100.0f, 0.0f, 50.0f};
        z.radiusSquared = 2500.0f;
        z.value = float(i + 1);
        z.words[3] = 0xDEADBEEFu;
        two.zones.push_back(z);
    }
    datakit::EnvZoneSectionSpec absent;
    absent.present = 0;
    datakit::EnvZoneSectionSpec huge = two;
    huge.declaredCount = 0x7FFFFFFF;
    return {
        {"two.zones", datakit::MakeEnvZoneSection(two)},
        {"absent.zones", datakit::MakeEnvZoneSection(absent)},
        {"huge-count.zones", datakit::MakeEnvZoneSection(huge)},
    };
}

fuzzseeds::Registration envzoneSeeds("envzone", MakeEnvZoneSeeds);

}  // namespace
