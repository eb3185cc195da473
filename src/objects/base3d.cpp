#include "objects/base3d.h"

#include <algorithm>
#include <cmath>

#include "audio/sound.h"
#include "core/frameclock.h"
#include "core/paths.h"
#include "model/mesh.h"
#include "objects/attach.h"
#include "objects/charlinks.h"
#include "objects/eye.h"
#include "objects/objtype.h"
#include "objects/posing.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "render/visibility.h"

void (*ReleaseNetworkRecord)(RemotePlayerRecord* record) = nullptr;

// The mesh binds the object's float[3] placement fields as Vec3.
static_assert(sizeof(Vec3) == 3 * sizeof(float) && alignof(Vec3) == alignof(float));

namespace {

// Angle units per radian, and the factor of the controller's turns.
constexpr float AnglesPerRadian = 651.8986f;
constexpr float RadiansPerAngle = 0.0015339808f;
// Attach-point kinds: what hangs on the point.
constexpr uint32_t AttachKindEffect = 3;
constexpr uint32_t AttachKindObject = 4;
constexpr uint32_t AttachKindObject2 = 5;
// Largest index of the wobble weight table.
constexpr int32_t WobbleWeightMax = WobbleWeightTableSize - 1;

Vec3* AsVec3(float* p) {
    return reinterpret_cast<Vec3*>(p);
}

uint32_t MeshBoneCount(const NztMesh* mesh) {
    return std::max(mesh->LargestBoneCount, mesh->MaxBoneCount);
}

// v.x row 0 + v.y row 1 + v.z row 2.
void RotateRows(const float m[9], const float v[3], float out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = v[0] * m[k] + v[1] * m[3 + k] + v[2] * m[6 + k];
}

template <typename T>
void FreeVector(std::vector<T>& v) {
    std::vector<T>().swap(v);
}

// A mesh still bound to an object that goes away would hand its buffers to the next reader.
void UnbindMesh(NztMesh* mesh, const NztBaseObject* object) {
    if (mesh == nullptr || mesh->Owner != object) return;
    mesh->Owner = nullptr;
    mesh->Position = &mesh->OwnPosition;
    mesh->PreviousPosition = &mesh->OwnPreviousPosition;
    mesh->FrameMotion = &mesh->OwnFrameMotion;
    mesh->Motion = &mesh->OwnMotion;
    mesh->PreviousMotion = &mesh->OwnPreviousMotion;
    mesh->Matrix = mesh->OwnMatrix;
    mesh->InverseMatrix = mesh->OwnInverseMatrix;
    mesh->MotionAxisLocks = nullptr;
    mesh->PosedVertices = nullptr;
    mesh->PosedNormals = nullptr;
    mesh->VertexColours = nullptr;
    mesh->ObjectAttachPoints = nullptr;
    mesh->AnimLayers = nullptr;
    mesh->LayerBoneMask = nullptr;
    mesh->CurrentAnim = nullptr;
}

}  // namespace


float WobbleVector[3] = {0.0f, 0.0f, 0.0f};
uint32_t ObjectRandomIndex = 0;

float NextObjectRandom() {
    const float r = RandomTable[ObjectRandomIndex & RandomTableMask];
    ObjectRandomIndex = (ObjectRandomIndex + 1) & RandomTableMask;
    return r;
}

// ---------------------------------------------------------------------------------------------
// Construction and release

NztBaseObject::NztBaseObject() {
    kind = ObjectKindBase;
    wobblePhase = RoundToInt(NextObjectRandom() * 4096.0f);
}

NztBaseObject::~NztBaseObject() {
    // Owners call ReleaseData first; what it would have freed is not left behind otherwise.
    UnbindMesh(mesh, this);
    if (mesh != nullptr && mesh->InstanceCount != 0) --mesh->InstanceCount;
    FreeUserProperties();
    delete ownAnim;
}

