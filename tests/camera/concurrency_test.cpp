// The camera's three threads (the application's, the preview thread, the device's acquisition
// thread) under an application thread that does what sliders and scripts do: every setter, the
// register exports, mirrors, auto-iris and colour modes in a loop while a callback preview or a
// recording runs. The emulated camera must see no protocol violation, frames must keep coming,
// a frozen scene must give identical frames and a register must read back what was written.
// (Also run under ThreadSanitizer.)
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "../device/emulated_disks.h"
#include "acquisition_test_support.h"
#include "camera/camera_tables.h"

namespace lumora::test {
namespace {

constexpr int kW = 160, kH = 120;
constexpr uint32_t kPeriodUs = 10000;  // 100 frames per second
constexpr int kFreeRegister = 0x3070;  // used by neither the library nor the emulated sensor

// Consecutive callback frames: how many arrived and how many differed from the one before.
struct FrameCompare {
    std::mutex mutex;
    std::vector<uint8_t> last;
    const uint8_t* buffer = nullptr;
    size_t size = 0;
    int frames = 0, differing = 0;
    static void Notify(void* context, unsigned msg, uintptr_t wParam, intptr_t) {
        auto* c = static_cast<FrameCompare*>(context);
        if (msg != CAMMSG_FRAME || wParam == 0) return;
        std::lock_guard<std::mutex> lock(c->mutex);
        if (!c->last.empty() && std::memcmp(c->last.data(), c->buffer, c->size) != 0) ++c->differing;
        c->last.assign(c->buffer, c->buffer + c->size);
        ++c->frames;
    }
    int Frames() {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
};

// One emulated camera open on a handle, streaming kW x kH 8-bit frames into a callback.
struct Session {
    std::shared_ptr<CameraEmulator> emulator;
    LumoraHandle h = 0;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kW * kH);
    FrameCompare compare;
    LumoraNotifier notifier{LUMORA_NOTIFIER_TAG, FrameCompare::Notify, &compare};

    // The handle selects camera number index before it changes anything.
    explicit Session(std::shared_ptr<CameraEmulator> camera, int index = 0) : emulator(std::move(camera)) {
        emulator->SetFramePeriodUs(kPeriodUs);
        h = Lumora_Initialize(nullptr);
        if (index != 0) {
            EXPECT_EQ(Lumora_SetDeviceNumber(h, index), 1);
        }
        compare.buffer = buffer.data();
        compare.size = buffer.size();
        EXPECT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, kW, 2616, 0, kH), 1);
        EXPECT_EQ(Lumora_SetColorMode(h, 8), 1);
        EXPECT_EQ(Lumora_SetAutoIris(h, 0), 1);
    }
    ~Session() { Lumora_Release(h); }
    bool CallBack() { return Lumora_CallBackPreview(h, &notifier, buffer.data(), kW * kH, 1) == 1; }
    void ExpectNoViolation() {
        const EmulatorViolations v = emulator->Violations();
        EXPECT_EQ(v.writesOutsideCommandBlock, 0u);
        EXPECT_EQ(v.commandsOverwritten, 0u);
        EXPECT_EQ(v.answersInterleaved, 0u);
        EXPECT_EQ(v.overlappingTransfers, 0u);
    }
};

// Runs step(i) on this thread for ms milliseconds; returns the number of steps.
int LoopFor(int ms, const std::function<void(int)>& step) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    int i = 0;
    while (Clock::now() < end) step(i++);
    return i;
}

// Every setter the application has, with values inside their ranges, one per step.
void ChangeEverything(LumoraHandle h, int i) {
    const FilterIndexInfo& f = kFilterIndexes[1 + i % kFilterIndexCount];
    const int span = f.index == 6 ? 0x646464 : f.max - f.min;
    Lumora_SetFilterValue(h, f.index, f.index == 6 ? span : f.min + (i * 7919) % (span + 1));
    int ok = 0;
    Lumora_GetFilterValue(h, f.index, &ok);
    switch (i % 6) {
        case 0: Lumora_SetMirrorV(h, i & 8 ? 1 : 0); break;
        case 1: Lumora_SetMirrorH(h, i & 16 ? 1 : 0); break;
        case 2: Lumora_SetAutoIris(h, 1 + i / 6 % 2); break;
        case 3: Lumora_SetColorMode(h, kColorModes[i / 6 % kColorModeCount].bits); break;
        case 4: Lumora_WriteRegisterEx(h, kFreeRegister, Lumora_ReadRegisterEx(h, kFreeRegister, &ok)); break;
        default: Lumora_GetRealExposureTime(h, &ok); break;
    }
}

