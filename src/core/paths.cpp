#include "core/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/config.h"
#include "platform/window.h"

char UserFolder[QvPathMax];
char DataFolder[QvPathMax];

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool SetFolder(char* folder, const char* value) {
    size_t n = std::strlen(value);
    bool addSlash = n > 0 && !IsSeparator(value[n - 1]);
    if (!FormatPath(folder, QvPathMax, "%s%s", value, addSlash ? "/" : "")) {
        folder[0] = 0;
        std::fprintf(stderr, "paths: folder name too long: %.120s...\n", value);
        return false;
    }
    ClearPathCache();
    return true;
}

bool StatDirectory(const std::string& dir, timespec* mtime) {
    struct stat st;
    if (stat(dir.empty() ? "." : dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    *mtime = st.st_mtim;
    return true;
}

// The names of one folder, by lower-case name (several when they differ only in case).
struct FolderListing {
    bool exists = false;
    timespec mtime{};
    time_t listedAt = 0;
    std::unordered_map<std::string, std::vector<std::string>> byLower;
};

// File times come from a coarse clock: a folder changed within this many seconds of being listed
// may have changed again without its time moving, so a miss there lists it again.
constexpr time_t RacySeconds = 2;

std::mutex ListingMutex;
std::unordered_map<std::string, FolderListing> Listings;

void ListFolder(const std::string& dir, FolderListing* listing) {
    listing->byLower.clear();
    listing->listedAt = std::time(nullptr);
    listing->exists = StatDirectory(dir, &listing->mtime);
    if (!listing->exists) return;
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        listing->byLower[Lower(e->d_name)].emplace_back(e->d_name);
    }
    closedir(d);
    for (auto& [key, names] : listing->byLower) std::sort(names.begin(), names.end());
}

const std::string* MatchInListing(const FolderListing& listing, std::string_view name) {
    auto it = listing.byLower.find(Lower(name));
    if (it == listing.byLower.end()) return nullptr;
    for (const std::string& n : it->second)
        if (n == name) return &n;
    return &it->second.front();
}

// The existing spelling of name in dir, or null. A cached listing is trusted on a hit; a miss
// lists the folder again when it changed since (a file was added).
const std::string* FindInFolder(const std::string& dir, std::string_view name) {
    auto [it, added] = Listings.try_emplace(dir);
    FolderListing& listing = it->second;
    if (added) ListFolder(dir, &listing);
    if (const std::string* hit = MatchInListing(listing, name)) return hit;
    timespec now{};
    bool exists = StatDirectory(dir, &now);
    bool unchanged = exists == listing.exists &&
                     (!exists || (now.tv_sec == listing.mtime.tv_sec && now.tv_nsec == listing.mtime.tv_nsec));
    bool racy = exists && listing.listedAt - listing.mtime.tv_sec < RacySeconds;
    if (unchanged && !racy) return nullptr;
    ListFolder(dir, &listing);
    return MatchInListing(listing, name);
}

bool Append(std::string* out, std::string_view piece, size_t limit) {
    if (out->size() + piece.size() >= limit) return false;
    out->append(piece);
    return true;
}

const char* FormatDataPath(const char* format, va_list args) {
    thread_local char name[QvPathMax];
    thread_local char buffer[QvPathMax];
    int n = std::vsnprintf(name, sizeof name, format, args);
    if (n < 0 || static_cast<size_t>(n) >= sizeof name || !ResolvePath(DataFolder, name, buffer, sizeof buffer)) {
        std::fprintf(stderr, "paths: data path too long: %.120s...\n", name);
        buffer[0] = 0;
    }
    return buffer;
}

// Splits a path as _splitpath does: folder (with its last separator), base name, extension.
struct PathPieces {
    std::string_view folder, name, ext;
};

PathPieces SplitPath(const char* path) {
    std::string_view p(path);
    size_t cut = p.find_last_of("/\\");
    size_t nameStart = cut == std::string_view::npos ? 0 : cut + 1;
    std::string_view rest = p.substr(nameStart);
    size_t dot = rest.find_last_of('.');
    PathPieces pieces;
    pieces.folder = p.substr(0, nameStart);
    pieces.name = dot == std::string_view::npos ? rest : rest.substr(0, dot);
    pieces.ext = dot == std::string_view::npos ? std::string_view() : rest.substr(dot);
    return pieces;
}

bool CopyOut(char* out, size_t outBytes, std::string_view a, std::string_view b = {},
             std::string_view c = {}) {
    if (outBytes == 0) return false;
    size_t n = a.size() + b.size() + c.size();
    if (n >= outBytes) {
        out[0] = 0;
        return false;
    }
    // The pieces may lie inside out itself (SetPathExtension), so assemble before copying back.
    std::string joined;
    joined.reserve(n);
    joined.append(a).append(b).append(c);
    std::memcpy(out, joined.c_str(), n + 1);
    return true;
}

bool IsRealFolder(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entries of a folder sorted case-insensitively, as the Windows file system lists them.
std::vector<std::string> SortedEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.emplace_back(e->d_name);
    closedir(d);
    // Windows folds names to upper case to order them, so "_x" sorts after "B", not before it.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        std::string ua = Upper(a), ub = Upper(b);
        return ua != ub ? ua < ub : a < b;
    });
    return names;
}

