#include "render/screenshot.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/paths.h"
#include "render/image.h"
#include "render/projection.h"

namespace {

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates every folder on the way to the file. Answers 0 when the file's folder exists afterwards,
// else the error of the first folder that could not be made (left in `failed`): a folder that the
// user may not write into is reported as such, not as the missing file of a later open.
int MakeShotFolders(const char* file, std::string& failed) {
    std::string prefix;
    for (const char* c = file; *c != '\0'; ++c) {
        const bool separator = *c == '/' || *c == '\\';
        if (separator && !prefix.empty() && !IsFolder(prefix)) {
            const int error = mkdir(prefix.c_str(), 0777) == 0 ? 0 : errno;
            // EEXIST: made meanwhile by someone else, or something that is not a folder is there.
            if (error != 0 && !(error == EEXIST && IsFolder(prefix))) {
                failed = prefix;
                return error == EEXIST ? ENOTDIR : error;
            }
        }
        prefix.push_back(separator ? '/' : *c);
    }
    return 0;
}

}  // namespace

int MakeScreenshotName(const char* path, int width, int height) {
    if (width <= 0 || height <= 0) return 1;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    ReadFramePixels(height, width, pixels.data());
    // The frame read leaves the fourth byte 0; viewers take it as transparency, so the shot is
    // stored opaque.
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
    char target[QvPathMax];
    if (!FormatPath(target, sizeof target, "%s", path)) return 1;
    std::string failed;
    if (const int error = MakeShotFolders(target, failed); error != 0) {
        std::fprintf(stderr, "screenshot: %s: cannot create the folder %s: %s\n", target, failed.c_str(),
                     std::strerror(error));
        return 1;
    }
    char name[QvPathMax];
    if (NextScreenshotName(target, name, sizeof name)) SaveTgaFile(pixels.data(), width, height, name);
    else std::fprintf(stderr, "paths: no free screenshot name for %s\n", target);
    return 1;
}
