// Acquisition through the exports and the camera object on emulated cameras: the state machine,
// caller buffers and notifications, frame sizes of every mode, recording, unplugging, and the
// hand-over of frames between threads. (Also run under the sanitizers.)
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../device/emulated_disks.h"
#include "api/handle_list.h"
#include "camera/camera_object.h"
#include "lumora/LumoraSdk.h"
#include "output/avi_writer.h"

namespace lumora::test {
namespace {

struct Message {
    void* window;
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
    FrameInfo info;  // copied on the posting thread when wParam carries the record
    std::chrono::steady_clock::time_point at;
};

// Collects every posted message for one test.
class MessageLog {
public:
    MessageLog() {
        platform::SetMessageSink([this](void* w, uint32_t msg, uintptr_t wp, intptr_t lp) {
            Message m{w, msg, wp, lp, {}, std::chrono::steady_clock::now()};
            if (msg == CAMMSG_FRAME && wp != 0) m.info = *reinterpret_cast<const FrameInfo*>(wp);
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(m);
        });
    }
    ~MessageLog() { platform::SetMessageSink(nullptr); }
    std::vector<Message> Frames(void* window) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Message> out;
        for (const Message& m : messages_)
            if (m.window == window && m.msg == CAMMSG_FRAME) out.push_back(m);
        return out;
    }

private:
    std::mutex mutex_;
    std::vector<Message> messages_;
};

// ffprobe's frame count and frame rate (frames per second x 100) of an AVI file.
bool Probe(const std::string& path, long* frames, double* rateTimes100) {
    std::string command = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                          "stream=nb_read_frames,r_frame_rate -of csv=p=0 '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    long num = 0, den = 0;
    int fields = std::fscanf(pipe, "%ld/%ld,%ld", &num, &den, frames);
    pclose(pipe);
    if (fields != 3 || den == 0) return false;
    *rateTimes100 = 100.0 * num / den;
    return true;
}

std::string TempPath(const char* name) { return ::testing::TempDir() + name; }

class AcquisitionTest : public EmulatedDisks {
protected:
    void SetUp() override {
        emulator = DiskLayer::PlaceTestCameras(1)[0];
        emulator->SetFramePeriodUs(10000);
        h = Lumora_Initialize(nullptr);
        ASSERT_NE(h, 0);
        camera = ProcessHandleList().Lookup(h);
        ASSERT_NE(camera, nullptr);
        ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 320, 2616, 0, 240), 1);
        // Gains and exposure that show the chart at its nominal levels.
        ASSERT_EQ(Lumora_SetFilterValue(h, 13, 32), 1);
        ASSERT_EQ(Lumora_SetFilterValue(h, 18, 2600), 1);
        Codes();
    }
    void TearDown() override {
        EXPECT_EQ(Lumora_Release(h), 1);
        EmulatedDisks::TearDown();
    }
    // The failure codes recorded since the last call, oldest first (the pipeline records a 0
    // for every frame while automatic exposure is off).
    std::vector<int> Codes() {
        std::vector<int> codes;
        for (int i = 0; i < ErrorHistory::kSize; ++i) {
            if (int c = Lumora_GetLastError(h)) codes.insert(codes.begin(), c);
        }
        return codes;
    }
    size_t FrameBytes() const {
        const ImageBuffer* out = camera->OutputBuffer();
        return static_cast<size_t>(out->Stride()) * out->Height();
    }

    std::shared_ptr<CameraEmulator> emulator;
    LumoraHandle h = 0;
    CameraObject* camera = nullptr;
    int notifyToken = 0;
    void* notify = &notifyToken;
};