std::string NormalizedFolder(const char* folder) {
    std::string f(folder);
    std::replace(f.begin(), f.end(), '\\', '/');
    if (!f.empty() && f.back() != '/') f.push_back('/');
    return f;
}

void AddMatches(FileSearchState* state, const std::string& folder, const char* pattern, char (*names)[256],
                uint32_t max) {
    for (const std::string& entry : SortedEntries(folder)) {
        if (state->count >= max) return;
        std::string full = folder + entry;
        if (IsRealFolder(full) || !MatchFilePattern(pattern, entry.c_str())) continue;
        if (full.size() >= 256) {
            std::fprintf(stderr, "paths: file name too long, skipped: %s\n", full.c_str());
            continue;
        }
        std::memcpy(names[state->count], full.c_str(), full.size() + 1);
        state->count++;
    }
}

void SearchSubFolders(FileSearchState* state, const std::string& folder, const char* pattern,
                      char (*names)[256], uint32_t max, int depth) {
    // Real folders only (links are not followed), so the walk ends; the depth is a second guard.
    if (depth > 64) return;
    for (const std::string& entry : SortedEntries(folder)) {
        if (state->count >= max) return;
        std::string sub = folder + entry;
        if (!IsRealFolder(sub)) continue;
        sub.push_back('/');
        AddMatches(state, sub, pattern, names, max);
        SearchSubFolders(state, sub, pattern, names, max, depth + 1);
    }
}

bool MatchFrom(const char* p, const char* n) {
    for (; *p; ++p, ++n) {
        if (*p == '*') {
            while (p[1] == '*') ++p;
            for (const char* s = n;; ++s) {
                if (MatchFrom(p + 1, s)) return true;
                if (!*s) return false;
            }
        }
        if (!*n) return false;
        if (*p != '?' && std::tolower(static_cast<unsigned char>(*p)) != std::tolower(static_cast<unsigned char>(*n)))
            return false;
    }
    return *n == 0;
}

bool ScreenshotCandidate(char* out, size_t outBytes, std::string_view folder, std::string_view base, long number,
                         std::string_view ext) {
    return FormatPath(out, outBytes, "%.*s%.*s%02ld%.*s", static_cast<int>(folder.size()), folder.data(),
                      static_cast<int>(base.size()), base.data(), number, static_cast<int>(ext.size()), ext.data());
}

}  // namespace

void InitUserFolder() {
    const char* profile = std::getenv("USERPROFILE");
    std::string folder;
    if (profile && *profile) {
        folder = profile;
    } else {
        // Relative values of XDG_CONFIG_HOME are to be ignored.
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        if (config && config[0] == '/')
            folder = config;
        else if (home && *home)
            folder = std::string(home) + "/.config";
        else {
            UserFolder[0] = 0;  // no place of our own: the working folder
            return;
        }
        folder += "/quorvane";
    }
    if (SetUserFolder(folder.c_str())) MakePathFolders(UserFolder);
}

void InitDataFolder() { SetDataFolder("../Datas"); }

bool SetUserFolder(const char* folder) { return SetFolder(UserFolder, folder); }

bool SetDataFolder(const char* folder) { return SetFolder(DataFolder, folder); }

const char* DataPath(const char* name) { return DataPathFormat("%s", name); }

const char* DataPathFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const char* path = FormatDataPath(format, args);
    va_end(args);
    return path;
}

