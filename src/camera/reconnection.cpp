#include "camera/reconnection.h"

#include "camera/acquisition.h"
#include "camera/camera_object.h"
#include "platform/window_message.h"

namespace lumora {

bool Reconnection::Restore() {
    K37VQDevice& device = *camera_.device;
    if (!device.ReopenSameCamera()) return false;
    // The device wrote again what it had written; the window as the device holds it now and
    // the records' gains, exposure and mirrors (also those set while the camera was away) go
    // after, under the settings lock, so that a setter running meanwhile leaves its value last.
    camera_.WithSettings([&](FilterSettings&, GainSettings& g) {
        int x = 0, y = 0, w = 0, h = 0, mode = 0;
        device.GetCaptureWindow(&x, &y, &w, &h, &mode);
        device.SetCaptureWindow(x, y, w, h, mode);
        camera_.WriteGainSettings(g);
        return 0;
    });
    const uint32_t count = ++count_;
    platform::PostWindowMessage(camera_.errorWindow, LUMORAEX_MSG_CAMERA_BACK, 0, static_cast<intptr_t>(count));
    return true;
}

bool Reconnection::BringBackStream(const std::function<bool()>& stopped, bool recording) {
    K37VQDevice& device = *camera_.device;
    device.StopStream();
    while (!stopped() && Enabled()) {
        if (Restore()) {
            if (device.ContinueStream() != 0) {
                camera_.RecordError(CAMERR_REGISTER);
                return false;
            }
            if (recording) acquisition_.ContinueRecording();
            return true;
        }
        device.WaitForNewFrame(kPollMs);
    }
    return false;
}

bool Reconnection::BringBackNow() {
    K37VQDevice& device = *camera_.device;
    if (!device.CameraLost()) {
        lossTold_ = false;
        return true;
    }
    if (!lossTold_) {
        lossTold_ = true;
        camera_.RecordError(CAMERR_STREAM_STOPPED);
    }
    if (!Restore()) return false;
    lossTold_ = false;
    return true;
}

std::string Reconnection::ContinuationName(const std::string& fileName, int n) {
    const size_t slash = fileName.find_last_of("/\\");
    size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) {
        dot = fileName.size();
    }
    return fileName.substr(0, dot) + "_" + std::to_string(n) + fileName.substr(dot);
}

}  // namespace lumora
