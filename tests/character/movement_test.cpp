// Player movement stepped frame by frame with scripted buttons: walking onto a slope, falling off a
// ledge, entering water, climbing a ladder, driving; the input events, the gait, the ledge probe and
// the guards that keep the player from being stuck or thrown by a bad value.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "camera/traject.h"
#include "character/entity.h"
#include "character/movement.h"
#include "collision/collide.h"
#include "core/input.h"
#include "datakit/movement.h"
#include "datakit/moves.h"
#include "eventactions/eventactions.h"
#include "fixture.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/actions.h"
#include "objects/attach.h"
#include "objects/charlinks.h"
#include "objects/eventrecord.h"
#include "objects/registry.h"
#include "world/framepass.h"

namespace {

struct Tri {
    Vec3 a, b, c;
    uint32_t type = 1;
};

// A horizontal square [x0, x1] x [z0, z1] at height y facing up.
std::vector<Tri> Square(float x0, float z0, float x1, float z1, float y, uint32_t type = 1) {
    const Vec3 p00{x0, y, z0}, p01{x0, y, z1}, p10{x1, y, z0}, p11{x1, y, z1};
    return {{p00, p01, p10, type}, {p10, p01, p11, type}};
}
// A wall in the plane z = z0 facing -z, over x0..x1 and y0..y1.
std::vector<Tri> WallFacingBack(float z0, float x0, float x1, float y0, float y1, uint32_t type = 1) {
    const Vec3 a{x0, y0, z0}, b{x1, y0, z0}, c{x0, y1, z0}, d{x1, y1, z0};
    return {{a, c, b, type}, {b, c, d, type}};
}
// A standing wall from (a.x, a.z) to (b.x, b.z) over y0..y1, wound so that its normal faces the
// point toward.
std::vector<Tri> Upright(Vec3 a, Vec3 b, float y0, float y1, Vec3 toward, uint32_t type = 1) {
    const Vec3 p0{a.x, y0, a.z}, p1{b.x, y0, b.z}, p2{a.x, y1, a.z}, p3{b.x, y1, b.z};
    // The normal of (P0, P1, P2) is (P0 - P1) x (P0 - P2).
    const Vec3 u = p0 - p1, v = p0 - p2;
    const Vec3 n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
    const Vec3 mid = (p0 + p3) * 0.5f;
    const Vec3 t = toward - mid;
    if (n.x * t.x + n.y * t.y + n.z * t.z > 0.0f) return {{p0, p1, p2, type}, {p1, p3, p2, type}};
    return {{p0, p2, p1, type}, {p1, p2, p3, type}};
}
// A slope over x0..x1 rising from y0 at z0 to y1 at z1.
std::vector<Tri> Slope(float x0, float x1, float z0, float z1, float y0, float y1) {
    const Vec3 p00{x0, y0, z0}, p01{x0, y1, z1}, p10{x1, y0, z0}, p11{x1, y1, z1};
    return {{p00, p01, p10, 1}, {p10, p01, p11, 1}};
}
std::vector<Tri> Join(std::initializer_list<std::vector<Tri>> parts) {
    std::vector<Tri> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Probe points stay off the squares' diagonals (x 3): a point on a triangle's edge is in neither.

// The buttons a frame holds.
using Buttons = std::initializer_list<int>;

class Movement : public CharacterWorld {
protected:
    void SetUp() override {
        CharacterWorld::SetUp();
        UseSampleData();
        for (const auto& [name, bytes] : datakit::SampleMovementFiles())
            ASSERT_TRUE(datakit::WriteModelFile(temp.path() + name, bytes));
        ClearKeyStates();
        std::fill(std::begin(ActionEnabled), std::end(ActionEnabled), uint8_t{1});
        ClearPadStates();
        // The camera looks along +z: its inverse's third row points back along -z.
        const float behind[9] = {-1, 0, 0, 0, 1, 0, 0, 0, -1};
        std::copy(behind, behind + 9, MainCamera.inverse);
        savedCameraMode = CameraMode;
        CameraMode = 1;
    }
    void TearDown() override {
        ClearKeyStates();
        ClearPadStates();
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::copy(identity, identity + 9, MainCamera.inverse);
        CameraMode = savedCameraMode;
        FreeCollideGrid();
        CharacterWorld::TearDown();
    }

    // Hero animations for the slots named, `frames` long, with keys at the first and last frame;
    // the root moves `step` along +z each frame (0: no motion).
    void HeroAnims(std::initializer_list<const char*> slots, uint32_t frames = 10, float step = 0.0f) {
        datakit::QvaAnim a;
        a.frameCount = frames;
        a.boneCount = 14;
        for (uint32_t k : {0u, frames - 1}) {
            datakit::QvaFrame f;
            f.index = k;
            f.hasPosition = step != 0.0f ? 1 : 0;
            f.position = {0, 0, step * static_cast<float>(k)};
            f.keys.assign(14, NztBoneKey{});
            a.frames.push_back(f);
        }
        for (const char* slot : slots)
            ASSERT_TRUE(datakit::WriteModelFile(temp.path() + "OBJECTS/ENTITIES/ANIMS/Hero/Hero" + slot + ".QVa",
                                                datakit::WriteQva(a)));
    }

    // The moves of a jump up to a hold overhead: the take-off rising 6 units a frame, the flight,
    // the miss and its landing, and the hanging animation. Written before the hero is made.
    void HoldAnims() {
        HeroAnims({"JumpHandUpBig02", "JumpHandUpBig03", "JumpHandUpBig03b", "ClimbStatic"});
        datakit::QvaAnim up;
        up.frameCount = 10;
        up.boneCount = 14;
        for (uint32_t k : {0u, 9u}) {
            datakit::QvaFrame f;
            f.index = k;
            f.hasPosition = 1;
            f.position = {0, 6.0f * static_cast<float>(k), 0};
            f.keys.assign(14, NztBoneKey{});
            up.frames.push_back(f);
        }
        ASSERT_TRUE(datakit::WriteModelFile(temp.path() + "OBJECTS/ENTITIES/ANIMS/Hero/HeroJumpHandUpBig01.QVa",
                                            datakit::WriteQva(up)));
    }
    // The hero, standing under a shelf 2.5 body heights up, jumps and takes hold of its edge by
    // the hand (the sample hero's head point, its arms raised). Needs HoldAnims.
    void JumpToTheShelf(NztEntity* hero) {
        hero->hangPoint = 0;
        hero->visibilityTest = 0;  // in view: its points are posed
        Frames(3, {});
        Frame({MoveButton::Jump});
        for (int i = 0; i < 60 && hero->actionState != ActionStateHanging; ++i) Frame({});
        ASSERT_EQ(hero->actionState, ActionStateHanging);
        const auto codes = CodesTo(hero);
        ASSERT_EQ(std::count(codes.begin(), codes.end(), 56u), 1);  // took hold
        Frames(3, {});
        ASSERT_EQ(hero->actionState, ActionStateHanging);  // and hangs on
    }
    static std::vector<Tri> Shelf(float height) { return Square(-100, -20, 100, 100, height); }

    // A scene object of the triangles, in the world's lists, and the grid rebuilt.
    NztScnObject* AddGround(const std::vector<Tri>& tris) {
        NztMesh* mesh = CreateMeshData();
        Vec3 lo = tris[0].a, hi = lo;
        for (const Tri& t : tris) {
            for (const Vec3& v : {t.a, t.b, t.c}) {
                mesh->CollisionTriangles.push_back(static_cast<uint32_t>(mesh->CollisionVertices.size()));
                mesh->CollisionVertices.push_back(v);
                lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
                hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
            }
            mesh->CollisionTriangleWords.push_back(t.type);
        }
        mesh->CollisionVertexCount = static_cast<uint32_t>(mesh->CollisionVertices.size());
        mesh->CollisionTriangleCount = static_cast<uint32_t>(tris.size());
        mesh->PosedCollisionVertices = mesh->CollisionVertices;
        const float box[6] = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
        std::copy(box, box + 6, mesh->OwnCollisionBounds);
        NztScnObject* o = CreateScnObject(mesh);
        o->CopyCollision(mesh);
        o->UpdateCollision();
        o->registered = 1;
        BuildCollideGrid();
        return o;
    }

    // The sample hero's movement and jump animations, written where its type loads them.
    bool WriteHeroMoveAndJumpFiles() {
        for (const auto& [name, bytes] : datakit::SampleHeroMoveFiles())
            if (!datakit::WriteModelFile(temp.path() + name, bytes)) return false;
        return true;
    }

    // The hero as the player, standing at p facing +z.
    NztEntity* Player(Vec3 p) {
        NztEntity* hero = GetEntityType("Hero1001");
        if (!hero) return nullptr;
        SetPlayerEntity(hero);
        hero->inputDriven = 1;
        hero->animStateMachine = 1;
        hero->SetYaw(0);
        const float at[3] = {p.x, p.y, p.z};
        hero->SetPosition(at);
        return hero;
    }

    // One frame with the buttons held (the previous frame's become the previous table).
    void Frame(Buttons held) {
        std::memcpy(KeyStates.previousActions, KeyStates.actions, kGameActionCount);
        std::memset(KeyStates.actions, 0, kGameActionCount);
        for (int b : held) KeyStates.actions[b] = 1;
        FrameAccumulators.tickA = frame_ % 5 == 0 ? 0.0f : 0.05f;
        ++frame_;
        UpdateObjects();
        LateUpdateObjects();
    }
    void Frames(int n, Buttons held) {
        for (int i = 0; i < n; ++i) Frame(held);
    }
    static bool Playing(NztEntity* e, uint32_t slot) {
        NztAnim* a = e->GetAnim(slot);
        return a && (e->currentAnim == a || e->requestedAnim == a);
    }
    static bool FinitePosition(const NztEntity* e) {
        return std::isfinite(e->Position[0]) && std::isfinite(e->Position[1]) && std::isfinite(e->Position[2]);
    }

    int frame_ = 0;
    int32_t savedCameraMode = 0;
};

constexpr int Fwd = MoveButton::Forward;
constexpr int Back = MoveButton::Back;
constexpr int Left = MoveButton::Left;

TEST_F(Movement, WalkingOntoASlopeClimbsIt) {
    AddGround(Join({Square(-100, -100, 100, 0, 0), Slope(-100, 100, 0, 100, 0, 25)}));
    NztEntity* hero = Player({3, 0, -30});
    ASSERT_NE(hero, nullptr);
    Frames(10, {});
    EXPECT_TRUE(Playing(hero, AnimSlot::MoveStatic01));
    EXPECT_NEAR(hero->Position[2], -30.0f, 0.5f);
    Frames(200, {Fwd});
    EXPECT_TRUE(Playing(hero, AnimSlot::MoveWalk));
    EXPECT_GT(hero->Position[2], 10.0f);
    // On the slope: its height under the feet, and the ground pitch tells the slope.
    const float slopeY = hero->Position[2] * 0.25f;
    EXPECT_NEAR(hero->Position[1], slopeY, 2.5f);
    EXPECT_EQ(hero->airborne, 0u);
    EXPECT_NEAR(hero->Position[0], 3.0f, 1.0f);
    EXPECT_GT(hero->GetSpeed(), 0.25f);
    // Letting go stops the walk.
    Frames(10, {});
    EXPECT_TRUE(Playing(hero, AnimSlot::MoveStatic01));
    EXPECT_TRUE(FinitePosition(hero));
}

TEST_F(Movement, WalkingOffALedgeFallsToTheGroundBelow) {
    AddGround(Join({Square(-200, -200, 200, 200, 0), Square(-40, -40, 40, 0, 30)}));
    NztEntity* hero = Player({3, 30, -20});
    ASSERT_NE(hero, nullptr);
    Frames(5, {});
    EXPECT_NEAR(hero->Position[1], 30.0f, 0.5f);
    bool sawAirborne = false;
    float lowest = hero->Position[1];
    for (int i = 0; i < 300 && hero->Position[1] > 0.5f; ++i) {
        Frame({Fwd});
        sawAirborne |= hero->airborne != 0;
        lowest = std::min(lowest, hero->Position[1]);
        ASSERT_TRUE(FinitePosition(hero));
    }
    EXPECT_TRUE(sawAirborne);
    EXPECT_GT(hero->Position[2], 0.0f);
    Frames(30, {});
    EXPECT_NEAR(hero->Position[1], 0.0f, 0.5f);
    EXPECT_GE(lowest, -0.5f);  // never through the ground
    EXPECT_EQ(hero->airborne, 0u);
    // Control came back after the fall.
    EXPECT_EQ(hero->animStateMachine, 1u);
    const float z = hero->Position[2];
    Frames(30, {Fwd});
    EXPECT_GT(hero->Position[2], z + 5.0f);
}

TEST_F(Movement, WalkingIntoWaterSwims) {
    // The floor everywhere, water 8 deep beyond z = 0.
    AddGround(Join({Square(-300, -300, 300, 300, 0), Square(-300, 0, 300, 300, 8, HitTypeWater)}));
    NztEntity* hero = Player({3, 0, -30});
    ASSERT_NE(hero, nullptr);
    Frames(5, {});
    EXPECT_EQ(hero->inWater, 0u);
    for (int i = 0; i < 400 && !hero->inWater; ++i) Frame({Fwd});
    ASSERT_EQ(hero->inWater, 1u);
    Frames(200, {Fwd});
    const bool swimming = Playing(hero, AnimSlot::SwimWalk) || Playing(hero, AnimSlot::SwimRun) ||
                          Playing(hero, AnimSlot::SwimSprint);
    EXPECT_TRUE(swimming);
    EXPECT_GT(hero->Position[2], 30.0f);
    // Back rises toward the surface (and swims backward); there the hero floats with air to breathe.
    // (At the swim climb rate of 2.5 a frame the surface is reached within a few frames; the speed
    // factor takes longer to turn backward.)
    for (int i = 0; i < 600 && (i < 60 || hero->Position[1] < 7.0f); ++i) Frame({Back});
    EXPECT_TRUE(Playing(hero, AnimSlot::SwimBack));
    EXPECT_EQ(hero->inWater, 1u);
    EXPECT_GE(hero->Position[1], 7.0f);
    Frames(100, {});
    EXPECT_TRUE(Playing(hero, AnimSlot::SwimStatic01));
    EXPECT_NEAR(hero->Position[1], 8.0f, 0.5f);
    EXPECT_FLOAT_EQ(hero->reserve, 200.0f);
    EXPECT_TRUE(FinitePosition(hero));
}

// The sample swim strokes lay the hero face down on the water, head forward, whatever the stroke:
// its head no higher than a shoulder's width over the surface and well ahead of where it floats,
// while on land it stands with its head a body height up.
TEST_F(Movement, TheSampleSwimmerLiesOnTheWaterHeadForward) {
    AddGround(Join({Square(-300, -300, 300, 300, 0), Square(-300, 0, 300, 300, 8, HitTypeWater)}));
    NztEntity* hero = Player({3, 0, -30});
    ASSERT_NE(hero, nullptr);
    hero->visibilityTest = 0;  // in view: its points are posed
    constexpr int32_t Head = 0;
    // The head over the hero's position, and how far ahead of it along the heading.
    auto head = [&] {
        Vec3 p;
        AttachPointPosition(Head, &p, hero->mesh);
        const float dx = p.x - hero->Position[0], dz = p.z - hero->Position[2];
        return std::array<float, 2>{p.y - hero->Position[1], dx * hero->rotation[6] + dz * hero->rotation[8]};
    };
    Frames(10, {});
    EXPECT_GT(head()[0], 14.0f) << "standing on land";
    for (int i = 0; i < 400 && !hero->inWater; ++i) Frame({Fwd});
    ASSERT_EQ(hero->inWater, 1u);
    const struct {
        const char* what;
        Buttons held;
        uint32_t slot;
    } strokes[] = {
        {"swimming on", {Fwd}, AnimSlot::SwimWalk},
        {"floating", {}, AnimSlot::SwimStatic01},
        {"backing", {Back}, AnimSlot::SwimBack},
    };
    for (const auto& s : strokes) {
        SCOPED_TRACE(s.what);
        Frames(60, s.held);
        ASSERT_EQ(hero->inWater, 1u);
        ASSERT_TRUE(Playing(hero, s.slot));
        for (int i = 0; i < 40; ++i) {
            Frame(s.held);
            const auto h = head();
            ASSERT_LT(std::fabs(h[0]), 4.0f) << "frame " << i;
            ASSERT_GT(h[1], 5.0f) << "frame " << i;
        }
    }
}

TEST_F(Movement, BreathRunsOutDeepUnderWaterAndComesBackAtTheSurface) {
    AddGround(Join({Square(-200, -200, 200, 200, 0), Square(-200, -200, 200, 200, 40, HitTypeWater)}));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    hero->inWater = 1;
    hero->supportHeight = 40.0f;
    hero->floorHeight = 0.0f;
    hero->reserve = 200.0f;
    hero->SwimBranch();
    EXPECT_FLOAT_EQ(hero->reserve, 199.75f);
    hero->reserve = 0.1f;
    hero->SwimBranch();
    EXPECT_FLOAT_EQ(hero->reserve, 0.0f);
    hero->Position[1] = 39.5f;
    hero->SwimBranch();
    EXPECT_FLOAT_EQ(hero->reserve, 200.0f);
}

TEST_F(Movement, ClimbingALadderGoesUpAndBackDownToTheFloor) {
    AddGround(Join({Square(-100, -100, 100, 100, 0), WallFacingBack(5, -10, 10, 0, 80)}));
    NztEntity* hero = Player({3, 0, 2});
    ASSERT_NE(hero, nullptr);
    Frames(5, {});
    hero->actionState = ActionStateLadder;
    Frames(60, {Fwd});
    EXPECT_TRUE(Playing(hero, AnimSlot::LadderMoveUp));
    const float high = hero->Position[1];
    EXPECT_GT(high, 8.0f);
    EXPECT_EQ(hero->airborne, 0u);  // held on the ladder, not dropped
    Frames(20, {});
    EXPECT_TRUE(Playing(hero, AnimSlot::LadderStatic));
    EXPECT_NEAR(hero->Position[1], high, 1.0f);
    for (int i = 0; i < 400 && hero->actionState == ActionStateLadder; ++i) Frame({Back});
    EXPECT_EQ(hero->actionState, ActionStateFree);
    // Off the ladder at its foot, the hero stands on the floor again.
    Frames(30, {});
    EXPECT_NEAR(hero->Position[1], 0.0f, 0.5f);
    EXPECT_EQ(hero->heightHold, 0u);
}

TEST_F(Movement, DrivingAccelaratesAndSteers) {
    AddGround(Square(-400, -400, 400, 400, 0));
    // The hero as a vehicle: a drive cycle with its root motion.
    ASSERT_NO_FATAL_FAILURE(HeroAnims({"DriveForward"}, 10, 1.0f));
    NztEntity* car = Player({3, 0, 0});
    ASSERT_NE(car, nullptr);
    car->groundTilt = 1;
    car->walkFactor = 0.0f;  // a vehicle's record: no creeping forward, no reverse
    car->runFactor = 1.0f;
    Frames(5, {});
    EXPECT_TRUE(Playing(car, AnimSlot::DriveForward));
    EXPECT_NEAR(car->speedFactorTarget, 0.0f, 1e-6f);
    Frames(100, {Fwd});
    EXPECT_GT(car->speedFactor, 0.9f);
    EXPECT_GT(car->Position[2], 30.0f);
    const int32_t yaw = car->Yaw();
    Frames(50, {Fwd, Left});
    EXPECT_NE(car->Yaw(), yaw);
    EXPECT_GT(std::fabs(car->Position[0]), 1.0f);
    // Braking with nothing held lets the speed factor fall back to the walk factor.
    Frames(200, {MoveButton::Brake});
    EXPECT_LT(car->speedFactor, 0.05f);
    EXPECT_TRUE(FinitePosition(car));
}

// The wheels turn 60 angle units for each unit the vehicle moves forward in a frame.
TEST_F(Movement, WheelsTurnWithTheDistanceDriven) {
    AddGround(Square(-400, -400, 400, 400, 0));
    ASSERT_NO_FATAL_FAILURE(HeroAnims({"DriveForward"}, 10, 1.0f));
    NztEntity* car = Player({3, 0, 0});
    ASSERT_NE(car, nullptr);
    car->groundTilt = 1;
    car->walkFactor = 0.0f;
    ASSERT_EQ(car->AddBoneRecord({-1, 3, 0.3f, 0.0f}), 1);
    // Braked to a stand (a speed factor under 0.01 becomes 0).
    for (int i = 0; i < 300 && car->speedFactor != 0.0f; ++i) Frame({MoveButton::Brake});
    ASSERT_EQ(car->speedFactor, 0.0f);
    const float standing = car->moveWork.wheelAngle;
    Frames(5, {});
    EXPECT_EQ(car->moveWork.wheelAngle, standing);  // a vehicle that stands keeps its wheels still
    Frames(60, {Fwd});
    ASSERT_GT(car->speedFactor, 0.5f);
    // The first frame of each drive cycle carries no motion: the frames that follow a moving one
    // are measured.
    int measured = 0;
    bool movedBefore = false;
    for (int i = 0; i < 10; ++i) {
        const float z = car->Position[2], angle = car->moveWork.wheelAngle;
        Frame({Fwd});
        const float moved = car->Position[2] - z;
        const float turned = std::fmod(car->moveWork.wheelAngle - angle + 4096.0f, 4096.0f);
        if (moved > 0.3f && movedBefore) {
            EXPECT_NEAR(turned, 60.0f * moved, 6.0f * moved) << i;
            ++measured;
        }
        movedBefore = moved > 0.3f;
    }
    EXPECT_GE(measured, 5);
}

// A character fleeing on foot runs its animation through before the order decides again.
TEST_F(Movement, AFleeingCharacterRunsItsAnimationThrough) {
    AddGround(Square(-400, -400, 400, 400, 0));
    NztEntity* player = Player({3, 0, 0});
    ASSERT_NE(player, nullptr);
    NztEntity* fleer = GetEntityType("Hero1001");
    ASSERT_NE(fleer, nullptr);
    const float at[3] = {3, 0, 10};
    fleer->SetPosition(at);
    fleer->radii[3] = 40.0f;
    fleer->radiiSquared[3] = 1600.0f;
    fleer->SetTarget(player);
    fleer->SetOrder(4);
    Frames(3, {});
    ASSERT_TRUE(Playing(fleer, AnimSlot::MoveRun));
    EXPECT_EQ(fleer->locked, 1);
    // The threat is gone at once, but the run plays to its end first.
    const float far[3] = {3, 0, -300};
    player->SetPosition(far);
    Frame({});
    EXPECT_TRUE(Playing(fleer, AnimSlot::MoveRun));
    EXPECT_FALSE(Playing(fleer, AnimSlot::MoveStatic01));
    Frames(40, {});
    EXPECT_TRUE(Playing(fleer, AnimSlot::MoveStatic01));
    EXPECT_EQ(CodesTo(fleer).back(), 14u);
}

// The slide: down a slide slope the jump button throws the sliding hero into the air, and the
// slide still ends rolling on the flat ground below.
TEST_F(Movement, TheSlideJumpLeavesTheSlopeAndTheSlideStillEndsRolling) {
    ASSERT_NO_FATAL_FAILURE(HeroAnims({"SlideStart", "SlideRun", "SlideSprint", "RoundForward"}));
    // A slide slope (surface type 5) falling 100 over 300 along +z, then flat ground.
    std::vector<Tri> slope = Slope(-100, 100, 0, 300, 100, 0);
    for (Tri& t : slope) t.type = 5;
    AddGround(Join({slope, Square(-400, 300, 400, 900, 0)}));
    NztEntity* hero = Player({3, 97, 9});
    ASSERT_NE(hero, nullptr);
    Frames(5, {});
    Frames(20, {Fwd});
    ASSERT_EQ(hero->sliding, 1u);
    for (int i = 0; i < 100 && !Playing(hero, AnimSlot::SlideRun); ++i) Frame({});
    ASSERT_TRUE(Playing(hero, AnimSlot::SlideRun));
    Frames(5, {});
    const float takeOff = hero->Position[1];
    Frame({MoveButton::Jump});
    const bool flew = hero->airborne != 0;
    float highest = hero->Position[1];
    for (int i = 0; i < 40; ++i) {
        Frame({});
        highest = std::max(highest, hero->Position[1]);
    }
    EXPECT_TRUE(flew);
    EXPECT_GT(highest, takeOff + 2.0f);  // up, not only along the slope
    bool rolled = false;
    for (int i = 0; i < 1500 && hero->sliding; ++i) {
        Frame({});
        rolled |= Playing(hero, AnimSlot::RoundForward);
    }
    EXPECT_TRUE(rolled);
    EXPECT_EQ(hero->sliding, 0u);
    EXPECT_TRUE(FinitePosition(hero));
}

// A character driven over the network runs the same behaviour step: it watches the player, learns
// the ground under it and takes the fall test; only its order, its procedural pose and its moves
// are left to the remote side. Placed at y 30 on a platform it stands there and its platform hears
// it as a local character's ground does; over open ground 30 below it is airborne and says so.
TEST_F(Movement, ARemoteCharacterStandsOnItsGroundOrLeavesIt) {
    for (bool platform : {true, false}) {
        SCOPED_TRACE(platform ? "on a platform" : "over open ground");
        TearDown();
        SetUp();
        AddGround(Square(-400, -400, 400, 400, 0));
        NztScnObject* top = platform ? AddGround(Square(-40, 0, 40, 40, 30)) : nullptr;
        NztEntity* player = Player({3, 0, -200});
        ASSERT_NE(player, nullptr);
        NztEntity* remote = GetEntityType("Hero1001");
        ASSERT_NE(remote, nullptr);
        int link = 0;  // stands for the network's record; never read here
        remote->networkRecord = reinterpret_cast<RemotePlayerRecord*>(&link);
        const float at[3] = {3, 30, 20};
        remote->SetPosition(at);
        remote->radii[0] = 250.0f;
        remote->radiiSquared[0] = 250.0f * 250.0f;
        Frames(30, {});
        const auto codes = CodesTo(remote);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 20u), 1);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 21u), 29);
        EXPECT_FLOAT_EQ(remote->Position[1], 30.0f);  // the network places it, nothing here moves it
        if (platform) {
            EXPECT_FLOAT_EQ(remote->supportHeight, 30.0f);
            EXPECT_EQ(remote->airborne, 0u);
            EXPECT_EQ(std::count(codes.begin(), codes.end(), 48u), 0);
            EXPECT_EQ(remote->groundContact.secondObject, top);
            // 0 when it is first found standing there, then 1 on each tenth-second tick after.
            const auto heard = CodesTo(top);
            ASSERT_FALSE(heard.empty());
            EXPECT_EQ(heard.front(), 0u);
            EXPECT_EQ(std::count(heard.begin(), heard.end(), 1u), 5);
        } else {
            EXPECT_NEAR(remote->supportHeight, 0.0f, 1e-3f);
            EXPECT_EQ(remote->airborne, 1u);  // more than a step above the ground: the fall test
            EXPECT_EQ(std::count(codes.begin(), codes.end(), 48u), 1);
            // Brought down by the network, it has landed.
            const float down[3] = {3, 0, 20};
            remote->SetPosition(down);
            Frames(2, {});
            EXPECT_EQ(remote->airborne, 0u);
            const auto after = CodesTo(remote);
            EXPECT_EQ(std::count(after.begin(), after.end(), 49u), 1);
        }
        remote->networkRecord = nullptr;
    }
}

