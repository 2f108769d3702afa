// Speed of the image filters on one full 24-bit camera frame (and the 8-bit raw frame for the
// gray filter), single thread. The yardsticks (a memcpy of the frame, the demosaic) are measured
// by the imaging benchmarks in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "imaging/gray_filter.h"
#include "imaging/hue_saturation_filter.h"
#include "imaging/image_buffer.h"
#include "imaging/sharpen_filter.h"
#include "imaging/tone_filters.h"

namespace lumora {
namespace {

constexpr int32_t kWidth = 3488;
constexpr int32_t kHeight = 2616;

// A picture like a camera's: smooth colour gradients with some noise.
void Paint(ImageBuffer& b) {
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> noise(-6, 6);
    const int channels = b.BytesPerPixel() >= 3 ? 3 : 1;
    for (int32_t y = 0; y < b.Height(); ++y) {
        uint8_t* row = b.Row(y);
        for (int32_t x = 0; x < b.Width(); ++x) {
            for (int c = 0; c < channels; ++c) {
                const int base = (x * (c + 1) / 14 + y * (3 - c) / 11 + 40 * c) % 256;
                const int v = base + noise(rng);
                row[x * b.BytesPerPixel() + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
}

struct Frames {
    ImageBuffer source, dest;
    explicit Frames(int bitCount) {
        source.Create(kWidth, kHeight, bitCount);
        dest.Create(kWidth, kHeight, bitCount);
        Paint(source);
    }
    int64_t Bytes() const { return static_cast<int64_t>(source.Stride()) * kHeight; }
};

// A filter run from the unchanged frame into a second one, so every iteration sees the same
// picture (the cost is that of the same pass in place).
template <class Record>
void RunFilter(benchmark::State& state, int bitCount, PixelRoutine routine, Record record) {
    Frames f(bitCount);
    Record* p = &record;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.dest.Apply(routine, &f.source, nullptr, 0, 0, &p, nullptr));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * f.Bytes());
}

void BM_Gamma24(benchmark::State& state) { RunFilter(state, 24, Gamma8, int32_t{50}); }
void BM_Contrast24(benchmark::State& state) { RunFilter(state, 24, Contrast8, int32_t{64}); }
void BM_Brightness24(benchmark::State& state) { RunFilter(state, 24, Brightness8, int32_t{100}); }
void BM_HueSaturation24(benchmark::State& state) {
    RunFilter(state, 24, HueSaturation8, HueSaturationParameters{40, 0, 80, 8});
}

// The whole sharpening stage: the copy into the scratch frame and the pass.
void BM_Sharpen24(benchmark::State& state) {
    Frames f(24);
    for (auto _ : state) {
        benchmark::DoNotOptimize(SharpenPicture(f.source, f.dest, 10));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * f.Bytes());
}

const GrayParameters kGray{3, 150, 128, 120, 110, -5, 0, 3, 10};
void BM_GrayFilterPlain(benchmark::State& state) { RunFilter(state, 8, GrayFilterPlain, kGray); }
void BM_GrayFilterMMX(benchmark::State& state) { RunFilter(state, 8, GrayFilterMMX, kGray); }
void BM_GrayFilterSSE2(benchmark::State& state) { RunFilter(state, 8, GrayFilterSSE2, kGray); }

BENCHMARK(BM_Gamma24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Contrast24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Brightness24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HueSaturation24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrayFilterPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrayFilterMMX)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrayFilterSSE2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumora
