#pragma once
// The C runtime's pseudo-random numbers (rand), shared by the process.

namespace lumora::platform {

// One value of the C runtime's rand(). Application thread.
int RuntimeRandom();

}  // namespace lumora::platform
