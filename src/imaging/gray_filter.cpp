#include "imaging/gray_filter.h"

#include <algorithm>
#include <cstring>

#include "imaging/filter_settings.h"
#include "imaging/filter_area.h"
#include "imaging/image_buffer.h"
#include "imaging/processor_info.h"
#include "imaging/vector_support.h"

#if LUMORA_HAVE_SSE2
#include <mmintrin.h>
#define LUMORA_MMX_FUNCTION __attribute__((target("mmx")))
#endif

namespace lumora {
namespace {

// Gains and offsets by position index: 0 R, 1 G1, 2 G2, 3 B.
struct GrayPass {
    int32_t phase;
    int32_t gain[4];
    int32_t offset[4];
};

// Position index of (P, Q).
constexpr int32_t kPosition[2][2] = {{1, 0}, {3, 2}};

GrayPass PrepareGrayPass(const GrayParameters& p) {
    GrayPass g;
    g.phase = p.bayerPhase & 3;
    const int32_t gains[4] = {p.gainR, p.gainG1, p.gainG2, p.gainB};
    const int32_t offsets[4] = {p.offsetR, p.offsetG1, p.offsetG2, p.offsetB};
    for (int i = 0; i < 4; ++i) {
        g.gain[i] = std::clamp(gains[i], 0, 32767);
        g.offset[i] = std::clamp(offsets[i], -255, 255);
    }
    return g;
}

// The two positions of a row: for even and for odd columns.
struct RowPositions {
    int32_t even;
    int32_t odd;
};

inline RowPositions PositionsOfRow(const GrayPass& g, int32_t row) {
    const int32_t p = (g.phase & 1) ^ (row & 1);
    const int32_t q = (g.phase >> 1) & 1;
    return {kPosition[p][q], kPosition[p][q ^ 1]};
}

inline uint8_t GrayValue(const GrayPass& g, int32_t position, uint8_t v) {
    const int32_t r = g.offset[position] + ((g.gain[position] * v) >> 7);
    return static_cast<uint8_t>(std::clamp(r, 0, 255));
}

// Columns from..width-1 of one row, one sample at a time.
inline void GrayRowPlain(const GrayPass& g, RowPositions pos, const uint8_t* s, uint8_t* d,
                         int32_t from, int32_t width) {
    for (int32_t x = from; x < width; ++x) d[x] = GrayValue(g, (x & 1) ? pos.odd : pos.even, s[x]);
}

void GrayAreaPlain(const FilterArea& a, const GrayPass& g) {
    for (int32_t row = 0; row < a.height; ++row) {
        GrayRowPlain(g, PositionsOfRow(g, row), a.src + static_cast<intptr_t>(row) * a.srcStride,
                     a.dst + static_cast<intptr_t>(row) * a.dstStride, 0, a.width);
    }
}

#if LUMORA_HAVE_SSE2

// Eight 16-bit lanes of samples v (0..255): offset + floor(gain x v / 128), before the limit.
// The product needs up to 23 bits: its low half shifted gives the quotient whenever the high half
// is 0; otherwise the quotient is at least 512 and any value >= 512 saturates the same way.
LUMORA_SSE2_FUNCTION inline __m128i ScaleLanesSSE2(__m128i v, __m128i gain,
                                                               __m128i offset) {
    const __m128i low = _mm_mullo_epi16(v, gain);
    const __m128i high = _mm_mulhi_epi16(v, gain);
    const __m128i big = _mm_andnot_si128(_mm_cmpeq_epi16(high, _mm_setzero_si128()),
                                         _mm_set1_epi16(512));
    return _mm_add_epi16(_mm_or_si128(_mm_srli_epi16(low, 7), big), offset);
}

LUMORA_SSE2_FUNCTION void GrayAreaSSE2(const FilterArea& a, const GrayPass& g) {
    const __m128i zero = _mm_setzero_si128();
    for (int32_t row = 0; row < a.height; ++row) {
        const uint8_t* s = a.src + static_cast<intptr_t>(row) * a.srcStride;
        uint8_t* d = a.dst + static_cast<intptr_t>(row) * a.dstStride;
        const RowPositions pos = PositionsOfRow(g, row);
        const int16_t ge = static_cast<int16_t>(g.gain[pos.even]);
        const int16_t go = static_cast<int16_t>(g.gain[pos.odd]);
        const int16_t oe = static_cast<int16_t>(g.offset[pos.even]);
        const int16_t oo = static_cast<int16_t>(g.offset[pos.odd]);
        // Lane 0 is an even column: every block starts at a multiple of 16.
        const __m128i gain = _mm_set_epi16(go, ge, go, ge, go, ge, go, ge);
        const __m128i offset = _mm_set_epi16(oo, oe, oo, oe, oo, oe, oo, oe);
        int32_t x = 0;
        for (; x + 16 <= a.width; x += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
            const __m128i lo = ScaleLanesSSE2(_mm_unpacklo_epi8(v, zero), gain, offset);
            const __m128i hi = ScaleLanesSSE2(_mm_unpackhi_epi8(v, zero), gain, offset);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_packus_epi16(lo, hi));
        }
        GrayRowPlain(g, pos, s, d, x, a.width);
    }
}

LUMORA_MMX_FUNCTION inline __m64 ScaleLanesMMX(__m64 v, __m64 gain, __m64 offset) {
    const __m64 low = _mm_mullo_pi16(v, gain);
    const __m64 high = _mm_mulhi_pi16(v, gain);
    const __m64 big = _mm_andnot_si64(_mm_cmpeq_pi16(high, _mm_setzero_si64()), _mm_set1_pi16(512));
    return _mm_add_pi16(_mm_or_si64(_mm_srli_pi16(low, 7), big), offset);
}

LUMORA_MMX_FUNCTION void GrayAreaMMX(const FilterArea& a, const GrayPass& g) {
    const __m64 zero = _mm_setzero_si64();
    for (int32_t row = 0; row < a.height; ++row) {
        const uint8_t* s = a.src + static_cast<intptr_t>(row) * a.srcStride;
        uint8_t* d = a.dst + static_cast<intptr_t>(row) * a.dstStride;
        const RowPositions pos = PositionsOfRow(g, row);
        const int16_t ge = static_cast<int16_t>(g.gain[pos.even]);
        const int16_t go = static_cast<int16_t>(g.gain[pos.odd]);
        const int16_t oe = static_cast<int16_t>(g.offset[pos.even]);
        const int16_t oo = static_cast<int16_t>(g.offset[pos.odd]);
        const __m64 gain = _mm_set_pi16(go, ge, go, ge);
        const __m64 offset = _mm_set_pi16(oo, oe, oo, oe);
        int32_t x = 0;
        for (; x + 8 <= a.width; x += 8) {
            __m64 v;
            std::memcpy(&v, s + x, 8);
            const __m64 lo = ScaleLanesMMX(_mm_unpacklo_pi8(v, zero), gain, offset);
            const __m64 hi = ScaleLanesMMX(_mm_unpackhi_pi8(v, zero), gain, offset);
            const __m64 out = _mm_packs_pu16(lo, hi);
            std::memcpy(d + x, &out, 8);
        }
        _mm_empty();
        GrayRowPlain(g, pos, s, d, x, a.width);
    }
}
#endif

enum class GrayVariant { kPlain, kMMX, kSSE2 };

int32_t RunGrayVariant(GrayVariant variant, uint8_t* dstBits, const uint8_t* srcBits,
                      const Rect* rect, int32_t x, int32_t y, int32_t dstBytesPerPixel,
                      int32_t srcBytesPerPixel, int32_t dstStride, int32_t srcStride,
                      void* value1) {
    const GrayParameters* p = RecordOf<const GrayParameters>(value1);
    FilterArea a;
    if (p == nullptr || dstBytesPerPixel != 1 || srcBytesPerPixel != 1 ||
        !ResolveArea(a, dstBits, srcBits, rect, x, y, 1, 1, dstStride, srcStride)) {
        return 0;
    }
    const GrayPass g = PrepareGrayPass(*p);
#if LUMORA_HAVE_SSE2
    // A variant whose instructions this processor or its system cannot run falls back.
    const ProcessorInfo& host = HostProcessor();
    const int usable = host.features & host.osSupport;
    if (variant == GrayVariant::kSSE2 && (usable & CPU_SSE2) == 0) variant = GrayVariant::kPlain;
    if (variant == GrayVariant::kMMX && (usable & CPU_MMX) == 0) variant = GrayVariant::kPlain;
    if (variant == GrayVariant::kSSE2) {
        GrayAreaSSE2(a, g);
        return 1;
    }
    if (variant == GrayVariant::kMMX) {
        GrayAreaMMX(a, g);
        return 1;
    }
#else
    (void)variant;
#endif
    GrayAreaPlain(a, g);
    return 1;
}

// Gain of a position relative to G1: trunc(mean G1 / mean x 128).
LUMORA_DOUBLE_MATH int32_t RelativeGain(uint64_t sumG1, uint64_t countG1, uint64_t sum, uint64_t count) {
    if (countG1 == 0 || count == 0) return 128;
    const double meanG1 = static_cast<double>(sumG1) / static_cast<double>(countG1);
    const double mean = static_cast<double>(sum) / static_cast<double>(count);
    const double gain = meanG1 / mean * 128;  // mean >= 1: only samples of 1..254 count
    return static_cast<int32_t>(std::min(gain, 32767.0));
}

}  // namespace

