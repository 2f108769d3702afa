#include "imaging/white_balance_filter.h"

#include <algorithm>
#include <cstring>

#include "imaging/filter_settings.h"
#include "imaging/filter_area.h"
#include "imaging/image_buffer.h"

namespace lumora {
namespace {

constexpr double kGainCeiling = 65535;

LUMORA_DOUBLE_MATH int32_t GainOf(double s, double meanGreen, double mean) {
    if (mean == 0) return meanGreen == 0 ? 100 : static_cast<int32_t>(kGainCeiling);
    if (meanGreen == 0) return 0;
    const double c = 1.0 / 3.0;
    const double k = 1 / ((s / meanGreen) * c);
    const double gain = k * ((s / mean) * c) * 100;
    return static_cast<int32_t>(std::min(gain, kGainCeiling));
}

// Colour index (0 green, 1 red, 2 blue) by (P, Q).
constexpr int32_t kColour[2][2] = {{0, 2}, {1, 0}};

template <class Sample>
int32_t Measure(const uint8_t* srcBits, const Rect* rect, int32_t srcBytesPerPixel,
                int32_t srcStride, void* value1) {
    int32_t* block = RecordOf<int32_t>(value1);
    FilterArea a;
    if (block == nullptr || srcBytesPerPixel != static_cast<int32_t>(sizeof(Sample)) ||
        !ResolveSourceArea(a, srcBits, rect, srcBytesPerPixel, srcStride)) {
        return 0;
    }
    const int32_t phase = block[3] & 3;
    uint64_t sums[3] = {};
    uint64_t counts[3] = {};
    for (int32_t row = 0; row < a.height; ++row) {
        const uint8_t* s = a.src + static_cast<intptr_t>(row) * a.srcStride;
        const int32_t p = (phase & 1) ^ (row & 1);
        const int32_t q = (phase >> 1) & 1;
        uint64_t rowSum[2] = {};
        for (int32_t x = 0; x < a.width; ++x) {
            Sample v;
            std::memcpy(&v, s + static_cast<intptr_t>(x) * sizeof(Sample), sizeof v);
            rowSum[x & 1] += v;
        }
        const uint64_t evenCount = (static_cast<uint64_t>(a.width) + 1) / 2;
        const uint64_t oddCount = static_cast<uint64_t>(a.width) / 2;
        sums[kColour[p][q]] += rowSum[0];
        counts[kColour[p][q]] += evenCount;
        sums[kColour[p][q ^ 1]] += rowSum[1];
        counts[kColour[p][q ^ 1]] += oddCount;
    }
    WhiteBalanceGains(sums, counts, block);
    return 1;
}

}  // namespace

LUMORA_DOUBLE_MATH void WhiteBalanceGains(const uint64_t sums[3], const uint64_t counts[3], int32_t gains[3]) {
    gains[0] = gains[1] = gains[2] = 100;
    if (counts[0] == 0 || counts[1] == 0 || counts[2] == 0) return;
    const double meanGreen = static_cast<double>(sums[0]) / static_cast<double>(counts[0]);
    const double meanRed = static_cast<double>(sums[1]) / static_cast<double>(counts[1]);
    const double meanBlue = static_cast<double>(sums[2]) / static_cast<double>(counts[2]);
    const double s = meanBlue + meanRed + meanGreen;
    gains[0] = GainOf(s, meanGreen, meanBlue);
    gains[2] = GainOf(s, meanGreen, meanRed);
}

int32_t MeasureWhiteBalance8(uint8_t*, const uint8_t* srcBits, const Rect* rect, int32_t, int32_t,
                             uint16_t, uint16_t srcBytesPerPixel, int32_t, int32_t srcStride,
                             void* value1, void*) {
    return Measure<uint8_t>(srcBits, rect, srcBytesPerPixel, srcStride, value1);
}

int32_t MeasureWhiteBalance16(uint8_t*, const uint8_t* srcBits, const Rect* rect, int32_t, int32_t,
                              uint16_t, uint16_t srcBytesPerPixel, int32_t, int32_t srcStride,
                              void* value1, void*) {
    return Measure<uint16_t>(srcBits, rect, srcBytesPerPixel, srcStride, value1);
}

bool AutoWhiteBalance(FilterSettings& settings, ImageBuffer& raw) {
    if (settings.autoWhiteBalance == 0) return false;
    PixelRoutine measure = nullptr;
    if (raw.BitCount() == 8) measure = MeasureWhiteBalance8;
    if (raw.BitCount() == 16) measure = MeasureWhiteBalance16;
    int32_t block[4] = {0, 0, 0, settings.bayerPhase};
    int32_t* record = block;
    if (measure == nullptr || raw.Apply(measure, &raw, nullptr, 0, 0, &record, nullptr) == 0) {
        return false;
    }
    settings.whiteBalanceBlue = std::min(block[0], 400);
    settings.whiteBalanceGreen = std::min(block[1], 400);
    settings.whiteBalanceRed = std::min(block[2], 400);
    if (settings.autoWhiteBalanceOnce[0] != 0 && settings.autoWhiteBalanceOnce[1] != 0) {
        settings.autoWhiteBalance = 0;
        settings.autoWhiteBalanceOnce[0] = 0;
        settings.autoWhiteBalanceOnce[1] = 0;
    }
    return true;
}

}  // namespace lumora
