// Every acquisition style against every fault the emulated camera can show: the codes the
// exports promise, threads that end within a second of the stop, no handle left behind, a
// finished and readable AVI, and a camera that works again once the fault clears. Then the exact
// accounting of callback frames over repeated stop/start cycles. (Also run under ASan and TSan.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "../device/emulated_disks.h"
#include "acquisition_test_support.h"
#include "api/handle_list.h"
#include "camera/camera_object.h"

namespace lumora::test {
namespace {

constexpr int kW = 320, kH = 240;
constexpr uint32_t kPeriodUs = 10000;

enum class Style { kWindowlessPreview, kCallBack, kRecording, kSnapShot, kSingleCapture };
const char* Name(Style s) {
    static const char* names[] = {"preview", "callback preview", "recording", "snapshot", "single capture"};
    return names[static_cast<int>(s)];
}
bool Streams(Style s) { return s <= Style::kRecording; }

// A fault: how it starts, how it clears, and what the exports may report while it lasts.
struct Fault {
    const char* name;
    std::function<void(CameraEmulator&, LumoraHandle)> inject;
    std::function<void(CameraEmulator&, LumoraHandle)> clear;
    bool beforeStart;          // injected before the acquisition starts (it hits the preparation)
    bool startFails;           // the acquisition then cannot start
    bool framesStop;           // a stream stops delivering frames
    bool streamStops;          // the preview ends by itself (CAMERR_STREAM_STOPPED)
    std::set<int> codes;       // codes the exports may record meanwhile
};

void Reopen(CameraEmulator&, LumoraHandle h) { EXPECT_EQ(Lumora_SetDeviceNumber(h, 0), 1); }

const std::vector<Fault>& Faults() {
    static const std::vector<Fault> faults = {
        {"stalled ready flag", [](CameraEmulator& c, LumoraHandle) { c.StallReady(true); },
         [](CameraEmulator& c, LumoraHandle) { c.StallReady(false); }, false, false, true, false,
         {CAMERR_TRANSFER}},
        {"failing reads", [](CameraEmulator& c, LumoraHandle) { c.FailReads(-1); },
         [](CameraEmulator& c, LumoraHandle) { c.FailReads(0); }, false, false, true, false, {CAMERR_TRANSFER}},
        {"short reads", [](CameraEmulator& c, LumoraHandle) { c.SetShortTransfers(true); },
         [](CameraEmulator& c, LumoraHandle) { c.SetShortTransfers(false); }, false, false, true, false,
         {CAMERR_TRANSFER}},
        {"failing writes", [](CameraEmulator& c, LumoraHandle) { c.FailWrites(-1); },
         [](CameraEmulator& c, LumoraHandle) { c.FailWrites(0); }, true, true, false, false,
         {CAMERR_CAPTURE_WINDOW, CAMERR_NO_DEVICE, CAMERR_REGISTER, CAMERR_STORAGE, CAMERR_TRANSFER}},
        {"wrong identification after re-open",
         [](CameraEmulator& c, LumoraHandle h) {
             c.SetIdentification("VORNEX USB 3.0 Camera V1.0", 0x71, 0x02);
             EXPECT_EQ(Lumora_SetDeviceNumber(h, 0), 0);
         },
         [](CameraEmulator& c, LumoraHandle h) {
             c.SetIdentification(CameraEmulator::kIdentification, 0x70, 0x02);
             Reopen(c, h);
         },
         true, true, false, false,
         {CAMERR_DEVICE_NUMBER, CAMERR_CAPTURE_WINDOW, CAMERR_NO_DEVICE, CAMERR_REGISTER, CAMERR_STORAGE,
          CAMERR_TRANSFER}},
        {"unplug", [](CameraEmulator& c, LumoraHandle) { c.UnplugAfter(0); },
         [](CameraEmulator& c, LumoraHandle h) {
             c.Replug();
             Reopen(c, h);
         },
         false, false, true, true, {CAMERR_TRANSFER, CAMERR_STREAM_STOPPED}},
        {"unplug and re-plug",
         [](CameraEmulator& c, LumoraHandle) {
             c.UnplugAfter(0);
             std::this_thread::sleep_for(std::chrono::milliseconds(30));
             c.Replug();
         },
         Reopen, false, false, true, true, {CAMERR_TRANSFER, CAMERR_STREAM_STOPPED}},
        {"latency spikes of two frame periods",
         [](CameraEmulator& c, LumoraHandle) { c.SetTransferLatencyUs(2 * kPeriodUs); },
         [](CameraEmulator& c, LumoraHandle) { c.SetTransferLatencyUs(0); }, false, false, false, false, {}},
    };
    return faults;
}

class FaultMatrix : public EmulatedDisks {
protected:
    void Open() {
        emulator = DiskLayer::PlaceTestCameras(1)[0];
        emulator->SetFramePeriodUs(kPeriodUs);
        h = Lumora_Initialize(nullptr);
        camera = ProcessHandleList().Lookup(h);
        ASSERT_NE(camera, nullptr);
        ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, kW, 2616, 0, kH), 1);
        ASSERT_EQ(Lumora_SetColorMode(h, 8), 1);
        camera->Device()->SetWaitTime(300);  // the single-frame time-out, 8 s by default
        Codes();
    }
    // The failure codes recorded since the last call, oldest first.
    std::vector<int> Codes() {
        std::vector<int> codes;
        for (int i = 0; i < ErrorHistory::kSize; ++i) {
            if (int c = Lumora_GetLastError(h)) codes.insert(codes.begin(), c);
        }
        return codes;
    }
    int Start(Style style, const std::string& path) {
        switch (style) {
            case Style::kWindowlessPreview: return Lumora_StartPreview(h);
            case Style::kCallBack: return Lumora_CallBackPreview(h, &notifier, frame.data(), kW * kH, 1);
            case Style::kRecording: return Lumora_Record(h, path.c_str(), 60000, 0);
            case Style::kSnapShot:
                return Lumora_Capture(h) && Lumora_SnapShot(h, frame.data(), kW * kH, 1);
            case Style::kSingleCapture: return Lumora_SnapShot(h, frame.data(), kW * kH, 1);
        }
        return 0;
    }
    uint32_t Processed() const { return camera->Acquirer().Previewer().FramesProcessed(); }

