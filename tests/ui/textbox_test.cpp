#include "ui/textbox.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/binio.h"
#include "core/pack.h"
#include "core/scratch.h"
#include "datakit/gtx.h"
#include "datakit/image.h"
#include "datakit/pack.h"
#include "game/frame.h"
#include "objects/base3d.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "render/texture.h"
#include "support/gl_pixels.h"
#include "support/gl_window.h"

namespace {

TextBoxRequest Request(int32_t textIndex, float duration) {
    TextBoxRequest r{};
    r.textIndex = textIndex;
    r.duration = duration;
    r.colour[0] = r.colour[1] = r.colour[2] = r.colour[3] = 1.0f;
    return r;
}

std::vector<std::string> Lines(const TextBox& box) {
    std::vector<std::string> lines;
    for (uint32_t i = 0; i < box.lineCount; ++i) lines.emplace_back(box.lines[i].text);
    return lines;
}

// Every test starts with no table, no boxes, a data folder of its own and no text pack, and
// leaves the render state and frame timing as it found them.
class TextBoxFixture : public ::testing::Test {
 protected:
    void SetUp() override {
        savedRender = RenderState;
        savedTiming = FrameTiming;
        FreeGtxTable();
        ClearTextBoxes();
        PackTrees[PackText] = nullptr;
    }
    void TearDown() override {
        ClearTextBoxes();
        FreeGtxTable();
        PackTrees[PackText] = nullptr;
        RenderState = savedRender;
        FrameTiming = savedTiming;
    }
    // A file under the data folder, seen by the next lookup.
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        data.WriteData(name, bytes);
        ClearPathCache();
    }
    void LoadTable(const std::vector<std::string>& entries) {
        Write("TEXT/Table.Gtx", datakit::MakeGtx({entries, -1}));
        ASSERT_EQ(LoadGtxTable("TEXT/Table.Gtx"), 0);
    }

    DataFolderScope data;
    NztRenderState savedRender;
    FrameTimingState savedTiming;
};

using TextTable = TextBoxFixture;
using TextBoxLife = TextBoxFixture;

// ---------------------------------------------------------------- the text table

TEST_F(TextTable, RoundTripFromLooseFileAndPack) {
    const std::vector<std::string> entries = {"Hello", "", "Two#lines", "caf\xE9 \x80", std::string(255, 'z')};
    const std::vector<uint8_t> bytes = datakit::MakeGtx({entries, -1});
    const std::vector<uint8_t> packBytes =
        datakit::MakePack({datakit::PackFolderSpec{"TEXT", {datakit::PackFile("Default.Gtx", bytes)}, {}}});
    QvzPackTree tree;
    BinReader packIn(packBytes.data(), packBytes.size());
    std::string fault;
    ASSERT_TRUE(tree.Serialize(packIn, nullptr, &fault)) << fault;

    for (bool fromPack : {false, true}) {
        SCOPED_TRACE(fromPack ? "pack" : "loose file");
        FreeGtxTable();
        if (fromPack) {
            PackTrees[PackText] = &tree;
        } else {
            Write("text/default.gtx", bytes);  // found whatever the case of its name
        }
        ASSERT_EQ(LoadGtxTable("TEXT/Default.Gtx"), 0);
        ASSERT_EQ(GtxTable.count, entries.size());
        for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(GtxEntry(int64_t(i)), entries[i]) << i;
        for (int64_t outside : {int64_t{-1}, int64_t(entries.size()), int64_t{0x100000000}}) {
            EXPECT_STREQ(GtxEntry(outside), "") << outside;
        }
        PackTrees[PackText] = nullptr;
    }
}

