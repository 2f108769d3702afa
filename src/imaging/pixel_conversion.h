#pragma once
// Pixel routines that move samples between buffers without looking at the mosaic: unpacking
// transferred rows, colour to gray, region means, the format conversions for display,
// recording and still images, and the preview scaling.
//
// 16-bit samples use the 12-bit range 0..4095: reductions to 8 bits take value / 16 and
// widenings to the full 16 bits take value x 16; samples above 4095 are read as 4095, so every
// result stays in its range.
//
// Routines are shape A (ImageBuffer::Apply) unless marked shape B (ImageBuffer::ApplyScaled).
// A flipped conversion writes source row height - 1 - i of the rectangle into destination row
// i (source and destination must then be different buffers). Each routine checks the pixel
// sizes it is given and returns 0, doing nothing, when they do not fit it; otherwise 1 (or the
// value stated). No state; any thread.
#include "imaging/pixel_routine.h"

namespace lumora {

// In place on the raw buffer: spreads rows written tightly one after another (width x sample
// size bytes each) to the padded stride, last row and last sample first. Nothing when the
// stride equals width x sample size.
LUMORA_PIXEL_ROUTINE(UnpackRows8);
LUMORA_PIXEL_ROUTINE(UnpackRows16);

// 24- or 32-bit -> 8-bit: gray = (59 G + 30 R + 11 B) / 100.
LUMORA_PIXEL_ROUTINE(ColourToGray);

// Read only (source): floor mean of the rectangle's samples on the 8-bit scale (16-bit samples
// reduced first). Returns the mean, 0 for an empty rectangle.
LUMORA_PIXEL_ROUTINE(RegionMean8);
LUMORA_PIXEL_ROUTINE(RegionMean16);

// 16 -> 8: value / 16.
LUMORA_PIXEL_ROUTINE(Gray16To8);
// 8 -> 24 or 32 (fourth byte left alone): the gray value into blue, green and red.
LUMORA_PIXEL_ROUTINE(Gray8To24);
LUMORA_PIXEL_ROUTINE(Gray16To8Flipped);
// 48 or 64 -> 24 (or 32, fourth byte left alone): each of blue, green, red / 16.
LUMORA_PIXEL_ROUTINE(Colour48To24);
LUMORA_PIXEL_ROUTINE(Colour48To24Flipped);
// Any of 24/32 -> any of 24/32: blue, green, red bytes copied.
LUMORA_PIXEL_ROUTINE(Colour32To24);
LUMORA_PIXEL_ROUTINE(Colour24Flipped);
// 24 or 32 -> 24 or 32: blue and red exchanged (three bytes written).
LUMORA_PIXEL_ROUTINE(SwapRedBlue24);
// 32 -> 32: first three bytes copied, fourth = 255 - source fourth.
LUMORA_PIXEL_ROUTINE(Opaque32);
// 16 -> 16: value x 16.
LUMORA_PIXEL_ROUTINE(Gray16Widen);
// 48 (or 64) -> 48: each channel x 16.
LUMORA_PIXEL_ROUTINE(Colour48Widen);
// 48 or 64 -> 64: each channel x 16, fourth sample 65535.
LUMORA_PIXEL_ROUTINE(Colour64Widen);
// 48 (or 64) -> 48: channels x 16, red and blue exchanged.
LUMORA_PIXEL_ROUTINE(SwapRedBlue48);
// 48 or 64 -> 64: channels x 16, red and blue exchanged, fourth sample 65535.
LUMORA_PIXEL_ROUTINE(SwapRedBlue64);
// Any -> the same pixel size: whole rows (the smaller stride) in reverse order.
LUMORA_PIXEL_ROUTINE(CopyRowsFlipped);

// Shape B, whole source -> whole destination: nearest-neighbour scaling turned upside down.
// rx = source width / destination width as a 32-bit float (ry likewise); destination row i,
// column j takes source column min(trunc(j rx), width - 1) of source memory row
// height - 1 - min(trunc(i ry), height - 1). 8-bit pictures, and 24/32-bit (three bytes).
LUMORA_SCALED_PIXEL_ROUTINE(ScalePreview8);
LUMORA_SCALED_PIXEL_ROUTINE(ScalePreview24);

}  // namespace lumora
