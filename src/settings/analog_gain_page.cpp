#include "settings/analog_gain_page.h"

#include <cstdio>

#include "settings/settings_keys.h"

namespace lumora {

namespace {

// The "Gain_NN" values in the order they are written, with their defaults.
StoredFields GainFields(GainSettings& g) {
    return {
        {"Global", &g.globalGain, 32}, {"ColorG1", &g.gainGreen1, 32},
        {"ColorR", &g.gainRed, 32},    {"ColorB", &g.gainBlue, 32},
        {"ColorG2", &g.gainGreen2, 32}, {"Exposure", &g.exposure, 2600},
        {"V_Mirror", &g.mirrorV, 0},   {"H_Mirror", &g.mirrorH, 0},
        {"AutoIris", &g.autoIris, 0},
    };
}

}  // namespace

int AnalogGainPage::LoadGainSettings() {
    if (settings_ == nullptr || device_ == nullptr) return 0;
    GainSettings& g = *settings_;
    LoadGroup(SettingsSubKey("Gain_%02d", device_->GetSelectedDevice()), GainFields(g));
    // The mirrors are flags: SetMirrorV/H compare them with 0 and 1.
    g.mirrorV = g.mirrorV != 0;
    g.mirrorH = g.mirrorH != 0;
    return 1;
}

int AnalogGainPage::SaveGainSettings() {
    if (settings_ == nullptr || device_ == nullptr) return 0;
    const std::string key = SettingsSubKey("Gain_%02d", device_->GetSelectedDevice());
    return SaveGroup(key, GainFields(*settings_)) ? 1 : 0;
}

std::string AnalogGainPage::ExposureTimeText(const CameraObject::LineTiming* timing,
                                             const GainSettings* settings) {
    double us = 0;
    if (timing != nullptr && settings != nullptr) {
        us = (static_cast<double>(settings->exposure) * timing->lineLengthClocks +
              timing->lineOffsetClocks) *
             timing->clockPeriodUs;
    }
    char text[64];
    std::snprintf(text, sizeof text, "=%.2fms", us * 0.001);
    return text;
}

}  // namespace lumora
