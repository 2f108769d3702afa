// Every export on an open emulated camera, fed the values a careless or hostile caller passes:
// extreme integers and null pointers. Nothing may crash, hang or throw, and the camera must stay
// usable afterwards. (Run under the sanitizers by ./dev asan.)
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "emulated_disks.h"
#include "lumora/LumoraSdk.h"

namespace lumora::test {
namespace {

const int kHostile[] = {INT_MIN, -65536, -256, -1, 0, 1, 3, 255, 256, 4095, 65535, 65536, INT_MAX};

class HostileCaller : public EmulatedDisks {
protected:
    void SetUp() override {
        cameras = DiskLayer::PlaceTestCameras(1);
        cameras[0]->SetFastFrames(true);
        h = Lumora_Initialize(nullptr);
        ASSERT_NE(h, 0);
        ASSERT_EQ(Lumora_SetDeviceNumber(h, 0), 1);
    }
    void TearDown() override {
        EXPECT_EQ(Lumora_Release(h), 1);
        EmulatedDisks::TearDown();
    }
    void ExpectStillUsable() {
        EXPECT_EQ(Lumora_SetColorMode(h, 24), 1);
        EXPECT_EQ(Lumora_GetColorMode(h), 24);
        EXPECT_EQ(Lumora_WriteRegisterEx(h, 0x0202, 100), 1);
        int ok = 0;
        EXPECT_EQ(Lumora_ReadRegisterEx(h, 0x0202, &ok), 100);
        EXPECT_EQ(ok, 1);
    }
    LumoraHandle h = 0;
    std::vector<std::shared_ptr<CameraEmulator>> cameras;
};

using IntSetter = int(LUMORA_API*)(LumoraHandle, int);
using IntGetter = int(LUMORA_API*)(LumoraHandle, int*);

TEST_F(HostileCaller, ExtremeValuesIntoEverySetter) {
    const IntSetter setters[] = {
        Lumora_SetColorMode, Lumora_SetSubSample, Lumora_SetWaitTime, Lumora_SetHalfClock,
        Lumora_SetAutoIris, Lumora_SetMirrorV, Lumora_SetMirrorH, Lumora_SetDeviceNumber,
        Lumora_SetBrightness, Lumora_SetContrast, Lumora_SetHue, Lumora_SetSaturation,
        Lumora_SetSharpness, Lumora_SetBayerGainRGB, Lumora_SetBayerGainRed,
        Lumora_SetBayerGainGreen, Lumora_SetBayerGainBlue, Lumora_SetBayerGainAuto, Lumora_SetGamma,
        Lumora_SetBayerMode, Lumora_SetGlobalGain, Lumora_SetColorGainRed,
        Lumora_SetColorGainGreen1, Lumora_SetColorGainGreen2, Lumora_SetColorGainBlue,
        Lumora_SetExposureTime, Lumora_SetGrayMode, Lumora_SetGrayGainR, Lumora_SetGrayGainG1,
        Lumora_SetGrayGainG2, Lumora_SetGrayGainB, Lumora_SetGrayOffsetR, Lumora_SetGrayOffsetG1,
        Lumora_SetGrayOffsetG2, Lumora_SetGrayOffsetB, Lumora_SetCameraType, Lumora_SetCrossbar,
        Lumora_SetSamplingRate,
    };
    for (IntSetter set : setters) {
        for (int v : kHostile) {
            int r = set(h, v);
            EXPECT_TRUE(r == 0 || r == 1) << v;
        }
    }
    // Values that were refused left the camera in a state it can work from.
    Lumora_SetDeviceNumber(h, 0);
    Lumora_SetBayerMode(h, 3);
    int ok = 0;
    EXPECT_GE(Lumora_GetBayerMode(h, &ok), 0);
    EXPECT_LE(Lumora_GetBayerMode(h, &ok), 3);
    ExpectStillUsable();
}

TEST_F(HostileCaller, ExtremeIndexesAddressesAndSizes) {
    char name[64];
    LumoraWChar wname[64];
    int ok = 0;
    unsigned char port = 0;
    for (int v : kHostile) {
        for (int w : {INT_MIN, -1, 0, 14, 15, INT_MAX}) {
            Lumora_GetDeviceName(h, v, name, w < 64 ? w : 64);
            Lumora_GetDeviceNameW(h, v, wname, w < 64 ? w : 64);
        }
        Lumora_SetFilterValue(h, v, v);
        Lumora_GetFilterValue(h, v, &ok);
        Lumora_GetFilterValue(h, v, nullptr);
        Lumora_WriteRegister(h, v, v);
        Lumora_ReadRegister(h, v, &ok);
        Lumora_ReadRegister(h, v, nullptr);
        Lumora_ReadSromID(h, v, &ok);
        Lumora_WriteSromID(h, v, v);
        Lumora_SetIOPort(h, v, v, v);
        Lumora_GetIOPort(h, &port, v, v);
        Lumora_GetStatus(h, v);
        Lumora_SetCaptureWindow(h, v, v);
        Lumora_SaveImage(h, "", v);
    }
    // Register addresses that reach the emulated frame geometry: a huge frame is only ever read
    // as far as the transfer asks.
    Lumora_WriteRegisterEx(h, 0x034C, 0xFFFF);
    Lumora_WriteRegisterEx(h, 0x034E, 0xFFFF);
    ExpectStillUsable();
}

TEST_F(HostileCaller, CaptureWindowsOutsideTheSensorAreRefusedAndChangeNothing) {
    int before[6];
    ASSERT_EQ(Lumora_GetCaptureWindowEx(h, &before[0], &before[1], &before[2], &before[3], &before[4], &before[5]), 1);
    for (int a : kHostile) {
        for (int b : {INT_MIN, -1, 0, 3488, INT_MAX}) {
            int r = Lumora_SetCaptureWindowEx(h, a, a, b, b, a, b);
            int w[6];
            ASSERT_EQ(Lumora_GetCaptureWindowEx(h, &w[0], &w[1], &w[2], &w[3], &w[4], &w[5]), 1);
            // The sensor reads no window narrower than 4 pixels or lower than 3 rows.
            bool valid = a >= 0 && b >= 4 && a <= 3488 && b <= 2616 && a + b <= 3488 && a + b <= 2616;
            EXPECT_EQ(r, valid ? 1 : 0) << a << " " << b;
            if (valid) {
                EXPECT_TRUE(w[1] == a && w[2] == b) << a << " " << b;
                std::copy(w, w + 6, before);
            } else {
                EXPECT_TRUE(std::equal(w, w + 6, before)) << a << " " << b;
            }
        }
    }
    EXPECT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 640, 2616, 0, 480), 1);
    ExpectStillUsable();
}

