#include "settings/filter_property_dialog.h"

namespace lumora {

void FilterPropertyDialog::ResetDefaults(FilterSettings& f, bool grayTab) {
    f.brightness = f.contrast = f.hue = f.saturation = f.sharpness = 0;
    f.whiteBalanceRed = f.whiteBalanceGreen = f.whiteBalanceBlue = f.gamma = 100;
    f.bayerPhase = 3;
    if (!grayTab) return;
    f.grayGainR = f.grayGainG1 = f.grayGainG2 = f.grayGainB = 128;
    f.grayOffsetR = f.grayOffsetG1 = f.grayOffsetG2 = f.grayOffsetB = 0;
}

}  // namespace lumora
