// Scene files.
#pragma once

#include <cstdint>

// The scene's fog switch, SceneFogSwitch, is the object drawing's (world/registry.h).

// Reads a scene by name or full path, or from a memory snapshot when one is given.
int LoadScene(const char* name, int flag, void* snapshot);
// Writes the scene to path; with a null path returns a memory snapshot freed with free().
void* SaveScene(const char* path, int flag1, int flag2, int flag3, int flag4);
void DeleteDataFile(const char* path);
