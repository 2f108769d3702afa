#include "output/still_image_writer.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/image_buffer.h"
#include "output_test_util.h"

namespace lumora {
namespace {

using test::FileBytes;
using test::FileExists;
using test::Le16;
using test::Le32;
using test::TempPath;

// A picture as the files should show it: top row first, samples in file order.
struct Picture {
    int width = 0, height = 0, channels = 0, depth = 0;  // depth: bits per sample
    std::vector<uint32_t> samples;
    uint32_t At(int x, int y, int c) const { return samples[(size_t(y) * width + x) * channels + c]; }
};

// ---- readers ---------------------------------------------------------------------------------

Picture DecodePng(std::FILE* f) {
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

Picture ReadPng(const std::string& path) {
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

Picture ReadTiff(const std::string& path, TiffTags* tags = nullptr) {
    Picture p;
    TIFF* t = TIFFOpen(path.c_str(), "r");
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

Picture ReadJpeg(const std::string& path, JpegInfo* about = nullptr) {
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

uint32_t Sample(const uint8_t* p, int bytes) { return bytes == 2 ? uint32_t(p[0] | p[1] << 8) : p[0]; }

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

void FillRandom(ImageBuffer& b, unsigned seed) {
    std::mt19937 rng(seed);
    const uint32_t top = (b.BitCount() == 16 || b.BitCount() >= 48) ? 4096 : 256;
    Fill(b, [&](int, int, int) { return rng() % top; });
}

// What a PNG or TIFF file of the buffer holds at (x, top-down y, file channel c).
uint32_t Expected(const ImageBuffer& b, int x, int y, int c, bool tiff) {
    const uint8_t* p = b.Row(y) + x * b.BytesPerPixel();
    switch (b.BitCount()) {
    case 8: return p[0];
    case 16: return Sample(p, 2) * 16;
    case 24: return p[2 - c];
    case 32: return c < 3 ? p[2 - c] : (tiff ? 0 : 255 - p[3]);
    default: return c < 3 ? Sample(p + 2 * (2 - c), 2) * 16 : 65535;  // 48, 64
    }
}

void ExpectPicture(const ImageBuffer& b, const Picture& p, bool tiff) {
    ASSERT_EQ(p.width, b.Width());
    ASSERT_EQ(p.height, b.Height());
    const int bits = b.BitCount();
    ASSERT_EQ(p.depth, (bits == 16 || bits >= 48) ? 16 : 8);
    ASSERT_EQ(p.channels, bits <= 16 ? 1 : (bits == 24 || bits == 48) ? 3 : 4);
    ASSERT_EQ(p.samples.size(), size_t(p.width) * p.height * p.channels);
    int wrong = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < p.channels; ++c)
                if (p.At(x, y, c) != Expected(b, x, y, c, tiff) && ++wrong < 5)
                    ADD_FAILURE() << "at " << x << "," << y << "," << c << ": " << p.At(x, y, c)
                                  << " != " << Expected(b, x, y, c, tiff);
    EXPECT_EQ(wrong, 0);
}

const int kBitCounts[] = {8, 16, 24, 32, 48, 64};

// ---- tests -----------------------------------------------------------------------------------

// PNG and TIFF keep every sample: colour order, widening, the fourth channel, top row = memory
// row 0; odd widths exercise the row padding.
TEST(StillImage, PngAndTiffAreExact) {
    for (int bits : kBitCounts) {
        SCOPED_TRACE(bits);
        ImageBuffer b;
        ASSERT_TRUE(b.Create(13, 7, bits));
        FillRandom(b, unsigned(bits));
        const std::string png = TempPath("exact.png"), tif = TempPath("exact.tif");
        ASSERT_EQ(WriteStillImage(png.c_str(), &b, kStillPng), 1);
        ASSERT_EQ(WriteStillImage(tif.c_str(), &b, kStillTiff), 1);
        ExpectPicture(b, ReadPng(png), false);
        TiffTags tags;
        ExpectPicture(b, ReadTiff(tif, &tags), true);
        EXPECT_EQ(tags.photometric, bits <= 16 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        EXPECT_EQ(tags.compression, COMPRESSION_NONE);
        EXPECT_EQ(tags.planar, PLANARCONFIG_CONTIG);
        EXPECT_EQ(tags.strips, 1u);
    }
}

TEST(StillImage, SixteenBitGrayIsWidenedTo16Bits) {
    ImageBuffer b;
    ASSERT_TRUE(b.Create(3, 2, 16));
    Fill(b, [](int x, int, int) { return x == 0 ? 4095u : x == 1 ? 0u : 1u; });
    const std::string png = TempPath("gray16.png"), tif = TempPath("gray16.tif");
    ASSERT_EQ(WriteStillImage(png.c_str(), &b, kStillPng), 1);
    ASSERT_EQ(WriteStillImage(tif.c_str(), &b, kStillTiff), 1);
    for (const Picture& p : {ReadPng(png), ReadTiff(tif)}) {
        ASSERT_EQ(p.depth, 16);
        EXPECT_EQ(p.At(0, 1, 0), 65520u);
        EXPECT_EQ(p.At(1, 1, 0), 0u);
        EXPECT_EQ(p.At(2, 0, 0), 16u);
    }
    // ImageMagick agrees on the depth and the value.
    EXPECT_EQ(test::Run("identify -format '%z %[fx:maxima*65535]' '" + png + "'"), "16 65520");
}

TEST(StillImage, TiffRowsHaveNoPadding) {
    ImageBuffer b;
    ASSERT_TRUE(b.Create(1001, 3, 8));
    ASSERT_EQ(b.Stride(), 1004);
    FillRandom(b, 7);
    const std::string tif = TempPath("w1001.tif");
    ASSERT_EQ(WriteStillImage(tif.c_str(), &b, kStillTiff), 1);
    TiffTags tags;
    ExpectPicture(b, ReadTiff(tif, &tags), true);
    EXPECT_EQ(tags.scanlineBytes, 1001);
    EXPECT_EQ(tags.strips, 1u);
    EXPECT_EQ(tags.stripBytes, 3003u);
}

TEST(StillImage, BmpAndRawLayouts) {
    for (int bits : kBitCounts) {
        SCOPED_TRACE(bits);
        ImageBuffer b;
        ASSERT_TRUE(b.Create(5, 4, bits));
        FillRandom(b, 100u + bits);
        const std::string bmp = TempPath("layout.bmp"), raw = TempPath("layout.raw");
        ASSERT_EQ(WriteStillImage(bmp.c_str(), &b, kStillBmp), 1);
        ASSERT_EQ(WriteStillImage(raw.c_str(), &b, kStillRaw), 1);

        const std::vector<uint8_t> r = FileBytes(raw);
        ASSERT_EQ(r.size(), size_t(b.Stride()) * 4);
        EXPECT_EQ(0, std::memcmp(r.data(), b.Bits(), r.size()));

        const std::vector<uint8_t> f = FileBytes(bmp);
        const uint32_t offset = bits <= 8 ? 1078 : 54;
        ASSERT_EQ(f.size(), offset + size_t(b.Stride()) * 4);
        EXPECT_EQ(Le16(f, 0), 0x4D42u);
        EXPECT_EQ(Le32(f, 2), f.size());
        EXPECT_EQ(Le32(f, 10), offset);
        EXPECT_EQ(Le32(f, 14), 40u);
        EXPECT_EQ(Le32(f, 18), 5u);
        EXPECT_EQ(Le32(f, 22), 4u);
        EXPECT_EQ(Le16(f, 28), uint32_t(bits));
        // Bottom-up file rows: the last row in the file is the picture's top, memory row 0.
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(0, std::memcmp(f.data() + offset + k * b.Stride(), b.Row(3 - k),
                                     size_t(5) * b.BytesPerPixel()))
                << "file row " << k;
        }
    }
}

// The same top row in every format, and red stays red, at every colour bit count.
TEST(StillImage, RedTopRowEverywhere) {
    for (int bits : {24, 32, 48, 64}) {
        ImageBuffer b;
        ASSERT_TRUE(b.Create(32, 32, bits));
        const uint32_t full = bits >= 48 ? 4095 : 255;
        // Memory rows 0-15 red, the rest blue (whole blocks, so JPEG's chroma does not mix
        // them); the fourth sample, where there is one, 0 as the colour routines leave it.
        Fill(b, [&](int, int y, int c) { return c == (y < 16 ? 2 : 0) ? full : 0u; });
        std::vector<std::pair<unsigned, std::string>> files = {
            {kStillPng, "png"}, {kStillTiff, "tif"}, {kStillJpeg100, "jpg"}};
        if (bits <= 32) files.push_back({kStillBmp, "bmp"});  // readers take 24 and 32 bits only
        for (const auto& [format, extension] : files) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << extension);
            const std::string path = TempPath("red." + extension);
            ASSERT_EQ(WriteStillImage(path.c_str(), &b, format), 1);
            // ImageMagick reads every file: top-left pixel red, bottom-left blue.
            for (const auto& [y, red] : {std::pair{0, true}, std::pair{31, false}}) {
                const std::string rgb = test::Run("convert '" + path + "' -crop 1x1+0+" +
                                                  std::to_string(y) +
                                                  " -depth 8 rgb:- | od -An -tu1");
                unsigned r = 0, g = 0, bl = 0;
                ASSERT_EQ(std::sscanf(rgb.c_str(), "%u %u %u", &r, &g, &bl), 3) << rgb;
                EXPECT_EQ(r > 240, red) << rgb;
                EXPECT_LT(g, 16u) << rgb;
                EXPECT_EQ(bl > 240, !red) << rgb;
            }
        }
    }
}

// JPEG: progressive, gray for 8 and 16 bits, colour otherwise, close to the picture at each
// quality, and the lower the quality the smaller the file.
TEST(StillImage, JpegWithinItsError) {
    for (int bits : kBitCounts) {
        SCOPED_TRACE(bits);
        ImageBuffer b;
        ASSERT_TRUE(b.Create(67, 45, bits));
        const uint32_t scale = (bits == 16 || bits >= 48) ? 16 : 1;
        // A smooth picture, different in each channel and along each axis.
        Fill(b, [&](int x, int y, int c) { return uint32_t(20 + x + 2 * y + 20 * c) * scale; });
        size_t previousSize = SIZE_MAX;
        for (unsigned format : {kStillJpeg100, kStillJpeg70, kStillJpeg20}) {
            SCOPED_TRACE(format);
            const std::string jpg = TempPath("smooth.jpg");
            ASSERT_EQ(WriteStillImage(jpg.c_str(), &b, format), 1);
            JpegInfo about;
            const Picture p = ReadJpeg(jpg, &about);
            EXPECT_TRUE(about.progressive);
            ASSERT_EQ(p.width, 67);
            ASSERT_EQ(p.height, 45);
            ASSERT_EQ(p.channels, bits <= 16 ? 1 : 3);
            const int tolerance = format == kStillJpeg100 ? 3 : format == kStillJpeg70 ? 8 : 24;
            double sum = 0;
            int worst = 0;
            for (int y = 0; y < 45; ++y) {
                for (int x = 0; x < 67; ++x) {
                    for (int c = 0; c < p.channels; ++c) {
                        const int fileChannel = p.channels == 1 ? 0 : 2 - c;  // RGB vs BGR
                        const int want = int(20 + x + 2 * y + 20 * fileChannel);
                        const int diff = std::abs(int(p.At(x, y, c)) - want);
                        worst = std::max(worst, diff);
                        sum += diff;
                    }
                }
            }
            EXPECT_LT(sum / p.samples.size(), tolerance / 2.0);
            EXPECT_LE(worst, tolerance * 2);
            const size_t size = FileBytes(jpg).size();
            EXPECT_LT(size, previousSize);
            previousSize = size;
        }
    }
}

TEST(StillImage, RefusedWithoutAFile) {
    ImageBuffer b;
    const std::string path = TempPath("refused.png");
    std::remove(path.c_str());
    EXPECT_EQ(WriteStillImage(path.c_str(), &b, kStillPng), 0);  // empty buffer
    EXPECT_EQ(WriteStillImage(path.c_str(), nullptr, kStillPng), 0);
    ASSERT_TRUE(b.Create(4, 4, 24));
    EXPECT_EQ(WriteStillImage(nullptr, &b, kStillPng), 0);
    EXPECT_EQ(WriteStillImage("", &b, kStillPng), 0);
    EXPECT_EQ(WriteStillImage(path.c_str(), &b, 7), 0);
    EXPECT_EQ(WriteStillImage(path.c_str(), &b, 0xFFFFFFFFu), 0);
    EXPECT_FALSE(FileExists(path));
    for (unsigned format = 0; format <= 6; ++format) {
        EXPECT_EQ(WriteStillImage(::testing::TempDir().c_str(), &b, format), 0) << format;
        EXPECT_EQ(WriteStillImage(TempPath("no/such/dir").c_str(), &b, format), 0) << format;
    }
}

// Encoder errors come back as 0 and leave no file: JPEG's limit of 65500 pixels per row, and
// PNG's default limit of a million, which also prints the library's message.
TEST(StillImage, EncoderErrorsReturnZero) {
    ImageBuffer wide;
    ASSERT_TRUE(wide.Create(1000001, 1, 8));
    const std::string jpg = TempPath("wide.jpg"), png = TempPath("wide.png");
    EXPECT_EQ(WriteStillImage(jpg.c_str(), &wide, kStillJpeg70), 0);
    EXPECT_FALSE(FileExists(jpg));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WriteStillImage(png.c_str(), &wide, kStillPng), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("\nlibpng error: Invalid IHDR data\n"), std::string::npos) << err;
    EXPECT_FALSE(FileExists(png));
}

// A full disk: every writer reports the failure and removes its partial file.
TEST(StillImage, FullDiskRemovesPartialFile) {
    for (int bits : {8, 24, 64}) {
        ImageBuffer b;
        ASSERT_TRUE(b.Create(300, 200, bits));
        FillRandom(b, 3);
        for (unsigned format = 0; format <= 6; ++format) {
            SCOPED_TRACE(testing::Message() << bits << " bits, format " << format);
            const std::string path = TempPath("full.out");
            std::remove(path.c_str());
            test::FileSizeLimit limit(5000);
            ASSERT_TRUE(limit.active());
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(WriteStillImage(path.c_str(), &b, format), 0);
            ::testing::internal::GetCapturedStderr();
            limit.Lift();
            EXPECT_FALSE(FileExists(path));
        }
    }
}

}  // namespace
}  // namespace lumora
