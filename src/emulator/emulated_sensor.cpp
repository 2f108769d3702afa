#include "emulator/emulated_sensor.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumora {

namespace {

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

// Patch index of an active-array coordinate along one axis; -1 outside the patches.
int PatchIndex(int a, int origin, int size, int count) {
    int rel = a - origin;
    if (rel < 0 || rel >= size * count) return -1;
    int within = rel % size;
    if (within < kPatchBorder / 2 || within >= size - kPatchBorder / 2) return -1;
    return rel / size;
}

// Colour channel of the native mosaic at an active-array position: 0 red, 1 green of the red
// rows, 2 green of the blue rows, 3 blue. Rows run green-red, then blue-green.
int Channel(int ax, int ay) {
    if ((ay & 1) == 0) return (ax & 1) ? 0 : 1;
    return (ax & 1) ? 2 : 3;
}

uint32_t Hash(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du ^ d;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// The sensor rows or columns behind each output row or column: for output index o, the samples
// first + 2i (i < count) of the same colour, in active-array coordinates.
struct Axis {
    std::vector<int> first;
    int count = 1;
};

Axis MapAxis(int start, int outputs, int factor, bool binning, bool mirror) {
    Axis axis;
    axis.count = binning ? factor : 1;
    axis.first.resize(static_cast<size_t>(std::max(outputs, 0)));
    for (int o = 0; o < outputs; ++o) {
        int source = mirror ? outputs - 1 - o : o;
        axis.first[static_cast<size_t>(o)] = start + (source / 2) * 2 * factor + (source & 1);
    }
    return axis;
}

int Factor(int increment) { return std::max(1, (increment + 1) / 2); }

}  // namespace

void EmulatedSensor::ResetRegisters(uint8_t* registers) {
    std::memset(registers, 0, kRegisterCount);
    Write16(registers, 0x0202, kUnityExposure);  // exposure lines
    Write16(registers, 0x0304, 7);               // clock divider
    Write16(registers, 0x0340, 2761);            // frame length in lines
    Write16(registers, 0x0342, 7096);            // line length in clocks
    Write16(registers, 0x0344, kArrayOffset);
    Write16(registers, 0x0346, kArrayOffset);
    Write16(registers, 0x0348, kActiveWidth + kArrayOffset - 1);
    Write16(registers, 0x034A, kActiveHeight + kArrayOffset - 1);
    Write16(registers, 0x034C, kActiveWidth);
    Write16(registers, 0x034E, kActiveHeight);
    Write16(registers, 0x3040, 0x0041);
    for (uint16_t gain : {0x3056, 0x3058, 0x305A, 0x305C, 0x305E}) {
        Write16(registers, gain, static_cast<uint16_t>(0x1000 | kUnityGain));
    }
}

void EmulatedSensor::AfterWrite(uint8_t* registers, uint16_t address) {
    // The mirror bits of the read mode register (bits 14 and 15) show in bits 0 and 1 of the
    // status register 0x0100.
    if (address == 0x3040) {
        uint8_t high = registers[0x3040];
        registers[0x0101] = static_cast<uint8_t>((registers[0x0101] & ~3u) | ((high >> 6) & 1u) | ((high >> 6) & 2u));
    }
}

uint32_t EmulatedSensor::FrameBytes(const uint8_t* registers) {
    return static_cast<uint32_t>(Read16(registers, 0x034C)) * Read16(registers, 0x034E);
}

uint32_t EmulatedSensor::FramePeriodUs(const uint8_t* registers) {
    // The pixel clock is 384 MHz divided by the divider of 0x0304; a frame is frame length
    // (lines) x line length (clocks).
    uint64_t divider = std::max<uint16_t>(1, Read16(registers, 0x0304));
    uint64_t clocks = static_cast<uint64_t>(Read16(registers, 0x0340)) * Read16(registers, 0x0342);
    return static_cast<uint32_t>(std::max<uint64_t>(1, clocks * divider / 384));
}

void EmulatedSensor::Render(const uint8_t* registers, uint32_t frame, bool still, uint8_t* out,
                            uint32_t offset, uint32_t length) const {
    // Only the rows that meet [offset, offset + length) are rendered, one at a time, so that a
    // small read never costs a whole frame, whatever size the registers give.
    std::memset(out, 0, length);
    uint32_t bytes = FrameBytes(registers);
    if (offset >= bytes || length == 0) return;
    uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(bytes, static_cast<uint64_t>(offset) + length));
    if (still) frame = 0;