int32_t MeasureGrayGains(uint8_t*, const uint8_t* srcBits, const Rect* rect, int32_t,
                         int32_t, uint16_t, uint16_t srcBytesPerPixel, int32_t,
                         int32_t srcStride, void* value1, void*) {
    GrayParameters* p = RecordOf<GrayParameters>(value1);
    FilterArea a;
    if (p == nullptr || srcBytesPerPixel != 1 ||
        !ResolveSourceArea(a, srcBits, rect, 1, srcStride)) {
        return 0;
    }
    const GrayPass g = PrepareGrayPass(*p);
    uint64_t sum[4] = {};
    uint64_t count[4] = {};
    for (int32_t row = 0; row < a.height; ++row) {
        const uint8_t* s = a.src + static_cast<intptr_t>(row) * a.srcStride;
        const RowPositions pos = PositionsOfRow(g, row);
        // Per row: the even and the odd columns.
        uint64_t rowSum[2] = {}, rowCount[2] = {};
        for (int32_t x = 0; x < a.width; ++x) {
            const uint32_t v = s[x];
            const uint64_t counted = (v - 1u) < 254u ? 1u : 0u;
            rowSum[x & 1] += counted * v;
            rowCount[x & 1] += counted;
        }
        sum[pos.even] += rowSum[0];
        count[pos.even] += rowCount[0];
        sum[pos.odd] += rowSum[1];
        count[pos.odd] += rowCount[1];
    }
    p->gainR = RelativeGain(sum[1], count[1], sum[0], count[0]);
    p->gainG1 = 128;
    p->gainG2 = RelativeGain(sum[1], count[1], sum[2], count[2]);
    p->gainB = RelativeGain(sum[1], count[1], sum[3], count[3]);
    return 1;
}

