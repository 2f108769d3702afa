// The AVX-512 conversions of this compiler's headers start from an undefined register, which its
// flow analysis reports as a possibly uninitialised read; before any header, so that it covers
// them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "imaging/hue_saturation_filter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "imaging/filter_area.h"
#include "imaging/filter_vectors.h"

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

#if LUMORA_HAVE_SSE2
// The 8-bit model on eight pixels at a time, in 16-bit lanes; the same arithmetic as
// AdjustPixel, with the sector table written as patterns: channel k of a pixel in sector s
// gets newMin + P((s + shift_k) mod 6), P = {span, span, span - t, 0, 0, t}, with shifts
// red 0, green 4, blue 2.
LUMORA_SSE2_FUNCTION inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// newMin + P(index) for one channel; index in 0..5.
LUMORA_SSE2_FUNCTION inline __m128i Channel(__m128i index, __m128i newMin, __m128i span,
                                            __m128i t) {
    const __m128i raised = _mm_and_si128(_mm_cmplt_epi16(index, _mm_set1_epi16(3)), span);
    const __m128i down = _mm_and_si128(_mm_cmpeq_epi16(index, _mm_set1_epi16(2)), t);
    const __m128i up = _mm_and_si128(_mm_cmpeq_epi16(index, _mm_set1_epi16(5)), t);
    return _mm_add_epi16(_mm_add_epi16(newMin, raised), _mm_sub_epi16(up, down));
}

LUMORA_SSE2_FUNCTION inline __m128i Mod6(__m128i v) {
    return _mm_sub_epi16(v, _mm_and_si128(_mm_cmpgt_epi16(v, _mm_set1_epi16(5)), _mm_set1_epi16(6)));
}

struct Lanes {
    __m128i blue, green, red;
};

// Eight pixels (16-bit lanes, channels 0..255) through the model.
LUMORA_SSE2_FUNCTION inline Lanes AdjustLanes(Lanes in, __m128i factorHigh, __m128i factorLow,
                                              __m128i hueSector, __m128i hueFraction) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i round = _mm_set1_epi16(128);
    const __m128i r = in.red, g = in.green, b = in.blue;
    // Maximum, base sector and d.
    const __m128i greenOver = _mm_cmpgt_epi16(g, r);
    __m128i mx = _mm_max_epi16(r, g);
    __m128i base = Select(greenOver, _mm_set1_epi16(3), _mm_set1_epi16(1));
    __m128i dd = Select(greenOver, _mm_sub_epi16(b, r), _mm_sub_epi16(g, b));
    const __m128i blueOver = _mm_cmpgt_epi16(b, mx);
    mx = _mm_max_epi16(mx, b);
    base = Select(blueOver, _mm_set1_epi16(5), base);
    dd = Select(blueOver, _mm_sub_epi16(r, g), dd);
    const __m128i mn = _mm_min_epi16(_mm_min_epi16(r, g), b);
    const __m128i c = _mm_sub_epi16(mx, mn);
    const __m128i negative = _mm_cmpgt_epi16(zero, dd);
    base = _mm_add_epi16(base, negative);
    dd = _mm_add_epi16(dd, _mm_and_si128(negative, c));
    // Lightness and chroma; T[c] = c * (factor >> 8) + ((c * (factor & 255) + 128) >> 8).
    const __m128i sum = _mm_add_epi16(mx, mn);
    const __m128i cap = _mm_min_epi16(sum, _mm_sub_epi16(_mm_set1_epi16(511), sum));
    const __m128i chroma = _mm_add_epi16(
        _mm_mullo_epi16(c, factorHigh),
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c, factorLow), round), 8));
    const __m128i m = _mm_min_epi16(chroma, cap);
    const __m128i newMin = _mm_srli_epi16(_mm_sub_epi16(sum, m), 1);
    const __m128i span = _mm_sub_epi16(_mm_srli_epi16(_mm_add_epi16(sum, m), 1), newMin);
    // Hue fraction f = (floor(16711680 / c) * d + 32768) >> 16, from the reciprocal's halves.
    alignas(16) uint16_t chromaLanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(chromaLanes), c);
    const int32_t* reciprocal = Scale8::Reciprocals();
    const __m128i r03 = _mm_setr_epi32(reciprocal[chromaLanes[0]], reciprocal[chromaLanes[1]],
                                       reciprocal[chromaLanes[2]], reciprocal[chromaLanes[3]]);
    const __m128i r47 = _mm_setr_epi32(reciprocal[chromaLanes[4]], reciprocal[chromaLanes[5]],
                                       reciprocal[chromaLanes[6]], reciprocal[chromaLanes[7]]);
    // Low halves sign-extended so that the signed pack keeps them; high halves are 0..255.
    const __m128i low = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(r03, 16), 16),
                                        _mm_srai_epi32(_mm_slli_epi32(r47, 16), 16));
    const __m128i high = _mm_packs_epi32(_mm_srli_epi32(r03, 16), _mm_srli_epi32(r47, 16));
    __m128i f = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(high, dd), _mm_mulhi_epu16(low, dd)),
                              _mm_srli_epi16(_mm_mullo_epi16(low, dd), 15));
    f = _mm_add_epi16(f, hueFraction);
    const __m128i wrap = _mm_cmpgt_epi16(f, _mm_set1_epi16(254));
    f = _mm_sub_epi16(f, _mm_and_si128(wrap, _mm_set1_epi16(255)));
    const __m128i sector = Mod6(_mm_sub_epi16(_mm_add_epi16(base, hueSector), wrap));
    const __m128i t = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(span, f), round), 8);
    return {Channel(Mod6(_mm_add_epi16(sector, _mm_set1_epi16(2))), newMin, span, t),
            Channel(Mod6(_mm_add_epi16(sector, _mm_set1_epi16(4))), newMin, span, t),
            Channel(sector, newMin, span, t)};
}

