// Dynamic objects: launch, the movement modes and how each ends, bounces, impacts and their
// effects, lingering, carried effects and lights, self-deletion, and the fade curves.
#include "effects/dynobject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/nztmath.h"
#include "effects/light.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "effects/sky.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "objects/objtype.h"
#include "objects/registry.h"

namespace {

// What the fakes saw, and what the sweeps answer.
struct FlightLog {
    std::vector<std::string> calls;  // "radial", "radius", "impact", "bounce 0", "event 33 to 7"...
    uint32_t sweepResult = 0;
    Vec3 reflection{1.0f, 1.0f, 1.0f};
    NztBase3D* hitObject = nullptr;
    std::vector<NztSfx*> sfx;
    std::vector<NztLight*> lights;
};

FlightLog& Log() {
    static FlightLog log;
    return log;
}

size_t Count(const std::string& what) {
    size_t n = 0;
    for (const auto& c : Log().calls) n += c == what ? 1 : 0;
    return n;
}

void OnImpact(NztDynObject*, const float*) { Log().calls.push_back("impact"); }
void OnBounce(NztDynObject*, const float*, uint32_t bounce) { Log().calls.push_back("bounce " + std::to_string(bounce)); }

class DynObjects : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        savedTiming = FrameTiming;
        savedAccumulators = FrameAccumulators;
        std::copy(WobbleVector, WobbleVector + 3, savedWobble);
        FrameTiming.frameTime = 0.25f;  // exact in binary, so lifetimes end on a known step
        FrameAccumulators.halfSecond = 0.3f;
        Log() = FlightLog{};
        ObjectServices.sendEvent = [](NztEventObject* o, uint32_t code, uint32_t a, uint32_t, uint32_t) {
            // The launcher travels as its handle.
            const NztEventObject* from = ResolveEventObject(a);
            Log().calls.push_back("event " + std::to_string(code) + " to " + std::to_string(o->id) + " from " +
                                  std::to_string(from ? from->id : -1));
            return 1u;
        };
        ObjectServices.removeSfxAt = [](uint32_t i) {
            Log().calls.push_back("remove sfx " + std::to_string(i));
            delete Log().sfx[i];
            Log().sfx.erase(Log().sfx.begin() + i);
            Publish();
        };
        ObjectServices.deleteLightAt = [](uint32_t i) {
            Log().calls.push_back("delete light " + std::to_string(i));
            delete Log().lights[i];
            Log().lights.erase(Log().lights.begin() + i);
            Publish();
        };
        DynObjectServices.sweep = [](CollisionBody*, Vec3* motion, SweepHitRecord* hit) {
            hit->object = Log().hitObject;
            if (Log().sweepResult != 0) *motion = Vec3{0.0f, 0.0f, 0.0f};
            return Log().sweepResult;
        };
        DynObjectServices.bouncingSweep = [](CollisionBody*, Vec3* motion, SweepHitRecord* hit, Vec3* reflection) {
            hit->object = Log().hitObject;
            if (Log().sweepResult != 0) {
                *motion = Vec3{0.0f, 0.0f, 0.0f};
                *reflection = Log().reflection;
            }
            return Log().sweepResult;
        };
        DynObjectServices.groundHeight = [](const Vec3&, float, float) { return -7.0f; };
        DynObjectServices.radialLifeChange = [](float, const float*, float) { Log().calls.push_back("radial"); };
        DynObjectServices.radiusEvent = [](float, const float*, const NztBaseObject*) {
            Log().calls.push_back("radius");
        };
        Publish();
    }
    void TearDown() override {
        DeleteAllDynObjects();
        FreeObjectLists();
        for (auto* p : Log().sfx) delete p;
        for (auto* p : Log().lights) delete p;
        Log() = FlightLog{};
        SfxList = nullptr;
        SfxCount = 0;
        LightList = nullptr;
        LightCount = 0;
        ResetObjectHooks();
        ResetDynObjectHooks();
        FrameTiming = savedTiming;
        FrameAccumulators = savedAccumulators;
        std::copy(savedWobble, savedWobble + 3, WobbleVector);
    }
    static void Publish() {
        SfxList = Log().sfx.data();
        SfxCount = static_cast<uint32_t>(Log().sfx.size());
        LightList = Log().lights.data();
        LightCount = static_cast<uint32_t>(Log().lights.size());
    }
    // A launched object in the dynamic-object list.
    static NztDynObject* Launched(const std::function<void(NztDynObject&)>& setup) {
        NztDynObject* d = CreateDynObject(nullptr);
        setup(*d);
        d->Launch();
        return d;
    }
    static int32_t StepsUntilStopped(NztDynObject* d, int32_t limit) {
        for (int32_t i = 1; i <= limit; ++i) {
            d->PhysicsStep();
            if (d->moving == 0) return i;
        }
        return -1;
    }

    FrameTimingState savedTiming;
    FrameAccumulatorState savedAccumulators;
    float savedWobble[3] = {};
};

