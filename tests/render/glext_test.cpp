#include "render/glext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "glrecorder.h"
#include "render/renderstate.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// A fake driver: its strings, the entry-point names it refuses, and the calls made through the
// entry points it handed out.
struct FakeDriver {
  const char* version = "2.1";
  const char* extensions = "";
  const char* windowSystem = nullptr;
  std::set<std::string> refused;
  std::vector<std::string> called;
};

FakeDriver& Driver() {
  static FakeDriver driver;
  return driver;
}

void Called(const char* name) { Driver().called.push_back(name); }

void Unused() {}

// Entry points whose calls the tests watch; every other name gets a harmless function.
void* FakeProcAddress(const char* name) {
  static const std::map<std::string, void*> watched = {
      {"glActiveTextureARB",
       reinterpret_cast<void*>(+[](GLenum) { Called("glActiveTextureARB"); })},
      {"glActiveTexture", reinterpret_cast<void*>(+[](GLenum) { Called("glActiveTexture"); })},
      {"glClientActiveTextureARB",
       reinterpret_cast<void*>(+[](GLenum) { Called("glClientActiveTextureARB"); })},
      {"glClientActiveTexture",
       reinterpret_cast<void*>(+[](GLenum) { Called("glClientActiveTexture"); })},
      {"glCompressedTexImage2DARB",
       reinterpret_cast<void*>(+[](GLenum, GLint, GLenum, GLsizei, GLsizei, GLint, GLsizei,
                                   const void*) { Called("glCompressedTexImage2DARB"); })},
      {"glCompressedTexImage2D",
       reinterpret_cast<void*>(+[](GLenum, GLint, GLenum, GLsizei, GLsizei, GLint, GLsizei,
                                   const void*) { Called("glCompressedTexImage2D"); })},
      {"glCompressedTexImage3DARB",
       reinterpret_cast<void*>(+[](GLenum, GLint, GLenum, GLsizei, GLsizei, GLsizei, GLint, GLsizei,
                                   const void*) { Called("glCompressedTexImage3DARB"); })},
      {"glCompressedTexImage3D",
       reinterpret_cast<void*>(+[](GLenum, GLint, GLenum, GLsizei, GLsizei, GLsizei, GLint, GLsizei,
                                   const void*) { Called("glCompressedTexImage3D"); })},
      {"glTexImage3DEXT",
       reinterpret_cast<void*>(+[](GLenum, GLint, GLenum, GLsizei, GLsizei, GLsizei, GLint, GLenum,
                                   GLenum, const void*) { Called("glTexImage3DEXT"); })},
      {"glTexImage3D",
       reinterpret_cast<void*>(+[](GLenum, GLint, GLint, GLsizei, GLsizei, GLsizei, GLint, GLenum,
                                   GLenum, const void*) { Called("glTexImage3D"); })},
  };
  if (Driver().refused.count(name) != 0) return nullptr;
  auto it = watched.find(name);
  return it != watched.end() ? it->second : reinterpret_cast<void*>(&Unused);
}

class ExtensionLoading : public testing::Test {
 protected:
  void SetUp() override {
    Driver() = FakeDriver{};
    GlExtensionLoader.glString = [](GLenum name) -> const char* {
      if (name == GL_VERSION) return Driver().version;
      if (name == GL_EXTENSIONS) return Driver().extensions;
      return nullptr;
    };
    GlExtensionLoader.procAddress = &FakeProcAddress;
    GlExtensionLoader.windowSystemExtensions = []() { return Driver().windowSystem; };
  }
  glrec::Session session_;
};

struct VersionCase {
  const char* version;
  bool v12, v13, v14, v15, v20;
};

TEST_F(ExtensionLoading, VersionStringsSetTheCoreFlags) {
  const VersionCase cases[] = {
      {"1.1 Mesa", false, false, false, false, false}, {"1.2.1", true, false, false, false, false},
      {"1.3", true, true, false, false, false},        {"1.4", true, true, true, false, false},
      {"1.5.0 NVIDIA", true, true, true, true, false}, {"2.1", true, true, true, true, true},
      {"10.0", true, true, true, true, true},          {"0.9", false, false, false, false, false},
      {nullptr, false, false, false, false, false},
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(c.version ? c.version : "null");
    ResetGlExtensions();
    Driver().version = c.version;
    Driver().extensions = "GL_ARB_multitexture";
    DetectGlExtensions();
    EXPECT_EQ(GlVersionFlags.v1_2, c.v12);
    EXPECT_EQ(GlVersionFlags.v1_3, c.v13);
    EXPECT_EQ(GlVersionFlags.v1_4, c.v14);
    EXPECT_EQ(GlVersionFlags.v1_5, c.v15);
    EXPECT_EQ(GlVersionFlags.v2_0, c.v20);
    // Without a version string no flag at all is set.
    EXPECT_EQ(GlExtensionFlag("GL_ARB_multitexture"), c.version != nullptr);
  }
}

struct WordCase {
  const char* list;
  const char* name;
  bool found;
};

TEST(ExtensionQuery, MatchesWholeWordsOnly) {
  const WordCase cases[] = {
      {"GL_EXT_texture3D GL_ARB_multitexture", "GL_EXT_texture", false},
      {"GL_EXT_texture3D GL_ARB_multitexture", "GL_EXT_texture3D", true},
      {"GL_EXT_texture3D GL_ARB_multitexture", "GL_ARB_multitexture", true},
      {"GL_NV_vertex_program2", "GL_NV_vertex_program", false},
      {"XGL_ARB_multitexture", "GL_ARB_multitexture", false},
      {"GL_EXT_texture3D GL_EXT_texture", "GL_EXT_texture", true},
      {"GL_EXT_texture3D GL_EXT_texture ", "GL_EXT_texture", true},
      {"GL_A GL_B", "GL_A GL_B", false},
      {"GL_A", "", false},
      {nullptr, "GL_A", false},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.list ? c.list : "null") << " / " << c.name);
    EXPECT_EQ(ExtensionListHas(c.list, c.name), c.found);
  }
}

TEST_F(ExtensionLoading, HalfFloatFormsNeedTheirOtherFeature) {
  Driver().version = "1.2";
  Driver().extensions = "GL_NV_half_float GL_EXT_fog_coord";
  InitGlExtensions();
  EXPECT_NE(GetGlEntryPoint("glVertex2hNV"), nullptr);
  EXPECT_NE(GetGlEntryPoint("glTexCoord4hvNV"), nullptr);
  EXPECT_NE(GetGlEntryPoint("glFogCoordhNV"), nullptr);
  EXPECT_EQ(GetGlEntryPoint("glMultiTexCoord1hNV"), nullptr);
  EXPECT_EQ(GetGlEntryPoint("glSecondaryColor3hNV"), nullptr);
  EXPECT_EQ(GetGlEntryPoint("glVertexAttrib1hNV"), nullptr);

  ResetGlExtensions();
  Driver().version = "1.3";
  InitGlExtensions();
  EXPECT_NE(GetGlEntryPoint("glMultiTexCoord4hvNV"), nullptr);
}

TEST_F(ExtensionLoading, SharedSlotsFillFromEitherOwner) {
  Driver().version = "1.1";
  Driver().extensions = "GL_ARB_vertex_program";
  InitGlExtensions();
  EXPECT_NE(GetGlEntryPoint("glProgramStringARB"), nullptr);
  EXPECT_NE(GetGlEntryPoint("glIsProgramARB"), nullptr);
  EXPECT_NE(GetGlEntryPoint("glVertexAttrib1dARB"), nullptr);
  EXPECT_EQ(GetGlEntryPoint("glBlendColor"), nullptr);

  ResetGlExtensions();
  Driver().extensions = "GL_ARB_imaging";
  InitGlExtensions();
  EXPECT_NE(GetGlEntryPoint("glBlendColor"), nullptr);
  EXPECT_NE(GetGlEntryPoint("glHistogram"), nullptr);
  EXPECT_EQ(GetGlEntryPoint("glProgramStringARB"), nullptr);
}

TEST_F(ExtensionLoading, FlagOnlyExtensionsFetchNothing) {
  Driver().version = "1.1";
  Driver().extensions = "GL_EXT_texture_object GL_EXT_texture_compression_s3tc";
  InitGlExtensions();
  EXPECT_TRUE(GlExtensionFlag("GL_EXT_texture_compression_s3tc"));
  EXPECT_NE(GetGlEntryPoint("glBindTextureEXT"), nullptr);
  EXPECT_EQ(GetGlEntryPoint("glActiveTextureARB"), nullptr);
  EXPECT_EQ(GetGlEntryPoint("glNotAnEntryPoint"), nullptr);
}

