#include "render/texture.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/paths.h"
#include "render/glext.h"
#include "render/image.h"
#include "render/renderstate.h"

TextureEntry TextureTable[MaxTextures];
uint32_t TextureCount = 0;
uint32_t BoundTextureId = 0;
uint32_t TextureSizeSetting = 0;

namespace {

// Set by a FindTexture miss, taken by the upload that follows it: that upload is keyed by name.
bool LookupPending = false;
// The texture UpdateTextureRect last filled, drawn by DrawTexturedQuad.
uint32_t VideoTexture = 0;

constexpr uint32_t MaxSizeSetting = 13;  // 4096 >> 12 = 1 pixel; larger settings would shift past 0

// Rows of 1, 2 and 3-byte pixels are not 4-byte aligned; GL must read them packed.
class PackedRows {
public:
    PackedRows() {
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &saved_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    ~PackedRows() { glPixelStorei(GL_UNPACK_ALIGNMENT, saved_); }
    PackedRows(const PackedRows&) = delete;
    PackedRows& operator=(const PackedRows&) = delete;

private:
    GLint saved_ = 4;
};

bool TableFull() {
    if (TextureCount < MaxTextures) return false;
    std::fprintf(stderr, "texture: table full (%u textures), upload refused\n", MaxTextures);
    return true;
}

uint32_t BytesPerPixel(uint32_t bits) { return bits == 17 ? 3 : 4; }

// Converts RGBA pixels to what GL is sent for `bits` and uploads them as one level.
void SendLevel(uint32_t level, uint32_t w, uint32_t h, const uint8_t* pixels, uint32_t bits) {
    GLint internal;
    GLenum format;
    int channels = 0;  // bytes per converted pixel, 0: sent as they are
    switch (bits) {
    case 6: internal = GL_LUMINANCE4_ALPHA4; format = GL_LUMINANCE_ALPHA; channels = 2; break;
    case 7: internal = GL_ALPHA8; format = GL_ALPHA; channels = 1; break;
    case 8: internal = GL_LUMINANCE8; format = GL_LUMINANCE; channels = 1; break;
    case 9: internal = GL_LUMINANCE8_ALPHA8; format = GL_LUMINANCE_ALPHA; channels = 2; break;
    case 16: internal = GL_RGB5_A1; format = GL_RGBA; break;
    case 17: internal = GL_RGB8; format = GL_BGR_EXT; break;
    case 18: internal = GL_RGBA4; format = GL_RGBA; break;
    case 24: internal = GL_RGB8; format = GL_RGBA; break;
    case 32: internal = GL_RGBA8; format = GL_RGBA; break;
    case 64: internal = GL_RGBA16; format = GL_RGBA; break;
    default: return;
    }
    std::vector<uint8_t> converted;
    if (channels && pixels) {
        uint64_t count = static_cast<uint64_t>(w) * h;
        converted.resize(count * channels);
        for (uint64_t i = 0; i < count; ++i) {
            const uint8_t* s = pixels + 4 * i;
            uint8_t grey = static_cast<uint8_t>((s[0] + s[1] + s[2]) / 3);
            uint8_t* d = &converted[i * channels];
            if (bits == 7)
                d[0] = s[3];
            else
                d[0] = grey;
            if (channels == 2) d[1] = s[3];
        }
        pixels = converted.data();
    }
    PackedRows packed;
    glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), internal, static_cast<GLsizei>(w),
                 static_cast<GLsizei>(h), 0, format, GL_UNSIGNED_BYTE, pixels);
}

void SetWrap(GLenum target, uint32_t repeat) {
    GLint wrap = repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE;
    glTexParameteri(target, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, wrap);
}

TextureEntry& NewEntry(uint32_t name, uint32_t repeat, bool named) {
    TextureEntry& e = TextureTable[TextureCount];
    e.glId = name;
    e.refCount = 1;
    e.repeatBound = repeat ? 1 : 0;
    e.named = named ? 1 : 0;
    return e;
}