TEST_F(DynObjects, ConstructorDefaults) {
    NztDynObject d;
    EXPECT_EQ(d.kind, ObjectKindDyn);
    EXPECT_FLOAT_EQ(d.GetRange(), 2000.0f);
    EXPECT_EQ(d.bodyPtr, &d.body);
    EXPECT_FLOAT_EQ(d.body.radius, 1.0f);
    EXPECT_EQ(d.stopOnImpact, 1u);
    EXPECT_FLOAT_EQ(d.gravity[1], 6.0f);
    EXPECT_FLOAT_EQ(d.drag, 0.1f);
    EXPECT_FLOAT_EQ(d.bounceFactor, 0.5f);
    EXPECT_EQ(d.boneOrientation, 0);
    EXPECT_EQ(d.timerRunning, 1u);
    EXPECT_EQ(d.moving, 0u);
}

TEST_F(DynObjects, LaunchTurnsVelocityIntoWorldAxesAndFixesAcceleration) {
    NztDynObject d;
    d.SetYaw(1024);  // a quarter turn: forward becomes world x
    d.launchVelocity[2] = 10.0f;
    d.gravityScale = -1.0f;
    d.extraForce[2] = 0.5f;
    d.Launch();
    EXPECT_NEAR(d.velocity[0], 10.0f, 1e-4f);
    EXPECT_NEAR(d.velocity[2], 0.0f, 1e-4f);
    EXPECT_NEAR(d.acceleration[0], -1.0f, 1e-4f);  // drag 0.1 x 10
    EXPECT_NEAR(d.acceleration[1], -6.0f, 1e-4f);
    EXPECT_NEAR(d.acceleration[2], 0.5f, 1e-4f);
    EXPECT_EQ(d.moving, 1u);
}

TEST_F(DynObjects, LaunchRunsRadialEffectsOnlyWithoutACallback) {
    struct Case {
        DynImpactCallback callback;
        float radiusSq;
        size_t radial;
    };
    for (const Case& c : {Case{nullptr, 25.0f, 1}, Case{OnImpact, 25.0f, 0}, Case{nullptr, 0.0f, 0}}) {
        Log().calls.clear();
        NztDynObject d;
        d.impactCallback = c.callback;
        d.effectRadiusSq = c.radiusSq;
        d.Launch();
        EXPECT_EQ(Count("radial"), c.radial) << c.radiusSq;
        EXPECT_EQ(Count("radius"), c.radial) << c.radiusSq;
        EXPECT_EQ(Count("impact"), 0u);
    }
}

// Bounces that never use up with stop on impact clear: the factor shrinks by 0.9 per bounce, and
// once it is below 0.01 the impact runs every step, for ever with a lifetime of 0.
TEST_F(DynObjects, EndlessBouncesImpactEveryStepOnceDiedOut) {
    NztDynObject* d = Launched([](NztDynObject& o) {
        o.stopOnImpact = 0;
        o.impactCallback = OnImpact;
        o.bounceCallback = OnBounce;
    });
    Log().sweepResult = 2;
    int32_t firstDead = -1;
    for (int32_t i = 1; i <= 60; ++i) {
        d->PhysicsStep();
        if (firstDead < 0 && d->bounceFactor < 0.01f) firstDead = i;
    }
    EXPECT_EQ(d->moving, 1u);
    EXPECT_EQ(d->bounceCount, 60u);
    EXPECT_NEAR(d->bounceFactor, 0.5 * std::pow(0.9, 60), 1e-6);
    ASSERT_GT(firstDead, 0);
    // Each step's hit is an impact (no bounces allowed), plus one more per step once died out.
    EXPECT_EQ(Count("impact"), static_cast<size_t>(60 + (60 - firstDead + 1)));
}

