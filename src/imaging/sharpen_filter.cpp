#include "imaging/sharpen_filter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/filter_area.h"
#include "imaging/image_buffer.h"

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

// Sample is uint8_t or uint16_t; Sum holds four samples (the column sums), Wide the sum of
// sixteen and the corrected value before limiting.
template <class Sample, class Sum, class Wide>
int32_t SharpenArea(const FilterArea& a, int32_t strength, int32_t maxValue) {
    const int32_t srcStep = a.srcBytesPerPixel / static_cast<int32_t>(sizeof(Sample));
    const int32_t dstStep = a.dstBytesPerPixel / static_cast<int32_t>(sizeof(Sample));
    if (srcStep <= 0 || dstStep <= 0) return 0;
    if (a.width < 5 || a.height < 5) return 1;
    const Wide s = static_cast<Wide>(std::clamp(strength, 0, 30));
    const int32_t channels = FilterChannels(srcStep);
    const int32_t rowSamples = a.width * srcStep;
    std::vector<Sum> columns(static_cast<size_t>(rowSamples));
    std::vector<Wide> result(static_cast<size_t>(rowSamples));
    const Sample tag{};
    for (int32_t y = 2; y < a.height - 2; ++y) {
        const uint8_t* r0 = a.src + static_cast<intptr_t>(y - 2) * a.srcStride;
        const uint8_t* r1 = r0 + a.srcStride;
        const uint8_t* r2 = r1 + a.srcStride;
        const uint8_t* r3 = r2 + a.srcStride;
        // Vertical sums of the window's four rows, for every sample of the row.
        for (int32_t i = 0; i < rowSamples; ++i) {
            columns[i] = static_cast<Sum>(Load(r0, i, tag) + Load(r1, i, tag) + Load(r2, i, tag) +
                                          Load(r3, i, tag));
        }
        // Horizontal sums over columns x-2..x+1 (same channel: steps of one pixel), and the
        // corrected sample.
        const int32_t first = 2 * srcStep;
        const int32_t last = (a.width - 2) * srcStep;
        const Sum* c = columns.data();
        for (int32_t i = first; i < last; ++i) {
            const Wide blur = static_cast<Wide>(
                (static_cast<Wide>(c[i - 2 * srcStep]) + c[i - srcStep] + c[i] + c[i + srcStep]) >> 4);
            const Wide v = static_cast<Wide>(Load(r2, i, tag));
            const Wide out = static_cast<Wide>(v + static_cast<Wide>(s * (v - blur)) / 10);
            result[i] = std::clamp<Wide>(out, 0, static_cast<Wide>(maxValue));
        }
        uint8_t* d = a.dst + static_cast<intptr_t>(y) * a.dstStride;
        for (int32_t x = 2; x < a.width - 2; ++x) {
            for (int32_t ch = 0; ch < channels; ++ch) {
                Store(d, x * dstStep + ch, result[x * srcStep + ch], tag);
            }
        }
    }
    return 1;
}

int32_t RunSharpen(bool wide, uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect,
                   int32_t x, int32_t y, int32_t dstBytesPerPixel, int32_t srcBytesPerPixel,
                   int32_t dstStride, int32_t srcStride, void* value1) {
    const int32_t* strength = RecordOf<const int32_t>(value1);
    FilterArea area;
    if (strength == nullptr ||
        !ResolveArea(area, dstBits, srcBits, rect, x, y, dstBytesPerPixel, srcBytesPerPixel,
                     dstStride, srcStride)) {
        return 0;
    }
    if (wide) return SharpenArea<uint16_t, uint32_t, int32_t>(area, *strength, kSampleMax16);
    return SharpenArea<uint8_t, uint16_t, int16_t>(area, *strength, 255);
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

int32_t SharpenPicture(ImageBuffer& picture, ImageBuffer& sharpenSource, int32_t sharpness) {
    if (!picture.IsUsable() || !sharpenSource.IsUsable() ||
        picture.Width() != sharpenSource.Width() || picture.Height() != sharpenSource.Height() ||
        picture.BitCount() != sharpenSource.BitCount() ||
        picture.Stride() != sharpenSource.Stride()) {
        return 0;
    }
    std::memcpy(sharpenSource.Bits(), picture.Bits(),
                static_cast<size_t>(picture.Stride()) * static_cast<size_t>(picture.Height()));
    const bool wide = picture.BitCount() == 16 || picture.BitCount() >= 48;
    int32_t* record = &sharpness;
    return picture.Apply(wide ? Sharpen16 : Sharpen8, &sharpenSource, nullptr, 0, 0, &record,
                         nullptr);
}

}  // namespace lumora
