// The sample level as the data tool writes it, loaded and started: its head-up interface and its
// characters' orders. Drawn in a hidden window, so that the inventory's icon is a real texture.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <string>

#include "camera/traject.h"
#include "collision/collision_fixture.h"
#include "core/frameclock.h"
#include "core/input.h"
#include "game/frame.h"
#include "objects/events.h"
#include "platform/wincodes.h"
#include "render/texture.h"
#include "scene_fixture.h"
#include "support/gl_window.h"
#include "ui/wnd.h"

namespace {

class GlSampleLevel : public SceneWorld {
protected:
    static void SetUpTestSuite() { OpenHiddenGlWindow("level", 320, 240, &window_, &context_); }
    static void TearDownTestSuite() { CloseHiddenGlWindow(&window_, &context_); }

    void SetUp() override {
        ASSERT_NE(context_, nullptr) << "no GL context: " << SDL_GetError();
        SceneWorld::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        const std::string command = std::string(QV_BINARY_DIR) + "/tools/makedata " + folder + " > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        ClearPathCache();
        // The level's music and messages are not this test's concern.
        RegisterEventAction(ActionFadeMusic, [](EventRecord*) {});
        ASSERT_EQ(LoadScene((folder + "SCN/Level01.Scn").c_str(), 0, nullptr), 1);
        BroadcastStartEvent();
    }
    void TearDown() override {
        SceneWorld::TearDown();
        DeleteAllTextures();
        ClearTextureTable();
    }

