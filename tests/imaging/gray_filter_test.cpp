#include "imaging/gray_filter.h"

#include <gtest/gtest.h>

#include "filter_test_support.h"
#include "imaging/filter_settings.h"
#include "imaging/processor_info.h"

namespace lumora {
namespace {

using test::RunInPlace;
using test::Sample;

GrayParameters Uniform(int32_t phase, int32_t gain, int32_t offset) {
    return {phase, gain, gain, gain, gain, offset, offset, offset, offset};
}

ProcessorInfo WithFlags(int features, int osSupport) {
    ProcessorInfo p;
    p.features = features;
    p.osSupport = osSupport;
    return p;
}

const PixelRoutine kVariants[] = {GrayFilterPlain, GrayFilterMMX, GrayFilterSSE2};

TEST(GrayFilter, GainAndOffsetGiveTheListedValues) {
    for (PixelRoutine variant : kVariants) {
        ImageBuffer b;
        ASSERT_EQ(b.Create(37, 3, 8), 1);
        test::Fill(b, 100);
        GrayParameters p = Uniform(0, 256, -10);
        ASSERT_EQ(RunInPlace(b, variant, p), 1);
        for (int x = 0; x < 37; ++x) ASSERT_EQ(Sample(b, x, 1), 190) << x;
        test::Fill(b, 20);
        p = Uniform(0, 128, -50);
        ASSERT_EQ(RunInPlace(b, variant, p), 1);
        for (int x = 0; x < 37; ++x) ASSERT_EQ(Sample(b, x, 2), 0) << x;
        // Saturation at the top, also where the product leaves 16 bits.
        test::Fill(b, 255);
        p = Uniform(0, 32767, -255);
        ASSERT_EQ(RunInPlace(b, variant, p), 1);
        for (int x = 0; x < 37; ++x) ASSERT_EQ(Sample(b, x, 0), 255) << x;
    }
}

// Each position gets its own gain, by Bayer phase: in phase 0 row 0 runs G1 R, row 1 B G2.
TEST(GrayFilter, PositionsFollowTheBayerPhase) {
    // Gains R 256, G1 128, G2 384, B 512 on samples of 10: 20, 10, 30, 40.
    const int expected[4][2][2] = {
        {{10, 20}, {40, 30}},  // phase 0
        {{40, 30}, {10, 20}},  // phase 1: rows swap
        {{20, 10}, {30, 40}},  // phase 2: columns swap
        {{30, 40}, {20, 10}},  // phase 3
    };
    for (PixelRoutine variant : kVariants) {
        for (int phase = 0; phase < 4; ++phase) {
            ImageBuffer b;
            ASSERT_EQ(b.Create(34, 4, 8), 1);
            test::Fill(b, 10);
            GrayParameters p{phase, 256, 128, 384, 512, 0, 0, 0, 0};
            ASSERT_EQ(RunInPlace(b, variant, p), 1);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 34; ++x)
                    ASSERT_EQ(Sample(b, x, y), expected[phase][y & 1][x & 1]) << phase << " " << x << "," << y;
        }
    }
}

// The vector variants equal the plain one on random frames of every width class and phase,
// also over a rectangle that starts at an odd column of a larger buffer.
TEST(GrayFilter, VariantsEqualThePlainPass) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> gain(0, 600), offset(-255, 255), wideGain(0, 32767);
    for (int width : {1, 2, 7, 8, 9, 15, 16, 17, 31, 33, 64, 101}) {
        for (int phase = 0; phase < 4; ++phase) {
            GrayParameters p{phase, gain(rng), gain(rng), gain(rng), wideGain(rng),
                             offset(rng), offset(rng), offset(rng), offset(rng)};
            ImageBuffer reference;
            ASSERT_EQ(reference.Create(width + 5, 6, 8), 1);
            test::FillRandom(reference, rng);
            const auto original = test::Snapshot(reference);
            const Rect rect{3, 1, 3 + width, 5};
            GrayParameters* record = &p;
            ASSERT_EQ(reference.Apply(GrayFilterPlain, &reference, &rect, 3, 1, &record, nullptr), 1);
            for (PixelRoutine variant : {GrayFilterMMX, GrayFilterSSE2}) {
                ImageBuffer b;
                ASSERT_EQ(b.Create(width + 5, 6, 8), 1);
                std::copy(original.begin(), original.end(), b.Bits());
                ASSERT_EQ(b.Apply(variant, &b, &rect, 3, 1, &record, nullptr), 1);
                ASSERT_EQ(test::Snapshot(b), test::Snapshot(reference)) << width << " " << phase;
            }
        }
    }
}

TEST(GrayFilter, VariantFollowsTheProcessorFlags) {
    EXPECT_EQ(SelectGrayFilter(WithFlags(CPU_MMX | CPU_SSE2, CPU_MMX | CPU_SSE2)), GrayFilterSSE2);
    EXPECT_EQ(SelectGrayFilter(WithFlags(CPU_MMX | CPU_SSE2, CPU_MMX)), GrayFilterMMX);
    EXPECT_EQ(SelectGrayFilter(WithFlags(CPU_MMX, CPU_SSE2)), GrayFilterPlain);
    EXPECT_EQ(SelectGrayFilter(WithFlags(0, 0)), GrayFilterPlain);
}

