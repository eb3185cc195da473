// OpenGL context on an SDL window: pixel format, context life cycle, buffer swap, swap interval,
// entry-point lookup and the two extension strings.
#pragma once

#include "platform/types.h"

// The framebuffer the engine asks for. colorBits is 24 (8/8/8) or 16 (5/6/5).
struct GlPixelFormat {
  int colorBits = 24;
  int alphaBits = 8;
  int depthBits = 24;
  int stencilBits = 0;
  bool doubleBuffer = true;
};

// Bits per pixel of the desktop as the engine counts them: 32 for any true-colour desktop (X
// servers report depth 24 for 4-byte pixels), else the reported depth. 0 when video is not up.
int GlDesktopBitsPerPixel();

// Requests the pixel format and a compatibility-profile context for windows created from now
// on: on X11 the visual is chosen when the window is created, so this must precede that.
void GlSetPixelFormat(const GlPixelFormat& format);

// Creates a context on the window and makes it current; null (with a line on stderr) on failure.
GlContextHandle GlCreateContext(WindowHandle window);
// Makes the context current on the window; both null releases the current context.
bool GlMakeCurrent(WindowHandle window, GlContextHandle context);
void GlDeleteContext(GlContextHandle context);
void GlSwapBuffers(WindowHandle window);

// Swap interval of the current context (1 waits for vertical blank, 0 does not). Some servers
// refuse it (Xvfb does); the answer is false then and nothing else happens.
bool GlSetSwapInterval(int interval);
int GlGetSwapInterval();

// Address of a GL or GLX entry point of the current context. Non-null does not prove that the
// function exists: presence is decided from the extension strings.
void* GlGetProcAddress(const char* name);

// glGetString(GL_EXTENSIONS) of the current context, or null.
const char* GlGetExtensionString();
// Extension string of the GLX display of the current context; null when the context is not a
// GLX one (another SDL video driver) or there is none.
const char* GlxGetExtensionString();

// For tests and tools that need a context without the main window: starts the SDL video
// subsystem (counted; it stays up until the process ends), and makes a hidden window that can
// carry a context made after GlSetPixelFormat.
bool GlStartVideo();
WindowHandle GlCreateHiddenWindow(int width, int height);
void GlDestroyWindow(WindowHandle window);
