#pragma once
// How a camera acquires frames for the application: preparing an acquisition, continuous
// preview with or without a window, preview with a per-frame copy into caller memory and a
// notification, single frames on demand, and timed AVI recording; the state machine that ties
// them together (idle, previewing, capturing) and the hand-over of frames to caller memory and
// to the recorder.
//
// Sizes are fixed when an acquisition is prepared: the frame size, the colour mode and with it
// the raw and output buffers stay as prepared until the next preparation, whatever the exports
// change meanwhile, and they bound every copy. Frames come from the device through a staging
// buffer of the device's transfer size, so a window changed on the device mid-stream can never
// write past a buffer; a frame whose size no longer matches is reported as a failed fetch.
//
// Thread context: the operations run on the application's thread (the exports). The preview
// thread uses FetchFrame, DeliverFrame, PostFrame, StreamStopped and handOver; SnapShot uses
// them on the application's thread while no preview thread runs.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "camera/frame_hand_over.h"
#include "camera/preview_thread.h"
#include "camera/recording_thread.h"
#include "camera/stream_statistics.h"
#include "device/frame_details.h"
#include "lumora/LumoraSdk.h"
#include "platform/window_message.h"

namespace lumora {

class AcquisitionHost;
class ImageBuffer;

enum class AcquisitionState : int { Idle = 0, Previewing = 1, Capturing = 2 };

class Acquisition {
public:
    explicit Acquisition(AcquisitionHost& camera);
    ~Acquisition();
    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;

    // ---- Application thread ----
    // Buffers for the colour mode at the capture window's size after subsampling, the clock,
    // the capture window, transfer width, mirrors, gains and exposure to the device, the line
    // timing read back, the display buffer sized. 1 ready / 0 (the reason is recorded).
    int Prepare();
    int StartPreview();
    int StopPreview();
    int Preview();
    int CallBackPreview(platform::WindowHandle notify, void* buffer, int size, int flag);
    int Record(const char* fileName, int durationMs, int showWindow);
    int Close();
    int Capture();
    int SnapShot(void* buffer, int size, int flag);
    int GetImage(void* buffer, int size, int flag);
    // Runs read on the newest processed frame and returns its result: on the hand-over while
    // a preview thread may be rewriting the output buffer, else on the output buffer itself
    // (null when there is none).
    int WithLatestFrame(const std::function<int(const ImageBuffer*)>& read);
    // The details of the frame delivered last (true), or false when none was delivered since
    // the camera was opened. Any thread: the preview thread sets them before it processes a
    // frame, so a notification sees those of the frame it announces.
    bool LastFrameDetails(FrameDetails* details);
    // The counts of the current or last acquisition (a preview, a recording, a snapshot). Any
    // thread.
    StreamStatistics Statistics() const;
    // Stops the worker threads without touching the device or the state (destruction).
    void StopThreads();

    AcquisitionState State() const { return state_.load(); }
    // The colour mode of the prepared buffers; -1 before the first preparation.
    int PreparedColorMode() const { return preparedMode_.load(); }
    const PreviewThread& Previewer() const { return preview_; }
    const RecordingThread& Recorder() const { return recording_; }

    // ---- The thread that fetches frames ----
    // Fetches the newest streamed frame (or the single frame when single) into the raw buffer:
    // rows spread to the buffer's stride, widened to 12 bits in the 16-bit modes. False when the
    // device fails or the frame is not of the prepared size.
    bool FetchFrame(bool single);
    // Copies the output frame into the caller's buffer when one is set and posts CAMMSG_FRAME
    // with the frame record to the notify window; a caller buffer that is too small posts the
    // failure form instead. info gets the caller buffer's address.
    void DeliverFrame(const ImageBuffer& output, FrameInfo& info);
    // Posts CAMMSG_FRAME (0, code) to the notify window, if any.
    void PostFrame(int code);
    // The device reports the stream stopped: ends a recording.
    void StreamStopped() { recording_.RequestStop(); }
    void FrameHandedOver() { recording_.FrameReady(); }

    FrameHandOver handOver;
    FrameInfo frameInfo{};  // posted with every frame; written by the preview thread

private:
    struct CallerTarget {
        platform::WindowHandle notify = nullptr;
        void* buffer = nullptr;
        int size = 0;
        int flag = 0;
    };

    int Fail(int code);
    // The preview window for Preview, CallBackPreview and Record; optional: without a window
    // system the acquisition runs without one.
    int OpenWindow(bool optional);
    void SetCaller(const CallerTarget& target);
    // Copies frame rows (in order when flag, else last row first); 0, and (0, 5) posted to
    // notify, when size is below stride x height (the caller records CAMERR_MEMORY).
    int CopyToCaller(const ImageBuffer& frame, void* buffer, int size, int flag,
                     platform::WindowHandle notify);
    // Sizes the staging buffer to the device's current transfer size.
    void SizeStaging();
    // A new acquisition starts on the device: its counts start over.
    void RestartCounts();

    AcquisitionHost& camera_;
    std::atomic<AcquisitionState> state_{AcquisitionState::Idle};
    std::atomic<int> preparedMode_{-1};
    int frameWidth_ = 0;   // prepared frame size after subsampling
    int frameHeight_ = 0;
    std::vector<uint8_t> staging_;  // one device frame; sized before the device starts
    std::mutex callerMutex_;        // guards caller_ and every use of the caller's memory
    CallerTarget caller_;
    PreviewThread preview_;
    RecordingThread recording_;
    std::mutex detailsMutex_;  // guards lastDetails_ and hasDetails_
    FrameDetails lastDetails_;
    bool hasDetails_ = false;
    std::atomic<uint32_t> delivered_{0};   // frames fetched whole since the device started
    std::atomic<uint32_t> wrongSize_{0};   // frames taken from the device but of another size
};

}  // namespace lumora
