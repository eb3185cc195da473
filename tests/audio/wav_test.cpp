#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "audio/openal.h"
#include "audio_fixture.h"
#include "core/pack.h"
#include "datakit/pack.h"
#include "datakit/wav.h"

namespace {

using datakit::WavChunk;
using datakit::WavFile;
using datakit::WavFmtExtensible;
using datakit::WavFmtPcm;
using Bytes = std::vector<uint8_t>;

const Bytes Samples(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 1);
    return b;
}

int Parse(const Bytes& bytes, WaveRecord& record) { return ParseWaveBytes(bytes.data(), bytes.size(), record); }

TEST(WaveParser, ChunkWalkCases) {
    Bytes bigFmt = WavFmtPcm(1, 22050, 16);
    bigFmt.resize(42);
    Bytes shortFmt = WavFmtPcm(1, 22050, 16);
    shortFmt.resize(14);  // the old WAVEFORMAT without the bits field
    Bytes floatFmt = WavFmtPcm(1, 22050, 32);
    floatFmt[0] = 3;

    struct Case {
        const char* what;
        Bytes file;
        int result;
        uint32_t type;
        uint32_t dataSize;
    };
    const Case cases[] = {
        {"plain PCM", WavFile({{"fmt ", WavFmtPcm(1, 22050, 16)}, {"data", Samples(100)}}), WaveOk, WaveTypePcm, 100},
        {"lower-case RIFF and WAVE", WavFile({{"fmt ", WavFmtPcm(1, 22050, 16)}, {"data", Samples(8)}}, "riff", "wave"),
         WaveOk, WaveTypePcm, 8},
        {"upper-case chunk tags", WavFile({{"FMT ", WavFmtPcm(2, 22050, 16)}, {"DATA", Samples(8)}}), WaveOk, WaveTypePcm,
         8},
        {"not RIFF", WavFile({{"fmt ", WavFmtPcm(1, 22050, 16)}, {"data", Samples(8)}}, "RIFX"), WaveBadFile, 0, 0},
        {"not WAVE", WavFile({{"fmt ", WavFmtPcm(1, 22050, 16)}, {"data", Samples(8)}}, "RIFF", "AVI "), WaveBadFile, 0,
         0},
        {"fmt longer than 40", WavFile({{"fmt ", bigFmt}, {"data", Samples(8)}}), WaveBadFile, 0, 0},
        {"fmt after data", WavFile({{"data", Samples(8)}, {"fmt ", WavFmtPcm(1, 22050, 16)}}), WaveBadFile, 0, 0},
        {"no data", WavFile({{"fmt ", WavFmtPcm(1, 22050, 16)}, {"LIST", Samples(20)}}), WaveBadFile, 0, 0},
        {"no fmt", WavFile({{"data", Samples(8)}}), WaveBadFile, 0, 0},
        {"empty data", WavFile({{"fmt ", WavFmtPcm(1, 22050, 16)}, {"data", {}}}), WaveBadFile, 0, 0},
        {"float format tag", WavFile({{"fmt ", floatFmt}, {"data", Samples(8)}}), WaveBadFile, 0, 0},
        {"odd chunk before fmt is padded",
         WavFile({{"LIST", Samples(5)}, {"fmt ", WavFmtPcm(1, 22050, 16)}, {"data", Samples(6)}}), WaveOk, WaveTypePcm,
         6},
        {"data larger than the file is clamped",
         WavFile({{"fmt ", WavFmtPcm(1, 22050, 16)}, {"data", Samples(10), 1000000}}), WaveOk, WaveTypePcm, 10},
        {"chunk claiming 4 GiB before fmt",
         WavFile({{"junk", Samples(4), 0xFFFFFFFF}, {"fmt ", WavFmtPcm(1, 22050, 16)}, {"data", Samples(8)}}),
         WaveBadFile, 0, 0},
        {"short fmt leaves the rest zero", WavFile({{"fmt ", shortFmt}, {"data", Samples(8)}}), WaveOk, WaveTypePcm, 8},
        {"extensible 5.1", WavFile({{"fmt ", WavFmtExtensible(6, 48000, 16, 63)}, {"data", Samples(24)}}), WaveOk,
         WaveTypeExtensible, 24},
        {"chunks behind data are never read",
         WavFile({{"fmt ", WavFmtPcm(1, 8000, 8)}, {"data", Samples(3)}, {"fmt ", WavFmtExtensible(2, 1, 16, 3)}}),
         WaveOk, WaveTypePcm, 3},
        {"header only", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, WaveBadFile, 0, 0},
        {"shorter than a header", Bytes{'R', 'I', 'F', 'F'}, WaveBadFile, 0, 0},
    };
    for (const Case& c : cases) {
        WaveRecord record;
        record.format.bitsPerSample = 99;  // stale values must not survive
        EXPECT_EQ(Parse(c.file, record), c.result) << c.what;
        if (c.result != WaveOk) continue;
        EXPECT_EQ(record.formatType, c.type) << c.what;
        EXPECT_EQ(record.dataSize, c.dataSize) << c.what;
        ASSERT_LE(uint64_t{record.dataOffset} + record.dataSize, c.file.size()) << c.what;
    }
}

