// The table of services handed to every plug-in, in the fixed slot order of quorvane/plugin.h.
// The services touch the world lists, key states, sound slots and the GL context without locks:
// plug-ins may call them only from inside the host's entry calls, on the main thread.
#pragma once

#include <cstdint>

#include "quorvane/plugin.h"

extern const QvPluginServiceTable PluginServices;

// Service slot 2: 1 for a request code it handles, 0 (nothing done) for any other.
int32_t DispatchPluginRequest(intptr_t parameter, uint32_t code);

// Running cursors into RandomTable of the integer and float random services.
extern uint32_t PluginIntRandomIndex;
extern uint32_t PluginFloatRandomIndex;
