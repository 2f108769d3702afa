#include "imaging/white_balance_filter.h"

#include <gtest/gtest.h>

#include "filter_test_support.h"
#include "imaging/filter_settings.h"

namespace lumora {
namespace {

// Colour of a mosaic position as the demosaic reads it: 0 green, 1 red, 2 blue.
int ColourAt(int phase, int x, int y) {
    const int p = (phase & 1) ^ (y & 1), q = ((phase >> 1) & 1) ^ (x & 1);
    if (p == q) return 0;
    return p == 1 ? 1 : 2;
}

// A raw frame with the given value per colour.
void Paint(ImageBuffer& b, int phase, int green, int red, int blue) {
    const int values[3] = {green, red, blue};
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) test::SetSample(b, x, y, 0, values[ColourAt(phase, x, y)]);
}

TEST(WhiteBalance, GainsBringRedAndBlueToGreen) {
    for (int bits : {8, 16}) {
        for (int phase = 0; phase < 4; ++phase) {
            ImageBuffer raw;
            ASSERT_EQ(raw.Create(6, 5, bits), 1);
            const int scale = bits == 8 ? 1 : 16;
            Paint(raw, phase, 100 * scale, 50 * scale, 100 * scale);
            int32_t block[4] = {0, 0, 0, phase};
            int32_t* record = block;
            ASSERT_EQ(raw.Apply(bits == 8 ? MeasureWhiteBalance8 : MeasureWhiteBalance16, &raw,
                                nullptr, 0, 0, &record, nullptr),
                      1);
            EXPECT_EQ(block[0], 100) << bits << " " << phase;  // blue
            EXPECT_EQ(block[1], 100);
            EXPECT_EQ(block[2], 200);  // red
        }
    }
}

// The evaluation order decides the last digit: a red mean a fifth of green gives 499.
TEST(WhiteBalance, GainFormulaAndItsUndefinedCases) {
    int32_t gains[3];
    const uint64_t counts[3] = {1, 1, 1};
    const uint64_t fifth[3] = {5, 1, 5};
    WhiteBalanceGains(fifth, counts, gains);
    EXPECT_EQ(gains[2], 499);
    EXPECT_EQ(gains[0], 100);
    const uint64_t black[3] = {0, 0, 0};
    WhiteBalanceGains(black, counts, gains);
    EXPECT_EQ(gains[0], 100);
    EXPECT_EQ(gains[2], 100);
    const uint64_t noRed[3] = {80, 0, 40};
    WhiteBalanceGains(noRed, counts, gains);
    EXPECT_EQ(gains[2], 65535);
    EXPECT_EQ(gains[0], 200);
    const uint64_t noGreen[3] = {0, 30, 0};
    WhiteBalanceGains(noGreen, counts, gains);
    EXPECT_EQ(gains[2], 0);
    EXPECT_EQ(gains[0], 100);
    const uint64_t someSums[3] = {10, 10, 10};
    const uint64_t missingBlue[3] = {1, 1, 0};
    WhiteBalanceGains(someSums, missingBlue, gains);
    EXPECT_EQ(gains[0], 100);
    EXPECT_EQ(gains[1], 100);
    EXPECT_EQ(gains[2], 100);
}

FilterSettings AutoSettings(int phase) {
    FilterSettings s;
    s.whiteBalanceRed = s.whiteBalanceGreen = s.whiteBalanceBlue = 100;
    s.bayerPhase = phase;
    s.autoWhiteBalance = 1;
    return s;
}

TEST(WhiteBalanceStage, LimitsTheGainsTo400) {
    ImageBuffer raw;
    ASSERT_EQ(raw.Create(8, 8, 8), 1);
    Paint(raw, 3, 200, 40, 0);  // red a fifth of green, blue black
    FilterSettings s = AutoSettings(3);
    EXPECT_TRUE(AutoWhiteBalance(s, raw));
    EXPECT_EQ(s.whiteBalanceRed, 400);
    EXPECT_EQ(s.whiteBalanceGreen, 100);
    EXPECT_EQ(s.whiteBalanceBlue, 400);
    // A black frame keeps unity.
    test::Fill(raw, 0);
    EXPECT_TRUE(AutoWhiteBalance(s, raw));
    EXPECT_EQ(s.whiteBalanceRed, 100);
    EXPECT_EQ(s.whiteBalanceBlue, 100);
}

TEST(WhiteBalanceStage, OnceMarkersEndAfterOneFrame) {
    ImageBuffer raw;
    ASSERT_EQ(raw.Create(8, 8, 16), 1);
    Paint(raw, 1, 1600, 800, 1600);
    FilterSettings s = AutoSettings(1);
    s.autoWhiteBalanceOnce[0] = s.autoWhiteBalanceOnce[1] = 1;
    EXPECT_TRUE(AutoWhiteBalance(s, raw));
    EXPECT_EQ(s.whiteBalanceRed, 200);
    EXPECT_EQ(s.autoWhiteBalance, 0);
    EXPECT_EQ(s.autoWhiteBalanceOnce[0], 0);
    EXPECT_EQ(s.autoWhiteBalanceOnce[1], 0);
    s.whiteBalanceRed = 100;
    EXPECT_FALSE(AutoWhiteBalance(s, raw));
    EXPECT_EQ(s.whiteBalanceRed, 100);
    // Markers clear (or only one set): it runs on every frame.
    s.autoWhiteBalance = 1;
    s.autoWhiteBalanceOnce[0] = 1;
    for (int frame = 0; frame < 3; ++frame) {
        s.whiteBalanceRed = 0;
        EXPECT_TRUE(AutoWhiteBalance(s, raw));
        EXPECT_EQ(s.whiteBalanceRed, 200);
        EXPECT_EQ(s.autoWhiteBalance, 1);
    }
    // Not a raw frame: nothing is measured.
    ImageBuffer colour;
    ASSERT_EQ(colour.Create(8, 8, 24), 1);
    EXPECT_FALSE(AutoWhiteBalance(s, colour));
}

}  // namespace
}  // namespace lumora
