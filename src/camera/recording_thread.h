#pragma once
// The recording thread of a camera: every 10 ms it looks whether the preview thread handed over
// a new frame, converts that frame to 24 bits and appends it to the AVI file; at most one frame
// per poll, frames that arrive meanwhile are skipped. The first recorded frame starts the clock;
// once the duration has passed the file is finished with the measured rate and the thread ends.
//
// Whatever ends a recording (its duration, a stop request, a stream that stopped, a file that
// takes no more frames) finishes the file: it keeps every frame written and the rate measured up
// to then. A file that cannot take the next frame (disk full, the size limit of the format)
// records CAMERR_STORAGE.
//
// Thread context: Start and Stop run on the application's thread, RequestStop and FrameReady on
// any thread (the preview thread); Loop is the thread's body. The writer belongs to the thread
// from Start until the thread ends.
#include <atomic>
#include <cstdint>
#include <thread>

#include "device/manual_reset_event.h"
#include "output/frame_index_writer.h"

namespace lumora {

class AviWriter;
class FrameHandOver;
class ImageBuffer;

class RecordingThread {
public:
    static constexpr uint32_t kPollMs = 10;

    // Where the thread reports what ends a recording early (the camera's error history). Any
    // thread.
    class Host {
    public:
        virtual int RecordError(int code) = 0;

    protected:
        ~Host() = default;
    };

    RecordingThread(Host& camera, AviWriter& writer, FrameHandOver& frames)
        : camera_(camera), writer_(writer), frames_(frames) {}
    ~RecordingThread() { Stop(); }
    RecordingThread(const RecordingThread&) = delete;
    RecordingThread& operator=(const RecordingThread&) = delete;

    // Opens the frame index beside the recording fileName (before Start; see FrameIndexWriter).
    bool BeginIndex(const char* fileName) { return index_.Begin(fileName); }
    // Records into the writer's open file for durationMs (>= 0) from the first frame on. False
    // when no thread can be made; the file is finished then.
    bool Start(int durationMs);
    // Ends the recording soon (the thread finishes the file); does not wait.
    void RequestStop();
    // Ends the recording and waits for the thread. Safe without a thread.
    void Stop();
    // A new frame is in the hand-over.
    void FrameReady() { newFrame_ = 1; }
    // True from Start until the recording has ended.
    bool Active() const { return recording_.load() == 1; }

    // Frames written into the current file so far.
    uint32_t FramesWritten() const { return written_.load(); }
    // The frames and the rate (frames per second x 100) of the last finished recording.
    uint32_t LastFrameCount() const { return lastFrames_.load(); }
    uint32_t LastRate() const { return lastRate_.load(); }

    // frames x 100000 / elapsedMs, in 64 bits; 0 for no time.
    static uint32_t MeasuredRate(uint32_t frames, uint32_t elapsedMs);

private:
    void Loop();
    // Converts the handed-over frame into the 24-bit frame and writes it; false when the file
    // takes no more frames.
    bool WriteFrame(ImageBuffer& colour, ImageBuffer& gray);

    Host& camera_;
    AviWriter& writer_;
    FrameHandOver& frames_;
    FrameIndexWriter index_;  // the application's thread before Start, then the thread's
    std::atomic<int> recording_{0};
    std::atomic<int> newFrame_{0};
    int durationMs_ = 0;
    ManualResetEvent stopRequest_;
    std::thread thread_;
    std::atomic<uint32_t> written_{0};
    std::atomic<uint32_t> lastFrames_{0};
    std::atomic<uint32_t> lastRate_{0};
};

}  // namespace lumora