TEST_F(AcquisitionTest, StateMachine) {
    std::vector<uint8_t> frame(320 * 240);
    EXPECT_EQ(Lumora_StartPreview(h), 1);
    EXPECT_EQ(Lumora_StartPreview(h), 1);
    EXPECT_EQ(camera->acquisition.Previewer().ThreadsStarted(), 1);
    EXPECT_EQ(Lumora_Capture(h), 0);
    EXPECT_EQ(Codes(), std::vector<int>{CAMERR_NO_DEVICE});
    EXPECT_EQ(Lumora_SnapShot(h, frame.data(), static_cast<int>(frame.size()), 1), 0);
    EXPECT_EQ(Codes(), std::vector<int>{});
    ASSERT_TRUE(WaitFor([&] { return camera->acquisition.Previewer().FramesProcessed() >= 3; }));
    EXPECT_EQ(Lumora_GetImage(h, frame.data(), static_cast<int>(frame.size()), 1), 1);
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    EXPECT_EQ(camera->acquisition.State(), AcquisitionState::Idle);

    // A snapshot without Capture prepares, grabs and stays idle.
    EXPECT_EQ(Lumora_SnapShot(h, frame.data(), static_cast<int>(frame.size()), 1), 1);
    EXPECT_EQ(camera->acquisition.State(), AcquisitionState::Idle);
    EXPECT_EQ(Lumora_Capture(h), 1);
    EXPECT_EQ(Lumora_Capture(h), 1);
    EXPECT_EQ(camera->acquisition.State(), AcquisitionState::Capturing);
    EXPECT_EQ(Lumora_StartPreview(h), 0);
    EXPECT_EQ(Lumora_SnapShot(h, frame.data(), static_cast<int>(frame.size()), 0), 1);
    EXPECT_EQ(Codes(), std::vector<int>{CAMERR_NO_DEVICE});
    EXPECT_EQ(Lumora_Close(h), 1);
    EXPECT_EQ(camera->acquisition.State(), AcquisitionState::Idle);
    EXPECT_EQ(camera->acquisition.Previewer().ThreadsStarted(), 1);
    // Preview and a recording with a window need a window system.
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
    EXPECT_EQ(camera->acquisition.State(), AcquisitionState::Idle);
    EXPECT_FALSE(camera->acquisition.Previewer().Running());
}

TEST_F(AcquisitionTest, CallerBufferOneByteShortFailsEveryCopy) {
    MessageLog log;
    ASSERT_EQ(Lumora_SetColorMode(h, 24), 1);
    ASSERT_EQ(Lumora_SnapShot(h, nullptr, 0, 0), 1);
    std::vector<uint8_t> frame(FrameBytes() + 1, 0xEE);
    const int shortSize = static_cast<int>(FrameBytes()) - 1;
    EXPECT_EQ(Lumora_GetImage(h, frame.data(), shortSize, 1), 0);
    EXPECT_EQ(Codes(), (std::vector<int>{CAMERR_MEMORY, CAMERR_MEMORY}));
    EXPECT_EQ(Lumora_SnapShot(h, frame.data(), shortSize, 1), 0);
    EXPECT_EQ(Codes(), (std::vector<int>{CAMERR_MEMORY, CAMERR_MEMORY}));
    EXPECT_EQ(frame, std::vector<uint8_t>(FrameBytes() + 1, 0xEE));

    ASSERT_EQ(Lumora_CallBackPreview(h, notify, frame.data(), shortSize, 0), 1);
    ASSERT_TRUE(WaitFor([&] { return log.Frames(notify).size() >= 3; }));
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    for (const Message& m : log.Frames(notify)) {
        EXPECT_EQ(m.wParam, 0u);
        EXPECT_EQ(m.lParam, CAMERR_MEMORY);
    }
    EXPECT_EQ(frame, std::vector<uint8_t>(FrameBytes() + 1, 0xEE));
}

