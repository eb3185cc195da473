// A hidden window with a compatibility OpenGL context made current, for tests that draw.
//
// SDL's video subsystem is left running when the window closes: shutting it down unloads the GL
// driver, and what the driver keeps after textured drawing would then be reported as leaks from an
// unknown module, which no suppression by library name can catch.
#pragma once

#include <SDL.h>

#include "support/display.h"

// Opens the window and its context; false (SDL_GetError says why) when either cannot be made.
inline bool OpenHiddenGlWindow(const char* title, int width, int height, SDL_Window** window,
                               SDL_GLContext* context) {
    *window = nullptr;
    *context = nullptr;
    if (!OpenOnceTheDisplayTakesUs([] { return SDL_Init(SDL_INIT_VIDEO) == 0; })) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    *window = SDL_CreateWindow(title, 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (*window == nullptr) return false;
    *context = SDL_GL_CreateContext(*window);
    return *context != nullptr;
}

// Deletes the context and destroys the window (either may be null); SDL's video stays up.
inline void CloseHiddenGlWindow(SDL_Window** window, SDL_GLContext* context) {
    if (*context != nullptr) SDL_GL_DeleteContext(*context);
    if (*window != nullptr) SDL_DestroyWindow(*window);
    *context = nullptr;
    *window = nullptr;
}
