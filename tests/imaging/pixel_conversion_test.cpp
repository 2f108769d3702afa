#include "imaging/pixel_conversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/image_buffer.h"
#include "imaging/vector_support.h"
#include "vector_paths.h"

namespace lumora {
namespace {

uint16_t Get16(const ImageBuffer& b, int x, int y, int c = 0) {
    uint16_t v;
    std::memcpy(&v, b.Row(y) + x * b.BytesPerPixel() + 2 * c, 2);
    return v;
}
void Set16(ImageBuffer& b, int x, int y, int c, uint16_t v) {
    std::memcpy(b.Row(y) + x * b.BytesPerPixel() + 2 * c, &v, 2);
}

int Reduce(int v) { return std::min(v, 4095) / 16; }

class ConversionPaths : public VectorPaths {};

TEST_P(ConversionPaths, ReductionsToEightBits) {
    std::mt19937 rng(3);
    for (int width : {1, 7, 16, 33, 100}) {
        ImageBuffer gray16, gray8, colour48, colour24;
        ASSERT_EQ(gray16.Create(width, 5, 16), 1);
        ASSERT_EQ(gray8.Create(width, 5, 8), 1);
        ASSERT_EQ(colour48.Create(width, 5, 48), 1);
        ASSERT_EQ(colour24.Create(width, 5, 24), 1);
        std::uniform_int_distribution<int> d(0, 65535);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < width; ++x) {
                Set16(gray16, x, y, 0, static_cast<uint16_t>(d(rng) % 5000));
                for (int c = 0; c < 3; ++c) Set16(colour48, x, y, c, static_cast<uint16_t>(d(rng) % 5000));
            }
        ASSERT_EQ(gray8.Apply(Gray16To8, &gray16, nullptr, 0, 0, nullptr, nullptr), 1);
        ASSERT_EQ(colour24.Apply(Colour48To24, &colour48, nullptr, 0, 0, nullptr, nullptr), 1);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < width; ++x) {
                ASSERT_EQ(gray8.Row(y)[x], Reduce(Get16(gray16, x, y)));
                for (int c = 0; c < 3; ++c) ASSERT_EQ(colour24.Row(y)[3 * x + c], Reduce(Get16(colour48, x, y, c)));
            }
        ASSERT_EQ(gray8.Apply(Gray16To8Flipped, &gray16, nullptr, 0, 0, nullptr, nullptr), 1);
        ASSERT_EQ(colour24.Apply(Colour48To24Flipped, &colour48, nullptr, 0, 0, nullptr, nullptr), 1);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < width; ++x) {
                ASSERT_EQ(gray8.Row(y)[x], Reduce(Get16(gray16, x, 4 - y)));
                for (int c = 0; c < 3; ++c) ASSERT_EQ(colour24.Row(y)[3 * x + c], Reduce(Get16(colour48, x, 4 - y, c)));
            }
    }
}

TEST_P(ConversionPaths, RedBlueExchangeIntoAnotherBufferAndInPlace) {
    std::mt19937 rng(5);
    for (int width = 1; width <= 40; ++width) {
        ImageBuffer source, swapped, inPlace;
        ASSERT_EQ(source.Create(width, 3, 24), 1);
        ASSERT_EQ(swapped.Create(width, 3, 24), 1);
        ASSERT_EQ(inPlace.Create(width, 3, 24), 1);
        for (int y = 0; y < 3; ++y)
            for (int i = 0; i < 3 * width; ++i) source.Row(y)[i] = inPlace.Row(y)[i] = static_cast<uint8_t>(rng());
        ASSERT_EQ(swapped.Apply(SwapRedBlue24, &source, nullptr, 0, 0, nullptr, nullptr), 1);
        ASSERT_EQ(inPlace.Apply(SwapRedBlue24, &inPlace, nullptr, 0, 0, nullptr, nullptr), 1);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(swapped.Row(y)[3 * x + c], source.Row(y)[3 * x + 2 - c]) << width << " " << x;
                    ASSERT_EQ(inPlace.Row(y)[3 * x + c], source.Row(y)[3 * x + 2 - c]) << width << " " << x;
                }
    }
}

LUMORA_EVERY_ROUTINE_SET(ConversionPaths);

