// Base folders, the shared data path, folder creation, screenshots, the display mode and small helpers.
#pragma once

#include <cstdint>

void InitUserFolder();
void InitDataFolder();
const char* DataPath(const char* name);
void MakePathFolders(const char* path);
uint32_t SetDisplayMode();
uint32_t MakeScreenshotName(const char* path, int32_t width, int32_t height);
int32_t RoundToInt(float x);
uint32_t NameChecksum(const char* name);
