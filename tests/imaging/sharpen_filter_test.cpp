#include "imaging/sharpen_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "filter_test_support.h"
#include "imaging/tone_filters.h"

namespace lumora {
namespace {

using test::Sample;

// The sharpened value of one channel, straight from the definition.
int Reference(const ImageBuffer& src, int x, int y, int ch, int s, int top) {
    int sum = 0;
    for (int j = y - 2; j <= y + 1; ++j)
        for (int i = x - 2; i <= x + 1; ++i) sum += Sample(src, i, j, ch);
    const int v = Sample(src, x, y, ch);
    return std::clamp(v + s * (v - sum / 16) / 10, 0, top);
}

TEST(Sharpen, PixelAboveItsNeighbourhoodMeanMovesAway) {
    ImageBuffer picture, copy;
    ASSERT_EQ(picture.Create(8, 8, 8), 1);
    ASSERT_EQ(copy.Create(8, 8, 8), 1);
    test::Fill(picture, 150);
    // (3, 3) reads columns 1..4 and rows 1..4: 14 x 150 + 200 + 100 = 16 x 150.
    test::SetSample(picture, 3, 3, 0, 200);
    test::SetSample(picture, 1, 1, 0, 100);
    ASSERT_EQ(SharpenPicture(picture, copy, 10), 1);
    EXPECT_EQ(Sample(picture, 3, 3), 250);
    // A flat picture stays as it is, at any strength.
    for (int bits : {8, 24, 48}) {
        ImageBuffer flat, scratch;
        ASSERT_EQ(flat.Create(9, 7, bits), 1);
        ASSERT_EQ(scratch.Create(9, 7, bits), 1);
        test::Fill(flat, 77);
        const auto before = test::Snapshot(flat);
        ASSERT_EQ(SharpenPicture(flat, scratch, 30), 1);
        EXPECT_EQ(test::Snapshot(flat), before) << bits;
    }
}

// Every format against the definition on random pictures; the two outer rows and columns, the
// fourth sample and the row padding keep their values.
TEST(Sharpen, MatchesTheDefinitionAndKeepsTheBorder) {
    std::mt19937 rng(3);
    for (test::VectorLevel8 level : {test::kPlainCode, test::kVectorLevels[0], test::kVectorLevels[1]})
    for (int bits : {8, 16, 24, 32, 48, 64}) {
        const test::VectorLimit limit(level);
        for (int s : {1, 7, 30}) {
          for (int width : {11 + s % 3, 45}) {
            const int height = 9;
            ImageBuffer picture, copy;
            ASSERT_EQ(picture.Create(width, height, bits), 1);
            ASSERT_EQ(copy.Create(width, height, bits), 1);
            test::FillRandom(picture, rng);
            const auto before = test::Snapshot(picture);
            ImageBuffer original;
            ASSERT_EQ(original.Create(width, height, bits), 1);
            std::copy(before.begin(), before.end(), original.Bits());
            ASSERT_EQ(SharpenPicture(picture, copy, s), 1);
            const bool wide = bits == 16 || bits >= 48;
            const int top = wide ? 4095 : 255;
            const int channels = test::SamplesPerPixel(picture);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    for (int ch = 0; ch < channels; ++ch) {
                        const bool inner = x >= 2 && x < width - 2 && y >= 2 && y < height - 2 && ch < 3;
                        const int expected = inner ? Reference(original, x, y, ch, s, top)
                                                   : Sample(original, x, y, ch);
                        ASSERT_EQ(Sample(picture, x, y, ch), expected)
                            << bits << " s" << s << " " << x << "," << y << "," << ch;
                    }
                }
                const int used = width * picture.BytesPerPixel();
                for (int i = used; i < picture.Stride(); ++i)
                    ASSERT_EQ(picture.Row(y)[i], before[y * picture.Stride() + i]);
            }
          }
        }
    }
}

