// The acquisition thread, the frame ring and the pause handshake against an emulated camera.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <vector>

#include "device/k37vq_device.h"
#include "emulated_disks.h"
#include "emulator/emulated_sensor.h"

namespace lumora::test {
namespace {

using Acquisition = EmulatedDisks;
constexpr int kW = 64, kH = 48;

// One emulated camera delivering kW x kH frames, and a device open on it.
struct Rig {
    std::shared_ptr<CameraEmulator> camera;
    std::unique_ptr<WindowDevice> device;

    explicit Rig(int width = kW, int height = kH, int mode = 0) {
        camera = DiskLayer::PlaceTestCameras(1)[0];
        camera->SetRegister16(0x034C, static_cast<uint16_t>(width));
        camera->SetRegister16(0x034E, static_cast<uint16_t>(height));
        device = std::make_unique<WindowDevice>(width, height, mode);
    }
    std::vector<uint8_t> Expected(uint32_t frame) {
        std::vector<uint8_t> registers(EmulatedSensor::kRegisterCount);
        for (uint32_t a = 0; a < registers.size(); ++a) registers[a] = camera->Register8(static_cast<uint16_t>(a));
        std::vector<uint8_t> bytes(camera->FrameBytes());
        EmulatedSensor(1).Render(registers.data(), frame, false, bytes.data(), 0, static_cast<uint32_t>(bytes.size()));
        return bytes;
    }
};

TEST_F(Acquisition, FirstFrameLandsInSlotOneAndIsDeliveredOnce) {
    Rig rig;
    rig.camera->StallReady(true);
    rig.camera->SetFramePeriodUs(60'000'000);  // one frame now, the next much later
    WindowDevice& device = *rig.device;
    ASSERT_EQ(device.StartStream(), 0);
    EXPECT_EQ(device.GetStreamState(), CameraDevice::STREAM_RUNNING);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(device.QueryNewFrame(), 2);

    rig.camera->StallReady(false);
    ASSERT_TRUE(WaitFor([&] { return device.QueryNewFrame() == 3; }));
    EXPECT_EQ(device.SlotSequence(1), 1);
    EXPECT_EQ(device.SlotSequence(0), 0);
    std::vector<uint8_t> frame(kW * kH, 0xEE);
    EXPECT_EQ(device.CopyNewestFrame(frame.data(), 0, 0, 0), 0);
    EXPECT_EQ(frame, rig.Expected(1));
    EXPECT_EQ(device.QueryNewFrame(), 2);
    EXPECT_EQ(device.StopStream(), 0);
    EXPECT_EQ(device.GetStreamState(), CameraDevice::STREAM_IDLE);
    EXPECT_NE(device.CopyNewestFrame(frame.data(), 0, 0, 0), 0);  // buffers released
}

TEST_F(Acquisition, RingCyclesThroughTheOldestSlot) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    ASSERT_EQ(device.StartStream(), 0);
    ASSERT_TRUE(WaitFor([&] { return device.FrameSequence() >= 10; }));
    ASSERT_EQ(device.PauseStream(), 1);
    // Paused: the three slots hold the three newest frames, oldest after newest.
    int newest = device.FrameSequence();
    int slots[3] = {device.SlotSequence(0), device.SlotSequence(1), device.SlotSequence(2)};
    int at = (newest - 1) % 3 + 1;  // frame k lands in slot k mod 3
    EXPECT_EQ(slots[at % 3], newest);
    EXPECT_EQ(slots[(at + 2) % 3], newest - 1);
    EXPECT_EQ(slots[(at + 1) % 3], newest - 2);
    std::vector<uint8_t> frame(kW * kH);
    EXPECT_EQ(device.CopyNewestFrame(frame.data(), 0, 0, 0), 0);
    EXPECT_EQ(frame, rig.Expected(static_cast<uint32_t>(newest)));
    EXPECT_EQ(device.ResumeStream(1), 1);
    device.StopStream();
}

TEST_F(Acquisition, PauseHoldsTransfersAndLetsRegistersThrough) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    EXPECT_EQ(device.PauseStream(), 0);  // nothing to pause
    EXPECT_EQ(device.ResumeStream(0), 0);
    EXPECT_EQ(device.GetStreamState(), CameraDevice::STREAM_IDLE);

