// Device selection and register access through the exported functions, on emulated cameras.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "emulated_disks.h"
#include "lumora/LumoraSdk.h"

namespace lumora::test {
namespace {

class DeviceApi : public EmulatedDisks {
protected:
    void Open(int cameraCount) {
        cameras = DiskLayer::PlaceTestCameras(cameraCount);
        h = Lumora_Initialize(nullptr);
        ASSERT_NE(h, 0);
        while (Lumora_GetLastError(h) != 0) {
        }
    }
    void TearDown() override {
        if (h) {
            EXPECT_EQ(Lumora_Release(h), 1);
        }
        EmulatedDisks::TearDown();
    }
    LumoraHandle h = 0;
    std::vector<std::shared_ptr<CameraEmulator>> cameras;
};

TEST_F(DeviceApi, EnumeratesAndNamesTwoCameras) {
    Open(2);
    char names[10][256];
    std::memset(names, 'x', sizeof names);
    EXPECT_EQ(Lumora_EnumDevice(h, names), 2);
    EXPECT_STREQ(names[0], "LumoraK37VQ_01");
    EXPECT_STREQ(names[1], "LumoraK37VQ_02");
    for (int i = 2; i < 10; ++i) EXPECT_STREQ(names[i], "") << i;

    LumoraWChar wnames[10][256];
    std::memset(wnames, 0x55, sizeof wnames);
    EXPECT_EQ(Lumora_EnumDeviceW(h, wnames), 2);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wnames[1])), u"LumoraK37VQ_02");
    for (int i = 2; i < 10; ++i) EXPECT_EQ(wnames[i][0], 0) << i;

    char name[15];
    EXPECT_EQ(Lumora_GetDeviceName(h, 0, name, 14), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    EXPECT_EQ(Lumora_GetDeviceName(h, 0, name, 15), 1);
    EXPECT_STREQ(name, "LumoraK37VQ_01");
    EXPECT_EQ(Lumora_GetDeviceName(h, 2, name, 15), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    EXPECT_EQ(Lumora_GetDeviceName(h, -1, name, 15), 0);
    LumoraWChar wname[15];
    EXPECT_EQ(Lumora_GetDeviceNameW(h, 1, wname, 15), 1);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wname)), u"LumoraK37VQ_02");
    EXPECT_EQ(Lumora_GetDeviceNameW(h, 1, wname, 14), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
}

TEST_F(DeviceApi, MoreThanTenListedCamerasFillTenSlotsAndNoMore) {
    auto camera = std::make_shared<CameraEmulator>(1);
    DiskLayer::SetTestDrives({{1, camera}}, std::vector<std::string>(12, CameraEmulator::kDiskListEntry));
    h = Lumora_Initialize(nullptr);
    ASSERT_NE(h, 0);
    char names[11][256];
    std::memset(names, 'x', sizeof names);
    EXPECT_EQ(Lumora_EnumDevice(h, names), 10);
    EXPECT_STREQ(names[0], "LumoraK37VQ_01");
    EXPECT_STREQ(names[9], "LumoraK37VQ_10");
    EXPECT_EQ(names[10][0], 'x');
    LumoraWChar wnames[11][256];
    std::memset(wnames, 0x55, sizeof wnames);
    EXPECT_EQ(Lumora_EnumDeviceW(h, wnames), 10);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wnames[9])), u"LumoraK37VQ_10");
    EXPECT_EQ(wnames[10][0], 0x5555);
    char name[15];
    EXPECT_EQ(Lumora_GetDeviceName(h, 9, name, 15), 1);
    EXPECT_STREQ(name, "LumoraK37VQ_10");
    EXPECT_EQ(Lumora_GetDeviceName(h, 10, name, 15), 0);
}