// The same on sixteen pixels with AVX2, operation for operation.
struct Lanes16 {
    __m256i blue, green, red;
};

LUMORA_AVX2_FUNCTION inline __m256i Select16(__m256i mask, __m256i yes, __m256i no) {
    return _mm256_blendv_epi8(no, yes, mask);
}

LUMORA_AVX2_FUNCTION inline __m256i Channel16(__m256i index, __m256i newMin, __m256i span,
                                              __m256i t) {
    const __m256i raised = _mm256_and_si256(_mm256_cmpgt_epi16(_mm256_set1_epi16(3), index), span);
    const __m256i down = _mm256_and_si256(_mm256_cmpeq_epi16(index, _mm256_set1_epi16(2)), t);
    const __m256i up = _mm256_and_si256(_mm256_cmpeq_epi16(index, _mm256_set1_epi16(5)), t);
    return _mm256_add_epi16(_mm256_add_epi16(newMin, raised), _mm256_sub_epi16(up, down));
}

LUMORA_AVX2_FUNCTION inline __m256i Mod6x16(__m256i v) {
    return _mm256_sub_epi16(
        v, _mm256_and_si256(_mm256_cmpgt_epi16(v, _mm256_set1_epi16(5)), _mm256_set1_epi16(6)));
}

LUMORA_AVX2_FUNCTION inline Lanes16 AdjustLanes16(Lanes16 in, int32_t factor, HueOffset offset) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i round = _mm256_set1_epi16(128);
    const __m256i r = in.red, g = in.green, b = in.blue;
    const __m256i greenOver = _mm256_cmpgt_epi16(g, r);
    __m256i mx = _mm256_max_epi16(r, g);
    __m256i base = Select16(greenOver, _mm256_set1_epi16(3), _mm256_set1_epi16(1));
    __m256i dd = Select16(greenOver, _mm256_sub_epi16(b, r), _mm256_sub_epi16(g, b));
    const __m256i blueOver = _mm256_cmpgt_epi16(b, mx);
    mx = _mm256_max_epi16(mx, b);
    base = Select16(blueOver, _mm256_set1_epi16(5), base);
    dd = Select16(blueOver, _mm256_sub_epi16(r, g), dd);
    const __m256i mn = _mm256_min_epi16(_mm256_min_epi16(r, g), b);
    const __m256i c = _mm256_sub_epi16(mx, mn);
    const __m256i negative = _mm256_cmpgt_epi16(zero, dd);
    base = _mm256_add_epi16(base, negative);
    dd = _mm256_add_epi16(dd, _mm256_and_si256(negative, c));
    const __m256i sum = _mm256_add_epi16(mx, mn);
    const __m256i cap = _mm256_min_epi16(sum, _mm256_sub_epi16(_mm256_set1_epi16(511), sum));
    const __m256i chroma = _mm256_add_epi16(
        _mm256_mullo_epi16(c, _mm256_set1_epi16(static_cast<int16_t>(factor >> 8))),
        _mm256_srli_epi16(
            _mm256_add_epi16(
                _mm256_mullo_epi16(c, _mm256_set1_epi16(static_cast<int16_t>(factor & 0xFF))),
                round),
            8));
    const __m256i m = _mm256_min_epi16(chroma, cap);
    const __m256i newMin = _mm256_srli_epi16(_mm256_sub_epi16(sum, m), 1);
    const __m256i span = _mm256_sub_epi16(_mm256_srli_epi16(_mm256_add_epi16(sum, m), 1), newMin);
    // The reciprocals of the sixteen chromas: 32-bit look-ups, then their 16-bit halves.
    const int32_t* reciprocal = Scale8::Reciprocals();
    const __m256i r0 = _mm256_i32gather_epi32(
        reciprocal, _mm256_cvtepu16_epi32(_mm256_castsi256_si128(c)), 4);
    const __m256i r1 = _mm256_i32gather_epi32(
        reciprocal, _mm256_cvtepu16_epi32(_mm256_extracti128_si256(c, 1)), 4);
    // The in-lane packs leave the 64-bit quarters in the order 0, 2, 1, 3.
    const __m256i low = _mm256_permute4x64_epi64(
        _mm256_packs_epi32(_mm256_srai_epi32(_mm256_slli_epi32(r0, 16), 16),
                           _mm256_srai_epi32(_mm256_slli_epi32(r1, 16), 16)),
        0xD8);
    const __m256i high = _mm256_permute4x64_epi64(
        _mm256_packs_epi32(_mm256_srli_epi32(r0, 16), _mm256_srli_epi32(r1, 16)), 0xD8);
    __m256i f = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(high, dd), _mm256_mulhi_epu16(low, dd)),
        _mm256_srli_epi16(_mm256_mullo_epi16(low, dd), 15));
    f = _mm256_add_epi16(f, _mm256_set1_epi16(static_cast<int16_t>(offset.fraction)));
    const __m256i wrap = _mm256_cmpgt_epi16(f, _mm256_set1_epi16(254));
    f = _mm256_sub_epi16(f, _mm256_and_si256(wrap, _mm256_set1_epi16(255)));
    const __m256i sector = Mod6x16(_mm256_sub_epi16(
        _mm256_add_epi16(base, _mm256_set1_epi16(static_cast<int16_t>(offset.sector))), wrap));
    const __m256i t = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(span, f), round), 8);
    return {Channel16(Mod6x16(_mm256_add_epi16(sector, _mm256_set1_epi16(2))), newMin, span, t),
            Channel16(Mod6x16(_mm256_add_epi16(sector, _mm256_set1_epi16(4))), newMin, span, t),
            Channel16(sector, newMin, span, t)};
}

