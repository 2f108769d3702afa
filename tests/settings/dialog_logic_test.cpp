// The window-less side of the settings dialogs: the preset table's edge cases, the list mappings,
// the enable flags, the Default buttons, the exposure label and the hooks' posting; and on Linux,
// the dialog exports. The dialogs themselves are driven under Wine (tests/win32).
#include <gtest/gtest.h>

#include <vector>

#include "camera/camera_object.h"
#include "settings/analog_gain_dialog.h"
#include "settings/camera_property_dialog.h"
#include "settings/filter_property_dialog.h"
#include "settings_test_support.h"

namespace lumora::test {
namespace {

TEST(CameraPropertyDialogTable, StoresOnlyInsideTheTable) {
    struct Case {
        int count, size, item, result, countAfter, sizeAfter;
    } cases[] = {
        {2, 0, 1, 1, 2, 1},        // a preset is overwritten
        {2, 0, 2, 2, 3, 2},        // "Custom" adds the next one
        {99, 0, 99, 99, 100, 99},  // the last free entry
        {100, 7, 100, -1, 100, 7}, // full: nothing is added
        {2, 5, -1, -1, 2, 5},      // no selection
        {2, 0, 3, -1, 2, 0},       // past "Custom"
    };
    for (const Case& c : cases) {
        CameraPropertyDialog d;
        d.presetCount = c.count;
        d.stream.size = c.size;
        const int numbers[6] = {3488, 2616, 1920, 1080, 4, 6};
        EXPECT_EQ(d.StorePreset(c.item, numbers), c.result) << c.item;
        EXPECT_EQ(d.presetCount, c.countAfter);
        EXPECT_EQ(d.stream.size, c.sizeAfter);
        if (c.result < 0) continue;
        const CaptureWindow& p = d.presets[c.result];
        EXPECT_TRUE(p.hTotal == 3488 && p.vTotal == 2616 && p.hEffective == 1920 && p.vEffective == 1080 &&
                    p.hStart == 4 && p.vStart == 6 && p.presetBuf == 10);
    }
}

TEST(CameraPropertyDialogTable, ShownPresetAndSubSampleItems) {
    CameraPropertyDialog d;
    d.presetCount = 3;
    const struct {
        int count, size;
        bool shown;
    } shown[] = {{3, 0, true}, {3, 3, true}, {3, 4, false}, {3, -1, false}, {100, 99, true}, {100, 100, false}};
    for (const auto& c : shown) {
        d.presetCount = c.count;
        d.stream.size = c.size;
        const CaptureWindow* p = d.ShownPreset();
        EXPECT_EQ(p != nullptr, c.shown) << c.count << " " << c.size;
        if (p != nullptr) {
            EXPECT_EQ(p, &d.presets[c.size]);
        }
    }
    const int pairs[][2] = {{0, 0}, {1, 1}, {2, 2}, {17, 3}, {18, 4}, {-1, -1}};
    for (const auto& p : pairs) {
        EXPECT_EQ(CameraPropertyDialog::SubSampleItem(p[0]), p[1]);
        EXPECT_EQ(CameraPropertyDialog::SubSampleValue(p[1]), p[0]);
    }
}

TEST(FilterDialogLogic, EnableFlagsByColourModeAndDefaults) {
    for (int mode = 0; mode < 6; ++mode) {
        const FilterEnableFlags f = FilterEnableFlags::ForColorMode(mode);
        const bool mono = mode < 2;
        const bool expected[9] = {true, true, !mono, !mono, true, !mono, !mono, !mono, true};
        for (int i = 0; i < 9; ++i) EXPECT_EQ(f.sliders[i], expected[i]) << mode << " " << i;
        EXPECT_EQ(f.grayTab, mono);
        EXPECT_EQ(f.whiteBalance, !mono);
    }
    for (bool grayTab : {false, true}) {
        FilterSettings f;
        int* word = &f.brightness;
        for (size_t i = 0; i < sizeof f / sizeof(int); ++i) word[i] = 7;
        f.grayAutoGainCount = -1;
        FilterPropertyDialog::ResetDefaults(f, grayTab);
        EXPECT_TRUE(f.brightness == 0 && f.contrast == 0 && f.hue == 0 && f.saturation == 0 && f.sharpness == 0);
        EXPECT_TRUE(f.whiteBalanceRed == 100 && f.whiteBalanceGreen == 100 && f.whiteBalanceBlue == 100 &&
                    f.gamma == 100 && f.bayerPhase == 3);
        const int gain = grayTab ? 128 : 7, offset = grayTab ? 0 : 7;
        EXPECT_TRUE(f.grayGainR == gain && f.grayGainG1 == gain && f.grayGainG2 == gain && f.grayGainB == gain);
        EXPECT_TRUE(f.grayOffsetR == offset && f.grayOffsetG1 == offset && f.grayOffsetG2 == offset &&
                    f.grayOffsetB == offset);
        // The modes and automatic states stay.
        EXPECT_TRUE(f.grayMode == 7 && f.autoWhiteBalance == 7 && f.autoWhiteBalanceOnce[1] == 7 &&
                    f.grayAutoGainCount == -1);
    }
}

TEST(AnalogGainDialogLogic, DefaultsAndExposureLabel) {
    GainSettings g{1, 2, 3, 4, 5, 6, 1, 1, 2};
    AnalogGainDialog::ResetDefaults(g);
    EXPECT_TRUE(g.globalGain == 32 && g.gainGreen1 == 32 && g.gainRed == 32 && g.gainBlue == 32 && g.gainGreen2 == 32);
    EXPECT_TRUE(g.exposure == 2600 && g.mirrorV == 1 && g.mirrorH == 1 && g.autoIris == 2);

    CameraObject::LineTiming timing;
    EXPECT_EQ(AnalogGainPage::ExposureTimeText(&timing, &g), "=0.00ms");  // before any preparation
    timing.lineLengthClocks = 4000;
    timing.clockPeriodUs = 1 / 96.0;  // clock setting 3
    EXPECT_EQ(AnalogGainPage::ExposureTimeText(&timing, &g), "=108.33ms");
    timing.lineOffsetClocks = 960;
    EXPECT_EQ(AnalogGainPage::ExposureTimeText(&timing, &g), "=108.34ms");
    EXPECT_EQ(AnalogGainPage::ExposureTimeText(nullptr, &g), "=0.00ms");
    EXPECT_EQ(AnalogGainPage::ExposureTimeText(&timing, nullptr), "=0.00ms");
}

TEST(DialogNotifierPosting, PostsToTheOpenDialogOnly) {
    std::vector<std::vector<intptr_t>> posted;
    platform::SetMessageSink([&](platform::WindowHandle w, uint32_t msg, uintptr_t wp, intptr_t lp) {
        posted.push_back({reinterpret_cast<intptr_t>(w), static_cast<intptr_t>(msg), static_cast<intptr_t>(wp), lp});
    });
    DialogNotifier notifier;
    notifier.RefreshControls();  // no dialog open
    int window = 0;
    notifier.SetTarget(&window);
    notifier.RefreshControls();
    notifier.ShowValue(GainDialogHook::kExposureEdit, -5);
    notifier.SetTarget(nullptr);
    notifier.ShowValue(GainDialogHook::kGainEdit, 9);
    platform::SetMessageSink(nullptr);
    const intptr_t target = reinterpret_cast<intptr_t>(&window);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0], (std::vector<intptr_t>{target, DialogNotifier::kRefreshMessage, 0, 0}));
    EXPECT_EQ(posted[1], (std::vector<intptr_t>{target, DialogNotifier::kShowValueMessage, 1027, -5}));
}

