#include "imaging/image_buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

namespace lumora {

namespace {

bool SupportedBitCount(int bitCount) {
    switch (bitCount) {
        case 8: case 16: case 24: case 32: case 48: case 64: return true;
        default: return false;
    }
}

// Bytes per row, padded to 4.
int64_t PaddedStride(int32_t width, int bitCount) {
    const int64_t stride = (static_cast<int64_t>(width) * (bitCount / 8) + 3) & ~int64_t{3};
    return stride;
}

// Whole buffers stay within the 32-bit sizes that routines and BMP files use.
bool SizeFits(int32_t width, int32_t height, int bitCount) {
    const int64_t stride = PaddedStride(width, bitCount);
    return stride <= std::numeric_limits<int32_t>::max() / height;
}

// A clipped rectangle and its place in the destination, in picture coordinates.
struct Clipped {
    int32_t sourceLeft, sourceTop, destLeft, destTop, width, height;
};

// Clips a source rectangle placed at (x, y) of the destination against both buffers. The
// destination point follows every edge that is cut off, so each pixel keeps its partner.
bool ClipCopy(const Rect& r, int32_t x, int32_t y, int32_t sourceWidth, int32_t sourceHeight,
              int32_t destWidth, int32_t destHeight, Clipped& out) {
    int64_t sl = r.left, st = r.top;
    int64_t w = static_cast<int64_t>(r.right) - r.left;
    int64_t h = static_cast<int64_t>(r.bottom) - r.top;
    int64_t dl = x, dt = y;
    if (w <= 0 || h <= 0) return false;
    const int64_t cutLeft = std::max<int64_t>({0, -sl, -dl});
    const int64_t cutTop = std::max<int64_t>({0, -st, -dt});
    sl += cutLeft; dl += cutLeft; w -= cutLeft;
    st += cutTop; dt += cutTop; h -= cutTop;
    w = std::min<int64_t>({w, sourceWidth - sl, destWidth - dl});
    h = std::min<int64_t>({h, sourceHeight - st, destHeight - dt});
    if (w <= 0 || h <= 0) return false;
    out = {static_cast<int32_t>(sl), static_cast<int32_t>(st), static_cast<int32_t>(dl),
           static_cast<int32_t>(dt), static_cast<int32_t>(w), static_cast<int32_t>(h)};
    return true;
}

}  // namespace

ImageBuffer::~ImageBuffer() { Destroy(); }

int ImageBuffer::Create(int32_t width, int32_t height, int bitCount) {
    if (width <= 0 || height <= 0 || !SupportedBitCount(bitCount) ||
        !SizeFits(width, height, bitCount))
        return 0;
    Destroy();
    info_.header.width = width;
    info_.header.height = height;
    info_.header.planes = 1;
    info_.header.bitCount = static_cast<uint16_t>(bitCount);
    width_ = width;
    height_ = height;
    stride_ = static_cast<int32_t>(PaddedStride(width, bitCount));
    bitCount_ = static_cast<uint16_t>(bitCount);
    return MakePixelMemory(nullptr);
}

int ImageBuffer::CreateLike(const ImageBuffer* other) {
    if (other == nullptr || other == this || other->width_ <= 0 || other->height_ <= 0 ||
        other->bitCount_ == 0)
        return 0;
    const platform::BitmapHeader header = other->info_.header;
    const int32_t width = other->width_, height = other->height_, stride = other->stride_;
    const uint16_t bitCount = other->bitCount_;
    const platform::DrawingContext reference = other->section_.dc;
    Destroy();
    info_.header = header;
    width_ = width;
    height_ = height;
    stride_ = stride;
    bitCount_ = bitCount;
    return MakePixelMemory(reference);
}

int ImageBuffer::MakePixelMemory(platform::DrawingContext reference) {
    if (bitCount_ == 8) SetPalette(0, nullptr, 0, 0);
    switch (platform::CreateDibSection(reference, info_, section_)) {
        case platform::DibResult::Made:
            bits_ = section_.bits;
            return 1;
        case platform::DibResult::Failed:
            Destroy();
            return 0;
        case platform::DibResult::NotAvailable:
            break;
    }
    const size_t size = static_cast<size_t>(stride_) * static_cast<size_t>(height_);
    heap_ = new (std::nothrow) uint8_t[size]();
    if (heap_ == nullptr) {
        Destroy();
        return 0;
    }
    bits_ = heap_;
    return 1;
}

void ImageBuffer::Destroy() {
    platform::DestroyDibSection(section_);
    delete[] heap_;
    heap_ = nullptr;
    bits_ = nullptr;
    width_ = height_ = stride_ = 0;
    bitCount_ = 0;
    info_ = platform::BitmapInfo{};
}

int ImageBuffer::SetPalette(int kind, const platform::PaletteEntry* entries, int start, int count) {
    if (kind == 0) {
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<uint8_t>(i);
            info_.colours[i] = platform::PaletteEntry{v, v, v, 0};
        }
        if (section_.dc != nullptr) platform::SetColourTable(section_.dc, 0, 256, info_.colours);
    } else if (kind == 2) {
        if (entries == nullptr || start < 0 || count <= 0 || start > 256 || count > 256 - start)
            return 1;
        if (section_.dc != nullptr)
            platform::SetColourTable(section_.dc, start, count, entries);
        else
            std::copy(entries, entries + count, info_.colours + start);
    }
    return 1;
}

