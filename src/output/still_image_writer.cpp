#include "output/still_image_writer.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "imaging/image_buffer.h"
#include "imaging/pixel_conversion.h"

#ifndef JCS_EXTENSIONS
#error "the JPEG writer needs libjpeg-turbo's blue-green-red input colour spaces"
#endif

namespace lumora {

namespace {

// Rows handed to an encoder: the top row of the picture and the step to the next one (negative
// when the rows run backwards through memory).
struct Rows {
    const uint8_t* top;
    ptrdiff_t step;
};

// Runs routine over the whole of source into dest (made to the caller's format beforehand).
// False when the routine did not take the pair of formats.
bool Convert(ImageBuffer& dest, PixelRoutine routine, const ImageBuffer& source) {
    return dest.Apply(routine, &source, nullptr, 0, 0, nullptr, nullptr) != 0;
}

// Closes file; on failure (ok false or the close itself failing) removes fileName.
int CloseOrRemove(std::FILE* file, const char* fileName, bool ok) {
    ok = std::fclose(file) == 0 && ok;
    if (!ok) std::remove(fileName);
    return ok ? 1 : 0;
}

// Rows copied as they are (8-bit TIFF strips), for packing them without the row padding.
LUMORA_PIXEL_ROUTINE(CopyRows) {
    (void)value1, (void)value2;
    if (destBytesPerPixel != sourceBytesPerPixel) return 0;
    const size_t bytes = size_t(sourceRect->right - sourceRect->left) * sourceBytesPerPixel;
    for (int32_t r = sourceRect->top; r < sourceRect->bottom; ++r) {
        std::memcpy(destBits + ptrdiff_t(destY + r - sourceRect->top) * destStride +
                        ptrdiff_t(destX) * destBytesPerPixel,
                    sourceBits + ptrdiff_t(r) * sourceStride +
                        ptrdiff_t(sourceRect->left) * sourceBytesPerPixel,
                    bytes);
    }
    return 1;
}

// ---- BMP and raw -----------------------------------------------------------------------------

int WriteBmp(const char* fileName, const ImageBuffer& image) {
    ImageBuffer flipped;
    if (!flipped.CreateLike(&image) || !Convert(flipped, CopyRowsFlipped, image)) return 0;
    // SaveBmp reports a file it cannot open and a failed write alike. Opening the file here
    // first (truncating or creating it, as SaveBmp does) tells them apart: only a file this
    // writer has emptied or made is removed after a failure.
    std::FILE* probe = std::fopen(fileName, "wb");
    if (probe == nullptr) return 0;
    std::fclose(probe);
    if (flipped.SaveBmp(fileName)) return 1;
    std::remove(fileName);
    return 0;
}

int WriteRaw(const char* fileName, const ImageBuffer& image) {
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) return 0;
    const size_t bytes = size_t(image.Height()) * size_t(image.Stride());
    return CloseOrRemove(file, fileName, std::fwrite(image.Bits(), 1, bytes, file) == bytes);
}

// ---- JPEG ------------------------------------------------------------------------------------

// Library errors come back here instead of ending the process.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf recovery;
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->recovery, 1);
}

// Only plain data lives in this frame, so the jump back skips no destructor.
bool EncodeJpeg(std::FILE* file, const ImageBuffer& image, Rows rows, J_COLOR_SPACE space,
                int components, int quality) {
    jpeg_compress_struct cinfo{};
    JpegErrors errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegErrorExit;
    if (setjmp(errors.recovery)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(image.Width());
    cinfo.image_height = static_cast<JDIMENSION>(image.Height());
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rows.top + rows.step * ptrdiff_t(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

int WriteJpeg(const char* fileName, const ImageBuffer& image, int quality) {
    // 8, 24 and 32 bits are read in place (the encoder takes blue-green-red pixels, with or
    // without a fourth byte); 16, 48 and 64 bits are first reduced into a flipped copy, which is
    // then read from its last memory row up.
    ImageBuffer reduced;
    J_COLOR_SPACE space;
    int components;
    switch (image.BitCount()) {
    case 8: space = JCS_GRAYSCALE; components = 1; break;
    case 24: space = JCS_EXT_BGR; components = 3; break;
    case 32: space = JCS_EXT_BGRX; components = 4; break;
    case 16:
        if (!reduced.Create(image.Width(), image.Height(), 8) ||
            !Convert(reduced, Gray16To8Flipped, image))
            return 0;
        space = JCS_GRAYSCALE;
        components = 1;
        break;
    case 48:
    case 64:
        if (!reduced.Create(image.Width(), image.Height(), 24) ||
            !Convert(reduced, Colour48To24Flipped, image))
            return 0;
        space = JCS_EXT_BGR;
        components = 3;
        break;
    default: return 0;
    }
    const Rows rows = reduced.IsUsable()
                          ? Rows{reduced.Row(reduced.Height() - 1), -ptrdiff_t(reduced.Stride())}
                          : Rows{image.Bits(), image.Stride()};

    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) return 0;
    return CloseOrRemove(file, fileName, EncodeJpeg(file, image, rows, space, components, quality));
}

// ---- PNG -------------------------------------------------------------------------------------

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
    std::fprintf(stderr, "libpng error: %s\n", message);
    png_longjmp(png, 1);
}

// Only plain data lives in this frame, so the jump back skips no destructor.
bool EncodePng(std::FILE* file, const uint8_t* bits, int32_t width, int32_t height,
               int32_t stride, int bitDepth, int colourType) {
    // The version of the headers this was built with, which is the linked library's own.
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        std::free(rows);
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    if (bitDepth == 16) png_set_swap(png);  // little-endian words, most significant byte first
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * size_t(height)));
    if (rows == nullptr) png_error(png, "Zuvezerar: Out of memory");
    for (int32_t r = 0; r < height; ++r) {
        rows[r] = const_cast<png_bytep>(bits + ptrdiff_t(r) * stride);
    }
    png_write_image(png, rows);
    png_write_end(png, info);
    std::free(rows);
    png_destroy_write_struct(&png, &info);
    return true;
}

