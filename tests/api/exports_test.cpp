// The exports on a camera object without a camera (and an object without a device): what works, what fails and with which code.
#include "lumora/LumoraSdk.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <vector>

#include "camera/camera_object.h"
#include "platform/window_message.h"

namespace {

// A handle that no Lumora_Initialize returned.
constexpr LumoraHandle kBadHandle = 0x7eadbeef;

class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        h = Lumora_Initialize(nullptr);
        ASSERT_NE(h, 0);
        ASSERT_EQ(Lumora_GetLastError(h), 0);
    }
    void TearDown() override { EXPECT_EQ(Lumora_Release(h), 1); }
    LumoraHandle h = 0;
};

TEST(ExportsBasicsTest, VersionNeedsNoHandle) { EXPECT_EQ(Lumora_GetDllVersion(), 0x012D0519); }

TEST(ExportsBasicsTest, InitializeWithoutCameraGivesAUsableHandle) {
    LumoraHandle h = Lumora_Initialize(nullptr);
    ASSERT_NE(h, 0);
    EXPECT_EQ(Lumora_GetLastError(h), 0);
    EXPECT_EQ(Lumora_Width(h), 3488);
    EXPECT_EQ(Lumora_Height(h), 2616);
    EXPECT_EQ(Lumora_Release(h), 1);
    EXPECT_EQ(Lumora_Release(h), 0);
}

TEST(ExportsBasicsTest, ErrorWindowReceivesEveryRecordedCode) {
    struct Posted {
        void* window;
        uint32_t msg;
        uintptr_t w;
        intptr_t l;
    };
    std::mutex m;
    std::vector<Posted> posted;
    lumora::platform::SetMessageSink([&](void* win, uint32_t msg, uintptr_t w, intptr_t l) {
        std::lock_guard<std::mutex> lock(m);
        posted.push_back({win, msg, w, l});
    });
    int token = 0;
    LumoraWindow window = &token;
    LumoraHandle h = Lumora_Initialize(window);
    Lumora_SetColorMode(h, 7);
    Lumora_Trigger(h);
    Lumora_Release(h);
    lumora::platform::SetMessageSink(nullptr);
    ASSERT_EQ(posted.size(), 2u);
    int expected[] = {CAMERR_ARGUMENT, CAMERR_UNSUPPORTED};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(posted[i].window, window);
        EXPECT_EQ(posted[i].msg, static_cast<uint32_t>(CAMMSG_ERROR));
        EXPECT_EQ(posted[i].w, 0u);
        EXPECT_EQ(posted[i].l, expected[i]);
    }
}

TEST(ExportsBasicsTest, InvalidHandleGivesItsValueAndRecordsNothing) {
    LumoraHandle h = Lumora_Initialize(nullptr);
    Lumora_GetLastError(h);
    int ok = 5, v = 5;
    unsigned char port = 0;
    CameraInfo info{};
    info.size = sizeof info;
    char names[10][256];
    EXPECT_EQ(Lumora_GetColorMode(kBadHandle), -1);
    EXPECT_EQ(Lumora_GetSubSample(kBadHandle), -1);
    EXPECT_EQ(Lumora_GetWaitTime(kBadHandle), -1);
    EXPECT_EQ(Lumora_GetHalfClock(kBadHandle), 0);
    EXPECT_EQ(Lumora_Width(kBadHandle), 0);
    EXPECT_EQ(Lumora_GetStatus(kBadHandle, 0), 0);
    EXPECT_EQ(Lumora_SetColorMode(kBadHandle, 24), 0);
    EXPECT_EQ(Lumora_GetCameraInfo(kBadHandle, &info), 0);
    EXPECT_EQ(Lumora_EnumDevice(kBadHandle, names), 0);
    EXPECT_EQ(Lumora_GetFilterValue(kBadHandle, 1, &ok), 0);
    EXPECT_EQ(ok, 5);
    EXPECT_EQ(Lumora_GetAutoIris(kBadHandle, &ok), 0);
    EXPECT_EQ(Lumora_GetIOPort(kBadHandle, &port, 0, 0), 0);
    EXPECT_EQ(Lumora_GetVideoFormat(kBadHandle, &v), 0);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(Lumora_Trigger(kBadHandle), 0);
    EXPECT_EQ(Lumora_Close(kBadHandle), 0);
    EXPECT_EQ(Lumora_Release(kBadHandle), 0);
    EXPECT_EQ(Lumora_GetLastError(kBadHandle), 0);
    EXPECT_EQ(Lumora_GetLastError(h), 0);  // nothing landed on the real camera either
    Lumora_Release(h);
}