int ImageBuffer::Draw(const ImageBuffer* source, const Rect* rect, int32_t x, int32_t y) {
    if (source == nullptr || !source->IsUsable() || !IsUsable()) return 0;
    const Rect whole{0, 0, source->width_, source->height_};
    const Rect& r = rect != nullptr ? *rect : whole;
    if (section_.dc != nullptr && source->section_.dc != nullptr) {
        const int64_t width = static_cast<int64_t>(r.right) - r.left;
        const int64_t height = static_cast<int64_t>(r.bottom) - r.top;
        if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return 0;
        return platform::BlitCopy(section_.dc, x, y, static_cast<int>(width), static_cast<int>(height),
                                  source->section_.dc, r.left, r.top)
                   ? 1
                   : 0;
    }
    if (source->bitCount_ != bitCount_) return 0;
    Clipped c{};
    if (!ClipCopy(r, x, y, source->width_, source->height_, width_, height_, c)) return 0;
    const size_t bytes = static_cast<size_t>(c.width) * BytesPerPixel();
    const size_t bpp = BytesPerPixel();
    for (int32_t i = 0; i < c.height; ++i) {
        // Picture row t is memory row height - 1 - t.
        const uint8_t* from = source->Row(source->height_ - 1 - (c.sourceTop + i)) + c.sourceLeft * bpp;
        uint8_t* to = Row(height_ - 1 - (c.destTop + i)) + c.destLeft * bpp;
        std::memmove(to, from, bytes);
    }
    return 1;
}

int32_t ImageBuffer::Apply(PixelRoutine routine, const ImageBuffer* source,
                           const Rect* sourceRect, int32_t x, int32_t y, void* value1,
                           void* value2) {
    if (routine == nullptr || source == nullptr || !source->IsUsable() || !IsUsable()) return 0;
    const Rect whole{0, 0, source->width_, source->height_};
    Clipped c{};
    if (!ClipCopy(sourceRect != nullptr ? *sourceRect : whole, x, y, source->width_,
                  source->height_, width_, height_, c))
        return 0;
    // Picture coordinates to memory rows.
    const Rect memoryRect{c.sourceLeft, source->height_ - (c.sourceTop + c.height),
                          c.sourceLeft + c.width, source->height_ - c.sourceTop};
    const int32_t destX = c.destLeft;
    const int32_t destY = height_ - (c.destTop + c.height);
    return routine(bits_, source->bits_, &memoryRect, destX, destY, BytesPerPixel(),
                   source->BytesPerPixel(), stride_, source->stride_, value1, value2);
}

int32_t ImageBuffer::ApplyScaled(ScaledPixelRoutine routine, const ImageBuffer* source,
                                 const Rect* sourceRect, const Rect* destRect, void* value1,
                                 void* value2) {
    if (routine == nullptr || source == nullptr || !source->IsUsable() || !IsUsable()) return 0;
    const Rect wholeSource{0, 0, source->width_, source->height_};
    const Rect wholeDest{0, 0, width_, height_};
    return routine(bits_, source->bits_, destRect != nullptr ? destRect : &wholeDest,
                   sourceRect != nullptr ? sourceRect : &wholeSource, width_, height_,
                   source->width_, source->height_, BytesPerPixel(), source->BytesPerPixel(),
                   stride_, source->stride_, value1, value2);
}

int ImageBuffer::SaveBmp(const char* fileName) const {
    if (fileName == nullptr || !IsUsable()) return 0;
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) return 0;
    uint32_t offset = 54;
    platform::PaletteEntry table[256];
    if (bitCount_ <= 8) {
        std::copy(info_.colours, info_.colours + 256, table);
        if (section_.dc != nullptr) platform::GetColourTable(section_.dc, 0, 256, table);
        offset = 1078;
    }
    const uint32_t pixelBytes = static_cast<uint32_t>(height_) * static_cast<uint32_t>(stride_);
    const uint32_t fileSize = offset + pixelBytes;
    uint8_t fileHeader[14] = {0x42, 0x4D};
    for (int i = 0; i < 4; ++i) {
        fileHeader[2 + i] = static_cast<uint8_t>(fileSize >> (8 * i));
        fileHeader[10 + i] = static_cast<uint8_t>(offset >> (8 * i));
    }
    bool ok = std::fwrite(fileHeader, sizeof fileHeader, 1, file) == 1;
    ok = ok && std::fwrite(&info_.header, sizeof info_.header, 1, file) == 1;
    if (bitCount_ <= 8) ok = ok && std::fwrite(table, sizeof table, 1, file) == 1;
    ok = ok && std::fwrite(bits_, 1, pixelBytes, file) == pixelBytes;
    ok = (std::fclose(file) == 0) && ok;
    return ok ? 1 : 0;
}

}  // namespace lumora
