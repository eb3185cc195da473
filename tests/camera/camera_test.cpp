#include "camera/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "camera/traject.h"
#include "character/entity.h"
#include "core/input.h"
#include "core/nztmath.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "objects/objtype.h"
#include "platform/wincodes.h"
#include "render/glext.h"
#include "render/renderstate.h"

namespace {

void ExpectVec(const Vec3& actual, const Vec3& expected, const std::string& what, float tolerance = 1e-3f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

// What the fake services answer and saw.
struct FakeWorld {
    CameraInputState input;
    std::vector<NztBase3D*> characters;
    int32_t controlState = 0;
    bool hit = false;
    Vec3 hitPoint = {0, 0, 0};
    int segments = 0;
    int32_t water = 0;
    float floor = 0.0f, surface = 0.0f;
    NztBase3D* objects[2] = {nullptr, nullptr};  // kind 4 id 1, kind 5 id 2
    NztTraject* traject = nullptr;
};
FakeWorld& Fake() {
    static FakeWorld world;
    return world;
}

void NoGl() {
    GlCore.LoadMatrixf = [](const GLfloat*) {};
    GlCore.Translatef = [](GLfloat, GLfloat, GLfloat) {};
    GlCore.MatrixMode = [](GLenum) {};
    GlCore.LoadIdentity = []() {};
    GlCore.Ortho = [](GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) {};
    GlCore.Frustum = [](GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) {};
    GlCore.PushMatrix = []() {};
}

class Camera : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        BuildRandomTable();
        savedGl = GlCore;
        NoGl();
        savedTiming = FrameTiming;
        savedAccumulators = FrameAccumulators;
        savedRender = RenderState;
        savedCamera = MainCamera;
        savedControl = CameraControl;
        savedState = CameraState;
        savedMode = CameraMode;
        savedPrevious = PreviousCameraMode;
        savedPlayer = PlayerEntity;
        Fake() = FakeWorld{};
        ClearKeyStates();
        ClearPadStates();
        CameraServices.readInput = [](CameraInputState* in) { *in = Fake().input; };
        CameraServices.characters = [](int32_t* count) -> NztBase3D* const* {
            *count = static_cast<int32_t>(Fake().characters.size());
            return Fake().characters.data();
        };
        CameraServices.findObject = [](int32_t kind, int32_t id) -> NztBase3D* {
            if (kind == ObjectKindScn && id == 1) return Fake().objects[0];
            if (kind == ObjectKindEntity && id == 2) return Fake().objects[1];
            return nullptr;
        };
        CameraServices.playerControlState = []() { return Fake().controlState; };
        CameraServices.findTraject = [](const char*) { return Fake().traject; };
        CameraServices.collideSegment = [](const Vec3&, const Vec3&, NztBase3D*, Vec3* hit) -> uint32_t {
            ++Fake().segments;
            if (!Fake().hit) return 0;
            *hit = Fake().hitPoint;
            return 1;
        };
        CameraServices.groundHeightAt = [](const Vec3&, float, float, float* floor, float* surface) {
            *floor = Fake().floor;
            *surface = Fake().surface;
            return Fake().water;
        };
        FrameTiming.frameTime = 0.02f;
        FrameTiming.frameFactor = 1.0f;
        FrameAccumulators.tickA = 0.0f;
        MainCamera = CNztCamera{};
        CameraState = CameraControlState{};
        CameraControl = savedControl;
        SetCameraMode(1);
        player.Position[0] = player.Position[1] = player.Position[2] = 0.0f;
        PlayerEntity = &player;
        SmoothingOne();
    }
    void TearDown() override {
        ClearCameraStateStack();
        ResetCameraHooks();
        ClearKeyStates();
        ClearPadStates();
        MainCamera.ClearKeys();
        GlCore = savedGl;
        FrameTiming = savedTiming;
        FrameAccumulators = savedAccumulators;
        RenderState = savedRender;
        MainCamera = savedCamera;
        CameraControl = savedControl;
        CameraState = savedState;
        CameraMode = savedMode;
        PreviousCameraMode = savedPrevious;
        PlayerEntity = savedPlayer;
    }
    static void SmoothingOne() {
        for (float& s : CameraControl.smoothing) s = 1.0f;
    }
    static void Press(uint32_t vk) { KeyStates.keys[vk] = 0x80; }
    static void RightButton() { KeyStates.actions[kActionRightButton] = 1; }
    // The camera at eye looking at point, its matrices built.
    static void Place(const Vec3& eye, const Vec3& point) {
        MainCamera.SetPosition(eye);
        MainCamera.LookAt(point);
        MainCamera.UpdateMatrix();
    }

