#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image_fixture.h"
#include "render/image.h"
#include "render/texture.h"

namespace {

using datakit::DdsFormat;
using datakit::DdsShape;
using datakit::Rgba;
using imagetest::ScratchInstall;

// Distinct colours in every pixel, with or without alpha.
Rgba Sample(uint32_t w, uint32_t h, bool alpha) {
    Rgba image{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &image.pixels[(y * w + x) * 4];
            p[0] = static_cast<uint8_t>(x * 32);
            p[1] = static_cast<uint8_t>(y * 64 + 16);
            p[2] = static_cast<uint8_t>(255 - x * 32);
            p[3] = static_cast<uint8_t>(alpha ? 255 - (x + y) * 20 : 255);
        }
    return image;
}

Rgba Grey(uint32_t w, uint32_t h) {
    Rgba image{w, h, {}};
    for (uint32_t i = 0; i < w * h; ++i) {
        auto v = static_cast<uint8_t>(i * 7 + 3);
        image.pixels.insert(image.pixels.end(), {v, v, v, 255});
    }
    return image;
}

// One row of a table of files a reader must refuse.
struct Malformed {
    const char* title;
    std::vector<uint8_t> bytes;
};

using PixelDecoder = bool (*)(std::span<const uint8_t>, const char*, std::vector<uint8_t>&, uint32_t&, uint32_t&);

void ExpectAllRefused(PixelDecoder decode, std::span<const Malformed> cases) {
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<uint8_t> pixels = {1};
        uint32_t w = 0, h = 0;
        EXPECT_FALSE(decode(c.bytes, "bad", pixels, w, h));
        EXPECT_TRUE(pixels.empty());
    }
}

// A copy of the bytes with a little-endian word written at the offset.
std::vector<uint8_t> WithWord(std::vector<uint8_t> bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
}

void ExpectPixelsNear(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected, int tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        ASSERT_NEAR(actual[i], expected[i], tolerance) << "byte " << i << " (pixel " << i / 4 << ")";
}

// ---- TGA files written by ImageMagick ---------------------------------------------------------

struct TgaVariant {
    const char* title;
    const char* options;  // convert options
    bool alpha;           // source with alpha
    bool grey;
    uint8_t type, depth;  // what ImageMagick must have written
    bool topLeft;
    bool lossy;  // compared with ImageMagick's own reading of the file instead of the source
};

TEST(TgaFile, ReadsWhatImageMagickWrites) {
    // ImageMagick keeps rows in the order it stores them and treats the origin as a label, so a
    // bottom-left file of the source picture is written from the flipped picture.
    const TgaVariant variants[] = {
        {"raw 24-bit", "-flip -type TrueColor", false, false, 2, 24, false, false},
        {"raw 32-bit", "-flip -type TrueColorAlpha", true, false, 2, 32, false, false},
        {"raw 32-bit top-left", "-type TrueColorAlpha -orient TopLeft", true, false, 2, 32, true, false},
        {"RLE 24-bit", "-flip -type TrueColor -compress RLE", false, false, 10, 24, false, false},
        {"RLE 32-bit top-left", "-type TrueColorAlpha -compress RLE -orient TopLeft", true, false, 10, 32, true, false},
        {"colour-mapped", "-flip -type Palette", false, false, 1, 8, false, false},
        {"colour-mapped RLE top-left", "-type Palette -compress RLE -orient TopLeft", false, false, 9, 8, true, false},
        {"16-bit", "-flip -depth 5", false, false, 2, 16, false, true},
        {"grey", "-flip -type Grayscale", false, true, 3, 8, false, false},
    };
    ScratchInstall install;
    for (const TgaVariant& v : variants) {
        SCOPED_TRACE(v.title);
        Rgba source = v.grey ? Grey(8, 4) : Sample(8, 4, v.alpha);
        imagetest::WritePam("source.pam", source);
        ASSERT_TRUE(imagetest::Convert(std::string("source.pam ") + v.options + " made.tga"));
        std::vector<uint8_t> file = imagetest::ReadBytes("made.tga");
        ASSERT_GE(file.size(), 18u);
        ASSERT_EQ(file[2], v.type);
        ASSERT_EQ(file[16], v.depth);
        ASSERT_EQ((file[17] & 0x20) != 0, v.topLeft);
        uint32_t w = 0, h = 0;
        std::vector<uint8_t> pixels = LoadTgaFile("made.tga", w, h);
        EXPECT_EQ(w, 8u);
        EXPECT_EQ(h, 4u);
        if (!v.lossy) {
            ExpectPixelsNear(pixels, source.pixels, 0);
            continue;
        }
        // ImageMagick scales 5-bit channels without rounding to whole bytes: one step apart at most.
        ASSERT_TRUE(imagetest::Convert("made.tga -auto-orient -alpha off -depth 8 seen.pam"));
        ExpectPixelsNear(pixels, imagetest::ReadPam("seen.pam").pixels, 1);
    }
}

