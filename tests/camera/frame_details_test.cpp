// Every frame accounted for: the emulated camera stamps each frame with its own count, and over
// stop/start cycles with a quick and a slow consumer the frame details must name the stamped
// frame, the gaps between numbers must be the skipped counts, the timestamps must advance by the
// frame period, the stream statistics must add up, and a stop must deliver the last frame. Settings changed while frames flow show
// in the details of later frames. (Also run under ThreadSanitizer.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../device/emulated_disks.h"
#include "acquisition_test_support.h"

namespace lumora::test {
namespace {

constexpr int kW = 320, kH = 240;
constexpr uint32_t kPeriodUs = 10000;

// Per CAMMSG_FRAME, on the preview thread: the stamp in the buffer and the frame's details.
struct Seen {
    std::mutex mutex;
    std::vector<int> stamps;
    std::vector<LumoraExFrameDetails> details;
    const uint8_t* buffer = nullptr;
    LumoraHandle h = 0;
    int consumerMs = 0;
    static void Notify(void* context, unsigned msg, uintptr_t wParam, intptr_t) {
        auto* s = static_cast<Seen*>(context);
        if (msg != CAMMSG_FRAME || wParam == 0) return;
        LumoraExFrameDetails d{};
        d.size = sizeof d;
        const int got = LumoraEx_GetFrameDetails(s->h, &d);
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            s->stamps.push_back(got ? (s->buffer[kW / 2] | s->buffer[kW + kW / 2] << 8) : -1);
            s->details.push_back(d);
        }
        if (s->consumerMs) std::this_thread::sleep_for(std::chrono::milliseconds(s->consumerMs));
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return stamps.size();
    }
};

class FrameDetailsTest : public EmulatedDisks {
protected:
    void SetUp() override {
        emulator = DiskLayer::PlaceTestCameras(1)[0];
        emulator->SetFramePeriodUs(kPeriodUs);
        emulator->SetFrameStamp(true);
        h = Lumora_Initialize(nullptr);
        ASSERT_EQ(Lumora_SetCaptureWindowEx(h, 3488, 0, kW, 2616, 0, kH), 1);
        ASSERT_EQ(Lumora_SetColorMode(h, 8), 1);
        seen.buffer = frame.data();
        seen.h = h;
    }
    void TearDown() override { EXPECT_EQ(Lumora_Release(h), 1); }
    LumoraExStreamStatistics Statistics() {
        LumoraExStreamStatistics s{};
        s.size = sizeof s;
        EXPECT_EQ(LumoraEx_GetStreamStatistics(h, &s), 1);
        return s;
    }