// 48 bytes as three vectors: one riffle takes the stream's first and second halves and
// interleaves them byte by byte, moving byte j to 2j mod 47. Four riffles take byte 3i + k to
// 16k + i (2^4 x 3 = 48 = 1 mod 47): pixel-interleaved channels become planes.
LUMORA_SSE2_FUNCTION inline void Riffle(__m128i& v0, __m128i& v1, __m128i& v2) {
    const __m128i a = _mm_unpacklo_epi8(v0, _mm_unpackhi_epi64(v1, v1));
    const __m128i b = _mm_unpacklo_epi8(_mm_unpackhi_epi64(v0, v0), v2);
    const __m128i c = _mm_unpacklo_epi8(v1, _mm_unpackhi_epi64(v2, v2));
    v0 = a;
    v1 = b;
    v2 = c;
}

// The inverse: even bytes of the stream to its first half, odd bytes to its second.
LUMORA_SSE2_FUNCTION inline void Unriffle(__m128i& v0, __m128i& v1, __m128i& v2) {
    const __m128i mask = _mm_set1_epi16(0x00FF);
    const __m128i e0 = _mm_and_si128(v0, mask), e1 = _mm_and_si128(v1, mask),
                  e2 = _mm_and_si128(v2, mask);
    const __m128i o0 = _mm_srli_epi16(v0, 8), o1 = _mm_srli_epi16(v1, 8), o2 = _mm_srli_epi16(v2, 8);
    v0 = _mm_packus_epi16(e0, e1);
    v1 = _mm_packus_epi16(e2, o0);
    v2 = _mm_packus_epi16(o1, o2);
}