TEST_F(HostileCaller, NullPointersWhereverAPointerGoes) {
    EXPECT_EQ(Lumora_EnumDevice(h, nullptr), 0);
    EXPECT_EQ(Lumora_EnumDeviceW(h, nullptr), 0);
    EXPECT_EQ(Lumora_GetDeviceName(h, 0, nullptr, 100), 0);
    EXPECT_EQ(Lumora_GetDeviceNameW(h, 0, nullptr, 100), 0);
    EXPECT_EQ(Lumora_GetCameraInfo(h, nullptr), 0);
    EXPECT_EQ(Lumora_GetIOPort(h, nullptr, 0, 0), 0);
    EXPECT_EQ(Lumora_GetCaptureWindowEx(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(Lumora_Record(h, nullptr, 100, 0), 0);
    EXPECT_EQ(Lumora_RecordW(h, nullptr, 100, 0), 0);
    EXPECT_EQ(Lumora_SaveImage(h, nullptr, 0), 0);
    EXPECT_EQ(Lumora_SaveImageW(h, nullptr, 0), 0);
    EXPECT_EQ(Lumora_GetImage(h, nullptr, 100, 0), 0);
    Lumora_SnapShot(h, nullptr, 0, 0);
    Lumora_CallBackPreview(h, nullptr, nullptr, 0, 0);
    Lumora_StopPreview(h);
    const IntGetter getters[] = {
        Lumora_GetAutoIris, Lumora_GetRealExposureTime, Lumora_GetBrightness, Lumora_GetGamma,
        Lumora_GetGlobalGain, Lumora_GetColorGainBlue, Lumora_GetExposureTime, Lumora_GetGrayOffsetB,
        Lumora_GetBayerGainRGB, Lumora_GetSamplingRate, Lumora_GetVideoFormat,
    };
    for (IntGetter get : getters) get(h, nullptr);
    int ok = 0;
    EXPECT_EQ(Lumora_ReadSromID(h, 0, nullptr), 0);
    EXPECT_EQ(Lumora_ReadRegisterEx(h, 0x0202, nullptr), Lumora_ReadRegisterEx(h, 0x0202, &ok));
    ExpectStillUsable();
}

}  // namespace
}  // namespace lumora::test
