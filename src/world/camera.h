// The main camera and its control.
#pragma once

#include <cstdint>

#include "core/nztmath.h"
#include "world/base3d.h"

struct NztTraject;

class CNztCamera : public NztController {
public:
    Vec3 eye = {0.0f, 0.0f, 0.0f};
    Vec3 lookAtPoint = {0.0f, 0.0f, 0.0f};  // the point the modes steer towards
    Vec3 aimPoint = {0.0f, 0.0f, 0.0f};     // the position the eye eases towards
    Vec3 lookTarget = {0.0f, 0.0f, 0.0f};   // the last point given to LookAt
    // The last water test at the aim point: its floor and surface heights and its result.
    float floorHeight = 0.0f;
    float surfaceHeight = 0.0f;
    int32_t belowSurfaceResult = 0;
    NztBaseObject* carriedObject = nullptr; // moved with the camera
    float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float inverse[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    void LookAt(const Vec3& point);
    void UpdateMatrix();
};
extern CNztCamera MainCamera;

// Unit quaternion (w, x, y, z) of a 3x3 rotation.
void MatrixToQuat(const float m[9], float q[4]);
// Inverse of a 3x3 matrix by cofactors.
void MatrixInverse3(const float m[9], float out[9]);

// The camera control block, saved and restored whole.
struct CameraControlBlock {
    NztBase3D* secondObject;
    NztBase3D* targetObject;
    NztTraject* traject;
    int32_t targetAttachPoint;
    float smoothing[3];
    float nearDistance;
    float farDistance;
    float restYaw;
    float autoTurnSpeed;
    float followRate;
    uint8_t switches[4];
    uint8_t moreSwitches[4];
};
extern CameraControlBlock CameraControl;

extern int32_t CameraMode;
extern int32_t PreviousCameraMode;

void UpdateCamera();
void ResetCameraControl();
void ClearCameraStateStack();
// In every saved control state, the second and target objects equal to old become replacement.
void ReplaceCameraStackTarget(NztBase3D* old, NztBase3D* replacement);
// Moves the angles of the last matrix build towards the current angles by the three smoothing
// factors and rebuilds the rotation from them.
void EaseCameraAngles();
