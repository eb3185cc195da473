// The effects an object runs from its spell instance: who each effect starts from and aims at, the
// order of the records, and the camera shakes.
#include "character/objeffects.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camera/camera.h"
#include "character/entity.h"
#include "character/spell.h"
#include "effects/thunder.h"
#include "model/mesh.h"
#include "objects/base3d.h"

namespace {

SpellEffect Record(uint32_t type, uint32_t origin, uint32_t launch) {
    SpellEffect r{};
    r.type = type;
    r.originKind = origin;
    r.launchMode = launch;
    r.soundChannel = -1;
    return r;
}

TEST(ObjectEffects, OwnersAndTargetsFollowTheOriginAndLaunchKinds) {
    NztBaseObject o, t, a, b;
    const std::vector<NztBaseObject*> listed = {&a, &b};
    using Pairs = std::vector<EffectPair>;
    struct Case {
        uint32_t type, origin, launch;
        Pairs expected;
    } cases[] = {
        {0, 0, 0, {{&o, &o}}},
        {0, 0, 1, {{&o, &t}}},
        {0, 0, 2, {{&o, &a}, {&o, &b}}},
        {0, 0, 3, {{&o, nullptr}}},
        {0, 0, 4, {{&o, &t}}},
        {1, 0, 4, {{&o, nullptr}}},
        {1, 1, 0, {{&t, &o}}},
        {0, 1, 2, {{&t, &a}, {&t, &b}}},
        {0, 1, 4, {{&t, nullptr}}},
        {0, 2, 1, {{&a, &t}, {&b, &t}}},
        {0, 2, 2, {{&a, &a}, {&b, &b}}},
        {1, 2, 4, {{&a, nullptr}, {&b, nullptr}}},
        {0, 3, 0, {{nullptr, &o}}},
        {0, 3, 2, {{nullptr, &a}, {nullptr, &b}}},
        {0, 4, 0, {}},
        {0, 0, 5, {}},
    };
    for (const Case& c : cases) {
        const SpellEffect r = Record(c.type, c.origin, c.launch);
        EXPECT_EQ(EffectPairs(r, &o, &t, listed), c.expected)
            << "type " << c.type << " origin " << c.origin << " launch " << c.launch;
    }
    EXPECT_TRUE(EffectPairs(Record(0, 0, 2), &o, &t, {}).empty()) << "no listed objects, no effect";
}

class ObjectEffectRuns : public ::testing::Test {
protected:
    void SetUp() override {
        savedCamera = MainCamera;
        savedState = CameraState;
        MainCamera.eye = {0.0f, 0.0f, 0.0f};
        CameraState.shakeTime = -1.0f;
        instance = SpellInstance{};
        object.effectBlock = &instance;
    }
    void TearDown() override {
        MainCamera = savedCamera;
        CameraState = savedState;
        object.effectBlock = nullptr;
    }

    void Run(std::vector<SpellEffect>& records) {
        instance.records = records.data();
        instance.recordCount = static_cast<uint32_t>(records.size());
        RunObjectEffects(&object, nullptr);
    }

    static SpellEffect Shake(uint32_t origin, float time) {
        SpellEffect r = Record(4, origin, 0);
        r.duration = time;
        r.amount = 100.0f;
        return r;
    }

