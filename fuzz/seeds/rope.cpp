#include "datakit/rope.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeRopeSeeds() {
    const datakit::RopeRecord hang = {{4, 0, -1, 1}, {4, 1, -1, 0}};
    const datakit::RopeRecord toCharacter = {{4, 1, -1, 0}, {5, 2, 3, 0}};
    const datakit::RopeRecord self = {{5, 1, -1, 0}, {5, 1, -1, 0}};
    const datakit::RopeRecord skipped = {{7, 0, -1, 0}, {4, -1, 2, 1}};
    return {
        {"chain.rope", datakit::MakeRopeChunk({hang, toCharacter, hang})},
        {"self-and-skipped.rope", datakit::MakeRopeChunk({self, skipped, self})},
        {"empty.rope", datakit::MakeRopeChunk({})},
        {"huge-count.rope", datakit::MakeRopeChunk({hang}, 0x7FFFFFFF)},
    };
}

fuzzseeds::Registration ropeSeeds("rope", MakeRopeSeeds);

}  // namespace
