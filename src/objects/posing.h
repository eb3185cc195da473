// Mesh posing and skinning: turning the shared mesh of a type into the world-space vertices and
// normals of one object, in the buffers that object bound into the mesh (PosedVertices,
// PosedNormals). Rigid transforms with the RigidState shortcut, bone skinning from the keys of the
// current animation frame, root motion with its sweep against the world, the vertex wave and the
// posed collision mesh.
//
// Matrices are 9 floats M[0..8] mapping p to p' with p'[k] = M[k] p.x + M[k+3] p.y + M[k+6] p.z,
// so M[3j..3j+2] is the image of axis j (the "rows" of an object's rotation). A.B applies B
// first. R(q) is the rotation of the unit quaternion q (w first).
//
// Bone lists: a bone lists every vertex it moves, its descendants' included. Bones are applied from
// the last to the first, each turning about its pivot vertex as already moved by the bones applied
// before it, which composes the hierarchy without parent links. Weight 0.0 leaves a vertex alone,
// 1.0 takes the matrix path, anything else a slerp from the identity.
//
// The bone fields of the mesh (BoneMatrix, BonePivot, ...) are scratch shared by every object of
// the type: main thread only, one object posed at a time. The mesh's Owner, when set, is the
// bound object as an NztBaseObject pointer (the sweeps and ground probes are made for it).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/nztmath.h"

struct NztAnim;
struct NztAnimFrame;
struct NztBoneKey;
struct NztMesh;
struct Quat;
struct CollisionBody;
struct SweepHitRecord;
struct StandingProbe;
class NztBase3D;
class NztBaseObject;

// Binds anim as the mesh's current animation; answers the bones posed: min(MaxBoneCount, the
// animation's bones), 0 without an animation or for a mesh that is not skinned.
uint32_t BindAnimToMesh(NztAnim* anim, NztMesh* mesh);
// Position and motions zeroed; the bones of frame Frame (or none) applied and turned by M, with
// no translation.
void PoseMeshRest(NztMesh* mesh);
// Poses the mesh at the animation's rest pose and takes the box, extents and core radius from
// the posed vertices (SizeClass and the texture-wave rates stay).
void SetMeshRestPose(NztMesh* mesh, NztAnim* anim);
// One world transform: posed = M.rest + Position, normal = M.rest normal.
void TransformMeshStatic(NztMesh* mesh);
// TransformMeshStatic unless the static pose already stands (RigidState 1, same LOD), or the mesh
// is out of view (RigidState 1 becomes 3).
void TransformMeshRigid(NztMesh* mesh);

// The skinning variants, one per object class and update slot (see posing.cpp). The scene-object
// variant answers 1 when it rebuilt the vertices.
void SkinDynObjectMesh(NztMesh* mesh);
void SkinEntityMesh(NztMesh* mesh);
int SkinScnObjectMesh(NztMesh* mesh);
void SkinLocalEntityMesh(NztMesh* mesh);
void SkinRemoteEntityMesh(NztMesh* mesh);

// The posed collision copy (skinned, waved or rigid) and its box (six zeros with no vertex).
void SkinCollisionVertices(NztMesh* mesh);
void ComputeCollisionBounds(NztMesh* mesh);

// The vertex wave: phases of every LOD rebuilt for a new spread; spread 0.0 frees them.
void SetMeshWave(float spread, NztMesh* mesh);
void BuildMeshWavePhases(uint32_t lod, NztMesh* mesh, float spread);

// The placement transforms, on one point in place; the current bone fields must be set first.
void TransformMeshPoint(NztMesh* mesh, Vec3* p);
void TransformMeshPointNormal(NztMesh* mesh, Vec3* normal, Vec3* p);
void BlendMeshPoint(NztMesh* mesh, Vec3* p, float w);
void BlendMeshPointNormal(NztMesh* mesh, Vec3* p, Vec3* normal, float w);
void RotateMeshPointBlend(NztMesh* mesh, Vec3* p, float w);
// BoneMatrix = R(*BoneRotation).
void QuatToMeshMatrix(NztMesh* mesh);
// Matrix = R(q).Matrix.
void ApplyFrameRotation(const Quat& q, NztMesh* mesh);

// The skinning kernel: the rest vertices and normals through the first min(BoneCount,
// MaxBoneCount, keyCount) bones with the given keys, then placed by M and Position. It makes one
// map per distinct bone list and transforms each vertex once, so it matches the step-by-step
// forms within float rounding, not bit for bit (its own result is the same on every processor).
// PoseMeshBonesPerBone applies the bones one after the other over the vertex lists (the earlier
// kernel); PoseMeshBonesReference is the plain form of that arithmetic, kept to check both.
void PoseMeshBones(NztMesh* mesh, const NztBoneKey* keys, uint32_t keyCount);
void PoseMeshBonesPerBone(NztMesh* mesh, const NztBoneKey* keys, uint32_t keyCount);
void PoseMeshBonesReference(NztMesh* mesh, const NztBoneKey* keys, uint32_t keyCount);

// The versions of the kernel's vertex pass: one for any processor, one for AVX2 and one for
// AVX-512 (x86-64 only). They give the same bits; the widest the processor runs is used unless
// another is selected (SelectSkinKernel answers false, changing nothing, for one it cannot run).
enum class SkinKernel { Plain, Avx2, Avx512 };
bool SkinKernelAvailable(SkinKernel kernel);
SkinKernel ActiveSkinKernel();
bool SelectSkinKernel(SkinKernel kernel);

// Model-space poses are kept by the keys they were made from, so that the next mesh posed on the
// same keys takes the pose made before (a crowd on one frame of one animation): the bytes the kept
// poses hold between them, never more than 16 MiB.
size_t KeptSkinPoseBytes();

// The matrix posing replaces Matrix with while UseCameraMatrix is set: the inverse rotation of the
// camera whose matrix is loaded, or null before any camera is (the mesh then keeps its Matrix).
const float* CameraOrientation();

// R(q) into out; out = a.b; m.p.
void QuatToRotation(const Quat& q, float out[9]);
void MultiplyMatrix3(const float a[9], const float b[9], float out[9]);
inline Vec3 TurnPoint(const float m[9], const Vec3& p) {
    return {m[0] * p.x + m[3] * p.y + m[6] * p.z, m[1] * p.x + m[4] * p.y + m[7] * p.z,
            m[2] * p.x + m[5] * p.y + m[8] * p.z};
}
// Frame f of the animation, clamped to its last frame; null without an animation or frames.
NztAnimFrame* AnimFrameAt(NztAnim* anim, uint32_t f);

// The world queries that posing and ground following make, replaceable by tests. The defaults
// are the collision queries, which collision/collquery.cpp gives.
struct PoseWorldCalls {
    uint32_t (*findStandingSurface)(const Vec3& point, float step, float defaultHeight, float* floor,
                                    float* surface, StandingProbe* probe, NztBase3D* asker);
    float (*nearestSurface)(const Vec3& point, float range, float defaultHeight);
    // The owner asks: its own triangles, and those of what it hangs on or carries, never stop it.
    uint32_t (*sweepCollisionBody)(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, NztBase3D* asker);
    uint32_t (*computeSurfaceTilt)(NztBaseObject* object, int32_t* pitch, int32_t* roll);
    uint32_t (*computeGroundTilt)(NztBaseObject* object, int32_t* pitch, int32_t* roll);
};
extern PoseWorldCalls PoseWorld;
void ResetPoseWorld();
