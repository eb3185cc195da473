#include "effects/light.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "core/ownedlist.h"
#include "effects/dynobject.h"
#include "effects/meshdraw.h"
#include "objects/eye.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/renderstate.h"
#include "render/texture.h"

namespace {

// The flare quad: corners in the order of the billboard corners below.
constexpr float kFlareTexCoords[8] = {0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f};
constexpr GLuint kFlareIndices[4] = {0, 1, 2, 3};

// The four corners of a unit screen-facing square around a point: bottom-left, bottom-right,
// top-right, top-left, from the camera's right and up axes (columns of the camera matrix).
void BillboardCorners(const NztRenderState& rs, float out[4][3]) {
    const float* m = rs.cameraMatrix;
    const float right[3] = {m[0], m[4], m[8]};
    const float up[3] = {m[1], m[5], m[9]};
    constexpr float sx[4] = {-1.0f, 1.0f, 1.0f, -1.0f};
    constexpr float sy[4] = {-1.0f, -1.0f, 1.0f, 1.0f};
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 3; ++k) out[c][k] = sx[c] * right[k] + sy[c] * up[k];
}

// Where an object puts something that sits on it: its position, or its attach point.
void ObjectPoint(NztBaseObject* object, int32_t point, float out[3]) {
    if (point < 0) {
        std::copy(object->Position, object->Position + 3, out);
        return;
    }
    object->GetPointPosition(point, out);
}

}  // namespace

NztLight::NztLight() {
    kind = ObjectKindLight;
    // The range word holds the cut-off squared: 500 is the square of a range of sqrt(500), with
    // the fade values SetRange gives for it.
    range = 500.0f;
}

void NztLight::SetRange(float r) {
    const float r2 = r * r;
    range = r2;
    FadeStart = 0.8f * r2;
    const float span = r2 - FadeStart;
    FadeScale = span > 0.0f ? 1.0f / span : 0.0f;
}

float NztLight::GetRange() {
    return std::sqrt(std::max(range, 0.0f));
}

void NztLight::SetColor(float r, float g, float b) {
    Colour[0] = std::clamp(r, 0.0f, 1.0f);
    Colour[1] = std::clamp(g, 0.0f, 1.0f);
    Colour[2] = std::clamp(b, 0.0f, 1.0f);
}

// Negated tests let NaN through as 0 as well.
float NztLight::SetOuterRange(float r) {
    if (!(r > 0.0f)) r = 0.0f;
    OuterRange = r;
    OuterRangeSquared = r * r;
    InverseOuterRange = r > 0.0f ? 1.0f / r : 0.0f;
    if (IsPoint()) {
        const float span = r - InnerRange;
        InverseRangeSpan = span > 0.0f ? 1.0f / span : 0.0f;
    } else if (IsSpot()) {
        UpdateDirection();
    }
    if (r < InnerRange) SetInnerRange(r);
    return r;
}

void NztLight::SetInnerRange(float r) {
    if (!(r > 0.0f)) r = 0.0f;
    InnerRange = r;
    if (IsPoint()) {
        const float span = OuterRange - r;
        InverseRangeSpan = span > 0.0f ? 1.0f / span : 0.0f;
    } else if (IsSpot()) {
        UpdateDirection();
    }
    if (r > OuterRange) SetOuterRange(r);
}

void NztLight::SetTargetDistance(float d) {
    TargetDistance = d;
    // A target on the light itself (d = 0) gives no cone: the spot then lights nothing.
    const float inverse = d > 0.0f ? 1.0f / d : 0.0f;
    InverseTargetDistance = inverse;
    InverseTargetDistance2 = inverse;
    const float outer = std::sqrt(OuterRange * OuterRange + d * d);
    const float inner = std::sqrt(InnerRange * InnerRange + d * d);
    OuterConeCosine = outer > 0.0f ? d / outer : 0.0f;
    InnerConeCosine = inner > 0.0f ? d / inner : 0.0f;
}

void NztLight::AimFromDistance(float d) {
    SetTargetDistance(d);
    // With the target on the light the direction keeps its last value.
    if (!(d > 0.0f)) return;
    const float inverse = 1.0f / d;
    for (int k = 0; k < 3; ++k) Direction[k] = (Position[k] - TargetPosition[k]) * inverse;
}

void NztLight::UpdateDirection() {
    const float dx = Position[0] - TargetPosition[0];
    const float dy = Position[1] - TargetPosition[1];
    const float dz = Position[2] - TargetPosition[2];
    AimFromDistance(std::sqrt(dx * dx + dy * dy + dz * dz));
}

