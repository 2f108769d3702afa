#pragma once
// The gray filter of the 8-bit monochrome mode: a gain (in 128ths) and an offset for each of the
// four positions of the 2 x 2 mosaic, and its calibration from a frame.
//
// Positions: with P = (Bayer phase bit 0) XOR (row mod 2) and Q = (Bayer phase bit 1) XOR
// (column mod 2), rows and columns counted from the rectangle the routine is given:
//   P 0, Q 0: G1    P 0, Q 1: R    P 1, Q 0: B    P 1, Q 1: G2
//
// Routines (shape A, 8-bit buffers, in place or from a source to a destination):
//   value1: pointer to a pointer to a GrayParameters record; value2: unused.
//   MeasureGrayGains reads the source only and replaces the record's four gains by the measured
//   ones: gain(p) = trunc(mean G1 / mean p x 128), over the samples of 1..254 (G1 is 128).
//   A position without such samples gets 128; without G1 samples all four are 128.
//   GrayFilterPlain, GrayFilterMMX, GrayFilterSSE2: sample v of position p becomes
//   offset(p) + floor(gain(p) x v / 128), limited to 0..255. The three give the same result for
//   every sample; the MMX one steps 8 samples at a time, the SSE2 one 16, the rest of a row
//   plainly. Gains are taken as 0..32767 and offsets as -255..255 (the settings stay well
//   inside both). A variant whose instructions the processor or its operating system cannot
//   run, or that the build does not carry (not x86), runs the plain code.
// All return 1 (0 when the arguments are unusable or the pixels are not single bytes).
// Thread context: the frame chain's thread; no state is kept between calls.

#include <cstdint>

#include "imaging/pixel_routine.h"

namespace lumora {

class ImageBuffer;
struct FilterSettings;
struct ProcessorInfo;

struct GrayParameters {
    int32_t bayerPhase;
    int32_t gainR, gainG1, gainG2, gainB;
    int32_t offsetR, offsetG1, offsetG2, offsetB;
};

int32_t MeasureGrayGains(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                         int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                         int32_t dstStride, int32_t srcStride, void* value1, void* value2);
int32_t GrayFilterPlain(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                        int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                        int32_t dstStride, int32_t srcStride, void* value1, void* value2);
int32_t GrayFilterMMX(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                      int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                      int32_t dstStride, int32_t srcStride, void* value1, void* value2);
int32_t GrayFilterSSE2(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                       int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                       int32_t dstStride, int32_t srcStride, void* value1, void* value2);

// The variant for a processor: SSE2 when both flag words hold CPU_SSE2, else MMX when both hold
// CPU_MMX, else the plain one.
PixelRoutine SelectGrayFilter(const ProcessorInfo& processor);

// The gray-mode-1 stage on the 8-bit raw frame. When settings.grayAutoGainCount is non-zero:
// measures the four gains, stores them as the gray gains and counts one calibration off (a
// positive count goes down by 1, so 1 means one run; a negative count means every frame and
// stays as it is). Then, unless all four gray gains are 128, runs the pass in the processor's
// variant with the gray gains and offsets. Returns true when it calibrated (the caller then
// refreshes an open filter dialog). Nothing happens for a buffer that is not 8-bit.
// Thread: the frame chain's.
bool GrayFilterStage(FilterSettings& settings, ImageBuffer& buffer8,
                     const ProcessorInfo& processor);

}  // namespace lumora
