#include "settings/analog_gain_dialog.h"

namespace lumora {

void AnalogGainDialog::ResetDefaults(GainSettings& g) {
    g.globalGain = g.gainGreen1 = g.gainRed = g.gainBlue = g.gainGreen2 = 32;
    g.exposure = 2600;
}

}  // namespace lumora
