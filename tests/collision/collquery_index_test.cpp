// The characters' index of the collision queries against the plain walk over every registered
// character: random crowds that move between queries, each query run both ways from the same
// flags, with the same hits in the same order, the same in-box flags and the same answers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "collision/collquery.h"
#include "collision_fixture.h"

namespace {

// A character: a box of side s (its top facing up, its bottom facing down, two walls) at (x, y, z).
std::vector<CollisionTri> Crate(float x, float y, float z, float s, uint32_t type) {
    std::vector<CollisionTri> t = Square(x, z, x + s, z + s, y + s, type);
    for (const CollisionTri& b : Square(x, z, x + s, z + s, y, type, false)) t.push_back(b);
    for (const CollisionTri& w : WallX(x, z, z + s, y, y + s, false, type)) t.push_back(w);
    for (const CollisionTri& w : WallZ(z + s, x, x + s, y, y + s, true, type)) t.push_back(w);
    return t;
}

struct Outcome {
    std::vector<CollisionHit> hits;
    std::vector<uint32_t> flags;  // of every character, in registry order
    std::vector<float> answers;
};

::testing::AssertionResult Same(const Outcome& a, const Outcome& b) {
    if (a.hits.size() != b.hits.size())
        return ::testing::AssertionFailure() << a.hits.size() << " hits against " << b.hits.size();
    for (size_t i = 0; i < a.hits.size(); ++i) {
        if (std::memcmp(&a.hits[i], &b.hits[i], sizeof(CollisionHit)) != 0)
            return ::testing::AssertionFailure() << "hit " << i << " differs";
    }
    for (size_t i = 0; i < a.flags.size(); ++i) {
        if (a.flags[i] != b.flags[i])
            return ::testing::AssertionFailure() << "character " << i << " in-box " << a.flags[i] << " against "
                                                 << b.flags[i];
    }
    if (a.answers.size() != b.answers.size() ||
        (!a.answers.empty() && std::memcmp(a.answers.data(), b.answers.data(), a.answers.size() * sizeof(float)) != 0))
        return ::testing::AssertionFailure() << "another answer";
    return ::testing::AssertionSuccess();
}

template <class Query>
Outcome Run(bool indexed, const Query& query) {
    CharacterIndexEnabled = indexed;
    Outcome out;
    query(out.answers);
    out.hits.assign(CollisionHits, CollisionHits + CollisionHitCount);
    for (int32_t i = 0; i < EntityRegistry.count; ++i)
        out.flags.push_back(static_cast<NztCollideObject*>(EntityRegistry.objects[i])->inBox);
    CharacterIndexEnabled = true;
    return out;
}

// The query through the index, the flags put back, then the plain walk.
template <class Query>
::testing::AssertionResult BothWays(const Query& query) {
    std::vector<uint32_t> before;
    for (int32_t i = 0; i < EntityRegistry.count; ++i)
        before.push_back(static_cast<NztCollideObject*>(EntityRegistry.objects[i])->inBox);
    const Outcome indexed = Run(true, query);
    for (int32_t i = 0; i < EntityRegistry.count; ++i)
        static_cast<NztCollideObject*>(EntityRegistry.objects[i])->inBox = before[size_t(i)];
    const Outcome plain = Run(false, query);
    return Same(indexed, plain);
}

TEST(CollQueryIndex, RandomCrowdsGiveThePlainWalksHitsFlagsAndAnswers) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        auto in = [&](float lo, float hi) { return lo + (hi - lo) * unit(rng); };
        CollisionWorld world;
        world.AddScn(Square(-50, -50, 150, 150, 0, 1));
        world.AddScn(Square(20, 20, 60, 60, 0.5f, HitTypeWater));
        const int count = 40 + static_cast<int>(seed) * 40;
        std::vector<NztEntity*> crowd;
        for (int i = 0; i < count; ++i) {
            // Most in a square of side 100, a few far out; sizes from a splinter to a house.
            const bool far = i % 23 == 0;
            const float s = i % 17 == 0 ? in(8.0f, 30.0f) : in(0.05f, 2.5f);
            const float x = far ? in(3000.0f, 9000.0f) : in(0.0f, 100.0f);
            const float z = far ? in(-9000.0f, -3000.0f) : in(0.0f, 100.0f);
            const uint32_t type = i % 11 == 0 ? HitTypeWater : (i % 13 == 0 ? HitTypeTouch : 1);
            crowd.push_back(world.AddEntity(Crate(x, in(0.0f, 4.0f), z, s, type)));
        }
        world.Build();
        for (int round = 0; round < 30; ++round) {
            SCOPED_TRACE(round);
            // Some of the crowd moves, some far, through the collision update as characters do.
            for (int m = 0; m < count / 4; ++m) {
                NztEntity* e = crowd[rng() % crowd.size()];
                const float reach = round % 7 == 6 ? 600.0f : 6.0f;
                *e->mesh->Position = {in(-reach, reach), in(-1.0f, 1.0f), in(-reach, reach)};
                e->UpdateCollision();
            }
            crowd[rng() % crowd.size()]->hasCollision = round % 3 == 0 ? 0 : 1;
            NztEntity* asker = round % 2 == 0 ? crowd[rng() % crowd.size()] : nullptr;
            if (round % 5 == 4) crowd[rng() % crowd.size()]->parent = asker;
            if (round == 20) {
                // Characters leave the registry: the last ones drop off its end.
                EntityRegistry.count -= 5;
            }
            for (int q = 0; q < 12; ++q) {
                const Vec3 p{in(-10.0f, 110.0f), in(-2.0f, 8.0f), in(-10.0f, 110.0f)};
                const Vec3 p2{p.x + in(-30.0f, 30.0f), p.y + in(-5.0f, 5.0f), p.z + in(-30.0f, 30.0f)};
                const float r = in(0.1f, 3.0f);
                EXPECT_TRUE(BothWays([&](std::vector<float>& a) {
                    float floor = 0.0f, surface = 0.0f;
                    StandingProbe probe;
                    a.push_back(float(FindStandingSurface(p, 1.0f, -5.0f, &floor, &surface, &probe, asker)));
                    a.insert(a.end(), {floor, surface, probe.normal[1]});
                }));
                EXPECT_TRUE(BothWays([&](std::vector<float>& a) { a.push_back(CeilingAbove(p, 20.0f, asker)); }));
                EXPECT_TRUE(BothWays([&](std::vector<float>& a) {
                    CollideSegment(p, p2, asker);
                    Vec3 at{0.0f, 0.0f, 0.0f};
                    a.push_back(float(CollideSegmentNearest(p, p2, &at)));
                    a.insert(a.end(), {at.x, at.y, at.z});
                }));
                EXPECT_TRUE(BothWays([&](std::vector<float>& a) {
                    CollisionBody body;
                    body.centre = {p.x, p.y + 1.0f, p.z};
                    body.radius = r;
                    Vec3 motion = (p2 - p) * 0.3f;
                    SweepHitRecord hit;
                    a.push_back(float(SweepCollisionBody(&body, &motion, &hit, asker)));
                    a.insert(a.end(), {body.centre.x, body.centre.y, body.centre.z, motion.x, motion.z});
                }));
            }
        }
        for (NztEntity* e : crowd) e->parent = nullptr;
    }
}