// Hanging from a hold, the jump takes the first move that applies: with forward held but no
// ledge above and no room to climb over, the sideways jump is next.
TEST_F(Movement, AClimbingJumpFallsThroughToTheSidewaysJump) {
    ASSERT_NO_FATAL_FAILURE(HoldAnims());
    ASSERT_NO_FATAL_FAILURE(HeroAnims({"ClimbJumpLeft01"}));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    const float shelf = 2.5f * hero->probeBlock.typeHeight;
    // The shelf's edge over the hero, and a low roof a little above it: nothing to climb over.
    std::vector<Tri> roof = Square(-400, -400, 400, 400, shelf + 5.0f);
    for (Tri& t : roof) std::swap(t.b, t.c);  // facing down
    AddGround(Join({Square(-400, -400, 400, 400, 0), Shelf(shelf), roof}));
    ASSERT_NO_FATAL_FAILURE(JumpToTheShelf(hero));
    Sent().clear();
    Frame({Fwd, Left, MoveButton::Jump});
    EXPECT_TRUE(Playing(hero, AnimSlot::ClimbJumpLeft01));
    const auto codes = CodesTo(hero);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 58u), 1);
}

// Turning to the wall met ahead faces it squarely, the wall then straight ahead.
TEST_F(Movement, FacingTheWallTurnsTowardIt) {
    AddGround(Join({Square(-100, -100, 100, 100, 0), WallFacingBack(1.5f, -100, 100, 0, 60)}));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    hero->SetSize(1.0f);
    for (int32_t yaw : {300, 0, 4096 - 300}) {
        hero->SetYaw(yaw);
        ASSERT_EQ(hero->FaceWall(), 1) << yaw;
        EXPECT_EQ(hero->Yaw(), 0) << yaw;
        EXPECT_EQ(hero->WallAhead(2.0f), 1u) << yaw;
    }
}

