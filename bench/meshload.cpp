// Loading a 100,000-vertex, 60-bone skinned mesh and a 200-frame, 60-bone animation, from a loose
// file and from a memory stream (the bytes a pack entry hands out), beside a plain fread of the
// same files: the cost of parsing and checking over the raw read.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/nztfile.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "time_reporter.h"

namespace {

constexpr const char* MeshName = "OBJECTS/Bench1001.QVo";
constexpr const char* AnimName = "OBJECTS/BenchWalk.QVa";

// The mesh: 60 bones in six limbs of ten, each bone moving its own band of vertices and the
// bands further down its limb, as a character's hierarchy does.
datakit::QvoMesh BenchMesh() {
    datakit::QvoMesh m = datakit::MakeSkinnedStrip("Bench1001", 100000, 0);
    const uint32_t bones = 60, perLimb = 10;
    const uint32_t band = 100000 / bones;
    for (uint32_t b = 0; b < bones; ++b) {
        datakit::QvoBone bone;
        bone.pivot = b * band;
        const uint32_t limbEnd = (b / perLimb + 1) * perLimb;
        for (uint32_t v = b * band; v < limbEnd * band; ++v) {
            bone.vertices.push_back(v);
            bone.weights.push_back(v < (b + 1) * band ? 1.0f : 0.5f);
        }
        m.bones.push_back(std::move(bone));
    }
    return m;
}

struct Fixture {
    std::string folder;
    std::vector<uint8_t> meshBytes, animBytes;

    Fixture() {
        BuildSinCosTables();
        char pattern[] = "/tmp/qv_meshload_XXXXXX";
        folder = std::string(mkdtemp(pattern)) + "/";
        SetDataFolder(folder.c_str());
        meshBytes = datakit::WriteQvo(BenchMesh());
        animBytes = datakit::WriteQva(datakit::MakeSwingAnim(200, 60, 1));
        datakit::WriteModelFile(folder + MeshName, meshBytes);
        datakit::WriteModelFile(folder + AnimName, animBytes);
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

void FreadWhole(benchmark::State& state, const char* name, size_t bytes) {
    std::vector<uint8_t> buffer(bytes);
    const std::string path = Data().folder + name;
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        size_t got = std::fread(buffer.data(), 1, buffer.size(), f);
        std::fclose(f);
        benchmark::DoNotOptimize(got);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_MeshFread(benchmark::State& state) { FreadWhole(state, MeshName, Data().meshBytes.size()); }

// The floor of a loose load that keeps its arrays in vectors of their own: the one read of the
// file and one copy of its bytes into fresh arrays of about the mesh's largest (1.2 MB).
void BM_MeshFreadCopy(benchmark::State& state) {
    constexpr size_t ArrayBytes = 1200000;
    const size_t bytes = Data().meshBytes.size();
    std::vector<uint8_t> buffer(bytes);
    const std::string path = Data().folder + MeshName;
    std::vector<std::vector<uint8_t>> arrays;
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), f);
        std::fclose(f);
        for (size_t at = 0; at < got; at += ArrayBytes) {
            const auto first = buffer.begin() + static_cast<std::ptrdiff_t>(at);
            arrays.emplace_back(first, first + static_cast<std::ptrdiff_t>(std::min(ArrayBytes, got - at)));
        }
        benchmark::DoNotOptimize(arrays.back().data());
        arrays.clear();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_MeshLoadLoose(benchmark::State& state) {
    Data();  // the files and the data folder, when this case runs alone
    for (auto _ : state) {
        NztMesh mesh;
        if (!LoadMeshFile(MeshName, &mesh, 0, 1)) state.SkipWithError("mesh refused");
        FreeMesh(&mesh);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Data().meshBytes.size()));
}

void BM_MeshLoadMemory(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = Data().meshBytes;
    for (auto _ : state) {
        NztMesh mesh;
        NztFile stream;
        stream.OpenMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
        if (!ParseMeshFile(&mesh, &stream, 0, 1, MeshName)) state.SkipWithError("mesh refused");
        FreeMesh(&mesh);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_AnimFread(benchmark::State& state) { FreadWhole(state, AnimName, Data().animBytes.size()); }

void BM_AnimLoadLoose(benchmark::State& state) {
    Data();
    for (auto _ : state) {
        NztAnim anim;
        if (!anim.Load(AnimName, 60)) state.SkipWithError("animation refused");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Data().animBytes.size()));
}

void BM_AnimLoadMemory(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = Data().animBytes;
    for (auto _ : state) {
        NztAnim anim;
        anim.Stream.OpenMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
        if (!anim.Parse(AnimName, 60)) state.SkipWithError("animation refused");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_MeshFread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshFreadCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshLoadLoose)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshLoadMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnimFread)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnimLoadLoose)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnimLoadMemory)->Unit(benchmark::kMicrosecond);

class RatioReporter : public TimeKeepingReporter {
 public:
    // From the medians when the runs are repeated (--benchmark_repetitions=5).
    void Finalize() override {
        ConsoleReporter::Finalize();
        auto& t = Times();
        auto& c = CpuTimes();
        const double fread = t["BM_MeshFread"], loose = t["BM_MeshLoadLoose"];
        if (fread > 0 && loose > 0)
            std::printf("loose mesh load over one fread of it: %.2fx (CPU time %.2fx; "
                        "fread and one copy %.2fx)\n",
                        loose / fread, c["BM_MeshLoadLoose"] / c["BM_MeshFread"],
                        t["BM_MeshFreadCopy"] / fread);
    }
};

}  // namespace

int main(int argc, char** argv) {
    RunBenchmarksWith<RatioReporter>(argc, argv);
    return 0;
}