// Five seconds of 640 x 480 frames to an application's notifier, without a window system.
TEST_F(AcquisitionTest, CallBackPreviewNotifiesEveryFrameItProcesses) {
    struct Received {
        std::mutex mutex;
        std::vector<FrameInfo> frames;
        std::vector<std::chrono::steady_clock::time_point> at;
        int failures = 0;
    } received;
    LumoraNotifier notifier{LUMORA_NOTIFIER_TAG,
                            [](void* context, unsigned int msg, uintptr_t wParam, intptr_t) {
                                auto* r = static_cast<Received*>(context);
                                if (msg != CAMMSG_FRAME) return;
                                std::lock_guard<std::mutex> lock(r->mutex);
                                if (wParam == 0) {
                                    ++r->failures;
                                    return;
                                }
                                r->frames.push_back(*reinterpret_cast<const FrameInfo*>(wParam));
                                r->at.push_back(std::chrono::steady_clock::now());
                            },
                            &received};
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 640, 2616, 0, 480), 1);
    ASSERT_EQ(Lumora_SetColorMode(h, 16), 1);
    emulator->SetFramePeriodUs(40000);
    std::vector<uint8_t> frame(640 * 480 * 2, 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Lumora_CallBackPreview(h, &notifier, frame.data(), static_cast<int>(frame.size()), 1), 1);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_EQ(Lumora_Close(h), 1);
    std::lock_guard<std::mutex> lock(received.mutex);
    EXPECT_EQ(received.frames.size(), camera->acquisition.Previewer().FramesProcessed());
    EXPECT_GT(received.frames.size(), 50u);
    EXPECT_EQ(received.failures, 0);
    for (size_t i = 0; i < received.frames.size(); ++i) {
        const FrameInfo& info = received.frames[i];
        EXPECT_EQ(info.size, static_cast<int>(sizeof(FrameInfo)));
        EXPECT_EQ(info.width, 640);
        EXPECT_EQ(info.height, 480);
        EXPECT_EQ(info.bitCount, 16);
        EXPECT_EQ(info.buffer, frame.data());
        if (received.at[i] - start < std::chrono::milliseconds(1000)) {
            EXPECT_EQ(info.fpsTimes10, 0);  // the first second has not passed
        }
    }
    EXPECT_GT(received.frames.back().fpsTimes10, 0);
    EXPECT_NE(frame, std::vector<uint8_t>(frame.size(), 0));
}

TEST(AcquisitionRates, FrameRateAndRecordingRate) {
    EXPECT_EQ(RecordingThread::MeasuredRate(50, 2040), 2450u);
    EXPECT_EQ(RecordingThread::MeasuredRate(1, 0), 0u);
    EXPECT_EQ(RecordingThread::MeasuredRate(100000, 1000), 10000000u);  // no 32-bit overflow
    // Windows of just over a second, across the wrap of the millisecond clock.
    FrameRateMeter meter;
    const uint32_t t0 = 0xFFFFFF00u;
    meter.Restart(t0);
    for (uint32_t t = 100; t <= 1000; t += 100) EXPECT_EQ(meter.Count(t0 + t), 0) << t;
    EXPECT_EQ(meter.Count(t0 + 1001), 10 * 11 * 1000 / 1001 * 1);  // 11 frames in 1001 ms: 109
    EXPECT_EQ(meter.Count(t0 + 1500), 109);
    EXPECT_EQ(meter.Count(t0 + 3001), 10);  // 2 frames in 2000 ms
}