// Sixteen 16-bit lanes (0..255) to sixteen bytes.
LUMORA_AVX2_FUNCTION inline __m128i Narrow16(__m256i v) {
    return _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

// 24-bit rows sixteen pixels at a time with AVX2; returns the pixels done (a multiple of 16).
LUMORA_AVX2_FUNCTION int32_t AdjustRow24Avx2(const uint8_t* s, uint8_t* d, int32_t width,
                                             int32_t factor, HueOffset offset) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t* p = s + 3 * static_cast<intptr_t>(x);
        __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        for (int i = 0; i < 4; ++i) Riffle(v0, v1, v2);
        const Lanes16 out = AdjustLanes16(
            {_mm256_cvtepu8_epi16(v0), _mm256_cvtepu8_epi16(v1), _mm256_cvtepu8_epi16(v2)},
            factor, offset);
        v0 = Narrow16(out.blue);
        v1 = Narrow16(out.green);
        v2 = Narrow16(out.red);
        for (int i = 0; i < 4; ++i) Unriffle(v0, v1, v2);
        uint8_t* q = d + 3 * static_cast<intptr_t>(x);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), v0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 16), v1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 32), v2);
    }
    return x;
}

// The same on thirty-two pixels with AVX-512, compares giving masks; the hue fraction in single
// precision, exactly (every product and sum is an integer below 2^24).
struct Lanes32 {
    __m512i blue, green, red;
};

