// Acquisition through the exports on emulated cameras: the state machine, caller buffers and
// notifications, frame sizes and colours, recording, unplugging, stalls, refused and changed
// windows; the frame hand-over and the recording thread on their own. (Also run under ASan and
// TSan.)
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../device/emulated_disks.h"
#include "api/handle_list.h"
#include "camera/camera_object.h"
#include "lumora/LumoraSdk.h"
#include "output/avi_writer.h"
#include "acquisition_test_support.h"
#include "../output/output_test_util.h"

namespace lumora::test {
namespace {

class AcquisitionTest : public EmulatedDisks {
protected:
    void SetUp() override {
        emulator = DiskLayer::PlaceTestCameras(1)[0];
        emulator->SetFramePeriodUs(10000);
        h = Lumora_Initialize(nullptr);
        camera = ProcessHandleList().Lookup(h);
        ASSERT_NE(camera, nullptr);
        ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 320, 2616, 0, 240), 1);
        ASSERT_EQ(Lumora_SetColorMode(h, 8), 1);  // the stored stream format is 24-bit
        ASSERT_EQ(Lumora_SetFilterValue(h, 13, 32), 1);    // gains and exposure that show the
        ASSERT_EQ(Lumora_SetFilterValue(h, 18, 2600), 1);  // chart at its nominal levels
        Codes();
    }
    void TearDown() override {
        EXPECT_EQ(Lumora_Release(h), 1);
        EmulatedDisks::TearDown();
    }
    // The failure codes recorded since the last call, oldest first.
    std::vector<int> Codes() {
        std::vector<int> codes;
        for (int i = 0; i < ErrorHistory::kSize; ++i) {
            if (int c = Lumora_GetLastError(h)) codes.insert(codes.begin(), c);
        }
        return codes;
    }
    int FrameBytes() const { return camera->OutputBuffer()->Stride() * camera->OutputBuffer()->Height(); }
    const PreviewThread& Previewer() const { return camera->Acquirer().Previewer(); }

    std::shared_ptr<CameraEmulator> emulator;
    LumoraHandle h = 0;
    CameraObject* camera = nullptr;
    FrameLog log;
    LumoraNotifier notifier{LUMORA_NOTIFIER_TAG, FrameLog::Notify, &log};
};

TEST_F(AcquisitionTest, StateMachine) {
    std::vector<uint8_t> frame(320 * 240);
    const int size = static_cast<int>(frame.size());
    EXPECT_EQ(Lumora_StartPreview(h), 1);
    EXPECT_EQ(Lumora_StartPreview(h), 1);
    EXPECT_EQ(Previewer().ThreadsStarted(), 1);
    EXPECT_EQ(Lumora_Capture(h), 0);
    EXPECT_EQ(Codes(), std::vector<int>{CAMERR_NO_DEVICE});
    EXPECT_EQ(Lumora_SnapShot(h, frame.data(), size, 1), 0);
    EXPECT_EQ(Codes(), std::vector<int>{});
    ASSERT_TRUE(WaitFor([&] { return Previewer().FramesProcessed() >= 3; }));
    EXPECT_EQ(Lumora_GetImage(h, frame.data(), size, 1), 1);
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    EXPECT_EQ(Lumora_SnapShot(h, frame.data(), size, 1), 1);  // prepares, grabs, stays idle
    EXPECT_EQ(camera->Acquirer().State(), AcquisitionState::Idle);
    EXPECT_EQ(Lumora_Capture(h), 1);
    EXPECT_EQ(Lumora_Capture(h), 1);
    EXPECT_EQ(camera->Acquirer().State(), AcquisitionState::Capturing);
    EXPECT_EQ(Lumora_StartPreview(h), 0);
    EXPECT_EQ(Lumora_SnapShot(h, frame.data(), size, 0), 1);
    EXPECT_EQ(Codes(), std::vector<int>{CAMERR_NO_DEVICE});
    EXPECT_EQ(Lumora_Close(h), 1);
    EXPECT_EQ(camera->Acquirer().State(), AcquisitionState::Idle);
    EXPECT_EQ(Previewer().ThreadsStarted(), 1);
    // A window needs a window system; a negative duration is refused.
    const bool windows = PreviewWindow::Available();
    EXPECT_EQ(Lumora_Preview(h), windows ? 1 : 0);
    EXPECT_EQ(Lumora_Close(h), 1);
    EXPECT_EQ(Lumora_Record(h, TempPath("w.avi").c_str(), 100, 1), windows ? 1 : 0);
    EXPECT_EQ(Lumora_Close(h), 1);
    std::remove(TempPath("w.avi").c_str());
    EXPECT_EQ(Lumora_Record(h, TempPath("n.avi").c_str(), -1, 0), 0);
    std::vector<int> codes{CAMERR_WINDOW, CAMERR_WINDOW, CAMERR_ARGUMENT};
    if (windows) codes.erase(codes.begin(), codes.begin() + 2);
    EXPECT_EQ(Codes(), codes);
    // Selecting a camera closes the open one: the acquisition on it ends first.
    ASSERT_EQ(Lumora_StartPreview(h), 1);
    EXPECT_EQ(Lumora_SetDeviceNumber(h, 0), 1);
    EXPECT_EQ(camera->Acquirer().State(), AcquisitionState::Idle);
    EXPECT_FALSE(Previewer().Running());
}

