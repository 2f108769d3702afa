// The persisted settings through the exported functions, on emulated cameras, each test with a
// settings tree of its own.
#include <gtest/gtest.h>

#include "camera/camera_object.h"
#include "settings/camera_property_dialog.h"
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

TEST_F(SettingsExports, PropertyDialogTableSeesPresetsUpToTheGapAndAddsAfterThem) {
    using namespace stored_tree;
    CameraPropertyDialog dialog;
    EXPECT_EQ(dialog.LoadPresetTable(), 0);  // no root: the construction values stay
    EXPECT_EQ(dialog.presetCount, 0);
    EXPECT_EQ(dialog.stream.waitTime, 10);
    Write(Values("", {{"Size", 1}, {"Color", 3}, {"SubSample", 17}, {"WaitTime", 25}, {"Clock", 4}}) +
          Preset(0, 3488, 2616) + Preset(1, 640, 480, 2, 4) + Preset(3, 800, 600));
    ASSERT_EQ(dialog.LoadPresetTable(), 1);
    EXPECT_EQ(dialog.presetCount, 2);
    EXPECT_TRUE(dialog.presets[1].hEffective == 640 && dialog.presets[1].vStart == 4);
    EXPECT_TRUE(dialog.stream.size == 1 && dialog.stream.color == 3 && dialog.stream.subSample == 17 &&
                dialog.stream.waitTime == 25 && dialog.stream.clock == 4);
    dialog.presets[2] = {3488, 2616, 1920, 1080, 8, 8, 10};  // added as "Custom"
    dialog.presetCount = 3;
    dialog.stream.size = 2;
    ASSERT_EQ(dialog.SavePresetTable(), 1);
    EXPECT_EQ(Stored("Size_02", "EH"), 1920);
    EXPECT_EQ(Stored("Size_03", "EH"), 800);  // never deleted
    EXPECT_EQ(Stored("", "Size"), 2);
    LumoraHandle h = Lumora_Initialize(nullptr);
    EXPECT_EQ(Lumora_Width(h), 1920);
    EXPECT_EQ(Lumora_GetSubSample(h), 17);
    Lumora_Release(h);
}

}  // namespace
}  // namespace lumora::test
