#pragma once
// Posting messages to the application's windows.
#include <cstdint>
#include <functional>

namespace lumora::platform {

using WindowHandle = void*;

// Posts msg to window without waiting for it to be handled. Posting to a null window does
// nothing and returns false. Any thread.
bool PostWindowMessage(WindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam);

// Where no window system delivers messages (Linux without a display), posted messages go to
// this sink instead, so that programs and tests can receive them. Null removes the sink.
using MessageSink = std::function<void(WindowHandle, uint32_t, uintptr_t, intptr_t)>;
void SetMessageSink(MessageSink sink);

}  // namespace lumora::platform
