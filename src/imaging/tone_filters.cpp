#include "imaging/tone_filters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/filter_area.h"
#include "imaging/filter_vectors.h"

namespace lumora {
namespace {

#if LUMORA_HAVE_SSE2
// Bytes first..count-1 of a row through a 256-entry table, 32 at a time: the table as sixteen
// 16-byte pieces, piece h looked up by the low nibble of every byte (the byte XOR 16h, plus 0x70
// with saturation, has its top bit set, and so looks up 0, unless the byte's high nibble is h).
// Returns the first byte not done.
LUMORA_AVX2_FUNCTION int32_t TableRowAvx2(const uint8_t* table, const uint8_t* s, uint8_t* d,
                                          int32_t count) {
    __m256i pieces[16];
    for (int h = 0; h < 16; ++h) {
        pieces[h] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * h)));
    }
    const __m256i bias = _mm256_set1_epi8(0x70);
    int32_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        __m256i out = _mm256_setzero_si256();
        for (int h = 0; h < 16; ++h) {
            const __m256i index =
                _mm256_adds_epu8(_mm256_xor_si256(v, _mm256_set1_epi8(static_cast<char>(16 * h))), bias);
            out = _mm256_or_si256(out, _mm256_shuffle_epi8(pieces[h], index));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), out);
    }
    return i;
}
#endif

#if LUMORA_HAVE_SSE2
// The same 64 bytes at a time with AVX-512: two 128-entry byte permutes, chosen by the top bit.
LUMORA_AVX512_FUNCTION int32_t TableRowAvx512(const uint8_t* table, const uint8_t* s, uint8_t* d,
                                              int32_t count) {
    const __m512i t0 = _mm512_loadu_si512(table);
    const __m512i t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128);
    const __m512i t3 = _mm512_loadu_si512(table + 192);
    int32_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i v = _mm512_loadu_si512(s + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
        _mm512_storeu_si512(d + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high));
    }
    return i;
}
#endif

// Replaces every channel sample of the area by its table entry (8-bit samples). Rows whose bytes
// are all samples (gray, 24 bits) go 64 bytes at a time with AVX-512, 32 with AVX2, else two
// bytes per look-up through a table of byte pairs.
void ApplyTable8(const FilterArea& a, const uint16_t* table16) {
    uint8_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(table16[i]);
    const int32_t channels = FilterChannels(a.srcBytesPerPixel);
    const bool whole = channels == a.srcBytesPerPixel;
    [[maybe_unused]] const bool wide = Avx2RoutinesEnabled();
    [[maybe_unused]] const bool widest = Avx512FiltersEnabled();
    std::vector<uint16_t> pairs;
    if (whole && !wide && static_cast<int64_t>(a.width) * a.height * channels >= 65536) {
        // Built when the area has more samples than the table has entries. Entry for the two
        // bytes {x, y} as one 16-bit load reads them: {table[x], table[y]}.
        pairs.resize(65536);
        for (int x = 0; x < 256; ++x) {
            for (int y = 0; y < 256; ++y) {
                const uint8_t in[2] = {static_cast<uint8_t>(x), static_cast<uint8_t>(y)};
                const uint8_t out[2] = {table[x], table[y]};
                uint16_t key, value;
                std::memcpy(&key, in, 2);
                std::memcpy(&value, out, 2);
                pairs[key] = value;
            }
        }
    }
    for (int32_t row = 0; row < a.height; ++row) {
        const uint8_t* s = a.src + static_cast<intptr_t>(row) * a.srcStride;
        uint8_t* d = a.dst + static_cast<intptr_t>(row) * a.dstStride;
        if (whole) {
            const int32_t count = a.width * channels;
            int32_t i = 0;
#if LUMORA_HAVE_SSE2
            if (widest) i = TableRowAvx512(table, s, d, count);
            if (wide) i += TableRowAvx2(table, s + i, d + i, count - i);
#endif
            if (!pairs.empty()) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
                // Eight bytes per load and store: the 16-bit fields of a little-endian word are
                // the pairs a 16-bit load would read.
                for (; i + 8 <= count; i += 8) {
                    uint64_t w;
                    std::memcpy(&w, s + i, 8);
                    const uint64_t out = static_cast<uint64_t>(pairs[w & 0xFFFF]) |
                                         static_cast<uint64_t>(pairs[(w >> 16) & 0xFFFF]) << 16 |
                                         static_cast<uint64_t>(pairs[(w >> 32) & 0xFFFF]) << 32 |
                                         static_cast<uint64_t>(pairs[w >> 48]) << 48;
                    std::memcpy(d + i, &out, 8);
                }
#endif
                for (; i + 2 <= count; i += 2) {
                    uint16_t v;
                    std::memcpy(&v, s + i, 2);
                    v = pairs[v];
                    std::memcpy(d + i, &v, 2);
                }
            }
            for (; i < count; ++i) d[i] = table[s[i]];
            continue;
        }
        for (int32_t col = 0; col < a.width; ++col) {
            for (int32_t c = 0; c < channels; ++c) d[c] = table[s[c]];
            s += a.srcBytesPerPixel;
            d += a.dstBytesPerPixel;
        }
    }
}