TEST(ExportsBasicsTest, TwoCamerasAtOnceKeepTheirOwnStateAndHistory) {
    LumoraHandle a = Lumora_Initialize(nullptr);
    LumoraHandle b = Lumora_Initialize(nullptr);
    ASSERT_NE(a, b);
    Lumora_GetLastError(a);
    Lumora_GetLastError(b);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(Lumora_SetColorMode(a, 24), 1);
        EXPECT_EQ(Lumora_SetColorMode(b, 48), 1);
        EXPECT_EQ(Lumora_GetColorMode(a), 24);
        EXPECT_EQ(Lumora_GetColorMode(b), 44);
    }
    Lumora_SetHalfClock(a, 10);
    EXPECT_EQ(Lumora_GetLastError(b), 0);
    EXPECT_EQ(Lumora_GetLastError(a), CAMERR_ARGUMENT);
    EXPECT_EQ(Lumora_Release(a), 1);
    EXPECT_EQ(Lumora_GetColorMode(a), -1);
    EXPECT_EQ(Lumora_SetWaitTime(a, 5), 0);
    EXPECT_EQ(Lumora_GetColorMode(b), 44);
    EXPECT_EQ(Lumora_Release(b), 1);
}

TEST_F(ExportsTest, ColorModesMapToTheirReportedDepths) {
    const int set[] = {8, 16, 24, 32, 48, 64};
    const int reported[] = {8, 12, 24, 32, 44, 60};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Lumora_SetColorMode(h, set[i]), 1);
        EXPECT_EQ(Lumora_GetColorMode(h), reported[i]);
    }
    EXPECT_EQ(Lumora_SetColorMode(h, 12), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    EXPECT_EQ(Lumora_GetColorMode(h), 60);
}

