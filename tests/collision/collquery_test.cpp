#include "collision/collquery.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "collision_fixture.h"
#include "effects/dynobject.h"

namespace {

std::vector<CollisionTri> Join(std::initializer_list<std::vector<CollisionTri>> parts) {
    std::vector<CollisionTri> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Floors over x, z 0..10: solid at 0, a touch surface at 2, a type-0 surface at 3, water at 5,
// solid at 20; ceilings at 30 and 50. Probes stand at x 3, z 4 (off the squares' diagonals).
std::vector<CollisionTri> Storeys() {
    return Join({Square(0, 0, 10, 10, 0, 1), Square(0, 0, 10, 10, 2, HitTypeTouch),
                 Square(0, 0, 10, 10, 3, 0), Square(0, 0, 10, 10, 5, HitTypeWater),
                 Square(0, 0, 10, 10, 20, 1), Square(0, 0, 10, 10, 30, 1, false),
                 Square(0, 0, 10, 10, 50, 1, false)});
}

TEST(CollQuery, GroundHeightPicksFloorAndWater) {
    CollisionWorld world;
    NztScnObject* o = world.AddScn(Storeys(), 4.0f);
    world.Build();
    struct Case {
        float y, step;
        float floor, surface;
        uint32_t result;
        uint32_t floorType;
    };
    const Case cases[] = {
        {1, 1, 0, 5, 1, 1},        // floor below; water above, none below: the water
        {1, 2, 2, 5, 1, 8},        // within a step above, the touch surface is the floor
        {6, 1, 2, 5, 1, 8},        // water below lies above the floor
        {19.5f, 1, 20, 20, 0, 1},  // the upper floor, water far below it
        {25, 1, 20, 20, 0, 1},    {-10, 1, -77, 5, 1, 0},  // nothing solid in reach: the default floor
    };
    for (const Case& c : cases) {
        float floor = 0, surface = 0;
        EXPECT_EQ(GroundHeightAt({3, c.y, 4}, c.step, -77, &floor, &surface), c.result) << c.y;
        EXPECT_FLOAT_EQ(floor, c.floor) << c.y;
        EXPECT_FLOAT_EQ(surface, c.surface) << c.y;
        StandingProbe probe;
        probe.hitType = 99;
        EXPECT_EQ(FindStandingSurface({3, c.y, 4}, c.step, -77, &floor, &surface, &probe, nullptr), c.result);
        EXPECT_EQ(probe.hitType, c.floorType) << c.y;
        EXPECT_EQ(probe.object, c.floorType != 0 ? static_cast<NztBase3D*>(o) : nullptr) << c.y;
        EXPECT_EQ(probe.normal[1], c.floorType != 0 ? 1.0f : 0.0f) << c.y;
    }
}

TEST(CollQuery, GroundHeightWithALoneWaterHitOrNothing) {
    CollisionWorld world;
    world.AddScn(Square(0, 0, 10, 10, 5, HitTypeWater));
    world.Build();
    float floor = 0, surface = 0;
    EXPECT_EQ(GroundHeightAt({3, 100, 4}, 1, -77, &floor, &surface), 1u);
    EXPECT_EQ(floor, -4000000.0f);
    EXPECT_EQ(surface, 5.0f);
    EXPECT_EQ(GroundHeightAt({30, 100, 4}, 1, -77, &floor, &surface), 0u);
    EXPECT_EQ(floor, -77.0f);
    EXPECT_EQ(surface, -77.0f);
}

TEST(CollQuery, SingleAnswerProbes) {
    CollisionWorld world;
    world.AddScn(Storeys(), 4.0f);
    world.Build();
    struct Case {
        const char* name;
        float (*probe)(float y, float arg);
        float y, arg, expected;
    };
    const Case cases[] = {
        {"water above",
         [](float y, float r) {
             return WaterHeightAt({3, y, 4}, r, -77);
         },
         1, 10, 5},
        {"water below",
         [](float y, float r) {
             return WaterHeightAt({3, y, 4}, r, -77);
         },
         25, 10, 5},
        {"no water in reach",
         [](float y, float r) {
             return WaterHeightAt({3, y, 4}, r, -77);
         },
         -20, 10, -77},
        {"solid above",
         [](float y, float r) {
             return NearestSurface({3, y, 4}, r, -77);
         },
         1, 10, 2},
        {"solid below",
         [](float y, float r) {
             return NearestSurface({3, y, 4}, r, -77);
         },
         25, 10, 20},
        {"no solid in reach",
         [](float y, float r) {
             return NearestSurface({3, y, 4}, r, -77);
         },
         -20, 10, -77},
        {"floor within height",
         [](float y, float h) {
             return CeilingWithinHeight({3, y, 4}, h);
         },
         1, 10, 2},
        {"none within height",
         [](float y, float h) {
             return CeilingWithinHeight({3, y, 4}, h);
         },
         1, 0.5f, 40001},
        {"floor below",
         [](float y, float d) {
             return FloorBelow({3, y, 4}, d);
         },
         10, 100, 2},
        {"none below",
         [](float y, float d) {
             return FloorBelow({3, y, 4}, d);
         },
         1, 0.5f, -39999},
        {"ceiling above",
         [](float y, float h) {
             return CeilingAbove({3, y, 4}, h);
         },
         1, 40, 30},
        {"no ceiling within",
         [](float y, float h) {
             return CeilingAbove({3, y, 4}, h);
         },
         1, 10, 40001},
    };
    for (const Case& c : cases) EXPECT_EQ(c.probe(c.y, c.arg), c.expected) << c.name;

    // A lone hit answers wherever it lies, unless the probe ignores its type.
    CollisionWorld lone;
    lone.AddScn(Square(0, 0, 10, 10, 100, 1));
    lone.Build();
    EXPECT_EQ(NearestSurface({3, 0, 4}, 10, -77), 100.0f);
    EXPECT_EQ(FloorBelow({3, 0, 4}, 10), 100.0f);
    EXPECT_EQ(WaterHeightAt({3, 0, 4}, 10, -77), -77.0f);
}

TEST(CollQuery, VerticalProbesSeeNeitherStandingTrianglesNorTypeZero) {
    CollisionWorld world;
    world.AddScn(
        Join({WallX(5, 0, 10, 0, 10, true), Square(0, 0, 10, 10, 3, 0), Square(0, 0, 10, 10, 8, 0, false)}));
    world.Build();
    for (const Vec3& p : {Vec3{5, 5, 4}, Vec3{4.9f, 5, 4}, Vec3{3, 5, 4}}) {
        CollideFloorProbe(p, nullptr);
        EXPECT_EQ(CollisionHitCount, 0u);
        CollideCeilingProbe(p, nullptr);
        EXPECT_EQ(CollisionHitCount, 0u);
    }
}

TEST(CollQuery, WhoTakesPartInAQuery) {
    struct Case {
        const char* name;
        int asker;            // 0 none, 1 the character, 2 the scene object
        int link;             // 0 none, 1 scene object hangs on the character, 2 the reverse
        uint32_t registered;  // of the scene object
        std::vector<float> heights;
    };
    const Case cases[] = {
        {"everyone", 0, 0, 1, {1, 2}},
        {"the asker is left out", 1, 0, 1, {1}},
        {"an unregistered scene object is left out", 0, 0, 0, {2}},
        {"what hangs on the asker is left out", 1, 1, 1, {}},
        {"what the asker hangs on is left out", 1, 2, 1, {}},
        {"links count only with an asker", 0, 1, 1, {1, 2}},
        {"the asker may be the scene object", 2, 0, 1, {2}},
    };
    for (const Case& c : cases) {
        CollisionWorld world;
        NztScnObject* scn = world.AddScn(Square(0, 0, 10, 10, 1, 1));
        NztEntity* entity = world.AddEntity(Square(0, 0, 10, 10, 2, 1));
        world.Build();
        scn->registered = c.registered;
        entity->registered = 0;  // characters are taken from the registry whatever their flag
        if (c.link == 1) scn->parent = entity;
        if (c.link == 2) entity->parent = scn;
        NztBase3D* asker = c.asker == 1 ? static_cast<NztBase3D*>(entity) : c.asker == 2 ? scn : nullptr;
        CollideFloorProbe({3, 0, 4}, asker);
        std::vector<float> heights;
        for (uint32_t i = 0; i < CollisionHitCount; ++i) heights.push_back(CollisionHits[i].height);
        EXPECT_EQ(heights, c.heights) << c.name;
    }
}

TEST(CollQuery, OutsideEveryGlobalCellOnlyCharactersAreTested) {
    CollisionWorld world;
    world.AddScn(Square(0, 0, 10, 10, 1, 1));
    NztEntity* far = world.AddEntity(Square(100, 100, 110, 110, 3, 1));
    world.Build();
    CollideFloorProbe({103, 10, 104}, nullptr);
    EXPECT_EQ(CurrentCollideCell, -1);
    ASSERT_EQ(CollisionHitCount, 1u);
    EXPECT_EQ(CollisionHits[0].object, far);
    EXPECT_EQ(CollisionHits[0].height, 3.0f);
    EXPECT_EQ(far->inBox, 1u);
    CollideFloorProbe({3, 10, 4}, nullptr);
    ASSERT_EQ(CollisionHitCount, 1u);
    EXPECT_EQ(CollisionHits[0].height, 1.0f);
    EXPECT_EQ(far->inBox, 0u);
}

TEST(CollQuery, TheHitBufferKeepsTheFirst1024) {
    std::vector<CollisionTri> stack;
    for (int i = 0; i < 1100; ++i)
        stack.push_back({{0, float(i), 0}, {0, float(i), 10}, {10, float(i), 0}, 1});
    CollisionWorld world;
    world.AddScn(stack, 4.0f);
    world.Build();
    CollideFloorProbe({2, 0, 3}, nullptr);
    EXPECT_EQ(CollisionHitCount, CollisionHitCapacity);
    EXPECT_FLOAT_EQ(CollisionHits[1023].height, 1023.0f);
}

TEST(CollQuery, SweepsWalkWholeDiametersOnly) {
    CollisionWorld world;  // nothing to hit
    struct Case {
        float radius, length, walked;
    };
    const Case cases[] = {
        {1, 2, 2},                                  // exactly the diameter: one slide
        {1, 3, 2},                                  // one slide of a diameter, the rest is dropped
        {1, 5, 4}, {1, 0.5f, 0.5f}, {0, 100, 100},  // no radius: one slide of the whole motion
    };
    for (const Case& c : cases) {
        CollisionBody body;
        body.centre = {0, 0, 0};
        body.radius = c.radius;
        Vec3 motion{c.length, 0, 0};
        SweepHitRecord hit;
        hit.touchedType = 8;
        hit.hitType = 1;
        EXPECT_EQ(SweepCollisionBody(&body, &motion, &hit), 0u);
        EXPECT_FLOAT_EQ(motion.x, c.walked) << c.length;
        EXPECT_FLOAT_EQ(body.centre.x, c.walked) << c.length;
        EXPECT_EQ(hit.touchedType, 0u);
        EXPECT_EQ(hit.hitType, 0u);
    }
}

TEST(CollQuery, SlidesAlongWallsAndThroughTouchSurfaces) {
    CollisionWorld world;
    NztScnObject* walls = world.AddScn(Join({WallX(0, 0, 10, 0, 10, true), WallZ(0, 0, 10, 0, 10, true),
                                             WallX(8, 0, 10, 0, 10, false, HitTypeTouch)}));
    world.Build();

    // Into the corner: both components go in one slide.
    CollisionBody body;
    body.centre = {1.5f, 5, 1.5f};
    body.radius = 1;
    Vec3 motion{-1, 0, -1};
    SweepHitRecord hit;
    EXPECT_EQ(SlideStep(&body, &motion, &hit), 1u);
    EXPECT_NEAR(motion.x, 0.0f, 1e-6f);
    EXPECT_NEAR(motion.z, 0.0f, 1e-6f);
    EXPECT_NEAR(body.centre.x, 1.5f, 1e-6f);
    EXPECT_EQ(hit.object, walls);
    EXPECT_EQ(hit.normal.z, 1.0f);  // the last blocking wall

    // Along one wall: only the part into it goes.
    body.centre = {1.5f, 5, 5};
    motion = {-1, 0, 1};
    EXPECT_EQ(SlideStep(&body, &motion, &hit), 1u);
    EXPECT_NEAR(motion.x, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(body.centre.z, 6.0f);

    // A touch surface never stops the body but is reported.
    body.centre = {6.5f, 5, 5};
    motion = {1, 0, 0};
    SweepHitRecord touch;
    EXPECT_EQ(SweepCollisionBody(&body, &motion, &touch), 0u);
    EXPECT_FLOAT_EQ(body.centre.x, 7.5f);
    EXPECT_EQ(touch.touchedType, HitTypeTouch);
    EXPECT_EQ(touch.touchedObject, walls);
    EXPECT_EQ(touch.hitType, 0u);

    // Nothing touched at the end of the move: it stands.
    body.centre = {5, 5, 5};
    motion = {0.5f, 0, 0};
    EXPECT_EQ(SlideStep(&body, &motion, &hit), 0u);
    EXPECT_FLOAT_EQ(body.centre.x, 5.5f);
}

TEST(CollQuery, SlideInWaterSlowsAndFlagsStoppedAxes) {
    CollisionWorld world;
    world.AddScn(Square(0, 0, 10, 10, 0, HitTypeWater));
    world.Build();
    CollisionBody body;
    body.centre = {3, 1.5f, 4};
    body.radius = 1;
    Vec3 motion{0, -1, 0.05f};
    SweepHitRecord hit;
    float flags[3] = {0, 0, 0};
    EXPECT_EQ(SlideStepInWater(&body, &motion, &hit, flags), HitTypeWater);
    EXPECT_FLOAT_EQ(motion.y, 0.0f);
    EXPECT_FLOAT_EQ(motion.z, 0.045f);
    // x did not move; y was stopped; z still moves but by no more than 0.1.
    EXPECT_EQ(flags[0], 1.0f);
    EXPECT_EQ(flags[1], -1.0f);
    EXPECT_EQ(flags[2], -1.0f);
    // The dry slide passes through water.
    body.centre = {3, 1.5f, 4};
    motion = {0, -1, 0};
    EXPECT_EQ(SlideStep(&body, &motion, &hit), 0u);
    EXPECT_FLOAT_EQ(body.centre.y, 0.5f);
}

TEST(CollQuery, WallAhead) {
    CollisionWorld world;
    // The floor gives the global grid its extent: a body outside every cell would meet nothing.
    NztScnObject* wall = world.AddScn(Join({Square(0, 0, 10, 10, 0, 1), WallX(5, 0, 10, 0, 10, false)}));
    world.Build();
    struct Case {
        Vec3 motion;
        uint32_t filter;
        bool found;
        float centreAfter;
    };
    const Case cases[] = {
        {{1, 0, 0}, 0, true, 3.5f},                                 // heading into it: found, the body stays
        {{1, 0, 0}, 1, true, 3.5f},   {{1, 0, 0}, 8, false, 3.5f},  // another type
        {{-1, 0, 0}, 0, false, 2.5f},  // away from it: nothing touched, the move stands
        {{0, 0, 0}, 0, false, 3.5f},
    };
    for (const Case& c : cases) {
        CollisionBody body;
        body.centre = {3.5f, 5, 5};
        body.radius = 1;
        Vec3 normal{0, 0, 0};
        EXPECT_EQ(FindWallAhead(&body, c.motion, c.filter, &normal), c.found ? wall : nullptr) << c.motion.x;
        EXPECT_FLOAT_EQ(body.centre.x, c.centreAfter);
        if (c.found) {
            EXPECT_EQ(normal.x, -1.0f);
        }
    }
}

TEST(CollQuery, NearestSegmentCrossing) {
    CollisionWorld world;
    world.AddScn(Join({Square(0, 0, 10, 10, 0, 1), WallX(5, 0, 10, 0, 10, false),
                       WallX(6, 0, 10, 0, 10, false, HitTypeWater), WallX(8, 0, 10, 0, 10, false, 7)}));
    world.Build();
    Vec3 point{-1, -1, -1};
    CollideSegment({1, 5, 4}, {9, 5, 4}, nullptr);
    EXPECT_EQ(CollisionHitCount, 3u);
    EXPECT_EQ(CollideSegmentNearest({1, 5, 4}, {9, 5, 4}, &point), 1u);
    EXPECT_FLOAT_EQ(point.x, 5.0f);
    EXPECT_EQ(CollideSegmentNearest({9, 5, 4}, {1, 5, 4}, &point), 7u);
    EXPECT_FLOAT_EQ(point.x, 8.0f);

    // Nothing gathered far away: nothing nearest.
    CollideSegment({100, 5, 100}, {110, 5, 100}, nullptr);
    ASSERT_EQ(CollisionHitCount, 0u);
    point = {-1, -1, -1};
    EXPECT_EQ(CollideSegmentNearest({100, 5, 100}, {110, 5, 100}, &point), 0u);
    EXPECT_EQ(point.x, -1.0f);
}

TEST(CollQuery, TiltFollowsTheSurfaceOfItsKind) {
    // A ramp rising one in one along z.
    auto ramp = [](uint32_t type) {
        return std::vector<CollisionTri>{{{0, 0, 0}, {0, 20, 20}, {20, 0, 0}, type},
                                         {{20, 0, 0}, {0, 20, 20}, {20, 20, 20}, type}};
    };
    struct Case {
        uint32_t type;
        int32_t surfacePitch, groundPitch;
    };
    for (const Case& c : {Case{1, 512, 0}, Case{HitTypeWater, 0, 512}}) {
        CollisionWorld world;
        world.AddScn(ramp(c.type), 4.0f);
        world.Build();
        NztDynObject object;
        const float p[3] = {7, 9, 9};
        std::copy(p, p + 3, object.Position);
        int32_t pitch = -1, roll = -1;
        EXPECT_EQ(ComputeSurfaceTilt(&object, &pitch, &roll), 1u);
        EXPECT_EQ(pitch, c.surfacePitch) << c.type;
        EXPECT_EQ(roll, 0);
        EXPECT_EQ(ComputeGroundTilt(&object, &pitch, &roll), 1u);
        EXPECT_EQ(pitch, c.groundPitch) << c.type;
        EXPECT_EQ(roll, 0);
    }
}

TEST(CollQuery, TiltIgnoresTheObjectsOwnTriangles) {
    // A character whose own collision mesh is a ramp, standing on flat ground.
    CollisionWorld world;
    world.AddScn(Square(0, 0, 20, 20, 0, 1));
    NztEntity* character = world.AddEntity(
        {{{0, 0, 0}, {0, 20, 20}, {20, 0, 0}, 1}, {{20, 0, 0}, {0, 20, 20}, {20, 20, 20}, 1}});
    world.Build();
    const float p[3] = {7, 9, 9};
    std::copy(p, p + 3, character->Position);
    int32_t pitch = -1, roll = -1;
    ComputeSurfaceTilt(character, &pitch, &roll);
    EXPECT_EQ(pitch, 0);
    EXPECT_EQ(roll, 0);
}

// The grid-driven gatherings against the rules, on a random world: hits, their order and every
// object's in-box flag. Queries of every size, those that reach beyond a cell's 10.0 margin (where
// the first cell that passes decides what is seen) among them, and points outside every cell.
TEST(CollQuery, GridsGatherWhatTheRulesGather) {
    std::mt19937 rng(1234);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    const uint32_t types[] = {1, 1, 1, 2, HitTypeWater, HitTypeTouch, 0};
    CollisionWorld world;
    auto cluster = [&](float cx, float cz, int count) {
        std::vector<CollisionTri> tris;
        const float cy = uniform(0, 20);
        for (int t = 0; t < count; ++t) {
            auto vertex = [&] {
                return Vec3{cx + uniform(-15, 15), cy + uniform(-5, 5), cz + uniform(-15, 15)};
            };
            tris.push_back({vertex(), vertex(), vertex(), types[rng() % 7]});
        }
        return tris;
    };
    std::vector<NztScnObject*> scenery;
    for (int i = 0; i < 20; ++i)
        scenery.push_back(world.AddScn(cluster(uniform(0, 200), uniform(0, 200), 150), float(1 + i % 4)));
    for (int i = 0; i < 3; ++i) world.AddEntity(cluster(uniform(0, 200), uniform(0, 200), 50));
    // One scene object out of the registries: no query sees it.
    scenery[5]->registered = 0;
    ASSERT_EQ(world.Build(), 25u);
    const rules::Grids grids = rules::MakeGrids();

    size_t gathered = 0;
    for (int q = 0; q < 3000; ++q) {
        rules::Ask ask;
        ask.query = static_cast<rules::Query>(q % 4);
        ask.a = {uniform(-20, 220), uniform(-5, 25), uniform(-20, 220)};
        const bool large = q % 16 >= 12;
        ask.radius = large ? uniform(8, 25) : uniform(0.5f, 4);
        const float reach = large ? 40.0f : 4.0f;
        ask.b = {ask.a.x + uniform(-reach, reach), uniform(-5, 25), ask.a.z + uniform(-reach, reach)};
        ASSERT_TRUE(rules::EngineFollowsTheRules(ask, grids)) << "query " << q;
        gathered += CollisionHitCount;
    }
    EXPECT_GT(gathered, 1000u);
}

// Spheres pass over the triangles whose box lies clear of theirs before the exact test; those
// grazing a triangle, whose radius is the distance to it give or take rounding, must still be
// gathered as the rules (and the plain walk) gather them, near the origin and far from it.
TEST(CollQuery, SpheresGrazingTrianglesGatherWhatTheRulesGather) {
    std::mt19937 rng(2718);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    CollisionWorld world;
    std::vector<CollisionTri> all;
    for (const Vec3 centre : {Vec3{30, 0, 30}, Vec3{80, 5, 20}, Vec3{-3000, 40, 5000}}) {
        std::vector<CollisionTri> tris;
        for (int t = 0; t < 150; ++t) {
            auto vertex = [&] { return centre + Vec3{uniform(-15, 15), uniform(-5, 5), uniform(-15, 15)}; };
            tris.push_back({vertex(), vertex(), vertex(), t % 5 == 0 ? HitTypeTouch : 1u});
        }
        world.AddScn(tris, 1.0f);
        all.insert(all.end(), tris.begin(), tris.end());
    }
    // A floor far below spreads the global grid over every sphere.
    world.AddScn(Square(-3100, -100, 200, 5100, -100, 1));
    world.Build();
    const rules::Grids grids = rules::MakeGrids();
    auto snapshot = [] {
        std::vector<std::pair<const void*, Vec3>> hits;
        for (uint32_t i = 0; i < CollisionHitCount; ++i) hits.push_back({CollisionHits[i].object, CollisionHits[i].v[0]});
        return hits;
    };
    auto same = [](const std::vector<std::pair<const void*, Vec3>>& a, const std::vector<std::pair<const void*, Vec3>>& b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].first != b[i].first || std::memcmp(&a[i].second, &b[i].second, sizeof(Vec3)) != 0) return false;
        return true;
    };
    size_t gathered = 0;
    for (int q = 0; q < 6000; ++q) {
        const CollisionTri& t = all[rng() % all.size()];
        CollisionBody body;
        // Within 3.5 of the triangle (short enough for the 10.0 cell margin); every other sphere
        // straight out from the corner of least x, where the gap between the boxes is the distance.
        body.centre = t.a + Vec3{uniform(-2, 2), uniform(-2, 2), uniform(-2, 2)};
        if (q % 12 < 6) {
            const Vec3 least = t.a.x <= t.b.x && t.a.x <= t.c.x ? t.a : t.b.x <= t.c.x ? t.b : t.c;
            body.centre = least - Vec3{uniform(0.01f, 3), 0, 0};
        }
        // The least radius that touches the triangle, to the last bit.
        float below = 0.0f, touching = 60.0f;
        while (std::nextafter(below, touching) < touching) {
            const float mid = below + 0.5f * (touching - below);
            const float r = mid > below && mid < touching ? mid : std::nextafter(below, touching);
            (SphereTouchesTriangle(t.a, t.b, t.c, body.centre, r) ? touching : below) = r;
        }
        const float radii[] = {touching, below, std::nextafter(touching, 100.0f), 1.001f * touching, 0.999f * touching,
                               0.5f * touching};
        body.radius = radii[q % 6];
        CollideSphere(&body, nullptr);
        const auto fast = snapshot();
        CollideSphereReference(&body, nullptr);
        ASSERT_TRUE(same(fast, snapshot())) << "query " << q << ", radius " << body.radius;
        ASSERT_TRUE(rules::EngineFollowsTheRules({rules::Query::Sphere, body.centre, {}, body.radius}, grids))
            << "query " << q << ", radius " << body.radius;
        gathered += fast.size();
    }
    EXPECT_GT(gathered, 3000u);
}

// A triangle with a corner that is not a number is left to the exact test by the sphere's quick
// way out, as the rules and the plain walk leave it: one answer whichever way the query goes.
TEST(CollQuery, ATriangleWithACornerThatIsNotANumberIsLeftToTheExactTest) {
    const float nan = std::nanf("");
    const Vec3 a{0, 0, 0}, b{nan, 0, 5}, c{10, 0, 0};
    CollisionWorld world;
    world.AddScn({{a, b, c, 1}, {{0, -1, 0}, {0, -1, 1}, {1, -1, 0}, 1}});
    // A floor far below spreads the global grid over every sphere.
    world.AddScn(Square(-50, -50, 60, 60, -40, 1));
    world.Build();
    const rules::Grids grids = rules::MakeGrids();
    struct Case {
        Vec3 centre;
        float radius;
    };
    const Case cases[] = {
        {{10.5f, 0, 0}, 1.0f}, {{5, 0.5f, 0}, 1.0f}, {{30, 0, 0}, 1.0f}, {{-3, 0, 0}, 2.0f}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.centre.x);
        CollisionBody body;
        body.centre = k.centre;
        body.radius = k.radius;
        CollideSphereReference(&body, nullptr);
        const uint32_t plain = CollisionHitCount;
        EXPECT_EQ(plain, SphereTouchesTriangle(a, b, c, k.centre, k.radius) ? 1u : 0u);
        CollideSphere(&body, nullptr);
        EXPECT_EQ(CollisionHitCount, plain);
        EXPECT_TRUE(rules::EngineFollowsTheRules({rules::Query::Sphere, k.centre, {}, k.radius}, grids));
    }
}

