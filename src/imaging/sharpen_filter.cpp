#include "imaging/sharpen_filter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/filter_area.h"
#include "imaging/image_buffer.h"
#include "imaging/filter_vectors.h"

namespace lumora {
namespace {

// Sample access for the two widths.
inline int32_t Load(const uint8_t* row, int32_t i, uint8_t) { return row[i]; }
inline int32_t Load(const uint8_t* row, int32_t i, uint16_t) {
    uint16_t v;
    std::memcpy(&v, row + 2 * i, 2);
    return v;
}
inline void Store(uint8_t* row, int32_t i, int32_t v, uint8_t) { row[i] = static_cast<uint8_t>(v); }
inline void Store(uint8_t* row, int32_t i, int32_t v, uint16_t) {
    const uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(row + 2 * i, &w, 2);
}

// The corrected sample: v + trunc(s x (v - blur) / 10), limited to 0..maxValue.
template <class Wide>
inline Wide Corrected(Wide v, Wide blur, Wide s, Wide maxValue) {
    const Wide out = static_cast<Wide>(v + static_cast<Wide>(s * (v - blur)) / 10);
    return std::clamp<Wide>(out, 0, maxValue);
}

#if LUMORA_HAVE_SSE2
// Eight 8-bit samples: columns holds the four-row sums of the row's samples (16 bits), v the
// samples themselves widened to 16 bits.
LUMORA_SSE2_FUNCTION inline __m128i LoadColumns(const uint16_t* columns, int32_t k) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns + k));
}

LUMORA_SSE2_FUNCTION inline __m128i CorrectedLanes(const uint16_t* columns, int32_t i,
                                                   int32_t step, __m128i v, __m128i strength) {
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(LoadColumns(columns, i - 2 * step), LoadColumns(columns, i - step)),
                      _mm_add_epi16(LoadColumns(columns, i), LoadColumns(columns, i + step)));
    const __m128i blur = _mm_srli_epi16(sum, 4);
    const __m128i product = _mm_mullo_epi16(_mm_sub_epi16(v, blur), strength);  // |.| <= 7650
    // trunc(product / 10): floor(|p| x 6554 / 65536) equals floor(|p| / 10) for |p| <= 7650.
    const __m128i sign = _mm_srai_epi16(product, 15);
    const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(product, sign), sign);
    const __m128i quotient = _mm_mulhi_epi16(magnitude, _mm_set1_epi16(6554));
    return _mm_add_epi16(v, _mm_sub_epi16(_mm_xor_si128(quotient, sign), sign));
}

// Samples first.. of one row into out, 16 at a time; returns the first sample not done.
LUMORA_SSE2_FUNCTION int32_t SharpenRow8(const uint16_t* columns, const uint8_t* row,
                                         uint8_t* out, int32_t first, int32_t last, int32_t step,
                                         int32_t strength) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i s = _mm_set1_epi16(static_cast<int16_t>(strength));
    int32_t i = first;
    for (; i + 16 <= last; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i lo = CorrectedLanes(columns, i, step, _mm_unpacklo_epi8(v, zero), s);
        const __m128i hi = CorrectedLanes(columns, i + 8, step, _mm_unpackhi_epi8(v, zero), s);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
    return i;
}
#endif

