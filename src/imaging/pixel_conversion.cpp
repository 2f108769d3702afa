#include "imaging/pixel_conversion.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/vector_support.h"

namespace lumora {

namespace {

inline int Reduce(uint16_t v) { return std::min<int>(v, 4095) >> 4; }
inline uint16_t Widen(uint16_t v) { return static_cast<uint16_t>(std::min<int>(v, 4095) << 4); }

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

// The rectangle as rows: source row pointer, destination row pointer, width in pixels.
struct Rows {
    const uint8_t* source;
    uint8_t* dest;
    intptr_t sourceStride;
    intptr_t destStride;
    int32_t width;
    int32_t height;
    uint16_t sourceBpp;
    uint16_t destBpp;
};

bool MakeRows(uint8_t* destBits, const uint8_t* sourceBits, const Rect* r, int32_t destX,
              int32_t destY, uint16_t destBpp, uint16_t sourceBpp, int32_t destStride,
              int32_t sourceStride, Rows& out) {
    if (destBits == nullptr || sourceBits == nullptr || r == nullptr) return false;
    out.source = sourceBits + static_cast<intptr_t>(r->top) * sourceStride +
                 static_cast<intptr_t>(r->left) * sourceBpp;
    out.dest = destBits + static_cast<intptr_t>(destY) * destStride +
               static_cast<intptr_t>(destX) * destBpp;
    out.sourceStride = sourceStride;
    out.destStride = destStride;
    out.width = std::max(0, r->right - r->left);
    out.height = std::max(0, r->bottom - r->top);
    out.sourceBpp = sourceBpp;
    out.destBpp = destBpp;
    return true;
}

// Calls fn(dest row, source row) for every row of the rectangle, flipped when asked.
template <typename RowFn>
void EachRow(const Rows& rows, bool flipped, RowFn fn) {
    for (int32_t i = 0; i < rows.height; ++i) {
        const int32_t sourceRow = flipped ? rows.height - 1 - i : i;
        fn(rows.dest + i * rows.destStride, rows.source + sourceRow * rows.sourceStride);
    }
}

#define LUMORA_ROWS_OR_ZERO(rows)                                                             \
    Rows rows;                                                                                \
    if (!MakeRows(destBits, sourceBits, sourceRect, destX, destY, destBytesPerPixel,          \
                  sourceBytesPerPixel, destStride, sourceStride, rows))                       \
        return 0;                                                                             \
    (void)value1;                                                                             \
    (void)value2

#if LUMORA_HAVE_SSE2
// count samples of 16 bits to bytes of value / 16, 16 at a time; returns how many were done.
LUMORA_SSE2_FUNCTION int32_t ReduceSamplesSse2(uint8_t* d, const uint8_t* s, int32_t count) {
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        // v >> 4 is at most 4095, so the signed saturating pack limits it to 255.
        const __m128i a = _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * i)), 4);
        const __m128i b = _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * i + 16)), 4);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(a, b));
    }
    return i;
}
#endif

void ReduceSamples(uint8_t* d, const uint8_t* s, int32_t count, bool vector) {
    int32_t i = 0;
#if LUMORA_HAVE_SSE2
    if (vector) i = ReduceSamplesSse2(d, s, count);
#else
    (void)vector;
#endif
    for (; i < count; ++i) d[i] = static_cast<uint8_t>(Reduce(Load16(s + 2 * i)));
}

int32_t Gray16To8Rows(const Rows& rows, bool flipped) {
    if (rows.sourceBpp != 2 || rows.destBpp != 1) return 0;
    const bool vector = Sse2RoutinesEnabled();
    EachRow(rows, flipped, [&](uint8_t* d, const uint8_t* s) { ReduceSamples(d, s, rows.width, vector); });
    return 1;
}

