// Shared set-up for the audio suites: a throw-away data folder the engine reads through
// "../Datas/", and helpers for OpenAL's wave-file writer.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "core/paths.h"
#include "datakit/wav.h"

namespace audiotest {

namespace fs = std::filesystem;

// Makes <tmp>/Datas and <tmp>/work and works from the latter, so "../Datas/" is the data folder.
class DataFolder {
public:
    DataFolder() {
        char pattern[] = "/tmp/qv-audio-XXXXXX";
        root_ = mkdtemp(pattern);
        fs::create_directories(root_ / "Datas");
        fs::create_directories(root_ / "work");
        previous_ = fs::current_path();
        fs::current_path(root_ / "work");
        InitDataFolder();
    }
    ~DataFolder() {
        std::error_code ec;
        fs::current_path(previous_, ec);
        fs::remove_all(root_, ec);
    }
    fs::path Root() const { return root_; }
    fs::path Datas() const { return root_ / "Datas"; }
    // Writes bytes under the data folder (relative name).
    void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
        ASSERT_TRUE(datakit::WriteBytes((Datas() / relative).string(), bytes)) << relative;
    }

private:
    fs::path root_;
    fs::path previous_;
};

inline bool WaitUntil(const std::function<bool()>& done, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The null device: sound is mixed in real time and discarded. Set whatever the environment
// says, before the sound system first starts in the process.
inline void UseNullDevice() { setenv("ALSOFT_DRIVERS", "null", 1); }

// Points OpenAL at its wave-file writer: 44100 Hz stereo 16-bit into `out`. Must run before
// the sound system starts (OpenAL reads its configuration when first used in a process).
inline void UseWaveWriter(const fs::path& folder, const fs::path& out) {
    fs::path conf = folder / "alsoft.conf";
    FILE* f = std::fopen(conf.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f,
                 "[general]\ndrivers = wave\nchannels = stereo\nsample-type = int16\nfrequency = 44100\n"
                 "hrtf = false\n[wave]\nfile = %s\n",
                 out.c_str());
    std::fclose(f);
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
}

struct ChannelStat {
    double rms = -1;
    double frequency = -1;
};

// sox's measurement of one channel (1 = left) of a written file, optionally of a stretch of it.
// Times count from the first sound in the file, not from when the device opened: on a busy
// machine the time the test takes before it plays anything varies.
inline ChannelStat MeasureChannel(const fs::path& wav, int channel, double start = 0, double length = 0) {
    std::string cmd = "sox '" + wav.string() + "' -n silence 1 0.005 1%";
    if (length > 0) cmd += " trim " + std::to_string(start) + " " + std::to_string(length);
    cmd += " remix " + std::to_string(channel) + " stat 2>&1";
    ChannelStat stat;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return stat;
    char line[256];
    while (std::fgets(line, sizeof line, p)) {
        double v;
        if (std::sscanf(line, "RMS amplitude: %lf", &v) == 1 || std::sscanf(line, "RMS     amplitude: %lf", &v) == 1)
            stat.rms = v;
        if (std::sscanf(line, "Rough frequency: %lf", &v) == 1 || std::sscanf(line, "Rough   frequency: %lf", &v) == 1)
            stat.frequency = v;
    }
    pclose(p);
    return stat;
}

}  // namespace audiotest
