#include "ui/video.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "game/frame.h"
#include "core/input.h"
#include "core/paths.h"
#include "core/scratch.h"
#include "platform/avi.h"
#include "platform/timer.h"
#include "platform/wincodes.h"
#include "render/glext.h"
#include "render/texture.h"
#include "support/gl_window.h"

namespace {

// Two seconds at 15 frames per second, 160x120: frames 0-14 red, 15-29 blue, the top 40 rows
// green in every frame (so the row order shows).
const char* const kScene =
    "color=c=red:s=160x120:r=15:d=1[a];color=c=blue:s=160x120:r=15:d=1[b];"
    "[a][b]concat,drawbox=x=0:y=0:w=160:h=40:color=green:t=fill[out0]";

void MakeVideo(const std::string& path, const std::string& codecArgs) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string command = "ffmpeg -loglevel error -y -f lavfi -i \"" + std::string(kScene) + "\" " + codecArgs +
                                " \"" + path + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

const char* const kMjpeg = "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p";

enum class Colour { Red, Green, Blue, Other };

// The colour of a blue, green, red pixel, allowing for lossy coding.
Colour ColourAt(const uint8_t* frame, int width, int row, int column) {
    const uint8_t* p = frame + (static_cast<size_t>(row) * width + column) * 3;
    const auto high = [](uint8_t v) { return v > 100; };
    const auto low = [](uint8_t v) { return v < 60; };
    if (high(p[2]) && low(p[1]) && low(p[0])) return Colour::Red;
    if (low(p[2]) && high(p[1]) && low(p[0])) return Colour::Green;
    if (low(p[2]) && low(p[1]) && high(p[0])) return Colour::Blue;
    return Colour::Other;
}

// Bottom-up rows: row 10 is near the bottom of the picture, row 110 near the top.
Colour Body(const std::vector<uint8_t>& frame) { return ColourAt(frame.data(), 160, 10, 80); }
Colour Band(const std::vector<uint8_t>& frame) { return ColourAt(frame.data(), 160, 110, 80); }

// ---------------------------------------------------------------- the decoder

TEST(VideoStream, DecodesEveryCodecBottomUpInAnyOrder) {
    const std::vector<std::string> codecs = {kMjpeg, "-c:v rawvideo -pix_fmt bgr24",
                                             "-c:v msvideo1 -pix_fmt rgb555le", "-c:v cinepak"};
    ScratchDir dir;
    for (const std::string& codec : codecs) {
        SCOPED_TRACE(codec);
        const std::string path = dir / "clip.avi";
        MakeVideo(path, codec);
        AviStreamInfo info{};
        AviStream* stream = OpenAviFile(path.c_str(), &info);
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(info.width, 160);
        EXPECT_EQ(info.height, 120);
        EXPECT_EQ(info.frameCount, 30);
        EXPECT_EQ(info.durationMs, 2000);
        std::vector<uint8_t> frame(160 * 120 * 3);
        // Forwards, backwards across the colour change, and the same frame twice.
        const struct {
            int32_t index;
            Colour body;
        } steps[] = {{0, Colour::Red}, {20, Colour::Blue}, {3, Colour::Red}, {14, Colour::Red},
                     {15, Colour::Blue}, {15, Colour::Blue}, {29, Colour::Blue}, {1, Colour::Red}};
        for (const auto& step : steps) {
            ASSERT_TRUE(ReadAviFrame(stream, step.index, frame.data())) << step.index;
            EXPECT_EQ(Body(frame), step.body) << step.index;
            EXPECT_EQ(Band(frame), Colour::Green) << step.index;
        }
        for (int32_t outside : {-1, 30, 1 << 30}) {
            std::fill(frame.begin(), frame.end(), 7);
            EXPECT_FALSE(ReadAviFrame(stream, outside, frame.data())) << outside;
            EXPECT_EQ(frame[0], 7) << outside;
        }
        CloseAviStream(stream);
    }
}

TEST(VideoStream, RefusesWhatIsNotAPlayableVideo) {
    ScratchDir dir;
    const char garbage[] = "RIFF\x10\0\0\0AVI LIST not really a video";
    dir.Write("garbage.avi", std::string(garbage, sizeof garbage - 1));
    dir.Write("empty.avi", std::string());
    const std::string audioOnly = dir / "tone.avi";
    const std::string command =
        "ffmpeg -loglevel error -y -f lavfi -i \"sine=frequency=440:duration=1\" -c:a pcm_s16le \"" + audioOnly + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const char* name : {"garbage.avi", "empty.avi", "tone.avi", "missing.avi"}) {
        AviStreamInfo info{};
        EXPECT_EQ(OpenAviFile((dir / name).c_str(), &info), nullptr) << name;
    }
    CloseAviStream(nullptr);
}

// ---------------------------------------------------------------- playback

class ManualCounter : public PerformanceCounterSource {
public:
    int64_t Frequency() const override { return 1000; }  // ticks are milliseconds
    int64_t Counter() const override { return now; }
    int64_t now = 5000;
};

