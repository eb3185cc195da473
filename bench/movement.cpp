// 200 sample heroes walking over a terrain under the animation state machine, a whole update pass
// (actions, behaviour, posing, ground following) each frame; the same pass over 1,000 heroes that
// no input drives (the argument), half keeping their distance from the player (order 6), half
// walking a patrol round (order 8), under the state machine and with their collision; beside it the
// collision queries alone that the 200 characters' ground following asks each frame. All report the
// time per character. The same crowd grown to 10,000 at much the same density on a ground nine
// times as large shows how the cost per character grows with the crowd. Then 100 more heroes on
// the same terrain under the same two orders, each updated with its collision: characters per
// millisecond, to set beside the plain skinning kernel of bench_skinning.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "camera/traject.h"
#include "character/entity.h"
#include "character/movement.h"
#include "collision/collide.h"
#include "collision/collquery.h"
#include "core/frameclock.h"
#include "core/input.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "datakit/movement.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "terrain.h"
#include "world/framepass.h"

namespace {

constexpr int kCharacters = 200;
constexpr int kOrdered = 100;
constexpr float kExtent = kTiles * kQuads * kQuadSize;

class World {
public:
    explicit World(int characters) {
        char pattern[] = "/tmp/quorvane-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        folder_ = std::string(pattern) + "/";
        for (const auto& [name, bytes] : datakit::SampleModelFiles()) datakit::WriteModelFile(folder_ + name, bytes);
        for (const auto& [name, bytes] : datakit::SampleMovementFiles()) datakit::WriteModelFile(folder_ + name, bytes);
        SetDataFolder(folder_.c_str());
        BuildSinCosTables();
        BuildRandomTable();
        AllocObjectLists();
        ResetAnimDefaults();
        ClearKeyStates();
        std::fill(std::begin(ActionEnabled), std::end(ActionEnabled), uint8_t{1});
        FrameTiming.frameTime = 0.02f;
        FrameTiming.frameFactor = 1.0f;
        // A crowd is laid over blocks of the 1,000 crowd's ground, about 1,000 characters to a block
        // (a 3 x 3 square of blocks for 10,000: 1,111 to a block, 7.1 apart against 7.19), so that
        // a bigger crowd walks a bigger ground at much the same density: each character meets about
        // as many neighbours, triangles and cells as in the 1,000 crowd, and what grows with the
        // crowd itself (the global grid's cells, the index, the working set) shows in the time per
        // character. Each block has its own hero the keys drive and its own patrol round, so that
        // the behaviour is the same mix as in the 1,000 crowd: with one target for all, most of a
        // larger crowd would only walk towards the middle, which would grow ever denser.
        blocks_ = characters > kCharacters
                      ? std::max(1, static_cast<int>(std::lround(std::sqrt(static_cast<double>(characters) / 1000.0))))
                      : 1;
        extent_ = kExtent * static_cast<float>(blocks_);
        BuildTerrain();
        if (characters <= kCharacters) {
            // 15 to a row 15 apart, all driven by the keys.
            for (int i = 0; i < characters; ++i) {
                const float p[3] = {5.0f + static_cast<float>(i % 15) * 15.0f, 8.0f,
                                    5.0f + static_cast<float>(i / 15) * 15.0f};
                if (!AddHero(p, i)) break;
            }
        } else {
            // One hero the keys drive in the middle of each block (the first one is the player), the
            // crowd under orders in a square over the whole terrain around them.
            for (int b = 0; b < blocks_ * blocks_; ++b) {
                const float centre[3] = {BlockCentre(b % blocks_), 8.0f, BlockCentre(b / blocks_)};
                if (!AddHero(centre, b)) break;
            }
            patrols_.resize(static_cast<size_t>(blocks_ * blocks_));
            const int perRow = static_cast<int>(std::ceil(std::sqrt(characters)));
            const float spacing = (extent_ - 10.0f) / static_cast<float>(perRow);
            for (int i = 0; i < characters && heroes_.size() == static_cast<size_t>(blocks_ * blocks_); ++i) {
                const float p[3] = {5.0f + static_cast<float>(i % perRow) * spacing, 8.0f,
                                    5.0f + static_cast<float>(i / perRow) * spacing};
                if (AddOrdered(p, i, true) == nullptr) break;
            }
            counted_ = &ordered_;
        }
        if (!heroes_.empty()) SetPlayerEntity(heroes_[0]);
        // Everybody the keys drive walks forward and turns left now and then.
        KeyStates.actions[MoveButton::Forward] = 1;
    }
    ~World() {
        PlayerEntity = nullptr;
        RemoveAllEntities();
        RemoveAllScnObjects();
        FreeCollideGrid();
        DeleteAllMeshData();
        DeleteAllAnims();
        FreeTypeTables();
        FreeObjectLists();
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }

    void Step() {
        std::memcpy(KeyStates.previousActions, KeyStates.actions, kGameActionCount);
        KeyStates.actions[MoveButton::Left] = (frame_ / 25) % 4 == 0 ? 1 : 0;
        FrameAccumulators.tickA = frame_ % 5 == 0 ? 0.0f : 0.05f;
        ++frame_;
        UpdateObjects();
        LateUpdateObjects();
        // Keep everyone on the terrain.
        for (const std::vector<NztEntity*>* list : {&heroes_, &ordered_}) {
            for (NztEntity* e : *list) {
                for (int k : {0, 2}) {
                    if (e->Position[k] < 1.0f || e->Position[k] > extent_ - 1.0f) {
                        float p[3] = {e->Position[0], e->Position[1], e->Position[2]};
                        p[k] = extent_ * 0.5f;
                        e->SetPosition(p);
                    }
                }
            }
        }
    }

    // The queries the ground following of every character asks in a frame on the ground: the
    // standing surface under it and the four tilt probes.
    void QueriesOnly() {
        for (NztEntity* e : heroes_) {
            float floor = 0.0f, surface = 0.0f;
            StandingProbe probe;
            const Vec3 p{e->Position[0], e->Position[1], e->Position[2]};
            FindStandingSurface(p, e->stepHeight, -4000000.0f, &floor, &surface, &probe, e);
            int32_t pitch = 0, roll = 0;
            ComputeSurfaceTilt(e, &pitch, &roll);
            benchmark::DoNotOptimize(surface);
            benchmark::DoNotOptimize(pitch);
        }
    }

    // The characters a frame is reported for: the heroes, or the ordered crowd of a large world.
    size_t count() const { return counted_->size(); }

    // The ordered crowd of BM_OrderedCrowdFrame, made on first use: 50 under order 6 against the
    // player, 50 under order 8, ten to a row 20 apart.
    std::vector<NztEntity*>& Ordered() {
        if (!ordered_.empty() || heroes_.empty()) return ordered_;
        for (int i = 0; i < kOrdered; ++i) {
            const float p[3] = {20.0f + static_cast<float>(i % 10) * 20.0f, 8.0f,
                                kExtent * 0.5f + static_cast<float>(i / 10) * 20.0f};
            if (AddOrdered(p, i, false) == nullptr) break;
        }
        return ordered_;
    }

private:
    NztEntity* AddHero(const float p[3], int i) {
        NztEntity* e = GetEntityType("Hero1001");
        if (e == nullptr) return nullptr;
        e->inputDriven = 1;
        e->animStateMachine = 1;
        e->gait = static_cast<uint8_t>(i % 3);
        e->gaitInUse = e->gait;
        e->SetYaw((i * 397) & 0xFFF);
        e->SetPosition(p);
        heroes_.push_back(e);
        return e;
    }

    float BlockCentre(int b) const { return (static_cast<float>(b) + 0.5f) * kExtent; }
    int BlockAt(float x) const { return std::clamp(static_cast<int>(x / kExtent), 0, blocks_ - 1); }

    // A hero under orders: even ones under order 6 against the hero of their block (near 30, keep
    // 60, far 120), odd ones under order 8 on a looping round of side 120 about the block's centre
    // with arrival radius 4.
    NztEntity* AddOrdered(const float p[3], int i, bool stateMachine) {
        if (patrols_.empty()) patrols_.resize(1);
        const size_t block = static_cast<size_t>(BlockAt(p[2]) * blocks_ + BlockAt(p[0]));
        if (block >= patrols_.size() || block >= heroes_.size()) return nullptr;
        NztTraject& patrol = patrols_[block];
        if (patrol.points.empty()) {
            const float cx = BlockCentre(static_cast<int>(block) % blocks_);
            const float cz = BlockCentre(static_cast<int>(block) / blocks_);
            for (float x : {-60.0f, 60.0f})
                for (float z : {-60.0f, 60.0f})
                    patrol.points.push_back({{cx + x, 0, cz + (x < 0 ? -z : z)}, {cx, 0, cz}, {1, 0, 0, 0}});
        }
        NztEntity* e = GetEntityType("Hero1001");
        if (e == nullptr) return nullptr;
        e->SetPosition(p);
        e->visibilityTest = 0;
        e->animStateMachine = stateMachine ? 1 : 0;
        const float radii[5] = {0.0f, 30.0f, 60.0f, 120.0f, 4.0f};
        for (int k = 0; k < 5; ++k) {
            e->radii[k] = radii[k];
            e->radiiSquared[k] = radii[k] * radii[k];
        }
        if (i % 2 == 0) {
            e->SetTarget(heroes_[block]);
            e->SetOrder(6);
        } else {
            e->SetTraject(&patrol, 1, 0, 1, 1.0f);
            e->SetOrder(8);
            e->SetAnim(e->GetAnimByName("MoveWalk"), 0, nullptr, i % 24);
        }
        ordered_.push_back(e);
        return e;
    }

