// A camera that comes back: every acquisition style through twenty unplug / re-plug cycles
// (frames again within a second of the camera answering, the sensor holding the handle's
// settings again, the frame numbers showing the gap, a recording going on in numbered files),
// a foreign disk in the camera's place never written to, waits that end at once, and the
// default of no reconnection. (Also run under ASan and TSan.)
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <cstring>
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

constexpr int kW = 160, kH = 120;
constexpr uint32_t kPeriodUs = 5000;
constexpr int kCycles = 20;
// The sensor registers that hold the handle's settings: window, readout and mirrors, clock,
// exposure, gains.
constexpr uint16_t kSettingRegisters[] = {0x0344, 0x0346, 0x0348, 0x034A, 0x034C, 0x034E, 0x3040, 0x0304,
                                          0x0202, 0x3056, 0x3058, 0x305A, 0x305C, 0x305E};

// The error window's messages: codes of CAMMSG_ERROR, and the counts LUMORAEX_MSG_CAMERA_BACK
// carried.
struct ErrorLog {
    std::mutex mutex;
    std::vector<intptr_t> errors, backs;
    static void Notify(void* context, unsigned msg, uintptr_t, intptr_t lParam) {
        auto* log = static_cast<ErrorLog*>(context);
        std::lock_guard<std::mutex> lock(log->mutex);
        if (msg == CAMMSG_ERROR) log->errors.push_back(lParam);
        if (msg == LUMORAEX_MSG_CAMERA_BACK) log->backs.push_back(lParam);
    }
    size_t Count(intptr_t code) {
        std::lock_guard<std::mutex> lock(mutex);
        size_t n = 0;
        for (intptr_t e : errors) n += e == code;
        return n;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex);
        errors.clear();
        backs.clear();
    }
    std::vector<intptr_t> Backs() {
        std::lock_guard<std::mutex> lock(mutex);
        return backs;
    }
};

enum class Style { kWindowPreview, kPreview, kCallBack, kRecording, kCapture };
const char* Name(Style s) {
    static const char* names[] = {"window preview", "preview", "callback preview", "recording", "capture"};
    return names[static_cast<int>(s)];
}

class Reconnect : public EmulatedDisks {
protected:
    void SetUp() override {
        emulator = DiskLayer::PlaceTestCameras(1)[0];
        emulator->SetFramePeriodUs(kPeriodUs);
        errors.Clear();
        h = Lumora_Initialize(&errorNotifier);
        camera = ProcessHandleList().Lookup(h);
        ASSERT_NE(camera, nullptr);
        ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, kW, 2616, 0, kH), 1);
        ASSERT_EQ(Lumora_SetColorMode(h, 8), 1);
        camera->device->SetWaitTime(300);
        // Settings other than the camera's power-on values, so that a camera that came back
        // without them is seen.
        ASSERT_EQ(Lumora_SetFilterValue(h, 13, 40), 1);
        ASSERT_EQ(Lumora_SetFilterValue(h, 14, 51), 1);
        ASSERT_EQ(Lumora_SetFilterValue(h, 17, 22), 1);
        ASSERT_EQ(Lumora_SetFilterValue(h, 18, 300), 1);
        ASSERT_EQ(Lumora_SetMirrorH(h, 1), 1);
        ASSERT_EQ(Lumora_SetHalfClock(h, 2), 1);
        ASSERT_EQ(LumoraEx_SetReconnect(h, 1), 1);
    }
    void TearDown() override {
        if (h) {
            EXPECT_EQ(Lumora_Release(h), 1);
        }
        EmulatedDisks::TearDown();
    }
    int Start(Style style, const std::string& path) {
        switch (style) {
            case Style::kWindowPreview: return Lumora_Preview(h);
            case Style::kPreview: return Lumora_StartPreview(h);
            case Style::kCallBack: return Lumora_CallBackPreview(h, &frameNotifier, frame.data(), kW * kH, 1);
            case Style::kRecording: return Lumora_Record(h, path.c_str(), 600000, 0);
            case Style::kCapture: return Lumora_Capture(h);
        }
        return 0;
    }
    // A frame delivered after the call: processed by the preview thread, or a snapshot taken.
    bool NextFrame(Style style, int timeoutMs) {
        if (style == Style::kCapture) {
            return WaitFor([&] { return Lumora_SnapShot(h, frame.data(), kW * kH, 1) == 1; }, timeoutMs);
        }
        const uint32_t before = camera->acquisition.Previewer().FramesProcessed();
        return WaitFor([&] { return camera->acquisition.Previewer().FramesProcessed() > before; }, timeoutMs);
    }
    // A recording's current file holds a frame.
    bool Recorded() {
        return WaitFor([&] { return camera->acquisition.Recorder().FramesWritten() >= 1; });
    }
    std::vector<uint16_t> SensorSettings() {
        std::vector<uint16_t> values;
        for (uint16_t r : kSettingRegisters) values.push_back(emulator->Register16(r));
        return values;
    }
    LumoraExFrameDetails Details() {
        LumoraExFrameDetails d{};
        d.size = sizeof d;
        EXPECT_EQ(LumoraEx_GetFrameDetails(h, &d), 1);
        return d;
    }

    std::shared_ptr<CameraEmulator> emulator;
    ErrorLog errors;
    LumoraNotifier errorNotifier{LUMORA_NOTIFIER_TAG, ErrorLog::Notify, &errors};
    // The callback's frames: (number, skippedBefore) of each, read as it is announced.
    struct NumberLog {
        LumoraHandle* h;
        std::mutex mutex;
        std::vector<std::pair<uint32_t, uint32_t>> seen;
        static void Notify(void* context, unsigned msg, uintptr_t wParam, intptr_t) {
            auto* log = static_cast<NumberLog*>(context);
            LumoraExFrameDetails d{};
            d.size = sizeof d;
            if (msg != CAMMSG_FRAME || wParam == 0 || !LumoraEx_GetFrameDetails(*log->h, &d)) return;
            std::lock_guard<std::mutex> lock(log->mutex);
            log->seen.emplace_back(d.number, d.skippedBefore);
        }
        std::vector<std::pair<uint32_t, uint32_t>> Take() {
            std::lock_guard<std::mutex> lock(mutex);
            return seen;
        }
    } numbers{&h, {}, {}};
    LumoraNotifier frameNotifier{LUMORA_NOTIFIER_TAG, NumberLog::Notify, &numbers};
    LumoraHandle h = 0;
    CameraObject* camera = nullptr;
    std::vector<uint8_t> frame = std::vector<uint8_t>(kW * kH);
};

