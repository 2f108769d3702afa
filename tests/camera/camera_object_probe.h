#pragma once
// The camera object's records, reached directly by tests that run the pipeline on their own
// thread with no acquisition running (CameraObject names this struct its friend).
#include "camera/camera_object.h"

namespace lumora {

struct CameraObjectProbe {
    static FilterSettings& Filters(CameraObject& camera) { return camera.filterSettings_; }
    static GainSettings& Gains(CameraObject& camera) { return camera.gainSettings_; }
    static std::unique_ptr<K37VQDevice>& DeviceSlot(CameraObject& camera) { return camera.device_; }
    static CameraObject::LineTiming& Timing(CameraObject& camera) { return camera.lineTiming_; }
    static int LastExposureTimeUs(const CameraObject& camera) { return camera.lastExposureTimeUs_; }
    static platform::WindowHandle& ErrorWindow(CameraObject& camera) { return camera.errorWindow_; }
};

}  // namespace lumora
