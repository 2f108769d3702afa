#include "imaging/demosaic.h"

#include <memory>
#include <new>

#include "imaging/mosaic_pixel.h"
#include "imaging/vector_support.h"

namespace lumora {

namespace {

using mosaic::Frame;
using mosaic::SourceRow;

// Interior pixels [x, xEnd) of row y, one at a time.
template <typename T, int Channels>
void InteriorRowPlain(const Frame& f, int32_t y, int32_t x, int32_t xEnd) {
    const T* rows[4] = {SourceRow<T>(f, y - 2), SourceRow<T>(f, y - 1), SourceRow<T>(f, y),
                        SourceRow<T>(f, y + 1)};
    uint8_t* out = f.dest + y * f.destStride;
    const int p0 = f.rowPhase ^ (y & 1);
    for (; x < xEnd; ++x) {
        const int32_t cols[4] = {x - 2, x - 1, x, x + 1};
        int b, g, r;
        mosaic::Pixel<T>(rows, cols, p0, f.columnPhase ^ (x & 1), f.kR, f.kB, b, g, r);
        mosaic::StorePixel<T>(out + static_cast<intptr_t>(x) * Channels * sizeof(T), b, g, r);
    }
}

#if LUMORA_HAVE_SSE2
// The vector rows split the 9/3/3/1 weights into a vertical and a horizontal 3/1 step. For a
// row y, let X be the columns whose sample in row y is red or blue. Column sum
// V[c] = 3 s(c, y) + s(c, y - 2) for c in X, else 3 s(c, y - 1) + s(c, y + 1). Then
// A(x) = 3 V[x] + V[x - 2] and B(x) = 3 V[x - 1] + V[x + 1] are the weighted sums of the two
// non-green colours at output x: A is red where (x in X) == P of row y, else blue.

LUMORA_SSE2_FUNCTION inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// 16-bit lanes of even (parity 0) or odd (parity 1) position.
LUMORA_SSE2_FUNCTION inline __m128i ParityMask16(int parity) {
    return parity ? _mm_set_epi16(-1, 0, -1, 0, -1, 0, -1, 0) : _mm_set_epi16(0, -1, 0, -1, 0, -1, 0, -1);
}
LUMORA_SSE2_FUNCTION inline __m128i ParityMask8(int parity) {
    return parity ? _mm_set1_epi16(static_cast<short>(0xFF00)) : _mm_set1_epi16(0x00FF);
}

// min(v, 4095) on unsigned 16-bit lanes.
LUMORA_SSE2_FUNCTION inline __m128i Limit4095(__m128i v) {
    return _mm_sub_epi16(v, _mm_subs_epu16(v, _mm_set1_epi16(4095)));
}

LUMORA_SSE2_FUNCTION inline __m128i Times3Plus(__m128i a, __m128i b) {
    return _mm_add_epi16(_mm_add_epi16(a, a), _mm_add_epi16(a, b));
}

LUMORA_SSE2_FUNCTION inline __m128i LoadLimited(const uint16_t* p) {
    return Limit4095(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
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

template <typename T>
LUMORA_SSE2_FUNCTION void ColumnSums(const Frame& f, int32_t y, uint16_t* v) {
    const T* r0 = SourceRow<T>(f, y - 2);
    const T* r1 = SourceRow<T>(f, y - 1);
    const T* r2 = SourceRow<T>(f, y);
    const T* r3 = SourceRow<T>(f, y + 1);
    const int xpar = 1 ^ f.rowPhase ^ (y & 1) ^ f.columnPhase;
    const __m128i inX = ParityMask16(xpar);
    int32_t c = 0;
    if constexpr (sizeof(T) == 1) {
        const __m128i zero = _mm_setzero_si128();
        for (; c + 16 <= f.width; c += 16) {
            const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + c));
            const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + c));
            const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r2 + c));
            const __m128i a3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r3 + c));
            const __m128i lo = Select(inX, Times3Plus(_mm_unpacklo_epi8(a2, zero), _mm_unpacklo_epi8(a0, zero)),
                                      Times3Plus(_mm_unpacklo_epi8(a1, zero), _mm_unpacklo_epi8(a3, zero)));
            const __m128i hi = Select(inX, Times3Plus(_mm_unpackhi_epi8(a2, zero), _mm_unpackhi_epi8(a0, zero)),
                                      Times3Plus(_mm_unpackhi_epi8(a1, zero), _mm_unpackhi_epi8(a3, zero)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(v + c), lo);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(v + c + 8), hi);
        }
    } else {
        for (; c + 8 <= f.width; c += 8) {
            const __m128i a0 = Limit4095(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + c)));
            const __m128i a1 = Limit4095(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + c)));
            const __m128i a2 = Limit4095(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r2 + c)));
            const __m128i a3 = Limit4095(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r3 + c)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(v + c),
                             Select(inX, Times3Plus(a2, a0), Times3Plus(a1, a3)));
        }
    }
    using S = mosaic::SampleTraits<T>;
    for (; c < f.width; ++c) {
        v[c] = static_cast<uint16_t>((c & 1) == xpar ? 3 * S::Read(r2 + c) + S::Read(r0 + c)
                                                     : 3 * S::Read(r1 + c) + S::Read(r3 + c));
    }
}

