#include "imaging/demosaic.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "imaging/filter_vectors.h"
#include "imaging/image_buffer.h"
#include "imaging/vector_support.h"
#include "mosaic_reference.h"
#include "vector_paths.h"

namespace lumora {
namespace {

using reference::Bgr;
using reference::Raw;

struct Demosaiced {
    ImageBuffer raw;
    ImageBuffer colour;
};

// Runs interior then border from raw (8 or 16 bits) into a colour buffer of colourBits whose
// pixels start as 0xA5 bytes.
void Demosaic(Demosaiced& d, const Raw& raw, int rawBits, int colourBits, DemosaicParams params,
              bool interior = true, bool border = true) {
    ASSERT_EQ(d.raw.Create(raw.width, raw.height, rawBits), 1);
    ASSERT_EQ(d.colour.Create(raw.width, raw.height, colourBits), 1);
    reference::Fill(d.raw, raw);
    std::memset(d.colour.Bits(), 0xA5, static_cast<size_t>(d.colour.Stride()) * d.colour.Height());
    DemosaicParams* record = &params;
    const bool wide = rawBits == 16;
    if (interior) {
        EXPECT_EQ(d.colour.Apply(wide ? DemosaicInterior16 : DemosaicInterior8, &d.raw, nullptr, 0, 0, &record, nullptr), 1);
    }
    if (border) {
        EXPECT_EQ(d.colour.Apply(wide ? DemosaicBorder16 : DemosaicBorder8, &d.raw, nullptr, 0, 0, &record, nullptr), 1);
    }
}

bool IsInterior(int x, int y, int w, int h) { return x >= 2 && x < w - 2 && y >= 2 && y < h - 2; }

// Every pixel against the reference; the fourth byte or sample of 32/64-bit pixels untouched.
void ExpectMatchesReference(const Demosaiced& d, const Raw& raw, const DemosaicParams& p,
                            int maxValue, const std::string& what) {
    const int fourthUntouched = maxValue == 255 ? 0xA5 : 0xA5A5;
    int mismatches = 0;
    for (int y = 0; y < raw.height && mismatches < 5; ++y) {
        for (int x = 0; x < raw.width && mismatches < 5; ++x) {
            const Bgr want = reference::DemosaicPixel(raw, x, y, p.bayerPhase, p.redGain, p.blueGain, maxValue);
            const Bgr got = reference::PixelAt(d.colour, x, y);
            if (!(got == want)) {
                ++mismatches;
                ADD_FAILURE() << what << " pixel (" << x << ", " << y << "): got " << got.b << "/"
                              << got.g << "/" << got.r << " want " << want.b << "/" << want.g
                              << "/" << want.r;
            }
            if (d.colour.BitCount() == 32 || d.colour.BitCount() == 64) {
                if (reference::Channel(d.colour, x, y, 3) != fourthUntouched) {
                    ++mismatches;
                    ADD_FAILURE() << what << " fourth sample written at (" << x << ", " << y << ")";
                }
            }
        }
    }
}

struct Size {
    int w, h;
};
const Size kSizes[] = {{1, 1}, {1, 6}, {7, 1}, {2, 2},  {3, 3},   {4, 4},   {5, 5},  {4, 9},
                       {6, 7}, {9, 6}, {23, 7}, {24, 8}, {41, 11}, {42, 12}, {67, 9}, {130, 13}};

class DemosaicPaths : public VectorPaths {};

TEST_P(DemosaicPaths, EightBitMatchesReferenceOnRandomFrames) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> gain(0, 400);
    for (const Size& size : kSizes) {
        for (int phase = 0; phase < 4; ++phase) {
            const Raw raw = reference::RandomRaw(rng, size.w, size.h, 255);
            const DemosaicParams p{phase, gain(rng), gain(rng), gain(rng)};
            for (int bits : {24, 32}) {
                Demosaiced d;
                Demosaic(d, raw, 8, bits, p);
                ExpectMatchesReference(d, raw, p, 255,
                                       std::to_string(size.w) + "x" + std::to_string(size.h) +
                                           " phase " + std::to_string(phase) + " " + std::to_string(bits) + "-bit");
            }
        }
    }
}

TEST_P(DemosaicPaths, SixteenBitMatchesReferenceOnRandomFrames) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> gain(0, 400);
    for (const Size& size : kSizes) {
        for (int phase = 0; phase < 4; ++phase) {
            // Mostly 12-bit samples; the frames of odd phase also carry values above 4095.
            const Raw raw = reference::RandomRaw(rng, size.w, size.h, phase & 1 ? 65535 : 4095);
            const DemosaicParams p{phase, gain(rng), 100, gain(rng)};
            for (int bits : {48, 64}) {
                Demosaiced d;
                Demosaic(d, raw, 16, bits, p);
                ExpectMatchesReference(d, raw, p, 4095,
                                       std::to_string(size.w) + "x" + std::to_string(size.h) +
                                           " phase " + std::to_string(phase) + " " + std::to_string(bits) + "-bit");
            }
        }
    }
}

