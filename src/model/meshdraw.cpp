#include "model/meshdraw.h"

void DrawMeshFlatColor(NztMesh*, float, float, float, float) {}
