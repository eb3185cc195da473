#include "world/rope.h"

RopeSettingsRecord RopeSettings = {};

void InitRopePools() {}
void ResetRopePools() {}
void UpdateRopes() {}
void FreeRopeLinks() {}
void FreeRopeAnchors() {}
void RemoveObjectLinks(NztBaseObject*) {}