int32_t Colour48To24Rows(const Rows& rows, bool flipped) {
    if ((rows.sourceBpp != 6 && rows.sourceBpp != 8) || (rows.destBpp != 3 && rows.destBpp != 4))
        return 0;
    if (rows.sourceBpp == 6 && rows.destBpp == 3) {
        // Channel order is kept, so the row is one run of samples.
        const bool vector = Sse2RoutinesEnabled();
        EachRow(rows, flipped, [&](uint8_t* d, const uint8_t* s) { ReduceSamples(d, s, 3 * rows.width, vector); });
        return 1;
    }
    EachRow(rows, flipped, [&](uint8_t* d, const uint8_t* s) {
        for (int32_t x = 0; x < rows.width; ++x, d += rows.destBpp, s += rows.sourceBpp)
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(Reduce(Load16(s + 2 * c)));
    });
    return 1;
}

// Pixels from..width-1 of one row of blue, green, red (optionally exchanged).
template <int SourceBpp, int DestBpp, bool Swap>
void CopyBgrRow(uint8_t* d, const uint8_t* s, int32_t from, int32_t width) {
    for (int32_t x = from; x < width; ++x) {
        const uint8_t b = s[SourceBpp * x], g = s[SourceBpp * x + 1], r = s[SourceBpp * x + 2];
        d[DestBpp * x] = Swap ? r : b;
        d[DestBpp * x + 1] = g;
        d[DestBpp * x + 2] = Swap ? b : r;
    }
}

#if LUMORA_HAVE_SSE2
// Exchanges red and blue of 3-byte pixels five at a time: each step reads and writes 16 bytes,
// the last of which (the first byte of the next pixel) it writes back unchanged before the next
// step rewrites it. Works in place too. Returns the number of pixels done.
LUMORA_SSSE3_FUNCTION int32_t SwapRedBlueRowSsse3(uint8_t* d, const uint8_t* s, int32_t width) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int32_t x = 0;
    for (; x + 6 <= width; x += 5) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * x), _mm_shuffle_epi8(v, order));
    }
    return x;
}
#endif

template <int SourceBpp, int DestBpp>
void CopyBgrRowsOf(const Rows& rows, bool flipped, bool swap) {
#if LUMORA_HAVE_SSE2
    const bool vector = SourceBpp == 3 && DestBpp == 3 && swap && Ssse3RoutinesEnabled();
#else
    const bool vector = false;
#endif
    EachRow(rows, flipped, [&](uint8_t* d, const uint8_t* s) {
        if (!swap) {
            CopyBgrRow<SourceBpp, DestBpp, false>(d, s, 0, rows.width);
            return;
        }
        int32_t done = 0;
#if LUMORA_HAVE_SSE2
        if (vector) done = SwapRedBlueRowSsse3(d, s, rows.width);
#endif
        CopyBgrRow<SourceBpp, DestBpp, true>(d, s, done, rows.width);
    });
}

int32_t CopyBgrRows(const Rows& rows, bool flipped, bool swap) {
    if (rows.sourceBpp < 3 || rows.sourceBpp > 4 || rows.destBpp < 3 || rows.destBpp > 4) return 0;
    if (rows.sourceBpp == 3) {
        rows.destBpp == 3 ? CopyBgrRowsOf<3, 3>(rows, flipped, swap) : CopyBgrRowsOf<3, 4>(rows, flipped, swap);
    } else {
        rows.destBpp == 3 ? CopyBgrRowsOf<4, 3>(rows, flipped, swap) : CopyBgrRowsOf<4, 4>(rows, flipped, swap);
    }
    return 1;
}