TEST(TgaFile, SavedScreenshotReadsBackInSavedRowOrder) {
    ScratchInstall install;
    // Three rows of two pixels, top row first, as the frame reader hands them: blue, green, red, 0.
    const std::vector<uint8_t> rows = {10, 20, 30, 0,  11, 21, 31, 0,  40, 50, 60, 0,
                                       41, 51, 61, 0,  70, 80, 90, 0,  71, 81, 91, 0};
    ASSERT_EQ(SaveTgaFile(rows.data(), 2, 3, "shot.tga"), 0);
    EXPECT_EQ(imagetest::ReadBytes("shot.tga").size(), 18u + rows.size());

    uint32_t w = 0, h = 0;
    std::vector<uint8_t> back = LoadTgaFile("shot.tga", w, h);
    ASSERT_EQ(back.size(), rows.size());
    for (size_t i = 0; i < rows.size(); i += 4) {  // stored blue first, read back as red first
        EXPECT_EQ(back[i], rows[i + 2]);
        EXPECT_EQ(back[i + 1], rows[i + 1]);
        EXPECT_EQ(back[i + 2], rows[i]);
    }
    // A reader that is not ours sees the same picture (ImageMagick applies the origin on request).
    ASSERT_TRUE(imagetest::Convert("shot.tga -auto-orient -alpha off -depth 8 shot.pam"));
    Rgba seen = imagetest::ReadPam("shot.pam");
    ASSERT_EQ(seen.width, 2u);
    ASSERT_EQ(seen.height, 3u);
    for (size_t i = 0; i < rows.size(); i += 4) {
        EXPECT_EQ(seen.pixels[i], rows[i + 2]);
        EXPECT_EQ(seen.pixels[i + 2], rows[i]);
    }
}

TEST(TgaFile, SaveRefusesWhatItCannotWrite) {
    ScratchInstall install;
    const uint8_t pixel[4] = {};
    EXPECT_EQ(SaveTgaFile(pixel, 1, 1, "no-such-folder/shot.tga"), -1);
    EXPECT_EQ(SaveTgaFile(pixel, 70000, 1, "wide.tga"), -1);
    EXPECT_FALSE(std::filesystem::exists("wide.tga"));
}

// ---- TGA decoding: what the decoder must refuse, and the odd files it must read safely ---------

datakit::TgaSpec Tga(uint8_t type, uint8_t depth, uint16_t w, uint16_t h, std::vector<uint8_t> data) {
    datakit::TgaSpec spec;
    spec.type = type;
    spec.depth = depth;
    spec.width = w;
    spec.height = h;
    spec.descriptor = 0x20;
    spec.data = std::move(data);
    return spec;
}

datakit::TgaSpec Mapped(uint8_t type, std::vector<uint8_t> data) {
    datakit::TgaSpec spec = Tga(type, 8, 2, 2, std::move(data));
    spec.mapType = 1;
    spec.mapBits = 24;
    spec.map = {0, 0, 255, 0, 255, 0};  // red, green
    return spec;
}

