// The sample plug-in, copied from the build into "PLUGIN/" (plug-ins load from loose files only).
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "sample.h"

bool WriteSamplePlugins(const std::string& datasFolder) {
    namespace fs = std::filesystem;
    const fs::path source = QV_SAMPLE_PLUGIN_PATH;
    const fs::path target = fs::path(datasFolder) / "PLUGIN" / source.filename();
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (!error) fs::copy_file(source, target, fs::copy_options::overwrite_existing, error);
    if (error) {
        std::fprintf(stderr, "makedata: cannot copy %s: %s\n", source.c_str(), error.message().c_str());
        return false;
    }
    return true;
}
