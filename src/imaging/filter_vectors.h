#pragma once
// Internal to the imaging routines: the AVX-512 code of the filters, the demosaic and defect
// correction (with the byte and word instructions and the byte permutes, AVX512F/BW/VL/VBMI)
// on top of the routine sets of vector_support.h.

#include "imaging/vector_support.h"

#if LUMORA_HAVE_SSE2
#define LUMORA_AVX512_FUNCTION __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi")))
#endif

namespace lumora {

// True when the routines may run their AVX-512 code: the routine sets are not limited below
// AVX2, the processor has the four extensions, the operating system saves their registers, and
// it is not switched off. Any thread.
bool Avx512FiltersEnabled();

// Switches the AVX-512 code off or on again (tests and benchmarks compare it with the AVX2
// code). Any thread; takes effect from the next routine call.
void AllowAvx512Filters(bool allowed);

}  // namespace lumora
