#pragma once
// The "Gray Filter" page of the filter dialog. Without a window it loads and stores the gray
// filter group ("Gray") of a FilterSettings record: the camera object builds one on its stack at
// initialisation and release.
//
// Constructing a page touches nothing outside it: no process-wide instance is registered, so a
// page made only to load or save never takes over the messages of an open dialog of its class.
//
// Thread context: the thread that made the page (the application's).
#include "imaging/filter_settings.h"

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

private:
    FilterSettings* settings_;
};

}  // namespace lumora
