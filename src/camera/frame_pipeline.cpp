#include "camera/frame_pipeline.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

#include "camera/camera_object.h"
#include "camera/helper_thread.h"
#include "imaging/defect_correction.h"
#include "imaging/demosaic.h"
#include "imaging/gray_filter.h"
#include "imaging/hue_saturation_filter.h"
#include "imaging/pixel_conversion.h"
#include "imaging/sharpen_filter.h"
#include "imaging/tone_filters.h"
#include "imaging/white_balance_filter.h"

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

// Runs routine in place over the whole buffer with one parameter record.
template <typename Record>
int32_t ApplyInPlace(ImageBuffer& buffer, PixelRoutine routine, Record record) {
    Record* pointer = &record;
    return buffer.Apply(routine, &buffer, nullptr, 0, 0, &pointer, nullptr);
}

// The five measuring windows as fractions of the frame: left, top, right, bottom.
constexpr double kMeanWindows[5][4] = {
    {0.1, 0.1, 0.2, 0.2},     {0.1, 0.8, 0.2, 0.9}, {0.45, 0.45, 0.55, 0.55},
    {0.8, 0.1, 0.9, 0.2},     {0.8, 0.8, 0.9, 0.9},
};

// Automatic exposure stays one line below the setter's longest exposure.
constexpr int kAutoExposureMaxLines = 8191;

// Rows per band when two threads share a frame (even, so that every band starts on the mosaic's
// row phase), and the smallest frame worth sharing.
constexpr int32_t kBandRows = 64;
constexpr int32_t kMinBandedRows = 4 * kBandRows;

}  // namespace

FramePipeline::FramePipeline(CameraObject& camera)
    : camera_(camera), workerThreads_(std::thread::hardware_concurrency() >= 2 ? 2 : 1) {}

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

int FramePipeline::AutoExposure(ImageBuffer* raw) { return AutoExposure(raw, camera_.Gains().autoIris); }

