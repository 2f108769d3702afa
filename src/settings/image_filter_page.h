#pragma once
// The "Image Filter" page of the filter dialog. Without a window it loads and stores the image
// filter group ("Filter") of a FilterSettings record: the camera object builds one on its stack
// at initialisation and release.
//
// Constructing a page touches nothing outside it: no process-wide instance is registered, so a
// page made only to load or save never takes over the messages of an open dialog of its class.
//
// Thread context: the thread that made the page (the application's).
#include "imaging/filter_settings.h"

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

private:
    FilterSettings* settings_;
};

}  // namespace lumora