TEST(PixelConversion, TwelveBitEndPoints) {
    ImageBuffer gray16, gray8;
    ASSERT_EQ(gray16.Create(2, 1, 16), 1);
    ASSERT_EQ(gray8.Create(2, 1, 8), 1);
    Set16(gray16, 0, 0, 0, 4095);
    Set16(gray16, 1, 0, 0, 65535);  // outside the 12-bit range: limited, not wrapped
    ASSERT_EQ(gray8.Apply(Gray16To8, &gray16, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(gray8.Row(0)[0], 255);
    EXPECT_EQ(gray8.Row(0)[1], 255);
    ImageBuffer widened;
    ASSERT_EQ(widened.Create(2, 1, 16), 1);
    ASSERT_EQ(widened.Apply(Gray16Widen, &gray16, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(Get16(widened, 0, 0), 65520);
    EXPECT_EQ(Get16(widened, 1, 0), 65520);
}

TEST(PixelConversion, ColourToGray) {
    ImageBuffer colour, gray;
    ASSERT_EQ(colour.Create(3, 1, 24), 1);
    ASSERT_EQ(gray.Create(3, 1, 8), 1);
    const uint8_t pixels[9] = {255, 255, 255, 0, 0, 255, 10, 200, 30};
    std::memcpy(colour.Row(0), pixels, 9);
    ASSERT_EQ(gray.Apply(ColourToGray, &colour, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(gray.Row(0)[0], 255);
    EXPECT_EQ(gray.Row(0)[1], 76);
    EXPECT_EQ(gray.Row(0)[2], (59 * 200 + 30 * 30 + 11 * 10) / 100);
}

TEST(PixelConversion, RegionMeans) {
    ImageBuffer raw8, raw16;
    ASSERT_EQ(raw8.Create(10, 10, 8), 1);
    ASSERT_EQ(raw16.Create(10, 10, 16), 1);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            raw8.Row(y)[x] = static_cast<uint8_t>(x * 20 + y);
            Set16(raw16, x, y, 0, static_cast<uint16_t>((x * 20 + y) * 16 + 15));
        }
    // Picture rows 2..3 are memory rows 6..7; columns 1..4: mean of x*20 + y.
    const Rect r{1, 2, 5, 4};
    const int want = ((20 + 40 + 60 + 80) * 2 + 4 * (6 + 7)) / 8;
    EXPECT_EQ(raw8.Apply(RegionMean8, &raw8, &r, 1, 2, nullptr, nullptr), want);
    EXPECT_EQ(raw16.Apply(RegionMean16, &raw16, &r, 1, 2, nullptr, nullptr), want);
    const Rect none{3, 3, 3, 8};
    EXPECT_EQ(raw8.Apply(RegionMean8, &raw8, &none, 3, 3, nullptr, nullptr), 0);
}

TEST(PixelConversion, UnpackSpreadsPackedRows) {
    for (int bits : {8, 16}) {
        const int bytes = bits / 8;
        ImageBuffer b;
        ASSERT_EQ(b.Create(5, 4, bits), 1);  // packed rows of 5 or 10 bytes, strides 8 and 12
        std::vector<uint8_t> packed(static_cast<size_t>(5 * 4 * bytes));
        for (size_t i = 0; i < packed.size(); ++i) packed[i] = static_cast<uint8_t>(i + 1);
        std::memcpy(b.Bits(), packed.data(), packed.size());
        ASSERT_EQ(b.Apply(bits == 8 ? UnpackRows8 : UnpackRows16, &b, nullptr, 0, 0, nullptr, nullptr), 1);
        for (int y = 0; y < 4; ++y)
            EXPECT_EQ(std::memcmp(b.Row(y), packed.data() + y * 5 * bytes, 5 * bytes), 0) << bits << " row " << y;
    }
    ImageBuffer exact;
    ASSERT_EQ(exact.Create(8, 3, 8), 1);
    for (int i = 0; i < 24; ++i) exact.Bits()[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(exact.Apply(UnpackRows8, &exact, nullptr, 0, 0, nullptr, nullptr), 1);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(exact.Bits()[i], i);
}

TEST(PixelConversion, ByteOrderConversions) {
    ImageBuffer c32, c24, out32;
    ASSERT_EQ(c32.Create(2, 2, 32), 1);
    ASSERT_EQ(c24.Create(2, 2, 24), 1);
    ASSERT_EQ(out32.Create(2, 2, 32), 1);
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 8; ++i) c32.Row(y)[i] = static_cast<uint8_t>(10 * y + i + 1);
    ASSERT_EQ(c24.Apply(Colour32To24, &c32, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(c24.Row(1)[3], 15);
    EXPECT_EQ(c24.Row(1)[5], 17);
    ASSERT_EQ(c24.Apply(Colour24Flipped, &c32, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(c24.Row(0)[0], 11);
    EXPECT_EQ(c24.Row(1)[0], 1);
    ASSERT_EQ(out32.Apply(SwapRedBlue24, &c32, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(out32.Row(0)[0], 3);
    EXPECT_EQ(out32.Row(0)[1], 2);
    EXPECT_EQ(out32.Row(0)[2], 1);
    EXPECT_EQ(out32.Row(0)[3], 0);  // fourth byte keeps the copy's initial 0
    ASSERT_EQ(out32.Apply(Opaque32, &c32, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(out32.Row(0)[0], 1);
    EXPECT_EQ(out32.Row(0)[3], 255 - 4);
    EXPECT_EQ(out32.Row(1)[7], 255 - 18);
    ImageBuffer gray;
    ASSERT_EQ(gray.Create(2, 2, 8), 1);
    EXPECT_EQ(gray.Apply(Opaque32, &c32, nullptr, 0, 0, nullptr, nullptr), 0);
}

TEST(PixelConversion, WideningsAndSwaps) {
    ImageBuffer c48, out48, out64;
    ASSERT_EQ(c48.Create(1, 1, 48), 1);
    ASSERT_EQ(out48.Create(1, 1, 48), 1);
    ASSERT_EQ(out64.Create(1, 1, 64), 1);
    Set16(c48, 0, 0, 0, 1);
    Set16(c48, 0, 0, 1, 2);
    Set16(c48, 0, 0, 2, 4095);
    ASSERT_EQ(out48.Apply(Colour48Widen, &c48, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(Get16(out48, 0, 0, 0), 16);
    EXPECT_EQ(Get16(out48, 0, 0, 2), 65520);
    ASSERT_EQ(out48.Apply(SwapRedBlue48, &c48, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(Get16(out48, 0, 0, 0), 65520);
    EXPECT_EQ(Get16(out48, 0, 0, 1), 32);
    EXPECT_EQ(Get16(out48, 0, 0, 2), 16);
    ASSERT_EQ(out64.Apply(Colour64Widen, &c48, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(Get16(out64, 0, 0, 0), 16);
    EXPECT_EQ(Get16(out64, 0, 0, 3), 65535);
    ASSERT_EQ(out64.Apply(SwapRedBlue64, &c48, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(Get16(out64, 0, 0, 0), 65520);
    EXPECT_EQ(Get16(out64, 0, 0, 3), 65535);
}

TEST(PixelConversion, CopyRowsFlippedReversesRows) {
    ImageBuffer a, b;
    ASSERT_EQ(a.Create(3, 4, 8), 1);
    ASSERT_EQ(b.Create(3, 4, 8), 1);
    for (int y = 0; y < 4; ++y) std::memset(a.Row(y), y + 1, 4);
    ASSERT_EQ(b.Apply(CopyRowsFlipped, &a, nullptr, 0, 0, nullptr, nullptr), 1);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(b.Row(y)[3], 4 - y);  // padding travels along
    ImageBuffer other;
    ASSERT_EQ(other.Create(3, 4, 24), 1);
    EXPECT_EQ(other.Apply(CopyRowsFlipped, &a, nullptr, 0, 0, nullptr, nullptr), 0);
}

TEST(PixelConversion, PreviewScalingTurnsRowsOver) {
    ImageBuffer picture, window;
    ASSERT_EQ(picture.Create(100, 100, 8), 1);
    ASSERT_EQ(window.Create(50, 50, 8), 1);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) picture.Row(y)[x] = static_cast<uint8_t>(y);
    ASSERT_EQ(window.ApplyScaled(ScalePreview8, &picture, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(window.Row(0)[0], 99);
    EXPECT_EQ(window.Row(1)[0], 97);
    EXPECT_EQ(window.Row(2)[7], 95);
    EXPECT_EQ(window.Row(49)[49], 1);

    // Columns: 3 into 7 takes trunc(j * 3/7) (float 0.42857143).
    ImageBuffer small, wide;
    ASSERT_EQ(small.Create(3, 1, 24), 1);
    ASSERT_EQ(wide.Create(7, 2, 24), 1);
    for (int i = 0; i < 9; ++i) small.Row(0)[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(wide.ApplyScaled(ScalePreview24, &small, nullptr, nullptr, nullptr, nullptr), 1);
    const int cols[7] = {0, 0, 0, 1, 1, 2, 2};
    for (int y = 0; y < 2; ++y)
        for (int j = 0; j < 7; ++j)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(wide.Row(y)[3 * j + c], 3 * cols[j] + c);
    EXPECT_EQ(wide.ApplyScaled(ScalePreview8, &small, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST(PixelConversion, PreviewScalingTruncatesTheExactProduct) {
    // 3488 into 6: the float ratio 581.33331298828125 lies below 3488 / 6, so index 3 is at
    // 1743.99993896484375 and takes 1743. Rounding that product to a float would give 1744.
    ImageBuffer line, window;
    ASSERT_EQ(line.Create(3488, 1, 8), 1);
    ASSERT_EQ(window.Create(6, 1, 8), 1);
    for (int x = 0; x < 3488; ++x) line.Row(0)[x] = static_cast<uint8_t>(x % 251);
    ASSERT_EQ(window.ApplyScaled(ScalePreview8, &line, nullptr, nullptr, nullptr, nullptr), 1);
    const int cols[6] = {0, 581, 1162, 1743, 2325, 2906};
    for (int j = 0; j < 6; ++j) EXPECT_EQ(window.Row(0)[j], cols[j] % 251) << j;

    // The same holds for rows, counted from the last memory row.
    ImageBuffer column, tall;
    ASSERT_EQ(column.Create(1, 3488, 24), 1);
    ASSERT_EQ(tall.Create(1, 6, 24), 1);
    for (int y = 0; y < 3488; ++y) std::memset(column.Row(y), y % 251, 3);
    ASSERT_EQ(tall.ApplyScaled(ScalePreview24, &column, nullptr, nullptr, nullptr, nullptr), 1);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(tall.Row(i)[1], (3487 - cols[i]) % 251) << i;
}

}  // namespace
}  // namespace lumora
