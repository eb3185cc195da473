// Seed inputs for the fuzz targets. Each reader registers a maker that writes a few valid files
// (made with datakit) into the folder of its fuzz target; fuzzseeds runs them all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fuzzseeds {

using Bytes = std::vector<uint8_t>;
// A maker returns named seed files for one fuzz target.
using Maker = std::vector<std::pair<std::string, Bytes>> (*)();

struct Registration {
    Registration(const char* target, Maker maker);
};

}  // namespace fuzzseeds
