// The hero's movement animations and the sample level's water, ledge, ladder and slope.
#include <cstdio>
#include <string>

#include "datakit/movement.h"
#include "sample.h"

bool WriteSampleMovement(const std::string& datasFolder) {
    for (const auto& [name, bytes] : datakit::SampleMovementFiles()) {
        const std::string path = datasFolder + "/" + name;
        if (!datakit::WriteModelFile(path, bytes)) {
            std::fprintf(stderr, "makedata: cannot write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}
