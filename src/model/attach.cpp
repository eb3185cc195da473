#include "model/attach.h"

void UpdateMeshAttachments(NztMesh*) {}
