#include "imaging/demosaic.h"

#include <algorithm>
#include <memory>
#include <new>

#include "imaging/mosaic_pixel.h"
#include "imaging/filter_vectors.h"

namespace lumora {

namespace {

using mosaic::Fold;
using mosaic::Frame;
using mosaic::SourceRow;

template <typename T, int Channels>
uint8_t* PixelAt(const Frame& f, int32_t x, int32_t y) {
    return f.dest + y * f.destStride + static_cast<intptr_t>(x) * Channels * sizeof(T);
}

// Output pixel (x, y) from rows y-2..y+1 and columns x-2..x+1 (either may be folded).
template <typename T, int Channels>
inline void PutPixel(const Frame& f, int32_t x, int32_t y, const T* const rows[4], const int32_t cols[4]) {
    int b, g, r;
    mosaic::Pixel<T>(rows, cols, f.rowPhase ^ (y & 1), f.columnPhase ^ (x & 1), f.kR, f.kB, b, g, r);
    mosaic::StorePixel<T>(PixelAt<T, Channels>(f, x, y), b, g, r);
}

// Pixels [x, xEnd) of row y, one at a time, with columns that need no folding.
template <typename T, int Channels>
void RowPlain(const Frame& f, int32_t y, const T* const rows[4], int32_t x, int32_t xEnd) {
    for (; x < xEnd; ++x) {
        const int32_t cols[4] = {x - 2, x - 1, x, x + 1};
        PutPixel<T, Channels>(f, x, y, rows, cols);
    }
}

// Chunks of `step` columns at even starts from `first` that cover [first, end) without
// passing `last` (the last allowed start): the final chunk moves back to overlap its
// neighbour instead of leaving a tail. fn(x) runs each; returns the first column not covered.
template <typename Fn>
int32_t EvenChunks(int32_t first, int32_t last, int32_t step, Fn fn) {
    const int32_t lastEven = last & ~1;
    if (lastEven < first) return first;
    for (int32_t x = first;; x += step) {
        if (x > lastEven) x = lastEven;
        fn(x);
        if (x == lastEven) return x + step;
    }
}

#if LUMORA_HAVE_SSE2
// The vector rows split the 9/3/3/1 weights into a vertical and a horizontal 3/1 step. For a
// row y, let X be the columns whose sample in row y is red or blue. Column sum
// V[c] = 3 s(c, y) + s(c, y - 2) for c in X, else 3 s(c, y - 1) + s(c, y + 1). Then
// A(x) = 3 V[x] + V[x - 2] and B(x) = 3 V[x - 1] + V[x + 1] are the weighted sums of the two
// non-green colours at output x: A is red where (x in X) == P of row y, else blue. The two
// greens of output x are the green samples of columns x - 1 and x within rows y - 1 and y.
// Vector chunks start at even columns, so lane parity is column parity.

LUMORA_SSE2_FUNCTION inline __m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
LUMORA_SSE2_FUNCTION inline void Store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}
LUMORA_SSE2_FUNCTION inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
    return _mm_xor_si128(b, _mm_and_si128(_mm_xor_si128(a, b), mask));
}
// 16-bit or 8-bit lanes of even (parity 0) or odd (parity 1) position.
LUMORA_SSE2_FUNCTION inline __m128i ParityMask16(int parity) {
    return _mm_set1_epi32(parity ? static_cast<int>(0xFFFF0000u) : 0x0000FFFF);
}
LUMORA_SSE2_FUNCTION inline __m128i ParityMask8(int parity) {
    return _mm_set1_epi16(parity ? static_cast<short>(0xFF00) : 0x00FF);
}
// min(v, 4095) on unsigned 16-bit lanes.
LUMORA_SSE2_FUNCTION inline __m128i Limit4095(__m128i v) {
    return _mm_sub_epi16(v, _mm_subs_epu16(v, _mm_set1_epi16(4095)));
}
LUMORA_SSE2_FUNCTION inline __m128i Times3Plus(__m128i a, __m128i b) {
    return _mm_add_epi16(_mm_add_epi16(a, a), _mm_add_epi16(a, b));
}
// Four pixels as blue, green, red, 0 dwords to 12 packed bytes (the last 4 bytes are zero).
LUMORA_SSE2_FUNCTION inline __m128i PackBgr32To24(__m128i p) {
    const __m128i first = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i second = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF,
                                         static_cast<int>(0xFF000000u));
    const __m128i q = _mm_or_si128(_mm_and_si128(p, first), _mm_and_si128(_mm_srli_epi64(p, 8), second));
    return _mm_or_si128(_mm_move_epi64(q), _mm_srli_si128(_mm_unpackhi_epi64(_mm_setzero_si128(), q), 2));
}
// Two pixels as blue, green, red, 0 16-bit quads to 12 packed bytes (then 4 zero bytes).
LUMORA_SSE2_FUNCTION inline __m128i PackBgr64To48(__m128i p) {
    return _mm_or_si128(_mm_move_epi64(p), _mm_srli_si128(_mm_unpackhi_epi64(_mm_setzero_si128(), p), 2));
}

inline int ColumnParityOfX(const Frame& f, int32_t y) { return 1 ^ f.rowPhase ^ (y & 1) ^ f.columnPhase; }

// Which lanes' A is red: those of the parity of X when the row's P is 1, the others when 0.
inline bool RedInEvenLanes(const Frame& f, int32_t y) {
    const int p0 = f.rowPhase ^ (y & 1);
    return (ColumnParityOfX(f, y) == 0) == (p0 == 1);
}

// ---- 8-bit samples ----

