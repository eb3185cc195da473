#include "render/texture.h"

uint32_t BoundTextureId = 0;
uint32_t TextureSizeSetting = 0;

uint32_t LoadTexture(const char*, uint32_t, uint32_t) { return 0; }
uint32_t ReleaseTexture(uint32_t) { return 0; }
void DeleteAllTextures() {}
uint32_t CreateNormalizationCubeMap() { return 0; }
uint32_t CreateBlankTexture() { return 0; }
uint32_t LoadSkyCubeMap() { return 0; }
void ClearTextureTable() {}