// Objects that keep still answer vertical probes from shorter lists of their cells; those lists
// must leave out only what the cell's own list would not give. Ground of rough quads, clusters of
// random triangles with slivers, needles and collinear corners among them, tiny floors just past a
// cell border, a far-off object and a triangle that is not a number are probed (after enough
// probes for the lists to be made) at random points, at points on the lines of the slivers' sides,
// where the edge functions round, and on the tiny floors; then again after a move, a change of
// shape and a change of surface type. The answers are those of the plain walk and of the rules.
TEST(CollQuery, ShortListsOfObjectsKeptStillGatherWhatTheRulesGather) {
    std::mt19937 rng(977);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    CollisionWorld world;
    std::vector<NztScnObject*> objects;
    std::vector<CollisionTri> ground;
    for (int x = 0; x < 12; ++x) {
        for (int z = 0; z < 12; ++z) {
            auto corner = [&](int i, int k) { return Vec3{i * 5.0f, uniform(0, 3), k * 5.0f}; };
            const Vec3 a = corner(x, z), b = corner(x, z + 1), c = corner(x + 1, z), d = corner(x + 1, z + 1);
            ground.push_back({a, b, c, 1});
            ground.push_back({c, b, d, (x + z) % 5 == 0 ? HitTypeWater : 1u});
        }
    }
    objects.push_back(world.AddScn(ground));
    std::vector<CollisionTri> slivers;
    auto cluster = [&](float cx, float cz, float spread) {
        std::vector<CollisionTri> tris;
        for (int t = 0; t < 120; ++t) {
            auto vertex = [&] { return Vec3{cx + uniform(-spread, spread), uniform(-5, 15), cz + uniform(-spread, spread)}; };
            CollisionTri tri{vertex(), vertex(), vertex(), t % 7 == 0 ? HitTypeWater : 1u};
            switch (t % 6) {
                case 0:  // the third corner on the line of the first two, give or take rounding
                    tri.c = tri.a + (tri.b - tri.a) * uniform(-1.5f, 2.5f);
                    break;
                case 1:  // level, its third corner on its long side up to rounding
                    tri.b.y = tri.a.y;
                    tri.c = tri.a + (tri.b - tri.a) * uniform(0.2f, 0.8f);
                    tri.c.y = tri.a.y;
                    break;
                case 2:  // tiny
                    tri.b = tri.a + Vec3{uniform(-0.05f, 0.05f), 0.0f, uniform(-0.05f, 0.05f)};
                    tri.c = tri.a + Vec3{uniform(-0.05f, 0.05f), 0.1f, uniform(-0.05f, 0.05f)};
                    break;
                default:
                    break;
            }
            if (t % 6 <= 1) slivers.push_back(tri);
            tris.push_back(tri);
        }
        return tris;
    };
    for (int i = 0; i < 6; ++i) objects.push_back(world.AddScn(cluster(uniform(0, 60), uniform(0, 60), 12), float(1 + i % 3)));
    // Far from the origin, where single precision is coarse.
    objects.push_back(world.AddScn(cluster(250000.0f, -130000.0f, 40)));
    std::vector<CollisionTri> odd = cluster(30, 30, 6);
    odd[3].b.x = std::nanf("");
    objects.push_back(world.AddScn(odd));
    // A level triangle with its corners in a line up to rounding, and a point on that line 3.5 past
    // it where its edge functions still round below zero: the plain walk gathers it there.
    const Vec3 lineUp{-3.33821774f, 5.0f, -5.0948658f};
    std::vector<CollisionTri> line = Square(-20, -20, 10, 10, -50, 1);
    line.push_back({{5.79914474f, 2, 5.21376038f}, {-0.196080819f, 2, -1.54995716f}, {2.73120046f, 2, 1.75255466f}, 1});
    objects.push_back(world.AddScn(line));
    // Floors of a hundredth of a unit just past a border between two cells, within the probes'
    // 0.1 of the earlier cell but well clear of its box: a probe there takes the earlier cell,
    // whose list holds them (they are within its 10.0), so its short list must too.
    std::vector<CollisionTri> chips = Square(100, 0, 140, 40, 0, 1);
    NztScnObject* chipped = world.AddScn(chips, 2.0f);  // cells of 5 x 5
    std::vector<Vec3> chipPoints;
    for (int i = 0; i < 8; ++i) {
        const float border = chipped->gridCells[0].boxMax.x + 5.0f * float(i % 4);
        const Vec3 p{border + 0.03f + 0.01f * float(i / 4), 1.0f, 2.3f + 4.0f * float(i)};
        chips.push_back({{p.x - 0.004f, 0.5f, p.z - 0.004f},
                         {p.x - 0.004f, 0.5f, p.z + 0.006f},
                         {p.x + 0.006f, 0.5f, p.z - 0.004f},
                         1});
        chipPoints.push_back(p);
    }
    world.Give(chipped, chips, 2.0f);
    world.Build();
    CollideFloorProbeReference(lineUp, nullptr);
    ASSERT_EQ(CollisionHitCount, 2u);

    auto snapshot = [] {
        std::vector<std::vector<float>> hits;
        for (uint32_t i = 0; i < CollisionHitCount; ++i) {
            const CollisionHit& h = CollisionHits[i];
            hits.push_back({float(reinterpret_cast<uintptr_t>(h.object) & 0xFFFFFF), h.height, h.v[0].x, h.v[1].y,
                            h.v[2].z, float(h.hitType)});
        }
        return hits;
    };
    auto randomPoint = [&] {
        if (rng() % 8 == 0) return Vec3{250000.0f + uniform(-45, 45), uniform(-10, 20), -130000.0f + uniform(-45, 45)};
        return Vec3{uniform(-5, 65), uniform(-10, 20), uniform(-5, 65)};
    };
    // On the line of a sliver's side, inside and beyond its ends.
    auto sliverPoint = [&] {
        const CollisionTri& t = slivers[rng() % slivers.size()];
        const Vec3 ends[3] = {t.a, t.b, t.c};
        const int i = int(rng() % 3);
        return ends[i] + (ends[(i + 1) % 3] - ends[i]) * uniform(-3, 4) + Vec3{0, uniform(-5, 5), 0};
    };
    size_t gathered = 0;
    auto agree = [&](int queries, const char* stage) {
        const rules::Grids grids = rules::MakeGrids();
        for (int q = 0; q < queries; ++q) {
            const Vec3 p = q % 100 == 0  ? lineUp
                           : q % 10 == 1 ? chipPoints[size_t(q / 10) % chipPoints.size()]
                           : q % 3 == 0  ? sliverPoint()
                                         : randomPoint();
            const bool floor = q % 2 == 0 || q % 10 == 1;
            if (floor) {
                CollideFloorProbe(p, nullptr);
            } else {
                CollideCeilingProbe(p, nullptr);
            }
            const auto fast = snapshot();
            if (floor) {
                CollideFloorProbeReference(p, nullptr);
            } else {
                CollideCeilingProbeReference(p, nullptr);
            }
            ASSERT_EQ(fast, snapshot()) << stage << ", query " << q << " at " << p.x << " " << p.y << " " << p.z;
            // The short lists are used once an object has answered enough probes unchanged.
            if ((q >= 4000 && q % 4 == 0) || q % 10 == 1) {
                ASSERT_TRUE(rules::EngineFollowsTheRules(
                    {floor ? rules::Query::Floor : rules::Query::Ceiling, p, {}, 0}, grids))
                    << stage << ", query " << q << " at " << p.x << " " << p.y << " " << p.z;
            }
            gathered += fast.size();
        }
    };
    agree(20000, "kept still");
    // A move and a change of shape: the lists made before must not be used.
    *objects[1]->mesh->Position = *objects[1]->mesh->Position + Vec3{3.0f, 0.5f, -2.0f};
    objects[1]->UpdateCollision();
    objects[0]->mesh->CollisionVertices[7].y += 4.0f;
    objects[0]->UpdateCollision();
    world.Build();
    agree(10000, "moved");
    // Another surface type on triangles that stay where they are.
    for (uint32_t& word : objects[0]->mesh->CollisionTriangleWords) word = word == 1u ? 2u : 0u;
    objects[0]->RefreshTriangles();
    agree(10000, "retyped");
    EXPECT_GT(gathered, 20000u);
}