TEST(WaveParser, FormatFieldsAreReadLittleEndian) {
    WaveRecord record;
    ASSERT_EQ(Parse(WavFile({{"fmt ", WavFmtExtensible(6, 48000, 16, 0x3F)}, {"data", Samples(12)}}), record), WaveOk);
    EXPECT_EQ(record.format.channels, 6);
    EXPECT_EQ(record.format.samplesPerSec, 48000u);
    EXPECT_EQ(record.format.blockAlign, 12);
    EXPECT_EQ(record.format.bitsPerSample, 16);
    EXPECT_EQ(record.format.channelMask, 0x3Fu);

    Bytes shortFmt = WavFmtPcm(1, 22050, 16);
    shortFmt.resize(14);
    ASSERT_EQ(Parse(WavFile({{"fmt ", shortFmt}, {"data", Samples(8)}}), record), WaveOk);
    EXPECT_EQ(record.format.bitsPerSample, 0) << "bytes beyond a short fmt chunk are zero";
}

TEST(WaveParser, TruncatedAtEveryByte) {
    const Bytes full = WavFile({{"LIST", Samples(7)}, {"fmt ", WavFmtPcm(2, 11025, 16)}, {"data", Samples(16)}});
    const size_t dataOffset = full.size() - 16;
    for (size_t length = 0; length < full.size(); ++length) {
        // A copy of exactly `length` bytes, so AddressSanitizer sees any read beyond it.
        Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        WaveRecord record;
        int result = ParseWaveBytes(cut.data(), cut.size(), record);
        if (length <= dataOffset) {
            EXPECT_EQ(result, WaveBadFile) << "length " << length;
        } else {
            ASSERT_EQ(result, WaveOk) << "length " << length;
            EXPECT_EQ(record.dataSize, length - dataOffset);
        }
    }
}

// Names the format lookup answers with a number of its own; anything else gets 0.
ALenum FakeLookup(const ALchar* name) {
    static const std::map<std::string, ALenum> known = {
        {"AL_FORMAT_MONO8", 1},  {"AL_FORMAT_MONO16", 2},  {"AL_FORMAT_STEREO8", 3},
        {"AL_FORMAT_STEREO16", 4}, {"AL_FORMAT_QUAD16", 5}, {"AL_FORMAT_REAR16", 6},
        {"AL_FORMAT_51CHN16", 7}, {"AL_FORMAT_61CHN16", 8}, {"AL_FORMAT_71CHN16", 9}};
    auto it = known.find(name);
    return it == known.end() ? 0 : it->second;
}

ALenum NothingKnown(const ALchar*) { return 0; }

class Waves : public ::testing::Test {
protected:
    audiotest::DataFolder folder;
    CWaves waves;
};

