#pragma once
// Everything one open camera owns: the device object, the image buffers, the capture geometry,
// the filter and analog settings, the acquisition threads and the preview window, the AVI
// recorder and the error history. Every export reaches one operation here.
//
// The state is the object's own. The acquisition, the frame pipeline and the preview window
// see their camera through the narrow interfaces they declare (AcquisitionHost,
// FramePipeline::Host, PreviewWindow::Host), which the object implements privately; the dialogs
// get pointers to the records they edit, with the settings lock.
//
// Thread context: one handle belongs to one thread at a time: the operations run on the
// thread that uses the handle (the exports). The preview thread reaches the filter and gain
// records only through WithSettings and the host interfaces, under the settings lock that
// the setters and dialogs also take; RecordError may be called from any thread. Different
// camera objects may be used from different threads at once.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "api/error_history.h"
#include "camera/acquisition.h"
#include "camera/acquisition_host.h"
#include "camera/capture_window.h"
#include "camera/dialog_hooks.h"
#include "camera/frame_buffers.h"
#include "camera/frame_pipeline.h"
#include "camera/gain_settings.h"
#include "camera/preview_window.h"
#include "device/k37vq_device.h"
#include "imaging/filter_settings.h"
#include "imaging/image_buffer.h"
#include "imaging/processor_info.h"
#include "lumora/LumoraSdk.h"
#include "output/avi_writer.h"
#include "platform/window_message.h"
#include "settings/dialog_notifier.h"

namespace lumora {

// (The preview window's host comes first: its address, the camera's, names the window class.)
class CameraObject : private PreviewWindow::Host, private AcquisitionHost, private FramePipeline::Host {
public:
    static constexpr int kFrameTimeoutMs = 8000;
    static constexpr int kMaxEnumSlots = 10;
    static constexpr int kNameSlotSize = 256;

    // The sensor's line timing of the last preparation, for the exposure time in microseconds.
    struct LineTiming {
        uint16_t lineLengthClocks = 0;  // register 0x342
        uint16_t lineOffsetClocks = 0;  // register 0x340
        double clockPeriodUs = 1.0;
    };

    CameraObject();
    virtual ~CameraObject();
    CameraObject(const CameraObject&) = delete;
    CameraObject& operator=(const CameraObject&) = delete;

    // Sets up processor detection, the device, the image buffers and the persisted settings:
    // the stored size preset (validated), the filter, gray and gain groups, the gains, exposure
    // and mirrors written to the camera (unless another open handle of the process uses that
    // camera), and the stream settings. 0 when the object is left without a device or buffers
    // (the reason is recorded).
    int Initialize(platform::WindowHandle errorWindow);
    // The stored preset that "Size" names into the capture window; first run: creates the
    // settings tree. 0 and CAMERR_STORAGE when nothing was loaded (the window is unchanged).
    int LoadSizePreset();
    // Colour mode, subsampling, wait time and clock setting from the settings root (a stored
    // value that the setter would refuse is ignored); 0 and CAMERR_STORAGE when the root is
    // missing (nothing changes).
    int LoadStreamSettings();

    // The filter and gain records under the settings lock: op(FilterSettings&, GainSettings&)
    // runs while it is held and its result is returned. Any thread. op may use the device (the
    // lock comes before the device's pause), but must not take the lock again.
    template <typename Op>
    auto WithSettings(Op op) {
        std::lock_guard<std::recursive_mutex> lock(settingsMutex_);
        return op(filterSettings_, gainSettings_);
    }
    // Copies of the records, under the lock. Any thread.
    FilterSettings Filters();
    GainSettings Gains();
    // Errors: push a code (any thread; posts CAMMSG_ERROR to the error window), pop the newest.
    int RecordError(int code) override;
    int PopError() { return errorHistory_.Pop(); }