// The same on 16-bit samples; a sample above the table's range reads the last entry.
void ApplyTable16(const FilterArea& a, const uint16_t* table) {
    const int32_t srcStep = a.srcBytesPerPixel / 2;
    const int32_t dstStep = a.dstBytesPerPixel / 2;
    const int32_t channels = FilterChannels(srcStep);
    for (int32_t row = 0; row < a.height; ++row) {
        const uint8_t* s = a.src + static_cast<intptr_t>(row) * a.srcStride;
        uint8_t* d = a.dst + static_cast<intptr_t>(row) * a.dstStride;
        for (int32_t col = 0; col < a.width; ++col) {
            for (int32_t c = 0; c < channels; ++c) {
                uint16_t v;
                std::memcpy(&v, s + 2 * c, 2);
                v = table[std::min<int32_t>(v, kSampleMax16)];
                std::memcpy(d + 2 * c, &v, 2);
            }
            s += 2 * srcStep;
            d += 2 * dstStep;
        }
    }
}

// Runs a table filter whose table build makes from the record value1 points to.
template <typename Record, typename Builder>
int32_t RunTableFilter(Builder build, int32_t maxValue, uint8_t* dstBits, const uint8_t* srcBits,
                       const Rect* rect, int32_t x, int32_t y, int32_t dstBytesPerPixel,
                       int32_t srcBytesPerPixel, int32_t dstStride, int32_t srcStride,
                       void* value1) {
    const Record* setting = RecordOf<const Record>(value1);
    FilterArea area;
    if (setting == nullptr ||
        !ResolveArea(area, dstBits, srcBits, rect, x, y, dstBytesPerPixel, srcBytesPerPixel,
                     dstStride, srcStride)) {
        return 0;
    }
    if (!HasSampleFormat(area, maxValue == 255 ? 1 : 2)) return 0;
    uint16_t table[kSampleMax16 + 1];
    build(*setting, maxValue, table);
    if (maxValue == 255) {
        ApplyTable8(area, table);
    } else {
        ApplyTable16(area, table);
    }
    return 1;
}

}  // namespace

LUMORA_DOUBLE_MATH void BuildGammaTable(int32_t gamma, int32_t maxValue, uint16_t* table) {
    gamma = std::clamp(gamma, 0, 200);
    double e = gamma > 100 ? (gamma - 100) * 0.1 + 1 : gamma * 0.01;
    e = std::clamp(e, 0.001, 99.999);
    const double top = std::log10(static_cast<double>(maxValue));
    table[0] = 0;
    for (int32_t i = 1; i <= maxValue; ++i) {
        const double m = top + e * (std::log10(static_cast<double>(i)) - top);
        if (m < 0) {
            table[i] = 1;
            continue;
        }
        // The first k >= 2 with log10(k - 1) <= m <= log10(k + 1) is the first k >= 2 with
        // m <= log10(k + 1) (the lower bound then holds by itself). Start near it from
        // y = 10^m and step to it with the same comparisons an upward search would make.
        const double y = std::pow(10.0, m);
        int32_t k = y >= maxValue ? maxValue : std::max(2, static_cast<int32_t>(std::ceil(y)) - 1);
        while (k > 2 && m <= std::log10(static_cast<double>(k))) --k;
        while (k < maxValue && m > std::log10(static_cast<double>(k + 1))) ++k;
        table[i] = static_cast<uint16_t>(k >= maxValue ? maxValue : k);
    }
}

