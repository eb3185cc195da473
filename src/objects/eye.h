// The camera object: the eye, its angles, rotation and field of view, and what it carries. The
// main camera is read by everything that measures from the eye (levels of detail, depth sorting,
// effects that face it); the modes that steer it each tick are camera/camera.h.
//
// Angles are floats in angle units (4096 a turn): pitch, yaw, roll. Rotations are nine floats, three
// rows, row 2 the view axis. Main thread only.
#pragma once

#include <cstdint>

#include "core/nztmath.h"
#include "objects/base3d.h"

class NztGameLight;

// How far PullBackAim draws the aim back along the view axis.
inline constexpr float CameraPullBack = 2.5f;

class CNztCamera : public NztController {
public:
    Vec3 eye = {0.0f, 0.0f, 0.0f};
    Vec3 lookAtPoint = {0.0f, 0.0f, 0.0f};  // the point the modes steer towards
    Vec3 aimPoint = {0.0f, 0.0f, 0.0f};     // the position the eye eases towards
    Vec3 lookTarget = {0.0f, 0.0f, 0.0f};   // the last point given to LookAt
    float floorHeight = 0.0f;               // the last water test under the aim point
    float surfaceHeight = 0.0f;
    int32_t belowSurface = 0;                      // the last water test's result
    float previousAngles[3] = {0.0f, 0.0f, 0.0f};  // the angles of the last matrix build
    float angles[3] = {0.0f, 0.0f, 0.0f};          // pitch, yaw, roll
    float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float inverse[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float fieldOfView[3] = {0.3f, 0.3f, 0.0f};  // current, target, easing factor
    float viewCorners[12] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    float cornerDirections[12] = {};         // the corners as world directions, read by visibility tests
    NztBaseObject* carriedObject = nullptr;  // moved with the camera
    NztGameLight* carriedLight = nullptr;    // kept at the camera

    // Points at zero, identity matrices, field of view 0.3, the four view corners.
    void Init();
    // Eye, look-at and aim all at p.
    void SetPosition(const Vec3& p);
    // Turns pitch and yaw towards point and stores it as the look target.
    void LookAt(const Vec3& point);
    // Previous angles = angles; rotation from the angles; inverse.
    void UpdateMatrix();
    // Rotation from the given angles, and its inverse.
    void BuildRotation(const float from[3]);
    // The render state's camera matrix, the corner directions, then the carried light.
    void UpdateView();
    // Answers the object carried before. A scene object let go of gets pose state 2, one taken 0.
    NztBaseObject* SetCarriedObject(NztBaseObject* object);
    // Eye, look-at and aim moved by v.
    void Move(const Vec3& v);
    // Look-at and aim moved a along the inverse's first row and b along its third.
    void Strafe(float a, float b);
    // The aim pulled back 2.5 along the view axis.
    void PullBackAim();
};
extern CNztCamera MainCamera;

// Keeps the carried game light at the camera, after each UpdateView; effects/gamelight.cpp gives it.
extern void (*UpdateCarriedLight)(NztGameLight* light);
