#include "imaging/filter_vectors.h"

#include <atomic>

namespace lumora {
namespace {

std::atomic<bool> allowed{true};

bool Supported() {
#if LUMORA_HAVE_SSE2
    // The compiler's checks include the system's support of the mask and 512-bit registers.
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
#else
    return false;
#endif
}

}  // namespace

bool Avx512FiltersEnabled() {
    static const bool supported = Supported();
    return supported && allowed.load(std::memory_order_relaxed) && Avx2RoutinesEnabled();
}

void AllowAvx512Filters(bool allow) { allowed.store(allow, std::memory_order_relaxed); }

}  // namespace lumora