    int width = Read16(registers, 0x034C);
    uint16_t mode = Read16(registers, 0x3040);
    bool binning = (mode & 0x0400) != 0;
    int firstRow = static_cast<int>(offset / static_cast<uint32_t>(width));
    int lastRow = static_cast<int>((end - 1) / static_cast<uint32_t>(width));
    Axis columns = MapAxis(Read16(registers, 0x0344) - kArrayOffset, width, Factor((mode >> 6) & 7),
                           binning, (mode & 0x4000) != 0);
    Axis rows = MapAxis(Read16(registers, 0x0346) - kArrayOffset, Read16(registers, 0x034E),
                        Factor(mode & 0x3F), binning, (mode & 0x8000) != 0);

    // Scale of each channel: exposure x global gain x colour gain, relative to unity.
    static constexpr uint16_t kGainRegister[4] = {0x305A, 0x3056, 0x305C, 0x3058};
    uint64_t exposure = Read16(registers, 0x0202);
    uint64_t global = Read16(registers, 0x305E) & 0x7F;
    uint64_t scale[4];
    for (int c = 0; c < 4; ++c) scale[c] = exposure * global * (Read16(registers, kGainRegister[c]) & 0x7F);
    const uint64_t unity = static_cast<uint64_t>(kUnityExposure) * kUnityGain * kUnityGain;

    int movingX = static_cast<int>((frame * kMovingStep) % (kActiveWidth + 2 * kMovingRadius)) - kMovingRadius;

    // Nominal level of one active-array sample. The noise of an output pixel follows its first
    // sample's place on the sensor, so that a mirrored frame is exactly the frame mirrored.
    auto level = [&](int ax, int ay, int channel) -> int {
        if (ax < 0 || ay < 0 || ax >= kActiveWidth || ay >= kActiveHeight) return 0;
        int dx = ax - movingX, dy = ay - kMovingCenterY;
        if (dx * dx + dy * dy < kMovingRadius * kMovingRadius) return kMovingLevel;
        int column = PatchIndex(ax, kChartLeft, kPatchWidth, kChartColumns);
        int row = PatchIndex(ay, kChartTop, kPatchHeight, kChartRows);
        if (column < 0 || row < 0) return kBackground;
        static constexpr int kRgb[4] = {0, 1, 1, 2};
        return kChart[row][column][kRgb[channel]];
    };

    std::vector<uint8_t> line(static_cast<size_t>(width));
    for (int oy = firstRow; oy <= lastRow; ++oy) {
        int ay0 = rows.first[static_cast<size_t>(oy)];
        for (int ox = 0; ox < width; ++ox) {
            int ax0 = columns.first[static_cast<size_t>(ox)];
            int channel = Channel(ax0, ay0);
            int sum = 0;
            for (int j = 0; j < rows.count; ++j) {
                for (int i = 0; i < columns.count; ++i) sum += level(ax0 + 2 * i, ay0 + 2 * j, channel);
            }
            uint64_t divisor = unity * static_cast<uint64_t>(rows.count * columns.count);
            uint64_t signal = (static_cast<uint64_t>(sum) * scale[channel] + divisor / 2) / divisor;
            int noise = static_cast<int>(Hash(seed_, frame, static_cast<uint32_t>(ax0), static_cast<uint32_t>(ay0)) % 3) - 1;
            int value = signal == 0 ? 0 : static_cast<int>(std::min<uint64_t>(signal, 256)) + noise;
            line[static_cast<size_t>(ox)] = static_cast<uint8_t>(std::clamp(value, 0, 255));
        }
        // Hot pixels stay bright whatever the exposure.
        for (const auto& hot : kHotPixels) {
            if (rows.count != 1 || ay0 != hot[1] || columns.count != 1) continue;
            for (int ox = 0; ox < width; ++ox) {
                if (columns.first[static_cast<size_t>(ox)] == hot[0]) line[static_cast<size_t>(ox)] = 255;
            }
        }
        // The part of this row inside the read.
        uint32_t rowStart = static_cast<uint32_t>(oy) * static_cast<uint32_t>(width);
        uint32_t from = std::max(rowStart, offset);
        uint32_t to = std::min(rowStart + static_cast<uint32_t>(width), end);
        std::memcpy(out + (from - offset), line.data() + (from - rowStart), to - from);
    }
}

}  // namespace lumora