int WritePng(const char* fileName, const ImageBuffer& image) {
    ImageBuffer widened;
    int bitDepth = 8, colourType;
    PixelRoutine conversion = nullptr;
    switch (image.BitCount()) {
    case 8: colourType = PNG_COLOR_TYPE_GRAY; break;
    case 24: colourType = PNG_COLOR_TYPE_RGB; break;
    case 32: colourType = PNG_COLOR_TYPE_RGB_ALPHA; conversion = Opaque32; break;
    case 16: colourType = PNG_COLOR_TYPE_GRAY; bitDepth = 16; conversion = Gray16Widen; break;
    case 48: colourType = PNG_COLOR_TYPE_RGB; bitDepth = 16; conversion = Colour48Widen; break;
    case 64: colourType = PNG_COLOR_TYPE_RGB_ALPHA; bitDepth = 16; conversion = Colour64Widen; break;
    default: return 0;
    }
    const ImageBuffer* source = &image;
    if (conversion != nullptr) {
        if (!widened.CreateLike(&image) || !Convert(widened, conversion, image)) return 0;
        source = &widened;
    }
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) return 0;
    return CloseOrRemove(file, fileName,
                         EncodePng(file, source->Bits(), source->Width(), source->Height(),
                                   source->Stride(), bitDepth, colourType));
}

// ---- TIFF ------------------------------------------------------------------------------------

int WriteTiff(const char* fileName, const ImageBuffer& image) {
    uint16_t bitsPerSample, photometric, samples;
    PixelRoutine conversion;
    switch (image.BitCount()) {
    case 8: bitsPerSample = 8; photometric = PHOTOMETRIC_MINISBLACK; samples = 1; conversion = CopyRows; break;
    case 16: bitsPerSample = 16; photometric = PHOTOMETRIC_MINISBLACK; samples = 1; conversion = Gray16Widen; break;
    case 24: bitsPerSample = 8; photometric = PHOTOMETRIC_RGB; samples = 3; conversion = SwapRedBlue24; break;
    case 32: bitsPerSample = 8; photometric = PHOTOMETRIC_RGB; samples = 4; conversion = SwapRedBlue24; break;
    case 48: bitsPerSample = 16; photometric = PHOTOMETRIC_RGB; samples = 3; conversion = SwapRedBlue48; break;
    case 64: bitsPerSample = 16; photometric = PHOTOMETRIC_RGB; samples = 4; conversion = SwapRedBlue64; break;
    default: return 0;
    }
    // The one strip holds the rows without the buffer's padding. It is converted and appended
    // block by block through a buffer of about 1 MB, which stays in the cache and spares the
    // 32-bit process a second frame-sized allocation. The buffer starts zeroed: a fourth byte
    // of 8-bit samples is never written by the conversion and stays 0.
    const int32_t bytesPerPixel = image.BytesPerPixel();
    const size_t rowBytes = size_t(image.Width()) * size_t(bytesPerPixel);
    const int32_t blockRows = int32_t(std::max<size_t>(1, std::min<size_t>(
        size_t(image.Height()), (size_t{1} << 20) / rowBytes)));
    const std::unique_ptr<uint8_t[]> block(new uint8_t[rowBytes * size_t(blockRows)]());

    TIFF* tiff = TIFFOpen(fileName, "w");
    if (tiff == nullptr) return 0;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(image.Width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(image.Height()));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    if (samples == 4) {
        // The fourth sample is not part of the colour; say so rather than leave it to guesswork.
        const uint16_t extra = EXTRASAMPLE_UNSPECIFIED;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    bool ok = true;
    for (int32_t top = 0; ok && top < image.Height(); top += blockRows) {
        const int32_t rows = std::min(blockRows, image.Height() - top);
        const Rect area{0, top, image.Width(), top + rows};
        ok = conversion(block.get(), image.Bits(), &area, 0, 0, uint16_t(bytesPerPixel),
                        uint16_t(bytesPerPixel), int32_t(rowBytes), image.Stride(), nullptr,
                        nullptr) != 0;
        // Uncompressed, so the encoded strip is the raw bytes; each call appends to strip 0,
        // which covers the whole picture (no RowsPerStrip tag).
        const tmsize_t bytes = tmsize_t(rowBytes * size_t(rows));
        ok = ok && TIFFWriteRawStrip(tiff, 0, block.get(), bytes) == bytes;
    }
    // The directory is written here; a full disk shows up now rather than unnoticed in Close.
    ok = TIFFFlush(tiff) == 1 && ok;
    TIFFClose(tiff);
    if (!ok) std::remove(fileName);
    return ok ? 1 : 0;
}

}  // namespace

int WriteStillImage(const char* fileName, const ImageBuffer* image, unsigned format) {
    if (fileName == nullptr || *fileName == '\0' || image == nullptr || !image->IsUsable()) return 0;
    try {
        switch (format) {
        case kStillBmp: return WriteBmp(fileName, *image);
        case kStillRaw: return WriteRaw(fileName, *image);
        case kStillJpeg100: return WriteJpeg(fileName, *image, 100);
        case kStillJpeg70: return WriteJpeg(fileName, *image, 70);
        case kStillJpeg20: return WriteJpeg(fileName, *image, 20);
        case kStillPng: return WritePng(fileName, *image);
        case kStillTiff: return WriteTiff(fileName, *image);
        default: return 0;
        }
    } catch (...) {  // memory for a temporary buffer
        return 0;
    }
}

}  // namespace lumora