void NztLight::MoveToObject(NztBaseObject* object) {
    if (object == nullptr) return;
    const NztBaseObject* reference = object->parent != nullptr ? object->parent : object;
    const float forward = object->meshOffset[2];
    for (int k = 0; k < 3; ++k) Position[k] = reference->Position[k] + object->rotation[6 + k] * forward;
    followedObject = nullptr;
    followedPoint = 0;
    targetObject = nullptr;
    targetPoint = 0;
    if (IsSpot()) UpdateDirection();
}

int32_t NztLight::ApplyControllerKeys() {
    NztController::UpdateKeys();
    int32_t moved = 0;
    for (int32_t i = keyCount - 1; i >= 0; --i) {
        const NztControllerKeyState& state = keyStates[i];
        if (state.kind != ControllerKeyMove && state.kind != ControllerKeyMoveLocal) continue;
        for (int k = 0; k < 3; ++k) Position[k] += state.step[k];
        if (IsSpot()) UpdateDirection();
        moved = 1;
    }
    return moved;
}

void NztLight::Release() {
    for (uint32_t i = 0; i < DynObjectCount; ++i) {
        NztDynObject* object = DynObjectList[i];
        if (object != nullptr && object->carriedLight == this) object->carriedLight = nullptr;
    }
    // The near-light list must not keep a light that is about to be destroyed.
    if (registered != 0) DeactivateLight(this);
    FreeKeys();
}

void NztLight::Update() {
    if (Active == 0) return;
    if (followedObject != nullptr) {
        ObjectPoint(followedObject, followedPoint, Position);
        if (IsSpot()) UpdateDirection();
    }
    if (targetObject != nullptr) {
        ObjectPoint(targetObject, targetPoint, TargetPosition);
        if (IsSpot()) UpdateDirection();
    }
    if (keyCount > 0) ApplyControllerKeys();

    const NztRenderState& rs = RenderState;
    viewDepth = (rs.cameraPosition[0] - Position[0]) * rs.viewAxis[0] +
                (rs.cameraPosition[1] - Position[1]) * rs.viewAxis[1] +
                (rs.cameraPosition[2] - Position[2]) * rs.viewAxis[2];
    const float dx = Position[0] - MainCamera.eye.x;
    const float dy = Position[1] - MainCamera.eye.y;
    const float dz = Position[2] - MainCamera.eye.z;
    cameraDistanceSq = dx * dx + dy * dy + dz * dz;

    if (cameraDistanceSq > range) {
        if (registered != 0) DeactivateLight(this);
        return;
    }
    ActivateLight(this);  // nothing when already near
    Intensity =
        cameraDistanceSq > FadeStart ? 1.0f - (cameraDistanceSq - FadeStart) * FadeScale : BaseIntensity;
}

void NztLight::Render() {
    if (FlareTexture == 0 || Active == 0) return;
    const float a = FlareOpacity * Intensity;
    MeshGl.Color4f(a, a, a, a);
    float corners[4][3];
    BillboardCorners(RenderState, corners);
    float quad[12];
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 3; ++k) quad[3 * c + k] = Position[k] + FlareHalfSize * corners[c][k];
    SelectActiveTexture(0);
    if (BoundTextureId != FlareTexture) {
        MeshGl.BindTexture(GL_TEXTURE_2D, FlareTexture);
        BoundTextureId = FlareTexture;
    }
    SwitchVertexArray(true);
    SwitchTexCoordArray(true);
    MeshGl.VertexPointer(3, GL_FLOAT, 0, quad);
    MeshGl.TexCoordPointer(2, GL_FLOAT, 0, kFlareTexCoords);
    MeshGl.DrawElements(GL_QUADS, 4, GL_UNSIGNED_INT, kFlareIndices);
}

// ---------------------------------------------------------------------------------------------
// The light library

NztLight* CreateLight(uint32_t lightKind) {
    NztLight* light = new NztLight();
    light->LightKind = lightKind;
    Append(LightList, LightCount, LightCapacity, light);
    return light;
}

void DeleteLightAt(uint32_t index) {
    if (index >= LightCount) return;
    if (NztLight* light = LightList[index]) {
        light->Release();
        delete light;
    }
    CloseGap(LightList, LightCount, index);
    SelectedLightIndex = std::clamp(SelectedLightIndex, 0, std::max(static_cast<int32_t>(LightCount) - 1, 0));
}

void DeleteAllLights() {
    while (LightCount != 0) DeleteLightAt(LightCount - 1);
    FreeList(LightList, LightCount, LightCapacity);
    SelectedLightIndex = 0;
}

uint32_t ActivateLight(NztLight* light) {
    return RegisterOwn(light, NearLightRegistry);
}

uint32_t DeactivateLight(NztLight* light) {
    return UnregisterOwn(light, NearLightRegistry);
}
