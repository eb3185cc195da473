// GL extension entry points.
#pragma once

using PfnSwapInterval = int (*)(int interval);
extern PfnSwapInterval wglSwapIntervalEXT;
