#pragma once
// The one signature of all per-pixel work. ImageBuffer::Apply and ImageBuffer::ApplyScaled hand
// a rectangle of a source buffer and the matching place in a destination buffer to a routine;
// the routine walks the rows itself, stepping from row to row by the strides it is given (rows
// are padded to 4 bytes).
#include <cstdint>

namespace lumora {

// {left, top, right, bottom}; right and bottom exclusive.
struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Shape A, run by Apply. sourceRect is clipped and in memory-row coordinates (row 0 = first
// row of the pixel memory); (destX, destY) is the destination pixel, in memory rows, that
// matches the rectangle's left column and top row. Bytes per pixel are bit count / 8.
// value1 is by convention a pointer to a pointer to the routine's parameter record; value2 is
// a second opaque value. The result goes back to Apply's caller unchanged. For in-place work
// destBits and sourceBits are the same memory: write through destBits.
using PixelRoutine = int32_t (*)(uint8_t* destBits, const uint8_t* sourceBits,
                                 const Rect* sourceRect, int32_t destX, int32_t destY,
                                 uint16_t destBytesPerPixel, uint16_t sourceBytesPerPixel,
                                 int32_t destStride, int32_t sourceStride, void* value1,
                                 void* value2);

// Shape B, run by ApplyScaled: both rectangles as the caller gave them (or the whole buffers),
// neither clipped nor converted; the routine must stay inside the sizes it is given.
using ScaledPixelRoutine = int32_t (*)(uint8_t* destBits, const uint8_t* sourceBits,
                                       const Rect* destRect, const Rect* sourceRect,
                                       int32_t destWidth, int32_t destHeight, int32_t sourceWidth,
                                       int32_t sourceHeight, uint16_t destBytesPerPixel,
                                       uint16_t sourceBytesPerPixel, int32_t destStride,
                                       int32_t sourceStride, void* value1, void* value2);

}  // namespace lumora

// Declares or defines a shape A routine with the usual parameter names.
#define LUMORA_PIXEL_ROUTINE(name)                                                         \
    int32_t name(uint8_t* destBits, const uint8_t* sourceBits, const ::lumora::Rect* sourceRect, \
                 int32_t destX, int32_t destY, uint16_t destBytesPerPixel,                   \
                 uint16_t sourceBytesPerPixel, int32_t destStride, int32_t sourceStride,    \
                 void* value1, void* value2)
// The same for shape B.
#define LUMORA_SCALED_PIXEL_ROUTINE(name)                                                    \
    int32_t name(uint8_t* destBits, const uint8_t* sourceBits, const ::lumora::Rect* destRect, \
                 const ::lumora::Rect* sourceRect, int32_t destWidth, int32_t destHeight,      \
                 int32_t sourceWidth, int32_t sourceHeight, uint16_t destBytesPerPixel,        \
                 uint16_t sourceBytesPerPixel, int32_t destStride, int32_t sourceStride,       \
                 void* value1, void* value2)