// A and B of the 8 output pixels from x on, each as red or blue (see above).
LUMORA_SSE2_FUNCTION inline void RedBlue(const uint16_t* v, int32_t x, __m128i redIsA,
                                         __m128i& red, __m128i& blue) {
    const __m128i vm2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x - 2));
    const __m128i vm1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x - 1));
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x));
    const __m128i vp1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x + 1));
    const __m128i a = Times3Plus(v0, vm2);
    const __m128i b = Times3Plus(vm1, vp1);
    const __m128i swap = _mm_and_si128(_mm_xor_si128(a, b), redIsA);
    red = _mm_xor_si128(b, swap);
    blue = _mm_xor_si128(a, swap);
}

// Output pixels of row y from x = 2 on, 16 at a time; returns the first x not done.
template <int Channels>
LUMORA_SSE2_FUNCTION int32_t InteriorRow8Sse2(const Frame& f, int32_t y, const uint16_t* v) {
    const uint8_t* r1 = SourceRow<uint8_t>(f, y - 1);
    const uint8_t* r2 = SourceRow<uint8_t>(f, y);
    uint8_t* out = f.dest + y * f.destStride;
    const int p0 = f.rowPhase ^ (y & 1);
    const int xpar = 1 ^ p0 ^ f.columnPhase;
    const __m128i inX16 = ParityMask16(xpar);
    const __m128i redIsA = p0 ? inX16 : _mm_xor_si128(inX16, _mm_set1_epi32(-1));
    const __m128i inX8 = ParityMask8(xpar);
    const __m128i kR = _mm_set1_epi16(static_cast<short>(f.kR << 5));
    const __m128i kB = _mm_set1_epi16(static_cast<short>(f.kB << 5));
    const __m128i one = _mm_set1_epi8(1);
    const __m128i zero = _mm_setzero_si128();
    // 24-bit stores write 4 bytes past their 12; they must stay before the border columns.
    const int32_t last = (f.width - 2) - (Channels == 3 ? 18 : 16);
    int32_t x = 2;
    for (; x <= last; x += 16) {
        __m128i red0, blue0, red1, blue1;
        RedBlue(v, x, redIsA, red0, blue0);
        RedBlue(v, x + 8, redIsA, red1, blue1);
        const __m128i r8 = _mm_packus_epi16(_mm_mulhi_epu16(red0, kR), _mm_mulhi_epu16(red1, kR));
        const __m128i b8 = _mm_packus_epi16(_mm_mulhi_epu16(blue0, kB), _mm_mulhi_epu16(blue1, kB));
        // Green: s(x-1, y) + s(x, y-1) in X, else s(x, y) + s(x-1, y-1); floor of the mean.
        const __m128i o1 = Select(inX8, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r2 + x - 1)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(r2 + x)));
        const __m128i o2 = Select(inX8, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + x)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + x - 1)));
        const __m128i g8 = _mm_sub_epi8(_mm_avg_epu8(o1, o2), _mm_and_si128(_mm_xor_si128(o1, o2), one));

        const __m128i bgLo = _mm_unpacklo_epi8(b8, g8), bgHi = _mm_unpackhi_epi8(b8, g8);
        const __m128i rLo = _mm_unpacklo_epi8(r8, zero), rHi = _mm_unpackhi_epi8(r8, zero);
        const __m128i px[4] = {_mm_unpacklo_epi16(bgLo, rLo), _mm_unpackhi_epi16(bgLo, rLo),
                               _mm_unpacklo_epi16(bgHi, rHi), _mm_unpackhi_epi16(bgHi, rHi)};
        uint8_t* o = out + static_cast<intptr_t>(x) * Channels;
        if constexpr (Channels == 4) {
            const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
            for (int k = 0; k < 4; ++k) {
                __m128i* p = reinterpret_cast<__m128i*>(o + 16 * k);
                _mm_storeu_si128(p, _mm_or_si128(px[k], _mm_and_si128(_mm_loadu_si128(p), keep)));
            }
        } else {
            for (int k = 0; k < 4; ++k)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 12 * k), PackBgr32To24(px[k]));
        }
    }
    return x;
}