TEST_F(TextTable, MalformedOrMissingFilesKeepTheOldTable) {
    LoadTable({"old one", "old two"});
    const std::vector<uint8_t> good = datakit::MakeGtx({{"a", "b"}, -1});
    auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + n); };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;  // empty with present false: no file at all
        bool present;
    };
    const Case cases[] = {
        {"missing file", {}, false},
        {"empty file", {}, true},
        {"cut inside the count", cut(3), true},
        {"count without entries", cut(4), true},
        {"second entry cut short", cut(4 + 256 + 255), true},
        {"count far beyond the file", datakit::MakeGtx({{"a", "b"}, 0x7FFFFFFF}), true},
        {"count of all ones", datakit::MakeGtx({{"a"}, 0xFFFFFFFF}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(data.Data("TEXT/Bad.Gtx"));
        if (c.present) data.WriteData("TEXT/Bad.Gtx", c.bytes);
        ClearPathCache();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(LoadGtxTable("TEXT/Bad.Gtx"), -1);
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (c.present) {
            EXPECT_NE(err.find("text: TEXT/Bad.Gtx: "), std::string::npos) << err;
        } else {
            EXPECT_EQ(err, "");
        }
        ASSERT_EQ(GtxTable.count, 2u);
        EXPECT_STREQ(GtxEntry(0), "old one");
        EXPECT_STREQ(GtxEntry(1), "old two");
    }
    EXPECT_EQ(LoadGtxTable(nullptr), -1);
    EXPECT_EQ(GtxTable.count, 2u);
}

TEST_F(TextTable, EntriesEndInZeroAndCountZeroEmptiesTheTable) {
    std::vector<uint8_t> bytes = datakit::MakeGtx({{std::string(300, 'u'), "next"}, -1});
    bytes.insert(bytes.end(), {'t', 'a', 'i', 'l'});  // bytes after the last entry are not read
    Write("TEXT/Long.Gtx", bytes);
    ASSERT_EQ(LoadGtxTable("TEXT/Long.Gtx"), 0);
    ASSERT_EQ(GtxTable.count, 2u);
    EXPECT_EQ(GtxEntry(0), std::string(255, 'u'));
    EXPECT_STREQ(GtxEntry(1), "next");

    Write("TEXT/Empty.Gtx", datakit::MakeGtx({}));
    ASSERT_EQ(LoadGtxTable("TEXT/Empty.Gtx"), 0);
    EXPECT_EQ(GtxTable.count, 0u);
    EXPECT_TRUE(GtxTable.entries.empty());
    EXPECT_STREQ(GtxEntry(0), "");
    // A box then shows the empty text.
    const TextBoxRequest r = Request(0, 1.0f);
    const int32_t box = OpenTextBox(nullptr, &r);
    ASSERT_GE(box, 0);
    EXPECT_STREQ(TextBoxes[box].text, "");
    EXPECT_EQ(TextBoxes[box].lineCount, 1u);
}

// ---------------------------------------------------------------- line splitting

TEST(TextLines, SplitAtEveryHashInTextOrder) {
    struct Case {
        const char* text;
        uint32_t maxLines;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"one#two#three", MaxTextLines, {"one", "two", "three"}},
        {"single", MaxTextLines, {"single"}},
        {"", MaxTextLines, {""}},
        {"#", MaxTextLines, {"", ""}},
        {"end#", MaxTextLines, {"end", ""}},
        {"a##b", MaxTextLines, {"a", "", "b"}},
        {"a#b#c#d", 2, {"a", "b#c#d"}},
        {"a#b", 1, {"a#b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char text[64];
        std::snprintf(text, sizeof text, "%s", c.text);
        std::vector<TextLine> lines(c.maxLines + 1, TextLine{7.0f, 7.0f, nullptr});
        const uint32_t n = SplitTextLines(text, lines.data(), c.maxLines);
        ASSERT_EQ(n, c.lines.size());
        for (uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(lines[i].text, c.lines[i]) << i;
            EXPECT_TRUE(lines[i].text >= text && lines[i].text < text + sizeof text) << "points into the text";
            EXPECT_EQ(lines[i].x, 0.0f);
            EXPECT_EQ(lines[i].y, 0.0f);
        }
        EXPECT_EQ(lines[n].text, nullptr) << "wrote past the lines it returned";
    }
    char text[] = "abc";
    EXPECT_EQ(SplitTextLines(text, nullptr, 4), 0u);
    EXPECT_EQ(SplitTextLines(nullptr, nullptr, 4), 0u);
}

// ---------------------------------------------------------------- opening and freeing boxes

TEST_F(TextBoxLife, TextFromTheTableSplitIntoLinesOneFontHeightApart) {
    LoadTable({"first", "top#middle#bottom", std::string(255, '#')});
    RenderState.gameFontSize = 20.0f;
    struct Case {
        int32_t index;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {1, {"top", "middle", "bottom"}},
        {0, {"first"}},
        {-1, {""}},
        {3, {""}},
        {0x7FFFFFFF, {""}},
        {2, std::vector<std::string>(256, "")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        ClearTextBoxes();
        const TextBoxRequest r = Request(c.index, 1.0f);
        const int32_t box = OpenTextBox(nullptr, &r);
        ASSERT_EQ(box, 11);
        EXPECT_EQ(Lines(TextBoxes[box]), c.lines);
        for (uint32_t i = 0; i < TextBoxes[box].lineCount; ++i) {
            EXPECT_EQ(TextBoxes[box].lines[i].x, 0.0f);
            EXPECT_EQ(TextBoxes[box].lines[i].y, 20.0f * float(i));
        }
    }
    EXPECT_EQ(RenderState.currentFontSize, 20.0f) << "the game font is made current";
}

TEST_F(TextBoxLife, HighestFreeBoxFirstAndRequestsBeyondTwelveDropped) {
    LoadTable({"t"});
    for (int32_t expected = 11; expected >= 0; --expected) {
        const TextBoxRequest r = Request(0, 5.0f);
        EXPECT_EQ(OpenTextBox(nullptr, &r), expected);
    }
    TextBoxRequest extra = Request(0, 9.0f);
    extra.colour[0] = 0.25f;
    EXPECT_EQ(OpenTextBox(nullptr, &extra), -1);
    for (const TextBox& box : TextBoxes) EXPECT_EQ(box.remainingTime, 5.0f) << "a dropped request changes nothing";
    EXPECT_EQ(OpenTextBox(nullptr, nullptr), -1);

    // Spent or unusable times leave a box free; the next request takes it again.
    ClearTextBoxes();
    for (float spent : {0.0f, -1.0f, NAN}) {
        const TextBoxRequest r = Request(0, spent);
        EXPECT_EQ(OpenTextBox(nullptr, &r), 11) << spent;
    }
}

TEST_F(TextBoxLife, SizesAndOffsetsBecomePixels) {
    LoadTable({"t"});
    struct Case {
        int32_t screenW, screenH;
        float viewportX, viewportY;
        float width, height, x, y;
        float pixelW, pixelH, pixelX, pixelY;
    };
    const Case cases[] = {
        // The box stands centred above its anchor: x and y become its top-left corner.
        {1024, 768, 0, 0, 200, 100, 0, 0, 200, 100, -100, -100},
        {800, 600, 0, 0, 512, 384, 10, 20, 400, 300, 7.8125f - 200, 15.625f - 300},
        {800, 600, 30, 40, 512, 384, -64, 0, 400, 300, -50 + 30 - 200, 40 - 300},
        {2048, 1536, 0, 0, 0, 0, 512, 384, 0, 0, 1024, 768},
        // Wide: widths and x by the width, heights and y by the height.
        {1920, 1080, 0, 0, 512, 384, 10, 20, 960, 540, 18.75f - 480, 28.125f - 540},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.screenW) + " x " + std::to_string(c.screenH));
        ApplyScreenSize(RenderState, c.screenW, c.screenH);
        RenderState.viewportX = c.viewportX;
        RenderState.viewportY = c.viewportY;
        ClearTextBoxes();
        TextBoxRequest r = Request(0, 1.0f);
        r.width = c.width;
        r.height = c.height;
        r.x = c.x;
        r.y = c.y;
        const TextBox& box = TextBoxes[OpenTextBox(nullptr, &r)];
        EXPECT_NEAR(box.width, c.pixelW, 1e-3);
        EXPECT_NEAR(box.height, c.pixelH, 1e-3);
        EXPECT_NEAR(box.x, c.pixelX, 1e-3);
        EXPECT_NEAR(box.y, c.pixelY, 1e-3);
    }
}

TEST_F(TextBoxLife, RequestIsCopiedWholeAndImagePathNeedNotEnd) {
    LoadTable({"t"});
    NztBase3D owner;
    TextBoxRequest r = Request(0, 2.5f);
    r.shadow = 1;
    r.colour[0] = 0.1f;
    r.colour[1] = 0.2f;
    r.colour[2] = 0.3f;
    r.colour[3] = 0.4f;
    std::memset(r.imagePath, 'x', sizeof r.imagePath);  // no terminator: names no file
    const int32_t index = OpenTextBox(&owner, &r);
    ASSERT_EQ(index, 11);
    const TextBox& box = TextBoxes[index];
    EXPECT_EQ(box.owner, &owner);
    EXPECT_EQ(box.remainingTime, 2.5f);
    EXPECT_EQ(box.shadow, 1u);
    EXPECT_EQ(box.colour[0], 0.1f);
    EXPECT_EQ(box.colour[1], 0.2f);
    EXPECT_EQ(box.colour[2], 0.3f);
    EXPECT_EQ(box.colour[3], 0.4f);
    EXPECT_EQ(box.image, 0u) << "a missing image leaves the box without one";
}

TEST_F(TextBoxLife, ResetFreesEveryBoxOrTheBoxesOfOneOwner) {
    LoadTable({"one#two"});
    NztBase3D a, b;
    NztBase3D* owners[] = {&a, &b, nullptr, &a, &b, nullptr};
    for (NztBase3D* owner : owners) {
        const TextBoxRequest r = Request(0, 3.0f);
        OpenTextBox(owner, &r);
    }
    auto live = [] {
        std::vector<int> indices;
        for (int i = 0; i < int(TextBoxCount); ++i)
            if (TextBoxes[i].remainingTime > 0) indices.push_back(i);
        return indices;
    };
    ASSERT_EQ(live(), (std::vector<int>{6, 7, 8, 9, 10, 11}));

    ResetObjectTextBoxes(&a);
    EXPECT_EQ(live(), (std::vector<int>{6, 7, 9, 10}));
    for (int i : {8, 11}) {
        EXPECT_EQ(TextBoxes[i].owner, nullptr);
        EXPECT_EQ(TextBoxes[i].lineCount, 0u);
        EXPECT_EQ(TextBoxes[i].remainingTime, 0.0f);
    }
    ResetObjectTextBoxes(nullptr);
    EXPECT_EQ(live(), (std::vector<int>{6, 7, 9, 10})) << "no owner names no boxes";

    ResetTextBoxes();
    EXPECT_TRUE(live().empty());
    for (const TextBox& box : TextBoxes) {
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.lineCount, 0u);
    }

    const TextBoxRequest r = Request(0, 3.0f);
    OpenTextBox(&b, &r);
    ClearTextBoxes();
    const TextBox zero{};
    for (const TextBox& box : TextBoxes) EXPECT_EQ(std::memcmp(&box, &zero, sizeof box), 0);
}

