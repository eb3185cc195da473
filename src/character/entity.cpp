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
NztAnim* NztEntity::GetAnimByName(const char*) { return nullptr; }
void NztEntity::FaceObject(const NztBase3D*) {}
void NztEntity::ResetActions() {}
float NztEntity::GetSpeed() { return 0.0f; }