TEST_F(Reconnect, EveryStyleComesBackTwentyTimesWithItsSettings) {
    const std::string path = TempPath("reconnect.avi");
    for (Style style : {Style::kWindowPreview, Style::kPreview, Style::kCallBack, Style::kRecording, Style::kCapture}) {
        if (style == Style::kWindowPreview && !PreviewWindow::Available()) continue;
        SCOPED_TRACE(Name(style));
        TearDown();
        SetUp();
        ASSERT_EQ(Start(style, path), 1);
        ASSERT_TRUE(NextFrame(style, 2000));
        if (style == Style::kRecording) {
            ASSERT_TRUE(Recorded());
        }
        const std::vector<uint16_t> settings = SensorSettings();
        double slowestMs = 0;
        for (int cycle = 1; cycle <= kCycles; ++cycle) {
            SCOPED_TRACE("cycle " + std::to_string(cycle));
            const uint32_t numberBefore = Details().number;
            emulator->UnplugAfter(0);
            if (style == Style::kCapture) {
                EXPECT_EQ(Lumora_SnapShot(h, frame.data(), kW * kH, 1), 0);
            }
            ASSERT_TRUE(WaitFor([&] { return errors.Count(CAMERR_STREAM_STOPPED) == static_cast<size_t>(cycle); }));
            emulator->Replug();
            // The camera lost them with its power (only the snapshot brings it back meanwhile).
            if (style == Style::kCapture) {
                EXPECT_NE(SensorSettings(), settings);
            }
            const auto answered = Clock::now();
            ASSERT_TRUE(NextFrame(style, 1000));
            slowestMs = std::max(slowestMs, std::chrono::duration<double, std::milli>(Clock::now() - answered).count());
            EXPECT_EQ(SensorSettings(), settings);
            if (style == Style::kRecording) {
                ASSERT_TRUE(Recorded());
            }
            ASSERT_TRUE(WaitFor([&] { return errors.Backs().size() == static_cast<size_t>(cycle); }));
            EXPECT_EQ(errors.Backs().back(), cycle);
            // The numbers go on past a gap.
            if (style != Style::kCapture) {
                EXPECT_GT(Details().number, numberBefore + 1);
            }
        }
        std::printf("[ reconnect ] %s: %d cycles, slowest return to frames %.1f ms\n", Name(style), kCycles, slowestMs);
        LumoraExStreamStatistics s{};
        s.size = sizeof s;
        ASSERT_EQ(LumoraEx_GetStreamStatistics(h, &s), 1);
        EXPECT_EQ(s.reconnects, static_cast<unsigned>(kCycles));
        if (style == Style::kCallBack) {
            // Each frame's number is the one before it, the numbers it skipped and one; every
            // return left a gap that the first frame after it counted.
            const std::vector<std::pair<uint32_t, uint32_t>> seen = numbers.Take();
            int gaps = 0;
            for (size_t i = 1; i < seen.size(); ++i) {
                EXPECT_EQ(seen[i].first, seen[i - 1].first + seen[i].second + 1) << i;
                gaps += seen[i].second > 0;
            }
            EXPECT_GE(gaps, kCycles);
        }
        if (style != Style::kCapture) {
            EXPECT_EQ(s.skippedConsumerBusy + s.skippedWrongSize + s.skippedStreamEnd, s.skipped);
            EXPECT_LE(s.delivered + s.skipped, s.completed + 1);
        }
        EXPECT_EQ(Lumora_Close(h), 1);
        EXPECT_EQ(emulator->OpenHandles(), 1);
        EXPECT_EQ(emulator->Violations().Total(), 0u);
        if (style == Style::kRecording) {
            // The first file and one continuation per return, each finished and readable.
            for (int n = 0; n <= kCycles; ++n) {
                const std::string file = n == 0 ? path : Reconnection::ContinuationName(path, n);
                long count = 0;
                double rate = 0;
                EXPECT_TRUE(Probe(file, &count, &rate)) << file;
                EXPECT_GE(count, 1) << file;
                std::remove(file.c_str());
                std::remove((file + ".frames.csv").c_str());
            }
        }
    }
}

