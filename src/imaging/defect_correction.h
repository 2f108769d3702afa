#pragma once
// Correction of bright defect pixels in raw mosaic frames, in place (Apply with the raw buffer
// as source and destination; the routine reads and writes the destination).
//
// Samples with 2 <= x < width - 2 and 2 <= y < height - 2 are visited row by row, left to
// right, seeing earlier corrections. m = floor mean of the four same-colour samples two rows or
// columns away. When s - m >= T, the colour at (x, y) is estimated exactly as the demosaic
// computes output pixel (x, y); when at least two of |R - G|, |R - B|, |G - B| exceed 30, the
// sample becomes m. Returns the number of samples replaced.
//
// value1: pointer to a pointer to a DemosaicParams (null: phase 0, gains 100); value2: pointer
// to a pointer to the threshold T as an int (null: 70). Any thread; no state.
#include "imaging/pixel_routine.h"

namespace lumora {

constexpr int kDefectThreshold = 70;

// 8-bit samples.
LUMORA_PIXEL_ROUTINE(CorrectDefects);
// 16-bit samples on the 12-bit scale: T is given on the 8-bit scale like for CorrectDefects and
// applied times 16; the colour test is 30 x 16 = 480. Samples above 4095 are read as 4095.
LUMORA_PIXEL_ROUTINE(CorrectDefects16);

}  // namespace lumora
