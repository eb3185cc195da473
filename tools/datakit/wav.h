// WAV files: a chunk-level builder for well-formed and deliberately malformed files, and tones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

struct WavChunk {
    std::string tag;  // four characters
    std::vector<uint8_t> body;
    // The size written in the chunk header; -1 writes the body's size. Lets a header claim more
    // (or less) than the body holds.
    int64_t declaredSize = -1;
};

// A "fmt " chunk body of 16 bytes (plain PCM).
std::vector<uint8_t> WavFmtPcm(uint16_t channels, uint32_t rate, uint16_t bits);
// A "fmt " chunk body of 40 bytes (extensible, PCM sub-format).
std::vector<uint8_t> WavFmtExtensible(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t channelMask);

// "RIFF" size "WAVE" then the chunks, each padded to an even size.
std::vector<uint8_t> WavFile(const std::vector<WavChunk>& chunks, const std::string& riffTag = "RIFF",
                             const std::string& waveTag = "WAVE");

// Interleaved 16-bit samples of a sine tone: every channel listed in `channelsOn` carries the
// tone, the others are silent.
std::vector<int16_t> SineTone(uint32_t rate, uint16_t channels, double seconds, double frequency,
                              double amplitude = 0.5, const std::vector<int>& channelsOn = {});

std::vector<uint8_t> SamplesToBytes(const std::vector<int16_t>& samples);

// A complete plain PCM 16-bit WAV of the samples.
std::vector<uint8_t> Pcm16Wav(const std::vector<int16_t>& samples, uint16_t channels, uint32_t rate);

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace datakit
