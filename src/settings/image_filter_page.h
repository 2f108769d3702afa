#pragma once
// The "Image Filter" page of the filter dialog. Without a window it loads and stores the image
// filter group ("Filter") of a FilterSettings record: the camera object builds one on its stack
// at initialisation and release.
//
// As a page of the open dialog it edits the record live: every slider movement or typed number
// is written into the record at once (the preview thread reads it for the next frame).
//
// Constructing a page touches nothing outside it: no process-wide instance is registered (the
// page's window carries its object), so a page made only to load or save never takes over the
// messages of an open dialog of its class.
//
// Thread context: the thread that made the page (the application's); the window operations run
// on the dialog's thread.
#include "imaging/filter_settings.h"
#include "platform/window_message.h"
#include "settings/filter_enable_flags.h"

namespace lumora {

class ImageFilterPage {
public:
    explicit ImageFilterPage(FilterSettings* settings = nullptr) : settings_(settings) {}

    // Reads the ten "Filter" values into the record; 1. When the root or "Filter" is missing the
    // record takes the defaults, automatic white balance and its two markers are cleared, and the
    // result is 0. A value missing from the key takes its default. 0 without a record.
    int LoadFilterSettings();
    // Writes the ten values (root and "Filter" created where missing); 0 when that fails or
    // without a record.
    int SaveFilterSettings();

    // ---- The page of the open filter dialog (Windows) ----
    void Attach(FilterSettings* settings, const FilterEnableFlags& flags) {
        settings_ = settings;
        flags_ = flags;
    }
    // Creates the page as a child of parent at 30, 25, shown or hidden. False when it cannot.
    bool Create(platform::WindowHandle parent, bool visible);
    platform::WindowHandle Window() const { return window_; }
    // Direction 0: every group and the Bayer-mode buttons from the record; 1: the nine fields
    // from the edits and the Bayer phase from the first checked button (none: unchanged).
    void Refresh(int direction);
    // Checks the Bayer-mode button of the record's phase (none outside 0..3).
    void ShowBayerPhase();

private:
    FilterSettings* settings_;
    FilterEnableFlags flags_;
    platform::WindowHandle window_ = nullptr;
    bool initDone_ = false;

    struct View;
};

}  // namespace lumora