    NztEntity player;
    GlCoreEntryPoints savedGl;
    FrameTimingState savedTiming;
    FrameAccumulatorState savedAccumulators;
    NztRenderState savedRender;
    CNztCamera savedCamera;
    CameraControlBlock savedControl;
    CameraControlState savedState;
    int32_t savedMode = 1, savedPrevious = 0;
    NztEntity* savedPlayer = nullptr;
};

TEST_F(Camera, LookAtTurnsTowardsThePointAndTheInverseUndoesTheRotation) {
    struct Case {
        Vec3 point;
        float pitch, yaw;
    } cases[] = {
        {{0, 0, 10}, 0.0f, 2048.0f}, {{0, 0, -10}, 0.0f, 0.0f},  // 2048 - 2048 (atan2(0, -10) is pi)
        {{10, 0, 0}, 0.0f, 1024.0f}, {{0, 10, 10}, -512.0f, 2048.0f}, {{0, -10, 10}, 512.0f, 2048.0f},
    };
    for (const Case& c : cases) {
        MainCamera.eye = {0, 0, 0};
        MainCamera.LookAt(c.point);
        EXPECT_NEAR(MainCamera.angles[0], c.pitch, 0.01f)
            << c.point.x << "," << c.point.y << "," << c.point.z;
        float yaw = std::fmod(MainCamera.angles[1] + 4096.0f, 4096.0f);
        EXPECT_NEAR(yaw, std::fmod(c.yaw + 4096.0f, 4096.0f), 0.01f) << c.point.x << "," << c.point.z;
        ExpectVec(MainCamera.lookTarget, c.point, "look target");
        MainCamera.UpdateMatrix();
        for (int k = 0; k < 3; ++k) EXPECT_EQ(MainCamera.previousAngles[k], MainCamera.angles[k]);
        float product[9];
        MatrixMultiply3(MainCamera.rotation, product, MainCamera.inverse);
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(product[i], i % 4 == 0 ? 1.0f : 0.0f, 1e-5f) << "element " << i;
    }
    const float singular[9] = {1, 2, 3, 2, 4, 6, 0, 0, 1};
    float out[9];
    EXPECT_FALSE(MatrixInverse3(singular, out));
    for (int i = 0; i < 9; ++i) EXPECT_TRUE(std::isfinite(out[i]));
}

TEST_F(Camera, MatrixToQuatGivesAUnitQuaternionOfTheTurn) {
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float q[4];
    MatrixToQuat(identity, q);
    EXPECT_NEAR(q[0], 1.0f, 1e-6f);
    float m[9], back[9];
    MatrixFromEuler(m, 0.3f, 2.9f, -0.7f);
    MatrixToQuat(m, q);
    QuatToMatrix(back, q);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(back[i], m[i], 1e-4f) << "element " << i;
}

TEST_F(Camera, SetCameraModeInstallsTheModeAndClearsItsBlockWords) {
    NztBase3D a, b;
    NztTraject t;
    struct Case {
        int32_t mode;
        bool second, target, traject;  // kept
    } cases[] = {
        {0, false, false, false}, {1, false, false, false}, {2, false, true, false}, {3, true, false, false},
        {4, false, true, false},  {5, false, true, false},  {6, false, true, false}, {7, false, true, false},
        {8, true, true, false},   {9, false, true, true},   {10, false, true, true}, {11, false, true, true},
    };
    for (const Case& c : cases) {
        SetCameraMode(1);
        CameraControl.secondObject = &a;
        CameraControl.targetObject = &b;
        CameraControl.traject = &t;
        SetCameraMode(c.mode);
        EXPECT_EQ(CameraMode, c.mode);
        EXPECT_EQ(PreviousCameraMode, 1) << c.mode;
        EXPECT_EQ(CameraControl.secondObject, c.second ? &a : nullptr) << c.mode;
        EXPECT_EQ(CameraControl.targetObject, c.target ? &b : nullptr) << c.mode;
        EXPECT_EQ(CameraControl.traject, c.traject ? &t : nullptr) << c.mode;
        EXPECT_EQ(CameraState.update == nullptr, c.mode == 0) << c.mode;
    }
    // A number outside the modes is stored alone: the update of the mode before stays.
    SetCameraMode(2);
    void (*update)() = CameraState.update;
    SetCameraMode(40);
    EXPECT_EQ(CameraMode, 40);
    EXPECT_EQ(PreviousCameraMode, 2);
    EXPECT_EQ(CameraState.update, update);
}