void SendDdsLevel(const DdsImage& image, GLenum target, uint32_t level, const uint8_t* data, uint64_t size) {
    GLint lv = static_cast<GLint>(level);
    auto w = static_cast<GLsizei>(DdsLevelWidth(image, level));
    auto h = static_cast<GLsizei>(DdsLevelHeight(image, level));
    auto d = static_cast<GLsizei>(DdsLevelDepth(image, level));
    auto internal = static_cast<GLenum>(image.internalFormat);
    auto bytes = static_cast<GLsizei>(size);
    if (target == GL_TEXTURE_3D) {
        if (image.compressed)
            GlCompressedTexImage3D(target, lv, internal, w, h, d, 0, bytes, data);
        else
            GlTexImage3D(target, lv, static_cast<GLenum>(internal), w, h, d, 0, image.pixelFormat, image.dataType, data);
    } else if (target == GL_TEXTURE_1D) {
        glTexImage1D(target, lv, static_cast<GLint>(internal), w, 0, image.pixelFormat, image.dataType, data);
    } else if (image.compressed) {
        GlCompressedTexImage2D(target, lv, internal, w, h, 0, bytes, data);
    } else {
        glTexImage2D(target, lv, static_cast<GLint>(internal), w, h, 0, image.pixelFormat, image.dataType, data);
    }
}

// Direction of cube-map texel (s, t) of `face` (+X, -X, +Y, -Y, +Z, -Z), for a 128-texel face
// centred on texel 64.
void CubeDirection(int face, int s, int t, float v[3]) {
    float a = static_cast<float>(s - 64), b = static_cast<float>(t - 64);
    switch (face) {
    case 0: v[0] = 64; v[1] = -b; v[2] = -a; break;
    case 1: v[0] = -64; v[1] = -b; v[2] = a; break;
    case 2: v[0] = a; v[1] = 64; v[2] = b; break;
    case 3: v[0] = a; v[1] = -64; v[2] = -b; break;
    case 4: v[0] = a; v[1] = -b; v[2] = 64; break;
    default: v[0] = -a; v[1] = -b; v[2] = -64; break;
    }
}

void SetCubeParameters() {
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
}

}  // namespace

void ClearTextureTable() {
    std::memset(TextureTable, 0, sizeof TextureTable);
    TextureCount = 0;
    LookupPending = false;
}

uint32_t FindTexture(const char* name, uint32_t repeat) {
    uint32_t c = NameChecksum(name);
    for (uint32_t i = TextureCount; i-- > 0;) {
        TextureEntry& e = TextureTable[i];
        if (!e.named || e.nameChecksum != c) continue;
        e.refCount += 1;
        if (repeat && !e.repeatBound) {
            e.repeatBound = 1;
            BindTextureRepeat(e.glId);
        }
        return e.glId;
    }
    if (TextureCount < MaxTextures) TextureTable[TextureCount].nameChecksum = c;
    LookupPending = true;
    return TextureMiss;
}

uint32_t LoadTexture(const char* name, uint32_t mipmap, uint32_t repeat) {
    if (!name) return 0;
    uint32_t found = FindTexture(name, repeat);
    if (found != TextureMiss) return found;
    DdsImage image;
    std::vector<uint8_t> pixels;
    uint32_t w = 0, h = 0;
    const char* dot = std::strrchr(name, '.');
    bool dds = dot && strcasecmp(dot, ".dds") == 0;  // a name without '.' is no .dds
    bool loaded = LoadImageFile(name, w, h, pixels, image);
    if (!loaded && dds) {
        std::string stem(name, static_cast<size_t>(dot - name));
        loaded = LoadImageFile((stem + ".Img").c_str(), w, h, pixels, image);
    }
    uint32_t texture = 0;
    if (!image.data.empty())
        texture = UploadDdsTexture(image, repeat);
    else if (loaded)
        texture = UploadTexture(pixels.data(), w, h, 32, mipmap, 1, repeat);
    LookupPending = false;
    return texture;
}

void HalveImage(uint32_t width, uint32_t height, uint8_t* pixels, uint32_t bytesPerPixel) {
    if (width == 0 || height == 0 || (width == 1 && height == 1)) return;
    const uint64_t w = width, bpp = bytesPerPixel;
    const uint64_t ow = std::max<uint64_t>(1, w >> 1), oh = std::max<uint32_t>(1, height >> 1);
    // Writes never overtake reads: output (y, x) lies at or before source (2y, 2x).
    for (uint64_t y = 0; y < oh; ++y) {
        const uint8_t* r0 = pixels + 2 * y * w * bpp;
        const uint8_t* r1 = pixels + std::min<uint64_t>(2 * y + 1, height - 1) * w * bpp;
        uint8_t* out = pixels + y * ow * bpp;
        for (uint64_t x = 0; x < ow; ++x) {
            uint64_t c0 = 2 * x * bpp, c1 = std::min<uint64_t>(2 * x + 1, w - 1) * bpp;
            for (uint64_t k = 0; k < bpp; ++k)
                out[x * bpp + k] = static_cast<uint8_t>((r0[c0 + k] + r0[c1 + k] + r1[c0 + k] + r1[c1 + k]) >> 2);
        }
    }
}

