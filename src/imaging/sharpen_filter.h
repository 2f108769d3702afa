#pragma once
// Unsharp masking: each sample moves away from the mean of its 4 x 4 neighbourhood by the
// sharpness setting in tenths.
//
// Routines (shape A): the source is the unchanged copy of the picture (the camera's
// sharpenSource), the destination the picture itself, both of the same format. A buffer that
// is its own source is refused (0): the routine reads rows it has already written.
//   value1: pointer to a pointer to the sharpness setting (one int32_t, 0..30); value2: unused.
// For every pixel at least two pixels inside the rectangle on each side, per colour channel:
//   blur = floor(mean of the source samples in columns x-2..x+1 and rows y-2..y+1)
//   out  = v + trunc(s * (v - blur) / 10), limited to the sample range (255, or 4095 for 16 bits)
// The two outermost rows and columns of the destination are not written, nor is the fourth
// sample of a 4-sample pixel. Return 1 (0 when the arguments are unusable).
// Thread context: the frame chain's thread; no state is kept between calls.

#include <cstdint>

#include "imaging/pixel_routine.h"

namespace lumora {

class ImageBuffer;

// The sharpening stage: copies the picture's pixel memory into sharpenSource, then sharpens the
// picture from it (Sharpen8 for 8-, 24- and 32-bit pictures, Sharpen16 for 16-, 48- and 64-bit).
// Returns the routine's result, or 0 (picture untouched) when sharpenSource does not have the
// picture's size and format. Thread: the frame chain's.
int32_t SharpenPicture(ImageBuffer& picture, ImageBuffer& sharpenSource, int32_t sharpness);

// The same stage in two halves over memory rows [first, end) of the picture, for a picture
// processed in row bands: CopySharpenRows copies those rows into sharpenSource, SharpenRows
// sharpens them from sharpenSource, reading its rows first - 2 to end, which must have been
// copied by then. Over all rows the two are SharpenPicture. SharpenSourceFits tells whether
// sharpenSource has the picture's size and format (nothing happens otherwise).
//
// With ringRows > 0, sharpenSource is a ring of that many rows: memory row y of the picture is
// kept in its row y % ringRows, so that bands in flight keep their copies in the cache instead
// of a whole frame's; a row's copy then lasts until row y + ringRows is copied.
//
// CopySharpenRows can also make the copies through a pixel routine (routine and its value1,
// from the picture's rows into the copies), when SharpenWritesEveryInnerPixel holds: then the
// picture's pixels that SharpenRows leaves (its two outer rows and columns) are set from the
// copies as well, so that the routine's change reaches the whole picture once SharpenRows has
// run over the rows, without running on the picture itself first.
bool SharpenSourceFits(const ImageBuffer& picture, const ImageBuffer& sharpenSource);
bool SharpenWritesEveryInnerPixel(const ImageBuffer& picture, const ImageBuffer& sharpenSource);
void CopySharpenRows(ImageBuffer& picture, ImageBuffer& sharpenSource, int32_t first, int32_t end,
                     int32_t ringRows = 0, PixelRoutine routine = nullptr, void* value1 = nullptr);
int32_t SharpenRows(ImageBuffer& picture, ImageBuffer& sharpenSource, int32_t sharpness, int32_t first,
                    int32_t end, int32_t ringRows = 0);

int32_t Sharpen8(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x, int32_t y,
                 uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel, int32_t dstStride,
                 int32_t srcStride, void* value1, void* value2);
int32_t Sharpen16(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x, int32_t y,
                  uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel, int32_t dstStride,
                  int32_t srcStride, void* value1, void* value2);

}  // namespace lumora
