// Ropes: the particle and constraint pools, the Verlet step with its collision and relaxation
// passes (checked against the plain reference), links and anchors with their sharing and release,
// the coupling of anchors with objects and attach points, and the scene-file rope chunk.
#include "effects/rope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "character/entity.h"
#include "core/nztfile.h"
#include "datakit/rope.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/objtype.h"

namespace {

constexpr float kDt = 0.02f;
constexpr float kFallPerStep = 80.0f * kDt * kDt;  // first-step drop under gravity 80

// Horizontal collision planes standing in for the world: the segment query gathers the planes it
// spans, and the nearest query answers the crossing nearest to its start, ignoring water (3) and
// type 8, as the collision queries do.
struct Plane {
    float y;
    uint32_t type;
};
std::vector<Plane> gPlanes;
std::vector<Plane> gGathered;
int gSegmentQueries = 0;

void FakeCollideSegment(const float s[6], NztBase3D* asker) {
    EXPECT_EQ(asker, nullptr);  // nothing is excluded: the objects a rope hangs on collide too
    ++gSegmentQueries;
    gGathered.clear();
    const float lo = std::min(s[1], s[4]), hi = std::max(s[1], s[4]);
    for (const Plane& p : gPlanes)
        if (p.type != 0 && lo <= p.y && p.y <= hi) gGathered.push_back(p);
}

uint32_t FakeCollideSegmentNearest(const float start[3], const float end[3], float point[3]) {
    float best = 0.0f;
    for (int i = 0; i < 3; ++i) best += (end[i] - start[i]) * (end[i] - start[i]);
    uint32_t result = 0;
    for (const Plane& p : gGathered) {
        const float dy = end[1] - start[1];
        if (p.type == 3 || p.type == 8 || dy == 0.0f) continue;
        const float t = (p.y - start[1]) / dy;
        float q[3], d2 = 0.0f;
        for (int i = 0; i < 3; ++i) {
            q[i] = start[i] + t * (end[i] - start[i]);
            d2 += (q[i] - start[i]) * (q[i] - start[i]);
        }
        if (d2 < best) {
            best = d2;
            std::copy(q, q + 3, point);
            result = p.type;
        }
    }
    return result;
}

void FreeAllRopes() {
    FreeRopeLinks();
    FreeRopeAnchors();
    ResetRopePools();
}

void SetPlaySettings() {
    RopeSettings.gravity[0] = 0.0f;
    RopeSettings.gravity[1] = -80.0f;
    RopeSettings.gravity[2] = 0.0f;
    RopeSettings.iterationCount = 10;
}

std::unique_ptr<NztScnObject> MakeObject(float x, float y, float z, int32_t id = -1) {
    auto o = std::make_unique<NztScnObject>();
    o->Position[0] = x;
    o->Position[1] = y;
    o->Position[2] = z;
    o->id = id;
    return o;
}

const RopeParticle& ParticleOf(const RopeAnchor* anchor) {
    return RopeParticles[anchor->particle];
}

int32_t LiveParticles() {
    return static_cast<int32_t>(std::count_if(std::begin(RopeParticles), std::end(RopeParticles),
                                              [](const RopeParticle& p) { return p.state != 0; }));
}

int32_t LiveConstraints() {
    return static_cast<int32_t>(std::count_if(std::begin(RopeConstraints), std::end(RopeConstraints),
                                              [](const RopeConstraint& c) { return c.inUse != 0; }));
}

void ExpectAt(const float* got, float x, float y, float z, float tolerance = 1e-4f) {
    EXPECT_NEAR(got[0], x, tolerance);
    EXPECT_NEAR(got[1], y, tolerance);
    EXPECT_NEAR(got[2], z, tolerance);
}

class RopeTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedTiming_ = FrameTiming;
        FrameTiming.frameTime = kDt;
        InitRopePools();
        SetPlaySettings();
        gPlanes.clear();
        gGathered.clear();
        gSegmentQueries = 0;
        RopeServices = RopeHooks{FakeCollideSegment, FakeCollideSegmentNearest};
    }
    void TearDown() override {
        FreeAllRopes();
        ResetRopeHooks();
        FrameTiming = savedTiming_;
    }

    FrameTimingState savedTiming_{};
};

// ---------------------------------------------------------------------------------------------
// Pools

