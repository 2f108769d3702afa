#pragma once
// Time and sleeping. Millisecond counters are 32-bit and wrap, like the system tick count;
// compare them by unsigned subtraction.
#include <cstdint>

namespace lumora::platform {

// Milliseconds since an arbitrary start (system tick count). Any thread.
uint32_t TickCount();
// Milliseconds of the multimedia timer, used for frame-rate windows and recording times. Any thread.
uint32_t MultimediaTime();
// Microseconds of a monotonic clock that never wraps nor jumps (CLOCK_MONOTONIC on Linux, the
// performance counter on Windows), from an arbitrary start. Any thread.
uint64_t MonotonicMicroseconds();
// Suspends the calling thread for at least ms milliseconds.
void SleepMs(uint32_t ms);

}  // namespace lumora::platform
