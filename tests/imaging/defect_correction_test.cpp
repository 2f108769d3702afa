#include "imaging/defect_correction.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "imaging/demosaic.h"
#include "imaging/image_buffer.h"
#include "imaging/filter_vectors.h"
#include "imaging/vector_support.h"
#include "vector_paths.h"
#include "mosaic_reference.h"

namespace lumora {
namespace {

using reference::Raw;

// Runs the routine in place on a buffer holding raw; returns its result and the frame after.
int Correct(const Raw& raw, int bits, DemosaicParams p, int threshold, Raw& after) {
    ImageBuffer b;
    EXPECT_EQ(b.Create(raw.width, raw.height, bits), 1);
    reference::Fill(b, raw);
    DemosaicParams* record = &p;
    int* t = &threshold;
    const int count = b.Apply(bits == 8 ? CorrectDefects : CorrectDefects16, &b, nullptr, 0, 0, &record, &t);
    after = reference::Read(b);
    return count;
}

TEST(CorrectDefects, SingleBrightRedSample) {
    Raw raw{9, 9, std::vector<int>(81, 100)};
    raw.samples[4 * 9 + 4] = 180;
    Raw after;
    EXPECT_EQ(Correct(raw, 8, DemosaicParams{1, 100, 100, 100}, 70, after), 1);
    EXPECT_EQ(after.At(4, 4), 100);
    // The estimate at (4, 4) is red 145, green 100, blue 100.
    const reference::Bgr c = reference::DemosaicPixel(raw, 4, 4, 1, 100, 100, 255);
    EXPECT_EQ(c.r, 145);
    EXPECT_EQ(c.g, 100);
    EXPECT_EQ(c.b, 100);

    raw.samples[4 * 9 + 4] = 160;  // excess 60: below the threshold
    EXPECT_EQ(Correct(raw, 8, DemosaicParams{1, 100, 100, 100}, 70, after), 0);
    EXPECT_EQ(after.At(4, 4), 160);
}

TEST(CorrectDefects, OuterTwoRowsAndColumnsStay) {
    Raw raw{12, 10, std::vector<int>(120, 0)};
    for (int y = 0; y < raw.height; ++y)
        for (int x = 0; x < raw.width; ++x)
            if (x < 2 || y < 2 || x >= raw.width - 2 || y >= raw.height - 2) raw.samples[y * 12 + x] = 255;
    Raw after;
    Correct(raw, 8, DemosaicParams{0, 100, 100, 100}, 70, after);
    for (int y = 0; y < raw.height; ++y)
        for (int x = 0; x < raw.width; ++x)
            if (x < 2 || y < 2 || x >= raw.width - 2 || y >= raw.height - 2) {
                EXPECT_EQ(after.At(x, y), 255);
            }
}

TEST(CorrectDefects, SixteenBitScale) {
    Raw raw{9, 9, std::vector<int>(81, 1600)};
    raw.samples[4 * 9 + 4] = 1600 + 80 * 16;  // the 8-bit case times 16
    Raw after;
    EXPECT_EQ(Correct(raw, 16, DemosaicParams{1, 100, 100, 100}, 70, after), 1);
    EXPECT_EQ(after.At(4, 4), 1600);
    raw.samples[4 * 9 + 4] = 1600 + 60 * 16;
    EXPECT_EQ(Correct(raw, 16, DemosaicParams{1, 100, 100, 100}, 70, after), 0);
}

class DefectPaths : public VectorPaths {};

// Sparse bright spots and clusters on a smooth random background, so that corrections chain
// into later tests (a corrected sample lowers the mean of the one two columns further).
Raw SpottedFrame(std::mt19937& rng, int w, int h, int maxValue) {
    Raw raw = reference::RandomRaw(rng, w, h, maxValue / 4);
    std::uniform_int_distribution<int> pick(0, w * h - 1), level(maxValue / 2, maxValue);
    for (int i = 0; i < w * h / 12 + 1; ++i) {
        const int at = pick(rng);
        raw.samples[at] = level(rng);
        if (at + 2 < w * h) raw.samples[at + 2] = level(rng);
    }
    return raw;
}

TEST_P(DefectPaths, MatchesReferenceOnRandomFrames) {
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> gain(0, 400);
    const int sizes[][2] = {{1, 1}, {4, 4}, {5, 5}, {6, 9}, {17, 8}, {18, 7}, {19, 6}, {40, 12}, {77, 21}, {130, 9}};
    for (const auto& size : sizes) {
        for (int phase = 0; phase < 4; ++phase) {
            for (int bits : {8, 16}) {
                const int maxValue = bits == 8 ? 255 : 4095;
                const Raw raw = SpottedFrame(rng, size[0], size[1], maxValue);
                const DemosaicParams p{phase, gain(rng), 100, gain(rng)};
                for (int threshold : {70, 20}) {
                    Raw want = raw;
                    const int scale = bits == 8 ? 1 : 16;
                    const int wantCount = reference::CorrectDefects(want, phase, p.redGain, p.blueGain,
                                                                    threshold * scale, 30 * scale, maxValue);
                    Raw got;
                    const int count = Correct(raw, bits, p, threshold, got);
                    const std::string what = std::to_string(size[0]) + "x" + std::to_string(size[1]) + " phase " +
                                             std::to_string(phase) + " bits " + std::to_string(bits) +
                                             " threshold " + std::to_string(threshold);
                    EXPECT_EQ(count, wantCount) << what;
                    EXPECT_EQ(got.samples, want.samples) << what;
                }
            }
        }
    }
}

LUMORA_EVERY_ROUTINE_SET(DefectPaths);

// Rows of several 64-sample words (so that candidates sit at every word position and chains of
// corrections cross from one word into the next), on every vector path with and without the
// AVX-512 code: stripes of steps that make runs of neighbouring candidates, plus spots.
TEST(CorrectDefects, WideRowsMatchTheReferenceOnEveryPath) {
    std::mt19937 rng(5);
    for (int bits : {8, 16}) {
        const int maxValue = bits == 8 ? 255 : 4095;
        for (const int width : {131, 197, 260}) {
            Raw raw = SpottedFrame(rng, width, 11, maxValue);
            for (int y = 0; y < raw.height; ++y) {
                for (int x = 0; x < width; ++x) {
                    if ((x * 7 + y * 3) % 23 < 3) raw.samples[static_cast<size_t>(y) * width + x] = maxValue;
                }
            }
            if (bits == 16) raw.samples[3 * width + 70] = 65535;  // above the 12-bit range
            // Thresholds at both ends of the byte test's range and past them.
            for (const auto& [phase, threshold] : {std::pair{0, 70}, std::pair{1, 1}, std::pair{2, 0}, std::pair{3, 256},
                                                   std::pair{1, 255}, std::pair{3, 70}}) {
                const DemosaicParams p{phase, 90 + 40 * phase, 100, 300 - 50 * phase};
                Raw want = raw;
                const int scale = bits == 8 ? 1 : 16;
                const int wantCount = reference::CorrectDefects(want, phase, p.redGain, p.blueGain, threshold * scale,
                                                                30 * scale, maxValue);
                for (const auto& [set, avx512] : {std::pair{RoutineSet::Plain, false}, std::pair{RoutineSet::Sse2, false},
                                                  std::pair{RoutineSet::Avx2, false}, std::pair{RoutineSet::Avx2, true}}) {
                    LimitVectorRoutines(set);
                    AllowAvx512Filters(avx512);
                    Raw got;
                    const int count = Correct(raw, bits, p, threshold, got);
                    LimitVectorRoutines(RoutineSet::Avx2);
                    AllowAvx512Filters(true);
                    const std::string what = std::to_string(width) + " wide, " + std::to_string(bits) + " bits, phase " +
                                             std::to_string(phase) + ", threshold " + std::to_string(threshold) + ", set " + std::to_string(static_cast<int>(set)) +
                                             (avx512 ? " with AVX-512" : "");
                    EXPECT_EQ(count, wantCount) << what;
                    EXPECT_EQ(got.samples, want.samples) << what;
                }
            }
        }
    }
}

// Noise frames (a candidate in most windows, corrections next to each other) whose rows end on
// either side of a 64-sample word, with thresholds from below zero to above the 8-bit range.
TEST(CorrectDefects, NoiseAcrossWordEndsMatchesTheReference) {
    std::mt19937 rng(321);
    std::uniform_int_distribution<int> threshold(-20, 300);
    for (const auto& [set, avx512] : {std::pair{RoutineSet::Sse2, false}, std::pair{RoutineSet::Avx2, false},
                                      std::pair{RoutineSet::Avx2, true}}) {
        for (const int width : {67, 68, 69, 131, 132, 133}) {
            for (int bits : {8, 16}) {
                const int maxValue = bits == 8 ? 255 : 4095, scale = bits == 8 ? 1 : 16;
                const Raw raw = reference::RandomRaw(rng, width, 6, maxValue);
                const int t = threshold(rng);
                const DemosaicParams p{width % 4, 100, 100, 100};
                Raw want = raw, got;
                const int wantCount = reference::CorrectDefects(want, p.bayerPhase, 100, 100, t * scale, 30 * scale, maxValue);
                LimitVectorRoutines(set);
                AllowAvx512Filters(avx512);
                const int count = Correct(raw, bits, p, t, got);
                LimitVectorRoutines(RoutineSet::Avx2);
                AllowAvx512Filters(true);
                const std::string what = std::to_string(width) + " wide, " + std::to_string(bits) + " bits, threshold " +
                                         std::to_string(t) + (avx512 ? " with AVX-512" : "");
                EXPECT_EQ(count, wantCount) << what;
                EXPECT_EQ(got.samples, want.samples) << what;
            }
        }
    }
}

TEST(CorrectDefects, DefaultThresholdAndUnfitBuffers) {
    Raw raw{9, 9, std::vector<int>(81, 100)};
    raw.samples[4 * 9 + 4] = 180;
    ImageBuffer b;
    ASSERT_EQ(b.Create(9, 9, 8), 1);
    reference::Fill(b, raw);
    // No records: phase 0, gains 100, threshold 70. (4, 4) is then a green sample whose
    // estimate is green 140 against red and blue 100.
    EXPECT_EQ(b.Apply(CorrectDefects, &b, nullptr, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(b.Row(4)[4], 100);
    DemosaicParams p{1, 100, 100, 100};
    DemosaicParams* record = &p;
    ImageBuffer wide;
    ASSERT_EQ(wide.Create(9, 9, 16), 1);
    EXPECT_EQ(wide.Apply(CorrectDefects, &wide, nullptr, 0, 0, &record, nullptr), 0);
}

}  // namespace
}  // namespace lumora
