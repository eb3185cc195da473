// The scripted moves of the action stack over stepped frames: falls with their landings and the
// fatal drop, jumps, a climbing jump at a ledge, the climb over a ledge, keeping to a trajectory,
// and a character that goes away while its move runs.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "camera/traject.h"
#include "character/entity.h"
#include "character/fixture.h"
#include "collision/collision_fixture.h"
#include "collision/collquery.h"
#include "datakit/moves.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/objtype.h"

namespace {

// A skinned mesh whose slots hold the animations a test names, each of a few frames.
class MoveMesh {
public:
    MoveMesh() {
        mesh.Skinned = 1;
        mesh.AnimSlots.assign(AnimNameCount, nullptr);
        mesh.AnimSlotFlags.assign(AnimNameCount, 1);
        Add("MoveStatic01", 4);
    }
    NztAnim* Add(const char* name, uint32_t frames, bool jumpStart = false) {
        const int32_t slot = FindAnimSlot(name);
        EXPECT_GE(slot, 0) << name;
        auto a = std::make_unique<NztAnim>();
        a->FrameCount = frames;
        a->Frames.resize(frames);
        a->JumpStartFlag = jumpStart ? 1 : 0;
        mesh.AnimSlots[static_cast<size_t>(slot)] = a.get();
        anims.push_back(std::move(a));
        return anims.back().get();
    }
    NztMesh mesh;
    std::vector<std::unique_ptr<NztAnim>> anims;
};

class Moves : public CharacterWorld {
protected:
    void SetUp() override {
        CharacterWorld::SetUp();
        MakeGround(0.0f);
        hero = CreateEntity(nullptr);
        hero->mesh = &moves.mesh;
        hero->registered = 1;
        hero->stepHeight = 2.0f;  // the moves' extent: a drop of 100 or more kills
        hero->hangPoint = -1;
        // Off the diagonal the ground's two triangles share.
        hero->Position[0] = 3.0f;
        hero->Position[2] = 4.0f;
        handle = EventObjectHandle(hero);
    }
    void TearDown() override {
        for (uint32_t i = 0; i < EntityCount; ++i)
            if (EntityList[i] != nullptr) EntityList[i]->mesh = nullptr;
        CharacterWorld::TearDown();
    }
    // One frame: the top action runs, then the animation steps one frame (held at its last).
    void Frame() {
        if (hero->actionCount != 0) (hero->*hero->actionSlots[hero->actionCount - 1].callback)();
        if (alive() && hero->currentAnim != nullptr && hero->currentFrame < hero->frameCount - 1) ++hero->currentFrame;
    }
    bool alive() const { return ResolveEventObject(handle) == hero; }
    // Frames until the stack is empty (or the limit); the animation names seen on the way.
    std::vector<std::string> RunMove(int limit = 2000) {
        std::vector<std::string> seen;
        handle = EventObjectHandle(hero);
        for (int i = 0; i < limit && alive() && hero->actionCount != 0; ++i) {
            Frame();
            if (!alive()) break;
            const int32_t slot = hero->SlotOf(hero->currentAnim);
            const std::string name = slot >= 0 ? AnimNameTable[slot] : "";
            if (seen.empty() || seen.back() != name) seen.push_back(name);
        }
        return seen;
    }
    void Push(void (NztEntity::*callback)()) { hero->PushAction(MakeAction(callback)); }

    // A floor at height y over [-50, 50] in x and z: a scene object of the lists, with its grid.
    static void MakeGround(float y) {
        NztMesh* mesh = CreateMeshData();
        for (const CollisionTri& t : Square(-50, -50, 50, 50, y, 1)) {
            for (const Vec3& v : {t.a, t.b, t.c}) {
                mesh->CollisionTriangles.push_back(static_cast<uint32_t>(mesh->CollisionVertices.size()));
                mesh->CollisionVertices.push_back(v);
            }
            mesh->CollisionTriangleWords.push_back(t.type);
        }
        mesh->CollisionVertexCount = static_cast<uint32_t>(mesh->CollisionVertices.size());
        mesh->CollisionTriangleCount = 2;
        mesh->PosedCollisionVertices = mesh->CollisionVertices;
        mesh->SizeClass = 1.0f;
        const float box[6] = {-50, y, -50, 50, y, 50};
        std::copy(box, box + 6, mesh->OwnCollisionBounds);
        NztScnObject* ground = CreateScnObject(nullptr);
        ground->mesh = mesh;
        ground->CopyCollision(mesh);
        ground->UpdateCollision();
        ground->registered = 1;
        BuildCollideGrid();
    }