#if LUMORA_HAVE_SSE2
// Sixteen bytes widened to 16 bits; sixteen 16-bit values.
LUMORA_AVX2_FUNCTION inline __m256i Widen16(const uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

LUMORA_AVX2_FUNCTION inline __m256i Load16(const uint16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The two steps of a row with AVX2, 16 samples at a time: the four-row sums of samples
// 0..count-1 (returns the first not done), and the corrected samples from first on.
LUMORA_AVX2_FUNCTION int32_t ColumnSums8Avx2(const uint8_t* r0, const uint8_t* r1,
                                             const uint8_t* r2, const uint8_t* r3,
                                             uint16_t* columns, int32_t count) {
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i sum = _mm256_add_epi16(_mm256_add_epi16(Widen16(r0 + i), Widen16(r1 + i)),
                                             _mm256_add_epi16(Widen16(r2 + i), Widen16(r3 + i)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(columns + i), sum);
    }
    return i;
}

LUMORA_AVX2_FUNCTION int32_t SharpenRow8Avx2(const uint16_t* columns, const uint8_t* row,
                                             uint8_t* out, int32_t first, int32_t last,
                                             int32_t step, int32_t strength) {
    const __m256i s = _mm256_set1_epi16(static_cast<int16_t>(strength));
    const __m256i tenth = _mm256_set1_epi16(6554);
    int32_t i = first;
    for (; i + 16 <= last; i += 16) {
        const __m256i v = Widen16(row + i);
        const __m256i sum =
            _mm256_add_epi16(_mm256_add_epi16(Load16(columns + i - 2 * step), Load16(columns + i - step)),
                             _mm256_add_epi16(Load16(columns + i), Load16(columns + i + step)));
        const __m256i product = _mm256_mullo_epi16(_mm256_sub_epi16(v, _mm256_srli_epi16(sum, 4)), s);
        const __m256i sign = _mm256_srai_epi16(product, 15);
        const __m256i magnitude = _mm256_sub_epi16(_mm256_xor_si256(product, sign), sign);
        const __m256i quotient = _mm256_mulhi_epi16(magnitude, tenth);
        const __m256i result = _mm256_add_epi16(v, _mm256_sub_epi16(_mm256_xor_si256(quotient, sign), sign));
        const __m256i bytes = _mm256_packus_epi16(result, result);  // in-lane: quarters 0 and 2
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, 0x08)));
    }
    return i;
}
#endif

// Where the source rows of an area are: row k at base + k * stride, or in a ring of rows (memory
// row r of the picture in row r % ringRows, top the memory row of the area's first row).
struct SourceRows {
    const uint8_t* base;
    intptr_t stride;
    int32_t top;
    int32_t ringRows;
    const uint8_t* Row(int32_t k) const { return base + static_cast<intptr_t>((top + k) % ringRows) * stride; }
};

// Sample is uint8_t or uint16_t; Sum holds four samples (the column sums), Wide the sum of
// sixteen and the corrected value before limiting.
template <class Sample, class Sum, class Wide>
int32_t SharpenArea(const FilterArea& a, const SourceRows& source, int32_t strength, int32_t maxValue) {
    const int32_t srcStep = a.srcBytesPerPixel / static_cast<int32_t>(sizeof(Sample));
    const int32_t dstStep = a.dstBytesPerPixel / static_cast<int32_t>(sizeof(Sample));
    if (!HasSampleFormat(a, static_cast<int32_t>(sizeof(Sample)))) return 0;
    if (a.width < 5 || a.height < 5) return 1;
    const Wide s = static_cast<Wide>(std::clamp(strength, 0, 30));
    const int32_t channels = FilterChannels(srcStep);
    const int32_t rowSamples = a.width * srcStep;
    [[maybe_unused]] const bool vector = Sse2RoutinesEnabled();
    [[maybe_unused]] const bool wide = Avx2RoutinesEnabled();
    // Interior samples of a row: columns 2..width-3, every sample of those pixels.
    const int32_t first = 2 * srcStep;
    const int32_t last = (a.width - 2) * srcStep;
    // Rows written straight when every sample of a pixel is a channel.
    const bool direct = channels == srcStep;
    std::vector<Sum> columns(static_cast<size_t>(rowSamples));
    std::vector<Sample> result(direct ? 0 : static_cast<size_t>(rowSamples));
    const Sample tag{};
    for (int32_t y = 2; y < a.height - 2; ++y) {
        const uint8_t* r0 = source.Row(y - 2);
        const uint8_t* r1 = source.Row(y - 1);
        const uint8_t* r2 = source.Row(y);
        const uint8_t* r3 = source.Row(y + 1);
        // Vertical sums of the window's four rows, for every sample of the row.
        int32_t done = 0;
#if LUMORA_HAVE_SSE2
        if constexpr (sizeof(Sample) == 1) {
            if (wide) done = ColumnSums8Avx2(r0, r1, r2, r3, columns.data(), rowSamples);
        }
#endif
        for (int32_t i = done; i < rowSamples; ++i) {
            columns[i] = static_cast<Sum>(Load(r0, i, tag) + Load(r1, i, tag) + Load(r2, i, tag) +
                                          Load(r3, i, tag));
        }
        uint8_t* d = a.dst + static_cast<intptr_t>(y) * a.dstStride;
        uint8_t* out = direct ? d : reinterpret_cast<uint8_t*>(result.data());
        // Horizontal sums over columns x-2..x+1 (same channel: steps of one pixel).
        int32_t i = first;
#if LUMORA_HAVE_SSE2
        if constexpr (sizeof(Sample) == 1) {
            if (wide) i = SharpenRow8Avx2(columns.data(), r2, out, i, last, srcStep, s);
            if (vector) i = SharpenRow8(columns.data(), r2, out, i, last, srcStep, s);
        }
#endif
        const Sum* c = columns.data();
        for (; i < last; ++i) {
            const Wide blur = static_cast<Wide>(
                (static_cast<Wide>(c[i - 2 * srcStep]) + c[i - srcStep] + c[i] + c[i + srcStep]) >> 4);
            Store(out, i, Corrected<Wide>(static_cast<Wide>(Load(r2, i, tag)), blur, s,
                                          static_cast<Wide>(maxValue)), tag);
        }
        if (!direct) {
            for (int32_t x = 2; x < a.width - 2; ++x) {
                for (int32_t ch = 0; ch < channels; ++ch) {
                    Store(d, x * dstStep + ch, Load(out, x * srcStep + ch, tag), tag);
                }
            }
        }
    }
    return 1;
}

