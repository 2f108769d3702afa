#include "camera/recording_thread.h"

#include <cstring>
#include <system_error>
#include <vector>

#include "camera/frame_hand_over.h"
#include "lumora/LumoraSdk.h"
#include "imaging/pixel_conversion.h"
#include "output/avi_writer.h"
#include "platform/clock.h"

namespace lumora {

uint32_t RecordingThread::MeasuredRate(uint32_t frames, uint32_t elapsedMs) {
    if (elapsedMs == 0) return 0;
    return static_cast<uint32_t>(uint64_t{frames} * 100000u / elapsedMs);
}

bool RecordingThread::Start(int durationMs) {
    Stop();
    durationMs_ = durationMs < 0 ? 0 : durationMs;
    newFrame_ = 0;
    written_ = 0;
    recording_ = 1;
    stopRequest_.Reset();
    try {
        thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        recording_ = 0;
        writer_.FinishFile();
        index_.Finish();
        return false;
    }
    return true;
}

void RecordingThread::RequestStop() {
    recording_ = 0;
    stopRequest_.Set();
}

void RecordingThread::Stop() {
    RequestStop();
    if (thread_.joinable()) thread_.join();
}

bool RecordingThread::WriteFrame(ImageBuffer& colour, ImageBuffer& gray) {
    std::vector<uint8_t> packed;
    FrameDetails details;
    const bool converted = frames_.WithFrameDetails([&](const ImageBuffer& frame, const FrameDetails& held) {
        details = held;
        if (frame.Width() != colour.Width() || frame.Height() != colour.Height()) return false;
        switch (frame.BitCount()) {
            case 8: return colour.Apply(Gray8To24, &frame, nullptr, 0, 0, nullptr, nullptr) != 0;
            case 16:
                return gray.Apply(Gray16To8, &frame, nullptr, 0, 0, nullptr, nullptr) != 0 &&
                       colour.Apply(Gray8To24, &gray, nullptr, 0, 0, nullptr, nullptr) != 0;
            case 48:
            case 64: return colour.Apply(Colour48To24, &frame, nullptr, 0, 0, nullptr, nullptr) != 0;
            default: return colour.Apply(Colour32To24, &frame, nullptr, 0, 0, nullptr, nullptr) != 0;
        }
    });
    if (!converted) return true;  // nothing to record from this hand-over
    // The file declares a bottom-up picture and takes rows without padding: the buffer's last
    // row (the picture's bottom row) goes first.
    const size_t row = static_cast<size_t>(colour.Width()) * 3;
    const int32_t height = colour.Height();
    packed.resize(row * static_cast<size_t>(height));
    for (int32_t r = 0; r < height; ++r) std::memcpy(&packed[r * row], colour.Row(height - 1 - r), row);
    const uint8_t* pixels = packed.data();
    if (writer_.WriteFrame(pixels) != AviResult::kOk) return false;
    index_.Add(writer_.frameCount() - 1, details);
    return true;
}

void RecordingThread::Loop() {
    // The frame size is that of the handed-over frames, fixed while the thread runs.
    int width = 0, height = 0;
    frames_.WithFrame([&](const ImageBuffer& frame) {
        width = frame.Width();
        height = frame.Height();
        return 0;
    });
    ImageBuffer colour, gray;
    bool ok = colour.Create(width, height, 24) && gray.Create(width, height, 8);
    if (!ok) camera_.RecordError(CAMERR_MEMORY);
    bool started = false, full = false;
    uint32_t startMs = 0, endMs = 0, nowMs = 0, frames = 0;
    while (ok && recording_ == 1) {
        if (stopRequest_.Wait(kPollMs)) break;
        nowMs = platform::MultimediaTime();
        if (newFrame_.exchange(0) != 0) {
            if (!started) {
                started = true;
                startMs = nowMs;
                endMs = nowMs + static_cast<uint32_t>(durationMs_);
            }
            if (!WriteFrame(colour, gray)) {
                full = true;
                camera_.RecordError(CAMERR_STORAGE);
                break;
            }
            frames = writer_.frameCount();
            written_ = frames;
        }
        // The duration counts even while no frame comes (a stalled or unplugged camera).
        if (started && static_cast<int32_t>(nowMs - endMs) > 0) break;
    }
    nowMs = platform::MultimediaTime();
    const uint32_t rate = started ? MeasuredRate(frames, nowMs - startMs) : 0;
    // Without a measurement the file keeps the nominal rate it was begun with.
    if (rate != 0) writer_.SetMeasuredRate(rate);
    if (writer_.FinishFile() == AviResult::kWriteFailed && !full) camera_.RecordError(CAMERR_STORAGE);
    index_.Finish();
    lastFrames_ = frames;
    lastRate_ = rate;
    recording_ = 0;
}

}  // namespace lumora
