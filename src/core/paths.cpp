#include "core/paths.h"

void InitUserFolder() {}
void InitDataFolder() {}
const char* DataPath(const char*) { return ""; }
void MakePathFolders(const char*) {}
uint32_t SetDisplayMode() { return 0; }
uint32_t MakeScreenshotName(const char*, int32_t, int32_t) { return 0; }
int32_t RoundToInt(float) { return 0; }