TEST_F(AcquisitionTest, EveryColourAndSubsamplingModeGivesFramesOfItsSize) {
    emulator->SetFastFrames(true);
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 8, 640, 2616, 4, 480), 1);
    const int bits[] = {8, 16, 24, 32, 48, 64};
    const int subsampling[][2] = {{0, 1}, {1, 2}, {17, 2}, {2, 4}, {18, 4}};
    for (int b : bits) {
        for (const auto& s : subsampling) {
            SCOPED_TRACE(::testing::Message() << b << " bits, subsampling " << s[0]);
            ASSERT_EQ(Lumora_SetColorMode(h, b), 1);
            ASSERT_EQ(Lumora_SetSubSample(h, s[0]), 1);
            ASSERT_EQ(Lumora_SnapShot(h, nullptr, 0, 0), 1);
            const ImageBuffer& out = *camera->OutputBuffer();
            const int w = 640 / s[1], hgt = 480 / s[1];
            EXPECT_EQ(out.Width(), w);
            EXPECT_EQ(out.Height(), hgt);
            EXPECT_EQ(out.BitCount(), b);
            std::vector<uint8_t> frame(FrameBytes());
            EXPECT_EQ(Lumora_GetImage(h, frame.data(), static_cast<int>(frame.size()), 0), 1);
            // Raw samples of the wide modes are bytes widened to 12 bits.
            const ImageBuffer& raw = *camera->RawBuffer();
            int top = 0;
            for (int r = 0; r < raw.Height(); ++r) {
                for (int x = 0; x < raw.Width(); ++x) {
                    int v = raw.BitCount() == 8 ? raw.Row(r)[x] : raw.Row(r)[2 * x] | raw.Row(r)[2 * x + 1] << 8;
                    top = std::max(top, v);
                }
            }
            EXPECT_GT(top, 0);
            EXPECT_LE(top, raw.BitCount() == 8 ? 255 : 4095);
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
    ASSERT_EQ(Lumora_SetSubSample(h, 2), 1);
    ASSERT_EQ(Lumora_SetColorMode(h, 24), 1);
    for (int index : {7, 8, 9, 11}) ASSERT_EQ(Lumora_SetFilterValue(h, index, 100), 1);  // neutral
    ASSERT_EQ(Lumora_SetFilterValue(h, 12, 3), 1);  // Bayer phase 3
    ASSERT_EQ(Lumora_SnapShot(h, nullptr, 0, 0), 1);
    const ImageBuffer& out = *camera->OutputBuffer();
    ASSERT_EQ(out.Width(), 872);
    ASSERT_EQ(out.Height(), 654);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 6; ++c) {
            // The patch's centre; the sensor's rows land in the buffer's rows in order.
            const int x = (174 + c * 523 + 261) / 4, y = (261 + r * 490 + 245) / 4;
            const uint8_t* bgr = out.Row(y) + 3 * x;
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(bgr[2 - k], chart[r][c][k], 12) << "patch " << r << "," << c << " channel " << k;
            }
        }
    }
}

TEST_F(AcquisitionTest, TwoSecondRecordingIsReadableWithTheReportedCountAndRate) {
    // 322 pixels: rows of 966 bytes, which the file takes unpadded.
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 322, 2616, 0, 240), 1);
    ASSERT_EQ(Lumora_SetColorMode(h, 16), 1);
    emulator->SetFramePeriodUs(40000);
    const std::string path = TempPath("two_seconds.avi");
    ASSERT_EQ(Lumora_Record(h, path.c_str(), 2000, 0), 1);
    const RecordingThread& recorder = camera->acquisition.Recorder();
    ASSERT_TRUE(WaitFor([&] { return !recorder.Active(); }, 6000));
    EXPECT_EQ(Lumora_Close(h), 1);
    long frames = 0;
    double rate = 0;
    ASSERT_TRUE(Probe(path, &frames, &rate));
    EXPECT_GT(recorder.LastFrameCount(), 10u);
    EXPECT_EQ(frames, static_cast<long>(recorder.LastFrameCount()));
    EXPECT_NEAR(rate, recorder.LastRate(), 1.0);
    // The frames over the two seconds from the first one to the end.
    EXPECT_NEAR(recorder.LastRate(), recorder.LastFrameCount() * 100000.0 / 2000, recorder.LastRate() * 0.03);
    EXPECT_EQ(Codes(), std::vector<int>{});
    std::remove(path.c_str());
}