TEST_F(AcquisitionTest, CallerBufferOneByteShortFailsEveryCopy) {
    ASSERT_EQ(Lumora_SetColorMode(h, 24), 1);
    ASSERT_EQ(Lumora_SnapShot(h, nullptr, 0, 0), 1);
    const std::vector<uint8_t> untouched(FrameBytes() + 1, 0xEE);
    std::vector<uint8_t> frame = untouched;
    EXPECT_EQ(Lumora_GetImage(h, frame.data(), FrameBytes() - 1, 1), 0);
    EXPECT_EQ(Lumora_SnapShot(h, frame.data(), FrameBytes() - 1, 1), 0);
    EXPECT_EQ(Codes(), (std::vector<int>{CAMERR_MEMORY, CAMERR_MEMORY}));  // one code per call
    // A register value out of range reaches no register; a negative size starts nothing.
    const int gain = Lumora_ReadRegisterEx(h, 0x3056, nullptr);
    EXPECT_EQ(Lumora_WriteRegisterEx(h, 0x3056, 0x12300 | (gain + 1)), 0);
    EXPECT_EQ(Lumora_ReadRegisterEx(h, 0x3056, nullptr), gain);
    EXPECT_EQ(Lumora_CallBackPreview(h, &notifier, frame.data(), -1, 0), 0);
    EXPECT_EQ(camera->Acquirer().State(), AcquisitionState::Idle);
    EXPECT_EQ(Codes(), (std::vector<int>{CAMERR_ARGUMENT, CAMERR_ARGUMENT}));
    ASSERT_EQ(Lumora_CallBackPreview(h, &notifier, frame.data(), FrameBytes() - 1, 0), 1);
    ASSERT_TRUE(WaitFor([&] { return log.Take().size() >= 3; }));
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    for (const Frame& f : log.Take()) EXPECT_TRUE(f.wParam == 0 && f.lParam == CAMERR_MEMORY);
    EXPECT_EQ(frame, untouched);
}

