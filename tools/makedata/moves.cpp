// The hero's scripted moves (jumps, falls, climbing) and the patrol round of the sample level.
#include <cstdio>
#include <string>

#include "datakit/mesh.h"
#include "datakit/movement.h"
#include "sample.h"

bool WriteSampleMoves(const std::string& datasFolder) {
    for (const auto& [name, bytes] : datakit::SampleHeroMoveFiles()) {
        const std::string path = datasFolder + "/" + name;
        if (!datakit::WriteModelFile(path, bytes)) {
            std::fprintf(stderr, "makedata: cannot write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}