// The guard on P plays the parry on the upper-body layer: its weight rises a quarter a step to its
// maximum, falls again over its last five frames, and the spells of all its frames are cast by the
// hero, those of its last frames too before the guard plays it again.
TEST_F(Movement, TheGuardRaisesTheUpperBodyLayerAndCastsItsFrameSpells) {
    datakit::QvaAnim parry;
    parry.frameCount = 30;
    parry.boneCount = 14;
    const std::vector<std::pair<uint32_t, int32_t>> spells = {{3, 7}, {26, 8}, {28, 9}, {29, 10}};
    for (uint32_t k : {0u, 3u, 26u, 28u, 29u}) {
        datakit::QvaFrame f;
        f.index = k;
        f.frameValue = -1;
        for (const auto& [frame, spell] : spells)
            if (frame == k) f.frameValue = spell;
        f.keys.assign(14, NztBoneKey{});
        parry.frames.push_back(f);
    }
    ASSERT_TRUE(datakit::WriteModelFile(temp.path() + "OBJECTS/ENTITIES/ANIMS/Hero/HeroFightParad.QVa",
                                        datakit::WriteQva(parry)));
    AddGround(Square(-400, -400, 400, 400, 0));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    static std::vector<int32_t> cast;
    cast.clear();
    const auto savedCast = CharacterLinks.castFrameSpell;
    CharacterLinks.castFrameSpell = [](NztBaseObject*, int32_t spell) { cast.push_back(spell); };
    Frames(3, {});
    Frame({MoveButton::Guard});  // the guard is taken up; the layer starts with the next step
    std::vector<float> weights;
    std::vector<int32_t> firstRound;
    int32_t lastFrame = -1;
    for (int i = 0; i < 45; ++i) {
        Frame({MoveButton::Guard});
        if (hero->layers[3].Anim != hero->GetAnim(AnimSlot::FightParad)) break;
        weights.push_back(hero->layers[3].Weight);
        if (firstRound.empty() && hero->layers[3].Frame < lastFrame) firstRound = cast;  // played again
        lastFrame = hero->layers[3].Frame;
    }
    CharacterLinks.castFrameSpell = savedCast;
    ASSERT_GE(weights.size(), 30u);
    EXPECT_FLOAT_EQ(weights[0], 0.25f);
    EXPECT_FLOAT_EQ(weights[3], 1.0f);
    EXPECT_FLOAT_EQ(*std::max_element(weights.begin(), weights.end()), 1.0f);
    EXPECT_FLOAT_EQ(*std::min_element(weights.begin() + 20, weights.begin() + 30), 0.0f);  // the last five
    ASSERT_FALSE(firstRound.empty()) << "the guard never played the parry again";
    EXPECT_EQ(firstRound, (std::vector<int32_t>{7, 8, 9, 10}));
}

