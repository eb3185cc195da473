#include "model/posing.h"

uint32_t BindAnimToMesh(NztAnim*, NztMesh*) { return 0; }

void PoseMeshRest(NztMesh*) {}
