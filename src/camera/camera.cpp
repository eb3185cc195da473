#include "camera/camera.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/sound.h"
#include "camera/traject.h"
#include "collision/collquery.h"
#include "core/frameclock.h"
#include "core/input.h"
#include "core/paths.h"
#include "model/mesh.h"
#include "objects/charlinks.h"
#include "objects/events.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "platform/wincodes.h"
#include "render/projection.h"
#include "render/renderstate.h"

CameraControlBlock CameraControl = {nullptr, nullptr, nullptr, -1,   {0.2f, 0.2f, 0.2f}, 20.0f,
                                    30.0f,   0.0f,    0.0f,    0.0f, {1, 1, 1, 1},       {1, 0, 1, 0}};

int32_t CameraMode = 1;
int32_t PreviousCameraMode = 0;
CameraControlState CameraState;
CameraInputState CameraInput;

namespace {

constexpr float HeightOffsetLimit = 100.0f;
constexpr float FollowOffsetLimit = 200.0f;
constexpr float PitchLimit = 910.0f;  // mode 6: a little over 80 degrees either way
constexpr float WheelZoomScale = 0.000001f;

struct StackEntry {
    uint32_t mode;
    CameraControlBlock block;
    float heightOffset;
};
// Slots [0, count) hold the pushed states; slot 0 keeps the last state popped from it, which a pop
// of the empty stack applies again.
std::vector<StackEntry> Stack;
int32_t StackCount = 0;

uint32_t ShakeRandomIndex = 0;

bool Set(uint8_t b) {
    return b != 0;
}
bool SwitchOn(int which) {
    return Set(CameraControl.switches[which]);
}
bool MoreOn(int which) {
    return Set(CameraControl.moreSwitches[which]);
}

bool KeyDown(uint32_t vk) {
    return KeyStates.keys != nullptr && (KeyStates.keys[vk] & 0x80) != 0;
}
bool KeyReleased(uint32_t vk) {
    return KeyStates.previousKeys != nullptr && (KeyStates.previousKeys[vk] & 0x80) != 0 && !KeyDown(vk);
}
bool ActionDown(int action) {
    return KeyStates.actions != nullptr && KeyStates.actions[action] != 0;
}
const PadState* Pad() {
    return PadStates.current;
}

float Clamp(float v, float lo, float hi) {
    return std::min(std::max(v, lo), hi);
}
float FrameFactor() {
    return FrameTiming.frameFactor;
}
Vec3 Row(const float m[9], int r) {
    return {m[3 * r], m[3 * r + 1], m[3 * r + 2]};
}
Vec3 Lerp(const Vec3& a, const Vec3& b, float t) {
    return a + (b - a) * t;
}
Vec3 FromArray(const float p[3]) {
    return {p[0], p[1], p[2]};
}

bool AllSmoothingOne() {
    const float* s = CameraControl.smoothing;
    return s[0] == 1.0f && s[1] == 1.0f && s[2] == 1.0f;
}

void ClearMouse() {
    CameraInput.mouseX = 0.0f;
    CameraInput.mouseY = 0.0f;
}

// A mode change made by a mode itself.
void SwitchMode(int32_t mode) {
    ClearMouse();
    SetCameraMode(mode);
}

// From towards to along the shorter way round the turn.
float EaseAngle(float from, float to, float rate) {
    if (to - from >= 2048.0f)
        from += 4096.0f;
    else if (from - to >= 2048.0f)
        from -= 4096.0f;
    return from + (to - from) * rate;
}

void EaseAnglesAtRates(const float rates[3]) {
    CNztCamera& c = MainCamera;
    for (int k = 0; k < 3; ++k) c.previousAngles[k] = EaseAngle(c.previousAngles[k], c.angles[k], rates[k]);
    c.BuildRotation(c.previousAngles);
}

void EaseAnglesAtRate(float rate) {
    const float rates[3] = {rate, rate, rate};
    EaseAnglesAtRates(rates);
}

void EaseEye() {
    CNztCamera& c = MainCamera;
    if (AllSmoothingOne()) {
        c.eye = c.aimPoint;
        return;
    }
    const float f = FrameFactor();
    const float* s = CameraControl.smoothing;
    c.eye.x += (c.aimPoint.x - c.eye.x) * s[0] * f;
    c.eye.y += (c.aimPoint.y - c.eye.y) * s[1] * f;
    c.eye.z += (c.aimPoint.z - c.eye.z) * s[2] * f;
}

// The tail of modes 2-5 and 9.
void EaseAndLook() {
    EaseEye();
    Vec3 p;
    if (GetCameraTargetPosition(&p)) MainCamera.LookAt(p);
    MainCamera.UpdateMatrix();
}

// The tail of modes 1 and 6.
void EaseEyeAndAngles() {
    EaseEye();
    EaseCameraAngles();
}

bool IsBaseObject(const NztBase3D* o) {
    return o->kind == ObjectKindBase || o->kind == ObjectKindCollide || o->kind == ObjectKindScn ||
           o->kind == ObjectKindEntity || o->kind == ObjectKindDyn;
}

// The object the camera follows for target: what it rides or hangs on, else itself.
NztBase3D* Followed(NztBase3D* target) {
    if (target == nullptr) return nullptr;
    if (IsBaseObject(target)) {
        auto* o = static_cast<NztBaseObject*>(target);
        if (NztBase3D* ridden = o->RiddenObject()) return ridden;
        if (o->parent != nullptr) return o->parent;
    }
    return target;
}

NztBase3D* ControlTarget() {
    return CameraControl.targetObject != nullptr ? CameraControl.targetObject : CharacterObject(PlayerEntity);
}

void KeepHeightOffset() {
    CameraState.eyeHeightOffset = Clamp(CameraState.eyeHeightOffset, -HeightOffsetLimit, HeightOffsetLimit);
}

// Vertical follow of modes 2 and 4: towards the floor under the camera relative to the target.
void StepFollowOffset(const Vec3& p, NztBase3D* target) {
    float& follow = CameraState.followOffset;
    const float rate = CameraControl.followRate;
    if (rate == 0.0f) {
        follow -= follow * 0.1f * FrameFactor();
    } else {
        const bool airborne = target != nullptr && CameraServices.isAirborne(target) != 0;
        const float goal = airborne ? 0.0f : MainCamera.floorHeight - p.y;
        follow += (goal - follow) * std::min(rate * FrameFactor(), 1.0f);
    }
    follow = Clamp(follow, -FollowOffsetLimit, FollowOffsetLimit);
}

// After the point is placed: pulls the aim in front of whatever lies between target and camera.
void CollideCamera() {
    Vec3 p;
    if (!GetCameraTargetPosition(&p)) return;
    Vec3 hit;
    if (CameraServices.collideSegment(p, MainCamera.lookAtPoint, Followed(ControlTarget()), &hit) == 0)
        return;
    CameraState.collisionPoint = hit;
    MainCamera.aimPoint = hit;
    const Vec3 d = hit - p;
    if (Dot(d, d) > CameraPullBack * CameraPullBack) MainCamera.PullBackAim();
}

// Modes 3 and 4: the offset's distance kept between near and far; false when it was too near, and
// the camera then stays where it is for the tick.
bool KeepOffsetDistance(float& distance) {
    if (!SwitchOn(CameraSwitchDistance)) return true;
    const float sign = distance > 0.0f ? 1.0f : -1.0f;
    const float d = std::fabs(distance);
    if (d < CameraControl.nearDistance) {
        distance = sign * CameraControl.nearDistance;
        return false;
    }
    if (d > CameraControl.farDistance) distance = sign * CameraControl.farDistance;
    return true;
}

void PlacePoint(const Vec3& point) {
    MainCamera.lookAtPoint = point;
    MainCamera.aimPoint = point;
    if (MoreOn(CameraSwitchCollision)) CollideCamera();
    EaseAndLook();
}

void RaiseLookAndAim(float dy) {
    MainCamera.lookAtPoint.y += dy;
    MainCamera.aimPoint.y += dy;
}

void UpdateFreeFlight() {
    CNztCamera& c = MainCamera;
    const float speed = KeyDown(VK_CONTROL) ? 4.0f : KeyDown(VK_MENU) ? 0.1f : 2.0f;
    CameraState.freeFlightSpeed = speed;
    const bool forward = KeyDown(VK_NUMPAD0 + 8), back = KeyDown(VK_NUMPAD0 + 2);
    // The inverse's third row points away from the view.
    if (forward) c.Strafe(0.0f, -speed);
    if (back) c.Strafe(0.0f, speed);
    if (KeyDown(VK_NUMPAD4)) c.Strafe(-speed, 0.0f);
    if (KeyDown(VK_NUMPAD6)) c.Strafe(speed, 0.0f);
    if (KeyDown(VK_NUMPAD0 + 9)) RaiseLookAndAim(speed);
    if (KeyDown(VK_NUMPAD0 + 3)) RaiseLookAndAim(-speed);
    if (SwitchOn(CameraSwitchMouse) && ActionDown(kActionRightButton)) {
        c.angles[0] += CameraInput.mouseY * 2.0f;
        c.angles[1] += CameraInput.mouseX * 2.0f;
        if (ActionDown(kActionLeftButton) && !forward && !back) c.Strafe(0.0f, -speed);
    }
    if (CameraControl.autoTurnSpeed != 0.0f)
        c.angles[1] += FrameTiming.frameTime * CameraControl.autoTurnSpeed;
    EaseEyeAndAngles();
}

void UpdateOrbit() {
    Vec3 p;
    if (!GetCameraTargetPosition(&p)) return;
    CNztCamera& c = MainCamera;
    float yawDelta = 0.0f, heightDelta = 0.0f, zoom = 0.0f;
    if (SwitchOn(CameraSwitchWheel)) zoom = CameraInput.wheel * -WheelZoomScale;
    if (SwitchOn(CameraSwitchMouse)) {
        if (ActionDown(kActionRightButton)) {
            yawDelta = CameraInput.mouseX * -5.0f;
            heightDelta = CameraInput.mouseY * -0.2f;
            CameraControl.autoTurnSpeed = 0.0f;
        }
        if (const PadState* pad = Pad()) {
            if (pad->axes[0] != 0.0f) yawDelta = pad->axes[0] * 64.0f;
            if (pad->axes[1] != 0.0f) heightDelta = pad->axes[1] * 2.0f;
        }
    }
    if (CameraControl.autoTurnSpeed != 0.0f) yawDelta += FrameTiming.frameTime * CameraControl.autoTurnSpeed;
    CameraState.eyeHeightOffset -= heightDelta;
    KeepHeightOffset();

    Vec3 point = c.lookAtPoint;
    const float a = yawDelta * RadiansPerAngleUnit, ca = std::cos(a), sa = std::sin(a);
    const float x = point.x - p.x, z = point.z - p.z;
    point.x = p.x + x * ca + z * sa;
    point.z = p.z - x * sa + z * ca;
    if (zoom != 0.0f) {
        point.x += c.inverse[6] * zoom;
        point.z += c.inverse[8] * zoom;
    }
    StepFollowOffset(p, ControlTarget());
    point.y = p.y + CameraState.eyeHeightOffset + CameraState.followOffset;

    if (SwitchOn(CameraSwitchDistance)) {
        const float dx = point.x - p.x, dz = point.z - p.z;
        const float d = std::sqrt(dx * dx + dz * dz);
        if (d < CameraControl.nearDistance && zoom != 0.0f && MoreOn(CameraSwitchFirstPerson)) {
            SwitchMode(6);
            return;
        }
        const float wanted = Clamp(d, CameraControl.nearDistance, CameraControl.farDistance);
        if (d > 0.0f && wanted != d) {
            point.x = p.x + dx * (wanted / d);
            point.z = p.z + dz * (wanted / d);
        } else if (d == 0.0f) {
            // Straight above the target: step back along the view axis.
            point.x = p.x + c.inverse[6] * wanted;
            point.z = p.z + c.inverse[8] * wanted;
        }
    }
    PlacePoint(point);
}

void UpdateOrbitAtOffset() {
    Vec3 p;
    if (!GetCameraTargetPosition(&p)) return;
    CameraControlState& s = CameraState;
    if (SwitchOn(CameraSwitchWheel)) s.orbitOffset.z += CameraInput.wheel * WheelZoomScale;
    const bool right = ActionDown(kActionRightButton);
    if (SwitchOn(CameraSwitchMouse) && right) {
        CameraControl.autoTurnSpeed = 0.0f;
        if (s.rightHeld == 0) s.azimuth = HeadingOf(Followed(ControlTarget()));
        s.elevation = Clamp(s.elevation + CameraInput.mouseY * 2.0f, -640.0f, 512.0f);
        s.azimuth += CameraInput.mouseX * 2.0f;
    }
    s.rightHeld = right ? 1 : 0;
    if (CameraControl.autoTurnSpeed != 0.0f) s.azimuth += FrameTiming.frameTime * CameraControl.autoTurnSpeed;
    if (!KeepOffsetDistance(s.orbitOffset.z)) return;

    const float e = s.elevation * RadiansPerAngleUnit, a = s.azimuth * RadiansPerAngleUnit;
    const float x = s.orbitOffset.x, y = s.eyeHeightOffset, z = s.orbitOffset.z;
    const float y1 = y * std::cos(e) - z * std::sin(e);
    const float z1 = y * std::sin(e) + z * std::cos(e);
    const Vec3 v = {x * std::cos(a) + z1 * std::sin(a), y1, -x * std::sin(a) + z1 * std::cos(a)};
    PlacePoint(p + v);
}

void UpdateBehind() {
    Vec3 p;
    if (!GetCameraTargetPosition(&p)) return;
    CameraControlState& s = CameraState;
    NztBase3D* target = Followed(ControlTarget());
    if (SwitchOn(CameraSwitchWheel)) s.behindOffset.z += CameraInput.wheel * WheelZoomScale;
    if (SwitchOn(CameraSwitchMouse)) {
        const bool turnsPlayer = CameraServices.playerControlState() == 3;
        if (ActionDown(kActionRightButton) || turnsPlayer) {
            CameraControl.autoTurnSpeed = 0.0f;
            if (turnsPlayer) {
                if (NztCollideObject* player = CharacterObject(PlayerEntity))
                    AddObjectYaw(*player, -CameraInput.mouseX * 2.0f);
            } else {
                s.orbitYaw += CameraInput.mouseX * 2.0f;
            }
            s.eyeHeightOffset += CameraInput.mouseY * 0.2f;
            KeepHeightOffset();
        } else {
            s.orbitYaw = CameraControl.restYaw;
            ClearMouse();
        }
    }
    if (CameraControl.autoTurnSpeed != 0.0f)
        s.orbitYaw += FrameTiming.frameTime * CameraControl.autoTurnSpeed;
    StepFollowOffset(p, target);
    if (!KeepOffsetDistance(s.behindOffset.z)) return;
    const float a = (s.orbitYaw - HeadingOf(target)) * -RadiansPerAngleUnit;
    const float x = s.behindOffset.x, d = s.behindOffset.z;
    const Vec3 point = {p.x + x * std::cos(a) + d * std::sin(a),
                        p.y + s.followOffset + s.eyeHeightOffset + s.behindOffset.y,
                        p.z - x * std::sin(a) + d * std::cos(a)};
    PlacePoint(point);
}

void UpdateEaseToAim() {
    EaseAndLook();
}

void UpdateFromTarget() {
    Vec3 p;
    if (!GetCameraTargetPosition(&p)) return;
    CNztCamera& c = MainCamera;
    c.lookAtPoint = p;
    c.aimPoint = p;
    if (SwitchOn(CameraSwitchWheel) && CameraInput.wheel < 0.0f) {
        SwitchMode(2);
        return;
    }
    if (SwitchOn(CameraSwitchMouse)) {
        float dx = CameraInput.mouseX * 5.0f, dy = CameraInput.mouseY * 5.0f;
        if (const PadState* pad = Pad()) {
            if (pad->axes[0] != 0.0f) dx = pad->axes[0] * 64.0f;
            if (pad->axes[1] != 0.0f) dy = pad->axes[1] * 64.0f;
        }
        c.angles[1] += dx;
        c.angles[0] += dy;
        CameraControl.autoTurnSpeed = 0.0f;
    } else if (CameraControl.autoTurnSpeed != 0.0f) {
        c.angles[1] += FrameTiming.frameTime * CameraControl.autoTurnSpeed;
    }
    c.angles[0] = Clamp(c.angles[0], -PitchLimit, PitchLimit);
    EaseEyeAndAngles();
}

NztBase3D* NearestCharacter(const Vec3& eye) {
    int32_t count = 0;
    NztBase3D* const* list = CameraServices.characters(&count);
    if (list == nullptr || count < 2) return nullptr;
    NztBase3D* best = nullptr;
    float bestDistance = 0.0f;
    for (int32_t i = count - 1; i >= 0; --i) {
        if (list[i] == nullptr) continue;
        const Vec3 d = FromArray(list[i]->Position) - eye;
        const float dd = Dot(d, d);
        if (best == nullptr || dd < bestDistance) {
            best = list[i];
            bestDistance = dd;
        }
    }
    return best;
}

void UpdateNearestCharacter() {
    CNztCamera& c = MainCamera;
    if (FrameAccumulators.tickA == 0.0f) CameraControl.targetObject = NearestCharacter(c.eye);
    EaseEye();
    if (CameraControl.targetObject == nullptr) return;
    Vec3 p;
    if (GetCameraTargetPosition(&p)) c.LookAt(p);
    EaseAnglesAtRate(0.1f * FrameFactor());
}

void UpdateFromSecondObject() {
    CNztCamera& c = MainCamera;
    NztBase3D* from = CameraControl.secondObject != nullptr ? CameraControl.secondObject : CharacterObject(PlayerEntity);
    if (from != nullptr) {
        c.lookAtPoint = FromArray(from->Position);
        c.aimPoint = c.lookAtPoint;
    }
    EaseEye();
    Vec3 p;
    if (GetCameraTargetPosition(&p)) c.LookAt(p);
    EaseCameraAngles();
}

// Mode 9: the segment ends and progress, following the target's nearest point.
void StepAlongTraject(const NztTraject& t, const Vec3& p) {
    CameraControlState& s = CameraState;
    const int32_t last = t.PointCount() - 1;
    const int32_t nearest = t.NearestPointByTarget(p);
    s.trajectPoint = std::clamp(s.trajectPoint, 0, last);
    const int32_t gap = nearest - s.trajectPoint;
    if (CameraControl.autoTurnSpeed == 0.0f || std::abs(gap) <= 1) {
        s.trajectPoint = nearest;
        float u = 0.0f;
        const int32_t other = t.ProjectOnSegment(nearest, p, u);
        s.trajectOther = last > 0 ? other : nearest;
        s.trajectProgress = last > 0 ? u : 0.0f;
    } else {
        const int32_t step = gap > 0 ? 1 : -1;
        if (s.trajectProgress >= 1.0f) {
            s.trajectPoint = std::clamp(s.trajectPoint + step, 0, last);
            s.trajectProgress = 0.0f;
        } else {
            s.trajectProgress += CameraControl.autoTurnSpeed;
        }
        s.trajectOther = std::clamp(s.trajectPoint + step, 0, last);
    }
    if (s.trajectProgress < 0.0f) {
        const bool hold = (s.trajectPoint == 0 && SwitchOn(CameraSwitchMouse)) ||
                          (s.trajectPoint == last && SwitchOn(CameraSwitchLastPoint));
        if (hold) {
            s.trajectOther = s.trajectPoint;
            s.trajectProgress = 1.0f;
        }
    }
}

// Eases from towards to by the smoothing factors (exactly when all are 1).
Vec3 SmoothTowards(const Vec3& from, const Vec3& to) {
    if (AllSmoothingOne()) return to;
    const float f = FrameFactor();
    const float* s = CameraControl.smoothing;
    return {from.x + (to.x - from.x) * s[0] * f, from.y + (to.y - from.y) * s[1] * f,
            from.z + (to.z - from.z) * s[2] * f};
}

void UpdateAlongTraject() {
    NztTraject* t = CameraControl.traject;
    if (t == nullptr || t->points.empty()) return;
    Vec3 p;
    if (!GetCameraTargetPosition(&p)) return;
    CameraControlState& s = CameraState;
    StepAlongTraject(*t, p);
    const NztTrajectPoint& a = t->points[static_cast<size_t>(s.trajectPoint)];
    const NztTrajectPoint& b = t->points[static_cast<size_t>(s.trajectOther)];
    const float u = s.trajectProgress;
    CNztCamera& c = MainCamera;
    c.lookAtPoint = Lerp(a.position, b.position, u);
    c.eye = SmoothTowards(c.eye, c.lookAtPoint);
    c.aimPoint = c.lookAtPoint;
    if (SwitchOn(CameraSwitchDistance))
        c.LookAt(p);
    else
        c.LookAt(SmoothTowards(c.lookTarget, Lerp(a.target, b.target, u)));
    c.UpdateMatrix();

    NztBase3D* object = CameraControl.targetObject;
    if (MoreOn(CameraSwitchFirstPerson) && object != nullptr) {
        // Onto the line through the two ends' targets, in x and z.
        const float ax = a.target.x, az = a.target.z;
        const float lx = b.target.x - ax, lz = b.target.z - az;
        const float len = lx * lx + lz * lz;
        float gx = ax, gz = az;
        if (len > 0.0f) {
            const float k = ((object->Position[0] - ax) * lx + (object->Position[2] - az) * lz) / len;
            gx = ax + lx * k;
            gz = az + lz * k;
        }
        const float rate = CameraControl.followRate == 0.0f ? 1.0f : CameraControl.followRate;
        object->Position[0] += (gx - object->Position[0]) * rate;
        object->Position[2] += (gz - object->Position[2]) * rate;
    }
}

void UpdateFreeFlightVariant() {
    CNztCamera& c = MainCamera;
    CameraControlState& s = CameraState;
    float speed = KeyDown(VK_CONTROL) ? 4.0f : 1.0f;
    if (KeyDown(VK_MENU)) speed *= 10.0f;
    CameraState.freeFlightSpeed = speed;
    if (ActionDown(kActionRightButton)) {
        s.targetAngles[0] += CameraInput.mouseY * 2.0f;
        s.targetAngles[1] += CameraInput.mouseX * 2.0f;
    }
    if (KeyDown(VK_NUMPAD0 + 9)) RaiseLookAndAim(speed);
    if (KeyDown(VK_NUMPAD0 + 3)) RaiseLookAndAim(-speed);
    const float rate = 0.2f * FrameFactor();
    c.eye = c.eye + (c.aimPoint - c.eye) * rate;
    for (int k = 0; k < 3; ++k) c.angles[k] = s.targetAngles[k];
    EaseAnglesAtRate(rate);
}

void EndCinematic(NztTraject* t) {
    SelectCameraMode();
    // Playing belongs to the cinematic mode alone: the restored block does not keep it.
    if (CameraControl.traject == t) CameraControl.traject = nullptr;
    BroadcastEvent(CameraEventTrajectEnded);
}

void UpdateCinematic() {
    NztTraject* t = CameraControl.traject;
    if (t == nullptr || t->points.empty()) {
        SwitchMode(2);
        return;
    }
    const int32_t last = t->PointCount() - 1;
    if (KeyReleased(VK_RETURN) || t->currentPoint >= last || t->currentPoint < 0) {
        EndCinematic(t);
        return;
    }
    const NztTrajectPoint& p = t->points[static_cast<size_t>(t->currentPoint)];
    CNztCamera& c = MainCamera;
    c.lookAtPoint = p.position;
    c.aimPoint = p.position;
    c.eye = SmoothTowards(c.eye, p.position);
    c.LookAt(p.target);
    EaseCameraAngles();
    const int32_t before = t->currentPoint;
    t->AdvanceCursor();
    // Past the last point the cursor starts again at 0: that is the end as well.
    if (t->currentPoint >= last || t->currentPoint < before) EndCinematic(t);
}

using ModeUpdate = void (*)();
constexpr ModeUpdate ModeUpdates[CameraModeCount] = {
    nullptr,
    UpdateFreeFlight,
    UpdateOrbit,
    UpdateOrbitAtOffset,
    UpdateBehind,
    UpdateEaseToAim,
    UpdateFromTarget,
    UpdateNearestCharacter,
    UpdateFromSecondObject,
    UpdateAlongTraject,
    UpdateFreeFlightVariant,
    UpdateCinematic,
};

void ApplyStackEntry(const StackEntry& e) {
    ClearMouse();
    if (e.mode >= static_cast<uint32_t>(CameraModeCount))
        StoreCameraModeNumber(static_cast<int32_t>(e.mode));
    else
        SetCameraMode(static_cast<int32_t>(e.mode));
    RestoreCameraState(e.block);
    CameraState.eyeHeightOffset = e.heightOffset;
    KeepHeightOffset();
    if (CameraMode == 5) {
        MainCamera.lookAtPoint.y = CameraState.eyeHeightOffset;
        MainCamera.aimPoint.y = CameraState.eyeHeightOffset;
    }
}

void ReplaceInBlock(CameraControlBlock& b, NztBase3D* old, NztBase3D* replacement) {
    if (b.secondObject == old) b.secondObject = replacement;
    if (b.targetObject == old) b.targetObject = replacement;
}

// The engine's own services.
void ReadCameraInput(CameraInputState* input) {
    int32_t dx = 0, dy = 0;
    ReadMouseDelta(&dx, &dy);
    input->mouseX = static_cast<float>(dx);
    input->mouseY = static_cast<float>(dy);
    input->wheel = static_cast<float>(MouseWheelDelta);
}
NztBase3D* const* RegisteredCharacters(int32_t* count) {
    *count = EntityRegistry.count;
    return EntityRegistry.objects;
}
NztBase3D* FindObjectById(int32_t objectKind, int32_t id) {
    if (objectKind == ObjectKindScn) return FindScnObjectById(id);
    if (objectKind == ObjectKindEntity) return FindCharacterObject(id);
    return nullptr;
}
int32_t PlayerControlState() {
    const NztCollideObject* player = CharacterObject(PlayerEntity);
    return player != nullptr ? player->ControlState() : 0;
}
int32_t IsCharacterAirborne(NztBase3D* object) {
    if (object == nullptr || object->kind != ObjectKindEntity) return 0;
    return static_cast<NztBaseObject*>(object)->Airborne() != 0 ? 1 : 0;
}
uint32_t EngineCollideSegment(const Vec3& start, const Vec3& end, NztBase3D* asker, Vec3* hit) {
    CollideSegment(start, end, asker);
    *hit = end;
    return CollideSegmentNearest(start, end, hit);
}
int32_t EngineGroundHeightAt(const Vec3& point, float step, float defaultHeight, float* floor,
                             float* surface) {
    return static_cast<int32_t>(GroundHeightAt(point, step, defaultHeight, floor, surface));
}

constexpr CameraHooks DefaultCameraHooks = {
    ReadCameraInput,      RegisteredCharacters, FindObjectById, PlayerControlState, IsCharacterAirborne, FindTrajectByName,
    EngineCollideSegment, EngineGroundHeightAt,
};

}  // namespace