// Five seconds of 640 x 480 frames into a notifier record, without a window system.
TEST_F(AcquisitionTest, CallBackPreviewNotifiesEveryFrameItProcesses) {
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 640, 2616, 0, 480), 1);
    ASSERT_EQ(Lumora_SetColorMode(h, 16), 1);
    emulator->SetFramePeriodUs(40000);
    std::vector<uint8_t> frame(640 * 480 * 2, 0);
    const auto start = Clock::now();
    ASSERT_EQ(Lumora_CallBackPreview(h, &notifier, frame.data(), static_cast<int>(frame.size()), 1), 1);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_EQ(Lumora_Close(h), 1);
    const std::vector<Frame> frames = log.Take();
    EXPECT_EQ(frames.size(), Previewer().FramesProcessed());
    ASSERT_GT(frames.size(), 50u);
    for (const Frame& f : frames) {
        const FrameInfo& i = f.info;
        EXPECT_TRUE(f.wParam != 0 && i.size == static_cast<int>(sizeof(FrameInfo)) && i.width == 640 &&
                    i.height == 480 && i.bitCount == 16 && i.buffer == frame.data());
        if (f.at - start < std::chrono::milliseconds(1000)) {
            EXPECT_EQ(i.fpsTimes10, 0);
        }
    }
    const double mean = frames.size() * 10 / 5.0;  // frames per second x 10 over the five seconds
    EXPECT_NEAR(frames.back().info.fpsTimes10, mean, mean * 0.3);
    EXPECT_NE(frame, std::vector<uint8_t>(frame.size(), 0));
}

TEST(AcquisitionRates, FrameRateAndRecordingRate) {
    EXPECT_EQ(RecordingThread::MeasuredRate(50, 2040), 2450u);
    EXPECT_EQ(RecordingThread::MeasuredRate(1, 0), 0u);
    EXPECT_EQ(RecordingThread::MeasuredRate(100000, 1000), 10000000u);  // no 32-bit overflow
    FrameRateMeter meter;  // windows of just over a second, across the wrap of the clock
    const uint32_t t0 = 0xFFFFFF00u;
    meter.Restart(t0);
    for (uint32_t t = 100; t <= 1000; t += 100) EXPECT_EQ(meter.Count(t0 + t), 0) << t;
    EXPECT_EQ(meter.Count(t0 + 1001), 109);  // 11 frames in 1001 ms
    EXPECT_EQ(meter.Count(t0 + 1500), 109);
    EXPECT_EQ(meter.Count(t0 + 3001), 10);  // 2 frames in 2000 ms
}

TEST_F(AcquisitionTest, EveryColourAndSubsamplingModeGivesFramesOfItsSize) {
    emulator->SetFastFrames(true);
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 8, 640, 2616, 4, 480), 1);
    const int subsampling[][2] = {{0, 1}, {1, 2}, {17, 2}, {2, 4}, {18, 4}};  // mode, divisor
    for (int bits : {8, 16, 24, 32, 48, 64}) {
        for (const auto& s : subsampling) {
            SCOPED_TRACE(::testing::Message() << bits << " bits, subsampling " << s[0]);
            ASSERT_EQ(Lumora_SetColorMode(h, bits) & Lumora_SetSubSample(h, s[0]), 1);
            ASSERT_EQ(Lumora_SnapShot(h, nullptr, 0, 0), 1);
            const ImageBuffer& out = *camera->OutputBuffer();
            EXPECT_TRUE(out.Width() == 640 / s[1] && out.Height() == 480 / s[1] && out.BitCount() == bits);
            std::vector<uint8_t> frame(FrameBytes());
            EXPECT_EQ(Lumora_GetImage(h, frame.data(), FrameBytes(), 0), 1);
            // Raw samples: bytes, widened to 12 bits in the wide modes.
            const ImageBuffer& raw = *camera->RawBuffer();
            int top = 0;
            for (int r = 0; r < raw.Height(); ++r) {
                for (int x = 0; x < raw.Width(); ++x) {
                    const uint8_t* p = raw.Row(r) + x * raw.BytesPerPixel();
                    top = std::max(top, raw.BitCount() == 8 ? p[0] : p[0] | p[1] << 8);
                }
            }
            EXPECT_TRUE(top > 0 && top <= (raw.BitCount() == 8 ? 255 : 4095)) << top;
        }
    }
    EXPECT_EQ(Codes(), std::vector<int>{});
}

