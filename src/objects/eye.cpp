#include "objects/eye.h"

#include <algorithm>
#include <cmath>

#include "render/projection.h"
#include "render/renderstate.h"

CNztCamera MainCamera;

namespace {

Vec3 Row(const float m[9], int r) {
    return {m[3 * r], m[3 * r + 1], m[3 * r + 2]};
}

}  // namespace

void CNztCamera::Init() {
    eye = lookAtPoint = aimPoint = {0.0f, 0.0f, 0.0f};
    floorHeight = surfaceHeight = 0.0f;
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy(identity, identity + 9, rotation);
    std::copy(identity, identity + 9, inverse);
    fieldOfView[0] = fieldOfView[1] = 0.3f;
    fieldOfView[2] = 0.0f;
    const float corners[12] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    std::copy(corners, corners + 12, viewCorners);
}

void CNztCamera::SetPosition(const Vec3& p) {
    eye = lookAtPoint = aimPoint = p;
}

void CNztCamera::LookAt(const Vec3& point) {
    const Vec3 d = point - eye;
    angles[0] = -std::atan2(d.y, std::sqrt(d.x * d.x + d.z * d.z)) * AngleUnitsPerRadian;
    angles[1] = 2048.0f - std::atan2(d.x, d.z) * AngleUnitsPerRadian;
    lookTarget = point;
}

void CNztCamera::UpdateMatrix() {
    std::copy(angles, angles + 3, previousAngles);
    BuildRotation(angles);
}

void CNztCamera::BuildRotation(const float from[3]) {
    MatrixFromEuler(rotation, from[0] * RadiansPerAngleUnit, from[1] * RadiansPerAngleUnit,
                    from[2] * RadiansPerAngleUnit);
    MatrixInverse3(rotation, inverse);
}

void CNztCamera::UpdateView() {
    LoadCameraMatrix(rotation, RenderState, &eye.x, 0);
    for (int i = 0; i < 4; ++i) {
        const float* c = viewCorners + 3 * i;
        for (int k = 0; k < 3; ++k)
            cornerDirections[3 * i + k] = c[0] * inverse[k] + c[1] * inverse[3 + k] + c[2] * inverse[6 + k];
    }
    if (carriedLight != nullptr && UpdateCarriedLight != nullptr) UpdateCarriedLight(carriedLight);
}

NztBaseObject* CNztCamera::SetCarriedObject(NztBaseObject* object) {
    NztBaseObject* previous = carriedObject;
    if (previous != nullptr && previous != object && previous->kind == ObjectKindScn) previous->poseState = 2;
    if (object != nullptr && object->kind == ObjectKindScn) object->poseState = 0;
    carriedObject = object;
    return previous;
}

void CNztCamera::Move(const Vec3& v) {
    eye = eye + v;
    lookAtPoint = lookAtPoint + v;
    aimPoint = aimPoint + v;
}

void CNztCamera::Strafe(float a, float b) {
    const Vec3 v = Row(inverse, 0) * a + Row(inverse, 2) * b;
    lookAtPoint = lookAtPoint + v;
    aimPoint = aimPoint + v;
}

void CNztCamera::PullBackAim() {
    aimPoint = aimPoint - Row(inverse, 2) * CameraPullBack;
}