    static SDL_Window* window_;
    static SDL_GLContext context_;
};

SDL_Window* GlSampleLevel::window_ = nullptr;
SDL_GLContext GlSampleLevel::context_ = nullptr;

TEST_F(GlSampleLevel, TheInterfaceShowsACounterTheBaggedCrateAndTheHerosPin) {
    // The counter sits in the status panel.
    ASSERT_EQ(GameUICount, 1);
    ASSERT_EQ(CounterCount, 1);
    EXPECT_EQ(CounterList[0]->parentIndex, 0);
    ASSERT_NE(GameUIList[0]->mainWnd, nullptr);
    EXPECT_EQ(CounterList[0]->parentWnd, static_cast<CNztWnd*>(GameUIList[0]->mainWnd));

    // The bag holds the spare crate, out of the world, shown by its icon.
    ASSERT_EQ(InventoryCount, 1);
    NztInventory* bag = InventoryList[0];
    ASSERT_EQ(bag->itemCount, 1);
    auto* crate = dynamic_cast<NztScnObject*>(ResolveEventObject(bag->items[0]));
    ASSERT_NE(crate, nullptr);
    ASSERT_NE(crate->mesh, nullptr);
    EXPECT_STRCASEEQ(crate->mesh->Name, "Crate");
    EXPECT_EQ(crate->registered, 0u);
    ASSERT_EQ(bag->icons.size(), 1u);
    EXPECT_NE(bag->icons[0], 0u) << "no icon MAPS/ICONES/Crate1001.Img";

    // Level start put a turning pin on the mini-map that follows the hero.
    ASSERT_EQ(GameMapCount, 1);
    NztGameMap* map = GameMapList[0];
    const int32_t pin = map->FindMarker("hero");
    ASSERT_GE(pin, 0);
    EXPECT_EQ(map->markers[pin].object, EventObjectHandle(PlayerEntity));
    EXPECT_EQ(map->markers[pin].turns, 1u);
    EXPECT_FLOAT_EQ(map->markers[pin].width, 12.0f);
    const float to[3] = {100.0f, 0.0f, 50.0f};
    PlayerEntity->SetPosition(to);
    map->PlaceFollowedMarkers();
    EXPECT_FLOAT_EQ(map->markers[pin].worldX, 100.0f);
    EXPECT_FLOAT_EQ(map->markers[pin].worldZ, 50.0f);
}

TEST_F(GlSampleLevel, TheGuardPatrolsAndTheWatcherKeepsItsDistanceWithABar) {
    NztEntity* guard = FindEntityById(1);
    NztEntity* watcher = FindEntityById(2);
    ASSERT_NE(guard, nullptr);
    ASSERT_NE(watcher, nullptr);
    EXPECT_EQ(guard->order, 8);
    ASSERT_NE(guard->traject, nullptr);
    EXPECT_STRCASEEQ(guard->traject->name, "Patrol");
    EXPECT_EQ(watcher->order, EntityOrderKeepOffset);
    EXPECT_EQ(watcher->target, PlayerEntity);
    EXPECT_EQ(watcher->barSwitch, 1u);
    // Near, keep and far radii, in rising order.
    EXPECT_GT(watcher->radii[1], 0.0f);
    EXPECT_GT(watcher->radii[2], watcher->radii[1]);
    EXPECT_GT(watcher->radii[3], watcher->radii[2]);
}

// The loaded world, object by object: every colliding scene object's grid holds what the plain
// cell-by-cell layout holds over its posed triangles.
TEST_F(GlSampleLevel, EveryObjectsGridIsThePlainLayoutOfItsTriangles) {
    uint32_t colliding = 0;
    for (uint32_t i = 0; i < ScnObjectCount; ++i) {
        const NztScnObject* o = ScnObjectList[i];
        if (o == nullptr || o->hasCollision == 0) continue;
        ++colliding;
        // Every cell of the small objects, one in 37 of the ground's forty thousand.
        EXPECT_TRUE(GridIsThePlainLayout(*o, o->gridLookup.size() > 4096 ? 37 : 1))
            << "object " << i << " (" << (o->mesh ? o->mesh->Name : "") << ")";
    }
    EXPECT_GT(colliding, 0u);
}

// Level start hands the camera to the follow mode behind the hero (the player, as the target left
// empty), at the distance the level asks for.
TEST_F(GlSampleLevel, TheCameraFollowsTheHeroFromBehind) {
    EXPECT_EQ(CameraMode, 4);
    EXPECT_EQ(CameraControl.targetObject, nullptr);
    EXPECT_EQ(CameraControl.targetAttachPoint, -1);
    ASSERT_NE(PlayerEntity, nullptr);
    // A few frames later the eye sits behind and above the hero, within the kept distance.
    FrameTiming.frameTime = 0.02f;
    FrameTiming.frameFactor = 1.0f;
    for (int i = 0; i < 200; ++i) UpdateCamera();
    const float* hero = PlayerEntity->Position;
    const float dx = MainCamera.eye.x - hero[0], dz = MainCamera.eye.z - hero[2];
    EXPECT_NEAR(std::hypot(dx, dz), 45.0f, 5.0f);
    EXPECT_GT(MainCamera.eye.y, hero[1] + 20.0f);
}

// Each zone reaches 40 units each way from its centre: the player 35 units off the centre along
// either axis is inside, 45 units off is not.
TEST_F(GlSampleLevel, TheTriggerZonesReachFortyUnitsEachWay) {
    ASSERT_EQ(EventTriggerCount, 3u);
    for (uint32_t i = 0; i < EventTriggerCount; ++i) {
        const float* c = EventTriggerList[i]->Position;
        for (const auto& [dx, dz, inside] : {std::tuple{35.0f, 0.0f, 1u}, {0.0f, -35.0f, 1u}, {45.0f, 0.0f, 0u}}) {
            const float at[3] = {c[0] + dx, 0.0f, c[2] + dz};
            PlayerEntity->SetPosition(at);
            EXPECT_EQ(UpdateRegisteredTriggers(), inside) << EventTriggerList[i]->name << " " << dx << " " << dz;
        }
    }
}

// The tour's points face their targets: each orientation turns +z onto target - position.
TEST_F(GlSampleLevel, TheTourPointsFaceTheirTargets) {
    NztTraject* tour = LoadTraject("Tour");
    ASSERT_NE(tour, nullptr);
    ASSERT_GT(tour->PointCount(), 100);
    for (const NztTrajectPoint& p : tour->points) {
        const float* q = p.orientation;  // w, x, y, z
        // q (0, 0, 1) q*: the third column of the quaternion's matrix.
        const Vec3 facing{2 * (q[1] * q[3] + q[0] * q[2]), 2 * (q[2] * q[3] - q[0] * q[1]),
                          1 - 2 * (q[1] * q[1] + q[2] * q[2])};
        const Vec3 d = p.target - p.position;
        const float length = std::sqrt(Dot(d, d));
        EXPECT_NEAR(facing.x, d.x / length, 1e-3f);
        EXPECT_NEAR(facing.y, d.y / length, 1e-3f);
        EXPECT_NEAR(facing.z, d.z / length, 1e-3f);
    }
}

// Home flies the whole tour, frame by frame at 50 frames a second for the length of the tour,
// and then gives the camera back to the follow mode.
TEST_F(GlSampleLevel, HomeFliesTheWholeTourAndHandsTheCameraBack) {
    ASSERT_EQ(CameraMode, 4);
    constexpr uint32_t kHomePressed = 83;
    PlayerEntity->SendEvent(kHomePressed, 0, 0, 0);
    ASSERT_EQ(CameraMode, 11);
    FrameTiming.frameTime = 0.02f;
    FrameTiming.frameFactor = 1.0f;
    int frames = 0;
    for (; CameraMode == 11 && frames < 5000; ++frames) UpdateCamera();
    EXPECT_GE(frames, 10 * 50) << "the tour was over in " << frames << " frames";
    EXPECT_EQ(CameraMode, 4);
}

// Three hundred frames of play at 60 frames a second, the hero driven by held and tapped keys, the
// guard and the watcher by their orders. Prints a hash of every character's position and angles and
// of the camera's eye over all the frames: a change that only moves code gives the same hash.
uint8_t TraceKeys[256] = {};
void TraceKeyboard(uint8_t table[256]) { std::memcpy(table, TraceKeys, 256); }

TEST_F(GlSampleLevel, ThreeHundredFramesOfPlayLeaveOneMovementTrace) {
    ASSERT_NE(PlayerEntity, nullptr);
    InputServices.getKeyboardState = TraceKeyboard;
    // As the game's start-up leaves them: every action on, the player driven by the keys.
    std::memset(ActionEnabled, 1, sizeof ActionEnabled);
    PlayerEntity->inputDriven = PlayerEntity->animStateMachine = 1;
    const float start[3] = {PlayerEntity->Position[0], PlayerEntity->Position[1], PlayerEntity->Position[2]};
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    };
    for (int frame = 0; frame < 300; ++frame) {
        std::memset(TraceKeys, 0, sizeof TraceKeys);
        const bool up = frame < 120 || (frame >= 160 && frame < 200) || frame >= 240;
        if (up) TraceKeys[VK_UP] = 0x80;
        if (frame >= 120 && frame < 160) TraceKeys[VK_LEFT] = TraceKeys[VK_UP] = 0x80;
        if (frame == 170) TraceKeys[VK_MENU] = 0x80;  // a one-frame tap of the jump
        if (frame >= 200 && frame < 240) TraceKeys[VK_RIGHT] = TraceKeys[VK_SHIFT] = 0x80;
        FrameTiming.frameTime = 1.0f / 60.0f;
        FrameTiming.frameFactor = 1.0f;
        AdvanceAccumulators(FrameTiming.frameTime);
        GameTick();
        RunDeferredActions();
        UpdateDelayedActions(FrameTiming.frameTime);
        for (uint32_t i = 0; i < EntityCount; ++i) {
            const NztEntity* e = EntityList[i];
            if (e == nullptr) continue;
            mix(e->Position, sizeof(float) * 3);
            mix(&e->packedAngles, sizeof e->packedAngles);
        }
        mix(&MainCamera.eye, sizeof MainCamera.eye);
    }
    ResetInputHooks();
    std::memset(ActionEnabled, 0, sizeof ActionEnabled);
    std::printf("movement trace hash: %016llx\n", static_cast<unsigned long long>(hash));
    RecordProperty("movement_trace_hash", std::to_string(hash));
    const float walked = std::hypot(PlayerEntity->Position[0] - start[0], PlayerEntity->Position[2] - start[2]);
    EXPECT_GT(walked, 20.0f) << "the hero did not walk";
}

}  // namespace