// ---------------------------------------------------------------- drawing under a GL context

const char* const kSans = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr float kFont = 24.0f;

class GlTextBoxes : public TextBoxFixture {
 protected:
    static void SetUpTestSuite() {
        // SetUp reports a missing context.
        OpenHiddenGlWindow("textbox", kWidth, kHeight, &window_, &context_);
    }
    static void TearDownTestSuite() {
        CloseHiddenGlWindow(&window_, &context_);
    }

    void SetUp() override {
        TextBoxFixture::SetUp();
        ASSERT_NE(context_, nullptr) << "no GL context: " << SDL_GetError();
        ClearTextureTable();
        ApplyScreenSize(RenderState, kWidth, kHeight);
        RenderState.focalLength = 1600.0f;
        ResetCamera(RenderState);
        RenderState.threadCodePage = 0;
        // Every cached switch is unknown to a new context: start from a state the cache knows.
        RenderState.depthTestOn = RenderState.blendOn = RenderState.texture2DOn = 0;
        RenderState.baseViewPushed = 0;
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        // One unit is one pixel on the 2-D plane, its origin at the viewport centre.
        SetPixelPlane(kWidth, kHeight);
        ASSERT_NE(LoadGameFont(kSans, kFont), nullptr);
        FrameTiming.frameTime = 0.02f;
    }
    void TearDown() override {
        ClearTextBoxes();
        DeleteAllTextures();
        ClearTextureTable();
        FreeTextFonts();
        TextBoxFixture::TearDown();
    }

