#include "imaging/tone_filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "filter_test_support.h"

namespace lumora {
namespace {

using test::RunInPlace;
using test::Sample;

std::vector<uint16_t> Table(void (*build)(int32_t, int32_t, uint16_t*), int32_t setting,
                            int32_t maxValue) {
    std::vector<uint16_t> t(maxValue + 1);
    build(setting, maxValue, t.data());
    return t;
}

// The table as the search describes it: for each i the first k = 2, 3, ... with
// log10(k - 1) <= m <= log10(k + 1), or M when none up to M - 1 qualifies.
std::vector<uint16_t> GammaBySearch(int32_t gamma, int32_t maxValue) {
    double e = gamma > 100 ? (gamma - 100) * 0.1 + 1 : gamma * 0.01;
    if (e <= 0.001) e = 0.001;
    const double top = std::log10(static_cast<double>(maxValue));
    std::vector<uint16_t> t(maxValue + 1, 0);
    for (int32_t i = 1; i <= maxValue; ++i) {
        const double m = top + e * (std::log10(static_cast<double>(i)) - top);
        if (m < 0) {
            t[i] = 1;
            continue;
        }
        t[i] = static_cast<uint16_t>(maxValue);
        for (int32_t k = 2; k <= maxValue - 1; ++k) {
            if (std::log10(static_cast<double>(k - 1)) <= m && m <= std::log10(static_cast<double>(k + 1))) {
                t[i] = static_cast<uint16_t>(k);
                break;
            }
        }
    }
    return t;
}

TEST(ToneTables, GammaGivesTheListedValues) {
    const auto t = Table(BuildGammaTable, 50, 255);
    EXPECT_EQ(t[255], 254);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[64], 127);
    // y from 1 to 3 gives 2; the largest output is 254.
    const auto neutral = Table(BuildGammaTable, 100, 255);
    EXPECT_EQ(neutral[1], 2);
    EXPECT_EQ(neutral[3], 2);
    // Exponent 11: small inputs fall below 1.
    EXPECT_EQ(Table(BuildGammaTable, 200, 255)[100], 1);
}

TEST(ToneTables, GammaEqualsTheUpwardSearch) {
    for (int32_t gamma : {0, 1, 10, 50, 99, 100, 101, 137, 150, 200}) {
        EXPECT_EQ(Table(BuildGammaTable, gamma, 255), GammaBySearch(gamma, 255)) << gamma;
    }
    for (int32_t gamma : {30, 170}) {
        EXPECT_EQ(Table(BuildGammaTable, gamma, 4095), GammaBySearch(gamma, 4095)) << gamma;
    }
}

TEST(ToneTables, ContrastGivesTheListedValues) {
    const auto up = Table(BuildContrastTable, 64, 255);
    EXPECT_EQ(up[63], 0);
    EXPECT_EQ(up[64], 0);
    EXPECT_EQ(up[128], 128);
    EXPECT_EQ(up[191], 254);
    EXPECT_EQ(up[192], 255);
    const auto down = Table(BuildContrastTable, -127, 255);
    EXPECT_EQ(down[0], 63);
    EXPECT_EQ(down[255], 191);
    // The 4096-entry table: the same stretch on the 12-bit scale.
    const auto wide = Table(BuildContrastTable, 64, 4095);
    EXPECT_EQ(wide[1023], 0);
    EXPECT_EQ(wide[1024], 0);
    EXPECT_EQ(wide[2048], 2048);
    EXPECT_EQ(wide[3071], 4094);
    EXPECT_EQ(wide[3072], 4095);
    for (int32_t c : {-127, -50, 0, 90, 127}) {
        for (int32_t top : {255, 4095}) {
            const auto t = Table(BuildContrastTable, c, top);
            for (int32_t i = 1; i <= top; ++i) ASSERT_LE(t[i - 1], t[i]) << c << " " << i;
            EXPECT_LE(t[top], top);
        }
    }
}

TEST(ToneTables, BrightnessGivesTheListedValues) {
    EXPECT_EQ(Table(BuildBrightnessTable, 100, 255)[50], 246);
    EXPECT_EQ(Table(BuildBrightnessTable, -100, 255)[200], 121);
    EXPECT_EQ(Table(BuildBrightnessTable, 255, 255)[30], 255);
    EXPECT_EQ(Table(BuildBrightnessTable, 0, 255)[77], 77);
    EXPECT_EQ(Table(BuildBrightnessTable, -255, 255)[255], 0);
    EXPECT_EQ(Table(BuildBrightnessTable, 100, 4095)[800], 3937);
    EXPECT_EQ(Table(BuildBrightnessTable, 255, 4095)[1000], 4095);
}

// Factors and products are doubles, truncated: 9 x (1 + 170 / 255) is 15 exactly but
// 14.999... in doubles, and so on; a wider evaluation would give the integer above.
TEST(ToneTables, TruncateDoubleProducts) {
    EXPECT_EQ(Table(BuildBrightnessTable, 17, 255)[9], 14);
    EXPECT_EQ(Table(BuildBrightnessTable, 4, 255)[51], 58);
    EXPECT_EQ(Table(BuildBrightnessTable, -251, 255)[255], 4);
    EXPECT_EQ(Table(BuildContrastTable, -121, 255)[128], 127);
    EXPECT_EQ(Table(BuildContrastTable, -122, 255)[3], 64);
}

// The routines replace every colour channel, leave the fourth byte, the row padding and
// everything outside the rectangle alone, and read 16-bit samples above 4095 as 4095.
TEST(ToneRoutines, TouchOnlyTheChannelsOfTheRectangle) {
    std::mt19937 rng(5);
    for (int bits : {8, 24, 32}) {
        ImageBuffer b;
        ASSERT_EQ(b.Create(7, 5, bits), 1);
        test::FillRandom(b, rng);
        const auto before = test::Snapshot(b);
        int32_t gamma = 50;
        int32_t* record = &gamma;
        const Rect rect{1, 1, 6, 4};  // picture rows 1..3 = memory rows 1..3
        ASSERT_EQ(b.Apply(Gamma8, &b, &rect, 1, 1, &record, nullptr), 1);
        const auto table = Table(BuildGammaTable, 50, 255);
        const int bpp = bits / 8;
        for (int y = 0; y < 5; ++y) {
            for (int i = 0; i < b.Stride(); ++i) {
                const int x = i / bpp, ch = i % bpp;
                const uint8_t old = before[y * b.Stride() + i];
                const bool inside = x >= 1 && x < 6 && y >= 1 && y < 4 && ch < 3 && x < 7;
                ASSERT_EQ(b.Row(y)[i], inside ? table[old] : old) << bits << " " << x << "," << y;
            }
        }
    }
    for (int bits : {16, 48, 64}) {
        ImageBuffer b;
        ASSERT_EQ(b.Create(3, 2, bits), 1);
        test::Fill(b, 1000);
        test::SetSample(b, 0, 0, 0, 65535);
        if (bits == 64) test::SetSample(b, 1, 1, 3, 1234);
        int32_t brightness = 100;
        ASSERT_EQ(RunInPlace(b, Brightness16, brightness), 1);
        EXPECT_EQ(Sample(b, 0, 0, 0), 4095);
        EXPECT_EQ(Sample(b, 2, 1, 0), 4095);  // 4.92 x 1000, limited
        if (bits == 64) {
            EXPECT_EQ(Sample(b, 1, 1, 3), 1234);
        }
        int32_t contrast = 64;
        test::Fill(b, 2048);
        ASSERT_EQ(RunInPlace(b, Contrast16, contrast), 1);
        EXPECT_EQ(Sample(b, 1, 0, 0), 2048);
        int32_t gamma = 50;
        test::Fill(b, 4095);
        ASSERT_EQ(RunInPlace(b, Gamma16, gamma), 1);
        EXPECT_EQ(Sample(b, 1, 1, 0), 4094);
    }
}

// Large gray and 24-bit areas go through the byte-pair table: every sample still gets its entry,
// the odd byte at a row's end included.
TEST(ToneRoutines, LargeAreasGiveTheTableEntries) {
    std::mt19937 rng(6);
    for (test::VectorLevel8 level : {test::kPlainCode, test::kVectorLevels[0], test::kVectorLevels[1], test::kVectorLevels[2]})
    for (int bits : {8, 24}) {
        const test::VectorLimit limit(level);
        ImageBuffer b;
        ASSERT_EQ(b.Create(bits == 8 ? 601 : 201, 120, bits), 1);
        test::FillRandom(b, rng);
        const auto before = test::Snapshot(b);
        int32_t contrast = -77;
        ASSERT_EQ(RunInPlace(b, Contrast8, contrast), 1);
        const auto table = Table(BuildContrastTable, -77, 255);
        const int used = b.Width() * b.BytesPerPixel();
        for (int y = 0; y < b.Height(); ++y)
            for (int i = 0; i < b.Stride(); ++i) {
                const uint8_t old = before[y * b.Stride() + i];
                ASSERT_EQ(b.Row(y)[i], i < used ? table[old] : old) << bits << " " << i << "," << y;
            }
    }
}

TEST(ToneRoutines, RefuseMissingRecords) {
    ImageBuffer b;
    ASSERT_EQ(b.Create(4, 4, 24), 1);
    int32_t* none = nullptr;
    EXPECT_EQ(b.Apply(Contrast8, &b, nullptr, 0, 0, &none, nullptr), 0);
    EXPECT_EQ(b.Apply(Contrast8, &b, nullptr, 0, 0, nullptr, nullptr), 0);
    ImageBuffer gray;
    ASSERT_EQ(gray.Create(4, 4, 8), 1);
    int32_t c = 10;
    EXPECT_EQ(RunInPlace(gray, Contrast16, c), 0);  // 1-byte pixels are not 16-bit samples
    ImageBuffer wide;
    ASSERT_EQ(wide.Create(4, 4, 48), 1);
    EXPECT_EQ(RunInPlace(wide, Gamma8, c), 0);  // nor 6-byte pixels 8-bit ones
    EXPECT_EQ(RunInPlace(wide, Gamma16, c), 1);
    ImageBuffer sixteen;
    ASSERT_EQ(sixteen.Create(4, 4, 16), 1);
    EXPECT_EQ(RunInPlace(sixteen, Brightness8, c), 0);
}

// A table built once gives the pictures of the routine that builds it per call; no entries
// leave the samples alone.
TEST(ToneRoutines, PrebuiltTablesGiveTheCurvesPictures) {
    std::mt19937 rng(9);
    for (int bits : {8, 24, 16, 48}) {
        const bool wide = bits == 16 || bits == 48;
        ImageBuffer b, want;
        ASSERT_EQ(b.Create(37, 9, bits), 1);
        test::FillRandom(b, rng);
        ASSERT_EQ(want.CreateLike(&b), 1);
        const auto before = test::Snapshot(b);
        std::copy(before.begin(), before.end(), want.Bits());
        ToneCurveParameters curve{140, -30, 25};
        ASSERT_EQ(RunInPlace(want, wide ? ToneCurve16 : ToneCurve8, curve), 1);
        std::vector<uint16_t> entries(4096);
        BuildToneCurve(curve, wide ? 4095 : 255, entries.data());
        ToneTable none{nullptr};
        ASSERT_EQ(RunInPlace(b, wide ? ToneTable16 : ToneTable8, none), 1);
        EXPECT_EQ(test::Snapshot(b), before) << bits;
        ToneTable table{entries.data()};
        ASSERT_EQ(RunInPlace(b, wide ? ToneTable16 : ToneTable8, table), 1);
        EXPECT_EQ(test::Snapshot(b), test::Snapshot(want)) << bits;
    }
}

}  // namespace
}  // namespace lumora