int32_t SharpenArea(bool wide, const FilterArea& area, const SourceRows& source, int32_t strength) {
    if (wide) return SharpenArea<uint16_t, uint32_t, int32_t>(area, source, strength, kSampleMax16);
    return SharpenArea<uint8_t, uint16_t, int16_t>(area, source, strength, 255);
}

int32_t RunSharpen(bool wide, uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect,
                   int32_t x, int32_t y, int32_t dstBytesPerPixel, int32_t srcBytesPerPixel,
                   int32_t dstStride, int32_t srcStride, void* value1) {
    const int32_t* strength = RecordOf<const int32_t>(value1);
    FilterArea area;
    if (strength == nullptr ||
        !ResolveArea(area, dstBits, srcBits, rect, x, y, dstBytesPerPixel, srcBytesPerPixel,
                     dstStride, srcStride) ||
        dstBits == srcBits) {
        return 0;
    }
    return SharpenArea(wide, area, SourceRows{area.src, area.srcStride, 0, area.height}, *strength);
}

}  // namespace

int32_t Sharpen8(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x, int32_t y,
                 uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel, int32_t dstStride,
                 int32_t srcStride, void* value1, void*) {
    return RunSharpen(false, dstBits, srcBits, rect, x, y, dstBytesPerPixel, srcBytesPerPixel,
                      dstStride, srcStride, value1);
}

int32_t Sharpen16(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x, int32_t y,
                  uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel, int32_t dstStride,
                  int32_t srcStride, void* value1, void*) {
    return RunSharpen(true, dstBits, srcBits, rect, x, y, dstBytesPerPixel, srcBytesPerPixel,
                      dstStride, srcStride, value1);
}

bool SharpenSourceFits(const ImageBuffer& picture, const ImageBuffer& sharpenSource) {
    return picture.IsUsable() && sharpenSource.IsUsable() && picture.Width() == sharpenSource.Width() &&
           picture.Height() == sharpenSource.Height() && picture.BitCount() == sharpenSource.BitCount() &&
           picture.Stride() == sharpenSource.Stride();
}

namespace {

// Rows of the copy for sharpening: ringRows as a ring, else (0) the whole picture's.
int32_t CopyRows(int32_t ringRows, int32_t height) { return ringRows > 0 ? std::min(ringRows, height) : height; }

}  // namespace

