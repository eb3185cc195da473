#include "world/scnobject.h"

#include <algorithm>
#include <cmath>

#include "core/frameclock.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "effects/meshdraw.h"
#include "effects/shading.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/attach.h"
#include "objects/posing.h"

namespace {

// Below this sine of half the turn the axis is too short to normalise.
constexpr float AxisEpsilon = 0.001f;

// One component of the turn's axis times the turn, in angle units.
float AxisAngle(const float rotation[9], int component) {
    float q[4];
    MatrixToQuat(rotation, q);
    // Rounding may carry w a hair past 1, where acos and the root have no value.
    const float w = std::clamp(q[0], -1.0f, 1.0f);
    const float theta = 2.0f * std::acos(w);
    const float s = std::sqrt(1.0f - w * w);
    float axis = q[component];
    if (s >= AxisEpsilon) axis /= s;
    return axis * theta * AngleUnitsPerRadian;
}

}  // namespace

NztScnObject::NztScnObject() {
    kind = ObjectKindScn;
    range = ScnObjectRange;
    fadeStart = 0.8f * ScnObjectRange;
    fadeFactor = 1.0f / (0.2f * ScnObjectRange);
    timerRunning = 1;
}

// ---------------------------------------------------------------------------------------------
// Angles

void NztScnObject::RefreshRotation() {
    if (rotationDirty == 0) return;
    rotationDirty = 0;
    MatrixFromAnglesYZX(rotation, static_cast<int32_t>((packedAngles >> 12) & AngleUnitMask), 0, 0);
}

float NztScnObject::GetPitchFromMatrix() const { return AxisAngle(rotation, 1); }
float NztScnObject::GetYawFromMatrix() const { return AxisAngle(rotation, 2); }
float NztScnObject::GetRollFromMatrix() const { return AxisAngle(rotation, 3); }

void NztScnObject::CopyTransform(const float m[9]) {
    std::copy(m, m + 9, rotation);
    const uint32_t x = static_cast<uint32_t>(RoundToInt(GetPitchFromMatrix())) & AngleUnitMask;
    const uint32_t y = static_cast<uint32_t>(RoundToInt(GetYawFromMatrix())) & AngleUnitMask;
    const uint32_t z = static_cast<uint32_t>(RoundToInt(GetRollFromMatrix())) & AngleUnitMask;
    packedAngles = (packedAngles & ~0xFFFFFFu) | x | (y << 12);
    roll = (roll & ~uint32_t{AngleUnitMask}) | z;
}

// ---------------------------------------------------------------------------------------------
// Updates

void NztScnObject::Place() {
    MeasureFromCamera(this);
    UpdateLod();
}

void NztScnObject::FinishPose(int32_t rebuilt) {
    if (visible == 0) return;
    if (groundQuadStrength != 0.0f && rebuilt != 0) RotateLocalVectors();
    // A rebuilt mesh stands at rest, so it takes the whole sway; otherwise only this frame's change.
    if (swayStrength != 0.0f) ApplyWobble(swayStrength, rebuilt);
}

void NztScnObject::Update() {
    if (parent != nullptr) return;  // hanging objects follow their parent in the second pass
    int32_t moved = 0;
    bool movingParts = false;
    if (keyCount != 0) {
        moved = ApplyControllerKeys();
        if (moved != 0 && poseState == 1) poseState = 2;  // a carried object that moves is dropped
    } else {
        // A rigid mesh whose vertices wave moves its collision too.
        movingParts = mesh != nullptr && mesh->VertexWaveSpread != 0.0f;
    }
    Place();
    sortDepth += depthBias;
    if (mesh == nullptr) return;
    UpdateAnimEvents();
    // Bound first: the model-state refresh reads the object's state back from the mesh.
    BindRenderData();
    SyncModelState();

    int32_t rebuilt = 0;
    if (currentAnim == nullptr || mesh->Skinned == 0) {
        rebuilt = mesh->UpdateRigid();
        if (collisionDirty != 0 || moved != 0) {
            UpdateCollision();
            collisionDirty = 0;
        } else if (movingParts) {
            RefreshTriangles();
        }
    } else {
        rebuilt = SkinScnObjectMesh(mesh);
        if (collisionDirty != 0 || moved != 0 || (mesh->CollisionSkinned != 0 && frameCount >= 2)) {
            UpdateCollision();
            collisionDirty = 0;
        }
    }
    UpdateMeshAttachments(mesh);
    BindMeshData();
    FinishPose(rebuilt);
}

