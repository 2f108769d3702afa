#pragma once
// Hue rotation and saturation in a hexagonal hue/lightness/chroma model: 255 hue steps per
// sixth of the circle, lightness max + min kept, chroma scaled by (saturation + 256) / 256 and
// never beyond what the lightness allows.
//
// Routines (shape A, in place or between two buffers of the same colour format):
//   value1: pointer to a pointer to a HueSaturationParameters record; value2: unused.
//   HueSaturation8 works on 24- and 32-bit pixels (8-bit channels); HueSaturation16 on 48- and
//   64-bit pixels, channels on the 12-bit scale (a channel above 4095 is read as 4095). The
//   fourth sample of a 4-sample pixel is not written. Both return 1 (0 when the arguments are
//   unusable or the pixels have fewer than three samples).
// The 12-bit scale is the 8-bit model 16 times larger (chroma bounded by 16 x 511 - lightness,
// lightness halves lowered by 4): on 16 x an 8-bit picture it gives 16 x the 8-bit result
// within 16.
// The tables are built for each call (the chroma table) or are constant (the reciprocals), so
// nothing is shared between cameras or threads.
// Thread context: the frame chain's thread.

#include <cstdint>

#include "imaging/pixel_routine.h"

namespace lumora {

struct HueSaturationParameters {
    int32_t hue;         // only the low 8 bits count, in 256ths of a turn
    int32_t reserved;    // 0
    int32_t saturation;  // -255..255
    int32_t bits;        // 8 or 12, the channel scale
};

int32_t HueSaturation8(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                       int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                       int32_t dstStride, int32_t srcStride, void* value1, void* value2);
int32_t HueSaturation16(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                        int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                        int32_t dstStride, int32_t srcStride, void* value1, void* value2);

}  // namespace lumora