// Speeds in the one unit of the movement code (world units a frame at 50 frames a second), each
// branch run over frames with its buttons: the numbers reached are the constants of the modes.
class Glides : public Movement {
protected:
};

TEST_F(Glides, FlyingClimbsAtTheClimbRateAndPitchesUpToFiveHundred) {
    AddGround(Square(-400, -400, 400, 400, 0));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    hero->canFly = 1;
    Frames(3, {});
    Frame({Back, MoveButton::Action});
    Frame({Back});  // the action button released with back held: take off
    ASSERT_EQ(hero->flying, 1u);
    float pitch = 0.0f;
    for (int i = 0; i < 60; ++i) {
        Frame({Back});
        pitch = std::max(pitch, hero->moveWork.poseTarget[0]);
    }
    // Climbing by button 8 toward minus the climb rate (10), the pitch toward 10 x 50.
    EXPECT_LT(hero->moveWork.verticalSpeed, -9.0f);
    EXPECT_GE(hero->moveWork.verticalSpeed, -10.0f);
    EXPECT_GT(pitch, 350.0f);
    EXPECT_LE(pitch, 500.0f);
    EXPECT_GT(hero->Position[1], 300.0f);
}

TEST_F(Glides, SwimmingDivesAtTheSwimClimbRateAndPitchesFullyDown) {
    // Water 1000 deep over the floor beyond z = 0.
    AddGround(Join({Square(-400, -400, 400, 0, 1000), Square(-400, 0, 400, 400, 0),
                    Square(-400, 0, 400, 400, 1000, HitTypeWater)}));
    NztEntity* hero = Player({3, 1000, 20});
    ASSERT_NE(hero, nullptr);
    Frames(10, {});
    ASSERT_EQ(hero->inWater, 1u);
    // Forward dives toward the record's swim climb rate (2.5) until the floor; the pitch toward
    // -(2.5 x 500), clamped to -1024.
    float fastest = 0.0f, pitch = 0.0f;
    for (int i = 0; i < 100; ++i) {
        Frame({Fwd});
        fastest = std::max(fastest, hero->moveWork.verticalSpeed);
        pitch = std::min(pitch, hero->moveWork.poseTarget[0]);
    }
    EXPECT_GT(fastest, 2.3f);
    EXPECT_LE(fastest, 2.5f);
    EXPECT_LT(pitch, -950.0f);
    EXPECT_GE(pitch, -1024.0f);
}

TEST_F(Glides, TheSkyDiveGrowsToItsCapAndLandsByTheHeightFallen) {
    HeroAnims({"FallSkyDive", "FallSkyDiveEndFloor", "RoundForward"});
    AddGround(Square(-4000, -4000, 4000, 4000, 0));
    NztEntity* hero = Player({3, 5000, 0});
    ASSERT_NE(hero, nullptr);
    // Started in the air before any frame: the fall test of the update does not take it first.
    hero->StartSkyDive();
    EXPECT_FLOAT_EQ(hero->skyDiveSpeed, 2.5f);
    Frames(6, {});  // the cross-fade into the dive
    float last = hero->skyDiveSpeed;
    Frame({});
    EXPECT_NEAR(hero->skyDiveSpeed - last, 1.25f, 1e-4f);  // grows by 1.25 a frame
    Frames(40, {});
    // Above the cap (25 without a lean) a quarter of the excess goes each frame: the speed settles
    // where that takes back the 1.25 it grows, 3.75 above the cap.
    EXPECT_NEAR(hero->skyDiveSpeed, 28.75f, 0.05f);
    EXPECT_NEAR(hero->glideVelocity[2], 2.5f, 0.05f);
    // It falls by the dive's own speed a frame at most: the ground following adds no gravity of
    // its own.
    const float y = hero->Position[1];
    Frame({});
    EXPECT_LE(y - hero->Position[1], hero->skyDiveSpeed + 0.01f);
    EXPECT_GT(y - hero->Position[1], 0.9f * hero->skyDiveSpeed);
    Frames(60, {Fwd});
    EXPECT_NEAR(hero->skyDiveSpeed, 38.75f, 0.05f);  // leaning forward: the cap is 25 + 10
    EXPECT_NEAR(hero->glideVelocity[2], 10.0f, 0.1f);
    bool endFloor = false;
    for (int i = 0; i < 400 && !endFloor; ++i) {
        Frame({Fwd});
        endFloor = Playing(hero, AnimSlot::FallSkyDiveEndFloor);
        ASSERT_FALSE(Playing(hero, AnimSlot::RoundForward));
    }
    EXPECT_TRUE(endFloor);  // far more than 100 fallen
    EXPECT_NEAR(hero->Position[1], 0.0f, 0.5f);
}

TEST_F(Glides, TheHangGliderDivesAtFiftyAndPitchesDownWithIt) {
    HeroAnims({"DeltaStart", "DeltaMoveForward", "DeltaEndFloor", "RoundForward"}, 4);
    AddGround(Square(-4000, -4000, 4000, 4000, 0));
    NztEntity* hero = Player({3, 20000, 0});
    ASSERT_NE(hero, nullptr);
    // Started in the air before any frame: the fall test of the update does not take it first.
    hero->StartDelta();
    ASSERT_EQ(hero->hangGliding, 1u);
    EXPECT_FLOAT_EQ(hero->glideVelocity[2], 15.0f);
    Frames(100, {Fwd});
    EXPECT_NEAR(hero->glideVelocity[2], 25.0f, 0.2f);
    EXPECT_NEAR(hero->moveWork.glideFall, 50.0f, 0.5f);
    EXPECT_NEAR(hero->moveWork.poseTarget[0], -(50.0f - 1.0f) * 15.0f, 1.0f);
    // Neither button: back toward 15 and a dive speed of 5; a turn eases toward the turn rate.
    Frames(150, {Left});
    EXPECT_NEAR(hero->glideVelocity[2], 15.0f, 0.2f);
    EXPECT_NEAR(hero->moveWork.glideFall, 5.0f, 0.2f);
    EXPECT_NEAR(hero->moveWork.turnSpeed, hero->turnRate, 0.1f * hero->turnRate);
}

TEST_F(Glides, TheParachuteFallsByItsWeightAndLandsOnItsFeet) {
    HeroAnims({"ParaStart", "ParaMoveForward", "ParaEndFloor"}, 4);
    AddGround(Square(-4000, -4000, 4000, 4000, 0));
    NztEntity* hero = Player({3, 300, 0});
    ASSERT_NE(hero, nullptr);
    // Started in the air before any frame: the fall test of the update does not take it first.
    hero->StartPara();
    ASSERT_EQ(hero->parachuting, 1u);
    Frames(60, {Fwd});
    EXPECT_NEAR(hero->moveWork.glideFall, 2.0f, 0.01f);  // 2 x weight with forward held
    EXPECT_NEAR(hero->glideVelocity[2], 1.0f, 0.01f);
    bool landed = false;
    for (int i = 0; i < 400 && !landed; ++i) {
        Frame({});
        landed = Playing(hero, AnimSlot::ParaEndFloor);
    }
    EXPECT_TRUE(landed);
}

// Order 6 with the watcher's radii (near 30, keep 60, far 120): from 100 and from 200 it comes
// back within 60; from 15 it backs away to 30.
TEST_F(Movement, TheWatcherKeepsItsDistanceFromTheHero) {
    AddGround(Square(-1000, -1000, 1000, 1000, 0));
    for (float start : {100.0f, 200.0f, 15.0f}) {
        NztEntity* hero = Player({3, 0, 0});
        ASSERT_NE(hero, nullptr);
        NztEntity* watcher = GetEntityType("Hero1001");
        ASSERT_NE(watcher, nullptr);
        const float at[3] = {3, 0, start};
        watcher->SetPosition(at);
        const float radii[3] = {30.0f, 60.0f, 120.0f};
        for (int k = 0; k < 3; ++k) {
            watcher->radii[k + 1] = radii[k];
            watcher->radiiSquared[k + 1] = radii[k] * radii[k];
        }
        watcher->SetTarget(hero);
        watcher->SetOrder(6);
        Frames(600, {});
        const float d = std::hypot(watcher->Position[0] - hero->Position[0], watcher->Position[2] - hero->Position[2]);
        EXPECT_GE(d, 28.0f) << start;
        EXPECT_LE(d, 62.0f) << start;
        RemoveAllEntities();
        PlayerEntity = nullptr;
    }
}

// The jump button of the sample hero, standing and walking: it leaves the ground and comes down.
TEST_F(Movement, TheHeroLeavesTheGroundWhenItJumps) {
    ASSERT_TRUE(WriteHeroMoveAndJumpFiles());
    AddGround(Square(-300, -300, 300, 300, 0));
    NztEntity* hero = Player({3, 0, -50});
    ASSERT_NE(hero, nullptr);
    for (bool walking : {false, true}) {
        Frames(20, {});
        if (walking) Frames(10, {Fwd});
        ASSERT_NEAR(hero->Position[1], 0.0f, 0.01f);
        Frame(walking ? Buttons{Fwd, MoveButton::Jump} : Buttons{MoveButton::Jump});
        float highest = 0.0f;
        for (int i = 0; i < 60; ++i) {
            Frame(walking ? Buttons{Fwd} : Buttons{});
            highest = std::max(highest, hero->Position[1]);
        }
        EXPECT_GT(highest, 4.0f) << (walking ? "walking" : "standing");
        Frames(40, {});
        EXPECT_NEAR(hero->Position[1], 0.0f, 0.01f) << (walking ? "walking" : "standing");
        EXPECT_EQ(hero->airborne, 0u);
    }
}

// The standing jump of the sample hero comes down as a thrown body does, at every frame rate the game
// may run at: the way down from the top takes at least as many frames as the way up (and not half
// as many again), and the top is well above the hero's knees.
TEST_F(Movement, TheStandingJumpFallsAsLongAsItRises) {
    ASSERT_TRUE(WriteHeroMoveAndJumpFiles());
    AddGround(Square(-300, -300, 300, 300, 0));
    NztEntity* hero = Player({3, 0, -50});
    ASSERT_NE(hero, nullptr);
    for (float fps : {30.0f, 50.0f, 60.0f, 100.0f, 144.0f}) {
        SCOPED_TRACE(fps);
        FrameTiming.frameTime = 1.0f / fps;
        FrameTiming.frameFactor = 50.0f / fps;
        Frames(20, {});
        ASSERT_NEAR(hero->Position[1], 0.0f, 0.01f);
        Frame({MoveButton::Jump});
        // Off the ground and back on it: the feet a unit above it, the same mark both ways.
        int up = -1, top = -1, down = -1;
        float highest = 0.0f;
        for (int i = 0; i < 200 && down < 0; ++i) {
            Frame({});
            const float y = hero->Position[1];
            if (up < 0 && y > 1.0f) up = i;
            if (up >= 0 && y > highest) highest = y, top = i;
            if (up >= 0 && y <= 1.0f) down = i;
        }
        ASSERT_GE(up, 0) << "the hero never left the ground";
        ASSERT_GE(down, 0) << "the hero never came back down";
        const float rise = static_cast<float>(top - up), fall = static_cast<float>(down - top);
        EXPECT_GT(highest, 8.0f);
        EXPECT_GE(fall, rise) << "rose for " << rise << " frames, fell for " << fall;
        EXPECT_LE(fall, 1.5f * rise) << "rose for " << rise << " frames, fell for " << fall;
        for (int i = 0; i < 400 && (hero->Position[1] > 0.01f || hero->airborne != 0); ++i) Frame({});
        EXPECT_NEAR(hero->Position[1], 0.0f, 0.01f);
        EXPECT_EQ(hero->airborne, 0u);
    }
}

