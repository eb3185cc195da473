// Suites that start the sound system on a real OpenAL device: the null device, or the wave-file
// writer where what was played is measured afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio/music.h"
#include "audio/oggstream.h"
#include "audio/openal.h"
#include "audio/sound.h"
#include "audio/volume.h"
#include "audio_fixture.h"
#include "core/thread.h"
#include "datakit/ogg.h"
#include "datakit/wav.h"

namespace {

using audiotest::MeasureChannel;
using audiotest::WaitUntil;

// Waits end as soon as what they wait for happens; the bound only catches a hang, and leaves
// room for a machine busy with other tests.
constexpr int WaitMs = 10000;

struct Event {
    uint32_t code;
    std::thread::id thread;
};
std::mutex eventsLock;
std::vector<Event> events;

void RecordEvent(uint32_t code) {
    std::lock_guard<std::mutex> guard(eventsLock);
    events.push_back({code, std::this_thread::get_id()});
}

std::vector<uint32_t> EventCodes() {
    std::lock_guard<std::mutex> guard(eventsLock);
    std::vector<uint32_t> codes;
    for (const Event& e : events) codes.push_back(e.code);
    return codes;
}

// The frame's share of the music work: what the worker posted is run here, on this thread.
bool PumpUntil(const std::function<bool()>& done, int ms) {
    return WaitUntil(
        [&] {
            DispatchMusicEvents();
            return done();
        },
        ms);
}

bool SawEvent(uint32_t code, size_t times = 1) {
    size_t n = 0;
    for (uint32_t c : EventCodes()) n += c == code;
    return n >= times;
}

std::vector<int16_t> Tone(uint32_t rate, int channels, double seconds, double frequency, std::vector<int> on = {}) {
    return datakit::SineTone(rate, static_cast<uint16_t>(channels), seconds, frequency, 0.5, on);
}

// The start-up and shutdown steps of the program around the audio parts.
class AudioSession : public ::testing::Test {
protected:
    void SetUp() override {
        events.clear();
        SetMusicEventObserver(RecordEvent);
        MusicVolume = 1.0f;
        SoundVolume = 1.0f;
        MusicFade = {};
        CurrentMusicTrack[0] = 0;
    }
    void Start() {
        ASSERT_TRUE(StartSoundSystem());
        MusicThread.musicJob.persistent = 0;
        MusicThread.musicJob.function = MusicStreamLoop;
        MusicThread.autoStart = 1;
        InitSound();
        MusicEndCallback = OnMusicEnded;
        CurrentPlaylist = CreateMusicPlaylist();
    }
    void Stop() {
        DeleteAllSounds();
        StopMusic();
        StopSoundSystem();
    }
    void TearDown() override {
        Stop();
        ClearMusicPlaylist();
        SetMusicEventObserver(nullptr);
        OpenALLibraryName = "libopenal.so.1";
        VorbisFileLibraryName = "libvorbisfile.so.3";
    }
    void WriteOgg(const std::string& name, const std::vector<int16_t>& samples, int channels, long rate) {
        ASSERT_TRUE(datakit::WriteOggVorbis((folder.Datas() / "MUSICS" / (name + ".Ogg")).string(), samples, channels,
                                            rate));
    }
    audiotest::DataFolder folder;
};

// With the wave-file writer as the device; the file is complete once the system stops.
class AudioOutput : public AudioSession {
protected:
    void SetUp() override {
        AudioSession::SetUp();
        out = folder.Root() / "out.wav";
        audiotest::UseWaveWriter(folder.Root(), out);
        Start();
    }
    std::filesystem::path out;
};

class AudioNullDevice : public AudioSession {
protected:
    void SetUp() override {
        AudioSession::SetUp();
        audiotest::UseNullDevice();
        Start();
    }
};

TEST_F(AudioNullDevice, StartsWithTheMusicSourceAndStopsCleanly) {
    EXPECT_TRUE(SoundSystemActive());
    EXPECT_NE(MusicStream.source, 0u);
    for (ALuint b : MusicStream.buffers) EXPECT_NE(b, 0u);
    ASSERT_NE(Waves, nullptr);
    Stop();
    EXPECT_FALSE(SoundSystemActive());
    EXPECT_EQ(Waves, nullptr);
    EXPECT_EQ(MusicStream.source, 0u);
    Start();  // and up again
    EXPECT_TRUE(SoundSystemActive());
}

TEST_F(AudioNullDevice, LoadSoundFindsASlotByNameAndOwner) {
    folder.Write("SOUNDS/Beep.Wav", datakit::Pcm16Wav(Tone(22050, 1, 0.05, 880), 1, 22050));
    folder.Write("SOUNDS/Boop.Wav", datakit::Pcm16Wav(Tone(22050, 2, 0.05, 440), 2, 22050));
    auto* a = reinterpret_cast<NztBase3D*>(0x1000);
    auto* b = reinterpret_cast<NztBase3D*>(0x2000);
    EXPECT_EQ(LoadSound("SOUNDS/Beep.Wav", a), 0);
    EXPECT_EQ(LoadSound("SOUNDS/Beep.Wav", b), 1);
    EXPECT_EQ(LoadSound("SOUNDS/Beep.Wav", a), 0);
    EXPECT_EQ(LoadSound("SOUNDS/Beep.Wav", nullptr), 2);
    EXPECT_EQ(LoadSound("SOUNDS/Boop.Wav", a), 3);
    EXPECT_NE(SoundTable.slots[3].buffer, 0u);

    EXPECT_EQ(LoadSound("SOUNDS/Missing.Wav", a), NoSoundSlot);
    EXPECT_EQ(SoundTable.count, 4u) << "a failed load hands out no slot";
    EXPECT_EQ(LoadSound("SOUNDS/Boop.Wav", b), 4) << "the slot of the failed load is used next";

    const float at[3] = {0, 0, -5};
    EXPECT_EQ(PlaySoundSlot(0, at, 0), 0);
    EXPECT_EQ(PlaySoundSlot(NoSoundSlot, at, 0), NoSoundSlot);
    EXPECT_EQ(SoundTable.slots[0].playCount, 1u);
    EXPECT_EQ(LoadAndPlaySoundAt("SOUNDS/Beep.Wav", 4000, at), 1055) << "fixed channel clamped to the last slot";
    EXPECT_EQ(LoadAndPlaySoundAtListener("SOUNDS/Beep.Wav", -3, 0), 0) << "clamped to slot 0";
    EXPECT_EQ(LoadAndPlaySoundAtListener("SOUNDS/Missing.Wav", 1030, 0), NoSoundSlot);

    StopOwnerSounds(a);
    EXPECT_EQ(SoundTable.slots[3].owner, nullptr);
    EXPECT_NE(SoundTable.slots[3].buffer, 0u) << "buffer and source stay allocated";
    EXPECT_EQ(LoadSound("SOUNDS/Beep.Wav", b), 1);
}

TEST_F(AudioNullDevice, UnusableWavFilesAreRefusedWithALine) {
    folder.Write("SOUNDS/Short.Wav", datakit::WavFile({{"fmt ", datakit::WavFmtPcm(1, 22050, 16)}}));
    folder.Write("SOUNDS/Six.Wav",
                 datakit::WavFile({{"fmt ", datakit::WavFmtExtensible(6, 22050, 16, 0x60F)},
                                   {"data", datakit::SamplesToBytes(Tone(22050, 6, 0.01, 100))}}));
    for (const char* name : {"SOUNDS/Short.Wav", "SOUNDS/Six.Wav"}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(LoadSound(name, nullptr), NoSoundSlot) << name;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind(std::string("audio: ") + name, 0), 0u) << err;
    }
    // No wave record stays behind: the next open gets the first slot.
    int id = -1;
    folder.Write("SOUNDS/Ok.Wav", datakit::Pcm16Wav(Tone(22050, 1, 0.01, 100), 1, 22050));
    ASSERT_EQ(Waves->OpenWaveFile("SOUNDS/Ok.Wav", &id), WaveOk);
    EXPECT_EQ(id, 0);
    Waves->DeleteWaveFile(id);
}