TEST_F(DynObjects, BouncesUsedUpGiveAnImpactWithHitEventAndStop) {
    NztDynObject owner;
    owner.id = 4;
    NztDynObject wall;
    wall.id = 7;
    NztDynObject* d = Launched([&](NztDynObject& o) {
        o.maxBounces = 2;
        o.owner = &owner;
        o.impactCallback = OnImpact;
        o.bounceCallback = OnBounce;
        o.effectRadiusSq = 9.0f;
    });
    Log().sweepResult = 2;
    Log().hitObject = &wall;
    EXPECT_EQ(StepsUntilStopped(d, 10), 3);
    const std::vector<std::string> expected = {"bounce 0", "bounce 1", "radial", "radius", "impact",
                                               "event 33 to 7 from 4"};
    EXPECT_EQ(Log().calls, expected);
    EXPECT_EQ(d->impactCallback, nullptr);

    // A hit on the owner sends no event.
    Log().calls.clear();
    NztDynObject* e = Launched([&](NztDynObject& o) { o.owner = &owner; });
    Log().hitObject = &owner;
    EXPECT_EQ(StepsUntilStopped(e, 1), 1);
    EXPECT_EQ(Log().calls, std::vector<std::string>{});
}

TEST_F(DynObjects, BounceScalesVelocityPerAxisByTheReflection) {
    NztDynObject* d = Launched([](NztDynObject& o) {
        o.gravity[1] = 0.0f;
        o.drag = 0.0f;
        o.launchVelocity[0] = 2.0f;
        o.launchVelocity[1] = -4.0f;
        o.maxBounces = 5;
    });
    Log().sweepResult = 2;
    Log().reflection = Vec3{1.0f, -1.0f, 1.0f};
    d->PhysicsStep();
    EXPECT_NEAR(d->velocity[0], 2.0f * 0.45f, 1e-5f);
    EXPECT_NEAR(d->velocity[1], 4.0f * 0.45f, 1e-5f);
    EXPECT_NEAR(d->Position[1], 4.0f * 0.45f, 1e-5f);  // the step adds the velocity, no frame time
}

// How each mode ends on time, in 0.25 s steps.
TEST_F(DynObjects, LifetimeEndsEachModeOnItsStep) {
    NztDynObject target;
    target.Position[2] = 1000.0f;
    struct Case {
        const char* mode;
        std::function<void(NztDynObject&)> setup;
        int32_t stopsAt;  // -1: never
    };
    const std::vector<Case> cases = {
        {"ballistic", [](NztDynObject& o) { o.lifetime = 1.0f; }, 5},
        {"ballistic unlimited", [](NztDynObject&) {}, -1},
        {"driven", [](NztDynObject& o) { o.driven = 1, o.lifetime = 1.0f; }, 5},
        {"drift", [](NztDynObject& o) { o.drift = 1, o.lifetime = 1.0f; }, 5},
        {"drift unlimited", [](NztDynObject& o) { o.drift = 1; }, -1},
        {"sink unlimited", [](NztDynObject& o) { o.sink = 1; }, -1},
        {"homing",
         [&](NztDynObject& o) { o.targetObject = &target, o.targetPoint[2] = 1000.0f, o.lifetime = 1.0f; }, 9},
        {"point flight",
         [](NztDynObject& o) { o.pointFlight = 1, o.targetPoint[2] = 1000.0f, o.lifetime = 1.0f; }, 9},
    };
    for (const Case& c : cases) {
        NztDynObject* d = Launched(c.setup);
        EXPECT_EQ(StepsUntilStopped(d, 40), c.stopsAt) << c.mode;
    }
}

TEST_F(DynObjects, SinkDriftsWithTheWobbleAndFades) {
    WobbleVector[0] = 2.0f;
    WobbleVector[2] = -1.0f;
    NztDynObject* d = Launched([](NztDynObject& o) {
        o.sink = 1;
        o.driftFactor = 0.5f;
        o.driftOpacity = 0.8f;
        o.lifetime = 2.0f;
    });
    d->PhysicsStep();
    d->PhysicsStep();
    EXPECT_FLOAT_EQ(d->Position[0], 2.0f);
    EXPECT_FLOAT_EQ(d->Position[1], -0.5f);
    EXPECT_FLOAT_EQ(d->Position[2], -1.0f);
    EXPECT_FLOAT_EQ(d->opacity, 0.8f * 0.25f);  // elapsed 0.25 of a 2 s life
}

