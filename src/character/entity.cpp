#include "character/entity.h"

void NztEntity::SelectAction() {}

void NztEntity::SetTarget(NztBaseObject* object) {
    target = object;
}

void NztEntity::SetupFromType(NztMesh* mesh) {
    SetMesh(mesh);
}

void NztEntity::Release() {
    ReleaseCollision();
}

void NztEntity::ClearContactsWith(NztBaseObject*) {}
