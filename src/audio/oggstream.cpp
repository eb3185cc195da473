#include "audio/oggstream.h"

#include <sys/types.h>

#include <cstring>
#include <mutex>
#include <new>

#include "core/thread.h"
#include "platform/dynlib.h"

MusicStreamState MusicStream;
void (*MusicEndCallback)() = nullptr;

namespace {

struct VorbisFileTable {
    decltype(&ov_clear) clear;
    decltype(&ov_read) read;
    decltype(&ov_pcm_total) pcmTotal;
    decltype(&ov_info) info;
    decltype(&ov_comment) comment;
    decltype(&ov_open_callbacks) openCallbacks;
};

VorbisFileTable vorbis{};
DynLibHandle vorbisModule = nullptr;

// Rates above this are not music; refusing them keeps the chunk allocation bounded.
constexpr long MaxMusicRate = 384000;

using MusicLock = std::lock_guard<std::recursive_mutex>;

size_t ReadCallback(void* destination, size_t size, size_t count, void* file) {
    return std::fread(destination, size, count, static_cast<FILE*>(file));
}

// The whole 64-bit offset: vorbisfile seeks back from the end with negative offsets.
int SeekCallback(void* file, ogg_int64_t offset, int origin) {
    return fseeko(static_cast<FILE*>(file), static_cast<off_t>(offset), origin);
}

int CloseCallback(void* file) { return std::fclose(static_cast<FILE*>(file)); }

long TellCallback(void* file) { return std::ftell(static_cast<FILE*>(file)); }

// The end of the loop, under the lock: silence the source, close the track, open a track that
// waited for this one to stop, and post the end of a track that ran out by itself.
void FinishStream() {
    MusicStreamState& s = MusicStream;
    if (SoundSystemActive() && s.source) {
        OpenAL.alSourceStop(s.source);
        OpenAL.alSourcei(s.source, AL_BUFFER, 0);
    }
    CloseMusicFile();
    if (s.pendingOpen) s.pendingOpen(s.pendingPath);
    if (s.played && MusicEndCallback) s.trackEndedPosted = true;
    s.played = false;
}

// Decodes a chunk into the buffer and queues it; false when the track has no more samples.
bool QueueChunk(ALuint buffer, int channels, ALenum format, long rate) {
    uint32_t bytes = DecodeMusicChunk(channels);
    if (bytes == 0) return false;
    OpenAL.alBufferData(buffer, format, MusicStream.decodeBuffer.data(), static_cast<ALsizei>(bytes),
                        static_cast<ALsizei>(rate));
    OpenAL.alSourceQueueBuffers(MusicStream.source, 1, &buffer);
    return true;
}

}  // namespace

bool LoadVorbisFile() {
    if (vorbisModule) return true;
    DynLibHandle module = OpenDynLib(VorbisFileLibraryName);
    if (!module) return false;
    VorbisFileTable t{};
    t.clear = reinterpret_cast<decltype(t.clear)>(GetDynLibSymbol(module, "ov_clear"));
    t.read = reinterpret_cast<decltype(t.read)>(GetDynLibSymbol(module, "ov_read"));
    t.pcmTotal = reinterpret_cast<decltype(t.pcmTotal)>(GetDynLibSymbol(module, "ov_pcm_total"));
    t.info = reinterpret_cast<decltype(t.info)>(GetDynLibSymbol(module, "ov_info"));
    t.comment = reinterpret_cast<decltype(t.comment)>(GetDynLibSymbol(module, "ov_comment"));
    t.openCallbacks = reinterpret_cast<decltype(t.openCallbacks)>(GetDynLibSymbol(module, "ov_open_callbacks"));
    if (!t.clear || !t.read || !t.pcmTotal || !t.info || !t.comment || !t.openCallbacks) {
        CloseDynLib(module);
        return false;
    }
    vorbis = t;
    vorbisModule = module;
    return true;
}

void UnloadVorbisFile() {
    vorbis = VorbisFileTable{};
    CloseDynLib(vorbisModule);
    vorbisModule = nullptr;
}