TEST(TgaFile, MalformedFilesAreRefused) {
    std::vector<uint8_t> plain = datakit::MakeTga(Tga(2, 24, 2, 2, std::vector<uint8_t>(12, 7)));
    datakit::TgaSpec longId = Tga(2, 24, 1, 1, {1, 2, 3});
    longId.id = {1, 2};
    std::vector<uint8_t> idPastEnd = datakit::MakeTga(longId);
    idPastEnd[0] = 200;
    datakit::TgaSpec mapPastEnd = Mapped(1, {0, 1, 1, 0});
    mapPastEnd.mapLength = 300;
    datakit::TgaSpec oddEntries = Mapped(1, {0, 1, 1, 0});
    oddEntries.mapBits = 8;
    oddEntries.map = {1, 2};
    const Malformed cases[] = {
        {"empty", {}},
        {"header cut short", std::vector<uint8_t>(plain.begin(), plain.begin() + 17)},
        {"image type 12", datakit::MakeTga(Tga(12, 24, 1, 1, {1, 2, 3}))},
        {"depth 4", datakit::MakeTga(Tga(2, 4, 1, 1, {1}))},
        {"depth 12", datakit::MakeTga(Tga(2, 12, 1, 1, {1, 2}))},
        {"zero width", datakit::MakeTga(Tga(2, 24, 0, 1, {}))},
        {"zero height", datakit::MakeTga(Tga(2, 24, 1, 0, {}))},
        {"pixels one byte short", std::vector<uint8_t>(plain.begin(), plain.end() - 1)},
        {"identification past the end", idPastEnd},
        {"colour map past the end", datakit::MakeTga(mapPastEnd)},
        {"colour-map entries of 8 bits", datakit::MakeTga(oddEntries)},
        {"run-length data cut in a packet", datakit::MakeTga(Tga(10, 24, 2, 2, {0x03, 1, 2, 3, 4, 5}))},
        {"run-length data ends early", datakit::MakeTga(Tga(10, 24, 2, 2, {0x81, 1, 2, 3}))},
        {"65535 x 65535 from a few bytes", datakit::MakeTga(Tga(10, 32, 0xFFFF, 0xFFFF, {0xFF, 1, 2, 3, 4}))},
    };
    ExpectAllRefused(DecodeTga, cases);
}

TEST(TgaFile, OddButReadableFiles) {
    const uint8_t red[4] = {255, 0, 0, 255}, green[4] = {0, 255, 0, 255}, black[4] = {0, 0, 0, 255};
    datakit::TgaSpec firstEntry = Mapped(1, {5, 6, 4, 7});
    firstEntry.mapFirst = 5;  // indices 5 and 6 name the two entries
    struct Case {
        const char* title;
        std::vector<uint8_t> bytes;
        std::vector<const uint8_t*> expected;  // four pixels, top row first
    } cases[] = {
        // The run asks for 128 pixels; the image holds 4.
        {"run longer than the image", datakit::MakeTga(Tga(10, 24, 2, 2, {0xFF, 0, 0, 255})), {red, red, red, red}},
        {"literal packet longer than the image",
         datakit::MakeTga(Tga(10, 24, 2, 2, {0x05, 0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 255, 0, 1, 1, 1, 2, 2, 2})),
         {red, green, red, green}},
        {"index past the colour map", datakit::MakeTga(Mapped(1, {0, 2, 255, 1})), {red, black, black, green}},
        {"colour map starting at entry 5", datakit::MakeTga(firstEntry), {red, green, black, black}},
        {"mapped run past the map", datakit::MakeTga(Mapped(9, {0x81, 0, 0x81, 9})), {red, red, black, black}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<uint8_t> pixels;
        uint32_t w = 0, h = 0;
        ASSERT_TRUE(DecodeTga(c.bytes, "odd.tga", pixels, w, h));
        ASSERT_EQ(pixels.size(), 16u);
        for (size_t i = 0; i < 4; ++i) EXPECT_EQ(0, std::memcmp(&pixels[4 * i], c.expected[i], 4)) << "pixel " << i;
    }
}

// ---- .Img ---------------------------------------------------------------------------------------

TEST(ImgFile, ThirtyTwoBitPixelsComeBackAsStored) {
    ScratchInstall install;
    Rgba source = Sample(5, 3, true);
    install.WriteData("MAPS/Sample.Img", datakit::MakeImg32(source));
    uint32_t w = 0, h = 0;
    EXPECT_EQ(LoadImgFile("MAPS/Sample.Img", w, h), source.pixels);
    EXPECT_EQ(w, 5u);
    EXPECT_EQ(h, 3u);
}

TEST(ImgFile, SixteenBitPixelsExpandToRgba) {
    struct Case {
        uint16_t word;
        uint8_t rgba[4];
    } cases[] = {
        {0x8000, {0, 0, 0, 255}},   {0x7FFF, {255, 255, 255, 0}}, {0x001F, {255, 0, 0, 0}},
        {0x03E0, {0, 255, 0, 0}},   {0x7C00, {0, 0, 255, 0}},     {0x0001, {8, 0, 0, 0}},
        {0x8421, {8, 8, 8, 255}},   {0x000F, {123, 0, 0, 0}},
    };
    std::vector<uint16_t> words;
    for (const Case& c : cases) words.push_back(c.word);
    std::vector<uint8_t> pixels;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(DecodeImg(datakit::MakeImg16(static_cast<uint32_t>(words.size()), 1, words), "x.Img", pixels, w, h));
    for (size_t i = 0; i < words.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "word 0x" << std::hex << cases[i].word);
        EXPECT_EQ(0, std::memcmp(&pixels[4 * i], cases[i].rgba, 4));
    }
}