void NztBaseObject::ReleaseData() {
    StopOwnerSounds(this);
    ObjectServices.removeObjectLinks(this);
    ClearEvents();
    FreeKeys();
    for (int32_t i = static_cast<int32_t>(trails.size()) - 1; i >= 0; --i) RemoveTrailLink(i);
    FreeUserProperties();
    if (networkRecord != nullptr) {
        if (ReleaseNetworkRecord != nullptr) ReleaseNetworkRecord(networkRecord);
        networkRecord = nullptr;
    }
    ClearAllAttachPoints();
    Detach();
    ReplaceObjectReferences(this, nullptr);
    currentAnim = nullptr;
    returnAnim = nullptr;  // may have been the owned animation
    animSlots = nullptr;
    if (ownAnim != nullptr) {
        ownAnim->FreeFrames();
        ownAnim->CloseStream();
        delete ownAnim;
        ownAnim = nullptr;
    }
    UnbindMesh(mesh, this);
    FreeVector(colours);
    FreeVector(normals);
    FreeVector(vertices);
    FreeVector(boneMask);
    FreeVector(layers);
    FreeVector(attachPoints);
    vertexCapacity = 0;
    vertexCount = 0;
}

void ReplaceObjectReferences(NztBaseObject* old, NztBaseObject* replacement) {
    if (old != nullptr) ObjectServices.replaceReferences(old, replacement);
}

void NztBaseObject::RemoveAttachedEffects() {
    ObjectServices.removeAttachedEffects(this);
}

// ---------------------------------------------------------------------------------------------
// Attach points, trail links, user properties

void NztBaseObject::ClearAttachPoint(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(attachPoints.size())) return;
    NztAttachPoint& point = attachPoints[index];
    if (point.Target != nullptr) {
        if (point.Kind == AttachKindEffect) {
            ObjectServices.releaseAttachedEffect(point.Target);
        } else if (point.Kind == AttachKindObject || point.Kind == AttachKindObject2) {
            NztBaseObject* child = static_cast<NztBaseObject*>(point.Target);
            child->parent = nullptr;
            child->parentVertex = 0;
            child->parentPoint = 0;
        }
    }
    point.Kind = 0;
    point.Target = nullptr;
}

void NztBaseObject::ClearAllAttachPoints() {
    for (int32_t i = 0; i < static_cast<int32_t>(attachPoints.size()); ++i) ClearAttachPoint(i);
    ObjectServices.releaseLights(this);
}

int32_t NztBaseObject::RemoveChild(const void* child) {
    if (child == nullptr) return 0;
    for (int32_t i = static_cast<int32_t>(attachPoints.size()) - 1; i >= 0; --i) {
        if (attachPoints[i].Target == child) {
            ClearAttachPoint(i);
            return 1;
        }
    }
    return 0;
}

void NztBaseObject::Detach() {
    if (parent == nullptr) return;
    parent->RemoveChild(static_cast<const void*>(static_cast<NztBaseObject*>(this)));
    parent = nullptr;
    parentVertex = 0;
    parentPoint = 0;
}

void NztBaseObject::RemoveTrailLink(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(trails.size())) return;
    trails.erase(trails.begin() + index);
    if (trails.empty()) FreeVector(trails);
}

void NztBaseObject::FreeUserProperties() {
    delete userProperties;
    userProperties = nullptr;
}


// ---------------------------------------------------------------------------------------------
// Mesh, range, size, level of detail

void NztBaseObject::SetMesh(NztMesh* newMesh) {
    if (newMesh == nullptr) return;
    if (newMesh != mesh) {
        if (mesh != nullptr) {
            UnbindMesh(mesh, this);
            if (mesh->InstanceCount != 0) --mesh->InstanceCount;
        }
        mesh = newMesh;
        ++newMesh->InstanceCount;
        std::copy(&newMesh->OwnPosition.x, &newMesh->OwnPosition.x + 3, Position);
        std::copy(newMesh->OwnMatrix, newMesh->OwnMatrix + 9, rotation);
    }
    visible = 0;
    animating = 0;
    animSlots = newMesh->AnimSlots.empty() ? nullptr : newMesh->AnimSlots.data();
    currentAnim = nullptr;
    twoSided = static_cast<int32_t>(newMesh->TwoSided);
    frameCount = boneCount = currentFrame = firstDueFrame = 0;
    frameTime = 0.0f;
    previousFrame = -1;
    frameUnchanged = 0;
    // Taken off its parent properly, and whatever hung on the old points let go, so that no
    // parent link outlives the points it came from.
    Detach();
    for (int32_t i = 0; i < static_cast<int32_t>(attachPoints.size()); ++i) ClearAttachPoint(i);
    if (newMesh->AttachCount != 0 && newMesh->AttachPoints != nullptr) {
        attachPoints.assign(newMesh->AttachPoints, newMesh->AttachPoints + newMesh->AttachCount);
    } else {
        attachPoints.clear();
    }
    const uint32_t bones = MeshBoneCount(newMesh);
    if (bones != 0) {
        if (layers.empty()) layers.resize(AnimLayerCount);
        boneMask.assign(bones, 0);
    }
    vertexCapacity = static_cast<int32_t>(newMesh->VertexCapacity);
    vertexCount = static_cast<int32_t>(newMesh->VertexCount);
    vertices.resize(newMesh->VertexCapacity);
    normals.resize(newMesh->VertexCapacity);
    colours.resize(size_t{newMesh->VertexCapacity} * 4);
}

