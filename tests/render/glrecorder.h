// A recording GL layer for headless tests: replaces the GL table of the render state and its
// window-layer calls, notes every call as a line of text, and restores everything at the end.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/config.h"
#include "game/entry.h"
#include "platform/window.h"
#include "render/glext.h"
#include "render/renderstate.h"
#include "render/texture.h"

namespace glrec {

inline std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}

inline std::string Fmt(double v) {
  if (v == 0.0) v = 0.0;  // -0 prints as 0
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// "Name(a,b,c)" with every argument printed as a number.
template <typename... Args>
std::string Call(const char* name, Args... args) {
  std::string s = std::string(name) + "(";
  bool first = true;
  ((s += (first ? "" : ","), s += Fmt(static_cast<double>(args)), first = false), ...);
  return s + ")";
}

template <typename... Args>
void Note(const char* name, Args... args) {
  Calls().push_back(Call(name, args...));
}

// What the fake window layer answers.
struct FakePlatform {
  int desktopBits = 32;
  bool contextCreates = true;
  bool makeCurrentWorks = true;
  GlPixelFormat lastFormat;
  std::vector<std::string> messages;  // "title: text"
};

inline FakePlatform& Platform() {
  static FakePlatform platform;
  return platform;
}

// Stand-ins for window and context handles; never dereferenced.
inline WindowHandle FakeWindow(int n) {
  static char windows[4];
  return reinterpret_cast<WindowHandle>(&windows[n]);
}
inline GlContextHandle FakeContext() {
  static char context;
  return &context;
}

inline void InstallRecorders() {
  GlCoreEntryPoints& g = GlCore;
  g.Enable = [](GLenum c) { Note("Enable", c); };
  g.Disable = [](GLenum c) { Note("Disable", c); };
  g.EnableClientState = [](GLenum c) { Note("EnableClientState", c); };
  g.DisableClientState = [](GLenum c) { Note("DisableClientState", c); };
  g.DepthMask = [](GLboolean f) { Note("DepthMask", f); };
  g.DepthFunc = [](GLenum f) { Note("DepthFunc", f); };
  g.ClearDepth = [](GLclampd d) { Note("ClearDepth", d); };
  g.BlendFunc = [](GLenum s, GLenum d) { Note("BlendFunc", s, d); };
  g.ClearColor = [](GLclampf r, GLclampf gr, GLclampf b, GLclampf a) {
    Note("ClearColor", r, gr, b, a);
  };
  g.Hint = [](GLenum t, GLenum m) { Note("Hint", t, m); };
  g.AlphaFunc = [](GLenum f, GLclampf r) { Note("AlphaFunc", f, r); };
  g.LineWidth = [](GLfloat w) { Note("LineWidth", w); };
  g.Fogf = [](GLenum p, GLfloat v) { Note("Fogf", p, v); };
  g.Fogfv = [](GLenum p, const GLfloat* v) { Note("Fogfv", p, v[0], v[1], v[2], v[3]); };
  g.DeleteTextures = [](GLsizei n, const GLuint* t) { Note("DeleteTextures", n, t[0]); };
  g.Flush = [] { Note("Flush"); };
  g.MatrixMode = [](GLenum m) { Note("MatrixMode", m); };
  g.LoadIdentity = [] { Note("LoadIdentity"); };
  g.Ortho = [](GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
    Note("Ortho", l, r, b, t, n, f);
  };
  g.Frustum = [](GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
    Note("Frustum", l, r, b, t, n, f);
  };
  g.LoadMatrixf = [](const GLfloat* m) { Note("LoadMatrixf", m[0], m[5], m[14]); };
  g.Translatef = [](GLfloat x, GLfloat y, GLfloat z) { Note("Translatef", x, y, z); };
  g.PushMatrix = [] { Note("PushMatrix"); };
  g.Viewport = [](GLint x, GLint y, GLsizei w, GLsizei h) { Note("Viewport", x, y, w, h); };
  g.Scissor = [](GLint x, GLint y, GLsizei w, GLsizei h) { Note("Scissor", x, y, w, h); };
  g.Begin = [](GLenum m) { Note("Begin", m); };
  g.ReadPixels = [](GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum t, GLvoid*) {
    Note("ReadPixels", x, y, w, h, f, t);
  };

  RenderPlatform.desktopBitsPerPixel = [] { return Platform().desktopBits; };
  RenderPlatform.setPixelFormat = [](const GlPixelFormat& f) { Platform().lastFormat = f; };
  RenderPlatform.createContext = [](WindowHandle) -> GlContextHandle {
    Note("CreateContext");
    return Platform().contextCreates ? FakeContext() : nullptr;
  };
  RenderPlatform.makeCurrent = [](WindowHandle w, GlContextHandle c) {
    Note("MakeCurrent", w != nullptr, c != nullptr);
    return Platform().makeCurrentWorks;
  };
  RenderPlatform.deleteContext = [](GlContextHandle) { Note("DeleteContext"); };
  RenderPlatform.messageBox = [](WindowHandle, const char* text, const char* title) {
    Platform().messages.push_back(std::string(title) + ": " + text);
  };

  // A driver with nothing: the loader finds no strings and fetches nothing.
  GlExtensionLoader.glString = [](GLenum) -> const char* { return nullptr; };
  GlExtensionLoader.procAddress = [](const char*) -> void* { return nullptr; };
  GlExtensionLoader.windowSystemExtensions = []() -> const char* { return nullptr; };
}

// Fresh globals with the recorders in place for the life of the object.
class Session {
 public:
  Session() {
    saved_ = GlCore;
    savedConfig_ = UserConfig;
    Calls().clear();
    Platform() = FakePlatform{};
    InstallRecorders();
    InitRenderState();
    ResetGlExtensions();
    BoundTextureId = 0;
    MainWindow = nullptr;
  }
  ~Session() {
    GlCore = saved_;
    UserConfig = savedConfig_;
    ResetRenderPlatform();
    ResetGlExtensionLoader();
    ResetGlExtensions();
    InitRenderState();
    BoundTextureId = 0;
    MainWindow = nullptr;
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

 private:
  GlCoreEntryPoints saved_;
  UserConfigData savedConfig_;
};

}  // namespace glrec