TEST_F(Camera, ResetCameraControlPutsTheCameraHighAboveTheOrigin) {
    SetCameraMode(4);
    CameraInput.mouseX = 5.0f;
    MainCamera.angles[1] = 300.0f;
    ResetCameraControl();
    EXPECT_EQ(CameraMode, 1);
    EXPECT_EQ(CameraInput.mouseX, 0.0f);
    ExpectVec(MainCamera.eye, {0, 0, 4000}, "eye", 0);
    ExpectVec(MainCamera.aimPoint, {0, 0, 4000}, "aim", 0);
    EXPECT_EQ(MainCamera.angles[1], 0.0f);
    EXPECT_NEAR(MainCamera.rotation[0], 1.0f, 1e-6f);
}

TEST_F(Camera, TheStateStackRestoresModeBlockAndHeightOffset) {
    NztBase3D a;
    // Never pushed: nothing happens.
    SetCameraMode(3);
    PopCameraState();
    EXPECT_EQ(CameraMode, 3);

    SetCameraMode(2);
    CameraControl.targetObject = &a;
    CameraControl.nearDistance = 7.0f;
    CameraState.eyeHeightOffset = 150.0f;  // beyond the limit: comes back as 100
    PushCameraState();
    EXPECT_EQ(CameraStateCount(), 1);
    SetCameraMode(1);
    CameraControl.nearDistance = 1.0f;
    CameraState.eyeHeightOffset = 0.0f;
    CameraInput.mouseX = 3.0f;

    PopCameraState();
    EXPECT_EQ(CameraStateCount(), 0);
    EXPECT_EQ(CameraMode, 2);
    EXPECT_EQ(PreviousCameraMode, 1);
    EXPECT_EQ(CameraControl.targetObject, &a);
    EXPECT_EQ(CameraControl.nearDistance, 7.0f);
    EXPECT_EQ(CameraState.eyeHeightOffset, 100.0f);
    EXPECT_EQ(CameraInput.mouseX, 0.0f);

    // Empty now: the bottom entry is applied again.
    SetCameraMode(1);
    CameraControl.nearDistance = 1.0f;
    PopCameraState();
    EXPECT_EQ(CameraMode, 2);
    EXPECT_EQ(CameraControl.nearDistance, 7.0f);
    EXPECT_EQ(CameraStateCount(), 0);
}

TEST_F(Camera, PoppingAppliesModeFiveHeightsAndUnknownModeNumbers) {
    SetCameraMode(5);
    CameraState.eyeHeightOffset = -30.0f;
    PushCameraState();
    StoreCameraModeNumber(77);
    PushCameraState();

    SetCameraMode(1);
    void (*update)() = CameraState.update;
    PopCameraState();
    EXPECT_EQ(CameraMode, 77);
    EXPECT_EQ(CameraState.update, update) << "an unknown mode keeps the update";

    PopCameraState();
    EXPECT_EQ(CameraMode, 5);
    EXPECT_EQ(MainCamera.lookAtPoint.y, -30.0f);
    EXPECT_EQ(MainCamera.aimPoint.y, -30.0f);
}

TEST_F(Camera, ReplacedObjectsAndDeletedTrajectsLeaveEverySavedState) {
    NztBase3D old, other, replacement;
    NztTraject t;
    CameraControl.secondObject = &old;
    CameraControl.targetObject = &other;
    CameraControl.traject = &t;
    PushCameraState();
    CameraControl.targetObject = &old;
    PushCameraState();
    SetCameraMode(11);  // the cinematic save holds the block too
    PopCameraState();   // the bottom slot still holds the first state after this pop
    PopCameraState();

    ReplaceCameraStackTarget(&old, &replacement);
    ForgetCameraTraject(&t);
    CameraControl = savedControl;
    PopCameraState();  // empty: the bottom entry again
    EXPECT_EQ(CameraControl.secondObject, &replacement);
    EXPECT_EQ(CameraControl.targetObject, &other);
    EXPECT_EQ(CameraControl.traject, nullptr);
    EXPECT_EQ(CameraState.cinematicBlock.secondObject, &replacement);
    EXPECT_EQ(CameraState.cinematicBlock.traject, nullptr);
}

TEST_F(Camera, TheStackGrowsAndShrinksByTen) {
    for (int i = 0; i < 35; ++i) {
        CameraControl.nearDistance = static_cast<float>(i);
        PushCameraState();
    }
    for (int i = 34; i >= 0; --i) {
        PopCameraState();
        ASSERT_EQ(CameraControl.nearDistance, static_cast<float>(i));
    }
    EXPECT_EQ(CameraStateCount(), 0);
}

