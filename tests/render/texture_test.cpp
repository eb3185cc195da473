// Texture manager tests. Every suite here needs a GL context: each test opens a hidden window with
// a compatibility context and fetches the extension entry points the uploads use.
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "image_fixture.h"
#include "render/glext.h"
#include "render/image.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "support/gl_window.h"

namespace {

using datakit::DdsFormat;
using datakit::DdsShape;
using datakit::Rgba;

class GlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenHiddenGlWindow("texture test", 64, 64, &window_, &context_))
            << SDL_GetError();
        // The engine's own entry-point loader, as the game runs it.
        InitGlExtensions();
        getCompressed_ = reinterpret_cast<PFNGLGETCOMPRESSEDTEXIMAGEARBPROC>(
            SDL_GL_GetProcAddress("glGetCompressedTexImageARB"));
        ASSERT_TRUE(GlHasCompressedTexImage2D());
        ASSERT_TRUE(GlHasTexImage3D());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        ClearTextureTable();
        BoundTextureId = 0;
        TextureSizeSetting = 0;
    }
    void TearDown() override {
        DeleteAllTextures();
        CloseHiddenGlWindow(&window_, &context_);
        // No SDL_Quit: it unloads the GL driver, whose own allocations (llvmpipe's compiled
        // shaders) would then be reported as leaks of an unknown module.
    }

    static GLint LevelParameter(GLenum target, GLint level, GLenum name) {
        GLint value = -1;
        glGetTexLevelParameteriv(target, level, name, &value);
        return value;
    }
    static GLint Parameter(GLenum target, GLenum name) {
        GLint value = -1;
        glGetTexParameteriv(target, name, &value);
        return value;
    }
    static std::vector<uint8_t> TexImage(GLenum target, GLint level, GLenum format, size_t bytes) {
        std::vector<uint8_t> out(bytes);
        glGetTexImage(target, level, format, GL_UNSIGNED_BYTE, out.data());
        return out;
    }

    imagetest::ScratchInstall install_;
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    PFNGLGETCOMPRESSEDTEXIMAGEARBPROC getCompressed_ = nullptr;
};

Rgba Gradient(uint32_t w, uint32_t h, uint8_t seed) {
    Rgba image{w, h, {}};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            image.pixels.insert(image.pixels.end(), {static_cast<uint8_t>(seed + x * 13), static_cast<uint8_t>(y * 29),
                                                     static_cast<uint8_t>(x * y + seed), static_cast<uint8_t>(255 - x)});
    return image;
}

// ---- the table --------------------------------------------------------------------------------

enum class Op {
    Load,     // LoadTexture(name, 1, repeat): expect 0 fails, 1 a new texture, 2 the texture of an earlier load
    Release,  // ReleaseTexture of the texture kept under name ("zero" is 0): expect the answer
    Foreign,  // a texture made outside the table, kept under name
    Video,    // an upload no lookup precedes, kept under name
    Write,    // an .Img of width `expect` written under the data folder
    Gone,     // the texture kept under name no longer exists
    Width,    // the texture kept under name has width `expect`
    Wraps,    // the texture kept under name repeats (expect 1) or not (0)
};

struct Step {
    Op op;
    const char* name;
    int expect = 0;
    uint32_t repeat = 0;
};

struct Live {
    const char* name;
    uint32_t refCount;
};

struct TableCase {
    const char* title;
    std::vector<Step> steps;
    std::vector<Live> live;  // the table afterwards, in order
};

class GlTextureTable : public GlTest {};