TEST_F(AcquisitionTest, ColourSnapshotShowsTheChartInItsColours) {
    // The emulated chart: 6 x 4 patches from (174, 261), 523 x 490 pixels apart; red, green, blue.
    const uint8_t chart[4][6][3] = {
        {{115, 82, 68}, {194, 150, 130}, {98, 122, 157}, {87, 108, 67}, {133, 128, 177}, {103, 189, 170}},
        {{214, 126, 44}, {80, 91, 166}, {193, 90, 99}, {94, 60, 108}, {157, 188, 64}, {224, 163, 46}},
        {{56, 61, 150}, {70, 148, 73}, {175, 54, 60}, {231, 199, 31}, {187, 86, 149}, {8, 133, 161}},
        {{243, 243, 242}, {200, 200, 200}, {160, 160, 160}, {122, 122, 121}, {85, 85, 85}, {52, 52, 52}},
    };
    emulator->SetStill(true);
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 3488, 2616, 0, 2616), 1);
    ASSERT_EQ(Lumora_SetSubSample(h, 2) & Lumora_SetColorMode(h, 24), 1);
    for (int index : {7, 8, 9, 11}) ASSERT_EQ(Lumora_SetFilterValue(h, index, 100), 1);  // neutral
    ASSERT_EQ(Lumora_SetFilterValue(h, 12, 3), 1);  // Bayer phase 3
    ASSERT_EQ(Lumora_SnapShot(h, nullptr, 0, 0), 1);
    const ImageBuffer& out = *camera->OutputBuffer();
    ASSERT_TRUE(out.Width() == 872 && out.Height() == 654);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 6; ++c) {
            // The patch's centre; the sensor's rows land in the buffer's rows in order.
            const uint8_t* bgr = out.Row((261 + r * 490 + 245) / 4) + 3 * ((174 + c * 523 + 261) / 4);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(bgr[2 - k], chart[r][c][k], 12) << r << "," << c << "," << k;
        }
    }
}

// A recording that runs its two seconds, and one that the camera's unplugging and a stop end:
// both files hold the frames and the rate the recorder reported.
TEST_F(AcquisitionTest, RecordingsEndedEitherWayAreReadable) {
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 322, 2616, 0, 240), 1);  // rows of 966 bytes
    ASSERT_EQ(Lumora_SetColorMode(h, 16), 1);
    emulator->SetFramePeriodUs(40000);
    const RecordingThread& recorder = camera->Acquirer().Recorder();
    long frames = 0;
    double rate = 0;
    for (bool unplug : {false, true}) {
        const std::string path = TempPath("recording.avi");
        if (unplug) {
            // A recording that a new one replaces is finished first.
            const std::string first = TempPath("replaced.avi");
            ASSERT_EQ(Lumora_Record(h, first.c_str(), 60000, 0), 1);
            ASSERT_TRUE(WaitFor([&] { return recorder.FramesWritten() >= 3; }));
            ASSERT_EQ(Lumora_Record(h, path.c_str(), 60000, 0), 1);
            ASSERT_TRUE(Probe(first, &frames, &rate));
            EXPECT_GE(frames, 3);
            EXPECT_EQ(frames, static_cast<long>(recorder.LastFrameCount()));
            std::remove(first.c_str());
        } else {
            ASSERT_EQ(Lumora_Record(h, path.c_str(), 2000, 0), 1);
        }
        if (unplug) {
            ASSERT_TRUE(WaitFor([&] { return recorder.FramesWritten() >= 3; }));
            emulator->UnplugAfter(0);
            // The preview ends by itself once the camera has left: the stream stopped.
            EXPECT_TRUE(WaitFor([&] { return !Previewer().Running(); }, 1000));
            EXPECT_EQ(Lumora_StopPreview(h), 1);
        }
        ASSERT_TRUE(WaitFor([&] { return !recorder.Active(); }, 6000));
        EXPECT_EQ(Lumora_Close(h), 1);
        ASSERT_TRUE(Probe(path, &frames, &rate));
        EXPECT_EQ(frames, static_cast<long>(recorder.LastFrameCount()));
        EXPECT_NEAR(rate, recorder.LastRate(), 1.0);
        EXPECT_GE(frames, unplug ? 3 : 10);
        if (!unplug) {
            // The recording ends at the first frame after its 2 s: a loaded machine (or a
            // sanitizer build) may take that frame some tens of milliseconds late.
            EXPECT_NEAR(recorder.LastRate(), frames * 100000.0 / 2000, recorder.LastRate() * 0.08);
        }
        std::vector<int> codes = Codes();
        if (unplug) {
            ASSERT_FALSE(codes.empty());
            EXPECT_EQ(codes.back(), CAMERR_STREAM_STOPPED);
            codes.pop_back();
        }
        for (int code : codes) EXPECT_EQ(code, CAMERR_TRANSFER);  // a fetch the unplugging cut
        std::remove(path.c_str());
    }
}

