#pragma once
// Still pictures of an image buffer as files: Windows bitmap, raw pixel bytes, JPEG at three
// qualities, PNG and TIFF. The writer is chosen by a format code; the file name's extension
// plays no part. In every format the top row of the picture in the file is the buffer's first
// row in memory.
#include <cstdint>

namespace lumora {

class ImageBuffer;

// Format codes of WriteStillImage.
enum StillFormat : unsigned {
    kStillBmp = 0,        // the buffer's bit count, bottom-up rows padded to 4 bytes
    kStillRaw = 1,        // height x stride bytes in memory order, nothing else
    kStillJpeg100 = 2,    // JPEG (8-bit gray or 24-bit colour), progressive, quality 100
    kStillJpeg70 = 3,     // same, quality 70
    kStillJpeg20 = 4,     // same, quality 20
    kStillPng = 5,        // gray, RGB or RGBA at 8 or 16 bits per sample
    kStillTiff = 6,       // uncompressed, one strip, 8 or 16 bits per sample
};

// Writes image to fileName (ANSI / UTF-8 path) in the given format. 1 on success; 0 for a null
// or empty image, a null name, an unknown format (no file is created), a bit count the format
// cannot take, a file that cannot be opened, or any failure of the encoder or of a write (a
// partly written file is then removed). The PNG writer reports library errors on standard error
// as "libpng error: <message>". Never throws.
//
// Thread context: any thread, as long as no other thread writes image meanwhile.
int WriteStillImage(const char* fileName, const ImageBuffer* image, unsigned format);

}  // namespace lumora