    MoveMesh moves;
    NztEntity* hero = nullptr;
    uint32_t handle = 0;
};

TEST_F(Moves, FallsLandByTheirDropAndALongOneKills) {
    moves.Add("FallDown", 3);
    moves.Add("RoundForward", 3);
    moves.Add("FallEndFloor", 3);
    struct Case {
        float height;
        std::vector<std::string> animations;
        bool dies;
    } cases[] = {
        {40.0f, {"FallDown", "RoundForward", "MoveStatic01"}, false},
        {99.0f, {"FallDown", "RoundForward", "MoveStatic01"}, false},
        {100.0f, {"FallDown", "FallEndFloor"}, true},
        {300.0f, {"FallDown", "FallEndFloor"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height);
        hero->SetMaxLife(10.0f);
        hero->SetLife(10.0f);
        hero->dead = 0;
        hero->currentAnim = nullptr;
        hero->Position[1] = c.height;
        hero->verticalVelocity = 0.0f;
        Sent().clear();
        Push(&NztEntity::ActFallDown);
        EXPECT_EQ(RunMove(), c.animations);
        EXPECT_EQ(hero->actionCount, 0u);
        EXPECT_EQ(hero->actionIdle, 1u);
        EXPECT_NEAR(hero->Position[1], 0.0f, 1e-4f);
        EXPECT_NEAR(hero->supportHeight, 0.0f, 1e-4f);
        EXPECT_EQ(hero->airborne, 0u);
        // The life step of the next frame sends the death.
        hero->SelectAction();
        EXPECT_EQ(CodesTo(hero), c.dies ? std::vector<uint32_t>{34} : std::vector<uint32_t>{});
    }
}

TEST_F(Moves, AFallNeverGoesFasterThanFiftyAStep) {
    hero->Position[1] = 20000.0f;
    hero->weight = 5.0f;
    Push(&NztEntity::ActFall);
    float fastest = 0.0f, previous = hero->Position[1];
    for (int i = 0; i < 1000 && hero->actionCount != 0; ++i) {
        Frame();
        fastest = std::min(fastest, hero->Position[1] - previous);
        previous = hero->Position[1];
    }
    EXPECT_EQ(hero->actionCount, 0u);
    EXPECT_FLOAT_EQ(fastest, -50.0f);
    EXPECT_NEAR(hero->Position[1], 0.0f, 1e-4f);
}

TEST_F(Moves, AStuckFallSendsOneHundredTwentyEightOnTheTick) {
    moves.Add("FallDown", 3);
    hero->Position[1] = 50.0f;
    hero->contact = 1;
    Push(&NztEntity::ActFallDown);
    FrameAccumulators.tickA = 0.03f;
    Frame();
    EXPECT_TRUE(CodesTo(hero).empty());
    FrameAccumulators.tickA = 0.0f;
    Frame();
    EXPECT_EQ(CodesTo(hero), std::vector<uint32_t>{128});
}

TEST_F(Moves, AJumpRisesFallsAndLandsThroughItsThreeAnimations) {
    moves.Add("JumpWalk01", 3, true);
    moves.Add("JumpWalk02", 4);
    moves.Add("JumpWalk03", 3);
    hero->SetAnimIndex(46, 0, 0xFFFFFFFFu, 0);
    hero->verticalVelocity = 3.0f;
    Push(&NztEntity::ActJump);
    float highest = 0.0f;
    std::vector<std::string> seen;
    handle = EventObjectHandle(hero);
    for (int i = 0; i < 500 && hero->actionCount != 0; ++i) {
        Frame();
        highest = std::max(highest, hero->Position[1]);
        const std::string name = AnimNameTable[hero->SlotOf(hero->currentAnim)];
        if (seen.empty() || seen.back() != name) seen.push_back(name);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"JumpWalk01", "JumpWalk02", "JumpWalk03"}));
    EXPECT_EQ(hero->jumpSlot, 46u);
    EXPECT_GT(highest, 20.0f);
    EXPECT_NEAR(hero->Position[1], 0.0f, 1e-4f);
    EXPECT_EQ(hero->actionCount, 0u);
    EXPECT_EQ(hero->airborne, 0u);
}