TEST_P(DemosaicPaths, InteriorWritesOnlyInteriorPixels) {
    std::mt19937 rng(7);
    // Every remainder of the width against the 8- and 16-pixel vector steps.
    for (int width = 20; width <= 110; ++width) {
        const Size size{width, 6 + width % 2};
        for (int rawBits : {8, 16}) {
            for (int bits : rawBits == 8 ? std::vector<int>{24, 32} : std::vector<int>{48, 64}) {
                const Raw raw = reference::RandomRaw(rng, size.w, size.h, rawBits == 8 ? 255 : 4095);
                Demosaiced d;
                Demosaic(d, raw, rawBits, bits, DemosaicParams{1, 150, 100, 80}, true, false);
                for (int y = 0; y < size.h; ++y) {
                    for (int x = 0; x < size.w; ++x) {
                        if (IsInterior(x, y, size.w, size.h)) continue;
                        for (int c = 0; c < 3; ++c) {
                            ASSERT_EQ(reference::Channel(d.colour, x, y, c) & 0xFF, 0xA5)
                                << "border pixel (" << x << ", " << y << ") written, " << bits;
                        }
                    }
                }
                // Row padding stays as it was too.
                const int used = size.w * d.colour.BytesPerPixel();
                for (int y = 0; y < size.h; ++y)
                    for (int i = used; i < d.colour.Stride(); ++i) ASSERT_EQ(d.colour.Row(y)[i], 0xA5);
            }
        }
    }
}

LUMORA_EVERY_ROUTINE_SET(DemosaicPaths);

// Rows of two and more 64-column chunks (the last one overlapping its neighbour), 8-bit samples
// into 24 bits, with the AVX-512 code and without it (the AVX2 rows then).
TEST(Demosaic, WideRowsWithAndWithoutAvx512) {
    std::mt19937 rng(99);
    for (const bool avx512 : {true, false}) {
        AllowAvx512Filters(avx512);
        for (const int width : {130, 131, 194, 261}) {
            for (int phase = 0; phase < 4; ++phase) {
                const Raw raw = reference::RandomRaw(rng, width, 7, 255);
                const DemosaicParams p{phase, 60 + 90 * phase, 100, 390 - 80 * phase};
                Demosaiced d;
                Demosaic(d, raw, 8, 24, p);
                ExpectMatchesReference(d, raw, p, 255,
                                       std::to_string(width) + " wide phase " + std::to_string(phase) +
                                           (avx512 ? " AVX-512" : " AVX2"));
            }
        }
    }
    AllowAvx512Filters(true);
}

void ExpectEverywhere(const ImageBuffer& b, Bgr want, const std::string& what) {
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const Bgr got = reference::PixelAt(b, x, y);
            ASSERT_TRUE(got == want) << what << " at (" << x << ", " << y << "): " << got.b << "/"
                                     << got.g << "/" << got.r;
        }
}

TEST(Demosaic, UniformFramesAndGains) {
    Raw raw{37, 21, std::vector<int>(37 * 21, 100)};
    for (int phase = 0; phase < 4; ++phase) {
        Demosaiced d;
        Demosaic(d, raw, 8, 24, DemosaicParams{phase, 100, 100, 100});
        ExpectEverywhere(d.colour, {100, 100, 100}, "gains 100");
    }
    Demosaiced d;
    Demosaic(d, raw, 8, 24, DemosaicParams{2, 200, 100, 100});
    ExpectEverywhere(d.colour, {100, 100, 200}, "red 200");
    Demosaic(d, raw, 8, 32, DemosaicParams{2, 400, 100, 100});
    ExpectEverywhere(d.colour, {100, 100, 255}, "red 400");
    Demosaic(d, raw, 8, 24, DemosaicParams{2, 0, 100, 0});
    ExpectEverywhere(d.colour, {0, 100, 0}, "red and blue 0");

    // Gains outside 0..400 are taken as the nearest end of that range.
    Demosaic(d, raw, 8, 24, DemosaicParams{1, 1000, 100, -50});
    ExpectEverywhere(d.colour, {0, 100, 255}, "gains out of range");

    Raw wide{37, 21, std::vector<int>(37 * 21, 4000)};
    Demosaic(d, wide, 16, 48, DemosaicParams{3, 200, 100, 100});
    ExpectEverywhere(d.colour, {4000, 4000, 4095}, "16-bit red 200");
}

TEST(Demosaic, RedOnlyMosaic) {
    // Phase 1: red where P = 1, Q = 0, i.e. even rows, even columns.
    Raw raw{30, 18, std::vector<int>(30 * 18, 0)};
    for (int y = 0; y < raw.height; y += 2)
        for (int x = 0; x < raw.width; x += 2) raw.samples[y * raw.width + x] = 200;
    Demosaiced d;
    Demosaic(d, raw, 8, 24, DemosaicParams{1, 100, 100, 100});
    ExpectEverywhere(d.colour, {0, 0, 200}, "phase 1");
    // Phase 0 puts green on the lit samples; each block holds one of them.
    Demosaic(d, raw, 8, 24, DemosaicParams{0, 100, 100, 100});
    ExpectEverywhere(d.colour, {0, 100, 0}, "phase 0");
}

