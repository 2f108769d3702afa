#pragma once
// Analog settings of one camera: sensor gains, exposure, mirroring and automatic exposure/gain.

namespace lumora {

struct GainSettings {
    int globalGain = 0;  // 0 .. 127
    int gainGreen1 = 0;  // 0 .. 127 each
    int gainRed = 0;
    int gainBlue = 0;
    int gainGreen2 = 0;
    int exposure = 0;  // sensor lines, 0 .. 8192
    int mirrorV = 0;   // 0/1
    int mirrorH = 0;   // 0/1
    int autoIris = 0;  // 0 off, 1 automatic exposure, 2 automatic gain
};

}  // namespace lumora
