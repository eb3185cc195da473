// Opening every entry of a 50 MB pack of zlib entries through NztFile, against zlib's uncompress
// alone on the same entries. The difference is what the pack layer costs (look-up, allocation,
// stream set-up); it should stay well under a tenth of the unpacking.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/binio.h"
#include "core/nztfile.h"
#include "core/pack.h"
#include "datakit/pack.h"
#include "time_reporter.h"

namespace {

constexpr size_t PackTarget = 50u << 20;

uint32_t Next(uint32_t& seed) {
    seed = seed * 214013 + 2531011;
    return seed >> 16;
}

// Contents like the game's: text tables, mesh-like float arrays, and image-like noise with runs.
std::vector<uint8_t> Content(size_t n, uint32_t seed) {
    static const char* const words[] = {"the", "castle", "door", "opens", "when", "torch", "is", "lit", "north",
                                        "bridge", "water", "stone", "a", "of", "key", "guard"};
    std::vector<uint8_t> v;
    v.reserve(n);
    switch (seed % 3) {
        case 0:
            while (v.size() < n) {
                const char* w = words[Next(seed) % 16];
                v.insert(v.end(), w, w + std::char_traits<char>::length(w));
                v.push_back(Next(seed) % 9 ? ' ' : '\n');
            }
            break;
        case 1:
            for (size_t i = 0; v.size() < n; ++i) {
                float f = std::sin(static_cast<float>(i) * 0.01f) * 100.0f + static_cast<float>(Next(seed) % 4) * 0.25f;
                uint8_t b[4];
                std::memcpy(b, &f, 4);
                v.insert(v.end(), b, b + 4);
            }
            break;
        default:
            while (v.size() < n) {
                uint8_t value = static_cast<uint8_t>(Next(seed));
                size_t run = Next(seed) % 4 == 0 ? 1 + Next(seed) % 32 : 1;
                v.insert(v.end(), run, value);
            }
            break;
    }
    v.resize(n);
    return v;
}

struct Fixture {
    QvzPackTree tree;
    std::vector<std::string> paths;
    std::vector<QvzPackEntry*> entries;
    size_t unpackedBytes = 0;
    size_t packBytes = 0;

    Fixture() {
        std::map<int, datakit::PackFolderSpec> folders;
        uint32_t seed = 12345;
        size_t packedSoFar = 0;
        std::vector<datakit::PackFolderSpec> roots(1);
        roots[0].name = "DATA";
        for (int i = 0; packedSoFar < PackTarget; ++i) {
            // Sizes from 4 KB to 2 MB, evenly spread on a log scale.
            size_t size = static_cast<size_t>(4096.0 * std::pow(512.0, (Next(seed) % 1000) / 1000.0));
            char name[32];
            std::snprintf(name, sizeof name, "Entry%05d.bin", i);
            auto file = datakit::PackFile(name, Content(size, seed + static_cast<uint32_t>(i)), true);
            // This mix packs to about 43% of its size (the real pack size is reported).
            packedSoFar += size * 43 / 100;
            unpackedBytes += size;
            paths.push_back(std::string("DATA/SUB") + std::to_string(i % 4) + "/" + name);
            folders[i % 4].files.push_back(std::move(file));
        }
        for (auto& [index, folder] : folders) {
            folder.name = "SUB" + std::to_string(index);
            roots[0].folders.push_back(std::move(folder));
        }
        std::vector<uint8_t> bytes = datakit::MakePack(roots);
        packBytes = bytes.size();
        BinReader in(bytes.data(), bytes.size());
        std::string fault;
        if (!tree.Serialize(in, nullptr, &fault)) std::fprintf(stderr, "bench: %s\n", fault.c_str());
        for (const std::string& p : paths) entries.push_back(tree.FindFileEntry(p.c_str()));
    }
};

Fixture& Pack() {
    static Fixture fixture;
    return fixture;
}

void BM_OpenEveryPackEntry(benchmark::State& state) {
    Fixture& f = Pack();
    for (auto _ : state) {
        for (const std::string& path : f.paths) {
            NztFile file;
            file.OpenRead(path.c_str(), &f.tree);
            benchmark::DoNotOptimize(file.memoryBlock);
            file.Close();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.unpackedBytes));
    state.counters["pack_MB"] = static_cast<double>(f.packBytes) / (1 << 20);
}

void BM_UncompressOnly(benchmark::State& state) {
    Fixture& f = Pack();
    std::vector<uint8_t> out(4u << 20);
    for (auto _ : state) {
        for (QvzPackEntry* e : f.entries) {
            uLongf length = e->size;
            uncompress(out.data(), &length, e->data.data(), e->packedSize);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.unpackedBytes));
}

BENCHMARK(BM_UncompressOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenEveryPackEntry)->Unit(benchmark::kMillisecond);

// Prints as usual, then the pack layer's cost over zlib alone (from the medians when the runs are
// repeated: --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true).
class RatioReporter : public TimeKeepingReporter {
 public:
    void Finalize() override {
        ConsoleReporter::Finalize();
        auto& source = Times();
        double pack = source["BM_OpenEveryPackEntry"], zlib = source["BM_UncompressOnly"];
        if (pack > 0 && zlib > 0)
            std::printf("pack layer over zlib alone: %+.1f%% (%.1f ms against %.1f ms)\n", (pack / zlib - 1) * 100,
                        pack, zlib);
    }
};

}  // namespace

int main(int argc, char** argv) {
    RunBenchmarksWith<RatioReporter>(argc, argv);
    return 0;
}