LUMORA_DOUBLE_MATH void BuildContrastTable(int32_t contrast, int32_t maxValue, uint16_t* table) {
    // The 16-bit table is the 8-bit one carried to 12 bits: setting x 16, 2048 for 128, 4096
    // for 256, 4095 for 255.
    const int32_t scale = maxValue == 255 ? 1 : 16;
    const int32_t c = std::clamp(contrast, -127, 127) * scale;
    const int32_t half = 128 * scale;
    const double range = 256.0 * scale;
    for (int32_t i = 0; i <= maxValue; ++i) {
        int32_t v;
        if (i < c) {
            v = 0;
        } else if (i > maxValue - c) {
            v = maxValue;
        } else {
            v = static_cast<int32_t>(range / (2 * (half - c)) * (i - c));
        }
        table[i] = static_cast<uint16_t>(std::clamp(v, 0, maxValue));
    }
}

LUMORA_DOUBLE_MATH void BuildBrightnessTable(int32_t brightness, int32_t maxValue, uint16_t* table) {
    const int32_t b = std::clamp(brightness, -255, 255);
    double k = 1;
    if (b > 0) k = 1 + b * 10 / 255.0;
    if (b < 0) k = 1 - -b / 255.0;
    for (int32_t v = 0; v <= maxValue; ++v) {
        const double scaled = k * v;
        table[v] = static_cast<uint16_t>(scaled >= maxValue ? maxValue : static_cast<int32_t>(scaled));
    }
}

void BuildToneCurve(const ToneCurveParameters& p, int32_t maxValue, uint16_t* table) {
    for (int32_t v = 0; v <= maxValue; ++v) table[v] = static_cast<uint16_t>(v);
    uint16_t stage[kSampleMax16 + 1];
    auto follow = [&](void (*build)(int32_t, int32_t, uint16_t*), int32_t setting) {
        build(setting, maxValue, stage);
        for (int32_t v = 0; v <= maxValue; ++v) table[v] = stage[table[v]];
    };
    if (p.gamma != 100) follow(BuildGammaTable, p.gamma);
    if (p.contrast != 0) follow(BuildContrastTable, p.contrast);
    if (p.brightness != 0) follow(BuildBrightnessTable, p.brightness);
}

namespace {

// No entries: the samples stay as they are.
void CopyToneTable(const ToneTable& given, int32_t maxValue, uint16_t* table) {
    for (int32_t i = 0; i <= maxValue; ++i) table[i] = given.entries != nullptr ? given.entries[i] : static_cast<uint16_t>(i);
}

}  // namespace

#define LUMORA_TABLE_FILTER(name, Record, builder, maxValue)                                    \
    int32_t name(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,         \
                 int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,              \
                 int32_t dstStride, int32_t srcStride, void* value1, void*) {                  \
        return RunTableFilter<Record>(builder, maxValue, dstBits, srcBits, rect, x, y,         \
                                      dstBytesPerPixel, srcBytesPerPixel, dstStride,           \
                                      srcStride, value1);                                      \
    }

LUMORA_TABLE_FILTER(Gamma8, int32_t, BuildGammaTable, 255)
LUMORA_TABLE_FILTER(Gamma16, int32_t, BuildGammaTable, kSampleMax16)
LUMORA_TABLE_FILTER(Contrast8, int32_t, BuildContrastTable, 255)
LUMORA_TABLE_FILTER(Contrast16, int32_t, BuildContrastTable, kSampleMax16)
LUMORA_TABLE_FILTER(Brightness8, int32_t, BuildBrightnessTable, 255)
LUMORA_TABLE_FILTER(Brightness16, int32_t, BuildBrightnessTable, kSampleMax16)

LUMORA_TABLE_FILTER(ToneCurve8, ToneCurveParameters, BuildToneCurve, 255)
LUMORA_TABLE_FILTER(ToneCurve16, ToneCurveParameters, BuildToneCurve, kSampleMax16)
LUMORA_TABLE_FILTER(ToneTable8, ToneTable, CopyToneTable, 255)
LUMORA_TABLE_FILTER(ToneTable16, ToneTable, CopyToneTable, kSampleMax16)

#undef LUMORA_TABLE_FILTER

}  // namespace lumora
