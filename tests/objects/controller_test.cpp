// The key controller: key steps and lifetimes, how a base object applies them, and the events the
// controller parts of base objects and triggers raise.
#include "objects/controller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "core/nztmath.h"
#include "game/frame.h"
#include "objects/base3d.h"
#include "objects/triggers.h"

namespace {

struct RaisedEvent {
    const NztEventObject* object;
    uint32_t code;
};

std::vector<RaisedEvent>& Raised() {
    static std::vector<RaisedEvent> events;
    return events;
}

std::vector<uint32_t> CodesOn(const NztEventObject* object) {
    std::vector<uint32_t> codes;
    for (const RaisedEvent& e : Raised()) {
        if (e.object == object) codes.push_back(e.code);
    }
    return codes;
}

NztControllerKey Key(uint32_t kind, float duration, float x, float y, float z) {
    NztControllerKey k;
    k.kind = kind;
    k.duration = duration;
    k.vector[0] = x;
    k.vector[1] = y;
    k.vector[2] = z;
    return k;
}

class Controllers : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        savedTiming = FrameTiming;
        savedAccumulators = FrameAccumulators;
        FrameTiming.frameTime = 0.1f;
        // Off the 0.1 s tick unless a test says otherwise.
        FrameAccumulators.tickA = 0.05f;
        Raised().clear();
        ObjectServices.sendEvent = [](NztEventObject* object, uint32_t code, uint32_t, uint32_t, uint32_t) {
            Raised().push_back({object, code});
            return 0u;
        };
    }
    void TearDown() override {
        ResetObjectHooks();
        FrameTiming = savedTiming;
        FrameAccumulators = savedAccumulators;
    }

    FrameTimingState savedTiming;
    FrameAccumulatorState savedAccumulators;
};

TEST_F(Controllers, AddKeyCopiesTheKeyAndWorksOutItsInverseDuration) {
    NztController c;
    EXPECT_EQ(c.timeSource, &FrameTiming.frameTime);
    const NztControllerKey given = Key(ControllerKeyPushLocal, 4.0f, 1, 2, 3);
    NztControllerKeyState* state = c.AddKey(&given);
    ASSERT_EQ(c.keyCount, 1);
    EXPECT_EQ(state, &c.keyStates[0]);
    EXPECT_EQ(state->kind, ControllerKeyPushLocal);
    EXPECT_EQ(state->elapsed, 0.0f);
    EXPECT_EQ(c.keys[0].inverseDuration, 0.25f);
    EXPECT_EQ(c.keys[0].vector[2], 3.0f);

    // No key given: a still key of no duration, whose inverse is 1 rather than infinite.
    c.AddKey(nullptr);
    ASSERT_EQ(c.keyCount, 2);
    EXPECT_EQ(c.keys[1].kind, ControllerKeyMove);
    EXPECT_EQ(c.keys[1].duration, 0.0f);
    EXPECT_EQ(c.keys[1].inverseDuration, 1.0f);
}

TEST_F(Controllers, DeleteKeyClosesTheGapAndIgnoresIndexesOutsideTheList) {
    NztController c;
    for (int i = 0; i < 3; ++i) {
        const NztControllerKey k = Key(ControllerKeyMove, 1.0f + static_cast<float>(i), 0, 0, 0);
        c.AddKey(&k);
    }
    c.DeleteKey(3);
    c.DeleteKey(-1);
    ASSERT_EQ(c.keyCount, 3);
    c.DeleteKey(1);
    ASSERT_EQ(c.keyCount, 2);
    EXPECT_EQ(c.keys[0].duration, 1.0f);
    EXPECT_EQ(c.keys[1].duration, 3.0f);
    c.DeleteKey(0);
    c.DeleteKey(0);
    EXPECT_EQ(c.keyCount, 0);
    EXPECT_EQ(c.keys, nullptr);
    EXPECT_EQ(c.keyStates, nullptr);
    c.DeleteKey(0);  // an empty list stays empty
    EXPECT_EQ(c.keyCount, 0);
}

