// Writes the sample data folder that scripts/run plays:
//   makedata <data folder> [--packs] [--time-of-day DEGREES]
// --time-of-day starts the level's day at another angle than its mid-morning (0 and 360 are
// midnight, 180 noon), for a look at the sky by night.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "core/pack.h"
#include "datakit/gameconfig.h"
#include "datakit/pack.h"
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: makedata <data folder> [--packs] [--time-of-day DEGREES]\n");
        return 2;
    }
    bool packs = false;
    float timeOfDay = kSampleTimeOfDay;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--packs") == 0) {
            packs = true;
        } else if (std::strcmp(argv[i], "--time-of-day") == 0) {
            if (i + 1 == argc) {
                std::fprintf(stderr, "makedata: --time-of-day needs the degrees\n");
                return 2;
            }
            char* end = nullptr;
            const float degrees = std::strtof(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(degrees >= 0.0f && degrees < 360.0f)) {
                std::fprintf(stderr, "makedata: --time-of-day takes degrees from 0 up to 360, not %s\n", argv[i]);
                return 2;
            }
            timeOfDay = degrees;
        } else {
            std::fprintf(stderr, "makedata: unknown option %s\n", argv[i]);
            return 2;
        }
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
    datakit::GameConfigSpec config;
    config.playerType = "Hero1001";
    config.startScene = "Level01";
    if (!datakit::WriteGameConfig(root.string(), config)) {
        std::fprintf(stderr, "makedata: cannot write the game configuration in %s\n", root.c_str());
        return 1;
    }

    fs::copy_file(kDefaultFontSource, root / "FONTS" / "ARIAL.TTF", fs::copy_options::overwrite_existing, error);
    if (error) {
        std::fprintf(stderr, "makedata: cannot copy %s: %s\n", kDefaultFontSource, error.message().c_str());
        return 1;
    }
    if (!WriteSampleAudio(root.string())) return 1;
    if (!WriteSampleImages(root.string())) return 1;
    if (!WriteSampleFlares(root.string())) return 1;
    if (!WriteSampleModels(root.string())) return 1;
    if (!WriteSampleCharacters(root.string())) return 1;
    if (!WriteSampleMovement(root.string())) return 1;
    if (!WriteSampleCursors(root.string())) return 1;
    if (!WriteSampleText(root.string())) return 1;
    if (!WriteSamplePlugins(root.string())) return 1;
    if (!WriteSampleInterface(root.string())) return 1;
    if (!WriteSampleHud(root.string())) return 1;
    if (!WriteSampleSpells(root.string())) return 1;
    if (!WriteSampleMoves(root.string())) return 1;
    if (!WriteSampleLevel(root.string(), timeOfDay)) return 1;

    // With --packs the category folders also go into their ".QVz" packs, which the engine reads
    // before the loose files; without it, packs of an earlier run would hide the fresh files.
    if (packs) {
        std::string message;
        if (datakit::PackDataFolder(root.string(), true, &message) < 0) {
            std::fprintf(stderr, "makedata: %s\n", message.c_str());
            return 1;
        }
    } else {
        for (const char* category : PackCategoryNames) fs::remove(root / (std::string(category) + ".QVz"), error);
    }
    return 0;
}
