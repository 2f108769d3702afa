#pragma once
// The "Analog Gain" page of the analog gain dialog. Without a window it loads and stores the
// gain group of one camera, "Gain_NN" with NN the device's selected camera number: the camera
// object builds one on its stack at initialisation and release.
//
// As the page of the open analog gain dialog it writes every change to the camera at once:
// gains, exposure and mirrors go to the sensor and into the record while the user drags.
//
// Constructing a page touches nothing outside it: no process-wide instance is registered (the
// page's window carries its object), so a page made only to load or save never takes over the
// messages of an open dialog of its class.
//
// Thread context: the thread that made the page (the application's); the window operations run
// on the dialog's thread, alongside the preview thread (the device pauses its stream for each
// register write).
#include <string>

#include "camera/camera_object.h"
#include "camera/gain_settings.h"
#include "device/camera_device.h"
#include "platform/window_message.h"

namespace lumora {

class AnalogGainPage {
public:
    AnalogGainPage(CameraDevice* device = nullptr, GainSettings* settings = nullptr)
        : device_(device), settings_(settings) {}

    // Reads the nine values of the device's "Gain_NN" into the record; when the root or that key
    // is missing, or a value is, the defaults (gains 32, exposure 2600, the rest 0) apply; a
    // non-zero mirror counts as 1. Returns 1; 0
    // without a record or a device (the record is then unchanged).
    int LoadGainSettings();
    // Writes the nine values into the device's "Gain_NN" (created where missing); 0 when that
    // fails, or without a record or a device.
    int SaveGainSettings();

    // The exposure time label: "=%.2fms" of (exposure x line length + line offset) x clock
    // period (microseconds), 0 without timing or settings.
    static std::string ExposureTimeText(const CameraObject::LineTiming* timing,
                                        const GainSettings* settings);

    // ---- The page of the open analog gain dialog (Windows) ----
    void Attach(K37VQDevice* device, GainSettings* settings, int* bayerPhase,
                const CameraObject::LineTiming* timing) {
        device_ = device;
        sensor_ = device;
        settings_ = settings;
        bayerPhase_ = bayerPhase;
        timing_ = timing;
    }
    // Creates the page as a child of parent at 30, 25, shown. False when it cannot.
    bool Create(platform::WindowHandle parent);
    platform::WindowHandle Window() const { return window_; }
    // Direction 0: the six groups from the record; 1: the six fields from the edits.
    void Refresh(int direction);
    // Shows value in the edit controlId as if typed (the edit's change handling applies it).
    void ShowValue(int controlId, int value);

private:
    CameraDevice* device_;
    GainSettings* settings_;
    K37VQDevice* sensor_ = nullptr;
    int* bayerPhase_ = nullptr;
    const CameraObject::LineTiming* timing_ = nullptr;
    platform::WindowHandle window_ = nullptr;
    bool initDone_ = false;

    struct View;
};

}  // namespace lumora