CameraHooks CameraServices = DefaultCameraHooks;

void ResetCameraHooks() {
    CameraServices = DefaultCameraHooks;
}

// --- helpers ---

float HeadingOf(const NztBase3D* object) {
    if (object == nullptr || !IsBaseObject(object)) return 0.0f;
    const float* r = static_cast<const NztBaseObject*>(object)->rotation;
    return std::atan2(r[6], r[8]) * AngleUnitsPerRadian;
}

void AddObjectYaw(NztBaseObject& object, float delta) {
    const int32_t yaw = static_cast<int32_t>((object.packedAngles >> 12) & 0xFFFu);
    object.SetYaw((yaw + RoundToInt(delta)) & AngleUnitMask);
}

// --- control ---

void EaseCameraAngles() {
    if (AllSmoothingOne()) {
        MainCamera.UpdateMatrix();
        return;
    }
    const float f = FrameFactor();
    const float* s = CameraControl.smoothing;
    const float rates[3] = {s[0] * f, s[1] * f, s[2] * f};
    EaseAnglesAtRates(rates);
}

void StoreCameraModeNumber(int32_t mode) {
    PreviousCameraMode = CameraMode;
    CameraMode = mode;
}

void SetCameraMode(int32_t mode, int32_t storedMode) {
    if (mode < 0 || mode >= CameraModeCount) {
        StoreCameraModeNumber(storedMode);
        return;
    }
    CameraControlBlock& b = CameraControl;
    CameraControlState& s = CameraState;
    switch (mode) {
        case 0:
        case 1:
            b.secondObject = nullptr;
            b.targetObject = nullptr;
            b.traject = nullptr;
            break;
        case 3:
            b.targetObject = nullptr;
            b.traject = nullptr;
            break;
        case 8:
            b.traject = nullptr;
            break;
        case 9:
            b.secondObject = nullptr;
            s.trajectPoint = 0;
            s.trajectOther = 0;
            s.trajectProgress = 0.0f;
            break;
        case 10:
            b.secondObject = nullptr;
            std::copy(MainCamera.angles, MainCamera.angles + 3, s.targetAngles);
            break;
        case 11:
            // A second start keeps the first save, so that the end returns to a mode that is not 11.
            if (CameraMode != 11) {
                s.cinematicMode = CameraMode;
                s.cinematicBlock = b;
                s.cinematicHeightOffset = s.eyeHeightOffset;
            }
            b.secondObject = nullptr;
            break;
        default:  // 2, 4, 5, 6, 7
            b.secondObject = nullptr;
            b.traject = nullptr;
            break;
    }
    s.update = ModeUpdates[mode];
    s.rightHeld = 0;
    StoreCameraModeNumber(storedMode);
}

