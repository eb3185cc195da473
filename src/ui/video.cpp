#include "ui/video.h"

#include <GL/gl.h>

#include <cstdio>
#include <new>

#include "core/frameclock.h"
#include "core/input.h"
#include "core/paths.h"
#include "platform/avi.h"
#include "platform/glcontext.h"
#include "platform/timer.h"
#include "platform/wincodes.h"
#include "render/renderstate.h"
#include "render/texture.h"

VideoPlayback Video;

namespace {

int64_t ClockMs() {
    const int64_t frequency = QueryPerformanceFrequency();
    const int64_t ticks = QueryPerformanceCounter();
    return frequency > 0 ? ticks / frequency * 1000 + ticks % frequency * 1000 / frequency : 0;
}

bool KeyReleased(uint32_t key) {
    if (!KeyStates.keys || !KeyStates.previousKeys) return false;
    return (KeyStates.previousKeys[key] & 0x80) != 0 && (KeyStates.keys[key] & 0x80) == 0;
}

void DrawFrame() {
    UpdateTextureRect(Video.texture, Video.frameBuffer, static_cast<uint32_t>(Video.width),
                      static_cast<uint32_t>(Video.height));
    SwitchBlend(false);
    SwitchDepthTest(false);
    SwitchDepthWrite(false);
    SwitchAlphaTest(false);
    SwitchTexture2D(true);
    glClear(GL_COLOR_BUFFER_BIT);
    glPushMatrix();
    glLoadMatrixf(RenderState.baseViewMatrix);
    glBegin(GL_QUADS);
    DrawTexturedQuad();
    glEnd();
    BoundTextureId = 0;
    glPopMatrix();
    if (RenderState.window) GlSwapBuffers(RenderState.window);
    SwitchDepthTest(true);
    SwitchDepthWrite(true);
    SwitchAlphaTest(true);
}

}  // namespace

bool OpenAviStream(const char* path) {
    AviStreamInfo info{};
    AviStream* stream = OpenAviFile(path, &info);
    if (!stream) return false;
    const int64_t bytes = static_cast<int64_t>(info.width) * info.height * 3;
    uint8_t* buffer = new (std::nothrow) uint8_t[bytes]();
    if (!buffer) {
        std::fprintf(stderr, "video: %s: no memory for a %dx%d frame\n", path, info.width, info.height);
        CloseAviStream(stream);
        return false;
    }
    Video.stream = stream;
    Video.width = info.width;
    Video.height = info.height;
    Video.frameCount = info.frameCount;
    // A stream of more than 1000 frames per second would give 0 and divide by zero below.
    const int64_t perFrame = info.durationMs / info.frameCount;
    Video.msPerFrame = perFrame < 1 ? 1 : static_cast<int32_t>(perFrame);
    Video.frameBuffer = buffer;
    return true;
}

bool PlayVideo(const char* name) {
    if (Video.frameBuffer) CloseVideo();
    char relative[QvPathMax];
    if (!name || !IsPlainName(name) || !FormatPath(relative, sizeof relative, "VIDEOS/%s.Avi", name)) {
        std::fprintf(stderr, "video: refused video name \"%s\"\n", name ? name : "");
        return false;
    }
    const char* path = DataPath(relative);
    if (!path[0] || !OpenAviStream(path)) return false;
    // The first frame, so that the texture never shows uninitialised pixels.
    ReadAviFrame(Video.stream, 0, Video.frameBuffer);
    Video.currentFrame = 0;
    Video.startMs = ClockMs();
    // Three-byte blue, green, red pixels: the layout the decoder writes.
    Video.texture = UploadTexture(Video.frameBuffer, static_cast<uint32_t>(Video.width),
                                  static_cast<uint32_t>(Video.height), 17, 0, 1, 0);
    if (Video.texture == 0) {
        CloseVideo();
        return false;
    }
    return true;
}

void UpdateVideoFrame() {
    if (!Video.frameBuffer) return;
    const int64_t frame = (ClockMs() - Video.startMs) / Video.msPerFrame;
    if (KeyReleased(VK_ESCAPE) || KeyReleased(VK_RETURN) || frame >= Video.frameCount) {
        CloseVideo();
        if (RunModeChanger) RunModeChanger(RunMode.previous);
        return;
    }
    Video.currentFrame = static_cast<int32_t>(frame);
    // A frame the decoder cannot deliver leaves the previous one on screen.
    ReadAviFrame(Video.stream, Video.currentFrame, Video.frameBuffer);
    DrawFrame();
}

void CloseVideo() {
    if (Video.stream) CloseAviStream(Video.stream);
    if (Video.texture) ReleaseTexture(Video.texture);
    delete[] Video.frameBuffer;
    Video = VideoPlayback{};
}
