#include "core/paths.h"

#include <cstdio>

void InitUserFolder() {}
void InitDataFolder() {}
const char* DataPath(const char* name) {
    static char buffer[260];
    std::snprintf(buffer, sizeof buffer, "%s%s", "../Datas/", name);
    return buffer;
}
void MakePathFolders(const char*) {}
uint32_t SetDisplayMode() { return 0; }
uint32_t MakeScreenshotName(const char*, int32_t, int32_t) { return 0; }
int32_t RoundToInt(float) { return 0; }
