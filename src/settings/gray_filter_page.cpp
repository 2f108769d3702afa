#include "settings/gray_filter_page.h"

#include "settings/settings_keys.h"

namespace lumora {

namespace {

// The "Gray" values in the order they are written, with their defaults.
StoredFields GrayFields(FilterSettings& f) {
    return {
        {"Mode", &f.grayMode, 0},          {"GainR1", &f.grayGainR, 128},
        {"GainG1", &f.grayGainG1, 128},    {"GainG2", &f.grayGainG2, 128},
        {"GainB1", &f.grayGainB, 128},     {"OffsetR1", &f.grayOffsetR, 0},
        {"OffsetG1", &f.grayOffsetG1, 0},  {"OffsetG2", &f.grayOffsetG2, 0},
        {"OffsetB1", &f.grayOffsetB, 0},
    };
}

}  // namespace

int GrayFilterPage::LoadGraySettings() {
    if (settings_ == nullptr) return 0;
    return LoadGroup(SettingsSubKey("Gray"), GrayFields(*settings_)) ? 1 : 0;
}

int GrayFilterPage::SaveGraySettings() {
    if (settings_ == nullptr) return 0;
    return SaveGroup(SettingsSubKey("Gray"), GrayFields(*settings_)) ? 1 : 0;
}

}  // namespace lumora
