#include "camera/acquisition.h"

#include <cstring>

#include "camera/acquisition_host.h"
#include "camera/camera_tables.h"
#include "camera/frame_buffers.h"
#include "camera/frame_pipeline.h"
#include "device/k37vq_device.h"
#include "output/avi_writer.h"
#include "platform/clock.h"

namespace lumora {

namespace {

// Device rows of width bytes, back to back, into the raw buffer's rows: copied in the 8-bit
// modes, each byte widened to 12 bits (x 16) in the 16-bit ones.
void SpreadRows(const uint8_t* frame, ImageBuffer& raw) {
    const int32_t width = raw.Width();
    for (int32_t r = 0; r < raw.Height(); ++r, frame += width) {
        uint8_t* row = raw.Row(r);
        if (raw.BitCount() == 8) {
            std::memcpy(row, frame, static_cast<size_t>(width));
            continue;
        }
        for (int32_t x = 0; x < width; ++x) {
            const uint16_t sample = static_cast<uint16_t>(frame[x] << 4);
            std::memcpy(row + 2 * x, &sample, 2);
        }
    }
}

}  // namespace

Acquisition::Acquisition(AcquisitionHost& camera)
    : camera_(camera), preview_(camera, *this), recording_(camera, camera.Recorder(), handOver) {}

Acquisition::~Acquisition() { StopThreads(); }

int Acquisition::Fail(int code) {
    camera_.RecordError(code);
    return 0;
}

// ---- Preparation ----

int Acquisition::Prepare() {
    K37VQDevice& device = *camera_.Device();
    if (!device.IsValidDevice(device.GetSelectedDevice())) return Fail(CAMERR_DEVICE_NUMBER);
    const CaptureWindow window = camera_.StoredCaptureWindow();
    const int subsampling = camera_.GetSubSample();
    if (!window.IsValid(subsampling)) return Fail(CAMERR_CAPTURE_WINDOW);
    const int w = window.hEffective / ReadoutMode(subsampling).copyDivisor;
    const int h = window.vEffective / ReadoutMode(subsampling).copyDivisor;
    const int mode = camera_.ColorMode();
    FrameBuffers& buffers = camera_.Buffers();

    // Buffers by colour mode: {buffer, bits, used in modes 0..5}.
    struct Need {
        std::unique_ptr<ImageBuffer>& buffer;
        int bits;
        bool used[6];
    };
    const Need needs[] = {
        {buffers.buffer8, 8, {true, false, true, true, false, false}},
        {buffers.buffer16, 16, {false, true, false, false, true, true}},
        {buffers.buffer24, 24, {true, false, true, true, true, true}},
        {buffers.buffer32, 32, {false, false, false, true, false, false}},
        {buffers.buffer48, 48, {false, false, false, false, true, false}},
        {buffers.buffer64, 64, {false, false, false, false, false, true}},
    };
    // From here on the buffers are those of this preparation, whole or (after a failure) not.
    preparedMode_ = mode;
    frameWidth_ = w;
    frameHeight_ = h;
    for (const Need& need : needs) {
        if (mode < 0 || mode > 5 || !need.used[mode]) continue;
        if (!need.buffer || !need.buffer->Create(w, h, need.bits)) return Fail(CAMERR_MEMORY);
    }
    ImageBuffer* output = camera_.OutputBuffer();
    if (!output || !buffers.sharpenSource || !buffers.sharpenSource->CreateLike(output) ||
        !handOver.Prepare(*output)) {
        return Fail(CAMERR_MEMORY);
    }

    // A window the sensor cannot read out is refused here, before any frame is sized by it.
    if (!camera_.ProgramSensor(IsWideColorMode(mode))) return 0;
    camera_.FrameWindow().PrepareDisplayBuffer();
    return 1;
}

void Acquisition::SizeStaging() {
    const int size = camera_.Device()->GetTransferSize();
    staging_.resize(size > 0 ? static_cast<size_t>(size) : 0);
}

// ---- Continuous preview ----

int Acquisition::StartPreview() {
    if (!camera_.Device()) return Fail(CAMERR_NO_DEVICE);
    if (state_ == AcquisitionState::Previewing) return 1;
    if (state_ == AcquisitionState::Capturing) return Fail(CAMERR_NO_DEVICE);
    // Nothing reaches the camera while another handle acquires from it.
    if (camera_.CameraAcquiredElsewhere()) return Fail(CAMERR_NO_DEVICE);
    if (!Prepare()) return Fail(CAMERR_NO_DEVICE);
    // The stream runs before the thread asks it for frames: the device's start must not overlap
    // the thread's frame queries.
    SizeStaging();
    RestartCounts();
    if (camera_.Device()->StartStream() != 0) {
        StopPreview();
        return Fail(CAMERR_REGISTER);
    }
    state_ = AcquisitionState::Previewing;
    if (!preview_.Start()) {
        StopPreview();
        return Fail(CAMERR_THREAD);
    }
    return 1;
}

void Acquisition::StopThreads() {
    preview_.Stop();
    recording_.Stop();
}

int Acquisition::StopPreview() {
    if (!camera_.Device()) {
        StopThreads();
        return Fail(CAMERR_NO_DEVICE);
    }
    // A stream ends with the frames it completed: the device reads no more, the preview thread
    // delivers the one it holds, then the threads end.
    if (state_ == AcquisitionState::Previewing && preview_.Running() && camera_.Device()->HaltStream()) {
        preview_.Stop(true);
    }
    StopThreads();
    if (state_ != AcquisitionState::Idle) {
        state_ = AcquisitionState::Idle;
        if (camera_.Device()->StopStream() != 0) return Fail(CAMERR_REGISTER);
    }
    return 1;
}

int Acquisition::OpenWindow(bool optional) {
    PreviewWindow& window = camera_.FrameWindow();
    if (window.Exists()) return 1;  // an acquisition already shows its window
    if (optional && !PreviewWindow::Available()) return 1;
    if (!window.Create(camera_.PreviewParent(), camera_.Placement())) return Fail(CAMERR_WINDOW);
    if (!window.TakeContext()) return Fail(CAMERR_WINDOW);
    return 1;
}

void Acquisition::SetCaller(const CallerTarget& target) {
    std::lock_guard<std::mutex> lock(callerMutex_);
    caller_ = target;
}

int Acquisition::Preview() {
    if (!camera_.Device()) return Fail(CAMERR_NO_DEVICE);
    SetCaller({});
    if (!OpenWindow(false)) return 0;
    if (!StartPreview()) {
        Close();
        return Fail(CAMERR_TRANSFER);
    }
    return 1;
}

int Acquisition::CallBackPreview(platform::WindowHandle notify, void* buffer, int size, int flag) {
    if (size < 0) return Fail(CAMERR_ARGUMENT);
    if (!camera_.Device()) return Fail(CAMERR_NO_DEVICE);
    SetCaller({notify, buffer, size, flag});
    int ok = OpenWindow(true);
    if (ok && !StartPreview()) {
        Close();
        ok = Fail(CAMERR_TRANSFER);
    }
    // A failed call leaves nothing behind that a later start would write to or post to.
    if (!ok) SetCaller({});
    return ok;
}

// ---- Recording ----

int Acquisition::Record(const char* fileName, int durationMs, int showWindow) {
    if (fileName == nullptr || fileName[0] == '\0' || durationMs < 0 || durationMs > LUMORA_RECORD_MAX_MS) {
        return Fail(CAMERR_ARGUMENT);
    }
    if (!camera_.Device()) return Fail(CAMERR_NO_DEVICE);
    SetCaller({});
    if (showWindow && !OpenWindow(false)) return 0;
    // A recording still running is finished before its writer takes the new file.
    recording_.Stop();
    if (!StartPreview()) {
        Close();
        return Fail(CAMERR_STORAGE);
    }
    const ImageBuffer* output = camera_.OutputBuffer();
    AviWriter& writer = camera_.Recorder();
    writer.SetFrameSize(output->Width(), output->Height());
    writer.SetFrameRate(30);
    if (!writer.BeginFile(fileName)) {
        Close();
        return Fail(CAMERR_STORAGE);
    }
    // The frame index beside the file; a recording goes on without one that cannot be written.
    recording_.BeginIndex(fileName);
    if (!recording_.Start(durationMs)) {
        Close();
        return Fail(CAMERR_THREAD);
    }
    return 1;
}

int Acquisition::Close() {
    if (camera_.Device()) {
        StopPreview();
    } else {
        StopThreads();
    }
    camera_.FrameWindow().Destroy();
    SetCaller({});
    return 1;
}

// ---- Single frames ----

int Acquisition::Capture() {
    if (!camera_.Device()) return Fail(CAMERR_NO_DEVICE);
    if (state_ == AcquisitionState::Previewing) return Fail(CAMERR_NO_DEVICE);
    if (state_ == AcquisitionState::Capturing) return 1;
    if (camera_.CameraAcquiredElsewhere() || !Prepare()) return Fail(CAMERR_NO_DEVICE);
    state_ = AcquisitionState::Capturing;
    return 1;
}

int Acquisition::SnapShot(void* buffer, int size, int flag) {
    if (size < 0) return Fail(CAMERR_ARGUMENT);
    if (!camera_.Device()) return Fail(CAMERR_NO_DEVICE);
    if (state_ == AcquisitionState::Previewing) return 0;
    if (state_ == AcquisitionState::Idle && (camera_.CameraAcquiredElsewhere() || !Prepare())) {
        return Fail(CAMERR_NO_DEVICE);
    }
    SizeStaging();
    RestartCounts();
    if (camera_.Device()->StartSingleCapture() != 0) return Fail(CAMERR_TRANSFER);
    if (!FetchFrame(true)) {
        PostFrame(CAMERR_TRANSFER);
        return Fail(CAMERR_TRANSFER);
    }
    camera_.Pipeline().Run();
    const ImageBuffer& output = *camera_.OutputBuffer();
    if (buffer != nullptr && size != 0) {
        platform::WindowHandle notify;
        {
            std::lock_guard<std::mutex> lock(callerMutex_);
            notify = caller_.notify;
        }
        if (!CopyToCaller(output, buffer, size, flag, notify)) return Fail(CAMERR_MEMORY);
    }
    return 1;
}

int Acquisition::WithLatestFrame(const std::function<int(const ImageBuffer*)>& read) {
    if (state_ == AcquisitionState::Previewing) {
        return handOver.WithFrame([&](const ImageBuffer& frame) { return read(&frame); });
    }
    return read(camera_.OutputBuffer());
}

int Acquisition::GetImage(void* buffer, int size, int flag) {
    if (size < 0) return Fail(CAMERR_ARGUMENT);
    if (!camera_.Device()) return Fail(CAMERR_NO_DEVICE);
    if (camera_.OutputBuffer() == nullptr) return Fail(CAMERR_NO_DEVICE);
    platform::WindowHandle notify;
    {
        std::lock_guard<std::mutex> lock(callerMutex_);
        notify = caller_.notify;
    }
    const int copied = WithLatestFrame([&](const ImageBuffer* frame) {
        return frame != nullptr && frame->IsUsable() && buffer != nullptr &&
               CopyToCaller(*frame, buffer, size, flag, notify);
    });
    return copied ? 1 : Fail(CAMERR_MEMORY);
}

// ---- Frames ----

bool Acquisition::FetchFrame(bool single) {
    CameraDevice& device = *camera_.Device();
    ImageBuffer* raw = camera_.RawBuffer();
    const size_t bytes = static_cast<size_t>(frameWidth_) * static_cast<size_t>(frameHeight_);
    if (raw == nullptr || !raw->IsUsable() || raw->Width() != frameWidth_ ||
        raw->Height() != frameHeight_ || staging_.size() < bytes) {
        if (single) device.FinishSingleCapture(nullptr, 0, 0, 0);  // ends the capture thread
        return false;
    }
    FrameDetails details;
    const int result = single ? device.FinishSingleCapture(staging_.data(), &details)
                              : device.CopyNewestFrame(staging_.data(), &details);
    if (result != 0) return false;
    // The device copies its own window's size (never more than its slots, which the staging
    // buffer matches); a window changed since the preparation gives a frame of another size.
    if (device.GetCopySize() != static_cast<int>(bytes)) {
        ++wrongSize_;
        return false;
    }
    SpreadRows(staging_.data(), *raw);
    {
        std::lock_guard<std::mutex> lock(detailsMutex_);
        lastDetails_ = details;
        hasDetails_ = true;
    }
    ++delivered_;
    return true;
}

void Acquisition::RestartCounts() {
    delivered_ = 0;
    wrongSize_ = 0;
}

bool Acquisition::LastFrameDetails(FrameDetails* details) {
    std::lock_guard<std::mutex> lock(detailsMutex_);
    if (hasDetails_ && details) *details = lastDetails_;
    return hasDetails_;
}

StreamStatistics Acquisition::Statistics() const {
    StreamStatistics s;
    if (!camera_.Device()) return s;
    // Ours before the device's: what was delivered was taken, so delivered never exceeds taken.
    const uint32_t delivered = delivered_, wrongSize = wrongSize_;
    const DeviceStatistics d = camera_.Device()->Statistics();
    s.completed = d.completed;
    s.delivered = delivered < d.taken ? delivered : d.taken;
    s.failed = d.failedTransfers;
    s.stalls = d.stalls;
    s.skippedConsumerBusy = d.superseded;
    s.skippedWrongSize = wrongSize;
    s.skippedStreamEnd = d.untakenAtStop;
    return s;
}

int Acquisition::CopyToCaller(const ImageBuffer& frame, void* buffer, int size, int flag,
                              platform::WindowHandle notify) {
    const size_t stride = static_cast<size_t>(frame.Stride());
    const int32_t height = frame.Height();
    if (size < 0 || static_cast<size_t>(size) < stride * static_cast<size_t>(height)) {
        platform::PostWindowMessage(notify, CAMMSG_FRAME, 0, CAMERR_MEMORY);
        return 0;  // the caller records CAMERR_MEMORY, once
    }
    auto* out = static_cast<uint8_t*>(buffer);
    for (int32_t i = 0; i < height; ++i) {
        const int32_t row = flag ? i : height - 1 - i;
        std::memcpy(out + stride * static_cast<size_t>(i), frame.Row(row), stride);
    }
    return 1;
}

void Acquisition::DeliverFrame(const ImageBuffer& output, FrameInfo& info) {
    // Under the lock: a caller that replaces or drops its buffer waits for this copy, so no
    // frame lands in memory it has taken back.
    std::lock_guard<std::mutex> lock(callerMutex_);
    info.buffer = caller_.buffer;
    if (caller_.buffer != nullptr && caller_.size != 0 &&
        !CopyToCaller(output, caller_.buffer, caller_.size, caller_.flag, caller_.notify)) {
        Fail(CAMERR_MEMORY);
        return;
    }
    platform::PostWindowMessage(caller_.notify, CAMMSG_FRAME, reinterpret_cast<uintptr_t>(&info), 0);
}

void Acquisition::PostFrame(int code) {
    std::lock_guard<std::mutex> lock(callerMutex_);
    platform::PostWindowMessage(caller_.notify, CAMMSG_FRAME, 0, code);
}

}  // namespace lumora