TEST_F(GlTextureTable, CasesInOrder) {
    const TableCase cases[] = {
        {"same file twice: one texture, count 2",
         {{Op::Load, "MAPS/a.Img", 1}, {Op::Load, "MAPS/a.Img", 2}},
         {{"MAPS/a.Img", 2}}},
        {"two releases: deleted and the table closed up",
         {{Op::Load, "MAPS/a.Img", 1},
          {Op::Load, "MAPS/b.Img", 1},
          {Op::Load, "MAPS/a.Img", 2},
          {Op::Release, "MAPS/a.Img", 0},
          {Op::Release, "MAPS/a.Img", 1},
          {Op::Gone, "MAPS/a.Img"}},
         {{"MAPS/b.Img", 1}}},
        {"a name not in the table is still deleted",
         {{Op::Load, "MAPS/a.Img", 1}, {Op::Foreign, "other"}, {Op::Release, "other", 1}, {Op::Gone, "other"}},
         {{"MAPS/a.Img", 1}}},
        {"name 0", {{Op::Release, "zero", 0}}, {}},
        {".dds falls back to the .Img of its stem",
         {{Op::Load, "MAPS/c.dds", 1}, {Op::Width, "MAPS/c.dds", 8}, {Op::Load, "MAPS/c.dds", 2}},
         {{"MAPS/c.dds", 2}}},
        {"a name without '.' is no .dds", {{Op::Load, "MAPS/c", 0}}, {}},
        {"missing file", {{Op::Load, "MAPS/none.Img", 0}}, {}},
        {"an upload without a lookup answers to no name",
         {{Op::Load, "MAPS/late.Img", 0},
          {Op::Video, "video"},
          {Op::Write, "MAPS/late.Img", 4},
          {Op::Load, "MAPS/late.Img", 1},
          {Op::Width, "MAPS/late.Img", 4}},
         {{"video", 1}, {"MAPS/late.Img", 1}}},
        {"a later load asking for repeat switches wrapping",
         {{Op::Load, "MAPS/a.Img", 1, 0},
          {Op::Wraps, "MAPS/a.Img", 0},
          {Op::Load, "MAPS/a.Img", 2, 1},
          {Op::Wraps, "MAPS/a.Img", 1}},
         {{"MAPS/a.Img", 2}}},
    };
    install_.WriteData("MAPS/a.Img", datakit::MakeImg32(Gradient(2, 2, 1)));
    install_.WriteData("MAPS/b.Img", datakit::MakeImg32(Gradient(4, 2, 2)));
    install_.WriteData("MAPS/c.Img", datakit::MakeImg32(Gradient(8, 8, 3)));
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.title);
        std::filesystem::remove(install_.Data("MAPS/late.Img"));
        DeleteAllTextures();
        ClearTextureTable();
        std::map<std::string, uint32_t> kept = {{"zero", 0}};
        for (const Step& s : c.steps) {
            SCOPED_TRACE(s.name);
            GLuint gl = 0;
            switch (s.op) {
            case Op::Load: {
                uint32_t t = LoadTexture(s.name, 1, s.repeat);
                if (s.expect == 0) {
                    EXPECT_EQ(t, 0u);
                } else if (s.expect == 1) {
                    EXPECT_NE(t, 0u);
                    for (const auto& [name, texture] : kept) EXPECT_NE(t, texture) << "same as " << name;
                    kept[s.name] = t;
                } else {
                    EXPECT_EQ(t, kept[s.name]);
                }
                break;
            }
            case Op::Release: EXPECT_EQ(ReleaseTexture(kept[s.name]), static_cast<uint32_t>(s.expect)); break;
            case Op::Foreign:
                glGenTextures(1, &gl);
                glBindTexture(GL_TEXTURE_2D, gl);
                BoundTextureId = gl;
                kept[s.name] = gl;
                break;
            case Op::Video: {
                std::vector<uint8_t> frame(4 * 4 * 3, 77);
                kept[s.name] = UploadTexture(frame.data(), 4, 4, 17, 0, 1, 0);
                EXPECT_NE(kept[s.name], 0u);
                break;
            }
            case Op::Write:
                install_.WriteData(s.name, datakit::MakeImg32(Gradient(static_cast<uint32_t>(s.expect), 2, 4)));
                break;
            case Op::Gone: EXPECT_FALSE(glIsTexture(kept[s.name])); break;
            case Op::Width:
                glBindTexture(GL_TEXTURE_2D, kept[s.name]);
                BoundTextureId = kept[s.name];
                EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), s.expect);
                break;
            case Op::Wraps:
                glBindTexture(GL_TEXTURE_2D, kept[s.name]);
                BoundTextureId = kept[s.name];
                EXPECT_EQ(Parameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S), s.expect ? GL_REPEAT : GL_CLAMP_TO_EDGE);
                break;
            }
        }
        ASSERT_EQ(TextureCount, c.live.size());
        for (size_t i = 0; i < c.live.size(); ++i) {
            EXPECT_EQ(TextureTable[i].glId, kept[c.live[i].name]) << "entry " << i;
            EXPECT_EQ(TextureTable[i].refCount, c.live[i].refCount) << "entry " << i;
        }
        EXPECT_EQ(TextureTable[TextureCount].glId, 0u) << "the entry past the last is clear";
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(GlTextureTable, FullTableRefusesTheNewTexture) {
    install_.WriteData("MAPS/a.Img", datakit::MakeImg32(Gradient(2, 2, 1)));
    uint8_t pixel[4] = {1, 2, 3, 4};
    for (uint32_t i = 0; i < MaxTextures; ++i) ASSERT_NE(UploadTexture(pixel, 1, 1, 32, 0, 0, 0), 0u) << i;
    EXPECT_EQ(UploadTexture(pixel, 1, 1, 32, 0, 0, 0), 0u);
    EXPECT_EQ(LoadTexture("MAPS/a.Img", 0, 0), 0u);  // its lookup misses with no free entry to key
    DdsImage image;
    ASSERT_TRUE(DecodeDds(datakit::MakeDds({DdsFormat::Dxt1, DdsShape::Flat, {Gradient(4, 4, 0)}, 1}), "x.dds", image));
    EXPECT_EQ(UploadDdsTexture(image, 0), 0u);
    EXPECT_EQ(TextureCount, MaxTextures);
    // One release makes room again.
    EXPECT_EQ(ReleaseTexture(TextureTable[5].glId), 1u);
    EXPECT_NE(LoadTexture("MAPS/a.Img", 0, 0), 0u);
    EXPECT_EQ(TextureCount, MaxTextures);
}

