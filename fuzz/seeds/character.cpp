#include <vector>

#include "datakit/character.h"
#include "seeds.h"

namespace {

// The first byte gives the mesh's bone count; then records, each followed by a wheel record.
std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeCharacterSeeds() {
    std::vector<std::pair<std::string, fuzzseeds::Bytes>> seeds;
    for (uint8_t bones : {1, 14}) {
        fuzzseeds::Bytes bytes{bones};
        datakit::CharacterRecordSpec spec;
        spec.canFly = spec.groundTilt = 1;
        for (int i = 0; i < 2; ++i) {
            const auto record = datakit::MakeCharacterRecord(spec);
            bytes.insert(bytes.end(), record.begin(), record.end());
            const auto wheel = datakit::MakeBoneRecord({i, i * 3, 0.8f, 2.0f});
            bytes.insert(bytes.end(), wheel.begin(), wheel.end());
            spec.maxLife = -5.0f;
            spec.turnSmoothing = 3.0f;
        }
        seeds.push_back({"bones" + std::to_string(bones), bytes});
    }
    return seeds;
}

fuzzseeds::Registration registration("character", MakeCharacterSeeds);

}  // namespace
