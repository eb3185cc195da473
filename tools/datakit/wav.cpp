#include "datakit/wav.h"

#include "datakit/datakit.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace datakit {
namespace {

void PutTag(std::vector<uint8_t>& out, const std::string& tag) {
    for (size_t i = 0; i < 4; ++i) out.push_back(i < tag.size() ? static_cast<uint8_t>(tag[i]) : ' ');
}

}  // namespace

std::vector<uint8_t> WavFmtPcm(uint16_t channels, uint32_t rate, uint16_t bits) {
    std::vector<uint8_t> b;
    uint32_t block = channels * ((bits + 7u) / 8u);
    Put16(b, 1);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * block);
    Put16(b, block);
    Put16(b, bits);
    return b;
}

std::vector<uint8_t> WavFmtExtensible(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t channelMask) {
    std::vector<uint8_t> b = WavFmtPcm(channels, rate, bits);
    b[0] = 0xFE;
    b[1] = 0xFF;
    Put16(b, 22);
    Put16(b, bits);
    Put32(b, channelMask);
    // The PCM sub-format GUID 00000001-0000-0010-8000-00aa00389b71.
    const uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    b.insert(b.end(), pcm, pcm + 16);
    return b;
}

std::vector<uint8_t> WavFile(const std::vector<WavChunk>& chunks, const std::string& riffTag,
                             const std::string& waveTag) {
    std::vector<uint8_t> body;
    PutTag(body, waveTag);
    for (const WavChunk& c : chunks) {
        PutTag(body, c.tag);
        Put32(body, c.declaredSize < 0 ? static_cast<uint32_t>(c.body.size()) : static_cast<uint32_t>(c.declaredSize));
        body.insert(body.end(), c.body.begin(), c.body.end());
        if (c.body.size() & 1) body.push_back(0);
    }
    std::vector<uint8_t> out;
    PutTag(out, riffTag);
    Put32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<int16_t> SineTone(uint32_t rate, uint16_t channels, double seconds, double frequency, double amplitude,
                              const std::vector<int>& channelsOn) {
    size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<int16_t> out(frames * channels, 0);
    const double twoPi = 6.283185307179586;
    for (size_t i = 0; i < frames; ++i) {
        auto v = static_cast<int16_t>(std::lround(std::sin(twoPi * frequency * double(i) / rate) * amplitude * 32767.0));
        for (int c = 0; c < channels; ++c) {
            bool on = channelsOn.empty();
            for (int k : channelsOn) on = on || k == c;
            if (on) out[i * channels + static_cast<size_t>(c)] = v;
        }
    }
    return out;
}

std::vector<uint8_t> SamplesToBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    out.reserve(samples.size() * 2);
    for (int16_t s : samples) Put16(out, static_cast<uint16_t>(s));
    return out;
}

std::vector<uint8_t> Pcm16Wav(const std::vector<int16_t>& samples, uint16_t channels, uint32_t rate) {
    return WavFile({{"fmt ", WavFmtPcm(channels, rate, 16)}, {"data", SamplesToBytes(samples)}});
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::error_code ec;
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace datakit
