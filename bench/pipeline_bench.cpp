// The whole per-frame pipeline on full 3488 x 2616 frames next to its yardstick, defect
// correction plus demosaic alone, measured in the same run. Every iteration starts from the
// same raw frame (restored outside the timing), as every fetched frame does.
//
// Why BM_DefectPlusDemosaic24 costs about 2.5 x BM_CorrectDefects8 plus BM_Demosaic8: the defect
// correction is not doing the same work. BM_CorrectDefects8 corrects its frame in place and never
// restores it, so from its second iteration on it finds nothing to replace (its "corrected" counter
// is the last iteration's: 0) and measures the candidate scan alone. Here the frame is restored
// every time, and on this scene the correction replaces about 278,000 samples per frame (the ramp's
// steps from 209 back to 30 in raw_scene.h make samples stand 70 or more above their neighbours'
// mean, besides the hot pixels), each through the full one-sample test and the mosaic colour check.
// BM_CorrectDefects8_Fresh (bench_imaging) is that pass on a fresh frame. One run on a loaded
// machine, CPU medians: BM_CorrectDefects8 3.0 ms, BM_CorrectDefects8_Fresh 9.3 ms, BM_Demosaic8
// 5.3 ms, BM_DefectPlusDemosaic24 15.4 ms (9.3 + 5.3 = 14.6). Cachegrind, one fresh frame: the
// correction executes 84 M instructions, the demosaic 34 M (row loops 32 M, border pass 2.3 M); the
// demosaic's first-level misses are the same in both programs (about 570 k reads in its column
// sums), so it is not a cold frame (the restore leaves the raw frame in the cache), not the
// white-balance gains (the same record in both) and not the border pass (under 2 % of the
// instructions).
//
// Since then the correction scans a row's first tests into a bitmap (AVX-512: 64 samples per
// compare) and gives only the listed candidates, and the sample two columns after each
// correction, the full test; the demosaic writes 64 pixels per step with byte permutes. One quiet
// run, 64-bit, AVX-512, CPU medians: BM_Memcpy_Frame24 1.93 ms, BM_CorrectDefects8 1.11 ms,
// BM_CorrectDefects8_Fresh 2.87 ms, BM_Demosaic8 2.53 ms, BM_DefectPlusDemosaic24 5.54 ms,
// BM_Pipeline_Neutral24 5.72 ms (2.96 x the memcpy).
//
// Then the full tests of a row's candidates run eight at a time with gathers, the copy for
// sharpening became a ring of five bands' rows (no whole-frame copy through memory: about 2 ms
// of BM_Pipeline_AllFilters24), and with two threads the threads take steps, the next band's
// correction first. Where BM_Pipeline_Neutral24's time goes (perf, one thread): the correction
// about 47 % (scan 15 %, gathers 10 %, listing and walk 18 %: some 19 cycles for each of this
// scene's 303,000 candidates), the demosaic about 52 %, its row stores waiting on memory (the
// 27 MB picture and the raw frame do not both stay in the 32 MB third-level cache; on frames of
// 600 rows the pipeline costs 12 % less per row). With two threads the correction is a chain
// through the frame (each band reads the rows the band before corrected), so it bounds the two
// threads at about half of one. Back-to-back runs of the two builds on a quiet machine, wall
// medians: BM_Pipeline_Neutral24 5.5-5.8 ms, BM_Pipeline_Neutral24_2T 2.8-2.9 ms (bands taken
// whole: 3.0-3.1 ms).
//
// Since then the walk over the vector results keeps its count in a register, the 16-bit full
// tests gather each colour row's four columns as one qword, with sharpening the last of
// hue/saturation and the tone curve writes the copy for sharpening rather than the picture and
// then a copy of it, and the 24-bit AVX-512 demosaic rows make 3 V and take the greens from the
// raw rows themselves instead of reading them back from the column sums (three stores fewer per
// 64 columns, which bounded the loop: BM_Demosaic8 3.2 -> 2.6 ms). Timed per step, one thread:
// correction 2.7 ms, demosaic 2.5 ms; two threads: 2.88 ms a frame, of which the correction chain
// 2.79 ms. One ./dev bench run, CPU medians (wall for the two threads): BM_Memcpy_Frame24 2.15 ms
// (repetitions 1.58-2.22), BM_Pipeline_Neutral24 5.43 ms (2.53 x), BM_Pipeline_Neutral24_2T
// 2.81 ms (0.52 x), BM_Pipeline_AllFilters24 19.4 ms (0.71 x the sum of its parts),
// BM_Pipeline_Wide48 11.5 ms (1.42 x BM_Demosaic16). The memcpy is the figure that moves most
// between runs (1.42 to 2.22 ms on this machine, the pipeline 5.0 to 6.0 ms): it copies through
// memory, while the pipeline's time is mostly the correction's and the demosaic's instructions.
// Storing the picture around the cache (no read of each output line before its first write)
// costs 15 % more here.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "camera/camera_object.h"
#include "imaging/defect_correction.h"
#include "imaging/demosaic.h"
#include "raw_scene.h"

