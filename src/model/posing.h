// Mesh posing and skinning.
#pragma once

#include <cstdint>

struct NztAnim;
struct NztMesh;

// Binds anim as the mesh's current animation; answers the bones posed (0 without an animation or
// for a mesh that is not skinned).
uint32_t BindAnimToMesh(NztAnim* anim, NztMesh* mesh);
// The rest pose into the bound posed buffers.
void PoseMeshRest(NztMesh* mesh);
// The camera's inverse rotation (3x3, nine floats), null before a camera is loaded.
const float* CameraOrientation();
