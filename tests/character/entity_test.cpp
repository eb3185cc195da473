// The character object: set-up from its type, animation slots, cross-fades, targets and their
// events, release, contacts, mounting, facing and placement.
#include <gtest/gtest.h>

#include <cmath>

#include "character/animslots.h"
#include "character/entity.h"
#include "fixture.h"
#include "model/anim.h"

namespace {

class Characters : public CharacterWorld {
protected:
    void SetUp() override {
        CharacterWorld::SetUp();
        UseSampleData();
    }
    NztEntity* Hero() {
        NztEntity* e = GetEntityType("Hero1001");
        EXPECT_NE(e, nullptr);
        return e;
    }
};

TEST_F(Characters, SetupMakesTheIdleCurrentAndOwnsAFiveFrameTransition) {
    NztEntity* hero = Hero();
    ASSERT_NE(hero, nullptr);
    NztAnim* idle = hero->GetAnim(0);
    ASSERT_NE(idle, nullptr);
    EXPECT_EQ(hero->currentAnim, idle);
    EXPECT_EQ(hero->requestedAnim, idle);
    EXPECT_EQ(hero->kind, ObjectKindEntity);
    EXPECT_FLOAT_EQ(hero->range, 250.0f);
    EXPECT_FLOAT_EQ(hero->fadeStart, 200.0f);
    ASSERT_NE(hero->blendAnim, nullptr);
    EXPECT_EQ(hero->blendAnim->FrameCount, 5u);
    EXPECT_EQ(hero->actionCount, 0u);
    EXPECT_EQ(hero->actionSlots[0].adjust3, -1);
    EXPECT_EQ(hero->probeShape, &hero->probeBlock);
}

TEST_F(Characters, SlotsResolveByIndexAndNameAndMissingFilesStayMissing) {
    NztEntity* hero = Hero();
    ASSERT_NE(hero, nullptr);
    EXPECT_EQ(hero->GetAnim(static_cast<uint32_t>(-1)), nullptr);
    NztAnim* walk = hero->GetAnim(animslot::MoveWalk);
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(hero->GetAnimByName("movewalk"), walk);
    EXPECT_EQ(hero->GetAnimByName("MOVESTATIC01"), hero->GetAnim(0));
    EXPECT_EQ(hero->GetAnimByName("NoSuchMove"), nullptr);
    const uint32_t anims = AnimCount;
    // A slot whose file is absent answers null every time, without trying again.
    EXPECT_EQ(hero->GetAnim(animslot::MoveRun), nullptr);
    EXPECT_EQ(hero->GetAnim(animslot::MoveRun), nullptr);
    EXPECT_EQ(AnimCount, anims);
    EXPECT_EQ(hero->SlotOf(walk), static_cast<int32_t>(animslot::MoveWalk));
}

TEST_F(Characters, LayeredCrossFadeRunsOverSteppedFrames) {
    NztEntity* hero = Hero();
    ASSERT_NE(hero, nullptr);
    NztAnim* idle = hero->GetAnim(0);
    NztAnim* walk = hero->GetAnim(animslot::MoveWalk);
    ASSERT_NE(walk, nullptr);
    ASSERT_NE(idle->LoopFlag, 0u);
    ASSERT_NE(walk->LoopFlag, 0u);
    ASSERT_GT(idle->FrameCount, walk->FrameCount);
    hero->currentFrame = 25;
    // The idle is longer: the walk becomes current at once, at the same fraction of its cycle, and
    // the idle fades out as a layer.
    EXPECT_EQ(hero->BlendToAnim(walk, 0, nullptr, 0), 1);
    EXPECT_EQ(hero->currentAnim, walk);
    EXPECT_EQ(hero->currentFrame, 25 * 24 / 50);
    EXPECT_EQ(hero->layers[0].Anim, idle);
    EXPECT_FLOAT_EQ(hero->blendWeight, 0.9f);
    // Asking again while it fades changes nothing.
    EXPECT_EQ(hero->BlendToAnim(idle, 0, nullptr, 0), 0);
    std::vector<float> weights;
    for (int frame = 0; frame < 12 && hero->layers[0].Anim != nullptr; ++frame) {
        hero->UpdateBehaviour();
        weights.push_back(hero->layers[0].Anim != nullptr ? hero->layers[0].Weight : -1.0f);
        hero->StepAnimation();
    }
    EXPECT_EQ(hero->layers[0].Anim, nullptr);
    EXPECT_EQ(hero->currentAnim, walk);
    ASSERT_GE(weights.size(), 8u);
    for (size_t i = 1; i + 1 < weights.size(); ++i) EXPECT_LT(weights[i], weights[i - 1]) << i;
    // Back to the idle, the shorter walk is current: the idle fades in as a layer until it takes over.
    EXPECT_EQ(hero->BlendToAnim(idle, 0, nullptr, 0), 1);
    EXPECT_EQ(hero->currentAnim, walk);
    EXPECT_EQ(hero->layers[0].Anim, idle);
    for (int frame = 0; frame < 12; ++frame) {
        hero->UpdateBehaviour();
        hero->StepAnimation();
    }
    EXPECT_EQ(hero->currentAnim, idle);
    EXPECT_EQ(hero->layers[0].Anim, nullptr);
}

TEST_F(Characters, TransitionAnimationLeadsToTheRequestedOne) {
    NztEntity* hero = Hero();
    ASSERT_NE(hero, nullptr);
    NztAnim* walk = hero->GetAnim(animslot::MoveWalk);
    ASSERT_NE(walk, nullptr);
    walk->LoopFlag = 0;  // no layered blend: the owned transition carries the fade
    EXPECT_EQ(hero->BlendToAnim(walk, 0, nullptr, 3), 1);
    EXPECT_EQ(hero->currentAnim, hero->blendAnim);
    EXPECT_EQ(hero->requestedAnim, walk);
    EXPECT_EQ(hero->frameCount, 5);
    // While the transition plays nothing else may start.
    EXPECT_EQ(hero->BlendToAnim(hero->GetAnim(0), 0, nullptr, 0), 0);
    int frames = 0;
    while (hero->currentAnim == hero->blendAnim && frames < 10) {
        hero->StepAnimation();
        ++frames;
    }
    EXPECT_EQ(hero->currentAnim, walk);
    EXPECT_EQ(hero->currentFrame, 3);  // the stored start frame
    EXPECT_LE(frames, 5);
}

TEST_F(Characters, SetAnimIsIgnoredOnAnUnskinnedMesh) {
    NztEntity* e = Plain();
    NztMesh mesh;
    e->mesh = &mesh;
    NztAnim anim;
    e->SetAnim(&anim, 1, nullptr, 0);
    EXPECT_EQ(e->currentAnim, nullptr);
    EXPECT_EQ(e->locked, 0);
    e->mesh = nullptr;
    // Without layer records a blend answers 0.
    EXPECT_EQ(e->BlendToAnim(&anim, 0, nullptr, 0), 0);
}

// ---------------------------------------------------------------------------------------------
// Targets and release

TEST_F(CharacterWorld, TargetsRefuseSelfMountAndRiderAndSendTheirEvents) {
    NztEntity* player = Plain();
    NztEntity* other = Plain(10.0f);
    NztEntity* mount = Plain(20.0f);
    PlayerEntity = player;
    player->riddenEntity = mount;
    struct Case {
        const char* what;
        NztEntity* candidate;
        bool taken;
    };
    const Case cases[] = {
        {"itself", player, false},
        {"the ridden character", mount, false},
        {"another character", other, true},
    };
    for (const Case& c : cases) {
        player->target = nullptr;
        Sent().clear();
        player->SetTarget(c.candidate);
        EXPECT_EQ(player->target, c.taken ? c.candidate : nullptr) << c.what;
        EXPECT_EQ(CodesTo(c.candidate), c.taken ? std::vector<uint32_t>{38} : std::vector<uint32_t>{}) << c.what;
    }
    // Changing the player's target: 39 to the old one, 38 to the new one; with order 6 also 30.
    player->order = EntityOrderKeepOffset;
    Sent().clear();
    player->SetTarget(mount);  // refused: the old target is lost
    EXPECT_EQ(player->target, nullptr);
    EXPECT_EQ(CodesTo(other), (std::vector<uint32_t>{30, 39}));
    // A character riding this one is no target either.
    NztEntity* rider = Plain(5.0f);
    rider->riddenEntity = other;
    other->SetTarget(rider);
    EXPECT_EQ(other->target, nullptr);
}

TEST_F(Characters, ReleaseTellsTheLostTargetWhileItIsWholeAndLeavesNoReference) {
    NztEntity* player = Plain();
    NztEntity* fighter = Plain(5.0f);
    NztEntity* victim = Hero();
    ASSERT_NE(victim, nullptr);
    PlayerEntity = player;
    player->target = victim;
    fighter->target = victim;
    fighter->order = EntityOrderKeepOffset;
    fighter->riddenEntity = victim;
    fighter->groundContact.secondObject = victim;
    // Every handler sees the character still whole: its transition animation and collision data.
    static NztEntity* released;
    static int wholeWhenSent;
    released = victim;
    wholeWhenSent = 0;
    ObjectServices.sendEvent = [](NztEventObject* o, uint32_t code, uint32_t, uint32_t, uint32_t) {
        Sent().push_back({o, code});
        if (o == released && released->blendAnim != nullptr && !released->worldVertices.empty()) ++wholeWhenSent;
        // A handler that tries to target it again is refused.
        if (code == 30 && PlayerEntity != nullptr) PlayerEntity->SetTarget(released);
        return 1u;
    };
    const std::vector<uint32_t> expected{30, 39};
    RemoveEntity(victim);
    std::vector<uint32_t> codes;
    for (const SentEvent& e : Sent())
        if (e.code == 30 || e.code == 39) codes.push_back(e.code);
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(wholeWhenSent, 2);
    EXPECT_EQ(player->target, nullptr);
    EXPECT_EQ(fighter->target, nullptr);
    EXPECT_EQ(fighter->riddenEntity, nullptr);
    EXPECT_EQ(fighter->groundContact.secondObject, nullptr);
}

TEST_F(CharacterWorld, ClearContactsWithEmptiesEveryReferenceToTheObject) {
    NztEntity* e = Plain();
    NztScnObject gone, kept;
    e->groundContact.object = &gone;
    e->groundContact.word0 = 3;
    e->groundContact.secondObject = &gone;
    e->groundContact.surfaceType = 8;
    e->wallContact.object = &gone;
    e->wallContact.word0 = 8;
    e->wallContact.secondObject = &kept;
    e->wallContact.carrierValue = 2.0f;
    e->previousGroundObject = &gone;
    e->previousGroundType = 8;
    e->previousWallObject = &kept;
    e->previousWallType = 8;
    e->previousCarrierObject = &gone;
    e->previousCarrierValue = 1.0f;
    e->contactObject = &gone;
    e->contact = 1;
    e->contactLink = &gone;
    // What the last sweep and ground probe found (the next posing rides the floor's object).
    e->sweepHit.touchedObject = &kept;
    e->sweepHit.touchedType = 8;
    e->sweepHit.object = &gone;
    e->sweepHit.hitType = 1;
    e->standingProbe.object = &gone;
    e->standingProbe.hitType = 1;
    e->ClearContactsWith(&gone);
    EXPECT_EQ(e->sweepHit.touchedObject, &kept);
    EXPECT_EQ(e->sweepHit.object, nullptr);
    EXPECT_EQ(e->sweepHit.hitType, 0u);
    EXPECT_EQ(e->standingProbe.object, nullptr);
    EXPECT_EQ(e->standingProbe.hitType, 0u);
    EXPECT_EQ(e->groundContact.object, nullptr);
    EXPECT_EQ(e->groundContact.word0, 0u);
    EXPECT_EQ(e->groundContact.secondObject, nullptr);
    EXPECT_EQ(e->groundContact.surfaceType, 0u);
    EXPECT_EQ(e->wallContact.object, nullptr);
    EXPECT_EQ(e->wallContact.secondObject, &kept);
    EXPECT_FLOAT_EQ(e->wallContact.carrierValue, 2.0f);
    EXPECT_EQ(e->previousGroundObject, nullptr);
    EXPECT_EQ(e->previousGroundType, 0u);
    EXPECT_EQ(e->previousWallObject, &kept);
    EXPECT_EQ(e->previousCarrierObject, nullptr);
    EXPECT_EQ(e->previousCarrierValue, 0.0f);
    EXPECT_EQ(e->contactObject, nullptr);
    EXPECT_EQ(e->contactLink, nullptr);
}

TEST_F(CharacterWorld, EventSurfaceEventsGoToTheGroundObjectOnTicks) {
    NztEntity* e = Plain();
    NztScnObject ground;
    e->groundContact.secondObject = &ground;
    e->groundContact.surfaceType = 8;
    auto frame = [&](float tick) {
        FrameAccumulators.tickA = tick;
        e->SendContactEvents();
    };
    frame(0.5f);
    frame(0.5f);
    frame(0.0f);
    EXPECT_EQ(CodesTo(&ground), (std::vector<uint32_t>{0, 6, 1, 7}));
    EXPECT_TRUE(CodesTo(e).empty());
    // The touched object learns who touched it.
    for (const SentEvent& sent : Sent()) EXPECT_EQ(ResolveEventObject(sent.first), e) << sent.code;
    Sent().clear();
    e->airborne = 1;
    frame(0.5f);
    EXPECT_EQ(CodesTo(&ground), (std::vector<uint32_t>{2, 8}));
}

TEST_F(CharacterWorld, StateChangesRaiseTheirEventsOnTheCharacter) {
    NztEntity* e = Plain();
    e->swimDepth = 2.0f;
    e->supportHeight = 10.0f;
    struct Step {
        const char* what;
        uint32_t airborne, inWater;
        float y;
        std::vector<uint32_t> codes;
    };
    const Step steps[] = {
        {"standing", 0, 0, 10.0f, {}},
        {"leaves the ground", 1, 0, 12.0f, {48}},
        {"lands in water", 0, 1, 9.0f, {50, 51}},
        {"goes under", 0, 1, 5.0f, {53}},
        {"comes up and out", 0, 0, 10.0f, {52, 55}},
        {"lands on the ground", 1, 0, 11.0f, {48}},
        {"", 0, 0, 10.0f, {49}},
    };
    for (const Step& step : steps) {
        Sent().clear();
        e->airborne = step.airborne;
        e->inWater = step.inWater;
        e->Position[1] = step.y;
        e->SendStateEvents();
        EXPECT_EQ(CodesTo(e), step.codes) << step.what;
    }
}

// ---------------------------------------------------------------------------------------------
// Mounting, facing and placement

TEST_F(CharacterWorld, MountClearsTargetsBothWaysAndDismountReverses) {
    NztEntity* player = Plain();
    NztEntity* horse = Plain(10.0f);
    PlayerEntity = player;
    player->inputDriven = 1;
    player->target = horse;
    horse->target = player;
    horse->order = 5;
    horse->groundTilt = 1;
    horse->walkFactor = 0.7f;
    player->Mount(horse);
    EXPECT_EQ(player->riddenEntity, horse);
    EXPECT_EQ(player->target, nullptr);
    EXPECT_EQ(horse->target, nullptr);
    EXPECT_EQ(horse->order, 0);
    EXPECT_EQ(horse->orderPending, 1);
    EXPECT_EQ(horse->steeredByRider, 1u);
    EXPECT_FLOAT_EQ(horse->speedFactorTarget, 0.7f);
    EXPECT_EQ(CodesTo(horse).back(), 17u);
    EXPECT_EQ(CodesTo(player).back(), 26u);
    Sent().clear();
    player->Dismount();
    EXPECT_EQ(player->riddenEntity, nullptr);
    EXPECT_EQ(horse->steeredByRider, 0u);
    EXPECT_EQ(CodesTo(horse), std::vector<uint32_t>{19});
    EXPECT_EQ(CodesTo(player), std::vector<uint32_t>{28});
    EXPECT_FLOAT_EQ(player->Position[0], 10.0f - horse->size);
    // Riding nothing: nothing happens.
    Sent().clear();
    player->Dismount();
    EXPECT_TRUE(Sent().empty());
}

TEST_F(CharacterWorld, FacingAndPlacement) {
    NztEntity* e = Plain();
    e->SetAngles(0, 100, 0);
    const uint32_t before = e->packedAngles;
    e->TurnBy(4095);
    e->TurnBy(1);
    EXPECT_EQ(e->packedAngles, before);
    EXPECT_NEAR(e->rotation[6], TableSin(100), 1e-4f);
    NztEntity* other = Plain(10.0f);
    other->Position[2] = 10.0f;
    e->FaceObject(other);
    EXPECT_EQ(e->Yaw(), 512);
    e->SetAngles(0, 1024, 0);  // forward along +x
    e->axisLocks[0] = 1;
    e->MoveForward(5.0f);
    EXPECT_FLOAT_EQ(e->Position[0], 0.0f);
    e->axisLocks[0] = 0;
    e->MoveForward(5.0f);
    EXPECT_NEAR(e->Position[0], 5.0f, 1e-4f);
}

}  // namespace
