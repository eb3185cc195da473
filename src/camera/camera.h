// The main camera's control: a mode number 0-11 picks the per-tick update (free flight, orbits,
// follow, look-at, trajectory and cinematic modes) of the camera object (objects/eye.h), steered by a
// control block of targets, distances, smoothing factors and switches, with a stack of saved control
// states for scripted sequences and a collision pull-in for the orbiting modes.
//
// Angles are floats in angle units (4096 a turn): pitch, yaw, roll. Rotations are nine floats, three
// rows, row 2 the view axis. Main thread only.
#pragma once

#include <cstdint>

#include "core/nztmath.h"
#include "objects/base3d.h"
#include "objects/eye.h"

struct NztTraject;


// The camera control block, saved and restored whole.
struct CameraControlBlock {
    NztBase3D* secondObject;    // mode 8 looks from it
    NztBase3D* targetObject;    // null: the player
    NztTraject* traject;        // mode 9
    int32_t targetAttachPoint;  // -1: the object's own position
    float smoothing[3];
    float nearDistance;
    float farDistance;
    float restYaw;            // mode 4
    float autoTurnSpeed;      // angle units a second; mode 9: progress a tick
    float followRate;         // mode 2/4 vertical follow; mode 9: pull of the target onto the path
    uint8_t switches[4];      // distance, wheel, mouse, last point
    uint8_t moreSwitches[4];  // spare, first person, collision, spare
};
extern CameraControlBlock CameraControl;

enum : int {
    CameraSwitchDistance = 0,
    CameraSwitchWheel = 1,
    CameraSwitchMouse = 2,
    CameraSwitchLastPoint = 3,
};
enum : int {
    CameraSwitchFirstPerson = 1,
    CameraSwitchCollision = 2,
};

inline constexpr int32_t CameraModeCount = 12;
inline constexpr uint32_t CameraEventTrajectEnded = 131;

extern int32_t CameraMode;
extern int32_t PreviousCameraMode;

// Everything of the camera control besides the block.
struct CameraControlState {
    void (*update)() = nullptr;  // the mode's update; null in mode 0
    float smoothingTargets[3] = {1.0f, 1.0f, 1.0f};
    float smoothingFade = 0.0f;                // 0: no fade running
    Vec3 orbitOffset = {0.0f, 0.0f, -15.0f};   // mode 3: x, height, distance
    Vec3 behindOffset = {0.0f, 0.0f, -15.0f};  // mode 4
    float eyeHeightOffset = 15.0f;             // -100 .. 100
    float freeFlightSpeed = 1.0f;
    float shakeTime = 0.0f;
    float shakeStrength = 0.0f;
    Vec3 collisionPoint = {0.0f, 0.0f, 0.0f};
    float followOffset = 0.0f;                   // vertical follow, -200 .. 200
    float orbitYaw = 0.0f;                       // mode 4
    float elevation = 0.0f;                      // mode 3
    float azimuth = 0.0f;                        // mode 3
    uint8_t rightHeld = 0;                       // mode 3: the button was down in the last tick
    float targetAngles[3] = {0.0f, 0.0f, 0.0f};  // mode 10
    int32_t trajectPoint = 0;  // mode 9: current point, progress and the segment's other end
    float trajectProgress = 0.0f;
    int32_t trajectOther = 0;
    // Mode 11 save.
    int32_t cinematicMode = 1;
    CameraControlBlock cinematicBlock{};
    float cinematicHeightOffset = 15.0f;
};
extern CameraControlState CameraState;

// The input the modes read this tick: the two mouse accumulators and the wheel.
struct CameraInputState {
    float mouseX = 0.0f;
    float mouseY = 0.0f;
    float wheel = 0.0f;
};
extern CameraInputState CameraInput;

