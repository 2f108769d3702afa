// The wire traffic of discovery and register access, as the emulated camera sees it.
#include <gtest/gtest.h>

#include "device/k37vq_device.h"
#include "emulated_disks.h"

namespace lumora::test {
namespace {

using Transport = EmulatedDisks;

constexpr uint32_t kStatus = 0x20000;
constexpr uint32_t kCommand = 0x20200;
constexpr uint32_t kImage = 0x20400;

void ExpectCommand(const EmulatorTransfer& t, uint8_t code, uint16_t address, uint8_t value) {
    EXPECT_TRUE(t.write);
    EXPECT_EQ(t.offset, kCommand);
    EXPECT_EQ(t.length, 512u);
    EXPECT_EQ(t.head[0], code);
    EXPECT_EQ(t.head[1], address >> 8);
    EXPECT_EQ(t.head[2], address & 0xFF);
    EXPECT_EQ(t.head[3], value);
}

void ExpectStatusRead(const EmulatorTransfer& t) {
    EXPECT_FALSE(t.write);
    EXPECT_EQ(t.offset, kStatus);
    EXPECT_EQ(t.length, 512u);
}

TEST_F(Transport, RegisterCommandsOnTheWire) {
    auto cameras = DiskLayer::PlaceTestCameras(1);
    K37VQDevice device;
    ASSERT_TRUE(device.IsOpen());
    cameras[0]->StartLog();

    EXPECT_EQ(device.WriteRegister8(0x3040, 0x5A), 1);
    EXPECT_EQ(device.WriteRegister16(0x0202, 0x1234), 1);
    auto log = cameras[0]->TakeLog();
    ASSERT_EQ(log.size(), 3u);
    ExpectCommand(log[0], 0x20, 0x3040, 0x5A);
    ExpectCommand(log[1], 0x20, 0x0202, 0x12);
    ExpectCommand(log[2], 0x20, 0x0203, 0x34);
    EXPECT_EQ(cameras[0]->Register16(0x0202), 0x1234);

    // A read is the command, then exactly one status read carrying the byte.
    cameras[0]->SetRegister16(0x0340, 0xABCD);
    uint16_t word = 0;
    EXPECT_EQ(device.ReadRegister16(0x0340, &word), 1);
    EXPECT_EQ(word, 0xABCD);
    log = cameras[0]->TakeLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].head[0], 0x21);
    EXPECT_EQ(log[0].head[1], 0x03);
    EXPECT_EQ(log[0].head[2], 0x40);
    ExpectStatusRead(log[1]);
    EXPECT_EQ(log[2].head[2], 0x41);
    ExpectStatusRead(log[3]);
}

TEST_F(Transport, SixteenBitAccessAttemptsBothBytes) {
    auto cameras = DiskLayer::PlaceTestCameras(1);
    K37VQDevice device;
    cameras[0]->StartLog();

    // The first byte fails; the second is still sent, and the whole write fails.
    cameras[0]->FailWrites(1);
    EXPECT_EQ(device.WriteRegister16(0x0202, 0x0102), 0);
    auto log = cameras[0]->TakeLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_FALSE(log[0].ok);
    ExpectCommand(log[1], 0x20, 0x0203, 0x02);
    EXPECT_TRUE(log[1].ok);

    // Either byte read failing leaves the destination alone, and both are tried.
    uint16_t word = 0x7777;
    cameras[0]->FailReads(1);
    EXPECT_EQ(device.ReadRegister16(0x0202, &word), 0);
    EXPECT_EQ(word, 0x7777);
    EXPECT_EQ(cameras[0]->TakeLog().size(), 4u);
    uint8_t byte = 0x55;
    cameras[0]->FailWrites(1);
    EXPECT_EQ(device.ReadRegister8(0x0202, &byte), 0);
    EXPECT_EQ(byte, 0x55);
}

TEST_F(Transport, ShortTransfersAreFailures) {
    auto cameras = DiskLayer::PlaceTestCameras(1);
    K37VQDevice device;
    cameras[0]->SetFastFrames(true);
    cameras[0]->SetShortTransfers(true);
    uint8_t byte = 0;
    EXPECT_EQ(device.WriteRegister8(0x0202, 1), 0);
    EXPECT_EQ(device.ReadRegister8(0x0202, &byte), 0);
    std::vector<uint8_t> frame(4096);
    EXPECT_EQ(device.ReadFrame(frame.data(), 4096), 0);
    cameras[0]->SetShortTransfers(false);
    EXPECT_EQ(device.ReadFrame(frame.data(), 4096), 1);
}

