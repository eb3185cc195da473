// Shared by the image and texture tests: a scratch folder laid out like a game install (the
// working folder "run" beside the data folder "Datas"), and PAM files for talking to ImageMagick.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/paths.h"
#include "datakit/image.h"

namespace imagetest {

// Creates <tmp>/run and <tmp>/Datas and works from run, so that "../Datas/" is the data folder.
class ScratchInstall {
public:
    ScratchInstall() {
        char pattern[] = "/tmp/qv-images-XXXXXX";
        root_ = mkdtemp(pattern);
        std::filesystem::create_directories(root_ / "run");
        std::filesystem::create_directories(root_ / "Datas");
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(root_ / "run");
        InitDataFolder();
    }
    ~ScratchInstall() {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ScratchInstall(const ScratchInstall&) = delete;
    ScratchInstall& operator=(const ScratchInstall&) = delete;

    std::string Data(const std::string& relative) const { return (root_ / "Datas" / relative).string(); }
    std::string Run(const std::string& relative) const { return (root_ / "run" / relative).string(); }
    void WriteData(const std::string& relative, const std::vector<uint8_t>& bytes) const {
        ASSERT_TRUE(datakit::WriteImageBytes(Data(relative), bytes)) << relative;
    }

private:
    std::filesystem::path root_, previous_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A PAM file of RGBA pixels, top row first: a format ImageMagick reads and writes losslessly.
inline void WritePam(const std::string& path, const datakit::Rgba& image) {
    std::ofstream out(path, std::ios::binary);
    out << "P7\nWIDTH " << image.width << "\nHEIGHT " << image.height
        << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    out.write(reinterpret_cast<const char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
}

// Reads a PAM of depth 1 to 4 back as RGBA (missing alpha is 255).
inline datakit::Rgba ReadPam(const std::string& path) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    std::string text(bytes.begin(), bytes.end());
    size_t end = text.find("ENDHDR\n");
    datakit::Rgba image;
    if (end == std::string::npos) return image;
    std::istringstream header(text.substr(0, end));
    std::string key;
    uint32_t depth = 0;
    while (header >> key) {
        if (key == "WIDTH") header >> image.width;
        if (key == "HEIGHT") header >> image.height;
        if (key == "DEPTH") header >> depth;
    }
    const uint8_t* src = bytes.data() + end + 7;
    size_t count = static_cast<size_t>(image.width) * image.height;
    if (depth == 0 || depth > 4 || bytes.size() < end + 7 + count * depth) return datakit::Rgba{};
    for (size_t i = 0; i < count; ++i, src += depth) {
        uint8_t a = depth == 2 || depth == 4 ? src[depth - 1] : 255;
        if (depth <= 2)
            image.pixels.insert(image.pixels.end(), {src[0], src[0], src[0], a});
        else
            image.pixels.insert(image.pixels.end(), {src[0], src[1], src[2], a});
    }
    return image;
}

// Runs ImageMagick's convert; true when it succeeded.
inline bool Convert(const std::string& arguments) {
    std::string command = "convert " + arguments + " 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace imagetest