// The first frame of a recording, as ffmpeg decodes it, is the snapshot of the same settings
// (upright: the file's bottom-up rows hold the picture's bottom row first).
TEST_F(AcquisitionTest, RecordingShowsThePictureTheSnapshotShows) {
    emulator->SetStill(true);
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 1232, 1024, 2616, 924, 768), 1);  // the chart's middle
    const RecordingThread& recorder = camera->Acquirer().Recorder();
    for (int bits : {8, 24, 32}) {
        for (int sub : {2, 18, 1, 17, 0}) {
            SCOPED_TRACE(::testing::Message() << bits << " bits, subsampling " << sub);
            ASSERT_EQ(Lumora_SetColorMode(h, bits) & Lumora_SetSubSample(h, sub), 1);
            const int divisor = sub == 0 ? 1 : sub % 16 == 1 ? 2 : 4;
            const int w = 1024 / divisor, ht = 768 / divisor;
            const int stride = (w * bits / 8 + 3) & ~3;
            std::vector<uint8_t> snap(static_cast<size_t>(stride) * ht);
            ASSERT_EQ(Lumora_SnapShot(h, snap.data(), static_cast<int>(snap.size()), 1), 1);  // top row first
            const std::string path = TempPath("upright.avi");
            ASSERT_EQ(Lumora_Record(h, path.c_str(), 1, 0), 1);
            ASSERT_TRUE(WaitFor([&] { return recorder.LastFrameCount() > 0 && !recorder.Active(); }, 8000));
            EXPECT_EQ(Lumora_Close(h), 1);
            const std::vector<uint8_t> movie = DecodeBgr24(path);
            ASSERT_GE(movie.size(), size_t(3) * w * ht);
            size_t differing = 0;
            for (int y = 0; y < ht; ++y) {
                for (int x = 0; x < w; ++x) {
                    const uint8_t* s = &snap[size_t(y) * stride + size_t(x) * (bits / 8)];
                    const uint8_t* m = &movie[(size_t(y) * w + x) * 3];
                    for (int c = 0; c < 3; ++c) differing += m[c] != s[bits == 8 ? 0 : c];
                }
            }
            EXPECT_EQ(differing, 0u);
            std::remove(path.c_str());
        }
    }
}

// While a callback preview runs, a failed call's code is the newest when the application asks,
// and the error window hears of real errors only.
TEST_F(AcquisitionTest, ARunningPreviewKeepsAFailedCallsCodeNewest) {
    struct ErrorLog {
        std::mutex mutex;
        std::vector<intptr_t> codes;
        static void Notify(void* context, unsigned msg, uintptr_t, intptr_t lParam) {
            auto* log = static_cast<ErrorLog*>(context);
            std::lock_guard<std::mutex> lock(log->mutex);
            if (msg == CAMMSG_ERROR) log->codes.push_back(lParam);
        }
    } errors;
    LumoraNotifier errorWindow{LUMORA_NOTIFIER_TAG, ErrorLog::Notify, &errors};
    ASSERT_EQ(Lumora_Release(h), 1);
    h = Lumora_Initialize(&errorWindow);
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 320, 2616, 0, 240) & Lumora_SetColorMode(h, 8), 1);
    Codes();
    errors.codes.clear();
    std::vector<uint8_t> frame(320 * 240);
    ASSERT_EQ(Lumora_CallBackPreview(h, &notifier, frame.data(), static_cast<int>(frame.size()), 1), 1);
    ASSERT_TRUE(WaitFor([&] { return log.Take().size() >= 3; }));
    EXPECT_EQ(Lumora_SetGamma(h, 999), 0);
    const size_t before = log.Take().size();
    ASSERT_TRUE(WaitFor([&] { return log.Take().size() >= before + 10; }));  // frames go on
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
    EXPECT_EQ(Lumora_GetLastError(h), 0);
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    std::lock_guard<std::mutex> lock(errors.mutex);
    EXPECT_EQ(errors.codes, std::vector<intptr_t>{CAMERR_ARGUMENT});
}