    std::shared_ptr<CameraEmulator> emulator;
    LumoraHandle h = 0;
    std::vector<uint8_t> frame = std::vector<uint8_t>(kW * kH);
    Seen seen;
    LumoraNotifier notifier{LUMORA_NOTIFIER_TAG, Seen::Notify, &seen};
};

TEST_F(FrameDetailsTest, NumbersMatchStampsGapsAreSkipsTimesFollowThePeriod) {
    // A consumer that keeps up, and one that takes 2.5 frame periods per frame and so skips.
    for (int consumerMs : {0, 25}) {
        for (int cycle = 0; cycle < 3; ++cycle) {
            SCOPED_TRACE("consumer " + std::to_string(consumerMs) + " ms, cycle " + std::to_string(cycle));
            {
                std::lock_guard<std::mutex> lock(seen.mutex);
                seen.stamps.clear();
                seen.details.clear();
                seen.consumerMs = consumerMs;
            }
            ASSERT_EQ(Lumora_CallBackPreview(h, &notifier, frame.data(), kW * kH, 1), 1);
            const auto until = Clock::now() + std::chrono::seconds(10);
            while (seen.Count() < 20 && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_EQ(Lumora_StopPreview(h), 1);

            std::lock_guard<std::mutex> lock(seen.mutex);
            const auto& d = seen.details;
            ASSERT_GE(d.size(), 20u);
            const int offset = seen.stamps[0] - static_cast<int>(d[0].number);
            uint32_t skipped = d[0].skippedBefore;
            EXPECT_EQ(d[0].skippedBefore, d[0].number - 1);  // numbered from 1 at each start
            for (size_t i = 1; i < d.size(); ++i) {
                EXPECT_EQ(seen.stamps[i] - static_cast<int>(d[i].number), offset) << "frame " << i;
                EXPECT_GT(d[i].number, d[i - 1].number);
                EXPECT_EQ(d[i].number - d[i - 1].number - 1, d[i].skippedBefore) << "frame " << i;
                EXPECT_GT(d[i].timestamp, d[i - 1].timestamp);
                skipped += d[i].skippedBefore;
            }
            // On average the device's times advance by one frame period per number (a loaded
            // machine delays single frames, so each step is not held to it).
            const double perFrame = static_cast<double>(d.back().timestamp - d[0].timestamp) /
                                    (d.back().number - d[0].number);
            EXPECT_NEAR(perFrame, kPeriodUs, kPeriodUs * 0.25);
            if (consumerMs) {
                EXPECT_GT(skipped, 0u);
            }

            const LumoraExStreamStatistics s = Statistics();
            EXPECT_EQ(s.delivered, d.size());
            EXPECT_EQ(s.skippedConsumerBusy, skipped);
            EXPECT_EQ(s.skipped, s.skippedConsumerBusy + s.skippedWrongSize + s.skippedStreamEnd);
            EXPECT_EQ(s.completed, s.delivered + s.skipped);  // stopped: nothing in flight
            EXPECT_EQ(s.failed, 0u);
            // The stop delivers the newest frame the device completed, and no other follows.
            EXPECT_EQ(s.skippedStreamEnd, 0u);
            EXPECT_EQ(s.completed, d.back().number);
        }
    }
}

TEST_F(FrameDetailsTest, SettingsChangedWhileStreamingShowInLaterFrames) {
    ASSERT_EQ(Lumora_SetExposureTime(h, 100), 1);
    ASSERT_EQ(Lumora_SetColorGainRed(h, 20), 1);
    ASSERT_EQ(Lumora_CallBackPreview(h, &notifier, frame.data(), kW * kH, 1), 1);
    // Setters on this thread while the preview thread reads details for each frame.
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(Lumora_SetExposureTime(h, 100 + i % 2 * 200), 1);
        EXPECT_EQ(Lumora_SetGlobalGain(h, 10 + i % 3), 1);
        LumoraExStreamStatistics s = Statistics();
        EXPECT_LE(s.delivered + s.skipped, s.completed);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    ASSERT_EQ(Lumora_SetExposureTime(h, 321), 1);
    ASSERT_EQ(Lumora_SetColorGainBlue(h, 33), 1);
    const size_t before = seen.Count();
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (seen.Count() < before + 3 && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(Lumora_StopPreview(h), 1);
    std::lock_guard<std::mutex> lock(seen.mutex);
    ASSERT_GE(seen.details.size(), before + 3);
    for (const LumoraExFrameDetails& d : seen.details) {
        EXPECT_TRUE(d.exposureLines == 100 || d.exposureLines == 300 || d.exposureLines == 321) << d.exposureLines;
    }
    const LumoraExFrameDetails& last = seen.details.back();
    EXPECT_EQ(last.size, static_cast<int>(sizeof(LumoraExFrameDetails)));
    EXPECT_EQ(last.exposureLines, 321u);
    EXPECT_EQ(last.gainBlue, 33u);
    EXPECT_GT(last.exposureMicroseconds, 0u);
    // The exposure time export and the details agree on the microseconds.
    int ok = 0;
    EXPECT_NEAR(static_cast<double>(last.exposureMicroseconds), Lumora_GetRealExposureTime(h, &ok), 2.0);
}

TEST_F(FrameDetailsTest, SnapShotIsFrameOneAndBadRecordsAreRefused) {
    LumoraExFrameDetails d{};
    d.size = sizeof d;
    EXPECT_EQ(LumoraEx_GetFrameDetails(h, &d), 0);  // no frame yet
    ASSERT_EQ(Lumora_SnapShot(h, frame.data(), kW * kH, 1), 1);
    ASSERT_EQ(LumoraEx_GetFrameDetails(h, &d), 1);
    EXPECT_EQ(d.number, 1u);
    EXPECT_EQ(d.skippedBefore, 0u);
    EXPECT_GT(d.timestamp, 0u);
    const LumoraExStreamStatistics s = Statistics();
    EXPECT_EQ(s.completed, 1u);
    EXPECT_EQ(s.delivered, 1u);
    EXPECT_EQ(s.skipped, 0u);

    // Null records, records too small and handles not open change nothing and give 0.
    LumoraExFrameDetails small{};
    small.size = sizeof small - 1;
    LumoraExStreamStatistics smallStats{};
    smallStats.size = 4;
    LumoraExStreamStatistics good{};
    good.size = sizeof good;
    struct Case {
        LumoraHandle handle;
        LumoraExFrameDetails* details;
        LumoraExStreamStatistics* statistics;
    };
    for (const Case& c : {Case{h, nullptr, nullptr}, Case{h, &small, &smallStats}, Case{h + 1, &d, &good},
                          Case{0, &d, &good}}) {
        const LumoraExFrameDetails keep = d;
        EXPECT_EQ(LumoraEx_GetFrameDetails(c.handle, c.details), 0);
        EXPECT_EQ(LumoraEx_GetStreamStatistics(c.handle, c.statistics), 0);
        EXPECT_EQ(std::memcmp(&keep, &d, sizeof d), 0);
    }
    EXPECT_EQ(small.number, 0u);
    EXPECT_EQ(smallStats.completed, 0u);
    EXPECT_EQ(good.completed, 0u);
    EXPECT_EQ(Lumora_GetLastError(h), CAMERR_ARGUMENT);
}

// The recorder's index beside the AVI: a line per AVI frame, in order, each naming a device
// frame (numbers and times rising) recorded with the sensor's settings.
TEST_F(FrameDetailsTest, RecordingIndexNamesEveryAviFrame) {
    const std::string path = TempPath("frame_index.avi");
    ASSERT_EQ(Lumora_SetExposureTime(h, 150), 1);
    ASSERT_EQ(Lumora_Record(h, path.c_str(), 600, 0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ASSERT_EQ(Lumora_StopPreview(h), 1);
    std::FILE* avi = std::fopen(path.c_str(), "rb");
    ASSERT_NE(avi, nullptr);
    uint8_t header[52] = {};
    ASSERT_EQ(std::fread(header, 1, sizeof header, avi), sizeof header);
    std::fclose(avi);
    const uint32_t aviFrames = header[48] | header[49] << 8 | header[50] << 16 | uint32_t{header[51]} << 24;
    ASSERT_GT(aviFrames, 10u);

    std::FILE* index = std::fopen((path + ".frames.csv").c_str(), "r");
    ASSERT_NE(index, nullptr);
    char line[256];
    ASSERT_NE(std::fgets(line, sizeof line, index), nullptr);
    EXPECT_STREQ(line, "avi_frame,number,timestamp_us,skipped_before,exposure_lines,exposure_us,global_gain,"
                       "gain_red,gain_green1,gain_green2,gain_blue\n");
    uint32_t rows = 0, lastNumber = 0;
    unsigned long long lastTime = 0;
    while (std::fgets(line, sizeof line, index)) {
        unsigned aviFrame = 0, number = 0, skipped = 0, lines = 0, us = 0, gains[5] = {};
        unsigned long long time = 0;
        ASSERT_EQ(std::sscanf(line, "%u,%u,%llu,%u,%u,%u,%u,%u,%u,%u,%u", &aviFrame, &number, &time, &skipped,
                              &lines, &us, &gains[0], &gains[1], &gains[2], &gains[3], &gains[4]),
                  11)
            << line;
        EXPECT_EQ(aviFrame, rows);
        EXPECT_GT(number, lastNumber);
        EXPECT_GT(time, lastTime);
        EXPECT_EQ(lines, 150u);
        EXPECT_GT(us, 0u);
        lastNumber = number;
        lastTime = time;
        ++rows;
    }
    std::fclose(index);
    EXPECT_EQ(rows, aviFrames);
    std::remove(path.c_str());
    std::remove((path + ".frames.csv").c_str());
}

}  // namespace
}  // namespace lumora::test
