// Video, letterbox, time scale, screen message, cursor and camera actions (types 14 to 31).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "camera/camera.h"
#include "camera/traject.h"
#include "character/entity.h"
#include "core/input.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "effects/gamelight.h"
#include "objects/objtype.h"
#include "platform/cursor.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "scene/actions.h"
#include "ui/counter.h"
#include "ui/screenmsg.h"
#include "ui/textbox.h"
#include "ui/video.h"

namespace {

constexpr uint32_t kRunModeVideo = 4;
// The letterbox height of a record is given for a screen 768 lines high.
constexpr float kPerScreenLine = 0.0013020834f;

NztBaseObject* SceneOrCharacter(int32_t kind, int32_t id) {
    if (kind == ObjectKindScn) return FindScnObjectById(id);
    if (kind == ObjectKindEntity) return FindEntityById(id);
    return nullptr;
}

Vec3 PointOf(const EventRecord& r) { return Vec3{r.ValueF(0), r.ValueF(1), r.ValueF(2)}; }

}  // namespace

void PlayVideoAction(EventRecord* r) {
    if (!PlayVideo(r->ParamName)) return;
    const uint32_t mode = SceneActions.runMode != nullptr ? SceneActions.runMode() : 0;
    if (mode != kRunModeVideo && SceneActions.enterVideoMode != nullptr) SceneActions.enterVideoMode();
}

void SetCinemaBordersAction(EventRecord* r) {
    NztRenderState& rs = RenderState;
    if (r->Param != 0) {
        DisableScissor(rs);
        rs.letterboxBar = 0;
    } else if (r->Param2 == 0) {
        SetCinemaBorders(rs, 1.7777778f);
    } else {
        const int32_t bar = RoundToInt(static_cast<double>(r->Value1) * rs.screenHeight * kPerScreenLine);
        rs.letterboxBar = std::max(0, bar);
    }
    LayoutAllCounters();
}

void SetTimeScaleAction(EventRecord* r) {
    if (SceneActions.setTimeScale != nullptr) SceneActions.setTimeScale(r->Value1);
}

void ShowScreenMessageAction(EventRecord* r) {
    if (r->Param2 != 0) {
        ClearScreenMessages();
        return;
    }
    const float colour[4] = {r->ValueF(6), r->ValueF(7), r->ValueF(8), 1.0f};
    ShowScreenMessage(GtxEntry(r->ValueI(5)), colour, r->Param - 1, r->Value1, r->ValueF(0), r->ValueF(1),
                      r->ValueF(12) != 0.0f, r->ValueF(10) != 0.0f, r->ValueF(11) != 0.0f);
}

void LoadCursorFileAction(EventRecord* r) { LoadCursorFile(r->ParamName); }

void UseCurrentCursorAction(EventRecord*) { PlatformSetCursor(CurrentCursor); }

void UseAlternateCursorAction(EventRecord*) { PlatformSetCursor(GameCursors[kCursorAlternate]); }

void ShakeCameraAction(EventRecord* r) {
    if (!(r->Value2 > 0.0001f)) return;
    CameraState.shakeTime = r->Value1;
    CameraState.shakeStrength = r->Value2;
}

void CameraFollowTrajectoryAction(EventRecord* r) {
    if (r->ParamName[0] == 0) return;
    NztTraject* traject = LoadTraject(r->ParamName);
    if (traject == nullptr) return;
    traject->Rewind();
    SelectTraject(traject);
    CameraState.trajectPoint = 0;
    CameraState.trajectProgress = 0.0f;
    SetCameraMode(11);
    CameraControl.traject = traject;
}

void CameraBehindObjectAction(EventRecord* r) {
    const float turn = r->Value1 * DegreesToAngleUnits;
    NztBase3D* object = CameraControl.targetObject != nullptr ? CameraControl.targetObject : PlayerEntity;
    if (auto* base = dynamic_cast<NztBaseObject*>(object); base != nullptr && base->parent != nullptr) object = base->parent;
    float heading = 0.0f;
    if (CameraMode == 3) {
        // The orbit at the first offset keeps the yaw as its own, measured from the world, not
        // from the object's heading.
        CameraState.azimuth = turn;
    } else if (auto* base = dynamic_cast<NztBaseObject*>(object)) {
        // The heading is the y part of the rotation's axis times the angle turned, so a tilted
        // object gives its turn about y, not the direction its forward axis points in.
        float q[4];
        MatrixToQuat(base->rotation, q);
        const float w = std::clamp(q[0], -1.0f, 1.0f);
        const float s = std::sqrt(1.0f - w * w);
        const float axisY = s < 0.001f ? q[2] : q[2] / s;
        heading = axisY * 2.0f * std::acos(w) * AngleUnitsPerRadian;
    }
    PlaceCameraBehind(object, heading + turn, -CameraState.behindOffset.z);
}

void SetCameraPlacementAction(EventRecord* r) {
    const Vec3 p = PointOf(*r);
    if (r->Param2 == 0 && r->Param == 0) {
        MainCamera.SetPosition(p);
    } else if (r->Param2 == 0 && r->Param == 1) {
        MainCamera.lookAtPoint = p;
        MainCamera.aimPoint = p;
    } else if (r->Param2 == 1 && (r->Param == 0 || r->Param == 1)) {
        MainCamera.LookAt(p);
    }
}