    std::shared_ptr<CameraEmulator> emulator;
    LumoraHandle h = 0;
    CameraObject* camera = nullptr;
    std::vector<uint8_t> frame = std::vector<uint8_t>(kW * kH);
    FrameLog log;
    LumoraNotifier notifier{LUMORA_NOTIFIER_TAG, FrameLog::Notify, &log};
};

TEST_F(FaultMatrix, EveryStyleUnderEveryFault) {
    const std::string path = TempPath("fault_matrix.avi");
    for (Style style : {Style::kWindowlessPreview, Style::kCallBack, Style::kRecording, Style::kSnapShot,
                        Style::kSingleCapture}) {
        for (const Fault& fault : Faults()) {
            SCOPED_TRACE(std::string(Name(style)) + " / " + fault.name);
            Open();
            if (fault.beforeStart) fault.inject(*emulator, h);
            const int started = Start(style, path);
            if (!Streams(style) && !fault.beforeStart) {
                // A single frame under the fault.
                EXPECT_EQ(started, 1);
                fault.inject(*emulator, h);
                const int shot = Lumora_SnapShot(h, frame.data(), kW * kH, 1);
                EXPECT_EQ(shot, fault.framesStop ? 0 : 1);
            } else if (fault.beforeStart) {
                EXPECT_EQ(started, fault.startFails ? 0 : 1);
            } else {
                ASSERT_EQ(started, 1);
                ASSERT_TRUE(WaitFor([&] { return Processed() >= 2; }));
                if (style == Style::kRecording) {
                    ASSERT_TRUE(WaitFor([&] { return camera->Acquirer().Recorder().FramesWritten() >= 1; }));
                }
                fault.inject(*emulator, h);
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                const uint32_t before = Processed();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                EXPECT_EQ(Processed() == before, fault.framesStop);
                EXPECT_EQ(camera->Acquirer().Previewer().Running(), !fault.streamStops);
            }
            // Every thread ends within a second of the stop (a liveness bound, not a speed target).
            const auto stop = Clock::now();
            EXPECT_EQ(Lumora_StopPreview(h), 1);
            EXPECT_LT(Clock::now() - stop, std::chrono::seconds(1));
            EXPECT_FALSE(camera->Acquirer().Previewer().Running());
            EXPECT_FALSE(camera->Acquirer().Recorder().Active());
            EXPECT_EQ(Lumora_Close(h), 1);
            // An idle single capture prepares under the fault: register writes that do not get
            // through fail the preparation as well.
            std::set<int> allowed = fault.codes;
            if (style == Style::kSingleCapture) allowed.insert({CAMERR_REGISTER, CAMERR_NO_DEVICE});
            for (int code : Codes()) EXPECT_EQ(allowed.count(code), 1u) << "code " << code;
            if (fault.streamStops && Streams(style)) {
                const auto frames = log.Take();
                if (style == Style::kCallBack) {
                    ASSERT_FALSE(frames.empty());
                    EXPECT_TRUE(frames.back().wParam == 0 && frames.back().lParam == CAMERR_STREAM_STOPPED);
                }
            }
            if (style == Style::kRecording && !fault.startFails) {
                long frames = 0;
                double rate = 0;
                EXPECT_TRUE(Probe(path, &frames, &rate));
                EXPECT_GE(frames, 1);
                EXPECT_EQ(frames, static_cast<long>(camera->Acquirer().Recorder().LastFrameCount()));
            }
            // Cleared, the fault leaves a camera that works, through one open handle.
            fault.clear(*emulator, h);
            EXPECT_EQ(Lumora_SnapShot(h, frame.data(), kW * kH, 1), 1);
            EXPECT_EQ(Start(style, path), 1);
            EXPECT_EQ(Lumora_Close(h), 1);
            EXPECT_EQ(emulator->OpenHandles(), 1);
            Codes();
            EXPECT_EQ(Lumora_Release(h), 1);
            EXPECT_EQ(emulator->OpenHandles(), 0);
            log.frames.clear();
        }
    }
    std::remove(path.c_str());
}

