#include "platform/glcontext.h"

#include <GL/gl.h>
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstring>

int GlDesktopBitsPerPixel() {
  SDL_DisplayMode mode;
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0 || SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
  if (SDL_BYTESPERPIXEL(mode.format) == 4 || SDL_BITSPERPIXEL(mode.format) >= 24) return 32;
  return static_cast<int>(SDL_BITSPERPIXEL(mode.format));
}

void GlSetPixelFormat(const GlPixelFormat& format) {
  const bool trueColor = format.colorBits >= 24;
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, trueColor ? 8 : 5);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, trueColor ? 8 : 6);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, trueColor ? 8 : 5);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, format.alphaBits);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, format.depthBits);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, format.stencilBits);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, format.doubleBuffer ? 1 : 0);
  // The renderer is fixed-function GL 1.x throughout.
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

GlContextHandle GlCreateContext(WindowHandle window) {
  if (window == nullptr) return nullptr;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (context == nullptr) std::fprintf(stderr, "gl: cannot create a context: %s\n", SDL_GetError());
  return context;
}

bool GlMakeCurrent(WindowHandle window, GlContextHandle context) {
  return SDL_GL_MakeCurrent(window, context) == 0;
}

void GlDeleteContext(GlContextHandle context) {
  if (context != nullptr) SDL_GL_DeleteContext(context);
}

void GlSwapBuffers(WindowHandle window) {
  if (window != nullptr) SDL_GL_SwapWindow(window);
}

bool GlSetSwapInterval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0; }

int GlGetSwapInterval() { return SDL_GL_GetSwapInterval(); }

void* GlGetProcAddress(const char* name) {
  if (name == nullptr || SDL_GL_GetCurrentContext() == nullptr) return nullptr;
  return SDL_GL_GetProcAddress(name);
}

const char* GlGetExtensionString() {
  if (SDL_GL_GetCurrentContext() == nullptr) return nullptr;
  return reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
}

const char* GlxGetExtensionString() {
  if (SDL_GL_GetCurrentContext() == nullptr) return nullptr;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr || std::strcmp(driver, "x11") != 0) return nullptr;
  // Looked up rather than linked: the GLX library is the one SDL loaded for the context.
  using GetCurrentDisplayFn = void* (*)();
  using GetCurrentContextFn = void* (*)();
  using QueryContextFn = int (*)(void*, void*, int, int*);
  using QueryExtensionsStringFn = const char* (*)(void*, int);
  auto getDisplay =
      reinterpret_cast<GetCurrentDisplayFn>(SDL_GL_GetProcAddress("glXGetCurrentDisplay"));
  auto getContext =
      reinterpret_cast<GetCurrentContextFn>(SDL_GL_GetProcAddress("glXGetCurrentContext"));
  auto queryContext = reinterpret_cast<QueryContextFn>(SDL_GL_GetProcAddress("glXQueryContext"));
  auto queryExtensions =
      reinterpret_cast<QueryExtensionsStringFn>(SDL_GL_GetProcAddress("glXQueryExtensionsString"));
  if (getDisplay == nullptr || getContext == nullptr || queryExtensions == nullptr) return nullptr;
  void* display = getDisplay();
  void* context = getContext();
  if (display == nullptr || context == nullptr) return nullptr;  // an EGL context on X11
  constexpr int kGlxScreen = 0x800C;
  int screen = 0;
  if (queryContext != nullptr) queryContext(display, context, kGlxScreen, &screen);
  return queryExtensions(display, screen);
}

bool GlStartVideo() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "gl: cannot start video: %s\n", SDL_GetError());
    return false;
  }
  return true;
}

WindowHandle GlCreateHiddenWindow(int width, int height) {
  SDL_Window* window = SDL_CreateWindow("gl", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (window == nullptr) std::fprintf(stderr, "gl: cannot create a window: %s\n", SDL_GetError());
  return window;
}

void GlDestroyWindow(WindowHandle window) {
  if (window != nullptr) SDL_DestroyWindow(window);
}