// ---- uploads of pixels -----------------------------------------------------------------------

class GlTextureUpload : public GlTest {};

TEST_F(GlTextureUpload, SizeCapHalvesTheLargerSide) {
    struct Case {
        uint32_t setting, w, h, capturedW, capturedH;
    } cases[] = {
        {2, 4096, 1024, 2048, 512},  // limit 2048
        {1, 4096, 16, 4096, 16},     // limit 4096: nothing above it
        {2, 2, 8192, 2, 8192},       // a side of 2 stops the halving at once
        {2, 4, 8192, 2, 4096},       // one halving, then a side of 2 stops it
        {14, 64, 32, 4, 2},          // settings above 13 act as 13 (a limit of 1 pixel)
        {0, 64, 32, 64, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "setting " << c.setting << ", " << c.w << " x " << c.h);
        TextureSizeSetting = c.setting;
        std::vector<uint8_t> pixels(static_cast<size_t>(c.w) * c.h * 4, 90);
        uint32_t t = UploadTexture(pixels.data(), c.w, c.h, 32, 0, 1, 0);
        ASSERT_NE(t, 0u);
        EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), static_cast<GLint>(c.capturedW));
        EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT), static_cast<GLint>(c.capturedH));
        EXPECT_EQ(ReleaseTexture(t), 1u);
    }
}