TEST_F(RopeTest, PoolsHandOutFreeEntriesFirstAndNeverAnEntryInUse) {
    RopeParticle particle;
    particle.state = 1;
    RopeConstraint constraint;
    constraint.inUse = 1;
    for (int32_t i = 0; i < RopePoolSize; ++i) {
        ASSERT_EQ(AllocRopeParticle(particle), i);
        ASSERT_EQ(AllocRopeConstraint(constraint), i);
    }
    EXPECT_EQ(AllocRopeParticle(particle), -1);
    EXPECT_EQ(AllocRopeConstraint(constraint), -1);
    EXPECT_EQ(RopeParticleFill, RopePoolSize);

    FreeRopeParticle(700);
    FreeRopeParticle(300);
    FreeRopeConstraint(42);
    particle.position[0] = 5.0f;
    EXPECT_EQ(AllocRopeParticle(particle), 300);
    EXPECT_EQ(RopeParticles[300].position[0], 5.0f);
    EXPECT_EQ(AllocRopeParticle(particle), 700);
    EXPECT_EQ(AllocRopeParticle(particle), -1);
    EXPECT_EQ(AllocRopeConstraint(constraint), 42);

    ResetRopePools();
    EXPECT_EQ(RopeParticleFill, 0);
    EXPECT_EQ(RopeConstraintFill, 0);
    EXPECT_EQ(LiveParticles(), 0);
    EXPECT_EQ(LiveConstraints(), 0);
    EXPECT_EQ(RopeSettings.iterationCount, 1u);
    EXPECT_EQ(RopeSettings.gravity[1], 0.0f);
    EXPECT_EQ(RopeParticles[0].weight, 0.25f);
}

// ---------------------------------------------------------------------------------------------
// The step

TEST_F(RopeTest, NothingMovesWithoutALink) {
    RopeParticle p;
    p.state = 1;
    p.position[1] = 10.0f;
    p.previousPosition[1] = 11.0f;
    const int32_t i = AllocRopeParticle(p);
    UpdateRopes();
    UpdateRopes();
    EXPECT_EQ(RopeParticles[i].position[1], 10.0f);
    EXPECT_EQ(RopeParticles[i].previousPosition[1], 11.0f);
    EXPECT_EQ(gSegmentQueries, 0);
}

TEST_F(RopeTest, FreeEndsFallUnderGravityAndCarryTheirObjects) {
    auto a = MakeObject(0.0f, 10.0f, 0.0f);
    auto b = MakeObject(5.0f, 10.0f, 0.0f);
    a->poseState = 1;
    ASSERT_NE(CreateRopeLink(a.get(), b.get(), -1, -1, 0, 0), nullptr);

    std::vector<float> heights = {10.0f};
    for (int step = 0; step < 4; ++step) {
        UpdateRopes();
        heights.push_back(a->Position[1]);
        for (const NztScnObject* o : {a.get(), b.get()}) EXPECT_EQ(o->Position[1], heights.back());
    }
    EXPECT_NEAR(heights[0] - heights[1], kFallPerStep, 1e-5f);
    // The speed grows by 80 dt x dt every step.
    for (size_t i = 2; i < heights.size(); ++i)
        EXPECT_NEAR((heights[i - 1] - heights[i]) - (heights[i - 2] - heights[i - 1]), kFallPerStep, 1e-4f);
    EXPECT_EQ(b->Position[0], 5.0f);  // the rod keeps its length: no sideways pull
    EXPECT_EQ(a->poseState, 2);
    EXPECT_EQ(b->poseState, 0);
    EXPECT_EQ(RopeSettings.stepTime, kDt);
}

TEST_F(RopeTest, CollisionStopsFreeParticlesOnSurfaces) {
    struct Case {
        const char* name;
        std::vector<Plane> planes;
        float startY;
        int steps;
        float expectedY;
    };
    const Case cases[] = {
        {"a floor catches a falling end and holds it", {{0.0f, 1}}, 0.5f, 60, 0.0f},
        {"a ceiling less than 1.0 above the last position takes the end", {{0.5f, 1}}, 0.0f, 1, 0.5f},
        {"a ceiling 1.0 or more above is out of reach", {{1.5f, 1}}, 0.0f, 1, -kFallPerStep},
        {"no surface: free fall", {}, 0.0f, 1, -kFallPerStep},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gPlanes = c.planes;
        auto a = MakeObject(0.0f, c.startY, 0.0f);
        auto b = MakeObject(0.0f, c.startY, 0.0f);
        ASSERT_NE(CreateRopeLink(a.get(), b.get(), -1, -1, 0, 0), nullptr);
        for (int step = 0; step < c.steps; ++step) UpdateRopes();
        EXPECT_NEAR(a->Position[1], c.expectedY, 1e-4f);
        EXPECT_NEAR(b->Position[1], c.expectedY, 1e-4f);
        FreeAllRopes();
        SetPlaySettings();
    }
}

