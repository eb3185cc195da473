// OpenAL start-up and shutdown, the run-time loaded OpenAL entry points, the audio device list,
// and the WAV reader that fills OpenAL buffers.
#pragma once

// OpenAL is reached only through the table below, never through link-time imports.
#ifndef AL_NO_PROTOTYPES
#define AL_NO_PROTOTYPES
#endif
#ifndef ALC_NO_PROTOTYPES
#define ALC_NO_PROTOTYPES
#endif
#include <AL/al.h>
#include <AL/alc.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The OpenAL entry points, in the order LoadOpenALLibrary fetches them.
struct OpenALTable {
    LPALENABLE alEnable;
    LPALDISABLE alDisable;
    LPALISENABLED alIsEnabled;
    LPALGETBOOLEAN alGetBoolean;
    LPALGETINTEGER alGetInteger;
    LPALGETFLOAT alGetFloat;
    LPALGETDOUBLE alGetDouble;
    LPALGETBOOLEANV alGetBooleanv;
    LPALGETINTEGERV alGetIntegerv;
    LPALGETFLOATV alGetFloatv;
    LPALGETDOUBLEV alGetDoublev;
    LPALGETSTRING alGetString;
    LPALGETERROR alGetError;
    LPALISEXTENSIONPRESENT alIsExtensionPresent;
    LPALGETPROCADDRESS alGetProcAddress;
    LPALGETENUMVALUE alGetEnumValue;
    LPALLISTENERI alListeneri;
    LPALLISTENERF alListenerf;
    LPALLISTENER3F alListener3f;
    LPALLISTENERFV alListenerfv;
    LPALGETLISTENERI alGetListeneri;
    LPALGETLISTENERF alGetListenerf;
    LPALGETLISTENER3F alGetListener3f;
    LPALGETLISTENERFV alGetListenerfv;
    LPALGENSOURCES alGenSources;
    LPALDELETESOURCES alDeleteSources;
    LPALISSOURCE alIsSource;
    LPALSOURCEI alSourcei;
    LPALSOURCEF alSourcef;
    LPALSOURCE3F alSource3f;
    LPALSOURCEFV alSourcefv;
    LPALGETSOURCEI alGetSourcei;
    LPALGETSOURCEF alGetSourcef;
    LPALGETSOURCEFV alGetSourcefv;
    LPALSOURCEPLAYV alSourcePlayv;
    LPALSOURCESTOPV alSourceStopv;
    LPALSOURCEPLAY alSourcePlay;
    LPALSOURCEPAUSE alSourcePause;
    LPALSOURCESTOP alSourceStop;
    LPALGENBUFFERS alGenBuffers;
    LPALDELETEBUFFERS alDeleteBuffers;
    LPALISBUFFER alIsBuffer;
    LPALBUFFERDATA alBufferData;
    LPALGETBUFFERI alGetBufferi;
    LPALGETBUFFERF alGetBufferf;
    LPALSOURCEQUEUEBUFFERS alSourceQueueBuffers;
    LPALSOURCEUNQUEUEBUFFERS alSourceUnqueueBuffers;
    LPALDISTANCEMODEL alDistanceModel;
    LPALDOPPLERFACTOR alDopplerFactor;
    LPALDOPPLERVELOCITY alDopplerVelocity;
    LPALCGETSTRING alcGetString;
    LPALCGETINTEGERV alcGetIntegerv;
    LPALCOPENDEVICE alcOpenDevice;
    LPALCCLOSEDEVICE alcCloseDevice;
    LPALCCREATECONTEXT alcCreateContext;
    LPALCMAKECONTEXTCURRENT alcMakeContextCurrent;
    LPALCPROCESSCONTEXT alcProcessContext;
    LPALCGETCURRENTCONTEXT alcGetCurrentContext;
    LPALCGETCONTEXTSDEVICE alcGetContextsDevice;
    LPALCSUSPENDCONTEXT alcSuspendContext;
    LPALCDESTROYCONTEXT alcDestroyContext;
    LPALCGETERROR alcGetError;
    LPALCISEXTENSIONPRESENT alcIsExtensionPresent;
    LPALCGETPROCADDRESS alcGetProcAddress;
    LPALCGETENUMVALUE alcGetEnumValue;
};

// The one table the whole program calls OpenAL through. Filled while the sound system runs
// (StartSoundSystem succeeded), all null otherwise.
extern OpenALTable OpenAL;

// True while the sound system runs: a device is open, its context current and OpenAL reachable.
bool SoundSystemActive();

// Loads the OpenAL library (once; later calls reuse the module) and fills the table. False when
// the library is missing or lacks an entry point; the entries behind a missing one stay null.
bool LoadOpenALLibrary(OpenALTable* table);