void BuildMipmaps(uint32_t width, uint32_t height, uint8_t* pixels, uint32_t bits) {
    uint32_t level = 0;
    while (width > 1 || height > 1) {
        HalveImage(width, height, pixels, BytesPerPixel(bits));
        width = std::max<uint32_t>(1, width >> 1);
        height = std::max<uint32_t>(1, height >> 1);
        SendLevel(++level, width, height, pixels, bits);
    }
}

uint32_t UploadTexture(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bits, uint32_t mipmap,
                       uint32_t linear, uint32_t repeat) {
    bool named = std::exchange(LookupPending, false);
    if (TableFull()) return 0;
    if (TextureSizeSetting && pixels) {
        uint32_t limit = 4096u >> (std::min(TextureSizeSetting, MaxSizeSetting) - 1);
        while ((width > limit || height > limit) && width > 2 && height > 2) {
            HalveImage(width, height, pixels, BytesPerPixel(bits));
            width >>= 1;
            height >>= 1;
        }
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    NewEntry(name, repeat, named);
    BoundTextureId = name;
    SendLevel(0, width, height, pixels, bits);
    GLint mag = linear ? GL_LINEAR : GL_NEAREST, min = mag;
    if (mipmap && pixels && width > 4 && height > 4) {
        BuildMipmaps(width, height, pixels, bits);
        min = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
    SetWrap(GL_TEXTURE_2D, repeat);
    TextureCount += 1;
    return name;
}

uint32_t UploadDdsTexture(const DdsImage& image, uint32_t repeat) {
    bool named = std::exchange(LookupPending, false);
    if (TableFull()) return 0;
    GLenum target = image.target;
    if (image.levelCount == 0 || DdsLevelsSize(0, image, image.levelCount) > image.data.size()) {
        std::fprintf(stderr, "texture: .dds image of %u levels holds too few bytes\n", image.levelCount);
        return 0;
    }
    bool volume = target == GL_TEXTURE_3D;
    bool entryMissing = image.compressed ? !(volume ? GlHasCompressedTexImage3D() : GlHasCompressedTexImage2D())
                                         : (volume && !GlHasTexImage3D());
    if (entryMissing) {
        std::fprintf(stderr, "texture: the driver offers no upload for this .dds image\n");
        return 0;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(target, name);
    NewEntry(name, repeat, named);
    if (target == GL_TEXTURE_2D) BoundTextureId = name;
    PackedRows packed;
    for (uint32_t level = 0; level < image.levelCount; ++level) {
        const uint8_t* data = image.data.data() + DdsLevelsSize(0, image, level);
        uint64_t size = DdsLevelsSize(level, image, 1);
        if (target == GL_TEXTURE_CUBE_MAP) {
            for (uint32_t face = 0; face < 6; ++face)
                SendDdsLevel(image, GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, level, data + face * (size / 6), size / 6);
        } else {
            SendDdsLevel(image, target, level, data, size);
        }
    }
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    // A file with fewer levels than the full chain is complete only up to its last level.
    glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(image.levelCount - 1));
    SetWrap(target, repeat);
    TextureCount += 1;
    return name;
}

uint32_t ReleaseTexture(uint32_t id) {
    if (id == 0) return 0;
    if (BoundTextureId == id) BoundTextureId = 0;
    GLuint gl = id;
    for (uint32_t i = TextureCount; i-- > 0;) {
        if (TextureTable[i].glId != id) continue;
        if (TextureTable[i].refCount >= 2) {
            TextureTable[i].refCount -= 1;
            return 0;
        }
        glDeleteTextures(1, &gl);
        std::memmove(&TextureTable[i], &TextureTable[i + 1], (TextureCount - i - 1) * sizeof(TextureEntry));
        TextureCount -= 1;
        TextureTable[TextureCount] = TextureEntry{};
        return 1;
    }
    glDeleteTextures(1, &gl);
    return 1;
}

void DeleteAllTextures() {
    if (TextureCount == 0) return;
    for (uint32_t i = TextureCount; i-- > 0;) {
        GLuint gl = TextureTable[i].glId;
        glDeleteTextures(1, &gl);
    }
    glFlush();
    TextureCount = 0;
    BoundTextureId = 0;  // the names may come back from glGenTextures
}

void UpdateTextureRect(uint32_t texture, const uint8_t* frame, uint32_t width, uint32_t height) {
    VideoTexture = texture;
    if (BoundTextureId != texture) {
        glBindTexture(GL_TEXTURE_2D, texture);
        BoundTextureId = texture;
    }
    if (!frame) return;
    GLint tw = 0, th = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &tw);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &th);
    std::vector<uint8_t> scaled;
    if (tw > 0 && th > 0 && (static_cast<uint32_t>(tw) < width || static_cast<uint32_t>(th) < height)) {
        scaled.assign(frame, frame + static_cast<uint64_t>(width) * height * 3);
        while ((width > static_cast<uint32_t>(tw) || height > static_cast<uint32_t>(th)) && width > 1 && height > 1) {
            HalveImage(width, height, scaled.data(), 3);
            width = std::max<uint32_t>(1, width >> 1);
            height = std::max<uint32_t>(1, height >> 1);
        }
        frame = scaled.data();
    }
    PackedRows packed;
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_BGR_EXT,
                    GL_UNSIGNED_BYTE, frame);
}