void ClearMusicCallbacks() {
    MusicLock guard(MusicThread.Lock());
    MusicEndCallback = nullptr;
    MusicStream.deferredClose = nullptr;
    MusicStream.pendingOpen = nullptr;
    MusicStream.trackEndedPosted = false;
    MusicStream.callbacksSet = false;
    MusicStream.callbacks = ov_callbacks{};
}

void SetMusicFileCallbacks() {
    MusicLock guard(MusicThread.Lock());
    MusicStream.callbacks.read_func = ReadCallback;
    MusicStream.callbacks.seek_func = SeekCallback;
    MusicStream.callbacks.close_func = CloseCallback;
    MusicStream.callbacks.tell_func = TellCallback;
    MusicStream.callbacksSet = true;
}

void ReleaseMusicStreamBuffers() {
    MusicLock guard(MusicThread.Lock());
    MusicStream.decodeBuffer = {};
    MusicStream.chunkSize = 0;
    if (SoundSystemActive()) {
        if (MusicStream.source) OpenAL.alDeleteSources(1, &MusicStream.source);
        OpenAL.alDeleteBuffers(4, MusicStream.buffers);
    }
    MusicStream.source = 0;
    std::memset(MusicStream.buffers, 0, sizeof MusicStream.buffers);
}

bool OpenMusicFile(const char* path) {
    MusicLock guard(MusicThread.Lock());
    MusicStreamState& s = MusicStream;
    if (!s.file) {
        s.pendingOpen = nullptr;
        s.file = std::fopen(path, "rb");
        if (!s.file) return false;
        MusicThread.AddJob(&MusicThread.musicJob);
        return true;
    }
    if (s.deferredClose) {
        int n = std::snprintf(s.pendingPath, sizeof s.pendingPath, "%s", path);
        if (n < 0 || static_cast<size_t>(n) >= sizeof s.pendingPath) return false;
        s.pendingOpen = OpenPendingMusicFile;
        return true;
    }
    return false;
}

bool OpenPendingMusicFile(const char* path) {
    MusicLock guard(MusicThread.Lock());
    MusicStream.pendingOpen = nullptr;
    MusicStream.file = std::fopen(path, "rb");
    if (!MusicStream.file) return false;
    MusicThread.AddJob(&MusicThread.musicJob);
    return true;
}

void StopMusicStream() {
    MusicLock guard(MusicThread.Lock());
    MusicStreamState& s = MusicStream;
    if (!s.file) return;
    if (!s.streaming) {
        CloseMusicFile();
        return;
    }
    // The loop sees the emptied queue and the deferred close under this lock, and from then on
    // queues nothing more.
    s.played = false;
    if (SoundSystemActive() && s.source) {
        OpenAL.alSourceStop(s.source);
        OpenAL.alSourcei(s.source, AL_BUFFER, 0);
    }
    s.deferredClose = CloseMusicFile;
}

void CloseMusicFile() {
    MusicLock guard(MusicThread.Lock());
    MusicStreamState& s = MusicStream;
    s.deferredClose = nullptr;
    s.streaming = false;
    if (s.decoderOpen) {
        vorbis.clear(&s.decoder);  // closes the file through the close callback
        s.decoderOpen = false;
        s.file = nullptr;
    } else if (s.file) {
        std::fclose(s.file);
        s.file = nullptr;
    }
}

uint32_t MusicChunkBytes(int channels, long rate) {
    if (rate <= 0 || rate > MaxMusicRate) return 0;
    uint64_t r = static_cast<uint64_t>(rate);
    switch (channels) {
        case 1: return static_cast<uint32_t>((r / 2) & ~uint64_t{1});
        case 2: return static_cast<uint32_t>(r & ~uint64_t{3});
        case 4: return static_cast<uint32_t>((2 * r) & ~uint64_t{7});
        case 6: return static_cast<uint32_t>(3 * r - (3 * r) % 12);
        default: return 0;
    }
}