void NztBaseObject::SetRange(float value) {
    range = value;
    fadeStart = 0.8f * value;
    fadeFactor = 1.0f / (value - 0.8f * value);
}

void NztBaseObject::SetSize(float value) {
    size = value;
    if (value == 0.0f) return;  // the derived values keep their last meaning
    twiceSize = 2.0f * value;
    inverseSize = 1.0f / value;
}

int32_t ChooseLod(float sizeClass, float distanceSq) {
    if (distanceSq > 250000.0f * sizeClass) return 5;
    if (distanceSq > 160000.0f * sizeClass) return 4;
    if (distanceSq > 90000.0f * sizeClass) return 3;
    if (distanceSq > 40000.0f * sizeClass) return 2;
    if (distanceSq > 10000.0f * sizeClass) return 1;
    return 0;
}

void MeasureFromCamera(NztBase3D* object) {
    const NztRenderState& rs = RenderState;
    const float* p = object->Position;
    object->viewDepth = (rs.cameraPosition[0] - p[0]) * rs.viewAxis[0] +
                        (rs.cameraPosition[1] - p[1]) * rs.viewAxis[1] +
                        (rs.cameraPosition[2] - p[2]) * rs.viewAxis[2];
    object->sortDepth = object->viewDepth;
    const float dx = p[0] - MainCamera.eye.x;
    const float dy = p[1] - MainCamera.eye.y;
    const float dz = p[2] - MainCamera.eye.z;
    object->cameraDistanceSq = dx * dx + dy * dy + dz * dz;
}

void NztBaseObject::SyncModel() {
    MeasureFromCamera(this);
    UpdateLod();
    if (mesh == nullptr) return;
    BindRenderData();
    UpdateMeshAttachments(mesh);
    mesh->UpdateRigid();
    BindMeshData();
}

void NztBaseObject::UpdateLod() {
    if (visibilityTest == 0) {
        visible = 1;
        return;
    }
    if (mesh == nullptr || mesh->LargestExtent + cameraDistanceSq <= 1.0f) {
        visible = 0;
        return;
    }
    ComputeWorldBox();
    previousLod = lod;
    lod = ChooseLod(mesh->SizeClass, cameraDistanceSq);
    visible = static_cast<int32_t>(IsBoxVisible(worldBox, sortDepth, range));
}

void NztBaseObject::ComputeWorldBox() {
    if (mesh == nullptr) return;
    for (int c = 0; c < 8; ++c) {
        const float local[3] = {mesh->BoxCorners[c].x, mesh->BoxCorners[c].y, mesh->BoxCorners[c].z};
        RotateRows(rotation, local, worldBox[c]);
        for (int k = 0; k < 3; ++k) worldBox[c][k] += Position[k];
    }
}

