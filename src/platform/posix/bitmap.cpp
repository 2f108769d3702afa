#include "platform/bitmap.h"

// No window system owns bitmaps here: every buffer keeps plain memory and copies in software.

namespace lumora::platform {

DibResult CreateDibSection(DrawingContext, const BitmapInfo&, DibSection& out) {
    out = DibSection{};
    return DibResult::NotAvailable;
}

void DestroyDibSection(DibSection& s) { s = DibSection{}; }

bool SetColourTable(DrawingContext, int, int, const PaletteEntry*) { return false; }

bool GetColourTable(DrawingContext, int, int, PaletteEntry*) { return false; }

bool BlitCopy(DrawingContext, int, int, int, int, DrawingContext, int, int) { return false; }

}  // namespace lumora::platform