TEST_F(Camera, SmoothingAppliesAtOnceOrFadesAndIsClamped) {
    const float wild[3] = {-1.0f, 0.5f, 3.0f};
    SetCameraSmoothing(wild, 0.0f);
    EXPECT_EQ(CameraControl.smoothing[0], 0.0f);
    EXPECT_EQ(CameraControl.smoothing[1], 0.5f);
    EXPECT_EQ(CameraControl.smoothing[2], 1.0f);
    EXPECT_EQ(CameraState.smoothingFade, 0.0f);

    const float goal[3] = {0.2f, 0.2f, 0.2f};
    SetCameraSmoothing(goal, 1.0f);  // not strictly below 1: at once
    EXPECT_EQ(CameraControl.smoothing[0], 0.2f);

    ResetCameraSmoothing(0.5f);
    EXPECT_EQ(CameraControl.smoothing[0], 0.2f) << "a fade starts from the current factors";
    EXPECT_EQ(CameraState.smoothingFade, 0.5f);
    SetCameraMode(0);
    for (int tick = 0; tick < 40 && CameraState.smoothingFade != 0.0f; ++tick) UpdateCamera();
    EXPECT_EQ(CameraState.smoothingFade, 0.0f);
    for (float s : CameraControl.smoothing) EXPECT_EQ(s, 1.0f);
}

TEST_F(Camera, FieldOfViewEasesTowardsItsTarget) {
    SetCameraMode(0);
    SetCameraFovTarget(0.5f, 0.0f);
    EXPECT_EQ(MainCamera.fieldOfView[0], 0.5f);
    SetCameraFovTarget(1.5f, 0.5f);
    EXPECT_EQ(MainCamera.fieldOfView[0], 0.5f);
    UpdateCamera();
    EXPECT_NEAR(MainCamera.fieldOfView[0], 1.0f, 1e-6f);
    for (int tick = 0; tick < 40; ++tick) UpdateCamera();
    EXPECT_EQ(MainCamera.fieldOfView[0], 1.5f);
    EXPECT_EQ(MainCamera.fieldOfView[2], 0.0f);
}

TEST_F(Camera, AShakeStartsOnlyAboveTheThreshold) {
    struct Case {
        Vec3 point;
        float strength;
        bool starts;
        float amplitude;
    } cases[] = {
        {{0, 0, 0}, 0.5f, true, 0.5f},  // a distance below 1 counts as 1
        {{100, 0, 0}, 1.0f, true, 0.01f},
        {{10000, 0, 0}, 1.0f, false, 0.0f},  // exactly 0.0001
        {{100, 0, 0}, -1.0f, false, 0.0f},
    };
    for (const Case& c : cases) {
        CameraState.shakeTime = 0.0f;
        CameraState.shakeStrength = 0.0f;
        MainCamera.eye = {0, 0, 0};
        StartCameraShake(c.point, 0.5f, c.strength);
        EXPECT_EQ(CameraState.shakeTime != 0.0f, c.starts) << c.point.x;
        EXPECT_NEAR(CameraState.shakeStrength, c.amplitude, 1e-7f) << c.point.x;
    }
    // A running shake moves the camera within the strength and runs out.
    SetCameraMode(0);
    StartCameraShake({0, 0, 0}, 0.03f, 1.0f);
    UpdateCamera();
    EXPECT_LE(std::fabs(MainCamera.eye.x), 0.03f + 1e-6f);
    EXPECT_NEAR(CameraState.shakeTime, 0.01f, 1e-6f);
    UpdateCamera();
    EXPECT_EQ(CameraState.shakeTime, 0.0f);
}

TEST_F(Camera, TheEyeFollowsTheAimExactlyOrByTheFactors) {
    struct Case {
        float smoothing[3];
        Vec3 eye;
    } cases[] = {
        {{1, 1, 1}, {10, 20, 30}},
        {{0.5f, 0.25f, 0.0f}, {5, 5, 0}},
    };
    for (const Case& c : cases) {
        SetCameraMode(5);
        std::copy(c.smoothing, c.smoothing + 3, CameraControl.smoothing);
        MainCamera.eye = {0, 0, 0};
        MainCamera.aimPoint = {10, 20, 30};
        UpdateCamera();
        ExpectVec(MainCamera.eye, c.eye, "eye", 1e-5f);
    }
}