TEST_F(AudioNullDevice, AStopBeforeTheLoopTakesTheFileClosesIt) {
    WriteOgg("Tone", Tone(22050, 1, 0.3, 500), 1, 22050);
    MusicThread.autoStart = 0;  // the job stays queued
    EXPECT_EQ(PlayMusicTrack("Tone"), 1u);
    EXPECT_NE(MusicStream.file, nullptr);
    StopMusic();
    EXPECT_EQ(MusicStream.file, nullptr);
    EXPECT_TRUE(MusicThread.oneShotJobs.empty());
    MusicThread.autoStart = 1;
    EXPECT_EQ(PlayMusicTrack("Tone"), 1u);
    EXPECT_TRUE(PumpUntil([] { return SawEvent(MusicEventTrackEnded); }, WaitMs));
}

TEST_F(AudioNullDevice, AFileThatIsNotOggDoesNotBlockTheNextTrack) {
    // Names on disk in another case than the play-list's, as copied from a Windows data folder;
    // the good track made by an independent encoder.
    folder.Write("musics/bad.ogg", std::vector<uint8_t>(5000, 0x42));
    std::string wav = (folder.Root() / "tone.wav").string(), ogg = (folder.Datas() / "musics" / "tone.ogg").string();
    std::string cmd = "sox -n -r 22050 -c 1 -b 16 '" + wav + "' synth 0.3 sine 500 2>&1 && oggenc -Q -o '" + ogg +
                      "' '" + wav + "' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    EXPECT_EQ(PlayMusicTrack("Bad"), 1u) << "the file opens; the worker finds it is not Ogg";
    EXPECT_TRUE(WaitUntil([] {
        std::lock_guard<std::recursive_mutex> guard(MusicThread.Lock());
        return MusicStream.file == nullptr;
    }, WaitMs));
    EXPECT_EQ(PlayMusicTrack("Tone"), 1u);
    EXPECT_TRUE(PumpUntil([] { return SawEvent(MusicEventTrackEnded); }, WaitMs));
    EXPECT_EQ(EventCodes(), (std::vector<uint32_t>{0, 0, 1})) << "no end event for the file that never played";
}

