#include "platform/clock.h"

#include <windows.h>
#include <mmsystem.h>

namespace lumora::platform {

uint32_t TickCount() { return GetTickCount(); }

uint32_t MultimediaTime() { return timeGetTime(); }

uint64_t MonotonicMicroseconds() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    const uint64_t f = static_cast<uint64_t>(frequency.QuadPart);
    const uint64_t c = static_cast<uint64_t>(counter.QuadPart);
    // Whole seconds and the remainder apart, so that the product cannot overflow.
    return c / f * 1000000u + c % f * 1000000u / f;
}

void SleepMs(uint32_t ms) { Sleep(ms); }

}  // namespace lumora::platform
