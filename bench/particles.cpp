// The particle pass: one system of 20,000 particles that keeps most of them alive (births of about
// 400 a frame against lives of about one second at 50 frames a second), stepped one frame per
// iteration by the kernel and by its plain reference, in world space (own emitter and a posed mesh
// as the spawn source) and relative to the emitter. Items are particle slots updated.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "core/nztmath.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "game/frame.h"
#include "objects/base3d.h"

namespace {

constexpr int32_t Particles = 20000;

struct System {
    SfxDef def;
    NztBaseObject mesh;
    float rotation[9] = {0.8f, 0.6f, 0, -0.6f, 0.8f, 0, 0, 0, 1};
    float emitter[3] = {10, 20, 30};

    System(bool world, bool meshSource) {
        BuildRandomTable();
        FrameTiming.frameTime = 0.02f;
        InitSfxDef(&def);
        def.birthsBase = 400;
        def.birthsSpread = 50;
        def.emitterHalfExtents = {2, 1, 2};
        def.lifetimeBase = 1.0f;
        def.lifetimeSpread = 0.3f;
        def.massBase = 1.0f;
        def.initialVelocity = {0, 0.5f, 0};
        def.velocitySpread = 0.1f;
        def.startSize = 0.5f, def.middleSize = 2, def.endSize = 3;
        def.startOpacity = 0, def.middleOpacity = 1, def.endOpacity = 0;
        def.gravity = {0, -1, 0};
        def.accelerationJitter = 0.5f;
        SetSfxParticleCount(&def, Particles);
        InitSfxParticles(&def);
        ResetSfxParticles(&def);
        def.emissionDuration = 0;
        def.worldSpace = world;
        def.rotationPtr = rotation;
        def.emitterPositionPtr = emitter;
        if (meshSource) {
            for (int i = 0; i < 5000; ++i)
                mesh.vertices.push_back({float(i % 71), float(i % 13), float(i % 29)});
            mesh.vertexCount = 5000;
            def.meshSource = &mesh;
        }
        // Into the steady state before timing.
        for (int i = 0; i < 100; ++i) UpdateSfxParticlesWorld(&def);
    }
    ~System() {
        FreeSfxDef(&def);
        FreeSfxQuadBuffers();
    }
};

template <void (*Pass)(SfxDef*)>
void Step(benchmark::State& state, bool world, bool meshSource) {
    System s(world, meshSource);
    for (auto _ : state) {
        Pass(&s.def);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * Particles);
}

void KernelWorld(benchmark::State& st) {
    Step<UpdateSfxParticlesWorld>(st, true, false);
}
void ReferenceWorld(benchmark::State& st) {
    Step<UpdateSfxParticlesWorldReference>(st, true, false);
}
void KernelWorldMeshSource(benchmark::State& st) {
    Step<UpdateSfxParticlesWorld>(st, true, true);
}
void ReferenceWorldMeshSource(benchmark::State& st) {
    Step<UpdateSfxParticlesWorldReference>(st, true, true);
}
void KernelLocal(benchmark::State& st) {
    Step<UpdateSfxParticlesLocal>(st, false, false);
}
void ReferenceLocal(benchmark::State& st) {
    Step<UpdateSfxParticlesLocalReference>(st, false, false);
}

BENCHMARK(KernelWorld);
BENCHMARK(ReferenceWorld);
BENCHMARK(KernelWorldMeshSource);
BENCHMARK(ReferenceWorldMeshSource);
BENCHMARK(KernelLocal);
BENCHMARK(ReferenceLocal);

}  // namespace

BENCHMARK_MAIN();
