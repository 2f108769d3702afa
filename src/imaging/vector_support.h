#pragma once
// Internal to the imaging routines: which vector code this build carries and which of it may
// run here.
//
// x86 builds carry SSE2 versions of the hot row loops, and SSSE3 and AVX2 versions of the
// hottest. Each is compiled for its own instruction set alone (function target attributes) and
// runs only when the processor reports it and the operating system saves its registers. On
// x86-64 SSE2 is always there. Other processors use the plain loops, which give the same results.

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMORA_HAVE_SSE2 1
#define LUMORA_SSE2_FUNCTION __attribute__((target("sse2")))
#define LUMORA_SSSE3_FUNCTION __attribute__((target("ssse3")))
#define LUMORA_AVX2_FUNCTION __attribute__((target("avx2")))
#else
#define LUMORA_HAVE_SSE2 0
#endif

namespace lumora {

// Instruction sets of the row loops, each including the ones before it.
enum class RoutineSet { Plain, Sse2, Ssse3, Avx2 };

// The richest set that this build carries, the processor and its operating system run, and
// the current limit allows. Any thread.
RoutineSet VectorRoutines();

// Caps the sets used from the next routine call on (tests compare every path; benchmarks
// measure the plain one). Any thread.
void LimitVectorRoutines(RoutineSet ceiling);

inline bool Sse2RoutinesEnabled() { return VectorRoutines() >= RoutineSet::Sse2; }
inline bool Ssse3RoutinesEnabled() { return VectorRoutines() >= RoutineSet::Ssse3; }
inline bool Avx2RoutinesEnabled() { return VectorRoutines() >= RoutineSet::Avx2; }

}  // namespace lumora