TEST_F(Camera, AnglesEaseTheShorterWayRound) {
    struct Case {
        float previous, angle, eased;
    } cases[] = {
        {0.0f, 100.0f, 50.0f},
        {4000.0f, 100.0f, 2.0f},     // across the full turn: from -96
        {100.0f, 4000.0f, 4098.0f},  // the other way: from 4196
        {0.0f, 2047.0f, 1023.5f},    // just under half a turn: the direct way
    };
    for (const Case& c : cases) {
        for (float& s : CameraControl.smoothing) s = 0.5f;
        MainCamera.previousAngles[1] = c.previous;
        MainCamera.angles[1] = c.angle;
        EaseCameraAngles();
        EXPECT_NEAR(MainCamera.previousAngles[1], c.eased, 1e-3f) << c.previous << " to " << c.angle;
    }
}

TEST_F(Camera, FreeFlightMovesByKeypadAtTheHeldSpeed) {
    struct Case {
        uint32_t modifier;
        uint32_t key;
        Vec3 move;
    } cases[] = {
        {0, VK_NUMPAD0 + 8, {0, 0, 2}},  // forward: the camera looks along +z
        {VK_CONTROL, VK_NUMPAD0 + 2, {0, 0, -4}},
        {VK_MENU, VK_NUMPAD0 + 9, {0, 0.1f, 0}},
        {0, VK_NUMPAD0 + 3, {0, -2, 0}},
        {0, VK_NUMPAD6, {-2, 0, 0}},  // right of a camera looking along +z
    };
    for (const Case& c : cases) {
        ClearKeyStates();
        SetCameraMode(1);
        Place({0, 0, 0}, {0, 0, 10});
        if (c.modifier != 0) Press(c.modifier);
        Press(c.key);
        UpdateCamera();
        ExpectVec(MainCamera.aimPoint, c.move, "aim for key " + std::to_string(c.key));
        ExpectVec(MainCamera.eye, c.move, "eye for key " + std::to_string(c.key));
    }
    // The mouse turns only with the right button held.
    ClearKeyStates();
    Place({0, 0, 0}, {0, 0, 10});
    Fake().input.mouseX = 10.0f;
    Fake().input.mouseY = 3.0f;
    UpdateCamera();
    EXPECT_NEAR(MainCamera.angles[1], 2048.0f, 1e-3f);
    RightButton();
    UpdateCamera();
    EXPECT_NEAR(MainCamera.angles[1], 2068.0f, 1e-3f);
    EXPECT_NEAR(MainCamera.angles[0], 6.0f, 1e-3f);
    EXPECT_NEAR(MainCamera.previousAngles[1], 2068.0f, 1e-3f);
}

TEST_F(Camera, OrbitZoomStopsAtTheNearDistanceOrGoesFirstPerson) {
    struct Case {
        uint8_t firstPerson;
        int32_t mode;
    } cases[] = {{0, 2}, {1, 6}};
    for (const Case& c : cases) {
        SetCameraMode(2);
        CameraControl.moreSwitches[CameraSwitchFirstPerson] = c.firstPerson;
        CameraState.eyeHeightOffset = 15.0f;
        Place({0, 15, -25}, {0, 0, 0});
        MainCamera.lookAtPoint = MainCamera.aimPoint = {0, 15, -25};
        Fake().input.wheel = 1.0e7f;  // zoom of 10 towards the target
        UpdateCamera();
        EXPECT_EQ(CameraMode, c.mode);
        if (c.mode == 2) {
            ExpectVec(MainCamera.lookAtPoint, {0, 15, -20}, "stopped at the near distance");
            ExpectVec(MainCamera.eye, {0, 15, -20}, "eye");
        }
    }
    // Beyond the far distance the point is drawn in to it.
    SetCameraMode(2);
    Fake().input.wheel = 0.0f;
    Place({0, 15, -100}, {0, 0, 0});
    MainCamera.lookAtPoint = {0, 15, -100};
    UpdateCamera();
    ExpectVec(MainCamera.lookAtPoint, {0, 15, -30}, "far distance");
}

TEST_F(Camera, OrbitTurnsWithTheMouseAndKeepsTheHeightOffset) {
    SetCameraMode(2);
    CameraControl.autoTurnSpeed = 100.0f;
    Place({0, 15, -25}, {0, 0, 0});
    MainCamera.lookAtPoint = {0, 15, -25};
    RightButton();
    Fake().input.mouseX = -204.8f;  // yaw delta 1024: a quarter turn
    Fake().input.mouseY = 1000.0f;  // height offset up by 200, kept at 100
    UpdateCamera();
    EXPECT_EQ(CameraControl.autoTurnSpeed, 0.0f);
    EXPECT_EQ(CameraState.eyeHeightOffset, 100.0f);
    ExpectVec(MainCamera.lookAtPoint, {-25, 100, 0}, "turned a quarter about the target", 0.01f);
}

