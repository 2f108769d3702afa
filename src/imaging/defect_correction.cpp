#include "imaging/defect_correction.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "imaging/mosaic_pixel.h"
#include "imaging/filter_vectors.h"

namespace lumora {

namespace {

using mosaic::Frame;

template <typename T>
T* Row(const Frame& f, int32_t y) {
    return reinterpret_cast<T*>(f.dest + y * f.destStride);
}

// The full test on the samples of row y (2 <= y < height - 2), whose neighbours need no
// folding: the colour estimate is mosaic::Pixel's with the rows of each colour chosen once for
// the row's phase and the columns by the sample's.
template <typename T>
struct RowTest {
    using S = mosaic::SampleTraits<T>;
    T* row;
    const T *up2, *up1, *down1, *down2;
    const T *red, *redFar, *blue, *blueFar;  // rows of the 9 and 1 weights of each colour
    int p0, columnPhase, kR, kB, threshold, colourLimit;

    RowTest(const Frame& f, int32_t y, int threshold_, int colourLimit_)
        : row(Row<T>(f, y)), up2(Row<T>(f, y - 2)), up1(Row<T>(f, y - 1)), down1(Row<T>(f, y + 1)),
          down2(Row<T>(f, y + 2)), p0(f.rowPhase ^ (y & 1)), columnPhase(f.columnPhase), kR(f.kR), kB(f.kB),
          threshold(threshold_), colourLimit(colourLimit_) {
        // Red rows: P = 1 at y, else y - 1; the far one two rows across (y - 2 or y + 1).
        red = p0 ? row : up1;
        redFar = p0 ? up2 : down1;
        blue = p0 ? up1 : row;
        blueFar = p0 ? down1 : up2;
    }

    // 1 when sample x was replaced. Kept inline in the row loops.
    inline __attribute__((always_inline)) int Check(int32_t x) const {
        const int s = S::Read(row + x);
        const int m = (S::Read(up2 + x) + S::Read(down2 + x) + S::Read(row + x - 2) + S::Read(row + x + 2)) >> 2;
        if (s - m < threshold) return 0;
        const int q0 = columnPhase ^ (x & 1);
        // Red columns: Q = 0 at x, else x - 1, the far one x - 2 or x + 1; blue the other way.
        const int32_t rc = x - q0, rf = x - 2 + 3 * q0;
        const int32_t bc = x - 1 + q0, bf = x + 1 - 3 * q0;
        const int sumR = 9 * S::Read(red + rc) + 3 * S::Read(red + rf) + 3 * S::Read(redFar + rc) + S::Read(redFar + rf);
        const int sumB = 9 * S::Read(blue + bc) + 3 * S::Read(blue + bf) + 3 * S::Read(blueFar + bc) +
                         S::Read(blueFar + bf);
        const int r = std::min((sumR * kR) >> 11, S::kMax);
        const int b = std::min((sumB * kB) >> 11, S::kMax);
        const int d = p0 ^ q0;
        const int g = (S::Read(row + x - d) + S::Read(up1 + x - 1 + d)) >> 1;
        const int far = (std::abs(r - g) > colourLimit) + (std::abs(r - b) > colourLimit) +
                        (std::abs(g - b) > colourLimit);
        if (far < 2) return 0;
        S::Write(row + x, m);
        return 1;
    }
};

// The first test, s - m >= T, for sample x of row y.
template <typename T>
inline bool Candidate(const Frame& f, int32_t x, int32_t y, int threshold) {
    using S = mosaic::SampleTraits<T>;
    const T* row = Row<T>(f, y);
    const int m = (S::Read(Row<T>(f, y - 2) + x) + S::Read(Row<T>(f, y + 2) + x) +
                   S::Read(row + x - 2) + S::Read(row + x + 2)) >> 2;
    return S::Read(row + x) - m >= threshold;
}

// Appends base plus the indices of b's set bits, in order, to list from n on; returns the new
// count. Without a branch per bit for up to four: four entries written whatever b holds, the
// count moved on only by those that are bits.
inline int32_t ListBits(uint64_t b, int32_t base, int32_t* list, int32_t n) {
    for (int32_t k = 0; k < 4; ++k) {
        list[n] = base + __builtin_ctzll(b | uint64_t{1} << 63);
        n += b != 0;
        b &= b - 1;
    }
    for (; b != 0; b &= b - 1) list[n++] = base + __builtin_ctzll(b);
    return n;
}

// The candidates' indices of a row's first words, in order.
struct Listing {
    int32_t* indices;
    int32_t count = 0;
    int32_t words = 0;
};

// The first test on a row's samples x = 2 .. width - 3 as a bitmap: bit i of the words for
// sample 2 + i. The vector loops take groups of 16, 32 or 64 samples (each group's bits within
// one word) and return how many samples they did; the rest are tested one by one. T is
// limited to the samples' difference range, which keeps every outcome.
struct CandidateRow {
    const uint8_t* up;    // row y - 2, from sample 0
    const uint8_t* row;   // row y
    const uint8_t* down;  // row y + 2
    int32_t count;        // samples to test: width - 4
    int16_t limit;        // T - 1: a sample passes when s - m > limit
    // Bit i clear where sample 2 + i fails the first test whatever the sample two columns
    // before it becomes (its mean taken with that one as 0): after a correction there, it
    // needs no test. Left set where a routine does not work it out.
    uint64_t* again;
    // Where a routine that lists the candidates of the words it does (in order, each word's
    // scalar work next to the vector work of the next) puts their indices.
    Listing* listing;
};

#if LUMORA_HAVE_SSE2
LUMORA_SSE2_FUNCTION inline __m128i Limit4095(__m128i v) {
    return _mm_sub_epi16(v, _mm_subs_epu16(v, _mm_set1_epi16(4095)));
}

template <typename T>
LUMORA_SSE2_FUNCTION inline __m128i Load(const T* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// 16 samples of 8 bits or 8 samples of 16 bits at a time.
template <typename T>
LUMORA_SSE2_FUNCTION int32_t CandidatesSse2(const CandidateRow& c, uint64_t* bits) {
    constexpr int32_t kStep = 16 / static_cast<int32_t>(sizeof(T));
    const T* row = reinterpret_cast<const T*>(c.row) + 2;
    const T* up = reinterpret_cast<const T*>(c.up) + 2;
    const T* down = reinterpret_cast<const T*>(c.down) + 2;
    const __m128i limit = _mm_set1_epi16(c.limit);
    int32_t i = 0;
    for (; i + kStep <= c.count; i += kStep) {
        unsigned mask;
        if constexpr (sizeof(T) == 1) {
            const __m128i zero = _mm_setzero_si128();
            const __m128i s = Load(row + i), l = Load(row + i - 2), r = Load(row + i + 2);
            const __m128i u = Load(up + i), d = Load(down + i);
            const __m128i sumLo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(l, zero), _mm_unpacklo_epi8(r, zero)),
                                                _mm_add_epi16(_mm_unpacklo_epi8(u, zero), _mm_unpacklo_epi8(d, zero)));
            const __m128i sumHi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(l, zero), _mm_unpackhi_epi8(r, zero)),
                                                _mm_add_epi16(_mm_unpackhi_epi8(u, zero), _mm_unpackhi_epi8(d, zero)));
            const __m128i lo = _mm_cmpgt_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(s, zero), _mm_srli_epi16(sumLo, 2)), limit);
            const __m128i hi = _mm_cmpgt_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(s, zero), _mm_srli_epi16(sumHi, 2)), limit);
            mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(lo, hi)));
        } else {
            const __m128i s = Limit4095(Load(row + i));
            const __m128i sum = _mm_add_epi16(
                _mm_add_epi16(Limit4095(Load(row + i - 2)), Limit4095(Load(row + i + 2))),
                _mm_add_epi16(Limit4095(Load(up + i)), Limit4095(Load(down + i))));
            const __m128i diff = _mm_sub_epi16(s, _mm_srli_epi16(sum, 2));
            mask = static_cast<unsigned>(
                       _mm_movemask_epi8(_mm_packs_epi16(_mm_cmpgt_epi16(diff, limit), _mm_setzero_si128()))) &
                   0xFFu;
        }
        bits[i >> 6] |= static_cast<uint64_t>(mask) << (i & 63);
    }
    return i;
}

template <typename T>
LUMORA_AVX2_FUNCTION inline __m256i Load256(const T* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// 32 samples of 8 bits or 16 of 16 bits at a time (the in-lane unpacks and packs keep the
// order).
template <typename T>
LUMORA_AVX2_FUNCTION int32_t CandidatesAvx2(const CandidateRow& c, uint64_t* bits) {
    constexpr int32_t kStep = 32 / static_cast<int32_t>(sizeof(T));
    const T* row = reinterpret_cast<const T*>(c.row) + 2;
    const T* up = reinterpret_cast<const T*>(c.up) + 2;
    const T* down = reinterpret_cast<const T*>(c.down) + 2;
    const __m256i limit = _mm256_set1_epi16(c.limit);
    int32_t i = 0;
    for (; i + kStep <= c.count; i += kStep) {
        uint64_t mask;
        if constexpr (sizeof(T) == 1) {
            const __m256i zero = _mm256_setzero_si256();
            const __m256i s = Load256(row + i), l = Load256(row + i - 2), r = Load256(row + i + 2);
            const __m256i u = Load256(up + i), d = Load256(down + i);
            const __m256i sumLo = _mm256_add_epi16(
                _mm256_add_epi16(_mm256_unpacklo_epi8(l, zero), _mm256_unpacklo_epi8(r, zero)),
                _mm256_add_epi16(_mm256_unpacklo_epi8(u, zero), _mm256_unpacklo_epi8(d, zero)));
            const __m256i sumHi = _mm256_add_epi16(
                _mm256_add_epi16(_mm256_unpackhi_epi8(l, zero), _mm256_unpackhi_epi8(r, zero)),
                _mm256_add_epi16(_mm256_unpackhi_epi8(u, zero), _mm256_unpackhi_epi8(d, zero)));
            const __m256i lo = _mm256_cmpgt_epi16(
                _mm256_sub_epi16(_mm256_unpacklo_epi8(s, zero), _mm256_srli_epi16(sumLo, 2)), limit);
            const __m256i hi = _mm256_cmpgt_epi16(
                _mm256_sub_epi16(_mm256_unpackhi_epi8(s, zero), _mm256_srli_epi16(sumHi, 2)), limit);
            mask = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(lo, hi)));
        } else {
            const __m256i top = _mm256_set1_epi16(4095);
            const auto load = [&](const T* p) LUMORA_AVX2_FUNCTION { return _mm256_min_epu16(Load256(p), top); };
            const __m256i sum = _mm256_add_epi16(_mm256_add_epi16(load(row + i - 2), load(row + i + 2)),
                                                 _mm256_add_epi16(load(up + i), load(down + i)));
            const __m256i diff = _mm256_sub_epi16(load(row + i), _mm256_srli_epi16(sum, 2));
            // Words to bytes: the pack leaves the lanes' halves in the order 0, 2, 1, 3.
            const __m256i words = _mm256_cmpgt_epi16(diff, limit);
            const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packs_epi16(words, words), 0xD8);
            mask = static_cast<uint32_t>(_mm256_movemask_epi8(bytes)) & 0xFFFFu;
        }
        bits[i >> 6] |= mask << (i & 63);
    }
    return i;
}

// The 8-bit test in bytes for 1 <= T <= 255, 64 samples at a time. With p = floor((a + b) / 2),
// q = floor((c + d) / 2) and e, f the bits those halvings drop, floor((a + b + c + d) / 4) is
// floor((p + q) / 2), plus 1 when p + q is odd and e = f = 1; and s - m >= T is s -sat m >= T.
// The mean with the left sample (a) as 0 is at least floor(q / 2) + floor(b / 4).
LUMORA_AVX512_FUNCTION int32_t BytesAvx512(const CandidateRow& c, uint64_t* bits) {
    const uint8_t* row = c.row + 2;
    const uint8_t* up = c.up + 2;
    const uint8_t* down = c.down + 2;
    const __m512i threshold = _mm512_set1_epi8(static_cast<char>(c.limit + 1));
    const __m512i one = _mm512_set1_epi8(1);
    int32_t* const list = c.listing->indices;
    int32_t listed = c.listing->count;
    int32_t i = 0;
    for (; i + 64 <= c.count; i += 64) {
        const __m512i l = _mm512_loadu_si512(row + i - 2), r = _mm512_loadu_si512(row + i + 2);
        const __m512i u = _mm512_loadu_si512(up + i), d = _mm512_loadu_si512(down + i);
        const __m512i lr = _mm512_xor_si512(l, r), ud = _mm512_xor_si512(u, d);
        const __m512i p = _mm512_sub_epi8(_mm512_avg_epu8(l, r), _mm512_and_si512(lr, one));
        const __m512i q = _mm512_sub_epi8(_mm512_avg_epu8(u, d), _mm512_and_si512(ud, one));
        // (p ^ q) & ~(lr & ud), of which bit 0 counts.
        const __m512i odd = _mm512_ternarylogic_epi32(_mm512_xor_si512(p, q), lr, ud, 0x70);
        const __m512i m = _mm512_sub_epi8(_mm512_avg_epu8(p, q), _mm512_and_si512(odd, one));
        const __m512i s = _mm512_loadu_si512(row + i);
        const uint64_t found = _mm512_cmpge_epu8_mask(_mm512_subs_epu8(s, m), threshold);
        bits[i >> 6] = found;
        listed = ListBits(found, i, list, listed);
        const __m512i low = _mm512_add_epi8(_mm512_and_si512(_mm512_srli_epi16(q, 1), _mm512_set1_epi8(0x7F)),
                                            _mm512_and_si512(_mm512_srli_epi16(r, 2), _mm512_set1_epi8(0x3F)));
        c.again[i >> 6] = _mm512_cmpge_epu8_mask(_mm512_subs_epu8(s, low), threshold);
    }
    c.listing->count = listed;
    c.listing->words = i / 64;
    return i;
}

// A 32-lane compare mask as the low half of a word, through a general register. The 32-bit
// build's compiler (GCC 12) otherwise widens it through a stack slot whose upper half it never
// writes, so that the word's upper half is whatever that slot held.
LUMORA_AVX512_FUNCTION inline uint64_t LowHalf(__mmask32 mask) {
    uint32_t bits = _cvtmask32_u32(mask);
    __asm__("" : "+r"(bits));
    return bits;
}

// 64 samples of 8 bits or 32 of 16 bits at a time, the compares giving the bits.
template <typename T>
LUMORA_AVX512_FUNCTION int32_t CandidatesAvx512(const CandidateRow& c, uint64_t* bits) {
    constexpr int32_t kStep = 64 / static_cast<int32_t>(sizeof(T));
    const T* row = reinterpret_cast<const T*>(c.row) + 2;
    const T* up = reinterpret_cast<const T*>(c.up) + 2;
    const T* down = reinterpret_cast<const T*>(c.down) + 2;
    const __m512i limit = _mm512_set1_epi16(c.limit);
    int32_t i = 0;
    if constexpr (sizeof(T) == 1) {
        if (c.limit >= 0 && c.limit < 255) return BytesAvx512(c, bits);
    }
    for (; i + kStep <= c.count; i += kStep) {
        if constexpr (sizeof(T) == 1) {
            // Each half of 32 samples widened in order.
            const auto half = [&](int32_t k) LUMORA_AVX512_FUNCTION {
                const auto load = [&](const T* p) LUMORA_AVX512_FUNCTION {
                    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
                };
                const __m512i sum = _mm512_add_epi16(_mm512_add_epi16(load(row + k - 2), load(row + k + 2)),
                                                     _mm512_add_epi16(load(up + k), load(down + k)));
                const __m512i diff = _mm512_sub_epi16(load(row + k), _mm512_srli_epi16(sum, 2));
                return LowHalf(_mm512_cmpgt_epi16_mask(diff, limit));
            };
            bits[i >> 6] = half(i) | half(i + 32) << 32;
        } else {
            const __m512i top = _mm512_set1_epi16(4095);
            const auto load = [&](const T* p) LUMORA_AVX512_FUNCTION {
                return _mm512_min_epu16(_mm512_loadu_si512(p), top);
            };
            // Without the left sample: the mean with it as 0.
            const __m512i partial = _mm512_add_epi16(load(row + i + 2), _mm512_add_epi16(load(up + i), load(down + i)));
            const __m512i sum = _mm512_add_epi16(partial, load(row + i - 2));
            const __m512i s = load(row + i);
            const __m512i diff = _mm512_sub_epi16(s, _mm512_srli_epi16(sum, 2));
            const int shift = i & 63;
            bits[i >> 6] |= LowHalf(_mm512_cmpgt_epi16_mask(diff, limit)) << shift;
            const uint64_t again =
                LowHalf(_mm512_cmpgt_epi16_mask(_mm512_sub_epi16(s, _mm512_srli_epi16(partial, 2)), limit));
            c.again[i >> 6] &= again << shift | ~(uint64_t{0xFFFFFFFF} << shift);
        }
    }
    return i;
}
#endif

// The bitmap of row y's candidates (words for count samples, cleared first).
// listing: the candidates of the first words, where the vector routine lists them (none
// otherwise).
template <typename T>
void FindCandidates(const Frame& f, int32_t y, int threshold, uint64_t* bits, uint64_t* again, Listing& listing) {
    const int32_t count = f.width - 4;
    std::fill(bits, bits + (count + 63) / 64, uint64_t{0});
    std::fill(again, again + (count + 63) / 64, ~uint64_t{0});
    listing.count = listing.words = 0;
    int32_t i = 0;
#if LUMORA_HAVE_SSE2
    const CandidateRow c{f.dest + (y - 2) * f.destStride, f.dest + y * f.destStride,
                         f.dest + (y + 2) * f.destStride, count,
                         static_cast<int16_t>(std::clamp(threshold, -8191, 8191) - 1), again, &listing};
    if (Avx512FiltersEnabled()) {
        i = CandidatesAvx512<T>(c, bits);
    } else if (Avx2RoutinesEnabled()) {
        i = CandidatesAvx2<T>(c, bits);
    } else if (Sse2RoutinesEnabled()) {
        i = CandidatesSse2<T>(c, bits);
    }
#endif
    for (; i < count; ++i) {
        if (Candidate<T>(f, 2 + i, y, threshold)) bits[i >> 6] |= uint64_t{1} << (i & 63);
    }
}

#if LUMORA_HAVE_SSE2
// The full tests of candidates list[0 .. n) of a row, eight at a time, each as if neither of the
// two samples before it were corrected: means[k] the sample's new value when it is replaced, -1
// when it stays. Each lane gathers the four columns x - 2 .. x + 1 of the colour rows as one
// dword (a qword for 16-bit samples) and picks the columns its phase reads; every read stays
// within columns 0 .. width - 1. Returns how many candidates it did.
template <typename T>
LUMORA_AVX2_FUNCTION int32_t FullTestsAvx2(const RowTest<T>& t, const int32_t* list, int32_t n, int32_t* means) {
    constexpr bool kWide = sizeof(T) == 2;
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i limit = _mm256_set1_epi32(t.colourLimit);
    // Columns x - 2 + off of the window at p (off 0..3 per lane).
    struct Window {
        __m256i lo, hi;
    };
    const auto gather = [&](const T* p, __m256i bytes) LUMORA_AVX2_FUNCTION {
        return _mm256_i32gather_epi32(reinterpret_cast<const int*>(p), bytes, 1);
    };
    // 16-bit samples: the four columns as one qword per lane, then split into the dwords of
    // columns x - 2, x - 1 (lo) and x, x + 1 (hi), in lane order.
    const auto window = [&](const T* p, __m256i bytes) LUMORA_AVX2_FUNCTION {
        if constexpr (kWide) {
            const auto* base = reinterpret_cast<const long long*>(p);
            const __m256 q0 = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_castsi256_si128(bytes), 1));
            const __m256 q1 = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_extracti128_si256(bytes, 1), 1));
            const auto order = [&](__m256 v) LUMORA_AVX2_FUNCTION {
                return _mm256_permute4x64_epi64(_mm256_castps_si256(v), 0xD8);
            };
            return Window{order(_mm256_shuffle_ps(q0, q1, 0x88)), order(_mm256_shuffle_ps(q0, q1, 0xDD))};
        } else {
            return Window{gather(p, bytes), bytes};
        }
    };
    const auto pick = [&](const Window& w, __m256i off) LUMORA_AVX2_FUNCTION {
        if constexpr (kWide) {
            const __m256i v = _mm256_blendv_epi8(w.lo, w.hi, _mm256_cmpgt_epi32(off, one));
            const __m256i s = _mm256_srlv_epi32(v, _mm256_slli_epi32(_mm256_and_si256(off, one), 4));
            return _mm256_min_epi32(_mm256_and_si256(s, _mm256_set1_epi32(0xFFFF)), _mm256_set1_epi32(mosaic::kMax16));
        } else {
            return _mm256_and_si256(_mm256_srlv_epi32(w.lo, _mm256_slli_epi32(off, 3)), _mm256_set1_epi32(0xFF));
        }
    };
    const auto fixed = [&](int v) LUMORA_AVX2_FUNCTION { return _mm256_set1_epi32(v); };
    // The colour rows' shares: 9 and 3 for the near row, 3 and 1 for the far one.
    const auto estimate = [&](const Window& nearRow, const Window& farRow, __m256i c, __m256i f, int gain)
                              LUMORA_AVX2_FUNCTION {
        const __m256i a = _mm256_add_epi32(_mm256_mullo_epi32(pick(nearRow, c), fixed(9)),
                                           _mm256_mullo_epi32(pick(nearRow, f), fixed(3)));
        const __m256i b = _mm256_add_epi32(_mm256_mullo_epi32(pick(farRow, c), fixed(3)), pick(farRow, f));
        const __m256i sum = _mm256_add_epi32(a, b);
        return _mm256_min_epi32(_mm256_srai_epi32(_mm256_mullo_epi32(sum, fixed(gain)), 11), fixed(mosaic::SampleTraits<T>::kMax));
    };
    const __m256i columnPhase = fixed(t.columnPhase);
    const __m256i p0 = fixed(t.p0);
    int32_t k = 0;
    for (; k + 8 <= n; k += 8) {
        // The window starts at x - 2, which is the candidate's index.
        const __m256i i = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(list + k));
        const __m256i bytes = kWide ? _mm256_slli_epi32(i, 1) : i;
        const __m256i q0 = _mm256_xor_si256(columnPhase, _mm256_and_si256(i, one));
        const __m256i threeQ0 = _mm256_mullo_epi32(q0, fixed(3));
        const Window red = window(t.red, bytes), redFar = window(t.redFar, bytes);
        const Window blue = window(t.blue, bytes), blueFar = window(t.blueFar, bytes);
        const __m256i r = estimate(red, redFar, _mm256_sub_epi32(fixed(2), q0), threeQ0, t.kR);
        const __m256i b = estimate(blue, blueFar, _mm256_add_epi32(one, q0), _mm256_sub_epi32(fixed(3), threeQ0), t.kB);
        const Window& row = t.p0 ? red : blue;
        const Window& up1 = t.p0 ? blue : red;
        const Window& up2 = t.p0 ? redFar : blueFar;
        const __m256i d = _mm256_xor_si256(p0, q0);
        const __m256i g = _mm256_srli_epi32(_mm256_add_epi32(pick(row, _mm256_sub_epi32(fixed(2), d)),
                                                              pick(up1, _mm256_add_epi32(one, d))), 1);
        const auto far = [&](__m256i u, __m256i v) LUMORA_AVX2_FUNCTION {
            return _mm256_cmpgt_epi32(_mm256_abs_epi32(_mm256_sub_epi32(u, v)), limit);
        };
        const __m256i rg = far(r, g), rb = far(r, b), gb = far(g, b);
        const __m256i replace = _mm256_or_si256(_mm256_and_si256(rg, _mm256_or_si256(rb, gb)), _mm256_and_si256(rb, gb));
        // The mean of the first test: rows y - 2 and y + 2 at x, the row at x - 2 and x + 2
        // (the window at x - 1 holds x + 2 at its end).
        const Window down2 = window(t.down2, bytes);
        const Window right = window(t.row, _mm256_add_epi32(bytes, fixed(static_cast<int>(sizeof(T)))));
        const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(pick(up2, fixed(2)), pick(down2, fixed(2))),
                                             _mm256_add_epi32(pick(row, _mm256_setzero_si256()), pick(right, fixed(3))));
        const __m256i mean = _mm256_srli_epi32(sum, 2);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(means + k), _mm256_blendv_epi8(fixed(-1), mean, replace));
    }
    return k;
}
#endif

// Bit j of again: whether sample j may pass the first test after a correction two columns
// before it. 0 from samples on (again has a word beyond the row's).
inline bool MayPassNow(const uint64_t* again, int32_t samples, int32_t j) {
    return static_cast<bool>((j < samples) & static_cast<int>((again[j >> 6] >> (j & 63)) & 1));
}

// After a correction at i: the columns that read it tested one by one (i + 1 if it is a
// candidate, i + 2 if it is or may now pass), until two columns in a row stay. The next
// candidate then has two uncorrected columns before it again, as its vector test took them to
// be. Returns the corrections made and the index of the first candidate not tested.
struct Retest {
    int32_t corrections, next;
};
template <typename T>
__attribute__((noinline)) Retest RetestAfterCorrection(const RowTest<T>& test, const int32_t* list,
                                                       const uint64_t* again, int32_t samples, int32_t i, int32_t k) {
    int32_t corrections = 0;
    bool before = true, twoBefore = false;  // columns j - 1 and j - 2 corrected
    for (int32_t j = i + 1; (before || twoBefore) && j < samples; ++j) {
        const bool listed = list[k] == j;  // list[n] is samples
        k += listed;
        const bool corrected = (listed || (twoBefore && MayPassNow(again, samples, j))) && test.Check(2 + j);
        corrections += corrected;
        twoBefore = before;
        before = corrected;
    }
    return {corrections, k};
}

// The full test of candidate i one by one, out of line: the loop over the vector results
// keeps its values in registers.
template <typename T>
__attribute__((noinline)) bool CheckApart(const RowTest<T>& test, int32_t i) {
    return test.Check(2 + i);
}

