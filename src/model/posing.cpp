#include "model/posing.h"

#include "model/mesh.h"

uint32_t BindAnimToMesh(NztAnim*, NztMesh*) { return 0; }

void PoseMeshRest(NztMesh*) {}

uint32_t NztMesh::UpdateRigid() { return 0; }

const float* CameraOrientation() { return nullptr; }