template <int Channels>
LUMORA_SSE2_FUNCTION int32_t InteriorRow16Sse2(const Frame& f, int32_t y, const uint16_t* v) {
    const uint16_t* r1 = SourceRow<uint16_t>(f, y - 1);
    const uint16_t* r2 = SourceRow<uint16_t>(f, y);
    uint8_t* out = f.dest + y * f.destStride;
    const int p0 = f.rowPhase ^ (y & 1);
    const int xpar = 1 ^ p0 ^ f.columnPhase;
    const __m128i inX = ParityMask16(xpar);
    const __m128i redIsA = p0 ? inX : _mm_xor_si128(inX, _mm_set1_epi32(-1));
    const __m128i kR = _mm_set1_epi16(static_cast<short>(f.kR << 5));
    const __m128i kB = _mm_set1_epi16(static_cast<short>(f.kB << 5));
    const __m128i zero = _mm_setzero_si128();
    const int32_t last = (f.width - 2) - (Channels == 3 ? 9 : 8);
    int32_t x = 2;
    for (; x <= last; x += 8) {
        __m128i red, blue;
        RedBlue(v, x, redIsA, red, blue);
        red = Limit4095(_mm_mulhi_epu16(red, kR));
        blue = Limit4095(_mm_mulhi_epu16(blue, kB));
        const __m128i o1 = Select(inX, LoadLimited(r2 + x - 1), LoadLimited(r2 + x));
        const __m128i o2 = Select(inX, LoadLimited(r1 + x), LoadLimited(r1 + x - 1));
        const __m128i green = _mm_srli_epi16(_mm_add_epi16(o1, o2), 1);

        const __m128i bgLo = _mm_unpacklo_epi16(blue, green), bgHi = _mm_unpackhi_epi16(blue, green);
        const __m128i rLo = _mm_unpacklo_epi16(red, zero), rHi = _mm_unpackhi_epi16(red, zero);
        const __m128i px[4] = {_mm_unpacklo_epi32(bgLo, rLo), _mm_unpackhi_epi32(bgLo, rLo),
                               _mm_unpacklo_epi32(bgHi, rHi), _mm_unpackhi_epi32(bgHi, rHi)};
        uint8_t* o = out + static_cast<intptr_t>(x) * Channels * 2;
        if constexpr (Channels == 4) {
            const __m128i keep = _mm_set_epi32(static_cast<int>(0xFFFF0000u), 0, static_cast<int>(0xFFFF0000u), 0);
            for (int k = 0; k < 4; ++k) {
                __m128i* p = reinterpret_cast<__m128i*>(o + 16 * k);
                _mm_storeu_si128(p, _mm_or_si128(px[k], _mm_and_si128(_mm_loadu_si128(p), keep)));
            }
        } else {
            for (int k = 0; k < 4; ++k)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 12 * k), PackBgr64To48(px[k]));
        }
    }
    return x;
}

template <typename T, int Channels>
int32_t InteriorRowSse2(const Frame& f, int32_t y, uint16_t* v) {
    ColumnSums<T>(f, y, v);
    if constexpr (sizeof(T) == 1)
        return InteriorRow8Sse2<Channels>(f, y, v);
    else
        return InteriorRow16Sse2<Channels>(f, y, v);
}
#endif