bool ResolvePath(const char* base, const char* name, char* out, size_t outBytes) {
    std::string result(base);
    std::string_view rest(name);
    bool resolving = true;
    std::lock_guard<std::mutex> lock(ListingMutex);
    while (!rest.empty()) {
        size_t cut = rest.find_first_of("/\\");
        std::string_view part = rest.substr(0, cut);
        bool last = cut == std::string_view::npos;
        rest = last ? std::string_view() : rest.substr(cut + 1);
        if (part.empty()) {
            if (result.empty() || result.back() != '/') result.push_back('/');
            continue;
        }
        std::string_view actual = part;
        if (resolving && part != "." && part != "..") {
            const std::string* found = FindInFolder(result, part);
            // Nothing below a missing component can exist: keep the rest as given.
            if (found) actual = *found;
            else resolving = false;
        }
        if (!Append(&result, actual, outBytes) || (!last && !Append(&result, "/", outBytes))) {
            if (outBytes) out[0] = 0;
            return false;
        }
    }
    if (result.size() >= outBytes) {
        if (outBytes) out[0] = 0;
        return false;
    }
    std::memcpy(out, result.c_str(), result.size() + 1);
    return true;
}

void ClearPathCache() {
    std::lock_guard<std::mutex> lock(ListingMutex);
    Listings.clear();
}

bool FormatPath(char* out, size_t outBytes, const char* format, ...) {
    if (outBytes == 0) return false;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(out, outBytes, format, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= outBytes) {
        out[0] = 0;
        return false;
    }
    return true;
}

bool IsPlainName(const char* name) {
    return name && *name && !std::strpbrk(name, "/\\") && !std::strstr(name, "..");
}

bool GetPathFolder(char* out, size_t outBytes, const char* path) {
    return CopyOut(out, outBytes, SplitPath(path).folder);
}

bool GetPathFileName(char* out, size_t outBytes, const char* path) {
    return CopyOut(out, outBytes, SplitPath(path).name);
}

bool GetPathFileNameExt(char* out, size_t outBytes, const char* path) {
    PathPieces p = SplitPath(path);
    return CopyOut(out, outBytes, p.name, p.ext);
}

bool GetPathExtension(char* out, size_t outBytes, const char* path) {
    return CopyOut(out, outBytes, SplitPath(path).ext);
}

bool SetPathExtension(char* path, size_t pathBytes, const char* extension) {
    PathPieces p = SplitPath(path);
    return CopyOut(path, pathBytes, p.folder, p.name, extension);
}

void MakePathFolders(const char* path) {
    std::string prefix;
    for (const char* c = path; *c; ++c) {
        if (IsSeparator(*c) && !prefix.empty()) mkdir(prefix.c_str(), 0777);
        prefix.push_back(IsSeparator(*c) ? '/' : *c);
    }
}

void DeleteFolderTree(const char* folder) {
    std::string base = NormalizedFolder(folder);
    struct stat st;
    if (stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    for (const std::string& entry : SortedEntries(base)) {
        std::string full = base + entry;
        if (IsRealFolder(full)) {
            if (entry[0] != '.') DeleteFolderTree(full.c_str());
        } else {
            unlink(full.c_str());
        }
    }
}

bool FileExists(const char* path) {
    struct stat st;
    return path && *path && stat(path, &st) == 0;
}

FILE* OpenFileMode(const char* path, uint32_t mode) {
    // Text and binary modes are the same here.
    static const char* const modes[] = {"rb", "wb", "r+b", "w+b", "r", "w", "r+", "w+"};
    if (!path || mode < 1 || mode > 8) return nullptr;
    return std::fopen(path, modes[mode - 1]);
}

std::vector<uint8_t> LoadWholeFile(const char* path) {
    std::vector<uint8_t> bytes;
    struct stat st;
    if (!FileExists(path) || stat(path, &st) != 0 || st.st_size < 1 || !S_ISREG(st.st_mode)) return bytes;
    FILE* f = std::fopen(path, "rb");
    if (!f) return bytes;
    bytes.resize(static_cast<size_t>(st.st_size));
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
    std::fclose(f);
    return bytes;
}

void FindFiles(FileSearchState* state, const char* folder, const char* pattern, char (*names)[256], uint32_t max,
               bool recursive) {
    std::string base = NormalizedFolder(folder);
    if (!recursive) {
        AddMatches(state, base, pattern, names, max);
        return;
    }
    if (!state->topFolderDone) {
        AddMatches(state, base, pattern, names, max);
        state->topFolderDone = 1;
    }
    SearchSubFolders(state, base, pattern, names, max, 0);
}

bool MatchFilePattern(const char* pattern, const char* name) {
    // As on Windows, "*.*" also matches names without a dot.
    if (!std::strcmp(pattern, "*.*")) pattern = "*";
    return MatchFrom(pattern, name);
}

int PumpMessages() { return PumpWindowMessages(); }

bool NextScreenshotName(const char* path, char* out, size_t outBytes) {
    if (!FileExists(path)) return CopyOut(out, outBytes, path);
    PathPieces p = SplitPath(path);
    std::string_view base = p.name;
    long number = 0;
    if (base.size() >= 2 && std::isdigit(static_cast<unsigned char>(base[base.size() - 1])) &&
        std::isdigit(static_cast<unsigned char>(base[base.size() - 2]))) {
        number = (base[base.size() - 2] - '0') * 10 + (base[base.size() - 1] - '0');
        base.remove_suffix(2);
    }
    // A gap is used only when no later shot follows within 100 numbers, so that a deleted shot does
    // not put a new one among the old ones.
    constexpr long Lookahead = 100;
    constexpr long Limit = 10000000;
    auto exists = [&](long n) {
        return ScreenshotCandidate(out, outBytes, p.folder, base, n, p.ext) && FileExists(out);
    };
    while (number < Limit) {
        while (number < Limit && exists(number)) number++;
        long later = -1;
        for (long k = 1; k <= Lookahead && later < 0; ++k)
            if (exists(number + k)) later = number + k;
        if (later < 0) return ScreenshotCandidate(out, outBytes, p.folder, base, number, p.ext);
        number = later;
    }
    out[0] = 0;
    return false;
}

void SwapRgbaBytes(uint8_t* pixels, int width, int height) {
    if (width <= 0 || height <= 0) return;
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < count; ++i) std::swap(pixels[i * 4], pixels[i * 4 + 2]);
}