TEST_F(Camera, OrbitAtOffsetHoldsStillForOneTickWhenTooNear) {
    SetCameraMode(3);
    CameraState.eyeHeightOffset = 15.0f;
    MainCamera.SetPosition({1, 2, 3});
    UpdateCamera();
    EXPECT_EQ(CameraState.orbitOffset.z, -20.0f);
    ExpectVec(MainCamera.eye, {1, 2, 3}, "not moved");
    UpdateCamera();
    ExpectVec(MainCamera.eye, {0, 15, -20}, "offset behind the target");
    // Raising the elevation a quarter turn's worth is stopped at 512.
    RightButton();
    Fake().input.mouseY = 1000.0f;
    UpdateCamera();
    EXPECT_EQ(CameraState.elevation, 512.0f);
}

TEST_F(Camera, BehindTheTargetFollowsItsHeadingOrTurnsThePlayer) {
    CameraControl.switches[CameraSwitchDistance] = 0;
    SetCameraMode(4);
    UpdateCamera();
    ExpectVec(MainCamera.eye, {0, 15, -15}, "behind an unturned target");

    player.SetYaw(1024);
    const float heading = HeadingOf(&player);
    UpdateCamera();
    const float a = -heading * -RadiansPerAngleUnit;
    ExpectVec(MainCamera.eye, {-15.0f * std::sin(a), 15, -15.0f * std::cos(a)}, "behind a turned target");

    // In control state 3 the mouse turns the player itself.
    Fake().controlState = 3;
    Fake().input.mouseX = -10.0f;
    const uint32_t yawBefore = (player.packedAngles >> 12) & 0xFFFu;
    UpdateCamera();
    EXPECT_EQ((player.packedAngles >> 12) & 0xFFFu, (yawBefore + 20) & 0xFFFu);
    EXPECT_EQ(CameraState.orbitYaw, 0.0f);
}

TEST_F(Camera, CollisionPullsTheAimInFrontOfTheHit) {
    struct Case {
        Vec3 hit;
        bool pulled;
    } cases[] = {{{0, 10, -10}, true}, {{0, 1, -1}, false}};
    for (const Case& c : cases) {
        CameraControl.switches[CameraSwitchDistance] = 0;
        SetCameraMode(4);
        Place({0, 15, -15}, {0, 0, 0});
        Fake().hit = true;
        Fake().hitPoint = c.hit;
        const Vec3 back = {MainCamera.inverse[6], MainCamera.inverse[7], MainCamera.inverse[8]};
        UpdateCamera();
        const Vec3 expected = c.pulled ? c.hit - back * 2.5f : c.hit;
        ExpectVec(MainCamera.eye, expected, c.pulled ? "pulled" : "at the hit");
    }
    // Without the collision switch the segment is not asked for.
    Fake().segments = 0;
    CameraControl.moreSwitches[CameraSwitchCollision] = 0;
    UpdateCamera();
    EXPECT_EQ(Fake().segments, 0);
}

TEST_F(Camera, ViewFromTheTargetClampsPitchAndWheelsBackToOrbit) {
    SetCameraMode(6);
    Fake().input.mouseY = 500.0f;
    UpdateCamera();
    EXPECT_EQ(MainCamera.angles[0], 910.0f);
    ExpectVec(MainCamera.eye, {0, 0, 0}, "at the target");
    Fake().input.wheel = -120.0f;
    UpdateCamera();
    EXPECT_EQ(CameraMode, 2);
    EXPECT_EQ(PreviousCameraMode, 6);
}

TEST_F(Camera, NearestCharacterNeedsTwoRegistered) {
    NztEntity near, far;
    near.Position[0] = 5.0f;
    far.Position[0] = 50.0f;
    SetCameraMode(7);
    Fake().characters = {&near};
    UpdateCamera();
    EXPECT_EQ(CameraControl.targetObject, nullptr);
    Fake().characters = {&far, &near};
    UpdateCamera();
    EXPECT_EQ(CameraControl.targetObject, &near);
    // Only on the tick.
    Fake().characters = {&far};
    FrameAccumulators.tickA = 0.03f;
    UpdateCamera();
    EXPECT_EQ(CameraControl.targetObject, &near);
}

