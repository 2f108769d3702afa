// Frames of the emulated sensor, read through the device as the library reads them.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "device/k37vq_device.h"
#include "emulated_disks.h"
#include "emulator/emulated_scene.h"
#include "emulator/emulated_sensor.h"
#include "imaging/vector_support.h"

namespace lumora::test {
namespace {

using EmulatedFrames = EmulatedDisks;

// The sensor's frames as they were rendered before the chart was kept between frames: every
// sample of every pixel, every time. The sensor must give these bytes exactly.
namespace reference {

using namespace scene;

uint32_t Hash(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du ^ d;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

void Render(uint32_t seed, const uint8_t* registers, uint32_t frame, bool still, uint8_t* out,
            uint32_t offset, uint32_t length) {
    // Only the rows that meet [offset, offset + length) are rendered, one at a time, so that a
    // small read never costs a whole frame, whatever size the registers give.
    std::memset(out, 0, length);
    uint32_t bytes = EmulatedSensor::FrameBytes(registers);
    if (offset >= bytes || length == 0) return;
    uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(bytes, static_cast<uint64_t>(offset) + length));
    if (still) frame = 0;

    int width = EmulatedSensor::Read16(registers, 0x034C);
    uint16_t mode = EmulatedSensor::Read16(registers, 0x3040);
    bool binning = (mode & 0x0400) != 0;
    int firstRow = static_cast<int>(offset / static_cast<uint32_t>(width));
    int lastRow = static_cast<int>((end - 1) / static_cast<uint32_t>(width));
    Axis columns = MapAxis(EmulatedSensor::Read16(registers, 0x0344) - kArrayOffset, width, Factor((mode >> 6) & 7),
                           binning, (mode & 0x4000) != 0);
    Axis rows = MapAxis(EmulatedSensor::Read16(registers, 0x0346) - kArrayOffset, EmulatedSensor::Read16(registers, 0x034E),
                        Factor(mode & 0x3F), binning, (mode & 0x8000) != 0);

    // Scale of each channel: exposure x global gain x colour gain, relative to unity.
    static constexpr uint16_t kGainRegister[4] = {0x305A, 0x3056, 0x305C, 0x3058};
    uint64_t exposure = EmulatedSensor::Read16(registers, 0x0202);
    uint64_t global = EmulatedSensor::Read16(registers, 0x305E) & 0x7F;
    uint64_t scale[4];
    for (int c = 0; c < 4; ++c) scale[c] = exposure * global * (EmulatedSensor::Read16(registers, kGainRegister[c]) & 0x7F);
    const uint64_t unity = static_cast<uint64_t>(kUnityExposure) * kUnityGain * kUnityGain;

    int movingX = static_cast<int>((frame * kMovingStep) % (kActiveWidth + 2 * kMovingRadius)) - kMovingRadius;

    // Nominal level of one active-array sample. The noise of an output pixel follows its first
    // sample's place on the sensor, so that a mirrored frame is exactly the frame mirrored.
    auto level = [&](int ax, int ay, int channel) -> int {
        if (ax < 0 || ay < 0 || ax >= kActiveWidth || ay >= kActiveHeight) return 0;
        int dx = ax - movingX, dy = ay - kMovingCenterY;
        if (dx * dx + dy * dy < kMovingRadius * kMovingRadius) return kMovingLevel;
        int column = PatchIndex(ax, kChartLeft, kPatchWidth, kChartColumns);
        int row = PatchIndex(ay, kChartTop, kPatchHeight, kChartRows);
        if (column < 0 || row < 0) return kBackground;
        return kChart[row][column][kRgb[channel]];
    };

    std::vector<uint8_t> line(static_cast<size_t>(width));
    for (int oy = firstRow; oy <= lastRow; ++oy) {
        int ay0 = rows.first[static_cast<size_t>(oy)];
        for (int ox = 0; ox < width; ++ox) {
            int ax0 = columns.first[static_cast<size_t>(ox)];
            int channel = Channel(ax0, ay0);
            int sum = 0;
            for (int j = 0; j < rows.count; ++j) {
                for (int i = 0; i < columns.count; ++i) sum += level(ax0 + 2 * i, ay0 + 2 * j, channel);
            }
            uint64_t divisor = unity * static_cast<uint64_t>(rows.count * columns.count);
            uint64_t signal = (static_cast<uint64_t>(sum) * scale[channel] + divisor / 2) / divisor;
            int noise = static_cast<int>(Hash(seed, frame, static_cast<uint32_t>(ax0), static_cast<uint32_t>(ay0)) % 3) - 1;
            int value = signal == 0 ? 0 : static_cast<int>(std::min<uint64_t>(signal, 256)) + noise;
            line[static_cast<size_t>(ox)] = static_cast<uint8_t>(std::clamp(value, 0, 255));
        }
        // Hot pixels stay bright whatever the exposure.
        for (const auto& hot : kHotPixels) {
            if (rows.count != 1 || ay0 != hot[1] || columns.count != 1) continue;
            for (int ox = 0; ox < width; ++ox) {
                if (columns.first[static_cast<size_t>(ox)] == hot[0]) line[static_cast<size_t>(ox)] = 255;
            }
        }
        // The part of this row inside the read.
        uint32_t rowStart = static_cast<uint32_t>(oy) * static_cast<uint32_t>(width);
        uint32_t from = std::max(rowStart, offset);
        uint32_t to = std::min(rowStart + static_cast<uint32_t>(width), end);
        std::memcpy(out + (from - offset), line.data() + (from - rowStart), to - from);
    }
}

}  // namespace reference

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

// The sensor registers of one frame to render.
struct Settings {
    uint16_t mode;                  // read mode register: increments, binning, mirrors
    int x, y, width, height;        // first column and row on the sensor, output size
    uint16_t exposure;
    std::array<uint16_t, 5> gains;  // 0x3056 to 0x305E: four colour gains and the global one
    bool still;
    uint32_t frame;
};

std::vector<uint8_t> Registers(const Settings& s) {
    std::vector<uint8_t> r(EmulatedSensor::kRegisterCount);
    EmulatedSensor::ResetRegisters(r.data());
    EmulatedSensor::Write16(r.data(), 0x3040, s.mode);
    EmulatedSensor::Write16(r.data(), 0x0344, static_cast<uint16_t>(s.x));
    EmulatedSensor::Write16(r.data(), 0x0346, static_cast<uint16_t>(s.y));
    EmulatedSensor::Write16(r.data(), 0x034C, static_cast<uint16_t>(s.width));
    EmulatedSensor::Write16(r.data(), 0x034E, static_cast<uint16_t>(s.height));
    EmulatedSensor::Write16(r.data(), 0x0202, s.exposure);
    for (int i = 0; i < 5; ++i) EmulatedSensor::Write16(r.data(), static_cast<uint16_t>(0x3056 + 2 * i), s.gains[i]);
    return r;
}

// Renders the frame of s (and a little of the image area after it) with sensor, whole and in
// pieces that end anywhere, with AVX2 and without; each must be the reference's bytes.
void ExpectReferenceFrame(const EmulatedSensor& sensor, uint32_t seed, const Settings& s, std::mt19937& random) {
    auto r = Registers(s);
    std::vector<uint8_t> expected(EmulatedSensor::FrameBytes(r.data()) + 100);
    const auto size = static_cast<uint32_t>(expected.size());
    reference::Render(seed, r.data(), s.frame, s.still, expected.data(), 0, size);
    auto where = [&](const std::vector<uint8_t>& got) {
        auto i = std::mismatch(got.begin(), got.end(), expected.begin()).first - got.begin();
        return ::testing::Message() << "mode " << std::hex << s.mode << std::dec << " window " << s.x << "," << s.y
                                    << " " << s.width << "x" << s.height << " frame " << s.frame
                                    << ": first difference at x " << i % s.width << " y " << i / s.width;
    };
    for (RoutineSet set : {RoutineSet::Avx2, RoutineSet::Plain}) {
        LimitVectorRoutines(set);
        std::vector<uint8_t> whole(size, 0xEE), pieces(size, 0xEE);
        sensor.Render(r.data(), s.frame, s.still, whole.data(), 0, size);
        EXPECT_TRUE(whole == expected) << where(whole);
        for (uint32_t offset = 0, length; offset < size; offset += length) {
            length = std::min(size - offset, static_cast<uint32_t>(random() % (3 * s.width + 40)) + 1);
            sensor.Render(r.data(), s.frame, s.still, pieces.data() + offset, offset, length);
        }
        EXPECT_TRUE(pieces == expected) << where(pieces) << " (in pieces)";
    }
    LimitVectorRoutines(RoutineSet::Avx2);
}

// Unity gain (32) in every gain register.
constexpr std::array<uint16_t, 5> kUnity = {0x1020, 0x1020, 0x1020, 0x1020, 0x1020};

TEST(EmulatedSensorRender, FramesAreTheReferenceFramesInEveryMode) {
    const Settings table[] = {
        // readout modes over the whole array, the disc in mid-frame
        {0x0041, 8, 8, 3488, 2616, 2600, kUnity, false, 50},
        {0x00C3, 8, 8, 1744, 1308, 2600, kUnity, false, 51},
        {0x0DC7, 8, 8, 872, 654, 2600, kUnity, false, 52},
        {0xCDC7, 8, 8, 872, 654, 1300, {40, 20, 90, 33, 64}, false, 53},  // both mirrors
        // the band of the disc: mirrors, odd offsets, the disc at both edges and off them
        {0x4041, 8, 2208, 3488, 500, 2600, kUnity, false, 0},
        {0x8041, 9, 2211, 3000, 400, 2600, kUnity, false, 1},
        {0xC0C3, 0, 2100, 1800, 300, 3000, kUnity, false, 97},
        {0x0041, 3000, 2300, 600, 260, 2600, kUnity, false, 99},
        {0x04C3, 3001, 2291, 300, 140, 2600, kUnity, false, 100},
        {0x0545, 0, 2199, 1200, 120, 2600, kUnity, false, 101},
        {0x0041, 8, 2208, 1000, 300, 2600, kUnity, true, 77},  // still
        // binning across patch edges and the array's edges, unequal bins, windows past the array
        {0x05C1, 0, 0, 1000, 400, 2600, kUnity, false, 5},
        {0x05FF, 0, 0, 900, 100, 5000, kUnity, false, 6},
        {0x0DC7, 3300, 2500, 200, 120, 2600, kUnity, false, 7},
        {0x0141, 1, 3, 1, 1, 2600, kUnity, false, 8},
        // exposure and gains: dark with the hot pixels, none, saturated, each channel its own
        {0x0041, 8, 8, 3488, 1600, 1, kUnity, false, 9},
        {0x0041, 8, 8, 800, 300, 0, kUnity, false, 10},
        {0x0041, 8, 8, 800, 300, 8000, {0x1020, 0x1020, 0x1020, 0x1020, 0x7F}, false, 11},
        {0x0041, 900, 1300, 800, 300, 2600, {0, 0x7F, 16, 0xFF45, 0x1020}, false, 12},
        {0x0041, 900, 1300, 800, 300, 2600, {0x1020, 0x1020, 0x1020, 0x1020, 0}, false, 13},
    };
    // One sensor for all, so that its chart changes geometry and response between frames.
    EmulatedSensor sensor(7);
    std::mt19937 random(1);
    for (const Settings& s : table) ExpectReferenceFrame(sensor, 7, s, random);
    for (const Settings& s : table) {
        if (s.width * s.height <= 1000000) ExpectReferenceFrame(EmulatedSensor(3), 3, s, random);
    }
}

TEST(EmulatedSensorRender, FramesAreTheReferenceFramesForRandomSettings) {
    std::mt19937 random(23);
    auto pick = [&](int low, int high) { return low + static_cast<int>(random() % static_cast<uint32_t>(high - low + 1)); };
    EmulatedSensor sensor(11);
    Settings s{0x0041, 8, 8, 64, 64, 2600, kUnity, false, 0};
    for (int i = 0; i < 60; ++i) {
        if (i % 2 == 0) {  // a new geometry; else only the response and the frame change
            static constexpr int kIncrements[] = {1, 3, 5, 7, 9, 15, 31, 63};
            s.mode = static_cast<uint16_t>(kIncrements[pick(0, 7)] | (pick(0, 3) * 2 + 1) << 6 |
                                           pick(0, 1) << 10 | pick(0, 3) << 14);
            s.width = pick(1, 700);
            s.height = pick(1, 300);
            s.x = pick(0, 3600);
            s.y = pick(0, 1) ? pick(2000, 2700) : pick(0, 3600);
        }
        s.exposure = static_cast<uint16_t>(pick(0, 10000));
        for (uint16_t& gain : s.gains) gain = static_cast<uint16_t>(pick(0, 2) ? pick(0, 127) : pick(0, 65535));
        s.still = pick(0, 3) == 0;
        s.frame = static_cast<uint32_t>(pick(0, 1) ? pick(0, 110) : pick(0, 1 << 30));
        ExpectReferenceFrame(sensor, 11, s, random);
    }
}

TEST(EmulatedSensorRender, SensorsInParallelThreadsGiveTheReferenceFrames) {
    // Each thread renders with its own sensor and with one that all share, switching geometries.
    const Settings settings[] = {
        {0x0041, 8, 2200, 600, 300, 2600, kUnity, false, 40},
        {0x0DC7, 8, 8, 872, 100, 2600, kUnity, false, 41},
        {0xC0C3, 100, 2100, 500, 200, 2000, {20, 40, 60, 80, 32}, false, 42},
        {0x0041, 8, 8, 300, 300, 3000, kUnity, true, 43},
    };
    std::vector<std::vector<uint8_t>> registers, expected;
    for (const Settings& s : settings) {
        registers.push_back(Registers(s));
        expected.emplace_back(EmulatedSensor::FrameBytes(registers.back().data()));
        reference::Render(5, registers.back().data(), s.frame, s.still, expected.back().data(), 0,
                          static_cast<uint32_t>(expected.back().size()));
    }
    EmulatedSensor shared(5);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            EmulatedSensor own(5);
            for (int i = 0; i < 12; ++i) {
                size_t k = static_cast<size_t>(t + i) % 4;
                std::vector<uint8_t> frame(expected[k].size());
                (i % 2 ? shared : own).Render(registers[k].data(), settings[k].frame, settings[k].still, frame.data(), 0,
                                              static_cast<uint32_t>(frame.size()));
                wrong += frame != expected[k];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace lumora::test
