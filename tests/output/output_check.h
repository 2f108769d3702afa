#pragma once
// Checking output files: their bytes, still images read back with the encoder libraries' own
// decoders, and what they should hold for a given image buffer. Free of the test framework and
// of the operating system, so that the Wine-run test program shares it with the native tests.
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <fstream>
#include <iterator>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/image_buffer.h"

namespace lumora::test {

inline std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b.size() < at + 4 ? 0xDEADBEEFu
                             : uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 |
                                   uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

inline uint32_t Le16(const std::vector<uint8_t>& b, size_t at) {
    return b.size() < at + 2 ? 0xDEADBEEFu : uint32_t(b[at]) | uint32_t(b[at + 1]) << 8;
}

namespace still {

// A picture as the files should show it: top row first, samples in file order.
struct Picture {
    int width = 0, height = 0, channels = 0, depth = 0;  // depth: bits per sample
    std::vector<uint32_t> samples;
    uint32_t At(int x, int y, int c) const { return samples[(size_t(y) * width + x) * channels + c]; }
};

// ---- readers ---------------------------------------------------------------------------------

inline Picture DecodePng(std::FILE* f) {
    Picture p;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Picture{};
    }
    png_init_io(png, f);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    p.width = int(png_get_image_width(png, info));
    p.height = int(png_get_image_height(png, info));
    p.channels = png_get_channels(png, info);
    p.depth = png_get_bit_depth(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (int y = 0; y < p.height; ++y) {
        for (int i = 0; i < p.width * p.channels; ++i) {
            p.samples.push_back(p.depth == 16 ? uint32_t(rows[y][2 * i] << 8 | rows[y][2 * i + 1])
                                              : rows[y][i]);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return p;
}

inline Picture ReadPng(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return Picture{};
    Picture p = DecodePng(f);
    std::fclose(f);
    return p;
}

struct TiffTags {
    uint16_t photometric = 0, planar = 0, compression = 0;
    uint32_t strips = 0;
    uint64_t stripBytes = 0;
    tmsize_t scanlineBytes = 0;
};

inline Picture ReadTiff(const std::string& path, TiffTags* tags = nullptr) {
    Picture p;
    TIFF* t = TIFFOpen(path.c_str(), "rc");  // c: strips as stored, not chopped
    if (t == nullptr) return p;
    uint32_t w = 0, h = 0;
    uint16_t bits = 0, spp = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    if (tags != nullptr) {
        TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &tags->photometric);
        TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &tags->planar);
        TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &tags->compression);
        tags->strips = TIFFNumberOfStrips(t);
        tags->stripBytes = TIFFGetStrileByteCount(t, 0);
        tags->scanlineBytes = TIFFScanlineSize(t);
    }
    p.width = int(w), p.height = int(h), p.channels = spp, p.depth = bits;
    std::vector<uint8_t> line(size_t(TIFFScanlineSize(t)));
    for (uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(t, line.data(), y) < 0) break;
        // 16-bit samples come in the machine's byte order (little-endian here).
        for (int i = 0; i < p.width * p.channels; ++i) {
            p.samples.push_back(bits == 16 ? uint32_t(line[2 * i] | line[2 * i + 1] << 8) : line[i]);
        }
    }
    TIFFClose(t);
    return p;
}

struct JpegInfo {
    bool progressive = false;
};

inline Picture ReadJpeg(const std::string& path, JpegInfo* about = nullptr) {
    Picture p;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return p;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    if (about != nullptr) about->progressive = jpeg_has_multiple_scans(&cinfo);
    jpeg_start_decompress(&cinfo);
    p.width = int(cinfo.output_width), p.height = int(cinfo.output_height);
    p.channels = cinfo.output_components, p.depth = 8;
    std::vector<uint8_t> row(size_t(p.width) * p.channels);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&cinfo, &r, 1);
        p.samples.insert(p.samples.end(), row.begin(), row.end());
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return p;
}