TEST_F(Waves, FormatTable) {
    struct Case {
        Bytes fmt;
        ALenum format;  // 0: no OpenAL format
    };
    const Case cases[] = {
        {WavFmtPcm(1, 22050, 16), 2},
        {WavFmtPcm(1, 22050, 8), 1},
        {WavFmtPcm(1, 22050, 24), 1},  // any width but 16 is taken as 8 bits
        {WavFmtPcm(2, 22050, 16), 4},
        {WavFmtPcm(2, 22050, 8), 3},
        {WavFmtPcm(4, 22050, 16), 5},
        {WavFmtPcm(4, 22050, 8), 0},
        {WavFmtPcm(6, 22050, 16), 0},
        {WavFmtExtensible(1, 22050, 16, 4), 2},
        {WavFmtExtensible(1, 22050, 8, 4), 1},
        {WavFmtExtensible(1, 22050, 16, 3), 0},
        {WavFmtExtensible(2, 22050, 16, 3), 4},
        {WavFmtExtensible(2, 22050, 8, 3), 3},
        {WavFmtExtensible(2, 22050, 16, 0x30), 6},
        {WavFmtExtensible(2, 22050, 8, 0x30), 0},
        {WavFmtExtensible(4, 22050, 16, 0x33), 5},
        {WavFmtExtensible(6, 22050, 16, 0x3F), 7},
        {WavFmtExtensible(6, 22050, 16, 0x60F), 0},
        {WavFmtExtensible(6, 22050, 8, 0x3F), 0},
        {WavFmtExtensible(7, 22050, 16, 0x13F), 8},
        {WavFmtExtensible(8, 22050, 16, 0x63F), 9},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(row++);
        folder.Write("SOUNDS/f.Wav", WavFile({{"fmt ", c.fmt}, {"data", Samples(48)}}));
        int id = -1;
        ASSERT_EQ(waves.OpenWaveFile("SOUNDS/f.Wav", &id), WaveOk);
        ALenum format = 77;
        EXPECT_EQ(waves.GetALFormat(id, FakeLookup, &format), c.format ? WaveOk : WaveNoALFormat);
        EXPECT_EQ(format, c.format);
        EXPECT_EQ(waves.GetALFormat(id, NothingKnown, &format), WaveNoALFormat) << "a lookup answering 0";
        EXPECT_EQ(waves.DeleteWaveFile(id), WaveOk);
    }
}

TEST_F(Waves, OpenKeepsTheSamplesAndFreesNothingItDidNotTake) {
    folder.Write("SOUNDS/ok.Wav", WavFile({{"fmt ", WavFmtPcm(1, 8000, 8)}, {"data", Samples(33)}}));
    folder.Write("SOUNDS/bad.Wav", WavFile({{"fmt ", WavFmtPcm(1, 8000, 8)}}));
    int id = -1;
    EXPECT_EQ(waves.OpenWaveFile(nullptr, &id), WaveBadArgument);
    EXPECT_EQ(waves.OpenWaveFile("SOUNDS/ok.Wav", nullptr), WaveBadArgument);
    EXPECT_EQ(waves.OpenWaveFile("SOUNDS/missing.Wav", &id), WaveOpenFailed);
    EXPECT_EQ(waves.OpenWaveFile("SOUNDS/bad.Wav", &id), WaveBadFile);
    EXPECT_EQ(waves.OpenWaveFile("../work/x.Wav", &id), WaveOpenFailed) << "no way out of the data folder";
    ASSERT_EQ(waves.OpenWaveFile("SOUNDS/ok.Wav", &id), WaveOk);
    EXPECT_EQ(id, 0) << "failed opens took no slot";
    const WaveRecord* wave = waves.GetWave(id);
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(wave->data, Samples(33));
    EXPECT_EQ(wave->format.samplesPerSec, 8000u);

    ALenum format;
    EXPECT_EQ(waves.GetALFormat(id, nullptr, &format), WaveBadArgument);
    EXPECT_EQ(waves.GetALFormat(id, FakeLookup, nullptr), WaveBadArgument);
    for (int bad : {-1, 1, 1024, 5000}) {
        EXPECT_EQ(waves.GetALFormat(bad, FakeLookup, &format), WaveBadId) << bad;
        EXPECT_EQ(waves.DeleteWaveFile(bad), WaveBadId) << bad;
        EXPECT_EQ(waves.GetWave(bad), nullptr) << bad;
    }
    EXPECT_EQ(waves.DeleteWaveFile(id), WaveOk);
    EXPECT_EQ(waves.DeleteWaveFile(id), WaveBadId);
}