bool SharpenWritesEveryInnerPixel(const ImageBuffer& picture, const ImageBuffer& sharpenSource) {
    // Every sample of a pixel a channel, and a picture large enough for the sharpening to run.
    const int32_t bytes = picture.BytesPerPixel();
    return SharpenSourceFits(picture, sharpenSource) && picture.Bits() != sharpenSource.Bits() &&
           (bytes == 3 || bytes == 6) && picture.Width() >= 5 && picture.Height() >= 5;
}

void CopySharpenRows(ImageBuffer& picture, ImageBuffer& sharpenSource, int32_t first, int32_t end,
                     int32_t ringRows, PixelRoutine routine, void* value1) {
    first = std::max(first, 0);
    end = std::min(end, picture.Height());
    if (!SharpenSourceFits(picture, sharpenSource) || first >= end) return;
    if (routine != nullptr && !SharpenWritesEveryInnerPixel(picture, sharpenSource)) return;
    const int32_t height = picture.Height();
    const int32_t ring = CopyRows(ringRows, height);
    const size_t stride = static_cast<size_t>(picture.Stride());
    for (int32_t y = first; y < end;) {
        // The rows up to the ring's end at once.
        const int32_t slot = y % ring;
        const int32_t rows = std::min(end - y, ring - slot);
        if (routine == nullptr) {
            std::memcpy(sharpenSource.Row(slot), picture.Row(y), stride * static_cast<size_t>(rows));
        } else {
            // Memory rows [y, y + rows) into memory rows [slot, slot + rows), in picture
            // coordinates (bottom-up).
            const Rect r{0, height - (y + rows), picture.Width(), height - y};
            sharpenSource.Apply(routine, &picture, &r, 0, height - (slot + rows), value1, nullptr);
        }
        y += rows;
    }
    if (routine == nullptr) return;
    // What SharpenRows leaves: the two outer rows and the two outer columns of the others.
    const size_t edge = 2 * static_cast<size_t>(picture.BytesPerPixel());
    const size_t right = static_cast<size_t>(picture.Width()) * picture.BytesPerPixel() - edge;
    for (int32_t y = first; y < end; ++y) {
        const uint8_t* copy = sharpenSource.Row(y % ring);
        uint8_t* row = picture.Row(y);
        if (y < 2 || y >= height - 2) {
            std::memcpy(row, copy, right + edge);
        } else {
            std::memcpy(row, copy, edge);
            std::memcpy(row + right, copy + right, edge);
        }
    }
}

int32_t SharpenRows(ImageBuffer& picture, ImageBuffer& sharpenSource, int32_t sharpness, int32_t first,
                    int32_t end, int32_t ringRows) {
    if (!SharpenSourceFits(picture, sharpenSource) || picture.Bits() == sharpenSource.Bits()) return 0;
    // All but the two outer rows of the area are written: rows [first, end) of the picture's
    // interior with two rows of context on either side.
    const int32_t height = picture.Height();
    const int32_t top = std::max(first, 2) - 2;
    const int32_t bottom = std::min(end, height - 2) + 2;
    if (bottom <= top) return 0;
    const bool wide = picture.BitCount() == 16 || picture.BitCount() >= 48;
    FilterArea area;
    area.dst = picture.Row(top);
    area.src = sharpenSource.Row(0);
    area.width = picture.Width();
    area.height = bottom - top;
    area.dstStride = area.srcStride = picture.Stride();
    area.dstBytesPerPixel = area.srcBytesPerPixel = picture.BytesPerPixel();
    const int32_t ring = CopyRows(ringRows, height);
    return SharpenArea(wide, area, SourceRows{area.src, area.srcStride, top, ring}, sharpness);
}

int32_t SharpenPicture(ImageBuffer& picture, ImageBuffer& sharpenSource, int32_t sharpness) {
    CopySharpenRows(picture, sharpenSource, 0, picture.Height());
    return SharpenRows(picture, sharpenSource, sharpness, 0, picture.Height());
}

}  // namespace lumora