void SelectCameraMode() {
    CameraControlState& s = CameraState;
    const int32_t mode = s.cinematicMode;
    const CameraControlBlock block = s.cinematicBlock;
    SetCameraMode(mode);
    RestoreCameraState(block);
    s.eyeHeightOffset = s.cinematicHeightOffset;
    KeepHeightOffset();
    if (CameraMode == 5) {
        MainCamera.lookAtPoint.y = s.eyeHeightOffset;
        MainCamera.aimPoint.y = s.eyeHeightOffset;
    }
}

void ResetCameraControl() {
    ClearMouse();
    CameraInput.wheel = 0.0f;
    std::fill(CameraSmoothingDefaults, CameraSmoothingDefaults + 3, 1.0f);
    SetCameraMode(1);
    ResetCamera(RenderState);
    CNztCamera& c = MainCamera;
    c.lookAtPoint = c.aimPoint = c.eye = {0.0f, 0.0f, 4000.0f};
    std::fill(c.angles, c.angles + 3, 0.0f);
    c.UpdateMatrix();
    c.UpdateView();
}

void GetCameraModeTargets(const CameraModeTargetsQuery& query, NztBase3D** second, NztBase3D** target,
                          NztTraject** traject) {
    *second = nullptr;
    *target = nullptr;
    *traject = nullptr;
    auto find = [&](int pair) -> NztBase3D* {
        const int32_t kind = query.kinds[pair];
        if (kind != ObjectKindScn && kind != ObjectKindEntity) return nullptr;
        return CameraServices.findObject(kind, query.ids[pair]);
    };
    if (query.mode >= 2 && query.mode <= 7) {
        *target = find(0);
    } else if (query.mode == 8) {
        *second = find(0);
        *target = find(1);
    } else if (query.mode == 9) {
        *target = find(0);
        if (query.trajectName != nullptr && query.trajectName[0] != '\0')
            *traject = CameraServices.findTraject(query.trajectName);
    }
}

