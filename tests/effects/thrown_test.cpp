// Thrown objects of spell effects: where they start, how they are launched, and a whole flight from
// the cast to the landing, where the spell's second list runs and the object goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "camera/camera.h"
#include "character/objeffects.h"
#include "character/spell.h"
#include "core/frameclock.h"
#include "core/nztmath.h"
#include "effects/dynobject.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "support/sample_spells.h"

namespace {

// How many sweeps are left before the next one hits.
int gSweepsBeforeHit = -1;

uint32_t Sweep(CollisionBody*, Vec3* motion, SweepHitRecord* hit, Vec3* reflection) {
    hit->object = nullptr;
    if (gSweepsBeforeHit < 0 || gSweepsBeforeHit-- > 0) return 0;
    *motion = Vec3{0.0f, 0.0f, 0.0f};
    *reflection = Vec3{1.0f, -1.0f, 1.0f};
    return 1;
}

class ThrownObjects : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        savedTiming = FrameTiming;
        savedCamera = MainCamera;
        savedState = CameraState;
        FrameTiming.frameTime = 0.02f;
        CameraState.shakeTime = -1.0f;
        gSweepsBeforeHit = -1;
        DynObjectServices.bouncingSweep = Sweep;
        DynObjectServices.groundHeight = [](const Vec3&, float, float h) { return h; };
        DynObjectServices.radialLifeChange = [](float, const float*, float) {};
        DynObjectServices.radiusEvent = [](float, const float*, const NztBaseObject*) {};
        ASSERT_TRUE(LoadSampleSpells());
        ::testing::internal::CaptureStderr();  // the sample's files are not there
    }
    void TearDown() override {
        ::testing::internal::GetCapturedStderr();
        FreeSpells();
        DeleteAllDynObjects();
        // The spells' effects and their definitions: tests that lend the lists their own arrays
        // would otherwise lose them.
        RemoveAllSfx();
        FreeAllSfxDefs();
        DeleteAllMeshData();
        FreeTypeTables();
        FreeObjectLists();
        ClearObjectLists();
        ResetDynObjectHooks();
        FrameTiming = savedTiming;
        MainCamera = savedCamera;
        CameraState = savedState;
    }
    static SpellEffect Thrown(uint32_t origin, uint32_t launch) {
        SpellEffect r{};
        r.type = 0;
        r.originKind = origin;
        r.launchMode = launch;
        r.soundChannel = -1;
        r.attachPoint = -1;
        r.targetPoint = -1;
        r.amount = 2.0f;
        r.duration = 1.0f;
        r.gravity[1] = -1.0f;
        r.gravityScale = 1.0f;
        r.bounce = 1.0f;
        return r;
    }

    FrameTimingState savedTiming;
    CNztCamera savedCamera;
    decltype(CameraState) savedState;
};

