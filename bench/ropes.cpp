// One rope step (forces, integration, ten relaxation passes) over full pools: 40 hanging ropes of
// 25 particles each, pinned at the top, swinging. The fast stages stop at the pools' fill counts and
// skip the per-axis tests; the reference walks every entry plainly. Both ask the engine's collision
// queries, here over an empty world, so the figures are the rope kernel's own cost.
#include <benchmark/benchmark.h>

#include "effects/rope.h"

namespace {

constexpr int kRopes = 40;
constexpr int kParticlesPerRope = 25;

void BuildRopes() {
    ResetRopeHooks();
    InitRopePools();
    RopeSettings.gravity[1] = -80.0f;
    RopeSettings.iterationCount = 10;
    RopeSettings.stepTime = 0.02f;
    for (int r = 0; r < kRopes; ++r) {
        int32_t previous = -1;
        for (int i = 0; i < kParticlesPerRope; ++i) {
            RopeParticle p;
            p.state = 1;
            p.position[0] =
                static_cast<float>(r) * 10.0f + static_cast<float>(i) * 0.7f;  // slack, so it swings
            p.position[1] = 100.0f - static_cast<float>(i) * 0.7f;
            for (int axis = 0; axis < 3; ++axis)
                p.previousPosition[axis] = p.pinPoint[axis] = p.position[axis];
            p.pinned = i == 0 ? 1 : 0;
            const int32_t index = AllocRopeParticle(p);
            if (previous >= 0) AllocRopeConstraint(RopeConstraint{1.0f, previous, index, 1});
            previous = index;
        }
    }
}

void BM_RopeStep(benchmark::State& state) {
    BuildRopes();
    for (auto _ : state) {
        AccumulateRopeForces();
        IntegrateRopeParticles();
        SatisfyRopeConstraints();
        benchmark::DoNotOptimize(RopeParticles[kParticlesPerRope - 1].position[1]);
    }
    state.SetItemsProcessed(state.iterations() * kRopes * kParticlesPerRope);
}
BENCHMARK(BM_RopeStep);

void BM_RopeStepReference(benchmark::State& state) {
    BuildRopes();
    for (auto _ : state) {
        StepRopesReference();
        benchmark::DoNotOptimize(RopeParticles[kParticlesPerRope - 1].position[1]);
    }
    state.SetItemsProcessed(state.iterations() * kRopes * kParticlesPerRope);
}
BENCHMARK(BM_RopeStepReference);

}  // namespace

BENCHMARK_MAIN();