// The run-time library names; tests point them elsewhere to see the sound system stay off.
extern const char* OpenALLibraryName;     // "libopenal.so.1"
extern const char* VorbisFileLibraryName; // "libvorbisfile.so.3"

// Brings sound up: vorbisfile, a device and context, the music source and its stream buffers.
// False (one line on stderr) when sound is not available; everything then runs silent.
bool StartSoundSystem();
// Stops the music worker, frees the music source and buffers, closes the device, unloads the
// libraries. Safe when the sound system never started.
void StopSoundSystem();
bool InitOpenAL();
bool LoadEaxRam();
bool LoadEfx();

// One audio device found by the enumeration.
struct AudioDeviceRecord {
    std::string name;  // as the opened device reports itself
    int32_t majorVersion = 0;
    int32_t minorVersion = 0;
    uint32_t maxSources = 0;  // 0 to 256
    std::vector<std::string> extensions;  // supported names among the probed ones, in probing order
    uint8_t selected = 1;
};

// The usable audio devices. Built (Enumerate) when constructed; Destroy runs when destroyed.
class AudioDeviceList {
public:
    AudioDeviceList();
    ~AudioDeviceList();
    AudioDeviceList(const AudioDeviceList&) = delete;
    AudioDeviceList& operator=(const AudioDeviceList&) = delete;

    void Enumerate();
    // The device walk of Enumerate over the table as it is (Enumerate loads it first).
    void EnumerateDevices();
    void Destroy();
    const char* GetDeviceName(int index) const;
    int GetDeviceCount() const { return static_cast<int>(records.size()); }
    void ResetFilters();
    uint32_t GetMaxSources();

    OpenALTable table{};
    std::vector<AudioDeviceRecord> records;
    int32_t defaultIndex = 0;
    uint32_t filter = 0;
};

// --- WAV reading -------------------------------------------------------------------------------

// CWaves result codes.
enum WaveResult : int {
    WaveOk = 0,
    WaveOpenFailed = -1,
    WaveBadFile = -2,      // not RIFF/WAVE, or no usable format and data
    WaveBadArgument = -3,
    WaveBadId = -4,
    WaveNoMemory = -14,    // out of memory, or the table is full
    WaveNoALFormat = -16,  // a channel layout OpenAL has no format for
};

enum WaveFormatType : uint32_t { WaveTypeNone = 0, WaveTypePcm = 1, WaveTypeExtensible = 2 };

// The 40-byte extensible format block; plain PCM fills its first 16 bytes only.
struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
    uint16_t validBitsPerSample;
    uint32_t channelMask;
    uint8_t subFormat[16];
};

struct WaveRecord {
    uint32_t formatType = WaveTypeNone;
    WaveFormat format{};
    std::vector<uint8_t> data;  // the samples, dataSize bytes once opened
    uint32_t dataSize = 0;
    std::vector<uint8_t> fileBytes;  // the whole file while it is parsed
    uint32_t dataOffset = 0;         // position of the first sample byte in the file
};

// Walks the chunks of a WAV file held in memory and fills the format, data size and data
// offset of the record. The walk stops at "data" or at the end of the bytes; a data chunk that
// claims more than is left is clamped to what is left. Returns WaveOk or WaveBadFile.
int ParseWaveBytes(const uint8_t* bytes, size_t size, WaveRecord& record);

using WaveEnumLookup = ALenum (*)(const ALchar* name);

class CWaves {
public:
    static constexpr int MaxWaves = 1024;

    CWaves();
    virtual ~CWaves();
    CWaves(const CWaves&) = delete;
    CWaves& operator=(const CWaves&) = delete;

    // Reads and parses a data file (relative name), keeps its samples in the first free slot.
    int OpenWaveFile(const char* name, int* id);
    int ParseFile(const char* name, WaveRecord* record);
    int DeleteWaveFile(int id);
    int GetALFormat(int id, WaveEnumLookup lookup, ALenum* format) const;
    // The record of a slot, or null for a bad id or an empty slot.
    const WaveRecord* GetWave(int id) const;

private:
    WaveRecord* waves_[MaxWaves] = {};
};

// The reader while the sound system runs; null otherwise.
extern CWaves* Waves;

// Reads a WAV data file into an OpenAL buffer. False (with a line on stderr when the file is
// bad) when the file cannot be used or OpenAL refuses the data.
bool LoadWaveToBuffer(const char* name, ALuint buffer);

// A relative data name that is safe to join to the data folder: not empty, shorter than 256,
// not absolute, no ".." component.
bool IsPlainDataName(const char* name);
