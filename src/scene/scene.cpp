#include "scene/scene.h"

int LoadScene(const char*, int, void*) { return 0; }

void* SaveScene(const char*, int, int, int, int) { return nullptr; }

void DeleteDataFile(const char*) {}
