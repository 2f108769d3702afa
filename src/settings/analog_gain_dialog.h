#pragma once
// The analog gain dialog: the "Analog Gain" page in a tab control, with OK, Cancel and
// "Default(&D)". The page writes the camera live; the caller writes the values from before the
// dialog back unless it ends with OK.
//
// Thread context: the application's thread (the one that shows the dialog). While the dialog is
// open its notifier takes the automatic iris's new gain or exposure and posts it to the window.
#include <mutex>

#include "camera/camera_object.h"
#include "camera/gain_settings.h"
#include "platform/window_message.h"
#include "settings/dialog_support.h"
#include "settings/analog_gain_page.h"
#include "settings/dialog_notifier.h"

namespace lumora {

class AnalogGainDialog {
public:
    // settingsLock (when given) guards the record and the phase: held for each message the
    // dialog handles.
    AnalogGainDialog(K37VQDevice* device, GainSettings* settings, int* bayerPhase,
                     const CameraObject::LineTiming* timing, DialogNotifier* notifier,
                     std::recursive_mutex* settingsLock = nullptr)
        : device_(device), settings_(settings), bayerPhase_(bayerPhase), timing_(timing),
          notifier_(notifier), settingsLock_(settingsLock) {}

    // Runs the modal dialog (English, or Japanese where the system's language is): 1 after OK,
    // 2 after Cancel, 0 or -1 when the dialog cannot be shown (always without dialogs, see
    // DialogsAvailable).
    int Show(platform::WindowHandle owner);

    // "Default(&D)": the five gains 32 and the exposure 2600 (mirrors and iris mode stay).
    static void ResetDefaults(GainSettings& settings);

private:
    K37VQDevice* device_;
    GainSettings* settings_;
    int* bayerPhase_;
    const CameraObject::LineTiming* timing_;
    DialogNotifier* notifier_;
    std::recursive_mutex* settingsLock_;
    platform::WindowHandle window_ = nullptr;
    AnalogGainPage page_;

    struct View;
};

}  // namespace lumora