void NztBaseObject::ComputeCenter(float out[3]) const {
    if (vertices.empty()) return;
    const size_t count = std::min(vertices.size(), static_cast<size_t>(std::max(vertexCount, 0)));
    Vec3 lo = vertices[0], hi = vertices[0];
    for (size_t i = 1; i < count; ++i) {
        const Vec3& v = vertices[i];
        lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
        hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
    out[0] = (lo.x + hi.x) * 0.5f;
    out[1] = (lo.y + hi.y) * 0.5f;
    out[2] = (lo.z + hi.z) * 0.5f;
}

int32_t NztBaseObject::PickTest(int32_t x, int32_t y, float* depth) {
    if (mesh == nullptr) return 0;
    const NztRenderState& rs = RenderState;
    // Projected corners are pixels from the viewport centre; the point comes in client pixels.
    const float px = static_cast<float>(x) - (rs.viewportX + rs.halfViewportWidth);
    const float py = static_cast<float>(y) - (rs.viewportY + rs.halfViewportHeight);
    ComputeWorldBox();
    float minX = 0, maxX = 0, minY = 0, maxY = 0, nearest = 0, farthest = 0;
    for (int c = 0; c < 8; ++c) {
        float p[3];
        ProjectToScreen(rs, worldBox[c], p);
        if (c == 0) {
            minX = maxX = p[0];
            minY = maxY = p[1];
            nearest = farthest = p[2];
            continue;
        }
        minX = std::min(minX, p[0]);
        maxX = std::max(maxX, p[0]);
        minY = std::min(minY, p[1]);
        maxY = std::max(maxY, p[1]);
        nearest = std::min(nearest, p[2]);
        farthest = std::max(farthest, p[2]);
    }
    if (farthest < 1.0f) return 0;
    if (!(minX < px && px < maxX && minY < py && py < maxY)) return 0;
    if (depth != nullptr) *depth = nearest;
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Placement and orientation

void NztBaseObject::SetPosition(const float p[3]) {
    std::copy(p, p + 3, Position);
    std::copy(p, p + 3, PreviousPosition);
}

void NztBaseObject::SetRotation(const float m[9]) {
    std::copy(m, m + 9, rotation);
}

void NztBaseObject::SetYaw(int32_t yaw) {
    packedAngles = (packedAngles & ~(0xFFFu << 12)) | ((static_cast<uint32_t>(yaw) & 0xFFFu) << 12);
    MatrixRotationY(rotation, yaw);
}

void NztBaseObject::SetYawPitch(int32_t pitch, int32_t yaw) {
    packedAngles = (packedAngles & 0xFF000000u) | ((static_cast<uint32_t>(yaw) & 0xFFFu) << 12) |
                   (static_cast<uint32_t>(pitch) & 0xFFFu);
    const float sy = TableSin(yaw), cy = TableCos(yaw), sp = TableSin(pitch), cp = TableCos(pitch);
    const float m[9] = {cy, 0.0f, -sy, sp * sy, cp, sp * cy, cp * sy, -sp, cp * cy};
    std::copy(m, m + 9, rotation);
}

void NztBaseObject::AddAngles(float pitch, float yaw, float rollStep) {
    const uint32_t p = (packedAngles + static_cast<uint32_t>(RoundToInt(pitch))) & 0xFFFu;
    const uint32_t y = ((packedAngles >> 12) + static_cast<uint32_t>(RoundToInt(yaw))) & 0xFFFu;
    packedAngles = (packedAngles & 0xFF000000u) | (y << 12) | p;
    roll = (roll & ~0xFFFu) | ((roll + static_cast<uint32_t>(RoundToInt(rollStep))) & 0xFFFu);
    float turn[9];
    MatrixFromEuler(turn, pitch * RadiansPerAngle, yaw * RadiansPerAngle, rollStep * RadiansPerAngle);
    MatrixMultiply3(rotation, rotation, turn);
}

void NztBaseObject::MoveLocal(const float v[3]) {
    float w[3];
    RotateRows(rotation, v, w);
    for (int k = 0; k < 3; ++k) {
        if (axisLocks[k] == 0) Position[k] += w[k];
    }
}

void NztBaseObject::QuaternionToMatrix(const float q[4]) {
    QuatToMatrix(rotation, q);
}

void NztBaseObject::LookAt(const float p[3]) {
    const double dx = p[0] - Position[0], dy = p[1] - Position[1], dz = p[2] - Position[2];
    const int32_t yaw = RoundToInt(std::atan2(dx, dz) * AnglesPerRadian);
    const int32_t pitch = RoundToInt(std::atan2(dy, std::sqrt(dx * dx + dz * dz)) * -AnglesPerRadian);
    SetYawPitch(pitch, yaw);
}

void NztBaseObject::TurnTowards(const float p[3]) {
    SetYaw(RoundToInt(std::atan2(p[0] - Position[0], p[2] - Position[2]) * AnglesPerRadian));
}

void NztBaseObject::SetYawFromFloat(float yaw) {
    SetYaw(RoundToInt(yaw));
}

void NztBaseObject::TurnTowardsBy(const float p[3], float factor) {
    const float target = std::atan2(p[0] - Position[0], p[2] - Position[2]) * AnglesPerRadian;
    SetYawFromFloat(LerpAngle(factor, target, static_cast<float>((packedAngles >> 12) & 0xFFFu)));
}

void NztBaseObject::TurnAwayBy(const float p[3], float factor) {
    const float target = std::atan2(p[0] - Position[0], p[2] - Position[2]) * AnglesPerRadian + 2048.0f;
    SetYawFromFloat(LerpAngle(factor, target, static_cast<float>((packedAngles >> 12) & 0xFFFu)));
}

float LerpAngle(float factor, float target, float current) {
    if (target > current) {
        if (target - current < 2048.0f) return (target - current) * factor + current;
        return (target - (current + 4096.0f)) * factor + (current + 4096.0f);
    }
    const float base = current - target < 2048.0f ? current : current - 4096.0f;
    return (target - base) * factor + base;
}

void MatrixFromEuler(float out[9], float a, float b, float c) {
    const float sa = std::sin(a), ca = std::cos(a), sb = std::sin(b), cb = std::cos(b);
    const float sc = std::sin(c), cc = std::cos(c);
    out[0] = cb * cc;
    out[1] = sa * sb * cc + ca * sc;
    out[2] = sa * sc - ca * sb * cc;
    out[3] = -cb * sc;
    out[4] = ca * cc - sa * sb * sc;
    out[5] = sa * cc + ca * sb * sc;
    out[6] = sb;
    out[7] = -sa * cb;
    out[8] = ca * cb;
}

void MatrixMultiply3(const float a[9], float out[9], const float b[9]) {
    float scratch[9];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            scratch[i * 3 + j] = a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j];
        }
    }
    std::copy(scratch, scratch + 9, out);
}