// The target speed factor an action gives a character (64, sub-code 18), at once or eased toward.
void ActionSpeedFactor(NztEntity* e, float factor, bool atOnce) {
    EventRecord r = BlankEventRecord();
    r.Action = ActionObjectControl;
    r.TargetKind = ObjectKindEntity;
    r.TargetId = e->id;
    r.Param = 18;
    for (int i = 0; i < 13; ++i) r.SetValueI(i, 0);
    r.SetValueF(3, atOnce ? 1.0f : 0.0f);
    r.SetValueF(9, 1.0f);  // the target speed factor is set
    r.SetValueF(10, factor);
    ObjectControlAction(&r);
}

// The target speed factor an action gives the player is the one its current factor eases toward,
// and it stays: five seconds of walking after it cover about three times the ground of five
// seconds before.
TEST_F(Movement, ASpeedFactorSetByAnActionLasts) {
    AddGround(Square(-2000, -2000, 2000, 2000, 0));
    NztEntity* hero = Player({3, 0, -1000});
    ASSERT_NE(hero, nullptr);
    auto walk = [&](int frames) {
        const float from = hero->Position[2];
        Frames(frames, {Fwd});
        return hero->Position[2] - from;
    };
    walk(60);  // into a steady walk
    const float plain = walk(250);
    ASSERT_GT(plain, 50.0f);
    ActionSpeedFactor(hero, 3.0f, false);
    ASSERT_FLOAT_EQ(hero->speedFactorTarget, 3.0f);
    const float fast = walk(250);
    // The current factor takes a second or so to ease up to 3.
    EXPECT_NEAR(fast / plain, 3.0f, 0.25f) << "plain " << plain << ", after the action " << fast;
    EXPECT_NEAR(hero->speedFactor, 3.0f, 0.01f);
}

// The sample hero's three paces come from its animations: walking, running and sprinting (the gait
// button cycles them) cover more ground each, at the one speed factor.
TEST_F(Movement, WalkRunAndSprintAreThreePaces) {
    AddGround(Square(-2000, -2000, 2000, 2000, 0));
    NztEntity* hero = Player({3, 0, -1500});
    ASSERT_NE(hero, nullptr);
    std::vector<float> paces;
    for (int gait = 0; gait < 3; ++gait) {
        if (gait > 0) {
            Frame({Fwd, MoveButton::Gait});
            Frame({Fwd});
        }
        Frames(60, {Fwd});
        const float from = hero->Position[2];
        Frames(100, {Fwd});
        paces.push_back(hero->Position[2] - from);
    }
    EXPECT_FLOAT_EQ(hero->speedFactor, 1.0f);
    EXPECT_GT(paces[0], 40.0f);
    EXPECT_GT(paces[1], 1.5f * paces[0]);
    EXPECT_GT(paces[2], 1.3f * paces[1]);
}

// A swim asks for its own speeds; back on land the hero has the factor it had before.
TEST_F(Movement, ASpeedFactorOutlastsASwim) {
    AddGround(Join({Square(-300, -300, 300, 300, 0), Square(-300, 0, 300, 300, 8, HitTypeWater)}));
    NztEntity* hero = Player({3, 0, -30});
    ASSERT_NE(hero, nullptr);
    Frames(3, {});
    ActionSpeedFactor(hero, 2.0f, true);
    for (int i = 0; i < 400 && !hero->inWater; ++i) Frame({Fwd});
    ASSERT_EQ(hero->inWater, 1u);
    Frames(60, {});
    EXPECT_FLOAT_EQ(hero->speedFactorTarget, 0.0f);  // afloat at rest
    for (int i = 0; i < 1000 && hero->inWater; ++i) Frame({Back});
    ASSERT_EQ(hero->inWater, 0u);
    Frames(60, {});
    EXPECT_FLOAT_EQ(hero->speedFactorTarget, 2.0f);
}

// Walking off the high end of a slope: the hero falls from the edge, never up.
TEST_F(Movement, WalkingOffTheTopOfASlopeFallsFromItsEdge) {
    // The sample level's ramp: 14 high over 56 along +z, a sheer drop at its high end; the hero
    // with its jumps, as in the sample data.
    ASSERT_TRUE(WriteHeroMoveAndJumpFiles());
    AddGround(Square(-300, -300, 300, 300, 0));
    NztMesh* mesh = CreateMeshData();
    ASSERT_EQ(LoadMeshFile("OBJECTS/Ramp1001.QVo", mesh, 0, 1), 1);
    ASSERT_EQ(LoadMeshSideFile("OBJECTS/Ramp0001.QVc", mesh), 1);
    NztScnObject* ramp = CreateScnObject(mesh);
    const float at[3] = {0, 0, 0};
    ramp->SetPosition(at);
    ramp->BindRenderData();
    ramp->UpdateCollision();
    ramp->registered = 1;
    BuildCollideGrid();
    NztEntity* hero = Player({3, 0, -50});
    ASSERT_NE(hero, nullptr);
    Frames(5, {});
    float highest = 0.0f;
    for (int i = 0; i < 400 && hero->Position[2] < 60.0f; ++i) {
        Frame({Fwd});
        highest = std::max(highest, hero->Position[1]);
        ASSERT_TRUE(FinitePosition(hero));
    }
    EXPECT_GT(hero->Position[2], 60.0f);
    EXPECT_LT(highest, 14.5f);
    EXPECT_NEAR(hero->Position[1], 0.0f, 0.01f);
}

// Walking off the ledge's top and off the slope's side, where each stands above the step height: the
// hero drops from where it stepped off, as a dropped body falls, without a leap up first; it lands on
// the ground below and walks on. (A walking jump's take-off played on the way off would lift the
// hero back up to the edge's height and then hurl it down at the speed it built up meanwhile.)
TEST_F(Movement, WalkingOffAnEdgeFallsWithoutALeap) {
    const struct {
        const char* piece;
        Vec3 start;   // on its top, facing the edge
        int32_t yaw;  // 4096 a turn: 0 faces +z, 1024 faces +x
        float top;    // the height stepped off from
    } cases[] = {
        {"Ledge", {3, 14, 10}, 0, 14.0f},    // its far face at z 30
        {"Ramp", {3, 12, 20}, 1024, 12.0f},  // its side at x 20, 12 up there
    };
    ASSERT_TRUE(WriteHeroMoveAndJumpFiles());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.piece);
        NztScnObject* ground = AddGround(Square(-300, -300, 300, 300, 0));
        NztMesh* mesh = CreateMeshData();
        ASSERT_EQ(LoadMeshFile((std::string("OBJECTS/") + c.piece + "1001.QVo").c_str(), mesh, 0, 1), 1);
        ASSERT_EQ(LoadMeshSideFile((std::string("OBJECTS/") + c.piece + "0001.QVc").c_str(), mesh), 1);
        NztScnObject* piece = CreateScnObject(mesh);
        const float at[3] = {0, 0, 0};
        piece->SetPosition(at);
        piece->BindRenderData();
        piece->UpdateCollision();
        piece->registered = 1;
        BuildCollideGrid();
        NztEntity* hero = Player(c.start);
        ASSERT_NE(hero, nullptr);
        hero->stance = 1;  // Up walks the way the hero faces, as in the sample level
        hero->SetYaw(c.yaw);
        Frames(5, {});
        ASSERT_NEAR(hero->Position[1], c.top, 0.5f);
        // Up held until the hero has stepped off and come down.
        std::vector<float> heights;
        for (int i = 0; i < 300 && (heights.empty() || hero->Position[1] > 0.01f); ++i) {
            Frame({Fwd});
            if (hero->Position[1] < c.top - 0.5f || !heights.empty()) heights.push_back(hero->Position[1]);
            ASSERT_TRUE(FinitePosition(hero));
        }
        ASSERT_FALSE(heights.empty()) << "the hero never stepped off";
        std::string trace;
        for (float y : heights) trace += " " + std::to_string(y);
        // Never back up to the edge it stepped off.
        EXPECT_LT(*std::max_element(heights.begin(), heights.end()), c.top - 2.0f) << trace;
        // From the highest point after the step, down frame by frame, each frame's drop at most a
        // little more than the one before: gravity's pull, not a throw.
        const auto from = std::max_element(heights.begin(), heights.end());
        float drop = 0.0f;
        for (auto y = from + 1; y != heights.end(); ++y) {
            const float d = *(y - 1) - *y;
            EXPECT_GE(d, -0.01f) << "rose again:" << trace;
            EXPECT_LE(d, drop + 0.3f) << "thrown down:" << trace;
            drop = std::max(drop, d);
        }
        EXPECT_NEAR(hero->Position[1], 0.0f, 0.01f) << trace;
        EXPECT_EQ(hero->airborne, 0u);
        // Landed, the walk goes on.
        const Vec3 landed{hero->Position[0], 0, hero->Position[2]};
        Frames(30, {Fwd});
        EXPECT_GT(std::hypot(hero->Position[0] - landed.x, hero->Position[2] - landed.z), 5.0f);
        EXPECT_EQ(hero->animStateMachine, 1u);
        RemoveAllEntities();
        PlayerEntity = nullptr;
        ground->registered = piece->registered = 0;
    }
}

// Releasing the action button ends the ground branch's frame for a character that may fly, even
// when no direction takes it into the air.
TEST_F(Movement, TheTakeOffStepEndsTheFrameForAFlyer) {
    AddGround(Square(-400, -400, 400, 400, 0));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    hero->canFly = 1;
    Frames(5, {});
    Frame({MoveButton::Action});
    Frame({Fwd});  // released, forward held: the walk waits for the next frame
    EXPECT_FALSE(Playing(hero, AnimSlot::MoveWalk));
    EXPECT_EQ(hero->flying, 0u);
    Frame({Fwd});
    EXPECT_TRUE(Playing(hero, AnimSlot::MoveWalk));
}