    ASSERT_EQ(device.StartStream(), 0);
    ASSERT_TRUE(WaitFor([&] { return device.FrameSequence() > 0; }));
    int paused = device.PauseStream();
    ASSERT_EQ(paused, 1);
    EXPECT_EQ(device.GetStreamState(), CameraDevice::STREAM_PAUSED);
    uint32_t frames = rig.camera->FramesDelivered();
    rig.camera->StartLog();
    EXPECT_EQ(device.WriteRegister16(0x0202, 500), 1);
    uint16_t value = 0;
    EXPECT_EQ(device.ReadRegister16(0x0202, &value), 1);
    EXPECT_EQ(value, 500);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(rig.camera->FramesDelivered(), frames);
    for (const EmulatorTransfer& t : rig.camera->TakeLog()) EXPECT_NE(t.offset, 0x20400u);
    EXPECT_EQ(device.ResumeStream(paused), 1);
    EXPECT_EQ(device.GetStreamState(), CameraDevice::STREAM_RUNNING);
    EXPECT_TRUE(WaitFor([&] { return rig.camera->FramesDelivered() > frames; }));
    device.StopStream();
}

// A second pauser waits for the first one's resume instead of going ahead with "nothing to
// pause"; the acquisition thread, queued behind it, transfers a frame before the next pause.
TEST_F(Acquisition, PausesFromTwoThreadsTakeTurns) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    ASSERT_EQ(device.StartStream(), 0);
    ASSERT_TRUE(WaitFor([&] { return device.FrameSequence() > 0; }));
    ASSERT_EQ(device.PauseStream(), 1);
    std::atomic<int> second{-2};
    std::thread other([&] {
        second = device.PauseStream();
        device.ResumeStream(second);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(second, -2);
    const int frames = device.FrameSequence();
    EXPECT_EQ(device.ResumeStream(1), 1);
    other.join();
    EXPECT_EQ(second, 1);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < end) device.ResumeStream(device.PauseStream());
    EXPECT_GE(device.FrameSequence(), frames + 20);
    EXPECT_EQ(rig.camera->Violations().Total(), 0u);
    device.StopStream();
}