TEST_F(GlTextureUpload, MipmapsOnlyWhenBothSidesAreAboveFour) {
    // 7 x 8, each column and row its own value: the odd width must not shear the halved rows.
    Rgba image{7, 8, {}};
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 7; ++x)
            image.pixels.insert(image.pixels.end(), {static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 30), 0, 255});
    uint32_t t = UploadTexture(image.pixels.data(), 7, 8, 32, 1, 1, 0);
    ASSERT_NE(t, 0u);
    EXPECT_EQ(Parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    const GLint sizes[][2] = {{7, 8}, {3, 4}, {1, 2}, {1, 1}};
    for (GLint level = 0; level < 4; ++level) {
        EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH), sizes[level][0]) << level;
        EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT), sizes[level][1]) << level;
    }
    std::vector<uint8_t> level1 = TexImage(GL_TEXTURE_2D, 1, GL_RGBA, 3 * 4 * 4);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(level1[(y * 3 + x) * 4 + 0], 60 * x + 15) << x << "," << y;
            EXPECT_EQ(level1[(y * 3 + x) * 4 + 1], 60 * y + 15) << x << "," << y;
        }

    std::vector<uint8_t> narrow(4 * 64 * 4, 50);
    ASSERT_NE(UploadTexture(narrow.data(), 4, 64, 32, 1, 1, 0), 0u);
    EXPECT_EQ(Parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH), 0);
    ASSERT_NE(UploadTexture(narrow.data(), 4, 64, 32, 1, 0, 1), 0u);
    EXPECT_EQ(Parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(Parameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T), GL_REPEAT);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlTextureUpload, BitsChooseWhatIsSent) {
    // 3 x 2: rows of 1, 2 and 3-byte texels are not 4-byte aligned.
    const std::vector<uint8_t> rgba = {10, 20, 30, 255, 50, 80, 110, 0,   90, 140, 190, 250,
                                       130, 200, 15, 5, 170, 5, 60, 255,  210, 65, 100, 0};
    const std::vector<uint8_t> bgr = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    auto grey = [&rgba](size_t i) { return static_cast<uint8_t>((rgba[4 * i] + rgba[4 * i + 1] + rgba[4 * i + 2]) / 3); };
    std::vector<uint8_t> greys, alphas, greyAlpha, rgb;
    for (size_t i = 0; i < 6; ++i) {
        greys.push_back(grey(i));
        alphas.push_back(rgba[4 * i + 3]);
        greyAlpha.insert(greyAlpha.end(), {grey(i), rgba[4 * i + 3]});
        rgb.insert(rgb.end(), {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]});
    }
    struct Case {
        uint32_t bits;
        GLenum readFormat;
        std::vector<uint8_t> expected;
        int tolerance;
    } cases[] = {
        {6, GL_LUMINANCE_ALPHA, greyAlpha, 9}, {7, GL_ALPHA, alphas, 0},  {8, GL_LUMINANCE, greys, 0},
        {9, GL_LUMINANCE_ALPHA, greyAlpha, 0}, {16, GL_RGB, rgb, 8},      {17, GL_BGR_EXT, bgr, 0},
        {18, GL_RGBA, rgba, 9},                {24, GL_RGB, rgb, 0},      {32, GL_RGBA, rgba, 0},
        {64, GL_RGBA, rgba, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bits " << c.bits);
        std::vector<uint8_t> source = c.bits == 17 ? bgr : rgba;
        ASSERT_NE(UploadTexture(source.data(), 3, 2, c.bits, 0, 1, 0), 0u);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        std::vector<uint8_t> back = TexImage(GL_TEXTURE_2D, 0, c.readFormat, c.expected.size());
        for (size_t i = 0; i < back.size(); ++i) EXPECT_NEAR(back[i], c.expected[i], c.tolerance) << "byte " << i;
    }
    std::vector<uint8_t> source = rgba;
    ASSERT_NE(UploadTexture(source.data(), 3, 2, 12, 0, 1, 0), 0u);  // no such format: an empty texture
    EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 0);
}

TEST_F(GlTextureUpload, VideoFramesReplaceTheImageAndDrawFullViewport) {
    std::vector<uint8_t> first(8 * 4 * 3, 0), frame(8 * 4 * 3);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 5);
    uint32_t video = UploadTexture(first.data(), 8, 4, 17, 0, 1, 0);
    ASSERT_NE(video, 0u);
    UpdateTextureRect(video, frame.data(), 8, 4);
    EXPECT_EQ(TexImage(GL_TEXTURE_2D, 0, GL_BGR_EXT, frame.size()), frame);

    // Drawn over an 8 x 4 viewport: the frame's first row at the top.
    RenderState.halfViewportWidth = 4.0f;
    RenderState.halfViewportHeight = 2.0f;
    glViewport(0, 0, 8, 4);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-4, 4, -2, 2, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glClear(GL_COLOR_BUFFER_BIT);
    BoundTextureId = 0;
    glBegin(GL_QUADS);
    DrawTexturedQuad();
    glEnd();
    EXPECT_EQ(BoundTextureId, video);
    std::vector<uint8_t> screen(8 * 4 * 3);
    glReadPixels(0, 0, 8, 4, GL_BGR_EXT, GL_UNSIGNED_BYTE, screen.data());
    for (uint32_t y = 0; y < 4; ++y)  // screen rows count from the bottom
        for (size_t k = 0; k < 8 * 3; ++k) EXPECT_EQ(screen[y * 24 + k], frame[(3 - y) * 24 + k]) << y << "," << k;

    // A frame texture reduced by the size cap takes the frames reduced the same way.
    TextureSizeSetting = 13;
    std::vector<uint8_t> big(8 * 8 * 3, 40), bigger(8 * 8 * 3, 200);
    uint32_t small = UploadTexture(big.data(), 8, 8, 17, 0, 1, 0);
    ASSERT_EQ(LevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 2);
    UpdateTextureRect(small, bigger.data(), 8, 8);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(TexImage(GL_TEXTURE_2D, 0, GL_BGR_EXT, 2 * 2 * 3), std::vector<uint8_t>(2 * 2 * 3, 200));
}

