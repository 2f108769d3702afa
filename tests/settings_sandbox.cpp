// Linked into every test program: the settings tree lives in a temporary folder of the program's
// own (XDG_CONFIG_HOME), never in the user's, and every test starts from the tree that a first
// run creates, so that no test sees what an earlier one saved at release.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "settings/preset_store.h"

namespace {

class SettingsSandbox : public ::testing::EmptyTestEventListener {
    void OnTestProgramStart(const ::testing::UnitTest&) override {
        folder_ = (std::filesystem::temp_directory_path() / "lumora-settings-XXXXXX").string();
        if (::mkdtemp(&folder_[0]) == nullptr) std::abort();
    }
    void OnTestStart(const ::testing::TestInfo&) override {
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
        std::filesystem::remove_all(folder_ + "/Vornex");
        lumora::CaptureWindow window;
        lumora::PresetStore::LoadSizePreset(&window);  // creates the first-run tree
    }
    void OnTestProgramEnd(const ::testing::UnitTest&) override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string folder_;
};

const bool kInstalled = (::testing::UnitTest::GetInstance()->listeners().Append(new SettingsSandbox), true);

}  // namespace
