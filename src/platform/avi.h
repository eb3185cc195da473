// AVI video streams decoded frame by frame: the first video stream of a file, its size, length and
// duration, and any frame as width x height three-byte blue, green, red pixels with the bottom row
// first. No sound.
#pragma once

#include <cstdint>

struct AviStream;

struct AviStreamInfo {
    int32_t width;
    int32_t height;
    int32_t frameCount;
    int64_t durationMs;  // time at the end of the last frame
};

// The first video stream of the file at path, ready to decode; null (and one line on stderr) when
// the file is missing, is not a video the decoder accepts, or has no frames.
AviStream* OpenAviFile(const char* path, AviStreamInfo* info);
// Decodes frame index into out (width x height x 3 bytes). Requests may go forwards or backwards.
// False when the index is outside the stream or the frame cannot be decoded; out is then untouched.
bool ReadAviFrame(AviStream* stream, int32_t index, uint8_t* out);
void CloseAviStream(AviStream* stream);
