// The sample world's sounds and music.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "datakit/ogg.h"
#include "datakit/wav.h"
#include "sample.h"

namespace {

// A tone with a short attack and an exponential decay, so effects do not click.
std::vector<int16_t> Pluck(uint32_t rate, double seconds, double frequency, double decay) {
    std::vector<int16_t> out = datakit::SineTone(rate, 1, seconds, frequency, 0.6);
    for (size_t i = 0; i < out.size(); ++i) {
        double t = double(i) / rate;
        double attack = t < 0.005 ? t / 0.005 : 1.0;
        out[i] = static_cast<int16_t>(out[i] * attack * std::exp(-decay * t));
    }
    return out;
}

// A few bars of a calm melody over a held fifth, stereo.
std::vector<int16_t> Melody(uint32_t rate, const std::vector<double>& notes, double noteSeconds, double root) {
    const double twoPi = 6.283185307179586;
    size_t noteFrames = static_cast<size_t>(noteSeconds * rate);
    std::vector<int16_t> out(notes.size() * noteFrames * 2);
    for (size_t n = 0; n < notes.size(); ++n) {
        for (size_t i = 0; i < noteFrames; ++i) {
            size_t frame = n * noteFrames + i;
            double t = double(i) / rate;
            double T = double(frame) / rate;
            double env = std::exp(-3.0 * t) * (t < 0.01 ? t / 0.01 : 1.0);
            double lead = std::sin(twoPi * notes[n] * T) * env * 0.35;
            double pad = (std::sin(twoPi * root * T) + std::sin(twoPi * root * 1.5 * T)) * 0.08;
            out[frame * 2] = static_cast<int16_t>(std::lround((lead * 0.8 + pad) * 32767.0));
            out[frame * 2 + 1] = static_cast<int16_t>(std::lround((lead * 0.6 + pad) * 32767.0));
        }
    }
    return out;
}

}  // namespace

bool WriteSampleAudio(const std::string& datasFolder) {
    const std::string sounds = datasFolder + "/SOUNDS/";
    const std::string musics = datasFolder + "/MUSICS/";
    const uint32_t rate = 22050;
    bool ok = datakit::WriteBytes(sounds + "Beep.Wav", datakit::Pcm16Wav(Pluck(rate, 0.25, 880.0, 12.0), 1, rate)) &&
              datakit::WriteBytes(sounds + "Click.Wav", datakit::Pcm16Wav(Pluck(rate, 0.06, 2000.0, 60.0), 1, rate)) &&
              datakit::WriteBytes(sounds + "Chime.Wav", datakit::Pcm16Wav(Pluck(rate, 1.0, 660.0, 4.0), 1, rate));
    const std::vector<double> theme = {440.0, 523.3, 659.3, 587.3, 523.3, 440.0, 392.0, 440.0,
                                       523.3, 659.3, 784.0, 659.3, 587.3, 523.3, 493.9, 440.0};
    const std::vector<double> calm = {329.6, 392.0, 440.0, 392.0, 329.6, 293.7, 261.6, 293.7};
    ok = ok && datakit::WriteOggVorbis(musics + "Theme.Ogg", Melody(44100, theme, 0.5, 110.0), 2, 44100);
    ok = ok && datakit::WriteOggVorbis(musics + "Calm.Ogg", Melody(44100, calm, 0.75, 82.4), 2, 44100);
    if (!ok) std::fprintf(stderr, "makedata: cannot write the sample sounds and music under %s\n", datasFolder.c_str());
    return ok;
}
