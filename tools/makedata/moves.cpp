// The hero's scripted moves (jumps, falls, climbing) and the patrol round of the sample level.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "datakit/mesh.h"
#include "datakit/moves.h"
#include "datakit/movement.h"
#include "sample.h"

bool WriteSampleMoves(const std::string& datasFolder) {
    // The moves, then the jump take-offs that lift the hero off the ground in their place.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = datakit::SampleMoveFiles();
    for (auto& file : datakit::SampleJumpFiles()) files.push_back(std::move(file));
    for (const auto& [name, bytes] : files) {
        const std::string path = datasFolder + "/" + name;
        if (!datakit::WriteModelFile(path, bytes)) {
            std::fprintf(stderr, "makedata: cannot write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}