TEST_F(Reconnect, NeverWritesToADiskThatIsNotTheCamera) {
    ASSERT_EQ(Start(Style::kCallBack, ""), 1);
    ASSERT_TRUE(NextFrame(Style::kCallBack, 2000));
    emulator->UnplugAfter(0);
    ASSERT_TRUE(WaitFor([&] { return errors.Count(CAMERR_STREAM_STOPPED) == 1; }));
    // In the camera's place: another model of the maker, a disk of another kind, a camera whose
    // identification text differs.
    struct Stranger {
        const char* text;
        uint8_t model1, model2;
    };
    for (const Stranger& s : {Stranger{"VORNEX USB 3.0 Camera V1.0", 0x71, 0x02},
                              Stranger{"GENERIC FLASH DISK", 0x00, 0x00},
                              Stranger{"VORNEX USB 3.0 Camera V2.0", 0x70, 0x02}}) {
        SCOPED_TRACE(s.text);
        auto stranger = std::make_shared<CameraEmulator>(7);
        stranger->SetIdentification(s.text, s.model1, s.model2);
        stranger->StartLog();
        DiskLayer::SetTestDrives({{1, stranger}}, {CameraEmulator::kDiskListEntry});
        std::vector<EmulatorTransfer> seen;
        ASSERT_TRUE(WaitFor([&] {  // it is looked at, again and again
            for (const EmulatorTransfer& t : stranger->TakeLog()) seen.push_back(t);
            return seen.size() >= 3;
        }));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (const EmulatorTransfer& t : stranger->TakeLog()) seen.push_back(t);
        for (const EmulatorTransfer& t : seen) EXPECT_FALSE(t.write) << t.offset;
        EXPECT_TRUE(errors.Backs().empty());
    }
    // The camera itself in its place again.
    DiskLayer::SetTestDrives({{1, emulator}}, {CameraEmulator::kDiskListEntry});
    emulator->Replug();
    EXPECT_TRUE(NextFrame(Style::kCallBack, 1000));
    EXPECT_EQ(errors.Backs(), std::vector<intptr_t>{1});
}

