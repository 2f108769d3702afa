// The callback preview on an emulated camera at its fastest clock: which share of the frames the
// device completes reaches the caller's notifier, and how long the preview thread spends on one
// frame (fetch, pipeline, hand-over, copy into caller memory, notification).
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
        camera.Initialize(nullptr);
        camera.SetFilterValue(13, 32);
        camera.SetFilterValue(18, 2600);
        for (int neutral : {7, 8, 9, 11}) camera.SetFilterValue(neutral, 100);  // white balance, gamma
        camera.SetHalfClock(5);
        camera.SetSubSample(static_cast<int>(state.range(0)));
        camera.SetColorMode(static_cast<int>(state.range(1)));
        const int divisor = state.range(0) == 1 ? 2 : 1;
        const size_t bytes = static_cast<size_t>(3488 / divisor) * (2616 / divisor) * 8;
        std::vector<uint8_t> buffer(bytes);
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
        const auto& previewer = camera.acquisition.Previewer();
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

}  // namespace