TEST_F(DynObjects, PointFlightArrivesCallingBackBeforeTheRadialEffects) {
    NztDynObject* d = Launched([](NztDynObject& o) {
        o.pointFlight = 1;
        o.targetPoint[2] = 10.0f;
        o.launchVelocity[2] = 4.0f;  // 10 units a 0.25 s step
        o.impactCallback = OnImpact;
        o.effectRadiusSq = 4.0f;
    });
    EXPECT_EQ(StepsUntilStopped(d, 5), 1);
    EXPECT_EQ(Log().calls, (std::vector<std::string>{"impact", "radial", "radius"}));
}

TEST_F(DynObjects, HomingSnapsToTheTargetsSecondAttachVertex) {
    NztDynObject target;
    target.Position[2] = 500.0f;
    target.attachPoints.resize(2);
    target.attachPoints[1].Anchor = 1;
    target.vertices = {Vec3{0, 0, 0}, Vec3{0.0f, 0.6f, 10.5f}};
    NztDynObject* d = Launched([&](NztDynObject& o) {
        o.targetObject = &target;
        o.aimFlag = 1;
        o.launchVelocity[2] = 4.0f;
        o.impactCallback = OnImpact;
    });
    EXPECT_EQ(StepsUntilStopped(d, 5), 1);
    EXPECT_FLOAT_EQ(d->Position[1], 0.6f);
    EXPECT_FLOAT_EQ(d->Position[2], 10.5f);
    EXPECT_EQ(Count("impact"), 1u);
}

TEST_F(DynObjects, StopWithLingerWaitsForTheParticlesOnlyWithAnOwnEffect) {
    for (const bool ownEffect : {true, false}) {
        Log().calls.clear();
        SfxDef def;
        def.lifetimeBase = 0.5f;
        def.lifetimeSpread = 0.25f;
        auto* effect = new NztSfx();
        effect->definition = &def;
        effect->ownDefinition = ownEffect ? 1 : 0;
        Log().sfx.push_back(effect);
        Publish();
        NztDynObject* d = Launched([&](NztDynObject& o) { o.AttachSfx(effect); });
        d->StopMovement(1);
        if (!ownEffect) {
            EXPECT_EQ(d->moving, 0u);
            EXPECT_FLOAT_EQ(def.emissionDuration, 0.001f);
            EXPECT_EQ(Log().calls, std::vector<std::string>{"remove sfx 0"});
            continue;
        }
        EXPECT_EQ(d->lingering, 1u);
        EXPECT_FLOAT_EQ(def.emissionDuration, 1.0f);
        EXPECT_FLOAT_EQ(def.emissionTime, 1.0f);
        EXPECT_EQ(StepsUntilStopped(d, 10), 3);  // 0.75 s of particle life
        EXPECT_EQ(d->aimFlag, 1u);
        EXPECT_EQ(d->carriedSfx, nullptr);
        EXPECT_EQ(Log().sfx.size(), 0u);
    }
    // No carried effect: the linger flag stops at once.
    NztDynObject* d = Launched([](NztDynObject&) {});
    d->StopMovement(1);
    EXPECT_EQ(d->moving, 0u);
    EXPECT_EQ(d->lingering, 0u);
}

TEST_F(DynObjects, CarriedThingsFollowAndGoWithTheFlight) {
    auto* light = new NztLight();
    auto* other = new NztLight();
    Log().lights = {other, light};
    auto* effect = new NztSfx();
    SfxDef def;
    def.particleKind = 1;
    effect->definition = &def;
    Log().sfx.push_back(effect);
    Publish();
    FrameAccumulators.halfSecond = 0.0f;
    NztDynObject* d = Launched([&](NztDynObject& o) {
        o.carriedLight = light;
        o.AttachSfx(effect);
        o.launchVelocity[0] = 3.0f;
        o.gravity[1] = 0.0f;
        o.drag = 0.0f;
    });
    EXPECT_EQ(effect->owner, d);
    EXPECT_FLOAT_EQ(effect->GetRange(), 2000.0f);
    d->PhysicsStep();
    d->PhysicsStep();
    EXPECT_FLOAT_EQ(light->Position[0], 6.0f);
    EXPECT_FLOAT_EQ(effect->Position[0], 6.0f);
    EXPECT_FLOAT_EQ(effect->referenceHeight, -7.0f) << "the ground under the object, on the half-second tick";
    EXPECT_EQ(def.emitting, 1u);
    d->StopMovement(0);
    EXPECT_EQ(Log().calls, (std::vector<std::string>{"remove sfx 0", "delete light 1"}));
    EXPECT_EQ(d->carriedLight, nullptr);
    EXPECT_EQ(Log().lights.size(), 1u);
    d->DeleteCarriedLight();  // nothing left to delete
    EXPECT_EQ(Log().calls.size(), 2u);
}

