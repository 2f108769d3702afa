// The persisted settings through the exported functions, on emulated cameras, each test with a
// settings tree of its own.
#include <gtest/gtest.h>

#include <vector>

#include "camera/camera_object.h"
#include "device/k37vq_device.h"
#include "lumora/LumoraSdk.h"
#include "settings/image_filter_page.h"
#include "settings_test_support.h"

namespace lumora::test {
namespace {

using SettingsExports = SettingsHome;

struct Window {
    int hTotal, hStart, hEffective, vTotal, vStart, vEffective;
    bool operator==(const Window& o) const {
        return hTotal == o.hTotal && hStart == o.hStart && hEffective == o.hEffective &&
               vTotal == o.vTotal && vStart == o.vStart && vEffective == o.vEffective;
    }
};
std::ostream& operator<<(std::ostream& os, const Window& w) {
    return os << w.hTotal << "/" << w.hStart << "/" << w.hEffective << " x " << w.vTotal << "/"
              << w.vStart << "/" << w.vEffective;
}
constexpr Window kFullSensor{3488, 0, 3488, 2616, 0, 2616};

Window CaptureWindowOf(LumoraHandle h) {
    Window w{};
    Lumora_GetCaptureWindowEx(h, &w.hTotal, &w.hStart, &w.hEffective, &w.vTotal, &w.vStart,
                              &w.vEffective);
    return w;
}

std::vector<int> DrainErrors(LumoraHandle h) {
    std::vector<int> codes;
    for (int code; (code = Lumora_GetLastError(h)) != 0;) codes.insert(codes.begin(), code);
    return codes;
}

int Filter(LumoraHandle h, int index) {
    int ok = 0;
    return Lumora_GetFilterValue(h, index, &ok);
}

uint16_t GainRegister(CameraEmulator& camera, uint16_t reg) { return camera.Register16(reg) & 0x7F; }

TEST_F(SettingsExports, FirstRunCreatesTheTreeReportsStorageOnceAndSavesTheGroupsAtRelease) {
    DiskLayer::PlaceTestCameras(1);
    LumoraHandle h = Lumora_Initialize(nullptr);
    EXPECT_EQ(DrainErrors(h), std::vector<int>{CAMERR_STORAGE});
    EXPECT_EQ(Lumora_GetColorMode(h), 24);
    EXPECT_EQ(CaptureWindowOf(h), kFullSensor);
    const int root[] = {0, 2, 0, 10, 0}, preset[] = {3488, 2616, 3488, 2616, 0, 0, 10};
    const char* rootNames[] = {"Size", "Color", "SubSample", "WaitTime", "Clock"};
    const char* presetNames[] = {"TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Stored("", rootNames[i]), root[i]) << rootNames[i];
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Stored("Size_00", presetNames[i]), preset[i]) << i;
    EXPECT_FALSE(HasKey("Filter"));
    EXPECT_EQ(Filter(h, 11), 100);  // gamma default
    EXPECT_EQ(Filter(h, 13), 32);   // global gain written to the camera
    ASSERT_EQ(Lumora_Release(h), 1);
    EXPECT_EQ(Stored("Filter", "BayerMode"), 3);
    EXPECT_EQ(Stored("Gray", "GainG2"), 128);
    EXPECT_EQ(Stored("Gain_00", "Exposure"), 2600);

    h = Lumora_Initialize(nullptr);  // second run: nothing to report
    EXPECT_EQ(DrainErrors(h), std::vector<int>{});
    Lumora_Release(h);
}

// Stored presets at initialisation and in Lumora_SetCaptureWindow.
TEST_F(SettingsExports, PresetsAreFoundAsStored) {
    const std::string threePresets = Preset(0, 3488, 2616, 3488, 2616, 0, 0) +
                                     Preset(1, 3488, 2616, 1920, 1080, 100, 200) +
                                     Preset(2, 3488, 2616, 1920, 1080, 8, 8);
    struct Case {
        const char* what;
        std::string store;
        std::vector<int> initErrors;
        Window afterInit;
        int width, height;  // for Lumora_SetCaptureWindow, 0: not called
        int result;
        std::vector<int> setErrors;
        Window afterSet;
    } cases[] = {
        {"Size 3 of three presets", Root(3) + threePresets, {CAMERR_STORAGE}, kFullSensor,
         0, 0, 0, {}, kFullSensor},
        {"Size 1 selects its preset", Root(1) + threePresets, {}, {3488, 100, 1920, 2616, 200, 1080},
         0, 0, 0, {}, {}},
        {"two presets of one size: the lower wins", Root(0) + threePresets, {}, kFullSensor,
         1920, 1080, 1, {}, {3488, 100, 1920, 2616, 200, 1080}},
        {"a gap hides the later presets",
         Root(0) + Preset(0, 3488, 2616, 3488, 2616, 0, 0) + Preset(1, 1, 1, 640, 480, 0, 0) +
             Preset(3, 1, 1, 800, 600, 0, 0),
         {}, kFullSensor, 800, 600, 0, {CAMERR_WINDOW}, kFullSensor},
        {"the preset before the gap is found",
         Root(0) + Preset(0, 3488, 2616, 3488, 2616, 0, 0) + Preset(1, 1, 2, 640, 480, 4, 6) +
             Preset(3, 1, 1, 800, 600, 0, 0),
         {}, kFullSensor, 640, 480, 1, {}, {1, 4, 640, 2, 6, 480}},
        {"EH 3000 at 600 is replaced by the full sensor",
         Root(0) + Preset(0, 3488, 2616, 3488, 2616, 0, 0) + Preset(1, 3000, 2000, 3000, 2000, 600, 0),
         {}, kFullSensor, 3000, 2000, 1, {CAMERR_CAPTURE_WINDOW}, kFullSensor},
        {"an invalid stored preset at initialisation",
         Root(1) + Preset(0, 3488, 2616, 3488, 2616, 0, 0) + Preset(1, 7, 7, 100, 100, -1, 0),
         {CAMERR_CAPTURE_WINDOW}, kFullSensor, 0, 0, 0, {}, kFullSensor},
        {"Size missing", Key() + Dword("Color", 0) + threePresets, {CAMERR_STORAGE}, kFullSensor,
         0, 0, 0, {}, kFullSensor},
        {"Size above 99", Root(100) + threePresets, {CAMERR_STORAGE}, kFullSensor, 0, 0, 0, {},
         kFullSensor},
        {"no match", Root(0) + threePresets, {}, kFullSensor, 1, 1, 0, {CAMERR_WINDOW}, kFullSensor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteStore(kHeader + c.store);
        DiskLayer::PlaceTestCameras(1);
        LumoraHandle h = Lumora_Initialize(nullptr);
        EXPECT_EQ(DrainErrors(h), c.initErrors);
        EXPECT_EQ(CaptureWindowOf(h), c.afterInit);
        EXPECT_EQ(Lumora_Width(h), c.afterInit.hEffective);
        if (c.width != 0) {
            EXPECT_EQ(Lumora_SetCaptureWindow(h, c.width, c.height), c.result);
            EXPECT_EQ(DrainErrors(h), c.setErrors);
            EXPECT_EQ(CaptureWindowOf(h), c.afterSet);
        }
        Lumora_Release(h);
    }
}

TEST_F(SettingsExports, StoredGroupsLoadWithTheirDefaultsWhereMissing) {
    struct Case {
        const char* what;
        std::string store;
        std::vector<int> indexes, values;  // GetFilterValue index and expected value
    } cases[] = {
        {"Filter without Gray",
         Key("Filter") + Dword("Brightness", 0xFFFFFFEC) + Dword("Gamma", 150) + Dword("BayerMode", 1),
         {1, 11, 12, 19, 20, 21, 22, 23, 24, 25, 26, 27}, {-20, 150, 1, 0, 128, 128, 128, 128, 0, 0, 0, 0}},
        {"a value missing from Filter takes its default", Key("Filter") + Dword("Contrast", 9),
         {2, 7, 8, 9, 11, 12}, {9, 100, 100, 100, 100, 3}},
        {"Gray without Filter", Key("Gray") + Dword("Mode", 2) + Dword("OffsetB1", 0xFFFFFFFB),
         {19, 27, 20, 11, 12}, {2, -5, 128, 100, 3}},
        {"wrong types and sizes",
         Key("Filter") + "\"Brightness\"=hex(4):05,00,00,00\r\n\"Contrast\"=hex(4):05,00\r\n"
                         "\"Hue\"=\"30\"\r\n\"Saturation\"=hex:07,00,00,00\r\n\"Gamma\"=dword:7b\r\n" +
             Key("Gain_00") + "\"Global\"=\"99\"\r\n" + Dword("Exposure", 700),
         {1, 2, 3, 4, 11, 13, 18}, {5, 0, 0, 0, 123, 32, 700}},
        {"Gain_00 with mirrors", Key("Gain_00") + Dword("V_Mirror", 7) + Dword("ColorR", 90),
         {14, 15, 13}, {90, 32, 32}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteStore(kHeader + Root(0) + Preset(0, 3488, 2616, 3488, 2616, 0, 0) + c.store);
        auto cameras = DiskLayer::PlaceTestCameras(1);
        LumoraHandle h = Lumora_Initialize(nullptr);
        EXPECT_EQ(DrainErrors(h), std::vector<int>{});
        for (size_t i = 0; i < c.indexes.size(); ++i) {
            EXPECT_EQ(Filter(h, c.indexes[i]), c.values[i]) << "index " << c.indexes[i];
        }
        Lumora_Release(h);
    }
}

TEST_F(SettingsExports, ValuesChangedThroughTheExportsComeBackAtTheNextInitialisation) {
    auto cameras = DiskLayer::PlaceTestCameras(1);
    LumoraHandle h = Lumora_Initialize(nullptr);
    const int index[] = {1, 2, 3, 4, 5, 7, 8, 9, 11, 19, 20, 23, 24, 27, 14, 15, 18};
    const int value[] = {-20, 30, -90, 40, 7, 150, 90, 210, 180, 1, 200, 60, -5, 255, 77, 66, 1234};
    for (size_t i = 0; i < std::size(index); ++i) ASSERT_EQ(Lumora_SetFilterValue(h, index[i], value[i]), 1);
    ASSERT_EQ(Lumora_SetMirrorV(h, 1), 1);  // also moves the Bayer phase from 3 to 2
    ASSERT_EQ(Lumora_SetAutoIris(h, 2), 1);
    ASSERT_EQ(Lumora_Release(h), 1);
    EXPECT_EQ(Stored("Gain_00", "V_Mirror"), 1);

    // A new camera, so that what it reads was written by the initialisation.
    cameras = DiskLayer::PlaceTestCameras(1);
    h = Lumora_Initialize(nullptr);
    EXPECT_EQ(DrainErrors(h), std::vector<int>{});
    for (size_t i = 0; i < std::size(index); ++i) EXPECT_EQ(Filter(h, index[i]), value[i]) << index[i];
    EXPECT_EQ(Filter(h, 12), 2);
    EXPECT_EQ(Lumora_GetMirrorV(h), 1);
    int ok = 0;
    EXPECT_EQ(Lumora_GetAutoIris(h, &ok), 2);
    EXPECT_EQ(cameras[0]->Register16(K37VQDevice::REG_EXPOSURE_LINES), 1234);
    EXPECT_EQ(GainRegister(*cameras[0], K37VQDevice::REG_GAIN_RED), 77);
    Lumora_Release(h);
}

// Gains are stored per camera number; a second handle does not change a camera another handle
// holds, and selecting a camera gives it the handle's values.
TEST_F(SettingsExports, SecondHandleLeavesTheFirstCameraAloneAndStoresUnderItsOwnNumber) {
    WriteStore(kHeader + Root(0) + Preset(0, 3488, 2616, 3488, 2616, 0, 0) + Key("Gain_00") +
               Dword("Global", 40) + Dword("Exposure", 500) + Key("Gain_01") + Dword("Global", 70));
    auto cameras = DiskLayer::PlaceTestCameras(2);
    LumoraHandle a = Lumora_Initialize(nullptr);
    ASSERT_EQ(Lumora_SetFilterValue(a, 13, 90), 1);
    ASSERT_EQ(Lumora_SetMirrorH(a, 1), 1);
    const uint16_t readMode = cameras[0]->Register16(K37VQDevice::REG_READ_MODE);

    LumoraHandle b = Lumora_Initialize(nullptr);  // loads Gain_00: global 40, exposure 500
    EXPECT_EQ(DrainErrors(b), std::vector<int>{});
    EXPECT_EQ(GainRegister(*cameras[0], K37VQDevice::REG_GAIN_GLOBAL), 90);
    EXPECT_EQ(cameras[0]->Register16(K37VQDevice::REG_READ_MODE), readMode);
    EXPECT_EQ(Lumora_GetMirrorH(a), 1);
    ASSERT_EQ(Lumora_SetDeviceNumber(b, 1), 1);
    EXPECT_EQ(GainRegister(*cameras[1], K37VQDevice::REG_GAIN_GLOBAL), 40);
    EXPECT_EQ(cameras[1]->Register16(K37VQDevice::REG_EXPOSURE_LINES), 500);
    EXPECT_EQ(Filter(b, 13), 40);
    EXPECT_EQ(Filter(b, 18), 500);
    EXPECT_EQ(Filter(a, 13), 90);
    ASSERT_EQ(Lumora_SetFilterValue(b, 13, 55), 1);

    ASSERT_EQ(Lumora_Release(b), 1);
    EXPECT_EQ(Stored("Gain_01", "Global"), 55);
    EXPECT_EQ(Stored("Gain_00", "Global"), 40);
    ASSERT_EQ(Lumora_Release(a), 1);
    EXPECT_EQ(Stored("Gain_00", "Global"), 90);
    EXPECT_EQ(Stored("Gain_00", "H_Mirror"), 1);
}

TEST_F(SettingsExports, OnlyLoadedSettingsAreStored) {
    WriteStore(kHeader + Root(0) + Preset(0, 3488, 2616, 3488, 2616, 0, 0) + Key("Filter") +
               Dword("Gamma", 150));
    const std::string before = StoreBytes();
    { CameraObject neverInitialised; }
    EXPECT_EQ(StoreBytes(), before);

    // Page objects without windows work on their own record only, in any order of construction.
    FilterSettings first, second;
    first.gamma = 111;
    second.gamma = 222;
    ImageFilterPage a(&first);
    ImageFilterPage b(&second);
    ASSERT_EQ(a.SaveFilterSettings(), 1);
    EXPECT_EQ(Stored("Filter", "Gamma"), 111);
    ASSERT_EQ(b.LoadFilterSettings(), 1);
    EXPECT_EQ(second.gamma, 111);
    EXPECT_EQ(first.gamma, 111);
}

}  // namespace
}  // namespace lumora::test
