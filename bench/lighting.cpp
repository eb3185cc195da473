// Per-vertex mesh lighting: a 100,000-vertex mesh lit by the sun and the lights near the camera,
// the fast routine against the plain walk it is checked with. Items are vertices lit.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "effects/light.h"
#include "effects/shading.h"
#include "model/mesh.h"
#include "objects/registry.h"

namespace {

constexpr uint32_t kSide = 316;  // 316 x 316 = 99,856 vertices, a rolling terrain patch
constexpr float kSpacing = 4.0f;

struct LitScene {
    NztMesh mesh;
    std::vector<Vec3> posed, normals;
    std::vector<float> colours;
    std::vector<std::unique_ptr<NztLight>> lights;
    std::vector<NztBase3D*> list;

    LitScene() {
        const uint32_t n = kSide * kSide;
        mesh.AllocLod(n, 0, 0, 0, 0, 0, 0, 0, 0);
        posed.resize(n);
        normals.resize(n);
        colours.resize(uint64_t{n} * 4);
        std::mt19937 rng(4101u);  // fixed, so every run lights the same mesh
        std::uniform_real_distribution<float> tint(0.0f, 0.2f);
        for (uint32_t z = 0; z < kSide; ++z) {
            for (uint32_t x = 0; x < kSide; ++x) {
                const uint32_t i = z * kSide + x;
                const float fx = x * kSpacing, fz = z * kSpacing;
                posed[i] = {fx, 20.0f * std::sin(fx * 0.01f) * std::cos(fz * 0.013f), fz};
                // Normal of the height field y = 20 sin(0.01 x) cos(0.013 z).
                const Vec3 nv{-0.2f * std::cos(fx * 0.01f) * std::cos(fz * 0.013f), 1.0f,
                              0.26f * std::sin(fx * 0.01f) * std::sin(fz * 0.013f)};
                normals[i] = nv * (1.0f / std::sqrt(Dot(nv, nv)));
                mesh.ShadingVectors[i] = {tint(rng), tint(rng), tint(rng)};
            }
        }
        mesh.PosedVertices = posed.data();
        mesh.PosedNormals = normals.data();
        mesh.VertexColours = colours.data();

        // The sun, and the lights near the camera: four that reach the patch (a point light, a
        // dark point, an ambient light and a spot) and two that stand near but not over it.
        ResetShadingGlobals();
        SunDirection = {0.3f, 0.9f, 0.3f};
        SunDirection = SunDirection * (1.0f / std::sqrt(Dot(SunDirection, SunDirection)));
        struct Spec {
            uint32_t kind;
            Vec3 at;
            float range;
        } specs[] = {
            {1, {300, 60, 300}, 250}, {2, {900, 40, 500}, 150}, {4, {600, 80, 900}, 300},
            {5, {1000, 150, 1000}, 400}, {1, {-800, 50, 200}, 300}, {4, {700, 50, -900}, 250},
        };
        for (const Spec& s : specs) {
            auto l = std::make_unique<NztLight>();
            l->LightKind = s.kind;
            l->Position[0] = s.at.x;
            l->Position[1] = s.at.y;
            l->Position[2] = s.at.z;
            l->Colour[0] = 0.9f;
            l->Colour[1] = 0.7f;
            l->Colour[2] = 0.4f;
            l->OuterRange = s.range;
            l->OuterRangeSquared = s.range * s.range;
            l->InnerRange = s.range * 0.3f;
            l->InverseRangeSpan = 1.0f / (s.range - l->InnerRange);
            // Spots look straight down at a target 150 below.
            l->Direction[1] = 1.0f;
            l->TargetDistance = 150.0f;
            l->InverseTargetDistance2 = 1.0f / s.range;
            l->OuterConeCosine = 0.6f;
            l->InnerConeCosine = 0.85f;
            list.push_back(l.get());
            lights.push_back(std::move(l));
        }
        NearLightRegistry.objects = list.data();
        NearLightRegistry.count = static_cast<int32_t>(list.size());
    }
    ~LitScene() { NearLightRegistry = {}; }
};

void Run(benchmark::State& state, void (*light)(NztMesh*)) {
    LitScene scene;
    for (auto _ : state) {
        light(&scene.mesh);
        benchmark::DoNotOptimize(scene.colours.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{scene.mesh.VertexCount});
}

void BM_LightMeshPlain(benchmark::State& state) { Run(state, LightMeshPlain); }
void BM_LightMeshPlainReference(benchmark::State& state) { Run(state, LightMeshPlainReference); }
BENCHMARK(BM_LightMeshPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightMeshPlainReference)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