TEST_F(DeviceApi, RegistersReachTheSelectedCamera) {
    Open(2);
    int ok = 0;
    EXPECT_EQ(Lumora_WriteRegisterEx(h, 0x0202, 0x1234), 1);
    EXPECT_EQ(Lumora_ReadRegisterEx(h, 0x0202, &ok), 0x1234);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(cameras[0]->Register16(0x0202), 0x1234);

    EXPECT_EQ(Lumora_SetDeviceNumber(h, 1), 1);
    EXPECT_EQ(Lumora_WriteRegisterEx(h, 0x0202, 0xBEEF), 1);
    EXPECT_EQ(cameras[1]->Register16(0x0202), 0xBEEF);
    EXPECT_EQ(cameras[0]->Register16(0x0202), 0x1234);
    EXPECT_EQ(Lumora_ReadRegisterEx(h, 0x0202, nullptr), 0xBEEF);

    // The short forms keep only the low 8 bits of the address.
    EXPECT_EQ(Lumora_WriteRegister(h, 0x1240, 0x0A0B), 1);
    EXPECT_EQ(cameras[1]->Register16(0x0040), 0x0A0B);
    EXPECT_EQ(Lumora_ReadRegister(h, 0x7740, &ok), 0x0A0B);

    EXPECT_EQ(Lumora_SetDeviceNumber(h, 2), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_DEVICE_NUMBER);
    EXPECT_EQ(Lumora_SetDeviceNumber(h, -1), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_DEVICE_NUMBER);
    EXPECT_EQ(Lumora_GetLastError(h), 0);
}

TEST_F(DeviceApi, FailedTransfersAreRegisterErrors) {
    Open(1);
    int ok = 1;
    cameras[0]->FailWrites(1);
    EXPECT_EQ(Lumora_WriteRegisterEx(h, 0x0202, 5), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_REGISTER);
    cameras[0]->FailReads(1);
    EXPECT_EQ(Lumora_ReadRegisterEx(h, 0x0202, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_REGISTER);
    cameras[0]->UnplugAfter(0);
    EXPECT_EQ(Lumora_WriteRegisterEx(h, 0x0202, 5), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_REGISTER);
    EXPECT_EQ(Lumora_SetDeviceNumber(h, 0), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_DEVICE_NUMBER);
}

// Without a camera, unplugged, or with every transfer failing: each sensor setting and getter
// fails with a register error, and the object keeps the settings for the next acquisition.
TEST_F(DeviceApi, SensorSettingsThatReachNoCameraAreRegisterErrors) {
    void (*const faults[])(CameraEmulator*) = {nullptr,  // no camera
                                               [](CameraEmulator* c) { c->UnplugAfter(0); },
                                               [](CameraEmulator* c) { c->FailWrites(-1); }};
    for (auto fault : faults) {
        // Each round starts from an empty settings tree: the mirrors stored at the last release
        // would come back.
        std::filesystem::remove_all(std::string(std::getenv("XDG_CONFIG_HOME")) + "/Vornex");
        Open(fault ? 1 : 0);
        if (fault) fault(cameras[0].get());
        int ok = 0;
        const int phase = Lumora_GetBayerMode(h, &ok);
        for (int index = 13; index <= 18; ++index) {  // the gains and the exposure
            EXPECT_EQ(Lumora_SetFilterValue(h, index, 1), 0);
            EXPECT_EQ(Lumora_GetFilterValue(h, index, &ok), 0);
            EXPECT_EQ(ok, 0);
            EXPECT_EQ(Lumora_GetLastError(h), CAMERR_REGISTER) << index;
            EXPECT_EQ(Lumora_GetLastError(h), CAMERR_REGISTER) << index;
        }
        EXPECT_EQ(Lumora_SetMirrorH(h, 1) + Lumora_SetMirrorV(h, 1), 0);
        EXPECT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 8, 640, 2616, 0, 480), 0);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Lumora_GetLastError(h), CAMERR_REGISTER);
        EXPECT_EQ(Lumora_Width(h), 640);
        EXPECT_EQ(Lumora_GetBayerMode(h, &ok), phase ^ 3);
        EXPECT_EQ(Lumora_Release(h), 1);
    }
    h = 0;
}

