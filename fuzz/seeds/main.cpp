#include "seeds.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

namespace fuzzseeds {
namespace {
std::vector<std::pair<const char*, Maker>>& Makers() {
    static std::vector<std::pair<const char*, Maker>> makers;
    return makers;
}
}  // namespace

Registration::Registration(const char* target, Maker maker) { Makers().emplace_back(target, maker); }

}  // namespace fuzzseeds

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzzseeds <output folder>\n");
        return 2;
    }
    namespace fs = std::filesystem;
    for (const auto& [target, maker] : fuzzseeds::Makers()) {
        fs::path dir = fs::path(argv[1]) / target;
        fs::create_directories(dir);
        for (const auto& [name, bytes] : maker()) {
            std::ofstream out(dir / name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            if (!out) {
                std::fprintf(stderr, "fuzzseeds: cannot write %s\n", (dir / name).c_str());
                return 1;
            }
        }
    }
    return 0;
}
