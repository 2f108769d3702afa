#pragma once
// Image-filter and gray-filter settings of one camera, saved and restored as one record.

namespace lumora {

struct FilterSettings {
    int brightness = 0;       // -255 .. 255
    int contrast = 0;         // -127 .. 127
    int hue = 0;              // -360 .. 360
    int saturation = 0;       // -255 .. 255
    int sharpness = 0;        // 0 .. 30
    int whiteBalanceRed = 0;  // white-balance gains in percent, 0 .. 400
    int whiteBalanceGreen = 0;
    int whiteBalanceBlue = 0;
    int gamma = 0;       // 0 .. 200, 100 leaves the picture unchanged
    int bayerPhase = 0;  // 0 .. 3: bit 0 row phase, bit 1 column phase of the mosaic
    int grayMode = 0;    // 0 .. 2
    int grayGainR = 0;   // 0 .. 255
    int grayGainG1 = 0;
    int grayGainG2 = 0;
    int grayGainB = 0;
    int grayOffsetR = 0;  // -255 .. 255
    int grayOffsetG1 = 0;
    int grayOffsetG2 = 0;
    int grayOffsetB = 0;
    int autoWhiteBalance = 0;  // automatic white balance requested (0/1)
    int autoWhiteBalanceOnce[2] = {0, 0};
    int grayAutoGainCount = 0;
};

}  // namespace lumora
