#pragma once
// The camera's picture settings, as the exports and the filter dialogs edit them.

#include <cstdint>

namespace lumora {

// One record of 32-bit signed fields in this order; the filter dialogs snapshot and restore it
// whole. Only the frame chain's thread writes the automatic fields back (white-balance gains,
// gray gains, the markers and the calibration count); every field is a single aligned word.
struct FilterSettings {
    int32_t brightness = 0;         // -255..255
    int32_t contrast = 0;           // -127..127
    int32_t hue = 0;                // -360..360, low 8 bits in 256ths of a turn
    int32_t saturation = 0;         // -255..255
    int32_t sharpness = 0;          // 0..30, in tenths
    int32_t whiteBalanceRed = 0;    // percent, 0..400
    int32_t whiteBalanceGreen = 0;  // percent, 0..400 (reported only)
    int32_t whiteBalanceBlue = 0;   // percent, 0..400
    int32_t gamma = 0;              // 0..200, 100 = unchanged
    int32_t bayerPhase = 0;         // 0..3
    int32_t grayMode = 0;           // 0 raw mosaic, 1 gray gain/offset, 2 true gray
    int32_t grayGainR = 0;          // gray gains in 128ths
    int32_t grayGainG1 = 0;
    int32_t grayGainG2 = 0;
    int32_t grayGainB = 0;
    int32_t grayOffsetR = 0;        // -255..255, added after the gain
    int32_t grayOffsetG1 = 0;
    int32_t grayOffsetG2 = 0;
    int32_t grayOffsetB = 0;
    int32_t autoWhiteBalance = 0;         // measure white balance on every frame while set
    int32_t autoWhiteBalanceOnce[2] = {}; // both set: the next measurement is a single run
    int32_t grayAutoGainCount = 0;        // gray calibrations still to run; negative = every frame
};

}  // namespace lumora