void MatrixRotationY(float out[9], int32_t yaw) {
    const float s = TableSin(yaw), c = TableCos(yaw);
    const float m[9] = {c, 0.0f, -s, 0.0f, 1.0f, 0.0f, s, 0.0f, c};
    std::copy(m, m + 9, out);
}

void QuatToMatrix(float out[9], const float q[4]) {
    const float w = q[0], x = q[1], y = q[2], z = q[3];
    out[0] = 1.0f - 2.0f * (y * y + z * z);
    out[1] = 2.0f * (x * y + w * z);
    out[2] = 2.0f * (x * z - w * y);
    out[3] = 2.0f * (x * y - w * z);
    out[4] = 1.0f - 2.0f * (x * x + z * z);
    out[5] = 2.0f * (y * z + w * x);
    out[6] = 2.0f * (x * z + w * y);
    out[7] = 2.0f * (y * z - w * x);
    out[8] = 1.0f - 2.0f * (x * x + y * y);
}

int32_t RandomIntRange(int32_t low, int32_t high) {
    return low + RoundToInt(static_cast<double>(high - low) * NextObjectRandom());
}

// ---------------------------------------------------------------------------------------------
// Animation slots

NztAnim* NztBaseObject::GetAnim(uint32_t slot) {
    // The slot comes from scripts and data: one the mesh does not have is no animation.
    if (mesh == nullptr || slot >= mesh->AnimSlots.size()) return nullptr;
    return mesh->AnimSlots[slot];
}

int32_t NztBaseObject::StartAnim(NztAnim* anim, int32_t speed, NztAnim* returnTo, int32_t startFrame) {
    if (mesh == nullptr || MeshBoneCount(mesh) == 0) return 0;
    animating = 1;
    if (anim == nullptr) {
        currentAnim = nullptr;
        animating = 0;
        return 0;
    }
    speedWord = speed;
    returnAnim = returnTo;
    if (anim == currentAnim) return 1;
    currentAnim = anim;
    frameCount = static_cast<int32_t>(anim->FrameCount);
    boneCount = static_cast<int32_t>(std::min(mesh->MaxBoneCount, anim->BoneCount));
    currentFrame = firstDueFrame = startFrame;
    frameTime = static_cast<float>(startFrame);
    previousFrame = -1;
    frameUnchanged = 0;
    if (poseState == 1 && frameCount < 2) poseState = 2;
    return 1;
}