template <typename T, int Channels>
void Interior(const Frame& f) {
    if (f.width <= 4 || f.height <= 4) return;
    std::unique_ptr<uint16_t[]> sums;
    if (Sse2RoutinesEnabled()) sums.reset(new (std::nothrow) uint16_t[f.width]);
    for (int32_t y = 2; y < f.height - 2; ++y) {
        int32_t x = 2;
#if LUMORA_HAVE_SSE2
        if (sums) x = InteriorRowSse2<T, Channels>(f, y, sums.get());
#endif
        InteriorRowPlain<T, Channels>(f, y, x, f.width - 2);
    }
}

template <typename T, int Channels>
void Border(const Frame& f) {
    const bool hasInterior = f.width > 4 && f.height > 4;
    for (int32_t y = 0; y < f.height; ++y) {
        uint8_t* out = f.dest + y * f.destStride;
        auto put = [&](int32_t x) {
            int b, g, r;
            mosaic::EdgePixel<T>(f, x, y, b, g, r);
            mosaic::StorePixel<T>(out + static_cast<intptr_t>(x) * Channels * sizeof(T), b, g, r);
        };
        if (hasInterior && y >= 2 && y < f.height - 2) {
            put(0);
            put(1);
            put(f.width - 2);
            put(f.width - 1);
        } else {
            for (int32_t x = 0; x < f.width; ++x) put(x);
        }
    }
}

using Pass = void (*)(const Frame&);


int32_t Run(Pass three, Pass four, int sampleBytes, uint8_t* destBits, const uint8_t* sourceBits,
            const Rect* r, int32_t destX, int32_t destY, uint16_t destBpp, uint16_t sourceBpp,
            int32_t destStride, int32_t sourceStride, void* value1) {
    if (destBits == nullptr || sourceBits == nullptr || r == nullptr) return 0;
    if (sourceBpp != sampleBytes || (destBpp != 3 * sampleBytes && destBpp != 4 * sampleBytes))
        return 0;
    const Frame f = mosaic::MakeFrame(destBits, sourceBits, r, destX, destY, destBpp, sourceBpp,
                                      destStride, sourceStride, value1);
    (destBpp == 3 * sampleBytes ? three : four)(f);
    return 1;
}

}  // namespace

int32_t DemosaicInterior8(uint8_t* destBits, const uint8_t* sourceBits, const Rect* sourceRect,
                          int32_t destX, int32_t destY, uint16_t destBytesPerPixel,
                          uint16_t sourceBytesPerPixel, int32_t destStride, int32_t sourceStride,
                          void* value1, void*) {
    return Run(Interior<uint8_t, 3>, Interior<uint8_t, 4>, 1, destBits, sourceBits, sourceRect,
               destX, destY, destBytesPerPixel, sourceBytesPerPixel, destStride, sourceStride,
               value1);
}

int32_t DemosaicBorder8(uint8_t* destBits, const uint8_t* sourceBits, const Rect* sourceRect,
                        int32_t destX, int32_t destY, uint16_t destBytesPerPixel,
                        uint16_t sourceBytesPerPixel, int32_t destStride, int32_t sourceStride,
                        void* value1, void*) {
    return Run(Border<uint8_t, 3>, Border<uint8_t, 4>, 1, destBits, sourceBits, sourceRect, destX,
               destY, destBytesPerPixel, sourceBytesPerPixel, destStride, sourceStride, value1);
}

int32_t DemosaicInterior16(uint8_t* destBits, const uint8_t* sourceBits, const Rect* sourceRect,
                           int32_t destX, int32_t destY, uint16_t destBytesPerPixel,
                           uint16_t sourceBytesPerPixel, int32_t destStride,
                           int32_t sourceStride, void* value1, void*) {
    return Run(Interior<uint16_t, 3>, Interior<uint16_t, 4>, 2, destBits, sourceBits, sourceRect,
               destX, destY, destBytesPerPixel, sourceBytesPerPixel, destStride, sourceStride,
               value1);
}

int32_t DemosaicBorder16(uint8_t* destBits, const uint8_t* sourceBits, const Rect* sourceRect,
                         int32_t destX, int32_t destY, uint16_t destBytesPerPixel,
                         uint16_t sourceBytesPerPixel, int32_t destStride, int32_t sourceStride,
                         void* value1, void*) {
    return Run(Border<uint16_t, 3>, Border<uint16_t, 4>, 2, destBits, sourceBits, sourceRect,
               destX, destY, destBytesPerPixel, sourceBytesPerPixel, destStride, sourceStride,
               value1);
}

}  // namespace lumora
