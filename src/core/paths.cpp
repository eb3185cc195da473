#include "core/paths.h"

#include <cstdio>
#include <cstring>

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
uint32_t NameChecksum(const char* name) {
    size_t n = std::strlen(name);
    size_t words = (n + 1) / 2;
    uint32_t a = 0xFFFF, b = 0xFFFF;
    for (size_t i = 0; i < words; ++i) {
        uint32_t lo = static_cast<uint8_t>(name[2 * i]);
        uint32_t hi = 2 * i + 1 < n ? static_cast<uint8_t>(name[2 * i + 1]) : 0;
        a += lo | (hi << 8);
        b += a;
    }
    uint32_t b1 = (b >> 16) + (b & 0xFFFF);
    uint32_t high = b1 + (b1 >> 16);
    uint32_t a1 = (a >> 16) + (a & 0xFFFF);
    uint32_t low = (a1 >> 16) + (a1 & 0xFFFF);
    return (high << 16) | low;
}
