#include "camera/frame_hand_over.h"

#include <cstring>

namespace lumora {

int FrameHandOver::Prepare(const ImageBuffer& output) {
    std::lock_guard<std::mutex> lock(mutex_);
    return frame_.CreateLike(&output);
}

bool FrameHandOver::Publish(const ImageBuffer& output, bool wait, const FrameDetails& details) {
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    if (wait) {
        lock.lock();
    } else if (!lock.try_lock()) {
        return false;
    }
    if (!frame_.IsUsable() || !output.IsUsable() || output.Width() != frame_.Width() ||
        output.Height() != frame_.Height() || output.BitCount() != frame_.BitCount()) {
        return false;
    }
    std::memcpy(frame_.Bits(), output.Bits(),
                static_cast<size_t>(frame_.Stride()) * static_cast<size_t>(frame_.Height()));
    details_ = details;
    return true;
}

}  // namespace lumora