namespace lumora {
namespace {

constexpr int kWidth = 3488;
constexpr int kHeight = 2616;

// A camera object with the buffers of one colour mode, as an acquisition prepares them.
struct Camera {
    CameraObject camera;
    std::vector<uint8_t> pristine;

    explicit Camera(int mode) {
        static constexpr int kBits[6] = {8, 16, 24, 32, 48, 64};
        CameraObject& c = camera;
        c.Buffers().Allocate();
        c.SetColorMode(kBits[mode]);
        ImageBuffer& raw = *c.RawBuffer();
        raw.Create(kWidth, kHeight, mode == 1 || mode >= 4 ? 16 : 8);
        if (mode >= 2) c.OutputBuffer()->Create(kWidth, kHeight, kBits[mode]);
        c.Buffers().sharpenSource->CreateLike(c.OutputBuffer());
        bench::FillRawScene(raw, true);
        pristine.assign(raw.Bits(), raw.Bits() + static_cast<size_t>(raw.Stride()) * kHeight);
        c.WithSettings([](FilterSettings& f, GainSettings&) {
            f.whiteBalanceRed = 130;
            f.whiteBalanceGreen = 100;
            f.whiteBalanceBlue = 170;
            f.bayerPhase = 3;
            f.gamma = 100;
        });
    }
    void Restore(benchmark::State& state) {
        state.PauseTiming();
        std::memcpy(camera.RawBuffer()->Bits(), pristine.data(), pristine.size());
        state.ResumeTiming();
    }
};

void SetFrames(benchmark::State& state) {
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

void BM_DefectPlusDemosaic24(benchmark::State& state) {
    Camera cam(2);
    ImageBuffer& raw = *cam.camera.Buffers().buffer8;
    ImageBuffer& out = *cam.camera.Buffers().buffer24;
    DemosaicParams p{3, 130, 100, 170};
    DemosaicParams* record = &p;
    int threshold = kDefectThreshold;
    int* t = &threshold;
    for (auto _ : state) {
        cam.Restore(state);
        raw.Apply(CorrectDefects, &raw, nullptr, 0, 0, &record, &t);
        out.Apply(DemosaicInterior8, &raw, nullptr, 0, 0, &record, nullptr);
        out.Apply(DemosaicBorder8, &raw, nullptr, 0, 0, &record, nullptr);
        benchmark::ClobberMemory();
    }
    SetFrames(state);
}
BENCHMARK(BM_DefectPlusDemosaic24)->Unit(benchmark::kMillisecond)->UseRealTime();

void RunPipeline(benchmark::State& state, Camera& cam) {
    for (auto _ : state) {
        cam.Restore(state);
        cam.camera.Pipeline().Run();
        benchmark::ClobberMemory();
    }
    SetFrames(state);
}

void BM_Pipeline_Neutral24(benchmark::State& state) {
    Camera cam(2);
    cam.camera.Pipeline().SetWorkerThreads(1);
    RunPipeline(state, cam);
}
BENCHMARK(BM_Pipeline_Neutral24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pipeline_Neutral24_2T(benchmark::State& state) {
    Camera cam(2);
    cam.camera.Pipeline().SetWorkerThreads(2);
    RunPipeline(state, cam);
}
BENCHMARK(BM_Pipeline_Neutral24_2T)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pipeline_AllFilters24(benchmark::State& state) {
    Camera cam(2);
    cam.camera.Pipeline().SetWorkerThreads(1);
    cam.camera.WithSettings([](FilterSettings& f, GainSettings&) {
        f.hue = 30;
        f.saturation = 40;
        f.gamma = 120;
        f.contrast = 20;
        f.sharpness = 10;
        f.brightness = 30;
    });
    RunPipeline(state, cam);
}
BENCHMARK(BM_Pipeline_AllFilters24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pipeline_Wide48(benchmark::State& state) {
    Camera cam(4);
    cam.camera.Pipeline().SetWorkerThreads(1);
    RunPipeline(state, cam);
}
BENCHMARK(BM_Pipeline_Wide48)->Unit(benchmark::kMillisecond)->UseRealTime();

// What each frame adds for its settings: the filter record and auto-iris mode copied under the
// camera's settings lock (uncontended), as FramePipeline::Run does first.
void BM_FrameSettingsCopy(benchmark::State& state) {
    CameraObject camera;
    for (auto _ : state) {
        FilterSettings f;
        int autoIris = 0;
        camera.WithSettings([&](const FilterSettings& filters, const GainSettings& gains) {
            f = filters;
            autoIris = gains.autoIris;
        });
        benchmark::DoNotOptimize(f);
        benchmark::DoNotOptimize(autoIris);
    }
}
BENCHMARK(BM_FrameSettingsCopy);

}  // namespace
}  // namespace lumora
