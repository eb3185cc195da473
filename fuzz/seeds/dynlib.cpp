#include <elf.h>

#include "datakit/elf.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> Make() {
    datakit::ElfImageLayout at;
    fuzzseeds::Bytes good = datakit::MakeElfSharedObject(&at);
    fuzzseeds::Bytes cut = good;
    cut.resize(good.size() / 2);
    return {{"shared.so", good}, {"cut.so", cut}};
}

fuzzseeds::Registration reg("dynlib", Make);

}  // namespace