// Each frame of a callback preview reaches the caller once, in order and whole, over 1 to 13
// frames and three stop/start cycles each; every frame processed is posted exactly once.
TEST_F(FaultMatrix, CallbackFramesArriveOnceInOrderAndWhole) {
    Open();
    emulator->SetFrameStamp(true);
    struct Seen {
        std::mutex mutex;
        std::vector<int> heads, tails;
        const uint8_t* buffer = nullptr;
    } seen;
    seen.buffer = frame.data();
    // The stamps are read on the preview thread as the frame is posted: the buffer then holds it.
    LumoraNotifier stamped{LUMORA_NOTIFIER_TAG,
                           [](void* context, unsigned msg, uintptr_t wParam, intptr_t) {
                               auto* s = static_cast<Seen*>(context);
                               if (msg != CAMMSG_FRAME || wParam == 0) return;
                               const uint8_t* b = s->buffer;
                               std::lock_guard<std::mutex> lock(s->mutex);
                               s->heads.push_back(b[kW / 2] | b[kW + kW / 2] << 8);
                               s->tails.push_back(b[(kH - 1) * kW + kW / 2] | b[(kH - 2) * kW + kW / 2] << 8);
                           },
                           &seen};
    int last = 0;
    for (int n : {1, 2, 3, 5, 8, 13}) {
        for (int cycle = 0; cycle < 3; ++cycle) {
            SCOPED_TRACE("N " + std::to_string(n) + " cycle " + std::to_string(cycle));
            {
                std::lock_guard<std::mutex> lock(seen.mutex);
                seen.heads.clear();
                seen.tails.clear();
            }
            ASSERT_EQ(Lumora_CallBackPreview(h, &stamped, frame.data(), kW * kH, 1), 1);
            ASSERT_TRUE(WaitFor([&] {
                std::lock_guard<std::mutex> lock(seen.mutex);
                return static_cast<int>(seen.heads.size()) >= n;
            }));
            ASSERT_EQ(Lumora_StopPreview(h), 1);
            std::lock_guard<std::mutex> lock(seen.mutex);
            EXPECT_EQ(seen.heads.size(), Processed());
            EXPECT_EQ(seen.heads, seen.tails);  // none torn
            for (int stamp : seen.heads) {
                EXPECT_GT(stamp, last);  // once each, in order
                last = stamp;
            }
        }
    }
    EXPECT_TRUE(Codes().empty());
    EXPECT_EQ(Lumora_Release(h), 1);
}

}  // namespace
}  // namespace lumora::test
