#pragma once
// The camera's domain values, each named once: the colour modes, the readout (subsampling)
// modes with their size divisors, and the filter-value indexes with their names and ranges.
// The camera object, the acquisition, the device, the exports and the tool take them from here.
#include <climits>

namespace lumora {

// ---- Colour modes 0..5 ----
struct ColorModeInfo {
    int bits;          // what SetColorMode takes
    int reportedBits;  // what GetColorMode answers
    bool wide;         // the raw frame is 16-bit (12-bit samples)
};
inline constexpr int kColorModeCount = 6;
inline constexpr ColorModeInfo kColorModes[kColorModeCount] = {
    {8, 8, false}, {16, 12, true}, {24, 24, false}, {32, 32, false}, {48, 44, true}, {64, 60, true},
};
constexpr bool IsColorMode(int mode) { return mode >= 0 && mode < kColorModeCount; }
constexpr bool IsWideColorMode(int mode) { return IsColorMode(mode) && kColorModes[mode].wide; }

// ---- Readout modes ----
// The window divided both ways by outputDivisor is the frame the sensor is programmed to put
// out, by copyDivisor the frame the camera copies, by transferDivisor the device's frame
// transfer. subsampling: a mode the camera object's SetSubSample takes (mode 3, read out at
// full size while an eighth is transferred, is the device's alone).
struct ReadoutModeInfo {
    int mode;
    int outputDivisor;
    int copyDivisor;
    int transferDivisor;
    bool subsampling;
};
inline constexpr ReadoutModeInfo kReadoutModes[] = {
    {0, 1, 1, 1, true},  {1, 2, 2, 2, true},  {2, 4, 4, 4, true},
    {3, 1, 8, 8, false}, {17, 2, 2, 1, true}, {18, 4, 4, 1, true},
};
// The mode's row; the plain readout (mode 0) for a mode not listed.
constexpr const ReadoutModeInfo& ReadoutMode(int mode) {
    for (const ReadoutModeInfo& m : kReadoutModes) {
        if (m.mode == mode) return m;
    }
    return kReadoutModes[0];
}
constexpr bool IsSubsamplingMode(int mode) {
    for (const ReadoutModeInfo& m : kReadoutModes) {
        if (m.mode == mode) return m.subsampling;
    }
    return false;
}

// ---- Filter values, indexes 1..27 ----
// The range is what the setter takes; index 6 (the three white-balance gains packed, 8 bits
// each) and index 10 (any non-zero value switches automatic white balance on) are not checked.
struct FilterIndexInfo {
    int index;
    const char* name;
    int min;
    int max;
    const char* meaning;
};
inline constexpr int kFilterIndexCount = 27;
// Exposure in sensor lines: the setter takes 0..8192 and the sensor model writes 0 as 1 line,
// so the sensor exposes 1..8192 lines.
inline constexpr int kExposureMaxLines = 8192;
inline constexpr FilterIndexInfo kFilterIndexes[kFilterIndexCount + 1] = {
    {0, "", 0, 0, ""},
    {1, "brightness", -255, 255, "brightness, 0 = unchanged"},
    {2, "contrast", -127, 127, "contrast, 0 = unchanged"},
    {3, "hue", -360, 360, "hue rotation, 0 = unchanged"},
    {4, "saturation", -255, 255, "saturation, 0 = unchanged"},
    {5, "sharpness", 0, 30, "sharpening, 0 = off"},
    {6, "wb-packed", INT_MIN, INT_MAX, "white-balance gains red, green, blue in bits 0-7, 8-15, 16-23"},
    {7, "wb-red", 0, 400, "white-balance gain red, percent"},
    {8, "wb-green", 0, 400, "white-balance gain green, percent"},
    {9, "wb-blue", 0, 400, "white-balance gain blue, percent"},
    {10, "wb-auto", 0, 1, "automatic white balance on every frame"},
    {11, "gamma", 0, 200, "gamma, 100 = unchanged"},
    {12, "bayer-mode", 0, 3, "Bayer phase of the first pixel"},
    {13, "global-gain", 0, 127, "sensor gain, also sets the four colour gains"},
    {14, "gain-red", 0, 127, "sensor gain of red"},
    {15, "gain-green1", 0, 127, "sensor gain of green beside red"},
    {16, "gain-green2", 0, 127, "sensor gain of green beside blue"},
    {17, "gain-blue", 0, 127, "sensor gain of blue"},
    {18, "exposure", 0, kExposureMaxLines, "exposure in sensor lines"},
    {19, "gray-mode", 0, 2, "8-bit mode: 0 raw, 1 gray filter, 2 colour to gray"},
    {20, "gray-gain-r", 0, 255, "gray filter gain, 128ths"},
    {21, "gray-gain-g1", 0, 255, "gray filter gain, 128ths"},
    {22, "gray-gain-g2", 0, 255, "gray filter gain, 128ths"},
    {23, "gray-gain-b", 0, 255, "gray filter gain, 128ths"},
    {24, "gray-offset-r", -255, 255, "gray filter offset"},
    {25, "gray-offset-g1", -255, 255, "gray filter offset"},
    {26, "gray-offset-g2", -255, 255, "gray filter offset"},
    {27, "gray-offset-b", -255, 255, "gray filter offset"},
};
inline constexpr const FilterIndexInfo& kExposureRange = kFilterIndexes[18];
inline constexpr const FilterIndexInfo& kGainRange = kFilterIndexes[13];

}  // namespace lumora