// The inventory keys run in the player's behaviour step, once a frame, before its control.
TEST_F(Movement, TheInventoryKeysRunBeforeThePlayersControl) {
    AddGround(Square(-400, -400, 400, 400, 0));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    static std::vector<int> gaits;
    gaits.clear();
    CharacterServices.inventoryKeys = [] { gaits.push_back(PlayerEntity->gait); };
    Frame({});
    Frame({MoveButton::Gait});  // the control cycles the gait after the keys ran
    EXPECT_EQ(gaits, (std::vector<int>{0, 0}));
    EXPECT_EQ(hero->gait, 1);
}

// Leaving a mount high in the air starts a sky-dive only above 50 body heights (the collision
// height, not the size): the hero rides a flyer, takes it up with the buttons and jumps off.
TEST_F(Movement, DismountingInTheAirSkyDivesOnlyFromFiftyBodyHeights) {
    AddGround(Square(-400, -400, 400, 400, 0));
    for (float above : {500.0f, 1000.0f}) {
        SCOPED_TRACE(above);
        NztEntity* hero = Player({3, 0, 0});
        ASSERT_NE(hero, nullptr);
        hero->SetSize(2.0f);
        NztEntity* mount = GetEntityType("Hero1001");
        ASSERT_NE(mount, nullptr);
        mount->SetPosition(std::array<float, 3>{3, 0, 0}.data());
        mount->canFly = 1;
        mount->flyMaxHeight = 2000.0f;
        hero->Mount(mount);
        ASSERT_EQ(hero->riddenEntity, mount);
        Frames(3, {});
        // The action button released with back held takes the mount up; back keeps it climbing.
        Frame({Back, MoveButton::Action});
        Frame({Back});
        ASSERT_EQ(mount->flying, 1u);
        for (int i = 0; i < 600 && mount->Position[1] < above; ++i) Frame({Back});
        ASSERT_GE(mount->Position[1], above);
        ASSERT_EQ(mount->airborne, 1u);
        hero->Dismount();
        // 18 high: 900 above the ground is the limit.
        EXPECT_EQ(hero->skyDiving, above > 900.0f ? 1u : 0u);
        EXPECT_EQ(hero->riddenEntity, nullptr);
        RemoveAllEntities();
        PlayerEntity = nullptr;
    }
}

TEST_F(Movement, InputEventsFollowPressHoldAndRelease) {
    AddGround(Square(-100, -100, 100, 100, 0));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    struct Case {
        int button;
        uint32_t press;
        bool driven;  // raised only while the player is driven by input
    };
    const Case cases[] = {{2, 79, false}, {7, 68, false}, {14, 75, false}, {1, 76, false}, {0, 77, false},
                          {15, 78, true}, {4, 80, true},  {3, 82, true},   {23, 86, true}};
    for (const Case& c : cases) {
        for (uint32_t driven : {1u, 0u}) {
            hero->inputDriven = driven;
            auto codes = [&] {
                std::vector<uint32_t> v;
                for (uint32_t code : CodesTo(hero))
                    if (code >= 68 && code <= 124) v.push_back(code);
                return v;
            };
            // Press on a tick frame, hold over a non-tick and a tick frame, release off the tick.
            std::memset(KeyStates.actions, 0, kGameActionCount);
            std::memset(KeyStates.previousActions, 0, kGameActionCount);
            Sent().clear();
            auto step = [&](bool down, bool tick) {
                std::memcpy(KeyStates.previousActions, KeyStates.actions, kGameActionCount);
                KeyStates.actions[c.button] = down ? 1 : 0;
                FrameAccumulators.tickA = tick ? 0.0f : 0.05f;
                hero->RaiseInputEvents();
            };
            step(true, true);
            step(true, false);
            step(true, true);
            step(false, false);
            const bool raised = !c.driven || driven;
            const std::vector<uint32_t> want =
                raised ? std::vector<uint32_t>{c.press, c.press + 19, c.press + 38} : std::vector<uint32_t>{};
            EXPECT_EQ(codes(), want) << c.button << " driven " << driven;
        }
    }
    // Buttons 16 to 20 raise nothing; speed events on tick frames only.
    hero->inputDriven = 1;
    Sent().clear();
    std::memset(KeyStates.previousActions, 0, kGameActionCount);
    std::memset(KeyStates.actions, 0, kGameActionCount);
    for (int b = 16; b <= 20; ++b) KeyStates.actions[b] = 1;
    FrameAccumulators.tickA = 0.05f;
    hero->RaiseInputEvents();
    EXPECT_TRUE(CodesTo(hero).empty());
    FrameAccumulators.tickA = 0.0f;
    hero->forwardSpeed = 0.0f;
    hero->RaiseInputEvents();
    EXPECT_EQ(CodesTo(hero), (std::vector<uint32_t>{125}));
}

TEST_F(Movement, GaitButtonCyclesAndTheStickPicksTheGaitInUse) {
    AddGround(Square(-100, -100, 100, 100, 0));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    for (uint8_t want : {1, 2, 0}) {
        Frame({MoveButton::Gait});
        EXPECT_EQ(hero->gait, want);
        Frame({});
    }
    hero->groundTilt = 1;
    Frame({MoveButton::Gait});
    EXPECT_EQ(hero->gait, 0);
    hero->groundTilt = 0;
    struct Case {
        uint8_t chosen;
        float stick;
        uint8_t inUse;
    };
    const Case cases[] = {{2, 0.7f, 1}, {2, 0.9f, 2}, {2, 0.5f, 0}, {1, 0.55f, 1}, {1, 0.4f, 0}, {0, 1.0f, 0}};
    for (const Case& c : cases) {
        hero->gait = c.chosen;
        PadStates.current->axes[1] = -c.stick;
        hero->ControlGround();
        EXPECT_EQ(hero->gaitInUse, c.inUse) << int(c.chosen) << " " << c.stick;
    }
    PadStates.current->axes[1] = 0.0f;
}

TEST_F(Movement, LedgeProbeAnswersByTheHeightAhead) {
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    hero->size = 2.0f;  // the probe looks size + 1 ahead: 3, past the ledge's face at 1.5
    const float h = hero->probeBlock.typeHeight;
    ASSERT_GT(h, 1.0f);
    // The probe needs the jump animations it would start: two empty stand-ins.
    NztAnim* stand = hero->GetAnim(AnimSlot::MoveStatic01);
    ASSERT_NE(stand, nullptr);
    struct Case {
        float top;        // the ledge's top over z 1.5 .. 30, -1 none
        float gapFloor;   // the floor beyond z 1.5 when lower than the feet
        uint32_t canHang;
        uint32_t want;
    };
    const Case cases[] = {
        {0.8f * h, 0, 1, LedgeStepUp},    // within a body height: step up
        {1.0f * h, 0, 1, LedgeHandUp},    // exactly a body height is not a step (strict bound)
        {1.0f * h, 0, 0, LedgeNone},      // and cannot be hung from without canHang
        {2.5f * h, 0, 1, LedgeHandUp},    // a high ledge ahead
        {0.5f * h, 0, 1, LedgeNone},      // too low to need a jump
    };
    for (const Case& c : cases) {
        FreeCollideGrid();
        RemoveAllScnObjects();
        AddGround(Join({Square(-50, -50, 50, 1.5f, 0), Square(-50, 1.5f, 50, 60, c.top)}));
        for (uint32_t slot : {AnimSlot::JumpUp01, AnimSlot::JumpHandUpBig01})
            hero->mesh->AnimSlots[slot] = stand;
        hero->canHang = c.canHang;
        hero->Position[1] = 0.0f;
        EXPECT_EQ(hero->FindLedge(), c.want) << c.top / h;
        if (c.want != LedgeNone) {
            EXPECT_FLOAT_EQ(hero->ledgeHeight, c.top);
        }
        for (uint32_t slot : {AnimSlot::JumpUp01, AnimSlot::JumpHandUpBig01}) hero->mesh->AnimSlots[slot] = nullptr;
    }
    // A hold across a gap: the floor drops away ahead, and a ledge stands beyond it.
    FreeCollideGrid();
    RemoveAllScnObjects();
    const float far = 2.0f * (hero->size + 1.0f) + h;
    AddGround(Join({Square(-50, -50, 50, 1.5f, 0), Square(-50, 1.5f, 50, far - 2.0f, -3.0f * h),
                    Square(-50, far - 2.0f, 50, far + 40.0f, 1.5f * h)}));
    hero->mesh->AnimSlots[AnimSlot::JumpHandAway01] = stand;
    hero->canHang = 1;
    EXPECT_EQ(hero->FindLedge(), LedgeHandAway);
    EXPECT_FLOAT_EQ(hero->ledgeHeight, 1.5f * h);
    hero->mesh->AnimSlots[AnimSlot::JumpHandAway01] = nullptr;
}

TEST_F(Movement, ModeTransitionsKeepTheirConditionsAndEvents) {
    AddGround(Join({Square(-100, -100, 100, 100, 0), Square(-100, -100, 100, 100, 10, HitTypeWater)}));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    NztAnim* stand = hero->GetAnim(AnimSlot::MoveStatic01);
    ASSERT_NE(stand, nullptr);
    // A slide needs a slope falling away by more than 32 units, of the slide surface type.
    for (uint32_t slot : {AnimSlot::SlideStart, AnimSlot::SlideRun, AnimSlot::SlideSprint}) hero->mesh->AnimSlots[slot] = stand;
    hero->groundContact.surfaceType = 5;
    hero->groundPitch = -32;
    EXPECT_FALSE(hero->CanStartSlide());
    hero->groundPitch = -33;
    EXPECT_TRUE(hero->CanStartSlide());
    hero->groundContact.surfaceType = 1;
    EXPECT_FALSE(hero->CanStartSlide());
    // Ending a flight tells water from land; a flight that ends in a jump tells nothing.
    struct FlyCase {
        uint32_t inWater;
        float y;
        std::vector<uint32_t> events;
    };
    const FlyCase flights[] = {{1, 0.0f, {42, 44}}, {0, 0.0f, {42, 43}}, {0, 50.0f, {42}}};
    for (const FlyCase& c : flights) {
        hero->ResetActions();
        hero->airborne = 0;
        hero->locked = 0;
        hero->Position[1] = c.y;
        hero->supportHeight = 0.0f;
        hero->inWater = c.inWater;
        Sent().clear();
        hero->StartFly();
        hero->airborne = 0;
        hero->EndFly();
        EXPECT_EQ(CodesTo(hero), c.events) << c.inWater << " " << c.y;
        EXPECT_EQ(hero->flying, 0u);
    }
    // A running character without a jump animation falls, with the walk jump on record.
    hero->ResetActions();
    hero->airborne = 0;
    hero->gait = 1;
    hero->Position[1] = 50.0f;
    hero->StartJump();
    EXPECT_EQ(hero->airborne, 1u);
    EXPECT_EQ(hero->moveWork.fallAnim, AnimSlot::JumpWalk01);
    ASSERT_EQ(hero->actionCount, 1u);
    EXPECT_TRUE(hero->actionSlots[0] == MakeAction(&NztEntity::ActFall));
    // A parachute told to abort becomes a sky-dive on its next step.
    hero->ResetActions();
    for (uint32_t slot : {AnimSlot::ParaStart, AnimSlot::FallSkyDive}) hero->mesh->AnimSlots[slot] = stand;
    hero->StartPara();
    EXPECT_EQ(hero->parachuting, 1u);
    hero->abortGlide = 1;
    hero->ParachuteStep();
    EXPECT_EQ(hero->parachuting, 0u);
    EXPECT_EQ(hero->skyDiving, 1u);
    EXPECT_EQ(hero->abortGlide, 0u);
    // A sky-dive that closes with the fatal landing leaves no life.
    NztAnim* landing = hero->GetAnim(AnimSlot::MoveWalk);
    hero->mesh->AnimSlots[AnimSlot::FallSkyDiveEndFloor] = landing;
    hero->SkyDiveEndFloor();
    hero->SetAnimFrame(static_cast<int32_t>(landing->FrameCount) - 1);
    hero->SkyDiveStep();
    EXPECT_EQ(hero->skyDiving, 0u);
    EXPECT_FLOAT_EQ(hero->life, 0.0f);
}

