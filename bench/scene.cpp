// Loading a level of 2,000 scene objects, 50 characters and 5,000 event records from the scene
// pack, beside reading the same bytes out of the pack and beside parsing them. The ratio of the
// load over the read is what building the world costs per byte of level.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "character/entity.h"
#include "core/binio.h"
#include "core/nztfile.h"
#include "core/nztmath.h"
#include "core/pack.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "datakit/pack.h"
#include "datakit/scene.h"
#include "effects/rope.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "scene/scene.h"
#include "time_reporter.h"

namespace {

struct Fixture {
    std::string folder;
    QvzPackTree* tree = nullptr;
    size_t sceneBytes = 0;

    Fixture() {
        char pattern[] = "/tmp/qv_bench_scene_XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        folder = std::string(pattern) + "/";
        for (const auto& [name, bytes] : datakit::SampleModelFiles()) datakit::WriteModelFile(folder + name, bytes);
        SetDataFolder(folder.c_str());
        datakit::SceneSpec level;
        const datakit::EventBytes record(948, 0);
        for (int i = 0; i < 2000; ++i) {
            datakit::SceneObjectSpec o;
            o.model = i % 3 == 0 ? "Tree" : "Crate";
            o.place.position = {static_cast<float>(i % 50) * 30.0f, 0.0f, static_cast<float>(i / 50) * 30.0f};
            o.events = {record, record};  // 4,000 records
            level.objects.push_back(o);
        }
        for (int i = 0; i < 50; ++i) {
            datakit::SceneCharacterSpec c;
            c.type = "Hero";
            c.place.position = {static_cast<float>(i) * 20.0f, 0.0f, -50.0f};
            c.events.assign(20, record);  // 1,000 records
            level.characters.push_back(c);
        }
        std::vector<uint8_t> bytes = datakit::MakeScene(level);
        sceneBytes = bytes.size();
        datakit::PackFolderSpec scn;
        scn.name = "SCN";
        scn.files.push_back(datakit::PackFile("Bench.Scn", std::move(bytes), true));
        const std::vector<uint8_t> pack = datakit::MakePack({scn});
        tree = new QvzPackTree;
        BinReader in(pack.data(), pack.size());
        std::string fault;
        if (!tree->Serialize(in, nullptr, &fault)) std::fprintf(stderr, "bench: %s\n", fault.c_str());
        PackTrees[PackScn] = tree;

        BuildSinCosTables();
        BuildRandomTable();
        AllocObjectLists();
        ResetAnimDefaults();
        InitRopePools();
        PlayerEntity = GetEntityType("Hero1001");
    }
};

Fixture& Level() {
    static Fixture fixture;
    return fixture;
}

void BM_ReadSceneBytes(benchmark::State& state) {
    Fixture& f = Level();
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        NztFile file;
        file.OpenRead("SCN/Bench.Scn", f.tree);
        file.ReadToEnd(bytes, UINT32_MAX);
        benchmark::DoNotOptimize(bytes.data());
        file.Close();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.sceneBytes));
}

void BM_ParseScene(benchmark::State& state) {
    Fixture& f = Level();
    for (auto _ : state) {
        NztFile file;
        file.OpenRead("SCN/Bench.Scn", f.tree);
        BinReader in(file);
        SceneData scene;
        benchmark::DoNotOptimize(ParseScene(in, "Bench", &scene));
        file.Close();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.sceneBytes));
}

void BM_LoadScene(benchmark::State& state) {
    Fixture& f = Level();
    for (auto _ : state) {
        if (LoadScene("Bench", 1, nullptr) != 1) state.SkipWithError("the level did not load");
        benchmark::DoNotOptimize(ScnObjectCount);
    }
    state.counters["objects"] = static_cast<double>(ScnObjectCount);
    state.counters["characters"] = static_cast<double>(EntityCount);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.sceneBytes));
}

BENCHMARK(BM_ReadSceneBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseScene)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadScene)->Unit(benchmark::kMillisecond);

class RatioReporter : public TimeKeepingReporter {
 public:
    // From the medians when the runs are repeated (--benchmark_repetitions=5).
    void Finalize() override {
        ConsoleReporter::Finalize();
        auto& t = Times();
        const double read = t["BM_ReadSceneBytes"], parse = t["BM_ParseScene"], load = t["BM_LoadScene"];
        auto& c = CpuTimes();
        if (read > 0 && load > 0)
            std::printf("scene load over reading its bytes: %.1fx (parse alone %.1fx; CPU time %.1fx)\n",
                        load / read, parse / read, c["BM_LoadScene"] / c["BM_ReadSceneBytes"]);
    }
};

}  // namespace

int main(int argc, char** argv) {
    RunBenchmarksWith<RatioReporter>(argc, argv);
    std::error_code ignored;
    if (!Level().folder.empty()) std::filesystem::remove_all(Level().folder, ignored);
    return 0;
}