// A camera streams for one handle: another handle's acquisition on it fails before anything
// reaches the camera, and the first one's frames go on.
TEST_F(AcquisitionTest, SecondAcquisitionOnAStreamedCameraFails) {
    std::vector<uint8_t> frame(320 * 240), other(320 * 240);
    const int size = static_cast<int>(frame.size());
    ASSERT_EQ(Lumora_CallBackPreview(h, &notifier, frame.data(), size, 1), 1);
    ASSERT_TRUE(WaitFor([&] { return log.Take().size() >= 3; }));
    const LumoraHandle second = Lumora_Initialize(nullptr);
    while (Lumora_GetLastError(second) != 0) {
    }
    ASSERT_EQ(Lumora_Width(second), 3488);  // the stored window: a start would send it
    const std::string path = TempPath("second.avi");
    const struct {
        const char* what;
        std::function<int()> start;
        std::vector<int> codes;  // newest first
    } starts[] = {
        {"StartPreview", [&] { return Lumora_StartPreview(second); }, {CAMERR_NO_DEVICE}},
        {"CallBackPreview", [&] { return Lumora_CallBackPreview(second, nullptr, other.data(), size, 1); },
         {CAMERR_TRANSFER, CAMERR_NO_DEVICE}},
        {"Record", [&] { return Lumora_Record(second, path.c_str(), 1000, 0); }, {CAMERR_STORAGE, CAMERR_NO_DEVICE}},
        {"Capture", [&] { return Lumora_Capture(second); }, {CAMERR_NO_DEVICE}},
        {"SnapShot", [&] { return Lumora_SnapShot(second, other.data(), size, 1); }, {CAMERR_NO_DEVICE}},
    };
    for (const auto& s : starts) {
        EXPECT_EQ(s.start(), 0) << s.what;
        std::vector<int> codes;
        while (int code = Lumora_GetLastError(second)) codes.push_back(code);
        EXPECT_EQ(codes, s.codes) << s.what;
    }
    const size_t before = log.Take().size();
    ASSERT_TRUE(WaitFor([&] { return log.Take().size() >= before + 5; }));
    EXPECT_EQ(emulator->FrameBytes(), 320u * 240u);  // the first handle's window
    EXPECT_EQ(Codes(), std::vector<int>{});
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    EXPECT_EQ(Lumora_SnapShot(second, nullptr, 0, 0), 1);  // free again
    EXPECT_EQ(Lumora_Release(second), 1);
    std::remove(path.c_str());
}

TEST_F(AcquisitionTest, UnplugMidSnapshot) {
    std::vector<uint8_t> frame(320 * 240);
    ASSERT_EQ(Lumora_CallBackPreview(h, &notifier, nullptr, 0, 0), 1);
    ASSERT_EQ(Lumora_StopPreview(h) & Lumora_Capture(h), 1);
    camera->Device()->SetWaitTime(100);  // the frame time-out, 8 s by default
    emulator->UnplugAfter(0);
    EXPECT_EQ(Lumora_SnapShot(h, frame.data(), static_cast<int>(frame.size()), 1), 0);
    EXPECT_EQ(Codes(), std::vector<int>{CAMERR_TRANSFER});
    ASSERT_FALSE(log.Take().empty());
    EXPECT_TRUE(log.Take().back().wParam == 0 && log.Take().back().lParam == CAMERR_TRANSFER);
    EXPECT_EQ(Lumora_StopPreview(h), 1);
}