TEST_F(DynObjects, KeptLaunchRotationPitchesWithTheVerticalSpeed) {
    NztDynObject* d = Launched([](NztDynObject& o) {
        o.keepLaunchRotation = 1;
        o.gravity[1] = 0.0f;
        o.drag = 0.0f;
        o.launchVelocity[1] = -2.0f;  // -200 x -2 = 400 angle units
    });
    d->PhysicsStep();
    const float c = TableCos(400), s = TableSin(400);
    const float expected[9] = {1, 0, 0, 0, c, s, 0, -s, c};
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(d->rotation[i], expected[i], 1e-6f) << i;
    d->velocity[1] = -50.0f;  // clamped to a quarter turn
    d->PhysicsStep();
    EXPECT_NEAR(d->rotation[5], 1.0f, 1e-6f);
}

// A stop is drawn once more; the next late update deletes it, and the pass from the last object to
// the first skips nobody.
TEST_F(DynObjects, StoppedObjectsDeleteThemselvesInTheNextLateUpdate) {
    NztDynObject* a = Launched([](NztDynObject& o) { o.lifetime = 0.25f; });
    NztDynObject* b = Launched([](NztDynObject& o) { o.id = 2; });
    NztDynObject* c = Launched([](NztDynObject& o) { o.lifetime = 0.25f; });
    a->PhysicsStep();
    c->LateUpdate();  // elapsed reaches the lifetime
    a->LateUpdate();
    b->LateUpdate();
    ASSERT_EQ(DynObjectCount, 3u);
    c->LateUpdate();  // elapsed passes it: stops, still listed
    EXPECT_EQ(DynObjectCount, 3u);
    EXPECT_EQ(a->moving, 0u);
    for (uint32_t i = DynObjectCount; i-- > 0;) DynObjectList[i]->LateUpdate();
    ASSERT_EQ(DynObjectCount, 1u);
    EXPECT_EQ(DynObjectList[0]->id, 2);
}

TEST(DynFade, DriftRiseAndFall) {
    struct Case {
        float elapsed, lifetime, opacity;
    };
    for (const Case& c : {Case{0.0f, 2.0f, 0.0f}, Case{0.5f, 2.0f, 0.5f}, Case{1.0f, 2.0f, 1.0f},
                          Case{1.5f, 2.0f, 0.5f}, Case{2.0f, 2.0f, 0.0f}, Case{3.0f, 2.0f, 0.0f},
                          Case{5.0f, 0.0f, 1.0f}}) {
        EXPECT_FLOAT_EQ(DriftFadeOpacity(1.0f, c.elapsed, c.lifetime), c.opacity) << c.elapsed << "/" << c.lifetime;
    }
    EXPECT_FLOAT_EQ(DriftFadeOpacity(0.6f, 1.0f, 2.0f), 0.6f);
}

TEST(DynFade, FrameFadeOverShortMiddleAndLongAnimations) {
    struct Case {
        int32_t frames, frame;
        float opacity;
    };
    for (const Case& c : {Case{8, 0, 1.0f}, Case{8, 4, 0.5f}, Case{50, 40, 1.0f}, Case{50, 45, 0.5f},
                          Case{11, 1, 1.0f}, Case{11, 2, 0.9f}, Case{200, 50, 0.5f}, Case{200, 100, 1.0f},
                          Case{200, 150, 0.5f}, Case{201, 100, 1.0f}}) {
        EXPECT_NEAR(FrameFadeOpacity(1.0f, c.frames, c.frame, 1.0f / static_cast<float>(c.frames)), c.opacity, 1e-6f)
            << c.frames << " frames, frame " << c.frame;
    }
}

}  // namespace