TEST_F(RopeTest, RelaxationRestoresTheRestLengthAlongTheLine) {
    struct Case {
        const char* name;
        float a[3], b[3];
        float rest;
        uint32_t switches[3];
        float expectedA[3], expectedB[3];
    };
    const Case cases[] = {
        {"stretched pair: each end moves half the error",
         {0, 0, 0},
         {2, 0, 0},
         1.0f,
         {1, 1, 1},
         {0.5f, 0, 0},
         {1.5f, 0, 0}},
        {"compressed pair is pushed apart",
         {0, 0, 0},
         {0, 0.5f, 0},
         1.0f,
         {1, 1, 1},
         {0, -0.25f, 0},
         {0, 0.75f, 0}},
        {"coincident ends are left alone", {1, 1, 1}, {1, 1, 1}, 1.0f, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}},
        {"an axis switched off is not relaxed", {0, 0, 0}, {2, 0, 0}, 1.0f, {0, 1, 1}, {0, 0, 0}, {2, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetRopePools();
        std::copy(c.switches, c.switches + 3, RopeSettings.axisSwitches);
        RopeParticle p;
        p.state = 1;
        std::copy(c.a, c.a + 3, p.position);
        const int32_t a = AllocRopeParticle(p);
        std::copy(c.b, c.b + 3, p.position);
        const int32_t b = AllocRopeParticle(p);
        AllocRopeConstraint(RopeConstraint{c.rest, a, b, 1});
        SatisfyRopeConstraints();  // one pass
        ExpectAt(RopeParticles[a].position, c.expectedA[0], c.expectedA[1], c.expectedA[2], 1e-6f);
        ExpectAt(RopeParticles[b].position, c.expectedB[0], c.expectedB[1], c.expectedB[2], 1e-6f);
    }
}

TEST_F(RopeTest, AxisSwitchedOffIsNeitherAcceleratedNorIntegrated) {
    RopeSettings.gravity[0] = 5.0f;
    RopeSettings.extraAcceleration[1] = -20.0f;
    RopeSettings.axisSwitches[0] = 0;
    RopeSettings.stepTime = 0.1f;
    RopeParticle p;
    p.state = 1;
    p.previousPosition[0] = -1.0f;  // moving along x
    p.acceleration[0] = 7.0f;
    const int32_t i = AllocRopeParticle(p);
    AccumulateRopeForces();
    IntegrateRopeParticles();
    const RopeParticle& q = RopeParticles[i];
    EXPECT_EQ(q.acceleration[0], 7.0f);
    EXPECT_EQ(q.acceleration[1], -100.0f);
    EXPECT_EQ(q.position[0], 0.0f);
    EXPECT_EQ(q.previousPosition[0], 0.0f);  // the previous position follows on every axis
    EXPECT_NEAR(q.position[1], -1.0f, 1e-6f);
}

TEST_F(RopeTest, FixedEndStaysOnItsObjectFromTheFirstStep) {
    auto a = MakeObject(0.0f, 10.0f, 0.0f);
    auto b = MakeObject(3.0f, 10.0f, 0.0f);
    RopeLink* link = CreateRopeLink(a.get(), b.get(), -1, -1, 1, 0);
    ASSERT_NE(link, nullptr);
    const RopeParticle& pinned = ParticleOf(link->anchorA);
    EXPECT_EQ(pinned.pinned, 1u);
    for (int step = 0; step < 30; ++step) {
        UpdateRopes();
        ExpectAt(pinned.position, 0.0f, 10.0f, 0.0f, 0.0f);
        ExpectAt(pinned.previousPosition, 0.0f, 10.0f, 0.0f, 0.0f);
    }
    // The free end swings down on the rope and keeps its length.
    const float* free = ParticleOf(link->anchorB).position;
    EXPECT_LT(free[1], 10.0f);
    EXPECT_NEAR(std::hypot(free[0], free[1] - 10.0f), 3.0f, 0.05f);
    EXPECT_EQ(a->Position[1], 10.0f);
}

TEST_F(RopeTest, WithoutPassesParticlesAreOnlyIntegrated) {
    RopeSettings.iterationCount = 0;
    gPlanes = {{9.99f, 1}};
    auto a = MakeObject(0.0f, 10.0f, 0.0f);
    auto b = MakeObject(5.0f, 10.0f, 0.0f);
    RopeLink* link = CreateRopeLink(a.get(), b.get(), -1, -1, 1, 0);
    ASSERT_NE(link, nullptr);
    UpdateRopes();
    EXPECT_EQ(gSegmentQueries, 0);
    EXPECT_NEAR(ParticleOf(link->anchorA).position[1], 10.0f - kFallPerStep, 1e-5f);  // not put back
    EXPECT_NEAR(b->Position[1], 10.0f - kFallPerStep, 1e-5f);                         // through the surface
}

// The three stages against the plain reference on random pools: pinned and freed entries, axis
// switches, pass counts and a floor, several steps in a row. Both must give the same bits.
TEST_F(RopeTest, StepMatchesTheReference) {
    std::mt19937 rng(7051);
    std::uniform_real_distribution<float> coord(-20.0f, 20.0f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int trial = 0; trial < 24; ++trial) {
        SCOPED_TRACE(trial);
        ResetRopePools();
        RopeSettings.gravity[0] = coord(rng);
        RopeSettings.gravity[1] = -80.0f;
        RopeSettings.extraAcceleration[2] = coord(rng);
        RopeSettings.stepTime = 0.005f + 0.05f * unit(rng);
        RopeSettings.iterationCount = static_cast<uint32_t>(rng() % 11);
        for (uint32_t& s : RopeSettings.axisSwitches) s = trial % 3 == 0 ? rng() % 2 : 1;
        gPlanes = trial % 2 == 0 ? std::vector<Plane>{{-5.0f, 1}, {12.0f, 1}} : std::vector<Plane>{};

        const int32_t particles = 20 + static_cast<int32_t>(rng() % 200);
        for (int32_t i = 0; i < particles; ++i) {
            RopeParticle p;
            p.state = 1;
            for (int axis = 0; axis < 3; ++axis) {
                p.position[axis] = coord(rng);
                p.previousPosition[axis] = p.position[axis] + 0.2f * (unit(rng) - 0.5f);
                p.pinPoint[axis] = coord(rng);
            }
            p.pinned = rng() % 5 == 0 ? 1 : 0;
            AllocRopeParticle(p);
        }
        const int32_t constraints = particles + static_cast<int32_t>(rng() % 100);
        for (int32_t i = 0; i < constraints; ++i) {
            const int32_t a = static_cast<int32_t>(rng() % particles);
            const int32_t b = i % 7 == 0 ? a : static_cast<int32_t>(rng() % particles);
            AllocRopeConstraint(RopeConstraint{5.0f * unit(rng), a, b, 1});
        }
        for (int32_t i = 0; i < particles / 10; ++i) {
            FreeRopeParticle(static_cast<int32_t>(rng() % particles));
            FreeRopeConstraint(static_cast<int32_t>(rng() % constraints));
        }

        std::vector<RopeParticle> startParticles(std::begin(RopeParticles), std::end(RopeParticles));
        std::vector<RopeConstraint> startConstraints(std::begin(RopeConstraints), std::end(RopeConstraints));
        for (int step = 0; step < 3; ++step) {
            AccumulateRopeForces();
            IntegrateRopeParticles();
            SatisfyRopeConstraints();
        }
        std::vector<RopeParticle> fast(std::begin(RopeParticles), std::end(RopeParticles));
        std::copy(startParticles.begin(), startParticles.end(), RopeParticles);
        std::copy(startConstraints.begin(), startConstraints.end(), RopeConstraints);
        for (int step = 0; step < 3; ++step) StepRopesReference();
        for (int32_t i = 0; i < RopePoolSize; ++i) {
            ASSERT_EQ(std::memcmp(&fast[i], &RopeParticles[i], sizeof(RopeParticle)), 0)
                << "particle " << i << " fast y " << fast[i].position[1] << " reference y "
                << RopeParticles[i].position[1];
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Links and anchors

TEST_F(RopeTest, LinkOfAnObjectToItselfMakesTwoAnchorsOnceThenIsRefused) {
    auto o = MakeObject(1.0f, 2.0f, 3.0f);
    RopeLink* link = CreateRopeLink(o.get(), o.get(), -1, -1, 0, 0);
    ASSERT_NE(link, nullptr);
    ASSERT_EQ(RopeAnchorCount, 2u);
    EXPECT_NE(link->anchorA, link->anchorB);
    EXPECT_NE(link->anchorA->particle, link->anchorB->particle);
    EXPECT_EQ(RopeConstraints[link->constraint].restLength, 0.0f);
    EXPECT_EQ(CreateRopeLink(o.get(), o.get(), -1, -1, 0, 0), nullptr);
    EXPECT_EQ(RopeLinkCount, 1u);
    EXPECT_EQ(RopeAnchorCount, 2u);
    EXPECT_EQ(LiveConstraints(), 1);
}

TEST_F(RopeTest, RepeatedLinksShareTheAnchorsParticles) {
    auto a = MakeObject(0.0f, 0.0f, 0.0f);
    auto b = MakeObject(0.0f, 4.0f, 0.0f);
    RopeLink* first = CreateRopeLink(a.get(), b.get(), -1, -1, 0, 0);
    RopeLink* second = CreateRopeLink(a.get(), b.get(), -1, -1, 0, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(RopeAnchorCount, 2u);
    EXPECT_NE(first->constraint, second->constraint);
    EXPECT_EQ(first->anchorA, second->anchorA);
    const RopeConstraint& c1 = RopeConstraints[first->constraint];
    const RopeConstraint& c2 = RopeConstraints[second->constraint];
    EXPECT_EQ(c1.particleA, c2.particleA);
    EXPECT_EQ(c1.particleB, c2.particleB);
    EXPECT_EQ(c2.restLength, 4.0f);

    // A reused anchor's rest point is measured again where its object now is.
    auto c = MakeObject(0.0f, 0.0f, 6.0f);
    b->Position[1] = 8.0f;
    RopeLink* third = CreateRopeLink(c.get(), b.get(), -1, -1, 0, 0);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->anchorB, first->anchorB);
    EXPECT_EQ(RopeConstraints[third->constraint].restLength, 10.0f);
    EXPECT_EQ(first->anchorB->restPoint[1], 8.0f);
}

TEST_F(RopeTest, RemovalKeepsSharedAnchorsAndReleasesWhatNoLinkUses) {
    auto a = MakeObject(0.0f, 0.0f, 0.0f);
    auto b = MakeObject(1.0f, 0.0f, 0.0f);
    auto c = MakeObject(2.0f, 0.0f, 0.0f);
    RopeLink* ab = CreateRopeLink(a.get(), b.get(), -1, 1, 0, 0);
    RopeLink* bc = CreateRopeLink(b.get(), c.get(), 1, -1, 0, 0);
    ASSERT_NE(ab, nullptr);
    ASSERT_NE(bc, nullptr);
    RopeAnchor* shared = bc->anchorA;
    const int32_t sharedParticle = shared->particle;
    ASSERT_EQ(ab->anchorB, shared);

    RemoveRopeLink(b.get(), 1, a.get(), -1);  // named in the other order
    ASSERT_EQ(RopeLinkCount, 1u);
    ASSERT_EQ(RopeAnchorCount, 2u);
    EXPECT_EQ(RopeLinkList[0], bc);
    EXPECT_EQ(shared->particle, sharedParticle);
    EXPECT_EQ(RopeParticles[sharedParticle].state, 1u);
    EXPECT_EQ(LiveParticles(), 2);
    EXPECT_EQ(LiveConstraints(), 1);

    RemoveRopeLink(b.get(), 1, c.get(), -1);
    EXPECT_EQ(RopeLinkCount, 0u);
    EXPECT_EQ(RopeAnchorCount, 0u);
    EXPECT_EQ(LiveParticles(), 0);  // no longer simulated, and free for the next link
    EXPECT_EQ(LiveConstraints(), 0);
    RopeLink* again = CreateRopeLink(a.get(), c.get(), -1, -1, 0, 0);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->constraint, 0);
    EXPECT_LT(std::max(again->anchorA->particle, again->anchorB->particle), 3);

    DeleteRopeLink(5);  // out of range: nothing
    DeleteRopeLink(-1);
    EXPECT_EQ(RopeLinkCount, 1u);
}

TEST_F(RopeTest, ReleasingAnObjectDropsItsLinksAndAnchors) {
    auto a = MakeObject(0.0f, 0.0f, 0.0f);
    auto b = MakeObject(1.0f, 0.0f, 0.0f);
    auto c = MakeObject(2.0f, 0.0f, 0.0f);
    auto d = MakeObject(3.0f, 0.0f, 0.0f);
    ASSERT_NE(CreateRopeLink(a.get(), b.get(), -1, -1, 0, 0), nullptr);
    ASSERT_NE(CreateRopeLink(b.get(), c.get(), 2, -1, 1, 0), nullptr);
    ASSERT_NE(CreateRopeLink(c.get(), d.get(), -1, -1, 0, 0), nullptr);
    ObjectServices.removeObjectLinks(b.get());
    ASSERT_EQ(RopeLinkCount, 1u);
    EXPECT_EQ(RopeLinkList[0]->anchorA->object, c.get());
    ASSERT_EQ(RopeAnchorCount, 2u);
    for (uint32_t i = 0; i < RopeAnchorCount; ++i) {
        EXPECT_NE(RopeAnchorList[i]->object, b.get());
        EXPECT_NE(RopeAnchorList[i]->object, a.get());
    }
    EXPECT_EQ(LiveParticles(), 2);
    EXPECT_EQ(LiveConstraints(), 1);
}

TEST_F(RopeTest, FullPoolsRefuseOnlyWhatTheyCannotHold) {
    auto o = MakeObject(0.0f, 0.0f, 0.0f);
    for (int32_t i = 0; i < RopePoolSize / 2; ++i)
        ASSERT_NE(CreateRopeLink(o.get(), o.get(), 2 * i, 2 * i + 1, 0, 0), nullptr);
    ASSERT_EQ(RopeParticleFill, RopePoolSize);

    // Two new anchors cannot get particles: nothing changes.
    EXPECT_EQ(CreateRopeLink(o.get(), o.get(), 5000, 5001, 0, 0), nullptr);
    // One new anchor cannot either, and the existing one keeps its rest point.
    EXPECT_EQ(CreateRopeLink(o.get(), o.get(), 0, 5002, 0, 0), nullptr);
    EXPECT_EQ(RopeLinkCount, static_cast<uint32_t>(RopePoolSize / 2));
    EXPECT_EQ(RopeAnchorCount, static_cast<uint32_t>(RopePoolSize));
    EXPECT_EQ(LiveConstraints(), RopePoolSize / 2);

    // Anchors that exist need only a constraint.
    ASSERT_NE(CreateRopeLink(o.get(), o.get(), 0, 3, 0, 0), nullptr);
    std::vector<int32_t> taken;
    for (uint32_t i = 0; i < RopeAnchorCount; ++i) taken.push_back(RopeAnchorList[i]->particle);
    std::sort(taken.begin(), taken.end());
    EXPECT_EQ(std::adjacent_find(taken.begin(), taken.end()), taken.end()) << "a particle handed out twice";

    RemoveRopeLink(o.get(), 10, o.get(), 11);
    EXPECT_NE(CreateRopeLink(o.get(), o.get(), 5000, 5001, 0, 0), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Points of objects

// An object whose mesh has three attach points over five vertices, turned a quarter about y and
// placed at (10, 0, 0), with its own posed copy of the points and vertices.
struct PointedObject {
    std::unique_ptr<NztMesh> mesh = std::make_unique<NztMesh>();
    std::vector<NztAttachPoint> points = std::vector<NztAttachPoint>(3);
    std::vector<Vec3> meshVertices = {{0, 0, 0}, {0, 1, 0}, {9, 9, 9}, {5, 5, 5}, {1, 2, 3}};
    std::unique_ptr<NztScnObject> object = MakeObject(10.0f, 0.0f, 0.0f);

    PointedObject() {
        points[0].Anchor = 1;
        points[1].Anchor = 3;
        points[2].Anchor = 4;
        mesh->AttachCount = 3;
        mesh->AttachPoints = points.data();
        mesh->Vertices = meshVertices.data();
        mesh->VertexCount = static_cast<uint32_t>(meshVertices.size());
        object->mesh = mesh.get();
        const float quarterTurn[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
        std::copy(quarterTurn, quarterTurn + 9, object->rotation);
        object->attachPoints = points;
        object->vertices = {{0, 0, 0}, {50, 0, 0}, {0, 0, 0}, {60, 0, 0}, {70, 0, 0}};
    }
    ~PointedObject() { object->mesh = nullptr; }
};

TEST_F(RopeTest, RestPointsComeFromTheMeshVerticesOfAttachPoints) {
    PointedObject po;
    struct Case {
        int32_t point;
        float expected[3];
    };
    const Case cases[] = {
        {2, {13.0f, 2.0f, -1.0f}},  // (1, 2, 3) turned, plus the position
        {0, {10.0f, 1.0f, 0.0f}},  {-1, {10.0f, 0.0f, 0.0f}},
        {-7, {10.0f, 0.0f, 0.0f}}, {3, {10.0f, 0.0f, 0.0f}},  // past the point count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        float out[3];
        RopeRestPoint(po.object.get(), c.point, out);
        ExpectAt(out, c.expected[0], c.expected[1], c.expected[2], 1e-6f);
    }
    po.points[2].Anchor = 99;  // an anchor vertex the mesh does not have
    float out[3];
    RopeRestPoint(po.object.get(), 2, out);
    ExpectAt(out, 10.0f, 0.0f, 0.0f, 0.0f);
}

TEST_F(RopeTest, FixedAttachPointLeadsTheRopeOneFrameLate) {
    PointedObject po;
    auto other = MakeObject(13.0f, 2.0f, 3.0f);
    RopeLink* link = CreateRopeLink(po.object.get(), other.get(), 2, -1, 1, 0);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(RopeConstraints[link->constraint].restLength, 4.0f);
    const RopeParticle& end = ParticleOf(link->anchorA);

    UpdateRopes();  // starts where the link was made
    ExpectAt(end.position, 13.0f, 2.0f, -1.0f, 0.0f);
    po.object->vertices[4] = Vec3{71.0f, 0.0f, 0.0f};
    UpdateRopes();  // the posed vertex read after the first step
    ExpectAt(end.position, 70.0f, 0.0f, 0.0f, 0.0f);
    UpdateRopes();
    ExpectAt(end.position, 71.0f, 0.0f, 0.0f, 0.0f);
    ExpectAt(end.previousPosition, 71.0f, 0.0f, 0.0f, 0.0f);
}

TEST_F(RopeTest, FreeAnchorsWriteIntoThePointTheyHoldOnly) {
    PointedObject po;
    auto top = MakeObject(0.0f, 100.0f, 0.0f);
    RopeLink* onPoint = CreateRopeLink(top.get(), po.object.get(), -1, 1, 1, 0);
    RopeLink* pastPoints = CreateRopeLink(top.get(), po.object.get(), -1, 3, 1, 0);
    RopeLink* below = CreateRopeLink(top.get(), po.object.get(), -1, -4, 1, 0);
    ASSERT_NE(onPoint, nullptr);
    ASSERT_NE(pastPoints, nullptr);
    ASSERT_NE(below, nullptr);
    const std::vector<Vec3> before = po.object->vertices;
    UpdateRopes();
    const float* p = ParticleOf(onPoint->anchorB).position;
    EXPECT_EQ(po.object->vertices[3].x, p[0]);
    EXPECT_EQ(po.object->vertices[3].y, p[1]);
    EXPECT_EQ(po.object->vertices[3].z, p[2]);
    for (size_t v : {0u, 1u, 2u, 4u}) EXPECT_EQ(po.object->vertices[v].x, before[v].x) << v;
    ExpectAt(po.object->Position, 10.0f, 0.0f, 0.0f, 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Scene-file chunk

// Scene objects with ids 1 and 2 and a character with id 7, published in the instance lists.
class RopeChunkTest : public RopeTest {
protected:
    void SetUp() override {
        RopeTest::SetUp();
        savedScn_ = {ScnObjectList, ScnObjectCount};
        savedEntities_ = {EntityList, EntityCount};
        scn_.push_back(MakeObject(0.0f, 0.0f, 0.0f, 1).release());
        scn_.push_back(MakeObject(0.0f, 5.0f, 0.0f, 2).release());
        auto* e = new NztEntity;
        e->id = 7;
        entities_.push_back(e);
        ScnObjectList = scn_.data();
        ScnObjectCount = static_cast<uint32_t>(scn_.size());
        EntityList = entities_.data();
        EntityCount = static_cast<uint32_t>(entities_.size());
    }
    void TearDown() override {
        RopeTest::TearDown();
        ScnObjectList = savedScn_.first;
        ScnObjectCount = savedScn_.second;
        EntityList = savedEntities_.first;
        EntityCount = savedEntities_.second;
        for (auto* o : scn_) delete o;
        for (auto* e : entities_) delete e;
    }

    static int32_t Load(const std::vector<uint8_t>& bytes) {
        NztFile stream;
        stream.OpenMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
        return LoadRopeLinks(stream);
    }

    // "kind:id:point:fixed-kind:id:point:fixed" for every link in table order.
    static std::vector<std::string> Links() {
        std::vector<std::string> out;
        for (uint32_t i = 0; i < RopeLinkCount; ++i) {
            std::string s;
            for (const RopeAnchor* a : {RopeLinkList[i]->anchorA, RopeLinkList[i]->anchorB}) {
                if (!s.empty()) s += "-";
                s += std::to_string(a->object->kind) + ":" + std::to_string(a->object->id) + ":" +
                     std::to_string(a->point) + ":" + std::to_string(a->fixed);
            }
            out.push_back(s);
        }
        return out;
    }

    std::vector<NztScnObject*> scn_;
    std::vector<NztEntity*> entities_;
    std::pair<NztScnObject**, uint32_t> savedScn_;
    std::pair<NztEntity**, uint32_t> savedEntities_;
};

TEST_F(RopeChunkTest, WrittenLinksLoadBackAndAddToThoseThatExist) {
    ASSERT_NE(CreateRopeLink(scn_[0], scn_[1], -1, 2, 1, 0), nullptr);
    ASSERT_NE(CreateRopeLink(scn_[1], entities_[0], -1, 0, 0, 3), nullptr);
    const std::vector<std::string> made = Links();

    NztFile out;
    out.OpenGrowingBlock();
    EXPECT_EQ(WriteRopeLinks(out), 1);
    uint32_t size = 0;
    uint8_t* block = out.TakeBlock(&size);
    std::vector<uint8_t> written(block, block + size);
    std::free(block);
    const std::vector<uint8_t> expected =
        datakit::MakeRopeChunk({{{4, 1, -1, 1}, {4, 2, 2, 0}}, {{4, 2, -1, 0}, {5, 7, 0, 3}}});
    EXPECT_EQ(written, expected);

    FreeAllRopes();
    EXPECT_EQ(Load(written), 1);
    EXPECT_EQ(Links(), made);
    EXPECT_EQ(Load(written), 1);
    EXPECT_EQ(RopeLinkCount, 4u);
    EXPECT_EQ(RopeAnchorCount, 4u);  // the second load reuses the anchors
}

TEST_F(RopeChunkTest, BadRecordsAndShortChunks) {
    const datakit::RopeRecord good = {{4, 1, -1, 0}, {4, 2, -1, 0}};
    const datakit::RopeRecord toCharacter = {{4, 2, -1, 0}, {5, 7, -1, 0}};
    std::vector<uint8_t> cut = datakit::MakeRopeChunk({good, good});
    cut.resize(cut.size() - 12);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t result;
        size_t links;
    };
    const Case cases[] = {
        {"dynamic-object end skipped, the next record read",
         datakit::MakeRopeChunk({{{7, 1, -1, 0}, {4, 2, -1, 0}}, good}), 1, 1},
        {"id -1 skipped", datakit::MakeRopeChunk({{{4, -1, -1, 0}, {4, 2, -1, 0}}, toCharacter}), 1, 1},
        {"unknown id skipped", datakit::MakeRopeChunk({{{4, 99, -1, 0}, {4, 2, -1, 0}}}), 1, 0},
        {"kind 5 looks among characters only", datakit::MakeRopeChunk({{{5, 1, -1, 0}, {4, 2, -1, 0}}}), 1,
         0},
        {"negative count reads nothing", datakit::MakeRopeChunk({good}, static_cast<uint32_t>(-3)), 1, 0},
        {"zero count", datakit::MakeRopeChunk({good}, 0), 1, 0},
        {"count beyond the records stops at the end", datakit::MakeRopeChunk({good, toCharacter}, 1000000), 0,
         2},
        {"last record cut", cut, 0, 1},
        {"no count", {1, 0}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Load(c.bytes), c.result);
        EXPECT_EQ(RopeLinkCount, c.links);
        FreeAllRopes();
    }
}

}  // namespace
