#pragma once
// The fixed sequence of stages that every fetched frame passes before it is painted, copied to
// the caller, saved or recorded: automatic exposure or gain, defect-pixel correction, the gray
// path of the 8-bit mode, white balance with demosaicing for the colour modes, then hue and
// saturation, gamma, contrast, sharpness and brightness. Stages whose settings are neutral do
// not run.
//
// Buffers: the raw frame is in the camera's buffer16 for colour modes 1, 4, 5 and in buffer8
// otherwise; the output is the colour mode's buffer (FrameBuffers::Raw and Output).
//
// Row bands: the stages after automatic exposure run band by band (kBandRows rows that stay in
// the core's cache) rather than pass by pass over the whole frame, each step of a band a few
// rows behind the step before it so that every row it reads is final. The pictures are those
// of the stages run one after the other over the whole frame, which is the same run with a
// single band: frames with automatic white balance or gray mode 1 (whole-frame measurements
// between the stages) run so.
//
// Thread context: Run runs on the thread that fetched the frame (the preview thread, or the
// application's thread inside a snapshot), which may share the bands with the pipeline's helper
// thread; the control loops and dialog refreshes run on Run's thread only. It copies the
// camera's filter record and auto-iris mode under the camera's settings lock when the frame
// begins and runs every stage on that copy, so a frame is processed with one consistent set of
// settings; a setting changed meanwhile takes effect from the next frame. What the control
// loops decide (automatic exposure and gain, white balance, gray calibration) goes back into
// the camera's records under the same lock.
#include <cstdint>
#include <functional>
#include <memory>

#include "camera/gain_settings.h"
#include "imaging/filter_settings.h"

namespace lumora {

class GainDialogHook;
class HelperThread;
class ImageBuffer;
class K37VQDevice;
struct FrameBuffers;
struct ProcessorInfo;

class FramePipeline {
public:
    // What the pipeline needs of its camera. Thread context: Run's thread (the helper thread
    // reaches none of it).
    class Host {
    public:
        // The device the control loops adjust; null when there is none.
        virtual K37VQDevice* Device() = 0;
        virtual FrameBuffers& Buffers() = 0;
        // The colour mode the buffers hold, 0..5.
        virtual int FrameColorMode() const = 0;
        virtual const ProcessorInfo& Processor() const = 0;
        // Runs op on the camera's filter and gain records under its settings lock (op may use
        // the device).
        virtual void UpdateSettings(const std::function<void(FilterSettings&, GainSettings&)>& op) = 0;
        // A measured white balance, a gray calibration: into the camera's filter record, and
        // shown by an open filter dialog.
        virtual void StoreMeasuredWhiteBalance(const FilterSettings& measured) = 0;
        virtual void StoreGrayCalibration(const FilterSettings& measured) = 0;
        // The open analog gain dialog, or null.
        virtual GainDialogHook* OpenGainDialog() = 0;
        virtual int RecordError(int code) = 0;

    protected:
        ~Host() = default;
    };

    explicit FramePipeline(Host& host);
    ~FramePipeline();
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // Runs every stage on the frame in the raw buffer of the colour mode.
    void Run();

    // Threads that share a frame's row bands: 1 runs them on Run's thread alone, band after
    // band; 2 (the default where the processor has two cores) lets the pipeline's helper thread
    // take steps of the bands as well, the next band's defect correction first (a chain through
    // the frame), a band beginning a step once the band before has done the steps that touch the
    // same rows. The pictures are the same either way. Call between frames.
    void SetWorkerThreads(int count);

    // Automatic exposure (auto-iris 1) or gain (auto-iris 2) from five window means of the raw
    // frame, with the camera's current auto-iris mode. 1 when it ran (changed or not); 0 when
    // auto-iris is off (CAMERR_NONE recorded) or it cannot run (no raw buffer or device:
    // CAMERR_ARGUMENT recorded).
    int AutoExposure(ImageBuffer* raw);

    // The factor, in percent, that the five window means (in the order of the windows) ask for.
    static int ExposurePercent(const int means[5]);

private:
    struct FrameJob;

    int AutoExposure(ImageBuffer* raw, int mode);
    // The stages after automatic exposure, band by band (RunStep has them), on Run's thread
    // alone or shared with the helper thread.
    void RunBands(FrameJob& job);
    void RunStep(FrameJob& job, int32_t band, int step);
    // Automatic white balance when it is on (whole frames only: the measured gains go into the
    // job's settings and the camera), then the demosaic of the job's rows.
    void WhiteBalanceAndDemosaic(FrameJob& job, int32_t first, int32_t end);

    Host& host_;
    int workerThreads_;
    std::unique_ptr<HelperThread> helper_;
};

}  // namespace lumora
