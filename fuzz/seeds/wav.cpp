#include "datakit/wav.h"
#include "seeds.h"

namespace {

using datakit::WavChunk;

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeWavSeeds() {
    auto tone = datakit::SamplesToBytes(datakit::SineTone(8000, 1, 0.01, 440));
    auto stereo = datakit::SamplesToBytes(datakit::SineTone(8000, 2, 0.01, 440));
    return {
        {"mono16.wav", datakit::Pcm16Wav(datakit::SineTone(8000, 1, 0.01, 440), 1, 8000)},
        {"stereo8.wav", datakit::WavFile({{"fmt ", datakit::WavFmtPcm(2, 8000, 8)}, {"data", stereo}})},
        {"ext51.wav", datakit::WavFile({{"fmt ", datakit::WavFmtExtensible(6, 8000, 16, 0x3F)},
                                        {"data", datakit::SamplesToBytes(datakit::SineTone(8000, 6, 0.005, 440))}})},
        {"list-odd.wav",
         datakit::WavFile({{"LIST", {1, 2, 3}}, {"fmt ", datakit::WavFmtPcm(1, 8000, 16)}, {"data", tone}})},
        {"lower.wav", datakit::WavFile({{"fmt ", datakit::WavFmtPcm(1, 8000, 16)}, {"data", tone}}, "riff", "wave")},
        {"clamped.wav", datakit::WavFile({{"fmt ", datakit::WavFmtPcm(1, 8000, 16)}, {"data", tone, 1 << 20}})},
    };
}

fuzzseeds::Registration wavSeeds("wav", MakeWavSeeds);

}  // namespace
