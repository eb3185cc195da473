// GL entry points: the GL 1.1 calls of the render state, and the extension and core-version
// entry points fetched by name once a context is current.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

// The GL 1.1 functions that the render state, the projection and the fog code call. They go
// through this table so that tests can record the calls without a context; the defaults are the
// library's own functions and nothing else replaces them.
struct GlCoreEntryPoints {
  decltype(&::glEnable) Enable = &::glEnable;
  decltype(&::glDisable) Disable = &::glDisable;
  decltype(&::glEnableClientState) EnableClientState = &::glEnableClientState;
  decltype(&::glDisableClientState) DisableClientState = &::glDisableClientState;
  decltype(&::glDepthMask) DepthMask = &::glDepthMask;
  decltype(&::glDepthFunc) DepthFunc = &::glDepthFunc;
  decltype(&::glClearDepth) ClearDepth = &::glClearDepth;
  decltype(&::glBlendFunc) BlendFunc = &::glBlendFunc;
  decltype(&::glClearColor) ClearColor = &::glClearColor;
  decltype(&::glHint) Hint = &::glHint;
  decltype(&::glAlphaFunc) AlphaFunc = &::glAlphaFunc;
  decltype(&::glLineWidth) LineWidth = &::glLineWidth;
  decltype(&::glFogf) Fogf = &::glFogf;
  decltype(&::glFogfv) Fogfv = &::glFogfv;
  decltype(&::glDeleteTextures) DeleteTextures = &::glDeleteTextures;
  decltype(&::glFlush) Flush = &::glFlush;
  decltype(&::glMatrixMode) MatrixMode = &::glMatrixMode;
  decltype(&::glLoadIdentity) LoadIdentity = &::glLoadIdentity;
  decltype(&::glOrtho) Ortho = &::glOrtho;
  decltype(&::glFrustum) Frustum = &::glFrustum;
  decltype(&::glLoadMatrixf) LoadMatrixf = &::glLoadMatrixf;
  decltype(&::glTranslatef) Translatef = &::glTranslatef;
  decltype(&::glPushMatrix) PushMatrix = &::glPushMatrix;
  decltype(&::glViewport) Viewport = &::glViewport;
  decltype(&::glScissor) Scissor = &::glScissor;
  decltype(&::glBegin) Begin = &::glBegin;
  decltype(&::glReadPixels) ReadPixels = &::glReadPixels;
};
extern GlCoreEntryPoints GlCore;

// Where the loader reads the driver: the strings of the current context and entry points by
// name. The defaults ask the platform layer; tests supply a driver of their own.
struct GlExtensionSource {
  const char* (*glString)(GLenum name);     // glGetString
  void* (*procAddress)(const char* name);   // entry point by name, null when refused
  const char* (*windowSystemExtensions)();  // GLX extension string, null when none
};
extern GlExtensionSource GlExtensionLoader;
void ResetGlExtensionLoader();

// The five core-version flags; every extension has a flag of its own, read by name.
struct GlVersionFlagSet {
  bool v1_2 = false, v1_3 = false, v1_4 = false, v1_5 = false, v2_0 = false;
};
extern GlVersionFlagSet GlVersionFlags;

// Flag of a GL or window-system extension of the loader's lists; false for names not listed.
bool GlExtensionFlag(const char* name);

// Reads the version and extension strings and sets the version and GL extension flags.
void DetectGlExtensions();
// Whole-word search of the GL extension string read by the last detection.
bool QueryGlExtension(const char* name);
// The same over the window-system (GLX) extension string read by the window-system stage.
bool QueryWglExtension(const char* name);
// The window-system stage: flags and entry points of the GLX extensions, and the swap-control
// slots. Answers 1 when an offered extension lacks an entry point, else 0.
int InitWglExtensions();
// Detection, then every loading stage in order. Needs a current context. Only the window-system
// stage's failures reach the answer (1), as its stage restarts the failure flag.
int InitGlExtensions();

// Clears every flag, slot and kept string (shutdown and tests).
void ResetGlExtensions();

// Whole-word search of an extension list: the name, bounded by the start or a space before and
// by a space or the end after. Names that are empty or hold a space are never found.
bool ExtensionListHas(const char* list, const char* name);

// The entry point stored under a name by the loader; null when not loaded or not a slot name.
using GlProc = void (*)();
GlProc GetGlEntryPoint(const char* name);

// Swap control of the window-system stage: set when the GLX string offers a swap-control
// extension, and then served by the platform layer's swap interval; null otherwise.
extern int (*wglSwapIntervalEXT)(int interval);
extern int (*wglGetSwapIntervalEXT)();

// The extension entry points the drawing and texture code calls. Each uses the extension's
// slot, else the core entry point of the same function, and otherwise sends nothing and
// answers false: no call ever goes through a null slot.
bool GlActiveTexture(GLenum unit);
bool GlClientActiveTexture(GLenum unit);
bool GlCompressedTexImage2D(GLenum target, GLint level, GLenum internalFormat, GLsizei width,
                            GLsizei height, GLint border, GLsizei imageSize, const void* data);
bool GlCompressedTexImage3D(GLenum target, GLint level, GLenum internalFormat, GLsizei width,
                            GLsizei height, GLsizei depth, GLint border, GLsizei imageSize,
                            const void* data);
// Whether the matching call above has an entry point to go through.
bool GlHasCompressedTexImage2D();
bool GlHasCompressedTexImage3D();
bool GlHasTexImage3D();
bool GlTexImage3D(GLenum target, GLint level, GLenum internalFormat, GLsizei width, GLsizei height,
                  GLsizei depth, GLint border, GLenum format, GLenum type, const void* pixels);