TEST_F(Camera, SecondObjectModeLooksFromItAtTheTarget) {
    NztScnObject from;
    from.Position[0] = 10.0f;
    SetCameraMode(8);
    CameraControl.secondObject = &from;
    UpdateCamera();
    ExpectVec(MainCamera.eye, {10, 0, 0}, "at the second object");
    EXPECT_NEAR(std::fmod(MainCamera.angles[1] + 4096.0f, 4096.0f), 3072.0f, 0.01f);
}

NztTraject Line() {
    NztTraject t;
    for (float x : {0.0f, 10.0f, 20.0f}) t.points.push_back({{x, 0, 0}, {x, 0, 0}, {1, 0, 0, 0}});
    return t;
}

TEST_F(Camera, AlongTheTrajectHoldsAtTheFirstPointWithTheMouseSwitch) {
    NztTraject t = Line();
    struct Case {
        uint8_t mouse;
        float x;
    } cases[] = {{1, 0.0f}, {0, -5.0f}};
    for (const Case& c : cases) {
        SetCameraMode(9);
        CameraControl.traject = &t;
        CameraControl.switches[CameraSwitchMouse] = c.mouse;
        player.Position[0] = -5.0f;
        UpdateCamera();
        ExpectVec(MainCamera.lookAtPoint, {c.x, 0, 0}, "look-at");
        ExpectVec(MainCamera.eye, {c.x, 0, 0}, "eye");
    }
    // Within the path the camera sits on the projection.
    player.Position[0] = 13.0f;
    UpdateCamera();
    ExpectVec(MainCamera.eye, {13, 0, 0}, "on the path");
}

TEST_F(Camera, AlongTheTrajectTravelsAtTheProgressSpeed) {
    NztTraject t;
    for (float x : {0.0f, 10.0f, 20.0f, 30.0f, 40.0f})
        t.points.push_back({{x, 0, 0}, {x, 0, 0}, {1, 0, 0, 0}});
    SetCameraMode(9);
    CameraControl.traject = &t;
    CameraControl.autoTurnSpeed = 0.5f;
    player.Position[0] = 40.0f;
    std::vector<float> seen;
    for (int tick = 0; tick < 6; ++tick) {
        UpdateCamera();
        seen.push_back(MainCamera.eye.x);
    }
    EXPECT_EQ(seen, (std::vector<float>{5, 10, 10, 15, 20, 20}));
}

TEST_F(Camera, CinematicPlaysTheTrajectThenRestoresTheModeBefore) {
    NztTraject t = Line();
    NztBase3D target;
    SetCameraMode(4);
    CameraControl.targetObject = &target;
    CameraControl.traject = &t;
    CameraState.eyeHeightOffset = 40.0f;
    SetCameraMode(11);
    CameraState.eyeHeightOffset = 0.0f;
    CameraControl.targetObject = nullptr;
    UpdateCamera();
    ExpectVec(MainCamera.eye, {0, 0, 0}, "first point");
    EXPECT_EQ(CameraMode, 11);
    UpdateCamera();
    EXPECT_EQ(CameraMode, 4);
    EXPECT_EQ(CameraControl.targetObject, &target);
    EXPECT_EQ(CameraControl.traject, nullptr);
    EXPECT_EQ(CameraState.eyeHeightOffset, 40.0f);

    // Releasing Enter ends it at once; with nothing to play the camera orbits.
    t.Rewind();
    CameraControl.traject = &t;
    SetCameraMode(11);
    KeyStates.previousKeys[VK_RETURN] = 0x80;
    UpdateCamera();
    EXPECT_EQ(CameraMode, 4);
    ClearKeyStates();
    SetCameraMode(11);
    UpdateCamera();
    EXPECT_EQ(CameraMode, 2);
}

TEST_F(Camera, KeysMoveAndTurnTheCamera) {
    SetCameraMode(0);
    Place({0, 0, 0}, {0, 0, 10});
    NztControllerKey turn;
    turn.kind = 1;
    turn.duration = 0.02f;
    turn.vector[1] = 100.0f;
    MainCamera.AddKey(&turn);
    NztControllerKey world;
    world.kind = 2;
    world.duration = 1.0f;
    world.vector[0] = 3.0f;
    MainCamera.AddKey(&world);
    UpdateCamera();
    EXPECT_NEAR(MainCamera.angles[1], 2148.0f, 0.01f);
    EXPECT_NEAR(MainCamera.previousAngles[1], 2148.0f, 0.01f);
    ExpectVec(MainCamera.eye, {3 * 0.98f, 0, 0}, "pushed in world space");
    ExpectVec(MainCamera.aimPoint, MainCamera.eye, "aim");
}

