#include "imaging/vector_support.h"

#include <atomic>

#include "imaging/processor_info.h"

#if LUMORA_HAVE_SSE2
#include <cpuid.h>
#endif

namespace lumora {

namespace {
std::atomic<bool> vectorAllowed{true};
std::atomic<bool> ssse3Allowed{true};
}  // namespace

bool Sse2RoutinesEnabled() {
#if LUMORA_HAVE_SSE2
    if (!vectorAllowed.load(std::memory_order_relaxed)) return false;
#if defined(__SSE2__)
    return true;
#else
    static const bool usable = ChooseVectorLevel(HostProcessor()) == VectorLevel::Sse2;
    return usable;
#endif
#else
    return false;
#endif
}

bool Ssse3RoutinesEnabled() {
#if LUMORA_HAVE_SSE2
    if (!ssse3Allowed.load(std::memory_order_relaxed) || !Sse2RoutinesEnabled()) return false;
    static const bool reported = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && ((ecx >> 9) & 1) != 0;
    }();
    return reported;
#else
    return false;
#endif
}

void SetSsse3RoutinesAllowed(bool allowed) { ssse3Allowed.store(allowed, std::memory_order_relaxed); }

void SetVectorRoutinesAllowed(bool allowed) { vectorAllowed.store(allowed, std::memory_order_relaxed); }

}  // namespace lumora