TEST(Demosaic, PhasesLayTheColoursAsListed) {
    // Memory rows 0 and 1 of each phase, written out; red 200, green 120, blue 40 on a frame
    // with odd sizes give (40, 120, 200) everywhere, borders included.
    const char* const layouts[4][2] = {{"GB", "RG"}, {"RG", "GB"}, {"BG", "GR"}, {"GR", "BG"}};
    for (int phase = 0; phase < 4; ++phase) {
        Raw raw{13, 11, std::vector<int>(13 * 11)};
        for (int y = 0; y < raw.height; ++y)
            for (int x = 0; x < raw.width; ++x) {
                const char c = layouts[phase][y % 2][x % 2];
                raw.samples[y * raw.width + x] = c == 'R' ? 200 : c == 'G' ? 120 : 40;
            }
        for (int bits : {8, 16}) {
            Demosaiced d;
            Demosaic(d, raw, bits, bits == 8 ? 24 : 48, DemosaicParams{phase, 100, 100, 100});
            ExpectEverywhere(d.colour, {40, 120, 200}, "phase " + std::to_string(phase));
        }
    }
}

TEST(Demosaic, WorkedWindowWithPhaseOne) {
    // Phase 1, output (x, y) = (6, 4): red from (6,4)x9, (4,4)x3, (6,2)x3, (4,2)x1; blue from
    // (5,3)x9, (7,3)x3, (5,5)x3, (7,5)x1; green from (5,4) and (6,3). Gains 150 and 250 give
    // factors 192 and 320.
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round) {
        const Raw raw = reference::RandomRaw(rng, 12, 9, 255);
        Demosaiced d;
        Demosaic(d, raw, 8, 24, DemosaicParams{1, 150, 100, 250});
        const int sumR = 9 * raw.At(6, 4) + 3 * raw.At(4, 4) + 3 * raw.At(6, 2) + raw.At(4, 2);
        const int sumB = 9 * raw.At(5, 3) + 3 * raw.At(7, 3) + 3 * raw.At(5, 5) + raw.At(7, 5);
        const Bgr want{std::min((sumB * 320) >> 11, 255), (raw.At(5, 4) + raw.At(6, 3)) / 2,
                       std::min((sumR * 192) >> 11, 255)};
        const Bgr got = reference::PixelAt(d.colour, 6, 4);
        EXPECT_TRUE(got == want) << got.b << "/" << got.g << "/" << got.r << " want " << want.b << "/"
                                 << want.g << "/" << want.r;
    }
}

TEST(Demosaic, MirroringMovesRed) {
    // Toggling a phase bit twice restores the layout; once moves red to a neighbour.
    for (int phase = 0; phase < 4; ++phase) {
        for (int bit : {1, 2}) {
            const int mirrored = phase ^ bit;
            EXPECT_EQ(mirrored ^ bit, phase);
            int redX = -1, redY = -1, movedX = -1, movedY = -1;
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 2; ++x) {
                    if (reference::ColourAt(phase, x, y) == reference::kRed) redX = x, redY = y;
                    if (reference::ColourAt(mirrored, x, y) == reference::kRed) movedX = x, movedY = y;
                }
            EXPECT_EQ(std::abs(redX - movedX) + std::abs(redY - movedY), 1);
        }
    }
}

TEST(Demosaic, RefusesUnfitPixelSizes) {
    ImageBuffer raw, colour;
    ASSERT_EQ(raw.Create(8, 8, 16), 1);
    ASSERT_EQ(colour.Create(8, 8, 24), 1);
    DemosaicParams p;
    DemosaicParams* record = &p;
    EXPECT_EQ(colour.Apply(DemosaicInterior8, &raw, nullptr, 0, 0, &record, nullptr), 0);
    EXPECT_EQ(colour.Apply(DemosaicBorder16, &raw, nullptr, 0, 0, &record, nullptr), 0);
    ASSERT_EQ(colour.Create(8, 8, 48), 1);
    EXPECT_EQ(colour.Apply(DemosaicBorder16, &raw, nullptr, 0, 0, nullptr, nullptr), 1);
}

TEST(Demosaic, FullFrameMatchesReference) {
    std::mt19937 rng(5);
    const Raw raw = reference::RandomRaw(rng, 3488, 24, 255);
    const DemosaicParams p{3, 131, 100, 247};
    Demosaiced d;
    Demosaic(d, raw, 8, 24, p);
    ExpectMatchesReference(d, raw, p, 255, "3488 wide");
}

}  // namespace
}  // namespace lumora
