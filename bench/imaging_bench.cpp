// Speed of the demosaic, defect correction and per-frame conversions on full 3488 x 2616
// frames, one thread, next to yardsticks measured in the same run: a memcpy of a 24-bit frame,
// the memory floor of expanding the raw frame into 24 bits, OpenCV's bilinear Bayer
// conversion and the plain reference formula. bench/ratios.py pairs them up.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "imaging/defect_correction.h"
#include "imaging/demosaic.h"
#include "imaging/image_buffer.h"
#include "imaging/pixel_conversion.h"
#include "imaging/vector_support.h"
#include "mosaic_reference.h"
#include "raw_scene.h"

#ifdef LUMORA_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace lumora {
namespace {

constexpr int kWidth = 3488;
constexpr int kHeight = 2616;

void SetBytes(benchmark::State& state, double bytesPerFrame) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytesPerFrame));
}

const ImageBuffer& Raw8() {
    static ImageBuffer raw;
    if (!raw.IsUsable()) {
        raw.Create(kWidth, kHeight, 8);
        bench::FillRawScene(raw);
    }
    return raw;
}

const ImageBuffer& Raw16() {
    static ImageBuffer raw;
    if (!raw.IsUsable()) {
        raw.Create(kWidth, kHeight, 16);
        bench::FillRawScene(raw);
    }
    return raw;
}

void BM_Memcpy_Frame24(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(kWidth) * 3 * kHeight;
    std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::ClobberMemory();
    }
    SetBytes(state, 2.0 * bytes);
}
BENCHMARK(BM_Memcpy_Frame24)->Unit(benchmark::kMillisecond);

// Each raw byte written three times into the 24-bit frame by a loop the compiler vectorises.
void BM_Floor_Expand8to24(benchmark::State& state) {
    const ImageBuffer& raw = Raw8();
    ImageBuffer out;
    out.Create(kWidth, kHeight, 24);
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            const uint8_t* __restrict s = raw.Row(y);
            uint8_t* __restrict d = out.Row(y);
            for (int x = 0; x < kWidth; ++x) {
                d[3 * x] = s[x];
                d[3 * x + 1] = s[x];
                d[3 * x + 2] = s[x];
            }
        }
        benchmark::ClobberMemory();
    }
    SetBytes(state, 4.0 * kWidth * kHeight);
}
BENCHMARK(BM_Floor_Expand8to24)->Unit(benchmark::kMillisecond);

#ifdef LUMORA_BENCH_OPENCV
void BM_OpenCV_BayerBG2BGR(benchmark::State& state) {
    cv::setNumThreads(1);
    const ImageBuffer& raw = Raw8();
    const cv::Mat in(kHeight, kWidth, CV_8UC1, const_cast<uint8_t*>(raw.Bits()), static_cast<size_t>(raw.Stride()));
    cv::Mat out(kHeight, kWidth, CV_8UC3);
    for (auto _ : state) {
        cv::cvtColor(in, out, cv::COLOR_BayerBG2BGR);
        benchmark::ClobberMemory();
    }
    SetBytes(state, 4.0 * kWidth * kHeight);
}
BENCHMARK(BM_OpenCV_BayerBG2BGR)->Unit(benchmark::kMillisecond);
#endif

// The formula as written, one pixel at a time over plain numbers (the tests' reference).
void BM_Reference_Demosaic8(benchmark::State& state) {
    const ImageBuffer& raw = Raw8();
    const reference::Raw numbers = reference::Read(raw);
    ImageBuffer out;
    out.Create(kWidth, kHeight, 24);
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* d = out.Row(y);
            for (int x = 0; x < kWidth; ++x, d += 3) {
                const reference::Bgr c = reference::DemosaicPixel(numbers, x, y, 3, 130, 170, 255);
                d[0] = static_cast<uint8_t>(c.b);
                d[1] = static_cast<uint8_t>(c.g);
                d[2] = static_cast<uint8_t>(c.r);
            }
        }
        benchmark::ClobberMemory();
    }
    SetBytes(state, 4.0 * kWidth * kHeight);
}
BENCHMARK(BM_Reference_Demosaic8)->Unit(benchmark::kMillisecond);

// The production routines limited to one instruction set (the plain one is the portable path).
template <RoutineSet Set>
void Demosaic8(benchmark::State& state) {
    LimitVectorRoutines(Set);
    const ImageBuffer& raw = Raw8();
    ImageBuffer out;
    out.Create(kWidth, kHeight, 24);
    DemosaicParams p{3, 130, 100, 170};
    DemosaicParams* record = &p;
    for (auto _ : state) {
        out.Apply(DemosaicInterior8, &raw, nullptr, 0, 0, &record, nullptr);
        out.Apply(DemosaicBorder8, &raw, nullptr, 0, 0, &record, nullptr);
        benchmark::ClobberMemory();
    }
    LimitVectorRoutines(RoutineSet::Avx2);
    SetBytes(state, 4.0 * kWidth * kHeight);
}
void BM_Demosaic8(benchmark::State& state) { Demosaic8<RoutineSet::Avx2>(state); }
void BM_Ssse3_Demosaic8(benchmark::State& state) { Demosaic8<RoutineSet::Ssse3>(state); }
void BM_Sse2_Demosaic8(benchmark::State& state) { Demosaic8<RoutineSet::Sse2>(state); }
void BM_Plain_Demosaic8(benchmark::State& state) { Demosaic8<RoutineSet::Plain>(state); }
BENCHMARK(BM_Demosaic8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ssse3_Demosaic8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sse2_Demosaic8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plain_Demosaic8)->Unit(benchmark::kMillisecond);