TEST_F(ExportsTest, PlainStoredSettingsAndTheirLimits) {
    EXPECT_EQ(Lumora_GetSubSample(h), 0);
    for (int mode : {1, 2, 17, 18, 0}) {
        EXPECT_EQ(Lumora_SetSubSample(h, mode), 1);
        EXPECT_EQ(Lumora_GetSubSample(h), mode);
    }
    EXPECT_EQ(Lumora_GetWaitTime(h), 10);
    EXPECT_EQ(Lumora_SetWaitTime(h, 0), 1);
    EXPECT_EQ(Lumora_GetWaitTime(h), 0);

    EXPECT_EQ(Lumora_SetHalfClock(h, 9), 1);
    EXPECT_EQ(Lumora_GetHalfClock(h), 9);
    EXPECT_EQ(Lumora_SetHalfClock(h, 10), 0);
    EXPECT_EQ(Lumora_SetHalfClock(h, -1), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    EXPECT_EQ(Lumora_GetHalfClock(h), 9);

    int ok = 0;
    EXPECT_EQ(Lumora_SetAutoIris(h, 2), 1);
    EXPECT_EQ(Lumora_GetAutoIris(h, &ok), 2);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Lumora_GetAutoIris(h, nullptr), 2);
    EXPECT_EQ(Lumora_SetAutoIris(h, 3), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    EXPECT_EQ(Lumora_GetStatus(h, 123), 0);
}

TEST_F(ExportsTest, CaptureWindowReadBackSkipsNullPointers) {
    int ht = 0, hs = -1, he = 0, vt = 0, vs = -1, ve = 0;
    EXPECT_EQ(Lumora_GetCaptureWindowEx(h, &ht, &hs, &he, &vt, &vs, &ve), 1);
    EXPECT_EQ(ht, 3488);
    EXPECT_EQ(hs, 0);
    EXPECT_EQ(he, 3488);
    EXPECT_EQ(vt, 2616);
    EXPECT_EQ(vs, 0);
    EXPECT_EQ(ve, 2616);
    EXPECT_EQ(Lumora_GetCaptureWindowEx(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
}

// Initialisation always gives the object its device; without one (an object that was never
// initialised) every operation that needs it fails with CAMERR_NO_DEVICE.
TEST(CameraObjectWithoutDevice, OperationsNeedingTheDeviceFailWithNoDevice) {
    lumora::CameraObject c;
    int ok = 7;
    unsigned char port = 0;
    char names[10][256];
    char16_t wnames[10][256];
    char name[32];
    CameraInfo info{};
    info.size = sizeof info;
    const int results[] = {
        c.SetDeviceNumber(0),
        c.EnumDevice(names),
        c.EnumDeviceW(wnames),
        c.GetDeviceName(0, name, sizeof name),
        c.GetCameraInfo(&info),
        c.SetCaptureWindowEx(3488, 0, 640, 2616, 0, 480),
        c.SelectSizePreset(640, 480),
        c.SetMirrorV(1),
        c.GetMirrorH(),
        c.WriteRegister(0x10, 1),
        c.ReadRegister(0x3040, &ok),
        c.ReadSromID(0, &ok),
        c.WriteSromID(0, 1),
        c.SetIOPort(4),
        c.GetIOPort(&port),
        c.SetFilterValue(1, 10),
        c.GetFilterValue(11, &ok),
        c.StartPreview(),
        c.Preview(),
        c.Capture(),
        c.SnapShot(nullptr, 0, 0),
        c.GetImage(name, sizeof name, 0),
        c.SaveImage("x.bmp", 0),
        c.SetPreviewWindow(nullptr, 0, 0, 10, 10),
        c.CameraDialog(nullptr),
        c.FilterDialog(nullptr),
        c.AnalogGainDialog(nullptr),
    };
    for (int r : results) EXPECT_EQ(r, 0);
    for (size_t i = 0; i < sizeof results / sizeof results[0]; ++i) {
        if (i >= 20) break;  // the history keeps the newest twenty
        EXPECT_EQ(c.PopError(), CAMERR_NO_DEVICE) << "entry " << i;
    }
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(c.Close(), 1);
}

// Every argument out of range: 0 and one CAMERR_ARGUMENT, before anything changes (checked
// before the missing camera is).
TEST_F(ExportsTest, ArgumentsOutOfRangeFailWithOneArgumentCode) {
    std::vector<uint8_t> buffer(64);
    int ok = 1;
    const std::pair<const char*, std::function<int()>> calls[] = {
        {"SetSubSample(3)", [&] { return Lumora_SetSubSample(h, 3); }},
        {"SetSubSample(-1)", [&] { return Lumora_SetSubSample(h, -1); }},
        {"SetWaitTime(-1)", [&] { return Lumora_SetWaitTime(h, -1); }},
        {"WriteRegisterEx(-1, 0)", [&] { return Lumora_WriteRegisterEx(h, -1, 0); }},
        {"WriteRegisterEx(0x10000, 0)", [&] { return Lumora_WriteRegisterEx(h, 0x10000, 0); }},
        {"WriteRegisterEx(0x3056, 0x12345)", [&] { return Lumora_WriteRegisterEx(h, 0x3056, 0x12345); }},
        {"WriteRegister(0x56, -1)", [&] { return Lumora_WriteRegister(h, 0x56, -1); }},
        {"ReadRegisterEx(0x10000)", [&] { return Lumora_ReadRegisterEx(h, 0x10000, &ok); }},
        {"CallBackPreview(size -1)", [&] { return Lumora_CallBackPreview(h, nullptr, buffer.data(), -1, 1); }},
        {"SnapShot(size -1)", [&] { return Lumora_SnapShot(h, buffer.data(), -1, 1); }},
        {"GetImage(size -1)", [&] { return Lumora_GetImage(h, buffer.data(), -1, 1); }},
        {"SaveImage(format 7)", [&] { return Lumora_SaveImage(h, "x.png", 7); }},
        {"SaveImage(format -1)", [&] { return Lumora_SaveImage(h, "x.png", -1); }},
        {"SaveImage(NULL)", [&] { return Lumora_SaveImage(h, nullptr, LUMORA_IMAGE_PNG); }},
        {"Record(a day and 1 ms)", [&] { return Lumora_Record(h, "x.avi", LUMORA_RECORD_MAX_MS + 1, 0); }},
    };
    for (const auto& call : calls) {
        EXPECT_EQ(call.second(), 0) << call.first;
        EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT) << call.first;
        EXPECT_EQ(Lumora_GetLastError(h), 0) << call.first;
    }
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Lumora_GetSubSample(h), 0);
    EXPECT_EQ(Lumora_GetWaitTime(h), 10);
}

TEST_F(ExportsTest, RecordChecksTheFileNameFirst) {
    EXPECT_EQ(Lumora_Record(h, nullptr, 1000, 0), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    EXPECT_EQ(Lumora_Record(h, "", 1000, 0), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    const LumoraWChar empty[] = {0};
    EXPECT_EQ(Lumora_RecordW(h, empty, 1000, 0), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    const LumoraWChar broken[] = {0xD800, 'a', 0};  // a lone surrogate cannot be converted
    EXPECT_EQ(Lumora_RecordW(h, broken, 1000, 0), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_STORAGE);
    EXPECT_EQ(Lumora_SaveImageW(h, broken, 0), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_NO_DEVICE);
}

TEST_F(ExportsTest, UnsupportedOperations) {
    EXPECT_EQ(Lumora_Trigger(h), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_UNSUPPORTED);
    EXPECT_EQ(Lumora_Fps(h), 0);
    EXPECT_EQ(Lumora_GetCameraType(h), 0);
    EXPECT_EQ(Lumora_SetCameraType(h, 1), 0);
    EXPECT_EQ(Lumora_SetCrossbar(h, 1), 0);
    EXPECT_EQ(Lumora_SetSamplingRate(h, 1), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Lumora_GetLastError(h), CAMERR_UNSUPPORTED);
    int value = 9;
    EXPECT_EQ(Lumora_GetVideoFormat(h, &value), 0);
    EXPECT_EQ(value, 0);
    value = 9;
    EXPECT_EQ(Lumora_GetSamplingRate(h, &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Lumora_GetSamplingRate(h, nullptr), 0);
    EXPECT_EQ(Lumora_GetLastError(h), 0);
}

}  // namespace