// Calibration over samples of 1..254: per-position means against G1.
TEST(GrayCalibration, MeasuresGainsAgainstG1) {
    ImageBuffer b;
    ASSERT_EQ(b.Create(6, 4, 8), 1);
    // Phase 0: row 0 G1 R, row 1 B G2. G1 100, R 50, G2 80, B 200; a few 0 and 255 samples that
    // must not count.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            test::SetSample(b, x, y, 0, (y & 1) ? ((x & 1) ? 80 : 200) : ((x & 1) ? 50 : 100));
    test::SetSample(b, 0, 0, 0, 255);
    test::SetSample(b, 1, 0, 0, 0);
    test::SetSample(b, 0, 1, 0, 255);
    GrayParameters p = Uniform(0, 1, 0);
    ASSERT_EQ(RunInPlace(b, MeasureGrayGains, p), 1);
    EXPECT_EQ(p.gainR, 256);
    EXPECT_EQ(p.gainG1, 128);
    EXPECT_EQ(p.gainG2, 160);
    EXPECT_EQ(p.gainB, 64);
    // Same frame read as phase 3 (rows G2 B / R G1): G1 is now the 80s, R the 200s.
    p = Uniform(3, 1, 0);
    ASSERT_EQ(RunInPlace(b, MeasureGrayGains, p), 1);
    EXPECT_EQ(p.gainR, 51);   // trunc(80 / 200 x 128) = 51.2
    EXPECT_EQ(p.gainG2, 102);  // 80 / 100 x 128 = 102.4
    EXPECT_EQ(p.gainB, 204);   // 80 / 50 x 128 = 204.8
}

TEST(GrayCalibration, PositionsWithoutSamplesKeepUnity) {
    ImageBuffer b;
    ASSERT_EQ(b.Create(4, 4, 8), 1);
    test::Fill(b, 255);  // nothing counts
    GrayParameters p = Uniform(0, 7, 0);
    ASSERT_EQ(RunInPlace(b, MeasureGrayGains, p), 1);
    EXPECT_EQ(p.gainR, 128);
    EXPECT_EQ(p.gainG1, 128);
    EXPECT_EQ(p.gainG2, 128);
    EXPECT_EQ(p.gainB, 128);
    // One row: only G1 and R exist (phase 0).
    ImageBuffer row;
    ASSERT_EQ(row.Create(4, 1, 8), 1);
    test::SetSample(row, 0, 0, 0, 100);
    test::SetSample(row, 1, 0, 0, 200);
    test::SetSample(row, 2, 0, 0, 100);
    test::SetSample(row, 3, 0, 0, 200);
    ASSERT_EQ(RunInPlace(row, MeasureGrayGains, p), 1);
    EXPECT_EQ(p.gainR, 64);
    EXPECT_EQ(p.gainG2, 128);
    EXPECT_EQ(p.gainB, 128);
}

FilterSettings GraySettings() {
    FilterSettings s;
    s.grayMode = 1;
    s.grayGainR = s.grayGainG1 = s.grayGainG2 = s.grayGainB = 128;
    return s;
}

TEST(GrayStage, UnityGainsLeaveTheFrameEvenWithOffsets) {
    ImageBuffer b;
    ASSERT_EQ(b.Create(8, 8, 8), 1);
    test::Fill(b, 50);
    FilterSettings s = GraySettings();
    s.grayOffsetR = s.grayOffsetG1 = s.grayOffsetG2 = s.grayOffsetB = 20;
    EXPECT_FALSE(GrayFilterStage(s, b, HostProcessor()));
    EXPECT_EQ(Sample(b, 3, 3), 50);
    s.grayGainB = 129;  // any gain off unity: the pass runs, offsets included
    GrayFilterStage(s, b, HostProcessor());
    EXPECT_EQ(Sample(b, 0, 0), 70);
}

void Checkerboard(ImageBuffer& b) {
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) test::SetSample(b, x, y, 0, ((x ^ y) & 1) ? 100 : 50);
}

TEST(GrayStage, CalibrationCountRunsOnceOrEveryFrame) {
    ImageBuffer b;
    ASSERT_EQ(b.Create(8, 8, 8), 1);
    Checkerboard(b);
    FilterSettings s = GraySettings();
    s.grayAutoGainCount = 1;
    EXPECT_TRUE(GrayFilterStage(s, b, HostProcessor()));
    EXPECT_EQ(s.grayAutoGainCount, 0);
    // Phase 0: G1 and G2 are the 50s, R and B the 100s.
    EXPECT_EQ(s.grayGainR, 64);
    EXPECT_EQ(s.grayGainG1, 128);
    EXPECT_EQ(s.grayGainG2, 128);
    EXPECT_EQ(s.grayGainB, 64);
    EXPECT_EQ(Sample(b, 1, 0), 50);  // and the pass ran with them in the same frame
    EXPECT_FALSE(GrayFilterStage(s, b, HostProcessor()));

    s.grayAutoGainCount = -1;
    for (int frame = 0; frame < 3; ++frame) {
        Checkerboard(b);
        s.grayGainR = 1;
        EXPECT_TRUE(GrayFilterStage(s, b, HostProcessor()));
        EXPECT_EQ(s.grayGainR, 64);
        EXPECT_EQ(s.grayAutoGainCount, -1);
    }
}

}  // namespace
}  // namespace lumora
