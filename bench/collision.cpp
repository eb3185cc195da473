// Collision queries per second on a terrain of 16 scene objects (4608 triangles, heights from a
// fixed seed), through the grids and through the plain walk over every triangle; with Irrlicht
// installed, its octree ray query over the same triangles runs beside the nearest-crossing query.
#include <benchmark/benchmark.h>

#ifdef QV_HAVE_IRRLICHT
#include <irrlicht.h>
#endif

#include <memory>
#include <random>
#include <vector>

#include "collision/collide.h"
#include "collision/collquery.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/objtype.h"
#include "terrain.h"

namespace {

constexpr int kQueries = 4096;  // power of two: the loop index is masked

struct Terrain {
    std::vector<std::unique_ptr<NztMesh>> meshes;
    std::vector<std::unique_ptr<NztScnObject>> objects;
    std::vector<NztScnObject*> list;

    Terrain() {
        const std::vector<float> h = TerrainHeights(6.0f);
        for (int tx = 0; tx < kTiles; ++tx) {
            for (int tz = 0; tz < kTiles; ++tz) {
                auto mesh = std::make_unique<NztMesh>();
                FillTerrainTile(mesh.get(), h, tx, tz, 6.0f,
                                [](int x, int z) { return (x + z) % 7 == 0 ? HitTypeWater : 1u; });
                auto object = std::make_unique<NztScnObject>();
                object->mesh = mesh.get();
                object->CopyCollision(mesh.get());
                object->UpdateCollision();
                object->registered = 1;
                list.push_back(object.get());
                objects.push_back(std::move(object));
                meshes.push_back(std::move(mesh));
            }
        }
        ScnObjectList = list.data();
        ScnObjectCount = static_cast<uint32_t>(list.size());
        BuildCollideGrid();
    }
    ~Terrain() {
        ScnObjectList = nullptr;
        ScnObjectCount = 0;
        FreeCollideGrid();
        objects.clear();
    }
};

struct Queries {
    std::vector<Vec3> points, ends;
    std::vector<float> radii;
    Queries() {
        std::mt19937 rng(20241211);
        const float extent = kTiles * kQuads * kQuadSize;
        std::uniform_real_distribution<float> across(0.0f, extent), up(-2.0f, 8.0f), near(-4.0f, 4.0f),
            radius(0.5f, 2.0f);
        for (int i = 0; i < kQueries; ++i) {
            const Vec3 p{across(rng), up(rng), across(rng)};
            points.push_back(p);
            ends.push_back({p.x + near(rng), up(rng), p.z + near(rng)});
            radii.push_back(radius(rng));
        }
    }
};

Terrain& World() {
    static Terrain terrain;
    return terrain;
}
const Queries& TheQueries() {
    static Queries queries;
    return queries;
}

// Runs query(queries, k) over the fixed query set, one query per iteration.
template <class Query>
void RunQueries(benchmark::State& state, Query query) {
    World();
    const Queries& q = TheQueries();
    size_t i = 0;
    for (auto _ : state) query(q, i++ & (kQueries - 1));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

template <bool kGrid>
void FloorProbe(benchmark::State& state) {
    RunQueries(state, [](const Queries& q, size_t k) {
        kGrid ? CollideFloorProbe(q.points[k], nullptr) : CollideFloorProbeReference(q.points[k], nullptr);
        benchmark::DoNotOptimize(CollisionHitCount);
    });
}

template <bool kGrid>
void Sphere(benchmark::State& state) {
    RunQueries(state, [](const Queries& q, size_t k) {
        CollisionBody body;
        body.centre = q.points[k];
        body.radius = q.radii[k];
        kGrid ? CollideSphere(&body, nullptr) : CollideSphereReference(&body, nullptr);
        benchmark::DoNotOptimize(CollisionHitCount);
    });
}

template <bool kGrid>
void Segment(benchmark::State& state) {
    RunQueries(state, [](const Queries& q, size_t k) {
        kGrid ? CollideSegment(q.points[k], q.ends[k], nullptr)
              : CollideSegmentReference(q.points[k], q.ends[k], nullptr);
        benchmark::DoNotOptimize(CollisionHitCount);
    });
}

// The ray question the camera and ropes ask: the crossing nearest to the start.
void SegmentNearest(benchmark::State& state) {
    RunQueries(state, [](const Queries& q, size_t k) {
        Vec3 point{0.0f, 0.0f, 0.0f};
        CollideSegment(q.points[k], q.ends[k], nullptr);
        benchmark::DoNotOptimize(CollideSegmentNearest(q.points[k], q.ends[k], &point));
    });
}

#ifdef QV_HAVE_IRRLICHT
void IrrlichtSegmentNearest(benchmark::State& state) {
    using namespace irr;
    Terrain& t = World();
    const Queries& q = TheQueries();
    IrrlichtDevice* device = createDevice(video::EDT_NULL);
    scene::SMesh* mesh = new scene::SMesh();
    for (const auto& m : t.meshes) {
        auto* buffer = new scene::SMeshBuffer();
        for (size_t v = 0; v < m->CollisionVertices.size(); ++v) {
            const Vec3& p = m->CollisionVertices[v];
            buffer->Vertices.push_back(
                video::S3DVertex(p.x, p.y, p.z, 0, 1, 0, video::SColor(255, 255, 255, 255), 0, 0));
            buffer->Indices.push_back(static_cast<u16>(v));
        }
        buffer->recalculateBoundingBox();
        mesh->addMeshBuffer(buffer);
        buffer->drop();
    }
    mesh->recalculateBoundingBox();
    scene::ISceneManager* scene = device->getSceneManager();
    scene::ITriangleSelector* selector = scene->createOctreeTriangleSelector(mesh, nullptr, 32);
    scene::ISceneCollisionManager* collision = scene->getSceneCollisionManager();
    size_t i = 0;
    core::vector3df point;
    core::triangle3df triangle;
    scene::ISceneNode* node = nullptr;
    for (auto _ : state) {
        const size_t k = i++ & (kQueries - 1);
        const Vec3& a = q.points[k];
        const Vec3& b = q.ends[k];
        const core::line3d<f32> ray(a.x, a.y, a.z, b.x, b.y, b.z);
        benchmark::DoNotOptimize(collision->getCollisionPoint(ray, selector, point, triangle, node));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    selector->drop();
    mesh->drop();
    device->drop();
}
BENCHMARK(IrrlichtSegmentNearest);
#endif

void GroundHeight(benchmark::State& state) {
    RunQueries(state, [](const Queries& q, size_t k) {
        float floor = 0.0f, surface = 0.0f;
        benchmark::DoNotOptimize(GroundHeightAt(q.points[k], 2.0f, 0.0f, &floor, &surface));
    });
}

void Sweep(benchmark::State& state) {
    RunQueries(state, [](const Queries& q, size_t k) {
        CollisionBody body;
        body.centre = q.points[k];
        body.radius = 1.0f;
        Vec3 motion = (q.ends[k] - q.points[k]) * 0.5f;
        SweepHitRecord hit;
        benchmark::DoNotOptimize(SweepCollisionBody(&body, &motion, &hit));
    });
}

// Every object's triangles and grid made afresh (the grid is dropped first, as for an object whose
// shape changed), then the global grid.
void BuildGrids(benchmark::State& state) {
    Terrain& t = World();
    for (auto _ : state) {
        for (auto& o : t.objects) {
            o->FreeGrid();
            o->UpdateCollision();
        }
        benchmark::DoNotOptimize(BuildCollideGrid());
    }
}

// Every object moved (half a unit along x and back, turn unchanged) and its collision updated: a
// rigid object that only moves keeps its grid's lists.
void BuildGridsMoved(benchmark::State& state) {
    Terrain& t = World();
    float step = 0.5f;
    for (auto _ : state) {
        for (auto& o : t.objects) {
            o->mesh->Position->x += step;
            o->UpdateCollision();
        }
        step = -step;
        benchmark::DoNotOptimize(BuildCollideGrid());
    }
    if (step < 0.0f) {
        for (auto& o : t.objects) {
            o->mesh->Position->x -= 0.5f;
            o->UpdateCollision();
        }
    }
}

BENCHMARK_TEMPLATE(FloorProbe, true)->Name("FloorProbe/grid");
BENCHMARK_TEMPLATE(FloorProbe, false)->Name("FloorProbe/plain");
BENCHMARK_TEMPLATE(Sphere, true)->Name("Sphere/grid");
BENCHMARK_TEMPLATE(Sphere, false)->Name("Sphere/plain");
BENCHMARK_TEMPLATE(Segment, true)->Name("Segment/grid");
BENCHMARK_TEMPLATE(Segment, false)->Name("Segment/plain");
BENCHMARK(SegmentNearest);
BENCHMARK(GroundHeight);
BENCHMARK(Sweep);
BENCHMARK(BuildGrids)->Unit(benchmark::kMillisecond);
BENCHMARK(BuildGridsMoved)->Name("BuildGrids/moved")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
