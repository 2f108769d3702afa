#pragma once
// Frames per second x 10 over windows of a little more than a second: each window ends with the
// first frame counted more than 1000 ms after it began, and the rate of that window holds until
// the next one ends. 0 until the first window has ended.
//
// Thread context: the thread that counts the frames (the preview thread); Restart before it runs.
#include <cstdint>

namespace lumora {

class FrameRateMeter {
public:
    void Restart(uint32_t nowMs) {
        fpsTimes10_ = 0;
        frames_ = 0;
        windowStartMs_ = nowMs;
    }
    // Counts one frame at nowMs (a wrapping millisecond clock); returns the current rate.
    int Count(uint32_t nowMs) {
        ++frames_;
        const uint32_t elapsed = nowMs - windowStartMs_;
        if (elapsed > 1000) {
            fpsTimes10_ = static_cast<int>(uint64_t{frames_} * 10000u / elapsed);
            frames_ = 0;
            windowStartMs_ = nowMs;
        }
        return fpsTimes10_;
    }
    int FpsTimes10() const { return fpsTimes10_; }

private:
    int fpsTimes10_ = 0;
    uint32_t frames_ = 0;
    uint32_t windowStartMs_ = 0;
};

}  // namespace lumora
