// qvzpack: packs folders into a ".QVz" data pack, or a whole data folder into its category packs.
#include <cstdio>
#include <strings.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "datakit/pack.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: qvzpack [--store] [--only EXT] [--skip EXT] <pack.QVz> <folder>...\n"
                 "       qvzpack [--store] --data <data folder>\n"
                 "Each folder becomes a root folder of the pack under its own name. --store keeps the\n"
                 "files uncompressed; --only and --skip choose files by extension. --data writes the\n"
                 "nine category packs (Objects.QVz, Anims.QVz, ...) into the data folder.\n");
    return 2;
}

bool EndsWithCaseless(const std::string& name, const std::string& ext) {
    if (name.size() < ext.size()) return false;
    return strcasecmp(name.c_str() + name.size() - ext.size(), ext.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool compress = true;
    std::string only, skip, data;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--store") compress = false;
        else if ((a == "--only" || a == "--skip" || a == "--data") && i + 1 < argc)
            (a == "--only" ? only : a == "--skip" ? skip : data) = argv[++i];
        else if (a.rfind("--", 0) == 0) return Usage();
        else args.push_back(a);
    }
    if (!data.empty()) {
        if (!args.empty()) return Usage();
        std::string error;
        int packs = datakit::PackDataFolder(data, compress, &error);
        if (packs < 0) {
            std::fprintf(stderr, "qvzpack: %s\n", error.c_str());
            return 1;
        }
        std::printf("qvzpack: %d packs written in %s\n", packs, data.c_str());
        return 0;
    }
    if (args.size() < 2) return Usage();
    datakit::FileFilter keep = [&](const std::string& name) {
        return (only.empty() || EndsWithCaseless(name, only)) && (skip.empty() || !EndsWithCaseless(name, skip));
    };
    std::vector<datakit::PackFolderSpec> roots;
    for (size_t i = 1; i < args.size(); ++i) {
        std::filesystem::path folder(args[i]);
        if (!std::filesystem::is_directory(folder)) {
            std::fprintf(stderr, "qvzpack: %s: not a folder\n", args[i].c_str());
            return 1;
        }
        // The folder's own name, also when it is given as "." or "..".
        std::filesystem::path whole = std::filesystem::absolute(folder).lexically_normal();
        std::string name = whole.filename().string();
        if (name.empty()) name = whole.parent_path().filename().string();
        roots.push_back(datakit::FolderFromDisk(folder.string(), name, compress, keep));
    }
    if (!datakit::WritePack(args[0], roots)) {
        std::fprintf(stderr, "qvzpack: cannot write %s\n", args[0].c_str());
        return 1;
    }
    return 0;
}