TEST_F(AcquisitionTest, UnplugMidRecording) {
    const std::string path = TempPath("unplugged.avi");
    ASSERT_EQ(Lumora_Record(h, path.c_str(), 60000, 0), 1);
    const RecordingThread& recorder = camera->acquisition.Recorder();
    ASSERT_TRUE(WaitFor([&] { return recorder.FramesWritten() >= 3; }));
    emulator->UnplugAfter(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    EXPECT_FALSE(camera->acquisition.Previewer().Running());
    EXPECT_FALSE(recorder.Active());
    long frames = 0;
    double rate = 0;
    ASSERT_TRUE(Probe(path, &frames, &rate));
    EXPECT_EQ(frames, static_cast<long>(recorder.LastFrameCount()));
    EXPECT_GE(frames, 3);
    EXPECT_NEAR(rate, recorder.LastRate(), 1.0);
    std::remove(path.c_str());
    for (int code : Codes()) EXPECT_EQ(code, CAMERR_TRANSFER);
}

TEST_F(AcquisitionTest, UnplugMidSnapshot) {
    MessageLog log;
    std::vector<uint8_t> frame(320 * 240);
    ASSERT_EQ(Lumora_CallBackPreview(h, notify, nullptr, 0, 0), 1);
    ASSERT_EQ(Lumora_StopPreview(h), 1);
    ASSERT_EQ(Lumora_Capture(h), 1);
    camera->device->SetWaitTime(100);  // the frame time-out, 8 s by default
    emulator->UnplugAfter(0);
    EXPECT_EQ(Lumora_SnapShot(h, frame.data(), static_cast<int>(frame.size()), 1), 0);
    EXPECT_EQ(Codes(), std::vector<int>{CAMERR_TRANSFER});
    ASSERT_FALSE(log.Frames(notify).empty());
    EXPECT_EQ(log.Frames(notify).back().wParam, 0u);
    EXPECT_EQ(log.Frames(notify).back().lParam, CAMERR_TRANSFER);
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    EXPECT_EQ(camera->acquisition.State(), AcquisitionState::Idle);
}

TEST_F(AcquisitionTest, StopEndsAStalledPreviewWhateverTheWaitTime) {
    for (int wait : {INT_MAX, 10}) {
        ASSERT_EQ(Lumora_SetWaitTime(h, wait), 1);
        ASSERT_EQ(Lumora_StartPreview(h), 1);
        emulator->StallReady(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        // A liveness bound, not a speed target: a pause that ignored the stop would take days.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Lumora_StopPreview(h), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(camera->acquisition.Previewer().Running());
        emulator->StallReady(false);
    }
}

TEST_F(AcquisitionTest, FailedCallBackPreviewLeavesNoTargetBehind) {
    MessageLog log;
    std::vector<uint8_t> frame(320 * 240, 0xEE);
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 100, 3400, 2616, 0, 240), 0);  // off the sensor
    EXPECT_EQ(Lumora_CallBackPreview(h, notify, frame.data(), static_cast<int>(frame.size()), 1), 0);
    EXPECT_EQ(Codes(), (std::vector<int>{CAMERR_CAPTURE_WINDOW, CAMERR_CAPTURE_WINDOW,
                                         CAMERR_NO_DEVICE, CAMERR_TRANSFER}));
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 320, 2616, 0, 240), 1);
    ASSERT_EQ(Lumora_StartPreview(h), 1);
    ASSERT_TRUE(WaitFor([&] { return camera->acquisition.Previewer().FramesProcessed() >= 3; }));
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    EXPECT_TRUE(log.Frames(notify).empty());
    EXPECT_EQ(frame, std::vector<uint8_t>(320 * 240, 0xEE));
}

TEST_F(AcquisitionTest, WindowTheSensorRefusesIsNoSuccess) {
    EXPECT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 2, 2616, 0, 2), 0);
    EXPECT_EQ(Codes(), std::vector<int>{CAMERR_CAPTURE_WINDOW});
    int ht, hs, he, vt, vs, ve;
    Lumora_GetCaptureWindowEx(h, &ht, &hs, &he, &vt, &vs, &ve);
    EXPECT_EQ(he, 2);
    EXPECT_EQ(ve, 2);
    EXPECT_EQ(Lumora_SnapShot(h, nullptr, 0, 0), 0);
    EXPECT_EQ(Codes(), (std::vector<int>{CAMERR_CAPTURE_WINDOW, CAMERR_NO_DEVICE}));
}

