#pragma once
// The hand-over of one frame from the SDK's notifier to the element's streaming thread.
//
// The SDK copies every frame into the one buffer given to Lumora_CallBackPreview and then calls
// the notifier on its preview thread; the next frame overwrites that buffer. So the notifier
// announces the frame here and waits until the streaming thread has copied it into a buffer of
// its pool (or the slot is flushing or closed). While it waits, frames the camera completes are
// skipped by the SDK and counted there (consumer busy, and in the next frame's skippedBefore):
// nothing is lost without a count. No queue: one frame at a time.
#include <glib.h>

#include "lumora/LumoraSdk.h"

namespace lumora::gst {

class FrameSlot {
public:
    enum class Result { kFrame, kFlushing, kStopped, kClosed };

    FrameSlot();
    ~FrameSlot();
    FrameSlot(const FrameSlot&) = delete;
    FrameSlot& operator=(const FrameSlot&) = delete;

    // Application or streaming thread. Open: frames are taken from now on, for handle (whose
    // frame details the notifier reads). Close: every waiter returns; announced frames are
    // refused until the next Open. Call Close before Lumora_StopPreview, whose preview thread
    // may be waiting in Announce.
    void Open(LumoraHandle handle, bool reconnect);
    void Close();
    // Application thread (the element's unlock and unlock_stop): waits end with kFlushing.
    void SetFlushing(bool flushing);
    // Application thread: whether the handle brings back a camera that left. Then
    // CAMERR_STREAM_STOPPED does not end the stream: frames follow when the camera is back.
    void SetReconnect(bool reconnect);

    // Notifier thread (the SDK's preview thread): a delivered frame; returns once it was taken
    // or refused.
    void Announce(const FrameInfo* info);
    // Notifier thread, or the application's thread inside a Lumora_ call: a failed frame or an
    // error of the camera. CAMERR_STREAM_STOPPED ends the stream (unless the handle reconnects);
    // other codes are counted.
    void Failure(int code);
    // Notifier thread: the camera came back to the handle (LUMORAEX_MSG_CAMERA_BACK).
    void CameraBack();

    // Streaming thread. Waits for a frame: kFrame with its details; then the SDK's buffer holds
    // it until Release. kStopped once the camera stopped delivering (Open clears it).
    Result Take(LumoraExFrameDetails* details);
    void Release();

    // Any thread: frames that failed (transfer or buffer errors) since Open, and the last code.
    unsigned Failures(int* lastCode) const;
    // Any thread: delivered frames refused since Open because the slot was flushing or closed
    // (a pause, a flush, the stop).
    unsigned Refused() const;
    // Any thread: the camera's returns since Open.
    unsigned Returns() const;

private:
    mutable GMutex mutex_;
    GCond changed_;
    LumoraHandle handle_ = 0;
    bool open_ = false;
    bool flushing_ = false;
    bool stopped_ = false;
    bool reconnect_ = false;
    unsigned returns_ = 0;
    bool announced_ = false;  // a frame waits in the SDK's buffer
    LumoraExFrameDetails details_{};
    unsigned failures_ = 0;
    unsigned refused_ = 0;
    int lastFailure_ = 0;
};

}  // namespace lumora::gst
