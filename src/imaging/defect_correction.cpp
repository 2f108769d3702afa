#include "imaging/defect_correction.h"

#include <algorithm>
#include <cstdlib>

#include "imaging/mosaic_pixel.h"
#include "imaging/vector_support.h"

namespace lumora {

namespace {

using mosaic::Frame;

template <typename T>
T* Row(const Frame& f, int32_t y) {
    return reinterpret_cast<T*>(f.dest + y * f.destStride);
}

// The full test at (x, y); 1 when the sample was replaced. Kept inline in the row loops (the
// 16-bit one was called out of line otherwise).
template <typename T>
inline __attribute__((always_inline)) int CheckSample(const Frame& f, int32_t x, int32_t y, int threshold,
                                                      int colourLimit) {
    using S = mosaic::SampleTraits<T>;
    T* row = Row<T>(f, y);
    const int s = S::Read(row + x);
    const int m = (S::Read(Row<T>(f, y - 2) + x) + S::Read(Row<T>(f, y + 2) + x) +
                   S::Read(row + x - 2) + S::Read(row + x + 2)) >> 2;
    if (s - m < threshold) return 0;
    const T* rows[4] = {Row<T>(f, y - 2), Row<T>(f, y - 1), row, Row<T>(f, y + 1)};
    const int32_t cols[4] = {x - 2, x - 1, x, x + 1};
    int b, g, r;
    mosaic::Pixel<T>(rows, cols, f.rowPhase ^ (y & 1), f.columnPhase ^ (x & 1), f.kR, f.kB, b, g, r);
    const int far = (std::abs(r - g) > colourLimit) + (std::abs(r - b) > colourLimit) +
                    (std::abs(g - b) > colourLimit);
    if (far < 2) return 0;
    S::Write(row + x, m);
    return 1;
}

#if LUMORA_HAVE_SSE2
LUMORA_SSE2_FUNCTION inline __m128i Limit4095(__m128i v) {
    return _mm_sub_epi16(v, _mm_subs_epu16(v, _mm_set1_epi16(4095)));
}

template <typename T>
LUMORA_SSE2_FUNCTION inline __m128i Load(const T* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Bit l set when sample x + l passes s - m >= T (T limited to the samples' difference range):
// 16 samples of 8 bits or 8 samples of 16 bits.
template <typename T>
LUMORA_SSE2_FUNCTION unsigned CandidateMask(const Frame& f, int32_t x, int32_t y, int threshold) {
    const T* row = Row<T>(f, y);
    const T* up = Row<T>(f, y - 2);
    const T* down = Row<T>(f, y + 2);
    const __m128i limit = _mm_set1_epi16(static_cast<short>(std::clamp(threshold, -8191, 8191) - 1));
    if constexpr (sizeof(T) == 1) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i s = Load(row + x), l = Load(row + x - 2), r = Load(row + x + 2);
        const __m128i u = Load(up + x), d = Load(down + x);
        const __m128i sumLo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(l, zero), _mm_unpacklo_epi8(r, zero)),
                                            _mm_add_epi16(_mm_unpacklo_epi8(u, zero), _mm_unpacklo_epi8(d, zero)));
        const __m128i sumHi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(l, zero), _mm_unpackhi_epi8(r, zero)),
                                            _mm_add_epi16(_mm_unpackhi_epi8(u, zero), _mm_unpackhi_epi8(d, zero)));
        const __m128i lo = _mm_cmpgt_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(s, zero), _mm_srli_epi16(sumLo, 2)), limit);
        const __m128i hi = _mm_cmpgt_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(s, zero), _mm_srli_epi16(sumHi, 2)), limit);
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(lo, hi)));
    } else {
        const __m128i s = Limit4095(Load(row + x));
        const __m128i sum = _mm_add_epi16(
            _mm_add_epi16(Limit4095(Load(row + x - 2)), Limit4095(Load(row + x + 2))),
            _mm_add_epi16(Limit4095(Load(up + x)), Limit4095(Load(down + x))));
        const __m128i diff = _mm_sub_epi16(s, _mm_srli_epi16(sum, 2));
        return static_cast<unsigned>(
                   _mm_movemask_epi8(_mm_packs_epi16(_mm_cmpgt_epi16(diff, limit), _mm_setzero_si128()))) &
               0xFFu;
    }
}
#endif

template <typename T>
int32_t CorrectFrame(const Frame& f, int threshold, int colourLimit) {
    if (f.width < 5 || f.height < 5) return 0;
    int32_t count = 0;
    const bool vector = Sse2RoutinesEnabled();
    constexpr int32_t kStep = 16 / static_cast<int32_t>(sizeof(T));
    for (int32_t y = 2; y < f.height - 2; ++y) {
        int32_t x = 2;
#if LUMORA_HAVE_SSE2
        // Samples that fail the first test are left alone, so only a group's candidates are
        // tested one by one; groups are tested after every earlier correction is made. A
        // correction changes the tests of the next two samples only (their windows reach two
        // columns back), so those are tested again one by one.
        if (vector) {
            for (; x + kStep <= f.width - 2; x += kStep) {
                unsigned pending = CandidateMask<T>(f, x, y, threshold);
                while (pending != 0) {
                    const int32_t l = __builtin_ctz(pending);
                    pending &= pending - 1;
                    if (CheckSample<T>(f, x + l, y, threshold, colourLimit)) {
                        ++count;
                        pending |= (6u << l) & ((1u << kStep) - 1);
                    }
                }
            }
        }
#else
        (void)vector;
        (void)kStep;
#endif
        for (; x < f.width - 2; ++x) count += CheckSample<T>(f, x, y, threshold, colourLimit);
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