void SaveCameraState(CameraControlBlock* out) {
    *out = CameraControl;
}
void RestoreCameraState(const CameraControlBlock& block) {
    CameraControl = block;
}

void SetCameraSmoothing(const float factors[3], float fade) {
    CameraControlState& s = CameraState;
    if (fade > 0.0f && fade < 1.0f) {
        std::copy(factors, factors + 3, s.smoothingTargets);
        s.smoothingFade = fade;
    } else {
        std::copy(factors, factors + 3, CameraControl.smoothing);
        s.smoothingFade = 0.0f;
    }
    for (float& f : CameraControl.smoothing) f = Clamp(f, 0.0f, 1.0f);
}

float CameraSmoothingDefaults[3] = {1.0f, 1.0f, 1.0f};

void ResetCameraSmoothing(float fade) {
    const float defaults[3] = {CameraSmoothingDefaults[0], CameraSmoothingDefaults[1], CameraSmoothingDefaults[2]};
    SetCameraSmoothing(defaults, fade);
}

void PushCameraState() {
    if (StackCount >= static_cast<int32_t>(Stack.size())) Stack.resize(Stack.size() + 10);
    Stack[static_cast<size_t>(StackCount++)] =
        StackEntry{static_cast<uint32_t>(CameraMode), CameraControl, CameraState.eyeHeightOffset};
}