// Per-row scratch: V, 3 V and the green sample of each column within rows y - 1 and y.
struct Scratch8 {
    uint16_t* v;
    uint16_t* v3;
    uint8_t* green;
};

struct ColumnBytes {
    __m128i near, far, green;  // V's sample weighted 3, the one weighted 1, and the green
};

// Row pointers held in locals, so that stores of the row loops are not taken to change them.
struct RowPointers8 {
    const uint8_t* r0;
    const uint8_t* r1;
    const uint8_t* r2;
    const uint8_t* r3;
};

LUMORA_SSE2_FUNCTION inline ColumnBytes LoadColumns(const RowPointers8 rows, int32_t c, __m128i inX) {
    const __m128i a0 = Load(rows.r0 + c), a1 = Load(rows.r1 + c), a2 = Load(rows.r2 + c), a3 = Load(rows.r3 + c);
    const __m128i either = _mm_xor_si128(a1, a2);
    ColumnBytes b;
    b.near = _mm_xor_si128(a1, _mm_and_si128(either, inX));  // row y in X, else row y - 1
    b.green = _mm_xor_si128(either, b.near);                 // the other one of the two
    b.far = Select(inX, a0, a3);
    return b;
}

void ColumnSumsTail(const uint8_t* const rows[4], int32_t c, int32_t width, int xpar, const Scratch8& s) {
    for (; c < width; ++c) {
        const bool inX = (c & 1) == xpar;
        s.v[c] = static_cast<uint16_t>(inX ? 3 * rows[2][c] + rows[0][c] : 3 * rows[1][c] + rows[3][c]);
        s.v3[c] = static_cast<uint16_t>(3 * s.v[c]);
        s.green[c] = inX ? rows[1][c] : rows[2][c];
    }
}

LUMORA_SSE2_FUNCTION void ColumnSums8(const uint8_t* const rowArray[4], int xpar, int32_t width, const Scratch8 s) {
    const RowPointers8 rows{rowArray[0], rowArray[1], rowArray[2], rowArray[3]};
    const __m128i inX = ParityMask8(xpar);
    const __m128i zero = _mm_setzero_si128();
    const int32_t done = EvenChunks(0, width - 16, 16, [&](int32_t c) LUMORA_SSE2_FUNCTION {
        const ColumnBytes b = LoadColumns(rows, c, inX);
        const __m128i lo = Times3Plus(_mm_unpacklo_epi8(b.near, zero), _mm_unpacklo_epi8(b.far, zero));
        const __m128i hi = Times3Plus(_mm_unpackhi_epi8(b.near, zero), _mm_unpackhi_epi8(b.far, zero));
        Store(s.v + c, lo);
        Store(s.v + c + 8, hi);
        Store(s.v3 + c, _mm_add_epi16(_mm_add_epi16(lo, lo), lo));
        Store(s.v3 + c + 8, _mm_add_epi16(_mm_add_epi16(hi, hi), hi));
        Store(s.green + c, b.green);
    });
    ColumnSumsTail(rowArray, done, width, xpar, s);
}

// The same with multiply-adds of byte pairs: (near, far) . (3, 1) and . (9, 3).
LUMORA_SSSE3_FUNCTION void ColumnSums8Ssse3(const uint8_t* const rowArray[4], int xpar, int32_t width,
                                            const Scratch8 s) {
    const RowPointers8 rows{rowArray[0], rowArray[1], rowArray[2], rowArray[3]};
    const __m128i inX = ParityMask8(xpar);
    const __m128i w1 = _mm_set1_epi16(0x0103), w3 = _mm_set1_epi16(0x0309);
    const int32_t done = EvenChunks(0, width - 16, 16, [&](int32_t c) LUMORA_SSSE3_FUNCTION {
        const ColumnBytes b = LoadColumns(rows, c, inX);
        const __m128i lo = _mm_unpacklo_epi8(b.near, b.far), hi = _mm_unpackhi_epi8(b.near, b.far);
        Store(s.v + c, _mm_maddubs_epi16(lo, w1));
        Store(s.v + c + 8, _mm_maddubs_epi16(hi, w1));
        Store(s.v3 + c, _mm_maddubs_epi16(lo, w3));
        Store(s.v3 + c + 8, _mm_maddubs_epi16(hi, w3));
        Store(s.green + c, b.green);
    });
    ColumnSumsTail(rowArray, done, width, xpar, s);
}

// Gain factors per 16-bit lane for A and for B (mulhi by k << 5 is (S k) >> 11).
LUMORA_SSE2_FUNCTION inline void LaneFactors(const Frame& f, bool redEven, __m128i& kA, __m128i& kB) {
    const int r = f.kR << 5, b = f.kB << 5;
    kA = redEven ? _mm_set1_epi32((b << 16) | r) : _mm_set1_epi32((r << 16) | b);
    kB = redEven ? _mm_set1_epi32((r << 16) | b) : _mm_set1_epi32((b << 16) | r);
}

// 16 output pixels from x on: A and B scaled and limited to bytes, and green.
LUMORA_SSE2_FUNCTION inline void Colours16(const Scratch8 s, int32_t x, __m128i kA, __m128i kB,
                                           __m128i& a8, __m128i& b8, __m128i& g8) {
    const __m128i a0 = _mm_add_epi16(Load(s.v3 + x), Load(s.v + x - 2));
    const __m128i a1 = _mm_add_epi16(Load(s.v3 + x + 8), Load(s.v + x + 6));
    const __m128i b0 = _mm_add_epi16(Load(s.v3 + x - 1), Load(s.v + x + 1));
    const __m128i b1 = _mm_add_epi16(Load(s.v3 + x + 7), Load(s.v + x + 9));
    a8 = _mm_packus_epi16(_mm_mulhi_epu16(a0, kA), _mm_mulhi_epu16(a1, kA));
    b8 = _mm_packus_epi16(_mm_mulhi_epu16(b0, kB), _mm_mulhi_epu16(b1, kB));
    const __m128i g1 = Load(s.green + x - 1), g2 = Load(s.green + x);
    g8 = _mm_sub_epi8(_mm_avg_epu8(g1, g2), _mm_and_si128(_mm_xor_si128(g1, g2), _mm_set1_epi8(1)));
}

