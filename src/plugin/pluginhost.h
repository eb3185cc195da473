// The plug-in host.
#pragma once

#include <cstdint>

void LoadAllPlugins();
void UnloadAllPlugins();
void ForwardMessageToPlugins(uint32_t message, uint32_t key);
uint32_t ManagePlugins();
uint32_t RenderPlugins();
