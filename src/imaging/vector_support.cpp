#include "imaging/vector_support.h"

#include <atomic>

#include "imaging/processor_info.h"

namespace lumora {

namespace {
std::atomic<bool> vectorAllowed{true};
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

void SetVectorRoutinesAllowed(bool allowed) { vectorAllowed.store(allowed, std::memory_order_relaxed); }

}  // namespace lumora