    // Device selection and information. Selecting a camera writes this handle's gains, exposure
    // and mirrors to it (unless another open handle of the process uses it).
    int SetDeviceNumber(int index);
    int EnumDevice(char names[kMaxEnumSlots][kNameSlotSize]);
    int EnumDeviceW(char16_t names[kMaxEnumSlots][kNameSlotSize]);
    int GetDeviceName(int index, char* name, int size);
    int GetDeviceNameW(int index, char16_t* name, int size);
    int GetCameraInfo(CameraInfo* info);
    int GetStatus() const { return 0; }

    // Stored stream settings.
    int SetColorMode(int bits);
    int GetColorMode() const;
    int SetSubSample(int mode);
    int GetSubSample() const override { return subsamplingMode_; }
    int SetWaitTime(int ms);
    int GetWaitTime() const override { return waitTimeMs_.load(); }
    int SetHalfClock(int clock);
    int GetHalfClock() const { return halfClock_; }
    // The stored colour mode as an index, 0..5 for 8, 16, 24, 32, 48 and 64 bits.
    int ColorMode() const override { return colorMode_.load(); }
    int SetAutoIris(int mode);
    int GetAutoIris(int* ok);

    // Geometry.
    int Width() const { return captureWindow_.hEffective; }
    int Height() const { return captureWindow_.vEffective; }
    // The lowest-numbered stored preset of this size becomes the capture window (validated, see
    // ApplyCaptureWindow) and goes to the device: 1. CAMERR_WINDOW and 0 when none matches; a
    // preset the sensor refuses leaves the previous window (CAMERR_CAPTURE_WINDOW).
    int SelectSizePreset(int width, int height);
    // Stores the window and sends it to the device; an invalid window, or one the sensor
    // refuses, records CAMERR_CAPTURE_WINDOW and leaves the previous one in force; one the camera
    // did not take (or a busy device) records CAMERR_REGISTER and stays stored.
    int SetCaptureWindowEx(int hTotal, int hStart, int hEffective, int vTotal, int vStart,
                           int vEffective);
    int GetCaptureWindowEx(int* hTotal, int* hStart, int* hEffective, int* vTotal, int* vStart,
                           int* vEffective) const;
    // Hands the capture window and subsampling mode to the device. 0 when the sensor refuses
    // the window (CAMERR_CAPTURE_WINDOW; previous, when given, becomes the window again) or the
    // registers cannot be written (CAMERR_REGISTER).
    int SendCaptureWindow(const CaptureWindow* previous = nullptr);
    int ValidateCaptureWindow() const { return captureWindow_.IsValid(subsamplingMode_) ? 1 : 0; }

    // Mirroring (a change also moves the Bayer phase) and exposure. The setters store the flag
    // and always write the device; 0 with CAMERR_REGISTER when the camera did not take it.
    int SetMirrorV(int on);
    int SetMirrorH(int on);
    int GetMirrorV();
    int GetMirrorH();
    int GetRealExposureTime(int* ok);
    // Writes the clock setting's divider to the sensor and takes its clock period (run when an
    // acquisition is prepared, before the acquisition thread starts).
    void ProgramClock(int setting);
    // Writes the gains, exposure and mirrors of the gain record (a copy) to the device.
    void WriteGainSettings();
    void WriteGainSettings(const GainSettings& g);

    // Registers, serial ROM and I/O port.
    int WriteRegister(int address, int value);
    int ReadRegister(int address, int* ok);
    int ReadSromID(int address, int* ok);
    int WriteSromID(int address, int value);
    int SetIOPort(int value);
    int GetIOPort(unsigned char* value);

    // Filter values by index 1..27. Indexes 13..18 (gains, exposure) are stored and written to
    // the device, their getters read the device: a transfer that fails records CAMERR_REGISTER
    // and gives 0 (the value stays stored), a failed read also sets *ok to 0.
    int SetFilterValue(int index, int value);
    int GetFilterValue(int index, int* ok);

