#include "platform/glcontext.h"

void SwapWindowBuffers(WindowHandle) {}