// Widened blue, green, red (optionally exchanged) and, for 4 channels out, a fourth of 65535.
int32_t WidenColourRows(const Rows& rows, int destChannels, bool swap) {
    if ((rows.sourceBpp != 6 && rows.sourceBpp != 8) || rows.destBpp != 2 * destChannels) return 0;
    EachRow(rows, false, [&](uint8_t* d, const uint8_t* s) {
        for (int32_t x = 0; x < rows.width; ++x, d += rows.destBpp, s += rows.sourceBpp) {
            const uint16_t b = Widen(Load16(s)), g = Widen(Load16(s + 2)), r = Widen(Load16(s + 4));
            Store16(d, swap ? r : b);
            Store16(d + 2, g);
            Store16(d + 4, swap ? b : r);
            if (destChannels == 4) Store16(d + 6, 65535);
        }
    });
    return 1;
}

int32_t UnpackRows(uint8_t* destBits, const Rect* r, int32_t destX, int32_t destY,
                   uint16_t destBpp, uint16_t sourceBpp, int32_t destStride, int sampleBytes) {
    if (destBits == nullptr || r == nullptr || destBpp != sampleBytes || sourceBpp != sampleBytes) return 0;
    const int32_t width = std::max(0, r->right - r->left);
    const int32_t height = std::max(0, r->bottom - r->top);
    const intptr_t packed = static_cast<intptr_t>(width) * sampleBytes;
    if (packed == destStride || packed > destStride) return 1;
    uint8_t* base = destBits + static_cast<intptr_t>(destY) * destStride +
                    static_cast<intptr_t>(destX) * sampleBytes;
    // Rows move to higher addresses, so working from the last one never overwrites a row that
    // is still to be moved; memmove copies within a row as if from its last byte.
    for (int32_t k = height - 1; k >= 1; --k)
        std::memmove(base + k * static_cast<intptr_t>(destStride), base + k * packed, static_cast<size_t>(packed));
    return 1;
}

template <typename T>
int32_t RegionMean(const Rows& rows) {
    if (rows.sourceBpp != sizeof(T)) return 0;
    if (rows.width == 0 || rows.height == 0) return 0;
    uint64_t sum = 0;
    for (int32_t y = 0; y < rows.height; ++y) {
        const uint8_t* s = rows.source + y * rows.sourceStride;
        if constexpr (sizeof(T) == 1) {
            for (int32_t x = 0; x < rows.width; ++x) sum += s[x];
        } else {
            for (int32_t x = 0; x < rows.width; ++x) sum += static_cast<uint64_t>(Reduce(Load16(s + 2 * x)));
        }
    }
    return static_cast<int32_t>(sum / (static_cast<uint64_t>(rows.width) * static_cast<uint64_t>(rows.height)));
}

// Rounds to a 32-bit float through memory, so that 32-bit x87 builds get the same values as
// SSE builds.
float ToFloat(double v) {
    volatile float f = static_cast<float>(v);
    return f;
}

// Source index for each destination index: min(trunc(i * ratio), n - 1), where only the
// ratio n / count is rounded to a float. The product itself is not rounded: a float product
// can round up to the next whole number (3 * 581.3333f is 1743.9999..., not 1744), and the
// product of a float and an index below 2^29 is exact in double.
std::unique_ptr<int32_t[]> NearestIndexes(int32_t count, int32_t n) {
    std::unique_ptr<int32_t[]> table(new (std::nothrow) int32_t[static_cast<size_t>(count)]);
    if (!table) return table;
    const double ratio = ToFloat(static_cast<double>(n) / static_cast<double>(count));
    for (int32_t i = 0; i < count; ++i) {
        const double at = static_cast<double>(i) * ratio;
        table[i] = static_cast<int32_t>(std::min<double>(at, n - 1));
    }
    return table;
}

