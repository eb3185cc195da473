// Opening documents, links, mail addresses and registry-stored targets with the desktop's opener,
// and the registry path chain under them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The key path under which the program keeps its own values.
constexpr const char* ProgramRegistryPath = "HKEY_CURRENT_USER/Software/Quorvane";
// Room for a registry string value and for a registry path text.
constexpr size_t RegistryStringBytes = 256;
constexpr size_t RegistryPathBytes = 1024;

// One node per path segment: the first holds a root, every later one a sub-key of the previous
// node's key. A key is named by its full normalised path.
struct RegistryPath {
    std::string key;
    RegistryPath* next = nullptr;
    int32_t created = 0;  // last node: its key did not exist (reading never creates it)
};

// Builds the chain of a path text. Null when the first segment is not one of the four roots.
RegistryPath* OpenRegistryPath(const char* text);
// Frees the chain from its end.
void CloseRegistryPath(RegistryPath* path);

// Opens target with the "open" verb; true when the opener started.
bool ShellOpen(const char* target);
// Opens "mailto:<address>"; false when the address is too long.
bool SendMailTo(const char* address);
// When part begins with "HKEY_" it replaces path, otherwise "/" and part are appended. False (path
// unchanged) when the result does not fit in pathBytes. Returns 1 as a truth value otherwise.
int32_t JoinRegistryPath(const char* part, char* path, size_t pathBytes);
// The string value of the path's last key into out (RegistryStringBytes), or "error" when the path,
// key or value is missing or the value does not fit. Returns out.
char* ReadRegistryString(const char* path, const char* valueName, char* out);
// text is "<folder>\\<value name>[.ext]": reads that value from the folder's key under the program's
// key (or from the folder itself when it begins with "HKEY_") and opens what it names. False when
// the value is missing or the opener did not start.
bool OpenRegistryTarget(const char* text);