int32_t GrayFilterPlain(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                        int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                        int32_t dstStride, int32_t srcStride, void* value1, void*) {
    return RunGrayVariant(GrayVariant::kPlain, dstBits, srcBits, rect, x, y, dstBytesPerPixel,
                         srcBytesPerPixel, dstStride, srcStride, value1);
}

int32_t GrayFilterMMX(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                      int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                      int32_t dstStride, int32_t srcStride, void* value1, void*) {
    return RunGrayVariant(GrayVariant::kMMX, dstBits, srcBits, rect, x, y, dstBytesPerPixel,
                         srcBytesPerPixel, dstStride, srcStride, value1);
}

int32_t GrayFilterSSE2(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                       int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                       int32_t dstStride, int32_t srcStride, void* value1, void*) {
    return RunGrayVariant(GrayVariant::kSSE2, dstBits, srcBits, rect, x, y, dstBytesPerPixel,
                         srcBytesPerPixel, dstStride, srcStride, value1);
}

PixelRoutine SelectGrayFilter(const ProcessorInfo& processor) {
    switch (ChooseVectorLevel(processor)) {
        case VectorLevel::Sse2: return GrayFilterSSE2;
        case VectorLevel::Mmx: return GrayFilterMMX;
        default: return GrayFilterPlain;
    }
}

bool GrayFilterStage(FilterSettings& settings, ImageBuffer& buffer8,
                     const ProcessorInfo& processor) {
    if (buffer8.BitCount() != 8) return false;
    GrayParameters p{settings.bayerPhase,  settings.grayGainR,    settings.grayGainG1,
                     settings.grayGainG2,  settings.grayGainB,    settings.grayOffsetR,
                     settings.grayOffsetG1, settings.grayOffsetG2, settings.grayOffsetB};
    GrayParameters* record = &p;
    bool calibrated = false;
    if (settings.grayAutoGainCount != 0 &&
        buffer8.Apply(MeasureGrayGains, &buffer8, nullptr, 0, 0, &record, nullptr) != 0) {
        settings.grayGainR = p.gainR;
        settings.grayGainG1 = p.gainG1;
        settings.grayGainG2 = p.gainG2;
        settings.grayGainB = p.gainB;
        if (settings.grayAutoGainCount > 0) settings.grayAutoGainCount -= 1;
        calibrated = true;
    }
    if (p.gainR != 128 || p.gainG1 != 128 || p.gainG2 != 128 || p.gainB != 128) {
        buffer8.Apply(SelectGrayFilter(processor), &buffer8, nullptr, 0, 0, &record, nullptr);
    }
    return calibrated;
}

}  // namespace lumora
