#pragma once
// The "Analog Gain" page of the analog gain dialog. Without a window it loads and stores the
// gain group of one camera, "Gain_NN" with NN the device's selected camera number: the camera
// object builds one on its stack at initialisation and release.
//
// Constructing a page touches nothing outside it: no process-wide instance is registered, so a
// page made only to load or save never takes over the messages of an open dialog of its class.
//
// Thread context: the thread that made the page (the application's).
#include "camera/gain_settings.h"
#include "device/camera_device.h"

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

private:
    CameraDevice* device_;
    GainSettings* settings_;
};

}  // namespace lumora