// Output pixels of row y from x = 2 on, 16 at a time; returns the first x not done.
template <int Channels>
LUMORA_SSE2_FUNCTION int32_t Row8Sse2(const Frame& f, int32_t y, const Scratch8 s) {
    uint8_t* const out = PixelAt<uint8_t, Channels>(f, 0, y);
    const bool redEven = RedInEvenLanes(f, y);
    __m128i kA, kB;
    LaneFactors(f, redEven, kA, kB);
    const __m128i redIsA = ParityMask8(redEven ? 0 : 1);
    const __m128i zero = _mm_setzero_si128();
    // 24-bit stores write 4 bytes past their 12; they must stay before the border columns.
    const int32_t last = (f.width - 2) - (Channels == 3 ? 18 : 16);
    return EvenChunks(2, last, 16, [&](int32_t x) LUMORA_SSE2_FUNCTION {
        __m128i a8, b8, g8;
        Colours16(s, x, kA, kB, a8, b8, g8);
        const __m128i r8 = Select(redIsA, a8, b8);
        b8 = _mm_xor_si128(_mm_xor_si128(a8, b8), r8);
        const __m128i bgLo = _mm_unpacklo_epi8(b8, g8), bgHi = _mm_unpackhi_epi8(b8, g8);
        const __m128i rLo = _mm_unpacklo_epi8(r8, zero), rHi = _mm_unpackhi_epi8(r8, zero);
        const __m128i px[4] = {_mm_unpacklo_epi16(bgLo, rLo), _mm_unpackhi_epi16(bgLo, rLo),
                               _mm_unpacklo_epi16(bgHi, rHi), _mm_unpackhi_epi16(bgHi, rHi)};
        uint8_t* o = out + static_cast<intptr_t>(x) * Channels;
        if constexpr (Channels == 4) {
            const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
            for (int k = 0; k < 4; ++k) Store(o + 16 * k, _mm_or_si128(px[k], _mm_and_si128(Load(o + 16 * k), keep)));
        } else {
            for (int k = 0; k < 4; ++k) Store(o + 12 * k, PackBgr32To24(px[k]));
        }
    });
}

// Byte shuffles that spread A, B and green over 48 bytes of blue, green, red samples.
struct ShuffleMasks {
    alignas(16) uint8_t a[2][3][16];  // [red in even lanes][output register][byte]
    alignas(16) uint8_t b[2][3][16];
    alignas(16) uint8_t g[3][16];
};

// The masks for samples of sampleBytes bytes (1: 16 pixels, 2: 8 pixels of 16-bit lanes).
ShuffleMasks BuildShuffles(int sampleBytes) {
    ShuffleMasks m{};
    const int pixelBytes = 3 * sampleBytes;
    for (int redEven = 0; redEven < 2; ++redEven) {
        for (int o = 0; o < 48; ++o) {
            const int lane = o / pixelBytes, channel = (o % pixelBytes) / sampleBytes;  // 0 blue, 1 green, 2 red
            const bool aIsRed = ((lane & 1) == 0) == (redEven == 1);
            const bool fromA = channel != 1 && ((channel == 2) == aIsRed);
            const bool fromB = channel != 1 && !fromA;
            const uint8_t at = static_cast<uint8_t>(sampleBytes * lane + o % sampleBytes);
            m.a[redEven][o / 16][o % 16] = fromA ? at : 0x80;
            m.b[redEven][o / 16][o % 16] = fromB ? at : 0x80;
            m.g[o / 16][o % 16] = channel == 1 ? at : 0x80;
        }
    }
    return m;
}

const ShuffleMasks& Shuffles() {
    static const ShuffleMasks masks = BuildShuffles(1);
    return masks;
}

// 24-bit output with byte shuffles: 48 bytes stored per 16 pixels, nothing written past them.
LUMORA_SSSE3_FUNCTION int32_t Row8Ssse3(const Frame& f, int32_t y, const Scratch8 s, const ShuffleMasks& masks) {
    uint8_t* const out = PixelAt<uint8_t, 3>(f, 0, y);
    const int redEven = RedInEvenLanes(f, y) ? 1 : 0;
    __m128i kA, kB;
    LaneFactors(f, redEven == 1, kA, kB);
    __m128i ma[3], mb[3], mg[3];
    for (int k = 0; k < 3; ++k) {
        ma[k] = Load(masks.a[redEven][k]);
        mb[k] = Load(masks.b[redEven][k]);
        mg[k] = Load(masks.g[k]);
    }
    return EvenChunks(2, (f.width - 2) - 16, 16, [&](int32_t x) LUMORA_SSSE3_FUNCTION {
        __m128i a8, b8, g8;
        Colours16(s, x, kA, kB, a8, b8, g8);
        uint8_t* o = out + static_cast<intptr_t>(x) * 3;
        for (int k = 0; k < 3; ++k) {
            Store(o + 16 * k, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a8, ma[k]), _mm_shuffle_epi8(b8, mb[k])),
                                           _mm_shuffle_epi8(g8, mg[k])));
        }
    });
}

