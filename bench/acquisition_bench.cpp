// The callback preview on an emulated camera at its fastest clock: which share of the frames the
// device completes reaches the caller's notifier, and how long the preview thread spends on one
// frame (fetch, pipeline, hand-over, copy into caller memory, notification). Then the same over
// 30 s by the library's own stream statistics: delivered against completed, and why any frame
// was skipped.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "camera/camera_object.h"
#include "device/disk_layer.h"
#include "platform/window_message.h"

namespace {

using lumora::CameraObject;

// Unity gains, neutral white balance and gamma, the fastest clock, the subsampling mode and colour
// bits of the benchmark's arguments; returns a caller buffer large enough for any frame of them.
std::vector<uint8_t> PrepareFastCamera(CameraObject& camera, const benchmark::State& state) {
    camera.Initialize(nullptr);
    camera.SetFilterValue(13, 32);
    camera.SetFilterValue(18, 2600);
    for (int neutral : {7, 8, 9, 11}) camera.SetFilterValue(neutral, 100);  // white balance, gamma
    camera.SetHalfClock(5);
    camera.SetSubSample(static_cast<int>(state.range(0)));
    camera.SetColorMode(static_cast<int>(state.range(1)));
    const int divisor = state.range(0) == 1 ? 2 : 1;
    return std::vector<uint8_t>(static_cast<size_t>(3488 / divisor) * (2616 / divisor) * 8);
}

// Arguments: subsampling mode, colour bits. Frames of 3488 x 2616 (mode 0) or 1744 x 1308 (1).
void BM_CallbackPreviewDelivery(benchmark::State& state) {
    auto emulator = lumora::DiskLayer::PlaceTestCameras(1)[0];
    std::atomic<uint32_t> delivered{0};
    int token = 0;
    lumora::platform::SetMessageSink([&](void* window, uint32_t msg, uintptr_t wParam, intptr_t) {
        if (window == &token && msg == CAMMSG_FRAME && wParam != 0) ++delivered;
    });
    {
        CameraObject camera;
        std::vector<uint8_t> buffer = PrepareFastCamera(camera, state);
        const size_t bytes = buffer.size();
        uint32_t deviceFrames = 0, frames = 0;
        for (auto _ : state) {
            // Every frame the camera begins to send from the start to the stop is counted, so
            // the one or two under way when the preview stops count as lost.
            const uint32_t before = emulator->FramesDelivered();
            if (!camera.CallBackPreview(&token, buffer.data(), static_cast<int>(bytes), 1)) {
                state.SkipWithError("the preview did not start");
                break;
            }
            std::this_thread::sleep_for(std::chrono::seconds(6));
            camera.StopPreview();
            deviceFrames = emulator->FramesDelivered() - before;
            frames = delivered;
        }
        const auto& previewer = camera.Acquirer().Previewer();
        state.counters["device_frames"] = deviceFrames;
        state.counters["delivered_pct"] = deviceFrames ? 100.0 * frames / deviceFrames : 0.0;
        state.counters["preview_ms_per_frame"] =
            previewer.FramesProcessed() ? previewer.BusyMicroseconds() / 1000.0 / previewer.FramesProcessed() : 0.0;
    }
    lumora::platform::SetMessageSink(nullptr);
    lumora::DiskLayer::ClearTestDrives();
}
BENCHMARK(BM_CallbackPreviewDelivery)
    ->ArgNames({"subsampling", "bits"})
    ->Args({0, 24})
    ->Args({1, 24})
    ->Args({0, 8})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Arguments: subsampling mode, colour bits. 30 s of a callback preview at the fastest clock; the
// counters are the stream statistics after the stop: every frame the device completed should be
// delivered (delivered_pct 100, but for a frame completed as the stop came, counted in
// skipped_stream_end), any other is counted by the cause that skipped it.
void BM_CallbackPreviewEveryFrame(benchmark::State& state) {
    lumora::DiskLayer::PlaceTestCameras(1);
    std::atomic<uint32_t> posted{0};
    int token = 0;
    lumora::platform::SetMessageSink([&](void* window, uint32_t msg, uintptr_t wParam, intptr_t) {
        if (window == &token && msg == CAMMSG_FRAME && wParam != 0) ++posted;
    });
    {
        CameraObject camera;
        std::vector<uint8_t> buffer = PrepareFastCamera(camera, state);
        const size_t bytes = buffer.size();
        LumoraExStreamStatistics s{};
        s.size = sizeof s;
        for (auto _ : state) {
            if (!camera.CallBackPreview(&token, buffer.data(), static_cast<int>(bytes), 1)) {
                state.SkipWithError("the preview did not start");
                break;
            }
            std::this_thread::sleep_for(std::chrono::seconds(30));
            camera.StopPreview();
            camera.GetStreamStatistics(&s);
        }
        state.counters["completed"] = s.completed;
        state.counters["delivered"] = s.delivered;
        state.counters["posted"] = posted.load();
        state.counters["delivered_pct"] = s.completed ? 100.0 * s.delivered / s.completed : 0.0;
        // The frame that completes as the preview stops cannot be taken any more: the share of
        // the frames completed while the consumer could still take them.
        const uint32_t takeable = s.completed - s.skippedStreamEnd;
        state.counters["delivered_of_takeable_pct"] = takeable ? 100.0 * s.delivered / takeable : 0.0;
        state.counters["skipped_consumer_busy"] = s.skippedConsumerBusy;
        state.counters["skipped_wrong_size"] = s.skippedWrongSize;
        state.counters["skipped_stream_end"] = s.skippedStreamEnd;
        state.counters["failed"] = s.failed;
        state.counters["stalls"] = s.stalls;
    }
    lumora::platform::SetMessageSink(nullptr);
    lumora::DiskLayer::ClearTestDrives();
}
BENCHMARK(BM_CallbackPreviewEveryFrame)
    ->ArgNames({"subsampling", "bits"})
    ->Args({0, 24})
    ->Args({1, 24})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