    // Acquisition (the Acquisition class does the work), preview window, still images, dialogs.
    int Preview() { return acquisition_.Preview(); }
    int CallBackPreview(platform::WindowHandle notify, void* buffer, int size, int flag) {
        return acquisition_.CallBackPreview(notify, buffer, size, flag);
    }
    int Record(const char* fileName, int durationMs, int showWindow) {
        return acquisition_.Record(fileName, durationMs, showWindow);
    }
    int StartPreview() { return acquisition_.StartPreview(); }
    int StopPreview() { return acquisition_.StopPreview(); }
    int Close() { return acquisition_.Close(); }
    int GetImage(void* buffer, int size, int flag) { return acquisition_.GetImage(buffer, size, flag); }
    int Capture() { return acquisition_.Capture(); }
    int SnapShot(void* buffer, int size, int flag) { return acquisition_.SnapShot(buffer, size, flag); }
    // The details of the frame delivered last and the acquisition's counts into the caller's
    // record (see LumoraEx_GetFrameDetails, LumoraEx_GetStreamStatistics). Any thread.
    int GetFrameDetails(LumoraExFrameDetails* details);
    int GetStreamStatistics(LumoraExStreamStatistics* statistics);
    // Writes the latest processed frame (as handed over) as a still image.
    int SaveImage(const char* fileName, int format);
    // The colour mode the frame buffers hold: the one of the last acquisition preparation (a
    // mode set later takes effect at the next one), the stored mode before any preparation.
    int FrameColorMode() const override;
    // The output buffer of the frame colour mode: buffer8, 16, 24, 32, 48 or 64.
    ImageBuffer* OutputBuffer() const override;
    // The buffer raw frames land in: buffer16 for colour modes 1, 4, 5, else buffer8.
    ImageBuffer* RawBuffer() const override;
    int SetPreviewWindow(platform::WindowHandle parent, int x, int y, int width, int height);
    // The settings dialogs, modal on this thread; each returns 1 whatever the dialog's result,
    // 0 with CAMERR_UNSUPPORTED where there are no dialogs (Linux). The camera property dialog
    // stops a running preview or capture around it (a recording goes on) and reloads the stored
    // preset and stream settings after OK. The filter dialog restores the filter record, and the
    // gain dialog the gains, exposure, mirrors and Bayer phase, unless they end with OK.
    int CameraDialog(platform::WindowHandle owner);
    int FilterDialog(platform::WindowHandle owner);
    int AnalogGainDialog(platform::WindowHandle owner);

    // ---- The parts, for the exports' helpers and the tests ----
    // The device (null without one), the image buffers, the pipeline, the preview window and
    // the acquisition. The thread contexts are those of the parts.
    K37VQDevice* Device() override { return device_.get(); }
    FrameBuffers& Buffers() override { return buffers_; }
    FramePipeline& Pipeline() override { return pipeline_; }
    PreviewWindow& FrameWindow() override { return preview_; }
    const Acquisition& Acquirer() const { return acquisition_; }
    // The hooks of the open filter and analog gain dialogs (null: none), which the pipeline's
    // control loops refresh; the dialogs set them while they are open.
    void SetDialogHooks(FilterDialogHook* filter, GainDialogHook* gain) {
        filterDialog_ = filter;
        analogGainDialog_ = gain;
    }

private:
    // ---- What the parts see of their camera (see the host interfaces) ----
    CaptureWindow StoredCaptureWindow() const override { return captureWindow_; }
    int ProgramSensor(bool wide) override;
    bool CameraAcquiredElsewhere() const override;
    platform::WindowHandle PreviewParent() const override { return previewParent_; }
    PreviewPlacement Placement() const override { return previewPlacement_; }
    AviWriter& Recorder() override { return recorder_; }
    const ProcessorInfo& Processor() const override { return processor_; }
    void UpdateSettings(const std::function<void(FilterSettings&, GainSettings&)>& op) override {
        WithSettings([&](FilterSettings& f, GainSettings& g) { op(f, g); });
    }
    // The pipeline's results back into the filter record (any thread), shown by an open filter
    // dialog: the measured white-balance gains with the automatic white balance's on/once
    // state; the gray gains of a calibration, one calibration counted off.
    void StoreMeasuredWhiteBalance(const FilterSettings& measured) override;
    void StoreGrayCalibration(const FilterSettings& measured) override;
    GainDialogHook* OpenGainDialog() override { return analogGainDialog_.load(); }
    int FrameWidth() const override { return captureWindow_.FrameWidth(subsamplingMode_); }
    int FrameHeight() const override { return captureWindow_.FrameHeight(subsamplingMode_); }