// ---- 8-bit samples, 32 columns at a time (AVX2) ----

LUMORA_AVX2_FUNCTION inline __m256i Load256(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
LUMORA_AVX2_FUNCTION inline void Store256(void* p, __m256i v) {
    _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}

LUMORA_AVX2_FUNCTION void ColumnSums8Avx2(const uint8_t* const rowArray[4], int xpar, int32_t width,
                                          const Scratch8 s) {
    const uint8_t *r0 = rowArray[0], *r1 = rowArray[1], *r2 = rowArray[2], *r3 = rowArray[3];
    const __m256i inX = _mm256_set1_epi16(xpar ? static_cast<short>(0xFF00) : 0x00FF);
    const __m256i w1 = _mm256_set1_epi16(0x0103), w3 = _mm256_set1_epi16(0x0309);
    const int32_t done = EvenChunks(0, width - 32, 32, [&](int32_t c) LUMORA_AVX2_FUNCTION {
        const __m256i a0 = Load256(r0 + c), a1 = Load256(r1 + c), a2 = Load256(r2 + c), a3 = Load256(r3 + c);
        const __m256i either = _mm256_xor_si256(a1, a2);
        const __m256i near = _mm256_xor_si256(a1, _mm256_and_si256(either, inX));
        const __m256i green = _mm256_xor_si256(either, near);
        const __m256i far = _mm256_xor_si256(a3, _mm256_and_si256(_mm256_xor_si256(a0, a3), inX));
        // Unpacking works within 128-bit halves: lo holds columns 0-7 and 16-23, hi 8-15 and 24-31.
        const __m256i lo = _mm256_unpacklo_epi8(near, far), hi = _mm256_unpackhi_epi8(near, far);
        const __m256i vLo = _mm256_maddubs_epi16(lo, w1), vHi = _mm256_maddubs_epi16(hi, w1);
        const __m256i v3Lo = _mm256_maddubs_epi16(lo, w3), v3Hi = _mm256_maddubs_epi16(hi, w3);
        Store256(s.v + c, _mm256_permute2x128_si256(vLo, vHi, 0x20));
        Store256(s.v + c + 16, _mm256_permute2x128_si256(vLo, vHi, 0x31));
        Store256(s.v3 + c, _mm256_permute2x128_si256(v3Lo, v3Hi, 0x20));
        Store256(s.v3 + c + 16, _mm256_permute2x128_si256(v3Lo, v3Hi, 0x31));
        Store256(s.green + c, green);
    });
    ColumnSumsTail(rowArray, done, width, xpar, s);
}

// 24-bit output of 32 pixels at a time: colours computed in 256-bit registers, spread to bytes
// with the 128-bit shuffles of the SSSE3 rows (byte shuffles do not cross 128-bit halves).
LUMORA_AVX2_FUNCTION int32_t Row8Avx2(const Frame& f, int32_t y, const Scratch8 s, const ShuffleMasks& masks) {
    uint8_t* const out = PixelAt<uint8_t, 3>(f, 0, y);
    const int redEven = RedInEvenLanes(f, y) ? 1 : 0;
    const int r = f.kR << 5, b = f.kB << 5;
    const __m256i kA = _mm256_set1_epi32(redEven ? (b << 16) | r : (r << 16) | b);
    const __m256i kB = _mm256_set1_epi32(redEven ? (r << 16) | b : (b << 16) | r);
    const __m256i one = _mm256_set1_epi8(1);
    __m128i ma[3], mb[3], mg[3];
    for (int k = 0; k < 3; ++k) {
        ma[k] = Load(masks.a[redEven][k]);
        mb[k] = Load(masks.b[redEven][k]);
        mg[k] = Load(masks.g[k]);
    }
    const uint16_t* v = s.v;
    const uint16_t* v3 = s.v3;
    const uint8_t* green = s.green;
    return EvenChunks(2, (f.width - 2) - 32, 32, [&](int32_t x) LUMORA_AVX2_FUNCTION {
        const __m256i a0 = _mm256_add_epi16(Load256(v3 + x), Load256(v + x - 2));
        const __m256i a1 = _mm256_add_epi16(Load256(v3 + x + 16), Load256(v + x + 14));
        const __m256i b0 = _mm256_add_epi16(Load256(v3 + x - 1), Load256(v + x + 1));
        const __m256i b1 = _mm256_add_epi16(Load256(v3 + x + 15), Load256(v + x + 17));
        // Packing works within halves too: put the quarters back in pixel order.
        const __m256i a8 = _mm256_permute4x64_epi64(
            _mm256_packus_epi16(_mm256_mulhi_epu16(a0, kA), _mm256_mulhi_epu16(a1, kA)), 0xD8);
        const __m256i b8 = _mm256_permute4x64_epi64(
            _mm256_packus_epi16(_mm256_mulhi_epu16(b0, kB), _mm256_mulhi_epu16(b1, kB)), 0xD8);
        const __m256i g1 = Load256(green + x - 1), g2 = Load256(green + x);
        const __m256i g8 = _mm256_sub_epi8(_mm256_avg_epu8(g1, g2), _mm256_and_si256(_mm256_xor_si256(g1, g2), one));
        uint8_t* o = out + static_cast<intptr_t>(x) * 3;
        const __m128i halves[2][3] = {
            {_mm256_castsi256_si128(a8), _mm256_castsi256_si128(b8), _mm256_castsi256_si128(g8)},
            {_mm256_extracti128_si256(a8, 1), _mm256_extracti128_si256(b8, 1), _mm256_extracti128_si256(g8, 1)}};
        for (int h = 0; h < 2; ++h) {
            for (int k = 0; k < 3; ++k) {
                Store(o + 48 * h + 16 * k,
                      _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(halves[h][0], ma[k]), _mm_shuffle_epi8(halves[h][1], mb[k])),
                                   _mm_shuffle_epi8(halves[h][2], mg[k])));
            }
        }
    });
}

