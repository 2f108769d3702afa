#include "imaging/hue_saturation_filter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "imaging/filter_area.h"

namespace lumora {
namespace {

// One channel scale of the model: top value; the lightness bound on chroma (2 x top + 1 for 8
// bits); a bias taken off lightness before halving; the reciprocals floor(255 x 2^shift / c)
// that turn a difference within the chroma into a hue fraction of 0..255, and the shift.
//
// The 12-bit scale follows the 8-bit model 16 times larger, so that a picture of 16 x 8-bit
// values comes out as 16 x the 8-bit result within one 8-bit step (16): the chroma bound is
// 16 x 511, the bias of 8 before halving (4 after) stands for the quarter step that the 8-bit
// halves lose on average, and with the shift of 20 the hue fraction equals the 8-bit one.
template <int32_t Top, int32_t CapTop, int32_t Bias, int32_t Shift>
struct Scale {
    static constexpr int32_t kTop = Top;
    static constexpr int32_t kCapTop = CapTop;
    static constexpr int32_t kBias = Bias;
    static constexpr int32_t kShift = Shift;
    static const int32_t* Reciprocals() {
        static const std::array<int32_t, Top + 1> table = [] {
            std::array<int32_t, Top + 1> t{};
            for (int32_t c = 1; c <= Top; ++c) t[c] = static_cast<int32_t>((255LL << Shift) / c);
            return t;
        }();
        return table.data();
    }
};
using Scale8 = Scale<255, 511, 0, 16>;  // reciprocals 16711680 / c
using Scale12 = Scale<4095, 16 * 511, 8, 20>;

struct HueOffset {
    int32_t sector;    // whole sixths, 0..5
    int32_t fraction;  // 0..254
};

HueOffset HueOffsetOf(int32_t hue) {
    const int32_t v = (hue & 0xFF) * 6;
    const int32_t j = (v + 256) / 512;
    const int32_t a = v - 512 * j;
    int32_t h0 = 510 * (j % 3) + a;
    if (h0 < 0) h0 += 1530;
    if (h0 >= 1530) h0 -= 1530;
    return {h0 / 255, h0 % 255};
}

template <class S>
inline void AdjustPixel(int32_t& red, int32_t& green, int32_t& blue, const int32_t* chroma,
                        const int32_t* reciprocal, HueOffset offset) {
    int32_t mx = red, base = 1, d = green - blue;
    if (green > red) {
        mx = green;
        base = 3;
        d = blue - red;
    }
    if (blue > mx) {
        mx = blue;
        base = 5;
        d = red - green;
    }
    const int32_t mn = std::min(red, std::min(green, blue));
    const int32_t c = mx - mn;
    if (d < 0) {
        base -= 1;
        d += c;
    }
    if (c == 0) return;  // gray stays as it is
    const int32_t sum = mx + mn;
    const int32_t cap = std::min(sum, S::kCapTop - sum);
    const int32_t m = std::max(0, std::min(chroma[c], cap));
    const int32_t newMin = std::max(0, (sum - m - S::kBias) >> 1);
    const int32_t span = std::max(newMin, (sum + m - S::kBias) >> 1) - newMin;
    red = green = blue = newMin;
    int32_t f = (reciprocal[c] * d + (1 << (S::kShift - 1))) >> S::kShift;
    int32_t sector = base + offset.sector;
    f += offset.fraction;
    if (f >= 255) {
        f -= 255;
        sector += 1;
    }
    const int32_t t = (span * f + 128) >> 8;
    switch (sector % 6) {
        case 0: red += span; blue += span - t; break;
        case 1: red += span; green += t; break;
        case 2: red += span - t; green += span; break;
        case 3: green += span; blue += t; break;
        case 4: green += span - t; blue += span; break;
        default: blue += span; red += t; break;
    }
}

template <class S, class Sample>
int32_t RunHueSaturation(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                         int32_t y, int32_t dstBytesPerPixel, int32_t srcBytesPerPixel,
                         int32_t dstStride, int32_t srcStride, void* value1) {
    const HueSaturationParameters* p = RecordOf<const HueSaturationParameters>(value1);
    FilterArea a;
    if (p == nullptr || !ResolveArea(a, dstBits, srcBits, rect, x, y, dstBytesPerPixel,
                                     srcBytesPerPixel, dstStride, srcStride)) {
        return 0;
    }
    constexpr int32_t size = static_cast<int32_t>(sizeof(Sample));
    if (a.srcBytesPerPixel < 3 * size || a.dstBytesPerPixel < 3 * size) return 0;

    // Chroma table for this saturation: T[c] = floor((c * (S + 256) + 128) / 256).
    const int32_t factor = std::clamp(p->saturation, -255, 255) + 256;
    std::vector<int32_t> chroma(S::kTop + 1);
    for (int32_t c = 0; c <= S::kTop; ++c) chroma[c] = (c * factor + 128) >> 8;
    const int32_t* reciprocal = S::Reciprocals();
    const HueOffset offset = HueOffsetOf(p->hue);

    for (int32_t row = 0; row < a.height; ++row) {
        const uint8_t* s = a.src + static_cast<intptr_t>(row) * a.srcStride;
        uint8_t* d = a.dst + static_cast<intptr_t>(row) * a.dstStride;
        for (int32_t col = 0; col < a.width; ++col) {
            Sample bgr[3];
            std::memcpy(bgr, s, sizeof bgr);
            int32_t blue = std::min<int32_t>(bgr[0], S::kTop);
            int32_t green = std::min<int32_t>(bgr[1], S::kTop);
            int32_t red = std::min<int32_t>(bgr[2], S::kTop);
            AdjustPixel<S>(red, green, blue, chroma.data(), reciprocal, offset);
            bgr[0] = static_cast<Sample>(blue);
            bgr[1] = static_cast<Sample>(green);
            bgr[2] = static_cast<Sample>(red);
            std::memcpy(d, bgr, sizeof bgr);
            s += a.srcBytesPerPixel;
            d += a.dstBytesPerPixel;
        }
    }
    return 1;
}

}  // namespace

int32_t HueSaturation8(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                       int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                       int32_t dstStride, int32_t srcStride, void* value1, void*) {
    return RunHueSaturation<Scale8, uint8_t>(dstBits, srcBits, rect, x, y, dstBytesPerPixel,
                                             srcBytesPerPixel, dstStride, srcStride, value1);
}

int32_t HueSaturation16(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                        int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                        int32_t dstStride, int32_t srcStride, void* value1, void*) {
    return RunHueSaturation<Scale12, uint16_t>(dstBits, srcBits, rect, x, y, dstBytesPerPixel,
                                               srcBytesPerPixel, dstStride, srcStride, value1);
}

}  // namespace lumora
