#include "world/camera.h"

int32_t CameraMode = 1;
int32_t PreviousCameraMode = 0;

void UpdateCamera() {}
void ResetCameraControl() {}
void ClearCameraStateStack() {}
