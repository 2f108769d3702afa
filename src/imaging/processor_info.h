#pragma once
// What the processor offers and the operating system can execute.

namespace lumora {

struct ProcessorInfo {};

}  // namespace lumora