TEST(ImgFile, MalformedFilesAreRefused) {
    std::vector<uint8_t> good = datakit::MakeImg32(Sample(2, 2, true));
    const Malformed cases[] = {
        {"empty", {}},
        {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 11)},
        {"24 bits per pixel", WithWord(good, 0, 24)},
        {"zero width", WithWord(good, 4, 0)},
        {"zero height", WithWord(good, 8, 0)},
        {"pixels one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"16-bit pixels one byte short", datakit::MakeImg16(2, 1, {1})},
        {"4G x 4G pixels", WithWord(WithWord(good, 4, 0xFFFFFFFF), 8, 0xFFFFFFFF)},
    };
    ExpectAllRefused(DecodeImg, cases);
}

// ---- .dds ---------------------------------------------------------------------------------------

struct DdsMade {
    const char* title;
    const char* options;
    bool alpha;
    uint32_t internalFormat, pixelFormat, bytesPerUnit, levels;
    bool compressed;
};

TEST(DdsFile, ReadsWhatImageMagickWrites) {
    const DdsMade made[] = {
        {"DXT1 with mipmaps", "-alpha off -define dds:compression=dxt1", false, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT,
         GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 8, 5, true},
        {"DXT5 with mipmaps", "-define dds:compression=dxt5", true, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT,
         GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16, 5, true},
        {"32-bit with alpha", "-define dds:compression=none", true, GL_RGBA8, GL_BGRA_EXT, 4, 5, false},
        {"24-bit one level", "-alpha off -define dds:compression=none -define dds:mipmaps=0", false, GL_RGB8, GL_BGR_EXT, 3, 1,
         false},
    };
    ScratchInstall install;
    for (const DdsMade& m : made) {
        SCOPED_TRACE(m.title);
        Rgba source = Sample(16, 8, m.alpha);
        imagetest::WritePam("source.pam", source);
        std::filesystem::create_directories(install.Data("MAPS"));
        ASSERT_TRUE(imagetest::Convert(std::string("source.pam ") + m.options + " " + install.Data("MAPS/made.dds")));
        DdsImage image;
        uint32_t w = 0, h = 0;
        ASSERT_TRUE(LoadDdsFile("MAPS/made.dds", image, w, h));
        EXPECT_EQ(w, 16u);
        EXPECT_EQ(h, 8u);
        EXPECT_EQ(image.internalFormat, m.internalFormat);
        EXPECT_EQ(image.pixelFormat, m.pixelFormat);
        EXPECT_EQ(image.bytesPerUnit, m.bytesPerUnit);
        EXPECT_EQ(image.compressed, m.compressed ? 1u : 0u);
        EXPECT_EQ(image.levelCount, m.levels);
        EXPECT_EQ(image.depth, 1u);
        EXPECT_EQ(image.target, static_cast<uint32_t>(GL_TEXTURE_2D));
        EXPECT_EQ(image.data.size(), imagetest::ReadBytes(install.Data("MAPS/made.dds")).size() - 128);
        if (!m.compressed) {  // level 0 holds the source in blue, green, red(, alpha) order
            for (size_t i = 0; i < 16 * 8; ++i) {
                const uint8_t* s = &source.pixels[4 * i];
                const uint8_t* d = &image.data[m.bytesPerUnit * i];
                ASSERT_EQ(d[0], s[2]) << i;
                ASSERT_EQ(d[2], s[0]) << i;
                if (m.alpha) {
                    ASSERT_EQ(d[3], s[3]) << i;
                }
            }
        }
    }
}