// Each key runs at 0.1 s frames on a fresh object; positions (or yaw) are recorded after every
// update until the key is gone.
TEST_F(Controllers, KeyKindsStepTheObjectUntilTheirTimeIsUp) {
    struct Case {
        const char* what;
        NztControllerKey key;
        std::vector<float> steps;  // per update, along x (kinds 0, 2, 3, 4)
    };
    const Case cases[] = {
        {"a move arrives whole, the last step cut at the end",
         Key(ControllerKeyMove, 1.0f, 10, 0, 0),
         {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
        {"a push fades to nothing and does not add up to its vector",
         Key(ControllerKeyPush, 1.0f, 10, 0, 0),
         {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0}},
        {"a key of no duration goes at its first update without effect",
         Key(ControllerKeyMove, 0.0f, 10, 0, 0),
         {}},
    };
    for (const Case& c : cases) {
        NztBaseObject object;
        object.AddKey(&c.key);
        std::vector<float> steps;
        float last = object.Position[0];
        for (int update = 0; update < 30 && object.ApplyControllerKeys() != 0; ++update) {
            steps.push_back(object.Position[0] - last);
            last = object.Position[0];
        }
        // The update that finds the time used up removes the key and applies nothing.
        EXPECT_EQ(object.Position[0], last) << c.what;
        // Float time may reach the duration one update early: the last, empty step then goes.
        ASSERT_GE(steps.size() + 1, c.steps.size()) << c.what;
        ASSERT_LE(steps.size(), c.steps.size()) << c.what;
        for (size_t i = 0; i < steps.size() && i < c.steps.size(); ++i) {
            EXPECT_NEAR(steps[i], c.steps[i], 1e-4f) << c.what << " update " << i;
        }
        EXPECT_EQ(object.keyCount, 0) << c.what;
    }

    NztBaseObject mover;
    const NztControllerKey move = Key(ControllerKeyMove, 1.0f, 10, 0, 0);
    mover.AddKey(&move);
    while (mover.ApplyControllerKeys() != 0) {
    }
    EXPECT_NEAR(mover.Position[0], 10.0f, 1e-4f);
}

TEST_F(Controllers, TurningKeysTurnTheObjectAndReportTheirStep) {
    NztBaseObject object;
    // Four steps of 256 units: each is rounded into the packed yaw, so keep them whole.
    const NztControllerKey turn = Key(ControllerKeyTurn, 0.4f, 0, 1024, 0);
    object.AddKey(&turn);
    object.ApplyControllerKeys();
    EXPECT_NEAR(object.output[1], 256.0f, 1e-3f);
    while (object.ApplyControllerKeys() != 0) {
    }
    // A quarter turn about y: forward (row 2) ends along +x.
    EXPECT_EQ((object.packedAngles >> 12) & 0xFFFu, 1024u);
    EXPECT_NEAR(object.rotation[6], 1.0f, 1e-4f);
    EXPECT_NEAR(object.rotation[8], 0.0f, 1e-4f);
}

TEST_F(Controllers, LockedAxesKeepTheirCoordinateUnderEveryMovingKind) {
    const uint32_t moving[] = {ControllerKeyMove, ControllerKeyPush, ControllerKeyMoveLocal,
                               ControllerKeyPushLocal};
    for (uint32_t kind : moving) {
        NztBaseObject object;
        object.axisLocks[1] = 1;
        const NztControllerKey k = Key(kind, 1.0f, 3, 4, 5);
        object.AddKey(&k);
        while (object.ApplyControllerKeys() != 0) {
        }
        EXPECT_EQ(object.Position[1], 0.0f) << "kind " << kind;
        EXPECT_GT(object.Position[0], 0.0f) << "kind " << kind;
        EXPECT_GT(object.Position[2], 0.0f) << "kind " << kind;
    }

    // Turning ignores the locks.
    NztBaseObject turner;
    turner.axisLocks[0] = turner.axisLocks[1] = turner.axisLocks[2] = 1;
    const NztControllerKey turn = Key(ControllerKeyTurn, 0.4f, 0, 512, 0);
    turner.AddKey(&turn);
    while (turner.ApplyControllerKeys() != 0) {
    }
    EXPECT_EQ((turner.packedAngles >> 12) & 0xFFFu, 512u);
}

TEST_F(Controllers, LocalKindsMoveAlongTheObjectsOwnAxes) {
    NztBaseObject object;
    object.SetYaw(1024);  // forward is +x
    const NztControllerKey k = Key(ControllerKeyMoveLocal, 0.5f, 0, 0, 6);
    object.AddKey(&k);
    while (object.ApplyControllerKeys() != 0) {
    }
    EXPECT_NEAR(object.Position[0], 6.0f, 1e-4f);
    EXPECT_NEAR(object.Position[2], 0.0f, 1e-4f);
}

TEST_F(Controllers, BaseObjectsRaiseEventsAsTheListFillsAndEmpties) {
    NztBaseObject object;
    const NztControllerKey short1 = Key(ControllerKeyMove, 0.1f, 1, 0, 0);
    const NztControllerKey long1 = Key(ControllerKeyMove, 0.3f, 1, 0, 0);

    object.AddKey(&short1);
    object.AddKey(&long1);
    EXPECT_EQ(CodesOn(&object), (std::vector<uint32_t>{ControllerEventFirstKey}));

    // Removing one of two keys says nothing; removing the last says the list is empty.
    Raised().clear();
    while (object.ApplyControllerKeys() != 0) {
    }
    EXPECT_EQ(CodesOn(&object), (std::vector<uint32_t>{ControllerEventKeysEmptied}));

    Raised().clear();
    object.AddKey(&short1);
    object.DeleteKey(0);
    object.ClearKeys();  // already empty: no event
    EXPECT_EQ(CodesOn(&object), (std::vector<uint32_t>{ControllerEventFirstKey, ControllerEventKeysEmptied}));

    Raised().clear();
    object.AddKey(&short1);
    object.AddKey(&long1);
    object.ClearKeys();
    EXPECT_EQ(object.keyCount, 0);
    EXPECT_EQ(object.keys, nullptr);
    EXPECT_EQ(CodesOn(&object), (std::vector<uint32_t>{ControllerEventFirstKey, ControllerEventKeysEmptied}));
}

TEST_F(Controllers, RunningKeysReachObjectsOnTheTickAndTriggersEveryUpdate) {
    NztBaseObject object;
    NztEventTrigger trigger;
    const NztControllerKey k = Key(ControllerKeyMove, 10.0f, 1, 0, 0);
    object.AddKey(&k);
    trigger.AddKey(&k);
    Raised().clear();

    const float ticks[] = {0.05f, 0.0f, 0.03f, 0.0f};
    for (float tick : ticks) {
        FrameAccumulators.tickA = tick;
        object.UpdateKeys();
        trigger.UpdateKeys();
    }
    EXPECT_EQ(CodesOn(&object), (std::vector<uint32_t>(2, ControllerEventKeysRunning)));
    EXPECT_EQ(CodesOn(&trigger), (std::vector<uint32_t>(4, ControllerEventKeysRunning)));

    // Triggers share the other wrapped slots.
    Raised().clear();
    trigger.DeleteKey(0);
    EXPECT_EQ(CodesOn(&trigger), (std::vector<uint32_t>{ControllerEventKeysEmptied}));
    EXPECT_EQ(trigger.kind, ObjectKindTrigger);
}

TEST_F(Controllers, DisplacementKeysFollowTheOtherObjectsMotionOnlyWhenAsked) {
    NztBaseObject object, other;
    object.motion[1] = {1, 1, 1};
    other.motion[1] = {4, 3, 2};
    object.AddDisplacementKey(&other);
    EXPECT_EQ(object.keyCount, 0);

    object.followDisplacement = 1;
    object.AddDisplacementKey(&other);
    ASSERT_EQ(object.keyCount, 1);
    EXPECT_EQ(object.keys[0].kind, ControllerKeyPush);
    EXPECT_EQ(object.keys[0].duration, 1.0f);
    EXPECT_EQ(object.keys[0].vector[0], 3.0f);
    EXPECT_EQ(object.keys[0].vector[1], 2.0f);
    EXPECT_EQ(object.keys[0].vector[2], 1.0f);
    EXPECT_EQ(CodesOn(&object), (std::vector<uint32_t>{ControllerEventFirstKey}));
}

TEST_F(Controllers, ACopiedControllerOwnsItsKeys) {
    CNztCamera camera;
    const NztControllerKey k = Key(ControllerKeyMove, 1.0f, 1, 2, 3);
    camera.AddKey(&k);
    CNztCamera copy = camera;
    camera.ClearKeys();
    ASSERT_EQ(copy.keyCount, 1);
    EXPECT_EQ(copy.keys[0].vector[1], 2.0f);
    copy = CNztCamera{};
    EXPECT_EQ(copy.keyCount, 0);
    EXPECT_TRUE(Raised().empty());  // plain controllers raise nothing
}

}  // namespace
