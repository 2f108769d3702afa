#include "imaging/hue_saturation_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "filter_test_support.h"

namespace lumora {
namespace {

using test::RunInPlace;
using test::Sample;

struct Rgb {
    int red, green, blue;
};

// One pixel through the 8-bit routine (24-bit buffer, blue-green-red).
Rgb Adjust(Rgb in, int hue, int saturation) {
    ImageBuffer b;
    EXPECT_EQ(b.Create(1, 1, 24), 1);
    test::SetSample(b, 0, 0, 0, in.blue);
    test::SetSample(b, 0, 0, 1, in.green);
    test::SetSample(b, 0, 0, 2, in.red);
    HueSaturationParameters p{hue, 0, saturation, 8};
    EXPECT_EQ(RunInPlace(b, HueSaturation8, p), 1);
    return {Sample(b, 0, 0, 2), Sample(b, 0, 0, 1), Sample(b, 0, 0, 0)};
}

void ExpectRgb(Rgb got, int r, int g, int b) {
    EXPECT_EQ(got.red, r);
    EXPECT_EQ(got.green, g);
    EXPECT_EQ(got.blue, b);
}

TEST(HueSaturation, GivesTheListedValues) {
    ExpectRgb(Adjust({200, 100, 50}, 0, 0), 200, 100, 50);
    ExpectRgb(Adjust({200, 100, 50}, 0, -255), 125, 124, 124);
    // Grays stay gray at any setting.
    ExpectRgb(Adjust({90, 90, 90}, 77, 200), 90, 90, 90);
    ExpectRgb(Adjust({255, 255, 255}, -300, -255), 255, 255, 255);
    // Chroma never beyond what the lightness allows: full saturation of a bright colour.
    const Rgb bright = Adjust({250, 240, 200}, 0, 255);
    EXPECT_LE(std::max({bright.red, bright.green, bright.blue}), 255);
    EXPECT_EQ(bright.red + std::min({bright.red, bright.green, bright.blue}) >= 449, true);
}

TEST(HueSaturation, OnlyTheLowEightBitsOfTheHueCount) {
    std::mt19937 rng(8);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 200; ++i) {
        const Rgb c{byte(rng), byte(rng), byte(rng)};
        const Rgb a = Adjust(c, 0, 60), b = Adjust(c, 256, 60);
        ExpectRgb(b, a.red, a.green, a.blue);
        const Rgb m = Adjust(c, -1, -30), n = Adjust(c, 255, -30);
        ExpectRgb(n, m.red, m.green, m.blue);
    }
}

// A rotation moves a primary around the wheel; lightness (max + min) is kept.
TEST(HueSaturation, RotationKeepsLightness) {
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> byte(0, 255), hue(-360, 360), sat(-255, 255);
    for (int i = 0; i < 2000; ++i) {
        const Rgb c{byte(rng), byte(rng), byte(rng)};
        const Rgb r = Adjust(c, hue(rng), 0);
        const int before = std::max({c.red, c.green, c.blue}) + std::min({c.red, c.green, c.blue});
        const int after = std::max({r.red, r.green, r.blue}) + std::min({r.red, r.green, r.blue});
        ASSERT_LE(std::abs(after - before), 1);
    }
    // Red turned by a half turn (128/256) lands in the cyan sector: red lowest.
    const Rgb turned = Adjust({200, 0, 0}, 128, 0);
    EXPECT_LT(turned.red, turned.green);
    EXPECT_LT(turned.red, turned.blue);
}

// 32-bit pixels keep their fourth byte; the 16-bit variant works on 48 and 64 bits.
TEST(HueSaturation, KeepsTheFourthSample) {
    ImageBuffer b;
    ASSERT_EQ(b.Create(3, 2, 32), 1);
    test::Fill(b, 0);
    test::SetSample(b, 1, 1, 2, 200);
    test::SetSample(b, 1, 1, 3, 99);
    HueSaturationParameters p{40, 0, 100, 8};
    ASSERT_EQ(RunInPlace(b, HueSaturation8, p), 1);
    EXPECT_EQ(Sample(b, 1, 1, 3), 99);
    ImageBuffer w;
    ASSERT_EQ(w.Create(3, 2, 64), 1);
    test::Fill(w, 0);
    test::SetSample(w, 1, 1, 2, 3200);
    test::SetSample(w, 1, 1, 3, 12345);
    test::SetSample(w, 0, 0, 0, 65535);  // above the 12-bit range: read as 4095
    p.bits = 12;
    ASSERT_EQ(RunInPlace(w, HueSaturation16, p), 1);
    EXPECT_EQ(Sample(w, 1, 1, 3), 12345);
    EXPECT_LE(Sample(w, 0, 0, 0), 4095);
    ImageBuffer gray;
    ASSERT_EQ(gray.Create(3, 2, 8), 1);
    EXPECT_EQ(RunInPlace(gray, HueSaturation8, p), 0);
}

// The vector rows give the plain result on random pictures of 24 and 32 bits, every setting
// class, widths around the 8-pixel step.
TEST(HueSaturation, VectorRowsEqualThePlainOnes) {
    std::mt19937 rng(12);
    std::uniform_int_distribution<int> hue(-360, 360), sat(-255, 255);
    for (test::VectorLevel8 level : test::kVectorLevels)
    for (int bits : {24, 32}) {
        for (int width : {1, 7, 8, 9, 23, 64}) {
            for (int round = 0; round < 12; ++round) {
                ImageBuffer plain, vector;
                ASSERT_EQ(plain.Create(width, 5, bits), 1);
                ASSERT_EQ(vector.Create(width, 5, bits), 1);
                test::FillRandom(plain, rng);
                const auto original = test::Snapshot(plain);
                std::copy(original.begin(), original.end(), vector.Bits());
                HueSaturationParameters p{round < 2 ? 0 : hue(rng), 0,
                                          round == 0 ? 255 : round == 1 ? -255 : sat(rng), 8};
                {
                    const test::VectorLimit limit(test::kPlainCode);
                    ASSERT_EQ(RunInPlace(plain, HueSaturation8, p), 1);
                }
                {
                    const test::VectorLimit limit(level);
                    ASSERT_EQ(RunInPlace(vector, HueSaturation8, p), 1);
                }
                ASSERT_EQ(test::Snapshot(vector), test::Snapshot(plain))
                    << bits << " " << width << " " << p.hue << " " << p.saturation;
            }
        }
    }
}

// Every 24-bit colour once (a 4096 x 4096 picture): the vector code equals the plain code.
TEST(HueSaturation, VectorCodeEqualsThePlainCodeOnEveryColour) {
    ImageBuffer all;
    ASSERT_EQ(all.Create(4096, 4096, 24), 1);
    for (int y = 0; y < 4096; ++y) {
        uint8_t* row = all.Row(y);
        for (int x = 0; x < 4096; ++x) {
            const uint32_t colour = static_cast<uint32_t>(y) * 4096 + static_cast<uint32_t>(x);
            row[3 * x] = static_cast<uint8_t>(colour);
            row[3 * x + 1] = static_cast<uint8_t>(colour >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(colour >> 16);
        }
    }
    const auto original = test::Snapshot(all);
    HueSaturationParameters p{-93, 0, 140, 8};
    ImageBuffer plain;
    ASSERT_EQ(plain.Create(4096, 4096, 24), 1);
    std::copy(original.begin(), original.end(), plain.Bits());
    {
        const test::VectorLimit limit(test::kPlainCode);
        ASSERT_EQ(RunInPlace(plain, HueSaturation8, p), 1);
    }
    const auto expected = test::Snapshot(plain);
    for (test::VectorLevel8 level : test::kVectorLevels) {
        std::copy(original.begin(), original.end(), all.Bits());
        const test::VectorLimit limit(level);
        ASSERT_EQ(RunInPlace(all, HueSaturation8, p), 1);
        ASSERT_TRUE(test::Snapshot(all) == expected) << static_cast<int>(level.ceiling) << level.avx512;
    }
}

// On 16 x an 8-bit picture the 12-bit variant gives 16 x the 8-bit result within 16.
TEST(HueSaturation, WideVariantFollowsTheNarrowOne) {
    std::mt19937 rng(10);
    const int width = 64, height = 64;
    ImageBuffer narrow, wide;
    ASSERT_EQ(narrow.Create(width, height, 24), 1);
    ASSERT_EQ(wide.Create(width, height, 48), 1);
    for (int setting = 0; setting < 24; ++setting) {
        test::FillRandom(narrow, rng);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int ch = 0; ch < 3; ++ch) test::SetSample(wide, x, y, ch, 16 * Sample(narrow, x, y, ch));
        const int hue = setting * 37 - 300, saturation = setting * 22 - 255;
        HueSaturationParameters p8{hue, 0, saturation, 8}, p12{hue, 0, saturation, 12};
        ASSERT_EQ(RunInPlace(narrow, HueSaturation8, p8), 1);
        ASSERT_EQ(RunInPlace(wide, HueSaturation16, p12), 1);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_LE(std::abs(Sample(wide, x, y, ch) - 16 * Sample(narrow, x, y, ch)), 16)
                        << hue << " " << saturation << " " << x << "," << y << "," << ch;
    }
}

}  // namespace
}  // namespace lumora
