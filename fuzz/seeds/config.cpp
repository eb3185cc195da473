#include <vector>

#include "datakit/gameconfig.h"
#include "datakit/userconfig.h"
#include "seeds.h"

namespace {

// The first byte chooses the reader: even the user configuration, odd the game configuration.
fuzzseeds::Bytes Tagged(uint8_t tag, std::vector<uint8_t> bytes) {
    bytes.insert(bytes.begin(), tag);
    return bytes;
}

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeConfigSeeds() {
    std::vector<std::pair<std::string, fuzzseeds::Bytes>> seeds;
    for (uint32_t version : {10001u, 10003u, 10005u, 10007u, 10009u}) {
        datakit::UserConfigSpec spec;
        spec.version = version;
        seeds.push_back({"user" + std::to_string(version), Tagged(0, datakit::MakeUserConfig(spec))});
    }
    for (uint32_t version : {10000u, 10002u, 10004u, 10005u, 10008u}) {
        datakit::GameConfigSpec spec;
        spec.version = version;
        seeds.push_back({"game" + std::to_string(version), Tagged(1, datakit::MakeGameConfig(spec))});
    }
    return seeds;
}

fuzzseeds::Registration registration("config", MakeConfigSeeds);

}  // namespace