void NztBaseObject::SetAnim(NztAnim* anim, int32_t speed, NztAnim* returnTo, int32_t startFrame) {
    StartAnim(anim, speed, returnTo, startFrame);
}

int32_t NztBaseObject::BlendToAnim(NztAnim* anim, int32_t speed, NztAnim* returnTo, int32_t startFrame) {
    return StartAnim(anim, speed, returnTo, startFrame);
}

void NztBaseObject::SetAnimIndex(uint32_t slot, int32_t speed, uint32_t returnSlot, int32_t startFrame) {
    StartAnim(GetAnim(slot), speed, GetAnim(returnSlot), startFrame);
}

int32_t NztBaseObject::BlendToAnimIndex(uint32_t slot, int32_t speed, uint32_t returnSlot,
                                        int32_t startFrame) {
    return StartAnim(GetAnim(slot), speed, GetAnim(returnSlot), startFrame);
}

// ---------------------------------------------------------------------------------------------
// Mesh binding

void NztBaseObject::BindMeshData() {
    if (mesh == nullptr) return;
    poseState = static_cast<int32_t>(mesh->RigidState);
    blendWords[0] = mesh->BlendWords[0];
    blendWords[1] = mesh->BlendWords[1];
    visible = static_cast<int32_t>(mesh->Visible);
    // The blended run is materials 0 to FirstLayer3Material - 1 of the level of detail in view.
    hasTransparent = mesh->FirstLayer3Material != 0 ? 1 : 0;
    vertexCount = static_cast<int32_t>(mesh->VertexCount);
}