void DrawTexturedQuad() {
    if (VideoTexture != BoundTextureId) {
        glEnd();
        glBindTexture(GL_TEXTURE_2D, VideoTexture);
        BoundTextureId = VideoTexture;
        glBegin(GL_QUADS);
    }
    float hw = RenderState.halfViewportWidth, hh = RenderState.halfViewportHeight;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-hw, -hh, 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(hw, -hh, 1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(hw, hh, 1.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-hw, hh, 1.0f);
}

uint32_t CreateBlankTexture() {
    uint8_t texels[4 * 4 * 4];
    for (int i = 0; i < 16; ++i) {
        texels[4 * i + 0] = 128;
        texels[4 * i + 1] = 128;
        texels[4 * i + 2] = 255;
        texels[4 * i + 3] = 255;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    BoundTextureId = name;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    return name;
}

uint32_t CreateNormalizationCubeMap() {
    constexpr int Size = 128;
    std::vector<uint8_t> face(Size * Size * 3);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_CUBE_MAP, name);
    PackedRows packed;
    for (int f = 0; f < 6; ++f) {
        for (int t = 0; t < Size; ++t) {
            for (int s = 0; s < Size; ++s) {
                float v[3];
                CubeDirection(f, s, t, v);
                float inv = 1.0f / std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                uint8_t* d = &face[(t * Size + s) * 3];
                for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8_t>(std::lround((v[k] * inv * 0.5f + 0.5f) * 255.0f));
            }
        }
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGB8, Size, Size, 0, GL_RGB, GL_UNSIGNED_BYTE, face.data());
    }
    SetCubeParameters();
    return name;
}

uint32_t LoadSkyCubeMap() {
    static const char* const Faces[6] = {"MAPS/CubeMap/xpos.Img", "MAPS/CubeMap/xneg.Img", "MAPS/CubeMap/ypos.Img",
                                         "MAPS/CubeMap/yneg.Img", "MAPS/CubeMap/zpos.Img", "MAPS/CubeMap/zneg.Img"};
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_CUBE_MAP, name);
    PackedRows packed;
    for (int f = 0; f < 6; ++f) {
        uint32_t w = 0, h = 0;
        std::vector<uint8_t> pixels;
        DdsImage unused;
        if (!LoadImageFile(Faces[f], w, h, pixels, unused) || pixels.empty()) continue;
        uint64_t count = static_cast<uint64_t>(w) * h;
        for (uint64_t i = 0; i < count; ++i) std::memmove(&pixels[3 * i], &pixels[4 * i], 3);  // drop alpha
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGB8, static_cast<GLsizei>(w), static_cast<GLsizei>(h), 0,
                     GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    }
    SetCubeParameters();
    return name;
}

void BindTextureRepeat(uint32_t texture) {
    if (BoundTextureId != texture) {
        glBindTexture(GL_TEXTURE_2D, texture);
        BoundTextureId = texture;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
}