TEST_F(Transport, ReadyPollIsBoundedByWaitTime) {
    auto cameras = DiskLayer::PlaceTestCameras(1);
    K37VQDevice device;
    std::vector<uint8_t> frame(1024);
    cameras[0]->StallReady(true);
    cameras[0]->StartLog();

    device.SetWaitTime(1);
    EXPECT_EQ(device.ReadFrame(frame.data(), 1024), 0);
    auto log = cameras[0]->TakeLog();
    ASSERT_EQ(log.size(), 1u);
    ExpectStatusRead(log[0]);

    device.SetWaitTime(5);
    EXPECT_EQ(device.ReadFrame(frame.data(), 1024), 0);
    EXPECT_EQ(cameras[0]->TakeLog().size(), 5u);

    // Only the value 1 means ready.
    cameras[0]->StallReady(false);
    cameras[0]->SetReadyValue(2);
    EXPECT_EQ(device.ReadFrame(frame.data(), 1024), 0);
    EXPECT_EQ(cameras[0]->TakeLog().size(), 5u);
    cameras[0]->SetReadyValue(1);

    // Ready: the poll ends at the first status block with the flag, then one image read.
    cameras[0]->StallReady(false);
    cameras[0]->SetFastFrames(true);
    EXPECT_EQ(device.ReadFrame(frame.data(), 1024), 1);
    log = cameras[0]->TakeLog();
    ASSERT_EQ(log.size(), 2u);
    ExpectStatusRead(log[0]);
    EXPECT_EQ(log[1].offset, kImage);
    EXPECT_EQ(log[1].length, 1024u);
}

TEST_F(Transport, WaitTimeKeepsItsRange) {
    K37VQDevice device;
    EXPECT_EQ(device.GetWaitTime(), 3000u);
    device.SetWaitTime(0);
    device.SetWaitTime(10001);
    EXPECT_EQ(device.GetWaitTime(), 3000u);
    device.SetWaitTime(10000);
    EXPECT_EQ(device.GetWaitTime(), 10000u);
}

TEST_F(Transport, NoCameraMeansEveryTransferFails) {
    DiskLayer::SetTestDrives({}, {});
    K37VQDevice device;
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.GetDeviceCount(), 0);
    uint16_t word = 9;
    std::vector<uint8_t> frame(512);
    EXPECT_EQ(device.WriteRegister16(0x0202, 1), 0);
    EXPECT_EQ(device.ReadRegister16(0x0202, &word), 0);
    EXPECT_EQ(word, 9);
    EXPECT_EQ(device.ReadFrame(frame.data(), 512), 0);
    EXPECT_EQ(device.SelectDevice(0), 1);
}

// --- discovery -------------------------------------------------------------------------------

std::shared_ptr<CameraEmulator> Camera(uint32_t seed) {
    auto camera = std::make_shared<CameraEmulator>(seed);
    camera->StartLog();
    return camera;
}

TEST_F(Transport, OnlyDrivesOneToFourAreProbedInOrder) {
    auto drive0 = Camera(10), drive2 = Camera(12), drive4 = Camera(14), drive5 = Camera(15);
    std::string entry = CameraEmulator::kDiskListEntry;
    DiskLayer::SetTestDrives({{0, drive0}, {2, drive2}, {4, drive4}, {5, drive5}}, {entry, entry, entry});
    K37VQDevice device;
    EXPECT_EQ(device.GetDeviceCount(), 3);
    ASSERT_TRUE(device.IsOpen());
    EXPECT_TRUE(drive0->TakeLog().empty());
    auto log = drive2->TakeLog();
    ASSERT_EQ(log.size(), 1u);
    ExpectStatusRead(log[0]);
    EXPECT_TRUE(drive4->TakeLog().empty());  // the scan stopped at the first match

    // Index 1 is the next drive; index 2 would be drive 5, which is never looked at.
    EXPECT_EQ(device.SelectDevice(1), 0);
    device.WriteRegister8(0x0202, 0x42);
    EXPECT_EQ(drive4->Register8(0x0202), 0x42);
    EXPECT_EQ(device.SelectDevice(2), 1);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_TRUE(drive0->TakeLog().empty());
    EXPECT_TRUE(drive5->TakeLog().empty());
    EXPECT_EQ(device.SelectDevice(3), 1);  // outside the count
    EXPECT_EQ(device.GetSelectedDevice(), 2);
}

TEST_F(Transport, IdentificationDecidesTheMatch) {
    auto wrongModel = Camera(1), otherSuffix = Camera(2), wrongText = Camera(3), good = Camera(4);
    wrongModel->SetIdentification("VORNEX USB 3.0 Camera V1.0", 0x70, 0x03);
    otherSuffix->SetIdentification("VORNEX USB 3.0 CameraXXXXX", 0x70, 0x02);
    wrongText->SetIdentification("VORNEX USB 3.0 camera V1.0", 0x70, 0x02);
    std::string entry = CameraEmulator::kDiskListEntry;
    DiskLayer::SetTestDrives({{1, wrongModel}, {2, otherSuffix}, {3, wrongText}, {4, good}},
                             {entry, entry, entry, entry});
    K37VQDevice device;
    // Index 0 is drive 2 (bytes 21..25 are not compared); the wrong model did not count.
    device.WriteRegister8(0x0600, 1);
    EXPECT_EQ(otherSuffix->Register8(0x0600), 1);
    EXPECT_EQ(device.SelectDevice(1), 0);
    device.WriteRegister8(0x0600, 2);
    EXPECT_EQ(good->Register8(0x0600), 2);
    EXPECT_EQ(wrongModel->Register8(0x0600), 0);
    EXPECT_EQ(wrongText->Register8(0x0600), 0);
}

TEST_F(Transport, DiskListCounting) {
    DiskLayer::SetTestDrives({}, {
        "USBSTOR\\Disk&Ven_VORNEX&Prod_USB3.0_K37VQ&Rev_1.00",
        "USBSTOR\\Disk&Ven_VORNEX&Prod_USB3.0_K37VQ_DS&Rev_1.00",  // "DS": not counted
        "USBSTOR\\Disk&Ven_VORNEX&Prod_USB2.0_K37VQ&Rev_1.00",     // no "USB3.0"
        "USBSTOR\\Disk&Ven_vornex&Prod_USB3.0_K37VQ&Rev_1.00",     // case matters
        "USBSTOR\\Disk&Ven_VORNEX&Prod_USB3.0_K38VQ&Rev_1.00",     // other model
        "IDE\\DiskST1000&Rev_1",
        "xUSB3.0yK37VQzVORNEX",                                     // order does not matter
    });
    K37VQDevice device;
    EXPECT_EQ(device.GetDeviceCount(), 2);
    EXPECT_EQ(device.IsValidDevice(1), 1);
    EXPECT_EQ(device.IsValidDevice(2), 0);
    EXPECT_EQ(device.IsValidDevice(-1), 0);
    EXPECT_EQ(device.SelectDevice(2), 1);

    // More than ten listed cameras are counted as ten: callers list them in ten slots.
    DiskLayer::SetTestDrives({}, std::vector<std::string>(12, CameraEmulator::kDiskListEntry));
    EXPECT_EQ(device.CountDevices("K37VQ"), 0);
    EXPECT_EQ(device.GetDeviceCount(), 10);
}

TEST_F(Transport, SelectingAgainClosesTheHandleHeld) {
    auto cameras = DiskLayer::PlaceTestCameras(2);
    {
        K37VQDevice device;
        EXPECT_EQ(cameras[0]->OpenHandles(), 1);
        EXPECT_EQ(device.SelectDevice(0), 0);
        EXPECT_EQ(device.SelectDevice(0), 0);
        EXPECT_EQ(cameras[0]->OpenHandles(), 1);
        EXPECT_EQ(device.SelectDevice(1), 0);
        EXPECT_EQ(cameras[0]->OpenHandles(), 0);
        EXPECT_EQ(cameras[1]->OpenHandles(), 1);
    }
    EXPECT_EQ(cameras[1]->OpenHandles(), 0);
}

TEST_F(Transport, UnpluggedCameraCannotBeOpened) {
    auto cameras = DiskLayer::PlaceTestCameras(2);
    cameras[0]->UnplugAfter(0);
    K37VQDevice device;
    EXPECT_EQ(device.GetDeviceCount(), 2);
    ASSERT_TRUE(device.IsOpen());  // the second camera is now index 0
    device.WriteRegister8(0x0202, 7);
    EXPECT_EQ(cameras[1]->Register8(0x0202), 7);
    EXPECT_EQ(device.SelectDevice(1), 1);
}

TEST_F(Transport, EnvironmentPresentsEmulatedCameras) {
    DiskLayer::ClearTestDrives();
    ASSERT_EQ(setenv("LUMORA_CAMEMU", "2", 1), 0);
    std::vector<std::string> list;
    EXPECT_EQ(DiskLayer::ReadList(&list), 0);
    ASSERT_GE(list.size(), 2u);
    {
        K37VQDevice device;
        EXPECT_GE(device.GetDeviceCount(), 2);
        ASSERT_TRUE(device.IsOpen());
        device.WriteRegister16(0x0202, 0x0304);
        EXPECT_EQ(DiskLayer::EnvironmentCameras()[0]->Register16(0x0202), 0x0304);
        EXPECT_EQ(device.SelectDevice(1), 0);
    }
    for (const std::string& entry : list) EXPECT_LE(entry.size(), platform::kDiskListEntryMax);
    // A value the layer does not take shows no camera and is said once on standard error; an
    // empty one counts as unset.
    ::testing::internal::CaptureStderr();
    for (const char* bad : {"", "0", "5", "x", "12"}) {
        setenv("LUMORA_CAMEMU", bad, 1);
        EXPECT_TRUE(DiskLayer::EnvironmentCameras().empty()) << bad;
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Lumora SDK: LUMORA_CAMEMU=0 is not a number of emulated cameras (1 to 4): no camera is emulated\n");
    unsetenv("LUMORA_CAMEMU");
}

TEST(SystemDiskList, EntriesAreBoundedAndInTheInstanceIdForm) {
    std::vector<std::string> entries;
    if (platform::ReadDiskList(&entries) != 0) GTEST_SKIP() << "no disk list on this machine";
    for (const std::string& entry : entries) {
        EXPECT_LE(entry.size(), platform::kDiskListEntryMax);
        EXPECT_EQ(entry.rfind("USBSTOR\\Disk&Ven_", 0), 0u) << entry;
        EXPECT_EQ(entry.find(' '), std::string::npos) << entry;
    }
}

}  // namespace
}  // namespace lumora::test
