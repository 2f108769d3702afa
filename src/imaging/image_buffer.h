#pragma once
// A device-independent bitmap on which all pixel work runs: a 40-byte header, a 256-entry
// colour table and bottom-up pixel rows padded to 4 bytes. On Windows the pixels of 8 to 32
// bits per pixel live in a DIB section selected into a memory drawing context, so that they
// can be blitted; 48 and 64 bits (and every buffer elsewhere) live in plain zeroed memory.
//
// Threads: a buffer has no lock; its owner lets one thread at a time create, destroy or write it.
#include <cstdint>

#include "imaging/pixel_routine.h"
#include "platform/bitmap.h"

namespace lumora {

class ImageBuffer {
public:
    ImageBuffer() = default;
    ~ImageBuffer();
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;

    // Makes a zeroed buffer of width x height pixels and bitCount bits (8, 16, 24, 32, 48, 64).
    // 0 and the buffer unchanged for a bad size or bit count; 0 and the buffer empty when memory
    // cannot be had.
    int Create(int32_t width, int32_t height, int bitCount);
    // Same size and bit count as other (zeroed, pixels not copied), made with other's drawing
    // context as reference. 0 and the buffer unchanged when other is null or empty.
    int CreateLike(const ImageBuffer* other);
    // Frees everything; the buffer is empty afterwards. Safe on an empty buffer.
    void Destroy();

    // kind 0: gray ramp into the colour table (and the drawing context's); kind 2: count entries
    // from start into the drawing context's table (the stored table when there is no context).
    // Other kinds, or entries outside 0..255, do nothing. Returns 1.
    int SetPalette(int kind, const platform::PaletteEntry* entries, int start, int count);

    // Copies rect of source (picture coordinates, y from the top; null = whole source) to (x, y)
    // of this buffer. Blits when both have drawing contexts, else copies rows in software when
    // both have the same bit count (clipped to both buffers). 1 when something was copied.
    int Draw(const ImageBuffer* source, const Rect* rect, int32_t x, int32_t y);

    // Runs routine (shape A) once over sourceRect of source (picture coordinates; null = whole
    // source) placed at (x, y) of this buffer, after clipping to both buffers. Returns the
    // routine's result, or 0 without a call when the area is empty or anything is missing.
    int32_t Apply(PixelRoutine routine, const ImageBuffer* source, const Rect* sourceRect,
                  int32_t x, int32_t y, void* value1, void* value2);
    // Runs routine (shape B) once; null rectangles mean the whole buffers. 0 without a call when
    // routine or source is missing or either buffer is empty.
    int32_t ApplyScaled(ScaledPixelRoutine routine, const ImageBuffer* source,
                        const Rect* sourceRect, const Rect* destRect, void* value1, void* value2);

    // Writes a bottom-up BMP file. 1 on success; 0 when the buffer is empty, the file cannot be
    // opened or a write fails.
    int SaveBmp(const char* fileName) const;

    bool IsUsable() const { return width_ > 0 && height_ > 0 && bitCount_ != 0 && bits_ != nullptr; }
    uint8_t* Bits() { return bits_; }
    const uint8_t* Bits() const { return bits_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t Stride() const { return stride_; }
    uint16_t BitCount() const { return bitCount_; }
    uint16_t BytesPerPixel() const { return static_cast<uint16_t>(bitCount_ / 8); }
    // Start of memory row r (row 0 is the bottom row of the picture as a DIB displays it).
    uint8_t* Row(int32_t r) { return bits_ + static_cast<intptr_t>(r) * stride_; }
    const uint8_t* Row(int32_t r) const { return bits_ + static_cast<intptr_t>(r) * stride_; }
    platform::DrawingContext Dc() const { return section_.dc; }
    platform::BitmapObject Bitmap() const { return section_.bitmap; }
    // Header and colour table together, laid out as a BITMAPINFO with 256 entries.
    const platform::BitmapInfo& Info() const { return info_; }
    const platform::BitmapHeader& Header() const { return info_.header; }
    const platform::PaletteEntry* Colours() const { return info_.colours; }

private:
    int MakePixelMemory(platform::DrawingContext reference);

    platform::BitmapInfo info_{};
    platform::DibSection section_{};
    uint8_t* heap_ = nullptr;  // pixel memory when there is no section
    uint8_t* bits_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t stride_ = 0;
    uint16_t bitCount_ = 0;
};

}  // namespace lumora
