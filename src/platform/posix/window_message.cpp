#include "platform/window_message.h"

#include <mutex>
#include <utility>

namespace lumora::platform {

namespace {
std::mutex sinkMutex;
MessageSink& Sink() {
    static MessageSink sink;
    return sink;
}
}  // namespace

void SetMessageSink(MessageSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    Sink() = std::move(sink);
}

bool PostWindowMessage(WindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (window == nullptr) return false;
    std::lock_guard<std::mutex> lock(sinkMutex);
    if (!Sink()) return false;
    Sink()(window, msg, wParam, lParam);
    return true;
}

}  // namespace lumora::platform