void NztScnObject::LateUpdate() {
    if (parent == nullptr) return;  // free objects were updated in the first pass
    Place();
    if (mesh == nullptr) return;
    UpdateAnimEvents();
    BindRenderData();
    SyncModelState();
    SkinEntityMesh(mesh);
    if (hasCollision != 0) UpdateCollision();
    UpdateMeshAttachments(mesh);
    BindMeshData();
    if (groundQuadStrength != 0.0f && visible != 0) RotateLocalVectors();
}

void NztScnObject::SyncModel() {
    Place();
    sortDepth += depthBias;
    if (mesh == nullptr) return;
    BindRenderData();
    SyncModelState();
    const int32_t rebuilt = mesh->UpdateRigid();
    if (collisionDirty != 0) {
        UpdateCollision();
        collisionDirty = 0;
    }
    UpdateMeshAttachments(mesh);
    BindMeshData();
    FinishPose(rebuilt);
}

// ---------------------------------------------------------------------------------------------
// Drawing

namespace {

// The current frame's texture-coordinate transform, for animations that carry them.
void ScrollAnimTexture(NztScnObject* object) {
    const NztAnim* anim = object->currentAnim;
    if (anim == nullptr || anim->TexAnim == 0 || anim->Frames.empty()) return;
    const size_t frame = std::min(static_cast<size_t>(std::max(object->currentFrame, 0)), anim->Frames.size() - 1);
    ScrollMeshTexCoords(anim->Frames[frame].TexTransform, object->mesh);
}

bool HasOpaqueMaterials(const NztMesh* mesh) { return mesh->MaterialCount > mesh->FirstLayer3Material; }

}  // namespace

void NztScnObject::RenderOpaque() {
    if (visible != 0 && shown != 0 && mesh != nullptr && sortDepth <= fadeStart + depthBias) {
        SetCullFaceCached(this);
        if (HasOpaqueMaterials(mesh)) ScrollAnimTexture(this);
        DrawMeshOpaqueRun(mesh, unlit != 0);
    }
    const float dt = FrameTiming.frameTime;
    age += dt;
    timer = timerRunning != 0 ? timer + dt : 0.0f;
}

void NztScnObject::DrawSecondPass(bool faded) {
    SetCullFaceCached(this);
    ScrollAnimTexture(this);
    if (unlit != 0) {
        (faded ? DrawMeshAlphaFaded : DrawMeshAlpha)(mesh);
    } else if (faded) {
        // The first pass skipped objects faded out by distance, so their colours are lit here.
        ComputeMeshLighting(mesh);
        DrawMeshSecondPassFaded(mesh);
    } else {
        DrawMeshSecondPass(mesh);
    }
}

void NztScnObject::Render() {
    if (visible == 0 || shown == 0 || mesh == nullptr) return;
    const float d = sortDepth;
    const float b = depthBias;
    bool faded = false;
    if (d > fadeStart + b) {
        // Out over the last fifth of the range.
        opacity = 1.0f - (d - (fadeStart + b)) * fadeFactor;
        faded = true;
    } else if (hasTransparent != 0) {
        if (size != 0.0f && d < twiceSize + b) {
            // In from one size to two sizes away.
            opacity = (d - (size + b)) * inverseSize;
            faded = true;
        } else {
            DrawSecondPass(false);
        }
    }
    if (faded) DrawSecondPass(true);
    if (groundQuadStrength != 0.0f) DrawShadow();  // fades with the object
    // The opacity holds only for this draw; kept, it would dim the next frames' lighting and shadow.
    if (faded) opacity = 1.0f;
}
