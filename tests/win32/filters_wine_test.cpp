// Runs the filters' vector code in the Windows build and compares it with the plain code on
// random frames: the three gray-filter passes (MMX and SSE2 must give the plain result for every
// sample, for widths around the vector sizes, every Bayer phase and a full camera frame), and
// the vector rows of hue/saturation, sharpening and the 8-bit tone tables, each on the plain,
// the AVX2 and the AVX-512 code where the processor has it. Also the truncated floating-point
// results that a wider-than-double evaluation (x87 in 32-bit code) would change in the last
// digit. Exit code 0 when all agree.
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/gray_filter.h"
#include "imaging/hue_saturation_filter.h"
#include "imaging/image_buffer.h"
#include "imaging/processor_info.h"
#include "imaging/filter_vectors.h"
#include "imaging/sharpen_filter.h"
#include "imaging/tone_filters.h"
#include "imaging/white_balance_filter.h"

using namespace lumora;

namespace {

bool SameAsPlain(int width, int height, int phase, std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255), gain(0, 1000), offset(-255, 255);
    GrayParameters p{phase, gain(rng), gain(rng), gain(rng), gain(rng),
                     offset(rng), offset(rng), offset(rng), offset(rng)};
    GrayParameters* record = &p;
    ImageBuffer frames[3];
    for (ImageBuffer& f : frames) {
        if (f.Create(width, height, 8) != 1) return false;
    }
    for (int32_t i = 0; i < frames[0].Stride() * height; ++i) frames[0].Bits()[i] = static_cast<uint8_t>(byte(rng));
    const size_t bytes = static_cast<size_t>(frames[0].Stride()) * height;
    std::memcpy(frames[1].Bits(), frames[0].Bits(), bytes);
    std::memcpy(frames[2].Bits(), frames[0].Bits(), bytes);
    const PixelRoutine variants[3] = {GrayFilterPlain, GrayFilterMMX, GrayFilterSSE2};
    for (int v = 0; v < 3; ++v) {
        if (frames[v].Apply(variants[v], &frames[v], nullptr, 0, 0, &record, nullptr) != 1) return false;
    }
    for (int v = 1; v < 3; ++v) {
        if (std::memcmp(frames[0].Bits(), frames[v].Bits(), bytes) != 0) {
            std::printf("variant %d differs: %d x %d, phase %d\n", v, width, height, phase);
            return false;
        }
    }
    return true;
}

enum class Filter { HueSaturation, Sharpen, Gamma };

// One filter on the same random picture with the plain code, the AVX2 code and all vector code.
bool VectorRowsAgree(const char* name, int bitCount, std::mt19937& rng, Filter filter) {
    std::uniform_int_distribution<int> byte(0, 255);
    ImageBuffer original, scratch;
    if (original.Create(333, 241, bitCount) != 1 || scratch.Create(333, 241, bitCount) != 1) return false;
    const size_t bytes = static_cast<size_t>(original.Stride()) * original.Height();
    for (size_t i = 0; i < bytes; ++i) original.Bits()[i] = static_cast<uint8_t>(byte(rng));
    ImageBuffer results[3];
    HueSaturationParameters p{77, 0, -120, 8};
    HueSaturationParameters* hueRecord = &p;
    int32_t gamma = 37;
    int32_t* gammaRecord = &gamma;
    for (int pass = 0; pass < 3; ++pass) {
        LimitVectorRoutines(pass == 0 ? RoutineSet::Plain : RoutineSet::Avx2);
        AllowAvx512Filters(pass == 2);
        ImageBuffer& b = results[pass];
        if (b.Create(333, 241, bitCount) != 1) return false;
        std::memcpy(b.Bits(), original.Bits(), bytes);
        int32_t result = 0;
        if (filter == Filter::Sharpen) result = SharpenPicture(b, scratch, 17);
        if (filter == Filter::HueSaturation)
            result = b.Apply(HueSaturation8, &b, nullptr, 0, 0, &hueRecord, nullptr);
        if (filter == Filter::Gamma) result = b.Apply(Gamma8, &b, nullptr, 0, 0, &gammaRecord, nullptr);
        if (result != 1) return false;
    }
    LimitVectorRoutines(RoutineSet::Avx2);
    AllowAvx512Filters(true);
    for (int pass = 1; pass < 3; ++pass) {
        if (std::memcmp(results[0].Bits(), results[pass].Bits(), bytes) != 0) {
            std::printf("%s, %d bits: the %s code differs from the plain code\n", name, bitCount,
                        pass == 1 ? "AVX2" : "widest");
            return false;
        }
    }
    return true;
}

// Values whose exact result is an integer, computed in double precision just below it: the
// truncation keeps the lower integer only when every step is rounded to a double.
bool TruncatesDoubleResults() {
    int failures = 0;
    const uint64_t sums[3] = {5, 1, 5}, counts[3] = {1, 1, 1};
    int32_t gains[3] = {};
    WhiteBalanceGains(sums, counts, gains);
    if (gains[2] != 499 || gains[0] != 100) {
        std::printf("white balance gains %d/%d, expected 499/100\n", gains[2], gains[0]);
        ++failures;
    }
    struct Case {
        void (*build)(int32_t, int32_t, uint16_t*);
        const char* name;
        int32_t setting, index, expected;
    };
    const Case cases[] = {{BuildBrightnessTable, "brightness", 17, 9, 14},
                          {BuildBrightnessTable, "brightness", 4, 51, 58},
                          {BuildBrightnessTable, "brightness", -251, 255, 4},
                          {BuildContrastTable, "contrast", -121, 128, 127},
                          {BuildContrastTable, "contrast", -122, 3, 64},
                          {BuildGammaTable, "gamma", 50, 64, 127}};
    for (const Case& c : cases) {
        uint16_t table[256];
        c.build(c.setting, 255, table);
        if (table[c.index] != c.expected) {
            std::printf("%s %d on %d gives %d, expected %d\n", c.name, c.setting, c.index,
                        table[c.index], c.expected);
            ++failures;
        }
    }
    return failures == 0;
}

}  // namespace

int main() {
    const ProcessorInfo& cpu = HostProcessor();
    std::printf("features %d, usable %d, chosen variant: %s\n", cpu.features, cpu.osSupport,
                SelectGrayFilter(cpu) == GrayFilterSSE2  ? "SSE2"
                : SelectGrayFilter(cpu) == GrayFilterMMX ? "MMX"
                                                         : "plain");
    std::mt19937 rng(2024);
    int failures = 0;
    for (int width : {1, 3, 8, 13, 16, 24, 31, 33, 100}) {
        for (int phase = 0; phase < 4; ++phase) {
            if (!SameAsPlain(width, 7, phase, rng)) ++failures;
        }
    }
    if (!SameAsPlain(3488, 2616, 3, rng)) ++failures;
    std::printf("AVX2 rows %s, AVX-512 rows %s\n", Avx2RoutinesEnabled() ? "on" : "off",
                Avx512FiltersEnabled() ? "on" : "off");
    for (int bits : {8, 24, 32}) {
        if (bits != 8 && !VectorRowsAgree("hue/saturation", bits, rng, Filter::HueSaturation)) ++failures;
        if (!VectorRowsAgree("sharpening", bits, rng, Filter::Sharpen)) ++failures;
        if (!VectorRowsAgree("gamma", bits, rng, Filter::Gamma)) ++failures;
    }
    if (!TruncatesDoubleResults()) ++failures;
    std::printf("%s\n", failures == 0 ? "vector and plain filters agree" : "vector and plain filters DIFFER");
    return failures == 0 ? 0 : 1;
}