void NztBaseObject::BindRenderData() {
    if (mesh == nullptr) return;
    NztMesh& m = *mesh;
    // Another level of detail loaded into the shared mesh since SetMesh raises its capacity; the
    // posing must never write past this object's buffers.
    if (vertices.size() < m.VertexCapacity) {
        vertexCapacity = static_cast<int32_t>(m.VertexCapacity);
        vertices.resize(m.VertexCapacity);
        normals.resize(m.VertexCapacity);
        colours.resize(size_t{m.VertexCapacity} * 4);
    }
    m.Owner = this;
    m.Position = AsVec3(Position);
    m.PreviousPosition = AsVec3(PreviousPosition);
    m.FrameMotion = &motion[0];
    m.Motion = &motion[1];
    m.PreviousMotion = &motion[2];
    m.MotionAxisLocks = axisLocks;
    m.Matrix = rotation;
    m.InverseMatrix = secondRotation;
    m.PosedVertices = vertices.empty() ? nullptr : vertices.data();
    m.PosedNormals = normals.empty() ? nullptr : normals.data();
    m.VertexColours = colours.empty() ? nullptr : colours.data();
    m.ObjectAttachPoints = attachPoints.empty() ? nullptr : attachPoints.data();
    m.MeshAlpha = opacity;
    m.RigidState = static_cast<uint32_t>(poseState);
    m.BlendWords[0] = blendWords[0];
    m.BlendWords[1] = blendWords[1];
    m.Visible = static_cast<uint32_t>(visible);
    m.SelectLod(static_cast<uint32_t>(std::max(lod, 0)));
    m.PreviousLod = static_cast<uint32_t>(std::max(previousLod, 0));
    if (currentAnim != nullptr) {
        BindAnimToMesh(currentAnim, &m);
        m.Frame = static_cast<uint32_t>(currentFrame);
        m.PreviousFrame = static_cast<uint32_t>(previousFrame);
        m.AnimLayers = layers.empty() ? nullptr : layers.data();
        m.LayerBoneMask = boneMask.empty() ? nullptr : boneMask.data();
        boneCount = static_cast<int32_t>(std::min(m.MaxBoneCount, currentAnim->BoneCount));
    } else {
        BindAnimToMesh(nullptr, &m);
        m.CurrentAnim = nullptr;
        m.AnimLayers = nullptr;
        m.LayerBoneMask = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// Drawing

void SetTextureCached(uint32_t texture) {
    SelectClientActiveTexture(0);
    if (texture == BoundTextureId) return;
    glBindTexture(GL_TEXTURE_2D, texture);
    BoundTextureId = texture;
}

void SetBlendMode(uint32_t mode) {
    SelectBlendMode(mode);
}

void SetCullFaceCached(NztBaseObject* object) {
    SwitchCullFace(object->twoSided == 0);
    NztMesh* mesh = object->mesh;
    if (mesh == nullptr) return;
    mesh->SelectDrawLod(static_cast<uint32_t>(std::max(object->lod, 0)));
    mesh->Position = AsVec3(object->Position);
    mesh->Matrix = object->rotation;
    mesh->InverseMatrix = object->secondRotation;
    mesh->PosedVertices = object->vertices.empty() ? nullptr : object->vertices.data();
    mesh->PosedNormals = object->normals.empty() ? nullptr : object->normals.data();
    mesh->VertexColours = object->colours.empty() ? nullptr : object->colours.data();
    mesh->MeshAlpha = object->opacity;
    mesh->Owner = object;
}

void NztBaseObject::DrawFlatColor(float r, float g, float b) {
    NztBaseObject::DrawFlatColorAlpha(r, g, b, opacity);
}

void NztBaseObject::DrawFlatColorAlpha(float r, float g, float b, float a) {
    if (visible == 0 || shown == 0 || mesh == nullptr) return;
    SetCullFaceCached(this);
    ObjectServices.drawMeshFlatColor(mesh, r, g, b, a);
}

void NztBaseObject::RotateLocalVectors() {
    if (!localGroundQuad || !worldGroundQuad) return;
    for (int c = 0; c < 4; ++c) {
        float* out = &worldGroundQuad[c * 3];
        RotateRows(rotation, &localGroundQuad[c * 3], out);
        for (int k = 0; k < 3; ++k) out[k] += Position[k];
        out[1] += 0.05f;  // just above the ground it lies on
    }
}

void NztBaseObject::DrawShadow() {
    if (!worldGroundQuad || mesh == nullptr) return;
    const float c = opacity * groundQuadStrength;
    SetBlendMode(3);
    SetTextureCached(mesh->ShadowTexture);
    BeginPrimitive(RenderState, 7);
    glColor4f(c, c, c, c);
    static constexpr float TexCoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        glTexCoord2f(TexCoords[i][0], TexCoords[i][1]);
        glVertex3fv(&worldGroundQuad[i * 3]);
    }
    glEnd();
    RenderState.primitiveKind = 0;
}

void NztBaseObject::ApplyWobble(float amount, int32_t absolute) {
    // The phase is only ever read masked; keeping it masked stops it from overflowing.
    wobblePhase = (wobblePhase + RoundToInt(FrameTiming.frameFactor * 32.0f)) & AngleUnitMask;
    wobbleAmplitude = 0.5f * TableSin(wobblePhase);
    float* previous = wobbleOffsets[0];
    float* current = wobbleOffsets[1];
    std::copy(current, current + 3, previous);
    current[0] = (WobbleVector[0] + 0.5f) * wobbleAmplitude * amount;
    current[1] = WobbleVector[1] * wobbleAmplitude * amount;
    current[2] = (WobbleVector[2] + 0.5f) * wobbleAmplitude * amount;
    float applied[3];
    for (int k = 0; k < 3; ++k) applied[k] = absolute != 0 ? current[k] : current[k] - previous[k];
    if (applied[0] == 0.0f && applied[1] == 0.0f && applied[2] == 0.0f) return;
    if (mesh == nullptr || mesh->Vertices == nullptr) return;
    const size_t count = std::min({vertices.size(), static_cast<size_t>(std::max(vertexCount, 0)),
                                   static_cast<size_t>(mesh->VertexCount)});
    for (size_t i = 0; i < count; ++i) {
        int32_t w = RoundToInt(mesh->Vertices[i].y * mesh->HeightScale);
        if (w <= 0) continue;
        w = std::min(w, WobbleWeightMax);
        const float weight = WobbleWeightTable[w];
        vertices[i].x += weight * applied[0];
        vertices[i].y += weight * applied[1];
        vertices[i].z += weight * applied[2];
    }
}
