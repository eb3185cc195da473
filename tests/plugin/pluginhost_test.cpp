#include "plugin/pluginhost.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/paths.h"
#include "platform/dynlib.h"
#include "platform/wincodes.h"

namespace fs = std::filesystem;

namespace {

const fs::path kModules = fs::path(QV_BINARY_DIR) / "plugins";

// A data folder of its own with a PLUGIN/ folder the test fills; every plug-in is unloaded and the
// data folder restored afterwards.
class PluginHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = DataFolder;
        dir_ = fs::temp_directory_path() / ("qv_plugin_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "PLUGIN");
        ASSERT_TRUE(SetDataFolder(dir_.c_str()));
        ClearPathCache();
    }
    void TearDown() override {
        UnloadAllPlugins();
        for (DynLibHandle h : held_) CloseDynLib(h);
        SetDataFolder(saved_.c_str());
        ClearPathCache();
        fs::remove_all(dir_);
    }
    // Copies a built module into PLUGIN/ under another file name.
    fs::path Install(const char* module, const std::string& as) {
        const fs::path folder = fs::exists(dir_ / "Plugin") ? dir_ / "Plugin" : dir_ / "PLUGIN";
        const fs::path target = folder / as;
        fs::copy_file(kModules / module, target, fs::copy_options::overwrite_existing);
        return target;
    }
    // A second reference to an installed module keeps it (and its log) mapped past the host's
    // unloading, and gives the test the plug-in's own exports.
    template <typename Fn>
    Fn Export(const fs::path& module, const char* name) {
        DynLibHandle h = OpenDynLib(module.c_str());
        EXPECT_NE(h, nullptr) << DynLibError();
        held_.push_back(h);
        return reinterpret_cast<Fn>(GetDynLibSymbol(h, name));
    }

    std::string saved_;
    fs::path dir_;
    std::vector<DynLibHandle> held_;
};

using LogFn = const char* (*)();
using AnswersFn = void (*)(int32_t, int32_t);
using LastKeyFn = uint32_t (*)(int32_t);

TEST_F(PluginHostTest, NoPluginFolderLoadsNothingAndFrameCallsAnswerZero) {
    fs::remove_all(dir_ / "PLUGIN");
    EXPECT_EQ(LoadAllPlugins(), 0);
    EXPECT_EQ(ManagePlugins(), 0u);
    EXPECT_EQ(RenderPlugins(), 0u);
    EXPECT_EQ(EnablePlugin("Sample"), 0);
    EXPECT_EQ(UnloadAllPlugins(), 1);
}

TEST_F(PluginHostTest, SamplePluginGoesThroughItsLifeInOrder) {
    const fs::path path = Install("Sample.QVm", "Sample.QVm");
    auto log = Export<LogFn>(path, "SampleCallLog");
    auto lastKey = Export<LastKeyFn>(path, "SampleLastKey");
    ASSERT_TRUE(log && lastKey);

    ASSERT_EQ(LoadAllPlugins(), 1);
    const PluginRecord& r = PluginRecords[0];
    EXPECT_STREQ(r.name, "Sample");
    EXPECT_EQ(r.type, QV_PLUGIN_FRAME_A);
    EXPECT_EQ(r.frameCalls, 1);
    EXPECT_EQ(r.active, 0);
    EXPECT_EQ(r.firstString, nullptr);  // strings are kept for the import kinds only
    ASSERT_EQ(ActivePluginCount, 1);
    EXPECT_EQ(ActivePlugins[0], 0);
    EXPECT_STREQ(log(), "I");

    // Loaded but not enabled: no keys, no frame calls, nothing to disable.
    ForwardMessageToPlugins(WM_KEYDOWN, 'A');
    EXPECT_EQ(ManagePlugins(), 0u);
    EXPECT_EQ(DisablePlugin("Sample"), 0);
    EXPECT_STREQ(log(), "I");

    EXPECT_EQ(EnablePlugin("sAMPLE"), 11);
    EXPECT_EQ(EnablePlugin("Sample"), 0);  // CreateLGp runs once
    ForwardMessageToPlugins(WM_KEYUP, 'Q');
    EXPECT_EQ(lastKey(0), WM_KEYUP);
    EXPECT_EQ(lastKey(1), static_cast<uint32_t>('Q'));
    EXPECT_EQ(ManagePlugins(), 0u);
    EXPECT_EQ(RenderPlugins(), 0u);
    EXPECT_EQ(DisablePlugin("SAMPLE"), 22);
    EXPECT_EQ(ManagePlugins(), 0u);
    // Shutdown calls DestroyLGp even of a plug-in that is no longer enabled.
    EXPECT_EQ(UnloadAllPlugins(), 1);
    EXPECT_STREQ(log(), "ICKMRDD");
    EXPECT_EQ(PluginCount, 0);
    EXPECT_EQ(ActivePluginCount, 0);
}