// (floor(16711680 / c) x d + 32768) >> 16 for sixteen chromas c (0..255) and d (0..c), 32-bit
// lanes. The rounded quotient is at most one above the floor; where it is, its product with c
// exceeds 16711680. c = 0 is divided as 1 (d is 0 then).
LUMORA_AVX512_FUNCTION inline __m512i HueFraction16(__m512i c, __m512i d) {
    const __m512 divisor = _mm512_cvtepi32_ps(_mm512_max_epi32(c, _mm512_set1_epi32(1)));
    const __m512 top = _mm512_set1_ps(16711680.0f);
    __m512 quotient =
        _mm512_roundscale_ps(_mm512_div_ps(top, divisor), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __mmask16 over = _mm512_cmp_ps_mask(_mm512_mul_ps(quotient, divisor), top, _CMP_GT_OQ);
    quotient = _mm512_mask_sub_ps(quotient, over, quotient, _mm512_set1_ps(1.0f));
    const __m512 scaled = _mm512_mul_ps(
        _mm512_add_ps(_mm512_mul_ps(quotient, _mm512_cvtepi32_ps(d)), _mm512_set1_ps(32768.0f)),
        _mm512_set1_ps(1.0f / 65536.0f));
    return _mm512_cvttps_epi32(scaled);
}

LUMORA_AVX512_FUNCTION inline __m512i Join32(__m256i low, __m256i high) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

LUMORA_AVX512_FUNCTION inline __m512i Channel32(__m512i index, __m512i newMin, __m512i span,
                                                __m512i t) {
    __m512i out = _mm512_mask_add_epi16(
        newMin, _mm512_cmplt_epi16_mask(index, _mm512_set1_epi16(3)), newMin, span);
    out = _mm512_mask_sub_epi16(out, _mm512_cmpeq_epi16_mask(index, _mm512_set1_epi16(2)), out, t);
    return _mm512_mask_add_epi16(out, _mm512_cmpeq_epi16_mask(index, _mm512_set1_epi16(5)), out, t);
}

LUMORA_AVX512_FUNCTION inline __m512i Mod6x32(__m512i v) {
    return _mm512_mask_sub_epi16(v, _mm512_cmpgt_epi16_mask(v, _mm512_set1_epi16(5)), v,
                                 _mm512_set1_epi16(6));
}

LUMORA_AVX512_FUNCTION inline Lanes32 AdjustLanes32(Lanes32 in, int32_t factor, HueOffset offset) {
    const __m512i one = _mm512_set1_epi16(1);
    const __m512i round = _mm512_set1_epi16(128);
    const __m512i r = in.red, g = in.green, b = in.blue;
    const __mmask32 greenOver = _mm512_cmpgt_epi16_mask(g, r);
    __m512i mx = _mm512_max_epi16(r, g);
    __m512i base = _mm512_mask_blend_epi16(greenOver, one, _mm512_set1_epi16(3));
    __m512i dd = _mm512_mask_blend_epi16(greenOver, _mm512_sub_epi16(g, b), _mm512_sub_epi16(b, r));
    const __mmask32 blueOver = _mm512_cmpgt_epi16_mask(b, mx);
    mx = _mm512_max_epi16(mx, b);
    base = _mm512_mask_mov_epi16(base, blueOver, _mm512_set1_epi16(5));
    dd = _mm512_mask_mov_epi16(dd, blueOver, _mm512_sub_epi16(r, g));
    const __m512i mn = _mm512_min_epi16(_mm512_min_epi16(r, g), b);
    const __m512i c = _mm512_sub_epi16(mx, mn);
    const __mmask32 negative = _mm512_cmplt_epi16_mask(dd, _mm512_setzero_si512());
    base = _mm512_mask_sub_epi16(base, negative, base, one);
    dd = _mm512_mask_add_epi16(dd, negative, dd, c);
    const __m512i sum = _mm512_add_epi16(mx, mn);
    const __m512i cap = _mm512_min_epi16(sum, _mm512_sub_epi16(_mm512_set1_epi16(511), sum));
    const __m512i chroma = _mm512_add_epi16(
        _mm512_mullo_epi16(c, _mm512_set1_epi16(static_cast<int16_t>(factor >> 8))),
        _mm512_srli_epi16(
            _mm512_add_epi16(
                _mm512_mullo_epi16(c, _mm512_set1_epi16(static_cast<int16_t>(factor & 0xFF))),
                round),
            8));
    const __m512i m = _mm512_min_epi16(chroma, cap);
    const __m512i newMin = _mm512_srli_epi16(_mm512_sub_epi16(sum, m), 1);
    const __m512i span = _mm512_sub_epi16(_mm512_srli_epi16(_mm512_add_epi16(sum, m), 1), newMin);
    const __m512i f = Join32(
        _mm512_cvtepi32_epi16(HueFraction16(_mm512_cvtepu16_epi32(_mm512_castsi512_si256(c)),
                                            _mm512_cvtepu16_epi32(_mm512_castsi512_si256(dd)))),
        _mm512_cvtepi32_epi16(
            HueFraction16(_mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(c, 1)),
                          _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(dd, 1)))));
    __m512i fraction = _mm512_add_epi16(f, _mm512_set1_epi16(static_cast<int16_t>(offset.fraction)));
    const __mmask32 wrap = _mm512_cmpgt_epi16_mask(fraction, _mm512_set1_epi16(254));
    fraction = _mm512_mask_sub_epi16(fraction, wrap, fraction, _mm512_set1_epi16(255));
    __m512i sector = _mm512_add_epi16(base, _mm512_set1_epi16(static_cast<int16_t>(offset.sector)));
    sector = Mod6x32(_mm512_mask_add_epi16(sector, wrap, sector, one));
    const __m512i t =
        _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(span, fraction), round), 8);
    return {Channel32(Mod6x32(_mm512_add_epi16(sector, _mm512_set1_epi16(2))), newMin, span, t),
            Channel32(Mod6x32(_mm512_add_epi16(sector, _mm512_set1_epi16(4))), newMin, span, t),
            Channel32(sector, newMin, span, t)};
}