void ReorderVorbis51(int16_t* samples, size_t frames) {
    for (size_t i = 0; i < frames; ++i) {
        int16_t* f = samples + i * 6;
        int16_t fl = f[0], c = f[1], fr = f[2], rl = f[3], rr = f[4], lfe = f[5];
        f[0] = fl;
        f[1] = fr;
        f[2] = c;
        f[3] = lfe;
        f[4] = rl;
        f[5] = rr;
    }
}

uint32_t DecodeMusicChunk(int channels) {
    MusicStreamState& s = MusicStream;
    if (!s.decoderOpen) return 0;
    uint32_t chunk = s.chunkSize;
    if (chunk > s.decodeBuffer.size() * 2) chunk = static_cast<uint32_t>(s.decodeBuffer.size() * 2);
    char* bytes = reinterpret_cast<char*>(s.decodeBuffer.data());
    uint32_t got = 0;
    int bitstream = 0;
    while (got < chunk) {
        long n = vorbis.read(&s.decoder, bytes + got, static_cast<int>(chunk - got), 0, 2, 1, &bitstream);
        if (n <= 0) break;
        got += static_cast<uint32_t>(n);
    }
    if (channels == 6) ReorderVorbis51(s.decodeBuffer.data(), got / 12);
    return got;
}

bool TakeMusicTrackEnded() {
    MusicLock guard(MusicThread.Lock());
    bool ended = MusicStream.trackEndedPosted;
    MusicStream.trackEndedPosted = false;
    return ended;
}

void MusicStreamLoop() {
    MusicStreamState& s = MusicStream;
    int channels = 0;
    long rate = 0;
    ALenum format = 0;
    {
        MusicLock guard(MusicThread.Lock());
        if (!s.callbacksSet || !s.file || s.streaming) return;
        s.streaming = true;
        if (vorbis.openCallbacks(s.file, &s.decoder, nullptr, 0, s.callbacks) == 0) s.decoderOpen = true;
        vorbis_info* info = s.decoderOpen ? vorbis.info(&s.decoder, -1) : nullptr;
        if (info) {
            channels = info->channels;
            rate = info->rate;
            s.chunkSize = MusicChunkBytes(channels, rate);
            if (channels == 1) format = AL_FORMAT_MONO16;
            if (channels == 2) format = AL_FORMAT_STEREO16;
            if (channels == 4) format = OpenAL.alGetEnumValue("AL_FORMAT_QUAD16");
            if (channels == 6) format = OpenAL.alGetEnumValue("AL_FORMAT_51CHN16");
        }
        bool ready = info && s.chunkSize != 0 && format != 0;
        if (ready && s.chunkSize > s.decodeBuffer.size() * 2) {
            try {
                s.decodeBuffer.assign(s.chunkSize / 2, 0);
            } catch (const std::bad_alloc&) {
                ready = false;
            }
        }
        if (!ready) {
            // Not a track we can play: close it, so that the next one can open.
            FinishStream();
            return;
        }
        s.played = true;
        for (ALuint buffer : s.buffers) QueueChunk(buffer, channels, format, rate);
        OpenAL.alSourcePlay(s.source);
    }
    for (;;) {
        // Between refills the lock is free for the main thread; a thread stop ends the track.
        if (MusicThread.WaitForStop(100)) break;
        MusicLock guard(MusicThread.Lock());
        if (s.deferredClose || !s.decoderOpen) break;
        ALint processed = 0;
        OpenAL.alGetSourcei(s.source, AL_BUFFERS_PROCESSED, &processed);
        for (; processed > 0; --processed) {
            ALuint buffer = 0;
            OpenAL.alSourceUnqueueBuffers(s.source, 1, &buffer);
            QueueChunk(buffer, channels, format, rate);
        }
        ALint state = 0;
        OpenAL.alGetSourcei(s.source, AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING) {
            ALint queued = 0;
            OpenAL.alGetSourcei(s.source, AL_BUFFERS_QUEUED, &queued);
            if (queued == 0) break;
            OpenAL.alSourcePlay(s.source);  // starved: play what is queued
        }
    }
    MusicLock guard(MusicThread.Lock());
    FinishStream();
}