TEST_F(PluginHostTest, FrameAnswersAreCombinedAndKeysReachEveryPlugin) {
    fs::rename(dir_ / "PLUGIN", dir_ / "Plugin");  // the folder is a Windows name
    ClearPathCache();
    const fs::path a = Install("Sample.QVm", "Alpha.QVm");
    const fs::path b = Install("Sample.QVm", "Beta.QVm");
    auto answersA = Export<AnswersFn>(a, "SampleSetAnswers");
    auto answersB = Export<AnswersFn>(b, "SampleSetAnswers");
    auto keyA = Export<LastKeyFn>(a, "SampleLastKey");
    auto keyB = Export<LastKeyFn>(b, "SampleLastKey");
    ASSERT_EQ(LoadAllPlugins(), 2);
    EnablePlugin("Alpha");
    EnablePlugin("Beta");
    answersA(0, 1);
    answersB(4, 2);
    EXPECT_EQ(RenderPlugins(), 3u);
    EXPECT_EQ(ManagePlugins(), 4u);
    ForwardMessageToPlugins(WM_KEYDOWN, 'Z');
    EXPECT_EQ(keyA(1), static_cast<uint32_t>('Z'));
    EXPECT_EQ(keyB(1), static_cast<uint32_t>('Z'));
    DisablePlugin("Beta");
    EXPECT_EQ(RenderPlugins(), 1u);
}

TEST_F(PluginHostTest, PluginDisablesItselfThroughTheServiceTable) {
    const fs::path path = Install("Sample.QVm", "Sample.QVm");
    auto disableSelf = Export<int32_t (*)()>(path, "SampleDisableSelf");
    auto log = Export<LogFn>(path, "SampleCallLog");
    ASSERT_EQ(LoadAllPlugins(), 1);
    EXPECT_EQ(EnablePlugin("Sample"), 11);
    EXPECT_EQ(disableSelf(), 1);
    EXPECT_EQ(PluginRecords[0].active, 0);
    EXPECT_STREQ(log(), "ICD");
    EXPECT_EQ(DisablePluginAt(0), 0);
    EXPECT_EQ(DisablePluginAt(-1), 0);
    EXPECT_EQ(DisablePluginAt(7), 0);
}

TEST_F(PluginHostTest, BrokenAndDuplicateModulesAreSkipped) {
    std::ofstream(dir_ / "PLUGIN" / "Garbage.QVm") << "not a library";
    Install("NoEntries.QVm", "NoEntries.QVm");
    Install("Sample.QVm", "Sample.QVm");
    Install("Sample.QVm", "SAMPLE.QVg");  // same name in another letter case: the .QVm one wins
    Install("Sample.QVm", "Other.txt");   // not a plug-in name
    ASSERT_EQ(LoadAllPlugins(), 1);
    EXPECT_STREQ(PluginRecords[0].name, "Sample");
    EXPECT_EQ(PluginRecords[0].index, 0);
    EXPECT_EQ(FindPlugin("Garbage"), -1);
    EXPECT_EQ(FindPlugin("NoEntries"), -1);
    EXPECT_EQ(LoadPlugin((dir_ / "PLUGIN" / "SAMPLE.QVg").c_str()), 0);
    EXPECT_EQ(PluginCount, 1);
}

// A library cut short or with damaged program headers would be mapped past its end by the loader
// (a bus error on first touch); the host names each such file and goes on with the others.
TEST_F(PluginHostTest, CutAndDamagedLibrariesAreNamedAndSkipped) {
    Install("Sample.QVm", "Good.QVm");
    const fs::path cut = Install("Sample.QVm", "Cut.QVm");
    fs::resize_file(cut, fs::file_size(cut) / 2);
    const fs::path damaged = Install("Sample.QVm", "Damaged.QVm");
    {
        std::fstream f(damaged, std::ios::in | std::ios::out | std::ios::binary);
        Elf64_Ehdr header;
        f.read(reinterpret_cast<char*>(&header), sizeof header);
        ASSERT_TRUE(f.good());
        // Every segment's file offset points far past the end of the file.
        for (uint16_t i = 0; i < header.e_phnum; ++i) {
            const auto at = static_cast<std::streamoff>(header.e_phoff + uint64_t{i} * header.e_phentsize +
                                                        offsetof(Elf64_Phdr, p_offset));
            const uint64_t far = uint64_t{1} << 40;
            f.seekp(at);
            f.write(reinterpret_cast<const char*>(&far), sizeof far);
        }
        ASSERT_TRUE(f.good());
    }
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(LoadAllPlugins(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_STREQ(PluginRecords[0].name, "Good");
    EXPECT_EQ(FindPlugin("Cut"), -1);
    EXPECT_EQ(FindPlugin("Damaged"), -1);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_NE(err.find("plugin: " + cut.string() + ": not a loadable library"), std::string::npos) << err;
    EXPECT_NE(err.find("plugin: " + damaged.string() + ": not a loadable library"), std::string::npos) << err;
    EXPECT_EQ(EnablePlugin("Good"), 11);
}

}  // namespace