TEST_F(ThrownObjects, SpawnedAtTheOwnersOffsetAndLaunchedInItsFrame) {
    // The owner faces world x: its local z is world x.
    const float quarter[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    NztBaseObject owner;
    std::copy(quarter, quarter + 9, owner.rotation);
    owner.Position[0] = 10.0f;
    owner.range = 321.0f;
    SpellEffect r = Thrown(0, 4);
    r.offset[1] = 5.0f;
    r.offset[2] = 2.0f;
    r.launchVector[2] = 3.0f;
    r.lifeChange = -8.0f;
    r.effectRadius = 4.0f;
    r.callbackFlag = 1;
    NztDynObject* d = SpawnObjectEffect(&r, &owner);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(DynObjectCount, 1u);
    EXPECT_FLOAT_EQ(d->range, 321.0f);
    EXPECT_FLOAT_EQ(d->Position[0], 12.0f);
    EXPECT_FLOAT_EQ(d->Position[1], 5.0f);
    EXPECT_FLOAT_EQ(d->PreviousPosition[0], 12.0f);
    EXPECT_FLOAT_EQ(d->body.radius, 2.0f);
    EXPECT_NE(d->bodyPtr, nullptr);

    LaunchObjectEffect(d, &r, &owner, &owner, nullptr);
    EXPECT_EQ(d->moving, 1u);
    EXPECT_EQ(d->owner, &owner);
    EXPECT_FLOAT_EQ(d->launchVelocity[2], 3.0f);
    EXPECT_FLOAT_EQ(d->velocity[0], 3.0f) << "the launch vector turns with the owner";
    EXPECT_FLOAT_EQ(d->gravity[1], -1.0f);
    EXPECT_FLOAT_EQ(d->startBounceFactor, 1.01f);
    EXPECT_FLOAT_EQ(d->lifetime, 1.0f);
    EXPECT_FLOAT_EQ(d->lifeChange, -8.0f);
    EXPECT_FLOAT_EQ(d->effectRadiusSq, 16.0f);
    EXPECT_NE(d->impactCallback, nullptr);
    EXPECT_EQ(d->lingerOnStop, 1u);

    SpellEffect still = Thrown(3, 3);
    still.amount = 0.0f;
    NztDynObject* ghost = SpawnObjectEffect(&still, nullptr);
    ASSERT_NE(ghost, nullptr);
    EXPECT_EQ(ghost->bodyPtr, nullptr) << "an amount of 0 does not collide";
}

TEST_F(ThrownObjects, TheAimDecidesHowItFlies) {
    NztBaseObject owner, target;
    target.Position[2] = 50.0f;
    struct Case {
        const char* what;
        uint32_t origin, launch;
        bool withTarget;
        int32_t followOwner;
        float duration;
        float velocityZ;
        bool homes, driven;
    } cases[] = {
        // Base position (0, 0, 0) + launch vector (0, 0, 10) from a start at (0, 0, 0).
        {"untargeted, launch equals origin: the way x 0.1 / duration", 3, 3, false, 0, 0.5f, 2.0f, false, false},
        {"the divisor is at least 0.1", 3, 3, false, 0, 0.05f, 10.0f, false, false},
        {"untargeted, launch differs: the vector", 3, 1, false, 0, 0.5f, 10.0f, false, false},
        {"a target of another owner is homed on", 0, 1, true, 0, 0.5f, 10.0f, true, false},
        {"following the owner rides along", 0, 1, true, 1, 0.5f, 0.0f, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SpellEffect r = Thrown(c.origin, c.launch);
        r.launchVector[2] = 10.0f;
        r.duration = c.duration;
        r.followOwner = c.followOwner;
        NztBaseObject* from = c.origin == 3 ? nullptr : &owner;
        NztDynObject* d = SpawnObjectEffect(&r, from);
        ASSERT_NE(d, nullptr);
        LaunchObjectEffect(d, &r, &owner, from, c.withTarget ? &target : nullptr);
        EXPECT_NEAR(d->launchVelocity[2], c.velocityZ, 1e-5f);
        EXPECT_EQ(d->targetObject, c.homes ? &target : nullptr);
        EXPECT_EQ(d->driven, c.driven ? 1u : 0u);
    }
    // An aim on the start itself only rides along.
    SpellEffect r = Thrown(3, 3);
    NztDynObject* d = SpawnObjectEffect(&r, nullptr);
    LaunchObjectEffect(d, &r, &owner, nullptr, nullptr);
    EXPECT_EQ(d->driven, 1u);
}

TEST_F(ThrownObjects, ACastSpellThrowsABallThatLandsAndRunsTheSecondList) {
    NztBaseObject caster;
    caster.Position[1] = 100.0f;
    ASSERT_TRUE(CastSpellAndRun(0, &caster, 0, nullptr));
    ASSERT_EQ(DynObjectCount, 1u) << "the fireball is thrown";
    NztDynObject* ball = DynObjectList[0];
    EXPECT_EQ(ball->owner, &caster);
    EXPECT_EQ(ball->spellIndex, 0);
    EXPECT_FLOAT_EQ(ball->Position[1], 112.0f);
    EXPECT_FLOAT_EQ(CameraState.shakeTime, -1.0f) << "nothing shakes before it lands";

    gSweepsBeforeHit = 5;
    int steps = 0;
    while (ball->moving != 0 && steps < 100) {
        ball->LateUpdate();
        ++steps;
    }
    EXPECT_LT(steps, 100) << "it lands on the sweep that hits";
    EXPECT_EQ(gSweepsBeforeHit, -1);
    EXPECT_GT(ball->Position[2], 4.0f) << "it flew forward";
    EXPECT_FLOAT_EQ(CameraState.shakeTime, 0.6f) << "the landing shakes the camera";
    EXPECT_EQ(caster.spellIndex, 0);
    ASSERT_NE(caster.effectBlock, nullptr);
    EXPECT_FLOAT_EQ(caster.effectBlock->records[0].basePosition[2], ball->Position[2])
        << "the second list starts where the ball landed";
    // The stopped ball leaves the list in its next update.
    ball->LateUpdate();
    EXPECT_EQ(DynObjectCount, 0u);
}

}  // namespace