using Concurrency = EmulatedDisks;

TEST_F(Concurrency, EverySettingChangesWhileAPreviewAndARecordingRun) {
    for (const bool recording : {false, true}) {
        SCOPED_TRACE(recording ? "recording" : "callback preview");
        Session s(DiskLayer::PlaceTestCameras(1)[0]);
        ASSERT_EQ(Lumora_SetAutoIris(s.h, 1), 1);
        const std::string path = TempPath("concurrency.avi");
        ASSERT_TRUE(recording ? Lumora_Record(s.h, path.c_str(), 60000, 0) == 1 : s.CallBack());
        const uint32_t before = s.emulator->FramesDelivered();
        const int steps = LoopFor(1500, [&](int i) { ChangeEverything(s.h, i); });
        EXPECT_GT(steps, 100);
        EXPECT_GT(s.emulator->FramesDelivered(), before + 10);
        EXPECT_EQ(Lumora_StopPreview(s.h), 1);
        if (!recording) {
            EXPECT_GT(s.compare.Frames(), 10);
        }
        s.ExpectNoViolation();
        std::remove(path.c_str());
    }
}

TEST_F(Concurrency, FrozenSceneFramesStayWholeAndRegistersReadBackUnderRegisterTraffic) {
    Session s(DiskLayer::PlaceTestCameras(1)[0]);
    s.emulator->SetStill(true);
    ASSERT_TRUE(s.CallBack());
    ASSERT_TRUE(WaitFor([&] { return s.compare.Frames() >= 3; }));
    int ok = 0;
    const int exposure = Lumora_ReadRegisterEx(s.h, 0x0202, &ok);
    ASSERT_EQ(ok, 1);
    int mismatches = 0;
    const int steps = LoopFor(1500, [&](int i) {
        // Unchanged values written, the exposure read, and a written value read straight back.
        Lumora_WriteRegisterEx(s.h, 0x0202, exposure);
        Lumora_ReadRegisterEx(s.h, 0x0202, &ok);
        const int value = 0x1000 | (i & 0x7F);
        Lumora_WriteRegisterEx(s.h, kFreeRegister, value);
        mismatches += Lumora_ReadRegisterEx(s.h, kFreeRegister, &ok) != value || ok != 1;
    });
    EXPECT_EQ(Lumora_StopPreview(s.h), 1);
    EXPECT_GT(steps, 100);
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(s.compare.Frames(), 20);
    EXPECT_EQ(s.compare.differing, 0);
    s.ExpectNoViolation();
}

TEST_F(Concurrency, BackToBackSettersLeaveTheStreamItsFrames) {
    Session s(DiskLayer::PlaceTestCameras(1)[0]);
    ASSERT_TRUE(s.CallBack());
    ASSERT_TRUE(WaitFor([&] { return s.compare.Frames() >= 3; }));
    const int idleStart = s.compare.Frames();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const int idle = s.compare.Frames() - idleStart;
    const int loadedStart = s.compare.Frames();
    int ok = 0;
    const int calls = LoopFor(1000, [&](int i) {
        Lumora_SetExposureTime(s.h, 2600 + i % 2);
        Lumora_SetGlobalGain(s.h, 32);
        Lumora_SetBrightness(s.h, i % 3);
        Lumora_SetGamma(s.h, 100);
        Lumora_ReadRegisterEx(s.h, kFreeRegister, &ok);
    });
    const int loaded = s.compare.Frames() - loadedStart;
    EXPECT_EQ(Lumora_StopPreview(s.h), 1);
    std::printf("frames per second: %d idle, %d under %d setter rounds\n", idle, loaded, calls);
    EXPECT_GT(calls, 50);
    EXPECT_GE(loaded * 2, idle);  // at least half the idle rate
    s.ExpectNoViolation();
}

TEST_F(Concurrency, TwoThreadsWithACameraEach) {
    const auto cameras = DiskLayer::PlaceTestCameras(2);
    std::atomic<int> started{0};
    auto run = [&](int index) {
        Session s(cameras[index], index);
        ASSERT_TRUE(s.CallBack());
        ++started;
        LoopFor(800, [&](int i) { ChangeEverything(s.h, i); });
        EXPECT_EQ(Lumora_StopPreview(s.h), 1);
        EXPECT_GT(s.compare.Frames(), 5);
        s.ExpectNoViolation();
    };
    std::thread first(run, 0), second(run, 1);
    first.join();
    second.join();
    EXPECT_EQ(started, 2);
}

}  // namespace
}  // namespace lumora::test
