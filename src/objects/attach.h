// Work on a posed mesh around its skinning: what hangs on the attach points, single bones turned
// or moved by the character code, the lagging secondary motion of bones flagged HasExtra, rigid
// objects and characters stood on the ground with their tilt, and the small matrix and quaternion
// helpers these and the character code share.
//
// Matrix and quaternion conventions are those of model/posing.h. Angles are 4096 units a turn.
// Bone operations work on PosedVertices with the skinning weights (0.0 skipped, 1.0 full, others
// blended from the identity). Main thread only.
#pragma once

#include <cstdint>

#include "core/nztmath.h"

struct NztBoneKey;
struct NztMesh;
struct Quat;

// Attach points. The anchors come from the mesh's own list; what hangs on a point from the
// object's copy bound into the mesh: kind 3 an effect (Target an NztSfx pointer), kinds 4 and 5
// an object (Target an NztBaseObject pointer); other kinds hold nothing.
int32_t AttachPointAnchor(int32_t i, const NztMesh* mesh);  // -1 when i is out of range
// The posed anchor of point i; the mesh's Position when out of view or out of range.
void AttachPointPosition(int32_t i, Vec3* out, const NztMesh* mesh);
// R of the product of the key rotations of the bones carrying point i (frame Frame, or the layer
// pose while a layer runs); 0 with out = identity when the point has no bone list or no animation
// is bound.
int AttachPointChainRotation(int32_t i, float out[9], const NztMesh* mesh);
// Places what hangs on object point i at the posed anchor and turns it by given.
void UpdateAttachment(int32_t i, NztMesh* mesh, const float given[9]);
// Places everything hanging on the mesh's points (in view only).
void UpdateMeshAttachments(NztMesh* mesh);

// Bone operations.
// A turn by angle about BendAxis, through the current BonePivot.
void RotateBoneByAngle(int32_t angle, uint32_t bone, NztMesh* mesh);
// Bone 1 turned by given about its posed pivot.
void RotateBone1(NztMesh* mesh, const float given[9]);
// The current BoneMatrix applied about the current BonePivot.
void ApplyBoneRotation(uint32_t bone, NztMesh* mesh);
// Each vertex of the bone moves by d times its weight.
void OffsetBoneVertices(uint32_t bone, NztMesh* mesh, const Vec3& d);
// The head and neck (fixed bones of the character skeleton) turned toward another object's
// rotation; the points hanging on them follow. In view only.
void AlignBonesToObject(NztMesh* mesh, const float otherRotation[9]);
// The lag of one vertex (position j of the bone's list, rest vertex restVertex, posed vertex v)
// behind the bone's pivot; chain is the bone chain's rotation or null.
void SecondaryBoneMotion(uint32_t bone, uint32_t restVertex, const Quat* chain, NztMesh* mesh, Vec3* v,
                         uint32_t j);
// Secondary motion of every HasExtra bone of the current LOD over its list. With keys, each bone
// also follows its chain rotation and turns its vertices' normals by its own key.
void ApplySecondaryMotion(NztMesh* mesh, const NztBoneKey* keys, uint32_t keyCount);

// Ground following.
void FollowGround(NztMesh* mesh);        // rigid objects with GroundFollow
void UpdateEntityGround(NztMesh* mesh);  // characters driven here
void SettleOnSurface(NztMesh* mesh);
void SettleOnGround(NztMesh* mesh);

// Helpers.
void QuatMultiplyInPlace(Quat* a, const Quat& b);                            // a = a x b
void MatrixFromAnglesYZX(float out[9], int32_t a1, int32_t a2, int32_t a3);  // Ry(a1).Rz(a2).Rx(a3)
void MatrixFromAngles(float out[9], int32_t a1, int32_t a2, int32_t a3);     // Rx(a3).Ry(a1).Rz(a2)
// Rz(C).Rx(B).Ry(A): A = bits 12-23 and B = bits 0-11 of words[0], C = bits 0-11 of words[1].
void MatrixFromPackedAngles(float out[9], const uint32_t words[2]);
// BoneMatrix = given; its quaternion becomes the current bone rotation.
void SetBoneMatrix(NztMesh* mesh, const float given[9]);
