#pragma once
// Test helpers of the acquisition tests: a notifier record that logs CAMMSG_FRAME, ffprobe's
// view of an AVI file, temporary paths.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "lumora/LumoraSdk.h"

namespace lumora::test {

using Clock = std::chrono::steady_clock;

// CAMMSG_FRAME messages posted to one window, with the frame record copied when they carry one.
struct Frame {
    uintptr_t wParam;
    intptr_t lParam;
    FrameInfo info;
    Clock::time_point at;
};
struct FrameLog {
    std::mutex mutex;
    std::vector<Frame> frames;
    std::vector<Frame> Take() {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
    static void Notify(void* context, unsigned msg, uintptr_t wParam, intptr_t lParam) {
        auto* log = static_cast<FrameLog*>(context);
        if (msg != CAMMSG_FRAME) return;
        FrameInfo info{};
        if (wParam != 0) info = *reinterpret_cast<const FrameInfo*>(wParam);
        std::lock_guard<std::mutex> lock(log->mutex);
        log->frames.push_back({wParam, lParam, info, Clock::now()});
    }
};

// ffprobe's frame count and rate (frames per second x 100) of an AVI file.
inline bool Probe(const std::string& path, long* frames, double* rateTimes100) {
    FILE* pipe = popen(("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                        "stream=nb_read_frames,r_frame_rate -of csv=p=0 '" + path + "'").c_str(), "r");
    long num = 0, den = 0;
    const int fields = pipe ? std::fscanf(pipe, "%ld/%ld,%ld", &num, &den, frames) : 0;
    if (pipe) pclose(pipe);
    *rateTimes100 = den ? 100.0 * num / den : 0;
    return fields == 3;
}

inline std::string TempPath(const char* name) { return ::testing::TempDir() + name; }

}  // namespace lumora::test
