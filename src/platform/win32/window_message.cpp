#include "platform/window_message.h"

#include <windows.h>

namespace lumora::platform {

// Windows delivers every posted message itself; the sink is not used here.
void SetMessageSink(MessageSink) {}

bool PostWindowMessage(WindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (window == nullptr) return false;
    return PostMessageA(static_cast<HWND>(window), msg, static_cast<WPARAM>(wParam),
                        static_cast<LPARAM>(lParam)) != 0;
}

}  // namespace lumora::platform
