// Ogg Vorbis music streamed into one OpenAL source by the music job of the worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "audio/openal.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

// Everything the main thread and the worker share about the stream. Guarded by
// MusicThread.Lock(); the worker holds it except while it waits between refills.
struct MusicStreamState {
    FILE* file = nullptr;
    OggVorbis_File decoder{};
    bool decoderOpen = false;  // the decoder owns the file once open
    ALuint source = 0;
    ALuint buffers[4] = {};
    std::vector<int16_t> decodeBuffer;  // one chunk of 16-bit samples
    uint32_t chunkSize = 0;  // bytes per quarter-second buffer of the current track
    bool streaming = false;  // the loop has taken the file
    bool played = false;     // the track got under way; cleared by a stop
    bool callbacksSet = false;
    ov_callbacks callbacks{};
    void (*deferredClose)() = nullptr;            // set by a stop while the loop runs
    bool (*pendingOpen)(const char*) = nullptr;   // the next track, opened once the loop ends
    char pendingPath[1024] = {};
    bool trackEndedPosted = false;  // the worker saw a track end by itself; the main thread acts
};

extern MusicStreamState MusicStream;

// Called on the main thread (from DispatchMusicEvents) when a track has ended by itself.
extern void (*MusicEndCallback)();

// Loads vorbisfile and its six entry points, once. False when it is missing.
bool LoadVorbisFile();
void UnloadVorbisFile();

// Under the lock: no end-of-track callback, no deferred close, no pending open, no posted end,
// no file callbacks.
void ClearMusicCallbacks();
void SetMusicFileCallbacks();
// Frees the decode buffer and deletes the music source and stream buffers (sound system only).
void ReleaseMusicStreamBuffers();

// Opens a track (full path) and queues the music job; while an old track is being stopped the
// path is kept and opened by the worker when the old loop ends.
bool OpenMusicFile(const char* path);
bool OpenPendingMusicFile(const char* path);
// Stops the stream: at once when the loop has not taken the file, else handed to the loop.
void StopMusicStream();
void CloseMusicFile();
// The music job.
void MusicStreamLoop();
// Decodes up to one chunk into the decode buffer; the bytes decoded, 0 at the end of the track.
uint32_t DecodeMusicChunk(int channels);

// Takes the posted "track ended", if any (under the lock).
bool TakeMusicTrackEnded();

// Bytes of a quarter second of 16-bit samples, in whole frames; 0 for a channel count that has
// no OpenAL format.
uint32_t MusicChunkBytes(int channels, long rate);
// Reorders 6-channel frames from Vorbis order (FL, C, FR, RL, RR, LFE) to OpenAL order
// (FL, FR, C, LFE, RL, RR).
void ReorderVorbis51(int16_t* samples, size_t frames);