// Byte permutes between 192 interleaved bytes (64 pixels) and three 64-byte planes.
struct PlanePermutes {
    alignas(64) uint8_t gather[3][2][64];  // plane k: from bytes 0..127, from bytes 64..191
    uint64_t fromLast[3];                  // plane k: elements taken from the second permute
    alignas(64) uint8_t scatter[3][2][64];  // output vector o: from planes 0 and 1, from plane 2
    uint64_t fromThird[3];                 // output vector o: bytes taken from plane 2
};

const PlanePermutes& Permutes() {
    static const PlanePermutes p = [] {
        PlanePermutes t{};
        for (int k = 0; k < 3; ++k) {
            for (int i = 0; i < 64; ++i) {
                const int j = 3 * i + k;
                t.gather[k][0][i] = static_cast<uint8_t>(j & 127);
                t.gather[k][1][i] = static_cast<uint8_t>((j - 64) & 127);
                if (j >= 128) t.fromLast[k] |= uint64_t{1} << i;
            }
        }
        for (int o = 0; o < 3; ++o) {
            for (int i = 0; i < 64; ++i) {
                const int j = 64 * o + i;
                const int planar = 64 * (j % 3) + j / 3;
                t.scatter[o][0][i] = static_cast<uint8_t>(planar & 127);
                t.scatter[o][1][i] = static_cast<uint8_t>(planar & 63);
                if (planar >= 128) t.fromThird[o] |= uint64_t{1} << i;
            }
        }
        return t;
    }();
    return p;
}

LUMORA_AVX512_FUNCTION inline __m512i Widen32(__m256i bytes) { return _mm512_cvtepu8_epi16(bytes); }