int SetDisplayModeFrom(const std::vector<DisplayModeInfo>& modes, bool (*change)(const DisplayModeInfo&)) {
    // From the last listed mode down to the first, as the display lists its best modes last.
    for (size_t i = modes.size(); i-- > 0;) {
        const DisplayModeInfo& m = modes[i];
        bool fits = m.orientation == 0 && static_cast<uint32_t>(m.bitsPerPixel) == UserConfig.bitsPerPixel &&
                    static_cast<uint32_t>(m.width) == UserConfig.width &&
                    static_cast<uint32_t>(m.height) == UserConfig.height &&
                    (UserConfig.refreshRate == 0xFFFFFFFF ||
                     static_cast<uint32_t>(m.refreshRate) == UserConfig.refreshRate);
        if (fits && change(m)) return 1;
    }
    return 0;
}

int SetDisplayMode() { return SetDisplayModeFrom(GetDisplayModes(), ChangeDisplayModeTo); }

uint32_t NameChecksum(const char* name) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(name);
    size_t n = std::strlen(name);
    // An odd length takes the terminating zero as the high byte of the last word.
    size_t words = (n + 1) / 2;
    uint32_t a = 0xFFFF, b = 0xFFFF;
    for (size_t i = 0; i < words; ++i) {
        uint32_t lo = bytes[2 * i];
        uint32_t hi = 2 * i + 1 < n ? bytes[2 * i + 1] : 0;
        a += lo | (hi << 8);
        b += a;
    }
    uint32_t bFolded = (b >> 16) + (b & 0xFFFF);
    uint32_t high = bFolded + (bFolded >> 16);
    uint32_t aFolded = (a >> 16) + (a & 0xFFFF);
    uint32_t low = (aFolded >> 16) + (aFolded & 0xFFFF);
    return (high << 16) | low;
}

void FillBytes(void* dest, uint8_t value, size_t n) { std::memset(dest, value, n); }

void CopyBytes(size_t n, const void* source, void* dest) { std::memmove(dest, source, n); }

void FillDwords(void* dest, uint32_t value, size_t n) {
    uint8_t* p = static_cast<uint8_t*>(dest);
    for (size_t i = 0; i < n; ++i) std::memcpy(p + 4 * i, &value, 4);
}

void SetDwords(void* dest, size_t n, uint32_t value) { FillDwords(dest, value, n); }

float SqrtF(float x) { return std::sqrt(x); }

int32_t RoundToInt(double x) {
    // Out of range and NaN give the "integer indefinite" value, as the processor's conversion does.
    if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
    long r = std::lrint(x);
    if (r > INT32_MAX || r < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(r);
}
