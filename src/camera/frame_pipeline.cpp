#include "camera/frame_pipeline.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <thread>

#include "camera/dialog_hooks.h"
#include "camera/camera_tables.h"
#include "camera/frame_buffers.h"
#include "camera/helper_thread.h"
#include "imaging/defect_correction.h"
#include "imaging/demosaic.h"
#include "imaging/gray_filter.h"
#include "imaging/hue_saturation_filter.h"
#include "imaging/pixel_conversion.h"
#include "imaging/sharpen_filter.h"
#include "imaging/tone_filters.h"
#include "imaging/white_balance_filter.h"
#include "device/k37vq_device.h"
#include "lumora/LumoraSdk.h"

namespace lumora {

namespace {

bool IsWide(const ImageBuffer& buffer) { return buffer.BitCount() == 16 || buffer.BitCount() >= 48; }

DemosaicParams MosaicParameters(const FilterSettings& f) {
    DemosaicParams p;
    p.bayerPhase = f.bayerPhase;
    p.redGain = f.whiteBalanceRed;
    p.greenGain = f.whiteBalanceGreen;
    p.blueGain = f.whiteBalanceBlue;
    return p;
}

// Memory rows [first, end) of buffer (end limited to its height) as a rectangle in picture
// coordinates.
Rect PictureRows(const ImageBuffer& buffer, int32_t first, int32_t end) {
    const int32_t h = buffer.Height();
    return Rect{0, h - std::min(end, h), buffer.Width(), h - first};
}

// Runs routine in place over memory rows [first, end) of buffer with one parameter record.
template <typename Record>
void ApplyToRows(ImageBuffer& buffer, int32_t first, int32_t end, PixelRoutine routine, Record record) {
    const Rect r = PictureRows(buffer, first, end);
    if (r.top >= r.bottom) return;
    Record* pointer = &record;
    buffer.Apply(routine, &buffer, &r, 0, r.top, &pointer, nullptr);
}

// Runs a routine that writes all but the two outer rows of its rectangle from raw into dest,
// for memory rows [first, end) of the frame's interior [2, height - 2): the rectangle with two
// rows of context on either side. first is even, so that the rectangle starts on the mosaic's
// row phase.
void ApplyInteriorRows(ImageBuffer& dest, const ImageBuffer& raw, PixelRoutine routine, int32_t first,
                       int32_t end, void* value1, void* value2) {
    const int32_t height = raw.Height();
    first = std::max(first, 2);
    end = std::min(end, height - 2);
    if (first >= end) return;
    const Rect r{0, height - (end + 2), raw.Width(), height - (first - 2)};
    dest.Apply(routine, &raw, &r, 0, r.top, value1, value2);
}

// The five measuring windows as fractions of the frame: left, top, right, bottom.
constexpr double kMeanWindows[5][4] = {
    {0.1, 0.1, 0.2, 0.2},     {0.1, 0.8, 0.2, 0.9}, {0.45, 0.45, 0.55, 0.55},
    {0.8, 0.1, 0.9, 0.2},     {0.8, 0.8, 0.9, 0.9},
};

// Automatic exposure stays one line below the setter's longest exposure.
constexpr int kAutoExposureMaxLines = 8191;

// Rows per band: a band of a full 24-bit frame with its raw rows and its copy for sharpening
// (about 390 KB) stays in the core's 512 KB second-level cache. Even, so that every band starts
// on the mosaic's row phase.
constexpr int32_t kBandRows = 16;
// The end of the last band: every row of every buffer.
constexpr int32_t kAllRows = INT32_MAX / 2;

// The steps of a band, in this order: 0 defect correction of the raw rows; 1 white balance and
// demosaic; 2 the gray conversion, hue and saturation, the tone curve and the copy for
// sharpening; 3 sharpening and brightness. Each reads at most two rows on either side of its
// own rows from what the step before wrote (defect correction from the rows it corrected
// itself), so each works kStepLag rows behind the band's rows: once the band before has done a
// step, the rows it reads are final, and the rows it writes are none that the band before
// still reads in its later steps. Steps 2 and 3 leave two rows more, as the gray conversion of
// mode 0 overwrites the raw rows the demosaic reads.
//
// A step waits only for the steps of the band before that touch its rows: kWaitFor[s] of them
// done. Defect correction reads the rows the band before corrected; the demosaic then needs
// nothing more (the raw rows it reads are this band's and the two corrected before it, and
// the rows the band before still writes are none of them), so the threads demosaic two bands at
// once; step 2 rewrites rows the band before demosaics (and, in mode 0, raw rows it reads) and
// step 3 rows the band before passes through step 2, while their other rows are disjoint.
constexpr int kSteps = 4;
constexpr int32_t kStepLag[kSteps] = {0, 2, 4, 6};
constexpr int kWaitFor[kSteps] = {1, 1, 2, 3};

// The copy for sharpening is a ring of kRingBands bands' rows when the frame runs in bands. A
// band's step 3 reads the copies of rows from 8 above its first band row to 12 below it, and
// step 2 of band c overwrites the copies of rows 80 above those it copies, which bands c - 5 and
// c - 4 read (and c - 3, for the last band of up to 31 rows). With sharpening, step 2 waits for
// those bands to be done, which they nearly always are already. (A band's step 3 does not wait
// for the band before it to be done, only for its step 2, so each band is waited for.)
constexpr int32_t kRingBands = 5;
constexpr int32_t kSharpenRingRows = kRingBands * kBandRows;
constexpr int32_t kRingLag = 3;

// How far the correction chain may run ahead of the oldest band not done, in bands: far enough
// that a thread always has a correction ready, near enough that the bands' rows stay cached.
constexpr int32_t kCorrectionLead = 4;

// Waits of up to about this many pause instructions (some tens of microseconds) spin.
constexpr int kSpinsBeforeYield = 2000;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

}  // namespace

FramePipeline::FramePipeline(Host& host)
    : host_(host), workerThreads_(std::thread::hardware_concurrency() >= 2 ? 2 : 1) {}

FramePipeline::~FramePipeline() = default;

void FramePipeline::SetWorkerThreads(int count) { workerThreads_ = count >= 2 ? 2 : 1; }

int FramePipeline::ExposurePercent(const int means[5]) {
    // In hundredths, so that the steps add up exactly (0.85 - 4 x 0.15 is a quarter).
    const int m = means[0];
    int percent = 100;
    if (m > 200) {
        percent = 85;
    } else if (m > 160) {
        percent = 90;
    } else if (m < 50) {
        percent = 110;
    } else if (m < 100) {
        percent = 105;
    }
    for (int i = 1; i < 5; ++i) {
        if (means[i] > 200) {
            percent -= 15;
        } else if (means[i] > 160) {
            percent -= 10;
        } else if (means[i] < 50) {
            percent += 10;
        } else if (means[i] < 100) {
            percent += 5;
        }
    }
    return percent;
}

int FramePipeline::AutoExposure(ImageBuffer* raw) {
    int mode = 0;
    host_.UpdateSettings([&](FilterSettings&, GainSettings& g) { mode = g.autoIris; });
    return AutoExposure(raw, mode);
}

int FramePipeline::AutoExposure(ImageBuffer* raw, int mode) {
    if (mode == 0) return 0;
    K37VQDevice* device = host_.Device();
    if (raw == nullptr || !raw->IsUsable() || device == nullptr) {
        host_.RecordError(CAMERR_ARGUMENT);
        return 0;
    }
    const int32_t w = raw->Width();
    const int32_t h = raw->Height();
    const PixelRoutine mean = raw->BitCount() == 16 ? RegionMean16 : RegionMean8;
    int means[5];
    for (int i = 0; i < 5; ++i) {
        Rect r;
        r.left = static_cast<int32_t>(kMeanWindows[i][0] * w);
        r.top = static_cast<int32_t>(kMeanWindows[i][1] * h);
        r.right = static_cast<int32_t>(kMeanWindows[i][2] * w);
        r.bottom = static_cast<int32_t>(kMeanWindows[i][3] * h);
        means[i] = raw->Apply(mean, raw, &r, r.left, r.top, nullptr, nullptr);
    }
    const int percent = ExposurePercent(means);
    if (percent > 60 && percent < 120) return 1;

    // The device and the camera's record change together under the settings lock, so that a
    // setter on another thread never leaves the two apart.
    int shown = -1;
    host_.UpdateSettings([&](FilterSettings&, GainSettings& g) {
        if (mode == 2) {
            // A failed read leaves the gain alone rather than taking it for 0.
            int ok = 0;
            const int current = device->GetGlobalGain(&ok);
            if (!ok) return;
            const int gain = std::clamp(percent * current / 100, 0, 127);
            device->SetGlobalGain(gain);
            g.globalGain = g.gainGreen1 = g.gainRed = g.gainBlue = g.gainGreen2 = gain;
            shown = gain;
        } else if (mode == 1) {
            // A failed read leaves the exposure alone rather than taking it for 0 lines.
            int lines = 0;
            if (!device->GetExposureLines(&lines)) return;
            const uint16_t scaled = static_cast<uint16_t>(percent * lines / 100);
            const int exposure = std::clamp<int>(scaled, 1, kAutoExposureMaxLines);
            device->SetExposureLines(exposure);
            g.exposure = exposure;
            shown = exposure;
        }
    });
    GainDialogHook* dialog = host_.OpenGainDialog();
    if (dialog != nullptr && shown >= 0) {
        dialog->ShowValue(mode == 2 ? GainDialogHook::kGainEdit : GainDialogHook::kExposureEdit, shown);
    }
    return 1;
}

// One frame after automatic exposure: its settings, its buffers and its bands.
struct FramePipeline::FrameJob {
    FilterSettings f;
    DemosaicParams params;
    int mode = 0;
    ImageBuffer* raw = nullptr;
    ImageBuffer* colour = nullptr;  // where this mode demosaics to; null when it does not
    ImageBuffer* gray = nullptr;    // buffer8 in mode 0
    ImageBuffer* output = nullptr;  // null when unusable
    ImageBuffer* sharpenSource = nullptr;
    // The tone curve before sharpening and the brightness after it, built once for the bands.
    bool toneCurve = false;
    std::array<uint16_t, 4096> curve{};
    std::array<uint16_t, 4096> brightness{};
    int32_t bands = 1;
    int32_t sharpenRing = 0;  // rows of the copy for sharpening as a ring; 0 for the whole frame
};

void FramePipeline::Run() {
    FrameJob job;
    // This frame's settings: one copy, taken once.
    int autoIris = 0;
    host_.UpdateSettings([&](const FilterSettings& filters, const GainSettings& gains) {
        job.f = filters;
        autoIris = gains.autoIris;
    });
    const FilterSettings& f = job.f;
    const FrameBuffers& buffers = host_.Buffers();
    job.mode = host_.FrameColorMode();
    job.raw = buffers.Raw(job.mode);
    AutoExposure(job.raw, autoIris);
    if (job.raw == nullptr || !job.raw->IsUsable()) return;

    ImageBuffer* output = buffers.Output(job.mode);
    job.output = output != nullptr && output->IsUsable() ? output : nullptr;
    // Where this mode demosaics to: its output, or the 24-bit buffer of the gray mode 2.
    ImageBuffer* colour = job.mode >= 2 && job.mode <= 5 ? output
                          : job.mode == 0 && f.grayMode == 2 ? buffers.buffer24.get()
                                                             : nullptr;
    job.colour = colour != nullptr && colour->IsUsable() ? colour : nullptr;
    job.gray = job.mode == 0 ? buffers.buffer8.get() : nullptr;
    job.sharpenSource = buffers.sharpenSource.get();
    job.params = MosaicParameters(f);
    // Gamma, contrast and brightness are tables on the same samples: the ones before sharpening
    // become one pass, and brightness joins them when there is no sharpening in between.
    const int32_t maxValue = job.output != nullptr && IsWide(*job.output) ? 4095 : 255;
    const ToneCurveParameters curve{f.gamma, f.contrast, f.sharpness != 0 ? 0 : f.brightness};
    job.toneCurve = curve.gamma != 100 || curve.contrast != 0 || curve.brightness != 0;
    if (job.toneCurve) BuildToneCurve(curve, maxValue, job.curve.data());
    if (f.sharpness != 0 && f.brightness != 0) {
        BuildToneCurve(ToneCurveParameters{100, 0, f.brightness}, maxValue, job.brightness.data());
    }
    // Automatic white balance and gray mode 1 measure the whole frame between two stages.
    const int32_t height = job.raw->Height();
    bool sameHeights = true;
    for (const ImageBuffer* b : {job.colour, job.gray, job.output}) {
        if (b != nullptr && b->Height() != height) sameHeights = false;
    }
    const bool whole = f.autoWhiteBalance != 0 || (job.mode == 0 && f.grayMode == 1) || !sameHeights;
    job.bands = whole ? 1 : std::max(1, height / kBandRows);
    job.sharpenRing = job.bands > 1 && f.sharpness != 0 ? kSharpenRingRows : 0;
    RunBands(job);
}

void FramePipeline::RunBands(FrameJob& job) {
    const int32_t bands = job.bands;
    // Steps done per band: a band may begin a step once it has done the steps before and the
    // band before has done the ones the step waits for (kWaitFor), and with the ring for
    // sharpening, step 2 once the bands whose copies it overwrites are done.
    std::unique_ptr<std::atomic<int>[]> stepsDone(new std::atomic<int>[static_cast<size_t>(bands)]);
    for (int32_t band = 0; band < bands; ++band) stepsDone[band].store(0, std::memory_order_relaxed);
    const auto ready = [&](int32_t band, int step) {
        if (band > 0 && stepsDone[band - 1].load(std::memory_order_acquire) < kWaitFor[step]) return false;
        if (step == 2 && job.sharpenRing > 0) {
            for (int32_t b = std::max(0, band - kRingBands); b <= band - kRingLag; ++b) {
                if (stepsDone[b].load(std::memory_order_acquire) < kSteps) return false;
            }
        }
        return true;
    };
    const auto run = [&](int32_t band, int step) {
        RunStep(job, band, step);
        stepsDone[band].store(step + 1, std::memory_order_release);
    };
    if (bands == 1 || workerThreads_ < 2) {
        // Band after band, each through its steps (every step is ready in this order).
        for (int32_t band = 0; band < bands; ++band) {
            for (int step = 0; step < kSteps; ++step) run(band, step);
        }
        return;
    }
    // Two threads take steps rather than bands. Defect correction is a chain through the frame
    // (each band's correction reads rows the band before corrected), so a free thread takes the next
    // band's correction as soon as it is ready, up to kCorrectionLead bands ahead of the oldest
    // band not done, and otherwise the oldest step ready of the bands corrected. claimed[band]
    // is the band's next step not taken; a thread takes it when the band's steps before it are
    // done. A wait is a few microseconds: it spins a while before giving the core away, so that a
    // loaded machine does not hand the core to another program for a whole time slice.
    std::unique_ptr<std::atomic<int>[]> claimed(new std::atomic<int>[static_cast<size_t>(bands)]);
    for (int32_t band = 0; band < bands; ++band) claimed[band].store(0, std::memory_order_relaxed);
    std::atomic<int32_t> nextCorrection{0};
    auto work = [&] {
        int32_t oldest = 0;  // no band before it is left
        for (int spins = 0;;) {
            while (oldest < bands && stepsDone[oldest].load(std::memory_order_acquire) == kSteps) ++oldest;
            if (oldest >= bands) return;
            int32_t correction = nextCorrection.load(std::memory_order_acquire);
            if (correction < bands && correction - oldest < kCorrectionLead && ready(correction, 0) &&
                nextCorrection.compare_exchange_strong(correction, correction + 1)) {
                claimed[correction].store(1, std::memory_order_relaxed);
                run(correction, 0);
                spins = 0;
                continue;
            }
            bool took = false;
            for (int32_t band = oldest; band < std::min(correction, bands) && !took; ++band) {
                int step = claimed[band].load(std::memory_order_acquire);
                took = step > 0 && step < kSteps && stepsDone[band].load(std::memory_order_acquire) == step &&
                       ready(band, step) && claimed[band].compare_exchange_strong(step, step + 1);
                if (took) run(band, step);
            }
            if (took) {
                spins = 0;
            } else if (++spins < kSpinsBeforeYield) {
                CpuRelax();
            } else {
                std::this_thread::yield();
            }
        }
    };
    if (!helper_) helper_ = std::make_unique<HelperThread>();
    helper_->RunAlongside(work, work);
}

void FramePipeline::RunStep(FrameJob& job, int32_t band, int step) {
    const FilterSettings& f = job.f;
    const int32_t lag = kStepLag[step];
    const int32_t first = band == 0 ? 0 : band * kBandRows - lag;
    const int32_t end = band + 1 == job.bands ? kAllRows : (band + 1) * kBandRows - lag;
    ImageBuffer& raw = *job.raw;
    const bool wideRaw = IsWide(raw);
    if (step == 0) {
        const DemosaicParams* record = &job.params;
        int threshold = kDefectThreshold;
        int* thresholdRecord = &threshold;
        ApplyInteriorRows(raw, raw, wideRaw ? CorrectDefects16 : CorrectDefects, first, end, &record,
                          &thresholdRecord);
        return;
    }
    if (step == 1) {
        if (job.colour != nullptr) WhiteBalanceAndDemosaic(job, first, end);
        return;
    }
    ImageBuffer* output = job.output;
    const bool wide = output != nullptr && IsWide(*output);
    const PixelRoutine tone = wide ? ToneTable16 : ToneTable8;
    const int sharpness = f.sharpness;
    if (step == 2) {
        if (job.gray != nullptr) {
            if (f.grayMode == 1) {
                // Whole frames only (Run's thread).
                if (GrayFilterStage(job.f, *job.gray, host_.Processor())) host_.StoreGrayCalibration(job.f);
            } else if (job.colour != nullptr) {
                const Rect r = PictureRows(*job.colour, first, end);
                if (r.top < r.bottom) job.gray->Apply(ColourToGray, job.colour, &r, 0, r.top, nullptr, nullptr);
            }
        }
        if (output == nullptr) return;
        const bool hueSaturation = (f.hue != 0 || f.saturation != 0) && job.mode >= 2 && job.mode <= 5;
        const PixelRoutine hueRoutine = wide ? HueSaturation16 : HueSaturation8;
        HueSaturationParameters hue{f.hue, 0, f.saturation, wide ? 12 : 8};
        HueSaturationParameters* hueRecord = &hue;
        ToneTable curve{job.curve.data()};
        ToneTable* curveRecord = &curve;
        // With sharpening, the last of these passes writes the copy for sharpening rather than
        // the picture, which the sharpening then writes from the copy: no separate copy.
        const bool sharpen = sharpness != 0 && job.sharpenSource != nullptr;
        const bool intoCopy = sharpen && (hueSaturation || job.toneCurve) &&
                              SharpenWritesEveryInnerPixel(*output, *job.sharpenSource);
        PixelRoutine copyThrough = nullptr;
        void* copyRecord = nullptr;
        if (hueSaturation) {
            if (intoCopy && !job.toneCurve) {
                copyThrough = hueRoutine;
                copyRecord = &hueRecord;
            } else {
                ApplyToRows(*output, first, end, hueRoutine, hue);
            }
        }
        if (job.toneCurve) {
            if (intoCopy) {
                copyThrough = tone;
                copyRecord = &curveRecord;
            } else {
                ApplyToRows(*output, first, end, tone, curve);
            }
        }
        if (sharpen) {
            CopySharpenRows(*output, *job.sharpenSource, first, end, job.sharpenRing, copyThrough, copyRecord);
        }
        return;
    }
    if (output == nullptr || sharpness == 0) return;
    if (job.sharpenSource != nullptr) SharpenRows(*output, *job.sharpenSource, sharpness, first, end, job.sharpenRing);
    if (f.brightness != 0) ApplyToRows(*output, first, end, tone, ToneTable{job.brightness.data()});
}

void FramePipeline::WhiteBalanceAndDemosaic(FrameJob& job, int32_t first, int32_t end) {
    ImageBuffer& raw = *job.raw;
    ImageBuffer& colour = *job.colour;
    if (job.bands == 1 && AutoWhiteBalance(job.f, raw)) {
        job.params = MosaicParameters(job.f);
        host_.StoreMeasuredWhiteBalance(job.f);
    }
    const bool wide = raw.BitCount() == 16;
    const DemosaicParams* record = &job.params;
    ApplyInteriorRows(colour, raw, wide ? DemosaicInterior16 : DemosaicInterior8, first, end, &record, nullptr);
    DemosaicRows rows{first, end};
    DemosaicRows* rowsRecord = &rows;
    colour.Apply(wide ? DemosaicBorder16 : DemosaicBorder8, &raw, nullptr, 0, 0, &record, &rowsRecord);
}

}  // namespace lumora
