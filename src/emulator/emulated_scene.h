#pragma once
// The synthetic scene in front of the emulated sensor and the readout geometry that samples it:
// internal to the emulator (and its tests).
#include <algorithm>
#include <cstdint>
#include <vector>

namespace lumora::scene {

constexpr int kActiveWidth = 3488;
constexpr int kActiveHeight = 2616;
constexpr int kArrayOffset = 8;       // the active array starts 8 columns and rows in
constexpr int kUnityExposure = 2600;  // lines that expose the chart at its nominal levels
constexpr int kUnityGain = 32;

// The chart: 6 x 4 patches, nominal 8-bit levels at unity exposure and gain (red, green, blue).
constexpr int kChartColumns = 6, kChartRows = 4;
constexpr uint8_t kChart[kChartRows][kChartColumns][3] = {
    {{115, 82, 68}, {194, 150, 130}, {98, 122, 157}, {87, 108, 67}, {133, 128, 177}, {103, 189, 170}},
    {{214, 126, 44}, {80, 91, 166}, {193, 90, 99}, {94, 60, 108}, {157, 188, 64}, {224, 163, 46}},
    {{56, 61, 150}, {70, 148, 73}, {175, 54, 60}, {231, 199, 31}, {187, 86, 149}, {8, 133, 161}},
    {{243, 243, 242}, {200, 200, 200}, {160, 160, 160}, {122, 122, 121}, {85, 85, 85}, {52, 52, 52}},
};
constexpr int kChartLeft = 174, kChartTop = 261, kPatchWidth = 523, kPatchHeight = 490;
constexpr int kPatchBorder = 40;  // background between the patches
constexpr uint8_t kBackground = 40;
constexpr uint8_t kMovingLevel = 230;
constexpr int kMovingRadius = 110, kMovingCenterY = 2420, kMovingStep = 37;
// Hot pixels: bright whatever the exposure, in active-array coordinates.
constexpr int kHotPixels[][2] = {{100, 100}, {1000, 500}, {2000, 1000}, {3000, 1500}, {500, 2400}, {3300, 200}};
// Chart component (red, green, blue) of each mosaic channel.
constexpr int kRgb[4] = {0, 1, 1, 2};

// Patch index of an active-array coordinate along one axis; -1 outside the patches.
inline int PatchIndex(int a, int origin, int size, int count) {
    int rel = a - origin;
    if (rel < 0 || rel >= size * count) return -1;
    int within = rel % size;
    if (within < kPatchBorder / 2 || within >= size - kPatchBorder / 2) return -1;
    return rel / size;
}

// Colour channel of the native mosaic at an active-array position: 0 red, 1 green of the red
// rows, 2 green of the blue rows, 3 blue. Rows run green-red, then blue-green.
inline int Channel(int ax, int ay) {
    if ((ay & 1) == 0) return (ax & 1) ? 0 : 1;
    return (ax & 1) ? 2 : 3;
}

// The sensor rows or columns behind each output row or column: for output index o, the samples
// first + 2i (i < count) of the same colour, in active-array coordinates.
struct Axis {
    std::vector<int> first;
    int count = 1;
};

inline Axis MapAxis(int start, int outputs, int factor, bool binning, bool mirror) {
    Axis axis;
    axis.count = binning ? factor : 1;
    axis.first.resize(static_cast<size_t>(std::max(outputs, 0)));
    for (int o = 0; o < outputs; ++o) {
        int source = mirror ? outputs - 1 - o : o;
        axis.first[static_cast<size_t>(o)] = start + (source / 2) * 2 * factor + (source & 1);
    }
    return axis;
}

inline int Factor(int increment) { return std::max(1, (increment + 1) / 2); }

}  // namespace lumora::scene
