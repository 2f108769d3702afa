#pragma once
// Internal to the imaging routines: which vector code this build carries and whether it may run.
//
// x86 builds carry SSE2 versions of the hot row loops. On x86-64 SSE2 is always there; 32-bit
// builds compile those functions for SSE2 alone and run them only when the processor and the
// operating system support it. Other processors use the plain loops.

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#include <tmmintrin.h>
#define LUMORA_HAVE_SSE2 1
#define LUMORA_SSE2_FUNCTION __attribute__((target("sse2")))
#define LUMORA_SSSE3_FUNCTION __attribute__((target("ssse3")))
#else
#define LUMORA_HAVE_SSE2 0
#endif

namespace lumora {

// True when the SSE2 row loops may run: the build carries them, the processor and its
// operating system support them, and they are not switched off. Any thread.
bool Sse2RoutinesEnabled();

// True when, besides, the byte shuffles of SSSE3 may run (they use the same registers, so the
// operating system's support of SSE covers them). Any thread.
bool Ssse3RoutinesEnabled();

// Switches the SSSE3 variants off, leaving the SSE2 ones (tests cover both). Any thread.
void SetSsse3RoutinesAllowed(bool allowed);

// Switches the vector row loops off (tests compare both paths; benchmarks measure the plain
// path). Any thread; takes effect from the next routine call.
void SetVectorRoutinesAllowed(bool allowed);

}  // namespace lumora