// Queries the index cannot bound (ends that are not numbers) and characters with boxes that are
// not finite still agree with the plain walk.
TEST(CollQueryIndex, BoxesAndQueriesThatAreNotFiniteAgreeWithThePlainWalk) {
    CollisionWorld world;
    NztEntity* near = world.AddEntity(Crate(0, 0, 0, 2, 1));
    NztEntity* odd = world.AddEntity(Crate(50, 0, 50, 2, 1));
    world.Build();
    *odd->mesh->Position = {std::nanf(""), 0.0f, 0.0f};
    odd->UpdateCollision();
    const float inf = std::numeric_limits<float>::infinity();
    for (const Vec3& p : {Vec3{1, 5, 1}, Vec3{51, 5, 51}, Vec3{inf, 5, 1}, Vec3{std::nanf(""), 5, 1}}) {
        EXPECT_TRUE(BothWays([&](std::vector<float>&) {
            CollisionBody body;
            body.centre = p;
            body.radius = 1.0f;
            CollideSphere(&body, nullptr);
        }));
        EXPECT_TRUE(BothWays([&](std::vector<float>&) { CollideSegment(p, Vec3{1, -5, 1}, nullptr); }));
        EXPECT_TRUE(BothWays([&](std::vector<float>& a) { a.push_back(FloorBelow(p, 50.0f, nullptr)); }));
    }
    EXPECT_NE(near, nullptr);
}

// A character carried far away keeps no stale in-box flag and is found where it went.
TEST(CollQueryIndex, ACharacterThatMovedIsFoundWhereItWentAndClearedWhereItWas) {
    CollisionWorld world;
    NztEntity* mover = world.AddEntity(Crate(0, 0, 0, 2, 1));
    world.AddEntity(Crate(10, 0, 10, 2, 1));
    world.Build();
    CollideFloorProbe({0.5f, 10, 0.7f}, nullptr);
    ASSERT_EQ(CollisionHitCount, 1u);
    EXPECT_EQ(mover->inBox, 1u);
    *mover->mesh->Position = {5000.0f, 0.0f, 5000.0f};
    mover->UpdateCollision();
    CollideFloorProbe({10.5f, 10, 10.7f}, nullptr);
    EXPECT_EQ(mover->inBox, 0u);
    CollideFloorProbe({0.5f, 10, 0.7f}, nullptr);
    EXPECT_EQ(CollisionHitCount, 0u);
    CollideFloorProbe({5000.5f, 10, 5000.7f}, nullptr);
    ASSERT_EQ(CollisionHitCount, 1u);
    EXPECT_EQ(CollisionHits[0].object, mover);
}

}  // namespace
