#include "audio/openal.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "audio/oggstream.h"
#include "core/nztfile.h"
#include "core/pack.h"
#include "core/thread.h"
#include "platform/dynlib.h"
#include "platform/soundquiet.h"

OpenALTable OpenAL{};
CWaves* Waves = nullptr;
const char* OpenALLibraryName = "libopenal.so.1";
const char* VorbisFileLibraryName = "libvorbisfile.so.3";

namespace {

DynLibHandle openALModule = nullptr;
// Set once a device of the list was opened for playing: the list's table becomes the program's
// table and the library stays loaded until StopSoundSystem.
bool openALClaimed = false;
std::atomic<bool> soundActive{false};
// Why the sound system is off, for the one line StartSoundSystem writes.
char soundOffReason[256] = "";

// EAX-RAM and EFX entry points and enum values: fetched at start-up, read by nothing yet.
void* eaxSetBufferMode = nullptr;
void* eaxGetBufferMode = nullptr;
ALenum eaxRamEnums[5] = {};
void* efxEntryPoints[33] = {};

// WAV files are sound effects; anything this large is not one, and refusing it keeps a broken
// stream from being read without end.
constexpr uint32_t MaxWaveFileBytes = uint32_t{256} << 20;

#define QV_OPENAL_ENTRY_POINTS(X)                                                                      \
    X(alEnable) X(alDisable) X(alIsEnabled) X(alGetBoolean) X(alGetInteger) X(alGetFloat) X(alGetDouble) \
    X(alGetBooleanv) X(alGetIntegerv) X(alGetFloatv) X(alGetDoublev) X(alGetString) X(alGetError)        \
    X(alIsExtensionPresent) X(alGetProcAddress) X(alGetEnumValue) X(alListeneri) X(alListenerf)          \
    X(alListener3f) X(alListenerfv) X(alGetListeneri) X(alGetListenerf) X(alGetListener3f)               \
    X(alGetListenerfv) X(alGenSources) X(alDeleteSources) X(alIsSource) X(alSourcei) X(alSourcef)        \
    X(alSource3f) X(alSourcefv) X(alGetSourcei) X(alGetSourcef) X(alGetSourcefv) X(alSourcePlayv)        \
    X(alSourceStopv) X(alSourcePlay) X(alSourcePause) X(alSourceStop) X(alGenBuffers)                    \
    X(alDeleteBuffers) X(alIsBuffer) X(alBufferData) X(alGetBufferi) X(alGetBufferf)                     \
    X(alSourceQueueBuffers) X(alSourceUnqueueBuffers) X(alDistanceModel) X(alDopplerFactor)              \
    X(alDopplerVelocity) X(alcGetString) X(alcGetIntegerv) X(alcOpenDevice) X(alcCloseDevice)            \
    X(alcCreateContext) X(alcMakeContextCurrent) X(alcProcessContext) X(alcGetCurrentContext)            \
    X(alcGetContextsDevice) X(alcSuspendContext) X(alcDestroyContext) X(alcGetError)                     \
    X(alcIsExtensionPresent) X(alcGetProcAddress) X(alcGetEnumValue)

void SetSoundOffReason(const char* text) { std::snprintf(soundOffReason, sizeof soundOffReason, "%s", text); }

void UnloadOpenAL() {
    OpenAL = OpenALTable{};
    CloseDynLib(openALModule);
    openALModule = nullptr;
    openALClaimed = false;
    soundActive = false;
}

bool SameTag(const uint8_t* bytes, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        char a = static_cast<char>(bytes[i]), b = tag[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// The stream reports no end of data itself: a piece that moves the position by less than was
// asked for is the last one.

const char* WaveFormatName(const WaveRecord& w) {
    const WaveFormat& f = w.format;
    bool b16 = f.bitsPerSample == 16;
    if (w.formatType == WaveTypePcm) {
        if (f.channels == 1) return b16 ? "AL_FORMAT_MONO16" : "AL_FORMAT_MONO8";
        if (f.channels == 2) return b16 ? "AL_FORMAT_STEREO16" : "AL_FORMAT_STEREO8";
        if (f.channels == 4 && b16) return "AL_FORMAT_QUAD16";
        return nullptr;
    }
    if (w.formatType != WaveTypeExtensible) return nullptr;
    uint32_t mask = f.channelMask;
    if (f.channels == 1 && mask == 4) return b16 ? "AL_FORMAT_MONO16" : "AL_FORMAT_MONO8";
    if (f.channels == 2 && mask == 3) return b16 ? "AL_FORMAT_STEREO16" : "AL_FORMAT_STEREO8";
    if (!b16) return nullptr;
    if (f.channels == 2 && mask == 0x30) return "AL_FORMAT_REAR16";
    if (f.channels == 4 && mask == 0x33) return "AL_FORMAT_QUAD16";
    if (f.channels == 6 && mask == 0x3F) return "AL_FORMAT_51CHN16";
    if (f.channels == 7 && mask == 0x13F) return "AL_FORMAT_61CHN16";
    if (f.channels == 8 && mask == 0x63F) return "AL_FORMAT_71CHN16";
    return nullptr;
}

}  // namespace

bool SoundSystemActive() { return soundActive; }

bool LoadOpenALLibrary(OpenALTable* table) {
    if (!table) return false;
    if (!openALModule) {
        openALModule = OpenDynLib(OpenALLibraryName);
        if (!openALModule) {
            char text[256];
            std::snprintf(text, sizeof text, "cannot load %s (%s)", OpenALLibraryName, DynLibError());
            SetSoundOffReason(text);
            return false;
        }
    }
    *table = OpenALTable{};
#define QV_FETCH(name)                                                                               \
    table->name = reinterpret_cast<decltype(table->name)>(GetDynLibSymbol(openALModule, #name));    \
    if (!table->name) {                                                                              \
        SetSoundOffReason("Failed to retrieve '" #name "' function address");                       \
        return false;                                                                                \
    }
    QV_OPENAL_ENTRY_POINTS(QV_FETCH)
#undef QV_FETCH
    return true;
}

// --- device list -------------------------------------------------------------------------------

AudioDeviceList::AudioDeviceList() { Enumerate(); }

AudioDeviceList::~AudioDeviceList() { Destroy(); }

void AudioDeviceList::Enumerate() {
    records.clear();
    records.reserve(10);
    defaultIndex = 0;
    if (LoadOpenALLibrary(&table)) EnumerateDevices();
    ResetFilters();
}

void AudioDeviceList::EnumerateDevices() {
    const OpenALTable& al = table;
    if (!al.alcIsExtensionPresent(nullptr, "ALC_ENUMERATION_EXT")) {
        SetSoundOffReason("OpenAL cannot list its devices");
        return;
    }
    const ALCchar* names = al.alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
    const ALCchar* defaultName = al.alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
    if (!names || !*names) SetSoundOffReason("no audio device");
    int32_t position = 0;
    for (const ALCchar* name = names; name && *name; name += std::strlen(name) + 1, ++position) {
        if (defaultName && std::strcmp(name, defaultName) == 0) defaultIndex = position;
        ALCdevice* device = al.alcOpenDevice(name);
        if (!device) continue;
        ALCcontext* context = al.alcCreateContext(device, nullptr);
        if (!context) {
            al.alcCloseDevice(device);
            continue;
        }
        al.alcMakeContextCurrent(context);
        const ALCchar* own = al.alcGetString(device, ALC_DEVICE_SPECIFIER);
        bool known = false;
        for (const AudioDeviceRecord& r : records) known = known || (own && r.name == own);
        if (own && *own && !known) {
            AudioDeviceRecord record;
            record.name = own;
            record.selected = 1;
            al.alcGetIntegerv(device, ALC_MAJOR_VERSION, 1, &record.majorVersion);
            al.alcGetIntegerv(device, ALC_MINOR_VERSION, 1, &record.minorVersion);
            for (const char* ext : {"ALC_EXT_CAPTURE", "ALC_EXT_EFX"}) {
                if (al.alcIsExtensionPresent(device, ext) == ALC_TRUE) record.extensions.emplace_back(ext);
            }
            for (const char* ext : {"AL_EXT_OFFSET", "AL_EXT_LINEAR_DISTANCE", "AL_EXT_EXPONENT_DISTANCE", "EAX2.0",
                                    "EAX3.0", "EAX4.0", "EAX5.0", "EAX-RAM"}) {
                if (al.alIsExtensionPresent(ext) == AL_TRUE) record.extensions.emplace_back(ext);
            }
            record.maxSources = GetMaxSources();
            records.push_back(std::move(record));
        }
        al.alcMakeContextCurrent(nullptr);
        al.alcDestroyContext(context);
        al.alcCloseDevice(device);
    }
    if (names && *names && records.empty()) SetSoundOffReason("no audio device could be opened");
}

void AudioDeviceList::Destroy() {
    records.clear();
    table = OpenALTable{};
    if (openALModule && !openALClaimed) UnloadOpenAL();
}

const char* AudioDeviceList::GetDeviceName(int index) const {
    if (index < 0 || index >= GetDeviceCount()) return nullptr;
    return records[static_cast<size_t>(index)].name.c_str();
}

void AudioDeviceList::ResetFilters() {
    for (AudioDeviceRecord& r : records) r.selected = 1;
    filter = 0;
}

uint32_t AudioDeviceList::GetMaxSources() {
    const OpenALTable& al = table;
    ALuint sources[256];
    uint32_t count = 0;
    al.alGetError();
    while (count < 256) {
        al.alGenSources(1, &sources[count]);
        if (al.alGetError() != AL_NO_ERROR) break;
        ++count;
    }
    al.alDeleteSources(static_cast<ALsizei>(count), sources);
    if (al.alGetError() != AL_NO_ERROR) {
        for (uint32_t i = 0; i < count; ++i) al.alDeleteSources(1, &sources[i]);
    }
    return count;
}

// --- start-up and shutdown ----------------------------------------------------------------------

bool InitOpenAL() {
    auto* list = new (std::nothrow) AudioDeviceList();
    if (!list) return false;
    bool ok = false;
    if (list->GetDeviceCount() > 0) {
        const OpenALTable& al = list->table;
        ALCdevice* device = al.alcOpenDevice(list->GetDeviceName(0));
        if (!device) {
            SetSoundOffReason("the audio device does not open");
        } else if (ALCcontext* context = al.alcCreateContext(device, nullptr); !context) {
            al.alcCloseDevice(device);
            SetSoundOffReason("the audio device gives no context");
        } else {
            al.alcMakeContextCurrent(context);
            OpenAL = al;
            openALClaimed = true;
            ok = true;
        }
    }
    list->Destroy();
    delete list;
    return ok;
}

bool LoadEaxRam() {
    if (!soundActive) return false;
    if (OpenAL.alIsExtensionPresent("EAX-RAM") != AL_TRUE) return false;
    eaxSetBufferMode = OpenAL.alGetProcAddress("EAXSetBufferMode");
    eaxGetBufferMode = OpenAL.alGetProcAddress("EAXGetBufferMode");
    if (!eaxSetBufferMode || !eaxGetBufferMode) return false;
    const char* names[5] = {"AL_EAX_RAM_SIZE", "AL_EAX_RAM_FREE", "AL_STORAGE_AUTOMATIC", "AL_STORAGE_HARDWARE",
                            "AL_STORAGE_ACCESSIBLE"};
    bool all = true;
    for (int i = 0; i < 5; ++i) {
        eaxRamEnums[i] = OpenAL.alGetEnumValue(names[i]);
        all = all && eaxRamEnums[i] != 0;
    }
    return all;
}

bool LoadEfx() {
    if (!soundActive) return false;
    ALCdevice* device = OpenAL.alcGetContextsDevice(OpenAL.alcGetCurrentContext());
    if (OpenAL.alcIsExtensionPresent(device, "ALC_EXT_EFX") != ALC_TRUE) return false;
    static const char* const kinds[3][3] = {{"Effect", "Effects", "Effect"},
                                            {"Filter", "Filters", "Filter"},
                                            {"AuxiliaryEffectSlot", "AuxiliaryEffectSlots", "AuxiliaryEffectSlot"}};
    // Eleven functions per object kind: Gen, Delete, Is, then the setters and getters.
    static const char* const patterns[11] = {"alGen%s",  "alDelete%s", "alIs%s",    "al%si",
                                             "al%siv",   "al%sf",      "al%sfv",    "alGet%si",
                                             "alGet%siv", "alGet%sf",  "alGet%sfv"};
    bool all = true;
    for (int k = 0; k < 3; ++k) {
        for (int p = 0; p < 11; ++p) {
            char name[64];
            const char* noun = p < 2 ? kinds[k][1] : kinds[k][0];
            std::snprintf(name, sizeof name, patterns[p], noun);
            efxEntryPoints[k * 11 + p] = OpenAL.alGetProcAddress(name);
            all = all && efxEntryPoints[k * 11 + p] != nullptr;
        }
    }
    return all;
}

bool StartSoundSystem() {
    {
        std::lock_guard<std::recursive_mutex> guard(MusicThread.Lock());
        ClearMusicCallbacks();
    }
    delete Waves;
    Waves = new CWaves();
    soundOffReason[0] = 0;
    // Without a device the libraries below would each explain why on stderr before the one line
    // this function writes.
    QuietenSoundLibraries();
    if (!LoadVorbisFile()) {
        if (!soundOffReason[0]) {
            char text[256];
            std::snprintf(text, sizeof text, "cannot load %s", VorbisFileLibraryName);
            SetSoundOffReason(text);
        }
    } else if (InitOpenAL()) {
        soundActive = true;
        std::lock_guard<std::recursive_mutex> guard(MusicThread.Lock());
        SetMusicFileCallbacks();
        OpenAL.alGenBuffers(4, MusicStream.buffers);
        OpenAL.alGenSources(1, &MusicStream.source);
        return true;
    }
    std::fprintf(stderr, "audio: %s; sound is off\n", soundOffReason[0] ? soundOffReason : "no audio device");
    delete Waves;
    Waves = nullptr;
    UnloadVorbisFile();
    if (openALModule && !openALClaimed) UnloadOpenAL();
    return false;
}

void StopSoundSystem() {
    {
        std::lock_guard<std::recursive_mutex> guard(MusicThread.Lock());
        ClearMusicCallbacks();
        MusicThread.RemoveJob(MusicThread.oneShotJobs, &MusicThread.musicJob);
        StopMusicStream();
    }
    // The worker uses the source, the buffers and the decoder: it ends before they go.
    MusicThread.StopAndJoin();
    {
        std::lock_guard<std::recursive_mutex> guard(MusicThread.Lock());
        CloseMusicFile();
        ReleaseMusicStreamBuffers();
    }
    UnloadVorbisFile();
    if (soundActive) {
        ALCcontext* context = OpenAL.alcGetCurrentContext();
        ALCdevice* device = context ? OpenAL.alcGetContextsDevice(context) : nullptr;
        OpenAL.alcMakeContextCurrent(nullptr);
        if (context) OpenAL.alcDestroyContext(context);
        if (device) OpenAL.alcCloseDevice(device);
    }
    UnloadOpenAL();
    delete Waves;
    Waves = nullptr;
}

// --- WAV reading --------------------------------------------------------------------------------

bool IsPlainDataName(const char* name) {
    if (!name || !*name) return false;
    size_t length = std::strlen(name);
    if (length >= 256 || name[0] == '/' || name[0] == '\\') return false;
    const char* part = name;
    for (const char* p = name;; ++p) {
        if (*p == '/' || *p == '\\' || *p == 0) {
            if (p - part == 2 && part[0] == '.' && part[1] == '.') return false;
            if (*p == 0) break;
            part = p + 1;
        }
    }
    return true;
}

int ParseWaveBytes(const uint8_t* bytes, size_t size, WaveRecord& record) {
    record.formatType = WaveTypeNone;
    record.format = WaveFormat{};
    record.dataSize = 0;
    record.dataOffset = 0;
    if (!bytes || size < 12 || !SameTag(bytes, "RIFF") || !SameTag(bytes + 8, "WAVE")) return WaveBadFile;
    uint64_t pos = 12;
    while (pos + 8 <= size) {
        const uint8_t* header = bytes + pos;
        uint64_t chunkSize = U32(header + 4);
        pos += 8;
        if (SameTag(header, "data")) {
            uint64_t left = size - pos;
            record.dataSize = static_cast<uint32_t>(chunkSize < left ? chunkSize : left);
            record.dataOffset = static_cast<uint32_t>(pos);
            break;
        }
        if (SameTag(header, "fmt ") && chunkSize <= 40) {
            // A short chunk leaves the rest of the block zero, also when the file ends inside it.
            uint8_t block[40] = {};
            uint64_t left = size - pos;
            std::memcpy(block, bytes + pos, static_cast<size_t>(chunkSize < left ? chunkSize : left));
            uint16_t tag = U16(block);
            if (tag == 1 || tag == 0xFFFE) {
                WaveFormat f{};
                f.formatTag = tag;
                f.channels = U16(block + 2);
                f.samplesPerSec = U32(block + 4);
                f.avgBytesPerSec = U32(block + 8);
                f.blockAlign = U16(block + 12);
                f.bitsPerSample = U16(block + 14);
                if (tag == 0xFFFE) {
                    f.extraSize = U16(block + 16);
                    f.validBitsPerSample = U16(block + 18);
                    f.channelMask = U32(block + 20);
                    std::memcpy(f.subFormat, block + 24, 16);
                }
                record.format = f;
                record.formatType = tag == 1 ? WaveTypePcm : WaveTypeExtensible;
            }
        }
        pos += chunkSize + (chunkSize & 1);  // chunks are padded to an even size
    }
    if (record.dataSize == 0 || record.dataOffset == 0 || record.formatType == WaveTypeNone) return WaveBadFile;
    return WaveOk;
}

CWaves::CWaves() = default;

CWaves::~CWaves() {
    for (WaveRecord*& w : waves_) {
        delete w;
        w = nullptr;
    }
}

int CWaves::ParseFile(const char* name, WaveRecord* record) {
    if (!name || !record) return WaveBadArgument;
    *record = WaveRecord{};
    if (!IsPlainDataName(name)) return WaveOpenFailed;
    NztFile stream;
    if (!stream.OpenRead(name, PackTrees[PackSounds])) return WaveOpenFailed;
    bool whole;
    try {
        whole = stream.ReadToEnd(record->fileBytes, MaxWaveFileBytes);
    } catch (const std::bad_alloc&) {
        whole = false;
    }
    stream.Close();
    int result = whole ? ParseWaveBytes(record->fileBytes.data(), record->fileBytes.size(), *record) : WaveBadFile;
    if (result != WaveOk) record->fileBytes = {};
    return result;
}

int CWaves::OpenWaveFile(const char* name, int* id) {
    if (!name || !id) return WaveBadArgument;
    auto* record = new (std::nothrow) WaveRecord();
    if (!record) return WaveNoMemory;
    int result = ParseFile(name, record);
    if (result != WaveOk) {
        delete record;
        return result;
    }
    try {
        const uint8_t* first = record->fileBytes.data() + record->dataOffset;
        record->data.assign(first, first + record->dataSize);
    } catch (const std::bad_alloc&) {
        delete record;
        return WaveNoMemory;
    }
    record->fileBytes = {};
    for (int i = 0; i < MaxWaves; ++i) {
        if (!waves_[i]) {
            waves_[i] = record;
            *id = i;
            return WaveOk;
        }
    }
    delete record;
    return WaveNoMemory;
}

int CWaves::DeleteWaveFile(int id) {
    if (id < 0 || id >= MaxWaves || !waves_[id]) return WaveBadId;
    delete waves_[id];
    waves_[id] = nullptr;
    return WaveOk;
}

const WaveRecord* CWaves::GetWave(int id) const {
    if (id < 0 || id >= MaxWaves) return nullptr;
    return waves_[id];
}

int CWaves::GetALFormat(int id, WaveEnumLookup lookup, ALenum* format) const {
    const WaveRecord* wave = GetWave(id);
    if (!wave) return WaveBadId;
    if (!lookup || !format) return WaveBadArgument;
    *format = 0;
    const char* name = WaveFormatName(*wave);
    if (!name) return WaveNoALFormat;
    *format = lookup(name);
    return *format ? WaveOk : WaveNoALFormat;
}

bool LoadWaveToBuffer(const char* name, ALuint buffer) {
    if (!Waves || !soundActive) return false;
    int id = -1;
    int result = Waves->OpenWaveFile(name, &id);
    if (result != WaveOk) {
        if (result != WaveOpenFailed) std::fprintf(stderr, "audio: %s: not a usable WAV file (%d)\n", name, result);
        return false;
    }
    const WaveRecord* wave = Waves->GetWave(id);
    ALenum format = 0;
    bool ok = false;
    if (Waves->GetALFormat(id, OpenAL.alGetEnumValue, &format) != WaveOk) {
        std::fprintf(stderr, "audio: %s: %u channels of %u bits have no OpenAL format\n", name,
                     wave->format.channels, wave->format.bitsPerSample);
    } else {
        OpenAL.alGetError();
        OpenAL.alBufferData(buffer, format, wave->data.data(), static_cast<ALsizei>(wave->dataSize),
                            static_cast<ALsizei>(wave->format.samplesPerSec));
        ok = OpenAL.alGetError() == AL_NO_ERROR;
        if (!ok) std::fprintf(stderr, "audio: %s: OpenAL refuses its sample data\n", name);
    }
    Waves->DeleteWaveFile(id);
    return ok;
}
