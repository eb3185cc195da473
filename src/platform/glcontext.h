// The OpenGL context on the main window.
#pragma once

#include "platform/types.h"

void SwapWindowBuffers(WindowHandle window);
