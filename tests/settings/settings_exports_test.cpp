// The persisted settings through the exported functions, on emulated cameras, each test with a
// settings tree of its own.
#include <gtest/gtest.h>

#include "camera/camera_object.h"
#include "settings/image_filter_page.h"
#include "settings_test_support.h"

namespace lumora::test {
namespace {

using SettingsExports = SettingsHome;

TEST_F(SettingsExports, StoredTreeCases) {
    stored_tree::Api api{};
#define LUMORA_LINKED(name) api.name = &::name;
    LUMORA_STORED_TREE_EXPORTS(LUMORA_LINKED)
#undef LUMORA_LINKED
    stored_tree::RunAll(api, *this);
}

TEST_F(SettingsExports, OnlyLoadedSettingsAreStoredAndPagesKeepToTheirRecord) {
    Write(stored_tree::FirstRun() + stored_tree::Values("Filter", {{"Gamma", 150}}));
    const std::string before = StoreBytes();
    { CameraObject neverInitialised; }
    EXPECT_EQ(StoreBytes(), before);

    // Window-less pages work on their own record, whatever was constructed after them.
    FilterSettings first, second;
    first.gamma = 111;
    ImageFilterPage a(&first);
    ImageFilterPage b(&second);
    ASSERT_EQ(a.SaveFilterSettings(), 1);
    ASSERT_EQ(b.LoadFilterSettings(), 1);
    EXPECT_EQ(second.gamma, 111);
    EXPECT_EQ(Stored("Filter", "Gamma"), 111);
}

}  // namespace
}  // namespace lumora::test
