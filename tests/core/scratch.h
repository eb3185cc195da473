// A temporary folder for one test, removed with everything in it when the test ends, and the data
// and user folders pointed at it for the test's duration.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/pack.h"
#include "core/paths.h"

class ScratchDir {
 public:
    ScratchDir() {
        char name[] = "/tmp/quorvane-test-XXXXXX";
        path_ = mkdtemp(name);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

    void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
        std::filesystem::path full(*this / relative);
        std::filesystem::create_directories(full.parent_path());
        std::ofstream out(full, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    void Write(const std::string& relative, const std::string& text) const {
        Write(relative, std::vector<uint8_t>(text.begin(), text.end()));
    }
    std::vector<uint8_t> Read(const std::string& relative) const {
        std::ifstream in(*this / relative, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& relative) const { return std::filesystem::exists(*this / relative); }

 private:
    std::string path_;
};

// Points the data and user folders at a scratch folder ("Datas/" and "User/" inside it) and
// restores a clean state afterwards.
class DataFolderScope {
 public:
    DataFolderScope() {
        std::filesystem::create_directories(root_ / "Datas");
        std::filesystem::create_directories(root_ / "User");
        SetDataFolder((root_ / "Datas").c_str());
        SetUserFolder((root_ / "User").c_str());
    }
    ~DataFolderScope() {
        DeletePackList();
        SetDataFolder("");
        SetUserFolder("");
    }
    const ScratchDir& root() const { return root_; }
    // A path below the data folder.
    std::string Data(const std::string& relative) const { return root_ / ("Datas/" + relative); }
    void WriteData(const std::string& relative, const std::vector<uint8_t>& bytes) const {
        root_.Write("Datas/" + relative, bytes);
    }
    void WriteData(const std::string& relative, const std::string& text) const {
        root_.Write("Datas/" + relative, text);
    }

 private:
    ScratchDir root_;
};

inline std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }
