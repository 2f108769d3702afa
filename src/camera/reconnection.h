#pragma once
// Bringing back a camera that left the bus, for a handle that asked for it: the same camera on
// the same drive (CameraDevice::ReopenSameCamera), the handle's capture window, gains,
// exposure and mirrors written again, and the acquisition that was running going on; the
// application told through the error window (LUMORAEX_MSG_CAMERA_BACK).
//
// Thread context: Enable, Enabled and Count on any thread. BringBackStream on the preview
// thread, which owns the device's stream meanwhile (the application's thread stops that thread
// before it starts or stops acquisition). BringBackNow on the application's thread while no
// preview thread runs (the capture style).
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace lumora {

class Acquisition;
class AcquisitionHost;

class Reconnection {
public:
    // How often the drive is looked at while the camera is away.
    static constexpr uint32_t kPollMs = 20;

    Reconnection(AcquisitionHost& camera, Acquisition& acquisition)
        : camera_(camera), acquisition_(acquisition) {}
    Reconnection(const Reconnection&) = delete;
    Reconnection& operator=(const Reconnection&) = delete;

    void Enable(bool on) { enabled_ = on; }
    bool Enabled() const { return enabled_.load(); }
    // The times the camera came back to this handle.
    uint32_t Count() const { return count_.load(); }

    // After the stream stopped because the camera left: stops the device's stream, waits for
    // the camera until stopped() is true or reconnection is turned off (the device's frame
    // waiters are woken by the preview thread's stop, which ends the wait at once), brings it
    // back and continues the stream, and a recording that was running (recording) in a new
    // file. True when the stream goes on.
    bool BringBackStream(const std::function<bool()>& stopped, bool recording);
    // Capture style, before a single frame: true when the camera is there (it never left, or
    // came back now); tells CAMERR_STREAM_STOPPED once when it is found gone.
    bool BringBackNow();
    // The n-th continuation of the recording fileName: "_n" before its extension.
    static std::string ContinuationName(const std::string& fileName, int n);

private:
    // Reopens the same camera and writes the handle's settings to it; true when it is back
    // (then counted and told).
    bool Restore();

    AcquisitionHost& camera_;
    Acquisition& acquisition_;
    std::atomic<bool> enabled_{false};
    std::atomic<uint32_t> count_{0};
    bool lossTold_ = false;  // BringBackNow's thread
};

}  // namespace lumora