TEST_F(Camera, TheWaterTestIsStoredForTheSurfaceEvents) {
    SetCameraMode(0);
    Fake().water = 1;
    Fake().floor = -40.0f;
    Fake().surface = 12.0f;
    UpdateCamera();
    EXPECT_EQ(MainCamera.belowSurface, 1);
    EXPECT_EQ(MainCamera.floorHeight, -40.0f);
    EXPECT_EQ(MainCamera.surfaceHeight, 12.0f);
}

TEST_F(Camera, TheSpareSwitchBytesChangeNothing) {
    auto run = [&](uint8_t spare) {
        SetCameraMode(2);
        CameraControl.moreSwitches[0] = spare;
        CameraControl.moreSwitches[3] = spare;
        CameraControl.autoTurnSpeed = 50.0f;
        CameraControl.smoothing[0] = 0.3f;
        Place({0, 15, -25}, {0, 0, 0});
        MainCamera.lookAtPoint = {0, 15, -25};
        for (int tick = 0; tick < 5; ++tick) UpdateCamera();
        return MainCamera.eye;
    };
    const Vec3 a = run(0);
    const Vec3 b = run(255);
    ExpectVec(a, b, "spare bytes", 0.0f);
}

TEST_F(Camera, ModeTargetsComeFromTheEventPairs) {
    NztScnObject scene;
    NztEntity character;
    NztTraject t;
    Fake().objects[0] = &scene;
    Fake().objects[1] = &character;
    Fake().traject = &t;
    struct Case {
        int32_t mode;
        NztBase3D* second;
        NztBase3D* target;
        NztTraject* traject;
    } cases[] = {
        {0, nullptr, nullptr, nullptr},  {1, nullptr, nullptr, nullptr},   {2, nullptr, &scene, nullptr},
        {7, nullptr, &scene, nullptr},   {8, &scene, &character, nullptr}, {9, nullptr, &scene, &t},
        {10, nullptr, nullptr, nullptr}, {-1, nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const CameraModeTargetsQuery q = {c.mode, {ObjectKindScn, ObjectKindEntity}, {1, 2}, "Path"};
        NztBase3D* second = &scene;
        NztBase3D* target = &scene;
        NztTraject* traject = &t;
        GetCameraModeTargets(q, &second, &target, &traject);
        EXPECT_EQ(second, c.second) << c.mode;
        EXPECT_EQ(target, c.target) << c.mode;
        EXPECT_EQ(traject, c.traject) << c.mode;
    }
    // Kinds other than scene objects and characters name nothing.
    const CameraModeTargetsQuery q = {3, {ObjectKindDyn, 0}, {1, 0}, nullptr};
    NztBase3D *second, *target;
    NztTraject* traject;
    GetCameraModeTargets(q, &second, &target, &traject);
    EXPECT_EQ(target, nullptr);
}

TEST_F(Camera, CarryingSetsTheSceneObjectStates) {
    NztScnObject first, second;
    first.poseState = 7;
    EXPECT_EQ(MainCamera.SetCarriedObject(&first), nullptr);
    EXPECT_EQ(first.poseState, 0);
    EXPECT_EQ(MainCamera.SetCarriedObject(&second), &first);
    EXPECT_EQ(first.poseState, 2);
    EXPECT_EQ(second.poseState, 0);
    EXPECT_EQ(MainCamera.SetCarriedObject(nullptr), &second);
    EXPECT_EQ(second.poseState, 2);
}

TEST_F(Camera, TargetPositionIsRaisedByTheHeadOrTakenFromTheAttachPoint) {
    player.Position[1] = 3.0f;
    player.headHeight = 2.0f;
    Vec3 p;
    ASSERT_TRUE(GetCameraTargetPosition(&p));
    ExpectVec(p, {0, 5, 0}, "head");
    player.attachPoints.resize(1);
    player.attachPoints[0].Anchor = 1;
    player.vertices = {{0, 0, 0}, {7, 8, 9}};
    CameraControl.targetAttachPoint = 0;
    ASSERT_TRUE(GetCameraTargetPosition(&p));
    ExpectVec(p, {7, 8, 9}, "attach point");
    CameraControl.targetAttachPoint = 5;  // no such point: the object's own place
    ASSERT_TRUE(GetCameraTargetPosition(&p));
    ExpectVec(p, {0, 5, 0}, "missing point");
    PlayerEntity = nullptr;
    EXPECT_FALSE(GetCameraTargetPosition(&p));
}

}  // namespace
