#include "platform/clock.h"

#include <windows.h>
#include <mmsystem.h>

namespace lumora::platform {

uint32_t TickCount() { return GetTickCount(); }

uint32_t MultimediaTime() { return timeGetTime(); }

void SleepMs(uint32_t ms) { Sleep(ms); }

}  // namespace lumora::platform