TEST(DdsFile, ShapesAndLevelSizes) {
    Rgba r4 = datakit::SolidRgba(4, 4, 200, 10, 10, 255);
    Rgba r8 = datakit::SolidRgba(8, 8, 10, 200, 10, 128);
    struct Case {
        const char* title;
        datakit::DdsSpec spec;
        uint32_t target, depth, levels;
        uint64_t bytes;
    } cases[] = {
        {"DXT1 4x4, three levels: 8 + 8 + 8", {DdsFormat::Dxt1, DdsShape::Flat, {r4}, 3}, GL_TEXTURE_2D, 1, 3, 24},
        {"DXT3 8x8, two levels", {DdsFormat::Dxt3, DdsShape::Flat, {r8}, 2}, GL_TEXTURE_2D, 1, 2, 5 * 16},
        {"count 0 is one level", {DdsFormat::Bgra32, DdsShape::Flat, {r4}, 0}, GL_TEXTURE_2D, 1, 1, 64},
        {"cube 4x4, two levels", {DdsFormat::Bgra32, DdsShape::Cube, {6, r4}, 2}, GL_TEXTURE_CUBE_MAP, 0, 2,
         6 * (16 + 4) * 4},
        {"volume 4x4x4, three levels", {DdsFormat::Bgra32, DdsShape::Volume, {4, r4}, 3}, GL_TEXTURE_3D, 4, 3,
         (64 + 8 + 1) * 4},
        {"DXT5 volume 8x8x2: blocks per slice", {DdsFormat::Dxt5, DdsShape::Volume, {2, r8}, 2}, GL_TEXTURE_3D, 2, 2,
         (4 * 2 + 1) * 16},
        {"one row is 1-D", {DdsFormat::Bgr24, DdsShape::Flat, {datakit::SolidRgba(4, 1, 1, 2, 3, 4)}, 3},
         GL_TEXTURE_1D, 1, 3, (4 + 2 + 1) * 3},
        {"luminance", {DdsFormat::Luminance8, DdsShape::Flat, {datakit::SolidRgba(3, 2, 9, 9, 9, 9)}, 1},
         GL_TEXTURE_2D, 1, 1, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<uint8_t> file = datakit::MakeDds(c.spec);
        DdsImage image;
        ASSERT_TRUE(DecodeDds(file, "made.dds", image));
        EXPECT_EQ(image.target, c.target);
        EXPECT_EQ(image.depth, c.depth);
        EXPECT_EQ(image.levelCount, c.levels);
        EXPECT_EQ(image.data.size(), c.bytes);
        EXPECT_EQ(file.size(), 128 + c.bytes);  // the writer and the reader agree on every level
    }
}

TEST(DdsFile, LevelArithmetic) {
    DdsImage image;
    image.width = 16;
    image.height = 4;
    image.depth = 1;
    image.bytesPerUnit = 4;
    EXPECT_EQ(DdsLevelWidth(image, 3), 2u);
    EXPECT_EQ(DdsLevelHeight(image, 3), 1u);
    EXPECT_EQ(DdsLevelWidth(image, 40), 1u);
    EXPECT_EQ(DdsLevelsSize(0, image, 0), 0u);
    EXPECT_EQ(DdsLevelsSize(1, image, 2), (8 * 2 + 4 * 1) * 4u);
    // A count far past the chain answers at once (one pixel per extra level).
    EXPECT_EQ(DdsLevelsSize(4, image, 0xFFFFFFFF), 0xFFFFFFFFull * 4);
    image.width = image.height = image.depth = 0xFFFFFFFF;
    EXPECT_EQ(DdsLevelsSize(0, image, 1), UINT64_MAX);
}

TEST(DdsFile, MalformedFilesAreRefused) {
    std::vector<uint8_t> good = datakit::MakeDds({DdsFormat::Bgra32, DdsShape::Flat, {Sample(4, 4, true)}, 3});
    std::vector<uint8_t> cube = datakit::MakeDds({DdsFormat::Dxt1, DdsShape::Cube, {6, Sample(4, 4, false)}, 1});
    uint32_t caps2 = 0x200 | 0xFC00;
    std::vector<uint8_t> huge = WithWord(WithWord(WithWord(good, 12, 0xFFFFFFFF), 16, 0xFFFFFFFF), 24, 0xFFFFFFFF);
    const Malformed cases[] = {
        {"empty", {}},
        {"wrong magic", WithWord(good, 0, 0x20534444 ^ 0x20)},
        {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 127)},
        {"zero width", WithWord(good, 16, 0)},
        {"zero height", WithWord(good, 12, 0)},
        {"cube without its +Z face", WithWord(cube, 112, caps2 & ~0x4000u)},
        {"cube that is not square", WithWord(cube, 16, 8)},
        {"unknown FourCC", WithWord(WithWord(good, 80, 4), 84, 0x32495441)},
        {"numeric FourCC not in the table", WithWord(WithWord(good, 80, 4), 84, 24)},
        {"16 bits without FourCC", WithWord(good, 88, 16)},
        {"RGB flags and 32 bits missing", WithWord(good, 80, 0)},
        {"levels one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"more levels than the chain", WithWord(good, 28, 4)},
        {"level count 0xFFFFFFFF", WithWord(good, 28, 0xFFFFFFFF)},
        {"4G x 4G x 4G", huge},
        {"4G x 4G x 4G, 33 levels", WithWord(huge, 28, 33)},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.title);
        DdsImage image;
        image.data = {1};
        EXPECT_FALSE(DecodeDds(c.bytes, "bad.dds", image));
        EXPECT_TRUE(image.data.empty());
    }
}