// 24-bit rows 64 pixels at a time with AVX-512; returns the pixels done (a multiple of 64).
LUMORA_AVX512_FUNCTION int32_t AdjustRow24Avx512(const uint8_t* s, uint8_t* d, int32_t width,
                                                 int32_t factor, HueOffset offset) {
    const PlanePermutes& p = Permutes();
    __m512i gather[3][2], scatter[3][2];
    for (int k = 0; k < 3; ++k) {
        for (int h = 0; h < 2; ++h) {
            gather[k][h] = _mm512_load_si512(p.gather[k][h]);
            scatter[k][h] = _mm512_load_si512(p.scatter[k][h]);
        }
    }
    int32_t x = 0;
    for (; x + 64 <= width; x += 64) {
        const uint8_t* q = s + 3 * static_cast<intptr_t>(x);
        const __m512i v0 = _mm512_loadu_si512(q);
        const __m512i v1 = _mm512_loadu_si512(q + 64);
        const __m512i v2 = _mm512_loadu_si512(q + 128);
        __m512i plane[3];
        for (int k = 0; k < 3; ++k) {
            plane[k] = _mm512_mask_blend_epi8(p.fromLast[k],
                                              _mm512_permutex2var_epi8(v0, gather[k][0], v1),
                                              _mm512_permutex2var_epi8(v1, gather[k][1], v2));
        }
        Lanes32 halves[2];
        for (int h = 0; h < 2; ++h) {
            const auto part = [&](int k) LUMORA_AVX512_FUNCTION {
                return Widen32(h == 0 ? _mm512_castsi512_si256(plane[k])
                                      : _mm512_extracti64x4_epi64(plane[k], 1));
            };
            halves[h] = AdjustLanes32({part(0), part(1), part(2)}, factor, offset);
        }
        plane[0] = Join32(_mm512_cvtepi16_epi8(halves[0].blue), _mm512_cvtepi16_epi8(halves[1].blue));
        plane[1] = Join32(_mm512_cvtepi16_epi8(halves[0].green), _mm512_cvtepi16_epi8(halves[1].green));
        plane[2] = Join32(_mm512_cvtepi16_epi8(halves[0].red), _mm512_cvtepi16_epi8(halves[1].red));
        uint8_t* out = d + 3 * static_cast<intptr_t>(x);
        for (int o = 0; o < 3; ++o) {
            const __m512i v = _mm512_mask_blend_epi8(
                p.fromThird[o], _mm512_permutex2var_epi8(plane[0], scatter[o][0], plane[1]),
                _mm512_permutexvar_epi8(scatter[o][1], plane[2]));
            _mm512_storeu_si512(out + 64 * o, v);
        }
    }
    return x;
}

