// Paths and small utilities: the user and data folders, the shared data-path buffer, path
// splitting, folder creation and removal, file search, numbered screenshots, the full-screen display
// mode, the name checksum and the byte, word and float helpers.
//
// Data names are Windows names: DataPath finds every folder and file of a relative name
// case-insensitively below the data folder and takes '\\' as a separator, so "OBJECTS\\Tree.QVo"
// names Datas/objects/tree.qvo. A component that does not exist keeps its spelling (new files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

struct DisplayModeInfo;

// Room for a full path in the folder globals and the shared path buffer.
constexpr size_t QvPathMax = 4096;

// Both end in '/' (or are empty: the working folder).
extern char UserFolder[QvPathMax];
extern char DataFolder[QvPathMax];

// USERPROFILE when set, else $XDG_CONFIG_HOME/quorvane/ (default ~/.config/quorvane/); created
// when missing.
void InitUserFolder();
// "../Datas/".
void InitDataFolder();
// Set a folder ('/' added unless it ends in '/' or '\\'); false when the name is too long.
bool SetUserFolder(const char* folder);
bool SetDataFolder(const char* folder);

// Data folder followed by the resolved name, in one shared buffer per thread that the next call
// overwrites. An empty string (and one line on stderr) when the result does not fit.
const char* DataPath(const char* name);
// DataPath of a printf-formatted name ("USER/%s.Scn"); empty when it does not fit.
const char* DataPathFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// base followed by name, each component of name matched case-insensitively against what exists
// below base. False when the result does not fit in out.
bool ResolvePath(const char* base, const char* name, char* out, size_t outBytes);
// Forget the cached folder listings (after files were moved behind the engine's back, and in tests).
void ClearPathCache();

// snprintf into out; false when the result was cut.
bool FormatPath(char* out, size_t outBytes, const char* format, ...) __attribute__((format(printf, 3, 4)));
// A name from data that becomes one path component: not empty, no '/', '\\' or "..".
bool IsPlainName(const char* name);

// Path pieces, split as Windows does: folder up to the last '/' or '\\', name up to the last '.',
// extension from it. False when the result does not fit.
bool GetPathFolder(char* out, size_t outBytes, const char* path);
bool GetPathFileName(char* out, size_t outBytes, const char* path);
bool GetPathFileNameExt(char* out, size_t outBytes, const char* path);
bool GetPathExtension(char* out, size_t outBytes, const char* path);
bool SetPathExtension(char* path, size_t pathBytes, const char* extension);
template <size_t N> bool GetPathFolder(char (&out)[N], const char* path) { return GetPathFolder(out, N, path); }
template <size_t N> bool GetPathFileName(char (&out)[N], const char* path) { return GetPathFileName(out, N, path); }
template <size_t N> bool GetPathFileNameExt(char (&out)[N], const char* path) { return GetPathFileNameExt(out, N, path); }
template <size_t N> bool GetPathExtension(char (&out)[N], const char* path) { return GetPathExtension(out, N, path); }
template <size_t N> bool SetPathExtension(char (&path)[N], const char* extension) { return SetPathExtension(path, N, extension); }

// Creates the folder named by everything before each '/' or '\\'; the part after the last
// separator is not created.
void MakePathFolders(const char* path);
// Empties a folder: sub-folders (but those whose name begins with '.') are emptied recursively and
// kept, every other entry is deleted. Symbolic links are deleted, never followed.
void DeleteFolderTree(const char* folder);
bool FileExists(const char* path);
// 1 "rb", 2 "wb", 3 "r+b", 4 "w+b", 5 "rt", 6 "wt", 7 "r+t", 8 "w+t"; null for any other mode.
FILE* OpenFileMode(const char* path, uint32_t mode);
// The whole file, or empty when it is missing, empty or cannot be read.
std::vector<uint8_t> LoadWholeFile(const char* path);

struct FileSearchState {
    uint32_t count = 0;
    uint32_t topFolderDone = 0;
};
// Adds to names (256 bytes each) the full names (folder followed by file name) of the files of
// folder that match pattern ('*' and '?', case-insensitive, "*.*" matching every name), at most
// max in all; recursive searches the sub-folders too. folder ends in a separator.
void FindFiles(FileSearchState* state, const char* folder, const char* pattern, char (*names)[256], uint32_t max,
               bool recursive);
bool MatchFilePattern(const char* pattern, const char* name);

// Translates and dispatches every pending window message; non-zero when there was one.
int PumpMessages();

// The name a screenshot of path is written to: path itself, or the next free numbered name when
// path exists (Shot000.tga, Shot001.tga, ...); false when none can be formed.
bool NextScreenshotName(const char* path, char* out, size_t outBytes);
// Exchanges the first and third byte of every 4-byte pixel (RGBA <-> BGRA).
void SwapRgbaBytes(uint8_t* pixels, int width, int height);

// Switches the display to the configured full-screen mode; 1 when switched.
int SetDisplayMode();
// The same over a given mode list and switcher.
int SetDisplayModeFrom(const std::vector<DisplayModeInfo>& modes, bool (*change)(const DisplayModeInfo&));

// The 32-bit checksum on which textures, sounds and object types are keyed (case-sensitive).
uint32_t NameChecksum(const char* name);

void FillBytes(void* dest, uint8_t value, size_t n);
void CopyBytes(size_t n, const void* source, void* dest);
void FillDwords(void* dest, uint32_t value, size_t n);
void SetDwords(void* dest, size_t n, uint32_t value);
float SqrtF(float x);
// Nearest integer in the current rounding mode (ties to even); INT32_MIN when out of range.
int32_t RoundToInt(double x);