TEST_F(AudioNullDevice, AStopWhileStreamingStaysStopped) {
    WriteOgg("Long", Tone(22050, 2, 2.0, 300), 2, 22050);
    ASSERT_EQ(PlayMusicTrack("Long"), 1u);
    ASSERT_TRUE(WaitUntil([] {
        std::lock_guard<std::recursive_mutex> guard(MusicThread.Lock());
        return MusicStream.played;
    }, WaitMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    StopMusic();
    // A buffer queued again after the stop would keep the loop, and the file, going.
    EXPECT_TRUE(WaitUntil([] {
        std::lock_guard<std::recursive_mutex> guard(MusicThread.Lock());
        return MusicStream.file == nullptr;
    }, WaitMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a refill pass or two more
    DispatchMusicEvents();
    std::lock_guard<std::recursive_mutex> guard(MusicThread.Lock());
    ALint state = 0, queued = -1;
    OpenAL.alGetSourcei(MusicStream.source, AL_SOURCE_STATE, &state);
    OpenAL.alGetSourcei(MusicStream.source, AL_BUFFERS_QUEUED, &queued);
    EXPECT_NE(state, AL_PLAYING);
    EXPECT_EQ(queued, 0);
    EXPECT_EQ(MusicStream.file, nullptr);
    EXPECT_EQ(EventCodes(), std::vector<uint32_t>{0}) << "a stopped track raises no end event";
}

TEST_F(AudioNullDevice, ShutdownWhileStreamingJoinsTheWorker) {
    WriteOgg("Long", Tone(22050, 2, 2.0, 300), 2, 22050);
    ASSERT_EQ(PlayMusicTrack("Long"), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    StopSoundSystem();
    EXPECT_FALSE(MusicThread.IsRunning());
    EXPECT_EQ(MusicStream.file, nullptr);
    EXPECT_FALSE(MusicStream.streaming);
}

// Without the OpenAL or the vorbisfile library the game runs silent, after one line.
TEST_F(AudioSession, MissingLibrariesLeaveSoundOffWithOneLine) {
    WriteOgg("Tone", Tone(22050, 1, 0.2, 500), 1, 22050);
    folder.Write("SOUNDS/Beep.Wav", datakit::Pcm16Wav(Tone(22050, 1, 0.05, 880), 1, 22050));
    const std::pair<const char**, const char*> cases[] = {{&OpenALLibraryName, "/nonexistent/libopenal.so.1"},
                                                          {&VorbisFileLibraryName, "/nonexistent/libvorbisfile.so.3"}};
    for (const auto& [setting, missing] : cases) {
        const char* saved = *setting;
        *setting = missing;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(StartSoundSystem()) << missing;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("audio: ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_FALSE(SoundSystemActive());

        MusicThread.musicJob.function = MusicStreamLoop;
        MusicThread.autoStart = 1;
        InitSound();
        EXPECT_EQ(LoadSound("SOUNDS/Beep.Wav", nullptr), NoSoundSlot);
        EXPECT_EQ(PlayOwnerSound("SOUNDS/Beep.Wav", nullptr, 1), NoSoundSlot);
        SetMasterSoundGain(0.5f);
        UpdateListener(std::vector<float>(3, 1.0f).data(), std::vector<float>(9, 0.0f).data());
        PlayMusicTrack("Tone");
        FadeMusicTo(3, 0.5f);
        UpdateMusicFade();
        StopMusic();
        StopSoundSystem();
        *setting = saved;
    }
}

TEST_F(AudioSession, NoDeviceLeavesSoundOffWithOneLine) {
    const char* drivers = std::getenv("ALSOFT_DRIVERS");
    std::string saved = drivers ? drivers : "";
    setenv("ALSOFT_DRIVERS", "nosuchdriver", 1);  // OpenAL then has no backend and lists no device
    testing::internal::CaptureStderr();
    bool started = StartSoundSystem();
    std::string err = testing::internal::GetCapturedStderr();
    if (drivers) setenv("ALSOFT_DRIVERS", saved.c_str(), 1); else unsetenv("ALSOFT_DRIVERS");
    EXPECT_FALSE(started);
    EXPECT_EQ(err.rfind("audio: no audio device", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(Waves, nullptr);
    EXPECT_EQ(MusicStream.source, 0u);
}

TEST_F(AudioOutput, ASoundToTheRightPlaysInTheRightChannelAtItsFrequency) {
    folder.Write("SOUNDS/Tone.Wav", datakit::Pcm16Wav(Tone(22050, 1, 0.3, 1000), 1, 22050));
    const float eye[3] = {0, 0, 0};
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // row 2 is the view axis: looking down -z
    UpdateListener(eye, identity);
    const float right[3] = {20, 0, 0};
    int slot = LoadSound("SOUNDS/Tone.Wav", nullptr);
    ASSERT_NE(slot, NoSoundSlot);
    PlaySoundSlot(slot, right, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    Stop();
    auto left = MeasureChannel(out, 1), rightStat = MeasureChannel(out, 2);
    ASSERT_GT(rightStat.rms, 0.01) << "nothing reached the right channel";
    EXPECT_GT(rightStat.rms, 4 * left.rms) << "left " << left.rms << " right " << rightStat.rms;
    EXPECT_NEAR(rightStat.frequency, 1000, 50);
}

TEST_F(AudioOutput, AStreamedTrackEndsOnTheMainThreadAndStartsAgain) {
    // Made by an independent encoder: mono 22050 Hz.
    std::string cmd = "sox -n -r 22050 -c 1 '" + (folder.Datas() / "MUSICS" / "Tone.Ogg").string() +
                      "' synth 0.6 sine 1000 2>&1";
    std::filesystem::create_directories(folder.Datas() / "MUSICS");
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ASSERT_TRUE(AddPlaylistTrack("Tone"));
    ASSERT_EQ(PlayMusic(), 1u);
    ASSERT_TRUE(PumpUntil([] { return SawEvent(MusicEventTrackStarted, 2); }, WaitMs)) << "the track did not restart";
    StopMusic();
    EXPECT_EQ(EventCodes(), (std::vector<uint32_t>{0, 1, 0}));
    {
        std::lock_guard<std::mutex> guard(eventsLock);
        for (const Event& e : events) EXPECT_EQ(e.thread, std::this_thread::get_id()) << "event " << e.code;
    }
    Stop();
    auto stat = MeasureChannel(out, 1, 0.1, 0.4);
    EXPECT_GT(stat.rms, 0.05);
    EXPECT_NEAR(stat.frequency, 1000, 50);
}

TEST_F(AudioOutput, ASwitchWhileStreamingPlaysTheNewTrackWithoutAnEndForTheOld) {
    WriteOgg("Low", Tone(44100, 2, 2.0, 440), 2, 44100);
    WriteOgg("High", Tone(44100, 2, 1.5, 1500), 2, 44100);
    ASSERT_EQ(PlayMusicTrack("Low"), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(PlayMusicTrack("High"), 1u);
    ASSERT_TRUE(PumpUntil([] { return SawEvent(MusicEventTrackEnded); }, WaitMs));
    EXPECT_EQ(EventCodes(), (std::vector<uint32_t>{0, 0, 1}));
    Stop();
    // From the first sound: the old track until the switch at about 0.5 s, then the new one for
    // 1.5 s; the late stretch holds however long the switch took on a busy machine.
    EXPECT_NEAR(MeasureChannel(out, 1, 0.1, 0.3).frequency, 440, 30);
    EXPECT_NEAR(MeasureChannel(out, 2, 1.2, 0.5).frequency, 1500, 60);
}

TEST_F(AudioOutput, FivePointOneMusicKeepsItsChannels) {
    // The tone only in Vorbis channel 2, front right: it must come out on the right.
    WriteOgg("Surround", Tone(22050, 6, 0.8, 700, {2}), 6, 22050);
    ASSERT_EQ(PlayMusicTrack("Surround"), 1u);
    ASSERT_TRUE(PumpUntil([] { return SawEvent(MusicEventTrackEnded); }, WaitMs));
    Stop();
    auto left = MeasureChannel(out, 1, 0.2, 0.5), right = MeasureChannel(out, 2, 0.2, 0.5);
    ASSERT_GT(right.rms, 0.02);
    EXPECT_GT(right.rms, 4 * left.rms) << "left " << left.rms << " right " << right.rms;
}

}  // namespace
