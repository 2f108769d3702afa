// The K37VQ register map as the emulated camera receives it, and the camera object's sensor
// settings on top of it.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "camera/camera_object.h"
#include "../camera/camera_object_probe.h"
#include "device/k37vq_device.h"
#include "emulated_disks.h"

namespace lumora::test {
namespace {

using Reg = std::pair<uint16_t, uint16_t>;
using SensorModel = EmulatedDisks;

// The 16-bit register writes in a transfer log (each a pair of byte writes at A and A + 1).
std::vector<Reg> RegisterWrites(const std::vector<EmulatorTransfer>& log) {
    std::vector<Reg> writes;
    std::vector<EmulatorTransfer> bytes;
    for (const EmulatorTransfer& t : log) {
        if (t.write && t.offset == 0x20200 && t.head[0] == 0x20) bytes.push_back(t);
    }
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint16_t a = static_cast<uint16_t>(bytes[i].head[1] << 8 | bytes[i].head[2]);
        uint16_t b = static_cast<uint16_t>(bytes[i + 1].head[1] << 8 | bytes[i + 1].head[2]);
        EXPECT_EQ(b, a + 1) << "unpaired byte write at " << a;
        writes.emplace_back(a, static_cast<uint16_t>(bytes[i].head[3] << 8 | bytes[i + 1].head[3]));
    }
    EXPECT_EQ(bytes.size() % 2, 0u);
    return writes;
}

std::vector<Reg> WindowSequence(uint16_t mode3040, int x, int y, int w, int h, int ow, int oh,
                                int lineLength, int reg3010, int reg3014) {
    return {{0x0104, 1},
            {0x3040, mode3040},
            {0x0344, x + 8},
            {0x0348, x + w + 7},
            {0x0346, y + 8},
            {0x034A, y + h + 7},
            {0x0400, 0},
            {0x0404, 16},
            {0x034C, ow},
            {0x034E, oh},
            {0x0342, lineLength},
            {0x0340, oh + 145},
            {0x3010, reg3010},
            {0x3014, reg3014},
            {0x3018, 0},
            {0x3044, 0x0004},
            {0x301A, 0x0002},
            {0x0104, 0}};
}

struct Rig {
    std::shared_ptr<CameraEmulator> camera = DiskLayer::PlaceTestCameras(1)[0];
    K37VQDevice device;

