// The texture table.
#pragma once

#include <cstdint>

extern uint32_t BoundTextureId;
extern uint32_t TextureSizeSetting;

uint32_t LoadTexture(const char* name, uint32_t mipmap, uint32_t repeat);
uint32_t ReleaseTexture(uint32_t texture);
void DeleteAllTextures();
uint32_t CreateNormalizationCubeMap();
uint32_t CreateBlankTexture();
uint32_t LoadSkyCubeMap();
// Empties the whole texture table (every entry zero, count 0) without deleting GL names.
void ClearTextureTable();