TEST_F(Waves, ATableOf1024IsFull) {
    folder.Write("SOUNDS/w.Wav", WavFile({{"fmt ", WavFmtPcm(1, 8000, 8)}, {"data", Samples(2)}}));
    int id = -1;
    for (int i = 0; i < CWaves::MaxWaves; ++i) {
        ASSERT_EQ(waves.OpenWaveFile("SOUNDS/w.Wav", &id), WaveOk);
        ASSERT_EQ(id, i);
    }
    EXPECT_EQ(waves.OpenWaveFile("SOUNDS/w.Wav", &id), WaveNoMemory);
    EXPECT_EQ(waves.DeleteWaveFile(517), WaveOk);
    ASSERT_EQ(waves.OpenWaveFile("SOUNDS/w.Wav", &id), WaveOk);
    EXPECT_EQ(id, 517) << "the lowest free slot is reused";
}

// With the "Sounds" pack open, sounds come from it; the name is a Windows name.
TEST_F(Waves, SoundsComeFromTheirPack) {
    datakit::PackFolderSpec sounds{
        "SOUNDS", {datakit::PackFile("Beep.Wav", datakit::Pcm16Wav({1, -2, 3, -4}, 2, 11025))}, {}};
    folder.Write("Sounds.QVz", datakit::MakePack({sounds}));
    OpenDataPacks();
    ASSERT_NE(PackTrees[PackSounds], nullptr);
    int id = -1;
    EXPECT_EQ(waves.OpenWaveFile("SOUNDS\\beep.wav", &id), WaveOk);
    DeletePackList();
    const WaveRecord* wave = waves.GetWave(id);
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(wave->format.channels, 2);
    EXPECT_EQ(wave->format.samplesPerSec, 11025u);
    EXPECT_EQ(wave->data, datakit::SamplesToBytes({1, -2, 3, -4}));
    EXPECT_EQ(waves.OpenWaveFile("SOUNDS/Beep.Wav", &id), WaveOpenFailed) << "no loose file once the pack is closed";
}

// Files from an independent writer, as a sound designer's tools would make them.
TEST_F(Waves, FilesMadeBySox) {
    struct Case {
        const char* args;
        uint32_t type;
        uint16_t channels;
        ALenum format;
    };
    const Case cases[] = {
        {"-c 1 -b 16", WaveTypePcm, 1, 2},
        {"-c 2 -b 8", WaveTypePcm, 2, 3},
        {"-c 6 -b 16", WaveTypeExtensible, 6, 7},
        {"-c 1 -b 24", WaveTypeExtensible, 1, 1},
    };
    for (const Case& c : cases) {
        std::string cmd = std::string("sox -n -r 22050 ") + c.args + " '" + (folder.Datas() / "s.wav").string() +
                          "' synth 0.1 sine 440 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        int id = -1;
        ASSERT_EQ(waves.OpenWaveFile("s.wav", &id), WaveOk) << c.args;
        const WaveRecord* wave = waves.GetWave(id);
        EXPECT_EQ(wave->formatType, c.type) << c.args;
        EXPECT_EQ(wave->format.channels, c.channels) << c.args;
        EXPECT_EQ(wave->format.samplesPerSec, 22050u) << c.args;
        EXPECT_EQ(wave->dataSize, 2205u * wave->format.blockAlign) << c.args;
        ALenum format = 0;
        EXPECT_EQ(waves.GetALFormat(id, FakeLookup, &format), WaveOk) << c.args;
        EXPECT_EQ(format, c.format) << c.args;
        waves.DeleteWaveFile(id);
    }
}

TEST(DataNames, PlainRelativeNamesOnly) {
    const std::pair<const char*, bool> cases[] = {
        {"SOUNDS/a.Wav", true},  {"SOUNDS\\a.Wav", true}, {"a..b.Wav", true},      {"", false},
        {"/etc/passwd", false},  {"\\x.Wav", false},      {"../x.Wav", false},     {"SOUNDS/../../x", false},
        {"SOUNDS\\..\\x", false}, {"SOUNDS/..", false},
    };
    for (const auto& [name, ok] : cases) EXPECT_EQ(IsPlainDataName(name), ok) << name;
    EXPECT_FALSE(IsPlainDataName(nullptr));
    EXPECT_FALSE(IsPlainDataName(std::string(256, 'a').c_str()));
}

}  // namespace