// A hidden window with a GL context, a data folder of its own, a clock moved by hand, and the
// main loop in video mode entered from the editor mode.
class GlVideo : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenHiddenGlWindow("video test", 64, 64, &window_, &context_))
            << SDL_GetError();
        InitGlExtensions();
        ClearTextureTable();
        BoundTextureId = 0;
        TextureSizeSetting = 0;
        SetPerformanceCounterSource(&clock_);
        savedRunMode_ = RunMode;
        savedFrameFunction_ = FrameFunction;
        RunModeChanger = SetRunMode;  // as start-up installs it
        RunMode = {RunModeVideo, RunModeEditor};
        FrameFunction = VideoFrame;
        KeyStates.keys = KeyStates.keyTables[0];
        KeyStates.previousKeys = KeyStates.keyTables[1];
        std::fill_n(&KeyStates.keyTables[0][0], sizeof KeyStates.keyTables, 0);
    }
    void TearDown() override {
        CloseVideo();
        SetPerformanceCounterSource(nullptr);
        RunMode = savedRunMode_;
        FrameFunction = savedFrameFunction_;
        RunModeChanger = nullptr;
        DeleteAllTextures();
        CloseHiddenGlWindow(&window_, &context_);
    }
    void Make(const char* name) {
        MakeVideo(data_.Data(std::string("VIDEOS/") + name + ".avi"), kMjpeg);
        ClearPathCache();
    }
    void Key(uint32_t key, bool wasDown, bool isDown) {
        KeyStates.previousKeys[key] = wasDown ? 0x80 : 0;
        KeyStates.keys[key] = isDown ? 0x80 : 0;
    }
    std::vector<uint8_t> Frame() const {
        return std::vector<uint8_t>(Video.frameBuffer, Video.frameBuffer + 160 * 120 * 3);
    }

    DataFolderScope data_;
    ManualCounter clock_;
    RunModeState savedRunMode_;
    FrameFn savedFrameFunction_ = nullptr;
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
};

TEST_F(GlVideo, FramesFollowTheClockAndTheEndRestoresTheRunMode) {
    Make("Intro");
    ASSERT_TRUE(PlayVideo("INTRO"));  // found whatever the case of the file name
    EXPECT_EQ(Video.msPerFrame, 66);  // 2000 ms / 30 frames
    EXPECT_EQ(TextureCount, 1u);
    const struct {
        int64_t elapsed;
        int32_t frame;
        Colour body;
    } steps[] = {{0, 0, Colour::Red}, {1000, 15, Colour::Blue}, {500, 7, Colour::Red}, {1979, 29, Colour::Blue}};
    for (const auto& step : steps) {
        clock_.now = 5000 + step.elapsed;
        UpdateVideoFrame();
        ASSERT_NE(Video.frameBuffer, nullptr) << step.elapsed;
        EXPECT_EQ(Video.currentFrame, step.frame) << step.elapsed;
        EXPECT_EQ(Body(Frame()), step.body) << step.elapsed;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << step.elapsed;
    }
    clock_.now = 5000 + 1980;  // frame 30: past the end
    UpdateVideoFrame();
    EXPECT_EQ(Video.frameBuffer, nullptr);
    EXPECT_EQ(TextureCount, 0u);
    EXPECT_EQ(RunMode.current, RunModeEditor);
    EXPECT_EQ(FrameFunction, &EditorFrame);
    UpdateVideoFrame();  // nothing open: nothing happens
    EXPECT_EQ(RunMode.current, RunModeEditor);
}

TEST_F(GlVideo, OnlyAReleasedEscapeOrEnterStopsIt) {
    Make("Intro");
    for (uint32_t key : {VK_ESCAPE, VK_RETURN}) {
        SCOPED_TRACE(key);
        RunMode = {RunModeVideo, RunModeEditor};
        ASSERT_TRUE(PlayVideo("Intro"));
        Key(key, false, true);  // pressed
        UpdateVideoFrame();
        Key(key, true, true);  // held
        UpdateVideoFrame();
        EXPECT_NE(Video.frameBuffer, nullptr);
        EXPECT_EQ(RunMode.current, RunModeVideo);
        Key(key, true, false);  // released
        UpdateVideoFrame();
        EXPECT_EQ(Video.frameBuffer, nullptr);
        EXPECT_EQ(RunMode.current, RunModeEditor);
        Key(key, false, false);
    }
}

TEST_F(GlVideo, ASecondVideoReplacesTheFirstFromItsStart) {
    Make("One");
    Make("Two");
    ASSERT_TRUE(PlayVideo("One"));
    clock_.now += 1500;
    UpdateVideoFrame();
    EXPECT_EQ(Video.currentFrame, 22);
    ASSERT_TRUE(PlayVideo("Two"));
    EXPECT_EQ(TextureCount, 1u);  // the first video's texture went with it
    UpdateVideoFrame();
    EXPECT_EQ(Video.currentFrame, 0);
    EXPECT_EQ(Body(Frame()), Colour::Red);
    EXPECT_EQ(RunMode.current, RunModeVideo);
}

TEST_F(GlVideo, NamesAndFilesThatCannotPlayChangeNothing) {
    Make("Intro");
    data_.WriteData("VIDEOS/Broken.Avi", std::string("RIFF....AVI not a video"));
    std::filesystem::create_directories(data_.Data("Other"));
    MakeVideo(data_.Data("Other/Intro.avi"), kMjpeg);
    ClearPathCache();
    for (const char* name : std::initializer_list<const char*>{"Missing", "Broken", "", "../Other/Intro", "..\\Other\\Intro", "Sub/Intro",
                             "Intro.Avi", nullptr}) {
        SCOPED_TRACE(name ? name : "(null)");
        EXPECT_FALSE(PlayVideo(name));
        EXPECT_EQ(Video.frameBuffer, nullptr);
        EXPECT_EQ(TextureCount, 0u);
        EXPECT_EQ(RunMode.current, RunModeVideo);
        EXPECT_EQ(RunMode.previous, RunModeEditor);
    }
    const std::string longName(QvPathMax, 'a');
    EXPECT_FALSE(PlayVideo(longName.c_str()));
}

}  // namespace
