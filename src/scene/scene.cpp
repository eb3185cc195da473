#include "scene/scene.h"

uint32_t SceneFogSwitch = 0;

int LoadScene(const char*, int, void*) { return 0; }

void* SaveScene(const char*, int, int, int, int) { return nullptr; }

void DeleteDataFile(const char*) {}
