#include "platform/bitmap.h"

#include <windows.h>

namespace lumora::platform {

static_assert(sizeof(BitmapHeader) == sizeof(BITMAPINFOHEADER), "header layout");
static_assert(sizeof(PaletteEntry) == sizeof(RGBQUAD), "palette layout");

DibResult CreateDibSection(DrawingContext reference, const BitmapInfo& info, DibSection& out) {
    out = DibSection{};
    // GDI has no sections deeper than 32 bits per pixel.
    if (info.header.bitCount > 32) return DibResult::NotAvailable;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(static_cast<HDC>(reference),
                                      reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        return DibResult::NotAvailable;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        DeleteObject(bitmap);
        return DibResult::Failed;
    }
    HGDIOBJ previous = SelectObject(dc, bitmap);
    if (previous == nullptr || previous == HGDI_ERROR) {
        DeleteDC(dc);
        DeleteObject(bitmap);
        return DibResult::Failed;
    }
    out.dc = dc;
    out.bitmap = bitmap;
    out.previous = previous;
    out.bits = static_cast<uint8_t*>(bits);
    return DibResult::Made;
}

void DestroyDibSection(DibSection& s) {
    if (s.dc != nullptr && s.previous != nullptr) SelectObject(static_cast<HDC>(s.dc), s.previous);
    if (s.bitmap != nullptr) DeleteObject(static_cast<HGDIOBJ>(s.bitmap));
    if (s.dc != nullptr) DeleteDC(static_cast<HDC>(s.dc));
    s = DibSection{};
}

bool SetColourTable(DrawingContext dc, int start, int count, const PaletteEntry* entries) {
    if (dc == nullptr || entries == nullptr || start < 0 || count <= 0) return false;
    return SetDIBColorTable(static_cast<HDC>(dc), static_cast<UINT>(start),
                            static_cast<UINT>(count),
                            reinterpret_cast<const RGBQUAD*>(entries)) != 0;
}

bool GetColourTable(DrawingContext dc, int start, int count, PaletteEntry* entries) {
    if (dc == nullptr || entries == nullptr || start < 0 || count <= 0) return false;
    return GetDIBColorTable(static_cast<HDC>(dc), static_cast<UINT>(start),
                            static_cast<UINT>(count), reinterpret_cast<RGBQUAD*>(entries)) != 0;
}

bool BlitCopy(DrawingContext dest, int x, int y, int width, int height, DrawingContext source,
              int sx, int sy) {
    if (dest == nullptr || source == nullptr) return false;
    const BOOL ok = BitBlt(static_cast<HDC>(dest), x, y, width, height, static_cast<HDC>(source),
                           sx, sy, SRCCOPY);
    GdiFlush();
    return ok != 0;
}

}  // namespace lumora::platform
