// Runs the filters' vector code in the Windows build and compares it with the plain code on
// random frames: the three gray-filter passes (MMX and SSE2 must give the plain result for every
// sample, for widths around the vector sizes, every Bayer phase and a full camera frame), and
// the vector rows of hue/saturation and sharpening. Exit code 0 when all agree.
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/gray_filter.h"
#include "imaging/hue_saturation_filter.h"
#include "imaging/image_buffer.h"
#include "imaging/processor_info.h"
#include "imaging/sharpen_filter.h"
#include "imaging/vector_support.h"

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

// One colour filter with the vector rows switched off and on, on the same random picture.
bool VectorRowsAgree(const char* name, int bitCount, std::mt19937& rng, bool sharpen) {
    std::uniform_int_distribution<int> byte(0, 255);
    ImageBuffer plain, vector, scratch;
    if (plain.Create(333, 41, bitCount) != 1 || vector.Create(333, 41, bitCount) != 1 ||
        scratch.Create(333, 41, bitCount) != 1) {
        return false;
    }
    const size_t bytes = static_cast<size_t>(plain.Stride()) * plain.Height();
    for (size_t i = 0; i < bytes; ++i) plain.Bits()[i] = static_cast<uint8_t>(byte(rng));
    std::memcpy(vector.Bits(), plain.Bits(), bytes);
    HueSaturationParameters p{77, 0, -120, 8};
    HueSaturationParameters* record = &p;
    for (int pass = 0; pass < 2; ++pass) {
        LimitVectorRoutines(pass == 1 ? RoutineSet::Avx2 : RoutineSet::Plain);
        ImageBuffer& b = pass == 0 ? plain : vector;
        const int32_t result = sharpen ? SharpenPicture(b, scratch, 17)
                                       : b.Apply(HueSaturation8, &b, nullptr, 0, 0, &record, nullptr);
        if (result != 1) return false;
    }
    LimitVectorRoutines(RoutineSet::Avx2);
    if (std::memcmp(plain.Bits(), vector.Bits(), bytes) != 0) {
        std::printf("%s, %d bits: vector rows differ\n", name, bitCount);
        return false;
    }
    return true;
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
    for (int bits : {24, 32}) {
        if (!VectorRowsAgree("hue/saturation", bits, rng, false)) ++failures;
        if (!VectorRowsAgree("sharpening", bits, rng, true)) ++failures;
    }
    if (!VectorRowsAgree("sharpening", 8, rng, true)) ++failures;
    std::printf("%s\n", failures == 0 ? "vector and plain filters agree" : "vector and plain filters DIFFER");
    return failures == 0 ? 0 : 1;
}