// Bands of six rows, each copied and then sharpened up to the rows copied so far, give the
// picture of the whole-frame stage, whether the copy is the whole frame or a ring of rows just
// large enough for the rows a band reads; and copies made through a tone table give the picture
// of the table and then the stage (8-bit pictures, whose sharpening leaves samples of their
// pixels, refuse a copy through a routine and keep their rows).
TEST(Sharpen, BandsThroughARingOfRowsGiveTheWholeFramePicture) {
    std::mt19937 rng(8);
    std::vector<uint16_t> table(4096);
    for (size_t v = 0; v < table.size(); ++v) table[v] = static_cast<uint16_t>((v * 7 + 3) % (v < 256 ? 256 : 4096));
    for (int bits : {8, 24, 48}) {
        for (int ringRows : {0, 9, 16}) {
          for (bool through : {false, true}) {
            constexpr int kWidth = 23, kHeight = 61, kBand = 6;
            ImageBuffer picture, copy, whole, wholeCopy;
            ASSERT_EQ(picture.Create(kWidth, kHeight, bits), 1);
            ASSERT_EQ(copy.Create(kWidth, kHeight, bits), 1);
            ASSERT_EQ(whole.Create(kWidth, kHeight, bits), 1);
            ASSERT_EQ(wholeCopy.Create(kWidth, kHeight, bits), 1);
            test::FillRandom(picture, rng);
            const auto before = test::Snapshot(picture);
            std::copy(before.begin(), before.end(), whole.Bits());
            const PixelRoutine tone = bits == 48 ? ToneTable16 : ToneTable8;
            ToneTable curve{table.data()};
            ToneTable* record = &curve;
            const bool refused = through && bits == 8;
            if (through && !refused) {
                ASSERT_EQ(whole.Apply(tone, &whole, nullptr, 0, 0, &record, nullptr), 1);
            }
            if (!refused) {
                ASSERT_EQ(SharpenPicture(whole, wholeCopy, 9), 1);
            }
            for (int first = 0; first < kHeight; first += kBand) {
                const int end = std::min(first + kBand, kHeight);
                CopySharpenRows(picture, copy, first, end, ringRows, through ? tone : nullptr, &record);
                if (!refused) {
                    SharpenRows(picture, copy, 9, first == 0 ? 0 : first - 1, end == kHeight ? kHeight : end - 1,
                                ringRows);
                }
            }
            EXPECT_EQ(test::Snapshot(picture), test::Snapshot(whole))
                << bits << " bits, ring " << ringRows << (through ? ", through a table" : "");
          }
        }
    }
}

TEST(Sharpen, SmallOrMismatchedPicturesAreLeftAlone) {
    ImageBuffer picture, copy;
    ASSERT_EQ(picture.Create(4, 9, 24), 1);
    ASSERT_EQ(copy.Create(4, 9, 24), 1);
    std::mt19937 rng(1);
    test::FillRandom(picture, rng);
    const auto before = test::Snapshot(picture);
    EXPECT_EQ(SharpenPicture(picture, copy, 20), 1);
    EXPECT_EQ(test::Snapshot(picture), before);
    ImageBuffer other;
    ASSERT_EQ(other.Create(4, 9, 32), 1);
    EXPECT_EQ(SharpenPicture(picture, other, 20), 0);
    // The routine reads a copy: a picture as its own source is refused.
    int32_t strength = 10;
    int32_t* record = &strength;
    EXPECT_EQ(picture.Apply(Sharpen8, &picture, nullptr, 0, 0, &record, nullptr), 0);
    // Samples above the 12-bit range are limited, not wrapped.
    ImageBuffer wide, scratch;
    ASSERT_EQ(wide.Create(6, 6, 16), 1);
    ASSERT_EQ(scratch.Create(6, 6, 16), 1);
    test::Fill(wide, 4000);
    test::SetSample(wide, 2, 2, 0, 65535);
    ASSERT_EQ(SharpenPicture(wide, scratch, 30), 1);
    EXPECT_EQ(Sample(wide, 2, 2), 4095);
    EXPECT_EQ(Sample(wide, 3, 3), 0);  // far below the mean that the bright sample lifts
}

}  // namespace
}  // namespace lumora
