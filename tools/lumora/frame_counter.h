#pragma once
// Counts the CAMMSG_FRAME messages of a callback preview: a notifier record on Linux, a
// message-only window on Windows (whose messages PumpWindowMessages delivers).
#include <atomic>
#include <cstdint>

#include "lumora/LumoraSdk.h"

namespace lumora::tool {

class FrameCounter {
public:
    struct Counts {
        long frames;      // CAMMSG_FRAME with a FrameInfo
        long failures;    // CAMMSG_FRAME with an error code
        int lastFailure;  // that code
        int fpsTimes10;   // the camera's rate in the last FrameInfo
    };

    FrameCounter();
    ~FrameCounter();
    FrameCounter(const FrameCounter&) = delete;
    FrameCounter& operator=(const FrameCounter&) = delete;

    // What to give Lumora_CallBackPreview as its notify window.
    LumoraWindow Target();
    Counts Take() const;
    // One message; any thread (the library's preview thread on Linux).
    void OnMessage(unsigned message, uintptr_t wParam, intptr_t lParam);

private:
    std::atomic<long> frames_{0};
    std::atomic<long> failures_{0};
    std::atomic<int> lastFailure_{0};
    std::atomic<int> fpsTimes10_{0};
#ifdef _WIN32
    HWND window_ = nullptr;
#else
    LumoraNotifier notifier_{};
#endif
};

// Delivers the window messages waiting for this thread's windows (Windows; nothing elsewhere).
void PumpWindowMessages();

}  // namespace lumora::tool