// Stopping, closing or releasing while the handle waits for its camera ends the wait at once;
// turning reconnection off ends it too.
TEST_F(Reconnect, AWaitEndsAtOnce) {
    const std::function<void()> ends[] = {
        [&] { EXPECT_EQ(Lumora_StopPreview(h), 1); },
        [&] { EXPECT_EQ(Lumora_Close(h), 1); },
        [&] {
            EXPECT_EQ(Lumora_Release(h), 1);
            h = 0;
        },
    };
    for (const auto& end : ends) {
        if (!h) SetUp();
        ASSERT_EQ(Start(Style::kCallBack, ""), 1);
        ASSERT_TRUE(NextFrame(Style::kCallBack, 2000));
        emulator->UnplugAfter(0);
        ASSERT_TRUE(WaitFor([&] { return errors.Count(CAMERR_STREAM_STOPPED) >= 1; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // well inside the wait
        const auto start = Clock::now();
        end();
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
        emulator->Replug();
    }
    SetUp();
    ASSERT_EQ(Start(Style::kPreview, ""), 1);
    ASSERT_TRUE(NextFrame(Style::kPreview, 2000));
    emulator->UnplugAfter(0);
    ASSERT_TRUE(WaitFor([&] { return errors.Count(CAMERR_STREAM_STOPPED) == 1; }));
    EXPECT_EQ(LumoraEx_SetReconnect(h, 0), 1);
    EXPECT_TRUE(WaitFor([&] { return !camera->acquisition.Previewer().Running(); }, 200));
    emulator->Replug();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(errors.Backs().empty());
}

TEST_F(Reconnect, CallsAndRecords) {
    // Off by default; on and off only; a bad handle changes nothing.
    const LumoraHandle other = Lumora_Initialize(nullptr);
    EXPECT_EQ(LumoraEx_GetReconnect(other), 0);
    EXPECT_EQ(LumoraEx_SetReconnect(other, 2), 0);
    EXPECT_EQ(Lumora_GetLastError(other), CAMERR_ARGUMENT);
    EXPECT_EQ(LumoraEx_GetReconnect(other), 0);
    EXPECT_EQ(Lumora_Release(other), 1);
    EXPECT_EQ(LumoraEx_GetReconnect(h), 1);
    EXPECT_EQ(LumoraEx_SetReconnect(h, 0), 1);
    EXPECT_EQ(LumoraEx_GetReconnect(h), 0);
    EXPECT_EQ(LumoraEx_SetReconnect(0, 1), 0);
    EXPECT_EQ(LumoraEx_GetReconnect(0), 0);

    // The statistics record of before reconnects was added: filled up to its size.
    struct {
        LumoraExStreamStatistics s;
        unsigned int guard;
    } old{};
    const int oldSize = static_cast<int>(offsetof(LumoraExStreamStatistics, reconnects));
    for (int size : {oldSize, oldSize + 2, static_cast<int>(sizeof(LumoraExStreamStatistics))}) {
        std::memset(&old, 0xAB, sizeof old);
        old.s.size = size;
        ASSERT_EQ(LumoraEx_GetStreamStatistics(h, &old.s), 1);
        EXPECT_EQ(old.s.size, size == oldSize + 2 ? oldSize : size);
        EXPECT_EQ(old.s.reconnects, size == oldSize || size == oldSize + 2 ? 0xABABABABu : 0u);
        EXPECT_EQ(old.guard, 0xABABABABu);
    }
    old.s.size = oldSize - 1;
    EXPECT_EQ(LumoraEx_GetStreamStatistics(h, &old.s), 0);

    // Continuation files.
    const std::pair<const char*, const char*> names[] = {
        {"run.avi", "run_1.avi"}, {"/tmp/a.b/run", "/tmp/a.b/run_1"}, {"C:\\v\\x.y.avi", "C:\\v\\x.y_1.avi"},
        {".avi", ".avi_1"}, {"dir/.avi", "dir/.avi_1"}};
    for (const auto& [name, first] : names) EXPECT_EQ(Reconnection::ContinuationName(name, 1), first);
    EXPECT_EQ(Reconnection::ContinuationName("run.avi", 12), "run_12.avi");
}

// Settings changed through the exports while the camera leaves and comes back: the sensor ends
// up with the handle's last values, and the protocol is never broken. (Under TSan.)
TEST_F(Reconnect, SettingsChangedWhileTheCameraComesAndGoes) {
    ASSERT_EQ(Start(Style::kCallBack, ""), 1);
    ASSERT_TRUE(NextFrame(Style::kCallBack, 2000));
    std::atomic<bool> done{false};
    std::thread cable([&] {
        for (int i = 1; i <= 8; ++i) {
            emulator->UnplugAfter(0);
            WaitFor([&] { return errors.Count(CAMERR_STREAM_STOPPED) == static_cast<size_t>(i); });
            emulator->Replug();
            WaitFor([&] { return errors.Backs().size() == static_cast<size_t>(i); });
        }
        done = true;
    });
    int value = 0;
    while (!done) {
        value = (value + 7) % 120;
        Lumora_SetFilterValue(h, 14, value);
        Lumora_SetFilterValue(h, 18, 100 + value);
        Lumora_SetMirrorV(h, value & 1);
        LumoraExStreamStatistics s{};
        s.size = sizeof s;
        LumoraEx_GetStreamStatistics(h, &s);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    cable.join();
    EXPECT_EQ(errors.Backs().size(), 8u);
    ASSERT_TRUE(NextFrame(Style::kCallBack, 1000));
    const GainSettings g = camera->Gains();
    EXPECT_EQ(emulator->Register16(0x305A) & 0x7F, g.gainRed);
    EXPECT_EQ(emulator->Register16(0x0202), g.exposure);
    EXPECT_EQ(Lumora_GetMirrorV(h), g.mirrorV);
    EXPECT_EQ(emulator->Violations().Total(), 0u);
}

}  // namespace
}  // namespace lumora::test