// ---- 8-bit samples, 64 columns at a time (AVX-512 with byte permutes) ----

LUMORA_AVX512_FUNCTION inline __m512i Load512(const void* p) { return _mm512_loadu_si512(p); }

// Byte permutes that spread A and B (one permute of both) and green over the 192 bytes of 64
// pixels: [red in even lanes][output register][byte], A's bytes 0-63 and B's 64-127. A and B
// hold their columns in the order of the pack that makes them (Scaled64); green in column order.
struct WidePermutes {
    alignas(64) uint8_t colour[2][3][64];
    alignas(64) uint8_t green[3][64];
    uint64_t greenBytes[3];  // the output bytes that are green samples
};

const WidePermutes& Permutes64() {
    static const WidePermutes p = [] {
        WidePermutes t{};
        for (int redEven = 0; redEven < 2; ++redEven) {
            for (int o = 0; o < 192; ++o) {
                const int lane = o / 3, channel = o % 3;  // 0 blue, 1 green, 2 red
                const bool aIsRed = ((lane & 1) == 0) == (redEven == 1);
                const bool fromA = (channel == 2) == aIsRed;
                // The pack puts columns 8 L .. 8 L + 7 of each half into 128-bit lane L.
                const int half = lane / 32, column = lane % 32;
                const int packed = 16 * (column / 8) + 8 * half + column % 8;
                t.colour[redEven][o / 64][o % 64] = static_cast<uint8_t>(fromA ? packed : 64 + packed);
                t.green[o / 64][o % 64] = static_cast<uint8_t>(lane);
                if (channel == 1) t.greenBytes[o / 64] |= uint64_t{1} << (o % 64);
            }
        }
        return t;
    }();
    return p;
}

// (S k) >> 11 of 64 sums limited to bytes, in the order of the pack: 128-bit lane L holds
// columns 8 L .. 8 L + 7 of low, then those of high.
LUMORA_AVX512_FUNCTION inline __m512i Scaled64(__m512i low, __m512i high, __m512i k) {
    return _mm512_packus_epi16(_mm512_mulhi_epu16(low, k), _mm512_mulhi_epu16(high, k));
}

// V of 64 columns at a time (Row8Avx512 makes 3 V and takes the greens from the rows itself):
// the multiply-adds of the AVX2 sums, then the 128-bit quarters of the unpacked halves put back
// in column order.
LUMORA_AVX512_FUNCTION void ColumnSums8Avx512(const uint8_t* const rowArray[4], int xpar, int32_t width,
                                              const Scratch8 s) {
    const uint8_t *r0 = rowArray[0], *r1 = rowArray[1], *r2 = rowArray[2], *r3 = rowArray[3];
    const __m512i inX = _mm512_set1_epi16(xpar ? static_cast<short>(0xFF00) : 0x00FF);
    const __m512i w1 = _mm512_set1_epi16(0x0103);
    // Quarters 0..3 of lo are columns 0-7, 16-23, 32-39, 48-55; of hi 8-15, 24-31, ...
    const __m512i first = _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11);
    const __m512i second = _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15);
    const int32_t done = EvenChunks(0, width - 64, 64, [&](int32_t c) LUMORA_AVX512_FUNCTION {
        const __m512i a0 = Load512(r0 + c), a1 = Load512(r1 + c), a2 = Load512(r2 + c), a3 = Load512(r3 + c);
        const __m512i near = _mm512_xor_si512(a1, _mm512_and_si512(_mm512_xor_si512(a1, a2), inX));
        const __m512i far = _mm512_xor_si512(a3, _mm512_and_si512(_mm512_xor_si512(a0, a3), inX));
        const __m512i lo = _mm512_unpacklo_epi8(near, far), hi = _mm512_unpackhi_epi8(near, far);
        const __m512i vLo = _mm512_maddubs_epi16(lo, w1), vHi = _mm512_maddubs_epi16(hi, w1);
        _mm512_storeu_si512(s.v + c, _mm512_permutex2var_epi64(vLo, first, vHi));
        _mm512_storeu_si512(s.v + c + 32, _mm512_permutex2var_epi64(vLo, second, vHi));
    });
    ColumnSumsTail(rowArray, done, width, xpar, s);
}

