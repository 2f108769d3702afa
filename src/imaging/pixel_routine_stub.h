#pragma once
// Stand-in for the routine shape of the image buffer until it lands; removed on merge.
#include <cstdint>

namespace lumora {

struct PixelRect {
    int32_t left, top, right, bottom;
};

using PixelRoutine = int32_t (*)(uint8_t* dstBits, uint8_t* srcBits, const PixelRect* rect,
                                 int32_t x, int32_t y, uint16_t dstBytesPerPixel,
                                 uint16_t srcBytesPerPixel, int32_t dstStride, int32_t srcStride,
                                 void* value1, void* value2);

}  // namespace lumora
