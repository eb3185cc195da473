#include "core/userreg.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "core/paths.h"

namespace {

constexpr const char* RegFileName = "Registry.ini";
constexpr const char* Roots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Unescapes text up to an unescaped stop character (0: none). Returns the position after the text,
// or npos on a dangling '\\'.
size_t Unescape(std::string_view text, char stop, std::string* out) {
    size_t i = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (stop != 0 && c == stop) return i;
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (++i == text.size()) return std::string_view::npos;
        char e = text[i];
        out->push_back(e == 'n' ? '\n' : e == 'r' ? '\r' : e);
    }
    return i;
}

void Escape(std::string_view text, std::string_view specials, std::string* out) {
    for (char c : text) {
        if (c == '\n') *out += "\\n";
        else if (c == '\r') *out += "\\r";
        else if (c == '\\' || specials.find(c) != std::string_view::npos) {
            out->push_back('\\');
            out->push_back(c);
        } else {
            out->push_back(c);
        }
    }
}

UserRegKeyData* FindKey(UserRegData* data, std::string_view path) {
    for (UserRegKeyData& key : data->keys)
        if (SameText(key.path, path)) return &key;
    return nullptr;
}

// Loads the registry file. A missing file is an empty registry; false (after one line on stderr)
// when the file is damaged or too large.
bool LoadRegistry(UserRegData* data) {
    char path[QvPathMax];
    if (!UserRegFilePath(path, sizeof path)) return false;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return true;
    std::string text;
    char chunk[4096];
    size_t n;
    bool tooLarge = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (text.size() + n > UserRegFileMax) {
            tooLarge = true;
            break;
        }
        text.append(chunk, n);
    }
    std::fclose(file);
    std::string fault = "larger than 1 MiB";
    if (tooLarge || !ParseUserRegText(text, data, &fault)) {
        std::fprintf(stderr, "userreg: %s: %s\n", path, fault.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool NormaliseUserRegKey(std::string_view key, std::string* out) {
    out->clear();
    size_t start = 0;
    while (start <= key.size()) {
        size_t end = key.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = key.size();
        std::string_view segment = key.substr(start, end - start);
        start = end + 1;
        // An empty segment names the key it stands in, as an empty sub-key name does.
        if (segment.empty()) continue;
        // A line break would split the key's line in the file.
        for (char c : segment)
            if (static_cast<unsigned char>(c) < 0x20) return false;
        if (out->empty()) {
            const char* root = nullptr;
            for (const char* r : Roots)
                if (SameText(segment, r)) root = r;
            if (root == nullptr) return false;
            *out = root;
        } else {
            out->push_back('/');
            out->append(segment);
        }
    }
    return !out->empty();
}

bool ParseUserRegText(std::string_view text, UserRegData* out, std::string* fault) {
    out->keys.clear();
    UserRegKeyData* current = nullptr;
    size_t lineNumber = 0;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == ';') continue;
        if (line.find('\0') != std::string_view::npos) {
            *fault = "zero byte in line " + std::to_string(lineNumber);
            return false;
        }
        if (line[0] == '[') {
            std::string path;
            if (line.back() != ']' || line.size() < 2 || !NormaliseUserRegKey(line.substr(1, line.size() - 2), &path)) {
                *fault = "bad key in line " + std::to_string(lineNumber);
                return false;
            }
            current = FindKey(out, path);
            if (current == nullptr) {
                out->keys.push_back({path, {}});
                current = &out->keys.back();
            }
            continue;
        }
        std::string name, value;
        size_t eq = Unescape(line, '=', &name);
        if (current == nullptr || eq == std::string_view::npos || eq == line.size() ||
            Unescape(line.substr(eq + 1), 0, &value) == std::string_view::npos) {
            *fault = "bad value in line " + std::to_string(lineNumber);
            return false;
        }
        bool replaced = false;
        for (auto& [oldName, oldValue] : current->values) {
            if (SameText(oldName, name)) {
                oldValue = value;
                replaced = true;
            }
        }
        if (!replaced) current->values.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

std::string FormatUserRegText(const UserRegData& data) {
    std::string text;
    for (const UserRegKeyData& key : data.keys) {
        text += "[" + key.path + "]\n";
        for (const auto& [name, value] : key.values) {
            Escape(name, "=[;", &text);
            text.push_back('=');
            Escape(value, "", &text);
            text.push_back('\n');
        }
    }
    return text;
}

bool UserRegFilePath(char* out, size_t outBytes) {
    return FormatPath(out, outBytes, "%s%s", UserFolder, RegFileName);
}

bool UserRegKeyExists(const char* key) {
    std::string path;
    if (key == nullptr || !NormaliseUserRegKey(key, &path)) return false;
    if (path.find('/') == std::string::npos) return true;
    UserRegData data;
    if (!LoadRegistry(&data)) return false;
    for (const UserRegKeyData& k : data.keys) {
        if (SameText(std::string_view(k.path).substr(0, path.size()), path) &&
            (k.path.size() == path.size() || k.path[path.size()] == '/'))
            return true;
    }
    return false;
}

bool UserRegReadString(const char* key, const char* name, char* out, size_t outBytes) {
    if (out == nullptr || outBytes == 0) return false;
    out[0] = 0;
    std::string path;
    UserRegData data;
    if (key == nullptr || name == nullptr || !NormaliseUserRegKey(key, &path) || !LoadRegistry(&data)) return false;
    const UserRegKeyData* k = FindKey(&data, path);
    if (k == nullptr) return false;
    for (const auto& [valueName, value] : k->values) {
        if (!SameText(valueName, name)) continue;
        if (value.size() >= outBytes || value.find('\0') != std::string::npos) return false;
        std::memcpy(out, value.c_str(), value.size() + 1);
        return true;
    }
    return false;
}

bool UserRegWriteString(const char* key, const char* name, const char* value) {
    std::string path;
    UserRegData data;
    if (key == nullptr || name == nullptr || value == nullptr || !NormaliseUserRegKey(key, &path) ||
        !LoadRegistry(&data))
        return false;
    UserRegKeyData* k = FindKey(&data, path);
    if (k == nullptr) {
        data.keys.push_back({path, {}});
        k = &data.keys.back();
    }
    bool replaced = false;
    for (auto& [valueName, oldValue] : k->values) {
        if (SameText(valueName, name)) {
            oldValue = value;
            replaced = true;
        }
    }
    if (!replaced) k->values.emplace_back(name, value);
    std::string text = FormatUserRegText(data);
    if (text.size() > UserRegFileMax) return false;

    char filePath[QvPathMax], tempPath[QvPathMax];
    if (!UserRegFilePath(filePath, sizeof filePath) || !FormatPath(tempPath, sizeof tempPath, "%s.tmp", filePath))
        return false;
    MakePathFolders(filePath);
    FILE* file = std::fopen(tempPath, "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(tempPath, filePath) != 0) {
        std::remove(tempPath);
        std::fprintf(stderr, "userreg: %s: cannot be written\n", filePath);
        return false;
    }
    return true;
}