TEST_F(AcquisitionTest, StopEndsAStalledPreviewWhateverTheWaitTime) {
    for (int wait : {INT_MAX, 10}) {
        ASSERT_EQ(Lumora_SetWaitTime(h, wait) & Lumora_StartPreview(h), 1);
        emulator->StallReady(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        // A liveness bound, not a speed target: a pause that ignored the stop would take days.
        const auto start = Clock::now();
        EXPECT_EQ(Lumora_StopPreview(h), 1);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(Previewer().Running());
        emulator->StallReady(false);
    }
}

TEST_F(AcquisitionTest, RefusedWindowsFailAndLeaveNoTargetBehind) {
    // Narrower than the sensor reads, off the sensor, empty: refused, and the window in force
    // stays (its size, the stored values and the sensor's frames).
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 8, 320, 2616, 4, 240), 1);
    for (const std::array<int, 4>& refused : {std::array<int, 4>{0, 2, 0, 2}, std::array<int, 4>{100, 3400, 0, 240},
                                             std::array<int, 4>{0, 0, 0, 0}}) {
        EXPECT_EQ(Lumora_SetCaptureWindowEx(h, 3488, refused[0], refused[1], 2616, refused[2], refused[3]), 0);
        int ht, hs, he, vt, vs, ve;
        Lumora_GetCaptureWindowEx(h, &ht, &hs, &he, &vt, &vs, &ve);
        EXPECT_TRUE(hs == 8 && he == 320 && vs == 4 && ve == 240) << refused[1];
        EXPECT_TRUE(Lumora_Width(h) == 320 && Lumora_Height(h) == 240);
        EXPECT_EQ(Lumora_SnapShot(h, nullptr, 0, 0), 1);
        EXPECT_EQ(Codes(), std::vector<int>{CAMERR_CAPTURE_WINDOW});
        EXPECT_EQ(emulator->FrameBytes(), 320 * 240);
    }
    // An acquisition that cannot start (the camera takes no writes): the failed callback
    // preview keeps neither the buffer nor the notifier.
    std::vector<uint8_t> frame(320 * 240, 0xEE);
    emulator->FailWrites(-1);
    EXPECT_EQ(Lumora_CallBackPreview(h, &notifier, frame.data(), static_cast<int>(frame.size()), 1), 0);
    emulator->FailWrites(0);
    EXPECT_EQ(Codes(), (std::vector<int>{CAMERR_REGISTER, CAMERR_NO_DEVICE, CAMERR_TRANSFER}));
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 320, 2616, 0, 240) & Lumora_StartPreview(h), 1);
    ASSERT_TRUE(WaitFor([&] { return Previewer().FramesProcessed() >= 3; }));
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(frame, std::vector<uint8_t>(320 * 240, 0xEE));
}

TEST_F(AcquisitionTest, SizeChangesMidPreviewNeverOverflowAnyBuffer) {
    const int bytes = 320 * 240;
    std::vector<uint8_t> frame(bytes + 64, 0xEE);
    ASSERT_EQ(Lumora_CallBackPreview(h, &notifier, frame.data(), bytes, 1), 1);
    ASSERT_TRUE(WaitFor([&] { return log.Take().size() >= 2; }));
    // Deeper, larger and then smaller frames asked for while the stream runs.
    ASSERT_EQ(Lumora_SetColorMode(h, 64) & Lumora_SetSubSample(h, 17), 1);
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 3488, 2616, 0, 2616), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 64, 2616, 0, 48), 1);
    ASSERT_TRUE(WaitFor([&] { return log.Take().back().lParam == CAMERR_TRANSFER; }));
    std::vector<uint8_t> image(bytes);
    EXPECT_EQ(Lumora_GetImage(h, image.data(), bytes, 1), 1);
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin() + bytes, frame.end()), std::vector<uint8_t>(64, 0xEE));
    for (const Frame& f : log.Take()) EXPECT_TRUE(f.wParam == 0 || f.info.width == 320);
    ASSERT_EQ(Lumora_SnapShot(h, nullptr, 0, 0), 1);  // the next preparation takes them
    EXPECT_TRUE(camera->OutputBuffer()->BitCount() == 64 && camera->OutputBuffer()->Width() == 32);
}

