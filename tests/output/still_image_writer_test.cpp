#include "output/still_image_writer.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
using namespace test::still;

void ExpectPicture(const ImageBuffer& b, const Picture& p, bool tiff) {
    ASSERT_EQ(p.width, b.Width());
    ASSERT_EQ(p.height, b.Height());
    EXPECT_EQ(Mismatches(b, p, tiff), 0);
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

// Rows of 1001 bytes (1004 in memory); tall enough that the strip is written in several blocks.
TEST(StillImage, TiffRowsHaveNoPadding) {
    ImageBuffer b;
    ASSERT_TRUE(b.Create(1001, 2500, 8));
    ASSERT_EQ(b.Stride(), 1004);
    FillRandom(b, 7);
    const std::string tif = TempPath("w1001.tif");
    ASSERT_EQ(WriteStillImage(tif.c_str(), &b, kStillTiff), 1);
    TiffTags tags;
    ExpectPicture(b, ReadTiff(tif, &tags), true);
    EXPECT_EQ(tags.scanlineBytes, 1001);
    EXPECT_EQ(tags.strips, 1u);
    EXPECT_EQ(tags.stripBytes, 1001u * 2500);
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

        EXPECT_TRUE(BmpMatches(b, FileBytes(bmp)));
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

// The three qualities show in the luminance table: all 1 at 100; the first entry 16 scaled to
// 10 at 70 and to 40 at 20, where the largest entry (121 x 2.5) is held to 255 by the forced
// baseline tables. Gray for 8 and 16 bits, colour otherwise.
TEST(StillImage, JpegQualityTables) {
    struct Case {
        unsigned format;
        unsigned first, largest;
    };
    for (int bits : kBitCounts) {
        ImageBuffer b;
        ASSERT_TRUE(b.Create(16, 16, bits));
        FillRandom(b, 11);
        for (const Case& c : {Case{kStillJpeg100, 1, 1}, Case{kStillJpeg70, 10, 73},
                              Case{kStillJpeg20, 40, 255}}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, format " << c.format);
            const std::string path = TempPath("quality.jpg");
            ASSERT_EQ(WriteStillImage(path.c_str(), &b, c.format), 1);
            std::FILE* f = std::fopen(path.c_str(), "rb");
            ASSERT_NE(f, nullptr);
            jpeg_decompress_struct cinfo;
            jpeg_error_mgr err;
            cinfo.err = jpeg_std_error(&err);
            jpeg_create_decompress(&cinfo);
            jpeg_stdio_src(&cinfo, f);
            jpeg_read_header(&cinfo, TRUE);
            EXPECT_TRUE(cinfo.progressive_mode);
            EXPECT_EQ(cinfo.data_precision, 8);
            EXPECT_EQ(cinfo.num_components, bits <= 16 ? 1 : 3);
            EXPECT_EQ(cinfo.jpeg_color_space, bits <= 16 ? JCS_GRAYSCALE : JCS_YCbCr);
            ASSERT_NE(cinfo.quant_tbl_ptrs[0], nullptr);
            const UINT16* q = cinfo.quant_tbl_ptrs[0]->quantval;
            EXPECT_EQ(q[0], c.first);
            EXPECT_EQ(*std::max_element(q, q + DCTSIZE2), c.largest);
            jpeg_destroy_decompress(&cinfo);
            std::fclose(f);
        }
    }
}

// The PNG header: bit depth, colour type, and compression, filter and interlace methods 0.
TEST(StillImage, PngHeaderFields) {
    const std::pair<int, std::vector<uint8_t>> cases[] = {
        {8, {8, 0}}, {16, {16, 0}}, {24, {8, 2}}, {32, {8, 6}}, {48, {16, 2}}, {64, {16, 6}}};
    for (const auto& [bits, depthAndType] : cases) {
        SCOPED_TRACE(bits);
        ImageBuffer b;
        ASSERT_TRUE(b.Create(3, 2, bits));
        const std::string path = TempPath("ihdr.png");
        ASSERT_EQ(WriteStillImage(path.c_str(), &b, kStillPng), 1);
        const std::vector<uint8_t> f = FileBytes(path);
        ASSERT_GE(f.size(), 33u);
        EXPECT_EQ(std::string(f.begin() + 12, f.begin() + 16), "IHDR");
        EXPECT_EQ(std::vector<uint8_t>(f.begin() + 24, f.begin() + 29),
                  (std::vector<uint8_t>{depthAndType[0], depthAndType[1], 0, 0, 0}));
    }
}

// BMP: reserved words 0, the buffer's 40-byte header as it is, and for 8 bits the gray ramp of
// the colour table between header and rows.
TEST(StillImage, BmpHeaderAndColourTable) {
    for (int bits : kBitCounts) {
        SCOPED_TRACE(bits);
        ImageBuffer b;
        ASSERT_TRUE(b.Create(7, 3, bits));
        const std::string path = TempPath("header.bmp");
        ASSERT_EQ(WriteStillImage(path.c_str(), &b, kStillBmp), 1);
        const std::vector<uint8_t> f = FileBytes(path);
        ASSERT_GE(f.size(), 54u);
        EXPECT_EQ(Le16(f, 6), 0u);
        EXPECT_EQ(Le16(f, 8), 0u);
        EXPECT_EQ(0, std::memcmp(f.data() + 14, &b.Header(), 40));
        if (bits == 8) {
            ASSERT_GE(f.size(), 1078u);
            for (int i = 0; i < 256; ++i) {
                const uint8_t entry[4] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
                EXPECT_EQ(0, std::memcmp(f.data() + 54 + 4 * i, entry, 4)) << i;
            }
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
    // What cannot be opened for writing is left alone: here an empty folder, which a careless
    // clean-up after the failure would delete.
    const std::string folder = TempPath("folder");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    for (unsigned format = 0; format <= 6; ++format) {
        EXPECT_EQ(WriteStillImage(folder.c_str(), &b, format), 0) << format;
        EXPECT_TRUE(FileExists(folder)) << format;
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
