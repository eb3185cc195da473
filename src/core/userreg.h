// The registry of the current user, kept as a small text file in the user folder:
//
//   [HKEY_CURRENT_USER/Software/Quorvane/Games]
//   Target=https://example.org/
//
// Key paths are segments split on '/' or '\\' under one of the four roots HKEY_CLASSES_ROOT,
// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS; key and value names compare ignoring ASCII
// case. Every value is a string. In names, '\\' escapes the next character ("\\n" and "\\r" stand
// for line breaks) so that '=', '[' and ';' can be part of them; values escape '\\' and line breaks.
// Lines beginning with ';' are comments. Reading never creates anything; writing replaces the file
// through a temporary file and a rename.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct UserRegKeyData {
    std::string path;  // normalised: upper-case root, segments joined by '/'
    std::vector<std::pair<std::string, std::string>> values;
};
struct UserRegData {
    std::vector<UserRegKeyData> keys;
};

// Largest registry file read or written; a larger one is refused as damaged.
constexpr size_t UserRegFileMax = 1 << 20;

// The normalised form of a key path; false when its first segment is not one of the four roots.
bool NormaliseUserRegKey(std::string_view key, std::string* out);
// Parses the text of a registry file. False, with the fault in *fault, when the text is damaged;
// *out then holds what came before the fault.
bool ParseUserRegText(std::string_view text, UserRegData* out, std::string* fault);
std::string FormatUserRegText(const UserRegData& data);

// UserFolder followed by the registry file's name; false when it does not fit.
bool UserRegFilePath(char* out, size_t outBytes);
// True when the key, or a key below it, holds a value, or when it is a root.
bool UserRegKeyExists(const char* key);
// The string value name of key into out (outBytes with its ending zero). False when the file, the
// key or the value is missing, the file is damaged, or the value does not fit.
bool UserRegReadString(const char* key, const char* name, char* out, size_t outBytes);
// Sets the value, creating the key. False (and the file untouched) when the key has no root, the
// file is damaged or too large, or it cannot be written.
bool UserRegWriteString(const char* key, const char* name, const char* value);