TEST_F(Moves, ThePlayersControlIsOffWhileAMoveRuns) {
    PlayerEntity = hero;
    hero->inputDriven = 1;
    hero->animStateMachine = 1;
    hero->Position[1] = 10.0f;
    Push(&NztEntity::ActFall);
    Frame();
    EXPECT_EQ(hero->animStateMachine, 0u);
    RunMove();
    EXPECT_EQ(hero->animStateMachine, 1u);
}

TEST_F(Moves, AClimbingJumpTakesTheLedgeOrFallsBack) {
    moves.Add("ClimbJumpUp01", 3);
    moves.Add("ClimbJumpUp02", 40);
    moves.Add("JumpHandUpBig03b", 3);
    struct Case {
        const char* what;
        float ledge;
        float speed;
        bool holds;
        std::vector<uint32_t> events;
    } cases[] = {
        {"the ledge within reach", 20.0f, 3.0f, true, {59}},
        {"a ledge too high", 200.0f, 2.0f, false, {57}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sent().clear();
        hero->currentAnim = nullptr;
        hero->SetAnimIndex(FindAnimSlot("ClimbJumpUp01"), 0, 0xFFFFFFFFu, 0);
        hero->Position[1] = 0.0f;
        hero->actionState = 1;  // hanging
        hero->actionIdle = 1;
        hero->ledgeHeight = c.ledge;
        hero->verticalVelocity = c.speed;
        Push(&NztEntity::ActClimbJumpUp);
        const std::vector<std::string> seen = RunMove();
        EXPECT_EQ(hero->actionCount, 0u);
        EXPECT_EQ(CodesTo(hero), c.events);
        if (c.holds) {
            EXPECT_FLOAT_EQ(hero->Position[1], 20.0f) << "the hand snaps to the ledge";
            EXPECT_EQ(hero->actionState, 1u);
            EXPECT_EQ(hero->airborne, 1u);
        } else {
            EXPECT_NEAR(hero->Position[1], 0.0f, 1e-4f);
            EXPECT_EQ(hero->actionState, 0u);
            EXPECT_EQ(hero->airborne, 0u);
        }
    }
    // Taking a hold while already holding sends no 56; from a free start it does.
    Sent().clear();
    hero->currentAnim = nullptr;
    hero->SetAnimIndex(FindAnimSlot("ClimbJumpUp01"), 0, 0xFFFFFFFFu, 0);
    hero->Position[1] = 0.0f;
    hero->actionState = 0;
    hero->ledgeHeight = 20.0f;
    hero->verticalVelocity = 3.0f;
    Push(&NztEntity::ActClimbJumpUp);
    RunMove();
    EXPECT_EQ(CodesTo(hero), (std::vector<uint32_t>{56, 59}));
}

TEST_F(Moves, ClimbingOverALedgeHandsOverToTheJumpLanding) {
    moves.Add("ClimbEndUp", 3);
    moves.Add("JumpWalk01", 3, true);
    moves.Add("JumpWalk02", 3);
    moves.Add("JumpWalk03", 3);
    hero->SetAnimIndex(FindAnimSlot("ClimbEndUp"), 0, 0xFFFFFFFFu, 0);
    hero->actionState = 1;
    Push(&NztEntity::ActClimbEndUp);
    for (int i = 0; i < 3; ++i) Frame();
    ASSERT_EQ(hero->actionCount, 1u);
    EXPECT_TRUE(hero->actionSlots[0] == MakeAction(&NztEntity::ActJump));
    EXPECT_EQ(hero->jumpSlot, 46u);
    EXPECT_EQ(hero->SlotOf(hero->currentAnim), FindAnimSlot("JumpWalk03"));
    EXPECT_EQ(CodesTo(hero), std::vector<uint32_t>{57});
    RunMove();
    EXPECT_EQ(hero->actionCount, 0u);
}

TEST_F(Moves, KeepingToATrajectoryProjectsOnItsLine) {
    NztTraject* t = CreateTraject();
    t->points.resize(2);
    t->points[0].target = {0.0f, 0.0f, 0.0f};
    t->points[1].target = {100.0f, 0.0f, 0.0f};
    hero->traject = t;
    hero->Position[0] = 40.0f;
    hero->Position[1] = 5.0f;
    hero->Position[2] = 25.0f;
    Push(&NztEntity::ActStayOnTraject);
    Frame();
    Frame();
    EXPECT_NEAR(hero->Position[0], 40.0f, 1e-4f);
    EXPECT_FLOAT_EQ(hero->Position[1], 5.0f);
    EXPECT_NEAR(hero->Position[2], 0.0f, 1e-4f);
    EXPECT_EQ(hero->actionCount, 1u) << "it never ends by itself";
    hero->traject = nullptr;
    DeleteAllTrajects();
}

// A character removed by the event its move sends: the move stops and nothing is left pointing at it.
TEST_F(Moves, ACharacterRemovedDuringItsMoveIsNotTouchedAgain) {
    NztEntity* other = CreateEntity(nullptr);
    other->registered = 1;
    other->SetTarget(hero);
    hero->Position[1] = 30.0f;
    hero->actionState = 1;
    Push(&NztEntity::ActFall);
    ObjectServices.sendEvent = [](NztEventObject* o, uint32_t code, uint32_t, uint32_t, uint32_t) {
        Sent().push_back({o, code});
        if (code == 57) {
            if (auto* e = dynamic_cast<NztEntity*>(o)) {
                e->mesh = nullptr;
                RemoveEntity(e);
            }
        }
        return 1u;
    };
    handle = EventObjectHandle(hero);
    Frame();
    EXPECT_FALSE(alive());
    EXPECT_EQ(other->target, nullptr);
    hero = nullptr;
}

// The sample hero with its move animations jumps off a height through its own update: take-off,
// flight and landing, as the update pass runs them.
TEST_F(Moves, TheSampleHeroJumpsThroughItsUpdate) {
    UseSampleData();
    for (const auto& [name, bytes] : datakit::SampleMoveFiles())
        ASSERT_TRUE(datakit::WriteModelFile(temp.path() + name, bytes));
    NztEntity* sample = GetEntityType("Hero1001");
    ASSERT_NE(sample, nullptr);
    sample->Position[0] = 3.0f;
    sample->Position[1] = 30.0f;
    sample->Position[2] = 4.0f;
    sample->registered = 1;
    ASSERT_NE(sample->GetAnimByName("JumpWalk01"), nullptr);
    sample->SetAnimIndex(FindAnimSlot("JumpWalk01"), 0, 0xFFFFFFFFu, 0);
    std::vector<std::string> seen;
    bool jumped = false;
    for (int i = 0; i < 600; ++i) {
        sample->SelectAction();
        if (sample->actionCount != 0) (sample->*sample->actionSlots[sample->actionCount - 1].callback)();
        sample->Update();
        const int32_t slot = sample->SlotOf(sample->requestedAnim);
        const std::string name = slot >= 0 ? AnimNameTable[slot] : "";
        if (seen.empty() || seen.back() != name) seen.push_back(name);
        jumped = jumped || sample->actionCount != 0;
        if (jumped && sample->actionCount == 0) break;
    }
    EXPECT_TRUE(jumped);
    EXPECT_EQ(sample->actionCount, 0u);
    EXPECT_NE(std::find(seen.begin(), seen.end(), "JumpWalk02"), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "JumpWalk03"), seen.end());
    EXPECT_NEAR(sample->Position[1], 0.0f, 0.5f);
}

}  // namespace