TEST_F(DeviceApi, AMirrorAlreadySetReachesACameraSelectedSince) {
    Open(2);
    int ok = 0;
    const int phase = Lumora_GetBayerMode(h, &ok);
    EXPECT_EQ(Lumora_SetMirrorH(h, 1), 1);
    EXPECT_EQ(Lumora_SetDeviceNumber(h, 1), 1);
    EXPECT_EQ(Lumora_SetMirrorH(h, 1), 1);
    EXPECT_EQ(cameras[1]->Register16(0x3040) & 0x4000, 0x4000);
    EXPECT_EQ(Lumora_GetBayerMode(h, &ok), phase ^ 2);  // moved once
}

TEST_F(DeviceApi, WithoutCamerasTheDeviceIsThereButFindsNothing) {
    Open(0);
    char names[10][256];
    EXPECT_EQ(Lumora_EnumDevice(h, names), 0);
    EXPECT_STREQ(names[0], "");
    EXPECT_EQ(Lumora_SetDeviceNumber(h, 0), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_DEVICE_NUMBER);
    int ok = 1;
    EXPECT_EQ(Lumora_ReadRegisterEx(h, 0x0202, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_REGISTER);
    CameraInfo info{};
    info.size = sizeof info;
    EXPECT_EQ(Lumora_GetCameraInfo(h, &info), 1);
    EXPECT_EQ(info.width, 3488);
}

TEST_F(DeviceApi, CameraInfoNeedsARecordOfNineIntegers) {
    Open(1);
    EXPECT_EQ(Lumora_GetCameraInfo(h, nullptr), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    CameraInfo info;
    std::memset(&info, 0x5A, sizeof info);
    info.size = 35;
    EXPECT_EQ(Lumora_GetCameraInfo(h, &info), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_MEMORY);
    EXPECT_EQ(info.width, 0x5A5A5A5A);
    info.size = 36;
    EXPECT_EQ(Lumora_GetCameraInfo(h, &info), 1);
    const int expected[9] = {36, 3488, 2616, 0, 127, 0, 127, 1, 8192};
    EXPECT_EQ(0, std::memcmp(&info, expected, sizeof expected));
    EXPECT_EQ(Lumora_GetLastError(h), 0);
}

TEST_F(DeviceApi, SerialRomAndPortOfThisModel) {
    Open(1);
    int ok = 1;
    EXPECT_EQ(Lumora_ReadSromID(h, 0, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_NO_DEVICE);
    EXPECT_EQ(Lumora_WriteSromID(h, 0, 1), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_NO_DEVICE);
    EXPECT_EQ(Lumora_SetIOPort(h, 4, 0, 0), 0);
    EXPECT_EQ(Lumora_GetLastError(h), 0);
    unsigned char port = 0xFF;
    EXPECT_EQ(Lumora_GetIOPort(h, &port, 0, 0), 1);
    EXPECT_EQ(port, 0);
    EXPECT_EQ(Lumora_GetIOPort(h, nullptr, 0, 0), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
}

TEST_F(DeviceApi, EnvironmentCamerasThroughTheExports) {
    DiskLayer::ClearTestDrives();
    ASSERT_EQ(setenv("LUMORA_CAMEMU", "2", 1), 0);
    h = Lumora_Initialize(nullptr);
    char names[10][256];
    EXPECT_GE(Lumora_EnumDevice(h, names), 2);
    EXPECT_STREQ(names[0], "LumoraK37VQ_01");
    EXPECT_STREQ(names[1], "LumoraK37VQ_02");
    int ok = 0;
    EXPECT_EQ(Lumora_WriteRegisterEx(h, 0x0600, 0x0102), 1);
    EXPECT_EQ(Lumora_ReadRegisterEx(h, 0x0600, &ok), 0x0102);
    EXPECT_EQ(Lumora_SetDeviceNumber(h, 1), 1);
    EXPECT_EQ(Lumora_ReadRegisterEx(h, 0x0600, &ok), 0);
    EXPECT_EQ(ok, 1);
    unsetenv("LUMORA_CAMEMU");
}

}  // namespace
}  // namespace lumora::test
