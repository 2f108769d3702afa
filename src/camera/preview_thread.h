#pragma once
// The preview thread of a camera: every wait-time interval it asks the device for a newer frame,
// fetches it into the raw buffer, fills FrameInfo with the frame rate, runs the frame pipeline,
// hands the result over to the readers, paints it into the preview window, copies it into the
// caller's buffer and posts CAMMSG_FRAME to the notify window. Failed fetches are reported and
// skipped; only a device that reports the stream stopped ends the thread by itself.
//
// Thread context: Start and Stop run on the application's thread; Loop is the thread's body.
// The pause between frames ends at once when a frame arrives or a stop is requested (the
// device's WaitForNewFrame), whatever the wait time.
#include <atomic>
#include <cstdint>
#include <thread>

#include "camera/frame_rate_meter.h"

namespace lumora {

class Acquisition;
class AcquisitionHost;

class PreviewThread {
public:
    PreviewThread(AcquisitionHost& camera, Acquisition& acquisition)
        : camera_(camera), acquisition_(acquisition) {}
    ~PreviewThread() { Stop(); }
    PreviewThread(const PreviewThread&) = delete;
    PreviewThread& operator=(const PreviewThread&) = delete;

    // Starts the thread with a new frame-rate window; false when no thread can be made.
    bool Start();
    // Asks the thread to stop, wakes its pause and waits for it to end. Safe without a thread.
    // With drain, a running thread first processes the frame the device holds, if any (the
    // device reads no more: see CameraDevice::HaltStream).
    void Stop(bool drain = false);
    // True from Start until the thread is asked to stop or ends by itself.
    bool Running() const { return run_.load() == 1; }

    // Observation (any thread): threads started so far; frames processed and the time spent on
    // them (from the frame status to the notification) since the last Start.
    int ThreadsStarted() const { return started_.load(); }
    uint32_t FramesProcessed() const { return frames_.load(); }
    uint64_t BusyMicroseconds() const { return busyUs_.load(); }

private:
    void Loop();
    void ProcessFrame();

    AcquisitionHost& camera_;
    Acquisition& acquisition_;
    std::atomic<int> run_{0};  // 1 running, 2 draining, 0 stopping or ended
    std::thread thread_;
    FrameRateMeter rate_;
    std::atomic<int> started_{0};
    std::atomic<uint32_t> frames_{0};
    std::atomic<uint64_t> busyUs_{0};
};

}  // namespace lumora