    static void Clear() {
        glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    static std::vector<uint8_t> Pixels() {
        return ReadBackPixels(kWidth, kHeight);
    }
    // One drawn frame of the boxes on a grey screen; the window drawing pops the base view.
    static std::vector<uint8_t> DrawBoxes() {
        Clear();
        DrawTextBoxes();
        glPopMatrix();
        RenderState.baseViewPushed = 0;
        return Pixels();
    }
    static bool Blank(const std::vector<uint8_t>& pixels) {
        for (size_t i = 0; i < pixels.size(); i += 4)
            if (pixels[i] != 128 && pixels[i] != 127) return false;
        return true;
    }

    static inline SDL_Window* window_ = nullptr;
    static inline SDL_GLContext context_ = nullptr;
};

// The frame the boxes should give, drawn line by line: the box's top-left corner stands half its
// width left of and its height above the owner's projected head point plus the offset.
TEST_F(GlTextBoxes, BoxesAreDrawnCentredAboveTheOwnersHeadLineUnderLine) {
    LoadTable({"Top#Mid#Low", "Wide line here"});
    struct Case {
        const char* what;
        int32_t index;
        bool owner;
        float world[3];
        float head;
        float offsetX, offsetY;  // 1024 x 768 units
        bool shadow;
        float colour[4];
    };
    const Case cases[] = {
        {"on the screen", 0, false, {0, 0, 0}, 0, 0, 0, false, {1, 0, 0, 1}},
        {"over an owner", 1, true, {-120, 40, -1600}, 0, 0, 0, false, {0, 1, 0, 1}},
        {"raised by the head", 0, true, {60, -30, -1600}, 25, 32, -48, false, {1, 1, 0, 1}},
        {"farther away", 1, true, {200, 100, -3200}, 20, 0, 0, false, {0, 0, 1, 1}},
        {"with a shadow", 0, true, {0, 0, -1600}, 0, 0, 0, true, {1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearTextBoxes();
        NztBase3D owner;
        std::copy(std::begin(c.world), std::end(c.world), owner.Position);
        owner.headHeight = c.head;
        TextBoxRequest r = Request(c.index, 1.0f);
        r.width = 256;
        r.height = 96;
        r.x = c.offsetX;
        r.y = c.offsetY;
        r.shadow = c.shadow ? 1 : 0;
        std::copy(std::begin(c.colour), std::end(c.colour), r.colour);
        ASSERT_GE(OpenTextBox(c.owner ? &owner : nullptr, &r), 0);
        const std::vector<uint8_t> drawn = DrawBoxes();
        ASSERT_FALSE(Blank(drawn)) << "nothing drawn";
        EXPECT_EQ(RenderState.currentFont, RenderState.gameFont);
        EXPECT_EQ(RenderState.blendMode, 6u) << "source alpha, one minus source alpha";
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << "depth test back on";

        float anchorX = c.offsetX * kWidth / 1024.0f, anchorY = c.offsetY * kHeight / 768.0f;
        if (c.owner) {
            const float scale = 1600.0f / -c.world[2];
            anchorX += c.world[0] * scale;
            anchorY -= (c.world[1] + c.head) * scale;
        }
        const float left = kWidth / 2.0f + anchorX - 256.0f * kWidth / 1024.0f / 2.0f;
        const float top = kHeight / 2.0f + anchorY - 96.0f * kHeight / 768.0f;
        char text[256];
        std::snprintf(text, sizeof text, "%s", GtxEntry(c.index));
        TextLine lines[8];
        const uint32_t n = SplitTextLines(text, lines, 8);
        Clear();
        SwitchDepthTest(false);
        for (uint32_t i = 0; i < n; ++i) {
            if (c.shadow) {
                glColor4f(0, 0, 0, c.colour[3]);
                DrawTextAt(lines[i].text, left + 1, top + kFont * float(i) + 1);
            }
            glColor4f(c.colour[0], c.colour[1], c.colour[2], c.colour[3]);
            DrawTextAt(lines[i].text, left, top + kFont * float(i));
        }
        EXPECT_TRUE(drawn == Pixels()) << "the box is not where its owner and offset put it";
    }
}

TEST_F(GlTextBoxes, AutoSizeMeasuresTheLongestLineNearestTheEnd) {
    LoadTable({"WWW#iii", "WWWW#iii", "i"});
    struct Case {
        int32_t index;
        const char* measured;
        uint32_t lines;
    };
    const Case cases[] = {{0, "iii", 2}, {1, "WWWW", 2}, {2, "i", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        ClearTextBoxes();
        TextBoxRequest r = Request(c.index, 1.0f);
        r.autoSize = 1;
        r.width = r.height = 999;  // replaced by the measured size
        r.x = 8;
        r.y = 6;
        const TextBox& box = TextBoxes[OpenTextBox(nullptr, &r)];
        float w = 0;
        MeasureText(c.measured, &w, nullptr, nullptr);
        ASSERT_GT(w, 0.0f);
        EXPECT_NEAR(box.width, w + 2 * 8 * kWidth / 1024.0f, 1e-3);
        EXPECT_NEAR(box.height, float(c.lines) * kFont + 3 * 6 * kHeight / 768.0f, 1e-3);
    }
}

TEST_F(GlTextBoxes, BoxesLiveTheirTimeInDrawnFramesAndReleaseTheirImage) {
    LoadTable({"Sign"});
    Write("MAPS/UI/Sign.Img", datakit::MakeImg32(datakit::SolidRgba(8, 8, 255, 255, 255, 255)));
    TextBoxRequest r = Request(0, 0.05f);
    std::snprintf(r.imagePath, sizeof r.imagePath, "MAPS/UI/Sign.Img");
    NztBase3D owner;
    owner.Position[2] = -1600;
    const int32_t index = OpenTextBox(&owner, &r);
    ASSERT_EQ(index, 11);
    ASSERT_NE(TextBoxes[index].image, 0u);
    ASSERT_EQ(TextureCount, 1u);

    // 0.05 s at 0.02 s a frame: drawn three times, freed by the fourth frame.
    for (int frame = 1; frame <= 3; ++frame) {
        SCOPED_TRACE(frame);
        EXPECT_FALSE(Blank(DrawBoxes()));
        EXPECT_EQ(TextureCount, 1u);
    }
    EXPECT_LT(TextBoxes[index].remainingTime, 0.0f);
    EXPECT_EQ(TextBoxes[index].owner, &owner) << "kept until the next drawn frame";
    EXPECT_TRUE(Blank(DrawBoxes()));
    EXPECT_EQ(TextBoxes[index].remainingTime, 0.0f);
    EXPECT_EQ(TextBoxes[index].owner, nullptr);
    EXPECT_EQ(TextBoxes[index].lineCount, 0u);
    EXPECT_EQ(TextBoxes[index].image, 0u);
    EXPECT_EQ(TextureCount, 0u) << "the image is released";

    // A box of no time is never drawn and is freed by the next frame.
    r.duration = 0.0f;
    ASSERT_EQ(OpenTextBox(&owner, &r), 11);
    EXPECT_EQ(TextureCount, 1u);
    EXPECT_TRUE(Blank(DrawBoxes()));
    EXPECT_EQ(TextureCount, 0u);
}

TEST_F(GlTextBoxes, ImagesOfFreedOrReusedBoxesAreReleased) {
    LoadTable({"Sign"});
    Write("MAPS/UI/Sign.Img", datakit::MakeImg32(datakit::SolidRgba(4, 4, 0, 0, 255, 255)));
    TextBoxRequest withImage = Request(0, 0.0f);
    std::snprintf(withImage.imagePath, sizeof withImage.imagePath, "MAPS/UI/Sign.Img");
    const TextBoxRequest plain = Request(0, 1.0f);
    NztBase3D owner;

    // A spent box still holding its image is taken again before a frame freed it.
    ASSERT_EQ(OpenTextBox(&owner, &withImage), 11);
    ASSERT_EQ(TextureCount, 1u);
    ASSERT_EQ(OpenTextBox(&owner, &plain), 11);
    EXPECT_EQ(TextureCount, 0u);

    withImage.duration = 5.0f;
    OpenTextBox(&owner, &withImage);
    OpenTextBox(nullptr, &withImage);
    ASSERT_EQ(TextureCount, 1u);
    ASSERT_EQ(TextureTable[0].refCount, 2u) << "one image shared by both boxes";
    ResetObjectTextBoxes(&owner);
    EXPECT_EQ(TextureTable[0].refCount, 1u);
    ResetTextBoxes();
    EXPECT_EQ(TextureCount, 0u);
}

TEST_F(GlTextBoxes, AnExpiredBoxFreesASlotForTheThirteenthRequest) {
    LoadTable({"x"});
    const TextBoxRequest longer = Request(0, 10.0f);
    for (int i = 0; i < 11; ++i) ASSERT_GE(OpenTextBox(nullptr, &longer), 1);
    const TextBoxRequest shorter = Request(0, 0.03f);
    ASSERT_EQ(OpenTextBox(nullptr, &shorter), 0);
    DrawBoxes();
    EXPECT_EQ(OpenTextBox(nullptr, &longer), -1) << "all twelve still live";
    DrawBoxes();
    EXPECT_EQ(OpenTextBox(nullptr, &longer), 0);
}

}  // namespace
