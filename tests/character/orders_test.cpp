// Orders and awareness, the action stack, life and death, and the wheel records.
#include <gtest/gtest.h>

#include <utility>

#include "camera/traject.h"
#include "character/entity.h"
#include "fixture.h"
#include "model/anim.h"

namespace {

using Orders = CharacterWorld;

NztTraject Line(int points) {
    NztTraject t;
    for (int i = 0; i < points; ++i) {
        const float x = 10.0f * static_cast<float>(i);
        t.points.push_back({{x, 0, 0}, {x, 0, 0}, {1, 0, 0, 0}});
    }
    return t;
}

TEST_F(Orders, SetOrderDerivesTheClassAndKeepsItForUnknownCodes) {
    NztEntity* e = Plain();
    struct Case {
        int32_t code;
        uint32_t orderClass;
    };
    const Case cases[] = {{3, 1}, {4, 3}, {5, 1}, {6, 2}, {7, 4}, {8, 5}, {50, 5}, {1, 0}, {101, 0}, {100, 0}};
    for (const Case& c : cases) {
        e->orderPending = 0;
        e->SetOrder(c.code);
        EXPECT_EQ(e->orderClass, c.orderClass) << c.code;
        EXPECT_EQ(e->orderPending, 1) << c.code;
    }
    // The same code again changes nothing.
    e->orderPending = 0;
    e->SetOrder(100);
    EXPECT_EQ(e->orderPending, 0);
    // Order 6 clamps the clock so that an attack can follow at once.
    e->orderClock = 9.0f;
    e->SetOrder(6);
    EXPECT_FLOAT_EQ(e->orderClock, e->orderClockLimit);
}

TEST_F(Orders, GoToAPointSendsTwelveOncePerArrival) {
    NztEntity* e = Plain();
    e->SetOrder(7);
    e->radiiSquared[4] = 4.0f;
    e->goalPoint[0] = 10.0f;
    std::vector<uint32_t> codes;
    for (float x : {0.0f, 9.0f, 9.5f, 0.0f, 10.0f}) {
        e->Position[0] = x;
        e->RunOrder();
    }
    EXPECT_EQ(CodesTo(e), (std::vector<uint32_t>{12, 12}));
    EXPECT_EQ(e->orderPending, 0);
}

TEST_F(Orders, FollowTrajectVisitsEveryPointThenEndsOrLoops) {
    NztTraject line = Line(5);
    for (uint32_t loop : {0u, 1u}) {
        SCOPED_TRACE(loop);
        Sent().clear();
        NztEntity* e = Plain();
        e->SetOrder(8);
        e->radiiSquared[4] = 1.0f;
        e->forwardSpeed = 1.0f;
        e->SetTraject(&line, loop, 0, 0, 0.0f);
        std::vector<int32_t> visited;
        for (int step = 0; step < 7; ++step) {
            // The facing step heads for the waypoint; here the character is carried onto it.
            e->WatchPlayer();
            visited.push_back(e->waypoint);
            e->Position[0] = e->goalPoint[0];
            e->RunOrder();
        }
        if (loop == 0) {
            EXPECT_EQ(visited, (std::vector<int32_t>{0, 1, 2, 3, 4, 4, 4}));
            EXPECT_EQ(CodesTo(e), std::vector<uint32_t>{15});
        } else {
            EXPECT_EQ(visited, (std::vector<int32_t>{0, 1, 2, 3, 4, 0, 1}));
            EXPECT_TRUE(CodesTo(e).empty());
        }
        RemoveEntity(e);
    }
}

TEST_F(Orders, FollowTrajectWithoutSpeedNeverArrivesButFacesTheWaypoint) {
    NztTraject line = Line(3);
    NztEntity* e = Plain();
    e->SetOrder(8);
    e->radiiSquared[4] = 10.0f;
    e->forwardSpeed = 0.0f;
    e->facingFactor = 1.0f;
    e->SetTraject(&line, 1, 0, 0, 0.0f);
    e->SetAngles(0, 300, 0);
    // Inside the arrival circle and outside it, the facing step turns it toward the waypoint
    // (-x, then +x); without speed it never arrives.
    for (const auto& [x, yaw] : {std::pair{0.5f, 3072}, std::pair{-20.0f, 1024}}) {
        e->Position[0] = x;
        for (int step = 0; step < 20; ++step) {
            e->WatchPlayer();
            e->RunOrder();
        }
        EXPECT_EQ(e->Yaw(), yaw) << x;
    }
    EXPECT_EQ(e->waypoint, 0);
    EXPECT_TRUE(CodesTo(e).empty());
}

TEST_F(Orders, AnEmptyTrajectoryEndsTheOrder) {
    NztTraject empty;
    NztEntity* e = Plain();
    e->SetOrder(8);
    e->SetTraject(&empty, 1, 0, 1, 0.0f);
    e->WatchPlayer();
    e->RunOrder();
    EXPECT_EQ(e->order, 0);
    EXPECT_EQ(e->orderClass, 0u);
}

TEST_F(Orders, GoToTargetOnFootReachesAndLosesTheTarget) {
    NztEntity* e = Plain();
    NztEntity* t = Plain(100.0f);
    e->SetOrder(5);
    e->SetTarget(t);
    e->radiiSquared[1] = 1.0f;   // near: A = 2
    e->radiiSquared[2] = 50.0f;  // keep: B = 100
    t->radiiSquared[1] = 1.0f;
    t->radiiSquared[2] = 50.0f;
    for (float x : {95.0f, 96.0f, 50.0f, 97.0f}) {
        e->Position[0] = x;
        e->WatchPlayer();
        e->RunOrder();
    }
    EXPECT_EQ(CodesTo(e), (std::vector<uint32_t>{13, 13}));
    // The target goes away: the order finds none and stands.
    RemoveEntity(t);
    EXPECT_EQ(e->target, nullptr);
    e->RunOrder();
    EXPECT_EQ(e->orderDone, 0);
}

TEST_F(Orders, FleeRunsUntilEscapedAndSaysSoOnce) {
    NztEntity* e = Plain();
    NztEntity* t = Plain(5.0f);
    e->radiiSquared[3] = 100.0f;  // own far; C = 100
    e->sprintFactor = 2.0f;
    e->facingFactor = 1.0f;
    e->SetOrder(4);
    e->SetTarget(t);
    e->WatchPlayer();
    e->RunOrder();
    EXPECT_GT(e->speedFactor, 0.0f) << "too close: it speeds up towards its sprint";
    EXPECT_EQ(e->Yaw(), (2048 + 1024) & 4095) << "and turns away";
    for (float x : {50.0f, 60.0f}) {
        t->Position[0] = x;
        e->WatchPlayer();
        e->RunOrder();
    }
    EXPECT_EQ(CodesTo(e), std::vector<uint32_t>{14});
}

TEST_F(Orders, KeepOffsetSendsItsBandEventWhenTheClockRunsOut) {
    NztEntity* e = Plain();
    NztEntity* t = Plain(5.0f);
    e->radiiSquared[1] = 1.0f;
    e->radiiSquared[2] = 20.0f;
    e->radiiSquared[3] = 100.0f;
    e->SetTarget(t);
    struct Case {
        float x;
        uint32_t code;
    };
    // A 1, B 20, C 100: 16 lies in the close band, 64 in the middle band.
    const Case cases[] = {{4.0f, 31}, {8.0f, 32}};
    for (const Case& c : cases) {
        Sent().clear();
        e->order = 0;
        e->orderClock = 9.0f;
        e->SetOrder(6);
        t->Position[0] = c.x;
        e->WatchPlayer();
        e->RunOrder();
        EXPECT_EQ(CodesTo(e), std::vector<uint32_t>{c.code}) << c.x;
        EXPECT_FLOAT_EQ(e->orderClock, 0.0f);
    }
}

TEST_F(Orders, AwarenessEventsFollowThePlayer) {
    NztEntity* player = Plain(100.0f);
    NztEntity* e = Plain();
    PlayerEntity = player;
    e->radiiSquared[0] = 100.0f;
    for (float x : {100.0f, 5.0f, 6.0f, 7.0f, 50.0f}) {
        player->Position[0] = x;
        e->WatchPlayer();
    }
    EXPECT_EQ(CodesTo(e), (std::vector<uint32_t>{20, 21, 21, 22}));
    Sent().clear();
    e->radiiSquared[0] = 0.0f;
    player->Position[0] = 0.0f;
    e->WatchPlayer();
    EXPECT_TRUE(Sent().empty());
}

// ---------------------------------------------------------------------------------------------
// Action stack

using Actions = CharacterWorld;

TEST_F(Actions, EqualityFollowsTheMemberPointerAndItsAdjustments) {
    const NztAction jump = MakeAction(&NztEntity::ActJump);
    struct Case {
        const char* what;
        NztAction a, b;
        bool equal;
    };
    const Case cases[] = {
        {"same callback", jump, MakeAction(&NztEntity::ActJump), true},
        {"other callback", jump, MakeAction(&NztEntity::ActDive), false},
        {"other adjustment", jump, NztAction{&NztEntity::ActJump, 0, 0, 1}, false},
        {"two empty slots", NztAction{}, NztAction{nullptr, 4, 5, 6}, true},
        {"empty against pushed", NztAction{}, jump, false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.a == c.b, c.equal) << c.what;
}

TEST_F(Actions, PushIgnoresDuplicatesAndRemoveClosesTheGap) {
    NztEntity* e = Plain();
    const NztAction a = MakeAction(&NztEntity::ActJump), b = MakeAction(&NztEntity::ActDive);
    e->PushAction(a);
    e->PushAction(b);
    e->PushAction(a);
    ASSERT_EQ(e->actionCount, 2u);
    e->RemoveAction(a);
    EXPECT_EQ(e->actionCount, 1u);
    EXPECT_TRUE(e->actionSlots[0] == b);
    EXPECT_TRUE(e->actionSlots[1] == NztAction{});
    EXPECT_EQ(e->actionSlots[1].adjust3, -1);
    e->RemoveAction(a);  // not there
    EXPECT_EQ(e->actionCount, 1u);
    // A full stack takes no more.
    void (NztEntity::*callbacks[])() = {&NztEntity::ActJump,          &NztEntity::ActFall,
                                        &NztEntity::ActJumpHandUpBig, &NztEntity::ActJumpHandAway,
                                        &NztEntity::ActClimbJumpUp,   &NztEntity::ActClimbJumpDown,
                                        &NztEntity::ActClimbJumpLeft, &NztEntity::ActClimbJumpRight,
                                        &NztEntity::ActClimbJumpBack, &NztEntity::ActClimbEndUp,
                                        &NztEntity::ActFallDown};
    for (auto cb : callbacks) e->PushAction(MakeAction(cb));
    EXPECT_EQ(e->actionCount, EntityActionCapacity);
}

TEST_F(Actions, DeathIsSentOncePerDeathAfterTheTargetIsLetGo) {
    NztEntity* e = Plain();
    NztEntity* t = Plain(5.0f);
    e->SetMaxLife(10.0f);
    e->SetTarget(t);
    e->Damage(50.0f);
    EXPECT_FLOAT_EQ(e->life, 0.0f);
    e->SelectAction();
    e->SelectAction();
    EXPECT_EQ(e->target, nullptr);
    EXPECT_EQ(CodesTo(e), std::vector<uint32_t>{34});
    e->Damage(-100.0f);
    EXPECT_FLOAT_EQ(e->life, 10.0f);
    e->SelectAction();
    e->Damage(10.0f);
    e->SelectAction();
    EXPECT_EQ(CodesTo(e), (std::vector<uint32_t>{34, 34}));
}

TEST_F(Actions, DrowningDrainsAQuarterOfTheRateWhileAirIsOut) {
    NztEntity* e = Plain();
    e->SetMaxLife(10.0f);
    e->drainRate = 4.0f;
    e->reserve = 0.0f;
    e->SelectAction();
    EXPECT_FLOAT_EQ(e->life, 9.0f);
    e->reserve = 1.0f;
    e->SelectAction();
    EXPECT_FLOAT_EQ(e->life, 9.0f);
}

TEST_F(Actions, TheCurrentAnimationChoosesTheAction) {
    NztEntity* e = Plain();
    NztAnim jump;
    jump.JumpStartFlag = 1;
    e->currentAnim = &jump;
    e->flying = 1;
    e->SelectAction();
    EXPECT_EQ(e->actionCount, 0u);
    e->flying = 0;
    e->SelectAction();
    ASSERT_EQ(e->actionCount, 1u);
    EXPECT_TRUE(e->actionSlots[0] == MakeAction(&NztEntity::ActJump));
    // While a move runs nothing more is pushed.
    e->ClearActionSlots();
    e->actionIdle = 0;
    e->SelectAction();
    EXPECT_EQ(e->actionCount, 0u);
    e->currentAnim = nullptr;
}

TEST_F(Actions, ResetActionsEmptiesTheStackAndLeavesTheHold) {
    NztEntity* e = Plain();
    e->PushAction(MakeAction(&NztEntity::ActDive));
    e->actionState = 1;
    e->airborne = 1;
    e->startHeight = 5.0f;
    e->ResetActions();
    EXPECT_EQ(e->actionCount, 0u);
    EXPECT_EQ(e->actionIdle, 1);
    EXPECT_EQ(e->airborne, 0u);
    EXPECT_EQ(e->actionState, 0u);
    EXPECT_FLOAT_EQ(e->startHeight, 0.0f);
    EXPECT_EQ(CodesTo(e), std::vector<uint32_t>{57});
}

}  // namespace