int32_t ScalePreview(uint8_t* destBits, const uint8_t* sourceBits, int32_t destWidth,
                     int32_t destHeight, int32_t sourceWidth, int32_t sourceHeight,
                     uint16_t destBpp, uint16_t sourceBpp, int32_t destStride,
                     int32_t sourceStride, int bytes) {
    if (destBits == nullptr || sourceBits == nullptr || destWidth <= 0 || destHeight <= 0 ||
        sourceWidth <= 0 || sourceHeight <= 0)
        return 0;
    if (bytes == 1 ? (destBpp != 1 || sourceBpp != 1)
                   : (destBpp < 3 || destBpp > 4 || sourceBpp < 3 || sourceBpp > 4))
        return 0;
    const std::unique_ptr<int32_t[]> cols = NearestIndexes(destWidth, sourceWidth);
    const std::unique_ptr<int32_t[]> rows = NearestIndexes(destHeight, sourceHeight);
    if (!cols || !rows) return 0;
    for (int32_t i = 0; i < destHeight; ++i) {
        const uint8_t* s = sourceBits + static_cast<intptr_t>(sourceHeight - 1 - rows[i]) * sourceStride;
        uint8_t* d = destBits + static_cast<intptr_t>(i) * destStride;
        if (bytes == 1) {
            for (int32_t j = 0; j < destWidth; ++j) d[j] = s[cols[j]];
        } else {
            for (int32_t j = 0; j < destWidth; ++j)
                std::memcpy(d + static_cast<intptr_t>(j) * destBpp, s + static_cast<intptr_t>(cols[j]) * sourceBpp, 3);
        }
    }
    return 1;
}

}  // namespace

LUMORA_PIXEL_ROUTINE(UnpackRows8) {
    (void)sourceBits, (void)sourceStride, (void)value1, (void)value2;
    return UnpackRows(destBits, sourceRect, destX, destY, destBytesPerPixel, sourceBytesPerPixel, destStride, 1);
}

LUMORA_PIXEL_ROUTINE(UnpackRows16) {
    (void)sourceBits, (void)sourceStride, (void)value1, (void)value2;
    return UnpackRows(destBits, sourceRect, destX, destY, destBytesPerPixel, sourceBytesPerPixel, destStride, 2);
}

LUMORA_PIXEL_ROUTINE(ColourToGray) {
    LUMORA_ROWS_OR_ZERO(rows);
    if ((rows.sourceBpp != 3 && rows.sourceBpp != 4) || rows.destBpp != 1) return 0;
    EachRow(rows, false, [&](uint8_t* d, const uint8_t* s) {
        for (int32_t x = 0; x < rows.width; ++x, s += rows.sourceBpp)
            d[x] = static_cast<uint8_t>((59 * s[1] + 30 * s[2] + 11 * s[0]) / 100);
    });
    return 1;
}

LUMORA_PIXEL_ROUTINE(RegionMean8) {
    LUMORA_ROWS_OR_ZERO(rows);
    return RegionMean<uint8_t>(rows);
}

LUMORA_PIXEL_ROUTINE(RegionMean16) {
    LUMORA_ROWS_OR_ZERO(rows);
    return RegionMean<uint16_t>(rows);
}

LUMORA_PIXEL_ROUTINE(Gray16To8) {
    LUMORA_ROWS_OR_ZERO(rows);
    return Gray16To8Rows(rows, false);
}

LUMORA_PIXEL_ROUTINE(Gray8To24) {
    LUMORA_ROWS_OR_ZERO(rows);
    if (rows.sourceBpp != 1 || (rows.destBpp != 3 && rows.destBpp != 4)) return 0;
    EachRow(rows, false, [&](uint8_t* d, const uint8_t* s) {
        for (int32_t x = 0; x < rows.width; ++x, d += rows.destBpp) d[0] = d[1] = d[2] = s[x];
    });
    return 1;
}

LUMORA_PIXEL_ROUTINE(Gray16To8Flipped) {
    LUMORA_ROWS_OR_ZERO(rows);
    return Gray16To8Rows(rows, true);
}

LUMORA_PIXEL_ROUTINE(Colour48To24) {
    LUMORA_ROWS_OR_ZERO(rows);
    return Colour48To24Rows(rows, false);
}

LUMORA_PIXEL_ROUTINE(Colour48To24Flipped) {
    LUMORA_ROWS_OR_ZERO(rows);
    return Colour48To24Rows(rows, true);
}