    CNztCamera savedCamera;
    decltype(CameraState) savedState;
    SpellInstance instance{};
    NztBaseObject object;
};

TEST_F(ObjectEffectRuns, RecordsRunFromTheLastAndUnknownTypesAreSkipped) {
    object.Position[0] = 10.0f;
    std::vector<SpellEffect> records = {Shake(0, 1.0f), Record(5, 0, 0), Record(77, 0, 0), Shake(0, 2.0f)};
    Run(records);
    EXPECT_FLOAT_EQ(CameraState.shakeTime, 1.0f) << "the first record runs last";
    EXPECT_FLOAT_EQ(CameraState.shakeStrength, 10.0f) << "strength over the distance to the eye";
}

TEST_F(ObjectEffectRuns, CameraShakesTakeTheirPointFromTheOrigin) {
    NztBaseObject near, far;
    near.Position[0] = 4.0f;
    far.Position[0] = 50.0f;
    NztBase3D* listed[] = {&near, nullptr, &far};
    instance.listedObjects = listed;
    instance.listedCount = 3;
    object.Position[0] = 20.0f;
    struct Case {
        const char* what;
        SpellEffect record;
        float time;
        float strength;
    } cases[] = {
        {"the object", Shake(0, 1.0f), 1.0f, 5.0f},
        {"no target on an object that is not a character", Shake(1, 1.0f), -1.0f, 0.0f},
        {"every listed object, the last one last", Shake(2, 2.0f), 2.0f, 2.0f},
        {"the base position", [] {
             SpellEffect r = Shake(3, 3.0f);
             r.basePosition[1] = 25.0f;
             return r;
         }(), 3.0f, 4.0f},
        {"an origin past the kinds", Shake(4, 1.0f), -1.0f, 0.0f},
    };
    for (const Case& c : cases) {
        CameraState.shakeTime = -1.0f;
        CameraState.shakeStrength = 0.0f;
        std::vector<SpellEffect> records = {c.record};
        Run(records);
        EXPECT_FLOAT_EQ(CameraState.shakeTime, c.time) << c.what;
        EXPECT_FLOAT_EQ(CameraState.shakeStrength, c.strength) << c.what;
    }
}

TEST_F(ObjectEffectRuns, ACharactersTargetIsShakenAndARunWithoutInstanceDoesNothing) {
    NztEntity character, target;
    target.Position[2] = 20.0f;
    character.target = &target;
    character.effectBlock = &instance;
    std::vector<SpellEffect> records = {Shake(1, 1.5f)};
    instance.records = records.data();
    instance.recordCount = 1;
    RunObjectEffects(&character, nullptr);
    EXPECT_FLOAT_EQ(CameraState.shakeTime, 1.5f);
    EXPECT_FLOAT_EQ(CameraState.shakeStrength, 5.0f);
    character.effectBlock = nullptr;

    CameraState.shakeTime = -1.0f;
    RunObjectEffects(&character, nullptr);
    RunObjectEffects(nullptr, nullptr);
    // A bolt end whose second list cannot be cast does not run the first list again.
    NztThunder bolt;
    bolt.notedObject = &character;
    character.effectBlock = &instance;
    OnThunderEnd(&bolt);
    character.effectBlock = nullptr;
    EXPECT_FLOAT_EQ(CameraState.shakeTime, -1.0f);
    instance.records = nullptr;
    instance.recordCount = 4;
    RunObjectEffects(&object, nullptr);
    EXPECT_FLOAT_EQ(CameraState.shakeTime, -1.0f);
}

TEST(ObjectEffects, ABoltEndsWhereTheRecordAims) {
    // The owner and the target are turned a quarter about y: local z is world x.
    const float quarter[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    NztBaseObject owner, target, object;
    std::copy(quarter, quarter + 9, owner.rotation);
    std::copy(quarter, quarter + 9, target.rotation);
    target.Position[1] = 50.0f;
    target.attachPoints.resize(1);
    target.attachPoints[0].Anchor = 0;
    target.vertices = {Vec3{0.0f, 0.0f, 9.0f}};
    struct Case {
        const char* what;
        uint32_t launch;
        int32_t targetPoint;
        int32_t orient;
        bool withOwner, withTarget;
        float end[3];
        bool tiedToTarget;
        int32_t orientAfter;
    } cases[] = {
        {"a local vector turned by the owner", 4, 0, 0, true, true, {101.0f, 2.0f, 3.0f}, false, 0},
        {"a local vector without owner stays unturned", 4, 0, 0, false, false, {1.0f, 2.0f, 103.0f}, false, 0},
        {"the target point moved in the target's frame", 1, 0, 0, true, true, {100.0f, 0.0f, 9.0f}, false, 0},
        {"the target point tied to the target", 1, 0, 1, true, true, {0.0f, 0.0f, 9.0f}, true, 1},
        {"a point the target lacks", 1, 3, 1, true, true, {0.0f, 50.0f, 0.0f}, false, 0},
        {"no target", 1, 0, 1, true, false, {-5.0f, 0.0f, 100.0f}, false, 1},
    };
    for (const Case& c : cases) {
        SpellEffect r = Record(1, 0, c.launch);
        r.launchVector[2] = 100.0f;
        r.basePosition[0] = -5.0f;
        r.targetPoint = c.targetPoint;
        r.orient = c.orient;
        r.duration = 0.75f;
        NztThunder bolt;
        bolt.startPosition[0] = 1.0f;
        bolt.startPosition[1] = 2.0f;
        bolt.startPosition[2] = 3.0f;
        AimThunderEffect(&bolt, &r, c.withOwner ? &owner : nullptr, &object, c.withTarget ? &target : nullptr);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(bolt.endPosition[k], c.end[k], 1e-4f) << c.what << " axis " << k;
        EXPECT_EQ(bolt.endObject, c.tiedToTarget ? &target : nullptr) << c.what;
        EXPECT_EQ(r.orient, c.orientAfter) << c.what;
        EXPECT_EQ(bolt.active, 1u) << c.what;
        EXPECT_FLOAT_EQ(bolt.remaining, 0.75f) << c.what;
        EXPECT_EQ(bolt.endCallback, nullptr) << c.what;
    }

    SpellEffect r = Record(1, 0, 3);
    r.callbackFlag = 1;
    NztThunder bolt;
    AimThunderEffect(&bolt, &r, nullptr, &object, nullptr);
    EXPECT_EQ(bolt.endCallback, &OnThunderEnd);
    EXPECT_EQ(bolt.notedObject, &object);
}

}  // namespace
