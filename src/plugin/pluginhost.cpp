#include "plugin/pluginhost.h"

void LoadAllPlugins() {}
void UnloadAllPlugins() {}
void ForwardMessageToPlugins(uint32_t, uint32_t) {}
uint32_t ManagePlugins() { return 0; }
uint32_t RenderPlugins() { return 0; }