// 24-bit output of 64 pixels at a time; returns the first x not done.
LUMORA_AVX512_FUNCTION int32_t Row8Avx512(const Frame& f, int32_t y, const uint8_t* const rows[4], const Scratch8 s,
                                          const WidePermutes& p) {
    uint8_t* const out = PixelAt<uint8_t, 3>(f, 0, y);
    const int redEven = RedInEvenLanes(f, y) ? 1 : 0;
    const int r = f.kR << 5, b = f.kB << 5;
    const __m512i kA = _mm512_set1_epi32(redEven ? (b << 16) | r : (r << 16) | b);
    const __m512i kB = _mm512_set1_epi32(redEven ? (r << 16) | b : (b << 16) | r);
    const __m512i one = _mm512_set1_epi8(1);
    __m512i colour[3], green[3];
    for (int k = 0; k < 3; ++k) {
        colour[k] = _mm512_load_si512(p.colour[redEven][k]);
        green[k] = _mm512_load_si512(p.green[k]);
    }
    const uint16_t* v = s.v;
    // The green sample of each column within rows y - 1 and y (row y - 1's in the columns of X,
    // row y's in the others), from the rows: lanes from an even column have the columns' parity,
    // from an odd one the other.
    const __m512i inX = _mm512_set1_epi16(ColumnParityOfX(f, y) ? static_cast<short>(0xFF00) : 0x00FF);
    const __m512i notX = _mm512_ternarylogic_epi32(inX, inX, inX, 0x55);
    const uint8_t* above = rows[1];
    const uint8_t* here = rows[2];
    const auto greens = [&](int32_t c, __m512i fromAbove) LUMORA_AVX512_FUNCTION {
        return _mm512_ternarylogic_epi32(fromAbove, Load512(above + c), Load512(here + c), 0xCA);  // a ? b : c
    };
    // 3 V[c] + V[d].
    const auto weighted = [&](int32_t c, int32_t d) LUMORA_AVX512_FUNCTION {
        const __m512i near = Load512(v + c);
        return _mm512_add_epi16(_mm512_add_epi16(near, near), _mm512_add_epi16(near, Load512(v + d)));
    };
    const auto chunk = [&](int32_t x) LUMORA_AVX512_FUNCTION {
        const __m512i a8 = Scaled64(weighted(x, x - 2), weighted(x + 32, x + 30), kA);
        const __m512i b8 = Scaled64(weighted(x - 1, x + 1), weighted(x + 31, x + 33), kB);
        const __m512i g1 = greens(x - 1, notX), g2 = greens(x, inX);
        const __m512i g8 = _mm512_sub_epi8(_mm512_avg_epu8(g1, g2), _mm512_and_si512(_mm512_xor_si512(g1, g2), one));
        uint8_t* o = out + static_cast<intptr_t>(x) * 3;
        for (int k = 0; k < 3; ++k) {
            const __m512i ab = _mm512_permutex2var_epi8(a8, colour[k], b8);
            _mm512_storeu_si512(o + 64 * k, _mm512_mask_permutexvar_epi8(ab, p.greenBytes[k], green[k], g8));
        }
    };
    // Stores that each fill one cache line: the first chunk, then the chunks from the first even
    // x whose pixel starts a line, then the last chunk (overlapping, with the same pixels).
    const int32_t last = ((f.width - 2) - 64) & ~1;
    int32_t aligned = 2;
    while (aligned < 2 + 64 && (reinterpret_cast<uintptr_t>(out + 3 * aligned) & 63) != 0) aligned += 2;
    if (last < aligned + 64 || aligned >= 2 + 64) return EvenChunks(2, last, 64, chunk);
    chunk(2);
    for (int32_t x = aligned; x < last; x += 64) chunk(x);
    chunk(last);
    return last + 64;
}

// ---- 16-bit samples (read limited to 4095; 3 V + V up to 65520 fits unsigned lanes) ----

// Per-row scratch: V, 3 V and the column greens, all 16-bit.
struct Scratch16 {
    uint16_t* v;
    uint16_t* v3;
    uint16_t* green;
};

LUMORA_SSE2_FUNCTION inline __m128i LoadLimited(const uint16_t* p) { return Limit4095(Load(p)); }

LUMORA_SSE2_FUNCTION void ColumnSums16(const uint16_t* const rows[4], int xpar, int32_t width, const Scratch16 s) {
    const __m128i inX = ParityMask16(xpar);
    const uint16_t *r0 = rows[0], *r1 = rows[1], *r2 = rows[2], *r3 = rows[3];
    const int32_t done = EvenChunks(0, width - 8, 8, [&](int32_t c) LUMORA_SSE2_FUNCTION {
        const __m128i a1 = LoadLimited(r1 + c), a2 = LoadLimited(r2 + c);
        const __m128i either = _mm_xor_si128(a1, a2);
        const __m128i near = _mm_xor_si128(a1, _mm_and_si128(either, inX));
        const __m128i v = Times3Plus(near, Select(inX, LoadLimited(r0 + c), LoadLimited(r3 + c)));
        Store(s.v + c, v);
        Store(s.v3 + c, _mm_add_epi16(_mm_add_epi16(v, v), v));
        Store(s.green + c, _mm_xor_si128(either, near));
    });
    using S = mosaic::SampleTraits<uint16_t>;
    for (int32_t c = done; c < width; ++c) {
        const bool inXc = (c & 1) == xpar;
        s.v[c] = static_cast<uint16_t>(inXc ? 3 * S::Read(r2 + c) + S::Read(r0 + c) : 3 * S::Read(r1 + c) + S::Read(r3 + c));
        s.v3[c] = static_cast<uint16_t>(3 * s.v[c]);
        s.green[c] = static_cast<uint16_t>(inXc ? S::Read(r1 + c) : S::Read(r2 + c));
    }
}

// 8 output pixels from x on: A and B scaled and limited to 4095, and green.
LUMORA_SSE2_FUNCTION inline void Colours8(const Scratch16 s, int32_t x, __m128i kA, __m128i kB, __m128i& a,
                                          __m128i& b, __m128i& g) {
    a = Limit4095(_mm_mulhi_epu16(_mm_add_epi16(Load(s.v3 + x), Load(s.v + x - 2)), kA));
    b = Limit4095(_mm_mulhi_epu16(_mm_add_epi16(Load(s.v3 + x - 1), Load(s.v + x + 1)), kB));
    g = _mm_srli_epi16(_mm_add_epi16(Load(s.green + x - 1), Load(s.green + x)), 1);
}

