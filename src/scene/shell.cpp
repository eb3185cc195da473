#include "scene/shell.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "core/paths.h"
#include "core/userreg.h"
#include "platform/shell.h"

RegistryPath* OpenRegistryPath(const char* text) {
    if (text == nullptr) return nullptr;
    RegistryPath* head = nullptr;
    RegistryPath* tail = nullptr;
    std::string key;
    const char* segment = text;
    while (true) {
        const char* end = segment + std::strcspn(segment, "/\\");
        std::string name(segment, static_cast<size_t>(end - segment));
        // An empty segment stands for the key it is in and adds no node.
        if (!name.empty()) {
            std::string joined = key.empty() ? name : key + "/" + name;
            std::string normal;
            if (!NormaliseUserRegKey(joined, &normal) || (key.empty() && normal.find('/') != std::string::npos)) {
                CloseRegistryPath(head);
                return nullptr;
            }
            auto* node = new RegistryPath;
            node->key = normal;
            key = normal;
            if (tail == nullptr) head = node;
            else tail->next = node;
            tail = node;
        }
        if (*end == 0) break;
        segment = end + 1;
    }
    if (tail != nullptr) tail->created = UserRegKeyExists(tail->key.c_str()) ? 0 : 1;
    return head;
}

void CloseRegistryPath(RegistryPath* path) {
    // Nothing is held open by a key of ours, so the order of freeing does not matter.
    while (path != nullptr) {
        RegistryPath* next = path->next;
        delete path;
        path = next;
    }
}

bool ShellOpen(const char* target) { return ShellOpenTarget(target); }

bool SendMailTo(const char* address) {
    if (address == nullptr) return false;
    char link[RegistryPathBytes];
    if (!FormatPath(link, sizeof link, "mailto:%s", address)) return false;
    return ShellOpen(link);
}

int32_t JoinRegistryPath(const char* part, char* path, size_t pathBytes) {
    if (part == nullptr || path == nullptr) return 0;
    char joined[RegistryPathBytes];
    bool fits = std::strncmp(part, "HKEY_", 5) == 0 ? FormatPath(joined, sizeof joined, "%s", part)
                                                     : FormatPath(joined, sizeof joined, "%s/%s", path, part);
    if (!fits || std::strlen(joined) >= pathBytes) return 0;
    std::memcpy(path, joined, std::strlen(joined) + 1);
    return 1;
}

char* ReadRegistryString(const char* path, const char* valueName, char* out) {
    RegistryPath* chain = OpenRegistryPath(path);
    RegistryPath* last = chain;
    while (last != nullptr && last->next != nullptr) last = last->next;
    if (last == nullptr || !UserRegReadString(last->key.c_str(), valueName, out, RegistryStringBytes))
        std::snprintf(out, RegistryStringBytes, "error");
    CloseRegistryPath(chain);
    return out;
}

bool OpenRegistryTarget(const char* text) {
    if (text == nullptr) return false;
    char path[RegistryPathBytes];
    char folder[RegistryPathBytes];
    char name[RegistryStringBytes];
    std::snprintf(path, sizeof path, "%s", ProgramRegistryPath);
    if (!GetPathFolder(folder, text) || !GetPathFileName(name, text) || !JoinRegistryPath(folder, path, sizeof path))
        return false;
    char value[RegistryStringBytes];
    ReadRegistryString(path, name, value);
    if (strcasecmp(value, "error") == 0) return false;
    return ShellOpen(value);
}