TEST_F(Movement, PoseStaysWithinItsBounds) {
    AddGround(Square(-100, -100, 100, 100, 0));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    Frames(2, {});
    // The parachute's roll target follows the fall speed within +-64.
    struct ParaCase {
        float speed, roll;
    };
    hero->parachuting = 1;
    for (const ParaCase& c : {ParaCase{10.0f, -64.0f}, ParaCase{1.0f, 0.0f}, ParaCase{-10.0f, 64.0f}}) {
        hero->skyDiveSpeed = c.speed;
        hero->SteerPara();
        EXPECT_FLOAT_EQ(hero->moveWork.poseTarget[2], c.roll) << c.speed;
    }
    hero->parachuting = 0;
    // A sprung wheel never leaves its travel, a standing vehicle keeps its wheel angle.
    hero->groundTilt = 1;
    EntityBoneRecord wheel;
    wheel.point = -1;
    wheel.bone = 10;
    wheel.travel = 0.4f;
    ASSERT_EQ(hero->AddBoneRecord(wheel), 1);
    hero->moveWork.wheelAngle = 100.0f;
    for (float ground : {-50.0f, 50.0f}) {
        hero->Position[1] = ground;
        for (int i = 0; i < 60; ++i) {
            hero->AdjustPose();
            ASSERT_LE(std::fabs(hero->boneRecords[0].offset), 0.4f + 1e-6f);
        }
    }
    EXPECT_FLOAT_EQ(hero->moveWork.wheelAngle, 100.0f);
    // An attached character is left as it is.
    NztEntity* mount = GetEntityType("Hero1001");
    ASSERT_NE(mount, nullptr);
    hero->parent = mount;
    hero->moveWork.poseTarget[0] = 300.0f;
    const float pitch = hero->moveWork.pose[0];
    hero->AdjustPose();
    EXPECT_EQ(hero->moveWork.pose[0], pitch);
    hero->parent = nullptr;
}

TEST_F(Movement, SampleLevelPiecesLoadWithTheirCollision) {
    struct Piece {
        const char* name;
        uint32_t hitType;
        float top;
    };
    const Piece pieces[] = {{"Water", HitTypeWater, 0.0f}, {"Ledge", 1, 14.0f}, {"Ladder", 1, 60.0f}, {"Ramp", 1, 14.0f}};
    for (const Piece& p : pieces) {
        NztMesh* mesh = CreateMeshData();
        const std::string base = std::string("OBJECTS/") + p.name;
        ASSERT_EQ(LoadMeshFile((base + "1001.QVo").c_str(), mesh, 0, 1), 1) << p.name;
        ASSERT_EQ(LoadMeshSideFile((base + "0001.QVc").c_str(), mesh), 1) << p.name;
        ASSERT_GT(mesh->CollisionTriangleCount, 0u) << p.name;
        for (uint32_t word : mesh->CollisionTriangleWords) EXPECT_EQ(word, p.hitType) << p.name;
        float top = -1e9f;
        for (const Vec3& v : mesh->CollisionVertices) top = std::max(top, v.y);
        EXPECT_FLOAT_EQ(top, p.top) << p.name;
    }
}

TEST_F(Movement, NoModeLeavesThePlayerStuck) {
    AddGround(Square(-100, -100, 100, 100, 0));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    Frames(3, {});
    // A move of the state machine that no callback carries hands control back once it is over.
    hero->actionState = ActionStateScripted;
    Frames(3, {});
    EXPECT_EQ(hero->actionState, ActionStateFree);
    // A sprint jump without its animation makes no jump, and the sprint goes on.
    hero->gait = 2;
    const float z = hero->Position[2];
    Frames(2, {Fwd});
    Frames(30, {Fwd, MoveButton::Jump});
    EXPECT_EQ(hero->locked, 0);
    EXPECT_GT(hero->Position[2], z + 5.0f);
}

// Hanging from a hold with no jump off it at all (no back jump, no gait jump, no ledge below),
// back and jump lets go of the hold rather than keeping the player on it for good.
TEST_F(Movement, BackAndJumpLetGoOfAHoldWithNoJumpOffIt) {
    ASSERT_NO_FATAL_FAILURE(HoldAnims());
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    AddGround(Join({Square(-400, -400, 400, 400, 0), Shelf(2.5f * hero->probeBlock.typeHeight)}));
    ASSERT_NO_FATAL_FAILURE(JumpToTheShelf(hero));
    Sent().clear();
    Frame({Back});
    ASSERT_EQ(hero->actionState, ActionStateHanging);
    Frame({Back, MoveButton::Jump});
    EXPECT_EQ(hero->actionState, ActionStateFree);
    const auto codes = CodesTo(hero);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 57u), 1);
    // It falls back to the ground.
    for (int i = 0; i < 200 && (hero->airborne || hero->Position[1] > 0.5f); ++i) Frame({});
    EXPECT_NEAR(hero->Position[1], 0.0f, 0.5f);
}

TEST_F(Movement, BadValuesNeverReachThePosition) {
    AddGround(Square(-100, -100, 100, 100, 0));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    Frames(3, {});
    // A zero frame time: no speed, nothing divided by it.
    FrameTiming.frameTime = 0.0f;
    FrameTiming.frameFactor = 0.0f;
    EXPECT_EQ(hero->GetSpeed(), 0.0f);
    float v[3] = {1, 1, 1};
    hero->GetVelocity(v);
    EXPECT_EQ(v[0], 0.0f);
    FrameTiming.frameTime = 0.02f;
    FrameTiming.frameFactor = 1.0f;
    // A probe that answers nothing finite leaves the height alone.
    hero->supportHeight = std::nanf("");
    hero->glideVelocity[2] = std::nanf("");
    hero->sliding = 1;
    hero->SlideBranch();
    hero->sliding = 0;
    hero->glideVelocity[2] = 0.0f;
    hero->supportHeight = 0.0f;
    EXPECT_TRUE(FinitePosition(hero));
    // A glide with a non-finite velocity does not move the character.
    hero->glideVelocity[1] = std::nanf("");
    hero->parachuting = 1;
    hero->ParaBranch();
    hero->parachuting = 0;
    hero->glideVelocity[1] = 0.0f;
    EXPECT_TRUE(FinitePosition(hero));
}

// Walls: the character's swept body stops at a wall met head on and slides along one met at a
// slant, whether the player walks into it or a character's own code moves it; the wall block names
// the wall and the wall hears of the contact.
TEST_F(Movement, AWallStopsTheCharacterOrTurnsItAlong) {
    enum class Mover { Player, Pushed };
    struct Case {
        const char* name;
        Mover mover;
        bool slant;  // the wall x + z = 20 instead of z = 20
    };
    const Case cases[] = {{"player, head on", Mover::Player, false},
                          {"player, slant", Mover::Player, true},
                          {"pushed, head on", Mover::Pushed, false},
                          {"pushed, slant", Mover::Pushed, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        AddGround(Square(-100, -100, 100, 100, 0));
        const std::vector<Tri> tris = c.slant ? Upright({-100, 0, 120}, {120, 0, -100}, 0, 40, {0, 0, 0})
                                              : WallFacingBack(20, -50, 50, 0, 40);
        NztScnObject* wall = AddGround(tris);
        NztEntity* hero = Player({3, 0, 0});
        ASSERT_NE(hero, nullptr);
        NztEntity* mover = hero;
        if (c.mover == Mover::Pushed) {
            // Another character, moved by its own code a unit a frame along its forward axis.
            mover = GetEntityType("Hero1001");
            ASSERT_NE(mover, nullptr);
            const float at[3] = {-20, 0, 0};
            mover->SetPosition(at);
            mover->SetYaw(0);
            hero->SetPosition(std::array<float, 3>{60, 0, -60}.data());
        }
        Frames(3, {});
        const float r = mover->collisionBody.radius;
        ASSERT_GT(r, 0.5f);
        const float startX = mover->Position[0];
        bool contact = false;
        for (int i = 0; i < 100; ++i) {
            if (c.mover == Mover::Pushed) mover->MoveForward(1.0f);
            Frame(c.mover == Mover::Player ? Buttons{Fwd} : Buttons{});
            ASSERT_TRUE(FinitePosition(mover));
            // Never through: the body keeps at least its radius (less rounding) off the plane.
            const float gap = c.slant ? (20.0f - mover->Position[0] - mover->Position[2]) / std::sqrt(2.0f)
                                      : 20.0f - mover->Position[2];
            ASSERT_GT(gap, r - 0.05f) << "frame " << i;
            if (mover->wallContact.secondObject == wall) {
                contact = true;
                EXPECT_TRUE(mover->HasWallContact());
                EXPECT_EQ(mover->wallContact.carrierValue, 1.0f);
                EXPECT_EQ(mover->wallContact.word0, 0u);  // a solid wall is no event surface
            }
        }
        EXPECT_TRUE(contact);
        if (c.slant)
            EXPECT_LT(mover->Position[0], startX - 10.0f);  // turned along the wall, toward -x
        else
            EXPECT_NEAR(mover->Position[0], startX, 2.0f);  // stopped where it met it
        // The wall was told once that the character came against it; the character too.
        const std::vector<uint32_t> codes = CodesTo(wall);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 3u), 1);
        const std::vector<uint32_t> own = CodesTo(mover);
        EXPECT_NE(std::find(own.begin(), own.end(), 16u), own.end());
    }
}

