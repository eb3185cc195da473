// A data folder of its own for a test, removed with it, so that parallel runs never share files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

class TempFolder {
public:
    TempFolder() {
        std::string pattern = ::testing::TempDir() + "qv_model_XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern + "/";
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};