TEST_F(ExtensionLoading, OnlyWindowSystemFailuresAreReported) {
  struct Case {
    const char* name;
    const char* windowSystem;
    const char* refused;
    int result;
  };
  const Case cases[] = {
      {"all present", "GLX_SGIX_pbuffer", "", 0},
      {"GL entry point refused", "GLX_SGIX_pbuffer", "glActiveTextureARB", 0},
      {"GLX entry point refused", "GLX_SGIX_pbuffer", "glXSelectEventSGIX", 1},
      {"refused GLX extension not offered", "GLX_ARB_multisample", "glXSelectEventSGIX", 0},
      {"no window-system string", nullptr, "glXSelectEventSGIX", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetGlExtensions();
    Driver().extensions = "GL_ARB_multitexture";
    Driver().windowSystem = c.windowSystem;
    Driver().refused = {c.refused};
    EXPECT_EQ(InitGlExtensions(), c.result);
    EXPECT_EQ(GlExtensionFlag("GLX_SGIX_pbuffer"),
              c.windowSystem != nullptr && std::strcmp(c.windowSystem, "GLX_SGIX_pbuffer") == 0);
  }
}

TEST_F(ExtensionLoading, SwapControlNeedsItsExtension) {
  struct Case {
    const char* windowSystem;
    bool available;
  };
  const Case cases[] = {{nullptr, false},
                        {"GLX_ARB_multisample GLX_SGI_make_current_read", false},
                        {"GLX_ARB_multisample GLX_EXT_swap_control", true},
                        {"GLX_MESA_swap_control", true},
                        {"GLX_SGI_swap_control_tear", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.windowSystem ? c.windowSystem : "null");
    ResetGlExtensions();
    Driver().windowSystem = c.windowSystem;
    InitGlExtensions();
    EXPECT_EQ(wglSwapIntervalEXT != nullptr, c.available);
    EXPECT_EQ(wglGetSwapIntervalEXT != nullptr, c.available);
  }
}

TEST_F(ExtensionLoading, UsedEntryPointsFallBackToCoreOrSkip) {
  struct Case {
    const char* name;
    const char* version;
    const char* extensions;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"extensions",
       "1.1",
       "GL_ARB_multitexture GL_ARB_texture_compression GL_EXT_texture3D",
       {"glActiveTextureARB", "glClientActiveTextureARB", "glCompressedTexImage2DARB",
        "glCompressedTexImage3DARB", "glTexImage3DEXT"}},
      {"core",
       "1.3",
       "",
       {"glActiveTexture", "glClientActiveTexture", "glCompressedTexImage2D",
        "glCompressedTexImage3D", "glTexImage3D"}},
      {"neither", "1.1", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetGlExtensions();
    Driver().version = c.version;
    Driver().extensions = c.extensions;
    Driver().called.clear();
    InitGlExtensions();
    const bool sent = !c.expected.empty();
    EXPECT_EQ(GlActiveTexture(GL_TEXTURE1), sent);
    EXPECT_EQ(GlClientActiveTexture(GL_TEXTURE1), sent);
    EXPECT_EQ(GlCompressedTexImage2D(GL_TEXTURE_2D, 0, 0, 4, 4, 0, 8, nullptr), sent);
    EXPECT_EQ(GlCompressedTexImage3D(GL_TEXTURE_3D, 0, 0, 4, 4, 4, 0, 8, nullptr), sent);
    EXPECT_EQ(
        GlTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA, 4, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr),
        sent);
    EXPECT_EQ(Driver().called, c.expected);
  }
}

TEST_F(ExtensionLoading, TextureUnitsAreSelectedOnce) {
  Driver().extensions = "GL_ARB_multitexture";
  InitGlExtensions();
  SelectActiveTexture(1);
  SelectActiveTexture(1);
  SelectActiveTexture(0);
  SelectClientActiveTexture(0);
  SelectClientActiveTexture(0);
  EXPECT_THAT(Driver().called,
              ElementsAre("glActiveTextureARB", "glActiveTextureARB", "glClientActiveTextureARB"));
  EXPECT_EQ(RenderState.activeTextureUnit, 0u);

  // With no entry point the unit stays unrecorded and nothing is called.
  ResetGlExtensions();
  RenderState.activeTextureUnit = kNoTextureUnit;
  Driver().called.clear();
  Driver().version = "1.1";
  Driver().extensions = "";
  InitGlExtensions();
  SelectActiveTexture(1);
  EXPECT_THAT(Driver().called, IsEmpty());
  EXPECT_EQ(RenderState.activeTextureUnit, kNoTextureUnit);
}

}  // namespace