void SetCameraHeightAction(EventRecord* r) {
    if (r->Param != 0 && r->Param != 1) return;
    const float v = std::clamp(r->Value1 * 10.0f, -100.0f, 100.0f);
    CameraState.eyeHeightOffset = v;
    if (CameraMode == 5) {
        MainCamera.lookAtPoint.y = v;
        MainCamera.aimPoint.y = v;
    }
}

void SetCameraSmoothingAction(EventRecord* r) {
    if (r->Param == 0) {
        const float factors[3] = {r->ValueF(0), r->ValueF(1), r->ValueF(2)};
        SetCameraSmoothing(factors, r->Value1);
    } else if (r->Param == 1) {
        std::copy(CameraControl.smoothing, CameraControl.smoothing + 3, CameraSmoothingDefaults);
    } else if (r->Param == 2) {
        ResetCameraSmoothing(r->Value1);
    }
}

void SetFieldOfViewAction(EventRecord* r) {
    const float target = r->Value1 * 0.01f;
    const float factor = r->Value2;
    SetCameraFovTarget(target, factor);
    if (!(factor > 0.0f && factor < 1.0f)) SetFieldOfView(target);
}

// The control block a camera-mode record describes, in the block's field order: the three
// smoothing factors (at least 0.0001), near and far distance, rest yaw, turn speed and follow rate,
// the eight switches, and the attach point from the short name's first four bytes.
CameraControlBlock GetCameraParamsFromEvent(const EventRecord& r) {
    CameraControlBlock block = CameraControl;
    for (int k = 0; k < 3; ++k) block.smoothing[k] = std::max(r.ValueF(k), 0.0001f);
    block.nearDistance = r.ValueF(3);
    block.farDistance = r.ValueF(4);
    block.restYaw = r.ValueF(10);
    block.autoTurnSpeed = r.Value1;
    block.followRate = r.ValueF(11);
    block.switches[0] = r.ValueF(5) != 0.0f;
    block.switches[1] = r.ValueF(6) != 0.0f;
    block.switches[2] = r.ValueF(7) != 0.0f;
    block.switches[3] = r.ValueF(8) != 0.0f;
    block.moreSwitches[0] = r.ValueF(9) != 0.0f;
    block.moreSwitches[1] = r.Value2 != 0.0f;
    block.moreSwitches[2] = r.ValueF(12) != 0.0f;
    block.moreSwitches[3] = 0;
    int32_t point;
    std::memcpy(&point, r.ShortName, sizeof point);
    block.targetAttachPoint = point;
    return block;
}

void RestoreCameraModeAction(EventRecord* r) {
    // The restored mode follows its trajectory from the start; the mouse movement gathered for
    // this tick is left to the camera update.
    CameraState.trajectPoint = 0;
    CameraState.trajectProgress = 0.0f;
    if (r->Param >= 0 && r->Param <= 11) SetCameraMode(r->Param);
    else StoreCameraModeNumber(r->Param);
    CameraControlBlock block = GetCameraParamsFromEvent(*r);
    CameraModeTargetsQuery query{r->Param, {r->TargetKind, r->Target2Kind}, {r->TargetId, r->Target2Id}, r->ParamName};
    GetCameraModeTargets(query, &block.secondObject, &block.targetObject, &block.traject);
    RestoreCameraState(block);
}

void PushPopCameraStateAction(EventRecord* r) {
    if (r->Param == 0) PushCameraState();
    else if (r->Param == 1) PopCameraState();
}

void SetCameraCarriedObjectAction(EventRecord* r) {
    NztBaseObject* object = SceneOrCharacter(r->TargetKind, r->TargetId);
    NztGameLight* light = nullptr;
    if (r->TargetKind == ObjectKindGameLight && r->TargetId >= 0 && static_cast<uint32_t>(r->TargetId) < GameLightCount)
        light = GameLightList[r->TargetId];
    if (r->Param == 0) {
        if (object != nullptr) MainCamera.SetCarriedObject(object);
        else if (light != nullptr) MainCamera.carriedLight = light;
    } else if (r->Param == 1) {
        if (object != nullptr && object == MainCamera.carriedObject) {
            if (object->kind == ObjectKindScn) object->poseState = 2;
            MainCamera.carriedObject = nullptr;
        }
        if (light != nullptr && light == MainCamera.carriedLight) MainCamera.carriedLight = nullptr;
    }
}

void AddCameraKeyAction(EventRecord* r) {
    if (r->Param >= 0 && r->Param <= 2) {
        NztControllerKey key;
        key.kind = static_cast<uint32_t>(r->Param);
        key.duration = r->ValueF(3);
        key.vector[0] = r->ValueF(0);
        key.vector[1] = r->ValueF(1);
        key.vector[2] = r->ValueF(2);
        MainCamera.AddKey(&key);
    } else if (r->Param == 3) {
        // Sub-code 3 is the camera's auto-turn speed (degrees a second), as the camera-key action
        // has always been documented for scripts; a roll would tilt the view of a script asking
        // for a slow turn.
        CameraControl.autoTurnSpeed = r->Value1 * DegreesToAngleUnits;
    }
}