    // The terrain of the benchmarks, or for more than one block a height field as large as all of
    // them (the same kind of heights, going on across the blocks' borders) cut into tiles alike.
    void BuildTerrain() {
        if (blocks_ == 1) {
            BuildBlock(TerrainHeights(3.0f), 0, 0);
        } else {
            const int side = blocks_ * (kTerrainSide - 1) + 1;
            std::mt19937 rng(20241210);
            std::uniform_real_distribution<float> height(0.0f, 3.0f);
            std::vector<float> field(static_cast<size_t>(side) * static_cast<size_t>(side));
            for (float& v : field) v = height(rng);
            std::vector<float> h(static_cast<size_t>(kTerrainSide * kTerrainSide));
            for (int bx = 0; bx < blocks_; ++bx) {
                for (int bz = 0; bz < blocks_; ++bz) {
                    for (int x = 0; x < kTerrainSide; ++x)
                        for (int z = 0; z < kTerrainSide; ++z)
                            h[static_cast<size_t>(x * kTerrainSide + z)] =
                                field[static_cast<size_t>((bx * (kTerrainSide - 1) + x) * side + bz * (kTerrainSide - 1) + z)];
                    BuildBlock(h, bx, bz);
                }
            }
        }
        BuildCollideGrid();
    }

    // The tiles of one block, moved to its place.
    void BuildBlock(const std::vector<float>& h, int bx, int bz) {
        const float dx = static_cast<float>(bx) * kExtent, dz = static_cast<float>(bz) * kExtent;
        for (int tx = 0; tx < kTiles; ++tx) {
            for (int tz = 0; tz < kTiles; ++tz) {
                NztMesh* mesh = CreateMeshData();
                FillTerrainTile(mesh, h, tx, tz, 3.0f, [](int, int) { return 1u; });
                if (bx != 0 || bz != 0) {
                    for (std::vector<Vec3>* vs : {&mesh->CollisionVertices, &mesh->PosedCollisionVertices})
                        for (Vec3& v : *vs) v.x += dx, v.z += dz;
                    mesh->OwnCollisionBounds[0] += dx, mesh->OwnCollisionBounds[3] += dx;
                    mesh->OwnCollisionBounds[2] += dz, mesh->OwnCollisionBounds[5] += dz;
                }
                NztScnObject* o = CreateScnObject(mesh);
                o->CopyCollision(mesh);
                o->UpdateCollision();
                o->registered = 1;
            }
        }
    }

    std::string folder_;
    int blocks_ = 1;  // per side
    float extent_ = kExtent;
    std::vector<NztEntity*> heroes_;
    std::vector<NztEntity*> ordered_;
    const std::vector<NztEntity*>* counted_ = &heroes_;
    std::vector<NztTraject> patrols_;  // one a block, made before any character takes one
    int frame_ = 0;
};

// One world at a time (the object lists are global): made again when another size is asked for.
World& TheWorld(int characters = kCharacters) {
    static std::unique_ptr<World> world;
    static int made = 0;
    if (!world || made != characters) {
        world.reset();
        world = std::make_unique<World>(characters);
        made = characters;
    }
    return *world;
}

void PerCharacter(benchmark::State& state, size_t count) {
    state.counters["per_character"] = benchmark::Counter(
        static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["characters"] = static_cast<double>(count);
}

void BM_MovementFrame(benchmark::State& state) {
    World& world = TheWorld(static_cast<int>(state.range(0)));
    for (auto _ : state) world.Step();
    PerCharacter(state, world.count());
}
BENCHMARK(BM_MovementFrame)->Arg(kCharacters)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_CollisionQueriesAlone(benchmark::State& state) {
    World& world = TheWorld(kCharacters);
    for (auto _ : state) world.QueriesOnly();
    PerCharacter(state, world.count());
}
BENCHMARK(BM_CollisionQueriesAlone)->Unit(benchmark::kMicrosecond);

// One iteration updates each ordered character once as the update pass does (life and actions,
// behaviour with its order, animation, posing with the collision sweep, ground following). Items
// are characters; chars_per_ms is characters per millisecond.
void BM_OrderedCrowdFrame(benchmark::State& state) {
    World& world = TheWorld();
    std::vector<NztEntity*>& crowd = world.Ordered();
    if (crowd.size() != static_cast<size_t>(kOrdered)) {
        state.SkipWithError("the sample hero did not load");
        return;
    }
    int frame = 0;
    for (auto _ : state) {
        FrameAccumulators.tickA = frame++ % 5 == 0 ? 0.0f : 0.05f;
        for (NztEntity* e : crowd) {
            e->SelectAction();
            e->RunActionStack();
            e->Update();
        }
        benchmark::DoNotOptimize(crowd.back()->Position[0]);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kOrdered);
    state.counters["chars_per_ms"] =
        benchmark::Counter(static_cast<double>(kOrdered) / 1000.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OrderedCrowdFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
