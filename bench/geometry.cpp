// Calls per second of the collision geometry tests on random inputs (fixed seed, so every run
// measures the same mix of early rejections, plane hits and full inside tests).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/nztmath.h"

namespace {

constexpr int kCases = 4096;  // power of two: the loop index is masked

struct SegmentTriangleCase {
    Vec3 A, B, C, a, b;
};

struct TriangleBoxCase {
    Vec3 lo, hi, p0, p1, p2;
};

Vec3 RandomPoint(std::mt19937& rng, float extent) {
    std::uniform_real_distribution<float> u(-extent, extent);
    return {u(rng), u(rng), u(rng)};
}

// Triangles of a few units, segments around the same spot: a mix of box rejections, misses
// beside the triangle and hits.
std::vector<SegmentTriangleCase> MakeSegmentTriangleCases() {
    std::mt19937 rng(20240601);
    std::vector<SegmentTriangleCase> cases(kCases);
    for (auto& c : cases) {
        const Vec3 centre = RandomPoint(rng, 4.0f);
        c.A = centre + RandomPoint(rng, 3.0f);
        c.B = centre + RandomPoint(rng, 3.0f);
        c.C = centre + RandomPoint(rng, 3.0f);
        c.a = centre + RandomPoint(rng, 4.0f);
        c.b = centre + RandomPoint(rng, 4.0f);
    }
    return cases;
}

// Collision-grid cells against triangles of similar size spread around them.
std::vector<TriangleBoxCase> MakeTriangleBoxCases() {
    std::mt19937 rng(20240602);
    std::uniform_real_distribution<float> size(1.0f, 4.0f);
    std::vector<TriangleBoxCase> cases(kCases);
    for (auto& c : cases) {
        c.lo = RandomPoint(rng, 4.0f);
        c.hi = c.lo + Vec3{size(rng), size(rng), size(rng)};
        const Vec3 centre = RandomPoint(rng, 5.0f);
        c.p0 = centre + RandomPoint(rng, 4.0f);
        c.p1 = centre + RandomPoint(rng, 4.0f);
        c.p2 = centre + RandomPoint(rng, 4.0f);
    }
    return cases;
}

void BM_IntersectSegmentTriangle(benchmark::State& state) {
    const auto cases = MakeSegmentTriangleCases();
    int i = 0, hits = 0;
    for (auto _ : state) {
        const auto& c = cases[i++ & (kCases - 1)];
        Vec3 hit;
        const bool h = IntersectSegmentTriangle(c.A, c.B, c.C, c.a, c.b, hit);
        hits += h;
        benchmark::DoNotOptimize(hit);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["hit_ratio"] = double(hits) / double(state.iterations());
}
BENCHMARK(BM_IntersectSegmentTriangle);

void BM_TriangleIntersectsBox(benchmark::State& state) {
    const auto cases = MakeTriangleBoxCases();
    int i = 0, hits = 0;
    for (auto _ : state) {
        const auto& c = cases[i++ & (kCases - 1)];
        const bool h = TriangleIntersectsBox(c.lo, c.hi, c.p0, c.p1, c.p2);
        hits += h;
        benchmark::DoNotOptimize(h);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["hit_ratio"] = double(hits) / double(state.iterations());
}
BENCHMARK(BM_TriangleIntersectsBox);

}  // namespace

BENCHMARK_MAIN();