// Event surfaces (type 8) never block; the floor of that type fills the ground block and its object
// hears 0 and 6, then 1 and 7 at the tenth-second ticks, then 2 and 8 when left; a wall of that type
// is reported in the wall block and hears 9 and 11. The character itself hears none of these.
TEST_F(Movement, EventSurfacesFillTheContactBlocksAndHearTheCharacter) {
    AddGround(Square(-100, -100, 100, 100, 0));
    NztScnObject* pad = AddGround(Square(-20, 10, 20, 30, 0.5f, HitTypeTouch));
    NztScnObject* curtain = AddGround(WallFacingBack(50, -50, 50, 0, 40, HitTypeTouch));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    Frames(3, {});
    EXPECT_EQ(hero->groundContact.surfaceType, 1u);
    bool onPad = false, touchedCurtain = false;
    for (int i = 0; i < 400 && hero->Position[2] < 70.0f; ++i) {
        Frame({Fwd});
        ASSERT_TRUE(FinitePosition(hero));
        if (hero->groundContact.secondObject == pad) {
            onPad = true;
            EXPECT_EQ(hero->groundContact.surfaceType, HitTypeTouch);
            EXPECT_NEAR(hero->Position[1], 0.5f, 0.6f);
        }
        if (hero->wallContact.object == curtain) {
            touchedCurtain = true;
            EXPECT_EQ(hero->wallContact.word0, HitTypeTouch);
            EXPECT_EQ(hero->wallContact.secondObject, nullptr);  // it blocks nothing
        }
    }
    EXPECT_TRUE(onPad);
    EXPECT_TRUE(touchedCurtain);
    EXPECT_GT(hero->Position[2], 70.0f);  // walked through the curtain
    Frames(3, {});
    const std::vector<uint32_t> padCodes = CodesTo(pad);
    ASSERT_GE(padCodes.size(), 4u);
    EXPECT_EQ(padCodes[0], 0u);
    EXPECT_EQ(padCodes[1], 6u);
    EXPECT_NE(std::find(padCodes.begin(), padCodes.end(), 1u), padCodes.end());
    EXPECT_NE(std::find(padCodes.begin(), padCodes.end(), 7u), padCodes.end());
    EXPECT_EQ(std::vector<uint32_t>(padCodes.end() - 2, padCodes.end()), (std::vector<uint32_t>{2u, 8u}));
    const std::vector<uint32_t> curtainCodes = CodesTo(curtain);
    ASSERT_FALSE(curtainCodes.empty());
    EXPECT_EQ(curtainCodes.front(), 9u);
    EXPECT_EQ(curtainCodes.back(), 11u);
    for (uint32_t code : CodesTo(hero)) EXPECT_TRUE(code != 6u && code != 9u && code != 16u) << code;
}

// A degenerate triangle in the way, one whose normal overflows, or a move that is not a number
// never puts a non-finite value into the position; the character stays put or walks on.
TEST_F(Movement, DegenerateHitsAndBadMovesKeepThePositionFinite) {
    struct Case {
        const char* name;
        std::vector<Tri> obstacle;
        bool badSpeed;
    };
    const Case cases[] = {
        {"flat triangle", {{{-10, 9, 10}, {0, 9, 10}, {10, 9, 10}, 1}}, false},
        {"point triangle", {{{3, 9, 10}, {3, 9, 10}, {3, 9, 10}, 1}}, false},
        {"overflowing normal", {{{-3e37f, 0, 10}, {3e37f, 0, 10}, {0, 3e37f, 10}, 1}}, false},
        {"speed not a number", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        AddGround(Square(-100, -100, 100, 100, 0));
        if (!c.obstacle.empty()) AddGround(c.obstacle);
        NztEntity* hero = Player({3, 0, 0});
        ASSERT_NE(hero, nullptr);
        Frames(3, {});
        for (int i = 0; i < 60; ++i) {
            if (c.badSpeed) hero->speedFactor = std::nanf("");
            Frame({Fwd});
            ASSERT_TRUE(FinitePosition(hero)) << "frame " << i;
        }
        if (c.badSpeed)
            EXPECT_NEAR(hero->Position[2], 0.0f, 0.5f);
        else
            EXPECT_GT(hero->Position[2], 12.0f);  // nothing with a face stood in the way
        EXPECT_TRUE(std::isfinite(hero->PreviousPosition[2]));
    }
}

// The sample level pieces and props stand in the way as solid bodies: the player walking at one
// stops short of it, never inside it.
TEST_F(Movement, SampleLevelPiecesAndPropsAreSolid) {
    struct Piece {
        const char* mesh;
        const char* side;
        float halfDepth;  // of the piece along z
    };
    const Piece pieces[] = {{"OBJECTS/Ledge1001.QVo", "OBJECTS/Ledge0001.QVc", 30.0f},
                            {"OBJECTS/Ladder1001.QVo", "OBJECTS/Ladder0001.QVc", 1.0f},
                            {"OBJECTS/Crate1001.QVo", "OBJECTS/Crate0001.QVc", 10.0f},
                            {"OBJECTS/Tree1001.QVo", "OBJECTS/Tree0001.QVc", 2.0f}};
    for (const Piece& p : pieces) {
        SCOPED_TRACE(p.mesh);
        TearDown();
        SetUp();
        AddGround(Square(-100, -100, 100, 100, 0));
        NztMesh* mesh = CreateMeshData();
        ASSERT_EQ(LoadMeshFile(p.mesh, mesh, 0, 1), 1);
        ASSERT_EQ(LoadMeshSideFile(p.side, mesh), 1);
        NztScnObject* piece = CreateScnObject(mesh);
        const float at[3] = {3, 0, 40};
        piece->SetPosition(at);
        piece->BindRenderData();  // the collision copy is posed at the bound position
        piece->UpdateCollision();
        piece->registered = 1;
        BuildCollideGrid();
        NztEntity* hero = Player({3, 0, 0});
        ASSERT_NE(hero, nullptr);
        Frames(200, {Fwd});
        ASSERT_TRUE(FinitePosition(hero));
        EXPECT_LT(hero->Position[2], 40.0f - p.halfDepth - hero->collisionBody.radius + 0.05f);
        EXPECT_GT(hero->Position[2], 40.0f - p.halfDepth - 3.0f);  // it walked up to it
        EXPECT_EQ(hero->wallContact.secondObject, piece);
    }
}

// The swept body leaves out the character's own collision mesh (and what it hangs on or carries):
// a body wide enough to meet its own box still walks freely, and the sphere is the probe shape's
// (its radius the character's size, centred half-way up the body).
TEST_F(Movement, TheSweptBodyNeverMeetsItsOwnCharacter) {
    AddGround(Square(-100, -100, 100, 100, 0));
    NztEntity* hero = Player({3, 0, 0});
    ASSERT_NE(hero, nullptr);
    ASSERT_NE(hero->hasCollision, 0u);  // the hero's own box, 4 x 18 x 3
    hero->probeBlock.baseSize = 2.5f;   // reaches the box's back face as it steps forward
    Frames(3, {});
    EXPECT_FLOAT_EQ(hero->collisionBody.radius, 2.5f);
    EXPECT_FLOAT_EQ(hero->collisionBody.heightOffset, 0.5f * hero->probeBlock.typeHeight);
    Frames(100, {Fwd});
    EXPECT_GT(hero->Position[2], 20.0f);
    EXPECT_FALSE(hero->HasWallContact());
}

// A swimmer that comes against the bank of a pool whose top lies within a body height above it
// climbs out: the wall met by the sweep is the contact the ledge test asks for.
TEST_F(Movement, ASwimmerAtTheBankClimbsOut) {
    ASSERT_NO_FATAL_FAILURE(HeroAnims({"JumpUp01", "JumpHandUp01"}));
    // Water 8 deep up to the bank at z = 40, whose top stands 18 above the pool's floor.
    AddGround(Join({Square(-300, -300, 300, 40, 0), Square(-300, -300, 300, 40, 8, HitTypeWater),
                    WallFacingBack(40, -300, 300, 0, 18), Square(-300, 40, 300, 300, 18)}));
    NztEntity* hero = Player({3, 8, 30});
    ASSERT_NE(hero, nullptr);
    hero->SetSize(1.0f);
    hero->probeBlock.baseSize = 1.0f;
    Frames(5, {});
    ASSERT_EQ(hero->inWater, 1u);
    // The swimmer floats within a body height of the bank's top: the ledge is one to climb.
    ASSERT_GT(18.0f - hero->Position[1], 0.75f * hero->probeBlock.typeHeight);
    ASSERT_LT(18.0f - hero->Position[1], hero->probeBlock.typeHeight);
    bool climbed = false;
    for (int i = 0; i < 60 && !climbed; ++i) {
        hero->MoveForward(0.3f);
        Frame({});
        ASSERT_LT(hero->Position[2], 40.0f - 1.0f + 0.05f);
        climbed = Playing(hero, AnimSlot::JumpHandUp01);
    }
    EXPECT_TRUE(climbed);
}

// Characters the player does not drive: their forward speed comes from their own motion, so an
// order 8 walker reaches its waypoints and ends a trajectory that does not loop.
TEST_F(Movement, AWalkerNotDrivenByThePlayerFollowsItsTrajectoryToTheEnd) {
    AddGround(Square(-300, -300, 300, 300, 0));
    NztEntity* player = Player({150, 0, -150});
    ASSERT_NE(player, nullptr);
    NztEntity* walker = GetEntityType("Hero1001");
    ASSERT_NE(walker, nullptr);
    const float start[3] = {3, 0, -60};
    walker->SetPosition(start);
    walker->radii[4] = 2.0f;
    walker->radiiSquared[4] = 4.0f;
    NztTraject path;
    for (float z : {-30.0f, 0.0f, 30.0f}) path.points.push_back({{3, 0, z}, {3, 0, z}, {1, 0, 0, 0}});
    walker->SetTraject(&path, 0, 0, 0, 0.0f);
    walker->SetOrder(8);
    walker->SetAnimIndex(AnimSlot::MoveWalk, 0, AnimSlot::None, 0);
    std::vector<int32_t> visited{walker->waypoint};
    for (int i = 0; i < 600; ++i) {
        Frame({});
        if (walker->waypoint != visited.back()) visited.push_back(walker->waypoint);
    }
    EXPECT_EQ(visited, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_GT(walker->forwardSpeed, 0.25f);
    const auto codes = CodesTo(walker);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 15u), 1);
    // It kept heading for the last point: it stands near it, not off along its first heading.
    EXPECT_LT(std::fabs(walker->Position[0] - 3.0f), 25.0f);
    walker->SetTraject(nullptr, 0, 0, 0, 0.0f);
}

}  // namespace
