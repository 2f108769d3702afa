#pragma once
// The "Gray Filter" page of the filter dialog. Without a window it loads and stores the gray
// filter group ("Gray") of a FilterSettings record: the camera object builds one on its stack at
// initialisation and release.
//
// As a page of the open dialog (monochrome modes only) it edits the gray gains and offsets, the
// gray mode, the gray automatic gain counter and the Bayer phase live.
//
// Constructing a page touches nothing outside it: no process-wide instance is registered (the
// page's window carries its object), so a page made only to load or save never takes over the
// messages of an open dialog of its class.
//
// Thread context: the thread that made the page (the application's); the window operations run
// on the dialog's thread.
#include "imaging/filter_settings.h"
#include "platform/window_message.h"

namespace lumora {

class GrayFilterPage {
public:
    explicit GrayFilterPage(FilterSettings* settings = nullptr) : settings_(settings) {}

    // Reads the nine "Gray" values into the record; 1. When the root or "Gray" is missing the
    // record takes the defaults (mode 0, gains 128, offsets 0) and the result is 0. A value
    // missing from the key takes its default. 0 without a record.
    int LoadGraySettings();
    // Writes the nine values (root and "Gray" created where missing); 0 when that fails or
    // without a record.
    int SaveGraySettings();

    // ---- The page of the open filter dialog (Windows) ----
    void Attach(FilterSettings* settings) { settings_ = settings; }
    // Creates the page as a child of parent at 30, 25, shown or hidden. False when it cannot.
    bool Create(platform::WindowHandle parent, bool visible);
    platform::WindowHandle Window() const { return window_; }
    // Direction 0: the eight groups from the record (the radio buttons stay); 1: the eight fields
    // from the edits.
    void Refresh(int direction);
    // Checks the Bayer-mode button of the record's phase (none outside 0..3).
    void ShowBayerPhase();

private:
    FilterSettings* settings_;
    platform::WindowHandle window_ = nullptr;
    bool initDone_ = false;

    struct View;
};

}  // namespace lumora
