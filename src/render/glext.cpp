#include "render/glext.h"

PfnSwapInterval wglSwapIntervalEXT = nullptr;