    int NoDevice() { return Fail(CAMERR_NO_DEVICE); }
    int Fail(int code) {
        RecordError(code);
        return 0;
    }
    // Applies index's setter to value in f and g (held under the settings lock); records
    // CAMERR_ARGUMENT for values out of range.
    int StoreFilterValue(int index, int value, FilterSettings& f, GainSettings& g);
    // Reads the device's value behind filter index 13..18 (global gain, colour gain, exposure)
    // into *value; 1 read, 0 when the camera did not answer.
    int ReadSensorSetting(int index, int* value);
    // SetMirrorV / SetMirrorH: stored flag, the Bayer phase bit it moves, the device's setter.
    int SetMirror(int on, int GainSettings::*stored, int phaseBit, int (K37VQDevice::*deviceSet)(int));
    // Validates the capture window (an invalid one records CAMERR_CAPTURE_WINDOW and becomes the
    // full sensor, keeping presetBuf) and, when send is set, hands it to the device.
    void ApplyCaptureWindow(bool send);
    // True when another camera object of the process has the camera this device selected open.
    bool CameraHeldElsewhere() const;
    // After the device opened or closed a camera: which one this object now holds.
    void NoteHeldCamera();

    // Tests reach the two records directly, on their own thread (see the test's probe).
    friend struct CameraObjectProbe;

    // ---- State, in the order the object holds it ----
    ProcessorInfo processor_;
    std::unique_ptr<K37VQDevice> device_;
    FrameBuffers buffers_;
    PreviewWindow preview_{static_cast<PreviewWindow::Host&>(*this)};
    CaptureWindow captureWindow_;
    // The two records: set up by Initialize before any thread runs; from then on reached
    // through WithSettings only.
    FilterSettings filterSettings_;
    std::atomic<FilterDialogHook*> filterDialog_{nullptr};  // open filter dialog, or null
    GainSettings gainSettings_;
    std::atomic<GainDialogHook*> analogGainDialog_{nullptr};  // open analog gain dialog, or null
    // What the two hooks point at while a dialog is open; they live as long as the camera, so
    // that a call the preview thread began as the dialog closed never finds them gone.
    DialogNotifier filterNotifier_, gainNotifier_;
    LineTiming lineTiming_;
    int lastExposureTimeUs_ = 0;
    AviWriter recorder_;
    platform::WindowHandle previewParent_ = nullptr;
    PreviewPlacement previewPlacement_;
    platform::WindowHandle errorWindow_ = nullptr;
    std::atomic<int> colorMode_{0};  // 0..5 for 8, 16, 24, 32, 48, 64 bits (as stored)
    int subsamplingMode_ = 0;
    std::atomic<int> waitTimeMs_{10};  // the preview thread's pause between frame queries
    int halfClock_ = 0;
    ErrorHistory errorHistory_;
    FramePipeline pipeline_{static_cast<FramePipeline::Host&>(*this)};
    // The filter, gray and gain groups were loaded by Initialize: only then does the destructor
    // store them, so that an object that never loaded them cannot overwrite what is stored.
    bool settingsLoaded_ = false;
    // The selected camera's index while the device has it open, else -1; read by the other
    // camera objects' threads (CameraHeldElsewhere).
    std::atomic<int> heldCamera_{-1};

    // Guards the two records against the preview thread (see WithSettings); recursive, since
    // the dialogs hold it for each message they handle and a handler may send a message to
    // another of the dialog's windows.
    std::recursive_mutex settingsMutex_;
    // Last, so that it is destroyed first: its threads use everything above.
    Acquisition acquisition_{static_cast<AcquisitionHost&>(*this)};
};

}  // namespace lumora