// ---- .dds textures ---------------------------------------------------------------------------

class GlDdsTexture : public GlTest {};

TEST_F(GlDdsTexture, Dxt5MadeByImageMagickDrawsBack) {
    // 16 x 8 of solid 4 x 4 blocks, each with its own colour and opacity.
    const uint8_t colours[8][4] = {{255, 0, 0, 255},   {0, 255, 0, 200}, {0, 0, 255, 150},  {255, 255, 0, 100},
                                   {0, 255, 255, 255}, {255, 0, 255, 60}, {255, 255, 255, 180}, {128, 64, 32, 255}};
    Rgba source{16, 8, {}};
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 16; ++x) {
            const uint8_t* c = colours[(y / 4) * 4 + x / 4];
            source.pixels.insert(source.pixels.end(), c, c + 4);
        }
    imagetest::WritePam("blocks.pam", source);
    std::filesystem::create_directories(install_.Data("MAPS"));
    ASSERT_TRUE(imagetest::Convert("blocks.pam -define dds:compression=dxt5 -define dds:mipmaps=0 " +
                                   install_.Data("MAPS/blocks.dds")));
    uint32_t t = LoadTexture("MAPS/blocks.dds", 1, 0);
    ASSERT_NE(t, 0u);
    EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_COMPRESSED_RGBA_S3TC_DXT5_EXT);
    // One level with a mipmapped minifying filter: complete only when the last level is level 0.
    EXPECT_EQ(Parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(Parameter(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL), 0);

    glViewport(0, 0, 16, 8);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);  // texture row 0 at the bottom of the viewport
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    std::vector<uint8_t> screen(16 * 8 * 4);
    glReadPixels(0, 0, 16, 8, GL_RGBA, GL_UNSIGNED_BYTE, screen.data());
    for (size_t i = 0; i < 16 * 8; ++i)
        for (int k = 0; k < 3; ++k) {
            int expected = source.pixels[4 * i + k] * source.pixels[4 * i + 3] / 255;
            ASSERT_NEAR(screen[4 * i + k], expected, 6) << "pixel " << i << " channel " << k;
        }
}