TEST_F(AcquisitionTest, SizeChangesMidPreviewNeverOverflowAnyBuffer) {
    MessageLog log;
    const size_t bytes = 320 * 240;
    std::vector<uint8_t> frame(bytes + 64, 0xEE);
    ASSERT_EQ(Lumora_CallBackPreview(h, notify, frame.data(), static_cast<int>(bytes), 1), 1);
    ASSERT_TRUE(WaitFor([&] { return log.Frames(notify).size() >= 2; }));
    // Larger, smaller and deeper frames asked for while the stream runs.
    ASSERT_EQ(Lumora_SetColorMode(h, 64), 1);
    ASSERT_EQ(Lumora_SetSubSample(h, 17), 1);
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 3488, 2616, 0, 2616), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, 64, 2616, 0, 48), 1);
    ASSERT_TRUE(WaitFor([&] {
        std::vector<Message> m = log.Frames(notify);
        return m.back().lParam == CAMERR_TRANSFER;
    }));
    std::vector<uint8_t> image(bytes);
    EXPECT_EQ(Lumora_GetImage(h, image.data(), static_cast<int>(bytes), 1), 1);
    EXPECT_EQ(Lumora_StopPreview(h), 1);
    for (size_t i = bytes; i < frame.size(); ++i) ASSERT_EQ(frame[i], 0xEE) << i;
    for (const Message& m : log.Frames(notify)) {
        if (m.wParam != 0) {
            EXPECT_EQ(m.info.width, 320);
        }
    }
    // The next preparation takes the new settings.
    ASSERT_EQ(Lumora_SnapShot(h, nullptr, 0, 0), 1);
    EXPECT_EQ(camera->OutputBuffer()->BitCount(), 64);
    EXPECT_EQ(camera->OutputBuffer()->Width(), 32);
}

TEST(FrameHandOverTest, ReadersNeverSeeAHalfWrittenFrame) {
    ImageBuffer output;
    ASSERT_EQ(output.Create(256, 64, 24), 1);
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
    EXPECT_EQ(torn, 0);
    EXPECT_GT(published, 0);
    EXPECT_GT(reads, 0);
    ImageBuffer other;
    ASSERT_EQ(other.Create(255, 64, 24), 1);
    EXPECT_FALSE(handOver.Publish(other, true));  // another size is never copied in
}

TEST(RecordingThreadTest, FileThatTakesNoMoreFramesIsFinishedThere) {
    CameraObject camera;  // no device: only its error history is used
    ImageBuffer frame;
    ASSERT_EQ(frame.Create(16, 8, 24), 1);
    FrameHandOver handOver;
    ASSERT_EQ(handOver.Prepare(frame), 1);
    // Room for three frames of 8 + 384 bytes with their index entries.
    AviWriter writer(224 + 3 * (392 + 16) + 8);
    writer.SetFrameSize(16, 8);
    writer.SetFrameRate(30);
    const std::string path = TempPath("full.avi");
    ASSERT_TRUE(writer.BeginFile(path.c_str()));
    RecordingThread recording(camera, writer, handOver);
    ASSERT_TRUE(recording.Start(60000));
    for (int k = 0; recording.Active() && k < 1000; ++k) {
        std::memset(frame.Bits(), k, static_cast<size_t>(frame.Stride()) * frame.Height());
        handOver.Publish(frame, true);
        recording.FrameReady();
        std::this_thread::sleep_for(std::chrono::milliseconds(12));
    }
    EXPECT_FALSE(recording.Active());
    EXPECT_EQ(recording.LastFrameCount(), 3u);
    EXPECT_EQ(camera.PopError(), CAMERR_STORAGE);
    EXPECT_EQ(camera.PopError(), 0);
    long frames = 0;
    double rate = 0;
    ASSERT_TRUE(Probe(path, &frames, &rate));
    EXPECT_EQ(frames, 3);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace lumora::test