template <int Channels>
LUMORA_SSE2_FUNCTION int32_t Row16Sse2(const Frame& f, int32_t y, const Scratch16 s) {
    const bool redEven = RedInEvenLanes(f, y);
    __m128i kA, kB;
    LaneFactors(f, redEven, kA, kB);
    const __m128i redIsA = ParityMask16(redEven ? 0 : 1);
    const __m128i zero = _mm_setzero_si128();
    uint8_t* const out = PixelAt<uint16_t, Channels>(f, 0, y);
    // 48-bit stores write 4 bytes past their 12; they must stay before the border columns.
    const int32_t last = (f.width - 2) - (Channels == 3 ? 9 : 8);
    return EvenChunks(2, last, 8, [&](int32_t x) LUMORA_SSE2_FUNCTION {
        __m128i a, b, green;
        Colours8(s, x, kA, kB, a, b, green);
        const __m128i red = Select(redIsA, a, b);
        const __m128i blue = _mm_xor_si128(_mm_xor_si128(a, b), red);
        const __m128i bgLo = _mm_unpacklo_epi16(blue, green), bgHi = _mm_unpackhi_epi16(blue, green);
        const __m128i rLo = _mm_unpacklo_epi16(red, zero), rHi = _mm_unpackhi_epi16(red, zero);
        const __m128i px[4] = {_mm_unpacklo_epi32(bgLo, rLo), _mm_unpackhi_epi32(bgLo, rLo),
                               _mm_unpacklo_epi32(bgHi, rHi), _mm_unpackhi_epi32(bgHi, rHi)};
        uint8_t* o = out + static_cast<intptr_t>(x) * Channels * 2;
        if constexpr (Channels == 4) {
            const __m128i keep = _mm_set_epi32(static_cast<int>(0xFFFF0000u), 0, static_cast<int>(0xFFFF0000u), 0);
            for (int k = 0; k < 4; ++k) Store(o + 16 * k, _mm_or_si128(px[k], _mm_and_si128(Load(o + 16 * k), keep)));
        } else {
            for (int k = 0; k < 4; ++k) Store(o + 12 * k, PackBgr64To48(px[k]));
        }
    });
}

// Byte shuffles that spread A, B and green of 8 pixels (16-bit lanes) over 48 bytes.
const ShuffleMasks& Shuffles16() {
    static const ShuffleMasks masks = BuildShuffles(2);
    return masks;
}

// 48-bit output with byte shuffles: 48 bytes stored per 8 pixels, nothing written past them.
LUMORA_SSSE3_FUNCTION int32_t Row16Ssse3(const Frame& f, int32_t y, const Scratch16 s, const ShuffleMasks& masks) {
    const int redEven = RedInEvenLanes(f, y) ? 1 : 0;
    __m128i kA, kB;
    LaneFactors(f, redEven == 1, kA, kB);
    __m128i ma[3], mb[3], mg[3];
    for (int k = 0; k < 3; ++k) {
        ma[k] = Load(masks.a[redEven][k]);
        mb[k] = Load(masks.b[redEven][k]);
        mg[k] = Load(masks.g[k]);
    }
    uint8_t* const out = PixelAt<uint16_t, 3>(f, 0, y);
    return EvenChunks(2, (f.width - 2) - 8, 8, [&](int32_t x) LUMORA_SSSE3_FUNCTION {
        __m128i a, b, g;
        Colours8(s, x, kA, kB, a, b, g);
        uint8_t* o = out + static_cast<intptr_t>(x) * 6;
        for (int k = 0; k < 3; ++k) {
            Store(o + 16 * k, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, ma[k]), _mm_shuffle_epi8(b, mb[k])),
                                           _mm_shuffle_epi8(g, mg[k])));
        }
    });
}
#endif

// Runs the columns [2, width - 2) of output rows: vector chunks where the processor has them,
// one pixel at a time for what is left. Holds the per-row scratch of the vector code.
template <typename T, int Channels>
class MiddleRows {
public:
    explicit MiddleRows(const Frame& f) : f_(f) {
#if LUMORA_HAVE_SSE2
        if (f.width > 4 && Sse2RoutinesEnabled()) {
            // V and 3 V as 16-bit sums and the column greens (bytes for 8-bit samples).
            const size_t w = static_cast<size_t>(f.width);
            scratch_.reset(new (std::nothrow) uint16_t[3 * w]);
            set_ = VectorRoutines();
        }
#endif
    }

    void Run(int32_t y, const T* const rows[4]) {
        int32_t x = 2;
#if LUMORA_HAVE_SSE2
        if (scratch_) {
            const int xpar = ColumnParityOfX(f_, y);
            if constexpr (sizeof(T) == 1) {
                const size_t w = static_cast<size_t>(f_.width);
                const Scratch8 s{scratch_.get(), scratch_.get() + w, reinterpret_cast<uint8_t*>(scratch_.get() + 2 * w)};
                // Frames narrower than two wide chunks keep to the 16-column rows.
                const RoutineSet set = (set_ == RoutineSet::Avx2 && f_.width < 66) ? RoutineSet::Ssse3 : set_;
                // The widest rows (24-bit) take V alone: they make 3 V and the greens themselves.
                const bool widest =
                    Channels == 3 && set == RoutineSet::Avx2 && f_.width >= 130 && Avx512FiltersEnabled();
                if (widest)
                    ColumnSums8Avx512(rows, xpar, f_.width, s);
                else if (set == RoutineSet::Avx2)
                    ColumnSums8Avx2(rows, xpar, f_.width, s);
                else if (set == RoutineSet::Ssse3)
                    ColumnSums8Ssse3(rows, xpar, f_.width, s);
                else
                    ColumnSums8(rows, xpar, f_.width, s);
                if (widest)
                    x = Row8Avx512(f_, y, rows, s, Permutes64());
                else if (Channels == 3 && set == RoutineSet::Avx2)
                    x = Row8Avx2(f_, y, s, Shuffles());
                else if (Channels == 3 && set == RoutineSet::Ssse3)
                    x = Row8Ssse3(f_, y, s, Shuffles());
                else
                    x = Row8Sse2<Channels>(f_, y, s);
            } else {
                const size_t w = static_cast<size_t>(f_.width);
                const Scratch16 s{scratch_.get(), scratch_.get() + w, scratch_.get() + 2 * w};
                ColumnSums16(rows, xpar, f_.width, s);
                x = (Channels == 3 && set_ >= RoutineSet::Ssse3) ? Row16Ssse3(f_, y, s, Shuffles16())
                                                                  : Row16Sse2<Channels>(f_, y, s);
            }
        }
#endif
        RowPlain<T, Channels>(f_, y, rows, x, f_.width - 2);
    }

private:
    const Frame& f_;
    std::unique_ptr<uint16_t[]> scratch_;
    RoutineSet set_ = RoutineSet::Plain;
};

