#include "world/trail.h"

NztTrail** TrailList = nullptr;
uint32_t TrailCount = 0;

void RemoveTrailAt(uint32_t) {}
void RemoveAllTrails() {}
NztTrail* CreateTrail(NztBaseObject*, char) { return nullptr; }
void NztTrail::SetParams(const TrailParams&) {}
