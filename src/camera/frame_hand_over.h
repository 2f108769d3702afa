#pragma once
// The newest finished frame, handed from the thread that processes frames to the readers that
// copy it out (the recording thread, GetImage, SaveImage). A reader always sees one whole frame:
// the processing thread copies each finished output frame in under a lock, and a reader holds
// the lock while it reads. The preview thread never waits for a reader: while one holds the
// frame, the preview thread skips the hand-over of that frame and the reader keeps the previous.
//
// Thread context: Prepare runs on the application's thread while no worker thread runs;
// Publish on the thread that processed the frame; Read on any thread.
#include <mutex>

#include "device/frame_details.h"
#include "imaging/image_buffer.h"

namespace lumora {

class FrameHandOver {
public:
    // Sizes the held frame like the output buffer (zeroed). 0 when memory runs out.
    int Prepare(const ImageBuffer& output);
    // Copies output in (same size and format as prepared). wait false: gives up, returning
    // false, when a reader holds the frame. False too when the sizes do not match.
    // details go with the frame.
    bool Publish(const ImageBuffer& output, bool wait, const FrameDetails& details = FrameDetails{});
    // Runs read(const ImageBuffer&) on the held frame under the lock and returns its result.
    template <typename Read>
    auto WithFrame(Read read) {
        std::lock_guard<std::mutex> lock(mutex_);
        return read(static_cast<const ImageBuffer&>(frame_));
    }
    // The same, read(const ImageBuffer&, const FrameDetails&) with the frame's details.
    template <typename Read>
    auto WithFrameDetails(Read read) {
        std::lock_guard<std::mutex> lock(mutex_);
        return read(static_cast<const ImageBuffer&>(frame_), static_cast<const FrameDetails&>(details_));
    }

private:
    std::mutex mutex_;
    ImageBuffer frame_;
    FrameDetails details_;
};

}  // namespace lumora
