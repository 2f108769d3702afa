#pragma once
// Bayer demosaicing of raw frames into colour, with the red and blue white-balance gains.
//
// Mosaic layout: for a sample at row y and column x of the rectangle a routine is given,
// P = (phase bit 0) ^ (y & 1) and Q = (phase bit 1) ^ (x & 1); (P, Q) = (0, 0) green,
// (0, 1) blue, (1, 0) red, (1, 1) green.
//
// Output pixel (x, y) is the colour at the centre of the 2 x 2 block {x-1, x} x {y-1, y}:
// green is the floor mean of the block's two greens; red and blue are the 9/3/3/1-weighted
// sums of the four nearest samples of their colour, times floor(gain * 1.28), shifted right by
// 11 and limited to the sample range. The window spans columns x-2..x+1 and rows y-2..y+1.
//
// 16-bit samples use the 12-bit range: results are limited to 4095 and samples above 4095 are
// read as 4095.
//
// All routines are PixelRoutines (shape A) run by ImageBuffer::Apply from the raw buffer into
// the colour buffer, value1 pointing to a pointer to a DemosaicParams (null: phase 0, gains 100).
// They keep no state and may run on any thread. They return 1, or 0 (doing nothing) when the
// buffers' pixel sizes do not fit the routine.
#include <cstdint>

#include "imaging/pixel_routine.h"

namespace lumora {

// Parameter record of the demosaic, defect and statistics routines.
struct DemosaicParams {
    int32_t bayerPhase = 0;  // 0..3
    int32_t redGain = 100;   // percent, 0..400
    int32_t greenGain = 100; // kept and reported; the picture does not use it
    int32_t blueGain = 100;
};

// Memory rows [first, end) of the rectangle, counted from its first memory row.
struct DemosaicRows {
    int32_t first = 0;
    int32_t end = 0;
};

// Pixels with 2 <= x < width - 2 and 2 <= y < height - 2, from 8-bit samples into 24- or 32-bit
// pixels (blue, green, red; a fourth byte is left alone). Nothing when width or height <= 4.
LUMORA_PIXEL_ROUTINE(DemosaicInterior8);
// Every other pixel: the two outer rows and columns (the whole frame when it is 4 or less wide
// or high). A neighbour outside the frame is moved 4 samples inwards; in frames narrower or
// lower than 4 samples, where that is not enough, the nearest sample of the same parity is
// taken (or the only one there is). value2 may point to a pointer to a DemosaicRows: then only
// the border pixels of those rows are written (null: every row).
LUMORA_PIXEL_ROUTINE(DemosaicBorder8);
// The same from 16-bit samples into 48- or 64-bit pixels (a fourth sample is left alone).
LUMORA_PIXEL_ROUTINE(DemosaicInterior16);
LUMORA_PIXEL_ROUTINE(DemosaicBorder16);

}  // namespace lumora
