// The main camera and its control.
#pragma once

#include <cstdint>

extern int32_t CameraMode;
extern int32_t PreviousCameraMode;

void UpdateCamera();
void ResetCameraControl();
void ClearCameraStateStack();
