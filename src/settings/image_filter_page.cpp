#include "settings/image_filter_page.h"

#include "settings/settings_keys.h"

namespace lumora {

namespace {

// The "Filter" values in the order they are written, with their defaults.
StoredFields FilterFields(FilterSettings& f) {
    return {
        {"Brightness", &f.brightness, 0},
        {"Contrast", &f.contrast, 0},
        {"Hue", &f.hue, 0},
        {"Saturation", &f.saturation, 0},
        {"Sharpness", &f.sharpness, 0},
        {"R_Gain", &f.whiteBalanceRed, 100},
        {"G_Gain", &f.whiteBalanceGreen, 100},
        {"B_Gain", &f.whiteBalanceBlue, 100},
        {"Gamma", &f.gamma, 100},
        {"BayerMode", &f.bayerPhase, 3},
    };
}

}  // namespace

int ImageFilterPage::LoadFilterSettings() {
    if (settings_ == nullptr) return 0;
    FilterSettings& f = *settings_;
    if (LoadGroup(SettingsSubKey("Filter"), FilterFields(f))) return 1;
    f.autoWhiteBalance = 0;
    f.autoWhiteBalanceOnce[0] = f.autoWhiteBalanceOnce[1] = 0;
    return 0;
}

int ImageFilterPage::SaveFilterSettings() {
    if (settings_ == nullptr) return 0;
    return SaveGroup(SettingsSubKey("Filter"), FilterFields(*settings_)) ? 1 : 0;
}

}  // namespace lumora