// The services outside the camera that it reaches. They start as the engine's own; tests put fakes
// in their place and call ResetCameraHooks afterwards.
struct CameraHooks {
    // Fills CameraInput for the tick.
    void (*readInput)(CameraInputState* input);
    // The registered characters, first to last.
    NztBase3D* const* (*characters)(int32_t* count);
    // The scene object (kind 4) or character (kind 5) of that id; null for others.
    NztBase3D* (*findObject)(int32_t kind, int32_t id);
    // The player's control state; 3 lets mode 4 turn the player with the mouse.
    int32_t (*playerControlState)();
    // Non-zero while the character is off the ground; mode 2 and 4 then follow towards 0.
    int32_t (*isAirborne)(NztBase3D* object);
    NztTraject* (*findTraject)(const char* name);
    // Hit type of the nearest solid hit between start and end (0: none), written to *hit.
    uint32_t (*collideSegment)(const Vec3& start, const Vec3& end, NztBase3D* asker, Vec3* hit);
    int32_t (*groundHeightAt)(const Vec3& point, float step, float defaultHeight, float* floor,
                              float* surface);
};
extern CameraHooks CameraServices;
void ResetCameraHooks();

void UpdateCamera();
// Input cleared, mode 1, render camera reset, the camera at (0, 0, 4000) with zero angles.
void ResetCameraControl();
// Installs the mode's update and clears its block words; storedMode becomes the mode number and the
// former one the previous mode.
void SetCameraMode(int32_t mode, int32_t storedMode);
inline void SetCameraMode(int32_t mode) {
    SetCameraMode(mode, mode);
}
// The mode number alone, for numbers outside 0-11: the update stays.
void StoreCameraModeNumber(int32_t mode);

// What a camera-mode event names: its mode, two (kind, id) pairs and a trajectory name.
struct CameraModeTargetsQuery {
    int32_t mode;
    int32_t kinds[2];
    int32_t ids[2];
    const char* trajectName;
};
// Second object, target object and trajectory for the mode.
void GetCameraModeTargets(const CameraModeTargetsQuery& query, NztBase3D** second, NztBase3D** target,
                          NztTraject** traject);

void SaveCameraState(CameraControlBlock* out);
void RestoreCameraState(const CameraControlBlock& block);
// With a fade strictly between 0 and 1 the factors become targets eased by the fade; otherwise they
// apply at once. The current factors are then kept within 0 .. 1.
void SetCameraSmoothing(const float factors[3], float fade);
// Back to the default factors (1, 1, 1 until a script makes the current ones the defaults).
void ResetCameraSmoothing(float fade);
extern float CameraSmoothingDefaults[3];

void PushCameraState();
void PopCameraState();
void ClearCameraStateStack();
int32_t CameraStateCount();
// In every saved control state, the second and target objects equal to old become replacement.
void ReplaceCameraStackTarget(NztBase3D* old, NztBase3D* replacement);
// The control block, the saved states and the cinematic save let go of a trajectory being deleted.
void ForgetCameraTraject(const NztTraject* traject);
// Ends mode 11: the mode, block and height offset saved when it began come back.
void SelectCameraMode();

// The target's (or player's) position raised by its head height, or its attach point's; false when
// there is neither target nor player.
bool GetCameraTargetPosition(Vec3* out);
// Puts the look-at and aim points distance behind target along the heading angle (angle units),
// at the eye height offset.
void PlaceCameraBehind(NztBase3D* target, float angle, float distance);
void StartCameraShake(const Vec3& point, float time, float strength);

void SetCameraRotation(const float m[9]);
void GetCameraRotation(float out[9]);
void SetCameraFovTarget(float fov, float factor);

// Moves the angles of the last matrix build towards the current angles by the three smoothing
// factors and rebuilds the rotation from them.
void EaseCameraAngles();

// Small helpers.
float HeadingOf(const NztBase3D* object);             // angle units from the forward axis
// The object's 12-bit yaw plus delta (angle units), its rotation rebuilt as a turn about y.
void AddObjectYaw(NztBaseObject& object, float delta);