void PopCameraState() {
    if (Stack.empty()) return;
    if (StackCount > 0) --StackCount;
    const StackEntry entry = Stack[static_cast<size_t>(StackCount)];
    if (Stack.size() > static_cast<size_t>(StackCount) + 20)
        Stack.resize(static_cast<size_t>(StackCount) + 10);
    ApplyStackEntry(entry);
}

void ClearCameraStateStack() {
    Stack.clear();
    Stack.shrink_to_fit();
    StackCount = 0;
}

int32_t CameraStateCount() {
    return StackCount;
}

void ReplaceCameraStackTarget(NztBase3D* old, NztBase3D* replacement) {
    if (old == nullptr) return;
    // Every slot: the bottom one can be applied again after it was popped.
    for (StackEntry& e : Stack) ReplaceInBlock(e.block, old, replacement);
    ReplaceInBlock(CameraState.cinematicBlock, old, replacement);
}

void ForgetCameraTraject(const NztTraject* traject) {
    if (traject == nullptr) return;
    if (CameraControl.traject == traject) CameraControl.traject = nullptr;
    for (StackEntry& e : Stack)
        if (e.block.traject == traject) e.block.traject = nullptr;
    if (CameraState.cinematicBlock.traject == traject) CameraState.cinematicBlock.traject = nullptr;
}