TEST(FrameHandOverTest, ReadersNeverSeeAHalfWrittenFrame) {
    ImageBuffer output, other;
    ASSERT_EQ(output.Create(256, 64, 24) & other.Create(255, 64, 24), 1);
    FrameHandOver handOver;
    ASSERT_EQ(handOver.Prepare(output), 1);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, reads{0};
    auto reader = [&] {
        while (!done) {
            handOver.WithFrame([&](const ImageBuffer& f) {
                const uint8_t* p = f.Bits();
                for (int32_t i = 1; i < f.Stride() * f.Height(); ++i)
                    if (p[i] != p[0]) return ++torn;
                return ++reads;
            });
            std::this_thread::yield();
        }
    };
    std::thread a(reader), b(reader);
    int published = 0;
    for (int k = 1; k <= 400 || reads < 20; ++k) {
        std::memset(output.Bits(), k & 0xFF, static_cast<size_t>(output.Stride()) * output.Height());
        published += handOver.Publish(output, k % 2 == 0);
    }
    done = true;
    a.join();
    b.join();
    EXPECT_TRUE(torn == 0 && published > 0);
    EXPECT_FALSE(handOver.Publish(other, true));  // another size is never copied in
}

TEST(RecordingThreadTest, FileThatTakesNoMoreFramesIsFinishedThere) {
    struct : RecordingThread::Host {
        std::vector<int> codes;
        int RecordError(int code) override {
            codes.push_back(code);
            return 1;
        }
    } camera;
    ImageBuffer frame;    // rows of 45 bytes, padded to 48 in the buffer
    FrameHandOver handOver;
    ASSERT_EQ(frame.Create(15, 8, 24) & handOver.Prepare(frame), 1);
    AviWriter writer(224 + 3 * (368 + 16) + 8);  // room for three frames and their index
    writer.SetFrameSize(15, 8);
    writer.SetFrameRate(30);
    const std::string path = TempPath("full.avi");
    ASSERT_TRUE(writer.BeginFile(path.c_str()));
    RecordingThread recording(camera, writer, handOver);
    ASSERT_TRUE(recording.Start(60000));
    for (int k = 0; recording.Active() && k < 1000; ++k) {
        std::memset(frame.Bits(), 0xAA, static_cast<size_t>(frame.Stride()) * frame.Height());
        for (int r = 0; r < 8; ++r) std::memset(frame.Row(r), (k + 10 * r) & 0xFF, 45);
        handOver.Publish(frame, true);
        recording.FrameReady();
        std::this_thread::sleep_for(std::chrono::milliseconds(12));
    }
    EXPECT_FALSE(recording.Active());
    EXPECT_EQ(recording.LastFrameCount(), 3u);
    EXPECT_EQ(camera.codes, std::vector<int>{CAMERR_STORAGE});
    long frames = 0;
    double rate = 0;
    ASSERT_TRUE(Probe(path, &frames, &rate));
    EXPECT_EQ(frames, 3);
    // The first frame's rows, unpadded: 45 bytes each, the buffer's last row first (the file's
    // rows are bottom-up), so each stored row's value is 10 less than the one before.
    std::vector<uint8_t> bytes(360);
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 232 + 8, SEEK_SET);
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    for (size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], (bytes[0] - 10 * (i / 45)) & 0xFF) << i;
    std::remove(path.c_str());
}

}  // namespace
}  // namespace lumora::test
