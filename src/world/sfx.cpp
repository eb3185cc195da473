#include "world/sfx.h"

NztSfx** SfxList = nullptr;
uint32_t SfxCount = 0;

void RemoveSfxAt(uint32_t) {}
void RemoveAllSfx() {}
NztSfx* AddSfxType(const char*) { return nullptr; }
void NztSfx::AttachTo(NztBaseObject*, int32_t) {}
void UpdateSfxParticlesWorld(SfxDef*) {}
void UpdateSfxParticlesLocal(SfxDef*) {}
