// Opaque handles that the engine keeps and only the platform layer looks inside.
#pragma once

struct SDL_Window;

using WindowHandle = SDL_Window*;  // the main window (null before it is created)
using GlContextHandle = void*;      // an OpenGL context made by the platform layer
