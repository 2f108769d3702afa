#include "platform/window_message.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#if defined(__linux__)
#include <sys/uio.h>
#include <unistd.h>
#endif

#include "lumora/LumoraSdk.h"

// A window here is a pointer to the application's LumoraNotifier; posting calls its function on
// the posting thread.

namespace lumora::platform {

namespace {

std::mutex sinkMutex;
MessageSink& Sink() {
    static MessageSink sink;
    return sink;
}

// Copies the record behind window. False when the memory cannot be read: an X11 window id or
// another stray value given where a notifier belongs must not bring the process down.
bool ReadNotifier(WindowHandle window, LumoraNotifier* out) {
    if (reinterpret_cast<uintptr_t>(window) % alignof(LumoraNotifier) != 0) return false;
#if defined(__linux__)
    iovec local{out, sizeof *out};
    iovec remote{window, sizeof *out};
    const ssize_t n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (n == static_cast<ssize_t>(sizeof *out)) return true;
    if (n >= 0 || errno == EFAULT) return false;
    // The call itself is refused here (a sandbox): read the aligned pointer as given.
#endif
    std::memcpy(out, window, sizeof *out);
    return true;
}

}  // namespace

void SetMessageSink(MessageSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    Sink() = std::move(sink);
}

bool PostWindowMessage(WindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (window == nullptr) return false;
    {
        std::lock_guard<std::mutex> lock(sinkMutex);
        if (Sink()) {
            Sink()(window, msg, wParam, lParam);
            return true;
        }
    }
    LumoraNotifier notifier;
    if (!ReadNotifier(window, &notifier) || notifier.tag != LUMORA_NOTIFIER_TAG ||
        notifier.notify == nullptr)
        return false;
    notifier.notify(notifier.context, msg, wParam, lParam);
    return true;
}

}  // namespace lumora::platform
