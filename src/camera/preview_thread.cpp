#include "camera/preview_thread.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "camera/acquisition.h"
#include "camera/acquisition_host.h"
#include "camera/frame_pipeline.h"
#include "device/k37vq_device.h"
#include "platform/clock.h"

namespace lumora {

bool PreviewThread::Start() {
    Stop();
    rate_.Restart(platform::MultimediaTime());
    frames_ = 0;
    busyUs_ = 0;
    if (K37VQDevice* device = camera_.Device()) device->ClearWake();
    run_ = 1;
    try {
        thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        run_ = 0;
        return false;
    }
    ++started_;
    return true;
}

void PreviewThread::Stop(bool drain) {
    int running = 1;
    if (!drain || !run_.compare_exchange_strong(running, 2)) run_ = 0;
    if (K37VQDevice* device = camera_.Device()) device->WakeFrameWaiters();
    if (thread_.joinable()) thread_.join();
    run_ = 0;
}

void PreviewThread::Loop() {
    // The device is asked at least once per wait time, counted from one question to the next:
    // a frame that took longer than the wait to process is followed by the next question at
    // once, and a frame that arrives during the wait is taken as it arrives.
    K37VQDevice& device = *camera_.Device();
    uint32_t asked = platform::TickCount();
    while (run_ != 0) {
        // Draining: what the device holds is taken without waiting, then the thread ends.
        const bool draining = run_ == 2;
        if (!draining) {
            const uint32_t wait = static_cast<uint32_t>(std::max(camera_.GetWaitTime(), 0));
            const uint32_t since = platform::TickCount() - asked;
            device.WaitForNewFrame(since < wait ? wait - since : 0);
            if (run_ == 0) break;
        }
        asked = platform::TickCount();
        const int status = device.QueryNewFrame();
        if (status == 1) {
            run_ = 0;
            acquisition_.PostFrame(CAMERR_STREAM_STOPPED);
            camera_.RecordError(CAMERR_STREAM_STOPPED);
            acquisition_.StreamStopped();
            break;
        }
        if (status != 3) {
            if (draining) break;
            continue;
        }
        const auto start = std::chrono::steady_clock::now();
        ProcessFrame();
        const auto spent = std::chrono::steady_clock::now() - start;
        busyUs_ += static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(spent).count());
        ++frames_;
    }
}

void PreviewThread::ProcessFrame() {
    if (!acquisition_.FetchFrame(false)) {
        acquisition_.PostFrame(CAMERR_TRANSFER);
        camera_.RecordError(CAMERR_TRANSFER);
        return;
    }
    const ImageBuffer& raw = *camera_.RawBuffer();
    const ImageBuffer& output = *camera_.OutputBuffer();
    FrameInfo& info = acquisition_.frameInfo;
    info.size = static_cast<int>(sizeof(FrameInfo));
    info.width = raw.Width();
    info.height = raw.Height();
    info.bitCount = output.BitCount();
    info.fpsTimes10 = rate_.Count(platform::MultimediaTime());
    camera_.Pipeline().Run();
    FrameDetails details;
    acquisition_.LastFrameDetails(&details);  // this thread's own frame, fetched above
    if (acquisition_.handOver.Publish(output, false, details)) acquisition_.FrameHandedOver();
    camera_.FrameWindow().Paint();
    acquisition_.DeliverFrame(output, info);
}

}  // namespace lumora
