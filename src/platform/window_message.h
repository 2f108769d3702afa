#pragma once
// Posting messages to the application's windows.
#include <cstdint>
#include <functional>

namespace lumora::platform {

using WindowHandle = void*;

// Posts msg to window without waiting for it to be handled: PostMessageA on Windows; on Linux a
// call of the LumoraNotifier that window points to (see the public header), on this thread.
// Posting to a null window, or on Linux to anything but a notifier, does nothing and returns
// false. Any thread.
bool PostWindowMessage(WindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam);

// Tests on Linux: while a sink is set, every posted message goes to it instead of a notifier.
// Null removes the sink. (Not used on Windows, where the window system delivers messages.)
using MessageSink = std::function<void(WindowHandle, uint32_t, uintptr_t, intptr_t)>;
void SetMessageSink(MessageSink sink);

}  // namespace lumora::platform