int FramePipeline::AutoExposure(ImageBuffer* raw, int mode) {
    CameraObject& c = camera_;
    if (mode == 0) return 0;
    if (raw == nullptr || !raw->IsUsable() || !c.device) {
        c.RecordError(CAMERR_ARGUMENT);
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
    c.WithSettings([&](FilterSettings&, GainSettings& g) {
        if (mode == 2) {
            // A failed read leaves the gain alone rather than taking it for 0.
            int ok = 0;
            const int current = c.device->GetGlobalGain(&ok);
            if (!ok) return;
            const int gain = std::clamp(percent * current / 100, 0, 127);
            c.device->SetGlobalGain(gain);
            g.globalGain = g.gainGreen1 = g.gainRed = g.gainBlue = g.gainGreen2 = gain;
            shown = gain;
        } else if (mode == 1) {
            // A failed read leaves the exposure alone rather than taking it for 0 lines.
            int lines = 0;
            if (!c.device->GetExposureLines(&lines)) return;
            const uint16_t scaled = static_cast<uint16_t>(percent * lines / 100);
            const int exposure = std::clamp<int>(scaled, 1, kAutoExposureMaxLines);
            c.device->SetExposureLines(exposure);
            g.exposure = exposure;
            shown = exposure;
        }
    });
    GainDialogHook* dialog = c.analogGainDialog.load();
    if (dialog != nullptr && shown >= 0) {
        dialog->ShowValue(mode == 2 ? GainDialogHook::kGainEdit : GainDialogHook::kExposureEdit, shown);
    }
    return 1;
}

void FramePipeline::WhiteBalanceAndDemosaic(ImageBuffer& colour, ImageBuffer& raw, FilterSettings& f) {
    if (AutoWhiteBalance(f, raw)) {
        camera_.StoreMeasuredWhiteBalance(f);
        if (FilterDialogHook* dialog = camera_.filterDialog.load()) dialog->RefreshControls();
    }
    const bool wide = raw.BitCount() == 16;
    const DemosaicParams params = MosaicParameters(f);
    const DemosaicParams* record = &params;
    colour.Apply(wide ? DemosaicInterior16 : DemosaicInterior8, &raw, nullptr, 0, 0, &record, nullptr);
    colour.Apply(wide ? DemosaicBorder16 : DemosaicBorder8, &raw, nullptr, 0, 0, &record, nullptr);
}

void FramePipeline::DefectAndDemosaicInBands(ImageBuffer& raw, ImageBuffer& colour,
                                             const DemosaicParams& params) {
    if (!helper_) helper_ = std::make_unique<HelperThread>();
    const bool wide = raw.BitCount() == 16;
    const int32_t width = raw.Width();
    const int32_t height = raw.Height();
    const DemosaicParams* record = &params;
    int threshold = kDefectThreshold;
    int* thresholdRecord = &threshold;
    // Memory rows [first, end) of the interior [2, height - 2) of a routine: the rectangle two
    // rows larger on either side, in picture coordinates.
    auto runRows = [&](ImageBuffer& dest, PixelRoutine routine, int32_t first, int32_t end, void* value2) {
        const Rect r{0, height - (end + 2), width, height - (first - 2)};
        dest.Apply(routine, &raw, &r, 0, r.top, &record, value2);
    };
    const int32_t bands = (height - 4 + kBandRows - 1) / kBandRows;
    auto bandFirst = [](int32_t band) { return 2 + band * kBandRows; };
    auto bandEnd = [&](int32_t band) { return std::min(bandFirst(band + 1), height - 2); };

    // Raw rows below defectsDone are final: corrected, or outside the correction's reach.
    std::atomic<int32_t> defectsDone{2};
    std::atomic<int32_t> nextBand{0};
    auto demosaicBands = [&] {
        for (int32_t band = nextBand.fetch_add(1); band < bands; band = nextBand.fetch_add(1)) {
            const int32_t end = bandEnd(band);
            // The band reads raw rows up to end.
            while (defectsDone.load(std::memory_order_acquire) <= end) std::this_thread::yield();
            runRows(colour, wide ? DemosaicInterior16 : DemosaicInterior8, bandFirst(band), end, nullptr);
        }
    };
    auto correctThenDemosaic = [&] {
        for (int32_t band = 0; band < bands; ++band) {
            const int32_t end = bandEnd(band);
            runRows(raw, wide ? CorrectDefects16 : CorrectDefects, bandFirst(band), end, &thresholdRecord);
            defectsDone.store(band + 1 == bands ? height : end, std::memory_order_release);
        }
        demosaicBands();
    };
    helper_->RunAlongside(demosaicBands, correctThenDemosaic);
    colour.Apply(wide ? DemosaicBorder16 : DemosaicBorder8, &raw, nullptr, 0, 0, &record, nullptr);
}

void FramePipeline::Run() {
    CameraObject& c = camera_;
    // This frame's settings: one copy, taken once.
    FilterSettings f;
    int autoIris = 0;
    c.WithSettings([&](const FilterSettings& filters, const GainSettings& gains) {
        f = filters;
        autoIris = gains.autoIris;
    });
    ImageBuffer* raw = c.RawBuffer();
    AutoExposure(raw, autoIris);
    if (raw == nullptr || !raw->IsUsable()) return;

    const int mode = c.FrameColorMode();
    ImageBuffer* output = c.OutputBuffer();
    // Where this mode demosaics to: its output, or the 24-bit buffer of the gray mode 2.
    ImageBuffer* colour = mode >= 2 && mode <= 5 ? output
                          : mode == 0 && f.grayMode == 2 ? c.buffer24.get()
                                                         : nullptr;
    if (colour != nullptr && !colour->IsUsable()) colour = nullptr;
    const DemosaicParams params = MosaicParameters(f);
    // Automatic white balance measures the whole corrected frame between the two passes.
    const bool banded = colour != nullptr && workerThreads_ > 1 && f.autoWhiteBalance == 0 &&
                        raw->Height() >= kMinBandedRows;
    if (banded) {
        DefectAndDemosaicInBands(*raw, *colour, params);
    } else {
        const DemosaicParams* record = &params;
        int threshold = kDefectThreshold;
        int* thresholdRecord = &threshold;
        raw->Apply(IsWide(*raw) ? CorrectDefects16 : CorrectDefects, raw, nullptr, 0, 0, &record,
                   &thresholdRecord);
        if (colour != nullptr) WhiteBalanceAndDemosaic(*colour, *raw, f);
    }

    if (mode == 0 && c.buffer8) {
        if (f.grayMode == 1) {
            if (GrayFilterStage(f, *c.buffer8, c.processor)) {
                c.StoreGrayCalibration(f);
                if (FilterDialogHook* dialog = c.filterDialog.load()) dialog->RefreshControls();
            }
        } else if (colour != nullptr) {
            c.buffer8->Apply(ColourToGray, colour, nullptr, 0, 0, nullptr, nullptr);
        }
    }
    if (output != nullptr && output->IsUsable()) RunFilters(*output, f, mode);
}

void FramePipeline::RunFilters(ImageBuffer& output, const FilterSettings& f, int mode) {
    const bool wide = IsWide(output);
    if ((f.hue != 0 || f.saturation != 0) && mode >= 2 && mode <= 5) {
        ApplyInPlace(output, wide ? HueSaturation16 : HueSaturation8,
                     HueSaturationParameters{f.hue, 0, f.saturation, wide ? 12 : 8});
    }
    // Gamma, contrast and brightness are tables on the same samples: the ones before sharpening
    // become one pass, and brightness joins them when there is no sharpening in between.
    const PixelRoutine tone = wide ? ToneCurve16 : ToneCurve8;
    const int sharpness = f.sharpness;
    ToneCurveParameters curve{f.gamma, f.contrast, sharpness != 0 ? 0 : f.brightness};
    if (curve.gamma != 100 || curve.contrast != 0 || curve.brightness != 0) {
        ApplyInPlace(output, tone, curve);
    }
    if (sharpness != 0) {
        if (camera_.sharpenSource) SharpenPicture(output, *camera_.sharpenSource, sharpness);
        const int brightness = f.brightness;
        if (brightness != 0) ApplyInPlace(output, tone, ToneCurveParameters{100, 0, brightness});
    }
}

}  // namespace lumora
