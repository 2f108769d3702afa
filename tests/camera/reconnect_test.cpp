// A camera that comes back: every acquisition style through twenty unplug / re-plug cycles
// (frames again within a second of the camera answering, the sensor holding the handle's
// settings again, numbers that show the gap, a recording going on in numbered files), a foreign
// disk in the camera's place never written to, waits that end at once, settings changed while
// the camera comes and goes. (Also run under ASan and TSan; under Xvfb, for the window preview:
// the other tests take the windowless preview, the same preview thread without a window.)
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../device/emulated_disks.h"
#include "acquisition_test_support.h"
#include "api/handle_list.h"
#include "camera/camera_object.h"
#include "camera/preview_window.h"
#include "camera/reconnection.h"

namespace lumora::test {
namespace {

constexpr int kW = 160, kH = 120, kCycles = 20;
// Window, readout and mirrors, clock, exposure, gains.
constexpr uint16_t kSettingRegisters[] = {0x0344, 0x0346, 0x0348, 0x034A, 0x034C, 0x034E, 0x3040,
                                          0x0304, 0x0202, 0x3056, 0x3058, 0x305A, 0x305C, 0x305E};
enum Style { kWindowPreview, kPreview, kCallBack, kRecording, kCapture };
const char* kNames[] = {"window preview", "preview", "callback preview", "recording", "capture"};

class Reconnect : public EmulatedDisks {
protected:
    // What the handle's windows are told: the error window's codes and returns, and (number,
    // skippedBefore) of each callback frame as it is announced.
    struct Log {
        std::mutex mutex;
        LumoraHandle* h;
        std::vector<intptr_t> errors, backs;
        std::vector<std::pair<uint32_t, uint32_t>> numbers;
        static void Error(void* context, unsigned msg, uintptr_t, intptr_t lParam) {
            auto* log = static_cast<Log*>(context);
            std::lock_guard<std::mutex> lock(log->mutex);
            if (msg == CAMMSG_ERROR) log->errors.push_back(lParam);
            if (msg == LUMORAEX_MSG_CAMERA_BACK) log->backs.push_back(lParam);
        }
        static void Frame(void* context, unsigned msg, uintptr_t wParam, intptr_t) {
            auto* log = static_cast<Log*>(context);
            LumoraExFrameDetails d{};
            d.size = sizeof d;
            if (msg != CAMMSG_FRAME || wParam == 0 || !LumoraEx_GetFrameDetails(*log->h, &d)) return;
            std::lock_guard<std::mutex> lock(log->mutex);
            log->numbers.emplace_back(d.number, d.skippedBefore);
        }
        size_t Stops() {
            std::lock_guard<std::mutex> lock(mutex);
            return static_cast<size_t>(std::count(errors.begin(), errors.end(), CAMERR_STREAM_STOPPED));
        }
        std::vector<intptr_t> Backs() {
            std::lock_guard<std::mutex> lock(mutex);
            return backs;
        }
    };

    void SetUp() override {
        emulator = DiskLayer::PlaceTestCameras(1)[0];
        emulator->SetFramePeriodUs(5000);
        log = std::make_unique<Log>();
        log->h = &h;
        errorNotifier.context = frameNotifier.context = log.get();
        cycle = 1;
        h = Lumora_Initialize(&errorNotifier);
        camera = ProcessHandleList().Lookup(h);
        ASSERT_NE(camera, nullptr);
        camera->Device()->SetWaitTime(300);
        // Settings other than the camera's power-on values: a camera back without them is seen.
        const std::pair<int, int> values[] = {{13, 40}, {14, 51}, {17, 22}, {18, 300}};
        for (auto [index, value] : values) {
            ASSERT_EQ(Lumora_SetFilterValue(h, index, value), 1);
        }
        ASSERT_TRUE(Lumora_SetCaptureWindowEx(h, 3488, 0, kW, 2616, 0, kH) && Lumora_SetColorMode(h, 8) &&
                    Lumora_SetMirrorH(h, 1) && Lumora_SetHalfClock(h, 2) && LumoraEx_SetReconnect(h, 1));
    }
    void TearDown() override {
        if (h) {
            EXPECT_EQ(Lumora_Release(h), 1);
        }
        h = 0;
        EmulatedDisks::TearDown();
    }
    int Start(Style style, const std::string& path = "") {
        switch (style) {
            case kWindowPreview: return Lumora_Preview(h);
            case kPreview: return Lumora_StartPreview(h);
            case kCallBack: return Lumora_CallBackPreview(h, &frameNotifier, frame.data(), kW * kH, 1);
            case kRecording: return Lumora_Record(h, path.c_str(), 600000, 0);
            case kCapture: return Lumora_Capture(h);
        }
        return 0;
    }
    // A frame delivered after the call (a recording's also written), within timeoutMs.
    bool NextFrame(Style style, int timeoutMs = 1000) {
        if (style == kCapture) return WaitFor([&] { return Lumora_SnapShot(h, frame.data(), kW * kH, 1) == 1; }, timeoutMs);
        const uint32_t before = camera->Acquirer().Previewer().FramesProcessed();
        return WaitFor([&] { return camera->Acquirer().Previewer().FramesProcessed() > before; }, timeoutMs) &&
               (style != kRecording || WaitFor([&] { return camera->Acquirer().Recorder().FramesWritten() > 0; }));
    }
    std::vector<uint16_t> SensorSettings() {
        std::vector<uint16_t> values;
        for (uint16_t r : kSettingRegisters) values.push_back(emulator->Register16(r));
        return values;
    }
    // Unplugs the camera and waits for the handle to say so.
    void Unplug(Style style) {
        emulator->UnplugAfter(0);
        if (style == kCapture) {
            EXPECT_EQ(Lumora_SnapShot(h, frame.data(), kW * kH, 1), 0);
        }
        ASSERT_TRUE(WaitFor([&] { return log->Stops() == static_cast<size_t>(cycle); }));
    }

