// Writes the sample data folder that scripts/run plays: makedata <data folder> [--packs].
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "datakit/gameconfig.h"
#include "sample.h"

namespace fs = std::filesystem;

namespace {

// Liberation Sans has the metrics of the default font the data names.
constexpr const char* kDefaultFontSource = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";

// The folders the engine reads from (or writes to) under the data folder.
constexpr const char* kFolders[] = {
    "CURSORS", "FONTS", "GAMESETTING", "MAPS", "MUSICS", "OBJECTS", "OBJECTS/ENTITIES", "PLUGIN",
    "SCN",     "SFX",   "SOUNDS",      "SPELL", "TEXT",  "TRAJECTS", "USER",   "VIDEOS",
};

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "makedata: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: makedata <data folder> [--packs]\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--packs") != 0) {
            std::fprintf(stderr, "makedata: unknown option %s\n", argv[i]);
            return 2;
        }
        // Packing comes with the pack writer; until then the loose files are the data.
    }
    const fs::path root = argv[1];
    std::error_code error;
    for (const char* folder : kFolders) {
        fs::create_directories(root / folder, error);
        if (error) {
            std::fprintf(stderr, "makedata: cannot create %s: %s\n", (root / folder).c_str(), error.message().c_str());
            return 1;
        }
    }
    // No scene loads until scenes can be written: the game starts on an empty world.
    datakit::GameConfig config;
    config.startScene = "NoLevel";
    if (!WriteFile(root / "GAMESETTING" / "GameConfig.cfg", datakit::WriteGameConfig(config))) return 1;

    fs::copy_file(kDefaultFontSource, root / "FONTS" / "ARIAL.TTF", fs::copy_options::overwrite_existing, error);
    if (error) {
        std::fprintf(stderr, "makedata: cannot copy %s: %s\n", kDefaultFontSource, error.message().c_str());
        return 1;
    }
    if (!WriteSampleAudio(root.string())) return 1;
    return 0;
}