// Pixels 0..n-1 of one row, n a multiple of 8 (of 16 for 24-bit rows) within width; returns n.
LUMORA_SSE2_FUNCTION int32_t AdjustRow8(const uint8_t* s, uint8_t* d, int32_t width,
                                        int32_t srcStep, int32_t dstStep, int32_t factor,
                                        HueOffset offset) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i factorHigh = _mm_set1_epi16(static_cast<int16_t>(factor >> 8));
    const __m128i factorLow = _mm_set1_epi16(static_cast<int16_t>(factor & 0xFF));
    const __m128i hueSector = _mm_set1_epi16(static_cast<int16_t>(offset.sector));
    const __m128i hueFraction = _mm_set1_epi16(static_cast<int16_t>(offset.fraction));
    int32_t x = 0;
    if (srcStep == 3 && dstStep == 3) {
        for (; x + 16 <= width; x += 16) {
            const uint8_t* p = s + 3 * static_cast<intptr_t>(x);
            __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
            __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
            for (int i = 0; i < 4; ++i) Riffle(v0, v1, v2);
            const Lanes first = AdjustLanes({_mm_unpacklo_epi8(v0, zero), _mm_unpacklo_epi8(v1, zero),
                                             _mm_unpacklo_epi8(v2, zero)},
                                            factorHigh, factorLow, hueSector, hueFraction);
            const Lanes second = AdjustLanes({_mm_unpackhi_epi8(v0, zero), _mm_unpackhi_epi8(v1, zero),
                                              _mm_unpackhi_epi8(v2, zero)},
                                             factorHigh, factorLow, hueSector, hueFraction);
            v0 = _mm_packus_epi16(first.blue, second.blue);
            v1 = _mm_packus_epi16(first.green, second.green);
            v2 = _mm_packus_epi16(first.red, second.red);
            for (int i = 0; i < 4; ++i) Unriffle(v0, v1, v2);
            uint8_t* q = d + 3 * static_cast<intptr_t>(x);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q), v0);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 16), v1);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 32), v2);
        }
        return x;
    }
    alignas(16) uint16_t out[3][8];
    for (; x + 8 <= width; x += 8) {
        const uint8_t* p = s + static_cast<intptr_t>(x) * srcStep;
        const int32_t k = srcStep;
        Lanes in;
        in.blue = _mm_setr_epi16(p[0], p[k], p[2 * k], p[3 * k], p[4 * k], p[5 * k], p[6 * k],
                                 p[7 * k]);
        in.green = _mm_setr_epi16(p[1], p[k + 1], p[2 * k + 1], p[3 * k + 1], p[4 * k + 1],
                                  p[5 * k + 1], p[6 * k + 1], p[7 * k + 1]);
        in.red = _mm_setr_epi16(p[2], p[k + 2], p[2 * k + 2], p[3 * k + 2], p[4 * k + 2],
                                p[5 * k + 2], p[6 * k + 2], p[7 * k + 2]);
        const Lanes result = AdjustLanes(in, factorHigh, factorLow, hueSector, hueFraction);
        _mm_store_si128(reinterpret_cast<__m128i*>(out[0]), result.blue);
        _mm_store_si128(reinterpret_cast<__m128i*>(out[1]), result.green);
        _mm_store_si128(reinterpret_cast<__m128i*>(out[2]), result.red);
        uint8_t* q = d + static_cast<intptr_t>(x) * dstStep;
        for (int i = 0; i < 8; ++i) {
            q[i * dstStep] = static_cast<uint8_t>(out[0][i]);
            q[i * dstStep + 1] = static_cast<uint8_t>(out[1][i]);
            q[i * dstStep + 2] = static_cast<uint8_t>(out[2][i]);
        }
    }
    return x;
}
#endif

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
    if (!HasSampleFormat(a, size) || a.srcBytesPerPixel < 3 * size) return 0;

    // Chroma table for this saturation: T[c] = floor((c * (S + 256) + 128) / 256).
    const int32_t factor = std::clamp(p->saturation, -255, 255) + 256;
    std::vector<int32_t> chroma(S::kTop + 1);
    for (int32_t c = 0; c <= S::kTop; ++c) chroma[c] = (c * factor + 128) >> 8;
    const int32_t* reciprocal = S::Reciprocals();
    const HueOffset offset = HueOffsetOf(p->hue);
    [[maybe_unused]] const bool vector = Sse2RoutinesEnabled();
    [[maybe_unused]] const bool wide = Avx2RoutinesEnabled();
    [[maybe_unused]] const bool widest = Avx512FiltersEnabled();

    for (int32_t row = 0; row < a.height; ++row) {
        const uint8_t* s = a.src + static_cast<intptr_t>(row) * a.srcStride;
        uint8_t* d = a.dst + static_cast<intptr_t>(row) * a.dstStride;
        int32_t col = 0;
#if LUMORA_HAVE_SSE2
        if constexpr (sizeof(Sample) == 1) {
            if (widest && a.srcBytesPerPixel == 3) {
                col = AdjustRow24Avx512(s, d, a.width, factor, offset);
                s += static_cast<intptr_t>(col) * a.srcBytesPerPixel;
                d += static_cast<intptr_t>(col) * a.dstBytesPerPixel;
            }
            if (wide && a.srcBytesPerPixel == 3) {
                const int32_t done = AdjustRow24Avx2(s, d, a.width - col, factor, offset);
                s += static_cast<intptr_t>(done) * a.srcBytesPerPixel;
                d += static_cast<intptr_t>(done) * a.dstBytesPerPixel;
                col += done;
            }
            if (vector) {
                const int32_t done = AdjustRow8(s, d, a.width - col, a.srcBytesPerPixel,
                                                a.dstBytesPerPixel, factor, offset);
                s += static_cast<intptr_t>(done) * a.srcBytesPerPixel;
                d += static_cast<intptr_t>(done) * a.dstBytesPerPixel;
                col += done;
            }
        }
#endif
        for (; col < a.width; ++col) {
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