    std::vector<Reg> Window(int x, int y, int w, int h, int mode, int expectedResult = 0) {
        camera->SetRegister16(0x3040, 0);
        camera->SetRegister16(0x3044, 0);
        camera->SetRegister16(0x301A, 0);
        camera->StartLog();
        EXPECT_EQ(device.SetCaptureWindow(x, y, w, h, mode), expectedResult);
        return RegisterWrites(camera->TakeLog());
    }
};

TEST_F(SensorModel, FullWindowRegisterValuesByMode) {
    Rig rig;
    EXPECT_EQ(rig.Window(0, 0, 3488, 2616, 0), WindowSequence(0x0041, 0, 0, 3488, 2616, 3488, 2616, 7096, 256, 1386));
    EXPECT_EQ(rig.Window(0, 0, 3488, 2616, 1), WindowSequence(0x00C3, 0, 0, 3488, 2616, 1744, 1308, 3608, 256, 1386));
    EXPECT_EQ(rig.Window(0, 0, 3488, 2616, 2), WindowSequence(0x01C7, 0, 0, 3488, 2616, 872, 654, 3440, 256, 1386));
    EXPECT_EQ(rig.Window(0, 0, 3488, 2616, 17), WindowSequence(0x04C3, 0, 0, 3488, 2616, 1744, 1308, 6200, 568, 4434));
    EXPECT_EQ(rig.Window(0, 0, 3488, 2616, 18), WindowSequence(0x0DC7, 0, 0, 3488, 2616, 872, 654, 5032, 568, 3266));
    int x, y, w, h, m;
    rig.device.GetCaptureWindow(&x, &y, &w, &h, &m);
    EXPECT_EQ(w, 3488);
    EXPECT_EQ(m, 18);
}

TEST_F(SensorModel, SmallWindowRegisterValues) {
    Rig rig;
    EXPECT_EQ(rig.Window(0, 0, 640, 480, 0), WindowSequence(0x0041, 0, 0, 640, 480, 640, 480, 3440, 256, 1386));
    EXPECT_EQ(rig.Window(0, 0, 640, 480, 1), WindowSequence(0x00C3, 0, 0, 640, 480, 320, 240, 2800, 256, 1386));
    EXPECT_EQ(rig.Window(0, 0, 640, 480, 17), WindowSequence(0x04C3, 0, 0, 640, 480, 320, 240, 4160, 568, 2394));
    // An offset window: the corners move with it, the line total follows the width.
    EXPECT_EQ(rig.Window(100, 50, 3200, 2000, 17),
              WindowSequence(0x04C3, 100, 50, 3200, 2000, 1600, 1000, 6200, 568, 4434));
    // Narrow windows take the other branch of the line total: t = b + output width, and in
    // binning 0x3014 = 2842.
    EXPECT_EQ(rig.Window(0, 0, 100, 60, 17), WindowSequence(0x04C3, 0, 0, 100, 60, 50, 30, 3340, 568, 2842));
    EXPECT_EQ(rig.Window(0, 0, 100, 60, 1), WindowSequence(0x00C3, 0, 0, 100, 60, 50, 30, 3340, 256, 1386));
    EXPECT_EQ(rig.Window(0, 0, 400, 300, 18), WindowSequence(0x0DC7, 0, 0, 400, 300, 100, 75, 2840, 568, 2842));
    EXPECT_EQ(rig.Window(0, 0, 1000, 800, 18), WindowSequence(0x0DC7, 0, 0, 1000, 800, 250, 200, 3712, 568, 1946));
}

TEST_F(SensorModel, LineTotalAroundTheNarrowWindowLimit) {
    Rig rig;
    // Full resolution: t is the larger of width + 60 and 1720.
    EXPECT_EQ(rig.Window(0, 0, 1659, 100, 0)[10], Reg(0x0342, 3440));
    EXPECT_EQ(rig.Window(0, 0, 1660, 100, 0)[10], Reg(0x0342, 3440));
    EXPECT_EQ(rig.Window(0, 0, 1661, 100, 0)[10], Reg(0x0342, 3442));
    EXPECT_EQ(rig.Window(0, 0, 3000, 100, 20)[10], Reg(0x0342, 6120));
    // Half subsampling: b = 1720 - width below 1660, else 60.
    EXPECT_EQ(rig.Window(0, 0, 1659, 100, 1)[10], Reg(0x0342, 3438));
    EXPECT_EQ(rig.Window(0, 0, 1660, 100, 1)[10], Reg(0x0342, 3440));
    EXPECT_EQ(rig.Window(0, 0, 2000, 100, 1)[10], Reg(0x0342, 3440));
    EXPECT_EQ(rig.Window(0, 0, 3400, 100, 1)[10], Reg(0x0342, 3520));
}

TEST_F(SensorModel, ReadModeBitsKeepTheOthers) {
    Rig rig;
    rig.camera->SetRegister16(0x3040, 0xFFFF);
    rig.camera->StartLog();
    EXPECT_EQ(rig.device.SetCaptureWindow(0, 0, 3488, 2616, 1), 0);
    EXPECT_EQ(RegisterWrites(rig.camera->TakeLog())[1], Reg(0x3040, 0xF2C3));
    // Modes without a setting write the register back unchanged, at full output size.
    rig.camera->SetRegister16(0x3040, 0x1234);
    rig.camera->StartLog();
    EXPECT_EQ(rig.device.SetCaptureWindow(0, 0, 800, 600, 20), 0);
    auto writes = RegisterWrites(rig.camera->TakeLog());
    EXPECT_EQ(writes[1], Reg(0x3040, 0x1234));
    EXPECT_EQ(writes[8], Reg(0x034C, 800));
    // Each mode's mask keeps the other bits of whatever the register held.
    const std::pair<int, uint16_t> masked[] = {{0, 0xF241}, {1, 0xF2C3}, {2, 0xF3C7}, {17, 0xF6C3}, {18, 0xFFC7}};
    for (const auto& [mode, expected] : masked) {
        rig.camera->SetRegister16(0x3040, 0xFFFF);
        rig.camera->StartLog();
        EXPECT_EQ(rig.device.SetCaptureWindow(0, 0, 3488, 2616, mode), 0);
        EXPECT_EQ(RegisterWrites(rig.camera->TakeLog())[1], Reg(0x3040, expected)) << mode;
    }
    rig.camera->SetRegister16(0x3040, 0x3000);
    rig.camera->StartLog();
    EXPECT_EQ(rig.device.SetCaptureWindow(0, 0, 3488, 2616, 18), 0);
    EXPECT_EQ(RegisterWrites(rig.camera->TakeLog())[1], Reg(0x3040, 0x3DC7));
    // 0x3044 and 0x301A keep their bits and gain one each; a failed read of 0x3040 counts as 0.
    rig.camera->SetRegister16(0x3040, 0xFFFF);
    rig.camera->SetRegister16(0x3044, 0x1230);
    rig.camera->SetRegister16(0x301A, 0x0101);
    rig.camera->StartLog();
    rig.camera->FailReads(1);
    EXPECT_EQ(rig.device.SetCaptureWindow(0, 0, 3488, 2616, 0), 0);
    writes = RegisterWrites(rig.camera->TakeLog());
    EXPECT_EQ(writes[1], Reg(0x3040, 0x0041));
    EXPECT_EQ(writes[15], Reg(0x3044, 0x1234));
    EXPECT_EQ(writes[16], Reg(0x301A, 0x0103));
    // Mode 3 reads out the full size while the transfer is an eighth.
    rig.camera->StartLog();
    EXPECT_EQ(rig.device.SetCaptureWindow(0, 0, 800, 600, 3), 0);
    EXPECT_EQ(RegisterWrites(rig.camera->TakeLog())[8], Reg(0x034C, 800));
    EXPECT_EQ(rig.device.GetTransferSize(), 512 * 15);  // 100 x 75 = 7500 bytes
}

TEST_F(SensorModel, RejectedWindowsWriteNothing) {
    Rig rig;
    for (auto args : std::vector<std::vector<int>>{{1, 0, 3488, 100, 0}, {0, 0, 3, 100, 0}, {0, 0, 100, 2, 0},
                                                   {0, 0, 100, 100, 21}, {-2, 0, 100, 100, 0}, {0, 1, 100, 2616, 0},
                                                   {0, 0, 100, 100, -1}, {INT_MAX, 0, 100, 100, 0},
                                                   {0, 0, INT_MAX, 100, 0}, {0, INT_MAX, 100, 100, 0},
                                                   {0, 0, 100, INT_MAX, 0}}) {
        rig.camera->StartLog();
        EXPECT_EQ(rig.device.SetCaptureWindow(args[0], args[1], args[2], args[3], args[4]), 1);
        EXPECT_TRUE(rig.camera->TakeLog().empty());
    }
    int x, y, w, h, m;
    rig.device.GetCaptureWindow(&x, &y, &w, &h, &m);
    EXPECT_EQ(w, 3488);
    EXPECT_EQ(h, 2616);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(rig.device.SetCaptureWindow(0, 0, 4, 3, 0), 0);  // the smallest window
}

TEST_F(SensorModel, GainsAndExposure) {
    Rig rig;
    rig.camera->StartLog();
    EXPECT_EQ(rig.device.SetGlobalGain(200), 1);
    EXPECT_EQ(rig.device.SetColorGain(K37VQDevice::REG_GAIN_RED, 0), 1);
    EXPECT_EQ(rig.device.SetColorGain(K37VQDevice::REG_GAIN_BLUE, -1), 1);  // 0xFFFF limited
    EXPECT_EQ(rig.device.SetColorGain(0x305E, 5), 0);                       // not a colour gain
    EXPECT_EQ(rig.device.SetExposureLines(0), 1);
    EXPECT_EQ(rig.device.SetExposureLines(8192), 1);
    EXPECT_EQ(RegisterWrites(rig.camera->TakeLog()),
              (std::vector<Reg>{{0x305E, 0x107F}, {0x305A, 0x1000}, {0x3058, 0x107F}, {0x0202, 1}, {0x0202, 8192}}));

    rig.camera->SetRegister16(K37VQDevice::REG_GAIN_GREEN2, 0x10C5);
    uint16_t gain = 999;
    EXPECT_EQ(rig.device.GetColorGain(K37VQDevice::REG_GAIN_GREEN2, &gain), 1);
    EXPECT_EQ(gain, 0x45);
    EXPECT_EQ(rig.device.GetColorGain(0x3050, &gain), 0);
    EXPECT_EQ(rig.device.GetGlobalGain(), 0x7F);
    int lines = 0;
    EXPECT_EQ(rig.device.GetExposureLines(&lines), 1);
    EXPECT_EQ(lines, 8192);
    rig.camera->FailReads(1);
    lines = 5;
    EXPECT_EQ(rig.device.GetExposureLines(&lines), 0);
    EXPECT_EQ(lines, 5);
}

TEST_F(SensorModel, MirrorsAndClockHalving) {
    Rig rig;
    rig.camera->SetRegister16(0x3040, 0x0041);
    rig.camera->StartLog();
    EXPECT_EQ(rig.device.SetMirrorV(1), 0);
    EXPECT_EQ(rig.device.SetMirrorH(7), 0);
    EXPECT_EQ(rig.device.SetMirrorV(0), 0);
    EXPECT_EQ(RegisterWrites(rig.camera->TakeLog()),
              (std::vector<Reg>{{0x3040, 0x8041}, {0x3040, 0xC041}, {0x3040, 0x4041}}));
    EXPECT_EQ(rig.device.GetMirrorH(), 1);
    EXPECT_EQ(rig.device.GetMirrorV(), 0);
    // The getters follow the sensor, whatever was set last.
    rig.camera->SetRegister16(0x3040, 0x8000);
    EXPECT_EQ(rig.device.GetMirrorV(), 1);
    EXPECT_EQ(rig.device.GetMirrorH(), 0);

    int on = -1;
    EXPECT_EQ(rig.device.SetClockHalving(1), 1);
    EXPECT_EQ(rig.camera->Register16(0x0304), 4);
    EXPECT_EQ(rig.device.GetClockHalving(&on), 1);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(rig.device.SetClockHalving(0), 1);
    EXPECT_EQ(rig.camera->Register16(0x0304), 2);
    EXPECT_EQ(rig.device.GetClockHalving(&on), 1);
    EXPECT_EQ(on, 0);
    // A failed read: the output still says whether the value was 2 (it was not: it was 0).
    rig.camera->FailReads(1);
    on = -1;
    EXPECT_EQ(rig.device.GetClockHalving(&on), 0);
    EXPECT_EQ(on, 1);
    // A mirror set on a failed read of 0x3040 modifies 0.
    rig.camera->SetRegister16(0x3040, 0x0041);
    rig.camera->FailReads(1);
    rig.camera->StartLog();
    EXPECT_EQ(rig.device.SetMirrorV(1), 0);
    EXPECT_EQ(RegisterWrites(rig.camera->TakeLog()), (std::vector<Reg>{{0x3040, 0x8000}}));
    rig.camera->FailWrites(-1);
    EXPECT_EQ(rig.device.SetClockHalving(1), 0);
    EXPECT_EQ(rig.device.SetMirrorH(0), K37VQDevice::kTransferFailed);
}

// A model device whose pause handshake answers as a test says, counting the brackets.
class HandshakeDevice : public K37VQDevice {
public:
    int pauseResult = 1;
    int pauses = 0;
    std::vector<int> resumes;
    int PauseStream() override {
        ++pauses;
        return pauseResult;
    }
    int ResumeStream(int paused) override {
        resumes.push_back(paused);
        return paused;
    }
};

TEST_F(SensorModel, EverySensorOperationIsBracketedAndGivesItsBusyResult) {
    auto camera = DiskLayer::PlaceTestCameras(1)[0];
    HandshakeDevice device;
    camera->SetRegister16(0x3040, 0xC000);  // the sensor mirrors both ways
    int lines = 77, on = 77;
    uint16_t gain = 77;
    struct Operation {
        const char* name;
        std::function<int()> call;
        int busy;
    };
    const Operation operations[] = {
        {"SetCaptureWindow", [&] { return device.SetCaptureWindow(0, 0, 640, 480, 0); }, 20},
        {"SetMirrorH", [&] { return device.SetMirrorH(1); }, 20},
        {"SetMirrorV", [&] { return device.SetMirrorV(1); }, 20},
        {"GetMirrorH", [&] { return device.GetMirrorH(); }, 0},  // the cached value, still 0
        {"GetMirrorV", [&] { return device.GetMirrorV(); }, 0},
        {"SetClockHalving", [&] { return device.SetClockHalving(1); }, 20},
        {"GetClockHalving", [&] { return device.GetClockHalving(&on); }, 0},
        {"SetColorGain", [&] { return device.SetColorGain(K37VQDevice::REG_GAIN_RED, 5); }, 0},
        {"GetColorGain", [&] { return device.GetColorGain(K37VQDevice::REG_GAIN_RED, &gain); }, 0},
        {"SetGlobalGain", [&] { return device.SetGlobalGain(5); }, 0},
        {"GetGlobalGain", [&] { return device.GetGlobalGain(); }, 0},
        {"SetExposureLines", [&] { return device.SetExposureLines(5); }, 0},
        {"GetExposureLines", [&] { return device.GetExposureLines(&lines); }, 0},
    };
    // Refused: no register traffic, the busy result, and the refusal handed back to resume.
    device.pauseResult = -1;
    for (const Operation& op : operations) {
        device.pauses = 0;
        device.resumes.clear();
        camera->StartLog();
        EXPECT_EQ(op.call(), op.busy) << op.name;
        EXPECT_TRUE(camera->TakeLog().empty()) << op.name;
        EXPECT_EQ(device.pauses, 1) << op.name;
        EXPECT_EQ(device.resumes, std::vector<int>{-1}) << op.name;
    }
    EXPECT_EQ(lines, 77);
    EXPECT_EQ(on, 77);
    EXPECT_EQ(gain, 77);
    int x, y, w, h, m;
    device.GetCaptureWindow(&x, &y, &w, &h, &m);
    EXPECT_EQ(w, 3488);
    // Paused: the traffic runs, then exactly one resume with the pause result.
    device.pauseResult = 1;
    for (const Operation& op : operations) {
        device.pauses = 0;
        device.resumes.clear();
        camera->StartLog();
        op.call();
        EXPECT_FALSE(camera->TakeLog().empty()) << op.name;
        EXPECT_EQ(device.pauses, 1) << op.name;
        EXPECT_EQ(device.resumes, std::vector<int>{1}) << op.name;
    }
    EXPECT_EQ(device.GetMirrorV(), 1);
    EXPECT_EQ(device.GetMirrorH(), 1);
    // An unknown gain register is refused before any pause.
    device.pauses = 0;
    EXPECT_EQ(device.SetColorGain(0x305E, 1), 0);
    EXPECT_EQ(device.GetColorGain(0x3000, &gain), 0);
    EXPECT_EQ(device.pauses, 0);
}

TEST_F(SensorModel, BusyWhenTheStreamDoesNotAcknowledge) {
    Rig rig;
    rig.camera->SetFastFrames(true);
    rig.device.SetWaitTime(3000);
    EXPECT_EQ(rig.device.SetMirrorV(1), 0);
    EXPECT_EQ(rig.device.GetMirrorV(), 1);
    EXPECT_EQ(rig.device.SetCaptureWindow(0, 0, 64, 48, 0), 0);
    ASSERT_EQ(rig.device.StartStream(), 0);
    // The camera stops answering: the acquisition's transfer in progress outlasts the
    // handshake's second.
    rig.camera->HoldTransfers(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    rig.camera->SetRegister16(0x3040, 0);  // the sensor no longer mirrors
    rig.camera->StartLog();
    EXPECT_EQ(rig.device.SetCaptureWindow(0, 0, 640, 480, 0), K37VQDevice::kBusy);
    EXPECT_EQ(rig.device.SetGlobalGain(10), 0);
    EXPECT_EQ(rig.device.GetMirrorV(), 1);  // the cached state
    for (const EmulatorTransfer& t : rig.camera->TakeLog()) EXPECT_FALSE(t.write);
    rig.camera->HoldTransfers(false);
    rig.device.StopStream();
    EXPECT_EQ(rig.device.GetMirrorV(), 0);
}

// --- the camera object -----------------------------------------------------------------------

struct ObjectRig {
    std::shared_ptr<CameraEmulator> camera = DiskLayer::PlaceTestCameras(1)[0];
    CameraObject object;
    ObjectRig() {
        object.Initialize(nullptr);
        while (object.PopError() != 0) {
        }
    }
};

TEST_F(SensorModel, SaveImageWritesTheOutputBufferOfTheColourMode) {
    ObjectRig rig;
    CameraObject& c = rig.object;
    const std::string path = ::testing::TempDir() + "lumora_save_test.bmp";
    std::remove(path.c_str());
    ASSERT_EQ(c.SetColorMode(24), 1);
    EXPECT_EQ(c.SaveImage(path.c_str(), 0), 0);  // no frame yet
    EXPECT_EQ(c.PopError(), CAMERR_NO_DEVICE);
    ASSERT_EQ(c.Buffers().buffer24->Create(8, 4, 24), 1);
    EXPECT_EQ(c.SaveImage(path.c_str(), 0), 1);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 0, SEEK_END);
    EXPECT_EQ(std::ftell(f), 54 + 4 * 24);
    std::fclose(f);
    EXPECT_EQ(c.SaveImage(path.c_str(), 7), 0);  // unknown format
    EXPECT_EQ(c.PopError(), CAMERR_ARGUMENT);
    EXPECT_EQ(c.SaveImage((path + ".missing/x.bmp").c_str(), 0), 0);
    EXPECT_EQ(c.PopError(), CAMERR_STORAGE);
    ASSERT_EQ(c.SetColorMode(48), 1);            // buffer48 holds no frame
    EXPECT_EQ(c.SaveImage(path.c_str(), 0), 0);
    EXPECT_EQ(c.PopError(), CAMERR_NO_DEVICE);
    std::remove(path.c_str());
}

TEST_F(SensorModel, MirroringMovesTheBayerPhaseOnce) {
    ObjectRig rig;
    CameraObject& c = rig.object;
    lumora::CameraObjectProbe::Filters(c).bayerPhase = 0;
    EXPECT_EQ(c.SetMirrorV(1), 1);
    EXPECT_EQ(c.SetMirrorV(5), 1);
    EXPECT_EQ(lumora::CameraObjectProbe::Filters(c).bayerPhase, 1);
    EXPECT_EQ(c.GetMirrorV(), 1);
    EXPECT_EQ(c.SetMirrorH(1), 1);
    EXPECT_EQ(lumora::CameraObjectProbe::Filters(c).bayerPhase, 3);
    EXPECT_EQ(rig.camera->Register16(0x3040) & 0xC000, 0xC000);
    EXPECT_EQ(c.SetMirrorV(0), 1);
    EXPECT_EQ(c.SetMirrorH(0), 1);
    EXPECT_EQ(lumora::CameraObjectProbe::Filters(c).bayerPhase, 0);
    EXPECT_EQ(c.GetMirrorH(), 0);
}

TEST_F(SensorModel, MirroringOnABusyDeviceFailsButKeepsThePhase) {
    ObjectRig rig;
    CameraObject& c = rig.object;
    auto busy = std::make_unique<HandshakeDevice>();
    busy->pauseResult = -1;
    lumora::CameraObjectProbe::DeviceSlot(c) = std::move(busy);
    lumora::CameraObjectProbe::Filters(c).bayerPhase = 2;
    rig.camera->StartLog();
    EXPECT_EQ(c.SetMirrorV(1), 0);
    EXPECT_EQ(lumora::CameraObjectProbe::Filters(c).bayerPhase, 3);
    EXPECT_EQ(lumora::CameraObjectProbe::Gains(c).mirrorV, 1);
    EXPECT_EQ(c.PopError(), CAMERR_REGISTER);
    EXPECT_EQ(c.SetMirrorV(1), 0);  // already stored, but the camera still does not have it
    EXPECT_EQ(c.PopError(), CAMERR_REGISTER);
    EXPECT_EQ(lumora::CameraObjectProbe::Filters(c).bayerPhase, 3);
    EXPECT_EQ(c.SetMirrorH(1), 0);
    EXPECT_EQ(lumora::CameraObjectProbe::Filters(c).bayerPhase, 1);
    EXPECT_TRUE(rig.camera->TakeLog().empty());
}

TEST_F(SensorModel, CaptureWindowReachesTheDeviceOnlyWhenValid) {
    ObjectRig rig;
    CameraObject& c = rig.object;
    rig.camera->StartLog();
    EXPECT_EQ(c.SetCaptureWindowEx(3488, 100, 3400, 2616, 0, 2616), 0);
    EXPECT_EQ(c.PopError(), CAMERR_CAPTURE_WINDOW);
    EXPECT_TRUE(rig.camera->TakeLog().empty());
    int ht, hs, he, vt, vs, ve;
    c.GetCaptureWindowEx(&ht, &hs, &he, &vt, &vs, &ve);
    EXPECT_EQ(hs, 0);  // the window in force stays
    EXPECT_EQ(he, 3488);
    EXPECT_EQ(c.SetCaptureWindowEx(3488, 100, 640, 2616, 20, 480), 1);
    EXPECT_EQ(rig.camera->Register16(0x034C), 640);
    EXPECT_EQ(rig.camera->Register16(0x0344), 108);
    EXPECT_EQ(rig.camera->Register16(0x0346), 28);
}

TEST_F(SensorModel, GainAndExposureFilterIndexes) {
    ObjectRig rig;
    CameraObject& c = rig.object;
    EXPECT_EQ(c.SetFilterValue(13, 64), 1);
    const GainSettings& g = lumora::CameraObjectProbe::Gains(c);
    EXPECT_EQ(g.globalGain, 64);
    EXPECT_EQ(g.gainRed, 64);
    EXPECT_EQ(g.gainGreen1, 64);
    EXPECT_EQ(g.gainGreen2, 64);
    EXPECT_EQ(g.gainBlue, 64);
    EXPECT_EQ(rig.camera->Register16(0x305E), 0x1040);
    EXPECT_EQ(c.SetFilterValue(14, 1), 1);
    EXPECT_EQ(c.SetFilterValue(15, 2), 1);
    EXPECT_EQ(c.SetFilterValue(16, 3), 1);
    EXPECT_EQ(c.SetFilterValue(17, 4), 1);
    EXPECT_EQ(c.SetFilterValue(18, 0), 1);
    EXPECT_EQ(rig.camera->Register16(0x305A), 0x1001);
    EXPECT_EQ(rig.camera->Register16(0x3056), 0x1002);
    EXPECT_EQ(rig.camera->Register16(0x305C), 0x1003);
    EXPECT_EQ(rig.camera->Register16(0x3058), 0x1004);
    EXPECT_EQ(rig.camera->Register16(0x0202), 1);
    // The getters ask the sensor.
    rig.camera->SetRegister16(0x305E, 0x1005);
    rig.camera->SetRegister16(0x0202, 777);
    int ok = 0;
    EXPECT_EQ(c.GetFilterValue(13, &ok), 5);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(c.GetFilterValue(14, &ok), 1);
    EXPECT_EQ(c.GetFilterValue(17, &ok), 4);
    EXPECT_EQ(c.GetFilterValue(18, &ok), 777);
    EXPECT_EQ(lumora::CameraObjectProbe::Gains(c).exposure, 0);

    // Out of range: refused with the argument error, nothing stored, nothing written.
    while (c.PopError() != 0) {
    }
    rig.camera->StartLog();
    EXPECT_EQ(c.SetFilterValue(13, 128), 0);
    EXPECT_EQ(c.SetFilterValue(14, -1), 0);
    EXPECT_EQ(c.SetFilterValue(18, 8193), 0);
    EXPECT_EQ(rig.camera->TakeLog().size(), 0u);
    EXPECT_EQ(c.PopError(), CAMERR_ARGUMENT);
    EXPECT_EQ(lumora::CameraObjectProbe::Gains(c).globalGain, 64);
    EXPECT_EQ(lumora::CameraObjectProbe::Gains(c).gainRed, 1);
    EXPECT_EQ(c.SetFilterValue(18, 8192), 1);
    EXPECT_EQ(rig.camera->Register16(0x0202), 8192);
    EXPECT_EQ(c.SetFilterValue(13, 127), 1);
    EXPECT_EQ(rig.camera->Register16(0x305E), 0x107F);
    EXPECT_EQ(c.GetFilterValue(28, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(c.PopError(), CAMERR_ARGUMENT);
}

TEST_F(SensorModel, ClockTableAndRealExposureTime) {
    ObjectRig rig;
    CameraObject& c = rig.object;
    int ok = 0;
    EXPECT_EQ(c.GetRealExposureTime(&ok), 0);
    EXPECT_EQ(ok, 1);

    const struct {
        int setting;
        uint16_t divider;
        double period;
    } table[] = {{0, 7, 0.018248175436537464}, {1, 6, 0.015625}, {2, 5, 0.013020832815931924},
                 {3, 4, 0.010416666666666666}, {4, 3, 0.0078125}, {5, 2, 0.005208333333333333},
                 {7, 7, 0.018248175436537464}, {-1, 7, 0.018248175436537464}};
    for (const auto& row : table) {
        rig.camera->SetRegister16(0x3016, 0x0010);
        rig.camera->StartLog();
        c.ProgramClock(row.setting);
        EXPECT_EQ(RegisterWrites(rig.camera->TakeLog()),
                  (std::vector<Reg>{{0x0300, 4}, {0x0302, 1}, {0x0304, row.divider}, {0x3016, 0x0111}}));
        EXPECT_EQ(lumora::CameraObjectProbe::Timing(c).clockPeriodUs, row.period) << row.setting;
    }
    lumora::CameraObjectProbe::Timing(c).lineLengthClocks = 3440;
    lumora::CameraObjectProbe::Timing(c).lineOffsetClocks = 625;
    lumora::CameraObjectProbe::Gains(c).exposure = 480;
    c.ProgramClock(3);
    EXPECT_EQ(c.GetRealExposureTime(&ok), 17206);  // 1651825 clocks at 96 MHz
    EXPECT_EQ(lumora::CameraObjectProbe::LastExposureTimeUs(c), 17206);
    // The periods of 54.8 and 76.8 MHz are those of their single-precision values: these
    // exposures fall on the other side of a whole microsecond with the exact decimal ones.
    lumora::CameraObjectProbe::Timing(c).lineLengthClocks = 7096;
    lumora::CameraObjectProbe::Timing(c).lineOffsetClocks = 2761;
    lumora::CameraObjectProbe::Gains(c).exposure = 2136;
    c.ProgramClock(0);
    EXPECT_EQ(c.GetRealExposureTime(&ok), 276639);
    lumora::CameraObjectProbe::Gains(c).exposure = 3585;
    c.ProgramClock(2);
    EXPECT_EQ(c.GetRealExposureTime(&ok), 331274);
    // The longest exposure at the slowest setting does not overflow.
    lumora::CameraObjectProbe::Timing(c).lineLengthClocks = 65535;
    lumora::CameraObjectProbe::Timing(c).lineOffsetClocks = 65535;
    lumora::CameraObjectProbe::Gains(c).exposure = 8192;
    lumora::CameraObjectProbe::Timing(c).clockPeriodUs = 1.0;
    EXPECT_EQ(c.GetRealExposureTime(&ok), 536928255);
}

TEST_F(SensorModel, MirrorsThroughTheExports) {
    auto camera = DiskLayer::PlaceTestCameras(1)[0];
    LumoraHandle h = Lumora_Initialize(nullptr);
    EXPECT_EQ(Lumora_SetMirrorV(h, 1), 1);
    EXPECT_EQ(Lumora_GetMirrorV(h), 1);
    EXPECT_EQ(Lumora_GetMirrorH(h), 0);
    camera->SetRegister16(0x3040, 0x4000);
    EXPECT_EQ(Lumora_GetMirrorV(h), 0);
    EXPECT_EQ(Lumora_GetMirrorH(h), 1);
    Lumora_Release(h);
}

}  // namespace
}  // namespace lumora::test
