#pragma once
// The image filter dialog: the "Image Filter" page and, in monochrome modes, the "Gray Filter"
// page in one tab control, with OK, Cancel and "Default(&D)". The pages edit the camera's filter
// record live; the caller restores the record unless the dialog ends with OK.
//
// Thread context: the application's thread (the one that shows the dialog). While the dialog is
// open its notifier takes the pipeline's refresh requests and posts them to the dialog's window.
#include <mutex>

#include "imaging/filter_settings.h"
#include "platform/window_message.h"
#include "settings/dialog_support.h"
#include "settings/dialog_notifier.h"
#include "settings/filter_enable_flags.h"
#include "settings/gray_filter_page.h"
#include "settings/image_filter_page.h"

namespace lumora {

class FilterPropertyDialog {
public:
    // settingsLock (when given) guards the record: held for each message the dialog handles.
    FilterPropertyDialog(FilterSettings* settings, const FilterEnableFlags& flags,
                         DialogNotifier* notifier, std::recursive_mutex* settingsLock = nullptr)
        : settings_(settings), flags_(flags), notifier_(notifier), settingsLock_(settingsLock) {}

    // Runs the modal dialog (English, or Japanese where the system's language is): 1 after OK,
    // 2 after Cancel, 0 or -1 when the dialog cannot be shown (always without dialogs, see
    // DialogsAvailable).
    int Show(platform::WindowHandle owner);
    // Direction 0: every control of the pages from the record; 1: the record from the controls.
    void Refresh(int direction);

    // "Default(&D)": brightness, contrast, hue, saturation, sharpness 0; the white-balance gains
    // and gamma 100; Bayer phase 3; with the gray tab also the gray gains 128 and offsets 0. The
    // gray mode, automatic white balance and the gray automatic gain counter stay.
    static void ResetDefaults(FilterSettings& settings, bool grayTab);

private:
    FilterSettings* settings_;
    FilterEnableFlags flags_;
    DialogNotifier* notifier_;
    std::recursive_mutex* settingsLock_;
    platform::WindowHandle window_ = nullptr;
    ImageFilterPage imagePage_;
    GrayFilterPage grayPage_;

    struct View;
};

}  // namespace lumora