// ---- pictures --------------------------------------------------------------------------------

inline uint32_t Sample(const uint8_t* p, int bytes) { return bytes == 2 ? uint32_t(p[0] | p[1] << 8) : p[0]; }

// Fills every pixel of a buffer from value(x, memoryRow, channel); 16-bit samples are 12-bit.
template <typename F>
void Fill(ImageBuffer& b, F value) {
    const int sampleBytes = (b.BitCount() == 16 || b.BitCount() >= 48) ? 2 : 1;
    const int channels = b.BytesPerPixel() / sampleBytes;
    for (int y = 0; y < b.Height(); ++y) {
        uint8_t* p = b.Row(y);
        for (int x = 0; x < b.Width(); ++x) {
            for (int c = 0; c < channels; ++c, p += sampleBytes) {
                const uint32_t v = value(x, y, c);
                p[0] = uint8_t(v);
                if (sampleBytes == 2) p[1] = uint8_t(v >> 8);
            }
        }
    }
}

inline void FillRandom(ImageBuffer& b, unsigned seed) {
    std::mt19937 rng(seed);
    const uint32_t top = (b.BitCount() == 16 || b.BitCount() >= 48) ? 4096 : 256;
    Fill(b, [&](int, int, int) { return rng() % top; });
}

// What a PNG or TIFF file of the buffer holds at (x, top-down y, file channel c).
inline uint32_t Expected(const ImageBuffer& b, int x, int y, int c, bool tiff) {
    const uint8_t* p = b.Row(y) + x * b.BytesPerPixel();
    switch (b.BitCount()) {
    case 8: return p[0];
    case 16: return Sample(p, 2) * 16;
    case 24: return p[2 - c];
    case 32: return c < 3 ? p[2 - c] : (tiff ? 0 : 255 - p[3]);
    default: return c < 3 ? Sample(p + 2 * (2 - c), 2) * 16 : 65535;  // 48, 64
    }
}

// Samples of a PNG (tiff false) or TIFF (tiff true) read back that differ from what the buffer
// should give; -1 when the size, depth or channel count is wrong.
inline int Mismatches(const ImageBuffer& b, const Picture& p, bool tiff) {
    const int bits = b.BitCount();
    if (p.width != b.Width() || p.height != b.Height() ||
        p.depth != ((bits == 16 || bits >= 48) ? 16 : 8) ||
        p.channels != (bits <= 16 ? 1 : (bits == 24 || bits == 48) ? 3 : 4) ||
        p.samples.size() != size_t(p.width) * p.height * p.channels)
        return -1;
    int wrong = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < p.channels; ++c) wrong += p.At(x, y, c) != Expected(b, x, y, c, tiff);
    return wrong;
}

// Whether a BMP file holds the buffer: header fields, and the rows bottom-up so that the last
// row in the file (the picture's top) is memory row 0.
inline bool BmpMatches(const ImageBuffer& b, const std::vector<uint8_t>& f) {
    const uint32_t offset = b.BitCount() <= 8 ? 1078 : 54;
    const size_t rowBytes = size_t(b.Width()) * b.BytesPerPixel();
    if (f.size() != offset + size_t(b.Stride()) * b.Height() || Le16(f, 0) != 0x4D42u ||
        Le32(f, 2) != f.size() || Le32(f, 10) != offset || Le32(f, 14) != 40u ||
        Le32(f, 18) != uint32_t(b.Width()) || Le32(f, 22) != uint32_t(b.Height()) ||
        Le16(f, 28) != b.BitCount())
        return false;
    for (int k = 0; k < b.Height(); ++k) {
        if (std::memcmp(f.data() + offset + size_t(k) * b.Stride(), b.Row(b.Height() - 1 - k),
                        rowBytes) != 0)
            return false;
    }
    return true;
}

}  // namespace still
}  // namespace lumora::test