// Objects that move keep their grids' lists; objects that turn are rebuilt. Either way every
// query answers as when each grid is made afresh.
TEST(CollQuery, MovedGridsAnswerAsRebuiltOnes) {
    std::mt19937 rng(4321);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    CollisionWorld world;
    std::vector<NztScnObject*> objects;
    for (int i = 0; i < 12; ++i) {
        std::vector<CollisionTri> tris;
        const float cx = uniform(0, 150), cz = uniform(0, 150), cy = uniform(0, 20);
        for (int t = 0; t < 120; ++t) {
            auto vertex = [&] { return Vec3{cx + uniform(-15, 15), cy + uniform(-5, 5), cz + uniform(-15, 15)}; };
            tris.push_back({vertex(), vertex(), vertex(), t % 9 == 0 ? HitTypeWater : 1u});
        }
        objects.push_back(world.AddScn(tris, float(1 + i % 3)));
    }
    world.Build();

    auto snapshot = [] {
        std::vector<std::vector<float>> hits;
        for (uint32_t i = 0; i < CollisionHitCount; ++i) {
            const CollisionHit& h = CollisionHits[i];
            hits.push_back({float(reinterpret_cast<uintptr_t>(h.object) & 0xFFFFFF), h.height, h.v[0].x, h.v[1].y,
                            h.v[2].z, h.normal.x, h.normal.y, h.normal.z, float(h.hitType)});
        }
        return hits;
    };
    // Floor probes and spheres over the whole area, each answer recorded.
    std::vector<Vec3> probes;
    for (int q = 0; q < 600; ++q) probes.push_back({uniform(-20, 190), uniform(-5, 25), uniform(-20, 190)});
    size_t gathered = 0;
    auto ask = [&] {
        std::vector<std::vector<std::vector<float>>> answers;
        for (size_t q = 0; q < probes.size(); ++q) {
            if (q % 2 == 0) {
                CollideFloorProbe(probes[q], nullptr);
            } else {
                CollisionBody body;
                body.centre = probes[q];
                body.radius = 3.0f;
                CollideSphere(&body, nullptr);
            }
            answers.push_back(snapshot());
            gathered += answers.back().size();
        }
        return answers;
    };

    for (int round = 0; round < 4; ++round) {
        std::vector<const CollisionCell*> before;
        for (size_t i = 0; i < objects.size(); ++i) {
            NztScnObject* o = objects[i];
            before.push_back(o->gridCells.data());
            *o->mesh->Position = *o->mesh->Position + Vec3{uniform(-6, 6), uniform(-2, 2), uniform(-6, 6)};
            if (round == 2 && i % 3 == 0) {
                // A quarter turn about y: the lists must be made again.
                const float turn[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
                std::copy(turn, turn + 9, o->mesh->Matrix);
            }
            o->UpdateCollision();
        }
        world.Build();
        // A moved object's cells are the very ones it had (a rebuild makes new ones).
        for (size_t i = 0; i < objects.size(); ++i) {
            if (round == 2 && i % 3 == 0) continue;
            EXPECT_EQ(objects[i]->gridCells.data(), before[i]) << "round " << round << ", object " << i;
        }
        const auto moved = ask();
        // Nothing changed since: the update keeps everything.
        const CollisionCell* kept = objects[0]->gridCells.data();
        objects[0]->UpdateCollision();
        EXPECT_EQ(objects[0]->gridCells.data(), kept);
        // Every grid made afresh answers the same.
        for (NztScnObject* o : objects) {
            o->FreeGrid();
            o->UpdateCollision();
        }
        world.Build();
        ASSERT_EQ(ask(), moved) << "round " << round;
    }
    EXPECT_GT(gathered, 1000u);
}

}  // namespace
