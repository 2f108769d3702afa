#pragma once
// Automatic white balance: the red and blue gains that bring the frame's red and blue means to
// its green mean, measured on the raw mosaic.
//
// Routines (shape A, on an 8-bit or a 16-bit raw frame, reading the source only):
//   value1: pointer to a pointer to four int32_t {blue, green, red, Bayer phase}; the routine
//   fills the first three with gains in percent (green always 100). value2: unused.
//   Colours by mosaic position as the demosaic reads them (rows and columns counted from the
//   rectangle); every sample counts, 0 and the maximum included. The gains follow
//   WhiteBalanceGains below and are not yet limited to 400 (the caller does that).
// Return 1 (0 when the arguments are unusable).
// Thread context: the frame chain's thread; no state is kept between calls.

#include <cstdint>

#include "imaging/pixel_routine.h"

namespace lumora {

class ImageBuffer;
struct FilterSettings;

// Gains in percent from the colour sums and counts of a frame, indexed 0 green, 1 red, 2 blue.
// With the means mG, mR, mB: s = mB + mR + mG, c = 1/3, k = 1 / ((s / mG) x c),
// gain(X) = trunc(k x ((s / mX) x c) x 100), i.e. 100 x mG / mX with this evaluation order
// deciding the last digit. Where the formula has no value:
//   - a colour without samples (frames narrower or lower than 2): all three gains 100;
//   - mX = 0 and mG = 0 (a black frame): 100;
//   - mX = 0 under a lit green: 65535 (the caller's limit makes it 400);
//   - mG = 0 under a lit X: 0, which is what the formula gives.
// Results lie in 0..65535. gains receives {blue, green, red}.
void WhiteBalanceGains(const uint64_t sums[3], const uint64_t counts[3], int32_t gains[3]);

// The white-balance step of the demosaic stage. When settings.autoWhiteBalance is set: measures
// the raw frame (8 or 16 bits per sample) with the settings' Bayer phase, stores the gains,
// each limited to 400, as the white-balance blue, green and red, and ends a one-shot request
// (autoWhiteBalance and both once markers set: all three cleared). Returns true when it
// measured (the caller then refreshes an open filter dialog), false when it is off or the frame
// is not a usable 8- or 16-bit buffer. Thread: the frame chain's.
bool AutoWhiteBalance(FilterSettings& settings, ImageBuffer& raw);

int32_t MeasureWhiteBalance8(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect,
                             int32_t x, int32_t y, uint16_t dstBytesPerPixel,
                             uint16_t srcBytesPerPixel, int32_t dstStride, int32_t srcStride,
                             void* value1, void* value2);
int32_t MeasureWhiteBalance16(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect,
                              int32_t x, int32_t y, uint16_t dstBytesPerPixel,
                              uint16_t srcBytesPerPixel, int32_t dstStride, int32_t srcStride,
                              void* value1, void* value2);

}  // namespace lumora
