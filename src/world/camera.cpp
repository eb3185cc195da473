#include "world/camera.h"

CNztCamera MainCamera;
CameraControlBlock CameraControl = {nullptr, nullptr, nullptr, -1, {0.2f, 0.2f, 0.2f}, 20.0f, 30.0f,
                                    0.0f, 0.0f, 0.0f, {1, 1, 1, 1}, {1, 0, 1, 0}};

int32_t CameraMode = 1;
int32_t PreviousCameraMode = 0;

void CNztCamera::LookAt(const Vec3&) {}
void CNztCamera::UpdateMatrix() {}
void UpdateCamera() {}
void ResetCameraControl() {}
void ClearCameraStateStack() {}
void ReplaceCameraStackTarget(NztBase3D*, NztBase3D*) {}
void EaseCameraAngles() {}
void MatrixToQuat(const float*, float*) {}
void MatrixInverse3(const float*, float*) {}