bool GetCameraTargetPosition(Vec3* out) {
    NztBase3D* target = Followed(ControlTarget());
    if (target == nullptr) return false;
    const int32_t point = CameraControl.targetAttachPoint;
    if (point >= 0 && IsBaseObject(target)) {
        const auto* o = static_cast<const NztBaseObject*>(target);
        if (static_cast<size_t>(point) < o->attachPoints.size()) {
            const uint32_t anchor = o->attachPoints[static_cast<size_t>(point)].Anchor;
            if (anchor < o->vertices.size()) {
                *out = o->vertices[anchor];
                return true;
            }
        }
    }
    *out = FromArray(target->Position);
    out->y += target->headHeight;
    return true;
}

void PlaceCameraBehind(NztBase3D* target, float angle, float distance) {
    if (target == nullptr) return;
    const float a = angle * RadiansPerAngleUnit;
    const Vec3 p = FromArray(target->Position);
    const Vec3 point = {p.x - std::sin(a) * distance, p.y + CameraState.eyeHeightOffset,
                        p.z - std::cos(a) * distance};
    MainCamera.lookAtPoint = point;
    MainCamera.aimPoint = point;
}

void StartCameraShake(const Vec3& point, float time, float strength) {
    const Vec3 d = point - MainCamera.eye;
    const float distance = std::max(std::sqrt(Dot(d, d)), 1.0f);
    const float a = strength / distance;
    if (!(a > 0.0001f)) return;
    CameraState.shakeTime = time;
    CameraState.shakeStrength = a;
}

