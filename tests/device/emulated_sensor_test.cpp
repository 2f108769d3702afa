// Frames of the emulated sensor, read through the device as the library reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/k37vq_device.h"
#include "emulated_disks.h"
#include "emulator/emulated_sensor.h"

namespace lumora::test {
namespace {

using EmulatedFrames = EmulatedDisks;

struct Rig {
    std::shared_ptr<CameraEmulator> camera = DiskLayer::PlaceTestCameras(1)[0];
    K37VQDevice device;
    Rig() {
        camera->SetFastFrames(true);
        camera->SetStill(true);
    }
    // One single capture of the current window.
    std::vector<uint8_t> Frame() {
        std::vector<uint8_t> frame(static_cast<size_t>(device.GetCopySize()));
        EXPECT_EQ(device.StartSingleCapture(), 0);
        EXPECT_EQ(device.FinishSingleCapture(frame.data(), 0, 0, 0), 0);
        return frame;
    }
};

double Mean(const std::vector<uint8_t>& frame) {
    double sum = 0;
    for (uint8_t v : frame) sum += v;
    return sum / static_cast<double>(frame.size());
}

// Mean of the samples of one mosaic position (row and column parity) in a frame.
double MeanAt(const std::vector<uint8_t>& frame, int width, int rowParity, int columnParity) {
    double sum = 0;
    int n = 0;
    int height = static_cast<int>(frame.size()) / width;
    for (int y = rowParity; y < height; y += 2) {
        for (int x = columnParity; x < width; x += 2) {
            sum += frame[static_cast<size_t>(y * width + x)];
            ++n;
        }
    }
    return sum / n;
}

TEST_F(EmulatedFrames, VerticalMirrorTurnsTheSceneUpsideDown) {
    Rig rig;
    ASSERT_EQ(rig.device.SetCaptureWindow(0, 0, 3488, 2616, 2), 0);  // 872 x 654, the whole chart
    auto upright = rig.Frame();
    ASSERT_EQ(rig.device.SetMirrorV(1), 0);
    auto mirrored = rig.Frame();
    const int w = 872, h = 654;
    ASSERT_EQ(upright.size(), static_cast<size_t>(w * h));
    for (int y = 0; y < h; ++y) {
        ASSERT_EQ(0, std::memcmp(&mirrored[static_cast<size_t>(y * w)], &upright[static_cast<size_t>((h - 1 - y) * w)], w))
            << "row " << y;
    }
    EXPECT_NE(upright, mirrored);
    ASSERT_EQ(rig.device.SetMirrorH(1), 0);
    auto both = rig.Frame();
    EXPECT_EQ(both[0], upright[upright.size() - 1]);
    EXPECT_EQ(rig.device.GetMirrorH(), 1);
}

TEST_F(EmulatedFrames, PhaseThreeShowsTrueColours) {
    Rig rig;
    // A window on the red patch (third row, third column of the chart): at phase 3 the red
    // samples sit in even rows, odd columns.
    ASSERT_EQ(rig.device.SetCaptureWindow(1300, 1300, 256, 200, 0), 0);
    auto frame = rig.Frame();
    double green = MeanAt(frame, 256, 0, 0), red = MeanAt(frame, 256, 0, 1), blue = MeanAt(frame, 256, 1, 0);
    EXPECT_GT(red, 2 * green);
    EXPECT_GT(red, 2 * blue);
    EXPECT_NEAR(green, MeanAt(frame, 256, 1, 1), 1.0);
}

TEST_F(EmulatedFrames, ExposureAndGainScaleTheSignal) {
    Rig rig;
    // Inside the mid-gray patch (fourth row, fourth column).
    ASSERT_EQ(rig.device.SetCaptureWindow(1800, 1800, 256, 256, 0), 0);
    ASSERT_EQ(rig.device.SetExposureLines(1000), 1);
    double single = Mean(rig.Frame());
    ASSERT_EQ(rig.device.SetExposureLines(2000), 1);
    double doubled = Mean(rig.Frame());
    EXPECT_GT(single, 30.0);
    EXPECT_NEAR(doubled / single, 2.0, 0.02);
    ASSERT_EQ(rig.device.SetGlobalGain(64), 1);
    EXPECT_NEAR(Mean(rig.Frame()) / doubled, 2.0, 0.02);
    ASSERT_EQ(rig.device.SetExposureLines(8000), 1);
    EXPECT_EQ(Mean(rig.Frame()), 255.0);  // saturated
    ASSERT_EQ(rig.device.SetColorGain(K37VQDevice::REG_GAIN_RED, 0), 1);
    ASSERT_EQ(rig.device.SetExposureLines(1000), 1);
    ASSERT_EQ(rig.device.SetGlobalGain(32), 1);
    auto frame = rig.Frame();
    EXPECT_EQ(MeanAt(frame, 256, 0, 1), 0.0);  // red samples
    EXPECT_NEAR(MeanAt(frame, 256, 0, 0), single, 1.0);
}

TEST_F(EmulatedFrames, SkippingAndBinningFollowTheMosaic) {
    Rig rig;
    ASSERT_EQ(rig.device.SetCaptureWindow(0, 0, 3488, 2616, 0), 0);
    auto full = rig.Frame();
    const int fw = 3488;
    auto at = [&](int x, int y) { return static_cast<int>(full[static_cast<size_t>(y * fw + x)]); };
    // Half skipping keeps every other pair of rows and columns: same mosaic, same samples.
    ASSERT_EQ(rig.device.SetCaptureWindow(0, 0, 3488, 2616, 1), 0);
    auto half = rig.Frame();
    const int hw = 1744, hh = 1308;
    ASSERT_EQ(half.size(), static_cast<size_t>(hw * hh));
    for (int y = 0; y < hh; y += 7) {
        for (int x = 0; x < hw; x += 5) {
            ASSERT_EQ(half[static_cast<size_t>(y * hw + x)], at(x / 2 * 4 + x % 2, y / 2 * 4 + y % 2)) << x << "," << y;
        }
    }
    // Quarter binning averages the 4 x 4 same-colour samples (noise aside).
    ASSERT_EQ(rig.device.SetCaptureWindow(0, 0, 3488, 2616, 18), 0);
    auto binned = rig.Frame();
    const int bw = 872, bh = 654;
    ASSERT_EQ(binned.size(), static_cast<size_t>(bw * bh));
    for (int y = 0; y < bh; y += 11) {
        for (int x = 0; x < bw; x += 13) {
            int sum = 0;
            for (int j = 0; j < 4; ++j) {
                for (int i = 0; i < 4; ++i) sum += at(x / 2 * 8 + x % 2 + 2 * i, y / 2 * 8 + y % 2 + 2 * j);
            }
            ASSERT_NEAR(binned[static_cast<size_t>(y * bw + x)], sum / 16.0, 20.0) << x << "," << y;
        }
    }
}

TEST_F(EmulatedFrames, FramesAreDeterministicAndStillFramesRepeat) {
    Rig rig;
    ASSERT_EQ(rig.device.SetCaptureWindow(0, 2000, 3488, 616, 1), 0);  // the band with the moving disc
    auto a = rig.Frame();
    auto b = rig.Frame();
    EXPECT_EQ(a, b);
    rig.camera->SetStill(false);
    auto c = rig.Frame();
    auto d = rig.Frame();
    EXPECT_NE(c, d);

    // The same registers and frame number give the same bytes.
    std::vector<uint8_t> registers(EmulatedSensor::kRegisterCount);
    for (uint32_t i = 0; i < registers.size(); ++i) registers[i] = rig.camera->Register8(static_cast<uint16_t>(i));
    std::vector<uint8_t> one(rig.camera->FrameBytes()), two(one.size());
    EmulatedSensor(1).Render(registers.data(), 17, false, one.data(), 0, static_cast<uint32_t>(one.size()));
    EmulatedSensor(1).Render(registers.data(), 17, false, two.data(), 0, static_cast<uint32_t>(two.size()));
    EXPECT_EQ(one, two);
    // A part of the image area is the same part of the frame.
    std::vector<uint8_t> part(1000);
    EmulatedSensor(1).Render(registers.data(), 17, false, part.data(), 5000, 1000);
    EXPECT_EQ(0, std::memcmp(part.data(), one.data() + 5000, 1000));
}

TEST(EmulatedSensorRender, ASmallReadOfAHugeFrameRendersOnlyItsRows) {
    // Registers may give a frame of 65535 x 65535 bytes; a read of its first rows costs those
    // rows alone, and they are the rows of any other frame as wide.
    std::vector<uint8_t> registers(EmulatedSensor::kRegisterCount);
    EmulatedSensor::ResetRegisters(registers.data());
    EmulatedSensor::Write16(registers.data(), 0x034C, 0xFFFF);
    EmulatedSensor::Write16(registers.data(), 0x034E, 0xFFFF);
    std::vector<uint8_t> huge(3 * 65535 + 100, 0xEE);
    EmulatedSensor(1).Render(registers.data(), 3, false, huge.data(), 0, static_cast<uint32_t>(huge.size()));
    EmulatedSensor::Write16(registers.data(), 0x034E, 4);
    std::vector<uint8_t> short4(huge.size(), 0xEE);
    EmulatedSensor(1).Render(registers.data(), 3, false, short4.data(), 0, static_cast<uint32_t>(short4.size()));
    EXPECT_EQ(huge, short4);
    // Past the frame's end the image area reads as zeros.
    EmulatedSensor::Write16(registers.data(), 0x034E, 2);
    std::vector<uint8_t> tail(1000, 0xEE);
    EmulatedSensor(1).Render(registers.data(), 3, false, tail.data(), 2 * 65535 - 500, 1000);
    EXPECT_EQ(0, std::memcmp(tail.data(), huge.data() + 2 * 65535 - 500, 500));
    EXPECT_EQ(tail[500], 0);
    EXPECT_EQ(tail[999], 0);
}

TEST_F(EmulatedFrames, StillFromTheEnvironment) {
    DiskLayer::ClearTestDrives();
    setenv("LUMORA_CAMEMU", "1", 1);
    setenv("LUMORA_CAMEMU_STILL", "1", 1);
    {
        K37VQDevice device;
        DiskLayer::EnvironmentCameras()[0]->SetFastFrames(true);
        ASSERT_EQ(device.SetCaptureWindow(0, 2000, 3488, 616, 2), 0);
        std::vector<uint8_t> a(static_cast<size_t>(device.GetCopySize())), b(a.size());
        ASSERT_EQ(device.StartSingleCapture(), 0);
        ASSERT_EQ(device.FinishSingleCapture(a.data(), 0, 0, 0), 0);
        ASSERT_EQ(device.StartSingleCapture(), 0);
        ASSERT_EQ(device.FinishSingleCapture(b.data(), 0, 0, 0), 0);
        EXPECT_EQ(a, b);
    }
    setenv("LUMORA_CAMEMU_STILL", "0", 1);
    EXPECT_TRUE(DiskLayer::EnvironmentCameras().size() == 1);
    DiskLayer::EnvironmentCameras()[0]->SetFastFrames(false);
    unsetenv("LUMORA_CAMEMU_STILL");
    unsetenv("LUMORA_CAMEMU");
}

TEST_F(EmulatedFrames, HotPixelsStayBrightInTheDark) {
    Rig rig;
    ASSERT_EQ(rig.device.SetCaptureWindow(0, 0, 256, 256, 0), 0);
    ASSERT_EQ(rig.device.SetExposureLines(1), 1);
    auto frame = rig.Frame();
    EXPECT_EQ(frame[100 * 256 + 100], 255);
    EXPECT_LT(frame[100 * 256 + 101], 3);
}

TEST(EmulatedSensorPace, FramePeriodFollowsTheRegisters) {
    std::vector<uint8_t> registers(EmulatedSensor::kRegisterCount);
    EmulatedSensor::ResetRegisters(registers.data());
    EXPECT_EQ(EmulatedSensor::FramePeriodUs(registers.data()), 2761ull * 7096 * 7 / 384);
    EmulatedSensor::Write16(registers.data(), 0x0340, 625);
    EmulatedSensor::Write16(registers.data(), 0x0342, 3440);
    EmulatedSensor::Write16(registers.data(), 0x0304, 2);
    EXPECT_EQ(EmulatedSensor::FramePeriodUs(registers.data()), 625ull * 3440 * 2 / 384);
}

}  // namespace
}  // namespace lumora::test