// ---- choosing the reader ------------------------------------------------------------------------

TEST(ImageFile, ExtensionChoosesTheReaderInAnyCase) {
    ScratchInstall install;
    install.WriteData("MAPS/Up.IMG", datakit::MakeImg32(Sample(2, 2, true)));
    install.WriteData("MAPS/Low.img", datakit::MakeImg32(Sample(3, 1, true)));
    install.WriteData("MAPS/Cube.DDS", datakit::MakeDds({DdsFormat::Dxt1, DdsShape::Cube, {6, Sample(4, 4, false)}, 1}));
    install.WriteData("MAPS/NotImg.png", datakit::MakeImg32(Sample(2, 2, true)));
    install.WriteData("MAPS/NoDot", datakit::MakeImg32(Sample(2, 2, true)));
    ASSERT_EQ(SaveTgaFile(Sample(2, 1, false).pixels.data(), 2, 1, "Shot.TGA"), 0);  // working folder
    // Folders open like files; their end offset is no size.
    std::filesystem::create_directories("Folder.tga");
    std::filesystem::create_directories(install.Data("MAPS/Folder.Img"));
    struct Case {
        const char* name;
        bool loads, dds;
        uint32_t width;
    } cases[] = {
        {"MAPS/Up.IMG", true, false, 2},  {"MAPS/Low.img", true, false, 3}, {"MAPS/Cube.DDS", true, true, 4},
        {"Shot.TGA", true, false, 2},     {"MAPS/NotImg.png", false, false, 0}, {"MAPS/NoDot", false, false, 0},
        {"MAPS/Missing.Img", false, false, 0}, {"Missing.tga", false, false, 0},
        {"Folder.tga", false, false, 0},       {"MAPS/Folder.Img", false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t w = 0, h = 0;
        std::vector<uint8_t> pixels;
        DdsImage image;
        EXPECT_EQ(LoadImageFile(c.name, w, h, pixels, image), c.loads);
        if (!c.loads) continue;
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(image.data.empty(), !c.dds);
        EXPECT_EQ(pixels.empty(), c.dds);
    }
}

// ---- halving (no GL needed) ---------------------------------------------------------------------

TEST(HalveImage, OddSidesReadNothingPastTheImage) {
    struct Case {
        const char* title;
        uint32_t w, h, bpp;
        std::vector<uint8_t> pixels;  // exactly w x h x bpp, so a read past the end is caught
        std::vector<uint8_t> expected;  // the first bytes afterwards
    } cases[] = {
        {"3 x 2: the last column is dropped", 3, 2, 4,
         {0, 0, 0, 0, 4, 8, 12, 16, 200, 200, 200, 200, 8, 8, 8, 8, 12, 16, 20, 24, 200, 200, 200, 200},
         {6, 8, 10, 12}},
        {"5 x 1: one row halves across", 5, 1, 4, {0, 0, 0, 0, 8, 8, 8, 8, 20, 20, 20, 20, 40, 40, 40, 40, 9, 9, 9, 9},
         {4, 4, 4, 4, 30, 30, 30, 30}},
        {"1 x 3: one column halves down", 1, 3, 4, {0, 0, 0, 0, 100, 100, 100, 100, 7, 7, 7, 7}, {50, 50, 50, 50}},
        {"2 x 2 of three-byte pixels", 2, 2, 3, {0, 4, 8, 4, 8, 12, 8, 12, 16, 12, 16, 20}, {6, 10, 14}},
        {"1 x 1 stays", 1, 1, 4, {1, 2, 3, 4}, {1, 2, 3, 4}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_EQ(c.pixels.size(), c.w * c.h * c.bpp);
        HalveImage(c.w, c.h, c.pixels.data(), c.bpp);
        EXPECT_EQ(std::vector<uint8_t>(c.pixels.begin(), c.pixels.begin() + static_cast<ptrdiff_t>(c.expected.size())),
                  c.expected);
    }
}

}  // namespace