// fresh: the frame as it comes from the sensor every time (restored outside the timing), as the
// pipeline sees it. Otherwise the frame is corrected in place again and again, so from the
// second iteration on nothing is left to replace ("corrected" is the last iteration's count).
void CorrectDefects8(benchmark::State& state, bool fresh) {
    ImageBuffer raw;
    raw.Create(kWidth, kHeight, 8);
    bench::FillRawScene(raw);
    const std::vector<uint8_t> pristine(raw.Bits(), raw.Bits() + static_cast<size_t>(raw.Stride()) * kHeight);
    DemosaicParams p{3, 130, 100, 170};
    DemosaicParams* record = &p;
    int threshold = kDefectThreshold;
    int* t = &threshold;
    int32_t corrected = 0;
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            std::memcpy(raw.Bits(), pristine.data(), pristine.size());
            state.ResumeTiming();
        }
        corrected = raw.Apply(CorrectDefects, &raw, nullptr, 0, 0, &record, &t);
        benchmark::ClobberMemory();
    }
    state.counters["corrected"] = corrected;
    SetBytes(state, 1.0 * kWidth * kHeight);
}
void BM_CorrectDefects8(benchmark::State& state) { CorrectDefects8(state, false); }
void BM_CorrectDefects8_Fresh(benchmark::State& state) { CorrectDefects8(state, true); }
BENCHMARK(BM_CorrectDefects8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CorrectDefects8_Fresh)->Unit(benchmark::kMillisecond);

void BM_Demosaic16(benchmark::State& state) {
    const ImageBuffer& raw = Raw16();
    ImageBuffer out;
    out.Create(kWidth, kHeight, 48);
    DemosaicParams p{3, 130, 100, 170};
    DemosaicParams* record = &p;
    for (auto _ : state) {
        out.Apply(DemosaicInterior16, &raw, nullptr, 0, 0, &record, nullptr);
        out.Apply(DemosaicBorder16, &raw, nullptr, 0, 0, &record, nullptr);
        benchmark::ClobberMemory();
    }
    SetBytes(state, 8.0 * kWidth * kHeight);
}
BENCHMARK(BM_Demosaic16)->Unit(benchmark::kMillisecond);

void BM_Colour48To24(benchmark::State& state) {
    ImageBuffer in, out;
    in.Create(kWidth, kHeight, 48);
    out.Create(kWidth, kHeight, 24);
    std::memset(in.Bits(), 0x37, static_cast<size_t>(in.Stride()) * kHeight);
    for (auto _ : state) {
        out.Apply(Colour48To24, &in, nullptr, 0, 0, nullptr, nullptr);
        benchmark::ClobberMemory();
    }
    SetBytes(state, 9.0 * kWidth * kHeight);
}
BENCHMARK(BM_Colour48To24)->Unit(benchmark::kMillisecond);

void BM_Gray16To8(benchmark::State& state) {
    const ImageBuffer& in = Raw16();
    ImageBuffer out;
    out.Create(kWidth, kHeight, 8);
    for (auto _ : state) {
        out.Apply(Gray16To8, &in, nullptr, 0, 0, nullptr, nullptr);
        benchmark::ClobberMemory();
    }
    SetBytes(state, 3.0 * kWidth * kHeight);
}
BENCHMARK(BM_Gray16To8)->Unit(benchmark::kMillisecond);

// A full frame is 3488 wide, whose rows need no padding; one column less makes the routine
// move every row (the packed frame is spread anew each time; the bytes moved are the same).
void BM_UnpackRows8(benchmark::State& state) {
    ImageBuffer raw;
    raw.Create(kWidth - 1, kHeight, 8);
    for (auto _ : state) {
        raw.Apply(UnpackRows8, &raw, nullptr, 0, 0, nullptr, nullptr);
        benchmark::ClobberMemory();
    }
    SetBytes(state, 2.0 * (kWidth - 1) * kHeight);
}
BENCHMARK(BM_UnpackRows8)->Unit(benchmark::kMillisecond);

void BM_ScalePreview24(benchmark::State& state) {
    ImageBuffer picture, window;
    picture.Create(kWidth, kHeight, 24);
    window.Create(1280, 960, 24);
    for (auto _ : state) {
        window.ApplyScaled(ScalePreview24, &picture, nullptr, nullptr, nullptr, nullptr);
        benchmark::ClobberMemory();
    }
    SetBytes(state, 6.0 * 1280 * 960);
}
BENCHMARK(BM_ScalePreview24)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumora
