#include "frame_counter.h"

namespace lumora::tool {

void FrameCounter::OnMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message != CAMMSG_FRAME) return;
    if (wParam != 0) {
        const FrameInfo* info = reinterpret_cast<const FrameInfo*>(wParam);
        fpsTimes10_ = info->fpsTimes10;
        ++frames_;
    } else {
        lastFailure_ = static_cast<int>(lParam);
        ++failures_;
    }
}

FrameCounter::Counts FrameCounter::Take() const {
    return Counts{frames_.load(), failures_.load(), lastFailure_.load(), fpsTimes10_.load()};
}

#ifdef _WIN32

namespace {

LRESULT CALLBACK CounterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* counter = reinterpret_cast<FrameCounter*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (counter != nullptr && message == CAMMSG_FRAME) {
        counter->OnMessage(message, static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

FrameCounter::FrameCounter() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = CounterProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "LumoraToolFrameCounter";
    RegisterClassA(&wc);
    window_ = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    if (window_ != nullptr) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

FrameCounter::~FrameCounter() {
    if (window_ != nullptr) DestroyWindow(window_);
}

LumoraWindow FrameCounter::Target() { return window_; }

void PumpWindowMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

#else

namespace {

void Notify(void* context, unsigned int message, uintptr_t wParam, intptr_t lParam) {
    static_cast<FrameCounter*>(context)->OnMessage(message, wParam, lParam);
}

}  // namespace

FrameCounter::FrameCounter() { notifier_ = LumoraNotifier{LUMORA_NOTIFIER_TAG, Notify, this}; }

FrameCounter::~FrameCounter() = default;

LumoraWindow FrameCounter::Target() { return &notifier_; }

void PumpWindowMessages() {}

#endif

}  // namespace lumora::tool
