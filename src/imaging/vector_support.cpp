#include "imaging/vector_support.h"

#include <atomic>

#include "imaging/processor_info.h"

namespace lumora {

namespace {

std::atomic<int> ceiling{static_cast<int>(RoutineSet::Avx2)};

RoutineSet Supported() {
#if LUMORA_HAVE_SSE2
#if !defined(__SSE2__)
    // 32-bit builds: SSE2 only where the processor has it and the system runs it.
    if (ChooseVectorLevel(HostProcessor()) != VectorLevel::Sse2) return RoutineSet::Plain;
#endif
    // SSSE3 works in the SSE registers that the system saves already; the compiler's check of
    // AVX2 includes the system's support of the wider registers.
    if (__builtin_cpu_supports("avx2")) return RoutineSet::Avx2;
    if (__builtin_cpu_supports("ssse3")) return RoutineSet::Ssse3;
    return RoutineSet::Sse2;
#else
    return RoutineSet::Plain;
#endif
}

}  // namespace

RoutineSet VectorRoutines() {
    static const RoutineSet supported = Supported();
    const auto limit = static_cast<RoutineSet>(ceiling.load(std::memory_order_relaxed));
    return limit < supported ? limit : supported;
}

void LimitVectorRoutines(RoutineSet limit) { ceiling.store(static_cast<int>(limit), std::memory_order_relaxed); }

}  // namespace lumora
