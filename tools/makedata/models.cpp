// The sample models of the data folder: meshes, collision side files and animations.
#include <cstdio>
#include <string>

#include "datakit/mesh.h"
#include "sample.h"

bool WriteSampleModels(const std::string& datasFolder) {
    for (const auto& [name, bytes] : datakit::SampleModelFiles()) {
        const std::string path = datasFolder + "/" + name;
        if (!datakit::WriteModelFile(path, bytes)) {
            std::fprintf(stderr, "makedata: cannot write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}