TEST_F(GlDdsTexture, EveryLevelReachesGl) {
    struct Case {
        const char* title;
        datakit::DdsSpec spec;
        GLenum target, readTarget, readFormat;  // readFormat 0: compressed
        GLint level;
        uint32_t face;
    } cases[] = {
        {"DXT1 2-D, five levels", {DdsFormat::Dxt1, DdsShape::Flat, {Gradient(16, 16, 5)}, 5}, GL_TEXTURE_2D,
         GL_TEXTURE_2D, 0, 2, 0},
        {"DXT3 2-D, three levels", {DdsFormat::Dxt3, DdsShape::Flat, {Gradient(16, 8, 6)}, 3}, GL_TEXTURE_2D,
         GL_TEXTURE_2D, 0, 2, 0},
        {"cube, two levels", {DdsFormat::Bgra32, DdsShape::Cube, {Gradient(4, 4, 10), Gradient(4, 4, 20),
          Gradient(4, 4, 30), Gradient(4, 4, 40), Gradient(4, 4, 50), Gradient(4, 4, 60)}, 2},
         GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_POSITIVE_Z, GL_BGRA_EXT, 1, 4},
        {"volume, three levels", {DdsFormat::Bgra32, DdsShape::Volume, {Gradient(4, 4, 1), Gradient(4, 4, 90),
          Gradient(4, 4, 2), Gradient(4, 4, 3)}, 3}, GL_TEXTURE_3D, GL_TEXTURE_3D, GL_BGRA_EXT, 1, 0},
        {"1-D, three levels", {DdsFormat::Bgr24, DdsShape::Flat, {Gradient(4, 1, 7)}, 3}, GL_TEXTURE_1D,
         GL_TEXTURE_1D, GL_BGR_EXT, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<uint8_t> file = datakit::MakeDds(c.spec);
        install_.WriteData("MAPS/levels.dds", file);
        DeleteAllTextures();
        ClearTextureTable();
        uint32_t t = LoadTexture("MAPS/levels.dds", 1, 1);
        ASSERT_NE(t, 0u);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        glBindTexture(c.target, t);
        EXPECT_EQ(Parameter(c.target, GL_TEXTURE_MAX_LEVEL), static_cast<GLint>(c.spec.levels - 1));
        EXPECT_EQ(Parameter(c.target, GL_TEXTURE_WRAP_S), GL_REPEAT);
        DdsImage image;
        ASSERT_TRUE(DecodeDds(file, "levels.dds", image));
        uint64_t size = DdsLevelsSize(static_cast<uint32_t>(c.level), image, 1);
        if (c.target == GL_TEXTURE_CUBE_MAP) size /= 6;
        uint64_t offset = 128 + DdsLevelsSize(0, image, static_cast<uint32_t>(c.level)) + c.face * size;
        std::vector<uint8_t> expected(file.begin() + static_cast<ptrdiff_t>(offset),
                                      file.begin() + static_cast<ptrdiff_t>(offset + size));
        std::vector<uint8_t> back(size);
        if (c.readFormat == 0) {
            ASSERT_EQ(LevelParameter(c.readTarget, c.level, GL_TEXTURE_COMPRESSED_IMAGE_SIZE), static_cast<GLint>(size));
            getCompressed_(c.readTarget, c.level, back.data());
        } else {
            back = TexImage(c.readTarget, c.level, c.readFormat, size);
        }
        EXPECT_EQ(back, expected);
    }
}

TEST_F(GlDdsTexture, EveryFormatOfTheTableUploads) {
    // A 2 x 2 image in each uncompressed FourCC format, then the DXT formats.
    const uint32_t fourCcs[][2] = {{20, 3},  {21, 4}, {22, 4}, {23, 2},  {28, 1},  {31, 4},  {32, 4},  {33, 4}, {35, 4},
                                   {36, 8},  {50, 1}, {51, 2}, {81, 2},  {111, 2}, {113, 8}, {114, 4}, {116, 16}};
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    std::vector<uint8_t> header = datakit::MakeDds({DdsFormat::Bgra32, DdsShape::Flat, {Gradient(2, 2, 0)}, 1});
    header.resize(128);
    for (const auto& [code, unit] : fourCcs) {
        std::vector<uint8_t> file = header;
        file[80] = 4;  // FourCC flag
        std::memcpy(&file[84], &code, 4);
        for (uint32_t i = 0; i < 4 * unit; ++i) file.push_back(static_cast<uint8_t>(i * 17));
        files.emplace_back("FourCC " + std::to_string(code), file);
    }
    for (DdsFormat f : {DdsFormat::Dxt1, DdsFormat::Dxt3, DdsFormat::Dxt5, DdsFormat::Luminance8, DdsFormat::Bgr24})
        files.emplace_back("datakit format " + std::to_string(static_cast<int>(f)),
                           datakit::MakeDds({f, DdsShape::Flat, {Gradient(2, 2, 0)}, 1}));
    for (const auto& [title, file] : files) {
        SCOPED_TRACE(title);
        DdsImage image;
        ASSERT_TRUE(DecodeDds(file, "format.dds", image));
        uint32_t t = UploadDdsTexture(image, 0);
        ASSERT_NE(t, 0u);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 2);
        EXPECT_EQ(BoundTextureId, t);
    }
}

TEST_F(GlDdsTexture, UncompressedFormatsKeepTheirChannels) {
    // One texel of each colour format as the file stores it (little-endian words), and the RGBA
    // it must read back as. The numeric FourCCs name the Direct3D formats, lowest bits first.
    auto word = [](uint32_t v) {
        return std::vector<uint8_t>{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                                    static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    };
    struct Case {
        uint32_t fourCc;
        std::vector<uint8_t> texel;
        uint8_t rgba[4];
        int tolerance;
    } cases[] = {
        {20, {0x10, 0x20, 0x30}, {0x30, 0x20, 0x10, 255}, 0},                    // B, G, R
        {21, {0x10, 0x20, 0x30, 0x40}, {0x30, 0x20, 0x10, 0x40}, 0},             // B, G, R, A
        {22, {0x10, 0x20, 0x30, 0x99}, {0x30, 0x20, 0x10, 255}, 0},              // B, G, R, unused
        {23, {0x08, 0xF8}, {255, 0, 66, 255}, 2},                                // 5-6-5, red on top
        {31, word(1023 | 512u << 10 | 1u << 30), {255, 128, 0, 85}, 1},          // R low, then G, B, A
        {32, {0x30, 0x20, 0x10, 0x40}, {0x30, 0x20, 0x10, 0x40}, 0},             // R, G, B, A
        {33, {0x30, 0x20, 0x10, 0x99}, {0x30, 0x20, 0x10, 255}, 0},              // R, G, B, unused
        {35, word(1023 | 512u << 10 | 1u << 30), {0, 128, 255, 85}, 1},          // B low, then G, R, A
        {36, {0, 0x30, 0, 0x20, 0, 0x10, 0xFF, 0xFF}, {0x30, 0x20, 0x10, 255}, 1},  // 16-bit R, G, B, A
    };
    std::vector<uint8_t> header = datakit::MakeDds({DdsFormat::Bgra32, DdsShape::Flat, {Gradient(2, 2, 0)}, 1});
    header.resize(128);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "FourCC " << c.fourCc);
        std::vector<uint8_t> file = header;
        file[80] = 4;  // FourCC flag
        std::memcpy(&file[84], &c.fourCc, 4);
        for (int i = 0; i < 4; ++i) file.insert(file.end(), c.texel.begin(), c.texel.end());
        DdsImage image;
        ASSERT_TRUE(DecodeDds(file, "texel.dds", image));
        ASSERT_NE(UploadDdsTexture(image, 0), 0u);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        std::vector<uint8_t> back = TexImage(GL_TEXTURE_2D, 0, GL_RGBA, 2 * 2 * 4);
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(back[k], c.rgba[k], c.tolerance) << "channel " << k;
    }
}