// One row from its candidates left to right. Samples that fail the first test are left alone,
// so only candidates get the full test. A correction changes the first test of the sample two
// columns on (its mean reads the corrected one), which is then tested as well; the sample next
// to it keeps its first test (its mean reads the columns either side of it), and the full tests
// of both, which read the corrected sample, come after the correction. The vector full tests
// stand for the candidates with no correction in the two columns before them; the others are
// tested again one by one. list and means have room for samples + 8 entries, again for one word
// more than the row's.
template <typename T>
int32_t CorrectRow(const RowTest<T>& test, const uint64_t* bits, const uint64_t* again, int32_t samples,
                   const Listing& listing, int32_t* means) {
    // The candidates' indices in order: those of the words the vector routine listed, then the rest.
    int32_t* const list = listing.indices;
    int32_t n = listing.count;
    for (int32_t w = listing.words; w < (samples + 63) / 64; ++w) n = ListBits(bits[w], 64 * w, list, n);
    list[n] = samples;
    int32_t tested = 0;
#if LUMORA_HAVE_SSE2
    if (Avx2RoutinesEnabled()) tested = FullTestsAvx2<T>(test, list, n, means);
#endif
    T* const row = test.row + 2;
    // Corrections with neither of the next two columns reading them are the common case: the
    // loop over the vector results keeps to them without a branch per candidate.
    int32_t count = 0;
    for (int32_t k = 0; k < n;) {
        const int32_t i = list[k++];
        if (k <= tested) {
            const int32_t mean = means[k - 1];
            const bool replace = mean >= 0;
            T* const p = row + i;
            mosaic::SampleTraits<T>::Write(p, replace ? mean : *p);
            count += replace;
            const int32_t next = i + 2;
            if (!(replace & ((list[k] <= next) | MayPassNow(again, samples, next)))) continue;
        } else if (!CheckApart(test, i)) {
            continue;
        } else {
            ++count;
        }
        const Retest r = RetestAfterCorrection(test, list, again, samples, i, k);
        count += r.corrections;
        k = r.next;
    }
    return count;
}

// Rows top to bottom: each row's corrections see those of the rows above.
template <typename T>
int32_t CorrectFrame(const Frame& f, int threshold, int colourLimit) {
    if (f.width < 5 || f.height < 5) return 0;
    int32_t count = 0;
    const int32_t samples = f.width - 4;
    const size_t words = static_cast<size_t>((samples + 63) / 64);
    std::vector<uint64_t> bits(2 * words + 1);
    // Written before they are read, row by row: left uninitialised.
    const std::unique_ptr<int32_t[]> list(new int32_t[2 * (static_cast<size_t>(samples) + 8)]);
    Listing listing{list.get()};
    for (int32_t y = 2; y < f.height - 2; ++y) {
        FindCandidates<T>(f, y, threshold, bits.data(), bits.data() + words, listing);
        count += CorrectRow<T>(RowTest<T>(f, y, threshold, colourLimit), bits.data(), bits.data() + words, samples,
                               listing, list.get() + samples + 8);
    }
    return count;
}

int ReadThreshold(void* value2) {
    auto* const* record = static_cast<int* const*>(value2);
    if (record == nullptr || *record == nullptr) return kDefectThreshold;
    return std::clamp(**record, -100000, 100000);
}

template <typename T>
int32_t Run(uint8_t* destBits, const Rect* r, int32_t destX, int32_t destY, uint16_t destBpp,
            uint16_t sourceBpp, int32_t destStride, void* value1, int threshold, int colourLimit) {
    if (destBits == nullptr || r == nullptr || destBpp != sizeof(T) || sourceBpp != sizeof(T)) return 0;
    // In place: the frame is read from and written to the destination.
    Frame f = mosaic::MakeFrame(destBits, destBits, r, destX, destY, destBpp, destBpp, destStride,
                                destStride, value1);
    f.source = f.dest;
    return CorrectFrame<T>(f, threshold, colourLimit);
}

}  // namespace

LUMORA_PIXEL_ROUTINE(CorrectDefects) {
    (void)sourceBits;
    (void)sourceStride;
    return Run<uint8_t>(destBits, sourceRect, destX, destY, destBytesPerPixel, sourceBytesPerPixel,
                        destStride, value1, ReadThreshold(value2), 30);
}

LUMORA_PIXEL_ROUTINE(CorrectDefects16) {
    (void)sourceBits;
    (void)sourceStride;
    return Run<uint16_t>(destBits, sourceRect, destX, destY, destBytesPerPixel,
                         sourceBytesPerPixel, destStride, value1, ReadThreshold(value2) * 16,
                         30 * 16);
}

}  // namespace lumora