    std::shared_ptr<CameraEmulator> emulator;
    std::unique_ptr<Log> log;
    LumoraNotifier errorNotifier{LUMORA_NOTIFIER_TAG, Log::Error, nullptr};
    LumoraNotifier frameNotifier{LUMORA_NOTIFIER_TAG, Log::Frame, nullptr};
    LumoraHandle h = 0;
    CameraObject* camera = nullptr;
    int cycle = 1;
    std::vector<uint8_t> frame = std::vector<uint8_t>(kW * kH);
};

TEST_F(Reconnect, EveryStyleComesBackTwentyTimesWithItsSettings) {
    const std::string path = TempPath("reconnect_cycles.avi");
    for (Style style : {kWindowPreview, kPreview, kCallBack, kRecording, kCapture}) {
        if (style == kWindowPreview && !PreviewWindow::Available()) continue;
        SCOPED_TRACE(kNames[style]);
        TearDown();
        SetUp();
        ASSERT_EQ(Start(style, path), 1) << "code " << Lumora_GetLastError(h);
        ASSERT_TRUE(NextFrame(style, 2000));
        const std::vector<uint16_t> settings = SensorSettings();
        double slowestMs = 0;
        for (cycle = 1; cycle <= kCycles; ++cycle) {
            SCOPED_TRACE("cycle " + std::to_string(cycle));
            Unplug(style);
            emulator->Replug();
            if (style == kCapture) {
                EXPECT_NE(SensorSettings(), settings);  // lost with the power
            }
            const auto answered = Clock::now();
            ASSERT_TRUE(NextFrame(style));
            slowestMs = std::max(slowestMs, std::chrono::duration<double, std::milli>(Clock::now() - answered).count());
            EXPECT_EQ(SensorSettings(), settings);
            ASSERT_TRUE(WaitFor([&] { return log->Backs().size() == static_cast<size_t>(cycle); }));
            EXPECT_EQ(log->Backs().back(), cycle);
        }
        std::printf("[ reconnect ] %s: %d cycles, slowest return to frames %.1f ms\n", kNames[style], kCycles, slowestMs);
        LumoraExStreamStatistics s{};
        s.size = sizeof s;
        ASSERT_EQ(LumoraEx_GetStreamStatistics(h, &s), 1);
        EXPECT_EQ(s.reconnects, static_cast<unsigned>(kCycles));
        EXPECT_LE(s.delivered + s.skipped, s.completed + 1);  // the numbers left out are neither
        // Each number is the one before, the numbers skipped and one; each return left a gap.
        int gaps = 0;
        for (size_t i = 1; i < log->numbers.size(); ++i) {
            EXPECT_EQ(log->numbers[i].first, log->numbers[i - 1].first + log->numbers[i].second + 1) << i;
            gaps += log->numbers[i].second > 0;
        }
        EXPECT_GE(gaps, style == kCallBack ? kCycles : 0);
        EXPECT_EQ(Lumora_Close(h), 1);
        EXPECT_EQ(emulator->OpenHandles(), 1);
        EXPECT_EQ(emulator->Violations().Total(), 0u);
        for (int n = 0; style == kRecording && n <= kCycles; ++n) {  // every file finished, readable
            const std::string file = n == 0 ? path : Reconnection::ContinuationName(path, n);
            long count = 0;
            double rate = 0;
            EXPECT_TRUE(Probe(file, &count, &rate) && count >= 1) << file;
            std::remove(file.c_str());
            std::remove((file + ".frames.csv").c_str());
        }
    }
}

TEST_F(Reconnect, NeverWritesToADiskThatIsNotTheCamera) {
    errorNotifier.context = frameNotifier.context = log.get();
    ASSERT_EQ(Start(kPreview), 1);
    ASSERT_TRUE(NextFrame(kPreview, 2000));
    Unplug(kPreview);
    // In the camera's place: another model of the maker, another kind of disk, another text.
    const std::pair<const char*, uint8_t> strangers[] = {
        {"VORNEX USB 3.0 Camera V1.0", 0x71}, {"GENERIC FLASH DISK", 0x70}, {"VORNEX USB 3.0 Camera V2.0", 0x70}};
    for (auto [text, model] : strangers) {
        SCOPED_TRACE(text);
        auto stranger = std::make_shared<CameraEmulator>(7);
        stranger->SetIdentification(text, model, 0x02);
        stranger->StartLog();
        DiskLayer::SetTestDrives({{1, stranger}}, {CameraEmulator::kDiskListEntry});
        std::vector<EmulatorTransfer> seen;
        ASSERT_TRUE(WaitFor([&] {  // looked at again and again
            for (const EmulatorTransfer& t : stranger->TakeLog()) seen.push_back(t);
            return seen.size() >= 5;
        }));
        for (const EmulatorTransfer& t : seen) EXPECT_FALSE(t.write) << t.offset;
        EXPECT_TRUE(log->Backs().empty());
    }
    DiskLayer::SetTestDrives({{1, emulator}}, {CameraEmulator::kDiskListEntry});
    emulator->Replug();
    EXPECT_TRUE(NextFrame(kPreview));
    EXPECT_EQ(log->Backs(), std::vector<intptr_t>{1});
}

// Stopping, closing, releasing or turning reconnection off while the handle waits ends the
// wait at once; calls with wrong arguments change nothing; an older statistics record works.
TEST_F(Reconnect, AWaitEndsAtOnceAndTheCallsCheckTheirArguments) {
    const std::function<void()> ends[] = {
        [&] { EXPECT_EQ(Lumora_StopPreview(h), 1); }, [&] { EXPECT_EQ(Lumora_Close(h), 1); },
        [&] { TearDown(); }, [&] { EXPECT_EQ(LumoraEx_SetReconnect(h, 0), 1); }};
    for (const auto& end : ends) {
        if (!h) SetUp();
        ASSERT_EQ(Start(kPreview), 1);
        ASSERT_TRUE(NextFrame(kPreview, 2000));
        Unplug(kPreview);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // well inside the wait
        const auto start = Clock::now();
        end();
        if (h) {
            EXPECT_TRUE(WaitFor([&] { return !camera->Acquirer().Previewer().Running(); }, 50));
        }
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
        emulator->Replug();
        ++cycle;
    }
    TearDown();
    SetUp();
    EXPECT_EQ(LumoraEx_GetReconnect(h), 1);
    EXPECT_EQ(LumoraEx_SetReconnect(h, 2), 0);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    EXPECT_EQ(LumoraEx_GetReconnect(h), 1);
    EXPECT_EQ(LumoraEx_SetReconnect(0, 1) + LumoraEx_GetReconnect(0), 0);
    struct {
        LumoraExStreamStatistics s;
        unsigned int guard;
    } record;
    const int oldSize = static_cast<int>(offsetof(LumoraExStreamStatistics, reconnects));
    const std::pair<int, int> sizes[] = {{oldSize, oldSize}, {oldSize + 2, oldSize}, {oldSize + 4, oldSize + 4}};
    for (auto [size, filled] : sizes) {
        std::memset(&record, 0xAB, sizeof record);
        record.s.size = size;
        ASSERT_EQ(LumoraEx_GetStreamStatistics(h, &record.s), 1);
        EXPECT_EQ(record.s.size, filled);
        EXPECT_EQ(record.s.reconnects, filled == oldSize ? 0xABABABABu : 0u);
        EXPECT_EQ(record.guard, 0xABABABABu);
    }
    record.s.size = oldSize - 1;
    EXPECT_EQ(LumoraEx_GetStreamStatistics(h, &record.s), 0);
    const std::pair<const char*, const char*> names[] = {
        {"run.avi", "run_1.avi"}, {"/a.b/run", "/a.b/run_1"}, {"C:\\v\\x.y.avi", "C:\\v\\x.y_1.avi"}, {"d/.avi", "d/.avi_1"}};
    for (auto [name, first] : names) {
        EXPECT_EQ(Reconnection::ContinuationName(name, 1), first);
    }
}

// Settings changed through the exports while the camera leaves and comes back: the sensor ends
// up with the handle's last values, and the protocol is never broken. (Under TSan.)
TEST_F(Reconnect, SettingsChangedWhileTheCameraComesAndGoes) {
    errorNotifier.context = frameNotifier.context = log.get();
    ASSERT_EQ(Start(kPreview), 1);
    ASSERT_TRUE(NextFrame(kPreview, 2000));
    std::atomic<bool> done{false};
    std::thread cable([&] {
        for (int i = 1; i <= 8; ++i) {
            emulator->UnplugAfter(0);
            WaitFor([&] { return log->Stops() == static_cast<size_t>(i); });
            emulator->Replug();
            WaitFor([&] { return log->Backs().size() == static_cast<size_t>(i); });
        }
        done = true;
    });
    for (int value = 0; !done; value = (value + 7) % 120) {
        Lumora_SetFilterValue(h, 14, value);
        Lumora_SetFilterValue(h, 18, 100 + value);
        Lumora_SetMirrorV(h, value & 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    cable.join();
    EXPECT_EQ(log->Backs().size(), 8u);
    ASSERT_TRUE(NextFrame(kPreview));
    const GainSettings g = camera->Gains();
    EXPECT_EQ(emulator->Register16(0x305A) & 0x7F, g.gainRed);
    EXPECT_EQ(emulator->Register16(0x0202), g.exposure);
    EXPECT_EQ(Lumora_GetMirrorV(h), g.mirrorV);
    EXPECT_EQ(emulator->Violations().Total(), 0u);
}

}  // namespace
}  // namespace lumora::test