using DialogExports = SettingsHome;

TEST_F(DialogExports, UnsupportedOnLinuxAndNothingChanges) {
    Write(stored_tree::FirstRun());
    LumoraHandle h = Lumora_Initialize(nullptr);
    ASSERT_NE(h, 0);
    Lumora_GetLastError(h);  // the first run's storage note
    Lumora_SetBrightness(h, 40);
    Lumora_SetGlobalGain(h, 50);
    ASSERT_EQ(Lumora_StartPreview(h), 1);
    int (*const dialogs[])(LumoraHandle, LumoraWindow) = {Lumora_SetCameraDlg, Lumora_SetImageDlg,
                                                          Lumora_SetAnalogDlg};
    for (auto* dialog : dialogs) {
        EXPECT_EQ(dialog(h, nullptr), 0);
        EXPECT_EQ(Lumora_GetLastError(h), CAMERR_UNSUPPORTED);
    }
    int ok = 0;
    EXPECT_EQ(Lumora_GetBrightness(h, &ok), 40);
    EXPECT_EQ(Lumora_GetGlobalGain(h, &ok), 50);
    EXPECT_EQ(Lumora_Capture(h), 0);  // the preview was never stopped
    Lumora_StopPreview(h);
    Lumora_Release(h);
    EXPECT_EQ(Lumora_SetCameraDlg(0, nullptr), 0);
}

}  // namespace
}  // namespace lumora::test
