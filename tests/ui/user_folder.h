// A fixture over Base with its own data folder: a new folder holding USER/ under the test temp
// directory while each test runs; the previous data folder is set back and the new one removed
// afterwards.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "core/paths.h"

template <class Base>
class WithUserFolder : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        std::string pattern = ::testing::TempDir() + "qv_ui_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern + "/";
        std::filesystem::create_directories(folder + "USER");
        savedFolder = DataFolder;
        ASSERT_TRUE(SetDataFolder(folder.c_str()));
    }
    void TearDown() override {
        SetDataFolder(savedFolder.c_str());
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        Base::TearDown();
    }
    std::string folder;
    std::string savedFolder;
};
