#include "world/collide.h"

#include "world/base3d.h"

void FreeCollideGrid() {}
uint32_t BuildCollideGrid() { return 0; }

void NztCollideObject::CopyCollision(NztMesh*) {}

void NztCollideObject::ReleaseCollision() {
    ReleaseData();
}