template <typename T, int Channels>
void Interior(const Frame& f, DemosaicRows) {
    if (f.width <= 4 || f.height <= 4) return;
    MiddleRows<T, Channels> middle(f);
    for (int32_t y = 2; y < f.height - 2; ++y) {
        const T* rows[4] = {SourceRow<T>(f, y - 2), SourceRow<T>(f, y - 1), SourceRow<T>(f, y), SourceRow<T>(f, y + 1)};
        middle.Run(y, rows);
    }
}

template <typename T, int Channels>
void Border(const Frame& f, DemosaicRows only) {
    constexpr int32_t kAhead = 8;
    const bool hasInterior = f.width > 4 && f.height > 4;
    MiddleRows<T, Channels> middle(f);
    auto edge = [&](int32_t x, int32_t y, const T* const rows[4]) {
        int32_t cols[4];
        for (int i = 0; i < 4; ++i) cols[i] = Fold(x - 2 + i, f.width);
        PutPixel<T, Channels>(f, x, y, rows, cols);
    };
    for (int32_t y = std::max(only.first, 0); y < std::min(only.end, f.height); ++y) {
        const T* rows[4];
        for (int j = 0; j < 4; ++j) rows[j] = SourceRow<T>(f, Fold(y - 2 + j, f.height));
        if (f.width <= 4) {
            for (int32_t x = 0; x < f.width; ++x) edge(x, y, rows);
            continue;
        }
        // Rows of the interior have only their two outer columns on each side here. Their
        // samples have left the caches since the interior pass: fetch some rows ahead.
        if (y + kAhead + 1 < f.height) {
            const uint8_t* ahead = f.source + (y + kAhead + 1) * f.sourceStride;
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + (f.width - 4) * sizeof(T));
            __builtin_prefetch(PixelAt<T, Channels>(f, 0, y + kAhead), 1);
            __builtin_prefetch(PixelAt<T, Channels>(f, f.width - 2, y + kAhead), 1);
        }
        if (!(hasInterior && y >= 2 && y < f.height - 2)) middle.Run(y, rows);
        for (int32_t x : {0, 1, f.width - 2, f.width - 1}) edge(x, y, rows);
    }
}

using Pass = void (*)(const Frame&, DemosaicRows);

int32_t Run(Pass three, Pass four, int sampleBytes, uint8_t* destBits, const uint8_t* sourceBits,
            const Rect* r, int32_t destX, int32_t destY, uint16_t destBpp, uint16_t sourceBpp,
            int32_t destStride, int32_t sourceStride, void* value1, void* value2) {
    if (destBits == nullptr || sourceBits == nullptr || r == nullptr) return 0;
    if (sourceBpp != sampleBytes || (destBpp != 3 * sampleBytes && destBpp != 4 * sampleBytes)) return 0;
    const Frame f = mosaic::MakeFrame(destBits, sourceBits, r, destX, destY, destBpp, sourceBpp, destStride,
                                      sourceStride, value1);
    DemosaicRows rows{0, f.height};
    auto* const* only = static_cast<DemosaicRows* const*>(value2);
    if (only != nullptr && *only != nullptr) rows = **only;
    (destBpp == 3 * sampleBytes ? three : four)(f, rows);
    return 1;
}

}  // namespace

LUMORA_PIXEL_ROUTINE(DemosaicInterior8) {
    (void)value2;
    return Run(Interior<uint8_t, 3>, Interior<uint8_t, 4>, 1, destBits, sourceBits, sourceRect, destX, destY,
               destBytesPerPixel, sourceBytesPerPixel, destStride, sourceStride, value1, nullptr);
}

LUMORA_PIXEL_ROUTINE(DemosaicBorder8) {
    return Run(Border<uint8_t, 3>, Border<uint8_t, 4>, 1, destBits, sourceBits, sourceRect, destX, destY,
               destBytesPerPixel, sourceBytesPerPixel, destStride, sourceStride, value1, value2);
}

LUMORA_PIXEL_ROUTINE(DemosaicInterior16) {
    (void)value2;
    return Run(Interior<uint16_t, 3>, Interior<uint16_t, 4>, 2, destBits, sourceBits, sourceRect, destX, destY,
               destBytesPerPixel, sourceBytesPerPixel, destStride, sourceStride, value1, nullptr);
}

LUMORA_PIXEL_ROUTINE(DemosaicBorder16) {
    return Run(Border<uint16_t, 3>, Border<uint16_t, 4>, 2, destBits, sourceBits, sourceRect, destX, destY,
               destBytesPerPixel, sourceBytesPerPixel, destStride, sourceStride, value1, value2);
}

}  // namespace lumora
