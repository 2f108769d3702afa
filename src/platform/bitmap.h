#pragma once
// Bitmaps in memory that the window system can paint: device-independent bitmap sections
// selected into memory drawing contexts on Windows. Elsewhere no section is ever made and the
// caller keeps its pixels in plain memory.
#include <cstdint>

namespace lumora::platform {

// The 40-byte bitmap header, laid out exactly like the Windows BITMAPINFOHEADER.
struct BitmapHeader {
    uint32_t size = 40;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapHeader) == 40, "bitmap header must be 40 bytes");

// One colour-table entry, laid out like RGBQUAD.
struct PaletteEntry {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;
};
static_assert(sizeof(PaletteEntry) == 4, "palette entry must be 4 bytes");

// Header and a full 256-entry colour table, laid out like BITMAPINFO with 256 colours.
struct BitmapInfo {
    BitmapHeader header;
    PaletteEntry colours[256];
};
static_assert(sizeof(BitmapInfo) == 40 + 1024, "bitmap info must be header + 256 entries");

using DrawingContext = void*;  // memory device context (HDC on Windows)
using BitmapObject = void*;    // GDI object (HBITMAP / HGDIOBJ on Windows)

// A bitmap section selected into its own memory drawing context.
struct DibSection {
    DrawingContext dc = nullptr;
    BitmapObject bitmap = nullptr;
    BitmapObject previous = nullptr;  // object selected into dc before bitmap
    uint8_t* bits = nullptr;          // pixel memory, owned by the section
};

enum class DibResult {
    Made,          // out holds a section, its context and its pixel memory (all zero)
    NotAvailable,  // no section can be made for this format (always so outside Windows)
    Failed,        // a section was made but no context could hold it; nothing is kept
};

// Makes a section for info (reference may be null) and selects it into a new memory context
// compatible with the screen. Any thread that owns the bitmap.
DibResult CreateDibSection(DrawingContext reference, const BitmapInfo& info, DibSection& out);
// Selects the previous object back, deletes the bitmap and the context; clears s.
void DestroyDibSection(DibSection& s);

// Writes or reads count entries from start of the context's colour table (8-bit sections).
bool SetColourTable(DrawingContext dc, int start, int count, const PaletteEntry* entries);
bool GetColourTable(DrawingContext dc, int start, int count, PaletteEntry* entries);

// Copies a width x height rectangle at (sx, sy) of source to (x, y) of dest (top-down picture
// coordinates, plain copy). Pixel memory is up to date when it returns.
bool BlitCopy(DrawingContext dest, int x, int y, int width, int height, DrawingContext source,
              int sx, int sy);

}  // namespace lumora::platform