// ---- textures made at start-up ---------------------------------------------------------------

class GlSpecialTextures : public GlTest {};

TEST_F(GlSpecialTextures, NormalizationCubeMapEncodesDirections) {
    uint32_t cube = CreateNormalizationCubeMap();
    ASSERT_NE(cube, 0u);
    EXPECT_EQ(TextureCount, 0u);
    EXPECT_EQ(Parameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(Parameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    struct Case {
        uint32_t face, s, t;
        uint8_t rgb[3];
    } cases[] = {
        {0, 64, 64, {255, 128, 128}}, {1, 64, 64, {0, 128, 128}},   {2, 64, 64, {128, 255, 128}},
        {3, 64, 64, {128, 0, 128}},   {4, 64, 64, {128, 128, 255}}, {5, 64, 64, {128, 128, 0}},
        {0, 0, 0, {201, 201, 201}},   {5, 10, 100, {203, 77, 38}},  {3, 30, 90, {71, 22, 84}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "face " << c.face << " texel " << c.s << "," << c.t);
        std::vector<uint8_t> face = TexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + c.face, 0, GL_RGB, 128 * 128 * 3);
        const uint8_t* texel = &face[(c.t * 128 + c.s) * 3];
        EXPECT_EQ(std::vector<uint8_t>(texel, texel + 3), std::vector<uint8_t>(c.rgb, c.rgb + 3));
    }
}

TEST_F(GlSpecialTextures, BlankTextureAndSkyCubeMap) {
    uint32_t blank = CreateBlankTexture();
    ASSERT_NE(blank, 0u);
    EXPECT_EQ(BoundTextureId, blank);
    std::vector<uint8_t> flat;
    for (int i = 0; i < 16; ++i) flat.insert(flat.end(), {128, 128, 255, 255});
    EXPECT_EQ(TexImage(GL_TEXTURE_2D, 0, GL_RGBA, 64), flat);

    const char* faces[6] = {"xpos", "xneg", "ypos", "yneg", "zpos", "zneg"};
    for (uint8_t f = 0; f < 6; ++f)
        if (f != 3)  // the -Y face is missing
            install_.WriteData(std::string("MAPS/CubeMap/") + faces[f] + ".Img",
                               datakit::MakeImg32(datakit::SolidRgba(5, 5, 10 * f, 100, 200 - f, 7)));
    uint32_t sky = LoadSkyCubeMap();
    ASSERT_NE(sky, 0u);
    EXPECT_EQ(TextureCount, 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    for (uint8_t f = 0; f < 6; ++f) {
        SCOPED_TRACE(faces[f]);
        GLenum target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + f;
        if (f == 3) {
            EXPECT_EQ(LevelParameter(target, 0, GL_TEXTURE_WIDTH), 0);
            continue;
        }
        std::vector<uint8_t> expected;
        for (int i = 0; i < 25; ++i) expected.insert(expected.end(), {static_cast<uint8_t>(10 * f), 100, static_cast<uint8_t>(200 - f)});
        EXPECT_EQ(TexImage(target, 0, GL_RGB, 75), expected);
    }
}

}  // namespace