void SetCameraRotation(const float m[9]) {
    std::copy(m, m + 9, MainCamera.rotation);
    MatrixInverse3(MainCamera.rotation, MainCamera.inverse);
}

void GetCameraRotation(float out[9]) {
    std::copy(MainCamera.rotation, MainCamera.rotation + 9, out);
}

void SetCameraFovTarget(float fov, float factor) {
    float* f = MainCamera.fieldOfView;
    if (factor > 0.0f && factor < 1.0f) {
        f[1] = fov;
        f[2] = factor;
        return;
    }
    f[0] = f[1] = fov;
    f[2] = 0.0f;
    SetFieldOfView(fov);
}

void UpdateCamera() {
    CNztCamera& c = MainCamera;
    CameraControlState& s = CameraState;
    CameraServices.readInput(&CameraInput);

    if (s.smoothingFade != 0.0f) {
        bool done = true;
        for (int k = 0; k < 3; ++k) {
            float& v = CameraControl.smoothing[k];
            v += (s.smoothingTargets[k] - v) * s.smoothingFade;
            if (std::fabs(s.smoothingTargets[k] - v) >= 0.0001f) done = false;
        }
        if (done) {
            std::copy(s.smoothingTargets, s.smoothingTargets + 3, CameraControl.smoothing);
            s.smoothingFade = 0.0f;
        }
    }

    float* fov = c.fieldOfView;
    if (fov[2] > 0.0f && fov[2] < 1.0f) {
        fov[0] += (fov[1] - fov[0]) * fov[2];
        if (std::fabs(fov[1] - fov[0]) <= 0.0001f) {
            fov[0] = fov[1];
            fov[2] = 0.0f;
        }
        SetFieldOfView(fov[0]);
    }

    if (s.update != nullptr) s.update();

    // The camera reads the key kinds its own way: 0 moves in its frame, 1 turns, 2 moves in the
    // world; the eye jumps to the aim.
    if (c.keyCount > 0) {
        c.UpdateKeys();
        for (int32_t i = 0; i < c.keyCount; ++i) {
            const float* v = c.keyStates[i].step;
            switch (c.keys[i].kind) {
                case ControllerKeyMove: {
                    const Vec3 w =
                        Row(c.inverse, 0) * v[0] + Row(c.inverse, 1) * v[1] + Row(c.inverse, 2) * v[2];
                    c.lookAtPoint = c.lookAtPoint + w;
                    c.aimPoint = c.aimPoint + w;
                    c.eye = c.aimPoint;
                    break;
                }
                case ControllerKeyTurn:
                    for (int k = 0; k < 3; ++k) c.angles[k] += v[k];
                    c.UpdateMatrix();
                    break;
                case ControllerKeyPush: {
                    const Vec3 w = {v[0], v[1], v[2]};
                    c.lookAtPoint = c.lookAtPoint + w;
                    c.aimPoint = c.aimPoint + w;
                    c.eye = c.aimPoint;
                    break;
                }
                default:
                    break;
            }
        }
    }

    UpdateListener(&c.eye.x, c.rotation);
    UpdateSoundPositions();

    if (s.shakeTime != 0.0f) {
        const float a = s.shakeStrength;
        Vec3 offset;
        float* axes[3] = {&offset.x, &offset.y, &offset.z};
        for (float* axis : axes) {
            const float r = RandomTable[ShakeRandomIndex++ & RandomTableMask];
            *axis = (2.0f * a * r - a) * s.shakeTime;
        }
        c.Move(offset);
        s.shakeTime = std::max(s.shakeTime - FrameTiming.frameTime, 0.0f);
    }

    c.UpdateView();

    c.belowSurface =
        CameraServices.groundHeightAt(c.aimPoint, 20.0f, c.aimPoint.y, &c.floorHeight, &c.surfaceHeight);

    // With QUORVANE_TRACE_MOVEMENT set, the eye goes to stderr with the characters' positions, ten
    // times a second (the end-to-end runs see the mouse turn the view by it).
    static const bool traced = std::getenv("QUORVANE_TRACE_MOVEMENT") != nullptr;
    if (traced && FrameAccumulators.tickA == 0.0f)
        std::fprintf(stderr, "movement: camera at %.3f %.3f %.3f\n", c.eye.x, c.eye.y, c.eye.z);
}
