#include "camera/reconnection.h"

#include "camera/acquisition.h"
#include "camera/acquisition_host.h"
#include "device/k37vq_device.h"
#include "lumora/LumoraSdk.h"

namespace lumora {

bool Reconnection::Restore() {
    if (!camera_.Device()->ReopenSameCamera()) return false;
    // The device wrote again what it had written; the window and the records' values go after.
    camera_.RewriteSensorSettings();
    const uint32_t count = ++count_;
    camera_.PostToErrorWindow(LUMORAEX_MSG_CAMERA_BACK, static_cast<intptr_t>(count));
    return true;
}

bool Reconnection::BringBackStream(const std::function<bool()>& stopped, bool recording) {
    K37VQDevice& device = *camera_.Device();
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
    K37VQDevice& device = *camera_.Device();
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