LUMORA_PIXEL_ROUTINE(Colour32To24) {
    LUMORA_ROWS_OR_ZERO(rows);
    return CopyBgrRows(rows, false, false);
}

LUMORA_PIXEL_ROUTINE(Colour24Flipped) {
    LUMORA_ROWS_OR_ZERO(rows);
    return CopyBgrRows(rows, true, false);
}

LUMORA_PIXEL_ROUTINE(SwapRedBlue24) {
    LUMORA_ROWS_OR_ZERO(rows);
    return CopyBgrRows(rows, false, true);
}

LUMORA_PIXEL_ROUTINE(Opaque32) {
    LUMORA_ROWS_OR_ZERO(rows);
    if (rows.sourceBpp != 4 || rows.destBpp != 4) return 0;
    EachRow(rows, false, [&](uint8_t* d, const uint8_t* s) {
        for (int32_t x = 0; x < rows.width; ++x, d += 4, s += 4) {
            const uint8_t fourth = s[3];
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = static_cast<uint8_t>(255 - fourth);
        }
    });
    return 1;
}

LUMORA_PIXEL_ROUTINE(Gray16Widen) {
    LUMORA_ROWS_OR_ZERO(rows);
    if (rows.sourceBpp != 2 || rows.destBpp != 2) return 0;
    EachRow(rows, false, [&](uint8_t* d, const uint8_t* s) {
        for (int32_t x = 0; x < rows.width; ++x) Store16(d + 2 * x, Widen(Load16(s + 2 * x)));
    });
    return 1;
}

LUMORA_PIXEL_ROUTINE(Colour48Widen) {
    LUMORA_ROWS_OR_ZERO(rows);
    return WidenColourRows(rows, 3, false);
}

LUMORA_PIXEL_ROUTINE(Colour64Widen) {
    LUMORA_ROWS_OR_ZERO(rows);
    return WidenColourRows(rows, 4, false);
}

LUMORA_PIXEL_ROUTINE(SwapRedBlue48) {
    LUMORA_ROWS_OR_ZERO(rows);
    return WidenColourRows(rows, 3, true);
}

LUMORA_PIXEL_ROUTINE(SwapRedBlue64) {
    LUMORA_ROWS_OR_ZERO(rows);
    return WidenColourRows(rows, 4, true);
}

LUMORA_PIXEL_ROUTINE(CopyRowsFlipped) {
    LUMORA_ROWS_OR_ZERO(rows);
    if (rows.sourceBpp != rows.destBpp || rows.sourceBpp == 0) return 0;
    // A rectangle that starts at the rows' beginnings copies whole rows, padding included.
    const bool wholeRows = sourceRect->left == 0 && destX == 0;
    const size_t bytes = wholeRows ? static_cast<size_t>(std::min(rows.sourceStride, rows.destStride))
                                   : static_cast<size_t>(rows.width) * rows.sourceBpp;
    EachRow(rows, true, [&](uint8_t* d, const uint8_t* s) { std::memcpy(d, s, bytes); });
    return 1;
}

LUMORA_SCALED_PIXEL_ROUTINE(ScalePreview8) {
    (void)destRect, (void)sourceRect, (void)value1, (void)value2;
    return ScalePreview(destBits, sourceBits, destWidth, destHeight, sourceWidth, sourceHeight,
                        destBytesPerPixel, sourceBytesPerPixel, destStride, sourceStride, 1);
}

LUMORA_SCALED_PIXEL_ROUTINE(ScalePreview24) {
    (void)destRect, (void)sourceRect, (void)value1, (void)value2;
    return ScalePreview(destBits, sourceBits, destWidth, destHeight, sourceWidth, sourceHeight,
                        destBytesPerPixel, sourceBytesPerPixel, destStride, sourceStride, 3);
}

}  // namespace lumora
