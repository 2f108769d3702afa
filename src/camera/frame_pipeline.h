#pragma once
// The fixed sequence of stages that every fetched frame passes before it is painted, copied to
// the caller, saved or recorded: automatic exposure or gain, defect-pixel correction, the gray
// path of the 8-bit mode, white balance with demosaicing for the colour modes, then hue and
// saturation, gamma, contrast, sharpness and brightness. Stages whose settings are neutral do
// not run.
//
// Buffers: the raw frame is in the camera's buffer16 for colour modes 1, 4, 5 and in buffer8
// otherwise; the output is the colour mode's buffer (CameraObject::OutputBuffer).
//
// Thread context: Run runs on the thread that fetched the frame (the preview thread, or the
// application's thread inside a snapshot). It copies the camera's filter record and auto-iris
// mode under the camera's settings lock when the frame begins and runs every stage on that
// copy, so a frame is processed with one consistent set of settings; a setting changed
// meanwhile takes effect from the next frame. What the control loops decide (automatic
// exposure and gain, white balance, gray calibration) goes back into the camera's records under
// the same lock.
#include <cstdint>
#include <memory>

namespace lumora {

class CameraObject;
class HelperThread;
class ImageBuffer;
struct DemosaicParams;
struct FilterSettings;

class FramePipeline {
public:
    explicit FramePipeline(CameraObject& camera);
    ~FramePipeline();
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // Runs every stage on the frame in the raw buffer of the colour mode.
    void Run();

    // Threads that share defect correction and demosaicing: 1 runs them on Run's thread alone;
    // 2 (the default where the processor has two cores) gives rows to a helper thread as well.
    // The pictures are the same either way. Call between frames.
    void SetWorkerThreads(int count);

    // Automatic exposure (auto-iris 1) or gain (auto-iris 2) from five window means of the raw
    // frame, with the camera's current auto-iris mode. 1 when it ran (changed or not); 0 when
    // auto-iris is off (CAMERR_NONE recorded) or it cannot run (no raw buffer or device:
    // CAMERR_ARGUMENT recorded).
    int AutoExposure(ImageBuffer* raw);

    // The factor, in percent, that the five window means (in the order of the windows) ask for.
    static int ExposurePercent(const int means[5]);

private:
    int AutoExposure(ImageBuffer* raw, int mode);
    // Automatic white balance when it is on (the measured gains go into f and the camera),
    // then both demosaic passes from raw into colour with f's Bayer phase and gains.
    void WhiteBalanceAndDemosaic(ImageBuffer& colour, ImageBuffer& raw, FilterSettings& f);
    // Defect correction of raw and the interior demosaic into colour, row band by row band on
    // two threads: the defect correction runs ahead in frame order and each demosaic band starts
    // once the raw rows it reads are final, so the result is that of the two passes one after
    // the other. Then the border demosaic.
    void DefectAndDemosaicInBands(ImageBuffer& raw, ImageBuffer& colour, const DemosaicParams& params);
    void RunFilters(ImageBuffer& output, const FilterSettings& f, int mode);

    CameraObject& camera_;
    int workerThreads_;
    std::unique_ptr<HelperThread> helper_;
};

}  // namespace lumora