TEST_F(Acquisition, StalledCameraStallsTheStreamAndResumes) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    device.SetWaitTime(50);
    ASSERT_EQ(device.StartStream(), 0);
    std::vector<uint8_t> frame(kW * kH);
    ASSERT_TRUE(WaitFor([&] { return device.QueryNewFrame() == 3; }));
    rig.camera->StallReady(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    device.CopyNewestFrame(frame.data(), 0, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(device.QueryNewFrame(), 2);
    rig.camera->StallReady(false);
    EXPECT_TRUE(WaitFor([&] { return device.QueryNewFrame() == 3; }));
    device.StopStream();
}

TEST_F(Acquisition, PauseIsRefusedWhileATransferOutlastsTheHandshake) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    ASSERT_EQ(device.StartStream(), 0);
    ASSERT_TRUE(WaitFor([&] { return device.FrameSequence() > 0; }));
    // A stalled ready flag delays no pause: it waits for one status poll only.
    rig.camera->StallReady(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(device.PauseStream(), 1);
    EXPECT_EQ(device.ResumeStream(1), 1);
    // A camera that no longer answers at all holds the transfer in progress past the second.
    rig.camera->HoldTransfers(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(device.PauseStream(), -1);
    EXPECT_EQ(device.GetStreamState(), CameraDevice::STREAM_RUNNING);
    rig.camera->HoldTransfers(false);
    rig.camera->StallReady(false);
    int frames = device.FrameSequence();
    EXPECT_TRUE(WaitFor([&] { return device.FrameSequence() > frames; }));
    device.StopStream();
}

TEST_F(Acquisition, UnplugMidStreamStillStops) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    ASSERT_EQ(device.StartStream(), 0);
    ASSERT_TRUE(WaitFor([&] { return device.FrameSequence() > 2; }));
    rig.camera->UnplugAfter(3);
    // The three transfers may take a while on a loaded machine: from the unplug on, no frame
    // can complete.
    ASSERT_TRUE(WaitFor([&] { return rig.camera->Unplugs() > 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int frames = device.FrameSequence();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(device.FrameSequence(), frames);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.StopStream(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(device.WriteRegister8(0x0202, 1), 0);
}

TEST_F(Acquisition, UnpluggedCameraIsRetriedWithoutSpinning) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    ASSERT_EQ(device.StartStream(), 0);
    ASSERT_TRUE(WaitFor([&] { return device.FrameSequence() > 2; }));
    rig.camera->UnplugAfter(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // About one retry per millisecond; a spinning thread makes hundreds of thousands.
    EXPECT_LT(rig.camera->RefusedAccesses(), 2000u);
    EXPECT_EQ(device.StopStream(), 0);
}

// Only a camera that has left the bus ends the stream (frame status 1, after the frames still
// held); a stalled or failing one keeps the stream waiting (status 2). A single capture on a
// camera that left ends at once instead of after the whole wait time.
TEST_F(Acquisition, OnlyAnUnpluggedCameraReportsTheStreamStopped) {
    const struct {
        const char* fault;
        std::function<void(CameraEmulator&)> inject;
        int status;
    } cases[] = {
        {"stall", [](CameraEmulator& c) { c.StallReady(true); }, 2},
        {"failing reads", [](CameraEmulator& c) { c.FailReads(-1); }, 2},
        {"short reads", [](CameraEmulator& c) { c.SetShortTransfers(true); }, 2},
        {"unplug", [](CameraEmulator& c) { c.UnplugAfter(0); }, 1},
        {"unplug mid-frame", [](CameraEmulator& c) { c.UnplugAfter(1); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Rig rig;
        rig.camera->SetFramePeriodUs(2000);
        WindowDevice& device = *rig.device;
        ASSERT_EQ(device.StartStream(), 0);
        ASSERT_TRUE(WaitFor([&] { return device.QueryNewFrame() == 3; }));
        c.inject(*rig.camera);
        std::vector<uint8_t> frame(kW * kH);
        // Frames completed before the fault (or in transfer when it came) are still delivered.
        auto status = [&] {
            while (device.QueryNewFrame() == 3) EXPECT_EQ(device.CopyNewestFrame(frame.data(), 0, 0, 0), 0);
            return device.QueryNewFrame();
        };
        EXPECT_EQ(WaitFor([&] { return status() == 1; }, 1000), c.status == 1);
        EXPECT_EQ(status(), c.status);
        EXPECT_EQ(device.StopStream(), 0);
        if (c.status != 1) continue;
        device.SetWaitTime(10000);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(device.StartSingleCapture(), 0);
        EXPECT_NE(device.FinishSingleCapture(frame.data(), 0, 0, 0), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        // Plugged in again, the camera is found by opening it anew.
        rig.camera->Replug();
        EXPECT_EQ(device.SelectDevice(0), 0);
        ASSERT_EQ(device.StartStream(), 0);
        EXPECT_TRUE(WaitFor([&] { return device.QueryNewFrame() == 3; }));
        EXPECT_EQ(device.StopStream(), 0);
    }
}

TEST_F(Acquisition, StopEndsTheReadyPollOfAStalledCamera) {
    Rig rig;
    rig.camera->StallReady(true);
    WindowDevice& device = *rig.device;
    device.SetWaitTime(10000);  // a full poll would be ten thousand status reads
    rig.camera->StartLog();
    ASSERT_EQ(device.StartStream(), 0);
    ASSERT_TRUE(WaitFor([&] { return rig.camera->FramesDelivered() == 0 && !rig.camera->TakeLog().empty(); }));
    EXPECT_EQ(device.StopStream(), 0);
    EXPECT_LT(rig.camera->TakeLog().size(), 5000u);
    EXPECT_EQ(device.GetStreamState(), CameraDevice::STREAM_IDLE);

    // The same for a device destroyed while its thread polls.
    ASSERT_EQ(device.StartStream(), 0);
    ASSERT_TRUE(WaitFor([&] { return !rig.camera->TakeLog().empty(); }));
    rig.device.reset();
    EXPECT_LT(rig.camera->TakeLog().size(), 5000u);
}

TEST_F(Acquisition, PauseWaitsForTheTransferInFlight) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    ASSERT_EQ(device.StartStream(), 0);
    ASSERT_TRUE(WaitFor([&] { return device.FrameSequence() > 0; }));
    // Every transfer now takes 50 ms, so the pause arrives while one is under way.
    rig.camera->SetTransferLatencyUs(50'000);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    rig.camera->StartLog();
    int paused = device.PauseStream();
    ASSERT_EQ(paused, 1);
    rig.camera->TakeLog();
    // Acknowledged: nothing of the stream reaches the camera any more, not even the transfer
    // that was under way when the pause was asked for.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(rig.camera->TakeLog().empty());
    rig.camera->SetTransferLatencyUs(0);
    device.ResumeStream(paused);
    int frames = device.FrameSequence();
    EXPECT_TRUE(WaitFor([&] { return device.FrameSequence() > frames; }));
    device.StopStream();
}

TEST_F(Acquisition, SingleCaptureUsesSlotZero) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    std::vector<uint8_t> frame(kW * kH);
    for (int round = 1; round <= 2; ++round) {  // again without a stop in between
        ASSERT_EQ(device.StartSingleCapture(), 0);
        EXPECT_EQ(device.FinishSingleCapture(frame.data(), 0, 0, 0), 0);
        EXPECT_EQ(device.GetStreamState(), CameraDevice::STREAM_IDLE);
        EXPECT_EQ(device.SlotSequence(0), 1);
        EXPECT_EQ(device.SlotSequence(1), 0);
        EXPECT_EQ(frame, rig.Expected(static_cast<uint32_t>(round)));
        EXPECT_EQ(device.QueryNewFrame(), 2);
    }
    device.StopStream();
}

TEST_F(Acquisition, SingleCaptureThatTimesOutFailsAndStopsItsThread) {
    Rig rig;
    rig.camera->StallReady(true);
    WindowDevice& device = *rig.device;
    device.SetWaitTime(30);
    std::vector<uint8_t> frame(kW * kH, 0xEE);
    ASSERT_EQ(device.StartSingleCapture(), 0);
    EXPECT_NE(device.FinishSingleCapture(frame.data(), 0, 0, 0), 0);
    EXPECT_EQ(device.GetStreamState(), CameraDevice::STREAM_IDLE);
    EXPECT_EQ(frame, std::vector<uint8_t>(kW * kH, 0xEE));
    // The camera comes back: the thread is gone, a new capture works.
    rig.camera->StallReady(false);
    rig.camera->SetFastFrames(true);
    ASSERT_EQ(device.StartSingleCapture(), 0);
    EXPECT_EQ(device.FinishSingleCapture(frame.data(), 0, 0, 0), 0);
}

TEST_F(Acquisition, LargerWindowWhileStreamingIsNeverReadIntoSmallSlots) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    ASSERT_EQ(device.StartStream(), 0);
    ASSERT_TRUE(WaitFor([&] { return device.FrameSequence() > 0; }));
    int paused = device.PauseStream();
    ASSERT_EQ(paused, 1);
    device.SetWindow(kW * 4, kH * 4, 0);
    rig.camera->SetRegister16(0x034C, kW * 4);
    rig.camera->SetRegister16(0x034E, kH * 4);
    device.ResumeStream(paused);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::vector<uint8_t> frame(kW * kH * 16);
    EXPECT_NE(device.CopyNewestFrame(frame.data(), 0, 0, 0), 0);
    // The refusing thread still answers the handshake.
    paused = device.PauseStream();
    EXPECT_EQ(paused, 1);
    device.SetWindow(kW, kH, 0);
    device.ResumeStream(paused);
    device.StopStream();
    ASSERT_EQ(device.StartStream(), 0);
    device.StopStream();
}

TEST_F(Acquisition, FrameRateIsMeasuredOverASecond) {
    Rig rig;
    rig.camera->SetFramePeriodUs(10'000);
    WindowDevice& device = *rig.device;
    EXPECT_EQ(device.GetFrameRate(), 0.0f);
    ASSERT_EQ(device.StartStream(), 0);
    // Frames arrive, but the first measuring window has not closed yet.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GT(device.FrameSequence(), 0);
    EXPECT_EQ(device.GetFrameRate(), 0.0f);
    ASSERT_TRUE(WaitFor([&] { return device.GetFrameRate() > 0.0f; }, 5000));
    EXPECT_GT(device.GetFrameRate(), 20.0f);
    EXPECT_LT(device.GetFrameRate(), 150.0f);
    // Without frames the last measurement stays.
    rig.camera->StallReady(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    float last = device.GetFrameRate();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(device.GetFrameRate(), last);
    device.StopStream();
}

TEST_F(Acquisition, StartAndStopManyTimes) {
    Rig rig(32, 16);
    rig.camera->SetFastFrames(true);
    WindowDevice& device = *rig.device;
    std::vector<uint8_t> frame(32 * 16);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(device.StartStream(), 0);
        if (i % 3 == 0) device.CopyNewestFrame(frame.data(), 0, 0, 0);
        if (i % 7 == 0) device.ResumeStream(device.PauseStream());
        ASSERT_EQ(device.StopStream(), 0);
    }
    // Destroying a streaming device stops its thread.
    ASSERT_EQ(device.StartStream(), 0);
    rig.device.reset();
}

TEST_F(Acquisition, SelectingAnotherCameraWhileStreamingStopsFirst) {
    auto cameras = DiskLayer::PlaceTestCameras(2);
    for (auto& c : cameras) c->SetFastFrames(true);
    WindowDevice device(kW, kH);
    ASSERT_EQ(device.StartStream(), 0);
    EXPECT_EQ(device.SelectDevice(1), 0);
    EXPECT_EQ(device.GetStreamState(), CameraDevice::STREAM_IDLE);
    device.WriteRegister8(0x0202, 9);
    EXPECT_EQ(cameras[1]->Register8(0x0202), 9);
}

TEST(FrameSizes, TransferAndCopySizesByMode) {
    DiskLayer::SetTestDrives({}, {});
    WindowDevice device(3488, 2616, 0);
    EXPECT_EQ(device.GetTransferSize(), 9124864);
    EXPECT_EQ(device.GetCopySize(), 9124608);
    device.SetWindow(3488, 2616, 1);
    EXPECT_EQ(device.GetTransferSize(), 2281472);
    EXPECT_EQ(device.GetCopySize(), 1744 * 1308);
    device.SetWindow(3488, 2616, 17);
    EXPECT_EQ(device.GetTransferSize(), 9124864);
    EXPECT_EQ(device.GetCopySize(), 1744 * 1308);
    EXPECT_EQ(device.GetPaddedImageSize(), 3488 * 2616);
    device.SetWindow(3488, 2616, 2);
    EXPECT_EQ(device.GetTransferSize(), 570368);  // 872 x 654 = 570288 bytes
    EXPECT_EQ(device.GetPaddedImageSize(), 872 * 654);
    device.SetWindow(3488, 2616, 18);
    EXPECT_EQ(device.GetTransferSize(), 9124864);
    EXPECT_EQ(device.GetCopySize(), 872 * 654);
    device.SetWindow(3488, 2616, 3);
    EXPECT_EQ(device.GetTransferSize(), 142848);  // 436 x 327 = 142572 bytes
    EXPECT_EQ(device.GetCopySize(), 436 * 327);
    EXPECT_EQ(device.GetPaddedImageSize(), 436 * 327);
    device.SetWindow(3488, 2616, 1);
    EXPECT_EQ(device.GetPaddedImageSize(), 1744 * 1308);
    device.SetWindow(640, 480, 0);
    EXPECT_EQ(device.GetTransferSize(), 307200);
    device.SetWindow(100, 10, 3);  // 12 x 1 = 12 bytes, one sector
    EXPECT_EQ(device.GetTransferSize(), 512);
    EXPECT_EQ(device.GetPaddedImageSize(), 12);
    device.SetWindow(13, 3, 0);
    EXPECT_EQ(device.GetPaddedImageSize(), 16 * 3);
    device.SetWindow(13, 3, 7);
    EXPECT_EQ(device.GetPaddedImageSize(), 16 * 3);
    int x, y, w, h, m;
    device.GetCaptureWindow(&x, &y, &w, &h, &m);
    EXPECT_EQ(w, 13);
    EXPECT_EQ(m, 7);
    DiskLayer::ClearTestDrives();
}

TEST(DeviceDefaults, BaseOperations) {
    DiskLayer::SetTestDrives({}, {});
    K37VQDevice device;
    EXPECT_EQ(device.QueryNewFrame(), 2);
    EXPECT_EQ(device.ReservedTrue(), 1);
    EXPECT_EQ(device.GetSingleCaptureStatus(), 1);
    EXPECT_EQ(device.ReservedFalse(), 0);
    EXPECT_EQ(device.SetWordTransfer(1), 0);
    int port = 77;
    EXPECT_EQ(device.GetIOPort(&port), 0);
    EXPECT_EQ(port, 77);
    uint8_t id = 5;
    EXPECT_EQ(device.ReadSromId(0, &id), 0);
    EXPECT_EQ(id, 5);
    std::vector<uint8_t> frame(16);
    EXPECT_NE(device.CopyNewestFrame(frame.data(), 0, 0, 0), 0);
    EXPECT_NE(device.FinishSingleCapture(frame.data(), 0, 0, 0), 0);
    EXPECT_EQ(device.StopStream(), 0);
    DiskLayer::ClearTestDrives();
}

}  // namespace
}  // namespace lumora::test
