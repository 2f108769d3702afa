#pragma once
// Helpers shared by the filter routines: the rectangle a routine was handed, resolved to its
// first pixel in both buffers, and the parameter records behind the caller values.

#include <cstdint>

#include "imaging/pixel_routine.h"

namespace lumora {

// Floating-point arithmetic whose truncated results must not depend on the build: 32-bit x86
// code otherwise computes on the x87 unit, which keeps intermediates wider than a double (and
// rounds twice when they are stored), so a product like 499.99999999999989 can become 500.
// Functions marked with this compute in double precision throughout on every build.
#if defined(__i386__) && !defined(__SSE2_MATH__)
#define LUMORA_DOUBLE_MATH __attribute__((target("sse2,fpmath=sse")))
#else
#define LUMORA_DOUBLE_MATH
#endif

// Top of the range of 16-bit samples (12 bits).
constexpr int32_t kSampleMax16 = 4095;

struct FilterArea {
    uint8_t* dst = nullptr;        // first pixel of the area in the destination
    const uint8_t* src = nullptr;  // first pixel of the area in the source
    int32_t width = 0;
    int32_t height = 0;
    int32_t dstStride = 0;
    int32_t srcStride = 0;
    int32_t dstBytesPerPixel = 0;
    int32_t srcBytesPerPixel = 0;
};

// Fills area from the routine's arguments; false when there is nothing to do (null buffers,
// an empty rectangle, a pixel size of 0).
inline bool ResolveArea(FilterArea& area, uint8_t* dstBits, const uint8_t* srcBits,
                        const Rect* rect, int32_t x, int32_t y, int32_t dstBytesPerPixel,
                        int32_t srcBytesPerPixel, int32_t dstStride, int32_t srcStride) {
    if (dstBits == nullptr || srcBits == nullptr || rect == nullptr) return false;
    if (rect->right <= rect->left || rect->bottom <= rect->top) return false;
    if (dstBytesPerPixel <= 0 || srcBytesPerPixel <= 0) return false;
    area.width = rect->right - rect->left;
    area.height = rect->bottom - rect->top;
    area.dstStride = dstStride;
    area.srcStride = srcStride;
    area.dstBytesPerPixel = dstBytesPerPixel;
    area.srcBytesPerPixel = srcBytesPerPixel;
    area.src = srcBits + static_cast<intptr_t>(rect->top) * srcStride +
               static_cast<intptr_t>(rect->left) * srcBytesPerPixel;
    area.dst = dstBits + static_cast<intptr_t>(y) * dstStride +
               static_cast<intptr_t>(x) * dstBytesPerPixel;
    return true;
}

// Colour channels a filter touches in a pixel of the given size in samples: 1 for gray, 3 for
// colour; the fourth sample of 4-sample pixels is left alone.
inline int32_t FilterChannels(int32_t samplesPerPixel) {
    return samplesPerPixel >= 3 ? 3 : 1;
}

// True when both buffers of the area hold pixels of 1, 3 or 4 samples of sampleBytes each
// (8, 24, 32 bits for 8-bit samples; 16, 48, 64 bits for 16-bit ones) and the same number.
inline bool HasSampleFormat(const FilterArea& a, int32_t sampleBytes) {
    const int32_t samples = a.srcBytesPerPixel / sampleBytes;
    return a.srcBytesPerPixel == a.dstBytesPerPixel && a.srcBytesPerPixel % sampleBytes == 0 &&
           (samples == 1 || samples == 3 || samples == 4);
}

// For routines that only read: fills the source side of area (dst stays null).
inline bool ResolveSourceArea(FilterArea& area, const uint8_t* srcBits, const Rect* rect,
                              int32_t srcBytesPerPixel, int32_t srcStride) {
    uint8_t scratch = 0;
    if (rect == nullptr ||
        !ResolveArea(area, &scratch, srcBits, rect, 0, 0, srcBytesPerPixel, srcBytesPerPixel,
                     0, srcStride)) {
        return false;
    }
    area.dst = nullptr;
    area.dstStride = 0;
    return true;
}

// The record behind a caller value that points to a pointer to it; null when either is null.
template <class Record>
inline Record* RecordOf(void* value) {
    if (value == nullptr) return nullptr;
    return *static_cast<Record**>(value);
}

}  // namespace lumora
