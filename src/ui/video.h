// Cut-scene playback: one AVI video from the data folder's "VIDEOS/" at a time, shown full screen
// while the main loop runs in video mode, the frame chosen by the time since playback started.
#pragma once

#include <cstdint>

struct AviStream;

struct VideoPlayback {
    AviStream* stream = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameCount = 0;
    int32_t msPerFrame = 0;  // at least 1
    uint8_t* frameBuffer = nullptr;  // width x height x 3 bytes; non-null while a video is open
    uint32_t texture = 0;
    int32_t currentFrame = 0;
    int64_t startMs = 0;
};
extern VideoPlayback Video;

// Opens "VIDEOS/<name>.Avi" below the data folder (a loose file, never from a pack) and uploads its
// first texture; a video already open is closed first. True when it plays; the caller then enters
// the video run mode. False, with the run mode untouched, for a name that is not a plain name or a
// file that cannot be played.
bool PlayVideo(const char* name);
// Opens the stream at a full path and allocates the frame buffer.
bool OpenAviStream(const char* path);
// One step of playback (once per main-loop pass in the video run mode): draws the frame due now,
// or, at the end or when Escape or Enter is released, closes the video and returns the main loop
// to the run mode it had before. Nothing when no video is open.
void UpdateVideoFrame();
// Releases everything an open video holds (also at shutdown).
void CloseVideo();
